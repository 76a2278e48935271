// Administration of a peer: bans, the last ping and a connection's
// statistics, each test in a private network namespace of its own.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/peer.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_admin_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kGuid = 0x0123456789ABCDEFull;

// The outcome of one attempt of `client` (a new one each time): the first
// event it reports.
uint8_t attemptOutcome(RakPeerInterface& client) {
  EXPECT_EQ(connectTo(client), CONNECT_STARTED);
  const std::optional<Got> outcome = next(client);
  EXPECT_TRUE(outcome.has_value());
  return outcome.has_value() ? outcome->id() : 0;
}

// Closes the client's connection and waits until the server has seen it go.
void leave(RakPeerInterface& server, RakPeerInterface& client) {
  client.CloseConnection(loopback(kServerPort), true, 0, LOW_PRIORITY);
  ASSERT_TRUE(waitFor(server, ID_DISCONNECTION_NOTIFICATION).has_value());
  ASSERT_TRUE(waitUntil([&] { return server.TransportPeersInUse() == 0; }));
}

TEST(PeerBanTest, TimedBanRefusesUntilTheClockPassesIt) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    server->HoldClock(true);
    ASSERT_TRUE(server->AddToBanList("127.0.0.1", 1000));
    EXPECT_TRUE(server->IsBanned("127.0.0.1"));
    EXPECT_FALSE(server->IsBanned("127.0.0.2"));

    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_BANNED);
    EXPECT_EQ(server->TransportPeersInUse(), 0u);
    EXPECT_TRUE(drain(*server).empty());

    // Just before its end the ban still holds; 1.2 s on it is gone.
    server->AdvanceClock(999);
    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_BANNED);
    server->AdvanceClock(201);
    EXPECT_FALSE(server->IsBanned("127.0.0.1"));
    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_REQUEST_ACCEPTED);
    EXPECT_TRUE(waitFor(*server, ID_NEW_INCOMING_CONNECTION).has_value());
  });
}

TEST(PeerBanTest, BanWithoutEndHoldsForTheLifeOfThePeer) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    ASSERT_TRUE(server->AddToBanList("127.0.0.1", 0));
    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_BANNED);
    // A year on, and after a restart of the same peer.
    server->AdvanceClock(365ull * 24 * 3600 * 1000);
    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_BANNED);
    server->Shutdown(0, 0, LOW_PRIORITY);
    SocketDescriptor descriptors[2] = {SocketDescriptor(kServerPort, ""), SocketDescriptor()};
    ASSERT_EQ(server->Startup(8, descriptors, 2, 0), PEER_STARTED);
    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_BANNED);

    // A new peer knows nothing of it.
    server.reset();
    server = startServer();
    EXPECT_EQ(attemptOutcome(*client), ID_CONNECTION_REQUEST_ACCEPTED);
    EXPECT_TRUE(waitFor(*server, ID_NEW_INCOMING_CONNECTION).has_value());
  });
}

// A ban made between the answer and the hello refuses at the hello, with
// the ban as the close reason; other addresses are not touched; a later ban
// replaces an earlier one.
TEST(PeerBanTest, BanIsCheckedAgainAtTheHelloAndOnlyForItsAddress) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PlainHost plain;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->result, wire::kAccepted);
    ASSERT_TRUE(server->AddToBanList("127.0.0.1", 0));
    ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
    const std::optional<ENetEvent> connected = plain.waitFor(ENET_EVENT_TYPE_CONNECT);
    ASSERT_TRUE(connected.has_value());
    const Bytes hello = wire::encodeHello(wire::Hello{kGuid, kPassword});
    ASSERT_EQ(enet_peer_send(connected->peer, 0, enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE)),
              0);
    const std::optional<ENetEvent> closed = plain.waitFor(ENET_EVENT_TYPE_DISCONNECT);
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(closed->data, ID_CONNECTION_BANNED);
    EXPECT_TRUE(drain(*server).empty());

    // Another loopback address is let in.
    PeerPtr other(RakPeerInterface::GetInstance());
    SocketDescriptor descriptor(0, "127.0.0.2");
    ASSERT_EQ(other->Startup(2, &descriptor, 1, 0), PEER_STARTED);
    EXPECT_EQ(attemptOutcome(*other), ID_CONNECTION_REQUEST_ACCEPTED);

    // A short ban now replaces the one without end.
    server->HoldClock(true);
    ASSERT_TRUE(server->AddToBanList("127.0.0.1", 50));
    server->AdvanceClock(50);
    EXPECT_FALSE(server->IsBanned("127.0.0.1"));
  });
}

TEST(PeerBanTest, TextThatIsNoAddressBansNothing) {
  PeerPtr peer(RakPeerInterface::GetInstance());
  for (const char* text : {"", "127.0.0.1:12100", "localhost", "256.0.0.1", "127.0.0", " 127.0.0.1", "127.0.0.01"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(peer->AddToBanList(text, 0));
    EXPECT_FALSE(peer->IsBanned(text));
  }
  EXPECT_FALSE(peer->AddToBanList(nullptr, 0));
  EXPECT_FALSE(peer->IsBanned(nullptr));
  // A stopped peer keeps bans too.
  EXPECT_TRUE(peer->AddToBanList("10.0.0.7", 0));
  EXPECT_TRUE(peer->IsBanned("10.0.0.7"));
  RakPeerInterface::DestroyInstance(peer.release());
}

TEST(PeerPingTest, LoopbackPingAfterRoundTripsIsSmallButMeasured) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    const SystemAddress clientAddress = connectPair(*server, *client);
    for (uint8_t i = 0; i < 50; ++i) {
      ASSERT_EQ(send(*client, Bytes{200, i}, loopback(kServerPort), RELIABLE), 1u);
      ASSERT_TRUE(waitFor(*server, 200).has_value());
      ASSERT_EQ(send(*server, Bytes{201, i}, clientAddress, RELIABLE), 1u);
      ASSERT_TRUE(waitFor(*client, 201).has_value());
    }
    for (RakPeerInterface* peer : {server.get(), client.get()}) {
      const int ping = peer->GetLastPing(peer == server.get() ? clientAddress : loopback(kServerPort));
      std::cout << "ping after 50 round trips: " << ping << " ms\n";
      EXPECT_GT(ping, 0);
      EXPECT_LT(ping, 100);
    }
    EXPECT_EQ(server->GetLastPing(loopback(1)), -1);
    RakNetStatistics statistics;
    EXPECT_FALSE(server->GetStatistics(loopback(1), statistics));

    // Gone: no ping.
    leave(*server, *client);
    EXPECT_EQ(server->GetLastPing(clientAddress), -1);
  });
}

