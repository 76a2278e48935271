#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design/effect_function_lookup.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "support/log_capture.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "universe/universe_fixture.h"

namespace planet_functions_test {

namespace {

// Runs `name` with one amount on an event of `time` seconds whose object
// and target are `target`.
void apply(const wchar_t* name, generic_object* target, float amount, float time = 1.0f) {
  const TemplateFuncEntry* entry = templateFunction(name);
  ASSERT_NE(entry, nullptr);
  EffectEvent event(target, target, time);
  effect_data values;
  TemplateArgList args = numbers({amount});
  entry->apply(&event, &values, args);
}

class PlanetFunctionTest : public UniverseTest {
 protected:
  void TearDown() override {
    for (generic_object* object : made_)
      object->destroyNow(true);
    UniverseTest::TearDown();
  }

  objHabitation* planet(empire* owner, float population, float settled, float maximum) {
    auto* made = new objHabitation(owner, nullptr);
    made->population = population;
    made->settledPopulation = settled;
    made->maxPopulation = maximum;
    made_.push_back(made);
    return made;
  }

  TestObject* rock() {
    auto* made = new TestObject(nullptr);
    made_.push_back(made);
    return made;
  }

  std::vector<generic_object*> made_;
};

struct PopulationCase {
  const char* label;
  const wchar_t* function;
  bool owned;
  float population, settled, maximum;
  float amount;
  float populationAfter, settledAfter, maximumAfter;
  float lossTimerAfter;
};

TEST_F(PlanetFunctionTest, PopulationLimitTable) {
  const PopulationCase cases[] = {
      {"AddMaxPop", L"AddMaxPop", true, 5, 5, 10, 2.5f, 5, 5, 12.5f, -1},
      {"AddMaxPop of a negative amount does not clamp", L"AddMaxPop", false, 5, 5, 10, -8, 5, 5, 2, -1},
      {"SubMaxPop above the population", L"SubMaxPop", true, 5, 5, 10, 3, 5, 5, 7, -1},
      {"SubMaxPop on an owned planet takes the excess from the settled population", L"SubMaxPop", true, 8, 8, 10, 4, 6,
       6, 6, -1},
      // The population change empties the settled population, keeps the
      // rest and arms the owner loss.
      {"SubMaxPop on an owned planet with little settled", L"SubMaxPop", true, 8, 1, 10, 4, 7, 0, 6, 0.5f},
      {"SubMaxPop without an owner clamps at once", L"SubMaxPop", false, 8, 8, 10, 4, 6, 8, 6, -1},
  };
  for (const PopulationCase& c : cases) {
    SCOPED_TRACE(c.label);
    objHabitation* world = planet(c.owned ? red : nullptr, c.population, c.settled, c.maximum);
    apply(c.function, world, c.amount);
    EXPECT_FLOAT_EQ(world->population, c.populationAfter);
    EXPECT_FLOAT_EQ(world->settledPopulation, c.settledAfter);
    EXPECT_FLOAT_EQ(world->maxPopulation, c.maximumAfter);
    EXPECT_FLOAT_EQ(world->ownerLossTimer, c.lossTimerAfter);
  }
}

// The owned path goes through the population change, which mirrors the
// population in "Workers".
TEST_F(PlanetFunctionTest, SubMaxPopOnAnOwnedPlanetUpdatesWorkers) {
  objHabitation* world = planet(red, 8, 8, 10);
  apply(L"SubMaxPop", world, 4);
  const State* workers = findObjectState(world, L"Workers");
  ASSERT_NE(workers, nullptr);
  EXPECT_FLOAT_EQ(workers->value.val, 6);
  EXPECT_FLOAT_EQ(workers->value.max, 6);
}

TEST_F(PlanetFunctionTest, RepairLowersDamageByAmountTimesTime) {
  struct Case {
    float damage, amount, time, after;
  };
  for (const Case& c : {Case{10, 2, 1.5f, 7}, Case{10, 4, 5, 0}, Case{10, 3, 0, 10}}) {
    objHabitation* world = planet(red, 5, 5, 10);
    getOrAddObjectState(world, L"Damage")->value.val = c.damage;
    apply(L"Repair", world, c.amount, c.time);
    EXPECT_FLOAT_EQ(findObjectState(world, L"Damage")->value.val, c.after) << c.amount << " x " << c.time;
  }
}

TEST_F(PlanetFunctionTest, OtherObjectsAreLeftAlone) {
  TestObject* other = rock();
  getOrAddObjectState(other, L"Damage")->value.val = 10;
  for (const wchar_t* function : {L"AddMaxPop", L"SubMaxPop", L"Repair"})
    apply(function, other, 4);
  EXPECT_FLOAT_EQ(findObjectState(other, L"Damage")->value.val, 10);
  EXPECT_EQ(other->states.size(), 1u);
  apply(L"AddMaxPop", nullptr, 4);  // no target at all
}

TEST_F(PlanetFunctionTest, CheckerTable) {
  struct Case {
    const wchar_t* function;
    std::vector<float> args;
    bool accepted;
    const char* log;
  };
  const Case cases[] = {
      {L"AddMaxPop", {1}, true, ""},
      {L"AddMaxPop", {}, false, "pop.txt(9) error: AddMaxPop() requires 1 template parameters\n"},
      {L"SubMaxPop", {}, false, "pop.txt(9) error: SubMaxPop() requires 1 template parameters\n"},
      {L"SubMaxPop", {1, 2}, true, "pop.txt(9) warning: SubMaxPop() takes 1 template parameters, not 2\n"},
      {L"Repair", {}, false, "pop.txt(9) error: Repair() requires 1 template parameters\n"},
      {L"Repair", {1, 2, 3}, true, "pop.txt(9) warning: Repair() takes 1 template parameters, not 3\n"},
  };
  LogCapture log;
  for (const Case& c : cases) {
    const TemplateFuncEntry* entry = templateFunction(c.function);
    ASSERT_NE(entry, nullptr);
    const TemplateArgList args = numbers(c.args);
    log.take();
    EXPECT_EQ(entry->checker(args, "pop.txt", 9), c.accepted) << c.log;
    EXPECT_EQ(log.take(), c.log);
  }
}

}  // namespace

}  // namespace planet_functions_test
