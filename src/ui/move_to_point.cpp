#include "ui/move_to_point.h"

#include <irrlicht.h>

#include <cmath>
#include <set>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "ui/object_picking.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_guards.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

using irr::core::line3df;
using irr::core::vector3df;

MoveTargetState moveTargetState;

namespace {

constexpr uint32_t kMoveDelayMs = 300;
constexpr uint32_t kFireNextFrame = 1;
constexpr float kSpacing = 5.0f;
constexpr float kMoveTolerance = 0.01f;
constexpr float kFlatRay = 0.001f;
constexpr float kFlatHeight = 0.001f;
constexpr float kMarkerScale = 0.003f;
constexpr uint32_t kLeastRowWidth = 7;
constexpr int kMobileMover = 2;
constexpr irr::u32 kMarkerColor = 0xFF60C0FF;

// The markers and the scene they were made in (each holds its creator's
// reference; the scene root holds another while it has them).
MoveMarkerNode* markers[3] = {nullptr, nullptr, nullptr};
irr::scene::ISceneManager* markerScene = nullptr;

uint32_t realTimeMs() { return engine.timer != nullptr ? engine.timer->getRealTime() : 0; }

void dropMarkers() {
  for (MoveMarkerNode*& marker : markers) {
    if (marker == nullptr)
      continue;
    marker->remove();
    marker->drop();
    marker = nullptr;
  }
  markerScene = nullptr;
}

// The object at the sub-selection index, held.
heldPointer<graphicsObject> subSelectedObject() {
  const SelectionGuard guard;
  return heldPointer<graphicsObject>(selectedObjectAt(getSubSelection()));
}

void showMarker(MoveMarker which, const vector3df& at, const vector3df& span) {
  MoveMarkerNode* marker = moveMarker(which);
  if (marker == nullptr)
    return;
  marker->setVisible(true);
  marker->setPosition(at);
  marker->updateAbsolutePosition();
  marker->setSpan(span);
  scaleMarkerToScreen(marker, kMarkerScale);
}

void hideMarker(MoveMarker which) {
  if (markers[which] != nullptr && markerScene == engine.scene)
    markers[which]->setVisible(false);
}

vector3df raisedTarget() {
  const MoveTargetState& state = moveTargetState;
  return vector3df(state.moveTarget.X, state.moveTarget.Y + state.heightOffset, state.moveTarget.Z);
}

void fireMoveOrder() {
  moveTargetState.moveFireTime = 0;
  hideMoveMarkers();
  const vector3df target = raisedTarget();
  const heldPointer<graphicsObject> first = subSelectedObject();
  if (first.get() == nullptr)
    return;
  GiveMoveToPointOrder order(target, target - first->getAbsolutePosition(), kSpacing);
  forEachSelected(order);
  // The orders are given as `order` goes.
}

}  // namespace

// --- Markers ------------------------------------------------------------------

MoveMarkerNode::MoveMarkerNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager)
    : ISceneNode(parent, manager, -1), box_(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f) {
  setAutomaticCulling(irr::scene::EAC_OFF);
}

void MoveMarkerNode::OnRegisterSceneNode() {
  if (IsVisible)
    SceneManager->registerNodeForRendering(this);
  ISceneNode::OnRegisterSceneNode();
}

void MoveMarkerNode::render() {
  irr::video::IVideoDriver* driver = SceneManager->getVideoDriver();
  if (driver == nullptr)
    return;
  irr::video::SMaterial material;
  material.Lighting = false;
  material.Thickness = getScale().X;
  driver->setMaterial(material);
  driver->setTransform(irr::video::ETS_WORLD, irr::core::IdentityMatrix);
  const vector3df from = getAbsolutePosition();
  driver->draw3DLine(from, from + span_, irr::video::SColor(kMarkerColor));
}

void MoveMarkerNode::setSpan(const vector3df& span) {
  span_ = span;
  box_.reset(0.0f, 0.0f, 0.0f);
  box_.addInternalPoint(span);
}

MoveMarkerNode* moveMarker(MoveMarker which) {
  if (engine.scene == nullptr)
    return nullptr;
  if (markerScene != engine.scene) {
    dropMarkers();
    markerScene = engine.scene;
  }
  MoveMarkerNode*& marker = markers[which];
  if (marker == nullptr) {
    marker = new MoveMarkerNode(engine.scene->getRootSceneNode(), engine.scene);
    marker->setVisible(false);
  }
  return marker;
}

