// The layer's bytes on the wire, spoken by hand: raw UDP sockets and a plain
// transport host against our peer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/peer.h"
#include "platform/peer_wire.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_raw_wire_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kGuid = 0x0123456789ABCDEFull;

Bytes goodRequest() { return requestBytes(1, kGuid, kPassword); }

uint32_t u32At(const Bytes& bytes, std::size_t at) {
  return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
         static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

TEST(PeerRawWireTest, RequestsAreAnsweredFromTheRequestAlone) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    RawSocket socket;

    // Accepted: the prefix is fixed, the cookie is not 0.
    socket.sendTo(loopback(kServerPort), goodRequest());
    std::optional<Bytes> answer = socket.receive();
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->size(), 16u);
    EXPECT_EQ(Bytes(answer->begin(), answer->begin() + 12),
              (Bytes{0xFF, 0xFF, 0x4C, 0x59, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_NE(u32At(*answer, 12), 0u);

    // A wrong password: result 24, no cookie.
    socket.sendTo(loopback(kServerPort), requestBytes(2, kGuid, "x"));
    answer = socket.receive();
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->size(), 16u);
    EXPECT_EQ((*answer)[5], 0x18);
    EXPECT_EQ(u32At(*answer, 8), 2u);
    EXPECT_EQ(u32At(*answer, 12), 0u);

    // Nothing of it made a peer or an event.
    EXPECT_EQ(server->TransportPeersInUse(), 0u);
    EXPECT_TRUE(drain(*server).empty());
  });
}

TEST(PeerRawWireTest, MalformedRequestsGetNoAnswerAndAreCounted) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    RawSocket socket;
    const Bytes good = goodRequest();
    auto with = [&](std::size_t at, uint8_t value) {
      Bytes b = good;
      b[at] = value;
      return b;
    };
    Bytes cut = good;
    cut.pop_back();
    Bytes grown = good;
    grown.push_back(0);
    Bytes unassigned = good;
    std::fill(unassigned.begin() + 10, unassigned.begin() + 18, 0xFF);
    struct Case {
      const char* name;
      Bytes bytes;
    };
    const Case cases[] = {
        {"cut to 47 bytes", cut},         {"grown to 49 bytes", grown}, {"magic FF FF 4C 58", with(3, 0x58)},
        {"kind 2", with(4, 2)},           {"protocol 2", with(5, 2)},   {"password length 30", with(18, 30)},
        {"unassigned id", unassigned},    {"the magic alone", Bytes(good.begin(), good.begin() + 4)},
        {"an answer nobody asked for", Bytes{0xFF, 0xFF, 0x4C, 0x59, 2, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}},
    };
    uint32_t probe = 100;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const uint64_t before = server->GetDropCount(DROP_BAD_HANDSHAKE);
      socket.sendTo(loopback(kServerPort), c.bytes);
      // A good request after it: its answer is the first thing that comes
      // back, so the bad one got none.
      socket.sendTo(loopback(kServerPort), requestBytes(++probe, kGuid, kPassword));
      const std::optional<Bytes> answer = socket.receive();
      ASSERT_TRUE(answer.has_value());
      ASSERT_EQ(answer->size(), 16u);
      EXPECT_EQ(u32At(*answer, 8), probe);
      EXPECT_EQ(server->GetDropCount(DROP_BAD_HANDSHAKE), before + 1);
    }
    EXPECT_EQ(server->TransportPeersInUse(), 0u);
    EXPECT_TRUE(drain(*server).empty());
  });
}

// A plain transport host that does the handshake by hand.
TEST(PeerRawWireTest, PlainHostWithCookieAndHelloIsConfirmed) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PlainHost plain;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->result, wire::kAccepted);
    ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
    const std::optional<ENetEvent> connected = plain.waitFor(ENET_EVENT_TYPE_CONNECT);
    ASSERT_TRUE(connected.has_value());

    Bytes hello = {0x01, 0x01, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10};
    hello.insert(hello.end(), kPassword, kPassword + 16);
    ASSERT_EQ(enet_peer_send(connected->peer, 0, enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE)), 0);
    const std::optional<ENetEvent> confirm = plain.waitFor(ENET_EVENT_TYPE_RECEIVE);
    ASSERT_TRUE(confirm.has_value());
    const auto expected = wire::encodeConfirm(server->GetMyGUID().g);
    EXPECT_EQ(packetBytes(confirm->packet), Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(confirm->packet->data[0], 0x02);
    enet_packet_destroy(confirm->packet);

    const std::optional<Got> incoming = next(*server);
    ASSERT_TRUE(incoming.has_value());
    EXPECT_EQ(incoming->bytes, Bytes{ID_NEW_INCOMING_CONNECTION});
    EXPECT_EQ(incoming->guid, RakNetGUID(kGuid));
    EXPECT_EQ(incoming->from.port, plain.host()->address.port);
  });
}

