// Saved games against damage: a process killed while it saves leaves only
// whole saves under ".qvs" names, and a save cut short or with a byte
// changed either loads or is refused with a known reason, freeing what was
// read, with nothing left behind for the next load.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/saved_game.h"
#include "core/post_load.h"
#include "empire/empire.h"
#include "saved_game_harness.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace saved_game_damage_test {

namespace {

namespace fs = std::filesystem;
using saved_game_harness::Harness;
using saved_game_harness::isKnownLoadError;
using saved_game_harness::LoadReport;
using saved_game_harness::reportOf;
using saved_game_harness::writeFileBytes;

const irr::core::stringc kTinyMap = CORVANE_SOURCE_DIR "/tests/app/maps/tiny.as";

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

Bytes readFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A loaded game in words: its empires, systems and objects, the next UID
// and the game time. (Its bytes written again would not do: the strings of
// every load, damaged ones too, stay in the process's common string pool
// and go into every later save.)
std::string gameSummary() {
  std::ostringstream out;
  for (const empire* emp : empireList)
    out << static_cast<int>(emp->ID) << ' ' << irr::core::stringc(emp->name).c_str() << '\n';
  out << (galaxy != nullptr ? galaxy->getSystemCount() : 0u) << " systems, " << registeredObjectCount()
      << " objects, next UID " << nextUid.load() << ", time " << gameTime.load();
  return out.str();
}

class SavedGameDamageTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_game_harness::installMod();
    harness_.beginSession();
  }

  void TearDown() override {
    harness_.endSession();
    SessionTest::TearDown();
#if defined(__SANITIZE_ADDRESS__)
    // Whatever a load left unreachable, with everything of the test freed
    // (before, the script engines hold pointers the leak check cannot see).
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "memory leaked (see the report above)";
#endif
  }

  fs::path savesFolder() const { return fs::path(userFolders.saves.c_str()); }

  // Loads the file at `path` into a state without a game and checks the
  // outcome: loaded, or refused with one known reason and nothing of it
  // kept. `what` names the input in failures. True when it loaded; the
  // game stays unless `tearDown`.
  bool loadChecked(const fs::path& path, const std::string& what, bool tearDown = true) {
    harness_.endGame();
    LogCapture log;
    const bool loaded = loadSavedGame(path.c_str());
    const LoadReport report = reportOf(log.take());
    if (loaded) {
      EXPECT_TRUE(report.errors.empty() && report.loaded) << what;
    } else {
      EXPECT_EQ(report.errors.size(), 1u) << what;
      for (const std::string& error : report.errors)
        EXPECT_TRUE(isKnownLoadError(error)) << what << ": unknown reason \"" << error << "\"";
      EXPECT_FALSE(report.loaded) << what;
      EXPECT_EQ(galaxy, nullptr) << what;
      EXPECT_EQ(queuedPostObjectTreeSteps(), 0u) << what;
    }
    if (tearDown || !loaded) {
      EXPECT_EQ(harness_.endGame(), 0u) << what << ": objects left after the tear-down";
    }
    return loaded;
  }

  Harness harness_;
};

// ---------------------------------------------------------------------------
// A killed save

// A child process that saves `name` again and again until it is killed
// (for 20 s at most), telling the test of each save it ends. It only ever
// saves, and ends without running anything of the test program.
class SavingChild {
 public:
  SavingChild(const char* name, int rotations) {
    int ends[2];
    if (pipe(ends) != 0)
      return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ends[0]);
      const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      const char done = 1;
      while (std::chrono::steady_clock::now() < limit && saveGame(name, rotations) && write(ends[1], &done, 1) == 1) {
      }
      _exit(0);
    }
    close(ends[1]);
    progress_ = ends[0];
  }
  ~SavingChild() {
    kill();
    if (progress_ >= 0)
      close(progress_);
  }
  SavingChild(const SavingChild&) = delete;
  SavingChild& operator=(const SavingChild&) = delete;

  bool started() const { return pid_ > 0 && progress_ >= 0; }

  // Waits for the end of the next save; false when none ends within 10 s.
  bool awaitSave() {
    pollfd ready{progress_, POLLIN, 0};
    char done = 0;
    return poll(&ready, 1, 10000) == 1 && read(progress_, &done, 1) == 1;
  }

  // True when SIGKILL ended the child (not its own end).
  bool kill() {
    if (pid_ <= 0)
      return false;
    ::kill(pid_, SIGKILL);
    int status = 0;
    const bool reaped = waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    return reaped && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }

 private:
  pid_t pid_ = -1;
  int progress_ = -1;
};

