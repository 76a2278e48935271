// The GUI element script types on the null device, driven by client
// scripts: casts and factories, button appearance and sprite banks, the
// extended list box, table, edit box and image, windows with their dock,
// list, table and menu indices, and the shared rich-text tags.
#include <angelscript.h>
#include <gtest/gtest.h>
#include <irrlicht.h>

#include <string>
#include <vector>

#include "app/base/engine.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "gfx/gfx_resources.h"
#include "gui/base/gui_callbacks.h"
#include "gui/elements/extended_elements.h"
#include "gui/elements/extended_window.h"
#include "gui/extended_text.h"
#include "gui/gui_bar.h"
#include "gui/gui_draggable.h"
#include "gui/gui_panel.h"
#include "gui/gui_zoom_region.h"
#include "gui/gui_animations.h"
#include "gui/gui_bindings.h"
#include "gui/gui_events.h"
#include "gui/gui_handles.h"
#include "gui/gui_ids.h"
#include "gui/gui_script_hooks.h"
#include "gui/richtext/text_tags.h"
#include "gui/scripted_gui_element.h"
#include "gui/window_buttons.h"
#include "script/script_engine.h"
#include "script/script_file.h"
#include "script/script_string.h"
#include "support/log_capture.h"
#include "support/null_device.h"

namespace gui_element_types_test {

using namespace AngelScript;
using irr::SEvent;
using irr::core::recti;
using irr::gui::IGUIElement;

// What the engine keeps to itself about an element's layout.
struct LayoutAccess : IGUIElement {
  static irr::core::dimension2du minSize(const IGUIElement* e) { return e->*(&LayoutAccess::MinSize); }
};

class GuiElementTypesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.device = device_;
    engine.driver = device_->getVideoDriver();
    engine.scene = device_->getSceneManager();
    engine.gui = device_->getGUIEnvironment();
    std::vector<irr::core::stringc> none[4];
    GfxDescriptorLists lists{&none[0], &none[1], &none[2], &none[3]};
    initGfxResources(lists, 2, nullptr);
    root_ = engine.gui->getRootGUIElement();
    LogCapture log;
    ASSERT_TRUE(createScriptEngines());
    registerScriptString(serverScriptEngine);
    registerScriptString(clientScriptEngine);
    registerGuiBindings();
    EXPECT_EQ(log.take(), "");  // every registration accepted
  }
  void TearDown() override {
    clearEscapeEvents();
    clearGuiAnimations();
    flushScriptedGuiRemovals();
    discardScriptModules();
    freeThreadLocals();
    releaseScriptEngines();
    clearWindowDock();
    clearGuiCallbacks();
    releaseTextTags();
    gfxResources.materials.clear();
    clearGfxResources(gfxResources);
    engine = EngineGlobals{};
    device_->drop();
  }

  // Builds `code` as its own module and runs "int test()": its result, or
  // -1 with `exception` holding the exception text (or the build failure).
  int run(const std::string& code, std::string* exception = nullptr) {
    asIScriptModule* module = clientScriptEngine->GetModule("test", asGM_ALWAYS_CREATE);
    module->AddScriptSection("test", code.c_str(), code.size());
    {
      LogCapture log;  // the build's messages only
      if (module->Build() < 0) {
        ADD_FAILURE() << "does not build:\n" << log.take();
        return -1;
      }
    }
    asIScriptContext* context = createScriptContext(clientScriptEngine);
    context->Prepare(module->GetFunctionByDecl("int test()"));
    const int result = context->Execute();
    int value = -1;
    std::string thrown;
    if (result == asEXECUTION_FINISHED)
      value = static_cast<int>(context->GetReturnDWord());
    else if (result == asEXECUTION_EXCEPTION)
      thrown = context->GetExceptionString();
    else
      thrown = "not finished";
    context->Release();
    if (exception != nullptr)
      *exception = thrown;
    else
      EXPECT_EQ(thrown, "");
    return value;
  }

  // Runs `body` of "int test()" and returns the exception text.
  std::string thrownBy(const std::string& body) {
    std::string exception;
    run("int test() {\n" + body + "\nreturn 0; }\n", &exception);
    return exception;
  }

  IGUIElement* element(int id) { return root_->getElementFromId(id, true); }
  template <class T>
  T* element(int id) {
    return dynamic_cast<T*>(element(id));
  }

  static SEvent clickOn(IGUIElement* caller) {
    SEvent event{};
    event.EventType = irr::EET_GUI_EVENT;
    event.GUIEvent.Caller = caller;
    event.GUIEvent.Element = nullptr;
    event.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
    return event;
  }

  irr::IrrlichtDevice* device_ = nullptr;
  IGUIElement* root_ = nullptr;
};

