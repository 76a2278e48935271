#include "scriptapi/object_bindings.h"

#include <angelscript.h>

#include <initializer_list>

#include "script/script_engine.h"
#include "script/script_report.h"
#include "scriptapi/script_bindings.h"
#include "universe/objects/game_object.h"

using namespace AngelScript;

namespace {

irr::core::stringw objectName(const void* object) { return static_cast<const generic_object*>(object)->name; }

// A script type of game objects: a handle holds a reference on the object
// (generic_object's own count).
void registerGameObjectType(const char* name) {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      continue;
    engine->RegisterObjectType(name, 0, asOBJ_REF);
    engine->RegisterObjectBehaviour(name, asBEHAVE_ADDREF, "void f()", asMETHOD(generic_object, grab), asCALL_THISCALL);
    engine->RegisterObjectBehaviour(name, asBEHAVE_RELEASE, "void f()", asMETHOD(generic_object, drop),
                                    asCALL_THISCALL);
  }
}

}  // namespace

void registerObjectBindings() {
  registerGameObjectType("Object");
  registerUncountedType("SysRef");
  registerGameObjectType("Planet");
  setScriptObjectNameReader(objectName);
}
