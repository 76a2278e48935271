// A battle between two empires, shared by the battle test and the battle
// benchmark (which includes it from the tests' folder).
//
// A galaxy of four star systems, each with a star. In the first, the ships
// of two empires at war stand on two lines 300 apart, every ship of one
// test layout (armour, an engine, a mount with a beam weapon, a hull giving
// "Control") with a defend order; the other systems hold only their star.
// The galaxy is stepped 1/16 s of game time at a time as a session does:
// every worker finishes one pass, then the galaxy's own update runs; the
// engine's millisecond clock follows the game time, and the graphics calls
// of the step are counted and dropped as the frame loop sends them.
//
// The caller owns the session around it: the empires (at war both ways),
// the space empire that ships without "Control" fall to, the thread locals,
// and the `galaxy` global, which Battle makes and destroys.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/random.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/object_states.h"
#include "universe/objects/star.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/combat_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/ships/ship.h"
#include "worker_steps.h"

namespace battletest {

constexpr double kStep = 1.0 / 16.0;  // exact in binary: one worker pass a step
constexpr int kSystems = 4;
constexpr float kSystemSpacing = 3000.0f;
constexpr float kSystemRadius = 1000.0f;
constexpr float kLineGap = 300.0f;
constexpr float kShipSpacing = 20.0f;
constexpr float kShipRadius = 5.0f;

// How often the weapons' hits (one timed effect each) have landed; any
// thread.
inline std::atomic<uint64_t> hitsMade{0};

// The caused effect's hit: damages its receiver by its amount, dealt by
// the object that fired.
inline void battleHit(EffectEvent* event, effect_data* values) {
  hitsMade.fetch_add(1, std::memory_order_relaxed);
  generic_object* receiver = event->target;
  if (receiver == nullptr || !receiver->isValid())
    return;
  EffectEvent hit(event->obj, receiver, values->values[0]);
  receiver->damage(hit);
}
inline const PlainFuncEntry kBattleHit{battleHit};
inline const RegisterPlainFunction registerBattleHit(L"BattleHit", &kBattleHit);

// The data of the battle: a beam that hits the moment it fires, without
// spread, and the four parts of the test layout. "Unarmed" is the same
// layout with an empty mount.
inline const char kEffects[] =
    "Name: Hit\nValue: Amount\nOnActive: BattleHit\n\n"
    "Name: ShipControl\nValue: Amount\nOnActive: AddMax(Amount, \"Control\", 1)\n"
    "OnDeactive: SubMax(Amount, \"Control\")\n\n"
    "Name: Thrusters\nValue: Speed\nOnActive: IncSpeed(Speed)\nOnDeactive: DecSpeed(Speed)\n";
inline const char kEffectors[] =
    "Effector: Beam\nValue: Damage\nValue: Range\nValue: Delay\nPhysicalType: Beam\nRange: Range\n"
    "CanAttack: CanAttack\nAutoAttack: Enemy\nOnFire: Timed(Delay)\nTick: Reload\n"
    "Causes: Hit lasting 0 with Amount[Damage]\n";
inline const char kSubSystems[] =
    "System: Armour\nEquips To: Armor\nSize: 1\nDurability: 24\n\n"
    "System: Engine\nEquips To: Stage 4\nSize: 1\nDurability: 8\nProvides: Thrusters with Speed[4]\n\n"
    "System: Mount\nTags: Weapon\nEquips To: Stage 1\nSize: 1\nDurability: 8\n"
    "Provides: Beam with Damage[4], Range[100], Delay[1]\nTick Rate: Always\n\n"
    "System: EmptyMount\nEquips To: Stage 1\nSize: 1\nDurability: 8\n\n"
    "System: Hull\nEquips To: Hull\nSize: 1\nDurability: 12\nProvides: ShipControl with Amount[1]\n";

// Writes the data into `folder` and loads it; false when a file could not
// be written.
inline bool loadBattleData(const std::filesystem::path& folder) {
  const struct {
    const char* file;
    const char* text;
  } files[] = {{"battle_effects.txt", kEffects},
               {"battle_effectors.txt", kEffectors},
               {"battle_subsystems.txt", kSubSystems}};
  for (const auto& f : files) {
    std::ofstream out(folder / f.file, std::ios::binary);
    out << f.text;
    if (!out)
      return false;
  }
  loadEffects((folder / "battle_effects.txt").string().c_str());
  loadEffectors((folder / "battle_effectors.txt").string().c_str());
  loadSubSystemDefs((folder / "battle_subsystems.txt").string().c_str());
  return true;
}

inline void clearBattleData() {
  clearSubSystemDefs();
  clearEffectors();
  clearEffects();
}

// What a finished battle looks like, with UIDs counted from the battle's
// first object so that runs compare.
struct Survivor {
  uint32_t uid;  // relative
  float damage;
  float x, y, z;  // in the system
  bool operator==(const Survivor& other) const {
    return uid == other.uid && std::memcmp(&damage, &other.damage, sizeof damage) == 0 &&
           std::memcmp(&x, &other.x, sizeof x) == 0 && std::memcmp(&y, &other.y, sizeof y) == 0 &&
           std::memcmp(&z, &other.z, sizeof z) == 0;
  }
};

struct Outcome {
  int winner = -1;       // 0: A, 1: B, -1: neither before the time ran out
  int steps = 0;         // steps run
  int lastLossStep = -1;  // the step on which the last ship was lost
  std::vector<Survivor> survivors;  // in creation order
  std::vector<int> lossSteps;       // per ship in creation order; -1: never lost
  uint64_t hits = 0;                // hits landed during the run
  uint64_t graphicsCalls = 0;       // graphics calls queued during the run
  int busiestFrame = 0;             // most graphics calls of one step
};

class Battle {
 public:
  // `side` empires at war both ways; `armed` false gives the ships the
  // empty mount instead of the weapon.
  Battle(empire* a, empire* b, int shipsA, int shipsB, bool armed = true) : armed_(armed) {
    sides_[0] = a;
    sides_[1] = b;
    counts_[0] = shipsA;
    counts_[1] = shipsB;
  }
  Battle(const Battle&) = delete;
  Battle& operator=(const Battle&) = delete;
  ~Battle() { tearDown(); }

