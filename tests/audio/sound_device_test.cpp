#include "audio/sound_device.h"

#include <al.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace sound_device_test {

namespace {

// OpenAL Soft's null backend: a real device that plays into nothing. It must
// be chosen before the first OpenAL call of the process.
class SoundDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ALSOFT_DRIVERS", "null", 1); }
  LogCapture log;
};

TEST_F(SoundDeviceTest, OpensTheNamedOrTheDefaultDevice) {
  irr::core::list<irr::core::stringc> names;
  names.push_back("stale entry");
  audio::CDummySoundDevice().getDeviceNames(names);
  EXPECT_EQ(names.size(), 1u);  // the silent device leaves the list alone

  audio::ISoundDevice* device = audio::createSoundDevice(nullptr);
  device->getDeviceNames(names);
  ASSERT_GE(names.size(), 1u);
  const irr::core::stringc first = *names.begin();
  device->drop();
  EXPECT_EQ(log.take(), "");

  device = audio::createSoundDevice(first.c_str());
  device->drop();
  EXPECT_EQ(log.take(), "");

  device = audio::createSoundDevice("No such device");
  device->drop();
  EXPECT_EQ(log.take(), "Unable to instance sound device \"No such device\"\n");
}

TEST_F(SoundDeviceTest, VolumeEnablesSoundAndSetsTheListenerGain) {
  auto* device = static_cast<audio::CSoundDevice*>(audio::createSoundDevice(nullptr));
  EXPECT_FALSE(device->enabled());

  struct Case {
    float gain;
    bool enabled;
    float listenerGain;
  };
  const Case cases[] = {{0.5f, true, 0.5f}, {0.0f, false, 0.0f}, {-1.0f, false, 0.0f}, {0.75f, true, 0.75f}};
  for (const Case& c : cases) {
    device->setVolume(c.gain);
    float gain = -2.0f;
    alGetListenerf(AL_GAIN, &gain);
    EXPECT_EQ(device->enabled(), c.enabled) << c.gain;
    EXPECT_FLOAT_EQ(gain, c.listenerGain) << c.gain;
  }
  device->drop();
}

TEST_F(SoundDeviceTest, PoolsLendTheLongestReturnedNameFirst) {
  auto* device = static_cast<audio::CSoundDevice*>(audio::createSoundDevice(nullptr));
  EXPECT_EQ(device->bufferCount(), 64u);
  const uint32_t sources = device->sourceCount();
  EXPECT_TRUE(sources == 128 || sources == 64 || sources == 32) << sources;

  std::vector<audio::AudioName> lent;
  for (uint32_t i = 0; i < sources; ++i)
    lent.push_back(device->acquireSource());
  EXPECT_EQ(device->acquireSource(), audio::kNoAudioName);  // exhausted
  device->releaseSource(lent[5]);
  device->releaseSource(lent[2]);
  device->releaseSource(audio::kNoAudioName);  // ignored
  EXPECT_EQ(device->acquireSource(), lent[5]);
  EXPECT_EQ(device->acquireSource(), lent[2]);
  EXPECT_EQ(device->acquireSource(), audio::kNoAudioName);

  const audio::AudioName buffer = device->acquireBuffer();
  EXPECT_NE(buffer, audio::kNoAudioName);
  device->releaseBuffer(buffer);
  device->drop();

  audio::CDummySoundDevice silent;
  EXPECT_EQ(silent.acquireSource(), audio::kNoAudioName);
  EXPECT_EQ(silent.acquireBuffer(), audio::kNoAudioName);
}

}  // namespace

}  // namespace sound_device_test
