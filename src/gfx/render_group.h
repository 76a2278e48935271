// Render groups: the graphics objects of the galaxy and of star systems.
//
// A group owns a culling scene node for its whole subtree and updates its
// child graphics objects once per frame. The galaxy's group is the entry of
// the per-frame graphics-tree update: it updates its systems' groups (half
// of them on the render-group worker thread when graphics are threaded) and
// then the objects in open space. A system's group throttles its work with
// the camera's distance, shows the system's presence ring (who holds the
// system, and how strongly) and its plane, marks the system as a combat
// zone, and posts the local player's attack warning with its sound.
//
// Only the galaxy's group is made by the game (with the galaxy, new or
// loaded); a group made for a star system registers in renderGroupMap like
// any group, and the galaxy's group then updates it.
//
// Threads: `update` runs on the main thread; for the galaxy's systems also
// on the worker, which takes the first half of them while the main thread
// does the second and then waits for it. Each system is updated under its
// system lock; objects in open space under the galaxy's.
#pragma once

#include <irrlicht.h>

#include <atomic>
#include <cstdint>

#include "gfx/graphics_object.h"

class empire;

// The culling node of a render group: it draws nothing, and when the scene
// manager finds its box outside the view, neither it nor anything under it
// is registered for drawing.
class SystemCullingNode : public irr::scene::ISceneNode {
 public:
  SystemCullingNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* manager, irr::s32 id);

  void OnRegisterSceneNode() override;
  void render() override {}
  const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override { return box_; }
  // The box becomes (-r,-r,-r)..(r,r,r).
  void setBox(irr::f32 r);

 private:
  irr::core::aabbox3d<irr::f32> box_;
};

class renderGroup : public graphicsObject {
 public:
  // A group for `owner` (the galaxy or a star system), registered in
  // renderGroupMap. It starts throttled under the hidden root; the galaxy's
  // creator clears `throttled` and puts the node under the scene root.
  explicit renderGroup(generic_object* owner);

  // Removes the presence ring and the system plane, then as the base.
  void remove(bool quiet) override;
  // The per-frame step (see the file's head); true only when the owner is
  // no longer valid (the group removed itself).
  bool update() override;
  // A throttled group moves under the hidden or the visible root.
  void hide() override;
  void show() override;
  graphicsObject* hitTest(const irr::core::line3df& ray, double* best, double* distance) override;
  graphicsObject* hitTestTree(const irr::core::line3df& ray, float spread, float* best) override;

  // Sizes the culling box (r x 1.25), the ring (r x 2.5) and the plane (r)
  // and moves the node to the owner; nothing when r is the radius already.
  void setRadius(float r);

  irr::scene::IBillboardSceneNode* getPresenceRing() const { return presenceRing; }
  irr::scene::ISceneNode* getSystemPlane() const { return systemPlane; }

  // Timer real time (ms) before which a throttled group skips its children.
  irr::u32 nextUpdate = 0;
  // Cached from the last update with a major empire present.
  uint32_t heldPlanets = 0;
  uint32_t heldShips = 0;
  uint32_t ships = 0;
  uint32_t planets = 0;
  empire* dominant = nullptr;
  // The attack warning was given for this system.
  bool warned = false;
  float groupRadius = 1.0f;
  bool throttled = true;

 protected:
  ~renderGroup() override;

 private:
  bool updateGalaxy();
  void updateSystem();
  void spinRing();

  irr::scene::IBillboardSceneNode* presenceRing = nullptr;  // a child of the node
  irr::scene::ISceneNode* systemPlane = nullptr;            // a child of the node
};

// The presence ring materials, "emptyEmpty" (0) to "armySector" (11).
const wchar_t* presenceRingName(unsigned index);
// The ring picture for held and total counts: the planet part (3 all of at
// least one planet, 2 two or more, 1 one, else 0) plus the ship part (8 for
// 50 ships or more, 4 for any, else 0).
unsigned presenceRingIndex(uint32_t heldPlanets, uint32_t planets, uint32_t heldShips);

// The distance at which a system's update delay reaches 250 ms (35000 at
// start); the console's "update_falloff" sets it.
void setRenderGroupFalloff(float falloff);
float renderGroupFalloff();
// The delay of a throttled system whose edge is `e` (> 0) from the camera,
// without its jitter: e x 500 / (falloff + e), whole milliseconds.
irr::u32 renderGroupDelayMs(float e);

// The clock of the throttling, in milliseconds: the engine timer's real
// time (0 without one). Tests set their own.
extern irr::u32 (*renderGroupClock)();
// The graphics object under the pointer in the strategic view; null while
// nothing is hovered. The view input sets it.
extern std::atomic<graphicsObject*> hoveredGraphicsObject;
// At most one attack warning is posted per run: set to 6 by the first
// (nothing lowers it).
extern std::atomic<uint32_t> attackWarningHold;

// The group the view shows and picks in (one reference held); null between
// sessions. Setting it hides the previous one and shows the new one.
void setCurrentViewGroup(graphicsObject* group);
graphicsObject* currentViewGroup();

// Runs hitTest on the current view group's children from `start` on and
// returns the last hit (null for none).
graphicsObject* pickRenderGroups(irr::u32 start, const irr::core::line3df& ray, double* best);

// The galaxy's group, made by the galaxy's creation and by the object-tree
// reader: not throttled and under the scene root. Becomes the galaxy's
// graphics object (the creator's reference). Null without a scene.
renderGroup* createGalaxyRenderGroup(generic_object* galaxy);

// Session end: the current view group is let go, renderGroupMap emptied,
// the worker thread ended and the two roots removed.
void clearRenderGroups();
