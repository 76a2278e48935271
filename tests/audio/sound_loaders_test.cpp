#include "audio/sound_loaders.h"

#include <al.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/file_access.h"
#include "sound_files.h"
#include "support/forked_call.h"
#include "support/odd_files.h"

namespace sound_loaders_test {

namespace {

using sound_files::SoundTest;
using sound_files::waitFor;
using sound_files::WaveLayout;

std::string badFile(const std::filesystem::path& path, const char* text) {
  return "Bad File \"" + path.string() + "\": " + text + "\n";
}
std::string unsupported(const std::filesystem::path& path, const char* text) {
  return "Unsupported file \"" + path.string() + "\": " + text + "\n";
}

struct WaveCase {
  const char* what;
  void (*change)(WaveLayout&);
  const char* error;  // null: loads
  bool badFile;
};

const WaveCase kWaveCases[] = {
    {"8-bit mono", [](WaveLayout& s) { s.bits = 8; }, nullptr, false},
    {"16-bit stereo", [](WaveLayout& s) { s.channels = 2; }, nullptr, false},
    {"a longer PCM format chunk", [](WaveLayout& s) { s.extraFormatBytes = 2; }, nullptr, false},
    {"a fact chunk", [](WaveLayout& s) { s.chunkBeforeData = "fact"; }, nullptr, false},
    {"extensible, extension 22", [](WaveLayout& s) { s.formatTag = 0xFFFE; }, nullptr, false},
    {"not RIFF", [](WaveLayout& s) { s.riff = "RIFX"; }, "Can only load WAVE formats", false},
    {"not WAVE", [](WaveLayout& s) { s.wave = "AVI "; }, "Can only load WAVE formats", false},
    {"format 3", [](WaveLayout& s) { s.formatTag = 3; }, "Can only load WAVE files with PCM encoded data", false},
    {"extensible, extension 20",
     [](WaveLayout& s) {
       s.formatTag = 0xFFFE;
       s.extensionBytes = 20;
     },
     "Can only load WAVE files with PCM encoded data", false},
    {"extensible, float sub-format",
     [](WaveLayout& s) {
       s.formatTag = 0xFFFE;
       s.subFormat = 3;
     },
     "Can only load uncompressed PCM-formatted WAVE files", true},
    {"3 channels", [](WaveLayout& s) { s.channels = 3; }, "Can only load 1 or 2 channel WAVE files", true},
    {"0 channels", [](WaveLayout& s) { s.channels = 0; }, "Can only load 1 or 2 channel WAVE files", true},
    {"24 bits", [](WaveLayout& s) { s.bits = 24; }, "Can only load 8 or 16 bit sampled WAVE files", true},
    {"a LIST chunk before data", [](WaveLayout& s) { s.chunkBeforeData = "LIST"; }, "WAVE file missing data portion",
     true},
    {"data of 200,000,000 bytes", [](WaveLayout& s) { s.dataSizeField = 200000000; },
     "WAVE files greater than 128MB not supported", true},
    {"data size past the end", [](WaveLayout& s) { s.dataSizeField = 127000000; },
     "File did not contain sufficient samples", true},
    {"a partial last frame", [](WaveLayout& s) { s.extraDataBytes = 1; }, "Invalid size or buffer", true},
    {"a rate of 0", [](WaveLayout& s) { s.rate = 0; }, "Invalid size or buffer", true},
};

TEST_F(SoundTest, WaveFilesLoadOrFailWithTheirText) {
  // A full 16-bit stereo buffer first, so that a failed load could be seen
  // keeping the previous user's sound.
  WaveLayout big;
  big.channels = 2;
  big.frames = 22050;
  audio::ISoundSource* first = loadWave(big);
  ASSERT_NE(first, nullptr);
  first->drop();
  const uint32_t freeBuffers = device->freeBufferCount();

  for (const WaveCase& c : kWaveCases) {
    WaveLayout layout;
    c.change(layout);
    const std::filesystem::path path = folder / "case.wav";
    sound_files::writeFile(path, sound_files::waveBytes(layout));
    audio::ISoundSource* source = device->loadSoundSource(sound_files::widePath(path));
    if (c.error == nullptr) {
      EXPECT_NE(source, nullptr) << c.what;
      EXPECT_EQ(log.take(), "") << c.what;
      if (source == nullptr)
        continue;
      audio::ISound* sound = device->createSound(source, false, true);
      ASSERT_NE(sound, nullptr) << c.what;
      EXPECT_EQ(sound->getLength(), 100) << c.what;  // 2205 frames at 22,050 Hz
      sound->stop();
      source->drop();
    } else {
      EXPECT_EQ(source, nullptr) << c.what;
      EXPECT_EQ(log.take(), c.badFile ? badFile(path, c.error) : unsupported(path, c.error)) << c.what;
    }
    EXPECT_EQ(device->freeBufferCount(), freeBuffers) << c.what;  // the buffer went back
  }
}

TEST_F(SoundTest, LoaderIsChosenByTheExtension) {
  const std::string wave = sound_files::waveBytes(WaveLayout{});
  struct Case {
    const char* name;
    const char* logged;  // null: loads
  };
  const Case cases[] = {
      {"X.WAV", nullptr},
      {"x.Wave", nullptr},
      {"a.ogg.bak", "No loader can load \"a.ogg.bak\"\n"},
      {"wav", "No loader can load \"wav\"\n"},
  };
  for (const Case& c : cases) {
    const std::filesystem::path path = sound_files::writeFile(folder / c.name, wave);
    audio::ISoundSource* source = device->loadSoundSource(sound_files::widePath(path));
    EXPECT_EQ(source != nullptr, c.logged == nullptr) << c.name;
    EXPECT_EQ(log.take(), c.logged ? c.logged : "") << c.name;
    if (source != nullptr)
      source->drop();
  }
  // A WAVE file under an Ogg name is no Ogg stream.
  const std::filesystem::path disguised = sound_files::writeFile(folder / "wave.ogg", wave);
  EXPECT_EQ(device->loadSoundSource(sound_files::widePath(disguised)), nullptr);
  EXPECT_EQ(log.take(), badFile(disguised, "Unable to open ogg stream reader"));

  // What cannot be opened is none, silently; nothing blocks on a pipe.
  EXPECT_EQ(device->loadSoundSource(sound_files::widePath(folder / "missing.wav")), nullptr);
  makeOddFile(folder / "pipe.wav", OddFile::Pipe);
  makeOddFile(folder / "folder.ogg", OddFile::Folder);
  makeOddFile(folder / "zero.wav", OddFile::ZeroDeviceLink);
  audio::ISoundDevice* loader = device;
  const std::filesystem::path dir = folder;
  EXPECT_EQ(runInChild([loader, dir] {
              for (const char* name : {"pipe.wav", "folder.ogg", "zero.wav"})
                if (loader->loadSoundSource(sound_files::widePath(dir / name)) != nullptr)
                  return 1;
              return 0;
            }),
            0);
  EXPECT_EQ(log.take(), "");
  EXPECT_EQ(device->freeBufferCount(), device->bufferCount());
}

TEST_F(SoundTest, OggTonesLoadAndPlayToTheirEnd) {
  struct Case {
    const char* name;
    int lengthMs;
    int channels;
  };
  const Case cases[] = {{"tone_mono.ogg", 1000, 1}, {"tone_stereo.ogg", 300, 2}, {"tone_6ch.ogg", 100, 6}};
  for (const Case& c : cases) {
    audio::ISoundSource* source = device->loadSoundSource(sound_files::widePath(sound_files::tone(c.name)));
    ASSERT_NE(source, nullptr) << c.name << log.take();
    audio::ISound* sound = device->createSound(source, false, true);
    ASSERT_NE(sound, nullptr) << c.name;
    sound->grab();
    EXPECT_EQ(sound->getLength(), c.lengthMs) << c.name;
    sound->play();
    EXPECT_TRUE(sound->isPlaying()) << c.name;
    EXPECT_TRUE(waitFor([&] { return sound->isStopped(); })) << c.name;
    sound->drop();
    source->drop();
  }
  EXPECT_EQ(log.take(), "");

  const std::filesystem::path three = sound_files::tone("tone_3ch.ogg");
  EXPECT_EQ(device->loadSoundSource(sound_files::widePath(three)), nullptr);
  EXPECT_EQ(log.take(), unsupported(three, "Invalid vorbis format"));

  // Broken streams: the first page only, and junk behind a valid start.
  std::string mono;
  ASSERT_TRUE(readWholeFile(sound_files::tone("tone_mono.ogg").c_str(), mono));
  const std::filesystem::path cut = sound_files::writeFile(folder / "cut.ogg", mono.substr(0, 200));
  EXPECT_EQ(device->loadSoundSource(sound_files::widePath(cut)), nullptr);
  EXPECT_EQ(log.take(), badFile(cut, "Unable to open ogg stream reader"));
  std::string damaged = mono;
  for (std::size_t i = mono.size() / 2; i < mono.size(); ++i)
    damaged[i] = static_cast<char>(i * 7);
  const std::filesystem::path junk = sound_files::writeFile(folder / "junk.ogg", damaged);
  audio::ISoundSource* partial = device->loadSoundSource(sound_files::widePath(junk));
  if (partial != nullptr)
    partial->drop();  // what decodes before the damage may load
  // The played sounds hold their sources until the update thread lets go.
  EXPECT_TRUE(waitFor([&] { return device->freeBufferCount() == device->bufferCount(); }));
}

TEST(SurroundOrder, FramesAreReorderedForOpenAL) {
  // Two whole frames and a partial third, left alone.
  const int16_t in[14] = {10, 11, 12, 13, 14, 15, 20, 21, 22, 23, 24, 25, 30, 31};
  const int16_t out[14] = {10, 12, 11, 15, 13, 14, 20, 22, 21, 25, 23, 24, 30, 31};
  char bytes[sizeof in];
  std::memcpy(bytes, in, sizeof in);
  audio::reorderSurroundFrames(bytes, sizeof bytes);
  EXPECT_EQ(std::memcmp(bytes, out, sizeof out), 0);
}

// With the decoder's library name pointing nowhere: 0 when every Ogg load
// fails with the decoder's text and a WAVE file still loads.
int loadWithoutDecoder() {
  setenv("ALSOFT_DRIVERS", "null", 1);
  const std::filesystem::path folder = scratchDir();
  if (!audio::setVorbisLibraryName((folder / "libvorbisfile-missing.so.3").c_str()))
    return 2;
  LogCapture log;
  audio::ISoundDevice* device = audio::createSoundDevice(nullptr);
  int failures = 0;
  for (const char* name : {"tone_mono.ogg", "tone_stereo.ogg"}) {
    const std::filesystem::path path = sound_files::tone(name);
    failures += device->loadSoundSource(sound_files::widePath(path)) == nullptr &&
                log.take() == badFile(path, "Vorbis dlls failed to load");
  }
  const std::filesystem::path wave = sound_files::writeFile(folder / "still.wav", sound_files::waveBytes(WaveLayout{}));
  audio::ISoundSource* source = device->loadSoundSource(sound_files::widePath(wave));
  const bool waveLoads = source != nullptr && log.take().empty();
  if (source != nullptr)
    source->drop();
  device->drop();
  // The name is fixed once the first load looked for the library.
  const bool fixed = !audio::setVorbisLibraryName(audio::kVorbisLibraryName);
  return failures == 2 && waveLoads && fixed ? 0 : 1;
}

// The decoder is looked for once per process: this runs in a fresh one.
TEST(VorbisLibrary, MissingDecoderFailsOggLoadsOnly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(loadWithoutDecoder()), testing::ExitedWithCode(0), "");
}

}  // namespace

}  // namespace sound_loaders_test
