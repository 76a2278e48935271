// The selection set across a game session's end: what the player had
// selected is let go with the session.
#include <gtest/gtest.h>

#include <atomic>

#include "app/game_session.h"
#include "gfx/graphics_object.h"
#include "session_fixture.h"
#include "ui/selection.h"

namespace selection_session_test {

namespace {

class SelectionSession : public SessionTest {};

TEST_F(SelectionSession, TheSessionsEndEmptiesTheSelection) {
  auto* picked = new graphicsObject(nullptr);
  std::atomic<bool> selected{false};
  {
    SessionEnder ender([&] {
      if (!selected) {
        setSelection(picked);
        selected = true;
      }
      return true;
    });
    EXPECT_EQ(runGameSession("spiral.as"), 0);
  }
  ASSERT_TRUE(selected);
  EXPECT_EQ(getSelectedObjectCount(), 0u);
  EXPECT_FALSE(picked->selected);
  EXPECT_EQ(getSubSelection(), 0u);
  EXPECT_EQ(picked->refCount.load(), 1);  // the test's own
  picked->drop();
}

}  // namespace

}  // namespace selection_session_test
