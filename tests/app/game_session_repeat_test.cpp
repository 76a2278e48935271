// Game sessions run one after another in one process, each ended as the
// console's end of a game ends it (gameRunning cleared): every session
// builds the scripts again, and nothing of an earlier session is left over
// (the sanitizer build's leak check at exit covers what they leave behind).
#include <gtest/gtest.h>

#include <irrlicht.h>

#include <atomic>
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
#include "core/user_folders.h"
#include "platform/thread.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"

namespace {


std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++n;
  return n;
}

TEST(GameSessionRepeat, TwentySessionsInOneProcess) {
  constexpr int kSessions = 20;
  const WorkingFolder folder(CORVANE_SOURCE_DIR "/data");
  userDataFolder = scratchDir().c_str();
  setUserFolders(userFolders);
  createUserFolders(userFolders);

  irr::IrrlichtDevice* device = createNullDevice(640, 480, &logOnlyReceiver);
  ASSERT_NE(device, nullptr);
  initDeviceGlobals(device, nullptr);
  createConsole(engine.gui);

  // Ends each session shortly after its frame loop has started. It never
  // waits for a session's end: the frame loop runs at a raised priority, and
  // a starved waiter could miss the end and wait on in the next session.
  std::atomic<bool> finished{false};
  std::thread ender([&] {
    while (!finished) {
      if (sessionActive && gameRunning) {
        plat::sleepMs(30);
        gameRunning = false;
      }
      plat::sleepMs(1);
    }
  });

  LogCapture log;
  for (int session = 0; session < kSessions; ++session) {
    SCOPED_TRACE(session);
    singleThreaded = session % 2 == 1;  // both modes
    threadedLoad = session % 4 < 2;
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);
  }
  finished = true;
  ender.join();

  const std::string text = log.take();
  EXPECT_EQ(count(text, "Loading/Building scripts... Finished("), static_cast<std::size_t>(kSessions));
  EXPECT_EQ(count(text, "Game ending. Total game time (not session): "), static_cast<std::size_t>(kSessions));
  EXPECT_EQ(text.find("AS Server"), std::string::npos) << text;
  EXPECT_EQ(text.find("AS Client"), std::string::npos) << text;

  setConsole(nullptr);
  closeDeviceGlobals(device);
  singleThreaded = false;
  threadedLoad = true;
}

}  // namespace
