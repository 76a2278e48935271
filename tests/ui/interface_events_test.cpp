// Player input through the event handler, as the engine delivers it: GUI
// events of real elements reach script handlers bound with bindGuiCallback
// in the script's own event codes, and the Alt keys are followed for the
// key bindings and the scripts' "altKey".
#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/event_handler.h"
#include "gui/base/gui_callbacks.h"
#include "gui/gui_events.h"
#include "script/script_engine.h"
#include "scriptapi/script_session.h"
#include "support/interface_harness.h"
#include "ui/key_bindings.h"

namespace interface_events_test {

namespace {

using namespace AngelScript;
using irr::core::recti;

// Counts the events of each code; handles none of them, as a handler that
// takes every event would refuse the elements their focus.
const char* const kHandlers = R"(
int[] seen(29);
bool onGui(const GUIEvent@ e) {
  int code = e.EventType;
  if (code >= 0 && code < 29)
    seen[code] += 1;
  return false;
}
int seenOf(int code) { return seen[code]; }
void bindTo(int id) { bindGuiCallback(id, "onGui"); }
bool altHeld() { return altKey; }
)";

constexpr irr::s32 kButtonId = 9601;
constexpr irr::s32 kBoxId = 9602;
constexpr irr::s32 kMenuId = 9603;
constexpr irr::s32 kLooseButtonId = 9604;  // no handler bound
constexpr irr::EKEY_CODE kProbeKey = irr::KEY_KEY_T;

std::vector<uint8_t> probeFlags;
bool probe(uint8_t flags) {
  probeFlags.push_back(flags);
  return true;
}

class InterfaceEventsTest : public scriptapitest::ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    ui_ = std::make_unique<InterfaceHarness>();
    ASSERT_NE(ui_->device(), nullptr);
    startSession({});
    ASSERT_NE(clientScriptEngine, nullptr);
    module_ = build(clientScriptEngine, "harness", kHandlers);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    for (irr::s32 id : {kButtonId, kBoxId, kMenuId, kLooseButtonId})
      removeGuiCallback(id);
    ui_.reset();
    ScriptSessionTest::TearDown();
  }

  // Runs a function of the handler module on a client context.
  std::string run(const char* declaration, int argument = 0) {
    asIScriptFunction* function = module_->GetFunctionByDecl(declaration);
    if (function == nullptr)
      return std::string("no function ") + declaration;
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(function);
    if (function->GetParamCount() > 0)
      context->SetArgDWord(0, static_cast<asDWORD>(argument));
    std::string outcome;
    if (context->Execute() != asEXECUTION_FINISHED)
      outcome = "failed";
    else if (function->GetReturnTypeId() == asTYPEID_BOOL)
      outcome = context->GetReturnByte() != 0 ? "true" : "false";
    else if (function->GetReturnTypeId() == asTYPEID_INT32)
      outcome = std::to_string(static_cast<int>(context->GetReturnDWord()));
    context->Release();
    return outcome;
  }

  // How many events of our code `code` the handler saw.
  std::string seen(int code) { return run("int seenOf(int)", code); }

  std::unique_ptr<InterfaceHarness> ui_;
  asIScriptModule* module_ = nullptr;
};

