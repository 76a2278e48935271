// The native effector functions and the runtime that calls a definition's
// functions: target filters by owner, relation and kind, the resource
// filters, the "CanAttack" and "AutoAttack" lists, the activation modes
// stepped against Reload, and the checkers as an effector file meets them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/log.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/objects/object_states.h"
#include "universe/universe_fixture.h"

namespace effector_functions_test {

namespace {

template <class Function>
Function nativeNamed(const typename NamedVar<Function>::Registry& registry, const wchar_t* name) {
  const irr::s32 index = NamedVar<Function>::findNoSort(registry, name);
  return index < 0 ? Function() : registry[static_cast<irr::u32>(index)].value;
}

// --- Template arguments as a test writes them ---

int_templateArg N(float number) {
  int_templateArg arg;
  arg.kind = EAK_StaticValue;
  arg.value.number = number;
  return arg;
}
int_templateArg S(const wchar_t* resource) {
  int_templateArg arg;
  arg.kind = EAK_String;
  arg.value.string = internCommonString(resource);
  return arg;
}
int_templateArg I(uint32_t index) {  // a value of the effector state
  int_templateArg arg;
  arg.kind = EAK_ValueIndex;
  arg.value.index = index;
  return arg;
}
int_templateArg V(uint32_t index) {  // a value of the effector instance
  int_templateArg arg;
  arg.kind = EAK_StateIndex;
  arg.value.index = index;
  return arg;
}
EffectorArgList argList(const std::vector<int_templateArg>& args) {
  EffectorArgList list;
  for (const int_templateArg& arg : args)
    list.push_back(arg);
  return list;
}

// The "OnFire" entry of a native with arguments, or of one without.
EffectorFunctionRef fireEntry(const wchar_t* name, const std::vector<int_templateArg>& args) {
  EffectorFunctionRef entry;
  if (args.empty()) {
    entry.function.fire = nativeNamed<FireFunction>(fireFunctionRegistry(), name);
    entry.kind = EFK_Native;
  } else {
    const FireFunctionWithArgsEntry* found =
        nativeNamed<const FireFunctionWithArgsEntry*>(fireFunctionWithArgsRegistry(), name);
    entry.function.fireWithArgs = found != nullptr ? found->function : nullptr;
    entry.kind = EFK_NativeWithArgs;
    entry.args = argList(args);
  }
  EXPECT_NE(entry.function.fire, nullptr) << wideToStdString(name);
  return entry;
}

// --- Weights that count their calls ---

int weightCalls[3];
float weightTwo(const generic_object*, const generic_object*, const effector*) { return ++weightCalls[0], 2.0f; }
float weightThree(const generic_object*, const generic_object*, const effector*) { return ++weightCalls[1], 3.0f; }
float weightZero(const generic_object*, const generic_object*, const effector*) { return ++weightCalls[2], 0.0f; }

TargetWeigher weigher(TargetFunction function) {
  TargetWeigher entry;
  entry.function.target = function;
  entry.kind = EFK_Native;
  return entry;
}

// --- Firings, counted by the one effect a test effector causes ---

int hits = 0;
void countHit(EffectEvent*, effect_data*) { ++hits; }

enum Owner { kNone, kA, kB, kS };
enum Relation { kNeither, kEnemy, kAllied };

class EffectorFunctionTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space_ = registerEmpire(new empire);
    space_->valid = false;
    hits = 0;
    for (int& calls : weightCalls)
      calls = 0;

    hit_.hooks[EH_OnActive].function.plainApply = countHit;
    hit_.hooks[EH_OnActive].isInternal = true;
    hit_.hooks[EH_OnActive].enabled = true;
    def_.physicalType = EPT_Instant;
    def_.effects.push_back(new effector_def::effector_effect());
    def_.effects[0]->effect = &hit_;
    eff_.def = &def_;
    EffectorEffectRecord record;
    record.data.effect = &hit_;
    eff_.effects.push_back(record);
  }

