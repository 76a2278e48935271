// Three computer empires play a game on their own on a 24-system map: each
// council researches, governs its planets, builds scouts, colony ships and
// warships and sends them out, through a save and a load half-way; a council
// whose empire a player took over leaves its queues alone.
//
// The game is single-threaded unless CORVANE_AI_GAME_THREADS names a number
// of galaxy processing threads (the ThreadSanitizer run by hand uses 4): the
// session's workers then run the galaxy update, the script garbage
// collection and the server modules beside the empire steps, as the frame
// loop runs them, and every frame waits until each galaxy thread has made a
// pass over its systems.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/base/engine.h"
#include "app/new_game.h"
#include "app/saved_game.h"
#include "app/session_workers.h"
#include "core/post_load.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "session_data.h"
#include "shipped_session.h"
#include "support/log_capture.h"
#include "support/manual_timer.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_threads.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"
#include "universe/worker_steps.h"

namespace empire_ai_game_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

constexpr int kAIEmpires = 3;
// A dyadic step: the game seconds add up exactly.
constexpr double kStep = 0.25;
// Half the game: the save falls here.
constexpr double kHalfGame = 450.0;
// The end of the game that a new colony may still be waiting for its first
// structure in.
constexpr double kLastMinute = 60.0;
// How often the ships in service are noted.
constexpr double kCensusPeriod = 5.0;
// The game runs at speed factor 10: a game second is a tenth of a real one
// on the engine's clock, which the objects' timed orders read.
constexpr double kSpeedFactor = 10.0;

const stringc kTestMap = CORVANE_SOURCE_DIR "/tests/app/maps/three_empires";

// The galaxy processing threads asked for with CORVANE_AI_GAME_THREADS
// (1 to 64); 0, unset or unreadable: single-threaded.
int galaxyThreadsSetting() {
  const char* text = std::getenv("CORVANE_AI_GAME_THREADS");
  if (text == nullptr)
    return 0;
  char* end = nullptr;
  const long threads = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && threads > 0 && threads <= 64 ? static_cast<int>(threads) : 0;
}

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Lines an unattended game must never log.
void expectCleanLog(const std::string& text) {
  for (const char* bad : {"Script Exception", "No matching factory function", "Empire already has an AI",
                          "Script binding rejected"})
    EXPECT_FALSE(contains(text, bad)) << bad << "\n" << text;
  EXPECT_FALSE(contains(text, "\nEmpire AI:") || text.rfind("Empire AI:", 0) == 0) << text;
}

double runningTime(const empire* emp) {
  AngelScript::asIScriptObject* ai = emp->aiObject;
  if (ai == nullptr)
    return -1.0;
  for (AngelScript::asUINT i = 0; i < ai->GetPropertyCount(); ++i)
    if (std::string(ai->GetPropertyName(i)) == "running")
      return *static_cast<double*>(ai->GetAddressOfProperty(i));
  return -1.0;
}

// The empire's objects, copied under its objects area.
std::vector<generic_object*> objectsOf(empire* emp) {
  empire::AreaGuard guard;
  emp->lockArea(guard, EA_Objects, false);
  return std::vector<generic_object*>(emp->objects.begin(), emp->objects.end());
}

std::vector<objHabitation*> planetsOf(empire* emp) {
  std::vector<objHabitation*> planets;
  for (generic_object* object : objectsOf(emp))
    if (auto* planet = dynamic_cast<objHabitation*>(object))
      planets.push_back(planet);
  return planets;
}

// Every technology's level for the empire, by id.
std::map<std::string, float> techLevels(const empire* emp) {
  std::map<std::string, float> levels;
  for (unsigned i = 0; i < research::getWebItemDescCount(); ++i) {
    const research::IWebItemDesc* desc = research::getWebItemDesc(i);
    const research::IWebItem* item = desc != nullptr ? emp->researchWeb->getItem(desc) : nullptr;
    if (item == nullptr)
      continue;
    float level = 0, progress = 0, cost = 0, maxLevel = 0;
    item->getLevels(level, progress, cost, maxLevel);
    levels[stringc(desc->getId()).c_str()] = level;
  }
  return levels;
}

class EmpireAIGameTest : public ShippedSessionTest {
 protected:
  void SetUp() override {
    threads_ = galaxyThreadsSetting();
    singleThreaded = threads_ == 0;
    ShippedSessionTest::SetUp();
    setGameSetting(L"AI_COUNT", static_cast<float>(kAIEmpires));
    deviceTimer_ = engine.timer;
    timer_.realTime = kTimerStart;
    engine.timer = &timer_;
  }

  void TearDown() override {
    stopThreads();
    engine.timer = deviceTimer_;
    ShippedSessionTest::TearDown();
  }

