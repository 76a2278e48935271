#include "universe/movement/orbit_movers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/post_load.h"
#include "support/save_bytes.h"
#include "universe_fixture.h"

namespace orbit_movers_test {

namespace {

constexpr float kHalfPi = 1.5707964f;

void expectNear(const vector3df& actual, const vector3df& expected, float tolerance = 1e-4f) {
  EXPECT_NEAR(actual.X, expected.X, tolerance);
  EXPECT_NEAR(actual.Y, expected.Y, tolerance);
  EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

bool isFinite(const vector3df& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

class OrbitMoverTest : public UniverseTest {
 protected:
  void TearDown() override {
    clearPostObjectTreeSteps();
    UniverseTest::TearDown();
  }

  // What a mover's record reads back as from `body` at `version`.
  static MoveHandler* readRecord(const Bytes& body, int32_t version = SaveStream::kVersion) {
    const Bytes file = withHeader(body, version);
    auto stream = readerOver(file);
    return readMoveHandler(*stream);
  }

  static Bytes written(MoveHandler& mover) {
    auto stream = SaveStream::createInMemory();
    mover.write(*stream);
    return writtenBody(*stream);
  }
};

// --- Geometry ----------------------------------------------------------------

TEST_F(OrbitMoverTest, SetOrbitShapesThePathFromTheDescription) {
  struct Case {
    const char* name;
    float radius, mass, massRadius, pitch, eccentricity;
    float xAmplitude, yAmplitude, zAmplitude, period;
  };
  // m = |radius (e/2 + 1/2)| / massRadius, period = 4 m sqrt(m) / mass.
  const Case cases[] = {
      {"eccentricity below 1 is inverted", 10, 2, 15, 0, 0.5f, 20, 0, 10, 2},
      {"eccentricity above 1 is the ratio", 10, 2, 15, 0, 2.0f, 20, 0, 10, 2},
      {"circle", 10, 1, 10, 0, 1.0f, 10, 0, 10, 4},
      {"eccentricity 0 counts as 1", 10, 1, 10, 0, 0.0f, 10, 0, 10, 4},
      {"pitched upright", 10, 1, 10, kHalfPi, 1.0f, 0, 10, 10, 4},
      {"larger orbit", 40, 1, 10, 0, 1.0f, 40, 0, 40, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OrbitMover orbit;
    orbit.setOrbit(c.radius, c.mass, c.massRadius, 0.3f, 0.7f, c.pitch, c.eccentricity, 5.0f);
    EXPECT_NEAR(orbit.xAmplitude, c.xAmplitude, 1e-5f);
    EXPECT_NEAR(orbit.yAmplitude, c.yAmplitude, 1e-5f);
    EXPECT_FLOAT_EQ(orbit.zAmplitude, c.zAmplitude);
    EXPECT_FLOAT_EQ(orbit.period, c.period);
    EXPECT_FLOAT_EQ(orbit.orbitRadius, c.radius);
    EXPECT_FLOAT_EQ(orbit.yearPosition, 0.3f);
    EXPECT_FLOAT_EQ(orbit.yaw, 0.7f);
    EXPECT_FLOAT_EQ(orbit.yawSin, std::sin(0.7f));
    EXPECT_FLOAT_EQ(orbit.yawCos, std::cos(0.7f));
    EXPECT_FLOAT_EQ(orbit.spinPerOrbit, 5.0f);
  }
}

TEST_F(OrbitMoverTest, EccentricityOneWithoutPitchIsAHorizontalCircle) {
  OrbitMover orbit;
  orbit.setOrbit(12, 1, 10, 0, 0.7f, 0, 1, 0);
  for (float theta : {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 4.5f, 6.0f}) {
    SCOPED_TRACE(theta);
    const vector3df offset = orbit.orbitOffset(theta);
    EXPECT_NEAR(offset.getLength(), 12.0f, 1e-4f);
    EXPECT_EQ(offset.Y, 0.0f);
  }
}

TEST_F(OrbitMoverTest, YawOfExactlyZeroLeavesTheOffsetUnturned) {
  struct Case {
    float yaw, yawSin, yawCos, theta;
    vector3df expected;
  };
  // xAmplitude 3, yAmplitude 1, zAmplitude 2; sine and cosine are stale on
  // purpose: only a yaw other than 0 uses them.
  const Case cases[] = {
      {0.0f, 1.0f, 0.0f, 0.0f, {3, 0, 0}},
      {0.0f, 1.0f, 0.0f, kHalfPi, {0, 1, 2}},
      {kHalfPi, 1.0f, 0.0f, 0.0f, {0, 0, 3}},
      {kHalfPi, 1.0f, 0.0f, kHalfPi, {-2, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "yaw " << c.yaw << " theta " << c.theta);
    OrbitMover orbit;
    orbit.xAmplitude = 3;
    orbit.yAmplitude = 1;
    orbit.zAmplitude = 2;
    orbit.yaw = c.yaw;
    orbit.yawSin = c.yawSin;
    orbit.yawCos = c.yawCos;
    expectNear(orbit.orbitOffset(c.theta), c.expected);
  }
}

TEST_F(OrbitMoverTest, ReseatRestartsThePathThroughThePoint) {
  struct Case {
    vector3df point;
    float xAmplitude, yAmplitude, zAmplitude, orbitRadius;
  };
  // The mover had amplitudes 5, 9, 5 and radius 5.
  const Case cases[] = {
      {{8, 0, 4}, 8.944272f, 9, 8.944272f, 8.944272f},
      {{8, 2, 4}, 8, 2, 4, 5},
  };
  for (const Case& c : cases) {
    OrbitOtherMover orbit;
    orbit.xAmplitude = orbit.zAmplitude = orbit.orbitRadius = 5;
    orbit.yAmplitude = 9;
    orbit.yearPosition = 0.6f;
    orbit.reseatAt(c.point);
    EXPECT_FLOAT_EQ(orbit.yaw, std::atan2(4.0f, 8.0f));
    EXPECT_FLOAT_EQ(orbit.yawSin, std::sin(orbit.yaw));
    EXPECT_FLOAT_EQ(orbit.yawCos, std::cos(orbit.yaw));
    EXPECT_EQ(orbit.yearPosition, 0.0f);
    EXPECT_FLOAT_EQ(orbit.xAmplitude, c.xAmplitude);
    EXPECT_FLOAT_EQ(orbit.yAmplitude, c.yAmplitude);
    EXPECT_FLOAT_EQ(orbit.zAmplitude, c.zAmplitude);
    EXPECT_FLOAT_EQ(orbit.orbitRadius, c.orbitRadius);
  }
}

// --- Ticks -------------------------------------------------------------------

TEST_F(OrbitMoverTest, TicksAdvanceTheYearAndTheSpin) {
  TestObject* planet = new TestObject(red, OT_Planet);
  auto* orbit = new OrbitMover();
  planet->mover = orbit;
  orbit->xAmplitude = orbit->zAmplitude = orbit->orbitRadius = 5;
  orbit->period = 10;
  orbit->spinPerOrbit = 2;
  orbit->centre = {100, 0, 0};

  // dt 0.25 of a period of 10: 0.025 of a year and 9 x spin degrees a tick.
  const float years[] = {0.025f, 0.05f, 0.075f, 0.1f};
  for (float year : years) {
    const vector3df before = planet->velocity;
    orbit->tick(0.25f, *planet);
    EXPECT_NEAR(orbit->yearPosition, year, 1e-6f);
    EXPECT_NEAR(planet->rotation.Y, year * 720.0f, 1e-3f);
    expectNear(planet->position, orbit->centre + orbit->orbitOffset(6.283185482f * year));
    const vector3df expectedVelocity =
        (orbit->orbitOffset(6.283185482f * year) - orbit->orbitOffset(6.283185482f * (year - 0.025f))) / 0.25f;
    expectNear(planet->velocity, expectedVelocity, 1e-3f);
    expectNear(planet->acceleration, (planet->velocity - before) / 0.25f, 1e-2f);
  }

  // Past the end of the year one year is taken off.
  orbit->yearPosition = 0.99f;
  orbit->tick(0.25f, *planet);
  EXPECT_NEAR(orbit->yearPosition, 0.015f, 1e-6f);

  // An inactive orbit does nothing.
  orbit->active = false;
  const vector3df place = planet->position;
  orbit->tick(0.25f, *planet);
  EXPECT_NEAR(orbit->yearPosition, 0.015f, 1e-6f);
  EXPECT_EQ(planet->position, place);
  planet->drop();
}

TEST_F(OrbitMoverTest, ATickOfZeroPlacesTheObjectAndLeavesItsMotion) {
  TestObject* planet = new TestObject(red, OT_Planet);
  OrbitMover orbit;
  orbit.xAmplitude = orbit.zAmplitude = 5;
  orbit.period = 10;
  orbit.spinPerOrbit = 1;
  orbit.yearPosition = 0.25f;
  orbit.centre = {1, 2, 3};
  planet->velocity = {9, 9, 9};
  planet->acceleration = {4, 4, 4};
  orbit.tick(0.0f, *planet);
  expectNear(planet->position, {1, 2, 8});
  EXPECT_EQ(planet->velocity, vector3df(9, 9, 9));
  EXPECT_EQ(planet->acceleration, vector3df(4, 4, 4));
  EXPECT_FLOAT_EQ(planet->rotation.Y, 90.0f);
  planet->drop();
}

TEST_F(OrbitMoverTest, PredictionsFollowTheOrbit) {
  TestObject* planet = new TestObject(red, OT_Planet);
  planet->position = {7, 7, 7};
  planet->rotation = {1, 2, 3};
  OrbitMover orbit;
  orbit.xAmplitude = orbit.zAmplitude = 5;
  orbit.period = 10;
  orbit.spinPerOrbit = 2;
  orbit.centre = {100, 0, 0};  // not part of the prediction
  vector3df out;
  expectNear(orbit.getPredictedPosition(out, 2.5f, *planet), {0, 0, 5});
  expectNear(orbit.getDisplacement(out, 2.5f, *planet), {-5, 0, 5});
  expectNear(orbit.getFacing(out, 2.5f, *planet), {1, 182, 3});

  orbit.active = false;
  EXPECT_EQ(orbit.getPredictedPosition(out, 2.5f, *planet), planet->position);
  EXPECT_EQ(orbit.getDisplacement(out, 2.5f, *planet), vector3df(0, 0, 0));
  EXPECT_EQ(orbit.getFacing(out, 2.5f, *planet), planet->rotation);
  planet->drop();
}

// A map script's orbit of radius 0, about a mass of radius 0 or of mass 0
// has no real period: it stands still, and nothing it gives is infinite.
TEST_F(OrbitMoverTest, AnOrbitWithoutARealPeriodStandsStill) {
  struct Case {
    const char* name;
    float radius, mass, massRadius;
  };
  const Case cases[] = {
      {"radius 0 (period 0)", 0, 1, 10},
      {"mass radius 0 (infinite period)", 10, 1, 0},
      {"mass 0 (infinite period)", 10, 0, 10},
      {"radius and mass radius 0 (no number)", 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestObject* planet = new TestObject(red, OT_Planet);
    auto* orbit = new OrbitOtherMover();
    planet->mover = orbit;
    orbit->setOrbit(c.radius, c.mass, c.massRadius, 0.3f, 0.5f, 0.2f, 1.5f, 4.0f);
    EXPECT_FALSE(orbit->hasPeriod());
    for (int i = 0; i < 3; ++i)
      orbit->tick(0.25f, *planet);
    EXPECT_EQ(orbit->yearPosition, 0.3f);
    EXPECT_TRUE(isFinite(planet->position));
    EXPECT_TRUE(isFinite(planet->velocity));
    EXPECT_TRUE(isFinite(planet->acceleration));
    EXPECT_TRUE(isFinite(planet->rotation));
    vector3df out;
    EXPECT_TRUE(isFinite(orbit->getDisplacement(out, 2.0f, *planet)));
    EXPECT_TRUE(isFinite(orbit->getPredictedPosition(out, 2.0f, *planet)));
    EXPECT_EQ(orbit->getFacing(out, 2.0f, *planet), planet->rotation);
    planet->drop();
  }
}

TEST_F(OrbitMoverTest, AnOrbitAboutABodyFollowsItInAnyContainer) {
  for (bool sameContainer : {true, false}) {
    SCOPED_TRACE(sameContainer ? "same container" : "other container");
    TestObject* here = new TestObject(red);
    TestObject* there = new TestObject(red);
    here->position = {1000, 0, 0};
    there->position = {0, 0, 2000};
    TestObject* body = new TestObject(red, OT_Planet);
    TestObject* ship = new TestObject(red, OT_Hulled);
    body->setContainer(sameContainer ? here : there);
    ship->setContainer(here);
    body->position = {10, 0, 0};
    ship->position = {3, 3, 3};
    auto* orbit = new OrbitOtherMover();
    ship->mover = orbit;
    orbit->setOrbited(body);
    orbit->xAmplitude = orbit->zAmplitude = 5;
    orbit->period = 10;
    orbit->centreOffset = {0, 1, 0};

    orbit->tick(2.5f, *ship);
    expectNear(ship->getPosition(), body->getPosition() + vector3df(0, 1, 5));
    expectNear(ship->velocity, vector3df(-5, 0, 5) / 2.5f);

    vector3df out;
    expectNear(orbit->getPredictedPosition(out, 2.5f, *ship), body->position + vector3df(-5, 0, 0));
    for (TestObject* object : {ship, body, here, there})
      object->destroyNow(false);
  }
}

// --- Body loss ---------------------------------------------------------------

TEST_F(OrbitMoverTest, ALostBodyWithAnOrbitHandsItOver) {
  struct Case {
    const char* name;
    float bodyRadius, ownPeriod;
    float spin;  // after the takeover; the mover had 3, the body a period of 20
  };
  const Case cases[] = {
      {"spin scaled by body period over own", 50, 10, 6},
      {"body orbit of radius 0 keeps the body's year", 0, 10, 6},
      {"own period 0 keeps the spin", 50, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestObject* body = new TestObject(red, OT_Planet);
    auto* bodyOrbit = new OrbitMover();
    body->mover = bodyOrbit;
    bodyOrbit->period = 20;
    bodyOrbit->orbitRadius = c.bodyRadius;
    bodyOrbit->xAmplitude = 60;
    bodyOrbit->yAmplitude = 1;
    bodyOrbit->zAmplitude = 50;
    bodyOrbit->setYaw(0.3f);
    bodyOrbit->yearPosition = 0.4f;
    bodyOrbit->spinPerOrbit = 7;

    TestObject* ship = new TestObject(red, OT_Hulled);
    auto* orbit = new OrbitOtherMover();
    ship->mover = orbit;
    orbit->setOrbited(body);
    EXPECT_EQ(body->refCount.load(), 2);
    orbit->period = c.ownPeriod;
    orbit->orbitRadius = 2;
    orbit->spinPerOrbit = 3;
    orbit->centreOffset = {0, 0, 1};

    body->clearFlag(FLAG_VALID);
    orbit->tick(0.5f, *ship);

    EXPECT_EQ(orbit->orbited, nullptr);
    EXPECT_EQ(body->refCount.load(), 1) << "the body is let go";
    EXPECT_FLOAT_EQ(orbit->spinPerOrbit, c.spin);
    // Within our radius of the body's last place along its path.
    const float spread = c.bodyRadius != 0 ? 2.0f / (c.bodyRadius * c.bodyRadius * 3.141592741f) : 0.0f;
    EXPECT_NEAR(orbit->yearPosition, 0.4f, spread + 1e-6f);
    EXPECT_EQ(orbit->period, 20.0f);
    EXPECT_EQ(orbit->orbitRadius, c.bodyRadius);
    EXPECT_EQ(orbit->xAmplitude, 60.0f);
    EXPECT_EQ(orbit->yAmplitude, 1.0f);
    EXPECT_EQ(orbit->zAmplitude, 50.0f);
    EXPECT_EQ(orbit->yaw, 0.3f);
    EXPECT_EQ(orbit->yawSin, bodyOrbit->yawSin);
    EXPECT_EQ(orbit->yawCos, bodyOrbit->yawCos);
    // On about the container's origin from then on.
    expectNear(ship->position, vector3df(0, 0, 1) + orbit->orbitOffset(orbit->angleAt()));
    EXPECT_FLOAT_EQ(ship->rotation.Y, orbit->yearPosition * 360.0f * c.spin);

    ship->drop();
    body->drop();
  }
}

TEST_F(OrbitMoverTest, ALostBodyWithoutAnOrbitReseatsThroughThePresentOffset) {
  TestObject* body = new TestObject(red, OT_Planet);
  body->position = {3, 0, 4};
  TestObject* ship = new TestObject(red, OT_Hulled);
  auto* orbit = new OrbitOtherMover();
  ship->mover = orbit;
  orbit->setOrbited(body);
  orbit->xAmplitude = orbit->zAmplitude = orbit->orbitRadius = 5;
  orbit->period = 10;
  orbit->spinPerOrbit = 1;
  orbit->yearPosition = 0.5f;  // offset (-5, 0, 0): the ship is at (-2, 0, 4)

  body->clearFlag(FLAG_VALID);
  orbit->tick(0.0f, *ship);
  EXPECT_EQ(orbit->orbited, nullptr);
  EXPECT_EQ(body->refCount.load(), 1);
  EXPECT_NEAR(orbit->yaw, std::atan2(4.0f, -2.0f), 1e-5f);
  EXPECT_NEAR(orbit->orbitRadius, std::sqrt(20.0f), 1e-5f);
  EXPECT_EQ(orbit->yearPosition, 0.0f);
  expectNear(ship->position, {-2, 0, 4});
  EXPECT_EQ(ship->rotation.Y, 0.0f);
  ship->drop();
  body->drop();
}

// --- Pools -------------------------------------------------------------------

template <class Mover>
void expectPooled(ObjectPool& pool) {
  EXPECT_EQ(pool.elementSize(), sizeof(Mover));
  std::vector<MoveHandler*> movers;
  for (unsigned i = 0; i <= kObjectPoolBlockElements; ++i)
    movers.push_back(new Mover());
  EXPECT_EQ(pool.blockCount(), 2u) << "one more than a block grows the pool";
  for (MoveHandler* mover : movers)
    mover->release();
  EXPECT_EQ(pool.blockCount(), 1u) << "every mover went back to the pool";
}

TEST_F(OrbitMoverTest, MoversComeFromTheirPools) {
  expectPooled<OrbitMover>(orbitMoverPool());
  expectPooled<OrbitOtherMover>(orbitOtherMoverPool());
}

// --- Records -----------------------------------------------------------------

// Orbit block: yaw 1, yAmplitude 2, zAmplitude 3, xAmplitude 4, period 10,
// orbitRadius 5, spinPerOrbit 0.5, yearPosition 0.25.
constexpr const char* kBlock = "0000803F 00000040 00004040 00008040 00002041 0000A040 0000003F 0000803E";

std::string record(const char* head, const char* tail) { return std::string(head) + " " + kBlock + " " + tail; }

TEST_F(OrbitMoverTest, TheKindPicksTheHandler) {
  struct Case {
    std::string bytes;
    int kind;  // of the handler read; 0 for none
    SaveFileError error;
  };
  const Case cases[] = {
      {"00 00", 0, {0, "no error"}},
      {"07 00", 0, {0, "no error"}},
      {record("01 00 00", "01 00000000 00000000 00000000"), 1, {0, "no error"}},
      {record("01 00 01", "00000000 01 00000000 00000000 00000000"), 1, {0, "no error"}},
      {"02 00 0000803F 00000000 00000040 01 000000000000000000000000 000000000000000000000000 00", 2,
       {0, "no error"}},
      {"01 00 02", 0, {5, "Invalid Orbit Type"}},
      {"01 00 FF", 0, {5, "Invalid Orbit Type"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    MoveHandler* mover = nullptr;
    EXPECT_EQ(saveErrorOf([&] { mover = readRecord(hexBytes(c.bytes.c_str())); }), c.error);
    EXPECT_EQ(mover != nullptr ? mover->getKind() : 0, c.kind);
    if (mover != nullptr)
      mover->release();
  }
}

TEST_F(OrbitMoverTest, RecordsFollowTheirVersion) {
  struct Case {
    int32_t version;
    std::string bytes;  // then EE, which is not read
    bool active;
    vector3df centre;
  };
  const Case cases[] = {
      {20, record("01 00 00", ""), true, {}},
      {21, record("01 00 00", "00"), false, {}},
      {34, record("01 00 00", "00"), false, {}},
      {35, record("01 00 00", "00 0000A040 0000C040 0000E040"), false, {5, 6, 7}},
      {19, record("01 00 01", "00000000"), true, {}},
      {20, record("01 00 01", "00000000 00"), false, {}},
      {34, record("01 00 01", "00000000 00"), false, {}},
      {35, record("01 00 01", "00000000 00 0000A040 0000C040 0000E040"), false, {5, 6, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "version " << c.version << ": " << c.bytes);
    const Bytes file = withHeader(hexBytes((c.bytes + " EE").c_str()), c.version);
    auto stream = readerOver(file);
    MoveHandler* mover = readMoveHandler(*stream);
    ASSERT_NE(mover, nullptr);
    EXPECT_EQ(stream->remaining(), 1u);
    auto* orbit = static_cast<OrbitMoverBase*>(mover);
    EXPECT_EQ(orbit->active, c.active);
    EXPECT_EQ(orbit->yaw, 1.0f);
    EXPECT_EQ(orbit->yawSin, std::sin(1.0f));
    EXPECT_EQ(orbit->yawCos, std::cos(1.0f));
    EXPECT_EQ(orbit->yAmplitude, 2.0f);
    EXPECT_EQ(orbit->zAmplitude, 3.0f);
    EXPECT_EQ(orbit->xAmplitude, 4.0f);
    EXPECT_EQ(orbit->period, 10.0f);
    EXPECT_EQ(orbit->orbitRadius, 5.0f);
    EXPECT_EQ(orbit->spinPerOrbit, 0.5f);
    EXPECT_EQ(orbit->yearPosition, 0.25f);
    if (auto* other = dynamic_cast<OrbitOtherMover*>(mover)) {
      EXPECT_EQ(other->centreOffset, c.centre);
      EXPECT_EQ(other->orbited, nullptr);
    } else {
      EXPECT_EQ(static_cast<OrbitMover*>(mover)->centre, c.centre);
    }
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u) << "orbited UID 0 queues no step";
    mover->release();
  }
}

TEST_F(OrbitMoverTest, RecordsWriteAndReadBackToTheSameBytes) {
  OrbitMover fixed;
  fixed.setYaw(1);
  fixed.yAmplitude = 2;
  fixed.zAmplitude = 3;
  fixed.xAmplitude = 4;
  fixed.period = 10;
  fixed.orbitRadius = 5;
  fixed.spinPerOrbit = 0.5f;
  fixed.yearPosition = 0.25f;
  fixed.centre = {5, 6, 7};
  OrbitOtherMover other;
  other.setYaw(1);
  other.yAmplitude = 2;
  other.zAmplitude = 3;
  other.xAmplitude = 4;
  other.period = 10;
  other.orbitRadius = 5;
  other.spinPerOrbit = 0.5f;
  other.yearPosition = 0.25f;
  other.active = false;
  other.centreOffset = {-1, 0, 1};

  struct Case {
    MoveHandler* mover;
    std::string bytes;
  };
  const Case cases[] = {
      {&fixed, record("01 00 00", "01 0000A040 0000C040 0000E040")},
      {&other, record("01 00 01", "00000000 00 000080BF 00000000 0000803F")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const Bytes first = written(*c.mover);
    EXPECT_EQ(hexText(first), hex(c.bytes.c_str()));
    MoveHandler* read = readRecord(first);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(hexText(written(*read)), hexText(first));
    read->release();
  }
}

TEST_F(OrbitMoverTest, TheOrbitedUidIsResolvedAfterTheObjectTree) {
  TestObject* body = new TestObject(red, OT_Planet);
  struct Case {
    const char* name;
    uint32_t uid;
    generic_object* found;
  };
  const Case cases[] = {
      {"a loaded object", body->uid, body},
      {"a UID no object has", body->uid + 1000, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = hexBytes(record("01 00 01", "").c_str());
    for (int i = 0; i < 4; ++i)
      bytes.push_back(static_cast<uint8_t>(c.uid >> (8 * i)));
    const Bytes tail = hexBytes("01 00000000 00000000 00000000");
    bytes.insert(bytes.end(), tail.begin(), tail.end());

    auto* orbit = static_cast<OrbitOtherMover*>(readRecord(bytes));
    ASSERT_NE(orbit, nullptr);
    EXPECT_EQ(orbit->orbited, nullptr) << "not before the steps run";
    EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
    runPostObjectTreeSteps();
    EXPECT_EQ(orbit->orbited, c.found);
    EXPECT_EQ(body->refCount.load(), c.found != nullptr ? 2 : 1);
    if (c.found != nullptr) {
      EXPECT_EQ(hexText(written(*orbit)), hexText(bytes));
    }
    orbit->release();
    EXPECT_EQ(body->refCount.load(), 1);
  }
  body->drop();
}

TEST_F(OrbitMoverTest, ACutRecordIsAnEndOfFileError) {
  const std::string records[] = {
      record("01 00 00", "01 0000A040 0000C040 0000E040"),
      record("01 00 01", "07000000 01 0000A040 0000C040 0000E040"),
  };
  for (const std::string& text : records) {
    const Bytes full = hexBytes(text.c_str());
    for (size_t length = 0; length < full.size(); ++length) {
      SCOPED_TRACE(testing::Message() << text << " cut to " << length);
      const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
      EXPECT_EQ(saveErrorOf([&] { readRecord(cut); }), (SaveFileError{4, "Unexpected EOF"}));
      EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
    }
  }
}

}  // namespace

}  // namespace orbit_movers_test
