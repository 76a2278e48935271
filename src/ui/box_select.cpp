#include "ui/box_select.h"

#include <angelscript.h>
#include <irrlicht.h>

#include "app/base/engine.h"
#include "app/base/event_handler.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "script/script_contexts.h"
#include "ui/object_picking.h"
#include "ui/selection.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_locks.h"
#include "universe/orders/fleet_ai.h"

using irr::core::line3df;
using irr::core::vector3df;
using namespace AngelScript;

namespace {

// Objects in open space are selected within this distance of the camera;
// a star system's objects while the camera is nearer than the system's
// radius plus this to its centre.
constexpr float kSelectionReach = 85000.0f;
constexpr float kSelectionReachSquared = 7.225e9f;
constexpr float kPlaneTolerance = 1e-6f;
constexpr float kZeroLengthSquared = 1e-8f;

using ObjectList = std::vector<heldPointer<generic_object>>;

// The candidate groups, in order of preference.
struct Candidates {
  ObjectList ownShips, ownOthers, foreignShips, foreignPlanets, foreignOthers;

  // Sorts one object into its group; another owner's object that the
  // player's empire cannot see is dropped.
  void add(generic_object* object) {
    const empire* viewer = activeEmpire.load();
    const int type = object->getType();
    if (viewer != nullptr && object->getOwner() == viewer) {
      (type == OT_Hulled ? ownShips : ownOthers).push_back(object);
      return;
    }
    if (!object->isVisibleTo(viewer))
      return;
    if (type == OT_Hulled)
      foreignShips.push_back(object);
    else if (type == OT_Planet)
      foreignPlanets.push_back(object);
    else
      foreignOthers.push_back(object);
  }

  const ObjectList& preferred() const {
    for (const ObjectList* list : {&ownShips, &ownOthers, &foreignShips, &foreignPlanets})
      if (!list->empty())
        return *list;
    return foreignOthers;
  }
};

// Where the view shows the object: its node's place, else its own.
vector3df viewPosition(generic_object* object) {
  const graphicsObject* graphics = object->graphics;
  return graphics != nullptr && graphics->getNode() != nullptr ? graphics->getAbsolutePosition()
                                                               : object->getPosition();
}

void normaliseUnlessZero(vector3df& v) {
  if (!irr::core::iszero(v.getLengthSQ(), kZeroLengthSquared))
    v.normalize();
}

// The plane through a, b and c, turned to face `inside`.
BoxPlane planeThrough(const vector3df& a, const vector3df& b, const vector3df& c, const vector3df& inside) {
  BoxPlane plane;
  plane.normal = (b - a).crossProduct(c - a);
  normaliseUnlessZero(plane.normal);
  plane.d = -plane.normal.dotProduct(a);
  if (plane.distance(inside) < 0.0f) {
    plane.normal = -plane.normal;
    plane.d = -plane.d;
  }
  return plane;
}

// Hands each object to "onBoxSelect" while the callback can be called, and
// the rest to the selection.
void handOver(const std::vector<generic_object*>& objects) {
  asIScriptFunction* function = viewScriptFunction(VS_OnBoxSelect);
  asIScriptContext* context = function != nullptr ? threadClientContext() : nullptr;
  // A context busy with a call further up keeps it: never ended here.
  bool prepared = context != nullptr && context->Prepare(function) >= 0;
  for (generic_object* object : objects) {
    if (prepared) {
      // The context takes the handle's reference; the script gives it back.
      if (context->SetArgObject(0, object) < 0)
        continue;
      context->Execute();
      prepared = context->Prepare(function) >= 0;
      continue;
    }
    addToSelection(object->graphics);
  }
  if (prepared)
    endScriptCall(context);
}

std::vector<generic_object*> pointers(const ObjectList& list) {
  std::vector<generic_object*> out;
  out.reserve(list.size());
  for (const auto& entry : list)
    out.push_back(entry.get());
  return out;
}

// The first selected object that commands a fleet becomes the sub-selection.
void focusFirstFleet() {
  const SelectionGuard guard;
  const uint32_t count = getSelectedObjectCount();
  for (uint32_t i = 0; i < count; ++i) {
    graphicsObject* member = selectedObjectAt(i);
    generic_object* object = member != nullptr ? member->getOwner() : nullptr;
    if (object != nullptr && dynamic_cast<FleetAI*>(object->ai) != nullptr) {
      setSubSelection(i);
      return;
    }
  }
}

void collectNode(const OctTree<generic_object>::child& node, const BoxVolume& volume, bool touching,
                 std::vector<generic_object*>& out) {
  for (irr::u32 i = 0; i < node.items.size(); ++i) {
    const OctTree<generic_object>::item& entry = node.items[i];
    if (volume.contains(vector3df(entry.x, entry.y, entry.z), entry.radius, touching))
      out.push_back(entry.object);
  }
  for (const OctTree<generic_object>::child* next : node.children)
    if (next != nullptr)
      collectNode(*next, volume, touching, out);
}

}  // namespace

