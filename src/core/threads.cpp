#include "core/threads.h"

#include <irrArray.h>

#include <string>

#include "core/formula.h"
#include "core/log.h"
#include "platform/bit_stream.h"

// ---------------------------------------------------------------------------
// Thread

bool Thread::start(Entry entry, void* argument, bool runNow) {
  std::string error;
  plat::ThreadHandle started = plat::ThreadHandle::start(entry, argument, runNow, &error);
  if (!started.valid()) {
    logError("Could not start a thread: %s\n", error.c_str());
    return false;
  }
  handle_ = started;
  return true;
}

void Thread::fromCurrent() { handle_ = plat::ThreadHandle::current(); }

void Thread::assign(const Thread& other) { handle_ = other.handle_; }

void Thread::setPriority(int level) {
  if (level < 0 || level > 6)
    return;
  handle_.setPriority(static_cast<plat::ThreadPriority>(level));
}

void Thread::resume() { handle_.resume(); }

bool Thread::waitForExit(int timeoutMs) const { return handle_.waitForExit(timeoutMs); }

// ---------------------------------------------------------------------------
// Per-thread records

namespace {

irr::core::array<ThreadVarFuncs>& threadVarRegistry() {
  static irr::core::array<ThreadVarFuncs> registry;
  return registry;
}

ThreadScriptHooks scriptHooks{nullptr, nullptr};

// The monotonic clock counts nanoseconds.
constexpr int64_t kClockFrequency = 1000000000;

}  // namespace

void registerThreadVarFuncs(ThreadVarFuncs funcs) { threadVarRegistry().push_back(funcs); }

ThreadLocals& threadLocals() {
  thread_local ThreadLocals record;
  return record;
}

void setThreadScriptHooks(ThreadScriptHooks hooks) { scriptHooks = hooks; }

void initThreadLocals() {
  ThreadLocals& record = threadLocals();
  record.timerFrequency = kClockFrequency;
  record.timerFrequencyD = static_cast<double>(kClockFrequency);

  if (record.serverContext != nullptr || record.clientContext != nullptr || record.formulaStack != nullptr)
    freeThreadLocals();

  if (scriptHooks.create != nullptr)
    scriptHooks.create(record);
  record.formulaStack = new FormulaStack();
  delete record.scratchStream;
  record.scratchStream = new RakNet::BitStream();

  irr::core::array<ThreadVarFuncs>& registry = threadVarRegistry();
  for (irr::u32 i = 0; i < registry.size(); ++i)
    if (registry[i].init != nullptr)
      registry[i].init();
}

void freeThreadLocals() {
  ThreadLocals& record = threadLocals();
  irr::core::array<ThreadVarFuncs>& registry = threadVarRegistry();
  for (irr::u32 i = 0; i < registry.size(); ++i)
    if (registry[i].cleanup != nullptr)
      registry[i].cleanup();

  if (scriptHooks.release != nullptr)
    scriptHooks.release(record);

  delete record.formulaStack;
  record.formulaStack = nullptr;
  delete record.scratchStream;
  record.scratchStream = nullptr;
  record.currentSystem = nullptr;
  record.systemLockNesting = 0;
  record.systemLockFrames.clear();
}
