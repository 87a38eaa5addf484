// host_utils_posix.cpp -- the native twin of host_utils_win32.cpp (the tick count; the native
// build has no dialogs).
#include <time.h>

#include "plugin/host_utils.h"

uint32_t TickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t milliseconds = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
  return uint32_t(uint32_t(milliseconds) / 17u);
}
