#include "app/base/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/ini_file.h"
#include "core/log.h"
#include "support/scratch_dir.h"

namespace config_test {

namespace {

// config.cfg as a first start on a machine with 2 logical CPUs writes it.
const char kFreshConfig[] =
    "[Experimental]\r\n"
    "bDeferredTextures = false\r\nbLargePackets = false\r\nbSmallPackets = false\r\n"
    "bThreadedGraphics = false\r\n\r\n"
    "[General]\r\n"
    "bFreeformCamera = true\r\nbFullGCCyle = false\r\nbServerAutosave = false\r\n"
    "fAutosaveInterval = 5\r\nfSleepLevel = 0.25\r\niRotateSaves = 6\r\n\r\n"
    "[Sound]\r\n"
    "bShuffle = true\r\nbUseShipRumbles = false\r\nfMasterVolume = 1\r\nfMusicVolume = 0.33\r\n"
    "sSoundDriver = Generic Software\r\n\r\n"
    "[irc]\r\n"
    "iPort = 6667\r\nsChannel = #corvane\r\n\r\n"
    "[Multiplayer]\r\n"
    "sNickname = VOZerara\r\n\r\n"
    "[Graphics]\r\n"
    "bAntiAlias = true\r\nbDisplayBackground = true\r\nbDisplayGas = true\r\n"
    "bDisplaySystemPlanes = true\r\nbDisplaySystemRings = true\r\nbFullScreen = false\r\n"
    "bHighQShipEngines = true\r\nbResizeable = true\r\nbShipEngines = true\r\n"
    "bVerticalSync = false\r\ncSystemPlaneColor = 105cb2ff\r\nfDistantIconSize = 1\r\n"
    "fFarLODFactor = 1\r\nfMaxFPS = 75\r\nfNearLODFactor = 1\r\niAmbientBrightness = 72\r\n"
    "iBitDepth = 32\r\niPlanetIcons = 0\r\niShipIcons = 0\r\niStationIcons = 0\r\n"
    "resolution = default\r\nsShaderQuality = Medium\r\nsTextureQuality = Medium\r\n\r\n"
    "[Controls]\r\n"
    "bCentralZoomOut = false\r\nbEdgeScroll = true\r\nfHorizontalSensitivity = 0.25\r\n"
    "fMoveSpeed = 1\r\nfPanSpeed = 1\r\nfVerticalSensitivity = 0.25\r\nfZoomSpeed = 0.8\r\n\r\n"
    "[Threading]\r\n"
    "bSingleThreaded = false\r\nuiThreadCount = 8\r\n\r\n"
    "[Localization]\r\n"
    "sCurLocale = english\r\n\r\n";

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> logged;
void recordLog(const char* text) { logged.push_back(text); }

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logged.clear();
    ASSERT_TRUE(addLogSink(recordLog));
    sMasterServer = kBuiltInMasterServer;
    sServer = "left from before";
  }
  void TearDown() override { removeLogSink(recordLog); }

  // Reads every key from a store holding only the given values.
  void readWith(const std::vector<std::vector<const char*>>& values,
                const ConfigEnvironment& environment = ConfigEnvironment()) {
    store = IniFile();
    for (const auto& v : values)
      store.setValue(v[0], v[1], v[2]);
    readConfigKeys(store, environment);
  }

  IniFile store;
};

