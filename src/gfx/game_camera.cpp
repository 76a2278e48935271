#include "gfx/game_camera.h"

#include <ICameraSceneNode.h>
#include <matrix4.h>

#include <algorithm>
#include <cmath>

#include "app/base/event_handler.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "gfx/graphics_object.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

GameCamera gameCamera;
irr::scene::ICameraSceneNode* sessionCameraNode = nullptr;

namespace {

using irr::core::quaternion;
using irr::core::vector3df;

// A direction whose squared length is within this of zero is used as it is.
constexpr float kDegenerateLengthSq = 1e-8f;
// The nearest zoom that zoomAlongRay and zoomTowardPoint go to.
constexpr float kNearestRayZoom = 2.5f;
// Zoom bounds around a focus, in radii.
constexpr float kFocusMinZoomRadii = 1.5f;
constexpr float kFocusNearZoomRadii = 2.5f;
constexpr float kFocusCloseZoomRadii = 5.0f;
// The most one rotation step turns, in degrees.
constexpr float kMaxRotationStep = 25.0f;
constexpr float kMaxPitch = 80.0f;
// Neither a yaw step nor a free-form step may lead the wanted orientation
// this far from the present one.
constexpr float kMaxLead = 90.0f;
// The share of the remaining gap left after one second of smoothing.
constexpr float kSmoothingRest = 0.0004f;
// Shake: the strength below which nothing shakes, and the factor it
// decays by per second.
constexpr float kShakeThreshold = 0.0001f;
constexpr float kShakeDecay = 0.333f;
// Frame-step speeds: base degrees-like rate, the modifier factors and the
// zoom at which the rate is 1.
constexpr float kMoveRate = 180.0f;
constexpr float kFastFactor = 10.0f;
constexpr float kSlowFactor = 0.1f;
constexpr float kMoveZoomUnit = 100.0f;
constexpr float kMinMoveScale = 0.5f;
// dragScale: the zoom at which a drag moves 1:1, and the least factor.
constexpr float kDragZoomUnit = 120.0f;
constexpr float kMinDragScale = 0.5f;

void writeVector(SaveStream& stream, const vector3df& v) {
  stream.writeFloat(v.X);
  stream.writeFloat(v.Y);
  stream.writeFloat(v.Z);
}

void writeQuaternion(SaveStream& stream, const quaternion& q) {
  stream.writeFloat(q.X);
  stream.writeFloat(q.Y);
  stream.writeFloat(q.Z);
  stream.writeFloat(q.W);
}

void readVector(SaveStream& stream, vector3df& v) { stream.readFloat3(v.X, v.Y, v.Z); }

void readQuaternion(SaveStream& stream, quaternion& q) {
  stream.readFloat2(q.X, q.Y);
  stream.readFloat2(q.Z, q.W);
}

// (-180, 180]: one turn added or taken away.
float wrapDegrees(float angle) {
  if (angle > 180.0f)
    return angle - 360.0f;
  if (angle <= -180.0f)
    return angle + 360.0f;
  return angle;
}

bool degenerate(const vector3df& v) { return v.getLengthSQ() <= kDegenerateLengthSq; }

// `v` at `length`, or `v` as it is when it has no direction.
vector3df scaledTo(vector3df v, float length) {
  if (!degenerate(v))
    v.setLength(length);
  return v;
}

vector3df normalizedOrAsIs(vector3df v) {
  if (!degenerate(v))
    v.normalize();
  return v;
}

// `v` turned by the rotation of the Euler angles `degrees`.
vector3df rotatedBy(const vector3df& degrees, vector3df v) {
  irr::core::matrix4 rotation;
  rotation.setRotationDegrees(degrees);
  rotation.rotateVect(v);
  return v;
}

// zoomSpeed ^ steps.
float zoomFactor(float zoomSpeed, float steps) { return std::pow(zoomSpeed, steps); }

}  // namespace

// The followed object's scene node and its size.
namespace {

irr::scene::ISceneNode* focusNodeOf(const graphicsObject* object) { return object->getNode(); }

float focusRadiusOf(const graphicsObject* object) { return object->radius; }

bool focusAttached(const graphicsObject* object) { return object->attached.load(); }

vector3df focusPositionOf(const graphicsObject* object) {
  irr::scene::ISceneNode* node = focusNodeOf(object);
  return node != nullptr ? node->getAbsolutePosition() : vector3df(0.0f, 0.0f, 0.0f);
}

vector3df focusRotationOf(const graphicsObject* object) {
  irr::scene::ISceneNode* node = focusNodeOf(object);
  return node != nullptr ? node->getRotation() : vector3df(0.0f, 0.0f, 0.0f);
}

}  // namespace

