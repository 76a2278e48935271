// The game camera on the null driver: its held inputs, zoom, moves,
// rotation steps, view reset, node binding and frame step.
#include "gfx/game_camera.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <cmath>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "support/null_device.h"

namespace game_camera_test {

namespace {

using irr::core::line3df;
using irr::core::quaternion;
using irr::core::vector3df;

bool finite(const vector3df& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

void expectNear(const vector3df& actual, const vector3df& expected, float tolerance = 1e-3f) {
  EXPECT_NEAR(actual.X, expected.X, tolerance);
  EXPECT_NEAR(actual.Y, expected.Y, tolerance);
  EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

class GameCameraNodeTest : public testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    engine.scene = device_->getSceneManager();
    shiftKeyDown = false;
    altKeyDown = false;
  }
  void TearDown() override {
    camera.attachNode(nullptr);
    shiftKeyDown = false;
    altKeyDown = false;
    engine = EngineGlobals{};
    device_->drop();
  }

  // A scene camera at `position` looking at `target`, bound to `camera`.
  irr::scene::ICameraSceneNode* attach(const vector3df& position, const vector3df& target) {
    irr::scene::ICameraSceneNode* node = engine.scene->addCameraSceneNode(nullptr, position, target);
    node->updateAbsolutePosition();
    camera.attachNode(node);
    return node;
  }

  // The node placed directly, with the camera fixed where it is.
  void place(const vector3df& position, const vector3df& target) {
    camera.node->setPosition(position);
    camera.node->setTarget(target);
    camera.node->updateAbsolutePosition();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  GameCamera camera;
};

// Each of the eighteen actions writes its value into its component; a
// release clears it only while it still holds that value.
TEST_F(GameCameraNodeTest, HeldInputsFollowTheKeyTable) {
  struct Row {
    const wchar_t* action;
    vector3df GameCamera::*input;
    int axis;
    float value;
  };
  const Row rows[] = {
      {L"camera_left", &GameCamera::moveInput, 0, -1},
      {L"camera_right", &GameCamera::moveInput, 0, 1},
      {L"camera_up", &GameCamera::moveInput, 1, 1},
      {L"camera_down", &GameCamera::moveInput, 1, -1},
      {L"camera_forward", &GameCamera::moveInput, 2, -1},
      {L"camera_backward", &GameCamera::moveInput, 2, 1},
      {L"camera_world_left", &GameCamera::worldMoveInput, 0, -1},
      {L"camera_world_right", &GameCamera::worldMoveInput, 0, 1},
      {L"camera_world_up", &GameCamera::worldMoveInput, 1, 1},
      {L"camera_world_down", &GameCamera::worldMoveInput, 1, -1},
      {L"camera_world_forward", &GameCamera::worldMoveInput, 2, -1},
      {L"camera_world_backward", &GameCamera::worldMoveInput, 2, 1},
      {L"camera_rot_left", &GameCamera::rotateInput, 0, -1},
      {L"camera_rot_right", &GameCamera::rotateInput, 0, 1},
      {L"camera_rot_up", &GameCamera::rotateInput, 1, -1},
      {L"camera_rot_down", &GameCamera::rotateInput, 1, 1},
      {L"camera_rot_left_roll", &GameCamera::rotateInput, 2, -1},
      {L"camera_rot_right_roll", &GameCamera::rotateInput, 2, 1},
  };
  auto part = [](const vector3df& v, int axis) { return axis == 0 ? v.X : (axis == 1 ? v.Y : v.Z); };
  for (const Row& row : rows) {
    SCOPED_TRACE(irr::core::stringc(row.action).c_str());
    GameCamera held;
    ASSERT_TRUE(held.holdInput(row.action, true));
    const vector3df written = held.*row.input;
    EXPECT_EQ(part(written, row.axis), row.value);
    EXPECT_EQ(written.getLengthSQ(), 1.0f) << "one component only";
    EXPECT_EQ(held.moveInput.getLengthSQ() + held.worldMoveInput.getLengthSQ() + held.rotateInput.getLengthSQ(),
              1.0f);
    // The opposite key pressed over it, then this one released: the
    // opposite value stays; its own release clears it.
    (held.*row.input).set(0, 0, 0);
    held.holdInput(row.action, true);
    if (row.axis == 0)
      (held.*row.input).X = -row.value;
    else if (row.axis == 1)
      (held.*row.input).Y = -row.value;
    else
      (held.*row.input).Z = -row.value;
    held.holdInput(row.action, false);
    EXPECT_EQ(part(held.*row.input, row.axis), -row.value);
    held.holdInput(row.action, true);
    held.holdInput(row.action, false);
    EXPECT_EQ(part(held.*row.input, row.axis), 0.0f);
  }

  EXPECT_TRUE(camera.holdInput(L"camera_left", true));
  EXPECT_TRUE(camera.holdInput(L"camera_right", true));
  EXPECT_TRUE(camera.holdInput(L"camera_left", false));
  EXPECT_EQ(camera.moveInput.X, 1.0f);
  EXPECT_FALSE(camera.holdInput(L"camera_reset", true));
  EXPECT_FALSE(camera.holdInput(L"CAMERA_LEFT", true));
  EXPECT_EQ(camera.moveInput, vector3df(1, 0, 0));
}

TEST_F(GameCameraNodeTest, ZoomStaysWithinItsBounds) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  EXPECT_EQ(camera.zoomDistance, 100.0f);
  struct Case {
    float from;
    float steps;
    float to;
  };
  const Case cases[] = {
      {100.0f, 1.0f, 80.0f},          {100.0f, -1.0f, 125.0f},         {10.0f, 100.0f, 1.0f},
      {100.0f, -1e9f, 3000000.0f},    {2900000.0f, -1.0f, 3000000.0f}, {0.0f, -1e9f, 1.0f},
      {100.0f, std::nanf(""), 100.0f}, {0.5f, 0.0f, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " by " << c.steps);
    camera.zoomDistance = c.from;
    camera.zoom(c.steps);
    EXPECT_FLOAT_EQ(camera.zoomDistance, c.to);
  }
  camera.zoomDistance = 60.0f;
  EXPECT_EQ(camera.dragScale(), 0.5f);
  camera.zoomDistance = 240.0f;
  EXPECT_EQ(camera.dragScale(), 2.0f);
}

TEST_F(GameCameraNodeTest, RayAndPointZoomsMoveTheTargetOrNothing) {
  irr::scene::ICameraSceneNode* node = attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  place(vector3df(0, 0, -100), vector3df(0, 0, 0));
  camera.targetOffset.set(0, 0, 0);

  // 100 x 0.8: the target goes a fifth of the way to the point 100 units
  // along the ray.
  camera.zoomDistance = 100.0f;
  camera.zoomAlongRay(1.0f, line3df(vector3df(0, 0, -100), vector3df(0, 50, -100)));
  EXPECT_FLOAT_EQ(camera.zoomDistance, 80.0f);
  expectNear(camera.targetOffset, vector3df(0, 0, -100) * 0.2f + vector3df(0, 100, 0) * 0.2f);

  // Below 2.5, beyond 3,000,000, or an endless factor: nothing changes.
  const struct {
    float zoom;
    float steps;
  } refused[] = {{3.0f, 1.0f}, {2900000.0f, -1.0f}, {100.0f, -1e9f}, {100.0f, 1e9f}};
  for (const auto& c : refused) {
    camera.zoomDistance = c.zoom;
    camera.targetOffset.set(1, 2, 3);
    camera.zoomAlongRay(c.steps, line3df(vector3df(0, 0, 0), vector3df(1, 0, 0)));
    EXPECT_EQ(camera.zoomDistance, c.zoom);
    EXPECT_EQ(camera.targetOffset, vector3df(1, 2, 3));
  }

  // Toward a point: not closer than the nearest distance; the distance
  // keeps above 2.5 while the target still moves.
  camera.zoomDistance = 100.0f;
  camera.targetOffset.set(0, 0, 0);
  camera.zoomTowardPoint(1.0f, 90.0f, vector3df(0, 0, 0));  // 100 x 0.8 < 90
  EXPECT_EQ(camera.zoomDistance, 100.0f);
  EXPECT_EQ(camera.targetOffset, vector3df(0, 0, 0));
  camera.zoomTowardPoint(1.0f, 10.0f, vector3df(50, 0, 0));
  EXPECT_FLOAT_EQ(camera.zoomDistance, 80.0f);
  expectNear(camera.targetOffset, vector3df(10, 0, 0));
  camera.zoomDistance = 3.0f;
  camera.zoomTowardPoint(1.0f, 0.0f, vector3df(50, 0, 0));
  EXPECT_EQ(camera.zoomDistance, 3.0f);
  expectNear(camera.targetOffset, vector3df(18, 0, 0));
  camera.zoomTowardPoint(-1e9f, 0.0f, vector3df(50, 0, 0));
  expectNear(camera.targetOffset, vector3df(18, 0, 0));
  EXPECT_TRUE(finite(node->getTarget()));
}

TEST_F(GameCameraNodeTest, MovesShiftTheTarget) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  place(vector3df(0, 0, -100), vector3df(0, 0, 0));
  camera.node->setUpVector(vector3df(0, 1, 0));
  camera.targetOffset.set(0, 0, 0);
  camera.moveForward(10.0f);
  expectNear(camera.targetOffset, vector3df(0, 0, -10));
  camera.targetOffset.set(0, 0, 0);
  camera.panSpeed = 2.0f;
  // Right with a positive x, down the up vector with a positive y.
  camera.moveInViewPlane(1.0f, 1.0f);
  expectNear(camera.targetOffset, vector3df(0, -6, 0) + vector3df(0, 1, 0).crossProduct(vector3df(0, 0, 3)) * 2.0f);
  // A node that looks at its own position: the direction is used as it is.
  place(vector3df(5, 5, 5), vector3df(5, 5, 5));
  camera.targetOffset.set(0, 0, 0);
  camera.moveForward(10.0f);
  camera.moveInViewPlane(1.0f, 0.0f);
  EXPECT_EQ(camera.targetOffset, vector3df(0, 0, 0));
}

TEST_F(GameCameraNodeTest, AngleModeRotationLimits) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  camera.freeform = false;
  camera.verticalSensitivity = 25.0f;
  camera.holdInput(L"camera_rot_down", true);
  for (int i = 0; i < 10; ++i)
    camera.update(0.01f);
  EXPECT_EQ(camera.targetPitch, 80.0f);
  camera.holdInput(L"camera_rot_down", false);

