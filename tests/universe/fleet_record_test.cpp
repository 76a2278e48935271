// The fleet's save record: a fleet with its members, name and formation
// written and read back, the default formation, older record versions, and
// the records a fleet cannot be read from.
#include <string>
#include <vector>

#include "core/post_load.h"
#include "support/save_bytes.h"
#include "universe/orders/fleet_ai.h"
#include "universe/orders/fleet_formation.h"
#include "universe/orders/unit_ai.h"
#include "universe_fixture.h"

namespace fleet_record_test {

namespace {

class FleetRecordTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    clearPostObjectTreeSteps();
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    for (generic_object* object : made)
      object->destroyNow(false);  // lets go of its first reference
    UniverseTest::TearDown();
  }

  // An object of red's with an order queue.
  TestObject* unit(const wchar_t* name) {
    auto* object = new TestObject(red, OT_Generic, name);
    auto* ai = new UnitAI(object);
    object->setAI(ai);
    ai->drop();
    made.push_back(object);
    return object;
  }

  // A bare object of red's, for a record to be loaded into.
  TestObject* bare(const wchar_t* name) {
    auto* object = new TestObject(red, OT_Generic, name);
    made.push_back(object);
    return object;
  }

  // `commander` leads a new fleet.
  static FleetAI* lead(generic_object* commander) {
    auto* fleet = new FleetAI(static_cast<UnitAI*>(commander->ai));
    commander->setAI(fleet);
    fleet->release();  // the commander holds it
    return fleet;
  }

  static Bytes recordOf(const ObjectAI& ai) {
    auto out = SaveStream::createInMemory();
    ai.save(*out);
    return writtenBody(*out);
  }

  // Loads `body` (after a header of `version`) as `object`'s AI.
  static void load(generic_object* object, const Bytes& body, int32_t version = SaveStream::kVersion) {
    const Bytes file = withHeader(body, version);
    auto in = readerOver(file);
    loadObjectAI(*in, *object);
    EXPECT_EQ(in->remaining(), 0u) << "the whole record is read";
  }

  std::vector<generic_object*> made;
};

TEST_F(FleetRecordTest, FleetWithMembersRoundTrips) {
  TestObject* commander = unit(L"Flagship");
  static_cast<UnitAI*>(commander->ai)->stance = AIS_HoldFire;
  FleetAI* fleet = lead(commander);
  fleet->stance = AIS_Defend;
  fleet->setName(L"Home Guard");
  fleet->setFormationType(FT_Escort);
  std::vector<generic_object*> members = {unit(L"A"), unit(L"B"), unit(L"C")};
  for (generic_object* member : members)
    fleet->addMember(member);
  const Bytes saved = recordOf(*fleet);

  // The members leave the saved fleet, so that the loaded one can take them.
  for (generic_object* member : members)
    fleet->removeMember(member);
  TestObject* loadedCommander = bare(L"Flagship");
  const uint32_t countBefore = red->fleetCounter;
  load(loadedCommander, saved);
  auto* loaded = dynamic_cast<FleetAI*>(loadedCommander->ai);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(queuedPostObjectTreeSteps(), members.size()) << "one step per member";
  runPostObjectTreeSteps();

  EXPECT_EQ(loaded->stance, AIS_Defend);
  ASSERT_NE(loaded->prior, nullptr);
  EXPECT_EQ(loaded->prior->object, loadedCommander) << "the prior AI belongs to the commander";
  EXPECT_EQ(loaded->prior->stance, AIS_HoldFire);
  EXPECT_EQ(loaded->prior->fleet, loaded);
  EXPECT_EQ(loaded->commander, loadedCommander);
  EXPECT_EQ(loaded->getName(), irr::core::stringw(L"Home Guard"));
  EXPECT_EQ(loaded->getFormationType(), FT_Escort);
  ASSERT_EQ(loaded->getMemberCount(), 3u);
  for (unsigned i = 0; i < 3; ++i) {
    EXPECT_EQ(loaded->getMember(i), members[i]) << "member " << i;
    EXPECT_EQ(static_cast<UnitAI*>(members[i]->ai)->fleet, loaded) << "member " << i;
  }
  EXPECT_EQ(loaded->getMember(3), nullptr);

  // Entered in its owner's map under its own name; the object and the map
  // hold it.
  EXPECT_EQ(red->getFleet(0), loaded);
  EXPECT_EQ(red->fleets[0].name, irr::core::stringw(L"Home Guard"));
  EXPECT_EQ(red->fleetCounter, countBefore + 1);
  EXPECT_EQ(loaded->refCount.load(), 2u);

  EXPECT_EQ(hexText(recordOf(*loaded)), hexText(saved)) << "saving again gives the same bytes";
}

