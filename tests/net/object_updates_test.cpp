// The object update batches (125): the entry a server writes for each
// object, the broadcast pass over the galaxy's systems and its packets, the
// client's reader that moves the mirrors, and the details pump that the
// reader's entry counter feeds.
#include <gtest/gtest.h>

#include <bitset>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/base/config.h"
#include "app/base/session_state.h"
#include "core/net_encoders.h"
#include "design/build/build_fixture.h"
#include "net/diplomacy_messages.h"
#include "net/network_manager.h"
#include "net/object_details.h"
#include "net/object_updates.h"
#include "object_updates_helpers.h"
#include "platform/bit_stream.h"
#include "support/bit_text.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/objects/mirror_objects.h"
#include "universe/objects/oddity.h"

namespace object_updates_test {

namespace {

using updatetest::Entry;
using updatetest::Packet;
using updatetest::readPacket;

std::string fieldBits(uint32_t value, unsigned width) {
  std::string text;
  for (unsigned i = width; i-- > 0;)
    text += ((value >> i) & 1) != 0 ? '1' : '0';
  return text;
}
std::string refBits(const generic_object* object) { return "0" + fieldBits(object->uid, 15); }
std::string u16Bits(uint32_t value) { return fieldBits(value, 16); }
std::string u8Bits(uint32_t value) { return fieldBits(value, 8); }
std::string floatBits(float value) {
  uint32_t word = 0;
  std::memcpy(&word, &value, sizeof word);
  return fieldBits(word, 32);
}

class UpdatesTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    scout = layoutOf(red, L"Scout", {L"Frame"});
    system->radius = 100.0f;
  }
  void TearDown() override {
    playingEmpire = nullptr;
    bSmallPackets = false;
    bLargePackets = false;
    {
      std::lock_guard<std::mutex> guard(networkManager->playersLock);
      networkManager->players.clear();
      for (generic_object* object : networkManager->watchedObjects)
        object->drop();
      networkManager->watchedObjects.clear();
    }
    setObjectUpdateEntryCounter(0);
    BuildTest::TearDown();
  }

  // A ship of `owner` under a mobile mover, in `place` (the system unless
  // given; null leaves it outside the tree), moving at `velocity`.
  objHulled* ship(empire* owner, const vector3df& position, generic_object* place, const vector3df& velocity) {
    auto* made = new objHulled(owner, owner == red ? scout : layoutOf(owner, L"Scout", {L"Frame"}), new MobileMover());
    made->radius = 1.0f;
    made->position = position;
    made->velocity = velocity;
    if (place != nullptr)
      made->setContainer(place);
    return made;
  }
  objHulled* movingShip(const vector3df& position = vector3df(10, 0, 0), generic_object* place = nullptr) {
    return ship(red, position, place != nullptr ? place : system, vector3df(3, 0, 0));
  }

  // A client's mirror ship of `owner` in `place`.
  sgHulled* mirror(empire* owner, generic_object* place, const vector3df& position = vector3df(0, 0, 0)) {
    auto* made = new sgHulled(owner, layoutOf(owner, L"Scout", {L"Frame"}), new FakeMobileMover());
    made->radius = 1.0f;
    made->position = position;
    made->setContainer(place);
    return made;
  }

  // An in-game player of `emp` (null: a spectator) at a made-up address.
  NetPlayer& addPlayer(uint64_t guid, empire* emp) {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    NetPlayer& player = networkManager->players[guid];
    player.emp = emp;
    player.hasGalaxy = 1;
    player.address.binaryAddress = static_cast<uint32_t>(0x0100007F + (guid << 24));
    player.address.port = static_cast<uint16_t>(12100 + guid);
    return player;
  }

  // The batches sent (to `target` alone, when given).
  std::vector<Packet> sentBatches(const RakNet::SystemAddress* target = nullptr) const {
    std::vector<Packet> packets;
    for (const SentMessage& message : sent)
      if (!message.bytes.empty() && message.bytes[0] == ID_OBJECT_UPDATES &&
          (target == nullptr || message.target == *target))
        packets.push_back(readPacket(message.bytes));
    return packets;
  }

  hull_list* scout = nullptr;
};

// --- writeObjectUpdate ---------------------------------------------------------

