// Effect definition files: the messages of faulty lines, how hooks bind to
// native and script functions, how bound hooks run, and the bundled effects.
#include "design/effects/effects.h"

#include <angelscript.h>
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/threads.h"
#include "design/effects/effect_functions.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace effects_test {

using namespace AngelScript;

namespace {

// --- Natives of these tests, registered like the game's own ---

// How often the plain native ran, and what the template native added up.
int plainCalls = 0;
float argumentSum = 0.0f;

void testMark(EffectEvent*, effect_data*) { ++plainCalls; }
const PlainFuncEntry kTestMark{testMark};
const RegisterPlainFunction registerTestMark(L"TestMark", &kTestMark);

// Adds up its arguments as the hook evaluates them.
void testSum(EffectEvent* event, effect_data* values, TemplateArgList& args) {
  argumentSum = 0.0f;
  for (irr::u32 i = 0; i < args.size(); ++i)
    argumentSum += evaluateTemplateArg(args[i], event, values);
}
// Takes anything but a resource name first.
bool checkTestSum(const TemplateArgList& args, const char* file, int line) {
  if (args[0].kind == TAK_StateName) {
    logError("%s(%i) error: TestSum() refuses a resource first\n", file, line);
    return false;
  }
  return true;
}
const TemplateFuncEntry kTestSum{testSum, checkTestSum};
const RegisterTemplateFunction registerTestSum(L"TestSum", &kTestSum);

const PlainFuncEntry* plainNative(const wchar_t* name) {
  const irr::s32 index = NamedVar<const PlainFuncEntry*>::findNoSort(plainFunctionRegistry(), name);
  return index < 0 ? nullptr : plainFunctionRegistry()[static_cast<irr::u32>(index)].value;
}

effect_generic* effectNamed(const wchar_t* name) {
  const irr::s32 index = findEffectIndex(name);
  return index < 0 ? nullptr : static_cast<effect_generic*>(effectRegistry()[static_cast<irr::u32>(index)].value);
}

class PlainObject : public generic_object {
 public:
  explicit PlainObject(const wchar_t* objectName = L"") : generic_object(nullptr, nullptr, nullptr) {
    name = objectName;
  }
};

class EffectFileTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratchDir();
    path_ = (folder_ / "effects.txt").string();
  }
  void TearDown() override {
    clearEffects();
    setEngineLogger(nullptr);
  }

  // Writes `text` as an effect file and loads it; the log of the load.
  std::string load(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    LogCapture log;
    loadEffects(path_.c_str());
    return log.take();
  }
  // "<file>(<line>) " for expected messages.
  std::string at(int line) const { return path_ + "(" + std::to_string(line) + ") "; }
  std::string loading() const { return "Loading effects: " + path_ + "\n"; }

  std::filesystem::path folder_;
  std::string path_;
};

// --- Messages ---

struct MessageCase {
  const char* label;
  const char* file;
  int line;               // of the message
  const char* messages;   // after "<file>(<line>) "; "@" stands for a further "<file>(<line>) "
  bool warning;
};

