#include "universe/objects/object_states.h"

#include <new>

#include "core/block_pool.h"
#include "core/common_strings.h"
#include "core/locks.h"
#include "design/effects/resources.h"
#include "universe/objects/game_object.h"

using irr::core::stringw;

namespace {

// States are made with their objects and live as long as they do; each is
// allocated on its own so that it never moves.
constexpr uint16_t kStatesPerBlock = 1024;

// Cargo is used up whole only when it does not exceed the amount by more
// than this factor, and overflow is stored only when the hold has more than
// this factor of room, so rounding never leaves crumbs behind.
constexpr float kCargoSlack = 1.0001f;

// The pool and its lock live until the program ends: objects may still
// release their states while static objects are being destroyed.
BlockPool& statePool() {
  static BlockPool* pool = new BlockPool(sizeof(State), kStatesPerBlock, true);
  return *pool;
}

Mutex& statePoolLock() {
  static Mutex* lock = createMutex();
  return *lock;
}

State* newState(const stringw& name) {
  const stringw* pooledName = internCommonString(name);
  void* memory;
  {
    MutexGuard guard(statePoolLock());
    memory = statePool().allocate(sizeof(State));
  }
  storedAmount amounts;
  amounts.resource = defaultResource();
  return new (memory) State(pooledName, amounts);
}

void deleteState(State* state) {
  state->~State();
  MutexGuard guard(statePoolLock());
  statePool().free(state);
}

// Where a halving search over a non-empty list ended: the index of the name
// when found, else the last index probed (a neighbour of its place).
struct Probe {
  irr::s32 index;
  bool found;
};

Probe probeStates(const StateList& states, const stringw& name) {
  irr::s32 low = 0;
  irr::s32 high = static_cast<irr::s32>(states.size()) - 1;
  irr::s32 middle = 0;
  while (low <= high) {
    middle = (low + high) / 2;
    const int order = compareNames(name, states[middle]->entryName());
    if (order == 0)
      return {middle, true};
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return {middle, false};
}

bool canBeCargo(const State& state) {
  return state.value.resource != nullptr && state.value.resource->canBeCargo;
}

}  // namespace

irr::s32 findStateIndex(StateList& states, const stringw& name) {
  if (states.size() == 0)
    return -1;
  states.sort();  // by name (see heapsink<State*>), unless marked sorted
  const Probe probe = probeStates(states, name);
  return probe.found ? probe.index : -1;
}

State* addObjectState(StateList& states, const stringw& name) {
  if (states.size() == 0) {
    State* state = newState(name);
    states.push_back(state);
    states.set_sorted(true);
    return state;
  }
  states.sort();
  const Probe probe = probeStates(states, name);
  if (probe.found)
    return states[probe.index];
  irr::u32 place = static_cast<irr::u32>(probe.index);
  if (compareNames(states[place]->entryName(), name) < 0)
    ++place;
  State* state = newState(name);
  states.insert(state, place);
  states.set_sorted(true);
  return state;
}

State* getOrAddObjectState(generic_object* object, const stringw& name) {
  if (object == nullptr)
    return nullptr;
  StateList& states = object->states;
  const irr::u32 before = states.size();
  State* state = addObjectState(states, name);
  if (states.size() != before) {
    // An 8-bit count of additions that skips 255.
    object->statesChanged = object->statesChanged >= 254 ? 0 : object->statesChanged + 1;
    if (const cargoData* resource = findResource(name))
      state->value.resource = resource;
  }
  return state;
}

State* findObjectState(generic_object* object, const stringw& name) {
  if (object == nullptr)
    return nullptr;
  const irr::s32 index = findStateIndex(object->states, name);
  return index < 0 ? nullptr : object->states[index];
}

void clearObjectStates(StateList& states) {
  for (irr::u32 i = 0; i < states.size(); ++i)
    deleteState(states[i]);
  states.clear();
}

void addToState(State& state, generic_object* object, float amount) {
  storedAmount& stock = state.value;
  const float room = stock.max - stock.val;
  if (room >= amount) {
    stock.val += amount;
    return;
  }
  stock.val = stock.max;
  if (!canBeCargo(state) || object == nullptr)
    return;  // the overflow is lost
  const float overflow = amount - room;
  const float freeCargo = object->cargoSpace - object->cargoUsed;
  if (freeCargo > overflow * kCargoSlack) {
    object->cargoUsed += overflow;
    stock.inCargo += overflow;
  } else {
    object->cargoUsed = object->cargoSpace;
    stock.inCargo += freeCargo;
  }
}

void consumeFromState(State& state, generic_object* object, float amount) {
  storedAmount& stock = state.value;
  if (stock.inCargo > 0.0f) {
    if (stock.inCargo > amount * kCargoSlack) {
      stock.inCargo -= amount;
      if (object != nullptr)
        object->cargoUsed -= amount;
      return;
    }
    if (object != nullptr)
      object->cargoUsed -= stock.inCargo;
    amount -= stock.inCargo;
    stock.inCargo = 0.0f;
  }
  stock.val -= amount;
}

float getAvailable(const State& state) { return state.value.val + state.value.inCargo - state.value.required; }

float getFreeSpace(const State& state) { return state.value.max - state.value.val; }

float getTotalFreeSpace(const State& state, const generic_object* object) {
  float space = getFreeSpace(state);
  if (object != nullptr && canBeCargo(state))
    space += object->cargoSpace - object->cargoUsed;
  return space;
}
