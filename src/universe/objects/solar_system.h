// Star systems: the unit of parallel simulation. A system contains its
// stars, planets, ships and oddities, is ticked by exactly one galaxy
// processing thread at a time, and owns the critical section that every
// thread holds before it changes anything inside it (system_locks.h).
//
// Each system keeps per-empire statistics, kept up to date by the objects
// that enter, leave or change owner:
//   "prs"      the empire's objects in the system
//   "visited"  game time when one of its objects last entered
//   "planets"  its planets there
//   "str"      the strength of its ships there
// and a visibility mask of the empires whose "prs" there exceeds 0.01.
//
// Own record, after the base record (universe/objects/object_record.h):
//
//   u32     visibility mask                                  (version 35 on)
//   u16     statistics entry count n
//   n x     the empire's ID (u8), then its named values (common_strings.h)
//
// Entries are written in ascending empire ID; the default empire's (and one
// without empire) is left out, since its ID (131) stands for no empire and
// is refused on reading with {5, "Invalid Empire UID"}. An ID that names no
// empire reads as the default empire's entry; a "prs" below -0.5 reads as 0.
// Before version 35 the mask is rebuilt from the valid empires' "prs".
#pragma once

#include <atomic>
#include <cstdint>

#include "core/locks.h"
#include "core/names.h"
#include "universe/objects/game_object.h"

// The statistics of one empire in one system.
struct Stats {
  empire* emp = nullptr;
  PtrNamedVar<float>::Registry* values = nullptr;

  bool operator<(const Stats& other) const;
};

// The entry of `emp` in `list`, appended (with no values) when absent. The
// list is sorted by empire lazily, before a search.
Stats& getEmpireStats(StatsList& list, empire* emp);
// A named value of an entry; 0 when absent (nothing is added).
float getStatValue(const Stats& stats, const irr::core::stringw& statName);
// The named value, added at 0 when absent.
float& statValue(Stats& stats, const irr::core::stringw& statName);
// Logs "Stats for <empire>:" and " <name>=<value>" for every entry.
void dumpSystemStats(const StatsList& list);

class solarSystem : public generic_object {
 public:
  // A system of the space empire (or the default empire when there is no
  // space empire), radius 80.
  solarSystem();
  // A saved system in `container` (finishObjectLoad completes it).
  solarSystem(SaveStream& stream, generic_object* container);

  static void* operator new(size_t size);
  static void operator delete(void* memory);

  int getType() const override { return OT_System; }
  void writeOwnFields(SaveStream& stream) override;
  void readOwnFields(SaveStream& stream) override;
  bool isOwnerVisibleTo(const empire* viewer, bool force) const override;
  bool isVisibleTo(const empire* viewer) const override;
  void tick(float seconds) override;
  void destroyNow(bool quiet) override;

  // Whether `viewer`'s bit is in the visibility mask; false for null.
  bool isSystemVisibleTo(const empire* viewer) const;

  std::atomic<uint32_t> visibilityMask{0};
  float radiusSquared = 0.0f;
  std::atomic<int32_t> waiters{0};
  std::atomic<int32_t> priorityWaiters{0};
  Mutex* lock = nullptr;
  // -1 while the render group sees a fight here between the local player
  // and an enemy, else 0. Not saved.
  std::atomic<int32_t> combat{0};

 protected:
  ~solarSystem() override;

  // How tickChildren walks: with counted references and yields to waiting
  // threads every `yieldBudget` children (threaded), leaving out the star
  // systems among the children, or ticking each under its own lock.
  struct ChildWalk {
    bool threaded;
    int yieldBudget;
    bool skipSystems;
    bool lockSystems;
  };
  // Ticks every child once with `seconds`, checking the fast or reparented
  // ones for leaving; children that leave or arrive meanwhile are handled.
  void tickChildren(float seconds, const ChildWalk& walk);

 private:
  void updateVisibility();
};