TEST_F(UpdatesTest, EntryEncodingTable) {
  galaxy->radius = 50000.0f;
  struct Case {
    const char* name;
    // Makes the object; returns the expected bits, or "-" for no entry.
    std::function<std::string(generic_object*&)> make;
  };
  const std::vector<Case> cases = {
      {"inside R = 3999: three 16-bit values in [-3999, 3999], angles wrapped",
       [&](generic_object*& object) {
         system->radius = 3998.0f;
         object = movingShip(vector3df(3999, 0, -3999));
         object->rotation.set(-90.0f, 0.0f, 405.0f);
         return refBits(object) + "1" + "1" + refBits(system) + u16Bits(65535) + u16Bits(32767) + u16Bits(0) +
                u8Bits(191) + u8Bits(0) + u8Bits(31) + "0";
       }},
      {"5000 units out from a small system, in open space (the galaxy named as 1): a raw vector",
       [&](generic_object*& object) {
         object = movingShip(vector3df(5000, 0, 0), galaxy);
         return refBits(object) + "1" + "1" + "0" + fieldBits(1, 15) + floatBits(5000) + floatBits(0) + floatBits(0) +
                u8Bits(0) + u8Bits(0) + u8Bits(0) + "0";
       }},
      {"parked and held by its active orbit: still",
       [&](generic_object*& object) {
         object = movingShip();
         MobileMover* mover = MobileMover::of(object);
         mover->setParked(true);
         mover->parkOrbit->active = true;
         return refBits(object) + "0" + "0";
       }},
      {"parked with an inactive orbit: still moving",
       [&](generic_object*& object) {
         object = movingShip(vector3df(0, 0, 0));
         MobileMover::of(object)->setParked(true);
         return refBits(object) + "1" + "1" + refBits(system) + u16Bits(32767) + u16Bits(32767) + u16Bits(32767) +
                u8Bits(0) + u8Bits(0) + u8Bits(0) + "0";
       }},
      {"a squared speed of 0.0025 is not moving",
       [&](generic_object*& object) {
         object = ship(red, vector3df(1, 1, 1), system, vector3df(0.05f, 0, 0));
         return refBits(object) + "0" + "0";
       }},
      {"attacked 3999 ms ago: under attack",
       [&](generic_object*& object) {
         object = ship(red, vector3df(1, 1, 1), system, vector3df());
         setObjectTestClock(10000);
         object->setLastAttacked(true);
         setObjectTestClock(13999);
         return refBits(object) + "0" + "1";
       }},
      {"an oddity writes nothing",
       [&](generic_object*& object) {
         object = new objOddity(nullptr, 0);
         object->setContainer(system);
         return std::string("-");
       }},
      {"moving without a container: no entry",
       [&](generic_object*& object) {
         object = ship(red, vector3df(1, 1, 1), nullptr, vector3df(5, 0, 0));
         return std::string("-");
       }},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    system->radius = 100.0f;
    setObjectTestClock(0);
    generic_object* object = nullptr;
    const std::string expected = row.make(object);
    RakNet::BitStream stream;
    stream.Write(uint8_t{0xA5});  // what the packet holds already stays
    uint32_t lastContainer = 0;
    const bool written = writeObjectUpdate(stream, *object, lastContainer);
    if (expected == "-") {
      EXPECT_FALSE(written);
      EXPECT_EQ(bitText(stream), u8Bits(0xA5));
      EXPECT_EQ(lastContainer, 0u);
    } else {
      EXPECT_TRUE(written);
      EXPECT_EQ(bitText(stream), u8Bits(0xA5) + expected);
    }
    if (object->container.load() == nullptr)
      object->destroyNow(true);  // gives up the creator's reference
  }
}

// The second of two moving entries in one container names no container;
// a third in another container names its own.
TEST_F(UpdatesTest, ConsecutiveEntriesShareTheirContainer) {
  solarSystem* other = addSystems(1)[0];
  other->radius = 100.0f;
  objHulled* first = movingShip(vector3df(0, 0, 0));
  objHulled* second = movingShip(vector3df(0, 0, 0));
  objHulled* third = movingShip(vector3df(0, 0, 0), other);
  const std::string still = u16Bits(32767) + u16Bits(32767) + u16Bits(32767) + u8Bits(0) + u8Bits(0) + u8Bits(0);
  RakNet::BitStream stream;
  uint32_t lastContainer = 0;
  ASSERT_TRUE(writeObjectUpdate(stream, *first, lastContainer));
  const std::string firstBits = bitText(stream);
  ASSERT_TRUE(writeObjectUpdate(stream, *second, lastContainer));
  ASSERT_TRUE(writeObjectUpdate(stream, *third, lastContainer));
  EXPECT_EQ(bitText(stream), firstBits + refBits(second) + "1" + "0" + still + "0" + refBits(third) + "1" + "1" +
                                 refBits(other) + still + "0");
  EXPECT_EQ(lastContainer, other->uid);
}

// A server's galaxy need not be UID 1 (a map that fell back to the empty
// galaxy makes its galaxy after the map's objects), but a joined client's
// is: an entry in open space names the galaxy as 1, a system by its own.
TEST_F(UpdatesTest, OpenSpaceIsNamedAsTheClientsGalaxy) {
  auto* other = new objGalaxy();
  other->radius = 50000.0f;
  ASSERT_NE(other->uid, 1u);
  objHulled* inOpenSpace = movingShip(vector3df(5000, 0, 0), other);
  objHulled* inSystem = movingShip(vector3df(0, 0, 0));
  RakNet::BitStream stream;
  uint32_t lastContainer = 0;
  ASSERT_TRUE(writeObjectUpdate(stream, *inOpenSpace, lastContainer));
  ASSERT_TRUE(writeObjectUpdate(stream, *inSystem, lastContainer));
  EXPECT_EQ(bitText(stream), refBits(inOpenSpace) + "1" + "1" + "0" + fieldBits(1, 15) + floatBits(5000) +
                                 floatBits(0) + floatBits(0) + u8Bits(0) + u8Bits(0) + u8Bits(0) + "0" +
                                 refBits(inSystem) + "1" + "1" + refBits(system) + u16Bits(32767) + u16Bits(32767) +
                                 u16Bits(32767) + u8Bits(0) + u8Bits(0) + u8Bits(0) + "0");
  other->destroyNow(true);
}

// --- The broadcast pass ----------------------------------------------------------

class BroadcastPass : public UpdatesTest {
 protected:
  // Ten systems in the galaxy's order, each with `shipsEach` moving ships
  // of red; red sees all but system 5.
  void SetUp() override {
    UpdatesTest::SetUp();
    systems.push_back(system);
    for (solarSystem* added : addSystems(9))
      systems.push_back(added);
    for (size_t s = 0; s < systems.size(); ++s) {
      systems[s]->radius = 100.0f;
      systems[s]->visibilityMask = s == 5 ? blue->ownBit : red->ownBit | blue->ownBit;
    }
    redAddress = addPlayer(1, red).address;
  }
  void fill(int shipsEach) {
    for (size_t s = 0; s < systems.size(); ++s)
      for (int k = 0; k < shipsEach; ++k)
        shipIn[movingShip(vector3df(static_cast<float>(k), 0, 0), systems[s])->uid] = s;
  }

  // The systems whose ships one pass wrote, in order of first appearance.
  std::vector<size_t> passSystems(bool firstPass) {
    sent.clear();
    runBroadcastPass(*networkManager, firstPass);
    std::vector<size_t> seen;
    for (const Packet& packet : sentBatches(&redAddress))
      for (const Entry& entry : packet.entries) {
        const auto found = shipIn.find(entry.uid);
        if (found != shipIn.end() && (seen.empty() || seen.back() != found->second))
          seen.push_back(found->second);
      }
    return seen;
  }

  std::vector<solarSystem*> systems;
  std::map<uint32_t, size_t> shipIn;
  RakNet::SystemAddress redAddress;
};

