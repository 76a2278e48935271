// The sound device: the one object through which the server talks to OpenAL.
//
// It owns the OpenAL device and context, a fixed pool of 64 buffers and a
// pool of 128, 64 or 32 sources (as many as the driver gives), the listener,
// the master volume and the list of sounds that play. Sounds it creates go to
// that list with their creation reference; an update thread releases those
// that have stopped every 50 ms. When OpenAL cannot be started, a silent
// device with the same interface takes its place, so every caller works
// unchanged without sound. Headless servers run OpenAL Soft on its null
// backend.
#pragma once

#include <irrArray.h>
#include <irrList.h>
#include <irrString.h>
#include <vector3d.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "core/locks.h"
#include "core/threads.h"

namespace audio {

// Reference-counted base of every audio object: the count starts at 1 and
// the last drop deletes the object. Any thread may grab and drop.
class IAudioReference {
 public:
  IAudioReference() = default;
  IAudioReference(const IAudioReference&) = delete;
  IAudioReference& operator=(const IAudioReference&) = delete;

  void grab() { references_.fetch_add(1, std::memory_order_relaxed); }
  // True when this was the last reference (the object is gone).
  bool drop() {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) != 1)
      return false;
    delete this;
    return true;
  }

 protected:
  virtual ~IAudioReference() = default;

 private:
  std::atomic<int32_t> references_{1};
};

// An OpenAL object name, or kNoAudioName for none.
using AudioName = uint32_t;
constexpr AudioName kNoAudioName = 0xFFFFFFFFu;

class ISound;
class ISoundSource;

class ISoundDevice : public IAudioReference {
 public:
  // Sets the rolloff factor of every source of the pool.
  virtual void setRolloffFactor(float factor) = 0;
  // A voice of `source` that plays at once (or paused), handed to the active
  // list with its creation reference: callers that keep it grab it. None
  // while sound is disabled, for no source, or when no OpenAL source is free.
  virtual ISound* createSound(ISoundSource* source, bool loop, bool paused) = 0;
  // As createSound, at `position`; also none when a coordinate is NaN or
  // larger than 1e32 in size.
  virtual ISound* create3DSound(ISoundSource* source, const irr::core::vector3df& position, bool loop,
                                bool paused) = 0;
  // Places the listener, facing from `position` towards `target`.
  virtual void setListener(const irr::core::vector3df& position, const irr::core::vector3df& velocity,
                           const irr::core::vector3df& target, const irr::core::vector3df& up) = 0;
  // Enables sound creation while `gain` is above 0; a gain of 0 or more also
  // becomes the listener's gain (a negative one keeps the previous gain).
  virtual void setVolume(float gain) = 0;
  // Loads a ".wav", ".wave" or ".ogg" file into a new source (one reference),
  // or none; a failure is logged.
  virtual ISoundSource* loadSoundSource(const irr::core::stringw& path) = 0;
  // Takes a free source or buffer name (kNoAudioName when none is free), or
  // gives one back; names come back to the end of the free list.
  virtual AudioName acquireSource() = 0;
  virtual void releaseSource(AudioName name) = 0;
  virtual AudioName acquireBuffer() = 0;
  virtual void releaseBuffer(AudioName name) = 0;
  // The device lock, re-entrant, for work that spans several device calls.
  virtual void lock() = 0;
  virtual void unlock() = 0;
  // Replaces `out` with the names of the system's sound devices.
  virtual void getDeviceNames(irr::core::list<irr::core::stringc>& out) = 0;
  // Appends a sound to the active list, which takes over the caller's
  // reference and releases it once the sound has stopped.
  virtual void addActiveSound(ISound* sound) = 0;
};

// The OpenAL device. Construction throws a text (const char*) when OpenAL
// cannot be started; see createSoundDevice.
class CSoundDevice : public ISoundDevice {
 public:
  // Opens the device named `deviceName`, else the system's default device.
  explicit CSoundDevice(const char* deviceName);

  void setRolloffFactor(float factor) override;
  ISound* createSound(ISoundSource* source, bool loop, bool paused) override;
  ISound* create3DSound(ISoundSource* source, const irr::core::vector3df& position, bool loop,
                        bool paused) override;
  void setListener(const irr::core::vector3df& position, const irr::core::vector3df& velocity,
                   const irr::core::vector3df& target, const irr::core::vector3df& up) override;
  void setVolume(float gain) override;
  ISoundSource* loadSoundSource(const irr::core::stringw& path) override;
  AudioName acquireSource() override;
  void releaseSource(AudioName name) override;
  AudioName acquireBuffer() override;
  void releaseBuffer(AudioName name) override;
  void lock() override { lock_.lock(); }
  void unlock() override { lock_.unlock(); }
  void getDeviceNames(irr::core::list<irr::core::stringc>& out) override;
  void addActiveSound(ISound* sound) override;

  bool enabled() const { return enabled_; }
  uint32_t sourceCount() const { return sources_.size(); }
  uint32_t bufferCount() const { return buffers_.size(); }
  // Free names in the pools and sounds in the active list (for tests and
  // diagnostics).
  uint32_t freeSourceCount();
  uint32_t freeBufferCount();
  uint32_t activeSoundCount();
  // Devices constructed and not yet fully destroyed, in the whole process.
  static uint32_t liveCount();

  // What the device shares with its update thread: the active sounds under
  // the record's own mutex, and the stop flag.
  struct UpdateRecord;

 protected:
  // Stops the update thread (waiting for its end unless it is the caller),
  // releases the sounds it still held, then deletes the OpenAL objects.
  ~CSoundDevice() override;

 private:
  void shutDown();
  AudioName takeFirst(irr::core::list<AudioName>& names);
  ISound* startSound(ISound* sound, bool loop, bool paused, const irr::core::vector3df* position);

  struct Handles;
  Handles* handles_;
  irr::core::array<AudioName> buffers_;
  irr::core::array<AudioName> sources_;
  irr::core::list<AudioName> freeBuffers_;
  irr::core::list<AudioName> freeSources_;
  std::atomic<bool> enabled_{false};
  Mutex lock_;
  std::shared_ptr<UpdateRecord> update_;
  Thread updateThread_;
};

// The silent device: creates nothing, lends nothing, does nothing.
class CDummySoundDevice : public ISoundDevice {
 public:
  void setRolloffFactor(float) override {}
  ISound* createSound(ISoundSource*, bool, bool) override { return nullptr; }
  ISound* create3DSound(ISoundSource*, const irr::core::vector3df&, bool, bool) override { return nullptr; }
  void setListener(const irr::core::vector3df&, const irr::core::vector3df&, const irr::core::vector3df&,
                   const irr::core::vector3df&) override {}
  void setVolume(float) override {}
  ISoundSource* loadSoundSource(const irr::core::stringw&) override { return nullptr; }
  AudioName acquireSource() override { return kNoAudioName; }
  void releaseSource(AudioName) override {}
  AudioName acquireBuffer() override { return kNoAudioName; }
  void releaseBuffer(AudioName) override {}
  void lock() override {}
  void unlock() override {}
  void getDeviceNames(irr::core::list<irr::core::stringc>&) override {}
  void addActiveSound(ISound*) override {}
};

// Creates the OpenAL device (name null: the system's default device). Throws
// the failure text ("Could not initialize sound system", "Error generating
// buffers", "Error generating sources") as a const char*.
ISoundDevice* createSoundDevice(const char* deviceName);

}  // namespace audio

// The process's sound device (null until start-up creates one).
extern audio::ISoundDevice* soundDevice;
