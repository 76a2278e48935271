#include "core/timer.h"

#include <chrono>

#include "core/locks.h"
#include "core/threads.h"

namespace {

using Clock = std::chrono::steady_clock;
using Counts = std::chrono::nanoseconds;
// Counts per second of the clock as read here.
constexpr int64_t kClockFrequency = Counts::period::den / Counts::period::num;

// Counts start at the process's first reading, so that times stay small
// enough for float readings to keep their precision.
const Clock::time_point clockOrigin = Clock::now();

int64_t readClockCount() { return std::chrono::duration_cast<Counts>(Clock::now() - clockOrigin).count(); }

void storeClockFrequency(ThreadLocals& record) {
  record.timerFrequency = kClockFrequency;
  record.timerFrequencyD = static_cast<double>(kClockFrequency);
}

std::unique_ptr<hires_profiler> ownedMainProfiler;

}  // namespace

hires_profiler* mainProfiler = nullptr;

Mutex& globalProfilerLock() {
  static Mutex* lock = new Mutex();  // for the whole process
  return *lock;
}
FrameProfileSections frameProfileSections;

double hiresNow() {
  ThreadLocals& record = threadLocals();
  if (record.timerFrequency <= 0)
    storeClockFrequency(record);
  record.lastTimerCount = readClockCount();
  return static_cast<double>(record.lastTimerCount) / record.timerFrequencyD;
}

std::unique_ptr<HiresTimer> createHiresTimer() {
  storeClockFrequency(threadLocals());
  return std::unique_ptr<HiresTimer>(new HiresTimer());
}

HiresTimer::HiresTimer() : lastTime_(hiresNow()) {}

void HiresTimer::tick() {
  const double now = hiresNow();
  delta_ = now - lastTime_;
  lastTime_ = now;
}

float HiresTimer::getNowF() const { return static_cast<float>(hiresNow()); }

// ---------------------------------------------------------------------------
// hires_profiler

hires_profiler::hires_profiler() : timer_(createHiresTimer()) {}

std::unique_ptr<hires_profiler> createHiresProfiler() { return std::unique_ptr<hires_profiler>(new hires_profiler()); }

int hires_profiler::registerSection(const char* name) {
  using IndexEntry = NamedVar<int, irr::core::stringc>;
  const irr::core::stringc key = name;
  const irr::s32 found = IndexEntry::find(sectionIndex_, key);
  if (found >= 0)
    return sectionIndex_[static_cast<irr::u32>(found)].value;
  const int id = static_cast<int>(sections_.size());
  IndexEntry::getOrAdd(sectionIndex_, key).value = id;
  Section section;
  section.name = name;
  sections_.push_back(section);
  return id;
}

void hires_profiler::beginSection(int id) {
  if (validId(id))
    sections_[static_cast<size_t>(id)].start = hiresNow();
}

void hires_profiler::endSection(int id) {
  if (validId(id)) {
    Section& section = sections_[static_cast<size_t>(id)];
    section.frameTime += hiresNow() - section.start;
  }
}

void hires_profiler::tickTimer() { timer_->tick(); }

namespace {

// Folds one frame's value into count, total, minimum and maximum. `fresh`
// starts them from this value alone.
void foldValue(bool fresh, double value, unsigned& count, double& total, double& minimum, double& maximum) {
  if (fresh) {
    count = 1;
    total = minimum = maximum = value;
    return;
  }
  ++count;
  total += value;
  if (minimum > value)
    minimum = value;
  else if (value > maximum)
    maximum = value;
}

}  // namespace

void hires_profiler::endFrame() {
  timer_->tick();
  foldValue(reset_, timer_->getDelta(), frameCount_, frameTotal_, frameMinimum_, frameMaximum_);
  for (Section& section : sections_) {
    // A section registered after the statistics started begins with its own
    // first frame rather than with the placeholder extremes.
    foldValue(reset_ || section.count == 0, section.frameTime, section.count, section.total, section.minimum,
              section.maximum);
    section.frameTime = 0.0;
  }
  reset_ = false;
}

void hires_profiler::report(const ProfileReportCallback& callback) {
  for (size_t id = 0; id < sections_.size(); ++id) {
    Section& section = sections_[id];
    section.average = section.count != 0 ? section.total / section.count : 0.0;
    if (callback)
      callback(section.name, static_cast<int>(id), section.average, section.minimum, section.maximum);
  }
  frameAverage_ = frameCount_ != 0 ? frameTotal_ / frameCount_ : 0.0;
  reset_ = true;
}

void hires_profiler::getSectionStats(int id, double& average, double& minimum, double& maximum) const {
  if (!validId(id)) {
    average = minimum = maximum = 0.0;
    return;
  }
  const Section& section = sections_[static_cast<size_t>(id)];
  average = section.average;
  minimum = section.minimum;
  maximum = section.maximum;
}

void hires_profiler::getFrameStats(double& average, double& minimum, double& maximum) const {
  average = frameAverage_;
  minimum = frameMinimum_;
  maximum = frameMaximum_;
}

void registerFrameProfileSections() {
  if (mainProfiler == nullptr) {
    ownedMainProfiler = createHiresProfiler();
    mainProfiler = ownedMainProfiler.get();
  }
  FrameProfileSections& ids = frameProfileSections;
  ids.hoveredObjectPoll = mainProfiler->registerSection("Hovered object poll");
  ids.galaxyUpdate = mainProfiler->registerSection("Galaxy Update");
  ids.empireTicks = mainProfiler->registerSection("Empire Ticks");
  ids.graphicsTreeUpdate = mainProfiler->registerSection("Graphics Tree Update");
  ids.guiUpdate = mainProfiler->registerSection("GUI Update");
  ids.scriptGarbageCollect = mainProfiler->registerSection("Script Garbage Collect");
  ids.specialFxUpdate = mainProfiler->registerSection("Special FX Update");
  ids.sceneRendering = mainProfiler->registerSection("Scene Rendering");
  ids.postProcessing = mainProfiler->registerSection("Post Processing");
  ids.guiRendering = mainProfiler->registerSection("GUI Rendering");
  ids.screenPresenting = mainProfiler->registerSection("Screen Presenting");
}
