#include "empire/diplomacy/diplomacy_texts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/random.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace diplomacy_texts_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

std::string narrow(const stringw& text) { return stringc(text).c_str(); }

// Every level of the table and every list, counted: what asking must not
// change.
size_t tableSize() {
  size_t n = 0;
  for (const auto& topic : diplomacyTexts) {
    ++n;
    for (const auto& mood : topic.second) {
      ++n;
      for (const auto& attitude : mood.second)
        n += 1 + attitude.second.size();
    }
  }
  return n;
}

// A response's segments as "plain|{kind}|plain ...".
std::string describe(const DiplomacyResponse& response) {
  std::string out;
  for (const DiplomacySegment& segment : response.segments) {
    if (&segment != &response.segments.front())
      out += "|";
    out += segment.kind == DSK_Text ? narrow(segment.text) : "{" + std::to_string(segment.kind) + "}";
  }
  return out;
}

class DiplomacyTextsTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    vega_ = registerEmpire(new empire, true);
    vega_->name = L"Vega";
    vega_->emperor.name = L"Emperor Elan'Dat";
    orin_ = registerEmpire(new empire, true);
    orin_->name = L"Orin";
    orin_->emperor.name = L"Queen Sael";
    path_ = (scratchDir() / "diplomacy_strings.txt").string();
  }
  void TearDown() override {
    deleteAllEmpires();
    clearDiplomacyTexts();
  }

  // Writes `text` as the strings file, loads it and returns what was logged.
  std::string load(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    LogCapture log;
    loadDiplomacyStrings(path_.c_str());
    return log.take();
  }

  stringw pick(uint32_t topic, uint32_t mood, uint32_t attitude, const stringw* s1 = nullptr) {
    return pickDiplomacyText(vega_, orin_, topic, mood, attitude, s1);
  }

  // The texts of the messages posted to `emp` in `category`; empties its list.
  static std::vector<std::string> takeMessages(empire* emp, const char* category) {
    std::vector<std::string> out;
    for (const EmpireMessage& message : emp->messages) {
      EXPECT_EQ(narrow(*message.category), category);
      out.push_back(narrow(message.text));
    }
    emp->messages.clear();
    return out;
  }

  static void setRelation(empire* side, const empire* other, bool allied, bool enemy) {
    EmpireRelation* relation = side->getRelation(other);
    relation->allied = allied;
    relation->enemy = enemy;
  }

  empire* vega_ = nullptr;
  empire* orin_ = nullptr;
  std::string path_;
};

TEST_F(DiplomacyTextsTest, LoadReportsEachFaultyLineAndKeepsTheGoodOnes) {
  const std::string log = load(
      "Mood: Neutral\n"
      "Topic: greeting\n"
      "Attitude: Neutral\n"
      "Response: Hello\n"
      "Topic: Greeting\n"
      "Mood: Cheerful\n"
      "Mood: Neutral\n"
      "Attitude: Kind\n"
      "Attitude: Neutral\n"
      "Foo: bar\n"
      "no colon here\n"
      "Response: Hello [otherEmpire].\n");
  const char* expected[] = {
      "(1) error D002: A topic must be specified before moods\n",
      "(2) error D001: Invalid topic name 'greeting'\n",
      "(3) error D004: A mood must be specified before attitudes\n",
      "(4) error D006: Must define a Topic, Mood, and Attitude before a Response\n",
      "(6) error D003: Invalid mood 'Cheerful'\n",
      "(8) error D005: Invalid attitude 'Kind'\n",
      "(10) error D007: Unrecognized key 'Foo'\n",
  };
  std::string lines;
  for (const char* line : expected)
    lines += path_ + line;
  EXPECT_EQ(log, lines);
  ASSERT_EQ(diplomacyTexts.size(), 1u);
  const std::vector<DiplomacyResponse>& list = diplomacyTexts[DT_Greetings][DM_Neutral][DA_Neutral][0];
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(describe(list[0]), "Hello |{3}|.");
  EXPECT_EQ(tableSize(), 4u);  // nothing else was stored
}