TEST_F(SavedGameDamageTest, ASaveKilledAtAnyMomentLeavesOnlyWholeSaves) {
  constexpr int kKills = 50;
  constexpr char kName[] = "killed";
  const std::string saveName = std::string(kName) + ".qvs";
  std::mt19937 rng(20261211);
  harness_.startGame(kTinyMap);
  for (const int rotations : {0, 2}) {
    SCOPED_TRACE(rotations);
    fs::remove_all(savesFolder());
    fs::create_directories(savesFolder());
    // The save and its copies exist before the first kill.
    for (int i = 0; i <= rotations; ++i)
      ASSERT_TRUE(saveGame(kName, rotations));

    int temporaryLeft = 0;  // kills that fell while the new file was written
    for (int kill = 0; kill < kKills; ++kill) {
      SCOPED_TRACE(kill);
      {
        // After one save, the time of the next gives the range of the
        // moment, in the save after it.
        SavingChild child(kName, rotations);
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(child.awaitSave());
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(child.awaitSave());
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
        usleep(static_cast<useconds_t>(rng() % static_cast<unsigned long>(micros + 1)));
        EXPECT_TRUE(child.kill()) << "the child ended by itself";
      }

      // Every file under a ".qvs" name is a whole save; the save itself is
      // there. Loaded last, it is the game the next child saves.
      std::set<std::string> names;
      for (const auto& entry : fs::directory_iterator(savesFolder()))
        names.insert(entry.path().filename().string());
      EXPECT_EQ(names.count(saveName), 1u);
      for (const std::string& name : names) {
        temporaryLeft += endsWith(name, ".tmp") ? 1 : 0;
        if (endsWith(name, ".qvs") && name != saveName) {
          EXPECT_TRUE(loadChecked(savesFolder() / name, name)) << name;
        }
      }
      if (!loadChecked(savesFolder() / saveName, saveName, false)) {
        ADD_FAILURE() << "the save did not load after kill " << kill;
        harness_.startGame(kTinyMap);
      }
    }
    EXPECT_GT(temporaryLeft, 0) << "no kill fell in the middle of a save";
  }
}

// ---------------------------------------------------------------------------
// Damaged files

TEST_F(SavedGameDamageTest, ADamagedSaveLoadsOrIsRefusedWithAKnownReason) {
  constexpr size_t kCuts = 1000;
  constexpr size_t kChanges = 1000;
  harness_.startGame(kTinyMap);
  ASSERT_TRUE(saveGame("good", 0));
  const fs::path goodPath = savesFolder() / "good.qvs";
  const Bytes good = readFileBytes(goodPath);
  ASSERT_GT(good.size(), kCuts);

  ASSERT_TRUE(loadChecked(goodPath, "the good file", false));
  const std::string goodGame = gameSummary();

  // Each damaged file is loaded and torn down; after 20 inputs that failed
  // the rest are left out, for a readable report.
  const fs::path damagedPath = savesFolder() / "damaged.qvs";
  int loaded = 0;
  int failures = 0;
  const auto loadDamaged = [&](const Bytes& bytes, const std::string& what) {
    writeFileBytes(damagedPath, bytes);
    const int before = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    if (loadChecked(damagedPath, what, false)) {
      // A game that loaded is whole enough to be saved again.
      ++loaded;
      try {
        Harness::writeToMemory();
      } catch (const SaveFileError& error) {
        ADD_FAILURE() << what << ": loaded, but cannot be saved again: " << error.message;
      }
      EXPECT_EQ(harness_.endGame(), 0u) << what << ": objects left after the tear-down";
    }
    const int after = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    failures += after > before ? 1 : 0;
  };

  // Cut at lengths spread over the file, from nothing to one byte short.
  for (size_t i = 0; i < kCuts && failures < 20; ++i) {
    const size_t size = i * (good.size() - 1) / (kCuts - 1);
    loadDamaged(Bytes(good.begin(), good.begin() + static_cast<long>(size)), "cut at " + std::to_string(size));
  }
  // One byte changed to any other value.
  std::mt19937 rng(20261212);
  for (size_t i = 0; i < kChanges && failures < 20; ++i) {
    Bytes bytes = good;
    const size_t at = rng() % bytes.size();
    bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1 + rng() % 255));
    loadDamaged(bytes, "byte " + std::to_string(at) + " set to " + std::to_string(bytes[at]));
  }
  EXPECT_GT(loaded, 0) << "no damaged file loaded";

  // Nothing of the damaged loads stays in the way: the good file gives the
  // same game.
  ASSERT_TRUE(loadChecked(goodPath, "the good file afterwards", false));
  EXPECT_EQ(gameSummary(), goodGame);
}

}  // namespace

}  // namespace saved_game_damage_test
