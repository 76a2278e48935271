#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/signals.h"

namespace plat {

struct ThreadControl {
  ThreadEntry entry = nullptr;
  void* argument = nullptr;
  std::atomic<pid_t> tid{0};

  std::mutex mutex;
  std::condition_variable changed;
  bool gateOpen = false;
  bool finished = false;
  uint32_t exitCode = 0;
};

namespace {

thread_local std::shared_ptr<ThreadControl> currentControl;

void* threadTrampoline(void* raw) {
  // The thread holds its own reference, so its control outlives every handle.
  std::shared_ptr<ThreadControl> control(*static_cast<std::shared_ptr<ThreadControl>*>(raw));
  delete static_cast<std::shared_ptr<ThreadControl>*>(raw);
  control->tid.store(static_cast<pid_t>(syscall(SYS_gettid)));
  currentControl = control;
  // The crash handler needs room of its own when this thread's stack overflows.
  installThreadSignalStack();
  {
    std::unique_lock<std::mutex> guard(control->mutex);
    control->changed.wait(guard, [&] { return control->gateOpen; });
  }
  const uint32_t code = control->entry(control->argument);
  {
    std::lock_guard<std::mutex> guard(control->mutex);
    control->finished = true;
    control->exitCode = code;
  }
  control->changed.notify_all();
  currentControl.reset();
  return nullptr;
}

// Nice values for the priority levels. Linux schedules ordinary threads by
// their nice value; negative values need privileges and may be refused.
int niceFor(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::Idle: return 19;
    case ThreadPriority::Lowest: return 10;
    case ThreadPriority::BelowNormal: return 5;
    case ThreadPriority::Normal: return 0;
    case ThreadPriority::AboveNormal: return -5;
    case ThreadPriority::Highest: return -10;
    case ThreadPriority::TimeCritical: return -20;
  }
  return 0;
}

}  // namespace

ThreadHandle ThreadHandle::start(ThreadEntry entry, void* argument, bool runNow, std::string* error) {
  auto control = std::make_shared<ThreadControl>();
  control->entry = entry;
  control->argument = argument;
  control->gateOpen = runNow;

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t id;
  auto* passed = new std::shared_ptr<ThreadControl>(control);
  const int rc = pthread_create(&id, &attr, threadTrampoline, passed);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete passed;
    if (error)
      *error = std::strerror(rc);
    return ThreadHandle();
  }
  return ThreadHandle(std::move(control));
}

ThreadHandle ThreadHandle::current() {
  if (!currentControl) {
    // A thread we did not start (the main thread, a library's thread).
    currentControl = std::make_shared<ThreadControl>();
    currentControl->tid.store(static_cast<pid_t>(syscall(SYS_gettid)));
    currentControl->gateOpen = true;
  }
  return ThreadHandle(currentControl);
}

void ThreadHandle::resume() const {
  if (!control_)
    return;
  {
    std::lock_guard<std::mutex> guard(control_->mutex);
    control_->gateOpen = true;
  }
  control_->changed.notify_all();
}

bool ThreadHandle::setPriority(ThreadPriority priority) const {
  if (!control_)
    return false;
  // A thread held at its gate has not stored its id yet; wait briefly for it.
  pid_t tid = control_->tid.load();
  for (int i = 0; tid == 0 && i < 1000; ++i) {
    std::this_thread::yield();
    tid = control_->tid.load();
  }
  if (tid == 0)
    return false;
  return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceFor(priority)) == 0;
}

bool ThreadHandle::waitForExit(int timeoutMs) const {
  if (!control_)
    return true;
  std::unique_lock<std::mutex> guard(control_->mutex);
  if (timeoutMs < 0) {
    control_->changed.wait(guard, [&] { return control_->finished; });
    return true;
  }
  return control_->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return control_->finished; });
}

bool ThreadHandle::finished() const {
  if (!control_)
    return false;
  std::lock_guard<std::mutex> guard(control_->mutex);
  return control_->finished;
}

uint32_t ThreadHandle::exitCode() const {
  if (!control_)
    return 0;
  std::lock_guard<std::mutex> guard(control_->mutex);
  return control_->exitCode;
}

bool ThreadHandle::isCurrent() const { return control_ && control_ == currentControl; }

void sleepMs(unsigned milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void sleepMicroseconds(uint32_t microseconds) {
  if (microseconds == 0) {
    sched_yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

unsigned logicalCpuCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0)
      return static_cast<unsigned>(count);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1u;
}

}  // namespace plat
