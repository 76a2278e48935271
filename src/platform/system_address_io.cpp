#include "platform/system_address_io.h"

#include <cstring>

namespace RakNet {

std::array<uint8_t, 4> ipv4Octets(uint32_t binaryAddress) {
  std::array<uint8_t, 4> octets{};
  std::memcpy(octets.data(), &binaryAddress, octets.size());
  return octets;
}

uint32_t ipv4FromOctets(const std::array<uint8_t, 4>& octets) {
  uint32_t binaryAddress = 0;
  std::memcpy(&binaryAddress, octets.data(), octets.size());
  return binaryAddress;
}

bool parseIPv4Address(const char* text, uint32_t& binaryAddress) {
  if (text == nullptr) return false;
  std::array<uint8_t, 4> octets{};
  const char* at = text;
  for (std::size_t field = 0; field < octets.size(); ++field) {
    if (field > 0) {
      if (*at != '.') return false;
      ++at;
    }
    unsigned value = 0;
    int digits = 0;
    while (*at >= '0' && *at <= '9') {
      if (digits == 3) return false;
      // "0" alone is a field; "01" is refused, as some readers take it for octal.
      if (digits == 1 && value == 0) return false;
      value = value * 10 + static_cast<unsigned>(*at - '0');
      ++digits;
      ++at;
    }
    if (digits == 0 || value > 255) return false;
    octets[field] = static_cast<uint8_t>(value);
  }
  if (*at != '\0') return false;
  binaryAddress = ipv4FromOctets(octets);
  return true;
}

void writeSystemAddress(BitStream& stream, const SystemAddress& address) {
  for (uint8_t octet : ipv4Octets(address.binaryAddress)) stream.Write(static_cast<uint8_t>(~octet));
  stream.Write(address.port);
}

bool readSystemAddress(BitStream& stream, SystemAddress& address) {
  if (stream.ReadFailed() || stream.GetNumberOfUnreadBits() < kSystemAddressBits) {
    stream.IgnoreBits(kSystemAddressBits);  // fails the stream, as a short read does
    return false;
  }
  std::array<uint8_t, 4> octets{};
  for (uint8_t& octet : octets) {
    stream.Read(octet);
    octet = static_cast<uint8_t>(~octet);
  }
  uint16_t port = 0;
  stream.Read(port);
  address.binaryAddress = ipv4FromOctets(octets);
  address.port = port;
  return true;
}

}  // namespace RakNet
