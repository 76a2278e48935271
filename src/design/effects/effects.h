// Effects: named, data-defined bundles of hooks. Each hook names a native
// effect function or a server-script function and fires at a fixed moment
// in the life of whatever uses the effect (a sub-system becoming active, a
// tick, a hit). Effects are read from "Game Data/Effects/" and live in a
// registry for the whole session.
#pragma once

#include <cstdint>
#include <list>

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"
#include "design/effects/function_registries.h"

class generic_object;
class SysRef;
class ScriptString;
class effect_handler;

// The state a hook leaves in its event, read by the caller afterwards.
enum EventState : uint32_t {
  ESC_NOCHANGE = 0,
  ESC_DISABLE = 1,
  ESC_SKIP = 2,
};

// Kinds of template argument, with the names that messages use for them.
enum TemplateArgKind : uint32_t {
  TAK_StateName = 0,  // "State Name": a resource name (a counted script string)
  TAK_ValueName = 1,  // "Value Name": an index into the effect's values
  TAK_Number = 2,     // "Number": a float
};
const char* templateArgKindName(uint32_t kind);

// One argument of a hook's bracketed list. The value is pointer-sized: a
// "State Name" holds a string pointer.
struct templateArg {
  union {
    ScriptString* string;
    uint32_t index;
    float number;
    uintptr_t raw;
  } value;
  uint32_t kind;
};
// Drops the string of every "State Name" argument and empties the list.
void releaseTemplateArgs(TemplateArgList& args);

// The value block of one use of an effect: the effect, then its four values
// in value-index order.
struct effect_data {
  const effect_handler* effect = nullptr;
  float values[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// The event a hook is called with.
class EffectEvent {
 public:
  // Takes a reference on `obj`, and on `target` unless it is null or `obj`.
  EffectEvent(generic_object* obj, generic_object* target, float time);
  ~EffectEvent();
  EffectEvent(const EffectEvent&) = delete;
  EffectEvent& operator=(const EffectEvent&) = delete;

  generic_object* obj;
  generic_object* target;
  uint32_t state = ESC_NOCHANGE;
  uint32_t sourceKind = 0;  // 1 when `source` is set
  uint32_t destKind = 0;    // 1 when `dest` is set
  SysRef* source = nullptr;
  SysRef* dest = nullptr;
  float time;  // the seconds of this call; the amount for damage hooks
  float custom = 0.0f;
  uint32_t flags = 0;
};

// Evaluates an argument against an event and a value block: a "State Name"
// is the available amount of that resource on the event's object (its
// state created when absent), a "Value Name" the value of that index, a
// "Number" itself; anything else 0.
float evaluateTemplateArg(const templateArg& arg, EffectEvent* event, const effect_data* values);

// The native effect functions (TemplateApply, PlainApply) and their
// registries: function_registries.h.

// Hook kinds, by virtual slot and flag bit.
enum EffectHookKind : unsigned {
  EH_OnActive = 0,
  EH_OnDeactive,
  EH_OnConstruct,
  EH_OnDestruct,
  EH_Once,
  EH_Tick,
  EH_OnGlobalDamage,
  EH_OnDamage,
  EH_COUNT
};

class effect_handler {
 public:
  virtual ~effect_handler() = default;
  virtual void OnActive(EffectEvent* event, effect_data* values) = 0;
  virtual void OnDeactive(EffectEvent* event, effect_data* values) = 0;
  virtual void OnConstruct(EffectEvent* event, effect_data* values) = 0;
  virtual void OnDestruct(EffectEvent* event, effect_data* values) = 0;
  virtual void Once(EffectEvent* event, effect_data* values) = 0;
  virtual void Tick(EffectEvent* event, effect_data* values) = 0;
  virtual void OnGlobalDamage(EffectEvent* event, effect_data* values) = 0;
  virtual void OnDamage(EffectEvent* event, effect_data* values) = 0;

  // The value names in declaration order (index = position), at most 4.
  std::list<irr::core::stringw> valueNames;
  // Bit k set when the hook of slot k is defined.
  uint16_t hookFlags = 0;
};

// One hook of an effect.
struct effectHook {
  union {
    TemplateApply templateApply;
    PlainApply plainApply;
    int scriptFunction;
  } function{};
  bool isInternal = false;
  bool hasTemplateArgs = false;
  bool enabled = false;
  TemplateArgList args;
};

// The effect of the data files: one hook record per hook kind.
class effect_generic : public effect_handler {
 public:
  effect_generic() = default;
  ~effect_generic() override;
  void OnActive(EffectEvent* event, effect_data* values) override;
  void OnDeactive(EffectEvent* event, effect_data* values) override;
  void OnConstruct(EffectEvent* event, effect_data* values) override;
  void OnDestruct(EffectEvent* event, effect_data* values) override;
  void Once(EffectEvent* event, effect_data* values) override;
  void Tick(EffectEvent* event, effect_data* values) override;
  void OnGlobalDamage(EffectEvent* event, effect_data* values) override;
  void OnDamage(EffectEvent* event, effect_data* values) override;

  effectHook hooks[EH_COUNT];
};

// Runs a hook: a native with its arguments (or without), or a server-script
// function on the calling thread's own contexts. Nothing when not enabled.
void dispatchEffectHook(const effectHook& hook, EffectEvent* event, effect_data* values);

// The effect registry.
NamedVar<effect_handler*>::Registry& effectRegistry();
// Reads one effect file into the registry.
void loadEffects(const irr::core::stringc& path);
// Position of `name` among the effect's value names, or -1.
int findEffectValueIndex(const effect_handler& effect, const irr::core::stringw& name);
// Index of the effect named `name` in the registry, or -1.
irr::s32 findEffectIndex(const irr::core::stringw& name);
// Deletes every effect (session end).
void clearEffects();

// An effect that lasts a while on its target.
class timed_effect {
 public:
  // Copies `values`, makes the event (obj, target, time 0) and runs
  // OnActive at once when there is no delay. A null effect disables it.
  timed_effect(const effect_data& values, generic_object* obj, generic_object* target, float duration,
               float delay, SysRef* source, SysRef* dest);

  static void* operator new(size_t size);
  static void operator delete(void* memory);

  // Advances the effect by `dt`; true once it has ended.
  bool tick(float dt);

  effect_data data;
  EffectEvent event;
  float duration;
  float delay;
  float accumulator = 0.0f;
};
// Timed effects taken from their pool and not yet given back.
unsigned timedEffectsInUse();
