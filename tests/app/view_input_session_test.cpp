// The strategic view's input in a whole game session: the frame loop runs
// its step every pass, and the session's end discards a repeat recording
// still being made.
#include <gtest/gtest.h>

#include <atomic>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "app/game_session.h"
#include "gfx/game_camera.h"
#include "session_fixture.h"
#include "ui/repeat_mode.h"
#include "ui/selection.h"
#include "ui/view_input.h"
#include "universe/orders/repeat_orders.h"

namespace view_input_session_test {

namespace {

using ViewInputSession = SessionTest;

TEST_F(ViewInputSession, TheFrameLoopRunsTheViewStepAndTheEndDiscardsARecording) {
  const bool edgeScroll = bEdgeScroll;
  bEdgeScroll = true;
  viewInputState = ViewInputState{};
  // A mouse event left the cursor at the left edge before the session.
  viewCursor = ViewCursor{};
  viewCursor.position.set(0, 200);
  viewCursor.known = true;
  gameCamera.worldMoveInput.set(0, 0, 0);
  // A recording left running when the session ends.
  repeatRecording = new repeat_orders;
  repeatRecording->appendOrder(new repeat_orders);

  std::atomic<int> scrolled{0};
  {
    // The loop is ended after about 20 s (a safety net only) even when its
    // step never scrolls.
    int polls = 0;
    SessionEnder ender([&scrolled, &polls] {
      if (gameCamera.worldMoveInput.X == -1.0f)
        ++scrolled;
      return scrolled.load() > 0 || ++polls > 20000;
    });
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);
  }
  EXPECT_GT(scrolled.load(), 0) << "the frame loop's view step scrolled at the edge";
  // Discarded (the leak check sees it deleted), given to no one.
  EXPECT_EQ(repeatRecording, nullptr);
  EXPECT_EQ(repeatModeLabel(), nullptr);
  EXPECT_TRUE(repeatRecordedSelection().empty());

  gameCamera.worldMoveInput.set(0, 0, 0);
  viewCursor = ViewCursor{};
  viewInputState = ViewInputState{};
  bEdgeScroll = edgeScroll;
}

}  // namespace

}  // namespace view_input_session_test
