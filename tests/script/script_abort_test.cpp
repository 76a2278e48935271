// Stopping running scripts from another thread, and the table of contexts
// that makes it possible.
#include "script/script_abort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/thread.h"
#include "script_test_support.h"

namespace script_abort_test {

using namespace AngelScript;
using scripttest::buildModule;

namespace {

class ScriptAbortTest : public scripttest::ScriptTest {};

// Asks for an abort again and again until `done`, for at most about five
// seconds; false when the script is still running then.
template <typename Done>
bool abortUntil(Done done, int* asked = nullptr) {
  for (int round = 0; round < 5000 && !done(); ++round) {
    const int count = abortRunningScripts();
    if (asked != nullptr)
      *asked += count;
    plat::sleepMs(1);
  }
  return done();
}

TEST_F(ScriptAbortTest, StopsAnEndlessLoopOnAnotherThread) {
  asIScriptModule* module = buildModule(serverScriptEngine, "spin",
                                        "int calls = 0;\n"
                                        "void spin() { while (true) {} }\n"
                                        "void nested() { for (;;) { ++calls; } }\n");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(abortRunningScripts(), 0);  // nothing runs

  for (const char* declaration : {"void spin()", "void nested()"}) {
    SCOPED_TRACE(declaration);
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    ASSERT_EQ(context->Prepare(module->GetFunctionByDecl(declaration)), asSUCCESS);
    EXPECT_EQ(abortRunningScripts(), 0);  // prepared is not running

    std::atomic<bool> done{false};
    std::atomic<int> state{-1};
    std::thread runner([context, &done, &state] {
      state = context->Execute();
      asThreadCleanup();  // the library's data for this thread
      done = true;
    });
    int asked = 0;
    if (!abortUntil([&done] { return done.load(); }, &asked)) {
      runner.detach();  // it spins on; the test has failed
      FAIL() << "the endless loop was not stopped";
    }
    runner.join();
    EXPECT_EQ(state, asEXECUTION_ABORTED);
    EXPECT_GE(asked, 1);

    // The context serves again afterwards.
    ASSERT_EQ(context->Prepare(module->GetFunctionByDecl("void nested()")), asSUCCESS);
    EXPECT_EQ(abortRunningScripts(), 0);
    context->Release();
  }
}

// Contexts leave the table when they are destroyed, also while another
// thread keeps walking it (a freed context would be reported by the address
// sanitizer); contexts of engines not made for it are not entered at all.
TEST_F(ScriptAbortTest, TableForgetsDestroyedContexts) {
  asIScriptModule* module =
      buildModule(serverScriptEngine, "short", "int f() { int s = 0; for (int i = 0; i < 50; ++i) s += i; return s; }");
  ASSERT_NE(module, nullptr);
  asIScriptFunction* function = module->GetFunctionByDecl("int f()");
  const int before = trackedScriptContexts();

  std::atomic<bool> done{false};
  std::thread walker([&done] {
    while (!done)
      abortRunningScripts();
  });
  int finished = 0;
  for (int i = 0; i < 2000; ++i) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(function);
    if (context->Execute() == asEXECUTION_FINISHED)
      ++finished;
    context->Release();
  }
  done = true;
  walker.join();
  EXPECT_GT(finished, 0);  // most runs finish; the walker may abort some
  EXPECT_EQ(trackedScriptContexts(), before);

  asIScriptEngine* plain = asCreateScriptEngine();
  asIScriptContext* untracked = createScriptContext(plain);
  ASSERT_NE(untracked, nullptr);
  EXPECT_EQ(trackedScriptContexts(), before);
  untracked->Release();
  plain->ShutDownAndRelease();
}

}  // namespace

}  // namespace script_abort_test
