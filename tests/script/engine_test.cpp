// Script engines, their compiler messages, and function hooks.
#include <gtest/gtest.h>

#include <string>

#include "script/function_hook.h"
#include "script_test_support.h"

namespace engine_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::LogCapture;

namespace {

class EngineTest : public scripttest::ScriptTest {};

TEST_F(EngineTest, BothEnginesCarryTheScriptProperties) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    ASSERT_NE(engine, nullptr);
    for (asEEngineProp property : {asEP_ALLOW_UNSAFE_REFERENCES, asEP_USE_CHARACTER_LITERALS,
                                   asEP_BUILD_WITHOUT_LINE_CUES, asEP_OPTIMIZE_BYTECODE})
      EXPECT_EQ(engine->GetEngineProperty(property), 1u) << property;
    // "get_x" and "set_x" methods are properties without a keyword.
    EXPECT_EQ(engine->GetEngineProperty(asEP_PROPERTY_ACCESSOR_MODE), 2u);
  }
  EXPECT_NE(serverScriptEngine, clientScriptEngine);
}

TEST_F(EngineTest, CompilerMessagesBecomeLogLines) {
  const struct {
    asIScriptEngine* engine;
    const char* side;
  } engines[] = {{serverScriptEngine, "Server"}, {clientScriptEngine, "Client"}};
  for (const auto& e : engines) {
    SCOPED_TRACE(e.side);
    const std::string in = std::string("AS ") + e.side + " Error in ";
    LogCapture log;
    EXPECT_EQ(buildModule(e.engine, "bad", "void f() { int x = ; }"), nullptr);
    EXPECT_EQ(log.take(), in + "bad.as: Compiling void f()\n line: 1, col: 1\n" + in +
                              "bad.as: Expected expression value\n line: 1, col: 20\n" + in +
                              "bad.as: Instead found ';'\n line: 1, col: 20\n");

    // A message with a section but no position, and one without a section.
    e.engine->WriteMessage("sec.as", 0, 0, asMSGTYPE_WARNING, "a warning");
    EXPECT_EQ(log.take(), in + "sec.as: a warning\n");
    EXPECT_LT(e.engine->RegisterGlobalFunction("void broken(", asFUNCTION(printScriptException), asCALL_CDECL), 0);
    EXPECT_EQ(log.take(), in + "System function: Expected data type\n line: 1, col: 13\n" + in +
                              "System function: Instead found '<end of file>'\n line: 1, col: 13\n" + "AS " +
                              e.side +
                              " General Error: Failed in call to function 'RegisterGlobalFunction' with "
                              "'void broken(' (Code: asINVALID_DECLARATION, -10)\n");
  }
}

// The native a script calls to set a hook from a name it passes.
FunctionHook scriptHook;
int hookFromScript(const ScriptString& name) {
  scriptHook.setFromScriptString(asGetActiveContext(), &name);
  return scriptHook.getFunctionId(serverScriptEngine, "void", "()");
}

