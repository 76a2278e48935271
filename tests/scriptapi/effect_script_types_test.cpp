// The script types of effect hooks (Event, EventState, TemplateArg), the
// object types Event names, and how the value printer shows Object@ and
// Event@ variables, over a session's script set-up.
#include "scriptapi/effect_script_types.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "design/effects/effects.h"
#include "script_session.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

namespace effect_script_types_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

class PlainObject : public generic_object {
 public:
  explicit PlainObject(const wchar_t* objectName) : generic_object(nullptr, nullptr, nullptr) { name = objectName; }
};

class EffectScriptTypesTest : public scriptapitest::ScriptSessionTest {
 protected:
  void TearDown() override {
    for (generic_object* object : {alpha, beta})
      if (object != nullptr)
        object->drop();
    clearEffects();
    ScriptSessionTest::TearDown();
  }

  // An effect file in the session's "Game Data/Effects/", loaded by the set-up.
  void writeEffects(const std::string& text) {
    const std::filesystem::path folder = root_ / "Game Data/Effects";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "hooks.txt", std::ios::binary) << text;
  }

  effect_handler* effectNamed(const wchar_t* name) {
    const irr::s32 index = findEffectIndex(name);
    return index < 0 ? nullptr : effectRegistry()[static_cast<irr::u32>(index)].value;
  }

  generic_object* alpha = new PlainObject(L"Alpha");
  generic_object* beta = new PlainObject(L"Beta");
};

const char kHookModule[] = R"(
string@ seen = "";
string@ flag(bool v) { return v ? "1" : "0"; }
string@ report() { return seen; }

void onActive(Event@ e, float rate, float cap) { seen = ftos_nice(rate) + " " + ftos_nice(cap); }

void onTick(Event@ e, const TemplateArg &in rate, const TemplateArg &in fuel, const TemplateArg &in half) {
  TemplateArg copy = fuel;
  TemplateArg zero;
  seen = ftos_nice(e.time) + " " + ftos_nice(e.damage) + " " + ftos_nice(rate.evaluate()) + " " +
         ftos_nice(fuel.evaluate()) + " " + ftos_nice(half.evaluate()) + " " + fuel.getString() + " " +
         copy.getString() + " " + flag(rate.getString() is null) + flag(half.getString() is null) + " " +
         ftos_nice(zero.evaluate()) + " " + flag(zero.getString() is null);
  Object@ o = e.obj;
  seen += " " + flag(o is e.obj) + flag(e.target is e.obj) + flag(e.source !is null) + flag(e.dest is null);
  e.custom = 1.5f;
  e.flags = 7;
  if (e.state == ESC_NOCHANGE)
    e.state = ESC_DISABLE;
}
)";

TEST_F(EffectScriptTypesTest, HooksSeeTheirEventAndArguments) {
  writeEffects(
      "Name: Probe\n"
      "Value: Rate\n"
      "Value: Cap\n"
      "OnActive: hooks::onActive\n"
      "Tick: hooks::onTick(Rate, \"Fuel\", 0.5)\n");
  startSession({{"hooks", kHookModule}});
  asIScriptModule* module = serverScriptEngine->GetModule("hooks");
  effect_handler* effect = effectNamed(L"Probe");
  ASSERT_NE(effect, nullptr) << "the set-up loads the session's effect files";

  EffectEvent event(alpha, alpha, 0.25f);
  SysRef* subSystem = reinterpret_cast<SysRef*>(&event);  // only compared, never followed
  event.source = subSystem;
  event.sourceKind = 1;
  event.dest = subSystem;  // its kind says it is not set
  effect_data values;
  values.effect = effect;
  values.values[0] = 2.0f;
  values.values[1] = 8.0f;

  effect->OnActive(&event, &values);
  EXPECT_EQ(call(module, "string@ report()"), "2 8");

  effect->Tick(&event, &values);
  // A script call has no event or value block: only a number evaluates.
  EXPECT_EQ(call(module, "string@ report()"), "0.25 0.25 0 0 0.5 Fuel Fuel 11 0 1 1111");
  EXPECT_EQ(event.custom, 1.5f);
  EXPECT_EQ(event.flags, 7u);
  EXPECT_EQ(event.state, ESC_DISABLE);
  EXPECT_EQ(alpha->refCount.load(), 2) << "the script's handles are given back";
}

TEST_F(EffectScriptTypesTest, EventObjectsAreReadOnly) {
  startSession({});
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    LogCapture log;
    EXPECT_NE(build(engine, "ok", "void f(Event@ e) { Object@ o = e.target; e.time = 1; e.state = ESC_SKIP; }"),
              nullptr);
    EXPECT_EQ(build(engine, "bad", "void f(Event@ e, Object@ o) { @e.target = o; }"), nullptr);
    EXPECT_NE(log.take().find("read-only"), std::string::npos);
  }
}

// Runs "void show(Object@, Event@, Event@)" of `module` with the objects
// and events given and returns what printVals logged.
std::string snapshot(asIScriptModule* module, generic_object* object, EffectEvent* first, EffectEvent* second) {
  asIScriptContext* context = createScriptContext(module->GetEngine());
  context->Prepare(module->GetFunctionByDecl("void show(Object@, Event@, Event@)"));
  context->SetArgObject(0, object);
  context->SetArgObject(1, first);
  context->SetArgObject(2, second);
  LogCapture log;
  EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  return log.take();
}

TEST_F(EffectScriptTypesTest, PrintedValues) {
  startSession({});
  PlainObject* longName = new PlainObject(L"A freighter whose name runs on and on");
  const char code[] =
      "void show(Object@ o, Event@ e, Event@ lone) {\n"
      "  Object@ none;\n"
      "  Event@ noEvent;\n"
      "  printVals();\n"
      "}\n";
  EffectEvent event(alpha, beta, 0.25f);
  EffectEvent alone(longName, nullptr, 1.0f);
  const struct {
    asIScriptEngine* engine;
    const char* expected;
  } cases[] = {
      {serverScriptEngine,
       "Script snapshot: show::show\n  show(4)\n"
       " o: Alpha\n"
       " e: Alpha->Beta, 0.25\n"
       " lone: A freighter whose name runs on and on-><Null>, 1.00\n"
       " none: <Null Handle>\n"
       " noEvent: <Null Handle>\n"},
      {clientScriptEngine,
       "Script snapshot: show::show\n  show(4)\n"
       " o: Alpha\n"
       " e: <Not a simple type>\n"
       " lone: <Not a simple type>\n"
       " none: <Null Handle>\n"
       " noEvent: <Not a simple type>\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.engine == serverScriptEngine ? "server" : "client");
    asIScriptModule* module = build(c.engine, "show", code);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(snapshot(module, alpha, &event, &alone), c.expected);
    // Object names follow the string rule: 33 characters whole, else 30 and "...".
    EXPECT_NE(snapshot(module, longName, &event, &alone).find(" o: A freighter whose name runs on...\n"),
              std::string::npos);
  }
  longName->drop();
}

}  // namespace

}  // namespace effect_script_types_test
