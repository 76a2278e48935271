// Owned planets in sixteen star systems whose "planet" module has a "tick"
// hook, run by four galaxy workers in steps of 1/16 s. The hook computes a
// little and hands its result to a native of this test, which notes where
// the call ran and lets the planet's population dwindle at its own rate,
// so that planets empty and pass to the space empire while the others go
// on. Every call must run on the worker that owns the planet's system, in
// that system's tick with its lock held, on that thread's own context; and
// the planets must end as in a run whose systems the galaxy's tick runs
// alone. The notes of a planet are written by its calls alone, without a
// lock: calls of one planet on two threads at once show under
// ThreadSanitizer.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/script_setup.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "script/script_engine.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/galaxy_fixture.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"

namespace planet_concurrency_test {

using namespace AngelScript;

namespace {

constexpr int kWorkers = 4;
constexpr int kSystems = 16;
constexpr int kSteps = 24;            // 1.5 s of game: twelve structure steps
constexpr double kStep = 1.0 / 16.0;  // exact in binary; one pass each

// Each system's planets: settled population (the population too) and how
// much of it goes per second.
struct PlanetPlan {
  float settled;
  float declinePerSecond;
};
constexpr PlanetPlan kPlans[] = {
    {0.5f, 0.0f},   // below 1 from the start: lost at 0.1875 s
    {3.0f, 4.0f},   // emptied at 0.75 s, lost half a second later
    {3.0f, 0.0f},   // stays
    {8.0f, 1.0f},   // stays
    {2.9f, 2.0f},   // below 1 after 1 s, lost an eighth of a second after the next step
    {10.0f, 6.0f},  // dwindles to 1, stays
};
constexpr int kPlanetsPerSystem = static_cast<int>(sizeof kPlans / sizeof kPlans[0]);
bool isLostPlan(int k) { return k == 0 || k == 1 || k == 4; }
constexpr int kLostPerSystem = 3;

// The hook: a small computation whose result the native checks.
const char kPlanetModule[] = R"(
void tick(Planet@ planet, float seconds) {
  int sum = 0;
  for (int i = 0; i < 500; ++i)
    sum += (i * i) % 7;
  noteTick(planet, seconds, sum);
}
)";

int expectedSum() {
  int sum = 0;
  for (int i = 0; i < 500; ++i)
    sum += (i * i) % 7;
  return sum;
}

// What the calls of one planet saw; written only by those calls.
struct CallNotes {
  float declinePerSecond = 0.0f;
  int calls = 0;
  int faults = 0;  // a wrong sum, or a call outside its system's tick or lock
  int changedThread = 0;
  int otherContext = 0;  // not the thread's own context for the hook
  std::thread::id thread;
  int workerNumber = -1;
  asIScriptContext* context = nullptr;
};

// The notes of the planets of the running test, by planet; the map itself
// does not change while the galaxy runs.
std::unordered_map<const generic_object*, CallNotes>* notesByPlanet = nullptr;

// "void noteTick(Planet@, float, int)"; the handle arrives with a reference
// of its own.
void noteTick(generic_object* planet, float seconds, int sum) {
  const auto found = notesByPlanet->find(planet);
  if (found == notesByPlanet->end()) {
    planet->drop();
    return;
  }
  CallNotes& notes = found->second;
  const ThreadLocals& record = threadLocals();
  solarSystem* system = planet->containingSystem();
  if (sum != expectedSum() || system == nullptr || system->lock->depth() == 0)
    ++notes.faults;

  asIScriptContext* active = asGetActiveContext();
  const auto cached = record.preparedContexts.find(planetScriptHooks.tick);
  if (cached == record.preparedContexts.end() || cached->second != active)
    ++notes.otherContext;
  if (notes.calls == 0) {
    notes.thread = std::this_thread::get_id();
    notes.workerNumber = record.currentSystem == system ? record.threadNumber : -1;
    notes.context = active;
  } else if (notes.thread != std::this_thread::get_id() || notes.context != active) {
    ++notes.changedThread;
  }
  ++notes.calls;

  // An emptied planet loses no more: each loss would arm its owner loss
  // afresh.
  auto* world = static_cast<objHabitation*>(planet);
  const float loss = std::min(notes.declinePerSecond * seconds, world->settledPopulation);
  if (loss > 0.0f)
    world->modPopulation(world->ownerRates, -loss);
  planet->drop();
}

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// How one planet ended, bit for bit.
struct End {
  const empire* owner;
  uint32_t population, settled, lossTimer, x, z;
  int calls;
  bool operator==(const End& other) const {
    return owner == other.owner && population == other.population && settled == other.settled &&
           lossTimer == other.lossTimer && x == other.x && z == other.z && calls == other.calls;
  }
};

struct Outcome {
  std::vector<End> planets;  // in creation order
  std::vector<CallNotes> notes;
  std::vector<int> systemOf;             // index of each planet's system
  std::vector<std::vector<int>> shares;  // each worker's systems, by index
  size_t messages = 0;                   // posted to the planets' former owners
};

class PlanetConcurrencyTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    serverScriptEngine->RegisterGlobalFunction("void noteTick(Planet@, float, int)", asFUNCTION(noteTick),
                                               asCALL_CDECL);
    asIScriptModule* module = serverScriptEngine->GetModule("planet", asGM_ALWAYS_CREATE);
    module->AddScriptSection("planet", kPlanetModule, sizeof kPlanetModule - 1);
    ASSERT_GE(module->Build(), 0);
    bindPlanetScriptHooks();
    ASSERT_GE(planetScriptHooks.tick, 0);
    gameRulesActive = true;
  }

  void TearDown() override {
    gameRulesActive = false;
    ScriptedGalaxyTest::TearDown();
    notesByPlanet = nullptr;
  }

  // Builds the galaxy afresh, runs it with `workers` and tears it down.
  Outcome run(uint8_t workers) {
    destroyGalaxy();
    red->messages.clear();  // from the planets of the last run
    blue->messages.clear();
    gameTime = 0.0;
    galaxy = new objGalaxy();
    std::vector<galaxytest::CountingSystem*> systems = addSystems(kSystems);
    createEnvironment(galaxy, false);

    std::unordered_map<const generic_object*, CallNotes> notes;
    std::vector<objHabitation*> planets;
    Outcome result;
    for (int i = 0; i < kSystems; ++i) {
      for (int k = 0; k < kPlanetsPerSystem; ++k) {
        auto* orbit = new OrbitMover();
        orbit->setOrbit(15.0f + 6.0f * static_cast<float>(k), 1.0f, 10.0f, 0.1f * static_cast<float>(k),
                        0.3f * static_cast<float>(i), 0.0f, 1.0f, 1.0f);
        auto* planet = new objHabitation(k % 2 == 0 ? red : blue, orbit);
        planet->setContainer(systems[i]);
        planet->population = planet->settledPopulation = kPlans[k].settled;
        planet->maxPopulation = 20.0f;
        planet->grab();  // read after the run
        planets.push_back(planet);
        notes[planet].declinePerSecond = kPlans[k].declinePerSecond;
        result.systemOf.push_back(i);
      }
    }
    notesByPlanet = &notes;

    startSystemThreads(workers);
    EXPECT_EQ(galaxy->threads.size(), workers);
    for (int step = 0; step < kSteps; ++step) {
      if (workers > 0 && !stepWorkers(kStep)) {
        ADD_FAILURE() << "the workers did not finish step " << step;
        break;
      }
      if (workers == 0)
        gameTime = gameTime + kStep;
      galaxy->tick(1.0f);
    }
    // Parked workers are in no pass while the planets are read.
    pauseSystemThreads();

    for (objHabitation* planet : planets) {
      const CallNotes& noted = notes[planet];
      result.planets.push_back({planet->getOwner(), bitsOf(planet->population), bitsOf(planet->settledPopulation),
                                bitsOf(planet->ownerLossTimer), bitsOf(planet->position.X), bitsOf(planet->position.Z),
                                noted.calls});
      result.notes.push_back(noted);
    }
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k) {
      result.shares.emplace_back();
      for (solarSystem* system : galaxy->threads[k]->systems)
        for (int i = 0; i < kSystems; ++i)
          if (system == systems[i])
            result.shares.back().push_back(i);
    }
    result.messages = red->messages.size() + blue->messages.size();

    destroyGalaxy();
    notesByPlanet = nullptr;
    for (objHabitation* planet : planets)
      planet->drop();
    return result;
  }

};

