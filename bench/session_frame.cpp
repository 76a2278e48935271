// One empty simulation frame of the game session: the three workers woken
// (garbage collection, galaxy, server modules, all with nothing to do), no
// empires, and the wait for the server-module worker; on worker threads and
// inline (single-threaded mode).
#include <benchmark/benchmark.h>

#include "app/frame_loop.h"
#include "app/session_workers.h"
#include "core/timer.h"

namespace {

void nothing() {}
void nothingFor(float) {}

void BM_EmptySimulationFrame(benchmark::State& state) {
  const bool runInline = state.range(0) != 0;
  registerFrameProfileSections();
  std::unique_ptr<HiresTimer> timer = createHiresTimer();
  SessionWorkers workers(WorkerTasks{nothing, nothing, nothingFor}, runInline);
  FrameLoop loop(*timer, workers, nullptr);
  workers.start();
  for (auto _ : state)
    loop.runSimulationFrame();
  workers.stop();
  workers.join();
  state.SetLabel(runInline ? "single-threaded" : "worker threads");
}
BENCHMARK(BM_EmptySimulationFrame)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace
