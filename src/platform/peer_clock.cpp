#include "platform/peer_clock.h"

#include <chrono>

namespace RakNet {

PeerClock::PeerClock() : start_(machineMs()) {}

int64_t PeerClock::machineMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The machine is read under the lock: a reading taken before a release and
// used after it would put the clock back.
uint64_t PeerClock::now() const {
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t reading = held_ ? heldAt_ : machineMs();
  return static_cast<uint64_t>(reading - start_ + offset_);
}

void PeerClock::advance(uint64_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  offset_ += static_cast<int64_t>(milliseconds);
}

void PeerClock::hold() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_) return;
  held_ = true;
  heldAt_ = machineMs();
}

void PeerClock::release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!held_) return;
  // The time spent held is taken out, so the clock goes on from where it stood.
  offset_ -= machineMs() - heldAt_;
  held_ = false;
}

}  // namespace RakNet
