// The loading screen on the null device: what one frame draws (background,
// progress lines, the tip and its heading), what the first call loads, the
// tip's turns, and the lines that a map script's updateLoadScreen adds.
#include "app/loading_screen.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/new_game.h"
#include "app/script_setup.h"
#include "core/random.h"
#include "core/user_folders.h"
#include "empire/empire.h"
#include "platform/engine/engine_textures.h"
#include "session_data.h"
#include "session_fixture.h"
#include "support/interface_harness.h"
#include "support/log_capture.h"
#include "support/recording_painter.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace loading_screen_test {

namespace {

namespace fs = std::filesystem;
using irr::core::stringc;
using irr::core::stringw;

// A loading screen whose frames, clock and random draws the test holds: the
// frame's start and end go into the painter's list among the drawing calls.
class TestScreen : public LoadingScreen {
 public:
  explicit TestScreen(RecordingPainter& painter) : painter_(painter) {}

  uint32_t now = 0;
  uint32_t nextRandom = 0;

 protected:
  bool deviceStopping() override { return false; }
  void beginFrame() override {
    painter_.calls.push_back("begin");
    LoadingScreen::beginFrame();
  }
  void endFrame() override {
    painter_.calls.push_back("end");
    LoadingScreen::endFrame();
  }
  uint32_t clockSeconds() override { return now; }
  uint32_t drawRandom() override { return nextRandom; }

 private:
  RecordingPainter& painter_;
};

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class LoadingScreenTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    ui->useFixedFont(8, 14);
    root_ = scratchDir();
    folder_ = std::make_unique<WorkingFolder>(root_);
    savedBase_ = userFolders.base;
    savedLocale_ = localeName;
    userFolders.base = "";
    localeName = "english";
    painter_.install();
  }
  void TearDown() override {
    userFolders.base = savedBase_;
    localeName = savedLocale_;
    folder_.reset();
    InterfaceTest::TearDown();
  }

  void writePng(const fs::path& path, irr::u32 width, irr::u32 height) {
    fs::create_directories(path.parent_path());
    irr::video::IImage* image =
        engine.driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(width, height));
    image->fill(irr::video::SColor(0xFF204060));
    ASSERT_TRUE(engine.driver->writeImageToFile(image, path.string().c_str()));
    image->drop();
  }

  // The painter's calls of one kind ("scaled", "fontText", ...).
  std::vector<std::string> callsOf(const std::string& kind) const {
    std::vector<std::string> found;
    for (const std::string& call : painter_.calls)
      if (call == kind || call.rfind(kind + " ", 0) == 0)
        found.push_back(call);
    return found;
  }

  fs::path root_;
  std::unique_ptr<WorkingFolder> folder_;
  stringc savedBase_;
  stringc savedLocale_;
  RecordingPainter painter_;
};

TEST_F(LoadingScreenTest, TheBackgroundKeepsItsAspectAndIsCentredOnTheScreen) {
  // The test device's screen is 640 x 480: wider than high, so the image
  // takes the screen's height.
  const struct {
    irr::u32 width, height;
    const char* drawn;
  } cases[] = {
      {1024, 512, "scaled -160,0,800,480 src 0,0,1024,512 clip none plain"},
      {512, 1024, "scaled 200,0,440,480 src 0,0,512,1024 clip none plain"},
      {640, 480, "scaled 0,0,640,480 src 0,0,640,480 clip none plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.drawn);
    // Each size its own folder: the driver keeps a texture by its name.
    const fs::path folder = root_ / (std::to_string(c.width) + "x" + std::to_string(c.height));
    writePng(folder / "Images/loading_background.png", c.width, c.height);
    const WorkingFolder inside(folder);
    painter_.calls.clear();
    TestScreen screen(painter_);
    screen.show(L"Loading");
    EXPECT_EQ(callsOf("scaled"), std::vector<std::string>{c.drawn});
    ASSERT_FALSE(painter_.calls.empty());
    EXPECT_EQ(painter_.calls.front(), "begin");
    EXPECT_EQ(painter_.calls.back(), "end");
    // The driver keeps textures by name: the next size comes from its file.
    plat::removeTexture(engine.driver, engine.driver->findTexture(screen.backgroundName));
  }
}

TEST_F(LoadingScreenTest, TheFirstCallWithoutTextDrawsOneBlackFrameAndStillLoads) {
  writePng(root_ / "Images/loading_background.png", 64, 32);
  writeText(root_ / "Locales/english_tips.txt", "Build ships.\nMind your fuel.\n");
  TestScreen screen(painter_);
  screen.show(nullptr);
  EXPECT_EQ(painter_.calls, (std::vector<std::string>{"begin", "end"}));
  EXPECT_TRUE(screen.loaded);
  EXPECT_EQ(screen.backgroundName, stringc("Images/loading_background.png"));
  EXPECT_EQ(screen.tips, (std::vector<stringw>{L"Build ships.", L"Mind your fuel."}));
  EXPECT_TRUE(screen.lines.empty());

  // Once a line exists, a call without text draws it again.
  screen.show(L"one");
  painter_.calls.clear();
  screen.show(nullptr);
  EXPECT_EQ(screen.lines, (std::vector<stringw>{L"one"}));
  EXPECT_EQ(callsOf("fontText one").size(), 1u);
}

TEST_F(LoadingScreenTest, LinesGoDownTheLeftEdgeInGreen) {
  TestScreen screen(painter_);
  screen.show(L"first");
  screen.show(L"second");
  painter_.calls.clear();
  screen.show(L"third");
  // No background and no tips: only the lines.
  EXPECT_EQ(painter_.calls, (std::vector<std::string>{
                                "begin",
                                "fontText first 2,2,640,16 FF0AFF0A clip none",
                                "fontText second 2,16,640,30 FF0AFF0A clip none",
                                "fontText third 2,30,640,44 FF0AFF0A clip none",
                                "end",
                            }));
  EXPECT_TRUE(screen.backgroundName.empty());
}

TEST_F(LoadingScreenTest, TipsComeFromTheFirstFileThatExists) {
  const struct {
    std::vector<const char*> files;  // each file holds its own path as its tip
    const char* expected;            // null: no tips
  } cases[] = {
      {{"mod/Locales/german_tips.txt", "mod/Locales/english_tips.txt", "Locales/german_tips.txt",
        "Locales/english_tips.txt"},
       "mod/Locales/german_tips.txt"},
      {{"mod/Locales/english_tips.txt", "Locales/german_tips.txt", "Locales/english_tips.txt"},
       "mod/Locales/english_tips.txt"},
      {{"Locales/german_tips.txt", "Locales/english_tips.txt"}, "Locales/german_tips.txt"},
      {{"Locales/english_tips.txt"}, "Locales/english_tips.txt"},
      {{}, nullptr},
  };
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(index);
    const fs::path folder = root_ / ("case" + std::to_string(index++));
    fs::create_directories(folder);
    for (const char* file : c.files)
      writeText(folder / file, std::string(file) + "\n");
    const WorkingFolder inside(folder);
    localeName = "german";
    userFolders.base = "mod/";
    TestScreen screen(painter_);
    screen.show(nullptr);
    if (c.expected == nullptr)
      EXPECT_TRUE(screen.tips.empty());
    else
      EXPECT_EQ(screen.tips, std::vector<stringw>{stringw(c.expected)});
  }
}

