// Every game session reads the technology files into the technology registry
// and empties it when it ends, so the next session reads them afresh.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/base/session_state.h"
#include "app/game_session.h"
#include "empire/research/research_registry.h"
#include "session_fixture.h"
#include "support/log_capture.h"

namespace technology_session_test {

namespace {

using TechnologySession = SessionTest;

TEST_F(TechnologySession, EachSessionLoadsTheTechnologiesAndClearsThem) {
  std::atomic<irr::u32> loaded{0};
  SessionEnder ender([&] {
    loaded = research::getWebItemDescCount();
    return true;
  });
  LogCapture log;
  for (int session = 0; session < 2; ++session) {
    SCOPED_TRACE(session);
    loaded = 0;
    currentModName = "/";
    EXPECT_EQ(runGameSession("spiral.as"), 0);
    EXPECT_EQ(loaded.load(), 11u) << "the shipped technologies, while the session ran";
    EXPECT_EQ(research::getWebItemDescCount(), 0u);
    EXPECT_EQ(research::getWebItemDesc(irr::core::stringw(L"Science")), nullptr);
  }

  const std::string text = log.take();
  EXPECT_EQ(countOccurrences(text, "Multiple instances"), 0u) << text;
  EXPECT_EQ(countOccurrences(text, "Loading research fields: "), 4u);
  const std::size_t military = text.find("Loading research fields: Game Data/Technologies/military.txt\n");
  const std::size_t sciences = text.find("Loading research fields: Game Data/Technologies/sciences.txt\n");
  ASSERT_NE(military, std::string::npos) << text;
  EXPECT_LT(military, sciences);
}

}  // namespace

}  // namespace technology_session_test
