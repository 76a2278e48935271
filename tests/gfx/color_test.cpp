#include "gfx/base/color.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace color_test {

namespace {

TEST(ParseHexColorTest, ReadsEveryDigitCountWithOrWithoutHash) {
  struct Case {
    const wchar_t* text;
    irr::u32 argb;
  };
  const Case cases[] = {
      {L"f99", 0xFFF09090},       // one digit per channel is its high half
      {L"#f99", 0xFFF09090},
      {L"8f00", 0x80F00000},      // ARGB
      {L"#8F00", 0x80F00000},
      {L"105cb2", 0xFF105CB2},    // RRGGBB, opaque
      {L"#105CB2", 0xFF105CB2},
      {L"80ff0000", 0x80FF0000},  // AARRGGBB
      {L"#00aBcDeF", 0x00ABCDEF},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parseHexColor(c.text).color, c.argb) << irr::core::stringc(c.text).c_str();
}

TEST(ParseHexColorTest, RejectsOtherTextWithItsMessage) {
  struct Case {
    const wchar_t* text;
    const char* message;
  };
  const Case cases[] = {
      {L"12g", "contained non-hex characters"},
      {L"#12345z78", "contained non-hex characters"},  // tested before the length
      {L"##fff", "contained non-hex characters"},      // only one '#' is skipped
      {L"ff ff ff", "contained non-hex characters"},
      {L"", "was not 3, 4, 6 or 8 characters long"},
      {L"#", "was not 3, 4, 6 or 8 characters long"},
      {L"12345", "was not 3, 4, 6 or 8 characters long"},
      {L"123456789", "was not 3, 4, 6 or 8 characters long"},
  };
  for (const Case& c : cases) {
    try {
      parseHexColor(c.text);
      ADD_FAILURE() << "accepted " << irr::core::stringc(c.text).c_str();
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(std::string(error.what()), c.message) << irr::core::stringc(c.text).c_str();
    }
  }
}

}  // namespace

}  // namespace color_test
