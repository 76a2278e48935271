// The shipped colonizer, end to end: a colony ship built from the shipped
// parts flies to an empty planet of its system, its colony pod's
// "Colonizer" lands the "Colonize" effect there, and the server script
// colony.as hands the planet to the ship's empire with the pod's settlers.
// The galaxy runs single-threaded on the test thread, which owns the
// scripts' context.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/threads.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/treaty_clause.h"
#include "script/script_engine.h"
#include "script_session.h"
#include "support/space_empire.h"
#include "support/working_folder.h"
#include "universe/galaxy_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_states.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"
#include "universe/ships/ship.h"

namespace colonizer_test {

namespace {

constexpr double kStep = 1.0 / 16.0;
constexpr float kPlanetDistance = 500.0f;
// The shipped colony ship is slow to gather speed: it needs a few minutes.
constexpr int kMaxSeconds = 900;

class ColonizerTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    registerNativeFunctions();
    singleThreaded = true;
    folder_ = std::make_unique<WorkingFolder>(CORVANE_SOURCE_DIR "/data");
    setupLog_ = scriptapitest::setUpWorkingFolderSession();
    // The empires again, now that the scripts run: each is given the
    // shipped empire AI's designs as it joins.
    deleteAllEmpires();
    nextEmpireID = 1;
    red = registerEmpire(new empire);
    red->name = L"Red";
    red->ownBit = 1;
    blue = registerEmpire(new empire);
    blue->name = L"Blue";
    blue->ownBit = 2;
    registerSpaceEmpire();  // what empty planets belong to, and lost ones fall to
    system_ = addSystems(1)[0];
    system_->radius = 2000.0f;
    system_->radiusSquared = system_->radius * system_->radius;
  }

  void TearDown() override {
    clearEffGfxQueue();
    for (generic_object* object : held_)
      object->drop();
    if (layout_ != nullptr)
      layout_->drop();
    destroyGalaxy();
    clearPlanetScriptHooks();
    clearShipScriptHooks();
    // As a session's end: the empires' AI objects go before their engine.
    for (empire* emp : empireList)
      emp->releaseAI();
    tearDownScriptEngines();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    clearTreatyClauses();
    research::clearWebItemDescs();
    clearModTables();
    freeThreadLocals();
    folder_.reset();
    singleThreaded = false;
    GalaxyTest::TearDown();
  }

  // A colony ship of `owner` at the system's centre, of the design that
  // the shipped empire AI gave the empire, its tank full.
  objHulled* colonyShip(empire* owner) {
    if (layout_ == nullptr) {
      empire::AreaGuard guard;
      owner->lockArea(guard, EA_HullLayouts, false);
      for (irr::u32 i = 0; i < owner->hulls.size(); ++i)
        if (owner->hulls[i].name == L"Colony Ship")
          layout_ = owner->hulls[i].value;
      if (layout_ == nullptr)
        return nullptr;
      layout_->grab();
    }
    auto* mover = new MobileMover();
    auto* ship = new objHulled(owner, layout_, mover);
    ship->name = L"Colony ship";
    ship->radius = 5.0f;
    ship->setContainer(system_);
    system_->toAbsolutePosition(mover->destination, ship->position);
    State* fuel = getOrAddObjectState(ship, L"Fuel");
    fuel->value.max += 1000.0f;
    fuel->value.val = fuel->value.max;
    ship->grab();
    held_.push_back(ship);
    return ship;
  }

  // An empty planet (held by space) at `x` along the system's x axis.
  objHabitation* emptyPlanet(float x) {
    auto* planet = new objHabitation(getEmpireByID(kSpaceEmpireID), nullptr);
    planet->name = L"Empty world";
    planet->radius = 10.0f;
    planet->position.set(x, 0.0f, 0.0f);
    planet->setContainer(system_);
    planet->grab();
    held_.push_back(planet);
    return planet;
  }

  // The colony pod's "Colonizer" on `ship`, null without one.
  static const effector* colonizer(objHulled* ship) {
    for (uint32_t i = 0; i < ship->getSubSystemCount(); ++i) {
      const subSystem* system = ship->hull.records[i].system;
      if (system == nullptr)
        continue;
      for (irr::u32 k = 0; k < system->effectors.size(); ++k)
        if (system->effectors[k].def == findEffector(L"Colonizer"))
          return &system->effectors[k];
    }
    return nullptr;
  }

