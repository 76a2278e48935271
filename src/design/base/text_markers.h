// Escapes in description texts of data files and locale files.
#pragma once

#include <irrString.h>

// Decodes backslash escapes in place, left to right: "\n" becomes a line
// feed, "\r" a carriage return, "\t" the rich-text tab tag "#tab#", and a
// backslash before any other character is dropped and that character kept
// (so "\\" is one backslash). Decoded text is not scanned again. A backslash
// that is the last character stays.
void expandTabMarkers(irr::core::stringw& text);
