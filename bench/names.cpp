// Name registry costs: a lookup in a sorted registry, the one sort after a
// bulk fill, and filling through getOrAdd.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/names.h"

namespace {

using FloatVar = NamedVar<float>;

std::vector<irr::core::stringw> makeNames(int count) {
  std::mt19937 random(7);
  std::vector<irr::core::stringw> names;
  for (int i = 0; i < count; ++i) {
    irr::core::stringw name = L"Name_";
    for (int letters = 0; letters < 8; ++letters)
      name.append(static_cast<wchar_t>(L'a' + random() % 26));
    names.push_back(name);
  }
  return names;
}

void BM_FindInSortedRegistry(benchmark::State& state) {
  const std::vector<irr::core::stringw> names = makeNames(static_cast<int>(state.range(0)));
  FloatVar::Registry registry;
  for (const irr::core::stringw& name : names)
    registry.push_back(FloatVar(name, 1));
  FloatVar::find(registry, names[0]);  // sorts once
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FloatVar::find(registry, names[next]));
    next = (next + 1) % names.size();
  }
}
BENCHMARK(BM_FindInSortedRegistry)->Arg(100)->Arg(10000);

void BM_SortAfterBulkFill(benchmark::State& state) {
  const std::vector<irr::core::stringw> names = makeNames(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    FloatVar::Registry registry;
    for (const irr::core::stringw& name : names)
      registry.push_back(FloatVar(name, 1));
    benchmark::DoNotOptimize(FloatVar::find(registry, names[0]));
  }
}
BENCHMARK(BM_SortAfterBulkFill)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_FillThroughGetOrAdd(benchmark::State& state) {
  const std::vector<irr::core::stringw> names = makeNames(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    FloatVar::Registry registry;
    for (const irr::core::stringw& name : names)
      FloatVar::getOrAdd(registry, name).value += 1;
    benchmark::DoNotOptimize(registry.size());
  }
}
BENCHMARK(BM_FillThroughGetOrAdd)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
