// Effector definition files: the messages of faulty lines, what the keys
// make of a definition, function references (natives, template arguments,
// script functions) and the ids of a session.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/formula.h"
#include "core/threads.h"
#include "design/effectors/effector_def.h"
#include "design/effectors/effector_script_types.h"
#include "design/effects/effects.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace effector_loader_test {

using namespace AngelScript;

namespace {

// --- Natives of these tests, registered like the game's own ---

float testTarget(const generic_object*, const generic_object*, const effector*) { return 1.0f; }
void testFire(EffectEvent*, const effector*, interactor_data*) {}
void testTick(EffectEvent*, const effector*, interactor_data*) {}
void testArgs(EffectEvent*, const effector*, interactor_data*, const EffectorArgList&) {}
// Refuses everything, saying so.
bool refuseAll(const EffectorArgList&, const char* file, int line) {
  logError("%s(%i) error: TestPicky() refuses\n", file, line);
  return false;
}
const FireFunctionWithArgsEntry kTestArgs{testArgs, nullptr};
const FireFunctionWithArgsEntry kTestPicky{testArgs, refuseAll};

const bool registered = [] {
  registerTargetFunction(L"TestTarget").value = testTarget;
  registerFireFunction(L"TestFire").value = testFire;
  registerTickFunction(L"TestTick").value = testTick;
  registerFireFunctionWithArgs(L"TestArgs").value = &kTestArgs;
  registerFireFunctionWithArgs(L"TestPicky").value = &kTestPicky;
  return true;
}();

float valueOf(const formula* program) { return program == nullptr ? -1.0f : evaluateFormula(program, nullptr); }

class EffectorFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registered);
    folder_ = scratchDir();
    path_ = (folder_ / "effectors.txt").string();
    const std::string effects = (folder_ / "effects.txt").string();
    std::ofstream(effects, std::ios::binary) << "Name: Hit\nValue: Amount\nValue: Rate\n";
    LogCapture log;
    loadEffects(effects.c_str());
    ASSERT_NE(findEffect(L"Hit"), nullptr);
  }
  void TearDown() override {
    clearEffectors();
    clearEffects();
    freeThreadLocals();
    setEngineLogger(nullptr);
  }

  // Writes `text` as an effector file and loads it; the log of the load.
  std::string load(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    LogCapture log;
    loadEffectors(path_.c_str());
    return log.take();
  }
  std::string at(int line) const { return path_ + "(" + std::to_string(line) + ") "; }
  std::string loading() const { return "Loading Effectors: " + path_ + "\n"; }

  std::filesystem::path folder_;
  std::string path_;
};

// --- Messages ---

