// The object tree of a saved game: a whole galaxy written and read back
// (fields and bytes), the base record's repairs, the parent rules, refused
// UIDs and nesting, child counts, an old (version 7) tree, the system
// record (mask, statistics, repairs), cut files, and the UID counter.
#include "universe/galaxygen/object_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/net_encoders.h"
#include "core/post_load.h"
#include "design/effects/resources.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe/galaxygen/galaxy_generation.h"
#include "universe/movement/mobile_mover.h"
#include "universe/movement/orbit_movers.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/oddity.h"
#include "universe/objects/star.h"
#include "universe/orders/movement_orders.h"
#include "universe/orders/unit_ai.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"
#include "universe_fixture.h"

namespace object_tree_test {

using irr::core::stringw;

namespace {

constexpr SaveFileError kNoError{0, "no error"};
constexpr SaveFileError kMalformed{5, "Object tree malformed"};

std::string narrow(const stringw& text) { return irr::core::stringc(text).c_str(); }

std::string text(const vector3df& v) {
  std::ostringstream out;
  out << "(" << v.X << "," << v.Y << "," << v.Z << ")";
  return out.str();
}

// Everything a record carries about `object` and the objects under it, as
// text, so that a loaded tree compares with the one that was saved.
void describe(std::ostringstream& out, generic_object* object, int depth) {
  out << std::string(static_cast<size_t>(depth) * 2, ' ') << object->getType() << " #" << object->uid << " '"
      << narrow(object->name) << "' r=" << object->radius << " m=" << object->baseMass << " at"
      << text(object->position) << " turn" << text(object->rotation) << " v" << text(object->velocity)
      << " cargo=" << object->cargoUsed << "/" << object->cargoSpace << " dock=" << object->dockSpace
      << " flags=" << (object->flags.load() & (FLAG_IN_FLEET | FLAG_REPEAT_QUEUE | FLAG_ALWAYS_VISIBLE))
      << " owner=" << static_cast<int>(object->owner->ID);
  for (irr::u32 i = 0; i < object->states.size(); ++i) {
    const State& state = *object->states[i];
    const storedAmount& a = state.value;
    const bool known = a.resource == findResource(state.entryName());
    out << " [" << narrow(state.entryName()) << " " << a.val << "/" << a.required << "/" << a.max << "/" << a.inCargo
        << (known ? "" : a.resource == defaultResource() ? " default" : " wrong") << "]";
  }
  if (auto* mobile = dynamic_cast<MobileMover*>(object->mover)) {
    out << " mobile parked=" << mobile->parked;
    if (mobile->parkOrbit != nullptr)
      out << " around #" << (mobile->parkOrbit->orbited != nullptr ? mobile->parkOrbit->orbited->uid : 0);
  } else if (auto* orbit = dynamic_cast<OrbitMover*>(object->mover)) {
    out << " orbit active=" << orbit->active << " radius=" << orbit->orbitRadius;
  }
  if (auto* unit = dynamic_cast<UnitAI*>(object->ai)) {
    out << " ai stance=" << static_cast<int>(unit->stance) << " orders=" << unit->orders.size();
    for (const Order* order : unit->orders)
      out << " " << static_cast<int>(order->getType()) << text(order->getDestination());
  }
  if (auto* planet = dynamic_cast<objHabitation*>(object)) {
    out << " pop=" << planet->population << "/" << planet->maxPopulation
        << " type=" << (planet->physicalType != nullptr ? narrow(*planet->physicalType->name) : "-");
    for (irr::u32 i = 0; i < planet->conditions.size(); ++i)
      out << " +" << narrow(planet->conditions[i]->id);
  }
  if (auto* oddity = dynamic_cast<objOddity*>(object))
    out << " oddity=" << oddity->oddityType;
  if (auto* system = dynamic_cast<solarSystem*>(object)) {
    out << " mask=" << system->visibilityMask.load();
    if (object->getType() == OT_System)  // a new galaxy keeps a system's
      out << " r2=" << system->radiusSquared;
    std::vector<std::string> entries;
    for (irr::u32 i = 0; i < system->systemStats->size(); ++i) {
      const Stats& entry = (*system->systemStats)[i];
      std::ostringstream line;
      line << " {" << static_cast<int>(entry.emp->ID);
      for (irr::u32 v = 0; v < entry.values->size(); ++v)
        line << " " << narrow((*entry.values)[v].entryName()) << "=" << (*entry.values)[v].value;
      line << "}";
      entries.push_back(line.str());
    }
    std::sort(entries.begin(), entries.end());  // the list is ordered by address
    for (const std::string& entry : entries)
      out << entry;
  }
  out << "\n";
  for (irr::u32 i = 0; i < object->children.size(); ++i) {
    EXPECT_EQ(object->children[i]->container.load(), object);
    describe(out, object->children[i].get(), depth + 1);
  }
}

std::string describe(generic_object* root) {
  std::ostringstream out;
  describe(out, root, 0);
  return out.str();
}

// A file of the common strings section and the tree under `root`.
Bytes saveFile(generic_object* root) {
  auto stream = SaveStream::createInMemory();
  writeCommonStringsSection(*stream);
  saveObjectTree(*stream, root);
  return stream->memoryBytes();
}

// Hand-made files: the common strings section, then records as a save of
// `version` lays them out.
class HandFile {
 public:
  explicit HandFile(int32_t version) : version_(version), stream_(SaveStream::createInMemory()) {
    internCommonString(L"prs");
    writeCommonStringsSection(*stream_);
  }

