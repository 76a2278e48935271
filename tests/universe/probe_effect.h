// An effect for tests that notes every hook call (with the event's time and
// destination and the test's current tick) and runs an action chosen by its
// label.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "design/effects/effects.h"

namespace probetest {

struct HookCall {
  std::string label;
  EffectHookKind kind;
  float time;
  SysRef* dest;
  int tick;
};
// What the probes saw, in order; tests clear it.
inline std::vector<HookCall> calls;
// Set by the test as it steps: noted with each call.
inline int currentTick = 0;
// What a probe does besides noting the call, by label.
inline std::map<std::string, std::function<void(EffectHookKind, EffectEvent&)>> actions;

class Probe : public effect_handler {
 public:
  Probe(std::string label, uint16_t flags) : label_(std::move(label)) { hookFlags = flags; }
  void OnActive(EffectEvent* event, effect_data*) override { note(EH_OnActive, *event); }
  void OnDeactive(EffectEvent* event, effect_data*) override { note(EH_OnDeactive, *event); }
  void OnConstruct(EffectEvent* event, effect_data*) override { note(EH_OnConstruct, *event); }
  void OnDestruct(EffectEvent* event, effect_data*) override { note(EH_OnDestruct, *event); }
  void Once(EffectEvent* event, effect_data*) override { note(EH_Once, *event); }
  void Tick(EffectEvent* event, effect_data*) override { note(EH_Tick, *event); }
  void OnGlobalDamage(EffectEvent* event, effect_data*) override { note(EH_OnGlobalDamage, *event); }
  void OnDamage(EffectEvent* event, effect_data*) override { note(EH_OnDamage, *event); }

 private:
  void note(EffectHookKind kind, EffectEvent& event) {
    calls.push_back({label_, kind, event.time, event.dest, currentTick});
    const auto action = actions.find(label_);
    if (action != actions.end())
      action->second(kind, event);
  }
  std::string label_;
};

}  // namespace probetest
