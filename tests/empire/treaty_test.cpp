// The treaty object: clause runs, the clause list, tags and which treaties
// may stand beside each other, and the activation jobs of a clauseless
// treaty.
#include "empire/treaty.h"
#include "stub_clause.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace treaty_test {

namespace {

// A clause that writes each call into a shared log as "<name>.<hook>(<a>,<b>)"
// with the empires' IDs, and answers with the results it was given.
class RecordingClause : public StubClause {
 public:
  RecordingClause(std::string name, std::vector<std::string>& log, bool reversed = false)
      : name_(std::move(name)), log_(log), reversed_(reversed) {}

  int32_t begin(empire* a, empire* b) override { return record("begin", a, b, beginResult); }
  int32_t tick(empire* a, empire* b, double seconds) override {
    lastSeconds = seconds;
    return record("tick", a, b, tickResult);
  }
  int32_t end(empire* a, empire* b) override { return record("end", a, b, endResult); }
  int32_t fail(empire* a, empire* b) override { return record("fail", a, b, failResult); }
  bool hasTag(const ScriptString*) const override {
    log_.push_back(name_ + ".hasTag");
    return false;
  }
  bool allowedIn(ITreaty*) const override {
    log_.push_back(name_ + ".allowedIn");
    return false;
  }
  bool isReversed() const override { return reversed_; }

  int32_t beginResult = CS_NOCHANGE;
  int32_t tickResult = CS_NOCHANGE;
  int32_t endResult = CS_NOCHANGE;
  int32_t failResult = CS_NOCHANGE;
  double lastSeconds = 0.0;

 private:
  int32_t record(const char* hook, empire* a, empire* b, int32_t result) {
    log_.push_back(name_ + "." + hook + "(" + std::to_string(a->ID) + "," + std::to_string(b->ID) + ")");
    return result;
  }

  std::string name_;
  std::vector<std::string>& log_;
  bool reversed_;
};

class TreatyTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    a_ = registerEmpire(new empire);
    b_ = registerEmpire(new empire);
    c_ = registerEmpire(new empire);
  }
  void TearDown() override {
    deleteAllEmpires();
    clearTreatyClauses();
  }

  // A recording clause added to `treaty`, which then holds the only
  // reference.
  RecordingClause* add(ITreaty* treaty, const char* name, bool reversed = false) {
    auto* clause = new RecordingClause(name, log_, reversed);
    treaty->addClause(clause);
    clause->release();
    return clause;
  }

  empire* a_ = nullptr;
  empire* b_ = nullptr;
  empire* c_ = nullptr;
  std::vector<std::string> log_;
};

TEST_F(TreatyTest, ATreatyWithoutClauses) {
  ITreaty* treaty = createTreaty(a_, b_);
  EXPECT_EQ(treaty->getRefCount(), 1);
  EXPECT_EQ(treaty->getFromEmpire(), a_);
  EXPECT_EQ(treaty->getToEmpire(), b_);
  EXPECT_FALSE(treaty->isEnded());
  EXPECT_EQ(treaty->getState(), TS_Proposed);
  EXPECT_EQ(treaty->getID(), 0u);
  EXPECT_EQ(treaty->getClauseCount(), 0u);
  EXPECT_EQ(treaty->getClause(0u), nullptr);

  EXPECT_EQ(treaty->begin(), CS_NOCHANGE);
  EXPECT_EQ(treaty->tick(1.0), CS_NOCHANGE);
  EXPECT_EQ(treaty->end(), CS_NOCHANGE);
  EXPECT_EQ(treaty->fail(), CS_NOCHANGE);
  EXPECT_FALSE(treaty->hasTag(L"war"));
  ITreaty* other = createTreaty(b_, a_);
  add(other, "o");
  EXPECT_TRUE(treaty->allows(other));
  EXPECT_TRUE(log_.empty());

  // Both jobs hold a reference and leave the treaty unfiled.
  queueTreatyActivation(treaty);
  EXPECT_EQ(treaty->getRefCount(), 3);
  runEmpireJobs(b_);
  runEmpireJobs(a_);
  EXPECT_EQ(treaty->getRefCount(), 1);
  EXPECT_EQ(a_->treaties.size(), 0u);
  EXPECT_EQ(b_->treaties.size(), 0u);
  EXPECT_FALSE(treaty->isEnded());

  // A missing empire gets no job.
  ITreaty* oneSided = createTreaty(a_, nullptr);
  queueTreatyActivation(oneSided);
  EXPECT_EQ(oneSided->getRefCount(), 2);
  runEmpireJobs(a_);
  EXPECT_EQ(oneSided->getRefCount(), 1);
  queueTreatyActivation(nullptr);

  oneSided->release();
  other->release();
  treaty->release();
}

