// The network peer's clock: milliseconds on the machine's monotonic clock,
// counted from the moment the clock was made. Ban expiry, handshake
// time-outs, cookie windows and the loss window of the statistics all read
// it, so a test that moves it forward sees all of them move together.
//
// Tests may move it on (advance) and hold it still (hold / release); time
// never runs backwards, whatever they do. Every call is safe from any thread.
#pragma once

#include <cstdint>
#include <mutex>

namespace RakNet {

class PeerClock {
 public:
  PeerClock();
  PeerClock(const PeerClock&) = delete;
  PeerClock& operator=(const PeerClock&) = delete;

  // Milliseconds since the clock was made, plus every advance.
  uint64_t now() const;

  // Moves the clock `milliseconds` forward at once.
  void advance(uint64_t milliseconds);

  // Stops the clock where it is: now() then moves only by advance(). Holding
  // a held clock changes nothing.
  void hold();
  // Lets a held clock run on from where it stands (the time it was held does
  // not count). Releasing a running clock changes nothing.
  void release();

 private:
  // The monotonic clock of the machine, in milliseconds.
  static int64_t machineMs();

  mutable std::mutex mutex_;
  const int64_t start_;
  // Added to the machine's reading: the advances, less the time held.
  int64_t offset_ = 0;
  bool held_ = false;
  // The machine's reading when the clock was held.
  int64_t heldAt_ = 0;
};

}  // namespace RakNet
