// Finding effect functions by name and building their arguments, for the
// effect function tests.
#pragma once

#include <vector>

#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"

// Template arguments holding `values`, each a "Number".
inline TemplateArgList numbers(const std::vector<float>& values) {
  TemplateArgList list;
  for (float value : values) {
    templateArg arg{};
    arg.kind = TAK_Number;
    arg.value.number = value;
    list.push_back(arg);
  }
  return list;
}

// The registered template function `name`, or null.
inline const TemplateFuncEntry* templateFunction(const wchar_t* name) {
  registerNativeFunctions();
  auto& registry = templateFunctionRegistry();
  const irr::s32 index = NamedVar<const TemplateFuncEntry*>::findNoSort(registry, name);
  return index < 0 ? nullptr : registry[index].value;
}
