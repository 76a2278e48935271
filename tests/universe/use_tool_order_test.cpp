// The use-tool order (how it ends, the approach, aiming and circling, the
// colonisation mark, its records) and the structure-removal order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/post_load.h"
#include "core/random.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "movement_fixture.h"
#include "platform/bit_stream.h"
#include "probe_effect.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/galaxy.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/tool_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_hooks.h"
#include "universe/ships/ship.h"
#include "armed_ship_fixture.h"

namespace use_tool_order_test {

namespace {

using movementtest::expectNear;
using OrderPtr = std::unique_ptr<Order>;

const irr::core::stringw kColonizer(L"Colonizer");

// The tool works only on enemies (weight 0 on anything else).
const char kEffectors[] =
    "Effector: Tool\nValue: Reach\nRange: Reach\nAutoAttack: Enemy\n"
    "Effector: Beam\nValue: Reach\nRange: Reach\nIsWeapon: false\n";

const char kSubSystems[] =
    "System: Pod\nTags: Colonizer\nSize: 1\nDurability: 10\nProvides: Tool with Reach[50]\n\n"
    "System: FarPod\nTags: Colonizer\nSize: 1\nDurability: 10\nProvides: Tool with Reach[300]\n\n"
    "System: Gun\nTags: Weapon\nSize: 1\nDurability: 10\nProvides: Tool with Reach[100]\n\n"
    "System: Beam\nTags: Colonizer\nSize: 1\nDurability: 10\nProvides: Beam with Reach[50]\n\n"
    "System: Plate\nSize: 1\nDurability: 10\n";

// A common-string view (in name order) with "Colonizer" at index 7.
std::vector<const irr::core::stringw*> colonizerAtSeven() {
  std::vector<const irr::core::stringw*> strings;
  for (const wchar_t* text : {L"A", L"B", L"C", L"CA", L"CB", L"CC", L"CD", L"Colonizer"})
    strings.push_back(internCommonString(text));
  return strings;
}

class UseToolOrderTest : public armedshiptest::ArmedShipTest {
 protected:
  void SetUp() override {
    ArmedShipTest::SetUp();
    red->getRelation(blue)->enemy = true;
    setUpArmedShips(kEffectors, kSubSystems, L"Pod");
  }

  // A blue planet-kind object of radius 5 at `position`.
  TestObject* target(const vector3df& position, generic_object* where = nullptr, int type = OT_Planet) {
    auto* made = new TestObject(blue, type, L"Terra");
    place(made, where != nullptr ? where : home, position, 5.0f);
    return made;
  }

  static bool colonizing(empire* emp, const generic_object* planet) { return emp->colonizing.count(planet->uid) != 0; }

  static Bytes saved(const Order& order) {
    auto stream = SaveStream::createInMemory();
    stream->commonStrings() = colonizerAtSeven();
    order.save(*stream);
    return writtenBody(*stream);
  }

