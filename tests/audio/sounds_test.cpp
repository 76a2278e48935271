#include <al.h>
#include <alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "sound_files.h"

namespace sounds_test {

namespace {

using sound_files::SoundTest;
using sound_files::waitFor;
using sound_files::WaveLayout;
using irr::core::vector3df;

// A source that is no buffer-backed CSoundSource: its voices have no source.
class ForeignSource : public audio::ISoundSource {
 public:
  explicit ForeignSource(audio::ISoundDevice* device) : ISoundSource(device) {}
  void setVolume(float) override {}
  float getVolume() override { return 1.0f; }
};

// Every source of the pool, in the order the pool lends them next (they are
// all back in the pool afterwards).
std::vector<audio::AudioName> lendingOrder(audio::ISoundDevice* device) {
  std::vector<audio::AudioName> names;
  for (audio::AudioName name; (name = device->acquireSource()) != audio::kNoAudioName;)
    names.push_back(name);
  for (audio::AudioName name : names)
    device->releaseSource(name);
  return names;
}

TEST_F(SoundTest, PoolsGiveNoneWhenEmptyAndTakeNothingForRefusedSounds) {
  audio::ISoundSource* source = loadWave(WaveLayout{});
  ASSERT_NE(source, nullptr) << log.take();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    bool everySourceTaken;
    bool is3D;
    vector3df at;
    bool plays;
  };
  const Case cases[] = {
      {"2D, a source free", false, false, {}, true},
      {"2D, every source taken", true, false, {}, false},
      {"3D, every source taken", true, true, {1, 2, 3}, false},
      {"3D at NaN X", false, true, {nan, 0, 0}, false},
      {"3D at NaN Z", false, true, {0, 0, nan}, false},
      {"3D at 1e33 Y", false, true, {0, 1e33f, 0}, false},
      {"3D at -1e33 Z", false, true, {0, 0, -1e33f}, false},
      {"3D at 1e32", false, true, {1e32f, -1e32f, 1e32f}, true},
  };
  for (const Case& c : cases) {
    std::vector<audio::AudioName> taken;
    if (c.everySourceTaken)
      for (audio::AudioName name; (name = device->acquireSource()) != audio::kNoAudioName;)
        taken.push_back(name);
    // A stopped sound stays listed until the update thread collects it.
    ASSERT_TRUE(waitFor([&] { return device->activeSoundCount() == 0; })) << c.what;
    const uint32_t freeBefore = device->freeSourceCount();
    const uint32_t activeBefore = device->activeSoundCount();
    // Looping, so that a sound that plays stays in the list.
    audio::ISound* sound = c.is3D ? device->create3DSound(source, c.at, true, false)
                                  : device->createSound(source, true, false);
    EXPECT_EQ(sound != nullptr, c.plays) << c.what;
    EXPECT_EQ(device->freeSourceCount(), freeBefore - (c.plays ? 1 : 0)) << c.what;
    EXPECT_EQ(device->activeSoundCount(), activeBefore + (c.plays ? 1 : 0)) << c.what;
    if (sound != nullptr) {
      sound->stop();
      EXPECT_EQ(device->freeSourceCount(), freeBefore) << c.what;
    }
    for (audio::AudioName name : taken)
      device->releaseSource(name);
  }
  EXPECT_EQ(device->freeSourceCount(), device->sourceCount());

