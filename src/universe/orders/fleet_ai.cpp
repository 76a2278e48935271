#include "universe/orders/fleet_ai.h"

#include "universe/objects/game_object.h"
#include "universe/orders/unit_ai.h"

namespace {

// The object's AI when it is an ordinary order queue, else null.
UnitAI* unitAIOf(generic_object* object) { return dynamic_cast<UnitAI*>(object->ai); }

}  // namespace

FleetAI::FleetAI() = default;

FleetAI::~FleetAI() {
  // A member left behind must not keep pointing at a fleet that is gone.
  for (irr::u32 i = 0; i < members.size(); ++i) {
    generic_object* member = members[i].get();
    if (member == nullptr)
      continue;
    UnitAI* ai = unitAIOf(member);
    if (ai != nullptr && ai->fleet == this)
      ai->fleet = nullptr;
  }
}

void FleetAI::addMember(generic_object* object) {
  if (object == nullptr)
    return;
  UnitAI* ai = unitAIOf(object);
  if (ai == nullptr || ai->fleet != nullptr)
    return;  // no queue to lead, or already in a fleet
  ScopedWriteLock guard(lock);
  members.push_back(heldPointer<generic_object>(object));
  ai->fleet = this;
}
