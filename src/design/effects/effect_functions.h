// The native effect functions: the verbs that effect hooks name. They move
// resources in and out of an object's resource states, change its cargo and
// dock capacity, destroy it, or skip an event.
//
// Each function registers itself by name in the template-function or the
// plain-function registry (effects.h) from a static initialiser, so there is
// nothing to call to fill the registries. The design library is a static
// archive, though, and the linker keeps only the files something refers
// to: a program that binds effect hooks calls linkEffectFunctions once (it
// does nothing) so that the registrations come along.
#pragma once

#include "universe/objects/object_states.h"

void linkEffectFunctions();
// The same for the functions that change an object's thrust
// (movement_functions.cpp); linkEffectFunctions calls it.
void linkMovementFunctions();
// The same for the functions that change planets' population limits and
// repair planets (planet_functions.cpp).
void linkPlanetFunctions();

// Takes `amount` from the state on `object`: from its cargo first (all of
// it from there when the cargo holds more than the amount, with a little
// slack), the rest from `val`, which may go negative. The activation
// functions of effectors pay their ammunition this way too.
void takeResource(State& state, generic_object& object, float amount);
