// Runs a test in another working directory (where the program looks for its
// data folders and writes script data) and puts the old one back.
#pragma once

#include <filesystem>

class WorkingFolder {
 public:
  explicit WorkingFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingFolder() { std::filesystem::current_path(previous_); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path previous_;
};
