#include "design/effects/function_registries.h"

#include <mutex>

#include "design/effectors/effector_functions.h"
#include "design/effects/effect_functions.h"

using irr::core::stringw;

namespace {

// --- The tables, in registration order ---

template <class V>
struct NamedNative {
  const wchar_t* name;
  V value;
};

using namespace effect_natives;
using namespace effector_natives;

const NamedNative<const TemplateFuncEntry*> kTemplateFunctions[] = {
    {L"AddAmount", &kAddAmount},
    {L"SubAmount", &kSubAmount},
    {L"AddRequire", &kAddRequire},
    {L"SubRequire", &kSubRequire},
    {L"AddMax", &kAddMax},
    {L"SubMax", &kSubMax},
    {L"AddMaxPop", &kAddMaxPop},
    {L"SubMaxPop", &kSubMaxPop},
    {L"IncSpeed", &kIncSpeed},
    {L"DecSpeed", &kDecSpeed},
    {L"AddCargoSpace", &kAddCargoSpace},
    {L"SubCargoSpace", &kSubCargoSpace},
    {L"AddShipSpace", &kAddShipSpace},
    {L"SubShipSpace", &kSubShipSpace},
    {L"IncResearch", &kIncResearch},
    {L"DecResearch", &kDecResearch},
    {L"Repair", &kRepair},
    {L"Generate", &kGenerate},
    {L"GenerateNoCargo", &kGenerateNoCargo},
    {L"Drain", &kDrain},
    {L"Produce", &kProduce},
    {L"ProduceNoCargo", &kProduceNoCargo},
};

const NamedNative<const PlainFuncEntry*> kPlainFunctions[] = {
    {L"Death", &kDeath},
    {L"Skip", &kSkip},
};

// The function pointers are read when the table is walked, not when it is
// built: the entries live in other files, whose initialisation order is
// not known here.
const NamedNative<const TargetFunction*> kTargetFilters[] = {
    {L"CanAttack", &kCanAttack},       {L"Enemy", &kEnemy},     {L"Friendly", &kFriendly},
    {L"NotFriendly", &kNotFriendly},   {L"Unowned", &kUnowned}, {L"Any", &kAny},
    {L"isPlanet", &kIsPlanet},         {L"isShip", &kIsShip},   {L"EmptyPlanet", &kEmptyPlanet},
    {L"DisabledShip", &kDisabledShip},
};

const NamedNative<const TargetFunctionWithArgsEntry*> kStorageFilters[] = {
    {L"CanStore", &kCanStore},
    {L"CanTransfer", &kCanTransfer},
};

const NamedNative<const FireFunction*> kFireFunctions[] = {
    {L"Fire", &kFire},
};

const NamedNative<const FireFunctionWithArgsEntry*> kActivationModes[] = {
    {L"Timed", &kTimed},           {L"TimedShot", &kTimedShot},           {L"Charged", &kCharged},
    {L"MultiPulse", &kMultiPulse}, {L"MultiPulseCost", &kMultiPulseCost},
};

const NamedNative<const FireFunction*> kReloadFunctions[] = {
    {L"Reload", &kReload},
};

// --- Storage ---
// Function-local, so that a test's static registrar never finds its
// registry unbuilt.

NamedVar<const TemplateFuncEntry*>::Registry& templateFunctions() {
  static NamedVar<const TemplateFuncEntry*>::Registry registry;
  return registry;
}
NamedVar<const PlainFuncEntry*>::Registry& plainFunctions() {
  static NamedVar<const PlainFuncEntry*>::Registry registry;
  return registry;
}
NamedVar<TargetFunction>::Registry& targetFunctions() {
  static NamedVar<TargetFunction>::Registry registry;
  return registry;
}
NamedVar<const TargetFunctionWithArgsEntry*>::Registry& targetFunctionsWithArgs() {
  static NamedVar<const TargetFunctionWithArgsEntry*>::Registry registry;
  return registry;
}
NamedVar<FireFunction>::Registry& fireFunctions() {
  static NamedVar<FireFunction>::Registry registry;
  return registry;
}
NamedVar<const FireFunctionWithArgsEntry*>::Registry& fireFunctionsWithArgs() {
  static NamedVar<const FireFunctionWithArgsEntry*>::Registry registry;
  return registry;
}
NamedVar<FireFunction>::Registry& tickFunctions() {
  static NamedVar<FireFunction>::Registry registry;
  return registry;
}

// Names added by test programs, by registry kind.
std::vector<std::wstring>& addedNames(NativeRegistryKind kind) {
  static std::vector<std::wstring> added[NRK_COUNT];
  return added[kind];
}

// Adds `name` to the registry at its sorted place (or finds it) and notes
// it as a test program's.
template <class V>
NamedVar<V>& addNative(typename NamedVar<V>::Registry& registry, NativeRegistryKind kind, const stringw& name) {
  const irr::u32 before = registry.size();
  NamedVar<V>& slot = NamedVar<V>::getOrAdd(registry, name);
  if (registry.size() != before)
    addedNames(kind).emplace_back(name.c_str());
  return slot;
}

template <class V, size_t N>
void enter(typename NamedVar<V>::Registry& registry, const NamedNative<V> (&table)[N]) {
  for (const NamedNative<V>& native : table)
    NamedVar<V>::getOrAdd(registry, native.name).value = native.value;
}

// For the tables that point to function pointers.
template <class V, size_t N>
void enterFunctions(typename NamedVar<V>::Registry& registry, const NamedNative<const V*> (&table)[N]) {
  for (const NamedNative<const V*>& native : table)
    NamedVar<V>::getOrAdd(registry, native.name).value = *native.value;
}

template <class V, size_t N>
std::vector<std::wstring> namesOf(const NamedNative<V> (&table)[N]) {
  std::vector<std::wstring> names;
  for (const NamedNative<V>& native : table)
    names.emplace_back(native.name);
  return names;
}

std::once_flag registration;

void fillRegistries() {
  enter(templateFunctions(), kTemplateFunctions);
  enter(plainFunctions(), kPlainFunctions);
  enterFunctions(targetFunctions(), kTargetFilters);
  enter(targetFunctionsWithArgs(), kStorageFilters);
  enterFunctions(fireFunctions(), kFireFunctions);
  enter(fireFunctionsWithArgs(), kActivationModes);
  enterFunctions(tickFunctions(), kReloadFunctions);
  // getOrAdd inserts in order, so this only confirms the sorted state that
  // every later lookup relies on.
  templateFunctions().sort();
  plainFunctions().sort();
  targetFunctions().sort();
  targetFunctionsWithArgs().sort();
  fireFunctions().sort();
  fireFunctionsWithArgs().sort();
  tickFunctions().sort();
}

}  // namespace

