// A session around a galaxy: the galaxy that the new game makes is simulated
// by the processing threads (or by the frame loop in single-threaded mode),
// and the session's end stops every thread and frees the galaxy with all its
// systems.
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
#include "app/game_session.h"
#include "app/profiling_windows.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/system_locks.h"
#include "universe/objects/system_threads.h"

namespace galaxy_session_test {

namespace {

using Clock = std::chrono::steady_clock;

// The default map's systems.
constexpr unsigned kSystems = 150;

// Ticks of the probe, and those run on the session's own thread. Kept
// apart from the probe, which goes with the galaxy.
std::atomic<int> probeTicks{0};
std::atomic<int> probeTicksOnSessionThread{0};
std::thread::id sessionThread;

class Probe : public generic_object {
 public:
  Probe() : generic_object(nullptr, nullptr, nullptr) {}
  void tick(float seconds) override {
    probeTicks.fetch_add(1);
    if (std::this_thread::get_id() == sessionThread)
      probeTicksOnSessionThread.fetch_add(1);
    generic_object::tick(seconds);
  }
};

// The session's galaxy, noted when the probe goes into its first system.
std::atomic<objGalaxy*> sessionGalaxy{nullptr};
std::atomic<unsigned> systemsSeen{0};

// Typed into the session: puts a probe into the galaxy's first system, under
// that system's lock (the processing threads may be ticking it).
void placeProbe(const ConsoleArgs&) {
  objGalaxy* made = galaxy;
  if (made == nullptr || made->getSystemCount() == 0 || sessionGalaxy.load() != nullptr)
    return;
  solarSystem* first = made->getSystem(0);
  lockSolarSystem(first);
  Probe* probe = new Probe();
  probe->position = first->position;
  probe->setContainer(first);
  unlockSolarSystem(first);
  systemsSeen = made->getSystemCount();
  sessionGalaxy = made;
}

size_t threadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

// The console runs typed lines on the session's thread, between frames: a
// command there may touch the GUI, which belongs to that thread. This one
// shows the "Server Profiling" readout and notes whether its table has the
// workers' row.
std::atomic<bool> processingRowSeen{false};

void showServerProfiling(const ConsoleArgs&) {
  irr::gui::IGUIElement* window = engine.gui->getRootGUIElement()->getElementFromId(kServerProfilingWindowId, true);
  if (window == nullptr)
    return;
  window->setVisible(true);
  for (irr::gui::IGUIElement* child : window->getChildren()) {
    if (child->getType() != irr::gui::EGUIET_TABLE)
      continue;
    auto* table = static_cast<irr::gui::IGUITable*>(child);
    for (irr::s32 row = 0; row < table->getRowCount(); ++row)
      if (irr::core::stringw(table->getCellText(row, 0)) == L"System Processing")
        processingRowSeen = true;
  }
}

int registerCommands() {
  static const bool registered = [] {
    Console::registerCommand(L"show_server_profiling", showServerProfiling, L"");
    Console::registerCommand(L"place_probe", placeProbe, L"");
    return true;
  }();
  return registered ? consoleInputPipe() : -1;
}

using GalaxySessionTest = SessionTest;

TEST_F(GalaxySessionTest, ProcessingThreadsRunTheGalaxyAndEndWithIt) {
  struct Case {
    bool singleThreaded;
    uint32_t threads;
    const char* logLine;
  } const cases[] = {
      {false, 4, "Initializing 4 galaxy processing threads\n"},
      {true, 0, "Initializing 0 galaxy processing threads\n"},
  };
  ASSERT_GE(registerCommands(), 0);
  const uint32_t configuredThreads = uiThreadCount;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.singleThreaded ? "single-threaded" : "with workers");
    singleThreaded = c.singleThreaded;
    uiThreadCount = c.threads;
    processingRowSeen = false;
    probeTicks = 0;
    probeTicksOnSessionThread = 0;
    sessionThread = std::this_thread::get_id();
    sessionGalaxy = nullptr;
    systemsSeen = 0;

    // Ends the session once the probe has been ticked a few times and, with
    // workers, every worker has made a pass and the readout shows their row
    // (updated once a second). The limit only keeps a broken session from
    // running on.
    const auto limit = Clock::now() + std::chrono::seconds(60);
    std::atomic<bool> sawWorkers{false};
    auto lastTyped = Clock::now() - std::chrono::seconds(1);
    SessionEnder ender([&] {
      objGalaxy* made = sessionGalaxy.load();
      const bool retype = Clock::now() - lastTyped > std::chrono::milliseconds(100);
      if (made == nullptr) {
        if (retype) {
          typeConsoleLine("place_probe\n");
          lastTyped = Clock::now();
        }
        return Clock::now() > limit;
      }
      bool workersPassed = made->threads.size() == c.threads;
      for (irr::u32 k = 0; k < made->threads.size(); ++k)
        workersPassed = workersPassed && made->threads[k]->passes.load() > 0;
      sawWorkers = sawWorkers || workersPassed;
      if (c.threads > 0 && !processingRowSeen && retype) {
        typeConsoleLine("show_server_profiling\n");
        lastTyped = Clock::now();
      }
      const bool done = workersPassed && probeTicks.load() >= 3 && (c.threads == 0 || processingRowSeen);
      return done || Clock::now() > limit;
    });
    const size_t threadsBefore = threadCount();

    LogCapture log;
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    const std::string text = log.take();
    const void* galaxyMemory = sessionGalaxy.load();

    EXPECT_EQ(systemsSeen.load(), kSystems);
    EXPECT_TRUE(sawWorkers);
    EXPECT_GE(probeTicks.load(), 3);
    // Single-threaded, the frame loop ticks the galaxy itself; otherwise
    // only the workers tick what is inside the systems.
    const int expectedOnSessionThread = c.singleThreaded ? probeTicks.load() : 0;
    EXPECT_EQ(probeTicksOnSessionThread.load(), expectedOnSessionThread);
    if (c.threads > 0) {
      EXPECT_TRUE(processingRowSeen) << "no \"System Processing\" row in the readout";
    }

    EXPECT_NE(text.find(c.logLine), std::string::npos) << text;
    // The galaxy and everything in it were deleted.
    EXPECT_EQ(galaxy, nullptr);
    EXPECT_EQ(text.find("objects have not been deleted"), std::string::npos) << text;
    // Every processing thread has ended (a finished thread may take a
    // moment to leave the process's list).
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (threadCount() > threadsBefore && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(threadCount(), threadsBefore);

    // The galaxy, too large for the system pool, went back to the heap: the
    // pool neither grew nor took its memory in.
    EXPECT_EQ(systemPool().blockCount(), 1u);
    void* element = systemPool().allocate(systemPool().elementSize());
    EXPECT_NE(element, galaxyMemory);
    systemPool().free(element);
  }
  uiThreadCount = configuredThreads;
}

}  // namespace

}  // namespace galaxy_session_test
