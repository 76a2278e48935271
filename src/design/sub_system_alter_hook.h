// A sub-system alteration hook with its arguments evaluated: the script
// functions that change a sub-system's values when it is evaluated, in the
// mode form or the string form (negative ids when a form is absent).
#pragma once

#include <cstdint>
#include <vector>

struct SubSystemAlterHook {
  int32_t modeFunction = -1;
  int32_t stringFunction = -1;
  std::vector<float> arguments;
};
