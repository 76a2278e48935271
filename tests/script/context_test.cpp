// Per-thread contexts: the thread's own contexts, the pools, the cache of
// prepared contexts, and scripts run on several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "script_test_support.h"

namespace context_test {

using namespace AngelScript;
using scripttest::buildModule;
using scripttest::callWhileCollecting;

namespace {

class ContextTest : public scripttest::ScriptTest {
 protected:
  void TearDown() override {
    freeThreadLocals();
    ScriptTest::TearDown();
  }
};

TEST_F(ContextTest, ThreadRecordsMakeAndReleaseTheirContexts) {
  std::thread([] {
    ThreadLocals& record = threadLocals();
    initThreadLocals();
    ASSERT_NE(record.serverContext, nullptr);
    ASSERT_NE(record.clientContext, nullptr);
    EXPECT_EQ(record.serverContext->GetEngine(), serverScriptEngine);
    EXPECT_EQ(record.clientContext->GetEngine(), clientScriptEngine);
    releaseScriptContext(takeServerScriptContext());
    releaseScriptContext(takeClientScriptContext());
    EXPECT_EQ(record.serverPool.size(), 1u);
    EXPECT_EQ(record.clientPool.size(), 1u);

    // A second set-up tears the first set down; the end releases everything
    // (the leak checker sees any context left behind).
    initThreadLocals();
    EXPECT_TRUE(record.serverPool.empty());
    freeThreadLocals();
    EXPECT_EQ(record.serverContext, nullptr);
    EXPECT_EQ(record.clientContext, nullptr);
    EXPECT_TRUE(record.clientPool.empty());
    EXPECT_TRUE(record.preparedContexts.empty());
  }).join();
}

TEST_F(ContextTest, PoolsGiveTheLastContextBackFirst) {
  asIScriptContext* first = takeServerScriptContext();
  asIScriptContext* second = takeServerScriptContext();
  ASSERT_NE(first, second);
  releaseScriptContext(first);
  releaseScriptContext(second);
  EXPECT_EQ(takeServerScriptContext(), second);
  EXPECT_EQ(takeServerScriptContext(), first);
  EXPECT_EQ(first->GetEngine(), serverScriptEngine);
  // A client context goes back to the client pool, whatever the caller meant.
  asIScriptContext* client = takeClientScriptContext();
  releaseScriptContext(client);
  EXPECT_EQ(threadLocals().clientPool.back(), client);
  first->Release();
  second->Release();
}

// The script calls this native, which calls back into the function that is
// running: the cached context is busy, so a pooled one serves.
bool lastFromPool = false;
int reenter(int n) {
  bool fromPool = false;
  asIScriptContext* context = getPreparedScriptContext(asGetActiveContext()->GetFunction(0)->GetId(), fromPool);
  lastFromPool = fromPool;
  context->SetArgDWord(0, static_cast<asDWORD>(n));
  const int state = context->Execute();
  const int result = state == asEXECUTION_FINISHED ? static_cast<int>(context->GetReturnDWord()) : -1;
  if (fromPool)
    releaseScriptContext(context);
  return result;
}

TEST_F(ContextTest, ReenteredFunctionGetsAPooledContext) {
  ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("int reenter(int)", asFUNCTION(reenter), asCALL_CDECL), 0);
  asIScriptModule* module = buildModule(serverScriptEngine, "rec",
                                        "int count(int n) { return n == 0 ? 0 : 1 + reenter(n - 1); }");
  ASSERT_NE(module, nullptr);
  const int id = module->GetFunctionByDecl("int count(int)")->GetId();

  bool fromPool = true;
  asIScriptContext* cached = getPreparedScriptContext(id, fromPool);
  EXPECT_FALSE(fromPool);
  cached->SetArgDWord(0, 3);
  ASSERT_EQ(cached->Execute(), asEXECUTION_FINISHED);
  EXPECT_EQ(cached->GetReturnDWord(), 3u);
  EXPECT_TRUE(lastFromPool);
  // Each of the three nested calls ran on its own pooled context while the
  // calls around it were running, and gave it back.
  EXPECT_EQ(threadLocals().serverPool.size(), 3u);

  // Once finished, the cached context serves again.
  EXPECT_EQ(getPreparedScriptContext(id, fromPool), cached);
  EXPECT_FALSE(fromPool);
  EXPECT_EQ(threadLocals().preparedContexts.size(), 1u);
}

TEST_F(ContextTest, CacheKeepsAtMost127Functions) {
  std::string code;
  for (int i = 0; i < 130; ++i)
    code += "int f" + std::to_string(i) + "() { return " + std::to_string(i) + "; }\n";
  asIScriptModule* module = buildModule(serverScriptEngine, "many", code);
  ASSERT_NE(module, nullptr);
  for (int i = 0; i < 130; ++i) {
    SCOPED_TRACE(i);
    const std::string declaration = "int f" + std::to_string(i) + "()";
    bool fromPool = false;
    asIScriptContext* context = getPreparedScriptContext(module->GetFunctionByDecl(declaration.c_str())->GetId(),
                                                         fromPool);
    EXPECT_EQ(fromPool, i >= kMaxPreparedScriptContexts);
    ASSERT_EQ(context->Execute(), asEXECUTION_FINISHED);
    EXPECT_EQ(static_cast<int>(context->GetReturnDWord()), i);
    if (fromPool)
      releaseScriptContext(context);
  }
  EXPECT_EQ(threadLocals().preparedContexts.size(), static_cast<size_t>(kMaxPreparedScriptContexts));
  bool fromPool = true;
  getPreparedScriptContext(module->GetFunctionByDecl("int f0()")->GetId(), fromPool);
  EXPECT_FALSE(fromPool);

  // An id that names no function: an unprepared pooled context.
  asIScriptContext* none = getPreparedScriptContext(999999, fromPool);
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(fromPool);
  EXPECT_EQ(none->Execute(), asCONTEXT_NOT_PREPARED);
  releaseScriptContext(none);
}

// Four threads run scripts that make cyclic garbage and strings through their
// own contexts while a fifth runs the garbage collector (run this under
// ThreadSanitizer too).
TEST_F(ContextTest, ThreadsRunScriptsWhileTheCollectorRuns) {
  asIScriptModule* module = buildModule(serverScriptEngine, "busy",
                                        "class Node { Node@ next; string name; }\n"
                                        "int work(int n) {\n"
                                        "  string total;\n"
                                        "  for (int i = 0; i < n; ++i) {\n"
                                        "    Node a; Node b;\n"
                                        "    @a.next = b; @b.next = a;\n"
                                        "    a.name = \"n\" + i;\n"
                                        "    total += a.name.length();\n"
                                        "  }\n"
                                        "  return total.length();\n"
                                        "}\n");
  ASSERT_NE(module, nullptr);
  const int id = module->GetFunctionByDecl("int work(int)")->GetId();

  // Each name's length ("n0" to "n19": 2 or 3) appends one digit.
  EXPECT_EQ(callWhileCollecting(id, 20, 20, 4, 200), 0);
  asUINT alive = 0;
  serverScriptEngine->GetGCStatistics(&alive);
  EXPECT_EQ(alive, 0u);
}

}  // namespace

}  // namespace context_test
