#include "universe/planets/planet.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/locale.h"
#include "core/log.h"
#include "gfx/graphics_object.h"
#include "gfx/particle_stages.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "design/build/build_rules.h"
#include "design/effects/effects.h"
#include "empire/empire.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/objects/solar_system.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"

using irr::core::stringw;

namespace {

// Structures run, and the owner-loss check is made, every this many seconds.
constexpr float kStructureStep = 0.1f;
// Below this settled population an owned planet is about to be lost.
constexpr float kSettledMinimum = 1.0f;
// Owner-loss delays: found empty at a structure step, emptied by a
// population change.
constexpr float kLossDelayAtStep = 0.125f;
constexpr float kLossDelayEmptied = 0.5f;
// The owner-loss timer when idle.
constexpr float kLossIdle = -1.0f;

// The governor runs once its timer exceeds this; a failed run sets the
// timer back so that the next try comes after 10 s (no build list) or 3 s
// (nothing queued).
constexpr float kGovernorInterval = 1.0f;
constexpr float kGovernorNoList = -9.0f;
constexpr float kGovernorNothingQueued = -2.0f;

// Record versions that added the governor type and the condition list.
constexpr int32_t kGovernorTypeVersion = 7;
constexpr int32_t kConditionsVersion = 9;
// The record's condition count is one byte.
constexpr irr::u32 kMaxSavedConditions = 255;

// The message of a lost planet.
constexpr int32_t kLostMessagePriority = 0;
constexpr int32_t kMessageTimeNow = -1;

const stringw kWorkersState = L"Workers";
const stringw kDamageState = L"Damage";
const stringw kDefaultBuildList = L"default";
const stringw kPlanetStat = L"Planet";
const stringw kPlanetsSystemStat = L"planets";
const stringw kPlanetLostText = L"#EM_PlanetLost";
const stringw kWarCategory = L"war";

bool isValidEmpire(const empire* emp) { return emp != nullptr && emp->isValid(); }

EmpireRates* ratesOf(empire* emp) { return emp != nullptr ? &emp->rateRecord : nullptr; }

// The name a planet without a type saves in place of its type's name. Pooled
// from the first planet on, so that every save's common strings hold it.
const stringw* untypedName() {
  static const stringw* const name = internCommonString(L"");
  return name;
}

// A float truncated towards zero, limited to the range of int (0 for NaN).
int truncatedCount(float value) {
  if (std::isnan(value))
    return 0;
  if (value >= static_cast<float>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (value <= static_cast<float>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

// Ties a loaded planet to its rally object once the whole tree is loaded.
// Holds the planet until it has run.
class LoadRallyPoint : public PostObjectTreeStep {
 public:
  LoadRallyPoint(objHabitation* planet, uint32_t rallyUid) : planet_(planet), rallyUid_(rallyUid) {
    planet_->grab();
  }
  ~LoadRallyPoint() override { planet_->drop(); }
  LoadRallyPoint(const LoadRallyPoint&) = delete;
  LoadRallyPoint& operator=(const LoadRallyPoint&) = delete;

  void run() override {
    if (generic_object* rally = getObjectByUID(rallyUid_))
      planet_->setLinkedObject(rally);
  }

 private:
  objHabitation* planet_;
  uint32_t rallyUid_;
};

// --- Structure passes ----------------------------------------------------------
//
// The hooks that run on a structure may add or remove structures, or destroy
// the planet. So they run on a copy of the structure's record, written back
// to wherever the structure is afterwards, and under a StructureFreeHold,
// which keeps the instance of a structure removed meanwhile alive until the
// pass is over. Each pass visits at most the structures it started with.

// The position of the structure whose instance is `system`, or -1.
irr::s32 structureIndexOf(const objHabitation& planet, const subSystem* system) {
  for (irr::u32 i = 0; i < planet.structures.size(); ++i)
    if (planet.structures[i].system == system)
      return static_cast<irr::s32>(i);
  return -1;
}

// Copies what the hooks and the step may change back into the structure.
void keepRecord(SysRef& kept, const SysRef& worked) {
  kept.state = worked.state;
  kept.HP = worked.HP;
  kept.val1 = worked.val1;
  kept.val2 = worked.val2;
}

bool hasHook(const subSystem* system, EffectHookKind kind) { return subSystemHasHook(system, kind); }

// The OnGlobalDamage or OnDamage hooks of every provision of `system`, all
// of them, with the event marked as on `record`.
void runDamageHooks(subSystem* system, SysRef& record, EffectEvent& event, EffectHookKind kind) {
  runSubSystemDamageHooks(system, record, event, kind, false);
}

// Each structure's step, in order, with the planet's event. False, at once,
// when a step destroyed the planet.
bool runStructureStep(objHabitation& planet, EffectEvent& event) {
  StructureFreeHold hold;
  const float time = event.time;
  const irr::u32 startCount = planet.structures.size();
  irr::u32 i = 0;
  for (irr::u32 visits = 0; visits < startCount && i < planet.structures.size(); ++visits) {
    subSystem* system = planet.structures[i].system;
    SysRef record = planet.structures[i].record;
    event.time = time;
    event.state = ESC_NOCHANGE;
    tickPlanetSubSystems(system, event, &record);
    event.sourceKind = 0;
    event.source = nullptr;
    if (!planet.isValid())
      return false;
    const irr::s32 index = structureIndexOf(planet, system);
    if (index >= 0) {
      keepRecord(planet.structures[static_cast<irr::u32>(index)].record, record);
      i = static_cast<irr::u32>(index) + 1;
    }
    // Otherwise the step removed its own structure: the next one moved into
    // its place.
  }
  return true;
}

// The OnGlobalDamage hooks of the running structures that have them, in
// order, until the damage is gone. False when the planet did not survive.
bool runGlobalDamagePass(objHabitation& planet, EffectEvent& event) {
  const irr::u32 startCount = planet.structures.size();
  irr::u32 i = 0;
  for (irr::u32 visits = 0; visits < startCount && i < planet.structures.size(); ++visits) {
    subSystem* system = planet.structures[i].system;
    if (planet.structures[i].record.state != SS_Active || !hasHook(system, EH_OnGlobalDamage)) {
      ++i;
      continue;
    }
    SysRef record = planet.structures[i].record;
    runDamageHooks(system, record, event, EH_OnGlobalDamage);
    if (!planet.isValid())
      return false;
    const irr::s32 index = structureIndexOf(planet, system);
    if (index >= 0) {
      keepRecord(planet.structures[static_cast<irr::u32>(index)].record, record);
      i = static_cast<irr::u32>(index) + 1;
    }
    if (event.time <= 0.0f)
      break;
  }
  return true;
}

// The structures take the damage in ring order from a random one: each
// loses up to the whole remaining damage, and only a structure that is
// lost takes its share off the damage. False when the planet did not
// survive.
bool runAbsorbPass(objHabitation& planet, EffectEvent& event) {
  irr::u32 count = planet.structures.size();
  irr::u32 r = static_cast<irr::u32>(processRandom()) % count;
  for (irr::u32 visits = 0; visits < count; ++visits) {
    subSystem* system = planet.structures[r].system;
    if (planet.structures[r].record.state == SS_Active && hasHook(system, EH_OnDamage)) {
      SysRef record = planet.structures[r].record;
      runDamageHooks(system, record, event, EH_OnDamage);
      if (!planet.isValid())
        return false;
      const irr::s32 index = structureIndexOf(planet, system);
      count = planet.structures.size();
      if (count == 0)
        break;
      if (index < 0) {  // its hooks removed it
        r %= count;
        continue;
      }
      r = static_cast<irr::u32>(index);
      keepRecord(planet.structures[r].record, record);
    }
    SysRef& record = planet.structures[r].record;
    const float take = std::max(0.0f, std::min(event.time, record.HP));
    record.HP -= take;
    if (record.HP <= 0.0f) {
      showPlanetHit(planet.graphics, structureHitEffect);
      planet.removeStructure(r);
      if (!planet.isValid())
        return false;
      event.time -= take;
      count = planet.structures.size();
      if (count == 0)
        break;
      r %= count;  // the next visit lands on the structure that moved into place
    } else {
      r = (r + 1) % count;
    }
    if (event.time <= 0.0f)
      break;
  }
  return true;
}

}  // namespace

ObjectPool& planetPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(objHabitation));  // for the whole process
  return *pool;
}

void* objHabitation::operator new(size_t size) { return planetPool().allocate(size); }

void objHabitation::operator delete(void* memory) { planetPool().free(memory); }

// --- Life --------------------------------------------------------------------

objHabitation::objHabitation(empire* planetOwner, MoveHandler* planetMover)
    : objHabitation(planetOwner, planetMover, NoAI{}) {
  UnitAI* unitAI = new UnitAI(this, false);
  setAI(unitAI);
  unitAI->drop();  // the planet holds the only reference now
}

objHabitation::objHabitation(empire* planetOwner, MoveHandler* planetMover, NoAI)
    : generic_object(planetOwner, nullptr, planetMover) {
  untypedName();
  ownerRates = ratesOf(planetOwner);
  if (planetOwner != nullptr) {
    planetOwner->modStat(kPlanetStat, ESO_Add, 1.0f);
    planetOwner->registerObject(this);
  }
}

objHabitation::objHabitation(SaveStream& stream, generic_object* system) : generic_object(stream, system) {
  untypedName();
  ownerRates = ratesOf(owner);
  loadOwnFields(stream);
}

// Structures are removed by destruction; the arrays go with the object.
// A planet normally loses its structures (with their events) when it is
// destroyed; any still held when the last reference goes are freed quietly.
objHabitation::~objHabitation() {
  for (irr::u32 i = 0; i < structures.size(); ++i) {
    delete[] structures[i].record.effectorStates;
    delete structures[i].system;
  }
}

void objHabitation::destroyNow(bool quiet) {
  if (!isValid())
    return;  // destroyed already: neither the hook nor the statistics again
  if (gameRulesActive.load() && runPlanetDestroyHook(this, quiet)) {
    // The planet lives on: the request is withdrawn, or every later tick
    // would ask the hook again and stop there, and the planet would never
    // run its AI, build queue, movement or children again.
    clearFlag(FLAG_DESTROY);
    return;
  }
  while (!structures.empty())
    removeStructure(0);
  // The explosion burst, while the game runs (not at the session's end).
  if (graphics != nullptr && gameLoaded.load() && graphics->fade < 1.0f)
    spawnParticleBurst(graphics);
  generic_object* outer = container.load();
  if (outer != nullptr && outer->systemStats != nullptr)
    statValue(getEmpireStats(*outer->systemStats, getEmpireByID(kSpaceEmpireID)), kPlanetsSystemStat) -= 1.0f;
  generic_object::destroyNow(quiet);
}

// --- Tick --------------------------------------------------------------------

void objHabitation::tick(float seconds) {
  structureTickTimer += seconds;
  if (structureTickTimer >= kStructureStep) {
    if (isValidEmpire(owner)) {
      bool stillValid = true;
      {
        // The event names the planet as object and target: it holds the
        // planet for as long as the step runs.
        EffectEvent event(this, this, structureTickTimer);
        if (settledPopulation < kSettledMinimum && ownerLossTimer <= 0.0f)
          ownerLossTimer = kLossDelayAtStep;
        runPlanetTickHook(this, structureTickTimer);
        stillValid = isValid() && runStructureStep(*this, event);
      }
      // The event's reference may have been the last one of a planet that
      // was destroyed meanwhile: nothing of it may be touched then.
      if (!stillValid)
        return;
    }
    structureTickTimer = 0.0f;
  }

  if (ownerLossTimer > 0.0f) {
    ownerLossTimer -= seconds;
    if (ownerLossTimer <= 0.0f && isValidEmpire(owner))
      setOwner(getEmpireByID(kSpaceEmpireID));
  }

  if (useGovernor && isValidEmpire(owner)) {
    governorTimer += seconds;
    if (governorTimer > kGovernorInterval) {
      // Held while it runs: a player or a script may replace it meanwhile.
      switch (owner->applyBuildList(governorType != nullptr ? *governorType : kDefaultBuildList, this)) {
        case empire::BuildListRun::Missing:
          governorTimer = kGovernorNoList;
          break;
        case empire::BuildListRun::Acted:
          governorTimer = 0.0f;
          break;
        case empire::BuildListRun::NothingDone:
          governorTimer = kGovernorNothingQueued;
          break;
      }
    }
  }

  generic_object::tick(seconds);
}

// --- Damage and repair -------------------------------------------------------

void objHabitation::damage(EffectEvent& event) {
  if (!isValid())
    return;
  if (runPlanetDamageHook(this, &event))
    return;
  if (!structures.empty()) {
    const heldPointer<generic_object> self(this);  // hooks may end the planet
    StructureFreeHold hold;
    if (runGlobalDamagePass(*this, event) && event.time > 0.0f)
      runAbsorbPass(*this, event);
    if (!isValid())
      return;
  }
  generic_object::damage(event);
}

void objHabitation::repair(float amount) {
  if (!isValid() || !(amount >= 0.0f))
    return;
  if (runPlanetRepairHook(this, amount))
    return;
  // The pass starts at a random structure, and so needs one.
  const irr::u32 count = structures.size();
  if (count > 0) {
    const irr::u32 first = static_cast<irr::u32>(processRandom()) % count;
    for (irr::u32 k = 0; k < count && amount > 0.0f; ++k) {
      structEntry& entry = structures[(first + k) % count];
      const float full = entry.record.system != nullptr ? entry.record.system->getDurability() : 0.0f;
      const float give = std::min(std::max(full - entry.record.HP, 0.0f), amount);
      if (give > 0.0f) {
        entry.record.HP += give;
        amount -= give;
      }
    }
  }
  if (amount > 0.0f) {
    if (State* damageState = findObjectState(this, kDamageState))
      damageState->value.val -= std::min(amount, damageState->value.val);
  }
}

// --- Population --------------------------------------------------------------

void objHabitation::modPopulation(EmpireRates*, float delta) {
  if (delta >= 0.0f) {
    settledPopulation += delta;
    population += delta;
  } else {
    population -= settledPopulation;
    settledPopulation += delta;
    if (settledPopulation <= 0.0f) {
      settledPopulation = 0.0f;
      ownerLossTimer = kLossDelayEmptied;
    } else {
      population += settledPopulation;
    }
  }
  State* workers = getOrAddObjectState(this, kWorkersState);
  workers->value.val = population;
  workers->value.max = maxPopulation;
}

float objHabitation::getPopulation(EmpireRates*) const { return population; }

float objHabitation::getMaxPopulation(EmpireRates*) const { return maxPopulation; }

// --- Structure space, governor, conditions -----------------------------------

int objHabitation::getStructureCapacity(float size) const {
  if (size == 0.0f)
    return 0;
  return truncatedCount(structureSpace / size);
}

int objHabitation::getMaxStructureCount() const { return truncatedCount(structureSpace); }

void objHabitation::setGovernorType(const stringw& listName) { governorType = internCommonString(listName); }

void objHabitation::removeCondition(planetCondition* condition) {
  const irr::s32 index = conditions.linear_search(condition);
  if (index >= 0)
    conditions.erase(static_cast<irr::u32>(index));
}

// --- Owner -------------------------------------------------------------------

void objHabitation::setOwner(empire* newOwner) {
  empire* old = owner;
  if (newOwner == old)
    return;
  if (sessionEnding.load()) {
    generic_object::setOwner(newOwner);
    ownerRates = ratesOf(newOwner);
    return;
  }
  if (gameRulesActive.load()) {
    // A planet being destroyed gives up its owner whatever the hook says:
    // kept, it would stay among the owner's objects after it is gone.
    if (isValid() && runPlanetOwnerChangeHook(this, old, newOwner))
      return;
    if (isValidEmpire(old)) {
      generic_object* outer = container.load();
      stringw text = L"#c:red##link:o";
      text += stringw(outer != nullptr ? outer->uid : 0u);
      text += L"#";
      text += name;
      text += getLocalizedText(kPlanetLostText);
      text += L"#link##c#";
      postEmpireMessage(old, text, kWarCategory, kLostMessagePriority, kMessageTimeNow);
    }
  }
  generic_object::setOwner(newOwner);
  ownerRates = ratesOf(newOwner);
  ownerLossTimer = kLossIdle;
}

// --- Record ------------------------------------------------------------------

namespace {

// The record's structure count is two bytes.
constexpr irr::u32 kMaxSavedStructures = 0xFFFF;
// The bytes after each structure's words: written as zeros, skipped when
// read.
constexpr uint64_t kStructurePadding = 8;

// Frees what a structure owns, without running any of its effects: for
// structures that never took effect on the planet (a record read again, a
// record given up part-way).
void freeStructuresQuietly(irr::core::array<objHabitation::structEntry>& structures) {
  for (irr::u32 i = 0; i < structures.size(); ++i) {
    delete[] structures[i].record.effectorStates;
    delete structures[i].system;
  }
  structures.clear();
}

// A structure after its sub-system's record: its state, hit points and the
// two words as they are held, then the unused bytes.
void writeStructure(SaveStream& stream, const objHabitation::structEntry& entry) {
  writeSubSystemDefRef(stream, entry.system);
  stream.writeI32(static_cast<int32_t>(entry.record.state));
  stream.writeFloat(entry.record.HP);
  stream.writeFloat(entry.record.val1);
  stream.writeFloat(entry.record.val2);
  stream.writeU64(0);
}

// Reads one structure and appends it, with fresh, zeroed effector states
// (one per effector of its instance). Nothing is appended when the record
// is cut or refused.
void readStructure(SaveStream& stream, irr::core::array<objHabitation::structEntry>& structures) {
  objHabitation::structEntry entry;
  subSystem* system = new subSystem;
  try {
    serializeSubSystemData(system, stream);
    entry.record.state = static_cast<uint32_t>(stream.readI32());
    entry.record.HP = stream.readFloat();
    entry.record.val1 = stream.readFloat();
    entry.record.val2 = stream.readFloat();
    stream.skipBytes(kStructurePadding);
  } catch (...) {
    delete system;
    throw;
  }
  entry.system = system;
  entry.record.system = system;
  if (system->effectors.size() != 0)
    entry.record.effectorStates = new interactor_data[system->effectors.size()]();
  structures.push_back(entry);
}

}  // namespace

namespace {

// How many of `count` entries a record keeps: at most `limit`, the rest left
// out with a warning naming the planet.
irr::u32 savedCount(const stringw& planetName, irr::u32 count, irr::u32 limit, const char* what) {
  if (count <= limit)
    return count;
  logWarning("Planet '%ls' has %u %s; only the first %u are saved\n", planetName.c_str(), count, what, limit);
  return limit;
}

}  // namespace

void objHabitation::writeOwnFields(SaveStream& stream) {
  stream.writeU8(useGovernor ? 1 : 0);
  stream.writeFloat(settledPopulation);
  stream.writeFloat(population);
  stream.writeFloat(structureSpace);
  const float packed[4] = {ownerLossTimer, pendingStructureSpace, maxPopulation, reservedValue};
  stream.writePackedFloats4(packed);

  stream.writeU8(governorType != nullptr ? 1 : 0);
  if (governorType != nullptr)
    saveCommonString(stream, *governorType);

  const stringw* typeName = physicalType != nullptr ? physicalType->name : nullptr;
  saveCommonString(stream, typeName != nullptr ? *typeName : *untypedName());

  // The count is one byte: what does not fit stays out of the record, so
  // that the record stays readable.
  const irr::u32 conditionCount = savedCount(name, conditions.size(), kMaxSavedConditions, "conditions");
  stream.writeU8(static_cast<uint8_t>(conditionCount));
  for (irr::u32 i = 0; i < conditionCount; ++i)
    saveCommonString(stream, conditions[i]->id);

  // The count is two bytes: as with the conditions, what does not fit stays
  // out of the record.
  const irr::u32 structureCount = savedCount(name, structures.size(), kMaxSavedStructures, "structures");
  stream.writeU16(static_cast<uint16_t>(structureCount));
  for (irr::u32 i = 0; i < structureCount; ++i)
    writeStructure(stream, structures[i]);

  stream.writeU32(linkedObject != nullptr ? linkedObject->uid : 0u);
}

void objHabitation::readOwnFields(SaveStream& stream) {
  useGovernor = stream.readU8() != 0;
  settledPopulation = stream.readFloat();
  population = stream.readFloat();
  structureSpace = stream.readFloat();
  float packed[4];
  stream.readPackedFloats4(packed);
  ownerLossTimer = packed[0];
  pendingStructureSpace = packed[1];
  maxPopulation = packed[2];
  reservedValue = packed[3];

  governorType = nullptr;
  if (stream.version() >= kGovernorTypeVersion && stream.readU8() != 0)
    governorType = readCommonString(stream);

  const stringw* typeName = readCommonString(stream);
  physicalType = getPlanetType(*typeName);
  if (physicalType == nullptr) {
    PlanetTypeRegistry& types = planetTypeRegistry();
    if (types.size() > 0)
      physicalType = types[static_cast<irr::u32>(rand(static_cast<int>(types.size()) - 1))].value;
  }

  conditions.clear();
  if (stream.version() >= kConditionsVersion) {
    const uint8_t count = stream.readU8();
    PlanetConditionRegistry& known = planetConditionRegistry();
    for (unsigned i = 0; i < count; ++i) {
      const irr::s32 index = findPlanetCondition(*readCommonString(stream));
      if (index >= 0)
        conditions.push_back(known[static_cast<irr::u32>(index)].value);
    }
  }

  // Structures read here never took effect on this planet: any left from an
  // earlier read go without their hooks, and so do those read before a
  // failure, as the planet is given up then.
  freeStructuresQuietly(structures);
  uint32_t rallyUid = 0;
  try {
    const uint16_t structureCount = stream.readU16();
    for (unsigned i = 0; i < structureCount; ++i)
      readStructure(stream, structures);
    rallyUid = stream.readU32();
  } catch (...) {
    freeStructuresQuietly(structures);
    throw;
  }
  ownerRates = ratesOf(owner);
  if (rallyUid != 0)
    queuePostObjectTreeStep(new LoadRallyPoint(this, rallyUid));
}
