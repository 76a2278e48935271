// Saving from the escape menu with a game running: Quicksave keeps rotated
// copies, the save dialog saves under a typed name without asking and over a
// listed save only after "Overwrite Save?", and refuses names that would
// write outside the saves folder.
#include "ui/menus/save_game_menu.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/event_handler.h"
#include "app/engine_start.h"
#include "app/saved_game.h"
#include "core/locale.h"
#include "saved_game_harness.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "ui/menus/escape_menu.h"
#include "ui/menus/session_menus.h"

namespace save_game_menu_test {

namespace {

namespace fs = std::filesystem;
using saved_game_harness::Harness;

const irr::core::stringc kTinyMap = CORVANE_SOURCE_DIR "/tests/app/maps/tiny.as";

std::set<std::string> filesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<irr::gui::IGUIElement*> messageBoxes(irr::gui::IGUIElement* from) {
  std::vector<irr::gui::IGUIElement*> boxes;
  for (irr::gui::IGUIElement* child : from->getChildren()) {
    if (child->getType() == irr::gui::EGUIET_MESSAGE_BOX)
      boxes.push_back(child);
    for (irr::gui::IGUIElement* inner : messageBoxes(child))
      boxes.push_back(inner);
  }
  return boxes;
}

irr::gui::IGUIElement* buttonNamed(irr::gui::IGUIElement* from, const wchar_t* text) {
  for (irr::gui::IGUIElement* child : from->getChildren())
    if (child->getType() == irr::gui::EGUIET_BUTTON && std::wstring(child->getText()) == text)
      return child;
  return nullptr;
}

class SaveGameMenuTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    saved_game_harness::installMod();
    harness_.beginSession();
    harness_.startGame(kTinyMap);
    // GUI events reach the callback map, at a standing engine time (double
    // clicks).
    eventHandler.clear();
    registerEventHandlers();
    device_->setEventReceiver(&eventHandler);
    device_->getTimer()->stop();
    screenWidth = 640;
    rotations_ = iRotateSaves;
    fs::remove_all(savesFolder());
    fs::create_directories(savesFolder());
  }
  void TearDown() override {
    tearDownSessionEscapeMenu();
    closeMessageBoxes();
    iRotateSaves = rotations_;
    device_->getTimer()->start();
    device_->setEventReceiver(&logOnlyReceiver);
    eventHandler.clear();
    harness_.endSession();
    SessionTest::TearDown();
  }

  fs::path savesFolder() const { return fs::path(userFolders.saves.c_str()); }

  void mouse(irr::EMOUSE_INPUT_EVENT kind, irr::core::position2di at) {
    irr::SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    event.MouseInput.Event = kind;
    event.MouseInput.X = at.X;
    event.MouseInput.Y = at.Y;
    event.MouseInput.ButtonStates = kind == irr::EMIE_LMOUSE_PRESSED_DOWN ? irr::EMBSM_LEFT : 0;
    eventHandler.OnEvent(event);
  }
  void click(const irr::gui::IGUIElement* element) {
    ASSERT_NE(element, nullptr);
    const irr::core::position2di at = element->getAbsolutePosition().getCenter();
    mouse(irr::EMIE_MOUSE_MOVED, at);
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, at);
    mouse(irr::EMIE_LMOUSE_LEFT_UP, at);
  }
  // Clicks the first row of the list.
  void clickFirstRow(const irr::gui::IGUIElement* list) {
    const irr::core::recti area = list->getAbsolutePosition();
    const irr::core::position2di at(area.getCenter().X, area.UpperLeftCorner.Y + 6);
    mouse(irr::EMIE_MOUSE_MOVED, at);
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, at);
    mouse(irr::EMIE_LMOUSE_LEFT_UP, at);
  }
  void pressEnter() {
    irr::SEvent event{};
    event.EventType = irr::EET_KEY_INPUT_EVENT;
    event.KeyInput.Key = irr::KEY_RETURN;
    event.KeyInput.Char = L'\r';
    event.KeyInput.PressedDown = true;
    eventHandler.OnEvent(event);
    event.KeyInput.PressedDown = false;
    eventHandler.OnEvent(event);
  }
  void type(const wchar_t* name, bool enter) {
    SaveGameMenu* menu = saveGameMenu;
    ASSERT_NE(menu, nullptr);
    menu->nameBox()->setText(name);
    if (enter) {
      engine.gui->setFocus(menu->nameBox());
      pressEnter();
    } else {
      click(menu->saveButton());
    }
  }
  // The session menu's button of a label key.
  irr::gui::IGUIElement* menuButton(const wchar_t* key) const {
    const std::wstring label = getLocalizedText(key);
    for (const EscapeMenu::Button& entry : sessionEscapeMenu->buttons())
      if (entry.element->getText() == label)
        return entry.element;
    return nullptr;
  }
  static void closeMessageBoxes() {
    for (irr::gui::IGUIElement* box : messageBoxes(engine.gui->getRootGUIElement()))
      box->remove();
  }

  Harness harness_;
  int32_t rotations_ = 0;
};

TEST_F(SaveGameMenuTest, QuicksaveTwiceKeepsOneRotatedCopy) {
  buildSessionEscapeMenu(false, saveGame);
  iRotateSaves = 6;
  for (int i = 0; i < 2; ++i) {
    sessionEscapeMenu->toggle(true);
    click(menuButton(L"#EM_Quicksave"));
    EXPECT_FALSE(sessionEscapeMenu->shown());
  }
  EXPECT_EQ(filesIn(savesFolder()), (std::set<std::string>{"quicksave.qvs", "quicksave1.qvs"}));
  EXPECT_TRUE(messageBoxes(engine.gui->getRootGUIElement()).empty());
}

