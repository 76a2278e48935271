// The events by which a placed sub-system acts on its object and its tick:
// the hook order of a build, the switch between running and disabled with
// the reservation of requirements and the consumption of resources, and
// the undoing of an activation that a later provision vetoes.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

#include "design/effect_function_lookup.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "script/script_string.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace sub_system_events_test {

namespace {

// Requirement, consumption entries (in their sorted order) and the
// capacity the "Shield" effect adds.
const wchar_t* const kPower = L"Power";
const wchar_t* const kFuel = L"Fuel";
const wchar_t* const kOre = L"Ore";
const wchar_t* const kShields = L"Shields";
constexpr float kPowerNeeded = 4.0f;
constexpr float kFuelPerSecond = 2.0f;
constexpr float kOrePerSecond = 1.0f;
constexpr float kTickTime = 0.1f;

// A hook that vetoes: it sets the stop flag.
void veto(EffectEvent* event, effect_data*) { event->state = ESC_DISABLE; }
constexpr PlainFuncEntry kVeto{veto};
const RegisterPlainFunction registerVeto(L"TestVeto", &kVeto);

// One hook call: which hook, of which provision (its first value).
struct Call {
  EffectHookKind hook;
  int provision;
  bool operator==(const Call& other) const { return hook == other.hook && provision == other.provision; }
};
std::ostream& operator<<(std::ostream& out, const Call& call) {
  static const char* const kNames[] = {"OnActive", "OnDeactive", "OnConstruct",    "OnDestruct",
                                       "Once",     "Tick",       "OnGlobalDamage", "OnDamage"};
  return out << kNames[call.hook] << "#" << call.provision;
}
std::vector<Call> calls;

int countCalls(EffectHookKind hook, int provision) {
  int count = 0;
  for (const Call& call : calls)
    count += call == Call{hook, provision} ? 1 : 0;
  return count;
}

// An effect of the data files that logs every hook call before running
// the hook (a slot without a bound function logs and does nothing).
class LoggedEffect : public effect_generic {
 public:
  void OnActive(EffectEvent* e, effect_data* v) override { log(EH_OnActive, v), effect_generic::OnActive(e, v); }
  void OnDeactive(EffectEvent* e, effect_data* v) override { log(EH_OnDeactive, v), effect_generic::OnDeactive(e, v); }
  void OnConstruct(EffectEvent* e, effect_data* v) override {
    log(EH_OnConstruct, v), effect_generic::OnConstruct(e, v);
  }
  void OnDestruct(EffectEvent* e, effect_data* v) override { log(EH_OnDestruct, v), effect_generic::OnDestruct(e, v); }
  void Once(EffectEvent* e, effect_data* v) override { log(EH_Once, v), effect_generic::Once(e, v); }
  void Tick(EffectEvent* e, effect_data* v) override { log(EH_Tick, v), effect_generic::Tick(e, v); }

  // Binds the plain native `name` to the hook.
  LoggedEffect& plain(EffectHookKind hook, const wchar_t* name) {
    auto& registry = plainFunctionRegistry();
    const irr::s32 index = NamedVar<const PlainFuncEntry*>::findNoSort(registry, name);
    EXPECT_GE(index, 0) << wideToStdString(name);
    if (index >= 0)
      bind(hook, false).function.plainApply = registry[static_cast<irr::u32>(index)].value->apply;
    return *this;
  }
  // Binds the template native `name` to the hook with (amount, resource).
  LoggedEffect& amountOf(EffectHookKind hook, const wchar_t* name, float amount, const wchar_t* resource) {
    const TemplateFuncEntry* entry = templateFunction(name);
    EXPECT_NE(entry, nullptr) << wideToStdString(name);
    if (entry == nullptr)
      return *this;
    effectHook& bound = bind(hook, true);
    bound.function.templateApply = entry->apply;
    bound.args = numbers({amount, 0.0f});
    bound.args[1].kind = TAK_StateName;
    bound.args[1].value.string = new ScriptString(irr::core::stringw(resource));  // released with the effect
    return *this;
  }
  // Marks a hook as used without binding a function.
  LoggedEffect& used(EffectHookKind hook) {
    hookFlags = static_cast<uint16_t>(hookFlags | (1u << hook));
    return *this;
  }

