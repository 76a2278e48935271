// The binary record of a sub-system instance: written and read back, read
// against definitions that changed since, the old form with its header of
// built-ins, and every refused or cut record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/named_values.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "design/effectors/effector.h"
#include "design/effects/effects.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "support/log_capture.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "design/sub_system_fixture.h"

namespace sub_system_record_test {

namespace {

// Two variables, two costs and one entry in each other list (N = 4
// built-ins + 2 + 2 + 1 + 1 + 1 = 11), two provisions, an effector and a
// triggerable.
const char kGun[] =
    "System: Gun\n"
    "Speed: Scale * 2\n"
    "Range: Speed + 1\n"
    "Costs: Metals[Scale * 5], Fuel[Scale]\n"
    "Consumes:\nTo Run: Power[0.5]\n"
    "Requires:\nTo Run: Crew[2]\n"
    "Hints: Heat[4]\n"
    "Provides: Hit with Amount[Scale * 7]\n"
    "Provides: Hit with Amount[9]\n"
    "Provides: Laser with Damage[Speed]\n"
    "Triggerable: Fire: Tractor with Pull[Range]\n";
constexpr uint32_t kGunValues = 11;

// Offsets in a record of Gun.
constexpr size_t kCountAt = 8;
constexpr size_t kProvisionCountAt = kCountAt + 2 + 4 * kGunValues;
constexpr size_t kEffectorCountAt = kProvisionCountAt + 2 + 16 * 2;

void putU16(Bytes& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

class SubSystemRecordTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratchDir();
    const std::string effects = (folder_ / "effects.txt").string();
    const std::string effectors = (folder_ / "effectors.txt").string();
    std::ofstream(effects, std::ios::binary) << "Name: Hit\nValue: Amount\n";
    std::ofstream(effectors, std::ios::binary) << "Effector: Laser\nValue: Damage\n"
                                                  "Causes: Hit lasting 2 with Amount[Damage]\n"
                                                  "Effector: Tractor\nIsWeapon: false\nValue: Pull\n";
    LogCapture log;
    loadEffects(effects.c_str());
    loadEffectors(effectors.c_str());
    ASSERT_NE(findEffector(L"Laser"), nullptr);
    scale_.set(L"Scale", 3.0f);
    context_.setSpace(&scale_, L"Object");
  }
  void TearDown() override {
    context_.setSpace(nullptr, L"Object");
    clearSubSystemDefs();
    clearEffectors();
    clearEffects();
    freeThreadLocals();
  }

  // Replaces the definitions with those of `text`; the definition `name`.
  SubSystemDef* load(const std::string& text, const wchar_t* name = L"Gun") {
    clearSubSystemDefs();
    return subsystemtest::loadDefinition(folder_, text, name);
  }

  // The record of a fresh instance of `def` at Scale 3.
  Bytes recordOf(const SubSystemDef* def) {
    subSystem instance;
    def->createInstance(&instance, context_, nullptr);
    return recordOf(instance);
  }
  static Bytes recordOf(const subSystem& instance) {
    const std::unique_ptr<SaveStream> stream = SaveStream::createInMemory();
    writeSubSystemDefRef(*stream, &instance);
    return writtenBody(*stream);
  }

  // Reads `body` as a record of a save of `version` into `into`; the error
  // thrown ({0, "no error"} for none). `left` gets the bytes not read.
  static SaveFileError read(const Bytes& body, subSystem& into, int32_t version = SaveStream::kVersion,
                            uint64_t* left = nullptr) {
    const Bytes file = withHeader(body, version);
    const std::unique_ptr<SaveStream> stream = readerOver(file);
    const SaveFileError error = saveErrorOf([&] { serializeSubSystemData(&into, *stream); });
    if (left != nullptr)
      *left = stream->remaining();
    return error;
  }

  // The value of `name` in one of the instance's lists.
  static float valueIn(const PtrNamedVar<formula*>::Registry& list, const float* view, const wchar_t* name) {
    const irr::s32 index = findPtrNamedVar(list, name);
    return index < 0 || view == nullptr ? -1.0f : view[index];
  }

