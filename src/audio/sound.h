// Sounds and sound sources.
//
// A sound source is a decoded sound file held in one OpenAL buffer of the
// device's pool, loaded once and shared. A sound is one playing voice of a
// source on one OpenAL source of the pool; only the sound device creates
// sounds. Z coordinates change sign on the way to OpenAL.
#pragma once

#include <atomic>
#include <exception>
#include <mutex>

#include "audio/sound_device.h"

namespace audio {

// A failed sound load: the text, and whether the file is broken or resources
// ran out (badFile true) rather than in a format that is not supported.
class SLoadError : public std::exception {
 public:
  SLoadError(const char* text, bool badFile) : badFile(badFile), text_(text) {}
  const char* what() const noexcept override { return text_; }

  bool badFile;

 private:
  const char* text_;  // a fixed text
};

class ISoundSource : public IAudioReference {
 public:
  // Sets the default volume of new voices; a negative value is ignored.
  virtual void setVolume(float volume) = 0;
  virtual float getVolume() = 0;

  ISoundDevice* getDevice() const { return device_; }

 protected:
  // Keeps (and grabs) the device for the source's lifetime.
  explicit ISoundSource(ISoundDevice* device);
  ~ISoundSource() override;

 private:
  ISoundDevice* device_;
};

// A source in one buffer of the device's pool. The constructor takes the
// buffer and throws SLoadError "Unable to create buffer" when the pool is
// empty; the destructor gives it back.
class CSoundSource : public ISoundSource {
 public:
  void setVolume(float volume) override;
  float getVolume() override { return volume_.load(std::memory_order_relaxed); }
  // Gives the OpenAL source this source's default gain and distances.
  virtual void applyTo(AudioName source);
  virtual AudioName getBuffer() { return buffer_; }

 protected:
  explicit CSoundSource(ISoundDevice* device);
  ~CSoundSource() override;

 private:
  AudioName buffer_ = kNoAudioName;
  std::atomic<float> volume_{1.0f};
};

class ISound : public IAudioReference {
 public:
  virtual bool isStopped() = 0;
  virtual bool isPlaying() = 0;
  virtual void pause() = 0;
  virtual void play() = 0;
  virtual void setPlayPosition(int ms) = 0;
  virtual void setLooping(bool loop) = 0;
  virtual bool isLooping() = 0;
  // Stops the voice and gives its OpenAL source back; every later call does
  // nothing.
  virtual void stop() = 0;
  virtual void setPosition(float x, float y, float z) = 0;
  virtual void setVelocity(float x, float y, float z) = 0;
  virtual void setVolume(float volume) = 0;
  virtual int getPlayPosition() = 0;
  // Length of the buffer in milliseconds (-1 without a source).
  virtual int getLength() = 0;
  virtual void setReferenceDistance(float distance) = 0;
  virtual void setMaxDistance(float distance) = 0;
  virtual void seek(int ms) = 0;
  virtual ISoundSource* getSource() = 0;
};

// One voice. Built by the sound device under its lock; a voice whose buffer
// or OpenAL source could not be bound has no source and does nothing.
// Any thread may use a voice: its source name is guarded by its own lock,
// which is never held while the device is called.
class CSound : public ISound {
 public:
  CSound(ISoundSource* source, bool is3D);

  bool isStopped() override;
  bool isPlaying() override;
  void pause() override;
  void play() override;
  void setPlayPosition(int ms) override;
  void setLooping(bool loop) override;
  bool isLooping() override;
  void stop() override;
  void setPosition(float x, float y, float z) override;
  void setVelocity(float x, float y, float z) override;
  void setVolume(float volume) override;
  int getPlayPosition() override;
  int getLength() override;
  void setReferenceDistance(float distance) override;
  void setMaxDistance(float distance) override;
  void seek(int ms) override;
  ISoundSource* getSource() override;

 protected:
  ~CSound() override;

 private:
  int sourceState();

  std::mutex lock_;
  CSoundSource* source_ = nullptr;
  AudioName name_ = kNoAudioName;
};

}  // namespace audio
