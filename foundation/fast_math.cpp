// fast_math.cpp -- square roots and safe float-to-integer conversion.
#include "foundation/fast_math.h"

#include <cmath>
#include <cstring>

float RecipSqrtF(float x) { return float(1.0 / double(sqrtf(x))); }

float CallSqrtf(float x) { return sqrtf(x); }

// The classic estimate: halving the exponent field (a shift of the bits) and subtracting from a
// magic constant gives 1 / sqrt(x) to a few per cent; each Newton step squares the error.
// The bits are moved through memcpy, never through a pointer cast.
static float RecipSqrtEstimate(float x) {
  int32_t bits;
  memcpy(&bits, &x, sizeof bits);
  uint32_t estimate = 0x5F375A86u - uint32_t(bits >> 1);
  float y;
  memcpy(&y, &estimate, sizeof y);
  y = y * (1.5f - x * 0.5f * y * y);
  y = y * (1.5f - x * 0.5f * y * y);
  return y;
}

float RecipSqrtApproxF(float x) { return RecipSqrtEstimate(x); }

float FastSqrtF(float x) {
  if (x == 0.0f) return 0.0f;
  return RecipSqrtEstimate(x) * x;
}

void NormaliseVec3f(float v[3]) {
  float q = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  if (q == 0.0f) {
    v[0] = 0.0f;
    v[1] = 0.0f;
    v[2] = 1.0f;
    return;
  }
  float k;
  if (q > 0.05f) {
    // Both deliverables take the exact root here. A 32-bit build could use the 0x5F375A86
    // estimate with two Newton steps, as older 32-bit builds did; identical pictures from
    // Kivaglobe32 and Kivaglobe64 are worth more than what the estimate saves.
    k = float(1.0 / double(sqrtf(q)));
  } else {
    k = 1.0f / sqrtf(q);
  }
  v[0] *= k;
  v[1] *= k;
  v[2] *= k;
}

