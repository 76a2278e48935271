// Colonise commands made, run and raced on four threads for 1,000 frames.
// Two star systems, each on its own galaxy worker, hold red's colony ships,
// a few combat ships and sixty empty planets, and a steward that sends a
// third of the ships present to the other system on every tick, ends the
// orders of a fifth, and lets blue settle one of its planets every 80th
// tick. A producer thread checks planets as the command's callers do and
// makes and queues colonise commands, whose construction searches red's
// objects and gives orders while the ships change systems; the main thread
// runs red's step, whose commands phase executes them (finding planets
// taken and taking their orders back). Every wait is bounded and a watchdog
// ends a run that stops moving. Run under ThreadSanitizer for the races and
// the lock order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "build_fixture.h"
#include "core/locks.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "empire/empire_commands.h"
#include "universe/objects/system_locks.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/unit_ai.h"

namespace empire_commands_concurrency_test {

namespace {

constexpr int kWorkers = 2;
constexpr int kFrames = 1000;
constexpr double kStep = 0.5;    // above the workers' 0.05 s: one pass each; 300 s is 600 frames
constexpr int kColonyShips = 6;  // per system at the start
constexpr int kCombatShips = 2;
constexpr int kPlanets = 60;       // per system; the steward gives away one in kTakeEvery ticks
constexpr size_t kTakeEvery = 80;  // a system ticks its objects a few times a pass
constexpr int kCommandsPerFrame = 2;
constexpr std::chrono::seconds kFrameLimit{60};  // far beyond a frame: threads wait for each other

// Runs on its system's worker: on each tick drops the orders of every fifth
// ship present and sends every third (turn by turn) to the other system,
// and every kTakeEvery ticks lets blue settle the next of its planets, as
// a settling ship's effect would.
class Steward : public TestObject {
 public:
  explicit Steward(empire* owner) : TestObject(owner) {}
  void tick(float seconds) override {
    TestObject::tick(seconds);
    if (!isValid())
      return;
    solarSystem* here = asSystemLock(container.load());
    for (size_t i = 0; i < ships.size(); ++i) {
      if (ships[i]->container.load() != here)
        continue;
      if ((ticks + i) % 5 == 0)
        ships[i]->ai->clearOrders(true);  // its orders end here: the commands only compare them
      if ((ticks + i) % 3 == 0) {
        ships[i]->setContainer(other);
        moves.fetch_add(1);
      }
    }
    if (ticks % kTakeEvery == kTakeEvery - 1 && taken < planets.size()) {
      objHabitation* planet = planets[taken++];
      planet->setOwner(taker);
      planet->maxPopulation = 2.0f;
      planet->modPopulation(&taker->rateRecord, 2.0f);  // settled: it stays taken
    }
    ++ticks;
  }

