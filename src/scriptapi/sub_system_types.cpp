#include "scriptapi/sub_system_types.h"

#include <angelscript.h>

#include "design/subsystems/sub_system.h"
#include "design/subsystems/sub_system_def.h"
#include "script/script_engine.h"
#include "script/script_registration.h"
#include "script/script_string.h"
#include "scriptapi/script_bindings.h"

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
// definition's list (-1 when absent), the instance's array for that list,
// and the message raised when the instance has no value block.
struct ValueFamily {
  irr::s32 (*position)(const SubSystemDef& def, const irr::core::stringw& name);
  float* (*array)(const subSystem& instance);
  const char* notInitialized;
};

constexpr ValueFamily kVariables = {
    [](const SubSystemDef& def, const irr::core::stringw& name) -> irr::s32 {
      const irr::s32 entry = findPtrNamedVar(def.variableIndex, name);
      if (entry < 0)
        return -1;
      const SubSystemDef::ValueInfo* info = def.variableIndex[static_cast<irr::u32>(entry)].value;
      return info != nullptr ? static_cast<irr::s32>(info->index) : -1;
    },
    [](const subSystem& instance) { return instance.values; },
    "SubSystem Variable list not yet initialized",
};

constexpr ValueFamily kCosts = {
    [](const SubSystemDef& def, const irr::core::stringw& name) { return findPtrNamedVar(def.costs, name); },
    [](const subSystem& instance) { return instance.costs; },
    "SubSystem Cost list not yet initialized",
};

irr::s32 positionOf(const ValueFamily& family, const subSystem* instance, const ScriptString& name) {
  return instance->def != nullptr ? family.position(*instance->def, name.toStringw()) : -1;
}

// The value of `name` in the family's array: null, with the family's
// message raised, when the instance has no value block; null without one
// when the name is absent.
float* valueOf(const ValueFamily& family, const subSystem* instance, const ScriptString& name) {
  if (instance->values == nullptr) {
    raiseScriptException(family.notInitialized);
    return nullptr;
  }
  const irr::s32 position = positionOf(family, instance, name);
  if (position < 0)
    return nullptr;
  float* array = family.array(*instance);
  if (array == nullptr) {
    raiseScriptException(family.notInitialized);
    return nullptr;
  }
  return array + position;
}

template <const ValueFamily& family>
bool hasValue(const subSystem* instance, const ScriptString& name) {
  return positionOf(family, instance, name) >= 0;
}

template <const ValueFamily& family>
float getValue(const subSystem* instance, const ScriptString& name) {
  const float* value = valueOf(family, instance, name);
  return value != nullptr ? *value : 0.0f;
}

template <const ValueFamily& family>
void setValue(subSystem* instance, const ScriptString& name, float value) {
  if (float* slot = valueOf(family, instance, name))
    *slot = value;
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

void registerMethod(const char* declaration, const asSFuncPtr& function, bool serverOnly) {
  onEngines(serverOnly, [&](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod(kInstanceType, declaration, function, asCALL_CDECL_OBJFIRST);
  });
}

ScriptString* definitionName(const SubSystemDef* def) { return new ScriptString(def->name); }

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

struct GlobalFunction {
  const char* declaration;
  asSFuncPtr function;
};

void registerDefinitionSide() {
  onEngines(false, [](asIScriptEngine* engine) {
    checked(engine).RegisterObjectMethod(kDefType, "string@ getName() const", asFUNCTION(definitionName),
                                         asCALL_CDECL_OBJFIRST);
  });
  onEngines(false, [](asIScriptEngine* engine) {
    checked(engine).RegisterObjectProperty(kDefType, "uint ID", asOFFSET(SubSystemDef, id));
  });

  const GlobalFunction globals[] = {
      {"uint getSubSystemCount()", asFUNCTION(definitionCount)},
      {"const subSystemDef@ getSubSystemDef(uint)", asFUNCTION(definitionAt)},
      {"const subSystemDef@ getSubSystemDefByName(const string &)", asFUNCTION(definitionByName)},
      {"const subSystemDef@ getSubSystemDefByID(uint)", asFUNCTION(definitionByID)},
  };
  for (const GlobalFunction& global : globals)
    onEngines(false, [&](asIScriptEngine* engine) {
      checked(engine).RegisterGlobalFunction(global.declaration, global.function, asCALL_CDECL);
    });
}

void registerMembers() {
  registerDefinitionSide();
  registerMethod("bool hasVariable(const string &) const", asFUNCTION(hasValue<kVariables>), false);
  registerMethod("float getVariable(const string &) const", asFUNCTION(getValue<kVariables>), false);
  registerMethod("void setVariable(const string &, float)", asFUNCTION(setValue<kVariables>), true);
  registerMethod("bool hasCost(const string &) const", asFUNCTION(hasValue<kCosts>), false);
  registerMethod("float getCost(const string &) const", asFUNCTION(getValue<kCosts>), false);
  registerMethod("void setCost(const string &, float)", asFUNCTION(setValue<kCosts>), true);

  onEngines(true, [](asIScriptEngine* engine) {
    checked(engine).RegisterEnum(kEvalModeEnum);
    for (const EvalModeValue& mode : kEvalModes)
      checked(engine).RegisterEnumValue(kEvalModeEnum, mode.name, mode.value);
  });
}

}  // namespace

void registerSubSystemBindings(bool typesOnly) {
  if (typesOnly)
    declareTypes();
  else
    registerMembers();
}
