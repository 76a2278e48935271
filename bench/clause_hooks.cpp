// One call of a clause's tick hook (the thread's own context, the clause and
// both empires passed, the result read), beside the prepared call of a
// trivial script function of the same module through the thread's cache (as
// bench_script_calls measures it).
#include <benchmark/benchmark.h>

#include "core/threads.h"
#include "empire/treaty_clause.h"
#include "script/script_contexts.h"
#include "script/script_engine.h"
#include "script_build.h"

using namespace AngelScript;

namespace {

void clauseAddRef(IClause *clause) { clause->addRef(); }
void clauseRelease(IClause *clause) { clause->release(); }

// The clause members the hook uses, registered as the session registers them.
void registerClauseTypes(asIScriptEngine *engine) {
  engine->RegisterObjectType("Empire", 0, asOBJ_REF | asOBJ_NOCOUNT);
  engine->RegisterObjectType("ClauseOption", 0, asOBJ_REF | asOBJ_NOCOUNT);
  engine->RegisterObjectType("Clause", 0, asOBJ_REF);
  engine->RegisterObjectBehaviour("Clause", asBEHAVE_ADDREF, "void f()",
                                  asFUNCTION(clauseAddRef),
                                  asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectBehaviour("Clause", asBEHAVE_RELEASE, "void f()",
                                  asFUNCTION(clauseRelease),
                                  asCALL_CDECL_OBJFIRST);
  engine->RegisterObjectMethod("ClauseOption", "float toFloat() const",
                               asMETHOD(ClauseOption, toFloat),
                               asCALL_THISCALL);
  engine->RegisterObjectMethod(
      "ClauseOption", "void opAssign(float)",
      asMETHODPR(ClauseOption, opAssign, (float), void), asCALL_THISCALL);
  engine->RegisterObjectMethod(
      "Clause", "ClauseOption@ getOption(uint)",
      asMETHODPR(IClause, getOption, (uint32_t), ClauseOption *),
      asCALL_THISCALL);
  engine->RegisterEnum("ClauseState");
  engine->RegisterEnumValue("ClauseState", "CS_NOCHANGE", CS_NOCHANGE);
}

// Both engines with the clause types, and a clause whose tick hook counts
// its option down.
int trivialId = -1;

ScriptClause &tickingClause() {
  static ScriptClauseDescriptor descriptor;
  static ScriptClause *clause = [] {
    createScriptEngines();
    registerClauseTypes(serverScriptEngine);
    initThreadLocals();
    const char code[] =
        "ClauseState tick(Clause@ c, Empire@ a, Empire@ b, double seconds) {\n"
        "  ClauseOption@ left = c.getOption(0);\n"
        "  left = left.toFloat() - float(seconds);\n"
        "  return CS_NOCHANGE;\n"
        "}\n"
        "int next(int x) { return x + 1; }\n";
    asIScriptModule *module =
        benchscript::buildModule(serverScriptEngine, "bench", code);
    trivialId = module->GetFunctionByDecl("int next(int)")->GetId();
    descriptor.tickHook =
        module
            ->GetFunctionByDecl(
                "ClauseState tick(Clause@,Empire@,Empire@,double)")
            ->GetId();
    descriptor.options.emplace_back();
    descriptor.options.back().setDeclaredType(OT_FLOAT);
    descriptor.options.back().opAssign(1e9f);
    return new ScriptClause(&descriptor, false);
  }();
  return *clause;
}

void BM_ClauseTickHook(benchmark::State &state) {
  ScriptClause &clause = tickingClause();
  int32_t result = 0;
  for (auto _ : state)
    result += clause.tick(nullptr, nullptr, 0.25);
  benchmark::DoNotOptimize(result);
}
BENCHMARK(BM_ClauseTickHook);

void BM_TrivialScriptCall(benchmark::State &state) {
  tickingClause();
  int value = 0;
  for (auto _ : state) {
    value = benchscript::callThroughCache(trivialId, value);
  }
  benchmark::DoNotOptimize(value);
}
BENCHMARK(BM_TrivialScriptCall);

} // namespace
