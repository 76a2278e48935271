// Closing connections: with notice after queued data, without notice, lost
// peers, abandoned attempts and handshakes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "platform/peer.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_close_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kTestId = 200;

Bytes numbered(uint32_t number) {
  return Bytes{kTestId, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number), 0x5A};
}

// 100 reliable messages, then a close with notice: the remote gets all 100,
// then 21; the closer gets nothing.
TEST(PeerCloseTest, CloseWithNoticeFollowsTheQueuedData) {
  struct Case {
    const char* name;
    std::function<void(RakPeerInterface& closer, const SystemAddress& remote)> close;
  };
  const Case cases[] = {
      {"CloseConnection",
       [](RakPeerInterface& closer, const SystemAddress& remote) {
         closer.CloseConnection(remote, true, 0, LOW_PRIORITY);
       }},
      {"Shutdown(250)", [](RakPeerInterface& closer, const SystemAddress&) { closer.Shutdown(250, 0, LOW_PRIORITY); }},
  };
  runInPrivateNetwork([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PeerPtr server = startServer();
      PeerPtr client = startClient();
      const SystemAddress clientAddress = connectPair(*server, *client);
      for (uint32_t i = 0; i < 100; ++i)
        ASSERT_EQ(send(*server, numbered(i), clientAddress, i % 2 ? RELIABLE : RELIABLE_ORDERED, i % 12), 1u);
      c.close(*server, clientAddress);
      // Nothing more is queued for a closing connection.
      EXPECT_EQ(send(*server, numbered(100), clientAddress), 0u);

      std::vector<Got> before;
      const std::optional<Got> closed = waitFor(*client, ID_DISCONNECTION_NOTIFICATION, &before);
      ASSERT_TRUE(closed.has_value());
      EXPECT_EQ(closed->from, loopback(kServerPort));
      EXPECT_EQ(closed->guid, server->GetMyGUID());
      ASSERT_EQ(before.size(), 100u);
      for (uint32_t i = 0; i < 100; ++i)
        EXPECT_EQ(before[i].bytes, numbered(i)) << i;

      EXPECT_TRUE(waitUntil([&] { return server->GetConnectionState(clientAddress) == CONNECTION_UNKNOWN; }));
      EXPECT_TRUE(drain(*server).empty());
      EXPECT_EQ(server->NumberOfConnections(), 0u);
    }
  });
}

TEST(PeerCloseTest, PlainHostSeesTheDataThenCloseReason21) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PlainHost plain;
    const uint64_t guid = 0x0123456789ABCDEFull;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, guid, kPassword);
    ASSERT_TRUE(answer.has_value());
    ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
    const std::optional<ENetEvent> connected = plain.waitFor(ENET_EVENT_TYPE_CONNECT);
    ASSERT_TRUE(connected.has_value());
    const Bytes hello = wire::encodeHello(wire::Hello{guid, kPassword});
    enet_peer_send(connected->peer, 0, enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE));
    const std::optional<ENetEvent> confirm = plain.waitFor(ENET_EVENT_TYPE_RECEIVE);
    ASSERT_TRUE(confirm.has_value());
    EXPECT_EQ(confirm->packet->data[0], wire::kConfirmId);
    enet_packet_destroy(confirm->packet);
    const std::optional<Got> incoming = waitFor(*server, ID_NEW_INCOMING_CONNECTION);
    ASSERT_TRUE(incoming.has_value());

    for (uint32_t i = 0; i < 100; ++i)
      ASSERT_EQ(send(*server, numbered(i), incoming->from, RELIABLE_ORDERED, 4), 1u);
    server->CloseConnection(incoming->from, true, 0, LOW_PRIORITY);

    std::vector<ENetEvent> seen;
    const std::optional<ENetEvent> closed = plain.waitFor(ENET_EVENT_TYPE_DISCONNECT, &seen);
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(closed->data, static_cast<uint32_t>(ID_DISCONNECTION_NOTIFICATION));
    ASSERT_EQ(seen.size(), 100u);
    for (uint32_t i = 0; i < seen.size(); ++i) {
      ASSERT_EQ(seen[i].type, ENET_EVENT_TYPE_RECEIVE);
      EXPECT_EQ(packetBytes(seen[i].packet), numbered(i));
      enet_packet_destroy(seen[i].packet);
    }
  });
}

