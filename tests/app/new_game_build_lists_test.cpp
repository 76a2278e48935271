// The build lists a new game gives its empires from the shipped
// "Game Data/build_queues.xml": every valid empire holds its own copy of each
// list, a missing file is reported and the game goes on, and a self-governing
// homeworld builds from its owner's "default" list.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/new_game.h"
#include "core/named_values.h"
#include "design/build/build_rules.h"
#include "empire/empire.h"
#include "session_data.h"
#include "session_fixture.h"
#include "shipped_session.h"
#include "support/log_capture.h"
#include "support/working_folder.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"

namespace new_game_build_lists_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringw;

constexpr char kBuildQueuesFile[] = "Game Data/build_queues.xml";
// The lists the shipped file defines.
const std::set<stringw> kShippedLists = {L"default", L"industry", L"mining"};

constexpr int kAIEmpires = 3;
constexpr unsigned kSystems = 12;

size_t countOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++count;
  return count;
}

std::set<stringw> listNames(empire* emp) {
  std::set<stringw> names;
  for (unsigned i = 0; i < emp->getBuildListCount(); ++i)
    names.insert(emp->getBuildListName(i));
  return names;
}

// Every planet under `root`, depth first.
void collectPlanets(generic_object* root, std::vector<objHabitation*>& out) {
  for (irr::u32 i = 0; i < root->children.size(); ++i) {
    generic_object* child = root->children[i].get();
    if (child->getType() == OT_Planet)
      out.push_back(static_cast<objHabitation*>(child));
    collectPlanets(child, out);
  }
}

objHabitation* homeworldOf(const empire* emp) {
  std::vector<objHabitation*> planets;
  collectPlanets(galaxy, planets);
  for (objHabitation* planet : planets)
    if (planet->owner == emp)
      return planet;
  return nullptr;
}

// The bundled data set up as a session does, optionally from a copy of the
// data folder (links to its files) that lacks the build-queue file.
class NewGameBuildListsTest : public SessionTest {
 protected:
  void TearDown() override {
    if (begun_) {
      endShippedSession();
      gameSettings = savedSettings_;
    }
    mirror_.reset();
    SessionTest::TearDown();
  }

  void beginData(bool withBuildQueues) {
    if (!withBuildQueues)
      mirror_ = std::make_unique<WorkingFolder>(mirrorWithout(kBuildQueuesFile));
    savedSettings_ = gameSettings;
    beginSessionData("/", "spiral");
    begun_ = true;
    setGameSetting(L"SYSTEM_COUNT", static_cast<float>(kSystems));
    setGameSetting(L"AI_COUNT", static_cast<float>(kAIEmpires));
  }

  // A new game on the default map; the log.
  static std::string newGame() {
    LogCapture log;
    setupNewGame(sessionDataFiles.mapScriptPath);
    return log.take();
  }

  // A folder in the user folder that links every entry of the data
  // folder except `missing` (a path below it).
  static fs::path mirrorWithout(const fs::path& missing) {
    const fs::path source = fs::current_path();
    const fs::path mirror = fs::path(userDataFolder.c_str()) / "data";
    const auto link = [&](const fs::path& from, const fs::path& to) {
      for (const auto& entry : fs::directory_iterator(from)) {
        const fs::path relative = fs::relative(entry.path(), source);
        if (relative == missing)
          continue;
        if (entry.is_directory() && missing.string().rfind(relative.string() + "/", 0) == 0) {
          fs::create_directories(to / entry.path().filename());
          continue;  // the folder holding `missing` is linked entry by entry below
        }
        fs::create_symlink(entry.path(), to / entry.path().filename());
      }
    };
    fs::create_directories(mirror);
    link(source, mirror);
    link(source / missing.parent_path(), mirror / missing.parent_path());
    EXPECT_FALSE(fs::exists(mirror / missing));
    return mirror;
  }

 private:
  std::unique_ptr<WorkingFolder> mirror_;
  NamedVar<float>::Registry savedSettings_;
  bool begun_ = false;
};

