// What each build-queue rule does to a planet of red (structure space 10),
// whose owner may build every fixture definition.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/common_strings.h"
#include "core/random.h"
#include "design/build/build_fixture.h"
#include "design/build/build_rules.h"
#include "support/log_capture.h"
#include "universe/orders/tool_orders.h"

namespace build_rule_apply_test {

namespace {

using Rule = std::unique_ptr<build_priorities>;
using MakeRule = std::function<Rule()>;
using Structures = std::vector<std::pair<const wchar_t*, int>>;
using Names = std::vector<std::wstring>;

class BuildRuleTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    red->updateSubSystems();  // red may build every definition; blue none
    seedProcessRandom(46);
  }

  // A planet of `owner` holding the given structures, in that order.
  objHabitation* planetWith(const Structures& built, int maxStructures = 10, empire* owner = nullptr) {
    objHabitation* planet = planetOf(owner != nullptr ? owner : red, maxStructures);
    for (const auto& [name, count] : built)
      for (int i = 0; i < count; ++i)
        EXPECT_TRUE(planet->addStructureFromDef(def(name))) << name;
    return planet;
  }

  // The names of the items in the planet's construction queue.
  static Names queued(const objHabitation* planet) {
    Names names;
    for (irr::u32 i = 0; i < planet->buildQueue.size(); ++i)
      names.emplace_back(planet->buildQueue[i]->getName().c_str());
    return names;
  }

  static const irr::core::stringw* pooled(const wchar_t* text) { return internCommonString(text); }

  static State* setState(objHabitation* planet, const wchar_t* name, float val, float max, float required) {
    State* state = getOrAddObjectState(planet, name);
    state->value.val = val;
    state->value.max = max;
    state->value.required = required;
    return state;
  }
};

TEST_F(BuildRuleTest, AListStopsAtItsFirstRuleThatActsAndWaitsForAnEmptyQueue) {
  objHabitation* planet = planetWith({});
  build_list list;
  list.rules.push_back(new bp_wait_for_empty_queue);
  list.rules.push_back(new bp_build_n(def(L"Mine"), 1));
  list.rules.push_back(new bp_build_n(def(L"Factory"), 1));

  EXPECT_TRUE(list.apply(planet));
  EXPECT_EQ(queued(planet), Names({L"Mine"})) << "the Factory rule is never asked";
  EXPECT_TRUE(list.apply(planet));
  EXPECT_EQ(queued(planet), Names({L"Mine"})) << "held back while the queue holds an item";

  planet->clearBuildQueue();
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Mine")));
  EXPECT_TRUE(list.apply(planet));
  EXPECT_EQ(queued(planet), Names({L"Factory"})) << "an empty queue lets the rules run";

  planet->clearBuildQueue();
  ASSERT_TRUE(planet->addStructureFromDef(def(L"Factory")));
  EXPECT_FALSE(list.apply(planet)) << "no rule acts";
  EXPECT_TRUE(queued(planet).empty());
  EXPECT_FALSE(build_list().apply(planet)) << "an empty list";
}

