// Ships: construction and its bookkeeping, the sub-system clocks, hit points
// and "Control" in the tick, damage through the layout's orders, repair and
// the damage recount, headings, the Repair native, clearing targets from an
// order request, and the ship's record in the object tree.
#include "universe/ships/ship.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "core/random.h"
#include "core/save_stream.h"
#include "design/effect_function_lookup.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "gfx/graphics_object.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/galaxygen/object_tree.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_states.h"
#include "universe/orders/unit_ai.h"
#include "probe_effect.h"
#include "hit_particles_scope.h"
#include "universe_fixture.h"

namespace ship_test {

using irr::core::stringw;

namespace {

constexpr float kStep = 1.0f / 16.0f;

using namespace probetest;

int countCalls(const std::string& label, EffectHookKind kind) {
  return static_cast<int>(
      std::count_if(calls.begin(), calls.end(), [&](const HookCall& c) { return c.label == label && c.kind == kind; }));
}

constexpr uint16_t bit(EffectHookKind kind) { return static_cast<uint16_t>(1u << kind); }
constexpr uint16_t kLifeHooks = bit(EH_OnActive) | bit(EH_OnDeactive) | bit(EH_OnConstruct) | bit(EH_OnDestruct);

const char kDefinitions[] =
    "System: Armor\nEquips To: Armor\nDurability: 10\nProvides: ArmorFx\n\n"
    "System: Engine\nEquips To: Stage 1\nDurability: 5\nProvides: EngineFx\n\n"
    "System: Frame\nEquips To: Hull\nDurability: 20\nProvides: FrameFx\n\n"
    "System: Shield\nEquips To: Stage 2\nDurability: 8\nProvides: ShieldFx\n\n"
    "System: East\nEquips To: Stage 2\nDurability: 8\nProvides: EastFx\n\n"
    "System: West\nEquips To: Stage 2\nDurability: 8\nProvides: WestFx\n\n"
    "System: Deflector\nEquips To: Armor\nDurability: 6\nProvides: DeflectorFx\n\n"
    "System: Core\nDurability: 16\nProvides: CoreFx\n\n"
    "System: Gun\nDurability: 4\nProvides: Laser with Damage[3]\nProvides: Laser with Damage[4]\n\n"
    "System: Always\nTick Rate: Always\nDurability: 1\nProvides: AlwaysFx\n\n"
    "System: Ten\nTick Rate: 10\nDurability: 1\nProvides: TenFx\n\n"
    "System: Four\nTick Rate: 4\nDurability: 1\nProvides: FourFx\n\n"
    "System: One\nTick Rate: 1\nDurability: 1\nProvides: OneFx\n";

class ShipTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space = registerSpaceEmpire();
    clearShipScriptHooks();
    clearPostObjectTreeSteps();
    calls.clear();
    actions.clear();
    currentTick = 0;
    savedNextUid = nextUid.load();

    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effects.txt", std::ios::binary) << "Name: Hit\nValue: Amount\n";
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Laser\nValue: Damage\nCauses: Hit lasting 2 with Amount[Damage]\n";
    {
      LogCapture log;
      loadEffects((folder / "effects.txt").string().c_str());
      loadEffectors((folder / "effectors.txt").string().c_str());
    }
    for (const char* label : {"ArmorFx", "EngineFx", "FrameFx", "CoreFx"})
      addProbe(label, kLifeHooks);
    for (const char* label : {"ShieldFx", "EastFx", "WestFx"})
      addProbe(label, bit(EH_OnGlobalDamage));
    addProbe("DeflectorFx", bit(EH_OnDamage));
    for (const char* label : {"AlwaysFx", "TenFx", "FourFx", "OneFx"})
      addProbe(label, bit(EH_Tick));
    addProbe("SpaceDamage", 0);
    subsystemtest::loadDefinition(folder, kDefinitions, L"Armor");
  }

