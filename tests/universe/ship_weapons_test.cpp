// A ship's weapons: reach, what a scan of its system looks at, how idle
// weapons share a target found in a pass, what becomes of a forced target
// that dies, the hold-fire stance, and the targeting queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"
#include "universe_fixture.h"

namespace ship_weapons_test {

namespace {

// Every shot fired: from whom, at whom.
struct Shot {
  generic_object* from;
  generic_object* at;
};
std::vector<Shot> shots;

void testShot(EffectEvent* event, const effector*, interactor_data*) { shots.push_back({event->obj, event->target}); }
const bool registeredShot = (registerFireFunction(L"TestShot").value = testShot, true);

const char kEffectors[] =
    "Effector: Gun\nValue: Reach\nRange: Reach\nCanAttack: CanAttack\nAutoAttack: Enemy\n"
    "OnFire: TestShot\nTick: Reload\n"
    "Effector: Tractor\nValue: Reach\nRange: Reach\nIsWeapon: false\nCanAttack: Any\nOnFire: TestShot\n";

const char kSubSystems[] =
    "System: Gun\nTags: Weapon\nSize: 1\nDurability: 10\nProvides: Gun with Reach[100]\nTick Rate: Always\n\n"
    "System: ShortGun\nTags: PointDefense\nSize: 1\nDurability: 10\nProvides: Gun with Reach[20]\n"
    "Tick Rate: Always\n\n"
    "System: Tractor\nTags: Tool\nSize: 1\nDurability: 10\nProvides: Tractor with Reach[100]\n\n"
    "System: Plate\nSize: 1\nDurability: 10\n";

class ShipWeaponsTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    (void)registeredShot;
    initThreadLocals();
    singleThreaded = true;
    shots.clear();
    red->getRelation(blue)->enemy = true;
    blue->getRelation(red)->enemy = true;
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effectors.txt", std::ios::binary) << kEffectors;
    {
      LogCapture log;
      loadEffectors((folder / "effectors.txt").string().c_str());
      EXPECT_EQ(log.take().find("rror"), std::string::npos);
    }
    subsystemtest::loadDefinition(folder, kSubSystems, L"Gun");
    system_ = new solarSystem();
  }

  void TearDown() override {
    destroyAll();
    system_->destroyNow(true);
    for (hull_list* layout : layouts_)
      layout->drop();
    clearSubSystemDefs();
    clearEffectors();
    freeThreadLocals();
    singleThreaded = false;
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // A ship of `owner` with the listed parts at (x, 0, 0) in the system.
  objHulled* ship(empire* owner, std::initializer_list<const wchar_t*> parts, float x = 0.0f, float radius = 1.0f) {
    layout_desc desc;
    float y = 0.0f;
    for (const wchar_t* part : parts) {
      desc.systems.push_back({def(part), 1.0f, 0.0f, y, -1});
      y += 1.0f;
    }
    auto* layout = new hull_list(desc, owner, true);
    layout->name = L"Test";
    layouts_.push_back(layout);
    auto* made = new objHulled(owner, layout, nullptr);
    place(made, x, radius);
    made->retargetTimer = 0.0f;
    made->scanIndex = 0;
    return made;
  }

  // A plain object of `owner` at (x, 0, 0) in the system.
  TestObject* object(empire* owner, float x, float radius = 1.0f, int type = OT_Generic) {
    auto* made = new TestObject(owner, type);
    place(made, x, radius);
    return made;
  }

  void place(generic_object* made, float x, float radius) {
    made->position.set(x, 0.0f, 0.0f);
    made->radius = radius;
    made->setContainer(system_);
    objects_.push_back(made);
  }

  // Destroys what the test made so far (each goes with its last reference).
  void destroyAll() {
    for (generic_object* made : objects_)
      made->destroyNow(true);
    objects_.clear();
  }
  void destroy(generic_object* made) {
    objects_.erase(std::find(objects_.begin(), objects_.end(), made));
    made->destroyNow(true);
  }

  static generic_object* targetOf(const objHulled* ship, uint32_t index) {
    return index < ship->effectorStateCount ? ship->effectorStates[index].target : nullptr;
  }

  solarSystem* system_ = nullptr;
  std::vector<generic_object*> objects_;
  std::vector<hull_list*> layouts_;
};

TEST_F(ShipWeaponsTest, ReachIsMeasuredBetweenSurfaces) {
  const struct {
    float shipRadius;
    float targetRadius;
    bool acquired;
  } cases[] = {{8.0f, 10.0f, false}, {10.0f, 10.0f, true}, {10.0f, 11.0f, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.shipRadius) + " + " + std::to_string(c.targetRadius));
    objHulled* gunship = ship(red, {L"Gun"}, 0.0f, c.shipRadius);
    generic_object* enemy = object(blue, 120.0f, c.targetRadius);
    tickShipWeapons(gunship, 0.0625f);
    EXPECT_EQ(targetOf(gunship, 0), c.acquired ? enemy : nullptr);
    destroyAll();
  }
}