// What either run must show: every owned planet called at each structure
// step while it was owned, the lost ones gone to the space empire with one
// message each, the others still with their owners.
void expectEventful(const Outcome& run) {
  int lost = 0;
  for (size_t n = 0; n < run.planets.size(); ++n) {
    SCOPED_TRACE("planet " + std::to_string(n));
    const int k = static_cast<int>(n % kPlanetsPerSystem);
    const CallNotes& notes = run.notes[n];
    EXPECT_EQ(notes.faults, 0);
    EXPECT_EQ(notes.changedThread, 0);
    EXPECT_EQ(notes.otherContext, 0);
    const bool kept = run.planets[n].owner->isValid();
    if (!kept)
      ++lost;
    EXPECT_EQ(kept, !isLostPlan(k)) << "plan " << k;
    if (kept)
      EXPECT_EQ(notes.calls, kSteps / 2);
    else
      EXPECT_GT(notes.calls, 0);
  }
  EXPECT_EQ(lost, kSystems * kLostPerSystem);
  EXPECT_EQ(run.messages, static_cast<size_t>(lost));
}

TEST_F(PlanetConcurrencyTest, TickHooksRunOnTheWorkerOfTheirSystemAndEndAsWithoutWorkers) {
  const Outcome inline_ = run(0);
  expectEventful(inline_);
  const Outcome workers = run(kWorkers);
  expectEventful(workers);

  ASSERT_EQ(workers.planets.size(), inline_.planets.size());
  int reported = 0;
  for (size_t n = 0; n < inline_.planets.size() && reported < 5; ++n)
    if (!(workers.planets[n] == inline_.planets[n])) {
      ADD_FAILURE() << "planet " << n << " ended otherwise with workers";
      ++reported;
    }

  // Each planet's calls ran on the worker whose share holds its system,
  // in that system's tick; the workers are four threads, none of them this
  // one, and no context served two of them.
  ASSERT_EQ(workers.shares.size(), static_cast<size_t>(kWorkers));
  std::map<int, std::thread::id> threadOfWorker;
  std::map<asIScriptContext*, int> workerOfContext;
  for (size_t n = 0; n < workers.planets.size(); ++n) {
    SCOPED_TRACE("planet " + std::to_string(n));
    const CallNotes& notes = workers.notes[n];
    ASSERT_GE(notes.workerNumber, 0) << "called outside its system's tick";
    ASSERT_LT(notes.workerNumber, kWorkers);
    const std::vector<int>& share = workers.shares[static_cast<size_t>(notes.workerNumber)];
    EXPECT_NE(std::find(share.begin(), share.end(), workers.systemOf[n]), share.end());
    EXPECT_NE(notes.thread, std::this_thread::get_id());
    const auto known = threadOfWorker.emplace(notes.workerNumber, notes.thread).first;
    EXPECT_EQ(known->second, notes.thread);
    const auto used = workerOfContext.emplace(notes.context, notes.workerNumber).first;
    EXPECT_EQ(used->second, notes.workerNumber);
  }
  EXPECT_EQ(threadOfWorker.size(), static_cast<size_t>(kWorkers));
  std::vector<std::thread::id> threads;
  for (const auto& entry : threadOfWorker)
    threads.push_back(entry.second);
  for (size_t a = 0; a < threads.size(); ++a)
    for (size_t b = a + 1; b < threads.size(); ++b)
      EXPECT_NE(threads[a], threads[b]);
}

}  // namespace

}  // namespace planet_concurrency_test
