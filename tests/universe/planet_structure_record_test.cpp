// The structures in a planet's record: written and read back byte for byte
// with fresh effector states, the bytes after each sub-system record, the
// cap on the count, and records that are cut or name no definition.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/common_strings.h"
#include "core/named_values.h"
#include "core/post_load.h"
#include "core/save_stream.h"
#include "design/effectors/effector_def.h"
#include "design/effects/effects.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "universe/planets/planet.h"
#include "universe_fixture.h"

namespace planet_structure_record_test {

namespace {

const SaveFileError kNoError{0, "no error"};

// A gun with one effector, and a mine with a plain provision and none.
const char kSystems[] =
    "System: Gun\nDurability: 30\nProvides: Laser with Damage[Scale * 2]\n"
    "System: Mine\nDurability: 12.5\nProvides: Hit with Amount[Scale]\n";

class PlanetStructureRecordTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    clearPostObjectTreeSteps();
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effects.txt", std::ios::binary) << "Name: Hit\nValue: Amount\n";
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Laser\nValue: Damage\nCauses: Hit lasting 2 with Amount[Damage]\n";
    {
      LogCapture log;
      loadEffects((folder / "effects.txt").string().c_str());
      loadEffectors((folder / "effectors.txt").string().c_str());
      EXPECT_EQ(log.take().find("rror"), std::string::npos);
    }
    gun = subsystemtest::loadDefinition(folder, kSystems, L"Gun");
    const irr::s32 mineIndex = findSubSystemDefByName(L"Mine");
    ASSERT_TRUE(gun != nullptr && mineIndex >= 0);
    mine = subSystemDefRegistry[static_cast<irr::u32>(mineIndex)].value;
    scale_.set(L"Scale", 3.0f);
    context_.setSpace(&scale_, L"Object");
  }

  void TearDown() override {
    context_.setSpace(nullptr, L"Object");
    clearPostObjectTreeSteps();
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    UniverseTest::TearDown();
  }

  // A new instance of `def` at Scale 3.
  subSystem* instanceOf(const SubSystemDef* def) {
    auto* system = new subSystem;
    def->createInstance(system, context_, nullptr);
    return system;
  }

  // Appends `system` as a structure, as it stands.
  static objHabitation::structEntry& addEntry(objHabitation* planet, subSystem* system, uint32_t state, float hp) {
    objHabitation::structEntry entry;
    entry.system = system;
    entry.record.system = system;
    entry.record.state = state;
    entry.record.HP = hp;
    if (system->effectors.size() != 0)
      entry.record.effectorStates = new interactor_data[system->effectors.size()];
    planet->structures.push_back(entry);
    return planet->structures.getLast();
  }

  // Frees the structures without their effects, then destroys the planet.
  static void discard(objHabitation* planet) {
    for (irr::u32 i = 0; i < planet->structures.size(); ++i) {
      delete[] planet->structures[i].record.effectorStates;
      delete planet->structures[i].system;
    }
    planet->structures.clear();
    planet->destroyNow(false);
  }

  // The common strings section, then the planet's record, behind a header.
  static Bytes saved(objHabitation* planet) {
    auto writer = SaveStream::createInMemory();
    writeCommonStringsSection(*writer);
    planet->writeOwnFields(*writer);
    return withHeader(writtenBody(*writer));
  }

  // Reads `file` (as `saved` makes it) into `planet`; the error it threw.
  static SaveFileError readInto(objHabitation* planet, const Bytes& file) {
    return saveErrorOf([&] {
      auto reader = readerOver(file);
      readCommonStringsSection(*reader);
      planet->readOwnFields(*reader);
      EXPECT_EQ(reader->remaining(), 0u) << "the whole record is read";
    });
  }

  static Bytes subSystemRecord(const subSystem* system) {
    auto stream = SaveStream::createInMemory();
    writeSubSystemDefRef(*stream, system);
    return writtenBody(*stream);
  }

  objHabitation* newPlanet(const wchar_t* planetName) {
    auto* planet = new objHabitation(red, nullptr, objHabitation::NoAI{});
    planet->name = planetName;
    return planet;
  }

  SubSystemDef* gun = nullptr;
  SubSystemDef* mine = nullptr;

 private:
  NamedValues scale_;
  NameSpaces context_;
};

