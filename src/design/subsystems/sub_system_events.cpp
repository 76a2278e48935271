// The events by which a placed sub-system acts on the object that carries
// it, and its per-tick step.
//
// A sub-system acts through the hooks of its provisions and the tick
// functions of its effectors, and it ties up or uses up the object's
// resource states: its requirements are reserved (added to `required`)
// while it runs, its consumption is taken from `val` every tick. The owner
// keeps the running state in its record of the sub-system (`SysRef`): 0
// running, 2 disabled for lack of resources or by a hook's veto.
//
// A hook vetoes by setting its event's state to ESC_DISABLE (the stop
// flag). A pass that switches a sub-system on provision by provision and
// meets a veto undoes what it did: each provision whose OnActive completed
// in that pass gets its OnDeactive (in provision order), so that an
// OnActive that adds (a capacity, cargo space) does not pile up over the
// retries of a disabled sub-system. The provision that vetoed in its own
// OnActive gets none, and the requirements were never reserved.
//
// Runs on the thread that ticks the carrying object, which alone touches
// the instance, the record and the object's states meanwhile.
#include "design/subsystems/sub_system.h"

#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

namespace {

// Event time of the one-shot events (built, switched, constructed,
// destroyed).
constexpr float kOneShotTime = 1.0f;

bool hasHook(const subSystem* instance, EffectHookKind kind) { return subSystemHasHook(instance, kind); }

bool stopped(const EffectEvent& event) { return event.state == ESC_DISABLE; }

// The instance can act: it has a definition to read its lists from.
bool usable(const subSystem* instance) { return instance != nullptr && instance->def != nullptr; }

void setRunningState(SysRef* record, uint32_t state) {
  if (record != nullptr)
    record->state = state;
}

// Requirements and consumption entries: the definition's names, the
// instance's values (a null view stands for an empty list).
irr::u32 requirementCount(const subSystem* instance) {
  return instance->requirements != nullptr ? instance->def->requirements.size() : 0;
}
irr::u32 consumptionCount(const subSystem* instance) {
  return instance->consumption != nullptr ? instance->def->consumption.size() : 0;
}
State* requirementState(const subSystem* instance, generic_object* object, irr::u32 index) {
  return getOrAddObjectState(object, instance->def->requirements[index].entryName());
}
State* consumptionState(const subSystem* instance, generic_object* object, irr::u32 index) {
  return getOrAddObjectState(object, instance->def->consumption[index].entryName());
}

// Adds each requirement amount to `required` (sign -1 releases them).
void reserveRequirements(const subSystem* instance, generic_object* object, float sign) {
  for (irr::u32 i = 0; i < requirementCount(instance); ++i) {
    State* state = requirementState(instance, object, i);
    state->value.required += sign * instance->requirements[i];
  }
}

// Runs one hook of a provision. The definitions share their effects
// read-only; the hooks change only the event, the value block and the
// objects. A provision without an effect does nothing.
void callHook(effect_data& provision, EffectHookKind kind, EffectEvent& event) {
  auto* effect = const_cast<effect_handler*>(provision.effect);
  if (effect == nullptr)
    return;
  switch (kind) {
    case EH_OnActive:
      effect->OnActive(&event, &provision);
      break;
    case EH_OnDeactive:
      effect->OnDeactive(&event, &provision);
      break;
    case EH_OnConstruct:
      effect->OnConstruct(&event, &provision);
      break;
    case EH_OnDestruct:
      effect->OnDestruct(&event, &provision);
      break;
    case EH_Once:
      effect->Once(&event, &provision);
      break;
    case EH_Tick:
      effect->Tick(&event, &provision);
      break;
    default:
      break;
  }
}

// OnDeactive of the first `completed` provisions, in order, with the stop
// flag cleared: the undoing of an activation pass stopped by a veto.
void undoActivation(subSystem* instance, EffectEvent& event, irr::u32 completed) {
  event.state = ESC_NOCHANGE;
  for (irr::u32 i = 0; i < completed; ++i)
    callHook(instance->provisions[i], EH_OnDeactive, event);
  event.state = ESC_NOCHANGE;
}

// OnActive of every provision; false, with the activation undone, when a
// hook vetoes.
bool activateProvisions(subSystem* instance, EffectEvent& event) {
  for (irr::u32 i = 0; i < instance->provisions.size(); ++i) {
    callHook(instance->provisions[i], EH_OnActive, event);
    if (stopped(event)) {
      undoActivation(instance, event, i);
      return false;
    }
  }
  return true;
}

// Runs one hook of every provision on a one-shot event.
void runHook(subSystem* instance, generic_object* object, EffectHookKind kind) {
  EffectEvent event(object, object, kOneShotTime);
  for (irr::u32 i = 0; i < instance->provisions.size(); ++i)
    callHook(instance->provisions[i], kind, event);
}

// Stops a running sub-system in its tick: disabled, its OnDeactive hooks
// run and its requirements released, and the event no longer marked as
// running or stopped.
void disable(subSystem* instance, generic_object* object, EffectEvent& event, SysRef* record) {
  setRunningState(record, SS_Disabled);
  triggerSubSysDeactive(instance, object, record);
  event.state = ESC_NOCHANGE;
  event.sourceKind = 0;
  event.source = nullptr;
}

// One tick of a running sub-system.
void tickRunning(subSystem* instance, generic_object* object, EffectEvent& event, SysRef* record) {
  event.sourceKind = 1;
  event.source = record;

  for (irr::u32 i = 0; i < requirementCount(instance); ++i) {
    if (getAvailable(*requirementState(instance, object, i)) < 0.0f) {
      disable(instance, object, event, record);
      return;
    }
  }

  const irr::u32 consumed = consumptionCount(instance);
  for (irr::u32 i = 0; i < consumed; ++i) {
    State* state = consumptionState(instance, object, i);
    const float amount = instance->consumption[i] * event.time;
    if (getAvailable(*state) < amount) {
      // Given back before the OnDeactive hooks run, so that they see the
      // states as they were before this tick.
      for (irr::u32 earlier = 0; earlier < i; ++earlier)
        consumptionState(instance, object, earlier)->value.val += instance->consumption[earlier] * event.time;
      disable(instance, object, event, record);
      return;
    }
    state->value.val -= amount;
  }

  if (hasHook(instance, EH_Tick)) {
    for (irr::u32 i = 0; i < instance->provisions.size(); ++i) {
      callHook(instance->provisions[i], EH_Tick, event);
      if (stopped(event)) {
        disable(instance, object, event, record);
        return;
      }
    }
  }

  for (irr::u32 i = 0; i < instance->effectors.size(); ++i) {
    const effector& eff = instance->effectors[i];
    if (eff.def == nullptr)
      continue;
    // A record without effector states (none made for it) ticks against a
    // scratch state rather than none.
    interactor_data scratch;
    interactor_data* state = record->effectorStates != nullptr ? &record->effectorStates[i] : &scratch;
    effector::trigger(eff.def->tick, &event, &eff, state);
    if (stopped(event)) {
      disable(instance, object, event, record);
      return;
    }
  }
}

// One tick of a disabled sub-system: it runs again once every requirement
// and a second's worth of every consumption entry are available, unless an
// OnActive hook vetoes.
void tickDisabled(subSystem* instance, generic_object* object, EffectEvent& event, SysRef* record) {
  for (irr::u32 i = 0; i < requirementCount(instance); ++i)
    if (getAvailable(*requirementState(instance, object, i)) < instance->requirements[i])
      return;
  for (irr::u32 i = 0; i < consumptionCount(instance); ++i)
    if (getAvailable(*consumptionState(instance, object, i)) < instance->consumption[i])
      return;

  if (hasHook(instance, EH_OnActive) && !activateProvisions(instance, event))
    return;

  reserveRequirements(instance, object, 1.0f);
  event.state = ESC_NOCHANGE;
  setRunningState(record, SS_Active);
}

}  // namespace

