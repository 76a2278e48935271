// The sound device: the one object through which the server talks to OpenAL.
//
// It owns the OpenAL device and context, a fixed pool of 64 buffers and a
// pool of 128, 64 or 32 sources (as many as the driver gives), and the
// master volume. When OpenAL cannot be started, a silent device with the same
// interface takes its place, so every caller works unchanged without sound.
// Headless servers run OpenAL Soft on its null backend.
#pragma once

#include <irrArray.h>
#include <irrList.h>
#include <irrString.h>

#include <atomic>
#include <cstdint>

#include "core/locks.h"

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

class ISoundDevice : public IAudioReference {
 public:
  // Enables sound creation while `gain` is above 0; a gain of 0 or more also
  // becomes the listener's gain (a negative one keeps the previous gain).
  virtual void setVolume(float gain) = 0;
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
};

// The OpenAL device. Construction throws a text (const char*) when OpenAL
// cannot be started; see createSoundDevice.
class CSoundDevice : public ISoundDevice {
 public:
  // Opens the device named `deviceName`, else the system's default device.
  explicit CSoundDevice(const char* deviceName);

  void setVolume(float gain) override;
  AudioName acquireSource() override;
  void releaseSource(AudioName name) override;
  AudioName acquireBuffer() override;
  void releaseBuffer(AudioName name) override;
  void lock() override { lock_.lock(); }
  void unlock() override { lock_.unlock(); }
  void getDeviceNames(irr::core::list<irr::core::stringc>& out) override;

  bool enabled() const { return enabled_; }
  uint32_t sourceCount() const { return sources_.size(); }
  uint32_t bufferCount() const { return buffers_.size(); }

 protected:
  ~CSoundDevice() override;

 private:
  void shutDown();
  AudioName takeFirst(irr::core::list<AudioName>& names);

  struct Handles;
  Handles* handles_;
  irr::core::array<AudioName> buffers_;
  irr::core::array<AudioName> sources_;
  irr::core::list<AudioName> freeBuffers_;
  irr::core::list<AudioName> freeSources_;
  bool enabled_ = false;
  Mutex lock_;
};

// The silent device: creates nothing, lends nothing, does nothing.
class CDummySoundDevice : public ISoundDevice {
 public:
  void setVolume(float) override {}
  AudioName acquireSource() override { return kNoAudioName; }
  void releaseSource(AudioName) override {}
  AudioName acquireBuffer() override { return kNoAudioName; }
  void releaseBuffer(AudioName) override {}
  void lock() override {}
  void unlock() override {}
  void getDeviceNames(irr::core::list<irr::core::stringc>&) override {}
};

// Creates the OpenAL device (name null: the system's default device). Throws
// the failure text ("Could not initialize sound system", "Error generating
// buffers", "Error generating sources") as a const char*.
ISoundDevice* createSoundDevice(const char* deviceName);

}  // namespace audio

// The process's sound device (null until start-up creates one).
extern audio::ISoundDevice* soundDevice;
