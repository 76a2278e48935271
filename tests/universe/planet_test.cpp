// Planets: construction, the hand-over to the space empire when the settled
// population is gone, population and its "Workers" state, damage and repair
// without structures, the governor's retry times, destruction's system
// statistic, and the planet record (round trip, older versions, unknown
// names, the rally object, the condition limit, damaged records).
#include "universe/planets/planet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/locale.h"
#include "core/post_load.h"
#include "design/build/build_rules.h"
#include "design/effects/effects.h"
#include "support/space_empire.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "universe/planets/planet_hooks.h"
#include "universe/planets/planet_types.h"
#include "universe_fixture.h"

namespace planet_test {

using irr::core::stringw;

namespace {

std::string narrow(const stringw& text) { return irr::core::stringc(text).c_str(); }

// A build rule that answers as told and counts its runs.
class FixedRule : public build_priorities {
 public:
  explicit FixedRule(bool queues, int* runs) : queues_(queues), runs_(runs) {}
  bool apply(objHabitation*) override {
    ++*runs_;
    return queues_;
  }
  void write(SaveStream&) const override {}

 private:
  bool queues_;
  int* runs_;
};

// The fields of a planet record, for records made by hand in the layout of
// an older version.
struct HandRecord {
  int32_t version = SaveStream::kVersion;
  const wchar_t* governorType = nullptr;
  const wchar_t* typeName = L"Rock";
  std::vector<const wchar_t*> conditions;
  uint16_t structureCount = 0;
  uint32_t rallyUid = 0;
};

// The common strings section, then the record as `record.version` lays it
// out, behind a header of that version.
Bytes handMadeFile(const HandRecord& record) {
  internCommonString(record.typeName);
  for (const wchar_t* condition : record.conditions)
    internCommonString(condition);
  if (record.governorType != nullptr)
    internCommonString(record.governorType);

  auto stream = SaveStream::createInMemory();
  writeCommonStringsSection(*stream);
  stream->writeU8(1);
  stream->writeFloat(4.0f);
  stream->writeFloat(6.0f);
  stream->writeFloat(3.0f);
  const float packed[4] = {0.0f, 0.0f, 12.0f, 0.0f};
  stream->writePackedFloats4(packed);
  if (record.version >= 7) {
    stream->writeU8(record.governorType != nullptr ? 1 : 0);
    if (record.governorType != nullptr)
      saveCommonString(*stream, record.governorType);
  }
  saveCommonString(*stream, record.typeName);
  if (record.version >= 9) {
    stream->writeU8(static_cast<uint8_t>(record.conditions.size()));
    for (const wchar_t* condition : record.conditions)
      saveCommonString(*stream, condition);
  }
  stream->writeU16(record.structureCount);
  stream->writeU32(record.rallyUid);
  return withHeader(writtenBody(*stream), record.version);
}

class PlanetTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    space = registerSpaceEmpire();
    gameRulesActive = true;
    clearPlanetScriptHooks();
    clearPostObjectTreeSteps();
    rock = addType(L"Rock");
    ice = addType(L"Ice");
    hot = addCondition(L"Hot");
    dry = addCondition(L"Dry");
  }

  void TearDown() override {
    gameRulesActive = false;
    clearPostObjectTreeSteps();
    clearPlanetTypes();
    UniverseTest::TearDown();
  }

  static PlanetPhysicalType* addType(const wchar_t* typeName) {
    auto* type = new PlanetPhysicalType;
    type->name = internCommonString(typeName);
    PtrNamedVar<PlanetPhysicalType*>::getOrAdd(planetTypeRegistry(), typeName, internCommonString).value = type;
    return type;
  }

  static planetCondition* addCondition(const wchar_t* id) {
    auto* condition = new planetCondition;
    condition->id = id;
    PtrNamedVar<planetCondition*>::getOrAdd(planetConditionRegistry(), id, internCommonString).value = condition;
    return condition;
  }

  // A planet of `owner` in a new star system.
  objHabitation* planetInSystem(empire* owner, const wchar_t* planetName) {
    system = new solarSystem();
    auto* planet = new objHabitation(owner, nullptr);
    planet->name = planetName;
    planet->setContainer(system);
    return planet;
  }

  void destroyAll(objHabitation* planet) {
    planet->destroyNow(false);
    if (system != nullptr)
      system->destroyNow(false);
  }

