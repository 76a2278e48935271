#include "empire/research/research_web.h"

#include <gtest/gtest.h>

#include <memory>

#include "empire/empire.h"
#include "empire/research/research_registry.h"
#include "support/save_bytes.h"

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