// A record by hand: fleet stance 3; the commander's empty queue with stance
// 1; then (from version 16) the name "Vanguard", the formation byte, one
// member of UID 0x0100.
Bytes fleetRecord(uint8_t formation, bool withMembers = true) {
  Bytes body = {2, 3, 1, 1, 0, 0};
  if (withMembers) {
    const Bytes rest = hexBytes("08 00 00 56 61 6E 67 75 61 72 64");  // "Vanguard"
    body.insert(body.end(), rest.begin(), rest.end());
    body.push_back(formation);
    for (uint8_t byte : {1, 1, 2, 1})  // count 1; UID 0x0100
      body.push_back(byte);
  }
  return body;
}

TEST_F(FleetRecordTest, FormationByteGivesItsFormation) {
  struct Case {
    uint8_t byte;
    int type;
  };
  const Case cases[] = {{0, FT_Wall}, {1, FT_Box}, {2, FT_Escort}, {3, FT_Wedge}, {255, FT_Wall}};
  for (const Case& c : cases) {
    SCOPED_TRACE("formation byte " + std::to_string(c.byte));
    TestObject* commander = bare(L"Flagship");
    load(commander, fleetRecord(c.byte));
    auto* fleet = dynamic_cast<FleetAI*>(commander->ai);
    ASSERT_NE(fleet, nullptr);
    EXPECT_EQ(fleet->getFormationType(), c.type);
    clearPostObjectTreeSteps();
  }
  // The default wall is the one a new fleet starts with.
  TestObject* commander = bare(L"Flagship");
  load(commander, fleetRecord(255));
  auto* wall = dynamic_cast<wall_formation*>(static_cast<FleetAI*>(commander->ai)->formation);
  ASSERT_NE(wall, nullptr);
  EXPECT_FLOAT_EQ(wall->factor, 4.0f);
  EXPECT_FLOAT_EQ(wall->spacing, 4.0f);
}

TEST_F(FleetRecordTest, OlderRecordsLackNameMembersAndStance) {
  // Version 15: the stances, no name, formation or members; the empire names
  // the fleet as a new one.
  TestObject* commander = bare(L"Flagship");
  load(commander, fleetRecord(0, false), 15);
  auto* fleet = dynamic_cast<FleetAI*>(commander->ai);
  ASSERT_NE(fleet, nullptr);
  EXPECT_EQ(fleet->stance, AIS_Defend);
  EXPECT_EQ(fleet->prior->stance, AIS_HoldPosition);
  EXPECT_EQ(fleet->getMemberCount(), 0u);
  EXPECT_EQ(fleet->getFormationType(), FT_Wall);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  EXPECT_EQ(red->getFleet(0), fleet);
  EXPECT_EQ(fleet->getName(), irr::core::stringw(L"Fleet 1"));

  // Version 14: no stance bytes either (fleet type, prior type, count, hull).
  TestObject* older = bare(L"Escort");
  load(older, {2, 1, 0, 0}, 14);
  auto* olderFleet = dynamic_cast<FleetAI*>(older->ai);
  ASSERT_NE(olderFleet, nullptr);
  EXPECT_EQ(olderFleet->stance, AIS_Engage);
  EXPECT_EQ(olderFleet->prior->getOrderCount(), 0u);
  EXPECT_EQ(red->fleets.size(), 2u);
}

TEST_F(FleetRecordTest, UnreadableRecordsThrowAndLeaveNothing) {
  struct Case {
    Bytes body;
    SaveFileError error;
  };
  const Bytes full = fleetRecord(1);
  const Case cases[] = {
      {{2, 0, 2}, {5, "Invalid prior AI for fleet"}},  // another fleet as the prior AI
      {{2, 0, 0}, {5, "Invalid prior AI for fleet"}},  // no prior AI
      {{2, 0, 1, 0, 1, 0}, {4, "Unexpected EOF"}},     // the prior's order is missing
      {Bytes(full.begin(), full.end() - 1), {4, "Unexpected EOF"}},  // a member UID short
      {Bytes(full.begin(), full.end() - 5), {4, "Unexpected EOF"}},  // the formation byte missing
      {{2, 0, 1, 0, 0, 0, 0, 0, 0, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF}, {4, "Unexpected EOF"}},  // a count beyond the file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hexText(c.body));
    TestObject* commander = bare(L"Flagship");
    const Bytes file = withHeader(c.body);
    auto in = readerOver(file);
    const SaveFileError error = saveErrorOf([&] { loadObjectAI(*in, *commander); });
    EXPECT_EQ(error.code, c.error.code);
    EXPECT_STREQ(error.message, c.error.message);
    EXPECT_EQ(commander->ai, nullptr);
    EXPECT_EQ(red->fleets.size(), 0u);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  }
}

}  // namespace

}  // namespace fleet_record_test
