// Reading files through the engine's file system: its mounted archives and
// folders first, then plain paths (relative to the working directory, or
// absolute).
//
// The engine's folder archives list their files once, when the folder is
// mounted; a file written into a mounted folder later is found here by its
// name relative to that folder too, on the disk behind the archive.
//
// Only regular files are read: a name that leads to a pipe, a device or a
// socket (as a plain path or inside a mounted folder) is refused with a
// logged error, and so is a file larger than kMaxDataFileBytes.
//
// Without an engine device (tools, tests, start-up before the device exists)
// the first use makes a headless file system of its own.
#pragma once

#include <irrString.h>

#include <string>

namespace irr {
namespace io {
class IFileSystem;
class IReadFile;
}  // namespace io
}  // namespace irr

// Largest data file read.
constexpr unsigned long kMaxDataFileBytes = 64ul << 20;

// Makes `fileSystem` the one files are opened through (it is grabbed; null
// lets go of the current one). Safe while other threads open files.
void setFileSystem(irr::io::IFileSystem* fileSystem);
// The file system in use, made headless on first use when none was set. The
// pointer stays valid until the next setFileSystem. Calls into it belong
// inside a FileSystemAccess.
irr::io::IFileSystem* fileSystem();

// The engine's file system is shared by the main thread and the script
// set-up thread but is not safe for concurrent use (its archives, file lists
// and reference counts): every direct call into it is made while one of
// these exists. It holds the lock that the functions here take too, and may
// be nested on one thread. Files it opens or creates may be read, written
// and dropped afterwards without it, each by one thread.
class FileSystemAccess {
 public:
  FileSystemAccess();
  ~FileSystemAccess();
  FileSystemAccess(const FileSystemAccess&) = delete;
  FileSystemAccess& operator=(const FileSystemAccess&) = delete;

  // The file system in use (see fileSystem); null only when none could be made.
  irr::io::IFileSystem* get() const { return files_; }
  irr::io::IFileSystem* operator->() const { return files_; }

 private:
  irr::io::IFileSystem* files_;
};

// True when `path` names a readable file (not a folder).
bool fileExists(const irr::core::stringc& path);

// Appends the whole file at `path` to `bytes`. False when it cannot be
// opened, or (logged, `bytes` as it was) when it grows past the limit.
bool readWholeFile(const irr::core::stringc& path, std::string& bytes);

// Opens `path` as InputFile::open finds it, but without its size limit and
// without logging: null when it names no readable regular file. The caller
// drops the file; it may read it on any one thread.
irr::io::IReadFile* openEngineFile(const irr::core::stringc& path);

// One file open for reading. Closed when destroyed.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` (closing a file opened before). False when it does not name
  // a readable regular file; one that is not regular, or is too large, is
  // also logged.
  bool open(const irr::core::stringc& path);
  bool isOpen() const { return file_ != nullptr; }
  // Size in bytes (0 when nothing is open).
  long size() const;
  // Reads up to `bytes` bytes; returns how many were read (0 at the end, on
  // a failure, or when nothing is open).
  unsigned read(void* buffer, unsigned bytes);
  // Moves to `position` bytes from the start. False when it cannot.
  bool seek(long position);
  void close();

 private:
  irr::io::IReadFile* file_ = nullptr;
};