// --- casts and factories ---

TEST_F(GuiElementTypesTest, CastsTestTheKindAndFactoriesTakeConsecutiveIds) {
  const int first = run(R"(
GuiButton@ kept;
int test() {
  GuiElement@ e = GuiButton(recti(0, 0, 10, 10), null, null);
  GuiButton@ b = e;
  if (b is null || b.getID() != e.getID()) return -2;
  @kept = b;
  GuiElement@ box = GuiEditBox(recti(0, 20, 40, 30), "text", true, null);
  if (cast<GuiButton>(box) !is null || box.toGuiButton() !is null) return -3;
  GuiEditBox@ edit = box;
  if (edit is null) return -4;
  int a = GuiCheckBox(false, recti(0, 0, 5, 5), null, null).getID();
  int reserved = reserveGuiID();
  int c = GuiStaticText(recti(0, 0, 5, 5), null, false, false, false, null).getID();
  if (reserved != a + 1 || c != a + 2) return -5;
  if (reserveGuiID() != c + 1 || reserveGuiID() != c + 2) return -6;
  return e.getID();
})");
  EXPECT_GE(first, kFirstGuiId);
  auto* button = element<irr::gui::IGUIButton>(first);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(guiHandleCount(button), 1);  // the module's global
}

// --- button appearance, image input, sprite banks ---

TEST_F(GuiElementTypesTest, AppearanceSwitchesOnlyWhatItsBitsName) {
  const int id = run(R"(
int test() {
  GuiButton@ b = GuiButton(recti(0, 0, 10, 10), "b", null);
  b.orphan(true);
  return b.getID();
})");
  auto* button = element<irr::gui::IGUIButton>(id);
  ASSERT_NE(button, nullptr);
  const std::string fetch = "GuiButton@ b = cast<GuiButton>(getGuiFocus()); ";
  engine.gui->setFocus(button);

  button->setScaleImage(true);
  button->setDrawBorder(false);
  button->setUseAlphaChannel(false);
  EXPECT_EQ(thrownBy(fetch + "b.setAppearance(true, BA_Background | BA_UseAlpha);"), "");
  EXPECT_TRUE(button->isDrawingBorder());
  EXPECT_TRUE(button->isAlphaChannelUsed());
  EXPECT_TRUE(button->isScalingImage());  // left as it was

  EXPECT_EQ(thrownBy(fetch + "b.setAppearance(BA_ScaleImage, BA_ScaleImage);"), "");
  EXPECT_FALSE(button->isScalingImage());  // on, then off
  EXPECT_TRUE(button->isDrawingBorder());
  EXPECT_EQ(thrownBy(fetch + "b.setAppearance(BA_UseAlpha | BA_ScaleImage, BA_Background);"), "");
  EXPECT_TRUE(button->isScalingImage());
  EXPECT_FALSE(button->isDrawingBorder());

  // An unknown sprite bank: one warning, the name cut at 100 characters.
  const std::string longName(150, 'q');
  LogCapture log;
  EXPECT_EQ(thrownBy(fetch + "b.setSprites(\"" + longName + "\", 1, 2, 3);"), "");
  EXPECT_EQ(log.take(), "Bad sprite bank name '" + std::string(100, 'q') + "'\n");
}

TEST_F(GuiElementTypesTest, ClickThroughImagesAreNeverUnderTheMouse) {
  const int id = run(R"(
int test() {
  GuiImage@ i = GuiImage(pos2di(10, 10), "missing", null);
  i.setSize(dim2di(20, 20));
  i.setClickThrough(true);
  i.orphan(true);
  return i.getID();
})");
  auto* image = element<irr::gui::CGUIImageEx>(id);
  ASSERT_NE(image, nullptr);
  EXPECT_FALSE(image->isInputEnabled());
  EXPECT_TRUE(image->isAlphaChannelUsed());
  EXPECT_EQ(root_->getElementFromPoint(irr::core::position2di(15, 15)), root_);
  image->setInputEnabled(true);
  EXPECT_EQ(root_->getElementFromPoint(irr::core::position2di(15, 15)), image);
}

