// The escape menu as a player drives it: its layout, the Escape key (the
// scripts' escape handlers first), button clicks, the confirmation boxes,
// and what is left once the session's menu is torn down.
#include "ui/menus/escape_menu.h"

#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/locale.h"
#include "core/threads.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_script_hooks.h"
#include "script/script_engine.h"
#include "support/interface_harness.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "ui/key_bindings.h"
#include "ui/menus/options_menu.h"
#include "ui/menus/session_menus.h"

namespace escape_menu_test {

namespace {

std::vector<std::string> calls;
void first() { calls.push_back("first"); }
void second() { calls.push_back("second"); }

// Every element below `from`.
size_t elementCount(const irr::gui::IGUIElement* from) {
  size_t count = 0;
  for (const irr::gui::IGUIElement* child : from->getChildren())
    count += 1 + elementCount(child);
  return count;
}

bool inGui(const irr::gui::IGUIElement* from, const irr::gui::IGUIElement* element) {
  for (const irr::gui::IGUIElement* child : from->getChildren())
    if (child == element || inGui(child, element))
      return true;
  return false;
}

// The root's message boxes (a modal one sits in a modal screen).
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

// A message box's button by its text ("OK", "Cancel").
irr::gui::IGUIElement* boxButton(irr::gui::IGUIElement* box, const wchar_t* text) {
  for (irr::gui::IGUIElement* child : box->getChildren())
    if (child->getType() == irr::gui::EGUIET_BUTTON && std::wstring(child->getText()) == text)
      return child;
  return nullptr;
}

class EscapeMenuTest : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    ui->useFixedFont(8, 14);
    screenWidth = 800;
    calls.clear();
    setActiveKeyBindings(&keyBindings);
  }
  void TearDown() override {
    tearDownSessionEscapeMenu();
    clearEscapeEvents();
    clearGuiCallbacks();
    setActiveKeyBindings(nullptr);
    gameRunning = false;
    InterfaceTest::TearDown();
  }

  irr::gui::IGUIElement* button(const wchar_t* label) const {
    for (const EscapeMenu::Button& entry : sessionEscapeMenu->buttons())
      if (std::wstring(entry.element->getText()) == getLocalizedText(label))
        return entry.element;
    return nullptr;
  }
};

TEST_F(EscapeMenuTest, ButtonsStackUnderEachOtherAndTheWindowFitsThem) {
  EscapeMenu menu;
  EXPECT_FALSE(menu.shown());
  for (int i = 0; i < 7; ++i)
    menu.addButton(nullptr, L"Label");
  const irr::s32 tops[] = {10, 38, 66, 94, 122, 150, 178};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(menu.buttons()[i].element->getRelativePosition(), irr::core::recti(4, tops[i], 106, tops[i] + 18));
    EXPECT_EQ(menu.buttons()[i].height, 18);
    EXPECT_EQ(menu.buttons()[i].element->getID(), kEscapeMenuButtonId);
  }
  EXPECT_EQ(menu.window()->getRelativePosition(), irr::core::recti(345, 70, 455, 276));
}

TEST_F(EscapeMenuTest, ClicksRunTheButtonsCallbackThenHideTheMenu) {
  EscapeMenu menu;
  menu.addButton(first, L"First");
  menu.addButton(second, L"Second");
  menu.addButton(nullptr, L"Close");
  // A hidden menu takes no click.
  irr::SEvent click{};
  click.EventType = irr::EET_GUI_EVENT;
  click.GUIEvent.Caller = menu.buttons()[0].element;
  click.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
  EXPECT_FALSE(escapeMenuClicked(click));
  EXPECT_TRUE(calls.empty());

  const struct {
    int button;
    std::vector<std::string> calls;
  } cases[] = {{1, {"second"}}, {0, {"first"}}, {2, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    calls.clear();
    menu.toggle(true);
    ASSERT_EQ(activeEscapeMenu(), &menu);
    ui->clickElement(menu.buttons()[c.button].element);
    EXPECT_EQ(calls, c.calls);
    EXPECT_FALSE(menu.shown());
    EXPECT_EQ(activeEscapeMenu(), nullptr);
    EXPECT_EQ(ui->gui()->getFocus(), nullptr);
  }
}

TEST_F(EscapeMenuTest, EscapeShowsThenHidesTheSessionMenu) {
  buildSessionEscapeMenu(false, nullptr);
  ASSERT_NE(sessionEscapeMenu, nullptr);
  EXPECT_EQ(keyBindings.slot(kEscapeKeyCode).action, escapeKeyNativeAction());
  EXPECT_FALSE(sessionEscapeMenu->shown());
  EXPECT_TRUE(ui->tapKey(irr::KEY_ESCAPE));
  EXPECT_TRUE(sessionEscapeMenu->shown());
  EXPECT_EQ(activeEscapeMenu(), sessionEscapeMenu);
  EXPECT_TRUE(ui->tapKey(irr::KEY_ESCAPE));
  EXPECT_FALSE(sessionEscapeMenu->shown());
  EXPECT_EQ(activeEscapeMenu(), nullptr);
  // A release is not the action's.
  EXPECT_FALSE(escapeKeyAction(0));
}

TEST_F(EscapeMenuTest, ScriptHandlersGetEscapeFirstUnlessTheyFail) {
  LogCapture log;
  ASSERT_TRUE(createScriptEngines());
  AngelScript::asIScriptModule* module = clientScriptEngine->GetModule("escape", AngelScript::asGM_ALWAYS_CREATE);
  module->AddScriptSection("escape.as", R"(
class Box { int x; }
int used = 0;
void uses() { used += 1; }
void fails() { Box@ box; box.x = 1; }
)");
  ASSERT_GE(module->Build(), 0) << log.take();
  const int uses = module->GetFunctionByDecl("void uses()")->GetId();
  const int fails = module->GetFunctionByDecl("void fails()")->GetId();
  buildSessionEscapeMenu(false, nullptr);

  const struct {
    const char* name;
    int functionId;
    bool shownAfter;
  } cases[] = {
      {"a handler that uses the key keeps the menu closed", uses, false},
      {"a handler that throws leaves the key to the menu", fails, true},
      {"a handler that is gone leaves the key to the menu", -1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sessionEscapeMenu->toggle(false);
    escapeEvents.push_back({L"handler", c.functionId});
    EXPECT_TRUE(ui->tapKey(irr::KEY_ESCAPE));
    EXPECT_EQ(sessionEscapeMenu->shown(), c.shownAfter);
    EXPECT_TRUE(escapeEvents.empty());  // each binding runs once
  }
  auto* used = static_cast<int*>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("used")));
  EXPECT_EQ(*used, 1);
  freeThreadLocals();
  releaseScriptEngines();
}

