#include "net/network_manager.h"

#include <ITimer.h>

#include <new>

#include "app/base/engine.h"
#include "core/log.h"
#include "core/threads.h"
#include "core/utf16.h"
#include "design/effectors/effect_gfx.h"
#include "net/chat_log.h"
#include "net/diplomacy_messages.h"
#include "net/diplomacy_network.h"
#include "net/empire_messages.h"
#include "net/galaxy_transfer.h"
#include "net/message_receiver.h"
#include "net/object_receivers.h"
#include "net/object_requests.h"
#include "net/object_updates.h"
#include "net/upnp.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "universe/objects/game_object.h"

namespace {

// The running numbers of player records: the name's from 1, the id's from
// 50. Constant-initialised, so they are ready before the manager below.
std::atomic<uint32_t> nextPlayerNumber{1};
std::atomic<uint32_t> nextPlayerId{50};

std::atomic<uint16_t> gamePort{kDefaultGamePort};

// How long a connected peer's shut-down waits for its goodbyes to leave.
constexpr unsigned kShutdownWaitMs = 250;
// Connections of a client peer: the server, and the master server.
constexpr unsigned kClientConnections = 2;

// Declared after the counters: its own record is the first one made.
NetworkManager processNetworkManager;

}  // namespace

NetworkManager* networkManager = &processNetworkManager;

std::atomic<float> galaxyProgress{0.0f};

NetPlayer::NetPlayer() : id(nextPlayerId.fetch_add(1)) {
  name = L"Player ";
  name += irr::core::stringw(nextPlayerNumber.fetch_add(1));
}

NetworkManager::NetworkManager() : peer(RakNet::RakPeerInterface::GetInstance()) { localPlayer.name = L"Unknown"; }

NetworkManager::~NetworkManager() { RakNet::RakPeerInterface::DestroyInstance(peer); }

uint32_t NetworkManager::now() const { return engine.timer != nullptr ? engine.timer->getRealTime() : 0; }

bool NetworkManager::peerActive() const { return peer != nullptr && peer->IsActive(); }

bool NetworkManager::startPeer(uint16_t gamePortNumber) {
  if (gamePortNumber == kMasterServerFirstPort) {
    logError("25000 is unavailable for servers, hosting on default port\n");
    gamePortNumber = kDefaultGamePort;
  }
  port = gamePortNumber;
  // The game port on every local address, and a socket of any port for the
  // master server's connection.
  const RakNet::SocketDescriptor descriptors[2] = {RakNet::SocketDescriptor(port, ""), RakNet::SocketDescriptor()};
  if (peer->Startup(maxPlayers + 2u, descriptors, 2, 0) != RakNet::PEER_STARTED)
    return false;
  isServer = true;
  isConnected = true;
  // One slot more than the players, so that a refused player still hears
  // why.
  peer->SetMaximumIncomingConnections(maxPlayers + 1u);
  peer->SetIncomingPassword(kIncomingPassword, kIncomingPasswordLength);
  return true;
}

bool NetworkManager::host(uint16_t gamePortNumber) {
  if (peerActive() && !isServer)
    disconnect();
  if (!(peerActive() && isServer))
    startPeer(gamePortNumber != 0 ? gamePortNumber : port);
  heartbeatDetails = true;
  publishGamePort(port);
  startUpnpPortMapping();
  if (peerActive())
    isHosting = true;
  return peerActive();
}

bool NetworkManager::connect(const char* hostName, uint16_t gamePortNumber) {
  disconnect();
  const RakNet::SocketDescriptor descriptor;
  if (peer->Startup(kClientConnections, &descriptor, 1, 0) == RakNet::PEER_STARTED)
    isNetworked = true;
  return peer->Connect(hostName, gamePortNumber, kIncomingPassword, kIncomingPasswordLength, nullptr, 0,
                       kConnectAttempts, kConnectIntervalMs, 0) == RakNet::CONNECT_STARTED;
}

void NetworkManager::disconnect() {
  {
    std::lock_guard<std::mutex> guard(playersLock);
    players.clear();
  }
  if (peerActive()) {
    peer->Shutdown(isConnected ? kShutdownWaitMs : 0, 0, RakNet::LOW_PRIORITY);
    ++peerStops_;
  }
  isServer = false;
  isNetworked = false;
  isConnected = false;
  isHosting = false;
}

