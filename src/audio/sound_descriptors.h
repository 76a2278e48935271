// The sound descriptor files: named sound effects, each with its file and
// default volume, loaded at once into a registry of sound sources.
//
//   Sound: <name>     declares a sound
//   File: <path>      loads its file (relative to the descriptor's folder)
//   Volume: <number>  its default volume (negative values are ignored)
#pragma once

#include <irrString.h>

#include "core/names.h"

namespace audio {
class ISoundSource;
}  // namespace audio

// Reads one sound descriptor file into `sounds` (each entry holds one
// reference of its source, or null when its file did not load), loading the
// files through the process's sound device. Every faulty line is logged and
// skipped; a null file name does nothing.
void loadSoundDescriptors(NamedVar<audio::ISoundSource*>::Registry& sounds, const char* fileName);