  // Reads `file` (common strings section, then a planet record) into a new
  // planet of red's; the error it threw, or {0, "no error"}.
  SaveFileError readInto(objHabitation* planet, const Bytes& file) {
    return saveErrorOf([&] {
      auto reader = readerOver(file);
      readCommonStringsSection(*reader);
      planet->readOwnFields(*reader);
      EXPECT_EQ(reader->remaining(), 0u) << "the whole record is read";
    });
  }

  empire* space = nullptr;
  solarSystem* system = nullptr;
  PlanetPhysicalType* rock = nullptr;
  PlanetPhysicalType* ice = nullptr;
  planetCondition* hot = nullptr;
  planetCondition* dry = nullptr;
};

TEST_F(PlanetTest, ANewPlanetHasAnAIAndCountsForItsOwner) {
  auto* planet = new objHabitation(red, nullptr);
  auto* mirror = new objHabitation(red, nullptr, objHabitation::NoAI{});
  EXPECT_EQ(planet->getType(), OT_Planet);
  ASSERT_NE(planet->ai, nullptr);
  EXPECT_EQ(planet->ai->refCount.load(), 1u) << "held by the planet alone";
  EXPECT_EQ(mirror->ai, nullptr);
  EXPECT_EQ(red->getStat(L"Planet"), 2.0f);
  EXPECT_EQ(red->objects.count(planet), 1u);
  EXPECT_EQ(planet->ownerRates, &red->rateRecord);
  EXPECT_EQ(planet->ownerLossTimer, -1.0f);
  planet->destroyNow(false);
  mirror->destroyNow(false);
}

TEST_F(PlanetTest, APlanetWithoutSettlersPassesToTheSpaceEmpireWithOneMessage) {
  objHabitation* planet = planetInSystem(red, L"Terra");
  planet->modPopulation(planet->ownerRates, 0.5f);

  constexpr float kStep = 0.05f;
  float elapsed = 0.0f;
  while (planet->getOwner() == red && elapsed < 1.0f) {
    planet->tick(kStep);
    elapsed += kStep;
  }
  EXPECT_EQ(planet->getOwner(), space);
  EXPECT_GE(elapsed, 0.125f);
  EXPECT_LE(elapsed, 0.125f + 0.1f + kStep + 1e-4f);
  EXPECT_EQ(planet->ownerRates, &space->rateRecord);
  EXPECT_EQ(planet->ownerLossTimer, -1.0f);
  for (int i = 0; i < 10; ++i)
    planet->tick(kStep);  // the space empire is no valid owner: nothing more

  ASSERT_EQ(red->messages.size(), 1u);
  stringw expected = L"#c:red##link:o";
  expected += stringw(system->uid);
  expected += L"#Terra";
  expected += getLocalizedText(L"#EM_PlanetLost");
  expected += L"#link##c#";
  EXPECT_EQ(narrow(red->messages.front().text), narrow(expected));
  EXPECT_EQ(narrow(*red->messages.front().category), "war");
  EXPECT_EQ(red->messages.front().priority, 0);
  EXPECT_EQ(red->getStat(L"Planet"), 0.0f);
  destroyAll(planet);
}

TEST_F(PlanetTest, PopulationChangesMoveBothCountsAndTheWorkersState) {
  auto* planet = new objHabitation(red, nullptr);
  planet->population = 8.0f;
  planet->settledPopulation = 3.0f;
  planet->maxPopulation = 20.0f;
  EXPECT_EQ(findObjectState(planet, L"Workers"), nullptr);

  struct Case {
    float delta, settled, population, lossTimer;
  };
  const Case cases[] = {
      {2.0f, 5.0f, 10.0f, -1.0f},  // both grow
      {-1.0f, 4.0f, 9.0f, -1.0f},  // both shrink
      {-6.0f, 0.0f, 5.0f, 0.5f},   // the settlers are gone: the rest stays
      {0.0f, 0.0f, 5.0f, 0.5f},
  };
  for (const Case& c : cases) {
    planet->modPopulation(planet->ownerRates, c.delta);
    EXPECT_EQ(planet->settledPopulation, c.settled) << c.delta;
    EXPECT_EQ(planet->getPopulation(nullptr), c.population) << c.delta;
    EXPECT_EQ(planet->ownerLossTimer, c.lossTimer) << c.delta;
    const State* workers = findObjectState(planet, L"Workers");
    ASSERT_NE(workers, nullptr);
    EXPECT_EQ(workers->value.val, c.population) << c.delta;
    EXPECT_EQ(workers->value.max, 20.0f) << c.delta;
  }
  EXPECT_EQ(planet->getMaxPopulation(nullptr), 20.0f);
  planet->destroyNow(false);
}

