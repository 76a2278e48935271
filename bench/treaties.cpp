// The treaty phase of an empire's step beside the script calls it makes.
//
//   TreatyStep       tickTreaties of one empire holding 10 standing treaties
//                    it proposed, each of 3 clauses whose tick hook counts an
//                    option down (30 hook calls a step, none ends)
//   HookCalls30      the same tick hook called 30 times through the thread's
//                    prepared context, with the same arguments, no treaty
//   PlainCalls30     30 prepared calls of a trivial script function
//
// The clause kind and its hook are written to a scratch working folder
// (removed at exit), from which both engines are set up as a session does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/threads.h"
#include "empire/empire.h"
#include "empire/treaty.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "countdown_treaties.h"
#include "scratch_folder.h"

using namespace AngelScript;

namespace {

constexpr int kTreaties = 10;
constexpr int kClausesPerTreaty = 3;
constexpr int kCalls = kTreaties * kClausesPerTreaty;

const std::string kScript = std::string(benchtreaties::kCountdownHook) + "int next(int x) { return x + 1; }\n";

struct Setup {
  empire* from = nullptr;
  empire* to = nullptr;
  IClause* clause = nullptr;  // a clause of the kind, outside any treaty
  int hookId = -1;
  int nextId = -1;
};

// The engines, the two empires and the from empire's standing treaties,
// once for the program.
const Setup& setup() {
  static const Setup made = [] {
    benchtreaties::setUpScripts(benchscratch::makeScratchFolder("treaties"), "bench_treaties", kScript);

    Setup s;
    s.from = registerEmpire(new empire, true);
    s.to = registerEmpire(new empire, true);
    benchtreaties::addCountdownTreaties(s.from, s.to, kTreaties, kClausesPerTreaty);
    runEmpireJobs(s.from);
    runEmpireJobs(s.to);
    if (s.from->treaties.size() != kTreaties)
      benchtreaties::fail("the treaties were not filed");
    s.clause = createClause(L"countdown", false);
    asIScriptModule* module = serverScriptEngine->GetModule("bench_treaties");
    s.hookId = module->GetFunctionByDecl("ClauseState tickCountdown(Clause@,Empire@,Empire@,double)")->GetId();
    s.nextId = module->GetFunctionByDecl("int next(int)")->GetId();
    return s;
  }();
  return made;
}

void BM_TreatyStep(benchmark::State& state) {
  empire* from = setup().from;
  for (auto _ : state)
    from->tickTreaties(0.25);
  if (from->treaties.size() != kTreaties)
    state.SkipWithError("a treaty ended");
  state.counters["hooks"] = kCalls;
}
BENCHMARK(BM_TreatyStep);

void BM_HookCalls30(benchmark::State& state) {
  const Setup& s = setup();
  int32_t result = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      bool fromPool = false;
      asIScriptContext* context = getPreparedScriptContext(s.hookId, fromPool);
      context->SetArgAddress(0, s.clause);
      context->SetArgAddress(1, s.from);
      context->SetArgAddress(2, s.to);
      context->SetArgDouble(3, 0.25);
      s.clause->addRef();  // the handle the script receives and releases
      context->Execute();
      result += static_cast<int32_t>(context->GetReturnDWord());
      if (fromPool)
        releaseScriptContext(context);
    }
  }
  benchmark::DoNotOptimize(result);
}
BENCHMARK(BM_HookCalls30);

void BM_PlainCalls30(benchmark::State& state) {
  const int id = setup().nextId;
  int value = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      value = benchscript::callThroughCache(id, value);
    }
  }
  benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_PlainCalls30);

}  // namespace
