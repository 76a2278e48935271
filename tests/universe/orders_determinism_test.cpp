// Ships working through their order queues give the same galaxy however it
// is run: in every system 25 ships fly move and goto orders among the
// planets of their own system while the planets travel their orbits. Each
// queue is run by the worker that owns the ship's system, so a run whose
// systems are shared among 4 workers finishes every order on the same tick
// and ends bit for bit as one whose systems the galaxy's tick moves alone,
// and as a repeat of itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "galaxy_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"

namespace orders_determinism_test {

namespace {

using galaxytest::CountingSystem;

constexpr int kSystems = 8;
constexpr float kSpacing = 300.0f;
constexpr int kPlanets = 4;
constexpr int kShips = 25;  // per system: 200 in all
constexpr int kOrdersPerShip = 3;
constexpr int kSteps = 192;
constexpr double kStep = 1.0 / 16.0;  // exact in binary; one pass each

// A ship's queue that notes the tick of its own on which each order left it.
// It is only ever touched by the thread that ticks the ship.
class RecordingAI : public UnitAI {
 public:
  explicit RecordingAI(generic_object* owner) : UnitAI(owner) {}
  void tick() override {
    const size_t before = orders.size();
    ++ticks;
    UnitAI::tick();
    for (size_t n = orders.size(); n < before; ++n)
      finishedAt.push_back(ticks);
  }
  int ticks = 0;
  std::vector<int> finishedAt;  // one entry per order finished
};

// How one ship ended: the ticks its orders finished on, its position and
// velocity bit for bit.
struct End {
  std::vector<int> finishedAt;
  uint32_t bits[6];
  int ticks = 0;
  bool operator==(const End& other) const {
    return finishedAt == other.finishedAt && ticks == other.ticks && std::memcmp(bits, other.bits, sizeof bits) == 0;
  }
};

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::string describe(const End& end) {
  std::ostringstream out;
  out << "ticks " << end.ticks << ", finished at";
  for (int tick : end.finishedAt)
    out << ' ' << tick;
  out << std::hexfloat;
  for (int k = 0; k < 6; ++k) {
    float value;
    std::memcpy(&value, &end.bits[k], sizeof value);
    out << (k == 0 ? ", position " : k == 3 ? " velocity " : ",") << value;
  }
  return out.str();
}

struct Snapshot {
  std::vector<End> ships;  // by creation index
  int allDone = 0;         // ships whose queues emptied
  int ordersFinished = 0;
  int nonFinite = 0;
  int invalid = 0;
};

class OrdersDeterminismTest : public galaxytest::GalaxyTest {
 protected:
  TestObject* make(generic_object* system, int type, const vector3df& at, float radius, MoveHandler* mover) {
    auto* object = new TestObject(red, type);
    object->radius = radius;
    object->mover = mover;
    object->setContainer(system);
    object->position = at;  // in the system
    return object;
  }

  void populate(CountingSystem* system, int i) {
    const float turn = 0.41f * static_cast<float>(i);
    make(system, OT_Star, vector3df(0, 0, 0), 6.0f, nullptr);

    std::vector<TestObject*> planets;
    for (int k = 0; k < kPlanets; ++k) {
      auto* orbit = new OrbitMover();
      orbit->setOrbit(16.0f + 8.0f * static_cast<float>(k), 0.2f, 10.0f, turn + 1.7f * static_cast<float>(k),
                      0.2f * static_cast<float>((i + k) % 3), 0.03f * static_cast<float>(k % 2), 1.0f,
                      1.0f + static_cast<float>(k));
      TestObject* planet = make(system, OT_Planet, vector3df(), 2.0f, orbit);
      orbit->tick(0.0f, *planet);  // onto its path
      planets.push_back(planet);
    }

    for (int k = 0; k < kShips; ++k) {
      const float angle = turn + 0.2513f * static_cast<float>(k);
      const float reach = 20.0f + 0.8f * static_cast<float>(k);
      auto* mover = new MobileMover();
      mover->thrust = 8.0f + static_cast<float>((i + k) % 5);
      TestObject* ship = make(system, OT_Hulled,
                              vector3df(reach * std::cos(angle), static_cast<float>(k % 3) - 1.0f,
                                        reach * std::sin(angle)),
                              1.0f, mover);

      // Three legs among the planets: gotos chase the planets, moves fly to
      // a fixed point beside where a planet stood when the orders were given.
      auto* ai = new RecordingAI(ship);
      for (int leg = 0; leg < kOrdersPerShip; ++leg) {
        TestObject* planet = planets[(k + i + 3 * leg) % kPlanets];
        if ((k + leg) % 2 == 0) {
          ai->appendOrder(new goto_order(planet, k % 4 != 0, 1.0f + 0.5f * static_cast<float>(leg)));
        } else {
          const vector3df beside = planet->getPosition() + vector3df(3.0f, 0.0f, -2.0f);
          ai->appendOrder(new move_order(beside, 1.5f));
        }
      }
      ship->setAI(ai);
      ai->drop();  // the ship holds it now
      ships_.push_back(ship);
      ais_.push_back(ai);
    }
  }

