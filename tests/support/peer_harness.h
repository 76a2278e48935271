// Peers for network tests: started servers and clients, waiting for what
// they receive, and raw sockets and transport datagrams to speak to a peer
// by hand. Use inside runInPrivateNetwork (network_child.h).
#pragma once

#include <arpa/inet.h>
#include <enet/enet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/peer.h"
#include "platform/peer_wire.h"

namespace peerharness {

using RakNet::RakPeerInterface;
using RakNet::SystemAddress;

constexpr char kPassword[] = "qv-marbol-tekkan";
constexpr uint16_t kServerPort = 12100;
// Only a safety net: every wait ends on its event long before.
constexpr int kSafetyMs = 60000;

struct PeerDeleter {
  void operator()(RakPeerInterface* peer) const { RakPeerInterface::DestroyInstance(peer); }
};
using PeerPtr = std::unique_ptr<RakPeerInterface, PeerDeleter>;

inline SystemAddress loopback(uint16_t port) { return SystemAddress::fromOctets(127, 0, 0, 1, port); }

inline PeerPtr startServer(unsigned maxConnections = 8, unsigned maxIncoming = 4, const char* password = kPassword,
                           uint16_t port = kServerPort) {
  PeerPtr peer(RakPeerInterface::GetInstance());
  RakNet::SocketDescriptor descriptors[2] = {RakNet::SocketDescriptor(port, ""), RakNet::SocketDescriptor()};
  EXPECT_EQ(peer->Startup(maxConnections, descriptors, 2, 0), RakNet::PEER_STARTED);
  peer->SetMaximumIncomingConnections(maxIncoming);
  if (password != nullptr) {
    EXPECT_TRUE(peer->SetIncomingPassword(password, static_cast<int>(std::strlen(password))));
  }
  return peer;
}

inline PeerPtr startClient() {
  PeerPtr peer(RakPeerInterface::GetInstance());
  RakNet::SocketDescriptor descriptor;
  EXPECT_EQ(peer->Startup(2, &descriptor, 1, 0), RakNet::PEER_STARTED);
  return peer;
}

inline RakNet::ConnectResult connectTo(RakPeerInterface& client, uint16_t port = kServerPort,
                                       const char* password = kPassword, unsigned attempts = 12,
                                       unsigned intervalMs = 500) {
  return client.Connect("127.0.0.1", port, password, password == nullptr ? 0 : static_cast<int>(std::strlen(password)),
                        nullptr, 0, attempts, intervalMs, 0);
}

// A received packet, copied.
struct Got {
  std::vector<uint8_t> bytes;
  SystemAddress from;
  RakNet::RakNetGUID guid;

  uint8_t id() const { return bytes.empty() ? 0 : bytes[0]; }
};

inline std::optional<Got> take(RakPeerInterface& peer) {
  RakNet::Packet* packet = peer.Receive();
  if (packet == nullptr)
    return std::nullopt;
  Got got;
  got.bytes.assign(packet->data, packet->data + packet->length);
  got.from = packet->systemAddress;
  got.guid = packet->guid;
  EXPECT_EQ(packet->bitSize, 8u * packet->length);
  peer.DeallocatePacket(packet);
  return got;
}

// Waits until `done` holds, at most the safety time; false if it never did.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = kSafetyMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The next packet, waiting for it.
inline std::optional<Got> next(RakPeerInterface& peer, int timeoutMs = kSafetyMs) {
  std::optional<Got> got;
  waitUntil([&] { return (got = take(peer)).has_value(); }, timeoutMs);
  return got;
}

// Waits for a packet starting with `id`; the packets before it go to
// `before` (when given).
inline std::optional<Got> waitFor(RakPeerInterface& peer, uint8_t id, std::vector<Got>* before = nullptr,
                                  int timeoutMs = kSafetyMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    std::optional<Got> got = next(peer, static_cast<int>(std::max<int64_t>(0, left.count())));
    if (!got.has_value())
      return std::nullopt;
    if (got->id() == id)
      return got;
    if (before != nullptr)
      before->push_back(*got);
  }
}

