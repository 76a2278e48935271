#include "core/text_conversions.h"

#include <IGUIFont.h>

#include <cfloat>
#include <cmath>
#include <limits>

#include "core/text_trim.h"
#include "design/base/numbers.h"

namespace {

// A double kept as float; beyond the float range it becomes an infinity of
// its sign instead of an out-of-range conversion.
float keepAsFloat(double value) {
  if (value > FLT_MAX)
    return std::numeric_limits<float>::infinity();
  if (value < -FLT_MAX)
    return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

// A float holds about 7 significant digits. Once 10 are read, a further digit
// after the point would only move the decimal point, so it is dropped, neither
// taken nor counted as a place: taking them all would let a long "10.000..."
// or "0.333..." overflow to infinity before its places are divided off.
// Numbers of up to 10 significant digits take every digit, and "10.000..."
// stops at the exact float 1e9 with 8 places, so it reads as exactly 10.
constexpr uint32_t kSignificantDigits = 10;

template <class Char>
float readDecimal(const Char* text, irr::u32 length) {
  float value = 0.0f;
  uint32_t decimalPlaces = 0;
  uint32_t significantDigits = 0;  // digits taken since the first non-zero one
  bool negative = false;
  bool point = false;
  for (irr::u32 i = 0; i < length; ++i) {
    const Char c = text[i];
    if (c >= Char('0') && c <= Char('9')) {
      // Digits before the point always count, whatever their number.
      if (point && significantDigits >= kSignificantDigits)
        continue;
      value = keepAsFloat(static_cast<double>(value) * 10.0 + static_cast<double>(c - Char('0')));
      if (point)
        ++decimalPlaces;
      if (value != 0.0f)
        ++significantDigits;
    } else if (c == Char(',')) {
      continue;
    } else if (c == Char('-') && i == 0) {
      negative = true;
    } else if (c == Char('.') && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (negative)
    value = -value;
  // Zero and infinity no longer change, whatever the places left.
  for (; decimalPlaces > 0 && value != 0.0f && std::isfinite(value); --decimalPlaces)
    value = static_cast<float>(static_cast<double>(value) / 10.0);
  return value;
}

template <class String, class Char>
irr::u32 splitAt(const String& text, Char separator, irr::core::array<String>& out) {
  out.clear();
  const Char* chars = text.c_str();
  const irr::u32 length = text.size();
  irr::u32 start = 0;
  while (start <= length) {
    irr::u32 end = start;
    while (end < length && chars[end] != separator)
      ++end;
    irr::u32 begin = start;
    irr::u32 last = end;
    trimRange(chars, begin, last);
    if (last > begin)
      out.push_back(String(chars + begin, last - begin));
    start = end + 1;
  }
  return out.size();
}

irr::core::stringw toStringw(const std::wstring& text) {
  return irr::core::stringw(text.data(), static_cast<irr::u32>(text.size()));
}

}  // namespace

float stringToFloat(const irr::core::stringw& text) { return readDecimal(text.c_str(), text.size()); }

float narrowStringToFloat(const irr::core::stringc& text) { return readDecimal(text.c_str(), text.size()); }

int32_t stringToInt(const irr::core::stringc& text) { return readSignedWholeNumber(text.c_str(), text.size()); }

irr::u32 splitString(const irr::core::stringw& text, wchar_t separator, irr::core::array<irr::core::stringw>& out) {
  return splitAt(text, separator, out);
}

irr::u32 splitString(const irr::core::stringc& text, char separator, irr::core::array<irr::core::stringc>& out) {
  return splitAt(text, separator, out);
}

const wchar_t* standardizeNumber(double value, float& scaled) {
  static const wchar_t* const kLargeSuffixes[] = {L"",    L"k",   L"M",   L"G",   L"T",   L"e15",
                                                  L"e18", L"e21", L"e24", L"e27", L"e30", L"e33"};
  static const wchar_t* const kSmallSuffixes[] = {L"",     L"m",    L"u",    L"n",    L"p",    L"f",
                                                  L"e-18", L"e-21", L"e-24", L"e-27", L"e-30", L"e-33"};
  static const double kSteps[] = {1e0, 1e3, 1e6, 1e9, 1e12, 1e15, 1e18, 1e21, 1e24, 1e27, 1e30, 1e33};
  constexpr int kMaxStep = 11;

  if (!std::isfinite(value)) {
    scaled = static_cast<float>(value);  // infinity and NaN convert as they are
    return kLargeSuffixes[0];
  }
  const bool negative = value < 0.0;
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0)
    return kLargeSuffixes[0];

  // log10 of a finite, non-zero double lies within +-324.
  const int exponent = static_cast<int>(std::trunc(std::log10(magnitude)));
  int step = (exponent < 0 ? -exponent : exponent) / 3;
  if (step > kMaxStep)
    step = kMaxStep;
  const double stepped = exponent >= 0 ? magnitude / kSteps[step] : magnitude * kSteps[step];
  if (stepped > FLT_MAX) {
    scaled = keepAsFloat(value);
    return kLargeSuffixes[0];
  }
  scaled = static_cast<float>(negative ? -stepped : stepped);
  return exponent >= 0 ? kLargeSuffixes[step] : kSmallSuffixes[step];
}

void toRomanStd(unsigned number, std::wstring& out) {
  // Letters for one, five and ten of the hundreds, tens and units.
  static const wchar_t kLetters[3][3] = {{L'C', L'D', L'M'}, {L'X', L'L', L'C'}, {L'I', L'V', L'X'}};
  const unsigned digits[3] = {number / 100 % 10, number / 10 % 10, number % 10};
  out.clear();
  for (int place = 0; place < 3; ++place) {
    const unsigned d = digits[place];
    const wchar_t one = kLetters[place][0];
    const wchar_t five = kLetters[place][1];
    const wchar_t ten = kLetters[place][2];
    if (d == 9) {
      out += one;
      out += ten;
    } else if (d == 4) {
      out += one;
      out += five;
    } else {
      if (d >= 5)
        out += five;
      out.append(d % 5, one);
    }
  }
}

void toRoman(unsigned number, irr::core::stringw& out) {
  std::wstring numeral;
  toRomanStd(number, numeral);
  out = toStringw(numeral);
}

irr::core::stringw escapeHashes(const irr::core::stringw& text) {
  std::wstring escaped;
  escaped.reserve(text.size() + 8);
  for (irr::u32 i = 0; i < text.size(); ++i) {
    if (text[i] == L'#')
      escaped += L'#';
    escaped += text[i];
  }
  return toStringw(escaped);
}

irr::core::stringw unescapeHashes(irr::u32 start, const irr::core::stringw& text) {
  const irr::u32 length = text.size();
  std::wstring plain;
  plain.reserve(length);
  for (irr::u32 i = 0; i < length; ++i) {
    plain += text[i];
    if (i >= start && text[i] == L'#' && i + 1 < length && text[i + 1] == L'#')
      ++i;
  }
  return toStringw(plain);
}

bool fitStringToPixels(const irr::core::stringw& text, irr::gui::IGUIFont* font, irr::u32 width,
                       irr::core::stringw& out, irr::core::stringw* remainder, const irr::core::stringw* suffix) {
  static const irr::core::stringw kNoSuffix;
  const irr::core::stringw& tail = suffix ? *suffix : kNoSuffix;
  out = L"";
  if (remainder)
    *remainder = L"";
  if (text.size() == 0)
    return false;

  auto charWidth = [font](wchar_t c) {
    const wchar_t single[2] = {c, 0};
    return font->getDimension(single).Width;
  };
  if (font) {
    irr::u32 left = width;
    for (irr::u32 i = 0; i < tail.size(); ++i) {
      const irr::u32 w = charWidth(tail[i]);
      if (w > left) {
        out = tail.subString(0, static_cast<irr::s32>(i));
        if (remainder)
          *remainder = text;
        return true;
      }
      left -= w;
    }
    for (irr::u32 i = 0; i < text.size(); ++i) {
      const irr::u32 w = charWidth(text[i]);
      if (w > left) {
        out = text.subString(0, static_cast<irr::s32>(i));
        out += tail;
        if (remainder)
          *remainder = text.subString(i, static_cast<irr::s32>(text.size() - i));
        return true;
      }
      left -= w;
    }
  }
  out = text;
  out += tail;
  return false;
}