  // Yaw: wrapped into (-180, 180], refused beyond a 90-degree lead.
  camera.horizontalSensitivity = 1.0f;
  const struct {
    float yaw;
    float targetYaw;
    float input;
    float after;
  } steps[] = {
      {0.0f, 85.0f, 10.0f, 85.0f},     {0.0f, 85.0f, 5.0f, 90.0f},      {170.0f, 170.0f, 20.0f, -170.0f},
      {-170.0f, -170.0f, -15.0f, 175.0f}, {0.0f, 0.0f, 100.0f, 25.0f}, {0.0f, -85.0f, -10.0f, -85.0f},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(testing::Message() << s.yaw << " " << s.targetYaw << " " << s.input);
    camera.yaw = s.yaw;
    camera.targetYaw = s.targetYaw;
    camera.yawStep(s.input);
    EXPECT_FLOAT_EQ(camera.targetYaw, s.after);
  }
  // The angle mode has no roll.
  const quaternion before = camera.targetOrientation;
  camera.rollStep(10.0f);
  EXPECT_EQ(camera.targetOrientation, before);
}

TEST_F(GameCameraNodeTest, FreeformStepsAreRefusedAtNinetyDegreesOfLead) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  camera.orientation = quaternion(0, 0, 0, 1);
  camera.verticalSensitivity = 1.0f;
  camera.horizontalSensitivity = 1.0f;
  auto lead = [&] {
    return std::acos(std::min(1.0f, camera.targetOrientation.dotProduct(camera.orientation))) * irr::core::RADTODEG;
  };
  // 170 degrees about z: a lead of 85 by the acos-of-dot measure.
  camera.targetOrientation.fromAngleAxis(170.0f * irr::core::DEGTORAD, vector3df(0, 0, 1));
  camera.pitchStep(25.0f);  // 195 degrees: 97.5
  EXPECT_NEAR(lead(), 85.0f, 0.01f);
  camera.pitchStep(5.0f);  // 175 degrees: 87.5
  EXPECT_NEAR(lead(), 87.5f, 0.01f);
  camera.yawStep(25.0f);
  camera.rollStep(25.0f);
  EXPECT_LT(lead(), 90.0f);

  // A single step is at most 25 degrees.
  camera.targetOrientation = quaternion(0, 0, 0, 1);
  camera.rollStep(1000.0f);
  EXPECT_NEAR(lead(), 12.5f, 0.01f);
}

