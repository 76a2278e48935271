// An empire's treaties: proposals, activation, restoration, the treaty phase
// of the empire step with the answers it tells the proposer, and the
// treaties of the empire record.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/locale.h"
#include "core/post_load.h"
#include "empire/empire.h"
#include "empire/empire_record.h"
#include "empire/treaty.h"
#include "stub_clause.h"
#include "net/network_manager.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"

namespace empire_treaties_test {

using irr::core::stringc;

namespace {

const char* const kLocale =
    "#EM_The: \"The \"\n"
    "#EM_Trty_accepted: \"accepted\"\n"
    "#EM_Trty_rejected: \"rejected\"\n"
    "#EM_Trty_proposal: \" our proposal.\"\n";

const char kAccepted[] = "The Vega #c:9f9#accepted#c# our proposal.";
const char kRejected[] = "The Vega #c:f99#rejected#c# our proposal.";

// A clause that writes each hook call into a shared log as
// "<hook>(<a>,<b>)" with the empires' IDs, answers with the results it was
// given, and lets other treaties in or not.
class HookClause : public StubClause {
 public:
  explicit HookClause(std::vector<std::string>& log) : log_(log) {}

  int32_t begin(empire* a, empire* b) override { return record("begin", a, b, beginResult); }
  int32_t tick(empire* a, empire* b, double) override { return record("tick", a, b, tickResult); }
  int32_t end(empire* a, empire* b) override { return record("end", a, b, CS_NOCHANGE); }
  int32_t fail(empire* a, empire* b) override { return record("fail", a, b, CS_NOCHANGE); }
  bool allowedIn(ITreaty*) const override {
    log_.push_back("allowedIn");
    return allows;
  }

  int32_t beginResult = CS_NOCHANGE;
  int32_t tickResult = CS_NOCHANGE;
  bool allows = true;

 private:
  int32_t record(const char* hook, empire* a, empire* b, int32_t result) {
    log_.push_back(std::string(hook) + "(" + std::to_string(a->ID) + "," + std::to_string(b->ID) + ")");
    return result;
  }

  std::vector<std::string>& log_;
};

using Log = std::vector<std::string>;

class EmpireTreatiesTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    gameTime = 0.0;
    a_ = registerEmpire(new empire);
    a_->name = L"Sol";
    b_ = registerEmpire(new empire);
    b_->name = L"Vega";
    c_ = registerEmpire(new empire);
    c_->name = L"Rigel";
    std::ofstream(folder_ / "locale.txt", std::ios::binary) << kLocale;
    ASSERT_TRUE(loadLocaleFile((folder_ / "locale.txt").string().c_str(), true));
  }
  void TearDown() override {
    setClient(false);
    clearPostObjectTreeSteps();
    deleteAllEmpires();
    clearTreatyClauses();
    loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true);
  }

  static void setClient(bool client) {
    networkManager->isNetworked = client;
    networkManager->isConnected = client;
  }

  // A treaty of `from` to `to` holding one hook clause (the treaty holds the
  // clause's only reference); the caller holds the treaty's reference.
  ITreaty* treaty(empire* from, empire* to, HookClause** clause = nullptr) {
    ITreaty* made = createTreaty(from, to);
    auto* hooks = new HookClause(log_);
    made->addClause(hooks);
    hooks->release();
    if (clause != nullptr)
      *clause = hooks;
    return made;
  }

  // A treaty activated on both empires (jobs run, from first) and standing.
  ITreaty* standing(empire* from, empire* to, HookClause** clause = nullptr) {
    ITreaty* made = treaty(from, to, clause);
    queueTreatyActivation(made);
    runEmpireJobs(from);
    runEmpireJobs(to);
    EXPECT_TRUE(holds(from, made) && holds(to, made));
    log_.clear();
    return made;
  }

  static bool holds(empire* emp, ITreaty* held) {
    for (irr::u32 i = 0; i < emp->treaties.size(); ++i)
      if (emp->treaties[i] == held)
        return true;
    return false;
  }

  static std::vector<std::string> texts(empire* emp) {
    std::vector<std::string> out;
    for (const EmpireMessage& message : emp->messages) {
      EXPECT_EQ(*message.category, L"diplomacy");
      EXPECT_EQ(message.priority, 0);
      out.push_back(stringc(message.text).c_str());
    }
    return out;
  }

  // Whether an activating job for `treaty` waits on `emp`.
  static bool activationQueued(empire* emp, ITreaty* treaty) {
    for (empJob* job : emp->jobs) {
      auto* assign = dynamic_cast<assignTreatyJob*>(job);
      if (assign != nullptr && assign->treaty == treaty && assign->activate)
        return true;
    }
    return false;
  }

  // A proposal of `from` recorded on both empires.
  ITreaty* propose(empire* from, empire* to) {
    ITreaty* made = treaty(from, to);
    EXPECT_TRUE(from->setProposedTreaty(to, made));
    EXPECT_TRUE(to->setProposedTreaty(from, made));
    return made;
  }

  const std::filesystem::path folder_ = scratchDir();
  empire* a_ = nullptr;
  empire* b_ = nullptr;
  empire* c_ = nullptr;
  Log log_;
};