  std::filesystem::path folder_;
  NamedValues scale_;
  NameSpaces context_;
};

TEST_F(SubSystemRecordTest, WriteReadWriteGivesTheSameBytes) {
  const struct {
    const char* file;
    const wchar_t* name;
    size_t bytes;
  } cases[] = {
      {kGun, L"Gun", 0},
      // Only the built-ins: zero counts and no effector records.
      {"System: Plate\n", L"Plate", 4 + 4 + 2 + 16 + 2 + 2 + 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const SubSystemDef* def = load(c.file, c.name);
    ASSERT_NE(def, nullptr);
    const Bytes written = recordOf(def);
    if (c.bytes != 0) {
      EXPECT_EQ(written.size(), c.bytes);
    }
    subSystem copy;
    EXPECT_EQ(read(written, copy), (SaveFileError{0, "no error"}));
    EXPECT_EQ(copy.def, def);
    EXPECT_TRUE(copy.available);
    EXPECT_EQ(hexText(recordOf(copy)), hexText(written));
  }
  // What the record holds lands where the instance had it.
  const SubSystemDef* gun = load(kGun);
  subSystem copy;
  ASSERT_EQ(read(recordOf(gun), copy), (SaveFileError{0, "no error"}));
  EXPECT_EQ(copy.getSize(), 3.0f);
  EXPECT_EQ(copy.values[1], 7.0f);  // Range
  EXPECT_EQ(valueIn(gun->costs, copy.costs, L"Metals"), 15.0f);
  EXPECT_EQ(valueIn(gun->consumption, copy.consumption, L"Power"), 0.5f);
  EXPECT_EQ(valueIn(gun->requirements, copy.requirements, L"Crew"), 2.0f);
  EXPECT_EQ(valueIn(gun->hints, copy.hints, L"Heat"), 4.0f);
  ASSERT_EQ(copy.provisions.size(), 2u);
  EXPECT_EQ(copy.provisions[0].effect, findEffect(L"Hit"));
  EXPECT_EQ(copy.provisions[0].values[0], 21.0f);
  ASSERT_EQ(copy.effectors.size(), 1u);
  EXPECT_EQ(copy.effectors[0].def, findEffector(L"Laser"));
  EXPECT_EQ(copy.effectors[0].effects[0].data.values[0], 6.0f);
  ASSERT_EQ(copy.triggerables.size(), 1u);
  EXPECT_EQ(copy.triggerables[0].values[0], 7.0f);
}

TEST_F(SubSystemRecordTest, RenamedCostsTakeTheValuesInTheirNewOrder) {
  const Bytes written = recordOf(load(kGun));  // Fuel 3, Metals 15
  std::string renamed = kGun;
  renamed.replace(renamed.find("Metals"), 6, "Argon");
  renamed.replace(renamed.find("Fuel"), 4, "Zinc");
  const SubSystemDef* def = load(renamed);
  subSystem copy;
  ASSERT_EQ(read(written, copy), (SaveFileError{0, "no error"}));
  EXPECT_EQ(valueIn(def->costs, copy.costs, L"Argon"), 3.0f);
  EXPECT_EQ(valueIn(def->costs, copy.costs, L"Zinc"), 15.0f);
}

TEST_F(SubSystemRecordTest, AMismatchedValueCountStopsBeforeAnyValue) {
  const Bytes written = recordOf(load(kGun));
  Bytes longer = written;
  putU16(longer, kCountAt, kGunValues + 1);
  const struct {
    const char* label;
    std::string file;
    const Bytes* record;
  } cases[] = {
      {"a definition that gained a cost", std::string(kGun) + "Costs: Tin[1]\n", &written},
      {"a count of N + 1", kGun, &longer},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    load(c.file);
    subSystem into;
    uint64_t left = 0;
    EXPECT_EQ(read(*c.record, into, SaveStream::kVersion, &left), kSaveErrorSubSystemMismatch);
    EXPECT_EQ(left, c.record->size() - kCountAt - 2) << "no value was read";
    EXPECT_EQ(into.values, nullptr);
    EXPECT_EQ(into.def, nullptr);
  }
}

TEST_F(SubSystemRecordTest, RefusedRecords) {
  const Bytes written = recordOf(load(kGun));
  const size_t triggerableCountAt = written.size() - 2 - 16;  // Tractor's record: 4 + 4 + 2 + 4 + 2
  const struct {
    const char* label;
    size_t at;
    uint32_t value;  // written as u16, or as the u32 ID at 0
    SaveFileError error;
  } cases[] = {
      {"unknown ID", 0, 0x7A7A7A7Au, kSaveErrorSubSystemID},
      {"provisions", kProvisionCountAt, 3, kSaveErrorSubSystemProvisions},
      {"effectors", kEffectorCountAt, 0, kSaveErrorSubSystemEffectors},
      {"triggerables", triggerableCountAt, 2, kSaveErrorSubSystemTriggerables},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes record = written;
    if (c.at == 0) {
      for (int i = 0; i < 4; ++i)
        record[i] = static_cast<uint8_t>(c.value >> (8 * i));
    } else {
      putU16(record, c.at, static_cast<uint16_t>(c.value));
    }
    subSystem into;
    EXPECT_EQ(read(record, into), c.error);
    EXPECT_EQ(into.values, nullptr);
    EXPECT_EQ(into.effectors.size(), 0u);
  }
}

TEST_F(SubSystemRecordTest, EveryCutRecordEndsEarly) {
  const Bytes written = recordOf(load(kGun));
  for (size_t length = 0; length < written.size(); ++length) {
    SCOPED_TRACE(length);
    subSystem into;
    EXPECT_EQ(read(Bytes(written.begin(), written.begin() + length), into), kSaveErrorEOF);
    EXPECT_EQ(into.values, nullptr);
  }
}

// The old form: the four built-ins in a header after the ID, and a list of
// the other N - 4 values.
class OldSubSystemRecordTest : public SubSystemRecordTest {
 protected:
  // An old record of Gun from `current` (a current record of it): the
  // header values, then `listed` values of the list 101, 102, ...
  static Bytes oldRecord(const Bytes& current, const float (&header)[4], uint16_t listed) {
    const std::unique_ptr<SaveStream> stream = SaveStream::createInMemory();
    stream->writeBytes(current.data(), 4);  // ID
    for (float value : header)
      stream->writeFloat(value);
    stream->writeBytes(current.data() + 4, 4);  // scale
    stream->writeU16(listed);
    for (uint16_t i = 0; i < listed; ++i)
      stream->writeFloat(101.0f + i);
    stream->writeBytes(current.data() + kProvisionCountAt, current.size() - kProvisionCountAt);
    return writtenBody(*stream);
  }
};

TEST_F(OldSubSystemRecordTest, TheHeaderFillsTheBuiltInsAndTheListTheRest) {
  const SubSystemDef* gun = load(kGun);
  const Bytes current = recordOf(gun);
  subSystem into;
  ASSERT_EQ(read(oldRecord(current, {2, 5, 6, 7}, kGunValues - 4), into, 13), (SaveFileError{0, "no error"}));
  EXPECT_EQ(into.getLevel(), 2.0f);
  EXPECT_EQ(into.getSize(), 5.0f);
  EXPECT_EQ(into.getDurability(), 6.0f);
  EXPECT_EQ(into.getMass(), 7.0f);
  EXPECT_EQ(into.values[0], 101.0f);  // Speed
  EXPECT_EQ(into.values[1], 102.0f);  // Range
  EXPECT_EQ(valueIn(gun->costs, into.costs, L"Fuel"), 103.0f);
  EXPECT_EQ(valueIn(gun->costs, into.costs, L"Metals"), 104.0f);
  EXPECT_EQ(valueIn(gun->consumption, into.consumption, L"Power"), 105.0f);
  EXPECT_EQ(valueIn(gun->requirements, into.requirements, L"Crew"), 106.0f);
  EXPECT_EQ(valueIn(gun->hints, into.hints, L"Heat"), 107.0f);
  EXPECT_EQ(into.scale, 1.0f) << "the instance's scale as written";
  ASSERT_EQ(into.effectors.size(), 1u);
  // Written again, it is a current record.
  EXPECT_EQ(recordOf(into).size(), current.size());
}

TEST_F(OldSubSystemRecordTest, RefusedHeadersAndLists) {
  const Bytes current = recordOf(load(kGun));
  const struct {
    const char* label;
    float header[4];
    uint16_t listed;
    SaveFileError error;
  } cases[] = {
      {"size below 0", {1, -1, 1, 1}, kGunValues - 4, kSaveErrorSubSystemPhysical},
      {"durability 0", {1, 1, 0, 1}, kGunValues - 4, kSaveErrorSubSystemPhysical},
      {"a list of N values", {1, 1, 1, 1}, kGunValues, kSaveErrorSubSystemMismatch},
      {"a list of N - 5 values", {1, 1, 1, 1}, kGunValues - 5, kSaveErrorSubSystemMismatch},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    subSystem into;
    EXPECT_EQ(read(oldRecord(current, c.header, c.listed), into, 13), c.error);
    EXPECT_EQ(into.values, nullptr);
  }
}

}  // namespace

}  // namespace sub_system_record_test
