#include "design/effects/effect_functions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "design/effect_function_lookup.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "empire/research/research_web.h"
#include "script/script_string.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "universe/objects/solar_system.h"

namespace effect_functions_test {

namespace {

// Ore and Metals can be cargo, Shields cannot (fixtures/effect_resources.xml).
const wchar_t* const kOre = L"Ore";
const wchar_t* const kMetals = L"Metals";
const wchar_t* const kShields = L"Shields";

// An object of no particular kind, without owner or mover; dropped with the
// holder.
class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};
struct HeldObject {
  HeldObject() : object(new PlainObject) {}
  ~HeldObject() { object->drop(); }
  HeldObject(const HeldObject&) = delete;
  HeldObject& operator=(const HeldObject&) = delete;
  generic_object& operator*() const { return *object; }
  generic_object* object;
};

// One argument of a hook's list, as a test writes it.
struct Arg {
  TemplateArgKind kind;
  float number;
  uint32_t index;
  const wchar_t* resource;
};
Arg N(float number) { return {TAK_Number, number, 0, nullptr}; }
Arg V(uint32_t index) { return {TAK_ValueName, 0.0f, index, nullptr}; }
Arg S(const wchar_t* resource) { return {TAK_StateName, 0.0f, 0, resource}; }

// A hook's argument list; owns the strings of its resource names.
class Args {
 public:
  explicit Args(const std::vector<Arg>& args) {
    for (const Arg& arg : args) {
      templateArg made{};
      made.kind = arg.kind;
      if (arg.kind == TAK_Number)
        made.value.number = arg.number;
      else if (arg.kind == TAK_ValueName)
        made.value.index = arg.index;
      else
        made.value.string = new ScriptString(irr::core::stringw(arg.resource));
      list.push_back(made);
    }
  }
  ~Args() {
    for (irr::u32 i = 0; i < list.size(); ++i)
      if (list[i].kind == TAK_StateName)
        list[i].value.string->release();
  }
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;
  TemplateArgList list;
};

const PlainFuncEntry* plainFunction(const wchar_t* name) {
  auto& registry = plainFunctionRegistry();
  const irr::s32 index = NamedVar<const PlainFuncEntry*>::findNoSort(registry, name);
  return index < 0 ? nullptr : registry[index].value;
}

// The values of the effect use that every call here passes.
effect_data usedValues() {
  effect_data values;
  values.values[1] = 7.0f;
  return values;
}

// Runs the template function `name`, found in its registry, as a hook would.
void apply(const wchar_t* name, EffectEvent& event, const std::vector<Arg>& args) {
  const TemplateFuncEntry* entry = templateFunction(name);
  if (entry == nullptr) {
    ADD_FAILURE() << "no template function " << wideToStdString(name);
    return;
  }
  Args list(args);
  effect_data values = usedValues();
  entry->apply(&event, &values, list.list);
}

void applyPlain(const wchar_t* name, EffectEvent& event) {
  const PlainFuncEntry* entry = plainFunction(name);
  if (entry == nullptr) {
    ADD_FAILURE() << "no plain function " << wideToStdString(name);
    return;
  }
  effect_data values = usedValues();
  entry->apply(&event, &values);
}

struct Stock {
  float val, max, required, inCargo;
};
struct Hold {
  float space, used;
};

void setStock(generic_object& object, const wchar_t* resource, const Stock& stock) {
  storedAmount& amounts = getOrAddObjectState(&object, resource)->value;
  amounts.val = stock.val;
  amounts.max = stock.max;
  amounts.required = stock.required;
  amounts.inCargo = stock.inCargo;
}

void expectStock(generic_object& object, const wchar_t* resource, const Stock& expected) {
  const State* state = findObjectState(&object, resource);
  ASSERT_NE(state, nullptr) << wideToStdString(resource);
  EXPECT_FLOAT_EQ(state->value.val, expected.val) << "val";
  EXPECT_FLOAT_EQ(state->value.max, expected.max) << "max";
  EXPECT_FLOAT_EQ(state->value.required, expected.required) << "required";
  EXPECT_FLOAT_EQ(state->value.inCargo, expected.inCargo) << "inCargo";
}

class EffectFunctionTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    registerNativeFunctions();
    clearResources();
    loadResources(CORVANE_SOURCE_DIR "/tests/design/fixtures/effect_resources.xml");
  }
  static void TearDownTestSuite() { clearResources(); }
};

