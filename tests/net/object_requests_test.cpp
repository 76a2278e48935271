// What a client may ask of its empire's objects, as the server's handlers
// apply it: orders (116), build-queue changes (117), planet and queue
// settings (118) and object commands (139); the build-list names a client
// learns (128); the client's stand-in build item. Messages are written by
// hand and handed to the handlers as the dispatcher would, on a galaxy of
// red's and blue's objects.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/save_stream.h"
#include "design/build/build_fixture.h"
#include "design/build/build_requests.h"
#include "design/build/build_rules.h"
#include "design/build/mimic_constructible.h"
#include "net/diplomacy_messages.h"
#include "net/message_receiver.h"
#include "net/network_manager.h"
#include "net/object_requests.h"
#include "platform/bit_stream.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/object_registry.h"
#include "universe/objects/system_threads.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/worker_steps.h"

namespace object_requests_test {

namespace {

using Bytes = std::vector<uint8_t>;
using irr::core::stringw;

// A ship that counts the releases of its weapons' targets.
class CountingShip : public objHulled {
 public:
  CountingShip(empire* shipOwner, hull_list* layout) : objHulled(shipOwner, layout, new MobileMover()) {}
  void clearEffectorTargets() override {
    ++targetReleases;
    objHulled::clearEffectorTargets();
  }
  int targetReleases = 0;
};

// A message after its id byte, as the dispatcher hands it on.
struct Message {
  RakNet::BitStream stream;
  Message() = default;
  explicit Message(const Bytes& bytes) {
    for (size_t i = 1; i < bytes.size(); ++i)
      stream.Write(bytes[i]);
  }
};

class ObjectRequestTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    networkManager->isServer = true;
    player.emp = red;
    for (const wchar_t* name : {L"Mine", L"Kit", L"Frame", L"Plate", L"Dock"})
      const_cast<SubSystemDef*>(def(name))->unlockedBy.fetch_or(red->ownBit | blue->ownBit);
    scout = layoutOf(red, L"Scout", {L"Frame"});
    locked = layoutOf(red, L"Heavy", {L"Frame", L"Ballast"});  // Ballast is not unlocked
  }

  void TearDown() override {
    playingEmpire = nullptr;
    BuildTest::TearDown();
  }

  // A ship of `owner` at `position` in the system (the system owns it).
  CountingShip* ship(empire* owner, const vector3df& position = vector3df(2000, 0, 0)) {
    auto* made = new CountingShip(owner, owner == nullptr ? scout : layoutOf(owner, L"Scout", {L"Frame"}));
    made->position = position;
    made->radius = 1.0f;
    made->setContainer(system);
    return made;
  }

  // Gives `object` the UID `uid` (no other object holds it).
  static void renumber(generic_object* object, uint32_t uid) {
    ASSERT_EQ(getObjectByUID(uid), nullptr);
    unregisterUid(object->uid, object);
    object->uid = uid;
    registerUid(uid, object);
  }

  static UnitAI& queueOf(generic_object* object) { return *static_cast<UnitAI*>(object->ai); }

  // The types of the object's orders, front first.
  static std::vector<int> orderTypes(generic_object* object) {
    std::vector<int> types;
    for (Order* order : queueOf(object).orders)
      types.push_back(order->getType());
    return types;
  }

  // 117 for `object`: the UID raw, the sub-kind, then what `fields` writes.
  static void build(generic_object* object, uint8_t subKind, NetPlayer* from,
                    const std::function<void(RakNet::BitStream&)>& fields = nullptr) {
    Message message;
    message.stream.Write(object->uid);
    message.stream.Write(subKind);
    if (fields)
      fields(message.stream);
    handleBuildRequest(message.stream, from);
  }
  static std::function<void(RakNet::BitStream&)> structureFields(const wchar_t* name, int count = -1) {
    const uint32_t id = def(name)->id;
    return [id, count](RakNet::BitStream& s) {
      s.Write(id);
      if (count >= 0)
        s.Write(static_cast<uint16_t>(count));
    };
  }
  static std::function<void(RakNet::BitStream&)> shipFields(const wchar_t* layoutName, int count = -1) {
    const stringw name(layoutName);
    return [name, count](RakNet::BitStream& s) {
      writeNetStringW(s, name, kMaxNetStringLength);
      if (count >= 0)
        s.Write(static_cast<uint16_t>(count));
    };
  }

