// Silence towards malformed connection traffic: a server answers nothing
// but a well-formed 48-byte connection request, and that with 16 bytes, so
// that no forged source can make it send more than it received.
//
// The datagrams come from a plain UDP socket on a loopback address of its
// own. The well-formed request goes last from the same socket: once its
// answer is in, an answer to anything sent before it would be too.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <enet/enet.h>

#include <cstdint>
#include <memory>
#include <string>
#include <random>
#include <vector>

#include "net_fixture.h"
#include "platform/peer_wire.h"
#include "support/network_child.h"

namespace connection_silence_test {

namespace {

using netfixture::ServerFixture;
using Bytes = std::vector<uint8_t>;

constexpr int kMalformed = 10000;

class RawSocket {
 public:
  explicit RawSocket(const char* address) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, address, &local.sin_addr);
    bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~RawSocket() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;

  bool ok() const { return bound_; }

  void sendTo(const Bytes& bytes, uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    // A full socket buffer only delays: wait until it takes the datagram.
    while (::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
      pollfd writable{fd_, POLLOUT, 0};
      ::poll(&writable, 1, 100);
    }
  }

  // True once a datagram is waiting, within `waitMs`.
  bool anyWithin(int waitMs) {
    pollfd readable{fd_, POLLIN, 0};
    return ::poll(&readable, 1, waitMs) > 0;
  }

