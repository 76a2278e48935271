// The options dialog on a settings file: one dialog at a time, Save writes
// the copy and Close forgets it, the pages show the file's and the running
// values as they were at opening, and the locales are listed by path.
#include "ui/menus/options_menu.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "app/base/config.h"
#include "core/ini_file.h"
#include "gui/base/gui_callbacks.h"
#include "support/interface_harness.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "ui/menus/key_binding_page.h"
#include "ui/menus/option_handlers.h"
#include "ui/menus/options_pages.h"

namespace options_menu_test {

namespace {

namespace fs = std::filesystem;
using irr::core::recti;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The element of `id` below `from` that is (or is not) a check box: the
// invert boxes share their control's id.
irr::gui::IGUIElement* control(irr::gui::IGUIElement* from, int id, bool checkBox) {
  for (irr::gui::IGUIElement* child : from->getChildren()) {
    if (child->getID() == id && (child->getType() == irr::gui::EGUIET_CHECK_BOX) == checkBox)
      return child;
    if (irr::gui::IGUIElement* found = control(child, id, checkBox))
      return found;
  }
  return nullptr;
}

class OptionsMenuTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    path_ = scratchDir() / "config.cfg";
    write("[General]\r\nbServerAutosave = false\r\n\r\n");
    saved_ = {bServerAutosave, bFullScreen, bVerticalSync, bSmallPackets};
    bServerAutosave = false;
  }
  void TearDown() override {
    closeOpenOptionsMenu();
    clearGuiCallbacks();
    bServerAutosave = saved_.serverAutosave;
    bFullScreen = saved_.fullScreen;
    bVerticalSync = saved_.verticalSync;
    bSmallPackets = saved_.smallPackets;
    InterfaceTest::TearDown();
  }

  void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  // Opens the dialog on the file, moved into the 640 x 480 test screen.
  void open() {
    ASSERT_TRUE(openOptionsMenuAt(path_.string()));
    EXPECT_EQ(optionsDialog->window->getRelativePosition(), recti(200, 200, 700, 600));
    optionsDialog->window->setRelativePosition(irr::core::position2di(0, 0));
  }

  template <class Element>
  Element* find(int id) const {
    return static_cast<Element*>(ui->root()->getElementFromId(id, true));
  }
  // A child of the dialog's window by id and type (the Close button shares
  // the window's id).
  irr::gui::IGUIElement* windowChild(int id, irr::gui::EGUI_ELEMENT_TYPE type) const {
    for (irr::gui::IGUIElement* child : optionsDialog->window->getChildren())
      if (child->getID() == id && child->getType() == type)
        return child;
    return nullptr;
  }

  fs::path path_;
  struct {
    bool serverAutosave, fullScreen, verticalSync, smallPackets;
  } saved_{};
};

TEST_F(OptionsMenuTest, ARefusedOpeningBuildsNothingAndChangesNothing) {
  const struct {
    bool whileOpen;
    std::string path;
    const char* message;
  } cases[] = {
      {true, path_.string(), "Only one menu may be opened at a time."},
      {false, (path_.parent_path() / "missing.cfg").string(), "Ini file could not be opened"},
      {false, path_.parent_path().string(), "Ini file could not be opened"},  // a folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    closeOpenOptionsMenu();
    if (c.whileOpen)
      open();
    OptionsDialog* before = optionsDialog;
    IniFile* settingsBefore = optionsSettings;
    const irr::u32 count = ui->root()->getChildren().getSize();
    auto second = std::make_unique<OptionsDialog>();
    try {
      openOptionsMenu(second.get(), c.path);
      ADD_FAILURE() << "opened";
      second.release();
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
    EXPECT_EQ(optionsDialog, before);
    EXPECT_EQ(optionsSettings, settingsBefore);
    EXPECT_EQ(second->window, nullptr);
    EXPECT_EQ(ui->root()->getChildren().getSize(), count);
  }
}

TEST_F(OptionsMenuTest, SixTabsInOrderWithTheKeyTableSecond) {
  open();
  auto* tabs = static_cast<irr::gui::IGUITabControl*>(windowChild(kOptionsTabsId, irr::gui::EGUIET_TAB_CONTROL));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->getRelativePosition(), recti(4, 24, 496, 372));
  const wchar_t* const titles[] = {L"#OMT_Game", L"#OMT_Keys", L"#OMT_Graphics", L"#OM_Camera", L"Experimental"};
  const wchar_t* const order[] = {titles[0], titles[1], titles[2], L"#OMT_Audio", titles[3], titles[4]};
  ASSERT_EQ(tabs->getTabCount(), 6);
  for (irr::s32 i = 0; i < 6; ++i)
    EXPECT_EQ(std::wstring(tabs->getTab(i)->getText()), order[i]) << i;
  const irr::core::list<irr::gui::IGUIElement*>& keys = tabs->getTab(1)->getChildren();
  ASSERT_EQ(keys.getSize(), 1u);
  EXPECT_NE(dynamic_cast<keyReceiver*>(*keys.begin()), nullptr);
  EXPECT_EQ((*keys.begin())->getRelativePosition(), recti(4, 4, 492, 310));
}

