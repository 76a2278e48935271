#include "core/save_stream.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "core/log.h"
#include "core/utf16.h"

namespace {

const char kMagic[4] = {'$', 'q', 'v', 's'};
const char kSaveExtension[] = ".qvs";

// A file stream hands its bytes to the file in pieces of about this size, and
// reads the file through a window of this size.
constexpr std::size_t kFileBufferSize = 64 * 1024;

std::string savePath(const irr::core::stringc& base) { return std::string(base.c_str()) + kSaveExtension; }

// The save's name without its ".qvs" ending; throws when no file is named.
irr::core::stringc saveBaseName(const irr::core::stringc& name) {
  irr::core::stringc base = name;
  if (base.size() > 3 && narrowEndsWithNoCase(base, kSaveExtension))
    base = base.subString(0, base.size() - 4);
  const irr::s32 lastSeparator = std::max(base.findLast('/'), base.findLast('\\'));
  if (base.size() == 0 || lastSeparator == static_cast<irr::s32>(base.size()) - 1)
    throw kSaveErrorNoFileName;
  return base;
}

}  // namespace

void throwUnexpectedEOF() { throw kSaveErrorEOF; }

// ---------------------------------------------------------------------------
// Creation and clean-up

SaveStream::SaveStream(Mode mode) : mode_(mode) {}

SaveStream::~SaveStream() {
  if (mode_ == Mode::WriteFile && !writeClosed_)
    abandon();
}

std::unique_ptr<SaveStream> SaveStream::createInMemory() {
  std::unique_ptr<SaveStream> stream(new SaveStream(Mode::WriteMemory));
  stream->writeHeader();
  return stream;
}

std::unique_ptr<SaveStream> SaveStream::readFromMemory(const void* data, std::size_t size) {
  std::unique_ptr<SaveStream> stream(new SaveStream(Mode::Read));
  stream->cur_ = static_cast<const uint8_t*>(data);
  stream->end_ = stream->cur_ + (data ? size : 0);
  stream->readHeader();
  return stream;
}

std::unique_ptr<SaveStream> openSaveForWrite(const irr::core::stringc& name) {
  std::unique_ptr<SaveStream> stream(new SaveStream(SaveStream::Mode::WriteFile));
  stream->baseName_ = saveBaseName(name);
  // A temporary file of this writer's own: another writer of the same name
  // (in this process or another) never writes into it.
  const std::string path = savePath(stream->baseName_);
  if (const int error = stream->output_.createTemporaryFor(path)) {
    stream->writeClosed_ = true;  // nothing was created: nothing to remove
    logError("Cannot create a temporary file for the save file '%s': %s\n", path.c_str(),
             plat::errorText(error).c_str());
    throw kSaveErrorOpening;
  }
  stream->writeHeader();
  return stream;
}

std::unique_ptr<SaveStream> openSaveForRead(const irr::core::stringc& name) {
  std::unique_ptr<SaveStream> stream(new SaveStream(SaveStream::Mode::Read));
  stream->baseName_ = saveBaseName(name);
  const std::string path = savePath(stream->baseName_);
  if (const int error = stream->input_.open(path)) {
    logError("Cannot open the save file '%s': %s\n", path.c_str(), plat::errorText(error).c_str());
    throw kSaveErrorOpening;
  }
  stream->fileLeft_ = stream->input_.size();
  stream->readHeader();
  return stream;
}

void finishSaveFile(SaveStream& stream) {
  if (stream.mode_ != SaveStream::Mode::WriteFile)
    return;  // nothing on disk to commit
  if (stream.writeClosed_) {
    logError("Save file '%s' committed after it failed or was finished\n", stream.baseName_.c_str());
    throw kSaveErrorWriting;
  }
  stream.flushToFile();
  if (const int error = stream.output_.sync())
    stream.failWrite("sync", error);
  if (const int error = stream.output_.close())
    stream.failWrite("close", error);

  const std::string temporary = stream.output_.path();
  const std::string final = savePath(stream.baseName_);
  if (const int error = stream.output_.moveTo(final)) {
    logError("Error when renaming temp save file '%s' to '%s': %s\n", temporary.c_str(), final.c_str(),
             plat::errorText(error).c_str());
    stream.abandon();
    throw kSaveErrorRenaming;
  }
  stream.writeClosed_ = true;
  // The new save is complete on the disk; only the rename may not last a
  // crash without this, so the player is told.
  if (const int error = plat::syncFolderOf(final)) {
    logError("Save file '%s' written, but its folder could not be synced: %s\n", final.c_str(),
             plat::errorText(error).c_str());
    throw kSaveErrorWriting;
  }
}

void SaveStream::abandon() {
  writeClosed_ = true;
  buffer_.clear();
  output_.discard();
}

void SaveStream::failWrite(const char* step, int error) {
  logError("Error writing save file '%s' (%s): %s\n", output_.path().c_str(), step,
           plat::errorText(error).c_str());
  abandon();
  throw kSaveErrorWriting;
}

void SaveStream::failRead() {
  cur_ = end_;
  fileLeft_ = 0;
  throwUnexpectedEOF();
}

