#include "app/console_input.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <string>

#include "app/base/console.h"
#include "core/locks.h"
#include "core/log.h"
#include "core/threads.h"
#include "core/utf8.h"

namespace {

struct InputLine {
  std::string text;
  bool tooLong = false;
};

// Shared by the reader and the main thread. Never freed: the reader may
// still be blocked in read() when the process ends.
struct InputQueue {
  int fd = -1;
  Mutex lock;
  std::deque<InputLine> lines;
  std::atomic<bool> ended{false};
};
InputQueue* inputQueue = nullptr;

void push(InputQueue& queue, InputLine line) {
  MutexGuard guard(queue.lock);
  queue.lines.push_back(std::move(line));
}

uint32_t readConsoleInput(void* argument) {
  InputQueue& queue = *static_cast<InputQueue*>(argument);
  InputLine line;
  char buffer[1024];
  for (;;) {
    const ssize_t count = read(queue.fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR)
      continue;
    // End of input, or a failure: EIO is what a process in the background of
    // its terminal gets. Either way the server goes on without typed input.
    if (count <= 0)
      break;
    for (ssize_t i = 0; i < count; ++i) {
      const char c = buffer[i];
      if (c == '\n') {
        if (!line.text.empty() && line.text.back() == '\r')
          line.text.pop_back();
        push(queue, std::move(line));
        line = InputLine{};
      } else if (c == '\0') {
        continue;  // a NUL would end the line early once it is wide text
      } else if (line.text.size() < kMaxConsoleInputLine + 1) {
        line.text += c;  // one more than allowed, to tell "\r\n" from overflow
      } else {
        line.tooLong = true;
      }
    }
  }
  if (!line.text.empty() || line.tooLong)
    push(queue, std::move(line));
  queue.ended.store(true);
  return 0;
}

}  // namespace

bool startConsoleInput(int fd) {
  if (inputQueue != nullptr)
    return false;
  inputQueue = new InputQueue;
  inputQueue->fd = fd;
  Thread reader;
  return reader.start(readConsoleInput, inputQueue, true);
}

int runConsoleInput() {
  if (inputQueue == nullptr)
    return 0;
  std::deque<InputLine> lines;
  {
    MutexGuard guard(inputQueue->lock);
    lines.swap(inputQueue->lines);
  }
  Console* target = console();
  int handled = 0;
  for (InputLine& line : lines) {
    if (line.tooLong || line.text.size() > kMaxConsoleInputLine) {
      logError("Console input line longer than %zu bytes ignored\n", kMaxConsoleInputLine);
    } else if (!line.text.empty() && target != nullptr) {
      target->execute(irr::core::stringw(utf8ToWide(line.text).c_str()), true);
    }
    ++handled;
  }
  return handled;
}

bool consoleInputEnded() { return inputQueue != nullptr && inputQueue->ended.load(); }

void mirrorConsoleToStdout(const wchar_t* text, std::size_t length) {
  const std::string bytes = wideToUtf8(std::wstring(text, length));
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}
