// The network receivers of diplomacy and research: diplomatic messages
// (132), treaty traffic (133, DiplomacyHandler) and research (134,
// research::ResearchMsg), and the treaty part of the per-player pass.
#pragma once

#include <cstdint>

#include "net/message_receiver.h"

class NetworkManager;
struct NetPlayer;

// Message 132 (diplomacy_messages.h).
class DiplomacyMessageReceiver : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override;
};

// Message 133: {133, sub-kind, contents} (treaty_network.h). A server takes
// proposals (0) and answers (1) from a player with an empire, each tied to
// that empire; a client takes proposals (0) and its empire's full list (2).
// Anything else, and a message without a sub-kind, is dropped.
class DiplomacyHandler : public MessageReceiver {
 public:
  void handle(uint8_t messageId, RakNet::BitStream& stream, NetPlayer* from) override;
};

// Enters the receivers of 132, 133 and 134 in `manager`.
void registerDiplomacyReceivers(NetworkManager& manager);

// The per-player pass: the treaties of `player`'s empire when they changed
// since the last pass (the flag is then cleared).
void sendPlayerTreaties(NetworkManager& manager, const NetPlayer& player);