TEST_F(EffectorFileTest, FaultyLinesAreLoggedWithFileAndLine) {
  const std::string log = load(
      "Range: 5\n"                       // 1
      "stray\n"                          // 2
      "Effector: Laser\n"                // 3
      "Value: Damage\n"                  // 4
      "Value: Damage\n"                  // 5
      "IsWeapon: maybe\n"                // 6
      "PhysicalType: beam\n"             // 7
      "Range: 100\n"                     // 8
      "Range: 200\n"                     // 9
      "ProjectileSpeed: 1\n"             // 10
      "ProjectileSpeed: 2\n"             // 11
      "Causes: Nope\n"                   // 12
      "Colour: red\n"                    // 13: quiet, the block is refused
      "Range: 300\n"                     // 14
      "Colour: red\n"                    // 15
      "Causes: Hit with Bogus[1]\n"      // 16
      "Effector: Hit\n"                  // 17
      "Effector: Laser\n"                // 18
      "Effector: Beam\n"                 // 19
      "AutoAttack: Nope\n"               // 20
      "OnFire: Nope\n"                   // 21
      "Tick: Nope\n"                     // 22
      "OnFire: TestPicky(1)\n"           // 23
      "Causes: Hit with Amount[1],\n"    // 24
      "OnFire: TestFire\n");             // 25
  EXPECT_EQ(log, loading() +
                     at(1) + "error Er002: No Effector Prepared. Ignoring key \"Range\"\n" +
                     at(2) + "error Er002: No Effector Prepared. Ignoring line \"stray\"\n" +
                     at(5) + "error Er008: Duplicate value name \"Damage\"\n" +
                     at(6) + "error Er207: IsWeapon must be 'true' or 'false'\n" +
                     at(7) + "error Er014: Invalid physical type \"beam\"\n" +
                     at(9) + "error Er013: Range specified more than once\n" +
                     at(11) + "error Er013: ProjectileSpeed specified more than once\n" +
                     at(12) + "error Er006: Effect \"Nope\" does not exist\n" +
                     at(14) + "error Er013: Range specified more than once\n" +
                     at(15) + "error Er003: Unrecognized key on line \"Colour: red\"\n" +
                     at(16) + "error Er007: Invalid value name \"Bogus\"\n" +
                     at(17) + "error Er010: Effectors may not share names with effects. (Hit)\n" +
                     at(18) + "error Er001: Duplicate Effector \"Laser\"\n" +
                     at(20) + "error Er004: Unrecognized internal Target Weight function \"Nope\"\n" +
                     at(21) + "error Er005: Unrecognized internal OnFire function \"Nope\"\n" +
                     at(22) + "error Er012: Unrecognized internal Tick function \"Nope\"\n" +
                     path_ + "(23) error: TestPicky() refuses\n" +
                     at(23) + "error Er005: Unrecognized internal OnFire function \"TestPicky\"\n" +
                     at(25) + "warning Er009: An effect value list was not ended (likely a trailing ',')\n");
  // The faulty lines changed nothing; the keyed line after the open list
  // still applied.
  const effector_def* laser = findEffector(L"Laser");
  ASSERT_NE(laser, nullptr);
  EXPECT_EQ(laser->valueNames.size(), 1u);
  EXPECT_TRUE(laser->isWeapon);
  EXPECT_EQ(laser->physicalType, EPT_Instant);
  EXPECT_EQ(valueOf(laser->range), 100.0f);
  EXPECT_EQ(valueOf(laser->projectileSpeed), 1.0f);
  const effector_def* beam = findEffector(L"Beam");
  ASSERT_NE(beam, nullptr);
  ASSERT_EQ(beam->autoAttack.size(), 1u);
  EXPECT_EQ(beam->autoAttack[0].kind, EFK_None);
  EXPECT_EQ(beam->onFire.kind, EFK_Native);
  EXPECT_EQ(beam->tick.kind, EFK_None);
  EXPECT_EQ(findEffector(L"Hit"), nullptr);

  // A refused name at the top of a file leaves no definition current: its
  // keys are dropped quietly, lines without ':' are still reported.
  EXPECT_EQ(load("Effector: Laser\nRange: 5\nColour: red\nstray\n"),
            loading() + at(1) + "error Er001: Duplicate Effector \"Laser\"\n" + at(4) +
                "error Er002: No Effector Prepared. Ignoring line \"stray\"\n");
  EXPECT_EQ(valueOf(laser->range), 100.0f);

  LogCapture capture;
  const std::string absent = (folder_ / "absent.txt").string();
  loadEffectors(absent.c_str());
  EXPECT_EQ(capture.take(), "Unable to load file " + absent + "\n");
}

TEST_F(EffectorFileTest, TheWarningWaitsForItsLevel) {
  FakeEngineLogger errorsOnly(irr::ELL_ERROR);
  setEngineLogger(&errorsOnly);
  EXPECT_EQ(load("Effector: A\nCauses: Hit with Amount[1],\nRange: 2\n"), "");
}

// --- Keys ---

