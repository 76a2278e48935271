#include "scriptapi/script_bindings.h"

#include <initializer_list>

#include "script/script_engine.h"
#include "script/script_registration.h"

using namespace AngelScript;

void noOpFunction(asIScriptGeneric*) {}

void registerUncountedType(asIScriptEngine* engine, const char* name) {
  checked(engine).RegisterObjectType(name, 0, asOBJ_REF);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_ADDREF, "void f()", asFUNCTION(noOpFunction), asCALL_GENERIC);
  checked(engine).RegisterObjectBehaviour(name, asBEHAVE_RELEASE, "void f()", asFUNCTION(noOpFunction), asCALL_GENERIC);
}

void registerUncountedType(const char* name) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine != nullptr)
      registerUncountedType(engine, name);
  }
}