  // A record up to its flags byte (and the owner's ID with flag 0x20):
  // kind, UID, name, radius 1, mass 1, position (x, y, z), no rotation,
  // velocity or cargo.
  HandFile& object(uint32_t kind, uint32_t uid, uint8_t flags = 0, vector3df at = {}, EmpireID ownerId = 0) {
    SaveStream& s = *stream_;
    s.writePackedUInt(kind);
    s.writePackedUInt(uid);
    s.writeString(L"Hand");
    s.writeFloat(1.0f);
    s.writeDouble(1.0);
    if (version_ < 8) {
      s.writeU64(0);  // unused
      s.writeFloat(at.Z);
    }
    const float eight[8] = {at.X, at.Y, 0, 0, 0, 0, 0, 0};
    s.writePackedFloats8(eight);
    const float four[4] = {version_ < 8 ? 0.0f : at.Z, 0, 0, 0};
    s.writePackedFloats4(four);
    s.writeU8(flags);
    if ((flags & 0x20) != 0)
      empireId(ownerId);
    return *this;
  }

  HandFile& empireId(EmpireID id) {
    if (version_ < 12)
      stream_->writeI32(id);
    else
      stream_->writeEmpireId(id);
    return *this;
  }

  struct Entry {
    EmpireID id;
    float presence;
  };
  // A system's own fields: the mask (version 35 on) and the entries, each
  // with its "prs".
  HandFile& systemFields(uint32_t mask, const std::vector<Entry>& entries = {}) {
    if (version_ >= 35)
      stream_->writeU32(mask);
    stream_->writeU16(static_cast<uint16_t>(entries.size()));
    for (const Entry& entry : entries) {
      empireId(entry.id);
      stream_->writeU16(1);
      saveCommonString(*stream_, L"prs");
      stream_->writeFloat(entry.presence);
    }
    return *this;
  }

  HandFile& count(uint32_t children) {
    if (version_ < 8)
      stream_->writeU16(static_cast<uint16_t>(children));
    else
      writeChildCount(*stream_, children);
    return *this;
  }

  HandFile& u8(uint8_t value) {
    stream_->writeU8(value);
    return *this;
  }
  HandFile& u16(uint16_t value) {
    stream_->writeU16(value);
    return *this;
  }

  // An empty galaxy of its own UID, ready for `children` records.
  HandFile& galaxy(uint32_t uid, uint32_t children) { return object(OT_Galaxy, uid).systemFields(0).count(children); }

  Bytes file() const { return withHeader(writtenBody(*stream_), version_); }

