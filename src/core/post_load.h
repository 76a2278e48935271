// Post-load fix-ups: references between records of a saved game that are
// resolved only once the whole object tree is loaded.
//
// A record that refers to something that may not exist yet while the save is
// read (another empire, an object by UID, a layout by name) does not resolve
// the reference at once: it stores what it read in a step and queues it. The
// loader runs the queue once the object tree is complete; each step runs
// once, in the order in which it was queued, and is deleted after it ran.
//
// No step outlives the load that queued it. A load empties the queue when it
// begins and whenever it is abandoned (clearPostObjectTreeSteps); when a step
// throws during the run, the steps not yet run are deleted without running
// and the exception goes on to the loader. So a step never runs against a
// later game and is never deleted twice.
//
// The queue is used by the one thread that loads a save; it has no lock.
#pragma once

#include <cstddef>

class PostObjectTreeStep {
 public:
  virtual ~PostObjectTreeStep() = default;
  // The fix-up. May throw SaveFileError or a standard exception.
  virtual void run() = 0;
};

// Appends `step` at the end of the queue, which owns it from now on (null is
// ignored).
void queuePostObjectTreeStep(PostObjectTreeStep* step);
// Runs the queued steps in queue order: each is taken out of the queue, run
// and deleted. Steps queued meanwhile run in the same call. When a step
// throws, it and every step still queued are deleted (those without running)
// and the exception passes on; the queue is then empty.
void runPostObjectTreeSteps();
// Deletes every queued step without running it.
void clearPostObjectTreeSteps();
// The number of steps queued now.
size_t queuedPostObjectTreeSteps();
