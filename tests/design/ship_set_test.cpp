// Ship sets: the rule lines (braced and braceless blocks, tags, stray
// braces), the variables the rules see ("PC" roles, "LV.class" and
// "LV.scale"), and loading (the first set of a name wins, missing files,
// the role table's existing entries, clearing).
#include "design/shipsets/ship_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "design/build/build_fixture.h"
#include "support/log_capture.h"

namespace ship_set_test {

using irr::core::stringw;

namespace {

// Ship parts whose tags give the layouts their roles: an engine alone makes
// a civilian ship, with a weapon a combat ship, with a weapon and a ship
// bay a carrier; a weapon without an engine makes a station.
const char kShipParts[] =
    "System: Drive\nTags: Hull, Engine\nSize: 100\n\n"
    "System: Gun\nTags: Weapon\nSize: 10\n\n"
    "System: Bay\nTags: ShipBay\nSize: 10\n\n"
    "System: Plating\nTags: Armor\nSize: 10\n";

enum Subject { kCarrier, kCombat, kArmoredCombat, kCivilian, kStation, kNoLayout };

const char* subjectName(Subject subject) {
  static const char* const names[] = {"carrier", "combat", "armored combat", "civilian", "station", "no layout"};
  return names[subject];
}

class ShipSetTest : public buildtest::BuildTest {
 protected:
  void SetUp() override {
    BuildTest::SetUp();
    dir_ = scratchDir();
    std::filesystem::create_directories(dir_ / "parts");
    subsystemtest::loadDefinition(dir_ / "parts", kShipParts, L"Drive");
    layouts_[kCarrier] = layoutOf(red, L"Carrier", {L"Drive", L"Gun", L"Bay"});
    layouts_[kCombat] = layoutOf(red, L"Combat", {L"Drive", L"Gun"});
    layouts_[kArmoredCombat] = layoutOf(red, L"Armored", {L"Drive", L"Gun", L"Plating"});
    layouts_[kCivilian] = layoutOf(red, L"Civilian", {L"Drive"});
    layouts_[kStation] = layoutOf(red, L"Station", {L"Gun"});
  }

  void TearDown() override {
    clearShipSets();
    BuildTest::TearDown();
  }

  // Writes `rules` as the set file `file` (a path under the scratch folder)
  // and loads it.
  std::string writeSet(const std::string& file, const std::string& rules) {
    const std::filesystem::path path = dir_ / file;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << rules;
    return path.string();
  }
  IShipSet* load(const std::string& name, const std::string& rules) {
    loadShipSets(writeSet(name + ".txt", rules).c_str());
    return findShipSet(stringw(name.c_str()));
  }

  // An object of the given kind with the given radius: a ship of that
  // layout, or a planet for kNoLayout.
  generic_object* subject(Subject kind, float radius = 1.0f) {
    generic_object* object = kind == kNoLayout ? static_cast<generic_object*>(planetOf(red))
                                               : static_cast<generic_object*>(shipOf(layouts_[kind]));
    object->radius = radius;
    return object;
  }

  static std::string modelOf(IShipSet* set, generic_object* object) {
    return wideToStdString(set->getModel(object).c_str());
  }