TEST_F(EffectorFileTest, KeysFillTheDefinition) {
  EXPECT_EQ(load("Effector: Laser\n"
                 "IsWeapon: TRUE\n"
                 "PhysicalType: Beam\n"
                 "HitGfx: sparks\nFireGfx: flash\nGfxColor: #fff\nGfxSize: 2\nSound: zap\nMaterial: m\n"
                 "Range: 10\n"
                 "CanAttack: TestTarget, TestTarget, ::TestTarget\n"
                 "CanAttack: ::TestTarget\n"
                 "OnFire: TestFire\n"
                 "Tick: internal::TestTick\n"
                 "Causes: Hit lasting 5\n"
                 "Causes: Hit with Amount[3],\n"
                 "Rate[2]\n"
                 "Causes: Hit\n"
                 "Causes: Hit lasting 2 with Rate[4], Amount\n"
                 "Effector: Beam\n"
                 "IsWeapon: false\n"
                 "CanAttack: TestTarget, TestTarget\n"
                 "OnFire: ::TestFire\n"
                 "Effector: Laser\n"
                 "CanAttack: TestTarget\n"
                 "Colour: red\n"
                 "Effector: Rail\n"
                 "OnFire: TestFire(1\n"),
            loading() + at(24) + "error Er001: Duplicate Effector \"Laser\"\n" + at(28) +
                "error Er005: Unrecognized internal OnFire function \"TestFire(1\"\n");

  const effector_def* laser = findEffector(L"Laser");
  ASSERT_NE(laser, nullptr);
  EXPECT_TRUE(laser->isWeapon);
  EXPECT_EQ(laser->physicalType, EPT_Beam);
  EXPECT_EQ(valueOf(laser->range), 10.0f);
  EXPECT_EQ(laser->projectileSpeed, nullptr);
  EXPECT_EQ(laser->gfx.def, laser);
  EXPECT_EQ(laser->gfx.size, 1.0f);
  EXPECT_EQ(laser->gfx.color, 0xFFFFFFFFu);
  EXPECT_EQ(laser->gfx.material.size(), 0u);
  ASSERT_EQ(laser->canAttack.size(), 1u);
  EXPECT_EQ(laser->canAttack[0].kind, EFK_Native);
  EXPECT_EQ(laser->canAttack[0].function.target, testTarget);
  EXPECT_EQ(laser->autoAttack.size(), 0u);
  EXPECT_EQ(laser->onFire.kind, EFK_Native);
  EXPECT_EQ(laser->onFire.function.fire, testFire);
  EXPECT_EQ(laser->tick.kind, EFK_Native);
  EXPECT_EQ(laser->tick.function.fire, testTick);

  // Each caused effect: its duration and the formulas of the two slots.
  const struct {
    float duration;
    float amount;  // -1: no formula
    float rate;
  } caused[] = {{5, -1, -1}, {0, 3, 2}, {0, -1, -1}, {2, 0, 4}};
  ASSERT_EQ(laser->effects.size(), 4u);
  for (irr::u32 i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const effector_def::effector_effect& effect = *laser->effects[i];
    EXPECT_EQ(effect.effect, findEffect(L"Hit"));
    EXPECT_EQ(valueOf(effect.duration), caused[i].duration);
    EXPECT_EQ(valueOf(effect.values[0]), caused[i].amount);
    EXPECT_EQ(valueOf(effect.values[1]), caused[i].rate);
    EXPECT_EQ(effect.values[2], nullptr);
  }

  // The refused second "Laser" block went to Beam, current before it.
  const effector_def* beam = findEffector(L"Beam");
  ASSERT_NE(beam, nullptr);
  EXPECT_FALSE(beam->isWeapon);
  EXPECT_EQ(beam->canAttack.size(), 1u);
  EXPECT_EQ(beam->onFire.kind, EFK_Native);
  EXPECT_EQ(beam->onFire.function.fire, testFire);
  EXPECT_EQ(findEffector(L"Rail")->onFire.kind, EFK_None);
}

// --- Template arguments ---

