// Random numbers.
//
// Per-thread: every thread draws from its own MT19937 generator, held in its
// ThreadLocals record, so no draw takes a lock.
//
// Process-wide: one small generator shared by every thread, seeded once per
// game session, for the game code whose draws follow the session's seed
// (name and colour picks, build rules, the research target, order scans and
// circling angles). Its values run from 0 to kProcessRandomMax, the range
// scripts and game code scale by (angle = processRandom() / 32767 x 2 pi).
#pragma once

#include <cstdint>

class MersenneTwister {
 public:
  static constexpr int kStateSize = 624;

  explicit MersenneTwister(uint32_t seedValue = 5489u) { seed(seedValue); }

  // Standard MT19937 initialisation of the state, then a reload.
  void seed(uint32_t seedValue);
  // Twists all words of the state and starts handing them out from the first.
  void reload();
  // The next tempered 32-bit output.
  uint32_t nextUInt32();
  // A value from 0 to n, both ends included: draws masked to the bits of n
  // are rejected while they exceed n, so every value is equally likely.
  uint32_t randUpTo(uint32_t n);

 private:
  uint32_t state_[kStateSize];
  int next_ = 0;  // index of the next unused word
  int left_ = 0;  // words left before the next reload
};

// The seed a thread's generator starts from when it is created. Callers set
// it before starting threads that should draw a known sequence.
void setThreadRandomSeed(uint32_t seed);
uint32_t threadRandomSeed();

// Creates the calling thread's generator from the current seed, unless the
// thread already has one.
void initThreadRandom();
// Deletes the calling thread's generator.
void freeThreadRandom();
// Registers the pair above with the per-thread registry, once per process,
// so every thread set up afterwards gets its own generator.
void registerThreadRandom();

// The calling thread's generator. A thread that was never set up gets one
// here, from the current seed, released when the thread ends.
MersenneTwister& threadRandom();

// A value between 0 and n, both included (n may be negative).
int rand(int n);
// A value between the two bounds, both included, given in either order.
int rand(int a, int b);
// A value from 0 to x; x itself is reached only by rounding to float.
float randomf(float x);
// a + randomf(b - a).
float randomf(float a, float b);

// The largest value processRandom gives.
constexpr int kProcessRandomMax = 32767;

// Starts the process-wide sequence from `seed`: the same seed always gives the
// same sequence of draws (when they are made by one thread).
void seedProcessRandom(uint32_t seed);
// The next value of the process-wide sequence, 0 to kProcessRandomMax, every
// value equally likely. Any thread may draw at any time: the state is one
// atomic word and each draw advances it once, so concurrent draws never
// repeat or lose a step, though their order between threads is not fixed.
int processRandom();
