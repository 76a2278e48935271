// Unreliable messages over a link whose round trips jump about: a relay
// between client and server holds each datagram for a while (in order), at
// first not at all, then for a time that varies from one datagram to the
// next, as a busy machine's loopback does. Nothing is lost on the way, so the
// messages must arrive.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <random>
#include <thread>
#include <vector>

#include "platform/peer.h"
#include "support/network_child.h"
#include "support/peer_harness.h"

namespace peer_jitter_test {

using namespace peerharness;
using namespace RakNet;
using privatenet::runInPrivateNetwork;
using Clock = std::chrono::steady_clock;

constexpr uint16_t kRelayPort = 12200;
constexpr uint8_t kTestId = 200;

// Forwards datagrams between one client (on kRelayPort) and the server, each
// held for `minDelayMs` plus a random part up to `jitterMs`, never passing
// the one before it.
class Relay {
 public:
  std::atomic<int> minDelayMs{0};
  std::atomic<int> jitterMs{0};

  Relay() : front_(loopback(kRelayPort)), back_(loopback(0)), thread_([this] { run(); }) {}
  ~Relay() {
    stop_ = true;
    thread_.join();
  }

 private:
  struct Held {
    Clock::time_point due;
    bool toServer;
    std::vector<uint8_t> bytes;
  };

  void take(const RawSocket& socket, bool toServer) {
    SystemAddress from;
    std::optional<std::vector<uint8_t>> bytes = socket.receive(0, &from);
    if (!bytes.has_value())
      return;
    if (toServer)
      client_ = from;
    std::uniform_int_distribution<int> extra(0, std::max(0, jitterMs.load()));
    Clock::time_point due = Clock::now() + std::chrono::milliseconds(minDelayMs.load() + extra(random_));
    std::deque<Held>& queue = toServer ? toServer_ : toClient_;
    if (!queue.empty() && due < queue.back().due)
      due = queue.back().due;
    queue.push_back(Held{due, toServer, std::move(*bytes)});
  }

  void deliver(std::deque<Held>& queue) {
    while (!queue.empty() && queue.front().due <= Clock::now()) {
      if (queue.front().toServer)
        back_.sendTo(loopback(kServerPort), queue.front().bytes);
      else if (client_.port != 0)
        front_.sendTo(client_, queue.front().bytes);
      queue.pop_front();
    }
  }

  void run() {
    while (!stop_) {
      pollfd watched[2] = {{front_.fd(), POLLIN, 0}, {back_.fd(), POLLIN, 0}};
      ::poll(watched, 2, 1);
      if (watched[0].revents & POLLIN)
        take(front_, true);
      if (watched[1].revents & POLLIN)
        take(back_, false);
      deliver(toServer_);
      deliver(toClient_);
    }
  }

  RawSocket front_;
  RawSocket back_;
  SystemAddress client_;
  std::deque<Held> toServer_, toClient_;
  std::mt19937 random_{12345};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(PeerJitterTest, UnreliableSendsKeepArrivingWhenRoundTripsVary) {
  runInPrivateNetwork([] {
    PeerPtr server = startServer();
    PeerPtr client = startClient();
    Relay relay;
    ASSERT_EQ(connectTo(*client, kRelayPort), CONNECT_STARTED);
    ASSERT_TRUE(waitFor(*client, ID_CONNECTION_REQUEST_ACCEPTED).has_value());
    const std::optional<Got> incoming = waitFor(*server, ID_NEW_INCOMING_CONNECTION);
    ASSERT_TRUE(incoming.has_value());

    // Quick round trips first, with reliable traffic to measure them by; then
    // the held time jumps to 40 ms and varies by up to 20 ms.
    auto exchange = [&](int rounds, int* received) {
      for (int i = 0; i < rounds; ++i) {
        send(*server, {kTestId, static_cast<uint8_t>(i)}, incoming->from, UNRELIABLE_SEQUENCED, 3);
        send(*server, {kTestId + 1}, incoming->from, RELIABLE_ORDERED, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const Got& got : drain(*client))
          if (got.id() == kTestId && received != nullptr)
            ++*received;
      }
    };
    exchange(50, nullptr);
    relay.minDelayMs = 40;
    relay.jitterMs = 20;
    int received = 0;
    exchange(200, &received);
    waitUntil([&] {
      for (const Got& got : drain(*client))
        if (got.id() == kTestId)
          ++received;
      return received >= 200;
    }, 2000);
    // The relay loses nothing and keeps the order: all of them come.
    EXPECT_GE(received, 190);
  });
}

}  // namespace peer_jitter_test
