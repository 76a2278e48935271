// The GUI script bindings of a game session, registered by
// registerGuiBindings before every other binding (the script set-up's
// `guiBindings` slot):
//
//   registerValueTypes   the value types that both engines share, on the
//                        server engine and then the client engine, in this
//                        order: `vector`, `quaternion`, `pos2df`, `pos2di`,
//                        `dim2df`, `dim2di`, `rectf`, `recti`, `Color`, then
//                        "int getScreenWidth()" and "int getScreenHeight()".
//                        Skipped entirely when there is no server engine;
//                        stops at the first engine that does not exist.
//   then, on the client engine only: `Texture` with getMaterialTexture, and
//   the drawing functions (registerDrawingBindings), and last the GUI core
//   (registerGuiCore): `GuiElement` and `GuiScripted` with the handle
//   registry's shared methods and casts, the GUI enumerations and event
//   types, animations, GUI callbacks and escape handlers.
//
// Every registration goes through the checked registrar: a declaration the
// engine refuses fails the set-up.
#pragma once

#include <angelscript.h>

void registerGuiBindings();
void registerValueTypes();
void registerGuiCore(AngelScript::asIScriptEngine* engine);

// The `GuiMiniView` registrar, run between MiniViewMode and GuiBar. The mini
// view belongs to the player interface, which builds on this library, so the
// script set-up installs it; without it there is no GuiMiniView.
extern void (*guiMiniViewRegistrar)(AngelScript::asIScriptEngine* engine);
