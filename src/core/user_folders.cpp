#include "core/user_folders.h"

#include <set>
#include <vector>

#include "core/data_file.h"
#include "core/file_access.h"
#include "core/log.h"
#include "platform/directory.h"

using irr::core::stringc;
using irr::core::stringw;

stringc userDataFolder;
UserFolders userFolders;
stringc currentModName;

namespace {

constexpr const char* kGameFolder = "/Corvane/";
constexpr const char* kModsFolder = "Mods/";
constexpr const char* kModInfoFile = "modinfo.txt";

struct DataFolderEntry {
  std::vector<DataFolderHandler> handlers;
  DataFolderFiles files;
};

std::map<stringc, ModInfo> mods;
std::map<stringc, DataFolderEntry> dataFolders;
stringc topFolder;      // folder of the most derived mod applied
stringc topFolderName;  // its name in the mod table

// A name with a separator, or "." or "..", would reach outside the mod folders.
bool holdsPathParts(const stringc& name) {
  return name.findFirst('/') >= 0 || name.findFirst('\\') >= 0 || name == "." || name == "..";
}

void setFoldersUnder(UserFolders& folders, const stringc& base, const stringc& game) {
  folders.base = base;
  folders.game = game;
  folders.profiles = game + "Profiles/";
  folders.saves = game + "Saves/";
  folders.screenshots = game + "Screenshots/";
}

void logInvalidModName(const stringc& name) {
  if (name.size() <= kMaxModNameLength)
    logError("Invalid mod name: %s\n", name.c_str());
  else
    logError("Invalid mod name: %s...\n", name.subString(0, kMaxModNameLength).c_str());
}

// The mod of that name: by display name first, then by folder name. Names
// that could reach outside the mod folders, or too long to be mod names, are
// never mods.
const ModInfo* findMod(const stringc& name) {
  if (name.empty() || name.size() > kMaxModNameLength || holdsPathParts(name))
    return nullptr;
  const stringw wide = widenText(name);
  for (const auto& entry : mods)
    if (entry.second.displayName == wide)
      return &entry.second;
  const auto byFolder = mods.find(name);
  return byFolder != mods.end() ? &byFolder->second : nullptr;
}

const stringc* folderNameOf(const ModInfo* mod) {
  for (const auto& entry : mods)
    if (&entry.second == mod)
      return &entry.first;
  return nullptr;
}

// Drops one pair of surrounding quotes (a trailing one only when it matches
// the leading one).
stringw unquoteName(const stringw& value) {
  if (value.empty() || (value[0] != L'"' && value[0] != L'\''))
    return value;
  const wchar_t quote = value[0];
  stringw inner = value.subString(1, value.size() - 1);
  if (!inner.empty() && inner.lastChar() == quote)
    inner = inner.subString(0, inner.size() - 1);
  return inner;
}

void readModInfo(const stringc& path, ModInfo& mod) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(path, lines, kDataFileClean | kDataFileCutComments)) {
    logWarning("Failed to load mod info file: Bad File \"%s\"\n", path.c_str());
    return;
  }
  for (const NumberedLine& line : lines) {
    stringw key, value;
    if (!splitKeyValue(line.text, key, value))
      continue;
    if (key == L"Name") {
      mod.displayName = unquoteName(value);
      mod.displayName.replace(L'/', L'|');
      mod.displayName.replace(L'\\', L'|');
    } else if (key == L"Derive from") {
      if (value.empty() || value.equals_ignore_case(L"none"))
        mod.derives = false;
      if (!value.equals_ignore_case(L"base"))
        mod.parent = stringc(value.c_str());
    }
  }
}

void scanModFolder(const stringc& folder) {
  std::vector<plat::DirectoryEntry> entries;
  if (!plat::listDirectory(folder.c_str(), entries))
    return;
  for (const plat::DirectoryEntry& entry : entries) {
    const stringc name = entry.name.c_str();
    if (!entry.isDirectory || name.empty() || name[0] == '.' || holdsPathParts(name))
      continue;
    stringc modFolder = folder;
    modFolder += name;
    modFolder += '/';
    const stringc infoPath = modFolder + kModInfoFile;
    if (!fileExists(infoPath))
      continue;
    ModInfo& mod = mods[name];
    mod = ModInfo();
    mod.folder = modFolder;
    readModInfo(infoPath, mod);
  }
}

