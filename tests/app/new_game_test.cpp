// A new game: the empires, the galaxy the map script makes, one homeworld per
// empire and the player's welcome; maps that fail; and the same galaxy from
// the same seeds.
//
// NewGameTest sets up what a session has ready when it prepares its galaxy
// (data, locale, scripts, planet types) and runs setupNewGame alone.
// NewGameSessionTest runs whole sessions, single-threaded, and looks at the
// new game from the session's own thread through a console command.
#include "app/new_game.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/session_state.h"
#include "app/data_folders.h"
#include "app/frame_loop.h"
#include "app/game_session.h"
#include "app/script_setup.h"
#include "core/data_file.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "core/random.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "design/effects/effects.h"
#include "design/effects/resources.h"
#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/object_registry.h"
#include "scriptapi/object_natives.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"
#include "session_data.h"

namespace new_game_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

constexpr char kMapBoxText[] =
    "The map script failed to create any systems.\nPlease quit to the main menu and use a different map.\n";

stringc testMap(const char* name) { return stringc(CORVANE_SOURCE_DIR "/tests/app/maps/") + name; }

void removeGameSetting(const wchar_t* name) {
  const irr::s32 index = NamedVar<float>::find(gameSettings, name);
  if (index >= 0)
    gameSettings.erase(static_cast<irr::u32>(index));
}

bool contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// Every object under `root`, depth first.
void collectObjects(generic_object* root, std::vector<generic_object*>& out) {
  for (irr::u32 i = 0; i < root->children.size(); ++i) {
    generic_object* child = root->children[i].get();
    out.push_back(child);
    collectObjects(child, out);
  }
}

std::vector<objHabitation*> galaxyPlanets() {
  std::vector<generic_object*> objects;
  collectObjects(galaxy, objects);
  std::vector<objHabitation*> planets;
  for (generic_object* object : objects)
    if (object->getType() == OT_Planet)
      planets.push_back(static_cast<objHabitation*>(object));
  return planets;
}

int planetsOwnedBy(const empire* emp) {
  const std::vector<objHabitation*> planets = galaxyPlanets();
  return static_cast<int>(
      std::count_if(planets.begin(), planets.end(), [emp](objHabitation* p) { return p->owner == emp; }));
}

std::vector<int> listedIds() {
  std::vector<int> ids;
  for (const empire* emp : empireList)
    ids.push_back(emp->ID);
  return ids;
}

// The spectator, as every new game on this server has it: not listed, no
// visibility, greeted once.
void checkSpectator() {
  const empire* spectator = pendingPlayerEmpire;
  ASSERT_NE(spectator, nullptr);
  EXPECT_EQ(spectator->name, stringw(L"Spectator"));
  EXPECT_EQ(spectator->playerName, stringw(L"You"));
  EXPECT_EQ(spectator->ID, 176);
  EXPECT_FALSE(spectator->isAI());
  EXPECT_TRUE(spectator->needsRegistration);
  EXPECT_EQ(spectator->ownBit, 0u);
  EXPECT_EQ(spectator->visibility.load(), 0u);
  EXPECT_EQ(std::count(empireList.begin(), empireList.end(), spectator), 0);
  ASSERT_EQ(spectator->messages.size(), 1u);
  const EmpireMessage& welcome = spectator->messages.front();
  stringw expected = getLocalizedText(L"#EM_The");
  expected += L"Spectator";
  expected += getLocalizedText(L"#EM_SpaceFlight");
  EXPECT_EQ(welcome.text, expected);
  ASSERT_NE(welcome.category, nullptr);
  EXPECT_EQ(*welcome.category, stringw(L"misc"));
}

// ---------------------------------------------------------------------------
// The new game alone

class NewGameTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    beginSessionData("/", "spiral");
  }

  void TearDown() override {
    endGame();
    // The galaxy took every object it held with it.
    EXPECT_EQ(registeredObjectCount(), 0u);
    endSessionData();
    clearObjectRegistry();
    gameSettings = savedSettings_;
    SessionTest::TearDown();
  }

  // Seeds both generators and sets up a new game on `map`; the log.
  std::string newGame(const stringc& map, uint32_t seed = 11) {
    seedProcessRandom(seed);
    threadRandom().seed(seed);
    LogCapture log;
    setupNewGame(map);
    return log.take();
  }

  // What the session's tear-down does to a game.
  void endGame() {
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
  }

  NamedVar<float>::Registry savedSettings_;
};

