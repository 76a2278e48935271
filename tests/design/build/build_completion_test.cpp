// Completion of build-queue items: a structure handed to its planet (or
// kept and freed on a full one), a ship spawned beside its builder with its
// park orbit fitted and sent to the rally point or into the rally point's
// fleet, a rebuild swapping instances with the events its slot's state
// calls for, and a whole repeating queue run by the planet's tick.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "build_fixture.h"
#include "design/effects/effects.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/probe_effect.h"

namespace build_completion_test {

using irr::core::stringw;
using namespace probetest;

namespace {

constexpr uint16_t bit(EffectHookKind kind) { return static_cast<uint16_t>(1u << kind); }
constexpr uint16_t kLifeHooks = bit(EH_OnActive) | bit(EH_OnDeactive) | bit(EH_OnConstruct) | bit(EH_OnDestruct);

// Structures whose events the probe notes; "Power" is reserved while they
// run, one per level.
const char kProbeDefinitions[] =
    "System: Smelter\nTags: Structure\nLevel: Test.Tech\nCosts: Metals[10]\nProvides: SmelterFx\n"
    "Requires:\nTo Run: Power[Test.Tech]\n\n"
    "System: Seat\nTags: Structure, Unique\nLevel: Test.Tech\nCosts: Metals[10]\n";

class BuildCompletionTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    calls.clear();
    actions.clear();
    NamedVar<effect_handler*>::getOrAdd(effectRegistry(), stringw(L"SmelterFx")).value =
        new Probe("SmelterFx", kLifeHooks);
    subsystemtest::loadDefinition(scratchDir(), kProbeDefinitions, L"Smelter");
  }

  void TearDown() override {
    actions.clear();
    BuildTest::TearDown();
    clearEffects();
  }

  // The ships in the system, in the order they were made.
  std::vector<objHulled*> ships() const {
    std::vector<objHulled*> out;
    for (irr::u32 i = 0; i < system->children.size(); ++i)
      if (system->children[i]->getType() == OT_Hulled)
        out.push_back(static_cast<objHulled*>(system->children[i].get()));
    return out;
  }

  // Completes a ship item of `layout` at `builder` and gives the new ship.
  objHulled* buildShip(hull_list* layout, generic_object* builder) {
    const size_t before = ships().size();
    ShipConstructible item(layout);
    item.complete(builder);
    const std::vector<objHulled*> now = ships();
    return now.size() == before + 1 ? now.back() : nullptr;
  }

  static std::vector<EffectHookKind> kindsOf(const std::string& label) {
    std::vector<EffectHookKind> kinds;
    for (const HookCall& call : calls)
      if (call.label == label)
        kinds.push_back(call.kind);
    return kinds;
  }
};

TEST_F(BuildCompletionTest, AStructureGoesToItsPlanetOrIsFreedWithTheItemWhenThePlanetIsFull) {
  objHabitation* planet = planetOf(red);
  auto* item = new StructureConstructible(def(L"Mine"), planet);
  subSystem* instance = item->structure;
  item->complete(planet);
  EXPECT_EQ(item->structure, nullptr) << "the planet owns it now";
  ASSERT_EQ(planet->structures.size(), 1u);
  EXPECT_EQ(planet->structures[0].system, instance);
  delete item;  // the planet frees the instance when it goes (with the galaxy)

  objHabitation* full = planetOf(red, 1);
  ASSERT_TRUE(full->addStructureFromDef(def(L"Factory")));
  auto* refused = new StructureConstructible(def(L"Mine"), full);
  refused->complete(full);
  EXPECT_NE(refused->structure, nullptr) << "kept by the item";
  EXPECT_EQ(full->structures.size(), 1u);
  delete refused;  // frees the instance: no leak

  StructureConstructible elsewhere(def(L"Mine"), planet);
  elsewhere.complete(system);
  EXPECT_EQ(elsewhere.planet, nullptr) << "not a planet";
  EXPECT_NE(elsewhere.structure, nullptr);
}

