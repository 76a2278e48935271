// The network movement mirror: sample interpolation, the mirrored orbit and
// the client readers of the orbit events.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe_fixture.h"

namespace fake_mobile_mover_test {

namespace {

const vector3df kOld(0.0f, 0.0f, 0.0f);
const vector3df kNew(10.0f, 20.0f, -40.0f);
const vector3df kOldTurn(0.0f, 30.0f, 0.0f);
const vector3df kNewTurn(0.0f, 60.0f, 0.0f);

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

void expectNear(const vector3df& actual, const vector3df& expected, float tolerance) {
  EXPECT_NEAR(actual.X, expected.X, tolerance);
  EXPECT_NEAR(actual.Y, expected.Y, tolerance);
  EXPECT_NEAR(actual.Z, expected.Z, tolerance);
}

bool isFinite(const vector3df& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

// The floats of an orbit's network state, `yaw` to `yawCos`.
constexpr std::size_t kStateFloats = 10;

// An orbit of radius 10 in the horizontal plane, once around in 4 seconds.
// Every float has its own value, so that a swapped pair shows.
const float kOrbitState[kStateFloats] = {
    0.0f, 0.0f, 10.0f, 10.0f, 4.0f, 10.0f, 0.5f, 0.0f, -0.0f, 1.0f,
};
const float kOddState[kStateFloats] = {
    0.75f, -1.5f, 1e-30f, 3.14159274f, 123.456f, -7.0e12f, 0.1f, 0.625f, 0.68163876f, 0.7316889f,
};

void fillOrbit(OrbitOtherMover& orbit, const float (&state)[kStateFloats]) { orbit.setStateFloats(state); }

}  // namespace

class FakeMobileMoverTest : public UniverseTest {
 protected:
  void TearDown() override {
    for (generic_object* object : objects)
      object->drop();
    UniverseTest::TearDown();
  }

  TestObject* object(const vector3df& position = vector3df()) {
    auto* made = new TestObject(red);
    made->position = position;
    objects.push_back(made);
    return made;
  }

  // An object moved by a mirror.
  TestObject* mirrored() {
    TestObject* made = object();
    made->mover = new FakeMobileMover;
    return made;
  }

  static FakeMobileMover& mirror(generic_object* owner) { return *FakeMobileMover::of(owner); }

  // Shows `owner` at its clock `time`.
  static void tickAt(generic_object* owner, double time) {
    owner->localTime = time;
    owner->mover->tick(0.0f, *owner);
  }

  // The mirror's object was shown at 1.0 at kOld (turned kOldTurn) and the
  // next sample puts it at kNew (turned kNewTurn) at 1.1.
  TestObject* betweenTwoSamples() {
    TestObject* ship = mirrored();
    mirror(ship).receiveUpdate(kOld, kOldTurn, 1.0);
    tickAt(ship, 1.0);
    mirror(ship).receiveUpdate(kNew, kNewTurn, 1.1);
    return ship;
  }

