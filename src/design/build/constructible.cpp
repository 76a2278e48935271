#include "design/build/constructible.h"

#include <algorithm>

#include "core/common_strings.h"
#include "core/save_stream.h"
#include "universe/objects/game_object.h"

namespace {

// Payment speed: a fully stocked builder pays 2.5 times the item's amounts
// per second; a short one still pays at least 5 % per second.
constexpr float kPayRate = 2.5f;
constexpr float kMinimumPayRate = 0.05f;

constexpr uint8_t kBaseItemRecordType = 0;

}  // namespace

const char* InvalidConstruct::what() const noexcept { return "invalid build queue item"; }

irr::s32 findNamedCost(constructible::CostList& list, const irr::core::stringw& name) {
  return PtrNamedVar<constructible::cost>::find(list, name);
}

// Calls visit(entry, remaining, state) for every cost still owed, in order,
// with the builder's state of that resource (null when it has none).
template <class Visit>
static void forEachUnpaid(constructible::CostList& costs, StateList& states, Visit visit) {
  for (irr::u32 i = 0; i < costs.size(); ++i) {
    constructible::cost& entry = costs[i].value;
    const float remaining = entry.amount - entry.paid;
    if (!(remaining > 0.0f))
      continue;
    const irr::s32 index = findStateIndex(states, costs[i].entryName());
    visit(entry, remaining, index < 0 ? nullptr : states[index]);
  }
}

bool constructible::payCosts(StateList& states, generic_object* builder, float seconds) {
  if (costs.size() == 0)
    return true;
  if (states.size() == 0)
    return false;

  // First pass: pay in full what the stocks cover, and find the share of
  // the rest that the shortest stock allows.
  float rate = kPayRate * seconds;
  bool isShort = false;
  forEachUnpaid(costs, states, [&](cost& entry, float remaining, State* state) {
    const float available = state != nullptr ? getAvailable(*state) : 0.0f;
    if (available <= 0.0f) {
      isShort = true;
      rate = 0.0f;
    } else if (available >= remaining) {
      entry.paid = entry.amount;
      consumeFromState(*state, builder, remaining);
    } else {
      isShort = true;
      rate = std::min(rate, available / remaining);
    }
  });
  if (!isShort)
    return true;

  // Second pass: every cost advances by that share, at least a minimum.
  rate = std::max(rate, kMinimumPayRate * seconds);
  bool done = true;
  forEachUnpaid(costs, states, [&](cost& entry, float remaining, State* state) {
    if (state == nullptr) {
      // Nothing is paid this step for the entries after a missing resource.
      done = false;
      rate = 0.0f;
      return;
    }
    const float available = getAvailable(*state);
    if (available <= 0.0f) {
      done = false;
      return;
    }
    const float take = std::min(entry.amount * rate, available);
    if (take < remaining) {
      entry.paid += take;
      consumeFromState(*state, builder, take);
      done = false;
    } else {
      entry.paid = entry.amount;
      consumeFromState(*state, builder, remaining);
    }
  });
  return done;
}

float constructible::getProgress() const {
  float paid = 0.0f;
  float total = 0.0f;
  for (irr::u32 i = 0; i < costs.size(); ++i) {
    paid += costs[i].value.paid;
    total += costs[i].value.amount;
  }
  return total > 0.0f ? paid / total : 0.0f;
}

void constructible::save(SaveStream& stream) const { stream.writeU8(kBaseItemRecordType); }

void constructible::addCost(const irr::core::stringw& name, float amount) {
  PtrNamedVar<cost>::getOrAdd(costs, name, internCommonString).value.amount += amount;
}

void constructible::saveCosts(SaveStream& stream) const {
  if (costs.size() > 0xFFFF)
    throw kSaveErrorTooManyEntries;
  stream.writeU16(static_cast<uint16_t>(costs.size()));
  for (irr::u32 i = 0; i < costs.size(); ++i) {
    saveCommonString(stream, costs[i].entryName());
    stream.writeFloat(costs[i].value.amount);
    stream.writeFloat(costs[i].value.paid);
  }
}

void constructible::loadCosts(SaveStream& stream) {
  const uint16_t count = stream.readU16();
  for (uint16_t i = 0; i < count; ++i) {
    const irr::core::stringw* name = readCommonString(stream);
    float amount = 0.0f;
    float paid = 0.0f;
    stream.readFloat2(amount, paid);
    cost& entry = PtrNamedVar<cost>::getOrAdd(costs, *name, internCommonString).value;
    entry.amount = amount;
    entry.paid = paid;
  }
}