TEST_F(EffectFunctionTest, FixtureResources) {
  ASSERT_NE(findResource(kOre), nullptr);
  EXPECT_TRUE(findResource(kOre)->canBeCargo);
  EXPECT_TRUE(findResource(kMetals)->canBeCargo);
  EXPECT_FALSE(findResource(kShields)->canBeCargo);
}

// Functions on one resource state, run on an object's own event (obj and
// target the same object).
struct OneStateCase {
  const char* label;
  const wchar_t* function;
  std::vector<Arg> args;
  const wchar_t* resource;  // the state set up and checked
  Stock before;
  Hold hold;
  float time;
  Stock after;
  float usedAfter;
};

TEST_F(EffectFunctionTest, OneStateTable) {
  const float kSlackFree = 1.0001f;  // overflow 1 x the cargo slack
  const OneStateCase cases[] = {
      {"AddAmount within room", L"AddAmount", {N(10), S(kOre)}, kOre, {50, 100, 0, 0}, {20, 0}, 1,
       {60, 100, 0, 0}, 0},
      {"AddAmount of a value", L"AddAmount", {V(1), S(kOre)}, kOre, {50, 100, 0, 0}, {20, 0}, 1,
       {57, 100, 0, 0}, 0},
      {"AddAmount overflows into cargo", L"AddAmount", {N(10), S(kOre)}, kOre, {95, 100, 0, 0}, {20, 0}, 1,
       {100, 100, 0, 5}, 5},
      {"AddAmount: what cannot be cargo is lost", L"AddAmount", {N(10), S(kShields)}, kShields,
       {95, 100, 0, 0}, {20, 0}, 1, {100, 100, 0, 0}, 0},
      {"AddAmount: free cargo of exactly overflow x 1.0001 fills up", L"AddAmount", {N(2), S(kOre)}, kOre,
       {99, 100, 0, 0}, {kSlackFree, 0}, 1, {100, 100, 0, kSlackFree}, kSlackFree},
      {"AddAmount: less free cargo than the overflow fills up", L"AddAmount", {N(10), S(kOre)}, kOre,
       {95, 100, 0, 1}, {20, 18}, 1, {100, 100, 0, 3}, 20},
      {"AddAmount: cargo over its capacity takes nothing", L"AddAmount", {N(10), S(kOre)}, kOre,
       {95, 100, 0, 1}, {10, 12}, 1, {100, 100, 0, 1}, 12},
      {"SubAmount takes the cargo, then val", L"SubAmount", {N(3), S(kOre)}, kOre, {10, 100, 0, 2}, {20, 2}, 1,
       {9, 100, 0, 0}, 0},
      {"SubAmount from cargo alone", L"SubAmount", {N(3), S(kOre)}, kOre, {10, 100, 0, 5}, {20, 5}, 1,
       {10, 100, 0, 2}, 2},
      {"SubAmount within the slack of inCargo empties the cargo", L"SubAmount", {N(3), S(kOre)}, kOre,
       {10, 100, 0, 3.0002f}, {20, 3.0002f}, 1, {10.0002f, 100, 0, 0}, 0},
      {"SubAmount may leave val negative", L"SubAmount", {N(4), S(kOre)}, kOre, {1, 100, 0, 0}, {20, 0}, 1,
       {-3, 100, 0, 0}, 0},
      {"AddRequire", L"AddRequire", {N(3), S(kOre)}, kOre, {10, 100, 2, 0}, {20, 0}, 1, {10, 100, 5, 0}, 0},
      {"SubRequire may go negative", L"SubRequire", {N(5), S(kOre)}, kOre, {10, 100, 2, 0}, {20, 0}, 1,
       {10, 100, -3, 0}, 0},
      {"AddMax without fill share", L"AddMax", {N(20), S(kOre)}, kOre, {50, 100, 0, 0}, {20, 0}, 1,
       {50, 120, 0, 0}, 0},
      {"AddMax fills its share", L"AddMax", {N(20), S(kOre), N(0.5f)}, kOre, {50, 100, 0, 0}, {20, 0}, 1,
       {60, 120, 0, 0}, 0},
      {"AddMax fill is not held to max", L"AddMax", {N(10), S(kOre), N(2)}, kOre, {100, 100, 0, 0}, {20, 0}, 1,
       {120, 110, 0, 0}, 0},
      {"AddMax with a negative share fills nothing", L"AddMax", {N(20), S(kOre), N(-1)}, kOre, {50, 100, 0, 0},
       {20, 0}, 1, {50, 120, 0, 0}, 0},
      {"SubMax clamps val", L"SubMax", {N(30), S(kOre)}, kOre, {80, 100, 0, 0}, {20, 0}, 1, {70, 70, 0, 0}, 0},
      {"SubMax keeps a lower val", L"SubMax", {N(30), S(kOre)}, kOre, {50, 100, 0, 0}, {20, 0}, 1,
       {50, 70, 0, 0}, 0},
      {"Generate rate x time", L"Generate", {S(kOre), N(4)}, kOre, {0, 100, 0, 0}, {20, 0}, 0.5f,
       {2, 100, 0, 0}, 0},
      {"Generate fills free space plus free cargo", L"Generate", {S(kOre), N(10)}, kOre, {98, 100, 0, 0},
       {3, 0}, 1, {100, 100, 0, 3}, 3},
      {"Generate: no cargo room for what cannot be cargo", L"Generate", {S(kShields), N(10)}, kShields,
       {98, 100, 0, 0}, {3, 0}, 1, {100, 100, 0, 0}, 0},
      {"Generate over max leaves val", L"Generate", {S(kShields), N(10)}, kShields, {110, 100, 0, 0}, {3, 0},
       1, {110, 100, 0, 0}, 0},
      {"GenerateNoCargo rate x time", L"GenerateNoCargo", {S(kOre), N(4)}, kOre, {0, 100, 0, 0}, {20, 0}, 0.5f,
       {2, 100, 0, 0}, 0},
      {"GenerateNoCargo stops at max", L"GenerateNoCargo", {S(kOre), N(10)}, kOre, {98, 100, 0, 0}, {20, 0}, 1,
       {100, 100, 0, 0}, 0},
      {"Drain rate x time", L"Drain", {S(kOre), N(2)}, kOre, {10, 100, 0, 0}, {20, 0}, 1.5f, {7, 100, 0, 0}, 0},
      {"Drain takes no more than val, cargo first", L"Drain", {S(kOre), N(10)}, kOre, {3, 100, 0, 50},
       {60, 50}, 1, {3, 100, 0, 47}, 47},
      {"Drain of a negative val leaves the cargo", L"Drain", {S(kOre), N(2)}, kOre, {-2, 100, 0, 5}, {20, 5}, 1,
       {-2, 100, 0, 5}, 5},
  };
  for (const OneStateCase& c : cases) {
    SCOPED_TRACE(c.label);
    HeldObject object;
    (*object).cargoSpace = c.hold.space;
    (*object).cargoUsed = c.hold.used;
    setStock(*object, c.resource, c.before);
    EffectEvent event(object.object, object.object, c.time);
    apply(c.function, event, c.args);
    expectStock(*object, c.resource, c.after);
    EXPECT_FLOAT_EQ((*object).cargoUsed, c.usedAfter) << "cargo used";
    EXPECT_FLOAT_EQ((*object).cargoSpace, c.hold.space) << "cargo capacity";
  }
}

