#include "core/post_load.h"

#include <deque>
#include <memory>

namespace {

using StepQueue = std::deque<std::unique_ptr<PostObjectTreeStep>>;

StepQueue& stepQueue() {
  static StepQueue queue;
  return queue;
}

}  // namespace

void queuePostObjectTreeStep(PostObjectTreeStep* step) {
  std::unique_ptr<PostObjectTreeStep> owned(step);  // deleted should the queue fail to grow
  if (owned)
    stepQueue().push_back(std::move(owned));
}

void runPostObjectTreeSteps() {
  StepQueue& queue = stepQueue();
  while (!queue.empty()) {
    // Out of the queue before it runs: whatever happens to it, nothing else
    // runs or deletes it again.
    std::unique_ptr<PostObjectTreeStep> step = std::move(queue.front());
    queue.pop_front();
    try {
      step->run();
    } catch (...) {
      step.reset();
      clearPostObjectTreeSteps();
      throw;
    }
  }
}

void clearPostObjectTreeSteps() {
  StepQueue& queue = stepQueue();
  // A destructor might queue again: take the steps out before deleting them
  // and go on until nothing is left.
  while (!queue.empty()) {
    StepQueue doomed;
    doomed.swap(queue);
  }
}

size_t queuedPostObjectTreeSteps() { return stepQueue().size(); }