 private:
  int32_t version_;
  std::unique_ptr<SaveStream> stream_;
};

class SavedTreeTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space = registerSpaceEmpire();
    clearPostObjectTreeSteps();
    savedNextUid = nextUid.load();
    uidHighWater = 1;
    rock = new PlanetPhysicalType;
    rock->name = internCommonString(L"Rock");
    PtrNamedVar<PlanetPhysicalType*>::getOrAdd(planetTypeRegistry(), L"Rock", internCommonString).value = rock;
    hot = new planetCondition;
    hot->id = L"Hot";
    PtrNamedVar<planetCondition*>::getOrAdd(planetConditionRegistry(), L"Hot", internCommonString).value = hot;
    const std::filesystem::path file = scratchDir() / "resources.xml";
    std::ofstream(file, std::ios::binary) << R"(<resource name="Ore"><canBeCargo/></resource>)";
    loadResources(file.string().c_str());
  }

  void TearDown() override {
    // Loads set the UID counter back; later tests continue above it.
    nextUid = std::max(savedNextUid, nextUid.load());
    uidHighWater = 1;
    clearPostObjectTreeSteps();
    clearPlanetTypes();
    clearResources();
    UniverseTest::TearDown();
  }

  // Reads `file` as the loader does: the strings, the tree, the post-load
  // steps. The galaxy, or null with `error` set.
  objGalaxy* load(const Bytes& file, SaveFileError* error = nullptr, generic_object** partial = nullptr) {
    objGalaxy* loaded = nullptr;
    const SaveFileError thrown = saveErrorOf([&] {
      auto reader = readerOver(file);
      readCommonStringsSection(*reader);
      loaded = loadObjectTree(*reader, partial);
      EXPECT_EQ(reader->remaining(), 0u) << "the whole tree is read";
      runPostObjectTreeSteps();
    });
    clearPostObjectTreeSteps();  // as a failed load abandons them
    if (error != nullptr)
      *error = thrown;
    else
      EXPECT_EQ(thrown, kNoError);
    return loaded;
  }

  // A galaxy with a system (a star with its "Temp K", a planet of red's
  // with states, an orbit around the star, an AI with an order, and a
  // condition, and a comet), and a planet of blue's in open space.
  objGalaxy* buildGalaxy() {
    auto* made = new objGalaxy();
    made->radius = 200000.0f;
    auto* system = new solarSystem();
    system->name = L"Vega";
    system->position.set(1000.0f, 0.0f, -500.0f);
    system->setContainer(made);
    system->visibilityMask = 3;

    auto* star = new objStar(system, nullptr);
    star->name = L"Vega";
    star->radius = 12.0f;
    getOrAddObjectState(star, L"Temp K")->value.val = 5800.0f;

    Orbit_Desc orbit;
    orbit.radius = 150.0f;
    orbit.posInYear = 0.25f;
    orbit.setCenter(star);
    vector3df start;
    auto* planet = new objHabitation(red, createOrbitMover(orbit, start, nullptr));
    planet->name = L"Vega I";
    planet->radius = 5.0f;
    planet->setBaseMass(2.5e15);
    planet->position.set(3.0f, -4.0f, 5.5f);
    planet->rotation.set(0.0f, 90.0f, 0.0f);
    planet->cargoSpace = 40.0f;
    planet->cargoUsed = 1.5f;
    planet->physicalType = rock;
    planet->conditions.push_back(hot);
    planet->population = 6.0f;
    planet->maxPopulation = 12.0f;
    State* ore = getOrAddObjectState(planet, L"Ore");
    ore->value.val = 7.0f;
    ore->value.max = 50.0f;
    ore->value.required = 1.0f;
    ore->value.inCargo = 2.0f;
    getOrAddObjectState(planet, L"Unknown Goods")->value.val = 3.0f;
    static_cast<UnitAI*>(planet->ai)->stance = AIS_HoldFire;
    planet->ai->appendOrder(new move_order(vector3df(10.0f, 0.0f, 20.0f), 4.0f));
    planet->setFlag(FLAG_IN_FLEET);
    planet->setContainer(system);

    auto* orbiting = new OrbitMover();
    orbiting->active = true;
    orbiting->setOrbit(90.0f, 1.0f, 35.0f, 0.5f, 1.0f, 0.2f, 2.5f, 0.0f);
    auto* comet = new objOddity(orbiting, ODT_Comet);
    comet->name = L"Comet";
    comet->setRepeatQueue(true);
    comet->velocity.set(0.5f, 0.0f, -0.25f);
    comet->setContainer(system);

    auto* wanderer = new objHabitation(blue, nullptr);
    wanderer->name = L"Rogue";
    wanderer->physicalType = rock;
    wanderer->position.set(-9000.0f, 0.0f, 9000.0f);
    wanderer->setContainer(made);
    return made;
  }

