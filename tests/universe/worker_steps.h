// Stepping the galaxy's worker threads from a test or a benchmark: advance
// the game time and wait (bounded) until every worker has finished a pass
// that saw it. No test framework is needed here.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"

namespace workersteps {

// Waits (bounded) until `done` holds; false when it never did.
template <class Done>
bool waitFor(Done done, int seconds = 20) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits (bounded) until every worker of the galaxy has started its clock;
// false when one never did.
inline bool waitForWorkersRunning() {
  return waitFor([] {
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      if (!galaxy->threads[k]->running.load())
        return false;
    return true;
  });
}

// Advances game time by `seconds` and waits until every worker of the
// galaxy finished a pass after it; false when one did not.
inline bool stepWorkers(double seconds) {
  // A worker that has not started its clock yet would not count this step.
  if (!waitForWorkersRunning())
    return false;
  std::vector<uint64_t> before;
  for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
    before.push_back(galaxy->threads[k]->passes.load());
  gameTime = gameTime + seconds;
  cutSystemThreadRests();  // a resting worker would see the step only when its rest ends
  return waitFor([&] {
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      if (galaxy->threads[k]->passes.load() <= before[k])
        return false;
    return true;
  });
}

// Ends the process when the test thread stops making progress (no
// progress() for `limit`): a deadlock would otherwise hang the run. `what`
// names the run in the message.
class Watchdog {
 public:
  Watchdog(const char* what, std::chrono::seconds limit) : what_(what), limit_(limit), thread_([this] { watch(); }) {}
  ~Watchdog() {
    done_.store(true);
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  void progress() { steps_.fetch_add(1); }

 private:
  void watch() {
    uint64_t seen = steps_.load();
    auto since = std::chrono::steady_clock::now();
    while (!done_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const uint64_t now = steps_.load();
      if (now != seen) {
        seen = now;
        since = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - since > limit_) {
        std::fprintf(stderr, "%s: step %llu did not finish: threads wait for each other\n", what_,
                     static_cast<unsigned long long>(now));
        std::abort();
      }
    }
  }

  const char* what_;
  std::chrono::seconds limit_;
  std::atomic<bool> done_{false};
  std::atomic<uint64_t> steps_{0};
  std::thread thread_;
};

}  // namespace workersteps
