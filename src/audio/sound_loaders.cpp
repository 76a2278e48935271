#include "audio/sound_loaders.h"

#include <IReadFile.h>
#include <al.h>
#include <dlfcn.h>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/file_access.h"
#include "core/log.h"
#include "core/utf8.h"
#include "platform/thread.h"

namespace audio {

namespace {

// ---------------------------------------------------------------------------
// Shared

// The error of a failed alBufferData, as a load error.
[[noreturn]] void throwBufferError(ALenum error, bool badFile) {
  switch (error) {
    case AL_INVALID_NAME:
      throw SLoadError("Buffer was invalid", badFile);
    case AL_INVALID_ENUM:
      throw SLoadError("Invalid format", badFile);
    case AL_INVALID_VALUE:
      throw SLoadError("Invalid size or buffer", badFile);
    case AL_OUT_OF_MEMORY:
      throw SLoadError("Buffer too large", badFile);
    default:
      throw SLoadError("Unspecified error", badFile);
  }
}

// ---------------------------------------------------------------------------
// WAVE
//
// Layout read (little-endian; tags are 4 ASCII bytes):
//   "RIFF" u32 size "WAVE"
//   "fmt " u32 chunk size, then
//     PCM (tag 1):            u16 tag, u16 channels, u32 rate, u32 byte rate,
//                             u16 block align, u16 bits; the rest of the chunk skipped
//     extensible (0xFFFE):    the same 16 bytes, u16 extension size (22),
//                             u16 valid bits, u32 channel mask, 16-byte sub-format
//                             whose first u16 is the format tag
//   optional "fact" u32 size, skipped
//   "data" u32 size, the samples

constexpr uint16_t kWavePcm = 1;
constexpr uint16_t kWaveExtensible = 0xFFFE;
constexpr uint16_t kExtensionBytes = 22;

class WaveReader {
 public:
  explicit WaveReader(irr::io::IReadFile* file) : file_(file) {}

  // False when the next four bytes are not `expected`.
  bool tag(const char* expected) {
    char got[4] = {};
    return file_->read(got, 4) == 4 && std::memcmp(got, expected, 4) == 0;
  }
  // A number; missing bytes read as 0 (`complete` turns false).
  uint16_t u16() {
    uint8_t b[2] = {};
    complete = file_->read(b, 2) == 2 && complete;
    return static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  uint32_t u32() {
    uint8_t b[4] = {};
    complete = file_->read(b, 4) == 4 && complete;
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
  }
  void skip(long bytes) { file_->seek(bytes, true); }
  long remaining() const { return file_->getSize() - file_->getPos(); }

  bool complete = true;

 private:
  irr::io::IReadFile* file_;
};

struct WaveFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bits = 0;
};

void readFormatRecord(WaveReader& in, WaveFormat& format) {
  format.tag = in.u16();
  format.channels = in.u16();
  format.rate = in.u32();
  format.byteRate = in.u32();
  format.blockAlign = in.u16();
  format.bits = in.u16();
}

// ---------------------------------------------------------------------------
// Vorbis decoder, loaded at run time

struct VorbisLibrary {
  decltype(&::ov_clear) clear = nullptr;
  decltype(&::ov_read) read = nullptr;
  decltype(&::ov_pcm_total) pcmTotal = nullptr;
  decltype(&::ov_info) info = nullptr;
  decltype(&::ov_comment) comment = nullptr;
  decltype(&::ov_open_callbacks) openCallbacks = nullptr;
  bool available = false;
};

std::once_flag vorbisOnce;
std::mutex vorbisNameLock;
std::string vorbisLibraryName = kVorbisLibraryName;
bool vorbisLoadTried = false;  // under vorbisNameLock
VorbisLibrary vorbis;

template <typename Function>
bool resolve(void* library, const char* name, Function& out) {
  out = reinterpret_cast<Function>(dlsym(library, name));
  return out != nullptr;
}

void loadVorbisLibrary() {
  std::string name;
  {
    std::lock_guard<std::mutex> guard(vorbisNameLock);
    vorbisLoadTried = true;
    name = vorbisLibraryName;
  }
  void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr)
    return;
  // Never unloaded: a music thread may decode until the process ends.
  vorbis.available = resolve(library, "ov_clear", vorbis.clear) && resolve(library, "ov_read", vorbis.read) &&
                     resolve(library, "ov_pcm_total", vorbis.pcmTotal) && resolve(library, "ov_info", vorbis.info) &&
                     resolve(library, "ov_comment", vorbis.comment) &&
                     resolve(library, "ov_open_callbacks", vorbis.openCallbacks);
}

// The decoder, loaded on first use; null when it is not available.
const VorbisLibrary* vorbisLibrary() {
  std::call_once(vorbisOnce, loadVorbisLibrary);
  return vorbis.available ? &vorbis : nullptr;
}

// Stream callbacks on the opened engine file.
size_t oggRead(void* buffer, size_t size, size_t count, void* file) {
  const size_t bytes = size * count;
  if (size != 0 && bytes / size != count)
    return 0;
  const irr::s32 got = static_cast<irr::io::IReadFile*>(file)->read(
      buffer, static_cast<irr::u32>(bytes > 0x7FFFFFFFu ? 0x7FFFFFFFu : bytes));
  return got > 0 ? static_cast<size_t>(got) : 0;
}

int oggSeek(void* file, ogg_int64_t offset, int whence) {
  auto* in = static_cast<irr::io::IReadFile*>(file);
  bool moved = false;
  switch (whence) {
    case SEEK_SET:
      moved = in->seek(static_cast<long>(offset), false);
      break;
    case SEEK_CUR:
      moved = in->seek(static_cast<long>(offset), true);
      break;
    case SEEK_END:
      moved = in->seek(in->getSize() + static_cast<long>(offset), false);
      break;
    default:
      break;
  }
  return moved ? 0 : -1;  // the decoder takes -1 as a failed seek
}

int oggClose(void*) { return 1; }

long oggTell(void* file) { return static_cast<irr::io::IReadFile*>(file)->getPos(); }

// An opened stream, cleared on every way out.
class OggStream {
 public:
  explicit OggStream(const VorbisLibrary& library) : library_(library) {}
  ~OggStream() {
    if (open_)
      library_.clear(&file);
  }
  OggStream(const OggStream&) = delete;
  OggStream& operator=(const OggStream&) = delete;

