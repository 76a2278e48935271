#include "audio/sound_descriptors.h"

#include <IFileSystem.h>

#include <cstdio>
#include <vector>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "core/data_file.h"
#include "core/file_access.h"
#include "core/log.h"
#include "core/text_conversions.h"

namespace {

// The folder of `fileName` followed by "/".
irr::core::stringc baseFolderOf(const char* fileName) {
  const FileSystemAccess files;
  irr::core::stringc folder;
  if (files.get() != nullptr) {
    folder = files->getFileDir(fileName).c_str();
  } else {
    folder = fileName;
    const irr::s32 slash = folder.findLast('/');
    folder = slash < 0 ? irr::core::stringc(".") : folder.subString(0, static_cast<irr::u32>(slash));
  }
  folder += "/";
  return folder;
}

}  // namespace

void loadSoundDescriptors(NamedVar<audio::ISoundSource*>::Registry& sounds, const char* fileName) {
  if (fileName == nullptr)
    return;
  const irr::core::stringc folder = baseFolderOf(fileName);
  std::vector<NumberedLine> lines;
  if (!readNumberedDataFile(fileName, lines, kDataFileClean | kDataFileCutComments)) {
    logUnlessSilent("Failed to load sound descriptors file '%s'\n", fileName);
    return;
  }
  logInfo("Loading sound descriptors: %s\n", fileName);

  // The sound being declared, by name (the registry may move its entries).
  irr::core::stringw current;
  bool haveCurrent = false;
  for (const NumberedLine& line : lines) {
    irr::core::stringw key;
    irr::core::stringw value;
    if (!splitKeyValue(line.text, key, value))
      continue;
    if (key.empty()) {
      logUnlessSilent("%s(%i) error Snd001: Empty Key\n", fileName, line.line);
      continue;
    }
    if (value.empty()) {
      logUnlessSilent("%s(%i) error Snd002: Empty Value for Key '%ls'\n", fileName, line.line, key.c_str());
      continue;
    }
    if (key == L"Sound") {
      haveCurrent = NamedVar<audio::ISoundSource*>::find(sounds, value) < 0;
      if (haveCurrent) {
        current = value;
        NamedVar<audio::ISoundSource*>::getOrAdd(sounds, value);
      } else {
        logUnlessSilent("%s(%i) error Snd003: Duplicate Sound '%ls'\n", fileName, line.line, value.c_str());
      }
      continue;
    }
    if (!haveCurrent) {
      logDataFileError(fileName, line.line, "Snd006", "Must declare a sound definition\n");
      continue;
    }
    audio::ISoundSource*& source = sounds[static_cast<irr::u32>(NamedVar<audio::ISoundSource*>::find(sounds, current))].value;
    if (key == L"File") {
      irr::core::stringw path(folder.c_str());
      path += value;
      audio::ISoundSource* loaded = soundDevice != nullptr ? soundDevice->loadSoundSource(path) : nullptr;
      // A block that names a second file lets go of the first: the pool of
      // buffers is small.
      if (source != nullptr)
        source->drop();
      source = loaded;
    } else if (source == nullptr) {
      logDataFileError(fileName, line.line, "Snd005", "Must load a sound file before other settings\n");
    } else if (key == L"Volume") {
      source->setVolume(stringToFloat(value));
    } else {
      logUnlessSilent("%s(%i) error Snd004: Unrecognized Key '%ls'\n", fileName, line.line, key.c_str());
    }
  }
}
