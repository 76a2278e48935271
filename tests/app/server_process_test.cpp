// The built server, run as an operator runs it: its own user folder, lines
// on standard input, output on standard output, stopped by signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/thread.h"
#include "support/corvane_process.h"
#include "support/odd_files.h"
#include "support/private_network.h"
#include "support/scratch_dir.h"

namespace server_process_test {

namespace {

namespace fs = std::filesystem;

// Generous: the sanitizer build starts slowly on a busy machine.
constexpr int kTimeoutMs = 60000;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The servers are started by corvaneproc::ServerProcess (support/corvane_process.h).
using corvaneproc::Launch;
using corvaneproc::ServerProcess;
using corvaneproc::withArguments;

// `texts` occur in `haystack` in this order.
void expectInOrder(const std::string& haystack, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const std::string& text : texts) {
    const std::size_t found = haystack.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\nin:\n" << haystack;
    at = found + text.size();
  }
}

// Polls the file at `path` until it holds `text`.
bool waitForFileText(const fs::path& path, const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (readFile(path).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    plat::sleepMs(50);
  }
  return true;
}

std::size_t countOf(const std::string& haystack, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++count;
  return count;
}

bool exitedCleanly(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

std::vector<fs::path> crashReports(const fs::path& folder) {
  std::vector<fs::path> reports;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("QV_", 0) == 0 && entry.path().extension() == ".mdmp")
      reports.push_back(entry.path());
  }
  return reports;
}

TEST(ServerProcess, StartsLogsAndShutsDownOnSigint) {
  const fs::path home = scratchDir();
  ServerProcess server(home, {"-verbose", "+MAP", "tiny", "-bogus"});
  ASSERT_TRUE(server.started());
  ASSERT_TRUE(server.waitForOutput("Corvane build: 1.0.5.0\n")) << server.output;
  const int status = server.stopWith(SIGINT);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const std::string log = readFile(home / "Corvane" / "log.txt");
  expectInOrder(log, {"Command line options:\n", "\tVerbose Logging\n", "\tLaunching with map \"tiny.as\"\n",
                      "\tBad command line argument: '-bogus'\n",
                      "Logical CPUs: " + std::to_string(plat::affinityCpuCount()) + "\n", "Shutting down engine\n",
                      "Running time: "});
  // The last line is "Running time: <seconds> seconds".
  const std::string last = log.substr(log.rfind("Running time: ") + 14);
  std::size_t digits = 0;
  const double seconds = std::stod(last, &digits);
  EXPECT_GT(seconds, 0.0);
  EXPECT_EQ(last.substr(digits), " seconds\n");
  // The engine's own banner went into the log, not onto standard output: the
  // console's line is the only one there.
  const std::size_t banner = server.output.find("Irrlicht Engine version");
  ASSERT_NE(banner, std::string::npos);
  EXPECT_EQ(server.output.find("Irrlicht Engine version", banner + 1), std::string::npos) << server.output;
}