 private:
  static void log(EffectHookKind hook, const effect_data* values) {
    calls.push_back({hook, static_cast<int>(values->values[0])});
  }
  effectHook& bind(EffectHookKind hook, bool withArgs) {
    used(hook);
    effectHook& bound = hooks[hook];
    bound.isInternal = true;
    bound.hasTemplateArgs = withArgs;
    bound.enabled = true;
    return bound;
  }
};

// A plain object that holds resource states; dropped with the holder.
class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};

struct Stock {
  float val, inCargo, required;
};

// The native tick function Reload (val1 -= the event time).
FireFunction reload() {
  auto& registry = tickFunctionRegistry();
  const irr::s32 index = NamedVar<FireFunction>::findNoSort(registry, L"Reload");
  EXPECT_GE(index, 0);
  return index < 0 ? nullptr : registry[static_cast<irr::u32>(index)].value;
}

class SubSystemEventsTest : public testing::Test {
 protected:
  void SetUp() override {
    registerNativeFunctions();
    calls.clear();
    object_ = new PlainObject;
  }
  void TearDown() override {
    instance_.reset();
    object_->drop();
  }

  State& state(const wchar_t* name) { return *getOrAddObjectState(object_, name); }
  void setStock(const wchar_t* name, const Stock& stock) {
    storedAmount& amount = state(name).value;
    amount.val = stock.val;
    amount.inCargo = stock.inCargo;
    amount.required = stock.required;
  }

  // An effect of this test (numbered by its provisions' first value).
  LoggedEffect& effect() {
    effects_.push_back(std::make_unique<LoggedEffect>());
    return *effects_.back();
  }

  // The instance: requirement "Power" 4, consumption "Fuel" 2/s and "Ore"
  // 1/s, one provision per effect (numbered from 1), and the definition's
  // effect flags from its effects unless `flags` is given.
  subSystem& build(const std::vector<LoggedEffect*>& provisions, int flags = -1) {
    instance_ = std::make_unique<subSystem>();
    def_ = std::make_unique<SubSystemDef>();
    findOrInsertPtrNamedVar(def_->consumption, kFuel);
    findOrInsertPtrNamedVar(def_->consumption, kOre);
    findOrInsertPtrNamedVar(def_->requirements, kPower);
    uint16_t used = 0;
    for (size_t i = 0; i < provisions.size(); ++i) {
      effect_data data;
      data.effect = provisions[i];
      data.values[0] = static_cast<float>(i + 1);
      instance_->provisions.push_back(data);
      used = static_cast<uint16_t>(used | provisions[i]->hookFlags);
    }
    def_->effectFlags = flags < 0 ? used : static_cast<uint16_t>(flags);
    instance_->def = def_.get();
    instance_->values = new float[3]{kFuelPerSecond, kOrePerSecond, kPowerNeeded};
    instance_->consumption = instance_->values;
    instance_->requirements = instance_->values + 2;
    record_.system = instance_.get();
    return *instance_;
  }

  // One tick of kTickTime on the object's own event; the event's state and
  // source kind afterwards.
  std::pair<uint32_t, uint32_t> tick() {
    EffectEvent event(object_, object_, kTickTime);
    tickPlanetSubSystems(instance_.get(), event, &record_);
    return {event.state, event.sourceKind};
  }

  generic_object* object_ = nullptr;
  std::vector<std::unique_ptr<LoggedEffect>> effects_;
  std::unique_ptr<SubSystemDef> def_;
  std::unique_ptr<subSystem> instance_;
  SysRef record_;
};

// --- Tick ---

struct TickCase {
  const char* label;
  uint32_t runningBefore;
  bool tickVeto;  // the provision's Tick hook sets the stop flag
  Stock power, fuel, ore;
  // Expected afterwards.
  uint32_t running;
  float powerRequired, fuelVal, oreVal;
  std::vector<Call> calls;
  uint32_t eventSourceKind;
};

