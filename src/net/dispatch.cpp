// One poll of the network manager: the timed duties, then the receive loop
// that dispatches every waiting packet on its first byte.
#include <ITimer.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/base/console.h"
#include "app/base/engine.h"
#include "app/base/session_state.h"
#include "app/base/startup.h"
#include "core/locale.h"
#include "core/log.h"
#include "core/utf8.h"
#include "empire/empire.h"
#include "empire/research/research_network.h"
#include "net/chat_log.h"
#include "net/diplomacy_network.h"
#include "net/empire_messages.h"
#include "net/galaxy_transfer.h"
#include "net/message_ids.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "net/remote_console.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"

namespace {

// A game at most this fast counts as paused.
constexpr double kPausedSpeed = 0.0001;

// Restart announcements: hourly while more than an hour remains, every 15
// minutes within the last hour, every minute within the last 10 minutes.
constexpr int64_t kHourMs = 3600000;
constexpr int64_t kQuarterHourMs = 900000;
constexpr int64_t kTenMinutesMs = 600000;
constexpr int64_t kMinuteMs = 60000;

// True when `nowMs` is past `deadline` on the wrapping clock.
bool isPast(uint32_t nowMs, uint32_t deadline) { return static_cast<int32_t>(nowMs - deadline) > 0; }

// The restart announcement of `remaining` ms: the count rounded up, in hours
// or minutes.
irr::core::stringw restartAnnouncement(int64_t remaining, bool inHours) {
  const double count = std::ceil(static_cast<double>(remaining) / static_cast<double>(inHours ? kHourMs : kMinuteMs));
  char number[32];
  std::snprintf(number, sizeof number, "%0.0f", count);
  irr::core::stringw text = getLocalizedText(L"#DS_Restart");
  text += number;
  text += getLocalizedText(inHours ? L"#DS_RestartHours" : L"#DS_RestartMinutes");
  text += getLocalizedText(L"#DS_RestartHelp");
  return text;
}

}  // namespace

void NetworkManager::processPackets() {
  const uint32_t nowMs = now();
  // 1. Only a server has players whose absence pauses its game.
  if (isServer)
    runAutoPause();
  // 2. A client follows its server's schedule; a process that could not
  // host keeps its own.
  if (!isNetworked && restartInterval != 0 && runRestartSchedule(nowMs))
    return;

  // 3. A passed restart vote ends the session here.
  if (votesEnabled && voteType != 0 && tallyVote())
    return;

  // 4. A handler that stops the peer (an incompatible server, a console
  // command) ends the loop: nothing more is taken from the stopped peer.
  const uint32_t stopsBefore = peerStops_;
  while (peerActive()) {
    RakNet::Packet* packet = peer->Receive();
    if (packet == nullptr)
      break;
    const bool goOn = dispatch(*packet);
    peer->DeallocatePacket(packet);
    if (!goOn)
      return;
    if (peerStops_ != stopsBefore)
      break;
  }

  // 5.
  requestWatchedObjects();

  // 6.
  if (isServer && peerActive())
    runServerDuties(nowMs);
}

