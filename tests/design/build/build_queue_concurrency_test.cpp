// Repeating build queues on four galaxy workers while the designs they build
// get new revisions: one empire's planets and ships in four star systems
// build ships of two designs over and over, each finished item queueing a
// copy for the newest revision of its design, while the main thread raises
// the level the designs' hull depends on and finalises new revisions of
// both. The workers' own copies make revisions too once the level has
// risen far enough. A fixed number of worker passes; run under
// ThreadSanitizer for the data races and lock order.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "build_fixture.h"
#include "empire/empire.h"
#include "universe/objects/system_threads.h"

namespace build_queue_concurrency_test {

using irr::core::stringw;

namespace {

constexpr int kWorkers = 4;
constexpr int kRounds = 40;          // worker passes, each with a revision step
constexpr double kStep = 1.0 / 16.0;  // above the workers' 0.05 s: one pass each
constexpr float kStock = 1.0e6f;      // lasts for every item of the run
const wchar_t* const kDesigns[] = {L"Scout", L"Hauler"};

class BuildQueueConcurrencyTest : public buildtest::BuildTest {
 protected:
  // A builder, its system and its side of it (x of its position there).
  struct Builder {
    generic_object* object = nullptr;
    solarSystem* system = nullptr;
    float x = 0.0f;
  };

  // Fills the builder's stocks and queues one item of each design, repeating.
  void stockAndQueue(generic_object* builder) {
    for (const wchar_t* resource : {L"Metals", L"Electronics", L"AdvParts"})
      stock(builder, resource, kStock);
    builder->setRepeatQueue(true);
    for (hull_list* layout : designs_)
      builder->addConstructible(new ShipConstructible(layout));
  }

  objHabitation* planetIn(solarSystem* place, float x) {
    auto* planet = new objHabitation(red, nullptr);
    planet->modPopulation(planet->ownerRates, 5.0f);
    planet->setStructureSpace(10.0f);
    planet->radius = 10.0f;
    planet->name = L"Forge";
    // Given in galaxy coordinates: the system makes it its own.
    planet->position.set(place->position.X + x, place->position.Y, place->position.Z);
    planet->setContainer(place);
    planet->setLinkedObject(place);  // ships rally in their system
    return planet;
  }

  // The ships of `system` built by the builder on the same side of it.
  static std::vector<objHulled*> shipsOf(const Builder& builder) {
    std::vector<objHulled*> out;
    for (irr::u32 i = 0; i < builder.system->children.size(); ++i) {
      generic_object* child = builder.system->children[i].get();
      if (child == builder.object || child->getType() != OT_Hulled)
        continue;
      if ((child->position.X > 0.0f) == (builder.x > 0.0f))
        out.push_back(static_cast<objHulled*>(child));
    }
    return out;
  }

  // The newest revision of `name` in red's table, held by the table.
  hull_list* newest(const wchar_t* name) { return red->updateHullByName(name, 1.0e9f); }

  // Raises the hull's level by one and finalises the next revision of both
  // designs: through getUpdatedHull on even rounds, on odd ones by making
  // the copy and filing it with replaceHull.
  void revise(int round) {
    {
      empire::AreaGuard variables;
      red->lockArea(variables, EA_Variables, true);
      setTech(static_cast<float>(round + 2));
    }  // never held while a layout is made
    for (const wchar_t* name : kDesigns) {
      if (round % 2 == 0) {
        hull_list* current = newest(name);
        if (current == nullptr || red->getUpdatedHull(current, 1.0f) == nullptr)
          failures_.push_back("no revision of " + std::to_string(round));
        continue;
      }
      // The table area keeps the newest one from being renamed or replaced
      // while it is copied.
      empire::AreaGuard hulls;
      red->lockArea(hulls, EA_HullLayouts, true);
      hull_list* current = newest(name);
      hull_list* copy = current != nullptr ? current->makeUpdatedCopy(red) : nullptr;
      if (copy == nullptr) {
        failures_.push_back("no copy in round " + std::to_string(round));
        continue;
      }
      red->replaceHull(current, copy);
      copy->drop();  // the table holds it
    }
  }

