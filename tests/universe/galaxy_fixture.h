// A galaxy for the galaxy tests: made in SetUp as the session's `galaxy`
// (the test thread acting as the galaxy worker), destroyed in TearDown,
// with helpers to add systems and to step its processing threads.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"
#include "universe_fixture.h"
#include "worker_steps.h"

namespace galaxytest {

// Counts its ticks.
class CountingSystem : public solarSystem {
 public:
  void tick(float seconds) override {
    ticks.fetch_add(1);
    solarSystem::tick(seconds);
  }
  std::atomic<int> ticks{0};
};

class GalaxyTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    initThreadLocals();
    systemsPaused = false;
    galaxy = new objGalaxy();
  }
  void TearDown() override {
    destroyGalaxy();
    systemsPaused = false;
    UniverseTest::TearDown();
  }

  // Ends the galaxy (and its workers) as a session does; nothing without one.
  static void destroyGalaxy() {
    if (galaxy == nullptr)
      return;
    resumeSystemThreads();
    objGalaxy* ending = galaxy;
    galaxy = nullptr;
    ending->destroyNow(true);
  }

  // `count` systems at x = spacing x i, in the galaxy.
  std::vector<CountingSystem*> addSystems(int count, float spacing = 1000.0f) {
    std::vector<CountingSystem*> made;
    for (int i = 0; i < count; ++i) {
      CountingSystem* system = new CountingSystem();
      system->position.set(spacing * static_cast<float>(i), 0, 0);
      system->setContainer(galaxy);
      made.push_back(system);
    }
    return made;
  }

  template <class Done>
  static bool waitFor(Done done, int seconds = 20) {
    return workersteps::waitFor(done, seconds);
  }
  static bool stepWorkers(double seconds) { return workersteps::stepWorkers(seconds); }
};

}  // namespace galaxytest
