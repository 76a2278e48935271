#include "core/locale.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/scratch_files.h"
#include "support/log_capture.h"

namespace locale_test {

using irr::core::stringc;
using irr::core::stringw;
using testing_files::scratchFolder;
using testing_files::writeFile;

namespace {

class LocaleTest : public ::testing::Test {
 protected:
  std::string folder_ = scratchFolder();

  stringc file(const std::string& name, const std::string& text) {
    writeFile(folder_ + name, text);
    return (folder_ + name).c_str();
  }
};

std::wstring textOf(const wchar_t* key) { return getLocalizedText(key); }

TEST_F(LocaleTest, LanguageFileOverEnglish) {
  ASSERT_TRUE(loadLocaleFile(file("english.txt", "#Hello: Hello\n#Bye: Goodbye\n"), true));
  ASSERT_TRUE(loadLocaleFile(file("lang.txt", "#Hello: Salut\n"), false));
  EXPECT_EQ(textOf(L"#Hello"), L"Salut");
  EXPECT_EQ(textOf(L"#Bye"), L"Goodbye");
  EXPECT_EQ(textOf(L"#Missing"), L"#Missing");

  // Two misses in a row: the thread's copy holds the second key.
  getLocalizedText(L"#First");
  EXPECT_EQ(textOf(L"#Second"), L"#Second");

  ASSERT_TRUE(loadLocaleFile(file("english.txt", "#Other: x\n"), true));
  EXPECT_EQ(textOf(L"#Bye"), L"#Bye");  // cleared first
}

TEST_F(LocaleTest, TextForms) {
  const std::string lines =
      "#tab: a\\tb\n"
      "#breaks: one\\ntwo\\r\n"
      "#other: a\\qb\n"
      "#quoted: \"  spaced  \"\n"
      "#lone: \"\n"
      "#half: \"open\n"
      "#empty:\n"
      "#cut: before // after\n"
      "#colons: a: b: c\n"
      "#cont: first \\\n"
      "second: \"x\"\\t\\\n"
      "third\n"
      "just words\n"
      "#dup: one\n"
      "#dup: two\n";
  ASSERT_TRUE(loadLocaleFile(file("forms.txt", lines), true));
  struct Case {
    const wchar_t* key;
    const wchar_t* text;
  };
  const Case cases[] = {
      {L"#tab", L"a#tab#b"},
      {L"#breaks", L"one\ntwo\r"},
      {L"#other", L"aqb"},
      {L"#quoted", L"  spaced  "},
      {L"#lone", L"\""},
      {L"#half", L"\"open"},
      {L"#empty", L""},
      {L"#cut", L"before"},
      {L"#colons", L"a: b: c"},
      {L"#cont", L"first second: \"x\"#tab#third"},
      {L"#dup", L"two"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(findLocaleEntry(c.key)) << stringc(c.key).c_str();
    EXPECT_EQ(textOf(c.key), c.text) << stringc(c.key).c_str();
  }
  EXPECT_FALSE(findLocaleEntry(L"second"));  // part of a continuation
  EXPECT_FALSE(findLocaleEntry(L"just words"));
}

TEST_F(LocaleTest, CheckLocalize) {
  ASSERT_TRUE(loadLocaleFile(file("english.txt", "#Known: Known text\n"), true));
  struct Case {
    const wchar_t* text;
    bool result;
    const wchar_t* after;
  };
  const Case cases[] = {
      {L"#Known", true, L"Known text"},
      {L"#Unknown", true, L"#Unknown"},
      {L"plain", false, L"plain"},
      {L"", false, L""},
  };
  for (const Case& c : cases) {
    stringw text = c.text;
    EXPECT_EQ(checkLocalize(text), c.result) << stringc(c.text).c_str();
    EXPECT_EQ(text, stringw(c.after));
  }
}

TEST_F(LocaleTest, UnreadableFileLeavesTheTable) {
  ASSERT_TRUE(loadLocaleFile(file("english.txt", "#Kept: yes\n"), true));
  LogCapture log;
  const stringc missing = (folder_ + "missing.txt").c_str();
  EXPECT_FALSE(loadLocaleFile(missing, true));
  EXPECT_FALSE(loadLocaleFile(file("short.txt", "x"), true));
  EXPECT_EQ(log.take(), "Unabled to load locale file " + std::string(missing.c_str()) +
                          "\nUnabled to load locale file " + folder_ + "short.txt\n");
  EXPECT_EQ(textOf(L"#Kept"), L"yes");
}

// Looks keys up on four threads while the table is reloaded 1000 times; texts
// handed out before a reload stay readable after it.
TEST_F(LocaleTest, ReloadWhileOtherThreadsLookUp) {
  const stringc first = file("first.txt", "#A: alpha\n#B: beta\n");
  const stringc second = file("second.txt", "#A: ALPHA\n#C: gamma\n");
  ASSERT_TRUE(loadLocaleFile(first, true));
  const wchar_t* held = getLocalizedText(L"#A");

  std::atomic<bool> done{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&done, &wrong] {
      while (!done.load()) {
        const std::wstring a = getLocalizedText(L"#A");
        const std::wstring b = getLocalizedText(L"#B");
        stringw c = L"#C";
        checkLocalize(c);
        if ((a != L"alpha" && a != L"ALPHA") || (b != L"beta" && b != L"#B") ||
            (c != stringw(L"gamma") && c != stringw(L"#C")))
          ++wrong;
      }
    });
  }
  for (int i = 0; i < 1000; ++i)
    ASSERT_TRUE(loadLocaleFile(i % 2 == 0 ? second : first, true));
  done = true;
  for (std::thread& reader : readers)
    reader.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(std::wstring(held), L"alpha");
}

TEST(ShippedLocaleTest, EnglishLoads) {
  ASSERT_TRUE(loadLocaleFile(CORVANE_SOURCE_DIR "/data/Locales/english.txt", true));
  for (const wchar_t* key : {L"#EM_Options", L"#EV_ShadersInit", L"#month_12", L"#hour_pm", L"#mp_cancel_load_tt"})
    EXPECT_TRUE(findLocaleEntry(key)) << stringc(key).c_str();
  EXPECT_EQ(std::wstring(getLocalizedText(L"#EM_The")), L"The ");
}

}  // namespace

}  // namespace locale_test
