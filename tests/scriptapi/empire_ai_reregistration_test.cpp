// Re-registration of an empire's AI asked for by another thread (a player
// leaving, kicked or taking an empire over, handled on the network thread)
// while the main thread steps the empire: each call becomes one run of
// "registerEmpireData" inside a later step, as that empire, and the AI
// fields change only there.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/base/session_state.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "script_session.h"
#include "support/log_capture.h"

namespace empire_ai_reregistration_test {

namespace {

constexpr int kCalls = 1000;

const char kEmpireAI[] = R"(
class Keeper {
  Keeper(Empire@ emp) {}
  void tick(Empire@ emp, float seconds) { emp.setSetting("ticks", emp.getSetting("ticks") + 1); }
}
void registerEmpireData(Empire@ emp) {
  emp.setSetting("registrations", emp.getSetting("registrations") + 1);
  if (!(getActiveEmpire() is emp))
    emp.setSetting("registeredAsOther", emp.getSetting("registeredAsOther") + 1);
  emp.regScriptData("empire_ai", "Keeper");
}
)";

class EmpireAIReregistrationTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    initThreadLocals();
    startSession({{"empire_ai", kEmpireAI}});
  }
};

TEST_F(EmpireAIReregistrationTest, OnTheStepThreadTheRegistrationRunsAtOnce) {
  empire* emp = registerEmpire(new empire);
  ASSERT_TRUE(onEmpireStepThread());
  const AngelScript::asIScriptObject* first = emp->aiObject;
  ASSERT_NE(first, nullptr);
  activeEmpire = emp;
  runRegisterEmpireData(emp);
  EXPECT_EQ(emp->getSetting(L"registrations"), 2.0f);
  EXPECT_NE(emp->aiObject, nullptr);
  EXPECT_TRUE(emp->jobs.empty());
}

TEST_F(EmpireAIReregistrationTest, EveryCallFromAnotherThreadRunsOnceInALaterStep) {
  LogCapture log;
  empire* emp = registerEmpire(new empire);
  registerEmpire(new empire);  // a neighbour stepped beside it
  ASSERT_NE(emp->aiObject, nullptr);
  ASSERT_EQ(emp->getSetting(L"registrations"), 1.0f);

  std::atomic<int> calls{0};
  std::atomic<bool> onStepThread{false};
  std::thread network([&] {
    initThreadLocals();
    onStepThread = onEmpireStepThread();
    for (int i = 0; i < kCalls; ++i) {
      runRegisterEmpireData(emp);
      calls.fetch_add(1);
      if (i % 16 == 0)
        std::this_thread::yield();
    }
    freeThreadLocals();
  });

  // Between two steps nothing registers: the count seen after a step is
  // the one seen before the next.
  float afterStep = emp->getSetting(L"registrations");
  int changedBetweenSteps = 0;
  int steps = 0;
  while (calls.load() < kCalls) {
    changedBetweenSteps += emp->getSetting(L"registrations") != afterStep;
    for (empire* listed : empireList)
      listed->tick(0.05f);
    activeEmpire = nullptr;
    afterStep = emp->getSetting(L"registrations");
    ++steps;
  }
  network.join();
  // What the last calls queued runs in the next step.
  emp->tick(0.05f);
  activeEmpire = nullptr;

  EXPECT_FALSE(onStepThread.load());
  EXPECT_EQ(changedBetweenSteps, 0);
  EXPECT_EQ(emp->getSetting(L"registrations"), static_cast<float>(1 + kCalls));
  EXPECT_EQ(emp->getSetting(L"registeredAsOther"), 0.0f);
  EXPECT_NE(emp->aiObject, nullptr);
  EXPECT_GE(emp->aiTickFunction, 0);
  EXPECT_TRUE(emp->jobs.empty());
  // The AI made by the last registration goes on being ticked.
  const float ticks = emp->getSetting(L"ticks");
  emp->tick(0.05f);
  activeEmpire = nullptr;
  EXPECT_EQ(emp->getSetting(L"ticks"), ticks + 1.0f);
  const std::string text = log.take();
  EXPECT_EQ(text.find("Empire already has an AI"), std::string::npos) << text;
  EXPECT_EQ(text.find("Script Exception"), std::string::npos) << text;
}

}  // namespace

}  // namespace empire_ai_reregistration_test
