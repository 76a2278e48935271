// autoexec.ini: console commands run at every start, one per line, without
// echo. A missing file is created with a short header of comments.
#pragma once

#include <string>

// The text a new autoexec.ini receives, byte for byte.
extern const char* const kAutoexecHeader;

// Runs the lines of the file at `path` through the console (when the file
// exists and can be read), or creates the file when it does not exist.
void runAutoexec(const std::string& path);