TEST_F(ShipWeaponsTest, AScanLooksAtThirtyObjectsAtMostAndDoesNotWrap) {
  // The first scan starts 30 objects on from the ship's index 0.
  const struct {
    const char* label;
    int objectCount;  // the ship included
    int enemyIndex;
    bool firstScan;
    bool secondScan;
  } cases[] = {
      {"within the first window", 45, 35, true, true},
      {"just past thirty objects", 70, 60, false, true},
      {"behind the start, where a wrap would look", 45, 2, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    objHulled* gunship = ship(red, {L"Gun"});
    generic_object* enemy = nullptr;
    for (int i = 1; i < c.objectCount; ++i) {
      generic_object* made = object(i == c.enemyIndex ? blue : red, 5.0f);
      if (i == c.enemyIndex)
        enemy = made;
    }
    ASSERT_EQ(system_->children.size(), static_cast<irr::u32>(c.objectCount));
    ASSERT_EQ(system_->children[static_cast<irr::u32>(c.enemyIndex)].get(), enemy);

    tickShipWeapons(gunship, 0.0625f);
    EXPECT_EQ(targetOf(gunship, 0) == enemy, c.firstScan);
    EXPECT_FLOAT_EQ(gunship->retargetTimer, 1.25f);
    tickShipWeapons(gunship, 0.625f);  // not yet time for the next scan
    EXPECT_EQ(targetOf(gunship, 0) == enemy, c.firstScan);
    tickShipWeapons(gunship, 0.625f);
    EXPECT_EQ(targetOf(gunship, 0) == enemy, c.secondScan);

    destroyAll();
  }
}

TEST_F(ShipWeaponsTest, AnIdleWeaponIsOfferedTheTargetFoundForAnEarlierOneFirst) {
  const struct {
    const char* label;
    const wchar_t* second;
    int secondTarget;  // 0: the first weapon's target, 1: the other enemy
  } cases[] = {
      {"in reach of both", L"Gun", 0},
      {"out of the second weapon's reach", L"ShortGun", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    objHulled* gunship = ship(red, {L"Gun", c.second});
    generic_object* far = object(blue, 90.0f);
    generic_object* near = object(blue, 15.0f);
    tickShipWeapons(gunship, 0.0625f);
    EXPECT_EQ(targetOf(gunship, 0), far);
    EXPECT_EQ(targetOf(gunship, 1), c.secondTarget == 0 ? far : near);
    destroyAll();
  }
}

TEST_F(ShipWeaponsTest, AForcedTargetThatDiesIsDroppedAndAnotherAcquired) {
  objHulled* gunship = ship(red, {L"Gun"});
  generic_object* doomed = object(blue, 50.0f);
  generic_object* other = object(blue, 60.0f);
  gunship->retargetTimer = 1.0f;
  gunship->setEffectorTargets(doomed, true);
  ASSERT_EQ(targetOf(gunship, 0), doomed);
  EXPECT_EQ(gunship->effectorStates[0].force, 1);
  tickShipWeapons(gunship, 0.0625f);
  ASSERT_EQ(shots.size(), 1u);

  doomed->grab();
  destroy(doomed);
  shots.clear();
  gunship->retargetTimer = 0.0f;
  tickShipWeapons(gunship, 0.0625f);
  EXPECT_TRUE(shots.empty()) << "no shot at a destroyed object";
  EXPECT_EQ(targetOf(gunship, 0), other);
  EXPECT_EQ(gunship->effectorStates[0].force, 0);
  EXPECT_EQ(doomed->refCount.load(), 1) << "the weapon let go of the dead object";
  doomed->drop();
}

TEST_F(ShipWeaponsTest, HoldFireAcquiresNothingWhileTheSubSystemsTickOn) {
  for (AIStance stance : {AIS_Engage, AIS_HoldFire}) {
    SCOPED_TRACE(static_cast<int>(stance));
    objHulled* gunship = ship(red, {L"Gun"});
    generic_object* enemy = object(blue, 50.0f);
    auto* unit = dynamic_cast<UnitAI*>(gunship->ai);
    ASSERT_NE(unit, nullptr);
    unit->stance = stance;
    for (int step = 0; step < 32; ++step) {
      gameTime = gameTime + 0.0625;
      system_->tick(0.0625f);
    }
    EXPECT_EQ(targetOf(gunship, 0), stance == AIS_HoldFire ? nullptr : enemy);
    // The Gun's Reload counts its state down on every sub-system tick.
    EXPECT_LT(gunship->hull.records[0].effectorStates[0].val1, -1.9f);
    destroyAll();
  }
}

TEST_F(ShipWeaponsTest, TargetsAreGivenAndTakenByTagAndOnlyToWeapons) {
  objHulled* gunship = ship(red, {L"Gun", L"ShortGun", L"Tractor", L"Plate"});
  generic_object* enemy = object(blue, 10.0f);
  generic_object* friendly = object(red, 10.0f);
  ASSERT_EQ(gunship->effectorStateCount, 3u);
  const auto targets = [&] {
    return std::vector<generic_object*>{targetOf(gunship, 0), targetOf(gunship, 1), targetOf(gunship, 2)};
  };
  using Targets = std::vector<generic_object*>;

  gunship->setEffectorTargets(enemy, false, L"PointDefense");
  EXPECT_EQ(targets(), (Targets{nullptr, enemy, nullptr}));
  gunship->setEffectorTargets(enemy, false);
  EXPECT_EQ(targets(), (Targets{enemy, enemy, nullptr})) << "the tool takes no target";
  gunship->clearEffectorTarget(enemy, L"Weapon");
  EXPECT_EQ(targets(), (Targets{nullptr, enemy, nullptr}));
  gunship->setEffectorTargets(friendly, true, L"Weapon");
  EXPECT_EQ(targets(), (Targets{friendly, enemy, nullptr}));
  gunship->clearEffectorTarget(enemy);
  EXPECT_EQ(targets(), (Targets{friendly, nullptr, nullptr}));
  gunship->setEffectorTargets(enemy, false);
  gunship->setEffectorTargets(nullptr, false, L"PointDefense");
  EXPECT_EQ(targets(), (Targets{enemy, nullptr, nullptr}));

  gunship->hull.records[0].state = SS_Destroyed;
  gunship->setEffectorTargets(friendly, true);
  EXPECT_EQ(targets(), (Targets{enemy, friendly, nullptr})) << "a destroyed sub-system's weapon is left alone";
  gunship->hull.records[0].state = SS_Active;

  gunship->clearEffectorTargets();
  EXPECT_EQ(targets(), (Targets{nullptr, nullptr, nullptr}));
  EXPECT_EQ(enemy->refCount.load(), 2) << "the creator's and the system's references alone";
}

TEST_F(ShipWeaponsTest, WeightAndRangeQueriesLookAtActiveSubSystems) {
  objHulled* gunship = ship(red, {L"Gun", L"ShortGun", L"Plate"});
  objHulled* unarmed = ship(red, {L"Plate"});
  generic_object* enemy = object(blue, 10.0f);
  generic_object* friendly = object(red, 10.0f);

  EXPECT_FLOAT_EQ(gunship->getEffectorTargetWeight(enemy), 1.0f);
  EXPECT_FLOAT_EQ(gunship->getEffectorTargetWeight(enemy, L"PointDefense"), 1.0f);
  EXPECT_FLOAT_EQ(gunship->getEffectorTargetWeight(enemy, L"Tool"), 0.0f);
  EXPECT_FLOAT_EQ(gunship->getEffectorTargetWeight(friendly), 0.0f);
  EXPECT_FLOAT_EQ(gunship->getEffectorTargetWeight(nullptr), 0.0f);
  EXPECT_FLOAT_EQ(unarmed->getEffectorTargetWeight(enemy), 0.0f);
  EXPECT_FLOAT_EQ(gunship->getMaxEffectorRange(), 100.0f);
  EXPECT_FLOAT_EQ(unarmed->getMaxEffectorRange(), 0.0f);

  gunship->hull.records[0].state = SS_Disabled;
  EXPECT_FLOAT_EQ(gunship->getMaxEffectorRange(), 20.0f);
  gunship->hull.records[1].state = SS_Destroyed;
  EXPECT_FLOAT_EQ(gunship->getEffectorTargetWeight(enemy), 0.0f);
  EXPECT_FLOAT_EQ(gunship->getMaxEffectorRange(), 0.0f);
  gunship->hull.records[0].state = gunship->hull.records[1].state = SS_Active;
}

}  // namespace

}  // namespace ship_weapons_test
