// The empire's look-ups of its designs, as build queues and ships make them.
//
//   UpdatedCurrent/N   getUpdatedHull on a current design of N placed
//                      sub-systems whose level gain stays below the
//                      threshold (the path that makes nothing): the hulls
//                      area, the chain, and the gain evaluated per sub-system
//   AcquireCopied      acquireForeignHull on a design copied before: the
//                      look-up in the foreign-design map under the hulls area
//   SharedMutexMap     beside it, a std::map look-up under a
//                      std::shared_mutex held for reading
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "core/named_values.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"

namespace {

// A hull and two parts whose levels follow the owner's "Test.Tech".
const char *const kDefinitions =
    "System: Frame\nTags: Hull\nSize: 100000\nLevel: Test.Tech\nMass: Size / "
    "10\n\n"
    "System: Thruster\nTags: Engine\nSize: Scale * 10\nLevel: Test.Tech + "
    "1\nMass: Size * 2\n\n"
    "System: Plate\nTags: Armor\nSize: Scale * 4\nLevel: Test.Tech * 2\nMass: "
    "Size * 5\n";

const SubSystemDef *definition(const wchar_t *name) {
  const irr::s32 index = findSubSystemDefByName(name);
  return index < 0 ? nullptr
                   : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

// The definitions (loaded once), two empires and their "Test" values.
struct Scene {
  Scene() {
    initThreadLocals();
    const std::string path =
        (std::filesystem::temp_directory_path() / "bench_hull_refs.txt")
            .string();
    std::ofstream(path, std::ios::binary) << kDefinitions;
    loadSubSystemDefs(path.c_str());
    std::remove(path.c_str());
    tech.set(L"Tech", 1.0f);
    owner.spaces.setSpace(&tech, L"Test");
    other.spaces.setSpace(&tech, L"Test");
  }
  NamedValues tech;
  empire owner;
  empire other;
};

Scene &scene() {
  static Scene made;
  return made;
}

// A design of `count` placed sub-systems for `owner`, filed in its table.
hull_list *fileDesign(empire &owner, const wchar_t *name, int count) {
  layout_desc desc;
  desc.scale = 4.0f;
  for (int i = 0; i < count; ++i) {
    layout_desc::system entry;
    entry.def =
        definition(i == 0 ? L"Frame" : (i % 2 != 0 ? L"Thruster" : L"Plate"));
    entry.x = static_cast<float>(i % 16) * 0.5f - 4.0f;
    entry.y = static_cast<float>(i / 16) * 0.5f - 4.0f;
    desc.systems.push_back(entry);
  }
  hull_list *layout = new hull_list(desc, &owner, false);
  layout->name = name;
  NamedVar<hull_list *> &entry =
      NamedVar<hull_list *>::getOrAdd(owner.hulls, irr::core::stringw(name));
  if (entry.value != nullptr)
    entry.value->drop();
  entry.value = layout;
  return layout;
}

void UpdatedCurrent(benchmark::State &state) {
  Scene &s = scene();
  hull_list *layout =
      fileDesign(s.owner, L"Current", static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(s.owner.getUpdatedHull(layout, -1.0f));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(UpdatedCurrent)->Arg(1)->Arg(10)->Arg(50);

void AcquireCopied(benchmark::State &state) {
  Scene &s = scene();
  hull_list *source = fileDesign(s.other, L"Source", 10);
  for (int i = 0; i < 100; ++i) // a map of some size
    s.owner.acquireForeignHull(
        fileDesign(s.other, (L"Filler " + std::to_wstring(i)).c_str(), 1));
  s.owner.acquireForeignHull(source);
  for (auto _ : state)
    benchmark::DoNotOptimize(s.owner.acquireForeignHull(source));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(AcquireCopied);

void SharedMutexMap(benchmark::State &state) {
  std::shared_mutex lock;
  std::map<const void *, void *> map;
  static int keys[101];
  for (int &key : keys)
    map[&key] = &key;
  for (auto _ : state) {
    std::shared_lock<std::shared_mutex> guard(lock);
    benchmark::DoNotOptimize(map.find(&keys[50])->second);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SharedMutexMap);

} // namespace
