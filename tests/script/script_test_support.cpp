#include "script_test_support.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "core/threads.h"
#include <gtest/gtest.h>
#include <unistd.h>

using namespace AngelScript;

namespace scripttest {

std::string testFolder(const char* name) {
  // Each test process gets its own folder: CTest runs the tests of one
  // suite as parallel processes.
  const char* root = std::getenv("CORVANE_TEST_TMP");
  std::string unique = std::to_string(::getpid());
  if (const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info())
    unique += std::string("-") + test->test_suite_name() + "." + test->name();
  const std::filesystem::path folder = std::filesystem::path(root != nullptr ? root : CORVANE_BINARY_DIR "/test-tmp") /
                                       unique / (std::string("script_") + name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return std::filesystem::canonical(folder).string();
}

void writeFile(const std::string& folder, const std::string& name, const std::string& text) {
  const std::filesystem::path path = std::filesystem::path(folder) / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

int callWhileCollecting(int id, asDWORD argument, asDWORD expected, int workers, int calls) {
  std::atomic<int> running{workers};
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < workers; ++t) {
    threads.emplace_back([&] {
      initThreadLocals();
      for (int call = 0; call < calls; ++call) {
        bool fromPool = false;
        asIScriptContext* context = getPreparedScriptContext(id, fromPool);
        context->SetArgDWord(0, argument);
        if (context->Execute() != asEXECUTION_FINISHED || context->GetReturnDWord() != expected)
          ++failures;
        if (fromPool)
          releaseScriptContext(context);
      }
      freeThreadLocals();
      --running;
    });
  }
  threads.emplace_back([&] {
    while (running.load() > 0)
      serverScriptEngine->GarbageCollect(asGC_ONE_STEP | asGC_DETECT_GARBAGE | asGC_DESTROY_GARBAGE);
    serverScriptEngine->GarbageCollect(asGC_FULL_CYCLE);
    asThreadCleanup();
  });
  for (std::thread& thread : threads)
    thread.join();
  return failures.load();
}

}  // namespace scripttest
