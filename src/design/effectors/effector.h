// Effectors at run time: an effector definition evaluated on a sub-system
// (`effector`), the small state its holder keeps per effector
// (`interactor_data`), the calls of a definition's functions (target
// filters and weights, the activation and tick functions), and firing,
// which hands the caused effects to the target as timed effects and queues
// a graphics call for the players.
#pragma once

#include <cstdint>

#include <irrArray.h>

#include "core/save_stream.h"

#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"

class formula;
class NameSpaces;
class SaveStream;

// The per-object run-time state of one effector (script type
// `EffectorState`): activation modes keep their countdown or charge in
// val1 and their pulse count in val2. The third word is unused (0).
class interactor_data {
 public:
  float val1 = 0.0f;
  float val2 = 0.0f;
  uint32_t word = 0;
};

// An effector attached to a sub-system definition: the definition and one
// value formula per value name (null until given). Owns its formulas.
struct effector_forms {
  explicit effector_forms(const effector_def* definition);
  ~effector_forms();
  effector_forms(const effector_forms&) = delete;
  effector_forms& operator=(const effector_forms&) = delete;

  const effector_def* def;
  irr::core::array<formula*> values;  // one per def->valueNames
};

// One caused effect of an instance: the value block handed to the target's
// addTimedEffect, and the duration.
struct EffectorEffectRecord {
  effect_data data;
  float duration = 0.0f;
};

// Save-stream errors of a stored instance.
constexpr SaveFileError kSaveErrorEffectorValues{5, "Invalid effector data - too small values list"};
constexpr SaveFileError kSaveErrorEffectorEffects{5, "Invalid effector data - too small effects list"};

// An effector definition evaluated for one sub-system (script type
// `Effector`); the sub-system instance owns it.
class effector {
 public:
  const effector_def* def = nullptr;
  float range = 1000.0f;  // "Range", 1000 without one
  float speed = 150.0f;   // "ProjectileSpeed", 150 without one
  irr::core::array<float> values;                 // one per def->valueNames
  irr::core::array<EffectorEffectRecord> effects;  // one per def->effects

  // Fills the instance from `source` against the sub-system's variables:
  // the values, then (with the values bound by name under the namespace
  // U+0001, the earlier binding restored afterwards) each caused effect's
  // duration and values, the range and the speed.
  void evaluate(const effector_forms& source, NameSpaces& variables);
  // The save and network form: range, speed, u16 value count, the values,
  // u16 caused-effect count, then per caused effect the duration and four
  // values (all little-endian floats).
  void write(SaveStream& stream) const;
  // Reads the form above for `definition`; throws SaveFileError on a short
  // stream or too few values or caused effects. Records beyond the
  // definition's caused effects are read and dropped.
  void read(const effector_def* definition, SaveStream& stream);

  // Runs an "OnFire" or "Tick" function entry for the event: a native (with
  // its arguments when it takes them) or a server-script function on the
  // calling thread's pooled contexts. Kind 0 does nothing.
  static void trigger(const EffectorFunctionRef& entry, EffectEvent* event, const effector* eff,
                      interactor_data* state);
};

// The value of a template argument for (event, effector, state): a
// resource's available amount on the event's object, a state value, an
// instance value, or the number.
float evaluateEffectorArg(const int_templateArg& arg, EffectEvent* event, const effector* eff,
                          const interactor_data* state);

// One target-function entry for (source, target, effector): kind 0 gives 1.
float callTargetFunction(const TargetWeigher& entry, const generic_object* source, const generic_object* target,
                         const effector* eff);
// True when every "CanAttack" entry gives above 0 (an empty list accepts).
bool effectorCanTarget(const effector_def* def, const generic_object* source, const generic_object* target,
                       const effector* eff);
// The product of the "AutoAttack" weights; 0 for a null object or a refused
// target; an empty list weighs 1, or 0 with `zeroWithoutWeights`.
float effectorTargetWeight(const effector_def* def, const generic_object* source, const generic_object* target,
                           const effector* eff, bool zeroWithoutWeights);

// Fires `eff` (of `def`) for the event: the event's object is the source,
// its target the target. Gives the caused effects to the target (or, for an
// area effect, to the objects around the source in its star system) by
// physical type, and queues the graphics call.
void fireEffector(EffectEvent* event, const effector_def* def, const effector* eff);
