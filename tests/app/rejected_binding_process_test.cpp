// A server whose script set-up meets a registration the engine refuses
// (the test build corvane_rejecting_binding) says which one, starts no game
// session and ends with exit code 1.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "support/corvane_process.h"
#include "support/scratch_dir.h"

namespace rejected_binding_process_test {

namespace {

TEST(RejectedBindingProcess, TheServerEndsWithExitCodeOneBeforeAnyGalaxyIsMade) {
  corvaneproc::Launch launch = corvaneproc::withArguments({"-verbose"});
  launch.program = "corvane_rejecting_binding";
  corvaneproc::ServerProcess server(scratchDir(), launch);
  ASSERT_TRUE(server.started());
  // Signal 0 sends nothing: this waits for the process to end by itself.
  const int status = server.stopWithin(0, corvaneproc::kProcessTimeoutMs);
  ASSERT_NE(status, -1) << "still running\n" << server.log();
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);

  const std::string log = server.log();
  const std::string engineLine =
      "AS Server General Error: Failed in call to function 'RegisterGlobalFunction' with 'void f(Nonexistent@)'";
  const std::string ourLine = "Script binding rejected by the server engine (-10): void f(Nonexistent@)\n";
  const std::size_t engineAt = log.find(engineLine);
  const std::size_t ourAt = log.find(ourLine);
  ASSERT_NE(engineAt, std::string::npos) << log;
  ASSERT_NE(ourAt, std::string::npos) << log;
  EXPECT_LT(engineAt, ourAt);
  EXPECT_NE(log.find("Script set-up failed: 1 script bindings were rejected\n"), std::string::npos) << log;
  // Nothing was built and no galaxy made.
  for (const char* absent : {"Loading/Building scripts", "Preparing Galaxy", "Game loop start"})
    EXPECT_EQ(log.find(absent), std::string::npos) << absent << "\n" << log;
}

}  // namespace
}  // namespace rejected_binding_process_test
