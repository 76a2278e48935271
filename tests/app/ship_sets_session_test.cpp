// Ship sets in game sessions: the "Game Data/ShipSets/" handler lists the
// set files (a mod's file in place of the base one of the same name), each
// session loads the listed sets and drops them again at its end, and the
// shipped "standard" set gives every design of empire_ai.as its model.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/data_folders.h"
#include "app/game_session.h"
#include "app/new_game.h"
#include "core/named_values.h"
#include "core/user_folders.h"
#include "design/hull_list.h"
#include "design/shipsets/ship_set.h"
#include "empire/empire.h"
#include "session_fixture.h"
#include "shipped_session.h"
#include "support/log_capture.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/objects/galaxy.h"
#include "universe/ships/ship.h"

namespace ship_sets_session_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringc;
using irr::core::stringw;

constexpr char kShippedSet[] = "Game Data/ShipSets/standard.txt";

std::vector<std::string> listedShipSets() {
  std::vector<std::string> out;
  for (const stringc& path : sessionDataFiles.shipSets)
    out.emplace_back(path.c_str());
  return out;
}

// The set loader reads the set's own shaders and says so; every other line
// that names the sets is a complaint.
constexpr char kSetShadersRead[] = "Loading shader descriptor file: Game Data/ShipSets/standard/shaders.txt\n";

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
    ++count;
  return count;
}

std::string withoutSetShaderReads(std::string text) {
  for (std::size_t at = text.find(kSetShadersRead); at != std::string::npos; at = text.find(kSetShadersRead, at))
    text.erase(at, sizeof(kSetShadersRead) - 1);
  return text;
}

using ShipSetFolder = SessionTest;

TEST_F(ShipSetFolder, ListsTheTxtFilesDirectlyInTheFolderAModsFileInPlaceOfTheBaseOne) {
  // The base game alone: its one set file; the set's descriptor folder
  // "standard/" beside it is not listed.
  scanMods();
  currentModName = "/";
  mountDataFolders(false, "");
  applyCurrentMod();
  EXPECT_EQ(listedShipSets(), std::vector<std::string>{kShippedSet});
  clearModTables();

  // A mod with its own "standard.txt", two more sets whose extensions and
  // names differ in case, a file that is not a set and a folder whose name
  // ends in ".txt".
  const fs::path mod = fs::path(userDataFolder.c_str()) / "Corvane/Mods/sets";
  const fs::path sets = mod / "Game Data/ShipSets";
  fs::create_directories(sets / "folder.txt");
  fs::create_directories(sets / "Zeta");
  for (const char* name : {"standard.txt", "Zeta.TXT", "beta.txt", "notes.md", "standard.txt.bak"})
    std::ofstream(sets / name) << "all = hull\n";
  std::ofstream(mod / "modinfo.txt") << "Name: Ship Sets\n";

  scanMods();
  currentModName = "Ship Sets";
  mountDataFolders(false, "");
  applyCurrentMod();
  // In the order of the lower-cased names: "beta.txt", "standard.txt",
  // "zeta.txt".
  const std::string modSets = stringc(userDataFolder + "/Corvane/Mods/sets/Game Data/ShipSets/").c_str();
  EXPECT_EQ(listedShipSets(),
            (std::vector<std::string>{modSets + "beta.txt", modSets + "standard.txt", modSets + "Zeta.TXT"}));
  clearModTables();
  currentModName = "/";
}

class ShipSetShipped : public ShippedSessionTest {
 protected:
  void TearDown() override {
    clearShipSets();
    ShippedSessionTest::TearDown();
  }

  // Loads the listed sets as a session does.
  static void loadListedSets() {
    for (const stringc& path : sessionDataFiles.shipSets)
      loadShipSets(path);
    sessionDataFiles.shipSets.clear();
  }

  // The model `set` gives a new ship of `layout`.
  static std::string modelOfShip(IShipSet* set, hull_list* layout) {
    Hull_Desc desc;
    desc.set_hull(layout);
    desc.Owner = layout->owner;
    objHulled* ship = createShipObject(desc, galaxy->getSystem(0));
    if (ship == nullptr)
      return "(no ship)";
    return stringc(set->getModel(ship)).c_str();
  }
};