  // 118 for `object`: the reference, the sub-kind, then the fields.
  static void setting(generic_object* object, uint8_t subKind, NetPlayer* from,
                      const std::function<void(RakNet::BitStream&)>& fields = nullptr) {
    Message message;
    writeNetObjectRef(message.stream, object);
    message.stream.Write(subKind);
    if (fields)
      fields(message.stream);
    handlePlanetSetting(message.stream, from);
  }

  // 139 for `object`: the sub-kind, the reference, then the fields.
  static void command(generic_object* object, uint8_t subKind, NetPlayer* from,
                      const std::function<void(RakNet::BitStream&)>& fields = nullptr) {
    Message message;
    message.stream.Write(subKind);
    writeNetObjectRef(message.stream, object);
    if (fields)
      fields(message.stream);
    handleObjectCommand(message.stream, from);
  }

  // Fills `object`'s queue with `count` ships of the scout.
  void fillQueue(generic_object* object, uint32_t count) {
    BuildRequest request;
    request.subKind = BRK_Ship;
    request.layoutName = L"Scout";
    request.hasCount = true;
    while (count > 0) {
      request.count = std::min(count, kMaxBuildRequestCount);
      count -= queueBuildRequest(object, red, request);
    }
  }

  NetPlayer player;     // plays red
  NetPlayer spectator;  // no empire
  hull_list* scout = nullptr;
  hull_list* locked = nullptr;
};

// The order message's bytes exactly as a client writes them, for an own
// ship with UID 42.
TEST_F(ObjectRequestTest, OrderMessagesInTheirWireForm) {
  CountingShip* own = ship(red);
  renumber(own, 42);
  objHabitation* target = planetOf(red);
  renumber(target, 7);
  queueOf(own).appendOrder(createAutomationOrder(L"Defend", nullptr, nullptr));
  const auto order = [&](const Bytes& bytes) {
    Message message(bytes);
    handleOrderRequest(message.stream, &player);
  };

  // Clear the queue (flags 8): the standing order goes only with bit 4.
  order({0x74, 0, 0, 0, 0x2A, 0x08});
  EXPECT_EQ(orderTypes(own), std::vector<int>{OrdT_Defend});
  EXPECT_EQ(own->targetReleases, 1);

  // Goto UID 7, distance 50, at the front.
  order({0x74, 0, 0, 0, 0x2A, 0x00, 0x02, 0x00, 0x07, 0x42, 0x48, 0x00, 0x00});
  ASSERT_EQ(orderTypes(own), (std::vector<int>{OrdT_Goto, OrdT_Defend}));
  auto* go = static_cast<goto_order*>(queueOf(own).orders.front());
  EXPECT_EQ(go->getTarget(), target);
  EXPECT_FLOAT_EQ(go->distance, 50.0f);

  // Move to (3, 0, -4) within 10, at the front.
  order({0x74, 0, 0, 0, 0x2A, 0x00, 0x01, 0x40, 0xA0, 0x00, 0x00, 0x4C, 0xCC, 0x00, 0x00, 0x99, 0x9A, 0x41, 0x20, 0x00,
         0x00});
  ASSERT_EQ(orderTypes(own), (std::vector<int>{OrdT_Move, OrdT_Goto, OrdT_Defend}));
  const vector3df to = queueOf(own).orders.front()->getDestination();
  EXPECT_NEAR(to.X, 3.0f, 0.001f);
  EXPECT_NEAR(to.Y, 0.0f, 0.001f);
  EXPECT_NEAR(to.Z, -4.0f, 0.001f);
  EXPECT_FLOAT_EQ(static_cast<move_order*>(queueOf(own).orders.front())->toleranceSquared, 100.0f);
}

