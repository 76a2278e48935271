#include "core/ini_file.h"

#include <IReadFile.h>
#include <IWriteFile.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/log.h"
#include "platform/file.h"
#include "support/odd_files.h"
#include "support/forked_call.h"
#include "support/scratch_dir.h"

namespace ini_file_test {

namespace {

std::string c(const irr::core::stringc& s) { return std::string(s.c_str(), s.size()); }

IniFile parse(const std::string& text) { return IniFile::parse(text.data(), text.size()); }

TEST(IniFileTest, ReadsTheDialectAndWritesSortedSections) {
  struct Case {
    const char* what;
    std::string text;
    std::string written;
  };
  const Case cases[] = {
      {"a section named twice stays twice", "[General]\na = 1\n[Other]\nb=2\n[General]\nc = 3\n",
       "[General]\r\na = 1\r\n\r\n[Other]\r\nb = 2\r\n\r\n[General]\r\nc = 3\r\n\r\n"},
      {"comments cut values too", "[S]\nurl = http://x\n", "[S]\r\nurl = http:\r\n\r\n"},
      {"keys sort by signed byte", "[S]\nzeta=1\nabc=2\nab=3\nZeta=4\n_u=5\n",
       "[S]\r\nZeta = 4\r\n_u = 5\r\nab = 3\r\nabc = 2\r\nzeta = 1\r\n\r\n"},
      {"malformed lines are skipped", "before = section\n[S]\n=x\nx=\n = \nk\nab\nk==v\n a = b = c \nq=w\n",
       "[S]\r\na = b = c\r\nk = =v\r\nq = w\r\n\r\n"},
      {"header names keep their blanks; [] is too short", "[]\n[ spaced ]\nk=v\n", "[ spaced ]\r\nk = v\r\n\r\n"},
      {"the last line needs no line feed; a repeated key keeps the last value", "[S]\nk=1\nk=2",
       "[S]\r\nk = 2\r\n\r\n"},
      {"carriage returns alone make one line", "[S]\rk=v\r", ""},
      {"comments and blanks", "\t[S] // settings\r\n\tk\t=\tv // note\r\n// gone = 1\r\n", "[S]\r\nk = v\r\n\r\n"},
      {"an empty section is written too", "[S]\nk=v\n[T]\n", "[S]\r\nk = v\r\n\r\n[T]\r\n\r\n"},
      {"empty text", "", ""},
  };
  for (const Case& c : cases) {
    IniFile store = parse(c.text);
    EXPECT_EQ(store.format(), c.written) << c.what;
    EXPECT_FALSE(store.changed()) << c.what;
  }
}

TEST(IniFileTest, LookupsReachTheFirstSectionAndTrackChanges) {
  IniFile store = parse("[General]\nx = 1\n[General]\ny = 2\n");

  EXPECT_EQ(c(store.getValue("General", "x", "d", true)), "1");
  EXPECT_EQ(c(store.getValue("General", "y", "d", false)), "d");  // in the second section
  EXPECT_EQ(c(store.getValue("general", "x", "d", false)), "d");  // names are case-sensitive
  EXPECT_EQ(c(store.getValue("General", "z", "d", false)), "d");
  EXPECT_FALSE(store.changed());
  EXPECT_EQ(store.format(), "[General]\r\nx = 1\r\n\r\n[General]\r\ny = 2\r\n\r\n");

  EXPECT_EQ(c(store.getValue("General", "A", "first", true)), "first");
  EXPECT_EQ(c(store.getValue("New", "k", "v", true)), "v");
  EXPECT_TRUE(store.changed());
  EXPECT_EQ(c(store.getValue("General", "A", "other", true)), "first");
  EXPECT_EQ(store.format(),
            "[General]\r\nA = first\r\nx = 1\r\n\r\n"
            "[General]\r\ny = 2\r\n\r\n"
            "[New]\r\nk = v\r\n\r\n");

  IniFile fresh;
  fresh.setValue("S", "k", "v");
  EXPECT_TRUE(fresh.changed());
  IniFile same = parse("[S]\nk=v\n");
  same.setValue("S", "k", "v");  // the same value still counts as a change
  EXPECT_TRUE(same.changed());
  EXPECT_EQ(same.format(), fresh.format());

  same.clear();
  EXPECT_TRUE(same.sections().empty());
  EXPECT_EQ(same.format(), "");
}

class MemoryReadFile : public irr::io::IReadFile {
 public:
  MemoryReadFile(std::string bytes, long claimedSize) : bytes_(std::move(bytes)), size_(claimedSize) {}
  irr::s32 read(void* buffer, irr::u32 sizeToRead) override {
    const std::size_t count = std::min<std::size_t>(sizeToRead, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, count);
    pos_ += count;
    return static_cast<irr::s32>(count);
  }
  bool seek(long, bool) override { return false; }
  long getSize() const override { return size_; }
  long getPos() const override { return static_cast<long>(pos_); }
  const irr::io::path& getFileName() const override { return name_; }

