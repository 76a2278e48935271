// Two empires proposing to each other at the same moment, on the server:
// the two records of the pair must end up holding the same treaty, or none.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "empire/empire.h"
#include "empire/stub_clause.h"
#include "empire/treaty.h"
#include "empire/treaty_factory.h"

namespace treaty_propose_concurrency_test {

namespace {

std::atomic<int> liveClauses{0};

// Counts the clauses alive, so that a treaty left behind shows.
class CountedClause : public StubClause {
 public:
  CountedClause() { ++liveClauses; }
  ~CountedClause() override { --liveClauses; }
};

class TreatyProposeConcurrencyTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    a_ = registerEmpire(new empire, true);
    b_ = registerEmpire(new empire, true);
  }
  void TearDown() override { deleteAllEmpires(); }

  static TreatyFactory* factoryFor(empire* from, empire* to) {
    auto* factory = new TreatyFactory(from, to);
    IClause* clause = new CountedClause;
    factory->treaty->addClause(clause);
    clause->release();
    return factory;
  }

  empire* a_ = nullptr;
  empire* b_ = nullptr;
};

TEST_F(TreatyProposeConcurrencyTest, CrossedProposalsAgreeOnBothSides) {
  for (int round = 0; round < 1000; ++round) {
    TreatyFactory* fromA = factoryFor(a_, b_);
    TreatyFactory* fromB = factoryFor(b_, a_);
    ITreaty* treatyA = fromA->getTreaty();
    ITreaty* treatyB = fromB->getTreaty();
    std::atomic<int> ready{0};
    bool proposedA = false;
    bool proposedB = false;
    auto propose = [&ready](TreatyFactory* factory, bool& result) {
      ++ready;
      while (ready.load() < 2) {
      }
      result = factory->propose();
    };
    std::thread first(propose, fromA, std::ref(proposedA));
    std::thread second(propose, fromB, std::ref(proposedB));
    first.join();
    second.join();

    ITreaty* heldByA = a_->getProposedTreaty(b_);
    ITreaty* heldByB = b_->getProposedTreaty(a_);
    ASSERT_EQ(heldByA, heldByB) << "round " << round;
    // The one recorded is the one whose propose succeeded; a refused one
    // stays with its factory.
    ASSERT_EQ(heldByA == treatyA, proposedA) << "round " << round;
    ASSERT_EQ(heldByA == treatyB, proposedB) << "round " << round;
    ASSERT_FALSE(proposedA && proposedB) << "round " << round;
    ASSERT_EQ(fromA->getTreaty(), proposedA ? nullptr : treatyA);
    ASSERT_EQ(fromB->getTreaty(), proposedB ? nullptr : treatyB);

    a_->setProposedTreaty(b_, nullptr);
    b_->setProposedTreaty(a_, nullptr);
    fromA->release();
    fromB->release();
    ASSERT_EQ(liveClauses.load(), 0) << "a treaty was left behind in round " << round;
    ASSERT_TRUE(a_->proposedTreaties.empty());
    ASSERT_TRUE(b_->proposedTreaties.empty());
  }
}

}  // namespace

}  // namespace treaty_propose_concurrency_test
