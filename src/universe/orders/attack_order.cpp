// The attack order: closes on one target, turns the object's weapons on it
// and circles it; a carrier's first step also sends its docked craft after
// the target. Planets fight from their armed structures.
#include <cmath>

#include "core/random.h"
#include "core/save_stream.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"
#include "universe/orders/circling.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/dock_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"

namespace {

constexpr float kTwoPi = 6.28318530718f;
// Flag bits of the saved record.
constexpr uint8_t kSavedForce = 1;
constexpr uint8_t kSavedFollowAnywhere = 2;
// The record of an order whose target is gone: read as type 0, which adds
// nothing.
constexpr uint8_t kLostTargetRecord = 0;
// The circle lies this share of the weapon range from the target; the move
// there is done within this share of the range (or two radii).
constexpr float kCircleShare = 0.9f;
constexpr float kCircleToleranceShare = 0.45f;
// Above this thrust a planet can fly after its target.
constexpr float kPlanetMinThrust = 0.0001f;
// A planet closes to this share of its shortest first-effector range.
constexpr float kPlanetApproachShare = 0.9f;
// A shortest range this small is a placeholder, not a range.
constexpr float kNoRange = 0.0001f;
// How far ahead an attacker that lost its target looks to coast to a stop.
constexpr float kCoastSeconds = 1.0f;
// An attacker left in another star system heads this share of the system's
// radius out from its centre.
constexpr float kSystemEdgeShare = 0.9f;

// The attacker lost its target: it lets the target go and comes to rest, or
// leaves a system it followed the target into for that system's edge.
OrderResult giveUp(generic_object& object, generic_object* target, const generic_object* homeContainer) {
  if (target != nullptr && object.getType() == OT_Hulled) {
    if (auto* ship = dynamic_cast<objHulled*>(&object))
      ship->clearEffectorTarget(target);
  }
  generic_object* here = object.container.load();
  if (homeContainer == nullptr || here == homeContainer || (here != nullptr && here->getType() == OT_Galaxy)) {
    if (object.mover != nullptr) {
      vector3df displacement;
      object.mover->getDisplacement(displacement, kCoastSeconds, object);
      object.setDestination(object.getPosition() + displacement);
    }
    return Done;
  }
  if (here != nullptr) {
    const vector3df centre = here->getPosition();
    vector3df outward = object.getPosition() - centre;
    outward.normalize();
    object.setDestination(centre + outward * (here->radius * kSystemEdgeShare));
  }
  return Done;
}

// A point on the circle around `target` across the ship's line of sight,
// kCircleShare x range from the target, at a random angle.
vector3df circlingPoint(const generic_object& ship, const generic_object& target, float range) {
  const vector3df targetPosition = target.getPosition();
  vector3df sight = targetPosition - ship.getPosition();
  sight.normalize();
  const vector3df a = sight.crossProduct(vector3df(0.0f, kCircleShare * range, 0.0f));
  const vector3df b = a.crossProduct(sight);
  const float theta = static_cast<float>(processRandom()) * kTwoPi / static_cast<float>(kProcessRandomMax);
  return targetPosition + a * std::cos(theta) + b * std::sin(theta);
}

OrderResult shipStep(objHulled& ship, generic_object* target, bool force) {
  const float range = ship.getMaxEffectorRange();
  if (range <= 0.0f) {
    brakeToStop(ship);
    return Done;
  }
  if (!approachTarget(ship, *target, range * 0.5f, range)) {
    const MobileMover* mover = MobileMover::of(&ship);
    return mover != nullptr && mover->thrust > 0.0f ? Running : Done;
  }
  ship.setEffectorTargets(target, force);
  if (ship.ai != nullptr && ship.ai->orbitTargets(target) && circleTarget(ship, *target, range))
    return Yielded;
  return Running;
}

// Fires every effector of `entry`'s sub-system at the target, each with the
// structure's own state for it.
void fireStructure(objHabitation& planet, const objHabitation::structEntry& entry, generic_object* target) {
  EffectEvent event(&planet, target, 0.0f);
  subSystem* system = entry.system;
  interactor_data* states = entry.record.effectorStates;
  for (irr::u32 k = 0; k < system->effectors.size(); ++k) {
    const effector& eff = system->effectors[k];
    if (eff.def == nullptr)
      continue;
    interactor_data scratch;
    effector::trigger(eff.def->onFire, &event, &eff, states != nullptr ? &states[k] : &scratch);
  }
}

// The planet fights from its armed structures. A fire function may run a
// script that changes anything, the queue holding `order` included: nothing
// of the order is used once the first structure has fired.
OrderResult planetStep(objHabitation& planet, generic_object* target, bool followAnywhere, const Order* order) {
  const heldPointer<generic_object> self(&planet);
  const heldPointer<generic_object> aim(target);

  bool armed = false;
  bool anyInReach = false;
  float shortest = 0.0f;
  {
    // Structures removed by a fire function keep their instances until the
    // loop is done with them.
    const StructureFreeHold hold;
    const vector3df planetPosition = planet.getPosition();
    for (irr::u32 i = 0; i < planet.structures.size() && planet.isValid(); ++i) {
      const objHabitation::structEntry& entry = planet.structures[i];
      if (entry.record.state != SS_Active || entry.system == nullptr || entry.system->effectors.size() == 0)
        continue;
      armed = true;
      const float firstRange = entry.system->effectors[0].range;
      if (shortest <= kNoRange || firstRange < shortest)
        shortest = firstRange;
      const float reach = planet.radius + firstRange + aim->radius;
      if (planetPosition.getDistanceFromSQ(aim->getPosition()) > reach * reach)
        continue;
      anyInReach = true;
      fireStructure(planet, entry, aim);
    }
  }

  if (anyInReach) {
    // Running would have the queue ask this order whether it runs in the
    // background; a firing that cleared the queue has deleted it by now.
    if (planet.ai == nullptr || !planet.ai->hasOrder(order))
      return Waiting;
    return Running;
  }
  const MobileMover* mover = MobileMover::of(&planet);
  if (armed && mover != nullptr && mover->thrust > kPlanetMinThrust && planet.ai != nullptr) {
    planet.ai->addOrder(new goto_order(aim, followAnywhere, shortest * kPlanetApproachShare), false);
    return Yielded;
  }
  return Done;
}

}  // namespace

