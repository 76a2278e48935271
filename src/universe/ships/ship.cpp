// Ships and stations: construction, the tick's clocks and sub-system ticks,
// damage through the layout's damage orders, repair, owner change,
// destruction, the sub-system queries and the ship's own save record. The
// weapons' step and targeting queries are in ship_weapons.cpp, the script
// hooks in ship_hooks.cpp.
//
// Sub-system tick rates: rate 0 ticks with every ship tick; rates 1 to 4
// tick when the 0.1 s, 0.25 s, 0.5 s or 1.0 s clock fires, with the time
// that clock gathered.
//
// Threads: a ship is ticked, damaged and repaired by the worker that owns
// its star system, which alone touches its records meanwhile.
#include "universe/ships/ship.h"

#include <algorithm>
#include <cmath>

#include "app/base/session_state.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "gfx/particle_stages.h"
#include "design/hull_list.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/object_states.h"
#include "universe/orders/unit_ai.h"

using irr::core::stringw;
using irr::core::vector3df;

namespace {

// The sub-system clocks: the periods of rates 1 to 4.
constexpr int kClockCount = 4;
constexpr double kFirstClockPeriod = 0.1;  // compared in double precision
constexpr float kClockPeriods[kClockCount] = {0.1f, 0.25f, 0.5f, 1.0f};

// The damage-recount timer: idle at or below kRecountIdle; it runs from
// kRecountStart after a repair and recounts once past kRecountDue.
constexpr float kRecountIdle = 0.1f;
constexpr float kRecountStart = 0.5f;
constexpr float kRecountDue = 1.5f;
// A sub-system this close below its maximum is not counted as damaged.
constexpr float kRecountTolerance = 0.1f;

// Repair: hit points this near the maximum are set to it; a destroyed
// sub-system above this share of its maximum comes back.
constexpr float kRepairSnap = 0.9999f;
constexpr float kReviveShare = 0.5f;

// A ship that falls to the space empire takes "SpaceDamage" for ever, with
// a strength of (1 - r / (r + kSpaceDamageRadius)) / kSpaceDamageDivisor.
constexpr float kSpaceDamageDuration = 1e35f;
constexpr float kSpaceDamageRadius = 50.0f;
constexpr float kSpaceDamageDivisor = 30.0f;

// Until its record has been read, a loaded ship does not look for targets.
constexpr float kLoadedRetargetTimer = 1e35f;

// More placed sub-systems than this make a ship count in "str".
constexpr uint32_t kStrengthSystemCount = 4;

const stringw kDamageState = L"Damage";
const stringw kControlState = L"Control";
const stringw kSpaceDamageEffect = L"SpaceDamage";

ObjectPool& shipPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(objHulled));  // for the whole process
  return *pool;
}
// Made while the program loads, before any worker asks for a block.
[[maybe_unused]] ObjectPool& shipPoolAtLoad = shipPool();

bool isValidEmpire(const empire* emp) { return emp != nullptr && emp->isValid(); }

// The ship's "Control" value; a ship without the state has none.
float controlValue(objHulled& ship) {
  const State* control = findObjectState(&ship, kControlState);
  return control != nullptr ? control->value.val : 0.0f;
}

// A sub-system's maximum hit points: its instance's "{D}".
float maximumHP(const SysRef& record) { return record.system != nullptr ? record.system->getDurability() : 0.0f; }

bool hasHook(const SysRef& record, EffectHookKind kind) { return subSystemHasHook(record.system, kind); }

// The OnGlobalDamage or OnDamage hooks of a sub-system's provisions with the
// event marked as on it, stopping once a hook ends or skips the damage.
void runDamageHooks(SysRef& record, EffectEvent& event, EffectHookKind kind) {
  runSubSystemDamageHooks(record.system, record, event, kind, true);
}

