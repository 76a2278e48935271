// Planets: the worlds of a star system. A planet has a population with a
// maximum, a physical type and conditions (planet_types.h), room for
// structures, and an optional build governor that keeps its build queue
// filled from one of its owner's build lists.
//
// Its tick runs, every 0.1 s while it has a valid owner, the "tick" hook of
// the server script module "planet"; it hands the planet to the space empire
// (ID 255) once its settled population is gone; and it runs the governor.
// Damage goes into its "Damage" state; its "Workers" state mirrors the
// population. Five script hooks of the "planet" module may veto or extend
// damage, repair, owner changes and destruction (planet_hooks.h).
//
// Own record, after the base record (packed values as the save stream writes
// them; strings are common-string references):
//
//   u8      useGovernor
//   f32     settledPopulation, population, structureSpace
//   packed  ownerLossTimer, pendingStructureSpace, maxPopulation, reservedValue
//           (4 packed floats)
//   u8      has governor type; then its name when 1          (version 7 on)
//   string  the physical type's name
//   u8      condition count n, then n condition ids          (version 9 on)
//   u16     structure count m, then m structures, each:
//             the sub-system record (sub_system.h)
//             i32 state, f32 hit points, then the two words (4 bytes each,
//             as held)
//             8 bytes written as zeros and skipped when read
//   u32     UID of the rally object (the linked object), 0 for none
//
// Reading: an unknown type name takes a random loaded type; unknown
// conditions are skipped; the rally object is looked up once the whole tree
// is loaded. Each structure read gets fresh, zeroed effector states. A planet
// holds at most 255 conditions and 65,535 structures in a save: more are
// dropped from the record with a warning naming the planet.
//
// Threads: ticked, damaged and repaired by the worker that owns its system,
// under the system lock. Script natives take the container lock around each
// call.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <atomic>
#include <cstdint>

#include "core/save_stream.h"
#include "design/subsystems/sub_system.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_record.h"

struct EmpireRates;
struct PlanetPhysicalType;
struct planetCondition;

class objHabitation : public generic_object {
 public:
  // One structure: a sub-system instance built on the planet, and the
  // planet's record of it: running state (SS_Active 0, SS_Disabled 2,
  // SS_Destroyed 3), hit points in `HP` (from the instance's "{D}"), the
  // two words the structure tick keeps, and the effector states (owned;
  // one per effector). `record.system` is the same instance.
  struct structEntry {
    subSystem* system = nullptr;  // owned
    SysRef record;
  };

  // A new planet of `planetOwner` (required), in the planet pool, with a new
  // unit AI; the owner's "Planet" stat grows by 1 and the planet is
  // registered with the owner. The maker sets the type, radius, orbit and
  // conditions.
  objHabitation(empire* planetOwner, MoveHandler* planetMover);
  // As above without the AI (mirrors install their own).
  struct NoAI {};
  objHabitation(empire* planetOwner, MoveHandler* planetMover, NoAI);
  // A saved planet in `system`, in the planet pool: the base record brings
  // its owner, mover and AI, and the owner's "Planet" stat is not counted
  // again (finishObjectLoad completes it).
  objHabitation(SaveStream& stream, generic_object* system);

  static void* operator new(size_t size);
  static void operator delete(void* memory);

  int getType() const override { return OT_Planet; }
  void writeOwnFields(SaveStream& stream) override;
  void readOwnFields(SaveStream& stream) override;
  void tick(float seconds) override;
  // "onDamage" first (true stops it), then the amount goes into "Damage";
  // reaching its maximum asks for destruction.
  void damage(EffectEvent& event) override;
  // "onOwnerChange" first (true keeps the owner), then the "#EM_PlanetLost"
  // message to the former owner, then the owner change.
  void setOwner(empire* newOwner) override;
  // "onDestroy" first: true keeps the planet (and clears the destruction
  // request); then lowers the system's "planets" for empire 255.
  void destroyNow(bool quiet) override;

  float getStructureSpace() const { return structureSpace; }
  int getStructureCapacity(float size) const;
  int getMaxStructureCount() const;
  void addStructureSpace(float amount) { structureSpace += amount; }
  void setStructureSpace(float amount) { structureSpace = amount; }
  void addPendingStructureSpace(float amount) { pendingStructureSpace += amount; }
  float getPendingStructureSpace() const { return pendingStructureSpace; }

  // "onRepair" first (true stops it); whatever is left lowers "Damage".
  void repair(float amount);

  // The rate records are the owner's; they are not used.
  void modPopulation(EmpireRates* rates, float delta);
  float getPopulation(EmpireRates* rates) const;
  float getMaxPopulation(EmpireRates* rates) const;

  void setUseGovernor(bool use) { useGovernor = use; }
  bool usesGovernor() const { return useGovernor; }
  // Interns `listName`; the governor then uses that build list.
  void setGovernorType(const irr::core::stringw& listName);
  // Null means "default".
  const irr::core::stringw* getGovernorType() const { return governorType; }

  // Structures. addStructure takes over a built instance (its build events
  // run on the planet): false, with the instance still the caller's, when
  // the planet holds its maximum count. addStructureFromDef makes the
  // instance for this planet through a sub-system factory first.
  // removeStructure runs the structure's deactivation and destruction
  // events (as its state calls for) and frees it; nothing out of range.
  bool addStructure(subSystem* system);
  bool addStructureFromDef(const SubSystemDef* def);
  void removeStructure(unsigned index);
  // The largest effector range among the active structures with `tag` (or,
  // without one, among those whose definition provides effectors); 0 when
  // there is none.
  float getMaxEffectorRange(const irr::core::stringw& tag);
  float getMaxEffectorRange();
  unsigned countStructures(const SubSystemDef* def) const;
  bool hasStructure(const SubSystemDef* def) const;
  bool hasStructureWithTag(const irr::core::stringw& tag) const;

  // Removes the first occurrence of `condition`, keeping the others' order.
  void removeCondition(planetCondition* condition);

  float structureTickTimer = 0.0f;
  float governorTimer = 0.0f;
  float structureSpace = 0.0f;
  float pendingStructureSpace = 0.0f;
  float ownerLossTimer = -1.0f;
  // Set by scripts on the thread that runs them, without the system's lock,
  // while the planet's tick reads it on its system's thread.
  std::atomic<bool> useGovernor{false};
  const irr::core::stringw* governorType = nullptr;
  EmpireRates* ownerRates = nullptr;
  float reservedValue = 0.0f;
  float settledPopulation = 0.0f;
  irr::core::array<planetCondition*> conditions;
  PlanetPhysicalType* physicalType = nullptr;
  irr::core::array<structEntry> structures;
  float population = 0.0f;
  float maxPopulation = 0.0f;

 protected:
  ~objHabitation() override;
};

// While one is alive on a thread, the structures that thread removes from
// any planet leave the planet at once but keep their instance and effector
// states until the outermost hold ends. The steps, damage hooks and build
// events that run on a structure hold one: a hook may remove the structure
// it runs for, or destroy the whole planet, while its instance is in use.
class StructureFreeHold {
 public:
  StructureFreeHold();
  ~StructureFreeHold();
  StructureFreeHold(const StructureFreeHold&) = delete;
  StructureFreeHold& operator=(const StructureFreeHold&) = delete;
};

// The planets' pool (objHabitation and its mirrors).
class ObjectPool;
ObjectPool& planetPool();
