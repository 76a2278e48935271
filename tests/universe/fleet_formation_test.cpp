#include "universe/orders/fleet_formation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "movement_fixture.h"
#include "universe/movement/mobile_mover.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/unit_ai.h"

namespace fleet_formation_test {

namespace {

using movementtest::expectNear;

// A member without a mobile mover: records the point-and-velocity goal it
// is given.
class GoalRecorder : public TestObject {
 public:
  explicit GoalRecorder(empire* objectOwner) : TestObject(objectOwner) {}
  void setDestination(const vector3df& point, vector3df frameVelocity) override {
    goals.push_back({point, frameVelocity});
  }
  struct Goal {
    vector3df point;
    vector3df velocity;
  };
  std::vector<Goal> goals;
};

// A fleet whose commander stands at (100, 0, 0) with radius 1: its first
// place call turns the heading to +x, so with spacing 10 a = (0, 0, 10) and
// u = (0, -10, 0). Members fly mobile movers; the place a formation gives
// is read back from the member's mover (target and offset).
class FleetFormationTest : public movementtest::MadeObjectsTest {
 protected:
  void SetUp() override {
    MadeObjectsTest::SetUp();
    commander = makeShip(vector3df(100, 0, 0));
    auto* prior = new UnitAI(commander, false);
    commander->setAI(prior);
    prior->release();  // the commander holds it
    fleet = new FleetAI(prior);
    fleet->commander = commander;
    member = makeShip(vector3df(90, 0, 0));
  }

  void TearDown() override {
    fleet->release();
    MadeObjectsTest::TearDown();
  }

  TestObject* makeShip(const vector3df& position) {
    auto* ship = new TestObject(red, OT_Hulled);
    ship->position = position;
    ship->mover = new MobileMover();
    made_.push_back(ship);
    return ship;
  }

  // A formation of `type` with `count` members and spacing 10.
  static std::unique_ptr<fleet_formation> make(int type, uint32_t count) {
    std::unique_ptr<fleet_formation> formation(createFormation(type));
    formation->setMemberCount(count);
    formation->setSpacing(1.0f);
    return formation;
  }

  // The offset the formation gives `member` for `index`; fails when the
  // member gets no place.
  vector3df place(fleet_formation& formation, uint32_t index) {
    MobileMover& mover = *MobileMover::of(member);
    mover.setTargetObject(nullptr);
    mover.destination = vector3df(-1, -1, -1);
    formation.getMemberPosition(member, index, fleet);
    EXPECT_EQ(mover.target, commander) << "index " << index;
    EXPECT_TRUE(mover.hasOffset) << "index " << index;
    return mover.destination;
  }

  bool gotPlace(generic_object* object, fleet_formation& formation, uint32_t index) {
    MobileMover& mover = *MobileMover::of(object);
    mover.setTargetObject(nullptr);
    formation.getMemberPosition(object, index, fleet);
    return mover.target != nullptr || mover.hasOffset;
  }

