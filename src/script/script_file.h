// Script files: one top-level file and everything it includes becomes one
// script module.
//
// Files are read through the engine's file system (core/file_access.h), so
// mounted folders and mod overrides apply. A line whose first non-blank text is
//     #include "name.as"
// includes another file, named relative to the including file's folder; the
// directive is overwritten with blanks so the compiler never sees it and line
// numbers stay as they were. Each file is added to a module once, however
// often it is included (cycles included), in depth-first directive order
// after the top-level file. A cache keeps each file read and preprocessed
// once per loading phase. Loading runs on one thread at a time.
#pragma once

#include <angelscript.h>
#include <irrString.h>

#include <string>
#include <vector>

// Thrown by getScriptFile: the file cannot be opened or is empty.
struct FileDNE {
  irr::core::stringc path;
};

struct ScriptFile {
  irr::core::stringc path;         // absolute; also the script section name
  std::vector<char> text;          // the file's bytes and a zero byte, includes blanked
  long size = 0;                   // bytes of the file
  std::vector<ScriptFile*> includes;  // in directive order; the cache owns them
};

// The module a script file becomes by default: the file's base name without
// its extension ("Game Data/scripts/server/interactions.as" gives
// "interactions").
std::string scriptModuleName(const char* path);

// Loads `path` and its includes into module `moduleName` of `engine` (null:
// scriptModuleName(path)) and builds it. Failures are
// logged; a module that builds is recorded for import binding and discarding.
void loadScriptFile(AngelScript::asIScriptEngine* engine, const char* path, const char* moduleName = nullptr);

// Binds the imported functions of every module loaded since the last call,
// logging modules that could not bind them all.
void bindAllModuleImports();

// Forgets every cached file (a later load reads its files again).
void clearScriptFileCache();

// Discards every module that loadScriptFile built, and empties the server
// module records that refer to them.
void discardScriptModules();

// The cached or newly read and preprocessed file. Throws FileDNE.
ScriptFile* getScriptFile(const char* path);