  bool open(irr::io::IReadFile* source) {
    const ov_callbacks callbacks = {oggRead, oggSeek, oggClose, oggTell};
    // A failed open cleans up after itself.
    open_ = library_.openCallbacks(source, &file, nullptr, 0, callbacks) == 0;
    return open_;
  }

  // Fills `work` (of `capacity` bytes) with 16-bit little-endian signed
  // samples until it is full or the stream ends or fails; the bytes gathered.
  std::size_t decode(char* work, std::size_t capacity, std::size_t frameBytes) {
    std::size_t gathered = 0;
    int section = 0;
    while (capacity - gathered >= frameBytes) {
      const long got = library_.read(&file, work + gathered, static_cast<int>(capacity - gathered), 0, 2, 1, &section);
      if (got <= 0)
        break;
      gathered += static_cast<std::size_t>(got);
    }
    return gathered;
  }

  OggVorbis_File file;

 private:
  const VorbisLibrary& library_;
  bool open_ = false;
};

struct DecodedChunk {
  std::unique_ptr<char[]> bytes;
  std::size_t size;
};

// ---------------------------------------------------------------------------
// Choosing a loader

bool endsWithIgnoringCase(const irr::core::stringw& text, const wchar_t* suffix) {
  const std::size_t length = std::wcslen(suffix);
  if (text.size() < length)
    return false;
  const wchar_t* tail = text.c_str() + text.size() - length;
  for (std::size_t i = 0; i < length; ++i) {
    wchar_t c = tail[i];
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != suffix[i])
      return false;
  }
  return true;
}

// The last part of a path: the file's name with its extension.
irr::core::stringw fileNameOf(const irr::core::stringw& path) {
  irr::s32 slash = path.findLast(L'/');
  const irr::s32 backslash = path.findLast(L'\\');
  if (backslash > slash)
    slash = backslash;
  return path.subString(static_cast<irr::u32>(slash + 1), path.size());
}

}  // namespace

// ---------------------------------------------------------------------------