TEST(PeerStatisticsTest, SendQueueByPriorityAndTotalsOfBothSides) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    const SystemAddress clientAddress = connectPair(*server, *client);

    server->HoldService(true);
    for (int i = 0; i < 3; ++i)
      ASSERT_EQ(send(*server, Bytes(100, 200), clientAddress, RELIABLE_ORDERED, 0, MEDIUM_PRIORITY), 1u);
    RakNetStatistics held;
    ASSERT_TRUE(server->GetStatistics(clientAddress, held));
    EXPECT_EQ(held.messagesInSendBuffer, (std::array<uint32_t, 4>{0, 0, 3, 0}));
    EXPECT_EQ(held.bytesInSendBuffer, (std::array<uint64_t, 4>{0, 0, 300, 0}));
    ASSERT_EQ(send(*server, Bytes(40, 201), clientAddress, UNRELIABLE, 3, LOW_PRIORITY), 1u);
    ASSERT_EQ(send(*server, Bytes(7, 202), clientAddress, RELIABLE, 100, IMMEDIATE_PRIORITY), 1u);
    ASSERT_TRUE(server->GetStatistics(clientAddress, held));
    EXPECT_EQ(held.messagesInSendBuffer, (std::array<uint32_t, 4>{1, 0, 3, 1}));
    EXPECT_EQ(held.bytesInSendBuffer, (std::array<uint64_t, 4>{7, 0, 300, 40}));
    server->HoldService(false);

    // Everything arrives; the queue and the resend buffer empty, and both
    // sides agree on what went across (the confirm's 9 bytes, then 347).
    for (uint8_t id : {202, 200, 200, 200})
      ASSERT_TRUE(waitFor(*client, id).has_value());
    RakNetStatistics sent;
    ASSERT_TRUE(waitUntil([&] {
      server->GetStatistics(clientAddress, sent);
      return sent.messagesInResendBuffer == 0 && sent.bytesInResendBuffer == 0;
    }));
    EXPECT_EQ(std::accumulate(sent.messagesInSendBuffer.begin(), sent.messagesInSendBuffer.end(), 0u), 0u);
    EXPECT_EQ(std::accumulate(sent.bytesInSendBuffer.begin(), sent.bytesInSendBuffer.end(), uint64_t{0}), 0u);
    RakNetStatistics received;
    ASSERT_TRUE(client->GetStatistics(loopback(kServerPort), received));
    // The unreliable one may have been lost on the way.
    EXPECT_TRUE(received.bytesReceivedTotal == 9 + 347 || received.bytesReceivedTotal == 9 + 307)
        << received.bytesReceivedTotal;
    EXPECT_EQ(sent.bytesSentTotal, 9u + 347u);
    // The client sent its hello (1 + 1 + 8 + 1 + 16 bytes).
    EXPECT_EQ(received.bytesSentTotal, 27u);
    EXPECT_EQ(sent.bytesReceivedTotal, 27u);

    for (const RakNetStatistics& s : {sent, received}) {
      EXPECT_GE(s.packetLossLastSecond, 0.0);
      EXPECT_LE(s.packetLossLastSecond, 1.0);
      EXPECT_GE(s.packetLossTotal, 0.0);
      EXPECT_LE(s.packetLossTotal, 1.0);
      EXPECT_FALSE(s.isLimitedByCongestionControl);
      EXPECT_FALSE(s.isLimitedByOutgoingBandwidthLimit);
    }
  });
}

// A reliable message big enough to be in flight for a while shows in the
// resend buffer until it is acknowledged, counted once however many
// fragments it took.
TEST(PeerStatisticsTest, UnacknowledgedDataIsInTheResendBuffer) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    const SystemAddress clientAddress = connectPair(*server, *client);
    // The client takes nothing while held, so nothing is acknowledged.
    client->HoldService(true);
    ASSERT_EQ(send(*server, Bytes(20000, 200), clientAddress, RELIABLE_ORDERED, 4), 1u);
    RakNetStatistics statistics;
    ASSERT_TRUE(waitUntil([&] {
      server->GetStatistics(clientAddress, statistics);
      return statistics.messagesInResendBuffer > 0;
    }));
    EXPECT_EQ(statistics.messagesInResendBuffer, 1u);
    EXPECT_GT(statistics.bytesInResendBuffer, 0u);
    EXPECT_LE(statistics.bytesInResendBuffer, 20000u);
    client->HoldService(false);
    ASSERT_TRUE(waitFor(*client, 200).has_value());
    ASSERT_TRUE(waitUntil([&] {
      server->GetStatistics(clientAddress, statistics);
      return statistics.messagesInResendBuffer == 0;
    }));
    EXPECT_EQ(statistics.bytesInResendBuffer, 0u);
  });
}

}  // namespace peer_admin_test
