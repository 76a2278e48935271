// Making hull layouts from descriptions: the design rules and their
// rejections (with the cleanup after each), the figures of a made layout,
// its role and its standing orders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/base/sub_system_scale.h"
#include "core/common_strings.h"
#include "core/locale.h"
#include "core/locks.h"
#include "core/named_values.h"
#include "core/threads.h"
#include "design/hull_list.h"
#include "design/sub_system_fixture.h"
#include "design/subsystems/sub_system.h"
#include "support/scratch_dir.h"
#include "universe/universe_fixture.h"

namespace hull_evaluation_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

// "Hull" gives 100 of space; "Filler" takes the design scale times its own
// (its "Scale"); "Plate" is armour far larger than the hull. "Probe" shows
// what its formulas read.
const char* const kDefinitions =
    "System: Hull\nTags: Hull\nEquips To: Hull\nSize: 100\nMass: 40\n\n"
    "System: SpareHull\nTags: Hull\nEquips To: Hull\nSize: 100\n\n"
    "System: Filler\nSize: Scale\nMass: 2\n\n"
    "System: Plate\nTags: Armor\nEquips To: Armor\nSize: 500\nMass: 0.5\n\n"
    "System: Engine\nTags: Engine\nSize: 1\n\n"
    "System: Gun\nTags: Weapon\nSize: 1\n\n"
    "System: Bay\nTags: ShipBay\nSize: 1\n\n"
    "System: Hold\nTags: CargoBay\nSize: 1\n\n"
    "System: Pod\nTags: Colonizer\nSize: 1\n\n"
    "System: Miner\nTags: Work:Mine\nSize: 1\n\n"
    "System: Fetcher\nTags: Fetch:Ore, Deposit:Ore, Order:Patrol\nSize: 1\n\n"
    "System: Limiter\nTags: Restrict:Engine\nSize: 1\n\n"
    "System: Needy\nTags: Require:CargoBay\nSize: 1\n\n"
    "System: Locked\nAvailable: 0\nSize: 1\n\n"
    "System: Probe\nSize: 1\nSeenScale: Scale\nSeenObjectScale: Object.Scale\nSeenObjectSize: Object.Size\n";

struct LayoutDropper {
  void operator()(hull_list* layout) const { layout->drop(); }
};
using LayoutPtr = std::unique_ptr<hull_list, LayoutDropper>;

// One entry of a design: the definition's name, its scale and its link.
struct Part {
  const wchar_t* name;
  float scale = 1.0f;
  int32_t link = -1;
};

std::string narrow(const stringw& text) { return stringc(text).c_str(); }
std::string text(const wchar_t* key) { return narrow(stringw(getLocalizedText(key))); }

// A variable of an instance by name; NaN when absent.
float variable(const subSystem* instance, const wchar_t* name) {
  const irr::s32 index = findPtrNamedVar(instance->def->variableIndex, name);
  return index < 0 ? std::nanf("") : instance->values[instance->def->variableIndex[index].value->index];
}

// An order as {name, argument, second argument}, "-" for none.
std::vector<std::string> orderOf(const hull_list::orderEntry& entry) {
  auto one = [](const stringw* part) { return part == nullptr ? std::string("-") : narrow(*part); };
  return {one(entry.order), one(entry.argument), one(entry.secondArgument)};
}
std::vector<std::vector<std::string>> ordersOf(const hull_list& layout) {
  std::vector<std::vector<std::string>> out;
  for (irr::u32 i = 0; i < layout.orders.size(); ++i)
    out.push_back(orderOf(layout.orders[i]));
  return out;
}

class HullEvaluationTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true);
    ASSERT_NE(subsystemtest::loadDefinition(scratchDir(), kDefinitions, L"Hull"), nullptr);
  }
  void TearDown() override {
    subSystemMinScale = kDefaultSubSystemMinScale;
    subSystemMaxScale = kDefaultSubSystemMaxScale;
    clearSubSystemDefs();
    freeThreadLocals();
    UniverseTest::TearDown();
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    EXPECT_GE(index, 0) << narrow(name);
    return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
  }

  static layout_desc describe(const std::vector<Part>& parts, float designScale = 1.0f) {
    layout_desc desc;
    desc.scale = designScale;
    float x = -2.0f;
    for (const Part& part : parts) {
      layout_desc::system entry;
      entry.def = def(part.name);
      entry.scale = part.scale;
      entry.x = x;
      entry.y = 1.0f;
      entry.link = part.link;
      desc.systems.push_back(entry);
      x += 1.0f;
    }
    return desc;
  }

  // The layout of `parts` for red, or the text of the rejection (prefixed
  // "space:" for a space fault). Every rejection must leave red's variables
  // area free and its namespaces as they were.
  std::string outcome(const std::vector<Part>& parts, bool allowInvalid, float designScale = 1.0f,
                      LayoutPtr* made = nullptr) {
    const layout_desc desc = describe(parts, designScale);
    try {
      LayoutPtr layout(new hull_list(desc, red, allowInvalid));
      if (made != nullptr)
        *made = std::move(layout);
      return "made";
    } catch (const hullCreationError& error) {
      expectCleanOwner(red);
      return narrow(error.text);
    } catch (const hullSpaceError& error) {
      expectCleanOwner(red);
      return "space:" + narrow(error.text);
    }
  }

  // Nothing of an evaluation is left in `owner`: no binding, no level of
  // its variables area, so another thread can take it for writing.
  static void expectCleanOwner(empire* owner) {
    EXPECT_EQ(owner->spaces.findSpace(L"Object"), nullptr);
    EXPECT_EQ(owner->spaces.findSpace(stringw(L"\x01")), nullptr);
    ReadWriteLock& area = owner->locks[EA_Variables];
    EXPECT_EQ(heldLockEntry(area), nullptr);
    ASSERT_EQ(area.readers.load() + area.writers.load() + area.writeOwned.load(), 0) << "the area is still held";
    bool taken = false;
    std::thread([&] {
      ScopedWriteLock guard(area);
      taken = true;
    }).join();
    EXPECT_TRUE(taken);
  }
};

TEST_F(HullEvaluationTest, DesignAndSubSystemScalesHaveLimitsThatAllowInvalidKeeps) {
  struct Case {
    float designScale;
    float partScale;
    const wchar_t* rejection;  // null: made
  };
  const Case cases[] = {
      {0.0001f, 1.0f, L"#LEE_Small"},
      {0.00011f, 1.0f, nullptr},
      {std::nanf(""), 1.0f, L"#LEE_Small"},
      {1.0f, 0.25f, nullptr},
      {1.0f, 4.0f, nullptr},
      {1.0f, 4.0001f, L"#LEE_Scale"},
      {1.0f, 0.2499f, L"#LEE_Scale"},
      {1.0f, std::nanf(""), L"#LEE_Scale"},
  };
  for (const Case& c : cases) {
    for (bool allowInvalid : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.designScale << " " << c.partScale << " " << allowInvalid);
      EXPECT_EQ(outcome({{L"Hull"}, {L"Engine", c.partScale}}, allowInvalid, c.designScale),
                c.rejection == nullptr ? "made" : text(c.rejection));
    }
  }
  // The limits are the settings' values.
  subSystemMinScale = 0.5f;
  EXPECT_EQ(outcome({{L"Hull"}, {L"Engine", 0.25f}}, true), text(L"#LEE_Scale"));
}

