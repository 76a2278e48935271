// An empire's presence around a star system, summed from the system's
// per-empire statistics by the empire's standing towards each other empire.
#include <angelscript.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "universe/objects/system_locks.h"
#include "universe_fixture.h"

namespace empire_presence_test {

using namespace AngelScript;

namespace {

class EmpirePresenceTest : public UniverseTest {
 protected:
  void TearDown() override {
    for (solarSystem* system : systems)
      system->destroyNow(false);
    UniverseTest::TearDown();
  }

  solarSystem* newSystem() {
    systems.push_back(new solarSystem());
    return systems.back();
  }

  static void setStats(solarSystem* system, empire* emp, float presence, float strength) {
    Stats& entry = getEmpireStats(*system->systemStats, emp);
    statValue(entry, L"prs") = presence;
    statValue(entry, L"str") = strength;
  }

  std::vector<solarSystem*> systems;
};

std::vector<float> fields(const SysPresence& p) {
  return {p.us, p.allies, p.neutrals, p.enemies, p.usStr, p.alliesStr, p.neutralsStr, p.enemiesStr};
}

TEST_F(EmpirePresenceTest, StatisticsAreSummedByStanding) {
  empire* both = blue;  // allied and also marked enemy
  empire* enemy = registerEmpire(new empire);
  empire* neutral = registerEmpire(new empire);
  empire* negative = registerEmpire(new empire);
  empire* space = registerEmpire(new empire, true);
  space->ID = kSpaceEmpireID;
  space->valid = false;
  red->getRelation(both)->allied = true;
  red->getRelation(both)->enemy = true;
  red->getRelation(enemy)->enemy = true;
  red->getRelation(negative)->allied = true;

  solarSystem* system = newSystem();
  const struct {
    empire* emp;
    float presence;
    float strength;
  } rows[] = {
      {red, 3.0f, 10.0f},
      {both, 2.0f, 4.0f},
      {enemy, 1.0f, 0.0f},
      {neutral, 0.5f, 0.0f},
      {space, 7.0f, 7.0f},            // not valid
      {defaultEmpire(), 9.0f, 9.0f},  // no empire
      {negative, -1.0f, -2.0f},
  };
  for (const auto& row : rows)
    setStats(system, row.emp, row.presence, row.strength);

  SysPresence presence;
  presence.neutrals = 42.0f;  // the result starts from zero
  red->getSystemPresence(system, presence);
  EXPECT_EQ(fields(presence), (std::vector<float>{3.0f, 2.0f, 0.5f, 1.0f, 10.0f, 4.0f, 0.0f, 0.0f}));
  EXPECT_EQ(system->lock->depth(), 0u) << "the system's lock is given back";
}

SysPresence scriptPresence;

void presenceOfNoSystem(asIScriptGeneric*) {
  scriptPresence.us = 5.0f;
  activeEmpire.load()->getSystemPresence(nullptr, scriptPresence);
}

TEST_F(EmpirePresenceTest, NoSystemRaisesOnlyInsideAScript) {
  SysPresence presence;
  presence.enemiesStr = 3.0f;
  red->getSystemPresence(nullptr, presence);  // outside any script: nothing raised
  EXPECT_EQ(fields(presence), std::vector<float>(8, 0.0f));

  asIScriptEngine* engine = asCreateScriptEngine();
  ASSERT_NE(engine, nullptr);
  ASSERT_GE(engine->RegisterGlobalFunction("void presenceOfNoSystem()", asFUNCTION(presenceOfNoSystem),
                                           asCALL_GENERIC),
            0);
  asIScriptModule* module = engine->GetModule("presence", asGM_ALWAYS_CREATE);
  const char code[] = "void run() { presenceOfNoSystem(); }";
  module->AddScriptSection("presence.as", code);
  ASSERT_GE(module->Build(), 0);
  asIScriptContext* context = engine->CreateContext();
  context->Prepare(module->GetFunctionByDecl("void run()"));
  empire* before = activeEmpire;
  activeEmpire = red;
  EXPECT_EQ(context->Execute(), asEXECUTION_EXCEPTION);
  activeEmpire = before;
  EXPECT_STREQ(context->GetExceptionString(), "Null solarSystem@ when getting system presence");
  EXPECT_EQ(fields(scriptPresence), std::vector<float>(8, 0.0f));
  context->Release();
  engine->ShutDownAndRelease();
}

TEST_F(EmpirePresenceTest, ReadWhileStatisticsChangeUnderTheSystemLocks) {
  red->getRelation(blue)->enemy = true;
  constexpr int kSystems = 4;
  constexpr int kRounds = 2000;
  for (int i = 0; i < kSystems; ++i)
    setStats(newSystem(), blue, 0.0f, 0.0f);
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  // Readers: "str" is always twice "prs", so a torn read shows.
  for (int t = 0; t < kSystems; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        SysPresence presence;
        red->getSystemPresence(systems[(t + i) % kSystems], presence);
        ASSERT_EQ(presence.enemiesStr, 2.0f * presence.enemies);
      }
    });
  // Changes the statistics, each system under its lock.
  std::thread writer([&] {
    for (int i = 1; !done.load(); ++i)
      for (solarSystem* system : systems) {
        lockSolarSystem(system);
        setStats(system, blue, static_cast<float>(i % 50), static_cast<float>(2 * (i % 50)));
        unlockSolarSystem(system);
      }
  });
  // Holds blue's relations area and takes red's meanwhile.
  std::thread crossing([&] {
    while (!done.load()) {
      empire::AreaGuard blueGuard;
      empire::AreaGuard redGuard;
      blue->lockArea(blueGuard, EA_Relations, true);
      red->lockArea(redGuard, EA_Relations, true);
      red->getRelation(blue)->enemy = true;
    }
  });
  for (std::thread& thread : threads)
    thread.join();
  done = true;
  writer.join();
  crossing.join();
}

}  // namespace

}  // namespace empire_presence_test
