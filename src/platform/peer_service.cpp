// The peer's service thread (see peer.h and peer_impl.h): it runs the
// transport hosts under the peer's lock, answers connection requests, walks
// the handshakes, hands queued messages over and queues what arrives.
#include <enet/time.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/peer_impl.h"

namespace RakNet {

namespace {

// The peer whose service thread is running a transport host: the receive
// intercept, called from inside the transport, finds its peer here.
thread_local EnetPeer* servicingPeer = nullptr;
thread_local unsigned servicingSocket = 0;

// Events taken from one host in one round at most, so that a flood on one
// socket cannot keep the thread from its other work.
constexpr int kMaxEventsPerRound = 4096;
// The transport's own time-out counter limit (its default).
constexpr uint32_t kTransportTimeoutLimit = 32;

SystemAddress fromTransport(const ENetAddress& address) {
  SystemAddress result;
  result.binaryAddress = address.host;
  result.port = address.port;
  return result;
}

ENetAddress toTransport(const SystemAddress& address) {
  ENetAddress result{};
  result.host = address.binaryAddress;
  result.port = address.port;
  return result;
}

// The transport thins out unreliable sends whenever a round trip comes back
// slower than the last ones, down to dropping every one of them; on a busy
// machine a loopback connection's round trips jump about, and a client then
// hears nothing of the game clock or of moving objects for seconds. Unreliable
// messages here are lost only where the network loses them. Set once the
// handshake is over: the connecting side's values must match in it.
void keepUnreliableSends(ENetPeer* peer) {
  peer->packetThrottleDeceleration = 0;
  peer->packetThrottle = peer->packetThrottleLimit;
}

}  // namespace

uint32_t EnetPeer::serviceEntry(void* self) {
  static_cast<EnetPeer*>(self)->serviceLoop();
  return 0;
}

void EnetPeer::serviceLoop() {
  std::vector<pollfd> watched;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(lock_);
      changed_.wait(lock, [this] { return !held_ || stopping_; });
      if (stopping_)
        return;
      serviceRound();
      watched.clear();
      for (ENetHost* host : sockets_)
        watched.push_back(pollfd{host->socket, POLLIN, 0});
      watched.push_back(pollfd{wakeFd_, POLLIN, 0});
    }
    const int waitFor = waitMs(nowMs());
    if (waitFor > 0)
      poll(watched.data(), watched.size(), waitFor);
    wakePending_.store(false);
    uint64_t drained = 0;
    (void)!read(watched.back().fd, &drained, sizeof drained);
  }
}

int EnetPeer::waitMs(uint64_t now) const {
  std::lock_guard<std::mutex> lock(lock_);
  uint64_t next = now + kServiceIdleWaitMs;
  for (const auto& entry : attempts_)
    next = std::min(next, entry.second.nextMs);
  for (const auto& entry : live_)
    if (entry.second->handshakeDeadlineMs != 0)
      next = std::min(next, entry.second->handshakeDeadlineMs);
  for (const auto& entry : admitted_)
    next = std::min(next, entry.second + kHandshakeTimeoutMs);
  return next <= now ? 0 : static_cast<int>(next - now);
}

void EnetPeer::serviceRound() {
  servicingPeer = this;
  for (unsigned i = 0; i < sockets_.size(); ++i)
    pumpSocket(i);
  closeOversized();
  runTimers(nowMs());
  handOver();
  for (ENetHost* host : sockets_)
    enet_host_flush(host);
  sampleCounters(nowMs());
  servicingPeer = nullptr;
}

void EnetPeer::pumpSocket(unsigned index) {
  ENetHost* host = sockets_[index];
  servicingSocket = index;
  ENetEvent event;
  for (int n = 0; n < kMaxEventsPerRound; ++n) {
    const int result = enet_host_service(host, &event, 0);
    if (result == 0)
      break;
    // An error ends the transport's call early (a datagram it could not
    // read, which the socket filter keeps from happening, or a send the
    // system refused): what was read is gone, the rest waits for the next
    // call.
    if (result < 0)
      continue;
    switch (event.type) {
      case ENET_EVENT_TYPE_CONNECT:
        onTransportConnect(index, event.peer);
        break;
      case ENET_EVENT_TYPE_RECEIVE:
        onTransportReceive(event.peer, event.packet);
        break;
      case ENET_EVENT_TYPE_DISCONNECT:
        onTransportDisconnect(event.peer, event.data);
        break;
      case ENET_EVENT_TYPE_NONE:
        break;
    }
  }
}

