#include "core/names.h"

#include "core/text_trim.h"
#include "core/utf16.h"
#include "design/base/numbers.h"

namespace {

// True for a value that UTF-16 writes as one code unit equal to itself.
inline bool isSingleUnit(uint32_t c) { return c < 0xD800 || (c >= 0xE000 && c <= 0xFFFF); }

}  // namespace

int compareNames(const irr::core::stringw& a, const irr::core::stringw& b) {
  const wchar_t* pa = a.c_str();
  const wchar_t* pb = b.c_str();
  const irr::u32 la = a.size();
  const irr::u32 lb = b.size();
  const irr::u32 common = la < lb ? la : lb;
  irr::u32 i = 0;
  while (i < common && pa[i] == pb[i])
    ++i;
  if (i == la && i == lb)
    return 0;

  const uint32_t ca = i < la ? static_cast<uint32_t>(pa[i]) : 0;
  const uint32_t cb = i < lb ? static_cast<uint32_t>(pb[i]) : 0;
  if (ca != cb && isSingleUnit(ca) && isSingleUnit(cb))
    return ca < cb ? -1 : 1;  // the usual case: one code unit each

  // Compare the UTF-16 forms of the rest, the end counting as 0.
  Utf16Units ua(pa + i, pa + la);
  Utf16Units ub(pb + i, pb + lb);
  for (;;) {
    const int32_t x = ua.next();
    const int32_t y = ub.next();
    if (x < 0 && y < 0)
      break;
    const int32_t ux = x < 0 ? 0 : x;
    const int32_t uy = y < 0 ? 0 : y;
    if (ux != uy)
      return ux < uy ? -1 : 1;
  }
  // Same UTF-16 form, different texts: order by the raw values.
  if (i == la)
    return -1;
  if (i == lb)
    return 1;
  return static_cast<uint32_t>(pa[i]) < static_cast<uint32_t>(pb[i]) ? -1 : 1;
}

int compareNames(const irr::core::stringc& a, const irr::core::stringc& b) {
  const irr::u32 la = a.size();
  const irr::u32 lb = b.size();
  const irr::u32 longer = la > lb ? la : lb;
  for (irr::u32 i = 0; i < longer; ++i) {
    const int ca = i < la ? static_cast<signed char>(a[i]) : 0;
    const int cb = i < lb ? static_cast<signed char>(b[i]) : 0;
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  if (la == lb)
    return 0;
  return la < lb ? -1 : 1;
}

irr::u32 splitQuoted(const irr::core::stringw& text, wchar_t separator,
                     irr::core::array<irr::core::stringw>& out, bool trim) {
  out.clear();
  const wchar_t* chars = text.c_str();
  const irr::u32 length = text.size();
  irr::u32 start = 0;
  while (start < length) {
    irr::u32 end = start;  // the piece is [start, end)
    while (end < length && chars[end] != separator && chars[end] != L'"')
      ++end;
    if (end < length && chars[end] == L'"') {
      ++end;
      while (end < length && chars[end] != L'"')
        ++end;
    }
    irr::u32 begin = start;
    irr::u32 last = end;
    if (trim)
      trimRange(chars, begin, last);
    if (last > begin)
      out.push_back(irr::core::stringw(chars + begin, last - begin));
    start = end + 1;  // past the separator or the closing quote
  }
  return out.size();
}

irr::core::stringw unquoteString(const irr::core::stringw& text) {
  const irr::u32 length = text.size();
  if (length < 2 || text[0] != L'"')
    return text;
  const irr::u32 kept = text[length - 1] == L'"' ? length - 2 : length - 1;
  return irr::core::stringw(text.c_str() + 1, kept);
}

std::string wideToStdString(const wchar_t* text) {
  std::string narrow;
  if (!text)
    return narrow;
  for (; *text; ++text)
    narrow += static_cast<char>(static_cast<uint32_t>(*text) & 0xFF);
  return narrow;
}

int32_t wideStringToInt(const irr::core::stringw& text) {
  return readSignedWholeNumber(text.c_str(), text.size());
}