TEST_F(BuildRuleTest, CountingRulesBuildWhatThePlanetLacks) {
  struct Case {
    const char* label;
    MakeRule make;
    Structures built;
    int alreadyQueued;  // Mine items queued before the rule runs
    bool acts;
    Names queuedAfter;  // the items the rule added
  };
  const MakeRule mineOnce = [] { return Rule(new bp_build_n(def(L"Mine"), 1)); };
  const MakeRule threeMines = [] { return Rule(new bp_build_n(def(L"Mine"), 3)); };
  const MakeRule minePer4 = [] { return Rule(new bp_build_per_n(def(L"Mine"), 4)); };
  const MakeRule minePer0 = [] { return Rule(new bp_build_per_n(def(L"Mine"), 0)); };
  const MakeRule spaceportUnlessPort = [] { return Rule(new bp_build_special(def(L"Spaceport"), pooled(L"Port"))); };
  const Case cases[] = {
      {"build 1 on a bare planet", mineOnce, {}, 0, true, {L"Mine"}},
      {"build 1 with one built", mineOnce, {{L"Mine", 1}}, 0, false, {}},
      {"build 3 with 2 built", threeMines, {{L"Mine", 2}}, 0, true, {L"Mine"}},
      {"build 3 with 2 built and 1 queued", threeMines, {{L"Mine", 2}}, 1, true, {L"Mine"}},
      {"build 3 with 3 built", threeMines, {{L"Mine", 3}}, 0, false, {}},
      {"per 4 with 3 structures", minePer4, {{L"Factory", 3}}, 0, false, {}},
      {"per 4 with 4 structures, none of the kind", minePer4, {{L"Factory", 4}}, 0, true, {L"Mine"}},
      {"per 4 with 4 structures, one of the kind", minePer4, {{L"Factory", 3}, {L"Mine", 1}}, 0, false, {}},
      {"per 4 with 8 structures, one of the kind", minePer4, {{L"Factory", 7}, {L"Mine", 1}}, 0, true, {L"Mine"}},
      {"per 4 with 8 structures, two of the kind", minePer4, {{L"Factory", 6}, {L"Mine", 2}}, 0, false, {}},
      {"per 0 never builds", minePer0, {{L"Factory", 8}}, 0, false, {}},
      {"special without the tag", spaceportUnlessPort, {{L"Factory", 1}}, 0, true, {L"Spaceport"}},
      {"special with the tag on a structure", spaceportUnlessPort, {{L"Dock", 1}}, 0, false, {}},
  };
  for (const Case& c : cases) {
    objHabitation* planet = planetWith(c.built);
    for (int i = 0; i < c.alreadyQueued; ++i)
      planet->addConstructible(new StructureConstructible(def(L"Mine"), planet));
    const Rule rule = c.make();
    EXPECT_EQ(rule->apply(planet), c.acts) << c.label;
    Names added = queued(planet);
    added.erase(added.begin(), added.begin() + c.alreadyQueued);
    EXPECT_EQ(added, c.queuedAfter) << c.label;
  }
}

TEST_F(BuildRuleTest, BuildWhenNeededComparesTheStateWithItsThreshold) {
  struct Case {
    const char* label;
    bool hasState;
    float val, max, required;
    bool ratioMode;
    float threshold;
    bool builds;
  };
  const Case cases[] = {
      {"ratio 0.2 below 0.25", true, 2, 10, 0, true, 0.25f, true},
      {"ratio 0.3 above 0.25", true, 3, 10, 0, true, 0.25f, false},
      {"ratio equal to the threshold", true, 2.5f, 10, 0, true, 0.25f, false},
      {"absolute: max - required 10 against 5", true, 0, 20, 10, false, 5, false},
      {"absolute: max - required 2 against 5", true, 9, 12, 10, false, 5, true},
      {"no state always builds", false, 0, 0, 0, true, 0.25f, true},
      {"ratio of a state without capacity", true, 0, 0, 0, true, 0.25f, false},
  };
  for (const Case& c : cases) {
    objHabitation* planet = planetWith({});
    if (c.hasState)
      setState(planet, L"Ore", c.val, c.max, c.required);
    bp_build_when_needed rule(c.ratioMode, c.threshold, def(L"Mine"), pooled(L"Ore"));
    EXPECT_EQ(rule.apply(planet), c.builds) << c.label;
    EXPECT_EQ(queued(planet), c.builds ? Names({L"Mine"}) : Names()) << c.label;
  }
}