int ENET_CALLBACK EnetPeer::interceptEntry(ENetHost* /*host*/, ENetEvent* /*event*/) {
  EnetPeer* peer = servicingPeer;
  return peer == nullptr ? 0 : peer->onDatagram(servicingSocket);
}

// Every datagram a host receives passes here first. 1 keeps it from the
// transport (handled or dropped), 0 lets the transport have it.
int EnetPeer::onDatagram(unsigned index) {
  ENetHost* host = sockets_[index];
  const uint8_t* data = host->receivedData;
  const std::size_t length = host->receivedDataLength;
  const SystemAddress from = fromTransport(host->receivedAddress);

  // No peer of ours sends a datagram above the host's MTU (the transport's
  // peers agree on at most that), and the socket filter cuts anything above
  // what the transport can read down to that.
  if (length > host->mtu) {
    countDrop(DropReason::Oversized);
    return 1;
  }

  if (wire::hasMagic(data, length)) {
    wire::Request request;
    wire::Answer answer;
    if (wire::decodeRequest(data, length, request))
      onRequest(index, from, request);
    else if (wire::decodeAnswer(data, length, answer))
      onAnswer(index, from, answer);
    else
      countDrop(DropReason::BadRequestDatagram);
    return 1;
  }

  wire::ConnectView connect;
  switch (wire::classifyDatagram(data, length, connect)) {
    case wire::DatagramKind::Known:
      return onKnownDatagram(index, from, data, length);
    case wire::DatagramKind::StrangerConnect:
      if (connect.channelCount < wire::kTransportChannels) {
        countDrop(DropReason::StrangerDatagram);
        return 1;
      }
      if (!cookies_.accepts(connect.data, from, nowMs())) {
        countDrop(DropReason::BadCookie);
        return 1;
      }
      admitted_.emplace(from, nowMs());
      return 0;
    case wire::DatagramKind::StrangerOther:
      break;
  }
  countDrop(DropReason::StrangerDatagram);
  return 1;
}