  empire* space = nullptr;
  uint32_t savedNextUid = 1;
  PlanetPhysicalType* rock = nullptr;
  planetCondition* hot = nullptr;
};

TEST_F(SavedTreeTest, AGalaxyReadsBackWithEveryFieldAndWritesTheSameBytes) {
  objGalaxy* original = buildGalaxy();
  const std::string expected = describe(original);
  const Bytes file = saveFile(original);
  original->destroyNow(true);
  ASSERT_EQ(registeredObjectCount(), 0u);

  objGalaxy* loaded = load(file);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(describe(loaded), expected);
  EXPECT_EQ(hexText(saveFile(loaded)), hexText(file));

  // What the description takes on trust.
  EXPECT_EQ(loaded->radius, 200000.0f);
  ASSERT_EQ(loaded->systems.size(), 1u);
  solarSystem* system = loaded->systems[0];
  ASSERT_EQ(system->children.size(), 3u);
  generic_object* star = system->children[0].get();
  auto* planet = dynamic_cast<objHabitation*>(system->children[1].get());
  ASSERT_NE(planet, nullptr);
  EXPECT_EQ(findObjectState(planet, L"Ore")->value.resource, findResource(L"Ore"));
  EXPECT_EQ(findObjectState(planet, L"Unknown Goods")->value.resource, defaultResource());
  EXPECT_EQ(static_cast<MobileMover*>(planet->mover)->parkOrbit->orbited, star);
  EXPECT_EQ(planet->ownerRates, &red->rateRecord);
  EXPECT_EQ(red->objects.count(planet), 1u);
  EXPECT_EQ(red->getStat(L"Planet"), 0.0f) << "a loaded planet is not counted again (the empire's record holds it)";
  EXPECT_EQ(getObjectByUID(planet->uid), planet);
  EXPECT_EQ(planet->refCount.load(), 2) << "its own and its system's";
  EXPECT_EQ(space->objects.count(system), 0u) << "systems are not among their owner's objects";
  EXPECT_EQ(space->objects.count(star), 1u);
  loaded->destroyNow(true);
  EXPECT_TRUE(red->objects.empty() && blue->objects.empty() && space->objects.empty());
}

TEST_F(SavedTreeTest, ChildCountsTakeOneByteBelow255) {
  struct Case {
    int32_t version;
    uint32_t count;
    const char* bytes;
  };
  const Case cases[] = {
      {35, 0, "00"},
      {35, 254, "FE"},
      {35, 255, "FF FF 00 00 00"},
      {35, 300, "FF 2C 01 00 00"},
      {8, 70000, "FF 70 11 01 00"},
      {7, 300, "2C 01"},  // read only: older saves count in 16 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    if (c.version >= 8) {
      auto stream = SaveStream::createInMemory();
      writeChildCount(*stream, c.count);
      EXPECT_EQ(hexText(writtenBody(*stream)), hex(c.bytes));
    }
    const Bytes file = withHeader(hexBytes(c.bytes), c.version);
    auto reader = readerOver(file);
    EXPECT_EQ(readChildCount(*reader), c.count);
    EXPECT_EQ(reader->remaining(), 0u);
  }
}

TEST_F(SavedTreeTest, DamagedCoordinatesReadAs0Point1) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  HandFile hand(35);
  hand.object(OT_Galaxy, 1, 0, vector3df(1e33f, nan, -1e33f)).systemFields(0).count(0);
  objGalaxy* loaded = load(hand.file());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(text(loaded->position), "(0.1,0.1,0.1)");

  HandFile edge(35);
  edge.object(OT_Galaxy, 1, 0, vector3df(1e32f, -1e32f, 7.0f)).systemFields(0).count(0);
  loaded->destroyNow(true);
  objGalaxy* kept = load(edge.file());
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->position, vector3df(1e32f, -1e32f, 7.0f)) << "the limits themselves are kept";
  kept->destroyNow(true);
}

