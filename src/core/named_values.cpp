#include "core/named_values.h"

#include <atomic>

namespace {

// Stamps are handed out once each, so a stamp names one set in one state even
// after the set is gone and another takes its address.
std::atomic<uint64_t> lastStamp{0};

}  // namespace

void LookupTrace::clear() {
  sets.clear();
  copies.clear();
  untracked = false;
}

void LookupTrace::note(const NamedList& set) {
  if (set.stamp() == 0)
    untracked = true;
  for (const Entry& entry : sets)
    if (entry.set == &set)
      return;
  sets.push_back({&set, set.stamp()});
}

const float* LookupTrace::keep(float value) {
  copies.push_back(value);
  return &copies.back();
}

const float* NamedList::locate(const irr::core::stringw& name, LookupTrace& trace) {
  trace.note(*this);
  trace.untracked = true;
  float value;
  return get(name, value) ? trace.keep(value) : nullptr;
}

void NamedList::touch() { stamp_ = lastStamp.fetch_add(1, std::memory_order_relaxed) + 1; }

NamedValues::NamedValues() { touch(); }

NamedValues::NamedValues(const NamedValues& other) : NamedList(), vars_(other.vars_) { touch(); }

NamedValues& NamedValues::operator=(const NamedValues& other) {
  if (this != &other) {
    vars_ = other.vars_;
    touch();
  }
  return *this;
}

// The registry only grows through getOrAdd, so it is always in name order
// and readers search it without the sort check (which writes its flag).
bool NamedValues::get(const irr::core::stringw& name, float& value) {
  const irr::s32 index = NamedVar<float>::findNoSort(vars_, name);
  if (index < 0)
    return false;
  value = vars_[index].value;
  return true;
}

void NamedValues::addDefault(const irr::core::stringw& name, float value) {
  if (NamedVar<float>::find(vars_, name) >= 0)
    return;
  NamedVar<float>::getOrAdd(vars_, name).value = value;
  touch();
}

void NamedValues::set(const irr::core::stringw& name, float value) {
  const irr::s32 index = NamedVar<float>::find(vars_, name);
  if (index >= 0) {
    vars_[index].value = value;  // in place: the names are unchanged
    return;
  }
  NamedVar<float>::getOrAdd(vars_, name).value = value;
  touch();
}

const float* NamedValues::locate(const irr::core::stringw& name, LookupTrace& trace) {
  const irr::s32 index = NamedVar<float>::findNoSort(vars_, name);
  trace.note(*this);
  return index >= 0 ? &vars_[index].value : nullptr;
}

bool NameSpaces::get(const irr::core::stringw& name, float& value) {
  for (irr::u32 i = 0; i < spaces_.size(); ++i)
    if (spaces_[i].value != nullptr && spaces_[i].value->get(name, value))
      return true;
  return false;
}

const float* NameSpaces::locate(const irr::core::stringw& name, LookupTrace& trace) {
  trace.note(*this);
  for (irr::u32 i = 0; i < spaces_.size(); ++i) {
    if (spaces_[i].value == nullptr)
      continue;
    if (const float* place = spaces_[i].value->locate(name, trace))
      return place;
  }
  return nullptr;
}

irr::s32 NameSpaces::setSpace(NamedValues* set, const irr::core::stringw& name) {
  using Space = NamedVar<NamedValues*>;
  const irr::s32 index = Space::find(spaces_, name);
  if (set == nullptr) {
    if (index >= 0) {
      spaces_.erase(static_cast<irr::u32>(index));
      touch();
    }
    return -1;
  }
  if (index >= 0) {
    if (spaces_[index].value != set) {
      spaces_[index].value = set;
      touch();
    }
    return index;
  }
  // Appended, then sorted at once, so the registry is always in name order.
  spaces_.push_back(Space(name, set));
  if (spaces_.size() >= 2)
    spaces_.sort();
  else
    spaces_.set_sorted(true);
  touch();
  return Space::find(spaces_, name);
}

NamedValues* NameSpaces::findSpace(const irr::core::stringw& name) const {
  const irr::s32 index = NamedVar<NamedValues*>::findNoSort(spaces_, name);
  return index >= 0 ? spaces_[index].value : nullptr;
}

NamedVar<float>::Registry gameSettings;

float getGameSetting(const irr::core::stringw& name, float fallback) {
  const irr::s32 index = NamedVar<float>::find(gameSettings, name);
  return index >= 0 ? gameSettings[index].value : fallback;
}

void setGameSetting(const irr::core::stringw& name, float value) {
  NamedVar<float>::getOrAdd(gameSettings, name).value = value;
}
