#include "core/data_file.h"

#include <gtest/gtest.h>
#include <irrlicht.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_access.h"
#include "core/scratch_files.h"
#include "support/log_capture.h"

namespace data_file_test {

using irr::core::stringc;
using irr::core::stringw;
using testing_files::scratchFolder;
using testing_files::utf16le;
using testing_files::writeFile;

namespace {

const char* const kFixture = CORVANE_SOURCE_DIR "/tests/core/fixtures/sample_data.txt";
const std::vector<std::string> kFixtureLines = {"Name: Outpost", "Cost : 12.5", "Link: http:", "Tabbed:\tvalue",
                                                "Last: no line end"};
const std::vector<int> kFixtureNumbers = {3, 4, 7, 8, 9};

std::string readBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> narrowLines(const std::string& path) {
  std::vector<stringc> lines;
  EXPECT_TRUE(readTextDataFile(path.c_str(), lines)) << path;
  std::vector<std::string> out;
  for (const stringc& line : lines)
    out.push_back(line.c_str());
  return out;
}

class DataFileTest : public ::testing::Test {
 protected:
  std::string folder_ = scratchFolder();

  std::string file(const std::string& name, const std::string& bytes) {
    writeFile(folder_ + name, bytes);
    return folder_ + name;
  }
};

TEST_F(DataFileTest, LinesAreSplitCleanedAndCommentsCut) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const std::string longLine(3000, 'x');
  const Case cases[] = {
      {"crlf", "a\r\n\r\nb", {"a", "b"}},
      {"mixed ends", "a\rb\nc\r\n\n\rd", {"a", "b", "c", "d"}},
      {"blank and comments only", "  \r\n// one\r\n\t// two\r\n", {}},
      {"key line", "   key : value // comment\n", {"key : value"}},
      {"value holding slashes", "url: http://host/x", {"url: http:"}},
      {"long line", "k: " + longLine + "\nnext", {"k: " + longLine, "next"}},
      {"stray zero byte", std::string("ab\0cd\nef", 8), {"abcd", "ef"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(narrowLines(file("case.txt", c.bytes)), c.lines) << c.name;

  EXPECT_EQ(narrowLines(kFixture), kFixtureLines);
}

TEST_F(DataFileTest, Utf16FilesGiveTheSameLines) {
  const std::string ascii = readBytes(kFixture);
  EXPECT_EQ(narrowLines(file("plain.txt", utf16le(ascii))), kFixtureLines);
  // A byte-order mark is not part of the first line; an odd last byte is ignored.
  EXPECT_EQ(narrowLines(file("mark.txt", "\xFF\xFE" + utf16le(ascii) + "!")), kFixtureLines);

  const std::string longLine(3000, 'y');
  EXPECT_EQ(narrowLines(file("long.txt", utf16le(longLine + "\r\nz"))), (std::vector<std::string>{longLine, "z"}));

  // Characters outside single bytes come through whole in the wide form.
  std::vector<stringw> wide;
  ASSERT_TRUE(readTextDataFile(file("wide.txt", std::string("a\0:\0\x3A\x04", 6)).c_str(), wide));
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0], stringw(L"a:\x043A"));
}

// The two bytes of one UTF-16LE code unit.
std::string unit(uint16_t value) { return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }

TEST_F(DataFileTest, Utf16SurrogatesDecodeToWholeCharacters) {
  const std::string smile = unit(0xD83D) + unit(0xDE00);  // U+1F600
  const std::string chunkFull = utf16le(std::string(511, 'p'));  // a pair's first half ends the 1024-byte chunk
  struct Case {
    const char* name;
    std::string bytes;
    std::wstring line;
  };
  const Case cases[] = {
      {"pair", utf16le("a") + smile + utf16le("b"), L"a\U0001F600b"},
      {"pair across chunks", chunkFull + smile + utf16le("b"), std::wstring(511, L'p') + L"\U0001F600b"},
      {"lone first half", utf16le("a") + unit(0xD800) + utf16le("b"), L"a\uFFFDb"},
      {"lone second half", utf16le("a") + unit(0xDC00) + utf16le("b"), L"a\uFFFDb"},
      {"first half ends the file", utf16le("ab") + unit(0xD83D), L"ab\uFFFD"},
      {"first half ends a chunk, no partner", chunkFull + unit(0xD800) + utf16le("q"),
       std::wstring(511, L'p') + L"\uFFFDq"},
  };
  for (const Case& c : cases) {
    std::vector<stringw> wide;
    ASSERT_TRUE(readTextDataFile(file("pairs.txt", c.bytes).c_str(), wide)) << c.name;
    ASSERT_EQ(wide.size(), 1u) << c.name;
    EXPECT_EQ(std::wstring(wide[0].c_str()), c.line) << c.name;
  }
}

// A file whose reads stop short of the size it reports, as when a disk fails
// or the file is cut while being read.
class ShortReadFile : public irr::io::IReadFile {
 public:
  ShortReadFile(const irr::io::path& name, long size, long readable)
      : name_(name), size_(size), readable_(readable) {}
  irr::s32 read(void* buffer, irr::u32 sizeToRead) override {
    const long count = std::max(0L, std::min<long>(sizeToRead, readable_ - position_));
    std::memset(buffer, 'x', static_cast<size_t>(count));
    position_ += count;
    return static_cast<irr::s32>(count);
  }
  bool seek(long finalPos, bool relativeMovement) override {
    position_ = relativeMovement ? position_ + finalPos : finalPos;
    return true;
  }
  long getSize() const override { return size_; }
  long getPos() const override { return position_; }
  const irr::io::path& getFileName() const override { return name_; }

