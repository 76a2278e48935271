// Clearing the orders of twenty selected ships from the context menu while
// two galaxy workers tick their star systems: every queue and mover is
// changed under its system's lock, so ThreadSanitizer (the tsan preset)
// reports nothing. Every wait is bounded; a watchdog ends a run that hangs.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "context_menu_fixture.h"
#include "core/save_stream.h"
#include "universe/orders/movement_orders.h"
#include "universe/worker_steps.h"

namespace contextmenutest {

namespace {

constexpr int kShipsPerSystem = 10;
constexpr auto kRunTime = std::chrono::seconds(2);
constexpr int kMostRounds = 100000;

using ContextMenuConcurrency = ContextMenuTest;

TEST_F(ContextMenuConcurrency, ClearingOrdersWhileTwoWorkersTickTheShips) {
  std::vector<TestObject*> ships;
  for (int s = 0; s < 2; ++s) {
    solarSystem* place = system(100000.0f * static_cast<float>(s));
    for (int i = 0; i < kShipsPerSystem; ++i) {
      TestObject* made = ship(red, place);
      made->position.set(30.0f * static_cast<float>(i), 0.0f, 0.0f);
      select(made);
      ships.push_back(made);
    }
  }
  ASSERT_EQ(getSelectedObjectCount(), 20u);
  buildContextActionMenu();
  IGUIActionPicker* clearOrders = actionLists.front()->pickerById(40);

  startSystemThreads(2);
  ASSERT_TRUE(workersteps::waitForWorkersRunning());
  int rounds = 0;
  {
    workersteps::Watchdog watchdog("ContextMenuConcurrency", std::chrono::seconds(60));
    const auto until = std::chrono::steady_clock::now() + kRunTime;
    while (std::chrono::steady_clock::now() < until && rounds < kMostRounds) {
      // Orders to clear, given as any caller gives them: under the lock.
      for (TestObject* made : ships) {
        made->lockContainer();
        made->ai->appendOrder(new move_order(vector3df(500.0f, 0.0f, 0.0f), 0.01f));
        made->unlockContainer();
      }
      controlKeyDown = rounds % 2 == 1;
      clearOrders->run(ships[0], ships[0]);
      // The workers tick meanwhile.
      gameTime = gameTime + 0.05;
      cutSystemThreadRests();
      watchdog.progress();
      ++rounds;
    }
  }
  pauseSystemThreads();
  EXPECT_GT(rounds, 0);
  for (TestObject* made : ships)
    EXPECT_EQ(made->ai->getOrderCount(), 0u);
}

}  // namespace

}  // namespace contextmenutest