  static OrderPtr load(const Bytes& record, int32_t version = SaveStream::kVersion) {
    const Bytes file = withHeader(record, version);
    auto stream = readerOver(file);
    stream->commonStrings() = colonizerAtSeven();
    EXPECT_EQ(stream->readU8(), OrdT_Use_Tool);
    return OrderPtr(readUseToolOrderSave(*stream));
  }

};

// --- Construction, copies, text, pool
// --------------------------------------------------------

TEST_F(UseToolOrderTest, ConstructionCopiesAndDescription) {
  TestObject* planet = target(vector3df(100, 0, 0));
  for (const bool followAnywhere : {false, true}) {
    SCOPED_TRACE(followAnywhere ? "follows anywhere" : "keeps a home container");
    use_tool_order order(kColonizer, planet, nullptr, true, followAnywhere);
    EXPECT_EQ(order.getType(), OrdT_Use_Tool);
    EXPECT_EQ(order.tool, internCommonString(kColonizer));
    EXPECT_EQ(order.targetOwner, blue);
    EXPECT_EQ(order.homeContainer, followAnywhere ? nullptr : home);
    EXPECT_EQ(order.describe(), irr::core::stringw(L"Use Colonizer on Terra"));
    EXPECT_FALSE(order.runsInBackground() || order.isAutomation() || order.isNotRepeatable());

    // Copies keep the home container and take the target's present owner.
    planet->setOwner(red);
    solarSystem* elsewhere = system(vector3df(5000, 0, 0));
    planet->setContainer(elsewhere);
    for (const bool forObject : {false, true}) {
      OrderPtr copy(forObject ? order.cloneFor(*planet) : order.clone());
      auto* tool = dynamic_cast<use_tool_order*>(copy.get());
      ASSERT_NE(tool, nullptr);
      EXPECT_EQ(tool->target, planet);
      EXPECT_EQ(tool->tool, order.tool);
      EXPECT_TRUE(tool->keepUsing);
      EXPECT_EQ(tool->homeContainer, order.homeContainer);
      EXPECT_EQ(tool->targetOwner, red);
      EXPECT_EQ(tool->colonizing, nullptr);
    }
    planet->setContainer(home);
    planet->setOwner(blue);
  }
}

TEST_F(UseToolOrderTest, OrdersComeFromTheUseToolPool) {
  EXPECT_EQ(useToolOrderPool().elementSize(), sizeof(use_tool_order));
  auto* order = new use_tool_order(kColonizer, nullptr, nullptr, false, true);
  const unsigned blocks = useToolOrderPool().blockCount();
  EXPECT_GE(blocks, 1u);
  EXPECT_EQ(OrderPtr(order->clone()), nullptr) << "no target, no copy";
  delete order;
  void* other = allocUseToolOrder(sizeof(use_tool_order) + 8);
  ASSERT_NE(other, nullptr);
  releaseUseToolOrder(other);
  EXPECT_EQ(useToolOrderPool().blockCount(), blocks);
}

// --- Ending
// --------------------------------------------------------------------------

TEST_F(UseToolOrderTest, ALostTargetEndsTheOrderAndTheShipStopsUsingTheTool) {
  enum Where { AtHome, InAnotherSystem, InTheGalaxy };
  const struct {
    const char* what;
    bool captured;
    bool destroyed;
    bool targetLeaves;
    Where ship;
  } cases[] = {
      {"captured", true, false, false, AtHome},
      {"destroyed", false, true, false, AtHome},
      {"gone to another system, the ship at home", false, false, true, AtHome},
      {"gone, the ship followed it into another system", false, false, true, InAnotherSystem},
      {"gone, the ship between systems", false, false, true, InTheGalaxy},
  };
  auto* galaxy = new objGalaxy();
  galaxy->radius = 100000.0f;
  made_.insert(made_.begin(), galaxy);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* planet = target(vector3df(40, 0, 0));
    objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0), 1.0f, nullptr, false);
    auto* order = new use_tool_order(kColonizer, planet, nullptr, true, false);
    ASSERT_EQ(step(user, order), Running);
    ASSERT_EQ(user->effectorStates[0].target, planet);

    solarSystem* other = system(vector3df(5000, 0, 0), 200.0f);
    if (c.captured)
      planet->setOwner(red);
    if (c.destroyed)
      destroyEarly(planet);
    if (c.targetLeaves)
      planet->setContainer(other);
    if (c.ship == InAnotherSystem) {
      user->setContainer(other);
      user->position.set(0, 30, 0);
    } else if (c.ship == InTheGalaxy) {
      user->setContainer(galaxy);
    }
    user->velocity.set(4, 0, 0);
    MobileMover* mover = MobileMover::of(user);
    vector3df coast;
    mover->getDisplacement(coast, 1.0f, *user);
    const vector3df expected = c.ship == InAnotherSystem ? other->getPosition() + vector3df(0, 180, 0)
                                                         : user->getPosition() + coast;

    EXPECT_EQ(order->execute(*user), Done);
    EXPECT_EQ(user->effectorStates[0].target, nullptr);
    expectNear(mover->destination, expected, 1e-3f);
  }
}