TEST_F(InterfaceEventsTest, ElementEventsReachScriptHandlersInScriptCodes) {
  ui_->useFixedFont(8, 14);
  irr::gui::IGUIEnvironment* gui = ui_->gui();
  irr::gui::IGUIButton* button = gui->addButton(recti(10, 10, 110, 40), nullptr, kButtonId, L"Go");
  irr::gui::IGUICheckBox* box = gui->addCheckBox(false, recti(10, 60, 110, 80), nullptr, kBoxId, L"Box");
  irr::gui::IGUIButton* loose = gui->addButton(recti(10, 100, 110, 130), nullptr, kLooseButtonId, L"Loose");
  for (irr::s32 id : {kButtonId, kBoxId})
    ASSERT_EQ(run("void bindTo(int)", id), "");

  // An element with no binding: nothing reaches the script.
  ui_->clickElement(loose);
  for (int code = 0; code < 29; ++code)
    EXPECT_EQ(seen(code), "0") << code;

  // Focus and hover changes pass on the way; the click, the toggle and the
  // choice arrive in our codes, never in the engine's (7 is our scroll bar
  // code, 21 has no name).
  ui_->clickElement(button);
  EXPECT_EQ(seen(kGevtClicked), "1");

  ui_->clickElement(box);
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(seen(kGevtCheckboxToggled), "1");
  EXPECT_EQ(seen(irr::gui::EGET_CHECKBOX_CHANGED), "0");

  // A menu takes the focus when it opens. Its second row: rows start 3
  // pixels down, one font line each.
  irr::gui::IGUIContextMenu* menu = gui->addContextMenu(recti(200, 100, 300, 200), nullptr, kMenuId);
  menu->addItem(L"First");
  menu->addItem(L"Second");
  ASSERT_EQ(run("void bindTo(int)", kMenuId), "");
  const recti area = menu->getAbsolutePosition();
  const irr::s32 x = area.UpperLeftCorner.X + 20;
  const irr::s32 y = area.UpperLeftCorner.Y + 3 + 14 + 7;
  ui_->moveMouse(x, y);  // lights the row
  ui_->pressMouse(x, y);
  EXPECT_EQ(menu->getSelectedItem(), 1);
  ui_->releaseMouse(x, y);
  EXPECT_EQ(seen(kGevtMenuItemSelected), "1");
  EXPECT_EQ(seen(irr::gui::EGET_MENU_ITEM_SELECTED), "0");
  EXPECT_EQ(kGevtMenuItemSelected, 23);
}

TEST_F(InterfaceEventsTest, AltKeysAreHeldUntilReleased) {
  KeyBindings* previous = activeKeyBindings();
  KeyBindings table;
  table.bindAction(static_cast<uint8_t>(kProbeKey), registerNativeKeyAction(L"harness probe", probe, 0));
  setActiveKeyBindings(&table);
  // An edit box with the focus consumes every key first: Alt is followed
  // all the same.
  irr::gui::IGUIEditBox* edit = ui_->gui()->addEditBox(L"", recti(10, 10, 200, 30));

  const struct {
    const char* label;
    irr::EKEY_CODE alt;
    bool editFocused;
  } cases[] = {
      {"left Alt", irr::KEY_LMENU, false},
      {"right Alt", irr::KEY_RMENU, false},
      {"the menu key", irr::KEY_MENU, false},
      {"left Alt into a focused edit box", irr::KEY_LMENU, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ui_->gui()->setFocus(c.editFocused ? edit : nullptr);
    ui_->pressKey(c.alt);
    EXPECT_TRUE(altKeyDown);
    EXPECT_EQ(run("bool altHeld()"), "true");
    ui_->gui()->setFocus(nullptr);
    probeFlags.clear();
    ui_->tapKey(kProbeKey, L't', {true, false});
    EXPECT_EQ(probeFlags, (std::vector<uint8_t>{KF_Pressed | KF_Shift | KF_Alt, KF_Shift | KF_Alt}));

    ui_->gui()->setFocus(c.editFocused ? edit : nullptr);
    ui_->releaseKey(c.alt);
    EXPECT_FALSE(altKeyDown);
    EXPECT_EQ(run("bool altHeld()"), "false");
    ui_->gui()->setFocus(nullptr);
    probeFlags.clear();
    ui_->tapKey(kProbeKey, L't', {false, true});
    EXPECT_EQ(probeFlags, (std::vector<uint8_t>{KF_Pressed | KF_Control, KF_Control}));
  }
  // Other keys leave Alt alone.
  ui_->pressKey(irr::KEY_LMENU);
  ui_->tapKey(irr::KEY_SHIFT);
  EXPECT_TRUE(altKeyDown);
  ui_->releaseKey(irr::KEY_LMENU);
  setActiveKeyBindings(previous);
}

}  // namespace

}  // namespace interface_events_test
