#include "core/user_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>

#include "core/scratch_files.h"
#include "support/log_capture.h"
#include "platform/directory.h"

namespace user_folders_test {

using irr::core::stringc;
using irr::core::stringw;
using testing_files::scratchFolder;
using testing_files::writeFile;

namespace {

// A game folder with base data and mods beside it, and a user folder:
//   Game Data/a.txt b.txt c.txt        the base data
//   Mods/X     Name: X, Derive from: Y    a.txt
//   Mods/Y     Name: Y                    a.txt b.txt
//   Mods/Z     Derive from: None           z.txt
//   Mods/fold  Name: "Pretty/One", Derive from: base
//   Mods/.svn  (a modinfo.txt, but hidden)
//   Mods/Loop1 <-> Mods/Loop2          derive from each other
//   Mods/Escape  Derive from: ../../Game Data
//   Mods/Broken  a 1-byte modinfo.txt
//   <user>/Corvane/Mods/U  Name: U    a.txt (a mod beside the user's files)
class ModsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string scratch = scratchFolder();
    root_ = scratch + "game/";
    user_ = scratch + "user/";
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
      writeFile(root_ + "Game Data/" + name, "base");
    mod("X", "Name: X\r\nDerive from: Y\r\n", {"a.txt"});
    mod("Y", "Name: Y\n", {"a.txt", "b.txt"});
    mod("Z", "Name: Z\nDerive from: None\n", {"z.txt"});
    mod("fold", "Name: \"Pretty/One\"\nDerive from: base\n", {"b.txt"});
    mod(".svn", "Name: Hidden\n", {"a.txt"});
    mod("Loop1", "Derive from: Loop2\n", {});
    mod("Loop2", "Derive from: Loop1\n", {});
    mod("Escape", "Derive from: ../../Game Data\n", {});
    writeFile(root_ + "Mods/Broken/modinfo.txt", "N");
    writeFile(user_ + "Corvane/Mods/U/modinfo.txt", "Name: U\n");
    writeFile(user_ + "Corvane/Mods/U/Game Data/a.txt", "user mod");

    // Mods are scanned relative to the game's folder, as the server runs.
    previousDirectory_ = plat::currentDirectory();
    ASSERT_EQ(chdir(root_.c_str()), 0);
    userDataFolder = user_.substr(0, user_.size() - 1).c_str();
  }

  void TearDown() override {
    clearModTables();
    currentModName = "";
    EXPECT_EQ(chdir(previousDirectory_.c_str()), 0);
  }

  void mod(const std::string& name, const std::string& info, std::initializer_list<const char*> files) {
    writeFile(root_ + "Mods/" + name + "/modinfo.txt", info);
    for (const char* file : files)
      writeFile(root_ + "Mods/" + name + "/Game Data/" + file, name);
  }

  // Applies `modName` and returns what the "Game Data/" handler was given.
  std::map<std::string, std::string> apply(const char* modName) {
    std::map<std::string, std::string> given;
    scanMods();
    log_.take();  // the broken mod's warning comes with every scan
    currentModName = modName;
    registerDataFolderHandler("Game Data", [&given](const DataFolderFiles& files) {
      for (const auto& file : files)
        given[file.first.c_str()] = file.second.c_str();
    });
    const std::string before = plat::currentDirectory();
    applyCurrentMod();
    EXPECT_EQ(plat::currentDirectory(), before);
    return given;
  }

  LogCapture log_;
  std::string root_, user_, previousDirectory_;
};

TEST_F(ModsTest, DerivedModFilesOverrideInChainOrder) {
  const std::map<std::string, std::string> expected = {
      {"a.txt", "Mods/X/Game Data/a.txt"}, {"b.txt", "Mods/Y/Game Data/b.txt"}, {"c.txt", "Game Data/c.txt"}};
  EXPECT_EQ(apply("X"), expected);
  EXPECT_EQ(log_.take(), "");

  const ModInfo* x = getCurrentModInfo();
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(isCurrentModValid());
  for (const auto& file : expected)
    EXPECT_STREQ(x->resolvePath(("Game Data/" + file.first).c_str()).c_str(), file.second.c_str());
  EXPECT_STREQ(x->resolvePath("Game Data/none.txt").c_str(), "Game Data/none.txt");

  EXPECT_STREQ(topModFolder().c_str(), "Mods/X/");
  EXPECT_STREQ(userFolders.base.c_str(), "Mods/X/");
  EXPECT_EQ(userFolders.game.c_str(), user_ + "Corvane/Mods/X/");
  EXPECT_EQ(userFolders.saves.c_str(), user_ + "Corvane/Mods/X/Saves/");
}

TEST_F(ModsTest, DeriveFromNoneHidesTheBaseData) {
  EXPECT_EQ(apply("Z"), (std::map<std::string, std::string>{{"z.txt", "Mods/Z/Game Data/z.txt"}}));
  // Single files still fall back to the base data's path.
  EXPECT_STREQ(getCurrentModInfo()->resolvePath("Game Data/c.txt").c_str(), "Game Data/c.txt");
}

TEST_F(ModsTest, BaseGameNamesApplyOnlyTheBaseData) {
  const std::map<std::string, std::string> base = {
      {"a.txt", "Game Data/a.txt"}, {"b.txt", "Game Data/b.txt"}, {"c.txt", "Game Data/c.txt"}};
  for (const char* name : {"", ".", "/", "./anything", ".\\x", "C\\games"}) {
    EXPECT_EQ(apply(name), base) << name;
    EXPECT_TRUE(isCurrentModValid()) << name;
    EXPECT_EQ(getCurrentModInfo(), nullptr) << name;
    EXPECT_STREQ(userFolders.base.c_str(), "./");
    EXPECT_EQ(userFolders.game.c_str(), user_ + "Corvane/");
    EXPECT_EQ(userFolders.screenshots.c_str(), user_ + "Corvane/Screenshots/");
    clearModTables();
  }
  EXPECT_EQ(log_.take(), "");
}

