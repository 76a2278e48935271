// GUI element ids handed out at run time.
//
// One counter for the process, starting at 1000 and post-incremented: every
// element factory and every reserved id takes its next value, so ids from
// the two never collide. The fixed ids of the program's own windows (the
// console's, the cargo dialog's) are negative and stay clear of it.
#pragma once

#include <cstdint>

constexpr int32_t kFirstGuiId = 1000;

// The counter's next value; the first call gives kFirstGuiId.
int32_t reserveGuiId();