void GameCamera::clearFocus() {
  if (focus == nullptr)
    return;
  if (node != nullptr)
    targetOffset = node->getTarget();
  focusAnchor.set(0.0f, 0.0f, 0.0f);
  graphicsObject* released = focus;
  focus = nullptr;
  released->drop();
}

void GameCamera::setFocus(graphicsObject* target, bool close) {
  if (target == nullptr) {
    clearFocus();
    return;
  }
  // The new reference first: focusing the same object again keeps it.
  target->grab();
  graphicsObject* previous = focus;
  focus = target;
  if (previous != nullptr)
    previous->drop();

  const vector3df position = focusPositionOf(target);
  focusAnchor = position;
  targetOffset.set(0.0f, 0.0f, 0.0f);
  const float radius = focusRadiusOf(target);
  if (close)
    zoomDistance = radius * kFocusCloseZoomRadii;
  else
    zoomDistance = std::max(zoomDistance, radius * kFocusNearZoomRadii);

  // The view keeps its direction; its target moves to the object's distance.
  if (node != nullptr) {
    const vector3df eye = node->getAbsolutePosition();
    vector3df view = node->getTarget() - eye;
    view.setLength((position - eye).getLength());
    node->setTarget(eye + view);
  }
}

void GameCamera::zoom(float steps) {
  const float k = zoomFactor(zoomSpeed, steps);
  float wanted = zoomDistance * k;
  if (std::isnan(wanted))  // no zoom at all times an endless factor
    wanted = zoomDistance;
  if (wanted > kMaxZoom) {
    zoomDistance = kMaxZoom;
    return;
  }
  const float least = focus != nullptr ? std::max(1.0f, focusRadiusOf(focus) * kFocusMinZoomRadii) : 1.0f;
  zoomDistance = wanted < least ? least : wanted;
}

void GameCamera::zoomAlongRay(float steps, const irr::core::line3df& ray) {
  clearFocus();
  if (node == nullptr)
    return;
  const float k = zoomFactor(zoomSpeed, steps);
  const float wanted = zoomDistance * k;
  if (!(wanted >= kNearestRayZoom && wanted <= kMaxZoom))
    return;
  const vector3df eye = node->getAbsolutePosition();
  const float distance = (eye - node->getTarget()).getLength();
  const vector3df point = eye + scaledTo(ray.end - ray.start, distance);
  targetOffset = targetOffset * k + point * (1.0f - k);
  zoomDistance = wanted;
}

void GameCamera::zoomTowardPoint(float steps, float nearestDistance, const vector3df& point) {
  clearFocus();
  if (node == nullptr)
    return;
  const float k = zoomFactor(zoomSpeed, steps);
  // An endless factor would carry the target off to infinity.
  if (!std::isfinite(k))
    return;
  if ((node->getAbsolutePosition() - point).getLength() * k < nearestDistance)
    return;
  const float wanted = zoomDistance * k;
  if (wanted > kMaxZoom)
    return;
  if (wanted > kNearestRayZoom)
    zoomDistance = wanted;
  targetOffset = targetOffset * k + point * (1.0f - k);
}

float GameCamera::dragScale() const { return std::max(kMinDragScale, zoomDistance / kDragZoomUnit); }

void GameCamera::moveForward(float distance) {
  clearFocus();
  if (node == nullptr)
    return;
  targetOffset -= scaledTo(node->getTarget() - node->getAbsolutePosition(), distance);
}

void GameCamera::moveInViewPlane(float x, float y) {
  clearFocus();
  if (node == nullptr)
    return;
  const vector3df up = node->getUpVector();
  targetOffset -= up * (panSpeed * 3.0f * y);
  const vector3df side = scaledTo(node->getTarget() - node->getAbsolutePosition(), 3.0f * x);
  targetOffset += up.crossProduct(side) * panSpeed;
}

void GameCamera::turnTargetOrientation(float degrees, const vector3df& axis) {
  quaternion step;
  step.fromAngleAxis(degrees * irr::core::DEGTORAD, axis);
  const quaternion turned = step * targetOrientation;
  // acos(dot) below 90 degrees; the dot clamped against rounding past 1.
  const float dot = std::min(1.0f, std::max(-1.0f, turned.dotProduct(orientation)));
  if (std::acos(dot) * irr::core::RADTODEG < kMaxLead)
    targetOrientation = turned;
}

