#include "gui/gui_bindings.h"

#include <initializer_list>

#include "gui/gui_animations.h"
#include "gui/gui_events.h"
#include "gui/gui_handles.h"
#include "gui/gui_script_hooks.h"
#include "gui/script_color.h"
#include "gui/script_drawing.h"
#include "gui/script_math_types.h"
#include "gui/script_texture.h"
#include "gui/script_vector.h"
#include "gui/script/gui_element_types.h"
#include "gui/script/gui_list_types.h"
#include "gui/script/gui_window_types.h"
#include "gui/scripted_gui_element.h"
#include "script/script_engine.h"

using namespace AngelScript;

void (*guiMiniViewRegistrar)(asIScriptEngine* engine) = nullptr;

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

// The GUI core: the element base, the enumerations and event types, the
// scripted element, animations, callbacks and escape handlers. The other
// element types take their places among these in the same order: each
// enumeration stands before the first type that names it.
void registerGuiCore(asIScriptEngine* engine) {
  registerElementAlignment(engine);
  registerGuiElementBase(engine);
  // Element types: the GUI globals, then each kind in turn.
  registerGuiFocusGlobals(engine);
  registerGuiButton(engine);
  registerButtonAppearance(engine);  // among GuiButton's methods
  registerGuiButtonAppearance(engine);
  registerGuiCheckBox(engine);
  registerGuiContextMenu(engine);
  registerGuiEditBox(engine);
  registerGuiListBox(engine);
  registerGuiComboBox(engine);
  registerGuiTable(engine);
  registerGuiSpinBox(engine);
  registerGuiStaticText(engine);
  registerGuiImage(engine);
  registerGuiScrollBar(engine);
  registerGuiDraggable(engine);
  registerGuiExtText(engine);
  registerScrollBarMode(engine);  // before GuiPanel
  registerGuiPanel(engine);
  registerMiniViewMode(engine);  // before GuiMiniView
  if (guiMiniViewRegistrar != nullptr)
    guiMiniViewRegistrar(engine);
  registerGuiBar(engine);
  registerGuiZoomRegion(engine);
  registerWindowMode(engine);    // before GuiWindow
  registerGuiWindow(engine);
  registerGuiEventTypes(engine);  // after GuiWindow
  registerScriptedGuiElement(engine);
  registerGuiAnimations(engine);
  registerGuiScriptHooks(engine);
}

void registerGuiBindings() {
  registerValueTypes();
  // The client's types name the value types, which it has only with both
  // engines.
  if (serverScriptEngine == nullptr || clientScriptEngine == nullptr)
    return;
  registerScriptTexture(clientScriptEngine);
  registerDrawingBindings(clientScriptEngine);
  registerGuiCore(clientScriptEngine);
}