TEST(ServerProcess, WithoutLogFileCreatesAutoexecOnce) {
  const fs::path home = scratchDir();
  const fs::path autoexec = home / "Corvane" / "autoexec.ini";
  const std::string header =
      "//autoexec.ini\r\n//Add console commands to always be executed here, one per line\r\n\r\n";
  for (int start = 0; start < 2; ++start) {
    ServerProcess server(home, {"-nolog"});
    ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
    const int status = server.stopWith(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(fs::exists(home / "Corvane" / "log.txt"));
    EXPECT_EQ(readFile(autoexec), header) << "start " << start;
  }
  EXPECT_TRUE(fs::exists(home / "Corvane" / "config.cfg"));
}

TEST(ServerProcess, LocaleOptionAndDebugEcho) {
  const fs::path home = scratchDir();
  ServerProcess server(home, {"+curlocale", "German.TXT", "-debuginfo"});
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  server.stopWith(SIGINT);
  expectInOrder(readFile(home / "Corvane" / "log.txt"),
                {"Command line options:\n", "\tPrinting debug information\n",
                 "\tForcing verbose mode due to debug print settings\n", "\tUsing German.txt curLocale\n",
                 "Unabled to load locale file Locales/German.txt\n"});
}

TEST(ServerProcess, CrashLeavesAReportUnlessTurnedOff) {
  struct Case {
    std::vector<std::string> arguments;
    bool report;
  };
  const Case cases[] = {{{}, true}, {{"-nomdumps"}, false}};
  for (const Case& c : cases) {
    const fs::path home = scratchDir();
    ServerProcess server(home, c.arguments);
    ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
    const int status = server.stopWith(SIGSEGV);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::vector<fs::path> reports = crashReports(home / "Corvane");
    ASSERT_EQ(reports.size(), c.report ? 1u : 0u);
    if (c.report) {
      const std::string report = readFile(reports[0]);
      EXPECT_NE(report.find("Signal: 11"), std::string::npos) << report;
      EXPECT_NE(report.find("Backtrace:\n"), std::string::npos) << report;
      EXPECT_NE(readFile(home / "Corvane" / "log.txt").find("Building minidump " + reports[0].string()),
                std::string::npos);
    }
  }
}

TEST(ServerProcess, RunsAutoexecQuietlyAndTypedLinesWithEcho) {
  const fs::path home = scratchDir();
  fs::create_directories(home / "Corvane");
  std::ofstream(home / "Corvane" / "autoexec.ini") << "// start-up\nfind_all clear\n";

  ServerProcess server(home, Launch());
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  ASSERT_TRUE(server.waitForOutput("Auto-executing autoexec.ini\nclear\n  clear - Erases all lines")) << server.output;
  EXPECT_EQ(server.output.find("> find_all"), std::string::npos);

  std::size_t mark = server.output.size();
  server.send("list\n");
  ASSERT_TRUE(server.waitForOutput("> list\nadd_emp_stat\n  add_emp_stat Stat Amount - Adds ", mark)) << server.output;
  ASSERT_TRUE(server.waitForOutput("list - Lists all functions available in the console\n", mark)) << server.output;
  expectInOrder(server.output.substr(mark),
                {"clear\n  clear - Erases all lines in the console's memory\n",
                 "find\n  find ... - Searches for all functions containing any of the arguments\n",
                 "find_all\n  find_all ... - Searches for all functions containing all of the arguments\n",
                 "list\n  list - Lists all functions available in the console\n"});

  mark = server.output.size();
  server.send("nosuch x\r\n");
  ASSERT_TRUE(server.waitForOutput("> nosuch x\nUnrecognized console commmand \"nosuch\"\n", mark)) << server.output;

  // A refused line, then the end of the input: the server keeps running.
  mark = server.output.size();
  server.send(std::string(5000, 'x') + "\nfind clear\n");
  server.closeInput();
  ASSERT_TRUE(server.waitForOutput("Console input line longer than 4096 bytes ignored\n", mark)) << server.output;
  ASSERT_TRUE(server.waitForOutput("> find clear\nclear\n", mark)) << server.output;
  const int status = server.stopWith(SIGINT);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A whole game session, loaded, run and torn down by SIGINT.
TEST(ServerProcess, GameSessionRunsUntilSigint) {
  const fs::path home = scratchDir();
  ServerProcess server(home, {"-verbose", "-singlethreaded"});
  ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
  plat::sleepMs(1500);
  const int status = server.stopWith(SIGINT);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  expectInOrder(readFile(home / "Corvane" / "log.txt"),
                {"Seed: ", "Mod Directory '", "============\nLoading resources...\n============\n",
                 "============\nPreparing Galaxy...\n============\n", "============\nPreparing Galaxy... Finished(",
                 "Initializing 0 galaxy processing threads\n", "============\nInitialize GUI...\n============\n",
                 "Game loop start ", "Game ending. Total game time (not session): ", "Shutting down engine\n"});
  std::string log = readFile(home / "Corvane" / "log.txt");
  EXPECT_EQ(log.find("objects have not been deleted"), std::string::npos);
  // The null driver builds no shader programs: with the default shader
  // quality each shipped shader says so once and takes its base material.
  for (const std::string shaderFailed :
       {"Game Data/Shaders/shaders.txt(6) error Sd004: Error loading shader \"PulsingGlow\", see previous lines "
        "for specifics\n",
        "Game Data/Shaders/shaders.txt(14) error Sd004: Error loading shader \"ShieldShell\", see previous lines "
        "for specifics\n"}) {
    const std::size_t at = log.find(shaderFailed);
    ASSERT_NE(at, std::string::npos) << shaderFailed << log;
    log.erase(at, shaderFailed.size());
    EXPECT_EQ(log.find(shaderFailed), std::string::npos) << shaderFailed;
  }
  // The shipped resources, effects and effectors load without a complaint,
  // the scripts their hooks name included.
  for (const char* loaded :
       {"Loading effects: Game Data/Effects/storage.txt\n", "Loading effects: Game Data/Effects/colony.txt\n",
        "Loading Effectors: Game Data/Effectors/tools.txt\n",
        "Loading script file: Game Data/scripts/server/colony.as\n"})
    EXPECT_NE(log.find(loaded), std::string::npos) << loaded;
  EXPECT_EQ(log.find(" error"), std::string::npos) << log;
  EXPECT_EQ(log.find(" warning"), std::string::npos) << log;
  EXPECT_EQ(log.find("resource file"), std::string::npos) << log;
  EXPECT_EQ(log.find("AS Server"), std::string::npos) << log;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("Game Data/Effects/") == std::string::npos && line.find("Game Data/Effectors/") == std::string::npos)
      continue;
    std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(line.find("error"), std::string::npos) << line;
    EXPECT_EQ(line.find("warning"), std::string::npos) << line;
  }
  // A hook that names a script function that cannot be found says so over
  // lines of its own.
  EXPECT_EQ(log.find("No Function"), std::string::npos) << log;
}

