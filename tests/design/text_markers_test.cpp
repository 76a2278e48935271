#include "design/base/text_markers.h"

#include <gtest/gtest.h>

#include <string>

namespace text_markers_test {

namespace {

TEST(ExpandTabMarkersTest, DecodesEachEscapeOnce) {
  struct Case {
    const wchar_t* text;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"plain text", L"plain text"},
      {L"a\\nb\\rc", L"a\nb\rc"},
      {L"col\\tumn", L"col#tab#umn"},
      {L"\\q\\\"", L"q\""},         // any other character stays without its backslash
      {L"a\\\\nb", L"a\\nb"},        // an escaped backslash is not read again
      {L"end\\", L"end\\"},          // a final backslash stays
      {L"\\\\\\", L"\\\\"},          // escaped backslash, then a final one
      {L"", L""},
  };
  for (const Case& c : cases) {
    irr::core::stringw text(c.text);
    expandTabMarkers(text);
    EXPECT_EQ(std::wstring(text.c_str(), text.size()), std::wstring(c.expected))
        << "text: " << irr::core::stringc(c.text).c_str();
  }
}

}  // namespace

}  // namespace text_markers_test
