#include "net/network_manager.h"

#include <atomic>

namespace {

NetworkManager processNetworkManager;
std::atomic<uint16_t> gamePort{kDefaultGamePort};

}  // namespace

NetworkManager* networkManager = &processNetworkManager;

void NetworkManager::send(RakNet::BitStream* stream, uint8_t orderingChannel,
                          RakNet::PacketReliability reliability, const RakNet::SystemAddress& target) {
  if (stream == nullptr)
    return;
  if (sendObserver_)
    sendObserver_(*stream, orderingChannel, reliability, target);
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

void publishGamePort(uint16_t port) { gamePort.store(port); }

uint16_t publishedGamePort() { return gamePort.load(); }
