#include "app/loading_phase.h"

#include "core/log.h"
#include "core/timer.h"

LoadingPhase::LoadingPhase(const char* step) : step_(step), start_(hiresNow()) {
  logPrint("============\n%s...\n============\n", step_);
}

LoadingPhase::~LoadingPhase() {
  if (step_ == nullptr)
    return;
  const auto elapsed = static_cast<unsigned>((hiresNow() - start_) * 1000.0);
  logPrint("============\n%s... Finished(%ums)\n============\n", step_, elapsed);
}