TEST_F(SubSystemEventsTest, TickByTable) {
  const Call active{EH_OnActive, 1};
  const Call deactive{EH_OnDeactive, 1};
  const Call ticked{EH_Tick, 1};
  // Power: 4 needed; Fuel 2/s and Ore 1/s, so a tick of 0.1 s takes 0.2 and 0.1.
  const TickCase cases[] = {
      // Running, everything payable: consumes, ticks, stays marked running.
      {"payable", SS_Active, false, {10, 0, 4}, {5, 0, 0}, {5, 0, 0}, SS_Active, 4, 4.8f, 4.9f, {ticked}, 1},
      // The second entry unpayable: the first is given back, the requirement released.
      {"2nd unpayable", SS_Active, false, {10, 0, 4}, {5, 0, 0}, {.05f, 0, 0}, SS_Disabled, 0, 5, .05f, {deactive}, 0},
      // A requirement whose available fell below 0: disabled before anything is consumed.
      {"requirement short", SS_Active, false, {3, 0, 4}, {5, 0, 0}, {5, 0, 0}, SS_Disabled, 0, 5, 5, {deactive}, 0},
      // A Tick hook's veto: disabled after the consumption.
      {"vetoed", SS_Active, true, {10, 0, 4}, {5, 0, 0}, {5, 0, 0}, SS_Disabled, 0, 4.8f, 4.9f, {ticked, deactive}, 0},
      // Disabled, the resources back: reserves the requirement and activates.
      {"resources back", SS_Disabled, false, {10, 0, 0}, {5, 0, 0}, {5, 0, 0}, SS_Active, 4, 5, 5, {active}, 0},
      // Disabled, 1 Fuel available (val and cargo) of 2/s: stays, although 0.2 would be payable.
      {"fuel below 1 s", SS_Disabled, false, {10, 0, 0}, {.5f, .5f, 0}, {5, 0, 0}, SS_Disabled, 0, .5f, 5, {}, 0},
      // Disabled, Power available (3.5) below the requirement: stays.
      {"power short", SS_Disabled, false, {10, 0, 6.5f}, {5, 0, 0}, {5, 0, 0}, SS_Disabled, 6.5f, 5, 5, {}, 0},
  };

  for (const TickCase& c : cases) {
    SCOPED_TRACE(c.label);
    calls.clear();
    LoggedEffect& hooks = effect().used(EH_OnActive).used(EH_OnDeactive);
    if (c.tickVeto)
      hooks.plain(EH_Tick, L"TestVeto");
    else
      hooks.used(EH_Tick);
    build({&hooks});
    // One effector whose Tick is Reload, counting its state down.
    effector_def reloading(0);
    reloading.tick.function.fire = reload();
    reloading.tick.kind = EFK_Native;
    effector eff;
    eff.def = &reloading;
    instance_->effectors.push_back(eff);
    interactor_data effectorState;
    effectorState.val1 = 1.0f;
    record_.effectorStates = &effectorState;
    record_.state = c.runningBefore;
    setStock(kPower, c.power);
    setStock(kFuel, c.fuel);
    setStock(kOre, c.ore);

    const std::pair<uint32_t, uint32_t> event = tick();

    EXPECT_EQ(record_.state, c.running);
    EXPECT_FLOAT_EQ(state(kPower).value.required, c.powerRequired);
    EXPECT_FLOAT_EQ(state(kFuel).value.val, c.fuelVal);
    EXPECT_FLOAT_EQ(state(kOre).value.val, c.oreVal);
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(event.first, static_cast<uint32_t>(ESC_NOCHANGE));
    EXPECT_EQ(event.second, c.eventSourceKind);
    // The effector ticks only when everything before it let the tick through.
    const bool reached = c.running == SS_Active && c.runningBefore == SS_Active;
    EXPECT_FLOAT_EQ(effectorState.val1, reached ? 1.0f - kTickTime : 1.0f);
    record_.effectorStates = nullptr;
  }
}

