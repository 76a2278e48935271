// An empire's traits changing and ticking while other threads read them.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/game_session.h"
#include "core/formula.h"
#include "core/threads.h"
#include "empire/empire.h"
#include "empire/traits.h"
#include "scriptapi/script_session.h"
#include "support/log_capture.h"

namespace traits_concurrency_test {

namespace {

using scriptapitest::ScriptSessionTest;

std::string readSource(const char* relative) {
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TraitsConcurrencyTest : public ScriptSessionTest {
 protected:
  void SetUp() override {
    ScriptSessionTest::SetUp();
    startSession({{"traits", readSource("data/Game Data/scripts/server/traits.as")}});
    LogCapture log;
    loadTraitFile(CORVANE_SOURCE_DIR "/data/Game Data/traits.xml");
    EXPECT_EQ(log.take(), "");
    emp_ = registerEmpire(new empire);
  }
  void TearDown() override {
    clearSessionTraits();
    ScriptSessionTest::TearDown();
  }

  empire* emp_ = nullptr;
};

// The main thread ticks the empire (scholarly's tick hook runs each frame)
// and adds or drops industrious every frame; readers see industrious with
// its tag either wholly present or wholly absent in the variables, and the
// untouched trait always.
TEST_F(TraitsConcurrencyTest, StepAddAndRemoveRunBesideReaders) {
  constexpr int kFrames = 1000;
  constexpr int kThreads = 4;
  constexpr float kSeconds = 0.1f;
  emp_->addTrait(L"scholarly");

  formula held;
  compileFormula(held, L"Traits.industrious + Traits.production");
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, lostScholarly{0}, sawHeld{0}, sawAbsent{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      while (!done.load()) {
        (emp_->hasTrait(L"industrious") ? sawHeld : sawAbsent)++;
        emp_->hasTraitTag(L"production");
        if (!emp_->hasTrait(L"scholarly") || !emp_->hasTraitTag(L"research"))
          ++lostScholarly;
        empire::AreaGuard guard;
        emp_->lockArea(guard, EA_Variables, true);
        const float value = evaluateFormula(&held, &emp_->spaces);
        if (value != 0.0f && value != 2.0f)
          ++torn;
      }
    });
  for (int frame = 0; frame < kFrames; ++frame) {
    emp_->tick(kSeconds);
    if (frame % 2 == 1)
      emp_->addTrait(L"industrious");
    else
      emp_->removeTrait(L"industrious");  // absent on the first frame: nothing
  }
  done = true;
  for (std::thread& thread : threads)
    thread.join();

  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(lostScholarly.load(), 0);
  EXPECT_GT(sawHeld.load() + sawAbsent.load(), 0);
  // The last frame added industrious.
  EXPECT_TRUE(emp_->hasTrait(L"industrious"));
  EXPECT_TRUE(emp_->hasTraitTag(L"production"));
  EXPECT_EQ(emp_->traits.size(), 2u);
  EXPECT_FLOAT_EQ(emp_->getSetting(L"industry_factor"), 1.25f);
  EXPECT_NEAR(emp_->getSetting(L"scholarship"), kFrames * kSeconds * 0.1f, 1e-2f);
  empire::AreaGuard guard;
  emp_->lockArea(guard, EA_Variables, true);
  EXPECT_EQ(evaluateFormula(&held, &emp_->spaces), 2.0f);
}

}  // namespace

}  // namespace traits_concurrency_test
