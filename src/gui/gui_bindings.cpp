#include "gui/gui_bindings.h"

#include <initializer_list>

#include "gui/script_color.h"
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
    registerScriptColor(engine);
  }
}

void registerGuiBindings() { registerValueTypes(); }
