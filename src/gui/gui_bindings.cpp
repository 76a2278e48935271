#include "gui/gui_bindings.h"

#include <position2d.h>

#include <initializer_list>
#include <new>

#include "gui/script_color.h"
#include "gui/script_vector.h"
#include "script/script_engine.h"
#include "script/script_registration.h"

using namespace AngelScript;
using irr::core::position2df;

namespace {

void constructPos2df(position2df* self) { new (self) position2df(0.0f, 0.0f); }
void constructPos2dfFromTwo(float x, float y, position2df* self) { new (self) position2df(x, y); }
void destructPos2df(position2df*) {}

// `pos2df`: a position on a 2D grid (core::position2df, floats x and y at
// bytes 0 and 4). Constructed, destroyed (a no-op) and copied by the engine.
void registerScriptPos2df(asIScriptEngine* engine) {
  static_assert(sizeof(position2df) == 8, "pos2df is registered as 8 bytes");
  checked(engine).RegisterObjectType("pos2df", sizeof(position2df), asOBJ_VALUE | asOBJ_APP_CLASS_CD);
  checked(engine).RegisterObjectBehaviour("pos2df", asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(constructPos2df),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour("pos2df", asBEHAVE_DESTRUCT, "void f()", asFUNCTION(destructPos2df),
                                          asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectBehaviour("pos2df", asBEHAVE_CONSTRUCT, "void f(float,float)",
                                          asFUNCTION(constructPos2dfFromTwo), asCALL_CDECL_OBJLAST);
  checked(engine).RegisterObjectProperty("pos2df", "float x", 0);
  checked(engine).RegisterObjectProperty("pos2df", "float y", 4);
}

}  // namespace

void registerValueTypes() {
  if (serverScriptEngine == nullptr)
    return;
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      return;
    registerScriptVector(engine);
    registerScriptPos2df(engine);
    registerScriptColor(engine);
  }
}

void registerGuiBindings() { registerValueTypes(); }
