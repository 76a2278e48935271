#include "empire/clause_option.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <variant>

#include "script/script_string.h"

namespace clause_option_test {

namespace {

using Value = std::variant<int32_t, float, const wchar_t *>;

void assign(ClauseOption &option, const Value &value) {
  if (const auto *i = std::get_if<int32_t>(&value)) {
    option.opAssign(*i);
  } else if (const auto *f = std::get_if<float>(&value)) {
    option.opAssign(*f);
  } else {
    ScriptString *text =
        new ScriptString(irr::core::stringw(std::get<const wchar_t *>(value)));
    option.opAssign(text);
    text->release();
  }
}

irr::core::stringw textOf(const ClauseOption &option) {
  ScriptString *text = option.toString();
  irr::core::stringw out = text->toStringw();
  text->release();
  return out;
}

void expectHolds(const ClauseOption &option, const Value &expected) {
  if (const auto *i = std::get_if<int32_t>(&expected)) {
    EXPECT_EQ(option.getType(), OT_INTEGER);
    EXPECT_EQ(option.toInt(), *i);
  } else if (const auto *f = std::get_if<float>(&expected)) {
    EXPECT_EQ(option.getType(), OT_FLOAT);
    EXPECT_EQ(option.toFloat(), *f);
  } else {
    EXPECT_EQ(option.getType(), OT_STRING);
    EXPECT_EQ(textOf(option),
              irr::core::stringw(std::get<const wchar_t *>(expected)));
  }
}

struct ConversionCase {
  uint32_t declared;
  Value assigned;
  Value expected;
};

TEST(ClauseOptionTest, AssignmentConvertsToTheDeclaredType) {
  const ConversionCase cases[] = {
      {OT_INTEGER, L"-7", int32_t{-7}},
      {OT_INTEGER, L"3-4", int32_t{3}},
      {OT_INTEGER, L"12ab", int32_t{12}},
      {OT_INTEGER, L"-7x", int32_t{-7}},
      {OT_INTEGER, L"1.5", int32_t{15}},
      {OT_INTEGER, L"", int32_t{0}},
      {OT_FLOAT, int32_t{2}, 2.0f},
      {OT_INTEGER, 2.9f, int32_t{2}},
      {OT_INTEGER, -2.9f, int32_t{-2}},
      {OT_STRING, 0.1f, L"0.100000"},
      {OT_STRING, int32_t{-12}, L"-12"},
      {OT_FLOAT, L".25", 0.25f},
      {OT_INTEGER, 3.0e9f, int32_t{2147483647}},
  };
  for (const ConversionCase &c : cases) {
    SCOPED_TRACE(c.declared);
    ClauseOption option;
    option.setDeclaredType(c.declared);
    assign(option, c.assigned);
    expectHolds(option, c.expected);
  }
}

TEST(ClauseOptionTest, UntypedTakesTheAssignedType) {
  ClauseOption option;
  EXPECT_EQ(option.getType(), OT_INTEGER);
  EXPECT_EQ(option.toInt(), 0);
  assign(option, int32_t{3});
  expectHolds(option, int32_t{3});
  assign(option, 2.5f);
  expectHolds(option, 2.5f);
  assign(option, L"abc");
  expectHolds(option, L"abc");
}

TEST(ClauseOptionTest, StringsNullsAndUnknownTypes) {
  ClauseOption option;
  assign(option, L"5");
  EXPECT_EQ(option.toInt(), 0);
  EXPECT_EQ(option.toFloat(), 0.0f);

  // Assigning the held string to itself keeps it alive.
  option.opAssign(option.getString());
  expectHolds(option, L"5");

  option.setDeclaredType(OT_INTEGER);
  option.opAssign(static_cast<const ScriptString *>(nullptr));
  EXPECT_EQ(option.getType(), OT_NONE);
  EXPECT_EQ(textOf(option), L"");

  ClauseOption unknown;
  unknown.setDeclaredType(4);
  assign(unknown, int32_t{1});
  EXPECT_EQ(unknown.getType(), OT_NONE);
  assign(unknown, L"x");
  EXPECT_EQ(unknown.getType(), OT_NONE);
}

TEST(ClauseOptionTest, CopiesShareStringsAndNames) {
  ClauseOption original;
  original.setName(L"text");
  assign(original, L"Friendship");
  {
    ClauseOption copy(original);
    EXPECT_EQ(copy.getString(), original.getString());
    EXPECT_EQ(copy.getName(), original.getName());
  }
  // The copy released what it took; the original still holds both.
  expectHolds(original, L"Friendship");
  EXPECT_EQ(original.getName()->toStringw(), L"text");
  original.setName(L"other");
  EXPECT_EQ(original.getName()->toStringw(), L"other");
}

TEST(ClauseOptionTest, TextForms) {
  const std::pair<float, const wchar_t *> floats[] = {
      {2.5f, L"2.5"},   {100.0f, L"100"},    {0.25f, L".25"},
      {-0.5f, L"-0.5"}, {0.0001f, L".0001"}, {1e-7f, L"0"},
      {0.0f, L"0"},     {-0.0f, L"0"},       {-1e-7f, L"0"},
  };
  for (const auto &[value, text] : floats) {
    ClauseOption option;
    option.opAssign(value);
    EXPECT_EQ(textOf(option), irr::core::stringw(text)) << value;
  }
  ClauseOption integer;
  integer.opAssign(int32_t{-12});
  EXPECT_EQ(textOf(integer), L"-12");
}

TEST(ClauseOptionTest, FloatTextReadsBackAsTheSameFloat) {
  for (float value :
       {2.5f, 100.0f, 0.25f, -0.5f, 87.5f, 1e20f, 577.446716f, 3.4028235e38f}) {
    ClauseOption option;
    option.setDeclaredType(OT_FLOAT);
    option.opAssign(value);
    ScriptString *text = option.toString();
    option.opAssign(text);
    text->release();
    EXPECT_EQ(option.toFloat(), value) << value;
  }
}

TEST(ClauseOptionTest, RandomFloatsKeepTheirText) {
  std::mt19937 random(30);
  std::uniform_int_distribution<uint32_t> bits;
  int checked = 0;
  while (checked < 100000) {
    const uint32_t word = bits(random);
    float value;
    std::memcpy(&value, &word, sizeof(value));
    if (!std::isfinite(value))
      continue;
    ++checked;
    const irr::core::stringw first = clauseFloatText(value);
    const irr::core::stringw second = clauseFloatText(clauseTextToFloat(first));
    ASSERT_EQ(first, second) << value;
  }
}

} // namespace

}  // namespace clause_option_test
