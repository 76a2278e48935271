// What the network peer counts: the input it dropped, by reason, and the
// statistics of one connection shown in the client's connection table (ping,
// send and resend buffers, packet loss, limits, byte totals).
//
// The layer counts bytes and loss itself: the transport's own per-connection
// byte totals start again from zero about every second, and its loss counters
// every few seconds.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/peer_types.h"

namespace RakNet {

// -- Dropped input -----------------------------------------------------------

// Why the layer dropped something a remote sent.
enum class DropReason : uint8_t {
  EmptyMessage,          // a message of no bytes
  ReservedId,            // a message whose id (first byte) is below 32, the layer's own
  Oversized,             // a message above the host's limit (peer_limits.h), or a
                         // datagram above the host's MTU
  BadRequestDatagram,    // a connection request of the wrong size, magic, kind,
                         // protocol or password length, or the unassigned GUID
  BadCookie,             // a transport CONNECT whose cookie is not valid for its source
  StrangerDatagram,      // belonging to no connection (a peer id the host has not
                         // given out, another source or session, compressed), or
                         // from a stranger neither a request nor a CONNECT asking
                         // for enough channels
  BadHello,              // the first message of a connection that is no valid hello
  HandshakeTimeout,      // a connection that sent no hello within the time allowed
};

constexpr std::size_t kDropReasonCount = 8;
static_assert(static_cast<std::size_t>(DropReason::HandshakeTimeout) + 1 == kDropReasonCount,
              "kDropReasonCount counts every reason");

// A short name of the reason ("empty message", "reserved id", ...), for logs
// and statistics.
const char* dropReasonName(DropReason reason);

// Counts of dropped input by reason, one per peer. Any thread may add and
// read; each count is exact, a read of several may mix moments.
class DropCounters {
 public:
  DropCounters() = default;
  DropCounters(const DropCounters&) = delete;
  DropCounters& operator=(const DropCounters&) = delete;

  void add(DropReason reason, uint64_t count = 1);
  uint64_t count(DropReason reason) const;
  // Every reason's count added up.
  uint64_t total() const;

 private:
  std::array<std::atomic<uint64_t>, kDropReasonCount> counts_{};
};

// -- One connection's statistics ---------------------------------------------

// One connection as the statistics table shows it (the table's rows in
// brackets). Byte counts are whole numbers; the table prints rows 4 and 6
// with "%0.0f".
struct RakNetStatistics {
  // Messages and their bytes waiting in the layer's send queue, indexed by
  // PacketPriority, IMMEDIATE to LOW (rows 3 and 4 show the sums).
  std::array<uint32_t, LOW_PRIORITY + 1> messagesInSendBuffer{};
  std::array<uint64_t, LOW_PRIORITY + 1> bytesInSendBuffer{};
  // Reliable data sent and not yet acknowledged (rows 5 and 6).
  uint32_t messagesInResendBuffer = 0;
  uint64_t bytesInResendBuffer = 0;
  // Packet loss as fractions in [0, 1]: over the last second and over the
  // whole connection (rows 7 and 8 show them times 100).
  double packetLossLastSecond = 0.0;
  double packetLossTotal = 0.0;
  // Whether congestion control, or an outgoing bandwidth limit, holds the
  // connection back, and that limit in bits per second (rows 1 and 2; "n/a"
  // when not limited). No limit is set, so both say not limited.
  bool isLimitedByCongestionControl = false;
  uint64_t congestionControlLimitBps = 0;
  bool isLimitedByOutgoingBandwidthLimit = false;
  uint64_t outgoingBandwidthLimitBps = 0;
  // Bytes sent to and received from the remote over the whole connection:
  // the messages' own bytes, the layer's hello and confirm included, not the
  // transport's headers, acknowledgements or resends.
  uint64_t bytesSentTotal = 0;
  uint64_t bytesReceivedTotal = 0;
};

// The running counts behind one connection's byte totals and loss figures,
// fed by the peer as it sends and receives. Times are readings of the peer's
// clock. Not locked: the peer calls it under its own lock.
//
// Loss is the share of the transport's reliable packets that had to be sent
// again. "The last second" is the current tenth of a second and the nine
// before it.
class ConnectionAccounting {
 public:
  // The loss window: kLossWindowSlots slots of kLossSlotMs each.
  static constexpr uint64_t kLossSlotMs = 100;
  static constexpr std::size_t kLossWindowSlots = 10;

  void addBytesSent(uint64_t bytes) { bytesSent_ += bytes; }
  void addBytesReceived(uint64_t bytes) { bytesReceived_ += bytes; }
  uint64_t bytesSent() const { return bytesSent_; }
  uint64_t bytesReceived() const { return bytesReceived_; }

  // Packets sent and packets found lost since the last report, at `now`.
  // A report older than the window counts toward the total only.
  void addPackets(uint64_t now, uint64_t sent, uint64_t lost);

  // As addPackets, from counters that run up from zero and now and then start
  // again from zero (as the transport's do): each reading is compared with
  // the one before, and a smaller reading counts as a fresh start.
  void samplePacketCounters(uint64_t now, uint32_t sentSoFar, uint32_t lostSoFar);

  // Lost over sent, in [0, 1]: in the window ending at `now`, and over the
  // whole connection. Nothing sent gives 0, or 1 if losses were reported.
  double lossLastSecond(uint64_t now) const;
  double lossTotal() const;

  // Fills the byte totals and loss fractions of `statistics`; the other
  // fields are the peer's.
  void fill(RakNetStatistics& statistics, uint64_t now) const;

 private:
  struct Slot {
    uint64_t index = 0;  // which kLossSlotMs of the clock it counts
    uint64_t sent = 0;
    uint64_t lost = 0;
  };

  uint64_t bytesSent_ = 0;
  uint64_t bytesReceived_ = 0;
  uint64_t packetsSent_ = 0;
  uint64_t packetsLost_ = 0;
  std::array<Slot, kLossWindowSlots> window_{};
  uint32_t lastSentReading_ = 0;
  uint32_t lastLostReading_ = 0;
};

}  // namespace RakNet