  // Advances game time by one step, revises while the workers run it, and
  // waits until every worker has finished a pass.
  bool stepWhileRevising(int round) {
    std::vector<uint64_t> before;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      before.push_back(galaxy->threads[k]->passes.load());
    gameTime = gameTime + kStep;
    cutSystemThreadRests();
    revise(round);
    return waitFor([&] {
      for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
        if (galaxy->threads[k]->passes.load() <= before[k])
          return false;
      return true;
    });
  }

  std::vector<hull_list*> designs_;
  std::vector<std::string> failures_;
};

TEST_F(BuildQueueConcurrencyTest, RepeatingQueuesFollowRevisionsMadeMeanwhile) {
  designs_.push_back(layoutOf(red, kDesigns[0], {L"Frame"}));
  designs_.push_back(layoutOf(red, kDesigns[1], {L"Frame", L"Plate"}, 2.0f));
  for (hull_list* layout : designs_)
    layout->updateThreshold = 1.0f;  // the workers' copies revise as well

  // One system per worker, each with a planet and a ship building.
  std::vector<solarSystem*> systems = systemsFromHere(kWorkers);
  std::vector<Builder> builders;
  for (solarSystem* place : systems) {
    place->radius = 2000.0f;  // the rally point: reached where they are made
    objHabitation* planet = planetIn(place, 300.0f);
    objHulled* yard = shipOf(designs_[0], vector3df(-300.0f, 0.0f, 0.0f), place);
    ASSERT_NE(yard, nullptr);
    stockAndQueue(planet);
    stockAndQueue(yard);
    builders.push_back({planet, place, 300.0f});
    builders.push_back({yard, place, -300.0f});
  }
  red->setSetting(L"autoPark", 1.0f);  // new ships park at their builders

  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  ASSERT_TRUE(workersteps::waitForWorkersRunning());

  std::vector<size_t> halfway;
  uint32_t halfwayRevision = 0;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(stepWhileRevising(round)) << "the workers did not finish round " << round;
    if (round == kRounds / 2 - 1) {
      pauseSystemThreads();
      for (const Builder& builder : builders)
        halfway.push_back(shipsOf(builder).size());
      halfwayRevision = newest(kDesigns[0])->revision;
      resumeSystemThreads();
    }
  }
  pauseSystemThreads();

  for (const std::string& failure : failures_)
    ADD_FAILURE() << failure;
  for (size_t b = 0; b < builders.size(); ++b) {
    const Builder& builder = builders[b];
    SCOPED_TRACE(std::string(builder.x > 0.0f ? "planet" : "ship") + " builder " + std::to_string(b));
    const std::vector<objHulled*> made = shipsOf(builder);
    EXPECT_GE(halfway[b], static_cast<size_t>(kRounds / 2)) << "built in the first half";
    EXPECT_GT(made.size(), halfway[b] + kRounds / 4) << "still building in the second half";
    EXPECT_EQ(builder.object->buildQueue.size(), 2u) << "each finished item queued its copy";
    EXPECT_TRUE(builder.object->getRepeatQueue());
    std::set<uint32_t> revisions;
    for (objHulled* ship : made)
      revisions.insert(ship->getHull()->revision);
    EXPECT_GT(revisions.empty() ? 0u : *revisions.rbegin(), halfwayRevision)
        << "copies took revisions made in the second half";
    EXPECT_GE(revisions.size(), static_cast<size_t>(kRounds / 4));
  }

  // Each design's revisions form one chain, numbered in steps of one, ending
  // in a current layout at the empire's present level.
  for (size_t d = 0; d < designs_.size(); ++d) {
    SCOPED_TRACE(d == 0 ? "Scout" : "Hauler");
    hull_list* layout = designs_[d];
    while (layout->newer != nullptr) {
      EXPECT_TRUE(layout->obsolete);
      EXPECT_EQ(layout->newer->revision, layout->revision + 1);
      layout = layout->newer;
    }
    EXPECT_FALSE(layout->obsolete);
    EXPECT_GE(layout->revision, static_cast<uint32_t>(kRounds + 1));
    EXPECT_EQ(layout->getLevelGain(), 0.0f);
    EXPECT_TRUE(layout->name == stringw(kDesigns[d]));
  }
}

}  // namespace

}  // namespace build_queue_concurrency_test