bool NetworkManager::dispatch(RakNet::Packet& packet) {
  if (packet.data == nullptr || packet.length == 0)
    return true;
  const uint8_t id = packet.data[0];
  // Read in place, behind the id byte.
  RakNet::BitStream stream(packet.data, packet.length, false);
  stream.IgnoreBits(8);
  // The peer names the sender in the packet; once its leaving has been
  // taken, the peer no longer knows the address.
  RakNet::RakNetGUID guid = packet.guid;
  if (guid == RakNet::UNASSIGNED_GUID)
    guid = peer->GetGuidFromSystemAddress(packet.systemAddress);
  NetPlayer* sender = isServer ? findPlayer(guid) : nullptr;

  const auto receiver = receivers.find(id);
  if (receiver != receivers.end()) {
    receiver->second->handle(id, stream, sender);
    return true;
  }

  switch (id) {
    case RakNet::ID_CONNECTION_REQUEST_ACCEPTED:
      onConnectionAccepted(packet);
      break;
    case RakNet::ID_CONNECTION_ATTEMPT_FAILED:
      onConnectionAttemptFailed(packet);
      break;
    case RakNet::ID_ALREADY_CONNECTED:
      if (Console* target = console())
        target->print(L"Already connected here");
      break;
    case RakNet::ID_NEW_INCOMING_CONNECTION:
      onNewIncomingConnection(packet, guid);
      break;
    case RakNet::ID_NO_FREE_INCOMING_CONNECTIONS:
      onNoFreeIncomingConnections();
      break;
    case RakNet::ID_DISCONNECTION_NOTIFICATION:
      onDisconnection(packet, guid, false);
      break;
    case RakNet::ID_CONNECTION_LOST:
      onDisconnection(packet, guid, true);
      break;
    case RakNet::ID_CONNECTION_BANNED:
      onBanned(packet);
      break;
    case RakNet::ID_INVALID_PASSWORD:
      onInvalidPassword();
      break;
    case msgid::kChat:
      onChat(packet, stream, sender);
      break;
    case msgid::kPlayerName:
      onPlayerName(stream, sender);
      break;
    case msgid::kGameSetup:
      // (The game-setup screen reads its state here while it exists.)
      break;
    case msgid::kGameSettings:
      onGameSettings(stream);
      break;
    case msgid::kProtocolVersion:
      return onProtocolVersion(stream);
    case msgid::kRemoteConsole:
      handleRemoteConsole(*this, packet.systemAddress, stream, now());
      break;
    case msgid::kSessionRestart:
      onSessionRestart();
      break;
    case msgid::kMasterServerList:
      onServerListChunk(packet, stream);
      break;
    default:
      if (id >= msgid::kFirstGameMessage && id <= msgid::kLastGameMessage)
        onGameMessage(id, stream, sender);
      break;
  }
  return true;
}

void NetworkManager::onGameMessage(uint8_t, RakNet::BitStream&, NetPlayer* sender) {
  // A server acts only for listed players: a peer still connecting, one
  // just removed or the master server has no record, and gets none.
  if (isServer && sender == nullptr)
    return;
  // (The handlers of the game's messages join here: chat and names, the
  // galaxy transfer and play-as, orders and requests, object replication,
  // empire settings and diplomacy.)
}

// ---------------------------------------------------------------------------
// Timed duties

void NetworkManager::runAutoPause() {
  if (!gameLoaded || !autoPause)
    return;
  const bool playing = playerCount() > 0;
  if (gameSpeed <= kPausedSpeed && playing) {
    gameSpeed = speedBeforePause;
    if (engine.timer != nullptr)
      engine.timer->setSpeed(static_cast<float>(speedBeforePause));
  } else if (gameSpeed > kPausedSpeed && !playing) {
    speedBeforePause = gameSpeed;
    gameSpeed = 0.0;
    if (engine.timer != nullptr)
      engine.timer->setSpeed(0.0f);
  }
}