TEST_F(UseToolOrderTest, OrdersEndAtOnceWithoutAToolOrOnAnotherKindOfObject) {
  TestObject* planet = target(vector3df(40, 0, 0));
  objHulled* armed = ship({L"Gun", L"Plate"}, vector3df(0, 0, 0));
  EXPECT_EQ(step(armed, new use_tool_order(kColonizer, planet, nullptr, true, false)), Done);
  EXPECT_EQ(armed->effectorStates[0].target, nullptr) << "a weapon of another tag is left alone";
  EXPECT_FLOAT_EQ(armed->getMaxEffectorRange(kColonizer), 0.0f);
  EXPECT_FLOAT_EQ(armed->getMaxEffectorRange(L"Weapon"), 100.0f);

  objHulled* disabled = ship({L"Pod", L"FarPod"}, vector3df(0, 0, 0));
  disabled->hull.records[1].state = SS_Disabled;
  EXPECT_FLOAT_EQ(disabled->getMaxEffectorRange(kColonizer), 50.0f) << "only active sub-systems count";

  auto* other = new TestObject(red, OT_Oddity);
  place(other, home, vector3df(0, 0, 0), 1.0f);
  use_tool_order order(kColonizer, planet, nullptr, true, false);
  EXPECT_EQ(order.execute(*other), Done);
}

TEST_F(UseToolOrderTest, WithoutKeepUsingNothingLeftToDoInTheTargetsSystemEnds) {
  const struct {
    const char* what;
    bool keepUsing;
    bool enemies;  // the tool's weight is above 0 only on enemies
    bool shipElsewhere;
    OrderResult result;
  } cases[] = {
      {"weight 0 in the target's system ends", false, false, false, Done},
      {"weight above 0 goes on", false, true, false, Running},
      {"keepUsing goes on", true, false, false, Running},
      {"outside the target's system goes on", false, false, true, Running},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    red->getRelation(blue)->enemy = c.enemies;
    TestObject* planet = target(vector3df(40, 0, 0));
    objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0), 1.0f, nullptr, false);
    if (c.shipElsewhere)
      user->setContainer(system(vector3df(0, 0, 0)));
    auto* order = new use_tool_order(kColonizer, planet, nullptr, c.keepUsing, true);
    EXPECT_EQ(step(user, order), c.result);
    EXPECT_EQ(user->effectorStates[0].target, c.result == Done ? nullptr : planet);
  }
}

// --- Approach, aiming, circling
// ------------------------------------------------------

TEST_F(UseToolOrderTest, AShipClosesInAimsItsToolAndCircles) {
  // Ship and target of radius 5 on the x axis: with range 50 the reach is
  // 60, and beyond 30 the mover pursues the target.
  const struct {
    const char* what;
    std::initializer_list<const wchar_t*> parts;
    float distance;
    float thrust;  // no mobile mover when negative
    bool orbits;
    OrderResult result;
    bool aims;
    bool circles;
  } cases[] = {
      {"without a mobile mover", {L"Pod"}, 40.0f, -1.0f, true, Running, false, false},
      {"out of reach closes in", {L"Pod"}, 200.0f, 1.0f, true, Running, false, false},
      {"in reach circles", {L"Pod", L"Gun", L"Beam"}, 40.0f, 1.0f, true, Yielded, true, true},
      {"in reach with the orbit flag off", {L"Pod"}, 40.0f, 1.0f, false, Running, true, false},
      {"in reach beyond range 200", {L"FarPod"}, 40.0f, 1.0f, true, Running, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TestObject* planet = target(vector3df(c.distance, 0, 0));
    objHulled* user = ship(c.parts, vector3df(0, 0, 0), c.thrust, nullptr, c.orbits);
    auto* order = new use_tool_order(kColonizer, planet, nullptr, true, false);
    seedProcessRandom(7);
    const int draw = processRandom();
    seedProcessRandom(7);

    EXPECT_EQ(step(user, order), c.result);
    EXPECT_EQ(user->effectorStates[0].target, c.aims ? planet : nullptr);
    if (c.aims) {
      EXPECT_EQ(user->effectorStates[0].force, 1);
    }
    for (uint32_t i = 1; i < user->effectorStateCount; ++i)
      EXPECT_EQ(user->effectorStates[i].target, nullptr) << "effector " << i << ": other tag, or not a weapon";
    if (c.distance > 60.0f) {
      EXPECT_EQ(MobileMover::of(user)->target, planet) << "the mover pursues the target";
    }

    UnitAI& queue = queueOf(user);
    auto* circle = dynamic_cast<move_order*>(queue.getOrder(0));
    ASSERT_EQ(circle != nullptr, c.circles);
    if (circle == nullptr)
      continue;
    EXPECT_EQ(queue.getOrder(1), order) << "the move goes in front";
    EXPECT_FLOAT_EQ(circle->toleranceSquared, 22.5f * 22.5f);
    const float theta = static_cast<float>(draw) * 6.28318530718f / 32767.0f;
    expectNear(circle->destination, vector3df(c.distance, 45.0f * std::sin(theta), 45.0f * std::cos(theta)), 1e-3f);
  }
}

// --- Colonisation marks
// --------------------------------------------------------------

TEST_F(UseToolOrderTest, AColonisingOrderMarksItsPlanetWhileItLives) {
  TestObject* planet = target(vector3df(40, 0, 0));
  objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0));
  red->queueColonization(planet->uid);

  auto* order = new use_tool_order(kColonizer, planet, user, false, false);
  EXPECT_EQ(order->colonizing, red);
  EXPECT_TRUE(colonizing(red, planet));
  EXPECT_EQ(red->colonizeQueue.count(planet->uid), 0u);

  OrderPtr copy(order->clone());
  OrderPtr copyFor(order->cloneFor(*user));
  delete order;
  EXPECT_FALSE(colonizing(red, planet)) << "the copies hold no mark";
  EXPECT_EQ(static_cast<use_tool_order*>(copy.get())->colonizing, nullptr);
  EXPECT_EQ(static_cast<use_tool_order*>(copyFor.get())->colonizing, nullptr);
  red->startColonization(planet->uid);
  copy.reset();
  copyFor.reset();
  EXPECT_TRUE(colonizing(red, planet)) << "deleting a copy takes nothing out";
  red->endColonization(planet->uid);
}