int EnetPeer::onKnownDatagram(unsigned index, const SystemAddress& from, const uint8_t* data, std::size_t length) {
  ENetHost* host = sockets_[index];
  // The header as the transport reads it: the peer id with its flags and
  // session, then the sent time when flagged.
  const uint16_t field = static_cast<uint16_t>(data[0] << 8 | data[1]);
  const unsigned peerId = field & ~(ENET_PROTOCOL_HEADER_FLAG_MASK | ENET_PROTOCOL_HEADER_SESSION_MASK);
  const unsigned session = (field & ENET_PROTOCOL_HEADER_SESSION_MASK) >> ENET_PROTOCOL_HEADER_SESSION_SHIFT;
  std::size_t at = (field & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) != 0 ? 4 : 2;
  // Nothing of ours compresses; a peer id the host never gave out, one that
  // is free, another source or another session belong to no connection.
  ENetPeer* peer = peerId < host->peerCount ? &host->peers[peerId] : nullptr;
  if ((field & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) != 0 || at > length || peer == nullptr ||
      peer->state == ENET_PEER_STATE_DISCONNECTED || peer->state == ENET_PEER_STATE_ZOMBIE ||
      peer->address.host != from.binaryAddress || peer->address.port != from.port ||
      (peer->outgoingPeerID < ENET_PROTOCOL_MAXIMUM_PEER_ID && session != peer->incomingSessionID)) {
    countDrop(DropReason::StrangerDatagram);
    return 1;
  }
  Connection* connection = static_cast<Connection*>(peer->data);
  if (connection != nullptr && connection->oversized)
    return 1;  // being closed: counted once, when it came

  // The commands, as far as they read cleanly (the transport checks them
  // again): a message announced larger than the host takes is never stored.
  const std::size_t limit = maxMessageBytes();
  while (at + sizeof(ENetProtocolCommandHeader) <= length) {
    const uint8_t command = data[at] & ENET_PROTOCOL_COMMAND_MASK;
    const std::size_t size = command < ENET_PROTOCOL_COMMAND_COUNT ? enet_protocol_command_size(command) : 0;
    if (size == 0 || at + size > length)
      break;
    ENetProtocol read;
    std::memcpy(&read, data + at, size);
    std::size_t carried = 0;
    switch (command) {
      case ENET_PROTOCOL_COMMAND_SEND_RELIABLE:
        carried = ENET_NET_TO_HOST_16(read.sendReliable.dataLength);
        break;
      case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE:
        carried = ENET_NET_TO_HOST_16(read.sendUnreliable.dataLength);
        break;
      case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED:
        carried = ENET_NET_TO_HOST_16(read.sendUnsequenced.dataLength);
        break;
      case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
      case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT:
        carried = ENET_NET_TO_HOST_16(read.sendFragment.dataLength);
        if (ENET_NET_TO_HOST_32(read.sendFragment.totalLength) > limit) {
          countDrop(DropReason::Oversized);
          if (connection != nullptr) {
            connection->oversized = true;
            oversized_.push_back(connection->address);
          } else {
            enet_peer_reset(peer);  // a handshake of nobody's: gone
          }
          return 1;
        }
        break;
      default:
        break;
    }
    at += size + carried;
  }
  return 0;
}

void EnetPeer::closeOversized() {
  for (const SystemAddress& address : oversized_)
    if (Connection* connection = liveConnection(address))
      abandon(*connection, "it sent a message over the size limit");
  oversized_.clear();
}

void EnetPeer::abandon(Connection& connection, const char* why) {
  std::fprintf(stderr, "Peer: closing the connection to %s: %s\n", connection.address.ToString(true).c_str(), why);
  if (connection.phase == Phase::Open) {
    departed_.push_back(Departed{connection.address, connection.guid, connection.serial});
    queueEvent(ID_CONNECTION_LOST, connection.address, connection.guid, connection.serial);
  }
  if (connection.transport != nullptr) {
    connection.transport->data = nullptr;
    enet_peer_disconnect_now(connection.transport, ID_DISCONNECTION_NOTIFICATION);
  }
  drop(connection);
}

unsigned EnetPeer::transportPeersFrom(uint32_t binaryAddress) const {
  unsigned count = 0;
  for (const ENetHost* host : sockets_)
    for (std::size_t i = 0; i < host->peerCount; ++i)
      if (host->peers[i].state != ENET_PEER_STATE_DISCONNECTED && host->peers[i].address.host == binaryAddress)
        ++count;
  return count;
}

void EnetPeer::sampleCounters(uint64_t now) {
  for (auto& entry : live_) {
    Connection& connection = *entry.second;
    if (connection.transport != nullptr)
      connection.accounting.samplePacketCounters(now, connection.transport->packetsSent,
                                                 connection.transport->packetsLost);
  }
}

int EnetPeer::transportSend(Connection& connection, uint8_t channel, ENetPacket* packet) {
  // The host's packet limit is also checked on sending: a server host,
  // which takes small messages only, may still send up to what a client
  // takes. Only this thread, under the lock, touches the host meanwhile.
  ENetHost* host = connection.transport->host;
  const std::size_t kept = host->maximumPacketSize;
  host->maximumPacketSize = kClientMaxMessageBytes;
  const std::size_t bytes = packet->dataLength;
  const int result = enet_peer_send(connection.transport, channel, packet);
  host->maximumPacketSize = kept;
  if (result == 0)
    connection.accounting.addBytesSent(bytes);
  return result;
}

bool EnetPeer::isBanned(const SystemAddress& address) const {
  return bans_.isBanned(address.binaryAddress, nowMs());
}

