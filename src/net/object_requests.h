// The server's handling of what a client asks of its own objects: orders
// (116), build-queue changes (117), planet and queue settings (118) and
// object commands (139); and the build-list names a server tells a client
// (128).
//
// A request acts only on an object whose owner is the sender's empire; a
// sender without an empire (a spectator, or no listed player) owns nothing.
// A request that is short, names an object it may not touch or fails a
// check is dropped silently, with nothing applied. Each handler holds a
// reference on the object and its container's lock from the look-up to the
// end, so the galaxy threads never see a half-made change.
#pragma once

#include <irrString.h>

#include <cstdint>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
}
class NetworkManager;
struct NetPlayer;

constexpr uint8_t ID_BUILD_QUEUE = 117;
constexpr uint8_t ID_PLANET_SETTING = 118;
constexpr uint8_t ID_BUILD_LIST = 128;
constexpr uint8_t ID_OBJECT_COMMAND = 139;

// Sub-kinds of 117 beyond the queueing ones (BuildRequestKind).
constexpr uint8_t kBuildRemoveStructure = 3;
constexpr uint8_t kBuildClearQueue = 5;

// Sub-kinds of 118.
enum PlanetSettingKind : uint8_t {
  PSK_UseGovernor = 1,
  PSK_MoveItem = 2,
  PSK_RemoveItem = 3,
  PSK_GovernorType = 4,
  PSK_RepeatQueue = 5,
  PSK_RallyPoint = 6,
};

// Sub-kinds of 139.
enum ObjectCommandKind : uint8_t {
  OCK_UndockAll = 1,
  OCK_Stance = 2,
  OCK_Park = 3,
  OCK_CeaseFire = 4,
};

// The handlers, each called with the stream just behind the id byte.
// `sender` is the sender's record (null: dropped).
void handleOrderRequest(RakNet::BitStream& stream, NetPlayer* sender);
void handleBuildRequest(RakNet::BitStream& stream, NetPlayer* sender);
void handlePlanetSetting(RakNet::BitStream& stream, NetPlayer* sender);
void handleObjectCommand(RakNet::BitStream& stream, NetPlayer* sender);
// Client side of 128: an empty list of the name for the local player's
// empire (`playingEmpire`); nothing without one.
void handleBuildListName(RakNet::BitStream& stream);

// Client side of 117: the requests the handlers above read. `count` is
// written only when given (a version-6 server reads none: one item each).
// Ships name the sender's layout (at most 255 characters); structures the
// sub-system definition's ID.
void writeShipBuildRequest(RakNet::BitStream& stream, uint32_t objectUid, const irr::core::stringw& layoutName,
                           const uint16_t* count = nullptr);
void writeStructureBuildRequest(RakNet::BitStream& stream, uint32_t planetUid, uint32_t definitionId,
                                const uint16_t* count = nullptr);

// Server: tells the client at `address` that its empire has a build list
// named `name` (128: the name as a wide string; medium priority, reliable,
// channel 0).
void sendBuildList(NetworkManager& manager, const irr::core::stringw& name, const RakNet::SystemAddress& address);

// Enters the receivers of 116, 117, 118, 128 and 139 with `manager`.
void registerObjectRequestReceivers(NetworkManager& manager);
