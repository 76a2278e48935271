// Console input from a descriptor: lines run in order through the console,
// the reader's queue stays bounded under a flood, and a quit request stops a
// run between two lines.
#include "app/console_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <irrlicht.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/base/console.h"
#include "platform/signals.h"
#include "platform/thread.h"
#include "support/null_device.h"

namespace console_input_test {

namespace {

// The numbers of the "probe <n>" lines run, in order.
std::vector<int> probed;
// The probe that requests termination when it runs (-1: none).
int quitAt = -1;

void probe(const ConsoleArgs& args) {
  const int number = args.size() > 1 ? std::stoi(std::wstring(args[1].c_str())) : -1;
  probed.push_back(number);
  if (number == quitAt)
    plat::requestTermination();
}

// Polls `done` for at most about ten seconds, so that a fault fails the test
// instead of hanging it.
template <typename Done>
bool eventually(Done done) {
  for (int round = 0; round < 10000; ++round) {
    if (done())
      return true;
    plat::sleepMs(1);
  }
  return done();
}

std::string probeLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += "probe " + std::to_string(i) + "\n";
  return text;
}

class ConsoleInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = createTestDevice();
    ASSERT_NE(device_, nullptr);
    createConsole(device_->getGUIEnvironment());
    Console::registerCommand(L"probe", probe, L"");
    probed.clear();
    quitAt = -1;
    plat::clearTerminationRequest();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    input_ = new ConsoleInput;
    ASSERT_TRUE(input_->start(readEnd_));
    EXPECT_FALSE(input_->start(readEnd_));  // one reader per queue
  }
  void TearDown() override {
    plat::clearTerminationRequest();
    // A reader still waiting would use the queue: it is left to the process.
    if (input_->ended())
      delete input_;
    close(readEnd_);
    setConsole(nullptr);
    device_->drop();
  }

  // Writes `text` and closes the write end, on a thread of its own as the
  // pipe holds less than a flood. Detached: a reader that stops taking
  // lines must fail the test, not hang it.
  void writeAndClose(std::string text) {
    const int fd = writeEnd_;
    std::thread([fd, text = std::move(text)] {
      for (size_t at = 0; at < text.size();) {
        const ssize_t written = write(fd, text.data() + at, text.size() - at);
        if (written <= 0)
          break;
        at += static_cast<size_t>(written);
      }
      close(fd);
    }).detach();
  }

  irr::IrrlichtDevice* device_ = nullptr;
  ConsoleInput* input_ = nullptr;
  int readEnd_ = -1;
  int writeEnd_ = -1;
};

// Many more lines than the queue holds: the reader waits at the bound, and
// every line still runs exactly once, in order.
TEST_F(ConsoleInputTest, FloodRunsEveryLineInOrderThroughTheBound) {
  constexpr int kLines = 20000;
  writeAndClose(probeLines(kLines));
  ASSERT_TRUE(eventually([this] { return input_->queued() >= kConsoleInputQueueLimit; }));

  size_t mostQueued = 0;
  ASSERT_TRUE(eventually([this, &mostQueued] {
    mostQueued = std::max(mostQueued, input_->queued());
    input_->run();
    return input_->ended() && input_->queued() == 0;
  }));
  EXPECT_EQ(mostQueued, kConsoleInputQueueLimit);
  ASSERT_EQ(probed.size(), static_cast<size_t>(kLines));
  for (int i = 0; i < kLines; ++i)
    ASSERT_EQ(probed[i], i);
}

// A quit request stops the run before the next line; the rest stays queued
// and runs once the request is gone.
TEST_F(ConsoleInputTest, QuitRequestStopsBetweenLines) {
  writeAndClose(probeLines(10));
  ASSERT_TRUE(eventually([this] { return input_->ended(); }));
  quitAt = 2;
  EXPECT_EQ(input_->run(), 3);
  EXPECT_EQ(input_->queued(), 7u);
  EXPECT_EQ(input_->run(), 0);  // nothing runs while the request stands

  plat::clearTerminationRequest();
  EXPECT_EQ(input_->run(), 7);
  EXPECT_EQ(probed, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

}  // namespace

}  // namespace console_input_test
