#include "design/effects/effects.h"

#include <angelscript.h>

#include <atomic>

#include "script/script_contexts.h"
#include "script/script_string.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_pools.h"
#include "universe/objects/object_states.h"

using namespace AngelScript;

namespace {

constexpr unsigned kMaxEffectValues = 4;
// Timed effects advance in steps of this many seconds.
constexpr float kTimedEffectStep = 0.25f;

const char* const kTemplateArgKindNames[] = {"State Name", "Value Name", "Number"};

// Timed effects are made and ended by the thousand on every worker: one pool
// of their size for the process, and the count of those handed out.
ObjectPool& timedEffectPool() {
  static ObjectPool* pool = new ObjectPool(sizeof(timed_effect));  // for the whole process
  return *pool;
}
std::atomic<unsigned> timedEffectsOut{0};

}  // namespace

// --- Template arguments ------------------------------------------------------

const char* templateArgKindName(uint32_t kind) {
  return kind < sizeof kTemplateArgKindNames / sizeof kTemplateArgKindNames[0] ? kTemplateArgKindNames[kind]
                                                                              : "Unknown";
}

void releaseTemplateArgs(TemplateArgList& args) {
  for (irr::u32 i = 0; i < args.size(); ++i) {
    if (args[i].kind == TAK_StateName && args[i].value.string != nullptr)
      args[i].value.string->release();
  }
  args.clear();
}

float evaluateTemplateArg(const templateArg& arg, EffectEvent* event, const effect_data* values) {
  switch (arg.kind) {
    case TAK_StateName: {
      if (event == nullptr || event->obj == nullptr || arg.value.string == nullptr)
        return 0.0f;
      State* state = getOrAddObjectState(event->obj, arg.value.string->toStringw());
      return state != nullptr ? getAvailable(*state) : 0.0f;
    }
    case TAK_ValueName:
      return values != nullptr && arg.value.index < kMaxEffectValues ? values->values[arg.value.index] : 0.0f;
    case TAK_Number:
      return arg.value.number;
    default:
      return 0.0f;
  }
}

// --- Hook dispatch -----------------------------------------------------------------

namespace {

void runScriptHook(const effectHook& hook, EffectEvent* event, effect_data* values) {
  bool fromPool = false;
  asIScriptContext* context = getPreparedScriptContext(hook.function.scriptFunction, fromPool);
  if (context == nullptr)
    return;
  // The hook was bound to a declaration of exactly these parameters; the
  // count is checked anyway, so that nothing is written past the function's.
  const asIScriptFunction* function = context->GetFunction();
  const asUINT parameters = function != nullptr ? function->GetParamCount() : 0;
  if (parameters > 0)
    context->SetArgObject(0, event);
  if (hook.hasTemplateArgs) {
    for (irr::u32 i = 0; i < hook.args.size() && i + 1 < parameters; ++i)
      context->SetArgAddress(i + 1, const_cast<templateArg*>(&hook.args[i]));
  } else {
    unsigned count = 0;
    if (values != nullptr && values->effect != nullptr)
      count = static_cast<unsigned>(values->effect->valueNames.size());
    if (count > kMaxEffectValues)
      count = kMaxEffectValues;
    for (unsigned i = 0; i < count && i + 1 < parameters; ++i)
      context->SetArgFloat(i + 1, values->values[i]);
  }
  // A failing script is reported by the context's exception callback.
  context->Execute();
  if (fromPool)
    releaseScriptContext(context);
}

}  // namespace

void dispatchEffectHook(const effectHook& hook, EffectEvent* event, effect_data* values) {
  if (!hook.enabled)
    return;
  if (!hook.isInternal) {
    runScriptHook(hook, event, values);
  } else if (hook.hasTemplateArgs) {
    // Natives take the list as their checker accepted it and do not change it.
    hook.function.templateApply(event, values, const_cast<TemplateArgList&>(hook.args));
  } else {
    hook.function.plainApply(event, values);
  }
}

// --- effect_generic --------------------------------------------------------------

effect_generic::~effect_generic() {
  for (effectHook& hook : hooks)
    releaseTemplateArgs(hook.args);
}

void effect_generic::OnActive(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_OnActive], event, values);
}
void effect_generic::OnDeactive(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_OnDeactive], event, values);
}
void effect_generic::OnConstruct(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_OnConstruct], event, values);
}
void effect_generic::OnDestruct(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_OnDestruct], event, values);
}
void effect_generic::Once(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_Once], event, values);
}
void effect_generic::Tick(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_Tick], event, values);
}
void effect_generic::OnGlobalDamage(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_OnGlobalDamage], event, values);
}
void effect_generic::OnDamage(EffectEvent* event, effect_data* values) {
  dispatchEffectHook(hooks[EH_OnDamage], event, values);
}

// --- The effect registry -----------------------------------------------------------

NamedVar<effect_handler*>::Registry& effectRegistry() {
  static NamedVar<effect_handler*>::Registry registry;
  return registry;
}

int findEffectValueIndex(const effect_handler& effect, const irr::core::stringw& name) {
  int index = 0;
  for (const irr::core::stringw& value : effect.valueNames) {
    if (value == name)
      return index;
    ++index;
  }
  return -1;
}

irr::s32 findEffectIndex(const irr::core::stringw& name) {
  return NamedVar<effect_handler*>::find(effectRegistry(), name);
}

void clearEffects() {
  NamedVar<effect_handler*>::Registry& registry = effectRegistry();
  for (irr::u32 i = 0; i < registry.size(); ++i)
    delete registry[i].value;
  registry.clear();
}

// --- Events --------------------------------------------------------------------------

EffectEvent::EffectEvent(generic_object* eventObj, generic_object* eventTarget, float eventTime)
    : obj(eventObj), target(eventTarget), time(eventTime) {
  if (obj != nullptr)
    obj->grab();
  if (target != nullptr && target != obj)
    target->grab();
}

EffectEvent::~EffectEvent() {
  if (target != nullptr && target != obj)
    target->drop();
  if (obj != nullptr)
    obj->drop();
}

// --- Timed effects --------------------------------------------------------------------

timed_effect::timed_effect(const effect_data& values, generic_object* obj, generic_object* target, float length,
                           float wait, SysRef* source, SysRef* dest)
    : data(values), event(obj, target, 0.0f), duration(length), delay(wait) {
  if (source != nullptr) {
    event.sourceKind = 1;
    event.source = source;
  }
  if (dest != nullptr) {
    event.destKind = 1;
    event.dest = dest;
  }
  if (data.effect == nullptr)
    event.state = ESC_DISABLE;
  else if (delay <= 0.0f)
    const_cast<effect_handler*>(data.effect)->OnActive(&event, &data);
}

void* timed_effect::operator new(size_t size) {
  void* memory = timedEffectPool().allocate(size);
  timedEffectsOut.fetch_add(1, std::memory_order_relaxed);
  return memory;
}

void timed_effect::operator delete(void* memory) {
  if (memory == nullptr)
    return;
  timedEffectPool().free(memory);
  timedEffectsOut.fetch_sub(1, std::memory_order_relaxed);
}

bool timed_effect::tick(float dt) {
  if (event.state == ESC_DISABLE || data.effect == nullptr)
    return true;
  if (delay <= 0.0f && duration <= 0.0f)
    return true;
  auto* effect = const_cast<effect_handler*>(data.effect);
  if (delay > 0.0f) {
    if (delay > dt) {
      delay -= dt;
      return false;
    }
    dt -= delay;
    delay = 0.0f;
    effect->OnActive(&event, &data);
  }
  accumulator += dt;
  // One whole step per call at most; the rest waits in the accumulator.
  if (accumulator >= kTimedEffectStep && duration > accumulator) {
    accumulator -= kTimedEffectStep;
    duration -= kTimedEffectStep;
    event.time = kTimedEffectStep;
    effect->Tick(&event, &data);
    if (event.state == ESC_DISABLE || duration == 0.0f) {
      effect->OnDeactive(&event, &data);
      return true;
    }
    return false;
  }
  if (accumulator >= duration) {
    event.time = duration;
    duration = -1.0f;
    effect->Tick(&event, &data);
    effect->OnDeactive(&event, &data);
    return true;
  }
  return false;
}

unsigned timedEffectsInUse() { return timedEffectsOut.load(std::memory_order_relaxed); }
