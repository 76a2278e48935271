// The options dialog's handlers fed engine GUI events through the callback
// map: each changes the running setting and the dialog's settings copy, and
// none writes the file; the autosave interval's text.
#include "ui/menus/option_handlers.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "core/ini_file.h"
#include "gfx/game_camera.h"
#include "gui/base/gui_callbacks.h"
#include "support/null_device.h"
#include "support/scratch_dir.h"

namespace option_handlers_test {

namespace {

using irr::core::recti;
using irr::core::stringc;

irr::SEvent guiEvent(irr::gui::IGUIElement* caller, irr::gui::EGUI_EVENT_TYPE type) {
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = caller;
  event.GUIEvent.Element = nullptr;
  event.GUIEvent.EventType = type;
  return event;
}

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class OptionHandlersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    gui_ = device_->getGUIEnvironment();
    path_ = scratchDir() / "config.cfg";
    std::ofstream(path_, std::ios::binary) << "[Graphics]\r\nbDisplayGas = true\r\n\r\n";
    settings_ = IniFile::readFile(path_.string());
    optionsSettings = &settings_;
  }
  void TearDown() override {
    optionsSettings = nullptr;
    clearGuiCallbacks();
    device_->drop();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  irr::gui::IGUIEnvironment* gui_ = nullptr;
  std::filesystem::path path_;
  IniFile settings_;
};

TEST_F(OptionHandlersTest, ACheckBoxRowChangesTheSettingAndTheCopyButNotTheFile) {
  const std::string before = fileText(path_);
  irr::gui::IGUICheckBox* box = gui_->addCheckBox(true, recti(0, 0, 10, 10), nullptr, -4940);
  struct Row {
    ToggleBool* toggle;
    bool* setting;
    const char* section;
    const char* key;
  };
  const Row rows[] = {
      {&optionToggles.displayGas, &bDisplayGas, "Graphics", "bDisplayGas"},
      {&optionToggles.centralZoomOut, &bCentralZoomOut, "Controls", "bCentralZoomOut"},  // inverted
      {&optionToggles.smallPackets, &bSmallPackets, "Experimental", "bSmallPackets"},
  };
  for (const Row& row : rows) {
    const bool saved = *row.setting;
    bindGuiCallbackObject(row.toggle, -4940);
    for (bool checked : {false, true}) {
      box->setChecked(checked);
      EXPECT_TRUE(dispatchGuiCallback(guiEvent(box, irr::gui::EGET_CHECKBOX_CHANGED))) << row.key;
      const bool expected = checked != row.toggle->invert;
      EXPECT_EQ(*row.setting, expected) << row.key;
      EXPECT_EQ(row.toggle->shown(), checked) << row.key;
      EXPECT_EQ(settings_.getValue(row.section, row.key, "", false), expected ? "true" : "false") << row.key;
    }
    // Other events change nothing.
    const bool now = *row.setting;
    box->setChecked(!box->isChecked());
    EXPECT_FALSE(dispatchGuiCallback(guiEvent(box, irr::gui::EGET_BUTTON_CLICKED)));
    EXPECT_EQ(*row.setting, now);
    *row.setting = saved;
  }
  EXPECT_EQ(fileText(path_), before);
}

TEST_F(OptionHandlersTest, ComboBoxesAndTheFreeformToggle) {
  irr::gui::IGUIComboBox* combo = gui_->addComboBox(recti(0, 0, 50, 10), nullptr, -4939);
  for (const wchar_t* item : {L"Off", L"Small", L"Large"})
    combo->addItem(item);
  combo->setSelected(2);
  const int32_t savedIcons = iShipIcons;
  EXPECT_TRUE(optionToggles.shipIcons.OnEvent(guiEvent(combo, irr::gui::EGET_COMBO_BOX_CHANGED)));
  EXPECT_EQ(iShipIcons, 2);
  EXPECT_EQ(settings_.getValue("Graphics", "iShipIcons", "", false), "2");
  EXPECT_FALSE(optionToggles.shipIcons.OnEvent(guiEvent(combo, irr::gui::EGET_ELEMENT_FOCUSED)));
  iShipIcons = savedIcons;

  // A check box event from another element type is not the row's.
  EXPECT_FALSE(optionToggles.displayGas.OnEvent(guiEvent(combo, irr::gui::EGET_CHECKBOX_CHANGED)));

  irr::gui::IGUICheckBox* box = gui_->addCheckBox(false, recti(0, 0, 10, 10), nullptr, -4938);
  const bool savedFreeform = bFreeformCamera;
  const bool savedCamera = gameCamera.freeform;
  for (bool checked : {false, true}) {
    box->setChecked(checked);
    EXPECT_TRUE(optionToggles.freeformCamera.OnEvent(guiEvent(box, irr::gui::EGET_CHECKBOX_CHANGED)));
    EXPECT_EQ(bFreeformCamera, checked);
    EXPECT_EQ(gameCamera.freeform, checked);
    EXPECT_EQ(settings_.getValue("General", "bFreeformCamera", "", false), checked ? "true" : "false");
  }
  bFreeformCamera = savedFreeform;
  gameCamera.freeform = savedCamera;
}

TEST_F(OptionHandlersTest, PlainHandlersByTable) {
  irr::gui::IGUIEditBox* edit = gui_->addEditBox(L"", recti(0, 0, 50, 10), true, nullptr, -4937);
  const float savedFps = fMaxFPS;
  const float savedInterval = fAutosaveInterval;
  const int32_t savedRotate = iRotateSaves;
  struct Row {
    bool (*handler)(const irr::SEvent&);
    const wchar_t* text;
    irr::gui::EGUI_EVENT_TYPE type;
    bool handled;
    const char* key;
    const char* stored;  // "" for nothing stored
  };
  const Row rows[] = {
      {optionhandlers::frameLimit, L"5", irr::gui::EGET_EDITBOX_ENTER, true, "fMaxFPS", ""},
      {optionhandlers::frameLimit, L"60", irr::gui::EGET_EDITBOX_ENTER, true, "fMaxFPS", "60"},
      {optionhandlers::frameLimit, L"90", irr::gui::EGET_ELEMENT_FOCUS_LOST, false, "fMaxFPS", "90"},
      {optionhandlers::frameLimit, L"120", irr::gui::EGET_BUTTON_CLICKED, false, "fMaxFPS", ""},
      {optionhandlers::autosaveInterval, L"abc", irr::gui::EGET_EDITBOX_ENTER, true, "fAutosaveInterval",
       "0.000000"},
      {optionhandlers::autosaveInterval, L"2.5", irr::gui::EGET_EDITBOX_ENTER, true, "fAutosaveInterval",
       "2.500000"},
      {optionhandlers::rotateSaves, L"9", irr::gui::EGET_ELEMENT_FOCUS_LOST, false, "iRotateSaves", "9"},
  };
  for (const Row& row : rows) {
    const char* section = row.handler == optionhandlers::frameLimit ? "Graphics" : "General";
    settings_.setValue(section, row.key, "");
    edit->setText(row.text);
    EXPECT_EQ(row.handler(guiEvent(edit, row.type)), row.handled) << stringc(row.text).c_str();
    EXPECT_EQ(settings_.getValue(section, row.key, "", false), row.stored) << stringc(row.text).c_str();
  }
  EXPECT_EQ(fMaxFPS, 90.0f);
  EXPECT_EQ(fAutosaveInterval, 2.5f);
  EXPECT_EQ(iRotateSaves, 9);
  fMaxFPS = savedFps;
  fAutosaveInterval = savedInterval;
  iRotateSaves = savedRotate;
}

TEST_F(OptionHandlersTest, ZoomSpeedAndSensitivityInversions) {
  irr::gui::IGUICheckBox* invert = gui_->addCheckBox(false, recti(0, 0, 10, 10), nullptr, -4936);
  const float savedZoom = fZoomSpeed;
  const struct {
    const char* current;
    float toggled;
  } zooms[] = {{"1.3", 0.9f}, {"0.9", 1.3f}, {"1.0", 0.8f}, {"0.4", 1.8f}};
  for (const auto& row : zooms) {
    settings_.setValue("Controls", "fZoomSpeed", row.current);
    EXPECT_FALSE(optionhandlers::zoomSpeed(guiEvent(invert, irr::gui::EGET_CHECKBOX_CHANGED)));
    EXPECT_EQ(gameCamera.zoomSpeed, row.toggled) << row.current;
    EXPECT_EQ(fZoomSpeed, row.toggled) << row.current;
  }
  fZoomSpeed = savedZoom;
  gameCamera.zoomSpeed = savedZoom;

  // Inverting twice restores the value; the slider keeps the sign.
  const float savedSensitivity = fHorizontalSensitivity;
  settings_.setValue("Controls", "fHorizontalSensitivity", "0.250000");
  optionhandlers::horizontalSensitivity(guiEvent(invert, irr::gui::EGET_CHECKBOX_CHANGED));
  EXPECT_EQ(gameCamera.horizontalSensitivity, -0.25f);
  irr::gui::IGUIScrollBar* bar = gui_->addScrollBar(true, recti(0, 0, 50, 10), nullptr, -4935);
  bar->setMax(40);
  bar->setPos(10);
  optionhandlers::horizontalSensitivity(guiEvent(bar, irr::gui::EGET_SCROLL_BAR_CHANGED));
  EXPECT_FLOAT_EQ(gameCamera.horizontalSensitivity, -0.5f);
  optionhandlers::horizontalSensitivity(guiEvent(invert, irr::gui::EGET_CHECKBOX_CHANGED));
  EXPECT_FLOAT_EQ(gameCamera.horizontalSensitivity, 0.5f);
  fHorizontalSensitivity = savedSensitivity;
  gameCamera.horizontalSensitivity = savedSensitivity;
}

TEST(AutosaveIntervalText, TrimsZerosFromBothEnds) {
  const float saved = fAutosaveInterval;
  const struct {
    float minutes;
    const wchar_t* text;
  } rows[] = {{5.0f, L"5"}, {0.5f, L".5"}, {12.25f, L"12.25"}, {0.0f, L"0"}, {10.0f, L"10"}, {60.0f, L"60"}};
  for (const auto& row : rows) {
    fAutosaveInterval = row.minutes;
    EXPECT_EQ(autosaveIntervalText(), irr::core::stringw(row.text)) << row.minutes;
  }
  fAutosaveInterval = saved;
}

}  // namespace

}  // namespace option_handlers_test