TEST_F(GameCameraNodeTest, ResetViewTakesTheNodesDirectionAndKeepsItWithoutOne) {
  attach(vector3df(0, 0, 0), vector3df(10, 10, 0));
  place(vector3df(0, 0, 0), vector3df(10, 10, 0));
  camera.freeform = false;
  camera.resetView(false);
  EXPECT_NEAR(camera.yaw, 0.0f, 1e-4f);
  EXPECT_NEAR(camera.pitch, 45.0f, 1e-4f);

  camera.freeform = true;
  camera.orientation = quaternion(0, 0, 0, 1);
  camera.resetView(false);
  EXPECT_EQ(camera.orientation, quaternion(0, 0, 0, 1));
  vector3df euler;
  camera.targetOrientation.toEuler(euler);
  expectNear(euler * irr::core::RADTODEG, vector3df(0, 0, 45));
  camera.resetView(true);
  EXPECT_EQ(camera.orientation, camera.targetOrientation);

  // Looking at its own position: the angles and orientations stay, and the
  // next step leaves no NaN.
  place(vector3df(5, 5, 5), vector3df(5, 5, 5));
  for (bool freeform : {true, false}) {
    camera.freeform = freeform;
    camera.yaw = 12.0f;
    camera.pitch = 34.0f;
    camera.targetYaw = 13.0f;
    camera.targetPitch = 35.0f;
    const quaternion orientation = camera.orientation;
    const quaternion target = camera.targetOrientation;
    camera.resetView(true);
    EXPECT_EQ(camera.yaw, 12.0f);
    EXPECT_EQ(camera.pitch, 34.0f);
    EXPECT_EQ(camera.targetYaw, 13.0f);
    EXPECT_EQ(camera.targetPitch, 35.0f);
    EXPECT_EQ(camera.orientation, orientation);
    EXPECT_EQ(camera.targetOrientation, target);
  }
  camera.update(0.01f);
  EXPECT_TRUE(finite(camera.node->getAbsolutePosition()));
  EXPECT_TRUE(finite(camera.node->getTarget()));
  EXPECT_TRUE(finite(camera.node->getUpVector()));
}

