#include "script/script_contexts.h"

#include <mutex>
#include <vector>

#include "core/threads.h"
#include "script/script_engine.h"

using namespace AngelScript;

namespace {

asIScriptContext* takeFrom(std::vector<asIScriptContext*>& pool, asIScriptEngine* engine) {
  while (!pool.empty()) {
    asIScriptContext* context = pool.back();
    pool.pop_back();
    if (context->GetEngine() == engine)
      return context;
    context->Release();  // left from an engine of an earlier session
  }
  return createScriptContext(engine);
}

// A context that is running a call (or cannot run one) must not be prepared
// again; every other state can be.
bool canPrepare(const asIScriptContext* context) {
  switch (context->GetState()) {
    case asEXECUTION_ACTIVE:
    case asEXECUTION_SUSPENDED:
    case asEXECUTION_ERROR:
      return false;
    default:
      return true;
  }
}

// A context whose preparation failed is in no state to be used or pooled
// again: it is let go, and the caller gets none.
asIScriptContext* discardUnprepared(asIScriptContext* context, bool& fromPool) {
  context->Release();
  fromPool = false;
  return nullptr;
}

asIScriptContext* preparePooled(asIScriptFunction* function, bool& fromPool) {
  asIScriptContext* context = takeServerScriptContext();
  fromPool = true;
  if (context != nullptr && function != nullptr && context->Prepare(function) < 0)
    return discardUnprepared(context, fromPool);
  return context;
}

void releaseAll(std::vector<asIScriptContext*>& pool) {
  for (asIScriptContext* context : pool)
    context->Release();
  pool.clear();
}

void releaseOne(asIScriptContext*& context) {
  if (context != nullptr)
    context->Release();
  context = nullptr;
}

asIScriptContext* ownContext(asIScriptContext*& context, asIScriptEngine* engine) {
  if (context != nullptr && context->GetEngine() != engine)
    releaseOne(context);
  if (context == nullptr)
    context = createScriptContext(engine);
  return context;
}

void createThreadContexts(ThreadLocals& record) {
  record.serverContext = createScriptContext(serverScriptEngine);
  record.clientContext = createScriptContext(clientScriptEngine);
  record.serverPool.clear();
  record.clientPool.clear();
  record.preparedContexts.clear();
}

void releaseThreadContexts(ThreadLocals& record) {
  releaseOne(record.serverContext);
  releaseOne(record.clientContext);
  releaseAll(record.serverPool);
  releaseAll(record.clientPool);
  for (auto& entry : record.preparedContexts)
    entry.second->Release();
  record.preparedContexts.clear();
  // The library keeps per-thread data for every thread that ran a script.
  asThreadCleanup();
}

}  // namespace

asIScriptContext* threadServerContext() { return ownContext(threadLocals().serverContext, serverScriptEngine); }

asIScriptContext* threadClientContext() { return ownContext(threadLocals().clientContext, clientScriptEngine); }

void endScriptCall(asIScriptContext* context) {
  if (context == nullptr)
    return;
  if (context->GetState() == asEXECUTION_SUSPENDED)
    context->Abort();
  context->Unprepare();
}

asIScriptContext* takeServerScriptContext() {
  return takeFrom(threadLocals().serverPool, serverScriptEngine);
}

asIScriptContext* takeClientScriptContext() {
  return takeFrom(threadLocals().clientPool, clientScriptEngine);
}

asIScriptContext* getPreparedScriptContext(int functionId, bool& fromPool) {
  fromPool = false;
  if (serverScriptEngine == nullptr)
    return nullptr;
  asIScriptFunction* function = serverScriptEngine->GetFunctionById(functionId);
  if (function == nullptr)
    return preparePooled(nullptr, fromPool);

  std::map<int, asIScriptContext*>& cache = threadLocals().preparedContexts;
  auto found = cache.find(functionId);
  if (found != cache.end()) {
    asIScriptContext* context = found->second;
    // A cached context of an engine from an earlier session cannot run this
    // engine's functions.
    if (context->GetEngine() != serverScriptEngine || !canPrepare(context))
      return preparePooled(function, fromPool);
    if (context->Prepare(function) < 0) {
      cache.erase(found);
      return discardUnprepared(context, fromPool);
    }
    return context;
  }
  if (cache.size() >= static_cast<size_t>(kMaxPreparedScriptContexts))
    return preparePooled(function, fromPool);

  asIScriptContext* context = createScriptContext(serverScriptEngine);
  if (context == nullptr)
    return nullptr;
  if (context->Prepare(function) < 0)
    return discardUnprepared(context, fromPool);
  cache.emplace(functionId, context);
  return context;
}

void releaseScriptContext(asIScriptContext* context) {
  if (context == nullptr)
    return;
  ThreadLocals& record = threadLocals();
  asIScriptEngine* engine = context->GetEngine();
  if (engine != nullptr && engine == serverScriptEngine) {
    context->Unprepare();
    record.serverPool.push_back(context);
  } else if (engine != nullptr && engine == clientScriptEngine) {
    context->Unprepare();
    record.clientPool.push_back(context);
  } else {
    context->Release();
  }
}

void installThreadScriptHooks() {
  // Once per process: the hooks never change, and threads read them without
  // a lock.
  static std::once_flag installed;
  std::call_once(installed, [] { setThreadScriptHooks({createThreadContexts, releaseThreadContexts}); });
}
