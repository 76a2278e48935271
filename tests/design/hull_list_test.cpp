#include "design/hull_list.h"
#include "design/subsystems/sub_system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "core/common_strings.h"
#include "empire/empire.h"
#include "empire/empire_names.h"
#include "support/save_bytes.h"

namespace hull_list_test {

namespace {

// A layout that counts its deletions.
class CountedLayout : public hull_list {
 public:
  explicit CountedLayout(std::atomic<int>& deletions) : hull_list(L"Counted", nullptr), deletions_(deletions) {}

 protected:
  ~CountedLayout() override { deletions_.fetch_add(1); }

 private:
  std::atomic<int>& deletions_;
};

TEST(HullListTest, ANewLayoutIsEmptyAndCurrent) {
  alignas(8) static char ownerStandIn[8];  // an address the layout only stores
  empire* owner = reinterpret_cast<empire*>(ownerStandIn);
  hull_list* layout = new hull_list(L"Unknown Hull Layout", owner);

  EXPECT_EQ(layout->owner, owner);
  EXPECT_EQ(layout->name, irr::core::stringw(L"Unknown Hull Layout"));
  EXPECT_EQ(layout->getReferenceCount(), 1u);
  EXPECT_EQ(layout->systemCount, 0u);
  EXPECT_EQ(layout->systems, nullptr);
  EXPECT_EQ(layout->effectorSystemCount, 0u);
  for (const auto& order : layout->damageOrders)
    EXPECT_EQ(order.size(), 0u);
  EXPECT_TRUE(layout->tags.empty());
  EXPECT_EQ(layout->orders.size(), 0u);
  EXPECT_EQ(layout->scale, 1.0f);
  EXPECT_EQ(layout->mass, 0.0);
  EXPECT_EQ(layout->role, HullRole_Civilian);
  EXPECT_EQ(layout->revision, 1u);
  EXPECT_EQ(layout->metadata, 0);
  EXPECT_EQ(layout->updateThreshold, 10.0f);
  EXPECT_FALSE(layout->obsolete);
  EXPECT_EQ(layout->newer, nullptr);

  // The targeting block goes over the network byte for byte: all zero but
  // orbits, spareFlag, both target kinds and the second deposit flag.
  unsigned char bytes[sizeof(hull_targeting)];
  std::memcpy(bytes, &layout->targeting, sizeof bytes);
  unsigned char expected[32] = {};
  for (int set : {22, 23, 24, 25, 27})
    expected[set] = 1;
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
  EXPECT_TRUE(layout->drop());
}

TEST(HullListTest, ReferencesFromManyThreadsBalanceAndTheLastDropDeletesOnce) {
  constexpr int kThreads = 8;
  std::atomic<int> deletions{0};
  hull_list* layout = new CountedLayout(deletions);

  // Every thread takes and releases many references, some held a while.
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([layout] {
      for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 50; ++i)
          layout->grab();
        for (int i = 0; i < 50; ++i)
          EXPECT_FALSE(layout->drop());
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(layout->getReferenceCount(), 1u);
  EXPECT_EQ(deletions.load(), 0);

  // Holders on several threads let go at once: exactly one drop deletes.
  for (int round = 0; round < 100; ++round) {
    std::atomic<int> roundDeletions{0};
    hull_list* shared = new CountedLayout(roundDeletions);
    for (int t = 1; t < kThreads; ++t)
      shared->grab();
    std::atomic<bool> go{false};
    std::atomic<int> lastDrops{0};
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([shared, &go, &lastDrops] {
        while (!go.load())
          std::this_thread::yield();
        if (shared->drop())
          lastDrops.fetch_add(1);
      });
    }
    go.store(true);
    for (std::thread& thread : threads)
      thread.join();
    ASSERT_EQ(lastDrops.load(), 1) << "round " << round;
    ASSERT_EQ(roundDeletions.load(), 1) << "round " << round;
  }

  EXPECT_TRUE(layout->drop());
  EXPECT_EQ(deletions.load(), 1);
}

// ---------------------------------------------------------------------------
// Save record

// The record of the placeholder layout, which has the default targeting.
const char* const kUnknownLayoutRecord =
    "00 00 80 3F  00 00 00 00 00 00 00 00  00 00 00 00  01 00 00 00  00  05 00 00 00"  // scale .. role
    "  00 00 00 00  00 00 00 00  00  00 00 00 00  00 00 00 00  00"                      // target ranges
    "  01 01 01 01  00 01 00  00 00"                                                     // flags
    "  00 00  00 00  00 00 20 41";  // no orders, no sub-systems, threshold 10.0

struct DropLayout {
  void operator()(hull_list* layout) const { layout->drop(); }
};
using LayoutPtr = std::unique_ptr<hull_list, DropLayout>;

// The order strings of the tests, as a save's common strings section would
// list them.
const irr::core::stringw kWork = L"Work";
const irr::core::stringw kOre = L"Ore";
const irr::core::stringw kDefend = L"Defend";
const std::vector<const irr::core::stringw*> kOrderStrings = {&kDefend, &kOre, &kWork};

Bytes savedRecord(const hull_list& layout) {
  auto writer = SaveStream::createInMemory();
  writer->commonStrings() = kOrderStrings;
  layout.save(*writer);
  return writtenBody(*writer);
}

LayoutPtr loadRecord(const Bytes& body, int32_t version = SaveStream::kVersion, empire* owner = nullptr) {
  const Bytes file = withHeader(body, version);
  auto reader = readerOver(file);
  reader->commonStrings() = kOrderStrings;
  LayoutPtr layout(hull_list::load(*reader, owner));
  EXPECT_EQ(reader->remaining(), 0u);
  return layout;
}

SaveFileError loadError(const Bytes& body, int32_t version = SaveStream::kVersion) {
  const Bytes file = withHeader(body, version);
  auto reader = readerOver(file);
  reader->commonStrings() = kOrderStrings;
  try {
    hull_list::load(*reader, nullptr)->drop();
  } catch (const SaveFileError& error) {
    return error;
  }
  return {0, "loaded"};
}

bool sameTargeting(const hull_targeting& a, const hull_targeting& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(HullListSaveTest, ThePlaceholderLayoutWritesItsRecordAndReadsBack) {
  hull_list* unknown = getUnknownHullLayout();  // its owner's table holds it
  const Bytes record = savedRecord(*unknown);
  EXPECT_EQ(hexText(record), hex(kUnknownLayoutRecord));

  alignas(8) static char ownerStandIn[8];
  empire* owner = reinterpret_cast<empire*>(ownerStandIn);
  LayoutPtr loaded = loadRecord(record, SaveStream::kVersion, owner);
  EXPECT_EQ(loaded->owner, owner);
  EXPECT_EQ(loaded->name, irr::core::stringw());
  EXPECT_EQ(loaded->getReferenceCount(), 1u);
  EXPECT_EQ(loaded->role, HullRole_Combat);
  EXPECT_EQ(loaded->systemCount, 0u);
  EXPECT_EQ(loaded->orders.size(), 0u);
  EXPECT_TRUE(sameTargeting(loaded->targeting, unknown->targeting));
  EXPECT_EQ(hexText(savedRecord(*loaded)), hex(kUnknownLayoutRecord));
}

TEST(HullListSaveTest, EveryFieldAndOrderSurvivesARoundTrip) {
  LayoutPtr layout(new hull_list(L"Lancer", nullptr));
  layout->scale = 2.5f;
  layout->mass = 1234.5;
  layout->metadata = -7;
  layout->revision = 3;
  layout->obsolete = true;
  layout->role = HullRole_Station;
  hull_targeting& t = layout->targeting;
  t.targetScaleMin = 0.5f;
  t.targetScaleMax = 8.0f;
  t.targetScaleSet = true;
  t.targetScaleExclusive = true;
  t.targetDamageMin = 1.0f;
  t.targetDamageMax = 2.0f;
  t.targetDamageExclusive = true;
  t.orbits = false;
  t.allowPlanetTargets = false;
  t.depositTargets[0] = true;
  t.depositTargets[1] = false;
  t.allowFetch = true;
  layout->updateThreshold = 0.25f;
  // Orders with no name, a name, a name and an argument, all three strings.
  layout->orders.push_back({nullptr, &kOre, nullptr});
  layout->orders.push_back({&kDefend, nullptr, nullptr});
  layout->orders.push_back({&kWork, &kOre, nullptr});
  layout->orders.push_back({&kWork, &kOre, &kDefend});

  const Bytes record = savedRecord(*layout);
  EXPECT_EQ(hexText(record),
            hex("00 00 20 40  00 00 00 00 00 4A 93 40  F9 FF FF FF  03 00 00 00  01  07 00 00 00"
                "  00 00 00 3F  00 00 00 41  01  00 00 80 3F  00 00 00 40  00"
                "  00 01 01 00  01 00 01  01 01"
                "  04 00  00  01 00  03 01 02 01 01  07 01 02 01 01 00"
                "  00 00  00 00 80 3E"));

  LayoutPtr loaded = loadRecord(record);
  EXPECT_EQ(loaded->scale, 2.5f);
  EXPECT_EQ(loaded->mass, 1234.5);
  EXPECT_EQ(loaded->metadata, -7);
  EXPECT_EQ(loaded->revision, 3u);
  EXPECT_TRUE(loaded->obsolete);
  EXPECT_EQ(loaded->role, HullRole_Station);
  EXPECT_TRUE(sameTargeting(loaded->targeting, layout->targeting));
  EXPECT_EQ(loaded->updateThreshold, 0.25f);
  // The order without a name is dropped; the strings are the table's.
  ASSERT_EQ(loaded->orders.size(), 3u);
  const hull_list::orderEntry expected[] = {
      {&kDefend, nullptr, nullptr}, {&kWork, &kOre, nullptr}, {&kWork, &kOre, &kDefend}};
  for (irr::u32 i = 0; i < 3; ++i) {
    EXPECT_EQ(loaded->orders[i].order, expected[i].order) << i;
    EXPECT_EQ(loaded->orders[i].argument, expected[i].argument) << i;
    EXPECT_EQ(loaded->orders[i].secondArgument, expected[i].secondArgument) << i;
  }
  // Bits 1 and 2 of the presence byte alone say which strings follow.
  LayoutPtr sparse = loadRecord(hexBytes(
      "00 00 80 3F  00 00 00 00 00 00 00 00  00 00 00 00  01 00 00 00  00  05 00 00 00"
      "  00 00 00 00  00 00 00 00  00  00 00 00 00  00 00 00 00  00  01 01 01 01  00 01 00  00 00"
      "  02 00  05 01 02 01 01  06 00 01 01  00 00  00 00 20 41"));
  ASSERT_EQ(sparse->orders.size(), 1u);
  EXPECT_EQ(sparse->orders[0].order, &kWork);
  EXPECT_EQ(sparse->orders[0].argument, nullptr);
  EXPECT_EQ(sparse->orders[0].secondArgument, &kOre);
}

TEST(HullListSaveTest, OlderRecordsFillWhatTheyLackWithTheirDefaults) {
  // scale 2.0, mass 0, metadata 0, revision 2, obsolete, role Combat.
  const char* const head = "00 00 00 40  00 00 00 00 00 00 00 00  00 00 00 00  02 00 00 00  01  05 00 00 00";
  // Scale range 1 to 2 (in force), damage range 3 to 4 (in force), no orbits.
  const char* const ranges = "00 00 80 3F  00 00 00 40  01  00 00 40 40  00 00 80 40  01";
  const char* const block = "00 00 80 3F  00 00 00 40  01  AA BB CC  00 00 40 40  00 00 80 40  01  00 01  DD";
  const char* const tail = "00 00  00 00";
  const char* const threshold = "00 00 A0 40";  // 5.0

  hull_targeting base;
  base.targetScaleMin = 1.0f;
  base.targetScaleMax = 2.0f;
  base.targetScaleSet = true;
  base.targetDamageMin = 3.0f;
  base.targetDamageMax = 4.0f;
  base.targetDamageSet = true;
  base.orbits = false;
  // Before version 18: both target kinds and fetching allowed.
  hull_targeting oldest = base;
  oldest.allowFetch = true;
  // 18 to 25: no target kinds in the record (both off here), fetching allowed.
  hull_targeting noDeposits = base;
  noDeposits.allowShipTargets = false;
  noDeposits.allowPlanetTargets = false;
  noDeposits.allowFetch = true;
  // 26 to 29: deposit flags 1 0 and no fetching read; no exclusive flags.
  hull_targeting deposits = noDeposits;
  deposits.depositTargets[0] = true;
  deposits.depositTargets[1] = false;
  deposits.allowFetch = false;
  hull_targeting newest = deposits;
  newest.targetScaleExclusive = true;
  newest.targetDamageExclusive = true;

  const std::string fields18 = std::string(ranges) + " 00 01 00 00";
  struct Case {
    int32_t version;
    std::string targeting;
    bool hasThreshold;
    const hull_targeting& expected;
  };
  const Case cases[] = {
      {7, block, false, oldest},
      {9, block, false, oldest},
      {10, block, true, oldest},
      {17, block, true, oldest},
      {18, fields18, true, noDeposits},
      {25, fields18, true, noDeposits},
      {26, fields18 + " 01 00 00", true, deposits},
      {29, fields18 + " 01 00 00", true, deposits},
      {30, fields18 + " 01 00 00  01 01", true, newest},
      {35, fields18 + " 01 00 00  01 01", true, newest},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    const std::string body = std::string(head) + " " + c.targeting + " " + tail + " " + (c.hasThreshold ? threshold : "");
    LayoutPtr loaded = loadRecord(hexBytes(body.c_str()), c.version);
    EXPECT_EQ(loaded->scale, 2.0f);
    EXPECT_EQ(loaded->revision, 2u);
    EXPECT_TRUE(loaded->obsolete);
    EXPECT_EQ(loaded->role, HullRole_Combat);
    EXPECT_TRUE(sameTargeting(loaded->targeting, c.expected));
    EXPECT_EQ(loaded->updateThreshold, c.hasThreshold ? 5.0f : 10.0f);
  }
}

TEST(HullListSaveTest, DamagedRecordsAreRefused) {
  const Bytes unknown = hexBytes(kUnknownLayoutRecord);
  // A placed sub-system: its definition ID names no definition.
  Bytes placed(unknown.begin(), unknown.end() - 6);
  for (uint8_t b : hexBytes("01 00  07 00 00 00  00 00 80 3F"))
    placed.push_back(b);
  EXPECT_EQ(loadError(placed), kSaveErrorSubSystemID);
  // An order string beyond the three of the table.
  Bytes badString(unknown.begin(), unknown.end() - 8);
  for (uint8_t b : hexBytes("01 00  01 01 03  00 00  00 00 20 41"))
    badString.push_back(b);
  EXPECT_EQ(loadError(badString), kSaveErrorInvalidCommonString);

  // Writing an order string the save does not list.
  LayoutPtr layout(new hull_list(L"Lancer", nullptr));
  const irr::core::stringw stray = L"Trade";
  layout->orders.push_back({&stray, nullptr, nullptr});
  auto writer = SaveStream::createInMemory();
  writer->commonStrings() = kOrderStrings;
  try {
    layout->save(*writer);
    ADD_FAILURE() << "saved";
  } catch (const SaveFileError& error) {
    EXPECT_EQ(error, kSaveErrorInvalidCommonString);
  }
}

TEST(HullListSaveTest, ACutRecordFailsAtEveryLength) {
  LayoutPtr layout(new hull_list(L"Lancer", nullptr));
  layout->orders.push_back({&kWork, &kOre, &kDefend});
  const Bytes unknown = hexBytes(kUnknownLayoutRecord);
  Bytes placed(unknown.begin(), unknown.end() - 6);
  for (uint8_t b : hexBytes("01 00  07 00 00 00"))
    placed.push_back(b);
  const SaveFileError loaded{0, "loaded"};
  struct Case {
    Bytes whole;
    int32_t version;
    SaveFileError wholeResult;
  };
  const Case cases[] = {
      {unknown, SaveStream::kVersion, loaded},
      {savedRecord(*layout), SaveStream::kVersion, loaded},
      {placed, SaveStream::kVersion, kSaveErrorSubSystemID},
      {hexBytes("00 00 80 3F  00 00 00 00 00 00 00 00  00 00 00 00  01 00 00 00  00  05 00 00 00"
                "  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00  00 00 00 00"
                "  00 00  00 00  00 00 20 41"),
       17, loaded},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(loadError(c.whole, c.version), c.wholeResult) << c.version;
    for (size_t length = 0; length < c.whole.size(); ++length)
      EXPECT_EQ(loadError(Bytes(c.whole.begin(), c.whole.begin() + length), c.version), kSaveErrorEOF)
          << c.version << " cut at " << length;
  }
}

}  // namespace

}  // namespace hull_list_test
