// Server script modules: every server script file is a module of the server
// engine that the game session runs as a free-standing piece of game logic,
// through three optional hooks, each found by its exact declaration:
//
//   "void init()"                        once, when the session starts
//   "void tick(float)"                   once per simulation frame
//   "void onSaveFileWrite(XMLWriter@)"   while a saved game is written
//
// and, when a saved game is loaded, "void onSaveFileLoad(XMLReader@)" with
// the XML the module wrote.
//
// The session drives them: findHooks after each server script file is
// loaded, initServerModules at the start, tickServerModules every frame (on
// the server-module worker or inline), saveServerModules and
// loadScriptModuleRecords with the saved game, and clearServerModules when
// it ends (discardScriptModules and createScriptEngines also empty the list,
// so no record outlives the engine it was made for). The runners call the
// hooks on the calling thread's own server context. The list has no lock:
// the session keeps set-up, init, tick and saving apart in time.
//
// Saved records follow each other at the end of a saved game, no count and
// no terminator:
//   u8  engine marker (1 server module, 0 GUI module of the client engine;
//       only from version 34)
//   u32 XML length in bytes (1 to 999,999)
//   u16 name length, then the module name's bytes
//   the XML bytes
#pragma once

#include <angelscript.h>
#include <irrString.h>

#include <cstdint>
#include <vector>

#include "core/save_stream.h"

namespace scripted_manager {

struct script_module {
  // Function ids of the hooks in the server engine, or a negative engine
  // code when absent (-15: no module of that name).
  int initFunc = -1;
  int tickFunc = -1;
  int saveFunc = -1;
  // Tick failures still tolerated: the fourth failure removes the module.
  int tickFailuresLeft = 3;
  irr::core::stringc name;  // the module's name: its file's base name

  // Appends the record of server-engine module `moduleName` with its hooks.
  static void findHooks(const char* moduleName);
};

}  // namespace scripted_manager

// The records, in the order the modules were added.
extern std::vector<scripted_manager::script_module> serverModules;

// Runs each init hook once. A module whose init cannot be prepared or does
// not finish is logged and removed (its script module stays in the engine).
void initServerModules();
// Runs each tick hook once with the seconds since the last simulation frame.
// A failure prints the exception report; the fourth failure in a module's
// lifetime logs "Server Module '<name>' failed its void tick(float) call too
// many times" and removes it. Successes never restore the allowance.
void tickServerModules(float elapsedSeconds);
// Runs each save hook with a writer on memory and appends a record for each
// module that wrote something. A module that writes 1,000,000 bytes or more
// is logged by name and gets no record, so the save stays loadable.
void saveServerModules(SaveStream& stream);
// The save writer of the server and the GUI modules: runs each hook (a
// function id of `context`'s engine, skipped when negative or when it cannot
// be prepared) on `context` with a writer on memory, and writes a record
// with `marker` for each module that wrote 1 to 999,999 bytes. A module that
// wrote 1,000,000 bytes or more is logged as "<kind> '<name>' wrote
// 1,000,000 bytes or more ..." and gets no record.
struct ModuleSaveHook {
  int functionId;
  const irr::core::stringc* name;
};
void writeModuleRecords(SaveStream& stream, AngelScript::asIScriptContext* context, uint8_t marker,
                        const char* kind, const std::vector<ModuleSaveHook>& hooks);
// Reads the module records (server and GUI modules alike) until the end of
// the stream and hands each module's XML to its "void onSaveFileLoad(
// XMLReader@)" on a new context; records of missing modules or hooks are
// skipped. Throws kSaveErrorModuleDataSize for a length of 0 or above
// 999,999 and kSaveErrorModuleDataEOF when the data is cut off.
void loadScriptModuleRecords(SaveStream& stream);
// Removes the record at `index`; the records behind it move down.
void removeServerModule(size_t index);
// Removes every record (end of a game session).
void clearServerModules();

// Longest XML a module record holds, in bytes.
constexpr uint32_t kMaxModuleSaveBytes = 999999;
// First save version whose module records carry the engine marker.
constexpr int32_t kModuleEngineMarkerVersion = 34;

constexpr SaveFileError kSaveErrorModuleDataSize{
    5, "Attempted to create script file in excess of 1 MiB, or an empty file"};
constexpr SaveFileError kSaveErrorModuleDataEOF{4, "Unexpected end of file within mass data"};
