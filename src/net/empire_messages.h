// The empire-level messages between a server and its players, other than
// diplomacy and research: ship designs (127), the empire's settings and
// periodic state (130), messages to the empire's player (131), design
// thresholds (135), and empire commands and trait changes (136).
//
//   127  hull layout        the layout's record (design/hull_network.cpp);
//                           both ways, medium priority, reliable ordered,
//                           channel 0
//   130  from a client      wide string name, raw f32 value; reliable,
//                           channel 6
//        from the server    raw u16 setting count (a client refuses more
//                           than 20000), each a wide string name and a raw
//                           f32; u8 relation count, each the other empire's
//                           ID and the relation as a raw u16 (allied in the
//                           low byte, enemy in the high byte, most
//                           significant byte first); bit: names follow,
//                           then u8 count, each an empire ID and its
//                           player's name; raw u32 visibility mask.
//                           Unreliable sequenced, channel 6
//   131  empire message     wide strings text and category (at most 255
//                           units each), raw u32 priority, raw u32 time;
//                           reliable, channel 0. A version-6 server sends
//                           the text alone
//   135  design threshold   u8 sub-kind (1), wide string layout name, raw
//                           f32 threshold; reliable ordered, channel 0
//   136  from a client      u8 sub-kind 1 (colonise a system), raw u32 the
//                           system's UID, bit: to the front of the queue
//        from the server    u8 sub-kind 1 (trait added) or 2 (removed), the
//                           empire's ID, wide string trait id; broadcast,
//                           reliable ordered, channel 0
//
// Wide strings are a length byte and that many UTF-16 units, each low byte
// first; every other number travels most significant byte first.
//
// Private state goes only to the player who controls the empire: nothing is
// sent for an empire no player controls. A server acts only for a listed
// player, and only on the empire that player controls; anything it cannot
// read whole, or that its sender may not do, is dropped without a change.
#pragma once

#include <irrString.h>

#include <cstdint>

namespace RakNet {
class BitStream;
}
class NetworkManager;
class empire;
struct NetPlayer;

constexpr uint8_t ID_EMPIRE_SETTING = 130;
constexpr uint8_t ID_EMPIRE_MESSAGE = 131;
constexpr uint8_t ID_HULL_SETTING = 135;
constexpr uint8_t ID_EMPIRE_COMMAND = 136;

// Sub-kinds of 135 and 136.
constexpr uint8_t kHullSettingThreshold = 1;
constexpr uint8_t kEmpireCommandColonize = 1;
constexpr uint8_t kTraitAdded = 1;
constexpr uint8_t kTraitRemoved = 2;

// A client refuses a state that announces more settings than this.
constexpr uint16_t kMaxSentEmpireSettings = 20000;
// A server files a client's new setting name only while the empire holds
// fewer settings than this (existing names can always be set).
constexpr unsigned kMaxClientEmpireSettings = 1000;
// Likewise a client's design (127) under a new name, while the empire holds
// fewer designs than this.
constexpr unsigned kMaxClientHullLayouts = 1000;

// The relation record as it travels: allied in the low byte, enemy in the
// high byte.
uint16_t packEmpireRelation(bool allied, bool enemy);

// -- Senders ------------------------------------------------------------------
// A client tells its server the value of one of its empire's settings
// (empire::setSetting calls it); nothing elsewhere.
void sendEmpireSetting(const irr::core::stringw& name, float value);
// The settings (at most kMaxSentEmpireSettings) and the relations of `emp`,
// as 130 and 119 carry them, each under its area's lock.
void writeEmpireSettingsAndRelations(RakNet::BitStream& stream, empire* emp);
// The periodic state of `emp` (130, server form). `withNames` adds every
// listed empire's ID and player's name. Takes the settings, the relations
// and each player-name lock one after the other.
void writeEmpireState(RakNet::BitStream& stream, empire* emp, bool withNames);
// A server sends `player` its empire's periodic state, with the names when
// the player list changed since the last pass; nothing for a player without
// an empire or an address.
void sendEmpireState(NetworkManager& manager, NetPlayer& player);
// A server sends an empire message to the player who controls `emp`
// (postEmpireMessage calls it); nothing elsewhere, for the server's own
// player's empire, or when no player controls it.
void sendEmpireMessage(const empire* emp, const irr::core::stringw& text, const irr::core::stringw& category,
                       int32_t priority, int32_t time);
// A hosting server tells every player that `emp` gained (kTraitAdded) or
// lost (kTraitRemoved) the trait `id`; nothing elsewhere.
void sendTraitChange(const empire* emp, uint8_t kind, const irr::core::stringw& id);

// -- Handlers -------------------------------------------------------------------
// Each takes the stream just behind the id byte. `sender` is the sender's
// record on a server (null: dropped there) and null on a client; which side
// this is comes from the network manager.
void handleHullLayout(RakNet::BitStream& stream, NetPlayer* sender);
void handleEmpireSetting(RakNet::BitStream& stream, NetPlayer* sender);
void handleEmpireMessage(RakNet::BitStream& stream);
void handleHullSetting(RakNet::BitStream& stream, NetPlayer* sender);
void handleEmpireCommand(RakNet::BitStream& stream, NetPlayer* sender);

// Enters the receivers of 127, 130, 131, 135 and 136 with `manager`.
void registerEmpireMessageReceivers(NetworkManager& manager);
