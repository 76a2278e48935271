#include "audio/sound_descriptors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "sound_files.h"

namespace sound_descriptors_test {

namespace {

using sound_files::SoundTest;
using sound_files::WaveLayout;
using Sounds = NamedVar<audio::ISoundSource*>::Registry;

class SoundDescriptorTest : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    soundDevice = device;
    sound_files::writeFile(folder / "a.wav", sound_files::waveBytes(WaveLayout{}));
    sound_files::writeFile(folder / "b.wav", sound_files::waveBytes(WaveLayout{}));
  }
  void TearDown() override {
    clear();
    soundDevice = nullptr;
    SoundTest::TearDown();
  }
  void clear() {
    for (irr::u32 i = 0; i < sounds.size(); ++i)
      if (sounds[i].value != nullptr)
        sounds[i].value->drop();
    sounds.clear();
  }
  // Reads `text` as the descriptor file "sounds.txt"; its log.
  std::string read(const std::string& text) {
    path = (folder / "sounds.txt").string();
    sound_files::writeFile(path, text);
    log.take();
    loadSoundDescriptors(sounds, path.c_str());
    return log.take();
  }
  audio::ISoundSource* sound(const wchar_t* name) {
    const irr::s32 index = NamedVar<audio::ISoundSource*>::find(sounds, name);
    return index < 0 ? nullptr : sounds[static_cast<irr::u32>(index)].value;
  }
  bool registered(const wchar_t* name) { return NamedVar<audio::ISoundSource*>::find(sounds, name) >= 0; }

  Sounds sounds;
  std::string path;
};

TEST_F(SoundDescriptorTest, LoadsNamedSoundsWithTheirVolume) {
  const std::string text = read("// effects\nSound: click\nFile: a.wav\nVolume: 0.25\n\nSound: boom\nFile: b.wav\n");
  EXPECT_NE(text.find("Loading sound descriptors: " + path), std::string::npos) << text;
  ASSERT_NE(sound(L"click"), nullptr) << text;
  ASSERT_NE(sound(L"boom"), nullptr) << text;
  EXPECT_FLOAT_EQ(sound(L"click")->getVolume(), 0.25f);
  EXPECT_FLOAT_EQ(sound(L"boom")->getVolume(), 1.0f);
}

TEST_F(SoundDescriptorTest, FaultyLinesGiveTheirMessageAndChangeNothing) {
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> lines;  // "%s" stands for the file name
    float clickVolume;                // -1: "click" has no source
  };
  const Case cases[] = {
      {"duplicate Sound", "Sound: click\nFile: a.wav\nSound: click\nFile: b.wav\nVolume: 0.5\n",
       {"%s(3) error Snd003: Duplicate Sound 'click'\n", "%s(4) error Snd006: Must declare a sound definition\n",
        "%s(5) error Snd006: Must declare a sound definition\n"},
       1.0f},
      {"File before any Sound", "File: a.wav\nSound: click\nFile: a.wav\n",
       {"%s(1) error Snd006: Must declare a sound definition\n"}, 1.0f},
      {"Volume before File", "Sound: click\nVolume: 0.5\nFile: a.wav\n",
       {"%s(2) error Snd005: Must load a sound file before other settings\n"}, 1.0f},
      {"lower-case key, no sound", "sound: click\n", {"%s(1) error Snd006: Must declare a sound definition\n"}, -2},
      {"lower-case key, no file yet", "Sound: click\nsound: x\n",
       {"%s(2) error Snd005: Must load a sound file before other settings\n"}, -1},
      {"lower-case key after File", "Sound: click\nFile: a.wav\nsound: x\nvolume: 0.5\n",
       {"%s(3) error Snd004: Unrecognized Key 'sound'\n", "%s(4) error Snd004: Unrecognized Key 'volume'\n"}, 1.0f},
      {"empty key", "Sound: click\n: a.wav\n", {"%s(2) error Snd001: Empty Key\n"}, -1},
      {"empty value", "Sound: click\nFile:\nVolume: \n",
       {"%s(2) error Snd002: Empty Value for Key 'File'\n", "%s(3) error Snd002: Empty Value for Key 'Volume'\n"}, -1},
      {"missing file", "Sound: click\nFile: nosuch.wav\nVolume: 0.5\n",
       {"%s(3) error Snd005: Must load a sound file before other settings\n"}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    clear();
    const std::string text = read(c.text);
    for (std::string line : c.lines) {
      line.replace(line.find("%s"), 2, path);
      EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;
    }
    if (c.clickVolume == -2) {
      EXPECT_FALSE(registered(L"click"));
    } else if (c.clickVolume < 0) {
      EXPECT_TRUE(registered(L"click"));
      EXPECT_EQ(sound(L"click"), nullptr);
    } else {
      ASSERT_NE(sound(L"click"), nullptr) << text;
      EXPECT_FLOAT_EQ(sound(L"click")->getVolume(), c.clickVolume);
    }
  }
}

TEST_F(SoundDescriptorTest, ASecondFileGivesTheFirstBufferBack) {
  const uint32_t before = device->freeBufferCount();
  read("Sound: click\nFile: a.wav\n");
  ASSERT_NE(sound(L"click"), nullptr);
  EXPECT_EQ(device->freeBufferCount(), before - 1);
  clear();
  EXPECT_EQ(device->freeBufferCount(), before);
  read("Sound: click\nFile: a.wav\nFile: b.wav\n");
  ASSERT_NE(sound(L"click"), nullptr);
  EXPECT_EQ(device->freeBufferCount(), before - 1);
}

TEST_F(SoundDescriptorTest, AnUnreadableFileIsReportedAndANullNameIgnored) {
  log.take();
  loadSoundDescriptors(sounds, nullptr);
  const std::string missing = (folder / "nosuch.txt").string();
  loadSoundDescriptors(sounds, missing.c_str());
  EXPECT_NE(log.take().find("Failed to load sound descriptors file '" + missing + "'\n"), std::string::npos);
  EXPECT_EQ(sounds.size(), 0u);
}

TEST_F(SoundDescriptorTest, ShippedSoundsAndMusicAllLoad) {
  log.take();
  const std::string shipped = CORVANE_SOURCE_DIR "/data/Game Data/Sounds/sounds.txt";
  loadSoundDescriptors(sounds, shipped.c_str());
  const std::string text = log.take();
  EXPECT_EQ(text.find("error"), std::string::npos) << text;
  for (const wchar_t* name : {L"button_clk", L"attack_warn"})
    EXPECT_NE(sound(name), nullptr) << irr::core::stringc(name).c_str() << "\n" << text;
  for (const char* file : {"error.wav", "music/drift.wav", "music/pulse.wav"}) {
    audio::ISoundSource* source =
        device->loadSoundSource(irr::core::stringw((CORVANE_SOURCE_DIR "/data/sounds/" + std::string(file)).c_str()));
    ASSERT_NE(source, nullptr) << file << "\n" << log.take();
    source->drop();
  }
}

}  // namespace

}  // namespace sound_descriptors_test
