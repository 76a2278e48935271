#include "net/master_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "app/base/config.h"
#include "core/log.h"
#include "core/net_encoders.h"
#include "core/random.h"
#include "core/threads.h"
#include "core/user_folders.h"
#include "net/message_ids.h"
#include "net/network_manager.h"
#include "platform/bit_stream.h"
#include "platform/peer.h"
#include "platform/system_address_io.h"

namespace {

// The largest draw of the process's old-style random numbers (0 to 32767).
constexpr int kRandomDrawMax = 32767;
// Connections of a client peer started for the master server.
constexpr unsigned kClientConnections = 2;
// The ports the master server listens on.
constexpr unsigned kMasterServerPorts = kMasterServerLastPort - kMasterServerFirstPort + 1;

bool isPast(uint32_t nowMs, uint32_t deadline) { return static_cast<int32_t>(nowMs - deadline) > 0; }

std::atomic<uint32_t> connectAttempts{0};
std::atomic<uint32_t> nameLookups{0};
std::atomic<bool> listRequested{false};

std::mutex listLock;
std::vector<ServerListEntry> processServerList;

// The master server's host name and the address it was last found at. The
// look-up thread holds a share of it, so that it may outlive everything else.
struct HostLookup {
  std::mutex lock;
  std::string host;     // the name looked up, or being looked up
  std::string address;  // its dotted IPv4 address; empty until found
  bool running = false;
};

const std::shared_ptr<HostLookup>& hostLookup() {
  static const std::shared_ptr<HostLookup> lookup = std::make_shared<HostLookup>();
  return lookup;
}

uint32_t lookUpHost(void* argument) {
  const std::unique_ptr<std::shared_ptr<HostLookup>> share(static_cast<std::shared_ptr<HostLookup>*>(argument));
  HostLookup& lookup = **share;
  std::string host;
  {
    std::lock_guard<std::mutex> guard(lookup.lock);
    host = lookup.host;
  }
  std::string found;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* results = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &results) == 0 && results != nullptr) {
    char text[INET_ADDRSTRLEN] = {};
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(results->ai_addr);
    if (inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) != nullptr)
      found = text;
  }
  if (results != nullptr)
    freeaddrinfo(results);
  if (found.empty())
    logError("Could not find the master server's address: %s\n", host.c_str());
  std::lock_guard<std::mutex> guard(lookup.lock);
  if (lookup.host == host)
    lookup.address = found;
  lookup.running = false;
  return 0;
}

// The address to contact `host` at: the text itself when it is an IPv4
// address, else what a look-up found. False while nothing was found: a
// look-up is then started unless one is under way.
bool masterServerAddress(const std::string& host, std::string& address) {
  uint32_t binary = 0;
  if (RakNet::parseIPv4Address(host.c_str(), binary)) {
    address = host;
    return true;
  }
  const std::shared_ptr<HostLookup>& lookup = hostLookup();
  std::lock_guard<std::mutex> guard(lookup->lock);
  if (lookup->host == host && !lookup->address.empty()) {
    address = lookup->address;
    return true;
  }
  if (lookup->running)
    return false;
  lookup->host = host;
  lookup->address.clear();
  lookup->running = true;
  ++nameLookups;
  Thread thread;
  if (!thread.start(lookUpHost, new std::shared_ptr<HostLookup>(lookup), true))
    lookup->running = false;
  return false;
}

void writeWidenedName(const irr::core::stringc& narrow, irr::core::stringw& out) {
  out.reserve(narrow.size() + 1);
  for (irr::u32 i = 0; i < narrow.size(); ++i)
    out.append(static_cast<wchar_t>(static_cast<unsigned char>(narrow[i])));
}

}  // namespace

uint16_t masterServerPort(int draw) {
  return static_cast<uint16_t>(kMasterServerFirstPort + static_cast<unsigned>(draw >> 2) % kMasterServerPorts);
}

