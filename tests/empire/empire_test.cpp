#include "empire/empire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "design/build/build_rules.h"
#include "empire/traits.h"
#include "core/net_encoders.h"
#include "platform/bit_stream.h"

namespace empire_test {

namespace {

class EmpireListTest : public testing::Test {
 protected:
  void SetUp() override { nextEmpireID = 1; }
  void TearDown() override { deleteAllEmpires(); }
};

TEST_F(EmpireListTest, EmpiresTakeIDsInTurnAndAreFoundByID) {
  empire* first = registerEmpire(new empire);
  empire* second = registerEmpire(new empire);
  empire* third = registerEmpire(new empire);
  EXPECT_EQ(first->ID, 1);
  EXPECT_EQ(second->ID, 2);
  EXPECT_EQ(third->ID, 3);
  EXPECT_TRUE(second->isValid());
  EXPECT_EQ(getEmpireByID(2), second);

  // An ID that no empire has gives the default empire.
  empire* none = getEmpireByID(9);
  EXPECT_EQ(none, defaultEmpire());
  EXPECT_EQ(none->name, irr::core::stringw(L"INVALID"));
  EXPECT_FALSE(none->isValid());
  EXPECT_EQ(none->ID, kInvalidEmpireID);

  // A second empire of a listed ID is not added; the caller keeps it.
  nextEmpireID = 2;
  empire twin;
  EXPECT_EQ(registerEmpire(&twin), second);
  EXPECT_EQ(empireList.size(), 3u);

  deleteAllEmpires();
  EXPECT_TRUE(empireList.empty());
  EXPECT_EQ(getEmpireByID(1), defaultEmpire());
}

TEST_F(EmpireListTest, NetEmpireIsTheListedEmpireOrNone) {
  empire* one = registerEmpire(new empire);
  nextEmpireID = kInvalidEmpireID;
  registerEmpire(new empire);  // carries the reserved ID: still no empire
  nextEmpireID = 0;
  registerEmpire(new empire);

  const struct {
    uint8_t id;
    empire* expected;
  } cases[] = {
      {1, one},
      {0, empireList[2]},
      {7, nullptr},  // unknown: the default empire, which means none
      {kInvalidEmpireID, nullptr},
  };
  RakNet::BitStream s;
  for (const auto& c : cases)
    s.Write(c.id);
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.id));
    EXPECT_EQ(readNetEmpire(s), c.expected);
  }
  EXPECT_EQ(readNetEmpire(s), nullptr);  // short stream
}

// Before any game has set up its empires, the default empire already carries
// the reserved ID, so no ID read from a packet can name it.
TEST_F(EmpireListTest, DefaultEmpireIsNoEmpireFromTheStart) {
  RakNet::BitStream s;
  s.Write(uint8_t{0});
  EXPECT_EQ(getEmpireByID(0), defaultEmpire());
  EXPECT_EQ(readNetEmpire(s), nullptr);
}

// Jobs and commands record what ran, in order.
std::vector<std::string> ran;

class RecordJob : public empJob {
 public:
  RecordJob(const char* label, empJob* follow = nullptr) : label_(label), follow_(follow) {}
  ~RecordJob() override { ran.push_back(std::string("~") + label_); }
  void run(empire* emp) override {
    ran.push_back(label_);
    if (follow_ != nullptr)
      emp->queueJob(follow_);
  }

 private:
  const char* label_;
  empJob* follow_;
};

class RecordCommand : public empCommand {
 public:
  RecordCommand(const char* label, int runs) : label_(label), runsLeft_(runs) {}
  ~RecordCommand() override { ran.push_back(std::string("~") + label_); }
  bool execute(empire*) override {
    ran.push_back(label_);
    return --runsLeft_ <= 0;
  }

 private:
  const char* label_;
  int runsLeft_;
};

TEST_F(EmpireListTest, StepRunsJobsThenCommandsAsTheActiveEmpire) {
  ran.clear();
  empire* emp = registerEmpire(new empire);
  // A job queued by a running job runs in the same step.
  emp->queueJob(new RecordJob("job1", new RecordJob("job3")));
  emp->queueJob(new RecordJob("job2"));
  emp->queueCommand(new RecordCommand("once", 1));
  emp->queueCommand(new RecordCommand("twice", 2));
  emp->tick(0.5f);
  EXPECT_EQ(activeEmpire, emp);
  const std::vector<std::string> first{"job1", "~job1", "job2", "~job2", "job3", "~job3", "once", "~once", "twice"};
  EXPECT_EQ(ran, first);
  EXPECT_TRUE(emp->jobs.empty());
  ASSERT_EQ(emp->commands.size(), 1u);

  ran.clear();
  emp->tick(0.5f);
  EXPECT_EQ(ran, (std::vector<std::string>{"twice", "~twice"}));

  // Commands left at the end of a session are deleted; so are jobs left
  // when the empires go, and the active empire goes with them.
  emp->queueCommand(new RecordCommand("left", 5));
  emp->queueJob(new RecordJob("unrun"));
  ran.clear();
  emp->clearCommands();
  EXPECT_EQ(ran, std::vector<std::string>{"~left"});
  deleteAllEmpires();
  EXPECT_EQ(ran, (std::vector<std::string>{"~left", "~unrun"}));
  EXPECT_EQ(activeEmpire, nullptr);
}

