// The calls of the peer (see peer.h); the service thread is in
// peer_service.cpp.
#include <arpa/inet.h>
#include <linux/filter.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "platform/bit_stream.h"
#include "platform/peer_impl.h"
#include "platform/system_address_io.h"

namespace RakNet {

namespace {

void initialiseTransport() {
  static std::once_flag once;
  std::call_once(once, [] { enet_initialize(); });
}

uint64_t drawRandom64() {
  std::random_device device;
  return static_cast<uint64_t>(device()) << 32 | device();
}

RakNetGUID drawGuid() {
  uint64_t value = drawRandom64();
  while (value == UNASSIGNED_GUID.g)
    value = drawRandom64();
  return RakNetGUID(value);
}

// A dotted IPv4 address (in the form SystemAddress keeps); false for
// anything else.
bool parseDotted(const char* text, uint32_t& binary) {
  in_addr address{};
  if (inet_pton(AF_INET, text, &address) != 1)
    return false;
  binary = address.s_addr;
  return true;
}

bool resolve(const char* host, uint32_t& binary) {
  if (parseDotted(host, binary))
    return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
    return false;
  binary = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return true;
}

// The transport reads a datagram into a buffer of ENET_PROTOCOL_MAXIMUM_MTU
// bytes, and a longer one ends its service call with an error. The system
// cuts longer datagrams to that size for us instead (a socket filter), so
// the transport never meets one, and the layer drops them, being over the
// host's MTU, as oversized. Empty datagrams, which the transport would read
// as "nothing waiting", are discarded by the system.
void filterDatagrams(int socket) {
  // The length the filter sees counts the 8-byte UDP header.
  constexpr uint32_t kUdpHeaderBytes = 8;
  static sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_LEN, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kUdpHeaderBytes, 3, 0),
      BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, ENET_PROTOCOL_MAXIMUM_MTU, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, ENET_PROTOCOL_MAXIMUM_MTU),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),
      BPF_STMT(BPF_RET | BPF_K, 0),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  // Without it (an old system) the service loop still goes on past such a
  // datagram, only without counting it.
  (void)setsockopt(socket, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

}  // namespace

RakPeerInterface* RakPeerInterface::GetInstance() { return new EnetPeer(); }

void RakPeerInterface::DestroyInstance(RakPeerInterface* peer) { delete peer; }

EnetPeer::Connection::~Connection() {
  for (std::deque<OutMessage>& queue : queues)
    for (OutMessage& message : queue)
      enet_packet_destroy(message.packet);
}

EnetPeer::EnetPeer() : myGuid_(drawGuid()), random_(drawRandom64()) { initialiseTransport(); }

EnetPeer::~EnetPeer() {
  Shutdown(0, 0, LOW_PRIORITY);
  freeQueuedPackets();
}

uint64_t EnetPeer::nowMs() const { return clock_.now(); }

StartupResult EnetPeer::Startup(unsigned maxConnections, const SocketDescriptor* descriptors,
                                unsigned descriptorCount, int /*threadPriority*/) {
  std::unique_lock<std::mutex> lock(lock_);
  if (active_)
    return PEER_ALREADY_STARTED;
  if (maxConnections == 0 || maxConnections > kMaxConnectionsLimit)
    return PEER_INVALID_MAX_CONNECTIONS;
  if (descriptors == nullptr || descriptorCount == 0)
    return PEER_INVALID_DESCRIPTORS;
  std::vector<ENetAddress> addresses(descriptorCount);
  for (unsigned i = 0; i < descriptorCount; ++i) {
    const SocketDescriptor& descriptor = descriptors[i];
    const std::size_t textLength = strnlen(descriptor.hostAddress, sizeof descriptor.hostAddress);
    if (textLength == sizeof descriptor.hostAddress)
      return PEER_INVALID_DESCRIPTORS;
    uint32_t binary = ENET_HOST_ANY;
    if (textLength > 0 && !parseDotted(descriptor.hostAddress, binary))
      return PEER_INVALID_DESCRIPTORS;
    addresses[i].host = binary;
    addresses[i].port = descriptor.port;
  }

  auto closeSockets = [this] {
    for (ENetHost* host : sockets_)
      enet_host_destroy(host);
    sockets_.clear();
  };
  for (const ENetAddress& address : addresses) {
    ENetHost* host = enet_host_create(&address, transportSlots(maxConnections), wire::kTransportChannels, 0, 0);
    if (host == nullptr) {
      closeSockets();
      return PEER_PORT_NOT_BOUND;
    }
    host->intercept = &EnetPeer::interceptEntry;
    filterDatagrams(host->socket);
    sockets_.push_back(host);
  }
  applyHostLimits();
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    closeSockets();
    return PEER_THREAD_NOT_STARTED;
  }

  maxConnections_ = maxConnections;
  cookies_ = wire::CookieKeeper(random_(), random_());
  stopping_ = false;
  wakePending_.store(false);
  thread_ = plat::ThreadHandle::start(&EnetPeer::serviceEntry, this, true);
  if (!thread_.valid()) {
    closeSockets();
    close(wakeFd_);
    wakeFd_ = -1;
    return PEER_THREAD_NOT_STARTED;
  }
  active_ = true;
  return PEER_STARTED;
}

bool EnetPeer::IsActive() const {
  std::lock_guard<std::mutex> lock(lock_);
  return active_;
}

void EnetPeer::SetMaximumIncomingConnections(unsigned count) {
  std::lock_guard<std::mutex> lock(lock_);
  maxIncoming_ = count;
  applyHostLimits();
}

void EnetPeer::applyHostLimits() {
  const bool serverHost = maxIncoming_ > 0;
  for (ENetHost* host : sockets_) {
    host->maximumPacketSize = maxIncomingMessageBytes(serverHost);
    host->maximumWaitingData = maxWaitingDataBytes(serverHost);
    host->duplicatePeers = kMaxConnectionsPerAddress;
  }
}

unsigned EnetPeer::GetMaximumIncomingConnections() const {
  std::lock_guard<std::mutex> lock(lock_);
  return maxIncoming_;
}

bool EnetPeer::SetIncomingPassword(const char* password, int length) {
  if (length < 0 || static_cast<std::size_t>(length) > wire::kMaxPasswordBytes ||
      (password == nullptr && length > 0))
    return false;
  std::lock_guard<std::mutex> lock(lock_);
  password_.assign(password == nullptr ? "" : password, static_cast<std::size_t>(length));
  return true;
}

ConnectResult EnetPeer::Connect(const char* host, uint16_t port, const char* password, int passwordLength,
                                const void* publicKey, unsigned socketIndex, unsigned attempts,
                                unsigned intervalMs, unsigned timeoutMs) {
  if (host == nullptr || host[0] == '\0' || port == 0 || publicKey != nullptr || attempts == 0 ||
      intervalMs == 0 || passwordLength < 0 ||
      static_cast<std::size_t>(passwordLength) > wire::kMaxPasswordBytes ||
      (password == nullptr && passwordLength > 0))
    return CONNECT_INVALID_PARAMETER;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (!running() || socketIndex >= sockets_.size())
      return CONNECT_INVALID_PARAMETER;
  }
  // A host name asks the resolver, outside the lock.
  uint32_t binary = 0;
  if (!resolve(host, binary))
    return CONNECT_UNRESOLVED_HOST;
  SystemAddress target;
  target.binaryAddress = binary;
  target.port = port;
  if (target == UNASSIGNED_SYSTEM_ADDRESS || binary == 0)
    return CONNECT_INVALID_PARAMETER;

  std::lock_guard<std::mutex> lock(lock_);
  if (!running() || socketIndex >= sockets_.size())
    return CONNECT_INVALID_PARAMETER;
  if (liveConnection(target) != nullptr)
    return CONNECT_ALREADY_CONNECTED;
  if (attempts_.count(target) != 0)
    return CONNECT_IN_PROGRESS;
  Attempt attempt;
  attempt.target = target;
  attempt.socketIndex = socketIndex;
  attempt.password.assign(password == nullptr ? "" : password, static_cast<std::size_t>(passwordLength));
  attempt.attempts = attempts;
  attempt.intervalMs = intervalMs;
  attempt.timeoutMs = timeoutMs;
  attempt.nextMs = nowMs();
  attempt.firstNonce = static_cast<uint32_t>(random_());
  attempts_.emplace(target, attempt);
  wake();
  return CONNECT_STARTED;
}

void EnetPeer::CloseConnection(const SystemAddress& address, bool notify, uint8_t /*orderingChannel*/,
                               PacketPriority /*priority*/) {
  std::lock_guard<std::mutex> lock(lock_);
  if (!running())
    return;
  if (attempts_.erase(address) != 0)
    return;
  Connection* connection = liveConnection(address);
  if (connection == nullptr)
    return;
  switch (connection->phase) {
    case Phase::Open:
      if (!notify) {
        drop(*connection);
        return;
      }
      connection->phase = Phase::Closing;
      established_.erase(std::find(established_.begin(), established_.end(), connection));
      wake();
      return;
    case Phase::AwaitTransport:
    case Phase::AwaitConfirm:
    case Phase::AwaitHello:
      // Not yet a connection anyone reported: a single notice at most.
      if (notify)
        enet_peer_disconnect_now(connection->transport, ID_DISCONNECTION_NOTIFICATION);
      drop(*connection);
      return;
    case Phase::Closing:
    case Phase::Refusing:
      if (!notify)
        drop(*connection);
      return;
  }
}

