// Order queues and the order pools, on one thread.
//
//   QueueTick      UnitAI::tick of 10,000 objects, each queue holding 1 or
//                  10 background orders that answer Running (so the tick
//                  walks the whole queue and then idles); ns per object
//   Alloc          a goto made and deleted (goto pool), a UnitAI made and
//                  dropped (UnitAI pool), and plain new/delete of an object
//                  the size of a goto, and of one the size of a UnitAI
#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "app/base/config.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "universe/objects/game_object.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace {

constexpr int kObjects = 10000;

class BenchObject : public generic_object {
 public:
  BenchObject() : generic_object(defaultEmpire(), nullptr, nullptr) {}
};

// Runs behind whatever is in front of it and never finishes.
class BackgroundOrder : public Order {
 public:
  bool runsInBackground() const override { return true; }
  OrderResult execute(generic_object& /*object*/) override {
    ++executed;
    return Running;
  }
  unsigned executed = 0;
};

void setUp() {
  static const bool done = [] {
    singleThreaded = false;
    initThreadLocals();
    return true;
  }();
  (void)done;
}

void QueueTick(benchmark::State& state) {
  setUp();
  const int queued = static_cast<int>(state.range(0));
  std::vector<BenchObject*> objects;
  std::vector<UnitAI*> ais;
  for (int n = 0; n < kObjects; ++n) {
    auto* object = new BenchObject();
    auto* ai = new UnitAI(object, false);
    for (int k = 0; k < queued; ++k)
      ai->appendOrder(new BackgroundOrder());
    object->setAI(ai);
    ai->drop();
    objects.push_back(object);
    ais.push_back(ai);
  }
  for (auto _ : state) {
    for (UnitAI* ai : ais)
      ai->tick();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kObjects);
  state.counters["ns_per_object"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kObjects, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  for (BenchObject* object : objects)
    object->drop();  // and its queue with it
}
BENCHMARK(QueueTick)->Arg(1)->Arg(10);

// An object of `Size` bytes, from the general heap.
template <size_t Size>
struct Plain {
  char bytes[Size];
};

void AllocGotoPool(benchmark::State& state) {
  for (auto _ : state) {
    auto* order = new goto_order(nullptr, true, 1.0f);
    benchmark::DoNotOptimize(order);
    delete order;
  }
}
BENCHMARK(AllocGotoPool);

void AllocGotoSizeHeap(benchmark::State& state) {
  for (auto _ : state) {
    auto* block = new Plain<sizeof(goto_order)>;
    benchmark::DoNotOptimize(block);
    delete block;
  }
}
BENCHMARK(AllocGotoSizeHeap);

void AllocUnitAIPool(benchmark::State& state) {
  setUp();
  for (auto _ : state) {
    auto* ai = new UnitAI(nullptr, false);
    benchmark::DoNotOptimize(ai);
    ai->drop();
  }
}
BENCHMARK(AllocUnitAIPool);

void AllocUnitAISizeHeap(benchmark::State& state) {
  for (auto _ : state) {
    auto* block = new Plain<sizeof(UnitAI)>;
    benchmark::DoNotOptimize(block);
    delete block;
  }
}
BENCHMARK(AllocUnitAISizeHeap);

}  // namespace