  void TearDown() override {
    for (generic_object* object : made_)
      object->destroyNow(true);
    clearEffectors();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  empire* owner(Owner who) const {
    switch (who) {
      case kA:
        return red;
      case kB:
        return blue;
      case kS:
        return space_;
      default:
        return nullptr;
    }
  }

  TestObject* object(Owner who, int kind = OT_Generic) {
    auto* made = new TestObject(owner(who), kind);
    made_.push_back(made);
    return made;
  }

  void relate(Relation relation) {
    EmpireRelation* record = red->getRelation(blue);
    record->enemy = relation == kEnemy;
    record->allied = relation == kAllied;
  }

  // Runs `entry` once on the holder's own event of `time` seconds; true
  // when it fired. (The holder keeps the spent effects until it goes.)
  bool trigger(const EffectorFunctionRef& entry, generic_object* holder, interactor_data& state,
               float time = 1.0f / 16) {
    const int before = hits;
    EffectEvent event(holder, holder, time);
    effector::trigger(entry, &event, &eff_, &state);
    return hits > before;
  }

  // Steps Reload, then `mode`, `steps` times from a zero state; the steps
  // (from 1) that fired.
  std::vector<int> firingSteps(const EffectorFunctionRef& mode, int steps) {
    EffectorFunctionRef reload;
    reload.function.fire = nativeNamed<FireFunction>(tickFunctionRegistry(), L"Reload");
    reload.kind = EFK_Native;
    TestObject* holder = object(kA, OT_Hulled);
    interactor_data state;
    std::vector<int> fired;
    for (int step = 1; step <= steps; ++step) {
      trigger(reload, holder, state);
      if (trigger(mode, holder, state))
        fired.push_back(step);
    }
    return fired;
  }

  empire* space_ = nullptr;
  std::vector<generic_object*> made_;
  effect_generic hit_;
  effector_def def_{0};
  effector eff_;
};

// --- Target functions ---

struct TargetCase {
  const wchar_t* function;
  Owner source;
  Owner target;
  Relation relation;  // of A towards B
  int targetKind;
  float expected;
};

TEST_F(EffectorFunctionTest, TargetFunctionsByOwnerRelationAndKind) {
  const int P = OT_Planet;
  const int H = OT_Hulled;
  const int G = OT_Generic;
  const TargetCase cases[] = {
      {L"CanAttack", kNone, kA, kEnemy, G, 0},   {L"CanAttack", kNone, kNone, kNeither, G, 0},
      {L"CanAttack", kA, kNone, kNeither, G, 1}, {L"CanAttack", kA, kA, kNeither, G, 1},
      {L"CanAttack", kA, kS, kNeither, G, 1},    {L"CanAttack", kA, kB, kEnemy, G, 1},
      {L"CanAttack", kA, kB, kAllied, G, 0},     {L"CanAttack", kA, kB, kNeither, G, 0},

      {L"Friendly", kA, kA, kNeither, G, 1},     {L"Friendly", kA, kB, kAllied, G, 1},
      {L"Friendly", kA, kB, kEnemy, G, 0},       {L"Friendly", kA, kB, kNeither, G, 0},
      {L"Friendly", kNone, kA, kAllied, G, 0},   {L"Friendly", kA, kNone, kAllied, G, 0},

      {L"Enemy", kA, kA, kNeither, G, 0},        {L"Enemy", kA, kB, kEnemy, G, 1},
      {L"Enemy", kA, kB, kAllied, G, 0},         {L"Enemy", kA, kB, kNeither, G, 0},
      {L"Enemy", kA, kNone, kEnemy, G, 0},       {L"Enemy", kNone, kB, kEnemy, G, 0},

      {L"NotFriendly", kA, kA, kNeither, G, 0},  {L"NotFriendly", kA, kS, kNeither, G, 1},
      {L"NotFriendly", kA, kB, kNeither, G, 1},  {L"NotFriendly", kA, kB, kEnemy, G, 1},
      {L"NotFriendly", kA, kB, kAllied, G, 0},   {L"NotFriendly", kA, kNone, kNeither, G, 0},

      {L"Unowned", kA, kNone, kNeither, G, 1},   {L"Unowned", kA, kS, kNeither, G, 1},
      {L"Unowned", kA, kA, kNeither, G, 0},      {L"Unowned", kA, kB, kEnemy, G, 0},

      {L"Any", kNone, kB, kNeither, G, 1},
      {L"isPlanet", kA, kB, kNeither, P, 1},     {L"isPlanet", kA, kB, kNeither, H, 0},
      {L"isShip", kA, kB, kNeither, H, 1},       {L"isShip", kA, kB, kNeither, P, 0},

      {L"EmptyPlanet", kA, kS, kNeither, P, 1},  {L"EmptyPlanet", kA, kNone, kNeither, P, 1},
      {L"EmptyPlanet", kA, kS, kNeither, H, 0},  {L"EmptyPlanet", kA, kB, kNeither, P, 0},
      {L"DisabledShip", kA, kS, kNeither, H, 1}, {L"DisabledShip", kA, kNone, kNeither, H, 1},
      {L"DisabledShip", kA, kS, kNeither, P, 0}, {L"DisabledShip", kA, kA, kNeither, H, 0},
  };
  for (const TargetCase& c : cases) {
    const TargetFunction function = nativeNamed<TargetFunction>(targetFunctionRegistry(), c.function);
    ASSERT_NE(function, nullptr) << wideToStdString(c.function);
    relate(c.relation);
    const float result = function(object(c.source), object(c.target, c.targetKind), &eff_);
    EXPECT_EQ(result, c.expected) << wideToStdString(c.function) << " owners " << c.source << "/" << c.target
                                  << " relation " << c.relation << " kind " << c.targetKind;
  }
}

// --- CanStore and CanTransfer ---

struct StoreCase {
  const char* label;
  const wchar_t* function;
  bool cargo;          // the resource can be cargo
  float val, max;      // the source's state
  float space, used;   // the source's cargo
  float targetAmount;  // available on the target (-1: no state there)
  float expected;
};

TEST_F(EffectorFunctionTest, ResourceFilters) {
  const StoreCase cases[] = {
      {"full, cannot be cargo", L"CanStore", false, 10, 10, 5, 0, -1, 0},
      {"full, free cargo", L"CanStore", true, 10, 10, 5, 0, -1, 1},
      {"full, cargo full too", L"CanStore", true, 10, 10, 5, 5, -1, 0},
      {"room in the state", L"CanStore", false, 4, 10, 0, 0, -1, 1},
      {"transfer: target has some, source has room", L"CanTransfer", false, 4, 10, 0, 0, 3, 1},
      {"transfer: target has none", L"CanTransfer", false, 4, 10, 0, 0, 0, 0},
      {"transfer: target lacks the state", L"CanTransfer", false, 4, 10, 0, 0, -1, 0},
      {"transfer: source full", L"CanTransfer", false, 10, 10, 0, 0, 3, 0},
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(c.label);
    const TargetFunctionWithArgsEntry* entry =
        nativeNamed<const TargetFunctionWithArgsEntry*>(targetFunctionWithArgsRegistry(), c.function);
    ASSERT_NE(entry, nullptr);
    cargoData resource;
    resource.canBeCargo = c.cargo;
    TestObject* source = object(kA);
    TestObject* target = object(kB);
    storedAmount& stock = getOrAddObjectState(source, L"Fuel")->value;
    stock.val = c.val;
    stock.max = c.max;
    stock.resource = &resource;
    source->cargoSpace = c.space;
    source->cargoUsed = c.used;
    if (c.targetAmount >= 0)
      getOrAddObjectState(target, L"Fuel")->value.val = c.targetAmount;
    EXPECT_EQ(entry->function(source, target, &eff_, argList({S(L"Fuel")})), c.expected);
  }
}

// --- The lists ---

TEST_F(EffectorFunctionTest, FilterAndWeightLists) {
  TestObject* source = object(kA);
  TestObject* target = object(kB);
  // Empty lists: anything may be targeted; the weight is 1, or 0 on request.
  EXPECT_TRUE(effectorCanTarget(&def_, source, target, &eff_));
  EXPECT_EQ(effectorTargetWeight(&def_, source, target, &eff_, false), 1.0f);
  EXPECT_EQ(effectorTargetWeight(&def_, source, target, &eff_, true), 0.0f);
  // Nothing to weigh without both objects.
  EXPECT_EQ(effectorTargetWeight(&def_, source, nullptr, &eff_, false), 0.0f);
  EXPECT_EQ(effectorTargetWeight(&def_, nullptr, target, &eff_, false), 0.0f);
  // An unbound entry gives 1.
  EXPECT_EQ(callTargetFunction(TargetWeigher(), source, target, &eff_), 1.0f);

  def_.autoAttack.push_back(weigher(weightTwo));
  EXPECT_EQ(effectorTargetWeight(&def_, source, target, &eff_, true), 2.0f);
  def_.autoAttack.push_back(weigher(weightThree));
  EXPECT_EQ(effectorTargetWeight(&def_, source, target, &eff_, true), 6.0f);

  // A first weight of 0 ends the product before the second entry is asked.
  def_.autoAttack[0] = weigher(weightZero);
  weightCalls[1] = 0;
  EXPECT_EQ(effectorTargetWeight(&def_, source, target, &eff_, false), 0.0f);
  EXPECT_EQ(weightCalls[2], 1);
  EXPECT_EQ(weightCalls[1], 0);

  // A filter that refuses stops the filter list and gives weight 0.
  def_.autoAttack[0] = weigher(weightTwo);
  def_.canAttack.push_back(weigher(weightZero));
  def_.canAttack.push_back(weigher(weightThree));
  weightCalls[0] = weightCalls[1] = 0;
  EXPECT_FALSE(effectorCanTarget(&def_, source, target, &eff_));
  EXPECT_EQ(effectorTargetWeight(&def_, source, target, &eff_, false), 0.0f);
  EXPECT_EQ(weightCalls[0] + weightCalls[1], 0);

  // A filter with arguments, through the runtime.
  TargetWeigher store;
  store.function.targetWithArgs =
      nativeNamed<const TargetFunctionWithArgsEntry*>(targetFunctionWithArgsRegistry(), L"CanStore")->function;
  store.kind = EFK_NativeWithArgs;
  store.args = argList({S(L"Fuel")});
  def_.canAttack.clear();
  def_.canAttack.push_back(store);
  EXPECT_FALSE(effectorCanTarget(&def_, source, target, &eff_));
  getOrAddObjectState(source, L"Fuel")->value.max = 1;
  EXPECT_TRUE(effectorCanTarget(&def_, source, target, &eff_));
}

// --- Template arguments ---

TEST_F(EffectorFunctionTest, ArgumentsEvaluateByKind) {
  TestObject* holder = object(kA);
  storedAmount& ammo = getOrAddObjectState(holder, L"Ammo")->value;
  ammo.val = 5;
  ammo.inCargo = 2;
  ammo.required = 1;
  eff_.values.push_back(2.5f);
  interactor_data state;
  state.val1 = 3;
  state.val2 = 4;
  EffectEvent event(holder, holder, 1.0f);
  EXPECT_EQ(evaluateEffectorArg(S(L"Ammo"), &event, &eff_, &state), 6.0f);
  EXPECT_EQ(evaluateEffectorArg(S(L"Fresh"), &event, &eff_, &state), 0.0f);
  EXPECT_NE(findObjectState(holder, L"Fresh"), nullptr);  // made when absent
  EXPECT_EQ(evaluateEffectorArg(I(0), &event, &eff_, &state), 3.0f);
  EXPECT_EQ(evaluateEffectorArg(I(1), &event, &eff_, &state), 4.0f);
  EXPECT_EQ(evaluateEffectorArg(I(2), &event, &eff_, &state), 0.0f);
  EXPECT_EQ(evaluateEffectorArg(V(0), &event, &eff_, &state), 2.5f);
  EXPECT_EQ(evaluateEffectorArg(V(1), &event, &eff_, &state), 0.0f);
  EXPECT_EQ(evaluateEffectorArg(N(-1.5f), &event, &eff_, &state), -1.5f);
  int_templateArg odd = N(7);
  odd.kind = 9;
  EXPECT_EQ(evaluateEffectorArg(odd, &event, &eff_, &state), 0.0f);
}

// --- Activation modes ---

struct StepCase {
  const wchar_t* function;
  std::vector<int_templateArg> args;
  int steps;
  std::vector<int> fired;
};

TEST_F(EffectorFunctionTest, ModesSteppedAgainstReload) {
  const StepCase cases[] = {
      {L"MultiPulse", {N(0.25f), N(5), N(3)}, 170, {81, 85, 89, 169}},
      {L"MultiPulseCost", {N(0.25f), N(5), N(3), S(L"Ammo"), N(0)}, 90, {1, 5, 9, 89}},
      {L"Timed", {N(1)}, 50, {1, 17, 33, 49}},
      {L"Fire", {}, 3, {1, 2, 3}},
  };
  for (const StepCase& c : cases)
    EXPECT_EQ(firingSteps(fireEntry(c.function, c.args), c.steps), c.fired) << wideToStdString(c.function);
}

struct CallCase {
  const char* label;
  const wchar_t* function;
  std::vector<int_templateArg> args;
  interactor_data before;
  float ammo;  // "Ammo" on the holder
  bool fires;
  interactor_data after;
  float ammoAfter;
};

TEST_F(EffectorFunctionTest, SingleCalls) {
  auto S2 = [](float val1, float val2) {
    interactor_data state;
    state.val1 = val1;
    state.val2 = val2;
    return state;
  };
  const CallCase cases[] = {
      {"TimedShot short of ammunition", L"TimedShot", {N(1), S(L"Ammo"), N(2)}, S2(-0.5f, 0), 1, false,
       S2(-0.5f, 0), 1},
      {"TimedShot pays and fires", L"TimedShot", {N(1), S(L"Ammo"), N(2)}, S2(0, 0), 5, true, S2(1, 0), 3},
      {"TimedShot still counting", L"TimedShot", {N(1), S(L"Ammo"), N(2)}, S2(0.5f, 0), 5, false, S2(0.5f, 0), 5},
      {"TimedShot spread of 0", L"TimedShot", {N(1), S(L"Ammo"), N(2), N(0)}, S2(0, 0), 2, true, S2(1, 0), 0},
      {"Charged full", L"Charged", {N(2)}, S2(2, 0), 0, true, S2(0, 0), 0},
      {"Charged short", L"Charged", {N(2)}, S2(1.5f, 0), 0, false, S2(1.5f, 0), 0},
      {"MultiPulseCost short of ammunition", L"MultiPulseCost", {N(0.25f), N(5), N(3), S(L"Ammo"), N(2)},
       S2(0, 1), 1, false, S2(0, 1), 1},
      {"MultiPulseCost last pulse of a burst", L"MultiPulseCost", {N(0.25f), N(5), N(3), S(L"Ammo"), N(2)},
       S2(0, 2), 5, true, S2(5, 0), 3},
      {"MultiPulseCost negative count", L"MultiPulseCost", {N(0.25f), N(5), N(3), S(L"Ammo"), N(0)},
       S2(0, -4), 0, true, S2(0.25f, 1), 0},
      {"MultiPulseCost burst already done", L"MultiPulseCost", {N(0.25f), N(5), N(3), S(L"Ammo"), N(0)},
       S2(0, 3), 0, false, S2(5, 0), 0},
      {"MultiPulse last pulse", L"MultiPulse", {N(0.25f), N(5), N(3)}, S2(0, 1), 0, true, S2(5, 3), 0},
      {"Timed from a state value", L"Timed", {I(1)}, S2(0, 4), 0, true, S2(4, 4), 0},
      {"Timed from an effector value", L"Timed", {V(0)}, S2(0, 0), 0, true, S2(2.5f, 0), 0},
  };
  eff_.values.push_back(2.5f);
  for (const CallCase& c : cases) {
    SCOPED_TRACE(c.label);
    TestObject* holder = object(kA, OT_Hulled);
    getOrAddObjectState(holder, L"Ammo")->value.val = c.ammo;
    interactor_data state = c.before;
    EXPECT_EQ(trigger(fireEntry(c.function, c.args), holder, state), c.fires);
    EXPECT_EQ(state.val1, c.after.val1);
    EXPECT_EQ(state.val2, c.after.val2);
    EXPECT_EQ(findObjectState(holder, L"Ammo")->value.val, c.ammoAfter);
  }
}

TEST_F(EffectorFunctionTest, TimedSpreadVariesTheInterval) {
  const EffectorFunctionRef timed = fireEntry(L"Timed", {N(1), N(0.1f)});
  TestObject* holder = object(kA, OT_Hulled);
  std::set<float> intervals;
  for (int i = 0; i < 1000; ++i) {
    interactor_data state;
    ASSERT_TRUE(trigger(timed, holder, state));
    ASSERT_GE(state.val1, 0.9f);
    ASSERT_LE(state.val1, 1.1f);
    intervals.insert(state.val1);
  }
  EXPECT_GT(intervals.size(), 1u);
  EXPECT_EQ(hits, 1000);
}

TEST_F(EffectorFunctionTest, TriggerWithoutFunctionDoesNothing) {
  TestObject* holder = object(kA);
  interactor_data state;
  state.val1 = -1;
  EXPECT_FALSE(trigger(EffectorFunctionRef(), holder, state));
  EXPECT_EQ(state.val1, -1.0f);
}

// --- Checkers, as an effector file meets them ---

TEST_F(EffectorFunctionTest, CheckersRefuseBadListsAndWarnAtTheErrorLevel) {
  const std::filesystem::path folder = scratchDir();
  const std::string path = (folder / "effectors.txt").string();
  std::ofstream(path, std::ios::binary) << "Effector: Short\n"                            // 1
                                           "OnFire: TimedShot(1, \"Ammo\")\n"            // 2
                                           "Effector: NoAmmoName\n"                      // 3
                                           "OnFire: TimedShot(1, 2, 3)\n"                // 4
                                           "Effector: Pulses\n"                          // 5
                                           "OnFire: MultiPulseCost(0.25, 5, 3, 4, 0)\n"  // 6
                                           "Effector: Spread\n"                          // 7
                                           "OnFire: Timed(1, 0.1, 5)\n"                  // 8
                                           "Effector: Store\n"                           // 9
                                           "CanAttack: CanStore(\"Fuel\"), CanTransfer(2)\n";  // 10
  FakeEngineLogger errorsOnly(irr::ELL_ERROR);
  setEngineLogger(&errorsOnly);
  std::string log;
  {
    LogCapture capture;
    loadEffectors(path.c_str());
    log = capture.take();
  }
  setEngineLogger(nullptr);
  const std::string at = path + "(";
  EXPECT_EQ(log, at + "2) error: TimedShot() requires 3 template parameters\n" +  //
                     at + "2) error Er005: Unrecognized internal OnFire function \"TimedShot\"\n" +
                     at + "4) error: TimedShot() requires parameter 2 be type 'string'\n" +
                     at + "4) error Er005: Unrecognized internal OnFire function \"TimedShot\"\n" +
                     at + "6) error: MultiPulseCost() requires parameter 4 be type 'string'\n" +
                     at + "6) error Er005: Unrecognized internal OnFire function \"MultiPulseCost\"\n" +
                     at + "8) warning: Timed() takes 1 template parameters, not 3\n" +
                     at + "10) error: CanTransfer() requires parameter 1 be type 'string'\n" +
                     at + "10) error Er004: Unrecognized internal Target Weight function \"CanTransfer\"\n");
  for (const wchar_t* refused : {L"Short", L"NoAmmoName", L"Pulses"}) {
    ASSERT_NE(findEffector(refused), nullptr);
    EXPECT_EQ(findEffector(refused)->onFire.kind, EFK_None) << wideToStdString(refused);
  }
  const effector_def* store = findEffector(L"Store");
  ASSERT_NE(store, nullptr);
  ASSERT_EQ(store->canAttack.size(), 2u);
  EXPECT_EQ(store->canAttack[0].kind, EFK_NativeWithArgs);
  EXPECT_EQ(store->canAttack[1].kind, EFK_None);

  // The third argument is kept and switches the spread off.
  const effector_def* spread = findEffector(L"Spread");
  ASSERT_NE(spread, nullptr);
  ASSERT_EQ(spread->onFire.kind, EFK_NativeWithArgs);
  TestObject* holder = object(kA, OT_Hulled);
  for (int i = 0; i < 20; ++i) {
    interactor_data state;
    EXPECT_TRUE(trigger(spread->onFire, holder, state));
    EXPECT_EQ(state.val1, 1.0f);
  }
}

}  // namespace

}  // namespace effector_functions_test