TEST_F(HullEvaluationTest, SpaceIsGivenByTheOneHullAndTakenByAllButArmour) {
  struct Case {
    const char* what;
    std::vector<Part> parts;
    float designScale;
    std::string strict;   // outcome without allowInvalid
    std::string lenient;  // with it
  };
  const std::string space = "space:" + text(L"#LEE_Space");
  const Case cases[] = {
      {"within the tolerance", {{L"Hull"}, {L"Filler"}}, 100.09f, "made", "made"},
      {"at the tolerance", {{L"Hull"}, {L"Filler"}}, 100.1f, "made", "made"},
      {"beyond it", {{L"Hull"}, {L"Filler"}}, 100.11f, space, "made"},
      {"armour and the hull itself take none",
       {{L"Plate"}, {L"Hull"}, {L"Plate"}, {L"Filler", 4.0f}},
       25.0f,
       "made",
       "made"},
      {"two hulls", {{L"Hull"}, {L"SpareHull"}}, 1.0f, text(L"#LEE_OneHull"), "made"},
      {"no hull", {{L"Filler"}, {L"Plate"}}, 1.0f, text(L"#LEE_Hull"), "made"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(outcome(c.parts, false, c.designScale), c.strict);
    EXPECT_EQ(outcome(c.parts, true, c.designScale), c.lenient);
  }

  // The space fault carries both figures.
  const layout_desc desc = describe({{L"Hull"}, {L"Filler"}}, 100.2f);
  try {
    LayoutPtr layout(new hull_list(desc, red, false));
    ADD_FAILURE() << "an overfull design was made";
  } catch (const hullSpaceError& error) {
    EXPECT_EQ(narrow(error.text), text(L"#LEE_Space"));
    EXPECT_EQ(error.taken, 100.2f);
    EXPECT_EQ(error.available, 100.0f);
  }
  expectCleanOwner(red);
}

TEST_F(HullEvaluationTest, TagRulesAndAvailabilityReject) {
  struct Case {
    const char* what;
    std::vector<Part> parts;
    std::string strict;
    std::string lenient;
  };
  const std::string locked = "Locked" + text(L"#LEE_Unlocked");
  const Case cases[] = {
      {"restricted tag present",
       {{L"Hull"}, {L"Limiter"}, {L"Engine"}},
       text(L"#LEE_Restricted"),
       text(L"#LEE_Restricted")},
      {"restricted tag absent", {{L"Hull"}, {L"Limiter"}}, "made", "made"},
      {"required tag absent", {{L"Hull"}, {L"Needy"}}, text(L"#LEE_Required"), text(L"#LEE_Required")},
      {"required tag present", {{L"Hull"}, {L"Hold"}, {L"Needy"}}, "made", "made"},
      {"unavailable part", {{L"Hull"}, {L"Engine"}, {L"Locked"}}, locked, "made"},
      {"no parts", {}, text(L"#LEE_SubSys"), "made"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(outcome(c.parts, false), c.strict);
    EXPECT_EQ(outcome(c.parts, true), c.lenient);
  }
  EXPECT_NE(text(L"#LEE_Unlocked"), "#LEE_Unlocked") << "the locale file lacks the key";

  // What the layout keeps of the tags: "Restrict:" ones, not "Require:" ones.
  LayoutPtr layout;
  ASSERT_EQ(outcome({{L"Hull"}, {L"Hold"}, {L"Needy"}, {L"Limiter"}}, false, 1.0f, &layout), "made");
  EXPECT_TRUE(layout->hasSystemWithTag(L"CargoBay"));
  EXPECT_TRUE(layout->hasSystemWithTag(L"Restrict:Engine"));
  EXPECT_FALSE(layout->hasSystemWithTag(L"Require:CargoBay"));
  std::vector<std::string> tags;
  for (const stringw* tag : layout->tags)
    tags.push_back(narrow(*tag));
  EXPECT_EQ(tags, (std::vector<std::string>{"CargoBay", "Hull", "Restrict:Engine"}));

  // An unavailable part is kept, as it is, with allowInvalid.
  ASSERT_EQ(outcome({{L"Hull"}, {L"Locked"}}, true, 1.0f, &layout), "made");
  EXPECT_FALSE(layout->systems[1].system->available);
}

TEST_F(HullEvaluationTest, EachTargetTakesOneLinkAndLinkedEntriesDoNotLinkOnInAnyOrder) {
  struct Case {
    const char* what;
    std::vector<int32_t> links;  // one per entry, the last one the hull
    bool made;
  };
  const Case cases[] = {
      {"one link", {1, -1, -1}, true},
      {"links to two targets", {2, 3, -1, -1}, true},
      {"two links to one target", {2, 2, -1, -1}, false},
      {"a chain, outer link first", {1, 2, -1, -1}, false},
      {"a chain, outer link last", {2, 0, -1, -1}, false},
      {"a link to itself", {0, -1}, false},
  };
  for (const Case& c : cases) {
    std::vector<Part> parts;
    for (size_t i = 0; i + 1 < c.links.size(); ++i)
      parts.push_back({L"Engine", 1.0f, c.links[i]});
    parts.push_back({L"Hull", 1.0f, c.links.back()});
    for (bool allowInvalid : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.what << " " << allowInvalid);
      LayoutPtr layout;
      EXPECT_EQ(outcome(parts, allowInvalid, 1.0f, &layout), c.made ? "made" : text(L"#LEE_MultiLink"));
      if (layout != nullptr) {
        for (size_t i = 0; i < parts.size(); ++i)
          EXPECT_EQ(layout->systems[i].link, parts[i].link);
      }
    }
  }
}

TEST_F(HullEvaluationTest, AMadeLayoutHoldsItsFigures) {
  layout_desc desc = describe({{L"Probe", 2.0f}, {L"Hull", 0.5f}, {L"Plate", 1.0f, 0}}, 4.0f);
  desc.metadata = 7;
  desc.targeting.targetScaleMin = 1.5f;
  desc.targeting.allowFetch = true;
  LayoutPtr layout(new hull_list(desc, red, false));

  EXPECT_EQ(layout->owner, red);
  EXPECT_EQ(layout->systemCount, 3u);
  EXPECT_EQ(layout->scale, 2.0f);
  EXPECT_EQ(layout->metadata, 7);
  EXPECT_EQ(std::memcmp(&layout->targeting, &desc.targeting, sizeof desc.targeting), 0);
  EXPECT_EQ(layout->mass, 1.0 + 40.0 + 0.5);  // the probe's Mass defaults to its Size
  EXPECT_EQ(layout->revision, 1u);
  EXPECT_EQ(layout->updateThreshold, 10.0f);
  EXPECT_FALSE(layout->obsolete);
  EXPECT_EQ(layout->newer, nullptr);
  EXPECT_EQ(layout->effectorSystemCount, 0u);
  EXPECT_TRUE(layout->name.empty());

  // Each entry at its place, with its own scale; the formulas saw the
  // sub-system's scale times the design scale, and the design's "Object".
  const float xs[] = {-2.0f, -1.0f, 0.0f};
  const float scales[] = {2.0f, 0.5f, 1.0f};
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(layout->systems[i].x, xs[i]);
    EXPECT_EQ(layout->systems[i].y, 1.0f);
    EXPECT_EQ(layout->systems[i].system->scale, scales[i]);
  }
  const subSystem* probe = layout->systems[0].system;
  EXPECT_EQ(probe->def, def(L"Probe"));
  EXPECT_EQ(variable(probe, L"SeenScale"), 8.0f);
  EXPECT_EQ(variable(probe, L"SeenObjectScale"), 4.0f);
  EXPECT_EQ(variable(probe, L"SeenObjectSize"), 60.0f);
  expectCleanOwner(red);

  // A null owner is the empire with ID 255.
  LayoutPtr unowned(new hull_list(describe({{L"Hull"}}), nullptr, false));
  EXPECT_EQ(unowned->owner, getEmpireByID(255));
}

