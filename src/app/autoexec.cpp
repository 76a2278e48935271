#include "app/autoexec.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/base/console.h"
#include "core/data_file.h"
#include "core/log.h"
#include "platform/file.h"

const char* const kAutoexecHeader =
    "//autoexec.ini\r\n//Add console commands to always be executed here, one per line\r\n\r\n";

namespace {

// Writes the header into a new autoexec.ini; a failure is logged.
void createAutoexec(const std::string& path) {
  plat::OutputFile file;
  int error = file.create(path);
  if (error == 0)
    error = file.write(kAutoexecHeader, std::strlen(kAutoexecHeader));
  const int closeError = file.isOpen() ? file.close() : 0;
  if (error == 0)
    error = closeError;
  if (error != 0)
    logError("Could not create autoexec.ini \"%s\": %s\n", path.c_str(), plat::errorText(error).c_str());
}

}  // namespace

void runAutoexec(const std::string& path) {
  // Only a regular file is read, and only a missing one is created: a pipe,
  // a device or a folder of that name is left alone (opening a pipe would
  // block start-up).
  const int status = plat::checkRegularFile(path, kMaxAutoexecBytes);
  if (status == ENOENT) {
    createAutoexec(path);
    return;
  }
  if (status != 0) {
    const std::string reason =
        status == EFBIG ? "larger than " + std::to_string(kMaxAutoexecBytes) + " bytes" : plat::errorText(status);
    logError("Could not read autoexec.ini \"%s\": %s\n", path.c_str(), reason.c_str());
    return;
  }
  std::vector<irr::core::stringw> lines;
  if (!readTextDataFile(path.c_str(), lines))
    return;
  Console* target = console();
  if (target == nullptr)
    return;
  target->print(L"Auto-executing autoexec.ini");
  for (const irr::core::stringw& line : lines)
    target->execute(line, false);
}
