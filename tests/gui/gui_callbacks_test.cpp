#include "gui/base/gui_callbacks.h"

#include <IGUIElement.h>
#include <gtest/gtest.h>

namespace gui_callbacks_test {

namespace {

// A bare element with a chosen id, enough to raise GUI events from.
class Element : public irr::gui::IGUIElement {
 public:
  explicit Element(irr::s32 id)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, nullptr, nullptr, id, irr::core::rect<irr::s32>()) {}
};

irr::SEvent guiEvent(Element& caller) {
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = &caller;
  event.GUIEvent.Element = nullptr;
  event.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
  return event;
}

int calls = 0;
bool handles(const irr::SEvent&) { return ++calls > 0; }
bool declines(const irr::SEvent&) { return ++calls < 0; }

class Counter : public GuiCallback {
 public:
  bool OnEvent(const irr::SEvent&) override { return ++seen > 0; }
  int seen = 0;
};

TEST(GuiCallbackMap, DispatchesByElementId) {
  calls = 0;
  Counter object;
  Element bound(7), declining(8), objectBound(9), unbound(10);
  bindGuiCallbackFunction(handles, 7);
  bindGuiCallbackFunction(declines, 8);
  bindGuiCallbackObject(&object, 9);

  EXPECT_TRUE(dispatchGuiCallback(guiEvent(bound)));
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(declining)));
  EXPECT_TRUE(dispatchGuiCallback(guiEvent(objectBound)));
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(unbound)));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(object.seen, 1);

  // Events of other kinds never reach a handler.
  irr::SEvent key = guiEvent(bound);
  key.EventType = irr::EET_KEY_INPUT_EVENT;
  EXPECT_FALSE(dispatchGuiCallback(key));
  EXPECT_EQ(calls, 2);

  // Rebinding replaces; removing unbinds.
  bindGuiCallbackFunction(declines, 9);
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(objectBound)));
  EXPECT_EQ(object.seen, 1);
  removeGuiCallback(7);
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(bound)));
}

TEST(GuiCallbackMap, EntriesWithoutTargetAreUnhandled) {
  Element fresh(20), script(21), oddKind(22);
  guiCallbackEntry(20);  // inserted, never filled in
  GuiCallbackEntry& scriptEntry = guiCallbackEntry(21);
  scriptEntry.kind = kGuiCallbackScript;
  scriptEntry.scriptFunction = 5;
  GuiCallbackEntry& oddEntry = guiCallbackEntry(22);
  oddEntry.function = handles;
  oddEntry.kind = 7;

  EXPECT_FALSE(dispatchGuiCallback(guiEvent(fresh)));
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(script)));  // no script host installed
  EXPECT_FALSE(dispatchGuiCallback(guiEvent(oddKind)));

  static int scriptRuns = 0;
  setGuiScriptDispatcher([](int32_t id, const irr::SEvent&) { return ++scriptRuns == 1 && id == 5; });
  EXPECT_TRUE(dispatchGuiCallback(guiEvent(script)));
  setGuiScriptDispatcher(nullptr);
}

}  // namespace

}  // namespace gui_callbacks_test
