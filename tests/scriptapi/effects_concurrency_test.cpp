// Timed effects whose Tick hook is a server-script function, ticked by four
// threads at once: each thread makes, ticks and destroys objects of its own
// and runs the hook on its own script contexts, while a fifth thread keeps
// taking timed effects from their shared pool and giving them back. Every
// hook call must land on its own event, the pool must end with nothing
// handed out, and every object must be gone. Run by hand under the
// ThreadSanitizer build as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/threads.h"
#include "design/effects/effects.h"
#include "script_session.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_registry.h"

namespace effects_concurrency_test {

using namespace AngelScript;

namespace {

constexpr int kTickers = 4;
constexpr int kObjectsPerTicker = 1000;
// Every hook call is a script call, 4 x 1,000 x steps of them: about 3 s of
// four CPUs in the plain build. The sanitizer builds run each call several
// times slower (the full run takes 5 s under AddressSanitizer on eight CPUs,
// 29 s under ThreadSanitizer), so they take a tenth of the steps to stay
// within a few seconds on two CPUs; the interleavings that matter (the shared
// pool, the script engine, the object registry) come from the threads running
// side by side, and a tenth of the run still makes 4 million hook calls.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSteps = 1000;
#else
constexpr int kSteps = 10000;
#endif
constexpr float kStep = 0.25f;  // one timed-effect step per tick
// Far longer than the run: no effect ends on its own.
constexpr float kDuration = kSteps * kStep * 4.0f;
// What the hook adds to its event's custom value on each call; whole
// numbers stay exact in a float far beyond kSteps.
constexpr float kPulse = 1.0f;
// Timed effects the fifth thread holds at a time.
constexpr int kChurnBatch = 64;
// Only keeps a stuck thread from hanging the test program.
constexpr auto kWatchdog = std::chrono::seconds(300);

const char kEffectFile[] =
    "Name: Beacon\n"
    "Value: Pulse\n"
    "Tick: pulse::tick\n";
const char kPulseModule[] = "void tick(Event@ e, float pulse) { e.custom += pulse; }\n";

class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};

// What one ticking thread found.
struct TickerReport {
  int refused = 0;        // addTimedEffect kept no effect
  int ended = 0;          // objects without their effect after the run
  int miscounted = 0;     // effects whose hook did not run once per step
  long long hookCalls = 0;
  bool ownCachedContext = false;  // the hook ran on the thread's cached context
  size_t pooledContexts = 0;      // contexts the thread had to take from its pool
};

void tickObjects(const effect_data& values, int hookFunction, TickerReport& report) {
  initThreadLocals();
  std::vector<generic_object*> objects;
  objects.reserve(kObjectsPerTicker);
  for (int i = 0; i < kObjectsPerTicker; ++i) {
    generic_object* object = new PlainObject;
    if (!object->addTimedEffect(values, kDuration, 0.0f, nullptr, nullptr, nullptr))
      ++report.refused;
    objects.push_back(object);
  }
  for (int step = 0; step < kSteps; ++step)
    for (generic_object* object : objects)
      object->tick(kStep);

  for (generic_object* object : objects) {
    if (object->timedEffects.size() != 1) {
      ++report.ended;
      continue;
    }
    const float custom = object->timedEffects[0]->event.custom;
    report.hookCalls += static_cast<long long>(custom / kPulse);
    if (custom != kSteps * kPulse)
      ++report.miscounted;
  }
  const ThreadLocals& record = threadLocals();
  report.ownCachedContext =
      record.preparedContexts.size() == 1 && record.preparedContexts.count(hookFunction) == 1;
  report.pooledContexts = record.serverPool.size();

  // Ended as the game ends them: asked to go, and gone with their next tick.
  for (generic_object* object : objects) {
    object->destroy(true);
    object->tick(0.0f);
  }
  freeThreadLocals();
}

// Takes batches of timed effects from the pool and gives them back (every
// other one first) until no ticking thread is left; the rounds it made.
long churnTimedEffects(const effect_data& values, const std::atomic<int>& tickersLeft) {
  std::vector<timed_effect*> held(kChurnBatch);
  long rounds = 0;
  do {
    for (timed_effect*& effect : held)
      effect = new timed_effect(values, nullptr, nullptr, kDuration, 0.0f, nullptr, nullptr);
    for (size_t i = 0; i < held.size(); i += 2)
      delete held[i];
    for (size_t i = 1; i < held.size(); i += 2)
      delete held[i];
    ++rounds;
  } while (tickersLeft.load() > 0);
  return rounds;
}

// Runs `work` on a thread of its own; its future.
template <typename Work>
std::future<void> launch(Work work) {
  std::packaged_task<void()> task(std::move(work));
  std::future<void> done = task.get_future();
  std::thread(std::move(task)).detach();
  return done;
}

// Waits for `work`; a thread that does not finish in time is stuck, and the
// threads still use the test's objects, so the program ends.
void finishOrAbort(std::future<void>& work, const char* what) {
  if (work.wait_for(kWatchdog) != std::future_status::ready) {
    ADD_FAILURE() << what << " still running after " << kWatchdog.count() << " s";
    std::fflush(stdout);
    std::abort();
  }
  work.get();
}

class EffectsConcurrencyTest : public scriptapitest::ScriptSessionTest {
 protected:
  void TearDown() override {
    clearEffects();
    ScriptSessionTest::TearDown();
  }
};

TEST_F(EffectsConcurrencyTest, ScriptTickHooksOnFourThreadsBesideThePool) {
  const std::filesystem::path folder = root_ / "Game Data/Effects";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "beacon.txt", std::ios::binary) << kEffectFile;
  startSession({{"pulse", kPulseModule}});
  const irr::s32 index = findEffectIndex(L"Beacon");
  ASSERT_GE(index, 0);
  const auto* effect = static_cast<const effect_generic*>(effectRegistry()[static_cast<irr::u32>(index)].value);
  const effectHook& hook = effect->hooks[EH_Tick];
  ASSERT_TRUE(hook.enabled && !hook.isInternal) << "the Tick hook is bound to the script function";

