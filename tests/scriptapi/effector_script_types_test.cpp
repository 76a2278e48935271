// The script side of effectors: effector functions reading an Effector and
// its EffectorState and firing it, their failures, the contexts they run
// on and the references they leave; Object's damage methods; and the
// shipped combat data (the "Hit" effect, its script and the weapons).
#include "design/effectors/effector_script_types.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/data_folders.h"
#include "app/script_setup.h"
#include "core/formula.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/research/research_registry.h"
#include "empire/treaty_clause.h"
#include "script/script_engine.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/galaxy_fixture.h"
#include "universe/objects/object_states.h"

namespace effector_script_types_test {

using namespace AngelScript;

namespace {

// An object that notes each damage event it takes, and whether its star
// system was locked meanwhile, before taking it as any object does.
class NotingObject : public generic_object {
 public:
  NotingObject() : generic_object(nullptr, nullptr, nullptr) {}
  void damage(EffectEvent& event) override {
    ++damageCalls;
    from = event.obj;
    to = event.target;
    amount = event.time;
    custom = event.custom;
    flags = event.flags;
    const solarSystem* system = containingSystem();
    lockedMeanwhile = system != nullptr && system->lock->depth() > 0;
    generic_object::damage(event);
  }

  int damageCalls = 0;
  const generic_object* from = nullptr;
  const generic_object* to = nullptr;
  float amount = -1.0f;
  float custom = -1.0f;
  uint32_t flags = 0xFFFFFFFFu;
  bool lockedMeanwhile = false;
};

// An effect without hooks: a fired effector leaves it as a timed effect.
const char kEffectFile[] =
    "Name: Mark\n"
    "Value: Amount\n";

const char kWeaponModule[] = R"(
float seen = -1;
void fire(Event@ evt, const Effector@ eff, EffectorState@ state) {
  seen = eff[0] + 100 * eff[1];
  state.val1 = eff[1];
  state.val2 += 1;
  eff.trigger(evt);
}
void pastEnd(Event@ evt, const Effector@ eff, EffectorState@ state) {
  state.val1 = eff[2];
  state.val2 = 1;
}
void nullEvent(Event@ evt, const Effector@ eff, EffectorState@ state) {
  eff.trigger(null);
  state.val2 = 1;
}
void nested(Event@ evt, const Effector@ eff, EffectorState@ state) {
  state.val2 += 1;
  if (state.val1 > 0) {
    state.val1 -= 1;
    fireAgain();
  } else {
    notePool();
  }
}
float weigh(const Object@ source, const Object@ target, const Effector@ eff) {
  return source is target ? 0 : eff[0];
}
void hurt(Object@ target, Object@ source) { target.damage(source, 10); }
void hurtFlagged(Object@ target, Object@ source) { target.damage(source, 10, 5); }
void hurtByNothing(Object@ target, Object@ source) { target.damage(null, 10); }
)";

// "Probe" fires its Mark at the target; "Echo" fires itself once more from
// inside its own script function.
const char kEffectorFile[] =
    "Effector: Probe\n"
    "Value: Power\n"
    "Value: Spare\n"
    "OnFire: weapon::fire\n"
    "AutoAttack: weapon::weigh\n"
    "Causes: Mark lasting 5 with Amount[Power]\n"
    "\n"
    "Effector: Echo\n"
    "Value: Power\n"
    "OnFire: weapon::nested\n";

// What the natives "fireAgain" and "notePool" work on.
struct Nesting {
  const effector_def* def = nullptr;
  EffectEvent* event = nullptr;
  const effector* eff = nullptr;
  interactor_data* state = nullptr;
  size_t poolWhileNested = 0;
};
Nesting nesting;

void fireAgain() { effector::trigger(nesting.def->onFire, nesting.event, nesting.eff, nesting.state); }
void notePool() { nesting.poolWhileNested = threadLocals().serverPool.size(); }

// Evaluates an instance of `def` with the value formulas given in order.
void evaluateInstance(effector& eff, const effector_def* def, const std::vector<const wchar_t*>& formulas) {
  effector_forms forms(def);
  for (size_t i = 0; i < formulas.size() && i < forms.values.size(); ++i)
    forms.values[static_cast<irr::u32>(i)] = new formula(formulas[i]);
  NameSpaces variables;
  eff.evaluate(forms, variables);
}

// The Damage state of `object`, made with room for `max`.
State* damageState(generic_object* object, float max) {
  State* state = getOrAddObjectState(object, L"Damage");
  state->value.max = max;
  return state;
}

// Builds `code` as the module `name` of `engine`; null when it does not
// build (the compiler's messages are logged).
asIScriptModule* buildModule(asIScriptEngine* engine, const char* name, const std::string& code) {
  asIScriptModule* module = engine->GetModule(name, asGM_ALWAYS_CREATE);
  module->AddScriptSection(name, code.c_str(), code.size());
  return module->Build() >= 0 ? module : nullptr;
}

// Runs `function` of `module` with the three arguments of an effector
// function: "finished" or "exception: <text>".
std::string runFire(asIScriptModule* module, const char* function, EffectEvent* event, const effector* eff,
                    interactor_data* state) {
  const std::string declaration = std::string("void ") + function + "(Event@, const Effector@, EffectorState@)";
  asIScriptFunction* called = module->GetFunctionByDecl(declaration.c_str());
  if (called == nullptr)
    return "no function " + declaration;
  asIScriptContext* context = createScriptContext(module->GetEngine());
  context->Prepare(called);
  context->SetArgObject(0, event);
  context->SetArgObject(1, const_cast<effector*>(eff));
  context->SetArgObject(2, state);
  std::string outcome = "finished";
  if (context->Execute() != asEXECUTION_FINISHED)
    outcome = std::string("exception: ") + (context->GetExceptionString() ? context->GetExceptionString() : "");
  context->Release();
  return outcome;
}

// Runs "void <function>(Object@, Object@)" of `module`.
std::string runHurt(asIScriptModule* module, const char* function, generic_object* target, generic_object* source) {
  const std::string declaration = std::string("void ") + function + "(Object@, Object@)";
  asIScriptFunction* called = module->GetFunctionByDecl(declaration.c_str());
  if (called == nullptr)
    return "no function " + declaration;
  asIScriptContext* context = createScriptContext(module->GetEngine());
  context->Prepare(called);
  context->SetArgObject(0, target);
  context->SetArgObject(1, source);
  std::string outcome = "finished";
  if (context->Execute() != asEXECUTION_FINISHED)
    outcome = std::string("exception: ") + (context->GetExceptionString() ? context->GetExceptionString() : "");
  context->Release();
  return outcome;
}

class EffectorScriptTypesTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data/Effects");
    std::ofstream(root_ / "Game Data/Effects/mark.txt", std::ios::binary) << kEffectFile;
    scriptapitest::setUpScriptsOfWorkingFolder();
    ASSERT_NE(serverScriptEngine, nullptr);
    ASSERT_NE(findEffect(L"Mark"), nullptr);