TEST_F(TreatyTest, HooksRunInOrderUntilOneEndsOrFails) {
  struct Case {
    const char* hook;
    int32_t firstResult;
    int32_t expected;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"begin", CS_NOCHANGE, CS_NOCHANGE, {"c1.begin(1,2)", "c2.begin(1,2)"}},
      {"begin", CS_ENDED, CS_ENDED, {"c1.begin(1,2)"}},
      {"tick", CS_FAILED, CS_FAILED, {"c1.tick(1,2)"}},
      {"tick", CS_NOCHANGE, CS_NOCHANGE, {"c1.tick(1,2)", "c2.tick(1,2)"}},
      {"tick", 7, CS_NOCHANGE, {"c1.tick(1,2)", "c2.tick(1,2)"}},  // not a stop
      {"end", CS_ENDED, CS_ENDED, {"c1.end(1,2)"}},
      {"end", CS_NOCHANGE, CS_NOCHANGE, {"c1.end(1,2)", "c2.end(1,2)"}},
      {"fail", CS_FAILED, CS_FAILED, {"c1.fail(1,2)"}},
      {"fail", CS_NOCHANGE, CS_NOCHANGE, {"c1.fail(1,2)", "c2.fail(1,2)"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.hook) + " " + std::to_string(test.firstResult));
    log_.clear();
    ITreaty* treaty = createTreaty(a_, b_);
    RecordingClause* c1 = add(treaty, "c1");
    RecordingClause* c2 = add(treaty, "c2");
    const std::string hook = test.hook;
    int32_t result = -1;
    if (hook == "begin") {
      c1->beginResult = test.firstResult;
      result = treaty->begin();
    } else if (hook == "tick") {
      c1->tickResult = test.firstResult;
      result = treaty->tick(0.25);
      EXPECT_EQ(c1->lastSeconds, 0.25);
    } else if (hook == "end") {
      c1->endResult = test.firstResult;
      result = treaty->end();
    } else {
      c1->failResult = test.firstResult;
      result = treaty->fail();
    }
    EXPECT_EQ(result, test.expected);
    EXPECT_EQ(log_, test.calls);
    EXPECT_EQ(c2->getRefCount(), 1);
    treaty->release();
  }
}

TEST_F(TreatyTest, AReversedClauseGetsTheEmpiresSwapped) {
  ITreaty* treaty = createTreaty(a_, b_);
  add(treaty, "plain");
  add(treaty, "rev", true);
  EXPECT_EQ(treaty->begin(), CS_NOCHANGE);
  EXPECT_EQ(treaty->tick(1.0), CS_NOCHANGE);
  EXPECT_EQ(treaty->end(), CS_NOCHANGE);
  EXPECT_EQ(treaty->fail(), CS_NOCHANGE);
  EXPECT_EQ(log_, (std::vector<std::string>{"plain.begin(1,2)", "rev.begin(2,1)", "plain.tick(1,2)", "rev.tick(2,1)",
                                            "plain.end(1,2)", "rev.end(2,1)", "plain.fail(1,2)", "rev.fail(2,1)"}));
  treaty->release();
}