TEST_F(GuiElementTypesTest, EditBoxMarksTextAndIsAlwaysMultiLine) {
  const int id = run(R"(
int test() {
  GuiEditBox@ e = GuiEditBox(recti(0, 0, 100, 20), "abcdef", true, null);
  e.setMultiLine(false);
  e.setMarkPos(1, 3);
  e.orphan(true);
  return e.getID();
})");
  auto* box = element<irr::gui::CGUIEditBoxEx>(id);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isMultiLineEnabled());
  // A typed character replaces the marked text.
  SEvent key{};
  key.EventType = irr::EET_KEY_INPUT_EVENT;
  key.KeyInput.Char = L'X';
  key.KeyInput.Key = irr::KEY_KEY_X;
  key.KeyInput.PressedDown = true;
  box->inner()->OnEvent(key);
  EXPECT_EQ(irr::core::stringw(box->getText()), irr::core::stringw(L"aXdef"));
  // Marks past the end stop at it; backwards marks work the same.
  box->setTextMark(4, 99);
  box->inner()->OnEvent(key);
  EXPECT_EQ(irr::core::stringw(box->getText()), irr::core::stringw(L"aXdeX"));
  box->setTextMark(2, 0);
  box->inner()->OnEvent(key);
  EXPECT_EQ(irr::core::stringw(box->getText()), irr::core::stringw(L"XdeX"));
}

TEST_F(GuiElementTypesTest, InnerEventsReachCallbacksAsTheOuterElement) {
  const int id = run(R"(
int test() {
  GuiListBox@ l = GuiListBox(recti(0, 0, 100, 100), true, null);
  l.addItem("one");
  l.addItem("two");
  l.orphan(true);
  return l.getID();
})");
  auto* list = element<irr::gui::CGUIListBoxEx>(id);
  ASSERT_NE(list, nullptr);
  struct Seen : GuiCallback {
    bool OnEvent(const SEvent& event) override {
      callers.push_back(event.GUIEvent.Caller);
      codes.push_back(engineGuiEventCode(event.GUIEvent));
      return true;
    }
    std::vector<IGUIElement*> callers;
    std::vector<int32_t> codes;
  } seen;
  bindGuiCallbackObject(&seen, id);
  struct Receiver : irr::IEventReceiver {
    bool OnEvent(const SEvent& event) override { return dispatchGuiCallback(event); }
  } receiver;
  device_->setEventReceiver(&receiver);

  SEvent changed{};
  changed.EventType = irr::EET_GUI_EVENT;
  changed.GUIEvent.Caller = list->inner();
  changed.GUIEvent.EventType = irr::gui::EGET_LISTBOX_CHANGED;
  list->OnEvent(changed);
  // The mouse over the second item, then off the items.
  irr::s32 y = 1;
  while (list->getItemAt(5, y) == 0)
    ++y;
  SEvent move{};
  move.EventType = irr::EET_MOUSE_INPUT_EVENT;
  move.MouseInput.Event = irr::EMIE_MOUSE_MOVED;
  move.MouseInput.X = 5;
  move.MouseInput.Y = y;
  list->OnEvent(move);
  EXPECT_EQ(list->getHovered(), 1);
  list->OnEvent(move);  // no change: no event
  move.MouseInput.Y = 90;
  list->OnEvent(move);
  EXPECT_EQ(list->getHovered(), -1);
  device_->setEventReceiver(nullptr);
  removeGuiCallback(id);

  ASSERT_EQ(seen.codes.size(), 3u);
  for (IGUIElement* caller : seen.callers)
    EXPECT_EQ(caller, list);
  EXPECT_EQ(seen.codes[0], irr::gui::EGET_LISTBOX_CHANGED);
  EXPECT_EQ(seen.codes[1], kEngineGuiListboxHovered);
  EXPECT_EQ(seen.codes[2], kEngineGuiListboxHovered);
}

// --- windows and the dock ---

