#include "platform/peer_statistics.h"

namespace RakNet {

namespace {

// In the order of DropReason.
constexpr const char* kDropReasonNames[kDropReasonCount] = {
    "empty message", "reserved id",       "oversized message", "bad request datagram",
    "bad cookie",    "stranger datagram", "bad hello",         "handshake time-out",
};

// Lost over sent, kept in [0, 1]. Losses reported with no sends (a loss
// counted just after the window's start, its send just before) count as 1.
double lossFraction(uint64_t sent, uint64_t lost) {
  if (sent == 0) return lost == 0 ? 0.0 : 1.0;
  if (lost >= sent) return 1.0;
  return static_cast<double>(lost) / static_cast<double>(sent);
}

}  // namespace

const char* dropReasonName(DropReason reason) {
  const auto index = static_cast<std::size_t>(reason);
  return index < kDropReasonCount ? kDropReasonNames[index] : "unknown";
}

void DropCounters::add(DropReason reason, uint64_t count) {
  const auto index = static_cast<std::size_t>(reason);
  if (index < kDropReasonCount) counts_[index].fetch_add(count, std::memory_order_relaxed);
}

uint64_t DropCounters::count(DropReason reason) const {
  const auto index = static_cast<std::size_t>(reason);
  return index < kDropReasonCount ? counts_[index].load(std::memory_order_relaxed) : 0;
}

uint64_t DropCounters::total() const {
  uint64_t sum = 0;
  for (const auto& count : counts_) sum += count.load(std::memory_order_relaxed);
  return sum;
}

void ConnectionAccounting::addPackets(uint64_t now, uint64_t sent, uint64_t lost) {
  packetsSent_ += sent;
  packetsLost_ += lost;
  const uint64_t index = now / kLossSlotMs;
  Slot& slot = window_[index % kLossWindowSlots];
  if (slot.index > index) return;  // its place already holds a later tenth
  if (slot.index < index) slot = Slot{index, 0, 0};
  slot.sent += sent;
  slot.lost += lost;
}

void ConnectionAccounting::samplePacketCounters(uint64_t now, uint32_t sentSoFar, uint32_t lostSoFar) {
  const uint32_t sent = sentSoFar >= lastSentReading_ ? sentSoFar - lastSentReading_ : sentSoFar;
  const uint32_t lost = lostSoFar >= lastLostReading_ ? lostSoFar - lastLostReading_ : lostSoFar;
  lastSentReading_ = sentSoFar;
  lastLostReading_ = lostSoFar;
  addPackets(now, sent, lost);
}

double ConnectionAccounting::lossLastSecond(uint64_t now) const {
  const uint64_t index = now / kLossSlotMs;
  uint64_t sent = 0;
  uint64_t lost = 0;
  for (const Slot& slot : window_) {
    if (slot.index <= index && index - slot.index < kLossWindowSlots) {
      sent += slot.sent;
      lost += slot.lost;
    }
  }
  return lossFraction(sent, lost);
}

double ConnectionAccounting::lossTotal() const { return lossFraction(packetsSent_, packetsLost_); }

void ConnectionAccounting::fill(RakNetStatistics& statistics, uint64_t now) const {
  statistics.bytesSentTotal = bytesSent_;
  statistics.bytesReceivedTotal = bytesReceived_;
  statistics.packetLossLastSecond = lossLastSecond(now);
  statistics.packetLossTotal = lossTotal();
}

}  // namespace RakNet
