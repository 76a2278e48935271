#include "empire/research/research_web.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/formula.h"
#include "core/named_values.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "support/save_bytes.h"
#include "support/scratch_dir.h"

namespace research_web_test {

namespace {

// Checks the state of a web over an empty registry.
void expectEmpty(research::IWeb& web) {
  EXPECT_EQ(web.getResearchRate(), 0.0);
  int link = 7;
  EXPECT_EQ(web.getActiveTech(link), nullptr);
  EXPECT_EQ(link, -1);
  auto* local = dynamic_cast<research::CWeb*>(&web);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(local->items.size(), 0u);
}

TEST(ResearchWebTest, AWebOverAnEmptyRegistryHasNothingToResearch) {
  ASSERT_EQ(research::webItemDescs().size(), 0u);
  empire* emp = defaultEmpire();  // an empire whose making draws nothing
  // Deleted through the interface, as the empire deletes its web.
  std::unique_ptr<research::IWeb> web(research::createResearchWeb(emp));
  ASSERT_NE(web, nullptr);
  expectEmpty(*web);

  web->initialise(emp);
  expectEmpty(*web);

  web->setResearchRate(2.5);
  web->modResearchRate(1.25);
  EXPECT_EQ(web->getResearchRate(), 3.75);
}

TEST(ResearchWebTest, TheActiveTargetReportsItsLink) {
  research::CWeb web;
  struct Case {
    uint8_t hasLinkTarget;
    uint16_t targetLink;
    int expected;
  };
  for (const Case& c : {Case{0, 0, -1}, Case{0, 3, -1}, Case{1, 0, 0}, Case{1, 65535, 65535}}) {
    web.active.hasLinkTarget = c.hasLinkTarget;
    web.active.targetLink = c.targetLink;
    int link = 12345;
    web.getActiveTech(link);
    EXPECT_EQ(link, c.expected) << int(c.hasLinkTarget) << " " << c.targetLink;
  }
}

SaveFileError loadError(const Bytes& body) {
  const Bytes file = withHeader(body);
  auto reader = readerOver(file);
  try {
    delete research::loadResearchWeb(defaultEmpire(), *reader);
  } catch (const SaveFileError& error) {
    return error;
  }
  return {0, "loaded"};
}

TEST(ResearchWebTest, AWebWithoutTechnologiesWritesItsRateAndNothingElse) {
  struct Case {
    double rate;
    const char* record;
  };
  const Case cases[] = {
      {0.0, "00 00 00 00 00 00 00 00  00 00  FF"},
      {3.75, "00 00 00 00 00 00 0E 40  00 00  FF"},
      {-1.5, "00 00 00 00 00 00 F8 BF  00 00  FF"},
  };
  for (const Case& c : cases) {
    research::CWeb web;
    web.setResearchRate(c.rate);
    auto writer = SaveStream::createInMemory();
    static_cast<const research::IWeb&>(web).write(*writer);
    EXPECT_EQ(hexText(writtenBody(*writer)), hex(c.record)) << c.rate;

    const Bytes file = withHeader(hexBytes(c.record));
    auto reader = readerOver(file);
    std::unique_ptr<research::IWeb> loaded(research::loadResearchWeb(defaultEmpire(), *reader));
    EXPECT_EQ(reader->remaining(), 0u);
    EXPECT_EQ(loaded->getResearchRate(), c.rate);
    int link = 7;
    EXPECT_EQ(loaded->getActiveTech(link), nullptr);
    EXPECT_EQ(link, -1);
    EXPECT_EQ(dynamic_cast<research::CWeb&>(*loaded).items.size(), 0u);
  }
}

TEST(ResearchWebTest, RecordsNamingATechnologyAreRefusedWhileNoneIsLoaded) {
  const char* const records[] = {
      // One item: "Lasers", level 1, cost 1, progress 0, max 5, no links, visible.
      "00 00 00 00 00 00 F0 3F  01 00  06 00 00 4C 61 73 65 72 73"
      "  00 00 80 3F  00 00 80 3F  00 00 00 00  00 00 A0 40  00  01  FF",
      // An item of an empty id.
      "00 00 00 00 00 00 F0 3F  01 00  00 00",
      // No item, an active target "Lasers" on its next level.
      "00 00 00 00 00 00 F0 3F  00 00  01  06 00 00 4C 61 73 65 72 73  00  00 00",
  };
  for (const char* record : records)
    EXPECT_EQ(loadError(hexBytes(record)), research::kSaveErrorMissingTechnology) << record;

  const Bytes whole = hexBytes("00 00 00 00 00 00 F0 3F  00 00  01  06 00 00 4C 61 73 65 72 73  00  00 00");
  for (size_t length = 0; length < whole.size(); ++length)
    EXPECT_EQ(loadError(Bytes(whole.begin(), whole.begin() + length)), kSaveErrorEOF) << length;
}

}  // namespace

// ---------------------------------------------------------------------------
// Webs over loaded technologies.

namespace {

using irr::core::stringc;
using irr::core::stringw;
using research::CWeb;
using research::CWebItem;
using research::IWebItem;

// Science starts researched; the others start at level 0.
constexpr char kTechnologies[] =
    "Technology: Science\n"
    "StartLevel: 1\n"
    "Cost: 2\n"
    "Link: Shields [40]\n"
    "Link: Nowhere [10]\n"
    "OnLevel: 2 unlock Shields:Link\n"
    "OnLevel: 3 unlock Shields\n"
    "Technology: Lasers\n"
    "Name: Laser Optics\n"
    "Cost: Level + 1\n"
    "MaxLevel: 6\n"
    "Link: Shields [1]\n"
    "Link: Science [2]\n"
    "Link: Armor [3]\n"
    "Technology: Shields\n"
    "Locks: Link, Secret\n"
    "Technology: Armor\n"
    "Cost: 0\n"
    "MaxLevel: 3\n"
    "OnLevel: 1 link_pay_rand 50%\n"
    "Technology: Probe\n"
    "Link: Shields [40]\n"
    "OnLevel: 1-2 link_pay 0 50%\n"
    "Technology: Optics\n"
    "Cost: 2\n"
    "Technology: Capped\n"
    "StartLevel: 1\n"
    "MaxLevel: 1\n";

// Notes the levels it runs at.
class RecordLevel : public research::ILevelEvent {
 public:
  explicit RecordLevel(std::vector<double>* seen) : seen_(seen) {}
  void run(research::IWeb*, IWebItem*, double level) override { seen_->push_back(level); }

