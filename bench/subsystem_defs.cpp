// The empire's unlocked sub-systems over 100 and 500 definitions, each with
// an availability formula and a "Level" formula over the empire's trait
// variables, every one available:
//
//   UpdateSubSystems  empire::updateSubSystems once the list is filled: both
//                     lock areas, every definition's availability and "{L}"
//                     level evaluated, each found in the sorted list and its
//                     level stored
//   PlainFormulas     the same two formulas of every definition evaluated
//                     against the empire's variables in a plain loop
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "core/formula.h"
#include "core/named_values.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"

namespace {

using irr::core::stringw;

// Registers `count` finalised definitions ("Part0" ...) and one empire
// whose trait variable "Step" makes them all available.
struct SubSystemBench {
  explicit SubSystemBench(int count) {
    for (int i = 0; i < count; ++i) {
      SubSystemDef* def = new SubSystemDef;
      registerSubSystemDef(def, stringw(L"Part") + stringw(i));
      def->available = new formula(stringw(L"Traits.Step >= ") + stringw(i % 7));
      def->variables.push_back(new SubSystemDef::ValueInfo(L"Level", new formula(L"Traits.Step * 2 + 1"), 0, false));
      findOrInsertPtrNamedVar(def->variableIndex, stringw(L"Level")).value = def->variables.back();
      finalizeSubSystemDef(def);
      formulas.push_back(def->available);
      formulas.push_back(def->variables.front()->value);
    }
    emp.reset(new empire);
    emp->ownBit = 1;
    emp->traitVars.set(L"Step", 10.0f);
    emp->updateSubSystems();
  }
  ~SubSystemBench() {
    emp.reset();
    clearSubSystemDefs();
  }

  std::unique_ptr<empire> emp;
  std::vector<const formula*> formulas;
};

void UpdateSubSystems(benchmark::State& state) {
  SubSystemBench bench(static_cast<int>(state.range(0)));
  for (auto _ : state)
    bench.emp->updateSubSystems();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(UpdateSubSystems)->Arg(100)->Arg(500);

void PlainFormulas(benchmark::State& state) {
  SubSystemBench bench(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    float sum = 0.0f;
    for (const formula* program : bench.formulas)
      sum += evaluateFormula(program, &bench.emp->spaces);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(PlainFormulas)->Arg(100)->Arg(500);

}  // namespace
