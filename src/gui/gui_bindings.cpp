#include "gui/gui_bindings.h"

#include <initializer_list>

#include "gui/script_color.h"
#include "script/script_engine.h"

using namespace AngelScript;

void registerValueTypes() {
  if (serverScriptEngine == nullptr)
    return;
  for (asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      return;
    registerScriptColor(engine);
  }
}

void registerGuiBindings() { registerValueTypes(); }
