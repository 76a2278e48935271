// The empire step as a whole: one frame runs the empire's job, trait tick,
// research, diplomatic messages, commands, script AI and treaty clauses in
// that order, each as the active empire; and the commands phase: commands
// that finish late, their order, commands queued during the phase, and those
// still queued when the session ends.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "app/frame_loop.h"
#include "app/game_session.h"
#include "app/session_workers.h"
#include "core/threads.h"
#include "core/timer.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "empire/traits.h"
#include "empire/treaty.h"
#include "empire/treaty_clause.h"
#include "script/script_string.h"
#include "script/script_xml_io.h"
#include "script_session.h"
#include "scriptapi/empire_ai.h"

namespace empire_step_test {

namespace {

// What ran for the watched empire (all empires when null), in order; a step
// that ran while another empire was active is marked with a trailing "!".
std::vector<std::string> steps;
empire* watched = nullptr;
size_t researchMessagesSeen = 0;

size_t researchMessages(empire* emp) {
  ScopedReadLock guard(emp->locks[EA_Messages]);
  size_t count = 0;
  for (const EmpireMessage& message : emp->messages)
    if (message.category != nullptr && *message.category == L"research")
      ++count;
  return count;
}

// Notes a research message posted since the last step noted (research has no
// hook of its own), then the step.
void noteStep(empire* emp, const std::string& name) {
  if (watched != nullptr && emp != watched)
    return;
  const size_t posted = researchMessages(emp);
  if (posted > researchMessagesSeen)
    steps.push_back("research");
  researchMessagesSeen = posted;
  steps.push_back(activeEmpire == emp ? name : name + "!");
}

void recordFromScript(empire* emp, const ScriptString& name) {
  noteStep(emp, irr::core::stringc(name.toStringw()).c_str());
}

const char kFixtureScript[] = R"(
void traitTick(Empire@ emp, float seconds) { record(emp, "trait"); }
ClauseState clauseTick(Clause@ clause, Empire@ from, Empire@ to, double seconds) {
  record(from, "clause");
  return CS_NOCHANGE;
}
class Recorder {
  Recorder(Empire@ emp) {}
  void tick(Empire@ emp, float seconds) { record(emp, "ai"); }
  void onDiplomaticMessage(Empire@ emp, Empire@ from, DiploMsg@ msg) {
    record(emp, "diplomacy");
    msg.finish();
  }
}
)";

const char kClauseFile[] = R"(<treaties>
<clause id="recorded" name="Recorded" desc="D"><hook type="tick" func="step_fixture::clauseTick"/></clause>
</treaties>)";

const char kTraitFile[] = R"(<traits>
<trait id="recorded"><hook type="tick" func="step_fixture::traitTick"/></trait>
</traits>)";

const char kTechnologies[] = "Technology: Science\nName: Science\nCost: 1000\nStartLevel: 1\n";

class RecordedJob : public empJob {
 public:
  void run(empire* emp) override { noteStep(emp, "job"); }
};

// A command that records each execution and finishes on its `frames`th;
// on its first it may queue `follower` on its empire (from this thread) or
// from another thread.
class RecordedCommand : public empCommand {
 public:
  RecordedCommand(std::string name, int frames, int* deleted)
      : name_(std::move(name)), frames_(frames), deleted_(deleted) {}
  ~RecordedCommand() override {
    if (deleted_ != nullptr)
      ++*deleted_;
  }
  bool execute(empire* emp) override {
    noteStep(emp, name_);
    if (++runs_ == 1 && follower != nullptr) {
      empCommand* next = follower;
      follower = nullptr;
      if (fromOtherThread)
        queuer = std::thread([emp, next] { emp->queueCommand(next); });
      else
        emp->queueCommand(next);
    }
    return runs_ >= frames_;
  }

  empCommand* follower = nullptr;
  bool fromOtherThread = false;
  std::thread queuer;  // joined by the test after the frame

 private:
  std::string name_;
  int frames_;
  int* deleted_;
  int runs_ = 0;
};

class EmpireStepTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    steps.clear();
    watched = nullptr;
    researchMessagesSeen = 0;
    initThreadLocals();
    startSession({});
    serverScriptEngine->RegisterGlobalFunction("void record(Empire@, const string &in)",
                                               AngelScript::asFUNCTION(recordFromScript), AngelScript::asCALL_CDECL);
    ASSERT_NE(build(serverScriptEngine, "step_fixture", kFixtureScript), nullptr);
    std::ofstream(root_ / "clauses.xml", std::ios::binary) << kClauseFile;
    loadTreatyClauses((root_ / "clauses.xml").string().c_str());
    ScriptXmlReader traits(kTraitFile);
    loadTraits(traits);
    std::ofstream(root_ / "techs.txt", std::ios::binary) << kTechnologies;
    research::loadResearchFields((root_ / "techs.txt").string().c_str());
    emp_ = registerEmpire(new empire);
    other_ = registerEmpire(new empire);
  }
  void TearDown() override {
    clearSessionTraits();
    ScriptSessionTest::TearDown();
    clearTreatyClauses();
    research::clearWebItemDescs();
  }

  // Runs one simulation frame of `seconds` through the frame loop.
  void runFrame(float seconds = 0.25f) {
    resetSessionFlags(false);
    HiresTimer timer;
    SessionWorkers workers(WorkerTasks{noWork, noWork, noModuleTick}, true);
    FrameLoop loop(timer, workers, nullptr);
    gameFrameTime = seconds;
    realFrameTime = static_cast<float>(framePeriod());
    loop.runSimulationFrame();
    gameSpeed = 1.0;
  }
  static void noWork() {}
  static void noModuleTick(float) {}

  empire* emp_ = nullptr;
  empire* other_ = nullptr;
};

