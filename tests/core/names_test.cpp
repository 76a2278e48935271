#include "core/names.h"

#include <gtest/gtest.h>

#include <climits>
#include <list>
#include <random>
#include <string>
#include <vector>

namespace names_test {

namespace {

using FloatVar = NamedVar<float>;

std::wstring w(const irr::core::stringw& s) { return std::wstring(s.c_str(), s.size()); }
std::string n(const irr::core::stringw& s) { return irr::core::stringc(s).c_str(); }

int order(const std::wstring& a, const std::wstring& b) {
  return compareNames(irr::core::stringw(a.data(), a.size()),
                      irr::core::stringw(b.data(), b.size()));
}

std::vector<std::wstring> namesOf(const FloatVar::Registry& registry) {
  std::vector<std::wstring> names;
  for (irr::u32 i = 0; i < registry.size(); ++i)
    names.push_back(w(registry[i].name));
  return names;
}

TEST(NamedVarTest, FirstFindSortsAnAppendedRegistryOnce) {
  FloatVar::Registry registry;
  registry.push_back(FloatVar(L"b", 2));
  registry.push_back(FloatVar(L"a", 1));
  registry.push_back(FloatVar(L"c", 3));

  EXPECT_EQ(FloatVar::find(registry, L"b"), 1);
  EXPECT_EQ(namesOf(registry), (std::vector<std::wstring>{L"a", L"b", L"c"}));

  // Marked sorted now: later lookups search without sorting, so an order
  // changed behind the registry's back stays as it is.
  std::swap(registry[0], registry[2]);
  EXPECT_EQ(FloatVar::find(registry, L"d"), -1);
  EXPECT_EQ(namesOf(registry), (std::vector<std::wstring>{L"c", L"b", L"a"}));

  // An append clears the mark, and the next find sorts again.
  registry.push_back(FloatVar(L"0", 0));
  EXPECT_EQ(FloatVar::find(registry, L"a"), 1);
  EXPECT_EQ(namesOf(registry), (std::vector<std::wstring>{L"0", L"a", L"b", L"c"}));
}

TEST(NamedVarTest, FindOnTinyRegistries) {
  FloatVar::Registry registry;
  EXPECT_EQ(FloatVar::find(registry, L"a"), -1);
  EXPECT_EQ(FloatVar::findNoSort(registry, L"a"), -1);
  registry.push_back(FloatVar(L"only", 1));
  EXPECT_EQ(FloatVar::find(registry, L"only"), 0);
  EXPECT_EQ(FloatVar::find(registry, L"other"), -1);
}

TEST(NamedVarTest, GetOrAddInsertsAtTheSortedPlaceWithAZeroValue) {
  FloatVar::Registry registry;
  FloatVar::getOrAdd(registry, L"a").value = 1;
  FloatVar::getOrAdd(registry, L"c").value = 3;

  FloatVar& added = FloatVar::getOrAdd(registry, L"b");
  EXPECT_EQ(w(added.name), L"b");
  EXPECT_EQ(added.value, 0.0f);
  EXPECT_EQ(namesOf(registry), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_EQ(FloatVar::find(registry, L"b"), 1);

  added.value = 7;
  EXPECT_EQ(FloatVar::getOrAdd(registry, L"b").value, 7.0f);  // found, unchanged
  EXPECT_EQ(registry.size(), 3u);

  // Into an unsorted registry: sorted first, then inserted in order.
  FloatVar::Registry appended;
  appended.push_back(FloatVar(L"z", 1));
  appended.push_back(FloatVar(L"m", 1));
  FloatVar::getOrAdd(appended, L"q");
  EXPECT_EQ(namesOf(appended), (std::vector<std::wstring>{L"m", L"q", L"z"}));
}

TEST(NamedVarTest, InterleavedGetOrAddKeepsEveryNameOnceInOrder) {
  std::mt19937 random(12345);
  FloatVar::Registry registry;
  std::vector<std::wstring> added;
  for (int i = 0; i < 400; ++i) {
    std::wstring name;
    for (int length = 1 + random() % 4; length > 0; --length)
      name += static_cast<wchar_t>(L"aAbB\u00e9\u4e00"[random() % 6]);
    FloatVar::getOrAdd(registry, name.c_str()).value += 1;
    added.push_back(name);
  }
  for (irr::u32 i = 1; i < registry.size(); ++i)
    EXPECT_LT(compareNames(registry[i - 1].name, registry[i].name), 0) << "at " << i;
  float total = 0;
  for (irr::u32 i = 0; i < registry.size(); ++i)
    total += registry[i].value;
  EXPECT_EQ(total, 400.0f);
  for (const std::wstring& name : added) {
    const irr::s32 index = FloatVar::findNoSort(registry, name.c_str());
    ASSERT_GE(index, 0);
    EXPECT_EQ(w(registry[index].name), name);
  }
}

TEST(NamedVarTest, WideNamesOrderByUtf16CodeUnits) {
  struct Case {
    std::wstring lower;
    std::wstring higher;
  };
  const Case cases[] = {
      {L"Zeta", L"alpha"},  // upper case before lower case
      {L"ab", L"abc"},      // a name before every longer name that begins with it
      {L"", L"a"},
      {L"a\u00e9", L"a\uffff"},
      {L"\ud7ff", std::wstring(1, wchar_t(0x1F600))},  // U+1F600 is D83D DE00 in UTF-16
      {std::wstring(1, wchar_t(0x1F600)), L"\uff00"},   // ... so it sorts before U+FF00
      {std::wstring(1, wchar_t(0x1F600)), std::wstring(1, wchar_t(0x1F601))},
  };
  for (const Case& c : cases) {
    EXPECT_LT(order(c.lower, c.higher), 0) << n(c.lower.c_str());
    EXPECT_GT(order(c.higher, c.lower), 0) << n(c.lower.c_str());
  }
  EXPECT_EQ(order(L"same", L"same"), 0);

  // Texts with the same UTF-16 form are still distinct names, in a fixed order.
  const wchar_t pair[] = {wchar_t(0xD83D), wchar_t(0xDE00), 0};
  const wchar_t single[] = {wchar_t(0x1F600), 0};
  const int pairFirst = order(pair, single);
  EXPECT_NE(pairFirst, 0);
  EXPECT_EQ(order(single, pair), -pairFirst);
}

TEST(NamedVarTest, NarrowNamesOrderBySignedBytes) {
  using Setting = NamedVar<irr::core::stringc, irr::core::stringc>;
  EXPECT_LT(compareNames(irr::core::stringc("Zeta"), irr::core::stringc("alpha")), 0);
  EXPECT_LT(compareNames(irr::core::stringc("ab"), irr::core::stringc("abc")), 0);
  // A byte from 0x80 up is negative, below the end of the shorter name.
  EXPECT_LT(compareNames(irr::core::stringc("ab\xc3"), irr::core::stringc("ab")), 0);

  Setting::Registry keys;
  Setting::getOrAddString(keys, "key").value = "value";
  EXPECT_EQ(Setting::getOrAddString(keys, "Key").value, irr::core::stringc(""));
  EXPECT_EQ(Setting::find(keys, "key"), 1);
  EXPECT_EQ(keys[1].value, irr::core::stringc("value"));
}

// A stand-in for the common string list: stable copies that outlive the registry.
struct TestPool {
  std::list<irr::core::stringw> strings;
  int calls = 0;
  const irr::core::stringw* intern(const irr::core::stringw& text) {
    ++calls;
    for (const irr::core::stringw& s : strings)
      if (s == text)
        return &s;
    strings.push_back(text);
    return &strings.back();
  }
};

TEST(PtrNamedVarTest, GetOrAddTakesTheNameFromTheInternFunction) {
  struct Cost {
    float amount;
    int uses;
  };
  using CostVar = PtrNamedVar<Cost>;
  TestPool pool;
  auto intern = [&](const irr::core::stringw& text) { return pool.intern(text); };

  CostVar::Registry costs;
  CostVar::getOrAdd(costs, L"Ore", intern).value = {2.5f, 1};
  CostVar& fuel = CostVar::getOrAdd(costs, L"Fuel", intern);
  EXPECT_EQ(fuel.name, pool.intern(L"Fuel"));  // the pooled copy itself
  EXPECT_EQ(fuel.value.amount, 0.0f);
  EXPECT_EQ(fuel.value.uses, 0);

  pool.calls = 0;
  EXPECT_EQ(CostVar::getOrAdd(costs, L"Ore", intern).value.amount, 2.5f);
  EXPECT_EQ(pool.calls, 0);  // found entries intern nothing
  EXPECT_EQ(CostVar::find(costs, L"Fuel"), 0);
  EXPECT_EQ(CostVar::findNoSort(costs, L"Ore"), 1);

  auto noPool = [](const irr::core::stringw&) -> const irr::core::stringw* { return nullptr; };
  EXPECT_THROW(CostVar::getOrAdd(costs, L"Gas", noPool), std::logic_error);
  EXPECT_EQ(costs.size(), 2u);
}

TEST(FindSortedByObjectNameTest, FindsEveryObjectAndNothingElse) {
  struct Layout {
    irr::core::stringw name;
  };
  Layout layouts[] = {{L"Cruiser"}, {L"Frigate"}, {L"Scout"}, {L"Station"}, {L"miner"}};
  irr::core::array<Layout*> sorted;
  EXPECT_EQ(findSortedByObjectName(sorted, L"Scout"), -1);
  for (Layout& layout : layouts) {
    sorted.push_back(&layout);
    for (irr::u32 i = 0; i < sorted.size(); ++i)
      EXPECT_EQ(findSortedByObjectName(sorted, sorted[i]->name), static_cast<irr::s32>(i));
    for (const wchar_t* absent : {L"", L"A", L"Destroyer", L"Scouts", L"zz"})
      EXPECT_EQ(findSortedByObjectName(sorted, absent), -1) << n(absent);
  }
}

TEST(SplitQuotedTest, QuotedPiecesKeepTheirOpeningQuote) {
  struct Case {
    const wchar_t* text;
    wchar_t separator;
    bool trim;
    std::vector<std::wstring> pieces;
  };
  const Case cases[] = {
      {L"word \"two words\" last", L' ', true, {L"word", L"\"two words", L"last"}},
      {L"word \"two words\" last", L' ', false, {L"word", L"\"two words", L"last"}},
      {L"say \" padded \"", L' ', true, {L"say", L"\" padded"}},
      {L"say \" padded \"", L' ', false, {L"say", L"\" padded "}},
      {L"a,,b,", L',', true, {L"a", L"b"}},          // no empty pieces
      {L"a, ,b", L',', false, {L"a", L" ", L"b"}},
      {L"a, ,b", L',', true, {L"a", L"b"}},
      {L"   ", L' ', true, {}},
      {L"   ", L' ', false, {}},
      {L"", L' ', true, {}},
      {L"open \"to the end", L' ', true, {L"open", L"\"to the end"}},
      {L"ab\"c d\"e", L' ', true, {L"ab\"c d", L"e"}},  // a quote inside a piece
      {L"\"\"", L' ', true, {L"\""}},
  };
  for (const Case& c : cases) {
    irr::core::array<irr::core::stringw> out;
    out.push_back(L"stale");
    const irr::u32 count = splitQuoted(c.text, c.separator, out, c.trim);
    std::vector<std::wstring> pieces;
    for (irr::u32 i = 0; i < out.size(); ++i)
      pieces.push_back(w(out[i]));
    EXPECT_EQ(count, out.size());
    EXPECT_EQ(pieces, c.pieces) << "text: " << n(c.text) << " trim: " << c.trim;
  }
}

TEST(TokenTextTest, UnquoteAndNarrow) {
  struct Case {
    const wchar_t* text;
    const wchar_t* unquoted;
  };
  const Case cases[] = {
      {L"\"", L"\""},  // a lone quote stays
      {L"\"\"", L""},
      {L"\"two words\"", L"two words"},
      {L"\"open", L"open"},
      {L"plain\"", L"plain\""},
      {L"", L""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(w(unquoteString(c.text)), c.unquoted) << n(c.text);

  const wchar_t mixed[] = {L'A', wchar_t(0x142), wchar_t(0x1F643), 0};
  EXPECT_EQ(wideToStdString(mixed), "ABC");  // low 8 bits only
  EXPECT_EQ(wideToStdString(nullptr), "");
}

TEST(WideStringToIntTest, ReadsSignedNumbersThatWrapAt32Bits) {
  struct Case {
    const wchar_t* text;
    int32_t expected;
  };
  const Case cases[] = {
      {L"1,250", 1250},
      {L"3.5", 35},
      {L"-12", -12},
      {L"-7x", -7},
      {L"4-2", 4},
      {L"", 0},
      {L"-", 0},
      {L"x12", 0},
      {L"2147483647", INT_MAX},
      {L"2147483648", INT_MIN},
      {L"-2147483648", INT_MIN},
      {L"4294967297", 1},
      {L"-99999999999999999999999999999999", 1},  // -(10^32 - 1), modulo 2^32
  };
  for (const Case& c : cases)
    EXPECT_EQ(wideStringToInt(c.text), c.expected) << n(c.text);
}

}  // namespace

}  // namespace names_test