TEST_F(GuiElementTypesTest, WindowFlagsPlaceTheTitleBarButtons) {
  const int both = run(R"(
int test() {
  GuiWindow@ w = GuiWindow(recti(10, 10, 200, 100), "Both", WM_Close | WM_Minimize, null);
  w.orphan(true);
  return w.getID();
})");
  const int none = run(R"(
int test() {
  GuiWindow@ w = GuiWindow(recti(10, 10, 200, 100), null, 0, null);
  w.orphan(true);
  return w.getID();
})");
  auto* window = element<irr::gui::CGUIWindowEx>(both);
  auto* plain = element<irr::gui::CGUIWindowEx>(none);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(plain, nullptr);
  irr::gui::CGUIWindowEx reference(engine.gui, nullptr, -1, recti(0, 0, 190, 90));

  EXPECT_TRUE(window->getCloseButton()->isVisible());
  EXPECT_TRUE(window->getMinimizeButton()->isVisible());
  EXPECT_FALSE(window->getMaximizeButton()->isVisible());
  EXPECT_EQ(window->getMinimizeButton()->getRelativePosition(), window->getMaximizeButton()->getRelativePosition());
  EXPECT_EQ(window->getMaximizeButton()->getRelativePosition(),
            reference.getMaximizeButton()->getRelativePosition());
  EXPECT_EQ(window->getMinimizeButton()->getID(), window->getMaximizeButton()->getID());
  EXPECT_NE(window->getMinimizeButton()->getID(), both);

  // Closing hides the window and keeps it.
  EXPECT_TRUE(dispatchGuiCallback([&] {
    SEvent closed = clickOn(window);
    closed.GUIEvent.EventType = irr::gui::EGET_ELEMENT_CLOSED;
    return closed;
  }()));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->getParent(), root_);

  EXPECT_FALSE(plain->getCloseButton()->isVisible());
  EXPECT_EQ(plain->getMaximizeButton()->getRelativePosition(), reference.getCloseButton()->getRelativePosition());
  EXPECT_FALSE(plain->getMinimizeButton()->isVisible());
  EXPECT_EQ(plain->getMinimizeButton()->getRelativePosition(),
            reference.getMinimizeButton()->getRelativePosition());
  reference.remove();
}

TEST_F(GuiElementTypesTest, MinimisedWindowsDockAlongTheBottomAndRestore) {
  const std::string make = R"(
int test() {
  GuiWindow@ w = GuiWindow(recti(20, 30, 220, 130), "W", WM_Minimize, null);
  w.setSizeBounds(recti(50, 40, 0, 0));
  w.orphan(true);
  return w.getID();
})";
  std::vector<irr::gui::CGUIWindowEx*> windows;
  for (int i = 0; i < 4; ++i) {
    windows.push_back(element<irr::gui::CGUIWindowEx>(run(make)));
    ASSERT_NE(windows.back(), nullptr);
  }
  const irr::s32 height = engine.gui->getSkin()->getSize(irr::gui::EGDS_WINDOW_BUTTON_WIDTH) + 6;
  const auto minimise = [&](irr::gui::CGUIWindowEx* w) {
    return dispatchGuiCallback(clickOn(w->getMinimizeButton()));
  };
  const auto restore = [&](irr::gui::CGUIWindowEx* w) { return dispatchGuiCallback(clickOn(w->getMaximizeButton())); };
  const auto left = [](irr::gui::CGUIWindowEx* w) { return w->getRelativePosition().UpperLeftCorner.X; };

  // Not docked: the restore button does nothing.
  EXPECT_FALSE(restore(windows[0]));
  EXPECT_EQ(windows[0]->getRelativePosition(), recti(20, 30, 220, 130));

  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(minimise(windows[i]));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(windows[i]->getRelativePosition(), recti(150 * i, 480 - height, 150 * i + 149, 480)) << i;
  EXPECT_TRUE(windows[0]->getMaximizeButton()->isVisible());
  EXPECT_FALSE(windows[0]->getMinimizeButton()->isVisible());
  EXPECT_EQ(LayoutAccess::minSize(windows[0]), irr::core::dimension2du(1, 1));

  ASSERT_TRUE(restore(windows[0]));
  EXPECT_EQ(windows[0]->getRelativePosition(), recti(20, 30, 220, 130));
  EXPECT_EQ(LayoutAccess::minSize(windows[0]), irr::core::dimension2du(50, 40));
  EXPECT_FALSE(windows[0]->getMaximizeButton()->isVisible());
  EXPECT_TRUE(windows[0]->getMinimizeButton()->isVisible());
  EXPECT_EQ(left(windows[1]), 0);
  EXPECT_EQ(left(windows[2]), 150);
  EXPECT_EQ(windows[1]->getRelativePosition().getSize(), irr::core::dimension2di(149, height));
  ASSERT_TRUE(minimise(windows[3]));
  EXPECT_EQ(left(windows[3]), 300);

  // A docked window that goes leaves the dock and its gap closes.
  windows[1]->remove();
  ASSERT_TRUE(minimise(windows[0]));
  EXPECT_EQ(dockedWindowCount(), 3u);
  EXPECT_EQ(left(windows[2]), 0);
  EXPECT_EQ(left(windows[3]), 150);
  EXPECT_EQ(left(windows[0]), 300);
}