TEST_F(EffectFileTest, FaultyLinesAreReportedAtTheirLevel) {
  const MessageCase cases[] = {
      {"a fifth value", "Name: Five\nValue: V1\nValue: V2\nValue: V3\nValue: V4\nValue: V5\n", 6,
       "error E002: Effects may only have a max of 4 values\n Value \"V5\" ignored\n", false},
      {"a repeated value name", "Name: Dup\nValue: Rate\nValue: Rate\n", 3,
       "error E001: Value names must be unique within effects\n Duplicate Value \"Rate\" ignored\n", false},
      {"no colon", "Name: E\nJust words\n", 2, "warning E012: Line wasn't a Key:Value pair\n", true},
      {"an unknown key", "Name: E\nFoo: bar\n", 2, "warning E010: Unrecognized Key \"Foo\"\n", true},
      {"an undeclared value name", "Name: E\nValue: Rate\nTick: TestSum(Rate, Q)\n", 3,
       "warning E003: Passed invalid named index \"Q\"\n", true},
      {"a closing bracket alone", "Name: E\nTick: TestMark)\n", 2,
       "error E013: Function contains invalid parenthesis\n|error E006: Invalid function specified\n Function: \"\"\n",
       false},
      {"brackets the wrong way round", "Name: E\nTick: TestMark)(\n", 2,
       "error E013: Function contains invalid parenthesis\n|error E006: Invalid function specified\n Function: \"\"\n",
       false},
      {"nothing after internal::", "Name: E\nOnActive: internal:: \n", 2,
       "error E006: Invalid function specified\n Function: \"\"\n", false},
      {"an unknown plain native", "Name: E\nTick: NoSuchNative\n", 2,
       "error E005: Unrecognized internal function specified\n Function: \"NoSuchNative\"\n  Missing Template?\n",
       false},
      {"an unknown template native", "Name: E\nTick: NoSuchNative(1)\n", 2,
       "error E004: Unrecognized internal function specified\n Function: \"NoSuchNative\"\n", false},
      {"a refusing checker", "Name: E\nTick: TestSum(\"Fuel\")\n", 2,
       "error: TestSum() refuses a resource first\n"
       "|error E004: Unrecognized internal function specified\n Function: \"TestSum\"\n",
       false},
      {"a missing script function", "Name: E\nValue: Rate\nTick: fx::f\n", 3,
       "error E008: Specified script function doesn't exist\n Function: \"void f(Event@,float)\"\n", false},
      {"a script function with arguments", "Name: E\nTick: fx::g(1, \"Fuel\")\n", 2,
       "error E008: Specified script function doesn't exist\n"
       " Function: \"void g(Event@,const TemplateArg &in,const TemplateArg &in)\"\n",
       false},
      {"no module name", "Name: E\nTick: ::f\n", 2, "E009: Unable to parse Function definition\n Function: \"::f\"\n",
       false},
      {"a key before any name", "Tick: TestMark\n", 1, "error E011: No effect declared, Key \"Tick\" ignored\n",
       false},
      {"a repeated name", "Name: E\nName: E\nTick: TestMark\n", 3,
       "error E011: No effect declared, Key \"Tick\" ignored\n", false},
  };
  FakeEngineLogger level;
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::string expected;
    for (const char* m = c.messages; *m != 0; ++m)
      expected += *m == '|' ? at(c.line) : std::string(1, *m);
    expected = at(c.line) + expected;

    setEngineLogger(nullptr);
    EXPECT_EQ(load(c.file), loading() + expected);
    clearEffects();

    // Errors only: the warnings, and the note of the load, go.
    level.level = irr::ELL_ERROR;
    setEngineLogger(&level);
    EXPECT_EQ(load(c.file), c.warning ? "" : expected);
    clearEffects();
  }
}

TEST_F(EffectFileTest, AnUnreadableFileIsReported) {
  LogCapture log;
  loadEffects((folder_ / "missing.txt").string().c_str());
  EXPECT_EQ(log.take(), "Failed to load effect file: Bad File \"" + (folder_ / "missing.txt").string() + "\"\n");
  EXPECT_EQ(effectRegistry().size(), 0u);
}

// --- What loading builds ---

