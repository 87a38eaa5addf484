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

// The most terms a sum has: PlanFractal stops stepping at kFractalTermCap - 2 steps.
constexpr int32_t kFractalTermCap = 64;

// PlanFractal of four octave counts in the lanes of SSE registers, with its results bit for bit;
// returns the term counts and leaves the steps and fractions. The whole part is the truncation:
// the integer conversion where the count is below 2^23 in size, with the sign put back so that
// -0.5 gives -0 as truncation does; larger counts, infinities and NaNs are already whole (a NaN
// stays itself). The conversion of a larger count gives 0x80000000, which no lane that keeps
// its ceiling reads: the ceiling is only taken between 1 and kFractalTermCap - 1.
inline __m128i PlanFractalLanes(__m128 octaves, __m128i *steps, __m128 *fraction) {
  const __m128 sign = _mm_set1_ps(-0.0f), one = _mm_set1_ps(1.0f);
  const __m128i wholeInt = _mm_cvttps_epi32(octaves);
  const __m128 small = _mm_cmplt_ps(_mm_andnot_ps(sign, octaves), _mm_set1_ps(8388608.0f));
  const __m128 cut = _mm_or_ps(_mm_cvtepi32_ps(wholeInt), _mm_and_ps(sign, octaves));
  const __m128 whole = _mm_or_ps(_mm_and_ps(small, cut), _mm_andnot_ps(small, octaves));
  // ceil(octaves) as the whole part plus one where there is a fraction (the mask is -1 there),
  // or the cap.
  const __m128i partial = _mm_castps_si128(_mm_cmpneq_ps(whole, octaves));
  const __m128i below = _mm_castps_si128(_mm_cmplt_ps(octaves, _mm_set1_ps(float(kFractalTermCap - 1))));
  const __m128i ceiling = _mm_or_si128(_mm_and_si128(below, _mm_sub_epi32(wholeInt, partial)),
                                       _mm_andnot_si128(below, _mm_set1_epi32(kFractalTermCap - 1)));
  const __m128i stepping = _mm_castps_si128(_mm_cmpgt_ps(octaves, one));
  *steps = _mm_and_si128(stepping, _mm_sub_epi32(ceiling, _mm_set1_epi32(1)));
  *fraction = _mm_sub_ps(octaves, whole);
  const __m128i hasFraction = _mm_castps_si128(_mm_cmpneq_ps(*fraction, _mm_setzero_ps()));
  return _mm_sub_epi32(_mm_add_epi32(*steps, _mm_set1_epi32(1)), hasFraction);
}

// SumFractal of two points with the same plan, their values interleaved (p's term k at 2k, q's
// at 2k + 1), as FillOctavePointPair lays out their points: the lanes of one register hold p's
// sum, q's sum, p's side sum and q's side sum, each lane taking the scalar form's operations in
// its order, and are returned (the first values are values[0] and values[1]). Each sum is a
// chain of dependent additions; the four side by side cost the time of one, and the loop's own
// work is paid once. Each term's pair is one load, and the loop takes four terms a turn.
inline __m128 SumFractalPairInterleaved(const float *values, const FractalPlan &plan, const FractalWeights &weights) {
  // Two floats into the low lanes, the high ones zero.
  auto pairAt = [values](int32_t k) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(values + 2 * k)));
  };
  auto addTerm = [&weights](__m128 total, __m128 v, int32_t k) {
    return _mm_add_ps(total, _mm_mul_ps(v, _mm_load_ps(weights.w[k])));
  };
  __m128 total = pairAt(0);
  int32_t k = 1;
  for (; k + 3 <= plan.steps; k += 4) {
    const __m128 v = _mm_loadu_ps(values + 2 * k), u = _mm_loadu_ps(values + 2 * k + 4);
    total = addTerm(total, _mm_movelh_ps(v, v), k);
    total = addTerm(total, _mm_movehl_ps(v, v), k + 1);
    total = addTerm(total, _mm_movelh_ps(u, u), k + 2);
    total = addTerm(total, _mm_movehl_ps(u, u), k + 3);
  }
  if (k + 1 <= plan.steps) {
    const __m128 v = _mm_loadu_ps(values + 2 * k);
    total = addTerm(total, _mm_movelh_ps(v, v), k);
    total = addTerm(total, _mm_movehl_ps(v, v), k + 1);
    k += 2;
  }
  if (k <= plan.steps) {
    const __m128 v = pairAt(k);
    total = addTerm(total, _mm_movelh_ps(v, v), k);
  }
  if (plan.fraction != 0.0f) {
    k = plan.steps + 1;
    const float signedFraction = plan.fraction * ((k & 1) != 0 ? -1.0f : 1.0f);
    const __m128 v = pairAt(k);
    const __m128 f = _mm_setr_ps(plan.fraction, plan.fraction, signedFraction, signedFraction);
    total = _mm_add_ps(total, _mm_mul_ps(_mm_mul_ps(f, _mm_movelh_ps(v, v)), _mm_set1_ps(weights.w[k][0])));
  }
  return total;
}
