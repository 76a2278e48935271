// Threads and the per-thread record of every thread that runs game or script
// code.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include <irrString.h>

#include "platform/thread.h"

namespace AngelScript {
class asIScriptContext;
}
namespace RakNet {
class BitStream;
}
class FormulaStack;
class MersenneTwister;
class solarSystem;

// An owned handle to a thread. Destroying or reassigning it lets go of the
// handle; the thread runs on until its entry function returns.
class Thread {
 public:
  using Entry = plat::ThreadEntry;

  // Starts `entry(argument)`, running at once or held until resume(). A
  // failure is logged and returns false, leaving this Thread as it was.
  bool start(Entry entry, void* argument, bool runNow);
  // Makes this Thread refer to the calling thread.
  void fromCurrent();
  // Makes this Thread refer to the same thread as `other`.
  void assign(const Thread& other);
  // Priority by index 0 (idle) to 6 (time critical), 3 being normal. Other
  // indexes are ignored; a priority the system refuses is not an error.
  void setPriority(int level);
  // Lets a thread started with runNow false begin.
  void resume();
  // Waits for the thread's end, at most `timeoutMs` (negative: no limit).
  bool waitForExit(int timeoutMs = -1) const;
  bool valid() const { return handle_.valid(); }
  const plat::ThreadHandle& handle() const { return handle_; }

 private:
  plat::ThreadHandle handle_;
};

// A per-thread set-up and clean-up pair run for every thread's record.
struct ThreadVarFuncs {
  void (*init)();
  void (*cleanup)();
};

// Appends a pair to the registry (registration order is kept; no removal).
// Not locked: registrars guard against registering twice themselves.
void registerThreadVarFuncs(ThreadVarFuncs funcs);

// The per-thread record. All fields are empty when the thread starts.
struct ThreadLocals {
  // Clock: counts per second of the monotonic clock, as integer and double,
  // and the last raw count read on this thread.
  int64_t timerFrequency = 0;
  double timerFrequencyD = 0.0;
  int64_t lastTimerCount = 0;

  // One script context of each engine, pools of further contexts (last in,
  // first out) and prepared server contexts by function id (at most 127).
  AngelScript::asIScriptContext* serverContext = nullptr;
  AngelScript::asIScriptContext* clientContext = nullptr;
  std::vector<AngelScript::asIScriptContext*> serverPool;
  std::vector<AngelScript::asIScriptContext*> clientPool;
  std::map<int, AngelScript::asIScriptContext*> preparedContexts;

  // The formula evaluator's value stack (core/formula.h).
  FormulaStack* formulaStack = nullptr;
  // Scratch stream the thread's network code builds messages in.
  RakNet::BitStream* scratchStream = nullptr;
  // The thread's random generator.
  MersenneTwister* random = nullptr;
  // Copy of the last locale key this thread did not find.
  irr::core::stringw localeMiss;

  // Star-system locks. `currentSystem` is the system this thread's galaxy
  // worker ticks (null elsewhere). Each system taken while another was held
  // pushes a frame with the depth at which the other was released;
  // `systemLockNesting` counts the frames.
  struct SystemLockFrame {
    solarSystem* system;
    unsigned savedDepth;
  };
  solarSystem* currentSystem = nullptr;
  int systemLockNesting = 0;
  std::vector<SystemLockFrame> systemLockFrames;
  int threadNumber = 0;
  float frameSeconds = 0.0f;
};

// The calling thread's record.
ThreadLocals& threadLocals();

// Sets up the calling thread's record (tearing down an earlier one first).
void initThreadLocals();
// Tears the calling thread's record down. The held-lock table stays.
void freeThreadLocals();

// Script contexts are made and released by the script host, which registers
// these when its engines exist. Without them a record has no contexts.
struct ThreadScriptHooks {
  void (*create)(ThreadLocals& record);
  void (*release)(ThreadLocals& record);
};
void setThreadScriptHooks(ThreadScriptHooks hooks);
