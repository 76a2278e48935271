// Bit streams as text, for tables of expected bits in tests.
#pragma once

#include <string>

#include "platform/bit_stream.h"

// The stream's used bits as '0' and '1', first bit first.
inline std::string bitText(const RakNet::BitStream& stream) {
  std::string text;
  const unsigned char* data = stream.GetData();
  for (RakNet::BitSize i = 0; i < stream.GetNumberOfBitsUsed(); ++i)
    text += ((data[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
  return text;
}

// An expected bit text written with blanks between fields for reading.
inline std::string bits(const char* spaced) {
  std::string text;
  for (const char* p = spaced; *p != '\0'; ++p)
    if (*p != ' ')
      text += *p;
  return text;
}
