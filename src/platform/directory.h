// Folders by path: listing a folder's entries, creating folders, and asking
// what a path names. Nothing here changes the process's working directory,
// so any thread may call it while others open relative paths.
#pragma once

#include <string>
#include <vector>

namespace plat {

struct DirectoryEntry {
  std::string name;          // the entry's own name, without the folder
  bool isDirectory = false;  // a folder, or a link to one
};

// Lists the entries of the folder at `path`, "." and ".." left out, in no
// particular order. False (and `entries` left as it was) when the folder
// cannot be read.
bool listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries);

// Creates the folder at `path` and any missing folders above it (private to
// the user). True when the folder exists afterwards.
bool createDirectories(const std::string& path);

// True when `path` names a regular file (following links).
bool isRegularFile(const std::string& path);
// True when `path` names a folder (following links).
bool isDirectory(const std::string& path);

// The calling process's working directory ("" when it cannot be read).
std::string currentDirectory();

}  // namespace plat
