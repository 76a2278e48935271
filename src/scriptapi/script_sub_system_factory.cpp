// The script's sub-system factory.
//
// Lock order: a system lock comes before the empire's areas (galaxy threads
// hold their system and then take the variables area to evaluate
// sub-systems), and the traits area comes before the variables area. So
// generateSubSystems copies the planet's condition hooks under the planet's
// system lock and the traits' hooks under the traits area first, with no
// other lock held, and only then takes the variables area, under which it
// copies the empire's own hooks and evaluates.
#include "scriptapi/script_sub_system_factory.h"

#include <angelscript.h>

#include <memory>

#include "core/named_values.h"
#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"
#include "universe/planets/planet.h"
#include "universe/planets/planet_types.h"

using namespace AngelScript;
using irr::core::stringw;

namespace {

constexpr char kFactoryType[] = "SubSystemFactory";

// The namespace of the evaluation's default set: the one-character name of
// code 1, which no data file can write.
const stringw& defaultSpace() {
  static const stringw name(L"\x01");
  return name;
}

const stringw& objectSpace() {
  static const stringw name(L"Object");
  return name;
}

float product(float a, float b) { return static_cast<float>(static_cast<double>(a) * static_cast<double>(b)); }

// The alter hooks of the planet's conditions, in condition order, copied
// under the planet's system lock; false, with nothing copied, when the
// planet is not `owner`'s.
bool collectConditionHooks(generic_object* planetObject, const empire* owner, SubSystemAlterHookList& out) {
  auto* planet = static_cast<objHabitation*>(planetObject);
  ObjectLock lock(planet);
  if (planet->getOwner() != owner)
    return false;
  for (irr::u32 i = 0; i < planet->conditions.size(); ++i) {
    const planetCondition* condition = planet->conditions[i];
    if (condition == nullptr)
      continue;
    for (const ConditionHook& hook : condition->hooks) {
      SubSystemAlterHook copy;
      copy.modeFunction = hook.modeFunctionId;
      copy.stringFunction = hook.stringFunctionId;
      copy.arguments = hook.args;
      out.push_back(copy);
    }
  }
  return true;
}

subSystem* evaluate(const SubSystemDef* def, NameSpaces& context, const SubSystemAlterHookList& hooks) {
  std::unique_ptr<subSystem> instance(new subSystem());
  def->createInstance(instance.get(), context, hooks.empty() ? nullptr : &hooks);
  return instance.release();
}

// The built-in variable `key` of the instance; 0 without it.
float builtIn(const subSystem* instance, const wchar_t* key) {
  if (instance->def == nullptr || instance->values == nullptr)
    return 0.0f;
  const irr::s32 entry = findPtrNamedVar(instance->def->variableIndex, stringw(key));
  if (entry < 0)
    return 0.0f;
  const SubSystemDef::ValueInfo* info = instance->def->variableIndex[static_cast<irr::u32>(entry)].value;
  return info != nullptr ? instance->values[info->index] : 0.0f;
}

void addToDelta(NamedVar<float>::Registry& deltas, const stringw& name, double amount) {
  NamedVar<float>& entry = NamedVar<float>::getOrAdd(deltas, name);
  entry.value = static_cast<float>(static_cast<double>(entry.value) + amount);
}

template <typename V>
void addList(NamedVar<float>::Registry& deltas, const irr::core::array<PtrNamedVar<V>>& names, const float* values,
             double sign) {
  if (values == nullptr)
    return;
  for (irr::u32 i = 0; i < names.size(); ++i)
    addToDelta(deltas, names[i].entryName(), sign * static_cast<double>(values[i]));
}

// Adds an instance's hints (with `sign`), its consumption and requirements
// (against it), then its hit points and mass.
void addInstance(NamedVar<float>::Registry& deltas, const subSystem* instance, double sign) {
  const SubSystemDef* def = instance->def;
  if (def == nullptr)
    return;
  if (instance->values != nullptr) {
    addList(deltas, def->hints, instance->hints, sign);
    addList(deltas, def->consumption, instance->consumption, -sign);
    addList(deltas, def->requirements, instance->requirements, -sign);
  }
  addToDelta(deltas, L"HP", sign * static_cast<double>(builtIn(instance, kSubSysDurabilityKey)));
  addToDelta(deltas, L"Mass", sign * static_cast<double>(builtIn(instance, kSubSysMassKey)));
}

// --- natives ---------------------------------------------------------------

ScriptSubSystemFactory* makeFactory() { return new ScriptSubSystemFactory(); }

subSystem* activeOf(const ScriptSubSystemFactory* factory) { return factory->active; }
subSystem* linkedOf(const ScriptSubSystemFactory* factory) { return factory->linked; }

uint32_t hintDeltaCount(const ScriptSubSystemFactory* factory) { return factory->hintDeltas.size(); }

ScriptString* hintDeltaName(const ScriptSubSystemFactory* factory, uint32_t index) {
  if (index >= factory->hintDeltas.size()) {
    raiseScriptException("Out-of-bounds index when getting HintName");
    return nullptr;
  }
  return new ScriptString(factory->hintDeltas[index].name);
}

float hintDelta(const ScriptSubSystemFactory* factory, uint32_t index) {
  if (index >= factory->hintDeltas.size()) {
    raiseScriptException("Out-of-bounds index when getting HintValue");
    return 0.0f;
  }
  return factory->hintDeltas[index].value;
}

template <typename Registration>
void onEachEngine(Registration registration) {
  onBothEngines([&](asIScriptEngine* engine) { registration(checked(engine)); });
}

void method(const char* declaration, const asSFuncPtr& function, asDWORD convention) {
  onEachEngine([&](auto&& engine) { engine.RegisterObjectMethod(kFactoryType, declaration, function, convention); });
}

}  // namespace