TEST_F(ObjectRequestTest, BuildRequestsQueueOnlyWhatTheSenderCouldQueueByHand) {
  objHabitation* planet = planetOf(red, 4);
  objHabitation* foreign = planetOf(blue, 4);
  CountingShip* own = ship(red);
  const auto builtUpTo = [&](unsigned count) {
    while (planet->structures.size() > count)
      planet->removeStructure(planet->structures.size() - 1);
    while (planet->structures.size() < count)
      ASSERT_TRUE(planet->addStructureFromDef(def(L"Dock")));
  };
  const struct {
    const char* label;
    generic_object* object;
    unsigned built;  // the planet's structures first
    uint8_t subKind;
    std::function<void(RakNet::BitStream&)> fields;
    NetPlayer* from;
    unsigned queued;
  } cases[] = {
      {"1000 ships", planet, 0, BRK_Ship, shipFields(L"Scout", 1000), &player, kMaxBuildRequestCount},
      {"ships without a count", planet, 0, BRK_Ship, shipFields(L"Scout"), &player, 1},
      {"5 structures, room for 1", planet, 3, BRK_Structure, structureFields(L"Mine", 5), &player, 1},
      {"5 structures, no room", planet, 4, BRK_Structure, structureFields(L"Mine", 5), &player, 0},
      {"structures on a ship", own, 0, BRK_Structure, structureFields(L"Mine", 2), &player, 0},
      {"a locked structure", planet, 0, BRK_Structure, structureFields(L"Factory", 1), &player, 0},
      {"NoManualBuild", planet, 0, BRK_Structure, structureFields(L"Kit", 1), &player, 0},
      {"a design with a locked part", planet, 0, BRK_Ship, shipFields(L"Heavy", 1), &player, 0},
      {"an unknown design", planet, 0, BRK_Ship, shipFields(L"Nothing", 1), &player, 0},
      {"a rebuild past the structures", planet, 2, BRK_Rebuild, [](RakNet::BitStream& s) { s.Write(uint32_t{2}); },
       &player, 0},
      {"another empire's planet", foreign, 0, BRK_Ship, shipFields(L"Scout", 3), &player, 0},
      {"a spectator", planet, 0, BRK_Ship, shipFields(L"Scout", 3), &spectator, 0},
      {"no sender", planet, 0, BRK_Ship, shipFields(L"Scout", 3), nullptr, 0},
      {"a structure without its ID", planet, 0, BRK_Structure, nullptr, &player, 0},
      {"a sub-kind of nothing", planet, 0, 9, structureFields(L"Mine", 2), &player, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    builtUpTo(c.built);
    c.object->clearBuildQueue();
    build(c.object, c.subKind, c.from, c.fields);
    EXPECT_EQ(c.object->buildQueue.size(), c.queued);
    c.object->clearBuildQueue();
  }

  // Removing a structure, then clearing the queue.
  builtUpTo(3);
  build(planet, kBuildRemoveStructure, &player, [](RakNet::BitStream& s) { s.Write(uint32_t{1}); });
  EXPECT_EQ(planet->structures.size(), 2u);
  build(foreign, BRK_Ship, &player, nullptr);
  fillQueue(planet, 3);
  build(planet, kBuildClearQueue, &player);
  EXPECT_EQ(planet->buildQueue.size(), 0u);
}

TEST_F(ObjectRequestTest, RequestsFillABuildQueueUpToItsLimit) {
  objHabitation* planet = planetOf(red, 4);
  fillQueue(planet, kMaxRequestedQueueLength - 10);
  build(planet, BRK_Ship, &player, shipFields(L"Scout", 300));
  EXPECT_EQ(planet->buildQueue.size(), kMaxRequestedQueueLength) << "only what fits";
  for (uint8_t subKind : {BRK_Ship, BRK_Structure, BRK_Rebuild}) {
    build(planet, subKind, &player, subKind == BRK_Ship ? shipFields(L"Scout") : structureFields(L"Mine", 1));
    EXPECT_EQ(planet->buildQueue.size(), kMaxRequestedQueueLength) << int(subKind);
  }
  planet->clearBuildQueue();
}

TEST_F(ObjectRequestTest, SettingsChangeOwnObjectsOnly) {
  objHabitation* planet = planetOf(red, 4);
  objHabitation* foreign = planetOf(blue, 4);
  CountingShip* own = ship(red);
  red->setBuildList(L"default", new build_list());
  blue->setBuildList(L"xyz", new build_list());
  const auto fromTo = [](uint32_t from, uint32_t to) {
    return [from, to](RakNet::BitStream& s) {
      s.Write(from);
      s.Write(to);
    };
  };
  const auto index = [](uint32_t at) { return [at](RakNet::BitStream& s) { s.Write(at); }; };
  const auto bit = [](bool value) { return [value](RakNet::BitStream& s) { s.Write(value); }; };
  const auto text = [](const wchar_t* value) {
    return [value](RakNet::BitStream& s) { writeNetStringW(s, value, kMaxNetStringLength); };
  };

  // Moves and removals in a queue of four.
  fillQueue(planet, 4);
  std::vector<constructible*> items(planet->buildQueue.pointer(), planet->buildQueue.pointer() + 4);
  const auto queue = [&] {
    return std::vector<constructible*>(planet->buildQueue.pointer(),
                                       planet->buildQueue.pointer() + planet->buildQueue.size());
  };
  setting(planet, PSK_MoveItem, &player, fromTo(2, 99));
  EXPECT_EQ(queue(), (std::vector<constructible*>{items[0], items[1], items[3], items[2]}));
  setting(planet, PSK_MoveItem, &player, fromTo(4, 0));
  setting(planet, PSK_MoveItem, &player, fromTo(1, 1));
  setting(foreign, PSK_MoveItem, &player, fromTo(0, 3));
  setting(planet, PSK_MoveItem, &spectator, fromTo(0, 3));
  EXPECT_EQ(queue(), (std::vector<constructible*>{items[0], items[1], items[3], items[2]}));
  setting(planet, PSK_RemoveItem, &player, index(1));
  EXPECT_EQ(queue(), (std::vector<constructible*>{items[0], items[3], items[2]}));
  setting(planet, PSK_RemoveItem, &player, index(3));
  EXPECT_EQ(planet->buildQueue.size(), 3u);

  // Governor settings act on planets, with one of the sender's own lists.
  setting(own, PSK_UseGovernor, &player, bit(true));
  setting(own, PSK_GovernorType, &player, text(L"default"));
  setting(planet, PSK_UseGovernor, &player, bit(true));
  EXPECT_TRUE(planet->usesGovernor());
  setting(foreign, PSK_UseGovernor, &player, bit(true));
  EXPECT_FALSE(foreign->usesGovernor());
  setting(planet, PSK_GovernorType, &player, text(L"xyz"));
  EXPECT_EQ(planet->getGovernorType(), nullptr) << "blue's list, not red's";
  setting(planet, PSK_GovernorType, &player, text(L"default"));
  ASSERT_NE(planet->getGovernorType(), nullptr);
  EXPECT_TRUE(*planet->getGovernorType() == stringw(L"default"));

  // The repeat bit of any own object.
  setting(own, PSK_RepeatQueue, &player, bit(true));
  EXPECT_TRUE(own->hasFlag(FLAG_REPEAT_QUEUE));
  setting(own, PSK_RepeatQueue, &player, bit(false));
  EXPECT_FALSE(own->hasFlag(FLAG_REPEAT_QUEUE));
  setting(own, PSK_RepeatQueue, &player);  // the bit missing
  EXPECT_FALSE(own->hasFlag(FLAG_REPEAT_QUEUE));

  // Rally points are planets' only.
  const auto reference = [](uint32_t uid) { return [uid](RakNet::BitStream& s) { writeNetUInt(s, uid); }; };
  setting(planet, PSK_RallyPoint, &player, reference(own->uid));
  EXPECT_EQ(planet->linkedObject, own);
  setting(planet, PSK_RallyPoint, &player, reference(999999));
  EXPECT_EQ(planet->linkedObject, own) << "an unknown object";
  setting(planet, PSK_RallyPoint, &player);  // the reference missing
  EXPECT_EQ(planet->linkedObject, own);
  setting(own, PSK_RallyPoint, &player, reference(planet->uid));
  EXPECT_EQ(own->linkedObject, nullptr);
  setting(planet, PSK_RallyPoint, &player, reference(0));
  EXPECT_EQ(planet->linkedObject, nullptr);
  planet->clearBuildQueue();
}

TEST_F(ObjectRequestTest, ObjectCommandsForOwnObjects) {
  objHabitation* planet = planetOf(red, 4, 10.0f, vector3df(500, 0, 0));
  CountingShip* own = ship(red, vector3df(2000, 0, 0));
  CountingShip* foreign = ship(blue, vector3df(-515, 0, 0));
  const auto byte = [](uint8_t value) { return [value](RakNet::BitStream& s) { s.Write(value); }; };
  const auto bit = [](bool value) { return [value](RakNet::BitStream& s) { s.Write(value); }; };

  // Stances; hold fire releases the targets.
  const struct {
    uint8_t stance;
    AIStance after;
    int releases;
  } stances[] = {{AIS_HoldFire, AIS_HoldFire, 1}, {7, AIS_HoldFire, 1}, {AIS_Defend, AIS_Defend, 1},
                 {AIS_Engage, AIS_Engage, 1}};
  for (const auto& s : stances) {
    command(own, OCK_Stance, &player, byte(s.stance));
    EXPECT_EQ(queueOf(own).stance, s.after) << int(s.stance);
    EXPECT_EQ(own->targetReleases, s.releases) << int(s.stance);
  }
  command(own, OCK_CeaseFire, &player);
  EXPECT_EQ(own->targetReleases, 2);

  // Parking starts the park orbit about the system's star.
  auto* star = new TestObject(nullptr, OT_Star, L"Sun");
  star->radius = 50.0f;
  star->setContainer(system);
  MobileMover* mover = MobileMover::of(own);
  ASSERT_NE(mover, nullptr);
  command(own, OCK_Park, &player, bit(true));
  EXPECT_TRUE(mover->parked);
  EXPECT_EQ(mover->getParkedOrbitBody(), star);
  command(own, OCK_Park, &player, bit(false));
  EXPECT_FALSE(mover->parked);

  // Undock all.
  planet->dockSpace = 100.0f;
  CountingShip* guest = ship(red, vector3df(505, 0, 0));
  ASSERT_TRUE(planet->dockObject(guest));
  command(planet, OCK_UndockAll, &spectator);
  EXPECT_EQ(planet->docked.size(), 1u);
  command(planet, OCK_UndockAll, &player);
  EXPECT_EQ(planet->docked.size(), 0u);

  // Nothing for another empire's ship, nor from a spectator.
  for (NetPlayer* from : {&player, &spectator}) {
    command(foreign, OCK_Stance, from, byte(AIS_HoldFire));
    command(foreign, OCK_CeaseFire, from);
    command(foreign, OCK_Park, from, bit(true));
    EXPECT_EQ(queueOf(foreign).stance, AIS_Engage);
    EXPECT_EQ(foreign->targetReleases, 0);
    EXPECT_FALSE(MobileMover::of(foreign)->parked);
  }
}

TEST_F(ObjectRequestTest, BuildListNamesReachTheLocalPlayersEmpire) {
  registerObjectRequestReceivers(*networkManager);
  MessageReceiver* receiver = networkManager->receivers[ID_BUILD_LIST];
  ASSERT_NE(receiver, nullptr);
  const auto names = [](empire* emp) {
    std::vector<std::wstring> out;
    for (unsigned i = 0; i < emp->getBuildListCount(); ++i)
      out.emplace_back(emp->getBuildListName(i).c_str());
    return out;
  };
  const auto deliver = [&](const wchar_t* name) {
    Message message;
    writeNetStringW(message.stream, name, kMaxNetStringLength);
    receiver->handle(ID_BUILD_LIST, message.stream, nullptr);
  };

  playingEmpire = red;
  deliver(L"Ignored on a server");
  networkManager->isServer = false;
  deliver(L"Colonies");
  EXPECT_EQ(names(red), std::vector<std::wstring>{L"Colonies"});
  build_list* list = dynamic_cast<build_list*>(red->findBuildList(L"Colonies"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->rules.size(), 0u);
  Message cut;
  cut.stream.Write(uint8_t{5});
  receiver->handle(ID_BUILD_LIST, cut.stream, nullptr);
  EXPECT_EQ(names(red), std::vector<std::wstring>{L"Colonies"}) << "a short name";

  playingEmpire = nullptr;
  deliver(L"Nobody's");
  EXPECT_EQ(names(red), std::vector<std::wstring>{L"Colonies"});
  EXPECT_EQ(names(blue), std::vector<std::wstring>{});

  // The server's side: the name, reliable, on channel 0.
  sent.clear();
  sendBuildList(*networkManager, L"Colonies", RakNet::UNASSIGNED_SYSTEM_ADDRESS);
  ASSERT_EQ(sent.size(), 1u);
  RakNet::BitStream written;
  written.Write(ID_BUILD_LIST);
  writeNetStringW(written, L"Colonies", kMaxNetStringLength);
  EXPECT_EQ(sent[0].bytes, Bytes(written.GetData(), written.GetData() + written.GetNumberOfBytesUsed()));
  EXPECT_EQ(sent[0].channel, 0);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE);
}

// Every message of each kind, cut after any of its bytes, changes nothing;
// whole, it changes what it asks for.
TEST_F(ObjectRequestTest, MessagesCutShortChangeNothing) {
  objHabitation* planet = planetOf(red, 6);
  for (const wchar_t* name : {L"Mine", L"Dock", L"Dock"})
    ASSERT_TRUE(planet->addStructureFromDef(def(name)));
  setTech(2.0f);  // a rebuild of the mine raises its level
  fillQueue(planet, 3);
  CountingShip* own = ship(red);
  CountingShip* other = ship(red, vector3df(-2000, 0, 0));
  red->setBuildList(L"default", new build_list());
  using Snapshot = std::tuple<unsigned, constructible*, unsigned, bool, const stringw*, bool, generic_object*, unsigned,
                              int, bool, int>;
  const auto snapshot = [&] {
    return Snapshot(planet->buildQueue.size(), planet->buildQueue.empty() ? nullptr : planet->buildQueue[0],
                    planet->structures.size(), planet->usesGovernor(), planet->getGovernorType(),
                    planet->getRepeatQueue(), planet->linkedObject, own->ai->getOrderCount(), queueOf(own).stance,
                    MobileMover::of(own)->parked, own->targetReleases);
  };
  const auto bytes = [](uint8_t id, const std::function<void(RakNet::BitStream&)>& write) {
    RakNet::BitStream stream;
    stream.Write(id);
    write(stream);
    return Bytes(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
  };
  const auto withBuild = [&](uint8_t subKind, const std::function<void(RakNet::BitStream&)>& fields) {
    return bytes(ID_BUILD_QUEUE, [&](RakNet::BitStream& s) {
      s.Write(planet->uid);
      s.Write(subKind);
      fields(s);
    });
  };
  const auto withSetting = [&](uint8_t subKind, const std::function<void(RakNet::BitStream&)>& fields) {
    return bytes(ID_PLANET_SETTING, [&](RakNet::BitStream& s) {
      writeNetObjectRef(s, planet);
      s.Write(subKind);
      fields(s);
    });
  };
  const auto withCommand = [&](uint8_t subKind, const std::function<void(RakNet::BitStream&)>& fields) {
    return bytes(ID_OBJECT_COMMAND, [&](RakNet::BitStream& s) {
      s.Write(subKind);
      writeNetObjectRef(s, own);
      fields(s);
    });
  };
  const auto u32 = [](uint32_t value) { return [value](RakNet::BitStream& s) { s.Write(value); }; };
  const auto bit = [](bool value) { return [value](RakNet::BitStream& s) { s.Write(value); }; };
  Bytes moveMessage = bytes(ID_OBJECT_ORDER, [&](RakNet::BitStream& s) {
    s.Write(own->uid);
    s.Write(static_cast<uint8_t>(ORF_Append));
    move_order(vector3df(3, 0, -4), 10.0f).writeNetwork(s);
  });
  // Each message, and the length of its prefix that is a whole message of
  // a version-6 client (no count): 0 for none.
  const std::pair<Bytes, size_t> messages[] = {
      {moveMessage, 0},
      {withBuild(BRK_Structure, structureFields(L"Mine", 2)), 10},
      {withBuild(BRK_Structure, structureFields(L"Mine")), 0},
      {withBuild(BRK_Ship, shipFields(L"Scout", 2)), 17},
      {withBuild(BRK_Ship, shipFields(L"Scout")), 0},
      {withBuild(BRK_Rebuild, u32(0)), 0},
      {withBuild(kBuildRemoveStructure, u32(0)), 0},
      {withSetting(PSK_MoveItem,
                   [](RakNet::BitStream& s) {
                     s.Write(uint32_t{0});
                     s.Write(uint32_t{2});
                   }),
       0},
      {withSetting(PSK_RemoveItem, u32(0)), 0},
      {withSetting(PSK_UseGovernor, bit(true)), 0},
      {withSetting(PSK_GovernorType,
                   [](RakNet::BitStream& s) { writeNetStringW(s, L"default", kMaxNetStringLength); }),
       0},
      {withSetting(PSK_RepeatQueue, bit(true)), 0},
      {withSetting(PSK_RallyPoint, [&](RakNet::BitStream& s) { writeNetObjectRef(s, other); }), 0},
      {withCommand(OCK_Stance, [](RakNet::BitStream& s) { s.Write(static_cast<uint8_t>(AIS_HoldFire)); }), 0},
      {withCommand(OCK_Park, bit(true)), 0},
  };
  const auto deliver = [&](const Bytes& message) {
    Message m(message);
    switch (message[0]) {
      case ID_OBJECT_ORDER:
        handleOrderRequest(m.stream, &player);
        break;
      case ID_BUILD_QUEUE:
        handleBuildRequest(m.stream, &player);
        break;
      case ID_PLANET_SETTING:
        handlePlanetSetting(m.stream, &player);
        break;
      default:
        handleObjectCommand(m.stream, &player);
        break;
    }
  };
  for (size_t k = 0; k < sizeof messages / sizeof messages[0]; ++k) {
    SCOPED_TRACE("message " + std::to_string(k));
    const Bytes& message = messages[k].first;
    const Snapshot before = snapshot();
    for (size_t length = 1; length < message.size(); ++length) {
      if (length == messages[k].second)
        continue;
      deliver(Bytes(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(length)));
      EXPECT_EQ(snapshot(), before) << "cut to " << length << " bytes";
    }
    deliver(message);
    EXPECT_NE(snapshot(), before) << "whole";
  }
  planet->clearBuildQueue();
}

TEST(MimicConstructible, ReportsWhatTheServerSentAndNothingElse) {
  const struct {
    float progress;
    std::vector<std::pair<float, float>> costs;  // amount, paid
    float expected;
  } cases[] = {
      {-1.0f, {}, 0.0f},
      {0.25f, {}, 0.25f},
      {-1.0f, {{10.0f, 5.0f}, {30.0f, 5.0f}}, 0.25f},
      {0.0f, {{0.0f, 0.0f}}, 0.0f},
  };
  for (const auto& c : cases) {
    mimic_constructible item(L"Scout");
    EXPECT_EQ(item.progress, -1.0f);
    item.progress = c.progress;
    for (size_t i = 0; i < c.costs.size(); ++i) {
      constructible::cost& entry =
          PtrNamedVar<constructible::cost>::getOrAdd(item.costs, stringw(L"R") + stringw(int(i)), internCommonString)
              .value;
      entry.amount = c.costs[i].first;
      entry.paid = c.costs[i].second;
    }
    EXPECT_FLOAT_EQ(item.getProgress(), c.expected) << c.progress;
  }
  mimic_constructible item(L"Scout");
  EXPECT_TRUE(item.getName() == stringw(L"Scout"));
  EXPECT_TRUE(item.getType().empty());
  EXPECT_EQ(item.clone(), nullptr);
  StateList states;
  EXPECT_FALSE(item.payCosts(states, nullptr, 1.0f));
  auto stream = SaveStream::createInMemory();
  const size_t before = stream->memoryBytes().size();
  item.save(*stream);
  EXPECT_EQ(Bytes(stream->memoryBytes().begin() + static_cast<std::ptrdiff_t>(before), stream->memoryBytes().end()),
            Bytes{0});
}

}  // namespace

}  // namespace object_requests_test
