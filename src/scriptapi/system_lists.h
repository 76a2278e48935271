// The script types that list what lies in one star system or in the galaxy
// (registered by registerObjectBindings, steps 9 and 10), on both engines:
//
//   type "SysObjList"       scoped: the children of one system
//     factory "SysObjList@ f()"       the server engine's lists see every
//                                     system whole; the client engine's only
//                                     what the active empire has explored
//     "void prepare(System@)"         holds that system's lock (asking its
//                                     tick to yield at once) until the next
//                                     prepare on another system or the end
//                                     of the list's scope; null unprepares
//     "Object@ getChild(uint)"        the child at that index, with a
//                                     reference
//     "const uint childCount"         fixed at prepare: 0 on the client for
//                                     a system the active empire has not
//                                     explored
//   type "SystemStats"      scoped: one system's statistics by empire
//     factory "SystemStats@ f()", "void prepare(System@)" as above
//     "float getStat(const Empire@, const string &)"
//                                     the named value of the empire's record
//                                     (null: the default empire's); record
//                                     and value are added at 0 when missing
//     "const bool visible"            the active empire has explored it
//   type "GalaxySystemList" scoped, deprecated: logs so the first time one
//                           is made in the process
//     factory "GalaxySystemList@ f()", "void prepare(Galaxy@)" (does
//     nothing), "Object@ getChild(uint)" (the global getSystem),
//     "const uint childCount" (the galaxy's systems when it was made)
//
// Misuse stops the script with one of the texts below and gives null or 0.
// A list keeps no reference on its system, only its lock; each native takes
// the lock again around its own access, since the thread gives it up while
// it works in another system.
#pragma once

#include <atomic>
#include <cstdint>

#include "universe/objects/game_object.h"

class ScriptString;
class empire;
class objGalaxy;
class solarSystem;

constexpr char kSysObjListUnprepared[] = "SysObjList needs prepared before being used";
constexpr char kSystemChildIndexError[] = "Out-of-bounds index when getting system child";
constexpr char kSystemStatsUnprepared[] = "SysPresenceList needs prepared before being used";
constexpr char kUnexploredSystemStats[] = "Cannot access stats for unexplored system";
constexpr char kNullStatNameError[] = "Null string@ when specifying stat";
constexpr char kGalaxyChildIndexError[] = "Out-of-bounds index when getting galaxy child";
constexpr char kGalaxySystemListDeprecation[] =
    "GalaxySystemList is deprecated. Use 'uint getSystemCount()' and 'System@ getSystem(uint)' instead.\n";

namespace systemlists {

struct SysObjList {
  solarSystem* system = nullptr;
  uint32_t childCount = 0;
  bool fullAccess = false;
};

struct SystemStats {
  solarSystem* system = nullptr;
  StatsList* table = nullptr;
  bool fullAccess = false;
  bool visible = false;
};

struct GalaxySystemList {
  uint32_t childCount = 0;
};

// Set by the first GalaxySystemList of the process, which logs the
// deprecation line.
extern std::atomic<bool> galaxySystemListLogged;

SysObjList* newServerObjList();
SysObjList* newClientObjList();
void releaseObjList(SysObjList* list);
// `system` arrives with a reference, given back here.
void prepareObjList(SysObjList* list, solarSystem* system);
generic_object* objListChild(SysObjList* list, uint32_t index);

SystemStats* newServerStats();
SystemStats* newClientStats();
void releaseStats(SystemStats* stats);
void prepareStats(SystemStats* stats, solarSystem* system);
float statsValue(SystemStats* stats, empire* emp, const ScriptString* name);

GalaxySystemList* newGalaxySystemList();
void releaseGalaxySystemList(GalaxySystemList* list);
void prepareGalaxySystemList(GalaxySystemList* list, objGalaxy* owner);
generic_object* galaxySystemListChild(GalaxySystemList* list, uint32_t index);

// The globals: the session galaxy with a reference (null without one), its
// number of systems (0 without one), and its system at an index with a
// reference (past the end, or without a galaxy, kGalaxyChildIndexError and
// null). Galaxy's own getSystem checks the index the same way; the engine
// adds its reference.
objGalaxy* sessionGalaxy();
uint32_t sessionSystemCount();
solarSystem* sessionSystem(uint32_t index);
solarSystem* systemOfGalaxy(const objGalaxy* owner, uint32_t index);

// Step 9's SysObjList and SystemStats, step 10's GalaxySystemList, on both
// engines.
void registerSystemListTypes();
void registerGalaxySystemListType();

}  // namespace systemlists