void NetworkManager::send(RakNet::BitStream* stream, uint8_t orderingChannel, RakNet::PacketReliability reliability,
                          const RakNet::SystemAddress& target) {
  if (stream == nullptr)
    return;
  if (sendObserver_)
    sendObserver_(*stream, orderingChannel, reliability, target);
  if (!peerActive())
    return;
  if (target != RakNet::UNASSIGNED_SYSTEM_ADDRESS) {
    peer->Send(stream, RakNet::MEDIUM_PRIORITY, reliability, orderingChannel, target, false);
  } else if (isServer) {
    peer->Send(stream, RakNet::MEDIUM_PRIORITY, reliability, orderingChannel, target, true);
  } else {
    // A client's first connection is its server.
    const RakNet::SystemAddress server = peer->GetSystemAddressFromIndex(0);
    if (server != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
      peer->Send(stream, RakNet::MEDIUM_PRIORITY, reliability, orderingChannel, server, false);
  }
}

void NetworkManager::sendDirect(RakNet::BitStream* stream, RakNet::PacketPriority priority,
                                RakNet::PacketReliability reliability, uint8_t orderingChannel,
                                const RakNet::SystemAddress& target, bool broadcast) {
  if (stream == nullptr)
    return;
  if (sendObserver_)
    sendObserver_(*stream, orderingChannel, reliability, target);
  if (peerActive())
    peer->Send(stream, priority, reliability, orderingChannel, target, broadcast);
}

void NetworkManager::sendServerNotice(const irr::core::stringw& text, const RakNet::SystemAddress& excluded) {
  RakNet::BitStream fallback;
  RakNet::BitStream* scratch = threadLocals().scratchStream;
  RakNet::BitStream& stream = scratch != nullptr ? *scratch : fallback;
  stream.Reset();
  writeChatMessage(stream, text);
  sendDirect(&stream, RakNet::LOW_PRIORITY, RakNet::RELIABLE_ORDERED, kChatChannel, excluded, true);
  appendChatLog(text);
}

NetPlayer* NetworkManager::getPlayer(RakNet::RakNetGUID guid) {
  std::lock_guard<std::mutex> guard(playersLock);
  return &players[guid.g];
}

NetPlayer* NetworkManager::findPlayer(RakNet::RakNetGUID guid) {
  std::lock_guard<std::mutex> guard(playersLock);
  const auto found = players.find(guid.g);
  return found == players.end() ? nullptr : &found->second;
}

size_t NetworkManager::playerCount() {
  std::lock_guard<std::mutex> guard(playersLock);
  return players.size();
}

std::vector<RakNet::SystemAddress> NetworkManager::inGamePlayerAddresses() {
  std::lock_guard<std::mutex> guard(playersLock);
  std::vector<RakNet::SystemAddress> addresses;
  for (const auto& entry : players)
    if (entry.second.hasGalaxy != 0 && entry.second.address != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
      addresses.push_back(entry.second.address);
  return addresses;
}

void NetworkManager::watchObject(generic_object* object) {
  if (object == nullptr || !isNetworked)
    return;
  std::lock_guard<std::mutex> guard(playersLock);
  if (watchedObjects.insert(object).second)
    object->grab();
}

void NetworkManager::registerReceiver(uint8_t messageId, MessageReceiver* receiver) {
  if (receiver == nullptr)
    receivers.erase(messageId);
  else
    receivers[messageId] = receiver;
}

void NetworkManager::forgetPlayerEmpires() {
  {
    std::lock_guard<std::mutex> guard(playersLock);
    for (auto& entry : players)
      entry.second.emp = nullptr;
  }
  clearDiplomacyOffers();
}

NetworkManager* createNetworkManager() {
  static EffectsHandler effectsHandler;
  networkManager->registerReceiver(ID_EFFECT_GFX, &effectsHandler);
  registerDiplomacyReceivers(*networkManager);
  registerObjectReceivers();
  registerObjectRequestReceivers(*networkManager);
  registerObjectUpdateReceivers(*networkManager);
  registerEmpireMessageReceivers(*networkManager);
  registerJoiningReceivers(*networkManager);
  return networkManager;
}

void sendToInGamePlayers(NetworkManager& manager, RakNet::BitStream* stream) {
  for (const RakNet::SystemAddress& address : manager.inGamePlayerAddresses())
    manager.sendDirect(stream, RakNet::HIGH_PRIORITY, RakNet::UNRELIABLE_SEQUENCED, 2, address, false);
}

RakNet::BitStream* newBitStream() { return new (std::nothrow) RakNet::BitStream(); }

void deleteBitStream(RakNet::BitStream* stream) { delete stream; }

uint32_t hashWideString(const irr::core::stringw& text) {
  uint32_t hash = 0;
  uint32_t units = 0;
  Utf16Units reader(text.c_str(), text.c_str() + text.size());
  for (int32_t unit = reader.next(); unit >= 0; unit = reader.next()) {
    hash = ((hash << 8) | (hash >> 24)) + static_cast<uint32_t>(unit);
    ++units;
  }
  uint32_t result = hash;
  for (uint32_t i = 0; i < units / 3; ++i)
    result *= hash;
  return result;
}

void publishGamePort(uint16_t portNumber) { gamePort.store(portNumber); }

uint16_t publishedGamePort() { return gamePort.load(); }
