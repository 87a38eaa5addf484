// random.h -- the shared pseudo-random generator of the dice buttons, the randomiser, the
// render set-up and the image store.
//
// The generator is our own linear congruential one with the constants of the Windows C
// runtime's rand() (x = x * 214013 + 2531011, bits 16..30 of the new state), so that the native
// build and both Windows builds draw the same numbers from the same seed, and so that the
// plug-in never reseeds the host thread's own runtime generator.
//
// It is seeded once per filter run from the clock (SeedRandomFromTime); tests seed it directly.
#ifndef KIVAGLOBE_FOUNDATION_RANDOM_H
#define KIVAGLOBE_FOUNDATION_RANDOM_H

#include <cstdint>

// Next number of the generator: 0..32767.
int32_t CallRand();

// Next number, 0..32767, of the same generator run on a caller's own state: a sequence that
// depends on its seed alone, whatever else draws from the shared one.
int32_t NextRandomOf(uint32_t *state);

// Seeds the generator with the current time in seconds, truncated to 32 bits.
void SeedRandomFromTime();

// Seeds the generator with a given value (the state becomes `seed`).
void SeedRandom(uint32_t seed);

// An integer between lo and hi inclusive (the bounds are swapped when lo > hi). The draw comes
// from the top 11 bits of CallRand(), so a span wider than 2047 yields only lo .. lo + 2047.
// Every call consumes at least one CallRand().
int32_t RandomInRange(int32_t lo, int32_t hi);

#endif  // KIVAGLOBE_FOUNDATION_RANDOM_H
