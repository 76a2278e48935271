// Locks shared by every thread that runs game code.
//
// Mutex: a re-entrant critical section taken by spinning on a try-enter, for
// short global sections and per-object locks such as a star system's.
//
// ReadWriteLock: a re-entrant reader/writer lock word embedded in game objects,
// empires and registries. Each thread records the locks it holds in its own
// table, so it can take a lock again that it already holds and can turn its
// read levels into write levels. Writers are preferred: a writer announces
// itself first, and readers that do not yet hold the lock wait for it.
#pragma once

#include <cstdint>

#include "platform/atomic.h"
#include "platform/recursive_mutex.h"

class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  // Enters, spinning on a try-enter with a zero-length sleep between tries.
  void lock();
  // One try without waiting; true when the caller now holds the mutex.
  bool tryLock() { return section_.tryLock(); }
  // Leaves once.
  void unlock();
  // Leaves as often as the calling thread has entered and returns that count.
  // A thread that does not own the mutex gets 0 and nothing changes.
  unsigned releaseAll();
  // Enters `depth` times (blocking enter, no spin); 0 does nothing.
  void reacquire(unsigned depth);
  // How often the calling thread holds the mutex (0 when it is not the owner).
  unsigned depth() const { return section_.depth(); }

 private:
  plat::RecursiveMutex section_;
};

Mutex* createMutex();
void destroyMutex(Mutex* mutex);

// The scene lock: held while particle effects, planets and objects made by
// the network set up their scene graphics, and while the frame loop
// advances the active effects and particle systems. Made at process start
// and never destroyed, so that threads still running at exit may take it.
extern Mutex* const sceneLock;

// Holds a Mutex for the life of the guard.
class MutexGuard {
 public:
  explicit MutexGuard(Mutex& mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexGuard() { mutex_.unlock(); }
  MutexGuard(const MutexGuard&) = delete;
  MutexGuard& operator=(const MutexGuard&) = delete;

 private:
  Mutex& mutex_;
};

class ReadWriteLock {
 public:
  ReadWriteLock() = default;
  ReadWriteLock(const ReadWriteLock&) = delete;
  ReadWriteLock& operator=(const ReadWriteLock&) = delete;

  // Takes a read level (write false) or a write level (write true).
  void lock(bool write);
  // Gives back one level taken with the same flag. Levels may be given back
  // in any order; the holder table keeps track exactly.
  void unlock(bool write);
  // Takes the spin flag that serialises the decisions of lock callers.
  void acquireSpin();
  void releaseSpin() { spin.store(0, std::memory_order_release); }

  // The lock words, all 0 when the lock is free and nobody waits.
  plat::AtomicWord spin{0};        // 1 while a thread changes the lock's state
  plat::AtomicWord readers{0};     // read levels held, over all threads
  plat::AtomicWord writers{0};     // write levels held plus waiting writers
  plat::AtomicWord writeOwned{0};  // 1 while a thread holds the lock for writing
};

// One lock held by the calling thread and how deeply.
struct HeldLockEntry {
  ReadWriteLock* lock;  // null: the entry is free
  uint32_t writeDepth;
  uint32_t readDepth;
};

// Places in the per-thread table before it has to grow.
constexpr unsigned kHeldLockTableSize = 16;

// The calling thread's entry for `lock`, claimed (both depths 0) when the
// thread does not hold it yet.
HeldLockEntry& findHeldLockEntry(ReadWriteLock& lock);
// The calling thread's entry for `lock`, or null when it holds no level of it.
const HeldLockEntry* heldLockEntry(const ReadWriteLock& lock);
// Highest index of the calling thread's table that may be in use.
uint32_t heldLockTopIndex();

// Holds a read or write level for the life of the guard.
class ScopedReadLock {
 public:
  explicit ScopedReadLock(ReadWriteLock& lock) : lock_(lock) { lock_.lock(false); }
  ~ScopedReadLock() { lock_.unlock(false); }
  ScopedReadLock(const ScopedReadLock&) = delete;
  ScopedReadLock& operator=(const ScopedReadLock&) = delete;

 private:
  ReadWriteLock& lock_;
};

class ScopedWriteLock {
 public:
  explicit ScopedWriteLock(ReadWriteLock& lock) : lock_(lock) { lock_.lock(true); }
  ~ScopedWriteLock() { lock_.unlock(true); }
  ScopedWriteLock(const ScopedWriteLock&) = delete;
  ScopedWriteLock& operator=(const ScopedWriteLock&) = delete;

 private:
  ReadWriteLock& lock_;
};