TEST_F(SavedTreeTest, ParentRulesKindsAndBuildQueuesOfDamagedTrees) {
  struct Case {
    const char* what;
    int32_t version;
    std::function<void(HandFile&)> write;
    SaveFileError error;
  };
  const Case cases[] = {
      {"a system first", 35, [](HandFile& f) { f.object(OT_System, 1).systemFields(0).count(0); },
       {5, "System not specified as child of galaxy"}},
      {"a star first", 35, [](HandFile& f) { f.object(OT_Star, 1); },
       {5, "Object not specified as child of galaxy or solar system"}},
      {"a galaxy in a galaxy", 35, [](HandFile& f) { f.galaxy(1, 1).galaxy(2, 0); }, {5, "Galaxy specified as child"}},
      {"a system in a system", 35,
       [](HandFile& f) { f.galaxy(1, 1).object(OT_System, 2).systemFields(0).count(1).object(OT_System, 3); },
       {5, "System not specified as child of galaxy"}},
      {"a star in a star (version 7)", 7,
       [](HandFile& f) {
         f.galaxy(1, 1).object(OT_System, 2).systemFields(0).count(1).object(OT_Star, 3).count(1).object(OT_Star, 4);
       },
       {5, "Object not specified as child of galaxy or solar system"}},
      {"a ship cut before its design", 35, [](HandFile& f) { f.galaxy(1, 1).object(OT_Hulled, 2); }, kSaveErrorEOF},
      {"kind 0", 35, [](HandFile& f) { f.galaxy(1, 1).object(OT_Generic, 2); }, kMalformed},
      {"kind 7", 35, [](HandFile& f) { f.galaxy(1, 1).object(7, 2); }, kMalformed},
      {"a build queue item of an unknown type", 35,
       [](HandFile& f) { f.galaxy(1, 1).object(OT_Star, 2, 0x02).u16(1).u8(2); }, {5, "Invalid build queue item"}},
      {"a state name outside the strings", 35,
       [](HandFile& f) { f.galaxy(1, 1).object(OT_Star, 2, 0x01).u16(1).u8(0x0F).u8(0xFF).u8(0xFF).u8(0xFF).u8(0xFF); },
       {5, "Invalid Common String reference"}},
      {"an AI whose layout step is queued, cut in its orders", 35,
       [](HandFile& f) { f.galaxy(1, 1).object(OT_Star, 2, 0x04).u8(1).u8(0).u8(1).u8(1); }, kSaveErrorEOF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HandFile hand(c.version);
    c.write(hand);
    SaveFileError error{};
    EXPECT_EQ(load(hand.file(), &error), nullptr);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(registeredObjectCount(), 0u) << "what was read is freed";
    EXPECT_TRUE(space->objects.empty());
  }
}

TEST_F(SavedTreeTest, BuildQueuesOfVersions9To24HoldTheRepeatByte) {
  struct Case {
    int32_t version;
    bool repeatByte;
    uint8_t flags;
    bool repeats;
  };
  const Case cases[] = {
      {9, true, 0x02, true},
      {24, true, 0x42, true},   // the byte decides
      {20, false, 0x42, false},
      {25, false, 0x42, true},  // from the record flags
      {35, false, 0x02, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    HandFile hand(c.version);
    hand.galaxy(1, 1).object(OT_Star, 2, c.flags).u16(0);
    if (c.version >= 9 && c.version <= 24)
      hand.u8(c.repeatByte ? 1 : 0);
    objGalaxy* loaded = load(hand.file());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->children[0]->getRepeatQueue(), c.repeats);
    loaded->destroyNow(true);
  }
}

TEST_F(SavedTreeTest, UidsThatWouldClashAreRefused) {
  auto* live = new TestObject(red, OT_Generic, L"Live");
  struct Case {
    const char* what;
    uint32_t galaxyUid;
    uint32_t systemUid;
  };
  const Case cases[] = {
      {"UID 0", 0, 2},
      {"UID 0 below", 1, 0},
      {"the last UID", 0xFFFFFFFFu, 2},
      {"a UID twice", 10, 10},
      {"the UID of a live object", live->uid, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HandFile hand(35);
    hand.galaxy(c.galaxyUid, 1).object(OT_System, c.systemUid).systemFields(0).count(0);
    SaveFileError error{};
    EXPECT_EQ(load(hand.file(), &error), nullptr);
    EXPECT_EQ(error, kMalformed);
    EXPECT_EQ(registeredObjectCount(), 1u);
    EXPECT_EQ(getObjectByUID(live->uid), live) << "the live object keeps its entry";
  }
  live->drop();
}

TEST_F(SavedTreeTest, NestingDeeperThan64LevelsIsRefused) {
  auto* carrier = new objGalaxy();
  for (const unsigned level : {kMaxObjectTreeDepth, kMaxObjectTreeDepth + 1}) {
    SCOPED_TRACE(level);
    HandFile hand(35);
    hand.object(OT_System, 100 + level).systemFields(0).count(0);
    const Bytes file = hand.file();
    auto reader = readerOver(file);
    readCommonStringsSection(*reader);
    const SaveFileError error = saveErrorOf([&] { readObjectTree(*reader, carrier, false, level); });
    EXPECT_EQ(error, level <= kMaxObjectTreeDepth ? kNoError : kMalformed);
  }
  EXPECT_EQ(carrier->systems.size(), 1u);
  carrier->destroyNow(true);
}

TEST_F(SavedTreeTest, AVersion7TreeHasU16CountsAndTheOldGeometry) {
  HandFile hand(7);
  hand.object(OT_Galaxy, 1).systemFields(0).count(1);
  hand.object(OT_System, 2, 0x20, vector3df(100.0f, 0.0f, 50.0f), red->ID)
      .systemFields(0, {{red->ID, 0.02f}, {blue->ID, 0.005f}})
      .count(1);
  hand.object(OT_Star, 3, 0, vector3df(1.0f, 2.0f, 7.0f)).count(0);
  objGalaxy* loaded = load(hand.file());
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->systems.size(), 1u);
  solarSystem* system = loaded->systems[0];
  EXPECT_EQ(system->owner, red) << "a 4-byte empire ID";
  EXPECT_EQ(system->position, vector3df(100.0f, 0.0f, 50.0f));
  EXPECT_EQ(system->visibilityMask.load(), red->ownBit) << "rebuilt from the presence";
  ASSERT_EQ(system->children.size(), 1u);
  generic_object* star = system->children[0].get();
  EXPECT_EQ(star->position, vector3df(1.0f, 2.0f, 7.0f));
  EXPECT_EQ(star->owner, space);
  EXPECT_NE(findObjectState(star, L"Temp K"), nullptr) << "every star has its temperature";
  loaded->destroyNow(true);
}

TEST_F(SavedTreeTest, TheSystemRecordMaskAndStatistics) {
  struct Case {
    const char* what;
    int32_t version;
    uint32_t savedMask;
    std::vector<HandFile::Entry> entries;
    SaveFileError error;
    uint32_t mask;
    std::vector<std::pair<EmpireID, float>> presence;  // by the entry's empire ID
  };
  const Case cases[] = {
      {"the saved mask", 35, 0x40, {{1, 0.02f}}, kNoError, 0x40, {{1, 0.02f}}},
      {"the mask rebuilt from valid empires", 34, 0, {{1, 0.02f}, {2, 0.005f}, {255, 5.0f}}, kNoError, 1,
       {{1, 0.02f}, {2, 0.005f}, {255, 5.0f}}},
      {"prs below -0.5 repaired", 35, 0, {{1, -0.6f}, {2, -0.4f}}, kNoError, 0, {{1, 0.0f}, {2, -0.4f}}},
      {"an unknown ID: the default empire", 35, 0, {{77, 3.0f}}, kNoError, 0, {{kInvalidEmpireID, 3.0f}}},
      {"the invalid empire ID", 35, 0, {{2, 1.0f}, {kInvalidEmpireID, 1.0f}}, {5, "Invalid Empire UID"}, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HandFile hand(c.version);
    hand.object(OT_Galaxy, 1).systemFields(c.savedMask, c.entries).count(0);
    SaveFileError error{};
    objGalaxy* loaded = load(hand.file(), &error);
    EXPECT_EQ(error, c.error);
    if (loaded == nullptr)
      continue;
    EXPECT_EQ(loaded->visibilityMask.load(), c.mask);
    ASSERT_EQ(loaded->systemStats->size(), c.presence.size());
    for (const auto& expected : c.presence) {
      empire* emp = expected.first == kInvalidEmpireID ? defaultEmpire() : getEmpireByID(expected.first);
      EXPECT_EQ(presence(loaded, emp), expected.second) << static_cast<int>(expected.first);
    }
    loaded->destroyNow(true);
  }
  EXPECT_EQ(registeredObjectCount(), 0u);
}

TEST_F(SavedTreeTest, StatisticsAreWrittenByIdWithoutTheDefaultEmpire) {
  auto* system = new solarSystem();
  for (empire* emp : {space, blue, defaultEmpire(), red, static_cast<empire*>(nullptr)})
    statValue(getEmpireStats(*system->systemStats, emp), L"prs") = emp != nullptr ? emp->ID : -1.0f;
  system->visibilityMask = 5;
  auto stream = SaveStream::createInMemory();
  writeCommonStringsSection(*stream);
  system->writeOwnFields(*stream);

  const Bytes file = stream->memoryBytes();
  auto reader = readerOver(file);
  readCommonStringsSection(*reader);
  EXPECT_EQ(reader->readU32(), 5u);
  ASSERT_EQ(reader->readU16(), 3u);
  for (const EmpireID id : {red->ID, blue->ID, kSpaceEmpireID}) {
    EXPECT_EQ(reader->readEmpireId(), id);
    NamedValueList values;
    readNamedValueList(*reader, values);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].value, static_cast<float>(id));
  }
  EXPECT_EQ(reader->remaining(), 0u);
  system->destroyNow(true);
}