unsigned EnetPeer::openIncoming() const {
  return static_cast<unsigned>(
      std::count_if(established_.begin(), established_.end(), [](const Connection* c) { return !c->outgoing; }));
}

unsigned EnetPeer::openConnections() const { return static_cast<unsigned>(established_.size()); }

uint8_t EnetPeer::admission(const SystemAddress& from, uint64_t guid, const std::string& password,
                            const Connection* self) const {
  if (isBanned(from))
    return ID_CONNECTION_BANNED;
  if (password.size() != password_.size() || !std::equal(password.begin(), password.end(), password_.begin()))
    return ID_INVALID_PASSWORD;
  for (const Connection* open : established_)
    if (open->guid.g == guid)
      return ID_ALREADY_CONNECTED;
  const Connection* there = liveConnection(from);
  if (there != nullptr && there != self)
    return ID_ALREADY_CONNECTED;
  if (openIncoming() >= std::min(maxIncoming_, maxConnections_) || openConnections() >= maxConnections_)
    return ID_NO_FREE_INCOMING_CONNECTIONS;
  // A request from an address that already holds its share of connections
  // and handshakes (the transport would ignore its connect): refused at
  // once. At the hello the connection asking is one of them, and the
  // transport has kept the share already.
  if (self == nullptr && transportPeersFrom(from.binaryAddress) >= kMaxConnectionsPerAddress)
    return ID_NO_FREE_INCOMING_CONNECTIONS;
  return wire::kAccepted;
}

void EnetPeer::onRequest(unsigned index, const SystemAddress& from, const wire::Request& request) {
  wire::Answer answer;
  answer.nonce = request.nonce;
  answer.result = admission(from, request.guid, request.password, nullptr);
  if (answer.result == wire::kAccepted)
    answer.cookie = cookies_.issue(from, nowMs());
  const wire::AnswerBytes bytes = wire::encodeAnswer(answer);
  sendDatagram(index, from, bytes.data(), bytes.size());
}

void EnetPeer::onAnswer(unsigned index, const SystemAddress& from, const wire::Answer& answer) {
  const auto found = attempts_.find(from);
  if (found == attempts_.end() || found->second.socketIndex != index ||
      answer.nonce - found->second.firstNonce >= found->second.sent) {
    countDrop(DropReason::BadRequestDatagram);
    return;
  }
  const Attempt attempt = found->second;
  attempts_.erase(found);
  if (answer.result != wire::kAccepted) {
    queueEvent(answer.result, from, UNASSIGNED_GUID);
    return;
  }
  if (liveConnection(from) != nullptr) {
    queueEvent(ID_ALREADY_CONNECTED, from, UNASSIGNED_GUID);
    return;
  }
  if (live_.size() >= maxConnections_) {
    queueEvent(ID_CONNECTION_ATTEMPT_FAILED, from, UNASSIGNED_GUID);
    return;
  }
  const ENetAddress address = toTransport(from);
  ENetPeer* transport = enet_host_connect(sockets_[index], &address, wire::kTransportChannels, answer.cookie);
  if (transport == nullptr) {
    queueEvent(ID_CONNECTION_ATTEMPT_FAILED, from, UNASSIGNED_GUID);
    return;
  }
  Connection* connection = newConnection(from, index, transport);
  connection->outgoing = true;
  connection->phase = Phase::AwaitTransport;
  connection->password = attempt.password;
  connection->timeoutMs = attempt.timeoutMs != 0 ? attempt.timeoutMs : defaultTimeoutMs_;
  applyTimeout(*connection);
}

EnetPeer::Connection* EnetPeer::newConnection(const SystemAddress& address, unsigned socketIndex,
                                              ENetPeer* transport) {
  auto made = std::make_unique<Connection>();
  Connection* connection = made.get();
  connection->serial = nextSerial_++;
  connection->address = address;
  connection->socketIndex = socketIndex;
  connection->transport = transport;
  connection->handshakeDeadlineMs = nowMs() + kHandshakeTimeoutMs;
  connection->timeoutMs = defaultTimeoutMs_;
  transport->data = connection;
  live_[address] = std::move(made);
  return connection;
}

