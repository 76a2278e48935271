// The scene-side mirror of one game object: it owns an engine scene node,
// keeps the node's position and visibility in step with the game object,
// holds the sounds that play at the object and its extra drawables (graphic
// extensions), and answers picking questions (ray hits) for the strategic
// view. A server without graphics makes none; objects then hold a null
// `graphics`.
//
// Graphics objects form a tree that follows the game's container tree: an
// object hangs under the graphics object of its game object's container,
// found in `renderGroupMap` (a planet's under its star system's render
// group, a system's under the galaxy's). Each child holds a counted
// reference on its parent and the parent one on each child.
//
// References: the creator holds the first one. The count changes only by
// interlocked operations, since references are taken and given back on
// several threads. The last release logs "Deleting graphics object for
// '<owner's name>'" at the information level when "-debuginfo" was given,
// and deletes the object through its virtual destructor.
//
// Life: attached until `remove` (from `update` once the game object stops
// being valid, or from its owner): removal detaches the subtree, deletes the
// extensions, stops the sounds and gives up the creator's reference. A
// removed object is never attached again. Removal and destruction run under
// `renderLock`.
#pragma once

#include <irrArray.h>
#include <line3d.h>
#include <vector3d.h>

#include <atomic>
#include <cstdint>
#include <map>

#include "universe/objects/held_pointer.h"

class generic_object;
class graphicExtension;
class graphicsObject;
class Mutex;
namespace audio {
class ISound;
class ISoundSource;
}  // namespace audio
namespace irr {
namespace scene {
class ISceneNode;
}
}  // namespace irr

// Held while graphics objects are removed and destroyed, so that no scene
// node disappears while another thread walks the scene under it. Made at
// process start and never destroyed.
extern Mutex* const renderLock;

// The render group (graphics object) that mirrors a game object, by game
// object; filled by the render groups as they are made. Not counted: an
// object leaves the map when it is destroyed. Emptied at session end.
extern std::map<generic_object*, graphicsObject*> renderGroupMap;
// The value slot of `object` in renderGroupMap, inserted (null) when it is
// missing. A null object has no slot: null is returned.
graphicsObject* renderGroupMapAt(generic_object* object);

class graphicsObject {
 public:
  // Mirrors `owner` (may be null; one reference held until destruction)
  // with `node` (may be null; grabbed until destruction). With shaders on,
  // a node of ours gets the owner's render-state access as its user
  // settings. The object hangs under its owner's container's render group
  // when there is one.
  graphicsObject(generic_object* owner, irr::scene::ISceneNode* node);
  explicit graphicsObject(generic_object* owner) : graphicsObject(owner, nullptr) {}
  graphicsObject(const graphicsObject&) = delete;
  graphicsObject& operator=(const graphicsObject&) = delete;

  // The current game time in seconds.
  virtual double getTime();
  // Detaches the object (once; a later call does nothing): the children go
  // under the scene root, the object leaves its parent, the sounds stop, the
  // extensions are deleted, the node's child nodes are removed and the node
  // hidden, and the creator's reference is given up. `quiet` is the game
  // object's quiet-destroy flag; the base ignores it.
  virtual void remove(bool quiet);
  // `show` clears `bits` from the hide mask, false sets them. When the mask
  // turns zero or non-zero, the node and every extension are shown or hidden.
  virtual void setHidden(bool show, uint8_t bits);
  virtual void setStateByte(uint8_t value);
  virtual uint8_t getStateByte();
  // The per-frame step, run by the render group: removes an object whose
  // game object stopped being valid, re-parents one whose game object moved
  // to another container, places the node, decides its visibility by camera
  // distance and updates the children. True when the object left its
  // parent's child list.
  virtual bool update();
  virtual void hide();
  virtual void show();
  // Ray test of this object alone. `best` holds the distance of the best
  // hit so far and is lowered on a better hit (this object is returned).
  virtual graphicsObject* hitTest(const irr::core::line3df& ray, double* best, double* distance);
  // Angular pick over the subtree: the object whose centre is nearest the
  // ray relative to its distance along it (`best` holds the best ratio).
  virtual graphicsObject* hitTestTree(const irr::core::line3df& ray, float spread, float* best);
  // Whether the ray's line meets the sphere of `radius` around the node; the
  // distance along the ray is written to `distance`.
  virtual bool hitSphere(const irr::core::line3df& ray, double* distance);
  // The point of the bounding sphere toward `toward`.
  virtual void getSurfacePoint(irr::core::vector3df* out, const irr::core::vector3df& toward);
  virtual irr::core::vector3df surfacePoint(const irr::core::vector3df& toward);
  // The surface point in the node's local frame.
  virtual irr::core::vector3df localSurfacePoint(const irr::core::vector3df& toward);
  virtual irr::core::vector3df surfacePointAlt(const irr::core::vector3df& toward);
  virtual irr::core::vector3df localSurfacePointAlt(const irr::core::vector3df& toward);

