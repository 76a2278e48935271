// The chat window inside a game session: the frame loop refreshes it (here
// with no IRC server configured, which it says once), and the session binds
// its callbacks when it builds and tears down its GUI.
#include <gtest/gtest.h>

#include <string>

#include "app/base/config.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/game_session.h"
#include "gui/base/gui_callbacks.h"
#include "net/irc.h"
#include "net/irc_window.h"
#include "session_fixture.h"

namespace irc_session_test {

namespace {

using IrcSession = SessionTest;

TEST_F(IrcSession, FramesRefreshTheWindowAndTheSessionBindsIt) {
  sServer = "";
  openIRC();
  ASSERT_TRUE(hasIRC());
  const int32_t id = ircWindow->id();
  // As if the GUI's callback map had been emptied since.
  removeGuiCallback(id);
  removeGuiCallback(ircWindow->buttonsId());

  const uint32_t before = ircLineCount();
  SessionEnder ender([&] { return ircLineCount() > before; });
  currentModName = "/";
  EXPECT_EQ(runGameSession("spiral.as"), 0);

  EXPECT_EQ(ircLineCount(), before + 1);
  EXPECT_EQ(guiCallbackEntry(id).object, ircWindow);
  EXPECT_EQ(guiCallbackEntry(ircWindow->buttonsId()).kind, static_cast<uint32_t>(kGuiCallbackFunction));
  EXPECT_NE(guiCallbackEntry(ircWindow->buttonsId()).function, nullptr);
  closeIRC();
  EXPECT_FALSE(hasIRC());
  EXPECT_EQ(guiCallbackEntry(id).object, nullptr);
}

}  // namespace

}  // namespace irc_session_test
