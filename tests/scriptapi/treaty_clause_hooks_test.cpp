// Clause hooks run in the server engine, and the clause types scripts see.
#include <fstream>
#include <thread>
#include <vector>

#include "empire/treaty_clause.h"
#include "script/script_contexts.h"
#include "script_session.h"

namespace treaty_clause_hooks_test {

using namespace AngelScript;
using scriptapitest::call;

namespace {

const char kClauseFile[] = R"(<treaties>
<clause id="hooked" name="Hooked" desc="D">
  <option name="amount" type="integer" def="4"/>
  <option name="result" type="float"/>
  <option name="text" type="string" def="Friendship"/>
  <hook type="begin" func="clause_fixture::beginEnded"/>
  <hook type="tick" func="clause_fixture::tickRecord"/>
  <hook type="end" func="clause_fixture::endOrder"/>
  <hook type="fail" func="clause_fixture::failThrows"/>
</clause>
<clause id="plain" name="Plain" desc="D"/>
<clause id="counter" name="Counter" desc="D">
  <option name="amount" type="integer"/>
  <option name="result" type="float"/>
  <hook type="tick" func="clause_fixture::tickScale"/>
</clause>
</treaties>)";

const char kFixtureScript[] = R"(
double seen = 0;
int order = 0;
ClauseState beginEnded(Clause@ c, Empire@ a, Empire@ b) { return CS_ENDED; }
ClauseState tickRecord(Clause@ c, Empire@ a, Empire@ b, double seconds) {
  seen = seconds;
  ClauseOption@ result = c.getOption(1);
  result = float(c.getOption(0).toInt()) * 2.5f;
  return CS_NOCHANGE;
}
ClauseState tickScale(Clause@ c, Empire@ a, Empire@ b, double seconds) {
  ClauseOption@ result = c.getOption(1);
  result = float(c.getOption(0).toInt()) * float(seconds);
  return CS_NOCHANGE;
}
ClauseState endOrder(Clause@ c, Empire@ a, Empire@ b) { order = a.ID * 10 + b.ID; return CS_NOCHANGE; }
ClauseState failThrows(Clause@ c, Empire@ a, Empire@ b) { Empire@ none; none.isAI(); return CS_FAILED; }
string outOfBounds(Clause@ c) {
  ClauseOption@ o = c.getOption(c.optionCount);
  return o is null ? "null" : "option";
}
)";

class TreatyClauseHooksTest : public scriptapitest::ScriptSessionTest {
protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data");
    std::ofstream(root_ / "Game Data/treaties.xml", std::ios::binary)
        << kClauseFile;
    initThreadLocals();
    startSession({{"clause_fixture", kFixtureScript}});
    a_ = registerEmpire(new empire);
    b_ = registerEmpire(new empire);
  }
  void TearDown() override {
    ScriptSessionTest::TearDown();
    clearTreatyClauses();
  }

  template <typename T> T global(const char *name) {
    asIScriptModule *module = serverScriptEngine->GetModule("clause_fixture");
    return *static_cast<T *>(
        module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName(name)));
  }

  empire *a_ = nullptr;
  empire *b_ = nullptr;
};

TEST_F(TreatyClauseHooksTest, HooksRunWithTheirArgumentsAndResults) {
  IClause *clause = createClause(L"hooked", false);
  ASSERT_NE(clause, nullptr);
  EXPECT_EQ(clause->begin(a_, b_), CS_ENDED);
  EXPECT_EQ(clause->getRefCount(), 1);
  EXPECT_EQ(clause->tick(a_, b_, 0.25), CS_NOCHANGE);
  EXPECT_EQ(global<double>("seen"), 0.25);
  EXPECT_EQ(clause->getOption(1)->getType(), OT_FLOAT);
  EXPECT_EQ(clause->getOption(1)->toFloat(), 10.0f);
  EXPECT_EQ(clause->getRefCount(), 1);
  // The treaty swaps the empires of a reversed clause.
  EXPECT_EQ(clause->end(b_, a_), CS_NOCHANGE);
  EXPECT_EQ(global<int>("order"), b_->ID * 10 + a_->ID);
  {
    LogCapture log;
    EXPECT_EQ(clause->fail(a_, b_), CS_NOCHANGE);
    EXPECT_NE(log.take().find("Script Exception: "), std::string::npos);
  }
  EXPECT_EQ(clause->getRefCount(), 1);
  clause->release();

  IClause *plain = createClause(L"plain", false);
  EXPECT_EQ(plain->begin(a_, b_), CS_NOCHANGE);
  EXPECT_EQ(plain->tick(a_, b_, 1.0), CS_NOCHANGE);
  plain->release();
}

