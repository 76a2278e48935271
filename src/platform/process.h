// Facts about the running process that start-up needs from the system.
#pragma once

#include <string>

namespace plat {

// The number of logical CPUs in the process's affinity mask; 0 when the mask
// cannot be read or is empty.
unsigned affinityCpuCount();

// The folder holding the running executable, ending with '/'. Taken from the
// system when it can tell, else from the folder part of `argv0`; empty when
// neither names a folder.
std::string executableFolder(const char* argv0);

}  // namespace plat