// A sub-system is lost: its deactivation hooks when it was running, its
// destruction hooks when it was running or disabled, then destroyed.
// The hit flash shows at the sub-system's heading in the design, tilted at
// random by up to 30 degrees, when the ship has a graphics object.
void showSubSystemHit(objHulled& ship, const SysRef& record) {
  graphicsObject* shown = ship.graphics;
  const hull_list* layout = ship.hull.layout;
  if (shown == nullptr || layout == nullptr || ship.hull.records == nullptr)
    return;
  const std::ptrdiff_t index = &record - ship.hull.records;
  if (index < 0 || static_cast<uint32_t>(index) >= layout->systemCount)
    return;
  const placedSubSystem& placed = layout->systems[static_cast<size_t>(index)];
  const float heading = headingDegrees(placed.x, placed.y) * irr::core::DEGTORAD;
  const float tilt = (randomf(60.0f) - 30.0f) * irr::core::DEGTORAD;
  const vector3df toward(std::sin(heading) * std::cos(tilt), std::sin(tilt), std::cos(heading) * std::cos(tilt));
  showShipHit(shown, subSystemHitEffect, toward * shown->radius);
}

void destroySubSystem(objHulled& ship, SysRef& record) {
  showSubSystemHit(ship, record);
  const uint32_t was = record.state;
  if (was == SS_Active)
    triggerSubSysDeactive(record.system, &ship, &record);
  if (was == SS_Active || was == SS_Disabled)
    triggerSubSysDestruct(record.system, &ship, &record);
  record.state = SS_Destroyed;
}

// A ship that lost a sub-system and has no "Control" left falls to the
// space empire.
void applyControlRule(objHulled& ship) {
  if (isValidEmpire(ship.owner) && controlValue(ship) <= 0.0f)
    ship.setOwner(getEmpireByID(kSpaceEmpireID));
}

// One state per effector of the layout's sub-systems, each bound to its
// sub-system's record.
void makeEffectorStates(objHulled& ship) {
  hull_list* layout = ship.hull.layout;
  if (layout == nullptr || ship.hull.records == nullptr)
    return;
  uint32_t count = 0;
  for (uint32_t i = 0; i < layout->systemCount; ++i)
    if (const subSystem* instance = ship.hull.records[i].system)
      count += instance->effectors.size();
  if (count == 0)
    return;
  ship.effectorStates = new objHulled::EffectorState[count];
  ship.effectorStateCount = count;
  uint32_t next = 0;
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    SysRef& record = ship.hull.records[i];
    const uint32_t effectors = record.system != nullptr ? record.system->effectors.size() : 0;
    for (uint32_t k = 0; k < effectors; ++k) {
      objHulled::EffectorState& state = ship.effectorStates[next++];
      state.system = &record;
      state.subSystemIndex = i;
      state.effectorIndex = k;
    }
  }
}

// Lets go of every target and frees the effector states.
void releaseEffectorStates(objHulled& ship) {
  objHulled::EffectorState* states = ship.effectorStates;
  const uint32_t count = ship.effectorStateCount;
  ship.effectorStates = nullptr;
  ship.effectorStateCount = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (generic_object* target = states[i].target)
      target->drop();
  delete[] states;
}

// Step 2 of the tick: the clocks and each sub-system's tick by its rate.
void tickSubSystems(objHulled& ship, float dt) {
  bool fired[kClockCount];
  for (int c = 0; c < kClockCount; ++c) {
    ship.accumulators[c] += dt;
    fired[c] = c == 0 ? static_cast<double>(ship.accumulators[c]) >= kFirstClockPeriod
                      : ship.accumulators[c] >= kClockPeriods[c];
  }

  hull_list* layout = ship.hull.layout;
  if (layout != nullptr && ship.hull.records != nullptr) {
    // One event for the whole pass; each sub-system starts from a clean one.
    EffectEvent event(&ship, &ship, dt);
    State* damageState = getOrAddObjectState(&ship, kDamageState);
    for (uint32_t i = 0; i < layout->systemCount && ship.isValid(); ++i) {
      SysRef& record = ship.hull.records[i];
      if (record.system == nullptr || record.system->def == nullptr)
        continue;
      const uint32_t rate = record.system->def->tickRate;
      float time = dt;
      if (rate != STR_Always) {
        if (rate > static_cast<uint32_t>(kClockCount) || !fired[rate - 1])
          continue;
        time = ship.accumulators[rate - 1];
      }
      event.time = time;
      event.state = ESC_NOCHANGE;
      event.sourceKind = 1;
      event.source = &record;
      event.destKind = 0;
      event.dest = nullptr;
      event.custom = 0.0f;
      event.flags = 0;

      const float oldHP = record.HP;
      const uint32_t oldState = record.state;
      tickPlanetSubSystems(record.system, event, &record);
      if (record.HP != oldHP)
        damageState->value.val += oldHP - record.HP;
      if (oldState == SS_Active && record.state != SS_Active)
        applyControlRule(ship);
    }
  }

  for (int c = 0; c < kClockCount; ++c)
    if (fired[c])
      ship.accumulators[c] = 0.0f;
}

}  // namespace