TEST_F(EffectFileTest, ValuesHooksAndArguments) {
  load("// comments and blank lines are skipped\n"
       "\n"
       "Name: Refinery\n"
       "Value: Rate\n"
       "Value: Ratio\n"
       "Value: Rate\n"
       "Value: Cap\n"
       "Value: Spare\n"
       "Value: Extra\n"
       "Tick: TestSum(Ratio, \"Fuel\", 2.5, -1, \"\", \"Open)\n"
       "OnActive: internal::TestMark\n"
       "OnDeactive: NoSuchNative\n");
  effect_generic* effect = effectNamed(L"Refinery");
  ASSERT_NE(effect, nullptr);
  EXPECT_EQ(std::vector<irr::core::stringw>(effect->valueNames.begin(), effect->valueNames.end()),
            (std::vector<irr::core::stringw>{L"Rate", L"Ratio", L"Cap", L"Spare"}));
  EXPECT_EQ(effect->hookFlags, (1u << EH_Tick) | (1u << EH_OnActive) | (1u << EH_OnDeactive))
      << "a hook that failed to bind still counts as defined";

  const effectHook& tick = effect->hooks[EH_Tick];
  EXPECT_TRUE(tick.enabled && tick.isInternal && tick.hasTemplateArgs);
  EXPECT_EQ(tick.function.templateApply, &testSum);
  ASSERT_EQ(tick.args.size(), 6u);
  EXPECT_EQ(tick.args[0].kind, TAK_ValueName);
  EXPECT_EQ(tick.args[0].value.index, 1u);
  EXPECT_EQ(tick.args[1].kind, TAK_StateName);
  EXPECT_EQ(tick.args[1].value.string->toStringw(), L"Fuel");
  EXPECT_EQ(tick.args[2].kind, TAK_Number);
  EXPECT_FLOAT_EQ(tick.args[2].value.number, 2.5f);
  EXPECT_FLOAT_EQ(tick.args[3].value.number, -1.0f);
  EXPECT_EQ(tick.args[4].value.string->toStringw(), L"") << "an empty quoted name";
  EXPECT_EQ(tick.args[5].value.string->toStringw(), L"Open") << "no closing quote: the text to the end";

  const effectHook& active = effect->hooks[EH_OnActive];
  EXPECT_TRUE(active.enabled && active.isInternal && !active.hasTemplateArgs);
  EXPECT_EQ(active.function.plainApply, &testMark);
  EXPECT_FALSE(effect->hooks[EH_OnDeactive].enabled);
  EXPECT_FALSE(effect->hooks[EH_Once].enabled);
}

TEST_F(EffectFileTest, PlainNativesBindWithOrWithoutPrefixOrEmptyBrackets) {
  const char* const texts[] = {"TestMark", "internal::TestMark", "TestMark()", "internal:: TestMark ( )",
                               "internalTestMark"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    const std::string log = load(std::string("Name: E\nOnActive: ") + text + "\n");
    const effectHook& hook = effectNamed(L"E")->hooks[EH_OnActive];
    if (std::string(text) == "internalTestMark") {
      EXPECT_FALSE(hook.enabled) << "native, but the whole text is the name";
      EXPECT_NE(log.find("E005"), std::string::npos);
    } else {
      EXPECT_EQ(log, loading());
      EXPECT_TRUE(hook.enabled && hook.isInternal && !hook.hasTemplateArgs);
      EXPECT_EQ(hook.function.plainApply, &testMark);
    }
    clearEffects();
  }
}