  void step() {
    gameTime = gameTime + kStep;
    ++steps_;
    setObjectTestClock(static_cast<uint32_t>(static_cast<double>(steps_) * kStep * 1000.0 + 0.5));
    galaxy->tick(static_cast<float>(kStep));
    clearEffGfxQueue();  // as the frame loop sends them
  }

  static bool colonizing(empire* emp, uint32_t uid) {
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_ColonizationSets, false);
    return emp->colonizing.count(uid) != 0 || emp->colonizeQueue.count(uid) != 0;
  }

  std::unique_ptr<WorkingFolder> folder_;
  std::string setupLog_;
  solarSystem* system_ = nullptr;
  hull_list* layout_ = nullptr;
  std::vector<generic_object*> held_;
  int steps_ = 0;
};

TEST_F(ColonizerTest, AColonyShipFliesToAnEmptyPlanetAndSettlesIt) {
  ASSERT_EQ(setupLog_.find("AS "), std::string::npos) << setupLog_;
  objHulled* ship = colonyShip(red);
  ASSERT_NE(ship, nullptr) << "the shipped empire AI designs a colony ship";
  objHabitation* planet = emptyPlanet(kPlanetDistance);
  const effector* tool = colonizer(ship);
  ASSERT_NE(tool, nullptr) << "the colony pod provides the Colonizer";
  ASSERT_EQ(tool->values.size(), 2u);
  const float settlers = tool->values[1];
  ASSERT_GE(settlers, 1.0f) << "enough settlers that the planet is not lost again";

  red->queueColonization(planet->uid);
  ship->ai->addOrder(new use_tool_order(L"Colonizer", planet, ship, false, false), true);
  EXPECT_TRUE(colonizing(red, planet->uid));

  // It flies there and settles the planet.
  for (int i = 0; i < kMaxSeconds * 16 && planet->getOwner() != red; ++i)
    step();
  ASSERT_EQ(planet->getOwner(), red) << "after " << steps_ * kStep << " s the ship is "
                                     << (planet->position - ship->position).getLength() << " from the planet";
  EXPECT_LT((planet->position - ship->position).getLength(),
            planet->radius + ship->radius + tool->range + 1.0f);
  EXPECT_EQ(planet->population, settlers);
  EXPECT_GE(planet->maxPopulation, settlers);

  // A second on, it still is the empire's, settled once: it was not lost
  // for want of people.
  for (int i = 0; i < 16; ++i)
    step();
  EXPECT_EQ(planet->getOwner(), red);
  EXPECT_EQ(planet->population, settlers);

  // The order ends as soon as it runs again: at once, or once the circling
  // that it put in front of itself (the design orbits its targets) is done.
  // The planet leaves the colonising set with it, and stays the empire's.
  for (int i = 0; i < 60 * 16 && ship->ai->hasOrderOfType(OrdT_Use_Tool); ++i)
    step();
  EXPECT_FALSE(ship->ai->hasOrderOfType(OrdT_Use_Tool));
  EXPECT_FALSE(colonizing(red, planet->uid));
  EXPECT_EQ(planet->getOwner(), red);
  EXPECT_EQ(planet->population, settlers);
}

// The script by itself: it settles only planets that no empire holds, for
// a source with a valid empire, and never counts the settlers twice.
TEST_F(ColonizerTest, TheColonizeEffectSettlesOnlyEmptyPlanets) {
  effect_handler* colonize = findEffect(L"Colonize");
  ASSERT_NE(colonize, nullptr);
  objHulled* ship = colonyShip(red);
  ASSERT_NE(ship, nullptr);
  objHabitation* empty = emptyPlanet(100.0f);
  objHabitation* held = emptyPlanet(200.0f);
  held->setOwner(blue);
  effect_data data;
  data.effect = colonize;
  data.values[0] = 3.0f;
  for (objHabitation* planet : {empty, held, empty}) {
    EffectEvent event(ship, planet, 0.0f);
    colonize->OnActive(&event, &data);
  }
  EXPECT_EQ(empty->getOwner(), red);
  EXPECT_EQ(empty->population, 3.0f);
  EXPECT_EQ(empty->maxPopulation, 3.0f);
  EXPECT_EQ(held->getOwner(), blue);
  EXPECT_EQ(held->population, 0.0f);
}

}  // namespace

}  // namespace colonizer_test
