#include "core/net_encoders.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/bit_stream.h"
#include "support/bit_text.h"

namespace net_encoders_test {

using RakNet::BitStream;

namespace {

std::string repeat(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i)
    text += unit;
  return text;
}

TEST(NetUIntTest, CompactFormBelow32768ElseFull32Bits) {
  const struct {
    uint32_t value;
    const char* expected;
  } cases[] = {
      {0, "0 0000000 00000000"},
      {300, "0 0000001 00101100"},
      {32767, "0 1111111 11111111"},
      {32768, "1 00000000 00000000 10000000 00000000"},
      {0xFFFFFFFF, "1 11111111 11111111 11111111 11111111"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    BitStream s;
    s.Write1();  // values need not start on a byte
    writeNetUInt(s, c.value);
    EXPECT_EQ(bitText(s), "1" + bits(c.expected));
    ASSERT_TRUE(s.IgnoreBits(1));
    EXPECT_EQ(readNetUInt(s), c.value);
    EXPECT_EQ(s.GetNumberOfUnreadBits(), 0u);
  }
}

TEST(NetUIntTest, ShortStreamsGiveZero) {
  BitStream empty;
  EXPECT_EQ(readNetUInt(empty), 0u);

  const char* cut[] = {"1 00000000 00000000 10000000", "0 1111111 1111111", "0 111"};
  for (const char* text : cut) {
    SCOPED_TRACE(text);
    BitStream s;
    for (char bit : bits(text))
      s.Write(bit == '1');
    EXPECT_EQ(readNetUInt(s), 0u);
    EXPECT_TRUE(s.ReadFailed());
  }
}

struct FakeObject {
  uint32_t uid;
};

uint32_t fakeUID(const generic_object* object) { return reinterpret_cast<const FakeObject*>(object)->uid; }

const generic_object* asObject(const FakeObject& fake) { return reinterpret_cast<const generic_object*>(&fake); }

TEST(NetObjectRefTest, UIDInCompactFormAndNullAsZero) {
  setNetObjectHooks({fakeUID});
  const FakeObject zero{0}, small{5}, large{40000};
  BitStream s;
  writeNetObjectRef(s, nullptr);
  writeNetObjectRef(s, asObject(zero));
  writeNetObjectRef(s, asObject(small));
  writeNetObjectRef(s, asObject(large));
  EXPECT_EQ(bitText(s), bits("0 0000000 00000000  0 0000000 00000000  0 0000000 00000101"
                             "  1 00000000 00000000 10011100 01000000"));
  setNetObjectHooks({nullptr});

  // Without an object registry a reference is written as none.
  BitStream orphan;
  writeNetObjectRef(orphan, asObject(small));
  EXPECT_EQ(bitText(orphan), bits("0 0000000 00000000"));
}

TEST(NetStringTest, WideStringIsCutAtTheMaximum) {
  const irr::core::stringw text(repeat("a", 300).c_str());
  const struct {
    unsigned maximum;
    unsigned length;
  } cases[] = {{255, 255}, {100, 100}, {1000, 255}, {0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maximum);
    BitStream s;
    writeNetStringW(s, text, c.maximum);
    EXPECT_EQ(s.GetNumberOfBytesUsed(), 1 + 2 * c.length);
    EXPECT_EQ(s.GetData()[0], c.length);
    if (c.length > 0) {
      EXPECT_EQ(s.GetData()[1], 'a');  // low byte first
      EXPECT_EQ(s.GetData()[2], 0);
    }
    irr::core::stringw read;
    ASSERT_TRUE(readNetStringW(s, read));
    EXPECT_EQ(read, text.subString(0, static_cast<irr::s32>(c.length)));
  }
}

TEST(NetStringTest, WideTextTravelsAsUTF16UnitsLowByteFirst) {
  // U+00E9, U+20AC, then U+1F600 as the pair D83D DE00.
  const wchar_t chars[] = {0xE9, 0x20AC, 0x1F600, 0};
  const irr::core::stringw text(chars);
  BitStream s;
  writeNetStringW(s, text, 255);
  EXPECT_EQ(bitText(s), bits("00000100 11101001 00000000 10101100 00100000 00111101 11011000 00000000 11011110"));
  irr::core::stringw read(L"x");
  ASSERT_TRUE(readNetStringW(s, read));
  EXPECT_EQ(read, irr::core::stringw(L"x") + text);  // appended

  // A pair that does not fit whole is left out, never cut in half.
  const wchar_t pairAtEnd[] = {L'a', L'b', 0x1F600, 0};
  const unsigned maxima[] = {3, 4};
  for (unsigned maximum : maxima) {
    BitStream cut;
    writeNetStringW(cut, irr::core::stringw(pairAtEnd), maximum);
    irr::core::stringw back;
    ASSERT_TRUE(readNetStringW(cut, back));
    EXPECT_EQ(back, irr::core::stringw(pairAtEnd).subString(0, maximum == 3 ? 2 : 3));
  }

  // Values beyond the UTF-16 range go as the replacement character.
  const wchar_t beyond[] = {static_cast<wchar_t>(0x110000), 0};
  BitStream replaced;
  writeNetStringW(replaced, irr::core::stringw(beyond), 255);
  EXPECT_EQ(bitText(replaced), bits("00000001 11111101 11111111"));
}

TEST(NetStringTest, EmptyStringIsItsLengthByteAtAnyBitPosition) {
  for (int offset = 0; offset < 8; ++offset) {
    SCOPED_TRACE(offset);
    BitStream s;
    for (int i = 0; i < offset; ++i)
      s.Write1();
    writeNetStringW(s, irr::core::stringw(), 255);
    writeNetStringC(s, irr::core::stringc());
    EXPECT_EQ(bitText(s), repeat("1", offset) + bits("00000000 00000000"));
    ASSERT_TRUE(s.IgnoreBits(offset));
    irr::core::stringw wide(L"kept");
    irr::core::stringc narrow("kept");
    ASSERT_TRUE(readNetStringW(s, wide));
    EXPECT_EQ(s.GetReadOffset(), offset + 8u);
    ASSERT_TRUE(readNetStringC(s, narrow));
    EXPECT_EQ(wide, irr::core::stringw(L"kept"));
    EXPECT_EQ(narrow, irr::core::stringc("kept"));
  }
}

TEST(NetStringTest, NarrowStringLengthThenPaddingThenText) {
  BitStream s;
  s.Write1();
  s.Write0();
  s.Write1();
  writeNetStringC(s, irr::core::stringc("Hi"));
  // Bits 3 to 10 the length, padding to bit 16, then the bytes.
  EXPECT_EQ(bitText(s), bits("101 00000010 00000 01001000 01101001"));
  ASSERT_TRUE(s.IgnoreBits(3));
  irr::core::stringc read;
  ASSERT_TRUE(readNetStringC(s, read));
  EXPECT_EQ(read, irr::core::stringc("Hi"));

  BitStream longer;
  writeNetStringC(longer, irr::core::stringc(repeat("z", 300).c_str()));
  EXPECT_EQ(longer.GetNumberOfBytesUsed(), 256u);
  EXPECT_EQ(longer.GetData()[0], 255);
}

TEST(NetStringTest, CutTextFailsAndEveryLaterReadFails) {
  // Lengths that promise more than the stream holds.
  const struct {
    const char* name;
    bool wide;
  } cases[] = {{"narrow", false}, {"wide", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BitStream s;
    s.Write(uint8_t{10});
    const unsigned char text[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g'};
    s.WriteAlignedBytes(text, sizeof text);
    irr::core::stringw wide(L"w");
    irr::core::stringc narrow("n");
    const bool read = c.wide ? readNetStringW(s, wide) : readNetStringC(s, narrow);
    EXPECT_FALSE(read);
    EXPECT_EQ(wide, irr::core::stringw(L"w"));
    EXPECT_EQ(narrow, irr::core::stringc("n"));
    EXPECT_EQ(s.GetNumberOfUnreadBits(), 0u);

    s.Write(uint8_t{0});  // later data does not revive the stream
    EXPECT_EQ(readNetUInt(s), 0u);
    EXPECT_FALSE(readNetStringC(s, narrow));
    EXPECT_FALSE(readNetStringW(s, wide));
    EXPECT_EQ(readNetFloat8(s, -1.0f, 1.0f), -1.0f);
    EXPECT_EQ(readNetEmpire(s), nullptr);
  }

  BitStream empty;
  irr::core::stringc narrow;
  EXPECT_FALSE(readNetStringC(empty, narrow));
}

TEST(NetFloatTest, QuantisedByTruncationOfTheSinglePrecisionRatio) {
  const struct {
    int width;
    float value, min, max;
    unsigned q;
  } cases[] = {
      {8, 0.5f, 0.0f, 1.0f, 127},
      {8, 1.0f, 0.0f, 1.0f, 255},
      {8, 2.0f, 0.0f, 1.0f, 255},
      {8, -1.0f, 0.0f, 1.0f, 0},
      {8, 0.0f, 0.0f, 1.0f, 0},
      {8, NAN, 0.0f, 1.0f, 0},
      {8, INFINITY, 0.0f, 1.0f, 255},
      {8, 0.5f, -INFINITY, 1.0f, 0},
      {8, 0.5f, 0.0f, NAN, 0},
      {8, 5.0f, 1.0f, 1.0f, 255},
      // The ratio rounded to a float gives 7; in double precision it gives 6.
      {8, 9.882352828979492f, 0.0f, 360.0f, 7},
      {16, 0.5f, 0.0f, 1.0f, 32767},
      {16, 1.0f, 0.0f, 1.0f, 65535},
      {16, NAN, 0.0f, 1.0f, 0},
      // Multiplied in double precision, not in single (which gives 213, 656).
      {16, -3973.005126953125f, -3999.0f, 3999.0f, 212},
      {16, -3918.940673828125f, -3999.0f, 3999.0f, 655},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " bits: " << c.value << " in [" << c.min << ", " << c.max << "]");
    BitStream s;
    uint32_t q = 0;
    if (c.width == 8) {
      writeNetFloat8(s, c.value, c.min, c.max);
      uint8_t byte = 0;
      ASSERT_TRUE(s.Read(byte));
      q = byte;
    } else {
      writeNetFloat16(s, c.value, c.min, c.max);
      uint16_t word = 0;
      ASSERT_TRUE(s.Read(word));  // a 16-bit integer, high byte first
      q = word;
    }
    EXPECT_EQ(q, c.q);
    EXPECT_EQ(s.GetNumberOfBitsUsed(), static_cast<RakNet::BitSize>(c.width));
  }
}

TEST(NetFloatTest, ReadersScaleBackAndGiveMinOnAShortStream) {
  BitStream s;
  s.Write(uint8_t{127});
  s.Write(uint8_t{0});
  s.Write(uint8_t{255});
  s.Write(uint16_t{32767});
  EXPECT_EQ(readNetFloat8(s, 0.0f, 1.0f), static_cast<float>(127 / 255.0));
  EXPECT_EQ(readNetFloat8(s, -10.0f, 10.0f), -10.0f);
  EXPECT_EQ(readNetFloat8(s, 0.0f, 360.0f), 360.0f);
  EXPECT_EQ(readNetFloat16(s, -100.0f, 100.0f), static_cast<float>(-100.0 + 200.0 * (32767 / 65535.0)));
  EXPECT_EQ(readNetFloat8(s, -3.0f, 3.0f), -3.0f);
  EXPECT_EQ(readNetFloat16(s, 7.0f, 9.0f), 7.0f);

  BitStream oneByte;
  oneByte.Write(uint8_t{200});
  EXPECT_EQ(readNetFloat16(oneByte, 2.0f, 4.0f), 2.0f);
}

// Without an empire list registered, no ID names an empire.
TEST(NetEmpireTest, NoEmpireWithoutTheList) {
  setNetEmpireHooks({nullptr, nullptr});
  BitStream s;
  s.Write(uint8_t{1});
  EXPECT_EQ(readNetEmpire(s), nullptr);
  EXPECT_EQ(readNetEmpire(s), nullptr);  // short
}

}  // namespace

}  // namespace net_encoders_test
