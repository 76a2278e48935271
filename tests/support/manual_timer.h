// The engine's timer moved by the test: real time and speed set by hand,
// never by the clock.
#pragma once

#include <irrlicht.h>

#include <atomic>

class ManualTimer : public irr::ITimer {
 public:
  irr::u32 getRealTime() const override { return realTime.load(); }
  RealTimeDate getRealTimeAndDate() const override { return RealTimeDate(); }
  irr::u32 getTime() const override { return realTime.load(); }
  void setTime(irr::u32 time) override { realTime = time; }
  void stop() override {}
  void start() override {}
  void setSpeed(irr::f32 value) override { speed = value; }
  irr::f32 getSpeed() const override { return speed; }
  bool isStopped() const override { return false; }
  void tick() override {}

  // Read by threads of the program while the test moves it.
  std::atomic<irr::u32> realTime{5000000};  // past an hour
  irr::f32 speed = 1.0f;
};
