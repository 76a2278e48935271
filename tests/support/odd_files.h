// Things that are not regular files, put where a test expects a user or data
// file: a folder, a named pipe (opening it blocks) and a link to an endless
// device (reading it never ends).
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

enum class OddFile { Folder, Pipe, ZeroDeviceLink };

// Makes `kind` at `path` (whose folder exists); a failure fails the test.
inline void makeOddFile(const std::filesystem::path& path, OddFile kind) {
  switch (kind) {
    case OddFile::Folder:
      std::filesystem::create_directories(path);
      break;
    case OddFile::Pipe:
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
      break;
    case OddFile::ZeroDeviceLink:
      std::filesystem::create_symlink("/dev/zero", path);
      break;
  }
}

// True when `path` still is what makeOddFile made there.
inline bool isOddFile(const std::filesystem::path& path, OddFile kind) {
  const std::filesystem::file_status status = std::filesystem::symlink_status(path);
  switch (kind) {
    case OddFile::Folder:
      return std::filesystem::is_directory(status);
    case OddFile::Pipe:
      return std::filesystem::is_fifo(status);
    case OddFile::ZeroDeviceLink:
      return std::filesystem::is_symlink(status) && std::filesystem::read_symlink(path) == "/dev/zero";
  }
  return false;
}
