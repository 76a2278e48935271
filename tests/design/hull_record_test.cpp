// The save record of a layout with placed sub-systems: its size and bytes,
// the round trip, the older forms, and what a reload derives again and
// what it keeps from the record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/common_strings.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace hull_record_test {

using irr::core::stringw;

namespace {

const char* const kDefinitions =
    "System: Shell\nTags: Hull\nCosts: Metals[10]\n\n"
    "System: Pod\n\n"
    "System: Frame\nTags: Hull\nSize: 100\n\n"
    "System: Thruster\nTags: Engine\nSize: 10\n\n"
    "System: Rack\nTags: Require:Engine, CargoBay, Work:Mine\nSize: 5\nMass: 3\n";

struct DropLayout {
  void operator()(hull_list* layout) const { layout->drop(); }
};
using LayoutPtr = std::unique_ptr<hull_list, DropLayout>;

// Offsets in a current record.
constexpr size_t kTargetingAt = 25;         // after scale .. role
constexpr size_t kDepositFlagsAt = 47;      // the deposit flags and allowFetch
constexpr size_t kExclusiveFlagsAt = 50;    // the two exclusive flags
constexpr size_t kOrdersAt = 52;            // order count
constexpr size_t kSubSystemValuesAt = 10;   // in a sub-system record
constexpr size_t kBuiltInValueBytes = 16;   // "{L}", "{S}", "{D}", "{M}" first

class HullRecordTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Shell");
  }
  void TearDown() override {
    clearSubSystemDefs();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  LayoutPtr make(const std::vector<layout_desc::system>& entries, float scale = 1.0f) {
    layout_desc desc;
    desc.scale = scale;
    for (const layout_desc::system& entry : entries)
      desc.systems.push_back(entry);
    return LayoutPtr(new hull_list(desc, red, false));
  }

  static Bytes saved(const hull_list& layout) {
    auto writer = SaveStream::createInMemory();
    writer->commonStrings() = commonStringList().snapshot();
    layout.save(*writer);
    return writtenBody(*writer);
  }

  LayoutPtr load(const Bytes& body, int32_t version = SaveStream::kVersion) {
    const Bytes file = withHeader(body, version);
    auto reader = readerOver(file);
    reader->commonStrings() = commonStringList().snapshot();
    LayoutPtr layout(hull_list::load(*reader, red));
    EXPECT_EQ(reader->remaining(), 0u);
    return layout;
  }

  static SaveFileError loadError(const Bytes& body) {
    const Bytes file = withHeader(body);
    auto reader = readerOver(file);
    return saveErrorOf([&] { hull_list::load(*reader, nullptr)->drop(); });
  }

  static size_t recordSize(const subSystem* instance) {
    auto writer = SaveStream::createInMemory();
    writeSubSystemDefRef(*writer, instance);
    return writtenBody(*writer).size();
  }
};

Bytes slice(const Bytes& bytes, size_t from, size_t to) { return Bytes(bytes.begin() + from, bytes.begin() + to); }
void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

TEST_F(HullRecordTest, OneHullWithOneCostWrites106Bytes) {
  LayoutPtr layout = make({{def(L"Shell"), 1.0f, 0.5f, -0.5f, -1}});
  const Bytes record = saved(*layout);
  ASSERT_EQ(record.size(), 106u);
  // One placed sub-system: its record (ID, scale 1, 5 values, no
  // provisions, effectors or triggerables), x 0.5, y -0.5, link -1.
  const uint32_t id = def(L"Shell")->id;
  const Bytes idBytes = {uint8_t(id), uint8_t(id >> 8), uint8_t(id >> 16), uint8_t(id >> 24)};
  EXPECT_EQ(hexText(slice(record, 54, 66)), hex("01 00") + " " + hexText(idBytes) + " " + hex("00 00 80 3F  05 00"));
  EXPECT_EQ(hexText(slice(record, 86, 106)), hex("00 00  00 00  00 00  00 00 00 3F  00 00 00 BF  FF FF  00 00 20 41"));

  LayoutPtr loaded = load(record);
  EXPECT_EQ(loaded->systems[0].link, -1);
  EXPECT_EQ(hexText(saved(*loaded)), hexText(record));
  // Cut anywhere, the record fails cleanly and leaves nothing behind.
  for (size_t length = 0; length < record.size(); ++length)
    EXPECT_EQ(loadError(slice(record, 0, length)), kSaveErrorEOF) << "cut at " << length;
}

