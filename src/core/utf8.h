// UTF-8, the encoding of text at the process's edges (standard input and
// output, file names): UTF-8 of wide text (values beyond U+10FFFF become
// U+FFFD), and wide text of UTF-8 (a byte that does not begin a valid
// sequence stands for itself).
#pragma once

#include <string>

std::string wideToUtf8(const std::wstring& text);
std::wstring utf8ToWide(const std::string& text);
