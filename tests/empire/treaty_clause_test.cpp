#include "empire/treaty_clause.h"

#include <gtest/gtest.h>

#include <fstream>

#include "script/script_string.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace treaty_clause_test {

namespace {

class ClauseFileTest : public testing::Test {
protected:
  void TearDown() override { clearTreatyClauses(); }

  std::string load(const std::string &xml) {
    const std::filesystem::path path = scratchDir() / "treaties.xml";
    std::ofstream(path, std::ios::binary) << xml;
    LogCapture log;
    loadTreatyClauses(irr::core::stringc(path.string().c_str()));
    return log.take();
  }

  static const ScriptClauseDescriptor &kind(const wchar_t *id) {
    const ScriptClauseDescriptor *found =
        getClauseDescriptor(irr::core::stringw(id));
    EXPECT_NE(found, nullptr) << "no clause kind";
    return *found;
  }
};

TEST_F(ClauseFileTest, ReportsRefusedAndRepeatedClauses) {
  const std::string log =
      load("<treaties>"
           "<clause id=\"peace\" name=\"Peace\" desc=\"No "
           "war\"><tag>peace</tag></clause>"
           "<clause id=\"x\" name=\"X\"><option name=\"lost\"/></clause>"
           "<clause id=\"peace\" name=\"Again\" desc=\"d\"><option "
           "name=\"o\"/><tag>more</tag>"
           "<hook func=\"m::f\" type=\"begin\"/></clause>"
           "</treaties>");
  EXPECT_EQ(
      log,
      "Clause missing id, name, or desc\nError: Duplicate treaty id 'peace'\n");
  ASSERT_EQ(getClauseDescriptorCount(), 1u);
  const ScriptClauseDescriptor &peace = kind(L"peace");
  EXPECT_EQ(peace.name->toStringw(), L"Peace");
  EXPECT_TRUE(peace.options.empty());
  EXPECT_EQ(peace.tags, std::set<irr::core::stringw>{L"peace"});
  EXPECT_LT(peace.beginHook, 0);
}

TEST_F(ClauseFileTest, ReadsTextsTagsAndFlags) {
  load("<treaties>"
       "<clause id=\"c\" name=\"C\" desc=\"Long\" "
       "icon=\"ic\"><tag>one</tag><deny>two</deny><offensive/>"
       "<tag><b/></tag><deny>three</deny><hook func=\"m::f\" "
       "type=\"Begin\"/></clause>"
       "<clause id=\"a\" name=\"A\" desc=\"D\" sdesc=\"Short\"/>"
       "<clause id=\"b\" name=\"B\" desc=\"D\"></clause>"
       "</treaties>");
  ASSERT_EQ(getClauseDescriptorCount(), 3u);
  const wchar_t *order[] = {L"a", L"b", L"c"};
  for (uint32_t i = 0; i < 3; ++i)
    EXPECT_EQ(getClauseDescriptor(i)->id->toStringw(), order[i]);
  EXPECT_EQ(getClauseDescriptor(3u), nullptr);

  const ScriptClauseDescriptor &c = kind(L"c");
  EXPECT_EQ(c.summary, c.desc);
  EXPECT_EQ(c.icon->toStringw(), L"ic");
  EXPECT_TRUE(c.offensive);
  // The "tag" whose next node is an element adds nothing and skips it.
  EXPECT_EQ(c.tags, std::set<irr::core::stringw>{L"one"});
  EXPECT_EQ(c.deny, (std::set<irr::core::stringw>{L"two", L"three"}));
  EXPECT_LT(c.beginHook, 0);
  EXPECT_EQ(kind(L"a").summary->toStringw(), L"Short");
  EXPECT_FALSE(kind(L"a").offensive);
}

TEST_F(ClauseFileTest, OptionDefaults) {
  load("<treaties><clause id=\"o\" name=\"O\" desc=\"D\">"
       "<option name=\"f\" type=\"float\" def=\"12\"/>"
       "<option name=\"i\" type=\"integer\" def=\"1.5\"/>"
       "<option name=\"s\" type=\"integer\" def=\"abc\"/>"
       "<option name=\"n\" def=\"-5\"/>"
       "<option name=\"none\" type=\"string\"/>"
       "<option name=\"empty\" type=\"bogus\" def=\"\"/>"
       "<option name=\"t\" type=\"string\" def=\"Friendship\"/>"
       "</clause></treaties>");
  const std::vector<SClauseOption> &options = kind(L"o").options;
  ASSERT_EQ(options.size(), 7u);
  EXPECT_EQ(options[0].getType(), OT_FLOAT);
  EXPECT_EQ(options[0].toFloat(), 12.0f);
  EXPECT_EQ(options[1].getType(), OT_INTEGER);
  EXPECT_EQ(options[1].toInt(), 1);
  EXPECT_EQ(options[2].getType(), OT_INTEGER);
  EXPECT_EQ(options[2].toInt(), 0);
  EXPECT_EQ(options[3].getType(), OT_INTEGER);
  EXPECT_EQ(options[3].toInt(), -5);
  for (int i : {4, 5}) {
    EXPECT_EQ(options[i].getType(), OT_INTEGER);
    EXPECT_EQ(options[i].toInt(), 0);
  }
  EXPECT_EQ(options[4].getDeclaredType(), OT_STRING);
  EXPECT_EQ(options[5].getDeclaredType(), OT_NONE);
  EXPECT_EQ(options[6].getString()->toStringw(), L"Friendship");
  EXPECT_EQ(options[6].getName()->toStringw(), L"t");

  // A clause copies the options; destroying it releases the copies' strings.
  IClause *clause = createClause(L"o", true);
  ASSERT_NE(clause, nullptr);
  EXPECT_TRUE(clause->isReversed());
  ASSERT_EQ(clause->getOptionCount(), 7u);
  EXPECT_EQ(clause->getOption(6)->getString(), options[6].getString());
  EXPECT_EQ(clause->getOption(7), nullptr);
  clause->release();
  EXPECT_EQ(createClause(L"missing", false), nullptr);
}

TEST_F(ClauseFileTest, RefusedClauseAfterEmptyElementAddsNothing) {
  const std::string log =
      load("<treaties><clause id=\"a\" name=\"A\" desc=\"D\"/>"
           "<clause id=\"b\"><tag>t</tag><option "
           "name=\"o\"/><offensive/></clause></treaties>");
  EXPECT_EQ(log, "Clause missing id, name, or desc\n");
  const ScriptClauseDescriptor &a = kind(L"a");
  EXPECT_TRUE(a.tags.empty());
  EXPECT_TRUE(a.options.empty());
  EXPECT_FALSE(a.offensive);
}

TEST_F(ClauseFileTest, CutOffFileStopsTheLoad) {
  load("<treaties><clause id=\"a\" name=\"A\" desc=\"D\"><tag>t</tag><option "
       "name=\"o");
  EXPECT_NE(getClauseDescriptor(irr::core::stringw(L"a")), nullptr);
}

TEST_F(ClauseFileTest, HooklessClauseGivesNoChange) {
  load("<treaties><clause id=\"p\" name=\"P\" "
       "desc=\"D\"><tag>peace</tag></clause></treaties>");
  IClause *clause = createClause(L"p", false);
  ASSERT_NE(clause, nullptr);
  EXPECT_EQ(clause->begin(nullptr, nullptr), CS_NOCHANGE);
  EXPECT_EQ(clause->tick(nullptr, nullptr, 1.0), CS_NOCHANGE);
  EXPECT_EQ(clause->end(nullptr, nullptr), CS_NOCHANGE);
  EXPECT_EQ(clause->fail(nullptr, nullptr), CS_NOCHANGE);
  ScriptString *tag = new ScriptString(irr::core::stringw(L"peace"));
  EXPECT_TRUE(clause->hasTag(tag));
  tag->release();
  EXPECT_TRUE(clause->allowedIn(nullptr));
  EXPECT_EQ(clause->getRefCount(), 1);
  clause->release();
}

} // namespace

}  // namespace treaty_clause_test
