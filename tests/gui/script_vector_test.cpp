// The script type vector on both engines: constructors, properties, each
// method against the vector3df operation it is bound to, vectors passed by
// value between scripts and natives, and a script function called from C++
// with vector arguments.
#include "gui/script_vector.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <vector3d.h>

#include <cmath>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

#include "gui/gui_bindings.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "support/log_capture.h"

namespace irr::core {
void PrintTo(const vector3df& v, std::ostream* out) { *out << "(" << v.X << ", " << v.Y << ", " << v.Z << ")"; }
}  // namespace irr::core

namespace script_vector_test {

using namespace AngelScript;
using irr::core::vector3df;

namespace {

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Exactly equal, NaN matching NaN.
bool same(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }
bool same(const vector3df& a, const vector3df& b) { return same(a.X, b.X) && same(a.Y, b.Y) && same(a.Z, b.Z); }

// A native taking a vector and a float by value and returning a vector by
// value: (z, x, y) + add.
vector3df lastReceived;
vector3df rotateAndAdd(vector3df v, float add) {
  lastReceived = v;
  return vector3df(v.Z + add, v.X + add, v.Y + add);
}

// The same as a method taking the vector first, the convention of natives
// that are not vector3df's own members.
vector3df rotatedAndAdded(const vector3df& self, float add) { return rotateAndAdd(self, add); }

class ScriptVectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    registerScriptString(clientScriptEngine);
    registerGuiBindings();
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
      engine->RegisterGlobalFunction("vector rotateAndAdd(vector, float)", asFUNCTION(rotateAndAdd), asCALL_CDECL);
      engine->RegisterObjectMethod("vector", "vector rotatedAndAdded(float) const", asFUNCTION(rotatedAndAdded),
                                   asCALL_CDECL_OBJFIRST);
    }
    EXPECT_EQ(log.take(), "");  // every registration accepted
  }
  void TearDown() override {
    discardScriptModules();
    releaseScriptEngines();
  }

  // Builds `body` as the function `declaration` on `engine`, runs it and
  // hands the finished context to `read`. False when it does not build or
  // does not finish.
  static bool run(asIScriptEngine* engine, const std::string& declaration, const std::string& body,
                  const std::function<void(asIScriptContext*)>& read) {
    LogCapture log;
    asIScriptModule* module = engine->GetModule("vector", asGM_ALWAYS_CREATE);
    const std::string code = declaration + " {\n" + body + "\n}\n";
    module->AddScriptSection("vector.as", code.c_str(), code.size());
    if (module->Build() < 0) {
      ADD_FAILURE() << log.take();
      return false;
    }
    asIScriptContext* context = createScriptContext(engine);
    context->Prepare(module->GetFunctionByDecl(declaration.c_str()));
    const bool finished = context->Execute() == asEXECUTION_FINISHED;
    if (finished)
      read(context);
    context->Release();
    return finished;
  }

  static vector3df vectorResult(asIScriptEngine* engine, const std::string& body) {
    vector3df result(-12345.f);
    run(engine, "vector test()", body,
        [&](asIScriptContext* context) { result = *static_cast<vector3df*>(context->GetReturnObject()); });
    return result;
  }

  static float floatResult(asIScriptEngine* engine, const std::string& body) {
    float result = -12345.f;
    run(engine, "float test()", body, [&](asIScriptContext* context) { result = context->GetReturnFloat(); });
    return result;
  }
};

