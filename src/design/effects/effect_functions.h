// The native effect functions: the verbs that effect hooks name. They move
// resources in and out of an object's resource states, change its cargo and
// dock capacity, destroy it, or skip an event.
//
// The functions live in three files: effect_functions.cpp (resources,
// capacities, research, Death and Skip), movement_functions.cpp (thrust)
// and planet_functions.cpp (population limits, repair). Each gives its
// entries below; registerNativeFunctions (function_registries.h) enters them
// in the registries by name.
#pragma once

#include "design/effects/effects.h"
#include "universe/objects/object_states.h"

namespace effect_natives {

// With parameters, each {apply, checker}.
extern const TemplateFuncEntry kAddAmount, kSubAmount, kAddRequire, kSubRequire, kAddMax, kSubMax;
extern const TemplateFuncEntry kAddMaxPop, kSubMaxPop, kRepair;  // planet_functions.cpp
extern const TemplateFuncEntry kIncSpeed, kDecSpeed;             // movement_functions.cpp
extern const TemplateFuncEntry kAddCargoSpace, kSubCargoSpace, kAddShipSpace, kSubShipSpace;
extern const TemplateFuncEntry kIncResearch, kDecResearch;
extern const TemplateFuncEntry kGenerate, kGenerateNoCargo, kDrain, kProduce, kProduceNoCargo;
// Without parameters.
extern const PlainFuncEntry kDeath, kSkip;

}  // namespace effect_natives

// Takes `amount` from the state on `object`: from its cargo first (all of
// it from there when the cargo holds more than the amount, with a little
// slack), the rest from `val`, which may go negative. The activation
// functions of effectors pay their ammunition this way too.
void takeResource(State& state, generic_object& object, float amount);
