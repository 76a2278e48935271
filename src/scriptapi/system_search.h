// The system search of server scripts: the star system that scores best
// under a scoring function of the script's own, searched on a thread of its
// own (on the calling thread in single-threaded mode). Registered on the
// server engine only, at the end of registerOrderBindings:
//
//   type "SysSearchSettings"  a value type (constructor, destructor,
//                             assignment)
//     "float& opIndex(uint)"          one of four weights for the scoring
//                                     function; 4 or more stops the script
//                                     with kSearchValueIndexError and gives
//                                     the first
//     "void opAssign(const SysSearchSettings &in)"  copies the settings,
//                                     not the search
//     "void setCallback(const string &)"  the scoring function "module::name"
//                                     or a bare name in the calling module,
//                                     declared "float name(SysSearchSettings&,
//                                     const SysStats&)"
//     "void addEmpire(const Empire@[, uint])", "Empire@ getEmpire(uint[,
//     uint &out]) const", "uint get_empireCount() const", "void
//     clearEmpires()"                 empires with a number each (null ones
//                                     are not added; past the end null, and
//                                     0 to the number)
//     "void setSearchPos(const vector &in)", "void resetSearchPos()"
//                                     scores are multiplied by 1000 / the
//                                     distance from this point
//     "void setAvoidSystem(System@)"  a system never chosen (null: none)
//     "void findBestSystem()"         starts a search, cancelling the one
//                                     running
//     "System@ getBestSystem()"       the winner once finished (null before,
//                                     or when nothing scored above 0)
//     "bool get_searchFinished()", "void clearValues()"
//   type "SysStats"           a system's statistics table (uncounted)
//     "float getStat(const Empire@, const string@) const"  the empire's value
//                                     of that name (an empty record is added
//                                     for an empire without one), 0 when
//                                     absent or for null arguments
//
// The engine keeps value locals on its 4-byte aligned stack, where the
// settings' pointers cannot lie: a script value is a byte-aligned slot that
// owns its settings on the heap (settingsInSlot reads it). Each settings
// record also carries a slot naming itself, which the search passes to the
// scoring function.
//
// The scoring function runs on the search thread under the candidate
// system's lock while the script that started the search goes on: it
// should read only its two arguments. Destroying a settings value cancels
// its search and waits until the worker has stopped; a cancelled worker
// never waits for a system lock, so a script that holds one (a prepared
// list) while its settings value goes does not hang.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include <vector3d.h>

#include "universe/objects/game_object.h"

class ScriptString;
class empire;
class solarSystem;

constexpr char kSearchValueIndexError[] = "Out-of-bounds when accessing SysSearchSettings value set";

// The argument list and result of a scoring function.
constexpr char kSearchScoreArguments[] = "(SysSearchSettings&, const SysStats&)";
constexpr char kSearchScoreResult[] = "float";

struct SysSearchJob;

class SysSearchSettings {
 public:
  static constexpr uint32_t kValueCount = 4;

  SysSearchSettings();
  ~SysSearchSettings();
  SysSearchSettings(const SysSearchSettings&) = delete;
  // Everything but the search: the target keeps its own job.
  void assign(const SysSearchSettings& other);
  SysSearchSettings& operator=(const SysSearchSettings&) = delete;

  float& value(uint32_t index);
  void setCallback(const ScriptString& name);
  void addEmpire(const empire* emp);
  void addEmpireWith(const empire* emp, uint32_t number);
  empire* getEmpire(uint32_t index) const;
  empire* getEmpireWith(uint32_t index, uint32_t& number) const;
  uint32_t empireCount() const { return static_cast<uint32_t>(empires.size()); }
  void setSearchPos(const irr::core::vector3df& point);
  void resetSearchPos() { hasSearchPos = false; }
  // `system` arrives with a reference, given back at once.
  void setAvoidSystem(solarSystem* system);
  void findBestSystem();
  // With a reference, or null.
  solarSystem* bestSystem();
  bool searchFinished() const;
  void clearValues();
  void clearEmpires() { empires.clear(); }

  int32_t callback = -1;
  SysSearchJob* job = nullptr;
  solarSystem* avoidSystem = nullptr;  // only compared
  bool hasSearchPos = false;
  irr::core::vector3df searchPos;
  std::vector<std::pair<empire*, uint32_t>> empires;
  float values[kValueCount] = {};

  // A script value's slot that names this record.
  const void* ownSlot() const { return ownSlot_; }

 private:
  unsigned char ownSlot_[sizeof(SysSearchSettings*)];
  // Searches cancelled by a later findBestSystem whose workers had not
  // stopped yet (they still read this value), each with this value's
  // reference.
  std::vector<SysSearchJob*> cancelledJobs_;
};

// One search, shared by the settings value that started it and the worker.
// Whoever drops the last of its two references frees it.
struct SysSearchJob {
  explicit SysSearchJob(SysSearchSettings* owner) : settings(owner) {}

  SysSearchSettings* settings;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> finished{false};
  solarSystem* best = nullptr;  // written before `finished`, read after
  float bestScore = 0.0f;
  std::atomic<int32_t> refCount{2};
};

// The settings that a script value's slot owns.
SysSearchSettings& settingsInSlot(const void* slot);

// Drops one reference of `job`, freeing it on the last.
void dropSearchJob(SysSearchJob* job);

// SysSearchSettings and SysStats on the server engine.
void registerSystemSearchBindings();
