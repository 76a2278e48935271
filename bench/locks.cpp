// Read/write lock costs beside std::shared_mutex, uncontended and with four
// threads sharing one lock.
#include <benchmark/benchmark.h>

#include <shared_mutex>

#include "core/locks.h"

namespace {

void BM_ReadWriteLock_ReadPair(benchmark::State& state) {
  static ReadWriteLock lock;
  for (auto _ : state) {
    lock.lock(false);
    lock.unlock(false);
  }
}
BENCHMARK(BM_ReadWriteLock_ReadPair);

void BM_shared_mutex_ReadPair(benchmark::State& state) {
  static std::shared_mutex lock;
  for (auto _ : state) {
    lock.lock_shared();
    lock.unlock_shared();
  }
}
BENCHMARK(BM_shared_mutex_ReadPair);

void BM_ReadWriteLock_WritePair(benchmark::State& state) {
  static ReadWriteLock lock;
  for (auto _ : state) {
    lock.lock(true);
    lock.unlock(true);
  }
}
BENCHMARK(BM_ReadWriteLock_WritePair);

void BM_shared_mutex_WritePair(benchmark::State& state) {
  static std::shared_mutex lock;
  for (auto _ : state) {
    lock.lock();
    lock.unlock();
  }
}
BENCHMARK(BM_shared_mutex_WritePair);

// Four threads on one lock, one write in eight.
void BM_ReadWriteLock_Contended(benchmark::State& state) {
  static ReadWriteLock lock;
  static long shared = 0;
  long i = 0;
  for (auto _ : state) {
    const bool write = (++i & 7) == 0;
    lock.lock(write);
    if (write)
      ++shared;
    else
      benchmark::DoNotOptimize(shared);
    lock.unlock(write);
  }
}
BENCHMARK(BM_ReadWriteLock_Contended)->Threads(4)->UseRealTime();

void BM_shared_mutex_Contended(benchmark::State& state) {
  static std::shared_mutex lock;
  static long shared = 0;
  long i = 0;
  for (auto _ : state) {
    if ((++i & 7) == 0) {
      lock.lock();
      ++shared;
      lock.unlock();
    } else {
      lock.lock_shared();
      benchmark::DoNotOptimize(shared);
      lock.unlock_shared();
    }
  }
}
BENCHMARK(BM_shared_mutex_Contended)->Threads(4)->UseRealTime();

}  // namespace