void triggerSubSysBuilt(subSystem* instance, generic_object* object, SysRef* record) {
  if (!usable(instance) || object == nullptr)
    return;
  EffectEvent event(object, object, kOneShotTime);
  for (irr::u32 i = 0; i < instance->provisions.size(); ++i) {
    effect_data& provision = instance->provisions[i];
    // Provisions whose OnActive completed in this pass: the earlier ones,
    // and this one once its OnActive has run without a veto.
    irr::u32 activated = i;
    callHook(provision, EH_OnConstruct, event);
    if (!stopped(event)) {
      callHook(provision, EH_OnActive, event);
      if (!stopped(event)) {
        activated = i + 1;
        callHook(provision, EH_Once, event);
      }
    }
    if (stopped(event)) {
      undoActivation(instance, event, activated);
      setRunningState(record, SS_Disabled);
      return;
    }
  }
  reserveRequirements(instance, object, 1.0f);
}

void triggerSubSysActive(subSystem* instance, generic_object* object, SysRef* record) {
  if (!usable(instance) || object == nullptr)
    return;
  if (hasHook(instance, EH_OnActive)) {
    EffectEvent event(object, object, kOneShotTime);
    if (!activateProvisions(instance, event)) {
      setRunningState(record, SS_Disabled);
      return;
    }
  }
  reserveRequirements(instance, object, 1.0f);
}

