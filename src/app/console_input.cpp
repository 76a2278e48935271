#include "app/console_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/base/console.h"
#include "core/log.h"
#include "core/threads.h"
#include "core/utf8.h"
#include "platform/signals.h"

namespace {

// The process's reader. Never freed: the reader may still be blocked in
// read(), or waiting for room, when the process ends.
ConsoleInput* processInput = nullptr;

}  // namespace

bool ConsoleInput::start(int fd) {
  if (started_)
    return false;
  fd_ = fd;
  Thread reader;
  started_ = reader.start(readLoop, this, true);
  return started_;
}

void ConsoleInput::push(Line line) {
  std::unique_lock<std::mutex> guard(lock_);
  room_.wait(guard, [this] { return lines_.size() < kConsoleInputQueueLimit; });
  lines_.push_back(std::move(line));
}

uint32_t ConsoleInput::readLoop(void* self) {
  ConsoleInput& input = *static_cast<ConsoleInput*>(self);
  Line line;
  char buffer[1024];
  for (;;) {
    const ssize_t count = read(input.fd_, buffer, sizeof buffer);
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
        input.push(std::move(line));
        line = Line{};
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
    input.push(std::move(line));
  // The last use of `input`: once ended, the object may be destroyed.
  std::lock_guard<std::mutex> guard(input.lock_);
  input.ended_ = true;
  return 0;
}

int ConsoleInput::run() {
  std::size_t waiting;
  {
    std::lock_guard<std::mutex> guard(lock_);
    waiting = lines_.size();
  }
  // Lines queued while these run wait for the next call, so that a flood of
  // input cannot hold the caller for ever.
  int handled = 0;
  for (; waiting > 0; --waiting) {
    if (plat::terminationRequested())
      break;
    Line line;
    {
      std::lock_guard<std::mutex> guard(lock_);
      line = std::move(lines_.front());
      lines_.pop_front();
    }
    room_.notify_one();
    Console* target = console();
    if (line.tooLong || line.text.size() > kMaxConsoleInputLine) {
      logError("Console input line longer than %zu bytes ignored\n", kMaxConsoleInputLine);
    } else if (!line.text.empty() && target != nullptr) {
      target->execute(irr::core::stringw(utf8ToWide(line.text).c_str()), true);
    }
    ++handled;
  }
  return handled;
}

bool ConsoleInput::ended() const {
  std::lock_guard<std::mutex> guard(lock_);
  return ended_;
}

std::size_t ConsoleInput::queued() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_.size();
}

bool startConsoleInput(int fd) {
  if (processInput != nullptr)
    return false;
  processInput = new ConsoleInput;
  return processInput->start(fd);
}

int runConsoleInput() { return processInput != nullptr ? processInput->run() : 0; }

bool consoleInputEnded() { return processInput != nullptr && processInput->ended(); }

void mirrorConsoleToStdout(const wchar_t* text, std::size_t length) {
  const std::string bytes = wideToUtf8(std::wstring(text, length));
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}
