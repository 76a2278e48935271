// The script type ResearchWeb, and the research phase of the empire step
// running beside other threads.
#include "scriptapi/research_script_types.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "script_session.h"

namespace research_script_types_test {

using irr::core::stringw;
using scriptapitest::call;

namespace {

// Science is visible from the start (level 1); Hidden is not (level 0).
const char* const kTechnologies =
    "Technology: Science\nName: Science\nCost: 1000\nStartLevel: 1\nLink: Hidden [1000]\n"
    "Technology: Hidden\nName: Hidden\nCost: 1000\n";

const char* const kScript = R"(
void target(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  web.setResearchRate(2.0);
  web.setActiveTech("Science");
}
void hidden(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  web.setActiveTech("Hidden");
  web.setActiveTech("Hidden", 0);
  web.setActiveTech("Bogus");
}
void unbound(Empire@ emp) {
  ResearchWeb web;
  web.setResearchRate(1.0);
}
void unprepared(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  web.prepare(null);
  web.setActiveTech("Science", 0);
}
void holdThenTarget(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  pauseForTest();
  web.setResearchRate(3.0);
  web.setActiveTech("Science");
}
)";

const char* const kClientScript = R"(
void target(Empire@ emp) {
  ResearchWeb web;
  web.prepare(emp);
  web.setActiveTech("Science");
}
)";

// The thread running "holdThenTarget" stops in pauseForTest until released.
std::promise<void>* pausedSignal = nullptr;
std::shared_future<void> resume;
void pauseForTest() {
  pausedSignal->set_value();
  resume.wait();
}

class ResearchWebScriptTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({});
    std::ofstream(root_ / "techs.txt", std::ios::binary) << kTechnologies;
    research::loadResearchFields((root_ / "techs.txt").string().c_str());
    serverScriptEngine->RegisterGlobalFunction("void pauseForTest()", AngelScript::asFUNCTION(pauseForTest),
                                               AngelScript::asCALL_CDECL);
    module_ = build(serverScriptEngine, "research_test", kScript);
    ASSERT_NE(module_, nullptr);
    emp_ = registerEmpire(new empire, true);
    emp_->researchWeb->initialise(emp_);
    science_ = research::getWebItemDesc(stringw(L"Science"));
    ASSERT_NE(science_, nullptr);
  }
  void TearDown() override {
    ScriptSessionTest::TearDown();
    research::clearWebItemDescs();
  }

  // Science's paid progress towards its next level.
  float progress() const {
    float level = 0, progress = 0, cost = 0, maxLevel = 0;
    emp_->researchWeb->getItem(science_)->getLevels(level, progress, cost, maxLevel);
    return progress;
  }
  research::IWebItem* activeItem() const {
    int link = 0;
    return emp_->researchWeb->getActiveTech(link);
  }

  AngelScript::asIScriptModule* module_ = nullptr;
  empire* emp_ = nullptr;
  research::IWebItemDesc* science_ = nullptr;
};

TEST_F(ResearchWebScriptTest, APreparedWebSteersResearch) {
  EXPECT_EQ(call(module_, "void target(Empire@)", emp_), "finished");
  EXPECT_EQ(emp_->getResearchRate(), 2.0);
  EXPECT_EQ(activeItem(), emp_->researchWeb->getItem(science_));
  for (int second = 0; second < 10; ++second)
    emp_->tick(1.0f);
  EXPECT_FLOAT_EQ(progress(), 20.0f);
}

TEST_F(ResearchWebScriptTest, RefusedCallsLeaveTheWebAlone) {
  const std::string notPrepared = "exception: ResearchWeb needs prepared before use";
  EXPECT_EQ(call(module_, "void unbound(Empire@)", emp_), notPrepared);
  EXPECT_EQ(call(module_, "void unprepared(Empire@)", emp_), notPrepared);
  EXPECT_EQ(call(module_, "void hidden(Empire@)", emp_), "finished");
  EXPECT_EQ(activeItem(), nullptr);
  EXPECT_EQ(emp_->getResearchRate(), 0.0);

  // An interface script prepares only the local player's empire.
  AngelScript::asIScriptModule* client = build(clientScriptEngine, "research_client", kClientScript);
  ASSERT_NE(client, nullptr);
  empire* other = registerEmpire(new empire, true);
  activeEmpire = other;
  EXPECT_EQ(call(client, "void target(Empire@)", emp_), notPrepared);
  EXPECT_EQ(activeItem(), nullptr);
  activeEmpire = emp_;
  EXPECT_EQ(call(client, "void target(Empire@)", emp_), "finished");
  EXPECT_EQ(activeItem(), emp_->researchWeb->getItem(science_));
}

// A prepared web holds no lock between statements: while the script waits
// holding it, another thread takes the research-web area and the empire's
// step runs through.
TEST_F(ResearchWebScriptTest, APreparedWebLeavesTheAreaFree) {
  std::promise<void> paused;
  std::promise<void> go;
  pausedSignal = &paused;
  resume = go.get_future().share();
  std::thread holder([this] {
    initThreadLocals();
    EXPECT_EQ(call(module_, "void holdThenTarget(Empire@)", emp_), "finished");
    freeThreadLocals();
  });
  paused.get_future().wait();
  std::future<void> other = std::async(std::launch::async, [this] {
    {
      empire::AreaGuard guard;
      emp_->lockArea(guard, EA_ResearchWeb, true);
    }
    emp_->tick(1.0f);
  });
  // Generous: only a safety net against a hang.
  const bool ran = other.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  EXPECT_TRUE(ran) << "the area stayed held";
  go.set_value();
  holder.join();
  other.wait();
  // The script's own calls still took effect.
  EXPECT_EQ(emp_->getResearchRate(), 3.0);
  EXPECT_EQ(activeItem(), emp_->researchWeb->getItem(science_));
}

// Other threads change the rate and read levels while the research phase
// raises a level each frame.
TEST_F(ResearchWebScriptTest, TheResearchPhaseRunsBesideRateChangesAndReaders) {
  constexpr int kFrames = 1000;
  constexpr int kThreads = 4;
  constexpr int kCalls = 10000;
  {
    empire::AreaGuard guard;
    emp_->lockArea(guard, EA_ResearchWeb, true);
    emp_->researchWeb->setResearchRate(1e6);  // far above the cost of a level
    emp_->researchWeb->setActiveTech(science_);
  }
  formula level;
  compileFormula(level, L"Techs.Science.Level");
  std::atomic<int> badReads{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      float last = 0.0f;
      for (int i = 0; i < kCalls; ++i) {
        emp_->modResearchRate(1);
        empire::AreaGuard guard;
        emp_->lockArea(guard, EA_Variables, true);
        const float now = evaluateFormula(&level, &emp_->spaces);
        if (now < last)
          ++badReads;
        last = now;
      }
    });
  int gains = 0;
  for (int frame = 0; frame < kFrames; ++frame) {
    emp_->researchChanged = false;
    emp_->tick(0.001f);
    gains += emp_->researchChanged ? 1 : 0;
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(gains, kFrames);
  EXPECT_EQ(badReads.load(), 0);
  EXPECT_EQ(emp_->getResearchRate(), 1e6 + kThreads * kCalls);
}

}  // namespace

}  // namespace research_script_types_test
