// GUI script modules: modules of the client script engine that the session's
// interface runs through three optional hooks, each found by its exact
// declaration when the module is loaded:
//
//   "void init()"                        once, when the session's interface
//                                        is built ("Initialize GUI")
//   "void tick(float)"                   the per-frame hook: resolved, given
//                                        a profiler label, not yet called
//   "void onSaveFileWrite(XMLWriter@)"   while a saved game is written
//
// Each module's saved XML comes back at load through its
// "void onSaveFileLoad(XMLReader@)" (loadScriptModuleRecords, client
// engine, marker 0). The records keep load order and have no lock: set-up,
// session start, saving and session end never overlap.
//
// Beside the modules live the link hooks: "void hookLink(const string &,
// const string &)" names, for a link name, a function "void f(string@)" of
// the calling script's module, which a click on a rich-text link of that
// name runs with the link's value (gui/richtext/gui_link.h).
#pragma once

#include <irrString.h>

#include <vector>

class SaveStream;
class hires_profiler;
struct FunctionHook;

namespace scripted_gui_manager {

struct gui_module {
  // Function ids in the client engine; negative when absent (-15: no module
  // of that name).
  int initFunc = -1;
  int tickFunc = -1;
  int saveFunc = -1;
  // The module's label on the GUI modules' profiler, -1 without a tick hook.
  int tickProfileId = -1;
  irr::core::stringc name;
};

}  // namespace scripted_gui_manager

// The records, in load order.
extern std::vector<scripted_gui_manager::gui_module> guiModules;

// The profiler that holds the GUI modules' tick labels (made on first use).
hires_profiler& guiModuleProfiler();

// Appends the record of client module `moduleName` with its hooks (the
// script set-up's buildGuiModule).
void loadGuiModules(const char* moduleName);
// Runs every init hook on the calling thread's client context. A module
// whose init cannot be prepared or does not finish is logged ("GUI Module
// '<name>' failed to prepare for the void init() call" / "... had a problem
// running void init()") and removed with its other hooks.
void initGuiModules();
// Writes one record (marker 0) per module whose save hook wrote something,
// as saveServerModules does for the server modules: a module that writes
// 1,000,000 bytes or more is logged by name and gets no record.
void saveGuiModules(SaveStream& stream);
// Removes every record (end of a game session).
void clearGuiModules();

// The native of "hookLink": with a link name, the function "void
// <function>(string@)" of the hook's module becomes the link's hook,
// replacing an earlier one; an empty link name, or no such function,
// changes nothing.
void hookLink(const irr::core::stringw& linkName, const FunctionHook& function);
// Runs the link's hook, when it has one, on a pooled client context with a
// new string of `argument` (a null handle for null). A hook whose function
// is no longer that function of the client engine (its engine was made
// again) is not run.
void runLinkHook(const irr::core::stringw& linkName, const irr::core::stringw* argument);
// Whether the link name has a hook.
bool hasLinkHook(const irr::core::stringw& linkName);
// Forgets every link hook (exit).
void clearLinkHooks();
