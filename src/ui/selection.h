// The selection set: which game objects the player has selected in the
// strategic view, keyed by their graphics objects. Each member holds one
// reference on its graphics object. A counter, the selection id, grows with
// every change so that panels can tell the selection changed; the
// sub-selection index picks one member of a multiple selection.
//
// `selectionLock` guards the set and both numbers. Every operation takes it
// itself, by spinning on a try-lock; it is re-entrant, so an action run by
// forEachSelected may call the other operations.
//
// Every member with a scene node shows a selection ring (CSelectRing) under
// that node, made when the member is added: 1.5 times the node's size, or
// 1.5 times the radius of a star system; in the owner empire's colour, or
// opaque white for an unowned object; with the material "selectRing".
// setSelection makes a ring only for an object whose game object is valid,
// addToSelection for any. The ring leaves the scene (under renderLock) with
// the member.
#pragma once

#include <cstdint>

#include "platform/recursive_mutex.h"

class graphicsObject;
class repeat_orders;

// What forEachSelected runs on each member.
class SelectedObjectAction {
 public:
  virtual ~SelectedObjectAction() = default;
  virtual void act(graphicsObject* object) = 0;
};

extern plat::RecursiveMutex selectionLock;

// Holds `selectionLock` for a scope, taken by spinning on a try-lock.
class SelectionGuard {
 public:
  SelectionGuard();
  ~SelectionGuard() { selectionLock.unlock(); }
  SelectionGuard(const SelectionGuard&) = delete;
  SelectionGuard& operator=(const SelectionGuard&) = delete;
};

// Makes `object` the only member; null just empties the set. Either way the
// selection id grows by one and the sub-selection index goes back to 0. An
// object that is no longer attached to the scene is not added.
void setSelection(graphicsObject* object);
// Adds an attached object (the selection id grows); an unattached one, or
// null, changes nothing.
void addToSelection(graphicsObject* object);
// Removes the object; the selection id grows even when it was no member. A
// sub-selection index at or past the new count goes back to 0. Null does
// nothing.
void removeFromSelection(graphicsObject* object);
// The player's pick, by the modifier keys held (`shiftKeyDown`,
// `controlKeyDown`, `altKeyDown`, in that order of precedence): Shift adds,
// Control toggles, Alt removes, and a plain pick makes the object the only
// member. Null does nothing.
void selectWithModifiers(graphicsObject* object);
// The member at `index` in the set's order; null past the end. No reference
// is added: hold the lock while using it.
graphicsObject* selectedObjectAt(uint32_t index);
// The member when exactly one is selected, else null. No reference is added.
graphicsObject* getSingleSelectedObject();
// Runs `action` on every member, in the set's order, holding the lock for
// the whole walk. The action may change the set: the walk covers the members
// it started with that are still members when their turn comes.
void forEachSelected(SelectedObjectAction& action);
uint32_t getSelectedObjectCount();
uint32_t getSelectionId();
uint32_t getSubSelection();
void setSubSelection(uint32_t index);

// The repeat order the player is recording, or null.
extern repeat_orders* repeatRecording;