  std::string newGame() {
    LogCapture log;
    setupNewGame(kTestMap);
    for (empire* emp : aiEmpires())
      startLevels_[emp->ID] = techLevels(emp);
    startThreads();
    return log.take();
  }

  // With galaxy threads: starts them and the session's workers over the
  // game just made or loaded, as a session does once its galaxy is ready.
  void startThreads() {
    if (threads_ == 0 || galaxy == nullptr)
      return;
    setGalaxyTick(tickSessionGalaxy);
    startSystemThreads(static_cast<uint8_t>(threads_));
    // A thread starts its clock from the game time it first reads: one that
    // read the next frame's time would not see that frame.
    EXPECT_TRUE(workersteps::waitForWorkersRunning()) << "a galaxy thread did not start";
    workers_ = std::make_unique<SessionWorkers>(sessionWorkerTasks(), false);
    workers_->start();
    setSavingSessionWorkers(workers_.get());
  }

  // Stops the session's workers and parks the galaxy threads (until the
  // galaxy goes), so that the game is looked at or taken down at rest.
  void stopThreads() {
    if (workers_ == nullptr)
      return;
    setSavingSessionWorkers(nullptr);
    workers_->stop();
    workers_->join();
    workers_.reset();
    setGalaxyTick(nullptr);
    if (galaxy != nullptr)
      pauseSystemThreads();
  }

  // The passes each galaxy thread has made so far (none without threads).
  std::vector<uint64_t> galaxyThreadPasses() const {
    std::vector<uint64_t> passes;
    if (workers_ != nullptr)
      for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
        passes.push_back(galaxy->threads[k]->passes.load());
    return passes;
  }

  // One frame with the session's workers: they run beside the empire
  // steps; the frame ends once the galaxy update is idle and each galaxy
  // thread has made a pass beyond `before` (its passes counted before the
  // frame's game time was set: a thread may see that time before the frame
  // starts). False when one never did.
  bool threadedFrame(float seconds, const std::vector<uint64_t>& before) {
    cutSystemThreadRests();
    workers_->beginFrame(seconds);
    for (empire* emp : empireList)
      emp->tick(seconds);
    activeEmpire = pendingPlayerEmpire;
    workers_->finishFrame();
    workers_->waitForGalaxyIdle();
    return workersteps::waitFor(
        [&] {
          for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
            if (galaxy->threads[k]->passes.load() <= before[k])
              return false;
          return true;
        },
        120);
  }

  // `seconds` of game time, frame by frame as the session's frame loop
  // steps it without workers, noting the ships in service as it goes.
  void play(double seconds) {
    double sinceCensus = 0;
    for (double played = 0; played < seconds; played += kStep) {
      const std::vector<uint64_t> passes = galaxyThreadPasses();
      gameTime = gameTime.load() + kStep;
      realSeconds_ += kStep / kSpeedFactor;
      timer_.realTime = kTimerStart + static_cast<irr::u32>(realSeconds_ * 1000.0 + 0.5);
      if (workers_ != nullptr) {
        if (!threadedFrame(static_cast<float>(kStep), passes)) {
          ADD_FAILURE() << "a galaxy thread made no pass at game time " << gameTime.load();
          return;
        }
      } else {
        tickSessionGalaxy(static_cast<float>(kStep));
        for (empire* emp : empireList)
          emp->tick(static_cast<float>(kStep));
        activeEmpire = pendingPlayerEmpire;
      }
      sinceCensus += kStep;
      if (sinceCensus >= kCensusPeriod) {
        sinceCensus = 0;
        census();
      }
    }
    census();
  }

  // A design's name without the revision mark that an update gives the older
// layouts ("Frigate r2" is a Frigate).
std::string designName(const stringw& layoutName) {
  std::string name = stringc(layoutName).c_str();
  const size_t mark = name.rfind(" r");
  if (mark != std::string::npos && mark + 2 < name.size() &&
      name.find_first_not_of("0123456789", mark + 2) == std::string::npos)
    name.erase(mark);
  return name;
}

// Notes every ship of every AI empire by design name.
  void census() {
    for (empire* emp : aiEmpires())
      for (generic_object* object : objectsOf(emp))
        if (auto* ship = dynamic_cast<objHulled*>(object))
          if (const hull_list* layout = ship->getHull())
            built_[emp->ID][designName(layout->name)].insert(object->uid);
  }

  size_t builtOf(const empire* emp, const char* design) { return built_[emp->ID][design].size(); }

  std::string saveAndLoad() {
    EXPECT_TRUE(saveGame("councils", 0));
    stopThreads();
    clearPostObjectTreeSteps();
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    clearObjectRegistry();
    LogCapture log;
    EXPECT_TRUE(loadSavedGame(savedGamePath("councils")));
    startThreads();
    return log.take();
  }

