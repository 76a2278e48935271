#include "script/script_abort.h"

#include <mutex>
#include <unordered_set>

using namespace AngelScript;

namespace {

// User-data slot of engines and contexts taking part; any non-null value in
// the context's slot makes the library call the cleanup callback.
constexpr asPWORD kAbortTrackingData = 0x51A7B07;

// The tracked contexts. Never destroyed: contexts may still be released
// while the process ends, and their cleanup callback comes here.
struct ContextTable {
  std::mutex lock;
  std::unordered_set<asIScriptContext*> contexts;
};

ContextTable& table() {
  static ContextTable* shared = new ContextTable;
  return *shared;
}

// Runs inside the context's destructor: the context leaves the table before
// its memory is freed, and the table's lock keeps abortRunningScripts from
// touching it meanwhile.
void forgetContext(asIScriptContext* context) {
  ContextTable& shared = table();
  std::lock_guard<std::mutex> guard(shared.lock);
  shared.contexts.erase(context);
}

}  // namespace

void enableScriptAbort(asIScriptEngine* engine) {
  if (engine == nullptr)
    return;
  engine->SetContextUserDataCleanupCallback(forgetContext, kAbortTrackingData);
  engine->SetUserData(engine, kAbortTrackingData);
}

void trackScriptContext(asIScriptContext* context) {
  if (context == nullptr || context->GetEngine()->GetUserData(kAbortTrackingData) == nullptr)
    return;
  ContextTable& shared = table();
  std::lock_guard<std::mutex> guard(shared.lock);
  context->SetUserData(context, kAbortTrackingData);
  shared.contexts.insert(context);
}

int abortRunningScripts() {
  ContextTable& shared = table();
  std::lock_guard<std::mutex> guard(shared.lock);
  int asked = 0;
  for (asIScriptContext* context : shared.contexts) {
    if (context->GetState() == asEXECUTION_ACTIVE) {
      context->Abort();
      ++asked;
    }
  }
  return asked;
}

int trackedScriptContexts() {
  ContextTable& shared = table();
  std::lock_guard<std::mutex> guard(shared.lock);
  return static_cast<int>(shared.contexts.size());
}
