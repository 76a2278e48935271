// The movement handlers, each ticked directly (`mover->tick(dt, *object)`)
// over the objects of 100 star systems, 100 objects each (10,000 movers), in
// steps of 1/16 s, as a galaxy worker would tick them without the rest of
// the object's tick:
//
//   PlainStep   position += velocity x dt over the same objects: the floor
//               of touching 10,000 objects once per step
//   Orbit       planets on an OrbitMover about their star
//   Parked      ships with a MobileMover, parked (setParked, then
//               startParkOrbit) in orbit about their star
//   Chasing     ships with a MobileMover chasing one of 4 planets of their
//               system; the planets' own orbit ticks are not timed. Every
//               64 steps (4 s of game time) the ships start afresh from their
//               places on a ring, at rest, so that most steps steer after a
//               target that is still away (counter "arrived": the share of
//               ships within reach of their targets at the end of a leg)
//   Mirror      network mirrors (FakeMobileMover): each gets a new sample of
//               a circling path every 4 steps, stamped 0.125 s ahead of the
//               present, so that the steps in between interpolate, reach the
//               sample and run on past it; the samples, and the objects'
//               clocks that the object's tick would set, are not timed
//
// Counters: "ns_per_mover" is the time of one mover's tick; "frame_share" is
// the time of 10,000 such ticks over the 13.3 ms frame of 75 frames a
// second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"

namespace {

constexpr int kSystems = 100;
constexpr int kPerSystem = 100;
constexpr float kStep = 1.0f / 16.0f;
constexpr double kFrameSeconds = 1.0 / 75.0;
constexpr int kMovers = kSystems * kPerSystem;

// A plain object of a chosen kind.
class BenchObject : public generic_object {
 public:
  BenchObject(int type, MoveHandler* objectMover)
      : generic_object(defaultEmpire(), nullptr, objectMover), type_(type) {}
  int getType() const override { return type_; }

 private:
  int type_;
};

// A galaxy of 100 empty systems (no worker threads), destroyed with
// everything in it.
struct Systems {
  Systems() {
    initThreadLocals();
    singleThreaded = false;
    gameTime = 0.0;
    owner = new objGalaxy();
    for (int i = 0; i < kSystems; ++i) {
      solarSystem* system = new solarSystem();
      system->position.set(300.0f * static_cast<float>(i % 10), 0.0f, 300.0f * static_cast<float>(i / 10));
      system->setContainer(owner);
      systems.push_back(system);
    }
  }
  ~Systems() { owner->destroyNow(true); }
  Systems(const Systems&) = delete;
  Systems& operator=(const Systems&) = delete;

  // An object in `system` at `at` (its own reference goes when the galaxy
  // is destroyed).
  BenchObject* add(solarSystem* system, int type, const vector3df& at, MoveHandler* mover, float radius = 1.0f) {
    auto* object = new BenchObject(type, mover);
    object->radius = radius;
    object->setContainer(system);
    object->position = at;
    return object;
  }

  objGalaxy* owner;
  std::vector<solarSystem*> systems;
};

// A place on a ring of radius 20 to 70 about the system's centre.
vector3df ringPlace(std::mt19937& random) {
  std::uniform_real_distribution<float> angle(0.0f, 6.2831853f);
  std::uniform_real_distribution<float> reach(20.0f, 70.0f);
  std::uniform_real_distribution<float> height(-5.0f, 5.0f);
  const float a = angle(random);
  const float r = reach(random);
  return {r * std::cos(a), height(random), r * std::sin(a)};
}

OrbitMover* planetOrbit(std::mt19937& random) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  auto* orbit = new OrbitMover();
  orbit->setOrbit(20.0f + 40.0f * unit(random), 1.0f, 10.0f, unit(random), 6.2831853f * unit(random),
                  0.1f * unit(random), 0.7f + 0.3f * unit(random), 1.0f + 3.0f * unit(random));
  return orbit;
}

void tickAll(const std::vector<BenchObject*>& objects) {
  for (BenchObject* object : objects)
    object->mover->tick(kStep, *object);
}

