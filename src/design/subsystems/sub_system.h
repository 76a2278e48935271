// Sub-system instances: a sub-system definition evaluated once, for one
// owner, into plain numbers (`subSystem`), the factory that evaluates them
// for an object's owner, the per-sub-system record that an object keeps of
// a placed sub-system's live state (`SysRef`), the binary record of an
// instance, and the events and the tick by which a sub-system acts on the
// object that carries it.
#pragma once

#include <cstdint>
#include <vector>

#include <irrArray.h>
#include <irrString.h>

#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/sub_system_alter_hook.h"
#include "design/subsystems/sub_system_def.h"

class empire;
class generic_object;
class NameSpaces;
class SaveStream;

// The step of an evaluation an alter hook is called for.
enum SubSystemEvalMode : int32_t {
  SSVM_Costs = 0,
  SSVM_Consumes = 1,
  SSVM_Requires = 2,
  SSVM_Hints = 3,
  SSVM_Provisions = 4,
};

// The running state of a placed sub-system.
enum SysState : uint32_t { SS_Active = 0, SS_Disabled = 2, SS_Destroyed = 3 };


class subSystem {
 public:
  subSystem() = default;
  // Deep: value block, alter hooks, provisions, effectors and triggerables,
  // with the views at the same positions.
  subSystem(const subSystem& other);
  subSystem& operator=(const subSystem&) = delete;
  ~subSystem();

  // The built-in variables "{L}", "{S}", "{D}", "{M}" (0 / nothing when the
  // value block is missing).
  float getLevel() const;
  float getSize() const;
  float getDurability() const;
  float getMass() const;
  void setLevel(float value);
  void setSize(float value);
  void setDurability(float value);
  void setMass(float value);

  const SubSystemDef* def = nullptr;
  bool available = true;
  float scale = 1.0f;
  // Variables (declaration order), then costs, consumption, requirements
  // and hints (each in its list's sorted name order); owned.
  float* values = nullptr;
  // Views into `values` where each list begins; null when the list is empty.
  float* costs = nullptr;
  float* consumption = nullptr;
  float* requirements = nullptr;
  float* hints = nullptr;
  irr::core::array<SubSystemAlterHook*> alterHooks;  // owned
  irr::core::array<effect_data> provisions;
  irr::core::array<effector> effectors;
  irr::core::array<effector> triggerables;  // in the definition's sorted order
};

// True when a's level is greater than b's (descending level order).
bool compareSubSystemLevel(const subSystem* a, const subSystem* b);

// (SubSystemDef::createInstance evaluates a definition into an instance.)
// Run the hooks of the mode form for `mode`, or of the string form for the
// value `name`, on the calling thread's pooled server contexts. Nothing for
// a null list.
void runModeAlterHooks(const SubSystemAlterHookList* hooks, subSystem* instance, SubSystemEvalMode mode);
void runNamedAlterHooks(const SubSystemAlterHookList* hooks, subSystem* instance, const irr::core::stringw& name);

// Evaluates instances for an object's owner: its values plus an "Object"
// set, with the alter hooks that apply to that owner.
class SubSystemFactory {
 public:
  // Binds the factory to `object`'s owner (nothing without one).
  virtual void prepare(generic_object* object) = 0;
  // A new instance, or null when not prepared.
  virtual subSystem* create(const SubSystemDef* def) = 0;
  virtual void release() = 0;
  virtual ~SubSystemFactory() = default;
};
SubSystemFactory* createSubSystemFactory();

// Appends copies of the alter hooks of each trait of `emp`, in trait-map
// order, taken under its traits area. Callers that also take the variables
// area copy these first: the traits area comes before it.
void collectTraitAlterHooks(empire* emp, SubSystemAlterHookList& out);

// An object's record of one placed sub-system (script type `SysRef`).
class SysRef {
 public:
  uint32_t state = SS_Active;
  float HP = 0.0f;
  float val1 = 0.0f;
  float val2 = 0.0f;
  interactor_data* effectorStates = nullptr;  // one per effector; owned by the holder
  subSystem* system = nullptr;
};

// Save-stream errors of the instance record.
constexpr SaveFileError kSaveErrorSubSystemID{6, "Invalid Sub System ID"};
constexpr SaveFileError kSaveErrorSubSystemPhysical{6, "Invalid physical info for Sub Systems"};
constexpr SaveFileError kSaveErrorSubSystemMismatch{6, "Mismatched sub system data, data files have likely changed"};
constexpr SaveFileError kSaveErrorSubSystemProvisions{6, "Invalid SubSystem provision list"};
constexpr SaveFileError kSaveErrorSubSystemEffectors{6, "Invalid SubSystem effectors list"};
constexpr SaveFileError kSaveErrorSubSystemTriggerables{6, "Invalid SubSystem triggerable effectors list"};

// Writes the instance's record (the current form).
void writeSubSystemDefRef(SaveStream& stream, const subSystem* instance);
// Reads a record into `storage` (the form the stream's save version says);
// throws SaveFileError. Returns storage.
subSystem* serializeSubSystemData(subSystem* storage, SaveStream& stream);

// Events an owner fires; `record` is the owner's record of the sub-system
// (its state may become SS_Disabled).
void triggerSubSysBuilt(subSystem* instance, generic_object* object, SysRef* record);
void triggerSubSysActive(subSystem* instance, generic_object* object, SysRef* record);
void triggerSubSysDeactive(subSystem* instance, generic_object* object, SysRef* record);
void triggerSubSysConstruct(subSystem* instance, generic_object* object, SysRef* record);
void triggerSubSysDestruct(subSystem* instance, generic_object* object, SysRef* record);
// Whether any provision of the instance's definition has a handler for
// `kind` (false without an instance or definition).
bool subSystemHasHook(const subSystem* instance, EffectHookKind kind);
// Runs the OnGlobalDamage or OnDamage handlers of the instance's provisions
// with the event marked as on `record` (destination kind 1), the mark
// cleared after. With `stopOnControl` it stops once a handler ends the
// damage (ESC_DISABLE) or skips the sub-system (ESC_SKIP).
void runSubSystemDamageHooks(subSystem* instance, SysRef& record, EffectEvent& event, EffectHookKind kind,
                             bool stopOnControl);

// One tick of a placed sub-system for `event` (its time is the tick's).
void tickPlanetSubSystems(subSystem* instance, EffectEvent& event, SysRef* record);
