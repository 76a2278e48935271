// The peer layer on loopback: reliable ordered messages a second on one
// connection, for small and large messages. The process moves into a
// network namespace of its own before anything else runs, so that nothing
// it sends can leave the machine; without one the benchmarks refuse to run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/peer.h"
#include "support/private_network.h"

namespace {

using RakNet::RakPeerInterface;

// Before main and before any thread: unshare needs a single-threaded process.
const privatenet::Isolation kIsolation = privatenet::enterPrivateNetwork();

constexpr uint16_t kPort = 12100;
constexpr char kPassword[] = "bench-net-pass";
// Only a safety net: every wait ends on its event long before.
constexpr auto kSafety = std::chrono::seconds(60);

struct PeerDeleter {
  void operator()(RakPeerInterface* peer) const { RakPeerInterface::DestroyInstance(peer); }
};
using PeerPtr = std::unique_ptr<RakPeerInterface, PeerDeleter>;

// Waits for a packet whose first byte is `id`, dropping the others; false
// at the safety limit.
bool waitForId(RakPeerInterface& peer, uint8_t id) {
  const auto deadline = std::chrono::steady_clock::now() + kSafety;
  while (std::chrono::steady_clock::now() < deadline) {
    if (RakNet::Packet* packet = peer.Receive()) {
      const bool found = packet->length > 0 && packet->data[0] == id;
      peer.DeallocatePacket(packet);
      if (found)
        return true;
      continue;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return false;
}

// A server and a client connected over 127.0.0.1.
struct Pair {
  PeerPtr server{RakPeerInterface::GetInstance()};
  PeerPtr client{RakPeerInterface::GetInstance()};
  RakNet::SystemAddress serverAddress = RakNet::SystemAddress::fromOctets(127, 0, 0, 1, kPort);
  bool ready = false;

  Pair() {
    RakNet::SocketDescriptor listen(kPort, "");
    RakNet::SocketDescriptor any;
    if (server->Startup(4, &listen, 1, 0) != RakNet::PEER_STARTED || client->Startup(2, &any, 1, 0) != RakNet::PEER_STARTED)
      return;
    server->SetMaximumIncomingConnections(2);
    server->SetIncomingPassword(kPassword, static_cast<int>(std::strlen(kPassword)));
    if (client->Connect("127.0.0.1", kPort, kPassword, static_cast<int>(std::strlen(kPassword)), nullptr, 0, 12, 500,
                        0) != RakNet::CONNECT_STARTED)
      return;
    ready = waitForId(*client, RakNet::ID_CONNECTION_REQUEST_ACCEPTED) &&
            waitForId(*server, RakNet::ID_NEW_INCOMING_CONNECTION);
  }
  ~Pair() {
    client->Shutdown(100, 0, RakNet::LOW_PRIORITY);
    server->Shutdown(100, 0, RakNet::LOW_PRIORITY);
  }
};

// Reliable ordered messages of range(1) bytes on one channel, client to
// server, in batches of range(0); each iteration ends when the server has
// taken the whole batch.
void BM_ReliableOrderedThroughput(benchmark::State& state) {
  if (kIsolation == privatenet::Isolation::None) {
    state.SkipWithError("no private network namespace");
    return;
  }
  Pair pair;
  if (!pair.ready) {
    state.SkipWithError("the peers did not connect");
    return;
  }
  const int batch = static_cast<int>(state.range(0));
  std::vector<char> message(static_cast<size_t>(state.range(1)), 'x');
  message[0] = static_cast<char>(RakNet::kFirstUserMessageId + 100);
  uint64_t received = 0;
  uint64_t bytes = 0;
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i)
      pair.client->Send(message.data(), static_cast<int>(message.size()), RakNet::MEDIUM_PRIORITY,
                        RakNet::RELIABLE_ORDERED, 0, pair.serverAddress, false);
    int taken = 0;
    const auto deadline = std::chrono::steady_clock::now() + kSafety;
    while (taken < batch) {
      if (RakNet::Packet* packet = pair.server->Receive()) {
        if (packet->length == message.size()) {
          ++taken;
          bytes += packet->length;
        }
        pair.server->DeallocatePacket(packet);
      } else if (std::chrono::steady_clock::now() > deadline) {
        state.SkipWithError("messages were lost");
        return;
      } else {
        std::this_thread::yield();
      }
    }
    received += static_cast<uint64_t>(taken);
  }
  state.SetItemsProcessed(static_cast<int64_t>(received));
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReliableOrderedThroughput)
    ->Args({1000, 64})
    ->Args({1000, 512})
    ->Args({200, 4096})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace
