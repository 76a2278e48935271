// The network form of the object tree (123) and the client's handling of
// object destruction (124) and object events (138): exact records, a whole
// galaxy written by a server and read back as a client's mirrors, records
// that must be refused, and hostile bodies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/net_encoders.h"
#include "design/hull_list.h"
#include "core/common_strings.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "net/message_receiver.h"
#include "net/object_receivers.h"
#include "net_fixture.h"
#include "support/network_child.h"
#include "support/space_empire.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/galaxygen/net_object_records.h"
#include "universe/movement/fake_mobile_mover.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/mirror_objects.h"
#include "universe/objects/object_states.h"
#include "universe/objects/oddity.h"
#include "universe/objects/solar_system.h"
#include "universe/objects/star.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet_types.h"

namespace object_records_test {

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const Bytes& bytes) {
  std::string out;
  char digits[4];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, out.empty() ? "%02X" : " %02X", byte);
    out += digits;
  }
  return out;
}

Bytes bytesOf(const RakNet::BitStream& stream) {
  const uint8_t* data = stream.GetData();
  return data == nullptr ? Bytes() : Bytes(data, data + stream.GetNumberOfBytesUsed());
}

// One message handed to the network manager.
struct Sent {
  Bytes bytes;
  size_t bits = 0;
  uint8_t channel = 0;
  RakNet::PacketReliability reliability = RakNet::UNRELIABLE;
};

// Records every message the manager is given while it lives.
class SendLog {
 public:
  SendLog() {
    networkManager->setSendObserver([this](const RakNet::BitStream& stream, uint8_t channel,
                                           RakNet::PacketReliability reliability, const RakNet::SystemAddress&) {
      std::lock_guard<std::mutex> guard(lock_);
      sent_.push_back({bytesOf(stream), stream.GetNumberOfBitsUsed(), channel, reliability});
    });
  }
  ~SendLog() { networkManager->setSendObserver({}); }
  SendLog(const SendLog&) = delete;
  SendLog& operator=(const SendLog&) = delete;

  std::vector<Sent> take() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<Sent> out;
    out.swap(sent_);
    return out;
  }
  std::vector<Sent> ofId(uint8_t id) {
    std::vector<Sent> out;
    for (Sent& sent : take())
      if (!sent.bytes.empty() && sent.bytes[0] == id)
        out.push_back(sent);
    return out;
  }

 private:
  std::mutex lock_;
  std::vector<Sent> sent_;
};

// The records `object` and its contents are sent as.
std::vector<Sent> recordsOf(generic_object& object) {
  SendLog log;
  RakNet::BitStream stream;
  writeObjectRecord(object, RakNet::UNASSIGNED_SYSTEM_ADDRESS, stream);
  return log.take();
}

// A message body as a handler gets it: the stream behind the id byte.
class Body {
 public:
  explicit Body(const Bytes& bytes, size_t length = SIZE_MAX)
      : stream_(bytes.data(), std::min(length, bytes.size()), true) {
    stream_.IgnoreBits(8);
  }
  RakNet::BitStream& stream() { return stream_; }

 private:
  RakNet::BitStream stream_;
};

bool readRecord(const Bytes& bytes, size_t length = SIZE_MAX) {
  Body body(bytes, length);
  return readObjectFromNetwork(body.stream());
}

// Gives an object another UID for as long as it lives (a record names its
// object and container by UID; the registry is not told).
class UidAs {
 public:
  UidAs(generic_object* object, uint32_t uid) : object_(object), saved_(object->uid) { object->uid = uid; }
  ~UidAs() { object_->uid = saved_; }
  UidAs(const UidAs&) = delete;
  UidAs& operator=(const UidAs&) = delete;

 private:
  generic_object* object_;
  uint32_t saved_;
};

template <class Kind, class Make>
Kind* claimed(uint32_t uid, const Make& make) {
  const ClaimedUid claim(uid);
  return make();
}

void destroyObject(generic_object* object) {
  if (object != nullptr && object->isValid())
    object->destroyNow(true);
}

// A bare world without a game: the space empire, empire 1 and empire 2,
// and three planet types (index 2 is "Gamma").
class BareWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    // A client reads the galaxy before it keeps system statistics.
    statisticsActive = false;
    clearObjectRegistry();
    registerSpaceEmpire();
    for (EmpireID id : {EmpireID(1), EmpireID(2)}) {
      auto* emp = new empire;
      emp->ID = id;
      registerEmpire(emp, true);
    }
    for (const wchar_t* name : {L"Alpha", L"Beta", L"Gamma"}) {
      auto& entry =
          PtrNamedVar<PlanetPhysicalType*>::getOrAdd(planetTypeRegistry(), irr::core::stringw(name), internCommonString);
      entry.value = new PlanetPhysicalType();
      entry.value->name = entry.name;
    }
  }
  void TearDown() override {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      destroyObject(*it);
      (*it)->drop();
    }
    made_.clear();
    deleteAllEmpires();
    clearPlanetTypes();
    clearObjectRegistry();
  }
  // Holds a reference on `object` until the end of the test, which
  // destroys it.
  template <class Kind>
  Kind* keep(Kind* object) {
    if (object != nullptr) {
      object->grab();
      made_.push_back(object);
    }
    return object;
  }

  // Destroys a kept object and lets it go at once.
  void discard(generic_object* object) {
    for (auto it = made_.begin(); it != made_.end(); ++it)
      if (*it == object) {
        made_.erase(it);
        destroyObject(object);
        object->drop();
        return;
      }
  }

  objGalaxy* makeGalaxy(uint32_t uid) {
    return keep(claimed<objGalaxy>(uid, [] { return new objGalaxy(); }));
  }
  solarSystem* makeSystemAt(uint32_t uid, objGalaxy* outer, const vector3df& position) {
    auto* system = keep(claimed<solarSystem>(uid, [] { return new solarSystem(); }));
    system->setContainer(outer);
    system->position = position;
    return system;
  }

  std::vector<generic_object*> made_;
};