void EnetPeer::stopService(std::unique_lock<std::mutex>& lock) {
  stopping_ = true;
  changed_.notify_all();
  wake();
  lock.unlock();
  thread_.waitForExit();
  lock.lock();
  thread_ = plat::ThreadHandle();
}

void EnetPeer::Shutdown(unsigned blockMs, uint8_t /*orderingChannel*/, PacketPriority /*priority*/) {
  std::unique_lock<std::mutex> lock(lock_);
  if (!active_ || shuttingDown_)
    return;
  shuttingDown_ = true;
  attempts_.clear();
  if (blockMs > 0) {
    std::vector<Connection*> handshakes;
    for (auto& entry : live_) {
      Connection& connection = *entry.second;
      if (connection.phase == Phase::Open)
        connection.phase = Phase::Closing;
      else if (connection.phase != Phase::Closing && connection.phase != Phase::Refusing)
        handshakes.push_back(&connection);
    }
    established_.clear();
    for (Connection* connection : handshakes)
      drop(*connection);
    wake();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(blockMs);
    changed_.wait_until(lock, deadline, [this] { return live_.empty(); });
  }
  stopService(lock);

  // Whatever is left goes without notice.
  attempts_.clear();
  established_.clear();
  live_.clear();
  for (ENetHost* host : sockets_)
    enet_host_destroy(host);
  sockets_.clear();
  if (wakeFd_ >= 0)
    close(wakeFd_);
  wakeFd_ = -1;
  departed_.clear();
  admitted_.clear();
  active_ = false;
  stopping_ = false;
  shuttingDown_ = false;
  lock.unlock();
  freeQueuedPackets();
}

void EnetPeer::freeQueuedPackets() {
  std::deque<Queued> untaken;
  {
    std::lock_guard<std::mutex> lock(packetsLock_);
    untaken.swap(packets_);
  }
  for (const Queued& queued : untaken)
    DeallocatePacket(queued.packet);
}

uint32_t EnetPeer::Send(const BitStream* stream, PacketPriority priority, PacketReliability reliability,
                        uint8_t orderingChannel, const SystemAddress& target, bool broadcast) {
  if (stream == nullptr)
    return 0;
  return Send(reinterpret_cast<const char*>(stream->GetData()), static_cast<int>(stream->GetNumberOfBytesUsed()),
              priority, reliability, orderingChannel, target, broadcast);
}

uint32_t EnetPeer::Send(const char* data, int length, PacketPriority priority, PacketReliability reliability,
                        uint8_t orderingChannel, const SystemAddress& target, bool broadcast) {
  if (length < 0 || (data == nullptr && length > 0) || priority >= kPriorityCount ||
      reliability > RELIABLE_SEQUENCED || !wire::isOrderingChannel(orderingChannel) ||
      static_cast<std::size_t>(length) > kClientMaxMessageBytes)
    return 0;
  const std::size_t bytes = static_cast<std::size_t>(length);
  const wire::Route route = wire::routeFor(reliability, orderingChannel, bytes);

  std::lock_guard<std::mutex> lock(lock_);
  if (!running())
    return 0;
  uint32_t queued = 0;
  // Connections whose queue this message would take past its cap.
  std::vector<Connection*> overflowing;
  auto queueFor = [&](Connection& connection) {
    if (connection.queuedBytes + bytes > kMaxQueuedOutgoingBytes) {
      overflowing.push_back(&connection);
      return;
    }
    ENetPacket* packet = enet_packet_create(data, bytes, route.flags);
    if (packet == nullptr)
      return;
    connection.queues[priority].push_back(OutMessage{packet, route.channel});
    connection.queuedBytes += bytes;
    ++queued;
  };
  if (broadcast) {
    for (Connection* connection : established_)
      if (connection->address != target)
        queueFor(*connection);
  } else {
    Connection* connection = liveConnection(target);
    if (connection != nullptr && connection->phase == Phase::Open)
      queueFor(*connection);
  }
  for (Connection* connection : overflowing)
    abandon(*connection, "its send queue passed the limit (the remote takes nothing)");
  if (queued > 0)
    wake();
  return queued;
}