// Produce(Metals, Ore, rate, ratio): Ore in, Metals out.
struct ProduceCase {
  const char* label;
  const wchar_t* function;
  Stock ore;
  Stock metals;
  Hold hold;
  float rate, ratio, time;
  Stock oreAfter;
  Stock metalsAfter;
  float usedAfter;
};

TEST_F(EffectFunctionTest, ProduceTable) {
  const ProduceCase cases[] = {
      {"available 10, ratio 2, rate x time 8: makes 5, takes 10", L"Produce", {10, 100, 0, 0}, {0, 100, 0, 0},
       {20, 0}, 8, 2, 1, {0, 100, 0, 0}, {5, 100, 0, 0}, 0},
      {"rate x time limits", L"Produce", {100, 100, 0, 0}, {0, 100, 0, 0}, {20, 0}, 4, 2, 0.5f,
       {96, 100, 0, 0}, {2, 100, 0, 0}, 0},
      {"input cargo counts, required does not", L"Produce", {10, 100, 6, 4}, {0, 100, 0, 0}, {20, 4}, 8, 2, 1,
       {6, 100, 6, 0}, {4, 100, 0, 0}, 0},
      {"output overflows into cargo", L"Produce", {10, 100, 0, 0}, {98, 100, 0, 0}, {20, 0}, 8, 2, 1,
       {0, 100, 0, 0}, {100, 100, 0, 3}, 3},
      {"nothing available", L"Produce", {5, 100, 5, 0}, {0, 100, 0, 0}, {20, 0}, 8, 2, 1, {5, 100, 5, 0},
       {0, 100, 0, 0}, 0},
      {"NoCargo ignores the input's cargo", L"ProduceNoCargo", {10, 100, 0, 10}, {0, 100, 0, 0}, {20, 10}, 8, 2,
       1, {0, 100, 0, 10}, {5, 100, 0, 0}, 10},
      {"NoCargo: required is reserved", L"ProduceNoCargo", {10, 100, 6, 0}, {0, 100, 0, 0}, {20, 0}, 8, 2, 1,
       {6, 100, 6, 0}, {2, 100, 0, 0}, 0},
      {"NoCargo stops at the output's max", L"ProduceNoCargo", {10, 100, 0, 0}, {98, 100, 0, 0}, {20, 0}, 8, 2,
       1, {6, 100, 0, 0}, {100, 100, 0, 0}, 0},
      {"NoCargo: an output over max takes nothing back", L"ProduceNoCargo", {10, 100, 0, 0}, {110, 100, 0, 0},
       {20, 0}, 8, 2, 1, {10, 100, 0, 0}, {110, 100, 0, 0}, 0},
  };
  for (const ProduceCase& c : cases) {
    SCOPED_TRACE(c.label);
    HeldObject object;
    (*object).cargoSpace = c.hold.space;
    (*object).cargoUsed = c.hold.used;
    setStock(*object, kOre, c.ore);
    setStock(*object, kMetals, c.metals);
    EffectEvent event(object.object, object.object, c.time);
    apply(c.function, event, {S(kMetals), S(kOre), N(c.rate), N(c.ratio)});
    expectStock(*object, kOre, c.oreAfter);
    expectStock(*object, kMetals, c.metalsAfter);
    EXPECT_FLOAT_EQ((*object).cargoUsed, c.usedAfter) << "cargo used";
  }
}

