// Calling the functions of an effector definition: the template arguments
// of the natives, one target-function entry, the "CanAttack" filter and the
// "AutoAttack" weight, and the "OnFire" and "Tick" entries.
//
// Script functions run on the calling thread's contexts: the one the thread
// keeps prepared for the function, or (when that one is busy further up the
// stack) a pooled context, given back once the call has run.
#include <angelscript.h>

#include "design/effectors/effector.h"
#include "script/script_contexts.h"
#include "universe/objects/game_object.h"
#include "universe/objects/object_states.h"

using namespace AngelScript;

namespace {

// The arguments of a script effector function ("float f(const Object@,
// const Object@, const Effector@)", "void f(Event@, const Effector@,
// EffectorState@)").
constexpr asUINT kScriptArguments = 3;

// A prepared context for the entry's script function, or null (no server
// engine, or the function cannot be prepared). The function must take the
// three arguments: anything else is not called.
asIScriptContext* scriptContextFor(const TargetWeigher& entry, bool& fromPool) {
  const asIScriptFunction* function = entry.function.script;
  if (function == nullptr || function->GetParamCount() != kScriptArguments)
    return nullptr;
  return getPreparedScriptContext(function->GetId(), fromPool);
}

// Handle arguments: the context adds a reference to each object it is
// given, and the called function drops it again when it returns.
float callScriptTarget(const TargetWeigher& entry, const generic_object* source, const generic_object* target,
                       const effector* eff) {
  bool fromPool = false;
  asIScriptContext* context = scriptContextFor(entry, fromPool);
  if (context == nullptr)
    return 0.0f;
  context->SetArgObject(0, const_cast<generic_object*>(source));
  context->SetArgObject(1, const_cast<generic_object*>(target));
  context->SetArgObject(2, const_cast<effector*>(eff));
  // A failing script (reported by the context's exception callback)
  // refuses the target.
  float weight = 0.0f;
  if (context->Execute() == asEXECUTION_FINISHED)
    weight = context->GetReturnFloat();
  if (fromPool)
    releaseScriptContext(context);
  return weight;
}

void callScriptTrigger(const EffectorFunctionRef& entry, EffectEvent* event, const effector* eff,
                       interactor_data* state) {
  bool fromPool = false;
  asIScriptContext* context = scriptContextFor(entry, fromPool);
  if (context == nullptr)
    return;
  context->SetArgObject(0, event);
  context->SetArgObject(1, const_cast<effector*>(eff));
  context->SetArgObject(2, state);
  context->Execute();
  if (fromPool)
    releaseScriptContext(context);
}

bool isNative(uint8_t kind) { return (kind & EFK_Native) != 0; }
bool takesArguments(uint8_t kind) { return (kind & (EFK_NativeWithArgs & ~EFK_Native)) != 0; }

}  // namespace

float evaluateEffectorArg(const int_templateArg& arg, EffectEvent* event, const effector* eff,
                          const interactor_data* state) {
  switch (arg.kind) {
    case EAK_String: {
      if (event == nullptr || event->obj == nullptr || arg.value.string == nullptr)
        return 0.0f;
      const State* resource = getOrAddObjectState(event->obj, *arg.value.string);
      return resource != nullptr ? getAvailable(*resource) : 0.0f;
    }
    case EAK_ValueIndex:
      if (state == nullptr)
        return 0.0f;
      return arg.value.index == 0 ? state->val1 : arg.value.index == 1 ? state->val2 : 0.0f;
    case EAK_StateIndex:
      return eff != nullptr && arg.value.index < eff->values.size() ? eff->values[arg.value.index] : 0.0f;
    case EAK_StaticValue:
      return arg.value.number;
    default:
      return 0.0f;
  }
}

float callTargetFunction(const TargetWeigher& entry, const generic_object* source, const generic_object* target,
                         const effector* eff) {
  if (isNative(entry.kind)) {
    if (takesArguments(entry.kind))
      return entry.function.targetWithArgs != nullptr ? entry.function.targetWithArgs(source, target, eff, entry.args)
                                                      : 1.0f;
    return entry.function.target != nullptr ? entry.function.target(source, target, eff) : 1.0f;
  }
  if (entry.kind == EFK_Script)
    return callScriptTarget(entry, source, target, eff);
  return 1.0f;
}

bool effectorCanTarget(const effector_def* def, const generic_object* source, const generic_object* target,
                       const effector* eff) {
  // Nothing can be aimed at without both ends; the natives need them.
  if (def == nullptr || source == nullptr || target == nullptr)
    return false;
  for (irr::u32 i = 0; i < def->canAttack.size(); ++i)
    if (!(callTargetFunction(def->canAttack[i], source, target, eff) > 0.0f))
      return false;
  return true;
}

float effectorTargetWeight(const effector_def* def, const generic_object* source, const generic_object* target,
                           const effector* eff, bool zeroWithoutWeights) {
  if (!effectorCanTarget(def, source, target, eff))
    return 0.0f;
  const irr::core::array<TargetWeigher>& weights = def->autoAttack;
  if (weights.size() == 0)
    return zeroWithoutWeights ? 0.0f : 1.0f;
  float weight = callTargetFunction(weights[0], source, target, eff);
  for (irr::u32 i = 1; i < weights.size(); ++i) {
    if (weight == 0.0f)
      return 0.0f;
    weight *= callTargetFunction(weights[i], source, target, eff);
  }
  return weight;
}

void effector::trigger(const EffectorFunctionRef& entry, EffectEvent* event, const effector* eff,
                       interactor_data* state) {
  if (isNative(entry.kind)) {
    if (takesArguments(entry.kind)) {
      if (entry.function.fireWithArgs != nullptr)
        entry.function.fireWithArgs(event, eff, state, entry.args);
    } else if (entry.function.fire != nullptr) {
      entry.function.fire(event, eff, state);
    }
  } else if (entry.kind == EFK_Script) {
    callScriptTrigger(entry, event, eff, state);
  }
}
