#include "audio/sound.h"

#include <al.h>

#include <cmath>

namespace audio {

namespace {

// Distances every voice starts with.
constexpr float kReferenceDistance = 50.0f;
constexpr float kMaxDistance = 6400.0f;

bool anyNaN(float x, float y, float z) { return std::isnan(x) || std::isnan(y) || std::isnan(z); }

}  // namespace

// ---------------------------------------------------------------------------
// Sound sources

ISoundSource::ISoundSource(ISoundDevice* device) : device_(device) { device_->grab(); }

ISoundSource::~ISoundSource() { device_->drop(); }

CSoundSource::CSoundSource(ISoundDevice* device) : ISoundSource(device) {
  buffer_ = device->acquireBuffer();
  if (buffer_ == kNoAudioName || !alIsBuffer(buffer_)) {
    device->releaseBuffer(buffer_);  // the destructor does not run for a throwing constructor
    throw SLoadError("Unable to create buffer", true);
  }
}

CSoundSource::~CSoundSource() {
  if (buffer_ != kNoAudioName)
    getDevice()->releaseBuffer(buffer_);
}

void CSoundSource::setVolume(float volume) {
  if (volume >= 0.0f)
    volume_.store(volume, std::memory_order_relaxed);
}

void CSoundSource::applyTo(AudioName source) {
  alSourcef(source, AL_GAIN, getVolume());
  alSourcef(source, AL_REFERENCE_DISTANCE, kReferenceDistance);
  alSourcef(source, AL_MAX_DISTANCE, kMaxDistance);
}

// ---------------------------------------------------------------------------
// Sounds

CSound::CSound(ISoundSource* source, bool is3D) {
  auto* soundSource = dynamic_cast<CSoundSource*>(source);
  if (soundSource == nullptr)
    return;
  ISoundDevice* device = soundSource->getDevice();
  device->lock();
  alGetError();  // forget earlier errors
  const AudioName buffer = soundSource->getBuffer();
  const AudioName name = alIsBuffer(buffer) ? device->acquireSource() : kNoAudioName;
  bool bound = name != kNoAudioName && alIsSource(name);
  if (bound) {
    alSourcei(name, AL_BUFFER, static_cast<ALint>(buffer));
    bound = alGetError() == AL_NO_ERROR;
  }
  if (!bound) {
    device->releaseSource(name);  // a name that could not be bound goes back to the pool
    device->unlock();
    return;
  }
  soundSource->applyTo(name);
  if (is3D) {
    alSourcei(name, AL_SOURCE_RELATIVE, AL_FALSE);
    alSourcef(name, AL_ROLLOFF_FACTOR, 1.0f);
    alSource3f(name, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
  } else {
    alSourcei(name, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(name, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSource3f(name, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    alSourcef(name, AL_ROLLOFF_FACTOR, 0.0f);
  }
  soundSource->grab();
  source_ = soundSource;
  name_ = name;
  device->unlock();
}

CSound::~CSound() { stop(); }

void CSound::stop() {
  CSoundSource* source;
  AudioName name;
  {
    // The voice gives up its source first, so no other call uses the name
    // once it is back in the pool.
    std::lock_guard<std::mutex> guard(lock_);
    source = source_;
    name = name_;
    source_ = nullptr;
    name_ = kNoAudioName;
  }
  if (source == nullptr)
    return;
  alSourceStop(name);
  alSourcei(name, AL_BUFFER, 0);
  source->getDevice()->releaseSource(name);
  source->drop();
}

int CSound::sourceState() {
  ALint state = AL_STOPPED;
  alGetSourcei(name_, AL_SOURCE_STATE, &state);
  return state;
}

bool CSound::isStopped() {
  std::lock_guard<std::mutex> guard(lock_);
  return source_ == nullptr || sourceState() == AL_STOPPED;
}

bool CSound::isPlaying() {
  std::lock_guard<std::mutex> guard(lock_);
  return source_ != nullptr && sourceState() == AL_PLAYING;
}

void CSound::pause() {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcePause(name_);
}

void CSound::play() {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcePlay(name_);
}

void CSound::setPlayPosition(int ms) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcef(name_, AL_SEC_OFFSET, static_cast<float>(ms) / 1000.0f);
}

void CSound::seek(int ms) { setPlayPosition(ms); }

void CSound::setLooping(bool loop) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcei(name_, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
}

bool CSound::isLooping() {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ == nullptr)
    return false;
  ALint looping = AL_FALSE;
  alGetSourcei(name_, AL_LOOPING, &looping);
  return looping != AL_FALSE;
}

void CSound::setPosition(float x, float y, float z) {
  if (anyNaN(x, y, z))
    return;
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSource3f(name_, AL_POSITION, x, y, -z);
}

void CSound::setVelocity(float x, float y, float z) {
  if (anyNaN(x, y, z))
    return;
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSource3f(name_, AL_VELOCITY, x, y, -z);
}

void CSound::setVolume(float volume) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcef(name_, AL_GAIN, volume);
}

int CSound::getPlayPosition() {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ == nullptr)
    return 0;
  ALfloat seconds = 0.0f;
  alGetSourcef(name_, AL_SEC_OFFSET, &seconds);
  return static_cast<int>(seconds * 1000.0f);
}

int CSound::getLength() {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ == nullptr)
    return -1;
  const AudioName buffer = source_->getBuffer();
  ALint channels = 0, bits = 0, frequency = 0, size = 0;
  alGetBufferi(buffer, AL_CHANNELS, &channels);
  alGetBufferi(buffer, AL_BITS, &bits);
  alGetBufferi(buffer, AL_FREQUENCY, &frequency);
  alGetBufferi(buffer, AL_SIZE, &size);
  const int frameBytes = bits * channels / 8;
  // The loaders leave no buffer without frames or rate; an empty one has no
  // length rather than a division by zero.
  if (frameBytes <= 0 || frequency <= 0)
    return 0;
  const int frames = size / frameBytes;
  return static_cast<int>(static_cast<float>(frames) * 1000.0f / static_cast<float>(frequency));
}

void CSound::setReferenceDistance(float distance) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcef(name_, AL_REFERENCE_DISTANCE, distance);
}

void CSound::setMaxDistance(float distance) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr)
    alSourcef(name_, AL_MAX_DISTANCE, distance);
}

ISoundSource* CSound::getSource() {
  std::lock_guard<std::mutex> guard(lock_);
  return source_;
}

}  // namespace audio
