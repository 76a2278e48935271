// The structure step of 2,000 owned planets with five structures each, as a
// galaxy worker runs it, beside the planets' tick without structures.
//
//   Tick/N       objHabitation::tick(0.1 s) over every planet, so that every
//                tick is a structure step: /0 planets without structures,
//                /1 with five structures that each use up power (a
//                consumption entry) and run a provision's Tick (ore made into
//                metals), /2 the same structures with an effector each
//                whose Tick is Reload
//   StepOnly/N   the structure loop of the step alone (tickPlanetSubSystems
//                of each structure with the planet's event), for /1 and /2
//
// No script hook is bound. Counters: "ns_per_planet" is one planet's share;
// "frame_share" is the time of the loop over the 2,000 planets over the
// 13.3 ms frame of 75 frames a second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/base/config.h"
#include "core/threads.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"

namespace {

constexpr int kPlanets = 2000;
constexpr int kStructures = 5;
constexpr float kStep = 0.1f;  // a structure step on every tick
constexpr double kFrameSeconds = 1.0 / 75.0;

// Effects, effectors and the two structures, loaded from files in the
// temporary folder. Once.
void loadDefinitions() {
  static const bool loaded = [] {
    singleThreaded = false;
    initThreadLocals();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "bench_planet_structures";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "effects.txt", std::ios::binary)
        << "Name: Smelt\nValue: Rate\nTick: ProduceNoCargo(\"Metals\", \"Ore\", Rate, 2)\n"
           "Name: Hit\nValue: Amount\n";
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Battery\nValue: Damage\nValue: Reach\nValue: Delay\nRange: Reach\n"
           "OnFire: Timed(Delay)\nTick: Reload\nCauses: Hit lasting 0 with Amount[Damage]\n";
    std::ofstream(folder / "subsystems.txt", std::ios::binary)
        << "System: Smelter\nSize: 1\nDurability: 20\nConsumes:\nTo Run: Power[1]\nProvides: Smelt with Rate[3]\n"
           "System: ArmedSmelter\nSize: 1\nDurability: 20\nConsumes:\nTo Run: Power[1]\n"
           "Provides: Smelt with Rate[3]\nProvides: Battery with Damage[1], Reach[50], Delay[2]\n";
    loadEffects((folder / "effects.txt").string().c_str());
    loadEffectors((folder / "effectors.txt").string().c_str());
    loadSubSystemDefs((folder / "subsystems.txt").string().c_str());
    return true;
  }();
  (void)loaded;
}

const SubSystemDef* definition(const wchar_t* name) {
  const irr::s32 index = findSubSystemDefByName(name);
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

// 2,000 planets of one valid empire, settled enough never to be lost, with
// power, ore and room for metals that last for any run: /0 without
// structures, /1 with five Smelters, /2 with five ArmedSmelters. Once each.
const std::vector<objHabitation*>& planets(int kind) {
  static std::vector<objHabitation*> made[3];
  std::vector<objHabitation*>& list = made[kind];
  if (!list.empty())
    return list;
  loadDefinitions();
  static empire* const owner = registerEmpire(new empire);
  const SubSystemDef* def = kind == 0 ? nullptr : definition(kind == 1 ? L"Smelter" : L"ArmedSmelter");
  for (int i = 0; i < kPlanets; ++i) {
    auto* planet = new objHabitation(owner, nullptr);
    planet->population = planet->settledPopulation = 5.0f;
    planet->maxPopulation = 10.0f;
    planet->setStructureSpace(static_cast<float>(kStructures));
    getOrAddObjectState(planet, L"Power")->value.val = 1.0e30f;
    getOrAddObjectState(planet, L"Ore")->value.val = 1.0e30f;
    getOrAddObjectState(planet, L"Metals")->value.max = 1.0e30f;
    for (int k = 0; def != nullptr && k < kStructures; ++k)
      planet->addStructureFromDef(def);
    list.push_back(planet);
  }
  return list;
}

// The time spent in the timed loops, for the counters.
class LoopClock {
 public:
  template <class Loop>
  void time(Loop loop) {
    const Clock::time_point began = Clock::now();
    loop();
    spent_ += Clock::now() - began;
  }
  void setCounters(benchmark::State& state) const {
    const double perLoop = std::chrono::duration<double>(spent_).count() / static_cast<double>(state.iterations());
    state.counters["ns_per_planet"] = perLoop / kPlanets * 1e9;
    state.counters["frame_share"] = perLoop / kFrameSeconds;
  }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::duration spent_{};
};

// Every structure of every planet is running (none short of power).
bool allRunning(const std::vector<objHabitation*>& list, int kind) {
  for (objHabitation* planet : list) {
    if (planet->structures.size() != static_cast<irr::u32>(kind == 0 ? 0 : kStructures))
      return false;
    for (irr::u32 k = 0; k < planet->structures.size(); ++k)
      if (planet->structures[k].record.state != SS_Active)
        return false;
  }
  return true;
}

void BM_Tick(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::vector<objHabitation*>& list = planets(kind);
  clearPlanetScriptHooks();
  LoopClock clock;
  for (auto _ : state)
    clock.time([&] {
      for (objHabitation* planet : list)
        planet->tick(kStep);
    });
  clock.setCounters(state);
  if (!allRunning(list, kind))
    state.SkipWithError("structures were not all running");
}
BENCHMARK(BM_Tick)->Arg(0)->Arg(1)->Arg(2);

void BM_StepOnly(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const std::vector<objHabitation*>& list = planets(kind);
  LoopClock clock;
  for (auto _ : state)
    clock.time([&] {
      for (objHabitation* planet : list) {
        EffectEvent event(planet, planet, kStep);
        for (irr::u32 k = 0; k < planet->structures.size(); ++k)
          tickPlanetSubSystems(planet->structures[k].system, event, &planet->structures[k].record);
      }
    });
  clock.setCounters(state);
  if (!allRunning(list, kind))
    state.SkipWithError("structures were not all running");
}
BENCHMARK(BM_StepOnly)->Arg(1)->Arg(2);

}  // namespace
