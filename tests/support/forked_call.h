// Runs a call that could block for ever (opening a named pipe, reading a
// device) in a forked child that an alarm ends, so that a test whose fault
// comes back fails instead of hanging.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

// The exit code of `body` run in a child process, or -1 when the child did
// not exit by itself (the alarm after `seconds` ended it: the call blocked).
inline int runInChild(const std::function<int()>& body, unsigned seconds = 10) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0)
    return -2;
  if (child == 0) {
    ::alarm(seconds);
    ::_exit(body());
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
