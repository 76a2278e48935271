// Process signals: the operator's request to stop (SIGINT, SIGTERM) and crash
// reports written when the process dies of a fault.
//
// A termination request only sets a flag that the main loop polls, so the
// normal shut-down sequence runs on the main thread. A second request while
// the first is being handled takes the default action (the process ends).
//
// A crash report is a text file with the signal, the fault address and a
// backtrace, written from inside the signal handler. Everything the handler
// needs (the folder, the local time offset, the backtrace machinery) is
// prepared when the handler is installed: the handler itself makes only
// async-signal-safe calls (no allocation, no locks, no locale). Afterwards
// the signal's default action happens as if no handler had been installed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat {

// Installs the handlers of SIGINT and SIGTERM, and ignores SIGPIPE (a closed
// output pipe must not end the server) and SIGTTIN (a server started in the
// background of a terminal must not be stopped for reading it).
void installTerminationHandlers();
// True once SIGINT or SIGTERM arrived, or requestTermination was called.
bool terminationRequested();
void requestTermination();
// Blocks the calling thread until the termination request stands or
// `timeoutMs` milliseconds have passed, and returns terminationRequested().
// Any number of threads may wait; the request wakes them all at once.
bool waitForTermination(unsigned timeoutMs);
// Withdraws the request, so that one process can run several cases that
// request termination. For tests only: a server never takes a request back.
void clearTerminationRequest();

// Local date and time of a crash, as written into the report's file name.
struct CrashTime {
  int day;    // 1..31
  int month;  // 1..12
  int year;
  int hour;    // 0..23
  int minute;  // 0..59
  int second;  // 0..59
};

// Breaks seconds since the epoch (already shifted to local time) into a date
// and time of the proleptic Gregorian calendar. Async-signal-safe.
CrashTime crashTimeFromSeconds(int64_t localSeconds);

// Writes "<folder>QV_<day>-<month>-<year>_<hour>-<minute>-<second>.mdmp"
// (numbers without leading zeros) into `out`. False, with `out` empty, when
// it does not fit into `size` bytes. Async-signal-safe.
bool formatCrashReportPath(char* out, std::size_t size, const char* folder, const CrashTime& time);

// Installs the crash handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT.
// Reports go into `folder` (ending with '/'); `logFd` (or -1) receives the
// lines "Building minidump <path>" or "Could not write out minidump", as the
// log file would. False when the folder path is too long to be used.
bool installCrashHandlers(const char* folder, int logFd);

// Size of the alternate stack the crash handler runs on.
constexpr std::size_t kSignalStackBytes = 64 * 1024;

// Gives the calling thread an alternate signal stack of its own (each thread
// needs one for its stack overflow to be reported), in place of any it had;
// when the thread ends the stack is released and the previous one restored.
// Threads started through ThreadHandle call it. False when no stack could
// be set up. Calls after the first on a thread do nothing.
bool installThreadSignalStack();

}  // namespace plat
