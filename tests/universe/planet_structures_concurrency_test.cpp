// Four galaxy workers, each running a star system of 500 planets with five
// structures apiece: smelters that use up power and ore and make metals, and
// batteries whose effectors reload. A raider in each system damages some of
// its planets and repairs some, so that structures are worn down, removed
// and mended while the workers run. Every structure is built once and goes
// once (its destruction hook counts it), and after tear-down every object is
// gone. Run under ThreadSanitizer for the data races.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system_def.h"
#include "galaxy_fixture.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/objects/object_states.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"

namespace planet_structures_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kPlanetsPerSystem = 500;  // 2,000 in all
constexpr int kStructuresPerPlanet = 5;
constexpr double kStep = 1.0 / 16.0;
// 60 s of game time. Each step waits for a pass of every worker; under the
// sanitizers the first 20 s keep the test to a few seconds: by then every
// raided-only planet has lost its structures and every planet has run 160
// structure steps.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSteps = 320;
#else
constexpr int kSteps = 960;
#endif

// Damage and repair per raider tick (16 a second): planets with index 0 mod
// 10 are only damaged (their 120 hit points of structures go in 7.5 s),
// those with 1 mod 10 are damaged and repaired (slowly worn down), those
// with 2 mod 10 only repaired.
constexpr float kRaid = 1.0f;
constexpr float kMend = 0.8f;

std::atomic<int> structuresBuilt{0};
std::atomic<int> structuresGone{0};

void structureBuilt(EffectEvent*, effect_data*) { structuresBuilt.fetch_add(1); }
void structureGone(EffectEvent*, effect_data*) { structuresGone.fetch_add(1); }
const PlainFuncEntry kStructureBuilt{structureBuilt};
const PlainFuncEntry kStructureGone{structureGone};
const RegisterPlainFunction registerStructureBuilt(L"TestStructureBuilt", &kStructureBuilt);
const RegisterPlainFunction registerStructureGone(L"TestStructureGone", &kStructureGone);

// Damages and repairs planets of its system on every tick of its worker,
// under the system's lock, as a ship's weapons and tools would.
class Raider : public TestObject {
 public:
  explicit Raider(empire* raiderOwner, std::vector<objHabitation*> targets)
      : TestObject(raiderOwner, OT_Generic, L"Raider"), targets_(std::move(targets)) {}

  void tick(float seconds) override {
    for (size_t i = 0; i < targets_.size(); ++i) {
      objHabitation* planet = targets_[i];
      if (!planet->isValid())
        continue;
      if (i % 10 == 0 || i % 10 == 1) {
        EffectEvent hit(this, planet, kRaid);
        planet->damage(hit);
      }
      if (i % 10 == 1 || i % 10 == 2)
        planet->repair(kMend);
    }
    TestObject::tick(seconds);
  }

 private:
  std::vector<objHabitation*> targets_;  // held by the test
};

class PlanetStructuresConcurrencyTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    space = registerSpaceEmpire();
    clearEffGfxQueue();
    clearPlanetScriptHooks();
    gameRulesActive = true;
    structuresBuilt = 0;
    structuresGone = 0;
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effects.txt", std::ios::binary)
        << "Name: Ledger\nOnConstruct: TestStructureBuilt\nOnDestruct: TestStructureGone\n"
           "Name: Smelt\nValue: Rate\nTick: ProduceNoCargo(\"Metals\", \"Ore\", Rate, 2)\n"
           "Name: Hit\nValue: Amount\n";
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Battery\nValue: Damage\nValue: Reach\nValue: Delay\nRange: Reach\n"
           "OnFire: Timed(Delay)\nTick: Reload\nCauses: Hit lasting 0 with Amount[Damage]\n";
    {
      LogCapture log;
      loadEffects((folder / "effects.txt").string().c_str());
      loadEffectors((folder / "effectors.txt").string().c_str());
      EXPECT_EQ(log.take().find("rror"), std::string::npos);
    }
    smelter = subsystemtest::loadDefinition(folder,
                                            "System: Smelter\nSize: 1\nDurability: 20\n"
                                            "Consumes:\nTo Run: Power[1]\n"
                                            "Provides: Ledger\nProvides: Smelt with Rate[3]\n"
                                            "System: Battery\nSize: 1\nDurability: 30\n"
                                            "Provides: Ledger\nProvides: Battery with Damage[1], Reach[50], Delay[2]\n",
                                            L"Smelter");
    const irr::s32 batteryIndex = findSubSystemDefByName(L"Battery");
    ASSERT_TRUE(smelter != nullptr && batteryIndex >= 0);
    battery = subSystemDefRegistry[static_cast<irr::u32>(batteryIndex)].value;
  }

  void TearDown() override {
    destroyGalaxy();
    gameRulesActive = false;
    clearEffGfxQueue();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    GalaxyTest::TearDown();
  }

  // An owned planet with room for five structures, settled enough never to
  // be lost for its population, with power on two planets of three.
  objHabitation* makePlanet(solarSystem* system, int index) {
    auto* planet = new objHabitation(red, nullptr);
    planet->name = L"Mill";
    planet->population = planet->settledPopulation = 5.0f;
    planet->maxPopulation = 10.0f;
    planet->setStructureSpace(static_cast<float>(kStructuresPerPlanet));
    planet->position.set(10.0f * static_cast<float>(index % 50), 0.0f, 10.0f * static_cast<float>(index / 50));
    getOrAddObjectState(planet, L"Damage")->value.max = 1.0e9f;
    getOrAddObjectState(planet, L"Ore")->value.val = 1.0e6f;
    getOrAddObjectState(planet, L"Metals")->value.max = 1.0e9f;
    getOrAddObjectState(planet, L"Power")->value.val = index % 3 == 0 ? 0.0f : 1.0e6f;
    for (int k = 0; k < kStructuresPerPlanet; ++k)
      EXPECT_TRUE(planet->addStructureFromDef(k % 2 == 0 ? smelter : battery));
    planet->setContainer(system);
    planet->grab();  // read after the run
    return planet;
  }

  empire* space = nullptr;
  SubSystemDef* smelter = nullptr;
  SubSystemDef* battery = nullptr;
};

