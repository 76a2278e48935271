// Readable reports of failing scripts: the exception text, where it happened,
// the call stack, and the values of a function's variables for the types the
// printer knows.
#pragma once

#include <angelscript.h>
#include <irrString.h>

// What the printer reads of game objects and effect events, which the
// script host cannot see: set by the bindings that register "Object" and
// "Event". While a reader is unset its values print "<Not a simple type>".
//
// The name of a game object.
using ScriptObjectNameReader = irr::core::stringw (*)(const void* object);
// The acting object, the target and the time of an effect event.
struct ScriptEventParts {
  const void* obj;
  const void* target;
  float time;
};
using ScriptEventReader = ScriptEventParts (*)(const void* event);
void setScriptObjectNameReader(ScriptObjectNameReader reader);
void setScriptEventReader(ScriptEventReader reader);
// The name of a resource state ("State@" handles print by name).
void setScriptStateNameReader(ScriptObjectNameReader reader);

// Looks the printable types up in `engine`: the primitive types, "string"
// (objects and handles), "vector" (three floats), "Object@", "State@" and, on every
// engine but the client engine, "Event@". Call once every binding is
// registered, for the server engine and then the client engine.
void registerPrintableTypes(AngelScript::asIScriptEngine* engine);

// Writes one value to the log without a line break: "<Invalid Variable>" for
// a null address, "<Not a simple type>" for a type the engine's table lacks,
// "<Null Handle>" for a null handle; strings and object names longer than 33
// characters are cut to 30 and "..."; an event is "<obj>-><target>, <time>"
// ("%.2f", a missing object "<Null>").
void printScriptValue(const void* address, AngelScript::asIScriptEngine* engine, int typeId);

// The variables of the context's current function with their values; nothing
// for a function without variables.
void printScriptSnapshot(AngelScript::asIScriptContext* context);

// The context's callers, innermost first, at most 50 (error level).
void printScriptCallStack(AngelScript::asIScriptContext* context);

// The exception callback of every context: "Script Exception: <text>", the
// function, section and line where it happened, then the call stack (error
// level).
void printScriptException(AngelScript::asIScriptContext* context, void* unused = nullptr);
