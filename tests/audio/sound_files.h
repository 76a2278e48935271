// Sound files and a null-backend device for the sound tests.
//
// WAVE files are written byte by byte from a description, so each case can
// break one field; the Ogg Vorbis tones are written at build time
// (tests/programs/make_test_tones.cpp) into CORVANE_TEST_TONES.
#pragma once

#include <alc.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "audio/sound.h"
#include "audio/sound_device.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

namespace sound_files {

// One WAVE file. The defaults give a valid 16-bit mono PCM file of
// `frames` frames of a square wave.
struct WaveLayout {
  std::string riff = "RIFF";
  std::string wave = "WAVE";
  uint16_t formatTag = 1;  // 0xFFFE: extensible
  uint16_t channels = 1;
  uint32_t rate = 22050;
  uint16_t bits = 16;
  uint16_t extensionBytes = 22;  // extensible only
  uint16_t subFormat = 1;        // extensible only
  uint32_t extraFormatBytes = 0;  // behind the 16-byte PCM record
  std::string chunkBeforeData;   // e.g. "fact" or "LIST", with 4 bytes of content
  uint32_t frames = 2205;
  int64_t dataSizeField = -1;    // the size written into "data"; -1: the real size
  uint32_t extraDataBytes = 0;   // samples behind the whole frames
};

inline void put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
inline void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string waveBytes(const WaveLayout& layout) {
  const uint32_t frameBytes = layout.channels * (layout.bits / 8u);
  std::string samples;
  for (uint32_t i = 0; i < layout.frames * frameBytes + layout.extraDataBytes; ++i)
    samples += static_cast<char>((i / 64) % 2 ? 0x40 : 0xC0);

  std::string format;
  const bool extensible = layout.formatTag == 0xFFFE;
  put16(format, layout.formatTag);
  put16(format, layout.channels);
  put32(format, layout.rate);
  put32(format, layout.rate * frameBytes);
  put16(format, static_cast<uint16_t>(frameBytes));
  put16(format, layout.bits);
  if (extensible) {
    put16(format, layout.extensionBytes);
    put16(format, layout.bits);       // valid bits
    put32(format, 0x3);             // channel mask
    put16(format, layout.subFormat);  // first two bytes of the sub-format identifier
    format += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  } else {
    format += std::string(layout.extraFormatBytes, '\0');
  }

  std::string body = layout.wave;
  body += "fmt ";
  put32(body, static_cast<uint32_t>(format.size()));
  body += format;
  if (!layout.chunkBeforeData.empty()) {
    body += layout.chunkBeforeData;
    put32(body, 4);
    body += "abcd";
  }
  body += "data";
  put32(body, layout.dataSizeField >= 0 ? static_cast<uint32_t>(layout.dataSizeField)
                                      : static_cast<uint32_t>(samples.size()));
  body += samples;

  std::string file = layout.riff;
  put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

inline std::filesystem::path writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline irr::core::stringw widePath(const std::filesystem::path& path) {
  return irr::core::stringw(path.string().c_str());
}

// A built-in tone by file name ("tone_mono.ogg", ...).
inline std::filesystem::path tone(const char* name) { return std::filesystem::path(CORVANE_TEST_TONES) / name; }

// Polls `condition` until it holds; false when `limit` passed first (a
// safety net only: the condition is expected long before).
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A device on OpenAL Soft's null backend (chosen before the process's first
// OpenAL call), with sound enabled, and a scratch folder for files.
class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ALSOFT_DRIVERS", "null", 1);
    device = static_cast<audio::CSoundDevice*>(audio::createSoundDevice(nullptr));
    device->setVolume(1.0f);
    folder = scratchDir();
  }
  // The device goes once the update thread has let go of the last sound
  // that holds one of its sources; the next test's device must not meet it.
  void TearDown() override {
    if (device != nullptr)
      device->drop();
    EXPECT_TRUE(waitFor([] { return audio::CSoundDevice::liveCount() == 0; }));
  }

  // Loads a WAVE file written from `layout`.
  audio::ISoundSource* loadWave(const WaveLayout& layout, const char* name = "sound.wav") {
    return device->loadSoundSource(widePath(writeFile(folder / name, waveBytes(layout))));
  }

  audio::CSoundDevice* device = nullptr;
  std::filesystem::path folder;
  LogCapture log;
};

}  // namespace sound_files
