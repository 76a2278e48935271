// The view and interface console commands, typed as console lines: the
// toggles and value commands with their reports and refusals, the commands
// that act on the scene, the GUI and the game camera, and what they do
// without a scene camera or between sessions.
#include "app/view_commands.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/startup.h"
#include "app/console_commands.h"
#include "gfx/game_camera.h"
#include "gfx/render_group.h"
#include "support/null_device.h"
#include "ui/move_to_point.h"

namespace view_commands_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;
using Lines = std::vector<std::wstring>;

// Every global these commands change, put back after each test.
struct SavedViewState {
  bool antiAlias = bAntiAlias;
  float depthRatio = depthPlaneRatio;
  bool empireColors = empireColorsShown;
  bool fpsWanted = fpsDisplayWanted;
  float falloff = renderGroupFalloff();
  float planeOffset = moveTargetState.planeOffset;
  bool video = videoMode;
  GameCamera camera = gameCamera;

  ~SavedViewState() {
    bAntiAlias = antiAlias;
    depthPlaneRatio = depthRatio;
    empireColorsShown = empireColors;
    fpsDisplayWanted = fpsWanted;
    setRenderGroupFalloff(falloff);
    moveTargetState.planeOffset = planeOffset;
    videoMode = video;
    gameCamera = camera;
  }
};

class ViewCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    savedTable_ = Console::commands();
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    setEngineDevice(device_);
    target_ = createConsole(device_->getGUIEnvironment());
    registerConsoleCommands();
  }
  void TearDown() override {
    fpsText = nullptr;
    setConsole(nullptr);
    setEngineDevice(nullptr);
    device_->drop();
    const_cast<ConsoleCommandTable&>(Console::commands()) = savedTable_;
  }

  // The lines that running `line` printed (empty ones left out).
  Lines run(const std::wstring& line) {
    target_->clear();
    target_->execute(line.c_str(), false);
    Lines out;
    for (const stringw& printed : target_->lines())
      if (!printed.empty())
        out.emplace_back(printed.c_str());
    return out;
  }

  static std::wstring help(const wchar_t* name) {
    const auto found = Console::findCommand(name);
    return found == Console::commands().end() ? L"" : std::wstring(found->second.help.c_str());
  }

  SavedViewState saved_;
  ConsoleCommandTable savedTable_;
  irr::IrrlichtDevice* device_ = nullptr;
  Console* target_ = nullptr;
};

