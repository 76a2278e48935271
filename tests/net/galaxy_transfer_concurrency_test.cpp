// Galaxy transfers beside the rest of the server: two players who ask at
// once both get the whole galaxy and the simulation goes on afterwards; a
// save taken while a transfer runs, or a transfer that runs while a save
// holds its pause, leaves the processing threads paused until both are
// done; a session that ends during a transfer waits for it before the
// galaxy goes.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/saved_game.h"
#include "net/galaxy_transfer.h"
#include "net_fixture.h"
#include "platform/bit_stream.h"
#include "support/network_child.h"
#include "universe/objects/system_threads.h"
#include "universe/worker_steps.h"

namespace galaxy_transfer_concurrency_test {

namespace {

using netfixture::ServerFixture;
using netfixture::ServerOptions;
using netprobe::Got;
using netprobe::Probe;

constexpr uint8_t kRequest = 115;
constexpr uint8_t kProgress = 121;
constexpr uint8_t kWorkers = 2;

bool hasEndMark(Probe& probe) {
  for (const Got& got : probe.ofId(kProgress))
    if (got.bytes == std::vector<uint8_t>{kProgress, 0x3F, 0x80, 0x00, 0x00})
      return true;
  return false;
}

// The progress a captured 121 carries; negative for any other message.
float progressOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  if (stream.GetNumberOfBytesUsed() != 5 || data[0] != kProgress)
    return -1.0f;
  const uint32_t bits = (uint32_t{data[1]} << 24) | (uint32_t{data[2]} << 16) | (uint32_t{data[3]} << 8) | data[4];
  float value = 0.0f;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Holds a transfer at its first progress mark (the transfer thread sends
// it while it holds the galaxy and the pause) until the test lets it go,
// and counts the end marks.
class TransferGate {
 public:
  explicit TransferGate(NetworkManager& manager) : manager_(manager) {
    manager_.setSendObserver([this](const RakNet::BitStream& stream, uint8_t, RakNet::PacketReliability,
                                    const RakNet::SystemAddress&) {
      const float progress = progressOf(stream);
      std::unique_lock<std::mutex> guard(mutex_);
      if (progress == 1.0f)
        ++ends_;
      if (progress == 0.0f && !heldOnce_) {
        heldOnce_ = true;
        holding_ = true;
        changed_.notify_all();
        changed_.wait(guard, [this] { return released_; });
        holding_ = false;
      }
    });
  }
  ~TransferGate() {
    release();
    manager_.setSendObserver({});
  }
  TransferGate(const TransferGate&) = delete;
  TransferGate& operator=(const TransferGate&) = delete;

  // Waits (bounded) until a transfer is held at its first mark.
  bool waitHeld() {
    std::unique_lock<std::mutex> guard(mutex_);
    return changed_.wait_for(guard, std::chrono::milliseconds(netprobe::kSafetyMs), [this] { return holding_; });
  }
  void release() {
    std::lock_guard<std::mutex> guard(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  int ends() {
    std::lock_guard<std::mutex> guard(mutex_);
    return ends_;
  }

 private:
  NetworkManager& manager_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool heldOnce_ = false;
  bool holding_ = false;
  bool released_ = false;
  int ends_ = 0;
};

// A server without a port whose galaxy runs on processing threads, with a
// listed player to send the galaxy to (what is sent reaches only the
// manager's observer).
class OfflineServer {
 public:
  OfflineServer() : server(offline()) {
    server.manager.isServer = true;
    NetPlayer record;
    record.address = RakNet::SystemAddress::fromOctets(127, 0, 0, 5, 40000);
    std::lock_guard<std::mutex> guard(server.manager.playersLock);
    player = &(server.manager.players[1] = record);
  }

  bool startWorkers() {
    startSystemThreads(kWorkers);
    return galaxy->threads.size() == kWorkers && workersteps::waitForWorkersRunning();
  }

  static bool transfersDone() {
    return workersteps::waitFor([] { return runningGalaxyTransfers() == 0; }, netprobe::kSafetyMs / 1000);
  }

  ServerFixture server;
  NetPlayer* player = nullptr;

 private:
  static ServerOptions offline() {
    ServerOptions options;
    options.startPeer = false;
    return options;
  }
};

TEST(GalaxyTransferConcurrency, TwoProbesAskingAtOnceBothGetTheGalaxyAndTheGameGoesOn) {
  privatenet::runInPrivateNetwork([] {
    ServerFixture server;
    startSystemThreads(kWorkers);
    ASSERT_TRUE(workersteps::waitForWorkersRunning());
    Probe first;
    Probe second;
    ASSERT_NE(server.attach(first), nullptr);
    ASSERT_NE(server.attach(second), nullptr);
    first.forget();
    second.forget();
    first.send({kRequest});
    second.send({kRequest});
    ASSERT_TRUE(server.pollUntil([&] { return hasEndMark(first) && hasEndMark(second); })) << "a transfer never ended";
    // Each got one header and one set of gas sprites.
    EXPECT_EQ(first.ofId(ID_GALAXY_BEGIN).size(), 1u);
    EXPECT_EQ(second.ofId(ID_GALAXY_BEGIN).size(), 1u);
    EXPECT_EQ(first.ofId(ID_GALAXY_GAS_SPRITES).size(), 1u);
    EXPECT_EQ(second.ofId(ID_GALAXY_GAS_SPRITES).size(), 1u);

    ASSERT_TRUE(server.pollUntil([] { return runningGalaxyTransfers() == 0; }));
    EXPECT_EQ(galaxySendCount.load(), 0);
    EXPECT_EQ(systemThreadPauseCount(), 0u);
    EXPECT_FALSE(systemsPaused.load());
    // The processing threads run again: game time that advances is
    // simulated.
    EXPECT_TRUE(workersteps::stepWorkers(0.5));
    EXPECT_TRUE(workersteps::stepWorkers(0.5));
  });
}

// A save's pause and a transfer's overlap either way round: the threads
// stay paused until the later of the two lets go.
TEST(GalaxyTransferConcurrency, ASaveAndATransferKeepTheThreadsPausedUntilBothAreDone) {
  OfflineServer offline;
  ASSERT_TRUE(offline.startWorkers());

  {
    SCOPED_TRACE("a save during a transfer");
    TransferGate gate(offline.server.manager);
    ASSERT_TRUE(requestGalaxyTransfer(offline.server.manager, *offline.player));
    ASSERT_TRUE(gate.waitHeld());
    EXPECT_EQ(galaxySendCount.load(), 1);
    EXPECT_EQ(systemThreadPauseCount(), 1u);
    EXPECT_TRUE(systemsPaused.load());

    EXPECT_TRUE(saveGame("transfer_overlap", 0));
    EXPECT_EQ(systemThreadPauseCount(), 1u) << "the save resumed the transfer's pause";
    EXPECT_TRUE(systemsPaused.load());

    gate.release();
    ASSERT_TRUE(OfflineServer::transfersDone());
    EXPECT_EQ(gate.ends(), 1);
    EXPECT_EQ(galaxySendCount.load(), 0);
    EXPECT_EQ(systemThreadPauseCount(), 0u);
    EXPECT_FALSE(systemsPaused.load());
    EXPECT_TRUE(workersteps::stepWorkers(0.5));
  }

  {
    SCOPED_TRACE("a transfer during a save");
    TransferGate gate(offline.server.manager);
    gate.release();
    // The save's own pause, as it holds it while it writes.
    pauseSystemThreads();
    ASSERT_TRUE(requestGalaxyTransfer(offline.server.manager, *offline.player));
    ASSERT_TRUE(OfflineServer::transfersDone());
    EXPECT_EQ(gate.ends(), 1);
    EXPECT_EQ(systemThreadPauseCount(), 1u) << "the transfer resumed the save's pause";
    EXPECT_TRUE(systemsPaused.load());
    resumeSystemThreads();
    EXPECT_EQ(systemThreadPauseCount(), 0u);
    EXPECT_TRUE(workersteps::stepWorkers(0.5));
  }
}

}  // namespace

}  // namespace galaxy_transfer_concurrency_test