void GameCamera::pitchStep(float input) {
  if (node == nullptr)
    return;
  const float angle = irr::core::clamp(verticalSensitivity * input, -kMaxRotationStep, kMaxRotationStep);
  if (freeform)
    turnTargetOrientation(angle, vector3df(0.0f, 0.0f, 1.0f));
  else
    targetPitch = irr::core::clamp(targetPitch + angle, -kMaxPitch, kMaxPitch);
}

void GameCamera::yawStep(float input) {
  if (node == nullptr)
    return;
  const float angle = irr::core::clamp(horizontalSensitivity * input, -kMaxRotationStep, kMaxRotationStep);
  if (freeform) {
    turnTargetOrientation(angle, vector3df(0.0f, -1.0f, 0.0f));
    return;
  }
  const float wanted = wrapDegrees(targetYaw + angle);
  const float lead = wrapDegrees(wanted - yaw);
  if (lead >= -kMaxLead && lead <= kMaxLead)
    targetYaw = wanted;
}

void GameCamera::rollStep(float input) {
  if (node == nullptr || !freeform)
    return;
  const float angle = irr::core::clamp(verticalSensitivity * input, -kMaxRotationStep, kMaxRotationStep);
  turnTargetOrientation(-angle, vector3df(1.0f, 0.0f, 0.0f));
}

void GameCamera::resetView(bool snap) {
  if (node == nullptr)
    return;
  const vector3df d = node->getTarget() - node->getAbsolutePosition();
  // Looking at its own position the node has no direction: the angles stay.
  if (d.X == 0.0f && d.Y == 0.0f && d.Z == 0.0f)
    return;
  const float yawRad = std::atan2(-d.Z, d.X);
  const float pitchRad = std::atan(d.Y / std::sqrt(d.X * d.X + d.Z * d.Z));
  if (freeform) {
    quaternion pitchTurn;
    pitchTurn.fromAngleAxis(pitchRad, vector3df(0.0f, 0.0f, 1.0f));
    const quaternion turned = pitchTurn * quaternion(vector3df(0.0f, yawRad, 0.0f));
    if (snap)
      orientation = turned;
    targetOrientation = turned;
    return;
  }
  yaw = yawRad * irr::core::RADTODEG;
  pitch = pitchRad * irr::core::RADTODEG;
  vector3df euler;
  targetOrientation.toEuler(euler);
  targetPitch = euler.X * irr::core::RADTODEG;
  targetYaw = euler.Y * irr::core::RADTODEG;
}

void GameCamera::setFreeform(bool on) {
  if (on == freeform)
    return;
  freeform = on;
  if (node != nullptr)
    resetView(true);
}

void GameCamera::attachNode(irr::scene::ICameraSceneNode* newNode) {
  setFocus(nullptr, false);
  if (newNode == nullptr) {
    if (node != nullptr) {
      node->remove();
      node = nullptr;
    }
    return;
  }
  node = newNode;
  orientation.fromAngleAxis(0.0f, node->getUpVector());
  targetOrientation = orientation;
  targetOffset = node->getTarget();
  zoomDistance = (node->getAbsolutePosition() - node->getTarget()).getLength();
  update(0.01f);
}

namespace {

enum InputVector { kMoveInput, kWorldMoveInput, kRotateInput };

struct HeldInputRow {
  const wchar_t* action;
  InputVector vector;
  int axis;  // 0 x, 1 y, 2 z
  float value;
};

const HeldInputRow kHeldInputs[] = {
    {L"camera_left", kMoveInput, 0, -1.0f},
    {L"camera_right", kMoveInput, 0, 1.0f},
    {L"camera_up", kMoveInput, 1, 1.0f},
    {L"camera_down", kMoveInput, 1, -1.0f},
    {L"camera_forward", kMoveInput, 2, -1.0f},
    {L"camera_backward", kMoveInput, 2, 1.0f},
    {L"camera_world_left", kWorldMoveInput, 0, -1.0f},
    {L"camera_world_right", kWorldMoveInput, 0, 1.0f},
    {L"camera_world_up", kWorldMoveInput, 1, 1.0f},
    {L"camera_world_down", kWorldMoveInput, 1, -1.0f},
    {L"camera_world_forward", kWorldMoveInput, 2, -1.0f},
    {L"camera_world_backward", kWorldMoveInput, 2, 1.0f},
    {L"camera_rot_left", kRotateInput, 0, -1.0f},
    {L"camera_rot_right", kRotateInput, 0, 1.0f},
    {L"camera_rot_up", kRotateInput, 1, -1.0f},
    {L"camera_rot_down", kRotateInput, 1, 1.0f},
    {L"camera_rot_left_roll", kRotateInput, 2, -1.0f},
    {L"camera_rot_right_roll", kRotateInput, 2, 1.0f},
};

float& component(vector3df& v, int axis) { return axis == 0 ? v.X : (axis == 1 ? v.Y : v.Z); }

}  // namespace

