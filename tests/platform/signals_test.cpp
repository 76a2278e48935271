#include "platform/signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <thread>

namespace signals_test {

namespace {

TEST(CrashReportName, LocalTimeToFileName) {
  struct Case {
    int64_t seconds;  // local seconds since the epoch
    const char* expected;
  };
  const Case cases[] = {
      {1770127509, "/u/Corvane/QV_3-2-2026_14-5-9.mdmp"},  // no leading zeros
      {0, "/u/Corvane/QV_1-1-1970_0-0-0.mdmp"},
      {951782400, "/u/Corvane/QV_29-2-2000_0-0-0.mdmp"},  // leap day of a 400-year
      {4107542399, "/u/Corvane/QV_28-2-2100_23-59-59.mdmp"},
      {4107542400, "/u/Corvane/QV_1-3-2100_0-0-0.mdmp"},  // 2100 is no leap year
      {-1, "/u/Corvane/QV_31-12-1969_23-59-59.mdmp"},
  };
  for (const Case& c : cases) {
    char path[128];
    ASSERT_TRUE(plat::formatCrashReportPath(path, sizeof path, "/u/Corvane/", plat::crashTimeFromSeconds(c.seconds)));
    EXPECT_STREQ(path, c.expected) << c.seconds;
  }
}

TEST(CrashReportName, RefusesWhatDoesNotFit) {
  const plat::CrashTime time{3, 2, 2026, 14, 5, 9};
  const std::string full = "/u/QV_3-2-2026_14-5-9.mdmp";
  char path[64];
  EXPECT_TRUE(plat::formatCrashReportPath(path, full.size() + 1, "/u/", time));
  EXPECT_EQ(path, full);
  EXPECT_FALSE(plat::formatCrashReportPath(path, full.size(), "/u/", time));
  EXPECT_STREQ(path, "");
}

TEST(TerminationHandlers, BackgroundReadsAndClosedPipesAreIgnored) {
  const int signals[] = {SIGINT, SIGTERM, SIGPIPE, SIGTTIN};
  struct sigaction saved[4];
  for (int i = 0; i < 4; ++i)
    sigaction(signals[i], nullptr, &saved[i]);

  plat::installTerminationHandlers();
  for (int signal : {SIGPIPE, SIGTTIN}) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN) << signal;
  }

  for (int i = 0; i < 4; ++i)
    sigaction(signals[i], &saved[i], nullptr);
}

// A waiter sleeps until the request arrives and then wakes; later waits
// return at once while the request stands.
TEST(TerminationRequest, WakesWaiters) {
  plat::clearTerminationRequest();
  EXPECT_FALSE(plat::waitForTermination(0));
  EXPECT_FALSE(plat::waitForTermination(5));

  bool woke = false;
  std::thread waiter([&woke] {
    // Bounded: a request that does not wake the waiter fails the test.
    for (int round = 0; round < 100 && !woke; ++round)
      woke = plat::waitForTermination(100);
  });
  plat::requestTermination();
  waiter.join();
  EXPECT_TRUE(woke);
  EXPECT_TRUE(plat::terminationRequested());
  EXPECT_TRUE(plat::waitForTermination(0));

  plat::clearTerminationRequest();
  EXPECT_FALSE(plat::terminationRequested());
  EXPECT_FALSE(plat::waitForTermination(0));
}

// The signal handler wakes waiters as requestTermination does.
TEST(TerminationRequest, SignalWakesWaiters) {
  struct sigaction saved[2];
  sigaction(SIGINT, nullptr, &saved[0]);
  sigaction(SIGTERM, nullptr, &saved[1]);
  plat::clearTerminationRequest();
  plat::installTerminationHandlers();

  bool woke = false;
  std::thread waiter([&woke] {
    for (int round = 0; round < 100 && !woke; ++round)
      woke = plat::waitForTermination(100);
  });
  raise(SIGTERM);
  waiter.join();
  EXPECT_TRUE(woke);

  plat::clearTerminationRequest();
  sigaction(SIGINT, &saved[0], nullptr);
  sigaction(SIGTERM, &saved[1], nullptr);
}

}  // namespace

}  // namespace signals_test
