#include "script_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace scripttest {

std::string testFolder(const char* name) {
  const char* root = std::getenv("CORVANE_TEST_TMP");
  std::filesystem::path folder = std::filesystem::path(root != nullptr ? root : CORVANE_BINARY_DIR "/test-tmp") /
                                 (std::string("script_") + name);
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

}  // namespace scripttest
