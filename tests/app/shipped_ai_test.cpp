// The council that "Game Data/scripts/server/empire_ai.as" gives every AI
// empire: attached in a new game, it answers diplomatic messages within the
// frame they arrive, steers research every 10 seconds, keeps its state
// through a saved game, and leaves an empire that a player took over alone.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/new_game.h"
#include "app/saved_game.h"
#include "core/post_load.h"
#include "design/hull_list.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "session_data.h"
#include "shipped_session.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace shipped_ai_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

constexpr int kAIEmpires = 3;
// A dyadic step: the game seconds add up exactly.
constexpr double kStep = 0.25;

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

std::string aiTypeName(const empire* emp) {
  return emp->aiObject != nullptr ? emp->aiObject->GetObjectType()->GetName() : "";
}

// The address of the council's property `name` (of type T); null, with a
// test failure, when the empire has no council or the council no such
// property.
template <typename T>
T* councilProperty(const empire* emp, const char* name) {
  AngelScript::asIScriptObject* ai = emp->aiObject;
  if (ai == nullptr || aiTypeName(emp) != "Council") {
    ADD_FAILURE() << "empire " << int(emp->ID) << " has no council";
    return nullptr;
  }
  for (AngelScript::asUINT i = 0; i < ai->GetPropertyCount(); ++i)
    if (std::string(ai->GetPropertyName(i)) == name)
      return static_cast<T*>(ai->GetAddressOfProperty(i));
  ADD_FAILURE() << "the council has no " << name;
  return nullptr;
}

double runningTime(const empire* emp) {
  const double* running = councilProperty<double>(emp, "running");
  return running != nullptr ? *running : -1.0;
}

unsigned councilCount(const empire* emp, const char* name) {
  const unsigned* count = councilProperty<unsigned>(emp, name);
  return count != nullptr ? *count : ~0u;
}

float techLevel(const empire* emp, const wchar_t* id) {
  const research::IWebItem* item = emp->researchWeb->getItem(research::getWebItemDesc(id));
  if (item == nullptr)
    return -1.0f;
  float level = 0, progress = 0, cost = 0, maxLevel = 0;
  item->getLevels(level, progress, cost, maxLevel);
  return level;
}

// The empire's messages of `category`, only those whose text contains
// `part` when one is given.
size_t messagesWith(const empire* emp, const wchar_t* category, const wchar_t* part = nullptr) {
  size_t count = 0;
  for (const EmpireMessage& message : emp->messages)
    if (message.category != nullptr && *message.category == category &&
        (part == nullptr || message.text.find(part) >= 0))
      ++count;
  return count;
}

// The empire's research as a load must keep it: rate, target (by its
// technology: the items are made anew) and the council's place in its
// rotation.
struct ResearchState {
  double rate = 0;
  const research::IWebItemDesc* target = nullptr;
  int link = -1;
  unsigned turns = 0;
};

ResearchState researchOf(const empire* emp) {
  ResearchState state;
  state.rate = emp->researchWeb->getResearchRate();
  const research::IWebItem* item = emp->researchWeb->getActiveTech(state.link);
  state.target = item != nullptr ? item->getDescriptor() : nullptr;
  state.turns = councilCount(emp, "turns");
  return state;
}

class ShippedAITest : public ShippedSessionTest {
 protected:
  void SetUp() override {
    singleThreaded = true;
    ShippedSessionTest::SetUp();
    setGameSetting(L"SYSTEM_COUNT", 12.0f);
    setGameSetting(L"AI_COUNT", static_cast<float>(kAIEmpires));
  }

  // A new game on the default map; the log.
  static std::string newGame() {
    LogCapture log;
    setupNewGame(sessionDataFiles.mapScriptPath);
    return log.take();
  }

  // `seconds` of game time, frame by frame as the session's frame loop
  // steps it without workers: the galaxy, then every empire; between
  // frames the local player's empire is active.
  static void play(double seconds) {
    for (double played = 0; played < seconds; played += kStep) {
      gameTime = gameTime.load() + kStep;
      tickSessionGalaxy(static_cast<float>(kStep));
      for (empire* emp : empireList)
        emp->tick(static_cast<float>(kStep));
      activeEmpire = pendingPlayerEmpire;
    }
  }

