// The named resource states of a game object: stocks of a resource with a
// current value and a capacity ("Damage", "Fuel", trade goods).
//
// Each object keeps its states in a list ordered by name (16-bit code units,
// a prefix before the longer name), sorted lazily before a lookup. The list
// holds pointers to entries that never move while their object lives, so a
// pointer to a state (an effect's, a script's handle) stays valid however
// many states are added after it.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"

struct cargoData;
class generic_object;

struct storedAmount {
  float val = 0.0f;       // current amount
  float max = 0.0f;       // capacity
  float required = 0.0f;  // amount reserved
  float inCargo = 0.0f;   // extra amount held in the object's cargo space
  const cargoData* resource = nullptr;
};

// A state: its pooled name and its amounts.
using State = PtrNamedVar<storedAmount>;
// An object's states, ordered by name (sorted on demand; the array's sorted
// mark says whether it is).
using StateList = irr::core::array<State*>;

// The engine's heap sort compares elements with operator<, which for the
// list's pointers would order them by address. A state list is ordered by
// the names the pointers lead to, so the sort's one comparing step is given
// that order here: StateList::sort(), as findStateIndex calls it, then
// orders by name and sets the sorted mark.
namespace irr {
namespace core {
template <>
inline void heapsink<State*>(State** array, s32 element, s32 max) {
  const auto before = [](const State* a, const State* b) {
    return compareNames(a->entryName(), b->entryName()) < 0;
  };
  while ((element << 1) < max) {
    s32 child = element << 1;
    if (child + 1 < max && before(array[child], array[child + 1]))
      ++child;
    if (!before(array[element], array[child]))
      return;
    State* moved = array[child];
    array[child] = array[element];
    array[element] = moved;
    element = child;
  }
}
}  // namespace core
}  // namespace irr

// Index of the state named `name`, or -1. Sorts the list first when it is
// not marked sorted.
irr::s32 findStateIndex(StateList& states, const irr::core::stringw& name);
// The state named `name`, inserted at its place when absent (name pooled in
// the common string list, values 0, the default resource definition).
State* addObjectState(StateList& states, const irr::core::stringw& name);
// As addObjectState on the object's list; an addition raises the object's
// `statesChanged` (254 wraps to 0) and takes the resource of that name.
State* getOrAddObjectState(generic_object* object, const irr::core::stringw& name);
// The state named `name`, or null (nothing added).
State* findObjectState(generic_object* object, const irr::core::stringw& name);
// Frees every entry of the list and empties it (the object is going).
void clearObjectStates(StateList& states);

// Adds `amount` up to the state's maximum; the overflow goes into the
// object's cargo space when the resource can be cargo, else it is lost
// (always without an object).
void addToState(State& state, generic_object* object, float amount);
// Takes `amount`, from the cargo first; `val` may become negative. Without
// an object, the state's amounts change but no hold's count does.
void consumeFromState(State& state, generic_object* object, float amount);

// val + inCargo - required.
float getAvailable(const State& state);
// max - val.
float getFreeSpace(const State& state);
// max - val, plus the object's free cargo space when the resource can be
// cargo and an object is given.
float getTotalFreeSpace(const State& state, const generic_object* object);