  static constexpr irr::u32 kTimerStart = 1000000;
  // The engine's clock, moved by the test as the frames go by: the game's
  // real time is its game time over the speed factor, however long the
  // test takes.
  ManualTimer timer_;
  irr::ITimer* deviceTimer_ = nullptr;
  int threads_ = 0;
  std::unique_ptr<SessionWorkers> workers_;
  double realSeconds_ = 0;
  std::map<int, std::map<std::string, float>> startLevels_;
  std::map<int, std::map<std::string, std::set<uint32_t>>> built_;
};

TEST_F(EmpireAIGameTest, ThreeCouncilsGrowUnattendedThroughASaveAndALoad) {
  std::string text = newGame();
  ASSERT_EQ(aiEmpires().size(), static_cast<size_t>(kAIEmpires));
  for (empire* emp : aiEmpires()) {
    ASSERT_EQ(planetsOf(emp).size(), 1u) << int(emp->ID);
  }
  {
    LogCapture log;
    play(kHalfGame);
    text += log.take();
  }

  std::map<int, size_t> planetsAtSave;
  std::map<int, double> runningAtSave;
  for (empire* emp : aiEmpires()) {
    planetsAtSave[emp->ID] = planetsOf(emp).size();
    runningAtSave[emp->ID] = runningTime(emp);
  }
  text += saveAndLoad();
  ASSERT_EQ(aiEmpires().size(), static_cast<size_t>(kAIEmpires));
  // The worlds settled by the last minute have had time for a structure.
  std::map<int, std::set<uint32_t>> settledBefore;
  {
    LogCapture log;
    play(kHalfGame - kLastMinute);
    for (empire* emp : aiEmpires())
      for (objHabitation* planet : planetsOf(emp))
        settledBefore[emp->ID].insert(planet->uid);
    play(kLastMinute);
    stopThreads();
    text += log.take();
  }
  expectCleanLog(text);

  for (empire* emp : aiEmpires()) {
    SCOPED_TRACE("empire " + std::to_string(emp->ID));
    const std::vector<objHabitation*> planets = planetsOf(emp);
    EXPECT_GE(planets.size(), 3u) << "it started with one";
    EXPECT_GE(planets.size(), planetsAtSave[emp->ID]);
    EXPECT_GT(runningTime(emp), runningAtSave[emp->ID]);
    EXPECT_GE(builtOf(emp, "Colony Ship"), 1u);
    EXPECT_GE(builtOf(emp, "Scout"), 1u);
    EXPECT_GE(builtOf(emp, "Frigate"), 2u);

    int raised = 0;
    const std::map<std::string, float> levels = techLevels(emp);
    for (const auto& [id, level] : levels) {
      const auto start = startLevels_[emp->ID].find(id);
      raised += level > (start != startLevels_[emp->ID].end() ? start->second : 0.0f);
    }
    EXPECT_GE(raised, 2);

    // The governors build as the build lists say: the homeworld beyond its
    // capital, and every world with room at least one structure, unless it
    // was settled in the last minute.
    ASSERT_FALSE(planets.empty());
    size_t structures = 0;
    for (objHabitation* planet : planets) {
      structures += planet->structures.size();
      if (planet->getMaxStructureCount() >= 1 && settledBefore[emp->ID].count(planet->uid) != 0) {
        EXPECT_GE(planet->structures.size(), 1u) << stringc(planet->name).c_str();
      }
    }
    EXPECT_GT(structures, 1u);
  }
}

// A player takes an AI empire over: its council leaves its build queues and
// its ships' orders alone, while the others play on.
TEST_F(EmpireAIGameTest, ACouncilLeavesAnEmpireAPlayerTookOverAlone) {
  newGame();
  std::vector<empire*> ais = aiEmpires();
  ASSERT_EQ(ais.size(), static_cast<size_t>(kAIEmpires));
  empire* taken = ais[0];
  taken->playerControlled = true;
  play(60.0);
  stopThreads();
  for (objHabitation* planet : planetsOf(taken)) {
    EXPECT_EQ(planet->buildQueue.size(), 0u) << planet->uid;
  }
  EXPECT_EQ(builtOf(taken, "Scout") + builtOf(taken, "Colony Ship") + builtOf(taken, "Frigate"), 0u);
  EXPECT_EQ(runningTime(taken), 0.0);
  for (size_t i = 1; i < ais.size(); ++i) {
    EXPECT_GT(runningTime(ais[i]), 59.0) << int(ais[i]->ID);
  }
}

}  // namespace

}  // namespace empire_ai_game_test
