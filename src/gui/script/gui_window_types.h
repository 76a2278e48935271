// The script type `GuiWindow` (client engine): our window
// (gui/elements/extended_window.h) made by
//   "GuiWindow@ f(const recti &in, const string@, int, GuiElement@+)"
// from a rectangle, a title (null: none), `WindowMode` flags and a parent:
//   WM_Modal     the window sits on a modal screen under the parent
//   WM_Close     closing hides the window (windowCloseCallback on its id);
//                without it the close button is hidden and the maximise
//                button takes its place
//   WM_Minimize  the minimise and maximise buttons share a second fresh id,
//                bound to windowButtonCallback (the dock, window_buttons.h);
//                the minimise button is shown in the maximise button's place
//   WM_Resize    the window's resizable switch
// Methods: "void setResizable(const bool)", "void setWindowsDragMode(const
// bool)", "void setText(const string@)" (the title).
#pragma once

#include <angelscript.h>

// WindowMode must exist.
void registerGuiWindow(AngelScript::asIScriptEngine* engine);
