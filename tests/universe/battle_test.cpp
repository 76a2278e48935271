// The first battle: five ships of A against three of B in one star system
// of a galaxy of four, every ship with a defend order, fought to the end
// with a fixed seed. Everything random in the fight happens on the one
// thread that ticks that system (the process-wide generator's draws for
// circling, scans and damage orders), the weapon has no random spread and
// the order timers read the test clock, so the battle ends the same way
// inline, on one worker, on four, and in single-threaded mode: the same
// winner, the same survivors with the same damage at the same places, and
// the last loss on the same step. Run under ThreadSanitizer for the races.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "battle_fixture.h"
#include "core/threads.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "support/space_empire.h"
#include "universe_fixture.h"

namespace battle_test {

namespace {

using battletest::Battle;
using battletest::Outcome;
using battletest::Survivor;

constexpr uint32_t kSeed = 4242;
constexpr double kMaxSeconds = 600.0;

std::string describe(const Outcome& outcome) {
  std::ostringstream out;
  out << "winner " << outcome.winner << " after " << outcome.steps << " steps, last loss on step "
      << outcome.lastLossStep << ", losses at";
  for (int step : outcome.lossSteps)
    out << ' ' << step;
  out << std::hexfloat;
  for (const Survivor& ship : outcome.survivors)
    out << "\n  ship " << ship.uid << ": damage " << ship.damage << " at (" << ship.x << ", " << ship.y << ", "
        << ship.z << ")";
  return out.str();
}

class BattleTest : public UniverseTest {
 protected:
  void SetUp() override {
    UniverseTest::SetUp();
    registerSpaceEmpire();  // what a ship without "Control" falls to
    initThreadLocals();
    systemsPaused = false;
    clearEffGfxQueue();
    red->getRelation(blue)->enemy = true;
    blue->getRelation(red)->enemy = true;
    LogCapture log;
    ASSERT_TRUE(battletest::loadBattleData(scratchDir()));
    const std::string loaded = log.take();
    EXPECT_EQ(loaded.find("rror"), std::string::npos) << loaded;
    EXPECT_EQ(loaded.find("arning"), std::string::npos) << loaded;
  }

  void TearDown() override {
    clearEffGfxQueue();
    battletest::clearBattleData();
    singleThreaded = false;
    systemsPaused = false;
    UniverseTest::TearDown();
  }

  // One whole battle, torn down before it returns.
  Outcome fight(bool singleThreadedRun, uint8_t workers) {
    singleThreaded = singleThreadedRun;
    Battle battle(red, blue, 5, 3);
    battle.build(kSeed, workers);
    EXPECT_EQ(galaxy->threads.size(), workers);
    Outcome outcome = battle.fight(kMaxSeconds);
    battle.tearDown();
    singleThreaded = false;
    return outcome;
  }
};

TEST_F(BattleTest, TheLargerFleetWinsAlikeOnAnyNumberOfWorkers) {
  const struct {
    const char* label;
    bool singleThreadedRun;
    uint8_t workers;
  } runs[] = {
      {"no workers", false, 0},
      {"one worker", false, 1},
      {"four workers", false, 4},
      {"single-threaded", true, 0},
  };
  std::vector<Outcome> outcomes;
  for (const auto& run : runs) {
    SCOPED_TRACE(run.label);
    outcomes.push_back(fight(run.singleThreadedRun, run.workers));
    const Outcome& outcome = outcomes.back();
    EXPECT_EQ(outcome.winner, 0) << describe(outcome);
    EXPECT_FALSE(outcome.survivors.empty());
    EXPECT_GT(outcome.lastLossStep, 0);
    EXPECT_GT(outcome.hits, 0u) << "the ships fought";
    EXPECT_GT(outcome.graphicsCalls, 0u) << "every shot queued a beam";
    // The winners took hits too, and none of the losers is left.
    for (size_t k = 5; k < outcome.lossSteps.size(); ++k)
      EXPECT_GE(outcome.lossSteps[k], 0) << "B's ship " << k - 5;
  }

  const Outcome& first = outcomes.front();
  for (size_t n = 1; n < outcomes.size(); ++n) {
    SCOPED_TRACE(runs[n].label);
    const Outcome& other = outcomes[n];
    EXPECT_EQ(other.winner, first.winner);
    EXPECT_EQ(other.steps, first.steps);
    EXPECT_EQ(other.lastLossStep, first.lastLossStep);
    EXPECT_EQ(other.lossSteps, first.lossSteps);
    EXPECT_EQ(other.hits, first.hits);
    EXPECT_TRUE(other.survivors == first.survivors) << "expected:\n"
                                                    << describe(first) << "\nactual:\n"
                                                    << describe(other);
  }

  LogCapture log;
  reportUndeletedObjects();
  EXPECT_EQ(log.take(), "");
}

}  // namespace

}  // namespace battle_test
