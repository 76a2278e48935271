#include "platform/user_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/directory.h"

namespace user_paths_test {

namespace {

// Sets or (with null) unsets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_)
      old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (hadOld_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool hadOld_ = false;
  std::string old_;
};

TEST(UserPathsTest, DataFolderFromTheEnvironment) {
  struct Case {
    const char* dataHome;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/data/home", "/home/u", "/data/home"},
      {"/data/home//", "/home/u", "/data/home"},
      {"relative/ignored", "/home/u", "/home/u/.local/share"},
      {"", "/home/u/", "/home/u/.local/share"},
      {nullptr, "/", "/.local/share"},
  };
  for (const Case& c : cases) {
    ScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(plat::userAppDataFolder(), c.expected) << (c.dataHome ? c.dataHome : "(unset)");
  }
  // Without $HOME the user database gives the home folder.
  ScopedEnv dataHome("XDG_DATA_HOME", nullptr);
  ScopedEnv home("HOME", nullptr);
  const std::string folder = plat::userAppDataFolder();
  EXPECT_FALSE(folder.empty());
}

TEST(DirectoryTest, CreateListAndKinds) {
  const char* scratch = std::getenv("CORVANE_TEST_TMP");
  const std::string root = std::string(scratch != nullptr ? scratch : "/tmp") + "/directory_test_" +
                           std::to_string(::getpid());
  ASSERT_TRUE(plat::createDirectories(root + "/a/b/c"));
  ASSERT_TRUE(plat::createDirectories(root + "/a/b/c"));  // existing: fine
  EXPECT_TRUE(plat::isDirectory(root + "/a/b"));
  EXPECT_FALSE(plat::isRegularFile(root + "/a/b"));

  std::vector<plat::DirectoryEntry> entries;
  ASSERT_TRUE(plat::listDirectory(root + "/a", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "b");
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_FALSE(plat::listDirectory(root + "/missing", entries));
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_FALSE(plat::createDirectories(""));
  EXPECT_NE(plat::currentDirectory(), "");
}

}  // namespace

}  // namespace user_paths_test
