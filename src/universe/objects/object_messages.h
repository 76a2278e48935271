// What the object code shares for the messages it sends: the object event
// message (138) and the thread's scratch stream it is built in.
//
//   object event (138)   u8 138, object reference (net encoder), u8 sub-kind,
//                        then by sub-kind: 0 owner change, 1 dock, 2 undock
//                        (see game_object.cpp and docking.cpp); server to
//                        all, channel 2, reliable ordered
#pragma once

#include <cstdint>

namespace RakNet {
class BitStream;
}

namespace objectmsg {

constexpr uint8_t kMsgDockEvent = 138;
constexpr uint8_t kChannelObjectEvents = 2;

// Sub-kinds of the object event message.
constexpr uint8_t kDockEventOwner = 0;
constexpr uint8_t kDockEventDock = 1;
constexpr uint8_t kDockEventUndock = 2;

// This process hosts a network game: it tells the clients of changes.
bool isNetworkServer();

// The thread's scratch stream, emptied, or `fallback` on a thread without
// a per-thread record.
RakNet::BitStream& messageStream(RakNet::BitStream& fallback);

}  // namespace objectmsg