bool NetworkManager::connectToMasterServer(bool asServer) {
  // No master server is known unless the user names one.
  const std::string configured = sMasterServer.c_str();
  if (configured.empty())
    return false;

  // 1.
  if (!(peerActive() && isServer.load() == asServer)) {
    if (peerActive())
      disconnect();
    if (asServer) {
      startPeer(kDefaultGamePort);
    } else {
      const RakNet::SocketDescriptor descriptor;
      if (peer->Startup(kClientConnections, &descriptor, 1, 0) == RakNet::PEER_STARTED)
        isNetworked = true;
    }
  }

  // 2.
  const uint16_t masterPort = masterServerPort(rand(kRandomDrawMax));

  // 3. The address that answered last time, else the configured host's.
  std::string host;
  if (masterAddress != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    host = masterAddress.ToString(false);
  else if (!masterServerAddress(configured, host))
    return false;

  // 4. A server contacts it from its second socket, not the game port.
  ++connectAttempts;
  const RakNet::ConnectResult result =
      peer->Connect(host.c_str(), masterPort, nullptr, 0, nullptr, asServer ? 1 : 0, kMasterConnectAttempts,
                    kMasterConnectIntervalMs, kMasterConnectTimeoutMs);
  // 5.
  return result == RakNet::CONNECT_STARTED || result == RakNet::CONNECT_ALREADY_CONNECTED ||
         result == RakNet::CONNECT_IN_PROGRESS;
}

void NetworkManager::serveMasterServer(uint32_t nowMs) {
  if (masterClosePending && isPast(nowMs, masterCloseTime)) {
    peer->CloseConnection(masterAddress, true, 0, RakNet::HIGH_PRIORITY);
    masterClosePending = false;
  }
  if (isPublic && isPast(nowMs, nextHeartbeatTime)) {
    // A contact that cannot start waits for the next one all the same.
    connectToMasterServer(true);
    nextHeartbeatTime = nowMs + kHeartbeatIntervalMs;
  }
}

void NetworkManager::onMasterServerAccepted(const RakNet::Packet& packet) {
  masterAddress = packet.systemAddress;
  if (isServer) {
    logPrint("Heartbeat...\n");
    sendMasterHeartbeat(*this, heartbeatDetails);
    masterClosePending = true;
    masterCloseTime = now() + kMasterCloseDelayMs;
    heartbeatDetails = rand(kRandomDrawMax) % 100 < kHeartbeatDetailsPercent;
  } else if (isNetworked) {
    logPrint("Fetching server list...\n");
    requestServerList(*this);
  }
}

void NetworkManager::onServerListChunk(const RakNet::Packet& packet, RakNet::BitStream& stream) {
  // Only the master server lists servers, and only for a process that asked.
  if (!listRequested || masterAddress == RakNet::UNASSIGNED_SYSTEM_ADDRESS || packet.systemAddress != masterAddress)
    return;
  logInfo("Got server list chunk\n");
  std::lock_guard<std::mutex> guard(listLock);
  readServerListChunk(stream, processServerList);
}

void sendMasterHeartbeat(NetworkManager& manager, bool withDetails) {
  RakNet::BitStream* stream = newBitStream();
  if (stream == nullptr)
    return;
  stream->Write(msgid::kMasterHeartbeat);
  stream->Write(withDetails);
  if (withDetails) {
    writeNetStringW(*stream, manager.serverName, kMaxNetStringLength);
    // (While the game-setup screen is open the mod is named kLobbyModName.)
    writeNetStringC(*stream, currentModName);
    stream->Write(manager.port);
  }
  stream->Write(static_cast<uint8_t>(std::min<size_t>(manager.playerCount(), 255)));
  stream->Write(manager.maxPlayers);
  manager.sendDirect(stream, RakNet::HIGH_PRIORITY, RakNet::RELIABLE, 0, manager.masterAddress, false);
  deleteBitStream(stream);
}

void requestServerList(NetworkManager& manager) {
  RakNet::BitStream* stream = newBitStream();
  if (stream == nullptr)
    return;
  stream->Write(msgid::kMasterServerList);
  listRequested = true;
  manager.send(stream, 0, RakNet::RELIABLE, manager.masterAddress);
  deleteBitStream(stream);
}

void readServerListChunk(RakNet::BitStream& stream, std::vector<ServerListEntry>& list) {
  while (stream.GetNumberOfUnreadBits() > 0 && list.size() < kServerListLimit) {
    ServerListEntry entry;
    bool wideName = false;
    if (!RakNet::readSystemAddress(stream, entry.address) || !stream.Read(entry.playerCount) ||
        !stream.Read(entry.maxPlayers) || !stream.Read(wideName))
      return;
    if (wideName) {
      if (!readNetStringW(stream, entry.name))
        return;
    } else {
      irr::core::stringc narrow;
      if (!readNetStringC(stream, narrow))
        return;
      writeWidenedName(narrow, entry.name);
    }
    if (!readNetStringC(stream, entry.modName))
      return;
    if (entry.address == RakNet::UNASSIGNED_SYSTEM_ADDRESS || entry.name.empty())
      continue;
    list.push_back(std::move(entry));
  }
}

std::vector<ServerListEntry> serverList() {
  std::lock_guard<std::mutex> guard(listLock);
  return processServerList;
}

void clearServerList() {
  std::lock_guard<std::mutex> guard(listLock);
  processServerList.clear();
}

bool serverListRequested() { return listRequested; }

uint32_t masterConnectAttempts() { return connectAttempts; }

uint32_t masterNameLookups() { return nameLookups; }

void forgetMasterServerAddress() {
  const std::shared_ptr<HostLookup>& lookup = hostLookup();
  std::lock_guard<std::mutex> guard(lookup->lock);
  lookup->host.clear();
  lookup->address.clear();
}