// The IRC server has no built-in host: an empty value, which the file cannot
// hold, so it is not written either.
TEST_F(ConfigTest, FirstStartWritesEveryKeyButTheMasterServer) {
  const std::filesystem::path path = scratchDir() / "config.cfg";
  ASSERT_TRUE(loadConfig(path.string(), ConfigEnvironment()));
  EXPECT_EQ(fileText(path), kFreshConfig);
  // No master server or IRC network exists: the built-in hosts are empty.
  EXPECT_EQ(std::string(sMasterServer.c_str()), "");
  EXPECT_EQ(std::string(sServer.c_str()), "");
  EXPECT_EQ(uiThreadCount, 8u);
  EXPECT_FALSE(singleThreaded);
  EXPECT_EQ(screenWidth, 1024);
  EXPECT_EQ(screenHeight, 768);
  EXPECT_EQ(screenPixels, 1024 * 768);
  EXPECT_EQ(cSystemPlaneColor, 0x105CB2FFu);
  EXPECT_TRUE(logged.empty());

  // An empty file is the same as none; a longer temporary file left by a
  // crash leaves nothing of itself in the file written.
  writeText(path, "");
  const std::filesystem::path temporary = path.string() + ".tmp";
  writeText(temporary, std::string(5000, '#'));
  ASSERT_TRUE(loadConfig(path.string(), ConfigEnvironment()));
  EXPECT_EQ(fileText(path), kFreshConfig);
  EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST_F(ConfigTest, ACompleteFileIsNotRewritten) {
  const std::filesystem::path path = scratchDir() / "config.cfg";
  std::string text = std::string("// my own notes\r\n") + kFreshConfig;
  text.replace(text.find("fMaxFPS = 75"), 12, "fMaxFPS = 500");
  text.replace(text.find("[General]\r\n"), 11, "[General]\r\nsMasterServer = lobby.example\r\n");
  text.replace(text.find("[irc]\r\n"), 7, "[irc]\r\nsServer = 127.0.0.1\r\n");
  writeText(path, text);

  ASSERT_TRUE(loadConfig(path.string(), ConfigEnvironment()));
  EXPECT_EQ(fileText(path), text);  // comments and all: never written
  EXPECT_EQ(fMaxFPS, 500.0f);
  EXPECT_EQ(std::string(sMasterServer.c_str()), "lobby.example");
  EXPECT_EQ(std::string(sServer.c_str()), "127.0.0.1");

  // One key missing: the file is written back with it, the user's values kept.
  text.replace(text.find("bEdgeScroll = true\r\n"), 20, "");
  writeText(path, text);
  ASSERT_TRUE(loadConfig(path.string(), ConfigEnvironment()));
  const std::string rewritten = fileText(path);
  EXPECT_NE(rewritten.find("bEdgeScroll = true\r\n"), std::string::npos);
  EXPECT_NE(rewritten.find("fMaxFPS = 500\r\n"), std::string::npos);
  EXPECT_NE(rewritten.find("sMasterServer = lobby.example\r\n"), std::string::npos);
  EXPECT_NE(rewritten.find("sServer = 127.0.0.1\r\n"), std::string::npos);
  EXPECT_EQ(rewritten.find("// my own notes"), std::string::npos);
}

TEST_F(ConfigTest, ValuesAreReadByTheirRulesAndClamped) {
  struct Case {
    const char* section;
    const char* key;
    std::string value;
    std::function<double()> setting;
    double expected;
  };
  const Case cases[] = {
      // true unless "false" ...
      {"Experimental", "bDeferredTextures", "FALSE", [] { return bDeferredTextures; }, 0},
      {"Experimental", "bDeferredTextures", "0", [] { return bDeferredTextures; }, 1},
      {"Experimental", "bDeferredTextures", "no", [] { return bDeferredTextures; }, 1},
      {"General", "bServerAutosave", "", [] { return bServerAutosave; }, 1},
      // ... and true only when "true"
      {"Controls", "bEdgeScroll", "yes", [] { return bEdgeScroll; }, 0},
      {"Controls", "bEdgeScroll", "TRUE", [] { return bEdgeScroll; }, 1},
      {"Controls", "bCentralZoomOut", "1", [] { return bCentralZoomOut; }, 0},
      {"Graphics", "fMaxFPS", "0", [] { return fMaxFPS; }, 1000},
      {"Graphics", "fMaxFPS", "-3", [] { return fMaxFPS; }, 1000},
      {"Graphics", "fMaxFPS", "5", [] { return fMaxFPS; }, 10},
      {"Graphics", "fMaxFPS", "500", [] { return fMaxFPS; }, 500},
      {"Threading", "uiThreadCount", "-3", [] { return uiThreadCount; }, 12},
      {"Threading", "uiThreadCount", "1000", [] { return uiThreadCount; }, 255},
      {"Threading", "uiThreadCount", "3", [] { return uiThreadCount; }, 3},
      {"General", "fSleepLevel", "-1", [] { return fSleepLevel; }, 0},
      {"General", "fSleepLevel", "0.5", [] { return fSleepLevel; }, 0.5},
      {"General", "fAutosaveInterval", "-1", [] { return fAutosaveInterval; }, 0},
      {"General", "fAutosaveInterval", "75.5", [] { return fAutosaveInterval; }, 60},
      {"General", "iRotateSaves", "-2", [] { return iRotateSaves; }, 0},
      {"General", "iRotateSaves", "1,000", [] { return iRotateSaves; }, 60},
      {"General", "iRotateSaves", "12ab", [] { return iRotateSaves; }, 12},
      {"irc", "iPort", "-6668x", [] { return iPort; }, -6668},
      {"Graphics", "iAmbientBrightness", "300", [] { return iAmbientBrightness; }, 44},
      {"Graphics", "iAmbientBrightness", "-5", [] { return iAmbientBrightness; }, 5},
      {"Graphics", "cSystemPlaneColor", "ff0000ff", [] { return cSystemPlaneColor; }, 0xFF0000FF},
      {"Graphics", "cSystemPlaneColor", "FF8000", [] { return cSystemPlaneColor; }, 0xFFFFFFFF},
      {"Graphics", "sShaderQuality", "disabled", [] { return shaderLevel; }, 0},
      {"Graphics", "sShaderQuality", "disabled", [] { return shadersEnabled; }, 0},
      {"Graphics", "sShaderQuality", "VERY high", [] { return shaderLevel; }, 4},
      {"Graphics", "sShaderQuality", "VERY high", [] { return shadersEnabled; }, 1},
      {"Graphics", "sTextureQuality", "very low", [] { return textureLevel; }, 0},
      {"Controls", "fZoomSpeed", "1,5", [] { return fZoomSpeed; }, 15},
      // Long decimals read as their value; what still reads as infinite keeps the default.
      {"Graphics", "fMaxFPS", "10." + std::string(43, '0'), [] { return fMaxFPS; }, 10},
      {"Graphics", "fMaxFPS", "0." + std::string(40, '0') + "1", [] { return fMaxFPS; }, 10},
      {"Graphics", "fMaxFPS", "1" + std::string(45, '0'), [] { return fMaxFPS; }, 75},
      {"Graphics", "fMaxFPS", "-1" + std::string(45, '0'), [] { return fMaxFPS; }, 75},
      {"General", "fSleepLevel", "0." + std::string(60, '5'), [] { return fSleepLevel; }, 5.0 / 9.0},
      {"General", "fSleepLevel", std::string(40, '9') + ".5", [] { return fSleepLevel; }, 0.25},
      {"General", "fAutosaveInterval", std::string(40, '9'), [] { return fAutosaveInterval; }, 5},
      {"Sound", "fMusicVolume", "2" + std::string(39, '0'), [] { return fMusicVolume; }, 0.33},
  };
  for (const Case& c : cases) {
    readWith({{c.section, c.key, c.value.c_str()}});
    EXPECT_FLOAT_EQ(c.setting(), c.expected) << c.key << " = " << c.value;
  }

  // The default is used with a warning naming the key; the file keeps the user's text.
  logged.clear();
  const std::string infinite = "1" + std::string(45, '0');
  readWith({{"Graphics", "fMaxFPS", infinite.c_str()}});
  EXPECT_EQ(fMaxFPS, 75.0f);
  EXPECT_EQ(logged, std::vector<std::string>{
                        "config.cfg: the value of \"fMaxFPS\" is not a finite number; using the default 75\n"});
  EXPECT_EQ(std::string(store.getValue("Graphics", "fMaxFPS", "", false).c_str()), infinite);

  // A quality name outside the list keeps the level, and the file the text.
  readWith({{"Graphics", "sShaderQuality", "Low"}});
  readWith({{"Graphics", "sShaderQuality", "Ultra"}});
  EXPECT_EQ(shaderLevel, 1);
  EXPECT_EQ(std::string(store.getValue("Graphics", "sShaderQuality", "", false).c_str()), "Ultra");
}

TEST_F(ConfigTest, ThreadingFollowsTheMachineAndTheCommandLine) {
  ConfigEnvironment oneCpu;
  oneCpu.logicalCpus = 1;
  readWith({}, oneCpu);
  EXPECT_EQ(std::string(store.getValue("Threading", "uiThreadCount", "", false).c_str()), "4");
  EXPECT_EQ(std::string(store.getValue("Threading", "bSingleThreaded", "", false).c_str()), "true");
  EXPECT_TRUE(singleThreaded);
  EXPECT_EQ(uiThreadCount, 0u);

  readWith({{"Threading", "bSingleThreaded", "True"}, {"Threading", "uiThreadCount", "6"}});
  EXPECT_TRUE(singleThreaded);
  EXPECT_EQ(uiThreadCount, 0u);

  ConfigEnvironment commandLine;
  commandLine.logicalCpus = 4;
  commandLine.singleThreadedGiven = true;
  readWith({{"Threading", "bSingleThreaded", "false"}}, commandLine);
  EXPECT_TRUE(singleThreaded);
  EXPECT_EQ(uiThreadCount, 0u);
  readWith({}, commandLine);
  EXPECT_EQ(std::string(store.getValue("Threading", "bSingleThreaded", "-", false).c_str()), "-");

  ConfigEnvironment many;
  many.logicalCpus = 100;
  readWith({}, many);
  EXPECT_EQ(std::string(store.getValue("Threading", "uiThreadCount", "", false).c_str()), "400");
  EXPECT_EQ(uiThreadCount, 255u);
}

TEST_F(ConfigTest, LocaleDropsItsFileEndingUnlessTheCommandLineNamedOne) {
  readWith({{"Localization", "sCurLocale", "German.TXT"}});
  EXPECT_EQ(std::string(localeName.c_str()), "German");
  readWith({{"Localization", "sCurLocale", "notes.txt.txt"}});
  EXPECT_EQ(std::string(localeName.c_str()), "notes.txt");

  ConfigEnvironment commandLine;
  commandLine.localeGiven = true;
  localeName = "french";
  readWith({{"Localization", "sCurLocale", "German"}}, commandLine);
  EXPECT_EQ(std::string(localeName.c_str()), "french");
  readWith({}, commandLine);
  EXPECT_EQ(std::string(store.getValue("Localization", "sCurLocale", "-", false).c_str()), "-");
}

TEST_F(ConfigTest, ResolutionFallsBackWithItsErrorText) {
  struct Case {
    const char* value;
    bool fullScreen;
    int width;
    int height;
    const char* error;
  };
  const Case cases[] = {
      {"default", false, 1024, 768, nullptr},
      {"DEFAULT", true, 1920, 1200, nullptr},  // full screen: the screen's size
      {"desktop", false, 1920, 1200, nullptr},
      {"320x240", false, 320, 240, nullptr},
      {" 1280 x 720 ", false, 1280, 720, nullptr},
      {"319x240", false, 1024, 768, "ERROR: Speficied a resolution less than 320x240. Defaulting to 1024x768.\n"},
      {"800x-600", true, 1920, 1200, "ERROR: Speficied a resolution less than 320x240. Defaulting to 1920x1200.\n"},
      {"1024x", false, 1024, 768, "ERROR: Could not understand resolution '1024x'. Defaulting to 1024x768.\n"},
      {"1024x768x32", false, 1024, 768,
       "ERROR: Could not understand resolution '1024x768x32'. Defaulting to 1024x768.\n"},
      {"1024X768", false, 1024, 768, "ERROR: Could not understand resolution '1024X768'. Defaulting to 1024x768.\n"},
      {"100000x100000", false, 1024, 768,  // more pixels than a 32-bit count holds
       "ERROR: Could not understand resolution '100000x100000'. Defaulting to 1024x768.\n"},
  };
  ConfigEnvironment environment;
  environment.screenSize = {1920, 1200};
  for (const Case& c : cases) {
    logged.clear();
    readWith({{"Graphics", "resolution", c.value}, {"Graphics", "bFullScreen", c.fullScreen ? "true" : "false"}},
             environment);
    EXPECT_EQ(screenWidth, c.width) << c.value;
    EXPECT_EQ(screenHeight, c.height) << c.value;
    EXPECT_EQ(screenPixels, c.width * c.height) << c.value;
    EXPECT_EQ(logged, c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{}) << c.value;
  }
}

}  // namespace

}  // namespace config_test
