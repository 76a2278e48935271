#include "scriptapi/sub_system_types.h"

#include <angelscript.h>

#include "script/script_engine.h"
#include "scriptapi/script_bindings.h"

using namespace AngelScript;

namespace {

constexpr char kSubSystemType[] = "subSystem";
constexpr char kEvalModeEnum[] = "SubSystemEvalMode";

struct EvalModeValue {
  const char* name;
  int value;
};

constexpr EvalModeValue kEvalModes[] = {
    {"SSVM_Costs", 0}, {"SSVM_Consumes", 1}, {"SSVM_Requires", 2}, {"SSVM_Hints", 3}, {"SSVM_Provisions", 4},
};

}  // namespace

void registerSubSystemTypes() {
  asIScriptEngine* engine = serverScriptEngine;
  if (engine == nullptr)
    return;
  // The library refuses to build scripts against a reference type without
  // both behaviours, even when nothing is counted.
  engine->RegisterObjectType(kSubSystemType, 0, asOBJ_REF);
  engine->RegisterObjectBehaviour(kSubSystemType, asBEHAVE_ADDREF, "void f()", asFUNCTION(noOpFunction),
                                  asCALL_GENERIC);
  engine->RegisterObjectBehaviour(kSubSystemType, asBEHAVE_RELEASE, "void f()", asFUNCTION(noOpFunction),
                                  asCALL_GENERIC);

  engine->RegisterEnum(kEvalModeEnum);
  for (const EvalModeValue& mode : kEvalModes)
    engine->RegisterEnumValue(kEvalModeEnum, mode.name, mode.value);
}
