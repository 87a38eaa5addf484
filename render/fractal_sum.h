// Fractal sums two at a time in the lanes of one register, with the bits of SumFractal.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "render/shade_internal.h"

// The weights of SumFractal's terms for a gain: for term k (1 and on) the amplitude and sign its
// loop has reached there, as (a, a, a sign, a sign). v (a sign) has the bits of SumFractal's
// (v a) sign: a product by -1 only flips the sign of a correctly rounded result, and a NaN
// comes out of either form as the same operand.
struct FractalWeights {
  alignas(16) float w[65][4];
};
// Only the weights of terms 1 to terms - 1 are made, which is all a sum of `terms` terms reads.
void MakeFractalWeights(float gain, int32_t terms, FractalWeights *out);

// SumFractal of two points with the same plan, the values of q right after those of p: the lanes
// of one register hold p's sum, q's sum, p's side sum and q's side sum, each lane taking the
// scalar form's operations in its order. Each sum is a chain of dependent additions; the four
// side by side cost the time of one, and the loop's own work is paid once.
inline void SumFractalPair(const float *values, const FractalPlan &plan, const FractalWeights &weights, float sum[2],
                           float firstValue[2], float sideSum[2]) {
  const float *valuesQ = values + plan.terms;
  const __m128 first = _mm_unpacklo_ps(_mm_load_ss(values), _mm_load_ss(valuesQ));
  __m128 total = _mm_movelh_ps(first, _mm_setzero_ps());
  for (int32_t k = 1; k <= plan.steps; k++) {
    const __m128 v = _mm_unpacklo_ps(_mm_load_ss(values + k), _mm_load_ss(valuesQ + k));
    total = _mm_add_ps(total, _mm_mul_ps(_mm_movelh_ps(v, v), _mm_load_ps(weights.w[k])));
  }
  if (plan.fraction != 0.0f) {
    // (fraction v) a and ((fraction sign) v) a, the sign being SumFractal's at term k.
    const int32_t k = plan.steps + 1;
    const float signedFraction = plan.fraction * ((k & 1) != 0 ? -1.0f : 1.0f);
    const __m128 v = _mm_unpacklo_ps(_mm_load_ss(values + k), _mm_load_ss(valuesQ + k));
    const __m128 f = _mm_setr_ps(plan.fraction, plan.fraction, signedFraction, signedFraction);
    total = _mm_add_ps(total, _mm_mul_ps(_mm_mul_ps(f, _mm_movelh_ps(v, v)), _mm_set1_ps(weights.w[k][0])));
  }
  alignas(16) float t[4];
  _mm_store_ps(t, total);
  firstValue[0] = values[0];
  firstValue[1] = valuesQ[0];
  sum[0] = t[0];
  sum[1] = t[1];
  sideSum[0] = t[2];
  sideSum[1] = t[3];
}