 private:
  std::vector<double>* seen_;
};

class ResearchItemsTest : public testing::Test {
 protected:
  void SetUp() override { loadTechnologies(kTechnologies); }
  void TearDown() override {
    empires_.clear();  // before the descriptors their webs point at
    research::clearWebItemDescs();
    gameSettings.clear();
  }

  void loadTechnologies(const char* text) {
    const std::filesystem::path file = folder_ / "techs.txt";
    std::ofstream(file, std::ios::binary) << text;
    research::loadResearchFields(file.string().c_str());
  }

  empire* newEmpire() {
    empires_.emplace_back(new empire);
    return empires_.back().get();
  }
  // An empire with its web set up.
  empire* readyEmpire() {
    empire* emp = newEmpire();
    emp->researchWeb->initialise(emp);
    return emp;
  }
  static CWeb& webOf(empire* emp) { return dynamic_cast<CWeb&>(*emp->researchWeb); }
  static research::IWebItemDesc* desc(const wchar_t* id) { return research::getWebItemDesc(stringw(id)); }
  static CWebItem& item(empire* emp, const wchar_t* id) {
    return dynamic_cast<CWebItem&>(*webOf(emp).getItem(desc(id)));
  }
  static float evaluate(empire* emp, const wchar_t* text) {
    const formula program{stringw(text)};
    return evaluateFormula(&program, &emp->spaces);
  }
  static Bytes save(const research::IWeb& web) {
    auto writer = SaveStream::createInMemory();
    web.write(*writer);
    return writtenBody(*writer);
  }
  static research::IWeb* load(empire* emp, const Bytes& body) {
    const Bytes file = withHeader(body);
    auto reader = readerOver(file);
    research::IWeb* web = research::loadResearchWeb(emp, *reader);
    EXPECT_EQ(reader->remaining(), 0u);
    return web;
  }

