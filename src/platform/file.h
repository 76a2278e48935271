// Files as the save code needs them from the operating system: a writer that
// reports every failure, flushing to the disk, replacing a file by renaming
// over it, syncing the folder that holds a file, and a plain buffered reader.
//
// Every operation returns 0 on success or the system's error number (errno).
// Nothing here throws or logs; callers decide what a failure means.
//
// Replacing a file soundly: write "<name>.tmp" in the same folder, sync it,
// close it, rename it over "<name>" (atomic: a reader sees the old file or the
// new one, never a mixture), then sync the folder so the rename itself lasts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

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

  // Creates `path`, or empties it when it exists, for writing.
  int create(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // Writes all `size` bytes, continuing after partial writes and interrupts.
  int write(const void* data, std::size_t size);
  // Waits until the file's data is on the disk.
  int sync();
  // Closes the file; it is closed afterwards even when this fails.
  int close();

 private:
  int fd_ = -1;
  std::string path_;
};

// A regular file opened for reading.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Opens `path`. Anything but a regular file (a folder, a device) fails.
  int open(const std::string& path);
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

// Renames `from` to `to`, replacing `to` atomically when it exists.
int renameFile(const std::string& from, const std::string& to);
// Removes a file; a file that does not exist counts as removed.
int removeFile(const std::string& path);
// Gives the file `existing` the second name `link` (a hard link); fails when
// `link` exists or the file system has no such links.
int linkFile(const std::string& existing, const std::string& link);
// Syncs the folder that holds `path` (the current folder for a bare name).
// File systems that cannot sync a folder count as success.
int syncFolderOf(const std::string& path);
// Replaces the contents of `path` with `size` bytes as described at the top:
// through "<path>.tmp", synced, renamed over the file, folder synced. On
// failure the old file is untouched and no ".tmp" is left behind.
int replaceFile(const std::string& path, const void* data, std::size_t size);
// The system's text for an error number.
std::string errorText(int error);

}  // namespace plat
