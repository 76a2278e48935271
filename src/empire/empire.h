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
#include "core/named_values.h"
#include "core/names.h"
#include "design/sub_system_alter_hook.h"
#include "empire/setting_names.h"

namespace AngelScript {
class asIScriptObject;
}
namespace research {
class IWeb;
}

using EmpireID = uint8_t;
class empire;
class generic_object;
class hull_list;
class build_priorities;
class objHabitation;

// A check an empire asks before it completes a ship at a builder. The
// empire owns the checks in its constructionChecks.
class buildLayoutRestriction {
 public:
  virtual ~buildLayoutRestriction() = default;
  // False refuses building `layout` at `builder`.
  virtual bool allows(const hull_list* layout, generic_object* builder) = 0;
};

class FleetAI;
class ITrait;
class ITreaty;
class DiploMsg;
class SaveStream;
class SubSystemDef;
class solarSystem;
struct SubSystemAlterHook;

// An unlocked sub-system definition and its level for the empire. Lists of
// them are ordered by definition ID, which is the same from run to run.
struct curSysLevel {
  const SubSystemDef* type = nullptr;
  float level = 0.0f;
  bool operator<(const curSysLevel& other) const;
};

// The ID of the space empire, which owns the star systems.
constexpr EmpireID kSpaceEmpireID = 255;

// The standing of one empire towards another.
struct EmpireRelation {
  bool allied = false;
  bool enemy = false;
};

// An empire's presence around a star system: the objects ("prs") and the
// strength ("str") of its own, its allies', the neutrals' and its enemies'.
struct SysPresence {
  float us = 0.0f;
  float allies = 0.0f;
  float neutrals = 0.0f;
  float enemies = 0.0f;
  float usStr = 0.0f;
  float alliesStr = 0.0f;
  float neutralsStr = 0.0f;
  float enemiesStr = 0.0f;
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

// The ruler of an empire: a name and five values that nothing reads yet.
struct Emperor {
  // A random name (pickRandomName), values 0.5, 0.5, 0.5, 1.0, 30.0.
  Emperor();
  // The same values and no name, drawing nothing: the default empire is
  // made on first use, and a draw then would shift the session's seeded
  // sequence by whenever that happens to be.
  struct Unnamed {};
  explicit Emperor(Unnamed) {}
  // A title, a blank and a given name, each drawn at random.
  void pickRandomName();

  irr::core::stringw name;
  float values[5] = {0.5f, 0.5f, 0.5f, 1.0f, 30.0f};
};

// The rates that planets read as their owner's.
struct EmpireRates {
  EmpireRates();
  float values[3] = {10000.0f, 0.05f, 1.0f};
  PtrNamedVar<float>::Registry named;  // "Food" = 3e-7
};

class empire {
 public:
  // Takes the next ID of the counter, which then moves on, and draws a name
  // and a colour no other empire holds.
  empire();
  // Releases the script AI, the research web and the fleets, and deletes
  // what the empire owns.
  ~empire();
  empire(const empire&) = delete;
  empire& operator=(const empire&) = delete;

  bool isValid() const { return valid; }
  bool isAI() const { return !playerControlled; }
  bool isReserved() const { return reserved; }

  // Holds one lock area for reading or writing until the guard goes (also
  // when an exception passes). lock() releases what the guard held first.
  class AreaGuard {
   public:
    AreaGuard() = default;
    AreaGuard(const AreaGuard&) = delete;
    AreaGuard& operator=(const AreaGuard&) = delete;
    ~AreaGuard() { release(); }
    void lock(ReadWriteLock& lock, bool write);
    void release();

   private:
    ReadWriteLock* lock_ = nullptr;
    bool write_ = false;
  };
  void lockArea(AreaGuard& guard, EmpireLockArea area, bool write) { guard.lock(locks[area], write); }

  // The standing towards `other`, made (zeroed) on first use. The record
  // lives as long as this empire.
  EmpireRelation* getRelation(const empire* other);
  // The record, with the relations area held for writing until
  // unlockRelations.
  EmpireRelation* lockRelation(const empire* other);
  void unlockRelations();
  // True for the empire itself, else the record's allied flag.
  bool isAllied(const empire* other);
  // False for the empire itself, else the record's enemy flag.
  bool isEnemy(const empire* other);
  // Starts or stops seeing `other`'s objects (atomic on the mask).
  void addVisibility(const empire* other);
  void removeVisibility(const empire* other);