TEST_F(GuiElementTypesTest, AWindowDeletedWhileDockedLeavesItsPlaceToTheNext) {
  run(R"(
GuiWindow@ first;
GuiWindow@ second;
int test() {
  @first = GuiWindow(recti(0, 0, 100, 100), "A", WM_Minimize, null);
  @second = GuiWindow(recti(0, 0, 100, 100), "B", WM_Minimize, null);
  return 0;
})");
  asIScriptModule* module = clientScriptEngine->GetModule("test");
  auto handle = [&](const char* name) {
    return *static_cast<IGUIElement**>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName(name)));
  };
  auto* first = static_cast<irr::gui::CGUIWindowEx*>(handle("first"));
  auto* second = static_cast<irr::gui::CGUIWindowEx*>(handle("second"));
  ASSERT_TRUE(dispatchGuiCallback(clickOn(first->getMinimizeButton())));
  // The script lets go: the window leaves the GUI and only the dock holds it.
  IGUIElement** slot = static_cast<IGUIElement**>(module->GetAddressOfGlobalVar(module->GetGlobalVarIndexByName("first")));
  guiHandleRelease(*slot);
  *slot = nullptr;
  EXPECT_EQ(first->getParent(), nullptr);
  ASSERT_TRUE(dispatchGuiCallback(clickOn(second->getMinimizeButton())));
  EXPECT_EQ(dockedWindowCount(), 1u);
  EXPECT_EQ(second->getRelativePosition().UpperLeftCorner.X, 0);
}

TEST_F(GuiElementTypesTest, ResizableWindowsAndTitleBarDragging) {
  const int id = run(R"(
int test() {
  GuiWindow@ w = GuiWindow(recti(10, 10, 210, 110), "W", WM_Resize, null);
  w.setSizeBounds(recti(150, 80, 0, 0));
  w.setWindowsDragMode(true);
  w.orphan(true);
  return w.getID();
})");
  auto* window = element<irr::gui::CGUIWindowEx>(id);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isResizable());
  EXPECT_TRUE(window->isWindowsDragMode());
  const auto mouse = [&](irr::EMOUSE_INPUT_EVENT kind, int x, int y) {
    SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    event.MouseInput.Event = kind;
    event.MouseInput.X = x;
    event.MouseInput.Y = y;
    event.MouseInput.ButtonStates = kind == irr::EMIE_LMOUSE_LEFT_UP ? 0 : irr::EMBSM_LEFT;
    window->OnEvent(event);
  };
  // The lower right corner resizes, within the minimum size.
  mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, 208, 108);
  mouse(irr::EMIE_MOUSE_MOVED, 238, 128);
  EXPECT_EQ(window->getRelativePosition(), recti(10, 10, 240, 130));
  mouse(irr::EMIE_MOUSE_MOVED, 100, 60);
  EXPECT_EQ(window->getRelativePosition(), recti(10, 10, 160, 90));
  mouse(irr::EMIE_LMOUSE_LEFT_UP, 100, 60);
  // In drag mode only the title bar moves the window.
  mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, 60, 70);
  mouse(irr::EMIE_MOUSE_MOVED, 80, 90);
  mouse(irr::EMIE_LMOUSE_LEFT_UP, 80, 90);
  EXPECT_EQ(window->getRelativePosition().UpperLeftCorner, irr::core::position2di(10, 10));
  mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, 60, 14);
  mouse(irr::EMIE_MOUSE_MOVED, 80, 34);
  mouse(irr::EMIE_LMOUSE_LEFT_UP, 80, 34);
  EXPECT_EQ(window->getRelativePosition().UpperLeftCorner, irr::core::position2di(30, 30));
  // Without drag mode, any free point moves it; not resizable, the corner
  // does too.
  window->setWindowsDragMode(false);
  window->setResizable(false);
  mouse(irr::EMIE_LMOUSE_PRESSED_DOWN, 178, 108);
  mouse(irr::EMIE_MOUSE_MOVED, 168, 98);
  mouse(irr::EMIE_LMOUSE_LEFT_UP, 168, 98);
  EXPECT_EQ(window->getRelativePosition(), recti(20, 20, 170, 100));
}

// --- lists, tables and menus ---

