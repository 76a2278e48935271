// Sub-system definitions: every ship part and planet structure kind, read
// from the text files of "Game Data/Sub Systems/" and kept for the game
// session in two registries, by name and by a 32-bit ID made from the name.
// A definition holds formulas, not numbers: its costs, consumption,
// requirements, hints, variables, effect and effector values and its
// availability are evaluated later for the empire and object that a
// sub-system goes on.
//
// Definitions are made and finalised while the session loads its data, on
// one thread, and only read during play: every named list and registry is
// sorted when loading ends, so lookups from any thread never sort.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <vector>

#include <irrArray.h>
#include <irrString.h>
#include <SMaterial.h>

#include "core/common_strings.h"
#include "core/names.h"

class effect_handler;
class NameSpaces;
class subSystem;
class generic_object;
struct SubSystemAlterHook;
// Alter hooks as an evaluation runs them (copies, owned by whoever collects
// them).
using SubSystemAlterHookList = std::vector<SubSystemAlterHook>;
class formula;
struct effector_forms;
namespace research {
struct SWebTieDesc;
}

// Where a sub-system may be placed ("Equips To").
constexpr int32_t kEquipsToArmor = -10;
constexpr int32_t kEquipsToHull = 10;

// The short names under which `variableIndex` also holds the four built-in
// variables "Level", "Size", "Durability" and "Mass".
constexpr wchar_t kSubSysLevelKey[] = L"{L}";
constexpr wchar_t kSubSysSizeKey[] = L"{S}";
constexpr wchar_t kSubSysDurabilityKey[] = L"{D}";
constexpr wchar_t kSubSysMassKey[] = L"{M}";

// Tick rates of "Tick Rate": "Always" 0, "10" 1, "4" 2, "2" 3, "1" 4.
enum SubSystemTickRate : uint32_t { STR_Always = 0, STR_10 = 1, STR_4 = 2, STR_2 = 3, STR_1 = 4 };

class SubSystemDef {
 public:
  // One variable of a definition.
  struct ValueInfo {
    ValueInfo(const irr::core::stringw& valueName, formula* valueFormula, uint32_t valueIndex, bool isBuiltIn);
    ~ValueInfo();
    ValueInfo(const ValueInfo&) = delete;
    ValueInfo& operator=(const ValueInfo&) = delete;

    irr::core::stringw name;
    formula* value;  // owned
    uint32_t index;  // position in `variables`
    bool builtIn;
  };

  // One "Provides" effect: the effect and a formula per effect value (null
  // until given). Owns its formulas.
  struct Provision {
    explicit Provision(const effect_handler* providedEffect) : effect(providedEffect) {}
    ~Provision();
    Provision(const Provision&) = delete;
    Provision& operator=(const Provision&) = delete;

    const effect_handler* effect;
    formula* values[4] = {nullptr, nullptr, nullptr, nullptr};
  };

  // One "Alters" entry: the script function ids of the mode form
  // (subSystem@, SubSystemEvalMode, float...) and the string form
  // (subSystem@, const string@, float...), -1 when absent, and the argument
  // formulas (owned).
  struct AlterHook {
    ~AlterHook();
    int32_t modeFunction = -1;
    int32_t stringFunction = -1;
    std::list<formula*> arguments;
  };

  SubSystemDef() = default;
  // Frees everything the definition owns.
  ~SubSystemDef();
  SubSystemDef(const SubSystemDef&) = delete;
  SubSystemDef& operator=(const SubSystemDef&) = delete;

  // Evaluates the definition into `storage` against `context` (the owner's
  // values), running `hooks` (null: none) as the values are produced.
  // Returns storage.
  subSystem* createInstance(subSystem* storage, NameSpaces& context, const SubSystemAlterHookList* hooks) const;

  // Whether `tags` holds `tag` (binary search).
  bool hasTag(const irr::core::stringw& tag) const;

  // Whether the definition may be queued on `object`: never with
  // "NoManualBuild"; a "Structure" only on planets and anything else only
  // elsewhere; on a planet, not a second "Unique" of the definition, nor
  // one tagged "Unique:<word>" where a structure already carries <word>.
  // `replacing`, the structure a rebuild replaces, counts for neither.
  bool allowsBuildOn(generic_object* object, const subSystem* replacing = nullptr) const;

