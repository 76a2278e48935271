// GUI callbacks and escape handlers bound by client scripts.
//
//   "void bindGuiCallback(int, const string &)"
//   "void bindGuiCallback(GuiElement@+, const string &)"
//       binds "bool <function>(const GUIEvent@)" to the GUI element id (or
//       the element's id): "module::function", or "::function" and
//       "function" for the calling script's own module. An empty text
//       raises "Empty string when binding gui callback", a null element
//       "Null GuiElement@ when binding gui callback".
//   "void bindEscapeEvent(const string &, const string &)"
//       (name, "module::function" of "void function()"): replaces the
//       binding of that name and puts it last.
//   "void clearEscapeEvent(const string &)"
//
// Escape runs the most recent binding once and forgets it (runEscapeEvent).
#pragma once

#include <angelscript.h>
#include <IEventReceiver.h>
#include <irrString.h>

#include <cstdint>
#include <vector>

struct GuiCallbackEntry;

// Fills `entry` with the client-engine function "bool <function>(const
// GUIEvent@)" of the module: false, the entry untouched, when a name is
// missing or empty, when the declaration would not fit 127 characters, or
// when the module has no such function.
bool resolveGuiHook(GuiCallbackEntry& entry, const char* module, const char* function);

// Binds an id to the client-engine function "bool <function>(const
// GUIEvent@)" of the module, replacing an earlier binding of the id. A
// function that cannot be found logs "GUI Hook Error: Invalid function
// specified '%s::%s'\n" and removes the id's entry. True when bound.
bool hookGuiCallback(const char* module, const char* function, int32_t id);

// Runs a script-bound GUI callback: the event as a `GUIEvent` on the calling
// thread's own client context (on one of its pool while that context runs
// the script whose work raised the event). True when the function returned
// true; false for events that reach no script and for failed calls.
bool runGuiScriptCallback(int32_t functionId, const irr::SEvent& event);

struct EscapeBinding {
  irr::core::stringw name;
  int32_t functionId = -1;
};
extern std::vector<EscapeBinding> escapeEvents;

// Runs and forgets the last escape binding. True when it ran to its end;
// false when there is none, or its function is gone or stopped on an
// exception (the key then goes to the escape menu).
bool runEscapeEvent();
// Forgets every binding (session end).
void clearEscapeEvents();

// The bindings above, and the GUI callback map's script dispatcher.
void registerGuiScriptHooks(AngelScript::asIScriptEngine* engine);
