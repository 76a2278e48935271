// Time and the section profiler.
//
// HiresTimer reads the monotonic clock: "now" is the clock's count divided by
// the count frequency stored in the calling thread's ThreadLocals record, in
// seconds since the process first read the clock.
//
// A profiler accumulates, per named section, the time spent in it during the
// current frame; endFrame closes the frame and folds each section's time into
// its count, total, minimum and maximum, and the frame's own duration into the
// frame statistics. report() computes the averages and starts the statistics
// afresh from the next frame.
//
// A profiler and a timer belong to one thread at a time and take no lock.
// Threads may measure different sections of one profiler at the same time
// while nobody registers sections or ends the frame.
#pragma once

#include <irrArray.h>
#include <irrString.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/names.h"

class Timer {
 public:
  virtual ~Timer() = default;
  // Reads the clock: the delta becomes the time since the last tick.
  virtual void tick() = 0;
  virtual float getDeltaF() const = 0;
  virtual double getDelta() const = 0;
  // The time of the last tick.
  virtual float getTimeF() const = 0;
  // The clock now, without ticking.
  virtual float getNowF() const = 0;
};

class HiresTimer : public Timer {
 public:
  // The timer starts at its creation: the first tick measures from then.
  HiresTimer();
  void tick() override;
  float getDeltaF() const override { return static_cast<float>(delta_); }
  double getDelta() const override { return delta_; }
  float getTimeF() const override { return static_cast<float>(lastTime_); }
  float getNowF() const override;

 private:
  double lastTime_ = 0.0;
  double delta_ = 0.0;
};

// Stores the clock frequency in the calling thread's record (threads that
// never did read it on first use) and makes a timer.
std::unique_ptr<HiresTimer> createHiresTimer();
// The calling thread's clock, in seconds.
double hiresNow();

// Called by report() once per section, in id order.
using ProfileReportCallback =
    std::function<void(const std::string& name, int id, double average, double minimum, double maximum)>;

class profiler {
 public:
  virtual ~profiler() = default;
  // The id of the section of that name, created when new (ids count from 0
  // in order of registration and stay valid for the profiler's life).
  virtual int registerSection(const char* name) = 0;
  virtual void beginSection(int id) = 0;
  virtual void endSection(int id) = 0;
  virtual void tickTimer() = 0;
  virtual void endFrame() = 0;
  // Computes the averages, calls `callback` (when set) per section, and
  // makes the next endFrame start the statistics afresh.
  virtual void report(const ProfileReportCallback& callback) = 0;
  // The values as the last report and endFrame left them (0 for an unknown id).
  virtual void getSectionStats(int id, double& average, double& minimum, double& maximum) const = 0;
  virtual void getFrameStats(double& average, double& minimum, double& maximum) const = 0;
};

class hires_profiler : public profiler {
 public:
  hires_profiler();

  int registerSection(const char* name) override;
  void beginSection(int id) override;
  void endSection(int id) override;
  void tickTimer() override;
  void endFrame() override;
  void report(const ProfileReportCallback& callback) override;
  void getSectionStats(int id, double& average, double& minimum, double& maximum) const override;
  void getFrameStats(double& average, double& minimum, double& maximum) const override;

  // Frames folded in since the statistics last started afresh.
  unsigned frameCount() const { return frameCount_; }
  unsigned sectionCount() const { return static_cast<unsigned>(sections_.size()); }

 private:
  struct Section {
    double frameTime = 0.0;  // time spent in the current frame
    double total = 0.0;
    unsigned count = 0;
    double minimum = 1e9;
    double maximum = 1e9;
    double average = 0.0;
    double start = 0.0;  // start of the running measurement
    std::string name;
  };

  bool validId(int id) const { return id >= 0 && static_cast<size_t>(id) < sections_.size(); }

  irr::core::array<NamedVar<int, irr::core::stringc>> sectionIndex_;
  std::vector<Section> sections_;
  std::unique_ptr<HiresTimer> timer_;
  unsigned frameCount_ = 0;
  double frameAverage_ = 0.0;
  double frameMinimum_ = 0.0;
  double frameMaximum_ = 0.0;
  double frameTotal_ = 0.0;
  bool reset_ = true;
};

std::unique_ptr<hires_profiler> createHiresProfiler();

// Guards the profilers that other threads report into (the galaxy workers'
// shared profiler) while a readout reads them.
class Mutex;
Mutex& globalProfilerLock();

// The main thread's frame profiler (created at start-up; see
// registerFrameProfileSections).
extern hires_profiler* mainProfiler;

// Section ids of the frame phases on the main profiler (-1 until registered).
struct FrameProfileSections {
  int hoveredObjectPoll = -1;
  int galaxyUpdate = -1;
  int empireTicks = -1;
  int graphicsTreeUpdate = -1;
  int guiUpdate = -1;
  int scriptGarbageCollect = -1;
  int specialFxUpdate = -1;
  int sceneRendering = -1;
  int postProcessing = -1;
  int guiRendering = -1;
  int screenPresenting = -1;
};
extern FrameProfileSections frameProfileSections;

// Registers the eleven frame phases on mainProfiler (creating it when it does
// not exist yet) and stores their ids in frameProfileSections.
void registerFrameProfileSections();
