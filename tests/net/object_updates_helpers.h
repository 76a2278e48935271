// Reading object update batches (125) in tests: a packet taken apart into
// its header and entries, with each entry's R found from the objects this
// process holds (the server's own, in the in-process tests).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/net_encoders.h"
#include "net/object_updates.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

namespace updatetest {

struct Entry {
  uint32_t uid = 0;
  bool moving = false;
  bool newContainer = false;
  uint32_t container = 0;  // the entry's container (carried over when not new)
  bool raw = false;        // the position came as three floats
  vector3df position;
  vector3df rotation;
  bool underAttack = false;
};

struct Packet {
  uint16_t count = 0;
  double time = 0.0;
  double speed = 0.0;
  std::vector<Entry> entries;
  size_t bytes = 0;
  bool whole = false;  // every entry read and nothing but padding left
};

// Takes apart a whole packet (the id byte first). The R of each moving
// entry is its object's radius plus its container's, both looked up here.
inline Packet readPacket(const std::vector<uint8_t>& bytes) {
  Packet packet;
  packet.bytes = bytes.size();
  RakNet::BitStream stream(bytes.data(), bytes.size(), false);
  uint8_t id = 0;
  if (!stream.Read(id) || id != ID_OBJECT_UPDATES || !stream.Read(packet.count) || !stream.Read(packet.time) ||
      !stream.Read(packet.speed))
    return packet;
  uint32_t container = 0;
  for (uint32_t i = 0; i < packet.count; ++i) {
    Entry entry;
    entry.uid = readNetUInt(stream);
    if (!stream.Read(entry.moving))
      return packet;
    if (entry.moving) {
      if (!stream.Read(entry.newContainer))
        return packet;
      if (entry.newContainer)
        container = readNetUInt(stream);
      entry.container = container;
      const generic_object* object = getObjectByUID(entry.uid);
      const generic_object* outer = getObjectByUID(container);
      if (object == nullptr || outer == nullptr)
        return packet;
      const float range = object->radius + outer->radius;
      entry.raw = !(range < kQuantisedRadiusLimit);
      if (entry.raw) {
        stream.Read(entry.position.X);
        stream.Read(entry.position.Y);
        stream.Read(entry.position.Z);
      } else {
        entry.position.X = readNetFloat16(stream, -range, range);
        entry.position.Y = readNetFloat16(stream, -range, range);
        entry.position.Z = readNetFloat16(stream, -range, range);
      }
      entry.rotation.X = readNetFloat8(stream, 0.0f, 360.0f);
      entry.rotation.Y = readNetFloat8(stream, 0.0f, 360.0f);
      entry.rotation.Z = readNetFloat8(stream, 0.0f, 360.0f);
    }
    if (!stream.Read(entry.underAttack))
      return packet;
    packet.entries.push_back(entry);
  }
  packet.whole = !stream.ReadFailed() && stream.GetNumberOfUnreadBits() < 8;
  return packet;
}

}  // namespace updatetest