  // Builds the galaxy afresh, runs it with `workers` and tears it down.
  Snapshot run(bool singleThreadedRun, uint8_t workers) {
    destroyGalaxy();
    ships_.clear();
    ais_.clear();
    gameTime = 0.0;
    singleThreaded = singleThreadedRun;
    galaxy = new objGalaxy();

    std::vector<CountingSystem*> systems = addSystems(kSystems, kSpacing);
    createEnvironment(galaxy, false);
    for (int i = 0; i < kSystems; ++i)
      populate(systems[i], i);

    startSystemThreads(workers);
    EXPECT_EQ(galaxy->threads.size(), workers);
    for (int step = 0; step < kSteps; ++step) {
      if (!stepWorkers(kStep)) {
        ADD_FAILURE() << "the workers did not finish step " << step;
        break;
      }
      galaxy->tick(1.0f);
    }
    // Parked workers cannot be in a pass while the ships are read.
    pauseSystemThreads();

    Snapshot snapshot;
    for (size_t n = 0; n < ships_.size(); ++n) {
      const TestObject* ship = ships_[n];
      const RecordingAI* ai = ais_[n];
      End end;
      end.finishedAt = ai->finishedAt;
      end.ticks = ai->ticks;
      const vector3df* vectors[2] = {&ship->position, &ship->velocity};
      for (int v = 0; v < 2; ++v) {
        end.bits[3 * v] = bitsOf(vectors[v]->X);
        end.bits[3 * v + 1] = bitsOf(vectors[v]->Y);
        end.bits[3 * v + 2] = bitsOf(vectors[v]->Z);
        if (!std::isfinite(vectors[v]->X) || !std::isfinite(vectors[v]->Y) || !std::isfinite(vectors[v]->Z))
          ++snapshot.nonFinite;
      }
      if (!ship->isValid() || ship->ai != ai)
        ++snapshot.invalid;
      if (ai->getOrderCount() == 0)
        ++snapshot.allDone;
      snapshot.ordersFinished += static_cast<int>(ai->finishedAt.size());
      snapshot.ships.push_back(end);
    }

    destroyGalaxy();
    ships_.clear();
    ais_.clear();
    EXPECT_EQ(registeredObjectCount(), 0u) << "the run left objects alive";
    singleThreaded = false;
    return snapshot;
  }

  // Every ship ticked once a step, alive and at a finite place; most
  // finished their whole queue (a few are still chasing their last planet
  // at the end), so an idle run cannot pass.
  static void expectEventful(const Snapshot& run) {
    EXPECT_EQ(run.invalid, 0);
    EXPECT_EQ(run.nonFinite, 0);
    for (const End& end : run.ships)
      EXPECT_EQ(end.ticks, kSteps);
    EXPECT_GE(run.allDone, kSystems * kShips * 7 / 10);
    EXPECT_GE(run.ordersFinished, kSystems * kShips * kOrdersPerShip * 17 / 20);
  }

  // Reports the first few differences only.
  static void expectSame(const Snapshot& expected, const Snapshot& actual) {
    ASSERT_EQ(actual.ships.size(), expected.ships.size());
    int reported = 0;
    for (size_t n = 0; n < expected.ships.size() && reported < 5; ++n)
      if (!(actual.ships[n] == expected.ships[n])) {
        ADD_FAILURE() << "ship " << n << " (system " << n / kShips << ", index " << n % kShips
                      << ")\n  expected: " << describe(expected.ships[n])
                      << "\n  actual:   " << describe(actual.ships[n]);
        ++reported;
      }
  }

  std::vector<TestObject*> ships_;
  std::vector<RecordingAI*> ais_;  // held by their ships
};

TEST_F(OrdersDeterminismTest, SingleThreadedRunsRepeatBitForBit) {
  const Snapshot first = run(true, 0);
  expectEventful(first);
  const Snapshot second = run(true, 0);
  expectSame(first, second);
}

TEST_F(OrdersDeterminismTest, FourWorkersFinishEveryOrderOnTheSameTick) {
  const Snapshot inline_ = run(false, 0);
  expectEventful(inline_);
  const Snapshot workers = run(false, 4);
  expectEventful(workers);
  expectSame(inline_, workers);
}

}  // namespace

}  // namespace orders_determinism_test
