// Movement gives the same galaxy however it is run: planets on their orbits,
// ships circling a moving station or their star in park orbits, and ships and
// stations chasing planets, stations and one another, each object reading
// its neighbours' places as they stand in the tick. Every system is moved by
// one thread in its children's order, so a single-threaded run repeated from
// scratch ends bit for bit as the first, and a run whose systems are shared
// among 4 workers ends as one whose systems the galaxy's tick moves alone.
//
// Nothing is destroyed meanwhile: an orbit that loses its body draws a
// random number to take over the body's path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "galaxy_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/system_threads.h"

namespace movement_determinism_test {

namespace {

using galaxytest::CountingSystem;

constexpr int kSystems = 40;
constexpr int kColumns = 8;
constexpr float kSpacing = 200.0f;  // systems of radius 80, 40 apart
constexpr int kSteps = 80;
constexpr double kStep = 1.0 / 16.0;  // exact in binary; one pass each

// Each system, in children order: its star, the stations, the planets, the
// parked ships and the chasers: 25 objects, 1,000 in all.
constexpr int kStations = 2;
constexpr int kPlanets = 6;
constexpr int kParked = 6;
constexpr int kChasers = 10;
constexpr int kPerSystem = 1 + kStations + kPlanets + kParked + kChasers;
static_assert(kSystems * kPerSystem == 1000, "a thousand objects");

constexpr double kStationMass = 5000.0;  // heavy enough to be parked at

enum class Role { Star, Station, Planet, Parked, Chaser };

struct Mode {
  bool singleThreaded;
  uint8_t workers;
};

// How one object ended: its position, velocity and rotation, bit for bit.
struct End {
  uint32_t bits[9];
  bool operator==(const End& other) const { return std::memcmp(bits, other.bits, sizeof bits) == 0; }
};

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::string describe(const End& end) {
  std::ostringstream out;
  out << std::hexfloat;
  for (int k = 0; k < 9; ++k) {
    float value;
    std::memcpy(&value, &end.bits[k], sizeof value);
    out << (k == 0 ? "position " : k == 3 ? " velocity " : k == 6 ? " rotation " : ",") << value;
  }
  return out.str();
}

struct Snapshot {
  std::vector<End> objects;  // by creation index
  // What the run went through, so that an idle run cannot pass.
  int parkedAtStations = 0;
  int parkedAtStars = 0;
  int chasersArrived = 0;  // within reach of their targets at the end
  int stationsMoved = 0;
  int beingPushed = 0;  // overlapping a neighbour that pushes them apart
  int outsideTheirSystems = 0;
  int invalid = 0;
  int nonFinite = 0;
};

class MovementDeterminismTest : public galaxytest::GalaxyTest {
 protected:
  TestObject* make(generic_object* system, int type, const vector3df& at, float radius, MoveHandler* mover) {
    auto* object = new TestObject(red, type);
    object->radius = radius;
    object->mover = mover;
    object->setContainer(system);
    object->position = at;  // in the system
    objects_.push_back(object);
    roles_.push_back(type == OT_Star ? Role::Star : type == OT_Planet ? Role::Planet : Role::Chaser);
    return object;
  }

  static MobileMover* mobile(float thrust) {
    auto* mover = new MobileMover();
    mover->thrust = thrust;
    return mover;
  }