  bool finalized = false;
  uint32_t id = 0;
  bool hasWeapon = false;
  uint32_t tickRate = STR_10;
  // The material, from the graphics resource registry: null until the
  // registry's material pass has ended (fillSubSystemAppearances).
  const irr::video::SMaterial* appearance = nullptr;
  irr::core::array<research::SWebTieDesc*> ties;
  irr::core::stringw name;
  irr::core::stringw description;
  irr::core::stringc explosion = "subsys_explosion";
  formula* available = nullptr;
  int32_t equipsTo = 0;
  int32_t preDamageOrder = 0;
  std::list<AlterHook*> alterHooks;
  std::list<ValueInfo*> variables;                  // declaration order
  PtrNamedVar<ValueInfo*>::Registry variableIndex;  // by name, built-ins also by "{L}" ...
  PtrNamedVar<formula*>::Registry costs;
  PtrNamedVar<formula*>::Registry consumption;
  PtrNamedVar<formula*>::Registry requirements;
  PtrNamedVar<formula*>::Registry hints;
  PtrNamedVar<void*>::Registry tags;  // values always null
  std::list<Provision*> provisions;
  std::list<effector_forms*> effectors;
  PtrNamedVar<effector_forms*>::Registry triggerables;
  uint16_t effectFlags = 0;
  // The own bits of the empires that have unlocked the definition (changed
  // only by atomic OR).
  std::atomic<uint32_t> unlockedBy{0};
};

// name -> definition, sorted by name; owns the definitions.
extern PtrNamedVar<SubSystemDef*>::Registry subSystemDefRegistry;
// ID -> definition (the same definitions).
extern std::map<uint32_t, SubSystemDef*> subSystemDefsByID;

// The ID a definition named `name` takes: the low bytes of its characters
// (a name of up to 4: characters 0-3; a longer one: characters 0, 1, the
// last and the second-to-last), raised by 1 while an ID is taken.
uint32_t makeSubSystemID(const irr::core::stringw& name);

// Enters `def` under `name` in both registries: its name becomes `name` and
// it takes a new ID (makeSubSystemID). False, with nothing changed, when a
// definition of that name exists; the caller still owns `def` then.
bool registerSubSystemDef(SubSystemDef* def, const irr::core::stringw& name);
// Puts `def` in place of the definition registered under `name`: it takes
// the old one's name and ID in both registries. Returns the old definition,
// which the caller must take out of its technologies' ties and delete; when
// no definition has that name, `def` is registered as by
// registerSubSystemDef and null is returned.
SubSystemDef* replaceSubSystemDef(SubSystemDef* def, const irr::core::stringw& name);

// Index into subSystemDefRegistry, or -1. Never sorts: the registry is
// filled in name order only.
irr::s32 findSubSystemDefByName(const irr::core::stringw& name);
// The map position of `id` (end when absent), and the definition or null.
std::map<uint32_t, SubSystemDef*>::iterator findSubSystemDefEntry(uint32_t id);
SubSystemDef* lookupSubSystemDefByID(uint32_t id);

// The index of `name` in one of the definitions' named lists, or -1. The
// search never sorts (and so never writes): any thread may look up once
// loading has ended, because every list is filled at its sorted place by
// findOrInsertPtrNamedVar, and finalising sorts any list that was appended
// to instead.
template <typename V>
irr::s32 findPtrNamedVar(const irr::core::array<PtrNamedVar<V>>& list, const irr::core::stringw& name) {
  return PtrNamedVar<V>::findNoSort(list, name);
}
// The entry of `name`, inserted at its sorted place with a null value when
// absent (names pooled in the common string list). Valid until the next
// insertion into the list. Loading only.
template <typename V>
PtrNamedVar<V>& findOrInsertPtrNamedVar(irr::core::array<PtrNamedVar<V>>& list, const irr::core::stringw& name) {
  return PtrNamedVar<V>::getOrAdd(list, name, internCommonString);
}

// Completes a definition after loading: sorts any named list not marked
// sorted, availability "1", the material, the four built-in variables,
// missing effector and effect values (each "1", logged), the effect flags.
// Nothing for a finalised definition.
void finalizeSubSystemDef(SubSystemDef* def);
// Deletes every definition and empties both registries (session end).
void clearSubSystemDefs();

// Gives every definition without a material `material` (the registry's
// "GenericSubSys", or its error material). Definitions are read by the
// script set-up while the graphics start-up may still run on the main
// thread, so the session calls this once both are done.
void fillSubSystemAppearances(const irr::video::SMaterial* material);

// Reads one sub-system file into the registries, then finalises every
// definition not yet finalised.
void loadSubSystemDefs(const irr::core::stringc& path);