// The time spent in the timed steps, for the counters.
class StepClock {
 public:
  template <class Step>
  void time(Step step) {
    const Clock::time_point began = Clock::now();
    step();
    spent_ += Clock::now() - began;
  }
  void setCounters(benchmark::State& state) const {
    const double perStep = std::chrono::duration<double>(spent_).count() / static_cast<double>(state.iterations());
    state.counters["ns_per_mover"] = perStep / kMovers * 1e9;
    state.counters["frame_share"] = perStep / kFrameSeconds;
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration spent_{};
};

void BM_PlainStep(benchmark::State& state) {
  Systems galaxy;
  std::mt19937 random(1);
  std::uniform_real_distribution<float> speed(-3.0f, 3.0f);
  std::vector<BenchObject*> objects;
  for (solarSystem* system : galaxy.systems)
    for (int k = 0; k < kPerSystem; ++k) {
      BenchObject* object = galaxy.add(system, OT_Hulled, ringPlace(random), nullptr);
      object->velocity.set(speed(random), speed(random), speed(random));
      objects.push_back(object);
    }
  StepClock clock;
  for (auto _ : state) {
    clock.time([&] {
      for (BenchObject* object : objects)
        object->position += object->velocity * kStep;
      benchmark::ClobberMemory();
    });
  }
  clock.setCounters(state);
}
BENCHMARK(BM_PlainStep);

void BM_Orbit(benchmark::State& state) {
  Systems galaxy;
  std::mt19937 random(2);
  std::vector<BenchObject*> planets;
  for (solarSystem* system : galaxy.systems) {
    galaxy.add(system, OT_Star, vector3df(), nullptr, 10.0f);
    for (int k = 0; k < kPerSystem; ++k)
      planets.push_back(galaxy.add(system, OT_Planet, vector3df(), planetOrbit(random), 2.0f));
  }
  StepClock clock;
  for (auto _ : state)
    clock.time([&] { tickAll(planets); });
  clock.setCounters(state);
}
BENCHMARK(BM_Orbit);

void BM_Parked(benchmark::State& state) {
  Systems galaxy;
  std::mt19937 random(3);
  std::vector<BenchObject*> ships;
  for (solarSystem* system : galaxy.systems) {
    galaxy.add(system, OT_Star, vector3df(), nullptr, 10.0f);
    for (int k = 0; k < kPerSystem; ++k) {
      auto* mover = new MobileMover();
      mover->thrust = 1.0f;
      BenchObject* ship = galaxy.add(system, OT_Hulled, ringPlace(random), mover);
      mover->setParked(true);
      mover->startParkOrbit(*ship);
      ships.push_back(ship);
    }
  }
  for (BenchObject* ship : ships)
    if (MobileMover::of(ship)->getParkedOrbitBody() == nullptr) {
      state.SkipWithError("a ship is not in orbit");
      return;
    }
  StepClock clock;
  for (auto _ : state)
    clock.time([&] { tickAll(ships); });
  clock.setCounters(state);
}
BENCHMARK(BM_Parked);

void BM_Chasing(benchmark::State& state) {
  constexpr int kTargets = 4;
  constexpr int kLegSteps = 64;
  Systems galaxy;
  std::mt19937 random(4);
  std::vector<BenchObject*> targets;
  std::vector<BenchObject*> ships;
  std::vector<BenchObject*> targetOf;
  std::vector<vector3df> starts;
  for (solarSystem* system : galaxy.systems) {
    galaxy.add(system, OT_Star, vector3df(), nullptr, 10.0f);
    const size_t first = targets.size();
    for (int k = 0; k < kTargets; ++k) {
      BenchObject* planet = galaxy.add(system, OT_Planet, vector3df(), planetOrbit(random), 2.0f);
      planet->mover->tick(0.0f, *planet);  // onto its path
      targets.push_back(planet);
    }
    for (int k = 0; k < kPerSystem; ++k) {
      auto* mover = new MobileMover();
      mover->thrust = 3.0f;
      BenchObject* ship = galaxy.add(system, OT_Hulled, ringPlace(random), mover);
      BenchObject* target = targets[first + k % kTargets];
      mover->setTargetObject(target);
      ships.push_back(ship);
      targetOf.push_back(target);
      starts.push_back(ship->position);
    }
  }

  StepClock clock;
  int step = 0;
  int64_t legs = 0;
  int64_t arrived = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (BenchObject* target : targets)
      target->mover->tick(kStep, *target);
    if (++step == kLegSteps) {
      step = 0;
      ++legs;
      for (size_t n = 0; n < ships.size(); ++n) {
        const float reach = ships[n]->radius + targetOf[n]->radius + 1.0f;
        if ((ships[n]->position - targetOf[n]->position).getLength() < reach)
          ++arrived;
        ships[n]->position = starts[n];
        ships[n]->velocity.set(0, 0, 0);
        ships[n]->acceleration.set(0, 0, 0);
      }
    }
    state.ResumeTiming();
    clock.time([&] { tickAll(ships); });
  }
  clock.setCounters(state);
  state.counters["arrived"] = legs > 0 ? static_cast<double>(arrived) / static_cast<double>(legs * kMovers) : 0.0;
}
BENCHMARK(BM_Chasing);

void BM_Mirror(benchmark::State& state) {
  constexpr int kSampleSteps = 4;
  constexpr double kSampleLead = 0.125;
  Systems galaxy;
  std::mt19937 random(5);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  struct Path {
    float radius, height, phase, rate;
  };
  std::vector<BenchObject*> mirrors;
  std::vector<Path> paths;
  for (solarSystem* system : galaxy.systems)
    for (int k = 0; k < kPerSystem; ++k) {
      mirrors.push_back(galaxy.add(system, OT_Hulled, vector3df(), new FakeMobileMover()));
      paths.push_back({20.0f + 50.0f * unit(random), 10.0f * unit(random) - 5.0f, 6.2831853f * unit(random),
                       0.05f + 0.3f * unit(random)});
    }

  // The samples a server would send: the place on the path at `time`, the
  // object turned along it.
  const auto feed = [&](double time) {
    for (size_t n = 0; n < mirrors.size(); ++n) {
      const Path& path = paths[n];
      const float angle = path.phase + path.rate * static_cast<float>(time);
      const vector3df place(path.radius * std::cos(angle), path.height, path.radius * std::sin(angle));
      const vector3df rotation(5.0f, -angle * 57.29578f, 10.0f * std::sin(angle));
      static_cast<FakeMobileMover*>(mirrors[n]->mover)->receiveUpdate(place, rotation, time);
    }
  };
  double now = 0.0;
  feed(now + kSampleLead);

  StepClock clock;
  int step = 0;
  for (auto _ : state) {
    state.PauseTiming();
    now += kStep;
    for (BenchObject* mirror : mirrors)
      mirror->localTime = now;
    if (++step == kSampleSteps) {
      step = 0;
      feed(now + kSampleLead);
    }
    state.ResumeTiming();
    clock.time([&] { tickAll(mirrors); });
  }
  clock.setCounters(state);
}
BENCHMARK(BM_Mirror);

}  // namespace