  // One system's bodies and ships; `i` varies the layout from system to
  // system.
  void populate(generic_object* system, int i) {
    const float turn = 0.37f * static_cast<float>(i);
    make(system, OT_Star, vector3df(0, 0, 0), 8.0f, nullptr);

    // Stations come before the planets in the walk that picks a body to
    // park at, so that ships beside them circle them.
    std::vector<TestObject*> stations;
    for (int k = 0; k < kStations; ++k) {
      const float angle = turn + 3.1f * static_cast<float>(k);
      TestObject* station = make(system, OT_Hulled, vector3df(38.0f * std::cos(angle), 2.0f, 38.0f * std::sin(angle)),
                                 4.0f, mobile(static_cast<float>(kStationMass) * (1.5f + 0.5f * k)));
      station->setBaseMass(kStationMass);
      roles_.back() = Role::Station;
      stations.push_back(station);
    }

    std::vector<TestObject*> planets;
    for (int k = 0; k < kPlanets; ++k) {
      auto* orbit = new OrbitMover();
      orbit->setOrbit(14.0f + 7.0f * static_cast<float>(k), 1.0f, 10.0f,
                      0.13f * static_cast<float>((i + 3 * k) % 7), turn + 0.9f * static_cast<float>(k),
                      0.05f * static_cast<float>(k % 3), k % 2 == 0 ? 1.0f : 0.8f, 1.0f + static_cast<float>(k));
      TestObject* planet = make(system, OT_Planet, vector3df(), 2.0f, orbit);
      orbit->tick(0.0f, *planet);  // onto its path
      planets.push_back(planet);
    }

    // Two beside each station, two high above the plane (out of every
    // station's reach: they circle the star).
    std::vector<TestObject*> parked;
    for (int k = 0; k < kParked; ++k) {
      vector3df at;
      if (k < 2 * kStations) {
        const TestObject* station = stations[k / 2];
        at = station->position + vector3df(k % 2 == 0 ? 7.0f : -5.0f, 1.0f, k % 2 == 0 ? 3.0f : 6.0f);
      } else {
        at = vector3df(22.0f * std::cos(turn + k), 70.0f - 4.0f * k, 22.0f * std::sin(turn + k));
      }
      TestObject* ship = make(system, OT_Hulled, at, 1.0f, mobile(1.0f));
      roles_.back() = Role::Parked;
      MobileMover* mover = MobileMover::of(ship);
      mover->setParked(true);
      mover->startParkOrbit(*ship);
      parked.push_back(ship);
    }

    // Chasers after planets, stations, parked ships and one another, from a
    // ring about the star.
    std::vector<TestObject*> chasers;
    for (int k = 0; k < kChasers; ++k) {
      const float angle = turn + 0.628f * static_cast<float>(k);
      const float reach = 30.0f + 2.5f * static_cast<float>(k);
      chasers.push_back(make(system, OT_Hulled,
                             vector3df(reach * std::cos(angle), static_cast<float>(k % 3) - 1.0f,
                                       reach * std::sin(angle)),
                             1.0f, mobile(6.0f + static_cast<float>((i + k) % 5))));
    }
    for (int k = 0; k < kChasers; ++k) {
      generic_object* target = nullptr;
      switch (k % 5) {
        case 0: target = planets[(k + i) % kPlanets]; break;
        case 1: target = stations[(k / 5 + i) % kStations]; break;
        case 2: target = chasers[(k + 1) % kChasers]; break;
        case 3: target = parked[(k + i) % kParked]; break;
        default: target = planets[(k + 2 * i + 1) % kPlanets]; break;
      }
      MobileMover::of(chasers[k])->setTargetObject(target);
      targets_.push_back(target);
    }
    // The stations chase planets too, taking their ships along.
    for (int k = 0; k < kStations; ++k)
      MobileMover::of(stations[k])->setTargetObject(planets[(i + 2 * k) % kPlanets]);
  }

  // Builds the galaxy afresh, runs it in `mode` and tears it down.
  Snapshot run(const Mode& mode) {
    destroyGalaxy();
    objects_.clear();
    roles_.clear();
    targets_.clear();
    gameTime = 0.0;
    singleThreaded = mode.singleThreaded;
    galaxy = new objGalaxy();

    std::vector<CountingSystem*> systems = addSystems(kSystems);
    for (int i = 0; i < kSystems; ++i)
      systems[i]->position.set(kSpacing * static_cast<float>(i % kColumns), 0,
                               kSpacing * static_cast<float>(i / kColumns));
    createEnvironment(galaxy, false);
    for (int i = 0; i < kSystems; ++i)
      populate(systems[i], i);

    std::vector<vector3df> start;
    for (const TestObject* object : objects_)
      start.push_back(object->position);

    startSystemThreads(mode.workers);
    EXPECT_EQ(galaxy->threads.size(), mode.workers);
    for (int step = 0; step < kSteps; ++step) {
      if (!stepWorkers(kStep)) {
        ADD_FAILURE() << "the workers did not finish step " << step;
        break;
      }
      galaxy->tick(1.0f);
    }
    // Workers rest between passes; parked, they cannot be in a pass while
    // the objects are read.
    pauseSystemThreads();

    Snapshot snapshot;
    size_t chaser = 0;
    for (size_t n = 0; n < objects_.size(); ++n) {
      TestObject* object = objects_[n];
      End end;
      const vector3df* vectors[3] = {&object->position, &object->velocity, &object->rotation};
      for (int v = 0; v < 3; ++v) {
        end.bits[3 * v] = bitsOf(vectors[v]->X);
        end.bits[3 * v + 1] = bitsOf(vectors[v]->Y);
        end.bits[3 * v + 2] = bitsOf(vectors[v]->Z);
        if (!std::isfinite(vectors[v]->X) || !std::isfinite(vectors[v]->Y) || !std::isfinite(vectors[v]->Z))
          ++snapshot.nonFinite;
      }
      snapshot.objects.push_back(end);

      if (!object->isValid())
        ++snapshot.invalid;
      if (object->nearObject != nullptr)
        ++snapshot.beingPushed;
      if (object->container.load() != systems[n / kPerSystem])
        ++snapshot.outsideTheirSystems;
      const MobileMover* mover = MobileMover::of(object);
      switch (roles_[n]) {
        case Role::Parked:
          if (mover->getParkedOrbitBody() != nullptr)
            ++(mover->getParkedOrbitBody()->getType() == OT_Star ? snapshot.parkedAtStars
                                                                 : snapshot.parkedAtStations);
          break;
        case Role::Station:
          if ((object->position - start[n]).getLength() > 1.0f)
            ++snapshot.stationsMoved;
          break;
        case Role::Chaser: {
          const generic_object* target = targets_[chaser++];
          const float reach = object->radius + target->radius + 1.0f;
          if (mover->target == target && (object->position - target->position).getLength() < reach)
            ++snapshot.chasersArrived;
          break;
        }
        default:
          break;
      }
    }

    destroyGalaxy();
    objects_.clear();
    EXPECT_EQ(registeredObjectCount(), 0u) << "the run left objects alive";
    singleThreaded = false;
    return snapshot;
  }

  // The run went through what it is meant to: every object alive, in its
  // own system and at a finite place; every parked ship in orbit, some about
  // their moving stations and some about their stars; stations under way,
  // chasers at their targets and ships overlapping neighbours that push
  // them apart.
  static void expectEventful(const Snapshot& run) {
    EXPECT_EQ(run.invalid, 0);
    EXPECT_EQ(run.outsideTheirSystems, 0);
    EXPECT_EQ(run.nonFinite, 0);
    EXPECT_EQ(run.parkedAtStations, kSystems * 2 * kStations);
    EXPECT_EQ(run.parkedAtStars, kSystems * (kParked - 2 * kStations));
    EXPECT_EQ(run.stationsMoved, kSystems * kStations);
    EXPECT_GE(run.chasersArrived, kSystems / 2);
    EXPECT_GE(run.beingPushed, kSystems / 2);
  }

  // Reports the first few differences only: one broken run would otherwise
  // report every object.
  static void expectSame(const Snapshot& expected, const Snapshot& actual) {
    ASSERT_EQ(actual.objects.size(), expected.objects.size());
    int reported = 0;
    for (size_t n = 0; n < expected.objects.size() && reported < 5; ++n)
      if (!(actual.objects[n] == expected.objects[n])) {
        ADD_FAILURE() << "object " << n << " (system " << n / kPerSystem << ", index " << n % kPerSystem
                      << ")\n  expected: " << describe(expected.objects[n])
                      << "\n  actual:   " << describe(actual.objects[n]);
        ++reported;
      }
  }

  std::vector<TestObject*> objects_;
  std::vector<Role> roles_;
  std::vector<generic_object*> targets_;  // of the chasers, in creation order
};

TEST_F(MovementDeterminismTest, SingleThreadedRunsRepeatBitForBit) {
  const Snapshot first = run({true, 0});
  expectEventful(first);
  const Snapshot second = run({true, 0});
  expectSame(first, second);
}

TEST_F(MovementDeterminismTest, FourWorkersEndAsTheGalaxyTickAlone) {
  const Snapshot inline_ = run({false, 0});
  expectEventful(inline_);
  const Snapshot workers = run({false, 4});
  expectEventful(workers);
  expectSame(inline_, workers);
}

}  // namespace

}  // namespace movement_determinism_test
