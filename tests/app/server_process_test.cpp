// The built server, run as an operator runs it: its own user folder, lines
// on standard input, output on standard output, stopped by signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
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
#include "support/scratch_dir.h"

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

class ServerProcess {
 public:
  ServerProcess(const fs::path& dataHome, const std::vector<std::string>& arguments) {
    int input[2];
    int output[2];
    if (pipe(input) != 0 || pipe(output) != 0)
      return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(input[0], STDIN_FILENO);
      dup2(output[1], STDOUT_FILENO);
      close(input[1]);
      close(output[0]);
      setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
      const std::string program = std::string(CORVANE_BINARY_DIR) + "/corvane";
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(input[0]);
    close(output[1]);
    input_ = input[1];
    output_ = output[0];
  }

  ~ServerProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    closeInput();
    if (output_ >= 0)
      close(output_);
  }

  bool started() const { return pid_ > 0; }

  void send(const std::string& text) { ASSERT_EQ(write(input_, text.data(), text.size()), ssize_t(text.size())); }

  void closeInput() {
    if (input_ >= 0)
      close(input_);
    input_ = -1;
  }

  // Reads standard output until it holds `text` (after `from`).
  bool waitForOutput(const std::string& text, std::size_t from = 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (output.find(text, from) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !readSome(static_cast<int>(left.count())))
        return false;
    }
    return true;
  }

  // Sends `signal` and waits for the process to end; returns its wait status.
  int stopWith(int signal) {
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    while (readSome(0)) {
    }
    return status;
  }

  std::string output;

 private:
  bool readSome(int timeoutMs) {
    pollfd ready{output_, POLLIN, 0};
    if (poll(&ready, 1, timeoutMs) <= 0)
      return false;
    char buffer[4096];
    const ssize_t count = read(output_, buffer, sizeof buffer);
    if (count <= 0)
      return false;
    output.append(buffer, static_cast<std::size_t>(count));
    return true;
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  bool exited_ = false;
};

// `texts` occur in `haystack` in this order.
void expectInOrder(const std::string& haystack, const std::vector<std::string>& texts) {
  std::size_t at = 0;
  for (const std::string& text : texts) {
    const std::size_t found = haystack.find(text, at);
    ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << text << "\nin:\n" << haystack;
    at = found + text.size();
  }
}

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

  ServerProcess server(home, {});
  ASSERT_TRUE(server.waitForOutput("Corvane build: ")) << server.output;
  ASSERT_TRUE(server.waitForOutput("Auto-executing autoexec.ini\nclear\n  clear - Erases all lines")) << server.output;
  EXPECT_EQ(server.output.find("> find_all"), std::string::npos);

  std::size_t mark = server.output.size();
  server.send("list\n");
  ASSERT_TRUE(server.waitForOutput("> list\nbind\n  bind key command - ", mark)) << server.output;
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
                {"Seed: 0\n", "Mod Directory '", "============\nLoading resources...\n============\n",
                 "============\nPreparing Galaxy...\n============\n",
                 "============\nPreparing Galaxy... Finished(", "Initializing 0 galaxy processing threads\n",
                 "============\nInitialize GUI...\n============\n", "Game loop start ",
                 "Game ending. Total game time (not session): ", "Shutting down engine\n"});
  const std::string log = readFile(home / "Corvane" / "log.txt");
  EXPECT_EQ(log.find("objects have not been deleted"), std::string::npos);
  // The shipped resources, effects and effectors load without a complaint,
  // the scripts their hooks name included.
  for (const char* loaded : {"Loading effects: Game Data/Effects/storage.txt\n",
                             "Loading effects: Game Data/Effects/colony.txt\n",
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
  EXPECT_NE(log.find("\nInitializing " + std::to_string(threads) + " galaxy processing threads\n"),
            std::string::npos);
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

}  // namespace
