// The ship maker: names from the process's ship counter, radius and place,
// the owner's copy of a foreign design, parking of stations and of ships
// whose owner parks them, the places, layouts and owners that make no ship,
// the descriptor's hold on its layout, the standing orders by keyword and
// the order the ship gets them in.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/common_strings.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "support/working_folder.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/star.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/order.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"
#include "universe_fixture.h"

namespace ship_maker_test {

using irr::core::stringw;

namespace {

const char kPlate[] = "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n";

class ShipMakerTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space = registerSpaceEmpire();
    statisticsActive = false;  // as while a map script runs
    folder_ = std::make_unique<WorkingFolder>(scratchDir());
    subsystemtest::loadDefinition(scratchDir(), kPlate, L"Plate");
    galaxy_ = createGalaxy();
    System_Desc desc;
    desc.autoStar = false;
    desc.position.set(1000, 0, 0);
    system = makeSystem(galaxy_, desc);
    star = createStar(system, Star_Desc());
    planet = new TestObject(space, OT_Planet, L"Rock");
    planet->position.set(5000, 0, 0);  // out of a parking ship's reach
    planet->setContainer(system);
  }

  void TearDown() override {
    sessionEnding = true;  // systems take their objects with them
    galaxy_->destroyNow(true);
    sessionEnding = false;
    clearSubSystemDefs();
    freeThreadLocals();
    folder_.reset();
    UniverseTest::TearDown();
  }

  // A layout of `owner` of one plate, held by the owner's table.
  static hull_list* layoutOf(empire* owner, const wchar_t* layoutName, float scale = 1.0f,
                             uint32_t role = HullRole_Combat) {
    layout_desc desc;
    desc.systems.push_back({findSubSystemDef(L"Plate"), 1.0f, 0.0f, 0.0f, -1});
    hull_list* layout = new hull_list(desc, owner, true);
    layout->name = layoutName;
    layout->scale = scale;
    layout->role = role;
    NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(owner->hulls, stringw(layoutName));
    if (entry.value != nullptr)
      entry.value->drop();
    entry.value = layout;
    return layout;
  }