TEST_F(BuildRuleTest, ReplaceWhenUselessOrdersTheOldStructureRemovedAndBuildsTheNew) {
  struct Case {
    const char* label;
    bool hasState;
    float val;
    bool whenBelow;
    const wchar_t* oldName;
    const wchar_t* newName;  // null: a definition unknown to the record
    bool acts;
    bool orders;
  };
  const Case cases[] = {
      {"ratio 0.1 below 0.5", true, 1, true, L"Mine", L"Dock", true, true},
      {"ratio 0.9 not below 0.5", true, 9, true, L"Mine", L"Dock", false, false},
      {"ratio 0.9 above 0.5", true, 9, false, L"Mine", L"Dock", true, true},
      {"no state reads as 0", false, 0, true, L"Mine", L"Dock", true, true},
      {"no structure of the old kind", true, 1, true, L"Capitol", L"Dock", false, false},
      {"the new kind cannot be built", true, 1, true, L"Mine", nullptr, false, true},
  };
  for (const Case& c : cases) {
    objHabitation* planet = planetWith({{L"Factory", 1}, {L"Mine", 2}});
    if (c.hasState)
      setState(planet, L"Ore", c.val, 10, 0);
    auto* earlier = new remove_struct_order(nullptr);
    planet->ai->addOrder(earlier, false);

    bp_replace_when_useless rule(c.newName != nullptr ? def(c.newName) : nullptr, def(c.oldName), pooled(L"Ore"), 0.5f,
                                 c.whenBelow, true);
    EXPECT_EQ(rule.apply(planet), c.acts) << c.label;
    EXPECT_EQ(queued(planet), c.acts ? Names({L"Dock"}) : Names()) << c.label;
    ASSERT_EQ(planet->ai->getOrderCount(), c.orders ? 2u : 1u) << c.label;
    EXPECT_EQ(planet->ai->getOrder(0), earlier) << c.label << ": the queue is kept";
    if (c.orders) {
      auto* removal = dynamic_cast<remove_struct_order*>(planet->ai->getOrder(1));
      ASSERT_NE(removal, nullptr) << c.label;
      EXPECT_EQ(removal->structure, planet->structures[1].system) << c.label << ": the first of the old kind";
    }
    EXPECT_EQ(planet->structures.size(), 3u) << c.label << ": nothing is removed before the order runs";
  }
}

TEST_F(BuildRuleTest, FullPlanetsAndDefinitionsNotUnlockedQueueNothing) {
  const std::vector<std::pair<const char*, MakeRule>> rules = {
      {"build n", [] { return Rule(new bp_build_n(def(L"Mine"), 3)); }},
      {"build per n", [] { return Rule(new bp_build_per_n(def(L"Mine"), 1)); }},
      {"build when needed", [] { return Rule(new bp_build_when_needed(true, 0.5f, def(L"Mine"), pooled(L"Ore"))); }},
      {"build special", [] { return Rule(new bp_build_special(def(L"Mine"), pooled(L"Port"))); }},
      {"build rand",
       [] {
         auto* rule = new bp_build_rand;
         rule->addItem(def(L"Mine"), 1);
         return Rule(rule);
       }},
  };
  for (const auto& [label, make] : rules) {
    objHabitation* full = planetWith({{L"Factory", 2}}, 2);
    objHabitation* overFull = planetWith({{L"Factory", 3}});
    overFull->setStructureSpace(2.0f);  // the space shrank after building
    objHabitation* locked = planetWith({{L"Factory", 1}}, 10, blue);
    const Rule rule = make();
    for (objHabitation* planet : {full, overFull, locked}) {
      EXPECT_FALSE(rule->apply(planet)) << label;
      EXPECT_TRUE(queued(planet).empty()) << label;
    }
  }
  EXPECT_FALSE(planetStructuresFull(planetWith({{L"Factory", 9}})));
}

TEST_F(BuildRuleTest, BuildRandPicksByWeight) {
  struct Case {
    const char* label;
    uint32_t mineWeight, factoryWeight;
    double factoryShare;
  };
  const Case cases[] = {
      {"weights 1 and 3", 1, 3, 0.75},
      {"weight 0 counts as 1", 0, 3, 0.75},
  };
  constexpr int kApplications = 40000;
  for (const Case& c : cases) {
    bp_build_rand rule;
    rule.addItem(def(L"Mine"), c.mineWeight);
    rule.addItem(def(L"Factory"), c.factoryWeight);
    EXPECT_EQ(rule.totalWeight, (c.mineWeight == 0 ? 1u : c.mineWeight) + c.factoryWeight) << c.label;
    EXPECT_NE(rule.items[0].weight, 0u) << c.label;

    objHabitation* planet = planetWith({});
    int factories = 0;
    for (int i = 0; i < kApplications; ++i) {
      ASSERT_TRUE(rule.apply(planet)) << c.label;
      ASSERT_EQ(planet->buildQueue.size(), 1u) << c.label;
      factories += queued(planet)[0] == L"Factory" ? 1 : 0;
      planet->clearBuildQueue();
    }
    EXPECT_NEAR(static_cast<double>(factories) / kApplications, c.factoryShare, 0.01) << c.label;
  }
}