ScriptSubSystemFactory::~ScriptSubSystemFactory() {
  clearSubSystems();
  if (planet != nullptr)
    planet->drop();
}

void ScriptSubSystemFactory::release() {
  if (refCount.fetch_sub(1) == 1)
    delete this;
}

void ScriptSubSystemFactory::clearSubSystems() {
  delete active;
  delete linked;
  active = nullptr;
  linked = nullptr;
}

void ScriptSubSystemFactory::prepare(generic_object* newPlanet) {
  if (newPlanet != nullptr)
    newPlanet->grab();
  if (planet != nullptr)
    planet->drop();
  planet = newPlanet;
}

bool ScriptSubSystemFactory::generateSubSystems(const SubSystemDef* main, const SubSystemDef* linkedDef) {
  clearSubSystems();
  empire* emp = activeEmpire.load();
  if (emp == nullptr || main == nullptr)
    return false;
  // A planet of another owner is let go; the owner is read under the
  // planet's lock, which its galaxy thread holds when it changes it.
  // Copied before the variables area is taken (see the lock order above).
  SubSystemAlterHookList conditionHooks;
  if (planet != nullptr && !collectConditionHooks(planet, emp, conditionHooks)) {
    planet->drop();
    planet = nullptr;
  }
  SubSystemAlterHookList traitHooks;
  collectTraitAlterHooks(emp, traitHooks);

  empire::AreaGuard guard;
  emp->lockArea(guard, EA_Variables, true);
  NameSpaces& context = emp->spaces;
  NamedValues objectSet;
  objectSet.set(L"Scale", objectScale);
  objectSet.set(L"Size", product(objectSizeFactor, objectScale));
  NamedValues defaultSet;
  context.setSpace(&defaultSet, defaultSpace());
  context.setSpace(&objectSet, objectSpace());

  // The empire's own hooks, its traits' in trait-map order, then the
  // planet's conditions'.
  SubSystemAlterHookList hooks(emp->alterHooks.begin(), emp->alterHooks.end());
  hooks.insert(hooks.end(), traitHooks.begin(), traitHooks.end());
  hooks.insert(hooks.end(), conditionHooks.begin(), conditionHooks.end());

  bool result = true;
  if (linkedDef != nullptr) {
    defaultSet.set(L"Scale", product(linkedScale, objectScale));
    linked = evaluate(linkedDef, context, hooks);
    if (!linked->available)
      result = false;
  }
  defaultSet.set(L"Scale", product(activeScale, objectScale));
  // A linked definition that alters what it links to lends its evaluated
  // hooks to the main sub-system.
  if (linkedDef != nullptr && !linkedDef->alterHooks.empty()) {
    const irr::u32 count = std::min<irr::u32>(static_cast<irr::u32>(linkedDef->alterHooks.size()),
                                              linked->alterHooks.size());
    for (irr::u32 i = 0; i < count; ++i)
      if (linked->alterHooks[i] != nullptr)
        hooks.push_back(*linked->alterHooks[i]);
  }
  active = evaluate(main, context, hooks);
  if (!active->available)
    result = false;

  context.setSpace(nullptr, defaultSpace());
  context.setSpace(nullptr, objectSpace());
  return result;
}