TEST_F(OptionsMenuTest, TheMenuButtonLogsARefusalAndDropsItsDialog) {
  LogCapture log;
  EXPECT_FALSE(openOptionsMenuAt((path_.parent_path() / "missing.cfg").string()));
  EXPECT_NE(log.take().find("Options menu error: Ini file could not be opened\n"), std::string::npos);
  EXPECT_EQ(optionsDialog, nullptr);
}

TEST_F(OptionsMenuTest, ASecondOpeningLeavesTheFirstIntact) {
  open();
  OptionsDialog* first = optionsDialog;
  irr::gui::IGUIWindow* window = first->window;
  EXPECT_FALSE(openOptionsMenuAt(path_.string()));  // refused, first kept
  EXPECT_EQ(optionsDialog, first);
  EXPECT_EQ(first->window, window);
  EXPECT_EQ(optionsSettings, first->settings.get());
  EXPECT_EQ(first->path, path_.string());
}

TEST_F(OptionsMenuTest, SaveWritesTheCopyAndCloseWritesNothing) {
  write("[General]\r\nbServerAutosave = false\r\n\r\n");  // no [Threading]
  open();
  const std::string before = fileText(path_);
  auto* box = find<irr::gui::IGUICheckBox>(-4585);
  ASSERT_NE(box, nullptr);
  ui->clickElement(box);
  EXPECT_TRUE(bServerAutosave);  // at once in the running program
  EXPECT_EQ(fileText(path_), before);

  ui->clickElement(windowChild(kOptionsSaveId, irr::gui::EGUIET_BUTTON));
  const std::string saved = fileText(path_);
  EXPECT_NE(saved.find("[General]\r\nbServerAutosave = true\r\n"), std::string::npos) << saved;
  // Read with its default when the dialog opened, so written too.
  EXPECT_NE(saved.find("[Threading]\r\nbSingleThreaded = false\r\n"), std::string::npos) << saved;
  EXPECT_NE(optionsDialog, nullptr);  // Save keeps the dialog open

  ui->clickElement(box);
  EXPECT_FALSE(bServerAutosave);
  ui->clickElement(windowChild(kOptionsCloseId, irr::gui::EGUIET_BUTTON));
  EXPECT_EQ(optionsDialog, nullptr);
  EXPECT_EQ(optionsSettings, nullptr);
  EXPECT_EQ(ui->root()->getElementFromId(kOptionsWindowId, true), nullptr);
  EXPECT_EQ(fileText(path_), saved);

  // The window's close box: closed once, by the GUI.
  open();
  irr::gui::IGUIElement* closeBox = nullptr;
  for (irr::gui::IGUIElement* child : optionsDialog->window->getChildren())
    if (child->getType() == irr::gui::EGUIET_BUTTON && child->getID() != kOptionsCloseId &&
        child->getID() != kOptionsSaveId && child->isVisible() && closeBox == nullptr)
      closeBox = child;
  ASSERT_NE(closeBox, nullptr);
  ui->clickElement(closeBox);
  EXPECT_EQ(optionsDialog, nullptr);
  EXPECT_EQ(ui->root()->getElementFromId(kOptionsWindowId, true), nullptr);
  EXPECT_EQ(fileText(path_), saved);
  open();  // and a new one opens
}