TEST_F(DiplomacyTextsTest, MissingFileIsLoggedAndLeavesTheTableEmpty) {
  const std::string missing = (scratchDir() / "absent.txt").string();
  LogCapture log;
  loadDiplomacyStrings(missing.c_str());
  EXPECT_EQ(log.take(), "Failed to load file: " + missing + "\n");
  EXPECT_TRUE(diplomacyTexts.empty());
}

TEST_F(DiplomacyTextsTest, ResponsesCompileIntoSegments) {
  const struct {
    const wchar_t* text;
    const char* segments;
    uint32_t stringCount;
  } cases[] = {
      {L"Greetings, [otherEmpire], from [thisEmpireRuler].", "Greetings, |{3}|, from |{2}|.", 0},
      {L"[thisEmpire] to [otherEmpireRuler]", "|{1}| to |{4}", 0},
      {L"Hello [friend] and [s1]", "Hello [friend]| and |{5}", 1},
      {L"[s2] says hi", "|{6}| says hi", 2},
      {L"[s3][s1]", "|{7}||{5}", 3},
      {L"Broken [text", "Broken [text", 0},
      {L"Closed] [", "Closed] [", 0},
      {L"", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(narrow(c.text));
    DiplomacyResponse response;
    response.segments.resize(3);  // replaced, not added to
    EXPECT_EQ(compileDiplomacyResponse(c.text, response), c.stringCount);
    EXPECT_EQ(describe(response), c.segments);
  }
}

TEST_F(DiplomacyTextsTest, ResponsesLandInTheirTopicAndStringCountList) {
  EXPECT_EQ(load("Topic: Threat\nMood: Angry\nAttitude: Evil\nResponse: one\n"
                 "Topic: Demands\nResponse: two [s1]\nResponse: three [s2]\n"
                 "// a comment line\n"
                 "Topic: Peace Treaty\nMood: Happy\nAttitude: Good\nResponse:   four  \n"),
            "");
  // A new topic keeps the mood and attitude: "Demands" stores under Angry, Evil.
  const DiplomacyResponseLists& demand = diplomacyTexts[DT_Demand][DM_Angry][DA_Aggressive];
  ASSERT_EQ(demand.size(), 3u);
  EXPECT_EQ(describe(demand.at(0).at(0)), "one");
  EXPECT_EQ(describe(demand.at(1).at(0)), "two |{5}");
  EXPECT_EQ(describe(demand.at(2).at(0)), "three |{6}");
  EXPECT_EQ(describe(diplomacyTexts[DT_Peace][DM_Happy][DA_Passive].at(0).at(0)), "four");
}

TEST_F(DiplomacyTextsTest, PlaceholdersAreFilledFromTheRightEmpires) {
  load(
      "Topic: Greeting\nMood: Neutral\nAttitude: Neutral\n"
      "Response: From [thisEmpire] ([thisEmpireRuler]) to [otherEmpire] ([otherEmpireRuler]).\n");
  EXPECT_EQ(narrow(pick(DT_Greetings, DM_Neutral, DA_Neutral)), "From Vega (Emperor Elan'Dat) to Orin (Queen Sael).");
  // A missing empire fills its placeholders with nothing.
  EXPECT_EQ(narrow(pickDiplomacyText(nullptr, orin_, DT_Greetings, DM_Neutral, DA_Neutral, nullptr)),
            "From  () to Orin (Queen Sael).");
  EXPECT_EQ(narrow(pickDiplomacyText(vega_, nullptr, DT_Greetings, DM_Neutral, DA_Neutral, nullptr)),
            "From Vega (Emperor Elan'Dat) to  ().");
}

TEST_F(DiplomacyTextsTest, AGivenStringChoosesItsListElseTheListWithout) {
  load(
      "Topic: Trade\nMood: Neutral\nAttitude: Neutral\n"
      "Response: plain\nResponse: Hello [friend] and [s1]\nResponse: [s2] says hi\nResponse: [s3] too\n"
      "Topic: Request\nResponse: only plain\n"
      "Topic: War\nResponse: [s1] only\n");
  const stringw bob = L"Bob";
  const struct {
    uint32_t topic;
    const stringw* s1;
    const char* expected;
  } cases[] = {
      {DT_Trade, &bob, "Hello [friend] and Bob"},
      {DT_Trade, nullptr, "plain"},  // never a list 1, 2 or 3 response
      {DT_Request, &bob, "only plain"},
      {DT_War, nullptr, ""},  // no list 0
  };
  seedProcessRandom(7);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.topic);
    for (int i = 0; i < 50; ++i)
      ASSERT_EQ(narrow(pick(c.topic, DM_Neutral, DA_Neutral, c.s1)), c.expected);
  }
}

