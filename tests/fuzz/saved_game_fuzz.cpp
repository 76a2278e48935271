// Fuzz entry point: arbitrary bytes as a saved game, loaded as a session
// loads one while it prepares its galaxy (data, scripts and planet types
// ready, no game yet), then torn down as the session's end does.
//
// Besides running clean under the sanitizers, every input checks: a load
// either reports the game loaded or logs "Error loading save file: " once,
// with a known text; a refused load leaves no galaxy; the tear-down leaves
// no object; a game that loaded can be saved again; no single allocation is
// larger than a generous multiple of the input (whatever count the file
// claims).
//
// The scratch user folder is "fuzz_saved_game_<pid>" in CORVANE_TEST_TMP
// (else /tmp). The input being loaded is its file "Corvane/Saves/input.qvs",
// which stays there when the program dies on it: the reproducer.
//
// Seed: the test map "tiny.as" with three AI empires, saved, with the mod
// of saved_game_harness.h (an AI and a server module with XML records).
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/engine_start.h"
#include "app/saved_game.h"
#include "app/saved_game_harness.h"
#include "core/user_folders.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"

namespace {

namespace fs = std::filesystem;
using saved_game_harness::Harness;

// Largest single allocation allowed while an input is loaded (0: no limit).
std::atomic<std::size_t> allocationLimit{0};

void* allocate(std::size_t size) {
  const std::size_t limit = allocationLimit.load(std::memory_order_relaxed);
  if (limit != 0 && size > limit) {
    std::fprintf(stderr, "saved game fuzz: an allocation of %zu bytes while loading\n", size);
    std::abort();
  }
  if (void* p = std::malloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "saved game fuzz: %s%s\n", what, detail.c_str());
  std::abort();
}

struct Fixture {
  fs::path scratch;
  fs::path input;
  irr::IrrlichtDevice* device = nullptr;
  Harness harness;
};

Fixture* fixture = nullptr;

// Ends the session at the program's exit, while the thread's locals still
// exist: made after them, it is destroyed before them.
struct SessionEnd {
  ~SessionEnd() {
    fixture->harness.endSession();
    setConsole(nullptr);
    closeDeviceGlobals(fixture->device);
    std::error_code ignored;
    fs::remove_all(fixture->scratch, ignored);
    delete fixture;
    fixture = nullptr;
  }
};

// The session's start-up up to its galaxy, once for the program.
Fixture& prepared() {
  if (fixture != nullptr)
    return *fixture;
  fixture = new Fixture;
  const char* root = std::getenv("CORVANE_TEST_TMP");
  fixture->scratch = fs::path(root != nullptr ? root : "/tmp") / ("fuzz_saved_game_" + std::to_string(getpid()));
  fs::remove_all(fixture->scratch);
  fs::create_directories(fixture->scratch);
  fs::current_path(CORVANE_SOURCE_DIR "/data");
  userDataFolder = fixture->scratch.c_str();
  setUserFolders(userFolders);
  createUserFolders(userFolders);
  fixture->input = fs::path(userFolders.saves.c_str()) / "input.qvs";
  fixture->device = createNullDevice(640, 480, &logOnlyReceiver);
  if (fixture->device == nullptr)
    fail("no engine device", "");
  initDeviceGlobals(fixture->device, nullptr);
  createConsole(engine.gui);
  saved_game_harness::installMod();
  fixture->harness.beginSession();
  static thread_local SessionEnd end;
  (void)end;
  return *fixture;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Fixture& f = prepared();
  saved_game_harness::writeFileBytes(f.input, std::vector<uint8_t>(data, data + size));

  // A module record may hold up to a million bytes of XML, read whole.
  allocationLimit.store(64 * size + (4u << 20));
  LogCapture log;
  const bool loaded = loadSavedGame(f.input.c_str());
  const saved_game_harness::LoadReport report = saved_game_harness::reportOf(log.take());
  if (loaded) {
    if (!report.errors.empty() || !report.loaded)
      fail("loaded, but the log says otherwise", "");
    try {
      Harness::writeToMemory();
    } catch (const SaveFileError& error) {
      fail("loaded, but cannot be saved again: ", error.message);
    }
  } else {
    if (report.errors.size() != 1)
      fail("refused with this many errors: ", std::to_string(report.errors.size()));
    if (!saved_game_harness::isKnownLoadError(report.errors[0]))
      fail("refused with an unknown text: ", report.errors[0]);
    if (report.loaded || galaxy != nullptr)
      fail("refused, but a galaxy stays", "");
  }
  allocationLimit.store(0);
  const size_t left = f.harness.endGame();
  if (left != 0)
    fail("objects left after the tear-down: ", std::to_string(left));
  return 0;
}

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  Fixture& f = prepared();
  f.harness.startGame(CORVANE_SOURCE_DIR "/tests/app/maps/tiny.as");
  seeds->push_back(Harness::writeToMemory());
  f.harness.endGame();
}
