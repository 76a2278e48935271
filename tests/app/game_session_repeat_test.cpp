// Game sessions run one after another in one process, each ended as the
// console's end of a game ends it (gameRunning cleared): every session
// builds the scripts again, and nothing of an earlier session is left over
// (the sanitizer build's leak check at exit covers what they leave behind);
// each session's random generators start from its "SEED".
#include <gtest/gtest.h>

#include <irrlicht.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/engine_start.h"
#include "app/game_session.h"
#include "app/session_workers.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/user_folders.h"
#include "platform/thread.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"

namespace game_session_repeat_test {

namespace {

using GameSessionRepeat = SessionTest;

TEST_F(GameSessionRepeat, TwentySessionsInOneProcess) {
  constexpr int kSessions = 20;
  SessionEnder ender([] { return true; });
  LogCapture log;
  for (int session = 0; session < kSessions; ++session) {
    SCOPED_TRACE(session);
    singleThreaded = session % 2 == 1;  // both modes
    threadedLoad = session % 4 < 2;
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);
  }

  const std::string text = log.take();
  EXPECT_EQ(countOccurrences(text, "Loading/Building scripts... Finished("), static_cast<std::size_t>(kSessions));
  EXPECT_EQ(countOccurrences(text, "Game ending. Total game time (not session): "), static_cast<std::size_t>(kSessions));
  EXPECT_EQ(text.find("AS Server"), std::string::npos) << text;
  EXPECT_EQ(text.find("AS Client"), std::string::npos) << text;
}

// The first number each session's galaxy worker draws, and where the new
// game put the first star system (drawn on the session's thread as the map
// script ran), noted by the worker's first galaxy update.
std::atomic<bool> workerDrew{false};
std::atomic<uint32_t> workerDraw{0};
std::atomic<float> firstSystemX{0.0f};
std::atomic<float> firstSystemZ{0.0f};

void drawOnce(float step) {
  if (!workerDrew) {
    workerDraw = threadRandom().nextUInt32();
    if (galaxy != nullptr && galaxy->getSystemCount() > 0) {
      firstSystemX = galaxy->getSystem(0)->position.X;
      firstSystemZ = galaxy->getSystem(0)->position.Z;
    }
    workerDrew = true;
  }
  tickSessionGalaxy(step);
}

TEST_F(GameSessionRepeat, EverySessionsGeneratorsStartFromItsSeed) {
  // Once the session runs, its galaxy update goes through drawOnce; the
  // ender waits for the worker's draw. The limit only keeps a broken
  // session from running on.
  using Clock = std::chrono::steady_clock;
  std::atomic<Clock::time_point> limit{Clock::now()};
  std::atomic<bool> hooked{false};
  SessionEnder ender([&] {
    if (!hooked.exchange(true))
      setGalaxyTick(drawOnce);
    return workerDrew || Clock::now() > limit.load();
  });
  singleThreaded = false;
  const uint32_t seeds[] = {7, 8, 7, 7};
  uint32_t workerDraws[4];
  float systemX[4];
  float systemZ[4];
  LogCapture log;
  for (int session = 0; session < 4; ++session) {
    SCOPED_TRACE(session);
    setGameSetting(L"SEED", static_cast<float>(seeds[session]));
    currentModName = "/";
    workerDrew = false;
    hooked = false;
    limit = Clock::now() + std::chrono::seconds(20);
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    ASSERT_TRUE(workerDrew);
    workerDraws[session] = workerDraw;
    systemX[session] = firstSystemX;
    systemZ[session] = firstSystemZ;
    // A worker's generator is new with the session, made from its seed.
    EXPECT_EQ(workerDraws[session], MersenneTwister(seeds[session]).nextUInt32());
  }
  setGalaxyTick(nullptr);
  setGameSetting(L"SEED", 0.0f);
  // The session's thread keeps a generator it already had (the first
  // session's may come from before), then makes each session's from its
  // seed: the same seed lays out the same galaxy.
  EXPECT_TRUE(systemX[1] != systemX[2] || systemZ[1] != systemZ[2]);
  EXPECT_EQ(systemX[2], systemX[3]);
  EXPECT_EQ(systemZ[2], systemZ[3]);
  EXPECT_NE(log.take().find("Seed: 8\n"), std::string::npos);
}

}  // namespace

}  // namespace game_session_repeat_test