void* objHulled::operator new(size_t size) { return shipPool().allocate(size); }

void objHulled::operator delete(void* memory) { shipPool().free(memory); }

// --- Life --------------------------------------------------------------------

// Built without an owner, so that taking `shipOwner` counts the ship for it
// ("Ship", "str", its objects) as any later owner change does. The owner
// comes before the sub-systems' build events, so that their hooks see it.
objHulled::objHulled(empire* shipOwner, hull_list* layout, MoveHandler* shipMover)
    : generic_object(nullptr, nullptr, shipMover) {
  hull.assign(layout);
  UnitAI* unitAI = new UnitAI(this);  // takes the layout as its hull
  setAI(unitAI);
  unitAI->drop();  // the ship holds the only reference now

  setOwner(shipOwner);
  triggerHullBuilt(hull, this);

  State* damageState = getOrAddObjectState(this, kDamageState);
  for (uint32_t i = 0; i < getSubSystemCount(); ++i)
    damageState->value.max += maximumHP(hull.records[i]);

  makeEffectorStates(*this);
}

objHulled::objHulled(SaveStream& stream, generic_object* system) : generic_object(stream, system) {
  retargetTimer = kLoadedRetargetTimer;
  loadOwnFields(stream);
}

objHulled::~objHulled() { releaseEffectorStates(*this); }

float objHulled::strengthStat() const {
  if (hull.layout == nullptr || hull.layout->systemCount <= kStrengthSystemCount)
    return 0.0f;
  return hull.layout->scale * hull.layout->scale;
}

void objHulled::destroyNow(bool quiet) {
  if (!isValid())
    return;
  if (shipDestroyHookCancels(this, quiet)) {
    // The ship lives on: the request is withdrawn, or every later tick
    // would ask the hook again and never get past it.
    clearFlag(FLAG_DESTROY);
    return;
  }
  const heldPointer<generic_object> self(this);
  // The sub-systems switch off on a ship that no longer counts as alive.
  clearFlag(FLAG_VALID);
  for (uint32_t i = 0; i < getSubSystemCount(); ++i) {
    SysRef& record = hull.records[i];
    if (record.state == SS_Active)
      triggerSubSysDeactive(record.system, this, &record);
  }
  setFlag(FLAG_VALID);
  releaseEffectorStates(*this);
  generic_object::destroyNow(quiet);
}

// --- Tick --------------------------------------------------------------------

void objHulled::tick(float seconds) {
  float dt = seconds;
  generic_object* outer = container.load();
  if (outer != nullptr && outer->getType() == OT_System)
    dt = static_cast<float>(outer->localTime - localTime);
  if (dt < 0.0f)
    return;
  const heldPointer<generic_object> self(this);  // hooks may end the ship

  if (isValid()) {
    runShipTickHook(this, dt);
    if (isValid())
      tickSubSystems(*this, dt);
  }

  generic_object::tick(seconds);

  if (!isValid())
    return;
  if (damageRecountTimer > kRecountIdle) {
    damageRecountTimer += dt;
    if (damageRecountTimer > kRecountDue) {
      damageRecountTimer = 0.0f;
      recountDamage();
    }
  }
  tickShipWeapons(this, dt);
}

// --- Damage and repair ---------------------------------------------------------

