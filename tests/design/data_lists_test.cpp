// The list helpers of the data readers: the bracket-aware comma splitter,
// index literals, "Name[formula]" elements, and the stored value readers.
#include "design/effects/data_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/names.h"
#include "support/save_bytes.h"

namespace data_lists_test {

namespace {

std::vector<std::string> pieces(const wchar_t* text, wchar_t open, wchar_t close) {
  irr::core::array<irr::core::stringw> out;
  out.push_back(L"left over");
  const irr::u32 count = splitOutsideBrackets(text, open, close, out);
  std::vector<std::string> result;
  for (irr::u32 i = 0; i < out.size(); ++i)
    result.push_back(wideToStdString(out[i].c_str()));
  EXPECT_EQ(count, out.size());
  return result;
}

TEST(DataLists, SplitOutsideBrackets) {
  const struct {
    const wchar_t* text;
    wchar_t open;
    wchar_t close;
    std::vector<std::string> expected;
  } cases[] = {
      {L"A[1,2], B[3]", L'[', L']', {"A[1,2]", "B[3]"}},
      {L"a,,b", L'[', L']', {"a", ",b"}},
      {L",a", L'[', L']', {",a"}},
      {L"a,b", L'[', L']', {"a", "b"}},
      {L"a, ,b", L'[', L']', {"a", "b"}},
      {L"a[1,2, b", L'[', L']', {"a[1,2, b"}},
      {L"[1,2],b", L'[', L']', {"[1", "2]", "b"}},  // a piece's first character opens nothing
      {L"x[a[1,2],3], y", L'[', L']', {"x[a[1,2],3]", "y"}},
      {L"a,", L'[', L']', {"a"}},
      {L"", L'[', L']', {}},
      {L"f(1,2), g ", L'(', L')', {"f(1,2)", "g"}},
      {L"f[1,2]", L'(', L')', {"f[1", "2]"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wideToStdString(c.text));
    EXPECT_EQ(pieces(c.text, c.open, c.close), c.expected);
  }
}

TEST(DataLists, FindNonNumberFrom1) {
  const struct {
    const wchar_t* text;
    irr::s32 expected;
  } cases[] = {
      {L"i1", -1}, {L"i", -1}, {L"", -1}, {L"i1x", 2}, {L"ix", 1}, {L"i-1.5", -1}, {L"interval", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wideToStdString(c.text));
    EXPECT_EQ(findNonNumberFrom1(c.text), c.expected);
  }
}

TEST(DataLists, SplitNamedFormulaItem) {
  const struct {
    const wchar_t* item;
    bool accepted;
    const char* name;
    const char* formula;
  } cases[] = {
      {L"Amount[3 * x]", true, "Amount", "3 * x"},
      {L"  Rate [ 2 ]  ", true, "Rate", "2"},
      {L"Amount", true, "Amount", "0"},      // a bare name
      {L"Amount[", true, "Amount", "0"},     // no closing bracket
      {L"Amount[2", true, "Amount", "0"},
      {L"Amount[ ]", true, "Amount", "0"},   // an empty formula
      {L"Amount[min(1,2)]x", true, "Amount", "min(1,2)"},
      {L"[3]", false, "", ""},
      {L"A[1[2]]", false, "", ""},           // a second '[' before the ']'
      {L"A]1[", false, "", ""},              // ']' before '['
      {L"A]", false, "", ""},
      {L"  ", false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wideToStdString(c.item));
    irr::core::stringw name = L"unchanged";
    irr::core::stringw formulaText = L"unchanged";
    EXPECT_EQ(splitNamedFormulaItem(c.item, name, formulaText), c.accepted);
    EXPECT_EQ(wideToStdString(name.c_str()), c.accepted ? c.name : "unchanged");
    EXPECT_EQ(wideToStdString(formulaText.c_str()), c.accepted ? c.formula : "unchanged");
  }
}

const SaveFileError kEOF{4, "Unexpected EOF"};

TEST(DataLists, ReadFloatList) {
  const Bytes whole = withHeader(hexBytes("02 00 00 00 80 3F 00 00 20 C0"));
  auto in = readerOver(whole);
  uint16_t count = 0;
  float* values = nullptr;
  readFloatList(*in, count, values);
  ASSERT_EQ(count, 2);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values[0], 1.0f);
  EXPECT_EQ(values[1], -2.5f);
  delete[] values;

  const Bytes empty = withHeader(hexBytes("00 00"));
  in = readerOver(empty);
  count = 7;
  values = reinterpret_cast<float*>(&count);
  readFloatList(*in, count, values);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(values, nullptr);

  // Three announced, two there: the outputs keep what they held.
  const Bytes shortList = withHeader(hexBytes("03 00 00 00 80 3F 00 00 20 C0"));
  in = readerOver(shortList);
  count = 9;
  values = nullptr;
  EXPECT_EQ(saveErrorOf([&] { readFloatList(*in, count, values); }), kEOF);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(values, nullptr);
}

TEST(DataLists, ReadCausedEffectRecord) {
  Bytes body = hexBytes("00 00 A0 40 00 00 80 3F 00 00 00 40 00 00 40 40 00 00 80 40");
  const Bytes whole = withHeader(body);
  auto in = readerOver(whole);
  float duration = 0.0f;
  float values[4] = {};
  readCausedEffectRecord(*in, duration, values);
  EXPECT_EQ(duration, 5.0f);
  EXPECT_EQ(values[0], 1.0f);
  EXPECT_EQ(values[3], 4.0f);

  for (size_t size : {size_t{19}, size_t{3}, size_t{0}}) {
    SCOPED_TRACE(size);
    const Bytes cut = withHeader(Bytes(body.begin(), body.begin() + static_cast<long>(size)));
    in = readerOver(cut);
    EXPECT_EQ(saveErrorOf([&] { readCausedEffectRecord(*in, duration, values); }), kEOF);
  }
}

}  // namespace

}  // namespace data_lists_test