// SubCargoSpace with cargo in Metals and Ore (Metals comes first in the
// state list).
struct CargoCutCase {
  const char* label;
  Hold hold;
  float metalsCargo, oreCargo;
  float amount;
  Hold holdAfter;
  float metalsAfter, oreAfter;
};

TEST_F(EffectFunctionTest, SubCargoSpaceTable) {
  const CargoCutCase cases[] = {
      {"no excess: the cargo stays", {20, 5}, 2, 3, 10, {10, 5}, 2, 3},
      {"the excess comes from the first state", {20, 15}, 10, 5, 8, {12, 12}, 7, 5},
      {"an excess across two states", {20, 15}, 4, 11, 15, {5, 5}, 0, 5},
      {"an excess beyond all cargo: one pass, used falls by what went", {20, 15}, 4, 1, 18, {2, 10}, 0, 0},
  };
  for (const CargoCutCase& c : cases) {
    SCOPED_TRACE(c.label);
    HeldObject object;
    (*object).cargoSpace = c.hold.space;
    (*object).cargoUsed = c.hold.used;
    setStock(*object, kOre, {0, 100, 0, c.oreCargo});
    setStock(*object, kMetals, {0, 100, 0, c.metalsCargo});
    EffectEvent event(object.object, object.object, 1.0f);
    apply(L"SubCargoSpace", event, {N(c.amount)});
    EXPECT_FLOAT_EQ((*object).cargoSpace, c.holdAfter.space) << "cargo capacity";
    EXPECT_FLOAT_EQ((*object).cargoUsed, c.holdAfter.used) << "cargo used";
    expectStock(*object, kMetals, {0, 100, 0, c.metalsAfter});
    expectStock(*object, kOre, {0, 100, 0, c.oreAfter});
  }
}