TEST_F(NewGameTest, AISettingsAreBoundedAndGivenToEveryAIEmpire) {
  struct Case {
    float count, difficulty, cheats;
    int expectedCount;
    float expectedDifficulty;
  } const cases[] = {
      {40.0f, 9.0f, 1.0f, 27, 5.0f},  // the list of 32 leaves room for 27 after the three special empires
      {-2.0f, 3.0f, 0.0f, 0, 3.0f},
      {1.0f, -1.0f, 0.0f, 1, 0.0f},
      {2.9f, 2.5f, 0.0f, 2, 2.5f},  // the count is truncated
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    setGameSetting(L"AI_COUNT", c.count);
    setGameSetting(L"AI_DIFFICULTY", c.difficulty);
    setGameSetting(L"AI_CHEATS", c.cheats);
    newGame(testMap("tiny.as"));

    ASSERT_EQ(empireList.size(), 3u + static_cast<size_t>(c.expectedCount));
    std::set<uint32_t> colors;
    std::set<stringw> names;
    for (int k = 0; k < c.expectedCount; ++k) {
      empire* emp = empireList[3 + static_cast<size_t>(k)];
      EXPECT_EQ(emp->ID, k + 1);
      EXPECT_EQ(emp->ownBit, 8u << k);
      EXPECT_TRUE(emp->isValid());
      EXPECT_TRUE(emp->isAI());
      EXPECT_FALSE(emp->needsRegistration);
      EXPECT_EQ(emp->getSetting(L"Difficulty"), c.expectedDifficulty);
      EXPECT_EQ(emp->getSetting(L"Cheats"), c.cheats);
      colors.insert(emp->color);
      names.insert(emp->name);
    }
    EXPECT_EQ(colors.size(), static_cast<size_t>(c.expectedCount));
    EXPECT_EQ(names.size(), static_cast<size_t>(c.expectedCount));
    checkSpectator();
    endGame();
  }
}

TEST_F(NewGameTest, FailedMapsLeaveOneEmptySystemAtTheOrigin) {
  struct Case {
    const char* map;
    const char* mapError;  // null: no "Map Error" line
  } const cases[] = {
      {"no_make_map.as", nullptr},
      {"throwing.as", "Map Error: Error executing map script\n"},
      // What it made before it stopped goes before the fallback's system.
      {"fails_late.as", "Map Error: Error executing map script\n"},
      {"no_system.as", nullptr},  // ran to its end, but made nothing
      {"missing.as", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.map);
    const std::string text = newGame(testMap(c.map));

    EXPECT_TRUE(contains(text, kMapBoxText)) << text;
    if (c.mapError != nullptr) {
      EXPECT_TRUE(contains(text, c.mapError)) << text;
    } else {
      EXPECT_FALSE(contains(text, "Map Error")) << text;
    }

    ASSERT_NE(galaxy, nullptr);
    ASSERT_EQ(galaxy->getSystemCount(), 1u);
    EXPECT_EQ(galaxy->getSystem(0)->position, vector3df(0, 0, 0));
    EXPECT_TRUE(galaxyPlanets().empty());
    // Nothing else is left of the map: the galaxy holds that system alone,
    // and only it and its star are registered.
    EXPECT_EQ(galaxy->children.size(), 1u);
    EXPECT_EQ(registeredObjectCount(), 3u) << "the galaxy, its system and the system's star";
    // The set-up stopped there: no homeworlds, no welcome.
    ASSERT_NE(pendingPlayerEmpire, nullptr);
    EXPECT_TRUE(pendingPlayerEmpire->messages.empty());
    endGame();
  }
}

TEST_F(NewGameTest, WithoutSetupHomeworldEveryListedEmpireGetsADefaultPlanet) {
  setGameSetting(L"AI_COUNT", 2.0f);
  const std::string text = newGame(testMap("no_homeworld"));  // ".as" is added
  EXPECT_FALSE(contains(text, "Map Error")) << text;
  EXPECT_FALSE(contains(text, "failed to create any systems")) << text;

  ASSERT_EQ(galaxy->getSystemCount(), 2u);
  const std::vector<objHabitation*> planets = galaxyPlanets();
  EXPECT_EQ(planets.size(), empireList.size());
  for (const empire* emp : empireList) {
    SCOPED_TRACE(emp->ID);
    EXPECT_EQ(planetsOwnedBy(emp), 1);
  }
  for (const objHabitation* planet : planets) {
    EXPECT_EQ(planet->radius, 5.0f);
    EXPECT_TRUE(planet->conditions.empty());
  }
  checkSpectator();
}

