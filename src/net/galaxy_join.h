// Joining a game, the client's side: asking for the galaxy, reading the
// header (120) with the game clock and the empires, the progress marks
// (121), taking over an empire (119), and keeping the game clock in step
// with the server's (122). The message layouts are in net/galaxy_transfer.h.
//
// A client reads only what it can read whole: a header whose empire records
// are cut short changes nothing, a record with an ID that is the invalid
// empire's (131), the spectator's (176) or one already listed is skipped,
// and a time or speed that is not a finite number is ignored.
#pragma once

#include <cstdint>

namespace RakNet {
class BitStream;
}
class empire;

// The local spectator's ID.
constexpr uint8_t kSpectatorEmpireID = 176;
// The client runs this far (in real seconds at the server's speed) behind
// the server's reported time.
constexpr double kGameTimeLag = 0.25;
// The game clock's range: its seconds are filed and sent as 32-bit
// integers, so a server's time beyond them is refused.
constexpr double kMaxGameTime = 2147483647.0;

// Makes the local spectator empire of a joined game (the game session's
// maker): without one, a header makes no spectator.
void setSpectatorMaker(empire* (*maker)());

// Client senders; each throws std::runtime_error "Not connected to a
// server" when not connected.
void requestGalaxy();
void sendGalaxyReceived();
// Asks to play `emp`; nothing when not connected.
void sendPlayAsRequest(const empire* emp);

// The clock step of 122: the target time is t - 0.25 x s; with `setHard`
// the game time becomes the target, otherwise the game speed is s times a
// factor that closes the gap. `hasSpeed` false: s counts as 1 and the speed
// is left alone. Non-finite values change nothing.
void applyServerGameTime(bool setHard, double serverTime, double serverSpeed, bool hasSpeed);

// Handlers, each given the stream behind the id byte.
void handleGalaxyHeader(RakNet::BitStream& stream);
void handleGalaxyProgress(RakNet::BitStream& stream);
void handleGameTime(RakNet::BitStream& stream);
void handlePlayAs(RakNet::BitStream& stream);
