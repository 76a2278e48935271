#include "core/net_encoders.h"

#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "core/utf16.h"
#include "platform/bit_stream.h"

namespace {

NetEmpireHooks empireHooks{nullptr, nullptr};
NetObjectHooks objectHooks{nullptr};

// Compact unsigned integers below this take the 16-bit form.
constexpr uint32_t kCompactLimit = 32768;

constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kLastCodePoint = 0x10FFFF;

void putUnit(unsigned char* bytes, unsigned index, uint32_t unit) {
  bytes[2 * index] = static_cast<unsigned char>(unit);
  bytes[2 * index + 1] = static_cast<unsigned char>(unit >> 8);
}

// Reads the 8-bit length and, when it is not 0, that many units of
// `unitBytes` bytes as aligned bytes. False when the stream is short.
bool readNetText(RakNet::BitStream& stream, unsigned unitBytes, unsigned char* bytes, unsigned& count) {
  uint8_t length = 0;
  if (!stream.Read(length))
    return false;
  count = length;
  return length == 0 || stream.ReadAlignedBytes(bytes, static_cast<std::size_t>(length) * unitBytes);
}

// The quantised form of `value` in [min, max] with `top` steps above 0.
uint32_t quantise(float value, float min, float max, uint32_t top) {
  if (std::isnan(value) || value <= min)
    return 0;
  if (value >= max)
    return top;
  const float ratio = static_cast<float>((static_cast<double>(value) - min) / (static_cast<double>(max) - min));
  const double product = static_cast<double>(ratio) * top;
  // Infinite or not-a-number bounds can make the ratio not a number.
  if (!(product > 0.0))
    return 0;
  if (product >= top)
    return top;
  return static_cast<uint32_t>(product);
}

float dequantise(uint32_t q, float min, float max, double top) {
  return static_cast<float>(static_cast<double>(min) + (static_cast<double>(max) - min) * (q / top));
}

}  // namespace

void setNetEmpireHooks(NetEmpireHooks hooks) { empireHooks = hooks; }

void setNetObjectHooks(NetObjectHooks hooks) { objectHooks = hooks; }

// ---------------------------------------------------------------------------
// Strings

void writeNetStringW(RakNet::BitStream& stream, const irr::core::stringw& text, unsigned maxLength) {
  const unsigned limit = std::min(maxLength, kMaxNetStringLength);
  unsigned char bytes[2 * kMaxNetStringLength];
  unsigned units = 0;
  const wchar_t* characters = text.c_str();
  for (irr::u32 i = 0; i < text.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(characters[i]);
    if (code > kLastCodePoint)
      code = kReplacementCharacter;
    if (code > 0xFFFF) {
      if (units + 2 > limit)
        break;
      code -= 0x10000;
      putUnit(bytes, units++, kHighSurrogateFirst + (code >> 10));
      putUnit(bytes, units++, kLowSurrogateFirst + (code & 0x3FF));
      continue;
    }
    // A pair already in UTF-16 form (16-bit wchar_t) goes whole or not at all.
    if (isHighSurrogate(code) && i + 1 < text.size() && isLowSurrogate(static_cast<uint32_t>(characters[i + 1]))) {
      if (units + 2 > limit)
        break;
      putUnit(bytes, units++, code);
      putUnit(bytes, units++, static_cast<uint32_t>(characters[++i]));
      continue;
    }
    if (units + 1 > limit)
      break;
    putUnit(bytes, units++, code);
  }
  stream.Write(static_cast<uint8_t>(units));
  if (units > 0)
    stream.WriteAlignedBytes(bytes, 2 * units);
}

bool readNetStringW(RakNet::BitStream& stream, irr::core::stringw& out) {
  unsigned char bytes[2 * kMaxNetStringLength];
  unsigned units = 0;
  if (!readNetText(stream, 2, bytes, units))
    return false;
  appendUtf16LE(out, bytes, units);
  return true;
}

void writeNetStringC(RakNet::BitStream& stream, const irr::core::stringc& text) {
  const unsigned length = std::min<unsigned>(text.size(), kMaxNetStringLength);
  stream.Write(static_cast<uint8_t>(length));
  if (length > 0)
    stream.WriteAlignedBytes(reinterpret_cast<const unsigned char*>(text.c_str()), length);
}

bool readNetStringC(RakNet::BitStream& stream, irr::core::stringc& out) {
  unsigned char bytes[kMaxNetStringLength];
  unsigned length = 0;
  if (!readNetText(stream, 1, bytes, length))
    return false;
  out.reserve(out.size() + length + 1);
  for (unsigned i = 0; i < length; ++i)
    out.append(static_cast<char>(bytes[i]));
  return true;
}

// ---------------------------------------------------------------------------
// Integers, objects and empires

void writeNetUInt(RakNet::BitStream& stream, uint32_t value) {
  if (value < kCompactLimit) {
    stream.Write0();
    const unsigned char high = static_cast<unsigned char>(value >> 8);
    const unsigned char low = static_cast<unsigned char>(value);
    stream.WriteBits(&high, 7);
    stream.WriteBits(&low, 8);
  } else {
    stream.Write1();
    stream.Write(value);
  }
}

uint32_t readNetUInt(RakNet::BitStream& stream) {
  bool wide = false;
  if (!stream.Read(wide))
    return 0;
  if (wide) {
    uint32_t value = 0;
    return stream.Read(value) ? value : 0;
  }
  // A failed read fails every later one, so a cut high part gives 0 too.
  unsigned char high = 0, low = 0;
  if (!stream.ReadBits(&high, 7) || !stream.ReadBits(&low, 8))
    return 0;
  return static_cast<uint32_t>(high) * 256 + low;
}

void writeNetObjectRef(RakNet::BitStream& stream, const generic_object* object) {
  uint32_t uid = 0;
  if (object != nullptr) {
    if (objectHooks.objectUID != nullptr)
      uid = objectHooks.objectUID(object);
    else
      logError("Object reference written without an object registry: written as no object\n");
  }
  writeNetUInt(stream, uid);
}

void writeNetEmpire(RakNet::BitStream& stream, const empire* emp) {
  const bool known = emp != nullptr && empireHooks.empireID != nullptr;
  stream.Write(known ? empireHooks.empireID(emp) : kInvalidEmpireID);
}

empire* readNetEmpire(RakNet::BitStream& stream) {
  uint8_t id = 0;
  if (!stream.Read(id) || id == kInvalidEmpireID)
    return nullptr;
  if (empireHooks.getEmpireByID == nullptr || empireHooks.empireID == nullptr)
    return nullptr;
  empire* found = empireHooks.getEmpireByID(id);
  if (found == nullptr || empireHooks.empireID(found) == kInvalidEmpireID)
    return nullptr;
  return found;
}

// ---------------------------------------------------------------------------
// Quantised floats

void writeNetFloat8(RakNet::BitStream& stream, float value, float min, float max) {
  stream.Write(static_cast<uint8_t>(quantise(value, min, max, 0xFF)));
}

float readNetFloat8(RakNet::BitStream& stream, float min, float max) {
  uint8_t q = 0;
  return stream.Read(q) ? dequantise(q, min, max, 255.0) : min;
}

void writeNetFloat16(RakNet::BitStream& stream, float value, float min, float max) {
  stream.Write(static_cast<uint16_t>(quantise(value, min, max, 0xFFFF)));
}

float readNetFloat16(RakNet::BitStream& stream, float min, float max) {
  uint16_t q = 0;
  return stream.Read(q) ? dequantise(q, min, max, 65535.0) : min;
}
