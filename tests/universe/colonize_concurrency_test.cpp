// Colonising on four galaxy workers at once: each worker's system holds
// three colony ships of one empire and thirty empty planets, every planet
// the target of one colonising use-tool order. The orders mark and unmark
// the planets in the empire's colonisation sets from the four threads while
// the main thread reads the sets under their lock. Every planet ends
// settled once, by that empire, and out of both sets. Run under
// ThreadSanitizer for the races.
//
// The shipped "Colonize" effect runs the server script colony.as; this
// suite has no script engine, so a native effect registered here stands in
// for the script and does what it does (an empty planet passes to the
// firing ship's empire and gains the settlers).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/base/session_state.h"
#include "core/threads.h"
#include "design/effectors/effect_gfx.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/ships/ship.h"
#include "universe_fixture.h"
#include "worker_steps.h"

namespace colonize_concurrency_test {

namespace {

constexpr int kWorkers = 4;
constexpr int kShipsPerSystem = 3;
constexpr int kPlanetsPerSystem = 30;
constexpr double kStep = 1.0 / 8.0;
constexpr double kMaxSeconds = 600.0;
constexpr float kSettlers = 2.0f;

// How often each planet was settled, by UID; any worker.
std::mutex settledMutex;
std::map<uint32_t, int> settled;

// Stands in for colony.as: an empty planet passes to the empire of the
// ship that fired and gains the settlers; a held one is left alone.
void testColonize(EffectEvent* event, effect_data* values) {
  generic_object* target = event->target;
  generic_object* source = event->obj;
  if (target == nullptr || source == nullptr || target->getType() != OT_Planet)
    return;
  const empire* current = target->getOwner();
  empire* settlers = source->getOwner();
  if ((current != nullptr && current->isValid()) || settlers == nullptr || !settlers->isValid())
    return;
  target->setOwner(settlers);
  if (target->getOwner() != settlers)
    return;
  auto* planet = static_cast<objHabitation*>(target);
  const float pop = values->values[0];
  planet->maxPopulation = std::max(planet->maxPopulation, pop);
  planet->modPopulation(&settlers->rateRecord, pop);
  const std::lock_guard<std::mutex> guard(settledMutex);
  ++settled[target->uid];
}
const PlainFuncEntry kTestColonize{testColonize};
const RegisterPlainFunction registerTestColonize(L"TestColonize", &kTestColonize);

// The colonizer as shipped, with the stand-in behind its effect, and the
// parts of a colony ship: a hull giving "Control", an engine, a pod.
const char kEffects[] =
    "Name: Colonize\nValue: Pop\nOnActive: TestColonize\n\n"
    "Name: ShipControl\nValue: Amount\nOnActive: AddMax(Amount, \"Control\", 1)\n"
    "OnDeactive: SubMax(Amount, \"Control\")\n\n"
    "Name: Thrusters\nValue: Speed\nOnActive: IncSpeed(Speed)\nOnDeactive: DecSpeed(Speed)\n";
const char kEffectors[] =
    "Effector: Colonizer\nIsWeapon: true\nPhysicalType: Instant\nValue: Range\nValue: Pop\nRange: Range\n"
    "CanAttack: EmptyPlanet\nOnFire: Fire\nCauses: Colonize with Pop[Pop]\n";
const char kSubSystems[] =
    "System: Hull\nEquips To: Hull\nSize: 1\nDurability: 12\nProvides: ShipControl with Amount[1]\n\n"
    "System: Engine\nEquips To: Stage 4\nSize: 1\nDurability: 8\nProvides: Thrusters with Speed[60]\n\n"
    "System: Pod\nTags: Colonizer\nEquips To: Stage 3\nSize: 1\nDurability: 8\n"
    "Provides: Colonizer with Range[20], Pop[2]\n";

class ColonizeConcurrencyTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    registerSpaceEmpire();  // what the planets start with
    initThreadLocals();
    systemsPaused = false;
    clearEffGfxQueue();
    settled.clear();
    const std::filesystem::path folder = scratchDir();
    const struct {
      const char* file;
      const char* text;
    } files[] = {{"effects.txt", kEffects}, {"effectors.txt", kEffectors}, {"subsystems.txt", kSubSystems}};
    for (const auto& f : files)
      std::ofstream(folder / f.file, std::ios::binary) << f.text;
    LogCapture log;
    loadEffects((folder / "effects.txt").string().c_str());
    loadEffectors((folder / "effectors.txt").string().c_str());
    loadSubSystemDefs((folder / "subsystems.txt").string().c_str());
    const std::string loaded = log.take();
    EXPECT_EQ(loaded.find("rror"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("arning"), std::string::npos) << loaded;
  }

  void TearDown() override {
    if (galaxy != nullptr) {
      resumeSystemThreads();
      objGalaxy* ending = galaxy;
      galaxy = nullptr;
      ending->destroyNow(true);
    }
    clearEffGfxQueue();
    for (generic_object* object : held_)
      object->drop();
    if (layout_ != nullptr)
      layout_->drop();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    freeThreadLocals();
    systemsPaused = false;
    UniverseTest::TearDown();
  }

