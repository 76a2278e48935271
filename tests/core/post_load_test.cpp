#include "core/post_load.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "core/save_stream.h"

namespace post_load_test {

namespace {

// What the steps of one test did: the ids of the steps run and deleted, in
// order.
struct StepLog {
  std::vector<int> ran;
  std::vector<int> deleted;
};

class LoggedStep : public PostObjectTreeStep {
 public:
  LoggedStep(StepLog& log, int id, bool throws = false) : log_(log), id_(id), throws_(throws) {}
  ~LoggedStep() override { log_.deleted.push_back(id_); }
  void run() override {
    log_.ran.push_back(id_);
    if (throws_)
      throw SaveFileError{5, "Invalid empire referenced in empire relations"};
  }

 private:
  StepLog& log_;
  int id_;
  bool throws_;
};

// A step that queues a further step while it runs.
class QueueingStep : public LoggedStep {
 public:
  QueueingStep(StepLog& log, int id, int queuedId) : LoggedStep(log, id), log_(log), queuedId_(queuedId) {}
  void run() override {
    LoggedStep::run();
    queuePostObjectTreeStep(new LoggedStep(log_, queuedId_));
  }

 private:
  StepLog& log_;
  int queuedId_;
};

class PostLoadTest : public testing::Test {
 protected:
  void SetUp() override { clearPostObjectTreeSteps(); }
  void TearDown() override { clearPostObjectTreeSteps(); }
};

TEST_F(PostLoadTest, StepsRunInQueueOrderOnceAndAreDeletedAfterwards) {
  StepLog log;
  for (int id : {3, 1, 2})
    queuePostObjectTreeStep(new LoggedStep(log, id));
  queuePostObjectTreeStep(nullptr);
  EXPECT_EQ(queuedPostObjectTreeSteps(), 3u);

  runPostObjectTreeSteps();
  EXPECT_EQ(log.ran, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(log.deleted, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);

  runPostObjectTreeSteps();
  EXPECT_EQ(log.ran.size(), 3u);
  EXPECT_EQ(log.deleted.size(), 3u);
}

TEST_F(PostLoadTest, AStepQueuedWhileRunningRunsInTheSameWalk) {
  StepLog log;
  queuePostObjectTreeStep(new QueueingStep(log, 1, 9));
  queuePostObjectTreeStep(new LoggedStep(log, 2));
  runPostObjectTreeSteps();
  EXPECT_EQ(log.ran, (std::vector<int>{1, 2, 9}));
  EXPECT_EQ(log.deleted, (std::vector<int>{1, 2, 9}));
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
}

TEST_F(PostLoadTest, AThrowingStepDeletesTheRestWithoutRunningThem) {
  struct Case {
    int throwing;  // index of the throwing step among four
    std::vector<int> ran;
  };
  for (const Case& c : {Case{0, {0}}, Case{1, {0, 1}}, Case{3, {0, 1, 2, 3}}}) {
    SCOPED_TRACE(c.throwing);
    StepLog log;
    for (int id = 0; id < 4; ++id)
      queuePostObjectTreeStep(new LoggedStep(log, id, id == c.throwing));

    try {
      runPostObjectTreeSteps();
      ADD_FAILURE() << "the step's error did not reach the caller";
    } catch (const SaveFileError& error) {
      EXPECT_EQ(error, (SaveFileError{5, "Invalid empire referenced in empire relations"}));
    }
    EXPECT_EQ(log.ran, c.ran);
    EXPECT_EQ(log.deleted, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);

    // The next load starts from an empty queue.
    queuePostObjectTreeStep(new LoggedStep(log, 7));
    runPostObjectTreeSteps();
    EXPECT_EQ(log.ran.back(), 7);
    EXPECT_EQ(log.deleted.size(), 5u);
  }
}

TEST_F(PostLoadTest, OtherExceptionsLeaveAnEmptyQueueToo) {
  class FailingStep : public PostObjectTreeStep {
   public:
    void run() override { throw std::runtime_error("Invalid target"); }
  };
  StepLog log;
  queuePostObjectTreeStep(new FailingStep);
  queuePostObjectTreeStep(new LoggedStep(log, 1));
  EXPECT_THROW(runPostObjectTreeSteps(), std::runtime_error);
  EXPECT_TRUE(log.ran.empty());
  EXPECT_EQ(log.deleted, (std::vector<int>{1}));
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);
}

TEST_F(PostLoadTest, ClearDeletesEveryStepWithoutRunningIt) {
  StepLog log;
  for (int id : {1, 2, 3})
    queuePostObjectTreeStep(new LoggedStep(log, id));
  clearPostObjectTreeSteps();
  EXPECT_TRUE(log.ran.empty());
  EXPECT_EQ(log.deleted, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(queuedPostObjectTreeSteps(), 0u);

  runPostObjectTreeSteps();
  clearPostObjectTreeSteps();
  EXPECT_TRUE(log.ran.empty());
  EXPECT_EQ(log.deleted.size(), 3u);
}

}  // namespace

}  // namespace post_load_test
