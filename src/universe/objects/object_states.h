// The named resource states of a game object: stocks of a resource with a
// current value and a capacity ("Damage", "Fuel", trade goods), kept in an
// engine array ordered by name and sorted lazily before a lookup.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"

struct cargoData;

struct storedAmount {
  float val = 0.0f;       // current amount
  float max = 0.0f;       // capacity
  float required = 0.0f;  // amount reserved
  float inCargo = 0.0f;   // extra amount held in the object's cargo space
  const cargoData* resource = nullptr;
};

// A state: its pooled name and its amounts.
using State = PtrNamedVar<storedAmount>;
using StateList = irr::core::array<State>;

// Index of the state named `name`, or -1. Sorts the list first when it is
// not marked sorted.
inline irr::s32 findStateIndex(StateList& states, const irr::core::stringw& name) {
  return State::find(states, name);
}
