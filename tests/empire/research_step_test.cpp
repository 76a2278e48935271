// The research phase of the empire step: what the web's advance tells the
// player.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/base/session_state.h"
#include "core/locale.h"
#include "core/named_values.h"
#include "empire/empire.h"
#include "empire/research/research_fields.h"
#include "empire/research/research_registry.h"
#include "empire/research/research_web.h"
#include "support/scratch_dir.h"

namespace research_step_test {

using irr::core::stringc;
using irr::core::stringw;

namespace {

const char* const kLocale =
    "#EM_Researched: \"Researched \"\n"
    "#EM_Res_to: \" to \"\n"
    "#EM_Res_level: \"level \"\n"
    "#EM_ResLink: \"Found a link from \"\n"
    "#EM_Res_and: \" to \"\n"
    "#EM_ResLinkDead: \"A lead from \"\n"
    "#EM_Res_research: \" went nowhere.\"\n";

// Laser Optics starts at level 1 (visible), costs 1 a level, and has a link
// to Deflector Shields and one to a technology that does not exist.
const char* const kTechnologies =
    "Technology: Lasers\n"
    "Name: Laser Optics\n"
    "Cost: 1\n"
    "MaxLevel: 10\n"
    "StartLevel: 1\n"
    "Link: Shields [1]\n"
    "Link: Nowhere [1]\n"
    "Technology: Shields\n"
    "Name: Deflector Shields\n"
    "Cost: 1000\n";

class ResearchStepTest : public testing::Test {
 protected:
  void SetUp() override {
    nextEmpireID = 1;
    std::ofstream(folder_ / "locale.txt", std::ios::binary) << kLocale;
    ASSERT_TRUE(loadLocaleFile((folder_ / "locale.txt").string().c_str(), true));
    std::ofstream(folder_ / "techs.txt", std::ios::binary) << kTechnologies;
    research::loadResearchFields((folder_ / "techs.txt").string().c_str());
    setGameSetting(L"RES_RANDOMIZE_LINKS", 0.0f);  // links in file order
    gameTime = 12.75;
    emp_ = registerEmpire(new empire);
    emp_->researchWeb->initialise(emp_);
    emp_->researchWeb->setResearchRate(1.0);
    lasers_ = research::getWebItemDesc(stringw(L"Lasers"));
    ASSERT_NE(lasers_, nullptr);
  }
  void TearDown() override {
    deleteAllEmpires();
    research::clearWebItemDescs();
    gameSettings.clear();
    gameTime = 0.0;
    loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true);
  }

  // One step of a second; the text posted by it ("" when none).
  std::string step() {
    const size_t before = emp_->messages.size();
    emp_->researchChanged = false;
    emp_->tick(1.0f);
    if (emp_->messages.size() == before)
      return "";
    EXPECT_TRUE(emp_->researchChanged);
    const EmpireMessage& posted = emp_->messages.back();
    EXPECT_EQ(*posted.category, L"research");
    EXPECT_EQ(posted.priority, 0);
    EXPECT_EQ(posted.time, 12);
    return stringc(posted.text).c_str();
  }

  const std::filesystem::path folder_ = scratchDir();
  empire* emp_ = nullptr;
  research::IWebItemDesc* lasers_ = nullptr;
};

TEST_F(ResearchStepTest, EachAdvanceIsToldToThePlayer) {
  struct Case {
    int link;  // -1: the next level
    const char* text;
  };
  for (const Case& c : {Case{-1, "Researched #c:9f9#Laser Optics#c# to #c:f99#level 2#c#"},
                        Case{0, "Found a link from #c:9f9#Laser Optics#c# to #c:f99#Deflector Shields#c#"},
                        Case{1, "A lead from #c:9f9#Laser Optics#c# went nowhere."}}) {
    {
      empire::AreaGuard guard;
      emp_->lockArea(guard, EA_ResearchWeb, true);
      if (c.link < 0)
        emp_->researchWeb->setActiveTech(lasers_);
      else
        emp_->researchWeb->setActiveTech(lasers_, static_cast<uint16_t>(c.link));
    }
    EXPECT_EQ(step(), c.text) << c.link;
  }
}

TEST_F(ResearchStepTest, NothingIsToldWithoutAnAdvance) {
  EXPECT_EQ(step(), "");  // no target
  EXPECT_FALSE(emp_->researchChanged);
  emp_->researchWeb->setActiveTech(lasers_);
  emp_->researchWeb->setResearchRate(0.5);
  EXPECT_EQ(step(), "");  // half a level
  EXPECT_FALSE(emp_->researchChanged);
  EXPECT_EQ(step(), "Researched #c:9f9#Laser Optics#c# to #c:f99#level 2#c#");
}

TEST_F(ResearchStepTest, ADeadLinkIsToldOnce) {
  // Every item at level 0: once the dead link is paid, no other target
  // qualifies and the target stays on it.
  research::clearWebItemDescs();
  deleteAllEmpires();
  std::ofstream(folder_ / "techs.txt", std::ios::binary)
      << "Technology: Lasers\nName: Laser Optics\nLink: Nowhere [1]\n";
  research::loadResearchFields((folder_ / "techs.txt").string().c_str());
  emp_ = registerEmpire(new empire);
  emp_->researchWeb->initialise(emp_);
  emp_->researchWeb->setResearchRate(1.0);
  emp_->researchWeb->setActiveTech(research::getWebItemDesc(stringw(L"Lasers")), 0);
  int told = 0;
  for (int frame = 0; frame < 100; ++frame) {
    const std::string text = step();
    if (!text.empty()) {
      EXPECT_EQ(text, "A lead from #c:9f9#Laser Optics#c# went nowhere.");
      ++told;
    }
  }
  EXPECT_EQ(told, 1);
}

TEST_F(ResearchStepTest, TheRateAddsInDoublePrecision) {
  emp_->researchWeb->setResearchRate(0.0);
  emp_->modResearchRate(1e10);
  emp_->modResearchRate(0.25);
  EXPECT_EQ(emp_->getResearchRate(), 1e10 + 0.25);
  EXPECT_EQ(defaultEmpire()->getResearchRate(), 0.0);  // holds no web
}

}  // namespace

}  // namespace research_step_test
