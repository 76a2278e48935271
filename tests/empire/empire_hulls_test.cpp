// The empire's layout operations: new revisions filed beside the old ones,
// the update of a design when research has raised its sub-systems' levels
// far enough, the chains of revisions (also after a save), the obsolete
// flag, and the copies taken of other empires' designs.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/common_strings.h"
#include "core/named_values.h"
#include "core/post_load.h"
#include "core/save_stream.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "empire/empire.h"
#include "empire/empire_record.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace empire_hulls_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

// A hull and a part whose level follows the owner's "Test.Tech", so that
// the level gain of a design is the rise of that value since it was made.
const char kDefinitions[] = "System: Frame\nTags: Hull\nSize: 100\n\n"
                            "System: Plate\nSize: 10\nLevel: Test.Tech\n";

class EmpireHullsTest : public UniverseTest {
protected:
  void SetUp() override {
    UniverseTest::SetUp();
    subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Frame");
    tech_.set(L"Tech", 1.0f);
    red->spaces.setSpace(&tech_, L"Test");
    blue->spaces.setSpace(&tech_, L"Test");
    clearPostObjectTreeSteps();
  }
  void TearDown() override {
    clearPostObjectTreeSteps();
    red->spaces.setSpace(nullptr, L"Test");
    blue->spaces.setSpace(nullptr, L"Test");
    UniverseTest::TearDown();
    clearSubSystemDefs();
    freeThreadLocals();
  }

  // A design of Frame and Plate for `owner`, not filed; one reference, the
  // caller's.
  static hull_list *design(empire *owner, const wchar_t *name) {
    layout_desc desc;
    for (const wchar_t *part : {L"Frame", L"Plate"}) {
      const irr::s32 index = findSubSystemDefByName(part);
      EXPECT_GE(index, 0);
      desc.systems.push_back(
          {subSystemDefRegistry[static_cast<irr::u32>(index)].value, 1.0f, 0.0f,
           0.0f, -1});
    }
    hull_list *layout = new hull_list(desc, owner, false);
    layout->name = name;
    return layout;
  }
  // A design filed in its owner's table, which holds the maker's reference.
  static hull_list *filed(empire *owner, const wchar_t *name) {
    hull_list *layout = design(owner, name);
    NamedVar<hull_list *> &entry =
        NamedVar<hull_list *>::getOrAdd(owner->hulls, stringw(name));
    if (entry.value != nullptr)
      entry.value->drop();
    entry.value = layout;
    return layout;
  }
  static hull_list *lookup(empire *owner, const wchar_t *name) {
    const irr::s32 index =
        NamedVar<hull_list *>::find(owner->hulls, stringw(name));
    return index < 0 ? nullptr
                     : owner->hulls[static_cast<irr::u32>(index)].value;
  }
  // "name" of each table entry, in table order.
  static std::string names(empire *owner) {
    std::string out;
    for (irr::u32 i = 0; i < owner->hulls.size(); ++i)
      out += std::string(out.empty() ? "" : ", ") +
             stringc(owner->hulls[i].name).c_str();
    return out;
  }
  static void emptyTable(empire *owner) {
    for (irr::u32 i = 0; i < owner->hulls.size(); ++i)
      owner->hulls[i].value->drop();
    owner->hulls.clear();
    owner->foreignHulls.clear();
  }

  NamedValues tech_;
};

TEST_F(EmpireHullsTest, ReplacingFilesTheOldRevisionBesideTheNewOne) {
  hull_list *old = filed(red, L"Scout");
  tech_.set(L"Tech", 3.0f);
  hull_list *revision = old->makeUpdatedCopy(red);
  ASSERT_NE(revision, nullptr);
  ASSERT_EQ(revision->revision, 2u);

  EXPECT_EQ(red->replaceHull(old, revision), revision);
  EXPECT_EQ(names(red), "Scout, Scout r1");
  EXPECT_EQ(lookup(red, L"Scout"), revision);
  EXPECT_EQ(lookup(red, L"Scout r1"), old);
  EXPECT_EQ(old->name, stringw(L"Scout r1"));
  EXPECT_TRUE(old->obsolete);
  EXPECT_EQ(old->newer, revision);
  EXPECT_FALSE(revision->obsolete);
  EXPECT_EQ(old->getReferenceCount(), 1u);
  EXPECT_EQ(revision->getReferenceCount(), 2u); // the table and the maker
  revision->drop();

  // Refused: the same layout, a design of another empire, an old revision
  // replaced already (which gives the newest and changes nothing).
  hull_list *other = filed(blue, L"Scout");
  hull_list *late = design(red, L"Scout");
  EXPECT_EQ(red->replaceHull(revision, revision), revision);
  EXPECT_EQ(red->replaceHull(revision, other), revision);
  EXPECT_EQ(red->replaceHull(old, late), revision);
  EXPECT_EQ(names(red), "Scout, Scout r1");
  EXPECT_EQ(late->getReferenceCount(), 1u);
  late->drop();

  red->toggleObsolete(L"Scout");
  EXPECT_TRUE(revision->obsolete);
  red->toggleObsolete(L"Scout");
  EXPECT_FALSE(revision->obsolete);
  red->toggleObsolete(L"Nothing"); // no such design: nothing happens
}

TEST_F(EmpireHullsTest, AfterASaveTheOldRevisionStillLeadsToTheNewOne) {
  hull_list *old = filed(red, L"Scout");
  hull_list *revision = old->makeUpdatedCopy(red);
  red->replaceHull(old, revision);
  revision->drop();

  auto stream = SaveStream::createInMemory();
  writeCommonStringsSection(*stream);
  saveEmpire(*stream, red);
  const Bytes file = stream->memoryBytes();
  auto reader = readerOver(file);
  readCommonStringsSection(*reader);
  const std::unique_ptr<empire> back(loadEmpire(*reader));

  hull_list *oldBack = lookup(back.get(), L"Scout r1");
  hull_list *newBack = lookup(back.get(), L"Scout");
  ASSERT_NE(oldBack, nullptr);
  ASSERT_NE(newBack, nullptr);
  EXPECT_EQ(back->getUpdatedHull(oldBack, -1.0f), newBack);
  EXPECT_EQ(newBack->revision, 2u);
}

