// The hooks of planet conditions: each names a server script function,
// looked up in its two declarations when the planet type file is read.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "script_session.h"
#include "universe/planets/planet_types.h"

namespace planet_condition_hooks_test {

using namespace AngelScript;

namespace {

class PlanetConditionHooksTest : public scriptapitest::ScriptSessionTest {
 protected:
  void TearDown() override {
    clearPlanetTypes();
    ScriptSessionTest::TearDown();
  }

  // Loads a file whose one condition "Hot" holds `hooks`; gives the log.
  std::string loadHooks(const std::string& hooks) {
    const std::filesystem::path file = root_ / "PlanetTypes.xml";
    std::ofstream(file, std::ios::binary) << "<conditions><cond id=\"Hot\"><tags>hot</tags>" << hooks
                                          << "<desc>warm</desc></cond></conditions>";
    LogCapture log;
    loadPlanetTypes(file.string().c_str());
    return log.take();
  }

  static int functionId(const char* declaration) {
    asIScriptModule* module = serverScriptEngine->GetModule("conds", asGM_ONLY_IF_EXISTS);
    asIScriptFunction* function = module != nullptr ? module->GetFunctionByDecl(declaration) : nullptr;
    return function != nullptr ? function->GetId() : -1;
  }
};

const char kConditionScripts[] = R"(
void modeOnly(subSystem@ sys, SubSystemEvalMode mode, float a) {}
void stringOnly(subSystem@ sys, const string@ value, float a) {}
void both(subSystem@ sys, SubSystemEvalMode mode) {}
void both(subSystem@ sys, const string@ value) {}
void pair(subSystem@ sys, SubSystemEvalMode mode, float a, float b) {}
)";

TEST_F(PlanetConditionHooksTest, AHookBindsWhenEitherDeclarationExists) {
  startSession({{"conds", kConditionScripts}});
  struct Case {
    const char* hook;
    const char* modeDeclaration;    // null: absent
    const char* stringDeclaration;  // null: absent
    std::vector<float> args;
  };
  const Case cases[] = {
      {R"(<hook func="conds::modeOnly" arg0="1.5"/>)", "void modeOnly(subSystem@,SubSystemEvalMode,float)", nullptr,
       {1.5f}},
      {R"(<hook func="conds::modeOnly" arg0="-2" arg2="7"/>)", "void modeOnly(subSystem@,SubSystemEvalMode,float)",
       nullptr, {-2.0f}},
      {R"(<hook func="conds::stringOnly" arg0="3"/>)", nullptr, "void stringOnly(subSystem@,const string@,float)",
       {3.0f}},
      {R"(<hook func="conds::both"/>)", "void both(subSystem@,SubSystemEvalMode)", "void both(subSystem@,const string@)",
       {}},
      {R"(<hook func="conds::pair" arg1="2" arg0="1,000.5"/>)", "void pair(subSystem@,SubSystemEvalMode,float,float)",
       nullptr, {1000.5f, 2.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hook);
    EXPECT_EQ(loadHooks(c.hook), "");
    ASSERT_EQ(getPlanetConditionCount(), 1u);
    const planetCondition* hot = getPlanetCondition(0);
    ASSERT_EQ(hot->hooks.size(), 1u);
    const ConditionHook& hook = hot->hooks[0];
    EXPECT_EQ(hook.function.module, "conds");
    EXPECT_EQ(hook.modeFunctionId, c.modeDeclaration ? functionId(c.modeDeclaration) : -1);
    EXPECT_EQ(hook.stringFunctionId, c.stringDeclaration ? functionId(c.stringDeclaration) : -1);
    EXPECT_NE(std::max(hook.modeFunctionId, hook.stringFunctionId), -1);
    EXPECT_EQ(hook.args, c.args);
    EXPECT_EQ(hot->desc, L"warm");
    clearPlanetTypes();
  }
}

TEST_F(PlanetConditionHooksTest, AHookWithoutAFunctionIsDroppedAndLogged) {
  startSession({{"conds", kConditionScripts}});
  struct Case {
    const char* hook;
    const char* logged;
  };
  const Case cases[] = {
      {R"(<hook func="conds::f" arg0="1"/>)", "Error finding function 'void f(subSystem@,SubSystemEvalMode,float)'\n"},
      {R"(<hook func="conds::modeOnly" arg0="1" arg1="2"/>)",
       "Error finding function 'void modeOnly(subSystem@,SubSystemEvalMode,float,float)'\n"},
      {R"(<hook func="conds::modeOnly"/>)", "Error finding function 'void modeOnly(subSystem@,SubSystemEvalMode)'\n"},
      {R"(<hook func="absent::modeOnly" arg0="1"/>)",
       "Error finding function 'void modeOnly(subSystem@,SubSystemEvalMode,float)'\n"},
      {R"(<hook func="modeOnly" arg0="1"/>)",
       "Error finding function 'void modeOnly(subSystem@,SubSystemEvalMode,float)'\n"},
      {R"(<hook arg0="1"/>)", "Error finding function 'void (subSystem@,SubSystemEvalMode,float)'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hook);
    EXPECT_EQ(loadHooks(std::string(c.hook) + R"(<hook func="conds::both"/>)"), c.logged);
    ASSERT_EQ(getPlanetConditionCount(), 1u);
    const planetCondition* hot = getPlanetCondition(0);
    ASSERT_EQ(hot->hooks.size(), 1u) << "the condition keeps its other hooks";
    EXPECT_EQ(hot->hooks[0].function.function, "both");
    clearPlanetTypes();
  }
}

TEST_F(PlanetConditionHooksTest, TheHookTypesExistOnTheServerEngineOnly) {
  startSession({});
  asIScriptModule* module = build(serverScriptEngine, "modes", R"(
    string@ modes() {
      return "" + int(SSVM_Costs) + int(SSVM_Consumes) + int(SSVM_Requires) + int(SSVM_Hints) + int(SSVM_Provisions);
    }
    bool handles(subSystem@ sys) { subSystem@ other = sys; return other is null; })");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(scriptapitest::call(module, "string@ modes()"), "01234");
  // The instance type is on both engines; the hooks' mode is not.
  EXPECT_GE(clientScriptEngine->GetTypeIdByDecl("subSystem@"), 0);
  EXPECT_LT(clientScriptEngine->GetTypeIdByDecl("SubSystemEvalMode"), 0);
}

}  // namespace

}  // namespace planet_condition_hooks_test