TEST_F(SavedTreeTest, CutFilesThrowUnexpectedEofAndLeaveNothing) {
  objGalaxy* original = buildGalaxy();
  const Bytes full = saveFile(original);
  const Bytes strings = [] {
    auto stream = SaveStream::createInMemory();
    writeCommonStringsSection(*stream);
    return stream->memoryBytes();
  }();
  original->destroyNow(true);

  for (size_t length = strings.size(); length < full.size(); ++length) {
    SCOPED_TRACE(length);
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    SaveFileError error{};
    generic_object* partial = nullptr;
    EXPECT_EQ(load(cut, &error, length % 2 == 0 ? &partial : nullptr), nullptr);
    ASSERT_EQ(error, kSaveErrorEOF);
    if (partial != nullptr)
      partial->destroyNow(true);  // as the session's tear-down does
    ASSERT_EQ(registeredObjectCount(), 0u);
    ASSERT_TRUE(red->objects.empty() && blue->objects.empty() && space->objects.empty());
  }
}

TEST_F(SavedTreeTest, ADockedObjectThatNeverComesIsCutAndTheTreeReadSoFarIsHandedBack) {
  objGalaxy* original = buildGalaxy();
  Bytes file = saveFile(original);
  original->destroyNow(true);
  ASSERT_EQ(file.back(), 0x00) << "the last record is the planet in open space, with its docked count";
  file.back() = 0x01;

  SaveFileError error{};
  generic_object* partial = nullptr;
  EXPECT_EQ(load(file, &error, &partial), nullptr);
  EXPECT_EQ(error, kSaveErrorEOF);
  ASSERT_NE(partial, nullptr);
  EXPECT_EQ(partial->getType(), OT_Galaxy);
  EXPECT_EQ(partial->children.size(), 2u) << "the system and the planet";
  partial->destroyNow(true);
}