TEST_F(SubSystemEventsTest, TickPointsTheRunningEventAtTheRecordAndRecoversOnTheNextTick) {
  build({&effect().used(EH_OnActive).used(EH_OnDeactive)});
  setStock(kPower, {10, 0, 4});
  setStock(kFuel, {5, 0, 0});
  setStock(kOre, {0.05f, 0, 0});

  EffectEvent event(object_, object_, kTickTime);
  tickPlanetSubSystems(instance_.get(), event, &record_);
  EXPECT_EQ(record_.state, SS_Disabled);
  EXPECT_EQ(event.source, nullptr);

  // The resources return: the next tick runs it again, and the one after
  // consumes with the event marked running at the record.
  setStock(kOre, {5, 0, 0});
  EXPECT_EQ(tick().first, static_cast<uint32_t>(ESC_NOCHANGE));
  EXPECT_EQ(record_.state, SS_Active);
  EXPECT_FLOAT_EQ(state(kPower).value.required, 4.0f);
  EffectEvent running(object_, object_, kTickTime);
  tickPlanetSubSystems(instance_.get(), running, &record_);
  EXPECT_EQ(running.sourceKind, 1u);
  EXPECT_EQ(running.source, &record_);
  EXPECT_FLOAT_EQ(state(kFuel).value.val, 5.0f - kFuelPerSecond * kTickTime);
  EXPECT_EQ(calls, (std::vector<Call>{{EH_OnDeactive, 1}, {EH_OnActive, 1}}));
}

// --- Events ---

TEST_F(SubSystemEventsTest, BuiltRunsConstructActiveOnceByProvisionThenReserves) {
  build({&effect(), &effect()});
  triggerSubSysBuilt(instance_.get(), object_, &record_);
  EXPECT_EQ(
      calls,
      (std::vector<Call>{
          {EH_OnConstruct, 1}, {EH_OnActive, 1}, {EH_Once, 1}, {EH_OnConstruct, 2}, {EH_OnActive, 2}, {EH_Once, 2}}));
  EXPECT_EQ(record_.state, SS_Active);
  EXPECT_FLOAT_EQ(state(kPower).value.required, kPowerNeeded);
}

TEST_F(SubSystemEventsTest, BuiltStoppedInTheFirstConstructRunsNothingElse) {
  build({&effect().plain(EH_OnConstruct, L"TestVeto"), &effect()});
  triggerSubSysBuilt(instance_.get(), object_, &record_);
  EXPECT_EQ(calls, (std::vector<Call>{{EH_OnConstruct, 1}}));
  EXPECT_EQ(record_.state, SS_Disabled);
  EXPECT_FLOAT_EQ(state(kPower).value.required, 0.0f);
}

struct SwitchCase {
  const char* label;
  void (*trigger)(subSystem*, generic_object*, SysRef*);
  EffectHookKind hook;  // the trigger's hook
  bool flagSet;         // the definition's flag for the trigger's hook
  std::vector<Call> calls;
  float powerRequired;  // from 2
};

TEST_F(SubSystemEventsTest, SwitchesRunTheirHookOnlyWithItsFlagButAlwaysMoveRequirements) {
  const SwitchCase cases[] = {
      {"active, flag set", triggerSubSysActive, EH_OnActive, true, {{EH_OnActive, 1}, {EH_OnActive, 2}}, 6},
      {"active, flag clear", triggerSubSysActive, EH_OnActive, false, {}, 6},
      {"deactive, flag set", triggerSubSysDeactive, EH_OnDeactive, true, {{EH_OnDeactive, 1}, {EH_OnDeactive, 2}}, -2},
      {"deactive, flag clear", triggerSubSysDeactive, EH_OnDeactive, false, {}, -2},
      {"construct, flag set",
       triggerSubSysConstruct,
       EH_OnConstruct,
       true,
       {{EH_OnConstruct, 1}, {EH_OnConstruct, 2}},
       2},
      {"construct, flag clear", triggerSubSysConstruct, EH_OnConstruct, false, {}, 2},
      {"destruct, flag set", triggerSubSysDestruct, EH_OnDestruct, true, {{EH_OnDestruct, 1}, {EH_OnDestruct, 2}}, 2},
      {"destruct, flag clear", triggerSubSysDestruct, EH_OnDestruct, false, {}, 2},
  };
  for (const SwitchCase& c : cases) {
    SCOPED_TRACE(c.label);
    calls.clear();
    const int every = (1 << EH_OnActive) | (1 << EH_OnDeactive) | (1 << EH_OnConstruct) | (1 << EH_OnDestruct);
    build({&effect(), &effect()}, c.flagSet ? every : every & ~(1 << c.hook));
    setStock(kPower, {10, 0, 2});
    c.trigger(instance_.get(), object_, &record_);
    EXPECT_EQ(calls, c.calls);
    EXPECT_FLOAT_EQ(state(kPower).value.required, c.powerRequired);
    EXPECT_EQ(record_.state, SS_Active);
  }
}

