#include "script/script_file.h"

#include <IFileSystem.h>
#include <IReadFile.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "core/file_access.h"
#include "core/log.h"
#include "script/server_modules.h"

using namespace AngelScript;

namespace {

// Every file read in this loading phase, by absolute path.
std::map<std::string, std::unique_ptr<ScriptFile>> scriptFileCache;
// (engine, module) of every module that built, and of those with imports.
std::vector<std::pair<asIScriptEngine*, std::string>> loadedScriptModules;
std::vector<std::pair<asIScriptEngine*, std::string>> modulesWithImports;
// Paths already added to the module being loaded.
std::set<std::string> addedScriptFiles;

constexpr char kIncludeWord[] = "include";
constexpr size_t kIncludeWordLength = sizeof kIncludeWord - 1;

bool isBlank(char c) { return c == ' ' || c == '\t'; }


// An included name, relative to the folder of the including file. A name
// beginning with "/" is taken from that folder too.
irr::io::path resolveInclude(const ScriptFile& including, const irr::io::path& name) {
  const FileSystemAccess access;
  irr::io::IFileSystem& files = *access.get();
  irr::io::path nameFolder = files.getFileDir(name);
  while (!nameFolder.empty() && (nameFolder[0] == '/' || nameFolder[0] == '\\'))
    nameFolder.erase(0);
  irr::io::path folder = files.getFileDir(including.path);
  folder += "/";
  folder += nameFolder;
  folder += "/";
  files.flattenFilename(folder, "/");
  return folder + files.getFileBasename(name, true);
}

// Where the directive that begins at `hash` ends: the end of the text, a line
// end, or the start of a comment.
size_t directiveEnd(const char* text, size_t size, size_t hash) {
  size_t at = hash + 1;
  while (at < size) {
    const char c = text[at];
    if (c == '\n' || c == '\r')
      break;
    if (c == '/' && at + 1 < size && (text[at + 1] == '*' || text[at + 1] == '/'))
      break;
    ++at;
  }
  return at;
}

// Handles a "#include" directive between `hash` and `end` on line `line`:
// reads the named file into the record's includes and blanks the directive.
// Anything else starting with "#" is left for the compiler.
void handleDirective(ScriptFile& file, size_t hash, size_t end, int line) {
  char* text = file.text.data();
  const size_t word = hash + 1;
  if (end - word < kIncludeWordLength || std::memcmp(text + word, kIncludeWord, kIncludeWordLength) != 0)
    return;
  const char* open = static_cast<const char*>(
      std::memchr(text + word + kIncludeWordLength, '"', end - word - kIncludeWordLength));
  if (open == nullptr)
    return;
  const char* close = static_cast<const char*>(std::memchr(open + 1, '"', text + end - (open + 1)));
  if (close == nullptr || close == open + 1)
    return;

  const irr::io::path name(open + 1, static_cast<irr::u32>(close - open - 1));
  const irr::io::path resolved = resolveInclude(file, name);
  try {
    file.includes.push_back(getScriptFile(resolved.c_str()));
  } catch (const FileDNE&) {
    logError("AS Error: #include \"%s\"\n File Does Not Exist\n Line: %i\n", resolved.c_str(), line);
  }
  std::memset(text + hash, ' ', end - hash);
}

// Finds every "#include" at the start of a line (after blanks) and outside
// comments. Line numbers count line feeds.
void preprocessIncludes(ScriptFile& file) {
  const size_t size = static_cast<size_t>(file.size);
  int line = 1;
  size_t at = 0;
  for (;;) {
    // A line: skip blanks; a "#" first is a directive.
    while (at < size && isBlank(file.text[at]))
      ++at;
    if (at >= size)
      return;
    if (file.text[at] == '#') {
      const size_t end = directiveEnd(file.text.data(), size, at);
      handleDirective(file, at, end, line);
    }

    // The next line begins at the first character after a line break that
    // is not inside a comment.
    bool lineBreak = false;
    bool blockComment = false;
    bool lineComment = false;
    for (;;) {
      if (at >= size)
        return;
      const char c = file.text[at];
      const char next = at + 1 < size ? file.text[at + 1] : '\0';
      if (c == '\n') {
        ++line;
        lineBreak = true;
        lineComment = false;
        ++at;
      } else if (c == '\r') {
        lineBreak = true;
        lineComment = false;
        ++at;
      } else if (blockComment) {
        if (c == '*' && next == '/') {
          blockComment = false;
          at += 2;
          if (lineBreak)
            break;
        } else {
          ++at;
        }
      } else if (lineComment) {
        ++at;
      } else if (lineBreak) {
        break;
      } else if (c == '/' && next == '*') {
        blockComment = true;
        at += 2;
      } else if (c == '/' && next == '/') {
        lineComment = true;
        at += 2;
      } else {
        ++at;
      }
    }
  }
}

void addScriptFileToModule(ScriptFile& file, asIScriptEngine* engine, const char* moduleName) {
  if (!addedScriptFiles.insert(file.path.c_str()).second)
    return;
  asIScriptModule* module = engine->GetModule(moduleName, asGM_CREATE_IF_NOT_EXISTS);
  if (module == nullptr)
    return;
  module->AddScriptSection(file.path.c_str(), file.text.data(), static_cast<size_t>(file.size), 0);
  for (ScriptFile* included : file.includes)
    addScriptFileToModule(*included, engine, moduleName);
}

}  // namespace

