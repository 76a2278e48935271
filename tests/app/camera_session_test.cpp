// The game camera across game sessions in one process: each session makes
// its scene camera, binds it to the game camera while it runs, and removes
// it at its end.
#include <gtest/gtest.h>

#include <irrlicht.h>

#include <atomic>

#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/game_session.h"
#include "gfx/game_camera.h"
#include "session_fixture.h"

namespace camera_session_test {

namespace {

using CameraSession = SessionTest;

irr::u32 sceneCameras() {
  irr::u32 count = 0;
  for (irr::scene::ISceneNode* child : engine.scene->getRootSceneNode()->getChildren())
    if (child->getType() == irr::scene::ESNT_CAMERA)
      ++count;
  return count;
}

TEST_F(CameraSession, EachSessionBindsItsSceneCameraAndRemovesItAtItsEnd) {
  // Read once the session runs: the node was bound before it became active.
  std::atomic<int> bound{0};
  SessionEnder ender([&bound] {
    if (gameCamera.node != nullptr && gameCamera.node == sessionCameraNode)
      ++bound;
    return true;
  });
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    currentModName = "/";
    const int before = bound.load();
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    EXPECT_GT(bound.load(), before);
    EXPECT_EQ(gameCamera.node, nullptr);
    EXPECT_EQ(sessionCameraNode, nullptr);
    EXPECT_EQ(gameCamera.focus, nullptr);
    EXPECT_EQ(sceneCameras(), 0u);
    // The session's first step placed the camera away from where it starts.
    EXPECT_NE(gameCamera.lastPosition, irr::core::vector3df(1, 1, 1));
  }
}

}  // namespace

}  // namespace camera_session_test
