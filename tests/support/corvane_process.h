// The built server, `corvane`, run as an operator runs it, for tests: a
// user folder of its own, lines on its standard input, its standard output
// and log file read, stopped by signals.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/thread.h"
#include "support/private_network.h"

namespace corvaneproc {

namespace fs = std::filesystem;

// Generous: the sanitizer build starts slowly on a busy machine.
constexpr int kProcessTimeoutMs = 60000;

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// How a server is started besides its arguments.
struct Launch {
  Launch() {}  // not an aggregate: a braced argument list means the arguments

  std::vector<std::string> arguments;
  fs::path input;            // standard input from this file instead of a pipe
  bool closeOutput = false;  // standard output closed, as by ">&-"
  fs::path output;           // standard output into this file instead of a pipe
  fs::path errors;           // standard error into this file
  // The process makes its own private network namespace; false: it stays in
  // the caller's (which must be private itself, see network_child.h), so
  // that several processes and the test's probes meet on one loopback.
  bool ownNetwork = true;
  // The program, in the build folder.
  std::string program = "corvane";
};

inline Launch withArguments(const std::vector<std::string>& arguments) {
  Launch launch;
  launch.arguments = arguments;
  return launch;
}

// A `corvane` process: its own user folder (XDG_DATA_HOME), lines written to
// its standard input, its standard output read, its log file at hand.
// Every process runs in a private network namespace (see private_network.h).
class ServerProcess {
 public:
  ServerProcess(const fs::path& dataHome, const std::vector<std::string>& arguments)
      : ServerProcess(dataHome, withArguments(arguments)) {}

  ServerProcess(const fs::path& dataHome, const Launch& launch) : home_(dataHome) {
    int input[2];
    int output[2];
    if (pipe(input) != 0 || pipe(output) != 0)
      return;
    pid_ = fork();
    if (pid_ == 0) {
      if (launch.ownNetwork && privatenet::enterPrivateNetwork() == privatenet::Isolation::None) {
        const char message[] = "cannot make a private network namespace\n";
        (void)!write(STDERR_FILENO, message, sizeof message - 1);
        _exit(126);
      }
      if (!launch.input.empty()) {
        const int file = open(launch.input.c_str(), O_RDONLY);
        dup2(file, STDIN_FILENO);
        close(file);
      } else {
        dup2(input[0], STDIN_FILENO);
      }
      if (launch.closeOutput) {
        close(STDOUT_FILENO);
      } else if (!launch.output.empty()) {
        const int file = open(launch.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, STDOUT_FILENO);
        close(file);
      } else {
        dup2(output[1], STDOUT_FILENO);
      }
      if (!launch.errors.empty()) {
        const int file = open(launch.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, STDERR_FILENO);
        close(file);
      }
      close(input[0]);
      close(input[1]);
      close(output[0]);
      close(output[1]);
      setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
      const std::string program = std::string(CORVANE_BINARY_DIR) + "/" + launch.program;
      std::vector<char*> argv{const_cast<char*>(program.c_str())};
      for (const std::string& argument : launch.arguments)
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
  // The user folder's "Corvane" folder, and the log file in it.
  fs::path gameFolder() const { return home_ / "Corvane"; }
  fs::path logPath() const { return gameFolder() / "log.txt"; }
  std::string log() const { return readFile(logPath()); }

  // Polls the log file until it holds `text` (after `from`).
  bool waitForLog(const std::string& text, std::size_t from = 0, int timeoutMs = kProcessTimeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (log().find(text, from) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline)
        return false;
      plat::sleepMs(20);
    }
    return true;
  }
  pid_t pid() const { return pid_; }

  void send(const std::string& text) { ASSERT_EQ(write(input_, text.data(), text.size()), ssize_t(text.size())); }

  void closeInput() {
    if (input_ >= 0)
      close(input_);
    input_ = -1;
  }

  // Reads standard output until it holds `text` (after `from`).
  bool waitForOutput(const std::string& text, std::size_t from = 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProcessTimeoutMs);
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

  // Sends `signal` and waits at most `limitMs` for the process to end, reading
  // its output meanwhile. The wait status, or -1 when it was still running
  // (it is then killed).
  int stopWithin(int signal, int limitMs) {
    kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline)
        return -1;
      if (!readSome(20))
        plat::sleepMs(20);
    }
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

  fs::path home_;
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  bool exited_ = false;
};

}  // namespace corvaneproc
