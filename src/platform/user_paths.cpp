#include "platform/user_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace plat {

namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd record;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &record, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/')
    return found->pw_dir;
  return std::string();
}

}  // namespace

std::string userAppDataFolder() {
  // A relative XDG_DATA_HOME is invalid and ignored.
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && dataHome[0] == '/')
    return withoutTrailingSlashes(dataHome);
  const std::string home = homeFolder();
  if (!home.empty()) {
    std::string base = withoutTrailingSlashes(home);
    if (base == "/")
      base.clear();
    return base + "/.local/share";
  }
  return ".";
}

}  // namespace plat
