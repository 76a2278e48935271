// The core script globals, driven from scripts: each case is the body of a
// script function returning string@, with the text it must give or the
// exception it must raise.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/locale.h"
#include "core/named_values.h"
#include "script/function_hook.h"
#include "script/script_dictionary.h"
#include "script/script_globals.h"
#include "script/script_math.h"
#include "script_test_support.h"

namespace globals_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::run;

namespace {

// The script side of an empire, for evaluateFormula and playAsEmpire.
struct StubEmpire {
  NamedValues values;
  int locks = 0;  // held write locks
};

void registerStubEmpire(asIScriptEngine* engine) {
  engine->RegisterObjectType("Empire", 0, asOBJ_REF | asOBJ_NOCOUNT);
}

struct GlobalCase {
  const char* body;
  std::u16string expected;
  const char* exception = nullptr;  // expected exception text instead
};

// s(x): a number as text (the string's own number formatting).
const char kHelpers[] = R"(
string@ s(int v) { string r; r = v; return r; }
string@ s(uint v) { string r; r = v; return r; }
string@ s(float v) { string r; r = v; return r; }
string@ s(bool v) { return v ? "true" : "false"; }
)";

const GlobalCase kCases[] = {
    // Numbers
    {R"(return s(clamp(5, 10, 0)) + s(clamp(-3, 0, 10)) + s(clamp(7, 0, 10)) + s(clamp(11, 0, 10));)", u"00710"},
    {R"(return s(clamp(5.5f, 10.0f, 0.0f)) + " " + s(clamp(0.5f, 0.25f, 1.0f)) + " " + s(clamp(-1.0f, 0.0f, 2.0f));)",
     u"0 0.5 0"},
    {R"(return s(min(3, -2)) + s(max(3, -2)) + s(min(2.5f, 1.5f)) + s(max(2.5f, 1.5f));)", u"-231.52.5"},
    // Equal floats: min gives the second argument, and so does max.
    {R"(return s(min(0.0f, -0.0f)) + " " + s(min(-0.0f, 0.0f)) + " " + s(max(0.0f, -0.0f));)", u"-0 0 -0"},
    {R"(return s(round(2.5f)) + " " + s(round(-2.5f)) + " " + s(round(-2.6f)) + " " + s(sqr(-3.0f));)", u"3 -2 -3 9"},
    {R"(return s(memCheck());)", u"true"},
    // Formatting numbers
    {R"(return f_to_s(2.0f);)", u"2.000000"},
    {R"(return f_to_s(1.5f, 20);)", u"1.500000000"},
    {R"(return f_to_s(1.25f, 1) + " " + f_to_s(-1.5f, 0);)", u"1.2 -2"},
    {R"(return ftos_nice(2.5f) + " " + ftos_nice(3.0f) + " " + ftos_nice(0.0f) + " " + ftos_nice(-0.0001f, 2);)",
     u"2.5 3 0 -0"},
    // A whole number keeps its zeros.
    {R"(return ftos_nice(100.0f) + " " + ftos_nice(100.0f, 0) + " " + ftos_nice(0.0f, 0) + " " + ftos_nice(1.5f, 30);)",
     u"100 100 0 1.5"},
    {R"(return i_to_s(-5) + " " + i_to_s(0) + " " + i_to_s(2147483647);)", u"-5 0 2147483647"},
    {R"(return standardize(1234) + " " + standardize(99999) + " " + standardize(150) + " " + standardize(12.5f);)",
     u"1.23k 100.0k 150 12.5"},
    {R"(return standardize(-1234) + " " + standardize(-150) + " " + standardize(0) + " " + standardize(0.0005f);)",
     u"-1.23k -150.00 0.00 0.50m"},
    {R"(return romanize(1994) + " " + romanize(2011) + " " + romanize(0) + " " + romanize(4);)", u"CMXCIV XI  IV"},
    // Reading numbers
    {R"(return s(s_to_i("-12x")) + " " + s(s_to_i("12-3")) + " " + s(s_to_i("1.5")) + " " + s(s_to_i(""));)",
     u"-12 12 15 0"},
    {R"(return s(s_to_i("1,000")) + " " + s(s_to_i("-")) + " " + s(s_to_i(" 5")) + " " + s(s_to_i("4294967297"));)",
     u"1000 0 0 1"},
    {R"(return s(s_to_f("1,000.5")) + " " + s(s_to_f("-2.25")) + " " + s(s_to_f(""));)", u"1000.5 -2.25 0"},
    // Text
    {R"(return hullEscape("a/b\\c|d\ne\rf\tg#h");)", u"a-b-c-d e f g+h"},
    {R"(return escape("a#b##") + " " + unescape("a##b####") + " " + unescape("#");)", u"a##b#### a#b## #"},
    {R"(return localize("#GT_Probe") + "," + localize("#GT_Missing") + "," + localize("GT_Probe") + "," + localize("");)",
     u"probe text,#GT_Missing,GT_Probe,"},
    {R"(string t = "#GT_Probe"; string u = "plain"; bool a = checkLocalize(t); bool b = checkLocalize(u);
        return t + "," + s(a) + "," + u + "," + s(b);)",
     u"probe text,true,plain,false"},
    // Settings
    {R"(return s(getGameSetting("GT_SETTING", -1)) + " " + s(getGameSetting("GT_ABSENT", 4.5f));)", u"2.5 4.5"},
    // Stopping a script
    {R"(die(""); return "not reached";)", u"", "Script called die()"},
    {R"(die("stopped here"); return "not reached";)", u"", "stopped here"},
    {R"(evaluateFormula("1+1", null); return "not reached";)", u"", "Null Empire@ when evaluating formula"},
    // set_int: iteration in ascending order
    {R"(set_int a; a.insert(5); a.insert(-1); a.insert(3); a.insert(5); string r = s(a.size()) + ":";
        a.resetIter(); while (a.hasNext()) r += s(a.next()) + " "; return r + s(a.hasNext());)",
     u"3:-1 3 5 false"},
    {R"(set_int a; string r = s(a.hasNext()); a.insert(1); r += s(a.hasNext()); a.resetIter(); r += s(a.hasNext());
        return r;)",
     u"falsefalsetrue"},
    {R"(set_int a; a.insert(1); a.insert(2); a.erase(7); a.erase(1);
        return s(a.exists(1)) + s(a.exists(2)) + s(a.size());)",
     u"falsetrue1"},
    // The position stays on a value that is still there, and moves to the
    // end when that value goes.
    {R"(set_int a; a.insert(10); a.insert(20); a.resetIter(); a.insert(5); a.insert(15);
        string r = s(a.next()); r += s(a.next()); return r;)",
     u"1015"},
    {R"(set_int a; a.insert(10); a.insert(20); a.resetIter(); a.erase(10); string r = s(a.hasNext());
        a.resetIter(); a.clear(); return r + s(a.hasNext()) + s(a.size());)",
     u"falsefalse0"},
    {R"(set_int a; a.insert(1); a.resetIter(); a.next(); a.next(); return "not reached";)", u"",
     "set_int::next() called at the end of the set"},
};

class ScriptGlobalsTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    LogCapture log;
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
      registerScriptMath(engine);
      registerScriptDictionary(engine);
      registerStubEmpire(engine);
    }
    registerEvaluateFormula();
    registerScriptCoreGlobals();
    EXPECT_EQ(log.take(), "");  // every registration succeeded
  }
  void TearDown() override {
    ScriptTest::TearDown();
    scriptGlobalHooks = ScriptGlobalHooks();
  }
};

TEST_F(ScriptGlobalsTest, GlobalsGiveTheirResults) {
  const std::string folder = scripttest::testFolder("globals_locale");
  scripttest::writeFile(folder, "locale.txt", "#GT_Probe: probe text\n");
  ASSERT_TRUE(loadLocaleFile((folder + "/locale.txt").c_str(), false));
  setGameSetting(L"GT_SETTING", 2.5f);

  LogCapture log;
  std::string code = kHelpers;
  for (size_t i = 0; i < std::size(kCases); ++i)
    code += "string@ c" + std::to_string(i) + "() { " + kCases[i].body + " }\n";
  asIScriptModule* module = buildModule(serverScriptEngine, "cases", code);
  ASSERT_NE(module, nullptr) << log.take();
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const GlobalCase& c = kCases[i];
    const scripttest::RunResult result = run(module, ("string@ c" + std::to_string(i) + "()").c_str());
    if (c.exception != nullptr) {
      EXPECT_EQ(result.state, asEXECUTION_EXCEPTION) << c.body;
      EXPECT_EQ(result.exception, c.exception) << c.body;
    } else {
      EXPECT_EQ(result.state, asEXECUTION_FINISHED) << c.body;
      EXPECT_EQ(result.text, c.expected) << c.body;
    }
  }
  log.take();  // the exception reports
}

