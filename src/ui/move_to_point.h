// Move-to-point orders: a right click on empty space sends the selection to
// the clicked point on the horizontal plane of the selected object's star
// system (of the object itself in open space), spread in a formation.
//
// The order waits 300 ms of the engine's real time, so that a second right
// press can turn it into a height drag; meanwhile three markers show the
// route, the drop from the raised target to the plane, and the base line.
// The view input's per-frame step calls updatePendingMoveOrder, which keeps
// the markers in place and fires the order once its time has come.
//
// Formation: object i of the distribution stands in row i / width and
// column c = ((i + 1) / 2) mod width, negative for odd i mod width (so the
// columns run 0, -1, +1, -2, +2, ...), `spacing` apart: the target minus
// row x spacing along the facing, plus c x spacing along the side. The width
// is the larger of 7 and a seventh of the selection. Members of a fleet whose
// commander is also selected get no order of their own; the distribution
// stops at the first object that is not the player's, cannot move freely
// (no mobile mover) or has no AI. With Shift each order is queued behind
// the object's orders; otherwise it replaces them.
#pragma once

#include <ISceneNode.h>
#include <line3d.h>
#include <vector3d.h>

#include <cstdint>
#include <vector>

#include "ui/selection.h"
#include "universe/objects/held_pointer.h"

class generic_object;
class graphicsObject;

struct MoveTargetState {
  irr::core::vector3df moveTarget;  // on the plane, world space
  float heightOffset = 0.0f;        // added to the target's height
  // 0: no pending order; 1: fire on the next frame; else the engine real
  // time (ms) at which it fires.
  uint32_t moveFireTime = 0;
  float planeOffset = 0.0f;  // a constant lift of the plane
};
extern MoveTargetState moveTargetState;

// A marker line: drawn from its position along its span vector, its scale
// giving its thickness.
class MoveMarkerNode : public irr::scene::ISceneNode {
 public:
  MoveMarkerNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager);

  void OnRegisterSceneNode() override;
  void render() override;
  const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override { return box_; }

  void setSpan(const irr::core::vector3df& span);
  const irr::core::vector3df& getSpan() const { return span_; }

 private:
  irr::core::vector3df span_;
  irr::core::aabbox3d<irr::f32> box_;
};

enum MoveMarker : int { MM_Route = 0, MM_Drop = 1, MM_Base = 2 };
// The marker (made on first use under the scene root); null without a scene.
MoveMarkerNode* moveMarker(MoveMarker which);

// The point where `ray` crosses the horizontal plane through `origin`,
// relative to `origin`: false when the ray runs along the plane (height
// change of 0.001 or less), when the point lies more than three galaxy
// radii from the ray's start, when it lies behind the active camera, or
// without a galaxy or a camera.
bool rayPlanePoint(const irr::core::line3df& ray, const irr::core::vector3df& origin, irr::core::vector3df& out);

// Takes the point under the cursor on the plane of the sub-selected object
// and arms the order (300 ms). False, with nothing changed, when there is no
// such object, it is not the player's, it hangs in no container, or the
// cursor ray meets the plane nowhere in reach.
bool startMoveToPoint();

// Shows the markers for `object` (nothing for null or one without a game
// object), under the object's lock.
void placeMoveMarkers(graphicsObject* object);
void hideMoveMarkers();
// Sets the node's scale to factor x the camera's distance to the nearest
// point of its span, so that it looks equally thick at any distance.
void scaleMarkerToScreen(MoveMarkerNode* node, float factor);

// The height drag, driven by the view input: a right press while an order
// is pending (or with Ctrl) takes the point again and holds the order; each
// mouse move of `dy` pixels raises or lowers the target; the release arms
// the order for the next frame.
void startMoveHeightDrag();
void dragMoveHeight(int32_t dy);
void endMoveHeightDrag();

// The view input's per-frame step: with no pending order the markers hide
// (or follow the sub-selected object during a height drag); while it waits
// they follow; once its time is reached the order is given to the selection.
void updatePendingMoveOrder(bool heightDragRunning);

// The selection action that gives the orders: `act` collects the objects,
// the destructor distributes them (see the file's head).
class GiveMoveToPointOrder : public SelectedObjectAction {
 public:
  // A zero direction faces along +x.
  GiveMoveToPointOrder(const irr::core::vector3df& target, const irr::core::vector3df& direction, float spacing);
  ~GiveMoveToPointOrder() override;
  GiveMoveToPointOrder(const GiveMoveToPointOrder&) = delete;
  GiveMoveToPointOrder& operator=(const GiveMoveToPointOrder&) = delete;

  void act(graphicsObject* object) override;

  // Where the i-th ordered object goes.
  irr::core::vector3df formationPoint(uint32_t index) const;
  uint32_t rowWidth() const { return width_; }
  const irr::core::vector3df& facing() const { return facing_; }

 private:
  void giveOrders();

  irr::core::vector3df target_;
  irr::core::vector3df facing_;
  irr::core::vector3df side_;
  float spacing_;
  uint32_t issued_ = 0;
  uint32_t width_;
  std::vector<heldPointer<generic_object>> collected_;
};

// Session end: no order stays pending and the markers leave the scene.
void releaseMoveToPoint();
