// The two script engines, script contexts, and how natives report misuse.
//
// The server engine carries the simulation scripts (server modules, map
// scripts, empire AI, object and data-file hooks); the client engine carries
// the interface scripts. Both are created once per game session, before any
// binding is registered, and every other part of the program only reads the
// two pointers. Script function ids are relative to the engine owning them.
#pragma once

#include <angelscript.h>

extern AngelScript::asIScriptEngine* serverScriptEngine;
extern AngelScript::asIScriptEngine* clientScriptEngine;

// Creates and configures both engines, the server engine first: the library's
// memory functions and thread support are set up, each engine gets the
// properties the scripts are written for (unsafe references, character
// literals, no line cues, optimised byte code) and its message callback, and
// the per-thread context hooks are handed to the thread records. Engines left
// from an earlier call are released first, and the server module records
// made for them are emptied. False when an engine could not be
// made (logged); neither pointer is set then.
bool createScriptEngines();

// Releases both engines, the server engine first, and clears the pointers.
// Discard the loaded modules before (discardScriptModules). Contexts that
// threads still hold keep their engine alive until they are released.
void releaseScriptEngines();

// Compiler message callbacks: turn a compiler message into the log lines
// "AS Server Error in <section>: <text>" (with " line: <row>, col: <col>"
// when the message has a position) or "AS Server General Error: <text>" when
// it names no section; the client engine's say "Client". The kind of message
// does not change the wording. Logged at error level.
void serverScriptMessage(const AngelScript::asSMessageInfo* message, void* unused);
void clientScriptMessage(const AngelScript::asSMessageInfo* message, void* unused);

// A new context of `engine` that reports exceptions through
// printScriptException and that abortRunningScripts can stop (engines made
// by createScriptEngines). Null when `engine` is null.
AngelScript::asIScriptContext* createScriptContext(AngelScript::asIScriptEngine* engine);

// The id of the function declared as `declaration` in module `module` of
// `engine`: asNO_MODULE (-15) when there is no such module (or engine), and
// asNO_FUNCTION (-6) when the module has no function of that declaration.
int getScriptFunctionId(AngelScript::asIScriptEngine* engine, const char* module, const char* declaration);

// For natives called from scripts: stops the calling script with a script
// exception carrying `message` (for example "Null Object@ when damaging an
// object"). The native then returns a neutral value without doing its work.
// Called outside any script, nothing happens.
void raiseScriptException(const char* message);

// True when the library was built for the generic calling convention only,
// so add-ons register their generic forms.
bool scriptLibraryNeedsGenericCalls();