// The proposer's job runs begin once, whichever empire runs its jobs first,
// and both file the treaty; once the proposer's step ends it, the other
// side lets it go at its own step.
TEST_F(EmpireTreatiesTest, ActivationFilesTheTreatyOnBothInEitherOrder) {
  for (const bool fromFirst : {true, false}) {
    SCOPED_TRACE(fromFirst ? "from empire first" : "to empire first");
    log_.clear();
    HookClause* clause = nullptr;
    ITreaty* made = treaty(a_, b_, &clause);
    queueTreatyActivation(made);
    runEmpireJobs(fromFirst ? a_ : b_);
    runEmpireJobs(fromFirst ? b_ : a_);
    EXPECT_EQ(log_, Log{"begin(1,2)"});
    EXPECT_TRUE(holds(a_, made));
    EXPECT_TRUE(holds(b_, made));
    EXPECT_FALSE(made->isEnded());
    EXPECT_EQ(made->getRefCount(), 3);

    clause->tickResult = CS_ENDED;
    a_->tick(0.5f);
    b_->tick(0.5f);
    EXPECT_EQ(log_, (Log{"begin(1,2)", "tick(1,2)", "end(1,2)"}));
    EXPECT_FALSE(holds(a_, made));
    EXPECT_FALSE(holds(b_, made));
    EXPECT_EQ(made->getRefCount(), 1);
    made->release();
  }
}

