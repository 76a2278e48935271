#include "empire/research/research_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/formula.h"
#include "core/locale.h"
#include "empire/research/research_registry.h"
#include "empire/research/web_item_desc.h"
#include "support/fake_engine_logger.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace research_fields_test {

using irr::core::stringc;
using irr::core::stringw;
using research::CWebItemDesc;

namespace {

std::string narrow(const stringw& text) { return stringc(text).c_str(); }

float evaluate(const formula* program) { return evaluateFormula(program, nullptr); }

class ResearchFieldsTest : public testing::Test {
 protected:
  void TearDown() override {
    setEngineLogger(nullptr);
    research::clearWebItemDescs();
  }

  // Writes `text` as a technology file, reads it and returns what was logged.
  std::string load(const std::string& text) {
    std::ofstream(path_, std::ios::binary) << text;
    LogCapture log;
    research::loadResearchFields(path_.c_str());
    return log.take();
  }
  std::string loading() const { return "Loading research fields: " + path_ + "\n"; }

  static CWebItemDesc* desc(const wchar_t* id) {
    return dynamic_cast<CWebItemDesc*>(research::getWebItemDesc(stringw(id)));
  }

  static std::vector<std::string> names(const research::PooledNameSet& set) {
    std::vector<std::string> out;
    for (const stringw* name : set)
      out.push_back(narrow(*name));
    return out;
  }

  // The events of a technology, in run order, as "<kind>@<level> <fields>".
  static std::vector<std::string> events(const CWebItemDesc& item) {
    std::vector<std::string> out;
    for (const auto& entry : item.levelEvents) {
      char text[200];
      if (auto* unlock = dynamic_cast<research::UnlockTech*>(entry.second))
        snprintf(text, sizeof text, "unlock@%g %s:%s", entry.first, narrow(unlock->techId).c_str(),
                 narrow(unlock->lockName).c_str());
      else if (auto* pay = dynamic_cast<research::PayLink*>(entry.second))
        snprintf(text, sizeof text, "pay@%g %u %g %d", entry.first, pay->linkIndex, pay->amount, pay->relative);
      else if (auto* payRand = dynamic_cast<research::PayRandLink*>(entry.second))
        snprintf(text, sizeof text, "rand@%g %g %d", entry.first, payRand->amount, payRand->relative);
      else
        snprintf(text, sizeof text, "?");
      out.push_back(text);
    }
    return out;
  }

