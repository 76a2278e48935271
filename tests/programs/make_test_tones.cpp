// Writes the Ogg Vorbis tones the sound tests load: a sine at 440 Hz in each
// file, with a fixed stream serial so the output is the same on every run.
//
//   make_test_tones <folder>
//     tone_mono.ogg      1 s,   1 channel,  44,100 Hz
//     tone_stereo.ogg    0.3 s, 2 channels, 44,100 Hz
//     tone_3ch.ogg       0.1 s, 3 channels, 22,050 Hz (a layout OpenAL has no format for)
//     tone_6ch.ogg       0.1 s, 6 channels, 22,050 Hz
#include <ogg/ogg.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSerial = 0x436f7276;
constexpr int kBlockFrames = 1024;

bool writePages(ogg_stream_state& stream, std::FILE* out, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
    if (std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out) !=
            static_cast<size_t>(page.header_len) ||
        std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out) != static_cast<size_t>(page.body_len))
      return false;
  }
  return true;
}

bool writeTone(const std::string& path, int channels, long rate, double seconds) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr)
    return false;
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, channels, rate, 0.4f) != 0) {
    std::fclose(out);
    return false;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_comment_add_tag(&comment, "TITLE", "test tone");
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, kSerial);

  ogg_packet header, commentPacket, codebook;
  vorbis_analysis_headerout(&dsp, &comment, &header, &commentPacket, &codebook);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &commentPacket);
  ogg_stream_packetin(&stream, &codebook);
  bool ok = writePages(stream, out, true);

  const long frames = static_cast<long>(seconds * static_cast<double>(rate));
  for (long done = 0; ok && done <= frames;) {
    const long count = done == frames ? 0 : std::min<long>(kBlockFrames, frames - done);
    if (count > 0) {
      float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
      for (long i = 0; i < count; ++i) {
        const float sample = static_cast<float>(0.5 * std::sin(2.0 * kPi * 440.0 * static_cast<double>(done + i) /
                                                               static_cast<double>(rate)));
        for (int c = 0; c < channels; ++c)
          buffer[c][i] = sample;
      }
    }
    vorbis_analysis_wrote(&dsp, static_cast<int>(count));  // 0 ends the stream
    done += count > 0 ? count : 1;
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        ok = ok && writePages(stream, out, false);
      }
    }
  }
  ok = ok && writePages(stream, out, true);

  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_tones <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok = writeTone(folder + "/tone_mono.ogg", 1, 44100, 1.0) &&
                  writeTone(folder + "/tone_stereo.ogg", 2, 44100, 0.3) &&
                  writeTone(folder + "/tone_3ch.ogg", 3, 22050, 0.1) &&
                  writeTone(folder + "/tone_6ch.ogg", 6, 22050, 0.1);
  if (!ok) {
    std::fprintf(stderr, "make_test_tones: could not write the tones into %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
