#include "universe/objects/solar_system.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/common_strings.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "universe/objects/system_locks.h"
#include "empire/empire.h"
#include "gfx/graphics_object.h"
#include "platform/thread.h"
#include "universe/objects/object_pools.h"

namespace {

constexpr float kSystemRadius = 80.0f;
// Children ticked before the tick yields to a waiting thread.
constexpr int kYieldBudget = 100;
// The "prs" above which an empire sees the system.
constexpr float kVisiblePresence = 0.01f;
// Squared speed above which a child is checked for leaving every tick.
constexpr float kFastSpeedSquared = 0.01f;
constexpr int kMobileMoverKind = 2;

const irr::core::stringw kPresenceStat = L"prs";

// First version whose system records hold the visibility mask.
constexpr int32_t kMaskVersion = 35;
// A saved "prs" below this is damage, read as 0.
constexpr float kLowestSavedPresence = -0.5f;

constexpr SaveFileError kSaveErrorInvalidEmpire{5, "Invalid Empire UID"};

// The empire's "prs" in `list`; 0 without entry or value.
float presenceOf(const StatsList& list, const empire* emp) {
  for (irr::u32 i = 0; i < list.size(); ++i)
    if (list[i].emp == emp)
      return getStatValue(list[i], kPresenceStat);
  return 0.0f;
}

}  // namespace

bool Stats::operator<(const Stats& other) const { return std::less<const empire*>()(emp, other.emp); }

Stats& getEmpireStats(StatsList& list, empire* emp) {
  list.sort();  // heap sort, only when not marked sorted
  irr::s32 low = 0;
  irr::s32 high = static_cast<irr::s32>(list.size()) - 1;
  std::less<const empire*> before;
  while (low <= high) {
    const irr::s32 middle = (low + high) / 2;
    if (list[middle].emp == emp)
      return list[middle];
    if (before(emp, list[middle].emp))
      high = middle - 1;
    else
      low = middle + 1;
  }
  Stats entry;
  entry.emp = emp;
  entry.values = new PtrNamedVar<float>::Registry();
  list.push_back(entry);
  return list.getLast();
}

float getStatValue(const Stats& stats, const irr::core::stringw& statName) {
  if (stats.values == nullptr)
    return 0.0f;
  const irr::s32 index = PtrNamedVar<float>::findNoSort(*stats.values, statName);
  return index < 0 ? 0.0f : (*stats.values)[index].value;
}

float& statValue(Stats& stats, const irr::core::stringw& statName) {
  return PtrNamedVar<float>::getOrAdd(*stats.values, statName, internCommonString).value;
}

void dumpSystemStats(const StatsList& list) {
  for (irr::u32 i = 0; i < list.size(); ++i) {
    const Stats& entry = list[i];
    logPrint("Stats for %ls:\n", entry.emp != nullptr ? entry.emp->name.c_str() : L"");
    if (entry.values == nullptr)
      continue;
    for (irr::u32 v = 0; v < entry.values->size(); ++v)
      logPrint(" %ls=%f\n", (*entry.values)[v].entryName().c_str(), static_cast<double>((*entry.values)[v].value));
  }
}

ObjectPool& systemPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(solarSystem));  // for the whole process
  return *pool;
}

void* solarSystem::operator new(size_t size) { return systemPool().allocate(size); }

void solarSystem::operator delete(void* memory) { systemPool().free(memory); }

solarSystem::solarSystem() : generic_object(getEmpireByID(kSpaceEmpireID), new StatsList(), nullptr) {
  radius = kSystemRadius;
  radiusSquared = kSystemRadius * kSystemRadius;
  lock = createMutex();
}

solarSystem::solarSystem(SaveStream& stream, generic_object* outer) : generic_object(stream, outer) {
  radiusSquared = radius * radius;
  lock = createMutex();
  systemStats = new StatsList();
  loadOwnFields(stream);
}

solarSystem::~solarSystem() {
  destroyMutex(lock);
  if (systemStats != nullptr) {
    for (irr::u32 i = 0; i < systemStats->size(); ++i)
      delete (*systemStats)[i].values;
    delete systemStats;
    systemStats = nullptr;
  }
}

// --- Record --------------------------------------------------------------------

void solarSystem::writeOwnFields(SaveStream& stream) {
  stream.writeU32(visibilityMask.load());
  // The list is ordered by empire address, which differs from run to run:
  // the entries go out by ID, so that a game saves the same way each time.
  std::vector<const Stats*> entries;
  if (systemStats != nullptr) {
    for (irr::u32 i = 0; i < systemStats->size(); ++i) {
      const Stats& entry = (*systemStats)[i];
      if (entry.emp != nullptr && entry.emp->ID != kInvalidEmpireID)
        entries.push_back(&entry);
    }
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Stats* a, const Stats* b) { return a->emp->ID < b->emp->ID; });
  if (entries.size() > std::numeric_limits<uint16_t>::max())
    throw kSaveErrorTooManyEntries;
  stream.writeU16(static_cast<uint16_t>(entries.size()));
  for (const Stats* entry : entries) {
    stream.writeEmpireId(entry->emp->ID);
    if (entry->values != nullptr)
      writeNamedValueList(stream, *entry->values);
    else
      stream.writeU16(0);
  }
}