// What the functions may change on an object.
struct Snapshot {
  float cargoSpace, cargoUsed, dockSpace;
  Stock ore, metals;
};
bool operator==(const Stock& a, const Stock& b) {
  return a.val == b.val && a.max == b.max && a.required == b.required && a.inCargo == b.inCargo;
}
bool operator==(const Snapshot& a, const Snapshot& b) {
  return a.cargoSpace == b.cargoSpace && a.cargoUsed == b.cargoUsed && a.dockSpace == b.dockSpace &&
         a.ore == b.ore && a.metals == b.metals;
}
std::string describe(const Stock& s) {
  return "{" + std::to_string(s.val) + ", " + std::to_string(s.max) + ", " + std::to_string(s.required) + ", " +
         std::to_string(s.inCargo) + "}";
}
void PrintTo(const Snapshot& s, std::ostream* out) {
  *out << "cargo " << s.cargoSpace << "/" << s.cargoUsed << " dock " << s.dockSpace << " Ore " << describe(s.ore)
       << " Metals " << describe(s.metals);
}

Stock stockOf(generic_object& object, const wchar_t* resource) {
  const State* state = findObjectState(&object, resource);
  if (state == nullptr)
    return {-1, -1, -1, -1};
  return {state->value.val, state->value.max, state->value.required, state->value.inCargo};
}
Snapshot snapshotOf(generic_object& object) {
  return {object.cargoSpace, object.cargoUsed, object.dockSpace, stockOf(object, kOre), stockOf(object, kMetals)};
}
const Snapshot kStart{10, 0, 10, {50, 100, 0, 0}, {0, 100, 0, 0}};

void prepare(generic_object& object) {
  object.cargoSpace = kStart.cargoSpace;
  object.cargoUsed = kStart.cargoUsed;
  object.dockSpace = kStart.dockSpace;
  setStock(object, kOre, kStart.ore);
  setStock(object, kMetals, kStart.metals);
}

struct ActsOnCase {
  const wchar_t* function;
  std::vector<Arg> args;
  bool onTarget;  // else on the event's obj
  void (*change)(Snapshot&);
};

