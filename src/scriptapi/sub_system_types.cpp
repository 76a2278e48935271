#include "scriptapi/sub_system_types.h"

#include <angelscript.h>

#include <string>

#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "empire/research/web_item_desc.h"
#include "gui/script_texture.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/native_support.h"
#include "scriptapi/script_bindings.h"
#include "scriptapi/script_sub_system_factory.h"

using namespace AngelScript;

namespace {

constexpr char kDefType[] = "subSystemDef";
constexpr char kInstanceType[] = "subSystem";
constexpr char kEvalModeEnum[] = "SubSystemEvalMode";

struct EvalModeValue {
  const char* name;
  int value;
};

constexpr EvalModeValue kEvalModes[] = {
    {"SSVM_Costs", SSVM_Costs},       {"SSVM_Consumes", SSVM_Consumes},     {"SSVM_Requires", SSVM_Requires},
    {"SSVM_Hints", SSVM_Hints},       {"SSVM_Provisions", SSVM_Provisions},
};

// One named value list of an instance: where a name sits in the
// definition's list (-1 when absent), the length of that list, the
// instance's array for it, and the messages raised when the instance has no
// value block and when an index is past the list's end.
struct ValueFamily {
  irr::s32 (*position)(const SubSystemDef& def, const irr::core::stringw& name);
  irr::u32 (*count)(const SubSystemDef& def);
  float* (*array)(const subSystem& instance);
  const char* notInitialized;
  const char* outOfRange;
};

// Variables by name go through the variable registry (built-ins also by
// their short names); by index they follow the declaration order, which is
// the order of the value block.
irr::s32 variablePosition(const SubSystemDef& def, const irr::core::stringw& name) {
  const irr::s32 entry = findPtrNamedVar(def.variableIndex, name);
  if (entry < 0)
    return -1;
  const SubSystemDef::ValueInfo* info = def.variableIndex[static_cast<irr::u32>(entry)].value;
  return info != nullptr ? static_cast<irr::s32>(info->index) : -1;
}

irr::u32 variableCount(const SubSystemDef& def) { return static_cast<irr::u32>(def.variables.size()); }

float* variableArray(const subSystem& instance) { return instance.values; }

using FormulaList = PtrNamedVar<formula*>::Registry;

template <FormulaList SubSystemDef::*List>
irr::s32 listPosition(const SubSystemDef& def, const irr::core::stringw& name) {
  return findPtrNamedVar(def.*List, name);
}

template <FormulaList SubSystemDef::*List>
irr::u32 listCount(const SubSystemDef& def) {
  return (def.*List).size();
}

template <float* subSystem::*View>
float* listArray(const subSystem& instance) {
  return instance.*View;
}

constexpr ValueFamily kVariables = {
    variablePosition, variableCount, variableArray, "SubSystem Variable list not yet initialized",
    "SubSystem Variable out of range",
};
constexpr ValueFamily kCosts = {
    listPosition<&SubSystemDef::costs>, listCount<&SubSystemDef::costs>, listArray<&subSystem::costs>,
    "SubSystem Cost list not yet initialized", "SubSystem Cost out of range",
};
constexpr ValueFamily kConsumption = {
    listPosition<&SubSystemDef::consumption>, listCount<&SubSystemDef::consumption>,
    listArray<&subSystem::consumption>, "SubSystem Consume list not yet initialized",
    "SubSystem Consume out of range",
};
constexpr ValueFamily kRequirements = {
    listPosition<&SubSystemDef::requirements>, listCount<&SubSystemDef::requirements>,
    listArray<&subSystem::requirements>, "SubSystem Require list not yet initialized",
    "SubSystem Require out of range",
};
constexpr ValueFamily kHints = {
    listPosition<&SubSystemDef::hints>, listCount<&SubSystemDef::hints>, listArray<&subSystem::hints>,
    "SubSystem Hint list not yet initialized", "SubSystem Hint out of range",
};

irr::s32 positionOf(const ValueFamily& family, const subSystem* instance, const irr::core::stringw& name) {
  return instance->def != nullptr ? family.position(*instance->def, name) : -1;
}

irr::u32 countOf(const ValueFamily& family, const subSystem* instance) {
  return instance->def != nullptr ? family.count(*instance->def) : 0;
}

// Whether the instance has its value block; raises the family's message
// when it has not.
bool initialized(const ValueFamily& family, const subSystem* instance) {
  if (instance->values != nullptr)
    return true;
  raiseScriptException(family.notInitialized);
  return false;
}

// The slot of `name` in the family's array: null, with the family's
// message raised, when the instance has no value block; null without one
// when the name is absent.
float* slotByName(const ValueFamily& family, const subSystem* instance, const irr::core::stringw& name) {
  if (!initialized(family, instance))
    return nullptr;
  const irr::s32 position = positionOf(family, instance, name);
  float* array = family.array(*instance);
  if (position < 0 || array == nullptr)
    return nullptr;
  return array + position;
}

// The slot at `index`: null, with the family's message raised, when the
// instance has no value block or the index is past the list's end.
float* slotAt(const ValueFamily& family, const subSystem* instance, uint32_t index) {
  if (!initialized(family, instance))
    return nullptr;
  float* array = family.array(*instance);
  if (index >= countOf(family, instance) || array == nullptr) {
    raiseScriptException(family.outOfRange);
    return nullptr;
  }
  return array + index;
}

template <const ValueFamily& family>
bool hasValue(const subSystem* instance, const ScriptString& name) {
  return positionOf(family, instance, name.toStringw()) >= 0;
}

template <const ValueFamily& family>
float getValue(const subSystem* instance, const ScriptString& name) {
  const float* slot = slotByName(family, instance, name.toStringw());
  return slot != nullptr ? *slot : 0.0f;
}

template <const ValueFamily& family>
float getValueAt(const subSystem* instance, uint32_t index) {
  const float* slot = slotAt(family, instance, index);
  return slot != nullptr ? *slot : 0.0f;
}

template <const ValueFamily& family>
uint32_t valueCount(const subSystem* instance) {
  return initialized(family, instance) ? countOf(family, instance) : 0;
}

template <const ValueFamily& family>
void setValueAt(subSystem* instance, uint32_t index, float value) {
  if (float* slot = slotAt(family, instance, index))
    *slot = value;
}

template <const ValueFamily& family>
void setValue(subSystem* instance, const ScriptString& name, float value) {
  if (float* slot = slotByName(family, instance, name.toStringw()))
    *slot = value;
}

// The built-in variables behind the property accessors. A plain lookup: an
// instance without its value block, or a definition without the variable,
// raises the variable family's message and reads 0.0 or writes nothing.
template <const wchar_t* key>
float getBuiltIn(const subSystem* instance) {
  if (!initialized(kVariables, instance))
    return 0.0f;
  const irr::s32 position = positionOf(kVariables, instance, key);
  if (position < 0) {
    raiseScriptException(kVariables.notInitialized);
    return 0.0f;
  }
  return instance->values[position];
}

template <const wchar_t* key>
void setBuiltIn(subSystem* instance, float value) {
  if (!initialized(kVariables, instance))
    return;
  const irr::s32 position = positionOf(kVariables, instance, key);
  if (position < 0) {
    raiseScriptException(kVariables.notInitialized);
    return;
  }
  instance->values[position] = value;
}

// Registers on the server engine, then (unless `serverOnly`) the client
// engine.
template <typename Registration>
void onEngines(bool serverOnly, Registration registration) {
  onBothEngines([&](asIScriptEngine* engine, bool server) {
    if (server || !serverOnly)
      registration(engine);
  });
}

// Definitions live as long as the registry and instances as long as their
// object: scripts count neither.
void declareTypes() {
  for (const char* type : {kDefType, kInstanceType})
    registerUncountedType(type);
}

void registerMethod(const char* type, const char* declaration, const asSFuncPtr& function, bool serverOnly = false,
                    asDWORD convention = asCALL_CDECL_OBJFIRST) {
  onEngines(serverOnly, [&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod(type, declaration, function, convention);
  });
}

void registerProperty(const char* type, const char* declaration, int offset) {
  onEngines(false,
            [&](asIScriptEngine* engine) { checked(engine).RegisterObjectProperty(type, declaration, offset); });
}

void registerGlobal(const char* declaration, const asSFuncPtr& function) {
  onEngines(false, [&](asIScriptEngine* engine) {
    checked(engine).RegisterGlobalFunction(declaration, function, asCALL_CDECL);
  });
}

// --- definitions ---------------------------------------------------------

ScriptString* definitionName(const SubSystemDef* def) { return new ScriptString(def->name); }

ScriptString* definitionDescription(const SubSystemDef* def) { return new ScriptString(def->description); }

// The tag list is sorted when the definition is loaded: the search never
// sorts, so any thread may ask.
bool definitionHasTag(const SubSystemDef* def, const ScriptString& tag) {
  const irr::core::stringw text = tag.toStringw();
  if (text.empty()) {
    raiseScriptException("subSystemDef tags can never be empty strings");
    return false;
  }
  return def->hasTag(text);
}

// The build test under the object's lock; the handle's reference is given
// back once the lock is.
// The texture of the definition's material, with the caller's reference;
// null when it has none.
irr::video::ITexture* definitionImage(const SubSystemDef* def) {
  irr::video::ITexture* texture = def->appearance == nullptr ? nullptr : def->appearance->getTexture(0);
  textureHandleAddRef(texture);
  return texture;
}

bool definitionCanBuildOn(const SubSystemDef* def, generic_object* object) {
  HeldHandle<generic_object> held(object);
  if (!held)
    return false;
  ObjectLock lock(held.get());
  return def->allowsBuildOn(held.get());
}

uint32_t definitionHintCount(const SubSystemDef* def) { return def->hints.size(); }

ScriptString* definitionHintName(const SubSystemDef* def, uint32_t index) {
  if (index >= def->hints.size())
    return nullptr;
  return new ScriptString(def->hints[index].entryName());
}

uint32_t definitionTieCount(const SubSystemDef* def) { return def->ties.size(); }

const research::SWebTieDesc* tieAt(const SubSystemDef* def, uint32_t index) {
  return index < def->ties.size() ? def->ties[index] : nullptr;
}

uint32_t definitionTieLevel(const SubSystemDef* def, uint32_t index) {
  const research::SWebTieDesc* tie = tieAt(def, index);
  return tie != nullptr ? tie->level : 0;
}

const research::IWebItemDesc* definitionTie(const SubSystemDef* def, uint32_t index) {
  const research::SWebTieDesc* tie = tieAt(def, index);
  return tie != nullptr ? tie->desc : nullptr;
}

uint32_t definitionCount() { return subSystemDefRegistry.size(); }

const SubSystemDef* definitionAt(uint32_t index) {
  if (index >= subSystemDefRegistry.size()) {
    raiseScriptException("Accessed invalid Sub System Definition index");
    return nullptr;
  }
  return subSystemDefRegistry[index].value;
}

// The registry is sorted when loading ends, so the lookup never sorts: any
// thread may run it during play.
const SubSystemDef* definitionByName(const ScriptString* name) {
  if (name == nullptr) {
    raiseScriptException("Null string@ accessing sub system definition list");
    return nullptr;
  }
  const irr::s32 index = findSubSystemDefByName(name->toStringw());
  return index < 0 ? nullptr : subSystemDefRegistry[static_cast<irr::u32>(index)].value;
}

const SubSystemDef* definitionByID(uint32_t id) {
  const SubSystemDef* def = lookupSubSystemDefByID(id);
  if (def == nullptr)
    raiseScriptException("Invalid subSystemDef ID");
  return def;
}

// The name the definition of `id` is registered under (which a
// "System-Override" may have left different from its display name); null
// when no definition has the ID.
ScriptString* referenceName(uint32_t id) {
  for (irr::u32 i = 0; i < subSystemDefRegistry.size(); ++i) {
    const SubSystemDef* def = subSystemDefRegistry[i].value;
    if (def != nullptr && def->id == id)
      return new ScriptString(subSystemDefRegistry[i].entryName());
  }
  return nullptr;
}

void registerDefinitionSide() {
  registerMethod(kDefType, "string@ getName() const", asFUNCTION(definitionName));
  registerMethod(kDefType, "string@ getDescription() const", asFUNCTION(definitionDescription));
  registerMethod(kDefType, "bool hasTag(const string &) const", asFUNCTION(definitionHasTag));
  registerMethod(kDefType, "bool canBuildOn(Object@) const", asFUNCTION(definitionCanBuildOn));
  onBothEngines([](asIScriptEngine* engine, bool server) {
    if (!server)
      checked(engine).RegisterObjectMethod(kDefType, "const Texture@ getImage() const", asFUNCTION(definitionImage),
                                           asCALL_CDECL_OBJFIRST);
  });
  onBothEngines([](asIScriptEngine* engine, bool server) {
    if (!server)
      checked(engine).RegisterObjectMethod(kDefType, "uint getHintCount() const", asFUNCTION(definitionHintCount),
                                           asCALL_CDECL_OBJFIRST);
  });
  onBothEngines([](asIScriptEngine* engine, bool server) {
    if (!server)
      checked(engine).RegisterObjectMethod(kDefType, "string@ getHintName(uint) const",
                                           asFUNCTION(definitionHintName), asCALL_CDECL_OBJFIRST);
  });
  registerProperty(kDefType, "uint ID", asOFFSET(SubSystemDef, id));
  registerMethod(kDefType, "uint getTieCount() const", asFUNCTION(definitionTieCount));
  registerMethod(kDefType, "uint getTieLevel(uint) const", asFUNCTION(definitionTieLevel));
  registerMethod(kDefType, "const WebItemDesc@ getTie(uint) const", asFUNCTION(definitionTie));

  registerGlobal("uint getSubSystemCount()", asFUNCTION(definitionCount));
  registerGlobal("const subSystemDef@ getSubSystemDef(uint)", asFUNCTION(definitionAt));
  registerGlobal("const subSystemDef@ getSubSystemDefByName(const string &)", asFUNCTION(definitionByName));
  registerGlobal("const subSystemDef@ getSubSystemDefByID(uint)", asFUNCTION(definitionByID));
  registerGlobal("string@ getSubSystemReferenceName(uint)", asFUNCTION(referenceName));
}

// --- instances -----------------------------------------------------------

const SubSystemDef* instanceType(const subSystem* instance) { return instance->def; }

// Runs the triggerable effector `event` of the instance for (object,
// target) with a scratch state {a, b, 0} that is discarded afterwards.
// Nothing for a null object or a name the definition does not list.
void triggerEffector(subSystem* instance, const ScriptString& event, generic_object* object,
                     generic_object* target, float a, float b) {
  if (object == nullptr || instance->def == nullptr)
    return;
  const irr::s32 position = findPtrNamedVar(instance->def->triggerables, event.toStringw());
  if (position < 0 || static_cast<irr::u32>(position) >= instance->triggerables.size())
    return;
  const effector& eff = instance->triggerables[static_cast<irr::u32>(position)];
  if (eff.def == nullptr)
    return;
  EffectEvent effectEvent(object, target, 0.0f);  // its references go with it
  interactor_data state;
  state.val1 = a;
  state.val2 = b;
  state.word = 0;
  effector::trigger(eff.def->onFire, &effectEvent, &eff, &state);
}

template <const ValueFamily& family>
void registerFamily(const char* noun) {
  const std::string name = noun;
  const std::string declarations[] = {
      "bool has" + name + "(const string &) const", "float get" + name + "(const string &) const",
      "float get" + name + "(uint) const",          "uint get" + name + "Count()",
      "void set" + name + "(uint, float)",          "void set" + name + "(const string &, float)",
  };
  registerMethod(kInstanceType, declarations[0].c_str(), asFUNCTION(hasValue<family>));
  registerMethod(kInstanceType, declarations[1].c_str(), asFUNCTION(getValue<family>));
  registerMethod(kInstanceType, declarations[2].c_str(), asFUNCTION(getValueAt<family>));
  registerMethod(kInstanceType, declarations[3].c_str(), asFUNCTION(valueCount<family>));
  registerMethod(kInstanceType, declarations[4].c_str(), asFUNCTION(setValueAt<family>), true);
  registerMethod(kInstanceType, declarations[5].c_str(), asFUNCTION(setValue<family>), true);
}

void registerInstanceSide() {
  registerMethod(kInstanceType, "const subSystemDef@ get_type() const", asFUNCTION(instanceType));
  registerMethod(kInstanceType, "float get_maxHP() const", asFUNCTION(getBuiltIn<kSubSysDurabilityKey>));
  registerMethod(kInstanceType, "float get_size() const", asFUNCTION(getBuiltIn<kSubSysSizeKey>));
  registerMethod(kInstanceType, "float get_level() const", asFUNCTION(getBuiltIn<kSubSysLevelKey>));
  registerMethod(kInstanceType, "float get_mass() const", asFUNCTION(getBuiltIn<kSubSysMassKey>));
  registerMethod(kInstanceType, "void set_maxHP(float)", asFUNCTION(setBuiltIn<kSubSysDurabilityKey>));
  registerMethod(kInstanceType, "void set_size(float)", asFUNCTION(setBuiltIn<kSubSysSizeKey>));
  registerMethod(kInstanceType, "void set_level(float)", asFUNCTION(setBuiltIn<kSubSysLevelKey>));
  registerMethod(kInstanceType, "void set_mass(float)", asFUNCTION(setBuiltIn<kSubSysMassKey>));
  registerProperty(kInstanceType, "float scale", asOFFSET(subSystem, scale));
  registerMethod(kInstanceType, "void trigger(const string &, Object@+, Object@+, float, float)",
                 asFUNCTION(triggerEffector), true);
  registerFamily<kVariables>("Variable");
  registerFamily<kCosts>("Cost");
  registerFamily<kConsumption>("Consume");
  registerFamily<kRequirements>("Require");
  registerFamily<kHints>("Hint");
}

void registerMembers() {
  registerDefinitionSide();
  registerInstanceSide();
  onEngines(true, [](asIScriptEngine* engine) {
    checked(engine).RegisterEnum(kEvalModeEnum);
    for (const EvalModeValue& mode : kEvalModes)
      checked(engine).RegisterEnumValue(kEvalModeEnum, mode.name, mode.value);
  });
  registerScriptSubSystemFactory();
}

// --- SysRef ---------------------------------------------------------------

uint32_t recordState(const SysRef* record) { return record->state; }

subSystem* recordSystem(const SysRef* record) { return record->system; }

}  // namespace

void registerSubSystemBindings(bool typesOnly) {
  if (typesOnly)
    declareTypes();
  else
    registerMembers();
}

void registerSubSysRefType() {
  registerProperty("SysRef", "float HP", asOFFSET(SysRef, HP));
  registerProperty("SysRef", "float val1", asOFFSET(SysRef, val1));
  registerProperty("SysRef", "float val2", asOFFSET(SysRef, val2));
  registerMethod("SysRef", "SysState getState() const", asFUNCTION(recordState));
  registerMethod("SysRef", "subSystem@ get_system() const", asFUNCTION(recordSystem));
}
