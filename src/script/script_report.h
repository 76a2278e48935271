// Readable reports of failing scripts: the exception text, where it happened,
// the call stack, and the values of a function's variables for the types the
// printer knows.
#pragma once

#include <angelscript.h>

// Looks the printable types up in `engine`: the primitive types, "string"
// (objects and handles) and "vector" (three floats). Call once every binding
// is registered, for the server engine and then the client engine.
void registerPrintableTypes(AngelScript::asIScriptEngine* engine);

// Writes one value to the log without a line break: "<Invalid Variable>" for
// a null address, "<Not a simple type>" for a type the engine's table lacks,
// "<Null Handle>" for a null handle; strings longer than 33 characters are
// cut to 30 and "...".
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