TEST_F(EffectFunctionTest, EachActsOnItsObject) {
  const ActsOnCase cases[] = {
      {L"AddAmount", {N(5), S(kOre)}, true, [](Snapshot& s) { s.ore.val = 55; }},
      {L"SubAmount", {N(5), S(kOre)}, true, [](Snapshot& s) { s.ore.val = 45; }},
      {L"AddRequire", {N(5), S(kOre)}, true, [](Snapshot& s) { s.ore.required = 5; }},
      {L"SubRequire", {N(5), S(kOre)}, true, [](Snapshot& s) { s.ore.required = -5; }},
      {L"AddMax", {N(5), S(kOre)}, true, [](Snapshot& s) { s.ore.max = 105; }},
      {L"SubMax", {N(5), S(kOre)}, true, [](Snapshot& s) { s.ore.max = 95; }},
      {L"AddCargoSpace", {N(5)}, false, [](Snapshot& s) { s.cargoSpace = 15; }},
      {L"SubCargoSpace", {N(5)}, true, [](Snapshot& s) { s.cargoSpace = 5; }},
      {L"AddShipSpace", {N(5)}, false, [](Snapshot& s) { s.dockSpace = 15; }},
      {L"SubShipSpace", {N(5)}, true, [](Snapshot& s) { s.dockSpace = 5; }},
      {L"Generate", {S(kOre), N(5)}, false, [](Snapshot& s) { s.ore.val = 55; }},
      {L"GenerateNoCargo", {S(kOre), N(5)}, false, [](Snapshot& s) { s.ore.val = 55; }},
      {L"Drain", {S(kOre), N(5)}, false, [](Snapshot& s) { s.ore.val = 45; }},
      {L"Produce", {S(kMetals), S(kOre), N(5), N(1)}, false,
       [](Snapshot& s) {
         s.ore.val = 45;
         s.metals.val = 5;
       }},
      {L"ProduceNoCargo", {S(kMetals), S(kOre), N(5), N(1)}, false,
       [](Snapshot& s) {
         s.ore.val = 45;
         s.metals.val = 5;
       }},
  };
  for (const ActsOnCase& c : cases) {
    SCOPED_TRACE(wideToStdString(c.function));
    HeldObject source, target;
    prepare(*source);
    prepare(*target);
    {
      EffectEvent event(source.object, target.object, 1.0f);
      apply(c.function, event, c.args);
    }
    Snapshot changed = kStart;
    c.change(changed);
    EXPECT_EQ(snapshotOf(*(c.onTarget ? target : source)), changed);
    EXPECT_EQ(snapshotOf(*(c.onTarget ? source : target)), kStart);
  }
}

TEST_F(EffectFunctionTest, SubShipSpaceReleasesDockedObjectsFirstDockedFirstUntilTheyFit) {
  auto* system = new solarSystem();
  HeldObject source, host;
  (*host).setContainer(system);
  (*host).dockSpace = 100.0f;
  std::vector<generic_object*> craft;
  for (float radius : {4.0f, 3.0f, 2.0f, 1.0f}) {  // 16 + 9 + 4 + 1 = 30 in use
    auto* made = new PlainObject;
    made->radius = radius;
    made->setContainer(system);
    ASSERT_TRUE((*host).dockObject(made));
    craft.push_back(made);
  }
  const struct {
    float amount, dockSpace, dockUsed;
    irr::u32 left;
  } steps[] = {
      {70.0f, 30.0f, 30.0f, 4},  // exactly full: nothing leaves
      {5.0f, 25.0f, 14.0f, 3},   // the first docked (16) goes
      {20.0f, 5.0f, 5.0f, 2},    // then 9, leaving 4 + 1
      {10.0f, -5.0f, 0.0f, 0},   // everything, and no more
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.amount);
    EffectEvent event(source.object, host.object, 1.0f);
    apply(L"SubShipSpace", event, {N(step.amount)});
    EXPECT_FLOAT_EQ((*host).dockSpace, step.dockSpace);
    EXPECT_FLOAT_EQ((*host).dockUsed, step.dockUsed);
    ASSERT_EQ((*host).docked.size(), step.left);
    if (step.left > 0) {
      EXPECT_EQ((*host).docked.getLast().object, craft.back()) << "released from the front";
    }
  }
  for (generic_object* made : craft) {
    EXPECT_EQ(made->container.load(), system);
    made->destroyNow(true);
  }
  (*host).setContainer(nullptr);
  system->destroyNow(true);
}

