#include "ui/object_picking.h"

#include <angelscript.h>
#include <irrlicht.h>

#include <cmath>

#include "app/base/engine.h"
#include "core/locks.h"
#include "gfx/graphics_object.h"
#include "gfx/render_group.h"
#include "net/network_manager.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/game_object.h"

using irr::core::line3df;
using irr::core::vector3df;
using namespace AngelScript;

namespace {

// A hovered object is asked for again from the server at most this often.
constexpr uint32_t kHoverWatchMs = 333;
// The wide pick's spread: off the ray by 1/70 of the distance along it.
constexpr float kWidePickSpread = 1.0f / 70.0f;
constexpr double kNoHit = 1e35;

heldPointer<graphicsObject> hovered;
uint32_t hoverWatchTime = 0;

const char* const kViewScriptDeclarations[4] = {
    "void onClick(Object@)",
    "void onDoubleClick(Object@)",
    "void onBoxSelect(Object@)",
    "void OnMouseOverContext(Object@, pos2di)",
};
int32_t viewScriptIds[4] = {kViewScriptNotLookedUp, kViewScriptNotLookedUp, kViewScriptNotLookedUp,
                            kViewScriptNotLookedUp};

uint32_t realTimeMs() { return engine.timer != nullptr ? engine.timer->getRealTime() : 0; }

// Whether the segment from `middle` along the unit `direction`, `half` long
// either way, passes within `radius` of `centre`.
bool segmentMeetsSphere(const vector3df& middle, const vector3df& direction, float half, const vector3df& centre,
                        float radius) {
  const vector3df offset = centre - middle;
  float along = offset.dotProduct(direction);
  if (along > half)
    along = half;
  else if (along < -half)
    along = -half;
  const vector3df closest = middle + direction * along;
  return closest.getDistanceFromSQ(centre) <= radius * radius;
}

struct RaySegment {
  vector3df middle;
  vector3df direction;
  float half;
};

void visitItems(const OctTree<generic_object>::child& node, const RaySegment& ray, OctTreeRayVisitor& visitor) {
  for (irr::u32 i = 0; i < node.items.size(); ++i) {
    const OctTree<generic_object>::item& entry = node.items[i];
    if (segmentMeetsSphere(ray.middle, ray.direction, ray.half, vector3df(entry.x, entry.y, entry.z), entry.radius))
      visitor.visit(entry.object);
  }
}

void walkChildren(const OctTree<generic_object>::child& node, const RaySegment& ray, OctTreeRayVisitor& visitor) {
  for (const OctTree<generic_object>::child* next : node.children) {
    if (next == nullptr)
      continue;
    const vector3df centre(next->centreX, next->centreY, next->centreZ);
    const vector3df corner(next->halfSize, next->halfSize, next->halfSize);
    const irr::core::aabbox3df cube(centre - corner, centre + corner);
    if (!cube.intersectsWithLine(ray.middle, ray.direction, ray.half))
      continue;
    visitItems(*next, ray, visitor);
    walkChildren(*next, ray, visitor);
  }
}

// The visitor of a ray pick: the nearest graphics object hit.
class FindObjectOnLine : public OctTreeRayVisitor {
 public:
  explicit FindObjectOnLine(const line3df& ray) : ray_(ray) {}
  void visit(generic_object* object) override {
    graphicsObject* graphics = object != nullptr ? object->graphics : nullptr;
    if (graphics == nullptr)
      return;
    double distance = 0.0;
    if (graphicsObject* hit = graphics->hitTest(ray_, &best, &distance))
      this->hit = hit;
  }

  double best = kNoHit;
  graphicsObject* hit = nullptr;

 private:
  line3df ray_;
};

// The objects in open space of the view group: the star systems were tried
// along the tree already (a second try could only hand back the system
// behind a nearer hit).
graphicsObject* pickOpenSpace(const line3df& ray, double* best) {
  graphicsObject* group = currentViewGroup();
  if (group == nullptr)
    return nullptr;
  graphicsObject* result = nullptr;
  const auto& children = group->getChildren();
  for (irr::u32 i = 0; i < children.size(); ++i) {
    graphicsObject* child = children[i].get();
    generic_object* owner = child->getOwner();
    if (owner != nullptr && owner->getType() == OT_System)
      continue;
    double distance = 0.0;
    if (graphicsObject* hit = child->hitTest(ray, best, &distance))
      result = hit;
  }
  return result;
}

// The view group's angular pick around the ray.
graphicsObject* widePick(const line3df& ray) {
  graphicsObject* group = currentViewGroup();
  if (group == nullptr)
    return nullptr;
  float best = static_cast<float>(kNoHit);
  return group->hitTestTree(ray, kWidePickSpread, &best);
}

}  // namespace

void walkOctTreeAlongRay(const OctTree<generic_object>::child& root, const line3df& ray, OctTreeRayVisitor& visitor) {
  RaySegment segment;
  segment.middle = ray.getMiddle();
  segment.direction = ray.getVector();
  segment.half = static_cast<float>(ray.getLength() * 0.5);
  if (segment.half > 0.0f)
    segment.direction /= segment.half * 2.0f;
  visitItems(root, segment, visitor);
  walkChildren(root, segment, visitor);
}

