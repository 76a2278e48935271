// The user's folders and the mods.
//
// Per-user files live in "Corvane/" under the user's application-data folder:
// "Profiles/", "Saves/", "Screenshots/" and "Mods/" inside it. A mod is a
// folder holding a "modinfo.txt" ("Name: ..." and "Derive from: ..."), found
// under "Mods/" beside the executable or under the user's "Corvane/Mods/".
//
// The active mod and the mods it derives from form a chain; applying it hands
// every registered data folder's files to that folder's handlers, a mod's file
// taking the place of the same file of the mods it derives from and of the
// base data. "Derive from: None" leaves the base data out; "base" (or no
// such line) chains to the base data. A mod also moves the user folders to
// "Corvane/Mods/<mod>/" under the user folder.
//
// Mods are named by their display name ("Name") or by their folder's name. A
// name in the chain that is neither, or that holds a path separator or "..",
// ends the chain with "Invalid mod name: <name>" and the base data is used.
// So does a name longer than kMaxModNameLength characters (the message then
// shows its first kMaxModNameLength characters followed by "...").
//
// Nothing here changes the working directory: folders are listed by path.
// Scanning and applying run on the thread that sets up a game session, while
// other threads may read files but do not use these tables.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <functional>
#include <map>

// Each folder ends with '/'.
struct UserFolders {
  irr::core::stringc base;  // prefix of data files read relative to the game or the top mod
  irr::core::stringc game;
  irr::core::stringc saves;
  irr::core::stringc profiles;
  irr::core::stringc screenshots;
};

struct ModInfo {
  irr::core::stringc folder;        // the mod's folder, ending with '/'
  irr::core::stringc parent = "/";  // the "Derive from" name; "/" is the base game
  irr::core::stringw displayName;   // the "Name" value
  bool derives = true;              // false: "Derive from" was empty or "None"

  // The path of `file` (relative to a mod folder) to use for this mod: the
  // mod's own, else the one of the mods it derives from, else `file` itself
  // (the base data's).
  irr::core::stringc resolvePath(const irr::core::stringc& file) const;
};

// The user's application-data folder, without a trailing '/'; set at start-up.
extern irr::core::stringc userDataFolder;
// The folders of the base game or of the applied mod.
extern UserFolders userFolders;
// The active mod by name; the base game is "", ".", "/", or a name beginning
// with "./" or ".\", or whose second character is '\'.
extern irr::core::stringc currentModName;

// Files of a data folder: lower-cased file name -> path of the file to use.
using DataFolderFiles = std::map<irr::core::stringc, irr::core::stringc>;
using DataFolderHandler = std::function<void(const DataFolderFiles& files)>;

// Sets `folders` for the base game under userDataFolder.
void setUserFolders(UserFolders& folders);
// Creates the game, profiles, saves and screenshots folders (with any
// missing folders above them); failures are ignored.
void createUserFolders(const UserFolders& folders);

// True for the names that mean the base game.
bool isBaseGameName(const irr::core::stringc& name);

// Longest mod name: a longer one names no mod.
constexpr std::size_t kMaxModNameLength = 255;
// True when `name` is not too long to be a mod name. Otherwise logs the
// error "Invalid mod name: " with the name cut to kMaxModNameLength
// characters and "...", and returns false: the caller uses the base game.
bool checkModNameLength(const irr::core::stringc& name);

// Rebuilds the mod table from "Mods/" and then the user's "Corvane/Mods/"; a
// mod in both ends with the second one.
void scanMods();
// The mods found, by folder name.
const std::map<irr::core::stringc, ModInfo>& modTable();
// True when currentModName is the base game or a known mod.
bool isCurrentModValid();
// The active mod, or null for the base game or an unknown name.
const ModInfo* getCurrentModInfo();

// Registers `handler` for the data folder `folder` ("Game Data/", "Maps/"...;
// a '/' is added when it does not end with one).
void registerDataFolderHandler(const irr::core::stringc& folder, DataFolderHandler handler);
// Applies the chain that begins with currentModName: calls every data
// folder's handlers with the folder's files, and sets userFolders for the mod.
void applyCurrentMod();
// The folder of the most derived mod applied ("" for the base game).
const irr::core::stringc& topModFolder();
// Empties the handler table and the mod table.
void clearModTables();