TEST_F(GameCameraNodeTest, SwitchingFreeformResetsTheViewWhileANodeIsAttached) {
  camera.freeform = true;
  camera.setFreeform(false);  // no node: the flag alone
  EXPECT_FALSE(camera.freeform);
  camera.setFreeform(true);
  attach(vector3df(0, 0, 0), vector3df(0, 0, 10));
  place(vector3df(0, 0, 0), vector3df(10, 10, 0));
  camera.setFreeform(false);
  EXPECT_NEAR(camera.pitch, 45.0f, 1e-4f);
  camera.setFreeform(true);
  vector3df euler;
  camera.orientation.toEuler(euler);
  expectNear(euler * irr::core::RADTODEG, vector3df(0, 0, 45));
}

TEST_F(GameCameraNodeTest, AttachingTakesTheNodesViewAndDetachingRemovesIt) {
  const irr::u32 before = engine.scene->getRootSceneNode()->getChildren().size();
  camera.shake = 0.0f;
  camera.orientation = quaternion(0.5f, 0.5f, 0.5f, 0.5f);
  irr::scene::ICameraSceneNode* node = attach(vector3df(0, 0, -50), vector3df(0, 0, 0));
  EXPECT_EQ(camera.node, node);
  EXPECT_EQ(camera.zoomDistance, 50.0f);
  EXPECT_EQ(camera.targetOffset, vector3df(0, 0, 0));
  EXPECT_EQ(camera.targetOrientation, quaternion(0, 0, 0, 1));
  // The one step it runs placed the node and remembered where it stands.
  EXPECT_EQ(camera.lastPosition, node->getAbsolutePosition());
  expectNear(node->getAbsolutePosition(), vector3df(-50, 0, 0));
  EXPECT_EQ(engine.scene->getRootSceneNode()->getChildren().size(), before + 1);
  camera.attachNode(nullptr);
  EXPECT_EQ(camera.node, nullptr);
  EXPECT_EQ(engine.scene->getRootSceneNode()->getChildren().size(), before);
  camera.attachNode(nullptr);  // nothing left to remove
  camera.update(0.01f);        // without a node: nothing
}