TEST_F(GuiElementTypesTest, ListBoxIndicesAreChecked) {
  const std::string box = R"(
GuiListBox@ box() {
  GuiListBox@ l = GuiListBox(recti(0, 0, 100, 100), true, null);
  l.addItem("a");
  l.addItem("b", 7);
  l.addItem("c");
  return l;
}
)";
  const char kOut[] = "Accessed an out-of-range list box item";
  struct Row {
    const char* call;
    const char* exception;
  };
  const Row rows[] = {
      {"string@ s = l.getItem(3);", kOut},
      {"uint id = l.getItemID(3);", kOut},
      {"l.setItemID(3, 1);", kOut},
      {"l.setItem(3, \"x\");", kOut},
      {"l.removeItem(3);", kOut},
      {"l.setItemOverrideColor(99, Color(255, 1, 2, 3));", kOut},
      {"l.clearItemOverrideColor(3);", kOut},
      {"string@ s = l.getItem(2); if (s != \"c\") return 1;", ""},
      {"l.setItemOverrideColor(2, Color(255, 1, 2, 3)); l.clearItemOverrideColor(2);", ""},
  };
  for (const Row& row : rows) {
    std::string exception;
    const int result = run(box + "int test() { GuiListBox@ l = box(); " + row.call + " return 0; }", &exception);
    EXPECT_EQ(exception, row.exception) << row.call;
    if (*row.exception == 0) {
      EXPECT_EQ(result, 0) << row.call;
    }
  }
  const int id = run(box + R"(
int test() {
  GuiListBox@ l = box();
  if (l.getItemID(1) != 7 || l.getItemID(0) != 0) return -2;
  GuiListBox@ empty = GuiListBox(recti(0, 0, 10, 10), false, null);
  empty.addItem("only", 42);
  if (empty.getItemID(0) != 42 || empty.getItemCount() != 1) return -3;
  l.setItem(1, "B");
  if (l.getItem(1) != "B" || l.getItemID(1) != 7) return -4;
  l.removeItem(0);
  if (l.getItemID(0) != 7 || l.getItemCount() != 2) return -5;
  if (l.getHovered() != -1) return -6;
  l.orphan(true);
  return l.getID();
})");
  ASSERT_GE(id, kFirstGuiId);
  auto* list = element<irr::gui::CGUIListBoxEx>(id);
  ASSERT_NE(list, nullptr);
  list->setItem(0, L"icon", 3);
  engine.gui->setFocus(list);
  run("int test() { GuiListBox@ l = cast<GuiListBox>(getGuiFocus()); l.setItem(0, \"kept\"); return 0; }");
  EXPECT_EQ(list->getIcon(0), 3);
  EXPECT_EQ(irr::core::stringw(list->getListItem(0)), irr::core::stringw(L"kept"));
}

TEST_F(GuiElementTypesTest, TableCellsTakeTheColumnFirst) {
  const std::string table = R"(
GuiTable@ table() {
  GuiTable@ t = GuiTable(recti(0, 0, 200, 60), true, null);
  t.addColumn("one");
  t.addColumn("two");
  for (int i = 0; i < 5; ++i) t.addRow();
  return t;
}
)";
  const char kCell[] = "Accessed element outside of the table";
  struct Row {
    const char* call;
    const char* exception;
  };
  const Row rows[] = {
      {"t.setCellText(1, 4, \"last\"); if (t.getCellText(1, 4) != \"last\") return 1;", ""},
      {"t.setCellText(4, 1, \"x\");", kCell},
      {"t.setCellText(1, 5, null);", kCell},
      {"string@ s = t.getCellText(2, 0);", kCell},
      {"t.setCellColor(0, 5, Color(255, 0, 0, 0));", kCell},
      {"t.setColWidth(2, 10);", "Accessed column not in table"},
      {"t.setColWidth(1, 10); t.setCellColor(0, 0, Color(255, 0, 0, 0));", ""},
      {"t.addRow(); if (t.getRowCount() != 6) return 1; t.setCellText(0, 5, \"new\");", ""},
  };
  for (const Row& row : rows) {
    std::string exception;
    const int result = run(table + "int test() { GuiTable@ t = table(); " + row.call + " return 0; }", &exception);
    EXPECT_EQ(exception, row.exception) << row.call;
    if (*row.exception == 0) {
      EXPECT_EQ(result, 0) << row.call;
    }
  }
  // Rows under the header that fit are visible; scrolled, the first goes.
  const int id = run(table + R"(
int test() {
  GuiTable@ t = table();
  for (int i = 0; i < 20; ++i) t.addRow(0);
  t.orphan(true);
  return t.getID();
})");
  auto* grid = element<irr::gui::CGUITableEx>(id);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->getRowCount(), 25);
  EXPECT_TRUE(grid->isRowVisible(0));
  EXPECT_FALSE(grid->isRowVisible(24));
  EXPECT_FALSE(grid->isRowVisible(25));
  for (IGUIElement* child : grid->inner()->getChildren())
    if (child->getType() == irr::gui::EGUIET_SCROLL_BAR && child->isVisible() &&
        child->getRelativePosition().getHeight() > child->getRelativePosition().getWidth())
      static_cast<irr::gui::IGUIScrollBar*>(child)->setPos(10000);
  EXPECT_FALSE(grid->isRowVisible(0));
  EXPECT_TRUE(grid->isRowVisible(24));
}

