#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/odd_files.h"
#include "support/forked_call.h"
#include "support/scratch_dir.h"

namespace file_test {

namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a test puts at a file's path.
enum class Thing { Nothing, Text, Folder, Pipe, DeviceLink };

void make(Thing thing, const fs::path& path, const std::string& text = "") {
  switch (thing) {
    case Thing::Nothing:
      break;
    case Thing::Text:
      writeText(path, text);
      break;
    case Thing::Folder:
      makeOddFile(path, OddFile::Folder);
      break;
    case Thing::Pipe:
      makeOddFile(path, OddFile::Pipe);
      break;
    case Thing::DeviceLink:
      makeOddFile(path, OddFile::ZeroDeviceLink);
      break;
  }
}

TEST(PlatformFileTest, ReadsOnlyRegularFilesUpToTheirLimit) {
  struct Case {
    const char* name;
    Thing thing;
    const char* text;
    int error;
  };
  const Case cases[] = {
      {"missing", Thing::Nothing, "", ENOENT},
      {"folder", Thing::Folder, "", EISDIR},
      {"pipe", Thing::Pipe, "", plat::kErrorNotRegularFile},
      {"link to an endless device", Thing::DeviceLink, "", plat::kErrorNotRegularFile},
      {"over the limit", Thing::Text, "12345", EFBIG},
      {"at the limit", Thing::Text, "1234", 0},
      {"empty", Thing::Text, "", 0},
  };
  const fs::path dir = scratchDir();
  for (const Case& c : cases) {
    const fs::path path = dir / c.name;
    make(c.thing, path, c.text);
    // A pipe or device must be refused at once: a read that blocks or runs
    // on ends in the child, not in the test.
    EXPECT_EQ(runInChild([&] {
                std::string bytes = "old";
                const int error = plat::readRegularFile(path.string(), bytes, 4);
                return error == c.error && bytes == (error == 0 ? c.text : "") ? 0 : 1;
              }),
              0)
        << c.name;
  }
  EXPECT_EQ(plat::errorText(plat::kErrorNotRegularFile), "not a regular file");

  const fs::path large = dir / "large";
  writeText(large, "123456789");
  plat::InputFile input;
  EXPECT_EQ(input.open(large.string(), 8), EFBIG);
  EXPECT_FALSE(input.isOpen());
  EXPECT_EQ(input.open(large.string()), 0);  // no limit by default
  EXPECT_EQ(input.size(), 9u);
}

TEST(PlatformFileTest, AFileWithoutReadPermissionIsAnError) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "permissions do not bind root";
  const fs::path path = scratchDir() / "locked";
  writeText(path, "secret");
  ::chmod(path.c_str(), 0);
  std::string bytes;
  EXPECT_EQ(plat::readRegularFile(path.string(), bytes, 100), EACCES);
}

// Emptying and creating for writing take only a regular or missing file; a
// pipe would block the open and a device would take the bytes.
TEST(PlatformFileTest, WritesOnlyRegularOrMissingFiles) {
  struct Case {
    const char* name;
    Thing thing;
    int error;
  };
  const Case cases[] = {
      {"missing", Thing::Nothing, 0},
      {"regular", Thing::Text, 0},
      {"folder", Thing::Folder, EISDIR},
      {"pipe", Thing::Pipe, plat::kErrorNotRegularFile},
      {"link to a device", Thing::DeviceLink, plat::kErrorNotRegularFile},
  };
  const fs::path dir = scratchDir();
  for (const Case& c : cases) {
    for (const bool viaOutputFile : {false, true}) {
      const fs::path path = dir / (std::string(c.name) + (viaOutputFile ? ".output" : ".emptied"));
      make(c.thing, path, "old text");
      EXPECT_EQ(runInChild([&] {
                  plat::OutputFile output;
                  const int error =
                      viaOutputFile ? output.create(path.string()) : plat::emptyRegularFile(path.string());
                  return error == c.error ? 0 : 1;
                }),
                0)
          << c.name << (viaOutputFile ? " (OutputFile)" : "");
      if (c.error == 0) {
        EXPECT_TRUE(fs::is_regular_file(path)) << c.name;
        EXPECT_EQ(fs::file_size(path), 0u) << c.name;
      }
    }
  }

  // The descriptor handed out writes normally (it is not left non-blocking).
  int fd = -1;
  const fs::path written = dir / "written";
  ASSERT_EQ(plat::createRegularFile(written.string(), fd), 0);
  EXPECT_EQ(::write(fd, "abc", 3), 3);
  ::close(fd);
  EXPECT_EQ(readText(written), "abc");
}

}  // namespace

}  // namespace file_test
