#include "ui/selection_actions.h"

#include "app/base/event_handler.h"
#include "core/save_stream.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "universe/objects/object_guards.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/standing_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace {

// The game object of a selected graphics object when the local player owns
// it, else null.
generic_object* playersObject(graphicsObject* graphics) {
  generic_object* object = graphics != nullptr ? graphics->getOwner() : nullptr;
  const empire* player = activeEmpire.load();
  return object != nullptr && player != nullptr && object->getOwner() == player ? object : nullptr;
}

// Puts `order` in front of the object's queue under its lock; deleted when
// the object has no AI.
void giveInFront(graphicsObject* graphics, Order* (*make)()) {
  generic_object* object = playersObject(graphics);
  if (object == nullptr)
    return;
  const ObjectLock lock(object);
  if (object->ai != nullptr)
    object->ai->addOrder(make(), false);
}

}  // namespace

void clearSelectedOrders::act(graphicsObject* graphics) {
  generic_object* object = playersObject(graphics);
  if (object == nullptr)
    return;
  const ObjectLock lock(object);
  if (object->ai != nullptr)
    object->ai->clearOrders(controlKeyDown);
  if (object->getType() == OT_Hulled)
    if (auto* ship = dynamic_cast<objHulled*>(object))
      ship->clearEffectorTargets();
  object->setDestination(object->getPosition());
}

void giveColonizeOrd::act(graphicsObject* graphics) {
  giveInFront(graphics, []() -> Order* { return new colonize_order(); });
}

void giveDefendOrd::act(graphicsObject* graphics) {
  giveInFront(graphics, []() -> Order* { return new defend_order(); });
}

joinToFleet::joinToFleet(FleetAI* target) : target_(target) {
  if (target_ != nullptr)
    target_->grab();
}

joinToFleet::~joinToFleet() {
  if (target_ != nullptr)
    target_->release();
}

void joinToFleet::act(graphicsObject* graphics) {
  generic_object* object = playersObject(graphics);
  if (object == nullptr || target_ == nullptr)
    return;
  const ObjectLock lock(object);
  empire::AreaGuard fleets;
  object->getOwner()->lockArea(fleets, EA_Fleets, true);
  // Only a queue can follow a fleet: the target's commander and other
  // fleets' commanders (whose AI is their fleet) stay.
  auto* unit = dynamic_cast<UnitAI*>(object->ai);
  if (unit == nullptr || object->ai == target_)
    return;
  FleetAI* former = unit->fleet;
  if (former != nullptr && shiftKeyDown)
    return;
  if (former == target_)
    return;
  if (former != nullptr) {
    former->grab();
    former->removeMember(object);
    former->release();
  }
  target_->addMember(object);
}
