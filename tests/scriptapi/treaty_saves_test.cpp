// Treaties in the empire records of a saved game, with the shipped clause
// kinds and their hooks: the treaties field as written, and standing
// treaties and proposals filed on both empires again once the post-load
// steps and the empires' jobs have run.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "core/common_strings.h"
#include "core/locks.h"
#include "core/post_load.h"
#include "empire/empire_record.h"
#include "empire/treaty.h"
#include "script/script_string.h"
#include "script_session.h"
#include "support/save_bytes.h"

namespace treaty_saves_test {

namespace {

std::string readSource(const char* relative) {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string narrow(const ScriptString* text) {
  return text != nullptr ? irr::core::stringc(text->toStringw()).c_str() : "(null)";
}

// An option as its type and its text form.
std::string describe(const ClauseOption* option) {
  ScriptString* text = option->toString();
  const std::string described = std::to_string(option->getType()) + ":" + narrow(text);
  text->release();
  return described;
}

std::string describe(ITreaty* treaty) {
  std::ostringstream out;
  out << int(treaty->getFromEmpire()->ID) << "->"
      << (treaty->getToEmpire() != nullptr ? int(treaty->getToEmpire()->ID) : -1) << " state " << treaty->getState()
      << " ended " << treaty->isEnded() << " id " << treaty->getID() << " refs " << treaty->getRefCount();
  for (uint32_t i = 0; i < treaty->getClauseCount(); ++i) {
    const IClause* clause = treaty->getClause(i);
    out << " " << narrow(clause->getId()) << (clause->isReversed() ? "~" : "") << "(";
    for (uint32_t o = 0; o < clause->getOptionCount(); ++o)
      out << (o > 0 ? "," : "") << describe(clause->getOption(o));
    out << ")";
  }
  return out.str();
}

// What an empire holds, standing treaties first.
std::string holdings(empire* emp) {
  ScopedReadLock guard(emp->locks[EA_Treaties]);
  std::ostringstream out;
  for (irr::u32 i = 0; i < emp->treaties.size(); ++i)
    out << "treaty " << describe(emp->treaties[i]) << "\n";
  for (const auto& [other, treaty] : emp->proposedTreaties)
    out << "proposal for " << int(other->ID) << ": " << (treaty != nullptr ? describe(treaty) : "none") << "\n";
  return out.str();
}

// The option `index` of the first clause of `treaty`.
const ClauseOption* optionOf(ITreaty* treaty, uint32_t index) { return treaty->getClause(0)->getOption(index); }

class TreatySavesTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    std::filesystem::create_directories(root_ / "Game Data");
    std::filesystem::copy_file(std::string(CORVANE_SOURCE_DIR) + "/data/Game Data/treaties.xml",
                               root_ / "Game Data/treaties.xml");
    initThreadLocals();
    startSession({{"treaty_clauses", readSource("data/Game Data/scripts/server/treaty_clauses.as")}});
    clearPostObjectTreeSteps();
    a_ = registerEmpire(new empire, true);
    b_ = registerEmpire(new empire, true);
    a_->name = L"Alpha";
    b_->name = L"Vega";
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    ScriptSessionTest::TearDown();
    clearTreatyClauses();
  }

  // A treaty of A to B with one clause of kind `id`; the caller holds it.
  ITreaty* treatyWith(const wchar_t* id) {
    ITreaty* treaty = createTreaty(a_, b_);
    IClause* clause = createClause(id, false);
    EXPECT_NE(clause, nullptr) << irr::core::stringc(id).c_str();
    if (clause != nullptr) {
      treaty->addClause(clause);
      clause->release();
    }
    return treaty;
  }

  // A standing ceasefire of A to B with `duration` left, begun by A's job
  // and filed by B's, and A's proposal to B of a pledge ("Friendship", 3).
  void standingCeasefireAndPledge(float duration) {
    ITreaty* ceasefire = treatyWith(L"ceasefire");
    ceasefire->getClause(0)->getOption(0)->opAssign(duration);
    ceasefire->setState(TS_Accepted);
    queueTreatyActivation(ceasefire);
    runEmpireJobs(a_);
    runEmpireJobs(b_);
    ceasefire->release();

    ITreaty* pledge = treatyWith(L"pledge");
    ScriptString* friendship = new ScriptString(irr::core::stringw(L"Friendship"));
    pledge->getClause(0)->getOption(0)->opAssign(friendship);
    friendship->release();
    pledge->getClause(0)->getOption(1)->opAssign(int32_t{3});
    EXPECT_TRUE(a_->setProposedTreaty(b_, pledge));
    EXPECT_TRUE(b_->setProposedTreaty(a_, pledge));
    pledge->release();
  }

  // Both empires' records after the common strings section.
  Bytes saveBoth() {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    saveEmpire(*stream, a_);
    saveEmpire(*stream, b_);
    return writtenBody(*stream);
  }

  // The empires are replaced by those read from `body`; the post-load steps
  // and then both empires' jobs run.
  void loadBoth(const Bytes& body) {
    deleteAllEmpires();
    file_ = withHeader(body);
    auto stream = readerOver(file_);
    readCommonStringsSection(*stream);
    a_ = registerEmpire(loadEmpire(*stream), true);
    b_ = registerEmpire(loadEmpire(*stream), true);
    EXPECT_EQ(stream->remaining(), 0u);
    runPostObjectTreeSteps();
    runEmpireJobs(a_);
    runEmpireJobs(b_);
  }

