// The treaty's save record: its bytes, a round trip, the older form, dropped
// clause records, a missing to empire, and cut records.
#include <gtest/gtest.h>

#include <string>

#include "core/post_load.h"
#include "empire/treaty.h"
#include "script/script_string.h"
#include "support/save_bytes.h"

namespace treaty_record_test {

namespace {

class TreatyRecordTest : public testing::Test {
 protected:
  void SetUp() override {
    clearPostObjectTreeSteps();
    nextEmpireID = 1;
    a_ = registerEmpire(new empire);
    b_ = registerEmpire(new empire);
    ASSERT_EQ(b_->ID, 2);
    loadTreatyClauses(CORVANE_SOURCE_DIR "/data/Game Data/treaties.xml");
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    deleteAllEmpires();
    clearTreatyClauses();
  }

  static void add(ITreaty* treaty, const wchar_t* id, bool reversed = false) {
    IClause* clause = createClause(id, reversed);
    ASSERT_NE(clause, nullptr);
    treaty->addClause(clause);
    clause->release();
  }

  static Bytes saved(ITreaty* treaty) {
    auto stream = SaveStream::createInMemory();
    treaty->save(*stream);
    return writtenBody(*stream);
  }

  // Reads one record of `version` for `owner` and runs the post-load steps.
  // The treaty comes back with a reference for the caller.
  static ITreaty* load(const Bytes& record, empire* owner, int32_t version = SaveStream::kVersion) {
    const Bytes file = withHeader(record, version);
    auto stream = readerOver(file);
    ITreaty* treaty = loadTreaty(owner, *stream);
    EXPECT_EQ(stream->remaining(), 0u);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
    treaty->addRef();
    runPostObjectTreeSteps();
    return treaty;
  }

  // The restoring jobs queued on `emp` for `treaty`.
  static int restoringJobs(empire* emp, ITreaty* treaty) {
    int count = 0;
    for (empJob* job : emp->jobs) {
      auto* assign = dynamic_cast<assignTreatyJob*>(job);
      if (assign != nullptr && assign->treaty == treaty && !assign->activate)
        ++count;
    }
    return count;
  }

