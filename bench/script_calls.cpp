// Calling a trivial script function through the thread's prepared-context
// cache, beside making a fresh context for every call, one context held and
// prepared again for every call, and the same function in C++.
#include <benchmark/benchmark.h>

#include "core/threads.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script_build.h"

using namespace AngelScript;

namespace {

// Both engines and a module with one trivial function; its id.
int trivialFunctionId() {
  static const int id = [] {
    createScriptEngines();
    initThreadLocals();
    const char code[] = "int next(int x) { return x + 1; }";
    asIScriptModule* module = benchscript::buildModule(serverScriptEngine, "bench", code);
    return module->GetFunctionByDecl("int next(int)")->GetId();
  }();
  return id;
}

void BM_PreparedContextCache(benchmark::State& state) {
  const int id = trivialFunctionId();
  int value = 0;
  for (auto _ : state) {
    value = benchscript::callThroughCache(id, value);
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
    value = benchscript::executeWith(context, value);
    context->Release();
  }
  benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_FreshContext);

// The library's own path without the thread's cache: one context held by
// the benchmark, prepared again for the function on every call.
void BM_HeldContext(benchmark::State& state) {
  const int id = trivialFunctionId();
  asIScriptFunction* function = serverScriptEngine->GetFunctionById(id);
  asIScriptContext* context = createScriptContext(serverScriptEngine);
  int value = 0;
  for (auto _ : state) {
    context->Prepare(function);
    value = benchscript::executeWith(context, value);
  }
  context->Release();
  benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_HeldContext);

__attribute__((noinline)) int nativeNext(int x) { return x + 1; }

// The same function in C++, called out of line.
void BM_NativeCall(benchmark::State& state) {
  int value = 0;
  for (auto _ : state) {
    value = nativeNext(value);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_NativeCall);

}  // namespace
