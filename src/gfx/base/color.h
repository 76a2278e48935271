// Hexadecimal colour notation of descriptor files, console commands and
// rich-text colour tags.
#pragma once

#include <SColor.h>
#include <irrString.h>

// Reads a colour written as hexadecimal digits, with or without one leading
// '#':
//   3 digits  RGB       each digit d gives the channel d x 16, alpha 0xFF
//   4 digits  ARGB      the same, alpha included
//   6 digits  RRGGBB    alpha 0xFF
//   8 digits  AARRGGBB
// Throws std::invalid_argument whose what() is "contained non-hex
// characters" when any character is not a hex digit (tested first), or "was
// not 3, 4, 6 or 8 characters long" for any other count, none included.
irr::video::SColor parseHexColor(const irr::core::stringw& text);