TEST_F(EngineTest, FunctionHooksByTable) {
  ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("int hookFromScript(const string &in)",
                                                       asFUNCTION(hookFromScript), asCALL_CDECL),
            0);
  asIScriptModule* module = buildModule(serverScriptEngine, "mod",
                                        "void f() {}\n"
                                        "bool g(uint8 x) { return x > 0; }\n"
                                        "int probe(const string &in name) {\n"
                                        "  return hookFromScript(name);\n"
                                        "}\n");
  ASSERT_NE(module, nullptr);
  const int f = module->GetFunctionByDecl("void f()")->GetId();
  const int g = module->GetFunctionByDecl("bool g(uint8)")->GetId();
  asIScriptFunction* probe = module->GetFunctionByDecl("int probe(const string &in)");

  const std::string longName = "mod::" + std::string(300, 'x');
  enum Via { Data, Script };
  const struct {
    Via via;
    const char* text;
    bool valid;
    const char* module;
    const char* function;
    int id;  // -1000: the id of f
    const char* log;
  } cases[] = {
      {Data, "mod::f", true, "mod", "f", -1000, ""},
      {Data, "f", false, "", "", asINVALID_NAME, ""},
      {Data, "::f", false, "", "", asINVALID_NAME, ""},
      {Data, "mod::", true, "mod", "", asNO_FUNCTION, ""},
      {Data, "mod:::f", true, "mod", ":f", asNO_FUNCTION, ""},
      {Data, "absent::f", true, "absent", "f", asNO_MODULE, ""},
      {Data, longName.c_str(), true, "mod", longName.c_str() + 5, asERROR, ""},
      {Data, nullptr, false, "", "", asINVALID_NAME, ""},
      {Script, "f", true, "mod", "f", -1000, ""},
      {Script, "::f", true, "mod", "f", -1000, ""},
      {Script, "mod::f", true, "mod", "f", -1000, ""},
      {Script, "absent::f", true, "absent", "f", asNO_MODULE, ""},
      {Script, "", false, "", "", asINVALID_NAME,
       "Function Hook Error: Empty String for Function Name\n  In \"mod.as\", Line 4\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.via == Data ? "set: " : "script: ") + (c.text != nullptr ? c.text : "(null)"));
    LogCapture log;
    FunctionHook hook;
    int id = 0;
    if (c.via == Data) {
      hook.set(c.text);
      id = hook.getFunctionId(serverScriptEngine, "void", "()");
    } else {
      scriptHook = FunctionHook();
      asIScriptContext* context = createScriptContext(serverScriptEngine);
      context->Prepare(probe);
      ScriptString* name = new ScriptString(std::u16string(c.text, c.text + std::char_traits<char>::length(c.text)));
      context->SetArgAddress(0, name);
      ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
      id = static_cast<int>(context->GetReturnDWord());
      context->Release();
      name->release();
      hook = scriptHook;
    }
    EXPECT_EQ(hook.valid, c.valid);
    if (c.valid) {
      EXPECT_STREQ(hook.module.c_str(), c.module);
      EXPECT_STREQ(hook.function.c_str(), c.function);
    }
    EXPECT_EQ(id, c.id == -1000 ? f : c.id);
    EXPECT_EQ(log.take(), c.log);
  }

  // The return type and argument list complete the declaration; a trailing
  // blank in the return type is accepted.
  FunctionHook hook;
  hook.set("mod::g");
  EXPECT_EQ(hook.getFunctionId(serverScriptEngine, "bool ", "(uint8)"), g);
  EXPECT_EQ(hook.getFunctionId(serverScriptEngine, nullptr, "(uint8)"), asINVALID_NAME);
  EXPECT_EQ(hook.getFunctionId(serverScriptEngine, "bool", nullptr), asINVALID_NAME);

  // A failed set leaves the hook invalid; a null handle from a script leaves
  // it as it was and is reported on standard output.
  hook.set("nothing here");
  EXPECT_FALSE(hook.valid);
  EXPECT_EQ(hook.getFunctionId(serverScriptEngine, "void", "()"), asINVALID_NAME);
  hook.set("mod::f");
  testing::internal::CaptureStdout();
  hook.setFromScriptString(nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Function Hook Error: Null Handle for Function Name\n  In \"\", Line 0\n");
  EXPECT_TRUE(hook.valid);
  EXPECT_EQ(hook.getFunctionId(serverScriptEngine, "void", "()"), f);
}

TEST_F(EngineTest, FunctionIdsByModuleAndDeclaration) {
  asIScriptModule* module = buildModule(clientScriptEngine, "ui", "int h(int a) { return a; }");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(getScriptFunctionId(clientScriptEngine, "ui", "int h(int)"), module->GetFunctionByDecl("int h(int)")->GetId());
  EXPECT_EQ(getScriptFunctionId(clientScriptEngine, "ui", "int h(float)"), asNO_FUNCTION);
  EXPECT_EQ(getScriptFunctionId(clientScriptEngine, "gone", "int h(int)"), asNO_MODULE);
  EXPECT_EQ(getScriptFunctionId(serverScriptEngine, "ui", "int h(int)"), asNO_MODULE);
  EXPECT_EQ(getScriptFunctionId(nullptr, "ui", "int h(int)"), asNO_MODULE);
}

}  // namespace

}  // namespace engine_test