void hideMoveMarkers() {
  hideMarker(MM_Route);
  hideMarker(MM_Drop);
  hideMarker(MM_Base);
}

void scaleMarkerToScreen(MoveMarkerNode* node, float factor) {
  if (node == nullptr || engine.scene == nullptr)
    return;
  irr::scene::ICameraSceneNode* camera = engine.scene->getActiveCamera();
  if (camera == nullptr)
    return;
  const vector3df eye = camera->getAbsolutePosition();
  const vector3df from = node->getPosition();
  const line3df span(from, from + node->getSpan());
  const float distance = span.getClosestPoint(eye).getDistanceFrom(eye);
  node->setScale(vector3df(factor * distance));
}

void placeMoveMarkers(graphicsObject* object) {
  generic_object* owner = object != nullptr ? object->getOwner() : nullptr;
  if (owner == nullptr)
    return;
  const ObjectLock lock(owner);
  const MoveTargetState& state = moveTargetState;
  const vector3df raised = raisedTarget();
  const vector3df from = object->getAbsolutePosition();
  showMarker(MM_Route, from, raised - from);
  if (std::fabs(state.heightOffset) <= kFlatHeight) {
    hideMarker(MM_Drop);
    hideMarker(MM_Base);
    return;
  }
  showMarker(MM_Drop, state.moveTarget, raised - state.moveTarget);
  showMarker(MM_Base, from, state.moveTarget - from);
}

// --- The target point -----------------------------------------------------------

bool rayPlanePoint(const line3df& ray, const vector3df& origin, vector3df& out) {
  const objGalaxy* world = galaxy;
  irr::scene::ICameraSceneNode* camera = engine.scene != nullptr ? engine.scene->getActiveCamera() : nullptr;
  if (world == nullptr || camera == nullptr)
    return false;
  const float rise = ray.start.Y - ray.end.Y;
  if (std::fabs(rise) <= kFlatRay)
    return false;
  const vector3df a = ray.start - origin;
  const vector3df b = ray.end - origin;
  const float t = a.Y / rise;
  vector3df p = a * (1.0f - t) + b * t;
  p.Y = 0.0f;
  const float reach = 3.0f * world->radius;
  if ((p - a).getLengthSQ() > reach * reach)
    return false;
  const vector3df eye = camera->getAbsolutePosition();
  if ((camera->getTarget() - eye).dotProduct(origin + p - eye) < 0.0f)
    return false;
  out = p;
  return true;
}

bool startMoveToPoint() {
  const heldPointer<graphicsObject> selected = subSelectedObject();
  graphicsObject* container = selected.get() != nullptr ? selected->getParent() : nullptr;
  if (container == nullptr)
    return false;
  generic_object* object = selected->getOwner();
  const empire* player = activeEmpire.load();
  if (object == nullptr || player == nullptr || object->getOwner() != player)
    return false;
  generic_object* place = container->getOwner();
  const bool openSpace = place != nullptr && place->getType() == OT_Galaxy;
  const vector3df origin = openSpace ? selected->getAbsolutePosition() : container->getAbsolutePosition();
  line3df ray;
  vector3df onPlane;
  if (!cursorRay(ray) || !rayPlanePoint(ray, origin, onPlane))
    return false;

  MoveTargetState& state = moveTargetState;
  state.moveTarget = origin + onPlane + vector3df(0.0f, state.planeOffset, 0.0f);
  // 0 and 1 mean something else: a deadline that wraps onto them waits
  // 2 ms longer.
  uint32_t fireAt = realTimeMs() + kMoveDelayMs;
  if (fireAt <= kFireNextFrame)
    fireAt = kFireNextFrame + 1;
  state.moveFireTime = fireAt;
  state.heightOffset = 0.0f;
  if (!openSpace && !altKeyDown) {
    // The ships keep their height in the system unless Alt puts the target
    // on the plane itself.
    const ObjectLock lock(object);
    state.heightOffset = object->position.Y;
  }
  placeMoveMarkers(selected.get());
  return true;
}