TEST_F(SaveGameMenuTest, ATypedNameSavesWithoutAsking) {
  buildSessionEscapeMenu(false, saveGame);
  for (const bool enter : {false, true}) {
    SCOPED_TRACE(enter ? "Enter" : "Save");
    fs::remove_all(savesFolder());
    fs::create_directories(savesFolder());
    sessionEscapeMenu->toggle(true);
    click(menuButton(L"#EM_Save"));
    ASSERT_NE(saveGameMenu, nullptr);
    EXPECT_EQ(saveGameMenu->window()->getID(), kSaveGameMenuId);
    EXPECT_EQ(saveGameMenu->list()->getItemCount(), 0u);
    type(L"", enter);  // nothing typed: nothing happens
    ASSERT_NE(saveGameMenu, nullptr);
    type(L"mine", enter);
    EXPECT_EQ(saveGameMenu, nullptr);
    EXPECT_EQ(filesIn(savesFolder()), std::set<std::string>{"mine.qvs"});
    EXPECT_TRUE(messageBoxes(engine.gui->getRootGUIElement()).empty());
    EXPECT_EQ(engine.gui->getRootGUIElement()->getElementFromId(kSaveGameMenuId, true), nullptr);
  }
}

TEST_F(SaveGameMenuTest, NamesWithAFolderAreRefusedAndWriteNothing) {
  const fs::path outside = savesFolder().parent_path();
  const fs::path here = fs::current_path();
  const std::set<std::string> outsideBefore = filesIn(outside);
  const std::set<std::string> hereBefore = filesIn(here);
  const std::set<std::string> aboveBefore = filesIn(here.parent_path());  // "../x" from the working folder
  const bool absoluteBefore = fs::exists("/tmp/x.qvs");
  openSaveGameMenu(saveGame);
  for (const wchar_t* name : {L"../x", L"..\\x", L"a/b", L"/tmp/x", L"..", L"."}) {
    SCOPED_TRACE(std::string(name, name + wcslen(name)));
    for (const bool enter : {false, true}) {
      LogCapture log;
      type(name, enter);
      EXPECT_NE(log.take().find("May not specify a directory with saves\n"), std::string::npos);
      ASSERT_NE(saveGameMenu, nullptr);  // the dialog stays for another name
      ASSERT_EQ(messageBoxes(engine.gui->getRootGUIElement()).size(), 1u);
      closeMessageBoxes();
    }
  }
  EXPECT_TRUE(filesIn(savesFolder()).empty());
  EXPECT_EQ(filesIn(outside), outsideBefore);
  EXPECT_EQ(filesIn(here), hereBefore);
  EXPECT_EQ(filesIn(here.parent_path()), aboveBefore);
  EXPECT_EQ(fs::exists("/tmp/x.qvs"), absoluteBefore);
}

TEST_F(SaveGameMenuTest, AListedSaveIsOverwrittenOnlyAfterOk) {
  std::ofstream(savesFolder() / "old.qvs") << "old";
  fs::create_directories(savesFolder() / "folder");
  const fs::path here = fs::current_path();
  openSaveGameMenu(saveGame);
  EXPECT_EQ(fs::current_path(), here);
  irr::gui::IGUIListBox* list = saveGameMenu->list();
  ASSERT_EQ(list->getItemCount(), 1u);  // files only
  EXPECT_EQ(std::wstring(list->getListItem(0)), L"old.qvs");

  // A choice fills in the name; choosing it again asks. Cancel changes
  // nothing; OK saves over it and closes the dialog.
  for (const wchar_t* answer : {L"Cancel", L"OK"}) {
    SCOPED_TRACE(std::string(answer, answer + wcslen(answer)));
    list->setSelected(-1);
    saveGameMenu->nameBox()->setText(L"");
    clickFirstRow(list);
    EXPECT_EQ(std::wstring(saveGameMenu->nameBox()->getText()), L"old.qvs");
    EXPECT_TRUE(messageBoxes(engine.gui->getRootGUIElement()).empty());
    clickFirstRow(list);
    const std::vector<irr::gui::IGUIElement*> boxes = messageBoxes(engine.gui->getRootGUIElement());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->getID(), kSaveGameMenuId);
    EXPECT_EQ(std::wstring(boxes[0]->getText()), L"Overwrite Save?");
    EXPECT_EQ(fileText(savesFolder() / "old.qvs"), "old");
    click(buttonNamed(boxes[0], answer));
    EXPECT_TRUE(messageBoxes(engine.gui->getRootGUIElement()).empty());
    if (std::wstring(answer) == L"Cancel") {
      EXPECT_EQ(fileText(savesFolder() / "old.qvs"), "old");
      ASSERT_NE(saveGameMenu, nullptr);
    }
  }
  EXPECT_EQ(saveGameMenu, nullptr);
  EXPECT_EQ(fileText(savesFolder() / "old.qvs").substr(0, 4), "$qvs");
  EXPECT_EQ(filesIn(savesFolder()), (std::set<std::string>{"folder", "old.qvs"}));
}

TEST_F(SaveGameMenuTest, TheCloseBoxClosesTheDialog) {
  openSaveGameMenu(saveGame);
  irr::gui::IGUIElement* closeBox = nullptr;
  for (irr::gui::IGUIElement* child : saveGameMenu->window()->getChildren())
    if (child->getType() == irr::gui::EGUIET_BUTTON && child->getID() != kSaveGameMenuId && child->isVisible())
      closeBox = child;
  click(closeBox);
  EXPECT_EQ(saveGameMenu, nullptr);
  EXPECT_EQ(engine.gui->getRootGUIElement()->getElementFromId(kSaveGameMenuId, true), nullptr);
  EXPECT_TRUE(filesIn(savesFolder()).empty());
}

}  // namespace

}  // namespace save_game_menu_test