// What a peer has queued right now.
inline std::vector<Got> drain(RakPeerInterface& peer) {
  std::vector<Got> all;
  while (std::optional<Got> got = take(peer))
    all.push_back(*got);
  return all;
}

// Connects `client` to `server` and takes the 16 and the 19; the client's
// address as the server sees it.
inline SystemAddress connectPair(RakPeerInterface& server, RakPeerInterface& client, uint16_t port = kServerPort) {
  EXPECT_EQ(connectTo(client, port), RakNet::CONNECT_STARTED);
  const std::optional<Got> accepted = waitFor(client, RakNet::ID_CONNECTION_REQUEST_ACCEPTED);
  const std::optional<Got> incoming = waitFor(server, RakNet::ID_NEW_INCOMING_CONNECTION);
  EXPECT_TRUE(accepted.has_value());
  EXPECT_TRUE(incoming.has_value());
  return incoming.has_value() ? incoming->from : SystemAddress();
}

inline uint32_t send(RakPeerInterface& peer, const std::vector<uint8_t>& bytes, const SystemAddress& to,
                     RakNet::PacketReliability reliability = RakNet::RELIABLE_ORDERED, uint8_t channel = 0,
                     RakNet::PacketPriority priority = RakNet::MEDIUM_PRIORITY) {
  return peer.Send(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), priority,
                   reliability, channel, to, false);
}

// -- Raw UDP ------------------------------------------------------------------

// A UDP socket bound to `address` (port 0 for any).
class RawSocket {
 public:
  explicit RawSocket(const SystemAddress& address = loopback(0)) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = toSockaddr(address);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0) << std::strerror(errno);
  }
  ~RawSocket() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  RawSocket(const RawSocket&) = delete;
  RawSocket& operator=(const RawSocket&) = delete;

  static sockaddr_in toSockaddr(const SystemAddress& address) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = address.binaryAddress;
    result.sin_port = htons(address.port);
    return result;
  }

  void sendTo(const SystemAddress& to, const std::vector<uint8_t>& bytes) const {
    const sockaddr_in target = toSockaddr(to);
    EXPECT_EQ(::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target),
              static_cast<ssize_t>(bytes.size()));
  }

  // The next datagram, waiting at most `timeoutMs`.
  std::optional<std::vector<uint8_t>> receive(int timeoutMs = kSafetyMs, SystemAddress* from = nullptr) const {
    pollfd watched{fd_, POLLIN, 0};
    if (::poll(&watched, 1, timeoutMs) != 1)
      return std::nullopt;
    std::vector<uint8_t> buffer(65536);
    sockaddr_in source{};
    socklen_t sourceLength = sizeof source;
    const ssize_t got =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&source), &sourceLength);
    if (got < 0)
      return std::nullopt;
    buffer.resize(static_cast<std::size_t>(got));
    if (from != nullptr) {
      from->binaryAddress = source.sin_addr.s_addr;
      from->port = ntohs(source.sin_port);
    }
    return buffer;
  }

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

