// The research phase of an empire on a web of fifty technologies, each with a
// cost formula of its own level and two links:
//
//   NoLevel      spendResearch paying a level target without reaching it
//   LevelGained  spendResearch gaining one level: the level is published,
//                the cost formula evaluated and two level events run (a
//                link payment and a random link payment)
//   CostFormula  one evaluation of the cost formula alone, with the
//                technology's values already bound
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/formula.h"
#include "core/named_values.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"

namespace {

constexpr int kTechnologies = 50;

// Loads fifty technologies (T0 .. T49; names end at a digit in formulas, so
// "Techs.T0" is never read) and makes one empire with its web set up.
struct ResearchBench {
  ResearchBench() {
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "bench_research_techs.txt";
    {
      std::ofstream out(file, std::ios::binary);
      for (int i = 0; i < kTechnologies; ++i) {
        out << "Technology: T" << i << "\n"
            << "StartLevel: 1\n"
            << "Cost: 10 + Level * 0\n"
            << "Link: T" << (i + 1) % kTechnologies << " [1000000]\n"
            << "Link: T" << (i + 2) % kTechnologies << " [1000000]\n"
            << "OnLevel: 2 link_pay 0 1\n"
            << "OnLevel: 2 link_pay_rand 1\n";
      }
    }
    research::loadResearchFields(file.string().c_str());
    std::filesystem::remove(file);
    emp.reset(new empire);
    emp->researchWeb->initialise(emp.get());
    web = dynamic_cast<research::CWeb*>(emp->researchWeb);
    desc = research::getWebItemDesc(irr::core::stringw(L"T0"));
    item = dynamic_cast<research::CWebItem*>(web->getItem(desc));
  }
  ~ResearchBench() {
    emp.reset();
    research::clearWebItemDescs();
  }

  std::unique_ptr<empire> emp;
  research::CWeb* web = nullptr;
  research::IWebItemDesc* desc = nullptr;
  research::CWebItem* item = nullptr;
};

void NoLevel(benchmark::State& state) {
  ResearchBench bench;
  bench.web->setActiveTech(bench.desc);
  bench.web->setResearchRate(0.001);
  for (auto _ : state) {
    bench.item->progress = 0.0f;
    benchmark::DoNotOptimize(bench.web->spendResearch(1.0, bench.emp.get()));
  }
}
BENCHMARK(NoLevel);

void LevelGained(benchmark::State& state) {
  ResearchBench bench;
  bench.web->setResearchRate(10.0);
  for (auto _ : state) {
    // Back to level 1 and the level target, so each step gains level 2.
    bench.item->level = 1.0f;
    bench.item->progress = 0.0f;
    bench.web->setActiveTech(bench.desc);
    if (!bench.web->spendResearch(1.0, bench.emp.get()))
      state.SkipWithError("no level gained");
  }
}
BENCHMARK(LevelGained);

void CostFormula(benchmark::State& state) {
  ResearchBench bench;
  const formula *cost, *maxLevel, *initialLevel;
  bench.desc->getFormulas(cost, maxLevel, initialLevel);
  NamedValues own;
  own.set(L"Level", 1.0f);
  bench.emp->spaces.setSpace(&own, L"\x01");
  for (auto _ : state)
    benchmark::DoNotOptimize(evaluateFormula(cost, &bench.emp->spaces));
  bench.emp->spaces.setSpace(nullptr, L"\x01");
}
BENCHMARK(CostFormula);

}  // namespace
