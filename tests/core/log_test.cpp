#include "core/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/odd_files.h"
#include "support/fake_engine_logger.h"
#include "support/forked_call.h"
#include "support/scratch_dir.h"

namespace log_test {

namespace {

std::vector<std::string> received;

template <int N>
void recordingSink(const char* text) {
  received.push_back(std::to_string(N) + ":" + text);
}

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    setEngineLogger(nullptr);
    LogSink sinks[kMaxLogSinks];
    int count = logSinks(sinks);
    for (int i = 0; i < count; ++i)
      removeLogSink(sinks[i]);
    setConsoleLogSink(nullptr);
    received.clear();
  }
  FakeEngineLogger engine;
};

TEST_F(LogTest, EntryPointsFollowTheEngineLevel) {
  ASSERT_TRUE(addLogSink(recordingSink<1>));
  ASSERT_TRUE(addLogSink(recordingSink<2>));
  setEngineLogger(&engine);

  struct Case {
    int level;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {2, {"1:p", "2:p", "1:e", "2:e"}},
      {1, {"1:p", "2:p", "1:w", "2:w", "1:e", "2:e"}},
      {0, {"1:p", "2:p", "1:i", "2:i", "1:w", "2:w", "1:e", "2:e"}},
  };
  for (const Case& c : cases) {
    received.clear();
    setEngineLogLevel(c.level);
    EXPECT_EQ(currentLogLevel(), c.level);
    logPrint("p");
    logInfo("i");
    logWarning("w");
    logError("e");
    EXPECT_EQ(received, c.expected) << "level " << c.level;
  }
}

TEST_F(LogTest, LevelMapsOntoTheEngineScale) {
  setEngineLogger(&engine);
  setEngineLogLevel(0);
  EXPECT_EQ(engine.level, irr::ELL_INFORMATION);
  setEngineLogLevel(2);
  EXPECT_EQ(engine.level, irr::ELL_ERROR);
  // Engine debug level reads as below information: everything prints.
  engine.level = irr::ELL_DEBUG;
  ASSERT_TRUE(addLogSink(recordingSink<1>));
  logInfo("x");
  EXPECT_EQ(received.size(), 1u);
}

TEST_F(LogTest, EverythingPrintsBeforeTheEngineLoggerExists) {
  ASSERT_TRUE(addLogSink(recordingSink<1>));
  logLevel = kLogLevelErrors;
  logInfo("i %d", 1);
  logWarning("w %s", "x");
  EXPECT_EQ(received, (std::vector<std::string>{"1:i 1", "1:w x"}));
}

TEST_F(LogTest, AnEighthSinkIsNotAdded) {
  EXPECT_TRUE(addLogSink(recordingSink<1>));
  EXPECT_TRUE(addLogSink(recordingSink<2>));
  EXPECT_TRUE(addLogSink(recordingSink<3>));
  EXPECT_TRUE(addLogSink(recordingSink<4>));
  EXPECT_TRUE(addLogSink(recordingSink<5>));
  EXPECT_TRUE(addLogSink(recordingSink<6>));
  EXPECT_TRUE(addLogSink(recordingSink<7>));
  EXPECT_FALSE(addLogSink(recordingSink<8>));
  logPrint("x");
  EXPECT_EQ(received, (std::vector<std::string>{"1:x", "2:x", "3:x", "4:x", "5:x", "6:x", "7:x"}));
}

TEST_F(LogTest, RemovingTheConsoleSinkKeepsTheOthersInOrder) {
  addLogSink(recordingSink<1>);
  addLogSink(recordingSink<2>);
  addLogSink(recordingSink<3>);
  setConsoleLogSink(recordingSink<2>);
  removeConsoleLogSink();
  logPrint("x");
  EXPECT_EQ(received, (std::vector<std::string>{"1:x", "3:x"}));

  // Absent: nothing changes.
  removeConsoleLogSink();
  received.clear();
  logPrint("y");
  EXPECT_EQ(received, (std::vector<std::string>{"1:y", "3:y"}));
}

TEST_F(LogTest, OverlongMessageIsCut) {
  addLogSink(recordingSink<1>);
  const std::string longText(20000, 'z');
  logPrint("%s", longText.c_str());
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], "1:" + std::string(kLogBufferSize - 1, 'z'));
}

TEST_F(LogTest, WideArgumentsFormat) {
  addLogSink(recordingSink<1>);
  logPrint("%ls=%i", L"key", 5);
  EXPECT_EQ(received, (std::vector<std::string>{"1:key=5"}));

  // A wide text with no narrow form (a lone surrogate has none in any
  // locale) leaves the format, marked, in place of the message.
  received.clear();
  logPrint("name %ls=%i\n", L"a\xD800", 5);
  logPrint("%ls", L"\xD800");
  EXPECT_EQ(received, (std::vector<std::string>{"1:name %ls=%i (text not printable)\n", "1:%ls (text not printable)"}));
}

// The log file is taken only when it is a regular file (emptied) or missing
// (created); anything else is refused at once with the system's reason.
TEST(LogFileTest, OpensOnlyARegularOrMissingFile) {
  namespace fs = std::filesystem;
  const fs::path dir = scratchDir();
  std::ofstream(dir / "old.txt") << "the previous run";
  makeOddFile(dir / "folder.txt", OddFile::Folder);
  makeOddFile(dir / "pipe.txt", OddFile::Pipe);
  fs::create_symlink("/dev/null", dir / "device.txt");
  const std::pair<const char*, const char*> cases[] = {
      {"new.txt", ""},
      {"old.txt", ""},
      {"folder.txt", "Is a directory"},
      {"pipe.txt", "not a regular file"},
      {"device.txt", "not a regular file"},
  };
  for (const auto& [name, expected] : cases) {
    const std::string path = (dir / name).string();
    EXPECT_EQ(runInChild([&] {
                std::string reason;
                std::FILE* file = openLogFile(path, reason);
                if (file == nullptr)
                  return reason == expected ? 0 : 1;
                const bool written = std::fputs("line\n", file) >= 0;
                return std::fclose(file) == 0 && written && *expected == '\0' ? 0 : 2;
              }),
              0)
        << name;
    if (*expected == '\0') {
      std::ifstream in(path);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "line\n") << name;
    }
  }
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.txt"));
}

}  // namespace

}  // namespace log_test
