// Diplomatic messages between the players of a network game (message 132).
//
// Client to server (medium priority, reliable, channel 0):
//   u8 132, u8 sending empire ID, u8 receiving empire ID, u32 topic, then
//   - DT_Peace, DT_War:     bit "is an answer" (always 0 from a client);
//   - DT_Accept, DT_Reject: u32 the answered topic, bit "accepted";
//   - with the answer bit:  u32 the answered topic, bit "accepted".
// Server to the player of the receiving empire (the same priority,
// reliability and channel):
//   u8 132, u8 sending empire ID, u32 topic.
//
// The server applies a declaration of war at once and an answer only when
// it answers a peace or war message that the server itself delivered to the
// answering player's empire (see recordDiplomacyOffer). A message to an
// empire no player in the game controls is queued on that empire and told
// to it as a "misc" message.
#pragma once

#include <atomic>
#include <cstdint>

#include <irrString.h>

namespace RakNet {
class BitStream;
}
class NetworkManager;
class empire;
struct NetPlayer;

// The message id of a diplomatic message.
constexpr uint8_t ID_DIPLOMACY_MESSAGE = 132;

// The empire the local player plays; null when there is none (as on a
// dedicated server). A client's diplomatic messages go out in its name and
// the server's arrive for it. Natives read it on every thread.
extern std::atomic<empire*> playingEmpire;

// Sends a diplomatic message about `topic` to `to`.
// On a client it speaks for `playingEmpire` (nothing without one), whatever
// `from` is, and sends to the server; for DT_Accept and DT_Reject it answers
// the oldest unanswered message of `to` in the playing empire's queue.
// On a server it speaks for `from` and sends to the first player with the
// galaxy who controls `to`; a peace or war message so delivered is recorded
// as answerable.
// True when a message went out; false when there was nobody to send it to.
bool sendDiplomacyMessage(NetworkManager& manager, empire* from, empire* to, uint32_t topic);

// The text a received diplomatic message is told to its receiver with:
// "#link:e<ID>#The <name> Empire has sent us a message: <text>#link#".
irr::core::stringw diplomacyMessageText(const empire* from, const empire* to, uint32_t topic);

// Reads a 132 behind its id byte: the server's and the client's handling.
// `sender` is the sending player's record on a server.
void handleDiplomacyMessage(NetworkManager& manager, RakNet::BitStream& stream, NetPlayer* sender);

// The answerable messages a server has delivered to players' empires. Each
// record {proposer, receiver, topic} allows one answer of the receiver to
// the proposer about that topic; at most kMaxDiplomacyOffers are kept (the
// oldest go first). Any thread.
constexpr size_t kMaxDiplomacyOffers = 256;
void recordDiplomacyOffer(const empire* proposer, const empire* receiver, uint32_t topic);
// Removes a matching record; false when there is none.
bool takeDiplomacyOffer(const empire* proposer, const empire* receiver, uint32_t topic);
// Forgets every record (the empires are about to go).
void clearDiplomacyOffers();