TEST_F(EmpireHullsTest, ADesignIsUpdatedWhenItsLevelGainReachesTheThreshold) {
  const struct {
    const char *label;
    float threshold;    // given to getUpdatedHull
    float ownThreshold; // the layout's own
    float gain;
    bool updated;
  } cases[] = {
      {"own threshold, gain above", -1.0f, 10.0f, 12.0f, true},
      {"own threshold, gain below", -1.0f, 10.0f, 9.0f, false},
      {"own threshold, gain equal", -1.0f, 10.0f, 10.0f, true},
      {"zero: the own threshold", 0.0f, 10.0f, 9.0f, false},
      {"given threshold", 5.0f, 10.0f, 9.0f, true},
      {"given below 1", 0.5f, 10.0f, 12.0f, false},
      {"own below 1", -1.0f, 0.5f, 12.0f, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label);
    tech_.set(L"Tech", 1.0f);
    hull_list *layout = filed(red, L"Scout");
    layout->updateThreshold = c.ownThreshold;
    tech_.set(L"Tech", 1.0f + c.gain);
    ASSERT_FLOAT_EQ(layout->getLevelGain(), c.gain);

    hull_list *result = red->getUpdatedHull(layout, c.threshold);
    if (c.updated) {
      EXPECT_NE(result, layout);
      EXPECT_EQ(result->revision, 2u);
      EXPECT_EQ(result->updateThreshold, c.ownThreshold);
      EXPECT_EQ(layout->newer, result);
      EXPECT_EQ(names(red), "Scout, Scout r1");
      EXPECT_EQ(result->getReferenceCount(), 1u);
      // The new revision is up to date: asked again, it is the answer.
      EXPECT_EQ(red->getUpdatedHull(layout, c.threshold), result);
      EXPECT_EQ(red->updateHullByName(L"Scout", c.threshold), result);
    } else {
      EXPECT_EQ(result, layout);
      EXPECT_FALSE(layout->obsolete);
      EXPECT_EQ(names(red), "Scout");
    }
    EXPECT_EQ(names(red).find("r2"), std::string::npos);
    emptyTable(red);
  }
  EXPECT_EQ(red->updateHullByName(L"Nothing", -1.0f), nullptr);
}

TEST_F(EmpireHullsTest, AnOldRevisionGivesTheNewestOfItsChain) {
  hull_list *first = filed(red, L"Scout");
  hull_list *second = design(red, L"Scout");
  hull_list *third = design(red, L"Scout");
  second->revision = 2;
  red->replaceHull(first, second);
  red->replaceHull(second, third);
  second->drop();
  third->drop();
  EXPECT_EQ(names(red), "Scout, Scout r1, Scout r2");
  EXPECT_EQ(red->getUpdatedHull(first, -1.0f), third);
  EXPECT_EQ(red->getUpdatedHull(second, -1.0f), third);

  // Marked obsolete without a successor: given back as it is, whatever its
  // gain.
  hull_list *retired = filed(red, L"Retired");
  retired->set_obsolete();
  tech_.set(L"Tech", 50.0f);
  EXPECT_EQ(red->getUpdatedHull(retired, -1.0f), retired);
  EXPECT_EQ(names(red), "Retired, Scout, Scout r1, Scout r2");
  EXPECT_EQ(red->getUpdatedHull(nullptr, -1.0f), nullptr);
}

TEST_F(EmpireHullsTest, AForeignDesignIsCopiedOnceUnderAFreeName) {
  red->name = L"Alpha Empire";
  const struct {
    const char *label;
    std::vector<const wchar_t *> taken; // blue's designs beforehand
    const wchar_t *copyName;
  } cases[] = {
      {"free name", {}, L"Alpha Empire Scout"},
      {"name taken", {L"Alpha Empire Scout"}, L"Alpha Empire Scout 1"},
      {"two taken",
       {L"Alpha Empire Scout", L"Alpha Empire Scout 1"},
       L"Alpha Empire Scout 2"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label);
    hull_list *scout = filed(red, L"Scout");
    for (const wchar_t *name : c.taken)
      filed(blue, name);

    EXPECT_FALSE(blue->hasForeignHull(scout));
    hull_list *copy = blue->acquireForeignHull(scout);
    ASSERT_NE(copy, scout);
    EXPECT_EQ(copy->owner, blue);
    EXPECT_EQ(copy->name, stringw(c.copyName));
    EXPECT_EQ(lookup(blue, c.copyName), copy);
    EXPECT_EQ(copy->getReferenceCount(), 1u);
    EXPECT_TRUE(blue->hasForeignHull(scout));
    EXPECT_EQ(blue->acquireForeignHull(scout), copy);
    EXPECT_EQ(blue->getUpdatedHull(scout, -1.0f), copy);
    EXPECT_EQ(blue->hulls.size(), c.taken.size() + 1);
    EXPECT_EQ(scout->getReferenceCount(), 1u);
    emptyTable(red);
    emptyTable(blue);
  }

  hull_list *own = filed(blue, L"Own");
  EXPECT_EQ(blue->acquireForeignHull(own), own);
  EXPECT_EQ(blue->acquireForeignHull(nullptr), nullptr);
  EXPECT_FALSE(blue->hasForeignHull(own));
}

} // namespace

}  // namespace empire_hulls_test
