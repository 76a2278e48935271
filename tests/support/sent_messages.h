// Messages handed to the network manager, captured for tests: install the
// observer in SetUp and remove it (stopCapturingSends) in TearDown.
#pragma once

#include <cstdint>
#include <vector>

#include "net/network_manager.h"
#include "platform/bit_stream.h"

struct SentMessage {
  std::vector<uint8_t> bytes;
  uint8_t channel;
  RakNet::PacketReliability reliability;
  RakNet::SystemAddress target;
};

// Appends every message sent from now on to `into` (from the sending thread:
// the caller keeps sends on one thread, or locks around reading).
inline void captureSends(std::vector<SentMessage>& into) {
  networkManager->setSendObserver([&into](const RakNet::BitStream& stream, uint8_t channel,
                                          RakNet::PacketReliability reliability, const RakNet::SystemAddress& target) {
    const uint8_t* data = stream.GetData();
    into.push_back({std::vector<uint8_t>(data, data + stream.GetNumberOfBytesUsed()), channel, reliability, target});
  });
}

inline void stopCapturingSends() { networkManager->setSendObserver(nullptr); }