  // Makes the galaxy and the ships (the clock and the process-wide
  // generator restarted first) and starts `workers` galaxy workers.
  void build(uint32_t seed, uint8_t workers) {
    gameTime = 0.0;
    setObjectTestClock(0);
    seedProcessRandom(seed);
    firstUid_ = nextUid.load();
    galaxy = new objGalaxy();
    for (int i = 0; i < kSystems; ++i) {
      auto* system = new solarSystem();
      system->position.set(kSystemSpacing * static_cast<float>(i), 0.0f, 0.0f);
      system->radius = kSystemRadius;
      system->radiusSquared = kSystemRadius * kSystemRadius;
      system->setContainer(galaxy);
      auto* star = new objStar(system, nullptr);
      star->radius = 20.0f;
      systems_.push_back(system);
    }
    createEnvironment(galaxy, false);
    for (int side = 0; side < 2; ++side) {
      layouts_[side] = makeLayout(sides_[side]);
      for (int k = 0; k < counts_[side]; ++k)
        makeShip(side, k);
    }
    startSystemThreads(workers);
  }

  // One step: the clock moves on to the step's end, every worker runs one
  // pass, then the galaxy's own update. False when a worker never finished.
  bool step() { return step(workersteps::stepWorkers); }
  // The same with `stepWorkers(seconds)` advancing the game time and running
  // the workers' passes.
  template <class StepWorkers>
  bool step(StepWorkers&& stepWorkers) {
    ++steps_;
    setObjectTestClock(static_cast<uint32_t>(static_cast<double>(steps_) * kStep * 1000.0 + 0.5));
    if (!stepWorkers(kStep))
      return false;
    galaxy->tick(static_cast<float>(kStep));
    const size_t calls = effGfxQueueSize();
    graphicsCalls_ += calls;
    if (static_cast<int>(calls) > busiestFrame_)
      busiestFrame_ = static_cast<int>(calls);
    clearEffGfxQueue();  // as the frame loop sends them
    noteLosses();
    return true;
  }

  // Ships of `side` still fighting: valid and still its own.
  int alive(int side) const {
    int count = 0;
    for (const Ship& ship : ships_)
      if (ship.side == side && ship.lostAt < 0)
        ++count;
    return count;
  }