  // A stored amount; 0 when never set (nothing is created).
  float getStat(const irr::core::stringw& statName);
  // Applies `op` with `value` to the named amount (made at 0 when absent).
  void modStat(const irr::core::stringw& statName, EmpireStatOp op, float value);
  // A setting; 0 when never set. A network client's setSetting tells its server.
  float getSetting(const irr::core::stringw& settingName);
  void setSetting(const irr::core::stringw& settingName, float value);

  // Sets every trait name and tag of the trait registry to 0 in `traitVars`,
  // then the empire's own traits and their tags to 1.
  void updateTraitVariables();
  // Whether the empire has the trait `id`, or a trait with the tag `tag`
  // (traits area, read).
  bool hasTrait(const irr::core::stringw& id);
  bool hasTraitTag(const irr::core::stringw& tag);
  // Adds the registered trait `id` and runs its apply hook; nothing when the
  // empire has it already or the registry lacks it. Then the "Traits"
  // variables are recomputed. It and removeTrait tell every player while hosting.
  void addTrait(const irr::core::stringw& id);
  // Runs the remove hook of the empire's trait `id`, drops the trait and
  // recomputes the "Traits" variables; nothing when the empire lacks it.
  void removeTrait(const irr::core::stringw& id);

  // Zeroes `out`, then sums the system's statistics by standing: this
  // empire's own "prs" and "str", and the positive values of every other
  // valid empire as allied (also when marked enemy), else enemy, else
  // neutral. Holds the system's lock, then the relations area (write). A
  // null system raises a script exception (when a script runs) and leaves
  // `out` at zero.
  void getSystemPresence(solarSystem* system, SysPresence& out);

  // Names the fleet "Fleet <n>" from the counter, takes a reference on it
  // and files it under that name; a fleet filed under the name before is
  // released. Fleets area (write).
  void addFleet(FleetAI* fleet);
  // As addFleet for a fleet read from a save: files it under its own name,
  // which it keeps, and raises the counter. Fleets area (write).
  void enterFleet(FleetAI* fleet);
  // Releases and unlists the fleet; nothing when the empire does not hold it.
  void removeFleet(FleetAI* fleet);
  // The fleet at `index`, null when out of range.
  FleetAI* getFleet(unsigned index);

  // The planets (by UID) queued for colonisation and being colonised
  // (colonisation-sets area, write). start moves a UID from the queue to the
  // colonising set; end takes it out of that set.
  void queueColonization(uint32_t uid);
  void startColonization(uint32_t uid);
  void endColonization(uint32_t uid);

  // The name of the player controlling the empire (player-name area).
  void setPlayerName(const irr::core::stringw& newName);
  irr::core::stringw getPlayerName();

  // Layouts (hulls area). updateHullByName finds the layout `layoutName`
  // and brings it up to date (getUpdatedHull). getUpdatedHull gives the
  // newest revision of `layout` (this empire's copy of a foreign one),
  // making a new revision first when its level gain reaches the threshold
  // (`threshold` above 0, else the layout's own). replaceHull makes `newer`
  // the successor of `older` (same name: the older one is filed as
  // "<name> r<revision>") and sends it; it returns the newest revision.
  // acquireForeignHull gives this empire's copy of another empire's layout,
  // made and filed once. toggleObsolete flips the named layout's flag.
  // Each returned layout is held by the table, not by the caller.
  hull_list* updateHullByName(const irr::core::stringw& layoutName, float threshold);
  hull_list* getUpdatedHull(hull_list* layout, float threshold);
  hull_list* replaceHull(hull_list* older, hull_list* newer);
  hull_list* acquireForeignHull(hull_list* layout);
  bool hasForeignHull(const hull_list* layout);
  void toggleObsolete(const irr::core::stringw& layoutName);
  // Whether the empire may build `layout` at `builder`: every construction
  // check is asked in order (construction-checks area, read); true when
  // none refuses, also when there are none.
  bool canConstruct(const hull_list* layout, generic_object* builder);

