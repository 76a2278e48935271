// A main-thread script that keeps an empire's message and trait lists
// prepared while it reads the names of that empire's objects, beside the
// galaxy worker of their system, which posts messages to the empire and
// evaluates sub-systems for it while it holds the system's lock. The lists
// hold no empire lock after prepare, so neither side waits for the other
// for good.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/base/session_state.h"
#include "app/game_session.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "script/script_engine.h"
#include "scripted_galaxy.h"
#include "support/log_capture.h"
#include "universe/objects/system_threads.h"

namespace empire_lists_concurrency_test {

using namespace AngelScript;

namespace {

constexpr int kRounds = 1000;

const char kSubSystems[] = "System: Frame\nTags: Hull\nSize: 100\n";

const char kScript[] = R"(
bool round(uint probeID) {
  Empire@ owner = getEmpire(0);
  EmpireMessages messages;
  messages.prepare(owner);
  EmpireTraits traits;
  traits.prepare(owner);
  awaitSystemTick();
  // The worker holds the system's lock now: the name waits for its tick.
  Object@ probe = getObjectByID(probeID);
  return probe.getName() == "Probe" && traits.getCount() == 1 && traits.getTrait().id == "industrious" &&
         messages.getCount() <= 251;
}
)";

// A system whose tick, while its worker holds its lock, tells `target` of
// an event and evaluates a sub-system for it (through `probe`, one of the
// target's objects).
class ReportingSystem : public solarSystem {
 public:
  void tick(float seconds) override {
    empire* emp = target.load();
    if (emp != nullptr) {
      ticksStarted.fetch_add(1);
      postMiscMessage(emp, L"Contact report");
      std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
      factory->prepare(probe);
      delete factory->create(def);
      factory->release();
      ticksEnded.fetch_add(1);
    }
    solarSystem::tick(seconds);
  }

  std::atomic<empire*> target{nullptr};
  generic_object* probe = nullptr;
  const SubSystemDef* def = nullptr;
  std::atomic<int> ticksStarted{0};
  std::atomic<int> ticksEnded{0};
};

ReportingSystem* reporting = nullptr;
std::atomic<bool> missedTick{false};

// "void awaitSystemTick()": moves the game on and returns once the
// reporting system's tick has begun.
void awaitSystemTick() {
  const int before = reporting->ticksStarted.load();
  gameTime = gameTime + 1.0;
  cutSystemThreadRests();
  if (!workersteps::waitFor([&] { return reporting->ticksStarted.load() > before; }))
    missedTick = true;
}

class EmpireListsConcurrencyTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    setUpSubSystemsAndTraits(kSubSystems);
  }
  void TearDown() override {
    reporting = nullptr;
    clearSessionTraits();
    ScriptedGalaxyTest::TearDown();
    clearSubSystemDefs();
  }
};

TEST_F(EmpireListsConcurrencyTest, PreparedListsBesideAWorkerThatPostsAndEvaluates) {
  red->addTrait(L"industrious");
  ASSERT_GE(serverScriptEngine->RegisterGlobalFunction("void awaitSystemTick()", asFUNCTION(awaitSystemTick),
                                                       asCALL_CDECL),
            0);
  asIScriptModule* module = serverScriptEngine->GetModule("rounds", asGM_ALWAYS_CREATE);
  module->AddScriptSection("rounds", kScript);
  ASSERT_GE(module->Build(), 0);
  asIScriptFunction* round = module->GetFunctionByDecl("bool round(uint)");
  ASSERT_NE(round, nullptr);

  auto* system = new ReportingSystem();
  system->setContainer(galaxy);
  auto* probe = new TestObject(red, OT_Generic, L"Probe");
  probe->setContainer(system);
  system->probe = probe;
  system->def = subSystemDefRegistry[0].value;
  reporting = system;
  missedTick = false;
  gameTime = 0.0;
  startSystemThreads(1);
  ASSERT_TRUE(workersteps::waitForWorkersRunning());
  system->target = red;

  int failed = 0;
  for (int i = 0; i < kRounds && !missedTick.load(); ++i) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(round);
    context->SetArgDWord(0, probe->uid);
    const int result = context->Execute();
    if (result != asEXECUTION_FINISHED || context->GetReturnByte() == 0)
      ++failed;
    context->Release();
  }
  system->target = nullptr;

  EXPECT_FALSE(missedTick.load());
  EXPECT_EQ(failed, 0);
  EXPECT_GE(system->ticksEnded.load(), kRounds);
  empire::AreaGuard guard;
  red->lockArea(guard, EA_Messages, false);
  ASSERT_EQ(red->messages.size(), kMaxEmpireMessages);
  EXPECT_EQ(red->messages.back().text, L"Contact report");
}

}  // namespace

}  // namespace empire_lists_concurrency_test
