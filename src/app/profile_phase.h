// Times one frame phase on the main frame profiler for the life of the
// object. Nothing happens without a profiler or with an unregistered phase.
#pragma once

#include "core/timer.h"

class ProfilePhase {
 public:
  explicit ProfilePhase(int section) : section_(section) {
    if (mainProfiler != nullptr)
      mainProfiler->beginSection(section_);
  }
  ~ProfilePhase() {
    if (mainProfiler != nullptr)
      mainProfiler->endSection(section_);
  }
  ProfilePhase(const ProfilePhase&) = delete;
  ProfilePhase& operator=(const ProfilePhase&) = delete;

 private:
  int section_;
};