  static const SubSystemDef* part(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // Four systems far apart, each with its ships at the centre and its
  // planets on a ring; each ship is to settle every third planet, in turn.
  void build() {
    gameTime = 0.0;
    setObjectTestClock(0);
    layout_desc desc;
    desc.systems.push_back({part(L"Hull"), 1.0f, 0.0f, 0.0f, -1});
    desc.systems.push_back({part(L"Engine"), 1.0f, -1.0f, 0.0f, -1});
    desc.systems.push_back({part(L"Pod"), 1.0f, 1.0f, 0.0f, -1});
    layout_ = new hull_list(desc, red, true);
    layout_->name = L"Colony Ship";
    layout_->targeting.allowPlanetTargets = true;  // as the shipped colony ship: planets only
    layout_->targeting.allowShipTargets = false;

    galaxy = new objGalaxy();
    for (int s = 0; s < kWorkers; ++s) {
      auto* system = new solarSystem();
      system->position.set(5000.0f * static_cast<float>(s), 0.0f, 0.0f);
      system->radius = 1000.0f;
      system->radiusSquared = system->radius * system->radius;
      system->setContainer(galaxy);
      std::vector<objHulled*> ships;
      for (int k = 0; k < kShipsPerSystem; ++k) {
        auto* mover = new MobileMover();
        auto* ship = new objHulled(red, layout_, mover);
        ship->radius = 3.0f;
        ship->position.set(0.0f, 0.0f, 10.0f * static_cast<float>(k));
        ship->setContainer(system);
        system->toAbsolutePosition(mover->destination, ship->position);
        hold(ship);
        ships.push_back(ship);
      }
      for (int p = 0; p < kPlanetsPerSystem; ++p) {
        auto* planet = new objHabitation(getEmpireByID(kSpaceEmpireID), nullptr);
        planet->radius = 4.0f;
        const float angle = 2.0f * 3.14159265f * static_cast<float>(p) / kPlanetsPerSystem;
        const float ring = 120.0f + 8.0f * static_cast<float>(p % 5);
        planet->position.set(ring * std::cos(angle), 0.0f, ring * std::sin(angle));
        planet->setContainer(system);
        hold(planet);
        planets_.push_back(planet);
        uids_.insert(planet->uid);
        red->queueColonization(planet->uid);
        ships[static_cast<size_t>(p % kShipsPerSystem)]->ai->appendOrder(
            new use_tool_order(L"Colonizer", planet, ships[static_cast<size_t>(p % kShipsPerSystem)], false, false));
      }
      ships_.insert(ships.begin(), ships.end());
    }
    startSystemThreads(kWorkers);
  }

  void hold(generic_object* object) {
    object->grab();
    held_.push_back(object);
  }

  // The planets of the test still in each set, read under the sets' lock.
  struct SetSizes {
    size_t colonizing = 0;
    size_t queued = 0;
  };
  SetSizes readSets() const {
    SetSizes sizes;
    empire::AreaGuard guard;
    red->lockArea(guard, EA_ColonizationSets, false);
    for (uint32_t uid : red->colonizing)
      sizes.colonizing += uids_.count(uid);
    for (uint32_t uid : red->colonizeQueue)
      sizes.queued += uids_.count(uid);
    return sizes;
  }

  // Advances the game time one step and reads the sets while the workers
  // run their pass; false when a worker never finished one.
  bool stepReading() {
    if (!workersteps::waitForWorkersRunning())
      return false;
    std::vector<uint64_t> before;
    for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
      before.push_back(galaxy->threads[k]->passes.load());
    ++steps_;
    setObjectTestClock(static_cast<uint32_t>(static_cast<double>(steps_) * kStep * 1000.0 + 0.5));
    gameTime = gameTime + kStep;
    cutSystemThreadRests();
    const bool passed = workersteps::waitFor([&] {
      const SetSizes sizes = readSets();
      // Marks only ever leave: nothing is queued again, and no more than
      // the planets are being colonised.
      EXPECT_EQ(sizes.queued, 0u);
      EXPECT_LE(sizes.colonizing, uids_.size());
      for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
        if (galaxy->threads[k]->passes.load() <= before[k])
          return false;
      return true;
    });
    galaxy->tick(static_cast<float>(kStep));
    clearEffGfxQueue();  // as the frame loop sends them
    return passed;
  }

  hull_list* layout_ = nullptr;
  std::vector<generic_object*> held_;
  std::vector<objHabitation*> planets_;
  std::set<objHulled*> ships_;
  std::set<uint32_t> uids_;
  int steps_ = 0;
};

TEST_F(ColonizeConcurrencyTest, FourWorkersSettleEveryPlanetOnceAndClearTheSets) {
  build();
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  // The orders took every planet from the queue into the colonising set.
  SetSizes sizes = readSets();
  EXPECT_EQ(sizes.queued, 0u);
  EXPECT_EQ(sizes.colonizing, uids_.size());

  // Until every order has ended (its mark gone with it), then a second
  // more, in which nothing may change.
  const int maxSteps = static_cast<int>(kMaxSeconds / kStep);
  int stepsAfter = 8;
  while (steps_ < maxSteps && stepsAfter > 0) {
    ASSERT_TRUE(stepReading()) << "a worker stopped";
    if (readSets().colonizing == 0)
      --stepsAfter;
  }
  pauseSystemThreads();  // parked workers are not in a pass while the objects are read

  for (objHabitation* planet : planets_) {
    EXPECT_EQ(planet->getOwner(), red) << planet->uid;
    EXPECT_EQ(planet->population, kSettlers) << planet->uid;
  }
  {
    const std::lock_guard<std::mutex> guard(settledMutex);
    EXPECT_EQ(settled.size(), uids_.size());
    for (const auto& [uid, times] : settled)
      EXPECT_EQ(times, 1) << uid;
  }
  sizes = readSets();
  EXPECT_EQ(sizes.colonizing, 0u);
  EXPECT_EQ(sizes.queued, 0u);
  for (objHulled* ship : ships_)
    EXPECT_FALSE(ship->ai->hasOrderOfType(OrdT_Use_Tool));
  resumeSystemThreads();
}

}  // namespace

}  // namespace colonize_concurrency_test