TEST_F(UseToolOrderTest, OnlyAUserWithAnOwnerColonisingAPlanetMarks) {
  TestObject* planet = target(vector3df(40, 0, 0));
  TestObject* rock = target(vector3df(40, 0, 0), nullptr, OT_Oddity);
  objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0));
  auto* ownerless = new TestObject(nullptr, OT_Hulled);
  place(ownerless, home, vector3df(0, 0, 0), 1.0f);
  const struct {
    const char* what;
    const wchar_t* tool;
    generic_object* target;
    generic_object* user;
  } cases[] = {
      {"no user", L"Colonizer", planet, nullptr},
      {"a user without owner", L"Colonizer", planet, ownerless},
      {"not a planet", L"Colonizer", rock, user},
      {"another tool", L"Mine", planet, user},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    use_tool_order order(c.tool, c.target, c.user, false, false);
    EXPECT_EQ(order.colonizing, nullptr);
    EXPECT_TRUE(red->colonizing.empty());
  }
}

// --- Records
// --------------------------------------------------------------------------

TEST_F(UseToolOrderTest, SavedRecordsAndTheirColonisingEmpire) {
  ASSERT_EQ(getObjectByUID(40), nullptr);
  nextUid = 40;
  TestObject* planet = target(vector3df(40, 0, 0));
  ASSERT_EQ(planet->uid, 40u);
  objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0), 1.0f, nullptr, true, blue);

  const struct {
    const char* what;
    generic_object* user;
    bool keepUsing;
    bool followAnywhere;
    const char* bytes;
  } cases[] = {
      {"colonising, no home container", user, false, true, "0C 01 28 03 02 01 07"},
      {"keepUsing with a home container", nullptr, true, false, "0C 01 28 04 01 07"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes record;
    {
      use_tool_order order(kColonizer, planet, c.user, c.keepUsing, c.followAnywhere);
      record = saved(order);
    }
    EXPECT_EQ(hexText(record), hex(c.bytes));
    EXPECT_FALSE(colonizing(blue, planet));
    OrderPtr loaded = load(record);
    auto* tool = dynamic_cast<use_tool_order*>(loaded.get());
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->target, planet);
    EXPECT_EQ(tool->tool, internCommonString(kColonizer));
    EXPECT_EQ(tool->keepUsing, c.keepUsing);
    EXPECT_EQ(tool->homeContainer, c.followAnywhere ? nullptr : home);
    EXPECT_EQ(tool->targetOwner, blue);
    EXPECT_EQ(tool->colonizing, c.user != nullptr ? blue : nullptr);
    EXPECT_EQ(colonizing(blue, planet), c.user != nullptr) << "a loaded colonising order marks again";
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
    loaded.reset();
    EXPECT_FALSE(colonizing(blue, planet));
  }

  use_tool_order lost(kColonizer, planet, nullptr, false, true);
  destroyEarly(planet);
  EXPECT_EQ(hexText(saved(lost)), hex("00")) << "a gone target is not saved";
}

