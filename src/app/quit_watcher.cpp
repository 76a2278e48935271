#include "app/quit_watcher.h"

#include <mutex>

#include "core/threads.h"
#include "platform/signals.h"
#include "platform/thread.h"
#include "script/script_abort.h"

namespace {

// Longest sleep of the idle watcher; the request wakes it at once anyway.
constexpr unsigned kIdleWaitMs = 60 * 1000;

uint32_t watchForQuit(void*) {
  for (;;) {
    if (!plat::waitForTermination(kIdleWaitMs))
      continue;
    // An ordinary shut-down is done with its scripts well within the grace
    // time, so only scripts that do not return are ever aborted.
    plat::sleepMs(kQuitGraceMs);
    while (plat::terminationRequested()) {
      abortRunningScripts();
      plat::sleepMs(kQuitAbortIntervalMs);
    }
  }
  return 0;
}

}  // namespace

bool startQuitWatcher() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    Thread watcher;
    started = watcher.start(watchForQuit, nullptr, true);
  });
  return started;
}