TEST_F(ShipSetShipped, EveryStartingDesignGetsItsModel) {
  setGameSetting(L"SYSTEM_COUNT", 4.0f);
  setGameSetting(L"AI_COUNT", 1.0f);
  LogCapture log;
  loadListedSets();
  setupNewGame(CORVANE_SOURCE_DIR "/data/Maps/spiral.as");
  const std::string text = log.take();
  EXPECT_EQ(text.find("Formula Error"), std::string::npos) << text;
  EXPECT_EQ(countOf(text, kSetShadersRead), 1u) << text;
  EXPECT_EQ(withoutSetShaderReads(text).find("ShipSets"), std::string::npos) << text;

  IShipSet* set = findShipSet(L"standard");
  ASSERT_NE(set, nullptr);
  ASSERT_NE(galaxy, nullptr);
  ASSERT_GT(galaxy->getSystemCount(), 0u);

  empire* ai = nullptr;
  for (empire* emp : empireList)
    if (!emp->isReserved() && emp->isAI())
      ai = emp;
  ASSERT_NE(ai, nullptr);
  // The carrier needs Logistics for its hangar.
  ASSERT_TRUE(raiseLogisticsAndRedesign(ai));

  const std::map<std::string, std::string> expected = {
      {"Scout", "scout"},     {"Colony Ship", "colony_ship"}, {"Freighter", "freighter"},
      {"Frigate", "frigate"}, {"Outpost", "outpost"},         {"Carrier", "carrier"},
  };
  std::map<std::string, std::string> models;
  for (const auto& [name, model] : expected) {
    hull_list* layout = nullptr;
    {
      empire::AreaGuard guard;
      ai->lockArea(guard, EA_HullLayouts, false);
      const irr::s32 index = NamedVar<hull_list*>::findNoSort(ai->hulls, stringw(name.c_str()));
      if (index >= 0)
        layout = ai->hulls[static_cast<irr::u32>(index)].value;
    }
    models[name] = layout != nullptr ? modelOfShip(set, layout) : "(no design)";
  }
  EXPECT_EQ(models, expected);
  // An object without a design counts as a warship.
  EXPECT_EQ(set->getModel(nullptr), stringw(L"frigate"));
}

using ShipSetSessions = SessionTest;

// Two whole sessions, the script set-up on its own thread and then inline:
// each finds the shipped set registered once it runs, and leaves none behind
// (the sanitizer build's leak check at exit covers the sets' items).
TEST_F(ShipSetSessions, EachSessionLoadsTheShippedSetAndClearsItAtItsEnd) {
  std::atomic<bool> checked{false};
  std::atomic<bool> found{false};
  std::atomic<bool> shippedModel{false};
  SessionEnder ender([&] {
    if (!checked.exchange(true)) {
      IShipSet* set = findShipSet(L"standard");
      found = set != nullptr;
      shippedModel = set != nullptr && set->getModel(nullptr) == stringw(L"frigate");
    }
    return true;
  });
  LogCapture log;
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    threadedLoad = session == 0;
    currentModName = "/";
    checked = false;
    found = false;
    shippedModel = false;
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(found);
    EXPECT_TRUE(shippedModel);
    EXPECT_TRUE(sessionDataFiles.shipSets.empty());
    EXPECT_EQ(shipSetRegistry().size(), 0u);
  }
  const std::string text = log.take();
  EXPECT_EQ(text.find("Formula Error"), std::string::npos) << text;
  // The set's shaders are read once a session: by the set loader, not
  // again with the graphics start-up's descriptors.
  EXPECT_EQ(countOf(text, kSetShadersRead), 2u) << text;
  EXPECT_EQ(withoutSetShaderReads(text).find("ShipSets"), std::string::npos) << text;
}

// A set's formulas see the formula constants as the script set-up leaves
// them (the game settings merged in), also when that set-up runs on its own
// thread: the sets load only once it is done.
TEST_F(ShipSetSessions, SetsCompileAgainstTheSettledFormulaConstants) {
  const fs::path mod = fs::path(userDataFolder.c_str()) / "Corvane/Mods/probe";
  fs::create_directories(mod / "Game Data/ShipSets");
  std::ofstream(mod / "Game Data/ShipSets/probe.txt") << "if SHIP_SET_PROBE_SETTING > 0 {\n"
                                                         "\tsettled = settled\n"
                                                         "}\n"
                                                         "else = unsettled\n";
  std::ofstream(mod / "modinfo.txt") << "Name: Probe\n";
  const NamedVar<float>::Registry savedSettings = gameSettings;
  setGameSetting(L"SHIP_SET_PROBE_SETTING", 1.0f);

  std::atomic<bool> checked{false};
  std::atomic<bool> settled{false};
  std::atomic<bool> shipped{false};
  SessionEnder ender([&] {
    if (!checked.exchange(true)) {
      IShipSet* probe = findShipSet(L"probe");
      settled = probe != nullptr && probe->getModel(nullptr) == stringw(L"settled");
      shipped = findShipSet(L"standard") != nullptr;  // the base game's, through the mod
    }
    return true;
  });
  threadedLoad = true;
  currentModName = "Probe";
  EXPECT_EQ(runGameSession("spiral.as"), 0);
  currentModName = "/";
  gameSettings = savedSettings;
  EXPECT_TRUE(checked);
  EXPECT_TRUE(settled);
  EXPECT_TRUE(shipped);
  EXPECT_EQ(shipSetRegistry().size(), 0u);
}

}  // namespace

}  // namespace ship_sets_session_test