 private:
  std::string bytes_;
  long size_;
  std::size_t pos_ = 0;
  irr::io::path name_ = "memory";
};

class MemoryWriteFile : public irr::io::IWriteFile {
 public:
  explicit MemoryWriteFile(std::size_t room) : room_(room) {}
  irr::s32 write(const void* buffer, irr::u32 sizeToWrite) override {
    const std::size_t count = std::min<std::size_t>(sizeToWrite, room_ - bytes.size());
    bytes.append(static_cast<const char*>(buffer), count);
    return static_cast<irr::s32>(count);
  }
  bool seek(long, bool) override { return false; }
  long getPos() const override { return static_cast<long>(bytes.size()); }
  const irr::io::path& getFileName() const override { return name_; }
  std::string bytes;

 private:
  std::size_t room_;
  irr::io::path name_ = "memory";
};

TEST(IniFileTest, ReadsAndWritesEngineFiles) {
  EXPECT_TRUE(IniFile::read(nullptr).sections().empty());
  const std::string text = "[S]\nk = v\n";
  MemoryReadFile empty(text, 0);
  EXPECT_TRUE(IniFile::read(&empty).sections().empty());
  MemoryReadFile shortRead(text, 1000);  // reads what is there
  IniFile store = IniFile::read(&shortRead);
  EXPECT_EQ(c(store.getValue("S", "k", "", false)), "v");

  store.setValue("S", "k", "w");
  EXPECT_FALSE(store.write(nullptr));
  EXPECT_TRUE(store.changed());
  MemoryWriteFile full(8);
  EXPECT_FALSE(store.write(&full));  // a short write is an error
  EXPECT_TRUE(store.changed());
  MemoryWriteFile roomy(1000);
  EXPECT_TRUE(store.write(&roomy));
  EXPECT_FALSE(store.changed());
  EXPECT_EQ(roomy.bytes, "[S]\r\nk = w\r\n\r\n");
}

std::vector<std::string> logged;
void recordLog(const char* text) { logged.push_back(text); }

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(IniFileTest, FilesOnDiskAreReplacedWholeOrNotAtAll) {
  const std::filesystem::path dir = scratchDir();
  const std::string path = (dir / "settings.cfg").string();
  EXPECT_TRUE(IniFile::readFile(path).sections().empty());  // missing: empty store

  IniFile store;
  store.setValue("S", "k", "v");
  ASSERT_TRUE(store.writeFile(path));
  EXPECT_FALSE(store.changed());
  EXPECT_EQ(fileText(path), "[S]\r\nk = v\r\n\r\n");
  EXPECT_EQ(IniFile::readFile(path).format(), store.format());

  // A file that cannot be written keeps the old one and reports it.
  logged.clear();
  ASSERT_TRUE(addLogSink(recordLog));
  store.setValue("S", "k", "changed");
  const std::string blocked = (dir / "missing" / "settings.cfg").string();
  EXPECT_FALSE(store.writeFile(blocked));
  plat::setFileFaultHook([](plat::FileOp op, const std::string&, std::size_t) {
    return op == plat::FileOp::Write ? ENOSPC : 0;
  });
  EXPECT_FALSE(store.writeFile(path));
  plat::setFileFaultHook(nullptr);
  removeLogSink(recordLog);
  EXPECT_TRUE(store.changed());
  EXPECT_EQ(fileText(path), "[S]\r\nk = v\r\n\r\n");
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(logged[0].rfind("Could not write '" + blocked + "': ", 0), 0u) << logged[0];
  EXPECT_EQ(logged[1], "Could not write '" + path + "': " + plat::errorText(ENOSPC) + "\n");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"settings.cfg"});  // no temporary file left

  // A folder under the name older versions wrote through is not in the way,
  // and is left alone.
  std::filesystem::create_directory(path + ".tmp");
  EXPECT_TRUE(store.writeFile(path));
  EXPECT_EQ(fileText(path), "[S]\r\nk = changed\r\n\r\n");
  EXPECT_TRUE(std::filesystem::is_directory(path + ".tmp"));
}

// A missing file is an empty store with no error; one that exists but cannot
// be read is an empty store with the reason, and a pipe is never waited on.
TEST(IniFileTest, ReadFileTellsAMissingFileFromAnUnreadableOne) {
  const std::filesystem::path dir = scratchDir();
  std::ofstream(dir / "good.cfg", std::ios::binary) << "[S]\nk = v\n";
  makeOddFile(dir / "folder.cfg", OddFile::Folder);
  makeOddFile(dir / "pipe.cfg", OddFile::Pipe);
  makeOddFile(dir / "endless.cfg", OddFile::ZeroDeviceLink);
  { std::ofstream large(dir / "large.cfg", std::ios::binary); }
  std::filesystem::resize_file(dir / "large.cfg", kMaxSettingsFileBytes + 1);

  const std::pair<const char*, const char*> cases[] = {
      {"missing.cfg", ""},
      {"good.cfg", ""},
      {"folder.cfg", "Is a directory"},
      {"pipe.cfg", "not a regular file"},
      {"endless.cfg", "not a regular file"},
      {"large.cfg", "larger than 4194304 bytes"},
  };
  for (const auto& [name, reason] : cases) {
    const std::string path = (dir / name).string();
    EXPECT_EQ(runInChild([&] {
                std::string error = "stale";
                const IniFile store = IniFile::readFile(path, &error);
                const bool good = std::string(name) == "good.cfg";
                return error == reason && store.sections().size() == (good ? 1u : 0u) ? 0 : 1;
              }),
              0)
        << name;
  }
}

}  // namespace

}  // namespace ini_file_test
