// A governed planet's round: `apply` of the shipped "default" build list
// (data/Game Data/build_queues.xml) as an AI empire of a new game holds it,
// beside making the structure item a round queues.
//
//   Apply/S/R    apply on a planet of the empire with S structures and room
//                for R, its queue emptied after each call (the item deleted):
//                /0/20 an empty planet (the list queues its first Metal
//                Mine), /20/20 a full one (every rule looks, none acts),
//                /20/30 one with room (the list goes on until a rule builds)
//   MakeItem     one StructureConstructible of Metal Mine for the same planet
//                made and deleted: the sub-system instance evaluated for the
//                planet and its costs
//
// The 20 structures are 10 Metal Mines, 9 Habitat Towers and a Space Port,
// all unlocked at the start. The label names what a call queues.
#include <benchmark/benchmark.h>

#include "app/new_game.h"
#include "core/random.h"
#include "design/build/build_rules.h"
#include "design/build/constructible.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "universe/objects/galaxy.h"
#include "universe/planets/planet.h"
#include "shipped_session.h"

namespace {

const SubSystemDef* definition(const wchar_t* name) {
  const irr::s32 index = findSubSystemDefByName(name);
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

// A session's start-up and a new game of one system and one AI empire, once
// for the program, in a scratch user folder: the empire holds the shipped
// lists and can build the structures that need no research.
empire* aiEmpire() {
  static empire* const made = [] {
    benchsession::startShippedSession("build_rules", 1, 1);
    seedProcessRandom(1);
    threadRandom().seed(1);
    setupNewGame(sessionDataFiles.mapScriptPath);
    return getEmpireByID(1);
  }();
  return made;
}

// A settled planet of the AI empire in the galaxy's system, with room for
// `room` structures and `structures` of them built.
objHabitation* planetWith(int structures, int room) {
  empire* owner = aiEmpire();
  auto* planet = new objHabitation(owner, nullptr);
  planet->population = planet->settledPopulation = 5.0f;
  planet->maxPopulation = 10.0f;
  planet->setStructureSpace(static_cast<float>(room));
  planet->radius = 10.0f;
  planet->name = L"Bench";
  for (int i = 0; i < structures; ++i) {
    const wchar_t* kind = i == 0 ? L"Space Port" : i % 2 == 1 ? L"Metal Mine" : L"Habitat Towers";
    planet->addStructureFromDef(definition(kind));
  }
  if (galaxy != nullptr && galaxy->getSystemCount() > 0)
    planet->setContainer(galaxy->getSystem(0));
  return planet;
}

void Apply(benchmark::State& state) {
  empire* owner = aiEmpire();
  build_priorities* list = owner != nullptr ? owner->findBuildList(L"default") : nullptr;
  if (list == nullptr) {
    state.SkipWithError("the AI empire has no \"default\" list");
    return;
  }
  const int structures = static_cast<int>(state.range(0));
  objHabitation* planet = planetWith(structures, static_cast<int>(state.range(1)));
  if (static_cast<int>(planet->structures.size()) != structures) {
    state.SkipWithError("the planet did not take its structures");
    return;
  }
  for (auto _ : state) {
    const bool acted = list->apply(planet);
    benchmark::DoNotOptimize(acted);
    planet->clearBuildQueue();
  }
  // What a call queues, for the label.
  list->apply(planet);
  const irr::core::stringc queued =
      planet->buildQueue.size() > 0 ? irr::core::stringc(planet->buildQueue[0]->getName()) : "nothing";
  planet->clearBuildQueue();
  state.SetLabel(queued.c_str());
  planet->destroyNow(true);
}
BENCHMARK(Apply)->Args({0, 20})->Args({20, 20})->Args({20, 30});

void MakeItem(benchmark::State& state) {
  objHabitation* planet = planetWith(0, 20);
  const SubSystemDef* mine = definition(L"Metal Mine");
  for (auto _ : state) {
    constructible* item = new StructureConstructible(mine, planet);
    benchmark::DoNotOptimize(item);
    delete item;
  }
  planet->destroyNow(true);
}
BENCHMARK(MakeItem);

}  // namespace