TEST_F(HullRecordTest, AReloadKeepsTheRecordedFiguresAndDerivesTheRest) {
  LayoutPtr layout = make({{def(L"Frame"), 1.0f, 0.0f, 0.0f, -1},
                           {def(L"Thruster"), 2.0f, -1.5f, 0.25f, -1},
                           {def(L"Rack"), 0.5f, 1.0f, 2.0f, 1}},
                          4.0f);
  layout->metadata = 9;
  layout->updateThreshold = 3.5f;
  layout->targeting.targetDamageMax = 7.0f;
  layout->targeting.allowFetch = true;
  EXPECT_FALSE(layout->hasSystemWithTag(L"Require:Engine"));
  EXPECT_TRUE(layout->hasSystemWithTag(L"Work:Mine"));
  ASSERT_EQ(layout->orders.size(), 1u);  // Work Mine

  const Bytes record = saved(*layout);
  LayoutPtr loaded = load(record);
  EXPECT_EQ(hexText(saved(*loaded)), hexText(record));

  ASSERT_EQ(loaded->systemCount, 3u);
  const struct {
    const wchar_t* def;
    float scale, x, y;
    int32_t link;
  } placed[] = {{L"Frame", 1.0f, 0.0f, 0.0f, -1}, {L"Thruster", 2.0f, -1.5f, 0.25f, -1}, {L"Rack", 0.5f, 1.0f, 2.0f, 1}};
  for (uint32_t i = 0; i < 3; ++i) {
    const placedSubSystem& p = loaded->systems[i];
    EXPECT_EQ(p.system->def, def(placed[i].def)) << i;
    EXPECT_EQ(p.system->scale, placed[i].scale) << i;
    EXPECT_EQ(p.x, placed[i].x) << i;
    EXPECT_EQ(p.y, placed[i].y) << i;
    EXPECT_EQ(p.link, placed[i].link) << i;
    EXPECT_EQ(p.system->getMass(), layout->systems[i].system->getMass()) << i;
  }
  EXPECT_EQ(loaded->mass, layout->mass);
  EXPECT_EQ(loaded->role, layout->role);
  EXPECT_EQ(loaded->effectorSystemCount, 0u);
  EXPECT_EQ(std::memcmp(&loaded->targeting, &layout->targeting, sizeof(hull_targeting)), 0);
  EXPECT_EQ(loaded->updateThreshold, 3.5f);
  // A reload takes every tag, "Require:" ones too.
  EXPECT_TRUE(loaded->hasSystemWithTag(L"Require:Engine"));
  for (const wchar_t* tag : {L"Hull", L"Engine", L"CargoBay", L"Work:Mine"})
    EXPECT_TRUE(loaded->hasSystemWithTag(tag)) << tag;
  EXPECT_FALSE(loaded->hasSystemWithTag(L"Armor"));
  // The damage orders are rebuilt; with no ties they match the fresh ones.
  for (int order = 0; order < hull_list::kDamageOrderCount; ++order) {
    const auto& fresh = layout->damageOrders[order];
    const auto& rebuilt = loaded->damageOrders[order];
    ASSERT_EQ(rebuilt.size(), order % 2 == 0 ? 3u : 0u) << order;
    for (irr::u32 i = 0; i < rebuilt.size(); ++i) {
      EXPECT_EQ(rebuilt[i].index, fresh[i].index) << order << " at " << i;
      EXPECT_EQ(rebuilt[i].entry, &loaded->systems[rebuilt[i].index]) << order << " at " << i;
    }
  }

  // Mass, role and orders come from the record, whatever the sub-systems say.
  layout->mass = 42.5;
  layout->role = HullRole_Station;
  layout->orders.clear();
  LayoutPtr edited = load(saved(*layout));
  EXPECT_EQ(edited->mass, 42.5);
  EXPECT_EQ(edited->role, HullRole_Station);
  EXPECT_EQ(edited->orders.size(), 0u);
}

