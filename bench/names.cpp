// Name registry costs: a lookup in a sorted registry, the one sort after a
// bulk fill, and filling through getOrAdd; beside each, the same work on
// std::wstring keys in a std::map (lookup, fill) or a sorted std::vector
// (the sort).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
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

std::vector<std::wstring> standardNames(int count) {
  std::vector<std::wstring> names;
  for (const irr::core::stringw& name : makeNames(count))
    names.emplace_back(name.c_str());
  return names;
}

void BM_FindInStdMap(benchmark::State& state) {
  const std::vector<std::wstring> names = standardNames(static_cast<int>(state.range(0)));
  std::map<std::wstring, float> map;
  for (const std::wstring& name : names)
    map.emplace(name, 1.0f);
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(map.find(names[next]));
    next = (next + 1) % names.size();
  }
}
BENCHMARK(BM_FindInStdMap)->Arg(100)->Arg(10000);

void BM_StdSortAfterBulkFill(benchmark::State& state) {
  const std::vector<std::wstring> names = standardNames(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::vector<std::pair<std::wstring, float>> registry;
    for (const std::wstring& name : names)
      registry.emplace_back(name, 1.0f);
    std::sort(registry.begin(), registry.end());
    benchmark::DoNotOptimize(registry.data());
  }
}
BENCHMARK(BM_StdSortAfterBulkFill)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_FillStdMap(benchmark::State& state) {
  const std::vector<std::wstring> names = standardNames(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::map<std::wstring, float> map;
    for (const std::wstring& name : names)
      map[name] += 1;
    benchmark::DoNotOptimize(map.size());
  }
}
BENCHMARK(BM_FillStdMap)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