  // Saves the game, frees it as a session's end does and loads it back;
  // the log of the load.
  static std::string saveAndLoad() {
    EXPECT_TRUE(saveGame("council", 0));
    clearPostObjectTreeSteps();
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    clearObjectRegistry();
    LogCapture log;
    EXPECT_TRUE(loadSavedGame(savedGamePath("council")));
    return log.take();
  }
};

TEST_F(ShippedAITest, EveryAIEmpireOfANewGameHasItsDesignsAndACouncil) {
  const std::string text = newGame();
  EXPECT_FALSE(contains(text, "Script Exception")) << text;
  EXPECT_FALSE(contains(text, "Empire AI:")) << text;
  EXPECT_FALSE(contains(text, "No matching factory function")) << text;
  const std::vector<empire*> ais = aiEmpires();
  ASSERT_EQ(ais.size(), static_cast<size_t>(kAIEmpires));
  for (empire* emp : ais) {
    SCOPED_TRACE(int(emp->ID));
    EXPECT_EQ(aiTypeName(emp), "Council");
    EXPECT_GE(emp->aiTickFunction, 0);
    EXPECT_GE(emp->aiMessageFunction, 0);
    std::set<std::string> designs;
    {
      empire::AreaGuard guard;
      emp->lockArea(guard, EA_HullLayouts, false);
      for (irr::u32 i = 0; i < emp->hulls.size(); ++i)
        designs.insert(stringc(emp->hulls[i].name).c_str());
    }
    EXPECT_EQ(designs, (std::set<std::string>{"Colony Ship", "Freighter", "Frigate", "Outpost", "Scout"}));
  }
  // Nothing else runs a council.
  for (empire* emp : empireList) {
    if (emp->isReserved() || !emp->isValid()) {
      EXPECT_EQ(emp->aiObject, nullptr) << int(emp->ID);
    }
  }
}

