#include "core/locks.h"

#include <deque>

#include "core/log.h"
#include "platform/thread.h"

// ---------------------------------------------------------------------------
// Mutex

void Mutex::lock() {
  while (!section_.tryLock())
    plat::sleepMs(0);
}

void Mutex::unlock() { section_.unlock(); }

unsigned Mutex::releaseAll() { return section_.releaseAll(); }

void Mutex::reacquire(unsigned depth) { section_.reacquire(depth); }

Mutex* createMutex() { return new Mutex(); }

void destroyMutex(Mutex* mutex) { delete mutex; }

Mutex* const sceneLock = createMutex();

// ---------------------------------------------------------------------------
// Per-thread table of held read/write locks.
//
// The first 16 places live in plain thread-local storage, zero when the thread
// starts, so the common path costs no initialisation check. A thread that
// holds more than 16 locks at once continues in an overflow area (reported
// once per thread) instead of writing past the table.

namespace {

struct HeldLockTable {
  HeldLockEntry entries[kHeldLockTableSize];
  uint32_t top;  // highest index that may be in use
  bool overflowReported;
};

thread_local HeldLockTable heldLocks;
thread_local std::deque<HeldLockEntry> heldLockOverflow;

HeldLockEntry& entryAt(uint32_t index) {
  if (index < kHeldLockTableSize)
    return heldLocks.entries[index];
  return heldLockOverflow[index - kHeldLockTableSize];
}

HeldLockEntry& claim(HeldLockEntry& entry, ReadWriteLock& lock) {
  entry.lock = &lock;
  entry.writeDepth = 0;
  entry.readDepth = 0;
  return entry;
}

// The general search, over the table and its overflow.
__attribute__((noinline)) HeldLockEntry& findOrClaimSlow(ReadWriteLock& lock) {
  // Look for the lock over every place in use, remembering the highest free
  // place: a free place below the top must not hide an entry further down.
  HeldLockEntry* freePlace = nullptr;
  for (int64_t i = heldLocks.top; i >= 0; --i) {
    HeldLockEntry& entry = entryAt(static_cast<uint32_t>(i));
    if (entry.lock == &lock)
      return entry;
    if (entry.lock == nullptr && freePlace == nullptr)
      freePlace = &entry;
  }
  if (freePlace != nullptr)
    return claim(*freePlace, lock);
  const uint32_t index = ++heldLocks.top;
  if (index >= kHeldLockTableSize) {
    if (!heldLocks.overflowReported) {
      heldLocks.overflowReported = true;
      logError("Thread holds more than %u read/write locks at once; continuing in an overflow table\n",
               kHeldLockTableSize);
    }
    while (heldLockOverflow.size() <= index - kHeldLockTableSize)
      heldLockOverflow.push_back(HeldLockEntry{nullptr, 0, 0});
  }
  return claim(entryAt(index), lock);
}

// The common case: everything within the fixed table.
inline HeldLockEntry& findOrClaim(ReadWriteLock& lock) {
  HeldLockTable& table = heldLocks;
  const uint32_t top = table.top;
  if (__builtin_expect(top + 1 < kHeldLockTableSize, 1)) {
    HeldLockEntry* freePlace = nullptr;
    for (HeldLockEntry* entry = table.entries + top; entry >= table.entries; --entry) {
      if (entry->lock == &lock)
        return *entry;
      if (entry->lock == nullptr && freePlace == nullptr)
        freePlace = entry;
    }
    if (freePlace == nullptr)
      freePlace = &table.entries[++table.top];
    return claim(*freePlace, lock);
  }
  return findOrClaimSlow(lock);
}

// The entry holding `lock`, or null.
inline HeldLockEntry* findHeld(const ReadWriteLock& lock) {
  HeldLockTable& table = heldLocks;
  if (__builtin_expect(table.top < kHeldLockTableSize, 1)) {
    for (HeldLockEntry* entry = table.entries + table.top; entry >= table.entries; --entry)
      if (entry->lock == &lock)
        return entry;
    return nullptr;
  }
  for (int64_t i = table.top; i >= 0; --i) {
    HeldLockEntry& entry = entryAt(static_cast<uint32_t>(i));
    if (entry.lock == &lock)
      return &entry;
  }
  return nullptr;
}

// Frees an entry and lowers the top index past every free place above the
// highest entry still in use, whatever order the locks are released in.
inline void freeEntry(HeldLockEntry& entry) {
  entry.lock = nullptr;
  entry.writeDepth = 0;
  entry.readDepth = 0;
  HeldLockTable& table = heldLocks;
  if (__builtin_expect(table.top < kHeldLockTableSize, 1)) {
    while (table.top > 0 && table.entries[table.top].lock == nullptr)
      --table.top;
    return;
  }
  while (table.top > 0 && entryAt(table.top).lock == nullptr)
    --table.top;
}

}  // namespace

