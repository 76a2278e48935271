#include "empire/research/research_web.h"

#include <gtest/gtest.h>

#include <memory>

#include "empire/empire.h"
#include "empire/research/research_registry.h"

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

}  // namespace
