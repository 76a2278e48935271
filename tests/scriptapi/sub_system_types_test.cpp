// The script types of sub-systems: declared on both engines, the variable
// and cost members by name, and what only the server engine has.
#include "scriptapi/sub_system_types.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/named_values.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "script_session.h"
#include "design/sub_system_fixture.h"

namespace sub_system_types_test {

using namespace AngelScript;

namespace {

// Speed 6, Range 7, costs Fuel 3 and Metals 15 (at Scale 3).
const char kGun[] =
    "System: Gun\n"
    "Speed: Scale * 2\n"
    "Range: Speed + 1\n"
    "Costs: Metals[Scale * 5], Fuel[Scale]\n";

class SubSystemTypesTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({});
    gun_ = subsystemtest::loadDefinition(root_, kGun, L"Gun");
    ASSERT_NE(gun_, nullptr);
  }
  void TearDown() override {
    clearSubSystemDefs();
    ScriptSessionTest::TearDown();
  }

  // An instance of Gun at Scale 3.
  void evaluate(subSystem& instance) const {
    NamedValues object;
    object.set(L"Scale", 3.0f);
    NameSpaces context;
    context.setSpace(&object, L"Object");
    gun_->createInstance(&instance, context, nullptr);
    context.setSpace(nullptr, L"Object");
  }

  // Runs "float f(subSystem@ s) { <body> }" on the server engine, with the
  // body's single quotes made double: the value it returned, or
  // "exception: <text>".
  static std::string run(std::string body, subSystem* instance) {
    for (char& c : body)
      c = c == '\'' ? '"' : c;
    asIScriptModule* module = build(serverScriptEngine, "subsys", "float f(subSystem@ s) { " + body + " }");
    if (module == nullptr)
      return "does not build";
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(module->GetFunctionByName("f"));
    context->SetArgObject(0, instance);
    std::string outcome;
    if (context->Execute() == asEXECUTION_FINISHED) {
      char number[32];
      std::snprintf(number, sizeof number, "%g", context->GetReturnFloat());
      outcome = number;
    } else {
      outcome = std::string("exception: ") + context->GetExceptionString();
    }
    context->Release();
    return outcome;
  }

  const SubSystemDef* gun_ = nullptr;
};

TEST_F(SubSystemTypesTest, TheFamiliesByName) {
  const struct {
    const char* body;
    const char* evaluated;  // on an evaluated instance
    const char* bare;       // on one without its value block
  } cases[] = {
      {"return s.hasVariable('Speed') ? 1 : 0;", "1", "1"},
      {"return s.hasVariable('{L}') ? 1 : 0;", "1", "1"},
      {"return s.hasVariable('Fuel') ? 1 : 0;", "0", "0"},
      {"return s.getVariable('Range');", "7", "exception: SubSystem Variable list not yet initialized"},
      {"return s.getVariable('Size');", "3", "exception: SubSystem Variable list not yet initialized"},
      {"return s.getVariable('Nope');", "0", "exception: SubSystem Variable list not yet initialized"},
      {"s.setVariable('Speed', 9); return s.getVariable('Speed') + s.getVariable('Range');", "16",
       "exception: SubSystem Variable list not yet initialized"},
      {"s.setVariable('Nope', 9); return s.getVariable('Speed');", "6",
       "exception: SubSystem Variable list not yet initialized"},
      {"return s.hasCost('Metals') ? 1 : 0;", "1", "1"},
      {"return s.hasCost('Speed') ? 1 : 0;", "0", "0"},
      {"return s.getCost('Metals') * 100 + s.getCost('Fuel');", "1503",
       "exception: SubSystem Cost list not yet initialized"},
      {"return s.getCost('Nope');", "0", "exception: SubSystem Cost list not yet initialized"},
      {"s.setCost('Fuel', 4); return s.getCost('Fuel') + s.getCost('Metals');", "19",
       "exception: SubSystem Cost list not yet initialized"},
      {"s.setCost('Nope', 4); return s.getCost('Fuel') + s.getCost('Metals');", "18",
       "exception: SubSystem Cost list not yet initialized"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    subSystem evaluated;
    evaluate(evaluated);
    EXPECT_EQ(run(c.body, &evaluated), c.evaluated);
    subSystem bare;
    bare.def = gun_;
    EXPECT_EQ(run(c.body, &bare), c.bare);
    EXPECT_EQ(bare.values, nullptr);
  }
}

TEST_F(SubSystemTypesTest, WhatEachEngineHas) {
  const struct {
    const char* declaration;  // a method of subSystem, or a type
    bool server;
    bool client;
  } cases[] = {
      {"subSystemDef", true, true},
      {"subSystem", true, true},
      {"SubSystemEvalMode", true, false},
      {"bool hasVariable(const string &) const", true, true},
      {"float getVariable(const string &) const", true, true},
      {"void setVariable(const string &, float)", true, false},
      {"bool hasCost(const string &) const", true, true},
      {"float getCost(const string &) const", true, true},
      {"void setCost(const string &, float)", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.declaration);
    for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
      const bool expected = engine == serverScriptEngine ? c.server : c.client;
      const std::string declaration = c.declaration;
      bool found;
      if (declaration.find('(') == std::string::npos) {
        found = engine->GetTypeInfoByName(c.declaration) != nullptr;
      } else {
        const asITypeInfo* type = engine->GetTypeInfoByName("subSystem");
        found = type != nullptr && type->GetMethodByDecl(c.declaration) != nullptr;
      }
      EXPECT_EQ(found, expected) << (engine == serverScriptEngine ? "server" : "client");
    }
  }
  // Handles of both types build on both engines: their reference
  // behaviours exist.
  const char code[] = "bool same(const subSystemDef@ a, subSystem@ b) { subSystem@ c = b; return a is null; }";
  EXPECT_NE(build(serverScriptEngine, "handles", code), nullptr);
  EXPECT_NE(build(clientScriptEngine, "handles", code), nullptr);
  EXPECT_EQ(run("return float(SSVM_Provisions) + float(SSVM_Costs);", nullptr), "4");
}

}  // namespace

}  // namespace sub_system_types_test
