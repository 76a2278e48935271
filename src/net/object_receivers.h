// A client's handlers of the server's object messages:
//
//   123  object record       see universe/galaxygen/net_object_records.h
//   124  object destroyed    u32 UID (not compact); channel 9, reliable
//   138  object event        object reference (compact UID), u8 event, then:
//          0 owner           u8 empire ID (131 or an unknown ID: empire 255)
//          1 dock            docked object reference
//          2 undock          u32 index in the host's docked list, the
//                            undocked object's reference, its position x, y,
//                            z (f32, relative to its new container) and
//                            rotation angle about Y (f32, degrees)
//          3 orbit start     orbit state, centre offset, orbited reference
//                            (universe/movement/fake_mobile_mover.h)
//          4 orbit end       nothing more
//
// Every reliable kind arrives in send order, so the channels are not
// checked. A server ignores all three. A short message, or an event of
// another value, changes nothing; a message about an object this client
// does not know changes nothing.
#pragma once

#include <cstdint>

namespace RakNet {
class BitStream;
}

constexpr uint8_t kMsgObjectDestroyed = 124;
constexpr uint8_t kMsgObjectEvent = 138;

// The client's handling of each message, the stream just behind the id.
// False when the message was dropped (short or not understood).
bool readObjectDestroyed(RakNet::BitStream& stream);
bool readObjectEvent(RakNet::BitStream& stream);

// Enters the receivers of 123, 124 and 138 with the network manager.
void registerObjectReceivers();