  // Every datagram waiting now; then, when `waitMs` is not 0, more until one
  // of `stopSize` bytes came or the safety net ran out.
  std::vector<Bytes> receive(int waitMs, size_t stopSize) {
    std::vector<Bytes> got;
    for (;;) {
      pollfd readable{fd_, POLLIN, 0};
      if (::poll(&readable, 1, waitMs) <= 0)
        return got;
      Bytes buffer(2048);
      const ssize_t size = ::recv(fd_, buffer.data(), buffer.size(), 0);
      if (size < 0)
        return got;
      buffer.resize(static_cast<size_t>(size));
      got.push_back(buffer);
      if (buffer.size() == stopSize)
        return got;
    }
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

Bytes wellFormedRequest(uint32_t nonce) {
  RakNet::wire::Request request;
  request.nonce = nonce;
  request.guid = 0x1122334455667788ull;
  request.password = netprobe::kPassword;
  RakNet::wire::RequestBytes bytes{};
  EXPECT_TRUE(RakNet::wire::encodeRequest(request, bytes));
  return Bytes(bytes.begin(), bytes.end());
}

// The malformed request number `i`: random bytes of 0 to 1,400, and a
// well-formed request one byte short or long, or with one field wrong.
Bytes malformedRequest(int i, std::mt19937& rng) {
  Bytes bytes = wellFormedRequest(static_cast<uint32_t>(i));
  switch (i % 8) {
    case 0:
    case 1: {
      Bytes random(rng() % 1401);
      for (uint8_t& b : random)
        b = static_cast<uint8_t>(rng());
      // Keep the magic now and then, so that the layer's own check is met.
      if (i % 16 == 1 && random.size() >= 4)
        std::copy(RakNet::wire::kMagic, RakNet::wire::kMagic + 4, random.begin());
      return random;
    }
    case 2:
      bytes.pop_back();  // 47 bytes
      return bytes;
    case 3:
      bytes.push_back(0);  // 49 bytes
      return bytes;
    case 4:
      bytes[rng() % 4] ^= static_cast<uint8_t>(1 + rng() % 255);  // magic
      return bytes;
    case 5:
      bytes[4] = static_cast<uint8_t>(bytes[4] + 1 + rng() % 255);  // kind
      return bytes;
    case 6:
      bytes[5] = static_cast<uint8_t>(bytes[5] + 1 + rng() % 255);  // protocol
      return bytes;
    default:
      for (size_t k = 10; k < 18; ++k)
        bytes[k] = 0xFF;  // the unassigned id
      return bytes;
  }
}

// A transport CONNECT from a stranger, as a transport client sends it first:
// the header with its sent time, then the command (multi-byte fields most
// significant byte first) carrying `channels` and the connect data `cookie`.
Bytes strangerConnect(uint32_t channels, uint32_t cookie) {
  Bytes bytes;
  auto u16 = [&bytes](uint16_t v) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  };
  auto u32 = [&](uint32_t v) {
    u16(static_cast<uint16_t>(v >> 16));
    u16(static_cast<uint16_t>(v));
  };
  u16(ENET_PROTOCOL_MAXIMUM_PEER_ID | ENET_PROTOCOL_HEADER_FLAG_SENT_TIME);
  u16(1234);  // sent time
  bytes.push_back(ENET_PROTOCOL_COMMAND_CONNECT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE);
  bytes.push_back(0xFF);  // channel id
  u16(1);                 // reliable sequence number
  u16(0);                 // outgoing peer id
  bytes.push_back(0xFF);  // incoming session
  bytes.push_back(0xFF);  // outgoing session
  u32(1392);              // mtu
  u32(ENET_PROTOCOL_MAXIMUM_WINDOW_SIZE);
  u32(channels);
  u32(0);
  u32(0);
  u32(ENET_PEER_PACKET_THROTTLE_INTERVAL);
  u32(ENET_PEER_PACKET_THROTTLE_ACCELERATION);
  u32(ENET_PEER_PACKET_THROTTLE_DECELERATION);
  u32(0x5EED);  // connect id
  u32(cookie);
  EXPECT_EQ(bytes.size(), 4 + sizeof(ENetProtocolConnect));
  return bytes;
}

// The cookie a well-formed request from `socket` is answered with.
uint32_t cookieFor(RawSocket& socket, uint32_t nonce) {
  socket.sendTo(wellFormedRequest(nonce), kDefaultGamePort);
  const std::vector<Bytes> got = socket.receive(netprobe::kSafetyMs, RakNet::wire::kAnswerBytes);
  RakNet::wire::Answer answer;
  if (got.size() != 1 || !RakNet::wire::decodeAnswer(got[0].data(), got[0].size(), answer) || answer.nonce != nonce)
    return 0;
  return answer.cookie;
}

}  // namespace

TEST(net_hostile, MalformedConnectionRequestsGetNoAnswer) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    RawSocket socket("127.0.0.9");
    ASSERT_TRUE(socket.ok());
    std::mt19937 rng(61);
    for (int i = 0; i < kMalformed; ++i) {
      socket.sendTo(malformedRequest(i, rng), kDefaultGamePort);
      if (i % 256 == 0) {
        server.poll();
        // Nothing may have come back so far.
        ASSERT_TRUE(socket.receive(0, 0).empty()) << "an answer to malformed request " << i;
      }
    }
    socket.sendTo(wellFormedRequest(0xABCD), kDefaultGamePort);
    const std::vector<Bytes> got = socket.receive(netprobe::kSafetyMs, RakNet::wire::kAnswerBytes);
    ASSERT_EQ(got.size(), 1u) << "only the well-formed request is answered";
    EXPECT_EQ(got[0].size(), RakNet::wire::kAnswerBytes);
    RakNet::wire::Answer answer;
    ASSERT_TRUE(RakNet::wire::decodeAnswer(got[0].data(), got[0].size(), answer));
    EXPECT_EQ(answer.nonce, 0xABCDu);

    // A normal client connects afterwards.
    netprobe::Probe probe;
    EXPECT_NE(server.attach(probe), nullptr);
  });
}

