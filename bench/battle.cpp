// The battle of the battle test at scale: N ships of A against N of B in
// the first star system of a galaxy of four, every ship of the test layout
// (armour, engine, a beam of "Damage" 4, "Range" 100, "Delay" 1, a hull with
// "Control") with a defend order, beside the same fleets with an empty mount
// in place of the weapon (they close in and circle, but never fire).
//
//   Battle/N/armed/workers   40 s of game time in steps of 1/16 s, stepped as
//                            the test steps it (each worker finishes one
//                            pass, then the galaxy's update; 0 workers: the
//                            galaxy's update ticks the systems itself). The
//                            time is the wall time of the steps only (the
//                            galaxy is built and torn down outside it).
//                            With workers, each step parks them while the
//                            clock moves on and then wakes them together;
//                            the time runs from that wake-up to the end of
//                            the last pass and the galaxy's update, so it
//                            holds the work and the wake-ups but not the
//                            rests a worker takes between passes.
//
// Counters:
//   game_s_per_s   game seconds simulated per wall-clock second
//   effects_per_s  timed effects made (one per hit landed) per wall second
//   effects_per_game_s  the same per game second
//   gfx_per_frame  effect graphics calls queued per step (one frame)
//   gfx_peak       most calls of one step
//   ships_left     ships still fighting at the end (both sides)
//
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "universe/battle_fixture.h"
#include "core/threads.h"
#include "support/space_empire.h"

namespace {

constexpr double kGameSeconds = 40.0;
constexpr uint32_t kSeed = 4242;
constexpr std::chrono::seconds kPassTimeout{20};

using Clock = std::chrono::steady_clock;

// The workers' part of a step without their rests: the workers are parked
// while the game time moves on, then woken together, and the step waits
// (yielding) until each has finished a pass. `untimed` gathers the time of
// the parking, which the caller takes off the step's time.
struct WokenPasses {
  Clock::duration untimed{};

  bool operator()(double seconds) {
    const Clock::time_point began = Clock::now();
    if (!workersteps::waitForWorkersRunning())
      return false;
    pauseSystemThreads();
    std::vector<uint64_t> before;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      before.push_back(galaxy->threads[k]->passes.load());
    gameTime = gameTime + seconds;
    untimed += Clock::now() - began;
    resumeSystemThreads();
    const Clock::time_point until = Clock::now() + kPassTimeout;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      while (galaxy->threads[k]->passes.load() <= before[k]) {
        if (Clock::now() > until)
          return false;
        std::this_thread::yield();
      }
    return true;
  }
};

struct Session {
  Session() {
    initThreadLocals();
    singleThreaded = false;
    systemsPaused = false;
    a = registerEmpire(new empire);
    a->name = L"A";
    b = registerEmpire(new empire);
    b->name = L"B";
    registerSpaceEmpire();
    a->getRelation(b)->enemy = true;
    b->getRelation(a)->enemy = true;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "bench_battle";
    std::filesystem::create_directories(folder);
    loaded = battletest::loadBattleData(folder);
    std::filesystem::remove_all(folder);
  }
  empire* a = nullptr;
  empire* b = nullptr;
  bool loaded = false;
};

Session& session() {
  static Session made;
  return made;
}

void Battle(benchmark::State& state) {
  Session& s = session();
  if (!s.loaded) {
    state.SkipWithError("the battle data did not load");
    return;
  }
  const int ships = static_cast<int>(state.range(0));
  const bool armed = state.range(1) != 0;
  const auto workers = static_cast<uint8_t>(state.range(2));
  const int steps = static_cast<int>(kGameSeconds / battletest::kStep + 0.5);

  double wallSeconds = 0.0;
  uint64_t hits = 0;
  uint64_t calls = 0;
  int peak = 0;
  int left = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    battletest::Battle battle(s.a, s.b, ships, ships, armed);
    battle.build(kSeed, workers);
    const uint64_t hitsBefore = battletest::hitsMade.load();
    WokenPasses passes;
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < steps; ++k)
      if (!(workers > 0 ? battle.step(passes) : battle.step())) {
        state.SkipWithError("a worker did not finish its pass");
        break;
      }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start - passes.untimed).count();
    state.SetIterationTime(elapsed);
    wallSeconds += elapsed;
    hits += battletest::hitsMade.load() - hitsBefore;
    calls += battle.graphicsCalls();
    if (battle.busiestFrame() > peak)
      peak = battle.busiestFrame();
    left = battle.alive(0) + battle.alive(1);
    battle.tearDown();
    ++runs;
  }
  if (runs == 0 || wallSeconds <= 0.0)
    return;
  const double gameSeconds = kGameSeconds * static_cast<double>(runs);
  state.counters["game_s_per_s"] = gameSeconds / wallSeconds;
  state.counters["effects_per_s"] = static_cast<double>(hits) / wallSeconds;
  state.counters["effects_per_game_s"] = static_cast<double>(hits) / gameSeconds;
  state.counters["gfx_per_frame"] = static_cast<double>(calls) / (static_cast<double>(steps) * static_cast<double>(runs));
  state.counters["gfx_peak"] = peak;
  state.counters["ships_left"] = left;
}
BENCHMARK(Battle)
    ->ArgNames({"ships", "armed", "workers"})
    ->Args({20, 1, 0})
    ->Args({20, 0, 0})
    ->Args({100, 1, 0})
    ->Args({100, 0, 0})
    ->Args({100, 1, 4})
    ->Args({100, 0, 4})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
