// The empire's unlocked sub-systems: which definitions its research makes
// available, at what level, and what the player is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/base/session_state.h"
#include "core/formula.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "support/scratch_dir.h"

namespace sub_system_unlock_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

const char* const kLocale =
    "#EM_SubSysUnlocked: \"New part: \"\n"
    "#EM_StructUnlocked: \"New building: \"\n";

// Laser Optics starts at level 1 and costs 1 a level.
const char* const kTechnologies =
    "Technology: Lasers\n"
    "Name: Laser Optics\n"
    "Cost: 1\n"
    "MaxLevel: 10\n"
    "StartLevel: 1\n";

// Whether the array's own sorted flag is set, read without touching it: a
// copy keeps the flag, and sorting a copy whose first two entries were
// swapped undoes the swap only when the flag is clear.
template <class T>
bool markedSorted(const irr::core::array<T>& list) {
  if (list.size() < 2)
    return true;
  irr::core::array<T> copy(list);
  std::swap(copy[0], copy[1]);
  copy.sort();
  return !(copy[0] < copy[1]);
}

class SubSystemUnlockTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    nextVisibilityBit = 1;
    std::ofstream(folder_ / "locale.txt", std::ios::binary) << kLocale;
    ASSERT_TRUE(loadLocaleFile((folder_ / "locale.txt").string().c_str(), true));
    std::ofstream(folder_ / "techs.txt", std::ios::binary) << kTechnologies;
    research::loadResearchFields((folder_ / "techs.txt").string().c_str());
    emp_ = registerEmpire(new empire);
    takeNextOwnBit(registerEmpire(new empire));  // another empire first: bit 1
    ASSERT_TRUE(takeNextOwnBit(emp_));
    emp_->researchWeb->initialise(emp_);
    emp_->researchWeb->setResearchRate(1.0);
    lasers_ = research::getWebItemDesc(stringw(L"Lasers"));
    ASSERT_NE(lasers_, nullptr);
  }
  void TearDown() override {
    deleteAllEmpires();
    clearSubSystemDefs();
    research::clearWebItemDescs();
    loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true);
  }

  // A finalised definition: its availability and "Level" formulas ("" for
  // the defaults) and a tag (none when null).
  static SubSystemDef* define(const wchar_t* name, const wchar_t* available, const wchar_t* level,
                              const wchar_t* tag = nullptr) {
    SubSystemDef* def = new SubSystemDef;
    EXPECT_TRUE(registerSubSystemDef(def, name));
    if (*available)
      def->available = new formula(available);
    if (*level) {
      def->variables.push_back(new SubSystemDef::ValueInfo(L"Level", new formula(level), 0, false));
      findOrInsertPtrNamedVar(def->variableIndex, stringw(L"Level")).value = def->variables.back();
    }
    if (tag != nullptr)
      findOrInsertPtrNamedVar(def->tags, stringw(tag));
    finalizeSubSystemDef(def);
    return def;
  }

  // "name=level" of each listed definition, in list order.
  std::string listed() {
    empire::AreaGuard guard;
    emp_->lockArea(guard, EA_SubSystemLevels, false);
    std::string out;
    for (irr::u32 i = 0; i < emp_->subSysLevels.size(); ++i)
      out += std::string(stringc(emp_->subSysLevels[i].type->name).c_str()) + "=" +
             std::to_string(static_cast<int>(emp_->subSysLevels[i].level)) + " ";
    return out;
  }

  // The texts of the messages posted since `before` messages were held.
  std::vector<std::string> postedSince(size_t before) {
    std::vector<std::string> out;
    auto it = emp_->messages.begin();
    std::advance(it, before);
    for (; it != emp_->messages.end(); ++it) {
      out.push_back(stringc(it->text).c_str());
      EXPECT_EQ(*it->category, L"research");
      EXPECT_EQ(it->priority, 0);
    }
    return out;
  }

  // One research step that reaches the next level of Laser Optics; the
  // messages it posted after the research note.
  std::vector<std::string> researchNextLevel() {
    emp_->researchWeb->setActiveTech(lasers_);
    const size_t before = emp_->messages.size();
    emp_->tick(1.0f);
    std::vector<std::string> posted = postedSince(before);
    EXPECT_FALSE(posted.empty());  // the research note comes first
    if (!posted.empty())
      posted.erase(posted.begin());
    return posted;
  }

  const std::filesystem::path folder_ = scratchDir();
  empire* emp_ = nullptr;
  research::IWebItemDesc* lasers_ = nullptr;
};

