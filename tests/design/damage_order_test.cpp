// Damage orders: which placed sub-system of a design takes damage first,
// seen from the four points around it, and the heap sort behind them.
#include "design/damage_order.h"

#include <gtest/gtest.h>

#include <heapsort.h>

#include <cstdint>
#include <vector>

#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace damage_order_test {

namespace {

// Armour, two stages and two hulls; Core also reacts to damage anywhere on
// the ship (it is on the pre-damage list).
const char* const kDefinitions =
    "System: Plate\nEquips To: Armor\n\n"
    "System: Strut\nEquips To: Stage 1\n\n"
    "System: Boom\nEquips To: Stage 2\n\n"
    "System: Frame\nTags: Hull\nEquips To: Hull\nSize: 100\n\n"
    "System: Core\nTags: Hull\nEquips To: Hull\nSize: 100\n";

class DamageOrderTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Frame");
    def(L"Core")->effectFlags |= 1u << EH_OnGlobalDamage;
  }
  void TearDown() override {
    clearSubSystemDefs();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  hull_list* make(const std::vector<layout_desc::system>& entries) {
    layout_desc desc;
    for (const layout_desc::system& entry : entries)
      desc.systems.push_back(entry);
    return new hull_list(desc, red, false);
  }

  // The indices of an order, each checked to point at its placed sub-system.
  static std::vector<uint32_t> indices(const hull_list& layout, int order) {
    std::vector<uint32_t> out;
    const auto& entries = layout.damageOrders[order];
    for (irr::u32 i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].entry, &layout.systems[entries[i].index]) << "order " << order;
      out.push_back(entries[i].index);
    }
    return out;
  }
};

TEST_F(DamageOrderTest, ArmourFirstHullLastAndThePointDecidesBetweenEquals) {
  hull_list* layout = make({
      {def(L"Plate"), 1.0f, 3.0f, 0.0f, -1},
      {def(L"Strut"), 1.0f, 2.0f, 0.0f, -1},
      {def(L"Boom"), 1.0f, -3.0f, 0.0f, -1},
      {def(L"Frame"), 4.0f, 0.0f, 0.0f, -1},
      {def(L"Plate"), 1.0f, -3.0f, 0.0f, -1},
  });
  const std::vector<uint32_t> none;
  const std::vector<uint32_t> expected[hull_list::kDamageOrderCount] = {
      {0, 4, 1, 2, 3},  // from (4, 0): the plate at (3, 0) is nearer
      none,
      {4, 0, 1, 2, 3},  // from (0, -4): the plates tie; the heap sort leaves 4 first
      none,
      {4, 0, 1, 2, 3},  // from (-4, 0)
      none,
      {4, 0, 1, 2, 3},  // from (0, 4): tied again
      none,
  };
  for (int order = 0; order < hull_list::kDamageOrderCount; ++order)
    EXPECT_EQ(indices(*layout, order), expected[order]) << "order " << order;
  layout->drop();
}

TEST_F(DamageOrderTest, ABiggerPartFurtherAwayCanComeFirst) {
  // From (4, 0): scale 4 at distance 5 gives 5 - 1 = 4, scale 1 at distance
  // 4.6 gives 4.6 - 0.5 = 4.1.
  hull_list* layout = make({
      {def(L"Frame"), 1.0f, 0.0f, 0.0f, -1},
      {def(L"Strut"), 1.0f, 4.0f, 4.6f, -1},
      {def(L"Strut"), 4.0f, -1.0f, 0.0f, -1},
  });
  EXPECT_EQ(indices(*layout, 0), (std::vector<uint32_t>{2, 1, 0}));

  const sortDamageListPositional before(layout, DP_EquipsTo, 4.0f, 0.0f);
  const hull_list::damageOrderEntry near{1, &layout->systems[1]};
  const hull_list::damageOrderEntry big{2, &layout->systems[2]};
  const hull_list::damageOrderEntry hull{0, &layout->systems[0]};
  EXPECT_TRUE(before.compare(big, near));
  EXPECT_FALSE(before.compare(near, big));
  EXPECT_FALSE(before.compare(big, big));
  // The priority decides before any distance.
  EXPECT_TRUE(before.compare(near, hull));
  EXPECT_TRUE(sortDamageList(DP_EquipsTo).compare(near, hull));
  EXPECT_FALSE(sortDamageList(DP_EquipsTo).compare(near, big));
  EXPECT_FALSE(sortDamageList(DP_PreDamageOrder).compare(near, hull));
  layout->drop();
}

TEST_F(DamageOrderTest, ALoneSubSystemMakesEightOneEntryOrders) {
  hull_list* layout = make({{def(L"Core"), 1.0f, 1.0f, 1.0f, -1}});
  for (int order = 0; order < hull_list::kDamageOrderCount; ++order)
    EXPECT_EQ(indices(*layout, order), std::vector<uint32_t>{0}) << "order " << order;
  layout->drop();
}

// The engine's own heap sort, over keys with many ties, is the reference for
// the order equal entries end in.
struct Keyed {
  int key;
  uint32_t index;
  bool operator<(const Keyed& other) const { return key < other.key; }
};

class ByKey : public irr::core::heapCompare<hull_list::damageOrderEntry> {
 public:
  explicit ByKey(const std::vector<int>& keys) : keys_(keys) {}
  bool compare(const hull_list::damageOrderEntry& a, const hull_list::damageOrderEntry& b) const override {
    return keys_[a.index] < keys_[b.index];
  }

 private:
  const std::vector<int>& keys_;
};

TEST(HeapSortTest, EqualEntriesEndWhereTheEnginesHeapSortLeavesThem) {
  uint32_t seed = 12345;
  for (int size = 0; size <= 40; ++size) {
    for (int round = 0; round < 20; ++round) {
      std::vector<int> keys;
      std::vector<Keyed> reference;
      irr::core::array<hull_list::damageOrderEntry> entries;
      for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        keys.push_back(static_cast<int>((seed >> 16) % 4));
        reference.push_back({keys.back(), static_cast<uint32_t>(i)});
        entries.push_back({static_cast<uint32_t>(i), nullptr});
      }
      if (size > 0)
        irr::core::heapsort(reference.data(), size);
      heapsortWith(entries, ByKey(keys));
      ASSERT_EQ(entries.size(), reference.size());
      for (int i = 0; i < size; ++i)
        ASSERT_EQ(entries[static_cast<irr::u32>(i)].index, reference[static_cast<size_t>(i)].index)
            << "size " << size << " round " << round << " at " << i;
    }
  }
}

}  // namespace

}  // namespace damage_order_test
