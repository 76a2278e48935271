#include "app/app_main.h"

#include <cstdio>

#include "core/log.h"

namespace {

void stdoutSink(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

int corvaneMain(int, char**) {
  addLogSink(stdoutSink);
  logPrint("Corvane build: 1.0.5.0\n");
  return 0;
}