// A carrier's docked objects as text: each entry's object, its place, its
// kept mover and dock space, and the carrier's sums.
std::string describeDocked(const generic_object* carrier) {
  std::ostringstream out;
  out << "used=" << carrier->dockUsed << " mass=" << carrier->dockedMass << "\n";
  for (irr::u32 i = 0; i < carrier->docked.size(); ++i) {
    const StoredObject& entry = carrier->docked[i];
    const generic_object* object = entry.object;
    out << "#" << object->uid << " '" << narrow(object->name) << "' at" << text(object->position) << " r="
        << object->radius << " space=" << entry.space << " valid=" << object->isValid()
        << " contained=" << (object->container.load() != nullptr) << " own mover=" << (object->mover != nullptr);
    if (auto* mobile = dynamic_cast<MobileMover*>(entry.mover))
      out << " kept mobile thrust=" << mobile->thrust;
    out << "\n";
  }
  return out.str();
}

TEST_F(SavedTreeTest, ACarrierWith300DockedObjectsReadsBackWithThemDocked) {
  objGalaxy* original = buildGalaxy();
  solarSystem* system = original->systems[0];
  auto* carrier = new objHabitation(red, nullptr);
  carrier->name = L"Carrier";
  carrier->physicalType = rock;
  carrier->radius = 20.0f;
  carrier->dockSpace = 400.0f;
  carrier->position.set(60.0f, 0.0f, 0.0f);
  carrier->setContainer(system);
  for (int i = 0; i < 300; ++i) {
    auto* mobile = new MobileMover();
    mobile->thrust = static_cast<float>(i);
    auto* fighter = new objHabitation(blue, mobile);
    fighter->name = L"Fighter";
    fighter->physicalType = rock;
    fighter->position.set(static_cast<float>(i), 2.0f, 0.0f);
    ASSERT_TRUE(carrier->dockObject(fighter));  // docked before it ever joined a system
  }
  const uint32_t carrierUid = carrier->uid;
  const std::string expected = describeDocked(carrier);
  const std::string expectedTree = describe(original);
  const Bytes file = saveFile(original);
  EXPECT_NE(hexText(file).find(hex("FF 2C 01 00 00")), std::string::npos) << "the count as 255, then 300 as u32";
  original->destroyNow(true);
  ASSERT_EQ(registeredObjectCount(), 0u) << "the docked objects go with their carrier";

  objGalaxy* loaded = load(file);
  ASSERT_NE(loaded, nullptr);
  auto* reloaded = dynamic_cast<objHabitation*>(getObjectByUID(carrierUid));
  ASSERT_NE(reloaded, nullptr);
  EXPECT_EQ(describeDocked(reloaded), expected);
  EXPECT_EQ(describe(loaded), expectedTree) << "the docked objects are in no children list";
  EXPECT_EQ(hexText(saveFile(loaded)), hexText(file));
  loaded->destroyNow(true);
  EXPECT_EQ(registeredObjectCount(), 0u);
}

