// Script math, driven from scripts: each case is an expression a script
// returns, with the float it must give. Every case runs on the server engine
// with the native registration and on the client engine with the generic
// one, and both must give the same bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "script/script_math.h"
#include "script_test_support.h"

namespace math_test {

using namespace AngelScript;

namespace {

constexpr float kPi = 3.14159265358979323846f;
const float kNaN = std::nanf("");

struct MathCase {
  const char* expression;
  float expected;
};

const MathCase kCases[] = {
    {"cos(0)", 1.0f},
    {"cos(3.14159265)", -1.0f},
    {"sin(0)", 0.0f},
    {"sin(-0.0f)", -0.0f},
    {"tan(0)", 0.0f},
    {"acos(1)", 0.0f},
    {"acos(-1)", kPi},
    {"acos(2)", kNaN},
    {"asin(1)", kPi / 2},
    {"atan(1)", kPi / 4},
    {"atan2(1, 0)", kPi / 2},
    {"atan2(0, -1)", kPi},
    {"atan2(-1, -1)", -3 * kPi / 4},
    {"atan2(-0.0f, -1)", -kPi},
    {"cosh(0)", 1.0f},
    {"sinh(0)", 0.0f},
    {"tanh(100)", 1.0f},
    {"log(1)", 0.0f},
    {"log(0)", -HUGE_VALF},
    {"log(-1)", kNaN},
    {"log10(1000)", 3.0f},
    {"pow(2, 10)", 1024.0f},
    {"pow(2, -1)", 0.5f},
    {"pow(-8, 0.5f)", kNaN},
    {"sqrt(2)", 1.41421356f},
    {"sqrt(-1)", kNaN},
    {"ceil(1.2f)", 2.0f},
    {"ceil(-0.5f)", -0.0f},
    {"floor(-0.5f)", -1.0f},
    {"floor(2.9f)", 2.0f},
    {"abs(-3.5f)", 3.5f},
    {"abs(-0.0f)", 0.0f},
    {"fraction(2.75f)", 0.75f},
    {"fraction(-2.75f)", -0.75f},
    {"fraction(3.0f)", 0.0f},
    // Float arguments are widened: the result is the double function's,
    // rounded once.
    {"sqrt(3)", 1.7320508f},
    {"pow(10, 0.5f)", 3.1622777f},
};

bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;  // tells -0 from 0
}

class ScriptMathTest : public scripttest::ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    LogCapture log;
    registerScriptMathNative(serverScriptEngine);
    registerScriptMathGeneric(clientScriptEngine);
    EXPECT_EQ(log.take(), "");
  }

  // One module of functions c0, c1, ... returning the cases' expressions.
  static asIScriptModule* buildCases(asIScriptEngine* engine) {
    std::string code;
    for (size_t i = 0; i < std::size(kCases); ++i)
      code += "float c" + std::to_string(i) + "() { return " + kCases[i].expression + "; }\n";
    return scripttest::buildModule(engine, "cases", code);
  }

  static float runCase(asIScriptModule* module, size_t index) {
    const std::string declaration = "float c" + std::to_string(index) + "()";
    asIScriptContext* context = createScriptContext(module->GetEngine());
    context->Prepare(module->GetFunctionByDecl(declaration.c_str()));
    EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED) << kCases[index].expression;
    const float result = context->GetReturnFloat();
    context->Release();
    return result;
  }
};

TEST_F(ScriptMathTest, FunctionsGiveTheirResultsOnBothForms) {
  LogCapture log;
  asIScriptModule* native = buildCases(serverScriptEngine);
  asIScriptModule* generic = buildCases(clientScriptEngine);
  ASSERT_NE(native, nullptr) << log.take();
  ASSERT_NE(generic, nullptr) << log.take();
  for (size_t i = 0; i < std::size(kCases); ++i) {
    const float expected = kCases[i].expected;
    EXPECT_PRED2(sameFloat, runCase(native, i), expected) << kCases[i].expression;
    EXPECT_PRED2(sameFloat, runCase(generic, i), expected) << kCases[i].expression << " (generic)";
  }
  EXPECT_EQ(log.take(), "");  // no compiler message, not even a warning
}

TEST(ScriptMathRound, HalvesGoUpward) {
  const struct {
    float value;
    float expected;
  } cases[] = {{2.5f, 3.0f}, {-2.5f, -2.0f}, {-2.6f, -3.0f}, {0.4f, 0.0f}, {-0.5f, 0.0f}, {1e10f, 1e10f}};
  for (const auto& c : cases)
    EXPECT_PRED2(sameFloat, scriptmath::round(c.value), c.expected) << c.value;
}

}  // namespace

}  // namespace math_test