inline std::vector<uint8_t> requestBytes(uint32_t nonce, uint64_t guid, const std::string& password) {
  RakNet::wire::RequestBytes bytes;
  RakNet::wire::Request request;
  request.nonce = nonce;
  request.guid = guid;
  request.password = password;
  EXPECT_TRUE(RakNet::wire::encodeRequest(request, bytes));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A transport CONNECT datagram as a stranger sends it: the 4-byte header
// (peer id 0xFFF, sent time), then the 48-byte CONNECT command.
inline std::vector<uint8_t> connectDatagram(uint32_t channelCount, uint32_t data, uint32_t connectId = 0x5EED) {
  std::vector<uint8_t> out;
  auto u8 = [&](uint32_t v) { out.push_back(static_cast<uint8_t>(v)); };
  auto u16 = [&](uint32_t v) { u8(v >> 8); u8(v); };
  auto u32 = [&](uint32_t v) { u16(v >> 16); u16(v); };
  u16(ENET_PROTOCOL_HEADER_FLAG_SENT_TIME | ENET_PROTOCOL_MAXIMUM_PEER_ID);
  u16(0x1234);                                                      // sent time
  u8(ENET_PROTOCOL_COMMAND_CONNECT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE);
  u8(0xFF);                                                         // channel
  u16(1);                                                           // reliable sequence number
  u16(0);                                                           // outgoing peer id
  u8(0xFF);                                                         // incoming session
  u8(0xFF);                                                         // outgoing session
  u32(1400);                                                        // mtu
  u32(65536);                                                       // window size
  u32(channelCount);
  u32(0);                                                           // incoming bandwidth
  u32(0);                                                           // outgoing bandwidth
  u32(5000);                                                        // throttle interval
  u32(2);                                                           // throttle acceleration
  u32(2);                                                           // throttle deceleration
  u32(connectId);
  u32(data);
  return out;
}

// -- A plain transport host that speaks the layer by hand ---------------------

class PlainHost {
 public:
  PlainHost() {
    enet_initialize();
    ENetAddress local{};
    local.host = loopback(0).binaryAddress;
    local.port = 0;
    host_ = enet_host_create(&local, 1, 255, 0, 0);
    EXPECT_NE(host_, nullptr);
  }
  ~PlainHost() {
    if (host_ != nullptr)
      enet_host_destroy(host_);
  }
  PlainHost(const PlainHost&) = delete;
  PlainHost& operator=(const PlainHost&) = delete;

  ENetHost* host() const { return host_; }

  // Sends a request from the host's own socket and reads the answer there.
  std::optional<RakNet::wire::Answer> request(uint16_t port, uint32_t nonce, uint64_t guid,
                                              const std::string& password) {
    const std::vector<uint8_t> bytes = requestBytes(nonce, guid, password);
    ENetAddress to{};
    to.host = loopback(port).binaryAddress;
    to.port = port;
    ENetBuffer buffer{};
    buffer.data = const_cast<uint8_t*>(bytes.data());
    buffer.dataLength = bytes.size();
    EXPECT_EQ(enet_socket_send(host_->socket, &to, &buffer, 1), static_cast<int>(bytes.size()));
    pollfd watched{host_->socket, POLLIN, 0};
    if (::poll(&watched, 1, kSafetyMs) != 1)
      return std::nullopt;
    uint8_t answerBytes[64];
    ENetBuffer in{};
    in.data = answerBytes;
    in.dataLength = sizeof answerBytes;
    ENetAddress from{};
    const int got = enet_socket_receive(host_->socket, &from, &in, 1);
    RakNet::wire::Answer answer;
    if (got <= 0 || !RakNet::wire::decodeAnswer(answerBytes, static_cast<std::size_t>(got), answer))
      return std::nullopt;
    return answer;
  }

  ENetPeer* connect(uint16_t port, std::size_t channels, uint32_t data) {
    ENetAddress to{};
    to.host = loopback(port).binaryAddress;
    to.port = port;
    return enet_host_connect(host_, &to, channels, data);
  }

  // Services the host until an event of `type` comes (others go to `seen`).
  std::optional<ENetEvent> waitFor(ENetEventType type, std::vector<ENetEvent>* seen = nullptr,
                                   int timeoutMs = kSafetyMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    ENetEvent event;
    while (std::chrono::steady_clock::now() < deadline) {
      if (enet_host_service(host_, &event, 5) > 0) {
        if (event.type == type)
          return event;
        if (seen != nullptr)
          seen->push_back(event);
        else if (event.type == ENET_EVENT_TYPE_RECEIVE)
          enet_packet_destroy(event.packet);
      }
    }
    return std::nullopt;
  }

 private:
  ENetHost* host_ = nullptr;
};

inline std::vector<uint8_t> packetBytes(const ENetPacket* packet) {
  return std::vector<uint8_t>(packet->data, packet->data + packet->dataLength);
}

}  // namespace peerharness
