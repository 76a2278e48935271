// Effector definitions: the weapons and tools that sub-systems carry, as
// designers write them in "Game Data/Effectors/". A definition says what the
// effector may target and how it weighs a target (lists of target
// functions), when it fires and reloads (its "OnFire" and "Tick" functions),
// its physical type, range and projectile speed, and which effects it causes
// on its target. Functions are natives of the registries
// (function_registries.h) or server-script functions.
//
// The definitions live from the session's data loading until clearEffectors
// at its end; each has an id from a counter that starts at 0 per session and
// is its identity on the network.
#pragma once

#include <cstdint>
#include <map>

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"
#include "design/effects/function_registries.h"

namespace AngelScript {
class asIScriptFunction;
}
class effect_handler;
class effector;
class EffectEvent;
class formula;
class generic_object;
class interactor_data;

// Kinds of an effector function's template argument, with the names that
// messages use for them.
enum EffectorArgKind : uint32_t {
  EAK_String = 0,       // "string": a resource name (an interned string)
  EAK_ValueIndex = 1,   // "value index": a float of the effector state
  EAK_StateIndex = 2,   // "state index": a value of the effector instance
  EAK_StaticValue = 3,  // "static value": a number
};
const char* effectorArgKindName(uint32_t kind);

// One template argument. The value is pointer-sized: a "string" holds a
// pointer into the common string list.
struct int_templateArg {
  union {
    const irr::core::stringw* string;
    uint32_t index;
    float number;
    uintptr_t raw;
  } value{};
  uint32_t kind = EAK_StaticValue;
};
// The native effector functions (TargetFunction, FireFunction and those
// with arguments) and their registries: function_registries.h.

// Kinds of a function reference.
enum EffectorFunctionKind : uint8_t {
  EFK_None = 0,
  EFK_Native = 1,
  EFK_NativeWithArgs = 3,  // bit 0: native, bit 1: takes the argument array
  EFK_Script = 4,
};

// A function reference of a definition: an element of "CanAttack" or
// "AutoAttack", or the "OnFire" or "Tick" function. Script functions are
// held without a reference: their engine outlives the definitions' use.
struct TargetWeigher {
  union {
    TargetFunction target;
    TargetFunctionWithArgs targetWithArgs;
    FireFunction fire;
    FireFunctionWithArgs fireWithArgs;
    AngelScript::asIScriptFunction* script;
  } function{};
  uint8_t kind = EFK_None;
  EffectorArgList args;
};
using EffectorFunctionRef = TargetWeigher;

// Physical types of effectors, by the words of the files.
enum EffectorPhysicalType : uint32_t {
  EPT_Instant = 0,
  EPT_Beam = 1,
  EPT_Bullet = 2,
  EPT_Missile = 3,
  EPT_AreaOfEffect = 4,
};

class effector_def;

// How the clients show a firing. The files' graphics keys are accepted and
// ignored, so the record keeps its defaults; the material stays empty until
// graphics resources exist.
struct EffectorGfxSettings {
  explicit EffectorGfxSettings(const effector_def* owner) : def(owner) {}
  const effector_def* def;
  irr::core::stringw material;
  float size = 1.0f;
  uint32_t color = 0xFFFFFFFFu;
  irr::core::stringw hitParticles;
  irr::core::stringw fireParticles;
  irr::core::stringw sound;
};

class effector_def {
 public:
  // One caused effect: the effect, a formula per value slot (null where the
  // with-list assigned none) and the duration.
  struct effector_effect {
    ~effector_effect();
    const effect_handler* effect = nullptr;
    formula* values[4] = {nullptr, nullptr, nullptr, nullptr};
    formula* duration = nullptr;
  };

  explicit effector_def(uint32_t definitionId);
  ~effector_def();
  effector_def(const effector_def&) = delete;
  effector_def& operator=(const effector_def&) = delete;

  uint32_t id;
  irr::core::array<TargetWeigher> autoAttack;
  irr::core::array<TargetWeigher> canAttack;
  EffectorFunctionRef onFire;
  EffectorFunctionRef tick;
  bool isWeapon = true;
  uint32_t physicalType = EPT_Instant;
  EffectorGfxSettings gfx;
  // Pooled names of the "Value" lines, in file order: their positions are
  // the value indices.
  irr::core::array<const irr::core::stringw*> valueNames;
  irr::core::array<effector_effect*> effects;
  formula* range = nullptr;
  formula* projectileSpeed = nullptr;
};

// The effector registry: name -> definition (owns the definitions).
NamedVar<effector_def*>::Registry& effectorRegistry();
// The definition named `name`, or null.
effector_def* findEffector(const irr::core::stringw& name);
// The definition of an id, or null.
effector_def* findEffectorById(uint32_t id);
// The id the next definition takes.
uint32_t nextEffectorId();
// Makes a definition with the next id and default fields and enters it in
// both registries under `name` (which the caller has checked is free).
effector_def* addEffectorDef(const irr::core::stringw& name);
// Appends the pooled copy of `name` to the definition's value names unless
// an equal name is there already; true when it was added.
bool addEffectorValueName(effector_def& def, const irr::core::stringw& name);

// The effect named `name`, or null.
effect_handler* findEffect(const irr::core::stringw& name);

// Reads one effector file into the registries; problems are logged with
// the file and line, and the reading goes on.
void loadEffectors(const irr::core::stringc& path);
// Deletes every definition, empties both registries and sets the id
// counter back to 0 (session end).
void clearEffectors();