  TestObject* commander = nullptr;
  TestObject* member = nullptr;
  FleetAI* fleet = nullptr;
};

TEST_F(FleetFormationTest, FactoryGivesEachTypeAndWallOtherwise) {
  const std::vector<std::pair<int, int>> cases = {{0, FT_Wall}, {1, FT_Box},    {2, FT_Escort}, {3, FT_Wedge},
                                                  {4, FT_Wall}, {255, FT_Wall}, {-1, FT_Wall}};
  for (const auto& [type, expected] : cases) {
    std::unique_ptr<fleet_formation> formation(createFormation(type));
    EXPECT_EQ(formation->getType(), expected) << "type " << type;
  }
  wall_formation wall;
  EXPECT_EQ(wall.factor, 4.0f);
  EXPECT_EQ(wall.spacing, 4.0f);
  EXPECT_EQ(wall.width, 1u);
  EXPECT_FALSE(wall.ready);
}

TEST_F(FleetFormationTest, MemberCountSetsTheShape) {
  auto wall = make(FT_Wall, 3);
  EXPECT_EQ(static_cast<wall_formation&>(*wall).width, 2u);

  struct BoxCase {
    uint32_t count;
    uint32_t side;
  };
  for (const BoxCase& c :
       std::vector<BoxCase>{{0, 1}, {1, 2}, {7, 2}, {8, 3}, {26, 3}, {27, 4}, {63, 4}, {124, 5}, {215, 6}}) {
    box_formation box;
    box.setMemberCount(c.count);
    EXPECT_EQ(box.side, c.side) << c.count << " members";
  }

  struct EscortCase {
    uint32_t count;
    uint32_t side;
    uint32_t perRing;
    uint32_t angleStep;
  };
  for (const EscortCase& c : std::vector<EscortCase>{
           {12, 1, 12, 30}, {7, 1, 7, 52}, {30, 1, 30, 12}, {31, 2, 18, 30}, {100, 2, 18, 30}, {121, 3, 18, 30}}) {
    escort_formation escort;
    escort.setMemberCount(c.count);
    EXPECT_EQ(escort.side, c.side) << c.count << " members";
    EXPECT_EQ(escort.membersPerRing, c.perRing) << c.count << " members";
    EXPECT_EQ(escort.angleStep, c.angleStep) << c.count << " members";
  }
}

TEST_F(FleetFormationTest, PlacesOfEachFormation) {
  struct Case {
    const char* name;
    int type;
    uint32_t count;
    std::vector<std::pair<uint32_t, vector3df>> places;  // in call order
  };
  const std::vector<Case> cases = {
      {"wall", FT_Wall, 3, {{0, {0, 0, 10}}, {1, {-10, 0, 0}}, {2, {-10, 0, 10}}}},
      {"box", FT_Box, 7, {{0, {0, 0, -10}}, {1, {-10, 0, 0}}, {3, {0, -10, 0}}}},
      {"escort, one ring", FT_Escort, 12, {{0, {1, 0, 15}}, {3, {-14, 0, 0}}, {6, {1, 0, -15}}}},
      {"escort, two layers", FT_Escort, 31, {{0, {1, 0, 15}}, {12, {1, 0, 15}}, {18, {1, 0, 30}}, {36, {1, -10, 15}}}},
      {"wedge",
       FT_Wedge,
       10,
       {{0, {-10, 0, 0}},
        {1, {-10, 0, -10}},
        {2, {-10, 0, 10}},
        {3, {-10, 10, 0}},
        {4, {-10, 10, -10}},
        {5, {-10, 10, 10}},
        {6, {-10, -10, 0}},
        {7, {-10, -10, -10}},
        {8, {-10, -10, 10}},
        {9, {-20, 0, 0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto formation = make(c.type, c.count);
    for (const auto& [index, expected] : c.places) {
      SCOPED_TRACE("index " + std::to_string(index));
      expectNear(place(*formation, index), expected);
    }
  }
}

TEST_F(FleetFormationTest, EscortRingIsCentredOneUnitAhead) {
  auto escort = make(FT_Escort, 12);
  for (uint32_t index = 0; index < 12; ++index)
    EXPECT_NEAR(place(*escort, index).getDistanceFrom(vector3df(1, 0, 0)), 15.0f, 1e-4f) << "index " << index;
}

TEST_F(FleetFormationTest, WedgeFollowsTheOrderOfCalls) {
  auto wedge = make(FT_Wedge, 0);
  for (uint32_t index = 0; index < 9; ++index)
    place(*wedge, index);
  expectNear(place(*wedge, 3), vector3df(-20, 0, 0));  // the tenth call, whatever its index
  expectNear(place(*wedge, 0), vector3df(-10, 0, 0));  // index 0 restarts
  expectNear(place(*wedge, 0), vector3df(-10, 0, 0));
}

TEST_F(FleetFormationTest, SpacingNeverBelowTen) {
  struct Case {
    int type;
    float scale;
    float spacing;
  };
  for (const Case& c : std::vector<Case>{{FT_Wall, 0.0f, 10},
                                         {FT_Wall, 2.0f, 10},
                                         {FT_Wall, 3.0f, 12},
                                         {FT_Wall, -5.0f, 10},
                                         {FT_Box, 3.0f, 15},
                                         {FT_Box, 0.5f, 10}}) {
    auto formation = make(c.type, 3);
    formation->setSpacing(c.scale);
    // The first member stands one spacing to the side (wall: +a, box: -a).
    float z = place(*formation, 0).Z;
    EXPECT_FLOAT_EQ(std::abs(z), c.spacing) << "type " << c.type << " scale " << c.scale;
  }
  wedge_formation wedge;
  wedge.setSpacing(1.0f);
  EXPECT_EQ(wedge.spacing, 10.0f);
  wedge.setSpacing(3.0f);
  EXPECT_EQ(wedge.spacing, 15.0f);
  escort_formation escort;
  escort.setSpacing(0.0f);
  EXPECT_EQ(escort.spacing, 10.0f);
}

TEST_F(FleetFormationTest, HeadingTurnsOnlyOnceTheCommanderMovedMoreThanItsRadius) {
  auto wall = make(FT_Wall, 3);
  // Index 1 stands one spacing behind the commander: -s f.
  expectNear(place(*wall, 1), vector3df(-10, 0, 0));
  commander->position = vector3df(100, 0.9f, 0);
  expectNear(place(*wall, 1), vector3df(-10, 0, 0));
  // 1.8 from where the heading last turned, though only 0.9 from the last call.
  commander->position = vector3df(100, 1.8f, 0);
  expectNear(place(*wall, 1), vector3df(0, -10, 0));
  auto& fields = static_cast<wall_formation&>(*wall);
  expectNear(fields.lastCommanderPosition, vector3df(100, 1.8f, 0));
  expectNear(fields.heading, vector3df(0, 1, 0));
}

TEST_F(FleetFormationTest, NoPlaceForTheCommanderNorWithoutCountOrCommander) {
  for (int type : {FT_Wall, FT_Box, FT_Escort, FT_Wedge}) {
    SCOPED_TRACE("type " + std::to_string(type));
    auto formation = make(type, 5);
    EXPECT_FALSE(gotPlace(commander, *formation, 0));
    EXPECT_TRUE(gotPlace(member, *formation, 0));

    fleet->commander = nullptr;
    EXPECT_FALSE(gotPlace(member, *formation, 0));
    fleet->commander = commander;

    // No member count given yet: only the wedge, which needs none, places.
    std::unique_ptr<fleet_formation> fresh(createFormation(type));
    EXPECT_EQ(gotPlace(member, *fresh, 0), type == FT_Wedge);
  }
}

TEST_F(FleetFormationTest, EscortWithoutMembersGivesNoPlace) {
  auto escort = make(FT_Escort, 12);
  EXPECT_TRUE(gotPlace(member, *escort, 0));
  escort->setMemberCount(0);
  auto& fields = static_cast<escort_formation&>(*escort);
  EXPECT_EQ(fields.side, 0u);
  for (uint32_t index : {0u, 1u, 40u})
    EXPECT_FALSE(gotPlace(member, *escort, index)) << "index " << index;
}

TEST_F(FleetFormationTest, MemberWithoutMobileMoverGetsPointAndCommanderVelocity) {
  auto* recorder = new GoalRecorder(red);
  made_.push_back(recorder);
  commander->velocity = vector3df(3, 0, 0);
  auto wall = make(FT_Wall, 3);
  wall->getMemberPosition(recorder, 1, fleet);
  ASSERT_EQ(recorder->goals.size(), 1u);
  expectNear(recorder->goals[0].point, vector3df(90, 0, 0));
  expectNear(recorder->goals[0].velocity, vector3df(3, 0, 0));
}

// A member in another star system must not read the commander, which its
// own system's thread moves meanwhile: it goes by the motion the fleet's
// tick last recorded, to a point rather than after the commander.
TEST_F(FleetFormationTest, MemberElsewhereGoesByTheMotionTheFleetRecorded) {
  auto* elsewhere = new TestObject(red, OT_System);
  made_.push_back(elsewhere);
  member->container.store(elsewhere);
  commander->velocity = vector3df(3, 0, 0);
  auto wall = make(FT_Wall, 3);
  MobileMover& mover = *MobileMover::of(member);
  EXPECT_FALSE(gotPlace(member, *wall, 1)) << "nothing recorded yet";

  fleet->tick();
  commander->position = vector3df(500, 0, 0);  // moved since: not seen
  mover.destination = vector3df(-1, -1, -1);
  wall->getMemberPosition(member, 1, fleet);
  EXPECT_EQ(mover.target, nullptr);
  EXPECT_FALSE(mover.hasOffset);
  expectNear(mover.destination, vector3df(90, 0, 0));
  member->container.store(nullptr);
}

// Members on different workers ask for places at the same time while the
// fleet's tick resets count and spacing: the formation's changing fields
// are shared by all of them (run under ThreadSanitizer to see races).
TEST_F(FleetFormationTest, ConcurrentPlacesShareTheFormation) {
  TestObject* other = makeShip(vector3df(80, 0, 0));
  for (int type : {FT_Wall, FT_Box, FT_Escort, FT_Wedge}) {
    auto formation = make(type, 5);
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
      for (uint32_t n = 0; !stop.load(); ++n) {
        formation->setMemberCount(4 + n % 3);
        formation->setSpacing(static_cast<float>(n % 5));
      }
    });
    auto asker = [&](generic_object* object) {
      for (uint32_t n = 0; n < 2000; ++n)
        formation->getMemberPosition(object, n % 6, fleet);
    };
    std::thread first(asker, member);
    std::thread second(asker, other);
    first.join();
    second.join();
    stop = true;
    ticker.join();
    EXPECT_EQ(MobileMover::of(other)->target, commander) << "type " << type;
  }
}

}  // namespace

}  // namespace fleet_formation_test