TEST_F(PlanetStructureRecordTest, TwoStructuresReadBackWithFreshEffectorStatesAndSaveAgainToTheSameBytes) {
  objHabitation* planet = newPlanet(L"Forge");
  objHabitation::structEntry& armed = addEntry(planet, instanceOf(gun), SS_Active, 17.25f);
  armed.record.val1 = 1.5f;
  armed.record.val2 = -4.0f;
  armed.record.effectorStates[0] = {2.0f, 3.0f, 7u};  // a gun half-way through its reload
  addEntry(planet, instanceOf(mine), SS_Disabled, 12.5f);
  const Bytes file = saved(planet);

  // The last structure's record ends with its state 2, 12.5 hit points, the
  // two words and eight unused bytes; the rally UID follows.
  Bytes tail = subSystemRecord(planet->structures[1].system);
  const Bytes after = hexBytes(
      "02 00 00 00 00 00 48 41  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  00 00 00 00");
  tail.insert(tail.end(), after.begin(), after.end());
  ASSERT_GT(file.size(), tail.size());
  EXPECT_EQ(hexText(Bytes(file.end() - static_cast<std::ptrdiff_t>(tail.size()), file.end())), hexText(tail));

  objHabitation* copy = newPlanet(L"Forge");
  ASSERT_EQ(readInto(copy, file), kNoError);
  ASSERT_EQ(copy->structures.size(), 2u);
  for (irr::u32 i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const objHabitation::structEntry& original = planet->structures[i];
    const objHabitation::structEntry& loaded = copy->structures[i];
    ASSERT_NE(loaded.system, nullptr);
    EXPECT_NE(loaded.system, original.system);
    EXPECT_EQ(loaded.record.system, loaded.system);
    EXPECT_EQ(loaded.system->def, original.system->def);
    EXPECT_EQ(hexText(subSystemRecord(loaded.system)), hexText(subSystemRecord(original.system)));
    EXPECT_EQ(loaded.record.state, original.record.state);
    EXPECT_EQ(loaded.record.HP, original.record.HP);
    EXPECT_EQ(loaded.record.val1, original.record.val1);
    EXPECT_EQ(loaded.record.val2, original.record.val2);
  }
  // One zeroed state per effector of the gun; none for the mine.
  ASSERT_EQ(copy->structures[0].system->effectors.size(), 1u);
  const interactor_data* states = copy->structures[0].record.effectorStates;
  ASSERT_NE(states, nullptr);
  EXPECT_EQ(states[0].val1, 0.0f);
  EXPECT_EQ(states[0].val2, 0.0f);
  EXPECT_EQ(states[0].word, 0u);
  EXPECT_EQ(copy->structures[1].record.effectorStates, nullptr);

  EXPECT_EQ(hexText(saved(copy)), hexText(file)) << "saved again";
  discard(copy);
  discard(planet);
}

TEST_F(PlanetStructureRecordTest, AtMost65535StructuresAreSavedWithOneWarning) {
  objHabitation* planet = newPlanet(L"Crowded");
  subSystem* model = instanceOf(mine);
  addEntry(planet, model, SS_Active, 12.5f);
  for (int i = 1; i < 70000; ++i)
    addEntry(planet, new subSystem(*model), SS_Active, 12.5f);

  LogCapture log;
  const Bytes file = saved(planet);
  const std::string logged = log.take();
  EXPECT_NE(logged.find("Crowded"), std::string::npos) << logged;
  EXPECT_EQ(logged.find('\n'), logged.size() - 1) << "one line: " << logged;

  objHabitation* copy = newPlanet(L"Crowded");
  ASSERT_EQ(readInto(copy, file), kNoError);
  EXPECT_EQ(copy->structures.size(), 65535u);
  discard(copy);
  discard(planet);
}

TEST_F(PlanetStructureRecordTest, CutOrUnknownStructuresAreRefusedAndNothingIsKept) {
  objHabitation* planet = newPlanet(L"Forge");
  addEntry(planet, instanceOf(gun), SS_Active, 30.0f);
  addEntry(planet, instanceOf(mine), SS_Active, 12.5f);
  const Bytes file = saved(planet);
  const size_t structureBytes =
      subSystemRecord(planet->structures[0].system).size() + subSystemRecord(planet->structures[1].system).size() +
      2 * 24;
  const size_t countAt = file.size() - 4 - structureBytes - 2;

  // The gun's definition ID replaced by one that no definition has.
  Bytes unknown = file;
  for (size_t k = 0; k < 4; ++k)
    unknown[countAt + 2 + k] = 0xEE;
  ASSERT_EQ(lookupSubSystemDefByID(0xEEEEEEEEu), nullptr);

  // Each read goes into a planet that holds the structures of a whole read
  // before it: they go, and whatever a failed read made goes too (the leak
  // check sees the rest).
  objHabitation* copy = newPlanet(L"Forge");
  ASSERT_EQ(readInto(copy, unknown), kSaveErrorSubSystemID);
  EXPECT_EQ(copy->structures.size(), 0u);
  for (size_t length = countAt; length < file.size(); ++length) {
    ASSERT_EQ(readInto(copy, file), kNoError);
    ASSERT_EQ(copy->structures.size(), 2u);
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(saveErrorOf([&] {
                auto reader = readerOver(cut);
                readCommonStringsSection(*reader);
                copy->readOwnFields(*reader);
              }),
              kSaveErrorEOF)
        << length;
    EXPECT_EQ(copy->structures.size(), 0u) << length;
  }
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
  discard(copy);
  discard(planet);
}

}  // namespace

}  // namespace planet_structure_record_test
