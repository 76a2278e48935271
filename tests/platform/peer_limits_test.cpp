// The limits that keep a hostile or broken remote from making a peer
// allocate without bound, and garbage datagrams, each test in a private
// network namespace of its own.
#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>
#include <random>
#include <string>
#include <vector>

#include "platform/peer.h"
#include "platform/peer_limits.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_limits_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kGuid = 0x0123456789ABCDEFull;

uint64_t totalDrops(RakPeerInterface& peer) {
  uint64_t total = 0;
  for (std::size_t reason = 0; reason < kDropReasonCount; ++reason)
    total += peer.GetDropCount(static_cast<DropReason>(reason));
  return total;
}

PeerPtr clientOn(const char* address) {
  PeerPtr peer(RakPeerInterface::GetInstance());
  SocketDescriptor descriptor(0, address);
  EXPECT_EQ(peer->Startup(2, &descriptor, 1, 0), PEER_STARTED);
  return peer;
}

// Returns once the server has run the timers of a round begun after this
// call: a request's answer is sent while datagrams are read, before the
// timers, so the second answer comes after the first round's timers ran.
void letTheServerLookAtItsTimers() {
  RawSocket probe(SystemAddress::fromOctets(127, 0, 9, 9, 0));
  for (uint32_t nonce = 1; nonce <= 2; ++nonce) {
    probe.sendTo(loopback(kServerPort), requestBytes(nonce, 99, kPassword));
    ASSERT_TRUE(probe.receive().has_value());
  }
}

// Message sizes: a server host takes up to 256 KiB; a larger message is
// never delivered, and its sender is closed while the others are served on.
// A server may send a client up to 8 MiB, nothing larger.
TEST(PeerLimitsTest, MessageSizeLimitsOfServerAndClientHosts) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr big = startClient();
    PeerPtr other = clientOn("127.0.0.2");
    const SystemAddress bigAddress = connectPair(*server, *big);
    const SystemAddress otherAddress = connectPair(*server, *other);

    struct Case {
      const char* name;
      std::size_t size;
      bool delivered;
    };
    const Case cases[] = {
        {"256 KiB, the largest a server takes", kServerMaxMessageBytes, true},
        {"a byte more", kServerMaxMessageBytes + 1, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_EQ(send(*other, Bytes{113, 1}, loopback(kServerPort)), 1u);
      ASSERT_EQ(send(*big, Bytes(c.size, 200), loopback(kServerPort), RELIABLE_ORDERED, 4), 1u);
      ASSERT_EQ(send(*other, Bytes{113, 2}, loopback(kServerPort)), 1u);
      std::vector<Got> got;
      // The other client's second message comes after the big one was read
      // (or refused), as both were sent at once.
      while (got.size() < 3) {
        std::optional<Got> one = next(*server);
        ASSERT_TRUE(one.has_value());
        got.push_back(*one);
      }
      std::size_t bigOnes = 0;
      for (const Got& g : got)
        if (g.id() == 200) {
          EXPECT_EQ(g.bytes.size(), c.size);
          ++bigOnes;
        }
      if (c.delivered) {
        EXPECT_EQ(bigOnes, 1u);
        EXPECT_EQ(server->GetDropCount(DropReason::Oversized), 0u);
        continue;
      }
      EXPECT_EQ(bigOnes, 0u);
      // The third packet is the sender's connection lost, or the other's
      // message: take until both were seen.
      bool lost = false, otherSecond = false;
      for (const Got& g : got) {
        lost |= g.id() == ID_CONNECTION_LOST && g.from == bigAddress;
        otherSecond |= g.id() == 113 && g.bytes[1] == 2;
      }
      while (!lost || !otherSecond) {
        std::optional<Got> one = next(*server);
        ASSERT_TRUE(one.has_value());
        EXPECT_NE(one->id(), 200);
        lost |= one->id() == ID_CONNECTION_LOST && one->from == bigAddress;
        otherSecond |= one->id() == 113 && one->bytes[1] == 2;
      }
      EXPECT_EQ(server->GetDropCount(DropReason::Oversized), 1u);
      // The sender is told it was closed.
      EXPECT_TRUE(waitFor(*big, ID_DISCONNECTION_NOTIFICATION).has_value());
    }
    // The other client is served on.
    ASSERT_EQ(send(*other, Bytes{113, 3}, loopback(kServerPort)), 1u);
    const std::optional<Got> third = waitFor(*server, 113);
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->bytes, (Bytes{113, 3}));
    EXPECT_EQ(server->GetConnectionState(otherAddress), CONNECTION_OPEN);

    // Server to client: 8 MiB arrives whole; a byte more is not queued.
    ASSERT_EQ(send(*server, Bytes(kClientMaxMessageBytes + 1, 201), otherAddress), 0u);
    Bytes largest(kClientMaxMessageBytes);
    for (std::size_t i = 0; i < largest.size(); ++i)
      largest[i] = static_cast<uint8_t>(201 + i * 7);
    largest[0] = 201;
    ASSERT_EQ(send(*server, largest, otherAddress, RELIABLE_ORDERED, 10), 1u);
    const std::optional<Got> arrived = waitFor(*other, 201);
    ASSERT_TRUE(arrived.has_value());
    EXPECT_TRUE(arrived->bytes == largest);
  });
}

