// The empire: one player or non-player power of the galaxy, and the global
// list that owns every empire for the game.
//
// Ordinary empires take IDs 1, 2, 3 ... from a global counter as they are
// made. Lookups never fail: an ID or name that no listed empire has gives the
// fixed default empire, which is not valid and carries the reserved ID that
// stands for no empire (131).
//
// Many threads reach an empire at once (the frame loop, the galaxy
// processing threads, the network thread, scripts), so its state is split
// into lock areas, each a re-entrant read/write lock. Work that must change
// the empire's own containers is queued as a job and run by the empire's
// step on the frame loop's thread; player orders are queued as commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <set>
#include <vector>

#include <irrString.h>

#include "core/locks.h"
#include "core/names.h"

namespace AngelScript {
class asIScriptObject;
}

using EmpireID = uint8_t;
class empire;
class generic_object;

// The ID of the space empire, which owns the star systems.
constexpr EmpireID kSpaceEmpireID = 255;

// The standing of one empire towards another.
struct EmpireRelation {
  bool allied = false;
  bool enemy = false;
};

// A message for the empire's player.
struct EmpireMessage {
  irr::core::stringw text;
  const irr::core::stringw* category = nullptr;  // pooled common string
  int32_t priority = 0;
  int32_t time = 0;  // game time in whole seconds
};

// Operations of empire::modStat.
enum EmpireStatOp : int { ESO_Set = 0, ESO_Add = 1, ESO_Subtract = 2, ESO_Multiply = 3, ESO_Divide = 4 };

// The lock areas of an empire, each guarding the named part of its state.
enum EmpireLockArea : unsigned {
  EA_Stats = 0,
  EA_Settings,
  EA_Jobs,
  EA_Commands,
  EA_Relations,
  EA_Objects,
  EA_Fleets,
  EA_Variables,
  EA_HullLayouts,
  EA_ResearchWeb,
  EA_Messages,
  EA_Unused,
  EA_SubSystemLevels,
  EA_BuildLists,
  EA_Treaties,
  EA_ConstructionChecks,
  EA_ColonizationSets,
  EA_PlayerName,
  EA_Traits,
  EA_COUNT
};

// A unit of work queued on an empire by any thread and run by the empire's
// own step, so that the empire's containers change on one thread only.
class empJob {
 public:
  virtual void run(empire* emp) = 0;
  virtual ~empJob() = default;
};

// A player's order to an empire, queued and executed by the empire's step.
class empCommand {
 public:
  // True when the command is finished: it is then removed and deleted.
  virtual bool execute(empire* emp) = 0;
  virtual ~empCommand() = default;
};

class empire {
 public:
  // Takes the next ID of the counter, which then moves on.
  empire();
  // Releases the script AI and deletes the queued jobs and commands.
  ~empire();
  empire(const empire&) = delete;
  empire& operator=(const empire&) = delete;

  bool isValid() const { return valid; }

  // The standing towards `other`, made (zeroed) on first use. The record
  // lives as long as this empire.
  EmpireRelation* getRelation(const empire* other);
  // True for the empire itself, else the record's allied flag.
  bool isAllied(const empire* other);
  // False for the empire itself, else the record's enemy flag.
  bool isEnemy(const empire* other);

  // A stored amount; 0 when never set (nothing is created).
  float getStat(const irr::core::stringw& statName);
  // Applies `op` with `value` to the named amount (made at 0 when absent).
  void modStat(const irr::core::stringw& statName, EmpireStatOp op, float value);

  // Adds an object to (or takes it from) the empire's objects: at once while
  // the simulation does not run, else on the empire's next step.
  void registerObject(generic_object* object);
  void unregisterObject(generic_object* object);

  // The empire's step, once per simulation frame with the game seconds that
  // passed: it becomes the active empire, runs its queued jobs, then its
  // queued commands. (Traits, research, diplomacy, the script AI and
  // treaties join the step as they are built.)
  void tick(float seconds);

  // Appends a job; the empire owns it from then on. Any thread.
  void queueJob(empJob* job);
  // Appends a command; the empire owns it from then on. Any thread.
  void queueCommand(empCommand* command);
  // Deletes every queued command (end of a game session).
  void clearCommands();

  // The objects the empire owns (EA_Objects).
  std::set<generic_object*> objects;
  EmpireID ID;
  // The messages for the empire's player, oldest first (EA_Messages).
  std::list<EmpireMessage> messages;
  // Game time of the latest message (EA_Messages).
  double lastMessage = 0.0;
  irr::core::stringw name;
  // The own bits of the empires whose objects this empire sees.
  std::atomic<uint32_t> visibility{0};
  // This empire's bit in every visibility mask.
  uint32_t ownBit = 0;
  // False only for the space empire and the default empire.
  bool valid = true;
  // Sees every object ("emp_see_all").
  bool seeAll = false;

  // The script AI object (null without AI) and its script function ids of
  // "void tick(Empire@,float)" and "void onDiplomaticMessage(Empire@,Empire@,
  // DiploMsg@)", -1 when absent.
  AngelScript::asIScriptObject* aiObject = nullptr;
  int32_t aiTickFunction = -1;
  int32_t aiMessageFunction = -1;

  std::map<const empire*, EmpireRelation*> relations;  // EA_Relations
  PtrNamedVar<float>::Registry stats;                   // EA_Stats
  std::list<empJob*> jobs;          // EA_Jobs
  std::list<empCommand*> commands;  // EA_Commands
  ReadWriteLock locks[EA_COUNT];
};

// The ID the next empire made takes.
extern EmpireID nextEmpireID;
// Every registered empire, in registration order; the list owns them.
extern std::vector<empire*> empireList;
// "INVALID": what lookups give when no listed empire matches.
extern empire defaultEmpire;
// The empire in whose name scripts and interface code act; each empire's
// step makes itself the active empire.
extern empire* activeEmpire;

// Appends `emp` to the list and returns it. When an empire of the same ID is
// listed already, that one is returned and `emp` stays the caller's.
empire* registerEmpire(empire* emp);
// The first listed empire with `id`, or the default empire.
empire* getEmpireByID(EmpireID id);
// Destroys every listed empire and empties the list (end of a game).
void deleteAllEmpires();

// Runs the empire's queued jobs, front first, each without the jobs area
// held, so a job may queue further jobs: those run in the same call.
void runEmpireJobs(empire* emp);

// Messages kept per empire: the oldest goes once more are posted.
constexpr size_t kMaxEmpireMessages = 251;

// Appends a message to the empire's list (time < 0: the current game time in
// whole seconds); the category is pooled in the common string list.
void postEmpireMessage(empire* emp, const irr::core::stringw& text, const irr::core::stringw& category,
                       int32_t priority, int32_t time);

// The message categories of a game session: id -> name and name -> id.
// registerMessageCategories fills both ("subsys_new" 0 .. "custom" 17) when a
// session starts; clearMessageCategories empties them when it ends.
extern std::map<int, irr::core::stringw> messageCategoryNames;
extern std::map<irr::core::stringw, int> messageCategoryIds;
void registerMessageCategories();
void clearMessageCategories();
