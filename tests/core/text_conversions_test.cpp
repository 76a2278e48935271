#include "core/text_conversions.h"

#include <IGUIFont.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace text_conversions_test {

namespace {

std::wstring w(const irr::core::stringw& s) { return std::wstring(s.c_str(), s.size()); }
std::string n(const irr::core::stringw& s) { return irr::core::stringc(s).c_str(); }

TEST(DecimalReaderTest, WideAndNarrowReadTheSameWay) {
  struct Case {
    const char* text;
    float expected;
  };
  const Case cases[] = {
      {"1,250.5", 1250.5f}, {"1e5", 1.0f},  // no exponent notation
      {"--1", 0.0f},                        // a second minus ends the number
      {"1.2.3", 1.2f},      {".", 0.0f},   {"-.5", -0.5f}, {"2.5x", 2.5f},    {"-3", -3.0f},
      {"3-", 3.0f},         {"", 0.0f},    {" 4", 0.0f},   {"0.001", 0.001f},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(narrowStringToFloat(c.text), c.expected) << c.text;
    EXPECT_FLOAT_EQ(stringToFloat(irr::core::stringw(c.text)), c.expected) << c.text;
  }
}

TEST(DecimalReaderTest, ExtremeDigitStringsStayMeaningful) {
  const std::string tooLarge(60, '9');
  EXPECT_EQ(narrowStringToFloat(tooLarge.c_str()), std::numeric_limits<float>::infinity());
  EXPECT_EQ(narrowStringToFloat(("-" + tooLarge).c_str()), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(narrowStringToFloat((tooLarge + ".5").c_str()), std::numeric_limits<float>::infinity());
  // Far more decimal places than a 16-bit count holds: still tiny, not 0.1.
  const std::string tiny = "0." + std::string(70000, '0') + "1";
  EXPECT_EQ(narrowStringToFloat(tiny.c_str()), 0.0f);
}

uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(DecimalReaderTest, LongDecimalsReadAsTheirValuesAndShortOnesBitForBit) {
  struct Case {
    std::string text;
    float expected;
    bool exact;  // bit for bit; otherwise within a few units in the last place
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      // Ordinary lengths: the digit-by-digit results, rounding and all.
      {"1,250.5", 0x1.38ap+10f, true},
      {"1e5", 1.0f, true},
      {"--1", -0.0f, true},
      {"1.2.3", 0x1.333334p+0f, true},
      {".", 0.0f, true},
      {"-.5", -0.5f, true},
      {"2.5x", 2.5f, true},
      {"3-", 3.0f, true},
      {"", 0.0f, true},
      {"0.001", 0x1.0624dcp-10f, true},  // one unit below 0.001f
      {"0.1", 0x1.99999ap-4f, true},
      {"0.33", 0x1.51eb84p-2f, true},
      {"3.14159", 0x1.921f9ep+1f, true},
      {"-123456.789", -0x1.e240cap+16f, true},
      {"0.0000123", 0x1.9cb834p-17f, true},
      {"0.1234567891", 0x1.f9add4p-4f, true},
      {"0.9999999999", 1.0f, true},
      {"9999999999.9", 0x1.2a05f2p+33f, true},
      {"1234567.891", 0x1.2d687ep+20f, true},
      {"16777217", 0x1p+24f, true},
      {"340282356779733661637539395458142568448", inf, true},  // just past the float range
      // Long ones: digits past the float's precision only move the point.
      {"10." + std::string(43, '0'), 10.0f, true},
      {"-10." + std::string(40, '0'), -10.0f, true},
      {"0." + std::string(41, '3'), 1.0f / 3.0f, false},
      {"0." + std::string(300, '7'), 7.0f / 9.0f, false},
      {"0.000" + std::string(50, '3'), 1.0f / 3000.0f, false},
      {"-2." + std::string(60, '5'), -23.0f / 9.0f, false},
      {"3." + std::string(100, '9'), 4.0f, true},
      {"1,000,000.5" + std::string(40, '0'), 1000000.5f, true},
      {"340282346638528859811704183484516925440.0", FLT_MAX, true},
      {"0." + std::string(40, '0') + "1", 0x1.bep-137f, true},               // leading zeros all count: 1e-41
      {"1" + std::string(39, '0') + "." + std::string(50, '0'), inf, true},  // whole part too large
  };
  for (const Case& c : cases) {
    const float narrow = narrowStringToFloat(c.text.c_str());
    const float wide = stringToFloat(irr::core::stringw(c.text.c_str()));
    if (c.exact) {
      EXPECT_EQ(floatBits(narrow), floatBits(c.expected)) << c.text << " reads " << narrow;
      EXPECT_EQ(floatBits(wide), floatBits(c.expected)) << c.text << " reads " << wide;
    } else {
      EXPECT_FLOAT_EQ(narrow, c.expected) << c.text;
      EXPECT_FLOAT_EQ(wide, c.expected) << c.text;
    }
  }
}

TEST(StringToIntTest, ReadsSignedNumbersThatWrapAt32Bits) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"1,024", 1024},
      {"12ab", 12},
      {"-12ab", -12},
      {"", 0},
      {"4-2", 4},
      {"4294967296", 0},
      {"-2147483648", -2147483648LL},
      {"99999999999999999999", 1661992959},
  };
  for (const Case& c : cases)
    EXPECT_EQ(stringToInt(c.text), c.expected) << c.text;
}

