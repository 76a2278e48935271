#include "app/base/console_text.h"

#include <cstring>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Length of the valid UTF-8 sequence at `text` (with `available` bytes) and
// its value; 0 when the bytes there do not form one.
int decodeSequence(const unsigned char* text, std::size_t available, uint32_t& value) {
  const unsigned char lead = text[0];
  int length;
  uint32_t minimum;
  if (lead < 0x80) {
    value = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    minimum = 0x80;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    minimum = 0x800;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    minimum = 0x10000;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (available < static_cast<std::size_t>(length))
    return 0;
  for (int i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80)
      return 0;
    value = (value << 6) | (text[i] & 0x3F);
  }
  const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
  if (value < minimum || value > 0x10FFFF || surrogate)
    return 0;
  return length;
}

}  // namespace

irr::core::stringw wideFromUtf8(const char* text, std::size_t length) {
  irr::core::stringw result;
  result.reserve(static_cast<irr::u32>(length + 1));
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  std::size_t at = 0;
  while (at < length) {
    uint32_t value = 0;
    int used = decodeSequence(bytes + at, length - at, value);
    if (used == 0) {
      value = bytes[at];
      used = 1;
    }
    at += static_cast<std::size_t>(used);
    if (value != 0)
      result.append(static_cast<wchar_t>(value));
  }
  return result;
}

irr::core::stringw wideFromUtf8(const char* text) { return wideFromUtf8(text, std::strlen(text)); }

std::string utf8FromWide(const wchar_t* text, std::size_t length) {
  std::string result;
  result.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    uint32_t value = static_cast<uint32_t>(text[i]);
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
      value = kReplacement;
    if (value < 0x80) {
      result += static_cast<char>(value);
    } else if (value < 0x800) {
      result += static_cast<char>(0xC0 | (value >> 6));
      result += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
      result += static_cast<char>(0xE0 | (value >> 12));
      result += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (value & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (value >> 18));
      result += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (value & 0x3F));
    }
  }
  return result;
}
