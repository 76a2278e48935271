#include "audio/sound_device.h"

#include <al.h>
#include <alc.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "audio/sound.h"
#include "audio/sound_loaders.h"
#include "core/log.h"
#include "platform/thread.h"

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

// How often the update thread looks for sounds that have stopped.
constexpr auto kUpdatePeriod = std::chrono::milliseconds(50);
// Coordinates beyond this size (and NaN) place no 3D sound.
constexpr float kLargestCoordinate = 1e32f;

bool usableCoordinate(float value) { return !std::isnan(value) && std::fabs(value) <= kLargestCoordinate; }

}  // namespace

struct CSoundDevice::Handles {
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;
};

// Shared by the device and its update thread, so that it outlives whichever
// of them ends last: the device may be destroyed on the thread itself, when
// the sound the thread releases held the last reference to it.
struct CSoundDevice::UpdateRecord {
  Mutex mutex;  // guards `sounds`
  irr::core::list<ISound*> sounds;
  std::atomic<bool> stop{false};
  // Wakes the thread's wait early when the stop flag is set.
  std::mutex wakeLock;
  std::condition_variable wake;

  // Releases every sound in the list.
  void releaseAll() {
    mutex.lock();
    while (!sounds.empty()) {
      irr::core::list<ISound*>::Iterator first = sounds.begin();
      ISound* sound = *first;
      sounds.erase(first);
      mutex.unlock();
      sound->drop();
      mutex.lock();
    }
    mutex.unlock();
  }

  // One pass: releases the sounds that have stopped. The mutex is never held
  // while a sound is released, so a release that re-enters the device cannot
  // lock against it.
  void releaseStopped() {
    mutex.lock();
    for (irr::core::list<ISound*>::Iterator it = sounds.begin(); it != sounds.end();) {
      ISound* sound = *it;
      if (!sound->isStopped()) {
        ++it;
        continue;
      }
      it = sounds.erase(it);
      mutex.unlock();
      sound->drop();
      mutex.lock();
    }
    mutex.unlock();
  }

  void requestStop() {
    {
      std::lock_guard<std::mutex> guard(wakeLock);
      stop.store(true);
    }
    wake.notify_all();
  }

  // Waits one period; false once the stop flag is set.
  bool waitPeriod() {
    std::unique_lock<std::mutex> guard(wakeLock);
    return !wake.wait_for(guard, kUpdatePeriod, [this] { return stop.load(); });
  }
};

namespace {

// The update thread: collects stopped sounds until told to stop, then
// releases whatever is left.
uint32_t soundUpdateThread(void* argument) {
  auto* shared = static_cast<std::shared_ptr<CSoundDevice::UpdateRecord>*>(argument);
  const std::shared_ptr<CSoundDevice::UpdateRecord> record = *shared;
  delete shared;
  while (!record->stop.load()) {
    record->releaseStopped();
    if (!record->waitPeriod())
      break;
  }
  record->releaseAll();
  return 0;
}

}  // namespace

namespace {
// Devices constructed and not yet destroyed: the last one may go on its own
// update thread, after the owner let go of it.
std::atomic<uint32_t> liveDevices{0};
}  // namespace

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

  update_ = std::make_shared<UpdateRecord>();
  auto* argument = new std::shared_ptr<UpdateRecord>(update_);
  if (!updateThread_.start(soundUpdateThread, argument, true))
    delete argument;  // logged; sounds are then released when the device goes
  liveDevices.fetch_add(1);
}

uint32_t CSoundDevice::liveCount() {
  return liveDevices.load();
}

CSoundDevice::~CSoundDevice() {
  if (update_ != nullptr) {
    update_->requestStop();
    // On the update thread itself (its release of a sound let go of the
    // device) the thread ends by itself once this returns.
    if (updateThread_.valid() && !updateThread_.handle().isCurrent())
      updateThread_.waitForExit();
    if (!updateThread_.valid())
      update_->releaseAll();
  }
  shutDown();
  liveDevices.fetch_sub(1);
}

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
    if (alcGetCurrentContext() == handles_->context)
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

void CSoundDevice::setRolloffFactor(float factor) {
  MutexGuard guard(lock_);
  for (irr::u32 i = 0; i < sources_.size(); ++i)
    alSourcef(sources_[i], AL_ROLLOFF_FACTOR, factor);
}

ISound* CSoundDevice::createSound(ISoundSource* source, bool loop, bool paused) {
  if (source == nullptr || !enabled_)
    return nullptr;
  lock();
  return startSound(new CSound(source, false), loop, paused, nullptr);
}

ISound* CSoundDevice::create3DSound(ISoundSource* source, const irr::core::vector3df& position, bool loop,
                                    bool paused) {
  if (source == nullptr || !enabled_)
    return nullptr;
  if (!usableCoordinate(position.X) || !usableCoordinate(position.Y) || !usableCoordinate(position.Z))
    return nullptr;
  lock();
  return startSound(new CSound(source, true), loop, paused, &position);
}

// Called with the device lock held; leaves it.
ISound* CSoundDevice::startSound(ISound* sound, bool loop, bool paused, const irr::core::vector3df* position) {
  if (position != nullptr)
    sound->setPosition(position->X, position->Y, position->Z);
  sound->setLooping(loop);
  sound->play();
  if (paused)
    sound->pause();
  if (sound->isStopped()) {
    // No OpenAL source could be bound (the pool is empty) or play failed.
    sound->drop();
    unlock();
    return nullptr;
  }
  unlock();
  addActiveSound(sound);
  return sound;
}

void CSoundDevice::setListener(const irr::core::vector3df& position, const irr::core::vector3df& velocity,
                               const irr::core::vector3df& target, const irr::core::vector3df& up) {
  MutexGuard guard(lock_);
  alListener3f(AL_POSITION, position.X, position.Y, -position.Z);
  alListener3f(AL_VELOCITY, velocity.X, velocity.Y, -velocity.Z);
  irr::core::vector3df direction = target - position;
  const float lengthSquared = direction.getLengthSQ();
  if (!irr::core::iszero(lengthSquared, 1e-8f))
    direction *= 1.0f / std::sqrt(lengthSquared);
  const ALfloat orientation[6] = {direction.X, direction.Y, -direction.Z, up.X, up.Y, -up.Z};
  alListenerfv(AL_ORIENTATION, orientation);
}

ISoundSource* CSoundDevice::loadSoundSource(const irr::core::stringw& path) { return loadSoundFile(this, path); }

void CSoundDevice::addActiveSound(ISound* sound) {
  if (sound == nullptr)
    return;
  if (update_ == nullptr) {
    sound->drop();
    return;
  }
  MutexGuard guard(update_->mutex);
  update_->sounds.push_back(sound);
}

uint32_t CSoundDevice::freeSourceCount() {
  MutexGuard guard(lock_);
  return freeSources_.size();
}

uint32_t CSoundDevice::freeBufferCount() {
  MutexGuard guard(lock_);
  return freeBuffers_.size();
}

uint32_t CSoundDevice::activeSoundCount() {
  if (update_ == nullptr)
    return 0;
  MutexGuard guard(update_->mutex);
  return update_->sounds.size();
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
