// Runs the body of a test that opens sockets in a forked child inside a
// private network namespace (only loopback up, see private_network.h), so
// that nothing it sends leaves the machine and every child has every port to
// itself.
//
// The body may use the usual assertions: the child prints its failures as
// they happen and its exit code fails the test in the parent. An alarm ends
// a child that hangs; under AddressSanitizer the child also checks for
// leaks before it exits.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "support/private_network.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace privatenet {

// Exit codes of the child beside 0 (passed) and 1 (an assertion failed).
constexpr int kChildNoNamespace = 125;
constexpr int kChildLeaked = 124;

inline void runInPrivateNetwork(const std::function<void()>& body, unsigned seconds = 300) {
  if (availableIsolation() == Isolation::None)
    GTEST_SKIP() << "no private network namespace can be made here";
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0) << std::strerror(errno);
  if (child == 0) {
    ::alarm(seconds);
    if (enterPrivateNetwork() == Isolation::None)
      ::_exit(kChildNoNamespace);
    body();
    int code = ::testing::Test::HasFailure() ? 1 : 0;
#if defined(__SANITIZE_ADDRESS__)
    if (__lsan_do_recoverable_leak_check() != 0)
      code = kChildLeaked;
#endif
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  if (WIFSIGNALED(status)) {
    ADD_FAILURE() << "the test's child ended by signal " << WTERMSIG(status)
                  << (WTERMSIG(status) == SIGALRM ? " (it ran out of time)" : "");
    return;
  }
  ASSERT_TRUE(WIFEXITED(status));
  const int childExit = WEXITSTATUS(status);
  EXPECT_EQ(childExit, 0) << "the test's child failed (its output is above): "
                          << (childExit == kChildLeaked        ? "leaks"
                              : childExit == kChildNoNamespace ? "no private network"
                                                               : "assertions");
}

}  // namespace privatenet
