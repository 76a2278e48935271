// config.cfg that exists but cannot be read: the defaults serve the run and
// the file is not written over.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/base/config.h"
#include "support/odd_files.h"
#include "support/forked_call.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace config_file_test {

namespace fs = std::filesystem;

namespace {

TEST(ConfigFileTest, AnUnreadableFileGivesTheDefaultsAndIsKept) {
  const fs::path dir = scratchDir();
  for (const char* folder : {"folder", "pipe", "device"})
    fs::create_directories(dir / folder);
  makeOddFile(dir / "folder" / "config.cfg", OddFile::Folder);
  makeOddFile(dir / "pipe" / "config.cfg", OddFile::Pipe);
  makeOddFile(dir / "device" / "config.cfg", OddFile::ZeroDeviceLink);
  const std::pair<const char*, const char*> cases[] = {
      {"folder", "Is a directory"},
      {"pipe", "not a regular file"},
      {"device", "not a regular file"},
  };
  for (const auto& [name, reason] : cases) {
    const std::string path = (dir / name / "config.cfg").string();
    EXPECT_EQ(runInChild([&] {
                fMaxFPS = 1.0f;
                LogCapture log;
                const bool loaded = loadConfig(path, ConfigEnvironment());
                const std::string line =
                    "Could not read config.cfg \"" + path + "\": " + reason + ". Using the defaults.\n";
                return loaded && log.take() == line && fMaxFPS == 75.0f ? 0 : 1;
              }),
              0)
        << name;
    EXPECT_FALSE(fs::exists(path + ".tmp")) << name;
  }
  EXPECT_TRUE(fs::is_directory(dir / "folder" / "config.cfg"));
  EXPECT_TRUE(fs::is_fifo(dir / "pipe" / "config.cfg"));
  EXPECT_TRUE(fs::is_symlink(dir / "device" / "config.cfg"));
}

TEST(ConfigFileTest, AFileWithoutReadPermissionIsLeftByteForByte) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "permissions do not bind root";
  const fs::path path = scratchDir() / "config.cfg";
  std::ofstream(path, std::ios::binary) << "[Graphics]\r\nfMaxFPS = 30\r\n";
  fs::permissions(path, fs::perms::none);
  LogCapture log;
  EXPECT_TRUE(loadConfig(path.string(), ConfigEnvironment()));
  EXPECT_NE(log.take().find("Could not read config.cfg \"" + path.string() + "\": Permission denied"),
            std::string::npos);
  fs::permissions(path, fs::perms::owner_read);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            "[Graphics]\r\nfMaxFPS = 30\r\n");
}

}  // namespace

}  // namespace config_file_test