  std::vector<generic_object*> objects;
};

// --- Samples ---------------------------------------------------------------------

TEST_F(FakeMobileMoverTest, FirstUpdateShowsTheObjectThereAtOnce) {
  TestObject* ship = mirrored();
  mirror(ship).receiveUpdate(kNew, kNewTurn, 5.0);
  for (double time : {0.0, 5.0, 7.0}) {
    tickAt(ship, time);
    expectNear(ship->position, kNew, 1e-5f);
    expectNear(ship->rotation, kNewTurn, 1e-3f);
  }
}

TEST_F(FakeMobileMoverTest, PositionIsInterpolatedThenRunsOnAnEighthOfASecond) {
  struct Case {
    double time;
    double weight;  // of the newest sample
  } cases[] = {
      {0.9, 0.0},     // the clock lags behind the previous sample
      {1.0, 0.0},     //
      {1.05, 0.5},    // halfway
      {1.1, 1.0},     // the newest sample
      {1.2, 2.0},     // run on by the interpolation's own line
      {1.224, 2.24},  // still short of the cap
      {1.3, 2.25},    // capped at 0.125 s past the newest
      {9.0, 2.25},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    TestObject* ship = betweenTwoSamples();
    tickAt(ship, c.time);
    const float w = static_cast<float>(c.weight);
    expectNear(ship->position, kOld * (1.0f - w) + kNew * w, 1e-3f);
  }
  TestObject* ship = betweenTwoSamples();
  tickAt(ship, 1.1);
  EXPECT_EQ(ship->position, kNew) << "exactly the newest sample";
}

TEST_F(FakeMobileMoverTest, RotationStopsAtTheNewestSample) {
  struct Case {
    double time;
    float yaw;
  } cases[] = {
      {0.9, 30.0f}, {1.0, 30.0f}, {1.05, 45.0f}, {1.1, 60.0f}, {1.2, 60.0f}, {9.0, 60.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    TestObject* ship = betweenTwoSamples();
    tickAt(ship, c.time);
    expectNear(ship->rotation, vector3df(0.0f, c.yaw, 0.0f), 1e-3f);
  }
}

TEST_F(FakeMobileMoverTest, SamplesOfTheSameTimeShowTheNewest) {
  // Once with the object's present state as the previous sample, once
  // before any tick.
  for (bool ticked : {true, false}) {
    SCOPED_TRACE(ticked);
    TestObject* ship = mirrored();
    mirror(ship).receiveUpdate(kOld, kOldTurn, 2.0);
    if (ticked)
      tickAt(ship, 2.0);
    mirror(ship).receiveUpdate(kNew, kNewTurn, 2.0);
    for (double time : {1.9, 2.0, 2.1, 3.0}) {
      tickAt(ship, time);
      ASSERT_TRUE(isFinite(ship->position));
      ASSERT_TRUE(isFinite(ship->rotation));
      expectNear(ship->position, kNew, 1e-5f);
      expectNear(ship->rotation, kNewTurn, 1e-3f);
    }
  }
}

TEST_F(FakeMobileMoverTest, UpdateForAnObjectTakesTheGameTime) {
  TestObject* ship = mirrored();
  gameTime = 3.0;
  FakeMobileMover::receiveUpdateFor(*ship, kNew, kNewTurn);
  EXPECT_EQ(mirror(ship).latest.time, 3.0);
  EXPECT_EQ(mirror(ship).latest.position, kNew);

  TestObject* rock = object(kOld);  // no mirror: nothing happens
  FakeMobileMover::receiveUpdateFor(*rock, kNew, kNewTurn);
  EXPECT_EQ(rock->mover, nullptr);
}

TEST_F(FakeMobileMoverTest, PredictionAndFacingFollowTheSamplesAtTheGameTime) {
  TestObject* ship = betweenTwoSamples();
  gameTime = 1.05;
  vector3df out;
  expectNear(ship->mover->getDisplacement(out, 99.0f, *ship), (kNew - kOld) * 0.5f, 1e-3f);
  expectNear(ship->mover->getPredictedPosition(out, 99.0f, *ship), (kOld + kNew) * 0.5f, 1e-3f);
  expectNear(ship->mover->getFacing(out, 99.0f, *ship), vector3df(0.0f, 45.0f, 0.0f), 1e-3f);
}

// --- Local requests ----------------------------------------------------------------

TEST_F(FakeMobileMoverTest, DestinationsAreRecordedOnly) {
  TestObject* ship = betweenTwoSamples();
  TestObject* station = object();
  FakeMobileMover& m = mirror(ship);
  EXPECT_FALSE(m.hasDestination);

  m.setTargetObject(station);
  EXPECT_EQ(m.destinationTarget, station);
  EXPECT_EQ(station->refCount.load(), 2);
  EXPECT_TRUE(m.hasDestination);

  m.setDestinationWithVelocity(vector3df(1, 2, 3), vector3df(4, 5, 6));
  EXPECT_EQ(m.destination, vector3df(1, 2, 3));
  EXPECT_EQ(m.destinationTarget, nullptr);
  EXPECT_EQ(station->refCount.load(), 1);

  m.setTargetObject(station);
  m.setDestination(vector3df(7, 8, 9));
  EXPECT_EQ(m.destination, vector3df(7, 8, 9));
  EXPECT_EQ(station->refCount.load(), 1);

  m.setTargetObject(station);  // held until the mover goes
  tickAt(ship, 1.05);
  expectNear(ship->position, (kOld + kNew) * 0.5f, 1e-3f);
}

TEST_F(FakeMobileMoverTest, RecordReadsBackAsNoHandler) {
  TestObject* ship = mirrored();
  auto out = SaveStream::createInMemory();
  const std::size_t head = out->memoryBytes().size();
  ship->mover->write(*out);
  const std::vector<uint8_t> bytes = out->memoryBytes();
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + head, bytes.end()), (std::vector<uint8_t>{0, 0}));