TEST_F(HullRecordTest, OlderRecordsLackLinksFlagsAndTheThreshold) {
  LayoutPtr layout = make({{def(L"Shell"), 1.0f, 1.0f, 0.0f, -1}, {def(L"Pod"), 1.0f, -1.0f, 0.0f, 0}});
  hull_targeting& t = layout->targeting;
  t.targetScaleMin = 1.0f;
  t.targetScaleMax = 2.0f;
  t.targetScaleSet = true;
  t.targetScaleExclusive = true;
  t.targetDamageExclusive = true;
  t.orbits = false;
  t.allowShipTargets = false;
  t.allowPlanetTargets = false;
  t.depositTargets[0] = true;
  t.depositTargets[1] = false;
  layout->updateThreshold = 5.0f;
  const Bytes current = saved(*layout);

  // Where each sub-system's record begins, and the threshold.
  std::vector<size_t> recordAt;
  size_t at = kOrdersAt + 2 + 2;
  for (uint32_t i = 0; i < layout->systemCount; ++i) {
    recordAt.push_back(at);
    at += recordSize(layout->systems[i].system) + 8 + 2;
  }
  const size_t thresholdAt = at;
  ASSERT_EQ(thresholdAt + 4, current.size());

  // The record as a save of `version` would hold it.
  auto olderForm = [&](int32_t version) {
    Bytes out = slice(current, 0, kTargetingAt);
    if (version >= 18) {
      append(out, slice(current, kTargetingAt, kDepositFlagsAt));
      if (version >= 26)
        append(out, slice(current, kDepositFlagsAt, kExclusiveFlagsAt));
      if (version >= 30)
        append(out, slice(current, kExclusiveFlagsAt, kOrdersAt));
    } else {
      append(out, slice(current, 25, 34));  // scale range and its flag
      append(out, hexBytes("00 00 00"));
      append(out, slice(current, 34, 45));  // damage range, its flag, orbits, spareFlag
      append(out, hexBytes("00"));
    }
    append(out, slice(current, kOrdersAt, recordAt[0]));
    for (size_t i = 0; i < recordAt.size(); ++i) {
      const size_t record = recordAt[i];
      const size_t end = record + recordSize(layout->systems[i].system);
      if (version >= 14) {
        append(out, slice(current, record, end));
      } else {
        // The old form: ID, the four built-ins, scale, the other values.
        const uint16_t count = static_cast<uint16_t>(current[record + 8] | current[record + 9] << 8);
        append(out, slice(current, record, record + 4));
        append(out, slice(current, record + kSubSystemValuesAt, record + kSubSystemValuesAt + kBuiltInValueBytes));
        append(out, slice(current, record + 4, record + 8));
        append(out, {static_cast<uint8_t>(count - 4), 0});
        append(out, slice(current, record + kSubSystemValuesAt + kBuiltInValueBytes, end));
      }
      append(out, slice(current, end, end + 8));
      if (version >= 23)
        append(out, slice(current, end + 8, end + 10));
    }
    if (version >= 10)
      append(out, slice(current, thresholdAt, thresholdAt + 4));
    return out;
  };

  struct Case {
    int32_t version;
    bool ships, planets, fetch, deposit0, deposit1, exclusive;
    int32_t link;
    float threshold;
  };
  const Case cases[] = {
      {35, false, false, false, true, false, true, 0, 5.0f},
      {25, false, false, true, false, true, false, 0, 5.0f},
      {22, false, false, true, false, true, false, -1, 5.0f},
      {17, true, true, true, false, true, false, -1, 5.0f},
      {9, true, true, true, false, true, false, -1, 10.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    LayoutPtr loaded = load(olderForm(c.version), c.version);
    const hull_targeting& got = loaded->targeting;
    EXPECT_EQ(got.targetScaleMax, 2.0f);
    EXPECT_TRUE(got.targetScaleSet);
    EXPECT_FALSE(got.orbits);
    EXPECT_EQ(got.allowShipTargets, c.ships);
    EXPECT_EQ(got.allowPlanetTargets, c.planets);
    EXPECT_EQ(got.allowFetch, c.fetch);
    EXPECT_EQ(got.depositTargets[0], c.deposit0);
    EXPECT_EQ(got.depositTargets[1], c.deposit1);
    EXPECT_EQ(got.targetScaleExclusive, c.exclusive);
    EXPECT_EQ(got.targetDamageExclusive, c.exclusive);
    ASSERT_EQ(loaded->systemCount, 2u);
    EXPECT_EQ(loaded->systems[0].link, -1);
    EXPECT_EQ(loaded->systems[1].link, c.link);
    EXPECT_EQ(loaded->systems[1].x, -1.0f);
    EXPECT_EQ(loaded->systems[1].system->def, def(L"Pod"));
    EXPECT_EQ(loaded->systems[0].system->costs[0], 10.0f);
    EXPECT_EQ(loaded->updateThreshold, c.threshold);
  }
}

}  // namespace

}  // namespace hull_record_test