// A treaty that ends or fails as it begins is ended by the proposer's job;
// neither list holds it after both empires' next steps.
TEST_F(EmpireTreatiesTest, ATreatyEndingAsItBeginsIsLetGo) {
  const struct {
    int32_t beginResult;
    bool fromFirst;
    Log expected;
  } cases[] = {
      {CS_ENDED, true, {"begin(1,2)", "end(1,2)"}},
      {CS_ENDED, false, {"begin(1,2)", "end(1,2)"}},
      {CS_FAILED, true, {"begin(1,2)", "fail(1,2)"}},
      {CS_FAILED, false, {"begin(1,2)", "fail(1,2)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.beginResult) + (c.fromFirst ? " from first" : " to first"));
    log_.clear();
    HookClause* clause = nullptr;
    ITreaty* made = treaty(a_, b_, &clause);
    clause->beginResult = c.beginResult;
    queueTreatyActivation(made);
    runEmpireJobs(c.fromFirst ? a_ : b_);
    runEmpireJobs(c.fromFirst ? b_ : a_);
    EXPECT_EQ(log_, c.expected);
    EXPECT_TRUE(made->isEnded());
    EXPECT_FALSE(holds(a_, made));

    a_->tick(0.5f);
    b_->tick(0.5f);
    EXPECT_EQ(log_, c.expected) << "no hook runs on an ended treaty";
    EXPECT_FALSE(holds(b_, made));
    EXPECT_EQ(made->getRefCount(), 1);
    made->release();
  }
}

// A standing treaty of the same pair that the new one does not allow ends
// it before it begins; one that has ended already stands in no one's way.
TEST_F(EmpireTreatiesTest, AStandingTreatyInForceCanRefuseANewOne) {
  HookClause* oldClause = nullptr;
  ITreaty* old = standing(b_, a_, &oldClause);  // Vega's, filed on Sol too

  HookClause* clause = nullptr;
  ITreaty* refused = treaty(a_, b_, &clause);
  clause->allows = false;
  queueTreatyActivation(refused);
  runEmpireJobs(b_);
  runEmpireJobs(a_);
  EXPECT_EQ(log_, Log{"allowedIn"});
  EXPECT_TRUE(refused->isEnded());
  EXPECT_FALSE(holds(a_, refused));
  b_->tick(0.5f);
  EXPECT_FALSE(holds(b_, refused));
  EXPECT_EQ(refused->getRefCount(), 1);
  refused->release();

  // Vega's step ends the old treaty; Sol has not stepped since, so it still
  // lists it, ended.
  oldClause->tickResult = CS_ENDED;
  b_->tick(0.5f);
  ASSERT_TRUE(old->isEnded());
  ASSERT_FALSE(holds(b_, old));
  ASSERT_TRUE(holds(a_, old));
  log_.clear();
  ITreaty* next = treaty(a_, b_, &clause);
  clause->allows = false;
  queueTreatyActivation(next);
  a_->tick(0.5f);  // the job runs before the step lets the old treaty go
  runEmpireJobs(b_);
  EXPECT_EQ(log_, (Log{"begin(1,2)", "tick(1,2)"}));
  EXPECT_FALSE(next->isEnded());
  EXPECT_FALSE(holds(a_, old));
  EXPECT_TRUE(holds(a_, next) && holds(b_, next));
  EXPECT_EQ(old->getRefCount(), 1);
  old->release();
  next->release();
}

TEST_F(EmpireTreatiesTest, AnAcceptedProposalIsToldAndActivated) {
  ITreaty* made = propose(a_, b_);
  EXPECT_EQ(made->getRefCount(), 3);
  a_->treatiesChanged = b_->treatiesChanged = false;

  made->setState(TS_Accepted);
  a_->tick(1.0f);
  EXPECT_EQ(texts(a_), std::vector<std::string>{kAccepted});
  EXPECT_TRUE(a_->treatiesChanged);
  EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
  EXPECT_TRUE(activationQueued(a_, made));
  EXPECT_TRUE(activationQueued(b_, made));
  EXPECT_EQ(b_->getProposedTreaty(a_), made);
  EXPECT_TRUE(log_.empty());

  b_->tick(1.0f);  // Vega's job files it; its step lets the proposal go
  EXPECT_EQ(b_->getProposedTreaty(a_), nullptr);
  EXPECT_TRUE(b_->treatiesChanged);
  EXPECT_TRUE(texts(b_).empty());
  EXPECT_TRUE(holds(b_, made));

  a_->tick(1.0f);  // Sol's job begins it, then its step ticks it
  EXPECT_EQ(log_, (Log{"begin(1,2)", "tick(1,2)"}));
  EXPECT_TRUE(holds(a_, made));
  EXPECT_EQ(texts(a_).size(), 1u);
  EXPECT_EQ(made->getRefCount(), 3);
  made->release();
}

TEST_F(EmpireTreatiesTest, ARejectedProposalIsToldOnceAndEnded) {
  ITreaty* made = propose(a_, b_);
  a_->treatiesChanged = b_->treatiesChanged = false;
  made->setState(TS_Rejected);
  a_->tick(1.0f);
  a_->tick(1.0f);
  EXPECT_EQ(texts(a_), std::vector<std::string>{kRejected});
  EXPECT_TRUE(made->isEnded());
  EXPECT_TRUE(a_->treatiesChanged);
  EXPECT_TRUE(a_->jobs.empty());
  EXPECT_TRUE(b_->jobs.empty());
  EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);

  b_->tick(1.0f);
  EXPECT_EQ(b_->getProposedTreaty(a_), nullptr);
  EXPECT_TRUE(b_->treatiesChanged);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(made->getRefCount(), 1);
  made->release();
}

// Unanswered proposals wait; the other side also lets go of one the
// proposer withdrew.
TEST_F(EmpireTreatiesTest, UnansweredProposalsWait) {
  ITreaty* waiting = propose(a_, b_);
  ITreaty* withdrawn = propose(c_, b_);
  a_->tick(1.0f);
  b_->tick(1.0f);
  EXPECT_EQ(a_->getProposedTreaty(b_), waiting);
  EXPECT_EQ(b_->getProposedTreaty(a_), waiting);
  EXPECT_TRUE(texts(a_).empty());

  EXPECT_TRUE(c_->setProposedTreaty(b_, nullptr));
  EXPECT_TRUE(withdrawn->isEnded());
  b_->tick(1.0f);
  EXPECT_EQ(b_->getProposedTreaty(c_), nullptr);
  EXPECT_EQ(b_->getProposedTreaty(a_), waiting);
  EXPECT_EQ(withdrawn->getRefCount(), 1);
  EXPECT_EQ(waiting->getRefCount(), 3);
  waiting->release();
  withdrawn->release();
}

// The proposer's step ends or fails a standing treaty as its tick says;
// the other side lets it go at its own step.
TEST_F(EmpireTreatiesTest, AStandingTreatyEndsAtTheProposersStep) {
  const struct {
    int32_t tickResult;
    const char* closing;
  } cases[] = {{CS_ENDED, "end(1,2)"}, {CS_FAILED, "fail(1,2)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.closing);
    HookClause* clause = nullptr;
    ITreaty* made = standing(a_, b_, &clause);
    HookClause* otherClause = nullptr;
    ITreaty* other = standing(a_, c_, &otherClause);  // the next one is not skipped
    b_->tick(1.0f);
    EXPECT_TRUE(log_.empty()) << "only the proposer runs hooks";

    clause->tickResult = c.tickResult;
    a_->treatiesChanged = b_->treatiesChanged = false;
    a_->tick(1.0f);
    EXPECT_EQ(log_, (Log{"tick(1,2)", c.closing, "tick(1,3)"}));
    EXPECT_TRUE(made->isEnded());
    EXPECT_TRUE(a_->treatiesChanged);
    EXPECT_FALSE(holds(a_, made));
    EXPECT_TRUE(holds(b_, made));
    b_->tick(1.0f);
    EXPECT_FALSE(holds(b_, made));
    EXPECT_TRUE(b_->treatiesChanged);
    EXPECT_EQ(made->getRefCount(), 1);
    made->release();

    otherClause->tickResult = CS_ENDED;
    a_->tick(1.0f);
    c_->tick(1.0f);
    log_.clear();
    EXPECT_EQ(a_->treaties.size(), 0u);
    EXPECT_EQ(c_->treaties.size(), 0u);
    EXPECT_EQ(other->getRefCount(), 1);
    other->release();
  }
}

// A network client leaves treaties to the server: it only lets go of what
// has ended, runs no hook and tells nothing.
TEST_F(EmpireTreatiesTest, ANetworkClientOnlyLetsEndedTreatiesGo) {
  HookClause* clause = nullptr;
  ITreaty* live = standing(a_, b_, &clause);
  clause->tickResult = CS_ENDED;
  ITreaty* ended = standing(a_, c_);
  ended->setEnded();
  ITreaty* answered = propose(a_, b_);
  answered->setState(TS_Accepted);
  ITreaty* withdrawn = propose(a_, c_);
  withdrawn->setEnded();
  withdrawn->setState(TS_Rejected);

  setClient(true);
  a_->tick(1.0f);
  EXPECT_TRUE(log_.empty());
  EXPECT_TRUE(a_->messages.empty());
  EXPECT_TRUE(a_->jobs.empty());
  EXPECT_TRUE(holds(a_, live));
  EXPECT_FALSE(holds(a_, ended));
  EXPECT_EQ(a_->getProposedTreaty(b_), answered);
  EXPECT_EQ(a_->getProposedTreaty(c_), nullptr);
  EXPECT_FALSE(live->isEnded());
  setClient(false);

  EXPECT_EQ(ended->getRefCount(), 2);      // Rigel's list
  EXPECT_EQ(withdrawn->getRefCount(), 2);  // Rigel's proposal
  for (ITreaty* treaty : {live, ended, answered, withdrawn})
    treaty->release();
}

TEST_F(EmpireTreatiesTest, SetProposedTreatyKeepsOneProposalPerPair) {
  ITreaty* first = treaty(a_, b_);
  EXPECT_FALSE(a_->setProposedTreaty(a_, first));
  EXPECT_TRUE(a_->proposedTreaties.empty());
  EXPECT_FALSE(a_->treatiesChanged);
  EXPECT_EQ(first->getRefCount(), 1);

  EXPECT_TRUE(a_->setProposedTreaty(b_, first));
  EXPECT_TRUE(a_->treatiesChanged);
  EXPECT_EQ(first->getRefCount(), 2);
  a_->treatiesChanged = false;
  ITreaty* second = treaty(a_, b_);
  EXPECT_FALSE(a_->setProposedTreaty(b_, second));
  EXPECT_FALSE(a_->treatiesChanged);
  EXPECT_EQ(a_->getProposedTreaty(b_), first);
  EXPECT_EQ(second->getRefCount(), 1);
  EXPECT_FALSE(a_->setProposedTreaty(b_, first)) << "the held one again";
  EXPECT_EQ(first->getRefCount(), 2);

  // Null removes: the other side's removal leaves the treaty in force, the
  // proposer's ends it.
  EXPECT_TRUE(b_->setProposedTreaty(a_, first));
  EXPECT_TRUE(b_->setProposedTreaty(a_, nullptr));
  EXPECT_FALSE(first->isEnded());
  EXPECT_EQ(b_->getProposedTreaty(a_), nullptr);
  EXPECT_TRUE(a_->setProposedTreaty(b_, nullptr));
  EXPECT_TRUE(first->isEnded());
  EXPECT_EQ(a_->getProposedTreaty(b_), nullptr);
  EXPECT_TRUE(a_->proposedTreaties.empty());
  EXPECT_EQ(first->getRefCount(), 1);
  EXPECT_TRUE(a_->setProposedTreaty(b_, nullptr)) << "nothing to remove";

  // The pair is free again.
  EXPECT_TRUE(a_->setProposedTreaty(b_, second));
  EXPECT_EQ(second->getRefCount(), 2);
  first->release();
  second->release();
}

// Restoring files a loaded treaty by its state, without running a hook.
TEST_F(EmpireTreatiesTest, RestoringFilesATreatyByItsState) {
  const struct {
    const char* what;
    uint32_t state;
    bool ended;
    bool proposal;
    bool standing;
  } cases[] = {
      {"proposed", TS_Proposed, false, true, false},     {"accepted", TS_Accepted, false, false, true},
      {"rejected", TS_Rejected, false, false, false},    {"ended proposal", TS_Proposed, true, false, false},
      {"ended treaty", TS_Accepted, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HookClause* clause = nullptr;
    ITreaty* made = treaty(a_, b_, &clause);
    made->setState(c.state);
    if (c.ended)
      made->setEnded();
    a_->restoreTreaty(made);
    b_->restoreTreaty(made);
    c_->restoreTreaty(made);  // not a party
    EXPECT_EQ(a_->getProposedTreaty(b_) == made, c.proposal);
    EXPECT_EQ(b_->getProposedTreaty(a_) == made, c.proposal);
    EXPECT_EQ(holds(a_, made), c.standing);
    EXPECT_EQ(holds(b_, made), c.standing);
    EXPECT_TRUE(c_->proposedTreaties.empty());
    EXPECT_EQ(c_->treaties.size(), 0u);
    EXPECT_EQ(made->getRefCount(), c.proposal || c.standing ? 3 : 1);
    EXPECT_TRUE(log_.empty());

    // The proposer withdraws it or its step ends it; Vega's step follows.
    a_->setProposedTreaty(b_, nullptr);
    clause->tickResult = CS_ENDED;
    a_->tick(1.0f);
    b_->tick(1.0f);
    log_.clear();
    EXPECT_EQ(made->getRefCount(), 1);
    made->release();
  }
}

// An empire's destruction lets go of the treaties it holds.
TEST_F(EmpireTreatiesTest, AnEmpireReleasesItsTreatiesWhenDestroyed) {
  ITreaty* held = standing(a_, b_);
  ITreaty* proposed = propose(a_, b_);
  deleteAllEmpires();
  EXPECT_EQ(held->getRefCount(), 1);
  EXPECT_EQ(proposed->getRefCount(), 1);
  EXPECT_TRUE(held->isEnded());
  held->release();
  proposed->release();
}

class EmpireTreatyRecordTest : public EmpireTreatiesTest {
 protected:
  void SetUp() override {
    EmpireTreatiesTest::SetUp();
    loadTreatyClauses(CORVANE_SOURCE_DIR "/data/Game Data/treaties.xml");
  }

  static ITreaty* withPeace(empire* from, empire* to, uint32_t id) {
    ITreaty* made = createTreaty(from, to);
    IClause* clause = createClause(L"peace", false);
    EXPECT_NE(clause, nullptr);
    made->addClause(clause);
    clause->release();
    made->setID(id);
    return made;
  }

  static Bytes saved(ITreaty* treaty) {
    auto stream = SaveStream::createInMemory();
    treaty->save(*stream);
    return writtenBody(*stream);
  }

  static Bytes record(empire* emp) {
    auto stream = SaveStream::createInMemory();
    saveEmpire(*stream, emp);
    return writtenBody(*stream);
  }

  // The treaties field and the script AI byte that end a record.
  static Bytes tail(const Bytes& whole, size_t size) {
    return Bytes(whole.end() - static_cast<std::ptrdiff_t>(size), whole.end());
  }
};

// The proposer's record holds its standing treaties, then its proposals in
// ascending ID of the other empire; treaties proposed by others are left to
// their proposers' records. Loading files them all on both sides again.
TEST_F(EmpireTreatyRecordTest, TheProposersRecordKeepsItsTreaties) {
  empire* d = registerEmpire(new empire);
  d->name = L"Deneb";
  ITreaty* own = withPeace(a_, b_, 7);
  own->setState(TS_Accepted);
  ITreaty* theirs = withPeace(b_, a_, 8);
  theirs->setState(TS_Accepted);
  for (ITreaty* treaty : {own, theirs}) {
    a_->restoreTreaty(treaty);
    b_->restoreTreaty(treaty);
  }
  // Rigel's entry first, so that the order is not that of insertion.
  ITreaty* toRigel = withPeace(a_, c_, 9);
  ITreaty* toVega = withPeace(a_, b_, 10);
  ITreaty* fromDeneb = withPeace(d, a_, 11);
  for (ITreaty* proposal : {toRigel, toVega, fromDeneb}) {
    proposal->getFromEmpire()->restoreTreaty(proposal);
    proposal->getToEmpire()->restoreTreaty(proposal);
  }

  Bytes expected;
  for (ITreaty* treaty : {own, toVega, toRigel}) {
    expected.push_back(1);
    const Bytes body = saved(treaty);
    expected.insert(expected.end(), body.begin(), body.end());
  }
  expected.push_back(0xFF);
  expected.push_back(0x00);  // no script AI
  std::vector<Bytes> before;
  for (empire* emp : empireList)
    before.push_back(record(emp));
  EXPECT_EQ(hexText(tail(before[0], expected.size())), hexText(expected));
  EXPECT_EQ(hexText(tail(before[2], 2)), "FF 00") << "Rigel proposed nothing";

  Bytes body;
  for (const Bytes& one : before)
    body.insert(body.end(), one.begin(), one.end());
  for (ITreaty* treaty : {own, theirs, toRigel, toVega, fromDeneb})
    treaty->release();
  deleteAllEmpires();

  const Bytes file = withHeader(body);
  auto stream = readerOver(file);
  std::vector<empire*> loaded;
  for (size_t i = 0; i < before.size(); ++i)
    loaded.push_back(loadEmpire(*stream));
  EXPECT_EQ(stream->remaining(), 0u);
  for (empire* emp : loaded)
    registerEmpire(emp, true);
  runPostObjectTreeSteps();
  for (empire* emp : loaded)
    runEmpireJobs(emp);

  empire* sol = loaded[0];
  empire* vega = loaded[1];
  empire* rigel = loaded[2];
  empire* deneb = loaded[3];
  ASSERT_EQ(sol->treaties.size(), 2u);
  ASSERT_EQ(vega->treaties.size(), 2u);
  EXPECT_EQ(sol->treaties[0]->getID(), 7u);
  EXPECT_EQ(sol->treaties[1]->getID(), 8u);
  EXPECT_EQ(sol->treaties[0], vega->treaties[0]);
  ASSERT_NE(sol->getProposedTreaty(rigel), nullptr);
  EXPECT_EQ(sol->getProposedTreaty(rigel)->getID(), 9u);
  EXPECT_EQ(rigel->getProposedTreaty(sol), sol->getProposedTreaty(rigel));
  ASSERT_NE(sol->getProposedTreaty(vega), nullptr);
  EXPECT_EQ(sol->getProposedTreaty(vega)->getID(), 10u);
  ASSERT_NE(sol->getProposedTreaty(deneb), nullptr);
  EXPECT_EQ(sol->getProposedTreaty(deneb)->getFromEmpire(), deneb);

  for (size_t i = 0; i < loaded.size(); ++i)
    EXPECT_EQ(hexText(record(loaded[i])), hexText(before[i])) << "record " << i;
}

}  // namespace

}  // namespace empire_treaties_test