TEST_F(NewGameTest, SameSeedsMakeTheSameGalaxy) {
  using Entry = std::tuple<uint32_t, int, std::wstring, int, uint32_t, float, float, float>;
  const auto describe = [] {
    std::vector<generic_object*> objects;
    collectObjects(galaxy, objects);
    std::vector<Entry> entries;
    for (generic_object* object : objects) {
      const generic_object* container = object->container.load();
      entries.emplace_back(
          object->uid, object->getType(), object->name.c_str(), object->owner != nullptr ? object->owner->ID : -1,
          container != nullptr ? container->uid : 0u, object->position.X, object->position.Y, object->position.Z);
    }
    return entries;
  };
  setGameSetting(L"AI_COUNT", 3.0f);
  std::vector<Entry> runs[3];
  const uint32_t seeds[] = {5, 5, 6};
  for (int run = 0; run < 3; ++run) {
    newGame(testMap("tiny.as"), seeds[run]);
    runs[run] = describe();
    endGame();
  }
  // Three systems, their stars, three planets, a comet and three homeworlds.
  EXPECT_EQ(runs[0].size(), 3u + 3u + 3u + 1u + 3u);
  EXPECT_EQ(runs[0], runs[1]);
  EXPECT_NE(runs[0], runs[2]);
}

TEST_F(NewGameTest, TheSpectatorIsTheSessionsToFree) {
  newGame(testMap("tiny.as"));
  empire* spectator = pendingPlayerEmpire;
  ASSERT_NE(spectator, nullptr);
  activeEmpire = spectator;
  destroySessionGalaxy();
  deleteAllEmpires();
  // Not in the list: deleting the empires leaves it to the session.
  EXPECT_EQ(pendingPlayerEmpire, spectator);
  freeNewGamePlayerEmpire();
  EXPECT_EQ(pendingPlayerEmpire, nullptr);
  EXPECT_EQ(activeEmpire, nullptr);
  freeNewGamePlayerEmpire();  // nothing left to free
}

// ---------------------------------------------------------------------------
// Whole sessions

// What a session's command "inspect_new_game" runs, on the session's thread.
std::function<void()> inspection;
std::atomic<bool> inspected{false};

void inspectNewGame(const ConsoleArgs&) {
  if (inspected)
    return;
  if (inspection)
    inspection();
  inspected = true;
}

class NewGameSessionTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    savedThreads_ = uiThreadCount;
    static const bool registered = [] {
      Console::registerCommand(L"inspect_new_game", inspectNewGame, L"");
      return true;
    }();
    ASSERT_TRUE(registered);
    ASSERT_GE(consoleInputPipe(), 0);
    installTestMaps();
  }

  void TearDown() override {
    inspection = nullptr;
    uiThreadCount = savedThreads_;
    gameSettings = savedSettings_;
    SessionTest::TearDown();
  }

  // Runs a single-threaded session on `map` of the mod `mod`, with
  // `inspect` run on the session's thread once its loop runs; the session
  // then ends. The log.
  std::string runInspectedSession(const char* mod, const char* map, std::function<void()> inspect) {
    using Clock = std::chrono::steady_clock;
    singleThreaded = true;
    uiThreadCount = 0;
    inspection = std::move(inspect);
    inspected = false;
    const auto limit = Clock::now() + std::chrono::seconds(60);
    std::atomic<bool> typed{false};
    SessionEnder ender([&] {
      if (!typed.exchange(true))
        typeConsoleLine("inspect_new_game\n");
      return inspected.load() || Clock::now() > limit;
    });
    LogCapture log;
    currentModName = mod;
    EXPECT_EQ(runGameSession(map), 0);
    EXPECT_TRUE(inspected.load()) << "the session's loop never ran the inspection";
    return log.take();
  }

  NamedVar<float>::Registry savedSettings_;
  uint32_t savedThreads_ = 0;
};