TEST_F(EffectFileTest, DeathBindsFromThePlainRegistry) {
  registerNativeFunctions();
  const PlainFuncEntry* death = plainNative(L"Death");
  if (death == nullptr)
    GTEST_SKIP() << "the native Death is not registered";
  for (const char* text : {"internal::Death", "Death()"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(load(std::string("Name: E\nOnActive: ") + text + "\n"), loading());
    const effectHook& hook = effectNamed(L"E")->hooks[EH_OnActive];
    EXPECT_TRUE(hook.enabled && hook.isInternal && !hook.hasTemplateArgs);
    EXPECT_EQ(hook.function.plainApply, death->apply);
    clearEffects();
  }
}

TEST_F(EffectFileTest, ARepeatedHookReplacesTheEarlierOne) {
  EXPECT_EQ(load("Name: E\nValue: Rate\nTick: TestSum(Rate, 3)\nTick: TestMark\n"
                 "OnActive: TestMark\nOnActive: NoSuchNative\n"),
            loading() + at(6) +
                "error E005: Unrecognized internal function specified\n Function: \"NoSuchNative\"\n"
                "  Missing Template?\n");
  effect_generic* effect = effectNamed(L"E");
  EXPECT_TRUE(effect->hooks[EH_Tick].enabled);
  EXPECT_FALSE(effect->hooks[EH_Tick].hasTemplateArgs);
  EXPECT_EQ(effect->hooks[EH_Tick].args.size(), 0u);
  EXPECT_EQ(effect->hooks[EH_Tick].function.plainApply, &testMark);
  EXPECT_FALSE(effect->hooks[EH_OnActive].enabled) << "the failed line leaves no earlier function behind";
}

TEST_F(EffectFileTest, ARepeatedNameKeepsTheFirstEffect) {
  load("Name: A\nValue: First\nName: B\nName: A\nValue: Second\nTick: TestMark\nName: C\nTick: TestMark\n");
  ASSERT_EQ(effectRegistry().size(), 3u);
  effect_generic* a = effectNamed(L"A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->valueNames.size(), 1u);
  EXPECT_EQ(a->hookFlags, 0u);
  EXPECT_EQ(effectNamed(L"C")->hookFlags, 1u << EH_Tick);
  EXPECT_EQ(findEffectIndex(L"D"), -1);
}

// --- Running hooks ---

// The hook operation of `kind`, called through the base class. (A table of
// member pointers would do, but the sanitizer build of this compiler calls
// the first virtual for each of them.)
void runOperation(effect_handler& effect, unsigned kind, EffectEvent* event, effect_data* values) {
  switch (kind) {
    case EH_OnActive: effect.OnActive(event, values); break;
    case EH_OnDeactive: effect.OnDeactive(event, values); break;
    case EH_OnConstruct: effect.OnConstruct(event, values); break;
    case EH_OnDestruct: effect.OnDestruct(event, values); break;
    case EH_Once: effect.Once(event, values); break;
    case EH_Tick: effect.Tick(event, values); break;
    case EH_OnGlobalDamage: effect.OnGlobalDamage(event, values); break;
    case EH_OnDamage: effect.OnDamage(event, values); break;
  }
}

TEST_F(EffectFileTest, EachOperationRunsItsOwnHook) {
  for (unsigned kind = 0; kind < EH_COUNT; ++kind) {
    effect_generic effect;
    effect.hooks[kind].function.plainApply = testMark;
    effect.hooks[kind].isInternal = true;
    effect.hooks[kind].enabled = true;
    EffectEvent event(nullptr, nullptr, 1.0f);
    effect_data values;
    for (unsigned operation = 0; operation < EH_COUNT; ++operation) {
      plainCalls = 0;
      runOperation(effect, operation, &event, &values);
      EXPECT_EQ(plainCalls, operation == kind ? 1 : 0) << "hook " << kind << ", operation " << operation;
    }
  }
}

TEST_F(EffectFileTest, TemplateArgumentsEvaluateAgainstTheEventAndValues) {
  PlainObject* ship = new PlainObject;
  storedAmount& fuel = getOrAddObjectState(ship, L"Fuel")->value;
  fuel.val = 10.0f;
  fuel.inCargo = 4.0f;
  fuel.required = 3.0f;
  EffectEvent event(ship, ship, 0.25f);
  effect_data values;
  values.values[2] = 7.5f;

  auto arg = [](TemplateArgKind kind, uintptr_t raw) {
    templateArg made;
    made.value.raw = raw;
    made.kind = kind;
    return made;
  };
  templateArg number = arg(TAK_Number, 0);
  number.value.number = -2.5f;
  ScriptString* fuelName = new ScriptString(irr::core::stringw(L"Fuel"));
  ScriptString* oreName = new ScriptString(irr::core::stringw(L"Ore"));
  const struct {
    const char* label;
    templateArg arg;
    bool withEvent;
    float expected;
  } cases[] = {
      {"a resource: val + inCargo - required", arg(TAK_StateName, reinterpret_cast<uintptr_t>(fuelName)), true,
       11.0f},
      {"a resource the object lacks (its state is made)", arg(TAK_StateName, reinterpret_cast<uintptr_t>(oreName)),
       true, 0.0f},
      {"a resource without an event", arg(TAK_StateName, reinterpret_cast<uintptr_t>(fuelName)), false, 0.0f},
      {"a value", arg(TAK_ValueName, 2), true, 7.5f},
      {"a value index past the four", arg(TAK_ValueName, 4), true, 0.0f},
      {"a value without a value block", arg(TAK_ValueName, 2), false, 0.0f},
      {"a number", number, false, -2.5f},
      {"an unknown kind", arg(static_cast<TemplateArgKind>(3), 0x7FFFFFFF), true, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FLOAT_EQ(evaluateTemplateArg(c.arg, c.withEvent ? &event : nullptr, c.withEvent ? &values : nullptr),
                    c.expected);
  }
  EXPECT_NE(findObjectState(ship, L"Ore"), nullptr);
  fuelName->release();
  oreName->release();
  ship->drop();
  EXPECT_STREQ(templateArgKindName(TAK_StateName), "State Name");
  EXPECT_STREQ(templateArgKindName(TAK_ValueName), "Value Name");
  EXPECT_STREQ(templateArgKindName(TAK_Number), "Number");
}

TEST_F(EffectFileTest, BoundNativesRunWithTheirArguments) {
  load("Name: E\nValue: Rate\nValue: Cap\nTick: TestSum(Cap, \"Fuel\", 0.5)\nOnActive: TestMark\n");
  effect_generic* effect = effectNamed(L"E");
  PlainObject* ship = new PlainObject;
  getOrAddObjectState(ship, L"Fuel")->value.val = 20.0f;
  EffectEvent event(ship, ship, 0.25f);
  effect_data values;
  values.effect = effect;
  values.values[1] = 3.0f;
  effect->Tick(&event, &values);
  EXPECT_FLOAT_EQ(argumentSum, 23.5f);
  plainCalls = 0;
  effect->OnActive(&event, &values);
  effect->OnDeactive(&event, &values);  // not defined: nothing
  EXPECT_EQ(plainCalls, 1);
  ship->drop();
}

TEST_F(EffectFileTest, EventsHoldTheirObjects) {
  PlainObject* ship = new PlainObject;
  PlainObject* planet = new PlainObject;
  {
    EffectEvent own(ship, ship, 1.0f);
    EXPECT_EQ(ship->refCount.load(), 2) << "one reference when obj and target are the same";
    EffectEvent other(ship, planet, 1.0f);
    EXPECT_EQ(ship->refCount.load(), 3);
    EXPECT_EQ(planet->refCount.load(), 2);
    EffectEvent none(nullptr, nullptr, 1.0f);
    EXPECT_EQ(other.state, ESC_NOCHANGE);
    EXPECT_EQ(other.sourceKind | other.destKind | other.flags, 0u);
    EXPECT_EQ(other.custom, 0.0f);
  }
  EXPECT_EQ(ship->refCount.load(), 1);
  EXPECT_EQ(planet->refCount.load(), 1);
  ship->drop();
  planet->drop();
}

// --- Script hooks ---

float recorded[2] = {0, 0};
void record(float a, float b) {
  recorded[0] = a;
  recorded[1] = b;
}

class ScriptHookTest : public EffectFileTest {
 protected:
  void SetUp() override {
    EffectFileTest::SetUp();
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    // The declarations hooks are bound by; their members do not matter here.
    serverScriptEngine->RegisterObjectType("Event", 0, asOBJ_REF | asOBJ_NOCOUNT);
    serverScriptEngine->RegisterObjectType("TemplateArg", sizeof(templateArg), asOBJ_VALUE | asOBJ_POD);
    serverScriptEngine->RegisterGlobalFunction("void record(float, float)", asFUNCTION(record), asCALL_CDECL);
    EXPECT_EQ(log.take(), "");
  }
  void TearDown() override {
    freeThreadLocals();
    clearEffects();
    discardScriptModules();
    releaseScriptEngines();
    EffectFileTest::TearDown();
  }
  void build(const char* module, const char* code) {
    asIScriptModule* built = serverScriptEngine->GetModule(module, asGM_ALWAYS_CREATE);
    built->AddScriptSection(module, code);
    ASSERT_GE(built->Build(), 0);
  }
};

TEST_F(ScriptHookTest, AHookWithoutListPassesTheEffectsValues) {
  build("fx",
        "void onActive(Event@ e, float a, float b) { record(a, b); }\n"
        "void tick(Event@ e) { record(-1, -1); }\n");
  EXPECT_EQ(load("Name: E\nValue: Rate\nValue: Cap\nOnActive: fx::onActive\nName: F\nTick: fx::tick\n"), loading());
  effect_generic* effect = effectNamed(L"E");
  const effectHook& hook = effect->hooks[EH_OnActive];
  ASSERT_TRUE(hook.enabled);
  EXPECT_FALSE(hook.isInternal || hook.hasTemplateArgs);
  EXPECT_EQ(hook.function.scriptFunction,
            serverScriptEngine->GetModule("fx")->GetFunctionByDecl("void onActive(Event@,float,float)")->GetId());

  EffectEvent event(nullptr, nullptr, 1.0f);
  effect_data values;
  values.effect = effect;
  values.values[0] = 2.5f;
  values.values[1] = 4.0f;
  effect->OnActive(&event, &values);
  EXPECT_EQ(recorded[0], 2.5f);
  EXPECT_EQ(recorded[1], 4.0f);
  // Again, on the thread's cached context.
  values.values[1] = 6.0f;
  effect->OnActive(&event, &values);
  EXPECT_EQ(recorded[1], 6.0f);

  effect_generic* plain = effectNamed(L"F");
  effect_data none;
  none.effect = plain;
  plain->Tick(&event, &none);
  EXPECT_EQ(recorded[0], -1.0f);
}

TEST_F(ScriptHookTest, AFunctionOfThatNameWithOtherParameters) {
  build("fx",
        "void f(Event@ e) {}\n"
        "void g(Event@ e) {}\n"
        "void g(Event@ e, int x) {}\n"
        "void h(Event@ e, const TemplateArg &in a, const TemplateArg &in b) {}\n");
  const struct {
    const char* hook;
    const char* parameters;
  } cases[] = {
      {"fx::f", "(Event@,float)"},
      {"fx::g", "(Event@,float)"},  // overloaded: found by scanning the module
      {"fx::h(Rate)", "(Event@,const TemplateArg &in)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hook);
    const std::string text = std::string(c.hook).substr(0, std::string(c.hook).find('('));
    EXPECT_EQ(load(std::string("Name: E\nValue: Rate\nTick: ") + c.hook + "\n"),
              loading() + at(3) + "error E007: No function with matching parameter list " + c.parameters +
                  "\n Function: \"" + text + "\"\n");
    EXPECT_FALSE(effectNamed(L"E")->hooks[EH_Tick].enabled);
    clearEffects();
  }
  EXPECT_EQ(load("Name: E\nValue: Rate\nTick: fx::h(Rate, \"Fuel\")\n"), loading());
  const effectHook& hook = effectNamed(L"E")->hooks[EH_Tick];
  EXPECT_TRUE(hook.enabled && hook.hasTemplateArgs && !hook.isInternal);
}

// --- The bundled effects ---

// Whether an effect file names a server-script function ("module::name",
// any module but "internal").
bool namesScriptFunctions(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t at = text.find("::"); at != std::string::npos; at = text.find("::", at + 2)) {
    size_t start = at;
    while (start > 0 && (std::isalnum(static_cast<unsigned char>(text[start - 1])) || text[start - 1] == '_'))
      --start;
    if (start < at && text.compare(start, at - start, "internal") != 0)
      return true;
  }
  return false;
}

TEST(BundledEffects, LoadWithoutComplaint) {
  registerNativeFunctions();
  if (plainNative(L"Death") == nullptr)
    GTEST_SKIP() << "the native effect functions are not registered";
  const std::filesystem::path folder = CORVANE_SOURCE_DIR "/data/Game Data/Effects";
  std::vector<std::filesystem::path> files;
  // Files whose hooks name server-script functions need the session's
  // scripts: the scripted session tests load those (tests/scriptapi).
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".txt" && !namesScriptFunctions(entry.path()))
      files.push_back(entry.path());
  ASSERT_FALSE(files.empty());
  LogCapture log;
  FakeEngineLogger warnings(irr::ELL_WARNING);
  setEngineLogger(&warnings);
  for (const auto& file : files)
    loadEffects(file.string().c_str());
  setEngineLogger(nullptr);
  EXPECT_EQ(log.take(), "");
  for (irr::u32 i = 0; i < effectRegistry().size(); ++i) {
    const auto* effect = static_cast<const effect_generic*>(effectRegistry()[i].value);
    for (unsigned kind = 0; kind < EH_COUNT; ++kind)
      EXPECT_EQ(effect->hooks[kind].enabled, (effect->hookFlags & (1u << kind)) != 0)
          << wideToStdString(effectRegistry()[i].name.c_str()) << " hook " << kind;
  }
  EXPECT_GE(findEffectIndex(L"CargoBay"), 0);
  clearEffects();
}

}  // namespace

}  // namespace effects_test
