// The local date and time as text in the user's language, for the
// description every saved game carries. Every word comes from the locale
// table: "#month_1" .. "#month_12", the ordinal suffixes "#num_sufx_st",
// "#num_sufx_nd" and "#num_sufx_th", and the markers "#hour_am" and
// "#hour_pm". A key the table lacks shows as the table shows missing keys.
#pragma once

#include <irrString.h>

// "<month> <day><suffix>, <year>, <hour>:<minute> <marker>" for the current
// local time on the 12-hour clock, as "March 14th, 2026, 2:05 PM". The
// suffix follows the day's last digit only.
irr::core::stringw formatLocalDateTime();
// The same text for a given time (month 1 to 12, hour 0 to 23).
irr::core::stringw formatDateTime(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute);

// The text of "#month_<month>".
irr::core::stringw monthName(unsigned month);
// "#num_sufx_st" for a day ending in 1, "#num_sufx_nd" in 2, else "#num_sufx_th".
irr::core::stringw ordinalSuffix(unsigned day);
// "#hour_pm" from 12 on, else "#hour_am".
irr::core::stringw amPmMarker(unsigned hour);