TEST_F(BuildCompletionTest, AShipAppearsItsRadiusPlusTheBuildersAwayFromTheBuilder) {
  red->setSetting(L"autoPark", 0.0f);
  objHabitation* planet = planetOf(red, 10, 10.0f);
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"}, 2.0f);
  scout->role = HullRole_Combat;  // not a station, which always parks
  for (int round = 0; round < 4; ++round) {
    objHulled* ship = buildShip(scout, planet);
    ASSERT_NE(ship, nullptr);
    const vector3df offset = ship->position - planet->position;
    EXPECT_NEAR(offset.getLength(), 12.0f, 1e-3f);
    EXPECT_EQ(offset.Y, 0.0f);
    EXPECT_EQ(ship->owner, red);
    EXPECT_EQ(ship->radius, 2.0f);
    EXPECT_FALSE(MobileMover::of(ship)->parkOrbitInUse()) << "red does not park its ships";
  }

  ShipConstructible none(nullptr);
  none.complete(planet);
  EXPECT_EQ(ships().size(), 4u) << "no layout, no ship";
}

TEST_F(BuildCompletionTest, AParkedShipCirclesTheBuilderPlanetFartherOutAtTheMatchingPace) {
  red->setSetting(L"autoPark", 1.0f);
  objHabitation* planet = planetOf(red, 10, 10.0f);
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"}, 2.0f);
  scout->role = HullRole_Combat;  // parked for the setting, not as a station
  for (int round = 0; round < 8; ++round) {
    objHulled* ship = buildShip(scout, planet);
    ASSERT_NE(ship, nullptr);
    MobileMover* mover = MobileMover::of(ship);
    ASSERT_TRUE(mover->parkOrbitInUse());
    const OrbitOtherMover& orbit = *mover->parkOrbit;
    EXPECT_EQ(orbit.orbited, planet);
    // Parked at 12 (scale 2 + radius 10), then moved out to r.
    const float r = orbit.orbitRadius;
    EXPECT_GE(r, 17.0f);
    EXPECT_LT(r, 27.0f);
    EXPECT_EQ(orbit.zAmplitude, r);
    EXPECT_NEAR(orbit.xAmplitude, r, 1e-4f);
    EXPECT_NEAR(orbit.period, 6.0f * std::sqrt(3.0f) * std::pow(r / 12.0f, 2.5f), 1e-3f);
  }
}

TEST_F(BuildCompletionTest, TheRallyPointGetsAGotoAtTheFrontOfTheQueue) {
  system->radius = 1000.0f;
  objHabitation* builder = planetOf(red, 10, 10.0f);
  objHabitation* outpost = planetOf(red, 10, 10.0f, vector3df(-500, 0, 0));
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"}, 2.0f);

  const struct {
    const char* label;
    generic_object* rally;
    float distance;
  } cases[] = {
      {"star system: 0.9 x its radius", system, 900.0f},
      {"planet: ship radius + its radius", outpost, 12.0f},
  };
  for (const auto& c : cases) {
    builder->setLinkedObject(c.rally);
    objHulled* ship = buildShip(scout, builder);
    ASSERT_NE(ship, nullptr) << c.label;
    ASSERT_EQ(ship->ai->getOrderCount(), 1u) << c.label;
    auto* order = dynamic_cast<goto_order*>(ship->ai->getOrder(0));
    ASSERT_NE(order, nullptr) << c.label;
    EXPECT_EQ(order->target, c.rally) << c.label;
    EXPECT_EQ(order->distance, c.distance) << c.label;
    EXPECT_EQ(order->homeContainer, nullptr) << c.label << ": follows the rally point anywhere";
  }
  builder->setLinkedObject(nullptr);
  EXPECT_EQ(buildShip(scout, builder)->ai->getOrderCount(), 0u) << "no rally point, no goto";
}