TEST_F(SubSystemUnlockTest, ResearchUnlocksDefinitionsAndTellsThePlayer) {
  // IDs: Mine 0x656E694D < Laser 0x6572614C < Hull 0x6C6C7548, unlike the
  // name order.
  SubSystemDef* hull = define(L"Hull", L"", L"");
  SubSystemDef* laser = define(L"Laser", L"Techs.Lasers.Level > 1", L"Techs.Lasers.Level");
  SubSystemDef* mine = define(L"Mine", L"Techs.Lasers.Level >= 3", L"2", L"Structure");
  SubSystemDef* never = define(L"Never", L"0", L"");

  // The first fill lists what is available and tells nothing.
  emp_->updateSubSystems();
  EXPECT_EQ(listed(), "Hull=1 ");
  EXPECT_TRUE(emp_->messages.empty());
  EXPECT_EQ(hull->unlockedBy.load(), 2u);
  EXPECT_EQ(laser->unlockedBy.load(), 0u);

  EXPECT_EQ(researchNextLevel(), std::vector<std::string>{"#c:green##link:s1701994828#New part: Laser#link##c#"});
  EXPECT_EQ(listed(), "Laser=2 Hull=1 ");
  EXPECT_EQ(laser->unlockedBy.load(), 2u);

  // A later unlock of a structure; the laser's level moves with the
  // technology.
  EXPECT_EQ(researchNextLevel(), std::vector<std::string>{"#c:green##link:s1701734733#New building: Mine#link##c#"});
  EXPECT_EQ(listed(), "Mine=2 Laser=3 Hull=1 ");
  EXPECT_TRUE(markedSorted(emp_->subSysLevels));

  // Recomputing with nothing new tells nothing; another empire's unlocks
  // add its own bit.
  const size_t before = emp_->messages.size();
  emp_->updateSubSystems();
  EXPECT_TRUE(postedSince(before).empty());
  empire* other = empireList[1];
  other->updateSubSystems();
  EXPECT_EQ(hull->unlockedBy.load(), 3u);
  EXPECT_EQ(laser->unlockedBy.load(), 2u);
  EXPECT_EQ(never->unlockedBy.load(), 0u);
  EXPECT_EQ(mine->unlockedBy.load(), 2u);
}

TEST_F(SubSystemUnlockTest, LookupsAndLevelReadsRunBesideUpdates) {
  // Part<n> becomes available once the trait variable "Step" reaches n, so
  // the main thread's updates keep inserting while the readers read.
  constexpr int kDefinitions = 40;
  std::vector<stringw> names;
  for (int n = 0; n < kDefinitions; ++n) {
    names.push_back(stringw(L"Part") + stringw(n));
    const stringw available = stringw(L"Traits.Step >= ") + stringw(n);
    define(names.back().c_str(), available.c_str(), L"Traits.Step * 2", n % 2 ? L"Weapon" : nullptr);
  }
  std::vector<uint32_t> ids;
  for (const stringw& name : names)
    ids.push_back(subSystemDefRegistry[findSubSystemDefByName(name)].value->id);

  std::atomic<bool> done{false};
  std::atomic<int> started{0};
  std::atomic<int> failures{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
    readers.emplace_back([&, t] {
      const stringw levelKey(kSubSysLevelKey);
      started.fetch_add(1);
      while (!done.load()) {
        for (int n = t; n < kDefinitions; n += 4) {
          const irr::s32 index = findSubSystemDefByName(names[n]);
          SubSystemDef* def = index < 0 ? nullptr : subSystemDefRegistry[index].value;
          if (def == nullptr || lookupSubSystemDefByID(ids[n]) != def || def->hasTag(L"Weapon") != (n % 2 == 1) ||
              findPtrNamedVar(def->variableIndex, levelKey) < 0)
            failures.fetch_add(1);
        }
        empire::AreaGuard guard;
        emp_->lockArea(guard, EA_SubSystemLevels, false);
        for (irr::u32 i = 1; i < emp_->subSysLevels.size(); ++i)
          if (!(emp_->subSysLevels[i - 1] < emp_->subSysLevels[i]))
            failures.fetch_add(1);
      }
    });

  while (started.load() < 4) {
  }
  for (int step = 0; step < kDefinitions * 5; ++step) {
    {
      empire::AreaGuard guard;
      emp_->lockArea(guard, EA_Variables, true);
      emp_->traitVars.set(L"Step", static_cast<float>(step / 5));
    }
    emp_->updateSubSystems();
  }
  done = true;
  for (std::thread& reader : readers)
    reader.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(emp_->subSysLevels.size(), static_cast<irr::u32>(kDefinitions));
  // Each unlock after the first fill was told once.
  EXPECT_EQ(emp_->messages.size(), static_cast<size_t>(kDefinitions - 1));
  EXPECT_TRUE(markedSorted(subSystemDefRegistry));
  EXPECT_TRUE(markedSorted(emp_->subSysLevels));
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i) {
    EXPECT_TRUE(markedSorted(subSystemDefRegistry[i].value->variableIndex));
    EXPECT_TRUE(markedSorted(subSystemDefRegistry[i].value->tags));
  }
}

}  // namespace

}  // namespace sub_system_unlock_test
