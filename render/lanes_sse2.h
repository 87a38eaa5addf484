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

#endif  // KIVAGLOBE_RENDER_LANES_SSE2_H
