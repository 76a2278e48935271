// Effectors fired by four threads at once, each at the objects of its own
// star system under that system's lock, as the galaxy workers fire: a
// script "OnFire" function triggers a beam whose "Hit" (the shipped effect
// and script) damages the target through its damage method. Meanwhile the
// main thread keeps sending and emptying the graphics queue that every
// firing adds to. Every hit must land, and no timed effect or graphics call
// may be left over. Run under the ThreadSanitizer build as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/formula.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "platform/bit_stream.h"
#include "script_session.h"
#include "scripted_galaxy.h"
#include "support/scratch_dir.h"
#include "support/working_folder.h"
#include "universe/galaxy_fixture.h"
#include "universe/objects/object_states.h"
#include "universe/objects/system_locks.h"

namespace effector_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kTargetsPerSystem = 4;
constexpr int kFirings = 10000;
// Each target's timed effects are run out after this many firings.
constexpr int kFiringsPerTick = 64;
// The damage per hit; whole sums stay exact in a float.
constexpr float kDamage = 1.0f;
// Only keeps a stuck thread from hanging the test program.
constexpr auto kWatchdog = std::chrono::seconds(300);

const char kSalvoModule[] = R"(
void fire(Event@ evt, const Effector@ eff, EffectorState@ state) {
  state.val2 += 1;
  eff.trigger(evt);
}
)";

const char kEffectorFile[] =
    "Effector: Pulser\n"
    "Value: Damage\n"
    "PhysicalType: Beam\n"
    "OnFire: salvo::fire\n"
    "Causes: Hit lasting 0 with Amount[Damage]\n";

class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};

// One firing thread's system and objects, and what it found.
struct Worker {
  solarSystem* system = nullptr;
  generic_object* source = nullptr;
  std::vector<generic_object*> targets;
  interactor_data state;
  int leftTimedEffects = 0;  // on its targets after their last tick
};

void copyShipped(const std::filesystem::path& root, const char* relative) {
  const std::filesystem::path to = root / relative;
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy_file(std::filesystem::path(CORVANE_SOURCE_DIR "/data") / relative, to);
}

// Fires `eff` kFirings times at the worker's targets in turn, holding its
// system's lock as the system's tick would, and runs the targets' timed
// effects out every so often. The threads start firing together, once each
// has its thread record.
void fireAway(const effector_def* def, const effector& eff, Worker& worker, std::atomic<int>& waiting) {
  initThreadLocals();
  waiting.fetch_sub(1);
  while (waiting.load() > 0)
    std::this_thread::yield();
  for (int k = 0; k < kFirings; ++k) {
    generic_object* target = worker.targets[static_cast<size_t>(k % kTargetsPerSystem)];
    lockSolarSystem(worker.system);
    {
      EffectEvent event(worker.source, target, 0.0f);
      effector::trigger(def->onFire, &event, &eff, &worker.state);
    }
    if (k % kFiringsPerTick == kFiringsPerTick - 1 || k == kFirings - 1)
      for (generic_object* each : worker.targets)
        each->tick(0.25f);
    unlockSolarSystem(worker.system);
  }
  for (generic_object* each : worker.targets)
    worker.leftTimedEffects += static_cast<int>(each->timedEffects.size());
  freeThreadLocals();
}

class EffectorConcurrencyTest : public scriptapitest::ScriptedGalaxyTest {
 protected:
  void SetUp() override {
    ScriptedGalaxyTest::SetUp();
    copyShipped(root_, "Game Data/Effects/combat.txt");
    copyShipped(root_, "Game Data/scripts/server/combat.as");
    std::ofstream(root_ / "Game Data/scripts/server/salvo.as", std::ios::binary) << kSalvoModule;
    std::filesystem::create_directories(root_ / "Game Data/Effectors");
    std::ofstream(root_ / "Game Data/Effectors/salvo.txt", std::ios::binary) << kEffectorFile;
    scriptapitest::setUpScriptsOfWorkingFolder();
  }
};

TEST_F(EffectorConcurrencyTest, FourThreadsFireBesideTheGraphicsQueue) {
  const effector_def* def = findEffector(L"Pulser");
  ASSERT_NE(def, nullptr);
  ASSERT_EQ(def->onFire.kind, EFK_Script);
  ASSERT_EQ(def->effects.size(), 1u);
  ASSERT_EQ(def->effects[0]->effect, findEffect(L"Hit"));

  effector eff;
  {
    effector_forms forms(def);
    forms.values[0] = new formula(L"1");
    NameSpaces variables;
    eff.evaluate(forms, variables);
  }
  ASSERT_EQ(eff.values[0], kDamage);

  const std::vector<galaxytest::CountingSystem*> systems = addSystems(kWorkers);
  Worker workers[kWorkers];
  for (int w = 0; w < kWorkers; ++w) {
    Worker& worker = workers[w];
    worker.system = systems[static_cast<size_t>(w)];
    worker.source = new PlainObject;
    worker.source->setContainer(worker.system);
    for (int t = 0; t < kTargetsPerSystem; ++t) {
      generic_object* target = new PlainObject;
      target->position.set(10.0f * static_cast<float>(t + 1), 0, 0);
      target->setContainer(worker.system);
      getOrAddObjectState(target, L"Damage")->value.max = 1e9f;
      worker.targets.push_back(target);
    }
  }
  const unsigned timedBefore = timedEffectsInUse();

  std::atomic<int> waiting{kWorkers};
  std::vector<std::future<void>> running;
  for (Worker& worker : workers)
    running.push_back(
        std::async(std::launch::async, [def, &eff, &worker, &waiting] { fireAway(def, eff, worker, waiting); }));
  long rounds = 0;
  size_t written = 0;
  for (;;) {
    bool allDone = true;
    for (std::future<void>& each : running)
      allDone = allDone && each.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    sendEffectGraphics();
    RakNet::BitStream stream;
    written += writeEffGfxQueue(stream);
    clearEffGfxQueue();
    ++rounds;
    if (allDone)
      break;
    std::this_thread::yield();
  }
  for (std::future<void>& each : running) {
    ASSERT_EQ(each.wait_for(kWatchdog), std::future_status::ready);
    each.get();
  }

  for (int w = 0; w < kWorkers; ++w) {
    SCOPED_TRACE("worker " + std::to_string(w));
    const Worker& worker = workers[w];
    EXPECT_EQ(worker.state.val2, static_cast<float>(kFirings)) << "the OnFire function ran each time";
    float damage = 0.0f;
    for (generic_object* target : worker.targets)
      damage += getOrAddObjectState(target, L"Damage")->value.val;
    EXPECT_EQ(damage, kFirings * kDamage) << "every hit landed";
    EXPECT_EQ(worker.leftTimedEffects, 0);
  }
  EXPECT_GT(rounds, 1);
  EXPECT_GT(written, 0u);
  EXPECT_EQ(timedEffectsInUse(), timedBefore) << "every timed effect went back to its pool";
  EXPECT_EQ(effGfxQueueSize(), 0u);
}

}  // namespace

}  // namespace effector_concurrency_test
