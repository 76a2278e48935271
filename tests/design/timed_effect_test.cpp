// Timed effects: the delay, the 0.25-second steps, the end, and their pool.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "design/effects/effects.h"
#include "universe/objects/game_object.h"

namespace timed_effect_test {

namespace {

// One hook call as the effect saw it.
struct Call {
  std::string hook;
  float time;
  bool operator==(const Call& other) const { return hook == other.hook && std::abs(time - other.time) < 1e-5f; }
};
std::ostream& operator<<(std::ostream& out, const Call& call) { return out << call.hook << "@" << call.time; }

class RecordingEffect : public effect_handler {
 public:
  void OnActive(EffectEvent* event, effect_data* values) override { note("OnActive", event, values); }
  void OnDeactive(EffectEvent* event, effect_data* values) override { note("OnDeactive", event, values); }
  void OnConstruct(EffectEvent* event, effect_data* values) override { note("OnConstruct", event, values); }
  void OnDestruct(EffectEvent* event, effect_data* values) override { note("OnDestruct", event, values); }
  void Once(EffectEvent* event, effect_data* values) override { note("Once", event, values); }
  void Tick(EffectEvent* event, effect_data* values) override {
    note("Tick", event, values);
    if (disableOnTick)
      event->state = ESC_DISABLE;
  }
  void OnGlobalDamage(EffectEvent* event, effect_data* values) override { note("OnGlobalDamage", event, values); }
  void OnDamage(EffectEvent* event, effect_data* values) override { note("OnDamage", event, values); }

  std::vector<Call> take() {
    std::vector<Call> out;
    out.swap(calls);
    return out;
  }

  bool disableOnTick = false;
  // Every call must pass the timed effect's own event and its copy of the values.
  const timed_effect* expectedHolder = nullptr;

