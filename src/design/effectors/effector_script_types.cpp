#include "design/effectors/effector_script_types.h"

#include <angelscript.h>

#include "script/script_engine.h"

using namespace AngelScript;

namespace {

// Add-reference and release of both types.
void keepReference(asIScriptGeneric*) {}

const char* const kBorrowedTypes[] = {"Effector", "EffectorState"};

}  // namespace

void registerEffectorTypes() {
  asIScriptEngine* engine = serverScriptEngine;
  if (engine == nullptr)
    return;
  for (const char* type : kBorrowedTypes) {
    engine->RegisterObjectType(type, 0, asOBJ_REF);
    engine->RegisterObjectBehaviour(type, asBEHAVE_ADDREF, "void f()", asFUNCTION(keepReference), asCALL_GENERIC);
    engine->RegisterObjectBehaviour(type, asBEHAVE_RELEASE, "void f()", asFUNCTION(keepReference), asCALL_GENERIC);
  }
}
