#include "audio/music_descriptors.h"

#include <ILogger.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "audio/music_box.h"
#include "core/data_file.h"
#include "core/log.h"

namespace {

// Loader messages that are shown unless logging is switched off entirely.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...) {
  const irr::ILogger* logger = engineLogger();
  if (logger != nullptr && logger->getLogLevel() >= irr::ELL_NONE)
    return;
  char text[kLogBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  logPrint("%s", text);
}

}  // namespace

void loadMusicDescriptors(const char* fileName) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(fileName, lines, kDataFileClean | kDataFileCutComments)) {
    report("Failed to load music descriptors file '%s'\n", fileName);
    return;
  }
  logInfo("Loading music descriptors: %s\n", fileName);

  irr::core::stringw name;
  for (const NumberedLine& line : lines) {
    irr::core::stringw key;
    irr::core::stringw value;
    if (!splitKeyValue(line.text, key, value))
      continue;
    if (key.empty()) {
      report("%s(%i) error Snd001: Empty Key\n", fileName, line.line);
    } else if (value.empty()) {
      report("%s(%i) error Snd002: Empty Value for Key '%ls'\n", fileName, line.line, key.c_str());
    } else if (key == L"Music") {
      name = value;
    } else if (key == L"File") {
      musicBox.addTrack(value, &name);
    } else {
      logDataFileError(fileName, line.line, "Snd005", "Must load a sound file before other settings\n");
    }
  }
}
