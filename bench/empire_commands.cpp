// The colonizer search of a colonise command over a large empire, beside a
// plain walk of the same objects.
//
// The empire owns 2,000 ships in 150 star systems (13 or 14 a system, the
// systems on a 15 x 10 grid 1000 apart); the planet is empty, in the first
// system. Not single-threaded: every object is looked at under its
// system's lock, with no other thread contending.
//
//   NoColonizer    constructing a ColonizePlanetCommand and deleting it
//                  when no ship qualifies (all are combat ships): the whole
//                  set is walked, and the planet goes to the (unchanged)
//                  colonisation queue
//   FarColonizer   the same with one colony ship with an AI, in the
//                  farthest system: the whole set is walked, the ship is
//                  chosen and given its use-tool order, which the loop then
//                  takes back from the ship (ending the planet's mark, so
//                  the next search does not stop at it)
//   PlainWalk      the empire's `objects` set walked without any lock: each
//                  ship's absolute position, the nearest kept by squared
//                  distance
//
// Each case checks after its loop what the last search found.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/empire_commands.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

constexpr int kSystems = 150;
constexpr int kGridWidth = 15;
constexpr float kSpacing = 1000.0f;
constexpr int kShips = 2000;

const char kSubSystems[] = "System: Frame\nTags: Hull\nSize: 10\nDurability: 10\n";

struct Scene {
  Scene() {
    singleThreaded = false;
    initThreadLocals();
    const std::string path = (std::filesystem::temp_directory_path() / "bench_empire_commands.txt").string();
    std::ofstream(path, std::ios::binary) << kSubSystems;
    loadSubSystemDefs(path.c_str());
    std::remove(path.c_str());

    red = registerEmpire(new empire);
    space = new empire;  // the non-player owner of empty planets
    space->ID = kSpaceEmpireID;
    space->valid = false;
    space->reserved = true;
    registerEmpire(space, true);

    layout_desc desc;
    desc.systems.push_back(
        {subSystemDefRegistry[static_cast<irr::u32>(findSubSystemDefByName(L"Frame"))].value, 1.0f, 0.0f, 0.0f, -1});
    combat = new hull_list(desc, red, true);
    combat->role = HullRole_Combat;
    colony = new hull_list(desc, red, true);
    colony->role = HullRole_ColonyShip;

    for (int s = 0; s < kSystems; ++s) {
      auto* system = new solarSystem();
      system->position.set(kSpacing * static_cast<float>(s % kGridWidth), 0.0f,
                           kSpacing * static_cast<float>(s / kGridWidth));
      system->radius = 400.0f;
      systems.push_back(system);
    }
    for (int i = 0; i < kShips; ++i) {
      auto* ship = new objHulled(red, combat, nullptr);
      ship->position.set(static_cast<float>(i % 7) * 20.0f, 0.0f, static_cast<float>(i % 5) * 20.0f);
      ship->setContainer(systems[static_cast<size_t>(i % kSystems)]);
    }
    planet = new objHabitation(space, nullptr);
    planet->position.set(100.0f, 0.0f, 100.0f);
    planet->setContainer(systems.front());
  }

  // A colony ship with an AI in the farthest system, made on first use
  // (after the cases that want none).
  objHulled* farShip() {
    if (far == nullptr) {
      far = new objHulled(red, colony, nullptr);
      far->setContainer(systems.back());
    }
    return far;
  }

  empire* red = nullptr;
  empire* space = nullptr;
  hull_list* combat = nullptr;
  hull_list* colony = nullptr;
  std::vector<solarSystem*> systems;
  objHabitation* planet = nullptr;
  objHulled* far = nullptr;
};

Scene& scene() {
  static Scene made;
  return made;
}

void NoColonizer(benchmark::State& state) {
  Scene& s = scene();
  bool chose = false;
  for (auto _ : state) {
    auto* command = new ColonizePlanetCommand(s.planet, s.red, false);
    chose = command->colonizer != nullptr;
    delete command;
  }
  if (chose || s.red->colonizeQueue.count(s.planet->uid) == 0)
    state.SkipWithError("a ship was chosen, or the planet was not queued");
  state.counters["objects"] = static_cast<double>(s.red->objects.size());
}
BENCHMARK(NoColonizer);

void FarColonizer(benchmark::State& state) {
  Scene& s = scene();
  objHulled* ship = s.farShip();
  generic_object* chosen = nullptr;
  for (auto _ : state) {
    auto* command = new ColonizePlanetCommand(s.planet, s.red, false);
    chosen = command->colonizer;
    ship->ai->removeOrder(command->order);
    delete command;
  }
  if (chosen != ship || ship->ai->getOrderCount() != 0)
    state.SkipWithError("the far ship was not chosen, or kept an order");
  state.counters["objects"] = static_cast<double>(s.red->objects.size());
}

void PlainWalk(benchmark::State& state) {
  Scene& s = scene();
  vector3df target;
  s.planet->container.load()->toAbsolutePosition(target, s.planet->position);
  const generic_object* nearest = nullptr;
  for (auto _ : state) {
    float best = 1e35f;
    nearest = nullptr;
    for (generic_object* object : s.red->objects) {
      if (object->getType() != OT_Hulled)
        continue;
      vector3df at;
      object->container.load()->toAbsolutePosition(at, object->position);
      const float distance = at.getDistanceFromSQ(target);
      if (distance < best) {
        best = distance;
        nearest = object;
      }
    }
    benchmark::DoNotOptimize(nearest);
  }
  if (nearest == nullptr)
    state.SkipWithError("no ship was found");
  state.counters["objects"] = static_cast<double>(s.red->objects.size());
}
BENCHMARK(PlainWalk);
// Last: its ship stays in the empire.
BENCHMARK(FarColonizer);

}  // namespace