TEST(SplitStringTest, KeepsOnlyTrimmedNonEmptyPieces) {
  irr::core::array<irr::core::stringw> out;
  out.push_back(L"stale");
  EXPECT_EQ(splitString(L" a ,, ,b\t,c d,", L',', out), 3u);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(w(out[0]), L"a");
  EXPECT_EQ(w(out[1]), L"b");
  EXPECT_EQ(w(out[2]), L"c d");
  EXPECT_EQ(splitString(L"", L',', out), 0u);
  EXPECT_EQ(out.size(), 0u);

  struct Case {
    const char* text;
    irr::u32 parts;
  };
  const Case resolutions[] = {{"1024 x 768", 2}, {"1024x", 1}, {"1024x768x32", 3}, {"x", 0}};
  irr::core::array<irr::core::stringc> narrow;
  for (const Case& c : resolutions)
    EXPECT_EQ(splitString(irr::core::stringc(c.text), 'x', narrow), c.parts) << c.text;
  EXPECT_EQ(narrow.size(), 0u);
}

TEST(StandardizeNumberTest, ScalesInStepsOf1000) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    double value;
    float scaled;
    const wchar_t* suffix;
  };
  const Case cases[] = {
      {1500, 1.5f, L"k"},
      {-2500, -2.5f, L"k"},
      {999, 999.0f, L""},
      {1e6, 1.0f, L"M"},
      {1e40, 1e7f, L"e33"},  // at most 11 steps
      {0.05, 0.05f, L""},
      {0.0005, 0.5f, L"m"},
      {-2e-7, -0.2f, L"u"},
      // Values that cannot be scaled come back as they are, without suffix.
      {std::numeric_limits<double>::infinity(), inf, L""},
      {-std::numeric_limits<double>::infinity(), -inf, L""},
      {1e300, inf, L""},
      {-1e300, -inf, L""},
  };
  for (const Case& c : cases) {
    float scaled = 12345;
    const std::wstring suffix = standardizeNumber(c.value, scaled);
    EXPECT_FLOAT_EQ(scaled, c.scaled) << c.value;
    EXPECT_EQ(suffix, c.suffix) << c.value;
  }

  float scaled = 12345;
  EXPECT_EQ(std::wstring(standardizeNumber(0.0, scaled)), L"");
  EXPECT_EQ(scaled, 12345.0f);  // zero leaves the output alone
  EXPECT_EQ(std::wstring(standardizeNumber(std::nan(""), scaled)), L"");
  EXPECT_TRUE(std::isnan(scaled));
}

TEST(RomanNumeralTest, WritesTheLastThreeDigits) {
  struct Case {
    unsigned number;
    const wchar_t* numeral;
  };
  const Case cases[] = {
      {1994, L"CMXCIV"},       {0, L""}, {1000, L""}, {14, L"XIV"}, {449, L"CDXLIX"}, {3888, L"DCCCLXXXVIII"},
      {4294967295u, L"CCXCV"},
  };
  for (const Case& c : cases) {
    std::wstring standard = L"stale";
    toRomanStd(c.number, standard);
    EXPECT_EQ(standard, c.numeral) << c.number;
    irr::core::stringw engine = L"stale";
    toRoman(c.number, engine);
    EXPECT_EQ(w(engine), c.numeral) << c.number;
  }
}