TEST_F(ScriptGlobalsTest, RandomNumbersStayInTheirRanges) {
  ASSERT_NE(buildModule(serverScriptEngine, "random",
                        R"(string@ check() {
  int seen = 0;
  for (int i = 0; i < 2000; ++i) {
    int a = rand(3); if (a < 0 || a > 3) return "rand(3) gave " + a;
    seen |= 1 << a;
    int b = rand(5, 2); if (b < 2 || b > 5) return "rand(5, 2) gave " + b;
    float c = randomf(2.0f); if (c < 0 || c > 2) return "randomf(2) gave " + c;
    float d = randomf(-1.0f, 1.0f); if (d < -1 || d > 1) return "randomf(-1, 1) gave " + d;
  }
  return seen == 15 ? "ok" : "rand(3) missed a value";
})"),
            nullptr);
  EXPECT_EQ(run(serverScriptEngine->GetModule("random"), "string@ check()").text, u"ok");
}

TEST_F(ScriptGlobalsTest, LoggingFunctionsWriteLinesAndNothingForEmptyText) {
  LogCapture log;
  asIScriptModule* module = buildModule(
      clientScriptEngine, "logging",
      R"(void main() {
  print("one"); print(""); warning("two"); error("");
  string t = "three ?"; t[6] = 0xe9; error(t);
})");
  ASSERT_NE(module, nullptr) << log.take();
  EXPECT_EQ(run(module, "void main()").state, asEXECUTION_FINISHED);
  EXPECT_EQ(log.take(), "one\ntwo\nthree \xc3\xa9\n");
}