TEST_F(EscapeMenuTest, ANetworkClientHasNoSaveButtons) {
  const struct {
    bool client;
    std::vector<std::wstring> labels;
  } cases[] = {
      {false,
       {L"#EM_Options", L"#EM_Quicksave", L"#EM_Save", L"#EM_OpenIRC", L"#EM_MainMenu", L"#EM_Exit", L"#EM_Close"}},
      {true, {L"#EM_Options", L"#EM_OpenIRC", L"#EM_MainMenu", L"#EM_Exit", L"#EM_Close"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.client);
    buildSessionEscapeMenu(c.client, nullptr);
    std::vector<std::wstring> labels;
    for (const EscapeMenu::Button& entry : sessionEscapeMenu->buttons())
      labels.emplace_back(entry.element->getText());
    // Texts by their keys: another test may have loaded a locale table.
    std::vector<std::wstring> expected;
    for (const std::wstring& key : c.labels)
      expected.emplace_back(getLocalizedText(key.c_str()));
    EXPECT_EQ(labels, expected);
  }
}

TEST_F(EscapeMenuTest, ConfirmationBoxesActOnlyOnOk) {
  buildSessionEscapeMenu(false, nullptr);
  const struct {
    const wchar_t* button;
    const wchar_t* caption;
    bool ok;
    bool runningAfter;
    bool deviceRunsAfter;
  } cases[] = {
      {L"#EM_MainMenu", L"#EMT_ConfirmMenu", false, true, true},
      {L"#EM_Exit", L"#EMT_ConfirmQuit", false, true, true},
      {L"#EM_MainMenu", L"#EMT_ConfirmMenu", true, false, true},
      {L"#EM_Exit", L"#EMT_ConfirmQuit", true, true, false},  // last: the device stops
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::wstring(c.button) + (c.ok ? L" OK" : L" Cancel"));
    gameRunning = true;
    sessionEscapeMenu->toggle(true);
    ui->clickElement(button(c.button));
    EXPECT_FALSE(sessionEscapeMenu->shown());
    const std::vector<irr::gui::IGUIElement*> boxes = messageBoxes(ui->root());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->getID(), kConfirmBoxId);
    EXPECT_EQ(std::wstring(boxes[0]->getText()), getLocalizedText(c.caption));
    // Nothing happens before the answer.
    EXPECT_TRUE(gameRunning);
    irr::gui::IGUIElement* answer = boxButton(boxes[0], c.ok ? L"OK" : L"Cancel");
    ASSERT_NE(answer, nullptr);
    ui->clickElement(answer);
    EXPECT_TRUE(messageBoxes(ui->root()).empty());
    EXPECT_EQ(gameRunning.load(), c.runningAfter);
    EXPECT_EQ(ui->device()->run(), c.deviceRunsAfter);
  }
}

TEST_F(EscapeMenuTest, TearDownLeavesNoMenuAndKeyUnbound) {
  std::filesystem::path settings = scratchDir() / "config.cfg";
  std::ofstream(settings) << "[General]\r\niRotateSaves = 6\r\n";
  const size_t before = elementCount(ui->root());
  buildSessionEscapeMenu(false, nullptr);
  irr::gui::IGUIElement* window = sessionEscapeMenu->window();
  sessionEscapeMenu->toggle(true);
  ui->gui()->setFocus(sessionEscapeMenu->buttons()[0].element);
  ASSERT_TRUE(openOptionsMenuAt(settings.string()));
  ui->clickElement(button(L"#EM_MainMenu"));  // a confirmation box still open
  openSaveGameMenu(nullptr);                  // and the save dialog
  ASSERT_GT(elementCount(ui->root()), before);

  tearDownSessionEscapeMenu();
  EXPECT_EQ(sessionEscapeMenu, nullptr);
  EXPECT_EQ(activeEscapeMenu(), nullptr);
  EXPECT_FALSE(inGui(ui->root(), window));
  EXPECT_EQ(keyBindings.slot(kEscapeKeyCode).kind, KeyBindingSlot::kNone);
  EXPECT_EQ(optionsDialog, nullptr);
  EXPECT_EQ(elementCount(ui->root()), before);
  // Escape without a menu is used all the same; the callback entry of the
  // old menu does nothing.
  EXPECT_TRUE(escapeKeyAction(KF_Pressed));
}

}  // namespace

}  // namespace escape_menu_test
