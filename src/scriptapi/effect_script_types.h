// The script types of effect hooks, on the server engine and then the
// client engine.
//
// registerEventType: the enum "EventState" ("ESC_NOCHANGE" 0, "ESC_DISABLE"
// 1, "ESC_SKIP" 2) and the type "Event", the event a hook is called with
// (EffectEvent; an uncounted reference type, events live with their caller):
//   "float time", "float damage"   the seconds of the call (the damage
//                                  amount for damage hooks), one field
//   "float custom", "uint32 flags"
//   "Object@ const obj", "Object@ const target"
//                                  read-only handles (the event holds the
//                                  references)
//   "EventState state"             read and written (get_state, set_state)
//   "SysRef@ source", "SysRef@ dest"
//                                  read only (get_source, get_dest): null
//                                  unless the event carries one
// "Object" and "SysRef" come from registerObjectBindings, before.
//
// registerTemplateArgType: the value type "TemplateArg", one argument of a
// hook's bracketed list as script hooks receive them:
//   "float evaluate() const"       a "Number" argument's number; 0 for the
//                                  other kinds, which need an event or a
//                                  value block that a script call lacks
//   "const string@ getString() const"
//                                  the resource name of a "State Name"
//                                  argument, else null
// A copy holds its own reference on the name.
#pragma once

void registerEventType();
void registerTemplateArgType();
