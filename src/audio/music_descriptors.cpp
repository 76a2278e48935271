#include "audio/music_descriptors.h"

#include <cstdio>
#include <vector>

#include "audio/music_box.h"
#include "core/data_file.h"
#include "core/log.h"

void loadMusicDescriptors(const char* fileName) {
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(fileName, lines, kDataFileClean | kDataFileCutComments)) {
    logUnlessSilent("Failed to load music descriptors file '%s'\n", fileName);
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
      logUnlessSilent("%s(%i) error Snd001: Empty Key\n", fileName, line.line);
    } else if (value.empty()) {
      logUnlessSilent("%s(%i) error Snd002: Empty Value for Key '%ls'\n", fileName, line.line, key.c_str());
    } else if (key == L"Music") {
      name = value;
    } else if (key == L"File") {
      musicBox.addTrack(value, &name);
    } else {
      logDataFileError(fileName, line.line, "Snd005", "Must load a sound file before other settings\n");
    }
  }
}