TEST_F(OptionsMenuTest, ASaveThatCannotWriteKeepsTheDialog) {
  open();
  optionsDialog->path = (path_.parent_path() / "no-such-folder" / "config.cfg").string();
  LogCapture log;
  saveOptions();
  EXPECT_NE(log.take().find(optionsDialog->path + " could not be opened\n"), std::string::npos);
  EXPECT_NE(optionsDialog, nullptr);
}

TEST_F(OptionsMenuTest, PagesShowTheFileAsItWasAtOpening) {
  enum Kind { kComboText, kBarPos, kChecked, kTip };
  const struct {
    const char* file;
    int id;
    Kind kind;
    std::wstring combo;
    int position = 0;
    bool checked = false;
  } cases[] = {
      {"[Graphics]\r\nresolution = 1280X1024\r\n", -4942, kComboText, L"1280x1024"},
      {"[Graphics]\r\nresolution = 1280x1024x32\r\n", -4942, kComboText, L"1280x1024"},
      {"[Graphics]\r\nresolution = Desktop\r\n", -4942, kComboText, L"#OMR_Desktop"},
      {"[Graphics]\r\nresolution = default\r\n", -4942, kComboText, L"#OMR_Default"},
      {"[Graphics]\r\nresolution = 800x600\r\n", -4942, kComboText, L"#OMR_Custom"},
      {"[Controls]\r\nfZoomSpeed = 1.5\r\n", -4592, kComboText, L"#OM_Default"},
      {"[Controls]\r\nfZoomSpeed = 1.5\r\n", -4592, kChecked, L"", 0, true},
      {"[Controls]\r\nfZoomSpeed = 0.7\r\n", -4592, kComboText, L"#OM_Custom"},
      {"[Controls]\r\nfZoomSpeed = 0.7\r\n", -4592, kChecked, L"", 0, false},
      {"[Controls]\r\nfZoomSpeed = 0.95\r\n", -4592, kComboText, L"#OM_Slowest"},
      {"[Sound]\r\nfMusicVolume = 1\r\n", -4930, kBarPos, L"", 50},
      {"[Sound]\r\nfMusicVolume = 0.33\r\n", -4930, kBarPos, L"", 16},
      {"[Sound]\r\nfMasterVolume = 0.5\r\n", -4929, kBarPos, L"", 50},
      {"[Sound]\r\n", -4929, kBarPos, L"", 100},  // missing: 1
      {"[Controls]\r\nfHorizontalSensitivity = -0.25\r\n", -4600, kBarPos, L"", 4},
      {"[Controls]\r\nfHorizontalSensitivity = -0.25\r\n", -4600, kTip, L"-0.25"},
      {"[Controls]\r\nfHorizontalSensitivity = -0.25\r\n", -4598, kChecked, L"", 0, true},
      {"[Controls]\r\nfHorizontalSensitivity = 1\r\n", -4600, kBarPos, L"", 19},
      {"[Controls]\r\nfVerticalSensitivity = abc\r\n", -4599, kBarPos, L"", 1},  // 0: the lower end
      {"[Controls]\r\nfPanSpeed = 2\r\n", -4594, kBarPos, L"", 19},
      {"[Controls]\r\nfPanSpeed = 2\r\n", -4594, kTip, L"2.0"},
      {"[Controls]\r\nfPanSpeed = 0.5\r\n", -4594, kBarPos, L"", 4},
      {"[Graphics]\r\nbFullScreen = FALSE\r\n", -4948, kChecked, L"", 0, false},
      {"[Graphics]\r\nbFullScreen = no\r\n", -4948, kChecked, L"", 0, true},
      {"[Graphics]\r\nbVerticalSync = true\r\n", -4939, kChecked, L"", 0, true},
      {"[Threading]\r\nbSingleThreaded = TRUE\r\n", -4941, kChecked, L"", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " id " + std::to_string(c.id));
    write(c.file);
    open();
    irr::gui::IGUIElement* element = control(ui->root(), c.id, c.kind == kChecked);
    ASSERT_NE(element, nullptr);
    switch (c.kind) {
      case kComboText: {
        auto* combo = static_cast<irr::gui::IGUIComboBox*>(element);
        ASSERT_GE(combo->getSelected(), 0);
        EXPECT_EQ(std::wstring(combo->getItem(static_cast<irr::u32>(combo->getSelected()))), c.combo);
        break;
      }
      case kBarPos:
        EXPECT_EQ(static_cast<irr::gui::IGUIScrollBar*>(element)->getPos(), c.position);
        break;
      case kChecked:
        EXPECT_EQ(static_cast<irr::gui::IGUICheckBox*>(element)->isChecked(), c.checked);
        break;
      case kTip:
        EXPECT_EQ(std::wstring(element->getToolTipText().c_str()), c.combo);
        break;
    }
    closeOpenOptionsMenu();
  }
}

