// Completion of the build-queue items: what a fully paid item does to the
// object that built it. A ship item spawns the ship beside its builder,
// fits a park orbit to the builder's size and sends the ship to the
// builder's rally point; a structure item hands its instance to the planet;
// a rebuild item swaps its new instance into the old one's slot.
//
// Completion runs on the galaxy worker that ticks the builder, with the
// builder's star system locked.
#include <algorithm>
#include <cmath>

#include "core/random.h"
#include "design/build/constructible.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/held_pointer.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"


namespace {

constexpr float kRadiansPerDegree = 3.14159265358979323846f / 180.0f;

// A ship parked at its builder circles it at most this far above both
// surfaces, and otherwise between these multiples of the builder's radius
// (plus the ship's own).
constexpr float kParkGapLimit = 30.0f;
constexpr float kParkRadiusMin = 1.5f;
constexpr float kParkRadiusMax = 2.5f;

// A ship sent to a star system stops inside it, at this share of its radius.
constexpr float kSystemRallyShare = 0.9f;

// Fits an active park orbit of `ship` to the builder: the radius becomes r
// (see kParkGapLimit), the path scales with it and the period as r^1.5, so
// the ship keeps the pace of a body at that distance.
void rescaleParkOrbit(objHulled* ship, float shipRadius, float builderRadius) {
  MobileMover* mover = MobileMover::of(ship);
  if (mover == nullptr || !mover->parkOrbitInUse())
    return;
  OrbitOtherMover& orbit = *mover->parkOrbit;
  const float r = std::min(shipRadius + builderRadius + kParkGapLimit,
                           randomf(kParkRadiusMin, kParkRadiusMax) * builderRadius + shipRadius);
  const float r0 = orbit.orbitRadius;
  if (!(r0 > 0.0f))
    return;
  const float lengthScale = r / r0;
  orbit.xAmplitude *= lengthScale;
  orbit.yAmplitude *= lengthScale;
  orbit.period *= (std::sqrt(r) * r * r) / (std::sqrt(r0) * r0 * r0);
  orbit.orbitRadius = r;
  orbit.zAmplitude = r;
}

// Sends a new ship to its builder's rally point: into the fleet of the
// rally point when it belongs to one, else there by a goto order ahead of
// its standing orders.
void sendToRallyPoint(objHulled* ship, generic_object* rally) {
  if (rally == nullptr)
    return;
  // A rally point that commands a fleet (its AI is the fleet itself), or
  // that is a member of one, takes the ship into that fleet.
  if (auto* rallyFleet = dynamic_cast<FleetAI*>(rally->ai)) {
    rallyFleet->addMember(ship);
    return;
  }
  auto* rallyAI = dynamic_cast<UnitAI*>(rally->ai);
  if (rallyAI != nullptr && rallyAI->fleet != nullptr) {
    rallyAI->fleet->addMember(ship);
    return;
  }
  if (ship->ai == nullptr)
    return;
  float distance = 0.0f;
  if (rally->getType() == OT_System) {
    distance = kSystemRallyShare * rally->radius;
  } else {
    distance = ship->radius + rally->radius;
    if (distance < 0.0f)
      distance = rally->radius;
  }
  // Ahead of everything: standing orders never finish, and the ship would
  // never leave.
  ship->ai->addOrder(new goto_order(rally, true, distance), false);
}

// The planet's slot whose instance is `system`, or -1.
irr::s32 slotOf(const objHabitation& planet, const subSystem* system) {
  for (irr::u32 i = 0; i < planet.structures.size(); ++i)
    if (planet.structures[i].system == system)
      return static_cast<irr::s32>(i);
  return -1;
}

// Gives `record` zeroed effector states for `system` when it has a
// different number of effectors than the states were made for.
void fitEffectorStates(SysRef& record, irr::u32 oldCount, const subSystem* system) {
  const irr::u32 count = system->effectors.size();
  if (count == oldCount)
    return;  // the same effectors: their states carry over
  delete[] record.effectorStates;
  record.effectorStates = count > 0 ? new interactor_data[count]() : nullptr;
}

}  // namespace