// Without -singlethreaded the galaxy gets four processing threads per CPU
// (at most 255), or none on a single CPU, which runs single-threaded.
TEST(ServerProcess, GalaxyThreadCountFollowsTheCpus) {
  const fs::path home = scratchDir();
  ServerProcess server(home, {"-verbose"});
  ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
  server.stopWith(SIGTERM);
  const std::string log = readFile(home / "Corvane" / "log.txt");
  EXPECT_NE(log.find("Game ending. Total game time (not session): "), std::string::npos);
  EXPECT_EQ(log.find("objects have not been deleted"), std::string::npos);
  const unsigned cpus = plat::affinityCpuCount();
  const unsigned threads = cpus <= 1 ? 0 : std::min(4 * cpus, 255u);
  EXPECT_NE(log.find("\nInitializing " + std::to_string(threads) + " galaxy processing threads\n"), std::string::npos);
}

// A missing mod ends its session at once; the next one runs on the base game.
TEST(ServerProcess, MissingModIsReportedOnceAndTheBaseGameRuns) {
  const fs::path home = scratchDir();
  ServerProcess server(home, {"+mod", "nosuchmod"});
  ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
  const int status = server.stopWith(SIGINT);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const std::string log = readFile(home / "Corvane" / "log.txt");
  const std::string missing = "Could not load mod 'nosuchmod', missing.\n";
  const std::size_t first = log.find(missing);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(missing, first + 1), std::string::npos) << log;
  expectInOrder(log.substr(first), {missing, "Seed: ", "Game loop start "});
}

// Every pass seeds from the clock: two starts give two galaxies.
TEST(ServerProcess, TwoStartsLogTwoSeeds) {
  std::vector<std::string> seeds;
  for (int start = 0; start < 2; ++start) {
    const fs::path home = scratchDir() / std::to_string(start);
    ServerProcess server(home, {"-verbose"});
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));
    const std::string log = readFile(home / "Corvane" / "log.txt");
    const std::size_t at = log.find("Seed: ");
    ASSERT_NE(at, std::string::npos) << log;
    seeds.push_back(log.substr(at, log.find('\n', at) - at));
  }
  EXPECT_NE(seeds[0], seeds[1]);
}

