// The details of one object (126): a client asks for an object's details
// with a digest of what it holds, and the server answers with the object's
// states, its planet or ship part, movement, stance, build queue and
// orders, leaving out the sections whose digest matches.
//
// Bit-packed, multi-byte values most significant byte first. "Words" are
// raw 32-bit values (a float's IEEE bits where the field is a float); a
// reference is a compact UID (core/net_encoders.h); strings are wide
// strings of at most 255 units.
//
// Request, client to server, reliable ordered, channel 0:
//   8        126
//   16/33    the object's UID (compact)
//   planet:  u32 structure count, u32 condition count
//   ship:    1 bit hull wanted (the client's layout is a placeholder of
//            empire 255, or an own ship's layout lists no sub-systems);
//            u32 damage ("Damage" max - val, whole)
//   8        build-queue length (low 8 bits); when not 0, u32 hash of the
//            first item's name
//   8        order count (low 8 bits); when not 0, u32 hash of the first
//            order's description
//
// Answer, server to the asking client, medium priority, unreliable,
// channel 1:
//   8        126
//   16/33    the object's UID (compact)
//   8        state count n (at most 255); per state: name, f32 R (the
//            largest magnitude of its four values), then val, max,
//            required, inCargo, each 1 bit non-zero and, when set, 1 bit
//            positive and the magnitude as a 16-bit quantised float in
//            [0, R]
//   planet:  1 bit structures changed (the count differs from the
//            request's); when set u32 count m (a client takes at most
//            2048) and per structure four words: the sub-system
//            definition's ID, the structure's state, its durability (f32)
//            and its first run-time word (f32)
//            1 bit conditions changed; when set u16 count, per condition
//            its name
//            1 bit use-governor; 1 bit governor type follows [name];
//            1 bit repeat-queue; 1 bit rally point follows [reference]
//   ship:    1 bit hull follows (set when the request wanted it); when set
//            the layout's role (u32), scale (f32), name, and its empire's
//            ID (8); then u16 count and per sub-system a u16 fraction of
//            its maximum hit points (x 65535)
//   movement: 1 bit mobile; when set 1 bit target, then the target's UID
//            (u32) or the destination (3 x f32), 1 bit thrusting, 1 bit
//            parked; then, for every object, the velocity (3 x f32)
//   8        stance of the object's order queue (0 without one)
//   build queue: 1 bit changed.
//            0: 1 bit first item's costs follow (0: the queue is empty);
//               when set the cost block
//            1: 1 bit count follows; when set u8 item count k (at most
//               255), then per item its name and kind, the first item's
//               cost block after its kind
//            cost block: u8 count (at most 255), per cost its resource
//            name, f32 paid, f32 total
//   orders (only when the object has an order queue): 5-bit count (at most
//            31), per order its description
//   1 bit    counters follow: when set u32 the build queue's full length,
//            u32 the order queue's full length; when clear both are 0
//
// Every count equals the entries that follow: a longer list sends its first
// entries in queue order. A reader stops where the message stops making
// sense (cut short, counts beyond what follows, more than 2048 structures);
// the sections read whole before that stay applied, the one it stopped in
// is not.
#pragma once

#include <cstdint>

#include "net/message_ids.h"

namespace RakNet {
class BitStream;
}
class generic_object;
struct NetPlayer;

constexpr uint8_t ID_OBJECT_DETAILS = msgid::kObjectDetails;
constexpr uint8_t kChannelDetailRequests = 0;
constexpr uint8_t kChannelDetailAnswers = 1;

// Limits of the answer's lists.
constexpr uint32_t kMaxDetailStates = 255;
constexpr uint32_t kMaxDetailQueueItems = 255;
constexpr uint32_t kMaxDetailCosts = 255;
constexpr uint32_t kMaxDetailOrders = 31;
constexpr uint32_t kMaxDetailStructures = 2048;
constexpr uint32_t kMaxDetailConditions = 65535;
constexpr uint32_t kMaxDetailSubSystems = 65535;

// What a request says the client holds.
struct ObjectDetailsQuery {
  uint32_t structureCount = 0;  // planets
  uint32_t conditionCount = 0;  // planets
  bool hullWanted = false;      // ships
  uint32_t damage = 0;          // ships; read, and not used further
  uint8_t queueCount = 0;
  uint32_t queueHash = 0;  // when queueCount is not 0
  uint8_t orderCount = 0;
  uint32_t orderHash = 0;  // when orderCount is not 0
};

// The client's request for `object` (its lock held), id first. False, with
// nothing written, for an object without a UID.
bool writeObjectDetailsQuery(RakNet::BitStream& stream, generic_object& object);
// Reads a request's digest after its UID, for an object of `objectType`.
// False when it is cut short.
bool readObjectDetailsQuery(RakNet::BitStream& stream, int objectType, ObjectDetailsQuery& query);

// The server's answer for `object` (its lock held), id first.
void writeObjectDetailsAnswer(generic_object& object, RakNet::BitStream& stream, const ObjectDetailsQuery& query);
// Reads an answer after its UID into `object` (its lock held). False when
// it stopped early.
bool readObjectDetails(generic_object& object, RakNet::BitStream& stream);

// The server's handling of a request (the stream just behind the 126): the
// sender in the game with an empire, the object its own or in a star system
// its empire sees; anything else gets no answer.
void handleObjectDetailsRequest(RakNet::BitStream& stream, NetPlayer* sender);
// The client's handling of an answer: the object found by UID and locked
// while the answer is read into it. False when dropped or stopped early.
bool readObjectDetailsAnswer(RakNet::BitStream& stream);
