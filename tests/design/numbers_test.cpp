#include "design/base/numbers.h"

#include <gtest/gtest.h>

namespace numbers_test {

namespace {

TEST(ParseWideIntegerTest, ReadsDigitsThroughSeparatorsAndIgnoresTheSign) {
  struct Case {
    const wchar_t* text;
    uint32_t expected;
  };
  const Case cases[] = {
      {L"1,250.5", 12505},  // '.' and ',' are read through
      {L"-12", 12},         // a leading '-' is accepted but not applied
      {L"12ab", 12},
      {L"", 0},
      {L"-", 0},
      {L"1-2", 1},          // a later '-' ends the number
      {L"--5", 0},
      {L" 7", 0},           // a blank is no digit
      {L"4294967295", 4294967295u},
      {L"4294967296", 0},   // wraps at 32 bits
      {L"99999999999999999999999999", 3825205247u},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parseWideInteger(c.text), c.expected) << irr::core::stringc(c.text).c_str();
}

}  // namespace

}  // namespace numbers_test
