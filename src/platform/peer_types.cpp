#include "platform/peer_types.h"

#include <cstdio>
#include <cstring>

namespace RakNet {

void SystemAddress::octets(uint8_t out[4]) const {
  std::memcpy(out, &binaryAddress, 4);
}

SystemAddress SystemAddress::fromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
  const uint8_t bytes[4] = {a, b, c, d};
  SystemAddress address;
  std::memcpy(&address.binaryAddress, bytes, 4);
  address.port = port;
  return address;
}

bool SystemAddress::operator<(const SystemAddress& other) const {
  uint8_t mine[4];
  uint8_t theirs[4];
  octets(mine);
  other.octets(theirs);
  const int order = std::memcmp(mine, theirs, 4);
  if (order != 0)
    return order < 0;
  return port < other.port;
}

std::string SystemAddress::ToString(bool withPort) const {
  uint8_t o[4];
  octets(o);
  char text[32];
  if (withPort)
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", o[0], o[1], o[2], o[3], static_cast<unsigned>(port));
  else
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
  return text;
}

std::string RakNetGUID::ToString() const {
  char text[24];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(g));
  return text;
}

SocketDescriptor::SocketDescriptor(uint16_t port, const char* hostAddress) : port(port) {
  if (hostAddress != nullptr) {
    std::strncpy(this->hostAddress, hostAddress, sizeof this->hostAddress - 1);
    this->hostAddress[sizeof this->hostAddress - 1] = '\0';
  }
}

}  // namespace RakNet