  void TearDown() override {
    nextUid = std::max(savedNextUid, nextUid.load());
    uidHighWater = 1;
    clearPostObjectTreeSteps();
    actions.clear();
    UniverseTest::TearDown();  // the empires let go of their layouts
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

  struct Part {
    const wchar_t* name;
    float x = 0.0f;
    float y = 0.0f;
  };
  // A layout of red's named `name`, filed in red's table (which holds it).
  hull_list* layout(const wchar_t* name, const std::vector<Part>& parts, float designScale = 1.0f) {
    layout_desc desc;
    for (const Part& part : parts)
      desc.systems.push_back({def(part.name), 1.0f, part.x, part.y, -1});
    desc.scale = designScale;
    hull_list* made = new hull_list(desc, red, true);
    made->name = name;
    NamedVar<hull_list*>& entry = NamedVar<hull_list*>::getOrAdd(red->hulls, stringw(name));
    if (entry.value != nullptr)
      entry.value->drop();
    entry.value = made;
    return made;
  }

  objHulled* ship(const std::vector<Part>& parts, float shipRadius = 10.0f) {
    auto* made = new objHulled(red, layout(L"Test", parts), nullptr);
    made->radius = shipRadius;
    calls.clear();  // the build events
    return made;
  }

  static void tickTimes(objHulled* target, int count) {
    for (int i = 0; i < count; ++i) {
      ++currentTick;
      target->tick(kStep);
    }
  }

  static float damageOf(objHulled* target) { return findObjectState(target, L"Damage")->value.val; }

  // A seed after which the damage takes order point `k`.
  static uint32_t seedFor(int k) {
    for (uint32_t seed = 1;; ++seed) {
      seedProcessRandom(seed);
      if ((processRandom() / 4) % 4 == k)
        return seed;
    }
  }

  // Damages `target` by `amount` at order point `k`; the event's time after.
  static float hit(objHulled* target, float amount, int k = 0) {
    EffectEvent event(nullptr, target, amount);
    seedProcessRandom(seedFor(k));
    target->damage(event);
    EXPECT_EQ(event.destKind, 0u) << "the mark is cleared";
    EXPECT_EQ(event.dest, nullptr);
    return event.time;
  }

  empire* space = nullptr;
  uint32_t savedNextUid = 0;
};

// --- Construction and clocks -----------------------------------------------------

TEST_F(ShipTest, ConstructionCountsTheShipForItsOwner) {
  const float shipsBefore = red->getStat(L"Ship");
  objHulled* made = ship({{L"Armor"}, {L"Gun"}, {L"Frame"}});

  const State* damage = findObjectState(made, L"Damage");
  ASSERT_NE(damage, nullptr);
  EXPECT_FLOAT_EQ(damage->value.max, 10 + 4 + 20);
  EXPECT_FLOAT_EQ(damage->value.val, 0);
  EXPECT_EQ(made->getSubSystemCount(), 3u);
  EXPECT_FLOAT_EQ(made->getSubSystem(2)->HP, 20);
  EXPECT_EQ(made->getSubSystem(3), nullptr);
  EXPECT_EQ(made->getSubSystem(-1), nullptr);

  ASSERT_EQ(made->effectorStateCount, 2u) << "one per effector";
  for (uint32_t k = 0; k < 2; ++k) {
    EXPECT_EQ(made->effectorStates[k].system, made->getSubSystem(1));
    EXPECT_EQ(made->effectorStates[k].subSystemIndex, 1u);
    EXPECT_EQ(made->effectorStates[k].effectorIndex, k);
    EXPECT_EQ(made->effectorStates[k].target, nullptr);
  }

  EXPECT_EQ(made->owner, red);
  EXPECT_FLOAT_EQ(red->getStat(L"Ship"), shipsBefore + 1);
  EXPECT_EQ(red->objects.count(made), 1u);
  ASSERT_NE(made->ai, nullptr);
  EXPECT_EQ(static_cast<UnitAI*>(made->ai)->hull, made->getHull());

  made->destroyNow(true);
  EXPECT_FLOAT_EQ(red->getStat(L"Ship"), shipsBefore);
  EXPECT_EQ(red->objects.count(made), 0u);
}

TEST_F(ShipTest, ShipsOfMoreThanFourSubSystemsCountTheirStrengthWhereTheyAre) {
  const struct {
    int parts;
    float strength;
  } cases[] = {{5, 9.0f}, {4, 0.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.parts);
    auto* system = new solarSystem();
    auto strength = [&] { return getStatValue(getEmpireStats(*system->systemStats, red), L"str"); };
    auto* made =
        new objHulled(red, layout(L"Big", std::vector<Part>(static_cast<size_t>(c.parts), Part{L"Core"}), 9.0f),
                      nullptr);
    made->setContainer(system);
    EXPECT_FLOAT_EQ(strength(), c.strength) << "entering";
    made->setContainer(nullptr);
    EXPECT_FLOAT_EQ(strength(), 0.0f) << "leaving";
    made->destroyNow(true);
    system->destroyNow(true);
  }
}

TEST_F(ShipTest, SubSystemsTickOnTheirClocks) {
  objHulled* made = ship({{L"Always"}, {L"Ten"}, {L"Four"}, {L"One"}});
  tickTimes(made, 16);

  const struct {
    const char* label;
    std::vector<int> ticks;
    float time;
  } cases[] = {
      {"AlwaysFx", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, 0.0625f},
      {"TenFx", {2, 4, 6, 8, 10, 12, 14, 16}, 0.125f},
      {"FourFx", {4, 8, 12, 16}, 0.25f},
      {"OneFx", {16}, 1.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<int> ticks;
    for (const HookCall& call : calls) {
      if (call.label != c.label || call.kind != EH_Tick)
        continue;
      ticks.push_back(call.tick);
      EXPECT_FLOAT_EQ(call.time, c.time);
    }
    EXPECT_EQ(ticks, c.ticks);
  }
  made->destroyNow(true);
}

TEST_F(ShipTest, TicksCountLostHitPointsAndStoppedSubSystemsWithoutControlGiveTheShipAway) {
  const struct {
    const char* what;
    bool disable;
    float control;  // < 0: no "Control" state
    float damage;
    empire* const* owner;
  } cases[] = {
      {"hit points lost", false, -1, 3, &red},
      {"stopped, control 1", true, 1, 3, &red},
      {"stopped, control 0", true, 0, 3, &space},
      {"stopped, no control", true, -1, 3, &space},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const bool disable = c.disable;
    actions["AlwaysFx"] = [disable](EffectHookKind kind, EffectEvent& event) {
      if (kind != EH_Tick)
        return;
      event.source->HP -= 3.0f;
      if (disable)
        event.state = ESC_DISABLE;
    };
    objHulled* made = ship({{L"Always"}, {L"Frame"}});
    made->getSubSystem(0)->HP = 10.0f;
    if (c.control >= 0)
      getOrAddObjectState(made, L"Control")->value.val = c.control;
    tickTimes(made, 1);
    EXPECT_FLOAT_EQ(damageOf(made), c.damage);
    EXPECT_EQ(made->getSubSystem(0)->state, c.disable ? SS_Disabled : SS_Active);
    EXPECT_EQ(made->owner, *c.owner);
    made->destroyNow(true);
  }
}

// --- Damage ------------------------------------------------------------------------

TEST_F(ShipTest, DamageRunsThroughTheSubSystemsInOrder) {
  const struct {
    const char* what;
    float control;  // < 0: no "Control" state
    empire* const* owner;
    bool spaceDamage;
  } cases[] = {
      {"with control", 1, &red, false},
      {"without control", -1, &space, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    objHulled* made = ship({{L"Frame", 0, 1}, {L"Armor", 1, 0}, {L"Engine", -1, 0}});
    if (c.control >= 0)
      getOrAddObjectState(made, L"Control")->value.val = c.control;
    setObjectTestClock(5000);
    EXPECT_FLOAT_EQ(hit(made, 12), 12) << "the event holds all the damage taken";

    EXPECT_EQ(made->getSubSystem(1)->state, SS_Destroyed);
    EXPECT_FLOAT_EQ(made->getSubSystem(1)->HP, 0);
    EXPECT_EQ(countCalls("ArmorFx", EH_OnDeactive), 1);
    EXPECT_EQ(countCalls("ArmorFx", EH_OnDestruct), 1);
    EXPECT_FLOAT_EQ(made->getSubSystem(2)->HP, 3);
    EXPECT_EQ(made->getSubSystem(2)->state, SS_Active);
    EXPECT_FLOAT_EQ(made->getSubSystem(0)->HP, 20);
    EXPECT_EQ(countCalls("EngineFx", EH_OnDestruct) + countCalls("FrameFx", EH_OnDestruct), 0);
    EXPECT_FLOAT_EQ(damageOf(made), 12);
    EXPECT_EQ(made->lastAttacked, 5000u);
    EXPECT_EQ(made->owner, *c.owner);
    EXPECT_EQ(made->nextDamagedSubSystem(nullptr), made->getSubSystem(1));
    EXPECT_EQ(made->nextDamagedSubSystem(made->getSubSystem(1)), made->getSubSystem(2));
    EXPECT_EQ(made->nextDamagedSubSystem(made->getSubSystem(2)), nullptr);

    ASSERT_EQ(made->timedEffects.size(), c.spaceDamage ? 1u : 0u);
    if (c.spaceDamage) {
      const timed_effect* effect = made->timedEffects[0];
      EXPECT_EQ(effect->data.effect, effectRegistry()[static_cast<irr::u32>(findEffectIndex(L"SpaceDamage"))].value);
      EXPECT_FLOAT_EQ(effect->duration, 1e35f);
      EXPECT_NEAR(effect->data.values[0], 0.0277778f, 1e-6f);
      EXPECT_EQ(effect->event.obj, made) << "the ship is the source";
    }
    made->destroyNow(true);
    calls.clear();
  }
}

TEST_F(ShipTest, PreDamageHooksActFirstOnTheListOfTheChosenPoint) {
  // A shield's global hook lowers the damage by 5 while the event is marked
  // as on the shield; the sub-systems without such a hook are not visited.
  SysRef* seen = nullptr;
  actions["ShieldFx"] = [&](EffectHookKind kind, EffectEvent& event) {
    if (kind != EH_OnGlobalDamage)
      return;
    seen = event.destKind == 1 ? event.dest : nullptr;
    event.time -= 5.0f;
  };
  objHulled* made = ship({{L"Frame"}, {L"Armor", 1, 0}, {L"Engine"}, {L"Shield", 0, 1}});
  EXPECT_FLOAT_EQ(hit(made, 12), 7);
  EXPECT_EQ(seen, made->getSubSystem(3));
  EXPECT_EQ(countCalls("ShieldFx", EH_OnGlobalDamage), 1);
  for (const char* other : {"ArmorFx", "EngineFx", "FrameFx"})
    EXPECT_EQ(countCalls(other, EH_OnGlobalDamage), 0) << other;
  EXPECT_FLOAT_EQ(made->getSubSystem(1)->HP, 3) << "7 taken from the armour";
  EXPECT_EQ(made->getSubSystem(1)->state, SS_Active);
  EXPECT_FLOAT_EQ(made->getSubSystem(2)->HP, 5);
  EXPECT_FLOAT_EQ(damageOf(made), 7);
  made->destroyNow(true);

  // Two shields of equal rank: the one nearer the chosen point acts first,
  // and its ending of the damage leaves the other unasked.
  for (const char* label : {"EastFx", "WestFx"})
    actions[label] = [](EffectHookKind kind, EffectEvent& event) {
      if (kind == EH_OnGlobalDamage)
        event.state = ESC_DISABLE;
    };
  const struct {
    int k;
    const char* first;
  } points[] = {{0, "EastFx"}, {2, "WestFx"}};
  for (const auto& p : points) {
    SCOPED_TRACE(p.k);
    calls.clear();
    objHulled* guarded = ship({{L"Armor"}, {L"East", 3, 0}, {L"West", -3, 0}});
    hit(guarded, 4, p.k);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].label, p.first);
    EXPECT_FLOAT_EQ(guarded->getSubSystem(0)->HP, 10) << "the damage ended";
    guarded->destroyNow(true);
  }
}

TEST_F(ShipTest, OnDamageHooksTakeTheHitInPlaceOfTheirSubSystem) {
  const struct {
    const char* what;
    uint32_t answer;
    float deflectorHP, armorHP;
  } cases[] = {
      {"no answer: it takes the hit itself", ESC_NOCHANGE, 0, 10},
      {"skip: the next one takes it", ESC_SKIP, 6, 4},
      {"disable: the damage ends", ESC_DISABLE, 6, 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t answer = c.answer;
    actions["DeflectorFx"] = [answer](EffectHookKind kind, EffectEvent& event) {
      if (kind == EH_OnDamage)
        event.state = answer;
    };
    // Both rank as armour: the deflector, nearer the point (4, 0), comes first.
    objHulled* made = ship({{L"Deflector", 1, 0}, {L"Armor", -1, 0}});
    getOrAddObjectState(made, L"Control")->value.val = 1;
    hit(made, 6);
    EXPECT_EQ(countCalls("DeflectorFx", EH_OnDamage), 1);
    EXPECT_FLOAT_EQ(made->getSubSystem(0)->HP, c.deflectorHP);
    EXPECT_FLOAT_EQ(made->getSubSystem(1)->HP, c.armorHP);
    made->destroyNow(true);
    calls.clear();
  }
}

TEST_F(ShipTest, DamageReachingTheMaximumAsksForALoudDestruction) {
  objHulled* made = ship({{L"Frame"}, {L"Armor"}, {L"Engine"}});
  made->setFlag(FLAG_QUIET_DESTROY);
  hit(made, 34);
  EXPECT_FALSE(made->hasFlag(FLAG_DESTROY));
  hit(made, 1);
  EXPECT_FLOAT_EQ(damageOf(made), 35);
  EXPECT_TRUE(made->hasFlag(FLAG_DESTROY));
  EXPECT_FALSE(made->hasFlag(FLAG_QUIET_DESTROY));
  made->destroyNow(true);
}

TEST_F(ShipTest, ALostSubSystemFlashesOnTheShipsGraphicsAtItsHeading) {
  HitParticlesScope particles;
  for (bool withGraphics : {true, false}) {
    SCOPED_TRACE(withGraphics);
    // The engine sits astern: heading 180 degrees, toward -Z.
    objHulled* made = ship({{L"Frame", 0, 1}, {L"Engine", -1, 0}});
    graphicsObject* shown = nullptr;
    if (withGraphics) {
      shown = new graphicsObject(made, particles.scene()->addEmptySceneNode());
      shown->radius = 10.0f;
      made->graphics = shown;  // the ship's reference
    }
    EffectEvent event(nullptr, made, 8);
    made->damageSubSystem(event, made->getSubSystem(1));
    ASSERT_EQ(made->getSubSystem(1)->state, SS_Destroyed);
    ASSERT_EQ(HitParticlesScope::running(), withGraphics ? 1u : 0u);
    if (withGraphics) {
      // The flash sits on the ship's surface at the engine's heading, tilted
      // by at most 30 degrees.
      particleSystemGenerator->update(0.01f);
      irr::core::vector3df at;
      for (unsigned i = 0; i < kBurstNodeCount; ++i) {
        if (burstPoolNode(i)->getPosition().getLengthSQ() > 0.0f)
          at = burstPoolNode(i)->getPosition();
      }
      EXPECT_NEAR(at.getLength(), 10.0f, 1e-3f);
      EXPECT_NEAR(at.X, 0.0f, 1e-3f);
      EXPECT_LE(at.Z, -10.0f * std::cos(30.0f * irr::core::DEGTORAD) + 1e-3f);
    }
    EXPECT_FLOAT_EQ(made->getSubSystem(0)->HP, 20) << "the damage as without graphics";
    made->destroyNow(true);
    particleSystemGenerator->clear();
  }
}

TEST_F(ShipTest, DamageAimedAtOneSubSystemLeavesTheRestToTheObject) {
  objHulled* made = ship({{L"Frame"}, {L"Engine"}});
  EffectEvent event(nullptr, made, 8);
  made->damageSubSystem(event, made->getSubSystem(1));
  EXPECT_EQ(made->getSubSystem(1)->state, SS_Destroyed);
  EXPECT_FLOAT_EQ(made->getSubSystem(0)->HP, 20);
  EXPECT_FLOAT_EQ(event.time, 3);
  EXPECT_FLOAT_EQ(damageOf(made), 3) << "the rest";
  EXPECT_EQ(made->owner, space) << "no control";

  SysRef foreign;
  made->damageSubSystem(event, &foreign);
  EXPECT_FLOAT_EQ(damageOf(made), 3) << "another ship's record changes nothing";
  made->destroyNow(true);
}

// --- Repair and headings ----------------------------------------------------------

TEST_F(ShipTest, RepairRevivesADestroyedSubSystemAboveHalfItsMaximum) {
  objHulled* made = ship({{L"Core"}});
  SysRef* core = made->getSubSystem(0);
  core->state = SS_Destroyed;
  core->HP = 0;
  findObjectState(made, L"Damage")->value.val = 16;

  made->repair(8);
  EXPECT_EQ(core->state, SS_Destroyed) << "8 is not above half of 16";
  EXPECT_FLOAT_EQ(core->HP, 8);
  EXPECT_EQ(countCalls("CoreFx", EH_OnConstruct) + countCalls("CoreFx", EH_OnActive), 0);

  made->repair(1);
  EXPECT_EQ(core->state, SS_Active);
  EXPECT_FLOAT_EQ(core->HP, 9);
  EXPECT_EQ(countCalls("CoreFx", EH_OnConstruct), 1);
  EXPECT_EQ(countCalls("CoreFx", EH_OnActive), 1);
  EXPECT_FLOAT_EQ(damageOf(made), 7);

  made->repair(100);
  EXPECT_FLOAT_EQ(core->HP, 16) << "up to the maximum";
  EXPECT_FLOAT_EQ(damageOf(made), 0);
  made->destroyNow(true);
}

TEST_F(ShipTest, TheDamageIsRecountedOnThe17thTickAfterARepair) {
  objHulled* made = ship({{L"Core"}, {L"Engine"}});
  made->getSubSystem(0)->HP = 10;
  made->getSubSystem(1)->HP = 4.95f;  // within 0.1 of its maximum: not counted
  made->repair(1);
  EXPECT_FLOAT_EQ(made->getSubSystem(0)->HP, 11);
  EXPECT_FLOAT_EQ(made->damageRecountTimer, 0.5f);
  findObjectState(made, L"Damage")->value.val = 100;
  tickTimes(made, 16);
  EXPECT_FLOAT_EQ(damageOf(made), 100);
  tickTimes(made, 1);
  EXPECT_FLOAT_EQ(damageOf(made), 5);
  EXPECT_FLOAT_EQ(made->damageRecountTimer, 0);
  made->destroyNow(true);
}

TEST_F(ShipTest, TheRepairNativeRepairsShips) {
  objHulled* made = ship({{L"Core"}});
  made->getSubSystem(0)->HP = 10;
  findObjectState(made, L"Damage")->value.val = 6;
  const TemplateFuncEntry* repair = templateFunction(L"Repair");
  ASSERT_NE(repair, nullptr);
  EffectEvent event(made, made, 1.5f);
  TemplateArgList args = numbers({2});
  effect_data values;
  repair->apply(&event, &values, args);
  EXPECT_FLOAT_EQ(made->getSubSystem(0)->HP, 13);
  EXPECT_FLOAT_EQ(damageOf(made), 3);
  made->destroyNow(true);
}

TEST_F(ShipTest, HeadingsOfPlacements) {
  const struct {
    float x, y, degrees;
  } cases[] = {
      {1, 0, 0},    {-1, 0, 180}, {0, -1, 90},  {0, 1, 270},          {1, 1, 315},
      {1, -1, 45},  {-1, -1, 135}, {-1, 1, 225}, {1, 2, 296.565051f}, {3, -4, 53.130102f},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(headingDegrees(c.x, c.y), c.degrees, 1e-3f) << c.x << ", " << c.y;
}

// --- Orders and destruction -------------------------------------------------------

TEST_F(ShipTest, AClearingOrderRequestLetsGoOfTheWeaponsTargets) {
  objHulled* made = ship({{L"Gun"}});
  auto* target = new TestObject(blue);
  ASSERT_EQ(made->effectorStateCount, 2u);
  for (uint32_t k = 0; k < 2; ++k) {
    target->grab();
    made->effectorStates[k].target = target;
  }
  applyOrderRequest(*made, red, ORF_Clear, nullptr);
  for (uint32_t k = 0; k < 2; ++k)
    EXPECT_EQ(made->effectorStates[k].target, nullptr);
  EXPECT_EQ(target->refCount.load(), 1);
  made->destroyNow(true);
  target->destroyNow(true);
}

TEST_F(ShipTest, DestructionSwitchesTheSubSystemsOffAndReleasesTargets) {
  objHulled* made = ship({{L"Core"}, {L"Armor"}, {L"Gun"}});
  made->getSubSystem(1)->state = SS_Disabled;
  auto* target = new TestObject(blue);
  target->grab();
  made->effectorStates[0].target = target;
  bool validInHook = true;
  actions["CoreFx"] = [&](EffectHookKind kind, EffectEvent& event) {
    if (kind == EH_OnDeactive)
      validInHook = event.obj->isValid();
  };
  made->destroyNow(false);
  EXPECT_EQ(countCalls("CoreFx", EH_OnDeactive), 1);
  EXPECT_EQ(countCalls("ArmorFx", EH_OnDeactive), 0) << "not running";
  EXPECT_FALSE(validInHook);
  EXPECT_EQ(target->refCount.load(), 1);
  target->destroyNow(true);
}

// --- Records -----------------------------------------------------------------------

TEST_F(ShipTest, TheRecordRoundTripsThroughTheObjectTree) {
  auto* world = new objGalaxy();
  world->radius = 200000.0f;  // as loaded galaxies have it
  auto* system = new solarSystem();
  system->setContainer(world);
  objHulled* made = ship({{L"Frame"}, {L"Gun"}, {L"Armor"}});
  made->name = L"Scout 1";
  made->setContainer(system);
  made->getSubSystem(2)->state = SS_Destroyed;
  made->getSubSystem(2)->HP = 0;
  made->getSubSystem(1)->effectorStates[1] = {0.5f, 2.0f, 7};
  made->retargetTimer = 0.75f;
  made->scanIndex = 60;
  const float clocks[4] = {0.05f, 0.125f, 0.375f, 0.8125f};
  std::copy(clocks, clocks + 4, made->accumulators);
  const uint32_t shipUid = made->uid;
  const hull_list* design = made->getHull();

  auto save = [](generic_object* root) {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    saveObjectTree(*stream, root);
    return stream->memoryBytes();
  };
  const Bytes file = save(world);
  world->destroyNow(true);

  objGalaxy* loaded = nullptr;
  const SaveFileError error = saveErrorOf([&] {
    auto reader = readerOver(file);
    readCommonStringsSection(*reader);
    loaded = loadObjectTree(*reader, nullptr);
    EXPECT_EQ(reader->remaining(), 0u);
    runPostObjectTreeSteps();
  });
  ASSERT_EQ(error, (SaveFileError{0, "no error"}));
  auto* back = dynamic_cast<objHulled*>(getObjectByUID(shipUid));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getHull(), design);
  EXPECT_EQ(static_cast<UnitAI*>(back->ai)->hull, design) << "the layout step ran";
  EXPECT_EQ(back->getSubSystem(2)->state, SS_Destroyed);
  EXPECT_FLOAT_EQ(back->getSubSystem(0)->HP, 20);
  EXPECT_EQ(back->getSubSystem(1)->effectorStates[1].word, 7u);
  ASSERT_EQ(back->effectorStateCount, 2u);
  EXPECT_EQ(back->effectorStates[1].system, back->getSubSystem(1));
  EXPECT_FLOAT_EQ(back->retargetTimer, 0.75f);
  EXPECT_EQ(back->scanIndex, 60u);
  for (int c = 0; c < 4; ++c)
    EXPECT_FLOAT_EQ(back->accumulators[c], clocks[c]) << c;
  EXPECT_FLOAT_EQ(findObjectState(back, L"Damage")->value.max, 34);
  EXPECT_EQ(save(loaded), file) << "saved again, the same bytes";
  loaded->destroyNow(true);
}

TEST_F(ShipTest, ACutRecordIsAnUnexpectedEnd) {
  objHulled* made = ship({{L"Frame"}, {L"Gun"}});
  auto writer = SaveStream::createInMemory();
  made->writeOwnFields(*writer);
  const Bytes body = writtenBody(*writer);
  for (size_t length = 0; length < body.size(); ++length) {
    const Bytes cut = withHeader(Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length)));
    const SaveFileError error = saveErrorOf([&] {
      auto reader = readerOver(cut);
      made->readOwnFields(*reader);
    });
    EXPECT_EQ(error, kSaveErrorEOF) << length;
  }
  made->destroyNow(true);
}

}  // namespace

}  // namespace ship_test
