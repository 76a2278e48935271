// The ship parts and planet structures that ship in "Game Data/Sub Systems/":
// they load with their effects, effectors and alter hooks without a message,
// and every AI empire of a new game starts with those that need no research.
#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/frame_loop.h"
#include "app/new_game.h"
#include "core/log.h"
#include "core/named_values.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "session_data.h"
#include "shipped_session.h"
#include "session_fixture.h"
#include "support/log_capture.h"
#include "universe/objects/galaxy.h"
#include "universe/objects/object_registry.h"

namespace shipped_subsystems_test {

namespace {

using irr::core::stringc;
using irr::core::stringw;

class ShippedSubSystemsTest : public ShippedSessionTest {
 protected:
  void SetUp() override {
    savedLogLevel_ = logLevel;
    logLevel = kLogLevelInfo;  // warnings and the loading lines too
    LogCapture log;
    ShippedSessionTest::SetUp();
    loadLog_ = log.take();
  }

  void TearDown() override {
    ShippedSessionTest::TearDown();
    logLevel = savedLogLevel_;
  }

  static const SubSystemDef* def(const wchar_t* name) {
    const irr::s32 index = findSubSystemDefByName(name);
    return index >= 0 ? subSystemDefRegistry[static_cast<irr::u32>(index)].value : nullptr;
  }

  int savedLogLevel_ = kLogLevelErrors;
  std::string loadLog_;
};

constexpr uint16_t kOnActive = 1, kOnDeactive = 2, kOnConstruct = 4, kOnce = 16, kTick = 32, kOnGlobalDamage = 64;

TEST_F(ShippedSubSystemsTest, LoadWithoutAMessageAndAsWritten) {
  for (const char* file : {"Sub Systems/ship_parts.txt", "Sub Systems/structures.txt"})
    EXPECT_NE(loadLog_.find(std::string("Loading Sub Systems: Game Data/") + file), std::string::npos)
        << file << "\n" << loadLog_;
  std::istringstream lines(loadLog_);
  for (std::string line; std::getline(lines, line);) {
    for (const char* unwanted : {") warning", ") error", " missing ", "Formula Error", "AS ", "subsystems.txt("})
      EXPECT_EQ(line.find(unwanted), std::string::npos) << line;
  }

  // Each definition: its tags, placement, effect hooks and the rest that its
  // file sets.
  const struct {
    const wchar_t* name;
    const wchar_t* tags;  // comma-separated, all of them
    int32_t equipsTo;
    uint16_t effectFlags;
    uint32_t tickRate;
    bool weapon;
    irr::u32 triggerables;
    size_t alterHooks;
  } cases[] = {
      {L"Frame Hull", L"Hull", kEquipsToHull, kOnActive | kOnDeactive | kOnce, STR_10, false, 0, 0},
      {L"Plate Armor", L"Armor", kEquipsToArmor, 0, STR_10, false, 0, 0},
      {L"Ion Drive", L"Engine", 4, kOnActive | kOnDeactive, STR_2, false, 0, 0},
      {L"Cargo Hold", L"CargoBay", 2, kOnActive | kOnDeactive, STR_10, false, 0, 0},
      {L"Colony Pod", L"Colonizer,Restrict:Weapon", 3, 0, STR_Always, true, 0, 0},
      {L"Laser Array", L"Weapon", 1, 0, STR_Always, true, 0, 0},
      {L"Rail Cannon", L"Weapon", 1, 0, STR_4, true, 0, 0},
      {L"Point Defense", L"Weapon", 1, 0, STR_10, false, 1, 0},
      {L"Hangar Deck", L"ShipBay", 2, kOnConstruct, STR_10, false, 0, 0},
      {L"Shield Array", L"", 2, kOnGlobalDamage, STR_10, false, 0, 0},
      {L"Ore Drill", L"Require:CargoBay,Work:Mining", 3, kTick, STR_1, false, 0, 0},
      {L"Field Workshop", L"", 3, 0, STR_10, false, 0, 1},
      {L"Capital", L"NoManualBuild,Structure,Unique", 0, kOnActive | kOnDeactive | kTick, STR_1, false, 0, 0},
      {L"Metal Mine", L"Structure", 0, kTick, STR_2, false, 0, 0},
      {L"Factory", L"Structure", 0, kOnActive | kOnDeactive | kTick, STR_2, false, 0, 0},
      {L"Habitat Towers", L"Structure", 0, kOnActive | kOnDeactive, STR_10, false, 0, 0},
      {L"Space Port", L"Port,Structure,Unique:Port", 0, kOnActive | kOnDeactive, STR_10, false, 0, 0},
      {L"Orbital Dock", L"Port,Structure,Unique:Port", 0, kOnActive | kOnDeactive | kOnConstruct, STR_10, false, 0, 0},
  };
  ASSERT_EQ(subSystemDefRegistry.size(), std::size(cases));
  for (const auto& c : cases) {
    SCOPED_TRACE(stringc(c.name).c_str());
    const SubSystemDef* d = def(c.name);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->finalized);
    // Names and descriptions are locale keys that the locale has.
    for (const stringw* text : {&d->name, &d->description}) {
      ASSERT_FALSE(text->empty());
      EXPECT_NE((*text)[0], L'#') << stringc(*text).c_str();
    }
    stringw tags;
    for (irr::u32 i = 0; i < d->tags.size(); ++i)
      tags += (i ? stringw(L",") : stringw()) + *d->tags[i].name;
    EXPECT_EQ(tags, stringw(c.tags));
    EXPECT_EQ(d->equipsTo, c.equipsTo);
    EXPECT_EQ(d->effectFlags, c.effectFlags);
    EXPECT_EQ(d->tickRate, c.tickRate);
    EXPECT_EQ(d->hasWeapon, c.weapon);
    EXPECT_EQ(d->triggerables.size(), c.triggerables);
    ASSERT_EQ(d->alterHooks.size(), c.alterHooks);
    for (const SubSystemDef::AlterHook* hook : d->alterHooks) {
      EXPECT_GE(hook->modeFunction, 0);
      EXPECT_EQ(hook->arguments.size(), 1u);
    }
    EXPECT_NE(d->costs.size(), 0u);
    EXPECT_EQ(lookupSubSystemDefByID(d->id), d);
  }
  EXPECT_EQ(def(L"Shield Array")->preDamageOrder, 1);
  EXPECT_EQ(def(L"Factory")->requirements.size(), 1u);
  EXPECT_EQ(def(L"Factory")->consumption.size(), 1u);
  EXPECT_NE(def(L"Frame Hull")->ties.size(), 0u);
}

// The IDs that saves and the network carry come out the same in every
// session of the process.
TEST_F(ShippedSubSystemsTest, ASecondSessionGivesTheSameIDs) {
  std::map<stringw, uint32_t> first;
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i)
    first[subSystemDefRegistry[i].entryName()] = subSystemDefRegistry[i].value->id;
  endSessionData();
  beginSessionData("/", "spiral");
  std::map<stringw, uint32_t> second;
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i)
    second[subSystemDefRegistry[i].entryName()] = subSystemDefRegistry[i].value->id;
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, second);
}