// Transport connects that must make no peer on the server.
TEST(PeerRawWireTest, ConnectWithoutItsDueIsDropped) {
  runInPrivateNetwork([] {
    struct Case {
      const char* name;
      std::size_t channels;
      uint32_t cookieOffset;
      PeerDropReason counted;
    };
    const Case cases[] = {
        {"13 channels", 13, 0, DROP_BAD_HANDSHAKE},
        {"the cookie plus 1", 14, 1, DROP_BAD_COOKIE},
    };
    PeerPtr server = startServer();
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PlainHost plain;
      const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
      ASSERT_TRUE(answer.has_value());
      const uint64_t before = server->GetDropCount(c.counted);
      ASSERT_NE(plain.connect(kServerPort, c.channels, answer->cookie + c.cookieOffset), nullptr);
      // The host sends its connect (and goes on resending it); the server
      // counts it and makes nothing of it.
      ASSERT_TRUE(waitUntil([&] {
        ENetEvent event;
        enet_host_service(plain.host(), &event, 1);
        return server->GetDropCount(c.counted) > before;
      }));
      EXPECT_EQ(server->TransportPeersInUse(), 0u);
      EXPECT_TRUE(drain(*server).empty());
    }
  });
}

TEST(PeerRawWireTest, HelloWithWrongPasswordIsClosedWithItsReason) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PlainHost plain;
    const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
    ASSERT_TRUE(answer.has_value());
    ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
    const std::optional<ENetEvent> connected = plain.waitFor(ENET_EVENT_TYPE_CONNECT);
    ASSERT_TRUE(connected.has_value());
    const Bytes hello = wire::encodeHello(wire::Hello{kGuid, "qv-marbol-tekkaN"});
    enet_peer_send(connected->peer, 0, enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE));
    const std::optional<ENetEvent> closed = plain.waitFor(ENET_EVENT_TYPE_DISCONNECT);
    ASSERT_TRUE(closed.has_value());
    EXPECT_EQ(closed->data, static_cast<uint32_t>(ID_INVALID_PASSWORD));
    ASSERT_TRUE(waitUntil([&] { return server->TransportPeersInUse() == 0; }));
    EXPECT_TRUE(drain(*server).empty());
  });
}

// The server reads nothing before the hello: any other first message ends
// the connection, silently.
TEST(PeerRawWireTest, FirstMessageOtherThanHelloEndsTheConnection) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    struct Case {
      const char* name;
      Bytes message;
    };
    Bytes helloCut = wire::encodeHello(wire::Hello{kGuid, kPassword});
    helloCut.pop_back();
    const Case cases[] = {
        {"a game message", Bytes{113, 0, 65}},
        {"a hello cut short", helloCut},
        {"a confirm", Bytes{0x02, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"nothing", Bytes{}},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PlainHost plain;
      const std::optional<wire::Answer> answer = plain.request(kServerPort, 1, kGuid, kPassword);
      ASSERT_TRUE(answer.has_value());
      ASSERT_NE(plain.connect(kServerPort, 14, answer->cookie), nullptr);
      const std::optional<ENetEvent> connected = plain.waitFor(ENET_EVENT_TYPE_CONNECT);
      ASSERT_TRUE(connected.has_value());
      const uint64_t before = server->GetDropCount(DROP_BAD_HANDSHAKE);
      enet_peer_send(connected->peer, 0,
                     enet_packet_create(c.message.data(), c.message.size(), ENET_PACKET_FLAG_RELIABLE));
      ASSERT_TRUE(waitUntil([&] {
        ENetEvent event;
        if (enet_host_service(plain.host(), &event, 1) > 0 && event.type == ENET_EVENT_TYPE_RECEIVE)
          enet_packet_destroy(event.packet);
        return server->GetDropCount(DROP_BAD_HANDSHAKE) > before && server->TransportPeersInUse() == 0;
      }));
      EXPECT_TRUE(drain(*server).empty());
    }
  });
}

// A client whose "server" answers by hand.
TEST(PeerRawWireTest, ClientReadsOnlyTheAnswersToItsOwnRequests) {
  runInPrivateNetwork([] {
    struct Case {
      const char* name;
      uint8_t result;
      bool sameNonce;
      uint8_t event;
    };
    const Case cases[] = {
        {"banned", 23, true, ID_CONNECTION_BANNED},
        {"already connected", 18, true, ID_ALREADY_CONNECTED},
        {"full", 20, true, ID_NO_FREE_INCOMING_CONNECTIONS},
        {"bad password", 24, true, ID_INVALID_PASSWORD},
        {"another nonce", 24, false, ID_CONNECTION_ATTEMPT_FAILED},
    };
    RawSocket fake(loopback(kServerPort));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PeerPtr client = startClient();
      ASSERT_EQ(connectTo(*client, kServerPort, kPassword, 3, 100), CONNECT_STARTED);
      for (int i = 0; i < (c.sameNonce ? 1 : 3); ++i) {
        SystemAddress from;
        const std::optional<Bytes> request = fake.receive(kSafetyMs, &from);
        ASSERT_TRUE(request.has_value());
        wire::Request read;
        ASSERT_TRUE(wire::decodeRequest(request->data(), request->size(), read));
        wire::Answer answer;
        answer.result = c.result;
        answer.nonce = c.sameNonce ? read.nonce : read.nonce + 7;
        const wire::AnswerBytes bytes = wire::encodeAnswer(answer);
        fake.sendTo(from, Bytes(bytes.begin(), bytes.end()));
      }
      const std::optional<Got> outcome = next(*client);
      ASSERT_TRUE(outcome.has_value());
      EXPECT_EQ(outcome->bytes, Bytes{c.event});
      EXPECT_EQ(outcome->from, loopback(kServerPort));
      if (!c.sameNonce) {
        EXPECT_TRUE(waitUntil([&] { return client->GetDropCount(DROP_BAD_HANDSHAKE) == 3; }));
      }
      client.reset();
      while (fake.receive(0).has_value()) {
      }
    }
  });
}

}  // namespace peer_raw_wire_test