// Records of a system and a planet, byte for byte, and read back.
TEST_F(BareWorld, SystemAndPlanetRecordsAreExact) {
  objGalaxy* outer = makeGalaxy(1);
  solarSystem* system = makeSystemAt(5, outer, vector3df(1, 2, 3));
  system->setOwner(nullptr);
  system->radius = 100.0f;
  system->name = L"Vega";
  const Bytes systemBytes = {0x7B, 0x00, 0x05, 0x00, 0x01, 0x05, 0x83, 0x42, 0xC8, 0x00, 0x00, 0x04, 0x56, 0x00,
                             0x65, 0x00, 0x67, 0x00, 0x61, 0x00, 0x40, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,
                             0x3F, 0x80, 0x00, 0x00};

  auto* planet = keep(claimed<objHabitation>(6, [] { return new objHabitation(getEmpireByID(1), nullptr); }));
  planet->setContainer(system);
  planet->radius = 10.0f;
  planet->name = L"Io";
  planet->position.set(3, 0, -4);
  planet->physicalType = planetTypeRegistry()[2].value;
  planet->setStructureSpace(12.0f);
  const Bytes planetTail = {0x40, 0xA0, 0x00, 0x00, 0x4C, 0xCC, 0x00, 0x00, 0x99,
                            0x9A, 0x00, 0x02, 0x41, 0x40, 0x00, 0x00, 0x00};
  Bytes planetBytes = {0x7B, 0x00, 0x06, 0x00, 0x05, 0x01, 0x01, 0x41, 0x20, 0x00, 0x00, 0x02, 0x49, 0x00, 0x6F, 0x00};
  planetBytes.insert(planetBytes.end(), planetTail.begin(), planetTail.end());

  const std::vector<Sent> sent = recordsOf(*system);
  ASSERT_EQ(sent.size(), 2u);  // the system, then what it contains
  EXPECT_EQ(hex(sent[0].bytes), hex(systemBytes));
  EXPECT_EQ(sent[0].channel, kChannelObjectRecords);
  EXPECT_EQ(sent[0].reliability, RakNet::RELIABLE_ORDERED);
  EXPECT_EQ(hex(sent[1].bytes), hex(planetBytes));
  EXPECT_EQ(sent[1].bits, 257u);

  // With UID 40000 both references take 33 bits: the name is padded to
  // byte 15.
  {
    const UidAs big(planet, 40000);
    Bytes expected = {0x7B, 0x80, 0x00, 0x4E, 0x20, 0x00, 0x02, 0x80, 0x80, 0xA0,
                      0x90, 0x00, 0x00, 0x01, 0x00, 0x49, 0x00, 0x6F, 0x00};
    expected.insert(expected.end(), planetTail.begin(), planetTail.end());
    const std::vector<Sent> bigSent = recordsOf(*planet);
    ASSERT_EQ(bigSent.size(), 1u);
    EXPECT_EQ(hex(bigSent[0].bytes), hex(expected));
  }

  // Read back by a client: the originals go first, the galaxy stays.
  discard(planet);
  discard(system);
  ASSERT_EQ(getObjectByUID(5), nullptr);
  ASSERT_TRUE(readRecord(systemBytes));
  ASSERT_TRUE(readRecord(planetBytes));

  generic_object* readSystem = getObjectByUID(5);
  ASSERT_NE(readSystem, nullptr);
  keep(readSystem);
  EXPECT_EQ(readSystem->getType(), OT_System);
  EXPECT_EQ(readSystem->container.load(), outer);
  EXPECT_EQ(readSystem->getOwner(), nullptr);
  EXPECT_EQ(readSystem->radius, 100.0f);
  EXPECT_FLOAT_EQ(static_cast<solarSystem*>(readSystem)->radiusSquared, 10000.0f);
  EXPECT_EQ(readSystem->name, irr::core::stringw(L"Vega"));
  EXPECT_EQ(readSystem->position, vector3df(1, 2, 3));

  auto* readPlanet = dynamic_cast<sgHabitation*>(getObjectByUID(6));
  ASSERT_NE(readPlanet, nullptr);
  keep(readPlanet);
  EXPECT_EQ(readPlanet->container.load(), readSystem);
  EXPECT_EQ(readPlanet->getOwner(), getEmpireByID(1));
  EXPECT_EQ(readPlanet->radius, 10.0f);
  EXPECT_EQ(readPlanet->name, irr::core::stringw(L"Io"));
  EXPECT_NEAR(readPlanet->position.X, 2.99997f, 1e-5);
  EXPECT_EQ(readPlanet->position.Y, 0.0f);
  EXPECT_NEAR(readPlanet->position.Z, -4.00006f, 1e-5);
  EXPECT_EQ(readPlanet->physicalType, planetTypeRegistry()[2].value);
  EXPECT_EQ(readPlanet->getStructureSpace(), 12.0f);
  EXPECT_NE(dynamic_cast<UnitAI_Forwarder*>(readPlanet->ai), nullptr);
  ASSERT_NE(FakeMobileMover::of(readPlanet), nullptr);
  EXPECT_EQ(FakeMobileMover::of(readPlanet)->latest.position, readPlanet->position);
  // The owner's "planets" in the system counts it.
  EXPECT_EQ(statValue(getEmpireStats(*readSystem->systemStats, getEmpireByID(1)), L"planets"), 1.0f);
}

TEST_F(BareWorld, ShipLayoutNameIsByteAlignedAndLayoutsAreFoundOrMade) {
  objGalaxy* outer = makeGalaxy(1);
  solarSystem* system = makeSystemAt(5, outer, vector3df());
  empire* owner = getEmpireByID(1);
  auto* layout = new hull_list(layout_desc(), owner, true);
  layout->name = L"Scout";
  layout->scale = 1.5f;
  layout->role = 2;
  {
    ScopedWriteLock guard(owner->locks[EA_HullLayouts]);
    NamedVar<hull_list*>::getOrAdd(owner->hulls, layout->name).value = layout;
  }
  auto* ship = keep(claimed<objHulled>(7, [&] { return new objHulled(owner, layout, new MobileMover()); }));
  ship->setContainer(system);
  ship->radius = 2.0f;
  ship->name = L"S";
  ship->position.set(0, 0, 0);

  // ... position 0 (32 bits), the 1 bit, the length 5, padding, "Scout",
  // owner 1, scale 1.5, class 2, then no thrust and no park orbit.
  const Bytes expected = {0x7B, 0x00, 0x07, 0x00, 0x05, 0x03, 0x01, 0x40, 0x00, 0x00, 0x00, 0x01, 0x53,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x82, 0x80, 0x53, 0x00, 0x63, 0x00, 0x6F, 0x00,
                          0x75, 0x00, 0x74, 0x00, 0x01, 0x3F, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00};
  const std::vector<Sent> sent = recordsOf(*ship);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(hex(sent[0].bytes), hex(expected));

  discard(ship);
  ASSERT_EQ(getObjectByUID(7), nullptr);
  ASSERT_TRUE(readRecord(expected));
  auto* mirror = dynamic_cast<sgHulled*>(getObjectByUID(7));
  ASSERT_NE(mirror, nullptr);
  keep(mirror);
  EXPECT_EQ(mirror->getHull(), layout);  // the owner's layout of that name
  EXPECT_NE(dynamic_cast<UnitAI_Forwarder*>(mirror->ai), nullptr);
  EXPECT_EQ(mirror->getOwner(), owner);

  // A layout the owner does not have: a placeholder filed under the name.
  Bytes unknown = expected;
  unknown[2] = 0x08;     // UID 8
  unknown[20] = 0x54;    // "Tcout"
  unknown[31] = 0x40;    // scale 2
  unknown[32] = 0x00;
  ASSERT_TRUE(readRecord(unknown));
  auto* second = dynamic_cast<sgHulled*>(getObjectByUID(8));
  ASSERT_NE(second, nullptr);
  keep(second);
  ASSERT_NE(second->getHull(), nullptr);
  EXPECT_EQ(second->getHull()->getName(), irr::core::stringw(L"Tcout"));
  EXPECT_EQ(second->getHull()->scale, 2.0f);
  EXPECT_EQ(second->getHull()->role, 2u);
  {
    ScopedReadLock guard(owner->locks[EA_HullLayouts]);
    const irr::s32 index = NamedVar<hull_list*>::find(owner->hulls, irr::core::stringw(L"Tcout"));
    ASSERT_GE(index, 0);
    EXPECT_EQ(owner->hulls[static_cast<irr::u32>(index)].value, second->getHull());
  }

  // The 0 bit: the unknown layout of the space empire.
  RakNet::BitStream noLayout;
  noLayout.Write(kMsgObjectRecord);
  writeNetUInt(noLayout, 9);
  writeNetUInt(noLayout, 5);
  noLayout.Write(uint8_t(OT_Hulled));
  noLayout.Write(uint8_t(1));
  noLayout.Write(1.0f);
  writeNetStringW(noLayout, L"X", 255);
  noLayout.WriteVector(0, 0, 0);
  noLayout.Write0();
  noLayout.Write0();  // mover: no thrust
  ASSERT_TRUE(readRecord(bytesOf(noLayout)));
  auto* third = dynamic_cast<sgHulled*>(getObjectByUID(9));
  ASSERT_NE(third, nullptr);
  keep(third);
  ASSERT_NE(third->getHull(), nullptr);
  EXPECT_EQ(third->getHull()->getName(), irr::core::stringw(L"Unknown Hull Layout"));
  EXPECT_EQ(third->getHull()->owner, getEmpireByID(kSpaceEmpireID));
}

TEST_F(BareWorld, AnOddityCarriesItsOrbitAsReversedBlocks) {
  objGalaxy* outer = makeGalaxy(1);
  solarSystem* system = makeSystemAt(5, outer, vector3df());
  auto* orbit = new OrbitMover();
  const float state[OrbitMoverBase::kStateFloats] = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 0.25f, 0.75f};
  orbit->setStateFloats(state);
  orbit->centre.set(10, 20, 30);
  auto* oddity = keep(claimed<objOddity>(11, [&] { return new objOddity(orbit, ODT_Comet); }));
  oddity->setContainer(system);
  oddity->name = L"Comet";
  oddity->radius = 2.0f;
  oddity->position.set(0, 0, 0);

  const std::vector<Sent> sent = recordsOf(*oddity);
  ASSERT_EQ(sent.size(), 1u);
  // Header 11 bytes, name 11, kind 8 bits, position 32, the bit, 320 + 96.
  EXPECT_EQ(sent[0].bits, (11 + 11) * 8 + 8 + 32 + 1 + 320 + 96u);
  // The orbit bit is bit 7 of byte 27; the state's last float follows
  // first, most significant byte first: 0.75 is 3F 40 00 00.
  EXPECT_EQ(sent[0].bytes[27], 0x80 | (0x3F >> 1));
  EXPECT_EQ(sent[0].bytes[28], ((0x3F << 7) | (0x40 >> 1)) & 0xFF);

  discard(oddity);
  ASSERT_TRUE(readRecord(sent[0].bytes));
  auto* read = dynamic_cast<objOddity*>(getObjectByUID(11));
  ASSERT_NE(read, nullptr);
  keep(read);
  EXPECT_EQ(read->getOddityType(), ODT_Comet);
  auto* readOrbit = dynamic_cast<OrbitMover*>(read->mover);
  ASSERT_NE(readOrbit, nullptr);
  float readState[OrbitMoverBase::kStateFloats];
  readOrbit->getStateFloats(readState);
  for (int i = 0; i < OrbitMoverBase::kStateFloats; ++i)
    EXPECT_EQ(readState[i], state[i]) << i;
  EXPECT_EQ(readOrbit->centre, vector3df(10, 20, 30));
}

// A record's UID goes to the object the reader makes, never to an object
// that another thread makes meanwhile. The other thread's objects keep their
// own UIDs; a record whose UID one of them took first is refused.
TEST_F(BareWorld, TheRecordsUidGoesToTheObjectItMakesOnly) {
  objGalaxy* outer = makeGalaxy(1);
  constexpr uint32_t kFirst = 1000000;
  constexpr uint32_t kEnd = kFirst + 400;
  std::atomic<bool> stop{false};
  std::vector<generic_object*> madeElsewhere;
  std::thread other([&] {
    while (!stop.load() && madeElsewhere.size() < 20000)
      madeElsewhere.push_back(new solarSystem());
  });
  struct Joiner {
    std::atomic<bool>& stop;
    std::thread& thread;
    ~Joiner() {
      stop = true;
      if (thread.joinable())
        thread.join();
    }
  } joiner{stop, other};
  std::vector<uint32_t> accepted;
  for (uint32_t uid = kFirst; uid < kEnd; uid += 2) {
    RakNet::BitStream record;
    record.Write(kMsgObjectRecord);
    writeNetUInt(record, uid);
    writeNetUInt(record, 1);
    record.Write(uint8_t(OT_System));
    record.Write(uint8_t(kInvalidEmpireID));
    record.Write(1.0f);
    writeNetStringW(record, L"R", 255);
    const float position[3] = {0, 0, 0};
    record.WriteReversedBlock(position, sizeof position);
    if (readRecord(bytesOf(record)))
      accepted.push_back(uid);
  }
  stop = true;
  other.join();
  ASSERT_FALSE(accepted.empty());
  EXPECT_EQ(accepted.front(), kFirst);
  for (uint32_t uid : accepted) {
    generic_object* read = getObjectByUID(uid);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->name, irr::core::stringw(L"R"));
    EXPECT_EQ(read->container.load(), outer);
    keep(read);
  }
  for (generic_object* object : madeElsewhere) {
    EXPECT_EQ(getObjectByUID(object->uid), object) << object->uid;
    EXPECT_TRUE(object->name.empty());
    object->destroyNow(true);
  }
  EXPECT_GE(uidHighWater.load(), accepted.back());
  EXPECT_GT(nextUid.load(), accepted.back());
}

// A mirror planet loses a structure without its events (the server ran
// them): the entry goes and is freed; an index out of range does nothing.
TEST_F(BareWorld, AMirrorPlanetRemovesAStructureQuietly) {
  auto* planet = keep(new sgHabitation(getEmpireByID(kSpaceEmpireID), new FakeMobileMover()));
  for (int i = 0; i < 2; ++i) {
    objHabitation::structEntry entry;
    entry.system = new subSystem();
    entry.record.system = entry.system;
    entry.record.state = SS_Active;
    planet->structures.push_back(entry);
  }
  const subSystem* second = planet->structures[1].system;
  planet->removeStructureQuietly(2);
  EXPECT_EQ(planet->structures.size(), 2u);
  planet->removeStructureQuietly(0);
  ASSERT_EQ(planet->structures.size(), 1u);
  EXPECT_EQ(planet->structures[0].system, second);
  EXPECT_NE(dynamic_cast<UnitAI_Forwarder*>(planet->ai), nullptr);
}

// Records that must change nothing.
TEST_F(BareWorld, RefusedRecordsMakeNothing) {
  objGalaxy* outer = makeGalaxy(1);
  solarSystem* system = makeSystemAt(5, outer, vector3df());
  auto* planet = keep(claimed<objHabitation>(6, [] { return new objHabitation(getEmpireByID(1), nullptr); }));
  planet->setContainer(system);
  planet->physicalType = planetTypeRegistry()[1].value;
  planet->name = L"Io";
  auto* ship = keep(claimed<objHulled>(7, [&] {
    return new objHulled(getEmpireByID(1), getUnknownHullLayout(), new MobileMover());
  }));
  ship->setContainer(system);
  ship->name = L"Ship";
  static_cast<MobileMover*>(ship->mover)->thrust = 2.0f;
  Bytes planetRecord = recordsOf(*planet).at(0).bytes;
  Bytes shipRecord = recordsOf(*ship).at(0).bytes;
  discard(planet);
  discard(ship);
  planetRecord[2] = 0x08;  // UID 8
  shipRecord[2] = 0x09;    // UID 9

  Bytes unknownContainer = planetRecord;
  unknownContainer[4] = 0x44;  // container 68
  Bytes typePastTable = planetRecord;
  const size_t typeAt = planetRecord.size() - 7;  // u16 index, f32 space, mover bit
  ASSERT_EQ(typePastTable[typeAt + 1], 0x01);
  typePastTable[typeAt + 1] = 0x03;
  Bytes systemInSystem = recordsOf(*system).at(0).bytes;
  systemInSystem[2] = 0x0A;
  systemInSystem[4] = 0x05;  // inside system 5

  const uint32_t before = registeredObjectCount();
  struct Case {
    const char* what;
    Bytes bytes;
  };
  Bytes comet = recordsOf(*system).at(0).bytes;
  {
    RakNet::BitStream odd;
    odd.Write(kMsgObjectRecord);
    writeNetUInt(odd, 12);
    writeNetUInt(odd, 5);
    odd.Write(uint8_t(OT_Oddity));
    odd.Write(uint8_t(kSpaceEmpireID));
    odd.Write(1.0f);
    writeNetStringW(odd, L"Odd", 255);
    odd.Write(uint8_t(7));  // neither asteroid nor comet
    odd.WriteVector(1, 2, 3);
    odd.Write0();
    comet = bytesOf(odd);
  }
  const Case cases[] = {
      {"unknown container", unknownContainer},
      {"an unknown oddity kind", comet},
      {"planet type past the table", typePastTable},
      {"a system inside a system", systemInSystem},
      {"a UID that exists", recordsOf(*system).at(0).bytes},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(readRecord(c.bytes)) << c.what;
    EXPECT_EQ(registeredObjectCount(), before) << c.what;
  }
  for (const Bytes* record : {&planetRecord, &shipRecord}) {
    for (size_t length = 1; length < record->size(); ++length) {
      EXPECT_FALSE(readRecord(*record, length)) << length;
      EXPECT_EQ(registeredObjectCount(), before) << length;
    }
  }
  // Whole, each is taken once; the second copy changes nothing.
  for (const Bytes* record : {&planetRecord, &shipRecord}) {
    ASSERT_TRUE(readRecord(*record));
    const uint32_t afterFirst = registeredObjectCount();
    EXPECT_FALSE(readRecord(*record));
    EXPECT_EQ(registeredObjectCount(), afterFirst);
  }
  keep(getObjectByUID(8));
  keep(getObjectByUID(9));
  EXPECT_EQ(FakeMobileMover::of(getObjectByUID(9))->thrust, 1.0f);
}

// --- A whole galaxy ------------------------------------------------------------

struct Snapshot {
  int type = 0;
  uint32_t containerUid = 0;
  const empire* owner = nullptr;
  irr::core::stringw name;
  float radius = 0.0f;
  vector3df position;
  const hull_list* layout = nullptr;
  bool thrust = false;
  bool orbiting = false;
  float orbitState[OrbitMoverBase::kStateFloats] = {};
  uint32_t orbitedUid = 0;
  float temperature = 0.0f;
};

void snapshotTree(generic_object& object, std::map<uint32_t, Snapshot>& out) {
  Snapshot& shot = out[object.uid];
  shot.type = object.getType();
  shot.containerUid = object.container.load() != nullptr ? object.container.load()->uid : 0;
  shot.owner = object.getOwner();
  shot.name = object.name;
  shot.radius = object.radius;
  shot.position = object.position;
  if (shot.type == OT_Hulled)
    shot.layout = static_cast<objHulled&>(object).getHull();
  if (const MobileMover* mobile = MobileMover::of(&object)) {
    shot.thrust = mobile->thrust > 0.0f;
    shot.orbiting = mobile->parkOrbitInUse();
    if (shot.orbiting) {
      mobile->parkOrbit->getStateFloats(shot.orbitState);
      shot.orbitedUid = mobile->parkOrbit->orbited != nullptr ? mobile->parkOrbit->orbited->uid : 0;
    }
  }
  if (const State* temperature = findObjectState(&object, L"Temp K"))
    shot.temperature = temperature->value.val;
  for (irr::u32 i = 0; i < object.children.size(); ++i)
    snapshotTree(*object.children[i].get(), out);
}

netfixture::ServerOptions offline() {
  netfixture::ServerOptions options;
  options.startPeer = false;
  return options;
}

// Acts as a connected client while it lives (nothing is sent: no peer).
class ClientRole {
 public:
  ClientRole() {
    networkManager->isServer = false;
    networkManager->isNetworked = true;
    networkManager->isConnected = true;
    gameRulesActive = false;
    statisticsActive = false;
  }
  ~ClientRole() {
    networkManager->isNetworked = false;
    networkManager->isConnected = false;
  }
};

TEST(ObjectRecordsGalaxy, EveryObjectOfTheTinyMapComesBackAsTheClientsMirror) {
  netfixture::ServerFixture server(offline());
  ASSERT_NE(galaxy, nullptr);
  // Ships besides the map's objects: one at rest, one with thrust, one
  // circling a planet.
  empire* red = server.aiEmpire(0);
  ASSERT_NE(red, nullptr);
  solarSystem* first = nullptr;
  objHabitation* planet = nullptr;
  for (irr::u32 i = 0; i < galaxy->children.size() && first == nullptr; ++i)
    if (galaxy->children[i]->getType() == OT_System)
      first = static_cast<solarSystem*>(galaxy->children[i].get());
  ASSERT_NE(first, nullptr);
  for (irr::u32 i = 0; i < first->children.size() && planet == nullptr; ++i)
    if (first->children[i]->getType() == OT_Planet)
      planet = static_cast<objHabitation*>(first->children[i].get());
  ASSERT_NE(planet, nullptr);
  auto* layout = new hull_list(layout_desc(), red, true);
  layout->name = L"Courier";
  {
    ScopedWriteLock guard(red->locks[EA_HullLayouts]);
    NamedVar<hull_list*>::getOrAdd(red->hulls, layout->name).value = layout;
  }
  std::vector<objHulled*> ships;
  for (int i = 0; i < 3; ++i) {
    Hull_Desc desc;
    desc.set_hull(layout);
    desc.Owner = red;
    desc.Position = vector3df(100.0f * i, 0, 50);
    ships.push_back(createShipObject(desc, first));
    ASSERT_NE(ships.back(), nullptr);
  }
  MobileMover::of(ships[1])->thrust = 3.0f;
  MobileMover::of(ships[2])->orbitAround(*ships[2], planet);

  const uint32_t thrustingUid = ships[1]->uid;
  const uint32_t orbitingUid = ships[2]->uid;
  std::map<uint32_t, Snapshot> server_objects;
  std::vector<Sent> records;
  for (irr::u32 i = 0; i < galaxy->children.size(); ++i) {
    snapshotTree(*galaxy->children[i].get(), server_objects);
    for (Sent& sent : recordsOf(*galaxy->children[i].get()))
      records.push_back(sent);
  }
  ASSERT_EQ(records.size(), server_objects.size());
  std::map<const empire*, std::map<uint32_t, float>> planetsBySystem;
  for (const auto& entry : server_objects)
    if (entry.second.type == OT_Planet)
      planetsBySystem[entry.second.owner][entry.second.containerUid] += 1.0f;

  // The client: the same empires, a galaxy of the server's UID, no objects.
  const uint32_t galaxyUid = galaxy->uid;
  destroySessionGalaxy();
  ASSERT_EQ(registeredObjectCount(), 0u);
  const ClientRole client;
  {
    const ClaimedUid claim(galaxyUid);
    galaxy = new objGalaxy();
    galaxy->grab();  // the session's reference, as a new game's galaxy has it
  }
  for (const Sent& sent : records) {
    EXPECT_EQ(sent.channel, kChannelObjectRecords);
    EXPECT_TRUE(readRecord(sent.bytes));
  }
  EXPECT_EQ(registeredObjectCount(), server_objects.size() + 1);

  size_t kinds[6] = {};
  for (const auto& entry : server_objects) {
    const Snapshot& expected = entry.second;
    SCOPED_TRACE(irr::core::stringc(expected.name).c_str());
    generic_object* read = getObjectByUID(entry.first);
    ASSERT_NE(read, nullptr);
    ++kinds[read->getType() % 6];
    EXPECT_EQ(read->getType(), expected.type);
    ASSERT_NE(read->container.load(), nullptr);
    EXPECT_EQ(read->container.load()->uid, expected.containerUid);
    EXPECT_EQ(read->getOwner(), expected.owner);
    EXPECT_EQ(read->name, expected.name);
    EXPECT_EQ(read->radius, expected.radius);
    const float tolerance = 1e-4f * (expected.position.getLength() + 1.0f);
    EXPECT_NEAR(read->position.X, expected.position.X, tolerance);
    EXPECT_NEAR(read->position.Y, expected.position.Y, tolerance);
    EXPECT_NEAR(read->position.Z, expected.position.Z, tolerance);
    switch (expected.type) {
      case OT_Planet:
        ASSERT_NE(dynamic_cast<sgHabitation*>(read), nullptr);
        EXPECT_NE(dynamic_cast<UnitAI_Forwarder*>(read->ai), nullptr);
        break;
      case OT_Hulled:
        ASSERT_NE(dynamic_cast<sgHulled*>(read), nullptr);
        EXPECT_EQ(static_cast<sgHulled*>(read)->getHull(), expected.layout);
        EXPECT_NE(dynamic_cast<UnitAI_Forwarder*>(read->ai), nullptr);
        break;
      case OT_Star: {
        const State* temperature = findObjectState(read, L"Temp K");
        ASSERT_NE(temperature, nullptr);
        EXPECT_EQ(temperature->value.val, expected.temperature);
        EXPECT_EQ(temperature->value.max, expected.temperature);
        const State* damage = findObjectState(read, L"Damage");
        ASSERT_NE(damage, nullptr);
        EXPECT_FLOAT_EQ(damage->value.max, expected.radius * expected.radius * expected.radius * 1e6f);
        break;
      }
      default:
        break;
    }
    if (expected.type == OT_Planet || expected.type == OT_Star || expected.type == OT_Hulled) {
      const FakeMobileMover* mirror = FakeMobileMover::of(read);
      ASSERT_NE(mirror, nullptr);
      EXPECT_EQ(mirror->thrust, expected.thrust ? 1.0f : 0.0f);
      EXPECT_EQ(mirror->parkOrbit->active, expected.orbiting);
      if (expected.orbiting) {
        float state[OrbitMoverBase::kStateFloats];
        mirror->parkOrbit->getStateFloats(state);
        for (int i = 0; i < OrbitMoverBase::kStateFloats; ++i)
          EXPECT_EQ(state[i], expected.orbitState[i]) << i;
        const generic_object* orbited = mirror->parkOrbit->orbited;
        EXPECT_EQ(orbited != nullptr ? orbited->uid : 0u, expected.orbitedUid);
      }
    }
  }
  EXPECT_EQ(kinds[OT_System], 3u);
  EXPECT_EQ(kinds[OT_Star], 3u);
  EXPECT_GE(kinds[OT_Planet], 3u);
  EXPECT_EQ(kinds[OT_Hulled], 3u);
  EXPECT_EQ(kinds[OT_Oddity], 1u);
  EXPECT_TRUE(server_objects[thrustingUid].thrust);
  EXPECT_TRUE(server_objects[orbitingUid].orbiting);

  // The owners' "planets" in each system count the planets read.
  for (const auto& byOwner : planetsBySystem)
    for (const auto& bySystem : byOwner.second) {
      generic_object* system = getObjectByUID(bySystem.first);
      ASSERT_NE(system, nullptr);
      EXPECT_EQ(statValue(getEmpireStats(*system->systemStats, const_cast<empire*>(byOwner.first)), L"planets"),
                bySystem.second);
    }
}

// --- Destruction and object events on a client ------------------------------------

class ClientEvents : public ::testing::Test {
 protected:
  ClientEvents() : server_(offline()) {
    for (irr::u32 i = 0; i < galaxy->children.size() && system_ == nullptr; ++i)
      if (galaxy->children[i]->getType() == OT_System)
        system_ = static_cast<solarSystem*>(galaxy->children[i].get());
  }

  sgHulled* mirrorShip(const vector3df& position, uint32_t uid = 0) {
    auto make = [&] { return new sgHulled(server_.aiEmpire(0), getUnknownHullLayout(), new FakeMobileMover()); };
    sgHulled* ship = uid != 0 ? claimed<sgHulled>(uid, make) : make();
    ship->setContainer(system_);
    ship->position = position;
    return ship;
  }
  sgHabitation* mirrorPlanet() {
    auto* planet = new sgHabitation(getEmpireByID(kSpaceEmpireID), new FakeMobileMover());
    planet->setContainer(system_);
    planet->dockSpace = 1e6f;
    return planet;
  }

  netfixture::ServerFixture server_;
  solarSystem* system_ = nullptr;
};

Bytes eventBytes(const generic_object* object, uint8_t event, const std::function<void(RakNet::BitStream&)>& rest) {
  RakNet::BitStream stream;
  stream.Write(kMsgObjectEvent);
  writeNetObjectRef(stream, object);
  stream.Write(event);
  if (rest)
    rest(stream);
  return bytesOf(stream);
}

bool applyEvent(const Bytes& bytes, size_t length = SIZE_MAX) {
  Body body(bytes, length);
  return readObjectEvent(body.stream());
}

TEST_F(ClientEvents, DestructionFindsTheObjectAndAnUnknownUidDoesNothing) {
  ASSERT_NE(system_, nullptr);
  const ClientRole client;
  sgHulled* ship = mirrorShip(vector3df(10, 0, 0));
  const uint32_t count = registeredObjectCount();

  RakNet::BitStream unknown;
  unknown.Write(kMsgObjectDestroyed);
  unknown.Write(uint32_t(987654));
  Body unknownBody(bytesOf(unknown));
  EXPECT_TRUE(readObjectDestroyed(unknownBody.stream()));
  EXPECT_EQ(registeredObjectCount(), count);

  RakNet::BitStream known;
  known.Write(kMsgObjectDestroyed);
  known.Write(ship->uid);
  Body knownBody(bytesOf(known));
  ship->grab();
  EXPECT_TRUE(readObjectDestroyed(knownBody.stream()));
  EXPECT_TRUE(ship->hasFlag(FLAG_DESTROY));
  ship->tick(0.0f);  // the next tick carries the destruction out
  EXPECT_FALSE(ship->isValid());
  ship->drop();
}

