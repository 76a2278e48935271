// The build-queue item kinds: what each owes, names and kinds, the items
// that cannot be made, the retrofit's mark on the old ship, the copies for
// a repeating queue, the build test and the empire's construction checks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/locale.h"
#include "design/build/build_fixture.h"

namespace constructible_kinds_test {

using irr::core::stringw;

namespace {

using Costs = std::vector<std::pair<stringw, float>>;

std::string narrow(const stringw& text) { return irr::core::stringc(text).c_str(); }

class ConstructKindsTest : public buildtest::BuildTest {};

TEST_F(ConstructKindsTest, EachKindOwesItsCostsAndNamesItself) {
  hull_list* layout = layoutOf(red, L"Scout", {L"Frame", L"Plate"});
  ShipConstructible ship(layout);
  EXPECT_EQ(costsOf(ship), (Costs{{L"AdvParts", 10.0f}, {L"Electronics", 20.0f}, {L"Metals", 180.0f}}));
  EXPECT_EQ(ship.getName(), stringw(L"Scout"));
  EXPECT_EQ(ship.getType(), stringw(L"ship"));
  EXPECT_TRUE(ship.buildsShip());
  EXPECT_EQ(ship.retrofitFlag, 0);
  EXPECT_EQ(layout->getReferenceCount(), 2u) << "the item holds its layout";

  ShipConstructible empty(nullptr);
  EXPECT_EQ(empty.getName(), stringw());
  EXPECT_EQ(empty.costs.size(), 0u);

  objHabitation* planet = planetOf(red);
  StructureConstructible structure(def(L"Factory"), planet);
  EXPECT_EQ(costsOf(structure), (Costs{{L"AdvParts", 5.0f}, {L"Electronics", 20.0f}, {L"Metals", 50.0f}}));
  EXPECT_EQ(structure.getName(), stringw(L"Factory"));
  EXPECT_EQ(structure.getType(), stringw(L"structure"));
  EXPECT_FALSE(structure.buildsShip());
  ASSERT_NE(structure.structure, nullptr);
  EXPECT_EQ(structure.structure->def, def(L"Factory"));
  EXPECT_EQ(structure.planet, planet);
}

TEST_F(ConstructKindsTest, ARebuildOwesATenthOfTheOldAndAFifthOfTheNewCost) {
  objHabitation* planet = planetOf(red);
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Mine")));  // Metals 10 at level 1
  subSystem* old = planet->structures[0].system;
  setTech(2.0f);  // a new Mine: level 2, Metals 20

  RebuildStructureConstructible rebuild(old, planet);
  EXPECT_EQ(costsOf(rebuild), (Costs{{L"Metals", 5.0f}}));
  EXPECT_EQ(rebuild.getName(), stringw(getLocalizedText(L"#rebuild")) + L" Mine");
  EXPECT_EQ(rebuild.getType(), stringw(L"rebuild"));
  EXPECT_FALSE(rebuild.buildsShip());
  EXPECT_EQ(rebuild.oldStructure, old);
  ASSERT_NE(rebuild.newStructure, nullptr);
  EXPECT_EQ(rebuild.newStructure->getLevel(), 2.0f);
  EXPECT_EQ(rebuild.clone(), nullptr);

  // Shares of values that are not exact in binary: summed in double, kept
  // as float.
  setTech(3.3f);
  RebuildStructureConstructible odd(old, planet);
  EXPECT_EQ(costsOf(odd)[0].second, static_cast<float>(double(0.1f) * 10.0f + double(0.2f) * (10.0f * 3.3f)));
}

TEST_F(ConstructKindsTest, ItemsThatCannotBeMadeThrowAndKeepNothing) {
  objHabitation* planet = planetOf(red);
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Mine")));
  subSystem* old = planet->structures[0].system;

  // The same level (and a lower one) gains nothing. LeakSanitizer checks
  // that the new instance made for the comparison is freed.
  EXPECT_THROW(RebuildStructureConstructible(old, planet), InvalidConstruct);
  setTech(0.5f);
  EXPECT_THROW(RebuildStructureConstructible(old, planet), InvalidConstruct);
  setTech(2.0f);
  EXPECT_THROW(RebuildStructureConstructible(nullptr, planet), InvalidConstruct);

  // A planet without an owner: no instance can be evaluated for it.
  planet->setOwner(nullptr);
  EXPECT_THROW(StructureConstructible(def(L"Factory"), planet), InvalidConstruct);
  EXPECT_THROW(RebuildStructureConstructible(old, planet), InvalidConstruct);
  EXPECT_THROW(StructureConstructible(def(L"Factory"), nullptr), InvalidConstruct);
}

TEST_F(ConstructKindsTest, ARetrofitOwesTheDifferenceAndMarksTheOldShip) {
  hull_list* frame = layoutOf(red, L"Cruiser", {L"Frame"});  // Metals 100, Electronics 20
  const struct {
    const char* label;
    std::initializer_list<const wchar_t*> oldParts;
    float factor;
    Costs costs;
  } cases[] = {
      // AdvParts of the old layout is not a cost of the new one: ignored.
      {"from {Metals 80, AdvParts 10} at 0.5", {L"Plate"}, 0.5f, {{L"Electronics", 20.0f}, {L"Metals", 60.0f}}},
      {"from Metals 300, never below 0", {L"Ballast"}, 0.5f, {{L"Electronics", 20.0f}, {L"Metals", 0.0f}}},
      {"at factor 0", {L"Plate"}, 0.0f, {{L"Electronics", 20.0f}, {L"Metals", 100.0f}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    objHulled* oldShip = shipOf(layoutOf(red, L"Old", c.oldParts));
    ASSERT_NE(oldShip, nullptr);
    ASSERT_EQ(oldShip->flags.load() & (FLAG_DESTROY | FLAG_QUIET_DESTROY), 0u);

    std::unique_ptr<ShipConstructible> item(makeRetrofitConstructible(frame, oldShip, c.factor));
    EXPECT_EQ(costsOf(*item), c.costs);
    EXPECT_EQ(item->retrofitFlag, 1);
    EXPECT_EQ(item->layout, frame);
    EXPECT_EQ(item->getName(), stringw(getLocalizedText(L"#retrofit")) + L" Cruiser");
    EXPECT_EQ(oldShip->flags.load() & (FLAG_DESTROY | FLAG_QUIET_DESTROY), FLAG_DESTROY | FLAG_QUIET_DESTROY);
  }
}

TEST_F(ConstructKindsTest, AShipCloneIsTheNewestRevisionOfItsLayout) {
  hull_list* layout = layoutOf(red, L"Scout", {L"Frame"});
  ShipConstructible item(layout);

  std::unique_ptr<constructible> same(item.clone());
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(static_cast<ShipConstructible*>(same.get())->layout, layout) << "nothing newer yet";

  setTech(20.0f);  // a level gain beyond the layout's threshold
  std::unique_ptr<constructible> clone(item.clone());
  ASSERT_NE(clone, nullptr);
  auto* copy = static_cast<ShipConstructible*>(clone.get());
  ASSERT_NE(copy->layout, layout);
  EXPECT_EQ(layout->newer, copy->layout);
  EXPECT_EQ(copy->layout->owner, red);
  EXPECT_EQ(copy->retrofitFlag, 0);
  EXPECT_EQ(item.layout, layout) << "the item itself keeps its revision";

  EXPECT_EQ(ShipConstructible(nullptr).clone(), nullptr);
}

TEST_F(ConstructKindsTest, AStructureCloneNeedsRoomAndTheBuildTest) {
  objHabitation* roomy = planetOf(red, 10);
  objHabitation* full = planetOf(red, 1);
  ASSERT_TRUE(full->addStructureFromDef(def(L"Dock")));
  objHabitation* withCapitol = planetOf(red, 10);

  StructureConstructible mine(def(L"Mine"), roomy);
  std::unique_ptr<constructible> copy(mine.clone());
  ASSERT_NE(copy, nullptr);
  auto* structure = static_cast<StructureConstructible*>(copy.get());
  EXPECT_EQ(structure->def, def(L"Mine"));
  EXPECT_EQ(structure->planet, roomy);
  EXPECT_NE(structure->structure, mine.structure);

  StructureConstructible onFull(def(L"Mine"), full);
  EXPECT_EQ(onFull.clone(), nullptr) << "the planet is full";

  StructureConstructible capitol(def(L"Capitol"), withCapitol);
  ASSERT_TRUE(withCapitol->addStructureFromDef(def(L"Capitol")));
  EXPECT_EQ(capitol.clone(), nullptr) << "a second Capitol is no longer allowed";

  StructureConstructible lost(def(L"Mine"), roomy);
  lost.planet = nullptr;  // as read from a save
  EXPECT_EQ(lost.clone(), nullptr);
}

TEST_F(ConstructKindsTest, TheBuildTest) {
  objHabitation* bare = planetOf(red);
  objHabitation* withCapitol = planetOf(red);
  ASSERT_TRUE(withCapitol->addStructureFromDef(def(L"Capitol")));
  objHabitation* withDock = planetOf(red);
  ASSERT_TRUE(withDock->addStructureFromDef(def(L"Dock")));
  objHulled* ship = shipOf(layoutOf(red, L"Scout", {L"Frame"}));
  ASSERT_NE(ship, nullptr);

  const struct {
    const wchar_t* definition;
    generic_object* object;
    bool allowed;
  } cases[] = {
      {L"Kit", bare, false},  // "NoManualBuild"
      {L"Kit", ship, false},
      {L"Plate", ship, true},  // a ship part
      {L"Plate", bare, false},
      {L"Mine", ship, false},  // a "Structure"
      {L"Mine", bare, true},
      {L"Capitol", bare, true},
      {L"Capitol", withCapitol, false},  // a second "Unique"
      {L"Capitol", withDock, true},
      {L"Spaceport", bare, true},
      {L"Spaceport", withCapitol, true},
      {L"Spaceport", withDock, false},  // "Unique:Port" beside a "Port"
      {L"Dock", withDock, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(narrow(c.definition) + " on " + (c.object == ship ? "the ship" : "a planet"));
    EXPECT_EQ(def(c.definition)->allowsBuildOn(c.object), c.allowed);
  }
  EXPECT_FALSE(def(L"Plate")->allowsBuildOn(nullptr));
}

// A construction check that answers as told and counts its calls.
class CountingCheck : public buildLayoutRestriction {
 public:
  CountingCheck(bool answer, int& calls) : answer_(answer), calls_(calls) {}
  bool allows(const hull_list*, generic_object*) override {
    ++calls_;
    return answer_;
  }

 private:
  bool answer_;
  int& calls_;
};

TEST_F(ConstructKindsTest, ConstructionChecksStopAtTheFirstRefusal) {
  hull_list* layout = layoutOf(red, L"Scout", {L"Frame"});
  objHabitation* planet = planetOf(red);
  EXPECT_TRUE(red->canConstruct(layout, planet)) << "no checks";

  int calls = 0;
  red->constructionChecks.push_back(new CountingCheck(true, calls));
  EXPECT_TRUE(red->canConstruct(layout, planet));
  EXPECT_EQ(calls, 1);

  red->constructionChecks.push_back(new CountingCheck(false, calls));
  red->constructionChecks.push_back(new CountingCheck(true, calls));
  calls = 0;
  EXPECT_FALSE(red->canConstruct(layout, planet));
  EXPECT_EQ(calls, 2) << "the check after the refusal is not asked";
  // The empire deletes its checks.
}

}  // namespace

}  // namespace constructible_kinds_test