// CONNECTs from strangers without a cookie, with another source's cookie or
// a made-up one, or with a valid cookie but 13 channels get no datagram
// back; the same CONNECT with a valid cookie and 14 channels is answered,
// so the forged ones differ from a real one only in what is checked.
TEST(net_hostile, ConnectsWithoutAValidCookieOrWithThirteenChannelsGetNoAnswer) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    RakNet::RakPeerInterface& peer = *server.manager.peer;
    RawSocket donor("127.0.3.1");
    ASSERT_TRUE(donor.ok());
    const uint32_t donorCookie = cookieFor(donor, 1);
    ASSERT_NE(donorCookie, 0u);

    struct Case {
      const char* what;
      uint32_t channels;
      int cookie;  // 0 none, 1 another source's, 2 made up, 3 its own
      RakNet::DropReason counted;
    };
    const Case cases[] = {
        {"no cookie", RakNet::wire::kTransportChannels, 0, RakNet::DropReason::BadCookie},
        {"another source's cookie", RakNet::wire::kTransportChannels, 1, RakNet::DropReason::BadCookie},
        {"a made-up cookie", RakNet::wire::kTransportChannels, 2, RakNet::DropReason::BadCookie},
        {"13 channels", RakNet::wire::kTransportChannels - 1, 3, RakNet::DropReason::StrangerDatagram},
        {"no channel", 0, 3, RakNet::DropReason::StrangerDatagram},
    };
    unsigned index = 0;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const std::string address = "127.0." + std::to_string(10 + index / 200) + "." + std::to_string(1 + index % 200);
      ++index;
      RawSocket socket(address.c_str());
      ASSERT_TRUE(socket.ok());
      const uint32_t own = cookieFor(socket, 100 + index);
      ASSERT_NE(own, 0u);
      const uint32_t cookie = c.cookie == 0 ? 0 : c.cookie == 1 ? donorCookie : c.cookie == 2 ? own ^ 0x00010000u : own;
      const uint64_t dropsBefore = peer.GetDropCount(c.counted);
      for (int i = 0; i < 20; ++i)
        socket.sendTo(strangerConnect(c.channels, cookie), kDefaultGamePort);
      // The well-formed request last: its answer comes after any answer to
      // the CONNECTs.
      socket.sendTo(wellFormedRequest(7), kDefaultGamePort);
      const std::vector<Bytes> got = socket.receive(netprobe::kSafetyMs, RakNet::wire::kAnswerBytes);
      ASSERT_EQ(got.size(), 1u) << "a CONNECT was answered";
      EXPECT_EQ(got[0].size(), RakNet::wire::kAnswerBytes);
      EXPECT_EQ(peer.GetDropCount(c.counted), dropsBefore + 20);
      EXPECT_EQ(peer.TransportPeersInUse(), 0u);
    }

    // The control: a valid cookie and 14 channels get the transport's answer.
    RawSocket real("127.0.20.1");
    ASSERT_TRUE(real.ok());
    const uint32_t cookie = cookieFor(real, 9);
    ASSERT_NE(cookie, 0u);
    real.sendTo(strangerConnect(RakNet::wire::kTransportChannels, cookie), kDefaultGamePort);
    EXPECT_TRUE(real.anyWithin(netprobe::kSafetyMs)) << "the real CONNECT got no answer";

    // A normal client connects afterwards.
    netprobe::Probe probe;
    EXPECT_NE(server.attach(probe), nullptr);
  });
}

// Half-open attempts: 200 requests from as many addresses that never go on
// to connect are each answered, and hold no transport slot.
TEST(net_hostile, HalfOpenAttemptsTakeNoSlot) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    std::vector<std::unique_ptr<RawSocket>> sockets;
    for (int i = 0; i < 200; ++i) {
      const std::string address = "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
      sockets.push_back(std::make_unique<RawSocket>(address.c_str()));
      ASSERT_TRUE(sockets.back()->ok()) << address;
      sockets.back()->sendTo(wellFormedRequest(static_cast<uint32_t>(i)), kDefaultGamePort);
    }
    for (auto& socket : sockets)
      ASSERT_EQ(socket->receive(netprobe::kSafetyMs, RakNet::wire::kAnswerBytes).size(), 1u);
    server.poll();
    EXPECT_EQ(server.manager.peer->TransportPeersInUse(), 0u);
    EXPECT_EQ(server.manager.playerCount(), 0u);
    netprobe::Probe probe;
    EXPECT_NE(server.attach(probe), nullptr);
  });
}

}  // namespace connection_silence_test
