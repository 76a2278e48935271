// UTF-16 forms of wide texts. wchar_t is 32 bits here, while saved games and
// packets carry 16-bit code units: a character above U+FFFF becomes a
// surrogate pair, and a value that is no character (above U+10FFFF) becomes
// the replacement character U+FFFD. A surrogate value stored on its own is
// written as that unit unchanged.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t kHighSurrogateFirst = 0xD800;
constexpr uint32_t kLowSurrogateFirst = 0xDC00;
constexpr uint32_t kSurrogateEnd = 0xE000;

inline bool isHighSurrogate(uint32_t unit) { return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst; }
inline bool isLowSurrogate(uint32_t unit) { return unit >= kLowSurrogateFirst && unit < kSurrogateEnd; }

// The UTF-16 code units of a 32-bit wide text, one at a time; -1 at the end.
class Utf16Units {
 public:
  Utf16Units(const wchar_t* begin, const wchar_t* end) : next_(begin), end_(end) {}

  int32_t next() {
    if (trail_) {
      const int32_t unit = trail_;
      trail_ = 0;
      return unit;
    }
    if (next_ == end_)
      return -1;
    uint32_t c = static_cast<uint32_t>(*next_++);
    if (c <= 0xFFFF)
      return static_cast<int32_t>(c);
    if (c > 0x10FFFF)
      return 0xFFFD;  // no character: the replacement character
    c -= 0x10000;
    trail_ = static_cast<int32_t>(kLowSurrogateFirst | (c & 0x3FF));
    return static_cast<int32_t>(kHighSurrogateFirst | (c >> 10));
  }

 private:
  const wchar_t* next_;
  const wchar_t* end_;
  int32_t trail_ = 0;
};

// Decodes `count` UTF-16 units, `unitAt(i)` giving unit i, handing each
// character to `put`: a surrogate pair becomes one character, a lone
// surrogate stays as its own value.
template <typename UnitAt, typename Put>
void decodeUtf16(std::size_t count, UnitAt unitAt, Put put) {
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t code = unitAt(i);
    if (isHighSurrogate(code) && i + 1 < count) {
      const uint32_t next = unitAt(i + 1);
      if (isLowSurrogate(next)) {
        code = 0x10000 + ((code - kHighSurrogateFirst) << 10) + (next - kLowSurrogateFirst);
        ++i;
      }
    }
    put(static_cast<wchar_t>(code));
  }
}

// Appends `count` UTF-16 units, each stored as two bytes low byte first, to `out`.
inline void appendUtf16LE(irr::core::stringw& out, const unsigned char* bytes, std::size_t count) {
  out.reserve(out.size() + static_cast<irr::u32>(count) + 1);
  decodeUtf16(
      count, [bytes](std::size_t i) { return bytes[2 * i] | (static_cast<uint32_t>(bytes[2 * i + 1]) << 8); },
      [&out](wchar_t c) { out.append(c); });
}
