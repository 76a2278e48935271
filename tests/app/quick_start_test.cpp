// The quick start: the profile picked from quickstart.xml by its id, its map
// and settings, the clock seed, the active mod's file, and files that are
// missing, empty, not XML or broken part-way.
#include "app/quick_start.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/base/startup.h"
#include "core/named_values.h"
#include "core/user_folders.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"

namespace {

namespace fs = std::filesystem;
using irr::core::stringc;
using irr::core::stringw;

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// What a quick start may change, in words: the map, then the game settings
// by name.
std::string state() {
  std::map<std::string, float> settings;
  for (irr::u32 i = 0; i < gameSettings.size(); ++i)
    settings[stringc(gameSettings[i].name).c_str()] = gameSettings[i].value;
  std::string out = std::string("map=") + mapName.c_str();
  for (const auto& setting : settings)
    out += " " + setting.first + "=" + std::to_string(static_cast<double>(setting.second));
  return out;
}

class QuickStartTest : public testing::Test {
 protected:
  void SetUp() override {
    savedSettings_ = gameSettings;
    savedMap_ = mapName;
    savedMod_ = currentModName;
    savedUserData_ = userDataFolder;
    savedQuickStart_ = quickStartName;
    gameSettings.clear();
    setGameSetting(L"SYSTEM_COUNT", 150.0f);
    setGameSetting(L"AI_COUNT", 3.0f);
    mapName = "spiral.as";
    currentModName = "/";
    userDataFolder = home_.c_str();
  }
  void TearDown() override {
    gameSettings = savedSettings_;
    mapName = savedMap_;
    currentModName = savedMod_;
    userDataFolder = savedUserData_;
    quickStartName = savedQuickStart_;
    scanMods();
  }

