// The GUI callback map across a game session: the session starts its GUI
// from an empty map, so an id bound before it no longer dispatches while the
// console's window and input ids do; and the map is emptied again as the
// session ends.
#include <IGUIElement.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/game_session.h"
#include "gui/base/gui_callbacks.h"
#include "session_fixture.h"

namespace gui_hooks_session_test {

namespace {

using Clock = std::chrono::steady_clock;
using GuiHooksSession = SessionTest;

constexpr int32_t kStaleId = 7771;
constexpr int32_t kSessionId = 7772;

// A bare element with a chosen id.
class Element : public irr::gui::IGUIElement {
 public:
  explicit Element(irr::s32 id)
      : IGUIElement(irr::gui::EGUIET_ELEMENT, nullptr, nullptr, id, irr::core::rect<irr::s32>()) {}
};

bool clicked(int32_t id) {
  Element caller(id);
  irr::SEvent event{};
  event.EventType = irr::EET_GUI_EVENT;
  event.GUIEvent.Caller = &caller;
  event.GUIEvent.EventType = irr::gui::EGET_BUTTON_CLICKED;
  return dispatchGuiCallback(event);
}

bool handles(const irr::SEvent&) { return true; }

bool consoleBound(int32_t id) {
  const GuiCallbackEntry& entry = guiCallbackEntry(id);
  return entry.kind == kGuiCallbackFunction && entry.function != nullptr;
}

std::atomic<bool> probed{false};
std::atomic<bool> staleDispatched{true};
std::atomic<bool> consoleIdsBound{false};

// Runs on the session's thread, between frames.
void probeGuiHooks(const ConsoleArgs&) {
  staleDispatched = clicked(kStaleId);
  consoleIdsBound = consoleBound(Console::kWindowId) && consoleBound(Console::kInputId);
  bindGuiCallbackFunction(handles, kSessionId);
  probed = true;
}

TEST_F(GuiHooksSession, TheSessionStartsAndEndsWithAnEmptyCallbackMap) {
  Console::registerCommand(L"probe_gui_hooks", probeGuiHooks, L"");
  bindGuiCallbackFunction(handles, kStaleId);
  ASSERT_TRUE(clicked(kStaleId));
  probed = false;

  const auto limit = Clock::now() + std::chrono::seconds(60);
  auto lastTyped = Clock::now() - std::chrono::seconds(1);
  SessionEnder ender([&] {
    if (!probed && Clock::now() - lastTyped > std::chrono::milliseconds(100)) {
      typeConsoleLine("probe_gui_hooks\n");
      lastTyped = Clock::now();
    }
    return probed.load() || Clock::now() > limit;
  });
  currentModName = "/";
  EXPECT_EQ(runGameSession("spiral.as"), 0);

  ASSERT_TRUE(probed);
  EXPECT_FALSE(staleDispatched);
  EXPECT_TRUE(consoleIdsBound);
  // Emptied at the session's end.
  EXPECT_FALSE(clicked(kSessionId));
}

}  // namespace

}  // namespace gui_hooks_session_test
