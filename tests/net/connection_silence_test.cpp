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
