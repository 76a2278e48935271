// Running whole game sessions in a test: a session's data, engine device and
// console in a scratch user folder, and a thread that ends the session once
// its frame loop runs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <irrlicht.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/console_input.h"
#include "app/engine_start.h"
#include "core/user_folders.h"
#include "platform/thread.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"

class SessionTest : public testing::Test {
 protected:
  void SetUp() override {
    userDataFolder = scratchDir().c_str();
    setUserFolders(userFolders);
    createUserFolders(userFolders);
    device_ = createNullDevice(640, 480, &logOnlyReceiver);
    ASSERT_NE(device_, nullptr);
    initDeviceGlobals(device_, nullptr);
    createConsole(engine.gui);
  }
  void TearDown() override {
    setConsole(nullptr);
    closeDeviceGlobals(device_);
    singleThreaded = false;
    threadedLoad = true;
  }

  const WorkingFolder folder_{CORVANE_SOURCE_DIR "/data"};
  irr::IrrlichtDevice* device_ = nullptr;
};

// Ends each session once its frame loop runs and `ready` holds. It never
// waits for a session's end: the frame loop runs at a raised priority, and
// a starved waiter could miss the end and wait on in the next session.
class SessionEnder {
 public:
  template <typename Ready>
  explicit SessionEnder(Ready ready)
      : thread_([this, ready] {
          while (!finished_) {
            if (sessionActive && gameRunning && ready()) {
              plat::sleepMs(30);
              gameRunning = false;
            }
            plat::sleepMs(1);
          }
        }) {}
  ~SessionEnder() {
    finished_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Typed console input for sessions: one reader per process, on a pipe kept
// open for the whole program. A typed line runs on the session's thread,
// between frames.
inline int consoleInputPipe() {
  static int writeEnd = [] {
    int ends[2];
    if (pipe(ends) != 0 || !startConsoleInput(ends[0]))
      return -1;
    return ends[1];
  }();
  return writeEnd;
}

inline void typeConsoleLine(const std::string& line) {
  const ssize_t written = write(consoleInputPipe(), line.data(), line.size());
  (void)written;
}

// The maps of tests/app/maps/ as the mod "Test Maps" in the user folder,
// over the bundled data; a session given that mod finds them in "Maps/".
constexpr char kTestMapsMod[] = "Test Maps";

inline void installTestMaps() {
  const std::filesystem::path mod = std::filesystem::path(userDataFolder.c_str()) / "Corvane/Mods/testmaps";
  std::filesystem::create_directories(mod / "Maps");
  for (const auto& entry : std::filesystem::directory_iterator(CORVANE_SOURCE_DIR "/tests/app/maps"))
    std::filesystem::copy_file(entry.path(), mod / "Maps" / entry.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  FILE* info = std::fopen((mod / "modinfo.txt").c_str(), "w");
  ASSERT_NE(info, nullptr);
  std::fputs("Name: Test Maps\n", info);
  std::fclose(info);
}
