#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/directory.h"

namespace plat {

namespace {

std::atomic<FileFaultHook> faultHook{nullptr};

int injectedFault(FileOp op, const std::string& path, std::size_t size = 0) {
  const FileFaultHook hook = faultHook.load(std::memory_order_acquire);
  return hook ? hook(op, path, size) : 0;
}

// Folder part of a path: everything before the last '/', "/" for a file in
// the root, "." for a bare name.
std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

// The error for something at a file's path that is not a regular file.
int notRegular(mode_t mode) { return S_ISDIR(mode) ? EISDIR : kErrorNotRegularFile; }

// Names tried for a temporary file before giving up; each skipped name is in
// use by another writer.
constexpr int kTemporaryAttempts = 1000;
// Numbers the temporary files of this process.
std::atomic<unsigned> temporaryCounter{0};

// The name part of a path (after the last '/').
std::string leafOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when `name` is the name of a temporary file of the file `leaf`:
// "<leaf>.<digits>-<digits>.tmp", or the older "<leaf>.tmp".
bool isTemporaryName(const std::string& name, const std::string& leaf) {
  static const std::string kEnding = ".tmp";
  if (name.size() < leaf.size() + kEnding.size() || name.compare(0, leaf.size(), leaf) != 0 ||
      name.compare(name.size() - kEnding.size(), kEnding.size(), kEnding) != 0)
    return false;
  const std::string middle = name.substr(leaf.size(), name.size() - leaf.size() - kEnding.size());
  if (middle.empty())
    return true;
  // ".<pid>-<n>"
  const std::size_t dash = middle.find('-');
  if (middle[0] != '.' || dash == std::string::npos || dash < 2 || dash + 1 == middle.size())
    return false;
  for (std::size_t i = 1; i < middle.size(); ++i)
    if (i != dash && (middle[i] < '0' || middle[i] > '9'))
      return false;
  return true;
}

// Takes the writer's lock of a new temporary file: 0 when it is held (or the
// file system has no such locks), EAGAIN when another writer's clean-up got
// the file first (it goes: the caller tries another name), or an error.
int lockTemporary(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK)
      return EAGAIN;
    return 0;  // no locks on this file system: nothing is removed as stale either
  }
  struct stat info;
  if (::fstat(fd, &info) != 0)
    return errno;
  return info.st_nlink == 0 ? EAGAIN : 0;
}

}  // namespace

void setFileFaultHook(FileFaultHook hook) { faultHook.store(hook, std::memory_order_release); }

// ---------------------------------------------------------------------------
// OutputFile

OutputFile::~OutputFile() {
  if (fd_ >= 0)
    ::close(fd_);
  releaseLock();
}

void OutputFile::releaseLock() {
  if (lockFd_ >= 0)
    ::close(lockFd_);
  lockFd_ = -1;
}

int OutputFile::create(const std::string& path) {
  if (fd_ >= 0)
    close();
  releaseLock();
  if (const int fault = injectedFault(FileOp::Create, path))
    return fault;
  int fd = -1;
  if (const int error = createRegularFile(path, fd))
    return error;
  fd_ = fd;
  path_ = path;
  return 0;
}

int OutputFile::createTemporaryFor(const std::string& target) {
  if (fd_ >= 0)
    close();
  releaseLock();
  path_.clear();
  removeStaleTemporaries(target);
  const std::string prefix = target + "." + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    const std::string candidate = prefix + std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
    if (attempt == 0) {
      if (const int fault = injectedFault(FileOp::Create, candidate))
        return fault;
    }
    // O_EXCL: only a file this call makes is opened, never one already there
    // (nor a link, a pipe or a device).
    int fd;
    do
      fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == EEXIST)
        continue;
      return errno;
    }
    int error = lockTemporary(fd);
    if (error == EAGAIN) {
      ::close(fd);  // removed by the clean-up that holds it
      continue;
    }
    // The lock belongs to the open file, so a second descriptor keeps it
    // after close() until the file is moved or discarded.
    if (error == 0 && (lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0)) < 0)
      error = errno;
    if (error != 0) {
      ::unlink(candidate.c_str());
      ::close(fd);
      return error;
    }
    fd_ = fd;
    path_ = candidate;
    return 0;
  }
  return EEXIST;
}

int OutputFile::moveTo(const std::string& target) {
  if (fd_ >= 0 || path_.empty())
    return EBADF;
  if (const int error = renameFile(path_, target))
    return error;
  path_.clear();
  releaseLock();
  return 0;
}

void OutputFile::discard() {
  if (fd_ >= 0)
    close();
  if (!path_.empty())
    removeFile(path_);
  path_.clear();
  releaseLock();
}

int OutputFile::write(const void* data, std::size_t size) {
  if (fd_ < 0)
    return EBADF;
  if (const int fault = injectedFault(FileOp::Write, path_, size))
    return fault;
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, next, size);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (written == 0)
      return EIO;  // no progress and no error: never loop forever
    next += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

int OutputFile::sync() {
  if (fd_ < 0)
    return EBADF;
  if (const int fault = injectedFault(FileOp::Sync, path_))
    return fault;
  return ::fsync(fd_) == 0 ? 0 : errno;
}

int OutputFile::close() {
  if (fd_ < 0)
    return EBADF;
  const int fd = fd_;
  fd_ = -1;
  const int fault = injectedFault(FileOp::Close, path_);
  // close is not retried after EINTR: the descriptor is released either way.
  const int result = ::close(fd) == 0 ? 0 : errno;
  return fault ? fault : result;
}

// ---------------------------------------------------------------------------
// InputFile

