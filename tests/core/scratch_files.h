// Scratch folders and files for tests that read from disk.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/directory.h"

namespace testing_files {

// A fresh, empty folder of its own under the build's scratch folder; the path
// ends with '/'.
inline std::string scratchFolder(const std::string& name) {
  const char* root = std::getenv("CORVANE_TEST_TMP");
  std::string base = root != nullptr ? root : "/tmp";
  const std::string folder = base + "/" + name + "-" + std::to_string(getpid()) + "/";
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  plat::createDirectories(folder.substr(0, folder.size() - 1));
  return folder;
}

// Writes `bytes` to `path`, creating the folders above it.
inline void writeFile(const std::string& path, const std::string& bytes) {
  const std::string::size_type slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0)
    plat::createDirectories(path.substr(0, slash));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The UTF-16LE form of ASCII text (no byte-order mark).
inline std::string utf16le(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

}  // namespace testing_files