void ShipConstructible::complete(generic_object* builder) {
  if (layout == nullptr || builder == nullptr)
    return;
  empire* owner = builder->getOwner();
  if (owner == nullptr || !owner->canConstruct(layout, builder))
    return;

  const float angle = randomf(360.0f) * kRadiansPerDegree;
  // A ship's radius is its layout's scale.
  const float shipRadius = layout->scale;
  const float builderRadius = builder->radius;
  const float d = shipRadius + builderRadius;
  Hull_Desc desc;
  desc.Position = builder->position + vector3df(d * std::cos(angle), 0.0f, d * std::sin(angle));
  desc.Owner = owner;
  desc.set_hull(layout);
  objHulled* ship = createShipObject(desc, builder);
  if (ship == nullptr)
    return;

  rescaleParkOrbit(ship, shipRadius, builderRadius);
  sendToRallyPoint(ship, builder->linkedObject);
}

void StructureConstructible::complete(generic_object* object) {
  planet = object != nullptr && object->getType() == OT_Planet ? static_cast<objHabitation*>(object) : nullptr;
  if (planet == nullptr || structure == nullptr)
    return;
  // A full planet refuses the instance, which stays with the item.
  if (planet->addStructure(structure))
    structure = nullptr;
}

void RebuildStructureConstructible::complete(generic_object* object) {
  if (object == nullptr || object->getType() != OT_Planet || newStructure == nullptr || oldStructure == nullptr)
    return;
  auto* target = static_cast<objHabitation*>(object);
  irr::s32 slot = slotOf(*target, oldStructure);
  if (slot < 0)
    return;
  const SubSystemDef* def = newStructure->def;
  // The structure being replaced does not count against the "Unique" rules:
  // such a structure could otherwise never be rebuilt.
  if (def == nullptr || !def->allowsBuildOn(target, oldStructure))
    return;

  const heldPointer<generic_object> self(target);  // the hooks may end the planet
  // Read once: the new instance's activation may disable the slot, and the
  // old instance must still give back what it reserved while it ran.
  const uint32_t state = target->structures[static_cast<irr::u32>(slot)].record.state;
  const irr::u32 oldEffectors = oldStructure->effectors.size();
  subSystem* replaced = nullptr;
  {
    // The hooks run on a copy of the slot's record (they may add or remove
    // structures), written back once the slot has been found again.
    StructureFreeHold hold;
    target->structures[static_cast<irr::u32>(slot)].record.system = newStructure;
    SysRef record = target->structures[static_cast<irr::u32>(slot)].record;
    if (state == SS_Active) {
      triggerSubSysConstruct(newStructure, target, &record);
      triggerSubSysActive(newStructure, target, &record);
    } else if (state == SS_Disabled) {
      triggerSubSysConstruct(newStructure, target, &record);
    }
    const uint32_t newState = record.state;

    slot = slotOf(*target, oldStructure);
    if (slot >= 0) {
      target->structures[static_cast<irr::u32>(slot)].record.system = oldStructure;
      SysRef oldRecord = target->structures[static_cast<irr::u32>(slot)].record;
      if (state == SS_Active) {
        triggerSubSysDeactive(oldStructure, target, &oldRecord);
        triggerSubSysDestruct(oldStructure, target, &oldRecord);
      } else if (state == SS_Disabled) {
        triggerSubSysDestruct(oldStructure, target, &oldRecord);
      }
      slot = slotOf(*target, oldStructure);
    }

    if (slot < 0) {
      // A hook removed the old structure meanwhile (it went with its own
      // events): the new instance is not installed, so undo its events and
      // keep it with the item.
      if (state == SS_Active && newState == SS_Active)
        triggerSubSysDeactive(newStructure, target, &record);
      if (state == SS_Active || state == SS_Disabled)
        triggerSubSysDestruct(newStructure, target, &record);
      return;
    }

    objHabitation::structEntry& entry = target->structures[static_cast<irr::u32>(slot)];
    fitEffectorStates(entry.record, oldEffectors, newStructure);
    entry.record.state = newState;
    entry.record.system = newStructure;
    entry.system = newStructure;
    replaced = oldStructure;
    oldStructure = nullptr;
    newStructure = nullptr;  // the planet's now
  }
  delete replaced;
}