// At most four connections and handshakes from one address: the fifth
// request is answered "no free incoming connections" at once.
TEST(PeerLimitsTest, FifthConnectionFromOneAddressIsRefusedAtItsRequest) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer(16, 12);
    std::vector<PeerPtr> clients;
    for (uint32_t i = 0; i < kMaxConnectionsPerAddress; ++i) {
      clients.push_back(startClient());
      connectPair(*server, *clients.back());
    }
    EXPECT_EQ(server->TransportPeersInUse(), 4u);

    RawSocket raw;
    raw.sendTo(loopback(kServerPort), requestBytes(5, kGuid, kPassword));
    const std::optional<Bytes> answer = raw.receive();
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->size(), 16u);
    EXPECT_EQ((*answer)[5], 0x14);
    EXPECT_EQ((*answer)[12] | (*answer)[13] | (*answer)[14] | (*answer)[15], 0);

    PeerPtr fifth = startClient();
    ASSERT_EQ(connectTo(*fifth), CONNECT_STARTED);
    const std::optional<Got> refused = next(*fifth);
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->id(), ID_NO_FREE_INCOMING_CONNECTIONS);
    EXPECT_EQ(server->TransportPeersInUse(), 4u);
    EXPECT_TRUE(drain(*server).empty());

    // Another address is not held back; and when one of the four leaves,
    // the fifth gets in.
    PeerPtr elsewhere = clientOn("127.0.0.3");
    connectPair(*server, *elsewhere);
    clients[0]->CloseConnection(loopback(kServerPort), true, 0, LOW_PRIORITY);
    ASSERT_TRUE(waitFor(*server, ID_DISCONNECTION_NOTIFICATION).has_value());
    ASSERT_TRUE(waitUntil([&] { return server->TransportPeersInUse() == 4; }));
    connectPair(*server, *fifth);
  });
}

// A remote that opens a transport connection and never sends the hello
// holds its slot for the handshake time, read on the layer's clock.
TEST(PeerLimitsTest, HandshakeWithoutHelloHoldsItsSlotAtMostFiveSeconds) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    server->HoldClock(true);
    PlainHost plain;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
    ASSERT_TRUE(answer.has_value());
    ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
    ASSERT_TRUE(plain.waitFor(ENET_EVENT_TYPE_CONNECT).has_value());
    // The acknowledgement that completes the transport's handshake.
    enet_host_flush(plain.host());
    const SystemAddress plainAddress = loopback(plain.host()->address.port);
    ASSERT_TRUE(waitUntil([&] { return server->GetConnectionState(plainAddress) == CONNECTION_CONNECTING; }));
    EXPECT_EQ(server->TransportPeersInUse(), 1u);

    server->AdvanceClock(kHandshakeTimeoutMs - 1);
    letTheServerLookAtItsTimers();
    EXPECT_EQ(server->TransportPeersInUse(), 1u);
    EXPECT_EQ(server->GetDropCount(DropReason::HandshakeTimeout), 0u);

    server->AdvanceClock(1);
    ASSERT_TRUE(waitUntil([&] { return server->TransportPeersInUse() == 0; }));
    EXPECT_EQ(server->GetDropCount(DropReason::HandshakeTimeout), 1u);
    EXPECT_TRUE(drain(*server).empty());
  });
}

