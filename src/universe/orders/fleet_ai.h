// A fleet: a group of ships led by a commander, known to its owner empire
// by name. The fleet is shared by reference count (one reference from its
// maker); the owner empire holds one for as long as it lists the fleet.
//
// The fleet holds a counted reference on each member; a member's UnitAI
// points back at the fleet (`UnitAI::fleet`). The member list is guarded by
// the fleet's own read/write lock.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include "core/locks.h"
#include "core/ref_counted.h"
#include "universe/objects/held_pointer.h"

class generic_object;

class FleetAI : public refCounted {
 public:
  FleetAI();

  // Makes `object` a member: grabbed, appended to the members, and its
  // UnitAI's fleet set to this fleet. Nothing for a null object, an object
  // without a UnitAI, or one that already belongs to a fleet.
  void addMember(generic_object* object);

  irr::core::stringw name;  // empty until the owner empire names it
  ReadWriteLock lock;       // guards `members`
  irr::core::array<heldPointer<generic_object>> members;

 protected:
  // Releases the members; those still pointing at this fleet leave it.
  ~FleetAI() override;
};
