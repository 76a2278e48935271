#include "app/base/local_dates.h"

#include <gtest/gtest.h>

#include <string>

#include "core/locale.h"
#include "core/scratch_files.h"
#include "platform/local_time.h"

namespace local_dates_test {

namespace {

std::wstring w(const irr::core::stringw& text) { return std::wstring(text.c_str(), text.size()); }

class LocalDatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A Latin-1 file: "Ao\xFBt" is "Août".
    const std::string path = testing_files::scratchFolder() + "english.txt";
    testing_files::writeFile(path,
                             "#month_1: January\n#month_3: March\n#month_8: Ao\xFBt\n#month_12: December\n"
                             "#num_sufx_st: st\n#num_sufx_nd: nd\n#num_sufx_th: th\n"
                             "#hour_am: AM\n#hour_pm: PM\n");
    ASSERT_TRUE(loadLocaleFile(path.c_str(), true));
  }
};

TEST_F(LocalDatesTest, FormatsFromLocaleWords) {
  const struct {
    unsigned year, month, day, hour, minute;
    const wchar_t* text;
  } cases[] = {
      {2026, 3, 3, 14, 5, L"March 3th, 2026, 2:05 PM"},
      {2026, 1, 11, 0, 30, L"January 11st, 2026, 12:30 AM"},
      {2026, 1, 12, 12, 30, L"January 12nd, 2026, 12:30 PM"},
      {1999, 12, 31, 23, 59, L"December 31st, 1999, 11:59 PM"},
      {2030, 12, 22, 11, 0, L"December 22nd, 2030, 11:00 AM"},
      {2030, 12, 13, 1, 9, L"December 13th, 2030, 1:09 AM"},
      {2026, 8, 1, 9, 15, L"Ao\u00FBt 1st, 2026, 9:15 AM"},
      {2026, 5, 20, 18, 45, L"#month_5 20th, 2026, 6:45 PM"},  // a missing key shows as itself
  };
  for (const auto& c : cases)
    EXPECT_EQ(w(formatDateTime(c.year, c.month, c.day, c.hour, c.minute)), c.text) << c.year << "-" << c.day;
}

TEST_F(LocalDatesTest, NowIsTheLocalClock) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const plat::LocalTime before = plat::localTimeNow();
    const std::wstring text = w(formatLocalDateTime());
    const plat::LocalTime after = plat::localTimeNow();
    if (before.minute != after.minute)
      continue;  // the minute turned meanwhile
    EXPECT_EQ(text, w(formatDateTime(before.year, before.month, before.day, before.hour, before.minute)));
    EXPECT_GE(before.year, 2024u);
    return;
  }
}

}  // namespace

}  // namespace local_dates_test