TEST_F(ShippedSubSystemsTest, EveryAIEmpireStartsWithThePartsThatNeedNoResearch) {
  setGameSetting(L"SYSTEM_COUNT", 12.0f);
  setGameSetting(L"AI_COUNT", 2.0f);
  LogCapture log;
  setupNewGame(CORVANE_SOURCE_DIR "/data/Maps/spiral.as");
  const std::string text = log.take();
  EXPECT_EQ(text.find("Formula Error"), std::string::npos) << text;

  // What no technology gates: Science and Engineering, the two technologies
  // an empire starts with, are the only ones above level 0.
  const std::set<stringw> starting = {
      L"Capital",   L"Cargo Hold",  L"Colony Pod", L"Frame Hull",  L"Habitat Towers",
      L"Ion Drive", L"Laser Array", L"Metal Mine", L"Plate Armor", L"Space Port",
  };
  std::map<const SubSystemDef*, stringw> names;
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i)
    names[subSystemDefRegistry[i].value] = subSystemDefRegistry[i].entryName();
  int aiEmpires = 0;
  for (empire* emp : empireList) {
    if (emp->isReserved() || !emp->isAI())
      continue;
    SCOPED_TRACE(emp->ID);
    ++aiEmpires;
    std::set<stringw> unlocked;
    empire::AreaGuard guard;
    emp->lockArea(guard, EA_SubSystemLevels, false);
    for (irr::u32 i = 0; i < emp->subSysLevels.size(); ++i) {
      const curSysLevel& entry = emp->subSysLevels[i];
      unlocked.insert(names[entry.type]);
      EXPECT_NE(entry.type->unlockedBy.load() & emp->ownBit, 0u);
      EXPECT_EQ(entry.level, 1.0f) << stringc(names[entry.type]).c_str();
    }
    EXPECT_EQ(unlocked, starting);
  }
  EXPECT_EQ(aiEmpires, 2);
}

}  // namespace

}  // namespace shipped_subsystems_test