TEST_F(UseToolOrderTest, TheColonisingEmpireOfOlderSavesIsAnObjectsOwner) {
  ASSERT_EQ(getObjectByUID(40), nullptr);
  nextUid = 40;
  TestObject* planet = target(vector3df(40, 0, 0));
  objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0), 1.0f, nullptr, true, blue);
  ASSERT_LT(user->uid, 128u);
  const std::string uid = hexText({static_cast<uint8_t>(user->uid)});

  OrderPtr loaded = load(hexBytes(("0C 01 28 03 01 " + uid + " 01 07").c_str()), 12);
  auto* tool = dynamic_cast<use_tool_order*>(loaded.get());
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(tool->colonizing, blue);
  EXPECT_TRUE(colonizing(blue, planet));
  EXPECT_EQ(hexText(saved(*tool)), hex("0C 01 28 03 02 01 07")) << "saved again with the empire's ID";
  loaded.reset();
  EXPECT_FALSE(colonizing(blue, planet));

  // From version 13 the record holds the empire's ID itself.
  OrderPtr newer = load(hexBytes("0C 01 28 03 02 01 07"), 13);
  auto* byId = dynamic_cast<use_tool_order*>(newer.get());
  ASSERT_NE(byId, nullptr);
  EXPECT_EQ(byId->colonizing, blue);
  newer.reset();
  EXPECT_FALSE(colonizing(blue, planet));
}

TEST_F(UseToolOrderTest, ALoadedOrderWhoseColonisingEmpireIsNotValidMarksNothing) {
  ASSERT_EQ(getObjectByUID(40), nullptr);
  nextUid = 40;
  TestObject* planet = target(vector3df(40, 0, 0));
  auto* stray = new TestObject(nullptr, OT_Hulled);  // an object without owner
  place(stray, home, vector3df(0, 0, 0), 1.0f);
  ASSERT_LT(stray->uid, 128u);
  blue->valid = false;
  const struct {
    const char* what;
    std::string record;
    int32_t version;
  } cases[] = {
      {"an ID no empire has", "0C 01 28 03 09 01 07", SaveStream::kVersion},
      {"an empire that is not valid", "0C 01 28 03 02 01 07", SaveStream::kVersion},
      {"an older save's object without owner",
       "0C 01 28 03 01 " + hexText({static_cast<uint8_t>(stray->uid)}) + " 01 07", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OrderPtr loaded = load(hexBytes(c.record.c_str()), c.version);
    auto* tool = dynamic_cast<use_tool_order*>(loaded.get());
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->target, planet);
    EXPECT_EQ(tool->colonizing, nullptr);
    EXPECT_TRUE(blue->colonizing.empty() && red->colonizing.empty());
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  }
  blue->valid = true;
}