TEST_F(EmpireListTest, MessagesKeepTheNewest251) {
  empire* emp = registerEmpire(new empire);
  gameTime = 42.7;
  for (int i = 0; i < 300; ++i)
    postEmpireMessage(emp, irr::core::stringw(i), L"misc", 0, -1);
  ASSERT_EQ(emp->messages.size(), 251u);
  EXPECT_EQ(emp->messages.front().text, irr::core::stringw(49));
  EXPECT_EQ(emp->messages.front().time, 42) << "game time in whole seconds";
  EXPECT_EQ(*emp->messages.front().category, irr::core::stringw(L"misc"));
  EXPECT_DOUBLE_EQ(emp->lastMessage, 42.7);
  postEmpireMessage(emp, L"late", L"build", -10, 17);
  EXPECT_EQ(emp->messages.back().time, 17);
  EXPECT_EQ(emp->messages.back().priority, -10);
  EXPECT_EQ(emp->messages.size(), 251u);
  gameTime = 0.0;
}

TEST_F(EmpireListTest, RelationsAndStats) {
  empire* a = registerEmpire(new empire);
  empire* b = registerEmpire(new empire);
  EXPECT_TRUE(a->isAllied(a));
  EXPECT_FALSE(a->isEnemy(a));
  EXPECT_FALSE(a->isAllied(b));
  EXPECT_EQ(a->getRelation(b), a->getRelation(b)) << "one record per other empire";
  a->getRelation(b)->enemy = true;
  EXPECT_TRUE(a->isEnemy(b));
  EXPECT_FALSE(b->isEnemy(a));

  EXPECT_EQ(a->getStat(L"Ship"), 0.0f);
  EXPECT_EQ(a->stats.size(), 0u) << "reading creates nothing";
  a->modStat(L"Ship", ESO_Add, 2.0f);
  a->modStat(L"Ship", ESO_Multiply, 3.0f);
  a->modStat(L"Planet", ESO_Set, 1.0f);
  a->modStat(L"Planet", ESO_Subtract, 4.0f);
  EXPECT_EQ(a->getStat(L"Ship"), 6.0f);
  EXPECT_EQ(a->getStat(L"Planet"), -3.0f);
}

TEST_F(EmpireListTest, SettingsBuildListsAndTraitVariables) {
  empire* emp = registerEmpire(new empire);
  EXPECT_EQ(emp->getSetting(L"autoPark"), 0.0f);
  emp->setSetting(L"autoPark", 1.0f);
  EXPECT_EQ(emp->getSetting(L"autoPark"), 1.0f);

  // The empire owns the lists it holds: one replaced or taken out is freed
  // (LeakSanitizer would report it otherwise).
  auto* list = new build_list();
  emp->setBuildList(L"Default", list);
  emp->setBuildList(L"Alpha", new build_list());
  EXPECT_EQ(emp->getBuildListCount(), 2u);
  EXPECT_EQ(emp->getBuildListName(0), irr::core::stringw(L"Alpha"));
  EXPECT_EQ(emp->getBuildListName(5), irr::core::stringw());
  EXPECT_EQ(emp->findBuildList(L"Default"), list);
  emp->setBuildList(L"Default", new build_list());
  EXPECT_NE(emp->findBuildList(L"Default"), list);
  emp->setBuildList(L"Default", nullptr);
  EXPECT_EQ(emp->findBuildList(L"Default"), nullptr);
  EXPECT_EQ(emp->getBuildListCount(), 1u);

  // The "Traits" namespace: 1 for the empire's traits and their tags.
  ITrait* brave = new ITrait;
  brave->id = L"brave";
  brave->tags = {L"bold"};
  ITrait* meek = new ITrait;
  meek->id = L"meek";
  traitRegistry[brave->id] = brave;
  traitRegistry[meek->id] = meek;
  emp->traits[brave->id] = brave;
  emp->updateTraitVariables();
  float value = -1.0f;
  EXPECT_TRUE(emp->spaces.findSpace(L"Traits")->get(L"brave", value));
  EXPECT_EQ(value, 1.0f);
  EXPECT_TRUE(emp->traitVars.get(L"bold", value));
  EXPECT_EQ(value, 1.0f);
  EXPECT_TRUE(emp->traitVars.get(L"meek", value));
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(emp->traitTags[L"bold"], brave);
  clearTraits();
}

TEST(MessageCategories, RegisteredForASessionAndCleared) {
  registerMessageCategories();
  registerMessageCategories();  // a second session starts afresh
  ASSERT_EQ(messageCategoryNames.size(), 18u);
  EXPECT_EQ(messageCategoryNames[0], irr::core::stringw(L"subsys_new"));
  EXPECT_EQ(messageCategoryNames[9], irr::core::stringw(L"struct_rebuilt"));
  EXPECT_EQ(messageCategoryNames[17], irr::core::stringw(L"custom"));
  EXPECT_EQ(messageCategoryIds[L"war"], 16);
  EXPECT_EQ(messageCategoryIds.size(), 18u);
  clearMessageCategories();
  EXPECT_TRUE(messageCategoryNames.empty());
  EXPECT_TRUE(messageCategoryIds.empty());
}

}  // namespace

}  // namespace empire_test
