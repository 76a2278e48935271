#include "platform/local_time.h"

#include <time.h>

namespace plat {

LocalTime localTimeNow() {
  const time_t now = time(nullptr);
  struct tm local = {};
  localtime_r(&now, &local);
  return {static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
          static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
          static_cast<unsigned>(local.tm_min)};
}

}  // namespace plat