TEST_F(BuildCompletionTest, ARallyPointInAFleetTakesTheShipIntoThatFleet) {
  objHabitation* builder = planetOf(red);
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"}, 2.0f);
  objHulled* chief = shipOf(scout, vector3df(-200, 0, 0));
  auto* chiefQueue = static_cast<UnitAI*>(chief->ai);
  auto* fleet = new FleetAI(chiefQueue);
  chief->setAI(fleet);
  objHulled* leader = shipOf(scout, vector3df(-300, 0, 0));
  fleet->addMember(leader);
  fleet->addMember(leader);
  fleet->addMember(nullptr);
  ASSERT_EQ(fleet->members.size(), 1u) << "once, and nothing for null";
  EXPECT_EQ(static_cast<UnitAI*>(leader->ai)->fleet, fleet);

  // A member as rally point, then the commander itself.
  builder->setLinkedObject(leader);
  objHulled* ship = buildShip(scout, builder);
  ASSERT_NE(ship, nullptr);
  ASSERT_EQ(fleet->members.size(), 2u);
  EXPECT_EQ(fleet->members[1].get(), ship);
  EXPECT_EQ(static_cast<UnitAI*>(ship->ai)->fleet, fleet);
  EXPECT_EQ(ship->ai->getOrderCount(), 0u) << "no goto for a fleet member";
  builder->setLinkedObject(chief);
  objHulled* second = buildShip(scout, builder);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(fleet->members.size(), 3u);
  EXPECT_EQ(fleet->members[2].get(), second);
  EXPECT_EQ(second->ai->getOrderCount(), 0u);
  EXPECT_EQ(chiefQueue->getOrderCount(), 0u) << "nothing for the commander's own queue";
  builder->setLinkedObject(nullptr);

  objHulled* rival = shipOf(scout, vector3df(-400, 0, 0));
  auto* other = new FleetAI(static_cast<UnitAI*>(rival->ai));
  other->addMember(ship);
  EXPECT_EQ(other->members.size(), 0u) << "already in a fleet";
  other->release();
  EXPECT_EQ(static_cast<UnitAI*>(rival->ai)->fleet, nullptr) << "a fleet that ends lets its commander's queue go";

  for (generic_object* member : {static_cast<generic_object*>(leader), static_cast<generic_object*>(ship),
                                 static_cast<generic_object*>(second)}) {
    fleet->removeMember(member);
    EXPECT_EQ(static_cast<UnitAI*>(member->ai)->fleet, nullptr);
  }
  EXPECT_FALSE(fleet->dropCommander()) << "no member left to take command";
  EXPECT_EQ(chief->ai, chiefQueue);
  fleet->release();
}