  // Steps until one side has no ship or `maxSeconds` of game time passed.
  Outcome fight(double maxSeconds) {
    const uint64_t hitsBefore = hitsMade.load();
    const int maxSteps = static_cast<int>(maxSeconds / kStep + 0.5);
    while (steps_ < maxSteps && alive(0) > 0 && alive(1) > 0)
      if (!step())
        break;
    pauseSystemThreads();  // parked workers are not in a pass while the ships are read
    Outcome outcome;
    outcome.steps = steps_;
    outcome.winner = alive(1) == 0 && alive(0) > 0 ? 0 : alive(0) == 0 && alive(1) > 0 ? 1 : -1;
    for (const Ship& ship : ships_) {
      outcome.lossSteps.push_back(ship.lostAt);
      if (ship.lostAt > outcome.lastLossStep)
        outcome.lastLossStep = ship.lostAt;
      if (ship.lostAt >= 0)
        continue;
      const State* damage = findObjectState(ship.object, L"Damage");
      outcome.survivors.push_back({ship.object->uid - firstUid_, damage != nullptr ? damage->value.val : -1.0f,
                                   ship.object->position.X, ship.object->position.Y, ship.object->position.Z});
    }
    outcome.hits = hitsMade.load() - hitsBefore;
    outcome.graphicsCalls = graphicsCalls_;
    outcome.busiestFrame = busiestFrame_;
    resumeSystemThreads();
    return outcome;
  }

  // Ends the galaxy and its workers and lets go of every ship and layout.
  void tearDown() {
    if (galaxy != nullptr) {
      resumeSystemThreads();
      objGalaxy* ending = galaxy;
      galaxy = nullptr;
      ending->destroyNow(true);
    }
    clearEffGfxQueue();
    for (Ship& ship : ships_)
      ship.object->drop();
    ships_.clear();
    systems_.clear();
    for (hull_list*& layout : layouts_) {
      if (layout != nullptr)
        layout->drop();
      layout = nullptr;
    }
  }

  int steps() const { return steps_; }
  uint64_t graphicsCalls() const { return graphicsCalls_; }
  int busiestFrame() const { return busiestFrame_; }

 private:
  struct Ship {
    objHulled* object;  // held
    int side;
    int lostAt = -1;
  };

  static const SubSystemDef* definition(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  hull_list* makeLayout(empire* owner) const {
    layout_desc desc;
    desc.systems.push_back({definition(L"Hull"), 1.0f, 0.0f, 0.0f, -1});
    desc.systems.push_back({definition(L"Armour"), 1.0f, 0.0f, 1.0f, -1});
    desc.systems.push_back({definition(L"Engine"), 1.0f, -1.0f, 0.0f, -1});
    desc.systems.push_back({definition(armed_ ? L"Mount" : L"EmptyMount"), 1.0f, 1.0f, 0.0f, -1});
    auto* layout = new hull_list(desc, owner, true);
    layout->name = L"Fighter";
    return layout;
  }

  // Ship `k` of `side`: A's line at x = -150, B's at x = +150, 20 apart
  // along z, well clear of the star at the centre.
  void makeShip(int side, int k) {
    auto* mover = new MobileMover();
    auto* ship = new objHulled(sides_[side], layouts_[side], mover);
    ship->name = side == 0 ? L"A fighter" : L"B fighter";
    ship->radius = kShipRadius;
    ship->position.set((side == 0 ? -0.5f : 0.5f) * kLineGap, 0.0f,
                       200.0f + kShipSpacing * (static_cast<float>(k) - 0.5f * static_cast<float>(counts_[side] - 1)));
    ship->setContainer(systems_[0]);
    systems_[0]->toAbsolutePosition(mover->destination, ship->position);
    ship->ai->appendOrder(new defend_order());
    ship->grab();
    ships_.push_back({ship, side});
  }

  void noteLosses() {
    for (Ship& ship : ships_)
      if (ship.lostAt < 0 && (!ship.object->isValid() || ship.object->getOwner() != sides_[ship.side]))
        ship.lostAt = steps_;
  }

  empire* sides_[2];
  int counts_[2];
  bool armed_;
  uint32_t firstUid_ = 0;
  std::vector<solarSystem*> systems_;  // held by the galaxy
  hull_list* layouts_[2] = {nullptr, nullptr};
  std::vector<Ship> ships_;
  int steps_ = 0;
  uint64_t graphicsCalls_ = 0;
  int busiestFrame_ = 0;
};

}  // namespace battletest
