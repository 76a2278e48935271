#include "platform/signals.h"

#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <mutex>

namespace plat {

namespace {

// ---------------------------------------------------------------------------
// Termination requests

std::atomic<int> terminationFlag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

// Waiters sleep in poll() on the read end of a pipe; the request writes one
// byte, which stays unread, so every waiter (present and future) wakes. The
// pipe is made before the handler is installed and is never closed, as a
// waiting thread may still use it while the process ends.
int wakeReadFd = -1;
std::atomic<int> wakeWriteFd{-1};

void makeWakePipe() {
  static std::once_flag once;
  std::call_once(once, [] {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
      return;
    wakeReadFd = ends[0];
    wakeWriteFd.store(ends[1]);
  });
}

// Sets the flag; the first setter also wakes the waiters. Async-signal-safe.
void raiseTermination() {
  if (terminationFlag.exchange(1) != 0)
    return;
  const int fd = wakeWriteFd.load();
  if (fd < 0)
    return;
  const char byte = 1;
  const int savedErrno = errno;
  while (write(fd, &byte, 1) < 0 && errno == EINTR) {
  }
  errno = savedErrno;
}

void onTerminationSignal(int) { raiseTermination(); }

// ---------------------------------------------------------------------------
// Crash reports: everything below runs inside the signal handler and may use
// only async-signal-safe calls.

constexpr std::size_t kMaxFolder = 768;
constexpr std::size_t kMaxPath = 1024;
constexpr int kMaxFrames = 64;
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

struct CrashSetup {
  char folder[kMaxFolder];
  int logFd;
  long utcOffsetSeconds;  // local time minus UTC, taken at install
};
CrashSetup crashSetup;
std::atomic<int> crashing{0};

// Room for the handler to run on the main thread when the fault was a stack
// overflow.
alignas(16) char alternateStack[kSignalStackBytes];

// A started thread's own alternate stack, released when the thread ends.
class ThreadSignalStack {
 public:
  bool install() {
    if (memory_ != nullptr)
      return true;
    void* memory = mmap(nullptr, kSignalStackBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
      return false;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = kSignalStackBytes;
    if (sigaltstack(&stack, &previous_) != 0) {
      munmap(memory, kSignalStackBytes);
      return false;
    }
    memory_ = memory;
    return true;
  }

  ~ThreadSignalStack() {
    if (memory_ == nullptr)
      return;
    // Put back what the thread had (a runtime's own stack, or none), which
    // also takes ours out of use before it is released.
    if ((previous_.ss_flags & SS_DISABLE) != 0) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    } else {
      previous_.ss_flags = 0;
      sigaltstack(&previous_, nullptr);
    }
    munmap(memory_, kSignalStackBytes);
  }

 private:
  void* memory_ = nullptr;
  stack_t previous_{};
};

thread_local ThreadSignalStack threadSignalStack;

// Text appended piece by piece into a fixed buffer; what does not fit is cut.
class SafeText {
 public:
  SafeText(char* buffer, std::size_t size) : buffer_(buffer), size_(size) { buffer_[0] = '\0'; }

  SafeText& add(const char* text) {
    while (*text != '\0' && used_ + 1 < size_)
      buffer_[used_++] = *text++;
    if (*text != '\0')
      overflow_ = true;
    buffer_[used_] = '\0';
    return *this;
  }
  SafeText& add(int64_t value) {
    char digits[24];
    int count = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    char text[26];
    int at = 0;
    if (value < 0)
      text[at++] = '-';
    while (count > 0)
      text[at++] = digits[--count];
    text[at] = '\0';
    return add(text);
  }
  SafeText& addHex(uintptr_t value) {
    char text[2 + 2 * sizeof value + 1] = "0x";
    int at = 2;
    bool started = false;
    for (int shift = static_cast<int>(8 * sizeof value) - 4; shift >= 0; shift -= 4) {
      const unsigned nibble = (value >> shift) & 0xF;
      if (nibble != 0 || started || shift == 0) {
        text[at++] = "0123456789abcdef"[nibble];
        started = true;
      }
    }
    text[at] = '\0';
    return add(text);
  }
  SafeText& twoDigits(int value) {
    const char text[3] = {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10), '\0'};
    return add(text);
  }

  const char* text() const { return buffer_; }
  std::size_t length() const { return used_; }
  bool overflowed() const { return overflow_; }

 private:
  char* buffer_;
  std::size_t size_;
  std::size_t used_ = 0;
  bool overflow_ = false;
};

void writeAll(int fd, const char* text, std::size_t length) {
  while (fd >= 0 && length > 0) {
    const ssize_t written = write(fd, text, length);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

void writeText(int fd, const char* text) { writeAll(fd, text, std::strlen(text)); }

// The log file and standard error both learn where the report went.
void announce(const char* first, const char* second = "") {
  for (int fd : {crashSetup.logFd, STDERR_FILENO}) {
    writeText(fd, first);
    writeText(fd, second);
    writeText(fd, "\n");
  }
}

const char* signalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV (segmentation fault)";
    case SIGBUS:
      return "SIGBUS (bus error)";
    case SIGFPE:
      return "SIGFPE (arithmetic fault)";
    case SIGILL:
      return "SIGILL (illegal instruction)";
    case SIGABRT:
      return "SIGABRT (aborted)";
    default:
      return "unknown signal";
  }
}

void writeCrashReport(int signal, const siginfo_t* info) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const CrashTime time = crashTimeFromSeconds(static_cast<int64_t>(now.tv_sec) + crashSetup.utcOffsetSeconds);