  // The buffer pool: 64 sources alive; the 65th load fails and takes nothing.
  std::vector<audio::ISoundSource*> loaded{source};
  while (loaded.size() < 64) {
    loaded.push_back(loadWave(WaveLayout{}));
    ASSERT_NE(loaded.back(), nullptr) << loaded.size();
  }
  EXPECT_EQ(device->freeBufferCount(), 0u);
  log.take();
  EXPECT_EQ(loadWave(WaveLayout{}, "extra.wav"), nullptr);
  EXPECT_EQ(log.take(), "Bad File \"" + (folder / "extra.wav").string() + "\": Unable to create buffer\n");
  EXPECT_EQ(device->freeBufferCount(), 0u);
  loaded.back()->drop();
  loaded.pop_back();
  EXPECT_EQ(device->freeBufferCount(), 1u);
  loaded.push_back(loadWave(WaveLayout{}));
  EXPECT_NE(loaded.back(), nullptr);
  for (audio::ISoundSource* s : loaded)
    s->drop();
  EXPECT_EQ(device->freeBufferCount(), device->bufferCount());
}

TEST_F(SoundTest, SilentWhileDisabledAndWithoutABufferedSource) {
  audio::ISoundSource* source = loadWave(WaveLayout{});
  ASSERT_NE(source, nullptr);
  device->setVolume(0.0f);
  EXPECT_EQ(device->createSound(source, false, false), nullptr);
  EXPECT_EQ(device->create3DSound(source, vector3df(1, 2, 3), false, false), nullptr);
  device->setVolume(0.5f);
  EXPECT_EQ(device->createSound(nullptr, false, false), nullptr);

  auto* foreign = new ForeignSource(device);
  EXPECT_EQ(device->createSound(foreign, false, false), nullptr);
  auto* voice = new audio::CSound(foreign, true);
  EXPECT_TRUE(voice->isStopped());
  EXPECT_FALSE(voice->isPlaying());
  EXPECT_FALSE(voice->isLooping());
  EXPECT_EQ(voice->getLength(), -1);
  EXPECT_EQ(voice->getPlayPosition(), 0);
  EXPECT_EQ(voice->getSource(), nullptr);
  voice->play();
  voice->stop();
  voice->drop();
  foreign->drop();
  EXPECT_EQ(device->freeSourceCount(), device->sourceCount());
  source->drop();
}

TEST_F(SoundTest, OneShotsLeaveTheActiveListAndLoopsStayUntilStopped) {
  WaveLayout fifth;  // 0.2 s
  fifth.frames = 4410;
  audio::ISoundSource* source = loadWave(fifth);
  ASSERT_NE(source, nullptr);

  audio::ISound* oneShot = device->createSound(source, false, false);
  ASSERT_NE(oneShot, nullptr);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(waitFor([&] { return device->activeSoundCount() == 0; }));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  RecordProperty("one_shot_collected_ms", static_cast<int>(took.count()));
  EXPECT_GE(took.count(), 150);  // not before it ended
  EXPECT_EQ(device->freeSourceCount(), device->sourceCount());  // its OpenAL source is back

  audio::ISound* loop = device->create3DSound(source, vector3df(0, 0, 10), true, false);
  ASSERT_NE(loop, nullptr);
  loop->grab();
  EXPECT_TRUE(loop->isLooping());
  std::this_thread::sleep_for(std::chrono::milliseconds(450));  // past two ends of the buffer
  EXPECT_TRUE(loop->isPlaying());
  EXPECT_EQ(device->activeSoundCount(), 1u);
  loop->stop();
  EXPECT_TRUE(loop->isStopped());
  EXPECT_EQ(loop->getSource(), nullptr);
  EXPECT_TRUE(waitFor([&] { return device->activeSoundCount() == 0; }));
  loop->drop();

  // A paused sound is not stopped and stays too.
  audio::ISound* paused = device->createSound(source, false, true);
  ASSERT_NE(paused, nullptr);
  paused->grab();
  EXPECT_FALSE(paused->isPlaying());
  EXPECT_FALSE(paused->isStopped());
  paused->play();
  EXPECT_TRUE(waitFor([&] { return paused->isStopped(); }));
  paused->drop();
  source->drop();
}

TEST_F(SoundTest, LengthVolumeAndPositionReachTheOpenALSource) {
  WaveLayout second;
  second.channels = 2;
  second.rate = 44100;
  second.frames = 44100;  // 1 s, 16-bit stereo
  audio::ISoundSource* source = loadWave(second);
  ASSERT_NE(source, nullptr);
  source->setVolume(0.25f);
  source->setVolume(-1.0f);  // ignored
  EXPECT_FLOAT_EQ(source->getVolume(), 0.25f);

  const audio::AudioName next = lendingOrder(device).front();
  audio::ISound* sound = device->create3DSound(source, vector3df(1, 2, 3), false, true);
  ASSERT_NE(sound, nullptr);
  sound->grab();
  EXPECT_EQ(sound->getLength(), 1000);
  EXPECT_EQ(sound->getSource(), source);

  float gain = 0, reference = 0, maxDistance = 0, rolloff = -1;
  alGetSourcef(next, AL_GAIN, &gain);
  alGetSourcef(next, AL_REFERENCE_DISTANCE, &reference);
  alGetSourcef(next, AL_MAX_DISTANCE, &maxDistance);
  alGetSourcef(next, AL_ROLLOFF_FACTOR, &rolloff);
  EXPECT_FLOAT_EQ(gain, 0.25f);
  EXPECT_FLOAT_EQ(reference, 50.0f);
  EXPECT_FLOAT_EQ(maxDistance, 6400.0f);
  EXPECT_FLOAT_EQ(rolloff, 1.0f);

  vector3df at;
  alGetSource3f(next, AL_POSITION, &at.X, &at.Y, &at.Z);
  EXPECT_EQ(at, vector3df(1, 2, -3));  // Z changes sign
  sound->setPosition(4, 5, std::nanf(""));
  alGetSource3f(next, AL_POSITION, &at.X, &at.Y, &at.Z);
  EXPECT_EQ(at, vector3df(1, 2, -3));  // a NaN moves nothing
  sound->setVelocity(7, 8, 9);
  alGetSource3f(next, AL_VELOCITY, &at.X, &at.Y, &at.Z);
  EXPECT_EQ(at, vector3df(7, 8, -9));

  sound->setPlayPosition(500);
  EXPECT_EQ(sound->getPlayPosition(), 500);
  device->setRolloffFactor(2.5f);
  alGetSourcef(next, AL_ROLLOFF_FACTOR, &rolloff);
  EXPECT_FLOAT_EQ(rolloff, 2.5f);
  sound->stop();
  sound->drop();

  // A 2D voice sits on the listener and does not fade.
  const audio::AudioName flatName = lendingOrder(device).front();
  audio::ISound* flat = device->createSound(source, false, true);
  ASSERT_NE(flat, nullptr);
  ALint relative = AL_FALSE;
  alGetSourcei(flatName, AL_SOURCE_RELATIVE, &relative);
  alGetSourcef(flatName, AL_ROLLOFF_FACTOR, &rolloff);
  EXPECT_EQ(relative, AL_TRUE);
  EXPECT_FLOAT_EQ(rolloff, 0.0f);
  flat->stop();
  source->drop();
}

TEST_F(SoundTest, ListenerCoordinatesChangeTheSignOfZ) {
  struct Case {
    vector3df position, velocity, target, up;
    float orientation[6];
  };
  const Case cases[] = {
      {{1, 2, 3}, {4, 5, 6}, {1, 2, 13}, {0, 1, 0}, {0, 0, -1, 0, 1, 0}},
      {{0, 0, 0}, {0, 0, 0}, {3, 0, 4}, {0, 0, 1}, {0.6f, 0, -0.8f, 0, 0, -1}},
      {{5, 5, 5}, {0, 0, -2}, {5, 5, 5}, {0, 1, 0}, {0, 0, 0, 0, 1, 0}},  // no direction stays none
  };
  for (const Case& c : cases) {
    device->setListener(c.position, c.velocity, c.target, c.up);
    vector3df position, velocity;
    float orientation[6] = {};
    alGetListener3f(AL_POSITION, &position.X, &position.Y, &position.Z);
    alGetListener3f(AL_VELOCITY, &velocity.X, &velocity.Y, &velocity.Z);
    alGetListenerfv(AL_ORIENTATION, orientation);
    EXPECT_EQ(position, vector3df(c.position.X, c.position.Y, -c.position.Z));
    EXPECT_EQ(velocity, vector3df(c.velocity.X, c.velocity.Y, -c.velocity.Z));
    for (int i = 0; i < 6; ++i)
      EXPECT_NEAR(orientation[i], c.orientation[i], 1e-6f) << i;
  }
}

// The device lives while a source of it lives, and a sound holds its source:
// the last of them destroys the device, on whichever thread lets go last.
// Odd rounds stop the looping sounds from here while the update thread still
// lists them; even rounds leave the one-shots to end, so that the update
// thread's release may be the one that takes the device down.
TEST(SoundDeviceLifetime, DestroyedWhileTenSoundsPlay) {
  setenv("ALSOFT_DRIVERS", "null", 1);
  // 200 ms: a sound made paused is played and paused at once, and a much
  // shorter one can end in between on a loaded machine.
  WaveLayout blip;
  blip.frames = 4410;
  const std::filesystem::path path = sound_files::writeFile(scratchDir() / "blip.wav", sound_files::waveBytes(blip));
  for (int round = 0; round < 50; ++round) {
    const bool stopHere = round % 2 == 1;
    audio::ISoundDevice* device = audio::createSoundDevice(nullptr);
    device->setVolume(1.0f);
    audio::ISoundSource* source = device->loadSoundSource(sound_files::widePath(path));
    ASSERT_NE(source, nullptr);
    std::vector<audio::ISound*> sounds;
    for (int i = 0; i < 10; ++i) {
      // Paused until grabbed: a sound that ended could be gone before that.
      audio::ISound* sound = i % 2 ? device->create3DSound(source, vector3df(1, 0, float(i)), stopHere, true)
                                   : device->createSound(source, stopHere, true);
      ASSERT_NE(sound, nullptr);
      sound->grab();
      sound->play();
      sounds.push_back(sound);
    }
    source->drop();
    device->drop();
    for (audio::ISound* sound : sounds) {
      if (stopHere)
        sound->stop();
      sound->drop();
    }
    // The device makes its context current and takes it away when it goes.
    EXPECT_TRUE(waitFor([] { return alcGetCurrentContext() == nullptr; })) << round;
    EXPECT_TRUE(waitFor([] { return audio::CSoundDevice::liveCount() == 0; })) << round;
  }
}

}  // namespace

}  // namespace sounds_test
