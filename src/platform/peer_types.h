// The addressing and delivery terms of the network peer: where a message
// goes, how reliably and how urgently, who sent it, and the ids of the
// connection events the peer itself produces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace RakNet {

// A peer's IPv4 address and port; the unassigned address names no peer.
//
// `binaryAddress` holds the address as the socket calls keep it: in network
// order in memory, the first octet in the lowest byte (127.0.0.1 is
// 0x0100007F on a little-endian machine). `port` is a plain number.
struct SystemAddress {
  uint32_t binaryAddress = 0xFFFFFFFFu;
  uint16_t port = 0xFFFFu;

  bool operator==(const SystemAddress& other) const {
    return binaryAddress == other.binaryAddress && port == other.port;
  }
  bool operator!=(const SystemAddress& other) const { return !(*this == other); }
  // Ordered by the address read as a number (first octet most significant),
  // then by port.
  bool operator<(const SystemAddress& other) const;
  bool operator>(const SystemAddress& other) const { return other < *this; }

  // The dotted form every log line uses: "127.0.0.1:12100" with the port,
  // "127.0.0.1" without.
  std::string ToString(bool withPort = true) const;

  // The four octets, first to last.
  void octets(uint8_t out[4]) const;
  static SystemAddress fromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port);
};

// As a destination: every client on a server, the server on a client.
constexpr SystemAddress UNASSIGNED_SYSTEM_ADDRESS{};

// A peer instance's identity: 64 bits drawn at random for each instance. As a
// u64 it keys the players map. All ones is the unassigned id and is never
// drawn.
struct RakNetGUID {
  uint64_t g = ~uint64_t{0};

  RakNetGUID() = default;
  constexpr explicit RakNetGUID(uint64_t value) : g(value) {}

  bool operator==(const RakNetGUID& other) const { return g == other.g; }
  bool operator!=(const RakNetGUID& other) const { return g != other.g; }
  bool operator<(const RakNetGUID& other) const { return g < other.g; }
  bool operator>(const RakNetGUID& other) const { return g > other.g; }

  // Sixteen hexadecimal digits.
  std::string ToString() const;
};

// No peer: FF FF FF FF FF FF FF FF.
constexpr RakNetGUID UNASSIGNED_GUID{~uint64_t{0}};

enum PacketReliability : uint8_t {
  UNRELIABLE = 0,
  UNRELIABLE_SEQUENCED = 1,
  RELIABLE = 2,
  RELIABLE_ORDERED = 3,
  RELIABLE_SEQUENCED = 4,
};

enum PacketPriority : uint8_t {
  IMMEDIATE_PRIORITY = 0,
  HIGH_PRIORITY = 1,
  MEDIUM_PRIORITY = 2,
  LOW_PRIORITY = 3,
};

// How many priorities there are (IMMEDIATE to LOW).
constexpr unsigned kPriorityCount = 4;

// One socket the peer opens at start-up: a port (0 for any) and a local
// IPv4 address in dotted form (empty for every local address).
struct SocketDescriptor {
  uint16_t port = 0;
  char hostAddress[32] = {};

  SocketDescriptor() = default;
  SocketDescriptor(uint16_t port, const char* hostAddress);
};

// One received message or connection event. `data` stays valid until the
// packet is given back with DeallocatePacket.
struct Packet {
  SystemAddress systemAddress;  // the sender, or the remote end the event is about
  RakNetGUID guid;              // the sender's id; unassigned when not known
  unsigned int length = 0;      // bytes of data
  std::size_t bitSize = 0;      // 8 x length
  unsigned char* data = nullptr;
};

// The first byte of every connection event the peer produces; each event is
// a packet of that one byte. Ids 0 to 31 belong to the peer: a received
// message that starts with one is dropped, never delivered.
enum PeerMessageId : uint8_t {
  ID_CONNECTION_REQUEST_ACCEPTED = 16,   // our attempt was accepted
  ID_CONNECTION_ATTEMPT_FAILED = 17,     // our attempt had no answer or failed
  ID_ALREADY_CONNECTED = 18,             // the remote already has our id connected
  ID_NEW_INCOMING_CONNECTION = 19,       // a remote connected to us
  ID_NO_FREE_INCOMING_CONNECTIONS = 20,  // the remote is full
  ID_DISCONNECTION_NOTIFICATION = 21,    // the remote closed the connection with notice
  ID_CONNECTION_LOST = 22,               // the connection timed out
  ID_CONNECTION_BANNED = 23,             // the remote has banned our address
  ID_INVALID_PASSWORD = 24,              // the remote refused our password
};

// The first id a user message may carry.
constexpr uint8_t kFirstUserMessageId = 32;

// What GetConnectionState answers. 0 to 3 are live; from 4 on the
// connection is gone or going (what the dead-connection sweep looks for).
enum PeerConnectionState : uint8_t {
  CONNECTION_PENDING = 0,     // our attempt waits for the remote's answer
  CONNECTION_CONNECTING = 1,  // the transport connection or its hello is under way
  CONNECTION_OPEN = 2,
  CONNECTION_CLOSING = 3,     // we close it with notice; queued data still leaves first
  CONNECTION_DROPPING = 4,    // being dropped without notice
  CONNECTION_GONE = 5,        // the remote left; its event waits in Receive
  CONNECTION_UNKNOWN = 6,     // no such connection
};

// What Connect answers; the outcome of a started attempt comes later as an
// event.
enum ConnectResult : uint8_t {
  CONNECT_STARTED = 0,
  CONNECT_INVALID_PARAMETER = 1,
  CONNECT_UNRESOLVED_HOST = 2,
  CONNECT_ALREADY_CONNECTED = 3,
  CONNECT_IN_PROGRESS = 4,
};

// What Startup answers: 0 started; anything else failed and left the peer
// stopped.
enum StartupResult : uint8_t {
  PEER_STARTED = 0,
  PEER_ALREADY_STARTED = 1,
  PEER_INVALID_DESCRIPTORS = 2,      // none, or a host address that is not dotted IPv4
  PEER_INVALID_MAX_CONNECTIONS = 3,  // 0, or more than the transport can hold
  PEER_PORT_NOT_BOUND = 4,           // a socket could not be opened or bound
  PEER_THREAD_NOT_STARTED = 5,
};

}  // namespace RakNet
