#include "gfx/base/color.h"

#include <stdexcept>

namespace {

// Value of a hex digit, or -1.
int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'a' && c <= L'f')
    return c - L'a' + 10;
  if (c >= L'A' && c <= L'F')
    return c - L'A' + 10;
  return -1;
}

}  // namespace

irr::video::SColor parseHexColor(const irr::core::stringw& text) {
  const wchar_t* digits = text.c_str();
  irr::u32 count = text.size();
  if (count > 0 && digits[0] == L'#') {
    ++digits;
    --count;
  }

  int value[8];
  for (irr::u32 i = 0; i < count; ++i) {
    const int v = hexDigit(digits[i]);
    if (v < 0)
      throw std::invalid_argument("contained non-hex characters");
    if (i < 8)
      value[i] = v;
  }

  // One digit per channel stands for the high half of its byte.
  auto shortChannel = [&](int i) { return static_cast<irr::u32>(value[i] * 16); };
  auto channel = [&](int i) { return static_cast<irr::u32>(value[i] * 16 + value[i + 1]); };
  switch (count) {
    case 3:
      return irr::video::SColor(0xFF, shortChannel(0), shortChannel(1), shortChannel(2));
    case 4:
      return irr::video::SColor(shortChannel(0), shortChannel(1), shortChannel(2), shortChannel(3));
    case 6:
      return irr::video::SColor(0xFF, channel(0), channel(2), channel(4));
    case 8:
      return irr::video::SColor(channel(0), channel(2), channel(4), channel(6));
    default:
      throw std::invalid_argument("was not 3, 4, 6 or 8 characters long");
  }
}