graphicsObject* pickObjectOnRay(const line3df& ray) {
  objGalaxy* world = galaxy;
  if (world == nullptr)
    return nullptr;
  MutexGuard scene(*sceneLock);
  FindObjectOnLine finder(ray);
  walkOctTreeAlongRay(world->objectTree.root, ray, finder);
  graphicsObject* result = finder.hit;
  if (graphicsObject* open = pickOpenSpace(ray, &finder.best))
    result = open;
  generic_object* owner = result != nullptr ? result->getOwner() : nullptr;
  if (result != nullptr && (owner == nullptr || owner->getType() != OT_System))
    return result;
  if (graphicsObject* near = widePick(ray))
    result = near;
  return result;
}

bool cursorRay(line3df& out) {
  if (engine.scene == nullptr || engine.cursor == nullptr)
    return false;
  irr::scene::ICameraSceneNode* camera = engine.scene->getActiveCamera();
  irr::scene::ISceneCollisionManager* collision = engine.scene->getSceneCollisionManager();
  if (camera == nullptr || collision == nullptr)
    return false;
  out = collision->getRayFromScreenCoordinates(engine.cursor->getPosition(), camera);
  return true;
}

graphicsObject* pickObjectUnderCursor() {
  line3df ray;
  return cursorRay(ray) ? pickObjectOnRay(ray) : nullptr;
}

// --- The hovered object -------------------------------------------------------

void setHoveredObject(graphicsObject* object) {
  const uint32_t now = realTimeMs();
  const bool client = isNetworkClient();
  if (object != hovered.get()) {
    hovered = object;
    hoveredGraphicsObject.store(object);
    if (object != nullptr && client) {
      networkManager->watchObject(object->getOwner());
      hoverWatchTime = now + kHoverWatchMs;
    }
    return;
  }
  // The same object: its details again once the last request is old enough
  // (compared across the timer's wrap).
  if (object != nullptr && client && static_cast<int32_t>(now - hoverWatchTime) > 0) {
    networkManager->watchObject(object->getOwner());
    hoverWatchTime = now + kHoverWatchMs;
  }
}

graphicsObject* getHoveredObject() { return hovered.get(); }

bool containsHoveredObject(const graphicsObject* object) {
  if (object == nullptr)
    return false;
  for (const graphicsObject* at = hovered.get(); at != nullptr; at = at->getParent())
    if (at == object)
      return true;
  return false;
}

// --- Script callbacks ---------------------------------------------------------

int32_t viewScriptId(ViewScript which) {
  int32_t& id = viewScriptIds[which];
  if (id != kViewScriptNotLookedUp)
    return id;
  if (clientScriptEngine == nullptr)
    return kViewScriptNotLookedUp;  // looked up once there is an engine
  asIScriptModule* module = clientScriptEngine->GetModule("gui", asGM_ONLY_IF_EXISTS);
  if (module == nullptr) {
    id = kViewScriptNoModule;
  } else {
    asIScriptFunction* function = module->GetFunctionByDecl(kViewScriptDeclarations[which]);
    id = function != nullptr ? function->GetId() : asNO_FUNCTION;
  }
  return id;
}

asIScriptFunction* viewScriptFunction(ViewScript which) {
  const int32_t id = viewScriptId(which);
  if (id < 0 || clientScriptEngine == nullptr)
    return nullptr;
  return clientScriptEngine->GetFunctionById(id);
}

bool callViewScriptOn(ViewScript which, generic_object* object) {
  asIScriptFunction* function = viewScriptFunction(which);
  if (function == nullptr)
    return false;
  asIScriptContext* context = threadClientContext();
  // A context still running a call (a click raised from a script) refuses
  // the preparation and keeps its call.
  if (context == nullptr || context->Prepare(function) < 0)
    return true;
  // The context takes the handle's reference itself; the script gives it
  // back when the call ends.
  if (context->SetArgObject(0, object) >= 0)
    context->Execute();
  endScriptCall(context);
  return true;
}

bool callViewScript(ViewScript which, graphicsObject* object) {
  return callViewScriptOn(which, object != nullptr ? object->getOwner() : nullptr);
}

void callMouseOverContext(generic_object* object, const irr::core::position2di& at) {
  if (clientScriptEngine == nullptr)
    return;
  asIScriptFunction* function = viewScriptFunction(VS_OnMouseOverContext);
  if (function == nullptr)
    return;
  asIScriptContext* context = threadClientContext();
  if (context == nullptr || context->Prepare(function) < 0)
    return;
  irr::core::position2di position = at;
  if (context->SetArgObject(0, object) >= 0 && context->SetArgObject(1, &position) >= 0)
    context->Execute();
  endScriptCall(context);
}

void releasePickingState() {
  hoveredGraphicsObject.store(nullptr);
  hovered = nullptr;
  hoverWatchTime = 0;
  for (int32_t& id : viewScriptIds)
    id = kViewScriptNotLookedUp;
}
