// Fuzz entry point: arbitrary bytes as a data file, read every way the
// readers read files (wide, narrow, numbered with each option set), split
// into keys, values and words, and loaded as a locale file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/data_file.h"
#include "core/locale.h"
#include "fuzz_seeds.h"

namespace {

const std::string& scratchPath() {
  static const std::string path = [] {
    const char* root = std::getenv("CORVANE_TEST_TMP");
    return std::string(root != nullptr ? root : "/tmp") + "/fuzz_data_file_" + std::to_string(getpid()) + ".txt";
  }();
  return path;
}

}  // namespace

extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  const std::string text = "// comment\r\n#Key: \"quoted\" // cut\n  Name : A \"b c\" d\\\nnext;line\n\n#T: a\\tb\\";
  pushText(seeds, text);
  pushText(seeds, utf16leWithMark(text));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(scratchPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const irr::core::stringc path = scratchPath().c_str();

  std::vector<irr::core::stringw> wide;
  if (readTextDataFile(path, wide))
    for (const irr::core::stringw& line : wide) {
      irr::core::stringw key, value;
      splitKeyValue(line, key, value);
    }
  std::vector<irr::core::stringc> narrow;
  if (readTextDataFile(path, narrow))
    for (const irr::core::stringc& line : narrow) {
      std::vector<irr::core::stringc> words;
      splitWordsQuoted(line, words);
    }
  std::vector<NumberedLine> numbered;
  readNumberedDataFile(path, numbered, size > 0 ? static_cast<uint8_t>(data[0] & 0x0F) : 0);
  loadLocaleFile(path, size % 2 == 0);
  return 0;
}
