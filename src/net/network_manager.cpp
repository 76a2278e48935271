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

void publishGamePort(uint16_t port) { gamePort.store(port); }

uint16_t publishedGamePort() { return gamePort.load(); }
