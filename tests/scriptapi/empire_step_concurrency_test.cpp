// The empire step of 8 empires, frame after frame, while galaxy threads
// register and unregister objects, post messages and queue jobs, commands
// and diplomatic messages on them.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "app/frame_loop.h"
#include "app/game_session.h"
#include "core/threads.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "empire/traits.h"
#include "empire/treaty.h"
#include "empire/treaty_clause.h"
#include "script/script_xml_io.h"
#include "script_session.h"
#include "scriptapi/empire_ai.h"
#include "universe/objects/game_object.h"

namespace empire_step_concurrency_test {

namespace {

constexpr int kEmpires = 8;
constexpr int kThreads = 4;
constexpr int kFrames = 1000;
constexpr int kMaxWork = 1 << 16;  // jobs and commands each, over all threads

const char kFixtureScript[] = R"(
void traitTick(Empire@ emp, float seconds) { emp.setSetting("traitTicks", emp.getSetting("traitTicks") + 1); }
ClauseState clauseTick(Clause@ clause, Empire@ from, Empire@ to, double seconds) { return CS_NOCHANGE; }
class Steward {
  Steward(Empire@ emp) {}
  void tick(Empire@ emp, float seconds) { emp.setSetting("aiTicks", emp.getSetting("aiTicks") + 1); }
  void onDiplomaticMessage(Empire@ emp, Empire@ from, DiploMsg@ msg) {
    emp.setSetting("heard", emp.getSetting("heard") + 1);
    msg.finish();
  }
}
)";

const char kClauseFile[] = R"(<treaties>
<clause id="standing" name="Standing" desc="D"><hook type="tick" func="step_concurrency::clauseTick"/></clause>
</treaties>)";

const char kTraitFile[] = R"(<traits>
<trait id="ticking"><hook type="tick" func="step_concurrency::traitTick"/></trait>
</traits>)";

const char kTechnologies[] = "Technology: Science\nName: Science\nCost: 10\nStartLevel: 1\n";

class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};

struct Tally {
  std::atomic<int> runs[kMaxWork];
  std::atomic<int> executes[kMaxWork];
  std::atomic<int> deletes[kMaxWork];
};

class CountedJob : public empJob {
 public:
  CountedJob(Tally& tally, int index) : tally_(tally), index_(index) {}
  void run(empire*) override { tally_.runs[index_].fetch_add(1); }

 private:
  Tally& tally_;
  int index_;
};

// Finishes on its second execution.
class CountedCommand : public empCommand {
 public:
  CountedCommand(Tally& tally, int index) : tally_(tally), index_(index) {}
  ~CountedCommand() override { tally_.deletes[index_].fetch_add(1); }
  bool execute(empire*) override { return tally_.executes[index_].fetch_add(1) + 1 >= 2; }

 private:
  Tally& tally_;
  int index_;
};

class EmpireStepConcurrencyTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    initThreadLocals();
    resetSessionFlags(false);
    startSession({});
    ASSERT_NE(build(serverScriptEngine, "step_concurrency", kFixtureScript), nullptr);
    std::ofstream(root_ / "clauses.xml", std::ios::binary) << kClauseFile;
    loadTreatyClauses((root_ / "clauses.xml").string().c_str());
    ScriptXmlReader traits(kTraitFile);
    loadTraits(traits);
    std::ofstream(root_ / "techs.txt", std::ios::binary) << kTechnologies;
    research::loadResearchFields((root_ / "techs.txt").string().c_str());
    for (int i = 0; i < kEmpires; ++i) {
      empire* emp = registerEmpire(new empire);
      registerEmpireAI(L"step_concurrency", emp, L"Steward", nullptr);
      emp->addTrait(L"ticking");
      emp->researchWeb->initialise(emp);
      emp->researchWeb->setResearchRate(20.0);
      emp->researchWeb->setActiveTech(research::getWebItemDesc(irr::core::stringw(L"Science")));
      empires_.push_back(emp);
    }
    // A standing treaty between each pair of neighbours, proposed by the first.
    for (int i = 0; i + 1 < kEmpires; i += 2) {
      ITreaty* treaty = createTreaty(empires_[i], empires_[i + 1]);
      IClause* clause = createClause(L"standing", false);
      ASSERT_NE(clause, nullptr);
      treaty->addClause(clause);
      clause->release();
      treaty->setState(TS_Accepted);
      queueTreatyActivation(treaty);
      treaty->release();
    }
    for (empire* emp : empires_)
      runEmpireJobs(emp);
    pendingPlayerEmpire = empires_[0];
  }
  void TearDown() override {
    simulationRunning.store(false);
    clearSessionTraits();
    ScriptSessionTest::TearDown();
    clearTreatyClauses();
    research::clearWebItemDescs();
  }

  void stepAll() {
    for (empire* emp : empires_)
      emp->tick(0.1f);
    activeEmpire = pendingPlayerEmpire;
  }

  std::vector<empire*> empires_;
};

