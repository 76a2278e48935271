// The object update batches (125): every 84 ms the server's replication step
// runs, and two steps in three are broadcast passes that send the position,
// rotation and under-attack mark of every object in half of the star systems
// that the players can see. A client moves its mirrors by them.
//
// Packet, bit-packed, multi-byte values most significant byte first; server
// to every in-game player, high priority, unreliable sequenced, channel 2:
//
//   bits     field
//   8        125
//   16       entry count
//   64       the server's game time (double)
//   64       the server's game speed (double)
//   then per entry:
//   16/33    object reference (compact UID)
//   1        moving; when 1:
//     1        new container; when 1 the container's reference (16/33)
//              follows, when 0 the container is the previous moving
//              entry's in this packet
//     48/96    position relative to the container: with R = container
//              radius + object radius below 4000, x, y, z as 16-bit
//              quantised floats in [-R, R]; else three raw floats
//     24       rotation x, y, z in degrees, each wrapped into [0, 360), as
//              8-bit quantised floats in [0, 360]
//   1        under attack (hit within the last 4000 ms of real time)
//
// A packet is cut once it holds more than its limit (1250 bytes; 750 with
// "bSmallPackets", 1650 with "bLargePackets") or 65535 entries: no packet
// exceeds the limit by more than its last entry.
//
// The client's reader cannot skip an entry of an object it does not know
// unless the entry's position was quantised: it skips one only when its
// container is known and small enough that every object in it was written
// with 16-bit values (container radius + kMaxSkippedObjectRadius below
// 4000). Any other unknown moving entry ends the packet; the next pass
// brings the objects after it again.
#pragma once

#include <cstdint>

namespace RakNet {
class BitStream;
}
class generic_object;
class NetworkManager;

constexpr uint8_t ID_OBJECT_UPDATES = 125;
constexpr uint8_t kChannelObjectUpdates = 2;

// Packet limits in bytes.
constexpr uint32_t kUpdatePacketBytes = 1250;
constexpr uint32_t kSmallUpdatePacketBytes = 750;
constexpr uint32_t kLargeUpdatePacketBytes = 1650;
constexpr uint32_t kMaxUpdateEntries = 65535;
// Positions inside containers below this R are quantised.
constexpr float kQuantisedRadiusLimit = 4000.0f;
// The radius no object a client skips is taken to exceed.
constexpr float kMaxSkippedObjectRadius = 1000.0f;
// Every this many entries the client asks for the details of the next own
// object it reads.
constexpr uint32_t kWatchEntryInterval = 177;
// Detail requests a client sends per poll at most.
constexpr uint32_t kDetailRequestsPerPoll = 10;

// The packet limit the configuration asks for.
uint32_t updatePacketLimit();

// One object's entry; false, with nothing written, for an oddity and for a
// moving object without a container. `lastContainer` is the UID of the
// container last written in this packet (0 for none), updated when a
// moving entry names a new one.
bool writeObjectUpdate(RakNet::BitStream& stream, generic_object& object, uint32_t& lastContainer);

// A packet of entries under construction, sent by `manager` to every
// in-game player whenever it is full.
class ObjectUpdateBatch {
 public:
  ObjectUpdateBatch(NetworkManager& manager, uint32_t limitBytes);
  ~ObjectUpdateBatch();
  ObjectUpdateBatch(const ObjectUpdateBatch&) = delete;
  ObjectUpdateBatch& operator=(const ObjectUpdateBatch&) = delete;

  // Writes `object`'s entry, then runs the packet step.
  void add(generic_object& object);
  // The packet step: sends the packet when it is over its limit or holds
  // the most entries, or (with `force`) when it holds any.
  void step(bool force);

  uint32_t packetsSent() const { return packets_; }

 private:
  void start();

  NetworkManager& manager_;
  RakNet::BitStream* stream_;
  uint32_t limitBytes_;
  uint32_t count_ = 0;
  uint32_t lastContainer_ = 0;
  uint32_t packets_ = 0;
};

// A broadcast pass (modes 1 and 2 of the replication step; `firstPass`
// for mode 1): under the galaxy's lock, every second star system that an
// in-game player's empire sees is written under its own lock (mode 1 the
// second, fourth ..., mode 2 the first, third ...), never both locks at
// once; what travels between systems is written as it is met. The packets
// go to every in-game player.
void runBroadcastPass(NetworkManager& manager, bool firstPass);

// The client's reading of a batch (the stream just behind the 125). False
// when the packet was dropped or stopped early; what was read before the
// stop stays applied, entry by entry.
bool readObjectUpdates(RakNet::BitStream& stream);

// The reader's running entry count (process-wide).
uint32_t objectUpdateEntryCounter();
void setObjectUpdateEntryCounter(uint32_t value);

// Enters the receivers of 125 and 126 with `manager`.
void registerObjectUpdateReceivers(NetworkManager& manager);