TEST_F(DiplomacyTextsTest, EveryResponseOfAListIsChosen) {
  load("Topic: Alliance\nMood: Neutral\nAttitude: Neutral\nResponse: a\nResponse: b\nResponse: c\nResponse: d\n");
  seedProcessRandom(12345);
  std::set<std::string> seen;
  for (int i = 0; i < 4000; ++i)
    seen.insert(narrow(pick(DT_Alliance, DM_Neutral, DA_Neutral)));
  EXPECT_EQ(seen, (std::set<std::string>{"a", "b", "c", "d"}));
}

TEST_F(DiplomacyTextsTest, AskingForAnAbsentCombinationGivesNothingAndAddsNothing) {
  const stringw s1 = L"x";
  EXPECT_EQ(narrow(pick(DT_Greetings, DM_Neutral, DA_Neutral)), "");  // empty table
  EXPECT_TRUE(diplomacyTexts.empty());

  load(
      "Topic: Greeting\nMood: Neutral\nAttitude: Neutral\nResponse: hi\n"
      "Attitude: Good\n");  // a level with no list
  const size_t size = tableSize();
  const struct {
    uint32_t topic, mood, attitude;
    const stringw* s1;
  } cases[] = {
      {DT_War, DM_Neutral, DA_Neutral, nullptr},      {DT_Greetings, DM_Angry, DA_Neutral, nullptr},
      {DT_Greetings, DM_Neutral, DA_Aggressive, &s1}, {DT_Greetings, DM_Neutral, DA_Passive, &s1},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, &s1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.topic << "/" << c.mood << "/" << c.attitude);
    EXPECT_EQ(narrow(pick(c.topic, c.mood, c.attitude, c.s1)), "");
  }
  EXPECT_EQ(tableSize(), size);
  EXPECT_EQ(narrow(pick(DT_Greetings, DM_Neutral, DA_Neutral, &s1)), "hi");
}

TEST_F(DiplomacyTextsTest, AnswersApplyPeaceAndTellTheReceiver) {
  load(
      "Topic: Acceptance\nMood: Neutral\nAttitude: Neutral\nResponse: wrong attitude\n"
      "Attitude: Evil\nResponse: yes from [thisEmpire] to [otherEmpire]\nResponse: agreed\n"
      "Topic: Refusal\nResponse: no from [thisEmpire]\nResponse: never\n");
  const std::set<std::string> accepted = {"yes from Vega to Orin", "agreed"};
  const std::set<std::string> refused = {"no from Vega", "never"};
  const std::set<std::string> none;
  const struct {
    const char* name;
    uint32_t topic;
    uint32_t response;
    bool finished;
    bool result;
    const std::set<std::string>& posted;  // one of these, or nothing when empty
    bool enemies;                         // both ways, afterwards
  } cases[] = {
      {"unfinished", DT_Peace, DR_Accepted, false, false, none, true},
      {"no answer", DT_Peace, DR_None, true, true, none, true},
      {"peace accepted", DT_Peace, DR_Accepted, true, true, accepted, false},
      {"peace refused", DT_Peace, DR_Rejected, true, true, refused, true},
      {"other refusal value", DT_Peace, 7, true, true, refused, true},
      {"trade accepted", DT_Trade, DR_Accepted, true, true, accepted, true},
  };
  seedProcessRandom(3);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    setRelation(orin_, vega_, true, true);
    setRelation(vega_, orin_, false, true);
    DiploMsg message(c.topic, vega_);
    message.response = c.response;
    message.finished = c.finished;
    EXPECT_EQ(applyDiplomacyAnswer(orin_, &message), c.result);

    EXPECT_EQ(orin_->isEnemy(vega_), c.enemies);
    EXPECT_EQ(vega_->isEnemy(orin_), c.enemies);
    EXPECT_TRUE(orin_->isAllied(vega_));
    EXPECT_FALSE(vega_->isAllied(orin_));
    const std::vector<std::string> posted = takeMessages(orin_, "diplomacy");
    if (c.posted.empty()) {
      EXPECT_TRUE(posted.empty());
    } else {
      ASSERT_EQ(posted.size(), 1u);
      EXPECT_EQ(c.posted.count(posted[0]), 1u) << posted[0];
    }
    EXPECT_TRUE(vega_->messages.empty());
  }

  EXPECT_FALSE(applyDiplomacyAnswer(orin_, nullptr));
  DiploMsg orphan(DT_Peace, nullptr);  // no sender: answered, nothing to end
  orphan.response = DR_Accepted;
  orphan.finished = true;
  // Answered until the draw picks the text that names both sides: the
  // missing sender's name is left empty.
  std::vector<std::string> posted;
  for (uint32_t seed = 0; seed < 64; ++seed) {
    seedProcessRandom(seed);
    EXPECT_TRUE(applyDiplomacyAnswer(orin_, &orphan));
    posted = takeMessages(orin_, "diplomacy");
    if (posted != std::vector<std::string>{"agreed"})
      break;
  }
  EXPECT_EQ(posted, (std::vector<std::string>{"yes from  to Orin"}));
}