  const std::filesystem::path folder_ = scratchDir();
  std::vector<std::unique_ptr<empire>> empires_;
};

TEST_F(ResearchItemsTest, PointsRaiseLevelsUntilTheMaximum) {
  std::vector<double> seen;
  for (double level : {1.0, 2.0, 3.0})
    desc(L"Optics")->addLevelEvent(level, new RecordLevel(&seen));
  empire* emp = readyEmpire();

  struct Case {
    const wchar_t* tech;
    float points;
    bool gained;
    float level, progress, cost;
  };
  const Case cases[] = {
      {L"Optics", 5, true, 2, 1, 2},   // constant cost 2
      {L"Lasers", 10, true, 4, 0, 5},  // cost Level + 1: 1 + 2 + 3 + 4
      {L"Capped", 7, false, 1, 7, 1},  // at the maximum: progress only
      {L"Armor", 0, true, 1, 0, 0},    // cost 0: one level per call
      {L"Armor", 0, true, 2, 0, 0},
      {L"Optics", 0.5f, false, 2, 1.5f, 2},
  };
  for (const Case& c : cases) {
    CWebItem& it = item(emp, c.tech);
    EXPECT_EQ(it.addPoints(c.points, emp), c.gained) << stringc(c.tech).c_str();
    float level, progress, cost, maxLevel;
    it.getLevels(level, progress, cost, maxLevel);
    EXPECT_EQ(level, c.level) << stringc(c.tech).c_str();
    EXPECT_EQ(progress, c.progress) << stringc(c.tech).c_str();
    EXPECT_EQ(cost, c.cost) << stringc(c.tech).c_str();
  }
  EXPECT_EQ(seen, (std::vector<double>{1.0, 2.0}));

  // The web's own addPoints shows what gained a level, and knows only its items.
  CWeb& web = webOf(emp);
  EXPECT_FALSE(web.isTechVisible(desc(L"Probe")));
  EXPECT_TRUE(web.addPoints(desc(L"Probe"), 1, emp));
  EXPECT_TRUE(web.isTechVisible(desc(L"Probe")));
  research::CWebItemDesc stranger(L"Stranger");
  EXPECT_FALSE(web.addPoints(&stranger, 1, emp));
  EXPECT_EQ(web.getItem(&stranger), nullptr);
}

TEST_F(ResearchItemsTest, LinksStayCompleteOncePaid) {
  setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
  empire* emp = readyEmpire();
  CWebItem& science = item(emp, L"Science");
  IWebItem* shields = webOf(emp).getItem(desc(L"Shields"));
  ASSERT_EQ(science.getLinkCount(), 2u);

  IWebItem* end = nullptr;
  EXPECT_FALSE(science.payLink(39, 0, end));
  EXPECT_TRUE(science.payLink(1, 0, end));
  EXPECT_EQ(end, shields);
  end = nullptr;
  EXPECT_TRUE(science.payLink(5, 0, end));
  EXPECT_EQ(end, shields);
  float paid = -1, cost = -1;
  science.getLinkLevels(0, paid, cost);
  EXPECT_EQ(paid, 45);
  EXPECT_EQ(cost, 40);

  EXPECT_FALSE(science.payLink(100, 2, end));  // index = link count
  science.getLinkLevels(2, paid, cost);        // untouched
  EXPECT_EQ(paid, 45);
  EXPECT_EQ(science.getLinkEnd(2), nullptr);
  EXPECT_EQ(science.getPossibleLinkEnd(2), nullptr);
  EXPECT_EQ(science.getPossibleLinkEnd(0), shields);
  EXPECT_EQ(science.getLinkEnd(1), nullptr);  // "Nowhere" is no technology
}

TEST_F(ResearchItemsTest, SpendingFollowsTheTarget) {
  setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
  empire* emp = readyEmpire();
  CWeb& web = webOf(emp);
  web.setResearchRate(2.0);
  EXPECT_FALSE(web.spendResearch(1.0, emp));  // no target

  web.setActiveTech(desc(L"Lasers"));
  EXPECT_FALSE(web.spendResearch(0.0, emp));
  EXPECT_FALSE(web.spendResearch(-1.0, emp));
  web.setResearchRate(0.0);
  EXPECT_FALSE(web.spendResearch(1.0, emp));
  web.setResearchRate(2.0);
  EXPECT_TRUE(web.spendResearch(1.0, emp));  // 2 points: levels 1 (cost 1), not 2 (cost 2)
  EXPECT_EQ(item(emp, L"Lasers").level, 1);
  EXPECT_TRUE(web.isTechVisible(desc(L"Lasers")));

  // A completed link moves the target to its end, which loses "Link".
  web.setActiveTech(desc(L"Lasers"), 0);
  int link = 0;
  EXPECT_EQ(web.getActiveTech(link), web.getItem(desc(L"Lasers")));
  EXPECT_EQ(link, 0);
  EXPECT_TRUE(web.spendResearch(1.0, emp));
  EXPECT_EQ(web.getActiveTech(link), web.getItem(desc(L"Shields")));
  EXPECT_EQ(link, -1);
  EXPECT_EQ(item(emp, L"Shields").getLockCount(), 0u);  // no locks were applied
  EXPECT_TRUE(web.isTechVisible(desc(L"Shields")));

  // A descriptor without an item changes nothing.
  research::CWebItemDesc stranger(L"Stranger");
  web.setActiveTech(&stranger);
  web.setActiveTech(&stranger, 1);
  EXPECT_EQ(web.getActiveTech(link), web.getItem(desc(L"Shields")));
}

TEST_F(ResearchItemsTest, ADeadLinkIsNewsOnlyWhenItCompletes) {
  setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
  empire* emp = readyEmpire();
  CWeb& web = webOf(emp);
  web.setResearchRate(10.0);
  CWebItem& science = item(emp, L"Science");
  // No other item is above level 0 and below its maximum.
  science.maxLevel = 1;
  web.setActiveTech(desc(L"Science"), 1);  // "Nowhere", cost 10
  int found = 0;
  for (int frame = 0; frame < 100; ++frame)
    found += web.spendResearch(1.0, emp) ? 1 : 0;
  EXPECT_EQ(found, 1);
  int link = 0;
  EXPECT_EQ(web.getActiveTech(link), &science);
  EXPECT_EQ(link, 1);

  // With a technology left to research, completing the dead link moves on.
  science.links[1].paid = 0;
  item(emp, L"Lasers").level = 1;
  EXPECT_TRUE(web.spendResearch(1.0, emp));
  EXPECT_EQ(web.getActiveTech(link), web.getItem(desc(L"Lasers")));
  EXPECT_EQ(link, -1);
}

TEST_F(ResearchItemsTest, ANewTargetIsDrawnAmongTechnologiesLeftToResearch) {
  empire* emp = readyEmpire();
  CWeb& web = webOf(emp);
  struct Setting {
    const wchar_t* tech;
    float level, maxLevel;
  };
  // Science is finished and active; Capped is at its maximum; Lasers and
  // Armor are left; the rest are at level 0.
  for (const Setting& s : {Setting{L"Science", 4, 4}, Setting{L"Capped", 1, 1}, Setting{L"Lasers", 2, 6},
                           Setting{L"Armor", 1, 3}}) {
    item(emp, s.tech).level = s.level;
    item(emp, s.tech).maxLevel = s.maxLevel;
  }
  std::map<IWebItem*, int> drawn;
  for (int draw = 0; draw < 1000; ++draw) {
    web.setActiveTech(desc(L"Science"), 1);
    web.chooseNewActive();
    int link = 0;
    ++drawn[web.getActiveTech(link)];
    EXPECT_EQ(link, -1);
  }
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_GT(drawn[web.getItem(desc(L"Lasers"))], 0);
  EXPECT_GT(drawn[web.getItem(desc(L"Armor"))], 0);

  // Without a candidate the finished item stays the target.
  item(emp, L"Lasers").level = 0;
  item(emp, L"Armor").level = 3;
  web.setActiveTech(desc(L"Science"));
  web.setResearchRate(1.0);
  EXPECT_FALSE(web.spendResearch(1.0, emp));
  web.chooseNewActive();
  int link = 0;
  EXPECT_EQ(web.getActiveTech(link), web.getItem(desc(L"Science")));
}

TEST_F(ResearchItemsTest, LevelsArePublishedToEachEmpiresFormulas) {
  empire* emp = readyEmpire();
  empire* other = readyEmpire();
  EXPECT_TRUE(item(emp, L"Lasers").addPoints(10, emp));
  EXPECT_EQ(evaluate(emp, L"Techs.Lasers.Level * 10 + Techs.Lasers.NextLevel"), 45.0f);
  EXPECT_EQ(evaluate(other, L"Techs.Lasers.Level * 10 + Techs.Lasers.NextLevel"), 1.0f);
  EXPECT_EQ(evaluate(emp, L"Techs.Science.Level"), 1.0f);

  // A web's values go with it.
  delete emp->researchWeb;
  emp->researchWeb = nullptr;
  EXPECT_EQ(emp->techVars.findSpace(L"Lasers"), nullptr);
  EXPECT_EQ(other->techVars.spaces().size(), research::getWebItemDescCount());
}

TEST(ResearchShippedTest, TheBeamsLinkCostsWhatEngineeringMakesIt) {
  for (const char* file : {"military.txt", "sciences.txt"})
    research::loadResearchFields((std::string(CORVANE_SOURCE_DIR "/data/Game Data/Technologies/") + file).c_str());
  {
    empire emp;
    emp.researchWeb->initialise(&emp);
    auto& web = dynamic_cast<CWeb&>(*emp.researchWeb);
    IWebItem* science = web.getItem(research::getWebItemDesc(stringw(L"Science")));
    IWebItem* beams = web.getItem(research::getWebItemDesc(stringw(L"Beams")));
    int found = 0;
    for (irr::u32 i = 0; i < science->getLinkCount(); ++i) {
      if (science->getLinkEnd(i) == beams) {
        EXPECT_EQ(science->getLink(i).cost, 50.0f);
        ++found;
      }
    }
    EXPECT_EQ(found, 1);
  }
  research::clearWebItemDescs();
  gameSettings.clear();
}

TEST_F(ResearchItemsTest, LinkSettingsShapeANewWeb) {
  {
    empire* emp = readyEmpire();  // no settings
    const CWeb& web = webOf(emp);
    for (irr::u32 i = 0; i < web.items.size(); ++i)  // Science and Capped start at level 1
      EXPECT_EQ(web.visible.count(web.items[i]) != 0, dynamic_cast<CWebItem&>(*web.items[i]).level > 0) << i;
    EXPECT_EQ(web.getVisibleCount(), 2u);
    EXPECT_EQ(item(emp, L"Science").getLinkCount(), 2u);
  }
  setGameSetting(L"RES_SHOW_ALL_TECHS", 1);
  setGameSetting(L"RES_NO_DEAD_ENDS", 1);
  setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
  {
    empire* emp = readyEmpire();
    EXPECT_EQ(webOf(emp).getVisibleCount(), webOf(emp).items.size());
    CWebItem& science = item(emp, L"Science");
    ASSERT_EQ(science.getLinkCount(), 1u);
    EXPECT_EQ(science.getLinkEnd(0), webOf(emp).getItem(desc(L"Shields")));
    CWebItem& lasers = item(emp, L"Lasers");
    ASSERT_EQ(lasers.getLinkCount(), 3u);
    for (irr::u32 i = 0; i < 3; ++i)
      EXPECT_EQ(lasers.getLink(i).cost, float(i + 1));  // file order
  }

  // Shuffled by default: over fresh webs the three links come in several orders.
  gameSettings.clear();
  empire* emp = newEmpire();
  std::set<std::vector<float>> orders;
  for (int web = 0; web < 200; ++web) {
    CWeb fresh;
    fresh.initialise(emp);
    const IWebItem* lasers = fresh.getItem(desc(L"Lasers"));
    std::vector<float> order;
    for (irr::u32 i = 0; i < lasers->getLinkCount(); ++i)
      order.push_back(lasers->getLink(i).cost);
    orders.insert(order);
  }
  EXPECT_GT(orders.size(), 1u);
}

TEST_F(ResearchItemsTest, LevelEventsUnlockAndPay) {
  setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
  struct Case {
    bool locks;
    bool visibleAt2;
  };
  for (const Case& c : {Case{false, true}, Case{true, false}}) {
    empire* emp = readyEmpire();
    CWeb& web = webOf(emp);
    CWebItem& shields = item(emp, L"Shields");
    if (c.locks)
      desc(L"Shields")->applyLocks(&shields);
    EXPECT_EQ(shields.getLockCount(), c.locks ? 2u : 0u);
    CWebItem& science = item(emp, L"Science");
    EXPECT_TRUE(science.addPoints(2, emp));  // level 2: "Shields:Link"
    EXPECT_EQ(shields.getLockCount(), c.locks ? 1u : 0u);
    EXPECT_EQ(web.isTechVisible(desc(L"Shields")), c.visibleAt2);
    EXPECT_TRUE(science.addPoints(2, emp));  // level 3: "Shields"
    EXPECT_TRUE(web.isTechVisible(desc(L"Shields")));
    EXPECT_EQ(shields.getLockCount(), c.locks ? 1u : 0u);
  }

  // "1-2 link_pay 0 50%" on a link of cost 40.
  empire* emp = readyEmpire();
  CWeb& web = webOf(emp);
  CWebItem& probe = item(emp, L"Probe");
  EXPECT_TRUE(probe.addPoints(1, emp));
  EXPECT_EQ(probe.getLink(0).paid, 20.0f);
  EXPECT_FALSE(web.isTechVisible(desc(L"Shields")));
  EXPECT_TRUE(probe.addPoints(1, emp));
  EXPECT_EQ(probe.getLink(0).paid, 40.0f);
  EXPECT_TRUE(web.isTechVisible(desc(L"Shields")));

  // "link_pay_rand" on an item without links does nothing.
  const irr::u32 visible = web.getVisibleCount();
  EXPECT_TRUE(item(emp, L"Armor").addPoints(0, emp));
  EXPECT_EQ(web.getVisibleCount(), visible);
}

TEST(ResearchSaveTest, AOneItemWebWritesItsRecord) {
  const std::filesystem::path file = scratchDir() / "techs.txt";
  std::ofstream(file, std::ios::binary) << "Technology: Beams\nStartLevel: 1\nCost: 20\n";
  research::loadResearchFields(file.string().c_str());
  {
    empire emp;
    emp.researchWeb->initialise(&emp);
    emp.researchWeb->setResearchRate(0.5);
    auto writer = SaveStream::createInMemory();
    emp.researchWeb->write(*writer);
    EXPECT_EQ(hexText(writtenBody(*writer)),
              hex("00 00 00 00 00 00 E0 3F 01 00 05 00 00 42 65 61 6D 73 00 00 80 3F 00 00 A0 41 00 00 00 00 "
                  "28 6B 6E 4E 00 01 FF"));
  }
  research::clearWebItemDescs();
}

TEST_F(ResearchItemsTest, WebsLoadAsTheyWereSaved) {
  std::vector<Bytes> saved;
  for (int e = 0; e < 3; ++e) {
    empire* emp = readyEmpire();
    CWeb& web = webOf(emp);
    web.setResearchRate(1.5 + e);
    web.addPoints(desc(L"Lasers"), float(3 + e * 4), emp);
    IWebItem* end = nullptr;
    item(emp, L"Science").payLink(float(10 * e), e % 2, end);
    web.markAsVisible(web.getItem(desc(L"Capped")));
    web.setActiveTech(desc(L"Lasers"), static_cast<uint16_t>(e));
    saved.push_back(save(web));
  }
  for (int e = 0; e < 3; ++e) {
    empire* emp = empires_[e].get();
    const float before = evaluate(emp, L"Techs.Lasers.Level");
    research::IWeb* loaded = load(emp, saved[e]);
    delete emp->researchWeb;  // the loaded web's values stay bound
    emp->researchWeb = loaded;
    EXPECT_EQ(save(*loaded), saved[e]) << e;
    EXPECT_EQ(evaluate(emp, L"Techs.Lasers.Level"), before) << e;
    int link = -1;
    EXPECT_EQ(loaded->getActiveTech(link), webOf(emp).getItem(desc(L"Lasers")));
    EXPECT_EQ(link, e);
  }
}

TEST_F(ResearchItemsTest, BadRecordsAreRefused) {
  empire* emp = readyEmpire();
  webOf(emp).setActiveTech(desc(L"Probe"), 0);
  const Bytes whole = save(*emp->researchWeb);
  for (size_t length = 0; length < whole.size(); ++length)
    EXPECT_EQ(loadError(Bytes(whole.begin(), whole.begin() + length)), kSaveErrorEOF) << length;
  EXPECT_EQ(loadError(hexBytes("00 00 00 00 00 00 F0 3F  01 00  07 00 00 4E 6F 77 68 65 72 65")),
            research::kSaveErrorMissingTechnology);
}

TEST_F(ResearchItemsTest, TechnologiesAddedAfterASaveStartAsInANewGame) {
  setGameSetting(L"RES_RANDOMIZE_LINKS", 0);
  empire* emp = readyEmpire();
  const Bytes saved = save(*emp->researchWeb);
  loadTechnologies("Technology: Late\nStartLevel: 2\nMaxLevel: 5\nCost: Level * 3\nLink: Science [5]\n");

  std::unique_ptr<research::IWeb> loaded(load(emp, saved));
  auto& web = dynamic_cast<CWeb&>(*loaded);
  auto& late = dynamic_cast<CWebItem&>(*web.getItem(desc(L"Late")));
  EXPECT_EQ(late.level, 2);
  EXPECT_EQ(late.maxLevel, 5);
  EXPECT_EQ(late.cost, 6);
  EXPECT_TRUE(web.isTechVisible(desc(L"Late")));
  ASSERT_EQ(late.getLinkCount(), 1u);
  EXPECT_EQ(late.getLinkEnd(0), web.getItem(desc(L"Science")));
  EXPECT_EQ(late.getLink(0).cost, 5);
  EXPECT_EQ(evaluate(emp, L"Techs.Late.Level + Techs.Late.NextLevel"), 5.0f);
}

}  // namespace

}  // namespace research_web_test