// One world move of `seconds` with the modifier keys: how far the target
// moved.
TEST_F(GameCameraNodeTest, FrameStepSpeedFollowsTheModifiersAndTheZoom) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  const struct {
    bool shift;
    bool alt;
    float zoom;
    float moved;  // 180 x 0.1 s x modifier x max(0.5, zoom / 100)
  } cases[] = {
      {false, false, 100.0f, 18.0f}, {true, false, 100.0f, 180.0f}, {false, true, 100.0f, 1.8f},
      {true, true, 100.0f, 180.0f},  {false, false, 40.0f, 9.0f},   {false, false, 300.0f, 54.0f},
  };
  camera.holdInput(L"camera_world_right", true);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shift << c.alt << " " << c.zoom);
    shiftKeyDown = c.shift;
    altKeyDown = c.alt;
    camera.zoomDistance = c.zoom;
    const vector3df before = camera.targetOffset;
    camera.update(0.1f);
    EXPECT_NEAR((camera.targetOffset - before).getLength(), c.moved, c.moved * 1e-4f);
  }
  camera.holdInput(L"camera_world_right", false);
  // World up is the world's Y axis.
  shiftKeyDown = false;
  altKeyDown = false;
  camera.zoomDistance = 100.0f;
  camera.holdInput(L"camera_world_up", true);
  const vector3df before = camera.targetOffset;
  camera.update(0.1f);
  expectNear(camera.targetOffset - before, vector3df(0, 18, 0));
}

