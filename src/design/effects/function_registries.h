// The seven native function registries: the name tables through which
// effect files ("Game Data/Effects/") and effector files ("Game
// Data/Effectors/") reach the program's built-in functions.
//
//   registry                           members                                      entry
//   effect functions with parameters   AddAmount ... ProduceNoCargo (22)            {apply, checker}
//   effect functions without           Death, Skip                                  {apply}
//   effector target filters            CanAttack ... DisabledShip (10)              function
//   effector storage filters           CanStore, CanTransfer                        {function, checker}
//   effector fire functions            Fire                                         function
//   effector activation modes          Timed, TimedShot, Charged, MultiPulse,       {function, checker}
//                                      MultiPulseCost
//   effector reload functions          Reload                                       function
//
// registerNativeFunctions fills all seven once per process, each in the
// order of its table, and leaves every registry sorted. The program calls
// it on the main thread before any other thread starts; from then on the
// registries are only read, so the accessors give them as const and a
// lookup (NamedVar::findNoSort) never sorts, which lets any thread look
// names up at any time. The accessors call it too, so a program that looks
// a native up before registering still finds the whole set (the call is one
// flag test once done).
//
// Test programs add natives of their own beside the program's
// (RegisterTemplateFunction, RegisterPlainFunction, register*Function): at
// static initialisation or on the main thread while no other thread reads
// the registries. Each insertion lands at its sorted place, so the
// registries stay sorted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <irrArray.h>
#include <irrString.h>

#include "core/names.h"

class EffectEvent;
struct effect_data;
struct templateArg;
struct int_templateArg;
class effector;
class generic_object;
class interactor_data;

// --- Effect functions ---

using TemplateArgList = irr::core::array<templateArg>;
using TemplateApply = void (*)(EffectEvent* event, effect_data* values, TemplateArgList& args);
// Validates the arguments of a hook that names the function, logging with
// the file name and line; true when the hook may bind.
using TemplateChecker = bool (*)(const TemplateArgList& args, const char* file, int line);
using PlainApply = void (*)(EffectEvent* event, effect_data* values);
struct TemplateFuncEntry {
  TemplateApply apply;
  TemplateChecker checker;
};
struct PlainFuncEntry {
  PlainApply apply;
};

// --- Effector functions ---

using EffectorArgList = irr::core::array<int_templateArg>;
// Target functions: the source (the effector's holder), the candidate
// target and the effector; a result of 0 or less rejects.
using TargetFunction = float (*)(const generic_object* source, const generic_object* target, const effector* eff);
using TargetFunctionWithArgs = float (*)(const generic_object* source, const generic_object* target,
                                         const effector* eff, const EffectorArgList& args);
// Activation ("OnFire") and tick functions.
using FireFunction = void (*)(EffectEvent* event, const effector* eff, interactor_data* state);
using FireFunctionWithArgs = void (*)(EffectEvent* event, const effector* eff, interactor_data* state,
                                      const EffectorArgList& args);
// Validates a native's template arguments against the file and line that
// name it, logging its own messages; false refuses the reference.
using EffectorArgChecker = bool (*)(const EffectorArgList& args, const char* file, int line);
struct TargetFunctionWithArgsEntry {
  TargetFunctionWithArgs function = nullptr;
  EffectorArgChecker checker = nullptr;
};
struct FireFunctionWithArgsEntry {
  FireFunctionWithArgs function = nullptr;
  EffectorArgChecker checker = nullptr;
};

// --- The registries ---

// Fills the seven registries (once per process; later calls return at
// once). Call it on the main thread before any other thread starts.
void registerNativeFunctions();

const NamedVar<const TemplateFuncEntry*>::Registry& templateFunctionRegistry();
const NamedVar<const PlainFuncEntry*>::Registry& plainFunctionRegistry();
const NamedVar<TargetFunction>::Registry& targetFunctionRegistry();
const NamedVar<const TargetFunctionWithArgsEntry*>::Registry& targetFunctionWithArgsRegistry();
const NamedVar<FireFunction>::Registry& fireFunctionRegistry();
const NamedVar<const FireFunctionWithArgsEntry*>::Registry& fireFunctionWithArgsRegistry();
const NamedVar<FireFunction>::Registry& tickFunctionRegistry();

// The value registered under `name`, or a null value. Never sorts.
template <class V>
V findNativeFunction(const typename NamedVar<V>::Registry& registry, const irr::core::stringw& name) {
  const irr::s32 index = NamedVar<V>::findNoSort(registry, name);
  return index < 0 ? V() : registry[static_cast<irr::u32>(index)].value;
}

// The registries by kind, in the order of their tables.
enum NativeRegistryKind : uint32_t {
  NRK_EffectTemplate = 0,
  NRK_EffectPlain,
  NRK_TargetFilter,
  NRK_StorageFilter,
  NRK_Fire,
  NRK_ActivationMode,
  NRK_Reload,
  NRK_COUNT
};
// The names that registerNativeFunctions enters in a registry, in the
// order it enters them.
std::vector<std::wstring> builtinFunctionNames(NativeRegistryKind kind);
// The names that a test program added to a registry beside those, in the
// order added (empty in the server).
std::vector<std::wstring> addedFunctionNames(NativeRegistryKind kind);

// --- Natives of test programs ---

// Static registrars: one object per function.
struct RegisterTemplateFunction {
  RegisterTemplateFunction(const wchar_t* name, const TemplateFuncEntry* entry);
};
struct RegisterPlainFunction {
  RegisterPlainFunction(const wchar_t* name, const PlainFuncEntry* entry);
};
// The slot named `name`, added when absent; the caller stores its function
// in it.
NamedVar<TargetFunction>& registerTargetFunction(const irr::core::stringw& name);
NamedVar<const TargetFunctionWithArgsEntry*>& registerTargetFunctionWithArgs(const irr::core::stringw& name);
NamedVar<FireFunction>& registerFireFunction(const irr::core::stringw& name);
NamedVar<const FireFunctionWithArgsEntry*>& registerFireFunctionWithArgs(const irr::core::stringw& name);
NamedVar<FireFunction>& registerTickFunction(const irr::core::stringw& name);
