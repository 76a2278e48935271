// The quit watcher: once termination is requested, scripts stuck in endless
// loops are stopped, one after the other, for as long as the request stands.
#include "app/quit_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/signals.h"
#include "platform/thread.h"
#include "script/script_engine.h"
#include "script/script_file.h"

namespace quit_watcher_test {

using namespace AngelScript;

namespace {

TEST(QuitWatcher, StopsStuckScriptsOnceQuitIsRequested) {
  plat::clearTerminationRequest();
  ASSERT_TRUE(createScriptEngines());
  asIScriptModule* module = serverScriptEngine->GetModule("stuck", asGM_ALWAYS_CREATE);
  const char code[] = "void spin() { while (true) {} }";
  module->AddScriptSection("stuck.as", code, sizeof code - 1);
  ASSERT_GE(module->Build(), 0);
  ASSERT_TRUE(startQuitWatcher());
  EXPECT_TRUE(startQuitWatcher());  // one watcher; later calls do nothing

  // The second script gets stuck after the request was first acted on.
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    ASSERT_EQ(context->Prepare(module->GetFunctionByDecl("void spin()")), asSUCCESS);
    std::atomic<bool> done{false};
    std::atomic<int> state{-1};
    std::thread runner([context, &done, &state] {
      state = context->Execute();
      asThreadCleanup();
      done = true;
    });
    if (round == 0)
      plat::requestTermination();
    // Bounded: a watcher that does not stop the script fails the test.
    for (int wait = 0; wait < 5000 && !done; ++wait)
      plat::sleepMs(1);
    if (!done) {
      runner.detach();
      FAIL() << "the stuck script was not stopped";
    }
    runner.join();
    EXPECT_EQ(state, asEXECUTION_ABORTED);
    context->Release();
  }
  plat::clearTerminationRequest();
  discardScriptModules();
  releaseScriptEngines();
}

}  // namespace

}  // namespace quit_watcher_test
