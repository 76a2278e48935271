// Where the user's own files live.
#pragma once

#include <string>

namespace plat {

// The user's application-data folder, without a trailing '/':
// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share (the
// home folder from the user database when $HOME is unset), else ".".
std::string userAppDataFolder();

}  // namespace plat