  // Named build lists. The empire owns them: storing a list under a name
  // frees the list it replaces, and null removes (and frees) the entry. A
  // list that a thread applies meanwhile (applyBuildList) is freed only once
  // no thread applies one of the empire's lists any more.
  void setBuildList(const irr::core::stringw& listName, build_priorities* list);
  // The list, unheld: only for a caller that does not run it while another
  // thread may replace it (applyBuildList does).
  build_priorities* findBuildList(const irr::core::stringw& listName);
  enum class BuildListRun { Missing, NothingDone, Acted };
  // Applies the named list to `planet`, keeping it alive meanwhile even
  // when it is replaced or removed under the call.
  BuildListRun applyBuildList(const irr::core::stringw& listName, objHabitation* planet);
  // The name of the list at `index`, empty when out of range.
  irr::core::stringw getBuildListName(unsigned index);
  unsigned getBuildListCount();

  // Adds an object to (or takes it from) the empire's objects: at once while
  // the simulation does not run, else on the empire's next step.
  void registerObject(generic_object* object);
  void unregisterObject(generic_object* object);

  // A name and a colour that no other empire holds, taken out of the tables.
  void takeRandomName();
  void takeRandomColor();

  // Research points per second of game time, kept by the research web
  // (under the research-web area). modResearchRate adds in double precision.
  void modResearchRate(double amount);
  double getResearchRate();

  // The empire's step, once per simulation frame with the game seconds that
  // passed: it becomes the active empire, runs its queued jobs, spends its
  // traits' tick hooks (not on a network client), spends its research
  // (posting what was found), hands its diplomatic messages to its script AI
  // and applies the finished ones, then runs its queued commands and its
  // script AI's tick, and last its treaties (tickTreaties).
  void tick(float seconds);
  // The step's treaty phase, under the treaties area (write). On a server or
  // local game: the from empire ticks its standing treaties, ending or
  // failing them; acts on answered proposals it made (an accepted one is
  // activated, a rejected one ended, and its player told either way); and
  // lets go of ended treaties and answered proposals of the other side. On a
  // network client only ended treaties and proposals are let go.
  void tickTreaties(double seconds);

  // Proposals and treaties (treaties area).
  // The proposal held for `other`, or null (no reference is given).
  ITreaty* getProposedTreaty(const empire* other);
  // Stores `treaty` as the proposal for `other` (a reference taken) when no
  // treaty is held for it: true then. False, with nothing taken or changed,
  // for this empire itself and when a proposal is held already. Null
  // removes the entry (ending its treaty when this empire proposed it) and
  // gives true. Marks the treaties changed on a server or local game.
  bool setProposedTreaty(const empire* other, ITreaty* treaty);
  // Files a loaded treaty: a proposal under the other party, an accepted
  // treaty in `treaties`; an ended or rejected one is ignored. No hook runs.
  void restoreTreaty(ITreaty* treaty);
  // Files an accepted treaty. The to empire appends it unless it has ended;
  // the from empire ends it when a standing treaty refuses it, else runs its
  // begin hooks and appends it, or ends (or fails) it at once.
  void activateTreaty(ITreaty* treaty);

  // Recomputes `subSysLevels` (variables area read, then sub-system-levels
  // area write): every registered definition whose availability is above 0
  // for the empire is listed with its "{L}" level, in definition-ID order. A
  // definition listed anew gets the empire's own bit in its `unlockedBy`
  // and, unless this is the list's first fill or the game is a network
  // client, an unlock message for the player.
  void updateSubSystems();
  // Whether `def` is among the empire's sub-system levels (the definitions
  // it can build), with its level in `level` when given. Holds the
  // sub-system-levels area (read) only for the search.
  bool findSubSysLevel(const SubSystemDef* def, float* level = nullptr);

