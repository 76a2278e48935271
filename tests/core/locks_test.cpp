#include "core/locks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <future>
#include <random>
#include <thread>
#include <vector>

namespace locks_test {

namespace {

struct Words {
  int spin, readers, writers, writeOwned;
  bool operator==(const Words& o) const {
    return spin == o.spin && readers == o.readers && writers == o.writers && writeOwned == o.writeOwned;
  }
};

Words wordsOf(const ReadWriteLock& l) {
  return {l.spin.load(), l.readers.load(), l.writers.load(), l.writeOwned.load()};
}

void PrintTo(const Words& w, std::ostream* os) {
  *os << "{spin " << w.spin << ", readers " << w.readers << ", writers " << w.writers << ", owned "
      << w.writeOwned << "}";
}

// Runs `body` on a new thread. A body that does not finish in time has
// deadlocked: report it and stop the test program rather than hang.
template <typename F>
void runWithin(std::chrono::seconds limit, F body) {
  auto finished = std::make_shared<std::promise<void>>();
  std::future<void> done = finished->get_future();
  std::thread([finished, body]() mutable {
    body();
    finished->set_value();
  }).detach();
  if (done.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "stalled: the lock operation did not finish\n");
    std::abort();
  }
}

TEST(ReadWriteLockTest, ReadReadWriteUpgradesAndReleasesCompletely) {
  runWithin(std::chrono::seconds(10), [] {
    ReadWriteLock lock;
    lock.lock(false);
    lock.lock(false);
    EXPECT_EQ(wordsOf(lock), (Words{0, 2, 0, 0}));
    lock.lock(true);
    EXPECT_EQ(wordsOf(lock), (Words{0, 0, 3, 1}));
    const HeldLockEntry* entry = heldLockEntry(lock);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->writeDepth, 3u);
    EXPECT_EQ(entry->readDepth, 0u);

    // Read unlocks now give back upgraded write levels.
    lock.unlock(false);
    lock.unlock(false);
    lock.unlock(true);
    EXPECT_EQ(wordsOf(lock), (Words{0, 0, 0, 0}));
    EXPECT_EQ(heldLockEntry(lock), nullptr);
    EXPECT_EQ(heldLockTopIndex(), 0u);
  });
}

TEST(ReadWriteLockTest, WriterReentersForReadAndWrite) {
  runWithin(std::chrono::seconds(10), [] {
    ReadWriteLock lock;
    lock.lock(true);
    lock.lock(false);
    EXPECT_EQ(wordsOf(lock), (Words{0, 1, 1, 1}));
    lock.lock(true);
    EXPECT_EQ(wordsOf(lock), (Words{0, 1, 2, 1}));
    lock.unlock(true);
    // The last write level goes first: the owned flag clears, the read level stays.
    lock.unlock(true);
    EXPECT_EQ(wordsOf(lock), (Words{0, 1, 0, 0}));
    const HeldLockEntry* entry = heldLockEntry(lock);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->readDepth, 1u);
    lock.unlock(false);
    EXPECT_EQ(wordsOf(lock), (Words{0, 0, 0, 0}));
    EXPECT_EQ(heldLockEntry(lock), nullptr);
  });
}

TEST(ReadWriteLockTest, TableClaimsAndTracksTheTopIndexExactly) {
  runWithin(std::chrono::seconds(10), [] {
    ReadWriteLock a, b, c;
    a.lock(false);
    EXPECT_EQ(heldLockTopIndex(), 0u);
    b.lock(false);
    EXPECT_EQ(heldLockTopIndex(), 1u);
    c.lock(true);
    EXPECT_EQ(heldLockTopIndex(), 2u);

    // Out of order: the hole left by b must not hide a (below it) ...
    b.unlock(false);
    EXPECT_EQ(heldLockTopIndex(), 2u);
    a.lock(false);
    EXPECT_EQ(heldLockEntry(a)->readDepth, 2u);
    // ... and is reused by the next new lock.
    b.lock(false);
    EXPECT_EQ(heldLockTopIndex(), 2u);

    c.unlock(true);
    EXPECT_EQ(heldLockTopIndex(), 1u);
    a.unlock(false);
    a.unlock(false);
    EXPECT_EQ(heldLockTopIndex(), 1u);
    b.unlock(false);
    EXPECT_EQ(heldLockTopIndex(), 0u);
    for (ReadWriteLock* l : {&a, &b, &c})
      EXPECT_EQ(wordsOf(*l), (Words{0, 0, 0, 0}));
  });
}

TEST(ReadWriteLockTest, MoreThanSixteenLocksAtOnce) {
  runWithin(std::chrono::seconds(10), [] {
    std::vector<ReadWriteLock> locks(40);
    for (size_t i = 0; i < locks.size(); ++i)
      locks[i].lock(i % 2 == 0);
    EXPECT_EQ(heldLockTopIndex(), 39u);
    for (size_t i = 0; i < locks.size(); ++i) {
      const HeldLockEntry* entry = heldLockEntry(locks[i]);
      ASSERT_NE(entry, nullptr) << i;
      EXPECT_EQ(i % 2 == 0 ? entry->writeDepth : entry->readDepth, 1u);
    }
    for (size_t i = locks.size(); i-- > 0;)
      locks[i].unlock(i % 2 == 0);
    EXPECT_EQ(heldLockTopIndex(), 0u);
    for (ReadWriteLock& l : locks)
      EXPECT_EQ(wordsOf(l), (Words{0, 0, 0, 0}));
  });
}

