// The built server's key bindings at start-up: controls.cfg in the user
// folder and the built-in actions `dump_actions` lists.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/corvane_process.h"
#include "support/odd_files.h"
#include "support/scratch_dir.h"

namespace key_controls_process_test {

namespace {

namespace fs = std::filesystem;
using corvaneproc::ServerProcess;

const char* const kActionNames[] = {
    "camera_backward",      "camera_down",           "camera_forward",   "camera_left",
    "camera_reset",         "camera_right",          "camera_rot_down",  "camera_rot_left",
    "camera_rot_left_roll", "camera_rot_right",      "camera_rot_right_roll", "camera_rot_up",
    "camera_up",            "camera_world_backward", "camera_world_down", "camera_world_forward",
    "camera_world_left",    "camera_world_right",    "camera_world_up",  "cancel_orders",
    "console",              "deselect_all",          "join_nearest_fleet", "make_fleet",
    "next_subselection",    "pause",                 "repeat_mode",      "screenshot",
    "select_nearest_fleet", "unit_colonize",         "unit_defend",      "unit_explore",
    "zoom_to_object",
};

const std::set<std::string> kDefaultLines = {
    "screenshot: F11",          "console: ~",
    "pause: Pause",             "unit_explore: X",
    "unit_defend: D",           "unit_colonize: C",
    "make_fleet: F",            "select_nearest_fleet: S",
    "join_nearest_fleet: J",    "deselect_all: V",
    "zoom_to_object: Z",        "cancel_orders: B",
    "camera_world_forward: Up", "camera_world_backward: Down",
    "camera_world_left: Left",  "camera_world_right: Right",
    "next_subselection: Tab",   "repeat_mode: R",
};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// Starts the server on `home`, asks it for its actions and stops it once it
// has listed them (controls.cfg is read before the console takes input).
void startListAndStop(const fs::path& home) {
  ServerProcess server(home, {"-nolog"});
  ASSERT_TRUE(server.started());
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  const std::size_t mark = server.output.size();
  server.send("dump_actions\n");
  std::string listing = "> dump_actions\n";
  for (const char* name : kActionNames)
    listing += std::string(name) + "\n";
  EXPECT_TRUE(server.waitForOutput(listing, mark)) << server.output.substr(mark);
  const int status = server.stopWith(SIGTERM);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(KeyControlsProcess, WithoutControlsCfgTheDefaultsAreWrittenOnce) {
  const fs::path home = scratchDir();
  const fs::path controls = home / "Corvane" / "controls.cfg";
  startListAndStop(home);
  const std::string written = corvaneproc::readFile(controls);
  const std::vector<std::string> lines = linesOf(written);
  EXPECT_EQ(lines.size(), 18u) << written;
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), kDefaultLines) << written;
  EXPECT_EQ(written.find('\r'), std::string::npos);

  // The next start reads it and leaves it as it is.
  std::ofstream(controls, std::ios::binary) << "pause: Q\n";
  startListAndStop(home);
  EXPECT_EQ(corvaneproc::readFile(controls), "pause: Q\n");
}

TEST(KeyControlsProcess, AnEmptyFileStaysEmpty) {
  const fs::path home = scratchDir();
  fs::create_directories(home / "Corvane");
  std::ofstream(home / "Corvane" / "controls.cfg").close();
  startListAndStop(home);
  EXPECT_EQ(fs::file_size(home / "Corvane" / "controls.cfg"), 0u);
}

TEST(KeyControlsProcess, AFolderInItsPlaceIsReportedOnceAndLeftAlone) {
  const fs::path home = scratchDir();
  fs::create_directories(home / "Corvane");
  const fs::path controls = home / "Corvane" / "controls.cfg";
  makeOddFile(controls, OddFile::Folder);
  ServerProcess server(home, std::vector<std::string>{});
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  ASSERT_TRUE(server.waitForLog("Could not read controls.cfg \"" + controls.string() + "\"")) << server.log();
  server.send("dump_actions\n");
  ASSERT_TRUE(server.waitForOutput("zoom_to_object\n")) << server.output;
  server.stopWith(SIGTERM);
  std::size_t reports = 0;
  for (const std::string& line : linesOf(server.log()))
    reports += line.find("controls.cfg") != std::string::npos ? 1 : 0;
  EXPECT_EQ(reports, 1u) << server.log();
  EXPECT_TRUE(isOddFile(controls, OddFile::Folder));
}

}  // namespace

}  // namespace key_controls_process_test