void solarSystem::readOwnFields(SaveStream& stream) {
  const bool savedMask = stream.version() >= kMaskVersion;
  if (savedMask)
    visibilityMask.store(stream.readU32());
  if (systemStats == nullptr)
    systemStats = new StatsList();
  const uint16_t count = stream.readU16();
  for (uint16_t i = 0; i < count; ++i) {
    const EmpireID id = stream.readEmpireId();
    if (id == kInvalidEmpireID)
      throw kSaveErrorInvalidEmpire;
    Stats& entry = getEmpireStats(*systemStats, getEmpireByID(id));
    readNamedValueList(stream, *entry.values);
    // Sorted now: the tick looks values up without sorting.
    const irr::s32 presence = PtrNamedVar<float>::find(*entry.values, kPresenceStat);
    if (presence >= 0 && (*entry.values)[presence].value < kLowestSavedPresence)
      (*entry.values)[presence].value = 0.0f;
  }
  if (savedMask)
    return;
  uint32_t mask = 0;
  for (const empire* emp : empireList)
    if (emp->isValid() && presenceOf(*systemStats, emp) > kVisiblePresence)
      mask |= emp->ownBit;
  visibilityMask.store(mask);
}

// --- Visibility ------------------------------------------------------------------

bool solarSystem::isOwnerVisibleTo(const empire*, bool) const { return true; }

bool solarSystem::isVisibleTo(const empire*) const { return true; }

bool solarSystem::isSystemVisibleTo(const empire* viewer) const {
  return viewer != nullptr && (visibilityMask.load() & viewer->ownBit) != 0;
}

void solarSystem::tick(float) {
  const double now = gameTime.load();
  const float dt = static_cast<float>(now - localTime);
  if (dt < 0.0f || !isValid())
    return;
  localTime = now;
  tickChildren(dt, ChildWalk{!singleThreaded, kYieldBudget, false, false});
  updateVisibility();
}

void solarSystem::tickChildren(float seconds, const ChildWalk& walk) {
  const bool threaded = walk.threaded;
  int budget = walk.yieldBudget;
  heldPointer<generic_object> held;
  irr::s32 i = 0;
  while (i < static_cast<irr::s32>(children.size())) {
    generic_object* child = children[i].get();
    const bool isSystem = child->getType() == OT_System;
    if (isSystem && walk.skipSystems) {
      ++i;
      continue;
    }
    // Held in both modes: a child that destroys itself in its tick may
    // otherwise be gone before it is looked at below.
    held = child;
    const irr::s32 countBefore = static_cast<irr::s32>(children.size());
    if (isSystem && walk.lockSystems) {
      // Under its own lock, this one given up meanwhile.
      solarSystem* system = static_cast<solarSystem*>(child);
      lockSolarSystem(system);
      system->tick(seconds);
      unlockSolarSystem(system);
    } else {
      child->tick(seconds);
    }

    if (child->isValid() && child->container == this) {
      const bool fast = child->mover != nullptr && child->mover->getKind() == kMobileMoverKind &&
                        child->velocity.getLengthSQ() > kFastSpeedSquared;
      if (fast) {
        checkChildLeaving(child);
      } else if (child->hasFlag(FLAG_REPARENT)) {
        checkChildLeaving(child);
        // A system clears the flag of a child that stayed; the galaxy
        // clears it either way.
        if (child->container == this || getType() == OT_Galaxy)
          child->clearFlag(FLAG_REPARENT);
      }
    }

    // Children removed during the tick shift the rest down: step back by as
    // many, so that every remaining child is still ticked once. Children
    // appended meanwhile are reached in this pass.
    const irr::s32 removed = countBefore - static_cast<irr::s32>(children.size());
    i += 1 - (removed > 0 ? removed : 0);
    if (i < 0)
      i = 0;

    if (!threaded)
      continue;
    if (budget > 0)
      --budget;
    const bool another = i < static_cast<irr::s32>(children.size());
    if (waiters.load() > 0 && another && (budget == 0 || priorityWaiters.load() > 0)) {
      held = nullptr;
      budget = walk.yieldBudget;
      lock->unlock();
      plat::sleepMs(0);
      lock->lock();
      // Other threads may have changed the children meanwhile.
      if (i > static_cast<irr::s32>(children.size()))
        i = static_cast<irr::s32>(children.size());
    }
  }
}

void solarSystem::updateVisibility() {
  uint32_t mask = 0;
  if (systemStats != nullptr) {
    for (empire* emp : empireList) {
      // Only this system's own tick adds entries, so the walk is safe here.
      for (irr::u32 s = 0; s < systemStats->size(); ++s) {
        const Stats& entry = (*systemStats)[s];
        if (entry.emp == emp && entry.values != nullptr) {
          const irr::s32 index = PtrNamedVar<float>::findNoSort(*entry.values, kPresenceStat);
          if (index >= 0 && (*entry.values)[index].value > kVisiblePresence)
            mask |= emp->ownBit;
          break;
        }
      }
    }
  }
  visibilityMask.store(mask);
}

void solarSystem::destroyNow(bool quiet) {
  if (!isValid())
    return;
  // Kept alive to the end, even when the galaxy held the last reference.
  const heldPointer<generic_object> self(this);
  clearFlag(FLAG_VALID);
  const bool tearDown = sessionEnding.load();
  while (children.size() > 0) {
    generic_object* child = children.getLast().get();
    const irr::u32 before = children.size();
    if (tearDown)
      child->destroyNow(quiet);
    else
      child->setContainer(container);
    // A child that stays (it was destroyed already, or has no way out) is
    // let go here, so that the loop always ends.
    if (children.size() == before && children.size() > 0 && children.getLast().get() == child)
      removeChild(child);
  }
  if (container != nullptr) {
    generic_object* old = container;
    old->removeChild(this);
    container = nullptr;
    old->drop();
  }
  // The system's graphics object leaves the scene, giving up the reference
  // that the system held.
  if (graphicsObject* mirror = graphics) {
    graphics = nullptr;
    mirror->remove(quiet);
  }
  drop();
}