// ---------------------------------------------------------------------------
// Bytes in and out

void SaveStream::put(const void* data, std::size_t size) {
  if (mode_ == Mode::Read)
    throw std::logic_error("save stream: write on a reading stream");
  if (writeClosed_)
    throw kSaveErrorWriting;  // failed or committed: the file is gone or final
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  buffer_.insert(buffer_.end(), bytes, bytes + size);
  if (mode_ == Mode::WriteFile && buffer_.size() >= kFileBufferSize)
    flushToFile();
}

void SaveStream::flushToFile() {
  if (buffer_.empty())
    return;
  if (const int error = output_.write(buffer_.data(), buffer_.size()))
    failWrite("write", error);
  buffer_.clear();
}

bool SaveStream::refill() {
  if (fileLeft_ == 0)
    return false;
  window_.resize(kFileBufferSize);
  const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(fileLeft_, window_.size()));
  std::size_t got = 0;
  if (const int error = input_.read(window_.data(), want, got)) {
    logError("Error reading save file '%s': %s\n", savePath(baseName_).c_str(), plat::errorText(error).c_str());
    return false;
  }
  if (got == 0)
    return false;  // the file became shorter while it was read
  cur_ = window_.data();
  end_ = cur_ + got;
  fileLeft_ -= got;
  return true;
}

void SaveStream::take(void* out, std::size_t size) {
  if (mode_ != Mode::Read)
    throw std::logic_error("save stream: read on a writing stream");
  if (size > remaining())
    failRead();
  uint8_t* next = static_cast<uint8_t*>(out);
  while (size > 0) {
    if (cur_ == end_ && !refill())
      failRead();
    const std::size_t part = std::min<std::size_t>(size, static_cast<std::size_t>(end_ - cur_));
    if (next) {
      std::copy(cur_, cur_ + part, next);
      next += part;
    }
    cur_ += part;
    size -= part;
  }
}

void SaveStream::expectBytes(uint64_t count) {
  if (count > remaining())
    failRead();
}

void SaveStream::putLE(uint64_t value, unsigned bytes) {
  uint8_t out[8];
  for (unsigned i = 0; i < bytes; ++i)
    out[i] = static_cast<uint8_t>(value >> (8 * i));
  put(out, bytes);
}

uint64_t SaveStream::takeLE(unsigned bytes) {
  uint8_t in[8];
  take(in, bytes);
  uint64_t value = 0;
  for (unsigned i = 0; i < bytes; ++i)
    value |= static_cast<uint64_t>(in[i]) << (8 * i);
  return value;
}

void SaveStream::writeFloat(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  writeU32(bits);
}

void SaveStream::writeDouble(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  writeU64(bits);
}

void SaveStream::writeBytes(const void* data, std::size_t size) { put(data, size); }

