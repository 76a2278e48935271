// Planet structures: damage through the global and absorb passes, repair,
// removal with its events and the hand-over of a planet without
// structures, adding (the maximum count, the factory), the structure step
// in the tick, the effector ranges and the structure queries.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/random.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "gfx/graphics_object.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/objects/held_pointer.h"
#include "universe/objects/object_states.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"
#include "probe_effect.h"
#include "hit_particles_scope.h"
#include "universe_fixture.h"

namespace planet_structures_test {

using irr::core::stringw;

namespace {

constexpr float kStep = 1.0f / 16.0f;

using namespace probetest;

std::vector<std::string> callsOf(EffectHookKind kind) {
  std::vector<std::string> labels;
  for (const HookCall& call : calls)
    if (call.kind == kind)
      labels.push_back(call.label);
  return labels;
}

// The kinds of the calls of `label`, in order.
std::vector<EffectHookKind> kindsOf(const std::string& label) {
  std::vector<EffectHookKind> kinds;
  for (const HookCall& call : calls)
    if (call.label == label)
      kinds.push_back(call.kind);
  return kinds;
}

constexpr uint16_t bit(EffectHookKind kind) { return static_cast<uint16_t>(1u << kind); }
constexpr uint16_t kLifeHooks = bit(EH_OnActive) | bit(EH_OnDeactive) | bit(EH_OnConstruct) |
                                bit(EH_OnDestruct) | bit(EH_Once) | bit(EH_Tick);

const char kDefinitions[] =
    "System: Mine\nTags: Structure\nDurability: 30\nProvides: MineFx\n\n"
    "System: Farm\nTags: Structure\nDurability: 30\nProvides: FarmFx\n\n"
    "System: Small\nDurability: 4\nProvides: SmallFx\n\n"
    "System: Shield\nDurability: 30\nProvides: ShieldFx\n\n"
    "System: Bomb\nDurability: 5\nProvides: BombFx\n\n"
    "System: Scaled\nDurability: Object.Scale * 3\nProvides: ScaledFx\n\n"
    "System: Cannon\nTags: Weapon\nDurability: 10\nProvides: Gun with Damage[3]\n\n"
    "System: BigCannon\nTags: Weapon\nDurability: 10\nProvides: Gun with Damage[8]\n\n"
    "System: Drill\nDurability: 10\nProvides: Gun with Damage[5]\n";

class PlanetStructuresTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space = registerSpaceEmpire();
    clearPlanetScriptHooks();
    calls.clear();
    actions.clear();
    currentTick = 0;

    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Gun\nValue: Damage\nRange: Damage * 10\n";
    {
      LogCapture log;
      loadEffectors((folder / "effectors.txt").string().c_str());
    }
    for (const char* label : {"MineFx", "FarmFx", "SmallFx", "BombFx", "ScaledFx"})
      addProbe(label, kLifeHooks);
    addProbe("ShieldFx", bit(EH_OnGlobalDamage));
    subsystemtest::loadDefinition(folder, kDefinitions, L"Mine");
  }

  void TearDown() override {
    actions.clear();
    UniverseTest::TearDown();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
  }

