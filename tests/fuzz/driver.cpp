// Runs a fuzz entry point (the libFuzzer signature) on seeded inputs, so the
// sanitizer build exercises it in CTest without a fuzzing engine.
//
//   <driver> [count] [seed]
//
// Inputs are random byte strings of varied lengths, and mutations (bit flips,
// byte changes, insertions, deletions, truncations, splices) of the inputs
// the fuzz target offers as seeds through corvaneFuzzSeeds().
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Seed inputs of the fuzz target (well-formed examples to mutate); optional.
extern "C" __attribute__((weak)) void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds);

namespace {

std::vector<uint8_t> randomBytes(std::mt19937& rng) {
  // Mostly short inputs, now and then a long one.
  const size_t size = (rng() % 8 == 0) ? rng() % 4096 : rng() % 64;
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes)
    b = static_cast<uint8_t>(rng());
  return bytes;
}

void mutate(std::vector<uint8_t>& bytes, std::mt19937& rng, const std::vector<std::vector<uint8_t>>& pool) {
  const int steps = 1 + rng() % 4;
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 7) {
      case 0:
        if (!bytes.empty())
          bytes[rng() % bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!bytes.empty())
          bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
        break;
      case 2:
        bytes.insert(bytes.begin() + (bytes.empty() ? 0 : rng() % (bytes.size() + 1)), static_cast<uint8_t>(rng()));
        break;
      case 3:
        if (!bytes.empty())
          bytes.erase(bytes.begin() + rng() % bytes.size());
        break;
      case 4:
        if (!bytes.empty())
          bytes.resize(rng() % bytes.size());
        break;
      case 5: {
        // Interesting values: 0x00, 0xFF, 0x7F, 0x80 runs.
        static const uint8_t special[] = {0x00, 0xFF, 0x7F, 0x80};
        if (!bytes.empty())
          bytes[rng() % bytes.size()] = special[rng() % 4];
        break;
      }
      case 6:
        if (!pool.empty()) {
          const std::vector<uint8_t>& other = pool[rng() % pool.size()];
          const size_t cut = bytes.empty() ? 0 : rng() % bytes.size();
          const size_t from = other.empty() ? 0 : rng() % other.size();
          bytes.resize(cut);
          bytes.insert(bytes.end(), other.begin() + from, other.end());
        }
        break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20261209u;
  std::vector<std::vector<uint8_t>> seeds;
  if (corvaneFuzzSeeds)
    corvaneFuzzSeeds(&seeds);
  for (const std::vector<uint8_t>& s : seeds)
    LLVMFuzzerTestOneInput(s.data(), s.size());

  std::mt19937 rng(seed);
  for (long i = 0; i < count; ++i) {
    std::vector<uint8_t> input;
    if (!seeds.empty() && rng() % 2 == 0) {
      input = seeds[rng() % seeds.size()];
      mutate(input, rng, seeds);
    } else {
      input = randomBytes(rng);
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("fuzz driver: %ld inputs (seed %u), %zu seed inputs\n", count, seed, seeds.size());
  return 0;
}
