// Files as the save code needs them from the operating system: a writer that
// reports every failure, flushing to the disk, replacing a file by renaming
// over it, syncing the folder that holds a file, and a plain buffered reader.
//
// Every operation returns 0 on success or the system's error number (errno),
// or kErrorNotRegularFile. Nothing here throws or logs; callers decide what a
// failure means.
//
// Only regular files are opened. A named pipe, a device or a socket at a
// file's path is refused without blocking and without reading it, so that a
// user file replaced by one can neither hang the server nor feed it endless
// bytes.
//
// Replacing a file soundly: write a temporary file of the writer's own in the
// same folder ("<name>.<pid>-<n>.tmp", created exclusively), sync it, close
// it, rename it over "<name>" (atomic: a reader sees the old file or a whole
// new one, never a mixture), then sync the folder so the rename itself lasts.
// Two writers replacing one file, in one process or in two, never share a
// temporary file: the file left is one writer's whole file.
//
// A writer holds a lock on its temporary file until the rename. Temporary
// files of a name that nobody holds (left by a killed process, or the fixed
// "<name>.tmp" of older versions) are removed by the next writer of that name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// Error number for a path that exists but is neither a regular file nor a
// folder (a named pipe, a device, a socket). Outside the system's range.
constexpr int kErrorNotRegularFile = 0x10000;
// No limit on the size of a file opened for reading.
constexpr uint64_t kNoSizeLimit = UINT64_MAX;
// Largest user settings file read (config.cfg, autoexec.ini).
constexpr uint64_t kMaxUserFileBytes = 4u << 20;

// The operations a fault hook can make fail.
enum class FileOp {
  Create,      // OutputFile::create
  Write,       // OutputFile::write (size is the byte count)
  Sync,        // OutputFile::sync
  Close,       // OutputFile::close
  Rename,      // renameFile (path is the source)
  SyncFolder,  // syncFolderOf
};

// Test hook: called before each operation above with the file's path and, for
// writes, the byte count. A non-zero result makes the operation fail with that
// error number without doing it (a failed close still releases the file).
// Null (the default) lets every operation run.
using FileFaultHook = int (*)(FileOp op, const std::string& path, std::size_t size);
void setFileFaultHook(FileFaultHook hook);

// A file opened for writing from its start.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes a file still open, ignoring the result.
  ~OutputFile();

  // Creates `path`, or empties it when it is a regular file, for writing
  // (see createRegularFile).
  int create(const std::string& path);
  // Creates a new temporary file of this writer's own beside `target`, for
  // replacing it (see the top): stale temporary files of `target` are removed
  // first, then "<target>.<pid>-<n>.tmp" is created exclusively, a name in
  // use being skipped for the next number. The file stays locked until
  // moveTo or discard, or until this object is destroyed or creates another.
  int createTemporaryFor(const std::string& target);
  bool isOpen() const { return fd_ >= 0; }
  // The path of the file created last ("" before the first).
  const std::string& path() const { return path_; }
  // Writes all `size` bytes, continuing after partial writes and interrupts.
  int write(const void* data, std::size_t size);
  // Waits until the file's data is on the disk.
  int sync();
  // Closes the file; it is closed afterwards even when this fails. The lock
  // of a temporary file is kept.
  int close();
  // Renames the closed file over `target` (see renameFile), then lets its
  // lock go. On failure the file stays, locked, for discard.
  int moveTo(const std::string& target);
  // Closes the file when it is open, removes it and lets its lock go. For a
  // file that was not made or already moved, nothing is removed.
  void discard();

 private:
  void releaseLock();

  int fd_ = -1;
  // A second descriptor of a temporary file that keeps it locked after close.
  int lockFd_ = -1;
  std::string path_;
};

// A regular file opened for reading.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Opens `path`. Anything but a regular file fails: EISDIR for a folder,
  // kErrorNotRegularFile for a pipe or a device; EFBIG for a file larger
  // than `maxSize` bytes.
  int open(const std::string& path, uint64_t maxSize = kNoSizeLimit);
  bool isOpen() const { return fd_ >= 0; }
  // The file's size when it was opened.
  uint64_t size() const { return size_; }
  // Reads up to `size` bytes into `out`, continuing after interrupts; sets
  // `got` to the count read, less than asked only at the end of the file.
  int read(void* out, std::size_t size, std::size_t& got);
  void close();

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
};

// What is at `path`: 0 for a regular file of at most `maxSize` bytes, ENOENT
// when nothing is there, EISDIR for a folder, kErrorNotRegularFile for
// anything else, EFBIG for a larger file, or the error that kept it from
// being looked at. Links are followed.
int checkRegularFile(const std::string& path, uint64_t maxSize = kNoSizeLimit);
// Replaces `bytes` with the whole regular file at `path`; EFBIG when it holds
// more than `maxSize` bytes (also when it grows while it is read). ENOENT
// tells a missing file from one that exists but cannot be read.
int readRegularFile(const std::string& path, std::string& bytes, uint64_t maxSize);
// Opens `path` for writing, emptied, and sets `fd` to the descriptor (blocking,
// close-on-exec). Only a regular file or a missing one (created) is opened:
// anything else is refused before it is opened for writing, so a pipe cannot
// block and a device is never written.
int createRegularFile(const std::string& path, int& fd);
// Empties the regular file at `path`, creating it when it is missing; anything
// else is refused as by createRegularFile.
int emptyRegularFile(const std::string& path);

// Renames `from` to `to`, replacing `to` atomically when it exists.
int renameFile(const std::string& from, const std::string& to);
// Removes a file; a file that does not exist counts as removed.
int removeFile(const std::string& path);
// Gives the file `existing` the second name `link` (a hard link); fails when
// `link` exists or the file system has no such links.
int linkFile(const std::string& existing, const std::string& link);
// Removes the temporary files of `target` (as made by
// OutputFile::createTemporaryFor, and the older "<target>.tmp") that are
// regular files no writer holds; any other file is left alone. Returns the
// count removed.
int removeStaleTemporaries(const std::string& target);
// Syncs the folder that holds `path` (the current folder for a bare name).
// File systems that cannot sync a folder count as success.
int syncFolderOf(const std::string& path);
// Replaces the contents of `path` with `size` bytes as described at the top:
// through a temporary file of this call's own, synced, renamed over the file,
// folder synced. On failure the old file is untouched and the temporary file
// is removed.
int replaceFile(const std::string& path, const void* data, std::size_t size);
// The system's text for an error number ("not a regular file" for
// kErrorNotRegularFile).
std::string errorText(int error);

}  // namespace plat
