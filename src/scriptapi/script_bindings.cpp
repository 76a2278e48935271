#include "scriptapi/script_bindings.h"

#include <initializer_list>

#include "script/script_engine.h"

using namespace AngelScript;

void noOpFunction(asIScriptGeneric*) {}

void registerUncountedType(const char* name) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      continue;
    engine->RegisterObjectType(name, 0, asOBJ_REF);
    engine->RegisterObjectBehaviour(name, asBEHAVE_ADDREF, "void f()", asFUNCTION(noOpFunction), asCALL_GENERIC);
    engine->RegisterObjectBehaviour(name, asBEHAVE_RELEASE, "void f()", asFUNCTION(noOpFunction), asCALL_GENERIC);
  }
}
