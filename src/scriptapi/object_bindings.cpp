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

}  // namespace

void registerObjectBindings() {
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      continue;
    engine->RegisterObjectType("Object", 0, asOBJ_REF);
    engine->RegisterObjectBehaviour("Object", asBEHAVE_ADDREF, "void f()", asMETHOD(generic_object, grab),
                                    asCALL_THISCALL);
    engine->RegisterObjectBehaviour("Object", asBEHAVE_RELEASE, "void f()", asMETHOD(generic_object, drop),
                                    asCALL_THISCALL);
  }
  registerUncountedType("SysRef");
  setScriptObjectNameReader(objectName);
}
