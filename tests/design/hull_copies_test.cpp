// Copies of hull layouts: a design taken over by another empire, a new
// revision remade with the owner's current values, and the level gain that
// tells whether such a revision is due.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/base/sub_system_scale.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace hull_copies_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

// A hull of size 100, a plain part, and a working part. Levels and the
// part's availability follow the "Test" values the test binds into the
// owner's namespaces.
const char* const kDefinitions =
    "System: Frame\nTags: Hull\nSize: 100\nLevel: Test.Tech * 2\n\n"
    "System: Thruster\nTags: Engine\nSize: 10\nLevel: Test.Tech\nAvailable: Test.Open\n\n"
    "System: Drill\nTags: CargoBay, Work:Mine\nSize: 20\nLevel: Test.Tech + 1\nMass: 5\n";

class HullCopiesTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Frame");
    values_.set(L"Tech", 1.0f);
    values_.set(L"Open", 1.0f);
    red->spaces.setSpace(&values_, L"Test");
    blue->spaces.setSpace(&values_, L"Test");
  }
  void TearDown() override {
    subSystemMinScale = kDefaultSubSystemMinScale;
    red->spaces.setSpace(nullptr, L"Test");
    blue->spaces.setSpace(nullptr, L"Test");
    clearSubSystemDefs();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  // Frame, Thruster (scale `partScale`) and Drill at three places, the
  // drill linked to the thruster.
  static hull_list* make(empire* owner, const wchar_t* name, float partScale = 1.0f) {
    layout_desc desc;
    desc.scale = 4.0f;
    desc.metadata = 7;
    desc.targeting.targetScaleMin = 0.5f;
    desc.targeting.allowFetch = true;
    const layout_desc::system entries[] = {
        {def(L"Frame"), 1.0f, 0.0f, 0.0f, -1},
        {def(L"Thruster"), partScale, -2.0f, 1.0f, -1},
        {def(L"Drill"), 1.0f, 2.0f, -1.0f, 1},
    };
    for (const layout_desc::system& entry : entries)
      desc.systems.push_back(entry);
    hull_list* layout = new hull_list(desc, owner, false);
    layout->name = name;
    return layout;
  }

  NamedValues values_;
};

TEST_F(HullCopiesTest, AForeignCopyIsANewDesignOfItsOwnThatOutlivesItsSource) {
  red->name = L"Alpha Empire";
  const struct {
    const wchar_t* source;
    const wchar_t* copy;
  } names[] = {
      {L"Alpha Scout", L"Alpha Scout"},  // already carries the owner's name
      {L"Scout", L"Alpha Empire Scout"},
      {L"Alphabet", L"Alpha Empire Alphabet"},  // five characters agree, the sixth not
  };
  for (const auto& c : names) {
    SCOPED_TRACE(stringc(c.source).c_str());
    hull_list* source = make(red, c.source);
    hull_list* copy = source->makeForeignCopy(blue);
    EXPECT_EQ(copy->name, stringw(c.copy));
    source->drop();
    copy->drop();
  }

  hull_list* source = make(red, L"Scout");
  hull_list* successor = make(red, L"Scout 2");
  source->revision = 3;
  source->updateThreshold = 25.0f;
  source->obsolete = true;
  source->newer = successor;
  hull_list* copy = source->makeForeignCopy(blue);

  EXPECT_EQ(copy->owner, blue);
  EXPECT_EQ(copy->getReferenceCount(), 1u);
  EXPECT_EQ(copy->revision, 1u);
  EXPECT_FALSE(copy->obsolete);
  EXPECT_EQ(copy->newer, nullptr);
  EXPECT_EQ(copy->updateThreshold, 25.0f);
  EXPECT_EQ(copy->metadata, 7);
  EXPECT_EQ(copy->scale, 2.0f);
  EXPECT_EQ(copy->mass, source->mass);
  EXPECT_EQ(copy->role, source->role);
  EXPECT_EQ(copy->effectorSystemCount, source->effectorSystemCount);
  EXPECT_EQ(copy->tags, source->tags);
  EXPECT_TRUE(copy->hasSystemWithTag(L"Work:Mine"));
  ASSERT_EQ(copy->orders.size(), source->orders.size());
  for (irr::u32 i = 0; i < copy->orders.size(); ++i)
    EXPECT_EQ(copy->orders[i].order, source->orders[i].order);
  EXPECT_EQ(std::memcmp(&copy->targeting, &source->targeting, sizeof(hull_targeting)), 0);

  // Everything placed is the copy's own, with the source's values.
  const uint32_t count = source->systemCount;
  ASSERT_EQ(copy->systemCount, 3u);
  float levels[3];
  for (uint32_t i = 0; i < count; ++i) {
    const placedSubSystem& from = source->systems[i];
    const placedSubSystem& to = copy->systems[i];
    EXPECT_NE(to.system, from.system);
    EXPECT_EQ(to.system->def, from.system->def);
    EXPECT_EQ(to.system->scale, from.system->scale);
    EXPECT_EQ(to.x, from.x);
    EXPECT_EQ(to.y, from.y);
    EXPECT_EQ(to.link, from.link);
    levels[i] = from.system->getLevel();
  }
  for (int k = 0; k < hull_list::kDamageOrderCount; ++k) {
    ASSERT_EQ(copy->damageOrders[k].size(), source->damageOrders[k].size()) << "order " << k;
    for (irr::u32 i = 0; i < copy->damageOrders[k].size(); ++i) {
      const hull_list::damageOrderEntry& entry = copy->damageOrders[k][i];
      EXPECT_EQ(entry.index, source->damageOrders[k][i].index);
      EXPECT_EQ(entry.entry, &copy->systems[entry.index]);
    }
  }

  // The source goes; the copy's instances and orders stay readable.
  source->drop();
  successor->drop();
  for (uint32_t i = 0; i < count; ++i)
    EXPECT_EQ(copy->systems[i].system->getLevel(), levels[i]);
  for (const auto& order : copy->damageOrders)
    for (irr::u32 i = 0; i < order.size(); ++i)
      EXPECT_NE(order[i].entry->system->def, nullptr);
  copy->drop();
}

