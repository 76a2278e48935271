#include "design/base/numbers.h"

uint32_t parseWideInteger(const irr::core::stringw& text) {
  bool negative;
  return readWholeNumber<uint32_t>(text.c_str(), text.size(), negative);
}
