#include "core/file_access.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <atomic>
#include <string>
#include <thread>

#include "core/scratch_files.h"

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

}  // namespace
