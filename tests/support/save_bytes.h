// Save streams as bytes, for tables of expected bytes in tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/save_stream.h"

using Bytes = std::vector<uint8_t>;

// Read errors print as {code, message} in failed expectations.
inline void PrintTo(const SaveFileError& error, std::ostream* out) {
  *out << "{" << error.code << ", " << error.message << "}";
}

// Bytes written as hex pairs with blanks between them: "03 00 61".
inline Bytes hexBytes(const char* spaced) {
  Bytes bytes;
  for (const char* p = spaced; *p != '\0';) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    char* end = nullptr;
    const char pair[3] = {p[0], p[1], '\0'};
    bytes.push_back(static_cast<uint8_t>(std::strtoul(pair, &end, 16)));
    p += 2;
  }
  return bytes;
}

inline std::string hexText(const Bytes& bytes) {
  std::string text;
  char pair[4];
  for (uint8_t b : bytes) {
    std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", b);
    text += pair;
  }
  return text;
}

// An expected byte text in the form hexText gives, from one spaced freely.
inline std::string hex(const char* spaced) { return hexText(hexBytes(spaced)); }

// What a stream in memory wrote after its 8-byte header.
inline Bytes writtenBody(const SaveStream& stream) {
  const Bytes& all = stream.memoryBytes();
  return Bytes(all.begin() + 8, all.end());
}

// A header of `version` followed by `body`.
inline Bytes withHeader(const Bytes& body, int32_t version = SaveStream::kVersion) {
  Bytes bytes = {'$', 'q', 'v', 's'};
  for (int i = 0; i < 4; ++i)
    bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(version) >> (8 * i)));
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

// A reading stream over `file` (kept alive by the caller).
inline std::unique_ptr<SaveStream> readerOver(const Bytes& file) {
  return SaveStream::readFromMemory(file.data(), file.size());
}

// The save error `action` throws, or {0, "no error"} when it throws none.
template <class Action>
SaveFileError saveErrorOf(Action&& action) {
  try {
    action();
  } catch (const SaveFileError& error) {
    return error;
  }
  return {0, "no error"};
}
