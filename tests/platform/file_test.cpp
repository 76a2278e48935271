#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Temporary files for replacing a file: each writer's own, made only where
// nothing is; the clean-up before each takes only files nobody holds.
TEST(PlatformFileTest, TemporaryFilesAreEachWritersOwn) {
  const fs::path dir = scratchDir();
  const std::string target = (dir / "config.cfg").string();
  writeText(target, "old");
  const std::string prefix = target + "." + std::to_string(::getpid()) + "-";
  const auto numberOf = [&](const std::string& path) -> long {
    if (path.rfind(prefix, 0) != 0 || path.size() < prefix.size() + 5 || path.compare(path.size() - 4, 4, ".tmp") != 0)
      return -1;
    return std::stol(path.substr(prefix.size(), path.size() - prefix.size() - 4));
  };

  plat::OutputFile first;
  ASSERT_EQ(first.createTemporaryFor(target), 0);
  const long n = numberOf(first.path());
  ASSERT_GE(n, 0) << first.path();

  // The next names are taken: by a file another writer holds, and by things
  // that are no regular file. Each is skipped and stays as it is.
  const auto nameAt = [&](long k) { return prefix + std::to_string(k) + ".tmp"; };
  const int held = ::open(nameAt(n + 1).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::write(held, "held", 4), 4);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  make(Thing::Folder, nameAt(n + 2));
  make(Thing::Pipe, nameAt(n + 3));
  writeText(dir / "victim", "victim");
  fs::create_symlink(dir / "victim", nameAt(n + 4));

  plat::OutputFile second;
  ASSERT_EQ(second.createTemporaryFor(target), 0);
  EXPECT_EQ(second.path(), nameAt(n + 5));
  EXPECT_TRUE(fs::is_regular_file(first.path()));  // held by the first writer
  EXPECT_EQ(readText(nameAt(n + 1)), "held");

  // Each file holds its writer's bytes; the last one moved is the file.
  ASSERT_EQ(first.write("first", 5), 0);
  ASSERT_EQ(second.write("second", 6), 0);
  EXPECT_EQ(first.close(), 0);
  EXPECT_EQ(second.close(), 0);
  EXPECT_EQ(second.moveTo(target), 0);
  EXPECT_EQ(readText(target), "second");
  EXPECT_EQ(first.moveTo(target), 0);
  EXPECT_EQ(readText(target), "first");
  EXPECT_EQ(first.path(), "");

  // A discarded file goes and the target stays.
  plat::OutputFile dropped;
  ASSERT_EQ(dropped.createTemporaryFor(target), 0);
  const std::string droppedPath = dropped.path();
  ASSERT_EQ(dropped.write("dropped", 7), 0);
  dropped.discard();
  EXPECT_FALSE(fs::exists(droppedPath));
  EXPECT_EQ(readText(target), "first");

  // Let go, the held file is stale: the next replacement removes it. The
  // things that are no regular file and the link's file stay.
  ::close(held);
  ASSERT_EQ(plat::replaceFile(target, "new", 3), 0);
  EXPECT_EQ(readText(target), "new");
  EXPECT_FALSE(fs::exists(nameAt(n + 1)));
  EXPECT_TRUE(isOddFile(nameAt(n + 2), OddFile::Folder));
  EXPECT_TRUE(isOddFile(nameAt(n + 3), OddFile::Pipe));
  EXPECT_TRUE(fs::is_symlink(nameAt(n + 4)));
  EXPECT_EQ(readText(dir / "victim"), "victim");
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left.size(), 5u);  // the target, the victim and the three odd names
}

}  // namespace

}  // namespace file_test
