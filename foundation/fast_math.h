// fast_math.h -- square roots and safe float-to-integer conversion.
//
// The renderer and the resampler call these per pixel. FastSqrtF and RecipSqrtApproxF start
// from the bit estimate 0x5F375A86 and refine it with two Newton steps; the others are exact
// (to the rounding the comments state).
#ifndef KIVAGLOBE_FOUNDATION_FAST_MATH_H
#define KIVAGLOBE_FOUNDATION_FAST_MATH_H

#include <cstdint>

// 1 / sqrtf(x): the root in single precision, the division in double, rounded to float.
float RecipSqrtF(float x);

// Approximate square root of x; exactly 0 for x = 0.
float FastSqrtF(float x);

// Approximate 1 / sqrt(x) from the bit estimate and two Newton steps, all in single precision
// (a relative error of a few parts per million).
float RecipSqrtApproxF(float x);

// sqrtf(x).
float CallSqrtf(float x);

// Scales v to unit length in place; the zero vector becomes (0, 0, 1). The factor 1 / sqrt(q),
// q = |v|^2, is divided in double precision when q > 0.05 and in single precision otherwise.
// Every build computes it this way, so both deliverables normalise to the same bits.
void NormaliseVec3f(float v[3]);

// Truncation toward zero into a signed 32-bit integer that is defined for every input:
// NaN gives 0 and values beyond the range give INT32_MIN or INT32_MAX. Use it wherever a
// float that may come from a file or from extreme arithmetic becomes an integer. Inline: the
// shader converts every channel of every pixel through it.
inline int32_t TruncateToInt32(double value) {
  if (value != value) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return int32_t(value);
}

// TruncateToInt32 of a float, without the widening to double: no float lies between
// 2147483647 and 2^31, so the float compares below select exactly the same cases. Both compares
// fail for NaN, which is then the only value equal to neither itself.
inline int32_t TruncateFloatToInt32(float value) {
  if (value < 2147483648.0f && value > -2147483648.0f) return int32_t(value);
  if (value != value) return 0;
  return value > 0.0f ? INT32_MAX : INT32_MIN;
}

#endif  // KIVAGLOBE_FOUNDATION_FAST_MATH_H