void EnetPeer::applyTimeout(Connection& connection) {
  if (connection.transport == nullptr)
    return;
  // Both ends ping when they have heard nothing for a ping interval, so a
  // live connection is never silent for much longer than that; a quarter of
  // the time-out leaves room for a few lost pings.
  const uint32_t pingMs = std::min<uint32_t>(ENET_PEER_PING_INTERVAL, std::max<uint32_t>(50, connection.timeoutMs / 4));
  enet_peer_ping_interval(connection.transport, pingMs);
  // The transport's own time-out, counted from its oldest unanswered send,
  // stays as a second guard.
  enet_peer_timeout(connection.transport, kTransportTimeoutLimit, connection.timeoutMs, connection.timeoutMs);
}

void EnetPeer::onTransportConnect(unsigned index, ENetPeer* peer) {
  keepUnreliableSends(peer);
  Connection* connection = static_cast<Connection*>(peer->data);
  if (connection != nullptr) {
    // Ours: the transport is up; the hello goes first.
    if (connection->phase != Phase::AwaitTransport || peer->channelCount < wire::kTransportChannels) {
      fail(*connection);
      return;
    }
    const std::vector<uint8_t> hello = wire::encodeHello(wire::Hello{myGuid_.g, connection->password});
    ENetPacket* packet = enet_packet_create(hello.data(), hello.size(), ENET_PACKET_FLAG_RELIABLE);
    if (packet == nullptr || transportSend(*connection, 0, packet) < 0) {
      if (packet != nullptr)
        enet_packet_destroy(packet);
      fail(*connection);
      return;
    }
    connection->phase = Phase::AwaitConfirm;
    return;
  }
  // Theirs: a stranger that showed a valid cookie. It is nobody until its hello.
  const SystemAddress from = fromTransport(peer->address);
  if (liveConnection(from) != nullptr) {
    enet_peer_reset(peer);
    return;
  }
  Connection* made = newConnection(from, index, peer);
  made->phase = Phase::AwaitHello;
  const auto admitted = admitted_.find(from);
  if (admitted != admitted_.end()) {
    made->handshakeDeadlineMs = admitted->second + kHandshakeTimeoutMs;
    admitted_.erase(admitted);
  }
  applyTimeout(*made);
}

void EnetPeer::onTransportReceive(ENetPeer* peer, ENetPacket* packet) {
  Connection* connection = static_cast<Connection*>(peer->data);
  const uint8_t* data = packet->data;
  const std::size_t length = packet->dataLength;
  if (connection != nullptr) {
    connection->accounting.addBytesReceived(length);
    switch (connection->phase) {
      case Phase::AwaitHello:
        onHello(*connection, data, length);
        break;
      case Phase::AwaitTransport:
      case Phase::AwaitConfirm:
        onConfirm(*connection, data, length);
        break;
      case Phase::Open:
        if (length == 0)
          countDrop(DropReason::EmptyMessage);
        else if (data[0] < kFirstUserMessageId)
          countDrop(DropReason::ReservedId);
        else
          queuePacket(data, length, connection->address, connection->guid, 0);
        break;
      case Phase::Closing:
      case Phase::Refusing:
        break;  // we have closed it: nothing more is read
    }
  }
  enet_packet_destroy(packet);
}

void EnetPeer::onHello(Connection& connection, const uint8_t* data, std::size_t length) {
  wire::Hello hello;
  if (!wire::decodeHello(data, length, hello)) {
    countDrop(DropReason::BadHello);
    drop(connection);
    return;
  }
  const uint8_t refusal = admission(connection.address, hello.guid, hello.password, &connection);
  if (refusal != wire::kAccepted) {
    enet_peer_disconnect(connection.transport, refusal);
    connection.phase = Phase::Refusing;
    return;
  }
  const auto confirm = wire::encodeConfirm(myGuid_.g);
  ENetPacket* packet = enet_packet_create(confirm.data(), confirm.size(), ENET_PACKET_FLAG_RELIABLE);
  if (packet == nullptr || transportSend(connection, 0, packet) < 0) {
    if (packet != nullptr)
      enet_packet_destroy(packet);
    drop(connection);
    return;
  }
  open(connection, RakNetGUID(hello.guid));
  queueEvent(ID_NEW_INCOMING_CONNECTION, connection.address, connection.guid);
}

