// Connection attempts from many forged sources take no slot on the server.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "platform/peer.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_flood_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Bytes = std::vector<uint8_t>;

TEST(PeerFloodTest, AttemptsThatNeverFinishLeaveEverySlotFree) {
  runInPrivateNetwork([] {
    constexpr int kSources = 200;
    PeerPtr server = startServer(4, 4);
    // 200 sources, 127.0.x.y: each asks (and is answered), then sends a
    // transport connect with a cookie that is not its own, or none.
    std::vector<std::unique_ptr<RawSocket>> sources;
    for (int i = 0; i < kSources; ++i)
      sources.push_back(std::make_unique<RawSocket>(
          SystemAddress::fromOctets(127, 0, static_cast<uint8_t>(1 + i / 250), static_cast<uint8_t>(1 + i % 250), 0)));
    std::vector<uint32_t> cookies;
    for (int i = 0; i < kSources; ++i) {
      const Bytes request = requestBytes(static_cast<uint32_t>(i), 1000 + i, kPassword);
      sources[i]->sendTo(loopback(kServerPort), request);
      SystemAddress from;
      const std::optional<Bytes> answer = sources[i]->receive(kSafetyMs, &from);
      ASSERT_TRUE(answer.has_value()) << i;
      EXPECT_EQ(from, loopback(kServerPort));
      // Never more bytes back than came in.
      EXPECT_LE(answer->size(), request.size());
      wire::Answer read;
      ASSERT_TRUE(wire::decodeAnswer(answer->data(), answer->size(), read)) << i;
      ASSERT_EQ(read.result, wire::kAccepted) << i;
      cookies.push_back(read.cookie);
    }
    for (int i = 0; i < kSources; ++i) {
      // The neighbour's cookie, the own cookie changed, or no cookie at all.
      const uint32_t wrong = i % 3 == 0 ? cookies[(i + 1) % kSources] : i % 3 == 1 ? cookies[i] ^ 0x80 : 0;
      sources[i]->sendTo(loopback(kServerPort), connectDatagram(14, wrong, 0x1000 + i));
    }
    ASSERT_TRUE(waitUntil([&] { return server->GetDropCount(DropReason::BadCookie) == kSources; }));
    EXPECT_EQ(server->TransportPeersInUse(), 0u);
    EXPECT_TRUE(drain(*server).empty());

    // A real client connects at once.
    PeerPtr client = startClient();
    ASSERT_EQ(connectTo(*client), CONNECT_STARTED);
    const std::optional<Got> accepted = next(*client);
    ASSERT_TRUE(accepted.has_value());
    EXPECT_EQ(accepted->id(), ID_CONNECTION_REQUEST_ACCEPTED);
    const std::optional<Got> incoming = next(*server);
    ASSERT_TRUE(incoming.has_value());
    EXPECT_EQ(incoming->id(), ID_NEW_INCOMING_CONNECTION);
    EXPECT_EQ(server->TransportPeersInUse(), 1u);
  });
}

// The same source with its own cookie does take a slot (the refusals above
// are the cookie's doing), but one that never finishes the transport's
// handshake holds it for the handshake time only.
TEST(PeerFloodTest, ConnectWithTheSourcesOwnCookieHoldsASlotForTheHandshakeTime) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer(4, 4);
    RawSocket source(SystemAddress::fromOctets(127, 0, 3, 9, 0));
    source.sendTo(loopback(kServerPort), requestBytes(1, 77, kPassword));
    const std::optional<Bytes> answer = source.receive();
    ASSERT_TRUE(answer.has_value());
    wire::Answer read;
    ASSERT_TRUE(wire::decodeAnswer(answer->data(), answer->size(), read));
    const auto sent = std::chrono::steady_clock::now();
    source.sendTo(loopback(kServerPort), connectDatagram(14, read.cookie));
    ASSERT_TRUE(waitUntil([&] { return server->TransportPeersInUse() == 1; }));
    EXPECT_EQ(server->GetDropCount(DropReason::BadCookie), 0u);
    ASSERT_TRUE(waitUntil([&] { return server->TransportPeersInUse() == 0; }));
    const auto held = std::chrono::steady_clock::now() - sent;
    std::cout << "half-open slot held " << std::chrono::duration_cast<std::chrono::milliseconds>(held).count()
              << " ms\n";
    EXPECT_GE(held, std::chrono::milliseconds(5000));
    EXPECT_EQ(server->GetDropCount(DropReason::HandshakeTimeout), 1u);
    EXPECT_TRUE(drain(*server).empty());
  });
}

}  // namespace peer_flood_test