    // The module uses natives of this test, so it is built once the session's
    // engines stand, and the effectors that name it are read after it.
    serverScriptEngine->RegisterGlobalFunction("void fireAgain()", asFUNCTION(fireAgain), asCALL_CDECL);
    serverScriptEngine->RegisterGlobalFunction("void notePool()", asFUNCTION(notePool), asCALL_CDECL);
    {
      LogCapture log;
      module_ = buildModule(serverScriptEngine, "weapon", kWeaponModule);
      EXPECT_EQ(log.take(), "");
    }
    ASSERT_NE(module_, nullptr);
    std::filesystem::create_directories(root_ / "Game Data/Effectors");
    std::ofstream(root_ / "Game Data/Effectors/probe.txt", std::ios::binary) << kEffectorFile;
    {
      LogCapture log;
      loadEffectors("Game Data/Effectors/probe.txt");
      EXPECT_EQ(log.take(), "Loading Effectors: Game Data/Effectors/probe.txt\n");
    }
    probe_ = findEffector(L"Probe");
    echo_ = findEffector(L"Echo");
    ASSERT_TRUE(probe_ != nullptr && echo_ != nullptr);
    ASSERT_EQ(probe_->onFire.kind, EFK_Script);
    ASSERT_EQ(echo_->onFire.kind, EFK_Script);
    evaluateInstance(probeInstance_, probe_, {L"7", L"3"});
    evaluateInstance(echoInstance_, echo_, {L"1"});

    system_ = addSystems(1)[0];
    source_ = new NotingObject;
    source_->setContainer(system_);
    target_ = new NotingObject;
    target_->position.set(50, 0, 0);
    target_->setContainer(system_);
  }

  void TearDown() override {
    ScriptedGalaxyTest::TearDown();
    nesting = Nesting();
  }

  float seen() const {
    return *static_cast<const float*>(module_->GetAddressOfGlobalVar(module_->GetGlobalVarIndexByName("seen")));
  }

  asIScriptModule* module_ = nullptr;
  const effector_def* probe_ = nullptr;
  const effector_def* echo_ = nullptr;
  effector probeInstance_;
  effector echoInstance_;
  solarSystem* system_ = nullptr;
  NotingObject* source_ = nullptr;
  NotingObject* target_ = nullptr;
};

