// Helpers shared by the simulation's script bindings.
//
// Every declaration goes to the server engine first and then to the client
// engine; an engine that does not exist is skipped. Every registration goes
// through checked() (script/script_registration.h): a declaration the
// engine refuses fails the script set-up.
#pragma once

#include <angelscript.h>

#include <initializer_list>
#include <type_traits>

#include "script/script_engine.h"

// The one empty function behind every binding that must exist but has
// nothing to do: the add-ref and release of types that scripts do not count
// (their owners keep them alive). Generic, so it fits any declaration.
void noOpFunction(AngelScript::asIScriptGeneric* call);

// Registers `name` on both engines as a reference type that scripts cannot
// create and do not count: flags asOBJ_REF, add-ref and release
// noOpFunction.
void registerUncountedType(const char* name);
// The same on one engine only.
void registerUncountedType(AngelScript::asIScriptEngine* engine, const char* name);

// Runs `registration` for the server engine, then the client engine (those
// that exist), as registration(engine) or registration(engine, isServer).
template <typename Registration>
void onBothEngines(Registration registration) {
  for (AngelScript::asIScriptEngine* engine : {serverScriptEngine, clientScriptEngine}) {
    if (engine == nullptr)
      continue;
    if constexpr (std::is_invocable_v<Registration, AngelScript::asIScriptEngine*, bool>)
      registration(engine, engine == serverScriptEngine);
    else
      registration(engine);
  }
}