  // Appends a job; the empire owns it from then on. Any thread.
  void queueJob(empJob* job);
  // Queues the delivery of a diplomatic message to this empire: on the
  // empire's next step the message joins `diplomacyMessages` (and a
  // declaration of war takes effect). The empire owns the message from now
  // on. Any thread.
  void queueDiplomacyMessage(DiploMsg* message);
  // Appends a command; the empire owns it from then on. Any thread.
  void queueCommand(empCommand* command);
  // Deletes every queued command (end of a game session).
  void clearCommands();
  // Releases the script AI object and forgets its function ids.
  void releaseAI();

  irr::core::array<PtrNamedVar<build_priorities*>> buildLists;  // EA_BuildLists
  // Threads inside applyBuildList, and the lists replaced meanwhile, freed
  // when the count comes back to 0 (both EA_BuildLists).
  uint32_t buildListUsers = 0;
  std::vector<build_priorities*> retiredBuildLists;
  // Received diplomatic messages, oldest first, owned by the empire; changed
  // only by the empire's step, under the treaties area (write).
  std::list<DiploMsg*> diplomacyMessages;
  std::set<generic_object*> objects;  // EA_Objects
  EmpireID ID;
  double unusedValues[3] = {0.0, 0.0, 0.0};
  NamedValues statValues;
  std::list<EmpireMessage> messages;  // oldest first (EA_Messages)
  double lastMessage = 0.0;           // game time of the newest message (EA_Messages)
  EmpireRates rateRecord;
  std::list<SubSystemAlterHook> alterHooks;
  bool treatiesChanged = false;
  bool researchChanged = false;
  NameSpaces spaces;  // "Techs" then "Traits" (EA_Variables)
  NameSpaces techVars;
  NamedValues traitVars;
  uint32_t fleetCounter = 0;                                          // EA_Fleets
  irr::core::array<NamedVar<FleetAI*>> fleets;                        // EA_Fleets
  std::map<const hull_list*, hull_list*> foreignHulls;                // EA_HullLayouts
  irr::core::array<NamedVar<hull_list*>> hulls;                       // EA_HullLayouts
  irr::core::array<curSysLevel> subSysLevels;                         // EA_SubSystemLevels
  std::map<irr::core::stringw, ITrait*> traits;                       // EA_Traits
  std::map<irr::core::stringw, ITrait*> traitTags;                    // EA_Traits
  irr::core::stringw name;  // "---" when no name was left
  irr::core::stringw playerName;  // EA_PlayerName
  irr::core::stringw raceName;
  irr::core::stringw raceDescription;
  irr::core::stringw raceHistory;
  irr::core::stringw shipSet;
  Emperor emperor;
  uint32_t color = 0;  // ARGB
  // The own bits of the empires whose objects this empire sees.
  std::atomic<uint32_t> visibility{0};
  // This empire's bit in every visibility mask.
  uint32_t ownBit = 0;
  std::set<uint32_t> colonizing;     // EA_ColonizationSets
  std::set<uint32_t> colonizeQueue;  // EA_ColonizationSets
  research::IWeb* researchWeb = nullptr;
  // False only for the space empire and the default empire.
  bool valid = true;
  bool playerControlled = false;
  bool reserved = false;  // the special empires
  // Sees every object ("emp_see_all").
  bool seeAll = false;
  // A player's empire still to be announced to the players.
  bool needsRegistration = false;

  // The script AI object (null without AI) and its script function ids of
  // "void tick(Empire@,float)" and "void onDiplomaticMessage(Empire@,Empire@,
  // DiploMsg@)", -1 when absent.
  AngelScript::asIScriptObject* aiObject = nullptr;
  int32_t aiTickFunction = -1;
  int32_t aiMessageFunction = -1;

  std::map<const empire*, EmpireRelation*> relations;    // EA_Relations
  PtrNamedVar<float>::Registry stats;                     // EA_Stats
  PtrNamedVar<float>::Registry settings;                  // EA_Settings
  // The setting names sent by a peer, owned here (setting_names.h).
  SettingNameStore settingNames;                          // EA_Settings
  std::list<empJob*> jobs;                                // EA_Jobs
  std::list<empCommand*> commands;                        // EA_Commands
  irr::core::array<ITreaty*> treaties;                    // EA_Treaties
  std::map<const empire*, ITreaty*> proposedTreaties;     // EA_Treaties
  ReadWriteLock locks[EA_COUNT];
  irr::core::array<buildLayoutRestriction*> constructionChecks;  // EA_ConstructionChecks

