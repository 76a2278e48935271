// The wall-clock time in the user's time zone.
#pragma once

namespace plat {

struct LocalTime {
  unsigned year;    // e.g. 2026
  unsigned month;   // 1 to 12
  unsigned day;     // 1 to 31
  unsigned hour;    // 0 to 23
  unsigned minute;  // 0 to 59
};

// The current local time. Safe on any thread.
LocalTime localTimeNow();

}  // namespace plat
