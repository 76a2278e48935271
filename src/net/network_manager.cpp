#include "net/network_manager.h"

#include <atomic>

namespace {

NetworkManager processNetworkManager;
std::atomic<uint16_t> gamePort{kDefaultGamePort};

}  // namespace

NetworkManager* networkManager = &processNetworkManager;

void publishGamePort(uint16_t port) { gamePort.store(port); }

uint16_t publishedGamePort() { return gamePort.load(); }
