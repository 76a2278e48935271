// Diplomatic messages between the players of a network game (message 132).
#pragma once

#include <atomic>
#include <cstdint>

class NetworkManager;
class empire;

// The message id of a diplomatic message.
constexpr uint8_t ID_DIPLOMACY_MESSAGE = 132;

// The empire the local player plays; null when there is none (as on a
// dedicated server). Diplomatic messages go out in its name. Natives read
// it on every thread.
extern std::atomic<empire*> playingEmpire;

// Sends a diplomatic message about `topic` from `playingEmpire` to `to`;
// nothing without a playing empire. A client sends {132, the playing
// empire's ID, `to`'s ID, topic as u32} to its server (the answer topics
// accepted and rejected carry a further u32, the answered topic, which this
// form does not know: 0). A server sends {132, the playing empire's ID,
// topic} to the player who controls `to` and has the galaxy, and nothing
// when no such player is connected.
void sendDiplomacyMessage(NetworkManager& manager, const empire* to, uint32_t topic);