TEST_F(HullEvaluationTest, TheRoleFollowsTheTableAndGivesTheDefaultOrders) {
  struct Case {
    std::vector<Part> parts;
    uint32_t role;
    std::vector<std::vector<std::string>> orders;
  };
  const std::vector<std::vector<std::string>> none;
  const std::vector<std::vector<std::string>> defend = {{"Defend", "-", "-"}};
  const Case cases[] = {
      {{{L"Hull"}, {L"Pod"}, {L"Bay"}, {L"Hold"}}, HullRole_CivStation, none},
      {{{L"Hull"}, {L"Gun"}, {L"Pod"}}, HullRole_Station, defend},
      {{{L"Hull"}, {L"Engine"}, {L"Pod"}, {L"Gun"}, {L"Bay"}}, HullRole_ColonyShip, defend},
      {{{L"Hull"}, {L"Engine"}, {L"Gun"}, {L"Bay"}, {L"Hold"}}, HullRole_Carrier, defend},
      {{{L"Hull"}, {L"Engine"}, {L"Gun"}, {L"Hold"}}, HullRole_Combat, defend},
      {{{L"Hull"}, {L"Engine"}, {L"Bay"}, {L"Hold"}}, HullRole_Transport, none},
      {{{L"Hull"}, {L"Engine"}, {L"Hold"}}, HullRole_Cargo, {{"Trade", "-", "-"}}},
      {{{L"Hull"}, {L"Engine"}}, HullRole_Civilian, none},
      // A work order replaces the trade order.
      {{{L"Hull"}, {L"Engine"}, {L"Hold"}, {L"Miner"}}, HullRole_Cargo, {{"Work", "Mine", "-"}}},
      // The fetch order comes first, though the deposit tag sorts before it.
      {{{L"Hull"}, {L"Engine"}, {L"Hold"}, {L"Fetcher"}},
       HullRole_Cargo,
       {{"Fetch", "Ore", ".45"}, {"Deposit", "Ore", "-"}, {"Patrol", "-", "-"}}},
      {{{L"Hull"}, {L"Engine"}, {L"Gun"}, {L"Fetcher"}},
       HullRole_Combat,
       {{"Fetch", "Ore", ".45"}, {"Deposit", "Ore", "-"}, {"Patrol", "-", "-"}, {"Defend", "-", "-"}}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    LayoutPtr layout;
    ASSERT_EQ(outcome(cases[i].parts, false, 1.0f, &layout), "made");
    EXPECT_EQ(layout->role, cases[i].role);
    EXPECT_EQ(ordersOf(*layout), cases[i].orders);
    // Order strings are the pooled ones.
    for (irr::u32 k = 0; k < layout->orders.size(); ++k)
      EXPECT_EQ(layout->orders[k].order, internCommonString(*layout->orders[k].order));
  }
}

TEST_F(HullEvaluationTest, AnEmptyDescriptionWithAllowInvalidGivesAnEmptyCivilianLayout) {
  LayoutPtr layout(new hull_list(layout_desc(), red, true));
  EXPECT_EQ(layout->systemCount, 0u);
  EXPECT_EQ(layout->systems, nullptr);
  EXPECT_EQ(layout->role, HullRole_Civilian);
  EXPECT_TRUE(layout->tags.empty());
  EXPECT_EQ(layout->orders.size(), 0u);
  for (const auto& order : layout->damageOrders)
    EXPECT_EQ(order.size(), 0u);
  EXPECT_EQ(layout->mass, 0.0);
}

TEST(LayoutDescTest, AResetRestoresTheDefaultsButKeepsTheMetadata) {
  layout_desc desc;
  desc.scale = 3.0f;
  desc.metadata = 42;
  desc.systems.push_back(layout_desc::system());
  hull_targeting& t = desc.targeting;
  t.targetScaleMin = t.targetScaleMax = t.targetDamageMin = t.targetDamageMax = 2.5f;
  t.targetScaleSet = t.targetScaleExclusive = t.targetDamageSet = t.targetDamageExclusive = true;
  t.orbits = t.spareFlag = t.allowShipTargets = t.allowPlanetTargets = false;
  t.depositTargets[0] = true;
  t.depositTargets[1] = false;
  t.allowFetch = true;
  desc.reset();

  EXPECT_EQ(desc.scale, 1.0f);
  EXPECT_EQ(desc.systems.size(), 0u);
  EXPECT_EQ(desc.metadata, 42);
  // Flags on: orbits, spareFlag, both target kinds, the second deposit flag.
  unsigned char expected[32] = {};
  for (int set : {22, 23, 24, 25, 27})
    expected[set] = 1;
  EXPECT_EQ(std::memcmp(&desc.targeting, expected, sizeof expected), 0);
}

}  // namespace

}  // namespace hull_evaluation_test