TEST_F(PlanetTest, DamageFillsTheDamageStateAndRepairLowersIt) {
  auto* planet = new objHabitation(red, nullptr);
  getOrAddObjectState(planet, L"Damage")->value.max = 100.0f;
  setObjectTestClock(1234);
  planet->setFlag(FLAG_QUIET_DESTROY);

  struct Step {
    float damage;  // 0: a repair step
    float repair;
    float value;
    bool destroy;
  };
  const Step steps[] = {
      {30.0f, 0.0f, 30.0f, false}, {0.0f, 20.0f, 10.0f, false}, {0.0f, -5.0f, 10.0f, false},
      {0.0f, 50.0f, 0.0f, false},  {60.0f, 0.0f, 60.0f, false}, {50.0f, 0.0f, 100.0f, true},
  };
  for (const Step& step : steps) {
    if (step.damage > 0.0f) {
      EffectEvent event(planet, nullptr, step.damage);
      planet->damage(event);
    } else {
      planet->repair(step.repair);
    }
    EXPECT_EQ(findObjectState(planet, L"Damage")->value.val, step.value) << step.damage << " " << step.repair;
    EXPECT_EQ(planet->hasFlag(FLAG_DESTROY), step.destroy) << step.damage << " " << step.repair;
  }
  EXPECT_FALSE(planet->hasFlag(FLAG_QUIET_DESTROY));
  EXPECT_EQ(planet->lastAttacked, 1234u);
  planet->destroyNow(false);
}

TEST_F(PlanetTest, TheGovernorRetriesLaterWhenItFindsNoListOrNothingToQueue) {
  int runs = 0;
  red->setBuildList(L"default", new FixedRule(false, &runs));
  red->setBuildList(L"farms", new FixedRule(true, &runs));

  struct Case {
    const wchar_t* listName;  // null: the default list
    int runs;
    float timer;
  };
  const Case cases[] = {
      {L"unknown", 0, -9.0f},
      {nullptr, 1, -2.0f},
      {L"farms", 1, 0.0f},
  };
  for (const Case& c : cases) {
    auto* planet = new objHabitation(red, nullptr);
    planet->modPopulation(planet->ownerRates, 5.0f);
    planet->setUseGovernor(true);
    if (c.listName != nullptr)
      planet->setGovernorType(c.listName);
    runs = 0;
    planet->tick(0.6f);
    EXPECT_EQ(runs, 0);
    EXPECT_FLOAT_EQ(planet->governorTimer, 0.6f);
    planet->tick(0.6f);
    EXPECT_EQ(runs, c.runs) << (c.listName != nullptr ? narrow(c.listName) : "default");
    EXPECT_EQ(planet->governorTimer, c.timer) << (c.listName != nullptr ? narrow(c.listName) : "default");
    planet->destroyNow(false);
  }
}

TEST_F(PlanetTest, StructureSpaceGovernorNameAndConditions) {
  auto* planet = new objHabitation(red, nullptr);
  planet->setStructureSpace(10.7f);
  EXPECT_EQ(planet->getMaxStructureCount(), 10);
  const std::pair<float, int> capacities[] = {{2.0f, 5}, {0.0f, 0}, {-3.0f, -3}, {20.0f, 0}};
  for (const auto& [size, capacity] : capacities)
    EXPECT_EQ(planet->getStructureCapacity(size), capacity) << size;

  planet->setGovernorType(L"mines");
  EXPECT_EQ(planet->getGovernorType(), internCommonString(L"mines"));

  planet->conditions.push_back(hot);
  planet->conditions.push_back(dry);
  planet->conditions.push_back(hot);
  planet->removeCondition(hot);
  planet->removeCondition(nullptr);
  ASSERT_EQ(planet->conditions.size(), 2u);
  EXPECT_EQ(planet->conditions[0], dry);
  EXPECT_EQ(planet->conditions[1], hot);
  planet->destroyNow(false);
}

TEST_F(PlanetTest, DestructionLowersTheSystemsPlanetsOfTheSpaceEmpireOnce) {
  objHabitation* planet = planetInSystem(red, L"Terra");
  const auto spacePlanets = [&] { return getStatValue(getEmpireStats(*system->systemStats, space), L"planets"); };
  const float before = spacePlanets();
  heldPointer<objHabitation> held(planet);
  planet->destroyNow(false);
  EXPECT_FALSE(planet->isValid());
  EXPECT_EQ(spacePlanets(), before - 1.0f);
  planet->destroyNow(false);
  EXPECT_EQ(spacePlanets(), before - 1.0f) << "a destroyed planet counts nothing again";
  held = nullptr;
  system->destroyNow(false);
}