TEST_F(GuiElementTypesTest, SubMenuHandlesGiveTheirReferenceBack) {
  const int id = run(R"(
int test() {
  GuiContextMenu@ m = GuiContextMenu(recti(0, 0, 100, 100), null);
  m.addItem("sub", 1, true, true, false);
  m.addItem(null, 2, true, false, true);
  m.orphan(true);
  return m.getID();
})");
  auto* menu = element<irr::gui::IGUIContextMenu>(id);
  ASSERT_NE(menu, nullptr);
  irr::gui::IGUIContextMenu* sub = menu->getSubMenu(0);
  ASSERT_NE(sub, nullptr);
  const irr::s32 before = sub->getReferenceCount();
  engine.gui->setFocus(menu);
  EXPECT_EQ(run(R"(
int test() {
  GuiContextMenu@ m = cast<GuiContextMenu>(getGuiFocus());
  for (int i = 0; i < 3; ++i) {
    GuiContextMenu@ s = m.getSubMenu(0);
    if (s is null) return -2;
  }
  if (m.getSubMenu(1) !is null) return -3;
  return 0;
})"),
            0);
  EXPECT_EQ(sub->getReferenceCount(), before);
  EXPECT_EQ(sub->getParent(), menu);
  EXPECT_EQ(guiHandleCount(sub), 0);
}

// --- own elements ---

