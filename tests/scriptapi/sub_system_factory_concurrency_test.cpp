// The script's sub-system factory beside a galaxy worker: the worker's
// system evaluates sub-systems for the planet's owner in its tick (its
// system lock held, then the empire's variables area, as structure builds
// do), while the test thread generates with that planet prepared. The
// factory reads the planet's conditions before it takes the variables area,
// so neither waits for the other for good. Under ThreadSanitizer the run
// must report nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "scripted_galaxy.h"
#include "scriptapi/script_sub_system_factory.h"
#include "universe/objects/system_threads.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe/worker_steps.h"

namespace sub_system_factory_concurrency_test {

namespace {

constexpr int kRounds = 1000;
constexpr double kStep = 1.0 / 16.0;

// Evaluates `def` for the planet's owner in every tick.
class EvaluatingSystem : public solarSystem {
 public:
  void tick(float seconds) override {
    objHabitation* target = planet.load();
    if (target != nullptr && def != nullptr) {
      std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
      factory->prepare(target);
      std::unique_ptr<subSystem> made(factory->create(def));
      factory->release();
      if (made != nullptr)
        evaluations.fetch_add(1);
    }
    solarSystem::tick(seconds);
  }
  std::atomic<objHabitation*> planet{nullptr};
  const SubSystemDef* def = nullptr;
  std::atomic<int> evaluations{0};
};

class SubSystemFactoryConcurrencyTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void TearDown() override {
    activeEmpire = nullptr;
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
  }
};

TEST_F(SubSystemFactoryConcurrencyTest, GenerateBesideTheWorkerOfThePlanetsSystem) {
  scriptapitest::setUpScriptsOfWorkingFolder();
  const SubSystemDef* def =
      subsystemtest::loadDefinition(root_, "System: Mine\nTags: Structure\nCosts: Metals[Scale * 2]\n", L"Mine");
  ASSERT_NE(def, nullptr);
  activeEmpire = red;

  auto* system = new EvaluatingSystem();
  system->setContainer(galaxy);
  auto* planet = new objHabitation(red, nullptr);
  planet->maxPopulation = 10.0f;
  planet->modPopulation(planet->ownerRates, 5.0f);  // kept by its owner
  planet->setContainer(system);
  planetCondition condition;  // read under the planet's lock
  planet->conditions.push_back(&condition);
  system->def = def;
  system->planet.store(planet);

  startSystemThreads(1);
  std::atomic<bool> done{false};
  std::atomic<bool> stepsFailed{false};
  std::thread stepper([&] {
    while (!done.load())
      if (!stepWorkers(kStep)) {
        stepsFailed.store(true);
        return;
      }
  });

  {
    workersteps::Watchdog watchdog("generateSubSystems beside a worker", std::chrono::seconds(60));
    ScriptSubSystemFactory factory;
    factory.prepare(planet);
    int generated = 0;
    for (int round = 0; round < kRounds; ++round) {
      if (factory.generateSubSystems(def, nullptr))
        ++generated;
      watchdog.progress();
    }
    EXPECT_EQ(generated, kRounds);
    EXPECT_EQ(factory.planet, planet);
    // The worker evaluated meanwhile too.
    EXPECT_TRUE(waitFor([&] { return system->evaluations.load() > 0; }));
    done.store(true);
    stepper.join();
  }
  EXPECT_FALSE(stepsFailed.load());

  pauseSystemThreads();
  system->planet.store(nullptr);
  planet->conditions.clear();
  resumeSystemThreads();
}

}  // namespace

}  // namespace sub_system_factory_concurrency_test