  effect_data values;
  values.effect = effect;
  values.values[0] = kPulse;

  const unsigned timedBefore = timedEffectsInUse();
  const uint32_t objectsBefore = registeredObjectCount();

  TickerReport reports[kTickers];
  std::atomic<int> tickersLeft{kTickers};
  long churnRounds = 0;
  std::future<void> churn = launch([&] { churnRounds = churnTimedEffects(values, tickersLeft); });
  std::vector<std::future<void>> tickers;
  for (TickerReport& report : reports)
    tickers.push_back(launch([&values, &hook, &report, &tickersLeft] {
      tickObjects(values, hook.function.scriptFunction, report);
      tickersLeft.fetch_sub(1);
    }));
  for (std::future<void>& ticker : tickers)
    finishOrAbort(ticker, "a ticking thread");
  finishOrAbort(churn, "the pool thread");

  long long hookCalls = 0;
  for (int i = 0; i < kTickers; ++i) {
    SCOPED_TRACE("thread " + std::to_string(i));
    const TickerReport& report = reports[i];
    EXPECT_EQ(report.refused, 0);
    EXPECT_EQ(report.ended, 0);
    EXPECT_EQ(report.miscounted, 0);
    EXPECT_TRUE(report.ownCachedContext) << "one cached context, prepared for the hook's function";
    EXPECT_EQ(report.pooledContexts, 0u);
    hookCalls += report.hookCalls;
  }
  EXPECT_EQ(hookCalls, static_cast<long long>(kTickers) * kObjectsPerTicker * kSteps);
  EXPECT_GT(churnRounds, 0);
  EXPECT_EQ(timedEffectsInUse(), timedBefore) << "every timed effect went back to the pool";
  EXPECT_EQ(registeredObjectCount(), objectsBefore) << "every object was released";
}

}  // namespace

}  // namespace effects_concurrency_test
