// The music commands typed into a running server with the shipped tracks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "support/corvane_process.h"
#include "support/scratch_dir.h"

namespace music_process_test {

namespace {

using corvaneproc::Launch;
using corvaneproc::ServerProcess;

TEST(MusicProcess, TypedMusicCommandsAnswerWithTheShippedTracks) {
  const std::filesystem::path home = scratchDir();
  ServerProcess server(home, Launch());
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  struct Case {
    const char* line;
    const char* answer;  // printed after the echoed line
  };
  const Case cases[] = {
      {"music_volume 50%", ""},
      {"music_volume 9", ""},
      {"music_volume loud", "Volumes must be numbers or percents\n"},
      {"music_play_track 2", "Valid track numbers: 0 - 1\n"},
      {"music_play_track nosuch",
       "No track found with that name. Note: Tracks are case sensitive, with no partial matching.\n"},
      {"music_play_track",
       "music_play_track #/TrackName - Changes background music to the specified track\n"
       " Valid track numbers: 0 - 1\n"},
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

}  // namespace music_process_test
