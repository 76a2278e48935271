// Stopping scripts that are running, for the operator's quit request.
//
// Every context made by createScriptContext on an engine prepared here is
// entered in one process-wide table and leaves it when the context is
// destroyed. abortRunningScripts asks each context that is running a script
// to stop: the library checks the request at its suspend points (loops and
// calls), so even a script that loops for ever returns from Execute with
// asEXECUTION_ABORTED, and its caller reports the failed call as usual. It
// may be called from any thread.
#pragma once

#include <angelscript.h>

// Prepares `engine` so that its contexts can be tracked (their destruction
// takes them out of the table). Call once, before the engine makes any
// context.
void enableScriptAbort(AngelScript::asIScriptEngine* engine);

// Enters `context` in the table. Contexts of engines not prepared with
// enableScriptAbort are left out (nothing would take them out again).
void trackScriptContext(AngelScript::asIScriptContext* context);

// Asks every tracked context that is running a script to stop, and returns
// how many were asked.
int abortRunningScripts();

// How many contexts the table holds.
int trackedScriptContexts();