void EnetPeer::onConfirm(Connection& connection, const uint8_t* data, std::size_t length) {
  uint64_t guid = 0;
  if (connection.phase != Phase::AwaitConfirm || !wire::decodeConfirm(data, length, guid)) {
    countDrop(DropReason::BadHello);
    fail(connection);
    return;
  }
  open(connection, RakNetGUID(guid));
  queueEvent(ID_CONNECTION_REQUEST_ACCEPTED, connection.address, connection.guid);
}

void EnetPeer::open(Connection& connection, RakNetGUID guid) {
  connection.guid = guid;
  connection.phase = Phase::Open;
  connection.handshakeDeadlineMs = 0;
  established_.push_back(&connection);
}

void EnetPeer::onTransportDisconnect(ENetPeer* peer, uint32_t data) {
  Connection* connection = static_cast<Connection*>(peer->data);
  peer->data = nullptr;
  if (connection == nullptr)
    return;
  connection->transport = nullptr;  // the transport has reset it already
  switch (connection->phase) {
    case Phase::AwaitTransport:
    case Phase::AwaitConfirm: {
      // Our attempt ends: refused with a reason, or simply failed.
      const uint8_t event = wire::isRefusal(data) ? static_cast<uint8_t>(data) : uint8_t{ID_CONNECTION_ATTEMPT_FAILED};
      queueEvent(event, connection->address, UNASSIGNED_GUID);
      forget(*connection);
      return;
    }
    case Phase::Open: {
      departed_.push_back(Departed{connection->address, connection->guid, connection->serial});
      queueEvent(wire::eventForCloseData(data), connection->address, connection->guid, connection->serial);
      forget(*connection);
      return;
    }
    case Phase::AwaitHello:
    case Phase::Closing:
    case Phase::Refusing:
      forget(*connection);  // nobody was told of it, or we closed it: no event
      return;
  }
}

void EnetPeer::runTimers(uint64_t now) {
  for (auto it = attempts_.begin(); it != attempts_.end();) {
    Attempt& attempt = it->second;
    if (now < attempt.nextMs) {
      ++it;
      continue;
    }
    if (attempt.sent < attempt.attempts) {
      sendRequest(attempt);
      attempt.nextMs += attempt.intervalMs;
      if (attempt.nextMs <= now)
        attempt.nextMs = now + attempt.intervalMs;
      ++it;
      continue;
    }
    queueEvent(ID_CONNECTION_ATTEMPT_FAILED, attempt.target, UNASSIGNED_GUID);
    it = attempts_.erase(it);
  }

  // A stranger's transport connect that has not become a connection in the
  // handshake time loses its slot.
  for (auto it = admitted_.begin(); it != admitted_.end();) {
    if (now < it->second + kHandshakeTimeoutMs) {
      ++it;
      continue;
    }
    for (ENetHost* host : sockets_)
      for (std::size_t i = 0; i < host->peerCount; ++i) {
        ENetPeer& peer = host->peers[i];
        if (peer.data == nullptr && peer.address.host == it->first.binaryAddress &&
            peer.address.port == it->first.port && peer.state != ENET_PEER_STATE_DISCONNECTED) {
          enet_peer_reset(&peer);
          countDrop(DropReason::HandshakeTimeout);
        }
      }
    it = admitted_.erase(it);
  }

  std::vector<Connection*> overdue;
  std::vector<Connection*> silent;
  for (auto& entry : live_) {
    Connection& connection = *entry.second;
    if (connection.phase == Phase::Open || connection.phase == Phase::Closing) {
      const ENetPeer* transport = connection.transport;
      if (transport != nullptr &&
          ENET_TIME_DIFFERENCE(transport->host->serviceTime, transport->lastReceiveTime) >= connection.timeoutMs)
        silent.push_back(&connection);
    } else if (connection.handshakeDeadlineMs != 0 && now >= connection.handshakeDeadlineMs) {
      overdue.push_back(&connection);
    }
  }
  for (Connection* connection : overdue) {
    if (connection->outgoing) {
      fail(*connection);
    } else {
      if (connection->phase == Phase::AwaitHello)
        countDrop(DropReason::HandshakeTimeout);
      drop(*connection);
    }
  }
  // Heard nothing for the time-out: lost (nobody is told of a closing one).
  for (Connection* connection : silent) {
    if (connection->phase == Phase::Open) {
      departed_.push_back(Departed{connection->address, connection->guid, connection->serial});
      queueEvent(ID_CONNECTION_LOST, connection->address, connection->guid, connection->serial);
    }
    drop(*connection);
  }
}