// A server started with a mod keeps it for all its sessions: a save of the
// mod's game loads under the mod, and the next game runs under it too, each
// from the mod's quick start ("+quickstart" names the profile).
TEST(ServerProcess, TheModAndItsQuickStartServeEverySession) {
  const fs::path home = scratchDir();
  const fs::path mod = home / "Corvane" / "Mods" / "ringmod";
  fs::create_directories(mod / "Game Data" / "scripts" / "server");
  fs::create_directories(mod / "Maps");
  std::ofstream(mod / "modinfo.txt") << "Name: Ring\n";
  std::ofstream(mod / "Game Data" / "scripts" / "server" / "ring_marker.as")
      << "void init() {\n  print(\"ring module init\");\n}\n";
  std::ofstream(mod / "Game Data" / "quickstart.xml")
      << "<quickstart><profile id=\"Short\"><map file=\"ring\"/><settings><SYSTEM_COUNT val=\"4\"/>"
         "<SEED val=\"7\"/><map val=\"1\"/></settings></profile></quickstart>\n";
  std::ofstream(mod / "Maps" / "ring.as")
      << "void makeMap(Galaxy@ glx) {\n"
         "  int count = int(getGameSetting(\"SYSTEM_COUNT\", 0.0f));\n"
         "  print(\"ring map of \" + count + \" systems, map setting \" + getGameSetting(\"map\", 0.0f));\n"
         "  for (int i = 0; i < count; ++i) {\n"
         "    System_Desc desc;\n"
         "    desc.Position = vector(float(i) * 3000.0f, 0.0f, 0.0f);\n"
         "    glx.createSystem(desc);\n"
         "  }\n"
         "}\n";

  ServerProcess server(home, {"-verbose", "+mod", "Ring", "+quickstart", "short"});
  ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
  std::size_t mark = server.output.size();
  server.send("end_game\n");
  ASSERT_TRUE(server.waitForOutput("Game loop start ", mark)) << server.output;
  mark = server.output.size();
  server.send("save_game m1\nload_game m1\n");
  ASSERT_TRUE(server.waitForOutput("Save game loaded\n", mark)) << server.output;
  ASSERT_TRUE(server.waitForOutput("Game loop start ", mark)) << server.output;
  EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));

  const std::string log = readFile(home / "Corvane" / "log.txt");
  EXPECT_EQ(log.find("Error loading save file"), std::string::npos) << log;
  const std::string modFolder = "Mod Directory '" + mod.string() + "/'\n";
  const std::string ring = "ring map of 4 systems, map setting 1";
  expectInOrder(log, {"Seed: 7\n", modFolder, ring, "ring module init", "Game loop start ",
                      // the next game, again the mod's
                      "Seed: 7\n", modFolder, ring, "ring module init", "Game loop start ",
                      // its save loaded under the mod
                      "Seed: 7\n", modFolder, "Loading saved game '" + mod.string() + "/Saves/m1.qvs'...\n",
                      "Save game loaded\n", "ring module init", "Game loop start "});
  EXPECT_EQ(countOf(log, ring), 2u);
}

// The script set-up's steps, in order, with no line from the script
// compilers; "-nothreadedload" runs the same steps on the main thread.
TEST(ServerProcess, ScriptSetUpLogsItsStepsInOrder) {
  for (bool threaded : {true, false}) {
    SCOPED_TRACE(threaded ? "threaded" : "-nothreadedload");
    const fs::path home = scratchDir();
    std::vector<std::string> arguments{"-verbose"};
    if (!threaded)
      arguments.push_back("-nothreadedload");
    ServerProcess server(home, arguments);
    ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output;
    server.stopWith(SIGINT);
    const std::string log = readFile(home / "Corvane" / "log.txt");
    std::vector<std::string> steps{"============\nHooking script functions...\n============\n",
                                   "============\nLoading/Building scripts...\n============\n",
                                   "Loading script file: Game Data/scripts/server/",
                                   "Loading script file: Game Data/scripts/shared/",
                                   "Loading script file: Game Data/scripts/shared/",
                                   "============\nLoading/Building scripts... Finished(",
                                   "============\nLoading game data files...\n============\n"};
    if (threaded)
      steps.insert(steps.begin(), "Loading using multiple threads\n");
    else
      EXPECT_EQ(log.find("Loading using multiple threads"), std::string::npos);
    expectInOrder(log, steps);
    EXPECT_EQ(log.find("AS Server"), std::string::npos) << log;
    EXPECT_EQ(log.find("AS Client"), std::string::npos) << log;
  }
}