TEST_F(ScriptGlobalsTest, EvaluateFormulaReadsTheEmpiresValuesUnderItsLock) {
  StubEmpire empire;
  empire.values.set(L"Ships", 4.0f);
  static StubEmpire* expected = nullptr;
  expected = &empire;
  scriptGlobalHooks.lockEmpireValues = [](const void* held) -> NamedList* {
    EXPECT_EQ(held, expected);
    ++expected->locks;
    return &expected->values;
  };
  scriptGlobalHooks.unlockEmpireValues = [](const void*) { --expected->locks; };
  serverScriptEngine->RegisterGlobalProperty("Empire@ testEmpire", &expected);

  LogCapture log;
  asIScriptModule* module = buildModule(serverScriptEngine, "formula",
                                        R"(float value() { return evaluateFormula("Ships * 2 + pi - pi", testEmpire); })");
  ASSERT_NE(module, nullptr) << log.take();
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(module->GetFunctionByDecl("float value()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_FLOAT_EQ(context->GetReturnFloat(), 8.0f);
  context->Release();
  EXPECT_EQ(empire.locks, 0);
}

// The interface functions hand their arguments to the subsystems behind the
// hooks, and give neutral answers while a hook is missing.
std::vector<std::string> interfaceCalls;
int empireToken = 0;
void* playerHandle = &empireToken;
bool shiftDown = true;

std::string narrow(const irr::core::stringw& text) { return irr::core::stringc(text).c_str(); }

void setInterfaceHooks() {
  scriptGlobalHooks.currentTrackName = [] { return irr::core::stringw(L"Drift"); };
  scriptGlobalHooks.currentTrackIndex = [] { return 2u; };
  scriptGlobalHooks.chatLog = [](uint32_t newer) { return irr::core::stringw(newer == 0 ? L"log" : L"?"); };
  scriptGlobalHooks.bindKeyToFunction = [](uint8_t key, const FunctionHook& function) {
    interfaceCalls.push_back("key " + std::to_string(key) + " " + function.module.c_str() + "::" +
                             function.function.c_str());
    return true;
  };
  scriptGlobalHooks.bindKeyToAction = [](const irr::core::stringw& key, const irr::core::stringw& action) {
    interfaceCalls.push_back("action " + narrow(key) + " " + narrow(action));
  };
  scriptGlobalHooks.hookLink = [](const irr::core::stringw& kind, const FunctionHook& function) {
    interfaceCalls.push_back("link " + narrow(kind) + " " + function.function.c_str());
  };
  scriptGlobalHooks.sendChat = [](const irr::core::stringw& text) { interfaceCalls.push_back("chat " + narrow(text)); };
  scriptGlobalHooks.playSound = [](const irr::core::stringw& name) {
    interfaceCalls.push_back("sound " + narrow(name));
  };
  scriptGlobalHooks.playAsEmpire = [](const void* empire) {
    interfaceCalls.push_back(empire == &empireToken ? "play player" : "play other");
  };
  scriptGlobalHooks.shiftKey = &shiftDown;
}

TEST_F(ScriptGlobalsTest, InterfaceFunctionsReachTheirHooks) {
  const char* script = R"(
string@ main() {
  string r = getCurrentTrackName() + "," + getCurrentTrackIndex() + "," + getChatLog(0) + ",";
  r += bindFuncToKey(65, "onKey") ? "bound," : "unbound,";
  bindFuncToKey("F1", "toggle"); hookLink("obj", "onLink"); sendChat("hi"); playSound("boom");
  playAsEmpire(null); playAsEmpire(player);
  string fitted; string rest; fitStrToPixels("abc", 100, fitted, rest, null);
  return r + fitted + "," + (shiftKey ? "shift" : "") + (ctrlKey ? "ctrl" : "") + "," + (KF_Alt + KF_Shift);
}
bool onKey(uint8 flags) { return true; }
)";
  const char* const expected[] = {"key 65 screen::onKey", "action F1 toggle", "link obj onLink",
                                  "chat hi",              "sound boom",       "play player"};

  for (bool hooked : {false, true}) {
    SCOPED_TRACE(hooked ? "hooked" : "no hooks");
    if (hooked) {
      // The modifier keys are bound when the globals are registered.
      TearDown();
      setInterfaceHooks();
      SetUp();
    }
    LogCapture log;
    clientScriptEngine->RegisterGlobalProperty("Empire@ player", &playerHandle);
    asIScriptModule* module = buildModule(clientScriptEngine, "screen", script);
    ASSERT_NE(module, nullptr) << log.take();
    interfaceCalls.clear();
    EXPECT_EQ(run(module, "string@ main()").text, hooked ? u"Drift,2,log,bound,abc,shift,12" : u",0,,unbound,abc,,12");
    EXPECT_EQ(interfaceCalls, hooked ? std::vector<std::string>(std::begin(expected), std::end(expected))
                                     : std::vector<std::string>());
    EXPECT_EQ(log.take(), "");
  }
}

}  // namespace

}  // namespace globals_test
