// The script type `GuiMiniView` (client engine) on the mini view
// (mini_view.h), in the pattern of gui/script/gui_element_types.h:
//   "GuiMiniView@ f(const recti &in, GuiElement@+)"   a new mini view
//   "void update()"
//   "bool display_planets", "bool display_units", "bool display_smallunits",
//   "bool display_oddities", "bool display_names", "bool display_orbits",
//   "MiniViewMode mode"                                the view's own fields
// and, in the object bindings' last step, its system:
//   "void setSystem(System@+)"   holds the system (null: none) in place of
//                                the one shown
//   "System@+ getSystem()"       the system held, or null
// The script set-up installs both registrars (gui/gui_bindings.h,
// scriptapi/object_bindings.h).
#pragma once

#include <angelscript.h>

void registerGuiMiniView(AngelScript::asIScriptEngine* engine);
void registerMiniViewSystemPair(AngelScript::asIScriptEngine* engine);