void ScriptSubSystemFactory::compare(const ScriptSubSystemFactory& other, bool withLinked) {
  hintDeltas.clear();
  hintDeltas.set_sorted(true);
  if (active == nullptr && other.active == nullptr)
    return;
  const struct {
    const subSystem* instance;
    double sign;
  } parts[] = {
      {active, 1.0},
      {withLinked ? linked : nullptr, 1.0},
      {other.active, -1.0},
      {withLinked ? other.linked : nullptr, -1.0},
  };
  for (const auto& part : parts)
    if (part.instance != nullptr)
      addInstance(hintDeltas, part.instance, part.sign);
}

void registerScriptSubSystemFactory() {
  onEachEngine([](auto&& engine) { engine.RegisterObjectType(kFactoryType, 0, asOBJ_REF); });
  onEachEngine([](auto&& engine) {
    engine.RegisterObjectBehaviour(kFactoryType, asBEHAVE_ADDREF, "void f()",
                                   asMETHOD(ScriptSubSystemFactory, addRef), asCALL_THISCALL);
  });
  onEachEngine([](auto&& engine) {
    engine.RegisterObjectBehaviour(kFactoryType, asBEHAVE_RELEASE, "void f()",
                                   asMETHOD(ScriptSubSystemFactory, release), asCALL_THISCALL);
  });
  onEachEngine([](auto&& engine) {
    engine.RegisterObjectBehaviour(kFactoryType, asBEHAVE_FACTORY, "SubSystemFactory@ f()", asFUNCTION(makeFactory),
                                   asCALL_CDECL);
  });
  method("void clearSubSystems()", asMETHOD(ScriptSubSystemFactory, clearSubSystems), asCALL_THISCALL);
  method("void prepare(Planet@+)", asMETHOD(ScriptSubSystemFactory, prepare), asCALL_THISCALL);
  method("bool generateSubSystems(const subSystemDef@, const subSystemDef@)",
         asMETHOD(ScriptSubSystemFactory, generateSubSystems), asCALL_THISCALL);
  method("subSystem@ get_active() const", asFUNCTION(activeOf), asCALL_CDECL_OBJFIRST);
  method("subSystem@ get_linked() const", asFUNCTION(linkedOf), asCALL_CDECL_OBJFIRST);
  const struct {
    const char* declaration;
    int offset;
  } properties[] = {
      {"float objectScale", asOFFSET(ScriptSubSystemFactory, objectScale)},
      {"float objectSizeFactor", asOFFSET(ScriptSubSystemFactory, objectSizeFactor)},
      {"float activeScale", asOFFSET(ScriptSubSystemFactory, activeScale)},
      {"float linkedScale", asOFFSET(ScriptSubSystemFactory, linkedScale)},
  };
  for (const auto& property : properties)
    onEachEngine(
        [&](auto&& engine) { engine.RegisterObjectProperty(kFactoryType, property.declaration, property.offset); });
  method("void compare(const SubSystemFactory &in, bool)", asMETHOD(ScriptSubSystemFactory, compare),
         asCALL_THISCALL);
  method("uint get_hintDeltaCount() const", asFUNCTION(hintDeltaCount), asCALL_CDECL_OBJFIRST);
  method("string@ getHintDeltaName(uint) const", asFUNCTION(hintDeltaName), asCALL_CDECL_OBJFIRST);
  method("float getHintDelta(uint) const", asFUNCTION(hintDelta), asCALL_CDECL_OBJFIRST);
}
