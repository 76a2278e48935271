// The script types of effectors, on the server engine: "Effector" (an
// effector instance on a sub-system) and "EffectorState" (the runtime state
// of one effector on one object). Both are reference types whose reference
// counting does nothing: their holders own them, and scripts only borrow
// them for the length of a call. An Effector reads its values by index
// ("float opIndex(uint) const") and fires for an event ("void
// trigger(Event@) const"); an EffectorState shows "float val1" and "float
// val2". Scripts that bind effector functions ("void f(Event@, const
// Effector@, EffectorState@)", "float f(const Object@, const Object@, const
// Effector@)") need them when they are built, before the effector files are
// read.
//
// Runs once per session after "Event" is registered; nothing without a
// server engine.
#pragma once

void registerEffectorTypes();