// --- Height drag and the frame step ----------------------------------------------

void startMoveHeightDrag() {
  startMoveToPoint();
  moveTargetState.moveFireTime = 0;
}

void dragMoveHeight(int32_t dy) {
  irr::scene::ICameraSceneNode* camera = engine.scene != nullptr ? engine.scene->getActiveCamera() : nullptr;
  const bool upright = camera != nullptr && camera->getUpVector().Y > 0.0f;
  moveTargetState.heightOffset += upright ? -static_cast<float>(dy) : static_cast<float>(dy);
  placeMoveMarkers(subSelectedObject().get());
}

void endMoveHeightDrag() { moveTargetState.moveFireTime = kFireNextFrame; }

void updatePendingMoveOrder(bool heightDragRunning) {
  const uint32_t fireAt = moveTargetState.moveFireTime;
  if (fireAt == 0) {
    if (heightDragRunning)
      placeMoveMarkers(subSelectedObject().get());
    else
      hideMoveMarkers();
    return;
  }
  // Still waiting (compared across the timer's wrap).
  if (fireAt != kFireNextFrame && static_cast<int32_t>(realTimeMs() - fireAt) < 0) {
    placeMoveMarkers(subSelectedObject().get());
    return;
  }
  fireMoveOrder();
}

void releaseMoveToPoint() {
  moveTargetState.moveFireTime = 0;
  moveTargetState.heightOffset = 0.0f;
  dropMarkers();
}

// --- The order ------------------------------------------------------------------

GiveMoveToPointOrder::GiveMoveToPointOrder(const vector3df& target, const vector3df& direction, float spacing)
    : target_(target), facing_(1.0f, 0.0f, 0.0f), spacing_(spacing) {
  // A target on the first object itself has no direction: the fixed facing
  // keeps every destination a number.
  const float lengthSquared = direction.getLengthSQ();
  if (lengthSquared > 0.0f && std::isfinite(lengthSquared))
    facing_ = direction / std::sqrt(lengthSquared);
  side_.set(-facing_.Z, 0.0f, facing_.X);
  const uint32_t count = getSelectedObjectCount();
  width_ = count / kLeastRowWidth > kLeastRowWidth ? count / kLeastRowWidth : kLeastRowWidth;
}

GiveMoveToPointOrder::~GiveMoveToPointOrder() { giveOrders(); }

void GiveMoveToPointOrder::act(graphicsObject* object) {
  if (object != nullptr && object->getOwner() != nullptr)
    collected_.emplace_back(object->getOwner());
}

vector3df GiveMoveToPointOrder::formationPoint(uint32_t index) const {
  const uint32_t row = index / width_;
  // Signed columns: 0, -1, +1, -2, +2, ...
  int64_t column = static_cast<int64_t>(((static_cast<uint64_t>(index) + 1) >> 1) % width_);
  if ((index % width_) % 2 == 1)
    column = -column;
  return target_ - facing_ * (static_cast<float>(row) * spacing_) + side_ * (static_cast<float>(column) * spacing_);
}

void GiveMoveToPointOrder::giveOrders() {
  std::set<const ObjectAI*> fleets;
  for (const auto& object : collected_) {
    const ObjectLock lock(object.get());
    if (dynamic_cast<FleetAI*>(object->ai) != nullptr)
      fleets.insert(object->ai);
  }
  const empire* player = activeEmpire.load();
  const bool queue = shiftKeyDown;
  for (const auto& entry : collected_) {
    generic_object* object = entry.get();
    const ObjectLock lock(object);
    // A fleet member whose commander is ordered moves with its fleet.
    const auto* unit = dynamic_cast<const UnitAI*>(object->ai);
    if (unit != nullptr && unit->fleet != nullptr && fleets.count(unit->fleet) != 0)
      continue;
    if (player == nullptr || object->getOwner() != player || object->mover == nullptr ||
        object->mover->getKind() != kMobileMover || object->ai == nullptr)
      break;
    const vector3df point = formationPoint(issued_);
    object->setDestination(point);
    Order* order = new move_order(point, kMoveTolerance);
    if (queue)
      object->ai->appendOrder(order);
    else
      object->ai->addOrder(order, true);
    ++issued_;
  }
  collected_.clear();
}