  // Set before the workers start, read only after.
  std::vector<generic_object*> ships;   // every ship of the test, held by it
  std::vector<objHabitation*> planets;  // this system's, held by it
  solarSystem* other = nullptr;
  empire* taker = nullptr;
  std::atomic<int> moves{0};
  size_t ticks = 0;
  size_t taken = 0;
};

class EmpireCommandsConcurrencyTest : public buildtest::BuildTest {
 protected:
  void TearDown() override {
    simulationRunning.store(false);
    BuildTest::TearDown();
  }
};

TEST_F(EmpireCommandsConcurrencyTest, CommandsSearchAndRunWhileShipsChangeSystems) {
  hull_list* colony = layoutOf(red, L"Settler", {L"Frame"});
  colony->role = HullRole_ColonyShip;
  hull_list* combat = layoutOf(red, L"Lancer", {L"Frame", L"Plate"});
  combat->role = HullRole_Combat;

  // Overlapping systems 3000 apart: a ship keeps its absolute position
  // when it changes systems, so it is inside either one.
  std::vector<solarSystem*> systems = systemsFromHere(2, 3000.0f);
  std::vector<Steward*> stewards;
  std::vector<generic_object*> ships;
  std::vector<objHabitation*> planets;
  for (size_t s = 0; s < systems.size(); ++s) {
    solarSystem* place = systems[s];
    place->radius = 8000.0f;
    place->radiusSquared = place->radius * place->radius;
    auto* steward = new Steward(red);
    steward->setContainer(place);
    steward->grab();
    steward->other = systems[1 - s];
    steward->taker = blue;
    stewards.push_back(steward);
    for (int k = 0; k < kColonyShips + kCombatShips; ++k) {
      objHulled* ship =
          shipOf(k < kColonyShips ? colony : combat, vector3df(0.0f, 0.0f, 40.0f * static_cast<float>(k)), place);
      ASSERT_NE(ship, nullptr);
      ship->grab();
      ships.push_back(ship);
    }
    for (int p = 0; p < kPlanets; ++p) {
      auto* planet = new objHabitation(space, nullptr);
      planet->radius = 10.0f;
      planet->position.set(200.0f + 20.0f * static_cast<float>(p), 0.0f, 300.0f);
      planet->setContainer(place);
      planet->grab();
      steward->planets.push_back(planet);
      planets.push_back(planet);
    }
  }
  for (Steward* steward : stewards)
    steward->ships = ships;

  gameTime = 0.0;
  simulationRunning.store(true);  // owners change through the empires' jobs, as in a game
  startSystemThreads(kWorkers);
  ASSERT_EQ(galaxy->threads.size(), static_cast<irr::u32>(kWorkers));
  ASSERT_TRUE(workersteps::waitForWorkersRunning());

  // The producer: the planets in turn, each checked under its system's lock
  // as the callers do, then a command made (with the lock released) and
  // queued; kCommandsPerFrame per frame of the main thread.
  std::atomic<int> frame{0};
  std::atomic<bool> stop{false};
  int made = 0;
  int withColonizer = 0;
  int refused = 0;
  bool producerHeldSystem = false;
  std::thread producer([&] {
    initThreadLocals();
    for (int n = 0; !stop.load() && frame.load() < kFrames;) {
      if (n >= (frame.load() + 1) * kCommandsPerFrame) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      objHabitation* planet = planets[static_cast<size_t>(n++) % planets.size()];
      solarSystem* place = asSystemLock(planet->container.load());
      lockSolarSystem(place);
      const empire* owner = planet->getOwner();
      const bool free = owner == nullptr || !owner->isValid();
      unlockSolarSystem(place);
      if (!free)
        continue;
      try {
        auto* command = new ColonizePlanetCommand(planet, red, n % 2 == 0);
        ++made;
        if (command->colonizer != nullptr)
          ++withColonizer;
        red->queueCommand(command);
      } catch (const EmpireCommandError&) {
        ++refused;  // taken between the check and the command
      }
    }
    producerHeldSystem = heldSolarSystem() != nullptr;
    freeThreadLocals();
  });

  {
    workersteps::Watchdog watchdog("EmpireCommandsConcurrency", kFrameLimit);
    for (int f = 0; f < kFrames; ++f) {
      std::vector<uint64_t> before;
      for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
        before.push_back(galaxy->threads[k]->passes.load());
      gameTime = gameTime + kStep;
      cutSystemThreadRests();
      red->tick(static_cast<float>(kStep));   // step 6 runs the commands, as the workers pass
      blue->tick(static_cast<float>(kStep));  // registers what blue took
      const bool passed = workersteps::waitFor([&] {
        for (irr::u32 k = 0; k < galaxy->threads.size(); ++k)
          if (galaxy->threads[k]->passes.load() <= before[k])
            return false;
        return true;
      });
      if (!passed) {
        stop.store(true);
        producer.join();
        FAIL() << "the workers did not finish frame " << f;
      }
      galaxy->tick(static_cast<float>(kStep));
      frame.store(f + 1);
      watchdog.progress();
    }
    producer.join();
  }
  pauseSystemThreads();
  EXPECT_EQ(heldSolarSystem(), nullptr);
  EXPECT_FALSE(producerHeldSystem);

  // Everything raced: ships moved, planets were taken, commands were made
  // and most found a ship.
  int moves = 0;
  size_t taken = 0;
  for (Steward* steward : stewards) {
    moves += steward->moves.load();
    taken += steward->taken;
  }
  EXPECT_GT(moves, kFrames * (kColonyShips + kCombatShips) / 2);
  EXPECT_GE(taken, static_cast<size_t>(kFrames) / kTakeEvery * systems.size());
  size_t blueOwns = 0;
  for (objHabitation* planet : planets)
    blueOwns += planet->getOwner() == blue ? 1 : 0;
  EXPECT_EQ(blueOwns, taken);
  EXPECT_GT(made, kFrames / 2);
  EXPECT_GT(withColonizer, kFrames / 10);
  EXPECT_LE(refused, kFrames);
  for (generic_object* ship : ships)
    EXPECT_TRUE(ship->container.load() == systems[0] || ship->container.load() == systems[1]);

  // Past every timeout, one more step ends every command still waiting.
  gameTime = gameTime + 301.0;
  red->tick(static_cast<float>(kStep));
  {
    ScopedReadLock guard(red->locks[EA_Commands]);
    EXPECT_TRUE(red->commands.empty());
  }
  simulationRunning.store(false);
  resumeSystemThreads();
  destroyGalaxy();
  for (generic_object* ship : ships)
    ship->drop();
  for (objHabitation* planet : planets)
    planet->drop();
  for (Steward* steward : stewards)
    steward->drop();
}

}  // namespace

}  // namespace empire_commands_concurrency_test