// A veto by the second provision: the first provision's OnActive (AddMax 5
// to "Shields") is undone by its OnDeactive (SubMax 5) on every attempt.
struct VetoCase {
  const char* label;
  EffectHookKind vetoIn;  // the second provision's vetoing hook
  int secondUndone;       // OnDeactive calls of the second provision per attempt
};

TEST_F(SubSystemEventsTest, AVetoedActivationIsUndoneOnEveryAttempt) {
  const VetoCase cases[] = {
      {"re-activation in the tick", EH_OnActive, 0},
      {"triggerSubSysActive", EH_OnActive, 0},
      {"triggerSubSysBuilt, veto in Once", EH_Once, 1},
  };
  constexpr int kAttempts = 10;
  for (size_t which = 0; which < sizeof cases / sizeof cases[0]; ++which) {
    const VetoCase& c = cases[which];
    SCOPED_TRACE(c.label);
    calls.clear();
    LoggedEffect& shield =
        effect().amountOf(EH_OnActive, L"AddMax", 5, kShields).amountOf(EH_OnDeactive, L"SubMax", 5, kShields);
    LoggedEffect& vetoing = effect().plain(c.vetoIn, L"TestVeto").used(EH_OnDeactive);
    build({&shield, &vetoing});
    setStock(kPower, {10, 0, 0});
    setStock(kFuel, {5, 0, 0});
    setStock(kOre, {5, 0, 0});
    state(kShields).value.max = 20;
    state(kShields).value.val = 10;
    record_.state = SS_Disabled;

    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (which == 0) {
        EXPECT_EQ(tick().first, static_cast<uint32_t>(ESC_NOCHANGE));
      } else if (which == 1) {
        triggerSubSysActive(instance_.get(), object_, &record_);
      } else {
        triggerSubSysBuilt(instance_.get(), object_, &record_);
      }
    }

    EXPECT_EQ(record_.state, SS_Disabled);
    EXPECT_EQ(countCalls(EH_OnActive, 1), kAttempts);
    EXPECT_EQ(countCalls(EH_OnDeactive, 1), kAttempts);
    EXPECT_EQ(countCalls(EH_OnDeactive, 2), kAttempts * c.secondUndone);
    EXPECT_FLOAT_EQ(state(kShields).value.max, 20.0f);
    EXPECT_FLOAT_EQ(state(kShields).value.val, 10.0f);
    EXPECT_FLOAT_EQ(state(kPower).value.required, 0.0f);
    record_.state = SS_Active;
  }
}

TEST_F(SubSystemEventsTest, MissingPartsDoNothing) {
  build({&effect()});
  EffectEvent noObject(nullptr, nullptr, kTickTime);
  tickPlanetSubSystems(instance_.get(), noObject, &record_);
  EffectEvent event(object_, object_, kTickTime);
  tickPlanetSubSystems(instance_.get(), event, nullptr);
  tickPlanetSubSystems(nullptr, event, &record_);
  triggerSubSysBuilt(instance_.get(), nullptr, &record_);
  triggerSubSysActive(nullptr, object_, &record_);
  // Without a record the build still runs its hooks and reserves.
  triggerSubSysBuilt(instance_.get(), object_, nullptr);
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_FLOAT_EQ(state(kPower).value.required, kPowerNeeded);
}

}  // namespace

}  // namespace sub_system_events_test