// --- Records -----------------------------------------------------------------

TEST_F(PlanetTest, TheRecordHoldsEveryFieldAndReadsBackWithItsRallyObject) {
  auto* rally = new objHabitation(blue, nullptr);
  auto* planet = new objHabitation(red, nullptr);
  planet->setUseGovernor(true);
  planet->settledPopulation = 3.0f;
  planet->population = 7.0f;
  planet->structureSpace = 4.5f;
  planet->ownerLossTimer = 0.25f;
  planet->pendingStructureSpace = 1.5f;
  planet->maxPopulation = 20.0f;
  planet->reservedValue = 2.0f;
  planet->setGovernorType(L"farms");
  planet->physicalType = ice;
  planet->conditions.push_back(dry);
  planet->conditions.push_back(hot);
  planet->setLinkedObject(rally);

  auto writer = SaveStream::createInMemory();
  writeCommonStringsSection(*writer);
  planet->writeOwnFields(*writer);
  const Bytes file = withHeader(writtenBody(*writer));

  {  // field by field
    auto reader = readerOver(file);
    readCommonStringsSection(*reader);
    EXPECT_EQ(reader->readU8(), 1);
    EXPECT_EQ(reader->readFloat(), 3.0f);
    EXPECT_EQ(reader->readFloat(), 7.0f);
    EXPECT_EQ(reader->readFloat(), 4.5f);
    float packed[4];
    reader->readPackedFloats4(packed);
    EXPECT_EQ(packed[0], 0.25f);
    EXPECT_EQ(packed[1], 1.5f);
    EXPECT_EQ(packed[2], 20.0f);
    EXPECT_EQ(packed[3], 2.0f);
    EXPECT_EQ(reader->readU8(), 1);
    EXPECT_EQ(narrow(*readCommonString(*reader)), "farms");
    EXPECT_EQ(narrow(*readCommonString(*reader)), "Ice");
    EXPECT_EQ(reader->readU8(), 2);
    EXPECT_EQ(narrow(*readCommonString(*reader)), "Dry");
    EXPECT_EQ(narrow(*readCommonString(*reader)), "Hot");
    EXPECT_EQ(reader->readU16(), 0);
    EXPECT_EQ(reader->readU32(), rally->uid);
    EXPECT_EQ(reader->remaining(), 0u);
  }

  auto* copy = new objHabitation(blue, nullptr, objHabitation::NoAI{});
  copy->ownerRates = nullptr;
  ASSERT_EQ(readInto(copy, file), (SaveFileError{0, "no error"}));
  EXPECT_TRUE(copy->usesGovernor());
  EXPECT_EQ(copy->settledPopulation, 3.0f);
  EXPECT_EQ(copy->population, 7.0f);
  EXPECT_EQ(copy->structureSpace, 4.5f);
  EXPECT_EQ(copy->ownerLossTimer, 0.25f);
  EXPECT_EQ(copy->pendingStructureSpace, 1.5f);
  EXPECT_EQ(copy->maxPopulation, 20.0f);
  EXPECT_EQ(copy->reservedValue, 2.0f);
  EXPECT_EQ(copy->getGovernorType(), internCommonString(L"farms"));
  EXPECT_EQ(copy->physicalType, ice);
  ASSERT_EQ(copy->conditions.size(), 2u);
  EXPECT_EQ(copy->conditions[0], dry);
  EXPECT_EQ(copy->conditions[1], hot);
  EXPECT_EQ(copy->ownerRates, &blue->rateRecord);

  EXPECT_EQ(copy->linkedObject, nullptr) << "resolved once the tree is loaded";
  EXPECT_EQ(queuedPostObjectTreeSteps(), 1u);
  runPostObjectTreeSteps();
  EXPECT_EQ(copy->linkedObject, rally);

  copy->destroyNow(false);
  planet->destroyNow(false);
  rally->destroyNow(false);
}

