// Interlocked operations on 32-bit words, as the lock and reference-count code
// uses them: each returns what the corresponding kernel call would.
#pragma once

#include <atomic>
#include <cstdint>

namespace plat {

using AtomicWord = std::atomic<int32_t>;

// Adds one and returns the new value.
inline int32_t atomicIncrement(AtomicWord& word) { return word.fetch_add(1) + 1; }

// Subtracts one and returns the new value.
inline int32_t atomicDecrement(AtomicWord& word) { return word.fetch_sub(1) - 1; }

// Stores `exchange` when the word equals `comparand`; returns the value the
// word held before (equal to `comparand` on success).
inline int32_t atomicCompareExchange(AtomicWord& word, int32_t exchange, int32_t comparand) {
  int32_t expected = comparand;
  word.compare_exchange_strong(expected, exchange);
  return expected;
}

}  // namespace plat