  const fs::path home_ = scratchDir();
  NamedVar<float>::Registry savedSettings_;
  stringc savedMap_;
  stringc savedMod_;
  stringc savedUserData_;
  stringw savedQuickStart_;
};

TEST(QuickStartIds, MatchWithAsciiLettersFolded) {
  const struct {
    const wchar_t* id;  // null: no "id" attribute
    const wchar_t* wanted;
    bool matches;
  } cases[] = {
      {L"default", L"default", true},  {L"Default", L"default", true}, {L"SMALL", L"small", true},
      {L"small", L"smal", false},      {L"smal", L"small", false},     {nullptr, L"", true},
      {nullptr, L"default", false},    {L"", L"default", false},       {L"\u00C9t\u00E9", L"\u00E9t\u00E9", false},
      {L"\u00E9T\u00E9", L"\u00E9t\u00E9", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(quickStartIdMatches(c.id, c.wanted), c.matches)
        << stringc(c.id != nullptr ? c.id : L"(none)").c_str() << " / " << stringc(c.wanted).c_str();
}

// Each file against the profile id "default": what it leaves, and whether
// it says something is wrong.
TEST_F(QuickStartTest, TheMatchingProfileSetsTheMapAndTheSettings) {
  const std::string untouched = "map=spiral.as AI_COUNT=3.000000 SYSTEM_COUNT=150.000000";
  const struct {
    const char* name;
    std::string file;
    std::string after;
    bool applied;
    const char* error;  // in an error line, or null for none
  } cases[] = {
      {"empty file", "", untouched, false, nullptr},
      {"not XML", "Corvane galaxy \x01\x02\xff", untouched, false, nullptr},
      {"markup cut off", "<quickstart><profile id=\"default\" <map", untouched, false, "not well-formed"},
      {"no matching profile", "<profile id=\"small\"><settings><AI_COUNT val=\"9\"/></settings></profile>", untouched,
       false, nullptr},
      {"the ring of a mod",
       "<quickstart><profile id=\"Default\"><map file=\"ring\"/>"
       "<settings><SYSTEM_COUNT val=\"40\"/><SEED val=\"7\"/></settings></profile></quickstart>",
       "map=ring AI_COUNT=3.000000 SEED=7.000000 SYSTEM_COUNT=40.000000", true, nullptr},
      {"a map inside the settings is a setting",
       "<profile id=\"default\"><settings><map file=\"x\" val=\"2\"/></settings></profile>",
       "map=spiral.as AI_COUNT=3.000000 SYSTEM_COUNT=150.000000 map=2.000000", true, nullptr},
      {"only the first match, up to its end",
       "<profile id=\"default\"><settings><AI_COUNT val=\"5\"/></settings></profile><AI_COUNT val=\"6\"/>"
       "<profile id=\"default\"><map file=\"late\"/></profile>",
       "map=spiral.as AI_COUNT=5.000000 SYSTEM_COUNT=150.000000", true, nullptr},
      {"names are case-sensitive",
       "<Profile id=\"default\"><map file=\"a\"/></Profile>"
       "<profile id=\"default\"><Settings><AI_COUNT val=\"5\"/></Settings><Map file=\"b\"/></profile>",
       untouched, true, nullptr},
      {"an absent val is 0, blanks around a value are allowed",
       "<profile id=\"default\"><settings><AI_COUNT/><SEED val=\" 12.5 \"/></settings></profile>",
       "map=spiral.as AI_COUNT=0.000000 SEED=12.500000 SYSTEM_COUNT=150.000000", true, nullptr},
      {"a value that is no number is refused alone",
       "<profile id=\"default\"><settings><AI_COUNT val=\"four\"/><SYSTEM_COUNT val=\"1e40\"/>"
       "<SEED val=\"nan\"/><X val=\"3\"/></settings></profile>",
       "map=spiral.as AI_COUNT=3.000000 SYSTEM_COUNT=150.000000 X=3.000000", true, "has no number value"},
      {"a map without a file is refused alone",
       "<profile id=\"default\"><map/><settings><AI_COUNT val=\"4\"/></settings></profile>",
       "map=spiral.as AI_COUNT=4.000000 SYSTEM_COUNT=150.000000", true, "the map names no file"},
      {"a profile broken part-way changes nothing",
       "<profile id=\"default\"><map file=\"ring\"/><settings><AI_COUNT val=\"4\"/><SEED val=\"1",
       untouched, false, "not well-formed"},
      {"an empty profile element", "<profile id=\"default\"/><settings><AI_COUNT val=\"4\"/></settings>", untouched,
       true, nullptr},
      {"the settings end with their block",
       "<profile id=\"default\"><settings><AI_COUNT val=\"4\"/></settings><SEED val=\"3\"/></profile>",
       "map=spiral.as AI_COUNT=4.000000 SYSTEM_COUNT=150.000000", true, nullptr},
  };
  const fs::path path = home_ / "quickstart.xml";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    gameSettings.clear();
    setGameSetting(L"SYSTEM_COUNT", 150.0f);
    setGameSetting(L"AI_COUNT", 3.0f);
    mapName = "spiral.as";
    writeText(path, c.file);
    LogCapture log;
    EXPECT_EQ(applyQuickStartFile(path.c_str(), L"default"), c.applied);
    EXPECT_EQ(state(), c.after);
    const std::string lines = log.take();
    if (c.error == nullptr)
      EXPECT_EQ(lines, "");
    else
      EXPECT_NE(lines.find(c.error), std::string::npos) << lines;
  }
  // A missing file, or one that is no regular file, changes nothing either.
  const std::string before = state();
  fs::remove(path);
  EXPECT_FALSE(applyQuickStartFile(path.c_str(), L"default"));
  fs::create_directories(path);
  EXPECT_FALSE(applyQuickStartFile(path.c_str(), L"default"));
  EXPECT_EQ(state(), before);
}

// Every pass seeds from the clock; the active mod's file is the one read, and
// a profile's own "SEED" wins over the clock.
TEST_F(QuickStartTest, SeedsFromTheClockAndReadsTheActiveModsFile) {
  const fs::path empty = home_ / "empty";
  fs::create_directories(empty);
  WorkingFolder folder(empty);  // no base data: nothing but the seed changes
  quickStartName = L"default";
  applyQuickStart(123456);
  EXPECT_EQ(state(), "map=spiral.as AI_COUNT=3.000000 SEED=123456.000000 SYSTEM_COUNT=150.000000");
  applyQuickStart(4000);
  EXPECT_EQ(getGameSetting(L"SEED", 0.0f), 4000.0f);

  const fs::path mod = home_ / "Corvane" / "Mods" / "ringmod";
  writeText(mod / "modinfo.txt", "Name: Ring\n");
  writeText(mod / "Game Data" / "quickstart.xml",
            "<profile id=\"Default\"><map file=\"ring\"/><settings><SYSTEM_COUNT val=\"40\"/><SEED val=\"7\"/>"
            "</settings></profile><profile id=\"tiny\"><map file=\"tiny\"/></profile>");
  currentModName = "Ring";
  applyQuickStart(99);
  EXPECT_EQ(state(), "map=ring AI_COUNT=3.000000 SEED=7.000000 SYSTEM_COUNT=40.000000");
  quickStartName = L"TINY";
  applyQuickStart(99);
  EXPECT_EQ(mapName, "tiny");
  EXPECT_EQ(getGameSetting(L"SEED", 0.0f), 99.0f);
}

// The shipped file: "default" is the plain start, and "small" and "large"
// are there to pick; none of them overrides the command line's map.
TEST_F(QuickStartTest, ShippedProfiles) {
  WorkingFolder folder(CORVANE_SOURCE_DIR "/data");
  const struct {
    const wchar_t* id;
    std::string after;
  } cases[] = {
      {L"default", "map=tiny.as AI_COUNT=3.000000 SEED=1.000000 SYSTEM_COUNT=150.000000"},
      {L"small", "map=tiny.as AI_COUNT=2.000000 SEED=1.000000 SYSTEM_COUNT=40.000000"},
      {L"Large", "map=tiny.as AI_COUNT=8.000000 SEED=1.000000 SYSTEM_COUNT=600.000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.id).c_str());
    gameSettings.clear();
    setGameSetting(L"SYSTEM_COUNT", 150.0f);
    setGameSetting(L"AI_COUNT", 3.0f);
    mapName = "tiny.as";
    quickStartName = c.id;
    LogCapture log;
    applyQuickStart(1);
    EXPECT_EQ(state(), c.after);
    EXPECT_EQ(log.take(), "");
  }
}

}  // namespace