TEST_F(ClientEvents, OwnerDockUndockAndUnknownEvents) {
  ASSERT_NE(system_, nullptr);
  const ClientRole client;
  sgHulled* ship = mirrorShip(vector3df(10, 0, 0));
  sgHabitation* host = mirrorPlanet();

  struct OwnerCase {
    uint8_t id;
    EmpireID expected;
  };
  for (const OwnerCase& c : {OwnerCase{kInvalidEmpireID, kSpaceEmpireID}, OwnerCase{2, 2}, OwnerCase{77, kSpaceEmpireID}}) {
    EXPECT_TRUE(applyEvent(eventBytes(ship, 0, [&](RakNet::BitStream& s) { s.Write(c.id); })));
    ASSERT_NE(ship->getOwner(), nullptr);
    EXPECT_EQ(ship->getOwner()->ID, c.expected) << int(c.id);
  }

  // Dock, then an undock past the count (ignored), then undock 0 at the
  // sent place.
  EXPECT_TRUE(applyEvent(eventBytes(host, 1, [&](RakNet::BitStream& s) { writeNetObjectRef(s, ship); })));
  ASSERT_EQ(host->docked.size(), 1u);
  EXPECT_EQ(ship->container.load(), nullptr);
  auto undock = [&](uint32_t index) {
    return eventBytes(host, 2, [&](RakNet::BitStream& s) {
      s.Write(index);
      writeNetObjectRef(s, ship);
      s.Write(7.0f);
      s.Write(-8.0f);
      s.Write(9.0f);
      s.Write(123.0f);
    });
  };
  EXPECT_TRUE(applyEvent(undock(1)));
  EXPECT_EQ(host->docked.size(), 1u);
  const Bytes undockFirst = undock(0);
  for (size_t length = 1; length < undockFirst.size(); ++length)
    EXPECT_FALSE(applyEvent(undockFirst, length)) << length;
  EXPECT_EQ(host->docked.size(), 1u);
  EXPECT_TRUE(applyEvent(undockFirst));
  EXPECT_EQ(host->docked.size(), 0u);
  EXPECT_EQ(ship->container.load(), system_);
  EXPECT_EQ(ship->position, vector3df(7, -8, 9));
  EXPECT_EQ(ship->rotation, vector3df(0, 123, 0));
  EXPECT_EQ(FakeMobileMover::of(ship)->latest.position, vector3df(7, -8, 9));

  // Event 9, and events cut short, change nothing.
  empire* owner = ship->getOwner();
  EXPECT_FALSE(applyEvent(eventBytes(ship, 9, [](RakNet::BitStream& s) { s.Write(uint8_t(2)); })));
  const Bytes ownerEvent = eventBytes(ship, 0, [](RakNet::BitStream& s) { s.Write(uint8_t(2)); });
  for (size_t length = 1; length < ownerEvent.size(); ++length)
    EXPECT_FALSE(applyEvent(ownerEvent, length));
  EXPECT_EQ(ship->getOwner(), owner);
}

// A server takes none of the three from anyone.
TEST_F(ClientEvents, AServerIgnoresThem) {
  ASSERT_NE(system_, nullptr);
  server_.manager.isServer = true;
  RakNet::BitStream record;
  record.Write(kMsgObjectRecord);
  writeNetUInt(record, 900000);
  writeNetObjectRef(record, galaxy);
  record.Write(uint8_t(OT_System));
  record.Write(uint8_t(kInvalidEmpireID));
  record.Write(1.0f);
  writeNetStringW(record, L"", 255);
  const float position[3] = {0, 0, 0};
  record.WriteReversedBlock(position, sizeof position);
  RakNet::BitStream destroyed;
  destroyed.Write(kMsgObjectDestroyed);
  destroyed.Write(system_->uid);
  const Bytes owner = eventBytes(system_, 0, [](RakNet::BitStream& s) { s.Write(uint8_t(2)); });
  const empire* ownerBefore = system_->getOwner();
  for (const Bytes& bytes : {bytesOf(record), bytesOf(destroyed), owner}) {
    const auto receiver = server_.manager.receivers.find(bytes[0]);
    ASSERT_NE(receiver, server_.manager.receivers.end()) << int(bytes[0]);
    Body body(bytes);
    receiver->second->handle(bytes[0], body.stream(), nullptr);
  }
  server_.manager.isServer = false;
  EXPECT_EQ(getObjectByUID(900000), nullptr);
  EXPECT_FALSE(system_->hasFlag(FLAG_DESTROY));
  EXPECT_EQ(system_->getOwner(), ownerBefore);
}

// A server's orbitAround reaches the mirror of the same UID.
TEST_F(ClientEvents, AServersOrbitReachesTheMirror) {
  ASSERT_NE(system_, nullptr);
  empire* red = server_.aiEmpire(0);
  objHabitation* planet = nullptr;
  for (irr::u32 i = 0; i < system_->children.size() && planet == nullptr; ++i)
    if (system_->children[i]->getType() == OT_Planet)
      planet = static_cast<objHabitation*>(system_->children[i].get());
  ASSERT_NE(planet, nullptr);
  auto* serverShip = new objHulled(red, getUnknownHullLayout(), new MobileMover());
  serverShip->setContainer(system_);
  serverShip->position.set(500, 5, 20);

  server_.manager.isServer = true;
  std::vector<Sent> starts;
  std::vector<Sent> ends;
  float state[OrbitMoverBase::kStateFloats];
  vector3df offset;
  {
    SendLog log;
    MobileMover::of(serverShip)->orbitAround(*serverShip, planet);
    starts = log.ofId(kMsgObjectEvent);
    MobileMover::of(serverShip)->parkOrbit->getStateFloats(state);
    offset = MobileMover::of(serverShip)->parkOrbit->centreOffset;
    MobileMover::of(serverShip)->orbitAround(*serverShip, nullptr);
    ends = log.ofId(kMsgObjectEvent);
  }
  server_.manager.isServer = false;
  ASSERT_EQ(starts.size(), 1u);
  ASSERT_EQ(ends.size(), 1u);

  // The client's mirror of that ship.
  const uint32_t uid = serverShip->uid;
  serverShip->destroyNow(true);
  ASSERT_EQ(getObjectByUID(uid), nullptr);
  const ClientRole client;
  sgHulled* mirror = mirrorShip(vector3df(500, 5, 20), uid);
  ASSERT_EQ(mirror->uid, uid);

  for (size_t length = 1; length < starts[0].bytes.size(); ++length)
    EXPECT_FALSE(applyEvent(starts[0].bytes, length)) << length;
  EXPECT_FALSE(FakeMobileMover::of(mirror)->parkOrbit->active);
  EXPECT_TRUE(applyEvent(starts[0].bytes));
  const OrbitOtherMover& orbit = *FakeMobileMover::of(mirror)->parkOrbit;
  EXPECT_TRUE(orbit.active);
  float mirrored[OrbitMoverBase::kStateFloats];
  orbit.getStateFloats(mirrored);
  for (int i = 0; i < OrbitMoverBase::kStateFloats; ++i)
    EXPECT_EQ(mirrored[i], state[i]) << i;
  EXPECT_EQ(orbit.centreOffset, offset);
  EXPECT_EQ(orbit.orbited, planet);

  EXPECT_TRUE(applyEvent(ends[0].bytes));
  EXPECT_FALSE(orbit.active);
  EXPECT_EQ(orbit.orbited, nullptr);
}

