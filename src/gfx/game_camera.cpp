#include "gfx/game_camera.h"

#include <ICameraSceneNode.h>

#include "core/save_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

GameCamera gameCamera;

namespace {

void writeVector(SaveStream& stream, const irr::core::vector3df& v) {
  stream.writeFloat(v.X);
  stream.writeFloat(v.Y);
  stream.writeFloat(v.Z);
}

void writeQuaternion(SaveStream& stream, const irr::core::quaternion& q) {
  stream.writeFloat(q.X);
  stream.writeFloat(q.Y);
  stream.writeFloat(q.Z);
  stream.writeFloat(q.W);
}

void readVector(SaveStream& stream, irr::core::vector3df& v) { stream.readFloat3(v.X, v.Y, v.Z); }

void readQuaternion(SaveStream& stream, irr::core::quaternion& q) {
  stream.readFloat2(q.X, q.Y);
  stream.readFloat2(q.Z, q.W);
}

}  // namespace

void GameCamera::clearFocus() {
  if (focus == nullptr)
    return;
  if (node != nullptr)
    targetOffset = node->getTarget();
  focusAnchor.set(0.0f, 0.0f, 0.0f);
  // (The graphics object's reference is released here once graphics objects
  // exist; none can be focused before.)
  focus = nullptr;
}

void GameCamera::setFocus(graphicsObject* target, bool close) {
  if (target == nullptr) {
    clearFocus();
    return;
  }
  // (Following a graphics object joins with graphics objects: its reference
  // taken, the anchor at its node, the zoom from its radius and `close`, the
  // view turned toward it. No game object has one yet.)
  (void)close;
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
  // (The UID of the game object that owns the focused graphics object goes
  // here once objects have graphics objects; without a focus it is 0.)
  stream.writeU32(0);
}

void GameCamera::load(SaveStream& stream) {
  readVector(stream, focusAnchor);
  readVector(stream, objectOffset);
  readVector(stream, targetOffset);
  readQuaternion(stream, orientation);
  readQuaternion(stream, targetOrientation);
  positionMode = stream.readI32();
  targetMode = stream.readI32();
  zoomDistance = stream.readFloat();
  shake = stream.readFloat();
  focusSavedObject(stream.readU32());
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