TEST_F(ScriptVectorTest, ConstructorsPropertiesAndVectorMethods) {
  const struct {
    const char* body;
    vector3df expected;
  } cases[] = {
      {"return vector(2.5);", {2.5f, 2.5f, 2.5f}},
      {"return vector(1, 2, 3);", {1, 2, 3}},
      {"vector v(1, 2, 3); return vector(v.z, v.x, v.y);", {3, 1, 2}},
      {"vector v(0); v.x = 1; v.y = 2; v.z = 3; return v;", {1, 2, 3}},
      {"vector v(1, 2, 3); vector w = v; w.y = 9; return vector(v.y, w.y, 0);", {2, 9, 0}},
      {"vector v(0); v.set(4, 5, 6); return v;", {4, 5, 6}},
      // normalize() works in place and returns the object itself.
      {"vector v(3, 0, 4); v.normalize(); return v;", {0.6f, 0, 0.8f}},
      {"vector v(0, 0, 2); v.normalize().y = 7; return v;", {0, 7, 1}},
      {"vector v(0); v.normalize(); return v;", {0, 0, 0}},
      // normalize(float) rescales to the length; a zero vector stays zero.
      {"vector v(0, -2, 0); v.normalize(5); return v;", {0, -5, 0}},
      {"vector v(0, 0, 2); v.normalize(3).x = 1; return v;", {1, 0, 3}},
      {"vector v(1, 2, 3); v.normalize(0); return v;", {0, 0, 0}},
      {"vector v(0); v.normalize(5); return v;", {0, 0, 0}},
      {"return vector(1, 2, 3) * 2;", {2, 4, 6}},
      {"vector v(1, 2, 3); vector w = v * 2; return v;", {1, 2, 3}},
      // Division multiplies by the reciprocal (5 / 3 would round
      // differently), and by zero gives infinities and NaN.
      {"return vector(5, 7, 1) / 3;", {5 * (1.0f / 3), 7 * (1.0f / 3), 1.0f / 3}},
      {"return vector(1, -1, 0) / 0;", {kInf, -kInf, kNaN}},
      {"return vector(1, 2, 3) + vector(10, 20, 30);", {11, 22, 33}},
      {"return vector(1, 2, 3) - vector(10, 20, 30);", {-9, -18, -27}},
      {"vector v(1, 2, 3); v *= 2; return v;", {2, 4, 6}},
      {"vector v(5, 7, 1); v /= 3; return v;", {5 * (1.0f / 3), 7 * (1.0f / 3), 1.0f / 3}},
      {"vector v(1, 2, 3); v /= 0; return v;", {kInf, kInf, kInf}},
      {"vector v(1, 2, 3); v += vector(10, 20, 30); return v;", {11, 22, 33}},
      {"vector v(1, 2, 3); v -= vector(10, 20, 30); return v;", {-9, -18, -27}},
      // The compound assignments return the object itself.
      {"vector v(1, 2, 3); (v *= 2).x = 0; (v += vector(1)).y = 0; (v -= vector(1)).z = 0; return v;", {0, -1, 0}},
      {"vector v(1, 2, 3); (v /= 2).x = 0; return v;", {0, 1, 1.5f}},
  };
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    for (const auto& c : cases) {
      const vector3df result = vectorResult(engine, c.body);
      EXPECT_TRUE(same(result, c.expected)) << c.body << "\n  gives " << ::testing::PrintToString(result)
                                            << "\n  expected " << ::testing::PrintToString(c.expected);
    }
  }
}

TEST_F(ScriptVectorTest, FloatMethods) {
  const struct {
    const char* body;
    float expected;
  } cases[] = {
      {"return vector(1, 2, 3).getDistanceFrom(vector(4, 6, 3));", 5},
      {"return vector(1, 2, 3).getDistanceFromSQ(vector(4, 6, 3));", 25},
      {"return vector(1, 2, 3).dotProduct(vector(4, -5, 6));", 12},
      {"return vector(1, 2, 2).getLength();", 3},
      {"return vector(1, 2, 2).getLengthSQ();", 9},
      {"return vector(0).getLength();", 0},
      {"const vector v(1, 2, 2); return v.getLength() + v.getLengthSQ() + v.dotProduct(v) + v.getDistanceFrom(v);",
       21},
  };
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    for (const auto& c : cases)
      EXPECT_EQ(floatResult(engine, c.body), c.expected) << c.body;
  }
}

TEST_F(ScriptVectorTest, HasNoComparisonOrNegation) {
  for (const char* body : {"return vector(1) == vector(1) ? 1.f : 0.f;", "return (-vector(1)).x;"}) {
    LogCapture log;
    asIScriptModule* module = serverScriptEngine->GetModule("vector", asGM_ALWAYS_CREATE);
    const std::string code = std::string("float test() {\n") + body + "\n}\n";
    module->AddScriptSection("vector.as", code.c_str(), code.size());
    EXPECT_LT(module->Build(), 0) << body;
    EXPECT_NE(log.take(), "");
  }
}

