#include "platform/bit_stream.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace RakNet {

namespace {

// A vector no longer than this is written as its length alone.
constexpr float kVectorMinLength = 0.00001f;
// Scale of a unit vector component in its 16-bit form.
constexpr double kUnitScale = 32767.0;

uint16_t quantiseUnit(double component) {
  if (std::isnan(component))
    return 0;
  const double clamped = std::min(1.0, std::max(-1.0, component));
  return static_cast<uint16_t>(static_cast<int16_t>(std::lround(clamped * kUnitScale)));
}

float unitFromQuantised(uint32_t bits) {
  const double unit = static_cast<int16_t>(static_cast<uint16_t>(bits)) / kUnitScale;
  return static_cast<float>(std::max(-1.0, unit));
}

uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

BitStream::BitStream() = default;

BitStream::BitStream(const unsigned char* data, std::size_t lengthInBytes, bool copyData) {
  if (data == nullptr || lengthInBytes == 0)
    return;
  if (copyData) {
    owned_.assign(data, data + lengthInBytes);
  } else {
    view_ = data;
    viewBytes_ = lengthInBytes;
  }
  writeOffset_ = lengthInBytes * 8;
}

void BitStream::Reset() {
  owned_.clear();  // keeps the capacity; regrown bytes start at 0
  view_ = nullptr;
  viewBytes_ = 0;
  writeOffset_ = 0;
  readOffset_ = 0;
  failed_ = false;
}

// ---------------------------------------------------------------------------
// Buffer and bit primitives

void BitStream::reserveBits(BitSize bits) {
  if (view_ != nullptr) {
    owned_.assign(view_, view_ + viewBytes_);
    view_ = nullptr;
    viewBytes_ = 0;
  }
  const std::size_t bytes = (bits + 7) / 8;
  if (owned_.size() < bytes)
    owned_.resize(bytes);
}

void BitStream::writeLow(uint32_t value, unsigned count) {
  if (count == 0)
    return;
  reserveBits(writeOffset_ + count);
  unsigned char* bytes = owned_.data();
  while (count > 0) {
    const std::size_t index = writeOffset_ >> 3;
    const unsigned room = 8 - static_cast<unsigned>(writeOffset_ & 7);
    const unsigned n = count < room ? count : room;
    const unsigned shift = room - n;
    const unsigned low = (1u << n) - 1u;
    const unsigned chunk = (value >> (count - n)) & low;
    bytes[index] = static_cast<unsigned char>((bytes[index] & ~(low << shift)) | (chunk << shift));
    writeOffset_ += n;
    count -= n;
  }
}

uint32_t BitStream::readLow(unsigned count) {
  const unsigned char* bytes = data();
  uint32_t value = 0;
  while (count > 0) {
    const std::size_t index = readOffset_ >> 3;
    const unsigned room = 8 - static_cast<unsigned>(readOffset_ & 7);
    const unsigned n = count < room ? count : room;
    const unsigned shift = room - n;
    value = (value << n) | ((bytes[index] >> shift) & ((1u << n) - 1u));
    readOffset_ += n;
    count -= n;
  }
  return value;
}

bool BitStream::fail() {
  failed_ = true;
  readOffset_ = writeOffset_;
  return false;
}

bool BitStream::take(BitSize count) {
  if (failed_ || count > GetNumberOfUnreadBits())
    return fail();
  return true;
}

bool BitStream::takeBytes(std::size_t count) {
  if (failed_ || count > GetNumberOfUnreadBits() / 8)
    return fail();
  return true;
}

// ---------------------------------------------------------------------------
// Writing

void BitStream::Write(bool value) { writeLow(value ? 1u : 0u, 1); }
void BitStream::Write0() { writeLow(0, 1); }
void BitStream::Write1() { writeLow(1, 1); }
void BitStream::Write(uint8_t value) { writeLow(value, 8); }
void BitStream::Write(int8_t value) { writeLow(static_cast<uint8_t>(value), 8); }
void BitStream::Write(uint16_t value) { writeLow(value, 16); }
void BitStream::Write(int16_t value) { writeLow(static_cast<uint16_t>(value), 16); }
void BitStream::Write(uint32_t value) { writeLow(value, 32); }
void BitStream::Write(int32_t value) { writeLow(static_cast<uint32_t>(value), 32); }
void BitStream::Write(float value) { writeLow(floatBits(value), 32); }

void BitStream::Write(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  writeLow(static_cast<uint32_t>(bits >> 32), 32);
  writeLow(static_cast<uint32_t>(bits), 32);
}

void BitStream::WriteBits(const unsigned char* input, BitSize numberOfBits, bool rightAlignedBits) {
  const std::size_t whole = numberOfBits / 8;
  if ((writeOffset_ & 7) == 0 && whole > 0) {
    reserveBits(writeOffset_ + whole * 8);
    std::memcpy(owned_.data() + writeOffset_ / 8, input, whole);
    writeOffset_ += whole * 8;
  } else {
    for (std::size_t i = 0; i < whole; ++i)
      writeLow(input[i], 8);
  }
  const unsigned rest = static_cast<unsigned>(numberOfBits % 8);
  if (rest != 0) {
    const unsigned last = input[whole];
    writeLow(rightAlignedBits ? last : last >> (8 - rest), rest);
  }
}

void BitStream::WriteAlignedBytes(const unsigned char* input, std::size_t numberOfBytes) {
  AlignWriteToByteBoundary();
  WriteBits(input, numberOfBytes * 8);
}

void BitStream::WriteReversedBlock(const void* block, std::size_t numberOfBytes) {
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  for (std::size_t i = numberOfBytes; i > 0; --i)
    writeLow(bytes[i - 1], 8);
}

void BitStream::WriteCompressed(uint32_t value) {
  const unsigned bytes = value > 0xFFFFFFu ? 4 : value > 0xFFFFu ? 3 : value > 0xFFu ? 2 : 1;
  writeLow(bytes - 1, 2);
  writeLow(value, bytes * 8);
}

void BitStream::WriteVector(float x, float y, float z) {
  const double dx = x, dy = y, dz = z;
  const double length = std::sqrt(dx * dx + dy * dy + dz * dz);
  // A length beyond the float range (or not a number) must not be narrowed
  // as it is.
  const float written = length <= FLT_MAX ? static_cast<float>(length) : (std::isnan(length) ? NAN : INFINITY);
  Write(written);
  if (!(written > kVectorMinLength))
    return;
  writeLow(quantiseUnit(dx / length), 16);
  writeLow(quantiseUnit(dy / length), 16);
  writeLow(quantiseUnit(dz / length), 16);
}

void BitStream::AlignWriteToByteBoundary() { writeLow(0, static_cast<unsigned>((8 - (writeOffset_ & 7)) & 7)); }

// ---------------------------------------------------------------------------
// Reading

template <typename T>
bool BitStream::readInteger(T& value, unsigned count) {
  if (!take(count))
    return false;
  value = static_cast<T>(readLow(count));
  return true;
}

bool BitStream::Read(bool& value) {
  uint8_t bit;
  if (!readInteger(bit, 1))
    return false;
  value = bit != 0;
  return true;
}

bool BitStream::Read(uint8_t& value) { return readInteger(value, 8); }
bool BitStream::Read(int8_t& value) { return readInteger(value, 8); }
bool BitStream::Read(uint16_t& value) { return readInteger(value, 16); }
bool BitStream::Read(int16_t& value) { return readInteger(value, 16); }
bool BitStream::Read(uint32_t& value) { return readInteger(value, 32); }
bool BitStream::Read(int32_t& value) { return readInteger(value, 32); }

bool BitStream::Read(float& value) {
  uint32_t bits;
  if (!Read(bits))
    return false;
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

bool BitStream::Read(double& value) {
  if (!take(64))
    return false;
  const uint64_t high = readLow(32);
  const uint64_t bits = (high << 32) | readLow(32);
  std::memcpy(&value, &bits, sizeof value);
  return true;
}

bool BitStream::ReadBits(unsigned char* output, BitSize numberOfBits, bool alignBitsToRight) {
  if (!take(numberOfBits))
    return false;
  const std::size_t whole = numberOfBits / 8;
  if ((readOffset_ & 7) == 0 && whole > 0) {
    std::memcpy(output, data() + readOffset_ / 8, whole);
    readOffset_ += whole * 8;
  } else {
    for (std::size_t i = 0; i < whole; ++i)
      output[i] = static_cast<unsigned char>(readLow(8));
  }
  const unsigned rest = static_cast<unsigned>(numberOfBits % 8);
  if (rest != 0) {
    const uint32_t last = readLow(rest);
    output[whole] = static_cast<unsigned char>(alignBitsToRight ? last : last << (8 - rest));
  }
  return true;
}

bool BitStream::ReadAlignedBytes(unsigned char* output, std::size_t numberOfBytes) {
  AlignReadToByteBoundary();
  if (!takeBytes(numberOfBytes))
    return false;
  return ReadBits(output, numberOfBytes * 8);
}

bool BitStream::ReadReversedBlock(void* block, std::size_t numberOfBytes) {
  if (!takeBytes(numberOfBytes))
    return false;
  unsigned char* bytes = static_cast<unsigned char*>(block);
  for (std::size_t i = numberOfBytes; i > 0; --i)
    bytes[i - 1] = static_cast<unsigned char>(readLow(8));
  return true;
}

bool BitStream::ReadCompressed(uint32_t& value) {
  if (!take(2))
    return false;
  const unsigned bytes = readLow(2) + 1;
  if (!take(bytes * 8))
    return false;
  value = readLow(bytes * 8);
  return true;
}

bool BitStream::ReadVector(float& x, float& y, float& z) {
  float length;
  if (!Read(length))
    return false;
  if (!(length > kVectorMinLength)) {
    x = y = z = 0.0f;
    return true;
  }
  if (!take(48))
    return false;
  const float ux = unitFromQuantised(readLow(16));
  const float uy = unitFromQuantised(readLow(16));
  const float uz = unitFromQuantised(readLow(16));
  x = ux * length;
  y = uy * length;
  z = uz * length;
  return true;
}

bool BitStream::IgnoreBits(BitSize numberOfBits) {
  if (!take(numberOfBits))
    return false;
  readOffset_ += numberOfBits;
  return true;
}

void BitStream::AlignReadToByteBoundary() {
  const BitSize aligned = (readOffset_ + 7) & ~static_cast<BitSize>(7);
  readOffset_ = std::min(aligned, std::max(readOffset_, writeOffset_));
}

// ---------------------------------------------------------------------------
// Positions

void BitStream::SetReadOffset(BitSize offset) {
  readOffset_ = std::min(offset, writeOffset_);
  failed_ = false;
}

void BitStream::SetWriteOffset(BitSize offset) {
  reserveBits(offset);
  writeOffset_ = offset;
}

}  // namespace RakNet