  char path[kMaxPath];
  if (!formatCrashReportPath(path, sizeof path, crashSetup.folder, time)) {
    announce("Could not write out minidump");
    return;
  }
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    announce("Could not write out minidump");
    return;
  }
  announce("Building minidump ", path);

  char buffer[512];
  SafeText header(buffer, sizeof buffer);
  header.add("Crash report\nSignal: ").add(signal).add(" ").add(signalName(signal)).add("\n");
  if (info != nullptr)
    header.add("Address: ").addHex(reinterpret_cast<uintptr_t>(info->si_addr)).add("\n");
  header.add("Time: ").add(time.year).add("-").twoDigits(time.month).add("-").twoDigits(time.day);
  header.add(" ").twoDigits(time.hour).add(":").twoDigits(time.minute).add(":").twoDigits(time.second);
  header.add("\nBacktrace:\n");
  writeAll(fd, header.text(), header.length());

  void* frames[kMaxFrames];
  const int count = backtrace(frames, kMaxFrames);
  backtrace_symbols_fd(frames, count, fd);
  close(fd);
}

void onCrashSignal(int signal, siginfo_t* info, void*) {
  if (crashing.exchange(1) == 0)
    writeCrashReport(signal, info);
  // The handler was installed with SA_RESETHAND and SA_NODEFER: the default
  // action is back in place and happens at once.
  raise(signal);
}

}  // namespace

bool installThreadSignalStack() { return threadSignalStack.install(); }

void installTerminationHandlers() {
  makeWakePipe();
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  // A second request while shutting down ends the process the usual way.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  // A closed output pipe must not end the server, and reading standard input
  // from a terminal while in the background must not stop it (the read fails
  // with EIO instead).
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGTTIN, &ignore, nullptr);
}

bool terminationRequested() { return terminationFlag.load(std::memory_order_relaxed) != 0; }

void requestTermination() {
  makeWakePipe();
  raiseTermination();
}

bool waitForTermination(unsigned timeoutMs) {
  makeWakePipe();
  if (terminationRequested() || wakeReadFd < 0)
    return terminationRequested();
  pollfd wake{};
  wake.fd = wakeReadFd;
  wake.events = POLLIN;
  const int timeout = timeoutMs > 0x7fffffffu ? 0x7fffffff : static_cast<int>(timeoutMs);
  // An interrupted poll returns early; the caller waits again if it likes.
  poll(&wake, 1, timeout);
  return terminationRequested();
}

void clearTerminationRequest() {
  makeWakePipe();
  terminationFlag.store(0);
  char bytes[16];
  while (wakeReadFd >= 0 && read(wakeReadFd, bytes, sizeof bytes) > 0) {
  }
}

CrashTime crashTimeFromSeconds(int64_t localSeconds) {
  int64_t days = localSeconds / 86400;
  int64_t secondsOfDay = localSeconds % 86400;
  if (secondsOfDay < 0) {
    secondsOfDay += 86400;
    --days;
  }
  // Days since 1970-01-01 to a civil date, counting from 0000-03-01 so that
  // the leap day ends each 400-year era's year.
  const int64_t shifted = days + 719468;
  const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const int64_t dayOfEra = shifted - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  CrashTime time{};
  time.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  time.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
  time.hour = static_cast<int>(secondsOfDay / 3600);
  time.minute = static_cast<int>(secondsOfDay / 60 % 60);
  time.second = static_cast<int>(secondsOfDay % 60);
  return time;
}

bool formatCrashReportPath(char* out, std::size_t size, const char* folder, const CrashTime& time) {
  if (size == 0)
    return false;
  SafeText path(out, size);
  path.add(folder).add("QV_").add(time.day).add("-").add(time.month).add("-").add(time.year);
  path.add("_").add(time.hour).add("-").add(time.minute).add("-").add(time.second).add(".mdmp");
  if (path.overflowed()) {
    out[0] = '\0';
    return false;
  }
  return true;
}

bool installCrashHandlers(const char* folder, int logFd) {
  if (std::strlen(folder) >= kMaxFolder)
    return false;
  std::strcpy(crashSetup.folder, folder);
  crashSetup.logFd = logFd;

  const time_t now = time(nullptr);
  tm local{};
  crashSetup.utcOffsetSeconds = localtime_r(&now, &local) != nullptr ? local.tm_gmtoff : 0;

  // The first backtrace loads the unwinder, which allocates: do it now.
  void* frames[2];
  backtrace(frames, 2);

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = onCrashSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
  for (int signal : kCrashSignals)
    sigaction(signal, &action, nullptr);
  return true;
}

}  // namespace plat