InputFile::~InputFile() { close(); }

int InputFile::open(const std::string& path, uint64_t maxSize) {
  close();
  int fd;
  do
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // a pipe must not block the open
  while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return errno;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return notRegular(info.st_mode);
  }
  if (static_cast<uint64_t>(info.st_size) > maxSize) {
    ::close(fd);
    return EFBIG;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(info.st_size);
  return 0;
}

int InputFile::read(void* out, std::size_t size, std::size_t& got) {
  got = 0;
  if (fd_ < 0)
    return EBADF;
  char* next = static_cast<char*>(out);
  while (got < size) {
    const ssize_t count = ::read(fd_, next + got, size - got);
    if (count < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    if (count == 0)
      break;
    got += static_cast<std::size_t>(count);
  }
  return 0;
}

void InputFile::close() {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

// ---------------------------------------------------------------------------
// Regular files

int checkRegularFile(const std::string& path, uint64_t maxSize) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0)
    return errno;
  if (!S_ISREG(info.st_mode))
    return notRegular(info.st_mode);
  return static_cast<uint64_t>(info.st_size) > maxSize ? EFBIG : 0;
}

int readRegularFile(const std::string& path, std::string& bytes, uint64_t maxSize) {
  bytes.clear();
  InputFile file;
  if (const int error = file.open(path, maxSize))
    return error;
  // One byte more than allowed tells a file that grew past the limit.
  const uint64_t limit = maxSize == kNoSizeLimit ? maxSize : maxSize + 1;
  bytes.resize(static_cast<std::size_t>(std::min<uint64_t>(file.size(), maxSize)));
  std::size_t have = 0;
  for (;;) {
    if (have == bytes.size()) {
      if (have >= limit)
        break;
      bytes.resize(static_cast<std::size_t>(std::min<uint64_t>(limit, have + 65536)));
    }
    std::size_t got = 0;
    if (const int error = file.read(&bytes[have], bytes.size() - have, got)) {
      bytes.clear();
      return error;
    }
    if (got == 0)
      break;
    have += got;
  }
  bytes.resize(have);
  if (have > maxSize) {
    bytes.clear();
    return EFBIG;
  }
  return 0;
}

int createRegularFile(const std::string& path, int& fd) {
  fd = -1;
  // Looking first keeps a pipe or a device from being opened at all (opening
  // some devices has effects of its own); the check after opening catches a
  // file swapped in between.
  const int found = checkRegularFile(path);
  if (found != 0 && found != ENOENT)
    return found;
  int opened;
  do
    opened = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  while (opened < 0 && errno == EINTR);
  if (opened < 0)
    return errno;
  struct stat info;
  int error = 0;
  if (::fstat(opened, &info) != 0)
    error = errno;
  else if (!S_ISREG(info.st_mode))
    error = notRegular(info.st_mode);
  else if (::ftruncate(opened, 0) != 0)
    error = errno;
  else {
    const int flags = ::fcntl(opened, F_GETFL);
    if (flags < 0 || ::fcntl(opened, F_SETFL, flags & ~O_NONBLOCK) != 0)
      error = errno;
  }
  if (error != 0) {
    ::close(opened);
    return error;
  }
  fd = opened;
  return 0;
}

int emptyRegularFile(const std::string& path) {
  int fd = -1;
  if (const int error = createRegularFile(path, fd))
    return error;
  return ::close(fd) == 0 ? 0 : errno;
}

// ---------------------------------------------------------------------------
// Folder operations

int renameFile(const std::string& from, const std::string& to) {
  if (const int fault = injectedFault(FileOp::Rename, from))
    return fault;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int removeFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT)
    return 0;
  return errno;
}

int linkFile(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0 ? 0 : errno;
}

int removeStaleTemporaries(const std::string& target) {
  const std::string folder = folderOf(target);
  const std::string leaf = leafOf(target);
  std::vector<DirectoryEntry> entries;
  if (leaf.empty() || !listDirectory(folder, entries))
    return 0;
  const std::size_t slash = target.find_last_of('/');
  const std::string prefix = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  int removed = 0;
  for (const DirectoryEntry& entry : entries) {
    if (entry.isDirectory || !isTemporaryName(entry.name, leaf))
      continue;
    const std::string path = prefix + entry.name;
    int fd;
    do
      fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
      continue;
    // Held by nobody, and still the file under that name: stale. A writer
    // that made it just now and has not locked it yet sees it unlinked and
    // takes another name.
    struct stat opened;
    struct stat named;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
        ::unlink(path.c_str()) == 0)
      ++removed;
    ::close(fd);
  }
  return removed;
}

int syncFolderOf(const std::string& path) {
  const std::string folder = folderOf(path);
  if (const int fault = injectedFault(FileOp::SyncFolder, folder))
    return fault;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return errno;
  int result = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  if (result == EINVAL || result == ENOTSUP)
    result = 0;  // the file system does not sync folders
  return result;
}

std::string errorText(int error) {
  if (error == kErrorNotRegularFile)
    return "not a regular file";
  char buffer[256];
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return text ? text : "unknown error";
}

int replaceFile(const std::string& path, const void* data, std::size_t size) {
  OutputFile file;
  if (const int error = file.createTemporaryFor(path))
    return error;
  int error = file.write(data, size);
  if (error == 0)
    error = file.sync();
  const int closeError = file.close();
  if (error == 0)
    error = closeError;
  if (error == 0)
    error = file.moveTo(path);
  if (error != 0) {
    file.discard();
    return error;
  }
  return syncFolderOf(path);
}

}  // namespace plat
