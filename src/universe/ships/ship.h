// Ships and stations: game objects built from a hull layout whose placed
// sub-systems carry hit points, effects and effectors (weapons and tools).
// A ship ticks its sub-systems on four clocks, fires its weapons at their
// targets and looks for new targets a few objects at a time; damage runs
// through its sub-systems in one of its layout's damage orders, and a ship
// that loses "Control" passes to the space empire.
//
// Save record, after the base object's fields:
//   the hull reference and per-sub-system records   (hull_ref.h)
//   retarget timer                                  f32
//   scan index                                      packed unsigned
//   the four tick accumulators (0.1 s first)        packed floats (4)
#pragma once

#include <cstdint>

#include "design/hull_ref.h"
#include "universe/objects/game_object.h"

class empire;
class hull_list;

class objHulled : public generic_object {
 public:
  // One weapon or tool of the ship: its sub-system's record (whose
  // `effectorStates` hold the run-time state of this effector at
  // `effectorIndex`), its target (grabbed, or null), the sub-system's index
  // and whether an order forced the target.
  struct EffectorState {
    SysRef* system = nullptr;
    generic_object* target = nullptr;
    uint32_t subSystemIndex = 0;
    uint32_t effectorIndex = 0;  // among the sub-system instance's effectors
    uint8_t force = 0;
  };

  // A new ship of `shipOwner` built from `layout`, in the ship pool, with a
  // unit AI that knows the layout; its sub-systems are built, the owner
  // takes it (its "Ship" stat and object set) and "Damage" gets the sum of
  // the sub-systems' hit points as maximum.
  objHulled(empire* shipOwner, hull_list* layout, MoveHandler* shipMover);
  // A saved ship in `system`: the base record, then its own fields.
  objHulled(SaveStream& stream, generic_object* system);

  static void* operator new(size_t size);
  static void operator delete(void* memory);

  int getType() const override { return OT_Hulled; }
  void writeOwnFields(SaveStream& stream) override;
  void readOwnFields(SaveStream& stream) override;
  void tick(float seconds) override;
  void damage(EffectEvent& event) override;
  void setOwner(empire* newOwner) override;
  void destroyNow(bool quiet) override;

  // The record of placed sub-system `index`, null out of range.
  virtual SysRef* getSubSystem(int index);
  virtual uint32_t getSubSystemCount() const;
  // The first record after `after` (from the first when null) below its
  // maximum hit points, or null.
  virtual SysRef* nextDamagedSubSystem(SysRef* after);
  virtual void damageSubSystem(EffectEvent& event, SysRef* record);
  virtual void repair(float amount);
  virtual void recountDamage();
  virtual void clearEffectorTargets();
  virtual float getMaxEffectorRange();
  // A tool's range: the largest effector range among the active sub-systems
  // carrying `tag`, 0 when there is none.
  virtual float getMaxEffectorRange(const irr::core::stringw& tag);
  virtual void setEffectorTargets(generic_object* target, bool force);
  virtual void setEffectorTargets(generic_object* target, bool force, const irr::core::stringw& tag);
  // The largest target weight for `target` among the effectors of active
  // sub-systems (with `tag`), 0 when there is none.
  virtual float getEffectorTargetWeight(generic_object* target);
  virtual float getEffectorTargetWeight(generic_object* target, const irr::core::stringw& tag);
  // As above; with `zeroWithoutWeights` an effector without "AutoAttack"
  // weights counts 0 instead of 1 (a tool that only works where its weights
  // send it).
  virtual float getEffectorTargetWeight(generic_object* target, const irr::core::stringw& tag,
                                        bool zeroWithoutWeights);
  virtual void clearEffectorTarget(generic_object* target);
  virtual void clearEffectorTarget(generic_object* target, const irr::core::stringw& tag);
  virtual hull_list* getHull() const { return hull.layout; }
  // Rebuilds the ship on `layout` (a client taking the server's layout):
  // fresh sub-system records and effector states, targets let go; the
  // order queue's hull follows. No build events run.
  void setHullLayout(hull_list* layout);

  EffectorState* effectorStates = nullptr;  // owned, effectorStateCount entries
  uint32_t effectorStateCount = 0;
  uint32_t scanIndex = 0;
  float accumulators[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // the 0.1, 0.25, 0.5 and 1.0 s clocks
  float retargetTimer = 0.0f;
  float damageRecountTimer = 0.0f;  // 0: idle
  hullRef hull;

 protected:
  ~objHulled() override;
  // The hull scale squared for a layout of more than 4 placed sub-systems.
  float strengthStat() const override;
};

// The heading (degrees) of a placement (x, y) in a design.
float headingDegrees(float x, float y);

// The script hooks of the server module "ship" (negative: absent).
struct ShipScriptHooks {
  int tick = -1;           // "void tick(HulledObj@,float)"
  int onCreate = -1;       // "void onCreate(HulledObj@,Object@)"
  int onDestroy = -1;      // "bool onDestroy(HulledObj@,bool)"
  int onOwnerChange = -1;  // "bool onOwnerChange(HulledObj@,Empire@,Empire@)"
};
extern ShipScriptHooks shipScriptHooks;
// Looks the hooks up in the server module "ship" (after the scripts are
// built); clearShipScriptHooks forgets them.
void bindShipScriptHooks();
void clearShipScriptHooks();
// Run a hook on the calling thread's prepared context (nothing when it is
// absent). The destroy and owner-change hooks run only while the game's
// rules are active; true from them cancels the destruction or the change.
void runShipTickHook(objHulled* ship, float seconds);
void runShipCreateHook(objHulled* ship, generic_object* place);
bool shipDestroyHookCancels(objHulled* ship, bool quiet);
bool shipOwnerChangeHookCancels(objHulled* ship, empire* oldOwner, empire* newOwner);

// The weapons' step of a ship's tick (fire at held targets, then acquire
// new ones); nothing without effectors or on hold fire.
void tickShipWeapons(objHulled* ship, float seconds);
