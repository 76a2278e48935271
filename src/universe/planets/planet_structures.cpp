// Planet structures: adding a built sub-system (or one made here from its
// definition) with its build events, removing one with its deactivation and
// destruction events, the effector range of a planet's structures, and the
// structure queries. The structure step, the damage and repair passes are
// part of the planet's tick, damage and repair (planet.cpp).
//
// A structure's events run hooks that may do anything to the planet: add or
// remove structures, damage it, destroy it. So the events run on a copy of
// the structure's record, written back to wherever the structure is
// afterwards (when it is still there), and removal takes the structure out
// of the list before its events run. Instances removed while a
// StructureFreeHold is alive on the thread are freed when the hold ends.
#include "universe/planets/planet.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "universe/objects/held_pointer.h"
#include "universe/orders/combat_orders.h"

using irr::core::stringw;

namespace {

// A planet that lost its last structure passes to the space empire after
// this many seconds, that is on its next tick.
constexpr float kLossDelayNoStructures = 0.01f;
// The tag of the structures that make a planet defend its system.
const stringw kWeaponTag = L"Weapon";
// A running state that removal treats like SS_Disabled.
constexpr uint32_t kStateStopped = 1;

// Removed structures waiting for the outermost hold of their thread to end.
struct PendingFree {
  subSystem* system;
  interactor_data* effectorStates;
};
thread_local int holdDepth = 0;
thread_local std::vector<PendingFree> pendingFrees;

bool isWeapon(const subSystem* system) {
  return system != nullptr && system->def != nullptr && system->def->hasTag(kWeaponTag);
}

void freeStructure(subSystem* system, interactor_data* effectorStates) {
  delete[] effectorStates;
  delete system;
}

// The position of the structure whose instance is `system`, or -1.
irr::s32 structureIndexOf(const objHabitation& planet, const subSystem* system) {
  for (irr::u32 i = 0; i < planet.structures.size(); ++i)
    if (planet.structures[i].system == system)
      return static_cast<irr::s32>(i);
  return -1;
}

// Adds `system` as a structure of `planet` and runs its build events on the
// planet; false (the instance still the caller's) when the planet holds its
// maximum count.
bool appendStructure(objHabitation& planet, subSystem* system) {
  if (system == nullptr || system->def == nullptr)
    return false;
  if (static_cast<int64_t>(planet.structures.size()) >= planet.getMaxStructureCount())
    return false;  // the caller keeps the instance
  const heldPointer<generic_object> self(&planet);  // the build events may end the planet

  objHabitation::structEntry entry;
  entry.system = system;
  entry.record.state = SS_Active;
  entry.record.HP = system->getDurability();
  entry.record.system = system;
  const irr::u32 effectorCount = system->effectors.size();
  if (effectorCount > 0)
    entry.record.effectorStates = new interactor_data[effectorCount]();
  planet.structures.push_back(entry);

  {
    StructureFreeHold hold;
    SysRef record = entry.record;
    triggerSubSysBuilt(system, &planet, &record);
    const irr::s32 index = structureIndexOf(planet, system);
    if (index >= 0) {
      SysRef& kept = planet.structures[static_cast<irr::u32>(index)].record;
      kept.state = record.state;
      kept.HP = record.HP;
      kept.val1 = record.val1;
      kept.val2 = record.val2;
    }
  }

  return true;
}

}  // namespace

StructureFreeHold::StructureFreeHold() { ++holdDepth; }

StructureFreeHold::~StructureFreeHold() {
  if (--holdDepth > 0)
    return;
  // Freeing runs no hooks, so nothing is added to the list meanwhile.
  std::vector<PendingFree> due;
  due.swap(pendingFrees);
  for (const PendingFree& entry : due)
    freeStructure(entry.system, entry.effectorStates);
}

bool objHabitation::addStructure(subSystem* system) {
  // Asked before the build events, which may remove (and so free) the
  // structure again.
  const bool weapon = isWeapon(system);
  const heldPointer<generic_object> self(this);
  if (!appendStructure(*this, system))
    return false;
  // A "Weapon" structure makes the planet defend its system, with one
  // defend order at the back of its queue.
  if (weapon && ai != nullptr && !ai->hasOrderOfType(OrdT_Defend))
    ai->appendOrder(new defend_order());
  return true;
}

bool objHabitation::addStructureFromDef(const SubSystemDef* def) {
  if (def == nullptr)
    return false;
  subSystem* system = nullptr;
  {
    std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
    factory->prepare(this);
    system = factory->create(def);
    factory->release();
  }
  if (system == nullptr)
    return false;  // no owner to evaluate it for
  const bool weapon = isWeapon(system);
  const heldPointer<generic_object> self(this);
  if (!appendStructure(*this, system)) {
    delete system;
    return false;
  }
  // A "Weapon" structure made here starts the planet on a fresh queue that
  // holds only its defend order.
  if (weapon && ai != nullptr) {
    ai->clearOrders(true);
    ai->appendOrder(new defend_order());
  }
  return true;
}

void objHabitation::removeStructure(unsigned index) {
  if (index >= structures.size())
    return;
  // Out of the list first: a hook of the events below that removes
  // structures or destroys the planet no longer finds this one.
  const heldPointer<generic_object> self(this);  // the events may end the planet
  structEntry entry = structures[index];
  structures.erase(index);

  SysRef& record = entry.record;
  {
    StructureFreeHold hold;  // the hooks below may start a nested removal
    if (record.state == SS_Active) {
      triggerSubSysDeactive(entry.system, this, &record);
      triggerSubSysDestruct(entry.system, this, &record);
    } else if (record.state == kStateStopped || record.state == SS_Disabled) {
      triggerSubSysDestruct(entry.system, this, &record);
    }
    pendingFrees.push_back({entry.system, record.effectorStates});
  }
  if (structures.empty())
    ownerLossTimer = kLossDelayNoStructures;
}

float objHabitation::getMaxEffectorRange(const stringw& tag) {
  float best = 0.0f;
  for (irr::u32 i = 0; i < structures.size(); ++i) {
    const structEntry& entry = structures[i];
    if (entry.record.state != SS_Active || entry.system == nullptr || entry.system->def == nullptr ||
        !entry.system->def->hasTag(tag))
      continue;
    for (irr::u32 k = 0; k < entry.system->effectors.size(); ++k)
      best = std::max(best, entry.system->effectors[k].range);
  }
  return best;
}

float objHabitation::getMaxEffectorRange() {
  float best = 0.0f;
  for (irr::u32 i = 0; i < structures.size(); ++i) {
    const structEntry& entry = structures[i];
    if (entry.record.state != SS_Active || entry.system == nullptr || entry.system->def == nullptr ||
        entry.system->def->effectors.empty())
      continue;
    for (irr::u32 k = 0; k < entry.system->effectors.size(); ++k)
      best = std::max(best, entry.system->effectors[k].range);
  }
  return best;
}

unsigned objHabitation::countStructures(const SubSystemDef* def) const {
  unsigned count = 0;
  if (def == nullptr)
    return 0;
  for (irr::u32 i = 0; i < structures.size(); ++i)
    if (structures[i].system != nullptr && structures[i].system->def == def)
      ++count;
  return count;
}

bool objHabitation::hasStructure(const SubSystemDef* def) const { return countStructures(def) > 0; }

bool objHabitation::hasStructureWithTag(const stringw& tag) const {
  for (irr::u32 i = 0; i < structures.size(); ++i) {
    const subSystem* system = structures[i].system;
    if (system != nullptr && system->def != nullptr && system->def->hasTag(tag))
      return true;
  }
  return false;
}
