// Whole-number readers for text typed by people: data files, settings,
// console arguments.
//
// Every reader in the server takes the same characters: decimal digits
// accumulate, '.' and ',' are skipped (thousands separators and stray
// decimal points are read through), a '-' counts only as the very first
// character, and any other character ends the number. The readers differ on
// purpose in what they do with the '-' and in the width they wrap at; each
// keeps its own rule on top of readWholeNumber.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

// Reads the digits of `text` (`length` characters) into an unsigned
// accumulator of type Unsigned, which wraps like every unsigned type.
// `negative` tells whether the text began with '-'; the value itself is
// never negated here.
template <class Unsigned, class Char>
Unsigned readWholeNumber(const Char* text, std::size_t length, bool& negative) {
  static_assert(std::is_unsigned<Unsigned>::value, "the accumulator wraps");
  Unsigned value = 0;
  negative = false;
  for (std::size_t i = 0; i < length; ++i) {
    const Char c = text[i];
    if (c >= Char('0') && c <= Char('9')) {
      value = static_cast<Unsigned>(value * 10u + static_cast<unsigned>(c - Char('0')));
    } else if (c == Char('.') || c == Char(',')) {
      continue;
    } else if (c == Char('-') && i == 0) {
      negative = true;
    } else {
      break;
    }
  }
  return value;
}

// Reads a signed whole number: a leading '-' negates it. Wraps at 32 bits.
template <class Char>
int32_t readSignedWholeNumber(const Char* text, std::size_t length) {
  bool negative;
  uint32_t value = readWholeNumber<uint32_t>(text, length, negative);
  if (negative)
    value = 0u - value;
  return static_cast<int32_t>(value);  // two's complement, as every reader wraps
}

// Reads an unsigned whole number; a leading '-' is read over and does not
// change the value ("-12" gives 12). Wraps at 32 bits. Empty text gives 0.
uint32_t parseWideInteger(const irr::core::stringw& text);