  static const SubSystemDef* findSubSystemDef(const wchar_t* defName) {
    const irr::s32 index = findSubSystemDefByName(defName);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  static Hull_Desc descOf(hull_list* layout, empire* owner, const vector3df& position = vector3df()) {
    Hull_Desc desc;
    desc.set_hull(layout);
    desc.Owner = owner;
    desc.Position = position;
    return desc;
  }

  // The number in a ship's name "<layout> <n>".
  static unsigned numberOf(const objHulled* ship) {
    const std::string text = irr::core::stringc(ship->name).c_str();
    return static_cast<unsigned>(std::stoul(text.substr(text.rfind(' ') + 1)));
  }

  empire* space = nullptr;
  solarSystem* system = nullptr;
  objStar* star = nullptr;
  TestObject* planet = nullptr;
  objGalaxy* galaxy_ = nullptr;

 private:
  std::unique_ptr<WorkingFolder> folder_;
};

TEST_F(ShipMakerTest, ShipsAreNumberedAcrossLayoutsWithTheLayoutScaleAsRadius) {
  hull_list* probe = layoutOf(red, L"Probe");
  hull_list* scout = layoutOf(red, L"Scout", 2.5f);

  // The first of eleven ships shows where the process's counter stands.
  objHulled* first = createShipObject(descOf(probe, red), system);
  ASSERT_NE(first, nullptr);
  const unsigned before = numberOf(first);
  EXPECT_EQ(first->name, stringw(L"Probe ") + stringw(before));
  for (int i = 0; i < 10; ++i)
    ASSERT_NE(createShipObject(descOf(probe, red), system), nullptr);

  objHulled* twelfth = createShipObject(descOf(scout, red, vector3df(10, 20, 30)), planet);
  ASSERT_NE(twelfth, nullptr);
  EXPECT_EQ(twelfth->name, stringw(L"Scout ") + stringw(before + 11));
  EXPECT_EQ(twelfth->radius, 2.5f);
  EXPECT_EQ(twelfth->getHull(), scout);
  EXPECT_EQ(twelfth->owner, red);
  // Made at a planet, it is placed in the planet's system, relative to it,
  // and its mover holds it there.
  EXPECT_EQ(twelfth->container.load(), system);
  EXPECT_EQ(twelfth->position, vector3df(10, 20, 30));
  MobileMover* mover = MobileMover::of(twelfth);
  ASSERT_NE(mover, nullptr);
  EXPECT_EQ(mover->destination, vector3df(1010, 20, 30));
  EXPECT_EQ(mover->target, nullptr);
  EXPECT_FALSE(mover->parked);
}

TEST_F(ShipMakerTest, AnotherEmpiresDesignIsBuiltFromTheOwnersCopy) {
  hull_list* design = layoutOf(red, L"Scout");
  objHulled* ship = createShipObject(descOf(design, blue), system);
  ASSERT_NE(ship, nullptr);
  ASSERT_NE(ship->getHull(), nullptr);
  EXPECT_NE(ship->getHull(), design);
  EXPECT_EQ(ship->getHull()->owner, blue);
  EXPECT_EQ(ship->owner, blue);
}

TEST_F(ShipMakerTest, StationsAndShipsOfEmpiresThatParkCircleThePlanetOrAPickedBody) {
  enum Place { AtPlanet, InSystem };
  const struct {
    const char* label;
    uint32_t role;
    bool spaceOwned;  // the space empire is not a valid empire
    float autoPark;
    Place place;
    bool parked;
    bool aroundPlanet;  // else around the star (the body the mover picks)
  } cases[] = {
      {"a combat ship", HullRole_Combat, false, 0.0f, AtPlanet, false, false},
      {"a station at a planet", HullRole_Station, false, 0.0f, AtPlanet, true, true},
      {"a civilian station in a system", HullRole_CivStation, false, 0.0f, InSystem, true, false},
      {"an empire parking at 0.6, at a planet", HullRole_Combat, false, 0.6f, AtPlanet, true, true},
      {"an empire parking at 0.6, in a system", HullRole_Combat, false, 0.6f, InSystem, true, false},
      {"an empire at 0.5", HullRole_Combat, false, 0.5f, AtPlanet, false, false},
      {"space's setting counts for nothing", HullRole_Combat, true, 0.6f, AtPlanet, false, false},
      {"space's station", HullRole_Station, true, 0.0f, InSystem, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    empire* owner = c.spaceOwned ? space : red;
    owner->setSetting(L"autoPark", c.autoPark);
    hull_list* layout = layoutOf(owner, L"Design", 1.0f, c.role);
    objHulled* ship =
        createShipObject(descOf(layout, owner), c.place == AtPlanet ? static_cast<generic_object*>(planet) : system);
    ASSERT_NE(ship, nullptr);
    MobileMover* mover = MobileMover::of(ship);
    ASSERT_NE(mover, nullptr);
    EXPECT_EQ(mover->parked, c.parked);
    if (c.parked) {
      ASSERT_NE(mover->parkOrbit, nullptr);
      EXPECT_EQ(mover->getParkedOrbitBody(), c.aroundPlanet ? static_cast<generic_object*>(planet) : star);
    }
  }
}

TEST_F(ShipMakerTest, NoPlaceLayoutOrOwnerMakesNoShipAndTakesNoName) {
  hull_list* layout = layoutOf(red, L"Scout");
  const unsigned before = numberOf(createShipObject(descOf(layout, red), system));
  auto* adrift = new TestObject(red);  // in neither a system nor the galaxy
  const size_t objects = registeredObjectCount();

  const struct {
    const char* label;
    Hull_Desc desc;
    generic_object* place;
  } cases[] = {
      {"no place", descOf(layout, red), nullptr},
      {"a place outside any system", descOf(layout, red), adrift},
      {"no layout", descOf(nullptr, red), system},
      {"no owner", descOf(layout, nullptr), system},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(createShipObject(c.desc, c.place), nullptr) << c.label;
    EXPECT_EQ(registeredObjectCount(), objects) << c.label;
  }
  EXPECT_EQ(numberOf(createShipObject(descOf(layout, red), galaxy_)), before + 1) << "made in the galaxy itself";
  adrift->destroyNow(true);
}

TEST_F(ShipMakerTest, TheDescriptorHoldsItsLayoutThroughCopiesUntilItEnds) {
  hull_list* first = new hull_list(L"First", red);
  hull_list* second = new hull_list(L"Second", red);
  {
    Hull_Desc desc;
    desc.set_hull(first);
    EXPECT_EQ(first->getReferenceCount(), 2u);
    {
      Hull_Desc copy(desc);
      Hull_Desc assigned;
      assigned.set_hull(second);
      assigned = desc;
      EXPECT_EQ(first->getReferenceCount(), 4u);
      EXPECT_EQ(second->getReferenceCount(), 1u) << "given back when the descriptor changed layout";
      assigned = assigned;
      desc.set_hull(first);
      EXPECT_EQ(first->getReferenceCount(), 4u) << "the same layout again changes nothing";
    }
    EXPECT_EQ(first->getReferenceCount(), 2u);
    second->drop();
    first->drop();
    // The descriptor's own reference keeps the layout.
    EXPECT_EQ(first->name, stringw(L"First"));
    EXPECT_EQ(first->getReferenceCount(), 1u);
    first->grab();
  }
  EXPECT_EQ(first->getReferenceCount(), 1u);
  first->drop();
}

TEST_F(ShipMakerTest, StandingOrdersAreWalkedFromTheLastAndAppended) {
  hull_list* trader = layoutOf(red, L"Trader");
  const stringw* metals = internCommonString(L"Metals");
  trader->orders.push_back({internCommonString(L"Collect"), metals, nullptr});
  trader->orders.push_back({internCommonString(L"Trade"), nullptr, nullptr});
  trader->orders.push_back({nullptr, nullptr, nullptr});  // an empty entry is skipped
  trader->orders.push_back({internCommonString(L"Defend"), nullptr, nullptr});

  objHulled* ship = createShipObject(descOf(trader, red), system);
  ASSERT_NE(ship, nullptr);
  ASSERT_NE(ship->ai, nullptr);
  ASSERT_EQ(ship->ai->getOrderCount(), 3u);
  EXPECT_NE(dynamic_cast<defend_order*>(ship->ai->getOrder(0)), nullptr);
  EXPECT_NE(dynamic_cast<trade_order*>(ship->ai->getOrder(1)), nullptr);
  auto* collect = dynamic_cast<collect_order*>(ship->ai->getOrder(2));
  ASSERT_NE(collect, nullptr);
  EXPECT_EQ(collect->resource, metals);
}

TEST(AutomationOrderTest, KeywordsMakeTheirStandingOrders) {
  const stringw metals = L"Metals";
  const stringw* interned = internCommonString(metals);
  const stringw tenth = L"0.1";
  using Check = std::function<void(Order*)>;
  const struct {
    const wchar_t* keyword;
    const stringw* target;
    const stringw* amount;
    Check check;
  } cases[] = {
      {L"Work", nullptr, nullptr, [](Order* order) { EXPECT_EQ(order, nullptr); }},
      {L"trade", nullptr, nullptr, [](Order* order) { EXPECT_EQ(order, nullptr); }},
      {L"Trade", nullptr, nullptr, [](Order* order) { EXPECT_NE(dynamic_cast<trade_order*>(order), nullptr); }},
      {L"Colonize", nullptr, nullptr,
       [](Order* order) { EXPECT_NE(dynamic_cast<colonize_order*>(order), nullptr); }},
      {L"Defend", nullptr, nullptr, [](Order* order) { EXPECT_NE(dynamic_cast<defend_order*>(order), nullptr); }},
      {L"Fetch", &metals, nullptr,
       [&](Order* order) {
         auto* fetch = dynamic_cast<fetch_order*>(order);
         ASSERT_NE(fetch, nullptr);
         EXPECT_EQ(fetch->resource, interned) << "the name is interned";
         EXPECT_EQ(fetch->lowLevel, 0.25f) << "the level without an amount";
         EXPECT_EQ(fetch->timer.interval, 500u);
       }},
      {L"Fetch", &metals, &tenth,
       [](Order* order) {
         auto* fetch = dynamic_cast<fetch_order*>(order);
         ASSERT_NE(fetch, nullptr);
         EXPECT_EQ(fetch->lowLevel, 0.1f) << "the amount is the low level";
       }},
      {L"Collect", &metals, nullptr,
       [&](Order* order) {
         auto* collect = dynamic_cast<collect_order*>(order);
         ASSERT_NE(collect, nullptr);
         EXPECT_EQ(collect->resource, interned);
         EXPECT_EQ(collect->threshold, 0.25f);
         EXPECT_FALSE(collect->finishWhenDone);
       }},
      {L"Deposit", &metals, &tenth,
       [&](Order* order) {
         auto* deposit = dynamic_cast<deposit_order*>(order);
         ASSERT_NE(deposit, nullptr);
         EXPECT_EQ(deposit->resource, interned);
         EXPECT_EQ(deposit->threshold, 0.1f) << "the amount is the threshold";
         EXPECT_FALSE(deposit->finishWhenDone);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(irr::core::stringc(c.keyword).c_str());
    std::unique_ptr<Order> made(createAutomationOrder(c.keyword, c.target, c.amount));
    c.check(made.get());
    if (made != nullptr) {
      EXPECT_TRUE(made->isAutomation());
    }
  }
}

TEST(AutomationOrderTest, UnknownKeywordsAndMissingTargetsGiveNoOrder) {
  const stringw metals = L"Metals";
  const stringw half = L"0.5";
  const struct {
    const wchar_t* keyword;
    const stringw* target;
    const stringw* amount;
  } cases[] = {
      {L"", &metals, &half},         {L"Work", nullptr, nullptr},    {L"Fetch", nullptr, &half},
      {L"Collect", nullptr, &half},  {L"Deposit", nullptr, nullptr}, {L"work", &metals, nullptr},
      {L"Trader", nullptr, nullptr}, {L"Attack", &metals, nullptr},  {L"Colonise", nullptr, nullptr},
  };
  for (const auto& c : cases)
    EXPECT_EQ(createAutomationOrder(c.keyword, c.target, c.amount), nullptr) << irr::core::stringc(c.keyword).c_str();
}

}  // namespace

}  // namespace ship_maker_test