TEST_F(EmpireStepConcurrencyTest, EveryJobRunsOnceWhileOtherThreadsQueue) {
  auto tally = std::make_unique<Tally>();
  for (int i = 0; i < kMaxWork; ++i) {
    tally->runs[i] = 0;
    tally->executes[i] = 0;
    tally->deletes[i] = 0;
  }
  std::atomic<int> nextJob{0}, nextCommand{0};
  std::atomic<bool> done{false};
  std::atomic<int> greetings{0};
  simulationRunning.store(true);  // objects are (un)registered through jobs

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      generic_object* object = new PlainObject;
      for (unsigned round = 0; !done.load(); ++round) {
        empire* emp = empires_[(t + round) % kEmpires];
        emp->registerObject(object);
        postMiscMessage(emp, L"from a galaxy thread");
        const int job = nextJob.fetch_add(1);
        if (job < kMaxWork)
          emp->queueJob(new CountedJob(*tally, job));
        const int command = nextCommand.fetch_add(1);
        if (command < kMaxWork)
          emp->queueCommand(new CountedCommand(*tally, command));
        if (round % 8 == 0) {
          emp->queueDiplomacyMessage(new DiploMsg(DT_Greetings, empires_[(t + round + 1) % kEmpires]));
          greetings.fetch_add(1);
        }
        emp->unregisterObject(object);
        std::this_thread::yield();
      }
      object->drop();
    });

  for (int frame = 0; frame < kFrames; ++frame) {
    stepAll();
    EXPECT_EQ(activeEmpire, empires_[0]);
  }
  done.store(true);
  for (std::thread& thread : threads)
    thread.join();
  // What the threads queued last runs within two more frames.
  stepAll();
  stepAll();

  const int jobs = std::min(nextJob.load(), kMaxWork);
  const int commands = std::min(nextCommand.load(), kMaxWork);
  ASSERT_GT(jobs, kThreads);
  int wrongRuns = 0, wrongCommands = 0;
  for (int i = 0; i < jobs; ++i)
    wrongRuns += tally->runs[i].load() != 1;
  for (int i = 0; i < commands; ++i)
    wrongCommands += tally->executes[i].load() != 2 || tally->deletes[i].load() != 1;
  EXPECT_EQ(wrongRuns, 0);
  EXPECT_EQ(wrongCommands, 0);
  float heard = 0;
  for (empire* emp : empires_) {
    EXPECT_TRUE(emp->objects.empty());
    EXPECT_TRUE(emp->commands.empty());
    EXPECT_TRUE(emp->diplomacyMessages.empty());
    EXPECT_EQ(emp->treaties.size(), 1u);
    EXPECT_EQ(emp->getSetting(L"aiTicks"), static_cast<float>(kFrames + 2));
    EXPECT_EQ(emp->getSetting(L"traitTicks"), static_cast<float>(kFrames + 2));
    heard += emp->getSetting(L"heard");
  }
  EXPECT_EQ(heard, static_cast<float>(greetings.load()));
}

}  // namespace

}  // namespace empire_step_concurrency_test
