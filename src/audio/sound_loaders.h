// The sound file loaders: RIFF WAVE files with PCM data and Ogg Vorbis files
// into the OpenAL buffer of a sound source.
//
// The loader is chosen by the file's extension (".wav" or ".wave", ".ogg",
// in any case). Every failure is an SLoadError that loadSoundFile logs as a
// bad or an unsupported file; its buffer goes back to the device's pool.
// The Vorbis decoder is loaded at run time, once for the whole process, and
// stays loaded: music threads may decode at any time until the process ends.
#pragma once

#include <irrString.h>

#include <cstddef>
#include <cstdint>

#include "audio/sound.h"

namespace irr {
namespace io {
class IReadFile;
}  // namespace io
}  // namespace irr

namespace audio {

// Limits of what one file may give: WAVE data bytes and decoded Ogg bytes.
constexpr uint32_t kMaxWaveDataBytes = 128000000;
constexpr std::size_t kMaxDecodedOggBytes = 64000000;
// Ogg files are decoded in work buffers of this size.
constexpr std::size_t kOggWorkBytes = 100000;

// The decoder library file.
constexpr const char* kVorbisLibraryName = "libvorbisfile.so.3";

// A WAVE file read from its start.
class CSSWave : public CSoundSource {
 public:
  CSSWave(irr::io::IReadFile* file, ISoundDevice* device);

 protected:
  ~CSSWave() override = default;
};

// An Ogg Vorbis file, decoded whole (up to kMaxDecodedOggBytes).
class CSSOgg : public CSoundSource {
 public:
  CSSOgg(irr::io::IReadFile* file, ISoundDevice* device);

 protected:
  ~CSSOgg() override = default;
};

// Opens `path` through the engine's file system and loads it with the
// loader of its extension: a new source (one reference) or none. A file that
// cannot be opened is none without a message; any other failure is logged.
ISoundSource* loadSoundFile(ISoundDevice* device, const irr::core::stringw& path);

// Puts each whole frame of 6 interleaved 16-bit samples (`bytes` long) from
// the decoder's channel order into OpenAL's: output samples 0 to 5 are input
// samples 0, 2, 1, 5, 3, 4. A partial last frame is left alone.
void reorderSurroundFrames(char* samples, std::size_t bytes);

// Loads the decoder from `name` instead of kVorbisLibraryName. Only before
// the first Ogg load (for tests); false afterwards.
bool setVorbisLibraryName(const char* name);

}  // namespace audio
