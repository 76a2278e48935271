#include "platform/process.h"

#include <sched.h>
#include <unistd.h>

#include <climits>

namespace plat {

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
