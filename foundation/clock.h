// clock.h -- the system clock: seconds for seeding, and today's UTC date and hour for the
// date codes of satellite-picture addresses and the IPTC block.
//
// Platform seam: clock_win32.cpp (GetSystemTime) and clock_posix.cpp.
#ifndef KIVAGLOBE_FOUNDATION_CLOCK_H
#define KIVAGLOBE_FOUNDATION_CLOCK_H

#include <cstdint>

// Seconds since 1970-01-01 00:00 UTC.
int64_t CurrentTimeSeconds();

// The current UTC year (four digits), month 1..12, day 1..31 and hour 0..23, read from the
// system clock once.
void GetUtcDateHour(uint32_t *year, uint32_t *month, uint32_t *day, uint32_t *hour);

#endif  // KIVAGLOBE_FOUNDATION_CLOCK_H
