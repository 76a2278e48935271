// A ship's hold on its design: the records made for a layout, the reference
// counts when a ship changes design, the ship's save record of its design and
// every refused record, and the bringing to life of a newly built ship.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>

#include "core/save_stream.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/hull_list.h"
#include "design/hull_ref.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "universe/objects/object_states.h"
#include "universe/universe_fixture.h"

namespace hull_ref_test {

using irr::core::stringw;

namespace {

// A hull that needs a crew, a plain plate, and a gun with two effectors.
const char kDefinitions[] =
    "System: Frame\nTags: Hull\nSize: 100\nDurability: 40\nMass: "
    "30\nRequires:\nTo Run: Crew[2]\n\n"
    "System: Plate\nSize: 10\nDurability: 15\nMass: 5\n\n"
    "System: Gun\nSize: 10\nDurability: 8\nMass: 10\nProvides: Laser with "
    "Damage[3]\nProvides: Laser with Damage[4]\n";

class HullRefTest : public UniverseTest {
protected:
  void SetUp() override {
    UniverseTest::SetUp();
    const std::filesystem::path folder = scratchDir();
    std::ofstream(folder / "effects.txt", std::ios::binary)
        << "Name: Hit\nValue: Amount\n";
    std::ofstream(folder / "effectors.txt", std::ios::binary)
        << "Effector: Laser\nValue: Damage\nCauses: Hit lasting 2 with "
           "Amount[Damage]\n";
    {
      LogCapture log;
      loadEffects((folder / "effects.txt").string().c_str());
      loadEffectors((folder / "effectors.txt").string().c_str());
    }
    subsystemtest::loadDefinition(folder, kDefinitions, L"Frame");
    third = registerEmpire(new empire);
    ASSERT_EQ(third->ID, 3);
  }
  void TearDown() override {
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static const SubSystemDef *def(const wchar_t *name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr
                     : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // A layout of `owner` named `name` with the listed parts, filed in the
  // owner's table (in place of a layout of that name), which holds the
  // maker's reference.
  static hull_list *make(empire *owner, const wchar_t *name,
                         std::initializer_list<const wchar_t *> parts) {
    layout_desc desc;
    float y = -2.0f;
    for (const wchar_t *part : parts) {
      desc.systems.push_back({def(part), 1.0f, 0.0f, y, -1});
      y += 1.0f;
    }
    hull_list *layout = new hull_list(desc, owner, false);
    layout->name = name;
    NamedVar<hull_list *> &entry =
        NamedVar<hull_list *>::getOrAdd(owner->hulls, stringw(name));
    if (entry.value != nullptr)
      entry.value->drop();
    entry.value = layout;
    return layout;
  }

  static Bytes recordOf(const hullRef &ref) {
    const std::unique_ptr<SaveStream> stream = SaveStream::createInMemory();
    ref.write(*stream);
    return writtenBody(*stream);
  }

  // Reads `body` into `ref`; the error thrown ({0, "no error"} for none).
  static SaveFileError read(const Bytes &body, hullRef &ref) {
    const Bytes file = withHeader(body);
    const std::unique_ptr<SaveStream> stream = readerOver(file);
    return saveErrorOf([&] { ref.read(*stream); });
  }

  empire *third = nullptr;
};

TEST_F(HullRefTest, TheRecordHoldsOwnerNameAndEachSubSystemsStateAndReadsBack) {
  const struct {
    const char *label;
    std::initializer_list<const wchar_t *> parts;
    const char *expected;
  } cases[] = {
      {"no effectors",
       {L"Frame", L"Plate"},
       "03 05 00 00 53 63 6F 75 74"
       " 01 00 00 00 00 00 80 3F 00 00 00 3F 00 00 00 00"
       " 02 00 00 00 00 00 80 3F 00 00 00 3F 00 00 00 00"},
      {"a gun with two effectors",
       {L"Frame", L"Gun"},
       "03 05 00 00 53 63 6F 75 74"
       " 01 00 00 00 00 00 80 3F 00 00 00 3F 00 00 00 00"
       " 02 00 00 00 00 00 80 3F 00 00 00 3F 00 00 00 00"
       " 02 00 00 00 80 3F 00 00 00 00 07 00 00 00 00 00 00 00 00 00 00 3F 00 "
       "00 00 00"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label);
    hull_list *layout = make(third, L"Scout", c.parts);
    hullRef ref(layout);
    for (uint32_t i = 0; i < layout->systemCount; ++i) {
      ref.records[i].state = i + 1;
      ref.records[i].HP = 1.0f;
      ref.records[i].val1 = 0.5f;
    }
    if (ref.records[1].effectorStates != nullptr) {
      ref.records[1].effectorStates[0] = {1.0f, 0.0f, 7};
      ref.records[1].effectorStates[1] = {0.0f, 0.5f, 0};
    }
    const Bytes record = recordOf(ref);
    EXPECT_EQ(hexText(record), hex(c.expected));

    hullRef back;
    ASSERT_EQ(read(record, back).code, 0);
    EXPECT_EQ(back.layout, layout);
    EXPECT_EQ(layout->getReferenceCount(), 3u); // the table, ref, back
    EXPECT_EQ(recordOf(back), record);
    EXPECT_EQ(back.records[1].system, layout->systems[1].system);
  }
  EXPECT_EQ(
      recordOf(hullRef(make(third, L"Scout", {L"Frame", L"Plate"}))).size(),
      41u);
}

TEST_F(HullRefTest, RefusedRecordsLeaveTheReferenceEmpty) {
  hull_list *gun = make(third, L"Scout", {L"Frame", L"Gun"});
  NamedVar<hull_list *>::getOrAdd(
      third->hulls, stringw(L"Empty")); // an entry without a layout
  const Bytes good = recordOf(hullRef(gun));
  ASSERT_EQ(good.size(), 9u + 16u + 16u + 2u + 24u);

  Bytes threeStates = good;
  threeStates[41] = 3; // stored count 3 for the gun's 2, with the bytes of 3
  threeStates.insert(threeStates.end(), 12, 0);
  Bytes ghost = hexBytes("03 05 00 00 47 68 6F 73 74");
  ghost.insert(ghost.end(), good.begin() + 9, good.end());
  Bytes empty = hexBytes("03 05 00 00 45 6D 70 74 79");
  empty.insert(empty.end(), good.begin() + 9, good.end());
  Bytes unknownEmpire = good;
  unknownEmpire[0] = 77; // the default empire, whose table is empty
  const Bytes cut(good.begin(), good.end() - 1);

  const struct {
    const char *label;
    Bytes body;
    SaveFileError error;
  } cases[] = {
      {"unknown name", ghost, kSaveErrorBadHullReference},
      {"entry without a layout", empty, kSaveErrorBadHull},
      {"unknown empire", unknownEmpire, kSaveErrorBadHullReference},
      {"effector count", threeStates, kSaveErrorEffectorDataMismatch},
      {"cut short", cut, {4, "Unexpected EOF"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label);
    hullRef ref(gun);
    const SaveFileError error = read(c.body, ref);
    EXPECT_EQ(error.code, c.error.code);
    EXPECT_STREQ(error.message, c.error.message);
    EXPECT_EQ(ref.layout, nullptr);
    EXPECT_EQ(ref.records, nullptr);
    EXPECT_EQ(gun->getReferenceCount(), 1u); // the table's alone
  }
}

TEST_F(HullRefTest, ReassigningMovesOneReferenceAndRemakesTheRecords) {
  hull_list *plain = make(red, L"Plain", {L"Frame", L"Plate"});
  hull_list *armed = make(red, L"Armed", {L"Frame", L"Gun", L"Plate"});
  hullRef ref(plain);
  EXPECT_EQ(plain->getReferenceCount(), 2u);
  ref.records[0].HP = 9.0f;

  ref.assign(armed);
  EXPECT_EQ(plain->getReferenceCount(), 1u);
  EXPECT_EQ(armed->getReferenceCount(), 2u);
  for (uint32_t i = 0; i < armed->systemCount; ++i) {
    SCOPED_TRACE(i);
    const SysRef &record = ref.records[i];
    EXPECT_EQ(record.system, armed->systems[i].system);
    EXPECT_EQ(record.state, uint32_t(SS_Active));
    EXPECT_EQ(record.HP, 0.0f);
    EXPECT_EQ(record.effectorStates != nullptr, i == 1);
  }
  EXPECT_EQ(ref.records[1].effectorStates[1].val2, 0.0f);

  ref.assign(armed); // the same layout: the count never reaches zero
  EXPECT_EQ(armed->getReferenceCount(), 2u);
  ref.release();
  EXPECT_EQ(armed->getReferenceCount(), 1u);
  EXPECT_EQ(ref.layout, nullptr);
  EXPECT_EQ(ref.records, nullptr);
}

TEST_F(HullRefTest, ABuiltShipGetsFullHealthItsBuildEventsAndItsMass) {
  hull_list *layout = make(red, L"Gunboat", {L"Frame", L"Gun", L"Plate"});
  TestObject *ship = new TestObject(red, OT_Hulled, L"Gunboat");
  hullRef ref(layout);
  triggerHullBuilt(ref, ship);

  const float expectedHP[] = {40.0f, 8.0f, 15.0f};
  for (uint32_t i = 0; i < 3; ++i)
    EXPECT_EQ(ref.records[i].HP, expectedHP[i]) << i;
  // The frame's build reserved its crew on the ship.
  EXPECT_EQ(getOrAddObjectState(ship, L"Crew")->value.required, 2.0f);
  EXPECT_EQ(layout->mass, 45.0);
  EXPECT_EQ(ship->getBaseMass(), 45.0);
  ship->drop();
}

} // namespace

}  // namespace hull_ref_test