TEST_F(OptionsMenuTest, ExperimentalBoxesFillAGridAndSetTheirRows) {
  bSmallPackets = true;
  open();
  const struct {
    int id;
    const wchar_t* label;
    recti at;
    bool checked;
  } boxes[] = {
      {-768200, L"Defer Textures", recti(0, 8, 145, 30), bDeferredTextures},
      {-768199, L"Thread Graphics", recti(150, 8, 295, 30), bThreadedGraphics},
      {-768198, L"Smaller Packets", recti(300, 8, 445, 30), true},
      {-768197, L"Larger Packets", recti(0, 33, 145, 55), bLargePackets},
  };
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.id);
    auto* element = find<irr::gui::IGUICheckBox>(box.id);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(std::wstring(element->getText()), box.label);
    EXPECT_EQ(element->getRelativePosition(), box.at);
    EXPECT_EQ(element->isChecked(), box.checked);
  }
  // The fifth cell.
  int32_t counter = 4;
  irr::gui::IGUICheckBox* fifth = addOptionCheckbox(counter, optionToggles.smallPackets, ui->root(), L"Fifth");
  EXPECT_EQ(fifth->getRelativePosition(), recti(150, 33, 295, 55));
  EXPECT_EQ(fifth->getID(), -768196);
  EXPECT_EQ(counter, 5);
  fifth->remove();

  // A change reaches the setting and the copy.
  auto* small = find<irr::gui::IGUICheckBox>(-768198);
  small->setChecked(false);
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = small;
  event.GUIEvent.EventType = irr::gui::EGET_CHECKBOX_CHANGED;
  EXPECT_TRUE(dispatchGuiCallback(event));
  EXPECT_FALSE(bSmallPackets);
  EXPECT_EQ(optionsSettings->getValue("Experimental", "bSmallPackets", "", false), "false");
}

TEST_F(OptionsMenuTest, LocalesAreListedByPathWithoutTipFiles) {
  const fs::path folder = path_.parent_path() / "data";
  fs::create_directories(folder / "Locales" / "archive.txt");  // a folder: not a locale
  for (const char* name : {"german.txt", "english.txt", "english_tips.txt", "german_tips.txt"})
    std::ofstream(folder / "Locales" / name) << "key: text\n";
  const irr::core::stringc savedLocale = localeName;
  localeName = "English";
  {
    const WorkingFolder inData(folder);
    const fs::path before = fs::current_path();
    open();
    EXPECT_EQ(fs::current_path(), before);
    auto* combo = find<irr::gui::IGUIComboBox>(-4940);
    ASSERT_NE(combo, nullptr);
    ASSERT_EQ(combo->getItemCount(), 2u);
    EXPECT_EQ(std::wstring(combo->getItem(0)), L"english");
    EXPECT_EQ(std::wstring(combo->getItem(1)), L"german");
    EXPECT_EQ(combo->getSelected(), 0);
    closeOpenOptionsMenu();
  }
  // Without the folder the box stays empty, and is bound all the same.
  const std::string savedFolder = localeFolder;
  localeFolder = (folder / "missing" / "").string();
  open();
  EXPECT_EQ(find<irr::gui::IGUIComboBox>(-4940)->getItemCount(), 0u);
  EXPECT_EQ(guiCallbackEntry(-4940).function, optionhandlers::locale);
  localeFolder = savedFolder;
  localeName = savedLocale;
}

}  // namespace

}  // namespace options_menu_test
