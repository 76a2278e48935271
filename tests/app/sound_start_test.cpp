#include <gtest/gtest.h>
#include <irrlicht.h>

#include <cstdlib>
#include <string>

#include "app/engine_start.h"
#include "audio/sound.h"
#include "audio/sound_device.h"
#include "support/log_capture.h"

namespace sound_start_test {

namespace {

// Start-up with OpenAL told to use a backend that does not exist: 0 when the
// failure is logged and the silent device answers every call with none or -1.
int startWithoutSound() {
  setenv("ALSOFT_DRIVERS", "no-such-backend", 1);
  LogCapture log;
  irr::IrrlichtDevice* device = createNullDevice(640, 480, &logOnlyReceiver);
  if (device == nullptr)
    return 2;
  initDeviceGlobals(device, nullptr);
  int faults = 0;
  faults += log.take().find("Sound Initialization Error: Could not initialize sound system\n") == std::string::npos;
  faults += dynamic_cast<audio::CDummySoundDevice*>(soundDevice) == nullptr;

  soundDevice->setVolume(1.0f);
  audio::ISoundSource* source = soundDevice->loadSoundSource(L"sounds/anything.wav");
  faults += source != nullptr;
  faults += soundDevice->createSound(source, false, false) != nullptr;
  faults += soundDevice->create3DSound(source, irr::core::vector3df(1, 2, 3), true, false) != nullptr;
  faults += soundDevice->acquireSource() != audio::kNoAudioName;
  faults += soundDevice->acquireBuffer() != audio::kNoAudioName;
  audio::ISound* voice = new audio::CSound(source, false);  // a voice without source
  faults += voice->getLength() != -1;
  faults += !voice->isStopped();
  voice->drop();
  closeDeviceGlobals(device);
  return faults;
}

// OpenAL reads its backend list once per process: this runs in a fresh one.
TEST(SoundStart, WithoutABackendTheSilentDeviceTakesOver) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(startWithoutSound()), testing::ExitedWithCode(0), "");
}

}  // namespace

}  // namespace sound_start_test