  empire* a_ = nullptr;
  empire* b_ = nullptr;
};

TEST_F(TreatyRecordTest, TheRecordOfAStandingTreaty) {
  ITreaty* treaty = createTreaty(a_, b_);
  treaty->setState(TS_Accepted);
  add(treaty, L"peace");
  EXPECT_EQ(hexText(saved(treaty)), hex("00 01 00 00 00 00 00 00 00 01 00 02 05 00 00 70 65 61 63 65 00 00"));
  treaty->release();
}

TEST_F(TreatyRecordTest, ARoundTripKeepsEveryFieldAndFilesTheTreatyOnBoth) {
  ITreaty* treaty = createTreaty(a_, b_);
  treaty->setState(TS_Proposed);
  treaty->setID(7);
  add(treaty, L"ceasefire");
  add(treaty, L"pledge", true);
  treaty->getClause(0u)->getOption(0)->opAssign(87.5f);
  ScriptString* text = new ScriptString(irr::core::stringw(L"Friendship"));
  treaty->getClause(1u)->getOption(0)->opAssign(text);
  text->release();
  treaty->getClause(1u)->getOption(1)->opAssign(int32_t{3});
  const Bytes record = saved(treaty);

  ITreaty* loaded = load(record, a_);
  EXPECT_EQ(loaded->getFromEmpire(), a_);
  EXPECT_EQ(loaded->getToEmpire(), b_);
  EXPECT_EQ(loaded->getState(), TS_Proposed);
  EXPECT_EQ(loaded->getID(), 7u);
  EXPECT_FALSE(loaded->isEnded());
  ASSERT_EQ(loaded->getClauseCount(), 2u);
  EXPECT_FALSE(loaded->getClause(0u)->isReversed());
  EXPECT_EQ(loaded->getClause(0u)->getOption(0)->getType(), OT_FLOAT);
  EXPECT_EQ(loaded->getClause(0u)->getOption(0)->toFloat(), 87.5f);
  EXPECT_TRUE(loaded->getClause(1u)->isReversed());
  EXPECT_EQ(loaded->getClause(1u)->getOption(0)->getString()->toStringw(), L"Friendship");
  EXPECT_EQ(loaded->getClause(1u)->getOption(1)->getType(), OT_INTEGER);
  EXPECT_EQ(loaded->getClause(1u)->getOption(1)->toInt(), 3);
  EXPECT_EQ(hexText(saved(loaded)), hexText(record));

  // One restoring job on each empire, each with its reference.
  EXPECT_EQ(restoringJobs(a_, loaded), 1);
  EXPECT_EQ(restoringJobs(b_, loaded), 1);
  EXPECT_EQ(loaded->getRefCount(), 3);

  // The ended flag and a run-down float come back as well.
  loaded->setEnded();
  loaded->getClause(0u)->getOption(0)->opAssign(577.446716f);
  const Bytes again = saved(loaded);
  EXPECT_EQ(again[0], 1);
  ITreaty* second = load(again, a_);
  EXPECT_TRUE(second->isEnded());
  EXPECT_EQ(second->getClause(0u)->getOption(0)->toFloat(), 577.446716f);
  EXPECT_EQ(hexText(saved(second)), hexText(again));

  second->release();
  loaded->release();
  treaty->release();
}

TEST_F(TreatyRecordTest, EachRecordFormLoadsFromItsFirstVersion) {
  // Before version 12 the to empire takes 4 bytes before the clause count,
  // and the id follows the count; from 12 on the id comes first and the to
  // empire is one byte after the count.
  const struct {
    int32_t version;
    const char* fields;
  } cases[] = {
      {11, " 02 00 00 00  01 00  09 00 00 00"},
      {12, " 09 00 00 00  01 00  02"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    const std::string text = std::string("00 01 00 00 00") + c.fields + " 05 00 00 70 65 61 63 65 00 01";
    const Bytes record = hexBytes(text.c_str());
    ITreaty* loaded = load(record, a_, c.version);
    EXPECT_EQ(loaded->getToEmpire(), b_);
    EXPECT_EQ(loaded->getID(), 9u);
    EXPECT_EQ(loaded->getState(), TS_Accepted);
    ASSERT_EQ(loaded->getClauseCount(), 1u);
    EXPECT_TRUE(loaded->getClause(0u)->isReversed());
    EXPECT_EQ(restoringJobs(a_, loaded), 1);
    EXPECT_EQ(restoringJobs(b_, loaded), 1);
    loaded->release();
  }
}

TEST_F(TreatyRecordTest, ClauseRecordsThatNoLongerFitAreDropped) {
  const Bytes record = hexBytes(
      "00 01 00 00 00 00 00 00 00 03 00 02"
      // "pledge" with one stored option where the kind declares two
      " 06 00 00 70 6C 65 64 67 65 01 00 01 00 00 78"
      // "gone", a kind that does not exist, with one option
      " 04 00 00 67 6F 6E 65 01 00 02 00 00 79 7A"
      // "peace", fitting
      " 05 00 00 70 65 61 63 65 00 00");
  ITreaty* loaded = load(record, a_);
  ASSERT_EQ(loaded->getClauseCount(), 1u);
  EXPECT_EQ(loaded->getClause(0u)->getId()->toStringw(), L"peace");
  loaded->release();
}

TEST_F(TreatyRecordTest, ATreatyWithoutItsSecondEmpireIsFiledNowhere) {
  // No empire has ID 9, and a treaty cannot bind an empire to itself.
  for (const char* to : {"09", "01"}) {
    SCOPED_TRACE(to);
    const std::string text = std::string("00 01 00 00 00 00 00 00 00 01 00 ") + to + " 05 00 00 70 65 61 63 65 00 00";
    ITreaty* loaded = load(hexBytes(text.c_str()), a_);
    EXPECT_EQ(loaded->getToEmpire(), nullptr);
    EXPECT_TRUE(a_->jobs.empty());
    EXPECT_TRUE(b_->jobs.empty());
    EXPECT_EQ(loaded->getRefCount(), 1);  // ours only: the step let go
    loaded->release();
  }
}

TEST_F(TreatyRecordTest, ACutRecordFailsAndLeavesNothing) {
  ITreaty* treaty = createTreaty(a_, b_);
  add(treaty, L"pledge");
  add(treaty, L"ceasefire");
  const Bytes record = saved(treaty);
  treaty->release();
  for (int32_t version : {SaveStream::kVersion, 11}) {
    Bytes full = record;
    if (version < SaveStream::kByteEmpireIdVersion)
      full = hexBytes(
          "00 00 00 00 00 02 00 00 00 01 00 00 00 00 00"
          " 06 00 00 70 6C 65 64 67 65 02 00 01 00 00 41 01 00 00 31");
    for (size_t length = 0; length < full.size(); ++length) {
      SCOPED_TRACE(std::to_string(version) + " cut at " + std::to_string(length));
      const Bytes file = withHeader(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)), version);
      auto stream = readerOver(file);
      const SaveFileError error = saveErrorOf([&] { loadTreaty(a_, *stream); });
      EXPECT_EQ(error.code, 4);
      EXPECT_STREQ(error.message, "Unexpected EOF");
      EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
    }
  }
}

}  // namespace

}  // namespace treaty_record_test