TEST_F(ModsTest, InvalidNamesEndTheChainWithTheBaseData) {
  const std::map<std::string, std::string> base = {
      {"a.txt", "Game Data/a.txt"}, {"b.txt", "Game Data/b.txt"}, {"c.txt", "Game Data/c.txt"}};
  struct Case {
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {"Nope", "Invalid mod name: Nope\n"},           {"..", "Invalid mod name: ..\n"},
      {"../Mods/X", "Invalid mod name: ../Mods/X\n"}, {"Mods/X", "Invalid mod name: Mods/X\n"},
      {"Hidden", "Invalid mod name: Hidden\n"},  // the .svn folder is no mod
  };
  for (const Case& c : cases) {
    EXPECT_EQ(apply(c.name), base) << c.name;
    EXPECT_EQ(log_.take(), c.message);
    EXPECT_FALSE(isCurrentModValid()) << c.name;
    EXPECT_EQ(getCurrentModInfo(), nullptr) << c.name;
    EXPECT_STREQ(userFolders.base.c_str(), "./");
    clearModTables();
  }

  // A "Derive from" that is a path ends the chain after the mod's own files.
  EXPECT_EQ(apply("Escape").size(), 3u);
  EXPECT_EQ(log_.take(), "Invalid mod name: ../../Game Data\n");
  clearModTables();

  // Mods that derive from each other end the chain instead of looping.
  EXPECT_EQ(apply("Loop1").size(), 3u);
  EXPECT_EQ(log_.take(), "Invalid mod name: Loop1\n");
  EXPECT_STREQ(getCurrentModInfo()->resolvePath("Game Data/a.txt").c_str(), "Game Data/a.txt");
}

// A name longer than kMaxModNameLength names no mod, even a mod's own display
// name; the message shows its beginning only.
TEST_F(ModsTest, OverlongNamesAreInvalid) {
  const std::string longest(kMaxModNameLength, 'n');
  const std::string over = longest + "x";
  mod("Longest", "Name: " + longest + "\n", {"a.txt"});
  mod("Over", "Name: " + over + "\n", {"a.txt"});

  EXPECT_TRUE(checkModNameLength(longest.c_str()));
  EXPECT_TRUE(checkModNameLength(""));
  EXPECT_EQ(log_.take(), "");
  EXPECT_EQ(apply(longest.c_str())["a.txt"], "Mods/Longest/Game Data/a.txt");
  EXPECT_TRUE(isCurrentModValid());
  EXPECT_EQ(log_.take(), "");
  clearModTables();

  for (const std::string& name : {over, std::string(128000, 'm')}) {
    const std::string message = "Invalid mod name: " + name.substr(0, kMaxModNameLength) + "...\n";
    EXPECT_FALSE(checkModNameLength(name.c_str()));
    EXPECT_EQ(log_.take(), message);
    EXPECT_EQ(apply(name.c_str())["a.txt"], "Game Data/a.txt");
    EXPECT_EQ(log_.take(), message);
    EXPECT_FALSE(isCurrentModValid());
    EXPECT_EQ(getCurrentModInfo(), nullptr);
    clearModTables();
  }
}

TEST_F(ModsTest, ScanReadsModInfoAndBothModFolders) {
  scanMods();
  const std::map<stringc, ModInfo>& mods = modTable();
  EXPECT_EQ(mods.count(".svn"), 0u);

  const ModInfo& fold = mods.at("fold");
  EXPECT_EQ(fold.displayName, stringw(L"Pretty|One"));
  EXPECT_TRUE(fold.derives);
  EXPECT_STREQ(fold.parent.c_str(), "/");
  EXPECT_FALSE(mods.at("Z").derives);
  EXPECT_STREQ(mods.at("X").parent.c_str(), "Y");
  EXPECT_EQ(log_.take(), "Failed to load mod info file: Bad File \"Mods/Broken/modinfo.txt\"\n");
  EXPECT_TRUE(mods.at("Broken").derives);  // kept, with its defaults

  // Found by display name or by folder name alike.
  for (const char* name : {"Pretty|One", "fold"}) {
    currentModName = name;
    EXPECT_EQ(getCurrentModInfo(), &fold) << name;
  }

  // The user's own mod: an absolute folder, but user folders under the user folder.
  EXPECT_EQ(mods.at("U").folder.c_str(), user_ + "Corvane/Mods/U/");
  EXPECT_EQ(apply("U")["a.txt"], user_ + "Corvane/Mods/U/Game Data/a.txt");
  EXPECT_EQ(userFolders.base.c_str(), user_ + "Corvane/Mods/U/");
  EXPECT_EQ(userFolders.game.c_str(), user_ + "Corvane/Mods/U/");
  EXPECT_EQ(userFolders.profiles.c_str(), user_ + "Corvane/Mods/U/Profiles/");
}

TEST_F(ModsTest, UserFoldersAreCreated) {
  UserFolders folders;
  userDataFolder = (user_ + "deeper/data").c_str();  // missing levels are created too
  setUserFolders(folders);
  createUserFolders(folders);
  for (const char* sub : {"", "Profiles", "Saves", "Screenshots"})
    EXPECT_TRUE(plat::isDirectory(user_ + "deeper/data/Corvane/" + sub)) << sub;
  EXPECT_STREQ(folders.base.c_str(), "./");
}

}  // namespace

}  // namespace user_folders_test