// The event's time is the damage. Layout order k (from the process-wide
// generator) is walked twice: its pre-damage list (2k + 1) lets the
// OnGlobalDamage hooks of running sub-systems act first, then every
// sub-system (2k) takes what is left in turn.
void objHulled::damage(EffectEvent& event) {
  if (!isValid() || hull.layout == nullptr || hull.records == nullptr)
    return;
  const heldPointer<generic_object> self(this);  // hooks may end the ship
  hull_list* layout = hull.layout;
  const int point = (processRandom() / 4) % 4;
  const irr::core::array<hull_list::damageOrderEntry>& preDamage = layout->damageOrders[2 * point + 1];
  const irr::core::array<hull_list::damageOrderEntry>& everyone = layout->damageOrders[2 * point];

  float loss = 0.0f;
  bool lostSubSystem = false;
  bool finished = false;

  for (irr::u32 i = 0; i < preDamage.size() && !finished && isValid(); ++i) {
    if (preDamage[i].index >= layout->systemCount)
      continue;
    SysRef& record = hull.records[preDamage[i].index];
    if (record.state != SS_Active)
      continue;
    const float before = record.HP;
    runDamageHooks(record, event, EH_OnGlobalDamage);
    if (!isValid())
      return;
    loss += before - record.HP;
    if (record.HP <= 0.0f) {
      destroySubSystem(*this, record);
      lostSubSystem = true;
    }
    if (event.state == ESC_DISABLE || event.time <= 0.0f)
      finished = true;
  }

  for (irr::u32 i = 0; i < everyone.size() && !finished && event.time > 0.0f; ++i) {
    event.state = ESC_NOCHANGE;
    if (everyone[i].index >= layout->systemCount)
      continue;
    SysRef& record = hull.records[everyone[i].index];
    if (record.state == SS_Destroyed)
      continue;

    if (hasHook(record, EH_OnDamage)) {
      if (record.state == SS_Active) {
        runDamageHooks(record, event, EH_OnDamage);
        if (!isValid())
          return;
      }
      if (record.HP <= 0.0f) {
        destroySubSystem(*this, record);
        lostSubSystem = true;
      }
      if (event.state == ESC_DISABLE) {
        finished = true;
        continue;
      }
      // Its hooks took the hit in its place, unless they left it to the
      // sub-system itself.
      if (event.state != ESC_NOCHANGE || record.HP <= 0.0f)
        continue;
    }

    if (event.state == ESC_DISABLE) {
      finished = true;
      continue;
    }
    if (event.state == ESC_SKIP)
      continue;
    const float absorbed = std::min(event.time, record.HP);
    record.HP -= absorbed;
    event.time -= absorbed;
    loss += absorbed;
    if (record.HP <= 0.0f) {
      destroySubSystem(*this, record);
      lostSubSystem = true;
    }
    if (!isValid())
      return;
  }
  if (!isValid())
    return;

  if (lostSubSystem)
    applyControlRule(*this);

  // The event now holds all the damage the ship took.
  event.time += loss;
  State* damageState = getOrAddObjectState(this, kDamageState);
  damageState->value.val += event.time;
  if (damageState->value.val >= damageState->value.max) {
    setFlag(FLAG_DESTROY);
    clearFlag(FLAG_QUIET_DESTROY);
  }
  lastAttacked = objectRealTimeMs();
}

void objHulled::damageSubSystem(EffectEvent& event, SysRef* record) {
  if (!isValid() || record == nullptr || hull.records == nullptr)
    return;
  const uint32_t count = getSubSystemCount();
  if (record < hull.records || record >= hull.records + count)
    return;  // another ship's
  const heldPointer<generic_object> self(this);
  if (hasHook(*record, EH_OnDamage) && record->state == SS_Active) {
    runDamageHooks(*record, event, EH_OnDamage);
    if (!isValid())
      return;
  }
  bool lost = false;
  if (record->state != SS_Destroyed) {
    const float absorbed = std::max(0.0f, std::min(event.time, record->HP));
    record->HP -= absorbed;
    event.time -= absorbed;
    if (record->HP <= 0.0f) {
      destroySubSystem(*this, *record);
      lost = true;
    }
  }
  if (lost)
    applyControlRule(*this);
  generic_object::damage(event);
}

void objHulled::repair(float amount) {
  if (!isValid() || hull.records == nullptr || !(amount > 0.0f))
    return;
  float repaired = 0.0f;
  for (uint32_t i = 0; i < getSubSystemCount() && amount > 0.0f; ++i) {
    SysRef& record = hull.records[i];
    const float maximum = maximumHP(record);
    if (!(record.HP < maximum))
      continue;
    const float share = std::min(amount, maximum - record.HP);
    record.HP += share;
    amount -= share;
    repaired += share;
    if (record.HP > kRepairSnap * maximum)
      record.HP = maximum;
    if (record.state == SS_Destroyed && record.HP > kReviveShare * maximum) {
      // Running again unless an activation hook vetoes it.
      record.state = SS_Active;
      triggerSubSysConstruct(record.system, this, &record);
      triggerSubSysActive(record.system, this, &record);
    }
  }
  getOrAddObjectState(this, kDamageState)->value.val -= repaired;
  if (damageRecountTimer < kRecountIdle)
    damageRecountTimer = kRecountStart;
}