bool circleTarget(objHulled& ship, generic_object& target, float range) {
  if (range > kMaxCirclingRange || ship.ai == nullptr)
    return false;
  const float tolerance = std::fmax(range * kCircleToleranceShare, 2.0f * ship.radius);
  ship.ai->addOrder(new move_order(circlingPoint(ship, target, range), tolerance), false);
  return true;
}

// --- attack_order
// ----------------------------------------------------------------

attack_order::attack_order(generic_object* attackTarget, bool forceTarget, bool followAnywhere)
    : target(attackTarget), force(forceTarget) {
  if (target == nullptr)
    return;
  target->grab();
  targetOwner = target->owner;
  if (!followAnywhere)
    homeContainer = target->container.load();
}

attack_order::~attack_order() {
  if (target != nullptr)
    target->drop();
}

void* attack_order::operator new(size_t size) { return allocAttackOrder(size); }

void attack_order::operator delete(void* memory) { releaseAttackOrder(memory); }

OrderResult attack_order::execute(generic_object& object) {
  // 1. The target is gone, captured, or has left the system it was in.
  if (target == nullptr || !target->isValid() || target->owner != targetOwner ||
      (homeContainer != nullptr && target->container.load() != homeContainer))
    return giveUp(object, target, homeContainer);

  // 2. A carrier sends its craft after the target, once.
  if (!launched) {
    if (object.docked.size() > 0) {
      FlyMyPretties launch(target, &object);
      object.undockAll(&launch);
    }
    launched = true;
  }

  // 3.
  switch (object.getType()) {
    case OT_Planet: {
      auto* planet = dynamic_cast<objHabitation*>(&object);
      if (planet == nullptr)
        return Done;
      return planetStep(*planet, target, homeContainer == nullptr, this);
    }
    case OT_Hulled: {
      auto* ship = dynamic_cast<objHulled*>(&object);
      if (ship == nullptr)
        return Done;
      return shipStep(*ship, target, force);
    }
    default:
      return Done;
  }
}

