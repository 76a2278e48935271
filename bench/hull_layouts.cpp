// Making hull layouts.
//
//   Layout/N     a layout made from a description of N placed sub-systems
//                (one hull and N - 1 parts of three kinds, at scale 1 in a
//                design of scale 4) for an empire, checked in full; the
//                layout is dropped each time
//   Instances/N  the same N instances made alone with createInstance
//                against the empire's namespaces with the "Object" set
//                and the sub-system's scale bound, each freed at once
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/named_values.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"

namespace {

// A hull with room for every part, and three parts with a few formulas each.
const char* const kDefinitions =
    "System: Frame\nTags: Hull\nSize: 100000\nLevel: 1\nMass: Size / 10\n"
    "Costs: Metals[Size * 2], Labr[Size / 4]\n\n"
    "System: Thruster\nTags: Engine\nSize: Scale * 10\nLevel: 2\nThrust: Size * 40\nMass: Size * 2\n"
    "Costs: Metals[Size * 5], Fuel[Thrust / 100]\nConsumes:\nTo Run: Fuel[Thrust / 1000]\n\n"
    "System: Cannon\nTags: Weapon\nSize: Scale * 8\nLevel: 3\nDamage: Size * 12\nMass: Size * 3\n"
    "Costs: Metals[Size * 6], Electronics[Size]\n\n"
    "System: Plate\nTags: Armor\nEquips To: Armor\nSize: Scale * 4\nLevel: 1\nMass: Size * 5\n"
    "Costs: Metals[Size * 4]\n";

const wchar_t* const kParts[] = {L"Thruster", L"Cannon", L"Plate"};

const SubSystemDef* definition(const wchar_t* name) {
  const irr::s32 index = findSubSystemDefByName(name);
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

// The definitions (loaded once) and an empire to make layouts for.
struct Scene {
  Scene() {
    initThreadLocals();
    const std::string path = (std::filesystem::temp_directory_path() / "bench_hull_layouts.txt").string();
    std::ofstream(path, std::ios::binary) << kDefinitions;
    loadSubSystemDefs(path.c_str());
    std::remove(path.c_str());
  }
  empire owner;
};

Scene& scene() {
  static Scene made;
  return made;
}

// One hull, then the parts in turn, spread over the grid.
layout_desc describe(int count) {
  layout_desc desc;
  desc.scale = 4.0f;
  for (int i = 0; i < count; ++i) {
    layout_desc::system entry;
    entry.def = definition(i == 0 ? L"Frame" : kParts[i % 3]);
    entry.x = static_cast<float>(i % 16) * 0.5f - 4.0f;
    entry.y = static_cast<float>(i / 16) * 0.5f - 4.0f;
    desc.systems.push_back(entry);
  }
  return desc;
}

void Layout(benchmark::State& state) {
  Scene& s = scene();
  const layout_desc desc = describe(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    hull_list* layout = new hull_list(desc, &s.owner, false);
    benchmark::DoNotOptimize(layout->mass);
    layout->drop();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Layout)->Arg(10)->Arg(50)->Arg(255);

void Instances(benchmark::State& state) {
  Scene& s = scene();
  const layout_desc desc = describe(static_cast<int>(state.range(0)));
  NamedValues object;
  object.set(L"Scale", desc.scale);
  object.set(L"Size", desc.scale * 15.0f);
  NamedValues placed;  // the default namespace: the sub-system's scale
  placed.set(L"Scale", desc.scale);
  s.owner.spaces.setSpace(&object, L"Object");
  s.owner.spaces.setSpace(&placed, L"\x01");
  for (auto _ : state) {
    for (irr::u32 i = 0; i < desc.systems.size(); ++i) {
      std::unique_ptr<subSystem> instance(new subSystem());
      desc.systems[i].def->createInstance(instance.get(), s.owner.spaces, nullptr);
      benchmark::DoNotOptimize(instance->values);
    }
  }
  s.owner.spaces.setSpace(nullptr, L"Object");
  s.owner.spaces.setSpace(nullptr, L"\x01");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Instances)->Arg(10)->Arg(50)->Arg(255);

}  // namespace
