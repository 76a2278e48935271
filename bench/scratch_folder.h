// A scratch folder for a benchmark program, made under /tmp and removed when
// the program exits.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace benchscratch {

inline std::string& folderPath() {
  static std::string folder;
  return folder;
}

inline void removeFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(folderPath(), ignored);
}

// Makes "/tmp/corvane_bench_<benchName>_XXXXXX" (once per program) and
// gives its path; a program that cannot make it ends.
inline std::filesystem::path makeScratchFolder(const char* benchName) {
  if (folderPath().empty()) {
    std::string pattern = std::string("/tmp/corvane_bench_") + benchName + "_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    folderPath() = pattern;
    std::atexit(removeFolder);
  }
  return folderPath();
}

}  // namespace benchscratch