TEST_F(HullCopiesTest, AnUpdatedCopyIsTheNextRevisionWithCurrentValues) {
  hull_list* source = make(red, L"Scout");
  source->revision = 4;
  source->updateThreshold = 25.0f;
  source->metadata = 9;
  values_.set(L"Tech", 3.0f);

  hull_list* copy = source->makeUpdatedCopy(red);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->owner, red);
  EXPECT_EQ(copy->revision, 5u);
  EXPECT_EQ(copy->name, stringw(L"Scout"));
  EXPECT_EQ(copy->updateThreshold, 25.0f);
  EXPECT_EQ(copy->metadata, 9);
  EXPECT_EQ(copy->scale, source->scale);
  EXPECT_FALSE(copy->obsolete);
  EXPECT_EQ(copy->newer, nullptr);
  EXPECT_EQ(std::memcmp(&copy->targeting, &source->targeting, sizeof(hull_targeting)), 0);
  ASSERT_EQ(copy->systemCount, 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(copy->systems[i].system->def, source->systems[i].system->def);
    EXPECT_EQ(copy->systems[i].link, source->systems[i].link);
    EXPECT_EQ(copy->systems[i].x, source->systems[i].x);
  }
  EXPECT_EQ(copy->systems[0].system->getLevel(), 6.0f);  // the new values
  EXPECT_EQ(source->systems[0].system->getLevel(), 2.0f);
  EXPECT_FALSE(source->obsolete);  // replacing it is the caller's business
  copy->drop();

  // An obsolete layout gives a current revision too.
  source->set_obsolete();
  copy = source->makeUpdatedCopy(red);
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->obsolete);
  copy->drop();
  source->drop();
}

TEST_F(HullCopiesTest, NoUpdatedCopyOfADesignThatNoLongerHolds) {
  const struct {
    const char* what;
    float open;      // the thruster's availability
    float minScale;  // the smallest sub-system scale
  } cases[] = {
      {"a sub-system is no longer available", 0.0f, kDefaultSubSystemMinScale},
      {"availability below zero", -1.0f, kDefaultSubSystemMinScale},
      {"a part's scale is now below the range", 1.0f, 0.5f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    values_.set(L"Open", 1.0f);
    subSystemMinScale = kDefaultSubSystemMinScale;
    hull_list* source = make(red, L"Scout", 0.25f);
    values_.set(L"Open", c.open);
    subSystemMinScale = c.minScale;

    EXPECT_EQ(source->makeUpdatedCopy(red), nullptr);
    EXPECT_FALSE(source->obsolete);
    EXPECT_EQ(source->newer, nullptr);
    EXPECT_EQ(red->locks[EA_Variables].writeOwned.load(), 0);
    EXPECT_EQ(red->spaces.findSpace(L"Object"), nullptr);
    source->drop();
  }
}

TEST_F(HullCopiesTest, LevelGainSumsTheLevelsNowLessTheLevelsThen) {
  hull_list* layout = make(red, L"Scout");  // levels 2, 1, 2
  EXPECT_EQ(layout->getLevelGain(), 0.0f);
  values_.set(L"Tech", 4.0f);  // levels now 8, 4, 5
  EXPECT_EQ(layout->getLevelGain(), 12.0f);
  values_.set(L"Tech", 0.5f);  // 1, 0.5, 1.5: behind
  EXPECT_EQ(layout->getLevelGain(), -2.0f);
  EXPECT_EQ(red->locks[EA_Variables].writeOwned.load(), 0);
  layout->drop();

  hull_list* empty = new hull_list(layout_desc(), red, true);
  EXPECT_EQ(empty->getLevelGain(), 0.0f);
  empty->drop();
}

TEST_F(HullCopiesTest, MarkingObsoleteForgetsTheNewerRevision) {
  hull_list* layout = make(red, L"Scout");
  hull_list* successor = make(red, L"Scout");
  layout->newer = successor;
  layout->set_obsolete();
  EXPECT_TRUE(layout->obsolete);
  EXPECT_EQ(layout->newer, nullptr);
  successor->drop();
  layout->drop();
}

}  // namespace

}  // namespace hull_copies_test
