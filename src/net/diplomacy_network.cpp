#include "net/diplomacy_network.h"

#include "core/locks.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "empire/treaty_network.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

void DiplomacyMessageReceiver::handle(uint8_t, RakNet::BitStream& stream, NetPlayer* from) {
  if (networkManager != nullptr)
    handleDiplomacyMessage(*networkManager, stream, from);
}

void DiplomacyHandler::handle(uint8_t, RakNet::BitStream& stream, NetPlayer* from) {
  uint8_t kind = 0;
  if (!stream.Read(kind))
    return;
  if (networkManager != nullptr && networkManager->isServer) {
    empire* own = from != nullptr ? from->emp : nullptr;
    if (own == nullptr)
      return;
    if (kind == TMK_Proposal)
      readTreaty(own, stream);
    else if (kind == TMK_Answer)
      readTreatyAnswer(stream, own);
    return;
  }
  if (kind == TMK_Proposal)
    readTreaty(nullptr, stream);
  else if (kind == TMK_List)
    readTreatyList(stream);
}

void registerDiplomacyReceivers(NetworkManager& manager) {
  static DiplomacyMessageReceiver diplomacyMessages;
  static DiplomacyHandler treaties;
  static research::ResearchMsg research;
  manager.registerReceiver(ID_DIPLOMACY_MESSAGE, &diplomacyMessages);
  manager.registerReceiver(kTreatyMessageId, &treaties);
  manager.registerReceiver(research::kResearchMessageId, &research);
}

void sendPlayerTreaties(NetworkManager&, const NetPlayer& player) {
  empire* emp = player.emp;
  if (emp == nullptr)
    return;
  {
    // Cleared before the list is written: a change made meanwhile is sent
    // with the next pass.
    ScopedWriteLock guard(emp->locks[EA_Treaties]);
    if (!emp->treatiesChanged)
      return;
    emp->treatiesChanged = false;
  }
  sendTreaty(emp, player.address);
}