// The OnFire function reads the values by index through its const handle,
// writes the state and fires the instance at the event's target.
TEST_F(EffectorScriptTypesTest, OnFireReadsTheValuesAndTriggersTheEffector) {
  interactor_data state;
  const size_t callsBefore = effGfxQueueSize();
  {
    EffectEvent event(source_, target_, 0.0f);
    effector::trigger(probe_->onFire, &event, &probeInstance_, &state);
  }
  EXPECT_EQ(seen(), 307.0f);
  EXPECT_EQ(state.val1, 3.0f);
  EXPECT_EQ(state.val2, 1.0f);
  ASSERT_EQ(target_->timedEffects.size(), 1u);
  const timed_effect* given = target_->timedEffects[0];
  EXPECT_EQ(given->data.effect, findEffect(L"Mark"));
  EXPECT_EQ(given->data.values[0], 7.0f);
  EXPECT_EQ(given->duration, 5.0f);
  EXPECT_EQ(given->event.obj, source_);
  EXPECT_EQ(effGfxQueueSize(), callsBefore + 1);
  EXPECT_TRUE(source_->timedEffects.empty());
}

// Both failures stop the script with their exception and change nothing.
TEST_F(EffectorScriptTypesTest, IndexPastTheValuesAndNullEventRaise) {
  const struct {
    const char* function;
    const char* outcome;
  } cases[] = {
      {"pastEnd", "exception: Index out-of-bounds when accessing Effector"},
      {"nullEvent", "exception: Null Event@ when triggering effector"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    interactor_data state;
    state.val1 = 9.0f;
    const size_t callsBefore = effGfxQueueSize();
    const unsigned timedBefore = timedEffectsInUse();
    EffectEvent event(source_, target_, 0.0f);
    EXPECT_EQ(runFire(module_, c.function, &event, &probeInstance_, &state), c.outcome);
    EXPECT_EQ(state.val1, 9.0f);
    EXPECT_EQ(state.val2, 0.0f);
    EXPECT_TRUE(target_->timedEffects.empty());
    EXPECT_EQ(timedEffectsInUse(), timedBefore);
    EXPECT_EQ(effGfxQueueSize(), callsBefore);
  }
}

// An OnFire function that fires itself again from inside its call: the inner
// call finds the thread's context for the function busy and takes one from
// the pool, which gets it back each time.
TEST_F(EffectorScriptTypesTest, NestedCallsGiveTheirPooledContextsBack) {
  interactor_data state;
  EffectEvent event(source_, target_, 0.0f);
  nesting = {echo_, &event, &echoInstance_, &state, 0};
  state.val1 = 1.0f;
  effector::trigger(echo_->onFire, &event, &echoInstance_, &state);
  const size_t pooled = threadLocals().serverPool.size();
  ASSERT_GE(pooled, 1u) << "the first nested call left its context in the pool";

  constexpr int kCalls = 1000;
  size_t fewestWhileNested = pooled;
  for (int i = 0; i < kCalls; ++i) {
    state.val1 = 1.0f;
    effector::trigger(echo_->onFire, &event, &echoInstance_, &state);
    fewestWhileNested = std::min(fewestWhileNested, nesting.poolWhileNested);
  }
  EXPECT_EQ(state.val2, 2.0f * (kCalls + 1)) << "every outer and inner call ran";
  EXPECT_EQ(fewestWhileNested, pooled - 1) << "the inner calls ran on a pooled context";
  EXPECT_EQ(threadLocals().serverPool.size(), pooled);
}

// A script target function gets both objects as handles and the instance;
// the handles' references are all given back.
TEST_F(EffectorScriptTypesTest, ScriptTargetFunctionLeavesTheReferenceCounts) {
  const int32_t sourceRefs = source_->refCount.load();
  const int32_t targetRefs = target_->refCount.load();
  EXPECT_EQ(effectorTargetWeight(probe_, source_, target_, &probeInstance_, false), 7.0f);
  EXPECT_EQ(effectorTargetWeight(probe_, source_, source_, &probeInstance_, false), 0.0f);
  EXPECT_EQ(source_->refCount.load(), sourceRefs);
  EXPECT_EQ(target_->refCount.load(), targetRefs);
}

// Object "damage": the object's own damage operation under its system's
// lock, with an event from the source; a null source raises and damages
// nothing. The references the handles brought are given back.
TEST_F(EffectorScriptTypesTest, DamageMethodsReachTheObjectsDamageOperation) {
  const struct {
    const char* function;
    const char* outcome;
    int calls;
    uint32_t flags;
  } cases[] = {
      {"hurt", "finished", 1, 0},
      {"hurtFlagged", "finished", 1, 5},
      {"hurtByNothing", "exception: Null Object@ when damaging an object", 0, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    NotingObject* target = new NotingObject;
    target->setContainer(system_);
    State* damage = damageState(target, 100.0f);
    const int32_t sourceRefs = source_->refCount.load();
    const int32_t targetRefs = target->refCount.load();
    EXPECT_EQ(runHurt(module_, c.function, target, source_), c.outcome);
    EXPECT_EQ(target->damageCalls, c.calls);
    EXPECT_EQ(damage->value.val, 10.0f * static_cast<float>(c.calls));
    EXPECT_EQ(target->flags, c.flags);
    if (c.calls > 0) {
      EXPECT_EQ(target->from, source_);
      EXPECT_EQ(target->to, target);
      EXPECT_EQ(target->amount, 10.0f);
      EXPECT_EQ(target->custom, 0.0f);
      EXPECT_TRUE(target->lockedMeanwhile);
    }
    EXPECT_EQ(system_->lock->depth(), 0u);
    EXPECT_EQ(source_->refCount.load(), sourceRefs);
    EXPECT_EQ(target->refCount.load(), targetRefs);
  }
  // Only the server engine has them.
  LogCapture log;
  EXPECT_EQ(buildModule(clientScriptEngine, "client", "void f(Object@ o) { o.damage(o, 1); }\n"), nullptr);
  EXPECT_NE(log.take().find("AS Client Error"), std::string::npos);
}

// --- The shipped data ----------------------------------------------------

const char kBundledData[] = CORVANE_SOURCE_DIR "/data";

class ShippedCombatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerNativeFunctions();
    initThreadLocals();
    folder_ = std::make_unique<WorkingFolder>(kBundledData);
    setupLog_ = scriptapitest::setUpWorkingFolderSession();
  }
  void TearDown() override {
    clearEffGfxQueue();
    tearDownScriptEngines();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    clearTreatyClauses();
    research::clearWebItemDescs();
    clearModTables();
    freeThreadLocals();
    folder_.reset();
  }

  std::unique_ptr<WorkingFolder> folder_;
  std::string setupLog_;
};

