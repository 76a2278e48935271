// Fuzz entry point: decodes arbitrary bytes with every bit-stream and network
// value reader, in an order the input chooses.
//
//   byte 0             number of steps (modulo 32)
//   next `steps` bytes one choice per step: the reader is choice % 20, and
//                      choice / 20 is its parameter (a count, or a range)
//   the rest           the packet, wrapped without copying
//
// Besides running clean under the sanitizers, every step checks: the read
// position never passes the end; once a read has failed, every later read
// fails; whatever decodes re-encodes to a stream that reads back the same;
// quantised floats stay in their range; an empire read is listed and real.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/net_encoders.h"
#include "empire/empire.h"
#include "platform/bit_stream.h"

using RakNet::BitStream;

namespace {

constexpr unsigned kMaxSteps = 32;
constexpr unsigned kReaders = 20;

void check(bool condition) {
  if (!condition)
    std::abort();
}

void setUpEmpires() {
  static bool done = false;
  if (done)
    return;
  done = true;
  nextEmpireID = 1;
  for (int i = 0; i < 3; ++i)
    registerEmpire(new empire);
  std::atexit(deleteAllEmpires);
}

template <typename Text>
bool sameText(const Text& a, const Text& b) {
  return a.size() == b.size() && std::memcmp(a.c_str(), b.c_str(), a.size() * sizeof a.c_str()[0]) == 0;
}

void checkWideRoundTrip(const irr::core::stringw& text) {
  BitStream again;
  writeNetStringW(again, text, kMaxNetStringLength);
  irr::core::stringw back;
  check(readNetStringW(again, back) && sameText(back, text));
}

void checkNarrowRoundTrip(const irr::core::stringc& text) {
  BitStream again;
  writeNetStringC(again, text);
  irr::core::stringc back;
  check(readNetStringC(again, back) && sameText(back, text));
}

template <typename T>
bool readOne(BitStream& stream) {
  T value;
  return stream.Read(value);
}

// Runs one reader; gives whether it read (readers without a result report
// through the stream's failed mark).
bool step(BitStream& stream, uint8_t choice) {
  const unsigned parameter = choice / kReaders;
  unsigned char out[64];
  switch (choice % kReaders) {
    case 0:
      return readOne<bool>(stream);
    case 1:
      return readOne<uint8_t>(stream);
    case 2:
      return readOne<uint16_t>(stream);
    case 3:
      return readOne<uint32_t>(stream);
    case 4:
      return readOne<float>(stream);
    case 5:
      return readOne<double>(stream);
    case 6:
      return stream.ReadBits(out, parameter * 7, parameter % 2 == 0);
    case 7:
      return stream.ReadAlignedBytes(out, parameter * 5);
    case 8:
      return stream.ReadReversedBlock(out, parameter * 4);
    case 9: {
      uint32_t v;
      return stream.ReadCompressed(v);
    }
    case 10: {
      float x, y, z;
      return stream.ReadVector(x, y, z);
    }
    case 11:
      return stream.IgnoreBits(parameter * 9);
    case 12:
      return readOne<int8_t>(stream) && readOne<int16_t>(stream) && readOne<int32_t>(stream);
    case 13: {
      irr::core::stringw text;
      const bool read = readNetStringW(stream, text);
      if (read)
        checkWideRoundTrip(text);
      return read;
    }
    case 14: {
      irr::core::stringc text;
      const bool read = readNetStringC(stream, text);
      if (read)
        checkNarrowRoundTrip(text);
      return read;
    }
    case 15: {
      const uint32_t value = readNetUInt(stream);
      BitStream again;
      writeNetUInt(again, value);
      check(readNetUInt(again) == value);
      return !stream.ReadFailed();
    }
    case 16: {
      empire* found = readNetEmpire(stream);
      if (found != nullptr) {
        check(found->ID != kInvalidEmpireID && found != defaultEmpire());
        bool listed = false;
        for (empire* e : empireList)
          listed = listed || e == found;
        check(listed);
      }
      return !stream.ReadFailed();
    }
    case 17:
    case 18: {
      const float min = -static_cast<float>(parameter), max = static_cast<float>(parameter) * 3 + 1;
      const bool failedBefore = stream.ReadFailed();
      const float value = choice % kReaders == 17 ? readNetFloat8(stream, min, max) : readNetFloat16(stream, min, max);
      check(value >= min && value <= max);
      if (failedBefore || stream.ReadFailed())
        check(value == min);
      return !stream.ReadFailed();
    }
    default:
      stream.AlignReadToByteBoundary();
      return !stream.ReadFailed();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUpEmpires();
  if (size == 0)
    return 0;
  const size_t steps = std::min<size_t>(data[0] % kMaxSteps, size - 1);
  BitStream stream(data + 1 + steps, size - 1 - steps, false);
  bool failed = false;
  for (size_t i = 0; i < steps; ++i) {
    const bool read = step(stream, data[1 + i]);
    check(stream.GetReadOffset() <= stream.GetNumberOfBitsUsed());
    check(!(failed && read));
    failed = failed || !read;
    check(stream.ReadFailed() == failed);
  }
  return 0;
}

// Well-formed packets to start from: each step's reader over what the
// matching writer wrote.
extern "C" void corvaneFuzzSeeds(std::vector<std::vector<uint8_t>>* seeds) {
  struct Seed {
    std::vector<uint8_t> choices;
    void (*write)(BitStream&);
  };
  const Seed list[] = {
      {{15, 15, 15, 13, 14, 16, 16, 40 + 17, 40 + 18},
       [](BitStream& s) {
         writeNetUInt(s, 32767);
         writeNetUInt(s, 32768);
         writeNetUInt(s, 0);
         const wchar_t text[] = {L'S', L'o', L'l', 0xE9, 0x1F680, 0};
         writeNetStringW(s, irr::core::stringw(text), 255);
         writeNetStringC(s, irr::core::stringc("corvane"));
         s.Write(uint8_t{2});
         s.Write(uint8_t{kInvalidEmpireID});
         writeNetFloat8(s, 3.0f, -2.0f, 7.0f);
         writeNetFloat16(s, 3.0f, -2.0f, 7.0f);
       }},
      {{0, 1, 2, 3, 4, 5, 20 + 6, 20 + 7, 60 + 8, 9, 10, 20 + 11, 12, 19},
       [](BitStream& s) {
         s.Write1();
         s.Write(uint8_t{125});
         s.Write(uint16_t{3});
         s.Write(uint32_t{70000});
         s.Write(1.5f);
         s.Write(2.5);
         const unsigned char bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
         s.WriteBits(bytes, 7);
         s.WriteAlignedBytes(bytes, 5);
         s.WriteReversedBlock(bytes, 12);
         s.WriteCompressed(4000);
         s.WriteVector(10.0f, -20.0f, 30.0f);
         s.WriteBits(bytes, 9);
         s.Write(int8_t{-4});
         s.Write(int16_t{-5});
         s.Write(int32_t{-6});
       }},
  };
  for (const Seed& seed : list) {
    BitStream s;
    seed.write(s);
    std::vector<uint8_t> input;
    input.push_back(static_cast<uint8_t>(seed.choices.size()));
    input.insert(input.end(), seed.choices.begin(), seed.choices.end());
    input.insert(input.end(), s.GetData(), s.GetData() + s.GetNumberOfBytesUsed());
    seeds->push_back(input);
  }
}
