// clock_win32.cpp -- the system clock on Windows.
#include "foundation/clock.h"

#include <windows.h>

// The system time as a FILETIME counts 100 ns steps since 1601-01-01; 11644473600 seconds lie
// between that day and 1970-01-01.
int64_t CurrentTimeSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  uint64_t ticks = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return int64_t(ticks / 10000000u) - 11644473600LL;
}

void GetUtcDateHour(uint32_t *year, uint32_t *month, uint32_t *day, uint32_t *hour) {
  SYSTEMTIME st;
  GetSystemTime(&st);
  *year = st.wYear;
  *month = st.wMonth;
  *day = st.wDay;
  *hour = st.wHour;
}