TEST_F(BroadcastPass, ModesTakeAlternateSystemsAndSkipUnseenOnes) {
  fill(2);
  EXPECT_EQ(passSystems(true), (std::vector<size_t>{1, 3, 7, 9}));     // 5 unseen
  EXPECT_EQ(passSystems(false), (std::vector<size_t>{0, 2, 4, 6, 8}));
  // Blue sees system 5 too: with blue in the game, its turn comes.
  addPlayer(2, blue);
  EXPECT_EQ(passSystems(true), (std::vector<size_t>{1, 3, 5, 7, 9}));
  // Each packet went to each in-game player, on channel 2, sequenced.
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.size(), 2 * sentBatches(&redAddress).size());
  for (const SentMessage& message : sent) {
    EXPECT_EQ(message.channel, kChannelObjectUpdates);
    EXPECT_EQ(message.reliability, RakNet::UNRELIABLE_SEQUENCED);
  }
}

// Packets are cut after the entry that takes them over the limit: none
// exceeds it by more than one entry, and each header counts its entries.
TEST_F(BroadcastPass, PacketsKeepToTheirLimitAndCountTheirEntries) {
  fill(120);
  gameTime = 12.5;
  gameSpeed = 2.0;
  constexpr size_t kLargestEntryBytes = 24;  // 16 + 1 + 1 + 33 + 96 + 24 + 1 bits, and a byte of slack
  struct Limit {
    bool small;
    bool large;
    size_t bytes;
  };
  for (const Limit& limit : {Limit{true, false, 750}, Limit{false, false, 1250}, Limit{false, true, 1650},
                             Limit{true, true, 750}}) {
    SCOPED_TRACE(limit.bytes);
    bSmallPackets = limit.small;
    bLargePackets = limit.large;
    sent.clear();
    runBroadcastPass(*networkManager, false);
    const std::vector<Packet> packets = sentBatches();
    ASSERT_GE(packets.size(), 3u);
    size_t entries = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
      const Packet& packet = packets[i];
      EXPECT_TRUE(packet.whole);
      EXPECT_EQ(packet.count, packet.entries.size());
      EXPECT_LE(packet.bytes, limit.bytes + kLargestEntryBytes);
      if (i + 1 < packets.size()) {
        EXPECT_GT(packet.bytes, limit.bytes);  // only the last one is sent before it is full
      }
      EXPECT_EQ(packet.time, 12.5);
      EXPECT_EQ(packet.speed, 2.0);
      // A new packet names its first container again.
      ASSERT_FALSE(packet.entries.empty());
      EXPECT_TRUE(packet.entries.front().newContainer);
      entries += packet.entries.size();
    }
    EXPECT_EQ(entries, 5u * 120u);
  }
  gameTime = 0.0;
  gameSpeed = 1.0;
}

// --- The client's reader -----------------------------------------------------------

// A batch as a server would send it, written field by field.
class BatchWriter {
 public:
  BatchWriter() = default;
  BatchWriter(uint16_t count, double time, double speed) { header(count, time, speed); }
  BatchWriter& header(uint16_t count, double time, double speed) {
    stream.Write(count);
    stream.Write(time);
    stream.Write(speed);
    return *this;
  }
  // A moving entry: `container` null keeps the packet's current one.
  BatchWriter& moving(uint32_t uid, const generic_object* container, float range, const vector3df& position,
                      const vector3df& rotation = vector3df(), bool attacked = false) {
    writeNetUInt(stream, uid);
    stream.Write1();
    stream.Write(container != nullptr);
    if (container != nullptr)
      writeNetObjectRef(stream, container);
    if (range < kQuantisedRadiusLimit) {
      for (float value : {position.X, position.Y, position.Z})
        writeNetFloat16(stream, value, -range, range);
    } else {
      stream.Write(position.X);
      stream.Write(position.Y);
      stream.Write(position.Z);
    }
    for (float value : {rotation.X, rotation.Y, rotation.Z})
      writeNetFloat8(stream, value, 0.0f, 360.0f);
    stream.Write(attacked);
    return *this;
  }
  BatchWriter& still(uint32_t uid, bool attacked = false) {
    writeNetUInt(stream, uid);
    stream.Write0();
    stream.Write(attacked);
    return *this;
  }
  RakNet::BitStream stream;
};

