// A fresh, empty folder for one test's files, under the build's scratch
// folder (CORVANE_TEST_TMP, else the system's temporary folder).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::filesystem::path scratchDir() {
  const char* root = std::getenv("CORVANE_TEST_TMP");
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::to_string(::getpid());
  if (test)
    name += std::string("-") + test->test_suite_name() + "." + test->name();
  const std::filesystem::path dir =
      std::filesystem::path(root ? root : std::filesystem::temp_directory_path().string()) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}
