// Helpers shared by the simulation's script bindings.
//
// Every declaration goes to the server engine first and then to the client
// engine; an engine that does not exist is skipped. The registration
// results are not checked: a declaration the engine refuses is reported by
// the engine's message callback.
#pragma once

#include <angelscript.h>

// The one empty function behind every binding that must exist but has
// nothing to do: the add-ref and release of types that scripts do not count
// (their owners keep them alive). Generic, so it fits any declaration.
void noOpFunction(AngelScript::asIScriptGeneric* call);

// Registers `name` on both engines as a reference type that scripts cannot
// create and do not count: flags asOBJ_REF, add-ref and release
// noOpFunction.
void registerUncountedType(const char* name);
