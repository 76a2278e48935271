// The rules' algorithms: what each rule does when a governed planet applies
// its owner's build list (on the galaxy thread that ticks the planet).
#include "design/build/build_rules.h"

#include <algorithm>
#include <cstdint>

#include "core/log.h"
#include "core/random.h"
#include "design/build/constructible.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"
#include "universe/orders/tool_orders.h"
#include "universe/planets/planet.h"

namespace {

// The planet's state named `name`, or null (no name, or no such state).
State* stateOf(objHabitation* planet, const irr::core::stringw* name) {
  return name == nullptr ? nullptr : findObjectState(planet, *name);
}

// val / max. A state without capacity gives IEEE's answer (infinite, or NaN
// for 0 / 0, which fails every comparison), never a trap.
float stateRatio(const State& state) { return state.value.val / state.value.max; }

// A planet the rules can act on: there is one and it has an owner.
bool governable(const objHabitation* planet) { return planet != nullptr && planet->owner != nullptr; }

unsigned structureCount(const objHabitation* planet) { return planet->structures.size(); }

}  // namespace

bool buildStructureIfAvailable(const SubSystemDef* def, objHabitation* planet) {
  if (def == nullptr || !governable(planet))
    return false;
  // The levels area is held only during the search: making the item
  // evaluates the owner's variables, and updateSubSystems takes the
  // variables area before the levels area.
  if (!planet->owner->findSubSysLevel(def))
    return false;
  constructible* item = nullptr;
  try {
    item = new StructureConstructible(def, planet);
  } catch (const InvalidConstruct&) {
    return false;
  }
  planet->addConstructible(item);
  return true;
}

bool planetStructuresFull(const objHabitation* planet) {
  // At or over the maximum: the space may have shrunk after building.
  return static_cast<int64_t>(planet->structures.size()) >= planet->getMaxStructureCount();
}

bool bp_wait_for_empty_queue::apply(objHabitation* planet) {
  if (planet == nullptr)
    return false;
  return planet->buildQueue.size() != 0;
}

bool bp_build_n::apply(objHabitation* planet) {
  if (!governable(planet) || planetStructuresFull(planet))
    return false;
  if (count == 1) {
    if (planet->hasStructure(def))
      return false;
  } else if (planet->countStructures(def) >= count) {
    return false;
  }
  return buildStructureIfAvailable(def, planet);
}

bool bp_build_per_n::apply(objHabitation* planet) {
  if (per == 0 || !governable(planet) || planetStructuresFull(planet))
    return false;
  const unsigned want = structureCount(planet) / per;
  if (want == 0)
    return false;
  if (want == 1) {
    if (planet->hasStructure(def))
      return false;
  } else if (planet->countStructures(def) >= want) {
    return false;
  }
  return buildStructureIfAvailable(def, planet);
}

bool bp_build_when_needed::apply(objHabitation* planet) {
  if (!governable(planet) || planetStructuresFull(planet))
    return false;
  // Without the state there is nothing to measure: the rule always builds.
  if (const State* state = stateOf(planet, resource)) {
    const float value = ratioMode ? stateRatio(*state) : state->value.max - state->value.required;
    if (!(threshold > value))
      return false;
  }
  return buildStructureIfAvailable(def, planet);
}

bool bp_replace_when_useless::apply(objHabitation* planet) {
  if (!governable(planet) || oldDef == nullptr || planet->ai == nullptr)
    return false;
  float value = 0.0f;
  if (const State* state = stateOf(planet, resource))
    value = ratioMode ? stateRatio(*state) : state->value.val;
  const bool useless = whenBelow ? threshold > value : value > threshold;
  if (!useless)
    return false;

  subSystem* old = nullptr;
  for (irr::u32 i = 0; i < planet->structures.size() && old == nullptr; ++i) {
    subSystem* structure = planet->structures[i].system;
    if (structure != nullptr && structure->def == oldDef)
      old = structure;
  }
  if (old == nullptr)
    return false;
  // Appended behind the planet's other orders (none is cleared); the
  // removal stands even when the replacement cannot be built.
  planet->ai->appendOrder(new remove_struct_order(old));
  return buildStructureIfAvailable(newDef, planet);
}

void bp_build_rand::addItem(const SubSystemDef* def, uint32_t weight) {
  const uint32_t counted = weight == 0 ? 1u : weight;
  items.push_back({def, counted});
  totalWeight += counted;
}

bool bp_build_rand::apply(objHabitation* planet) {
  // A total of 0 (an empty list, or a record saying so) has nothing to pick.
  if (totalWeight == 0 || !governable(planet) || planetStructuresFull(planet))
    return false;
  const uint32_t r = static_cast<uint32_t>(processRandom() >> 2) % totalWeight;
  uint64_t sum = 0;
  for (irr::u32 i = 0; i < items.size(); ++i) {
    sum += items[i].weight;
    if (sum > r)
      return buildStructureIfAvailable(items[i].def, planet);  // null: false
  }
  return false;
}

bool bp_rebuild_rand::apply(objHabitation* planet) {
  if (!governable(planet) || planet->structures.empty())
    return false;
  const unsigned index = static_cast<unsigned>(processRandom()) % structureCount(planet);
  subSystem* structure = planet->structures[index].system;
  if (structure == nullptr)
    return false;
  float level = 0.0f;
  if (!planet->owner->findSubSysLevel(structure->def, &level))
    return false;  // the levels area is free again from here on
  if (!(level - structure->getLevel() >= levelThreshold))
    return false;
  try {
    planet->addConstructible(new RebuildStructureConstructible(structure, planet));
  } catch (const InvalidConstruct&) {
    logError("Unexpected rebuild error in build priorities\n");
  }
  return true;
}

bool bp_build_special::apply(objHabitation* planet) {
  if (!governable(planet) || planetStructuresFull(planet))
    return false;
  if (tag != nullptr && planet->hasStructureWithTag(*tag))
    return false;
  return buildStructureIfAvailable(def, planet);
}

namespace {

bool byId(const SubSystemDef* a, const SubSystemDef* b) { return a->id < b->id; }

}  // namespace

void bp_remove_rand::addDef(const SubSystemDef* def) {
  if (def == nullptr)
    return;
  const auto at = std::lower_bound(defs.begin(), defs.end(), def, byId);
  if (at != defs.end() && (*at)->id == def->id)
    return;  // listed already
  defs.insert(at, def);
}

bool bp_remove_rand::contains(const SubSystemDef* def) const {
  if (def == nullptr)
    return false;
  const auto at = std::lower_bound(defs.begin(), defs.end(), def, byId);
  return at != defs.end() && *at == def;
}

bool bp_remove_rand::apply(objHabitation* planet) {
  if (!governable(planet) || planet->structures.empty())
    return false;
  const unsigned index = static_cast<unsigned>(processRandom() >> 2) % structureCount(planet);
  const subSystem* structure = planet->structures[index].system;
  if (structure == nullptr || !contains(structure->def))
    return false;
  planet->removeStructure(index);
  return true;
}

build_list::~build_list() {
  for (irr::u32 i = 0; i < rules.size(); ++i)
    delete rules[i];
}

bool build_list::apply(objHabitation* planet) {
  for (irr::u32 i = 0; i < rules.size(); ++i)
    if (rules[i]->apply(planet))
      return true;
  return false;
}
