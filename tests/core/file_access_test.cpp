#include "core/file_access.h"

#include <gtest/gtest.h>
#include <irrlicht.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/scratch_files.h"
#include "support/forked_call.h"
#include "support/log_capture.h"

namespace file_access_test {

using irr::core::stringc;
using testing_files::scratchFolder;
using testing_files::writeFile;

namespace {

TEST(FileAccessTest, ReadsPlainPathsAndRefusesFolders) {
  const std::string folder = scratchFolder();
  writeFile(folder + "data.bin", "0123456789");

  EXPECT_TRUE(fileExists((folder + "data.bin").c_str()));
  EXPECT_FALSE(fileExists((folder + "absent.bin").c_str()));
  EXPECT_FALSE(fileExists(folder.c_str()));
  EXPECT_FALSE(fileExists(""));

  InputFile file;
  EXPECT_FALSE(file.open(folder.c_str()));
  ASSERT_TRUE(file.open((folder + "data.bin").c_str()));
  EXPECT_EQ(file.size(), 10);
  char bytes[16] = {};
  EXPECT_EQ(file.read(bytes, 4), 4u);
  EXPECT_STREQ(bytes, "0123");
  ASSERT_TRUE(file.seek(0));
  EXPECT_EQ(file.read(bytes, sizeof bytes), 10u);
  EXPECT_EQ(file.read(bytes, sizeof bytes), 0u);
  file.close();
  EXPECT_EQ(file.read(bytes, sizeof bytes), 0u);
  EXPECT_EQ(file.size(), 0);
}

TEST(FileAccessTest, FilesWrittenIntoAMountedFolderLaterAreFound) {
  const std::string folder = scratchFolder();
  writeFile(folder + "sub/early.txt", "early");
  irr::io::IFileSystem* files = fileSystem();
  ASSERT_NE(files, nullptr);
  ASSERT_TRUE(files->addFileArchive(folder.c_str(), true, false, irr::io::EFAT_FOLDER));

  EXPECT_TRUE(fileExists("sub/early.txt"));
  EXPECT_TRUE(fileExists("SUB/EARLY.TXT"));  // the archive ignores case
  writeFile(folder + "sub/late.txt", "late!");
  EXPECT_TRUE(fileExists("sub/late.txt"));
  InputFile late;
  ASSERT_TRUE(late.open("sub/late.txt"));
  EXPECT_EQ(late.size(), 5);
  EXPECT_FALSE(fileExists("sub/never.txt"));
  EXPECT_FALSE(fileExists("sub"));

  EXPECT_TRUE(files->removeFileArchive(files->getFileArchiveCount() - 1));
  EXPECT_FALSE(fileExists("sub/late.txt"));
}

TEST(FileAccessTest, UsesTheFileSystemItIsGiven) {
  irr::io::IFileSystem* headless = fileSystem();
  headless->grab();
  setFileSystem(nullptr);  // the next use makes a new one
  irr::io::IFileSystem* fresh = fileSystem();
  EXPECT_NE(fresh, nullptr);
  setFileSystem(headless);
  EXPECT_EQ(fileSystem(), headless);
  headless->drop();
}

// While one thread uses the file system through an access, another's file
// calls wait; the holder itself may call them.
TEST(FileAccessTest, AnAccessKeepsOtherThreadsOut) {
  const std::string folder = scratchFolder();
  writeFile(folder + "shared.txt", "x");
  std::atomic<bool> found{false};
  std::thread other;
  {
    const FileSystemAccess access;
    ASSERT_NE(access.get(), nullptr);
    EXPECT_TRUE(fileExists((folder + "shared.txt").c_str()));
    other = std::thread([&] { found = fileExists((folder + "shared.txt").c_str()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(found.load());
  }
  other.join();
  EXPECT_TRUE(found.load());
}

// A pipe or device is refused with an error naming it, whether it is named by
// a plain path, found in a mounted folder by its listed name, or found there
// after the folder was listed; the engine's open would block on a pipe.
TEST(FileAccessTest, RefusesPipesAndDevicesWithoutBlocking) {
  const std::string folder = scratchFolder();
  writeFile(folder + "Mod/Data/Mixed.Txt", "mixed");
  ASSERT_EQ(::mkfifo((folder + "Mod/Data/listed.txt").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (folder + "Mod/Data/zero.txt").c_str()), 0);
  irr::io::IFileSystem* files = fileSystem();
  ASSERT_TRUE(files->addFileArchive((folder + "Mod").c_str(), true, false, irr::io::EFAT_FOLDER));
  ASSERT_EQ(::mkfifo((folder + "Mod/Data/late.txt").c_str(), 0600), 0);

  // The listed name may be lower case: the real file is still found.
  InputFile mixed;
  ASSERT_TRUE(mixed.open("data/mixed.txt"));
  char bytes[8] = {};
  EXPECT_EQ(mixed.read(bytes, sizeof bytes), 5u);
  EXPECT_STREQ(bytes, "mixed");

  const std::pair<std::string, std::string> cases[] = {
      {"Data/listed.txt", folder + "Mod/Data/listed.txt"},
      {"Data/zero.txt", folder + "Mod/Data/zero.txt"},
      {"Data/late.txt", folder + "Mod/Data/late.txt"},
      {folder + "Mod/Data/listed.txt", folder + "Mod/Data/listed.txt"},
  };
  for (const auto& [name, real] : cases) {
    EXPECT_EQ(runInChild([&] {
                LogCapture log;
                InputFile file;
                std::string bytes;
                const bool refused = !fileExists(name.c_str()) && !file.open(name.c_str()) &&
                                     !readWholeFile(name.c_str(), bytes) && bytes.empty();
                const std::string line = "Could not open the data file \"" + real + "\": not a regular file\n";
                return refused && countOccurrences(log.take(), line) == 2 ? 0 : 1;
              }),
              0)
        << name;
  }
  EXPECT_TRUE(files->removeFileArchive(files->getFileArchiveCount() - 1));
}

TEST(FileAccessTest, RefusesFilesOverTheSizeLimit) {
  const std::string folder = scratchFolder();
  writeFile(folder + "huge.bin", "");
  ASSERT_EQ(::truncate((folder + "huge.bin").c_str(), static_cast<off_t>(kMaxDataFileBytes) + 1), 0);
  LogCapture log;
  InputFile file;
  EXPECT_FALSE(file.open((folder + "huge.bin").c_str()));
  EXPECT_EQ(log.take(), "Could not open the data file \"" + folder + "huge.bin\": larger than 67108864 bytes\n");
  ASSERT_EQ(::truncate((folder + "huge.bin").c_str(), static_cast<off_t>(kMaxDataFileBytes)), 0);
  EXPECT_TRUE(file.open((folder + "huge.bin").c_str()));
}

}  // namespace

}  // namespace file_access_test
