// The list-like GUI script types of the client engine: `GuiContextMenu`,
// `GuiListBox`, `GuiComboBox` and `GuiTable`, registered in the pattern of
// gui_element_types.h.
//
// The list box and the table check the indices their methods take; a bad
// one raises a script exception and the native changes nothing (a string
// reader gives null, getItemID 0):
//   list box item          "Accessed an out-of-range list box item" (also
//                          for the two colour methods, which the engine's
//                          one-colour setter does not check)
//   table cell             "Accessed element outside of the table"; every
//                          cell method takes the column first, then the row
//   table column width     "Accessed column not in table"
// The combo box and the context menu leave their indices to the engine.
//
// A context menu's sub-menu handed to a script is entered in the handle
// registry (one count, one engine reference) and kept as a sub-element of
// its menu, so that the script's last release gives the reference back and
// leaves the sub-menu in its menu.
#pragma once

#include <angelscript.h>

void registerGuiContextMenu(AngelScript::asIScriptEngine* engine);
void registerGuiListBox(AngelScript::asIScriptEngine* engine);
void registerGuiComboBox(AngelScript::asIScriptEngine* engine);
void registerGuiTable(AngelScript::asIScriptEngine* engine);