// Natives take and return a vector by value.
TEST_F(ScriptVectorTest, PassesByValueToNativesAndBack) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    SCOPED_TRACE(engine == serverScriptEngine ? "server" : "client");
    lastReceived = vector3df(0);
    EXPECT_TRUE(same(vectorResult(engine, "return rotateAndAdd(vector(1, 2, 3), 10);"), vector3df(13, 11, 12)));
    EXPECT_TRUE(same(lastReceived, vector3df(1, 2, 3)));
    EXPECT_TRUE(same(vectorResult(engine, "vector v(4, 5, 6); vector w = rotateAndAdd(v, 0.5f); v.x = w.x; return v;"),
                     vector3df(6.5f, 5, 6)));
    lastReceived = vector3df(0);
    EXPECT_TRUE(same(vectorResult(engine, "const vector v(1, 2, 3); return v.rotatedAndAdded(10);"),
                     vector3df(13, 11, 12)));
    EXPECT_TRUE(same(lastReceived, vector3df(1, 2, 3)));
  }
}

// C++ calls a script function taking two vectors by value, each argument
// given with SetArgObject; the script gets its own copies.
TEST_F(ScriptVectorTest, ScriptFunctionTakesVectorsFromCpp) {
  LogCapture log;
  asIScriptModule* module = serverScriptEngine->GetModule("map", asGM_ALWAYS_CREATE);
  const char code[] =
      "vector first(0);\n"
      "vector second(0);\n"
      "void createEnvironment(vector a, vector b) { first = a; second = b; a.x = -1; b *= 2; }\n";
  module->AddScriptSection("map.as", code, sizeof(code) - 1);
  ASSERT_GE(module->Build(), 0) << log.take();
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  vector3df a(1, 2, 3);
  vector3df b(-4, 0.5f, 1e6f);
  ASSERT_GE(context->Prepare(module->GetFunctionByDecl("void createEnvironment(vector, vector)")), 0);
  EXPECT_EQ(context->SetArgObject(0, &a), asSUCCESS);
  EXPECT_EQ(context->SetArgObject(1, &b), asSUCCESS);
  EXPECT_EQ(context->Execute(), asEXECUTION_FINISHED);
  context->Release();
  const auto global = [&](const char* name) {
    return *static_cast<vector3df*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName(name)));
  };
  EXPECT_TRUE(same(global("first"), vector3df(1, 2, 3)));
  EXPECT_TRUE(same(global("second"), vector3df(-4, 0.5f, 1e6f)));
  EXPECT_TRUE(same(a, vector3df(1, 2, 3)));
  EXPECT_TRUE(same(b, vector3df(-4, 0.5f, 1e6f)));
  EXPECT_EQ(log.take(), "");
}

// Per engine, vector is registered before Color.
TEST_F(ScriptVectorTest, ComesBeforeColorOnBothEngines) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    int vectorIndex = -1;
    int colorIndex = -1;
    for (asUINT i = 0; i < engine->GetObjectTypeCount(); ++i) {
      const std::string name = engine->GetObjectTypeByIndex(i)->GetName();
      if (name == "vector")
        vectorIndex = static_cast<int>(i);
      else if (name == "Color")
        colorIndex = static_cast<int>(i);
    }
    EXPECT_GE(vectorIndex, 0);
    EXPECT_LT(vectorIndex, colorIndex);
    const asITypeInfo* type = engine->GetTypeInfoByName("vector");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->GetSize(), 12u);
    const asDWORD kinds = asOBJ_VALUE | asOBJ_POD | asOBJ_APP_CLASS;
    EXPECT_EQ(type->GetFlags() & kinds, kinds);
    EXPECT_EQ(type->GetBehaviourCount(), 2u);  // the two constructors
  }
}

}  // namespace

}  // namespace script_vector_test