TEST_F(EffectFunctionTest, ResearchFunctionsChangeTheOwnersRate) {
  empire* owner = registerEmpire(new empire);
  owner->researchWeb->setResearchRate(10.0);
  HeldObject owned, unowned, target;
  (*owned).owner = owner;
  const struct {
    const wchar_t* function;
    generic_object* object;
    double rate;
  } cases[] = {
      {L"IncResearch", owned.object, 12.0},
      {L"DecResearch", owned.object, 10.0},
      {L"DecResearch", owned.object, 8.0},
      {L"IncResearch", unowned.object, 8.0},
      {L"DecResearch", unowned.object, 8.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wideToStdString(c.function));
    EffectEvent event(c.object, target.object, 1.0f);
    apply(c.function, event, {N(2)});
    EXPECT_EQ(owner->getResearchRate(), c.rate);
  }
  (*owned).owner = nullptr;
  deleteAllEmpires();
}

TEST_F(EffectFunctionTest, DeathAsksForALoudDestruction) {
  const struct {
    uint32_t before, after;
  } cases[] = {
      {FLAG_VALID, FLAG_VALID | FLAG_DESTROY},
      {FLAG_VALID | FLAG_QUIET_DESTROY, FLAG_VALID | FLAG_DESTROY},
      {FLAG_VALID | FLAG_DESTROY | FLAG_QUIET_DESTROY | FLAG_IN_FLEET, FLAG_VALID | FLAG_DESTROY | FLAG_IN_FLEET},
  };
  for (const auto& c : cases) {
    HeldObject source, target;
    (*source).flags = c.before;
    {
      EffectEvent event(source.object, target.object, 1.0f);
      applyPlain(L"Death", event);
    }
    EXPECT_EQ((*source).flags.load(), c.after) << "flags before: " << c.before;
    EXPECT_EQ((*target).flags.load(), uint32_t{FLAG_VALID}) << "the target is not touched";
  }
}

TEST_F(EffectFunctionTest, SkipMarksTheEvent) {
  for (uint32_t before : {ESC_NOCHANGE, ESC_DISABLE, ESC_SKIP}) {
    HeldObject object;
    EffectEvent event(object.object, object.object, 1.0f);
    event.state = before;
    applyPlain(L"Skip", event);
    EXPECT_EQ(event.state, uint32_t{ESC_SKIP}) << "state before: " << before;
  }
}

struct CheckCase {
  const wchar_t* function;
  std::vector<Arg> args;
  bool accepted;
  const char* log;
};

