// The galaxy's render group and the object icons in game sessions: each new
// game shows the galaxy's group and has the icons, and each session's end
// leaves no group and no icon behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "app/base/config.h"
#include "app/base/console.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "app/console_commands.h"
#include "app/game_session.h"
#include "app/saved_game.h"
#include "core/named_values.h"
#include "gfx/object_icons.h"
#include "gfx/render_group.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"

namespace render_session_test {

namespace {

// What a running session showed.
struct Seen {
  std::atomic<bool> taken{false};
  bool viewIsTheGalaxysGroup = false;
  bool groupIsRegistered = false;
  irr::u32 icons = 0;
};

void look(Seen& seen) {
  graphicsObject* view = currentViewGroup();
  seen.viewIsTheGalaxysGroup = galaxy != nullptr && view != nullptr && view == galaxy->graphics;
  seen.groupIsRegistered = galaxy != nullptr && renderGroupMap.count(galaxy) == 1 && renderGroupMap[galaxy] == view;
  seen.icons = objectIconDescs.size();
  seen.taken = true;
}

class RenderSession : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    savedSettings_ = gameSettings;
    savedThreads_ = uiThreadCount;
    registerConsoleCommands();
    ASSERT_GE(consoleInputPipe(), 0);
    installTestMaps();
    singleThreaded = true;
    uiThreadCount = 0;
    setGameSetting(L"AI_COUNT", 1.0f);
  }
  void TearDown() override {
    loadGameName = "";
    uiThreadCount = savedThreads_;
    gameSettings = savedSettings_;
    SessionTest::TearDown();
  }

  static void expectNothingLeft() {
    EXPECT_EQ(currentViewGroup(), nullptr);
    EXPECT_TRUE(renderGroupMap.empty());
    EXPECT_EQ(objectIconDescs.size(), 0u);
  }

  NamedVar<float>::Registry savedSettings_;
  uint32_t savedThreads_ = 0;
};

TEST_F(RenderSession, EachNewGameShowsTheGalaxysGroupAndLeavesNothingBehind) {
  currentModName = kTestMapsMod;
  irr::u32 icons = 0;
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    Seen seen;
    {
      SessionEnder ender([&] {
        if (!seen.taken)
          look(seen);
        return true;
      });
      EXPECT_EQ(runGameSession("tiny"), 0);
    }
    ASSERT_TRUE(seen.taken);
    EXPECT_TRUE(seen.viewIsTheGalaxysGroup);
    EXPECT_TRUE(seen.groupIsRegistered);
    EXPECT_GE(seen.icons, 3u);
    if (session == 1) {
      EXPECT_EQ(seen.icons, icons) << "each session reads the file once";
    }
    icons = seen.icons;
    expectNothingLeft();
  }
}

TEST_F(RenderSession, ALoadedSaveShowsItsGalaxysGroupAndLeavesNothingBehind) {
  currentModName = kTestMapsMod;
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool typed = false;
  {
    // Saved and loaded from the console: the load ends this session and
    // names the save for the next one.
    SessionEnder ender([&] {
      if (!typed) {
        typeConsoleLine("save_game render_view\nload_game render_view\n");
        typed = true;
      }
      return std::chrono::steady_clock::now() > limit;
    });
    EXPECT_EQ(runGameSession("tiny"), 0);
  }
  ASSERT_EQ(loadGameName, savedGamePath("render_view.qvs"));
  expectNothingLeft();

  // The loaded galaxy's group, made by the object tree's reader, is the view.
  Seen seen;
  LogCapture log;
  {
    SessionEnder ender([&] {
      if (!seen.taken)
        look(seen);
      return true;
    });
    EXPECT_EQ(runGameSession(loadGameName), 0);
  }
  EXPECT_NE(log.take().find("Save game loaded\n"), std::string::npos) << "a loaded game, not a new one";
  ASSERT_TRUE(seen.taken);
  EXPECT_TRUE(seen.viewIsTheGalaxysGroup);
  EXPECT_TRUE(seen.groupIsRegistered);
  expectNothingLeft();
}

}  // namespace

}  // namespace render_session_test