bool GameCamera::holdInput(const irr::core::stringw& action, bool pressed) {
  for (const HeldInputRow& row : kHeldInputs) {
    if (action != row.action)
      continue;
    vector3df& input = row.vector == kMoveInput ? moveInput : (row.vector == kWorldMoveInput ? worldMoveInput : rotateInput);
    float& held = component(input, row.axis);
    if (pressed)
      held = row.value;
    else if (held == row.value)
      held = 0.0f;
    return true;
  }
  return false;
}

void GameCamera::update(float seconds) {
  // 1.
  if (node == nullptr)
    return;

  // 2. Held shift speeds every move up, held alt (alone) slows it down.
  const float modifier = shiftKeyDown ? kFastFactor : (altKeyDown ? kSlowFactor : 1.0f);
  const float step = moveSpeed * seconds * modifier * kMoveRate * std::max(kMinMoveScale, zoomDistance / kMoveZoomUnit);

  // 3. Once a call, whatever the time.
  if (rotateInput.getLengthSQ() > 0.0f) {
    yawStep(rotateInput.X);
    pitchStep(rotateInput.Y);
    rollStep(rotateInput.Z);
  }

  // 4.
  if (moveInput.getLengthSQ() > 0.0f) {
    moveInViewPlane(moveInput.X * step, moveInput.Y * step);
    moveForward(moveInput.Z * step);
  }

  // 5. World moves: sideways and forward in the horizontal plane of the view.
  if (worldMoveInput.getLengthSQ() > 0.0f) {
    clearFocus();
    const vector3df d = normalizedOrAsIs(node->getAbsolutePosition() - node->getTarget());
    vector3df right(-d.Z, 0.0f, d.X);
    const vector3df forward(d.X, 0.0f, d.Z);
    if (node->getUpVector().Y < 0.0f)
      right = -right;
    targetOffset += (right * worldMoveInput.X + vector3df(0.0f, worldMoveInput.Y, 0.0f) + forward * worldMoveInput.Z) * step;
  }

  // 6.
  const float t = irr::core::clamp(1.0f - std::pow(kSmoothingRest, seconds), 0.0f, 1.0f);

  // 7.
  vector3df euler;  // degrees, free-form only
  if (freeform) {
    targetOrientation.normalize();
    orientation.slerp(orientation, targetOrientation, t);
    orientation.toEuler(euler);
    euler *= irr::core::RADTODEG;
    node->setUpVector(normalizedOrAsIs(rotatedBy(euler, vector3df(0.0f, 1.0f, 0.0f))));
  } else {
    pitch = (1.0f - t) * pitch + t * targetPitch;
    const float turn = wrapDegrees(targetYaw - yaw);
    yaw = wrapDegrees(yaw + turn * t);
    node->setUpVector(vector3df(0.0f, 1.0f, 0.0f));
  }

  // 8.
  vector3df fromAnchor = node->getTarget() - focusAnchor;
  currentDistance = (node->getAbsolutePosition() - node->getTarget()).getLength() * (1.0f - t) + zoomDistance * t;

  // 9. A focus whose graphics object has left the scene is let go by the
  // first step that meets it.
  vector3df anchor(0.0f, 0.0f, 0.0f);
  switch (targetMode) {
    case CM_Normal:
      if (focus != nullptr) {
        if (focusAttached(focus)) {
          anchor = focusPositionOf(focus);
        } else {
          clearFocus();
          fromAnchor = node->getTarget() - focusAnchor;
          currentDistance =
              (node->getAbsolutePosition() - node->getTarget()).getLength() * (1.0f - t) + zoomDistance * t;
        }
      }
      node->setTarget(anchor + targetOffset * t + fromAnchor * (1.0f - t));
      break;
    case CM_Object:
    case CM_ObjectForward:
      if (focus == nullptr)
        break;
      if (!focusAttached(focus)) {
        clearFocus();
        targetMode = CM_Normal;
      } else if (targetMode == CM_Object) {
        node->setTarget(focusPositionOf(focus));
      } else {
        node->setTarget(focusPositionOf(focus) + rotatedBy(focusRotationOf(focus), vector3df(0.0f, 0.0f, -1.0f)));
      }
      break;
    default:
      break;
  }

  // 10.
  switch (positionMode) {
    case CM_Normal:
      if (freeform) {
        node->setPosition(node->getTarget() + rotatedBy(euler, vector3df(-currentDistance, 0.0f, 0.0f)));
      } else {
        const float p = pitch * irr::core::DEGTORAD;
        const float y = yaw * irr::core::DEGTORAD;
        node->setPosition(node->getTarget() - vector3df(std::cos(y) * std::cos(p), std::sin(p), std::sin(y) * std::cos(p)) *
                                                  currentDistance);
      }
      break;
    case CM_Object:
    case CM_ObjectForward:
      if (focus == nullptr)
        break;
      if (!focusAttached(focus)) {
        clearFocus();
        positionMode = CM_Normal;
      } else if (positionMode == CM_Object) {
        node->setPosition(focusPositionOf(focus) + objectOffset);
      } else {
        node->setPosition(focusPositionOf(focus) + rotatedBy(focusRotationOf(focus), objectOffset));
      }
      break;
    default:
      break;
  }

  // 11.
  node->updateAbsolutePosition();
  lastPosition = node->getAbsolutePosition();

  // 12. The target jumps sideways or up by a random share of the distance.
  if (shake > kShakeThreshold) {
    vector3df view = node->getTarget() - node->getAbsolutePosition();
    const float length = view.getLength();
    view = normalizedOrAsIs(view);
    const vector3df up = node->getUpVector();
    const vector3df side = view.crossProduct(up);
    const float angle = randomf(2.0f * irr::core::PI);
    const float amplitude = randomf(length * shake);
    node->setTarget(node->getTarget() + side * (std::cos(angle) * amplitude) + up * (std::sin(angle) * amplitude));
  }

  // 13.
  shake *= std::pow(kShakeDecay, seconds);

  // 14.
  focusAnchor = anchor;
}

