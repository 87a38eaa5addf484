// random.cpp -- the shared generator and integer ranges drawn from it.
#include "foundation/random.h"

#include "foundation/clock.h"

// The generator's whole state. One filter run seeds it once; everything that draws from it runs
// on the host's thread, one call at a time.
static uint32_t g_randomState = 1;

int32_t NextRandomOf(uint32_t *state) {
  *state = *state * 214013u + 2531011u;
  return int32_t((*state >> 16) & 0x7fff);
}

int32_t CallRand() { return NextRandomOf(&g_randomState); }

void SeedRandom(uint32_t seed) { g_randomState = seed; }

void SeedRandomFromTime() { SeedRandom(uint32_t(uint64_t(CurrentTimeSeconds()))); }

// The mask grows 1, 3, 7, ... until it covers the span or reaches 2^31 - 1. The span and the sum
// lo + draw are formed in 64 bits, so the extreme bounds (INT32_MIN, INT32_MAX) cannot overflow.
// The draw uses bits 4..14 of CallRand() (read as a signed 16-bit number, which it always fits),
// and a value above hi is drawn again: a span of 0 rejects lo + 1 and keeps lo.
int32_t RandomInRange(int32_t lo, int32_t hi) {
  if (lo > hi) {
    int32_t t = lo;
    lo = hi;
    hi = t;
  }
  int64_t span = int64_t(hi) - int64_t(lo);
  int64_t mask = 1;
  if (span > 1) {
    while (mask < span && mask != 2147483647) mask = 2 * mask + 1;
  }
  int64_t value;
  do {
    int32_t draw = int16_t(CallRand()) >> 4;
    value = (int64_t(draw) & mask) + lo;
  } while (value > hi);
  return int32_t(value);
}
