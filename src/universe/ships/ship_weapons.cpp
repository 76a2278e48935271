// A ship's weapons and tools: firing at held targets, finding new ones a few
// objects at a time, and the targeting queries that orders and scripts use.
#include <algorithm>

#include "design/effectors/effector.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "universe/objects/game_object.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"

namespace {

// Objects of its system a ship looks at per scan, and the time between scans.
constexpr uint32_t kScanLength = 30;
constexpr float kRetargetSeconds = 1.25f;

using EffectorState = objHulled::EffectorState;

bool isActive(const EffectorState& state) { return state.system != nullptr && state.system->state == SS_Active; }

// The effector instance of a state, null when its sub-system has none there.
const effector* effectorOf(const EffectorState& state) {
  if (state.system == nullptr || state.system->system == nullptr)
    return nullptr;
  const irr::core::array<effector>& effectors = state.system->system->effectors;
  if (state.effectorIndex >= effectors.size() || effectors[state.effectorIndex].def == nullptr)
    return nullptr;
  return &effectors[state.effectorIndex];
}

interactor_data* runtimeOf(const EffectorState& state) {
  return state.system->effectorStates != nullptr ? &state.system->effectorStates[state.effectorIndex] : nullptr;
}

bool hasTag(const EffectorState& state, const irr::core::stringw& tag) {
  return state.system != nullptr && state.system->system != nullptr && state.system->system->def != nullptr &&
         state.system->system->def->hasTag(tag);
}

void setTarget(EffectorState& state, generic_object* target) {
  if (target != nullptr)
    target->grab();
  generic_object* old = state.target;
  state.target = target;
  if (old != nullptr)
    old->drop();
}

// Whether `target` is within the effector's range of the ship, surface to
// surface: positions relative to the system when both share one, absolute
// otherwise.
bool inReach(const objHulled* ship, const generic_object* target, const effector& eff) {
  const generic_object* shipContainer = ship->container.load();
  vector3df from;
  vector3df to;
  if (shipContainer != nullptr && shipContainer == target->container.load()) {
    from = ship->position;
    to = target->position;
  } else {
    from = ship->getPosition();
    to = target->getPosition();
  }
  const double gap = static_cast<double>((to - from).getLength()) - ship->radius - target->radius;
  return gap <= static_cast<double>(eff.range);
}

// The ship AI's preference for `target` (1 without an AI) times the
// effector's own weights; it stops at 0 or less. With `zeroWithoutWeights`
// an effector without weights gives 0 rather than 1.
float targetWeight(objHulled* ship, generic_object* target, const effector& eff, bool zeroWithoutWeights = false) {
  const float preference = ship->ai != nullptr ? ship->ai->getTargetWeight(target) : 1.0f;
  if (preference <= 0.0f)
    return preference;
  return preference * effectorTargetWeight(eff.def, ship, target, &eff, zeroWithoutWeights);
}

bool acceptable(objHulled* ship, generic_object* candidate, const effector& eff) {
  return inReach(ship, candidate, eff) && targetWeight(ship, candidate, eff) > 0.0f;
}

// Whether the hull's rules let its weapons pick `candidate` by themselves.
bool kindAllowed(const hull_list* hull, const generic_object* candidate) {
  if (hull == nullptr)
    return true;
  const int kind = candidate->getType();
  if (kind == OT_Planet)
    return hull->targeting.allowPlanetTargets;
  if (kind == OT_Hulled)
    return hull->targeting.allowShipTargets;
  return true;
}

// Fires the effector at its target; false when the target is to be let go.
bool fireAtTarget(objHulled* ship, EffectorState& state, float seconds) {
  generic_object* target = state.target;
  // A destroyed object is never a target again: neither fire nor filters
  // would ever let go of it otherwise.
  if (!target->isValid() || !isActive(state))
    return false;
  const effector* eff = effectorOf(state);
  if (eff == nullptr || !inReach(ship, target, *eff))
    return false;
  if (state.force != 0) {
    if (!effectorCanTarget(eff->def, ship, target, eff))
      return false;
  } else if (targetWeight(ship, target, *eff) <= 0.0f) {
    return false;
  }
  EffectEvent event(ship, target, seconds);
  effector::trigger(eff->def->onFire, &event, eff, runtimeOf(state));
  // Out in the galaxy, between systems, a firing ship shows to everyone.
  if (eff->def->isWeapon) {
    const generic_object* shipContainer = ship->container.load();
    if (shipContainer != nullptr && shipContainer->getType() == OT_Galaxy)
      ship->setFlag(FLAG_ALWAYS_VISIBLE);
  }
  return true;
}

// Finds the first acceptable object of the scan window for an idle effector.
generic_object* scanForTarget(objHulled* ship, generic_object* system, const effector& eff,
                              const generic_object* alreadyTried) {
  const hull_list* hull = ship->getHull();
  // The size is read on each step: a weight function's script may change
  // the system's children.
  for (uint32_t i = ship->scanIndex, examined = 0; examined < kScanLength && i < system->children.size();
       ++i, ++examined) {
    generic_object* candidate = system->children[i].get();
    if (candidate == nullptr || candidate == ship || candidate == alreadyTried || !candidate->isValid() ||
        !kindAllowed(hull, candidate))
      continue;
    if (acceptable(ship, candidate, eff))
      return candidate;
  }
  return nullptr;
}

void acquireTargets(objHulled* ship, float seconds) {
  ship->retargetTimer -= seconds;
  if (ship->retargetTimer > 0.0f)
    return;
  generic_object* system = ship->container.load();
  if (system == nullptr || system->getType() != OT_System)
    return;
  ship->scanIndex += kScanLength;
  if (ship->scanIndex >= system->children.size())
    ship->scanIndex = 0;
  ship->retargetTimer = kRetargetSeconds;

  generic_object* found = nullptr;  // offered first to every later idle effector
  for (uint32_t i = 0; i < ship->effectorStateCount && ship->effectorStates != nullptr && ship->isValid(); ++i) {
    EffectorState& state = ship->effectorStates[i];
    if (state.target != nullptr || !isActive(state))
      continue;
    const effector* eff = effectorOf(state);
    if (eff == nullptr)
      continue;
    generic_object* chosen = nullptr;
    if (found != nullptr && acceptable(ship, found, *eff))
      chosen = found;
    else
      chosen = scanForTarget(ship, system, *eff, found);
    if (chosen == nullptr)
      continue;
    setTarget(state, chosen);
    found = chosen;
    state.force = 0;
  }
}

// The effector states a query covers: all, or those of sub-systems with a tag.
template <typename Visit>
void forEachState(objHulled* ship, const irr::core::stringw* tag, Visit visit) {
  for (uint32_t i = 0; i < ship->effectorStateCount && ship->effectorStates != nullptr; ++i) {
    EffectorState& state = ship->effectorStates[i];
    if (tag == nullptr || hasTag(state, *tag))
      visit(state);
  }
}

void setTargets(objHulled* ship, generic_object* target, bool force, const irr::core::stringw* tag) {
  forEachState(ship, tag, [&](EffectorState& state) {
    const effector* eff = effectorOf(state);
    if (!isActive(state) || eff == nullptr || !eff->def->isWeapon || state.target == target)
      return;
    if (target != nullptr && !force && inReach(ship, target, *eff) && targetWeight(ship, target, *eff) < 0.0f)
      return;
    setTarget(state, target);
    state.force = force ? 1 : 0;
  });
}

float largestWeight(objHulled* ship, generic_object* target, const irr::core::stringw* tag,
                    bool zeroWithoutWeights = false) {
  if (target == nullptr)
    return 0.0f;
  bool any = false;
  float largest = 0.0f;
  forEachState(ship, tag, [&](EffectorState& state) {
    const effector* eff = effectorOf(state);
    if (!isActive(state) || eff == nullptr)
      return;
    const float weight = targetWeight(ship, target, *eff, zeroWithoutWeights);
    largest = any ? std::max(largest, weight) : weight;
    any = true;
  });
  return largest;
}

void clearTargetOf(objHulled* ship, generic_object* target, const irr::core::stringw* tag) {
  if (target == nullptr)
    return;
  forEachState(ship, tag, [&](EffectorState& state) {
    if (state.target == target)
      setTarget(state, nullptr);
  });
}

}  // namespace