void registerNativeFunctions() { std::call_once(registration, fillRegistries); }

const NamedVar<const TemplateFuncEntry*>::Registry& templateFunctionRegistry() {
  registerNativeFunctions();
  return templateFunctions();
}

const NamedVar<const PlainFuncEntry*>::Registry& plainFunctionRegistry() {
  registerNativeFunctions();
  return plainFunctions();
}

const NamedVar<TargetFunction>::Registry& targetFunctionRegistry() {
  registerNativeFunctions();
  return targetFunctions();
}

const NamedVar<const TargetFunctionWithArgsEntry*>::Registry& targetFunctionWithArgsRegistry() {
  registerNativeFunctions();
  return targetFunctionsWithArgs();
}

const NamedVar<FireFunction>::Registry& fireFunctionRegistry() {
  registerNativeFunctions();
  return fireFunctions();
}

const NamedVar<const FireFunctionWithArgsEntry*>::Registry& fireFunctionWithArgsRegistry() {
  registerNativeFunctions();
  return fireFunctionsWithArgs();
}

const NamedVar<FireFunction>::Registry& tickFunctionRegistry() {
  registerNativeFunctions();
  return tickFunctions();
}

std::vector<std::wstring> builtinFunctionNames(NativeRegistryKind kind) {
  switch (kind) {
    case NRK_EffectTemplate:
      return namesOf(kTemplateFunctions);
    case NRK_EffectPlain:
      return namesOf(kPlainFunctions);
    case NRK_TargetFilter:
      return namesOf(kTargetFilters);
    case NRK_StorageFilter:
      return namesOf(kStorageFilters);
    case NRK_Fire:
      return namesOf(kFireFunctions);
    case NRK_ActivationMode:
      return namesOf(kActivationModes);
    case NRK_Reload:
      return namesOf(kReloadFunctions);
    default:
      return {};
  }
}

std::vector<std::wstring> addedFunctionNames(NativeRegistryKind kind) {
  return kind < NRK_COUNT ? addedNames(kind) : std::vector<std::wstring>();
}

RegisterTemplateFunction::RegisterTemplateFunction(const wchar_t* name, const TemplateFuncEntry* entry) {
  addNative<const TemplateFuncEntry*>(templateFunctions(), NRK_EffectTemplate, name).value = entry;
}

RegisterPlainFunction::RegisterPlainFunction(const wchar_t* name, const PlainFuncEntry* entry) {
  addNative<const PlainFuncEntry*>(plainFunctions(), NRK_EffectPlain, name).value = entry;
}

NamedVar<TargetFunction>& registerTargetFunction(const stringw& name) {
  return addNative<TargetFunction>(targetFunctions(), NRK_TargetFilter, name);
}

NamedVar<const TargetFunctionWithArgsEntry*>& registerTargetFunctionWithArgs(const stringw& name) {
  return addNative<const TargetFunctionWithArgsEntry*>(targetFunctionsWithArgs(), NRK_StorageFilter, name);
}

NamedVar<FireFunction>& registerFireFunction(const stringw& name) {
  return addNative<FireFunction>(fireFunctions(), NRK_Fire, name);
}

NamedVar<const FireFunctionWithArgsEntry*>& registerFireFunctionWithArgs(const stringw& name) {
  return addNative<const FireFunctionWithArgsEntry*>(fireFunctionsWithArgs(), NRK_ActivationMode, name);
}

NamedVar<FireFunction>& registerTickFunction(const stringw& name) {
  return addNative<FireFunction>(tickFunctions(), NRK_Reload, name);
}