TEST_F(TreatyClauseHooksTest, GetOptionPastTheCountRaises) {
  IClause *clause = createClause(L"hooked", false);
  asIScriptModule *module = serverScriptEngine->GetModule("clause_fixture");
  asIScriptContext *context = createScriptContext(serverScriptEngine);
  context->Prepare(module->GetFunctionByDecl("string outOfBounds(Clause@)"));
  context->SetArgObject(0, clause);
  EXPECT_EQ(context->Execute(), asEXECUTION_EXCEPTION);
  EXPECT_STREQ(context->GetExceptionString(),
               "Out-of-bounds index when getting clause option");
  context->Release();
  EXPECT_EQ(clause->getRefCount(), 1);
  clause->release();
}

TEST_F(TreatyClauseHooksTest, ClauseStateIsAServerName) {
  const std::string code = "int f() { return CS_ENDED; }";
  EXPECT_NE(build(serverScriptEngine, "states", code), nullptr);
  LogCapture log;
  EXPECT_EQ(build(clientScriptEngine, "states", code), nullptr);
  log.take();
}

TEST_F(TreatyClauseHooksTest, RelationsChangeOnBothSides) {
  asIScriptModule *module = build(
      serverScriptEngine, "relations",
      "void f(Empire@ a) { Empire@ b = getEmpire(1); a.setAllied(b, true);"
      " a.setEnemy(b, true); }");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(call(module, "void f(Empire@)", a_), "finished");
  for (auto [self, other] : {std::pair(a_, b_), std::pair(b_, a_)}) {
    EmpireRelation *relation = self->lockRelation(other);
    EXPECT_FALSE(relation->allied);
    EXPECT_TRUE(relation->enemy);
    self->unlockRelations();
  }
}

IClause *nestedClause = nullptr;
int runNestedBegin() { return nestedClause->begin(nullptr, nullptr); }

// A script whose native drives a clause: the hook runs nested on the same
// context, and the script goes on afterwards.
TEST_F(TreatyClauseHooksTest, AHookRunsNestedInsideARunningScript) {
  serverScriptEngine->RegisterGlobalFunction(
      "int runNestedBegin()", asFUNCTION(runNestedBegin), asCALL_CDECL);
  asIScriptModule *module = build(serverScriptEngine, "nested",
                                  "int reached = 0; int f() { int r = "
                                  "runNestedBegin(); reached = 1; return r; }");
  ASSERT_NE(module, nullptr);
  nestedClause = createClause(L"hooked", false);
  asIScriptContext *context = threadServerContext();
  ASSERT_NE(context, nullptr);
  context->Prepare(module->GetFunctionByDecl("int f()"));
  ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
  EXPECT_EQ(static_cast<int>(context->GetReturnDWord()), CS_ENDED);
  EXPECT_EQ(*static_cast<int *>(module->GetAddressOfGlobalVar(
                module->GetGlobalVarIndexByName("reached"))),
            1);
  context->Unprepare();
  EXPECT_EQ(nestedClause->getRefCount(), 1);
  nestedClause->release();
  nestedClause = nullptr;
}

// Each session loads the clause file again and hooks its own engine.
TEST_F(TreatyClauseHooksTest, ASecondSessionHooksItsOwnEngine) {
  endSession();
  clearTreatyClauses();
  std::string second = kFixtureScript;
  second.replace(second.find("return CS_ENDED"), 15, "return CS_FAILED");
  startSession({{"clause_fixture", second}});
  EXPECT_EQ(getClauseDescriptorCount(), 3u);
  IClause *clause = createClause(L"hooked", false);
  EXPECT_EQ(clause->begin(nullptr, nullptr), CS_FAILED);
  clause->release();

  LogCapture log;
  clearTreatyClauses();
  loadTreatyClauses(
      irr::core::stringc((root_ / "Game Data/treaties.xml").string().c_str()));
  EXPECT_EQ(log.take(), "");
}

// Tick hooks on several threads, each on its own context and clauses, while
// other threads count references on one clause.
TEST_F(TreatyClauseHooksTest, ClausesRunOnManyThreads) {
  IClause *shared = createClause(L"hooked", false);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      initThreadLocals();
      for (int i = 0; i < 50; ++i) {
        IClause *clause = createClause(L"counter", false);
        clause->getOption(0)->opAssign(int32_t{t * 100 + i});
        if (clause->tick(a_, b_, 2.5) != CS_NOCHANGE ||
            clause->getOption(1)->toFloat() != (t * 100 + i) * 2.5f ||
            clause->getRefCount() != 1)
          ++wrong[t];
        clause->release();
      }
      freeThreadLocals();
    });
    threads.emplace_back([shared] {
      for (int i = 0; i < 10000; ++i) {
        shared->addRef();
        shared->release();
      }
    });
  }
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_EQ(shared->getRefCount(), 1);
  shared->release();
}

} // namespace

}  // namespace treaty_clause_hooks_test
