#include "app/autoexec.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/odd_files.h"
#include "support/forked_call.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace autoexec_test {

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(AutoexecTest, AMissingFileIsCreatedWithItsHeader) {
  const fs::path path = scratchDir() / "autoexec.ini";
  LogCapture log;
  runAutoexec(path.string());
  EXPECT_EQ(readText(path), kAutoexecHeader);
  EXPECT_EQ(log.take(), "");
}

// Anything but a regular file at the path is neither read nor created over:
// an error names it, and a pipe does not hold start-up.
TEST(AutoexecTest, WhatIsNotARegularFileIsLoggedAndLeftAlone) {
  const fs::path dir = scratchDir();
  makeOddFile(dir / "folder", OddFile::Folder);
  makeOddFile(dir / "pipe", OddFile::Pipe);
  makeOddFile(dir / "device", OddFile::ZeroDeviceLink);
  { std::ofstream large(dir / "large"); }
  fs::resize_file(dir / "large", kMaxAutoexecBytes + 1);
  const std::pair<const char*, const char*> cases[] = {
      {"folder", "Is a directory"},
      {"pipe", "not a regular file"},
      {"device", "not a regular file"},
      {"large", "larger than 4194304 bytes"},
  };
  for (const auto& [name, reason] : cases) {
    const std::string path = (dir / name).string();
    EXPECT_EQ(runInChild([&] {
                LogCapture log;
                runAutoexec(path);
                return log.take() == "Could not read autoexec.ini \"" + path + "\": " + reason + "\n" ? 0 : 1;
              }),
              0)
        << name;
  }
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
  EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  EXPECT_TRUE(fs::is_symlink(dir / "device"));
  EXPECT_EQ(fs::file_size(dir / "large"), kMaxAutoexecBytes + 1);
}

}  // namespace

}  // namespace autoexec_test