// Each message reaches the council in the frame it is queued (its delivery
// job runs first in the step): a peace offer is accepted, a declaration of
// war noted without an answer, anything else refused.
TEST_F(ShippedAITest, TheCouncilAnswersADiplomaticMessageWithinOneFrame) {
  newGame();
  const std::vector<empire*> ais = aiEmpires();
  ASSERT_EQ(ais.size(), static_cast<size_t>(kAIEmpires));
  empire* council = ais[0];
  empire* rival = ais[1];
  const struct {
    const char* name;
    DiploTopic topic;
    bool enemiesAfter;
    size_t diplomacyMessages;
    unsigned answered;
  } cases[] = {
      {"peace", DT_Peace, false, 1, 1},
      {"war", DT_War, true, 0, 0},
      {"greetings", DT_Greetings, true, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    council->getRelation(rival)->enemy = true;
    rival->getRelation(council)->enemy = true;
    const size_t before = messagesWith(council, L"diplomacy");
    const unsigned answered = councilCount(council, "answered");
    council->queueDiplomacyMessage(new DiploMsg(c.topic, rival));
    play(kStep);
    EXPECT_TRUE(council->diplomacyMessages.empty());
    EXPECT_EQ(council->isEnemy(rival), c.enemiesAfter);
    EXPECT_EQ(rival->isEnemy(council), c.enemiesAfter);
    EXPECT_EQ(messagesWith(council, L"diplomacy") - before, c.diplomacyMessages);
    EXPECT_EQ(councilCount(council, "answered") - answered, c.answered);
  }
}

// With the rate the council sets, Science's level comes first (40 points)
// and Engineering's after the first minute (50 points); a load keeps the
// rate, the target and the count of decisions, and the councils run on from the
// time they had.
TEST_F(ShippedAITest, ResearchFollowsTheRotationAndTheCouncilsLiveThroughALoad) {
  newGame();
  play(150.0);
  std::map<int, double> running;
  std::map<int, ResearchState> research;
  std::map<int, unsigned> answered;
  for (empire* emp : aiEmpires()) {
    SCOPED_TRACE(int(emp->ID));
    EXPECT_EQ(emp->researchWeb->getResearchRate(), 1.0);
    EXPECT_GE(techLevel(emp, L"Science"), 2.0f);
    EXPECT_GE(techLevel(emp, L"Engineering"), 2.0f);
    EXPECT_GE(messagesWith(emp, L"research", L"#c:9f9#Science#c#"), 1u);
    EXPECT_GE(messagesWith(emp, L"research", L"#c:9f9#Engineering#c#"), 1u);
    EXPECT_EQ(councilCount(emp, "turns"), 15u);  // every 10 s from the first frame
    EXPECT_EQ(runningTime(emp), 150.0);
    running[emp->ID] = runningTime(emp);
    research[emp->ID] = researchOf(emp);
    answered[emp->ID] = councilCount(emp, "answered");
  }
  ASSERT_EQ(running.size(), static_cast<size_t>(kAIEmpires));
  // A running time that is not a whole second is kept too.
  *councilProperty<double>(aiEmpires()[0], "running") = 150.1;
  running[aiEmpires()[0]->ID] = 150.1;

  const std::string text = saveAndLoad();
  EXPECT_FALSE(contains(text, "Error")) << text;
  EXPECT_FALSE(contains(text, "Script Exception")) << text;
  EXPECT_FALSE(contains(text, "No matching factory function")) << text;
  ASSERT_EQ(aiEmpires().size(), static_cast<size_t>(kAIEmpires));
  for (empire* emp : aiEmpires()) {
    SCOPED_TRACE(int(emp->ID));
    ASSERT_EQ(aiTypeName(emp), "Council");
    EXPECT_GE(runningTime(emp), running[emp->ID]);
    EXPECT_LT(runningTime(emp), running[emp->ID] + 1e-5);
    EXPECT_EQ(councilCount(emp, "answered"), answered[emp->ID]);
    const ResearchState loaded = researchOf(emp);
    EXPECT_EQ(loaded.rate, 1.0);
    EXPECT_EQ(loaded.turns, research[emp->ID].turns);
    EXPECT_NE(loaded.target, nullptr);
    EXPECT_EQ(loaded.target, research[emp->ID].target);
    EXPECT_EQ(loaded.link, research[emp->ID].link);
  }

  // On it goes: the time grows, and the decisions keep their 10 s beat.
  play(10.0);
  for (empire* emp : aiEmpires()) {
    SCOPED_TRACE(int(emp->ID));
    EXPECT_GE(runningTime(emp), running[emp->ID] + 10.0);
    EXPECT_EQ(emp->researchWeb->getResearchRate(), 1.0);
    EXPECT_EQ(councilCount(emp, "turns"), 16u);
  }
  play(30.0);
  for (empire* emp : aiEmpires())
    EXPECT_EQ(councilCount(emp, "turns"), 19u) << int(emp->ID);
}

// A player takes an AI empire over: its council no longer runs, and its
// messages wait for the player.
TEST_F(ShippedAITest, AnEmpireAPlayerTookOverIsLeftToThePlayer) {
  newGame();
  std::vector<empire*> ais = aiEmpires();
  ASSERT_EQ(ais.size(), static_cast<size_t>(kAIEmpires));
  play(1.0);
  empire* taken = ais[0];
  empire* rival = ais[1];
  taken->playerControlled = true;
  const double running = runningTime(taken);
  const double rivalRunning = runningTime(rival);
  taken->getRelation(rival)->enemy = true;
  rival->getRelation(taken)->enemy = true;
  taken->queueDiplomacyMessage(new DiploMsg(DT_Peace, rival));
  play(5.0);
  EXPECT_EQ(runningTime(taken), running);
  EXPECT_EQ(runningTime(rival), rivalRunning + 5.0);
  ASSERT_EQ(taken->diplomacyMessages.size(), 1u);
  EXPECT_EQ(taken->diplomacyMessages.front()->response, static_cast<uint32_t>(DR_None));
  EXPECT_FALSE(taken->diplomacyMessages.front()->finished);
  EXPECT_TRUE(taken->isEnemy(rival));
  EXPECT_TRUE(rival->isEnemy(taken));
  EXPECT_EQ(messagesWith(taken, L"diplomacy"), 0u);
}

}  // namespace

}  // namespace shipped_ai_test
