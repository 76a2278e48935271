// The cargo and colonisation standing orders, one execute at a time, in a
// star system of 200 children (the ship and 199 planets), on one thread.
//
//   <Order>/1   one execute that finds a winner and puts its transfer (or
//               use-tool) order in front; the order made is taken off and
//               deleted inside the timing, as the queue would run it
//   <Order>/0   the scan alone: the same execute in a system where no child
//               qualifies (the planets belong to another empire; for
//               colonize they have no room and the queue is empty), so it
//               looks at its share of children and makes nothing
// Each execute has its timer due (next check 0) and, for fetch, the system
// already entered, so the timing is the scan and the act.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/base/config.h"
#include "core/common_strings.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

constexpr int kChildren = 200;
const wchar_t* const kTraded[] = {L"Metals", L"Electronics", L"AdvParts"};

struct Scene {
  Scene() {
    singleThreaded = true;
    initThreadLocals();
    red = registerEmpire(new empire);
    blue = registerEmpire(new empire);
    // Nobody's planets belong to the space empire, which is not valid.
    space = new empire;
    space->ID = kSpaceEmpireID;
    space->valid = false;
    space->reserved = true;
    registerEmpire(space, true);
    layout = new hull_list(L"Hauler", red);
  }
  empire* red;
  empire* blue;
  empire* space;
  hull_list* layout;
};

Scene& scene() {
  static Scene made;
  return made;
}

void stock(generic_object* object, float val, float max) {
  for (const wchar_t* name : kTraded) {
    State* state = getOrAddObjectState(object, name);
    state->value.val = val;
    state->value.max = max;
  }
}

// A system of the ship and 199 planets of `owner`, alternately full and
// nearly empty.
struct Bench {
  explicit Bench(empire* owner) {
    system = new solarSystem();
    auto* mover = new MobileMover();
    ship = new objHulled(scene().red, scene().layout, mover);
    ship->cargoSpace = 30.0f;
    ship->setContainer(system);
    stock(ship, 1.0f, 10.0f);
    for (int p = 1; p < kChildren; ++p) {
      auto* planet = new objHabitation(owner, nullptr);
      planet->position.set(10.0f * static_cast<float>(p % 20), 0.0f, 10.0f * static_cast<float>(p / 20));
      planet->radius = 2.0f;
      planet->setContainer(system);
      stock(planet, p % 2 == 0 ? 90.0f : 5.0f, 100.0f);
      planets.push_back(planet);
    }
  }
  ~Bench() {
    ship->ai->clearOrders(true);
    system->destroyNow(true);
  }

  // Runs `order` once with its timer due, then deletes what it put in front.
  void once(automation_order& order) {
    order.timer.nextCheck = 0;
    benchmark::DoNotOptimize(order.execute(*ship));
    ship->ai->clearOrders(true);
  }

  solarSystem* system;
  objHulled* ship;
  std::vector<objHabitation*> planets;
};

void Collect(benchmark::State& state) {
  scene();
  Bench bench(state.range(0) != 0 ? scene().red : scene().blue);
  collect_order order(L"Metals", 0.2f, false);
  for (auto _ : state)
    bench.once(order);
}
BENCHMARK(Collect)->Arg(0)->Arg(1);

void Deposit(benchmark::State& state) {
  scene();
  Bench bench(state.range(0) != 0 ? scene().red : scene().blue);
  getOrAddObjectState(bench.ship, L"Metals")->value.val = 10.0f;
  deposit_order order(L"Metals", 0.1f, false);
  for (auto _ : state)
    bench.once(order);
}
BENCHMARK(Deposit)->Arg(0)->Arg(1);

void Fetch(benchmark::State& state) {
  scene();
  Bench bench(state.range(0) != 0 ? scene().red : scene().blue);
  MobileMover::of(bench.ship)->thrust = 1.0f;
  fetch_order order(L"Metals", 0.5f);
  for (auto _ : state) {
    order.lastSystem = bench.system;
    bench.once(order);
  }
}
BENCHMARK(Fetch)->Arg(0)->Arg(1);

void Trade(benchmark::State& state) {
  scene();
  Bench bench(state.range(0) != 0 ? scene().red : scene().blue);
  trade_order order;
  for (auto _ : state)
    bench.once(order);  // customer and supplier steps in turn
}
BENCHMARK(Trade)->Arg(0)->Arg(1);

void Colonize(benchmark::State& state) {
  scene();
  const bool matches = state.range(0) != 0;
  Bench bench(scene().space);
  for (objHabitation* planet : bench.planets)
    planet->setStructureSpace(matches ? 3.0f : 0.0f);
  colonize_order order;
  for (auto _ : state)
    bench.once(order);  // deleting the use-tool order unmarks the planet
}
BENCHMARK(Colonize)->Arg(0)->Arg(1);

}  // namespace