void GameCamera::save(SaveStream& stream) const {
  writeVector(stream, focusAnchor);
  writeVector(stream, objectOffset);
  writeVector(stream, targetOffset);
  writeQuaternion(stream, orientation);
  writeQuaternion(stream, targetOrientation);
  stream.writeI32(positionMode);
  stream.writeI32(targetMode);
  stream.writeFloat(zoomDistance);
  stream.writeFloat(shake);
  const generic_object* owner = focus != nullptr ? focus->getOwner() : nullptr;
  stream.writeU32(owner != nullptr ? owner->uid : 0);
}

void GameCamera::load(SaveStream& stream) {
  // Read whole before anything changes: a cut or damaged record leaves the
  // camera as it was.
  vector3df anchor;
  vector3df offset;
  vector3df target;
  quaternion present;
  quaternion wanted;
  readVector(stream, anchor);
  readVector(stream, offset);
  readVector(stream, target);
  readQuaternion(stream, present);
  readQuaternion(stream, wanted);
  const int32_t position = stream.readI32();
  const int32_t looking = stream.readI32();
  const float distance = stream.readFloat();
  const float strength = stream.readFloat();
  const uint32_t uid = stream.readU32();
  const float numbers[] = {anchor.X,  anchor.Y,  anchor.Z,  offset.X,  offset.Y,  offset.Z, target.X,
                           target.Y,  target.Z,  present.X, present.Y, present.Z, present.W, wanted.X,
                           wanted.Y,  wanted.Z,  wanted.W,  distance,  strength};
  for (float number : numbers)
    if (!std::isfinite(number))
      throw kSaveErrorBadCamera;

  focusAnchor = anchor;
  objectOffset = offset;
  targetOffset = target;
  orientation = present;
  targetOrientation = wanted;
  positionMode = position;
  targetMode = looking;
  zoomDistance = distance;
  shake = strength;
  focusSavedObject(uid);
}

void GameCamera::loadFocusUid(SaveStream& stream) {
  const uint32_t uid = stream.readU32();
  if (uid != 0)
    focusSavedObject(uid);
}

void GameCamera::focusSavedObject(uint32_t uid) {
  generic_object* object = uid != 0 ? getObjectByUID(uid) : nullptr;
  setFocus(object != nullptr ? object->graphics : nullptr, true);
}