TEST_F(UseToolOrderTest, ATargetLoadedLaterIsResolvedOnceTheTreeExists) {
  ASSERT_EQ(getObjectByUID(700), nullptr);
  for (const bool noHome : {false, true}) {
    SCOPED_TRACE(noHome ? "follows anywhere" : "keeps a home container");
    nextUid = 700;
    // UID 700, colonising empire 2 (blue), keepUsing.
    OrderPtr loaded = load(hexBytes(noHome ? "0C 03 BC 02 07 02 01 07" : "0C 03 BC 02 06 02 01 07"));
    auto* tool = dynamic_cast<use_tool_order*>(loaded.get());
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->target, nullptr);
    EXPECT_TRUE(tool->keepUsing);
    EXPECT_EQ(queuedPostObjectTreeSteps(), 2u);
    TestObject* planet = target(vector3df(40, 0, 0));
    ASSERT_EQ(planet->uid, 700u);
    runPostObjectTreeSteps();
    EXPECT_EQ(tool->target, planet);
    EXPECT_EQ(tool->targetOwner, blue);
    EXPECT_EQ(tool->homeContainer, noHome ? nullptr : home);
    EXPECT_EQ(tool->colonizing, blue);
    EXPECT_TRUE(colonizing(blue, planet));
    loaded.reset();
    EXPECT_FALSE(colonizing(blue, planet));
    destroyEarly(planet);
  }

  // A target that never appears: nothing is held and nothing marked.
  nextUid = 700;
  OrderPtr orphan = load(hexBytes("0C 03 BC 02 02 02 01 07"));
  runPostObjectTreeSteps();
  EXPECT_EQ(static_cast<use_tool_order*>(orphan.get())->target, nullptr);
  EXPECT_EQ(static_cast<use_tool_order*>(orphan.get())->colonizing, nullptr);
  EXPECT_TRUE(blue->colonizing.empty());
}

TEST_F(UseToolOrderTest, BrokenSavedRecordsThrow) {
  const struct {
    const char* record;
    SaveFileError error;
  } cases[] = {
      {"", {4, "Unexpected EOF"}},
      {"0C 01", {4, "Unexpected EOF"}},
      {"0C 01 28", {4, "Unexpected EOF"}},
      {"0C 01 28 02", {4, "Unexpected EOF"}},
      {"0C 01 28 03 02", {4, "Unexpected EOF"}},
      {"0C 01 28 03 02 01 09", kSaveErrorInvalidCommonString},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    try {
      load(hexBytes(c.record));
      ADD_FAILURE() << "no error";
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error, c.error);
    }
  }
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
}

TEST_F(UseToolOrderTest, NetworkRecords) {
  TestObject* planet = target(vector3df(40, 0, 0));
  objHulled* user = ship({L"Pod"}, vector3df(0, 0, 0));
  for (const bool keepUsing : {false, true}) {
    for (const bool followAnywhere : {false, true}) {
      SCOPED_TRACE(std::to_string(keepUsing) + std::to_string(followAnywhere));
      use_tool_order order(kColonizer, planet, nullptr, keepUsing, followAnywhere);
      RakNet::BitStream stream;
      order.writeNetwork(stream);
      RakNet::BitStream expected;
      expected.Write(static_cast<uint8_t>(OrdT_Use_Tool));
      writeNetStringW(expected, kColonizer, kMaxNetStringLength);
      writeNetObjectRef(expected, planet);
      expected.Write(keepUsing);
      expected.Write(followAnywhere);
      ASSERT_EQ(stream.GetNumberOfBitsUsed(), expected.GetNumberOfBitsUsed());
      EXPECT_TRUE(std::equal(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed(), expected.GetData()));

      // Read with the receiving ship as user: a colonising order marks.
      OrderPtr read(readOrderFromNetwork(stream, user));
      auto* tool = dynamic_cast<use_tool_order*>(read.get());
      ASSERT_NE(tool, nullptr);
      EXPECT_EQ(tool->target, planet);
      EXPECT_EQ(tool->getTool(), kColonizer);
      EXPECT_EQ(tool->keepUsing, keepUsing);
      EXPECT_EQ(tool->homeContainer, followAnywhere ? nullptr : home);
      EXPECT_EQ(tool->colonizing, red);
      EXPECT_TRUE(colonizing(red, planet));
    }
  }
  EXPECT_FALSE(colonizing(red, planet));

  // An unknown UID and records cut short give no order.
  auto record = [&](uint32_t uid, int flagBits) {
    auto stream = std::make_unique<RakNet::BitStream>();
    stream->Write(static_cast<uint8_t>(OrdT_Use_Tool));
    writeNetStringW(*stream, kColonizer, kMaxNetStringLength);
    writeNetUInt(*stream, uid);
    for (int i = 0; i < flagBits; ++i)
      stream->Write(false);
    return stream;
  };
  EXPECT_EQ(OrderPtr(readOrderFromNetwork(*record(planet->uid + 1000, 2), user)), nullptr);
  for (int bits : {0, 1})
    EXPECT_EQ(OrderPtr(readOrderFromNetwork(*record(planet->uid, bits), user)), nullptr) << bits << " flag bits";
  RakNet::BitStream nameOnly;
  nameOnly.Write(static_cast<uint8_t>(OrdT_Use_Tool));
  nameOnly.Write(static_cast<uint8_t>(9));
  EXPECT_EQ(OrderPtr(readOrderFromNetwork(nameOnly, user)), nullptr);
  EXPECT_TRUE(red->colonizing.empty());
}