  void grab() { refCount.fetch_add(1); }
  // Gives back one reference; on the last one the object is deleted (and
  // true returned).
  bool drop();

  // Moves the object under `newParent` (null: under the scene root).
  void setParent(graphicsObject* newParent);
  void addChild(graphicsObject* child);
  // Drops the first occurrence of `child`; nothing when it is absent.
  void removeChild(graphicsObject* child);
  // The list takes ownership.
  void addExtension(graphicExtension* extension);
  // Deletes `extension` when the list holds it (searched from the end).
  void removeExtension(graphicExtension* extension);
  // Starts a 3D sound of `source` at the node; null while the object is
  // silent or when the sound device gives none. The list keeps a reference.
  audio::ISound* playSound(audio::ISoundSource* source);
  // The per-frame sound step: pauses (looping) or stops (the others) the
  // sounds while the object is faded out or hidden, moves them with the
  // object while it is audible, and resumes them when it becomes audible.
  void updateSounds();

  generic_object* getOwner() const { return owner; }
  irr::scene::ISceneNode* getNode() const { return node; }
  graphicsObject* getParent() const { return parent.get(); }
  const irr::core::array<heldPointer<graphicsObject>>& getChildren() const { return children; }
  const irr::core::array<graphicExtension*>& getExtensions() const { return extensions; }
  const irr::core::array<heldPointer<audio::ISound>>& getSounds() const { return sounds; }
  uint8_t getHideMask() const { return hideMask; }
  bool isHidden() const { return hideMask != 0; }
  bool isSilent() const { return silent; }
  // The node's absolute position; the owner's position without a node.
  irr::core::vector3df getAbsolutePosition() const;

  std::atomic<int32_t> refCount{1};
  std::atomic<bool> attached{true};   // cleared once, when it leaves the scene
  std::atomic<bool> selected{false};  // a member of the selection set
  // Sounds stay silent while above 0.5; hit effects show only below 1.0.
  float fade = 0.0f;
  // Bounding-sphere radius of the hit tests and the visibility distance.
  float radius = 0.05f;

 protected:
  // Drops the owner, takes the node out of the scene (under renderLock),
  // releases the sounds, the children and the parent, and deletes the
  // extensions still listed.
  virtual ~graphicsObject();

  bool silent = true;
  uint8_t stateByte = 0;
  // One bit per reason for hiding; the node shows only while it is 0. The
  // render groups own bit 2 (the local player's empire cannot see it).
  uint8_t hideMask = 0;
  irr::core::array<graphicExtension*> extensions;  // owned
  heldPointer<graphicsObject> parent;
  irr::core::array<heldPointer<graphicsObject>> children;
  generic_object* owner;  // counted
  irr::scene::ISceneNode* node;  // grabbed
  irr::core::array<heldPointer<audio::ISound>> sounds;
};