 private:
  irr::io::path name_;
  long size_;
  long readable_;
  long position_ = 0;
};

// An archive holding one ShortReadFile.
class ShortReadArchive : public irr::io::IFileArchive {
 public:
  ShortReadArchive(irr::io::IFileSystem* files, const irr::io::path& name, long size, long readable)
      : name_(name), size_(size), readable_(readable), list_(files->createEmptyFileList("", false, false)) {
    list_->addItem(name, 0, static_cast<irr::u32>(size), false);
    list_->sort();
  }
  ~ShortReadArchive() override { list_->drop(); }
  irr::io::IReadFile* createAndOpenFile(const irr::io::path& filename) override {
    return filename == name_ ? new ShortReadFile(name_, size_, readable_) : nullptr;
  }
  irr::io::IReadFile* createAndOpenFile(irr::u32 index) override {
    return index == 0 ? new ShortReadFile(name_, size_, readable_) : nullptr;
  }
  const irr::io::IFileList* getFileList() const override { return list_; }

 private:
  irr::io::path name_;
  long size_;
  long readable_;
  irr::io::IFileList* list_;
};

TEST_F(DataFileTest, AReadThatStopsEarlyFailsAndIsLogged) {
  const char* const name = "short_read_fixture.txt";
  struct Case {
    const char* name;
    long readable;
  };
  const Case cases[] = {{"stops in the first chunk", 500}, {"stops after a chunk", 1024}, {"stops in the probe", 10}};
  for (const Case& c : cases) {
    ShortReadArchive* archive;
    {
      FileSystemAccess files;
      archive = new ShortReadArchive(files.get(), name, 3000, c.readable);
      ASSERT_TRUE(files->addFileArchive(archive));
    }
    LogCapture log;
    std::vector<stringc> lines = {"kept"};
    EXPECT_FALSE(readTextDataFile(name, lines)) << c.name;
    EXPECT_EQ(lines, std::vector<stringc>{"kept"}) << c.name;
    std::vector<NumberedLine> numbered(1);
    EXPECT_FALSE(readNumberedDataFile(name, numbered, kDataFileClean)) << c.name;
    EXPECT_EQ(numbered.size(), 1u) << c.name;
    const std::string logged = log.take();
    EXPECT_NE(logged.find(std::string("Could not read data file ") + name), std::string::npos) << logged;
    {
      FileSystemAccess files;
      files->removeFileArchive(archive);  // drops the reference the file system took over
    }
  }
}

TEST_F(DataFileTest, SingleBytesAboveAsciiReadAsLatin1) {
  std::vector<stringw> wide;
  ASSERT_TRUE(readTextDataFile(file("high.txt", "caf\xE9").c_str(), wide));
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0][3], static_cast<wchar_t>(0xE9));
  EXPECT_EQ(narrowLines(folder_ + "high.txt"), (std::vector<std::string>{"caf\xE9"}));
}

TEST_F(DataFileTest, UnreadableFilesLeaveTheOutputAlone) {
  const std::vector<std::string> paths = {file("empty.txt", ""), file("one.txt", "a"), folder_ + "missing.txt",
                                          folder_};
  for (const std::string& path : paths) {
    std::vector<stringw> lines = {L"kept"};
    EXPECT_FALSE(readTextDataFile(path.c_str(), lines)) << path;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], stringw(L"kept"));
    std::vector<NumberedLine> numbered(1);
    EXPECT_FALSE(readNumberedDataFile(path.c_str(), numbered, kDataFileClean));
    EXPECT_EQ(numbered.size(), 1u);
  }
}