TEST_F(NewGameBuildListsTest, EveryValidEmpireHoldsItsOwnCopyOfTheShippedLists) {
  beginData(true);
  const std::string text = newGame();
  EXPECT_EQ(text.find("build queue file"), std::string::npos) << text;

  std::set<build_priorities*> seen;
  int holders = 0;
  for (empire* emp : empireList) {
    SCOPED_TRACE(emp->ID);
    if (!emp->isValid()) {
      EXPECT_EQ(emp->ID, kSpaceEmpireID);
      EXPECT_EQ(emp->getBuildListCount(), 0u);
      continue;
    }
    ++holders;
    EXPECT_EQ(listNames(emp), kShippedLists);
    for (const stringw& name : kShippedLists) {
      auto* list = static_cast<build_list*>(emp->findBuildList(name));
      ASSERT_NE(list, nullptr);
      EXPECT_GT(list->rules.size(), 0u);
      EXPECT_TRUE(seen.insert(list).second) << "each empire has a copy of its own";
    }
  }
  // The pirates, the remnants and the AI empires.
  EXPECT_EQ(holders, 2 + kAIEmpires);
  ASSERT_NE(getEmpireByID(254), nullptr);
  ASSERT_NE(getEmpireByID(253), nullptr);
  EXPECT_EQ(listNames(getEmpireByID(254)), kShippedLists);
  EXPECT_EQ(listNames(getEmpireByID(253)), kShippedLists);
  // The spectator is in no list and takes none.
  ASSERT_NE(pendingPlayerEmpire, nullptr);
  EXPECT_EQ(pendingPlayerEmpire->getBuildListCount(), 0u);
}

TEST_F(NewGameBuildListsTest, WithoutTheFileTheErrorNamesItOnceAndTheGameStarts) {
  beginData(false);
  const std::string text = newGame();

  EXPECT_EQ(countOf(text, kBuildQueuesFile), 1u) << text;
  for (empire* emp : empireList) {
    SCOPED_TRACE(emp->ID);
    EXPECT_EQ(emp->getBuildListCount(), 0u);
  }
  // The rest of the set-up ran: the map, the homeworlds and the welcome.
  ASSERT_NE(galaxy, nullptr);
  EXPECT_EQ(galaxy->getSystemCount(), kSystems);
  EXPECT_EQ(text.find("Map Error"), std::string::npos) << text;
  for (EmpireID id = 1; id <= kAIEmpires; ++id)
    EXPECT_NE(homeworldOf(getEmpireByID(id)), nullptr) << int(id);
  ASSERT_NE(pendingPlayerEmpire, nullptr);
  EXPECT_EQ(pendingPlayerEmpire->messages.size(), 1u);
}

// Single-threaded, as the frame loop runs the galaxy without workers.
TEST_F(NewGameBuildListsTest, AGovernedHomeworldBuildsFromTheDefaultList) {
  singleThreaded = true;
  beginData(true);
  newGame();
  objHabitation* home = homeworldOf(getEmpireByID(1));
  ASSERT_NE(home, nullptr);
  ASSERT_TRUE(home->owner->isAI());
  // The map gives every homeworld its capital and nothing else.
  ASSERT_EQ(home->structures.size(), 1u);
  home->setUseGovernor(true);  // no governor type: the "default" list
  home->setStructureSpace(4.0f);
  // What the shipped structures cost (Metals, Electronics), many times over.
  for (const wchar_t* resource : {L"Metals", L"Electronics"}) {
    State* state = getOrAddObjectState(home, resource);
    state->value.val = 1.0e4f;
    state->value.max = 1.0e4f;
  }

  constexpr double kStep = 1.0 / 16.0;
  for (int step = 0; step < 120 * 16; ++step) {
    gameTime = gameTime.load() + kStep;
    tickSessionGalaxy(static_cast<float>(kStep));
  }
  ASSERT_TRUE(home->isValid());
  EXPECT_GE(home->structures.size(), 2u);
  EXPECT_LE(home->structures.size(), 4u);
}

}  // namespace

}  // namespace new_game_build_lists_test
