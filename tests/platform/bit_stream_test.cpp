#include "platform/bit_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>

#include "support/bit_text.h"

namespace bit_stream_test {

using RakNet::BitStream;

namespace {

struct WriteCase {
  const char* name;
  std::function<void(BitStream&)> write;
  // Reads the same values back; false when any read or comparison fails.
  std::function<bool(BitStream&)> readBack;
  const char* expected;
};

template <typename T>
std::function<bool(BitStream&)> reads(T expected) {
  return [expected](BitStream& s) {
    T value{};
    return s.Read(value) && std::memcmp(&value, &expected, sizeof value) == 0;
  };
}

const unsigned char kBytes[] = {0xAB, 0x0C, 0x01, 0x02, 0x03};

TEST(BitStreamTest, WritesGiveTheseBitsAndReadBack) {
  const WriteCase cases[] = {
      {"bits and booleans", [](BitStream& s) { s.Write1(); s.Write0(); s.Write(true); s.Write(false); },
       [](BitStream& s) {
         bool a, b, c, d;
         return s.Read(a) && s.Read(b) && s.Read(c) && s.Read(d) && a && !b && c && !d;
       },
       "1010"},
      {"byte after one bit", [](BitStream& s) { s.Write1(); s.Write(uint8_t{0xA5}); },
       [](BitStream& s) { return reads(true)(s) && reads(uint8_t{0xA5})(s); }, "1 10100101"},
      {"int8", [](BitStream& s) { s.Write(int8_t{-2}); }, reads(int8_t{-2}), "11111110"},
      {"uint16 high byte first", [](BitStream& s) { s.Write(uint16_t{0x1234}); }, reads(uint16_t{0x1234}),
       "00010010 00110100"},
      {"int16", [](BitStream& s) { s.Write(int16_t{-2}); }, reads(int16_t{-2}), "11111111 11111110"},
      {"uint32 after three bits", [](BitStream& s) { s.Write0(); s.Write0(); s.Write1(); s.Write(uint32_t{0x01020304}); },
       [](BitStream& s) { return s.IgnoreBits(3) && reads(uint32_t{0x01020304})(s); },
       "001 00000001 00000010 00000011 00000100"},
      {"int32", [](BitStream& s) { s.Write(int32_t{-1}); }, reads(int32_t{-1}), "11111111 11111111 11111111 11111111"},
      {"float", [](BitStream& s) { s.Write(1.0f); }, reads(1.0f), "00111111 10000000 00000000 00000000"},
      {"double", [](BitStream& s) { s.Write(-2.0); }, reads(-2.0),
       "11000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"},
      {"3 bits right-aligned", [](BitStream& s) { const unsigned char b = 0x05; s.WriteBits(&b, 3); },
       [](BitStream& s) { unsigned char b = 0xFF; return s.ReadBits(&b, 3) && b == 0x05; }, "101"},
      {"3 bits left-aligned", [](BitStream& s) { const unsigned char b = 0xA0; s.WriteBits(&b, 3, false); },
       [](BitStream& s) { unsigned char b = 0xFF; return s.ReadBits(&b, 3, false) && b == 0xA0; }, "101"},
      {"12 bits after one bit", [](BitStream& s) { s.Write1(); s.WriteBits(kBytes, 12); },
       [](BitStream& s) {
         unsigned char b[2] = {};
         return s.IgnoreBits(1) && s.ReadBits(b, 12) && b[0] == 0xAB && b[1] == 0x0C;
       },
       "1 10101011 1100"},
      {"aligned bytes pad with zeros", [](BitStream& s) { s.Write1(); s.Write1(); s.Write1(); s.WriteAlignedBytes(kBytes, 2); },
       [](BitStream& s) {
         unsigned char b[2] = {};
         return s.IgnoreBits(1) && s.ReadAlignedBytes(b, 2) && b[0] == 0xAB && b[1] == 0x0C;
       },
       "111 00000 10101011 00001100"},
      {"reversed block, unaligned", [](BitStream& s) { s.Write0(); s.WriteReversedBlock(kBytes + 2, 3); },
       [](BitStream& s) {
         unsigned char b[3] = {};
         return s.IgnoreBits(1) && s.ReadReversedBlock(b, 3) && std::memcmp(b, kBytes + 2, 3) == 0;
       },
       "0 00000011 00000010 00000001"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    BitStream s;
    c.write(s);
    EXPECT_EQ(bitText(s), bits(c.expected));
    EXPECT_TRUE(c.readBack(s));
    EXPECT_EQ(s.GetNumberOfUnreadBits(), 0u);
    EXPECT_FALSE(s.ReadFailed());
  }
}

TEST(BitStreamTest, CompressedUnsignedTakesOnlyTheBytesItNeeds) {
  const struct {
    uint32_t value;
    const char* expected;
  } cases[] = {
      {0, "00 00000000"},
      {255, "00 11111111"},
      {256, "01 00000001 00000000"},
      {0x10000, "10 00000001 00000000 00000000"},
      {0x12345678, "11 00010010 00110100 01010110 01111000"},
      {0xFFFFFFFF, "11 11111111 11111111 11111111 11111111"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    BitStream s;
    s.WriteCompressed(c.value);
    EXPECT_EQ(bitText(s), bits(c.expected));
    uint32_t read = 1;
    EXPECT_TRUE(s.ReadCompressed(read));
    EXPECT_EQ(read, c.value);
  }
}

TEST(BitStreamTest, VectorIsItsLengthThenUnitComponents) {
  BitStream s;
  s.WriteVector(3.0f, 0.0f, -4.0f);
  s.WriteVector(0.0f, 0.0f, 0.0f);
  s.WriteVector(0.000001f, 0.0f, 0.0f);
  s.WriteVector(NAN, 1.0f, 1.0f);
  // 5.0 as a float, then 0.6, 0 and -0.8 as round(c x 32767).
  EXPECT_EQ(bitText(s).substr(0, 80), bits("01000000 10100000 00000000 00000000"
                                            " 01001100 11001100 00000000 00000000 10011001 10011010"));
  EXPECT_EQ(s.GetNumberOfBitsUsed(), 80u + 3 * 32u);

  float x, y, z;
  ASSERT_TRUE(s.ReadVector(x, y, z));
  EXPECT_NEAR(x, 3.0f, 5.0f / 32767);
  EXPECT_EQ(y, 0.0f);
  EXPECT_NEAR(z, -4.0f, 5.0f / 32767);
  for (int i = 0; i < 3; ++i) {  // too short or not a number: the zero vector
    x = y = z = 9.0f;
    ASSERT_TRUE(s.ReadVector(x, y, z));
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(z, 0.0f);
  }

  // Lengths beyond the float range and infinite components stay defined.
  BitStream huge;
  huge.WriteVector(3e38f, 3e38f, 3e38f);
  huge.WriteVector(INFINITY, 0.0f, 0.0f);
  ASSERT_TRUE(huge.ReadVector(x, y, z));
  EXPECT_TRUE(std::isinf(x));
  ASSERT_TRUE(huge.ReadVector(x, y, z));
  EXPECT_EQ(huge.GetNumberOfUnreadBits(), 0u);
}

// Every reader on a stream one bit too short: it fails, leaves its output,
// moves to the end, and every later read fails too.
TEST(BitStreamTest, ShortReadsFailAndStayFailed) {
  unsigned char out[8];
  const struct {
    const char* name;
    RakNet::BitSize needs;
    std::function<bool(BitStream&)> read;
  } cases[] = {
      {"bool", 1, [](BitStream& s) { bool v = true; return s.Read(v) || !v; }},
      {"uint8", 8, [](BitStream& s) { uint8_t v = 7; return s.Read(v) || v != 7; }},
      {"uint16", 16, [](BitStream& s) { uint16_t v = 7; return s.Read(v) || v != 7; }},
      {"uint32", 32, [](BitStream& s) { uint32_t v = 7; return s.Read(v) || v != 7; }},
      {"float", 32, [](BitStream& s) { float v = 7; return s.Read(v) || v != 7; }},
      {"double", 64, [](BitStream& s) { double v = 7; return s.Read(v) || v != 7; }},
      {"bits", 13, [&](BitStream& s) { std::memset(out, 7, 8); return s.ReadBits(out, 13) || out[0] != 7; }},
      {"aligned bytes", 24, [&](BitStream& s) { std::memset(out, 7, 8); return s.ReadAlignedBytes(out, 3) || out[0] != 7; }},
      {"reversed block", 24, [&](BitStream& s) { std::memset(out, 7, 8); return s.ReadReversedBlock(out, 3) || out[2] != 7; }},
      {"compressed", 18, [](BitStream& s) { uint32_t v = 7; return s.ReadCompressed(v) || v != 7; }},
      {"vector", 80, [](BitStream& s) { float x = 7, y = 7, z = 7; return s.ReadVector(x, y, z) || x != 7; }},
      {"ignore", 9, [](BitStream& s) { return s.IgnoreBits(9); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BitStream s;
    // A first byte that makes a compressed read find "01" (two bytes follow)
    // and a vector a long length; ones after it; one bit short in all.
    const unsigned first = c.needs == 18 ? 0x40 : 0x47;
    for (RakNet::BitSize i = 0; i + 1 < c.needs; ++i)
      s.Write(i < 8 ? ((first >> (7 - i)) & 1) != 0 : true);
    EXPECT_FALSE(c.read(s));
    EXPECT_TRUE(s.ReadFailed());
    EXPECT_EQ(s.GetReadOffset(), s.GetNumberOfBitsUsed());
    s.Write1();  // more data does not revive a failed stream
    bool bit;
    EXPECT_FALSE(s.Read(bit));
    s.SetReadOffset(0);
    EXPECT_FALSE(s.ReadFailed());
    EXPECT_TRUE(s.IgnoreBits(c.needs));
    // Failed again at the end, then reset: the stream is as good as new.
    EXPECT_FALSE(s.IgnoreBits(1));
    s.Reset();
    s.Write(uint8_t{0xA5});
    uint8_t back = 0;
    EXPECT_TRUE(s.Read(back));
    EXPECT_EQ(back, 0xA5);
    EXPECT_FALSE(s.ReadFailed());
  }

  // Counts far beyond the stream are refused without wrapping around.
  BitStream s;
  s.Write(uint32_t{1});
  EXPECT_FALSE(s.ReadAlignedBytes(out, std::numeric_limits<std::size_t>::max()));
  s.SetReadOffset(0);
  EXPECT_FALSE(s.IgnoreBits(std::numeric_limits<RakNet::BitSize>::max()));
}

TEST(BitStreamTest, WrappedPacketIsReadInPlaceAndNeverWritten) {
  unsigned char packet[] = {116, 0x80, 0x00, 0x01};
  BitStream view(packet, sizeof packet, false);
  EXPECT_EQ(view.GetData(), packet);
  EXPECT_EQ(view.GetNumberOfBitsUsed(), 32u);
  ASSERT_TRUE(view.IgnoreBits(8));  // the message id
  uint16_t value = 0;
  ASSERT_TRUE(view.Read(value));
  EXPECT_EQ(value, 0x8000);
  EXPECT_EQ(view.GetNumberOfUnreadBits(), 8u);

  view.SetWriteOffset(8);
  view.Write(uint8_t{0xEE});
  EXPECT_NE(view.GetData(), packet);
  EXPECT_EQ(packet[1], 0x80);
  EXPECT_EQ(bitText(view), bits("01110100 11101110"));

  BitStream copy(packet, sizeof packet, true);
  EXPECT_NE(copy.GetData(), packet);
  EXPECT_EQ(bitText(copy), bits("01110100 10000000 00000000 00000001"));

  BitStream none(nullptr, 12, false);
  EXPECT_EQ(none.GetNumberOfBitsUsed(), 0u);
  uint8_t byte;
  EXPECT_FALSE(none.Read(byte));
}

TEST(BitStreamTest, WriteOffsetPatchesAHeaderAndTakesAnEntryBack) {
  BitStream s;
  s.Write(uint8_t{125});
  const RakNet::BitSize countAt = s.GetWriteOffset();
  s.Write(uint16_t{0});
  s.Write1();
  const RakNet::BitSize entryAt = s.GetWriteOffset();
  s.Write(uint8_t{0xFF});  // an entry taken back out
  s.SetWriteOffset(entryAt);
  s.Write0();
  s.Write1();
  const RakNet::BitSize end = s.GetWriteOffset();
  s.SetWriteOffset(countAt);
  s.Write(uint16_t{2});
  s.SetWriteOffset(end);
  EXPECT_EQ(bitText(s), bits("01111101 00000000 00000010 1 01"));

  s.Reset();
  EXPECT_EQ(s.GetNumberOfBitsUsed(), 0u);
  s.Write1();
  s.Write0();
  s.Write1();
  EXPECT_EQ(s.GetData()[0], 0xA0);  // nothing left over from before the reset
  s.SetWriteOffset(12);  // forward over bits never written: zeros
  EXPECT_EQ(bitText(s), bits("10100000 0000"));
}

TEST(BitStreamTest, AlignmentMovesOnlyToTheNextBoundary) {
  BitStream s;
  s.AlignWriteToByteBoundary();
  EXPECT_EQ(s.GetNumberOfBitsUsed(), 0u);
  s.Write1();
  s.AlignWriteToByteBoundary();
  s.Write1();
  EXPECT_EQ(bitText(s), bits("10000000 1"));
  s.AlignReadToByteBoundary();
  EXPECT_EQ(s.GetReadOffset(), 0u);
  ASSERT_TRUE(s.IgnoreBits(1));
  s.AlignReadToByteBoundary();
  EXPECT_EQ(s.GetReadOffset(), 8u);
  s.AlignReadToByteBoundary();  // no further than the end
  EXPECT_EQ(s.GetReadOffset(), 8u);
  ASSERT_TRUE(s.IgnoreBits(1));
  s.AlignReadToByteBoundary();
  EXPECT_EQ(s.GetReadOffset(), 9u);
}

}  // namespace

}  // namespace bit_stream_test
