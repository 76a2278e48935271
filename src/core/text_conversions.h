// Text conversions shared by the data readers, the formula compiler, the
// settings and the script globals: the server's own decimal reader (used
// for every number read from data files and formulas instead of the
// standard library's), list splitting, compact numbers with metric suffixes,
// Roman numerals, doubling of the rich-text tag character and fitting a text
// into a pixel width.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <string>

namespace irr {
namespace gui {
class IGUIFont;
}
}  // namespace irr

// Reads a decimal number: digits accumulate, one '.' starts the decimals,
// ',' is skipped, a '-' as the first character makes it negative; any other
// character, a second '.' or a later '-' ends it. No exponent: "1e5" is 1.
// Each step is computed in double and kept as float, as the data files have
// always been read. Empty text gives 0.
float stringToFloat(const irr::core::stringw& text);
float narrowStringToFloat(const irr::core::stringc& text);

// Reads a signed whole number with the rules of wideStringToInt (names.h),
// from narrow text: "1,024" is 1024, "12ab" 12, "-12ab" -12. Wraps at 32 bits.
int32_t stringToInt(const irr::core::stringc& text);

// Empties `out`, cuts `text` at every `separator`, trims each piece of
// " \t\n\r" and appends the pieces that are not empty; returns their number.
irr::u32 splitString(const irr::core::stringw& text, wchar_t separator,
                     irr::core::array<irr::core::stringw>& out);
irr::u32 splitString(const irr::core::stringc& text, char separator,
                     irr::core::array<irr::core::stringc>& out);

// Compact notation: `scaled` becomes `value` in steps of 1000 and the result
// is the suffix of that step: "", "k", "M", "G", "T", "e15" .. "e33" upwards,
// "", "m", "u", "n", "p", "f", "e-18" .. "e-33" downwards, at most 11 steps
// (1500 gives 1.5 "k", 0.0005 gives 0.5 "m", 1e40 gives 1e7 "e33"). For 0 the
// suffix is "" and `scaled` is left as it was. An infinite or NaN value, or
// one whose scaled form is beyond the float range, comes back unscaled with
// the suffix "" (beyond the float range as an infinity of its sign).
const wchar_t* standardizeNumber(double value, float& scaled);

// The Roman numeral of the last three decimal digits of `number` into `out`
// (emptied first): thousands are not written and 0 gives "" (1994 gives
// "CMXCIV").
void toRomanStd(unsigned number, std::wstring& out);
void toRoman(unsigned number, irr::core::stringw& out);

// `text` with every '#' doubled, so that rich text shows it literally.
irr::core::stringw escapeHashes(const irr::core::stringw& text);
// `text` with every doubled '#' from `start` on made single again; the
// characters before `start` are kept as they are.
irr::core::stringw unescapeHashes(irr::u32 start, const irr::core::stringw& text);

// Fits `text` followed by `suffix` into `width` pixels of `font`, measuring
// one character at a time (no kerning); a character exactly as wide as the
// room left still fits.
//  - Everything fits: `out` is the text and the suffix, `remainder` empty,
//    the result false.
//  - A text character does not fit: `out` is the text before it and the
//    suffix, `remainder` the text from that character on, the result true.
//  - The suffix alone does not fit: `out` is as much of the suffix as fits,
//    `remainder` the whole text, the result true.
// An empty text gives an empty `out` and `remainder` and false. `remainder`
// and `suffix` may be null. Without a font nothing can be measured: the text
// and suffix are taken whole, as if they fit.
bool fitStringToPixels(const irr::core::stringw& text, irr::gui::IGUIFont* font, irr::u32 width,
                       irr::core::stringw& out, irr::core::stringw* remainder = nullptr,
                       const irr::core::stringw* suffix = nullptr);
