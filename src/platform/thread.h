// Threads as the game code expects them from the operating system: started
// running or held at a start gate, handles that can be shared and outlive the
// thread, a priority request that may be refused, and sleeping.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// Entry function of a thread: takes its argument, returns an exit code.
using ThreadEntry = uint32_t (*)(void* argument);

// Priority levels, lowest to highest (the values a thread may ask for).
enum class ThreadPriority {
  Idle = 0,
  Lowest,
  BelowNormal,
  Normal,
  AboveNormal,
  Highest,
  TimeCritical,
};

struct ThreadControl;

// A shared handle to one thread. Copies refer to the same thread; the thread
// keeps running when every handle is gone.
class ThreadHandle {
 public:
  ThreadHandle() = default;

  // Starts `entry(argument)`. With `runNow` false the thread waits at its start
  // gate until resume(). On failure the handle is empty and `error` (when
  // given) says why.
  static ThreadHandle start(ThreadEntry entry, void* argument, bool runNow,
                            std::string* error = nullptr);
  // A handle to the calling thread.
  static ThreadHandle current();

  bool valid() const { return control_ != nullptr; }
  // Opens the start gate of a thread started with runNow false; otherwise nothing.
  void resume() const;
  // Asks for a scheduling priority. False when the system refused it, which
  // callers treat as normal (raising priority needs privileges).
  bool setPriority(ThreadPriority priority) const;
  // Waits until the thread's entry function has returned, at most `timeoutMs`
  // milliseconds (negative: without limit). True when it has ended.
  bool waitForExit(int timeoutMs = -1) const;
  bool finished() const;
  uint32_t exitCode() const;
  // True when this handle refers to the calling thread.
  bool isCurrent() const;

 private:
  explicit ThreadHandle(std::shared_ptr<ThreadControl> control) : control_(std::move(control)) {}
  std::shared_ptr<ThreadControl> control_;
};

// Sleeps `milliseconds`; 0 gives up the rest of the time slice.
void sleepMs(unsigned milliseconds);
// Sleeps `microseconds` (at least that long; the system may add its timer
// slack, some tens of microseconds); 0 gives up the rest of the time slice.
void sleepMicroseconds(uint32_t microseconds);

// The number of logical CPUs this process may run on (at least 1).
unsigned logicalCpuCount();

}  // namespace plat
