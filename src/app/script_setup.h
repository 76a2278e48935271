// The script set-up of a game session: the two script engines with every
// binding, the compiled scripts, and the data files that scripts and
// formulas need.
//
// setupScriptEngines runs these steps in order (the four "===" banners are
// logged around the three phases with their elapsed milliseconds):
//
//  "Hooking script functions"
//   1. both engines (server, then client), each with its message callback;
//   2. on each engine: math, string, the array add-on (the default array
//      type "T[]"), dictionary;
//   3. the bindings, in the order of ScriptSetupSlots below (each
//      registration checked, see setupScriptEngines), with the script
//      host's own among them: evaluateFormula and the script XML types after
//      the order bindings, the client/server messages and the core globals
//      after the template argument type;
//   4. "void rightClickMenu(Object@,Object@)" (client), "void
//      updateLoadScreen(const string &)" (server), the printable types;
//  "Loading/Building scripts"
//   5. each server script as a module named after its file, then that
//      module's server hooks; each client script; each GUI script, built as
//      a GUI module; the imports of all modules bound, the file cache dropped;
//   6. the hooks of the "planet" and "ship" modules;
//  "Loading game data files"
//   7. the formula constants file; game settings and formula constants
//      merged (a name in both ends with the setting's value); the sub-system
//      scale limits from "SS_MIN_SCALE" and "SS_MAX_SCALE";
//   8. treaty clauses ("Game Data/treaties.xml"), the formula built-ins,
//      diplomacy strings ("Game Data/diplomacy_strings.txt"); then effects,
//      technologies, effectors and sub-systems from their file lists.
// Each file list and path of sessionDataFiles is emptied once used.
//
// Registration and loading that belong to subsystems built after the script
// host go through the slots of `scriptSetupSlots`, each filled by the
// subsystem that owns it; an empty slot is skipped.
#pragma once

#include <irrString.h>

#include <atomic>
#include <vector>

class Thread;

struct ScriptSetupSlots {
  using Registration = void (*)();
  using FileLoader = void (*)(const irr::core::stringc& path);
  using ListLoader = void (*)(const std::vector<irr::core::stringc>& files);

  // Bindings, in registration order. The first, the GUI bindings
  // (registerGuiBindings), begins with the value types every later binding
  // may name, such as "Color".
  Registration guiBindings = nullptr;
  Registration clientSubSystemBindings = nullptr;
  Registration clientTreatyTypes = nullptr;
  Registration clientResearchTypes = nullptr;
  // The type "Empire" on both engines (bindEmpireScriptType).
  Registration empireType = nullptr;
  Registration serverTreatyTypes = nullptr;
  Registration treatyListType = nullptr;
  Registration objectBindings = nullptr;
  Registration empireObjectsType = nullptr;
  Registration fleetType = nullptr;
  Registration eventType = nullptr;
  Registration subSystemReferenceType = nullptr;
  Registration effectorTypes = nullptr;
  Registration galaxyGenerationBindings = nullptr;
  Registration clientGlobals = nullptr;
  Registration orderBindings = nullptr;
  Registration templateArgumentType = nullptr;
  Registration serverResearchTypes = nullptr;
  Registration serverSubSystemBindings = nullptr;
  // "void rightClickMenu(Object@,Object@)" on the client engine.
  Registration rightClickMenu = nullptr;

  // The loading screen that "void updateLoadScreen(const string &)" feeds.
  void (*showLoadingScreen)(const wchar_t* text) = nullptr;
  // Builds the client module of that name as a GUI module.
  void (*buildGuiModule)(const char* module) = nullptr;
  // Finds the hooks of the "planet" and "ship" script modules.
  Registration findObjectScriptHooks = nullptr;

  // Data files.
  FileLoader loadTreatyClauses = nullptr;
  FileLoader loadDiplomacyStrings = nullptr;
  ListLoader loadEffects = nullptr;
  ListLoader loadTechnologies = nullptr;
  ListLoader loadEffectors = nullptr;
  ListLoader loadSubSystems = nullptr;
};
extern ScriptSetupSlots scriptSetupSlots;

// The set-up above; sets `done` (when given) as its last step. Every
// registration is checked (script/script_registration.h): when one was
// rejected, it logs "Script set-up failed: <n> script bindings were
// rejected", builds no script, loads no data and returns false (false too
// when the engines cannot be made). scriptRegistrationsRejected() tells the
// thread that waited for `done`.
bool setupScriptEngines(std::atomic<bool>* done);

// Runs the set-up as a game session loads: with `threaded`, logs "Loading
// using multiple threads" (info level) and starts it on a thread of its own,
// held in `thread`, whose per-thread record is set up first and torn down
// before `done` is set; otherwise runs it on the calling thread. False when
// the thread could not be started (logged); the set-up then runs here.
bool startScriptSetup(bool threaded, std::atomic<bool>& done, Thread& thread);

// Undoes the set-up at the end of a session: discards the script modules and
// their server module records, and releases the server engine and then the
// client engine.
void tearDownScriptEngines();