TEST(ReadWriteLockTest, NewReaderWaitsForAWaitingWriter) {
  ReadWriteLock lock;
  std::atomic<int> stage{0};
  std::thread holder([&] {
    lock.lock(false);
    stage = 1;
    while (stage < 2)
      std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    lock.unlock(false);
  });
  while (stage < 1)
    std::this_thread::yield();
  std::thread writer([&] {
    lock.lock(true);
    stage = 3;
    lock.unlock(true);
  });
  while (lock.writers.load() == 0)
    std::this_thread::yield();
  stage = 2;
  // A writer waits for the holder; this new reader must queue behind it.
  lock.lock(false);
  EXPECT_EQ(stage.load(), 3);
  lock.unlock(false);
  holder.join();
  writer.join();
  EXPECT_EQ(wordsOf(lock), (Words{0, 0, 0, 0}));
}

TEST(ReadWriteLockTest, WriterCanReadWhileAnotherWriterWaits) {
  ReadWriteLock lock;
  std::atomic<bool> secondDone{false};
  std::thread second;
  runWithin(std::chrono::seconds(10), [&] {
    lock.lock(true);
    second = std::thread([&] {
      lock.lock(true);
      lock.unlock(true);
      secondDone = true;
    });
    while (lock.writers.load() < 2)
      std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The holder asks for a read level while the second writer waits.
    lock.lock(false);
    EXPECT_FALSE(secondDone.load());
    lock.unlock(false);
    lock.unlock(true);
  });
  second.join();
  EXPECT_TRUE(secondDone.load());
  EXPECT_EQ(wordsOf(lock), (Words{0, 0, 0, 0}));
}

TEST(ReadWriteLockTest, UnlockWithoutHoldingChangesNothing) {
  ReadWriteLock lock;
  lock.unlock(false);
  lock.unlock(true);
  EXPECT_EQ(wordsOf(lock), (Words{0, 0, 0, 0}));
  EXPECT_EQ(heldLockEntry(lock), nullptr);
}

// Guarded data: a writer changes both fields; a reader must always see them equal.
struct Guarded {
  ReadWriteLock lock;
  uint64_t value = 0;
  uint64_t shadow = 0;
};

TEST(ReadWriteLockTest, RandomNestedOperationsOnManyThreads) {
  constexpr int kThreads = 8;
  constexpr int kOperations = 100000;
  constexpr int kLocks = 4;
  Guarded guarded[kLocks];
  std::atomic<uint64_t> writes{0};
  std::atomic<int> inconsistencies{0};

  auto worker = [&](unsigned seed) {
    std::mt19937 rng(seed);
    struct Taken {
      int index;
      bool write;
    };
    std::vector<Taken> taken;
    for (int op = 0; op < kOperations; ++op) {
      taken.clear();
      // A random increasing subset of the locks, each read or write.
      for (int i = 0; i < kLocks; ++i) {
        if (rng() % 2)
          continue;
        Taken t{i, rng() % 4 == 0};
        guarded[i].lock.lock(t.write);
        taken.push_back(t);
        if (t.write && rng() % 3 == 0) {
          guarded[i].lock.lock(false);  // writer re-enters for read
          taken.push_back({i, false});
        }
      }
      if (!taken.empty() && !taken.back().write && rng() % 8 == 0) {
        guarded[taken.back().index].lock.lock(true);  // upgrade the innermost
        taken.push_back({taken.back().index, true});
      }
      for (const Taken& t : taken) {
        Guarded& g = guarded[t.index];
        const HeldLockEntry* entry = heldLockEntry(g.lock);
        if (entry->writeDepth > 0) {
          ++g.value;
          g.shadow = g.value;
          ++writes;
        } else if (g.value != g.shadow) {
          ++inconsistencies;
        }
      }
      for (size_t i = taken.size(); i-- > 0;)
        guarded[taken[i].index].lock.unlock(taken[i].write);
    }
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back(worker, 1234u + t);
  for (std::thread& t : threads)
    t.join();

  EXPECT_EQ(inconsistencies.load(), 0);
  uint64_t total = 0;
  for (Guarded& g : guarded) {
    EXPECT_EQ(wordsOf(g.lock), (Words{0, 0, 0, 0}));
    total += g.value;
  }
  EXPECT_EQ(total, writes.load());
}

TEST(MutexTest, ReleaseAllAndReacquireKeepTheDepth) {
  Mutex mutex;
  mutex.lock();
  mutex.lock();
  mutex.lock();
  EXPECT_EQ(mutex.depth(), 3u);
  EXPECT_EQ(mutex.releaseAll(), 3u);
  EXPECT_EQ(mutex.depth(), 0u);

  // Another thread can take it while it is released.
  std::thread([&] {
    mutex.lock();
    EXPECT_EQ(mutex.depth(), 1u);
    mutex.unlock();
  }).join();

  mutex.reacquire(3);
  EXPECT_EQ(mutex.depth(), 3u);
  unsigned fromOtherThread = 99;
  std::thread([&] { fromOtherThread = mutex.releaseAll(); }).join();
  EXPECT_EQ(fromOtherThread, 0u);
  EXPECT_EQ(mutex.depth(), 3u);
  mutex.unlock();
  mutex.unlock();
  mutex.unlock();
  EXPECT_EQ(mutex.depth(), 0u);
  mutex.reacquire(0);
  EXPECT_EQ(mutex.depth(), 0u);
}

}  // namespace

}  // namespace locks_test
