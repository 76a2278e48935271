#include "core/random.h"

#include <atomic>
#include <mutex>

#include "core/threads.h"

namespace {

constexpr uint32_t kInitMultiplier = 1812433253u;
constexpr uint32_t kMatrixA = 0x9908b0dfu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7fffffffu;
constexpr int kShift = 397;  // the middle word of the twist
constexpr double kTwoToMinus32 = 1.0 / 4294967296.0;

std::atomic<uint32_t> globalSeed{0};

// The process-wide generator is SplitMix64: the state is a counter that
// every draw moves on by a fixed odd step (one atomic add, so draws from
// several threads need no lock), and each draw is the new counter value sent
// through a 64-bit mixing function. The top 15 bits of the mix are the value.
constexpr uint64_t kProcessStep = 0x9e3779b97f4a7c15ull;
constexpr int kProcessValueShift = 64 - 15;
std::atomic<uint64_t> processState{0};
static_assert((uint64_t{1} << (64 - kProcessValueShift)) - 1 == kProcessRandomMax,
              "the value bits must span 0 to kProcessRandomMax");

uint64_t mix64(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

uint32_t twist(uint32_t upper, uint32_t lower, uint32_t middle) {
  const uint32_t mixed = (upper & kUpperMask) | (lower & kLowerMask);
  return middle ^ (mixed >> 1) ^ ((lower & 1u) != 0 ? kMatrixA : 0u);
}

// Deletes whatever generator the thread still holds when it ends, for
// threads that drew numbers without a set-up and tear-down of their record.
struct ThreadRandomReaper {
  ~ThreadRandomReaper() { freeThreadRandom(); }
};

void armReaper() {
  // The record is created first, so it is destroyed after the reaper.
  threadLocals();
  thread_local ThreadRandomReaper reaper;
  (void)reaper;
}

}  // namespace

void MersenneTwister::seed(uint32_t seedValue) {
  state_[0] = seedValue;
  for (int i = 1; i < kStateSize; ++i)
    state_[i] = kInitMultiplier * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<uint32_t>(i);
  reload();
}

void MersenneTwister::reload() {
  int i = 0;
  for (; i < kStateSize - kShift; ++i)
    state_[i] = twist(state_[i], state_[i + 1], state_[i + kShift]);
  for (; i < kStateSize - 1; ++i)
    state_[i] = twist(state_[i], state_[i + 1], state_[i + kShift - kStateSize]);
  state_[kStateSize - 1] = twist(state_[kStateSize - 1], state_[0], state_[kShift - 1]);
  next_ = 0;
  left_ = kStateSize;
}

uint32_t MersenneTwister::nextUInt32() {
  if (left_ == 0)
    reload();
  --left_;
  uint32_t value = state_[next_++];
  value ^= value >> 11;
  value ^= (value << 7) & 0x9d2c5680u;
  value ^= (value << 15) & 0xefc60000u;
  value ^= value >> 18;
  return value;
}

uint32_t MersenneTwister::randUpTo(uint32_t n) {
  uint32_t mask = n;
  mask |= mask >> 1;
  mask |= mask >> 2;
  mask |= mask >> 4;
  mask |= mask >> 8;
  mask |= mask >> 16;
  uint32_t value;
  do
    value = nextUInt32() & mask;
  while (value > n);
  return value;
}

void setThreadRandomSeed(uint32_t seed) { globalSeed.store(seed); }

uint32_t threadRandomSeed() { return globalSeed.load(); }

void initThreadRandom() {
  ThreadLocals& record = threadLocals();
  if (record.random != nullptr)
    return;
  armReaper();
  record.random = new MersenneTwister(globalSeed.load());
}

void freeThreadRandom() {
  ThreadLocals& record = threadLocals();
  delete record.random;
  record.random = nullptr;
}

void registerThreadRandom() {
  static std::once_flag registered;
  std::call_once(registered, [] { registerThreadVarFuncs({initThreadRandom, freeThreadRandom}); });
}

MersenneTwister& threadRandom() {
  ThreadLocals& record = threadLocals();
  if (record.random == nullptr)
    initThreadRandom();
  return *record.random;
}

int rand(int n) { return rand(0, n); }

int rand(int a, int b) {
  const int low = a < b ? a : b;
  const int high = a < b ? b : a;
  // Unsigned arithmetic: the span of two extreme bounds does not fit an int.
  const uint32_t span = static_cast<uint32_t>(high) - static_cast<uint32_t>(low);
  return static_cast<int>(static_cast<uint32_t>(low) + threadRandom().randUpTo(span));
}

float randomf(float x) {
  return static_cast<float>(static_cast<double>(threadRandom().nextUInt32()) * kTwoToMinus32 * x);
}

float randomf(float a, float b) { return a + randomf(b - a); }

void seedProcessRandom(uint32_t seed) { processState.store(seed, std::memory_order_relaxed); }

int processRandom() {
  const uint64_t state = processState.fetch_add(kProcessStep, std::memory_order_relaxed) + kProcessStep;
  return static_cast<int>(mix64(state) >> kProcessValueShift);
}