// The default game on the bundled data: the spiral map, three AI empires.
void checkDefaultGame() {
  // The set-up is over: the statistics natives lock objects again.
  EXPECT_FALSE(noObjectLocking.load());
  ASSERT_NE(galaxy, nullptr);
  ASSERT_EQ(galaxy->getSystemCount(), 150u);
  for (unsigned i = 0; i < galaxy->getSystemCount(); ++i) {
    const solarSystem* system = galaxy->getSystem(i);
    bool centralStar = false;
    for (irr::u32 k = 0; k < system->children.size(); ++k) {
      const generic_object* child = system->children[k].get();
      centralStar = centralStar || (child->getType() == OT_Star && child->position == vector3df(0, 0, 0));
    }
    EXPECT_TRUE(centralStar) << "system " << i;
  }

  EXPECT_EQ(listedIds(), (std::vector<int>{255, 254, 253, 1, 2, 3}));
  std::vector<stringw> nameLines;
  ASSERT_TRUE(readTextDataFile("Game Data/EmpireNames.txt", nameLines));
  const std::set<stringw> knownNames(nameLines.begin(), nameLines.end());
  std::set<uint32_t> bits;
  std::set<stringw> names;
  std::set<uint32_t> colors;
  std::vector<heldPointer<generic_object>> homeworlds;
  for (empire* emp : empireList) {
    SCOPED_TRACE(emp->ID);
    if (emp->isReserved()) {
      if (emp->ID != kSpaceEmpireID) {
        EXPECT_EQ(planetsOwnedBy(emp), 0);
      }
      continue;
    }
    EXPECT_TRUE(emp->isValid());
    EXPECT_TRUE(emp->isAI());
    bits.insert(emp->ownBit);
    names.insert(emp->name);
    colors.insert(emp->color);
    EXPECT_EQ(knownNames.count(emp->name), 1u) << emp->name.c_str();
    EXPECT_EQ(emp->getSetting(L"Difficulty"), 3.0f);
    EXPECT_EQ(emp->getSetting(L"Cheats"), 0.0f);
    EXPECT_EQ(planetsOwnedBy(emp), 1);
    for (objHabitation* planet : galaxyPlanets())
      if (planet->owner == emp)
        homeworlds.emplace_back(planet);
  }
  EXPECT_EQ(bits, (std::set<uint32_t>{8, 16, 32}));
  EXPECT_EQ(names.size(), 3u);
  EXPECT_EQ(colors.size(), 3u);
  // Every other planet is the space empire's.
  const empire* space = getEmpireByID(kSpaceEmpireID);
  for (const objHabitation* planet : galaxyPlanets())
    EXPECT_TRUE(planet->owner == space || !planet->owner->isReserved()) << planet->name.c_str();
  checkSpectator();

  // Thirty game seconds on: every homeworld is still its empire's, and
  // peopled.
  ASSERT_EQ(homeworlds.size(), 3u);
  std::vector<const empire*> owners;
  for (const auto& home : homeworlds)
    owners.push_back(home->owner);
  constexpr double kStep = 1.0 / 16.0;
  for (int step = 0; step < 30 * 16; ++step) {
    gameTime = gameTime.load() + kStep;
    tickSessionGalaxy(1.0f);
  }
  for (size_t i = 0; i < homeworlds.size(); ++i) {
    auto* home = static_cast<objHabitation*>(homeworlds[i].get());
    EXPECT_TRUE(home->isValid());
    EXPECT_EQ(home->owner, owners[i]);
    EXPECT_GE(home->getPopulation(nullptr), 1.0f);
  }
}

TEST_F(NewGameSessionTest, TheDefaultGameHasItsEmpiresAndTheirHomeworlds) {
  for (const wchar_t* name : {L"SYSTEM_COUNT", L"AI_COUNT", L"AI_DIFFICULTY", L"AI_CHEATS"})
    removeGameSetting(name);
  const std::string text = runInspectedSession("/", "spiral", checkDefaultGame);

  EXPECT_TRUE(contains(text, "Game loop start ")) << text;
  for (const char* unwanted : {"Map Error", "failed to create any systems", "Script Exception", "AS Server"})
    EXPECT_FALSE(contains(text, unwanted)) << unwanted << "\n" << text;
  // The session freed its spectator.
  EXPECT_EQ(pendingPlayerEmpire, nullptr);
  EXPECT_EQ(activeEmpire, nullptr);
}

TEST_F(NewGameSessionTest, ASessionGoesOnAfterItsMapFails) {
  struct Case {
    const char* map;
    unsigned systems;
    bool box;
  } const cases[] = {
      {"no_make_map", 1, true},
      {"throwing", 1, true},
      {"fails_late", 1, true},
      {"no_system", 1, true},
      {"no_homeworld", 2, false},
  };
  setGameSetting(L"AI_COUNT", 1.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.map);
    unsigned systems = 0;
    size_t planets = 0;
    const std::string text = runInspectedSession(kTestMapsMod, c.map, [&] {
      systems = galaxy != nullptr ? galaxy->getSystemCount() : 0;
      planets = galaxy != nullptr ? galaxyPlanets().size() : 0;
    });
    EXPECT_EQ(systems, c.systems);
    // Homeworlds only where the map made systems: one for each listed
    // empire.
    EXPECT_EQ(planets, c.box ? 0u : 4u);
    EXPECT_EQ(contains(text, kMapBoxText), c.box) << text;
    EXPECT_TRUE(contains(text, "Game loop start ")) << text;
    EXPECT_FALSE(contains(text, "objects have not been deleted")) << text;
    EXPECT_EQ(pendingPlayerEmpire, nullptr);
  }
}

}  // namespace

}  // namespace new_game_test
