// Collects everything logged while a LogCapture exists.
#pragma once

#include <mutex>
#include <string>

#include "core/log.h"

class LogCapture {
 public:
  LogCapture() {
    take();
    addLogSink(sink);
  }
  ~LogCapture() { removeLogSink(sink); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The text logged since the last take (or since the capture began).
  std::string take() {
    std::lock_guard<std::mutex> guard(lock());
    std::string out;
    out.swap(text());
    return out;
  }

 private:
  static std::mutex& lock() {
    static std::mutex mutex;
    return mutex;
  }
  static std::string& text() {
    static std::string captured;
    return captured;
  }
  static void sink(const char* line) {
    std::lock_guard<std::mutex> guard(lock());
    text() += line;
  }
};

// How many times `what` stands in `text` (occurrences that do not overlap).
inline std::size_t countOccurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
    ++n;
  return n;
}
