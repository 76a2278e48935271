#include "app/autoexec.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/base/console.h"
#include "core/data_file.h"
#include "core/file_access.h"
#include "core/log.h"

const char* const kAutoexecHeader =
    "//autoexec.ini\r\n//Add console commands to always be executed here, one per line\r\n\r\n";

void runAutoexec(const std::string& path) {
  if (fileExists(path.c_str())) {
    std::vector<irr::core::stringw> lines;
    if (!readTextDataFile(path.c_str(), lines))
      return;
    Console* target = console();
    if (target == nullptr)
      return;
    target->print(L"Auto-executing autoexec.ini");
    for (const irr::core::stringw& line : lines)
      target->execute(line, false);
    return;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const std::size_t length = std::strlen(kAutoexecHeader);
  const bool written = file != nullptr && std::fwrite(kAutoexecHeader, 1, length, file) == length;
  if (file == nullptr || std::fclose(file) != 0 || !written)
    logError("Could not create %s\n", path.c_str());
}