TEST(HashEscapeTest, DoublesAndUndoublesTagCharacters) {
  EXPECT_EQ(w(escapeHashes(L"#c:f00#red#c#")), L"##c:f00##red##c##");
  EXPECT_EQ(w(escapeHashes(L"")), L"");
  for (const wchar_t* text : {L"#", L"a##b", L"###", L"plain"})
    EXPECT_EQ(w(unescapeHashes(0, escapeHashes(text))), text) << n(text);

  struct Case {
    irr::u32 start;
    const wchar_t* text;
    const wchar_t* plain;
  };
  const Case cases[] = {
      {0, L"a##b", L"a#b"}, {0, L"###", L"##"},
      {0, L"#", L"#"},      {2, L"##a##", L"##a#"},  // before the start index the text is kept
      {1, L"###", L"##"},   {9, L"##", L"##"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(w(unescapeHashes(c.start, c.text)), c.plain) << n(c.text) << " from " << c.start;
}

// Every character is 10 pixels wide, but 'W' is 20 and '.' is 5.
class FixedWidthFont : public irr::gui::IGUIFont {
 public:
  void draw(const irr::core::stringw&, const irr::core::rect<irr::s32>&, irr::video::SColor, bool, bool,
            const irr::core::rect<irr::s32>*) override {}
  irr::core::dimension2d<irr::u32> getDimension(const wchar_t* text) const override {
    irr::u32 width = 0;
    for (; *text; ++text)
      width += *text == L'W' ? 20 : *text == L'.' ? 5 : 10;
    return {width, 12};
  }
  irr::s32 getCharacterFromPos(const wchar_t*, irr::s32) const override { return -1; }
  void setKerningWidth(irr::s32) override {}
  void setKerningHeight(irr::s32) override {}
  irr::s32 getKerningWidth(const wchar_t*, const wchar_t*) const override { return 0; }
  irr::s32 getKerningHeight() const override { return 0; }
  void setInvisibleCharacters(const wchar_t*) override {}
};

TEST(FitStringToPixelsTest, CutsWhereTheNextCharacterNoLongerFits) {
  FixedWidthFont font;
  const irr::core::stringw dots = L"...";
  struct Case {
    const wchar_t* text;
    irr::u32 width;
    bool withSuffix;
    const wchar_t* out;
    const wchar_t* remainder;
    bool cut;
  };
  const Case cases[] = {
      {L"abcd", 40, false, L"abcd", L"", false},  // exactly as wide fits
      {L"abcd", 39, false, L"abc", L"d", true},
      {L"aWb", 25, false, L"a", L"Wb", true},
      {L"abcd", 0, false, L"", L"abcd", true},
      {L"abcd", 55, true, L"abcd...", L"", false},
      {L"abcd", 45, true, L"abc...", L"d", true},
      {L"abcd", 12, true, L"..", L"abcd", true},  // the suffix alone is too wide
      {L"", 100, true, L"", L"", false},
  };
  for (const Case& c : cases) {
    irr::core::stringw out = L"stale";
    irr::core::stringw remainder = L"stale";
    const bool cut = fitStringToPixels(c.text, &font, c.width, out, &remainder, c.withSuffix ? &dots : nullptr);
    EXPECT_EQ(cut, c.cut) << n(c.text) << " in " << c.width;
    EXPECT_EQ(w(out), c.out) << n(c.text) << " in " << c.width;
    EXPECT_EQ(w(remainder), c.remainder) << n(c.text) << " in " << c.width;
  }

  irr::core::stringw out;
  EXPECT_TRUE(fitStringToPixels(L"abcd", &font, 20, out));  // no remainder wanted
  EXPECT_EQ(w(out), L"ab");
  EXPECT_FALSE(fitStringToPixels(L"abcd", nullptr, 0, out, nullptr, &dots));
  EXPECT_EQ(w(out), L"abcd...");
}

}  // namespace

}  // namespace text_conversions_test
