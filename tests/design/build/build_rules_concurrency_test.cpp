// Build lists applied on four galaxy workers while the main thread keeps
// re-evaluating the owner's sub-system levels. 200 of red's planets in four
// star systems; in each system a steward object, ticked by the system's
// worker under the system's lock, applies red's list (one of every rule kind
// that runs on the workers) to each planet of its system on every pass, and
// then one of its rules alone, so that every rule runs whatever the ones
// before it answer. The steward also empties queues and orders now and then,
// makes room on full planets or gives structures back, and moves the metals
// stock up and down, so that the rules keep acting. The planets build what
// stays queued from their stocks. Meanwhile the main
// thread changes the variable the structures' levels depend on (under the
// variables area) and runs updateSubSystems, which takes the variables area
// and then the levels area, the order the rules must keep as well.
//
// Ten seconds of that load; the test passing means no deadlock. Run under
// ThreadSanitizer for the data races and lock order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "build_fixture.h"
#include "core/common_strings.h"
#include "design/build/build_rules.h"
#include "empire/empire.h"
#include "universe/objects/system_threads.h"

namespace build_rules_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kPlanetsPerSystem = 50;  // 200 in all
constexpr int kMaxStructures = 6;
constexpr auto kLoad = std::chrono::seconds(10);
constexpr double kStep = 1.0 / 16.0;

std::atomic<long> listApplications{0};
std::atomic<long> listsActed{0};

// Applies red's list to the planets of its system on each tick of its worker.
class Steward : public TestObject {
 public:
  Steward(empire* stewardOwner, build_list* list, std::vector<objHabitation*> planets,
          std::vector<const SubSystemDef*> kinds)
      : TestObject(stewardOwner, OT_Generic, L"Steward"),
        list_(list),
        planets_(std::move(planets)),
        kinds_(std::move(kinds)) {}

  void tick(float seconds) override {
    ++ticks_;
    long applied = 0;
    long acted = 0;
    for (size_t i = 0; i < planets_.size(); ++i) {
      objHabitation* planet = planets_[i];
      const size_t turn = ticks_ + i;
      // Every other pass a planet starts on an empty queue; otherwise the
      // list waits on what it queued before.
      if (turn % 2 == 0)
        planet->clearBuildQueue();
      if (turn % 8 == 0 && planet->ai != nullptr)
        planet->ai->clearOrders(true);  // removals ordered by "obsolete"
      // Room on full planets now and then, and never fewer than three
      // structures; the first, a Capitol, stays (an empty planet is lost).
      const irr::u32 count = planet->structures.size();
      if (count > 1 && turn % 6 == 0 && static_cast<int>(count) >= planet->getMaxStructureCount())
        planet->removeStructure(count - 1);
      if (planet->structures.size() < 3)
        planet->addStructureFromDef(kinds_[turn % kinds_.size()]);
      // Metals at 30 % or 90 % of their capacity, for the rules that look
      // at the stock.
      if (State* metals = findObjectState(planet, L"Metals"))
        metals->value.val = turn % 4 < 2 ? 300.0f : 900.0f;
      acted += list_->apply(planet) ? 1 : 0;
      list_->rules[static_cast<irr::u32>(turn % list_->rules.size())]->apply(planet);
      ++applied;
    }
    listApplications.fetch_add(applied);
    listsActed.fetch_add(acted);
    TestObject::tick(seconds);
  }

 private:
  build_list* list_;  // red's
  std::vector<objHabitation*> planets_;
  std::vector<const SubSystemDef*> kinds_;
  size_t ticks_ = 0;
};

class BuildRulesConcurrencyTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    listApplications = 0;
    listsActed = 0;
    red->updateSubSystems();  // red can build every definition
  }

  // Red's "default": one rule of every kind that the workers apply.
  build_list* makeList() {
    const irr::core::stringw* metals = internCommonString(L"Metals");
    auto* list = new build_list();
    list->rules.push_back(new bp_wait_for_empty_queue());
    list->rules.push_back(new bp_build_n(def(L"Mine"), 2));
    list->rules.push_back(new bp_build_per_n(def(L"Dock"), 3));
    list->rules.push_back(new bp_build_when_needed(true, 0.6f, def(L"Factory"), metals));
    list->rules.push_back(new bp_build_special(def(L"Spaceport"), internCommonString(L"Port")));
    list->rules.push_back(new bp_replace_when_useless(def(L"Factory"), def(L"Mine"), metals, 0.7f, true, true));
    auto* pick = new bp_build_rand();
    pick->addItem(def(L"Mine"), 1);
    pick->addItem(def(L"Factory"), 3);
    pick->addItem(def(L"Capitol"), 0);
    list->rules.push_back(pick);
    list->rules.push_back(new bp_rebuild_rand(0.5f));
    auto* removal = new bp_remove_rand();
    removal->addDef(def(L"Mine"));
    removal->addDef(def(L"Dock"));
    list->rules.push_back(removal);
    return list;
  }

  // A settled planet of red with stocks for a few structures; the system
  // owns it.
  objHabitation* planetIn(solarSystem* place, int index) {
    auto* planet = new objHabitation(red, nullptr);
    planet->population = planet->settledPopulation = 5.0f;  // never lost
    planet->maxPopulation = 10.0f;
    planet->setStructureSpace(static_cast<float>(kMaxStructures - index % 3));  // some fill up
    planet->radius = 10.0f;
    planet->name = L"Holding";
    planet->position.set(place->position.X + 10.0f * static_cast<float>(index), 0.0f, 300.0f);
    stock(planet, L"Metals", 600.0f)->value.max = 1000.0f;
    stock(planet, L"Electronics", 200.0f);
    stock(planet, L"AdvParts", 50.0f);
    planet->addStructureFromDef(def(L"Capitol"));
    planet->setContainer(place);
    return planet;
  }
};

TEST_F(BuildRulesConcurrencyTest, WorkersApplyListsWhileTheMainThreadUpdatesLevels) {
  build_list* list = makeList();
  red->setBuildList(L"default", list);
  const std::vector<const SubSystemDef*> kinds = {def(L"Mine"), def(L"Dock"), def(L"Factory"), def(L"Mine")};

  std::vector<solarSystem*> systems = systemsFromHere(kWorkers);
  for (solarSystem* place : systems) {
    std::vector<objHabitation*> planets;
    for (int i = 0; i < kPlanetsPerSystem; ++i)
      planets.push_back(planetIn(place, i));
    (new Steward(red, list, planets, kinds))->setContainer(place);
  }

  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  ASSERT_TRUE(workersteps::waitForWorkersRunning());

  // Each round advances the game time and, until every worker has made a
  // pass, re-evaluates red's levels with the level variable going up and
  // down.
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + kLoad;
  long updates = 0;
  int rounds = 0;
  while (Clock::now() < end) {
    std::vector<uint64_t> before;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      before.push_back(galaxy->threads[k]->passes.load());
    gameTime = gameTime + kStep;
    const auto passed = [&] {
      for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
        if (galaxy->threads[k]->passes.load() <= before[k])
          return false;
      return true;
    };
    const auto limit = Clock::now() + std::chrono::seconds(20);
    do {
      {
        empire::AreaGuard variables;
        red->lockArea(variables, EA_Variables, true);
        setTech(static_cast<float>(1 + updates % 4));
      }
      red->updateSubSystems();
      ++updates;
    } while (!passed() && Clock::now() < limit);
    ASSERT_TRUE(passed()) << "the workers did not finish round " << rounds;
    ++rounds;
  }
  pauseSystemThreads();

  EXPECT_GT(rounds, 0);
  EXPECT_GT(listApplications.load(), 0);
  EXPECT_GT(listsActed.load(), 0);
  EXPECT_GT(updates, static_cast<long>(rounds));
}

}  // namespace

}  // namespace build_rules_concurrency_test
