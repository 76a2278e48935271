// The network peer's limits: what keeps a hostile or broken remote from
// making the layer allocate without bound. Each says where it is enforced.
#pragma once

#include <cstddef>
#include <cstdint>

namespace RakNet {

// Largest message a server host accepts: 256 KiB. Client messages are small;
// the largest, a ship design (127), is a few KiB. A larger message is never
// delivered: the receive intercept reads the size its first fragment
// announces, drops the datagram before the transport stores anything,
// counts it as oversized and closes that connection (the remote is told,
// 21; this side reports 22). The other connections are served on. The
// transport's own largest-packet check stays behind it as a second guard.
//
// A peer's hosts are server hosts while it accepts incoming connections
// (SetMaximumIncomingConnections above 0), client hosts otherwise.
constexpr std::size_t kServerMaxMessageBytes = 256 * 1024;

// Largest message a client host accepts: 8 MiB, room for the galaxy header
// (120) and the empire hand-over (119). It is also the largest message Send
// queues, since no peer would take a larger one.
constexpr std::size_t kClientMaxMessageBytes = 8 * 1024 * 1024;

// The message limit of a host by its role.
constexpr std::size_t maxIncomingMessageBytes(bool serverHost) {
  return serverHost ? kServerMaxMessageBytes : kClientMaxMessageBytes;
}

// The transport's cap on data received from one remote and not yet taken by
// the layer (its maximumWaitingData) is set to the host's message limit. The
// cap is checked before each new message is stored, so one remote can make
// the host hold at most twice the limit.
//
// The transport's largest-packet setting (maximumPacketSize) is checked on
// sending as well as on receiving. A server host keeps it at
// kServerMaxMessageBytes for what it receives and raises it to
// kClientMaxMessageBytes only around its own sends, under the layer's lock.
constexpr std::size_t maxWaitingDataBytes(bool serverHost) { return maxIncomingMessageBytes(serverHost); }

// At most this many connections and half-open handshakes from one IP
// address: the transport's duplicatePeers on every host, and the count of
// the address's transport peers (connections, handshakes and closings over
// every host) checked when a connection request arrives. A request from an
// address that already holds this many is answered with result 20 (no free
// incoming connections) at once.
constexpr uint32_t kMaxConnectionsPerAddress = 4;

// A handshake not finished within this time (from the transport connecting to
// the first control message, the hello) is dropped without an event and
// counted, so that it frees its slot.
constexpr uint64_t kHandshakeTimeoutMs = 5000;

// A connection whose queued outgoing data passes this many bytes is closed,
// with a log line, rather than growing memory without end: Send, finding
// that a message would take the connection's queue past it, drops the queue
// and closes the connection (the remote is told, 21; this side reports 22).
// The queue is the layer's own; the transport is handed at most a round's
// worth at a time.
constexpr std::size_t kMaxQueuedOutgoingBytes = 64 * 1024 * 1024;

// The transport carries no packet above 32 MiB; our messages stay far below.
static_assert(kClientMaxMessageBytes <= 32u * 1024 * 1024, "a message the transport can carry");
static_assert(kServerMaxMessageBytes < kClientMaxMessageBytes, "clients send small messages");
static_assert(kClientMaxMessageBytes < kMaxQueuedOutgoingBytes, "the largest message fits the queue");

}  // namespace RakNet