  auto in = SaveStream::readFromMemory(bytes.data(), bytes.size());
  EXPECT_EQ(readMoveHandler(*in), nullptr);
  EXPECT_EQ(in->remaining(), 0u);
}

// --- Mirrored orbit ------------------------------------------------------------------

TEST_F(FakeMobileMoverTest, OrbitCirclesTheBodyUntilCleared) {
  TestObject* ship = betweenTwoSamples();
  TestObject* moon = object(vector3df(100.0f, 0.0f, 50.0f));
  const vector3df offset(0.0f, 5.0f, 0.0f);
  OrbitOtherMover state;
  fillOrbit(state, kOrbitState);
  mirror(ship).setState(state, offset, moon);
  EXPECT_EQ(moon->refCount.load(), 2);

  const vector3df centre = moon->position + offset;
  vector3df last = ship->position;
  for (int step = 1; step <= 4; ++step) {
    SCOPED_TRACE(step);
    ship->localTime += 1.0;
    ship->mover->tick(1.0f, *ship);
    EXPECT_NEAR((ship->position - centre).getLength(), 10.0f, 1e-3f);
    EXPECT_NEAR(ship->position.Y, centre.Y, 1e-3f);
    EXPECT_GT((ship->position - last).getLength(), 1.0f) << "moves round";
    last = ship->position;
  }
  EXPECT_NEAR(mirror(ship).parkOrbit->yearPosition, 1.0f, 1e-5f);

  mirror(ship).clearTarget();
  EXPECT_FALSE(mirror(ship).parkOrbit->active);
  EXPECT_EQ(mirror(ship).parkOrbit->orbited, nullptr);
  EXPECT_EQ(moon->refCount.load(), 1);
  mirror(ship).receiveUpdate(kNew, kNewTurn, ship->localTime + 0.1);
  tickAt(ship, ship->localTime + 0.1);
  expectNear(ship->position, kNew, 1e-4f);
}

TEST_F(FakeMobileMoverTest, ClearingWithoutAnOrbitChangesNothing) {
  TestObject* ship = betweenTwoSamples();
  mirror(ship).clearTarget();
  EXPECT_FALSE(mirror(ship).parkOrbit->active);
  tickAt(ship, 1.05);
  expectNear(ship->position, (kOld + kNew) * 0.5f, 1e-3f);
}

// --- Orbit events of the dock message --------------------------------------------------

class FakeMobileMoverMessageTest : public FakeMobileMoverTest {
 protected:
  // The fields after the sub-code byte, built by hand: the floats last
  // first, each big-endian. A leading bit keeps them off byte boundaries.
  static std::vector<uint8_t> orbitStartPacket(const float (&state)[kStateFloats],
                                               const vector3df& offset, uint32_t orbitedUid) {
    RakNet::BitStream stream;
    stream.Write1();
    for (int i = kStateFloats - 1; i >= 0; --i)
      stream.Write(bitsOf(state[i]));
    stream.Write(bitsOf(offset.Z));
    stream.Write(bitsOf(offset.Y));
    stream.Write(bitsOf(offset.X));
    writeNetUInt(stream, orbitedUid);
    return std::vector<uint8_t>(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
  }

  // Reads the leading bit, then hands the rest to the reader.
  static bool readStart(const std::vector<uint8_t>& packet, std::size_t bytes, generic_object* target) {
    RakNet::BitStream stream(packet.data(), bytes, false);
    bool lead = false;
    stream.Read(lead);
    return readMirrorOrbitStart(stream, target);
  }
};

TEST_F(FakeMobileMoverMessageTest, OrbitStartSetsTheStateBitForBit) {
  TestObject* ship = betweenTwoSamples();
  TestObject* moon = object();
  TestObject* oldMoon = object();
  OrbitOtherMover state;
  fillOrbit(state, kOrbitState);
  mirror(ship).setState(state, vector3df(), oldMoon);
  const vector3df offset(-1.25f, 2.5e-20f, 1e20f);
  const std::vector<uint8_t> packet = orbitStartPacket(kOddState, offset, moon->uid);

  ASSERT_TRUE(readStart(packet, packet.size(), ship));
  const OrbitOtherMover& orbit = *mirror(ship).parkOrbit;
  const float got[] = {orbit.yaw,         orbit.yAmplitude,   orbit.zAmplitude,   orbit.xAmplitude, orbit.period,
                       orbit.orbitRadius, orbit.spinPerOrbit, orbit.yearPosition, orbit.yawSin,     orbit.yawCos};
  for (std::size_t i = 0; i < kStateFloats; ++i)
    EXPECT_EQ(bitsOf(got[i]), bitsOf(kOddState[i])) << "float " << i;
  EXPECT_EQ(bitsOf(orbit.centreOffset.X), bitsOf(offset.X));
  EXPECT_EQ(bitsOf(orbit.centreOffset.Y), bitsOf(offset.Y));
  EXPECT_EQ(bitsOf(orbit.centreOffset.Z), bitsOf(offset.Z));
  EXPECT_TRUE(orbit.active);
  EXPECT_EQ(orbit.orbited, moon);
  EXPECT_EQ(moon->refCount.load(), 2);
  EXPECT_EQ(oldMoon->refCount.load(), 1) << "the previous body is let go";

  RakNet::BitStream end;
  EXPECT_TRUE(readMirrorOrbitEnd(end, ship));
  EXPECT_FALSE(orbit.active);
  EXPECT_EQ(orbit.orbited, nullptr);
  EXPECT_EQ(moon->refCount.load(), 1);
}

TEST_F(FakeMobileMoverMessageTest, UnknownBodyOrbitsTheContainerOrigin) {
  TestObject* ship = betweenTwoSamples();
  const std::vector<uint8_t> packet = orbitStartPacket(kOrbitState, vector3df(1, 2, 3), 0x7FFFFFF0u);
  ASSERT_TRUE(readStart(packet, packet.size(), ship));
  EXPECT_TRUE(mirror(ship).parkOrbit->active);
  EXPECT_EQ(mirror(ship).parkOrbit->orbited, nullptr);
}

TEST_F(FakeMobileMoverMessageTest, ShortPacketIsRefusedAndChangesNothing) {
  TestObject* ship = betweenTwoSamples();
  TestObject* moon = object();
  const std::vector<uint8_t> packet = orbitStartPacket(kOrbitState, vector3df(1, 2, 3), moon->uid);
  // Cut inside the orbit state, the offset and the reference.
  for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, std::size_t{20}, std::size_t{41}, std::size_t{50},
                            std::size_t{53}, packet.size() - 1}) {
    SCOPED_TRACE(bytes);
    EXPECT_FALSE(readStart(packet, bytes, ship));
    EXPECT_FALSE(mirror(ship).parkOrbit->active);
    EXPECT_EQ(moon->refCount.load(), 1);
  }
}

TEST_F(FakeMobileMoverMessageTest, ObjectsWithoutAMirrorAreLeftAlone) {
  TestObject* rock = object();
  const std::vector<uint8_t> packet = orbitStartPacket(kOrbitState, vector3df(), 0);
  for (generic_object* target : {static_cast<generic_object*>(rock), static_cast<generic_object*>(nullptr)}) {
    EXPECT_TRUE(readStart(packet, packet.size(), target));
    RakNet::BitStream end;
    EXPECT_TRUE(readMirrorOrbitEnd(end, target));
  }
  EXPECT_EQ(rock->mover, nullptr);
}

}  // namespace fake_mobile_mover_test
