#include "app/empire_script_type.h"

#include <angelscript.h>

#include "empire/empire.h"
#include "script/script_engine.h"
#include "script/script_string.h"

using namespace AngelScript;

namespace {

ScriptString* empireName(const empire* emp) { return new ScriptString(emp->name); }

}  // namespace

void registerEmpireHandleType() {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      continue;
    engine->RegisterObjectType("Empire", 0, asOBJ_REF | asOBJ_NOCOUNT);
    engine->RegisterObjectMethod("Empire", "bool isValid() const", asMETHOD(empire, isValid), asCALL_THISCALL);
    engine->RegisterObjectMethod("Empire", "string@ getName() const", asFUNCTION(empireName),
                                 asCALL_CDECL_OBJLAST);
  }
}
