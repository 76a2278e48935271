// The camera commands typed into a running server on its standard input.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "support/corvane_process.h"
#include "support/scratch_dir.h"

namespace camera_process_test {

namespace {

using corvaneproc::Launch;
using corvaneproc::ServerProcess;

TEST(CameraProcess, TypedCameraCommandsAnswerAndKeepWhatTheyRefuse) {
  const std::filesystem::path home = scratchDir();
  ServerProcess server(home, Launch());
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  const std::string unknownMode = "Unrecgonized mode. Should be 'Static','Object','ObjectFoward' or 'Normal'\n";
  struct Case {
    const char* line;
    const char* answer;  // printed after the echoed line
  };
  const Case cases[] = {
      {"cam_mode Object Normal", ""},
      {"cam_mode Orbit Static", unknownMode.c_str()},
      {"freeform 2", "freeform only takes the values 0 and 1\n"},
      {"freeform 0", ""},
      {"freeform", "freeform 0\nfreeform 0/1 - Enabled/disables freeform camera\n"},
      {"shake 0.5", ""},
      {"cam_offset 1 2", "cam_offset x y z - Sets the offset of the camera in Object/ObjectForward positional mode\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::size_t mark = server.output.size();
    // A marker line behind each command shows where its answer ends.
    server.send(std::string(c.line) + "\necho done\n");
    ASSERT_TRUE(server.waitForOutput(std::string("> ") + c.line + "\n" + c.answer + "> echo done\n", mark))
        << server.output.substr(mark);
  }
  const int status = server.stopWith(SIGINT);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

}  // namespace camera_process_test
