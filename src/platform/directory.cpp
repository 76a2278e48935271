#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace plat {

namespace {

bool statMode(const std::string& path, mode_t& mode) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0)
    return false;
  mode = info.st_mode;
  return true;
}

}  // namespace

bool listDirectory(const std::string& path, std::vector<DirectoryEntry>& entries) {
  DIR* folder = opendir(path.empty() ? "." : path.c_str());
  if (folder == nullptr)
    return false;
  std::string prefix = path;
  if (!prefix.empty() && prefix.back() != '/')
    prefix += '/';

  std::vector<DirectoryEntry> found;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    DirectoryEntry item;
    item.name = name;
    if (entry->d_type == DT_DIR)
      item.isDirectory = true;
    else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)
      item.isDirectory = isDirectory(prefix + name);
    found.push_back(std::move(item));
  }
  closedir(folder);
  entries.insert(entries.end(), found.begin(), found.end());
  return true;
}

bool createDirectories(const std::string& path) {
  if (path.empty())
    return false;
  if (isDirectory(path))
    return true;
  // Create each level in turn; a level that already exists is fine.
  for (std::string::size_type end = path.find('/', 1); ; end = path.find('/', end + 1)) {
    const std::string level = path.substr(0, end);
    if (!level.empty() && mkdir(level.c_str(), 0700) != 0 && errno != EEXIST)
      return false;
    if (end == std::string::npos)
      break;
  }
  return isDirectory(path);
}

bool isRegularFile(const std::string& path) {
  mode_t mode = 0;
  return statMode(path, mode) && S_ISREG(mode);
}

bool isDirectory(const std::string& path) {
  mode_t mode = 0;
  return statMode(path, mode) && S_ISDIR(mode);
}

std::string currentDirectory() {
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr)
    return std::string();
  return buffer;
}

}  // namespace plat