// One of every step's work is queued; the frame runs them in the step's
// order, each while the empire is active, and leaves the player's empire
// active. Without an AI nothing of step 7 runs and the diplomatic message
// waits for an answer.
TEST_F(EmpireStepTest, OneFrameRunsEveryStepInOrder) {
  for (const bool withAI : {true, false}) {
    SCOPED_TRACE(withAI ? "with AI" : "without AI");
    empire* emp = registerEmpire(new empire);
    if (withAI)
      registerEmpireAI(L"step_fixture", emp, L"Recorder", nullptr);
    ASSERT_EQ(emp->aiTickFunction >= 0, withAI);
    emp->addTrait(L"recorded");
    emp->researchWeb->initialise(emp);
    emp->researchWeb->setResearchRate(1e6);
    emp->researchWeb->setActiveTech(research::getWebItemDesc(irr::core::stringw(L"Science")));
    ITreaty* treaty = createTreaty(emp, other_);
    IClause* clause = createClause(L"recorded", false);
    ASSERT_NE(clause, nullptr);
    treaty->addClause(clause);
    clause->release();
    treaty->setState(TS_Accepted);
    queueTreatyActivation(treaty);
    treaty->release();
    runEmpireJobs(emp);
    runEmpireJobs(other_);
    ASSERT_EQ(emp->treaties.size(), 1u);
    emp->queueJob(new RecordedJob);
    emp->queueDiplomacyMessage(new DiploMsg(DT_Peace, other_));
    int deleted = 0;
    emp->queueCommand(new RecordedCommand("command", 1, &deleted));
    steps.clear();
    watched = emp;
    researchMessagesSeen = researchMessages(emp);
    pendingPlayerEmpire = other_;
    activeEmpire = nullptr;

    runFrame();

    const std::vector<std::string> expected =
        withAI ? std::vector<std::string>{"job", "trait", "research", "diplomacy", "command", "ai", "clause"}
               : std::vector<std::string>{"job", "trait", "research", "command", "clause"};
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(activeEmpire, other_);
    EXPECT_EQ(deleted, 1);
    {
      ScopedReadLock guard(emp->locks[EA_Messages]);
      ASSERT_EQ(emp->messages.size(),
                1u);  // the level: nothing else, and no word from step 7
      EXPECT_EQ(*emp->messages.front().category, L"research");
    }
    EXPECT_EQ(emp->diplomacyMessages.size(), withAI ? 0u : 1u);
    emp->releaseAI();
    emp->removeTrait(L"recorded");
  }
}

// A command runs each frame until it reports itself finished, then is
// deleted once; commands keep their order from frame to frame.
TEST_F(EmpireStepTest, CommandsRunUntilFinishedInTheirOrder) {
  int deletedLate = 0;
  int deletedOther = 0;
  emp_->queueCommand(new RecordedCommand("late", 4, &deletedLate));
  emp_->queueCommand(new RecordedCommand("other", 2, &deletedOther));
  for (int frame = 0; frame < 6; ++frame)
    emp_->tick(0.25f);
  EXPECT_EQ(steps, (std::vector<std::string>{"late", "other", "late", "other", "late", "late"}));
  EXPECT_EQ(deletedLate, 1);
  EXPECT_EQ(deletedOther, 1);
  EXPECT_TRUE(emp_->commands.empty());
}

// A command queued while the commands run, by a running command on its own
// empire or by another thread, waits for the next frame, behind those that
// were queued before it and have not finished.
TEST_F(EmpireStepTest, ACommandQueuedDuringThePhaseRunsOnTheNextFrame) {
  for (const bool fromOtherThread : {false, true}) {
    SCOPED_TRACE(fromOtherThread ? "another thread" : "the running command");
    steps.clear();
    int deleted = 0;
    auto* first = new RecordedCommand("first", 2, &deleted);
    first->follower = new RecordedCommand("queued", 1, &deleted);
    first->fromOtherThread = fromOtherThread;
    emp_->queueCommand(first);
    emp_->queueCommand(new RecordedCommand("second", 3, &deleted));
    emp_->tick(0.25f);
    if (first->queuer.joinable())
      first->queuer.join();
    EXPECT_EQ(steps, (std::vector<std::string>{"first", "second"}));
    emp_->tick(0.25f);
    emp_->tick(0.25f);
    EXPECT_EQ(steps, (std::vector<std::string>{"first", "second", "first", "second", "queued", "second"}));
    EXPECT_EQ(deleted, 3);
    EXPECT_TRUE(emp_->commands.empty());
  }
}

// At session end the commands still queued are deleted, each once.
TEST_F(EmpireStepTest, ClearingCommandsDeletesThoseStillQueued) {
  int deleted = 0;
  emp_->queueCommand(new RecordedCommand("never", 1000, &deleted));
  emp_->queueCommand(new RecordedCommand("later", 1000, &deleted));
  emp_->tick(0.25f);
  emp_->clearCommands();
  EXPECT_EQ(deleted, 2);
  EXPECT_TRUE(emp_->commands.empty());
  emp_->tick(0.25f);
  EXPECT_EQ(steps, (std::vector<std::string>{"never", "later"}));
}

}  // namespace

}  // namespace empire_step_test