class ClientReader : public UpdatesTest {
 protected:
  void SetUp() override {
    UpdatesTest::SetUp();
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
    playingEmpire = red;
    gameTime = 10.0;
    gameSpeed = 1.0;
  }
  void TearDown() override {
    gameTime = 0.0;
    gameSpeed = 1.0;
    UpdatesTest::TearDown();
  }
  static FakeMobileMover& mirrorOf(generic_object* object) { return *FakeMobileMover::of(object); }
  static bool near(const vector3df& a, const vector3df& b, float tolerance) {
    return std::fabs(a.X - b.X) <= tolerance && std::fabs(a.Y - b.Y) <= tolerance && std::fabs(a.Z - b.Z) <= tolerance;
  }
  std::vector<generic_object*> watched() {
    std::lock_guard<std::mutex> guard(networkManager->playersLock);
    return {networkManager->watchedObjects.begin(), networkManager->watchedObjects.end()};
  }
};

TEST_F(ClientReader, BatchesMoveTheMirrorsEntryByEntry) {
  sgHulled* known = mirror(red, system, vector3df(1, 2, 3));
  solarSystem* far = addSystems(1)[0];
  far->radius = 200.0f;
  solarSystem* large = addSystems(1)[0];
  large->radius = 3500.0f;
  constexpr uint32_t kUnknown = 30000;
  const float range = system->radius + known->radius;
  const vector3df there(50, -20, 10);

  struct Case {
    const char* name;
    std::function<void(BatchWriter&)> batch;
    bool read;                 // the reader took the packet to its end
    bool moved;                // the known ship got `there` as its newest sample
    generic_object* container; // where the known ship is afterwards
    double speed;              // the game speed afterwards
  };
  const std::vector<Case> cases = {
      {"stamped before the client's time: ignored, speed and all",
       [&](BatchWriter& b) {
         b.header(1, 9.5, 3.0);
         b.moving(known->uid, system, range, there);
       },
       false, false, system, 1.0},
      {"a time that is not a number: ignored",
       [&](BatchWriter& b) {
         b.header(1, std::numeric_limits<double>::quiet_NaN(), 3.0);
         b.moving(known->uid, system, range, there);
       },
       false, false, system, 1.0},
      {"an unknown quantised entry is skipped and the next one read",
       [&](BatchWriter& b) {
         b.header(2, 10.5, 2.0);
         b.moving(kUnknown, system, 900.0f, vector3df(1, 1, 1)).moving(known->uid, nullptr, range, there);
       },
       true, true, system, 2.0},
      {"an unknown entry in an unknown container ends the packet",
       [&](BatchWriter& b) {
         b.header(2, 10.5, 2.0);
         // The first moving entry of a packet names no container.
         b.moving(kUnknown, nullptr, 900.0f, vector3df(1, 1, 1)).moving(known->uid, system, range, there);
       },
       false, false, system, 2.0},
      {"an unknown entry in a large container ends the packet",
       [&](BatchWriter& b) {
         b.header(2, 10.5, 2.0);
         b.moving(kUnknown, large, 1e9f, vector3df(9000, 0, 0)).moving(known->uid, system, range, there);
       },
       false, false, system, 2.0},
      {"a known ship whose container changed is moved there and placed",
       [&](BatchWriter& b) {
         b.header(1, 10.5, 1.5);
         b.moving(known->uid, far, far->radius + known->radius, there);
       },
       true, true, far, 1.5},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    if (known->container.load() != system)
      known->setContainer(system);
    known->position.set(1, 2, 3);
    gameSpeed = 1.0;
    FakeMobileMover& samples = mirrorOf(known);
    samples.latest.position.set(-1, -1, -1);
    samples.latest.time = 0.0;
    BatchWriter batch;
    row.batch(batch);
    EXPECT_EQ(readObjectUpdates(batch.stream), row.read);
    EXPECT_EQ(near(samples.latest.position, there, 0.1f), row.moved);
    if (row.moved) {
      EXPECT_DOUBLE_EQ(samples.latest.time, 10.5);
    }
    EXPECT_EQ(known->container.load(), row.container);
    if (row.container == far) {
      EXPECT_TRUE(near(known->position, there, 0.1f));
    }
    EXPECT_DOUBLE_EQ(gameSpeed, row.speed);
  }
}