Order* attack_order::clone() const {
  if (target == nullptr)
    return nullptr;
  return new attack_order(target, force, homeContainer == nullptr);
}

irr::core::stringw attack_order::describe() const {
  irr::core::stringw text(L"Attack ");
  if (target != nullptr)
    text += target->name;
  return text;
}

void attack_order::writeNetwork(RakNet::BitStream& stream) const {
  stream.Write(static_cast<uint8_t>(getType()));
  stream.Write(static_cast<uint32_t>(target != nullptr ? target->uid : 0));
  stream.Write(force);
  stream.Write(homeContainer == nullptr);
}

void attack_order::save(SaveStream& stream) const {
  if (target == nullptr || !target->isValid()) {
    stream.writeU8(kLostTargetRecord);
    return;
  }
  stream.writeU8(getType());
  stream.writePackedUInt(target->uid);
  stream.writeU8(
      static_cast<uint8_t>((force ? kSavedForce : 0) | (homeContainer == nullptr ? kSavedFollowAnywhere : 0)));
}

// --- FlyMyPretties
// -------------------------------------------------------------

bool FlyMyPretties::release(generic_object* object) {
  if (object->ai == nullptr)
    return false;
  object->ai->insertBeforeAutomation(new attack_order(target_, true, false));
  object->ai->appendOrder(new dock_order(carrier_));
  return true;
}

// --- LoadAttackOrder
// -----------------------------------------------------------

void LoadAttackOrder::run() {
  generic_object* found = getObjectByUID(uid_);
  if (found == nullptr)
    throw kSaveErrorInvalidTarget;
  setObjectRef(order_->target, found);
  order_->targetOwner = found->owner;
  order_->homeContainer = followAnywhere_ ? nullptr : found->container.load();
}

// --- Attack pool
// ---------------------------------------------------------------

ObjectPool& attackOrderPool() {
  static ObjectPool pool(sizeof(attack_order));
  return pool;
}

// Made when the program loads, before any thread can race to make it.
[[maybe_unused]] static ObjectPool& attackPoolAtLoad = attackOrderPool();

void* allocAttackOrder(size_t size) { return attackOrderPool().allocate(size); }

void releaseAttackOrder(void* memory) { attackOrderPool().free(memory); }

// --- Record readers
// ------------------------------------------------------------

Order* readAttackOrderNetwork(RakNet::BitStream& stream) {
  uint32_t uid = 0;
  if (!stream.Read(uid))
    return nullptr;
  generic_object* target = getObjectByUID(uid);
  if (target == nullptr)
    return nullptr;
  bool force = false;
  bool followAnywhere = false;
  if (!stream.Read(force) || !stream.Read(followAnywhere))
    return nullptr;
  return new attack_order(target, force, followAnywhere);
}

Order* readAttackOrderSave(SaveStream& stream) {
  const uint32_t uid = stream.readPackedUInt();
  const uint8_t flags = stream.readU8();
  const bool force = (flags & kSavedForce) != 0;
  const bool followAnywhere = (flags & kSavedFollowAnywhere) != 0;
  if (generic_object* target = getObjectByUID(uid))
    return new attack_order(target, force, followAnywhere);
  auto* order = new attack_order();
  order->force = force;
  queuePostObjectTreeStep(new LoadAttackOrder(order, uid, followAnywhere));
  return order;
}
