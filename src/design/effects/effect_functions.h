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

void linkEffectFunctions();
// The same for the functions that change an object's thrust
// (movement_functions.cpp); linkEffectFunctions calls it.
void linkMovementFunctions();
// The same for the functions that change planets' population limits and
// repair planets (planet_functions.cpp).
void linkPlanetFunctions();