std::string scriptModuleName(const char* path) {
  std::string name(path);
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos)
    name.erase(dot);
  return name;
}

ScriptFile* getScriptFile(const char* path) {
  if (path == nullptr)
    throw FileDNE{""};
  irr::io::IReadFile* opened = nullptr;
  {
    const FileSystemAccess access;
    if (access.get() != nullptr)
      opened = access->createAndOpenFile(path);
  }
  if (opened == nullptr)
    throw FileDNE{path};
  const long size = opened->getSize();
  // The opened file's own name is its absolute path. (The file system's
  // getAbsolutePath cannot be used: for a file found only in a mounted folder
  // it gives the working directory's version of the name's folder.)
  const std::string absolute = opened->getFileName().c_str();
  auto cached = scriptFileCache.find(absolute);
  if (cached != scriptFileCache.end()) {
    opened->drop();
    return cached->second.get();
  }
  if (size <= 0) {
    opened->drop();
    throw FileDNE{path};
  }

  auto file = std::make_unique<ScriptFile>();
  file->path = absolute.c_str();
  file->size = size;
  file->text.assign(static_cast<size_t>(size) + 1, '\0');
  const irr::s32 read = opened->read(file->text.data(), static_cast<irr::u32>(size));
  opened->drop();
  if (read != size)
    throw FileDNE{path};

  // Cached before its includes are read, so that a cycle ends here.
  ScriptFile* record = file.get();
  scriptFileCache.emplace(absolute, std::move(file));
  preprocessIncludes(*record);
  return record;
}

void loadScriptFile(asIScriptEngine* engine, const char* path, const char* moduleName) {
  if (engine == nullptr || path == nullptr)
    return;
  const std::string module = moduleName != nullptr ? std::string(moduleName) : scriptModuleName(path);
  ScriptFile* file = nullptr;
  try {
    file = getScriptFile(path);
  } catch (const FileDNE&) {
    logError("Failed to load script file \"%s\"\n File does not exist or can't be accessed\n", path);
  }
  if (file != nullptr) {
    addScriptFileToModule(*file, engine, module.c_str());
    logInfo("Loading script file: %s\n", path);
    asIScriptModule* built = engine->GetModule(module.c_str(), asGM_ONLY_IF_EXISTS);
    if (built != nullptr && built->Build() == 0) {
      loadedScriptModules.emplace_back(engine, module);
      if (built->GetImportedFunctionCount() > 0)
        modulesWithImports.emplace_back(engine, module);
    }
  }
  addedScriptFiles.clear();
}

void bindAllModuleImports() {
  for (const auto& [engine, name] : modulesWithImports) {
    asIScriptModule* module = engine->GetModule(name.c_str(), asGM_ONLY_IF_EXISTS);
    if (module == nullptr)
      continue;
    const int result = module->BindAllImportedFunctions();
    if (result == asCANT_BIND_ALL_FUNCTIONS)
      logError("Unable to bind all functions for module \"%s\"\n", name.c_str());
    else if (result != 0)
      logError("Unknown error while binding functions for module \"%s\"\n", name.c_str());
  }
  modulesWithImports.clear();
}

void clearScriptFileCache() { scriptFileCache.clear(); }

void discardScriptModules() {
  for (const auto& [engine, name] : loadedScriptModules)
    engine->DiscardModule(name.c_str());
  loadedScriptModules.clear();
  clearServerModules();
}