// A remote that takes nothing while the server queues for it: past 64 MiB
// waiting, the connection is closed rather than the queue grown.
TEST(PeerLimitsTest, SendQueuePastItsCapClosesTheConnection) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    const SystemAddress clientAddress = connectPair(*server, *client);
    server->HoldService(true);
    const Bytes chunk(1024 * 1024, 200);
    const std::size_t fit = kMaxQueuedOutgoingBytes / chunk.size();
    for (std::size_t i = 0; i < fit; ++i)
      ASSERT_EQ(send(*server, chunk, clientAddress), 1u) << i;
    RakNetStatistics statistics;
    ASSERT_TRUE(server->GetStatistics(clientAddress, statistics));
    EXPECT_EQ(statistics.bytesInSendBuffer[MEDIUM_PRIORITY], kMaxQueuedOutgoingBytes);
    EXPECT_EQ(send(*server, Bytes{200}, clientAddress), 0u);
    EXPECT_EQ(server->GetConnectionState(clientAddress), CONNECTION_GONE);
    server->HoldService(false);
    const std::optional<Got> lost = next(*server);
    ASSERT_TRUE(lost.has_value());
    EXPECT_EQ(lost->id(), ID_CONNECTION_LOST);
    EXPECT_EQ(lost->guid, client->GetMyGUID());
    EXPECT_TRUE(waitFor(*client, ID_DISCONNECTION_NOTIFICATION).has_value());
    EXPECT_EQ(server->NumberOfConnections(), 0u);
  });
}

