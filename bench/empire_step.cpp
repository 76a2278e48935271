// One simulation frame's empire ticks for 8 empires.
//
//   EmpireStepLoaded  8 empires, each with the shipped AI ("empire_ai",
//                     class Council), 5 traits with a tick hook, a research
//                     target (Science, set by the Council's first tick) and 10
//                     standing treaties it proposed, of 3 clauses each with a
//                     tick hook: per frame 8 AI ticks, 40 trait hooks, 240
//                     clause hooks and 8 research spends
//   EmpireStepBare    8 empires with nothing queued, no AI, no traits, no
//                     treaties and no research target
//
// The scripts and clause kind are written to a scratch working folder
// (removed at exit), from which both engines are set up as a session does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/threads.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_web.h"
#include "empire/traits.h"
#include "empire/treaty.h"
#include "script/script_engine.h"
#include "script/script_xml_io.h"
#include "scriptapi/empire_ai.h"
#include "countdown_treaties.h"
#include "scratch_folder.h"

namespace {

constexpr int kEmpires = 8;
constexpr int kTreaties = 10;
constexpr int kClausesPerTreaty = 3;
constexpr int kTraits = 5;
constexpr float kFrameSeconds = 0.25f;

const std::string kScript = std::string(benchtreaties::kCountdownHook) +
                            "void traitTick(Empire@ emp, float seconds) { emp.setSetting(\"traitTime\", "
                            "emp.getSetting(\"traitTime\") + seconds); }\n";

const char kTechnologies[] =
    "Technology: Science\nName: Science\nCost: 1000\nStartLevel: 1\n"
    "Technology: Engineering\nName: Engineering\nCost: 1000\nStartLevel: 1\n";

struct Setup {
  std::vector<empire*> loaded;
  std::vector<empire*> bare;
};

const Setup& setup() {
  static const Setup made = [] {
    const std::filesystem::path root = benchscratch::makeScratchFolder("empire_step");
    std::filesystem::create_directories(root / "Game Data/scripts/server");
    std::filesystem::copy_file(CORVANE_DATA_DIR "/Game Data/scripts/server/empire_ai.as",
                               root / "Game Data/scripts/server/empire_ai.as");
    std::ofstream(root / "techs.txt", std::ios::binary) << kTechnologies;
    benchtreaties::setUpScripts(root, "bench_empire_step", kScript);
    research::loadResearchFields("techs.txt");
    std::string traits = "<traits>";
    for (int t = 0; t < kTraits; ++t)
      traits += "<trait id=\"t" + std::to_string(t) +
                "\"><hook type=\"tick\" func=\"bench_empire_step::traitTick\"/></trait>";
    traits += "</traits>";
    ScriptXmlReader reader(traits);
    loadTraits(reader);

    Setup s;
    // Registered as special empires: the module's registerEmpireData draws
    // the starting designs, which needs the shipped sub-systems; the AI is
    // attached as it would attach it.
    for (int i = 0; i < kEmpires; ++i) {
      empire* emp = registerEmpire(new empire, true);
      emp->researchWeb->initialise(emp);
      registerEmpireAI(L"empire_ai", emp, L"Council", nullptr);
      if (emp->aiObject == nullptr || emp->aiTickFunction < 0)
        benchtreaties::fail("the Council was not attached");
      for (int t = 0; t < kTraits; ++t)
        emp->addTrait(irr::core::stringw(("t" + std::to_string(t)).c_str()));
      s.loaded.push_back(emp);
    }
    for (int i = 0; i < kEmpires; ++i) {
      empire* from = s.loaded[i];
      empire* to = s.loaded[(i + 1) % kEmpires];
      benchtreaties::addCountdownTreaties(from, to, kTreaties, kClausesPerTreaty);
    }
    for (empire* emp : s.loaded)
      emp->tick(kFrameSeconds);  // files the treaties; the Council sets rate and target
    for (empire* emp : s.loaded)
      if (emp->treaties.size() != 2 * kTreaties || !(emp->getResearchRate() > 0))
        benchtreaties::fail("the treaties or the research target were not set up");
    for (int i = 0; i < kEmpires; ++i) {
      empire* emp = registerEmpire(new empire, true);
      emp->researchWeb->initialise(emp);
      s.bare.push_back(emp);
    }
    pendingPlayerEmpire = nullptr;
    return s;
  }();
  return made;
}

void runFrame(const std::vector<empire*>& empires) {
  for (empire* emp : empires)
    emp->tick(kFrameSeconds);
  activeEmpire = pendingPlayerEmpire;
}

void BM_EmpireStepLoaded(benchmark::State& state) {
  const std::vector<empire*>& empires = setup().loaded;
  for (auto _ : state)
    runFrame(empires);
  for (empire* emp : empires)
    if (emp->treaties.size() != 2 * kTreaties)
      state.SkipWithError("a treaty ended");
  state.counters["empires"] = kEmpires;
}
BENCHMARK(BM_EmpireStepLoaded);

void BM_EmpireStepBare(benchmark::State& state) {
  const std::vector<empire*>& empires = setup().bare;
  for (auto _ : state)
    runFrame(empires);
  state.counters["empires"] = kEmpires;
}
BENCHMARK(BM_EmpireStepBare);

}  // namespace
