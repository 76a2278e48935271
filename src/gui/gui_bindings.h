// The GUI script bindings of a game session, registered by
// registerGuiBindings before every other binding (the script set-up's
// `guiBindings` slot):
//
//   registerValueTypes   the value types that both engines share, on the
//                        server engine and then the client engine:
//                        `vector`, `pos2df` (constructors "void f()"
//                        and "void f(float,float)", a destructor that
//                        does nothing, "float x" and "float y"), then
//                        `Color`.
//                        Skipped entirely when there is no server engine;
//                        stops at the first engine that does not exist.
//
// The registration results are not checked: a declaration the engine
// refuses is reported by the engine's message callback.
#pragma once

void registerGuiBindings();
void registerValueTypes();