Packet* EnetPeer::Receive() {
  Queued next{nullptr, 0};
  {
    std::lock_guard<std::mutex> lock(packetsLock_);
    if (packets_.empty())
      return nullptr;
    next = packets_.front();
    packets_.pop_front();
  }
  if (next.retires != 0) {
    std::lock_guard<std::mutex> lock(lock_);
    departed_.erase(std::remove_if(departed_.begin(), departed_.end(),
                                   [&](const Departed& departed) { return departed.serial == next.retires; }),
                    departed_.end());
  }
  return next.packet;
}

void EnetPeer::DeallocatePacket(Packet* packet) {
  if (packet == nullptr)
    return;
  packet->~Packet();
  ::operator delete(packet);
}

void EnetPeer::queuePacket(const uint8_t* data, std::size_t length, const SystemAddress& address, RakNetGUID guid,
                           uint64_t retires) {
  // One block: the packet, then its bytes.
  void* block = ::operator new(sizeof(Packet) + length);
  Packet* packet = new (block) Packet();
  packet->data = reinterpret_cast<unsigned char*>(packet + 1);
  std::memcpy(packet->data, data, length);
  packet->length = static_cast<unsigned int>(length);
  packet->bitSize = 8 * length;
  packet->systemAddress = address;
  packet->guid = guid;
  std::lock_guard<std::mutex> lock(packetsLock_);
  packets_.push_back(Queued{packet, retires});
}

void EnetPeer::queueEvent(uint8_t id, const SystemAddress& address, RakNetGUID guid, uint64_t retires) {
  queuePacket(&id, 1, address, guid, retires);
}

PeerConnectionState EnetPeer::stateOf(const SystemAddress& address) const {
  if (const Connection* connection = liveConnection(address)) {
    switch (connection->phase) {
      case Phase::AwaitTransport:
      case Phase::AwaitConfirm:
      case Phase::AwaitHello:
        return CONNECTION_CONNECTING;
      case Phase::Open:
        return CONNECTION_OPEN;
      case Phase::Closing:
      case Phase::Refusing:
        return CONNECTION_CLOSING;
    }
  }
  if (attempts_.count(address) != 0)
    return CONNECTION_PENDING;
  for (const Departed& departed : departed_)
    if (departed.address == address)
      return CONNECTION_GONE;
  return CONNECTION_UNKNOWN;
}

PeerConnectionState EnetPeer::GetConnectionState(const SystemAddress& address) {
  std::lock_guard<std::mutex> lock(lock_);
  return stateOf(address);
}

PeerConnectionState EnetPeer::GetConnectionState(const RakNetGUID& guid) {
  if (guid == UNASSIGNED_GUID)
    return CONNECTION_UNKNOWN;
  std::lock_guard<std::mutex> lock(lock_);
  for (const auto& entry : live_)
    if (entry.second->guid == guid)
      return stateOf(entry.first);
  for (const Departed& departed : departed_)
    if (departed.guid == guid)
      return CONNECTION_GONE;
  return CONNECTION_UNKNOWN;
}

RakNetGUID EnetPeer::GetGuidFromSystemAddress(const SystemAddress& address) {
  if (address == UNASSIGNED_SYSTEM_ADDRESS)
    return myGuid_;
  std::lock_guard<std::mutex> lock(lock_);
  if (const Connection* connection = liveConnection(address))
    if (connection->guid != UNASSIGNED_GUID)
      return connection->guid;
  for (const Departed& departed : departed_)
    if (departed.address == address)
      return departed.guid;
  return UNASSIGNED_GUID;
}

SystemAddress EnetPeer::GetSystemAddressFromIndex(unsigned index) {
  std::lock_guard<std::mutex> lock(lock_);
  return index < established_.size() ? established_[index]->address : UNASSIGNED_SYSTEM_ADDRESS;
}

unsigned EnetPeer::NumberOfConnections() {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<unsigned>(established_.size());
}

void EnetPeer::SetTimeoutTime(unsigned timeoutMs, const SystemAddress& target) {
  const unsigned value = timeoutMs == 0 ? kDefaultTimeoutMs : timeoutMs;
  std::lock_guard<std::mutex> lock(lock_);
  if (target == UNASSIGNED_SYSTEM_ADDRESS) {
    defaultTimeoutMs_ = value;
    for (auto& entry : live_) {
      entry.second->timeoutMs = value;
      applyTimeout(*entry.second);
    }
    return;
  }
  if (Connection* connection = liveConnection(target)) {
    connection->timeoutMs = value;
    applyTimeout(*connection);
  }
}

