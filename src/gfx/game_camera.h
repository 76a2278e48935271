// The game camera: the controller of the strategic view's camera node. It
// keeps the wanted camera-target distance (the zoom), an optional focus that
// the view follows, how the camera stands and looks (position and target
// modes), its orientation (smoothed yaw/pitch angles, or a smoothed
// quaternion in free-form mode), the held move and rotation inputs, and a
// decaying shake.
//
// One camera exists for the whole process (`gameCamera`); it outlives game
// sessions. Its record in a saved game (88 bytes, little-endian, each field
// 4 bytes):
//
//   offset  field
//   0       focusAnchor x, y, z        3 x f32
//   12      objectOffset x, y, z       3 x f32
//   24      targetOffset x, y, z       3 x f32
//   36      orientation x, y, z, w     4 x f32
//   52      targetOrientation x .. w   4 x f32
//   68      positionMode               i32
//   72      targetMode                 i32
//   76      zoomDistance               f32
//   80      shake                      f32
//   84      focus object's UID         u32, 0 without a focus
//
// The angles, the smoothed distance, the free-form switch, the inputs and the
// sensitivity settings are not saved. Saves before version 17 hold only the
// focus UID (u32) in the record's place.
#pragma once

#include <quaternion.h>
#include <vector3d.h>

#include <cstdint>

class SaveStream;
class graphicsObject;
namespace irr {
namespace scene {
class ICameraSceneNode;
}
}  // namespace irr

// How the camera stands (position mode) and where it looks (target mode).
// Any other value behaves as Static.
enum CameraMode : int32_t {
  CM_Static = 0,
  CM_Normal = 1,
  CM_Object = 2,
  CM_ObjectForward = 3,
};

class GameCamera {
 public:
  // Bytes of the saved record.
  static constexpr unsigned kRecordSize = 88;
  // First save version with the whole record.
  static constexpr int32_t kRecordVersion = 17;

  // Lets the focus go: the target stays where the view looked, now fixed.
  // Nothing without a focus.
  void clearFocus();
  // Follows `focus` (null: clearFocus); `close` zooms in to 5 radii.
  void setFocus(graphicsObject* focus, bool close);

  void save(SaveStream& stream) const;
  // Reads the record and focuses the object it names (close), when that
  // object exists and can be shown; else the camera has no focus.
  void load(SaveStream& stream);
  // A save before version 17: the focus object's UID alone.
  void loadFocusUid(SaveStream& stream);

  // The node the camera drives; not counted. Null while no session has
  // handed one over.
  irr::scene::ICameraSceneNode* node = nullptr;
  irr::core::vector3df lastPosition{1.0f, 1.0f, 1.0f};
  irr::core::vector3df focusAnchor{0.0f, 0.0f, 0.0f};
  // The followed object's graphics object (one counted reference). No game
  // object has one yet, so it stays null.
  graphicsObject* focus = nullptr;
  irr::core::vector3df targetOffset{0.0f, 0.0f, 0.0f};
  float zoomDistance = 0.0f;
  float currentDistance = 0.0f;
  irr::core::quaternion orientation{0.0f, 0.0f, 0.0f, 1.0f};
  irr::core::quaternion targetOrientation{0.0f, 0.0f, 0.0f, 1.0f};
  float yaw = 0.0f;
  float pitch = 0.0f;
  float targetYaw = 0.0f;
  float targetPitch = 0.0f;
  int32_t positionMode = CM_Normal;
  int32_t targetMode = CM_Normal;
  irr::core::vector3df objectOffset{0.0f, 0.0f, 0.0f};
  float shake = 0.0f;
  bool freeform = true;
  irr::core::vector3df moveInput{0.0f, 0.0f, 0.0f};
  irr::core::vector3df worldMoveInput{0.0f, 0.0f, 0.0f};
  irr::core::vector3df rotateInput{0.0f, 0.0f, 0.0f};
  float verticalSensitivity = 0.25f;
  float horizontalSensitivity = 0.25f;
  float zoomSpeed = 0.8f;
  float moveSpeed = 1.0f;
  float panSpeed = 1.0f;

 private:
  // Focuses the object with `uid` (close) when it exists and has a graphics
  // object; clears the focus otherwise.
  void focusSavedObject(uint32_t uid);
};

extern GameCamera gameCamera;
