// The five cargo and colonisation standing orders on four galaxy workers at
// once: each worker's system holds ten ships of one empire running collect,
// deposit, fetch, trade and colonize among that empire's stores and a few
// empty planets, while the main thread builds new trading ships into the
// systems under their locks. Every colonize order walks the one empire's
// colonisation queue from four threads, and the first trade orders of the
// process are made on several threads at once. In the end the traded
// resources are three, and no transfer or use-tool order is left in its
// pool after tear-down. Run under ThreadSanitizer for the races.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common_strings.h"
#include "design/hull_list.h"
#include "empire/empire.h"
#include "galaxy_fixture.h"
#include "support/log_capture.h"
#include "support/space_empire.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/object_states.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace standing_orders_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kShipsPerSystem = 10;
constexpr int kStoresPerSystem = 6;
constexpr int kEmptyPerSystem = 4;
constexpr double kStep = 1.0 / 16.0;
constexpr int kSteps = 960;
// Every so many steps the main thread builds one trading ship per system.
constexpr int kBuildEvery = 40;

const wchar_t* const kTraded[] = {L"Metals", L"Electronics", L"AdvParts"};

// Whether every element of a pool's blocks is free: they can all be taken
// again without a new block.
template <class Alloc, class Release>
bool poolEmpty(ObjectPool& pool, unsigned perBlock, size_t size, Alloc alloc, Release release) {
  const unsigned blocks = pool.blockCount();
  std::vector<void*> taken;
  taken.reserve(static_cast<size_t>(blocks) * perBlock);
  for (unsigned n = 0; n < blocks * perBlock; ++n)
    taken.push_back(alloc(size));
  const bool empty = pool.blockCount() == blocks;
  for (void* memory : taken)
    release(memory);
  return empty;
}

bool transferPoolEmpty() {
  return poolEmpty(transferOrderPool(), kTransferPoolBlockElements, sizeof(transfer_order), allocTransferOrder,
                   releaseTransferOrder);
}

bool useToolPoolEmpty() {
  return poolEmpty(useToolOrderPool(), kObjectPoolBlockElements, sizeof(use_tool_order), allocUseToolOrder, releaseUseToolOrder);
}

// Gives `object` the traded resources, each `val` of `max`.
void stock(generic_object* object, float val, float max) {
  for (const wchar_t* name : kTraded) {
    State* state = getOrAddObjectState(object, name);
    state->value.val = val;
    state->value.max = max;
  }
}

class StandingOrdersConcurrencyTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    space_ = registerSpaceEmpire();
    statisticsActive = false;
    gameTime = 0.0;
    setObjectTestClock(0);
    layout_ = new hull_list(L"Hauler", red);
    trader_ = new hull_list(L"Trader", red);
    trader_->orders.push_back({internCommonString(L"Trade"), nullptr, nullptr});
  }

  void TearDown() override {
    destroyGalaxy();
    for (generic_object* object : held_)
      object->drop();
    held_.clear();
    trader_->drop();
    layout_->drop();
    GalaxyTest::TearDown();
  }

  template <class T>
  T* hold(T* object) {
    object->grab();
    held_.push_back(object);
    return object;
  }

  // One system of the run: stores of the empire on a ring, empty planets
  // queued for colonisation, and ships running all five standing orders.
  void populate(solarSystem* system, int index) {
    for (int p = 0; p < kStoresPerSystem + kEmptyPerSystem; ++p) {
      const bool store = p < kStoresPerSystem;
      auto* planet = hold(new objHabitation(store ? red : space_, nullptr));
      planet->radius = 4.0f;
      planet->position.set(12.0f * static_cast<float>(p), 0.0f, 10.0f);
      planet->setStructureSpace(store ? 0.0f : 3.0f);
      planet->setContainer(system);
      // Settled, so that the stores stay the empire's.
      if (store)
        planet->settledPopulation = 10.0f;
      // Half the stores full, half nearly empty, so that goods move.
      stock(planet, p % 2 == 0 ? 90.0f : 5.0f, 100.0f);
      if (!store)
        red->queueColonization(planet->uid);
    }
    const irr::core::stringw metals = L"Metals";
    for (int k = 0; k < kShipsPerSystem; ++k) {
      auto* mover = new MobileMover();
      mover->thrust = 20.0f;  // they fly to what they trade with
      auto* ship = hold(new objHulled(red, layout_, mover));
      ship->radius = 1.0f;
      ship->cargoSpace = 30.0f;
      ship->position.set(6.0f * static_cast<float>(k), 0.0f, 0.0f);
      ship->setContainer(system);
      system->toAbsolutePosition(mover->destination, ship->position);
      stock(ship, static_cast<float>((k + index) % 10), 10.0f);
      ship->ai->appendOrder(new collect_order(metals, 0.2f, false));
      ship->ai->appendOrder(new deposit_order(L"Electronics", 0.5f, false));
      ship->ai->appendOrder(new fetch_order(L"AdvParts", 0.5f));
      ship->ai->appendOrder(new trade_order());
      ship->ai->appendOrder(new colonize_order());
    }
  }

  // A ship of the trading layout built into `system` by the main thread
  // while the system's worker may be ticking it.
  void buildTrader(solarSystem* system, int n) {
    lockSolarSystem(system);
    Hull_Desc desc;
    desc.set_hull(trader_);
    desc.Owner = red;
    desc.Position.set(3.0f * static_cast<float>(n % 20), 5.0f, 0.0f);
    objHulled* ship = createShipObject(desc, system);
    if (ship != nullptr) {
      ship->cargoSpace = 30.0f;
      stock(ship, 0.0f, 0.0f);
      ++built_;
    }
    unlockSolarSystem(system);
  }

  empire* space_ = nullptr;
  hull_list* layout_ = nullptr;
  hull_list* trader_ = nullptr;
  std::vector<generic_object*> held_;
  int built_ = 0;
};

