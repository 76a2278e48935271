// A ship's tick by the number of its weapons, and one target-acquisition
// pass, beside the tick of a plain game object.
//
//   ShipTick/N     objHulled::tick of a ship with N weapons (0: one armour
//                  plate), 1/16 s a step, in a star system with one enemy in
//                  reach: the sub-system ticks (each weapon's "Reload"), the
//                  fire step of every weapon at the enemy (reach, target
//                  weight, the "Timed" activation, reloading the whole run),
//                  the retarget timer and the base object's tick
//   Acquisition    tickShipWeapons of an idle one-weapon ship whose scan
//                  window holds 30 friendly objects in reach: each is
//                  looked at (reach, the AI's and the weapon's weights) and
//                  refused
//   GenericTick    generic_object::tick of a plain object (no AI, mover or
//                  effects)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/base/config.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "universe/objects/solar_system.h"
#include "universe/ships/ship.h"

namespace {

constexpr float kStep = 1.0f / 16.0f;

const char kEffectors[] =
    "Effector: Gun\nValue: Reach\nRange: Reach\nCanAttack: CanAttack\nAutoAttack: Enemy\n"
    "OnFire: Timed(1000000)\nTick: Reload\n";
const char kSubSystems[] =
    "System: Gun\nSize: 1\nDurability: 10\nProvides: Gun with Reach[100]\nTick Rate: Always\n\n"
    "System: Plate\nSize: 1\nDurability: 10\n";

void loadFile(const char* name, const char* text, void (*load)(const irr::core::stringc&)) {
  const std::string path = (std::filesystem::temp_directory_path() / name).string();
  std::ofstream(path, std::ios::binary) << text;
  load(path.c_str());
  std::remove(path.c_str());
}

void loadSubSystemFile(const irr::core::stringc& path) { loadSubSystemDefs(path); }

struct Scene {
  Scene() {
    singleThreaded = true;
    initThreadLocals();
    loadFile("bench_ships_effectors.txt", kEffectors, loadEffectors);
    loadFile("bench_ships_subsystems.txt", kSubSystems, loadSubSystemFile);
    red = registerEmpire(new empire);
    blue = registerEmpire(new empire);
    red->getRelation(blue)->enemy = true;
    blue->getRelation(red)->enemy = true;
  }
  empire* red;
  empire* blue;
};

Scene& scene() {
  static Scene made;
  return made;
}

const SubSystemDef* definition(const wchar_t* name) {
  return subSystemDefRegistry[static_cast<irr::u32>(findSubSystemDefByName(name))].value;
}

objHulled* makeShip(solarSystem* system, int guns) {
  layout_desc desc;
  for (int i = 0; i < (guns == 0 ? 1 : guns); ++i)
    desc.systems.push_back({definition(guns == 0 ? L"Plate" : L"Gun"), 1.0f, static_cast<float>(i % 4),
                            static_cast<float>(i / 4), -1});
  auto* layout = new hull_list(desc, scene().red, true);
  auto* ship = new objHulled(scene().red, layout, nullptr);
  layout->drop();  // the ship holds it
  ship->setContainer(system);
  return ship;
}

generic_object* makeObject(solarSystem* system, empire* owner, float x) {
  auto* object = new generic_object(owner, nullptr, nullptr);
  object->position.set(x, 0.0f, 0.0f);
  object->setContainer(system);
  return object;
}

void ShipTick(benchmark::State& state) {
  scene();
  auto* system = new solarSystem();
  objHulled* ship = makeShip(system, static_cast<int>(state.range(0)));
  makeObject(system, scene().blue, 30.0f);
  for (auto _ : state) {
    system->localTime += kStep;
    ship->tick(kStep);
  }
  system->destroyNow(true);
}
BENCHMARK(ShipTick)->Arg(0)->Arg(4)->Arg(16);

void Acquisition(benchmark::State& state) {
  scene();
  auto* system = new solarSystem();
  objHulled* ship = makeShip(system, 1);
  for (int i = 0; i < 60; ++i)
    makeObject(system, scene().red, 10.0f + static_cast<float>(i));
  for (auto _ : state) {
    ship->retargetTimer = 0.0f;
    ship->scanIndex = 0;  // this pass looks at children 30 to 59
    tickShipWeapons(ship, kStep);
  }
  if (ship->effectorStates[0].target != nullptr)
    state.SkipWithError("a friendly object was taken as a target");
  system->destroyNow(true);
}
BENCHMARK(Acquisition);

void GenericTick(benchmark::State& state) {
  scene();
  auto* system = new solarSystem();
  generic_object* object = makeObject(system, scene().red, 0.0f);
  for (auto _ : state)
    object->tick(kStep);
  system->destroyNow(true);
}
BENCHMARK(GenericTick);

}  // namespace
