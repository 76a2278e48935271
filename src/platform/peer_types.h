// The addressing and delivery terms of the network peer: where a message
// goes, how reliably and how urgently.
#pragma once

#include <cstdint>

namespace RakNet {

// A peer's IPv4 address and port; the unassigned address names no peer.
struct SystemAddress {
  uint32_t binaryAddress = 0xFFFFFFFFu;
  uint16_t port = 0xFFFFu;

  bool operator==(const SystemAddress& other) const {
    return binaryAddress == other.binaryAddress && port == other.port;
  }
  bool operator!=(const SystemAddress& other) const { return !(*this == other); }
};

// As a destination: every client on a server, the server on a client.
constexpr SystemAddress UNASSIGNED_SYSTEM_ADDRESS{};

enum PacketReliability : uint8_t {
  UNRELIABLE = 0,
  UNRELIABLE_SEQUENCED = 1,
  RELIABLE = 2,
  RELIABLE_ORDERED = 3,
  RELIABLE_SEQUENCED = 4,
};

enum PacketPriority : uint8_t {
  IMMEDIATE_PRIORITY = 0,
  HIGH_PRIORITY = 1,
  MEDIUM_PRIORITY = 2,
  LOW_PRIORITY = 3,
};

}  // namespace RakNet
