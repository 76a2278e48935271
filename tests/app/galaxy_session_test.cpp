// A session around a galaxy: the galaxy in place when the session prepares
// it is simulated by the processing threads (or by the frame loop in
// single-threaded mode), and the session's end stops every thread and frees
// the galaxy with all its systems.
#include <gtest/gtest.h>
#include <unistd.h>

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
#include "app/console_input.h"
#include "app/game_session.h"
#include "app/profiling_windows.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/system_threads.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSystems = 150;

std::atomic<bool> galaxyDeleted{false};

class WatchedGalaxy : public objGalaxy {
 protected:
  ~WatchedGalaxy() override { galaxyDeleted = true; }
};

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

// The galaxy a new game would have made: systems on a grid, a probe in the
// first one.
void makeGalaxy() {
  galaxy = new WatchedGalaxy();
  solarSystem* first = nullptr;
  for (int i = 0; i < kSystems; ++i) {
    solarSystem* system = new solarSystem();
    system->position.set(300.0f * static_cast<float>(i % 15), 0, 300.0f * static_cast<float>(i / 15));
    system->setContainer(galaxy);
    if (first == nullptr)
      first = system;
  }
  createEnvironment(galaxy, false);
  Probe* probe = new Probe();
  probe->position = first->position;
  probe->setContainer(first);
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

// Typed input for the session: one reader per process, on a pipe kept open
// for the whole program.
int consoleInputPipe() {
  static int writeEnd = [] {
    int ends[2];
    if (pipe(ends) != 0 || !startConsoleInput(ends[0]))
      return -1;
    Console::registerCommand(L"show_server_profiling", showServerProfiling, L"");
    return ends[1];
  }();
  return writeEnd;
}

void type(const char* line) {
  const ssize_t written = write(consoleInputPipe(), line, std::char_traits<char>::length(line));
  (void)written;
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
  ASSERT_GE(consoleInputPipe(), 0);
  const uint32_t configuredThreads = uiThreadCount;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.singleThreaded ? "single-threaded" : "with workers");
    singleThreaded = c.singleThreaded;
    uiThreadCount = c.threads;
    galaxyDeleted = false;
    processingRowSeen = false;
    probeTicks = 0;
    probeTicksOnSessionThread = 0;
    sessionThread = std::this_thread::get_id();
    makeGalaxy();
    objGalaxy* made = galaxy;
    const void* galaxyMemory = made;
    EXPECT_EQ(systemPool().blockCount(), 1u);

    // Ends the session once the systems have been ticked a few times and,
    // with workers, every worker has made a pass and the readout shows their
    // row (updated once a second). The limit only keeps a broken session
    // from running on.
    const auto limit = Clock::now() + std::chrono::seconds(30);
    std::atomic<bool> sawWorkers{false};
    auto lastTyped = Clock::now();
    SessionEnder ender([&] {
      bool workersPassed = made->threads.size() == c.threads;
      for (irr::u32 k = 0; k < made->threads.size(); ++k)
        workersPassed = workersPassed && made->threads[k]->passes.load() > 0;
      sawWorkers = sawWorkers || workersPassed;
      if (c.threads > 0 && !processingRowSeen && Clock::now() - lastTyped > std::chrono::milliseconds(100)) {
        type("show_server_profiling\n");
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
    EXPECT_EQ(galaxy, nullptr);
    EXPECT_TRUE(galaxyDeleted);
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
