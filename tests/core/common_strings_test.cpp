#include "core/common_strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/save_bytes.h"
#include "support/scratch_dir.h"

namespace common_strings_test {

namespace {

std::vector<std::wstring> texts(const CommonStringList& pool) {
  std::vector<std::wstring> out;
  for (const irr::core::stringw* text : pool.snapshot())
    out.emplace_back(text->c_str(), text->size());
  return out;
}


TEST(CommonStringList, InterningKeepsOneSortedCopyOfEachText) {
  CommonStringList pool;
  EXPECT_EQ(pool.find(L"a"), -1);

  const irr::core::stringw* b = pool.intern(L"b");
  pool.intern(L"a");
  pool.intern(L"ab");
  EXPECT_EQ(texts(pool), (std::vector<std::wstring>{L"a", L"ab", L"b"}));
  EXPECT_EQ(pool.find(L"ab"), 1);
  EXPECT_EQ(pool.intern(L"b"), b);
  EXPECT_TRUE(*b == L"b");

  pool.intern(L"B");
  EXPECT_EQ(texts(pool), (std::vector<std::wstring>{L"B", L"a", L"ab", L"b"}));
  EXPECT_EQ(pool.find(L"ab"), 2);
  EXPECT_EQ(pool.find(L"abc"), -1);
}

TEST(CommonStringList, NameRegistriesInternThroughThePool) {
  PtrNamedVar<float>::Registry stats;
  PtrNamedVar<float>::getOrAdd(stats, L"Ore", internCommonString).value = 2;
  EXPECT_EQ(stats[0].name, commonStringList().intern(L"Ore"));
}

// Threads intern the same random texts at once, half of them in the other
// order, so most new texts race: the pool ends sorted with one entry per
// text, and every thread got that entry for each text.
TEST(CommonStringList, ThreadsInterningAtOnceKeepThePoolSortedWithoutDuplicates) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 10000;
  std::mt19937 random(1234);
  const wchar_t letters[] = {L'a', L'b', L'c', L'd', 0xE9, 0x3A9, static_cast<wchar_t>(0x1F680)};
  std::vector<irr::core::stringw> candidates;
  for (int i = 0; i < kPerThread; ++i) {
    irr::core::stringw text;
    for (unsigned n = 1 + random() % 7; n > 0; --n)
      text.append(letters[random() % 7]);
    candidates.push_back(text);
  }
  std::vector<std::vector<int>> picks(kThreads);
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kPerThread; ++i)
      picks[t].push_back(t % 2 == 0 ? i : kPerThread - 1 - i);

  CommonStringList pool;
  std::vector<std::vector<const irr::core::stringw*>> got(kThreads);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      while (!go.load())
        std::this_thread::yield();
      for (int pick : picks[t])
        got[t].push_back(pool.intern(candidates[pick]));
    });
  go.store(true);
  for (std::thread& thread : threads)
    thread.join();

  const std::vector<const irr::core::stringw*> entries = pool.snapshot();
  for (size_t i = 1; i < entries.size(); ++i)
    ASSERT_LT(compareNames(*entries[i - 1], *entries[i]), 0) << "at " << i;
  std::set<std::wstring> distinct;
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kPerThread; ++i) {
      const irr::core::stringw& text = candidates[picks[t][i]];
      const irr::core::stringw* entry = got[t][i];
      ASSERT_EQ(compareNames(*entry, text), 0);
      ASSERT_EQ(entry, entries[pool.find(text)]);
      distinct.emplace(text.c_str(), text.size());
    }
  EXPECT_EQ(entries.size(), distinct.size());
}

// ---------------------------------------------------------------------------
// The section and references