TEST_F(GameCameraNodeTest, ZeroSecondsKeepTheViewButStillRotate) {
  for (bool freeform : {false, true}) {
    SCOPED_TRACE(freeform);
    attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
    camera.freeform = freeform;
    camera.yaw = 30.0f;
    camera.targetYaw = 60.0f;
    camera.pitch = 10.0f;
    camera.targetPitch = 20.0f;
    camera.orientation.fromAngleAxis(0.3f, vector3df(0, 1, 0));
    camera.targetOrientation.fromAngleAxis(0.6f, vector3df(0, 1, 0));
    camera.update(0.01f);
    camera.zoomDistance = 500.0f;
    const quaternion orientation = camera.orientation;
    const vector3df target = camera.node->getTarget();
    const float distance = (camera.node->getAbsolutePosition() - target).getLength();
    const float yaw = camera.yaw;
    const float pitch = camera.pitch;
    camera.update(0.0f);
    EXPECT_NEAR(camera.currentDistance, distance, 1e-3f);
    expectNear(camera.node->getTarget(), target);
    EXPECT_NEAR((camera.node->getAbsolutePosition() - target).getLength(), distance, 1e-3f);
    EXPECT_EQ(camera.yaw, yaw);
    EXPECT_EQ(camera.pitch, pitch);
    EXPECT_NEAR(camera.orientation.X, orientation.X, 1e-6f);
    EXPECT_NEAR(camera.orientation.Y, orientation.Y, 1e-6f);
    EXPECT_NEAR(camera.orientation.Z, orientation.Z, 1e-6f);
    EXPECT_NEAR(camera.orientation.W, orientation.W, 1e-6f);

    // The rotation steps apply once a call all the same.
    camera.horizontalSensitivity = 1.0f;
    camera.holdInput(L"camera_rot_right", true);
    const float targetYaw = camera.targetYaw;
    const quaternion targetOrientation = camera.targetOrientation;
    camera.update(0.0f);
    if (freeform)
      EXPECT_LT(camera.targetOrientation.dotProduct(targetOrientation), 1.0f - 1e-6f);
    else
      EXPECT_FLOAT_EQ(camera.targetYaw, targetYaw + 1.0f);
    camera.holdInput(L"camera_rot_right", false);
  }
}

TEST_F(GameCameraNodeTest, YawTurnsTheShortWayThroughHalfATurn) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  camera.freeform = false;
  camera.yaw = 170.0f;
  camera.targetYaw = -170.0f;
  camera.update(0.01f);
  const float t = 1.0f - std::pow(0.0004f, 0.01f);
  EXPECT_NEAR(camera.yaw, 170.0f + 20.0f * t, 1e-3f);
  for (int i = 0; i < 200; ++i)
    camera.update(0.05f);
  EXPECT_NEAR(camera.yaw, -170.0f, 1e-2f);
}

TEST_F(GameCameraNodeTest, ShakeMovesTheTargetOnlyAboveItsThresholdAndAlwaysDecays) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  camera.positionMode = CM_Static;
  camera.targetMode = CM_Static;
  place(vector3df(0, 0, -100), vector3df(0, 0, 0));
  const struct {
    float shake;
    bool moves;
  } cases[] = {{0.00005f, false}, {0.0001f, false}, {0.5f, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shake);
    place(vector3df(0, 0, -100), vector3df(0, 0, 0));
    camera.shake = c.shake;
    camera.update(1.0f);
    EXPECT_EQ(camera.node->getTarget() != vector3df(0, 0, 0), c.moves);
    EXPECT_EQ(camera.node->getAbsolutePosition(), vector3df(0, 0, -100));
    EXPECT_FLOAT_EQ(camera.shake, c.shake * 0.333f);
    // At most the distance x the strength away.
    EXPECT_LE(camera.node->getTarget().getLength(), 100.0f * c.shake + 1e-3f);
  }
}

TEST_F(GameCameraNodeTest, ObjectModesWithoutAFocusLeaveTheNodeWhereItIs) {
  attach(vector3df(0, 0, -100), vector3df(0, 0, 0));
  for (int32_t mode : {int32_t{CM_Object}, int32_t{CM_ObjectForward}, int32_t{CM_Static}, int32_t{7}}) {
    SCOPED_TRACE(mode);
    camera.positionMode = mode;
    camera.targetMode = mode;
    place(vector3df(3, 4, 5), vector3df(6, 7, 8));
    camera.update(0.5f);
    EXPECT_EQ(camera.node->getAbsolutePosition(), vector3df(3, 4, 5));
    EXPECT_EQ(camera.lastPosition, vector3df(3, 4, 5));
    EXPECT_EQ(camera.node->getTarget(), vector3df(6, 7, 8));
    EXPECT_EQ(camera.positionMode, mode);
    EXPECT_EQ(camera.targetMode, mode);
  }
}

}  // namespace

}  // namespace game_camera_test
