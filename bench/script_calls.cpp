// Calling a trivial script function through the thread's prepared-context
// cache, beside making a fresh context for every call.
#include <benchmark/benchmark.h>

#include "core/threads.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"

using namespace AngelScript;

namespace {

// Both engines and a module with one trivial function; its id.
int trivialFunctionId() {
  static const int id = [] {
    createScriptEngines();
    initThreadLocals();
    asIScriptModule* module = serverScriptEngine->GetModule("bench", asGM_ALWAYS_CREATE);
    const char code[] = "int next(int x) { return x + 1; }";
    module->AddScriptSection("bench.as", code, sizeof code - 1);
    module->Build();
    return module->GetFunctionByDecl("int next(int)")->GetId();
  }();
  return id;
}

void BM_PreparedContextCache(benchmark::State& state) {
  const int id = trivialFunctionId();
  int value = 0;
  for (auto _ : state) {
    bool fromPool = false;
    asIScriptContext* context = getPreparedScriptContext(id, fromPool);
    context->SetArgDWord(0, static_cast<asDWORD>(value));
    context->Execute();
    value = static_cast<int>(context->GetReturnDWord());
    if (fromPool)
      releaseScriptContext(context);
  }
  benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_PreparedContextCache);

void BM_FreshContext(benchmark::State& state) {
  const int id = trivialFunctionId();
  asIScriptFunction* function = serverScriptEngine->GetFunctionById(id);
  int value = 0;
  for (auto _ : state) {
    asIScriptContext* context = createScriptContext(serverScriptEngine);
    context->Prepare(function);
    context->SetArgDWord(0, static_cast<asDWORD>(value));
    context->Execute();
    value = static_cast<int>(context->GetReturnDWord());
    context->Release();
  }
  benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_FreshContext);

}  // namespace
