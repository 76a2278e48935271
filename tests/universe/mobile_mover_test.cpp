#include "universe/movement/mobile_mover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "core/post_load.h"
#include "support/save_bytes.h"
#include "movement_fixture.h"

namespace mobile_mover_test {

namespace {

using movementtest::expectNear;
using movementtest::le32;

constexpr float kTick = 0.05f;

struct Release {
  void operator()(MoveHandler* handler) const {
    if (handler != nullptr)
      handler->release();
  }
};
using HandlerPtr = std::unique_ptr<MoveHandler, Release>;

// Little-endian hex of a u32 and of a float, as records hold them.
std::string f32(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return le32(bits);
}

// Record pieces. A mobile record: kind 2, thrust, spare, maxAcceleration.
std::string mobileHead(float thrust = 1.0f) { return "02 00 " + f32(thrust) + " 00000000 " + f32(2.0f); }
const std::string kZeroVector = "00000000 00000000 00000000";
const std::string kPointMode = "01 " + kZeroVector + " " + kZeroVector;
// Orbit block: yaw 1, yAmplitude 2, zAmplitude 3, xAmplitude 4, period 10,
// orbitRadius 5, spinPerOrbit 0.5, yearPosition 0.25.
const std::string kBlock = "0000803F 00000040 00004040 00008040 00002041 0000A040 0000003F 0000803E";
std::string orbitOtherRecord(uint32_t orbited, bool active) {
  return "01 00 01 " + kBlock + " " + le32(orbited) + (active ? " 01 " : " 00 ") + kZeroVector;
}
const std::string kOrbitRecord = "01 00 00 " + kBlock + " 01 " + kZeroVector;


class MobileMoverTest : public movementtest::MadeObjectsTest {
 protected:
  // An object of `type` in `container` (none for null), destroyed at the end.
  TestObject* makeObject(generic_object* container, int type, const vector3df& position, float radius = 1.0f) {
    auto* object = new TestObject(red, type);
    object->radius = radius;
    if (container != nullptr)
      object->setContainer(container);
    object->position = position;  // in the container
    made_.push_back(object);
    return object;
  }

  // A ship with a mobile mover of `thrust`.
  TestObject* makeShip(generic_object* container, const vector3df& position, float radius = 1.0f,
                       float thrust = 1.0f) {
    TestObject* ship = makeObject(container, OT_Hulled, position, radius);
    auto* mover = new MobileMover();
    mover->thrust = thrust;
    ship->mover = mover;
    return ship;
  }

  static MobileMover& moverOf(generic_object* object) {
    MobileMover* mover = MobileMover::of(object);
    EXPECT_NE(mover, nullptr);
    return *mover;
  }

  // The handler read from `body` at `version`, and the bytes left unread.
  static HandlerPtr read(const std::string& body, int32_t version = SaveStream::kVersion,
                         uint64_t* remaining = nullptr) {
    const Bytes file = withHeader(hexBytes(body.c_str()), version);
    auto stream = readerOver(file);
    HandlerPtr handler(readMoveHandler(*stream));
    if (remaining != nullptr)
      *remaining = stream->remaining();
    return handler;
  }

  static Bytes written(MoveHandler& handler) {
    auto stream = SaveStream::createInMemory();
    handler.write(*stream);
    return writtenBody(*stream);
  }

