// An empire's fleet registry, colonisation sets and player name.
#include <gtest/gtest.h>

#include <vector>

#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"

namespace empire_fleets_test {

namespace {

class EmpireStateTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    activeEmpire = nullptr;
  }
  void TearDown() override {
    activeEmpire = nullptr;
    deleteAllEmpires();
    for (generic_object* leader : leaders)
      leader->drop();
  }

  // A fleet led by an object of its own, whose order queue the fleet takes.
  FleetAI* newFleet() {
    auto* leader = new generic_object(nullptr, nullptr, nullptr);
    auto* queue = new UnitAI(leader);
    leader->setAI(queue);
    queue->release();
    leaders.push_back(leader);
    return new FleetAI(queue);
  }

  std::vector<generic_object*> leaders;
};

TEST_F(EmpireStateTest, FleetsAreNamedFromTheCounterAndHeldByReference) {
  empire* emp = registerEmpire(new empire, true);
  FleetAI* first = newFleet();
  FleetAI* second = newFleet();
  emp->addFleet(first);
  emp->addFleet(second);
  EXPECT_EQ(first->name, irr::core::stringw(L"Fleet 1"));
  EXPECT_EQ(second->name, irr::core::stringw(L"Fleet 2"));
  EXPECT_EQ(first->refCount.load(), 2u);
  EXPECT_EQ(emp->getFleet(0), first);
  EXPECT_EQ(emp->getFleet(1), second);
  EXPECT_EQ(emp->getFleet(2), nullptr);

  emp->removeFleet(first);
  EXPECT_EQ(first->refCount.load(), 1u) << "the empire's reference is given back";
  EXPECT_EQ(emp->getFleet(0), second);
  emp->removeFleet(first);  // no longer held: nothing changes
  emp->removeFleet(nullptr);
  EXPECT_EQ(first->refCount.load(), 1u);
  EXPECT_EQ(emp->fleets.size(), 1u);

  // A fleet renamed by hand to the name the counter gives next loses its
  // entry and the empire's reference.
  FleetAI* renamed = newFleet();
  renamed->grab();
  NamedVar<FleetAI*>::getOrAdd(emp->fleets, irr::core::stringw(L"Fleet 3")).value = renamed;
  FleetAI* third = newFleet();
  emp->addFleet(third);
  EXPECT_EQ(renamed->refCount.load(), 1u);
  EXPECT_EQ(emp->fleets.size(), 2u);
  EXPECT_EQ(emp->getFleet(1), third);

  // Re-adding the fleet filed under the next name keeps one reference there.
  third->grab();
  NamedVar<FleetAI*>::getOrAdd(emp->fleets, irr::core::stringw(L"Fleet 4")).value = third;
  emp->addFleet(third);
  EXPECT_EQ(third->refCount.load(), 3u) << "entries \"Fleet 3\" and \"Fleet 4\", and ours";
  EXPECT_EQ(third->name, irr::core::stringw(L"Fleet 4"));

  first->release();
  renamed->release();
  // The fleets the empire still holds go with it (the sanitizer sees leaks).
  second->release();
  third->release();
}

TEST_F(EmpireStateTest, ColonizationSetsAndTheActiveEmpiresQueue) {
  empire* emp = registerEmpire(new empire, true);
  empire* other = registerEmpire(new empire, true);
  emp->queueColonization(7);
  emp->queueColonization(8);
  EXPECT_EQ(emp->colonizeQueue, (std::set<uint32_t>{7, 8}));
  emp->startColonization(7);
  EXPECT_EQ(emp->colonizeQueue, (std::set<uint32_t>{8}));
  EXPECT_EQ(emp->colonizing, (std::set<uint32_t>{7}));
  emp->endColonization(7);
  EXPECT_TRUE(emp->colonizing.empty());

  // Without an active empire nothing is queued and nothing is taken out.
  EXPECT_FALSE(isQueuedForColonization(8));
  unqueueColonization(8);
  EXPECT_EQ(emp->colonizeQueue, (std::set<uint32_t>{8}));

  // Only the active empire's queue is asked and changed.
  other->queueColonization(9);
  activeEmpire = emp;
  EXPECT_TRUE(isQueuedForColonization(8));
  EXPECT_FALSE(isQueuedForColonization(9));
  unqueueColonization(9);
  EXPECT_EQ(other->colonizeQueue, (std::set<uint32_t>{9}));
  unqueueColonization(8);
  EXPECT_TRUE(emp->colonizeQueue.empty());
  EXPECT_FALSE(isQueuedForColonization(8));
}

TEST_F(EmpireStateTest, PlayerNameIsHandedOutAsACopy) {
  empire* emp = registerEmpire(new empire, true);
  EXPECT_EQ(emp->getPlayerName(), irr::core::stringw());
  emp->setPlayerName(L"Ada");
  const irr::core::stringw before = emp->getPlayerName();
  emp->setPlayerName(L"Grace");
  EXPECT_EQ(before, irr::core::stringw(L"Ada"));
  EXPECT_EQ(emp->getPlayerName(), irr::core::stringw(L"Grace"));
}

}  // namespace

}  // namespace empire_fleets_test