// --- Structure removal
// ---------------------------------------------------------------

using namespace probetest;

constexpr uint16_t kRemovalHooks = (1u << EH_OnActive) | (1u << EH_OnDeactive) | (1u << EH_OnDestruct);

class RemoveStructOrderTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    registerSpaceEmpire();
    clearPlanetScriptHooks();
    calls.clear();
    const std::filesystem::path folder = scratchDir();
    for (const char* label : {"MineFx", "FarmFx"})
      NamedVar<effect_handler*>::getOrAdd(effectRegistry(), irr::core::stringw(label)).value =
          new Probe(label, kRemovalHooks);
    subsystemtest::loadDefinition(folder,
                                  "System: Mine\nTags: Structure\nDurability: 30\nProvides: MineFx\n\n"
                                  "System: Farm\nTags: Structure\nDurability: 30\nProvides: FarmFx\n",
                                  L"Mine");
  }

  void TearDown() override {
    UniverseTest::TearDown();
    clearSubSystemDefs();
    clearEffects();
  }

  objHabitation* planet(const std::vector<const wchar_t*>& names) {
    auto* made = new objHabitation(red, nullptr);
    made->setStructureSpace(10.0f);
    for (const wchar_t* name : names) {
      const irr::s32 index = findSubSystemDefByName(name);
      EXPECT_TRUE(made->addStructureFromDef(subSystemDefRegistry[static_cast<irr::u32>(index)].value));
    }
    calls.clear();
    return made;
  }

  static std::vector<std::string> labels(const objHabitation* planet) {
    std::vector<std::string> names;
    for (irr::u32 i = 0; i < planet->structures.size(); ++i)
      names.emplace_back(irr::core::stringc(planet->structures[i].system->def->name).c_str());
    return names;
  }
};

TEST_F(RemoveStructOrderTest, RemovesItsOwnStructureWithItsEvents) {
  objHabitation* target = planet({L"Farm", L"Mine", L"Mine"});
  subSystem* firstMine = target->structures[1].system;
  remove_struct_order order(target->structures[2].system);
  EXPECT_EQ(order.getType(), OrdT_Unspecified);
  EXPECT_EQ(order.describe(), irr::core::stringw(L"Unspecified Order"));
  EXPECT_EQ(order.execute(*target), Done);
  EXPECT_EQ(labels(target), (std::vector<std::string>{"Farm", "Mine"}));
  EXPECT_EQ(target->structures[1].system, firstMine);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].kind, EH_OnDeactive);
  EXPECT_EQ(calls[1].kind, EH_OnDestruct);
  EXPECT_EQ(calls[1].label, "MineFx");

  // Gone now: a second run leaves the planet as it is.
  calls.clear();
  EXPECT_EQ(order.execute(*target), Done);
  EXPECT_EQ(labels(target), (std::vector<std::string>{"Farm", "Mine"}));
  EXPECT_TRUE(calls.empty());

  auto stream = SaveStream::createInMemory();
  order.save(*stream);
  EXPECT_EQ(hexText(writtenBody(*stream)), hex("00")) << "never restored";

  auto* other = new TestObject(red, OT_Hulled);
  remove_struct_order elsewhere(target->structures[0].system);
  EXPECT_EQ(elsewhere.execute(*other), Done);
  EXPECT_EQ(labels(target).size(), 2u);
  other->destroyNow(true);
  target->destroyNow(true);
}

}  // namespace

}  // namespace use_tool_order_test