TEST_F(BuildCompletionTest, ARebuildSwapsInstancesWithTheEventsTheSlotsStateCallsFor) {
  const struct {
    const char* label;
    uint32_t state;
    bool vetoNewActivation;
    std::vector<EffectHookKind> hooks;  // new instance's, then the old one's
    uint32_t endState;
    float powerRequired;
  } cases[] = {
      {"running", SS_Active, false, {EH_OnConstruct, EH_OnActive, EH_OnDeactive, EH_OnDestruct}, SS_Active, 2.0f},
      {"disabled", SS_Disabled, false, {EH_OnConstruct, EH_OnDestruct}, SS_Disabled, 0.0f},
      // The old instance still gives back what it reserved.
      {"running, new one vetoed", SS_Active, true,
       {EH_OnConstruct, EH_OnActive, EH_OnDeactive, EH_OnDestruct}, SS_Disabled, 0.0f},
  };
  for (const auto& c : cases) {
    setTech(1.0f);
    objHabitation* planet = planetOf(red);
    ASSERT_TRUE(planet->addStructureFromDef(def(L"Dock")));
    ASSERT_TRUE(planet->addStructureFromDef(def(L"Smelter")));
    State* power = getOrAddObjectState(planet, L"Power");
    ASSERT_EQ(power->value.required, 1.0f) << c.label;
    if (c.state == SS_Disabled) {
      planet->structures[1].record.state = SS_Disabled;
      power->value.required = 0.0f;  // a disabled structure reserves nothing
    }
    subSystem* old = planet->structures[1].system;

    setTech(2.0f);
    RebuildStructureConstructible item(old, planet);
    subSystem* made = item.newStructure;
    calls.clear();
    if (c.vetoNewActivation)
      actions["SmelterFx"] = [](EffectHookKind kind, EffectEvent& event) {
        if (kind == EH_OnActive)
          event.state = ESC_DISABLE;
      };
    item.complete(planet);
    actions.clear();

    EXPECT_EQ(kindsOf("SmelterFx"), c.hooks) << c.label;
    ASSERT_EQ(planet->structures.size(), 2u) << c.label;
    EXPECT_EQ(planet->structures[1].system, made) << c.label;
    EXPECT_EQ(planet->structures[1].record.system, made) << c.label;
    EXPECT_EQ(planet->structures[1].record.state, c.endState) << c.label;
    EXPECT_EQ(planet->structures[1].system->getLevel(), 2.0f) << c.label;
    EXPECT_EQ(item.newStructure, nullptr) << c.label << ": the planet's now";
    EXPECT_EQ(power->value.required, c.powerRequired) << c.label;
  }
}

TEST_F(BuildCompletionTest, ARebuildNeedsItsStructureAndALegalPlaceButNotRoomForASecondUnique) {
  objHabitation* planet = planetOf(red);
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Seat")));
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Smelter")));
  setTech(2.0f);

  // A "Unique" structure is rebuilt in place: it does not bar itself.
  RebuildStructureConstructible seat(planet->structures[0].system, planet);
  subSystem* newSeat = seat.newStructure;
  seat.complete(planet);
  EXPECT_EQ(planet->structures[0].system, newSeat);

  // The structure is gone by completion: nothing happens, the item keeps
  // (and frees) its instance.
  RebuildStructureConstructible gone(planet->structures[1].system, planet);
  planet->removeStructure(1);
  calls.clear();
  gone.complete(planet);
  EXPECT_TRUE(calls.empty());
  EXPECT_NE(gone.newStructure, nullptr);
  EXPECT_EQ(planet->structures.size(), 1u);
}

TEST_F(BuildCompletionTest, ARepeatingQueueOnAPlanetPaysBuildsAndQueuesTheNextShip) {
  objHabitation* planet = planetOf(red, 10, 10.0f);
  hull_list* scout = layoutOf(red, L"Scout", {L"Frame"}, 2.0f);
  ShipConstructible priced(scout);
  const float metals = costOf(priced, L"Metals");
  const float electronics = costOf(priced, L"Electronics");
  ASSERT_GT(metals, 50.0f);
  stock(planet, L"Metals", metals + 50.0f);
  stock(planet, L"Electronics", electronics + 10.0f);
  planet->setRepeatQueue(true);
  planet->addConstructible(new ShipConstructible(scout));

  planet->tick(0.1f);
  ASSERT_EQ(ships().size(), 1u);
  EXPECT_EQ(ships()[0]->getHull(), scout);
  EXPECT_EQ(findObjectState(planet, L"Metals")->value.val, 50.0f);
  EXPECT_EQ(findObjectState(planet, L"Electronics")->value.val, 10.0f);
  ASSERT_EQ(planet->buildQueue.size(), 1u) << "the clone of the repeating queue";
  EXPECT_EQ(planet->buildQueue[0]->getProgress(), 0.0f);

  planet->tick(0.1f);
  EXPECT_EQ(ships().size(), 1u) << "not enough left for the second";
  EXPECT_GT(planet->buildQueue[0]->getProgress(), 0.0f);
}

}  // namespace

}  // namespace build_completion_test