// Garbage from loopback sources: nothing crashes, nothing is reported, no
// slot is taken, every drop the layer sees is counted, and a real client
// then connects.
TEST(PeerGarbageTest, TenThousandDatagramsOfEachKindChangeNothing) {
  runInPrivateNetwork([] {
    constexpr int kEach = 10000;
    PeerPtr server = startServer();
    std::mt19937 random(20261210);
    auto bytes = [&](std::size_t length) {
      Bytes out(length);
      for (uint8_t& b : out)
        b = static_cast<uint8_t>(random());
      return out;
    };
    auto between = [&](std::size_t low, std::size_t high) {
      return std::uniform_int_distribution<std::size_t>(low, high)(random);
    };

    // An established connection, by hand: its own socket sends garbage too.
    PlainHost plain;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
    ASSERT_TRUE(answer.has_value());
    ENetPeer* toServer = plain.connect(kServerPort, 14, answer->cookie);
    ASSERT_NE(toServer, nullptr);
    ASSERT_TRUE(plain.waitFor(ENET_EVENT_TYPE_CONNECT).has_value());
    const Bytes hello = wire::encodeHello(wire::Hello{kGuid, kPassword});
    enet_peer_send(toServer, 0, enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE));
    const std::optional<ENetEvent> confirm = plain.waitFor(ENET_EVENT_TYPE_RECEIVE);
    ASSERT_TRUE(confirm.has_value());
    enet_packet_destroy(confirm->packet);
    ASSERT_TRUE(waitFor(*server, ID_NEW_INCOMING_CONNECTION).has_value());
    const SystemAddress plainAddress = server->GetSystemAddressFromIndex(0);

    RawSocket stranger(SystemAddress::fromOctets(127, 0, 4, 4, 0));
    auto fromStranger = [&](const Bytes& datagram) { stranger.sendTo(loopback(kServerPort), datagram); };
    // Keeps the hand-made connection alive (it answers the server's pings).
    auto servicePlain = [&] {
      ENetEvent event;
      while (enet_host_service(plain.host(), &event, 0) > 0)
        if (event.type == ENET_EVENT_TYPE_RECEIVE)
          enet_packet_destroy(event.packet);
    };
    // Waits until the server has read what came before: a request from the
    // stranger's socket is answered after what it sent before it; a message
    // on the connection arrives after the connection's socket sent the rest.
    uint32_t marks = 0;
    auto strangerRead = [&] {
      fromStranger(requestBytes(++marks, kGuid + 1, kPassword));
      ASSERT_TRUE(stranger.receive().has_value()) << marks;
      servicePlain();
    };
    auto connectionRead = [&] {
      const Bytes mark = {113, static_cast<uint8_t>(++marks)};
      enet_peer_send(toServer, 0, enet_packet_create(mark.data(), mark.size(), ENET_PACKET_FLAG_RELIABLE));
      servicePlain();
      std::optional<Got> got;
      ASSERT_TRUE(waitUntil([&] {
        servicePlain();
        return (got = take(*server)).has_value();
      }));
      EXPECT_EQ(got->bytes, mark);
    };
    auto fromConnection = [&](const Bytes& datagram) {
      ENetAddress to{};
      to.host = loopback(kServerPort).binaryAddress;
      to.port = kServerPort;
      ENetBuffer buffer{};
      buffer.data = const_cast<uint8_t*>(datagram.data());
      buffer.dataLength = datagram.size();
      ASSERT_EQ(enet_socket_send(plain.host()->socket, &to, &buffer, 1), static_cast<int>(datagram.size()));
    };

    struct Kind {
      const char* name;
      std::function<Bytes()> make;
      std::function<void(const Bytes&)> send;
      // Drops counted for each datagram: 1, or 0 for what the layer never
      // sees (an empty datagram is discarded by the system).
      uint64_t counted;
      int batch;  // sent between two checks that the server read them
      std::function<void()> read;
    };
    const Kind kinds[] = {
        {"empty", [&] { return Bytes{}; }, fromStranger, 0, 50, strangerRead},
        {"one byte", [&] { return bytes(1); }, fromStranger, 1, 50, strangerRead},
        {"random, up to 1400 bytes", [&] { return bytes(between(1, 1400)); }, fromStranger, 1, 50, strangerRead},
        {"a transport CONNECT cut short",
         [&] {
           Bytes connect = connectDatagram(14, answer->cookie, static_cast<uint32_t>(random()));
           connect.resize(between(1, connect.size() - 1));
           return connect;
         },
         fromStranger, 1, 50, strangerRead},
        {"a request of the wrong size",
         [&] {
           Bytes request = requestBytes(static_cast<uint32_t>(random()), kGuid, kPassword);
           std::size_t size = between(4, 200);
           if (size == request.size())
             ++size;
           request.resize(size);
           return request;
         },
         fromStranger, 1, 50, strangerRead},
        {"above what the transport reads", [&] { return bytes(between(4097, 9000)); }, fromStranger, 1, 10, strangerRead},
        {"random, from the established connection's socket", [&] { return bytes(between(1, 1400)); }, fromConnection,
         1, 50, connectionRead},
    };
    for (const Kind& kind : kinds) {
      SCOPED_TRACE(kind.name);
      const uint64_t before = totalDrops(*server);
      for (int sent = 0; sent < kEach;) {
        for (int i = 0; i < kind.batch && sent < kEach; ++i, ++sent)
          kind.send(kind.make());
        kind.read();
      }
      const uint64_t counted = totalDrops(*server) - before;
      if (kind.send.target_type() == typeid(fromConnection)) {
        // A random datagram that happens to name the connection's peer id
        // and session (about one in 16,000) is the transport's to read.
        EXPECT_LE(counted, kEach);
        EXPECT_GE(counted, kEach - 10u);
      } else {
        EXPECT_EQ(counted, kind.counted * kEach);
      }
      EXPECT_TRUE(drain(*server).empty());
      EXPECT_EQ(server->TransportPeersInUse(), 1u);
      EXPECT_EQ(server->GetConnectionState(plainAddress), CONNECTION_OPEN);
    }
    std::cout << "drops:";
    for (std::size_t reason = 0; reason < kDropReasonCount; ++reason)
      std::cout << " " << dropReasonName(static_cast<DropReason>(reason)) << " "
                << server->GetDropCount(static_cast<DropReason>(reason)) << ";";
    std::cout << "\n";

    // The established connection still carries messages, and a real client
    // connects at once.
    PeerPtr client = clientOn("127.0.0.5");
    connectPair(*server, *client);
    EXPECT_EQ(server->NumberOfConnections(), 2u);
  });
}

}  // namespace peer_limits_test
