// The network form of the object tree: one object record message (123) per
// object, which a server sends and a client reads into its copies of the
// server's objects.
//
// Record, bit-packed, multi-byte values most significant byte first:
//
//   bits     field
//   8        123
//   16/33    the object's UID (compact unsigned, see core/net_encoders.h)
//   16/33    its container's UID (1 for the galaxy: a client's galaxy is
//            made with UID 1)
//   8        kind: 1 planet, 2 star, 3 ship, 4 oddity, 5 star system
//   8        owner's empire ID, 131 for none
//   32       radius (float)
//   8 + ...  name: n (at most 255) UTF-16 units, byte-aligned after the
//            length byte, each unit low byte first
//   then by kind:
//   planet   position (WriteVector, 32 or 80), planet type index (16, its
//            place in the planet type table, 0 when not found), structure
//            space (float), mover record
//   star     position, "Temp K" value (float), mover record
//   ship     position, a 1 bit (0: the layout is not known, nothing more of
//            it), the layout: name as the object's name, its owner's empire
//            ID (8), scale (float), class (32), then the mover record
//   oddity   oddity kind (8), position, 1 bit: it circles on an orbit mover,
//            followed by the orbit's 40-byte state and its 12-byte centre,
//            each as one reversed block (320 and 96)
//   system   position x, y, z as one reversed 12-byte block (96)
//
// Mover record: a 0 bit when the object's handler is not a mobile mover.
// Otherwise a bit for thrust above 0, then a bit for a park orbit in use,
// followed by the park orbit's 40-byte state and 12-byte centre offset
// (reversed blocks) and the orbited object's UID (compact, 0 for none).
// A reader cannot tell a lone 0 bit from a mover without thrust: after a 0
// thrust bit a park bit missing at the record's end reads as 0.
//
// Records go reliable and ordered on channel 4, an object's own record
// first, then its contained children's, depth first; docked objects are not
// walked.
#pragma once

#include <cstdint>

#include "platform/peer_types.h"
#include "universe/objects/object_registry.h"

namespace RakNet {
class BitStream;
}
class generic_object;

constexpr uint8_t kMsgObjectRecord = 123;
constexpr uint8_t kChannelObjectRecords = 4;
// The UID of a client's galaxy, which records name as the galaxy.
constexpr uint32_t kClientGalaxyUid = kNetGalaxyUid;

// Writes `object`'s record into `stream` (emptied first) and sends it to
// `address` (every client for the unassigned address), then does the same
// for each contained child, depth first. The galaxy itself is never sent;
// its children are.
void writeObjectRecord(generic_object& object, const RakNet::SystemAddress& address, RakNet::BitStream& stream);

// Sends a newly made object (and what it contains) to every client, while
// this process hosts a network game whose galaxy is loaded; nothing
// otherwise. The makers of the galaxy generation call it.
void broadcastNewObject(generic_object* object);

// The mover record of `object`.
void writeMoverRecord(const generic_object& object, RakNet::BitStream& stream);
// Reads a mover record into `object`'s mirror mover (its thrust, and its
// mirrored orbit when the server's park orbit is in use); an object
// without a mirror mover reads nothing. False, with nothing changed, when
// the record is cut short.
bool readMoverRecord(generic_object& object, RakNet::BitStream& stream);

// A client's reading of a record (the stream just behind the 123): makes
// the copy of the object with the server's UID in its container. The whole
// record is ignored (false, nothing made) when it is short, when its UID is
// 0, 0xFFFFFFFF or held by a live object, when the container is unknown or
// of the wrong kind, for an unknown kind, and for a planet type index past
// the planet type table.
bool readObjectFromNetwork(RakNet::BitStream& stream);
