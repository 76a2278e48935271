// Looking at the native function registries from outside, for the registry
// tests: their names, whether every entry has a value, whether the array
// still carries its sorted mark, and lookups of every name.
#pragma once

#include <irrArray.h>

#include <new>
#include <string>
#include <vector>

#include "design/effects/function_registries.h"

struct RegistryView {
  std::vector<std::wstring> names;  // in registry order
  bool everyValueSet = true;
  bool sortedFlag = true;
};

// Whether `registry` carries its sorted mark, which the array does not
// show: a copy keeps the mark; one entry whose name orders first is
// constructed after its last without touching the mark; sort() then moves
// it only when the mark is clear.
template <class Record>
bool carriesSortedMark(const irr::core::array<Record>& registry) {
  irr::core::array<Record> copy(registry);
  const irr::u32 used = copy.size();
  copy.reallocate(used + 1);
  new (copy.pointer() + used) Record();  // the empty name orders before every other
  copy.set_used(used + 1);
  copy.sort();
  return copy[used].name.size() == 0;
}

template <class Record>
RegistryView viewOf(const irr::core::array<Record>& registry) {
  RegistryView view;
  for (irr::u32 i = 0; i < registry.size(); ++i) {
    view.names.emplace_back(registry[i].name.c_str());
    view.everyValueSet = view.everyValueSet && registry[i].value != nullptr;
  }
  view.sortedFlag = carriesSortedMark(registry);
  return view;
}

inline RegistryView registryView(NativeRegistryKind kind) {
  switch (kind) {
    case NRK_EffectTemplate:
      return viewOf(templateFunctionRegistry());
    case NRK_EffectPlain:
      return viewOf(plainFunctionRegistry());
    case NRK_TargetFilter:
      return viewOf(targetFunctionRegistry());
    case NRK_StorageFilter:
      return viewOf(targetFunctionWithArgsRegistry());
    case NRK_Fire:
      return viewOf(fireFunctionRegistry());
    case NRK_ActivationMode:
      return viewOf(fireFunctionWithArgsRegistry());
    default:
      return viewOf(tickFunctionRegistry());
  }
}

// Looks up every built-in name of every registry, and a few that are in
// none, starting at a different name for each `round`; the number found.
inline size_t lookUpEveryName(unsigned round) {
  static const wchar_t* const kAbsent[] = {L"", L"addamount", L"Fire ", L"ZZZ", L"Aaa"};
  size_t found = 0;
  for (uint32_t k = 0; k < NRK_COUNT; ++k) {
    const auto kind = static_cast<NativeRegistryKind>(k);
    std::vector<std::wstring> names = builtinFunctionNames(kind);
    for (const wchar_t* absent : kAbsent)
      names.emplace_back(absent);
    for (size_t i = 0; i < names.size(); ++i) {
      const irr::core::stringw name(names[(i + round) % names.size()].c_str());
      switch (kind) {
        case NRK_EffectTemplate:
          found += findNativeFunction<const TemplateFuncEntry*>(templateFunctionRegistry(), name) != nullptr;
          break;
        case NRK_EffectPlain:
          found += findNativeFunction<const PlainFuncEntry*>(plainFunctionRegistry(), name) != nullptr;
          break;
        case NRK_TargetFilter:
          found += findNativeFunction<TargetFunction>(targetFunctionRegistry(), name) != nullptr;
          break;
        case NRK_StorageFilter:
          found +=
              findNativeFunction<const TargetFunctionWithArgsEntry*>(targetFunctionWithArgsRegistry(), name) != nullptr;
          break;
        case NRK_Fire:
          found += findNativeFunction<FireFunction>(fireFunctionRegistry(), name) != nullptr;
          break;
        case NRK_ActivationMode:
          found +=
              findNativeFunction<const FireFunctionWithArgsEntry*>(fireFunctionWithArgsRegistry(), name) != nullptr;
          break;
        default:
          found += findNativeFunction<FireFunction>(tickFunctionRegistry(), name) != nullptr;
          break;
      }
    }
  }
  return found;
}
