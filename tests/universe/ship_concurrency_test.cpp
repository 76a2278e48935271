// Four galaxy workers, each running a star system where two empires at war
// have ten ships apiece within reach of each other. The ships find their
// targets, fire, take damage and are destroyed while the workers run; in
// the end no system holds ships of both sides, and after tear-down every
// object is gone. Run under ThreadSanitizer for the data races.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system_def.h"
#include "galaxy_fixture.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/objects/object_states.h"
#include "universe/ships/ship.h"

namespace ship_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kShipsPerSide = 10;
constexpr double kStep = 1.0 / 16.0;
// 60 s of game time. Each step waits for a pass of every worker (which
// sleeps 9 ms after it), so under the sanitizers the battle's first 20 s,
// in which every fight is decided, keep the test short.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSteps = 320;
#else
constexpr int kSteps = 960;
#endif

// The caused effect's hit: damages the effect's receiver by its amount.
void shipHit(EffectEvent* event, effect_data* values) {
  generic_object* receiver = event->target;
  if (receiver == nullptr || !receiver->isValid())
    return;
  EffectEvent hit(event->obj, receiver, values->values[0]);
  receiver->damage(hit);
}
const PlainFuncEntry kShipHit{shipHit};
const RegisterPlainFunction registerShipHit(L"TestShipHit", &kShipHit);

class ShipConcurrencyTest : public galaxytest::GalaxyTest {
 protected:
  void SetUp() override {
    GalaxyTest::SetUp();
    clearEffGfxQueue();
    red->getRelation(blue)->enemy = true;
    blue->getRelation(red)->enemy = true;
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effects.txt", std::ios::binary) << "Name: Hit\nValue: Amount\nOnActive: TestShipHit\n";
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Cannon\nValue: Damage\nValue: Reach\nValue: Delay\nRange: Reach\nCanAttack: CanAttack\n"
           "AutoAttack: Enemy\nOnFire: Timed(Delay)\nTick: Reload\nCauses: Hit lasting 0 with Amount[Damage]\n";
    {
      LogCapture log;
      loadEffects((folder / "effects.txt").string().c_str());
      loadEffectors((folder / "effectors.txt").string().c_str());
      EXPECT_EQ(log.take().find("rror"), std::string::npos);
    }
    // One sub-system: a ship is destroyed together with its gun, so every
    // ship left fights on.
    subsystemtest::loadDefinition(folder,
                                  "System: Cannon\nSize: 1\nDurability: 30\n"
                                  "Provides: Cannon with Damage[3], Reach[200], Delay[0.5]\nTick Rate: Always\n",
                                  L"Cannon");
  }

  void TearDown() override {
    destroyGalaxy();
    clearEffGfxQueue();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    GalaxyTest::TearDown();
  }

  static hull_list* layoutOf(empire* owner) {
    layout_desc desc;
    desc.systems.push_back({subSystemDefRegistry[static_cast<irr::u32>(findSubSystemDefByName(L"Cannon"))].value,
                            1.0f, 0.0f, 0.0f, -1});
    auto* layout = new hull_list(desc, owner, true);
    layout->name = L"Gunboat";
    return layout;
  }
};

TEST_F(ShipConcurrencyTest, ShipsOfTwoEmpiresFightItOutOnFourWorkers) {
  std::vector<galaxytest::CountingSystem*> systems = addSystems(kWorkers);
  hull_list* layouts[2] = {layoutOf(red), layoutOf(blue)};
  std::vector<std::vector<objHulled*>> fleets(kWorkers);  // held for reading after the run
  for (int s = 0; s < kWorkers; ++s) {
    for (int i = 0; i < 2 * kShipsPerSide; ++i) {
      const int side = i % 2;
      auto* ship = new objHulled(side == 0 ? red : blue, layouts[side], nullptr);
      ship->name = L"Gunboat";
      ship->radius = 2.0f;
      ship->position.set(side == 0 ? -40.0f : 40.0f, 0.0f, 6.0f * static_cast<float>(i / 2));
      getOrAddObjectState(ship, L"Control")->value.val = 1.0f;
      ship->setContainer(systems[static_cast<size_t>(s)]);
      ship->grab();
      fleets[static_cast<size_t>(s)].push_back(ship);
    }
  }

  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  for (int step = 0; step < kSteps; ++step) {
    ASSERT_TRUE(stepWorkers(kStep)) << "the workers did not finish step " << step;
    galaxy->tick(static_cast<float>(kStep));
    clearEffGfxQueue();  // as the frame loop sends them
  }
  pauseSystemThreads();

  for (int s = 0; s < kWorkers; ++s) {
    SCOPED_TRACE("system " + std::to_string(s));
    int alive[2] = {0, 0};
    for (objHulled* ship : fleets[static_cast<size_t>(s)]) {
      if (!ship->isValid())
        continue;
      EXPECT_EQ(ship->container.load(), systems[static_cast<size_t>(s)]);
      ++alive[ship->getOwner() == red ? 0 : 1];
    }
    EXPECT_LT(alive[0] + alive[1], 2 * kShipsPerSide) << "ships were destroyed";
    EXPECT_TRUE(alive[0] == 0 || alive[1] == 0) << alive[0] << " red and " << alive[1] << " blue ships left";
  }

  destroyGalaxy();
  for (std::vector<objHulled*>& fleet : fleets)
    for (objHulled* ship : fleet)
      ship->drop();
  for (hull_list* layout : layouts)
    layout->drop();
  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace ship_concurrency_test