TEST(CommonStringsSection, BytesAndReferencesReadBack) {
  CommonStringList pool;
  pool.intern(L"b");
  pool.intern(L"a");
  auto out = SaveStream::createInMemory();
  writeCommonStringsSection(*out, pool);
  saveCommonString(*out, L"b");
  saveCommonString(*out, L"a");
  EXPECT_EQ(hexText(writtenBody(*out)), hex("02 00 00 00 01 00 00 61 01 00 00 62 EF BE AD DE 01 01 00"));

  CommonStringList loaded;
  loaded.intern(L"c");
  const Bytes file = out->memoryBytes();
  auto in = readerOver(file);
  readCommonStringsSection(*in, loaded);
  const irr::core::stringw* first = readCommonString(*in);
  EXPECT_TRUE(*first == L"b");
  EXPECT_EQ(first, loaded.intern(L"b"));
  EXPECT_TRUE(*readCommonString(*in) == L"a");
  EXPECT_EQ(texts(loaded), (std::vector<std::wstring>{L"a", L"b", L"c"}));
}

// A save hook may intern a string after the section was written; a text that
// orders first moves every live index, but references keep the section's.
TEST(CommonStringsSection, StringsInternedDuringTheSaveDoNotShiftReferences) {
  CommonStringList pool;
  pool.intern(L"ore");
  pool.intern(L"stone");
  auto out = SaveStream::createInMemory();
  EXPECT_EQ(saveErrorOf([&] { saveCommonString(*out, L"ore"); }), kSaveErrorInvalidCommonString);
  writeCommonStringsSection(*out, pool);

  pool.intern(L"alloy");
  EXPECT_EQ(pool.find(L"stone"), 2);
  saveCommonString(*out, L"stone");
  EXPECT_EQ(saveErrorOf([&] { saveCommonString(*out, L"alloy"); }), kSaveErrorInvalidCommonString);

  const Bytes file = out->memoryBytes();
  auto in = readerOver(file);
  CommonStringList loaded;
  readCommonStringsSection(*in, loaded);
  EXPECT_TRUE(*readCommonString(*in) == L"stone");
  EXPECT_EQ(in->remaining(), 0u);
}

TEST(CommonStringsSection, AnEmptyPoolIsNotSaved) {
  CommonStringList pool;
  auto out = SaveStream::createInMemory();
  EXPECT_EQ(saveErrorOf([&] { writeCommonStringsSection(*out, pool); }), kSaveErrorCommonStringsCount);
}