float SaveStream::readFloat() {
  const uint32_t bits = readU32();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double SaveStream::readDouble() {
  const uint64_t bits = readU64();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void SaveStream::readBytes(void* out, std::size_t size) { take(out, size); }

void SaveStream::skipBytes(uint64_t size) {
  expectBytes(size);
  take(nullptr, static_cast<std::size_t>(size));
}

void SaveStream::readFloat2(float& a, float& b) {
  a = readFloat();
  b = readFloat();
}

void SaveStream::readFloat3(float& a, float& b, float& c) {
  readFloat2(a, b);
  c = readFloat();
}

void SaveStream::readFloat4(float& a, float& b, float& c, float& d) {
  readFloat3(a, b, c);
  d = readFloat();
}

// ---------------------------------------------------------------------------
// Header

void SaveStream::writeHeader() {
  writeBytes(kMagic, sizeof kMagic);
  writeU32(static_cast<uint32_t>(kVersion));
}

void SaveStream::readHeader() {
  char magic[sizeof kMagic];
  take(magic, sizeof magic);
  if (!std::equal(magic, magic + sizeof magic, kMagic))
    throw kSaveErrorNotASave;
  version_ = readI32();
  if (version_ > kVersion)
    throw kSaveErrorNewer;
  if (version_ < kOldestVersion)
    throw kSaveErrorOlder;
}

// ---------------------------------------------------------------------------
// Strings

void SaveStream::writeString(const irr::core::stringw& text) {
  // One unit beyond the limit shows whether the text must be cut.
  std::vector<uint16_t> units;
  units.reserve(std::min<std::size_t>(text.size(), kMaxStringLength) + 2);
  Utf16Units source(text.c_str(), text.c_str() + text.size());
  for (int32_t unit; units.size() <= kMaxStringLength && (unit = source.next()) >= 0;)
    units.push_back(static_cast<uint16_t>(unit));
  std::size_t length = units.size();
  if (length > kMaxStringLength) {
    length = kMaxStringLength;
    if (isHighSurrogate(units[length - 1]) && isLowSurrogate(units[length]))
      --length;
    logWarning("Text longer than %u characters cut to %zu characters in the save file\n", kMaxStringLength,
               length);
  }
  writeU16(static_cast<uint16_t>(length));
  if (length == 0)
    return;
  const bool wide = std::any_of(units.begin(), units.begin() + length, [](uint16_t u) { return u > 0xFF; });
  writeU8(wide ? 1 : 0);
  std::vector<uint8_t> bytes;
  bytes.reserve(wide ? 2 * length : length);
  for (std::size_t i = 0; i < length; ++i) {
    bytes.push_back(static_cast<uint8_t>(units[i]));
    if (wide)
      bytes.push_back(static_cast<uint8_t>(units[i] >> 8));
  }
  writeBytes(bytes.data(), bytes.size());
}

void SaveStream::readString(irr::core::stringw& out) {
  const uint16_t length = readU16();
  if (length == 0)
    return;
  const bool wide = readU8() != 0;
  const std::size_t size = wide ? 2u * length : length;
  expectBytes(size);
  std::vector<unsigned char> bytes(size);
  take(bytes.data(), size);
  irr::core::stringw text;
  if (wide) {
    appendUtf16LE(text, bytes.data(), length);
  } else {
    text.reserve(length + 1u);
    for (unsigned char b : bytes)
      text.append(static_cast<wchar_t>(b));
  }
  out = text;
}

void SaveStream::writeNarrowString(const irr::core::stringc& text) {
  std::size_t length = text.size();
  if (length > kMaxStringLength) {
    length = kMaxStringLength;
    logWarning("Text longer than %u characters cut to %zu characters in the save file\n", kMaxStringLength,
               length);
  }
  writeU16(static_cast<uint16_t>(length));
  writeBytes(text.c_str(), length);
}

void SaveStream::readNarrowString(irr::core::stringc& out) {
  const uint16_t length = readU16();
  if (length == 0)
    return;
  expectBytes(length);
  std::vector<char> bytes(length);
  take(bytes.data(), length);
  out = irr::core::stringc(bytes.data(), length);
}

// ---------------------------------------------------------------------------
// Packed values and empire IDs

void SaveStream::writePackedUInt(uint32_t value) {
  uint8_t out[5];
  std::size_t size = 1;
  uint8_t mask = 0;
  for (unsigned k = 0; k < 4; ++k) {
    const uint8_t byte = static_cast<uint8_t>(value >> (8 * k));
    if (byte != 0) {
      mask |= static_cast<uint8_t>(1u << k);
      out[size++] = byte;
    }
  }
  out[0] = mask;
  writeBytes(out, size);
}

uint32_t SaveStream::readPackedUInt() {
  const uint8_t mask = readU8();
  uint32_t value = 0;
  for (unsigned k = 0; k < 4; ++k)
    if (mask & (1u << k))
      value |= static_cast<uint32_t>(readU8()) << (8 * k);
  return value;
}

EmpireID SaveStream::readEmpireId() {
  if (version_ >= kByteEmpireIdVersion)
    return readU8();
  return static_cast<EmpireID>(readI32() & 0xFF);
}

void SaveStream::writePackedFloats(const float* values, unsigned count) {
  uint8_t mask = 0;
  for (unsigned k = 0; k < count; ++k)
    if (values[k] != 0.0f)  // a NaN is unequal to everything, so it is kept
      mask |= static_cast<uint8_t>(1u << k);
  writeU8(mask);
  for (unsigned k = 0; k < count; ++k)
    if (mask & (1u << k))
      writeFloat(values[k]);
}

void SaveStream::readPackedFloats(float* values, unsigned count) {
  const uint8_t mask = readU8();
  for (unsigned k = 0; k < count; ++k)
    values[k] = (mask & (1u << k)) ? readFloat() : 0.0f;
}

void SaveStream::writePackedFloats4(const float (&values)[4]) { writePackedFloats(values, 4); }
void SaveStream::readPackedFloats4(float (&values)[4]) { readPackedFloats(values, 4); }
void SaveStream::writePackedFloats8(const float (&values)[8]) { writePackedFloats(values, 8); }
void SaveStream::readPackedFloats8(float (&values)[8]) { readPackedFloats(values, 8); }

void SaveStream::readMarker(const SaveFileError& wrong) {
  if (readU32() != kSectionMarker)
    throw wrong;
}

// ---------------------------------------------------------------------------
// Names and the description

bool narrowEndsWithNoCase(const irr::core::stringc& text, const irr::core::stringc& suffix) {
  if (suffix.size() > text.size())
    return false;
  auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  const irr::u32 offset = text.size() - suffix.size();
  for (irr::u32 i = 0; i < suffix.size(); ++i)
    if (fold(text[offset + i]) != fold(suffix[i]))
      return false;
  return true;
}

void writeSaveDescription(SaveStream& stream, const irr::core::stringw* activeEmpireName,
                          const irr::core::stringw& localDateTime) {
  stream.writeString(activeEmpireName ? *activeEmpireName : irr::core::stringw(L"Unknown"));
  stream.writeString(localDateTime);
}

irr::core::stringw readSaveDescription(SaveStream& stream) {
  if (stream.version() < SaveStream::kDescriptionVersion)
    return L"Old save";
  irr::core::stringw empireName;
  irr::core::stringw dateText;
  stream.readString(empireName);
  stream.readString(dateText);
  return empireName + L" - " + dateText;
}
