#include "empire/setting_names.h"

#include "core/common_strings.h"
#include "core/locks.h"
#include "empire/empire.h"

using irr::core::stringw;

const stringw* SettingNameStore::hold(const stringw& text) {
  const auto found = names_.find(text);
  if (found != names_.end())
    return &*found;
  if (names_.size() >= kMaxNames)
    return nullptr;
  return &*names_.insert(text).first;
}

bool SettingNameStore::holds(const stringw* name) const {
  if (name == nullptr)
    return false;
  const auto found = names_.find(*name);
  return found != names_.end() && &*found == name;
}

float* settingFromPeer(empire* emp, const stringw& name, size_t limit) {
  const irr::s32 index = PtrNamedVar<float>::find(emp->settings, name);
  if (index >= 0)
    return &emp->settings[static_cast<irr::u32>(index)].value;
  if (emp->settings.size() >= limit)
    return nullptr;
  const stringw* owned = emp->settingNames.hold(name);
  if (owned == nullptr)
    return nullptr;
  return &PtrNamedVar<float>::getOrAdd(emp->settings, name, [owned](const stringw&) { return owned; }).value;
}

std::vector<stringw> savedSettingNames(const std::vector<empire*>& empires) {
  std::vector<stringw> names;
  for (empire* emp : empires) {
    if (emp == nullptr)
      continue;
    ScopedReadLock guard(emp->locks[EA_Settings]);
    for (irr::u32 i = 0; i < emp->settings.size(); ++i)
      if (emp->settingNames.holds(emp->settings[i].name))
        names.push_back(*emp->settings[i].name);
  }
  return names;
}