TEST(CommonStringsSection, DamagedSectionsAndReferences) {
  const struct {
    const char* name;
    const char* bytes;  // after the header
    SaveFileError error;
  } cases[] = {
      {"count cut short", "01 00", kSaveErrorEOF},
      {"count 0", "00 00 00 00 EF BE AD DE", kSaveErrorCommonStringsCount},
      {"wrong marker", "01 00 00 00 01 00 00 61 EE BE AD DE", kSaveErrorCommonStringsMarker},
      {"string cut short", "02 00 00 00 01 00 00 61 05 00 00 62 EF BE AD DE", kSaveErrorEOF},
      {"marker cut short", "01 00 00 00 01 00 00 61 EF BE", kSaveErrorEOF},
      {"reference equal to the count", "01 00 00 00 01 00 00 61 EF BE AD DE 01 01", kSaveErrorInvalidCommonString},
      {"reference beyond 32 bits of strings", "01 00 00 00 01 00 00 61 EF BE AD DE 0F FF FF FF FF",
       kSaveErrorInvalidCommonString},
      {"reference cut short", "01 00 00 00 01 00 00 61 EF BE AD DE 02", kSaveErrorEOF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = withHeader(hexBytes(c.bytes));
    auto in = readerOver(file);
    CommonStringList pool;
    EXPECT_EQ(saveErrorOf([&] {
                readCommonStringsSection(*in, pool);
                readCommonString(*in);
              }),
              c.error);
  }
}

TEST(CommonStringsSection, AHugeCountInASmallFileIsRefusedAtOnce) {
  Bytes body = hexBytes("FF FF FF FF");
  while (body.size() < 92)
    body.push_back(body.size() % 4 == 0 ? 1 : 0x61);
  const std::filesystem::path dir = scratchDir();
  const std::filesystem::path path = dir / "huge.qvs";
  const Bytes bytes = withHeader(body);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  ASSERT_EQ(std::filesystem::file_size(path), 100u);

  auto in = openSaveForRead((dir / "huge").c_str());
  CommonStringList pool;
  EXPECT_EQ(saveErrorOf([&] { readCommonStringsSection(*in, pool); }), kSaveErrorEOF);
  EXPECT_EQ(pool.size(), 0u);  // not one string was read
}

// ---------------------------------------------------------------------------
// Named-value lists

class NamedValueListTest : public ::testing::Test {
 protected:
  // A section where "Ore" is the string at index 3, and its bytes.
  void SetUp() override {
    for (const wchar_t* name : {L"Ore", L"Food", L"Metal", L"Gas"})
      pool.intern(name);
    out = SaveStream::createInMemory();
    writeCommonStringsSection(*out, pool);
  }
  std::unique_ptr<SaveStream> readerAfterSection(const Bytes& file) {
    auto in = readerOver(file);
    readCommonStringsSection(*in, loaded);
    return in;
  }
  static NamedValueList listOf(const irr::core::stringw* name, float value) {
    NamedValueList list;
    list.push_back(PtrNamedVar<float>(name, value));
    return list;
  }

  CommonStringList pool;
  CommonStringList loaded;
  std::unique_ptr<SaveStream> out;
};

TEST_F(NamedValueListTest, WrittenByNameIndexAndReadBack) {
  const size_t sectionEnd = out->memoryBytes().size();
  writeNamedValueList(*out, listOf(pool.intern(L"Ore"), 2.5f));
  const Bytes& all = out->memoryBytes();
  EXPECT_EQ(hexText(Bytes(all.begin() + sectionEnd, all.end())), hex("01 00 01 03 00 00 20 40"));

  const Bytes file = all;
  auto in = readerAfterSection(file);
  NamedValueList list = listOf(loaded.intern(L"Food"), 1);
  list.push_back(PtrNamedVar<float>(loaded.intern(L"Gas"), 7));
  readNamedValueList(*in, list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, loaded.intern(L"Ore"));
  EXPECT_EQ(list[0].value, 2.5f);
  EXPECT_EQ(PtrNamedVar<float>::find(list, L"Ore"), 0);
}

TEST_F(NamedValueListTest, CountZeroAndDamagedListsLeaveTheTargetUnchanged) {
  const size_t sectionEnd = out->memoryBytes().size();
  const struct {
    const char* name;
    const char* bytes;
    SaveFileError error;
  } cases[] = {
      {"count 0", "00 00", {0, "no error"}},
      {"index equal to the count", "01 00 01 04 00 00 20 40", kSaveErrorInvalidCommonString},
      {"second entry invalid", "02 00 00 00 00 80 3F 01 09 00 00 80 3F", kSaveErrorInvalidCommonString},
      {"value cut short", "01 00 00 00 00", kSaveErrorEOF},
      {"huge count", "FF FF 00 00 00 80 3F", kSaveErrorEOF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file(out->memoryBytes().begin(), out->memoryBytes().begin() + sectionEnd);
    const Bytes list = hexBytes(c.bytes);
    file.insert(file.end(), list.begin(), list.end());
    auto in = readerAfterSection(file);
    NamedValueList target = listOf(loaded.intern(L"Gas"), 4);
    EXPECT_EQ(saveErrorOf([&] { readNamedValueList(*in, target); }), c.error);
    ASSERT_EQ(target.size(), 1u);
    EXPECT_EQ(target[0].name, loaded.intern(L"Gas"));
    EXPECT_EQ(target[0].value, 4.0f);
  }
}

TEST_F(NamedValueListTest, NamesOutsideTheSectionAndOversizedListsAreRefused) {
  CommonStringList other;
  EXPECT_EQ(saveErrorOf([&] { writeNamedValueList(*out, listOf(other.intern(L"Quartz"), 1)); }),
            kSaveErrorInvalidCommonString);
  NamedValueList tooLong;
  for (int i = 0; i < 65536; ++i)
    tooLong.push_back(PtrNamedVar<float>(pool.intern(L"Ore"), 1));
  EXPECT_EQ(saveErrorOf([&] { writeNamedValueList(*out, tooLong); }), kSaveErrorTooManyEntries);
}

}  // namespace

}  // namespace common_strings_test