// ---------------------------------------------------------------------------
// Careless or hostile surroundings: damaged user files, closed descriptors,
// floods of input and stuck scripts.

// A user file that is no regular file is reported by name, left as it is,
// and the server starts on its defaults and stops cleanly.
TEST(ServerProcessUserFiles, FilesThatAreNoRegularFilesAreReportedAndLeftAlone) {
  struct Case {
    const char* file;
    OddFile kind;
    const char* label;
  };
  const Case cases[] = {
      {"config.cfg", OddFile::Folder, "folder"},
      {"config.cfg", OddFile::ZeroDeviceLink, "zero-link"},
      {"config.cfg", OddFile::Pipe, "fifo"},
      {"autoexec.ini", OddFile::Folder, "folder"},
      {"autoexec.ini", OddFile::ZeroDeviceLink, "zero-link"},
      {"autoexec.ini", OddFile::Pipe, "fifo"},
  };
  const fs::path root = scratchDir();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.label);
    const fs::path home = root / (std::string(c.file) + "-" + c.label);
    fs::create_directories(home / "Corvane");
    const fs::path entry = home / "Corvane" / c.file;
    makeOddFile(entry, c.kind);
    ServerProcess server(home, std::vector<std::string>{});
    ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));
    EXPECT_TRUE(crashReports(home / "Corvane").empty());
    EXPECT_TRUE(isOddFile(entry, c.kind));
    const std::string log = readFile(home / "Corvane" / "log.txt");
    const std::size_t named = log.find(entry.string());
    ASSERT_NE(named, std::string::npos) << log;
    const std::size_t before = log.rfind('\n', named);
    const std::size_t begin = before == std::string::npos ? 0 : before + 1;
    const std::string line = log.substr(begin, log.find('\n', named) - begin);
    EXPECT_NE(line.find("Could not"), std::string::npos) << line;
  }
}

// A config.cfg the server may not read is another user's business: it is
// reported and left byte for byte as it was.
TEST(ServerProcessUserFiles, UnreadableConfigIsLeftByteIdentical) {
  if (geteuid() != 0 || privatenet::availableIsolation() != privatenet::Isolation::UserAndNetwork)
    GTEST_SKIP() << "needs root and user namespaces to hand the file to another user";
  const fs::path home = scratchDir();
  fs::create_directories(home / "Corvane");
  const fs::path config = home / "Corvane" / "config.cfg";
  const std::string bytes = "[Graphics]\r\nfMaxFPS = 30\r\n";
  std::ofstream(config, std::ios::binary) << bytes;
  ASSERT_EQ(chown(config.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(config.c_str(), 0), 0);

  ServerProcess server(home, std::vector<std::string>{});
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));
  EXPECT_EQ(readFile(config), bytes);
  const std::string log = readFile(home / "Corvane" / "log.txt");
  EXPECT_NE(log.find("Could not read config.cfg \"" + config.string() + "\""), std::string::npos) << log;
}

// A log.txt that cannot be opened is said once on standard error, with the
// path and the reason, and the lines logged before the console exists go
// there too.
TEST(ServerProcessUserFiles, LogFileThatCannotBeOpenedIsSaidOnStandardError) {
  const OddFile kinds[] = {OddFile::Folder, OddFile::Pipe, OddFile::ZeroDeviceLink};
  const fs::path root = scratchDir();
  for (OddFile kind : kinds) {
    SCOPED_TRACE(static_cast<int>(kind));
    const fs::path home = root / std::to_string(static_cast<int>(kind));
    fs::create_directories(home / "Corvane");
    const fs::path logPath = home / "Corvane" / "log.txt";
    makeOddFile(logPath, kind);
    Launch launch;
    launch.arguments = {"-bogus"};
    launch.errors = home / "errors.txt";
    ServerProcess server(home, launch);
    ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
    EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));
    EXPECT_TRUE(isOddFile(logPath, kind));
    const std::string errors = readFile(home / "errors.txt");
    EXPECT_EQ(countOf(errors, "Could not open the log file \"" + logPath.string() + "\": "), 1u) << errors;
    EXPECT_NE(errors.find("\tBad command line argument: '-bogus'\n"), std::string::npos) << errors;
  }
}