  std::filesystem::path dir_;
  hull_list* layouts_[kNoLayout] = {};
};

TEST_F(ShipSetTest, FixtureLayoutsCarryTheirRoles) {
  EXPECT_EQ(layouts_[kCarrier]->role, static_cast<uint32_t>(HullRole_Carrier));
  EXPECT_EQ(layouts_[kCombat]->role, static_cast<uint32_t>(HullRole_Combat));
  EXPECT_EQ(layouts_[kArmoredCombat]->role, static_cast<uint32_t>(HullRole_Combat));
  EXPECT_EQ(layouts_[kCivilian]->role, static_cast<uint32_t>(HullRole_Civilian));
  EXPECT_EQ(layouts_[kStation]->role, static_cast<uint32_t>(HullRole_Station));
  EXPECT_TRUE(layouts_[kArmoredCombat]->hasSystemWithTag(L"Armor"));
  EXPECT_FALSE(layouts_[kCombat]->hasSystemWithTag(L"Armor"));
}

TEST_F(ShipSetTest, GetModelFollowsTheRuleLines) {
  struct Probe {
    Subject subject;
    float radius;
    const char* model;
  };
  struct Case {
    const char* name;
    const char* rules;
    std::vector<Probe> probes;
  };
  const Case cases[] = {
      {"CarrierBlock",
       "// carriers first\n"
       "if LV.class == PC.Carrier {\n"
       "  carrier = CarrierHull\n"
       "}\n"
       "default = PlainHull\n",
       {{kCarrier, 1, "CarrierHull"}, {kCombat, 1, "PlainHull"}, {kStation, 1, "PlainHull"}}},
      {"BracelessTag",
       "tag Armor\n"
       "armored = ArmoredHull\n"
       "plain = PlainHull\n",
       {{kArmoredCombat, 1, "ArmoredHull"}, {kCombat, 1, "PlainHull"}, {kCivilian, 1, "PlainHull"}}},
      {"BracelessIfAndTagCloseTogether",
       "if LV.class == PC.Combat\n"
       "tag Armor\n"
       "armored = ArmoredCombat\n"
       "rest = Rest\n",
       {{kArmoredCombat, 1, "ArmoredCombat"}, {kCombat, 1, "Rest"}, {kCivilian, 1, "Rest"}}},
      {"BracelessInsideBraced",
       "if LV.class >= PC.Combat {\n"
       "tag Armor\n"
       "armored = ArmoredWarship\n"
       "warship = Warship\n"
       "}\n"
       "rest = Rest\n",
       {{kArmoredCombat, 1, "ArmoredWarship"}, {kCarrier, 1, "Warship"}, {kCivilian, 1, "Rest"}}},
      {"NothingMatches",
       "if LV.class == PC.Station {\n"
       "station = StationHull\n"
       "}\n"
       "lines without an equals sign are ignored\n",
       {{kCombat, 1, "ERROR"}, {kNoLayout, 1, "ERROR"}, {kStation, 1, "StationHull"}}},
      {"NoLayoutIsClassFiveWithoutTags",
       "tag Hull\n"
       "hull = Tagged\n"
       "if LV.class == 5\n"
       "five = ClassFive\n",
       {{kNoLayout, 1, "ClassFive"}, {kCivilian, 1, "Tagged"}, {kStation, 1, "ERROR"}}},
      {"ScaleIsRadiusSquared",
       "if LV.scale == 16 {\n"
       "big = Sixteen\n"
       "}\n"
       "small = Other\n",
       {{kCombat, 4, "Sixteen"}, {kCombat, 3, "Other"}, {kNoLayout, 4, "Sixteen"}, {kCombat, -4, "Sixteen"}}},
      {"StrayBracesAreIgnored",
       "}\n"
       "if LV.class == PC.Carrier {\n"
       "carrier = CarrierHull\n"
       "}\n"
       "}\n"
       "rest = Rest\n",
       {{kCarrier, 1, "CarrierHull"}, {kCombat, 1, "Rest"}}},
      {"ModelIsTheTrimmedTextAfterTheFirstEquals",
       "if {\n"  // an empty condition is 0
       "never = Never\n"
       "}\n"
       "a = b = \t Spaced Name \n",
       {{kCombat, 1, "b = \t Spaced Name"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    IShipSet* set = load(c.name, c.rules);
    ASSERT_NE(set, nullptr);
    for (const Probe& probe : c.probes) {
      SCOPED_TRACE(std::string(subjectName(probe.subject)) + " radius " + std::to_string(probe.radius));
      EXPECT_EQ(modelOf(set, subject(probe.subject, probe.radius)), probe.model);
    }
  }
}

TEST_F(ShipSetTest, ModelLineWithoutNameIsLeftOutWithAWarning) {
  LogCapture log;
  IShipSet* set = load("Empty", "tag Armor\nempty =\narmored = Armored\n");
  ASSERT_NE(set, nullptr);
  EXPECT_NE(log.take().find("Empty.txt(2) warning: Ship set model line without a model name"), std::string::npos);
  // The braceless tag stays open up to the next real model line.
  EXPECT_EQ(modelOf(set, subject(kArmoredCombat)), "Armored");
  EXPECT_EQ(modelOf(set, subject(kCombat)), "ERROR");
}

TEST_F(ShipSetTest, FirstSetOfANameStaysRegistered) {
  loadShipSets(writeSet("first/Style.txt", "model = FirstModel\n").c_str());
  IShipSet* first = findShipSet(L"Style");
  ASSERT_NE(first, nullptr);
  // Another file of the same base name (any extension) changes nothing.
  loadShipSets(writeSet("second/Style.rules", "model = SecondModel\n").c_str());
  EXPECT_EQ(findShipSet(L"Style"), first);
  EXPECT_EQ(shipSetRegistry().size(), 1u);
  EXPECT_EQ(modelOf(first, subject(kCombat)), "FirstModel");
}

TEST_F(ShipSetTest, MissingFileRegistersNothing) {
  loadShipSets((dir_ / "Missing.txt").string().c_str());
  EXPECT_EQ(findShipSet(L"Missing"), nullptr);
  EXPECT_EQ(shipSetRegistry().size(), 0u);
}

TEST_F(ShipSetTest, RegistryIsSortedByName) {
  for (const char* name : {"Delta", "alpha", "Bravo", "Charlie"})
    ASSERT_NE(load(name, "m = Model\n"), nullptr);
  const NamedVar<IShipSet*>::Registry& registry = shipSetRegistry();
  ASSERT_EQ(registry.size(), 4u);
  EXPECT_EQ(registry[0].name, stringw(L"Bravo"));
  EXPECT_EQ(registry[1].name, stringw(L"Charlie"));
  EXPECT_EQ(registry[2].name, stringw(L"Delta"));
  EXPECT_EQ(registry[3].name, stringw(L"alpha"));
  EXPECT_EQ(findShipSet(L"Echo"), nullptr);
}

TEST_F(ShipSetTest, LoadKeepsAnExistingRoleEntry) {
  NamedValues& roles = hullRoleTable();
  float before = 0.0f;
  const bool hadCivilian = roles.get(L"Civilian", before);
  roles.set(L"Civilian", 9.0f);
  IShipSet* set = load("Roles", "if PC.Civilian == 9 {\nnine = Nine\n}\nother = Other\n");
  ASSERT_NE(set, nullptr);

  float value = 0.0f;
  EXPECT_TRUE(roles.get(L"Civilian", value));
  EXPECT_EQ(value, 9.0f);
  EXPECT_EQ(modelOf(set, subject(kCombat)), "Nine");
  const std::pair<const wchar_t*, float> expected[] = {{L"Cargo", 1},      {L"Transport", 2}, {L"CivStation", 3},
                                                       {L"ColonyShip", 4}, {L"Combat", 5},    {L"Carrier", 6},
                                                       {L"Station", 7}};
  for (const auto& [name, role] : expected) {
    EXPECT_TRUE(roles.get(name, value)) << wideToStdString(name);
    EXPECT_EQ(value, role) << wideToStdString(name);
  }
  roles.set(L"Civilian", hadCivilian ? before : 0.0f);
}

TEST_F(ShipSetTest, ClearAndLoadAgainAsTwoSessionsDo) {
  const char kRules[] =
      "if LV.class == PC.Carrier {\n"
      "tag Armor\n"
      "a = ArmoredCarrier\n"
      "c = Carrier\n"
      "}\n"
      "tag Armor\n"
      "if LV.scale > 1\n"
      "b = BigArmored\n"
      "d = Default\n";
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    IShipSet* set = load("Standard", kRules);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(modelOf(set, subject(kCarrier)), "Carrier");
    EXPECT_EQ(modelOf(set, subject(kArmoredCombat, 2)), "BigArmored");
    clearShipSets();
    EXPECT_EQ(shipSetRegistry().size(), 0u);
    EXPECT_EQ(findShipSet(L"Standard"), nullptr);
  }
}

TEST_F(ShipSetTest, ThreadsAskOneSetAtOnce) {
  IShipSet* set = load("Shared",
                       "if LV.class == PC.Carrier {\ncarrier = Carrier\n}\n"
                       "if LV.scale >= 4\nbig = Big\n"
                       "tag Armor\narmored = Armored\n"
                       "rest = Rest\n");
  ASSERT_NE(set, nullptr);
  struct Expectation {
    generic_object* object;
    const char* model;
  };
  const Expectation expectations[] = {{subject(kCarrier), "Carrier"},
                                      {subject(kCombat, 2), "Big"},
                                      {subject(kArmoredCombat), "Armored"},
                                      {subject(kNoLayout), "Rest"}};
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      initThreadLocals();
      for (int round = 0; round < kRounds; ++round) {
        const Expectation& e = expectations[(t + round) % 4];
        if (modelOf(set, e.object) != e.model)
          ++wrong[t];
      }
      freeThreadLocals();
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace

}  // namespace ship_set_test
