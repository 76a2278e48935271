// Hull layouts shared between threads: layouts are made for two empires
// while other threads hold references to shared layouts and walk their
// damage orders, as galaxy threads do with the designs of their ships.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/named_values.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace hull_concurrency_test {

namespace {

constexpr int kMakers = 8;
constexpr int kWalkers = 4;
constexpr int kRounds = 20;

const char* const kDefinitions =
    "System: Frame\nTags: Hull\nSize: 100\nLevel: Test.Tech * 2\n\n"
    "System: Thruster\nTags: Engine\nSize: 10\nLevel: Test.Tech\n\n"
    "System: Plate\nTags: Armor\nEquips To: Armor\nSize: 5\nLevel: 1\n";

class HullConcurrencyTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Frame");
    values_.set(L"Tech", 1.0f);
    red->spaces.setSpace(&values_, L"Test");
    blue->spaces.setSpace(&values_, L"Test");
  }
  void TearDown() override {
    red->spaces.setSpace(nullptr, L"Test");
    blue->spaces.setSpace(nullptr, L"Test");
    clearSubSystemDefs();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static hull_list* make(empire* owner) {
    const wchar_t* names[] = {L"Plate", L"Thruster", L"Frame", L"Thruster", L"Plate"};
    layout_desc desc;
    for (int i = 0; i < 5; ++i) {
      const irr::s32 index = findSubSystemDefByName(names[i]);
      layout_desc::system entry;
      entry.def = subSystemDefRegistry[static_cast<irr::u32>(index)].value;
      entry.x = static_cast<float>(i) - 2.0f;
      desc.systems.push_back(entry);
    }
    return new hull_list(desc, owner, false);
  }

  NamedValues values_;
};

TEST_F(HullConcurrencyTest, LayoutsAreMadeWhileSharedOnesAreReadElsewhere) {
  hull_list* shared[2] = {make(red), make(blue)};
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};

  // Walkers: take a reference, read every placed sub-system through each
  // damage order, let go.
  std::vector<std::thread> walkers;
  for (int w = 0; w < kWalkers; ++w) {
    walkers.emplace_back([&, w] {
      initThreadLocals();
      for (int round = 0; !stop.load() || round < kRounds; ++round) {
        hull_list* layout = shared[(w + round) % 2];
        layout->grab();
        float levels = 0.0f;
        for (const auto& order : layout->damageOrders)
          for (irr::u32 i = 0; i < order.size(); ++i)
            levels += order[i].entry->system->getLevel();
        if (levels != 24.0f)  // each of the four orders over all sub-systems sums 6
          failures.fetch_add(1);
        layout->drop();
      }
      freeThreadLocals();
    });
  }

  // Makers: new designs, new revisions and foreign copies for both empires.
  std::vector<std::thread> makers;
  for (int m = 0; m < kMakers; ++m) {
    makers.emplace_back([&, m] {
      initThreadLocals();
      empire* owner = m % 2 == 0 ? red : blue;
      for (int round = 0; round < kRounds; ++round) {
        hull_list* made = make(owner);
        hull_list* revision = shared[m % 2]->makeUpdatedCopy(owner);
        hull_list* foreign = shared[(m + 1) % 2]->makeForeignCopy(owner);
        if (revision == nullptr || made->systemCount != 5 || foreign->systemCount != 5 ||
            shared[m % 2]->getLevelGain() != 0.0f)
          failures.fetch_add(1);
        made->drop();
        if (revision != nullptr)
          revision->drop();
        foreign->drop();
      }
      freeThreadLocals();
    });
  }
  for (std::thread& thread : makers)
    thread.join();
  stop.store(true);
  for (std::thread& thread : walkers)
    thread.join();

  EXPECT_EQ(failures.load(), 0);
  for (hull_list* layout : shared) {
    EXPECT_EQ(layout->getReferenceCount(), 1u);
    layout->drop();
  }
}

}  // namespace

}  // namespace hull_concurrency_test