void EnetPeer::sendRequest(Attempt& attempt) {
  wire::Request request;
  request.nonce = attempt.firstNonce + attempt.sent;
  request.guid = myGuid_.g;
  request.password = attempt.password;
  wire::RequestBytes bytes;
  if (wire::encodeRequest(request, bytes))
    sendDatagram(attempt.socketIndex, attempt.target, bytes.data(), bytes.size());
  ++attempt.sent;
}

void EnetPeer::sendDatagram(unsigned index, const SystemAddress& to, const uint8_t* data, std::size_t length) {
  const ENetAddress address = toTransport(to);
  ENetBuffer buffer;
  buffer.data = const_cast<uint8_t*>(data);
  buffer.dataLength = length;
  enet_socket_send(sockets_[index]->socket, &address, &buffer, 1);
}

void EnetPeer::handOver() {
  for (auto& entry : live_) {
    Connection& connection = *entry.second;
    if (connection.transport == nullptr ||
        (connection.phase != Phase::Open && connection.phase != Phase::Closing))
      continue;
    ENetPeer* transport = connection.transport;
    // Only what the transport can send soon is handed over; the rest waits
    // here, where a message of higher priority can still go first.
    if (enet_list_empty(&transport->outgoingCommands)) {
      std::size_t handed = 0;
      for (std::deque<OutMessage>& queue : connection.queues) {
        while (!queue.empty() && handed < kHandOverBytes) {
          const OutMessage message = queue.front();
          queue.pop_front();
          connection.queuedBytes -= message.packet->dataLength;
          handed += std::max<std::size_t>(1, message.packet->dataLength);
          if (transportSend(connection, message.channel, message.packet) < 0)
            enet_packet_destroy(message.packet);
        }
        if (handed >= kHandOverBytes)
          break;
      }
    }
    // A close with notice follows everything queued before it.
    if (connection.phase == Phase::Closing && !connection.closeIssued &&
        std::all_of(std::begin(connection.queues), std::end(connection.queues),
                    [](const std::deque<OutMessage>& queue) { return queue.empty(); })) {
      enet_peer_disconnect_later(transport, ID_DISCONNECTION_NOTIFICATION);
      connection.closeIssued = true;
    }
  }
}

EnetPeer::Connection* EnetPeer::liveConnection(const SystemAddress& address) const {
  const auto found = live_.find(address);
  return found == live_.end() ? nullptr : found->second.get();
}

void EnetPeer::forget(Connection& connection) {
  if (connection.transport != nullptr)
    connection.transport->data = nullptr;
  const auto open = std::find(established_.begin(), established_.end(), &connection);
  if (open != established_.end())
    established_.erase(open);
  live_.erase(connection.address);
  changed_.notify_all();
}

void EnetPeer::drop(Connection& connection) {
  if (connection.transport != nullptr) {
    connection.transport->data = nullptr;
    enet_peer_reset(connection.transport);
    connection.transport = nullptr;
  }
  forget(connection);
}

void EnetPeer::fail(Connection& connection) {
  queueEvent(ID_CONNECTION_ATTEMPT_FAILED, connection.address, UNASSIGNED_GUID);
  drop(connection);
}

}  // namespace RakNet
