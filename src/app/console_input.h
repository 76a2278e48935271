// The console on standard input and output, for headless operation.
//
// A reader thread takes lines from a file descriptor (standard input) and
// queues them; the main thread runs them through the console as if typed
// into its input line (echoed). The end of the input ends only the reader.
//
// The queue is bounded: while it holds kConsoleInputQueueLimit lines the
// reader waits for the main thread to take some, so a flood of input costs
// bounded memory and nothing typed is lost. A quit request stops the main
// thread's run between two lines; the rest stays queued.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

// Longest line taken; a longer one is refused with an error, not cut.
constexpr std::size_t kMaxConsoleInputLine = 4096;
// Lines the queue holds before the reader waits for room.
constexpr std::size_t kConsoleInputQueueLimit = 4096;

// One reader thread and the lines it has queued.
class ConsoleInput {
 public:
  ConsoleInput() = default;
  // Only once the reader has ended (ended()), or when it never started: a
  // reader waiting for input or room uses this object.
  ~ConsoleInput() = default;
  ConsoleInput(const ConsoleInput&) = delete;
  ConsoleInput& operator=(const ConsoleInput&) = delete;

  // Starts the reader thread on `fd`; false when it could not be started or
  // was started before.
  bool start(int fd);
  // Runs the lines queued when the call begins, in order, on the calling
  // thread through the current console, and returns how many were handled.
  // Stops early, leaving the rest queued, once termination is requested.
  int run();
  // True once the reader has seen the end of its input.
  bool ended() const;
  // Lines waiting to be run.
  std::size_t queued() const;

 private:
  struct Line {
    std::string text;
    bool tooLong = false;
  };

  static uint32_t readLoop(void* self);
  void push(Line line);

  int fd_ = -1;
  bool started_ = false;
  mutable std::mutex lock_;
  std::condition_variable room_;  // signalled when the main thread takes a line
  std::deque<Line> lines_;
  bool ended_ = false;
};

// Starts the process's reader thread on `fd`. One reader per process.
bool startConsoleInput(int fd);
// Runs the process reader's lines (ConsoleInput::run); 0 when none started.
int runConsoleInput();
// True once the process's reader has seen the end of its input.
bool consoleInputEnded();

// A console mirror (see Console::setMirror) that writes UTF-8 to standard
// output.
void mirrorConsoleToStdout(const wchar_t* text, std::size_t length);
