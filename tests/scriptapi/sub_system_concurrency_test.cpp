// Sub-system factories of two empires used from several threads at once,
// each instance running a script alter hook, while other threads tick
// running sub-systems on planets of their own.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "scriptapi/script_session.h"
#include "support/log_capture.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "design/sub_system_fixture.h"

namespace sub_system_concurrency_test {

using namespace AngelScript;

namespace {

constexpr int kMakers = 8;
constexpr int kInstancesPerMaker = 1000;
constexpr int kInstancesPerPreparation = 100;
constexpr int kTickers = 4;
constexpr float kTickSeconds = 0.1f;
constexpr int kMostTicks = 5000; // 500 of the fuel
constexpr float kFuel = 1000.0f;

constexpr char kHooks[] = R"(
void grow(subSystem@ s, const string@ n, float v) {
  if (n == "Size")
    s.setVariable("Size", s.getVariable("Size") + v);
}
)";

constexpr char kDefinition[] = "System: S\n"
                               "A: Size * 2\n"
                               "Costs: Iron[Size], Zinc[A + Object.Scale]\n"
                               "Consumes:\nTo Run: Fuel[1]\n"
                               "Requires:\nTo Run: Power[1]\n";

// Same definition, same numbers: the value block, availability, hooks,
// provisions and effectors.
bool sameInstance(const subSystem &a, const subSystem &b) {
  const SubSystemDef *def = a.def;
  if (def != b.def || a.available != b.available ||
      a.alterHooks.size() != b.alterHooks.size() ||
      a.provisions.size() != b.provisions.size() ||
      a.effectors.size() != b.effectors.size() ||
      a.triggerables.size() != b.triggerables.size())
    return false;
  const size_t count = def->variables.size() + def->costs.size() +
                       def->consumption.size() + def->requirements.size() +
                       def->hints.size();
  return std::equal(a.values, a.values + count, b.values);
}

class SubSystemConcurrencyTest : public scriptapitest::ScriptSessionTest {
protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({});
    asIScriptModule *module = build(serverScriptEngine, "hooks", kHooks);
    ASSERT_NE(module, nullptr);
    asIScriptFunction *grow = module->GetFunctionByDecl(
        "void grow(subSystem@, const string@, float)");
    ASSERT_NE(grow, nullptr);
    def_ = subsystemtest::loadDefinition(root_, kDefinition, L"S");
    ASSERT_NE(def_, nullptr);

    for (int e = 0; e < 2; ++e) {
      empire *emp = registerEmpire(new empire);
      emp->alterHooks.push_back(
          SubSystemAlterHook{-1, grow->GetId(), {static_cast<float>(e + 1)}});
      empires_.push_back(emp);
      home_.push_back(planet(emp));
    }
  }
  void TearDown() override {
    for (objHabitation *each : planets_) {
      each->destroyNow(true);
      each->drop();
    }
    clearSubSystemDefs();
    ScriptSessionTest::TearDown();
    EXPECT_EQ(registeredObjectCount(), 0u) << "a test left objects alive";
    clearObjectRegistry();
  }

  objHabitation *planet(empire *owner) {
    auto *made = new objHabitation(owner, nullptr);
    made->grab();
    planets_.push_back(made);
    return made;
  }

  // An instance for the home planet of empire `e`, made by a factory.
  std::unique_ptr<subSystem> reference(int e) {
    std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
    factory->prepare(home_[e]);
    std::unique_ptr<subSystem> made(factory->create(def_));
    factory->release();
    return made;
  }

  const SubSystemDef *def_ = nullptr;
  std::vector<empire *> empires_;
  std::vector<objHabitation *> home_;
  std::vector<objHabitation *> planets_;
};

TEST_F(SubSystemConcurrencyTest, FactoriesOfTwoEmpiresBesideTickingSubSystems) {
  const std::unique_ptr<subSystem> expected[2] = {reference(0), reference(1)};
  ASSERT_NE(expected[0], nullptr);
  ASSERT_NE(expected[1], nullptr);
  // The hook's argument shows: Size 10 + 1, and 10 + 2.
  EXPECT_EQ(expected[0]->getSize(), 11.0f);
  EXPECT_EQ(expected[1]->getSize(), 12.0f);

  // Each ticker runs its own copy on a planet of its own with fuel and
  // power enough for all its ticks.
  struct Ticker {
    objHabitation *world;
    std::unique_ptr<subSystem> instance;
    SysRef record;
    int ticks = 0;
  };
  std::vector<Ticker> tickers(kTickers);
  for (int t = 0; t < kTickers; ++t) {
    Ticker &ticker = tickers[static_cast<size_t>(t)];
    ticker.world = planet(empires_[static_cast<size_t>(t % 2)]);
    ticker.instance.reset(new subSystem(*expected[t % 2]));
    ticker.record.system = ticker.instance.get();
    getOrAddObjectState(ticker.world, L"Fuel")->value.val = kFuel;
    getOrAddObjectState(ticker.world, L"Power")->value.val = 10.0f;
  }

  std::atomic<int> starting{kMakers + kTickers};
  std::atomic<int> makersLeft{kMakers};
  std::atomic<int> unequal{0}, missing{0};
  std::vector<std::thread> threads;
  for (int m = 0; m < kMakers; ++m) {
    threads.emplace_back([&, m] {
      initThreadLocals();
      starting.fetch_sub(1);
      while (starting.load() > 0)
        std::this_thread::yield();
      const int e = m % 2;
      std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
      for (int i = 0; i < kInstancesPerMaker; ++i) {
        if (i % kInstancesPerPreparation == 0)
          factory->prepare(home_[static_cast<size_t>(e)]);
        std::unique_ptr<subSystem> made(factory->create(def_));
        if (made == nullptr)
          missing.fetch_add(1);
        else if (!sameInstance(*made, *expected[e]))
          unequal.fetch_add(1);
        if (i % kInstancesPerPreparation == kInstancesPerPreparation - 1)
          factory->release();
      }
      factory.reset();
      makersLeft.fetch_sub(1);
      freeThreadLocals();
    });
  }
  for (Ticker &ticker : tickers) {
    threads.emplace_back([&] {
      initThreadLocals();
      starting.fetch_sub(1);
      while (starting.load() > 0)
        std::this_thread::yield();
      do {
        EffectEvent event(ticker.world, ticker.world, kTickSeconds);
        tickPlanetSubSystems(ticker.instance.get(), event, &ticker.record);
        ++ticker.ticks;
      } while (makersLeft.load() > 0 && ticker.ticks < kMostTicks);
      freeThreadLocals();
    });
  }
  for (std::thread &thread : threads)
    thread.join();

  EXPECT_EQ(missing.load(), 0);
  EXPECT_EQ(unequal.load(), 0);
  for (const Ticker &ticker : tickers) {
    EXPECT_EQ(ticker.record.state, static_cast<uint32_t>(SS_Active));
    EXPECT_NEAR(findObjectState(ticker.world, L"Fuel")->value.val,
                kFuel - ticker.ticks * kTickSeconds, 1.0f);
  }
  for (empire *emp : empires_)
    EXPECT_EQ(emp->spaces.findSpace(L"Object"), nullptr);
}

} // namespace

}  // namespace sub_system_concurrency_test