// Gives an object back the way the game does: asked to go, gone with its
// next tick (its timed effects with it).
void release(generic_object* object) {
  object->destroy(true);
  object->tick(0.0f);
}

TEST_F(ShippedCombatTest, LoadsSilentlyAndTheBeamDamagesBeforeFiringReturns) {
  std::istringstream lines(setupLog_);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.find("AS "), std::string::npos) << line;
    EXPECT_EQ(line.find("rror"), std::string::npos) << line;
    EXPECT_EQ(line.find("arning"), std::string::npos) << line;
  }
  const effect_handler* hit = findEffect(L"Hit");
  ASSERT_NE(hit, nullptr);
  const auto* hitHooks = static_cast<const effect_generic*>(hit);
  EXPECT_TRUE(hitHooks->hooks[EH_OnActive].enabled && !hitHooks->hooks[EH_OnActive].isInternal);

  const struct {
    const wchar_t* name;
    uint32_t physicalType;
    irr::u32 values;
    bool speed;
  } weapons[] = {{L"Laser", EPT_Beam, 3, false}, {L"Railgun", EPT_Bullet, 4, true}};
  for (const auto& w : weapons) {
    SCOPED_TRACE(irr::core::stringc(w.name).c_str());
    const effector_def* def = findEffector(w.name);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->physicalType, w.physicalType);
    EXPECT_EQ(def->valueNames.size(), w.values);
    EXPECT_NE(def->range, nullptr);
    EXPECT_EQ(def->projectileSpeed != nullptr, w.speed);
    EXPECT_EQ(def->canAttack.size(), 1u);
    EXPECT_EQ(def->autoAttack.size(), 1u);
    EXPECT_EQ(def->onFire.kind, EFK_NativeWithArgs);
    EXPECT_EQ(def->tick.kind, EFK_Native);
    ASSERT_EQ(def->effects.size(), 1u);
    EXPECT_EQ(def->effects[0]->effect, hit);
  }

  const effector_def* laser = findEffector(L"Laser");
  ASSERT_NE(laser, nullptr);
  effector beam;
  evaluateInstance(beam, laser, {L"25", L"300", L"2"});
  EXPECT_EQ(beam.range, 300.0f);
  generic_object* source = new NotingObject;
  NotingObject* target = new NotingObject;
  target->position.set(100, 0, 0);
  State* damage = damageState(target, 100.0f);
  {
    EffectEvent event(source, target, 0.0f);
    fireEffector(&event, laser, &beam);
    EXPECT_EQ(damage->value.val, 25.0f) << "the hit landed before firing returned";
    EXPECT_EQ(target->from, source);

    // Its own activation: fires when reloaded, then waits its delay.
    interactor_data state;
    effector::trigger(laser->onFire, &event, &beam, &state);
    EXPECT_EQ(damage->value.val, 50.0f);
    EXPECT_EQ(state.val1, 2.0f);
    effector::trigger(laser->onFire, &event, &beam, &state);
    EXPECT_EQ(damage->value.val, 50.0f);
  }
  clearEffGfxQueue();
  release(source);
  release(target);
}

}  // namespace

}  // namespace effector_script_types_test
