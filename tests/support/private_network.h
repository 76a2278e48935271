// A private network for a process that a test starts: a network namespace
// of its own whose only interface is loopback, so that nothing it sends can
// leave the machine.
//
// enterPrivateNetwork() is called in a forked child before it execs. It first
// tries a user namespace too, in which the child is root over the files of
// the user who runs the tests and of no one else: a file owned by another
// user stays closed to it even when the tests run as root. When user
// namespaces are not available, a network namespace alone is made (root
// only).
#pragma once

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace privatenet {

// How far enterPrivateNetwork got.
enum class Isolation { None, Network, UserAndNetwork };

inline bool writeProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

inline bool bringLoopbackUp() {
  const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0)
    return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = ::ioctl(sock, SIOCGIFFLAGS, &request) == 0;
  if (up) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    up = ::ioctl(sock, SIOCSIFFLAGS, &request) == 0;
  }
  ::close(sock);
  return up;
}

// Moves the calling (single-threaded) process into its own namespaces and
// brings loopback up there. Isolation::None when neither could be made.
inline Isolation enterPrivateNetwork() {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0) {
    const bool mapped = writeProcFile("/proc/self/setgroups", "deny") &&
                        writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") &&
                        writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n");
    if (mapped && bringLoopbackUp())
      return Isolation::UserAndNetwork;
    return Isolation::None;
  }
  if (::unshare(CLONE_NEWNET) == 0 && bringLoopbackUp())
    return Isolation::Network;
  return Isolation::None;
}

// What enterPrivateNetwork achieves on this machine, found once by a child.
inline Isolation availableIsolation() {
  static const Isolation found = [] {
    const pid_t child = ::fork();
    if (child == 0)
      ::_exit(static_cast<int>(enterPrivateNetwork()));
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
      return Isolation::None;
    return static_cast<Isolation>(WEXITSTATUS(status));
  }();
  return found;
}

}  // namespace privatenet