TEST_F(GuiElementTypesTest, OwnElementsAreMadeByTheirFactoriesAndAnswerAMethod) {
  struct Row {
    const char* kind;
    const char* make;  // the handle `e`, made and called once
    bool (*check)(IGUIElement* element);
  };
  const Row rows[] = {
      {"GuiDraggable", "GuiDraggable@ e = GuiDraggable(recti(0, 0, 50, 50), false, true, null); e.setPosition(pos2di(7, 8));",
       [](IGUIElement* e) {
         auto* d = dynamic_cast<irr::gui::GUIDraggable*>(e);
         return d != nullptr && d->isPassThrough() && d->isOwnSurfaceOnly() &&
                e->getRelativePosition().UpperLeftCorner == irr::core::position2di(7, 8);
       }},
      {"GuiExtText", "GuiExtText@ e = GuiExtText(recti(0, 0, 50, 50), null); e.setShadow(Color(255, 1, 2, 3));",
       [](IGUIElement* e) {
         auto* t = dynamic_cast<irr::gui::CGUIExtendedText*>(e);
         return t != nullptr && t->getShadowColor() == irr::video::SColor(255, 1, 2, 3);
       }},
      {"GuiPanel",
       "GuiPanel@ e = GuiPanel(recti(0, 0, 50, 50), false, SBM_Visible, SBM_Invisible, null); e.fitChildren(); "
       "if (e.getScrollPos().x != 0 || e.getScrollBounds().width != 0) return -2;",
       [](IGUIElement* e) {
         auto* p = dynamic_cast<irr::gui::CGUIPanel*>(e);
         return p != nullptr && p->verticalMode() == irr::gui::SBM_Visible &&
                p->horizontalMode() == irr::gui::SBM_Invisible;
       }},
      {"GuiBar", "GuiBar@ e = GuiBar(recti(0, 0, 50, 50), null); e.setPct(0.25f);",
       [](IGUIElement* e) {
         auto* b = dynamic_cast<irr::gui::CGUIBar*>(e);
         return b != nullptr && b->getPct() == 0.25f;
       }},
      {"GuiZoomRegion",
       "GuiZoomRegion@ e = GuiZoomRegion(recti(0, 0, 50, 50), 0.5f, 4.0f, null); e.setZoom(2.0f, pos2di(0, 0)); "
       "if (e.getZoom() != 2.0f) return -2;",
       [](IGUIElement* e) {
         auto* z = dynamic_cast<irr::gui::CGUIZoomRegion*>(e);
         return z != nullptr && z->getMinimum() == 0.5f && z->getMaximum() == 4.0f;
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    const int id = run(std::string("int test() {\n") + row.make + "\ne.orphan(true);\nreturn e.getID(); }\n");
    ASSERT_GE(id, kFirstGuiId);
    IGUIElement* made = element(id);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getParent(), root_);
    EXPECT_EQ(made->getReferenceCount(), 1);  // the parent's only: the handle gave its reference back
    EXPECT_TRUE(row.check(made));
  }
}

// --- shared text tags ---

TEST_F(GuiElementTypesTest, TagRegistryColoursAndImagesPerSession) {
  // Program-made rich text first: no image tag.
  auto* programText = addExtendedText(engine.gui, recti(0, 0, 100, 20), nullptr, -1);
  ASSERT_NE(programText, nullptr);
  EXPECT_EQ(defaultImageTag(), nullptr);
  EXPECT_EQ(programText->tags().size(), 7u);

  const struct {
    const wchar_t* name;
    irr::u32 color;
  } colours[] = {{L"cyan", 0xFF00FFFF}, {L"brown", 0xFFA52A2A}, {L"silver", 0xFFC0C0C0}, {L"link", 0xFF0099FF}};
  ASSERT_NE(defaultColorTag(), nullptr);
  for (const auto& colour : colours) {
    irr::video::SColor found;
    ASSERT_TRUE(defaultColorTag()->findColor(colour.name, found));
    EXPECT_EQ(found.color, colour.color);
  }

  irr::video::SMaterial firstMaterial;
  firstMaterial.setTexture(0, engine.driver->addTexture(irr::core::dimension2du(4, 4), "first"));
  NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"first").value = &firstMaterial;
  const std::string makeText = R"(
int test() {
  GuiExtText@ t = GuiExtText(recti(0, 0, 100, 20), null);
  t.orphan(true);
  return t.getID();
})";
  auto* scriptText = element<irr::gui::CGUIExtendedText>(run(makeText));
  ASSERT_NE(scriptText, nullptr);
  ASSERT_NE(defaultImageTag(), nullptr);
  EXPECT_EQ(scriptText->tags().size(), 8u);
  EXPECT_EQ(scriptText->tags()[3], defaultImageTag());
  irr::gui::CImageTextTag::Image image{};
  EXPECT_TRUE(defaultImageTag()->findImage(L"first", image));

  // The session ends; the next one has other materials.
  releaseDefaultImageTag();
  EXPECT_EQ(defaultImageTag(), nullptr);
  gfxResources.materials.clear();
  irr::video::SMaterial secondMaterial;
  secondMaterial.setTexture(0, engine.driver->addTexture(irr::core::dimension2du(4, 4), "second"));
  NamedVar<irr::video::SMaterial*>::getOrAdd(gfxResources.materials, L"second").value = &secondMaterial;
  ASSERT_NE(element<irr::gui::CGUIExtendedText>(run(makeText)), nullptr);
  ASSERT_NE(defaultImageTag(), nullptr);
  EXPECT_TRUE(defaultImageTag()->findImage(L"second", image));
  EXPECT_FALSE(defaultImageTag()->findImage(L"first", image));
  gfxResources.materials.clear();
}

TEST_F(GuiElementTypesTest, RichTextAlphaClampsAndTheDefaultColourLasts) {
  const int id = run(R"(
int test() {
  GuiExtText@ t = GuiExtText(recti(0, 0, 100, 20), null);
  t.setAlpha(1.5f);
  t.orphan(true);
  return t.getID();
})");
  auto* text = element<irr::gui::CGUIExtendedText>(id);
  ASSERT_NE(text, nullptr);
  EXPECT_FLOAT_EQ(text->getAlpha(), 1.0f);
  engine.gui->setFocus(text);
  EXPECT_EQ(run(R"(
int test() {
  GuiExtText@ t = cast<GuiExtText>(getGuiFocus());
  t.setAlpha(-0.2f);
  t.setTextColor(Color(255, 1, 2, 3));
  t.setText("again");
  Color c(0, 0, 0, 0);
  t.getTextColor(c);
  return c.R == 1 && c.G == 2 && c.B == 3 ? 0 : -2;
})"),
            0);
  EXPECT_FLOAT_EQ(text->getAlpha(), 0.0f);
}

}  // namespace gui_element_types_test