TEST_F(TreatyTest, TheClauseList) {
  ITreaty* treaty = createTreaty(a_, b_);
  auto* x = new RecordingClause("x", log_);
  auto* y = new RecordingClause("y", log_);
  auto* absent = new RecordingClause("z", log_);
  treaty->addClause(x);
  treaty->addClause(y);
  treaty->addClause(x);
  treaty->addClause(nullptr);
  ASSERT_EQ(treaty->getClauseCount(), 3u);
  EXPECT_EQ(x->getRefCount(), 3);

  // The later copy of x goes.
  treaty->removeClause(x);
  ASSERT_EQ(treaty->getClauseCount(), 2u);
  EXPECT_EQ(treaty->getClause(0u), x);
  EXPECT_EQ(treaty->getClause(1u), y);
  EXPECT_EQ(x->getRefCount(), 2);

  treaty->removeClause(absent);
  treaty->addClause(absent);
  ASSERT_EQ(treaty->getClauseCount(), 3u);
  for (uint32_t index : {3u, 5u, 0xFFFFFFFFu})
    treaty->removeClause(index);
  ASSERT_EQ(treaty->getClauseCount(), 3u);
  const ITreaty* constant = treaty;
  EXPECT_EQ(constant->getClause(3u), nullptr);
  EXPECT_EQ(treaty->getClause(3u), nullptr);
  EXPECT_EQ(constant->getClause(2u), absent);

  // By index: the rest keep their order.
  treaty->removeClause(1u);
  ASSERT_EQ(treaty->getClauseCount(), 2u);
  EXPECT_EQ(treaty->getClause(0u), x);
  EXPECT_EQ(treaty->getClause(1u), absent);
  EXPECT_EQ(y->getRefCount(), 1);

  // The treaty's destruction drops its references.
  treaty->release();
  for (IClause* clause : std::initializer_list<IClause*>{x, y, absent}) {
    EXPECT_EQ(clause->getRefCount(), 1);
    clause->release();
  }
  EXPECT_TRUE(log_.empty());
}

// Clauses of the clause file: "peace" denies what "war" is tagged with.
class TreatyTagTest : public TreatyTest {
 protected:
  void SetUp() override {
    TreatyTest::SetUp();
    const std::filesystem::path path = scratchDir() / "treaties.xml";
    std::ofstream(path, std::ios::binary)
        << "<treaties><clause id=\"peace\" name=\"P\" desc=\"D\"><tag>peace</tag><deny>war</deny></clause>"
           "<clause id=\"war\" name=\"W\" desc=\"D\"><tag>war</tag></clause>"
           "<clause id=\"trade\" name=\"T\" desc=\"D\"><tag>trade</tag></clause></treaties>";
    loadTreatyClauses(irr::core::stringc(path.string().c_str()));
  }

  ITreaty* treatyOf(empire* from, empire* to, const wchar_t* clauseId) {
    ITreaty* treaty = createTreaty(from, to);
    IClause* clause = createClause(clauseId, false);
    EXPECT_NE(clause, nullptr);
    treaty->addClause(clause);
    clause->release();
    return treaty;
  }
};

TEST_F(TreatyTagTest, AClauseDenyingATagRefusesTreatiesOfTheSamePair) {
  ITreaty* peace = treatyOf(a_, b_, L"peace");
  EXPECT_TRUE(peace->hasTag(L"peace"));
  EXPECT_FALSE(peace->hasTag(L"war"));

  struct Case {
    empire* from;
    empire* to;
    const wchar_t* clause;
    bool allowed;
  };
  const Case cases[] = {
      {a_, b_, L"war", false},   // same direction
      {b_, a_, L"war", false},   // the other direction
      {a_, b_, L"trade", true},  // nothing denied
      {a_, c_, L"war", true},    // one empire in common
      {c_, b_, L"war", true},
  };
  for (const Case& test : cases) {
    ITreaty* standing = treatyOf(test.from, test.to, test.clause);
    EXPECT_EQ(peace->allows(standing), test.allowed) << test.from->ID << "->" << test.to->ID;
    standing->release();
  }

  // Between different pairs no clause is asked.
  ITreaty* asking = createTreaty(a_, c_);
  add(asking, "denies");
  ITreaty* war = treatyOf(a_, b_, L"war");
  EXPECT_TRUE(asking->allows(war));
  EXPECT_TRUE(log_.empty());
  ITreaty* sameWar = treatyOf(c_, a_, L"war");
  EXPECT_FALSE(asking->allows(sameWar));
  EXPECT_EQ(log_, std::vector<std::string>{"denies.allowedIn"});

  for (ITreaty* treaty : {peace, asking, war, sameWar}) {
    EXPECT_EQ(treaty->getRefCount(), 1);
    treaty->release();
  }
}

}  // namespace

}  // namespace treaty_test