// Started with standard output closed, the server gives descriptor 1 to
// /dev/null before anything else can take it (log.txt would, and every
// console line would then reach log.txt twice).
TEST(ServerProcessUserFiles, ClosedStandardOutputWritesEachLineOnceIntoTheLog) {
  const fs::path home = scratchDir();
  Launch launch;
  launch.arguments = {"-verbose"};
  launch.closeOutput = true;
  ServerProcess server(home, launch);
  const fs::path logPath = home / "Corvane" / "log.txt";
  ASSERT_TRUE(waitForFileText(logPath, "Corvane build: 1.0.5.0\n")) << readFile(logPath);
  std::error_code error;
  EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(server.pid()) + "/fd/1", error), "/dev/null");
  EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));
  const std::string log = readFile(logPath);
  for (const char* line : {"Loading config.cfg...\n", "Corvane build: 1.0.5.0\n", "Shutting down engine\n"})
    EXPECT_EQ(countOf(log, line), 1u) << line << "\n" << log;
}

// Three million typed lines do not hold up a stop request: the server
// checks for it between lines, and the queue of waiting lines is bounded.
TEST(ServerProcessUnderLoad, FloodOfConsoleLinesDoesNotHoldUpSigint) {
  const fs::path home = scratchDir();
  const fs::path input = home / "input.txt";
  {
    std::ofstream lines(input, std::ios::binary);
    const std::string block = [] {
      std::string text;
      for (int i = 0; i < 1000; ++i)
        text += "list\n";
      return text;
    }();
    for (int i = 0; i < 3000; ++i)
      lines << block;
  }
  Launch launch;
  launch.arguments = {"-verbose"};
  launch.input = input;
  launch.output = "/dev/null";
  ServerProcess server(home, launch);
  // The stop request is meant for a running server busy with the lines, not
  // for a process still starting up (before its handlers are in place).
  const fs::path logPath = home / "Corvane" / "log.txt";
  ASSERT_TRUE(waitForFileText(logPath, "Corvane build: 1.0.5.0\n")) << readFile(logPath);
  plat::sleepMs(3000);
  // Unbounded, the queued lines kept the server busy for minutes; the limit
  // leaves the sanitizer build room on a loaded machine.
  EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, 20000)));
  EXPECT_NE(readFile(logPath).find("Shutting down engine\n"), std::string::npos);
}

// A mod whose server module never returns from init: a stop request aborts
// the script, which is reported as a failed init, and the server shuts down.
TEST(ServerProcessUnderLoad, ModuleStuckInInitEndsOnSigint) {
  const fs::path home = scratchDir();
  const fs::path mod = home / "Corvane" / "Mods" / "stuck";
  fs::create_directories(mod / "Game Data" / "scripts" / "server");
  std::ofstream(mod / "modinfo.txt") << "Name: stuck\nDerive from: base\n";
  std::ofstream(mod / "Game Data" / "scripts" / "server" / "stuck.as")
      << "void init() {\n  warning(\"init stuck\");\n  while (true) {\n  }\n}\n";
  ServerProcess server(home, {"-verbose", "+mod", "stuck"});
  const fs::path logPath = home / "Corvane" / "log.txt";
  // The stop request comes once the init runs its loop: sent before the init
  // starts, it would find nothing to abort.
  ASSERT_TRUE(server.waitForOutput("init stuck\n")) << readFile(logPath);
  EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, 20000)));
  const std::string log = readFile(logPath);
  expectInOrder(log, {"Server Module 'stuck' had a problem running void init()\n", "Shutting down engine\n"});
}

