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

#include <irrString.h>
#include <line3d.h>
#include <quaternion.h>
#include <vector3d.h>

#include <cstdint>

#include "core/save_stream.h"

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

// A camera record holding a number that is no number (or an endless one).
constexpr SaveFileError kSaveErrorBadCamera{5, "Bad camera record"};

class GameCamera {
 public:
  // Bytes of the saved record.
  static constexpr unsigned kRecordSize = 88;
  // First save version with the whole record.
  static constexpr int32_t kRecordVersion = 17;
  // The farthest zoom.
  static constexpr float kMaxZoom = 3000000.0f;

  // Lets the focus go: the target stays where the view looked, now fixed.
  // Nothing without a focus.
  void clearFocus();
  // Follows `focus` (null: clearFocus), holding one reference on it: the
  // anchor moves to its node, the zoom to 5 radii with `close` (else at
  // least 2.5 radii), and the target to the object's distance along the
  // present view direction; the frame steps then turn the view onto it.
  void setFocus(graphicsObject* focus, bool close);

  // Zoom steps are signed counts of notches: each multiplies the distance
  // by `zoomSpeed` (below 1, so a positive count brings the camera closer).
  //
  // Kept within [max(1, 1.5 focus radii), 3,000,000].
  void zoom(float steps);
  // Toward the point under the cursor (`ray` from the camera through it):
  // lets the focus go; a zoom that would end below 2.5 or beyond 3,000,000
  // changes nothing else.
  void zoomAlongRay(float steps, const irr::core::line3df& ray);
  // Toward `point`, not closer than `nearestDistance`: lets the focus go;
  // the distance changes only while it stays above 2.5.
  void zoomTowardPoint(float steps, float nearestDistance, const irr::core::vector3df& point);
  // The factor of mouse-drag moves: grows with the zoom, at least 0.5.
  float dragScale() const;

  // Moves of the target, letting the focus go. A positive distance pulls
  // the target toward the camera.
  void moveForward(float distance);
  // A positive x moves right, a positive y along the negative up vector.
  void moveInViewPlane(float x, float y);

  // Rotation steps with one unit of input each (sensitivity x input, at
  // most 25 degrees). A step that would lead the wanted orientation 90
  // degrees or more away from the present one is refused; the pitch stays
  // within +-80 degrees. Roll exists only in free-form mode.
  void pitchStep(float input);
  void yawStep(float input);
  void rollStep(float input);

  // Takes the orientation from where the node stands and looks. `snap` also
  // sets the present free-form orientation (the angle mode always takes
  // the present angles). A node that looks at its own position keeps the
  // angles it has.
  void resetView(bool snap);
  // Switches between free-form and angle orientation; a change resets the
  // view (snap) while a node is attached.
  void setFreeform(bool on);

  // Binds the node the camera drives (the view starts from the node's own
  // position and target, and one frame step runs), or with null removes
  // the bound node from the scene. The focus is let go either way.
  void attachNode(irr::scene::ICameraSceneNode* node);

  // One held-input key action: "camera_left" .. "camera_rot_right_roll".
  // A press writes the action's value (+1 or -1) into its input component;
  // a release writes 0 only while the component still holds that value, so
  // a held opposite key keeps working. False for any other action name.
  bool holdInput(const irr::core::stringw& action, bool pressed);

  // The frame step: applies the held inputs, smooths the orientation and
  // the distance, places the node's target, up vector and position by the
  // modes, shakes, and remembers where the focus was. Rates are per second
  // of `seconds`; the rotation steps apply once a call.
  void update(float seconds);

  void save(SaveStream& stream) const;
  // Reads the record and focuses the object it names (close), when that
  // object exists and can be shown; else the camera has no focus. A short
  // record throws {4, "Unexpected EOF"}, one with a non-finite number
  // kSaveErrorBadCamera; either leaves the camera as it was.
  void load(SaveStream& stream);
  // A save before version 17: the focus object's UID alone.
  void loadFocusUid(SaveStream& stream);

  // The node the camera drives; not counted. Null while no session has
  // handed one over.
  irr::scene::ICameraSceneNode* node = nullptr;
  irr::core::vector3df lastPosition{1.0f, 1.0f, 1.0f};
  irr::core::vector3df focusAnchor{0.0f, 0.0f, 0.0f};
  // The followed object's graphics object (one counted reference, given
  // back by clearFocus; every session lets it go when it detaches its node).
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
  // Turns the wanted orientation by `degrees` about `axis` unless that
  // leads it 90 degrees or more away from the present orientation.
  void turnTargetOrientation(float degrees, const irr::core::vector3df& axis);
};

extern GameCamera gameCamera;

// The game session's scene camera: made when the session loads its
// resources, driven by `gameCamera`, and removed when the session ends.
// Null outside a session.
extern irr::scene::ICameraSceneNode* sessionCameraNode;
