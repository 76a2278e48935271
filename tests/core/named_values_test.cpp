#include "core/named_values.h"

#include <gtest/gtest.h>

namespace named_values_test {

namespace {

float read(NamedList& set, const wchar_t* name, float untouched = -99.0f) {
  float value = untouched;
  set.get(name, value);
  return value;
}

TEST(NamedValuesTest, GetAddDefaultAndSet) {
  NamedValues values;
  float out = 7.0f;
  EXPECT_FALSE(values.get(L"x", out));
  EXPECT_EQ(out, 7.0f);  // untouched
  EXPECT_EQ(values.getKind(), 0);

  values.addDefault(L"x", 1.0f);
  values.addDefault(L"x", 2.0f);  // present: kept
  EXPECT_EQ(read(values, L"x"), 1.0f);
  values.set(L"x", 3.0f);
  values.set(L"a", 4.0f);
  EXPECT_EQ(read(values, L"x"), 3.0f);
  EXPECT_EQ(read(values, L"a"), 4.0f);
  EXPECT_EQ(read(values, L"X"), -99.0f);  // case-sensitive
  ASSERT_EQ(values.variables().size(), 2u);
  EXPECT_EQ(values.variables()[0].name, L"a");
}

TEST(NamedValuesTest, StampChangesWithTheNamesOnly) {
  NamedValues values;
  const uint64_t fresh = values.stamp();
  EXPECT_NE(fresh, 0u);
  values.set(L"x", 1.0f);
  const uint64_t added = values.stamp();
  EXPECT_NE(added, fresh);
  values.set(L"x", 2.0f);
  values.addDefault(L"x", 3.0f);
  EXPECT_EQ(values.stamp(), added);  // values changed in place

  NamedValues copy(values);
  EXPECT_NE(copy.stamp(), values.stamp());
  EXPECT_EQ(read(copy, L"x"), 2.0f);
}

TEST(NameSpacesTest, AnswersFromTheFirstNamespaceInNameOrder) {
  NamedValues techs, traits, empty;
  techs.set(L"x", 1.0f);
  traits.set(L"x", 2.0f);
  traits.set(L"y", 3.0f);
  NameSpaces spaces;
  EXPECT_EQ(spaces.getKind(), 2);
  EXPECT_EQ(read(spaces, L"x"), -99.0f);  // nothing bound

  EXPECT_EQ(spaces.setSpace(&traits, L"Traits"), 0);
  EXPECT_EQ(spaces.setSpace(&techs, L"Techs"), 0);  // sorts before "Traits"
  EXPECT_EQ(spaces.setSpace(&empty, L"A"), 0);
  EXPECT_EQ(read(spaces, L"x"), 1.0f);
  EXPECT_EQ(read(spaces, L"y"), 3.0f);
  EXPECT_EQ(spaces.findSpace(L"Traits"), &traits);
  EXPECT_EQ(spaces.findSpace(L"traits"), nullptr);

  // Its own variables are never asked; set and addDefault do nothing.
  spaces.set(L"z", 5.0f);
  spaces.addDefault(L"z", 5.0f);
  EXPECT_EQ(read(spaces, L"z"), -99.0f);
  spaces.set(L"x", 9.0f);
  EXPECT_EQ(read(spaces, L"x"), 1.0f);

  // Rebinding replaces; null unbinds; unbinding an unknown name does nothing.
  EXPECT_EQ(spaces.setSpace(&traits, L"Techs"), 1);
  EXPECT_EQ(read(spaces, L"x"), 2.0f);
  const uint64_t before = spaces.stamp();
  EXPECT_EQ(spaces.setSpace(nullptr, L"Nope"), -1);
  EXPECT_EQ(spaces.stamp(), before);
  EXPECT_EQ(spaces.spaces().size(), 3u);
  spaces.setSpace(nullptr, L"Techs");
  spaces.setSpace(nullptr, L"Traits");
  EXPECT_NE(spaces.stamp(), before);
  EXPECT_EQ(read(spaces, L"x"), -99.0f);
  ASSERT_EQ(spaces.spaces().size(), 1u);
  EXPECT_EQ(spaces.spaces()[0].name, L"A");
}

TEST(GameSettingsTest, ReadWithFallbackAndOverwrite) {
  EXPECT_EQ(getGameSetting(L"TEST_ONLY_SETTING", 4.5f), 4.5f);
  setGameSetting(L"TEST_ONLY_SETTING", 150.0f);
  setGameSetting(L"TEST_ONLY_SETTING", 3.0f);
  EXPECT_EQ(getGameSetting(L"TEST_ONLY_SETTING", 4.5f), 3.0f);
  EXPECT_GE(NamedVar<float>::find(gameSettings, L"TEST_ONLY_SETTING"), 0);
}

}  // namespace

}  // namespace named_values_test
