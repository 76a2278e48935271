#include "universe/objects/galaxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "core/threads.h"
#include "galaxy_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/system_locks.h"
#include "universe/objects/system_threads.h"

namespace galaxy_test {

namespace {

using galaxytest::CountingSystem;
using galaxytest::GalaxyTest;

TEST_F(GalaxyTest, SharesAreContiguousWithTheRestToTheLast) {
  struct Case {
    int systems;
    uint8_t workers;
    std::vector<size_t> shares;
  };
  const Case cases[] = {{10, 4, {2, 2, 2, 4}}, {3, 8, {1, 1, 1}}, {5, 0, {}}, {0, 4, {}}};
  for (const Case& c : cases) {
    std::vector<CountingSystem*> systems = addSystems(c.systems);
    startSystemThreads(c.workers);
    ASSERT_EQ(galaxy->threads.size(), c.shares.size()) << c.systems << " over " << int(c.workers);
    size_t next = 0;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k) {
      ThreadInfo* info = galaxy->threads[k];
      EXPECT_EQ(info->number, static_cast<int>(k));
      ASSERT_EQ(info->systems.size(), c.shares[k]);
      for (solarSystem* system : info->systems)
        EXPECT_EQ(system, systems[next++]);
    }
    stopSystemThreads(galaxy);
    for (CountingSystem* system : systems)
      system->destroyNow(true);
  }
}

TEST_F(GalaxyTest, WithoutWorkersTheGalaxyTicksItsSystems) {
  std::vector<CountingSystem*> systems = addSystems(3);
  gameTime = 1.0;
  galaxy->tick(1.0f);
  for (CountingSystem* system : systems)
    EXPECT_EQ(system->ticks.load(), 1);
  EXPECT_EQ(threadLocals().currentSystem, nullptr);
}

TEST_F(GalaxyTest, WorkersTickTheirSystemsAndOnesHandedOverLater) {
  std::vector<CountingSystem*> systems = addSystems(4);
  startSystemThreads(2);
  ASSERT_TRUE(stepWorkers(0.0625));
  for (CountingSystem* system : systems)
    EXPECT_EQ(system->ticks.load(), 1);
  galaxy->tick(1.0f);  // with workers the galaxy leaves the systems to them
  EXPECT_EQ(systems[0]->ticks.load(), 1);

  CountingSystem* late = addSystems(1)[0];
  handSystemToWorker(galaxy, late);
  ASSERT_TRUE(stepWorkers(0.0625));
  ASSERT_TRUE(stepWorkers(0.0625));
  EXPECT_GE(late->ticks.load(), 1);

  // A system destroyed while the workers run is never ticked again.
  systems[1]->grab();
  lockSolarSystem(galaxy);
  systems[1]->destroyNow(true);
  unlockSolarSystem(galaxy);
  const int ticksThen = systems[1]->ticks.load();
  ASSERT_TRUE(stepWorkers(0.0625));
  ASSERT_TRUE(stepWorkers(0.0625));
  EXPECT_EQ(systems[1]->ticks.load(), ticksThen);
  systems[1]->drop();
}

// Game time adds up frame steps in doubles: a step of exactly one pass
// interval (0.05 game seconds) is often a rounding error short of it, and
// must start a pass all the same.
TEST_F(GalaxyTest, AStepOfOneIntervalStartsAPassThoughItRoundsShort) {
  constexpr double kInterval = 0.05;
  double base = 1.0;
  while ((base + kInterval) - base >= kInterval)
    base += 0.01;
  addSystems(1);
  startSystemThreads(1);
  ASSERT_TRUE(workersteps::waitForWorkersRunning());
  const uint64_t before = galaxy->threads[0]->passes.load();
  gameTime = base;  // the last pass at `base`
  ASSERT_TRUE(workersteps::waitFor([&] { return galaxy->threads[0]->passes.load() > before; }));
  ASSERT_TRUE(stepWorkers(kInterval)) << "no pass after a step of " << (base + kInterval) - base;
}

TEST_F(GalaxyTest, PausedWorkersTickNothingUntilResumed) {
  std::vector<CountingSystem*> systems = addSystems(6);
  startSystemThreads(3);
  ASSERT_TRUE(stepWorkers(0.0625));
  pauseSystemThreads();
  EXPECT_TRUE(systemsPaused.load());
  const auto start = std::chrono::steady_clock::now();
  pauseSystemThreads();  // a second pause returns at once, and counts
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(systemThreadPauseCount(), 2u);

  std::vector<int> counts;
  for (CountingSystem* system : systems)
    counts.push_back(system->ticks.load());
  // The first resume lets one pause go: the other holder still has the
  // workers parked.
  resumeSystemThreads();
  EXPECT_TRUE(systemsPaused.load());
  for (int i = 0; i < 20; ++i) {
    gameTime = gameTime + 0.05;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (size_t i = 0; i < systems.size(); ++i)
    EXPECT_EQ(systems[i]->ticks.load(), counts[i]);

  resumeSystemThreads();
  EXPECT_FALSE(systemsPaused.load());
  resumeSystemThreads();  // matches no pause: nothing
  EXPECT_EQ(systemThreadPauseCount(), 0u);
  pauseSystemThreads();
  EXPECT_TRUE(systemsPaused.load());
  resumeSystemThreads();
  EXPECT_FALSE(systemsPaused.load());
  ASSERT_TRUE(stepWorkers(0.0625));
  for (size_t i = 0; i < systems.size(); ++i)
    EXPECT_GT(systems[i]->ticks.load(), counts[i]);
}

// A galaxy that goes while a pause is held (a game loaded after the threads
// were parked) takes its pauses with it: the next galaxy's own tick runs.
TEST_F(GalaxyTest, PausesEndWithTheirGalaxy) {
  std::vector<CountingSystem*> systems = addSystems(2);
  startSystemThreads(2);
  ASSERT_TRUE(stepWorkers(0.0625));
  pauseSystemThreads();
  ASSERT_TRUE(systemsPaused.load());
  stopSystemThreads(galaxy);
  EXPECT_EQ(systemThreadPauseCount(), 0u);
  EXPECT_FALSE(systemsPaused.load());

  // Without workers the galaxy ticks its systems itself, unless held off.
  const int before = systems[0]->ticks.load();
  gameTime = gameTime + 1.0;
  galaxy->tick(1.0f);
  EXPECT_EQ(systems[0]->ticks.load(), before + 1);
  resumeSystemThreads();  // the holder lets go late: nothing
  EXPECT_FALSE(systemsPaused.load());
}

TEST_F(GalaxyTest, ManyPausesAndResumesNeverStrandAWorker) {
  addSystems(8);
  startSystemThreads(4);
  std::atomic<bool> running{true};
  std::thread ticker([&] {
    initThreadLocals();
    while (running.load()) {
      gameTime = gameTime + 0.01;
      galaxy->tick(1.0f);
    }
    freeThreadLocals();
  });
  for (int i = 0; i < 10000; ++i) {
    pauseSystemThreads();
    resumeSystemThreads();
  }
  running = false;
  ticker.join();
  ASSERT_TRUE(stepWorkers(0.0625)) << "a worker stayed parked";
}

TEST_F(GalaxyTest, EnvironmentSizesTheTreesAndPartsOverlappingSystems) {
  CountingSystem* a = addSystems(1)[0];
  CountingSystem* b = addSystems(1)[0];
  a->radius = 100.0f;
  b->radius = 60.0f;
  a->position.set(10.0f, 0, 20.0f);
  b->position.set(60.0f, 0, 20.0f);
  createEnvironment(galaxy, true);
  EXPECT_FLOAT_EQ(galaxy->systemTree.root.halfSize, 3000.0f);
  EXPECT_FLOAT_EQ(galaxy->systemTree.root.halfSizeSq, 9e6f);
  EXPECT_NEAR(a->position.getDistanceFrom(b->position), 200.0f, 1e-3f);
  const vector3df middle(35.0f, 0, 20.0f);
  EXPECT_NEAR(a->position.getDistanceFrom(middle), 100.0f, 1e-3f);
  EXPECT_NEAR(b->position.getDistanceFrom(middle), 100.0f, 1e-3f);
  EXPECT_FLOAT_EQ(galaxy->radius, 5000.0f);
}

TEST_F(GalaxyTest, SystemsAtOnePointEndApart) {
  std::vector<CountingSystem*> systems = addSystems(40, 0.0f);
  createEnvironment(galaxy, true);
  for (size_t i = 0; i < systems.size(); ++i) {
    ASSERT_TRUE(std::isfinite(systems[i]->position.X) && std::isfinite(systems[i]->position.Z));
    for (size_t j = i + 1; j < systems.size(); ++j)
      EXPECT_GE(systems[i]->position.getDistanceFrom(systems[j]->position),
                systems[i]->radius + systems[j]->radius - 1e-2f);
  }
}

// A crowded galaxy: a block of overlapping systems of mixed sizes lying
// across the quad tree's middle lines, two systems larger than the block,
// one far out and one at no finite place. Every finite pair ends apart, and
// the layout is the one the separation has always made (the partner of an
// overlapping system is the one the tree reports last).
TEST_F(GalaxyTest, CrowdedSystemsOfMixedSizesEndApartAsTheyAlwaysHave) {
  std::vector<CountingSystem*> systems;
  for (int i = 0; i < 144; ++i) {
    CountingSystem* system = addSystems(1)[0];
    system->position.set(static_cast<float>(i % 12 - 6) * 90.0f, static_cast<float>(i % 5) * 10.0f,
                         static_cast<float>(i / 12 - 6) * 90.0f);
    system->radius = 30.0f + static_cast<float>((i * 37) % 50);
    systems.push_back(system);
  }
  const std::pair<vector3df, float> odd[] = {
      {{0, 0, 0}, 700.0f}, {{300, 0, -200}, 900.0f}, {{5e6f, 0, 5e6f}, 50.0f}, {{NAN, 0, 0}, 50.0f}};
  for (const auto& [at, radius] : odd) {
    CountingSystem* system = addSystems(1)[0];
    system->position = at;
    system->radius = radius;
    systems.push_back(system);
  }
  createEnvironment(galaxy, true);

  double sum = 0;
  for (size_t i = 0; i < systems.size(); ++i) {
    const CountingSystem* a = systems[i];
    if (!std::isfinite(a->position.X))
      continue;
    sum += a->position.X * 1e-3 * static_cast<double>(i + 1) + a->position.Z * 1e-3 / static_cast<double>(i + 1);
    for (size_t j = i + 1; j < systems.size(); ++j) {
      const CountingSystem* b = systems[j];
      if (std::isfinite(b->position.X))
        EXPECT_GT(a->position.getDistanceFrom(b->position), a->radius + b->radius - 1e-2f) << i << " and " << j;
    }
  }
  EXPECT_TRUE(std::isnan(systems.back()->position.X));
  EXPECT_EQ(systems[146]->position, vector3df(5e6f, 0, 5e6f)) << "far from the rest, it did not move";
  // The layout the tree alone gives: the overlap grid only spares queries.
  EXPECT_NEAR(systems[0]->position.X, -673.188843f, 1e-3f);
  EXPECT_NEAR(systems[0]->position.Z, -587.393677f, 1e-3f);
  EXPECT_NEAR(systems[77]->position.X, -113.298889f, 1e-3f);
  EXPECT_NEAR(systems[144]->position.X, 123.945679f, 1e-3f);
  EXPECT_NEAR(systems[144]->position.Z, 1488.07788f, 1e-3f);
  EXPECT_NEAR(sum, 734940.909983517, 1e-3);
}

TEST_F(GalaxyTest, GalaxyRadiusReachesPastTheOutermostSystem) {
  CountingSystem* far = addSystems(2, 9000.0f)[1];
  far->radius = 250.0f;
  createEnvironment(galaxy, false);
  EXPECT_FLOAT_EQ(galaxy->radius, 9000.0f + 250.0f + 1000.0f);
}

TEST_F(GalaxyTest, ObjectsInOpenSpaceEnterTheSystemTheyReach) {
  std::vector<CountingSystem*> systems = addSystems(3);
  createEnvironment(galaxy, false);
  TestObject* traveller = new TestObject(red);
  traveller->setContainer(galaxy);
  traveller->position.set(2010.0f, 0, 5.0f);
  traveller->setFlag(FLAG_REPARENT);
  gameTime = gameTime + 1.0;
  galaxy->tick(1.0f);
  EXPECT_EQ(traveller->container.load(), systems[2]);
  EXPECT_FALSE(traveller->hasFlag(FLAG_REPARENT)) << "the galaxy clears it once it has moved the child";
  EXPECT_EQ(traveller->position, vector3df(10.0f, 0, 5.0f));
  traveller->destroyNow(false);

  // A removed system is found no more.
  systems[2]->destroyNow(true);
  TestObject* late = new TestObject(red);
  late->setContainer(galaxy);
  late->position.set(2010.0f, 0, 5.0f);
  galaxy->checkChildLeaving(late);
  EXPECT_EQ(late->container.load(), galaxy);
  late->destroyNow(false);
}

float weightOf(solarSystem* system, void*) { return system->radius; }

TEST_F(GalaxyTest, BestSystemsByWeight) {
  std::vector<CountingSystem*> systems = addSystems(4);
  systems[0]->radius = 1.0f;
  systems[1]->radius = 2.0f;
  systems[2]->radius = -1e37f;  // left out
  systems[3]->radius = 2.0f;    // ties keep the earlier system first
  const auto best = galaxy->findBestSystems(weightOf, nullptr, 2);
  ASSERT_EQ(best.size(), 2u);
  EXPECT_EQ(best[0].first, systems[1]);
  EXPECT_EQ(best[1].first, systems[3]);
  const auto all = galaxy->findBestSystems(weightOf, nullptr, 5);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2].first, systems[0]);
  EXPECT_EQ(all[2].second, 1.0f);
}

}  // namespace

}  // namespace galaxy_test