void objHulled::recountDamage() {
  float total = 0.0f;
  for (uint32_t i = 0; i < getSubSystemCount(); ++i) {
    const float missing = maximumHP(hull.records[i]) - hull.records[i].HP;
    if (missing > kRecountTolerance)
      total += missing;
  }
  getOrAddObjectState(this, kDamageState)->value.val = total;
}

// --- Owner ---------------------------------------------------------------------

void objHulled::setOwner(empire* newOwner) {
  empire* old = owner;
  if (newOwner == old)
    return;
  if (sessionEnding.load()) {
    generic_object::setOwner(newOwner);
    return;
  }
  // A ship taking its first owner, or one being destroyed, gets its new
  // owner whatever the hook says: no ship is left without an owner, and
  // none stays among its owner's objects once it is gone.
  if (old != nullptr && isValid() && shipOwnerChangeHookCancels(this, old, newOwner))
    return;
  const bool toSpace = isValidEmpire(old) && newOwner != nullptr && !newOwner->isValid();

  if (ai != nullptr)
    ai->clearOrders(true);
  clearEffectorTargets();
  generic_object::setOwner(newOwner);

  if (toSpace) {
    const irr::s32 index = findEffectIndex(kSpaceDamageEffect);
    if (index >= 0) {
      effect_data values;
      values.effect = effectRegistry()[static_cast<irr::u32>(index)].value;
      values.values[0] = (1.0f - radius / (radius + kSpaceDamageRadius)) / kSpaceDamageDivisor;
      addTimedEffect(values, kSpaceDamageDuration, 0.0f, this, nullptr, nullptr);
    }
  }
}

// --- Queries -------------------------------------------------------------------

SysRef* objHulled::getSubSystem(int index) {
  if (index < 0 || static_cast<uint32_t>(index) >= getSubSystemCount())
    return nullptr;
  return &hull.records[index];
}

uint32_t objHulled::getSubSystemCount() const {
  return hull.layout != nullptr && hull.records != nullptr ? hull.layout->systemCount : 0;
}

SysRef* objHulled::nextDamagedSubSystem(SysRef* after) {
  const uint32_t count = getSubSystemCount();
  uint32_t start = 0;
  if (after != nullptr) {
    if (after < hull.records || after >= hull.records + count)
      return nullptr;  // not one of this ship's
    start = static_cast<uint32_t>(after - hull.records) + 1;
  }
  for (uint32_t i = start; i < count; ++i)
    if (hull.records[i].HP < maximumHP(hull.records[i]))
      return &hull.records[i];
  return nullptr;
}

// --- Record --------------------------------------------------------------------

void objHulled::writeOwnFields(SaveStream& stream) {
  hull.write(stream);
  stream.writeFloat(retargetTimer);
  stream.writePackedUInt(scanIndex);
  stream.writePackedFloats4(accumulators);
}

void objHulled::readOwnFields(SaveStream& stream) {
  releaseEffectorStates(*this);
  hull.read(stream);
  makeEffectorStates(*this);
  retargetTimer = stream.readFloat();
  scanIndex = stream.readPackedUInt();
  stream.readPackedFloats4(accumulators);
}

void objHulled::setHullLayout(hull_list* layout) {
  hull_list* old = hull.layout;
  releaseEffectorStates(*this);
  hull.assign(layout);
  makeEffectorStates(*this);
  if (auto* queue = dynamic_cast<UnitAI*>(ai))
    if (queue->hull == old)
      queue->hull = layout;
}

// --- Headings ------------------------------------------------------------------

float headingDegrees(float x, float y) {
  constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;
  if (y == 0.0f)
    return x < 0.0f ? 180.0f : 0.0f;
  if (x == 0.0f)
    return y < 0.0f ? 90.0f : 270.0f;
  const double c = y / std::sqrt(double(x) * x + double(y) * y);
  const double a = std::atan(std::sqrt(1.0 - c * c) / c) * kDegreesPerRadian;
  double heading;
  if (x > 0.0f)
    heading = y > 0.0f ? a + 270.0 : a + 90.0;
  else
    heading = y < 0.0f ? 90.0 - a : 270.0 - a;
  return static_cast<float>(heading);
}
