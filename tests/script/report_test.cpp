// Exception reports, call stacks and variable snapshots as the log shows them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "script_test_support.h"

namespace report_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::LogCapture;

namespace {

void damage(int) { raiseScriptException("Null Object@ when damaging an object"); }
void printVals() { printScriptSnapshot(asGetActiveContext()); }

class ReportTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("void damage(int)", asFUNCTION(damage), asCALL_CDECL), 0);
    ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("void printVals()", asFUNCTION(printVals), asCALL_CDECL), 0);
  }

  // Runs `declaration` of `module` on a context made by createScriptContext.
  int execute(asIScriptModule* module, const char* declaration) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByDecl(declaration));
    const int state = context->Execute();
    context->Release();
    return state;
  }
};

TEST_F(ReportTest, NativeMisuseStopsTheScriptWithAReport) {
  asIScriptModule* module = buildModule(serverScriptEngine, "rep",
                                        "class Ship { void hit() {\n"
                                        "  damage(1);\n"
                                        "} }\n"
                                        "void start() {\n"
                                        "  Ship s;\n"
                                        "  s.hit();\n"
                                        "}\n");
  ASSERT_NE(module, nullptr);
  LogCapture log;
  EXPECT_EQ(execute(module, "void start()"), asEXECUTION_EXCEPTION);
  EXPECT_EQ(log.take(),
            "Script Exception: Null Object@ when damaging an object\n"
            " rep::void Ship::hit()\n  rep.as(2)\n"
            " rep::void start()\n  rep.as(6)\n");
}

TEST_F(ReportTest, DeepRecursionListsFiftyCallers) {
  asIScriptModule* module = buildModule(serverScriptEngine, "deep",
                                        "void down(int n) {\n"
                                        "  if (n == 0) damage(0);\n"
                                        "  else down(n - 1);\n"
                                        "}\n"
                                        "void start() { down(59); }\n");
  ASSERT_NE(module, nullptr);
  LogCapture log;
  EXPECT_EQ(execute(module, "void start()"), asEXECUTION_EXCEPTION);
  // The failing call, then its 50 innermost callers of the 60 (start is not
  // reached).
  std::string expected =
      "Script Exception: Null Object@ when damaging an object\n"
      " deep::void down(int)\n  deep.as(2)\n";
  for (int i = 0; i < 50; ++i)
    expected += " deep::void down(int)\n  deep.as(3)\n";
  EXPECT_EQ(log.take(), expected);
}

TEST_F(ReportTest, SnapshotPrintsVariablesByType) {
  asIScriptModule* module = buildModule(serverScriptEngine, "snap",
                                        "void show(int arg) {\n"
                                        "  string cut = \"0123456789012345678901234567890123\";\n"
                                        "  string whole = \"012345678901234567890123456789012\";\n"
                                        "  string@ none;\n"
                                        "  string@ held = @cut;\n"
                                        "  bool b = true;\n"
                                        "  int8 small = -8;\n"
                                        "  uint16 unit = 65535;\n"
                                        "  int64 big = -9223372036854775807;\n"
                                        "  uint64 huge = 18446744073709551615;\n"
                                        "  float f = 1.5f;\n"
                                        "  double d = -0.25;\n"
                                        "  printVals();\n"
                                        "}\n"
                                        "void quiet() { printVals(); }\n");
  ASSERT_NE(module, nullptr);
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  context->Prepare(module->GetFunctionByDecl("void show(int)"));
  context->SetArgDWord(0, static_cast<asDWORD>(-3));
  LogCapture log;
  EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  EXPECT_EQ(log.take(),
            "Script snapshot: snap::show\n  snap.as(13)\n"
            " arg: -3\n"
            " cut: 012345678901234567890123456789...\n"
            " whole: 012345678901234567890123456789012\n"
            " none: <Null Handle>\n"
            " held: 012345678901234567890123456789...\n"
            " b: true\n"
            " small: -8\n"
            " unit: 65535\n"
            " big: -9223372036854775807\n"
            " huge: 18446744073709551615\n"
            " f: 1.500000\n"
            " d: -0.250000\n");

  // A function without variables prints nothing at all.
  EXPECT_EQ(execute(module, "void quiet()"), asEXECUTION_FINISHED);
  EXPECT_EQ(log.take(), "");
}

struct Vector3 {
  float x, y, z;
};

TEST_F(ReportTest, ValuesByTable) {
  // "vector" is a value type of three floats, registered before the table is
  // filled (on the client engine only here).
  ASSERT_GE(clientScriptEngine->RegisterObjectType("vector", sizeof(Vector3), asOBJ_VALUE | asOBJ_POD), 0);
  registerPrintableTypes(clientScriptEngine);

  const uint8_t two = 2, one = 1;
  const int64_t lowest = std::numeric_limits<int64_t>::min();
  const uint32_t top = 4294967295u;
  const Vector3 vector{1.0f, -2.5f, 3.0f};
  const int vectorId = clientScriptEngine->GetTypeIdByDecl("vector");
  const int enumId = -1;  // no such type
  // Values whose text runs past any small fixed buffer ("%f" of 1e200 has
  // over 200 digits); std::to_string formats doubles as "%f" does.
  const double huge = 1e200;
  const std::string hugeText = std::to_string(huge);
  const Vector3 wide{1e30f, -1e30f, 3e38f};
  const std::string wideText = "<" + std::to_string(double(wide.x)) + ", " + std::to_string(double(wide.y)) + ", " +
                               std::to_string(double(wide.z)) + ">";
  const struct {
    asIScriptEngine* engine;
    const void* address;
    int typeId;
    const char* expected;
  } cases[] = {
      {serverScriptEngine, nullptr, asTYPEID_INT32, "<Invalid Variable>"},
      {serverScriptEngine, &top, enumId, "<Not a simple type>"},
      {serverScriptEngine, &one, asTYPEID_BOOL, "true"},
      {serverScriptEngine, &two, asTYPEID_BOOL, "false"},
      {serverScriptEngine, &lowest, asTYPEID_INT64, "-9223372036854775808"},
      {serverScriptEngine, &top, asTYPEID_UINT32, "4294967295"},
      {serverScriptEngine, &top, asTYPEID_INT32, "-1"},
      {clientScriptEngine, &vector, vectorId, "<1.000000, -2.500000, 3.000000>"},
      {serverScriptEngine, &vector, vectorId, "<Not a simple type>"},
      {serverScriptEngine, &huge, asTYPEID_DOUBLE, hugeText.c_str()},
      {clientScriptEngine, &wide, vectorId, wideText.c_str()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    LogCapture log;
    printScriptValue(c.address, c.engine, c.typeId);
    EXPECT_EQ(log.take(), c.expected);
  }
}

}  // namespace

}  // namespace report_test
