// Trimming of the blanks " \t\n\r" that every text reader strips, on index
// ranges so that no trimmed copy needs to be made.
#pragma once

#include <cstddef>

template <class Char>
inline bool isTrimmedBlank(Char c) {
  return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\r');
}

// Narrows [begin, end) of `text` to leave out blanks at both ends.
template <class Char, class Index>
inline void trimRange(const Char* text, Index& begin, Index& end) {
  while (begin < end && isTrimmedBlank(text[begin]))
    ++begin;
  while (end > begin && isTrimmedBlank(text[end - 1]))
    --end;
}
