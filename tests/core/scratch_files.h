// Files for tests that read from disk, in the test's own scratch folder.
#pragma once

#include <fstream>
#include <string>

#include "platform/directory.h"
#include "support/scratch_dir.h"

namespace testing_files {

// The running test's fresh scratch folder, as a path ending with '/'.
inline std::string scratchFolder() { return scratchDir().string() + "/"; }

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