// Enters the files of every data folder under `folder` ("" for the base
// data) that no mod applied earlier provides.
void collectFiles(const stringc& folder) {
  for (auto& entry : dataFolders) {
    const stringc listed = folder + entry.first;
    std::vector<plat::DirectoryEntry> files;
    if (!plat::listDirectory(listed.c_str(), files))
      continue;
    for (const plat::DirectoryEntry& file : files) {
      if (file.isDirectory)
        continue;
      stringc key = file.name.c_str();
      key.make_lower();
      if (entry.second.files.find(key) == entry.second.files.end())
        entry.second.files[key] = listed + file.name.c_str();
    }
  }
}

// Applies the chain that begins with `name`, most derived mod first, so that
// an entry made earlier is never replaced.
void applyChain(stringc name) {
  std::set<const ModInfo*> applied;
  for (;;) {
    if (isBaseGameName(name)) {
      collectFiles("");
      return;
    }
    const ModInfo* mod = findMod(name);
    if (mod == nullptr || !applied.insert(mod).second) {
      logInvalidModName(name);
      collectFiles("");
      return;
    }
    if (topFolder.empty()) {
      topFolder = mod->folder;
      topFolderName = *folderNameOf(mod);
    }
    collectFiles(mod->folder);
    if (!mod->derives)
      return;
    name = mod->parent;
  }
}

}  // namespace

stringc ModInfo::resolvePath(const stringc& file) const {
  std::set<const ModInfo*> visited;
  for (const ModInfo* mod = this; mod != nullptr && visited.insert(mod).second;) {
    const stringc path = mod->folder + file;
    if (fileExists(path))
      return path;
    if (!mod->derives || isBaseGameName(mod->parent))
      break;
    mod = findMod(mod->parent);
  }
  return file;
}

void setUserFolders(UserFolders& folders) { setFoldersUnder(folders, "./", userDataFolder + kGameFolder); }

void createUserFolders(const UserFolders& folders) {
  for (const stringc* folder : {&folders.game, &folders.profiles, &folders.saves, &folders.screenshots})
    if (!folder->empty())
      plat::createDirectories(folder->c_str());
}

bool isBaseGameName(const stringc& name) {
  return name.empty() || name == "." || name == "/" || name.equalsn("./", 2) || name.equalsn(".\\", 2) ||
         (name.size() >= 2 && name[1] == '\\');
}

bool checkModNameLength(const stringc& name) {
  if (name.size() <= kMaxModNameLength)
    return true;
  logInvalidModName(name);
  return false;
}

void scanMods() {
  mods.clear();
  scanModFolder(kModsFolder);
  scanModFolder(userDataFolder + kGameFolder + kModsFolder);
}

const std::map<stringc, ModInfo>& modTable() { return mods; }

bool isCurrentModValid() { return isBaseGameName(currentModName) || findMod(currentModName) != nullptr; }

const ModInfo* getCurrentModInfo() { return isBaseGameName(currentModName) ? nullptr : findMod(currentModName); }

void registerDataFolderHandler(const stringc& folder, DataFolderHandler handler) {
  stringc prefix = folder;
  prefix.replace('\\', '/');
  if (prefix.empty() || prefix.lastChar() != '/')
    prefix += '/';
  dataFolders[prefix].handlers.push_back(std::move(handler));
}

void applyCurrentMod() {
  for (auto& entry : dataFolders)
    entry.second.files.clear();
  topFolder = "";
  topFolderName = "";

  applyChain(currentModName);

  for (auto& entry : dataFolders) {
    for (const DataFolderHandler& handler : entry.second.handlers)
      handler(entry.second.files);
    entry.second.files.clear();
  }

  if (topFolder.empty())
    setUserFolders(userFolders);
  else
    setFoldersUnder(userFolders, topFolder, userDataFolder + kGameFolder + kModsFolder + topFolderName + "/");
}

const stringc& topModFolder() { return topFolder; }

void clearModTables() {
  dataFolders.clear();
  mods.clear();
}
