// The empire's layout operations between threads: galaxy threads bring one
// empire's design up to date while the main thread files new revisions and
// raises the levels, and two threads take the same foreign design at once.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/named_values.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "empire/empire.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace empire_hulls_concurrency_test {

using irr::core::stringw;

namespace {

const char kDefinitions[] = "System: Frame\nTags: Hull\nSize: 100\n\n"
                            "System: Plate\nSize: 10\nLevel: Test.Tech\n";

class EmpireHullsConcurrencyTest : public UniverseTest {
protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Frame");
    tech_.set(L"Tech", 1.0f);
    red->spaces.setSpace(&tech_, L"Test");
  }
  void TearDown() override {
    red->spaces.setSpace(nullptr, L"Test");
    UniverseTest::TearDown();
    clearSubSystemDefs();
    freeThreadLocals();
  }

  // A design of Frame and Plate for `owner`; one reference, the caller's.
  static hull_list *design(empire *owner, const wchar_t *name) {
    layout_desc desc;
    for (const wchar_t *part : {L"Frame", L"Plate"}) {
      const irr::s32 index = findSubSystemDefByName(part);
      desc.systems.push_back(
          {subSystemDefRegistry[static_cast<irr::u32>(index)].value, 1.0f, 0.0f,
           0.0f, -1});
    }
    hull_list *layout = new hull_list(desc, owner, false);
    layout->name = name;
    return layout;
  }
  // Files a design under its name, under the owner's hulls area.
  static hull_list *filed(empire *owner, const stringw &name) {
    hull_list *layout = design(owner, name.c_str());
    ScopedWriteLock guard(owner->locks[EA_HullLayouts]);
    NamedVar<hull_list *>::getOrAdd(owner->hulls, name).value = layout;
    return layout;
  }
  // Raises the level the owner could build now, as research does.
  void raiseTech(float level) {
    ScopedWriteLock guard(red->locks[EA_Variables]);
    tech_.set(L"Tech", level);
  }

  NamedValues tech_;
};

TEST_F(EmpireHullsConcurrencyTest, UpdatesOnGalaxyThreadsMakeOneLinearChain) {
  hull_list *first = filed(red, L"Scout");
  hull_list *other = filed(red, L"Other");
  const hull_list *otherFirst = other;
  constexpr int kRounds = 60;
  std::atomic<bool> done{false};
  std::vector<std::vector<hull_list *>> seen(4);
  std::vector<std::thread> galaxy;
  for (int t = 0; t < 4; ++t) {
    galaxy.emplace_back([&, t] {
      while (!done.load()) {
        seen[t].push_back(red->getUpdatedHull(first, -1.0f));
        red->updateHullByName(L"Other", -1.0f);
      }
      freeThreadLocals();
    });
  }
  for (int round = 1; round <= kRounds; ++round) {
    if (round % 6 == 0) {
      // A gain of 11 over the threshold of 10: the galaxy threads make one
      // revision, which the main thread waits for (a threshold below 1 only
      // looks the newest up).
      const uint32_t raise = static_cast<uint32_t>(round / 6);
      raiseTech(1.0f + 11.0f * static_cast<float>(raise));
      while (red->getUpdatedHull(first, 0.5f)->revision < raise + 1)
        std::this_thread::yield();
    }
    hull_list *next = design(red, L"Other");
    next->revision = other->revision + 1;
    other = red->replaceHull(other, next);
    next->drop();
  }
  done.store(true);
  for (std::thread &thread : galaxy)
    thread.join();

  // One chain from each first design, each revision once, numbered in turn.
  std::set<const hull_list *> chain;
  const hull_list *newest = first;
  for (uint32_t revision = 1;; ++revision) {
    EXPECT_EQ(newest->revision, revision);
    chain.insert(newest);
    if (newest->newer == nullptr)
      break;
    newest = newest->newer;
  }
  EXPECT_EQ(chain.size(), 11u); // ten raises
  EXPECT_EQ(red->getUpdatedHull(first, -1.0f), newest);
  for (const auto &results : seen)
    for (const hull_list *result : results)
      EXPECT_EQ(chain.count(result), 1u);
  size_t otherRevisions = 1;
  for (const hull_list *layout = otherFirst; layout->newer != nullptr;
       layout = layout->newer) {
    EXPECT_EQ(layout->newer->revision, layout->revision + 1);
    ++otherRevisions;
  }
  EXPECT_GE(otherRevisions, static_cast<size_t>(kRounds) + 1);
  // Every revision is filed once, under its own name.
  std::set<stringw> names;
  for (irr::u32 i = 0; i < red->hulls.size(); ++i) {
    EXPECT_EQ(red->hulls[i].name, red->hulls[i].value->name);
    EXPECT_TRUE(names.insert(red->hulls[i].name).second);
    EXPECT_EQ(red->hulls[i].value->getReferenceCount(), 1u);
  }
  EXPECT_EQ(red->hulls.size(), chain.size() + otherRevisions);
}

TEST_F(EmpireHullsConcurrencyTest,
       TwoThreadsTakingOneForeignDesignMakeOneCopy) {
  constexpr int kRounds = 100;
  for (int round = 0; round < kRounds; ++round) {
    hull_list *source = filed(red, stringw(L"Scout ") + stringw(round));
    std::atomic<int> ready{0};
    hull_list *copies[2] = {nullptr, nullptr};
    std::vector<std::thread> takers;
    for (int t = 0; t < 2; ++t) {
      takers.emplace_back([&, t] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
        }
        copies[t] = blue->acquireForeignHull(source);
        freeThreadLocals();
      });
    }
    for (std::thread &thread : takers)
      thread.join();
    ASSERT_NE(copies[0], nullptr);
    ASSERT_EQ(copies[0], copies[1]) << "round " << round;
    EXPECT_EQ(copies[0]->getReferenceCount(), 1u);
  }
  EXPECT_EQ(blue->hulls.size(), static_cast<irr::u32>(kRounds));
  EXPECT_EQ(blue->foreignHulls.size(), static_cast<size_t>(kRounds));
}

} // namespace

}  // namespace empire_hulls_concurrency_test