TEST_F(ViewCommandsTest, TogglesAndValuesReportStoreAndRefuse) {
  irr::scene::ICameraSceneNode* camera = engine.scene->addCameraSceneNode();
  ASSERT_EQ(engine.scene->getActiveCamera(), camera);
  camera->setFOV(0.9f);
  camera->setAspectRatio(1.25f);
  bAntiAlias = true;
  empireColorsShown = false;
  depthPlaneRatio = 120000.0f;
  setRenderGroupFalloff(35000.0f);

  // The values each case leaves behind.
  struct Values {
    float fov, aspect, zplane, falloff;
    bool antiAlias, empireColors;
  };
  const Values start{0.9f, 1.25f, 120000.0f, 35000.0f, true, false};
  const struct {
    const wchar_t* line;
    Lines printed;
    Values after;
  } cases[] = {
      {L"fov 0", {L"fov must be greater than 0"}, start},
      {L"fov -1", {L"fov must be greater than 0"}, start},
      {L"fov wide", {L"fov must be greater than 0"}, start},
      {L"fov 1.2", {}, {1.2f, 1.25f, 120000.0f, 35000.0f, true, false}},
      {L"fov", {L"fov 1.200", help(L"fov")}, {1.2f, 1.25f, 120000.0f, 35000.0f, true, false}},
      {L"aspect 0", {L"aspect must be greater than 0"}, {1.2f, 1.25f, 120000.0f, 35000.0f, true, false}},
      {L"aspect 1.5 9", {}, {1.2f, 1.5f, 120000.0f, 35000.0f, true, false}},  // further arguments ignored
      {L"aspect", {L"aspect 1.500", help(L"aspect")}, {1.2f, 1.5f, 120000.0f, 35000.0f, true, false}},
      {L"zplane 2", {L"zplane must be greater than 2"}, {1.2f, 1.5f, 120000.0f, 35000.0f, true, false}},
      {L"zplane 2.5", {}, {1.2f, 1.5f, 2.5f, 35000.0f, true, false}},
      {L"zplane", {L"zplane 2.500", help(L"zplane")}, {1.2f, 1.5f, 2.5f, 35000.0f, true, false}},
      {L"update_falloff 0", {L"update_falloff must be greater than 0"}, {1.2f, 1.5f, 2.5f, 35000.0f, true, false}},
      {L"update_falloff 5000", {}, {1.2f, 1.5f, 2.5f, 5000.0f, true, false}},
      {L"update_falloff", {L"update_falloff 5000.000", help(L"update_falloff")}, {1.2f, 1.5f, 2.5f, 5000.0f, true, false}},
      {L"cl_antialias 2", {L"cl_antialias only takes the values 0 and 1"}, {1.2f, 1.5f, 2.5f, 5000.0f, true, false}},
      {L"cl_antialias on", {L"cl_antialias only takes the values 0 and 1"}, {1.2f, 1.5f, 2.5f, 5000.0f, true, false}},
      {L"cl_antialias 0", {}, {1.2f, 1.5f, 2.5f, 5000.0f, false, false}},
      {L"cl_antialias", {L"cl_antialias 0", help(L"cl_antialias")}, {1.2f, 1.5f, 2.5f, 5000.0f, false, false}},
      {L"cl_empire_colors 1", {}, {1.2f, 1.5f, 2.5f, 5000.0f, false, true}},
      {L"cl_empire_colors", {L"cl_empire_colors 1", help(L"cl_empire_colors")}, {1.2f, 1.5f, 2.5f, 5000.0f, false, true}},
      {L"cl_empire_colors -1", {L"cl_empire_colors only takes the values 0 and 1"}, {1.2f, 1.5f, 2.5f, 5000.0f, false, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_FLOAT_EQ(camera->getFOV(), c.after.fov);
    EXPECT_FLOAT_EQ(camera->getAspectRatio(), c.after.aspect);
    EXPECT_FLOAT_EQ(depthPlaneRatio, c.after.zplane);
    EXPECT_FLOAT_EQ(renderGroupFalloff(), c.after.falloff);
    EXPECT_EQ(bAntiAlias, c.after.antiAlias);
    EXPECT_EQ(empireColorsShown, c.after.empireColors);
  }

  EXPECT_EQ(run(L"cam_mode static objectforward"), Lines{});
  EXPECT_EQ(gameCamera.positionMode, CM_Static);
  EXPECT_EQ(gameCamera.targetMode, CM_ObjectForward);
}

TEST_F(ViewCommandsTest, WithoutACameraOrASessionNothingBreaks) {
  ASSERT_EQ(engine.scene->getActiveCamera(), nullptr);
  for (const wchar_t* line : {L"fov 1.2", L"fov", L"aspect", L"aspect 2"}) {
    SCOPED_TRACE(stringc(line).c_str());
    EXPECT_EQ(run(line), Lines{L"No camera to configure"});
  }

  // The game camera exists between sessions, without a node.
  ASSERT_EQ(gameCamera.node, nullptr);
  gameCamera.shake = 0.0f;
  EXPECT_EQ(run(L"shake 1"), Lines{});
  EXPECT_EQ(run(L"cam_offset 1 2 3"), Lines{});
  EXPECT_FLOAT_EQ(gameCamera.shake, 1.0f);
  EXPECT_EQ(gameCamera.objectOffset, irr::core::vector3df(1, 2, 3));

  // Without any engine: the commands that need its parts do nothing.
  setEngineDevice(nullptr);
  EXPECT_EQ(run(L"fov 1"), Lines{L"No camera to configure"});
  EXPECT_EQ(run(L"toggle_gui"), Lines{});
  EXPECT_EQ(run(L"set_ambient ff0000"), Lines{});
  setEngineDevice(device_);
}

TEST_F(ViewCommandsTest, TheFrameRateDisplayTakesTheChoiceMadeBeforeItExists) {
  // As autoexec.ini does: the line runs before the display is made.
  fpsDisplayWanted = false;
  ASSERT_EQ(fpsText, nullptr);
  EXPECT_EQ(run(L"cl_showfps 1"), Lines{});
  EXPECT_EQ(run(L"cl_showfps"), (Lines{L"cl_showfps 1", help(L"cl_showfps")}));

  irr::gui::IGUIStaticText* made = engine.gui->addStaticText(L"", irr::core::recti(0, 463, 200, 479));
  made->setVisible(false);
  showFpsTextAsAsked(made);
  fpsText = made;
  EXPECT_TRUE(made->isVisible());
  EXPECT_EQ(run(L"cl_showfps"), (Lines{L"cl_showfps 1", help(L"cl_showfps")}));

  EXPECT_EQ(run(L"cl_showfps 0"), Lines{});
  EXPECT_FALSE(made->isVisible());
  EXPECT_EQ(run(L"cl_showfps 3"), Lines{L"cl_showfps only takes the values 0 and 1"});
  EXPECT_FALSE(made->isVisible());
  EXPECT_EQ(run(L"cl_showfps"), (Lines{L"cl_showfps 0", help(L"cl_showfps")}));
}

TEST_F(ViewCommandsTest, SceneGuiOrderHeightAndFrameExport) {
  moveTargetState.planeOffset = 0.0f;
  videoMode = false;
  const struct {
    const wchar_t* line;
    Lines printed;
    float planeOffset;
    bool video;
  } cases[] = {
      {L"set_y_offset 12.5", {}, 12.5f, false},
      {L"set_y_offset", {help(L"set_y_offset"), L" Current Value: 12.50"}, 12.5f, false},
      {L"set_y_offset high", {L"  The 1st argument must be a decimal number"}, 12.5f, false},
      {L"set_y_offset -3", {}, -3.0f, false},
      {L"video_mode 5", {}, -3.0f, true},
      {L"video_mode", {help(L"video_mode"), L" Current Value: 1"}, -3.0f, true},
      {L"video_mode 0", {}, -3.0f, false},
      {L"video_mode 1 2", {help(L"video_mode"), L" Current Value: 0"}, -3.0f, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.line).c_str());
    EXPECT_EQ(run(c.line), c.printed);
    EXPECT_FLOAT_EQ(moveTargetState.planeOffset, c.planeOffset);
    EXPECT_EQ(videoMode, c.video);
  }

  irr::gui::IGUIElement* root = engine.gui->getRootGUIElement();
  ASSERT_TRUE(root->isVisible());
  EXPECT_EQ(run(L"toggle_gui"), Lines{});
  EXPECT_FALSE(root->isVisible());
  EXPECT_EQ(run(L"toggle_gui now"), Lines{help(L"toggle_gui")});
  EXPECT_FALSE(root->isVisible());
  EXPECT_EQ(run(L"toggle_gui"), Lines{});
  EXPECT_TRUE(root->isVisible());

  engine.scene->setAmbientLight(irr::video::SColorf(0.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(run(L"set_ambient ff8000"), Lines{});
  const irr::video::SColor ambient = engine.scene->getAmbientLight().toSColor();
  EXPECT_EQ(ambient.color, 0xFFFF8000u);
  EXPECT_EQ(run(L"set_ambient orange"), Lines{L"Bad color 'orange': contained non-hex characters"});
  EXPECT_EQ(run(L"set_ambient 12345"), Lines{L"Bad color '12345': was not 3, 4, 6 or 8 characters long"});
  EXPECT_EQ(run(L"set_ambient"), Lines{help(L"set_ambient")});
  EXPECT_EQ(engine.scene->getAmbientLight().toSColor().color, 0xFFFF8000u);
}

}  // namespace

}  // namespace view_commands_test
