#include "core/log.h"

#include <ILogger.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "core/locks.h"
#include "platform/file.h"

int logLevel = kLogLevelErrors;

namespace {

Mutex& logLock() {
  static Mutex lock;
  return lock;
}

char logBuffer[kLogBufferSize];
LogSink sinks[kMaxLogSinks];
LogSink consoleSink = nullptr;
std::atomic<irr::ILogger*> logger{nullptr};

// Engine levels are one above ours: information 1, warning 2, error 3.
int toOurLevel(irr::ELOG_LEVEL engineLevel) { return static_cast<int>(engineLevel) - 1; }

bool levelAllows(int threshold) {
  irr::ILogger* current = logger.load();
  return current == nullptr || toOurLevel(current->getLogLevel()) <= threshold;
}

void emit(const char* format, va_list args) {
  MutexGuard guard(logLock());
  const int written = std::vsnprintf(logBuffer, sizeof logBuffer, format, args);
  if (written < 0) {
    // The text could not be formatted (a wide argument with no narrow form):
    // pass the format itself on, marked, rather than lose the message.
    const std::size_t length = std::strlen(format);
    const bool lineEnd = length > 0 && format[length - 1] == '\n';
    std::snprintf(logBuffer, sizeof logBuffer, "%.*s (text not printable)%s",
                  static_cast<int>(lineEnd ? length - 1 : length), format, lineEnd ? "\n" : "");
  }
  logBuffer[sizeof logBuffer - 1] = '\0';
  for (LogSink sink : sinks) {
    if (sink == nullptr)
      break;
    sink(logBuffer);
  }
}

}  // namespace

#define CORVANE_LOG_BODY(threshold) \
  if (!levelAllows(threshold))      \
    return;                         \
  va_list args;                     \
  va_start(args, format);           \
  emit(format, args);               \
  va_end(args)

void logPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(format, args);
  va_end(args);
}

void logUnlessSilent(const char* format, ...) {
  const irr::ILogger* logger = engineLogger();
  if (logger != nullptr && logger->getLogLevel() >= irr::ELL_NONE)
    return;
  va_list args;
  va_start(args, format);
  emit(format, args);
  va_end(args);
}

void logInfo(const char* format, ...) { CORVANE_LOG_BODY(kLogLevelInfo); }
void logWarning(const char* format, ...) { CORVANE_LOG_BODY(kLogLevelWarnings); }
void logError(const char* format, ...) { CORVANE_LOG_BODY(kLogLevelErrors); }

#undef CORVANE_LOG_BODY

bool addLogSink(LogSink sink) {
  MutexGuard guard(logLock());
  for (LogSink& place : sinks) {
    if (place == nullptr) {
      place = sink;
      return true;
    }
  }
  return false;
}

void removeLogSink(LogSink sink) {
  if (sink == nullptr)
    return;
  MutexGuard guard(logLock());
  for (int i = 0; i < kMaxLogSinks && sinks[i] != nullptr; ++i) {
    if (sinks[i] == sink) {
      for (int j = i; j + 1 < kMaxLogSinks; ++j)
        sinks[j] = sinks[j + 1];
      sinks[kMaxLogSinks - 1] = nullptr;
      return;
    }
  }
}

void setConsoleLogSink(LogSink sink) { consoleSink = sink; }

void removeConsoleLogSink() { removeLogSink(consoleSink); }

int logSinks(LogSink (&out)[kMaxLogSinks]) {
  MutexGuard guard(logLock());
  int count = 0;
  for (LogSink sink : sinks) {
    if (sink == nullptr)
      break;
    out[count++] = sink;
  }
  for (int i = count; i < kMaxLogSinks; ++i)
    out[i] = nullptr;
  return count;
}

std::FILE* openLogFile(const std::string& path, std::string& reason) {
  int fd = -1;
  if (const int error = plat::createRegularFile(path, fd)) {
    reason = plat::errorText(error);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "w");
  if (file == nullptr) {
    reason = plat::errorText(errno);
    ::close(fd);
  }
  return file;
}

void standardErrorLogSink(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}

void setEngineLogger(irr::ILogger* engine) { logger.store(engine); }

irr::ILogger* engineLogger() { return logger.load(); }

void setEngineLogLevel(int level) {
  if (level < kLogLevelInfo)
    level = kLogLevelInfo;
  if (level > kLogLevelErrors)
    level = kLogLevelErrors;
  if (irr::ILogger* current = logger.load())
    current->setLogLevel(static_cast<irr::ELOG_LEVEL>(level + 1));
}

int currentLogLevel() {
  irr::ILogger* current = logger.load();
  return current != nullptr ? toOurLevel(current->getLogLevel()) : logLevel;
}
