#include "design/base/text_markers.h"

#include <string>

void expandTabMarkers(irr::core::stringw& text) {
  const irr::u32 length = text.size();
  const wchar_t* chars = text.c_str();
  irr::u32 i = 0;
  while (i < length && chars[i] != L'\\')
    ++i;
  if (i == length)
    return;  // nothing to decode: most texts stay as they are

  std::wstring decoded(chars, i);
  decoded.reserve(length + 8);
  while (i < length) {
    const wchar_t c = chars[i];
    if (c != L'\\' || i + 1 == length) {
      decoded += c;
      ++i;
      continue;
    }
    const wchar_t escaped = chars[i + 1];
    if (escaped == L'n')
      decoded += L'\n';
    else if (escaped == L'r')
      decoded += L'\r';
    else if (escaped == L't')
      decoded += L"#tab#";
    else
      decoded += escaped;
    i += 2;
  }
  text = irr::core::stringw(decoded.data(), static_cast<irr::u32>(decoded.size()));
}