TEST_F(SavedTreeTest, ACarrierDockedInAnotherKeepsItsOwnDockedObjects) {
  objGalaxy* original = buildGalaxy();
  solarSystem* system = original->systems[0];
  auto* carrier = new objHabitation(red, nullptr);
  carrier->physicalType = rock;
  carrier->dockSpace = 100.0f;
  carrier->setContainer(system);
  auto* inner = new objHabitation(red, nullptr);
  inner->physicalType = rock;
  inner->dockSpace = 50.0f;
  inner->setContainer(system);
  auto* craft = new objHabitation(blue, new MobileMover());
  craft->physicalType = rock;
  craft->setContainer(system);
  ASSERT_TRUE(inner->dockObject(craft));
  ASSERT_TRUE(carrier->dockObject(inner));
  const uint32_t innerUid = inner->uid;
  const uint32_t craftUid = craft->uid;
  const Bytes file = saveFile(original);
  original->destroyNow(true);

  objGalaxy* loaded = load(file);
  ASSERT_NE(loaded, nullptr);
  generic_object* innerLoaded = getObjectByUID(innerUid);
  ASSERT_NE(innerLoaded, nullptr);
  ASSERT_EQ(innerLoaded->docked.size(), 1u);
  EXPECT_EQ(innerLoaded->docked[0].object->uid, craftUid);
  EXPECT_EQ(innerLoaded->container.load(), nullptr);
  EXPECT_EQ(hexText(saveFile(loaded)), hexText(file));
  loaded->destroyNow(true);
}

TEST_F(SavedTreeTest, TheHighWaterMarkCoversTheLargestLoadedUid) {
  HandFile hand(35);
  hand.galaxy(500, 2).object(OT_System, 7).systemFields(0).count(0).object(OT_System, 9).systemFields(0).count(0);
  objGalaxy* loaded = load(hand.file());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(uidHighWater.load(), 501u);
  EXPECT_EQ(nextUid.load(), 10u) << "set by the last object read";
  nextUid = uidHighWater + 1;  // as the session does after a load
  auto* made = new TestObject(red);
  EXPECT_EQ(made->uid, 502u);
  made->drop();
  loaded->destroyNow(true);
}

}  // namespace

}  // namespace object_tree_test
