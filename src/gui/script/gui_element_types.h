// The GUI element script types of the client engine, one per kind of
// element, each registered as: the type with the handle registry's counting
// behaviours, the casts to and from `GuiElement`, the shared methods
// (gui/gui_handles.h), the factories, then the kind's own methods.
//
// Factories take the next GUI id (gui/gui_ids.h) and enter the new element
// in the handle registry; without a GUI environment they make nothing and
// give null. A null parent stands for the GUI's root. `string@` arguments
// are released by the native on every path, `string@+` ones are borrowed;
// a null text is an empty one. Texture names are material names: the
// texture is the material's first layer (the error material's for an
// unknown name).
//
// Kinds and the elements they wrap (the handle casts test for these):
//   GuiButton, GuiCheckBox, GuiSpinBox, GuiStaticText, GuiScrollBar
//                           the engine's stock elements
//   GuiEditBox, GuiImage    our extended edit box and image
//                           (gui/elements/extended_elements.h)
//   GuiExtText              the rich text (gui/extended_text.h)
//   GuiPanel                the scrollable panel (gui/gui_panel.h)
//   GuiDraggable, GuiBar, GuiZoomRegion
//                           our draggable frame, bar and zoom region
//                           (gui/gui_draggable.h, gui_bar.h,
//                           gui_zoom_region.h); a draggable's first flag says
//                           whether the frame itself takes the mouse (false:
//                           pass-through), its second whether a drag starts
//                           only on the frame's own surface
// The list kinds are in gui_list_types.h, `GuiWindow` in gui_window_types.h.
//
// Kept as scripts know it: GuiEditBox's setMultiLine switches the box to
// multi-line whatever its argument, which only chooses the vertical
// alignment (top for true, centre for false).
#pragma once

#include <angelscript.h>

namespace irr::gui {
class IGUIElement;
class IGUIEnvironment;
}  // namespace irr::gui

// The parent an element is made under: `parent`, or the root for null.
irr::gui::IGUIElement* guiParentOrRoot(irr::gui::IGUIElement* parent);

// "int reserveGuiID()", "bool setGuiFocus(GuiElement@+)",
// "GuiElement@+ getGuiFocus()", "bool isFocused(GuiElement@+)".
void registerGuiFocusGlobals(AngelScript::asIScriptEngine* engine);
// GuiButton up to its sprite setter; the two setAppearance methods follow
// the ButtonAppearance enumeration.
void registerGuiButton(AngelScript::asIScriptEngine* engine);
void registerGuiButtonAppearance(AngelScript::asIScriptEngine* engine);
void registerGuiCheckBox(AngelScript::asIScriptEngine* engine);
void registerGuiEditBox(AngelScript::asIScriptEngine* engine);
void registerGuiSpinBox(AngelScript::asIScriptEngine* engine);
void registerGuiStaticText(AngelScript::asIScriptEngine* engine);
void registerGuiImage(AngelScript::asIScriptEngine* engine);
void registerGuiScrollBar(AngelScript::asIScriptEngine* engine);
void registerGuiDraggable(AngelScript::asIScriptEngine* engine);
void registerGuiExtText(AngelScript::asIScriptEngine* engine);
// ScrollBarMode must exist.
void registerGuiPanel(AngelScript::asIScriptEngine* engine);
void registerGuiBar(AngelScript::asIScriptEngine* engine);
void registerGuiZoomRegion(AngelScript::asIScriptEngine* engine);
