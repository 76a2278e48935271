// Picking in the strategic view: which object a ray through the view meets,
// the object under the mouse (the hovered object), and the view's optional
// script callbacks in the client module "gui".
//
// A pick walks the galaxy's oct tree (its star systems) along the ray and
// asks each system's graphics object for a hit, then the objects in open
// space. When that finds nothing, or only a star system, the wide pick (the
// view group's angular pick, spread 1/70) may name an object near the ray.
// The whole pick holds `sceneLock`. Objects without graphics objects (a
// server has none) are never found.
//
// The hovered object holds one counted reference. While this process plays
// as the client of a remote server, the hovered object's details are asked
// for again (NetworkManager::watchObject) at most once per 333 ms of the
// engine's real time.
//
// Script callbacks: "void onClick(Object@)", "void onDoubleClick(Object@)",
// "void onBoxSelect(Object@)" and "void OnMouseOverContext(Object@, pos2di)".
// Each id is looked up once per session (kViewScriptNotLookedUp until then;
// kViewScriptNoModule when there is no "gui" module; another negative value
// when the module lacks the declaration). A negative id is never called, and
// the caller then does its own built-in action.
#pragma once

#include <line3d.h>
#include <position2d.h>

#include <cstdint>

#include "universe/spatial/oct_tree.h"

class generic_object;
class graphicsObject;
namespace AngelScript {
class asIScriptFunction;
}

// Visitor of walkOctTreeAlongRay.
class OctTreeRayVisitor {
 public:
  virtual ~OctTreeRayVisitor() = default;
  // Called for every item whose sphere the ray meets.
  virtual void visit(generic_object* object) = 0;
};

// Calls `visitor` for each item of the tree whose sphere (centre, radius)
// the segment `ray` meets: the root's items always tested, a child's items
// and descendants only when the child's cube meets the segment.
void walkOctTreeAlongRay(const OctTree<generic_object>::child& root, const irr::core::line3df& ray,
                         OctTreeRayVisitor& visitor);

// The object the world-space segment `ray` meets first (see the file's
// head); null when there is none, or no galaxy.
graphicsObject* pickObjectOnRay(const irr::core::line3df& ray);
// The ray from the active camera through the cursor; false without an
// engine scene, a cursor or an active camera.
bool cursorRay(irr::core::line3df& out);
// pickObjectOnRay along the ray under the cursor.
graphicsObject* pickObjectUnderCursor();

// Makes `object` (null: none) the hovered object. Setting the hovered object
// again takes no new reference; while this is a network client it renews
// the server's watch once more than 333 ms have passed since the last one.
void setHoveredObject(graphicsObject* object);
// The hovered object; no reference is added (main thread).
graphicsObject* getHoveredObject();
// True when `object` is the hovered object or one of the graphics objects
// that contain it; false while nothing is hovered.
bool containsHoveredObject(const graphicsObject* object);

enum ViewScript : int {
  VS_OnClick = 0,
  VS_OnDoubleClick = 1,
  VS_OnBoxSelect = 2,
  VS_OnMouseOverContext = 3,
};
constexpr int32_t kViewScriptNotLookedUp = -50;
constexpr int32_t kViewScriptNoModule = -15;

// The callback's cached id, looked up first when it is not yet; a negative
// value while the client engine or the callback is missing.
int32_t viewScriptId(ViewScript which);
// The callback's function, or null while it is not available.
AngelScript::asIScriptFunction* viewScriptFunction(ViewScript which);
// Calls onClick, onDoubleClick or onBoxSelect with `object`'s game object.
// False when the callback is not available (the caller acts itself); true
// otherwise, also when the call could not be made (the thread's client
// context busy, the argument refused) or the script raised an exception.
bool callViewScript(ViewScript which, graphicsObject* object);
bool callViewScriptOn(ViewScript which, generic_object* object);
// Calls "void OnMouseOverContext(Object@, pos2di)" when it exists.
void callMouseOverContext(generic_object* object, const irr::core::position2di& at);

// Session end: the hovered object is let go and the callbacks are looked up
// afresh by the next session.
void releasePickingState();