// Live: a ship made while the game runs reaches an in-game player as 123 on
// channel 4, its destruction as 124 on channel 9; read by a client, the
// record makes the ship with the server's UID and the 124 destroys it.
TEST(ObjectRecordsLive, ANewShipAndItsDestructionReachThePlayers) {
  privatenet::runInPrivateNetwork([] {
    netfixture::ServerFixture server;
    server.manager.isHosting = true;
    netprobe::Probe probe;
    empire* red = server.aiEmpire(0);
    ASSERT_NE(server.attach(probe, red), nullptr);
    solarSystem* system = nullptr;
    for (irr::u32 i = 0; i < galaxy->children.size() && system == nullptr; ++i)
      if (galaxy->children[i]->getType() == OT_System)
        system = static_cast<solarSystem*>(galaxy->children[i].get());
    ASSERT_NE(system, nullptr);

    SendLog log;
    Hull_Desc desc;
    desc.set_hull(getUnknownHullLayout());
    desc.Owner = red;
    desc.Position = vector3df(40, 0, 60);
    objHulled* ship = createShipObject(desc, system);
    ASSERT_NE(ship, nullptr);
    const uint32_t uid = ship->uid;
    const std::vector<Sent> records = log.ofId(kMsgObjectRecord);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].channel, kChannelObjectRecords);
    EXPECT_EQ(records[0].reliability, RakNet::RELIABLE_ORDERED);
    const std::optional<netprobe::Got> record = probe.waitFor(kMsgObjectRecord, server.polling());
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->bytes, records[0].bytes);

    ship->destroyNow(false);
    const std::vector<Sent> destroyed = log.ofId(kMsgObjectDestroyed);
    ASSERT_EQ(destroyed.size(), 1u);
    EXPECT_EQ(destroyed[0].channel, 9);
    EXPECT_EQ(destroyed[0].reliability, RakNet::RELIABLE);
    const std::optional<netprobe::Got> gone = probe.waitFor(kMsgObjectDestroyed, server.polling());
    ASSERT_TRUE(gone.has_value());
    ASSERT_EQ(getObjectByUID(uid), nullptr);

    // What the player received, read by a client.
    const ClientRole client;
    ASSERT_TRUE(readRecord(record->bytes));
    generic_object* mirror = getObjectByUIDRef(uid);
    ASSERT_NE(mirror, nullptr);
    EXPECT_NE(dynamic_cast<sgHulled*>(mirror), nullptr);
    EXPECT_EQ(mirror->container.load(), system);
    EXPECT_EQ(mirror->getOwner(), red);
    Body body(gone->bytes);
    EXPECT_TRUE(readObjectDestroyed(body.stream()));
    EXPECT_TRUE(mirror->hasFlag(FLAG_DESTROY));
    mirror->tick(0.0f);
    EXPECT_FALSE(mirror->isValid());
    mirror->drop();

    // A second 124 for the UID, now unknown, does nothing.
    const uint32_t count = registeredObjectCount();
    Body again(gone->bytes);
    EXPECT_TRUE(readObjectDestroyed(again.stream()));
    EXPECT_EQ(registeredObjectCount(), count);
  });
}

// While the game is not loaded, or without hosting, nothing is broadcast.
TEST(ObjectRecordsLive, OnlyALoadedHostedGameBroadcastsNewObjects) {
  netfixture::ServerFixture server(offline());
  solarSystem* system = nullptr;
  for (irr::u32 i = 0; i < galaxy->children.size() && system == nullptr; ++i)
    if (galaxy->children[i]->getType() == OT_System)
      system = static_cast<solarSystem*>(galaxy->children[i].get());
  ASSERT_NE(system, nullptr);
  Hull_Desc desc;
  desc.set_hull(getUnknownHullLayout());
  desc.Owner = server.aiEmpire(0);
  struct Case {
    bool hosting;
    bool loaded;
    size_t records;
  };
  for (const Case& c : {Case{false, true, 0}, Case{true, false, 0}, Case{true, true, 1}}) {
    server.manager.isHosting = c.hosting;
    gameLoaded = c.loaded;
    SendLog log;
    ASSERT_NE(createShipObject(desc, system), nullptr);
    EXPECT_EQ(log.ofId(kMsgObjectRecord).size(), c.records) << c.hosting << c.loaded;
  }
  server.manager.isHosting = false;
}

// Random and cut bodies of 123, 124 and 138 from a hostile server.
TEST_F(ClientEvents, HostileBodiesCrashNothing) {
  ASSERT_NE(system_, nullptr);
  const ClientRole client;
  sgHulled* ship = mirrorShip(vector3df(10, 0, 0));
  sgHabitation* host = mirrorPlanet();
  std::vector<Bytes> valid;
  for (const Sent& sent : recordsOf(*galaxy))
    valid.push_back(sent.bytes);
  valid.push_back(eventBytes(host, 1, [&](RakNet::BitStream& s) { writeNetObjectRef(s, ship); }));
  valid.push_back(eventBytes(ship, 0, [](RakNet::BitStream& s) { s.Write(uint8_t(3)); }));

  std::mt19937 random(65);
  const uint8_t ids[] = {kMsgObjectRecord, kMsgObjectDestroyed, kMsgObjectEvent};
  for (int round = 0; round < 10000; ++round) {
    Bytes bytes;
    if (round % 2 == 0) {
      bytes.push_back(ids[random() % 3]);
      const size_t length = random() % 64;
      for (size_t i = 0; i < length; ++i)
        bytes.push_back(static_cast<uint8_t>(random()));
      // Mostly UIDs that exist, in the compact form.
      if (bytes.size() > 3 && random() % 2 == 0) {
        bytes[1] = 0;
        bytes[2] = static_cast<uint8_t>(random() % 64);
      }
    } else {
      bytes = valid[random() % valid.size()];
      bytes.resize(1 + random() % bytes.size());
      if (!bytes.empty() && random() % 4 == 0)
        bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    Body body(bytes);
    switch (bytes[0]) {
      case kMsgObjectRecord:
        readObjectFromNetwork(body.stream());
        break;
      case kMsgObjectDestroyed:
        readObjectDestroyed(body.stream());
        break;
      default:
        readObjectEvent(body.stream());
        break;
    }
  }
}

}  // namespace

}  // namespace object_records_test