TEST_F(BuildRuleTest, BuildRandWithoutWeightOrWithAnUnknownPickGivesFalse) {
  objHabitation* planet = planetWith({});
  bp_build_rand empty;
  EXPECT_FALSE(empty.apply(planet)) << "no items";

  bp_build_rand zeroTotal;  // as a record may state it
  zeroTotal.items.push_back({def(L"Mine"), 1});
  zeroTotal.totalWeight = 0;
  EXPECT_FALSE(zeroTotal.apply(planet));

  bp_build_rand unknown;  // a definition a record no longer names
  unknown.addItem(nullptr, 1);
  EXPECT_FALSE(unknown.apply(planet));
  EXPECT_TRUE(queued(planet).empty());
}

TEST_F(BuildRuleTest, RemoveRandRemovesOnlyListedKinds) {
  bp_remove_rand rule;
  rule.addDef(def(L"Mine"));
  rule.addDef(def(L"Capitol"));
  rule.addDef(def(L"Mine"));  // listed already
  rule.addDef(nullptr);
  ASSERT_EQ(rule.defs.size(), 2u);
  EXPECT_LT(rule.defs[0]->id, rule.defs[1]->id);
  EXPECT_TRUE(rule.contains(def(L"Mine")));
  EXPECT_TRUE(rule.contains(def(L"Capitol")));
  EXPECT_FALSE(rule.contains(def(L"Factory")));

  EXPECT_FALSE(rule.apply(planetWith({}))) << "no structures";

  objHabitation* unlisted = planetWith({{L"Factory", 3}});
  for (int i = 0; i < 50; ++i)
    EXPECT_FALSE(rule.apply(unlisted));
  EXPECT_EQ(unlisted->structures.size(), 3u);

  objHabitation* mixed = planetWith({{L"Factory", 2}, {L"Mine", 2}});
  int removed = 0;
  for (int i = 0; i < 200; ++i)
    removed += rule.apply(mixed) ? 1 : 0;
  EXPECT_EQ(removed, 2);
  EXPECT_EQ(mixed->countStructures(def(L"Mine")), 0u);
  EXPECT_EQ(mixed->countStructures(def(L"Factory")), 2u);
}

TEST_F(BuildRuleTest, RebuildRandRebuildsWhenTheOwnersLevelIsFarEnoughAhead) {
  struct Case {
    const char* label;
    float ownerTech;  // the owner's level of Mine (the structure's "{L}" is 1)
    float itemTech;   // the level a new Mine gets when the item is made
    float threshold;
    bool acts;
    bool rebuildQueued;
    bool logsError;
  };
  const Case cases[] = {
      {"level 3 against 1, threshold 2", 3, 3, 2.0f, true, true, false},
      {"level 3 against 1, threshold 2.5", 3, 3, 2.5f, false, false, false},
      {"a new instance gains nothing", 3, 1, 2.0f, true, false, true},
  };
  for (const Case& c : cases) {
    objHabitation* planet = planetWith({{L"Mine", 1}});
    ASSERT_FLOAT_EQ(planet->structures[0].system->getLevel(), 1.0f);
    setTech(c.ownerTech);
    red->updateSubSystems();
    setTech(c.itemTech);

    LogCapture log;
    bp_rebuild_rand rule(c.threshold);
    EXPECT_EQ(rule.apply(planet), c.acts) << c.label;
    ASSERT_EQ(planet->buildQueue.size(), c.rebuildQueued ? 1u : 0u) << c.label;
    if (c.rebuildQueued) {
      EXPECT_EQ(planet->buildQueue[0]->getType(), L"rebuild") << c.label;
    }
    EXPECT_EQ(log.take(), c.logsError ? "Unexpected rebuild error in build priorities\n" : "") << c.label;

    setTech(1.0f);
    red->updateSubSystems();
  }

  bp_rebuild_rand rule(0.0f);
  EXPECT_FALSE(rule.apply(planetWith({}))) << "no structures";
  EXPECT_FALSE(rule.apply(planetWith({{L"Mine", 1}}, 10, blue))) << "blue has no level of Mine";
}

}  // namespace

}  // namespace build_rule_apply_test
