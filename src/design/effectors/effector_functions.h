// The native effector functions (effector_functions.cpp), as the entries
// that registerNativeFunctions (function_registries.h) enters in the
// registries by name.
#pragma once

#include "design/effects/function_registries.h"

namespace effector_natives {

// Target filters: 1 or 0 for (source, target).
extern const TargetFunction kCanAttack, kEnemy, kFriendly, kNotFriendly, kUnowned, kAny, kIsPlanet, kIsShip,
    kEmptyPlanet, kDisabledShip;
// Storage filters: one resource parameter, with checker.
extern const TargetFunctionWithArgsEntry kCanStore, kCanTransfer;
// Fire function.
extern const FireFunction kFire;
// Activation modes, with checker.
extern const FireFunctionWithArgsEntry kTimed, kTimedShot, kCharged, kMultiPulse, kMultiPulseCost;
// Reload function.
extern const FireFunction kReload;

}  // namespace effector_natives