  // The record of `emp` alone, without the common strings section.
  static Bytes recordOf(empire* emp) {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    const size_t section = stream->memoryBytes().size();
    saveEmpire(*stream, emp);
    const Bytes& all = stream->memoryBytes();
    return Bytes(all.begin() + static_cast<std::ptrdiff_t>(section), all.end());
  }

  empire* a_ = nullptr;
  empire* b_ = nullptr;

 private:
  Bytes file_;
};

// The field holds the byte 1 and the treaty's record for each treaty A
// proposed, then 255; B, the to empire, writes none. The script AI's 0
// follows the field.
TEST_F(TreatySavesTest, TheTreatiesFieldOfTheFromEmpire) {
  ASSERT_EQ(b_->ID, 2);
  const Bytes plainA = recordOf(a_);
  const Bytes plainB = recordOf(b_);
  ASSERT_GE(plainA.size(), 2u);
  ASSERT_EQ(hexText(Bytes(plainA.end() - 2, plainA.end())), "FF 00");

  ITreaty* peace = treatyWith(L"peace");
  peace->setState(TS_Accepted);
  a_->restoreTreaty(peace);
  b_->restoreTreaty(peace);
  peace->release();
  ASSERT_EQ(a_->treaties.size(), 1u);
  ASSERT_EQ(b_->treaties.size(), 1u);

  const Bytes withTreaty = recordOf(a_);
  ASSERT_GE(withTreaty.size(), plainA.size());
  EXPECT_EQ(hexText(Bytes(withTreaty.begin(), withTreaty.begin() + static_cast<std::ptrdiff_t>(plainA.size()) - 2)),
            hexText(Bytes(plainA.begin(), plainA.end() - 2)));
  EXPECT_EQ(hexText(Bytes(withTreaty.begin() + static_cast<std::ptrdiff_t>(plainA.size()) - 2, withTreaty.end())),
            hex("01 00 01 00 00 00 00 00 00 00 01 00 02 05 00 00 70 65 61 63 65 00 00 FF 00"));
  EXPECT_EQ(hexText(recordOf(b_)), hexText(plainB));
}

// A standing ceasefire and a pledge proposal come back on both empires, one
// treaty each shared by both, with the same options, and a second save
// repeats the first byte for byte. The duration is one given at once, or
// one the ceasefire's tick hook ran down in A's step.
TEST_F(TreatySavesTest, StandingTreatiesAndProposalsComeBackOnBothEmpires) {
  const struct {
    float duration;
    double stepSeconds;  // 0: no step
    float left;
  } cases[] = {
      {87.5f, 0.0, 87.5f},
      {600.0f, 22.553284, 577.446716f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    standingCeasefireAndPledge(c.duration);
    if (c.stepSeconds > 0.0)
      a_->tickTreaties(c.stepSeconds);
    ASSERT_EQ(a_->treaties.size(), 1u);
    EXPECT_EQ(optionOf(a_->treaties[0], 0)->toFloat(), c.left);
    const std::string heldA = holdings(a_);
    const std::string heldB = holdings(b_);
    EXPECT_EQ(heldA, "treaty 1->2 state 1 ended 0 id 0 refs 2 ceasefire(" + describe(optionOf(a_->treaties[0], 0)) +
                         ")\nproposal for 2: 1->2 state 0 ended 0 id 0 refs 2 pledge(3:Friendship,1:3)\n");
    const Bytes first = saveBoth();

    loadBoth(first);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
    EXPECT_EQ(holdings(a_), heldA);
    EXPECT_EQ(holdings(b_), heldB);
    ASSERT_EQ(a_->treaties.size(), 1u);
    ASSERT_EQ(b_->treaties.size(), 1u);
    EXPECT_EQ(a_->treaties[0], b_->treaties[0]);
    EXPECT_EQ(a_->treaties[0]->getToEmpire(), b_);
    EXPECT_EQ(optionOf(a_->treaties[0], 0)->getType(), OT_FLOAT);
    EXPECT_EQ(optionOf(a_->treaties[0], 0)->toFloat(), c.left);
    ITreaty* pledge = a_->getProposedTreaty(b_);
    ASSERT_NE(pledge, nullptr);
    EXPECT_EQ(b_->getProposedTreaty(a_), pledge);
    EXPECT_EQ(pledge->getFromEmpire(), a_);
    EXPECT_EQ(pledge->getToEmpire(), b_);
    EXPECT_EQ(optionOf(pledge, 1)->getType(), OT_INTEGER);
    EXPECT_EQ(optionOf(pledge, 1)->toInt(), 3);

    EXPECT_EQ(hexText(saveBoth()), hexText(first));
    deleteAllEmpires();
    nextEmpireID = 1;
    a_ = registerEmpire(new empire, true);
    b_ = registerEmpire(new empire, true);
    a_->name = L"Alpha";
    b_->name = L"Vega";
  }
}

}  // namespace

}  // namespace treaty_saves_test