TEST_F(DataFileTest, NumberedLinesKeepTheirFileLineNumbers) {
  std::vector<NumberedLine> lines;
  ASSERT_TRUE(readNumberedDataFile(kFixture, lines, kDataFileClean | kDataFileCutComments));
  ASSERT_EQ(lines.size(), kFixtureLines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(stringc(lines[i].text.c_str()).c_str(), kFixtureLines[i]);
    EXPECT_EQ(lines[i].line, kFixtureNumbers[i]) << kFixtureLines[i];
  }

  struct Case {
    const char* name;
    uint8_t options;
    std::vector<std::pair<std::string, int>> lines;
  };
  const std::string bytes = "a;b // c\r\n\r\n  d;;e  \n";
  const Case cases[] = {
      {"plain", kDataFileClean | kDataFileCutComments, {{"a;b", 1}, {"d;;e", 3}}},
      {"semicolons", kDataFileClean | kDataFileCutComments | kDataFileSemicolonLines,
       {{"a", 1}, {"b", 1}, {"d", 3}, {"e", 3}}},
      {"no comment cut", kDataFileClean, {{"a;b // c", 1}, {"d;;e", 3}}},
      {"uncleaned", kDataFileCutComments, {{"a;b // c", 1}, {"  d;;e  ", 3}}},
  };
  const std::string path = file("numbered.txt", bytes);
  for (const Case& c : cases) {
    ASSERT_TRUE(readNumberedDataFile(path.c_str(), lines, c.options)) << c.name;
    std::vector<std::pair<std::string, int>> got;
    for (const NumberedLine& line : lines)
      got.emplace_back(stringc(line.text.c_str()).c_str(), line.line);
    EXPECT_EQ(got, c.lines) << c.name;
  }

  const std::string odd = file("odd.txt", utf16le("k: v\n") + "x");
  EXPECT_FALSE(readNumberedDataFile(odd.c_str(), lines, kDataFileClean | kDataFileRefuseOddUtf16));
  ASSERT_TRUE(readNumberedDataFile(odd.c_str(), lines, kDataFileClean));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, stringw(L"k: v"));
}

TEST(SplitTest, KeyValue) {
  struct Case {
    const wchar_t* line;
    bool split;
    const wchar_t* key;
    const wchar_t* value;
  };
  const Case cases[] = {
      {L"k : v:w", true, L"k", L"v:w"},
      {L"\tName:\t\"A B\" ", true, L"Name", L"\"A B\""},
      {L"Empty:", true, L"Empty", L""},
      {L": value", true, L"", L"value"},
      {L"no colon here", false, L"old key", L"old value"},
  };
  for (const Case& c : cases) {
    stringw key = L"old key", value = L"old value";
    EXPECT_EQ(splitKeyValue(stringw(c.line), key, value), c.split) << c.line;
    EXPECT_EQ(key, stringw(c.key)) << c.line;
    EXPECT_EQ(value, stringw(c.value)) << c.line;
  }
  stringc key, value;
  ASSERT_TRUE(splitKeyValue(stringc(" a :b: c "), key, value));
  EXPECT_STREQ(key.c_str(), "a");
  EXPECT_STREQ(value.c_str(), "b: c");
}

TEST(SplitTest, WordsQuoted) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"word \"two words\" last", {"word", "two words", "last"}},
      {"  a\t\tb  ", {"a", "b"}},
      {"ab\"cd ef\"gh", {"ab", "cd ef", "gh"}},
      {"say \"unclosed quote", {"say", "unclosed quote"}},
      {"\"\" x", {"", "x"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    std::vector<stringc> words = {"before"};
    EXPECT_EQ(splitWordsQuoted(c.line, words), c.words.size() + 1) << c.line;
    std::vector<std::string> got;
    for (size_t i = 1; i < words.size(); ++i)
      got.push_back(words[i].c_str());
    EXPECT_EQ(got, c.words) << c.line;

    // The wide form splits the same way.
    std::vector<stringw> wide = {L"before"};
    EXPECT_EQ(splitWordsQuotedW(stringw(c.line), wide), c.words.size() + 1) << c.line;
    std::vector<std::string> gotWide;
    for (size_t i = 1; i < wide.size(); ++i)
      gotWide.push_back(stringc(wide[i]).c_str());
    EXPECT_EQ(gotWide, c.words) << c.line;
  }
}

TEST(Utf16DetectionTest, MarksAndZeroBytePatterns) {
  struct Case {
    std::string bytes;
    bool utf16;
  };
  const Case cases[] = {
      {"\xFF\xFE", true},
      {utf16le("Name: x"), true},
      {utf16le("ab") + "\x3A\x04\x3B\x04", true},
      {"Name: x", false},
      {"\xFE\xFF\0a", false},
      {std::string("a\0\0b", 4), false},
      {"a", false},
      {"", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(looksLikeUtf16(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()), c.utf16)
        << ::testing::PrintToString(c.bytes);
}

TEST(DataFileLogTest, ProblemLinesCarryFileLineAndCode) {
  LogCapture log;
  logDataFileError("Game Data/x.txt", 12, "S008", "Duplicate cost \"%ls\"\n", L"Metals");
  logDataFileError("e.txt", 3, nullptr, "AddAmount() requires 2 template parameters\n");
  logDataFileWarning("m.txt", 7, "SB003", "Material \"%ls\" not loaded\n", L"hull");
  EXPECT_EQ(log.take(),
            "Game Data/x.txt(12) error S008: Duplicate cost \"Metals\"\n"
            "e.txt(3) error: AddAmount() requires 2 template parameters\n"
            "m.txt(7) warning SB003: Material \"hull\" not loaded\n");
}

}  // namespace

}  // namespace data_file_test
