// lanes_sse2.h -- small SSE2 helpers of the stages that shade four pixels at a time with the
// one-pixel form's bits.
#ifndef KIVAGLOBE_RENDER_LANES_SSE2_H
#define KIVAGLOBE_RENDER_LANES_SSE2_H

#include <emmintrin.h>

#include <cstdint>

// mask ? yes : no, lane by lane (mask lanes all ones or all zeros).
inline __m128 SelectLanes(__m128 mask, __m128 yes, __m128 no) {
  return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

// TruncateFloatToInt32 in lanes: cvttps2dq gives INT32_MIN for NaN and for anything out of
// range, which is already the answer below -2^31; above, the answer is INT32_MAX and for NaN 0.
inline __m128i TruncateLanes(__m128 v) {
  const __m128i whole = _mm_cvttps_epi32(v);
  const __m128i high = _mm_castps_si128(_mm_cmpge_ps(v, _mm_set1_ps(2147483648.0f)));
  const __m128i number = _mm_castps_si128(_mm_cmpord_ps(v, v));
  const __m128i saturated =
      _mm_or_si128(_mm_and_si128(high, _mm_set1_epi32(INT32_MAX)), _mm_andnot_si128(high, whole));
  return _mm_and_si128(number, saturated);
}

// Four interleaved points (12 floats) split into their x, y and z lanes: three loads and five
// shuffles.
inline void LoadPoints4(const float *p, __m128 *x, __m128 *y, __m128 *z) {
  const __m128 m0 = _mm_loadu_ps(p);       // x0 y0 z0 x1
  const __m128 m1 = _mm_loadu_ps(p + 4);   // y1 z1 x2 y2
  const __m128 m2 = _mm_loadu_ps(p + 8);   // z2 x3 y3 z3
  const __m128 xy = _mm_shuffle_ps(m1, m2, _MM_SHUFFLE(2, 1, 3, 2));   // x2 y2 x3 y3
  const __m128 yz = _mm_shuffle_ps(m0, m1, _MM_SHUFFLE(1, 0, 2, 1));   // y0 z0 y1 z1
  *x = _mm_shuffle_ps(m0, xy, _MM_SHUFFLE(2, 0, 3, 0));
  *y = _mm_shuffle_ps(yz, xy, _MM_SHUFFLE(3, 1, 2, 0));
  *z = _mm_shuffle_ps(yz, m2, _MM_SHUFFLE(3, 0, 3, 1));
}

#endif  // KIVAGLOBE_RENDER_LANES_SSE2_H
