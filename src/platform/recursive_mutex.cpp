#include "platform/recursive_mutex.h"

namespace plat {

bool RecursiveMutex::tryLock() {
  const std::thread::id self = std::this_thread::get_id();
  if (owner_.load(std::memory_order_relaxed) == self) {
    ++depth_;
    return true;
  }
  if (!mutex_.try_lock())
    return false;
  owner_.store(self, std::memory_order_relaxed);
  depth_ = 1;
  return true;
}

void RecursiveMutex::lock() {
  const std::thread::id self = std::this_thread::get_id();
  if (owner_.load(std::memory_order_relaxed) == self) {
    ++depth_;
    return;
  }
  mutex_.lock();
  owner_.store(self, std::memory_order_relaxed);
  depth_ = 1;
}

void RecursiveMutex::unlock() {
  if (!ownedByCaller())
    return;
  if (--depth_ == 0) {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }
}

bool RecursiveMutex::ownedByCaller() const {
  return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

unsigned RecursiveMutex::depth() const { return ownedByCaller() ? depth_ : 0; }

unsigned RecursiveMutex::releaseAll() {
  if (!ownedByCaller())
    return 0;
  const unsigned released = depth_;
  depth_ = 0;
  owner_.store(std::thread::id(), std::memory_order_relaxed);
  mutex_.unlock();
  return released;
}

void RecursiveMutex::reacquire(unsigned depth) {
  if (depth == 0)
    return;
  lock();
  depth_ += depth - 1;
}

}  // namespace plat