void tickShipWeapons(objHulled* ship, float seconds) {
  if (ship->effectorStates == nullptr || ship->effectorStateCount == 0)
    return;
  if (const auto* unit = dynamic_cast<const UnitAI*>(ship->ai); unit != nullptr && unit->stance == AIS_HoldFire)
    return;
  // A firing may run scripts: the states are re-read on every step, and a
  // ship that stopped being valid stops.
  for (uint32_t i = 0; i < ship->effectorStateCount && ship->effectorStates != nullptr && ship->isValid(); ++i) {
    EffectorState& state = ship->effectorStates[i];
    if (state.target != nullptr && !fireAtTarget(ship, state, seconds) && ship->effectorStates != nullptr)
      setTarget(ship->effectorStates[i], nullptr);
  }
  if (ship->effectorStates != nullptr && ship->isValid())
    acquireTargets(ship, seconds);
}

void objHulled::clearEffectorTargets() {
  forEachState(this, nullptr, [](EffectorState& state) { setTarget(state, nullptr); });
}

float objHulled::getMaxEffectorRange() {
  float largest = 0.0f;
  for (uint32_t i = 0; hull.records != nullptr && i < getSubSystemCount(); ++i) {
    const SysRef& record = hull.records[i];
    if (record.state != SS_Active || record.system == nullptr)
      continue;
    for (irr::u32 k = 0; k < record.system->effectors.size(); ++k)
      largest = std::max(largest, record.system->effectors[k].range);
  }
  return largest;
}

float objHulled::getMaxEffectorRange(const irr::core::stringw& tag) {
  float largest = 0.0f;
  for (uint32_t i = 0; hull.records != nullptr && i < getSubSystemCount(); ++i) {
    const SysRef& record = hull.records[i];
    if (record.state != SS_Active || record.system == nullptr || record.system->def == nullptr ||
        !record.system->def->hasTag(tag))
      continue;
    for (irr::u32 k = 0; k < record.system->effectors.size(); ++k)
      largest = std::max(largest, record.system->effectors[k].range);
  }
  return largest;
}

void objHulled::setEffectorTargets(generic_object* target, bool force) { setTargets(this, target, force, nullptr); }

void objHulled::setEffectorTargets(generic_object* target, bool force, const irr::core::stringw& tag) {
  setTargets(this, target, force, &tag);
}

float objHulled::getEffectorTargetWeight(generic_object* target) { return largestWeight(this, target, nullptr); }

float objHulled::getEffectorTargetWeight(generic_object* target, const irr::core::stringw& tag) {
  return largestWeight(this, target, &tag);
}

float objHulled::getEffectorTargetWeight(generic_object* target, const irr::core::stringw& tag,
                                         bool zeroWithoutWeights) {
  return largestWeight(this, target, &tag, zeroWithoutWeights);
}

void objHulled::clearEffectorTarget(generic_object* target) { clearTargetOf(this, target, nullptr); }

void objHulled::clearEffectorTarget(generic_object* target, const irr::core::stringw& tag) {
  clearTargetOf(this, target, &tag);
}
