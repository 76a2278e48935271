// The view and cheat commands in the running server: `list` typed on its
// standard input offers every one of them with its help, and a "cl_showfps"
// line of autoexec.ini, which runs before the frame-rate display exists,
// still leaves the display shown. The loading screen of the first session
// leaves out, silently, the background that the data does not hold.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/console_commands.h"
#include "core/utf8.h"
#include "support/corvane_process.h"
#include "support/scratch_dir.h"

namespace view_cheat_process_test {

namespace {

namespace fs = std::filesystem;
using corvaneproc::Launch;
using corvaneproc::ServerProcess;

// The view, audio, interface and cheat rows of the command table, from
// "cl_antialias" to "zoom_to", less the game, binding and network rows among
// them.
const char* const kRows[] = {
    "cl_antialias",     "cl_showfps",   "shake",        "fov",         "update_falloff",
    "aspect",           "zplane",       "freeform",     "cam_mode",    "cam_offset",
    "set_ambient",      "set_y_offset", "video_mode",   "cl_empire_colors", "toggle_gui",
    "sv_cheats",        "music_play_track", "music_volume", "emp_see_all", "create_ship",
    "add_resource",     "add_emp_stat", "destroy",      "set_owner",   "set_emp_col",
    "list_stats",       "list_states",  "zoom_to",
};

std::string helpOf(const std::string& name) {
  for (const ConsoleCommandRow& row : consoleCommandRows())
    if (wideToUtf8(row.name) == name)
      return wideToUtf8(row.help);
  return "";
}

TEST(ViewCheatProcess, ListOffersEveryViewAndCheatCommandAndAutoexecShowsTheFrameRate) {
  const fs::path home = scratchDir();
  fs::create_directories(home / "Corvane");
  std::ofstream(home / "Corvane" / "autoexec.ini") << "cl_showfps 1\n";

  ServerProcess server(home, Launch());
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;

  std::size_t mark = server.output.size();
  server.send("list\necho listed\n");
  ASSERT_TRUE(server.waitForOutput("> echo listed\n", mark)) << server.output.substr(mark);
  const std::string listed = server.output.substr(mark);
  for (const char* name : kRows) {
    SCOPED_TRACE(name);
    const std::string help = helpOf(name);
    ASSERT_FALSE(help.empty());
    EXPECT_NE(listed.find(std::string("\n") + name + "\n  " + help + "\n"), std::string::npos) << listed;
  }

  // The display was made after autoexec.ini asked for it: it shows.
  mark = server.output.size();
  server.send("cl_showfps\necho done\n");
  ASSERT_TRUE(server.waitForOutput("> cl_showfps\ncl_showfps 1\n" + helpOf("cl_showfps") + "\n> echo done\n", mark))
      << server.output.substr(mark);

  // The data holds no loading-screen background: left out without a word.
  EXPECT_EQ(server.output.find("loading_background"), std::string::npos) << server.output;

  const int status = server.stopWith(SIGINT);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

}  // namespace view_cheat_process_test