uint64_t EnetPeer::GetDropCount(DropReason reason) { return drops_.count(reason); }

bool EnetPeer::AddToBanList(const char* address, uint32_t milliseconds) {
  return bans_.add(address, milliseconds, nowMs());
}

bool EnetPeer::IsBanned(const char* address) {
  uint32_t binary = 0;
  return parseIPv4Address(address, binary) && bans_.isBanned(binary, nowMs());
}

int EnetPeer::GetLastPing(const SystemAddress& address) {
  std::lock_guard<std::mutex> lock(lock_);
  const Connection* connection = liveConnection(address);
  if (connection == nullptr || connection->phase != Phase::Open || connection->transport == nullptr)
    return -1;
  return static_cast<int>(connection->transport->roundTripTime);
}

bool EnetPeer::GetStatistics(const SystemAddress& address, RakNetStatistics& out) {
  std::lock_guard<std::mutex> lock(lock_);
  Connection* connection = liveConnection(address);
  if (connection == nullptr || connection->phase != Phase::Open || connection->transport == nullptr)
    return false;
  RakNetStatistics statistics;
  for (unsigned priority = 0; priority < kPriorityCount; ++priority) {
    const std::deque<OutMessage>& queue = connection->queues[priority];
    statistics.messagesInSendBuffer[priority] = static_cast<uint32_t>(queue.size());
    for (const OutMessage& message : queue)
      statistics.bytesInSendBuffer[priority] += message.packet->dataLength;
  }
  // Reliable data sent and not yet acknowledged: what waits for its
  // acknowledgement, and what the transport took back to send again. A
  // message sent in fragments counts once, with the bytes of the fragments
  // still out.
  const ENetPacket* lastPacket = nullptr;
  auto countResend = [&](const ENetOutgoingCommand& command) {
    if (command.packet == nullptr)
      return;  // the transport's own pings and notices
    statistics.bytesInResendBuffer += command.fragmentLength;
    if (command.packet != lastPacket)
      ++statistics.messagesInResendBuffer;
    lastPacket = command.packet;
  };
  ENetPeer* transport = connection->transport;
  for (ENetListIterator it = enet_list_begin(&transport->sentReliableCommands);
       it != enet_list_end(&transport->sentReliableCommands); it = enet_list_next(it))
    countResend(*reinterpret_cast<const ENetOutgoingCommand*>(it));
  for (ENetListIterator it = enet_list_begin(&transport->outgoingCommands);
       it != enet_list_end(&transport->outgoingCommands); it = enet_list_next(it)) {
    const auto& command = *reinterpret_cast<const ENetOutgoingCommand*>(it);
    if (command.sendAttempts > 0 && (command.command.header.command & ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE) != 0)
      countResend(command);
  }
  const uint64_t now = nowMs();
  connection->accounting.samplePacketCounters(now, transport->packetsSent, transport->packetsLost);
  connection->accounting.fill(statistics, now);
  // No bandwidth limit is set on either side, and the transport's congestion
  // control only thins out unreliable data: neither limits the connection.
  statistics.isLimitedByCongestionControl = false;
  statistics.isLimitedByOutgoingBandwidthLimit = false;
  out = statistics;
  return true;
}

void EnetPeer::HoldService(bool hold) {
  std::lock_guard<std::mutex> lock(lock_);
  held_ = hold;
  changed_.notify_all();
}

unsigned EnetPeer::TransportPeersInUse() {
  std::lock_guard<std::mutex> lock(lock_);
  unsigned inUse = 0;
  for (ENetHost* host : sockets_)
    for (std::size_t i = 0; i < host->peerCount; ++i)
      if (host->peers[i].state != ENET_PEER_STATE_DISCONNECTED)
        ++inUse;
  return inUse;
}

uint16_t EnetPeer::GetBoundPort(unsigned index) {
  std::lock_guard<std::mutex> lock(lock_);
  return index < sockets_.size() ? sockets_[index]->address.port : 0;
}

void EnetPeer::AdvanceClock(uint64_t milliseconds) {
  clock_.advance(milliseconds);
  std::lock_guard<std::mutex> lock(lock_);
  wake();
}

void EnetPeer::HoldClock(bool hold) {
  if (hold)
    clock_.hold();
  else
    clock_.release();
  std::lock_guard<std::mutex> lock(lock_);
  wake();
}

void EnetPeer::wake() {
  if (wakeFd_ >= 0 && !wakePending_.exchange(true)) {
    const uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
  }
}

}  // namespace RakNet