TEST_F(EffectFunctionTest, CheckerTable) {
  const CheckCase cases[] = {
      {L"AddAmount", {V(0), S(kOre)}, true, ""},
      {L"AddAmount", {N(5), S(kOre), N(1)}, true,
       "ships.txt(12) warning: AddAmount() takes 2 template parameters, not 3\n"},
      {L"AddAmount", {S(kOre)}, false, "ships.txt(12) error: AddAmount() requires 2 template parameters\n"},
      {L"AddAmount", {N(5), N(5)}, false,
       "ships.txt(12) error: AddAmount() requires parameter 2 be type 'State Name'\n"},
      {L"SubAmount", {N(5), V(0)}, false,
       "ships.txt(12) error: SubAmount() requires parameter 2 be type 'State Name'\n"},
      {L"AddRequire", {N(5), N(5)}, false,
       "ships.txt(12) error: AddRequire() requires parameter 2 be type 'State Name'\n"},
      {L"SubRequire", {N(5), N(5)}, false,
       "ships.txt(12) error: SubRequire() requires parameter 2 be type 'State Name'\n"},
      {L"AddMax", {N(5)}, false, "ships.txt(12) error: AddMax() requires 2 or 3 template parameters\n"},
      {L"AddMax", {N(5), S(kOre), N(1)}, true, ""},
      {L"AddMax", {N(5), S(kOre), N(1), N(2)}, true,
       "ships.txt(12) warning: AddMax() takes 2 or 3 template parameters, not 4\n"},
      {L"SubMax", {N(5), N(5), N(5)}, false,
       "ships.txt(12) warning: SubMax() takes 2 template parameters, not 3\n"
       "ships.txt(12) error: SubMax() requires parameter 2 be type 'State Name'\n"},
      {L"AddCargoSpace", {S(kOre)}, true, ""},
      {L"SubCargoSpace", {}, false, "ships.txt(12) error: SubCargoSpace() requires 1 template parameters\n"},
      {L"AddShipSpace", {N(1), N(2)}, true,
       "ships.txt(12) warning: AddShipSpace() takes 1 template parameters, not 2\n"},
      {L"SubShipSpace", {}, false, "ships.txt(12) error: SubShipSpace() requires 1 template parameters\n"},
      {L"IncResearch", {S(kOre)}, true, ""},
      {L"IncResearch", {N(1), N(2)}, true,
       "ships.txt(12) warning: IncResearch() takes 1 template parameters, not 2\n"},
      {L"DecResearch", {}, false, "ships.txt(12) error: DecResearch() requires 1 template parameters\n"},
      {L"Generate", {S(kOre), V(0)}, true, ""},
      {L"Generate", {N(5), N(3)}, false,
       "ships.txt(12) error: Generate() requires parameter 1 be type 'State Name'\n"},
      {L"GenerateNoCargo", {N(5), N(3)}, false,
       "ships.txt(12) error: Generate() requires parameter 1 be type 'State Name'\n"},
      {L"GenerateNoCargo", {S(kOre)}, false, "ships.txt(12) error: Generate() requires 2 template parameters\n"},
      {L"Drain", {N(5), N(3)}, false, "ships.txt(12) error: Drain() requires parameter 1 be type 'State Name'\n"},
      {L"Produce", {S(kMetals), S(kOre), V(0), S(kOre)}, true, ""},
      {L"Produce", {N(1), N(1), N(1), N(1)}, false,
       "ships.txt(12) error: Produce() requires parameter 1 be type 'State Name'\n"},
      {L"Produce", {S(kMetals), N(1), N(1), N(1)}, false,
       "ships.txt(12) error: Produce() requires parameter 2 be type 'State Name'\n"},
      {L"ProduceNoCargo", {S(kMetals), S(kOre), N(1)}, false,
       "ships.txt(12) error: ProduceNoCargo() requires 4 template parameters\n"},
  };
  LogCapture log;
  for (const CheckCase& c : cases) {
    const TemplateFuncEntry* entry = templateFunction(c.function);
    ASSERT_NE(entry, nullptr) << wideToStdString(c.function);
    Args args(c.args);
    log.take();
    EXPECT_EQ(entry->checker(args.list, "ships.txt", 12), c.accepted) << c.log;
    EXPECT_EQ(log.take(), c.log);
  }
}

TEST_F(EffectFunctionTest, CheckerWarningsAndErrorsHaveTheirLevels) {
  FakeEngineLogger errorsOnly(irr::ELL_ERROR);
  setEngineLogger(&errorsOnly);
  LogCapture log;
  Args tooMany({N(5), S(kOre), N(1)});
  EXPECT_TRUE(templateFunction(L"AddAmount")->checker(tooMany.list, "ships.txt", 3));
  EXPECT_EQ(log.take(), "") << "a warning, silent at the error level";
  Args tooFew({N(5)});
  EXPECT_FALSE(templateFunction(L"AddMax")->checker(tooFew.list, "ships.txt", 3));
  EXPECT_EQ(log.take(), "ships.txt(3) error: AddMax() requires 2 or 3 template parameters\n");
  setEngineLogger(nullptr);
}

}  // namespace

}  // namespace effect_functions_test
