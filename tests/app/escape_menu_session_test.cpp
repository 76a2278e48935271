// The escape menu across a game session: built and bound to Escape while the
// session runs, gone (with the options dialog it opened) once it has ended.
#include <IGUIElement.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/game_session.h"
#include "session_fixture.h"
#include "ui/key_bindings.h"
#include "ui/menus/escape_menu.h"
#include "ui/menus/options_menu.h"

namespace escape_menu_session_test {

namespace {

using Clock = std::chrono::steady_clock;
using EscapeMenuSession = SessionTest;

std::atomic<bool> probed{false};
std::atomic<bool> bound{false};
std::atomic<bool> shownAfterFirst{false};
std::atomic<bool> shownAfterSecond{true};
std::atomic<bool> optionsOpened{false};

// Runs on the session's thread, between frames: Escape twice, then the
// options dialog left open for the session's end.
void probeEscapeMenu(const ConsoleArgs&) {
  // The line may have been typed more than once before the first ran.
  if (probed)
    return;
  const KeyBindingSlot& slot = keyBindings.slot(kEscapeKeyCode);
  bound = sessionEscapeMenu != nullptr && slot.kind == KeyBindingSlot::kNativeAction &&
          slot.action == escapeKeyNativeAction();
  if (bound) {
    slot.execute(KF_Pressed);
    shownAfterFirst = sessionEscapeMenu->shown();
    slot.execute(0);
    slot.execute(KF_Pressed);
    shownAfterSecond = sessionEscapeMenu->shown();
    sessionEscapeMenu->toggle(true);
  }
  optionsOpened = openOptionsMenuAt(optionsSettingsPath());
  probed = true;
}

bool anyWithId(const irr::gui::IGUIElement* from, int id) {
  for (const irr::gui::IGUIElement* child : from->getChildren())
    if (child->getID() == id || anyWithId(child, id))
      return true;
  return false;
}

TEST_F(EscapeMenuSession, TheMenuLivesAsLongAsTheSession) {
  std::ofstream(optionsSettingsPath(), std::ios::binary) << "[General]\r\niRotateSaves = 6\r\n";
  Console::registerCommand(L"probe_escape_menu", probeEscapeMenu, L"");
  probed = false;

  const auto limit = Clock::now() + std::chrono::seconds(60);
  auto lastTyped = Clock::now() - std::chrono::seconds(1);
  {
    SessionEnder ender([&] {
      if (!probed && Clock::now() - lastTyped > std::chrono::milliseconds(100)) {
        typeConsoleLine("probe_escape_menu\n");
        lastTyped = Clock::now();
      }
      return probed.load() || Clock::now() > limit;
    });
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);
  }

  ASSERT_TRUE(probed);
  EXPECT_TRUE(bound);
  EXPECT_TRUE(shownAfterFirst);
  EXPECT_FALSE(shownAfterSecond);
  EXPECT_TRUE(optionsOpened);
  // Gone with the session.
  EXPECT_EQ(sessionEscapeMenu, nullptr);
  EXPECT_EQ(activeEscapeMenu(), nullptr);
  EXPECT_EQ(optionsDialog, nullptr);
  EXPECT_EQ(keyBindings.slot(kEscapeKeyCode).kind, KeyBindingSlot::kNone);
  const irr::gui::IGUIElement* root = engine.gui->getRootGUIElement();
  EXPECT_FALSE(anyWithId(root, kEscapeMenuButtonId));
  EXPECT_FALSE(anyWithId(root, kOptionsWindowId));
  EXPECT_FALSE(anyWithId(root, kOptionsTabsId));
}

}  // namespace

}  // namespace escape_menu_session_test