// Pauses the game of `server` once its session runs at its own speed (the
// mod's module marks the third frame: a speed typed during the first frames
// may be undone) and checks that it stands still: two saves made on separate
// passes of the loop (into `saves`, removed again) are the same bytes.
bool pauseGame(ServerProcess& server, const fs::path& saves, const std::string& tag) {
  const std::string ended = "save_game SaveName - Saves the game using the specified name\n";
  if (!server.waitForOutput("Third frame\n"))
    return false;
  server.send("set_speed_factor 0\n");
  for (int attempt = 0; attempt < 10; ++attempt) {
    for (const char* which : {"_1", "_2"}) {
      const std::size_t mark = server.output.size();
      server.send("save_game " + tag + which + "\nsave_game\n");
      if (!server.waitForOutput(ended, mark))
        return false;
    }
    const std::string first = readFile(saves / (tag + "_1.qvs"));
    const bool still = !first.empty() && first == readFile(saves / (tag + "_2.qvs"));
    fs::remove(saves / (tag + "_1.qvs"));
    fs::remove(saves / (tag + "_2.qvs"));
    if (still)
      return true;
  }
  return false;
}

// Two servers on one user folder save under one name at once, one of them a
// large galaxy: the save left is one server's whole file, byte for byte, and
// loads; at most one of them reports an error. Both also start at once, each
// writing config.cfg.
TEST(ServerProcessUserFiles, TwoServersSavingOneNameLeaveOneWholeSave) {
  const fs::path home = scratchDir();
  const fs::path mod = home / "Corvane" / "Mods" / "race";
  const fs::path saves = mod / "Saves";
  fs::create_directories(mod / "Maps");
  std::ofstream(mod / "modinfo.txt") << "Name: race\nDerive from: base\n";
  // 2000 systems of three planets: a save of more than a megabyte.
  std::ofstream(mod / "Maps" / "large.as") << "void makeMap(Galaxy@ glx) {\n"
                                               "  for (int i = 0; i < 2000; ++i) {\n"
                                               "    System_Desc desc;\n"
                                               "    desc.Position = vector(float(i % 50) * 3000.0f, 0.0f, "
                                               "float(i / 50) * 3000.0f);\n"
                                               "    desc.AutoStar = true;\n"
                                               "    System@ sys = glx.createSystem(desc);\n"
                                               "    for (int p = 0; p < 3; ++p) {\n"
                                               "      Planet_Desc planet;\n"
                                               "      Orbit_Desc orbit;\n"
                                               "      orbit.Radius = 200.0f + 100.0f * float(p);\n"
                                               "      planet.setOrbit(orbit);\n"
                                               "      sys.makePlanet(planet);\n"
                                               "    }\n"
                                               "  }\n"
                                               "}\n";
  std::ofstream(mod / "Maps" / "small.as") << "void makeMap(Galaxy@ glx) {\n  System_Desc desc;\n  "
                                               "glx.createSystem(desc);\n}\n";
  fs::create_directories(mod / "Game Data" / "scripts" / "server");
  std::ofstream(mod / "Game Data" / "scripts" / "server" / "frames.as")
      << "int frames = 0;\nvoid tick(float) {\n  if (++frames == 3)\n    warning(\"Third frame\");\n}\n";

  ServerProcess large(home, {"-nolog", "+mod", "race", "+MAP", "large"});
  ServerProcess small(home, {"-nolog", "+mod", "race", "+MAP", "small"});
  ASSERT_TRUE(large.waitForOutput("Game loop start ")) << large.output;
  ASSERT_TRUE(small.waitForOutput("Game loop start ")) << small.output;
  // Paused, a server's save of the same name and its own save right after it
  // are the same bytes.
  ASSERT_TRUE(pauseGame(large, saves, "large"));
  ASSERT_TRUE(pauseGame(small, saves, "small"));

  // The small save starts once the large one is being written, so that both
  // are written at once (a line after the saves shows that they have ended:
  // lines run in turn).
  const std::string ended = "save_game SaveName - Saves the game using the specified name\n";
  const std::size_t largeMark = large.output.size();
  const std::size_t smallMark = small.output.size();
  large.send("save_game same\nsave_game own_large\nsave_game\n");
  const auto writing = [&saves] {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(saves, error)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("same.qvs.", 0) == 0 && entry.path().extension() == ".tmp")
        return true;
    }
    return false;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (!writing() && large.output.find(ended, largeMark) == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    plat::sleepMs(1);
  small.send("save_game same\nsave_game own_small\nsave_game\n");
  ASSERT_TRUE(large.waitForOutput(ended, largeMark)) << large.output.substr(largeMark);
  ASSERT_TRUE(small.waitForOutput(ended, smallMark)) << small.output.substr(smallMark);
  const std::string largeSaid = large.output.substr(largeMark);
  const std::string smallSaid = small.output.substr(smallMark);
  EXPECT_FALSE(largeSaid.find("Error saving save file") != std::string::npos &&
               smallSaid.find("Error saving save file") != std::string::npos)
      << largeSaid << smallSaid;
  EXPECT_TRUE(exitedCleanly(large.stopWithin(SIGINT, kTimeoutMs)));
  EXPECT_TRUE(exitedCleanly(small.stopWithin(SIGINT, kTimeoutMs)));
  for (const std::string& output : {large.output, small.output})
    EXPECT_EQ(output.find("Could not write"), std::string::npos) << output;

  const std::string same = readFile(saves / "same.qvs");
  const std::string ownLarge = readFile(saves / "own_large.qvs");
  const std::string ownSmall = readFile(saves / "own_small.qvs");
  ASSERT_GT(ownLarge.size(), 1000000u);
  ASSERT_FALSE(ownSmall.empty());
  EXPECT_TRUE(same == ownLarge || same == ownSmall)
      << "a save of " << same.size() << " bytes, the whole saves have " << ownLarge.size() << " and "
      << ownSmall.size() << "\n"
      << largeSaid << smallSaid;
  // No temporary file is left, of the saves or of config.cfg.
  for (const fs::path& folder : {saves, home / "Corvane"})
    for (const auto& entry : fs::directory_iterator(folder))
      EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();

  // The save loads, as a save of the base game (the mod adds only maps).
  const fs::path other = home / "elsewhere";
  fs::create_directories(other / "Corvane" / "Saves");
  fs::copy_file(saves / "same.qvs", other / "Corvane" / "Saves" / "same.qvs");
  ServerProcess loader(other, {"-nolog"});
  ASSERT_TRUE(loader.waitForOutput("Game loop start ")) << loader.output;
  const std::size_t loadMark = loader.output.size();
  loader.send("load_game same\n");
  ASSERT_TRUE(loader.waitForOutput("Save game loaded\n", loadMark)) << loader.output.substr(loadMark);
  // (The shipped shaders' "Error loading shader" lines on the null driver
  // are no complaint about the save.)
  for (const char* complaint : {"Error loading save file", "Error loading game"})
    EXPECT_EQ(loader.output.find(complaint, loadMark), std::string::npos) << loader.output.substr(loadMark);
  EXPECT_TRUE(exitedCleanly(loader.stopWithin(SIGINT, kTimeoutMs)));
}

// A mod name longer than any folder name is refused at once, and the base
// game runs.
TEST(ServerProcess, OverlongModNameIsInvalidAndTheBaseGameRuns) {
  const fs::path home = scratchDir();
  const std::string name(300, 'm');
  ServerProcess server(home, {"+mod", name});
  ASSERT_TRUE(server.waitForOutput("Game loop start ")) << server.output.substr(0, 2000);
  EXPECT_TRUE(exitedCleanly(server.stopWithin(SIGINT, kTimeoutMs)));
  const std::string log = readFile(home / "Corvane" / "log.txt");
  EXPECT_NE(log.find("Invalid mod name: " + std::string(255, 'm') + "...\n"), std::string::npos);
  EXPECT_EQ(log.find(std::string(256, 'm')), std::string::npos);
  EXPECT_EQ(log.find("Could not load mod"), std::string::npos);
}

}  // namespace

}  // namespace server_process_test
