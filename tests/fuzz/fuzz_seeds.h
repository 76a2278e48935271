// Building seed inputs for the fuzz targets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline void pushText(std::vector<std::vector<uint8_t>>* seeds, const std::string& text) {
  seeds->emplace_back(text.begin(), text.end());
}

// `text` (ASCII) as UTF-16LE after its byte-order mark.
inline std::string utf16leWithMark(const std::string& text) {
  std::string wide = "\xFF\xFE";
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return wide;
}