TEST_F(StandingOrdersConcurrencyTest, FiveStandingOrdersRunOnFourWorkersWhileTradersAreBuilt) {
  ASSERT_TRUE(transferPoolEmpty()) << "transfers in use before the run";
  ASSERT_TRUE(useToolPoolEmpty()) << "use-tool orders in use before the run";
  std::vector<galaxytest::CountingSystem*> systems = addSystems(kWorkers, 100000.0f);
  for (int s = 0; s < kWorkers; ++s) {
    galaxytest::CountingSystem* system = systems[static_cast<size_t>(s)];
    system->radius = 2000.0f;
    system->radiusSquared = system->radius * system->radius;
    populate(system, s);
  }

  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  for (int step = 0; step < kSteps; ++step) {
    if (step % kBuildEvery == 0)
      for (galaxytest::CountingSystem* system : systems)
        buildTrader(system, step / kBuildEvery);
    // The orders' millisecond clock follows the simulated time.
    setObjectTestClock(static_cast<uint32_t>((step + 1) * kStep * 1000.0));
    ASSERT_TRUE(stepWorkers(kStep)) << "the workers did not finish step " << step;
    galaxy->tick(static_cast<float>(kStep));
  }
  pauseSystemThreads();
  // The orders did their work: some store's stock changed.
  bool moved = false;
  for (generic_object* object : held_) {
    if (object->getType() != OT_Planet || object->owner != red)
      continue;
    for (const wchar_t* name : kTraded) {
      const State* state = findObjectState(object, name);
      moved = moved || (state != nullptr && state->value.val != 90.0f && state->value.val != 5.0f);
    }
  }
  EXPECT_TRUE(moved) << "the orders moved goods";
  EXPECT_EQ(built_, kWorkers * (kSteps / kBuildEvery));

  const irr::core::array<const irr::core::stringw*>& traded = tradedResources();
  ASSERT_EQ(traded.size(), 3u);
  for (irr::u32 i = 0; i < traded.size(); ++i)
    EXPECT_EQ(*traded[i], irr::core::stringw(kTraded[i]));

  destroyGalaxy();
  for (generic_object* object : held_)
    object->drop();
  held_.clear();
  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
  EXPECT_TRUE(transferPoolEmpty()) << "a transfer order was left in its pool";
  EXPECT_TRUE(useToolPoolEmpty()) << "a use-tool order was left in its pool";
}

}  // namespace

}  // namespace standing_orders_concurrency_test
