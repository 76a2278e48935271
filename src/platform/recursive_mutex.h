// A re-entrant mutex whose owner can read its depth, give it up entirely and
// take it back at the same depth later.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace plat {

class RecursiveMutex {
 public:
  RecursiveMutex() = default;
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;

  // Enters without waiting; true when the caller now owns the mutex.
  bool tryLock();
  // Enters, waiting as long as another thread owns it.
  void lock();
  // Leaves once. A thread that does not own the mutex changes nothing.
  void unlock();

  // True when the calling thread owns the mutex.
  bool ownedByCaller() const;
  // How often the calling thread has entered the mutex; 0 when it is not the owner.
  unsigned depth() const;

  // Leaves as often as the calling thread has entered; returns that count.
  // A thread that does not own the mutex gets 0 and nothing changes.
  unsigned releaseAll();
  // Enters `depth` times (blocking); 0 does nothing.
  void reacquire(unsigned depth);

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  unsigned depth_ = 0;  // touched only by the owner
};

}  // namespace plat