HeldLockEntry& findHeldLockEntry(ReadWriteLock& lock) { return findOrClaim(lock); }

const HeldLockEntry* heldLockEntry(const ReadWriteLock& lock) { return findHeld(lock); }

uint32_t heldLockTopIndex() { return heldLocks.top; }

// ---------------------------------------------------------------------------
// ReadWriteLock

void ReadWriteLock::acquireSpin() {
  auto tryOnce = [this] { return spin.load(std::memory_order_relaxed) == 0 && plat::atomicCompareExchange(spin, 1, 0) == 0; };
  if (tryOnce())
    return;
  for (;;) {
    for (int i = 0; i < 5; ++i)
      if (tryOnce())
        return;
    plat::sleepMs(0);
    if (tryOnce())
      return;
  }
}

namespace {

// A reader that found writers: withdraw, wait for them, and try again.
__attribute__((noinline)) void waitAsReader(ReadWriteLock& lock) {
  do {
    plat::atomicDecrement(lock.readers);
    while (lock.writers.load() > 0)
      plat::sleepMs(0);
    plat::atomicIncrement(lock.readers);
  } while (lock.writers.load() != 0);
}

// A writer that must upgrade its read levels or wait for readers or another
// writer. Its announcement in the writer count is already made.
__attribute__((noinline)) void waitAsWriter(ReadWriteLock& lock, HeldLockEntry& entry) {
  lock.acquireSpin();
  // Upgrade: this thread's read levels become write levels.
  while (entry.readDepth > 0) {
    ++entry.writeDepth;
    plat::atomicIncrement(lock.writers);
    plat::atomicDecrement(lock.readers);
    --entry.readDepth;
  }
  for (;;) {
    while (lock.readers.load() > 0) {
      lock.releaseSpin();
      plat::sleepMs(0);
      lock.acquireSpin();
    }
    if (plat::atomicCompareExchange(lock.writeOwned, 1, 0) == 0)
      break;
    // Another thread writes. Wait without the spin flag, so that the writer
    // can still take read levels of its own and finish.
    lock.releaseSpin();
    plat::sleepMs(0);
    lock.acquireSpin();
  }
  lock.releaseSpin();
}

__attribute__((noinline)) void reportBadUnlock(const HeldLockEntry* entry) {
  if (entry == nullptr || entry->readDepth == 0)
    logError("Read/write lock released by a thread that does not hold it\n");
  else
    logError("Write level of a read/write lock released by a thread that holds only read levels\n");
}

}  // namespace

// Readers and writers meet without the spin flag on their common paths: a
// reader adds itself to the reader count and then looks at the writer count; a
// writer adds itself to the writer count and then looks at the reader count.
// Both steps are sequentially consistent, so at least one of the two sees the
// other, and the reader gives way. The spin flag still serialises the slow
// decisions of writers (upgrading read levels, waiting for readers).
void ReadWriteLock::lock(bool write) {
  HeldLockEntry& entry = findOrClaim(*this);

  if (!write) {
    // A thread that already holds the lock, in either mode, gets a further
    // read level at once; any other reader waits while writers hold or wait.
    plat::atomicIncrement(readers);
    if (entry.readDepth == 0 && entry.writeDepth == 0 && writers.load() != 0)
      waitAsReader(*this);
    ++entry.readDepth;
    return;
  }

  plat::atomicIncrement(writers);
  if (entry.writeDepth == 0 &&
      (entry.readDepth != 0 || readers.load() != 0 || plat::atomicCompareExchange(writeOwned, 1, 0) != 0))
    waitAsWriter(*this, entry);
  ++entry.writeDepth;
}

void ReadWriteLock::unlock(bool write) {
  HeldLockEntry* entry = findHeld(*this);
  // The depths are tested one at a time: the lock path stores them one at a
  // time, and a combined wide load would stall on store forwarding.
  if (entry != nullptr && !write && entry->readDepth > 0) {
    if (--entry->readDepth == 0 && entry->writeDepth == 0)
      freeEntry(*entry);
    plat::atomicDecrement(readers);
    return;
  }
  // A write unlock, or a read unlock that gives back a level an upgrade
  // turned into a write level.
  if (entry == nullptr || entry->writeDepth == 0) {
    reportBadUnlock(entry);
    return;
  }
  if (--entry->writeDepth == 0) {
    if (entry->readDepth == 0)
      freeEntry(*entry);
    writeOwned.store(0, std::memory_order_release);
  }
  plat::atomicDecrement(writers);
}
