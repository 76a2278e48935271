#include "ui/selection.h"

#include <map>
#include <thread>
#include <vector>

#include "app/base/event_handler.h"
#include "core/locks.h"
#include "empire/empire.h"
#include "gfx/gfx_resources.h"
#include "gfx/graphics_object.h"
#include "gfx/select_ring.h"
#include "universe/objects/game_object.h"

plat::RecursiveMutex selectionLock;
repeat_orders* repeatRecording = nullptr;

namespace {

// A member's record: the set's references on the graphics object and on its
// ring (null until one is made).
struct SelectionEntry {
  graphicsObject* object = nullptr;
  irr::scene::CSelectRing* ring = nullptr;
};

// Ring sizes are relative to the object's own node: one and a half times
// it, or for a star system one and a half times the system's radius.
constexpr float kRingScale = 1.5f;
constexpr uint32_t kUnownedRingColour = 0xFFFFFFFF;

std::map<graphicsObject*, SelectionEntry> members;
uint32_t selectionId = 0;
uint32_t subSelection = 0;

void eraseEntry(std::map<graphicsObject*, SelectionEntry>::iterator at) {
  graphicsObject* object = at->second.object;
  irr::scene::CSelectRing* ring = at->second.ring;
  members.erase(at);
  object->selected = false;
  if (ring != nullptr) {
    {
      MutexGuard guard(*renderLock);
      ring->remove();
    }
    ring->drop();
  }
  object->drop();
}

// Hangs a ring under the object's scene node (none without a node), sized
// and coloured after its game object and with the "selectRing" material.
irr::scene::CSelectRing* makeRing(graphicsObject* object, generic_object* owner) {
  irr::scene::ISceneNode* node = object->getNode();
  if (node == nullptr)
    return nullptr;
  float scale = kRingScale;
  uint32_t colour = kUnownedRingColour;
  if (owner != nullptr) {
    if (owner->getType() == OT_System)
      scale = owner->radius * kRingScale;
    if (const empire* emp = owner->getOwner())
      colour = emp->color;
  }
  // The creator's reference is the entry's; the node holds its own.
  auto* ring = new irr::scene::CSelectRing(node, scale, irr::video::SColor(colour));
  if (const irr::video::SMaterial* material = getMaterial(L"selectRing"))
    ring->getMaterial(0) = *material;
  return ring;
}

void clearSelectionUnlocked() {
  subSelection = 0;
  while (!members.empty())
    eraseEntry(members.begin());
}

// Marks an attached object selected and enters it, under its owner's lock.
// A member without a ring gets one; with `onlyValid`, only when its game
// object is still valid.
void addMember(graphicsObject* object, bool onlyValid) {
  generic_object* owner = object->getOwner();
  if (owner != nullptr)
    owner->lockContainer();
  object->selected = true;
  SelectionEntry& entry = members[object];
  if (entry.object == nullptr) {
    object->grab();
    entry.object = object;
  }
  if (entry.ring == nullptr && (!onlyValid || (owner != nullptr && owner->isValid())))
    entry.ring = makeRing(object, owner);
  if (owner != nullptr)
    owner->unlockContainer();
}

}  // namespace

SelectionGuard::SelectionGuard() {
  while (!selectionLock.tryLock())
    std::this_thread::yield();
}

void setSelection(graphicsObject* object) {
  const SelectionGuard guard;
  clearSelectionUnlocked();
  ++selectionId;
  subSelection = 0;
  if (object != nullptr && object->attached)
    addMember(object, true);
}

void addToSelection(graphicsObject* object) {
  if (object == nullptr)
    return;
  const SelectionGuard guard;
  if (!object->attached)
    return;
  ++selectionId;
  addMember(object, false);
}

void removeFromSelection(graphicsObject* object) {
  if (object == nullptr)
    return;
  const SelectionGuard guard;
  ++selectionId;
  auto at = members.find(object);
  if (at != members.end())
    eraseEntry(at);
  // An index at the count would read nothing.
  if (subSelection >= members.size())
    subSelection = 0;
}

void selectWithModifiers(graphicsObject* object) {
  if (object == nullptr)
    return;
  if (shiftKeyDown)
    addToSelection(object);
  else if (controlKeyDown)
    object->selected ? removeFromSelection(object) : addToSelection(object);
  else if (altKeyDown)
    removeFromSelection(object);
  else
    setSelection(object);
}

graphicsObject* selectedObjectAt(uint32_t index) {
  const SelectionGuard guard;
  if (index >= members.size())
    return nullptr;
  auto at = members.begin();
  std::advance(at, index);
  return at->first;
}

graphicsObject* getSingleSelectedObject() {
  const SelectionGuard guard;
  return members.size() == 1 ? members.begin()->first : nullptr;
}

void forEachSelected(SelectedObjectAction& action) {
  const SelectionGuard guard;
  // An action may change the set (the lock is re-entrant): the walk goes
  // over the members it started with, each held meanwhile, and skips those
  // that left the set before their turn.
  std::vector<graphicsObject*> walk;
  walk.reserve(members.size());
  for (auto& member : members) {
    member.first->grab();
    walk.push_back(member.first);
  }
  for (graphicsObject* object : walk)
    if (members.count(object) != 0)
      action.act(object);
  for (graphicsObject* object : walk)
    object->drop();
}

uint32_t getSelectedObjectCount() {
  const SelectionGuard guard;
  return static_cast<uint32_t>(members.size());
}
uint32_t getSelectionId() { return selectionId; }
uint32_t getSubSelection() { return subSelection; }
void setSubSelection(uint32_t index) { subSelection = index; }