// A peer that goes without notice is lost to the other side after its
// (lowered) time-out; its id stays known until the 22 has been taken.
TEST(PeerCloseTest, PeerGoneWithoutNoticeIsLostAfterTheTimeout) {
  struct Case {
    const char* name;
    bool destroy;  // else CloseConnection without notice
  };
  const Case cases[] = {{"peer destroyed", true}, {"closed without notice", false}};
  runInPrivateNetwork([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PeerPtr server = startServer();
      PeerPtr client = startClient();
      constexpr unsigned kTimeoutMs = 1000;
      server->SetTimeoutTime(kTimeoutMs, UNASSIGNED_SYSTEM_ADDRESS);
      const SystemAddress clientAddress = connectPair(*server, *client);
      const RakNetGUID clientGuid = client->GetMyGUID();
      const auto gone = std::chrono::steady_clock::now();
      if (c.destroy) {
        client.reset();
      } else {
        client->CloseConnection(loopback(kServerPort), false, 0, LOW_PRIORITY);
        EXPECT_EQ(client->GetConnectionState(loopback(kServerPort)), CONNECTION_UNKNOWN);
      }

      ASSERT_TRUE(waitUntil([&] { return server->GetConnectionState(clientAddress) >= CONNECTION_GONE; }));
      const auto elapsed = std::chrono::steady_clock::now() - gone;
      std::cout << c.name << ": lost after " << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()
                << " ms\n";
      // The time-out counts from the oldest unanswered send, at most a ping
      // interval (500 ms) before the peer went.
      EXPECT_GE(elapsed, std::chrono::milliseconds(kTimeoutMs - 500));
      EXPECT_EQ(server->GetConnectionState(clientGuid), CONNECTION_GONE);
      EXPECT_EQ(server->GetGuidFromSystemAddress(clientAddress), clientGuid);
      EXPECT_EQ(server->NumberOfConnections(), 0u);

      const std::optional<Got> lost = take(*server);
      ASSERT_TRUE(lost.has_value());
      EXPECT_EQ(lost->bytes, Bytes{ID_CONNECTION_LOST});
      EXPECT_EQ(lost->from, clientAddress);
      EXPECT_EQ(lost->guid, clientGuid);
      // Taken: the peer is forgotten.
      EXPECT_EQ(server->GetGuidFromSystemAddress(clientAddress), UNASSIGNED_GUID);
      EXPECT_EQ(server->GetConnectionState(clientAddress), CONNECTION_UNKNOWN);
      if (client) {
        EXPECT_TRUE(drain(*client).empty());
      }
    }
  });
}

TEST(PeerCloseTest, ClosingAnAttemptAbandonsItQuietly) {
  runInPrivateNetwork([] {
    RawSocket silent(loopback(kServerPort));
    PeerPtr client = startClient();
    ASSERT_EQ(connectTo(*client, kServerPort, kPassword, 1000, 20), CONNECT_STARTED);
    ASSERT_TRUE(silent.receive().has_value());
    client->CloseConnection(loopback(kServerPort), true, 0, LOW_PRIORITY);
    EXPECT_EQ(client->GetConnectionState(loopback(kServerPort)), CONNECTION_UNKNOWN);
    // Whatever left before the close; after it, nothing more.
    while (silent.receive(200).has_value()) {
    }
    EXPECT_FALSE(silent.receive(300).has_value());
    EXPECT_TRUE(drain(*client).empty());
    // The endpoint is free for a new attempt.
    EXPECT_EQ(connectTo(*client), CONNECT_STARTED);
  });
}

// A stranger that proved its address but never says hello holds its slot
// for the handshake time only, and nobody hears of it.
TEST(PeerCloseTest, HandshakeWithoutHelloIsDroppedSilently) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PlainHost plain;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, 0x42, kPassword);
    ASSERT_TRUE(answer.has_value());
    const auto started = std::chrono::steady_clock::now();
    ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
    ASSERT_TRUE(plain.waitFor(ENET_EVENT_TYPE_CONNECT).has_value());
    ASSERT_TRUE(waitUntil([&] { return server->TransportPeersInUse() == 1; }));
    // The host keeps its end alive (it answers pings) and never sends a hello.
    ASSERT_TRUE(waitUntil([&] {
      ENetEvent event;
      if (enet_host_service(plain.host(), &event, 5) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE)
        enet_packet_destroy(event.packet);
      return server->TransportPeersInUse() == 0;
    }));
    const auto held = std::chrono::steady_clock::now() - started;
    std::cout << "slot held " << std::chrono::duration_cast<std::chrono::milliseconds>(held).count() << " ms\n";
    // Not before the handshake time, counted from the transport's connect.
    EXPECT_GE(held, std::chrono::milliseconds(5000));
    EXPECT_EQ(server->GetDropCount(DropReason::HandshakeTimeout), 1u);
    EXPECT_TRUE(drain(*server).empty());
  });
}

TEST(PeerCloseTest, ShutdownFreesUntakenPacketsAndTakenOnesStayValid) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    ASSERT_EQ(connectTo(*client), CONNECT_STARTED);
    Packet* accepted = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (accepted = client->Receive()) != nullptr; }));
    ASSERT_TRUE(waitUntil([&] { return server->GetConnectionState(client->GetMyGUID()) == CONNECTION_OPEN; }));
    server->Shutdown(0, 0, LOW_PRIORITY);  // its 19 was never taken
    client->Shutdown(0, 0, LOW_PRIORITY);
    EXPECT_EQ(accepted->data[0], ID_CONNECTION_REQUEST_ACCEPTED);
    EXPECT_EQ(accepted->length, 1u);
    client->DeallocatePacket(accepted);
    EXPECT_EQ(server->Receive(), nullptr);
    EXPECT_FALSE(server->IsActive());

    // Started again, the peer works as new.
    SocketDescriptor descriptor(kServerPort, "");
    ASSERT_EQ(server->Startup(4, &descriptor, 1, 0), PEER_STARTED);
    server->SetMaximumIncomingConnections(2);
    SocketDescriptor any;
    ASSERT_EQ(client->Startup(2, &any, 1, 0), PEER_STARTED);
    connectPair(*server, *client);
  });
}

}  // namespace peer_close_test
