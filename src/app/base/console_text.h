// Text conversions at the console's edges: standard input and output carry
// UTF-8, the console works on wide text.
#pragma once

#include <irrString.h>

#include <string>

// Decodes UTF-8; a byte that does not start a valid sequence stands for
// itself (as a Latin-1 character). NUL characters are dropped.
irr::core::stringw wideFromUtf8(const char* text, std::size_t length);
irr::core::stringw wideFromUtf8(const char* text);
// Encodes wide text as UTF-8; values that are not characters become U+FFFD.
std::string utf8FromWide(const wchar_t* text, std::size_t length);
