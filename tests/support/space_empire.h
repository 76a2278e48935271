// The space empire (ID 255) of the tests, made as the special empires are:
// not valid, reserved, and in the global list without the registration step.
#pragma once

#include "empire/empire.h"

inline empire* registerSpaceEmpire() {
  auto* space = new empire;
  space->ID = kSpaceEmpireID;
  space->valid = false;
  space->reserved = true;
  registerEmpire(space, true);
  return space;
}
