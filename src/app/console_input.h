// The console on standard input and output, for headless operation.
//
// A reader thread takes lines from a file descriptor (standard input) and
// queues them; the main thread runs them through the console as if typed
// into its input line (echoed). The end of the input ends only the reader.
#pragma once

#include <cstddef>

// Longest line taken; a longer one is refused with an error, not cut.
constexpr std::size_t kMaxConsoleInputLine = 4096;

// Starts the reader thread on `fd`. One reader per process.
bool startConsoleInput(int fd);
// Runs every line read since the last call, in order, on the calling thread.
// Returns the number of lines handled.
int runConsoleInput();
// True once the reader has seen the end of its input.
bool consoleInputEnded();

// A console mirror (see Console::setMirror) that writes UTF-8 to standard
// output.
void mirrorConsoleToStdout(const wchar_t* text, std::size_t length);
