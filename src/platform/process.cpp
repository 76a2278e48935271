#include "platform/process.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace plat {

bool ensureStandardDescriptors() {
  bool complete = true;
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    // The lowest free number is taken, which is `fd` while the lower ones are
    // open; dup2 covers any other case.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened < 0) {
      complete = false;
      continue;
    }
    if (opened != fd) {
      if (::dup2(opened, fd) != fd)
        complete = false;
      ::close(opened);
    }
  }
  return complete;
}

unsigned affinityCpuCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0)
    return 0;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

std::string executableFolder(const char* argv0) {
  std::string path;
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length > 0 && static_cast<size_t>(length) < sizeof buffer)
    path.assign(buffer, static_cast<size_t>(length));
  else if (argv0 != nullptr)
    path = argv0;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace plat