  const std::filesystem::path folder_ = scratchDir();
  const std::string path_ = (folder_ / "techs.txt").string();
};

TEST_F(ResearchFieldsTest, FaultsAreLoggedOnceAndTheGoodTechnologiesLoad) {
  const std::string file =
      "Name: Orphan\n"
      "Technology: Lasers\n"
      "Cost: 10\n"
      "Cost: 20\n"
      "Position: 3\n"
      "Technology: Optics\n"
      "Name: Laser Optics\n"
      "Colour: red\n"
      "OnLevel: 5 frobnicate\n"
      "Link without a colon is skipped\n"
      "Technology: Lasers\n"
      "Technology: Armor\n"
      "Cost: 5\n";
  const std::string errors = path_ + " error R009: Duplicate 'Cost' line in Technology 'Lasers'\n" + path_ +
                             " error R051: Position requires 2 numbers (x,y)\n";
  const std::string invalid = "Invalid value(Colour) in technology(Laser Optics)\n";
  const std::string rest = "Unrecognized OnLevel line: '5 frobnicate'\nMultiple instances of technology(Lasers)\n";
  const std::string orphan = "Attempted to define a value without beginning a technology.\n";

  FakeEngineLogger level(irr::ELL_ERROR);
  for (bool errorsOnly : {false, true}) {
    SCOPED_TRACE(errorsOnly);
    research::clearWebItemDescs();
    setEngineLogger(errorsOnly ? &level : nullptr);
    const std::string expected = errorsOnly ? orphan + errors + rest : loading() + orphan + errors + invalid + rest;
    EXPECT_EQ(load(file), expected);

    ASSERT_EQ(research::getWebItemDescCount(), 3u);
    const wchar_t* const order[] = {L"Lasers", L"Optics", L"Armor"};
    for (irr::u32 i = 0; i < 3; ++i)
      EXPECT_EQ(research::getWebItemDesc(i)->getId(), order[i]);
    const formula *cost, *maxLevel, *initialLevel;
    desc(L"Lasers")->getFormulas(cost, maxLevel, initialLevel);
    EXPECT_EQ(evaluate(cost), 10.0f) << "the first Cost line counts";
    desc(L"Armor")->getFormulas(cost, maxLevel, initialLevel);
    EXPECT_EQ(evaluate(cost), 5.0f);
    EXPECT_EQ(desc(L"Optics")->getName(), L"Laser Optics");
  }
}

TEST_F(ResearchFieldsTest, AnUnreadableFileIsReported) {
  LogCapture log;
  const std::string missing = (folder_ / "missing.txt").string();
  research::loadResearchFields(missing.c_str());
  EXPECT_EQ(log.take(), "Loading research fields: " + missing + "\nFailed to load technology file: \"" + missing +
                            "\"\n");
  EXPECT_EQ(research::getWebItemDescCount(), 0u);
}

TEST_F(ResearchFieldsTest, DefaultsAndTextRules) {
  const std::filesystem::path locale = folder_ / "english.txt";
  std::ofstream(locale, std::ios::binary) << "#RES_TestName: Localised Lasers\n";
  ASSERT_TRUE(loadLocaleFile(locale.string().c_str(), false));

  EXPECT_EQ(load("Technology: Plain\n"
                 "Technology: Secretive\nLocks: Secret\n"
                 "Technology: Hidden\nLocks: Secret, Hidden ,\nTags: Military, Economy\n"
                 "Technology: Quoted\nName: \"Laser Optics\"\n"
                 "Technology: SingleQuoted\nName: 'Laser Optics'\n"
                 "Technology: HalfQuoted\nName: \"Laser Optics\nDescription: 'Mixed\"\n"
                 "Technology: Localised\nName: #RES_TestName\nDescription: #RES_Absent\nIcon: \"res_lasers\"\n"
                 "Technology: Placed\nPosition: 2.5, -1\n"
                 "Technology: Unplaced\nPosition: 3\n"
                 "Technology: Crowded\nPosition: 1, 2, 3\n"),
            loading() + path_ + " error R051: Position requires 2 numbers (x,y)\n" + path_ +
                " error R051: Position requires 2 numbers (x,y)\n");

  struct Case {
    const wchar_t* id;
    const char* name;
    const char* description;
    const char* icon;
    std::vector<std::string> locks;
    float x, y;
  };
  const Case cases[] = {
      {L"Plain", "Plain", "", "res_no_icon", {"Link"}, 0, 0},
      {L"Secretive", "Secretive", "", "res_no_icon", {"Secret"}, 0, 0},
      {L"Hidden", "Hidden", "", "res_no_icon", {"Hidden", "Secret"}, 0, 0},
      {L"Quoted", "Laser Optics", "", "res_no_icon", {"Link"}, 0, 0},
      {L"SingleQuoted", "Laser Optics", "", "res_no_icon", {"Link"}, 0, 0},
      {L"HalfQuoted", "Laser Optics", "Mixed\"", "res_no_icon", {"Link"}, 0, 0},
      {L"Localised", "Localised Lasers", "#RES_Absent", "res_lasers", {"Link"}, 0, 0},
      {L"Placed", "Placed", "", "res_no_icon", {"Link"}, 2.5f, -1.0f},
      {L"Unplaced", "Unplaced", "", "res_no_icon", {"Link"}, 0, 0},
      {L"Crowded", "Crowded", "", "res_no_icon", {"Link"}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.id));
    CWebItemDesc* item = desc(c.id);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(narrow(item->getName()), c.name);
    EXPECT_EQ(narrow(item->getDescription()), c.description);
    EXPECT_EQ(narrow(item->getIcon()), c.icon);
    EXPECT_EQ(names(item->locks), c.locks);
    float x = -7, y = -7;
    item->getPosition(x, y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
    EXPECT_EQ(item->getLinkCount(), 0u);
    EXPECT_TRUE(item->levelEvents.empty());
  }

  EXPECT_TRUE(desc(L"Hidden")->hasTag(L"Military"));
  EXPECT_TRUE(desc(L"Hidden")->hasTag(L"Economy"));
  EXPECT_FALSE(desc(L"Hidden")->hasTag(L"economy"));
  EXPECT_FALSE(desc(L"Plain")->hasTag(L"Military"));

  const formula *cost, *maxLevel, *initialLevel;
  desc(L"Plain")->getFormulas(cost, maxLevel, initialLevel);
  EXPECT_EQ(evaluate(maxLevel), 999999999.0f);
  EXPECT_EQ(evaluate(cost), 1.0f);
  EXPECT_EQ(evaluate(initialLevel), 0.0f);
}

TEST_F(ResearchFieldsTest, FormulaLines) {
  EXPECT_EQ(load("Technology: T\nMaxLevel: 2 + 3\nStartLevel: 2\nCost: 2*(3+1)\nMaxLevel: 9\nStartLevel: 9\n"),
            loading() + path_ + " error R009: Duplicate 'MaxLevel' line in Technology 'T'\n" + path_ +
                " error R009: Duplicate 'StartLevel' line in Technology 'T'\n");
  const formula *cost, *maxLevel, *initialLevel;
  desc(L"T")->getFormulas(cost, maxLevel, initialLevel);
  EXPECT_EQ(evaluate(cost), 8.0f);
  EXPECT_EQ(evaluate(maxLevel), 5.0f);
  EXPECT_EQ(evaluate(initialLevel), 2.0f);
}

TEST_F(ResearchFieldsTest, Links) {
  struct Case {
    const char* value;
    const char* target;  // null: no link
    float cost;
  };
  const Case cases[] = {
      {"Armor [25]", "Armor", 25.0f},
      {"Armor [2*(3+1)]", "Armor", 8.0f},
      {" Armor\t[ 7 ]", "Armor", 7.0f},
      {"Armor [1 + [2]] ", "Armor", 0.0f},  // the cost is the text up to the last "]"
      {"Armor", nullptr, 0},
      {"Armor [25", nullptr, 0},
      {"Armor ]25[", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    research::clearWebItemDescs();
    const std::string log = load(std::string("Technology: T\nLink: ") + c.value + "\n");
    CWebItemDesc* item = desc(L"T");
    ASSERT_NE(item, nullptr);
    if (c.target == nullptr) {
      EXPECT_EQ(log, loading());
      EXPECT_EQ(item->getLinkCount(), 0u);
      continue;
    }
    ASSERT_EQ(item->getLinkCount(), 1u);
    const research::SWebLinkDesc& link = *item->getLinkDesc(0);
    ASSERT_EQ(link.size(), 1u);
    EXPECT_EQ(narrow(link[0].techId), c.target);
    EXPECT_EQ(link[0].weight, 1.0f);
    EXPECT_EQ(link.totalWeight(), 1.0f);
    if (c.cost != 0.0f) {
      EXPECT_EQ(log, loading());
      EXPECT_EQ(evaluate(link[0].cost), c.cost);
    }
  }
}

TEST_F(ResearchFieldsTest, TheTwoHundredFiftySixthLinkIsRefused) {
  std::string file = "Technology: Hub\n";
  for (int i = 0; i < 257; ++i)
    file += "Link: Spoke" + std::to_string(i) + " [1]\n";
  file += "Technology: Next\nLink: Hub [1]\n";
  EXPECT_EQ(load(file), loading() + path_ + " error: Technology 'Hub' has more than 255 links\n");
  ASSERT_EQ(desc(L"Hub")->getLinkCount(), research::kMaxTechnologyLinks);
  EXPECT_EQ(narrow((*desc(L"Hub")->getLinkDesc(254))[0].techId), "Spoke254");
  EXPECT_EQ(desc(L"Next")->getLinkCount(), 1u);
}

TEST_F(ResearchFieldsTest, LevelEvents) {
  struct Case {
    std::vector<std::string> lines;
    std::vector<std::string> events;
    bool unrecognized;
  };
  const Case cases[] = {
      {{"2-4 link_pay_rand 50%"}, {"rand@2 0.5 1", "rand@3 0.5 1", "rand@4 0.5 1"}, false},
      {{"3 unlock Lasers"}, {"unlock@3 Lasers:"}, false},
      {{"3 unlock Lasers:Link"}, {"unlock@3 Lasers:Link"}, false},
      {{"3 unlock \"Laser Optics : Secret\""}, {"unlock@3 Laser Optics:Secret"}, false},
      {{"2.5 unlock Lasers"}, {"unlock@2.5 Lasers:"}, false},
      {{"1 link_pay 1 40"}, {"pay@1 1 40 0"}, false},
      {{"2-3 link_pay 1,0 5%"}, {"pay@2 10 0.05 1", "pay@3 10 0.05 1"}, false},
      {{"2.9999995 link_pay_rand 5"}, {"rand@3 5 0"}, false},
      {{"2.5 link_pay_rand 5"}, {"rand@2.5 5 0"}, false},
      {{"3 link_pay_rand 1", "1 unlock A", "3 unlock B"}, {"unlock@1 A:", "rand@3 1 0", "unlock@3 B:"}, false},
      {{"4-2 link_pay_rand 5"}, {}, false},
      {{"1-100000000000000000 link_pay_rand 5"}, {}, true},
      {{"1-20000 link_pay_rand 5"}, {}, true},
      {{"1-" + std::string(60, '9') + " link_pay_rand 5"}, {}, true},
      {{"5 frobnicate"}, {}, true},
      {{"5 link_pay_rand"}, {}, true},
      {{"5 link_pay 1"}, {}, true},
      {{"5 unlock A B"}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.front());
    research::clearWebItemDescs();
    std::string file = "Technology: T\n";
    std::string expected = loading();
    for (const std::string& line : c.lines) {
      file += "OnLevel: " + line + "\n";
      if (c.unrecognized)
        expected += "Unrecognized OnLevel line: '" + line + "'\n";
    }
    EXPECT_EQ(load(file), expected);
    EXPECT_EQ(events(*desc(L"T")), c.events);
  }

  // The longest range still accepted.
  research::clearWebItemDescs();
  EXPECT_EQ(load("Technology: T\nOnLevel: 1-10000 link_pay_rand 5\n"), loading());
  const auto& longest = desc(L"T")->levelEvents;
  ASSERT_EQ(longest.size(), 10000u);
  EXPECT_EQ(longest.begin()->first, 1.0);
  EXPECT_EQ(longest.rbegin()->first, 10000.0);
}

TEST_F(ResearchFieldsTest, TiesAndTheRegistry) {
  load("Technology: B\nTechnology: A\nTechnology: C\n");
  EXPECT_EQ(research::getWebItemDescCount(), 3u);
  struct Case {
    const wchar_t* id;
    irr::s32 indexById;
    irr::u32 order;
  };
  for (const Case& c : {Case{L"A", 0, 1}, Case{L"B", 1, 0}, Case{L"C", 2, 2}}) {
    EXPECT_EQ(research::findWebItemDescIndex(c.id), c.indexById);
    EXPECT_EQ(research::getWebItemDesc(stringw(c.id)), research::getWebItemDesc(c.order));
  }
  EXPECT_EQ(research::findWebItemDescIndex(L"a"), -1);
  EXPECT_EQ(research::getWebItemDesc(stringw(L"D")), nullptr);
  EXPECT_EQ(research::getWebItemDesc(3u), nullptr);

  // The sub-system file reader ties definitions to levels.
  research::IWebItemDesc* item = research::getWebItemDesc(stringw(L"A"));
  int placeholder = 0;
  auto* def = reinterpret_cast<SubSystemDef*>(&placeholder);
  research::SWebTieDesc* tie = item->addTie(def, 4);
  EXPECT_EQ(item->getTieCount(), 1u);
  EXPECT_EQ(item->getTie(0), tie);
  EXPECT_EQ(tie->level, 4u);
  EXPECT_EQ(tie->def, def);
  EXPECT_EQ(tie->desc, item);
  EXPECT_EQ(item->getTie(1), nullptr);

  research::clearWebItemDescs();
  EXPECT_EQ(research::getWebItemDescCount(), 0u);
  EXPECT_EQ(research::webItemDescs().size(), 0u);
  EXPECT_EQ(research::getWebItemDesc(stringw(L"A")), nullptr);
}

TEST_F(ResearchFieldsTest, LookupsFromManyThreadsAgree) {
  std::string file;
  for (int i = 0; i < 300; ++i)
    file += "Technology: Tech" + std::to_string((i * 7919) % 300) + "\n";
  load(file);
  ASSERT_EQ(research::getWebItemDescCount(), 300u);

  // What each thread should see: for every position, the descriptor there,
  // its index by id, and the descriptor that id finds.
  struct Answer {
    research::IWebItemDesc* byIndex;
    irr::s32 indexById;
    research::IWebItemDesc* byId;
  };
  auto lookUpAll = [] {
    std::vector<Answer> answers;
    for (irr::u32 i = 0; i <= 300; ++i) {
      research::IWebItemDesc* item = research::getWebItemDesc(i);
      const stringw id = item != nullptr ? item->getId() : stringw(L"Absent");
      answers.push_back({item, research::findWebItemDescIndex(id), research::getWebItemDesc(id)});
    }
    return answers;
  };
  const std::vector<Answer> single = lookUpAll();
  for (irr::u32 i = 0; i < 300; ++i)
    ASSERT_EQ(single[i].byId, single[i].byIndex);

  constexpr int kThreads = 8;
  std::vector<std::vector<Answer>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round)
        seen[t] = lookUpAll();
    });
  for (std::thread& thread : threads)
    thread.join();
  for (int t = 0; t < kThreads; ++t)
    for (size_t i = 0; i < single.size(); ++i) {
      EXPECT_EQ(seen[t][i].byIndex, single[i].byIndex);
      EXPECT_EQ(seen[t][i].indexById, single[i].indexById);
      EXPECT_EQ(seen[t][i].byId, single[i].byId);
    }
}