// A still entry holds the mirror where it is at the batch's time; a moving
// one ends the mirrored orbit; the attack bit sets or clears the mark.
TEST_F(ClientReader, StillEntriesHoldAndMovingOnesLeaveTheOrbit) {
  sgHulled* ship = mirror(red, system, vector3df(4, 5, 6));
  FakeMobileMover& samples = mirrorOf(ship);
  samples.parkOrbit->active = true;
  setObjectTestClock(20000);
  BatchWriter still(1, 11.0, 1.0);
  still.still(ship->uid, true);
  ASSERT_TRUE(readObjectUpdates(still.stream));
  EXPECT_TRUE(near(samples.latest.position, vector3df(4, 5, 6), 0.0f));
  EXPECT_DOUBLE_EQ(samples.latest.time, 11.0);
  EXPECT_TRUE(samples.parkOrbit->active);
  EXPECT_TRUE(ship->isUnderAttack());

  BatchWriter moving(1, 11.5, 1.0);
  moving.moving(ship->uid, system, system->radius + ship->radius, vector3df(7, 8, 9), vector3df(0, 90, 0));
  ASSERT_TRUE(readObjectUpdates(moving.stream));
  EXPECT_FALSE(samples.parkOrbit->active);
  EXPECT_TRUE(near(samples.latest.position, vector3df(7, 8, 9), 0.01f));
  EXPECT_FALSE(ship->isUnderAttack());
}

// Every 177 entries the next known object is asked about, when it is the
// player's own: once, holding one reference.
TEST_F(ClientReader, TheEntryCounterWatchesOwnObjects) {
  sgHulled* own = mirror(red, system);
  sgHulled* foreign = mirror(blue, system);
  struct Case {
    const char* name;
    uint32_t counterBefore;
    generic_object* object;
    uint32_t counterAfter;
    size_t watchedAfter;
  };
  const int32_t ownReferences = own->refCount.load();
  const std::vector<Case> cases = {
      {"below 177: counted only", 175, own, 176, 0},
      {"at 177: reset and watched", 177, own, 1, 1},
      {"again: still watched once", 200, own, 1, 1},
      {"a foreign object resets the count and is not watched", 177, foreign, 1, 1},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    setObjectUpdateEntryCounter(row.counterBefore);
    BatchWriter batch(1, 12.0, 1.0);
    batch.still(row.object->uid);
    ASSERT_TRUE(readObjectUpdates(batch.stream));
    EXPECT_EQ(objectUpdateEntryCounter(), row.counterAfter);
    EXPECT_EQ(watched().size(), row.watchedAfter);
  }
  EXPECT_EQ(watched(), std::vector<generic_object*>{own});
  EXPECT_EQ(own->refCount.load(), ownReferences + 1);
  // Unknown entries count as well.
  setObjectUpdateEntryCounter(0);
  BatchWriter unknown(2, 12.0, 1.0);
  unknown.still(30001).still(30002);
  ASSERT_TRUE(readObjectUpdates(unknown.stream));
  EXPECT_EQ(objectUpdateEntryCounter(), 2u);
}

// --- The details pump --------------------------------------------------------------

// 25 watched objects leave in three polls of 10, 10 and 5 requests, each
// reliable and ordered on channel 0, and each object's reference goes with
// its request.
TEST_F(ClientReader, TheDetailsPumpSendsTenRequestsAPoll) {
  std::vector<generic_object*> objects;
  for (int i = 0; i < 25; ++i)
    objects.push_back(mirror(red, system));
  std::vector<int32_t> references;
  for (generic_object* object : objects) {
    references.push_back(object->refCount.load());
    networkManager->watchObject(object);
  }
  std::set<uint32_t> asked;
  for (size_t expected : {10u, 10u, 5u, 0u}) {
    sent.clear();
    networkManager->processPackets();
    size_t requests = 0;
    for (const SentMessage& message : sent) {
      if (message.bytes.empty() || message.bytes[0] != ID_OBJECT_DETAILS)
        continue;
      ++requests;
      EXPECT_EQ(message.channel, kChannelDetailRequests);
      EXPECT_EQ(message.reliability, RakNet::RELIABLE_ORDERED);
      RakNet::BitStream body(message.bytes.data(), message.bytes.size(), false);
      body.IgnoreBits(8);
      asked.insert(readNetUInt(body));
    }
    EXPECT_EQ(requests, expected);
  }
  EXPECT_EQ(asked.size(), 25u);
  for (size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(objects[i]->refCount.load(), references[i]);
  }
}

}  // namespace

}  // namespace object_updates_test
