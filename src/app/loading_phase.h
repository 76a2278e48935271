// A step of loading a game session, logged as a banner when it begins and,
// when it ends, with the milliseconds it took:
//   "============\n<step>...\n============\n"
//   "============\n<step>... Finished(<ms>ms)\n============\n"
#pragma once

class LoadingPhase {
 public:
  explicit LoadingPhase(const char* step);
  ~LoadingPhase();
  LoadingPhase(const LoadingPhase&) = delete;
  LoadingPhase& operator=(const LoadingPhase&) = delete;

  // The step failed: no "Finished" banner.
  void abandon() { step_ = nullptr; }

 private:
  const char* step_;
  double start_;
};