void triggerSubSysDeactive(subSystem* instance, generic_object* object, SysRef*) {
  if (!usable(instance) || object == nullptr)
    return;
  if (hasHook(instance, EH_OnDeactive))
    runHook(instance, object, EH_OnDeactive);
  reserveRequirements(instance, object, -1.0f);
}

void triggerSubSysConstruct(subSystem* instance, generic_object* object, SysRef*) {
  if (!usable(instance) || object == nullptr)
    return;
  if (hasHook(instance, EH_OnConstruct))
    runHook(instance, object, EH_OnConstruct);
}

void triggerSubSysDestruct(subSystem* instance, generic_object* object, SysRef*) {
  if (!usable(instance) || object == nullptr)
    return;
  if (hasHook(instance, EH_OnDestruct))
    runHook(instance, object, EH_OnDestruct);
}

void tickPlanetSubSystems(subSystem* instance, EffectEvent& event, SysRef* record) {
  generic_object* object = event.target != nullptr ? event.target : event.obj;
  if (!usable(instance) || object == nullptr || record == nullptr)
    return;
  if (record->state == SS_Active)
    tickRunning(instance, object, event, record);
  else if (record->state == SS_Disabled)
    tickDisabled(instance, object, event, record);
}

bool subSystemHasHook(const subSystem* instance, EffectHookKind kind) {
  return instance != nullptr && instance->def != nullptr && (instance->def->effectFlags & (1u << kind)) != 0;
}

void runSubSystemDamageHooks(subSystem* instance, SysRef& record, EffectEvent& event, EffectHookKind kind,
                             bool stopOnControl) {
  if (instance == nullptr)
    return;
  event.destKind = 1;
  event.dest = &record;
  irr::core::array<effect_data>& provisions = instance->provisions;
  for (irr::u32 i = 0; i < provisions.size(); ++i) {
    auto* effect = const_cast<effect_handler*>(provisions[i].effect);
    if (effect == nullptr)
      continue;
    if (kind == EH_OnGlobalDamage)
      effect->OnGlobalDamage(&event, &provisions[i]);
    else
      effect->OnDamage(&event, &provisions[i]);
    if (stopOnControl && (event.state == ESC_DISABLE || event.state == ESC_SKIP))
      break;
  }
  event.destKind = 0;
  event.dest = nullptr;
}
