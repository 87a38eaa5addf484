// clock_posix.cpp -- the system clock on the native build.
#include "foundation/clock.h"

#include <ctime>

int64_t CurrentTimeSeconds() { return int64_t(time(nullptr)); }

void GetUtcDateHour(uint32_t *year, uint32_t *month, uint32_t *day, uint32_t *hour) {
  time_t now = time(nullptr);
  struct tm parts;
  gmtime_r(&now, &parts);
  *year = uint32_t(parts.tm_year + 1900);
  *month = uint32_t(parts.tm_mon + 1);
  *day = uint32_t(parts.tm_mday);
  *hour = uint32_t(parts.tm_hour);
}