TEST_F(LoadingScreenTest, TheTipAndItsHeadingAreCentredNearTheBottom) {
  writeText(root_ / "Locales/english_tips.txt", "abc\n");
  TestScreen screen(painter_);
  screen.now = 100;
  screen.show(L"x");
  // The fixed font is 8 pixels a character: "#tip" (the key, shown as
  // itself without a locale) is 32 wide, "abc" 24.
  EXPECT_EQ(callsOf("fontText #tip"), std::vector<std::string>{"fontText #tip 304,420,640,440 FFFF8080 clip none"});
  EXPECT_EQ(callsOf("fontText abc"), std::vector<std::string>{"fontText abc 308,440,640,476 FFFFFFFF clip none"});
}

TEST_F(LoadingScreenTest, TheTipTurnsAfterMoreThanEightSecondsAndNeverToItself) {
  // One tip: whatever the draw, it stays.
  writeText(root_ / "Locales/english_tips.txt", "only\n");
  TestScreen one(painter_);
  for (uint32_t step = 0; step < 4; ++step) {
    one.now = 100 + step * 20;
    one.nextRandom = step;
    one.show(L"line");
    EXPECT_EQ(one.currentTip, 0u);
  }

  // Two tips and a draw that always names the tip shown: each turn takes the
  // other one.
  writeText(root_ / "Locales/english_tips.txt", "first\nsecond\n");
  TestScreen two(painter_);
  two.now = 1000;
  two.nextRandom = 0;
  two.show(L"line");
  EXPECT_EQ(two.currentTip, 1u);  // 0 was drawn, the tip shown: the next
  EXPECT_EQ(two.lastTipTime, 1000u);
  const struct {
    uint32_t advance;
    uint32_t random;
    uint32_t tip;
  } steps[] = {
      {8, 1, 1},   // 8 seconds are not more than 8
      {1, 1, 0},   // 9 seconds after the change: 1 drawn, shown, so 0
      {9, 4, 1},   // 4 modulo 2 is the tip shown again
      {9, 3, 0},   // 3 modulo 2 is 1, shown: 0
      {5, 0, 0},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(two.now + s.advance);
    two.now += s.advance;
    two.nextRandom = s.random;
    painter_.calls.clear();
    two.show(L"line");
    EXPECT_EQ(two.currentTip, s.tip);
    EXPECT_EQ(callsOf(s.tip == 0 ? "fontText first" : "fontText second").size(), 1u);
  }
}

// ---------------------------------------------------------------------------
// A map script's progress lines, through the script set-up's slot

class LoadingScreenMapTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    beginSessionData("/", "spiral");
  }
  void TearDown() override {
    destroySessionGalaxy();
    deleteAllEmpires();
    freeNewGamePlayerEmpire();
    endSessionData();
    clearObjectRegistry();
    SessionTest::TearDown();
  }
};

TEST_F(LoadingScreenMapTest, UpdateLoadScreenInAMapScriptAddsItsLine) {
  ASSERT_EQ(scriptSetupSlots.showLoadingScreen, showLoadingScreen);
  const std::size_t before = processLoadingScreen().lines.size();
  seedProcessRandom(3);
  LogCapture log;
  setupNewGame(stringc(CORVANE_SOURCE_DIR "/tests/app/maps/") + "loading_lines.as");
  const std::vector<stringw>& lines = processLoadingScreen().lines;
  ASSERT_EQ(lines.size(), before + 2) << log.take();
  EXPECT_EQ(lines[before], stringw(L"x"));
  EXPECT_EQ(lines[before + 1], stringw(L"systems made"));
}

}  // namespace

}  // namespace loading_screen_test
