#include "audio/sound_device.h"

#include <al.h>
#include <alc.h>

#include <cstring>

#include "core/log.h"

audio::ISoundDevice* soundDevice = nullptr;

namespace audio {

namespace {

constexpr int kBufferCount = 64;
constexpr int kSourceBatch = 64;
constexpr int kSmallSourceBatch = 32;

// Generates `count` names with `generate` and appends them to `names`;
// false, with nothing appended, when OpenAL reports an error.
bool generateNames(void (*generate)(ALsizei, ALuint*), int count, irr::core::array<AudioName>& names) {
  ALuint generated[kSourceBatch];
  alGetError();  // forget earlier errors
  generate(count, generated);
  if (alGetError() != AL_NO_ERROR)
    return false;
  for (int i = 0; i < count; ++i)
    names.push_back(generated[i]);
  return true;
}

void generateBuffers(ALsizei count, ALuint* names) { alGenBuffers(count, names); }
void generateSources(ALsizei count, ALuint* names) { alGenSources(count, names); }

}  // namespace

struct CSoundDevice::Handles {
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;
};

CSoundDevice::CSoundDevice(const char* deviceName) : handles_(new Handles) {
  if (deviceName != nullptr) {
    handles_->device = alcOpenDevice(deviceName);
    if (handles_->device == nullptr)
      logError("Unable to instance sound device \"%s\"\n", deviceName);
  }
  if (handles_->device == nullptr)
    handles_->device = alcOpenDevice(nullptr);
  if (handles_->device == nullptr) {
    shutDown();
    throw "Could not initialize sound system";
  }
  alcGetError(handles_->device);
  handles_->context = alcCreateContext(handles_->device, nullptr);
  if (handles_->context == nullptr || alcMakeContextCurrent(handles_->context) != ALC_TRUE) {
    shutDown();
    throw "Could not initialize sound system";
  }

  // OpenAL reports failed generation through alGetError (alcGetError knows
  // only device errors).
  if (!generateNames(generateBuffers, kBufferCount, buffers_)) {
    shutDown();
    throw "Error generating buffers";
  }
  if (generateNames(generateSources, kSourceBatch, sources_)) {
    generateNames(generateSources, kSourceBatch, sources_);  // 128 when the driver allows
  } else if (!generateNames(generateSources, kSmallSourceBatch, sources_)) {
    shutDown();
    throw "Error generating sources";
  }
  for (irr::u32 i = 0; i < buffers_.size(); ++i)
    freeBuffers_.push_back(buffers_[i]);
  for (irr::u32 i = 0; i < sources_.size(); ++i)
    freeSources_.push_back(sources_[i]);

  alDistanceModel(AL_EXPONENT_DISTANCE);
}

CSoundDevice::~CSoundDevice() { shutDown(); }

void CSoundDevice::shutDown() {
  if (!sources_.empty())
    alDeleteSources(static_cast<ALsizei>(sources_.size()), sources_.pointer());
  if (!buffers_.empty())
    alDeleteBuffers(static_cast<ALsizei>(buffers_.size()), buffers_.pointer());
  sources_.clear();
  buffers_.clear();
  freeSources_.clear();
  freeBuffers_.clear();
  if (handles_->context != nullptr) {
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(handles_->context);
  }
  if (handles_->device != nullptr)
    alcCloseDevice(handles_->device);
  delete handles_;
  handles_ = nullptr;
}

void CSoundDevice::setVolume(float gain) {
  enabled_ = gain > 0.0f;
  if (gain >= 0.0f)
    alListenerf(AL_GAIN, gain);
}

AudioName CSoundDevice::takeFirst(irr::core::list<AudioName>& names) {
  MutexGuard guard(lock_);
  if (names.empty())
    return kNoAudioName;
  irr::core::list<AudioName>::Iterator first = names.begin();
  const AudioName name = *first;
  names.erase(first);
  return name;
}

AudioName CSoundDevice::acquireSource() { return takeFirst(freeSources_); }

AudioName CSoundDevice::acquireBuffer() { return takeFirst(freeBuffers_); }

void CSoundDevice::releaseSource(AudioName name) {
  if (name == kNoAudioName)
    return;
  MutexGuard guard(lock_);
  freeSources_.push_back(name);
}

void CSoundDevice::releaseBuffer(AudioName name) {
  if (name == kNoAudioName)
    return;
  MutexGuard guard(lock_);
  freeBuffers_.push_back(name);
}

void CSoundDevice::getDeviceNames(irr::core::list<irr::core::stringc>& out) {
  out.clear();
  // A list of names, each ended by a NUL, the whole ended by a second NUL.
  const ALCchar* names = alcGetString(nullptr, ALC_DEVICE_SPECIFIER);
  while (names != nullptr && *names != '\0') {
    out.push_back(irr::core::stringc(names));
    names += std::strlen(names) + 1;
  }
}

ISoundDevice* createSoundDevice(const char* deviceName) { return new CSoundDevice(deviceName); }

}  // namespace audio