bool BoxVolume::contains(const vector3df& centre, float radius, bool touching) const {
  for (const BoxPlane& plane : planes) {
    const float distance = plane.distance(centre);
    if (distance >= -kPlaneTolerance)
      continue;
    if (touching && distance >= -radius)
      continue;
    return false;
  }
  return true;
}

bool makeBoxVolume(int32_t x1, int32_t y1, int32_t x2, int32_t y2, BoxVolume& out) {
  if (engine.scene == nullptr)
    return false;
  irr::scene::ICameraSceneNode* camera = engine.scene->getActiveCamera();
  irr::scene::ISceneCollisionManager* collision = engine.scene->getSceneCollisionManager();
  if (camera == nullptr || collision == nullptr)
    return false;
  const irr::core::position2di corners[4] = {{x1, y1}, {x2, y1}, {x1, y2}, {x2, y2}};
  line3df rays[4];
  for (int i = 0; i < 4; ++i)
    rays[i] = collision->getRayFromScreenCoordinates(corners[i], camera);

  const vector3df eye = camera->getAbsolutePosition();
  vector3df view = camera->getTarget() - eye;
  normaliseUnlessZero(view);
  const vector3df nearPoint = eye + view * camera->getNearValue();
  const vector3df farPoint = eye + view * camera->getFarValue();
  out.planes[0].normal = view;
  out.planes[0].d = -view.dotProduct(nearPoint);
  out.planes[1].normal = -view;
  out.planes[1].d = view.dotProduct(farPoint);

  // Each corner ray where it crosses the near plane.
  const irr::core::plane3df nearPlane(nearPoint, view);
  vector3df onNear[4];
  vector3df inside(0.0f, 0.0f, 0.0f);
  for (int i = 0; i < 4; ++i) {
    if (!nearPlane.getIntersectionWithLine(rays[i].start, rays[i].getVector(), onNear[i]))
      onNear[i] = rays[i].start;
    inside += onNear[i] + rays[i].end;
  }
  inside /= 8.0f;
  // Top, bottom, left and right: the two near points of the side and the
  // far end of its first ray.
  static constexpr int kSides[4][2] = {{0, 1}, {2, 3}, {0, 2}, {1, 3}};
  for (int s = 0; s < 4; ++s) {
    const int a = kSides[s][0];
    const int b = kSides[s][1];
    out.planes[2 + s] = planeThrough(onNear[a], onNear[b], rays[a].end, inside);
  }
  return true;
}

void collectInVolume(const OctTree<generic_object>::child& root, const BoxVolume& volume, bool touching,
                     std::vector<generic_object*>& out) {
  collectNode(root, volume, touching, out);
}

void boxSelect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  objGalaxy* world = galaxy;
  BoxVolume volume;
  if (world == nullptr || !makeBoxVolume(x1, y1, x2, y2, volume))
    return;
  const vector3df eye = engine.scene->getActiveCamera()->getAbsolutePosition();

  // The star systems (and whatever else the tree holds) that the volume
  // touches, each held while the box is worked out.
  ObjectList touched;
  {
    std::vector<generic_object*> found;
    lockSolarSystem(world);
    collectInVolume(world->objectTree.root, volume, true, found);
    for (generic_object* object : found)
      touched.push_back(object);
    unlockSolarSystem(world);
  }

  if (!shiftKeyDown)
    setSelection(nullptr);

  Candidates candidates;
  bool reached = false;
  // Objects in open space near the camera.
  lockSolarSystem(world);
  for (irr::u32 i = 0; i < world->children.size(); ++i) {
    generic_object* object = world->children[i].get();
    if (object == nullptr || object->getType() == OT_System)
      continue;
    const vector3df at = viewPosition(object);
    if (at.getDistanceFromSQ(eye) < kSelectionReachSquared && volume.contains(at)) {
      reached = true;
      candidates.add(object);
    }
  }
  unlockSolarSystem(world);

  // The objects of the systems near the camera.
  for (const auto& entry : touched) {
    auto* system = dynamic_cast<solarSystem*>(entry.get());
    if (system == nullptr || system->getType() != OT_System)
      continue;
    lockSolarSystem(system);
    if (eye.getDistanceFrom(system->getPosition()) < system->radius + kSelectionReach) {
      reached = true;
      for (irr::u32 i = 0; i < system->children.size(); ++i) {
        generic_object* object = system->children[i].get();
        if (object != nullptr && volume.contains(viewPosition(object)))
          candidates.add(object);
      }
    }
    unlockSolarSystem(system);
  }

  if (reached) {
    handOver(pointers(candidates.preferred()));
    if (getSelectedObjectCount() != 0)
      focusFirstFleet();
    return;
  }

  // Nothing near: the systems whose centre the volume holds.
  ObjectList centres;
  {
    std::vector<generic_object*> found;
    lockSolarSystem(world);
    collectInVolume(world->objectTree.root, volume, false, found);
    for (generic_object* object : found)
      centres.push_back(object);
    unlockSolarSystem(world);
  }
  handOver(pointers(centres));
}
