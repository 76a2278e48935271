// autoexec.ini: console commands run at every start, one per line, without
// echo. A missing file is created with a short header of comments. Anything
// at that path but a regular file of at most kMaxAutoexecBytes is neither
// read nor replaced: an error naming it is logged.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

// Largest autoexec.ini read.
constexpr uint64_t kMaxAutoexecBytes = plat::kMaxUserFileBytes;

// The text a new autoexec.ini receives, byte for byte.
extern const char* const kAutoexecHeader;

// Runs the lines of the file at `path` through the console (when the file
// exists and can be read), or creates the file when nothing is at `path`.
void runAutoexec(const std::string& path);