TEST_F(PlanetStructuresConcurrencyTest, FourWorkersRunStructuresWhilePlanetsAreDamagedAndRepaired) {
  std::vector<galaxytest::CountingSystem*> systems = addSystems(kWorkers);
  std::vector<std::vector<objHabitation*>> planets(kWorkers);
  for (int s = 0; s < kWorkers; ++s) {
    for (int i = 0; i < kPlanetsPerSystem; ++i)
      planets[static_cast<size_t>(s)].push_back(makePlanet(systems[static_cast<size_t>(s)], i));
    auto* raider = new Raider(blue, planets[static_cast<size_t>(s)]);
    raider->setContainer(systems[static_cast<size_t>(s)]);
  }
  const int built = kWorkers * kPlanetsPerSystem * kStructuresPerPlanet;
  ASSERT_EQ(structuresBuilt.load(), built);

  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  for (int step = 0; step < kSteps; ++step) {
    ASSERT_TRUE(stepWorkers(kStep)) << "the workers did not finish step " << step;
    galaxy->tick(static_cast<float>(kStep));
    clearEffGfxQueue();  // as the frame loop sends them
  }
  pauseSystemThreads();

  // What the run did, by the planet's index mod 10: 0 damaged, 1 damaged
  // and repaired, 2 repaired, the rest left alone.
  int left = 0;
  int lost = 0;
  int reloaded = 0;
  int smelted = 0;
  std::set<const subSystem*> seen;
  for (int s = 0; s < kWorkers; ++s) {
    for (size_t i = 0; i < planets[static_cast<size_t>(s)].size(); ++i) {
      objHabitation* planet = planets[static_cast<size_t>(s)][i];
      ASSERT_TRUE(planet->isValid());
      if (i % 10 >= 2) {
        EXPECT_EQ(planet->structures.size(), static_cast<irr::u32>(kStructuresPerPlanet)) << "left alone";
      }
      if (planet->getOwner() == space)
        ++lost;
      left += static_cast<int>(planet->structures.size());
      for (irr::u32 k = 0; k < planet->structures.size(); ++k) {
        const objHabitation::structEntry& entry = planet->structures[k];
        EXPECT_TRUE(seen.insert(entry.system).second) << "each instance held once";
        EXPECT_EQ(entry.record.system, entry.system);
        EXPECT_LE(entry.record.HP, entry.system->getDurability());
        if (entry.record.effectorStates != nullptr && entry.record.effectorStates[0].val1 < 0.0f)
          ++reloaded;
      }
      if (getOrAddObjectState(planet, L"Metals")->value.val > 0.0f)
        ++smelted;
    }
  }
  EXPECT_LT(left, built) << "structures were destroyed";
  EXPECT_EQ(structuresGone.load(), built - left) << "each removed structure went once";
  EXPECT_GT(lost, 0) << "planets that lost their last structure passed to the space empire";
  EXPECT_GT(reloaded, 0);
  EXPECT_GT(smelted, 0);

  destroyGalaxy();
  EXPECT_EQ(structuresGone.load(), built) << "the rest went with their planets, once each";
  for (std::vector<objHabitation*>& list : planets)
    for (objHabitation* planet : list)
      planet->drop();
  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace planet_structures_concurrency_test
