// Each thread's script contexts: its own context of each engine, pools of
// further contexts (last given back, first taken), and the cache of server
// contexts prepared by function id. All of it lives in the thread's record
// (ThreadLocals) and is never touched by another thread.
//
// Typical call from a hot path:
//   bool fromPool = false;
//   asIScriptContext* context = getPreparedScriptContext(functionId, fromPool);
//   ... set arguments, Execute() ...
//   if (fromPool) releaseScriptContext(context);
#pragma once

#include <angelscript.h>

// Most function ids the prepared-context cache keeps a context for.
constexpr int kMaxPreparedScriptContexts = 127;

// The calling thread's own context of the server (or client) engine, kept in
// its record: made when the record has none or holds one of an engine that
// no longer exists. Null while there is no such engine.
AngelScript::asIScriptContext* threadServerContext();
AngelScript::asIScriptContext* threadClientContext();

// Ends the call `context` holds, whatever state it stopped in (a suspended
// call is aborted), and unprepares it so that it can be prepared again.
void endScriptCall(AngelScript::asIScriptContext* context);

// A server-engine context from the calling thread's pool, or a new one when
// the pool is empty. Null while there is no server engine.
AngelScript::asIScriptContext* takeServerScriptContext();
// A client-engine context from the calling thread's pool, or a new one.
AngelScript::asIScriptContext* takeClientScriptContext();

// A server-engine context prepared for `functionId`. The thread's cached
// context for that id serves unless it is still running a call further up
// this thread's stack (or the cache is full), in which case a pooled context
// is prepared and `fromPool` is set: give it back with releaseScriptContext
// once the call has run. An id that names no function gets an unprepared
// pooled context (Execute then fails with asCONTEXT_NOT_PREPARED). Null
// while there is no server engine, and when the function cannot be prepared
// (the context is then released, neither cached nor pooled).
AngelScript::asIScriptContext* getPreparedScriptContext(int functionId, bool& fromPool);

// Unprepares a pooled context and gives it back to the calling thread's pool
// of its engine. A context of an engine that no longer exists is released.
void releaseScriptContext(AngelScript::asIScriptContext* context);

// Hands the context set-up and tear-down to the thread records, so that
// initThreadLocals makes the thread's two contexts and freeThreadLocals
// releases every context of the thread and the library's per-thread data.
void installThreadScriptHooks();
