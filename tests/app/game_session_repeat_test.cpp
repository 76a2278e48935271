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

namespace {


std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++n;
  return n;
}

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
  EXPECT_EQ(count(text, "Loading/Building scripts... Finished("), static_cast<std::size_t>(kSessions));
  EXPECT_EQ(count(text, "Game ending. Total game time (not session): "), static_cast<std::size_t>(kSessions));
  EXPECT_EQ(text.find("AS Server"), std::string::npos) << text;
  EXPECT_EQ(text.find("AS Client"), std::string::npos) << text;
}

// The first number each session's galaxy update draws on the galaxy worker
// and on the main thread (the update before the frames).
std::thread::id sessionThread;
std::atomic<bool> workerDrew{false};
std::atomic<uint32_t> workerDraw{0};
std::atomic<bool> mainDrew{false};
std::atomic<uint32_t> mainDraw{0};

void drawOnce(float) {
  const bool onMain = std::this_thread::get_id() == sessionThread;
  std::atomic<bool>& drew = onMain ? mainDrew : workerDrew;
  if (drew)
    return;
  (onMain ? mainDraw : workerDraw) = threadRandom().nextUInt32();
  drew = true;
}

TEST_F(GameSessionRepeat, EverySessionsGeneratorsStartFromItsSeed) {
  // The ender waits for the worker's draw; the limit only keeps a broken
  // session from running on.
  using Clock = std::chrono::steady_clock;
  std::atomic<Clock::time_point> limit{Clock::now()};
  SessionEnder ender([&limit] { return workerDrew || Clock::now() > limit.load(); });
  singleThreaded = false;
  sessionThread = std::this_thread::get_id();
  setGalaxyTick(drawOnce);
  const uint32_t seeds[] = {7, 8, 7, 7};
  uint32_t workerDraws[4];
  uint32_t mainDraws[4];
  LogCapture log;
  for (int session = 0; session < 4; ++session) {
    SCOPED_TRACE(session);
    setGameSetting(L"SEED", static_cast<float>(seeds[session]));
    currentModName = "/";
    workerDrew = mainDrew = false;
    limit = Clock::now() + std::chrono::seconds(20);
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    ASSERT_TRUE(workerDrew && mainDrew);
    workerDraws[session] = workerDraw;
    mainDraws[session] = mainDraw;
    // A worker's generator is new with the session, made from its seed.
    EXPECT_EQ(workerDraws[session], MersenneTwister(seeds[session]).nextUInt32());
  }
  setGalaxyTick(nullptr);
  setGameSetting(L"SEED", 0.0f);
  // The main thread keeps a generator it already had (the first session's
  // may come from before), then makes each session's from its seed.
  EXPECT_NE(mainDraws[1], mainDraws[2]);
  EXPECT_EQ(mainDraws[2], mainDraws[3]);
  EXPECT_NE(log.take().find("Seed: 8\n"), std::string::npos);
}

}  // namespace
