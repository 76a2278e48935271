// Facts about the running process that start-up needs from the system.
#pragma once

#include <string>

namespace plat {

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed (0 for reading, 1 and 2 for writing), so that no file opened later
// takes one of their numbers. False when one could not be opened.
bool ensureStandardDescriptors();

// The number of logical CPUs in the process's affinity mask; 0 when the mask
// cannot be read or is empty.
unsigned affinityCpuCount();

// The folder holding the running executable, ending with '/'. Taken from the
// system when it can tell, else from the folder part of `argv0`; empty when
// neither names a folder.
std::string executableFolder(const char* argv0);

}  // namespace plat
