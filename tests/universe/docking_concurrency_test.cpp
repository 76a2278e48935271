// Four galaxy workers, each running a star system with a carrier that docks
// its twenty craft on one tick and releases them all on the next, for 60 s
// of game time in steps of 1/16 s. Half the craft have an AI (they take
// their Fuel), half not (the carrier gives it). In the end every craft is
// back in its system or docked, nothing is left after tear-down, and the
// transfer pool holds no order. Run under ThreadSanitizer for the races.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "galaxy_fixture.h"
#include "support/log_capture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_states.h"
#include "universe/orders/cargo_orders.h"
#include "universe/orders/unit_ai.h"

namespace docking_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kCraft = 20;
constexpr double kStep = 1.0 / 16.0;
constexpr int kSteps = 960;

// Docks every craft of its own that is in its system on one tick, and
// releases them all on the next.
class Carrier : public TestObject {
 public:
  explicit Carrier(empire* owner) : TestObject(owner) {}
  void tick(float seconds) override {
    TestObject::tick(seconds);
    if (!isValid())
      return;
    if (docking) {
      for (generic_object* craft : fleet)
        if (craft->container.load() == container.load())
          dockObject(craft);
      docks += static_cast<int>(docked.size());
    } else {
      undockAll(nullptr);
    }
    docking = !docking;
  }

  std::vector<generic_object*> fleet;  // held by the test
  bool docking = true;
  int docks = 0;
};

void giveAI(generic_object* object) {
  auto* unit = new UnitAI(object, false);
  object->setAI(unit);
  unit->drop();
}

// Whether every element of the transfer pool's blocks is free: they can all
// be taken again without a new block.
bool transferPoolEmpty() {
  ObjectPool& pool = transferOrderPool();
  const unsigned blocks = pool.blockCount();
  std::vector<void*> taken;
  taken.reserve(static_cast<size_t>(blocks) * kTransferPoolBlockElements);
  for (unsigned n = 0; n < blocks * kTransferPoolBlockElements; ++n)
    taken.push_back(allocTransferOrder(sizeof(transfer_order)));
  const bool empty = pool.blockCount() == blocks;
  for (void* memory : taken)
    releaseTransferOrder(memory);
  return empty;
}

using DockingConcurrencyTest = galaxytest::GalaxyTest;

TEST_F(DockingConcurrencyTest, CarriersDockAndReleaseTheirCraftOnFourWorkers) {
  ASSERT_TRUE(transferPoolEmpty()) << "transfers in use before the run";
  std::vector<galaxytest::CountingSystem*> systems = addSystems(kWorkers, 100000.0f);
  for (galaxytest::CountingSystem* system : systems) {
    // Craft pushed apart beside their carrier stay inside.
    system->radius = 2000.0f;
    system->radiusSquared = system->radius * system->radius;
  }
  std::vector<Carrier*> carriers;
  std::vector<generic_object*> held;
  for (int s = 0; s < kWorkers; ++s) {
    auto* carrier = new Carrier(red);
    carrier->radius = 5.0f;
    carrier->dockSpace = 100.0f;
    getOrAddObjectState(carrier, L"Fuel")->value.val = 1000.0f;
    giveAI(carrier);
    carrier->setContainer(systems[static_cast<size_t>(s)]);
    carrier->position.set(0.0f, 0.0f, 0.0f);  // in the middle of its system
    carrier->grab();
    carriers.push_back(carrier);
    for (int i = 0; i < kCraft; ++i) {
      auto* craft = new TestObject(red);
      craft->radius = 1.0f;
      craft->mover = new MobileMover();
      if (i % 2 == 0)
        giveAI(craft);
      getOrAddObjectState(craft, L"Fuel")->value.max = 10.0f;
      craft->setContainer(systems[static_cast<size_t>(s)]);
      craft->position.set(10.0f + 3.0f * static_cast<float>(i), 0.0f, 0.0f);
      craft->grab();
      carrier->fleet.push_back(craft);
      held.push_back(craft);
    }
  }

  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  for (int step = 0; step < kSteps; ++step) {
    ASSERT_TRUE(stepWorkers(kStep)) << "the workers did not finish step " << step;
    galaxy->tick(static_cast<float>(kStep));
  }
  pauseSystemThreads();

  for (int s = 0; s < kWorkers; ++s) {
    SCOPED_TRACE("system " + std::to_string(s));
    Carrier* carrier = carriers[static_cast<size_t>(s)];
    EXPECT_GT(carrier->docks, kCraft * 10) << "the carrier docked its craft again and again";
    int inSystem = 0;
    for (generic_object* craft : carrier->fleet) {
      EXPECT_TRUE(craft->isValid());
      if (craft->container.load() == systems[static_cast<size_t>(s)])
        ++inSystem;

    }
    EXPECT_EQ(inSystem + static_cast<int>(carrier->docked.size()), kCraft) << "no craft was lost";
    EXPECT_FLOAT_EQ(carrier->dockUsed, static_cast<float>(carrier->docked.size()));
  }

  destroyGalaxy();
  for (generic_object* craft : held)
    craft->drop();
  for (Carrier* carrier : carriers)
    carrier->drop();
  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
  EXPECT_TRUE(transferPoolEmpty()) << "a transfer order was left in its pool";
}

}  // namespace

}  // namespace docking_concurrency_test
