#include "net/diplomacy_messages.h"

#include <cwchar>
#include <deque>
#include <mutex>

#include "core/locks.h"
#include "core/net_encoders.h"
#include "empire/diplomacy/diplo_msg.h"
#include "empire/diplomacy/diplomacy_texts.h"
#include "empire/empire.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"

std::atomic<empire*> playingEmpire{nullptr};

namespace {

constexpr uint8_t kDiplomacyChannel = 0;

struct DiplomacyOffer {
  const empire* proposer;
  const empire* receiver;
  uint32_t topic;
};

std::mutex offersLock;
std::deque<DiplomacyOffer> offers;  // oldest first, guarded by offersLock

bool isDeclaration(uint32_t topic) { return topic == DT_Peace || topic == DT_War; }
bool isAnswerTopic(uint32_t topic) { return topic == DT_Accept || topic == DT_Reject; }

// The topic of the oldest message from `from` that `own` has not answered
// yet; 0 when there is none.
uint32_t oldestUnansweredTopic(empire* own, const empire* from) {
  ScopedReadLock guard(own->locks[EA_Treaties]);
  for (const DiploMsg* message : own->diplomacyMessages)
    if (message->sender == from && message->response == DR_None && !message->finished)
      return message->topic;
  return 0;
}

// The first player with the galaxy who controls `emp`; unassigned when
// there is none.
RakNet::SystemAddress inGamePlayerOf(NetworkManager& manager, const empire* emp) {
  std::lock_guard<std::mutex> guard(manager.playersLock);
  for (const auto& entry : manager.players)
    if (entry.second.hasGalaxy != 0 && entry.second.emp == emp && entry.second.address != RakNet::SystemAddress())
      return entry.second.address;
  return RakNet::UNASSIGNED_SYSTEM_ADDRESS;
}

void sendFromServer(NetworkManager& manager, const RakNet::SystemAddress& player, const empire* from,
                    uint32_t topic) {
  RakNet::BitStream stream;
  stream.Write(ID_DIPLOMACY_MESSAGE);
  writeNetEmpire(stream, from);
  stream.Write(topic);
  manager.send(&stream, kDiplomacyChannel, RakNet::RELIABLE, player);
}

// Queues the message on `to` and tells its player.
void deliverLocally(empire* from, empire* to, uint32_t topic) {
  to->queueDiplomacyMessage(new DiploMsg(topic, from));
  postMiscMessage(to, diplomacyMessageText(from, to, topic));
}

void handleOnServer(NetworkManager& manager, RakNet::BitStream& stream, NetPlayer* sender) {
  if (sender == nullptr || sender->emp == nullptr)
    return;
  empire* from = readNetEmpire(stream);
  empire* to = readNetEmpire(stream);
  if (from == nullptr || to == nullptr || from != sender->emp || to == from || !to->isValid())
    return;
  uint32_t topic = 0;
  if (!stream.Read(topic))
    return;

  bool answer = isAnswerTopic(topic);
  bool declaration = false;
  if (isDeclaration(topic)) {
    bool answerBit = false;
    if (!stream.Read(answerBit))
      return;
    answer = answerBit;
    declaration = !answerBit;
  }
  if (answer) {
    uint32_t answeredTopic = 0;
    bool accepted = false;
    if (!stream.Read(answeredTopic) || !stream.Read(accepted))
      return;
    // Only what this server delivered to the answering empire can be
    // answered, once: an answer to a message never sent changes nothing.
    if (takeDiplomacyOffer(to, from, answeredTopic)) {
      DiploMsg answered(answeredTopic, to);
      answered.setResponse(accepted);
      answered.finish();
      applyDiplomacyAnswer(from, &answered);
    }
  } else if (declaration) {
    const DiploMsg declared(topic, from);
    applyWarDeclaration(to, &declared);
  }

  const RakNet::SystemAddress player = inGamePlayerOf(manager, to);
  if (player != RakNet::UNASSIGNED_SYSTEM_ADDRESS) {
    sendFromServer(manager, player, from, topic);
    if (declaration)
      recordDiplomacyOffer(from, to, topic);
  } else {
    deliverLocally(from, to, topic);
  }
}

void handleOnClient(RakNet::BitStream& stream) {
  empire* from = readNetEmpire(stream);
  uint32_t topic = 0;
  if (from == nullptr || !stream.Read(topic))
    return;
  empire* own = playingEmpire;
  if (own == nullptr || own == from)
    return;
  deliverLocally(from, own, topic);
}

}  // namespace

bool sendDiplomacyMessage(NetworkManager& manager, empire* from, empire* to, uint32_t topic) {
  if (to == nullptr)
    return false;
  if (isNetworkClient()) {
    empire* own = playingEmpire;
    if (own == nullptr)
      return false;
    RakNet::BitStream stream;
    stream.Write(ID_DIPLOMACY_MESSAGE);
    writeNetEmpire(stream, own);
    writeNetEmpire(stream, to);
    stream.Write(topic);
    if (isDeclaration(topic)) {
      stream.Write0();  // a proposal or declaration, never an answer
    } else if (isAnswerTopic(topic)) {
      stream.Write(oldestUnansweredTopic(own, to));
      stream.Write(topic == DT_Accept);
    }
    manager.send(&stream, kDiplomacyChannel, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    return true;
  }
  if (!manager.isServer || from == nullptr)
    return false;
  const RakNet::SystemAddress player = inGamePlayerOf(manager, to);
  if (player == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    return false;
  sendFromServer(manager, player, from, topic);
  if (isDeclaration(topic))
    recordDiplomacyOffer(from, to, topic);
  return true;
}

irr::core::stringw diplomacyMessageText(const empire* from, const empire* to, uint32_t topic) {
  wchar_t number[16];
  std::swprintf(number, 16, L"%u", static_cast<unsigned>(from->ID));
  irr::core::stringw text(L"#link:e");
  text += number;
  text += L"#The ";
  text += from->name;
  text += L" Empire has sent us a message: ";
  text += pickDiplomacyText(from, to, topic, DM_Neutral, DA_Neutral, nullptr);
  text += L"#link#";
  return text;
}

void handleDiplomacyMessage(NetworkManager& manager, RakNet::BitStream& stream, NetPlayer* sender) {
  if (manager.isServer)
    handleOnServer(manager, stream, sender);
  else if (isNetworkClient())
    handleOnClient(stream);
}

void recordDiplomacyOffer(const empire* proposer, const empire* receiver, uint32_t topic) {
  std::lock_guard<std::mutex> guard(offersLock);
  if (offers.size() >= kMaxDiplomacyOffers)
    offers.pop_front();
  offers.push_back({proposer, receiver, topic});
}

bool takeDiplomacyOffer(const empire* proposer, const empire* receiver, uint32_t topic) {
  std::lock_guard<std::mutex> guard(offersLock);
  for (auto it = offers.begin(); it != offers.end(); ++it) {
    if (it->proposer == proposer && it->receiver == receiver && it->topic == topic) {
      offers.erase(it);
      return true;
    }
  }
  return false;
}

void clearDiplomacyOffers() {
  std::lock_guard<std::mutex> guard(offersLock);
  offers.clear();
}