TEST_F(ResearchFieldsTest, TheShippedTechnologiesLoadCleanlyAndConnect) {
  const std::string folder = CORVANE_SOURCE_DIR "/data/Game Data/Technologies/";
  LogCapture log;
  for (const char* file : {"military.txt", "sciences.txt"})
    research::loadResearchFields((folder + file).c_str());
  EXPECT_EQ(log.take(), "Loading research fields: " + folder + "military.txt\nLoading research fields: " + folder +
                            "sciences.txt\n");
  ASSERT_EQ(research::getWebItemDescCount(), 11u);

  for (irr::u32 i = 0; i < research::getWebItemDescCount(); ++i) {
    auto* item = dynamic_cast<CWebItemDesc*>(research::getWebItemDesc(i));
    SCOPED_TRACE(narrow(item->getId()));
    EXPECT_TRUE(item->hasTag(L"Economy") != item->hasTag(L"Military"));
    for (irr::u32 l = 0; l < item->getLinkCount(); ++l)
      EXPECT_NE(research::getWebItemDesc((*item->getLinkDesc(l))[0].techId), nullptr);
    for (const auto& entry : item->levelEvents) {
      auto* unlock = dynamic_cast<research::UnlockTech*>(entry.second);
      if (unlock != nullptr) {
        EXPECT_NE(research::getWebItemDesc(unlock->techId), nullptr);
      }
    }
    const formula *cost, *maxLevel, *initialLevel;
    item->getFormulas(cost, maxLevel, initialLevel);
    const bool started = item->getId() == L"Science" || item->getId() == L"Engineering";
    EXPECT_EQ(evaluate(initialLevel), started ? 1.0f : 0.0f);
  }
  EXPECT_EQ(events(*desc(L"Science")), std::vector<std::string>{"unlock@5 Xenology:"});
  EXPECT_EQ(events(*desc(L"Engineering")),
            (std::vector<std::string>{"rand@2 0.25 1", "rand@3 0.25 1", "rand@4 0.25 1"}));
  EXPECT_EQ(events(*desc(L"Propulsion")), std::vector<std::string>{"pay@3 0 0.5 1"});
}

}  // namespace

}  // namespace research_fields_test