CSSWave::CSSWave(irr::io::IReadFile* file, ISoundDevice* device) : CSoundSource(device) {
  file->seek(0, false);
  WaveReader in(file);
  if (!in.tag("RIFF"))
    throw SLoadError("Can only load WAVE formats", false);
  in.skip(4);
  if (!in.tag("WAVE") || !in.tag("fmt "))
    throw SLoadError("Can only load WAVE formats", false);
  const uint32_t chunkBytes = in.u32();

  WaveFormat format;
  const uint16_t tag = in.u16();
  in.skip(-2);
  if (tag == kWavePcm) {
    readFormatRecord(in, format);
    if (chunkBytes > 16)
      in.skip(static_cast<long>(chunkBytes) - 16);
  } else if (tag == kWaveExtensible) {
    readFormatRecord(in, format);
    if (in.u16() != kExtensionBytes)
      throw SLoadError("Can only load WAVE files with PCM encoded data", false);
    in.skip(6);  // valid bits and channel mask
    format.tag = in.u16();
    in.skip(14);  // the rest of the sub-format identifier
  } else {
    throw SLoadError("Can only load WAVE files with PCM encoded data", false);
  }

  if (format.tag != kWavePcm)
    throw SLoadError("Can only load uncompressed PCM-formatted WAVE files", true);
  if (format.channels < 1 || format.channels > 2)
    throw SLoadError("Can only load 1 or 2 channel WAVE files", true);
  if (format.bits != 8 && format.bits != 16)
    throw SLoadError("Can only load 8 or 16 bit sampled WAVE files", true);

  bool hasData = in.tag("data");
  if (!hasData) {
    file->seek(-4, true);
    if (in.tag("fact")) {
      in.skip(static_cast<long>(in.u32()));
      hasData = in.tag("data");
    }
  }
  in.complete = true;
  const uint32_t dataBytes = hasData ? in.u32() : 0;
  if (!hasData || !in.complete)
    throw SLoadError("WAVE file missing data portion", true);
  if (dataBytes > kMaxWaveDataBytes)
    throw SLoadError("WAVE files greater than 128MB not supported", true);
  // Nothing is allocated for samples the file does not hold.
  if (in.remaining() < static_cast<long>(dataBytes))
    throw SLoadError("File did not contain sufficient samples", true);
  std::unique_ptr<char[]> data(new (std::nothrow) char[dataBytes]);
  if (data == nullptr)
    throw SLoadError("Out of memory", true);
  if (dataBytes > 0 && file->read(data.get(), dataBytes) != static_cast<irr::s32>(dataBytes))
    throw SLoadError("File did not contain sufficient samples", true);

  // OpenAL refuses a partial last frame and a rate of 0 and leaves the buffer
  // as it was (empty, or the previous user's sound): both are broken files.
  const uint32_t frameBytes = format.channels * (format.bits / 8u);
  if (dataBytes % frameBytes != 0 || format.rate == 0 || format.rate > 0x7FFFFFFFu)
    throw SLoadError("Invalid size or buffer", true);
  const ALenum alFormat = format.channels == 2 ? (format.bits == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16)
                                               : (format.bits == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16);
  alGetError();
  alBufferData(getBuffer(), alFormat, data.get(), static_cast<ALsizei>(dataBytes), static_cast<ALsizei>(format.rate));
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR)
    throwBufferError(error, true);
}