TEST_F(DiplomacyTextsTest, ADeliveredWarMessageMakesBothSidesEnemies) {
  setRelation(orin_, vega_, true, false);
  setRelation(vega_, orin_, false, false);
  orin_->queueDiplomacyMessage(new DiploMsg(DT_Trade, vega_));
  runEmpireJobs(orin_);
  EXPECT_FALSE(orin_->isEnemy(vega_));
  EXPECT_FALSE(vega_->isEnemy(orin_));

  orin_->queueDiplomacyMessage(new DiploMsg(DT_War, vega_));
  runEmpireJobs(orin_);
  EXPECT_TRUE(orin_->isEnemy(vega_));
  EXPECT_TRUE(vega_->isEnemy(orin_));
  EXPECT_TRUE(orin_->isAllied(vega_));
  EXPECT_FALSE(vega_->isAllied(orin_));
  EXPECT_EQ(orin_->diplomacyMessages.size(), 2u);

  // Nothing to mark without a sender or a message.
  DiploMsg anonymous(DT_War, nullptr);
  applyWarDeclaration(orin_, &anonymous);
  applyWarDeclaration(orin_, nullptr);
  applyWarDeclaration(nullptr, &anonymous);
}

TEST_F(DiplomacyTextsTest, ShippedStringsLoadCleanAndCoverWhatTheGameAsks) {
  LogCapture log;
  loadDiplomacyStrings(CORVANE_SOURCE_DIR "/data/Game Data/diplomacy_strings.txt");
  const std::string logged = log.take();
  EXPECT_EQ(logged.find(" error D0"), std::string::npos) << logged;
  EXPECT_EQ(logged.find("Failed"), std::string::npos) << logged;

  for (uint32_t topic = DT_Greetings; topic < DT_Count; ++topic) {
    SCOPED_TRACE(topic);
    EXPECT_NE(narrow(pick(topic, DM_Neutral, DA_Neutral)), "");
    EXPECT_GE(diplomacyTexts[topic][DM_Neutral][DA_Neutral][0].size(), 2u);
  }
  for (uint32_t topic : {DT_Accept, DT_Reject})
    EXPECT_NE(narrow(pick(topic, DM_Neutral, DA_Aggressive)), "") << topic;

  // A misspelt placeholder would be shown as it stands.
  for (const auto& topic : diplomacyTexts)
    for (const auto& mood : topic.second)
      for (const auto& attitude : mood.second)
        for (const auto& list : attitude.second)
          for (const DiplomacyResponse& response : list.second)
            EXPECT_EQ(describe(response).find('['), std::string::npos) << describe(response);
}

}  // namespace

}  // namespace diplomacy_texts_test
