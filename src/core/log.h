// The log: one channel through which every part of the server reports
// progress, warnings and errors.
//
// A message is formatted printf-style into one shared buffer and handed, as a
// finished narrow text, to every registered sink in registration order. The
// four entry points differ only in the level at which they fall silent:
//
//   logPrint    always
//   logInfo     while the level is 0 or less (information)
//   logWarning  while the level is 1 or less (warnings)
//   logError    while the level is 2 or less (errors)
//
// The level is read from the engine logger on every call; until one is set,
// every entry point prints. Messages carry their own line ends.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace irr {
class ILogger;
}

// A log output: receives the finished text, valid only during the call.
using LogSink = void (*)(const char* text);

// Longest formatted message, terminator included; longer texts are cut.
constexpr std::size_t kLogBufferSize = 10240;
// Number of sink places.
constexpr int kMaxLogSinks = 7;

// Log levels on the server's own scale.
constexpr int kLogLevelInfo = 0;
constexpr int kLogLevelWarnings = 1;
constexpr int kLogLevelErrors = 2;

// The level the server wants, set from the command line (initially errors only).
extern int logLevel;

void logPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Loader messages: printed at any level, unless the engine logger is set to
// log nothing at all.
void logUnlessSilent(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Puts a sink into the first free place. False when all places are taken.
bool addLogSink(LogSink sink);
// Takes a sink out, moving the later ones forward; nothing when it is absent.
void removeLogSink(LogSink sink);
// The console registers its sink here too, so shut-down can remove it.
void setConsoleLogSink(LogSink sink);
void removeConsoleLogSink();
// The sinks in table order (for tests and diagnostics); returns the count.
int logSinks(LogSink (&out)[kMaxLogSinks]);

// Opens the log file at `path` for writing, emptied. Only a regular file or a
// missing one (created) is taken: a pipe, a device or a folder is refused
// without blocking. Null on failure, with `reason` set to the system's text.
std::FILE* openLogFile(const std::string& path, std::string& reason);
// A sink that writes to standard error: it stands in for the log file when
// that cannot be opened, until the console's sink takes over.
void standardErrorLogSink(const char* text);

// The engine logger whose level the entry points obey (null: print always).
void setEngineLogger(irr::ILogger* logger);
irr::ILogger* engineLogger();
// Sets the engine logger's level from a level on the server's scale.
// The engine numbers its levels one higher (debug 0, information 1,
// warning 2, error 3); the mapping lives only here.
void setEngineLogLevel(int level);
// The current level on the server's scale (the engine's, mapped back), or
// `logLevel` when no engine logger is set.
int currentLogLevel();
