// Effector definition files and the effect-graphics queue, on one thread.
//
//   Load     loadEffectors on a file of 200 effectors, each with two values,
//            a range formula, a two-element "CanAttack" list, an "OnFire"
//            native with template arguments, a "Tick" native and a caused
//            effect with a with-list (the registry cleared between runs,
//            outside the timing)
//   Queue    1,000 instant-hit calls queued one by one (each holding its two
//            object references) and written into message bodies of at most
//            255 calls, the queue then cleared outside the timing; beside
//            it, 1,000 pointers pushed into a std::vector under a
//            std::mutex, each push taking the lock
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effect_functions.h"
#include "design/effects/effects.h"
#include "platform/bit_stream.h"
#include "universe/objects/game_object.h"

namespace {

constexpr int kEffectors = 200;
constexpr int kCalls = 1000;

class BenchObject : public generic_object {
 public:
  BenchObject() : generic_object(nullptr, nullptr, nullptr) {}
};

float benchTarget(const generic_object*, const generic_object*, const effector*) { return 1.0f; }
void benchFire(EffectEvent*, const effector*, interactor_data*) {}
void benchFireWithArgs(EffectEvent*, const effector*, interactor_data*, const EffectorArgList&) {}
bool acceptArgs(const EffectorArgList&, const char*, int) { return true; }
const FireFunctionWithArgsEntry kFireWithArgs{benchFireWithArgs, acceptArgs};

std::filesystem::path scratchFile(const char* stem) {
  return std::filesystem::temp_directory_path() / (std::string(stem) + std::to_string(::getpid()) + ".txt");
}

std::string effectorFile() {
  std::ostringstream text;
  for (int i = 0; i < kEffectors; ++i) {
    text << "Effector: Weapon" << i << "\n"
         << "Value: Damage\nValue: Delay\n"
         << "PhysicalType: Beam\n"
         << "Range: 100 + Damage * 2\n"
         << "CanAttack: BenchTarget, ::BenchTarget\n"
         << "OnFire: BenchTimed(Delay, 0.1)\n"
         << "Tick: BenchTick\n"
         << "Causes: Hit lasting Delay / 2 with Amount[Damage * 1.5]\n";
  }
  return text.str();
}

// The bench natives, the effect "Hit" and the effector file. Once.
const std::filesystem::path& setUp() {
  static const std::filesystem::path file = [] {
    registerNativeFunctions();
    registerTargetFunction(L"BenchTarget").value = benchTarget;
    registerFireFunctionWithArgs(L"BenchTimed").value = &kFireWithArgs;
    registerTickFunction(L"BenchTick").value = benchFire;
    const std::filesystem::path effects = scratchFile("bench-effector-effects-");
    std::ofstream(effects, std::ios::binary) << "Name: Hit\nValue: Amount\nTick: Skip\n";
    loadEffects(effects.string().c_str());
    std::filesystem::remove(effects);
    const std::filesystem::path effectors = scratchFile("bench-effectors-");
    std::ofstream(effectors, std::ios::binary) << effectorFile();
    return effectors;
  }();
  return file;
}

void LoadEffectors(benchmark::State& state) {
  const irr::core::stringc path(setUp().string().c_str());
  for (auto _ : state) {
    loadEffectors(path);
    state.PauseTiming();
    if (effectorRegistry().size() != kEffectors) {
      state.SkipWithError("the effectors did not all load");
      break;
    }
    clearEffectors();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kEffectors);
}
BENCHMARK(LoadEffectors)->Unit(benchmark::kMicrosecond);

void QueueAndWriteCalls(benchmark::State& state) {
  setUp();
  loadEffectors(irr::core::stringc(setUp().string().c_str()));
  const effector_def* def = findEffector(L"Weapon0");
  generic_object* source = new BenchObject;
  generic_object* target = new BenchObject;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i)
      queueEffGfxCall(new EffGfxInstant(&def->gfx, source, target));
    unsigned written = 0;
    while (written < kCalls) {
      RakNet::BitStream stream;
      written += writeEffGfxQueue(stream, written);
      benchmark::DoNotOptimize(stream.GetNumberOfBitsUsed());
    }
    state.PauseTiming();
    clearEffGfxQueue();
    state.ResumeTiming();
  }
  source->drop();
  target->drop();
  clearEffectors();
  state.SetItemsProcessed(state.iterations() * kCalls);
}
BENCHMARK(QueueAndWriteCalls)->Unit(benchmark::kMicrosecond);

void PushPointersUnderMutex(benchmark::State& state) {
  std::mutex lock;
  std::vector<void*> queue;
  int dummy = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      std::lock_guard<std::mutex> guard(lock);
      queue.push_back(&dummy);
    }
    benchmark::DoNotOptimize(queue.data());
    state.PauseTiming();
    queue.clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kCalls);
}
BENCHMARK(PushPointersUnderMutex)->Unit(benchmark::kMicrosecond);

}  // namespace
