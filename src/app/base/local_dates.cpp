#include "app/base/local_dates.h"

#include <cwchar>

#include "core/locale.h"
#include "platform/local_time.h"

using irr::core::stringw;

namespace {

// The localised text, copied at once: the table's text for a missing key
// lasts only until the thread's next missing key.
stringw localized(const wchar_t* key) { return stringw(getLocalizedText(key)); }

stringw number(unsigned value, const wchar_t* format = L"%u") {
  wchar_t digits[16];
  std::swprintf(digits, sizeof digits / sizeof digits[0], format, value);
  return stringw(digits);
}

}  // namespace

stringw monthName(unsigned month) { return localized((stringw(L"#month_") + number(month)).c_str()); }

stringw ordinalSuffix(unsigned day) {
  switch (day % 10) {
    case 1:
      return localized(L"#num_sufx_st");
    case 2:
      return localized(L"#num_sufx_nd");
    default:
      return localized(L"#num_sufx_th");
  }
}

stringw amPmMarker(unsigned hour) { return localized(hour >= 12 ? L"#hour_pm" : L"#hour_am"); }

// Built in wide text throughout, so month names and markers outside ASCII
// come through whole.
stringw formatDateTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute) {
  const unsigned clockHour = hour % 12 == 0 ? 12 : hour % 12;
  stringw text = monthName(month);
  text += L" ";
  text += number(day);
  text += ordinalSuffix(day);
  text += L", ";
  text += number(year);
  text += L", ";
  text += number(clockHour);
  text += L":";
  text += number(minute, L"%02u");
  text += L" ";
  text += amPmMarker(hour);
  return text;
}

stringw formatLocalDateTime() {
  const plat::LocalTime now = plat::localTimeNow();
  return formatDateTime(now.year, now.month, now.day, now.hour, now.minute);
}