TEST_F(PlanetTest, OlderRecordsLackTheGovernorTypeOrTheConditions) {
  struct Case {
    int32_t version;
    bool governor;
    size_t conditions;
    SaveFileError error;
  };
  const SaveFileError none{0, "no error"};
  const Case cases[] = {
      {6, false, 0, kSaveErrorOlder},  // the stream itself reads nothing before version 7
      {7, true, 0, none},
      {8, true, 0, none},
      {9, true, 2, none},
      {SaveStream::kVersion, true, 2, none},
  };
  for (const Case& c : cases) {
    HandRecord record;
    record.version = c.version;
    record.governorType = L"farms";
    record.conditions = {L"Hot", L"Dry"};
    auto* planet = new objHabitation(red, nullptr, objHabitation::NoAI{});
    EXPECT_EQ(readInto(planet, handMadeFile(record)), c.error) << c.version;
    EXPECT_EQ(planet->getGovernorType() != nullptr, c.governor) << c.version;
    EXPECT_EQ(planet->conditions.size(), c.conditions) << c.version;
    if (c.error.code == 0) {
      EXPECT_EQ(planet->physicalType, rock) << c.version;
      EXPECT_EQ(planet->maxPopulation, 12.0f) << c.version;
    }
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u) << "no rally object";
    planet->destroyNow(false);
  }
}

TEST_F(PlanetTest, UnknownNamesTakeALoadedTypeAndDropTheCondition) {
  HandRecord record;
  record.typeName = L"Nowhere";
  record.conditions = {L"Hot", L"Bogus", L"Dry"};
  record.rallyUid = 0x7FFFFFF0;  // no such object
  const Bytes file = handMadeFile(record);

  auto* planet = new objHabitation(red, nullptr, objHabitation::NoAI{});
  ASSERT_EQ(readInto(planet, file), (SaveFileError{0, "no error"}));
  EXPECT_TRUE(planet->physicalType == rock || planet->physicalType == ice);
  ASSERT_EQ(planet->conditions.size(), 2u);
  EXPECT_EQ(planet->conditions[0], hot);
  EXPECT_EQ(planet->conditions[1], dry);
  runPostObjectTreeSteps();
  EXPECT_EQ(planet->linkedObject, nullptr);

  clearPlanetTypes();  // nothing loaded: no type and no conditions
  ASSERT_EQ(readInto(planet, file), (SaveFileError{0, "no error"}));
  EXPECT_EQ(planet->physicalType, nullptr);
  EXPECT_EQ(planet->conditions.size(), 0u);
  planet->destroyNow(false);
}

TEST_F(PlanetTest, AtMost255ConditionsAreSavedWithAWarning) {
  auto* planet = new objHabitation(red, nullptr, objHabitation::NoAI{});
  planet->name = L"Crowded";  // and without a type
  for (int i = 0; i < 300; ++i)
    planet->conditions.push_back(i % 2 == 0 ? hot : dry);

  LogCapture log;
  auto writer = SaveStream::createInMemory();
  writeCommonStringsSection(*writer);
  planet->writeOwnFields(*writer);
  EXPECT_NE(log.take().find("Crowded"), std::string::npos);

  auto* copy = new objHabitation(red, nullptr, objHabitation::NoAI{});
  ASSERT_EQ(readInto(copy, withHeader(writtenBody(*writer))), (SaveFileError{0, "no error"}));
  EXPECT_EQ(copy->conditions.size(), 255u);
  EXPECT_TRUE(copy->physicalType == rock || copy->physicalType == ice);
  copy->destroyNow(false);
  planet->destroyNow(false);
}

TEST_F(PlanetTest, DamagedRecordsAreRefused) {
  auto* planet = new objHabitation(red, nullptr, objHabitation::NoAI{});
  HandRecord withStructures;
  withStructures.structureCount = 1;
  // The rally UID's bytes stand where the structure's sub-system ID would.
  EXPECT_EQ(readInto(planet, handMadeFile(withStructures)), kSaveErrorSubSystemID);

  HandRecord whole;
  whole.rallyUid = 5;
  const Bytes file = handMadeFile(whole);
  // Cut anywhere inside the record: the end is reported, nothing is queued.
  auto reader = readerOver(file);
  readCommonStringsSection(*reader);
  const size_t recordStart = file.size() - reader->remaining();
  for (size_t length = recordStart; length < file.size(); ++length) {
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
    const SaveFileError error = saveErrorOf([&] {
      auto shortReader = readerOver(cut);
      readCommonStringsSection(*shortReader);
      planet->readOwnFields(*shortReader);
    });
    EXPECT_EQ(error, kSaveErrorEOF) << length;
  }
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  planet->destroyNow(false);
}

}  // namespace

}  // namespace planet_test
