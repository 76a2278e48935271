#include "core/timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "core/threads.h"
#include "platform/thread.h"

namespace timer_test {

namespace {

TEST(HiresTimerTest, TicksMeasureElapsedTimeOnAnyThread) {
  std::unique_ptr<HiresTimer> timer = createHiresTimer();
  EXPECT_EQ(timer->getDelta(), 0.0);
  timer->tick();
  const float first = timer->getTimeF();
  timer->tick();
  EXPECT_GE(timer->getDelta(), 0.0);
  EXPECT_GE(timer->getTimeF(), first);
  EXPECT_GE(timer->getNowF(), timer->getTimeF());
  EXPECT_EQ(timer->getDeltaF(), static_cast<float>(timer->getDelta()));

  // A thread whose record was never set up reads the clock all the same.
  std::thread([] {
    EXPECT_EQ(threadLocals().timerFrequency, 0);
    HiresTimer timer;
    timer.tick();
    timer.tick();
    EXPECT_TRUE(std::isfinite(timer.getDelta()));
    EXPECT_GE(timer.getDelta(), 0.0);
    EXPECT_EQ(threadLocals().timerFrequency, 1000000000);
  }).join();
}

TEST(HiresTimerTest, FirstTickMeasuresFromCreation) {
  // However long the process ran before, a new timer's first tick (and a new
  // profiler's first frame) covers no more than the timer's own life.
  plat::sleepMs(20);
  const double before = hiresNow();
  std::unique_ptr<HiresTimer> timer = createHiresTimer();
  std::unique_ptr<hires_profiler> profiler = createHiresProfiler();
  timer->tick();
  profiler->endFrame();
  const double elapsed = hiresNow() - before;
  EXPECT_LE(timer->getDelta(), elapsed);
  double average, minimum, maximum;
  profiler->report(nullptr);
  profiler->getFrameStats(average, minimum, maximum);
  EXPECT_LE(maximum, elapsed);
}

struct Stats {
  double average, minimum, maximum;
};

Stats sectionStats(const hires_profiler& profiler, int id) {
  Stats stats{};
  profiler.getSectionStats(id, stats.average, stats.minimum, stats.maximum);
  return stats;
}

void measure(hires_profiler& profiler, int id) {
  profiler.beginSection(id);
  profiler.endSection(id);
}

TEST(ProfilerTest, SectionsAreRegisteredOnce) {
  std::unique_ptr<hires_profiler> profiler = createHiresProfiler();
  EXPECT_EQ(profiler->registerSection("b"), 0);
  EXPECT_EQ(profiler->registerSection("a"), 1);
  EXPECT_EQ(profiler->registerSection("b"), 0);
  EXPECT_EQ(profiler->registerSection("c"), 2);
  EXPECT_EQ(profiler->registerSection("a"), 1);
  EXPECT_EQ(profiler->sectionCount(), 3u);

  std::vector<std::string> reported;
  profiler->report([&reported](const std::string& name, int id, double average, double, double) {
    reported.push_back(std::to_string(id) + name);
    EXPECT_EQ(average, 0.0);  // never measured
  });
  EXPECT_EQ(reported, (std::vector<std::string>{"0b", "1a", "2c"}));
}

TEST(ProfilerTest, FramesFoldIntoStatisticsUntilTheReport) {
  std::unique_ptr<hires_profiler> profiler = createHiresProfiler();
  const int id = profiler->registerSection("work");

  measure(*profiler, id);
  profiler->endFrame();
  profiler->report(nullptr);
  EXPECT_EQ(profiler->frameCount(), 1u);
  Stats frame{};
  profiler->getFrameStats(frame.average, frame.minimum, frame.maximum);
  EXPECT_EQ(frame.minimum, frame.maximum);  // from the first frame alone
  EXPECT_EQ(frame.average, frame.minimum);
  Stats section = sectionStats(*profiler, id);
  EXPECT_EQ(section.minimum, section.maximum);
  EXPECT_EQ(section.average, section.minimum);
  EXPECT_LT(section.maximum, 1.0);

  // After a report the next frame starts afresh.
  for (int frameNumber = 0; frameNumber < 3; ++frameNumber) {
    measure(*profiler, id);
    measure(*profiler, id);
    profiler->endFrame();
  }
  EXPECT_EQ(profiler->frameCount(), 3u);
  const int late = profiler->registerSection("late");  // joins after statistics began
  measure(*profiler, late);
  profiler->endFrame();
  profiler->report(nullptr);
  section = sectionStats(*profiler, id);
  EXPECT_LE(section.minimum, section.average);
  EXPECT_LE(section.average, section.maximum);
  const Stats lateStats = sectionStats(*profiler, late);
  EXPECT_EQ(lateStats.minimum, lateStats.maximum);  // its own first frame, not placeholders
  EXPECT_LT(lateStats.maximum, 1.0);

  // Ids that were never handed out are ignored.
  for (int bad : {-1, 2, 1000}) {
    measure(*profiler, bad);
    section = sectionStats(*profiler, bad);
    EXPECT_EQ(section.average + section.minimum + section.maximum, 0.0);
  }
}

TEST(ProfilerTest, FramePhasesOnTheMainProfiler) {
  registerFrameProfileSections();
  ASSERT_NE(mainProfiler, nullptr);
  const FrameProfileSections& ids = frameProfileSections;
  const int inOrder[] = {ids.hoveredObjectPoll,    ids.galaxyUpdate,    ids.empireTicks,    ids.graphicsTreeUpdate,
                         ids.guiUpdate,            ids.scriptGarbageCollect, ids.specialFxUpdate, ids.sceneRendering,
                         ids.postProcessing,       ids.guiRendering,    ids.screenPresenting};
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(inOrder[i], i);
  EXPECT_EQ(mainProfiler->registerSection("Special FX Update"), ids.specialFxUpdate);
  registerFrameProfileSections();  // a second session keeps the ids
  EXPECT_EQ(mainProfiler->sectionCount(), 11u);
  EXPECT_EQ(frameProfileSections.screenPresenting, 10);
}

}  // namespace

}  // namespace timer_test
