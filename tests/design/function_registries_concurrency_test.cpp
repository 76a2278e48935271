// The native function registries read from several threads: after start-up,
// four threads look names up in all seven while a second session's effect
// and effector files load on the main thread (whose loaders look the same
// names up). Run under ThreadSanitizer this must report nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/effects/function_registries.h"
#include "design/registry_probe.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace function_registries_concurrency_test {

namespace {

// An effect file whose hooks name natives of both effect registries, and
// an effector file naming natives of all five effector registries.
const char kEffects[] =
    "Name: Hit\nValue: Amount\nValue: Rate\n"
    "OnActive: AddAmount(Amount, \"Ore\")\n"
    "Tick: Generate(\"Ore\", Rate)\n"
    "OnDeactive: Skip\n"
    "Name: Blast\nOnActive: Death\nOnConstruct: AddMax(5, \"Ore\", 0.5)\nTick: Drain(\"Ore\", 2)\n";
const char kEffectors[] =
    "Effector: Laser\nValue: Damage\nValue: Delay\nRange: 10\n"
    "CanAttack: CanAttack, isShip\nAutoAttack: Enemy\nOnFire: Timed(Delay)\nTick: Reload\n"
    "Causes: Hit lasting 0 with Amount[Damage]\n"
    "Effector: Loader\nCanAttack: CanTransfer(\"Ore\"), Friendly\nOnFire: MultiPulseCost(0.2, 5, 3, \"Ore\", 1)\n"
    "Tick: Reload\nCauses: Blast\n"
    "Effector: Probe\nCanAttack: Any\nOnFire: Fire\n";

class FunctionRegistriesConcurrencyTest : public testing::Test {
 protected:
  void SetUp() override {
    registerNativeFunctions();  // start-up, on the main thread
    const std::filesystem::path folder = scratchDir();
    effects_ = (folder / "effects.txt").string();
    effectors_ = (folder / "effectors.txt").string();
    std::ofstream(effects_, std::ios::binary) << kEffects;
    std::ofstream(effectors_, std::ios::binary) << kEffectors;
  }
  void TearDown() override {
    clearEffectors();
    clearEffects();
    freeThreadLocals();
  }

  // Loads both files as a session does and checks that every hook and
  // function bound; the log of the loading.
  std::string loadSession() {
    LogCapture log;
    loadEffects(effects_.c_str());
    loadEffectors(effectors_.c_str());
    const effect_generic* hit = dynamic_cast<effect_generic*>(findEffect(L"Hit"));
    const effect_generic* blast = dynamic_cast<effect_generic*>(findEffect(L"Blast"));
    EXPECT_TRUE(hit != nullptr && hit->hooks[EH_OnActive].enabled && hit->hooks[EH_Tick].enabled &&
                hit->hooks[EH_OnDeactive].enabled);
    EXPECT_TRUE(blast != nullptr && blast->hooks[EH_OnActive].enabled && blast->hooks[EH_OnConstruct].enabled &&
                blast->hooks[EH_Tick].enabled);
    const effector_def* laser = findEffector(L"Laser");
    const effector_def* loader = findEffector(L"Loader");
    const effector_def* probe = findEffector(L"Probe");
    EXPECT_TRUE(laser != nullptr && laser->canAttack.size() == 2 && laser->autoAttack.size() == 1 &&
                laser->onFire.kind == EFK_NativeWithArgs && laser->tick.kind == EFK_Native);
    EXPECT_TRUE(loader != nullptr && loader->canAttack.size() == 2 && loader->canAttack[0].kind == EFK_NativeWithArgs &&
                loader->onFire.kind == EFK_NativeWithArgs);
    EXPECT_TRUE(probe != nullptr && probe->onFire.kind == EFK_Native);
    return log.take();
  }

  std::string effects_;
  std::string effectors_;
};

TEST_F(FunctionRegistriesConcurrencyTest, LookupsRunWhileASecondSessionLoads) {
  // The first session.
  const std::string firstLog = loadSession();
  clearEffectors();
  clearEffects();

  RegistryView before[NRK_COUNT];
  for (uint32_t k = 0; k < NRK_COUNT; ++k)
    before[k] = registryView(static_cast<NativeRegistryKind>(k));

  constexpr int kReaders = 4;
  std::atomic<bool> loading{true};
  std::atomic<int> started{0};
  std::atomic<size_t> missed{0};
  std::atomic<bool> unmarked{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < kReaders; ++t)
    readers.emplace_back([&, t] {
      ++started;
      unsigned round = static_cast<unsigned>(t);
      do {
        if (lookUpEveryName(round++) != 43)
          ++missed;
        const RegistryView view = registryView(static_cast<NativeRegistryKind>(round % NRK_COUNT));
        if (!view.sortedFlag)
          unmarked = true;
      } while (loading.load() || round < static_cast<unsigned>(t) + 20);
      freeThreadLocals();
    });
  while (started.load() < kReaders)
    std::this_thread::yield();

  // The second session, while the readers look names up.
  const std::string secondLog = loadSession();
  loading = false;
  for (std::thread& reader : readers)
    reader.join();

  EXPECT_EQ(secondLog, firstLog);
  EXPECT_EQ(missed.load(), 0u);
  EXPECT_FALSE(unmarked.load()) << "a lookup cleared a sorted mark";
  for (uint32_t k = 0; k < NRK_COUNT; ++k) {
    const RegistryView after = registryView(static_cast<NativeRegistryKind>(k));
    EXPECT_TRUE(after.sortedFlag) << k;
    EXPECT_EQ(after.names, before[k].names) << k;
  }
}

}  // namespace

}  // namespace function_registries_concurrency_test