 private:
};

// --- Motion ------------------------------------------------------------------------

TEST_F(MobileMoverTest, MoversComeFromTheirPool) {
  EXPECT_EQ(mobileMoverPool().elementSize(), sizeof(MobileMover));
}

TEST_F(MobileMoverTest, WithoutThrustTheSpeedFallsOneUnitPerSecond) {
  TestObject* ship = makeShip(nullptr, vector3df(0, 0, 0), 1.0f, 0.0f);
  ship->velocity = vector3df(6, 0, 8);
  MobileMover& mover = moverOf(ship);
  for (int i = 0; i < 199; ++i)
    mover.tick(kTick, *ship);
  EXPECT_GT(ship->velocity.getLength(), 0.0f) << "still moving a tick before 10 s";
  mover.tick(kTick, *ship);
  mover.tick(kTick, *ship);
  EXPECT_EQ(ship->velocity, vector3df(0, 0, 0)) << "at rest a tick after 10 s";
  EXPECT_NEAR(ship->position.getLength(), 50.0f, 0.2f) << "10 s slowing from 10 to 0";
  expectNear(ship->position.normalize(), vector3df(0.6f, 0, 0.8f));
}

TEST_F(MobileMoverTest, ReachesAPointAtRestWithinItsAcceleration) {
  solarSystem* system = makeSystem(vector3df(500, 0, 0));
  TestObject* ship = makeShip(system, vector3df(0, 0, 0), 0.0f, 1.0f);  // mass 1: a = 1
  MobileMover& mover = moverOf(ship);
  mover.setDestination(vector3df(560, 0, 80));  // absolute, 100 away
  const float topSpeed = std::sqrt(200.0f);
  for (int i = 0; i < 600; ++i) {
    const vector3df before = ship->velocity;
    mover.tick(kTick, *ship);
    ASSERT_LE((ship->velocity - before).getLength(), 1.0f * kTick * 1.0001f) << "tick " << i;
    ASSERT_LE(ship->velocity.getLength(), topSpeed * 1.0001f) << "tick " << i;
  }
  EXPECT_LT((ship->position - vector3df(60, 0, 80)).getLength(), 0.01f);
  EXPECT_LT(ship->velocity.getLength(), 1.0f * kTick);
}

TEST_F(MobileMoverTest, TheAccelerationCapHoldsBelowThrustOverMass) {
  // Thrust 4 on a mass of 1 would allow 4; the cap allows 0.5, in every way
  // the mover changes its velocity.
  constexpr float kCap = 0.5f;
  enum class Goal { Point, MovingTarget, Braking };
  struct Case {
    const char* name;
    Goal goal;
  };
  const Case cases[] = {
      {"accelerating towards a point", Goal::Point},
      {"leading a moving target", Goal::MovingTarget},
      {"braking at the goal", Goal::Braking},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    solarSystem* system = makeSystem();
    TestObject* ship = makeShip(system, vector3df(0, 0, 0), 1.0f, 4.0f);
    MobileMover& mover = moverOf(ship);
    mover.maxAcceleration = kCap;
    switch (c.goal) {
      case Goal::Point:
        mover.setDestination(vector3df(400, 0, 300));
        break;
      case Goal::MovingTarget: {
        TestObject* target = makeObject(system, OT_Hulled, vector3df(300, 0, 0));
        target->velocity = vector3df(0, 0, 2);
        mover.setTargetObject(target);
        break;
      }
      case Goal::Braking:
        ship->velocity = vector3df(3, 0, 0);
        mover.setDestination(vector3df(0, 0, 0));
        break;
    }
    float largest = 0.0f;  // the largest change of velocity in one step
    for (int i = 0; i < 40; ++i) {
      const vector3df before = ship->velocity;
      mover.tick(kTick, *ship);
      largest = std::max(largest, (ship->velocity - before).getLength());
    }
    EXPECT_LE(largest, kCap * kTick * 1.001f);
    EXPECT_GT(largest, kCap * kTick * 0.99f) << "the cap, not less, is used";
  }
}

TEST_F(MobileMoverTest, TargetsAreReachedAtTheirRadius) {
  struct Case {
    const char* name;
    int type;
    float targetRadius;
    float reach;  // centre to centre, with a mover of radius 2
  };
  const Case cases[] = {
      {"star system: 0.85 of its radius", OT_System, 80.0f, 0.85f * 80.0f + 2.0f},
      {"planet: its full radius", OT_Planet, 10.0f, 12.0f},
      {"ship: its full radius", OT_Hulled, 3.0f, 5.0f},
  };
  for (const Case& c : cases) {
    for (float beyond : {0.5f, -0.5f}) {
      SCOPED_TRACE(std::string(c.name) + (beyond > 0 ? ", outside" : ", inside"));
      TestObject* space = makeObject(nullptr, OT_Generic, vector3df(0, 0, 0));
      generic_object* target = nullptr;
      if (c.type == OT_System) {
        target = makeSystem();
        target->setContainer(space);
      } else {
        target = makeObject(space, c.type, vector3df(0, 0, 0));
      }
      target->radius = c.targetRadius;
      TestObject* ship = makeShip(space, vector3df(c.reach + beyond, 0, 0), 2.0f);
      MobileMover& mover = moverOf(ship);
      mover.setTargetObject(target);
      mover.tick(kTick, *ship);
      if (beyond > 0)
        EXPECT_LT(ship->velocity.X, 0.0f) << "heads for the target";
      else
        EXPECT_EQ(ship->velocity, vector3df(0, 0, 0)) << "arrived";
    }
  }
}

TEST_F(MobileMoverTest, ANewGoalEndsTheParkOrbitOnlyWithThrust) {
  struct Case {
    float thrust;
    bool staysInOrbit;
  };
  for (const Case& c : {Case{0.0f, true}, Case{0.0001f, false}, Case{1.0f, false}}) {
    SCOPED_TRACE(c.thrust);
    solarSystem* system = makeSystem();
    TestObject* planet = makeObject(system, OT_Planet, vector3df(0, 0, 0), 5.0f);
    TestObject* ship = makeShip(system, vector3df(20, 0, 0), 1.0f, c.thrust);
    MobileMover& mover = moverOf(ship);
    mover.orbitAround(*ship, planet);
    ASSERT_TRUE(mover.parkOrbitInUse());
    mover.setDestination(vector3df(300, 0, 0));
    EXPECT_EQ(mover.parkOrbitInUse(), c.staysInOrbit);
    EXPECT_TRUE(mover.parked);
    mover.tick(kTick, *ship);
    if (c.staysInOrbit) {
      EXPECT_EQ(mover.getParkedOrbitBody(), planet);
      EXPECT_NEAR((ship->position - planet->position).getLength(), 20.0f, 1e-3f);
    } else {
      EXPECT_EQ(mover.getParkedOrbitBody(), nullptr);
    }
  }
}

TEST_F(MobileMoverTest, TheTargetIsLedByTheInterceptTime) {
  TestObject* space = makeObject(nullptr, OT_Generic, vector3df(0, 0, 0));
  TestObject* target = makeObject(space, OT_Hulled, vector3df(100, 0, 0));
  target->velocity = vector3df(2, 0, 5);
  TestObject* ship = makeShip(space, vector3df(0, 0, 0));
  MobileMover& mover = moverOf(ship);
  mover.setTargetObject(target);
  mover.tick(kTick, *ship);
  EXPECT_GT(ship->velocity.Z, 0.0f) << "aims ahead of a target moving along z";

  target->velocity = vector3df(0, 0, 0);
  ship->position = vector3df(0, 0, 0);
  ship->velocity = vector3df(0, 0, 0);
  ship->acceleration = vector3df(0, 0, 0);
  mover.tick(kTick, *ship);
  EXPECT_EQ(ship->velocity.Z, 0.0f) << "a target at rest is aimed at where it is";
  EXPECT_GT(ship->velocity.X, 0.0f);
}

TEST_F(MobileMoverTest, ALostTargetStopsTheMoverWhereItIs) {
  solarSystem* system = makeSystem(vector3df(100, 0, 0));
  TestObject* ship = makeShip(system, vector3df(0, 0, 0));
  auto* target = new TestObject(red, OT_Hulled);
  target->setContainer(system);
  target->position = vector3df(50, 0, 0);
  MobileMover& mover = moverOf(ship);
  mover.setTargetObject(target);
  target->destroyNow(false);  // the mover keeps it until its next tick
  mover.tick(kTick, *ship);
  EXPECT_EQ(mover.target, nullptr);
  EXPECT_EQ(mover.destination, vector3df(100, 0, 0));
  EXPECT_EQ(ship->velocity, vector3df(0, 0, 0));
}

// --- Orbits ------------------------------------------------------------------------

TEST_F(MobileMoverTest, OrbitChainsAreShortWhenTheyEndWithoutTheObject) {
  solarSystem* system = makeSystem();
  TestObject* ship = makeShip(system, vector3df(0, 0, 0));
  TestObject* planet = makeObject(system, OT_Planet, vector3df(50, 0, 0));
  planet->mover = new OrbitMover();
  TestObject* loose = makeShip(system, vector3df(10, 0, 0));
  TestObject* rock = makeObject(system, OT_Oddity, vector3df(20, 0, 0));
  TestObject* circlingShip = makeShip(system, vector3df(0, 0, 5));
  moverOf(circlingShip).orbitAround(*circlingShip, ship);
  TestObject* circlingFree = makeShip(system, vector3df(10, 0, 5));
  moverOf(circlingFree).orbitAround(*circlingFree, loose);

  struct Case {
    const char* name;
    generic_object* body;
    bool accepted;
  };
  const Case cases[] = {
      {"a planet on an orbit mover", planet, false},
      {"a ship that circles nothing", loose, true},
      {"a body without a mover", rock, false},
      {"the object itself", ship, false},
      {"nothing", nullptr, true},
      {"a ship circling the object", circlingShip, false},
      {"a ship circling a free ship", circlingFree, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MobileMover::isOrbitChainShort(c.body, ship), c.accepted) << c.name;
}

TEST_F(MobileMoverTest, ParkingPicksABodyInReachOrAStar) {
  enum BodySetup { Free, CirclingStar };
  struct Case {
    const char* name;
    int type;
    double baseMass;
    float distance;
    BodySetup setup;
    int expected;  // 0, 1, 2: the stars; 3: the body
  };
  const Case cases[] = {
      {"a planet in reach that is accepted", OT_Planet, 1.0, 20.0f, Free, 3},
      {"a planet in reach that is refused: the last star before it", OT_Planet, 1.0, 20.0f, CirclingStar, 1},
      {"nothing in reach: the last star of the system", OT_Planet, 1.0, 200.0f, Free, 2},
      {"a heavy body counts as a planet", OT_Oddity, 2000.0, 20.0f, Free, 3},
      {"a light body is passed over", OT_Oddity, 500.0, 20.0f, Free, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    solarSystem* system = makeSystem();
    generic_object* stars[3];
    stars[0] = makeObject(system, OT_Star, vector3df(-500, 0, 0), 10.0f);
    stars[1] = makeObject(system, OT_Star, vector3df(0, 0, 500), 10.0f);
    TestObject* body = makeObject(system, c.type, vector3df(c.distance, 0, 0), 5.0f);
    body->baseMass = c.baseMass;
    auto* bodyMover = new MobileMover();
    body->mover = bodyMover;
    bodyMover->setParked(true);  // its park orbit has no centre object
    if (c.setup == CirclingStar)
      bodyMover->orbitAround(*body, stars[0]);
    stars[2] = makeObject(system, OT_Star, vector3df(0, 0, -500), 10.0f);
    TestObject* ship = makeShip(system, vector3df(0, 0, 0));

    MobileMover& mover = moverOf(ship);
    mover.setParked(true);
    mover.startParkOrbit(*ship);
    generic_object* expected = c.expected == 3 ? body : stars[c.expected];
    EXPECT_EQ(mover.getParkedOrbitBody(), expected);
    expectNear(ship->position, vector3df(0, 0, 0));  // no jump
    mover.tick(kTick, *ship);
    EXPECT_NEAR((ship->position - expected->position).getLength(),
                (vector3df(0, 0, 0) - expected->position).getLength(), 1e-2f)
        << "circles at its distance";
  }
}

TEST_F(MobileMoverTest, OrbitAroundNothingOnlyEndsTheOrbit) {
  solarSystem* system = makeSystem();
  TestObject* planet = makeObject(system, OT_Planet, vector3df(0, 0, 0), 5.0f);
  TestObject* ship = makeShip(system, vector3df(0, 3, 20));
  MobileMover& mover = moverOf(ship);
  mover.orbitAround(*ship, planet);
  EXPECT_TRUE(mover.parked);
  EXPECT_FLOAT_EQ(mover.parkOrbit->yAmplitude, 3.0f);
  EXPECT_FLOAT_EQ(mover.parkOrbit->yearPosition, 0.25f);
  mover.orbitAround(*ship, ship);
  EXPECT_FALSE(mover.parkOrbitInUse());
  EXPECT_TRUE(mover.parked) << "still parked";
  mover.orbitAround(*ship, planet);
  mover.orbitAround(*ship, nullptr);
  EXPECT_FALSE(mover.parkOrbitInUse());
}

TEST_F(MobileMoverTest, FacingTurnsOnlyBeyondADotProductOf0999) {
  struct Case {
    float yawDegrees;
    bool turns;
  };
  for (const Case& c : {Case{2.0f, false}, Case{-2.5f, false}, Case{10.0f, true}, Case{-40.0f, true}}) {
    SCOPED_TRACE(c.yawDegrees);
    TestObject* ship = makeShip(nullptr, vector3df(0, 0, 0), 10.0f);
    ship->rotation = vector3df(0, c.yawDegrees, 0);
    ship->localTime = 3.0;
    MobileMover& mover = moverOf(ship);
    mover.facingTime = 2.0;
    vector3df shown;
    mover.getFacing(shown, 0.5f, *ship);
    EXPECT_EQ(mover.facingTime, 3.0);
    if (c.turns) {
      EXPECT_NE(mover.facing.Y, 0.0f);
      EXPECT_GT(shown.Y * c.yawDegrees, 0.0f) << "turned towards the rotation";
      EXPECT_LT(std::fabs(shown.Y), std::fabs(c.yawDegrees)) << "but not all the way";
    } else {
      EXPECT_EQ(mover.facing.X, 0.0f);
      EXPECT_EQ(mover.facing.Y, 0.0f);
      EXPECT_EQ(mover.facing.Z, 0.0f);
      EXPECT_EQ(mover.facing.W, 1.0f);
      expectNear(shown, vector3df(0, 0, 0));
    }
  }
}

// --- Records -----------------------------------------------------------------------

TEST_F(MobileMoverTest, TheParkedByteComesWithVersion24) {
  struct Case {
    int32_t version;
    std::string body;
    bool parked;
    uint64_t remaining;
  };
  const Case cases[] = {
      {23, mobileHead() + kPointMode, false, 0},
      {23, mobileHead() + kPointMode + " 01", false, 1},
      {24, mobileHead() + kPointMode + " 00", false, 0},
      {24, mobileHead() + kPointMode + " 01 01 00 01 " + kBlock + " 00000000 01", true, 0},  // no centre yet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    uint64_t remaining = 99;
    HandlerPtr handler = read(c.body, c.version, &remaining);
    auto* mover = dynamic_cast<MobileMover*>(handler.get());
    ASSERT_NE(mover, nullptr);
    EXPECT_EQ(mover->parked, c.parked);
    EXPECT_EQ(remaining, c.remaining);
    if (c.parked) {
      ASSERT_NE(mover->parkOrbit, nullptr);
      EXPECT_TRUE(mover->parkOrbitInUse());
      EXPECT_FLOAT_EQ(mover->parkOrbit->period, 10.0f);
    }
  }
}

TEST_F(MobileMoverTest, DamagedRecordsAreErrors) {
  // Mobile records nested deeper than the reader follows.
  std::string deep;
  for (int i = 0; i < 6; ++i)
    deep += mobileHead() + kPointMode + " 01 ";
  deep += "00 00";
  struct Case {
    const char* name;
    std::string body;
    SaveFileError error;
  };
  const Case cases[] = {
      {"mode 0", mobileHead() + " 00 " + kZeroVector + " " + kZeroVector + " 00", {5, "Invalid mobile mover state"}},
      {"mode 4 alone", mobileHead() + " 04 00000000 " + kZeroVector + " 00", {5, "Invalid mobile mover state"}},
      {"short head", "02 00 0000803F", {4, "Unexpected EOF"}},
      {"short point", mobileHead() + " 01 " + kZeroVector, {4, "Unexpected EOF"}},
      {"short offset", mobileHead() + " 06 05000000 00000000", {4, "Unexpected EOF"}},
      {"no parked byte", mobileHead() + kPointMode, {4, "Unexpected EOF"}},
      {"parked without its orbit", mobileHead() + kPointMode + " 01", {4, "Unexpected EOF"}},
      {"parked in an orbit of type 2", mobileHead() + kPointMode + " 01 01 00 02", {5, "Invalid Orbit Type"}},
      {"nested too deep", deep, {5, "Invalid mobile mover state"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(saveErrorOf([&] { read(c.body); }), c.error);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u) << "no step names a mover that was not made";
  }
}

TEST_F(MobileMoverTest, ATargetLaterInTheTreeKeepsItsOffset) {
  const uint32_t uid = nextUid.load();
  HandlerPtr handler = read(mobileHead() + " 06 " + le32(uid) + " " + f32(1) + f32(-2) + f32(3) + " 00");
  auto* mover = dynamic_cast<MobileMover*>(handler.get());
  ASSERT_NE(mover, nullptr);
  EXPECT_EQ(mover->target, nullptr);
  TestObject* later = makeObject(nullptr, OT_Hulled, vector3df(0, 0, 0));
  ASSERT_EQ(later->uid, uid);
  runPostObjectTreeSteps();
  EXPECT_EQ(mover->target, later);
  EXPECT_TRUE(mover->hasOffset);
  EXPECT_EQ(mover->destination, vector3df(1, -2, 3));
}

TEST_F(MobileMoverTest, RecordsReadBackAsTheyWereWritten) {
  solarSystem* system = makeSystem();
  TestObject* planet = makeObject(system, OT_Planet, vector3df(0, 0, 0), 5.0f);
  struct Case {
    const char* name;
    std::function<void(TestObject& ship, MobileMover& mover)> setup;
    uint8_t mode;
  };
  const Case cases[] = {
      {"point",
       [](TestObject&, MobileMover& m) {
         m.setDestinationWithVelocity(vector3df(1, 2, 3), vector3df(4, 5, 6));
         m.spare = 7.0f;
         m.maxAcceleration = 3.0f;
       },
       1},
      {"target", [&](TestObject&, MobileMover& m) { m.setTargetObject(planet); }, 2},
      {"target with offset", [&](TestObject&, MobileMover& m) { m.setTargetWithOffset(planet, {1, -2, 3}); }, 6},
      {"parked", [](TestObject&, MobileMover& m) { m.setParked(true); }, 1},
      {"parked in orbit", [&](TestObject& s, MobileMover& m) { m.orbitAround(s, planet); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestObject* ship = makeShip(system, vector3df(20, 1, 5));
    c.setup(*ship, moverOf(ship));
    const Bytes first = written(*ship->mover);
    ASSERT_GT(first.size(), 14u);
    EXPECT_EQ(first[14], c.mode);
    HandlerPtr again = read(hexText(first));
    ASSERT_NE(again, nullptr);
    runPostObjectTreeSteps();
    EXPECT_EQ(hexText(written(*again)), hexText(first));
  }
}

TEST_F(MobileMoverTest, AParkedMoverAlwaysOwnsAParkOrbit) {
  TestObject* known = makeObject(nullptr, OT_Planet, vector3df(0, 0, 0));
  struct Case {
    const char* name;
    std::string nested;
  };
  const Case cases[] = {
      {"no handler", "00 00"},
      {"an unknown kind", "09 00"},
      {"an orbit about a fixed centre", kOrbitRecord},
      {"a mobile mover", mobileHead() + kPointMode + " 00"},
      {"a mobile mover in orbit of a known body",
       mobileHead() + " 02 " + le32(known->uid) + " 01 " + orbitOtherRecord(known->uid, true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t remaining = 99;
    HandlerPtr handler = read(mobileHead() + kPointMode + " 01 " + c.nested, SaveStream::kVersion, &remaining);
    EXPECT_EQ(remaining, 0u);
    auto* mover = dynamic_cast<MobileMover*>(handler.get());
    ASSERT_NE(mover, nullptr);
    EXPECT_TRUE(mover->parked);
    ASSERT_NE(mover->parkOrbit, nullptr);
    EXPECT_FALSE(mover->parkOrbit->active);
    EXPECT_EQ(mover->parkOrbit->orbited, nullptr);
    runPostObjectTreeSteps();
    EXPECT_EQ(known->refCount.load(), 1) << "what the dropped handler held is let go";
    const Bytes again = written(*mover);
    EXPECT_EQ(again.back(), 0x00) << "written with its new park orbit (inactive)";
  }
}

TEST_F(MobileMoverTest, ATargetMissingAfterLoadingStopsTheMoverWhereItIs) {
  const uint32_t missing = nextUid.load() + 1000;
  for (const std::string& goal : {" 02 " + le32(missing), " 06 " + le32(missing) + " " + f32(5) + f32(0) + f32(0)}) {
    SCOPED_TRACE(goal);
    solarSystem* system = makeSystem(vector3df(100, 0, 0));
    TestObject* ship = makeShip(system, vector3df(50, 0, 0));
    const std::string record = mobileHead() + goal + " 00";
    HandlerPtr handler = read(record);
    runPostObjectTreeSteps();
    ship->mover = handler.release();
    MobileMover& mover = moverOf(ship);
    EXPECT_EQ(hexText(written(mover)), hex(record.c_str())) << "kept as read until it moves";
    for (int i = 0; i < 20; ++i)
      mover.tick(kTick, *ship);
    EXPECT_EQ(ship->position, vector3df(50, 0, 0));
    EXPECT_EQ(ship->velocity, vector3df(0, 0, 0));
    EXPECT_EQ(mover.destination, vector3df(150, 0, 0));
    EXPECT_FALSE(mover.hasOffset);
  }
}

// --- Messages ----------------------------------------------------------------------

// The bytes of `value` most significant first.
void writeBigEndian(RakNet::BitStream& stream, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int shift = 24; shift >= 0; shift -= 8)
    stream.Write(static_cast<uint8_t>(bits >> shift));
}

Bytes bytesOf(const RakNet::BitStream& stream) {
  return Bytes(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
}

void fillOrbit(OrbitOtherMover& orbit) {
  orbit.yaw = 1.5f;
  orbit.yAmplitude = -0.0f;
  orbit.zAmplitude = 3.0f;
  orbit.xAmplitude = 4.25f;
  orbit.period = 1e-30f;
  orbit.orbitRadius = 6.0f;
  orbit.spinPerOrbit = -7.0f;
  orbit.yearPosition = 0.25f;
  orbit.yawSin = 0.1f;
  orbit.yawCos = -0.2f;
  orbit.centreOffset = vector3df(1.0f, -2.0f, 3.5f);
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST_F(MobileMoverTest, TheOrbitStartCarriesReversedBlocks) {
  TestObject* ship = makeObject(nullptr, OT_Hulled, vector3df(0, 0, 0));
  TestObject* body = makeObject(nullptr, OT_Planet, vector3df(0, 0, 0));
  OrbitOtherMover orbit;
  fillOrbit(orbit);
  orbit.setOrbited(body);
  RakNet::BitStream message;
  writeOrbitStartMessage(message, *ship, orbit);

  RakNet::BitStream expected;
  expected.Write(uint8_t{138});
  writeNetObjectRef(expected, ship);
  expected.Write(uint8_t{3});
  const float state[10] = {orbit.yawCos,      orbit.yawSin,      orbit.yearPosition, orbit.spinPerOrbit,
                           orbit.orbitRadius, orbit.period,      orbit.xAmplitude,   orbit.zAmplitude,
                           orbit.yAmplitude,  orbit.yaw};
  for (float value : state)
    writeBigEndian(expected, value);
  for (float value : {3.5f, -2.0f, 1.0f})
    writeBigEndian(expected, value);
  writeNetObjectRef(expected, body);
  EXPECT_EQ(hexText(bytesOf(message)), hexText(bytesOf(expected)));
  EXPECT_EQ(message.GetNumberOfBitsUsed(), expected.GetNumberOfBitsUsed());
}

TEST_F(MobileMoverTest, TheOrbitStateReadsBackBitExactly) {
  for (int leadingBits : {0, 1, 5}) {
    SCOPED_TRACE(leadingBits);
    OrbitOtherMover sent;
    fillOrbit(sent);
    RakNet::BitStream stream;
    for (int i = 0; i < leadingBits; ++i)
      stream.Write(true);
    writeOrbitState(stream, sent);
    EXPECT_EQ(stream.GetNumberOfBitsUsed(), static_cast<RakNet::BitSize>(leadingBits + 52 * 8));

    RakNet::BitStream wire(stream.GetData(), stream.GetNumberOfBytesUsed(), true);
    ASSERT_TRUE(wire.IgnoreBits(leadingBits));
    OrbitOtherMover got;
    got.active = false;
    ASSERT_TRUE(readOrbitState(wire, got));
    const float a[10] = {sent.yaw,         sent.yAmplitude,   sent.zAmplitude, sent.xAmplitude, sent.period,
                         sent.orbitRadius, sent.spinPerOrbit, sent.yearPosition, sent.yawSin,   sent.yawCos};
    const float b[10] = {got.yaw,         got.yAmplitude,   got.zAmplitude,  got.xAmplitude, got.period,
                         got.orbitRadius, got.spinPerOrbit, got.yearPosition, got.yawSin,    got.yawCos};
    for (int i = 0; i < 10; ++i)
      EXPECT_TRUE(sameBits(a[i], b[i])) << "float " << i;
    EXPECT_TRUE(sameBits(got.centreOffset.X, 1.0f) && sameBits(got.centreOffset.Y, -2.0f) &&
                sameBits(got.centreOffset.Z, 3.5f));
    EXPECT_FALSE(got.active) << "left alone";
  }

  OrbitOtherMover sent;
  fillOrbit(sent);
  RakNet::BitStream stream;
  writeOrbitState(stream, sent);
  RakNet::BitStream shortWire(stream.GetData(), stream.GetNumberOfBytesUsed() - 1, true);
  OrbitOtherMover got;
  EXPECT_FALSE(readOrbitState(shortWire, got));
  EXPECT_EQ(got.yaw, 0.0f) << "unchanged";
}

TEST_F(MobileMoverTest, OrbitChangesAreSentWhileHosting) {
  solarSystem* system = makeSystem();
  TestObject* planet = makeObject(system, OT_Planet, vector3df(0, 0, 0), 5.0f);
  TestObject* ship = makeShip(system, vector3df(20, 0, 0));
  MobileMover& mover = moverOf(ship);

  mover.orbitAround(*ship, planet);
  mover.orbitAround(*ship, nullptr);
  EXPECT_TRUE(sent.empty()) << "nothing without a hosted game";

  networkManager->isServer = true;
  mover.orbitAround(*ship, planet);
  ASSERT_EQ(sent.size(), 1u);
  RakNet::BitStream start;
  writeOrbitStartMessage(start, *ship, *mover.parkOrbit);
  EXPECT_EQ(hexText(sent[0].bytes), hexText(bytesOf(start)));
  EXPECT_EQ(sent[0].channel, 2);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);

  mover.orbitAround(*ship, nullptr);
  mover.orbitAround(*ship, nullptr);  // nothing to end a second time
  ASSERT_EQ(sent.size(), 2u);
  RakNet::BitStream end;
  end.Write(uint8_t{138});
  writeNetObjectRef(end, ship);
  end.Write(uint8_t{4});
  EXPECT_EQ(hexText(sent[1].bytes), hexText(bytesOf(end)));
  EXPECT_EQ(sent[1].channel, 2);
  networkManager->isServer = false;
}

TEST_F(MobileMoverTest, ParkRequestsCarryTheObjectAndOneBit) {
  solarSystem* system = makeSystem();
  TestObject* star = makeObject(system, OT_Star, vector3df(0, 0, 0), 5.0f);
  TestObject* ship = makeShip(system, vector3df(20, 0, 0));
  for (bool park : {true, false}) {
    SCOPED_TRACE(park);
    RakNet::BitStream request;
    writeParkRequest(request, ship, park);
    RakNet::BitStream expected;
    expected.Write(uint8_t{139});
    expected.Write(uint8_t{3});
    writeNetObjectRef(expected, ship);
    expected.Write(park);
    EXPECT_EQ(hexText(bytesOf(request)), hexText(bytesOf(expected)));
    EXPECT_EQ(request.GetNumberOfBitsUsed(), expected.GetNumberOfBitsUsed());

    RakNet::BitStream wire(request.GetData(), request.GetNumberOfBytesUsed(), true);
    uint8_t id = 0;
    ASSERT_TRUE(wire.Read(id));
    uint32_t uid = 0;
    bool flag = !park;
    ASSERT_TRUE(readParkRequest(wire, uid, flag));
    EXPECT_EQ(uid, ship->uid);
    EXPECT_EQ(flag, park);

    applyParkRequest(*ship, flag);
    EXPECT_EQ(moverOf(ship).parked, park);
    EXPECT_EQ(moverOf(ship).getParkedOrbitBody(), park ? star : nullptr);
  }
  RakNet::BitStream truncated;
  truncated.Write(uint8_t{3});
  uint32_t uid = 0;
  bool flag = false;
  EXPECT_FALSE(readParkRequest(truncated, uid, flag));
}

}  // namespace

}  // namespace mobile_mover_test
