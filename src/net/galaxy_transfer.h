// Joining a game, the server's side: the galaxy transfer to a player who
// asks for it, the confirmation that starts the game clock, the take-over
// of an empire no player controls, and the clock every in-game player
// receives.
//
//   115  galaxy request    client to server, no fields
//   120  galaxy header     f64 game time, f64 game speed; u8 empire count;
//                          per empire: u8 ID, u8 flags (bit 0 valid, bit 1
//                          AI, bit 2 reserved), u32 colour, u32 visibility
//                          mask, seven wide strings (name, ruler, player,
//                          ship set, race name, description, history), u16
//                          trait count and each trait id as a wide string;
//                          then u16 galaxy version (7)
//   137  gas sprites       the galaxy's gas sprites (gfx/gas_sprites.h)
//   123  object records    each top-level child of the galaxy with all it
//                          holds (universe/galaxygen/net_object_records.h)
//   121  progress          server to client: f32, (i / n) x 0.99 after the
//                          i-th of n top-level children, 1.0 at the end;
//                          client to server: no fields (the client has
//                          the galaxy)
//   119  play-as           client to server: u8 empire ID; server to
//                          client: u8 empire ID, the research take-over
//                          record (when the empire's web is a local one),
//                          u16 setting count with wide string and f32 each,
//                          u8 relation count with the other ID and the
//                          relation as a u16 (allied low, enemy high byte)
//   122  game time         bit set-hard, f64 time, f64 speed, bit cheats
//
// Wide strings are a length byte (at most 255) and that many UTF-16 units,
// byte-aligned, each low byte first; every other number travels most
// significant byte first.
//
// 120, 121 and 137 go to the joining client reliable ordered on channel 0,
// the records on channel 4. 119 goes reliable on channel 10; the 122 that
// answers a 121 reliable ordered on channel 0, the periodic one
// high-priority unreliable sequenced on channel 5.
//
// Transfers: one thread per transfer, at most two at once; a player has at
// most one transfer waiting or running (further requests are ignored), and
// requests beyond the two wait their turn. Every running transfer holds a
// pause of the galaxy processing threads and walks the galaxy one
// top-level child at a time, under that child's system lock (the galaxy's
// own for objects in open space), and stops at the next child once the
// session's `gameLoaded` is cleared. `galaxySendCount` counts the transfers
// that hold the galaxy: the session waits for it to come back to 0 before it
// destroys the galaxy.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/peer_types.h"

namespace RakNet {
class BitStream;
}
class NetworkManager;
class empire;
struct NetPlayer;

constexpr uint8_t ID_GALAXY_BEGIN = 120;
constexpr uint8_t ID_GALAXY_GAS_SPRITES = 137;
// The galaxy version a server sends, and the oldest a client accepts.
constexpr uint16_t kGalaxyVersion = 7;
constexpr uint16_t kOldestGalaxyVersion = 6;
// 120's empire flags.
constexpr uint8_t kGalaxyEmpireValid = 0x01;
constexpr uint8_t kGalaxyEmpireAI = 0x02;
constexpr uint8_t kGalaxyEmpireReserved = 0x04;
// Ordering channels of the joining messages.
constexpr uint8_t kGalaxyChannel = 0;
constexpr uint8_t kPlayAsChannel = 10;
constexpr uint8_t kGameTimeChannel = 5;
// Transfers that may run at once.
constexpr unsigned kMaxConcurrentGalaxyTransfers = 2;

// Transfers that hold the galaxy (and a pause of its threads).
extern std::atomic<int> galaxySendCount;

// The progress a 121 carries after the top-level child `index` of `count`:
// (index / count) x 0.99, every step in single precision.
float galaxyTransferProgress(uint32_t index, uint32_t count);

// Writes 120 (the id first) for the running game.
void writeGalaxyHeader(RakNet::BitStream& stream);
// 137, then each top-level child of the galaxy with its records and a 121;
// stops early (false) once `gameLoaded` is cleared.
bool sendObjectTree(NetworkManager& manager, const RakNet::SystemAddress& address);

// A player asks for the galaxy (115). False when it is ignored: no player,
// no address, or a transfer of that player waits or runs already.
bool requestGalaxyTransfer(NetworkManager& manager, const NetPlayer& player);
// Transfers running, and waiting for a free slot.
unsigned runningGalaxyTransfers();
unsigned waitingGalaxyTransfers();
// Waits until no transfer holds the galaxy (the session's tear-down).
void waitForGalaxyTransfers();

// Hands `emp` to `player`: the empire becomes player-controlled, the player
// gets its private state (119, designs, build lists) and every peer the
// announcement.
void assignPlayerEmpire(NetworkManager& manager, NetPlayer& player, empire* emp);

// Writes 122 (the id first).
void writeGameTime(RakNet::BitStream& stream, bool setHard, bool cheats);
// The periodic 122 to an in-game player.
void sendPeriodicGameTime(NetworkManager& manager, const NetPlayer& player);

// Enters the receivers of 115, 119, 120, 121, 122 and 137.
void registerJoiningReceivers(NetworkManager& manager);