TEST_F(EffectorFileTest, TemplateArgumentsByKind) {
  testing::internal::CaptureStdout();
  const std::string log = load(
      "Effector: Gun\nValue: Damage\nValue: interval\n"
      "OnFire: TestArgs(\"Fuel\", i1, 2.5, Damage, interval, i2)\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "bad index\n");
  EXPECT_EQ(log, loading());

  const effector_def* gun = findEffector(L"Gun");
  ASSERT_NE(gun, nullptr);
  ASSERT_EQ(gun->valueNames.size(), 2u);
  EXPECT_EQ(gun->valueNames[1], internCommonString(L"interval"));
  EXPECT_EQ(gun->onFire.kind, EFK_NativeWithArgs);
  EXPECT_EQ(gun->onFire.function.fireWithArgs, testArgs);
  const EffectorArgList& args = gun->onFire.args;
  ASSERT_EQ(args.size(), 5u);
  EXPECT_EQ(args[0].kind, EAK_String);
  EXPECT_EQ(args[0].value.string, internCommonString(L"Fuel"));
  EXPECT_EQ(args[1].kind, EAK_ValueIndex);
  EXPECT_EQ(args[1].value.index, 1u);
  EXPECT_EQ(args[2].kind, EAK_StaticValue);
  EXPECT_EQ(args[2].value.number, 2.5f);
  EXPECT_EQ(args[3].kind, EAK_StateIndex);
  EXPECT_EQ(args[3].value.index, 0u);
  EXPECT_EQ(args[4].kind, EAK_StateIndex);
  EXPECT_EQ(args[4].value.index, 1u);
  EXPECT_STREQ(effectorArgKindName(EAK_StateIndex), "state index");
}

TEST_F(EffectorFileTest, IndexNotesGoToStandardOutputAtTheWarningLevel) {
  const struct {
    irr::ELOG_LEVEL level;
    const char* printed;
  } cases[] = {{irr::ELL_WARNING, "Bad Index\nbad index\n"}, {irr::ELL_ERROR, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    FakeEngineLogger logger(c.level);
    setEngineLogger(&logger);
    testing::internal::CaptureStdout();
    const std::string log = load("Effector: Gun\nOnFire: TestArgs(Nothing, 1, i7)\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    EXPECT_EQ(log, "");  // neither the log nor the console
    EXPECT_EQ(findEffector(L"Gun")->onFire.args.size(), 1u);
    setEngineLogger(nullptr);
    clearEffectors();
  }
}

// --- Ids ---

TEST_F(EffectorFileTest, IdsFollowLoadOrderAndStartAgainEachSession) {
  EXPECT_EQ(load("Effector: C\nEffector: A\nEffector: B\n"), loading());
  EXPECT_EQ(findEffector(L"C")->id, 0u);
  EXPECT_EQ(findEffector(L"A")->id, 1u);
  EXPECT_EQ(findEffector(L"B")->id, 2u);
  EXPECT_EQ(findEffectorById(1), findEffector(L"A"));
  EXPECT_EQ(findEffectorById(3), nullptr);
  EXPECT_EQ(nextEffectorId(), 3u);

  clearEffectors();
  EXPECT_EQ(effectorRegistry().size(), 0u);
  EXPECT_EQ(findEffectorById(0), nullptr);
  EXPECT_EQ(nextEffectorId(), 0u);
  load("Effector: D\n");
  EXPECT_EQ(findEffector(L"D")->id, 0u);
  EXPECT_EQ(findEffectorById(0), findEffector(L"D"));
}

// --- Script functions ---

class EffectorScriptTest : public EffectorFileTest {
 protected:
  void SetUp() override {
    EffectorFileTest::SetUp();
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    serverScriptEngine->RegisterObjectType("Object", 0, asOBJ_REF | asOBJ_NOCOUNT);
    serverScriptEngine->RegisterObjectType("Event", 0, asOBJ_REF | asOBJ_NOCOUNT);
    registerEffectorTypes();
    EXPECT_EQ(log.take(), "");
  }
  void TearDown() override {
    freeThreadLocals();
    clearEffectors();
    discardScriptModules();
    releaseScriptEngines();
    EffectorFileTest::TearDown();
  }
  asIScriptModule* build(const char* module, const char* code) {
    asIScriptModule* built = serverScriptEngine->GetModule(module, asGM_ALWAYS_CREATE);
    built->AddScriptSection(module, code);
    EXPECT_GE(built->Build(), 0);
    return built;
  }
};

TEST_F(EffectorScriptTest, MissingFunctionsAreReported) {
  const std::string missing = "Effect Definition Error:\n No Function \"fx::fire\" found\n";
  const struct {
    const char* line;
    std::string where;
  } cases[] = {
      {"OnFire: fx::fire", "  In: "},
      {"Tick: fx::fire", "  In: "},
      {"CanAttack: TestTarget, fx::fire", "  In 'fx::fire': "},
  };
  for (bool moduleExists : {false, true}) {
    if (moduleExists)  // with the other declaration only
      build("fx", "float fire(const Object@ a, const Object@ b, const Effector@ e) { return 1; }\n");
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.line) + (moduleExists ? " (module)" : ""));
      if (moduleExists && c.where != "  In: ")
        continue;  // the target declaration exists there
      EXPECT_EQ(load(std::string("Effector: A\n") + c.line + "\n"),
                loading() + missing + c.where + path_ + "(2)\n");
      clearEffectors();
    }
  }
}

TEST_F(EffectorScriptTest, FoundFunctionsBindWithKind4) {
  asIScriptModule* fx = build("fx",
                              "void fire(Event@ e, const Effector@ f, EffectorState@ s) {}\n"
                              "float weigh(const Object@ a, const Object@ b, const Effector@ f) { return 1; }\n");
  EXPECT_EQ(load("Effector: A\nOnFire: fx::fire\nTick: fx::fire\nAutoAttack: fx::weigh, TestTarget\n"), loading());
  const effector_def* def = findEffector(L"A");
  asIScriptFunction* fire = fx->GetFunctionByDecl("void fire(Event@, const Effector@, EffectorState@)");
  ASSERT_NE(fire, nullptr);
  EXPECT_EQ(def->onFire.kind, EFK_Script);
  EXPECT_EQ(def->onFire.function.script, fire);
  EXPECT_EQ(def->tick.kind, EFK_Script);
  ASSERT_EQ(def->autoAttack.size(), 2u);
  EXPECT_EQ(def->autoAttack[0].kind, EFK_Script);
  EXPECT_EQ(def->autoAttack[0].function.script,
            fx->GetFunctionByDecl("float weigh(const Object@, const Object@, const Effector@)"));
  EXPECT_EQ(def->autoAttack[1].kind, EFK_Native);
}

}  // namespace

}  // namespace effector_loader_test