 private:
  // Frees `list`, or keeps it until the last applyBuildList ends (call
  // with EA_BuildLists held for writing).
  void retireBuildList(build_priorities* list);
  struct DefaultTag {};
  // The default empire: no ID from the counter, no name or colour drawn.
  explicit empire(DefaultTag);
  friend empire* defaultEmpire();
  // Builds the empire of a saved record in this state too.
  friend empire* loadEmpire(SaveStream& stream);
};

// The ID the next empire made takes (1 at start-up).
extern EmpireID nextEmpireID;
// The own bit the next empire takes; doubled by each taker.
extern uint32_t nextVisibilityBit;
// Every registered empire, in registration order; the list owns them.
extern std::vector<empire*> empireList;
// The empire lookups give when no listed empire matches: "INVALID", not
// valid, ID 131. Made on first use, for the whole process.
empire* defaultEmpire();
// The empire in whose name scripts and interface code act; each empire's
// step makes itself the active empire, and the frame loop then makes the
// local player's empire active again. Natives read it on every thread.
extern std::atomic<empire*> activeEmpire;
// Whether the active empire has the planet `uid` queued for colonisation;
// false without an active empire.
bool isQueuedForColonization(uint32_t uid);
// Takes the planet `uid` out of the active empire's colonisation queue;
// nothing without an active empire.
void unqueueColonization(uint32_t uid);

// The empire the local player is to take (null on a dedicated server until
// one is chosen).
extern empire* pendingPlayerEmpire;

// Gives `emp` the next own bit (as `ownBit` and `visibility`) and doubles
// the counter. False, with an error logged and nothing changed, once all 32
// bits are given out.
bool takeNextOwnBit(empire* emp);

// Appends `emp` to the list, gives it its relations with the listed
// empires and, unless `special`, runs "registerEmpireData" for it (with
// `activeEmpire` set to it meanwhile). When an empire of the same ID is
// listed already, that one is returned and `emp` stays the caller's.
empire* registerEmpire(empire* emp, bool special = false);
// The first listed empire with `id`, or the default empire.
empire* getEmpireByID(EmpireID id);
// The first listed empire named exactly `name`, or the default empire.
empire* findEmpireByName(const irr::core::stringw& name);
// Destroys every listed empire and empties the list (end of a game), and
// empties the names still to be given out; the own-bit counter starts at 1
// again and "registerEmpireData" is looked up afresh.
void deleteAllEmpires();
// Runs the script function "void registerEmpireData(Empire@)" of the server
// module "empire_ai" for `emp`, after releasing its script AI. Nothing when
// the module or the function does not exist. The AI fields are unlocked and
// the empire step uses them, so a call from any thread other than the one
// that runs the empire steps queues the work as an empire job instead: it
// runs in the empire's next step, once per call.
void runRegisterEmpireData(empire* emp);
// Whether the calling thread is the one that runs the empire steps (the
// process's main thread).
bool onEmpireStepThread();

// Runs the empire's queued jobs, front first, each without the jobs area
// held, so a job may queue further jobs: those run in the same call.
void runEmpireJobs(empire* emp);

// Messages kept per empire: the oldest goes once more are posted.
constexpr size_t kMaxEmpireMessages = 251;

// Appends a message to the empire's list (time < 0: the current game time in whole
// seconds), category pooled; a server sends it on to the empire's player, if any.
void postEmpireMessage(empire* emp, const irr::core::stringw& text, const irr::core::stringw& category,
                       int32_t priority, int32_t time);
// postEmpireMessage in category "misc", priority 0, at the current time.
void postMiscMessage(empire* emp, const irr::core::stringw& text);

// The message categories of a game session: id -> name and name -> id.
// registerMessageCategories fills both ("subsys_new" 0 .. "custom" 17) when a
// session starts; clearMessageCategories empties them when it ends.
extern std::map<int, irr::core::stringw> messageCategoryNames;
extern std::map<irr::core::stringw, int> messageCategoryIds;
void registerMessageCategories();
void clearMessageCategories();