CSSOgg::CSSOgg(irr::io::IReadFile* file, ISoundDevice* device) : CSoundSource(device) {
  const VorbisLibrary* library = vorbisLibrary();
  if (library == nullptr)
    throw SLoadError("Vorbis dlls failed to load", true);
  file->seek(0, false);
  OggStream stream(*library);
  if (!stream.open(file))
    throw SLoadError("Unable to open ogg stream reader", true);
  const vorbis_info* info = library->info(&stream.file, -1);
  if (info == nullptr)
    throw SLoadError("Failed to read vorbis data", false);

  ALenum format = 0;
  switch (info->channels) {
    case 1:
      format = AL_FORMAT_MONO16;
      break;
    case 2:
      format = AL_FORMAT_STEREO16;
      break;
    case 4:
      format = alGetEnumValue("AL_FORMAT_QUAD16");
      break;
    case 6:
      format = alGetEnumValue("AL_FORMAT_51CHN16");
      break;
    default:
      break;
  }
  if (format == 0)
    throw SLoadError("Invalid vorbis format", false);
  const std::size_t frameBytes = static_cast<std::size_t>(info->channels) * 2;
  const long rate = info->rate;

  std::unique_ptr<char[]> work(new (std::nothrow) char[kOggWorkBytes]);
  if (work == nullptr)
    throw SLoadError("Insufficient memory", false);
  std::vector<DecodedChunk> chunks;
  std::size_t total = 0;
  for (;;) {
    const std::size_t size = stream.decode(work.get(), kOggWorkBytes, frameBytes);
    // A chunk that would pass the limit is dropped with the rest of the stream.
    if (size == 0 || total + size > kMaxDecodedOggBytes)
      break;
    if (info->channels == 6)
      reorderSurroundFrames(work.get(), size);
    std::unique_ptr<char[]> copy(new (std::nothrow) char[size]);
    if (copy == nullptr) {
      // Short of memory: the work buffer itself becomes the last chunk.
      chunks.push_back(DecodedChunk{std::move(work), size});
      total += size;
      break;
    }
    std::memcpy(copy.get(), work.get(), size);
    chunks.push_back(DecodedChunk{std::move(copy), size});
    total += size;
    plat::sleepMs(0);
  }
  work.reset();

  const std::size_t usable = total - total % frameBytes;
  std::unique_ptr<char[]> block(new (std::nothrow) char[total > 0 ? total : 1]);
  if (block == nullptr)
    throw SLoadError("Out of memory", false);
  std::size_t at = 0;
  for (DecodedChunk& chunk : chunks) {
    std::memcpy(block.get() + at, chunk.bytes.get(), chunk.size);
    at += chunk.size;
    chunk.bytes.reset();
    plat::sleepMs(0);
  }
  chunks.clear();

  alGetError();
  alBufferData(getBuffer(), format, block.get(), static_cast<ALsizei>(usable), static_cast<ALsizei>(rate));
  block.reset();
  const ALenum error = alGetError();
  if (error != AL_NO_ERROR)
    throwBufferError(error, false);
}

void reorderSurroundFrames(char* samples, std::size_t bytes) {
  static constexpr int kFrom[6] = {0, 2, 1, 5, 3, 4};
  constexpr std::size_t kFrameBytes = 6 * sizeof(int16_t);
  for (std::size_t at = 0; at + kFrameBytes <= bytes; at += kFrameBytes) {
    int16_t in[6];
    int16_t out[6];
    std::memcpy(in, samples + at, kFrameBytes);
    for (int i = 0; i < 6; ++i)
      out[i] = in[kFrom[i]];
    std::memcpy(samples + at, out, kFrameBytes);
  }
}

bool setVorbisLibraryName(const char* name) {
  std::lock_guard<std::mutex> guard(vorbisNameLock);
  if (vorbisLoadTried || name == nullptr)
    return false;
  vorbisLibraryName = name;
  return true;
}

ISoundSource* loadSoundFile(ISoundDevice* device, const irr::core::stringw& path) {
  irr::io::IReadFile* file = openEngineFile(wideToUtf8(std::wstring(path.c_str(), path.size())).c_str());
  if (file == nullptr)
    return nullptr;
  ISoundSource* source = nullptr;
  try {
    if (endsWithIgnoringCase(path, L".wav") || endsWithIgnoringCase(path, L".wave"))
      source = new CSSWave(file, device);
    else if (endsWithIgnoringCase(path, L".ogg"))
      source = new CSSOgg(file, device);
    else
      logError("No loader can load \"%ls\"\n", fileNameOf(path).c_str());
  } catch (const SLoadError& error) {
    if (error.badFile)
      logError("Bad File \"%ls\": %s\n", path.c_str(), error.what());
    else
      logError("Unsupported file \"%ls\": %s\n", path.c_str(), error.what());
  } catch (const std::bad_alloc&) {
    logError("Bad File \"%ls\": %s\n", path.c_str(), "Out of memory");
  }
  file->drop();
  return source;
}

}  // namespace audio
