// Random draws and pool allocations beside their standard-library
// counterparts, in one run: MT19937 draws against std::mt19937, bounded
// draws, and pool allocate/free pairs against new/delete (a single pair, and
// a batch of 1000 held at once).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/block_pool.h"
#include "core/random.h"

namespace {

struct Element {
  char bytes[96];
};

void BM_MersenneTwister_Draw(benchmark::State& state) {
  MersenneTwister twister(5489u);
  for (auto _ : state)
    benchmark::DoNotOptimize(twister.nextUInt32());
}
BENCHMARK(BM_MersenneTwister_Draw);

void BM_std_mt19937_Draw(benchmark::State& state) {
  std::mt19937 twister(5489u);
  for (auto _ : state)
    benchmark::DoNotOptimize(twister());
}
BENCHMARK(BM_std_mt19937_Draw);

void BM_MersenneTwister_RandUpTo100(benchmark::State& state) {
  MersenneTwister twister(5489u);
  for (auto _ : state)
    benchmark::DoNotOptimize(twister.randUpTo(100));
}
BENCHMARK(BM_MersenneTwister_RandUpTo100);

void BM_std_uniform_int_0_100(benchmark::State& state) {
  std::mt19937 twister(5489u);
  std::uniform_int_distribution<unsigned> range(0, 100);
  for (auto _ : state)
    benchmark::DoNotOptimize(range(twister));
}
BENCHMARK(BM_std_uniform_int_0_100);

void BM_ThreadRand(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(rand(100));
}
BENCHMARK(BM_ThreadRand);

void BM_BlockPool_Pair(benchmark::State& state) {
  BlockPool pool(sizeof(Element), 12500, true);
  for (auto _ : state) {
    void* element = pool.allocate(sizeof(Element));
    benchmark::DoNotOptimize(element);
    pool.free(element);
  }
}
BENCHMARK(BM_BlockPool_Pair);

void BM_new_delete_Pair(benchmark::State& state) {
  for (auto _ : state) {
    Element* element = new Element;
    benchmark::DoNotOptimize(element);
    delete element;
  }
}
BENCHMARK(BM_new_delete_Pair);

constexpr int kBatch = 1000;

void BM_BlockPool_Batch1000(benchmark::State& state) {
  BlockPool pool(sizeof(Element), 12500, true);
  std::vector<void*> held(kBatch);
  for (auto _ : state) {
    for (void*& element : held)
      element = pool.allocate(sizeof(Element));
    benchmark::DoNotOptimize(held.data());
    for (void* element : held)
      pool.free(element);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_BlockPool_Batch1000);

void BM_new_delete_Batch1000(benchmark::State& state) {
  std::vector<Element*> held(kBatch);
  for (auto _ : state) {
    for (Element*& element : held)
      element = new Element;
    benchmark::DoNotOptimize(held.data());
    for (Element* element : held)
      delete element;
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_new_delete_Batch1000);

}  // namespace
