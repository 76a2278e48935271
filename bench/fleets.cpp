// Fleets and formations, on one thread, with star-system locks live (not
// single-threaded), as a script or the network handler on the main thread
// would meet them.
//
// Scene: a star system with a commander at (20, 0, 0) and N members (10 or
// 100), each with a UnitAI and a MobileMover with thrust; the red owner
// sees an enemy presence of 0.5 in the system, so a move out of it reaches
// every member.
//
//   FleetTick/N       FleetAI::tick: the commander's own (empty) queue, each
//                     member's place and thrust / mass, the formation's
//                     count and spacing, the commander's maxAcceleration
//   MoveFanOut/N      FleetAI::addOrder of one move order to a point out of
//                     the system: the commander's queue, then a copy for
//                     each member, handed over under the member's system
//                     lock; the queues are emptied untimed every 64 orders
//   MemberPosition/T  getMemberPosition of formation T (0 wall, 1 box,
//                     2 escort, 3 wedge) set for 100 members, the indexes
//                     0 to 99 in turn: the frame, the place and
//                     setTargetWithOffset on the member's mover
//   IdleStep/0        a member's UnitAI::tick with an empty queue and no
//                     fleet (the idle step returns at once)
//   IdleStep/1        the same member in a wall fleet of 100, its 250 ms
//                     idle timer run out every step: FleetAI::placeMember
//                     (the fleet's read lock and the formation's place)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/base/config.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/fleet_formation.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace {

constexpr int kFormationMembers = 100;
constexpr uint32_t kOrdersBetweenClears = 64;

class BenchObject : public generic_object {
 public:
  BenchObject(empire* objectOwner, MoveHandler* objectMover) : generic_object(objectOwner, nullptr, objectMover) {}
  int getType() const override { return OT_Hulled; }
};

struct Empires {
  Empires() {
    singleThreaded = false;
    initThreadLocals();
    red = registerEmpire(new empire);
    blue = registerEmpire(new empire);
    red->getRelation(blue)->enemy = true;
  }
  empire* red;
  empire* blue;
};

Empires& empires() {
  static Empires made;
  return made;
}

// A ship of `owner` in `system` at `position`, with a queue of its own.
BenchObject* makeShip(empire* owner, solarSystem* system, const vector3df& position, float radius) {
  auto* mover = new MobileMover();
  mover->thrust = 2.0f;
  auto* ship = new BenchObject(owner, mover);
  ship->radius = radius;
  ship->setContainer(system);
  ship->position = position;
  auto* ai = new UnitAI(ship, false);
  ship->setAI(ai);
  ai->release();  // the ship holds it
  return ship;
}

UnitAI* queueOf(generic_object* object) { return static_cast<UnitAI*>(object->ai); }

// A fleet of `count` members in one star system.
struct FleetScene {
  explicit FleetScene(int count) {
    Empires& e = empires();
    system = new solarSystem();
    Stats& enemy = getEmpireStats(*system->systemStats, e.blue);
    statValue(enemy, L"prs") = 0.5f;
    commander = makeShip(e.red, system, vector3df(20, 0, 0), 2.0f);
    fleet = new FleetAI(queueOf(commander));
    commander->setAI(fleet);
    fleet->release();  // the commander holds it
    for (int n = 0; n < count; ++n) {
      BenchObject* member = makeShip(e.red, system, vector3df(-5.0f * n, 10, 0), 1.0f + 0.02f * n);
      fleet->addMember(member);
      members.push_back(member);
    }
    fleet->tick();  // places, count and spacing
  }

  ~FleetScene() {
    for (BenchObject* member : members) {
      fleet->removeMember(member);
      member->destroyNow(true);
    }
    commander->destroyNow(true);  // the fleet ends with its last commander
    system->destroyNow(true);
  }

  void emptyQueues() {
    fleet->prior->clearOrders(true);
    for (BenchObject* member : members)
      queueOf(member)->clearOrders(true);
  }

  solarSystem* system;
  BenchObject* commander;
  FleetAI* fleet;
  std::vector<BenchObject*> members;
};

void perItem(benchmark::State& state, int64_t itemsPerIteration, const char* counter) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * itemsPerIteration);
  state.counters[counter] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(itemsPerIteration),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void FleetTick(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  FleetScene scene(count);
  for (auto _ : state) {
    scene.fleet->tick();
    benchmark::ClobberMemory();
  }
  perItem(state, count, "ns_per_member");
}
BENCHMARK(FleetTick)->Arg(10)->Arg(100);

void MoveFanOut(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  FleetScene scene(count);
  const vector3df away(10000, 0, 0);
  uint32_t given = 0;
  for (auto _ : state) {
    scene.fleet->addOrder(new move_order(away, 1.0f), false);
    // Pausing costs about half a microsecond: the queues are emptied only
    // every so many orders (the orders go in at the front, so the queues'
    // length does not matter meanwhile).
    if (++given == kOrdersBetweenClears) {
      state.PauseTiming();
      if (queueOf(scene.members.back())->getOrderCount() != given)
        state.SkipWithError("the move did not reach the members");
      scene.emptyQueues();
      given = 0;
      state.ResumeTiming();
    }
  }
  scene.emptyQueues();
  perItem(state, count, "ns_per_member");
}
BENCHMARK(MoveFanOut)->Arg(10)->Arg(100);

void MemberPosition(benchmark::State& state) {
  FleetScene scene(kFormationMembers);
  fleet_formation* formation = createFormation(static_cast<int>(state.range(0)));
  formation->setMemberCount(kFormationMembers);
  formation->setSpacing(2.0f);
  uint32_t index = 0;
  for (auto _ : state) {
    formation->getMemberPosition(scene.members[index], index, scene.fleet);
    index = index + 1 == kFormationMembers ? 0 : index + 1;
    benchmark::ClobberMemory();
  }
  perItem(state, 1, "ns_per_place");
  delete formation;
}
BENCHMARK(MemberPosition)->DenseRange(0, 3);

void IdleStep(benchmark::State& state) {
  const bool inFleet = state.range(0) != 0;
  FleetScene scene(kFormationMembers);
  BenchObject* member = scene.members[kFormationMembers / 2];
  if (!inFleet)
    scene.fleet->removeMember(member);
  UnitAI* queue = queueOf(member);
  uint32_t clock = 1000;
  for (auto _ : state) {
    clock += 251;  // the idle timer runs out every step
    setObjectTestClock(clock);
    queue->tick();
    benchmark::ClobberMemory();
  }
  perItem(state, 1, "ns_per_step");
  setObjectTestClock(0);
}
BENCHMARK(IdleStep)->Arg(0)->Arg(1);

}  // namespace