 private:
  void note(const char* hook, EffectEvent* event, effect_data* values) {
    calls.push_back({hook, event->time});
    if (expectedHolder != nullptr) {
      EXPECT_EQ(event, &expectedHolder->event);
      EXPECT_EQ(values, &expectedHolder->data);
    }
  }
  std::vector<Call> calls;
};

class PlainObject : public generic_object {
 public:
  PlainObject() : generic_object(nullptr, nullptr, nullptr) {}
};

effect_data valuesOf(const effect_handler* effect) {
  effect_data values;
  values.effect = effect;
  values.values[0] = 3.0f;
  return values;
}

struct Step {
  float dt;
  std::vector<Call> calls;
  bool ended;
};

struct TimedCase {
  const char* label;
  float delay;
  float duration;
  bool disableOnTick;
  std::vector<Call> atStart;
  std::vector<Step> steps;
};

TEST(TimedEffect, StepsThroughItsLife) {
  const TimedCase cases[] = {
      {"a delay, then steps, then the rest",
       0.1f,
       0.6f,
       false,
       {},
       {{0.25f, {{"OnActive", 0.0f}}, false},  // accumulator 0.15
        {0.25f, {{"Tick", 0.25f}}, false},     // accumulator 0.15, duration 0.35
        {0.25f, {{"Tick", 0.35f}, {"OnDeactive", 0.35f}}, true}}},
      {"a delay longer than a tick waits", 0.5f, 0.25f, false, {},
       {{0.25f, {}, false},
        {0.25f, {{"OnActive", 0.0f}}, false},
        {0.25f, {{"Tick", 0.25f}, {"OnDeactive", 0.25f}}, true}}},
      {"no delay: active at once", 0.0f, 1.0f, false, {{"OnActive", 0.0f}},
       {{0.1f, {}, false}, {0.2f, {{"Tick", 0.25f}}, false}}},
      {"one step a call, however long the tick", 0.0f, 2.0f, false, {{"OnActive", 0.0f}},
       {{1.0f, {{"Tick", 0.25f}}, false}, {0.0f, {{"Tick", 0.25f}}, false}}},
      {"a tick that disables ends the effect", 0.0f, 2.0f, true, {{"OnActive", 0.0f}},
       {{0.25f, {{"Tick", 0.25f}, {"OnDeactive", 0.25f}}, true}}},
      {"no duration ends without a call", 0.0f, 0.0f, false, {{"OnActive", 0.0f}}, {{0.25f, {}, true}}},
  };
  for (const TimedCase& c : cases) {
    SCOPED_TRACE(c.label);
    RecordingEffect effect;
    effect.disableOnTick = c.disableOnTick;
    PlainObject* ship = new PlainObject;
    auto* timed = new timed_effect(valuesOf(&effect), ship, ship, c.duration, c.delay, nullptr, nullptr);
    effect.expectedHolder = timed;
    EXPECT_EQ(effect.take(), c.atStart);
    EXPECT_EQ(timed->data.values[0], 3.0f);
    int step = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE(step++);
      EXPECT_EQ(timed->tick(s.dt), s.ended);
      EXPECT_EQ(effect.take(), s.calls);
    }
    delete timed;
    ship->drop();
  }
}

TEST(TimedEffect, TheFirstCaseLeavesItsFiguresAsStated) {
  RecordingEffect effect;
  PlainObject* ship = new PlainObject;
  timed_effect timed(valuesOf(&effect), ship, ship, 0.6f, 0.1f, nullptr, nullptr);
  timed.tick(0.25f);
  EXPECT_FLOAT_EQ(timed.accumulator, 0.15f);
  EXPECT_EQ(timed.delay, 0.0f);
  timed.tick(0.25f);
  EXPECT_FLOAT_EQ(timed.accumulator, 0.15f);
  EXPECT_FLOAT_EQ(timed.duration, 0.35f);
  timed.tick(0.25f);
  EXPECT_EQ(timed.duration, -1.0f);
  ship->drop();
}

TEST(TimedEffect, WithoutAnEffectItIsDisabledFromTheStart) {
  timed_effect timed(valuesOf(nullptr), nullptr, nullptr, 1.0f, 0.0f, nullptr, nullptr);
  EXPECT_EQ(timed.event.state, ESC_DISABLE);
  EXPECT_TRUE(timed.tick(0.25f));
}

TEST(TimedEffect, ItsEventCarriesObjectsAndSubSystems) {
  RecordingEffect effect;
  PlainObject* ship = new PlainObject;
  PlainObject* planet = new PlainObject;
  SysRef* source = reinterpret_cast<SysRef*>(0x1000);
  {
    timed_effect timed(valuesOf(&effect), ship, planet, 1.0f, 1.0f, source, nullptr);
    EXPECT_EQ(timed.event.obj, ship);
    EXPECT_EQ(timed.event.target, planet);
    EXPECT_EQ(ship->refCount.load(), 2);
    EXPECT_EQ(planet->refCount.load(), 2);
    EXPECT_EQ(timed.event.sourceKind, 1u);
    EXPECT_EQ(timed.event.source, source);
    EXPECT_EQ(timed.event.destKind, 0u);
    EXPECT_EQ(timed.event.time, 0.0f);
  }
  EXPECT_EQ(ship->refCount.load(), 1);
  EXPECT_EQ(planet->refCount.load(), 1);
  ship->drop();
  planet->drop();
}

TEST(TimedEffect, ThePoolCountsWhatIsOut) {
  RecordingEffect effect;
  const unsigned before = timedEffectsInUse();
  std::vector<timed_effect*> made;
  for (int i = 0; i < 3; ++i)
    made.push_back(new timed_effect(valuesOf(&effect), nullptr, nullptr, 1.0f, 1.0f, nullptr, nullptr));
  EXPECT_EQ(timedEffectsInUse(), before + 3);
  delete made[1];
  EXPECT_EQ(timedEffectsInUse(), before + 2);
  // The freed element serves the next request.
  timed_effect* again = new timed_effect(valuesOf(&effect), nullptr, nullptr, 1.0f, 1.0f, nullptr, nullptr);
  EXPECT_EQ(again, made[1]);
  delete again;
  delete made[0];
  delete made[2];
  EXPECT_EQ(timedEffectsInUse(), before);
}

}  // namespace

}  // namespace timed_effect_test
