#include "gui/gui_bindings.h"

#include <initializer_list>

#include "gui/script_color.h"
#include "gui/script_drawing.h"
#include "gui/script_math_types.h"
#include "gui/script_texture.h"
#include "gui/script_vector.h"
#include "script/script_engine.h"

using namespace AngelScript;

void registerValueTypes() {
  if (serverScriptEngine == nullptr)
    return;
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      return;
    registerScriptVector(engine);
    registerScriptQuaternion(engine);
    registerScriptPos2df(engine);
    registerScriptPos2di(engine);
    registerScriptDim2df(engine);
    registerScriptDim2di(engine);
    registerScriptRectf(engine);
    registerScriptRecti(engine);
    registerScriptColor(engine);
    registerScreenSizeFunctions(engine);
  }
}

void registerGuiBindings() {
  registerValueTypes();
  // The client's types name the value types, which it has only with both
  // engines.
  if (serverScriptEngine == nullptr || clientScriptEngine == nullptr)
    return;
  registerScriptTexture(clientScriptEngine);
  registerDrawingBindings(clientScriptEngine);
}