  static void addProbe(const char* label, uint16_t flags) {
    NamedVar<effect_handler*>::getOrAdd(effectRegistry(), stringw(label)).value = new Probe(label, flags);
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // A settled planet of `owner` with room for ten structures, holding the
  // given ones (their build events forgotten).
  static objHabitation* planet(empire* owner, const std::vector<const wchar_t*>& names) {
    auto* made = new objHabitation(owner, nullptr);
    made->modPopulation(made->ownerRates, 5.0f);
    made->setStructureSpace(10.0f);
    getOrAddObjectState(made, L"Damage")->value.max = 1000.0f;
    for (const wchar_t* name : names)
      EXPECT_TRUE(made->addStructureFromDef(def(name)));
    calls.clear();
    return made;
  }

  // A new instance of `name` evaluated for `target`.
  static subSystem* instanceFor(objHabitation* target, const wchar_t* name) {
    std::unique_ptr<SubSystemFactory> factory(createSubSystemFactory());
    factory->prepare(target);
    subSystem* made = factory->create(def(name));
    factory->release();
    return made;
  }

  // Seeds the process generator so that the next pass over `count`
  // structures starts at `first`.
  static void startAt(irr::u32 count, irr::u32 first) {
    for (uint32_t seed = 1;; ++seed) {
      seedProcessRandom(seed);
      if (static_cast<irr::u32>(processRandom()) % count == first) {
        seedProcessRandom(seed);
        return;
      }
    }
  }

  static float damageOf(objHabitation* target) { return findObjectState(target, L"Damage")->value.val; }

  static std::vector<float> hitPoints(objHabitation* target) {
    std::vector<float> points;
    for (irr::u32 i = 0; i < target->structures.size(); ++i)
      points.push_back(target->structures[i].record.HP);
    return points;
  }

  static void tickTimes(objHabitation* target, int count) {
    for (int i = 0; i < count; ++i) {
      ++currentTick;
      target->tick(kStep);
    }
  }

  empire* space = nullptr;
};

// --- Damage ------------------------------------------------------------------

TEST_F(PlanetStructuresTest, StructuresAbsorbDamageFromARandomStartBeforeThePlanet) {
  const struct {
    const char* what;
    std::vector<const wchar_t*> names;
    std::vector<float> hitPoints;
    irr::u32 first;
    std::vector<float> left;
    float damage;
  } cases[] = {
      {"both survive", {L"Mine", L"Farm"}, {30, 30}, 0, {20, 20}, 10},
      {"the small one first", {L"Small", L"Mine"}, {4, 30}, 0, {30}, 6},
      {"the big one first", {L"Small", L"Mine"}, {4, 30}, 1, {20}, 6},
      // After a removal the next visit is the structure that moved into its place.
      {"two small ones in a row", {L"Small", L"Small", L"Mine"}, {4, 4, 30}, 0, {30}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    objHabitation* target = planet(red, c.names);
    for (irr::u32 i = 0; i < target->structures.size(); ++i)
      target->structures[i].record.HP = c.hitPoints[i];
    EffectEvent event(nullptr, target, 10.0f);
    startAt(target->structures.size(), c.first);
    target->damage(event);
    EXPECT_EQ(hitPoints(target), c.left);
    EXPECT_FLOAT_EQ(damageOf(target), c.damage);
    target->destroyNow(true);
  }
}

TEST_F(PlanetStructuresTest, AStructureDestroyedByDamageShowsOneHitOnThePlanetsGraphics) {
  HitParticlesScope particles;
  for (bool withGraphics : {true, false}) {
    SCOPED_TRACE(withGraphics);
    objHabitation* target = planet(red, {L"Small", L"Mine"});
    target->radius = 3.0f;
    if (withGraphics)
      target->graphics = new graphicsObject(target, particles.scene()->addEmptySceneNode());  // the planet's
    EffectEvent event(nullptr, target, 10.0f);
    startAt(target->structures.size(), 0);
    target->damage(event);
    // The same damage either way: the small one went, the planet took the rest.
    EXPECT_EQ(hitPoints(target), std::vector<float>{30});
    EXPECT_FLOAT_EQ(damageOf(target), 6);
    EXPECT_EQ(HitParticlesScope::running(), withGraphics ? 1u : 0u);
    target->destroyNow(true);
    particleSystemGenerator->clear();
  }
}

TEST_F(PlanetStructuresTest, AGlobalDamageHookThatTakesAllTheDamageStopsItBeforeTheStructures) {
  setObjectTestClock(1234);
  actions["ShieldFx"] = [](EffectHookKind kind, EffectEvent& event) {
    if (kind != EH_OnGlobalDamage)
      return;
    EXPECT_EQ(event.destKind, 1u);
    event.time = 0.0f;
  };
  objHabitation* target = planet(red, {L"Mine", L"Shield"});
  getOrAddObjectState(target, L"Damage")->value.val = 7.0f;
  EffectEvent event(nullptr, target, 10.0f);
  target->damage(event);
  EXPECT_EQ(callsOf(EH_OnGlobalDamage), std::vector<std::string>{"ShieldFx"});
  EXPECT_EQ(hitPoints(target), (std::vector<float>{30, 30}));
  EXPECT_FLOAT_EQ(damageOf(target), 7.0f);
  EXPECT_EQ(target->lastAttacked, 1234u);
  EXPECT_EQ(event.dest, nullptr) << "the mark is cleared";

  // A disabled shield takes nothing: the structures do.
  target->structures[1].record.state = SS_Disabled;
  calls.clear();
  EffectEvent second(nullptr, target, 10.0f);
  startAt(2, 0);
  target->damage(second);
  EXPECT_TRUE(callsOf(EH_OnGlobalDamage).empty());
  EXPECT_EQ(hitPoints(target), (std::vector<float>{20, 20}));
  EXPECT_FLOAT_EQ(damageOf(target), 17.0f);
  target->destroyNow(true);
}

TEST_F(PlanetStructuresTest, AStructureLostToItsOwnDamageHookLeavesThePassSound) {
  // The shield's hook destroys the whole planet while it runs.
  actions["ShieldFx"] = [](EffectHookKind kind, EffectEvent& event) {
    if (kind == EH_OnGlobalDamage)
      static_cast<objHabitation*>(event.target)->destroyNow(true);
  };
  objHabitation* target = planet(red, {L"Shield", L"Mine"});
  heldPointer<objHabitation> held(target);
  EffectEvent event(nullptr, target, 10.0f);
  target->damage(event);
  EXPECT_FALSE(target->isValid());
  EXPECT_TRUE(target->structures.empty());
  EXPECT_EQ(kindsOf("MineFx"), (std::vector<EffectHookKind>{EH_OnDeactive, EH_OnDestruct}));
}

// --- Repair ------------------------------------------------------------------

TEST_F(PlanetStructuresTest, RepairFillsTheStructuresThenLowersDamage) {
  const struct {
    float amount;
    float damage;
  } cases[] = {{10, 20}, {15, 15}, {0, 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.amount);
    objHabitation* target = planet(red, {L"Mine", L"Farm"});
    target->structures[0].record.HP = c.amount > 0 ? 26.0f : 30.0f;
    target->structures[1].record.HP = c.amount > 0 ? 24.0f : 30.0f;
    getOrAddObjectState(target, L"Damage")->value.val = 20.0f;
    target->repair(c.amount);
    EXPECT_EQ(hitPoints(target), (std::vector<float>{30, 30}));
    EXPECT_FLOAT_EQ(damageOf(target), c.damage);
    target->destroyNow(true);
  }
}

// --- Removal -----------------------------------------------------------------

TEST_F(PlanetStructuresTest, RemovalRunsTheEventsItsStateCallsFor) {
  const struct {
    uint32_t state;
    std::vector<EffectHookKind> kinds;
  } cases[] = {
      {SS_Active, {EH_OnDeactive, EH_OnDestruct}},
      {1, {EH_OnDestruct}},
      {SS_Disabled, {EH_OnDestruct}},
      {SS_Destroyed, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    objHabitation* target = planet(red, {L"Mine", L"Farm"});
    target->structures[0].record.state = c.state;
    target->removeStructure(5);  // out of range: nothing
    target->removeStructure(0);
    EXPECT_EQ(kindsOf("MineFx"), c.kinds);
    ASSERT_EQ(target->structures.size(), 1u);
    EXPECT_EQ(target->structures[0].system->def, def(L"Farm"));
    EXPECT_EQ(target->ownerLossTimer, -1.0f) << "a structure is left";
    target->destroyNow(true);
  }
}

TEST_F(PlanetStructuresTest, AnOwnedPlanetThatLosesItsLastStructurePassesToTheSpaceEmpireOnTheNextTick) {
  objHabitation* target = planet(red, {L"Mine"});
  target->removeStructure(0);
  EXPECT_EQ(target->getOwner(), red);
  tickTimes(target, 1);
  EXPECT_EQ(target->getOwner(), space);
  target->destroyNow(true);
}

TEST_F(PlanetStructuresTest, DestructionRemovesEveryStructureWithItsEvents) {
  objHabitation* target = planet(red, {L"Mine", L"Farm", L"Small"});
  target->structures[2].record.state = SS_Disabled;
  target->destroyNow(false);
  EXPECT_EQ(kindsOf("MineFx"), (std::vector<EffectHookKind>{EH_OnDeactive, EH_OnDestruct}));
  EXPECT_EQ(kindsOf("FarmFx"), (std::vector<EffectHookKind>{EH_OnDeactive, EH_OnDestruct}));
  EXPECT_EQ(kindsOf("SmallFx"), (std::vector<EffectHookKind>{EH_OnDestruct}));
  // (The leak check of the sanitizer build finds any instance left over.)
}

// --- Adding ------------------------------------------------------------------

TEST_F(PlanetStructuresTest, AFullPlanetRefusesAStructureAndItsCallerKeepsIt) {
  objHabitation* target = planet(red, {});
  target->setStructureSpace(1.5f);
  EXPECT_TRUE(target->addStructureFromDef(def(L"Mine")));
  std::unique_ptr<subSystem> refused(instanceFor(target, L"Farm"));
  ASSERT_NE(refused, nullptr);
  EXPECT_FALSE(target->addStructure(refused.get()));
  EXPECT_FALSE(target->addStructureFromDef(def(L"Farm")));  // freed inside
  EXPECT_FALSE(target->addStructure(nullptr));
  EXPECT_FALSE(target->addStructureFromDef(nullptr));
  EXPECT_EQ(target->structures.size(), 1u);
  EXPECT_TRUE(kindsOf("FarmFx").empty()) << "no events for a refused structure";
  target->destroyNow(true);
  // `refused` is freed here, once, by its owner.
}

TEST_F(PlanetStructuresTest, AStructureMadeFromItsDefinitionIsEvaluatedForThePlanetAndBuiltOnce) {
  objHabitation* target = planet(red, {});
  ASSERT_TRUE(target->addStructureFromDef(def(L"Scaled")));
  ASSERT_EQ(target->structures.size(), 1u);
  const objHabitation::structEntry& entry = target->structures[0];
  EXPECT_FLOAT_EQ(entry.system->getDurability(), 30.0f);
  EXPECT_FLOAT_EQ(entry.record.HP, 30.0f);
  EXPECT_EQ(entry.record.state, SS_Active);
  EXPECT_EQ(entry.record.system, entry.system);
  EXPECT_EQ(entry.record.effectorStates, nullptr);
  EXPECT_EQ(kindsOf("ScaledFx"), (std::vector<EffectHookKind>{EH_OnConstruct, EH_OnActive, EH_Once}));

  ASSERT_TRUE(target->addStructureFromDef(def(L"Cannon")));
  const interactor_data* states = target->structures[1].record.effectorStates;
  ASSERT_NE(states, nullptr);
  EXPECT_EQ(states[0].val1, 0.0f);
  EXPECT_EQ(states[0].word, 0u);
  target->destroyNow(true);
}

// --- Structure step and queries ----------------------------------------------

TEST_F(PlanetStructuresTest, StructuresStepEveryTenthOfASecondOnlyForAValidOwner) {
  for (empire* owner : {red, space}) {
    SCOPED_TRACE(owner == red ? "red" : "space");
    objHabitation* target = planet(owner, {L"Mine"});
    currentTick = 0;
    tickTimes(target, 6);
    std::vector<int> ticks;
    for (const HookCall& call : calls) {
      if (call.kind != EH_Tick)
        continue;
      ticks.push_back(call.tick);
      EXPECT_FLOAT_EQ(call.time, 0.125f);
    }
    EXPECT_EQ(ticks, owner == red ? (std::vector<int>{2, 4, 6}) : std::vector<int>{});
    target->destroyNow(true);
  }
}

TEST_F(PlanetStructuresTest, AStepThatDestroysThePlanetEndsTheStructureLoop) {
  actions["BombFx"] = [](EffectHookKind kind, EffectEvent& event) {
    if (kind == EH_Tick)
      static_cast<objHabitation*>(event.target)->destroyNow(false);
  };
  objHabitation* target = planet(red, {L"Bomb", L"Mine"});
  heldPointer<objHabitation> held(target);
  tickTimes(target, 2);
  EXPECT_FALSE(target->isValid());
  EXPECT_EQ(callsOf(EH_Tick), std::vector<std::string>{"BombFx"});
  EXPECT_EQ(kindsOf("MineFx"), (std::vector<EffectHookKind>{EH_OnDeactive, EH_OnDestruct}));
  EXPECT_TRUE(target->structures.empty());
}

TEST_F(PlanetStructuresTest, TheLargestEffectorRangeCountsActiveStructuresOnly) {
  const struct {
    const char* what;
    std::vector<const wchar_t*> names;
    int disabled;  // index of a disabled structure, -1 for none
    float weaponRange;
    float anyRange;
  } cases[] = {
      {"none", {}, -1, 0, 0},
      {"no effectors", {L"Mine"}, -1, 0, 0},
      {"all active", {L"Cannon", L"BigCannon", L"Drill", L"Mine"}, -1, 80, 80},
      {"the big one disabled", {L"Cannon", L"BigCannon", L"Drill"}, 1, 30, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    objHabitation* target = planet(red, c.names);
    if (c.disabled >= 0)
      target->structures[static_cast<irr::u32>(c.disabled)].record.state = SS_Disabled;
    EXPECT_FLOAT_EQ(target->getMaxEffectorRange(L"Weapon"), c.weaponRange);
    EXPECT_FLOAT_EQ(target->getMaxEffectorRange(), c.anyRange);
    target->destroyNow(true);
  }
}

TEST_F(PlanetStructuresTest, QueriesCountStructuresByDefinitionAndTag) {
  objHabitation* target = planet(red, {L"Mine", L"Cannon", L"Mine"});
  const struct {
    const SubSystemDef* definition;
    unsigned count;
  } byDefinition[] = {{def(L"Mine"), 2}, {def(L"Cannon"), 1}, {def(L"Farm"), 0}, {nullptr, 0}};
  for (const auto& c : byDefinition) {
    EXPECT_EQ(target->countStructures(c.definition), c.count);
    EXPECT_EQ(target->hasStructure(c.definition), c.count > 0);
  }
  const struct {
    const wchar_t* tag;
    bool present;
  } byTag[] = {{L"Weapon", true}, {L"Structure", true}, {L"Hull", false}};
  for (const auto& c : byTag)
    EXPECT_EQ(target->hasStructureWithTag(c.tag), c.present) << stringw(c.tag).c_str();
  target->destroyNow(true);
}

// --- Defence -------------------------------------------------------------------

// The types of the planet's queue, front first.
std::vector<int> queueTypes(const objHabitation* target) {
  std::vector<int> types;
  for (uint32_t i = 0; i < target->ai->getOrderCount(); ++i)
    types.push_back(target->ai->getOrder(i)->getType());
  return types;
}

TEST_F(PlanetStructuresTest, AWeaponStructureGivesThePlanetOneDefendOrder) {
  objHabitation* target = planet(red, {});
  target->ai->appendOrder(new move_order(vector3df(1, 0, 0), 0.0f));
  target->ai->appendOrder(new move_order(vector3df(2, 0, 0), 0.0f));
  const std::vector<int> before = {OrdT_Move, OrdT_Move};

  const struct {
    const char* what;
    const wchar_t* name;
    std::vector<int> queue;
  } built[] = {
      {"no weapon: nothing", L"Mine", before},
      {"the first weapon appends a defend order", L"Cannon", {OrdT_Move, OrdT_Move, OrdT_Defend}},
      {"the second adds none", L"BigCannon", {OrdT_Move, OrdT_Move, OrdT_Defend}},
  };
  for (const auto& c : built) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(target->addStructure(instanceFor(target, c.name)));
    EXPECT_EQ(queueTypes(target), c.queue);
  }
  target->destroyNow(true);
}

TEST_F(PlanetStructuresTest, AWeaponMadeFromItsDefinitionEmptiesTheQueueBeforeItsDefendOrder) {
  objHabitation* target = planet(red, {});
  const auto fill = [target] {
    target->ai->clearOrders(true);
    target->ai->appendOrder(new move_order(vector3df(1, 0, 0), 0.0f));
    auto* earlier = new defend_order();
    earlier->interval = 7;  // tells it from a new one
    target->ai->appendOrder(earlier);
    target->ai->appendOrder(new move_order(vector3df(2, 0, 0), 0.0f));
  };
  const struct {
    const char* what;
    const wchar_t* name;
    std::vector<int> queue;
  } built[] = {
      {"no weapon keeps the queue", L"Mine", {OrdT_Move, OrdT_Defend, OrdT_Move}},
      {"a weapon leaves only a new defend order", L"Cannon", {OrdT_Defend}},
  };
  for (const auto& c : built) {
    SCOPED_TRACE(c.what);
    fill();
    ASSERT_TRUE(target->addStructureFromDef(def(c.name)));
    EXPECT_EQ(queueTypes(target), c.queue);
  }
  EXPECT_EQ(static_cast<defend_order*>(target->ai->getOrder(0))->interval, 1000u)
      << "the defend order queued before went with the queue";

  // A planet with no room adds nothing and keeps its queue.
  fill();
  target->setStructureSpace(static_cast<float>(target->structures.size()));
  EXPECT_FALSE(target->addStructureFromDef(def(L"BigCannon")));
  EXPECT_EQ(queueTypes(target), (std::vector<int>{OrdT_Move, OrdT_Defend, OrdT_Move}));
  target->destroyNow(true);
}

}  // namespace

}  // namespace planet_structures_test