bool NetworkManager::runRestartSchedule(uint32_t nowMs) {
  const int64_t remaining = static_cast<int32_t>(restartTime - nowMs);
  if (remaining < 0) {
    restartTime = nowMs + restartInterval;
    lastRestartNotice = 0;
    restartSessionNow();
    return true;
  }

  // No announcement since the last restart counts as long ago.
  const int64_t sinceNotice = lastRestartNotice == 0 ? INT64_MAX : static_cast<uint32_t>(nowMs - lastRestartNotice);
  bool due = false;
  bool inHours = false;
  if (remaining > kHourMs) {
    due = sinceNotice > kHourMs;
    inHours = true;
  } else if (remaining >= kTenMinutesMs) {
    due = sinceNotice > kQuarterHourMs;
  } else {
    due = sinceNotice > kMinuteMs;
  }
  if (!due)
    return false;
  const irr::core::stringw text = restartAnnouncement(remaining, inHours);
  if (text.empty())
    return false;
  // 0 stands for no announcement: a notice at the clock's 0 is kept as 1.
  lastRestartNotice = nowMs != 0 ? nowMs : 1;
  RakNet::BitStream message;
  writeChatMessage(message, text);
  send(&message, kChatChannel, RakNet::RELIABLE, RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  return false;
}

void NetworkManager::runServerDuties(uint32_t nowMs) {
  serveMasterServer(nowMs);
  // The step is due once its time has come, and also when its time lies
  // further ahead than one period (never set, or from before a wrap).
  const bool stepDue = !isPast(nextUpdateTime, nowMs) ||
                       static_cast<int32_t>(nextUpdateTime - nowMs) > static_cast<int32_t>(kUpdateIntervalMs);
  if (gameLoaded && stepDue && playerCount() > 0) {
    nextUpdateTime = nowMs + kUpdateIntervalMs;
    runReplicationStep();
  } else {
    sweepDeadConnections();
  }
}

void NetworkManager::runReplicationStep() {
  switch (updateMode) {
    case 0: {
      sweepDeadConnections();
      std::vector<NetPlayer*> inGame;
      {
        std::lock_guard<std::mutex> guard(playersLock);
        for (auto& entry : players)
          if (entry.second.hasGalaxy != 0)
            inGame.push_back(&entry.second);
      }
      // Records are removed only on this thread: the pointers hold.
      for (NetPlayer* player : inGame)
        sendPlayerState(*player);
      playerListChanged = false;
      updateMode = 1;
      break;
    }
    case 1:
      broadcastObjectUpdates(true);
      updateMode = 2;
      break;
    case 2:
      broadcastObjectUpdates(false);
      updateMode = 0;
      break;
    default:
      break;
  }
}

void NetworkManager::sweepDeadConnections() {
  std::vector<RakNet::RakNetGUID> dead;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (const auto& entry : players)
      dead.push_back(RakNet::RakNetGUID(entry.first));
  }
  for (const RakNet::RakNetGUID& guid : dead)
    if (peer->GetConnectionState(guid) >= RakNet::CONNECTION_DROPPING)
      removePlayer(guid, "Client '%ls' from %s disconnected\n", L" disconnected");
}

void NetworkManager::releaseEmpire(empire* emp) {
  emp->playerControlled = false;
  {
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_PlayerName, true);
    emp->playerName = L"";
  }
  // The empire's AI takes it over again, designing as the active empire.
  empire* previous = activeEmpire;
  activeEmpire = emp;
  runRegisterEmpireData(emp);
  activeEmpire = previous;
}

void NetworkManager::removePlayer(RakNet::RakNetGUID guid, const char* logFormat, const wchar_t* suffix) {
  irr::core::stringw name;
  RakNet::SystemAddress address;
  empire* emp = nullptr;
  {
    std::lock_guard<std::mutex> guard(playersLock);
    const auto found = players.find(guid.g);
    if (found == players.end())
      return;
    NetPlayer& player = found->second;
    name = player.name;
    address = player.address;
    emp = player.emp;
    player.address = RakNet::UNASSIGNED_SYSTEM_ADDRESS;
  }
  if (emp != nullptr)
    releaseEmpire(emp);
  logPrint(logFormat, name.c_str(), address.ToString().c_str());
  sendServerNotice(name + suffix);
  // (The player's rows on the game-setup screen are released here.)
  {
    std::lock_guard<std::mutex> guard(playersLock);
    players.erase(guid.g);
  }
  playerListChanged = true;
}

// ---------------------------------------------------------------------------
// Places that later work fills

void NetworkManager::sendPlayerState(NetPlayer& player) {
  sendPeriodicGameTime(*this, player);
  sendEmpireState(*this, player);
  research::sendPlayerResearch(*this, player);
  sendPlayerTreaties(*this, player);
}
