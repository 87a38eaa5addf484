// noise_inline.h -- the gradient noise at one point, inline for the shader's inner loops. Included
// by noise.h; include that instead.
//
// How one lattice axis is set up, for a coordinate c:
//
//     t  = c + 4096 (float)                 the offset keeps t positive for every c the
//                                           renderer produces, so truncation is the floor
//     i  = trunc(t) & 255, i1 = (i + 1) & 255
//     f  = t - floor(t), f1 = f - 1         floor(t) = trunc(t) for t >= 0, trunc(t - 1) below
//     s  = (3 - 2f) f^2                     the fade
//
// The fade is defined as the float product f x f, then the rest in double precision, rounded
// once to float. It is evaluated here in float alone, which gives the same bits: t is always a
// multiple of 2^-12 (c + 4096 rounds to the spacing of floats at 2048 and above, and c itself
// already has that spacing below -2048), so f = k / 4096 with k <= 4096. Then 2f and 3 - 2f are
// exact in float (13 significant bits), f x f is exact (k^2 <= 2^24), and the single float
// multiplication that remains rounds the exact product once, as the double computation does.
// The tests compare this against the double formula.
//
// Truncation uses the processor's conversion (cvttps2dq): a value outside the 32-bit range, or
// a NaN, gives INT32_MIN instead of undefined behaviour. The renderer never produces such
// coordinates (the result there is not relied on), but descriptor values are not range-checked,
// so the noise must not be a place where they turn into undefined behaviour. For t < 0 the
// floor trunc(t - 1) equals trunc(t) - 1, except where trunc(t) is already INT32_MIN.
//
// The three axes are set up together in the lanes of one SSE2 register, and the eight corner
// dot products are taken four at a time: the corners with dx = 0 in the lanes (000, 010, 001,
// 011) of one register and those with dx = 1 in another, so that the interpolation along x is
// one vector lerp, giving (x00, x10, x01, x11). Every lane performs the same IEEE operations, in
// the same order, as the plain formulas:
//
//     n(corner) = (gx * fx' + gy * fy') + gz * fz'      f' = f or f - 1 by the corner
//     lerp(s, a, b) = (b - a) * s + a                   along x, then y, then z
//
// so the result is bit for bit that of a scalar evaluation (the tests hold a scalar reference
// written from these formulas, with the fade in double precision). A gradient is fetched with a
// four-float load from G3; its fourth float belongs to the next entry (or, for the last entry,
// to G2) and is dropped by the transpose.
#ifndef KIVAGLOBE_RENDER_NOISE_INLINE_H
#define KIVAGLOBE_RENDER_NOISE_INLINE_H

#include <emmintrin.h>

#include <cstdint>

namespace noise_detail {

inline __m128 NoiseLerp(__m128 s, __m128 a, __m128 b) { return _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), s), a); }

}  // namespace noise_detail

inline float GradientNoise3Tables(const NoiseTables *tables, float x, float y, float z) {
  using noise_detail::NoiseLerp;

  // Lanes 0, 1, 2: the x, y and z axes.
  const __m128 t = _mm_add_ps(_mm_setr_ps(x, y, z, 0.0f), _mm_set1_ps(4096.0f));
  const __m128i whole = _mm_cvttps_epi32(t);
  const __m128i cell = _mm_and_si128(whole, _mm_set1_epi32(255));
  const __m128i below = _mm_castps_si128(_mm_cmplt_ps(t, _mm_setzero_ps()));
  const __m128i atMinimum = _mm_cmpeq_epi32(whole, _mm_set1_epi32(INT32_MIN));
  const __m128i floorT = _mm_add_epi32(whole, _mm_andnot_si128(atMinimum, below));
  const __m128 f = _mm_sub_ps(t, _mm_cvtepi32_ps(floorT));
  const __m128 f1 = _mm_sub_ps(f, _mm_set1_ps(1.0f));
  const __m128 s = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_set1_ps(2.0f), f)), _mm_mul_ps(f, f));

  const int32_t ix = _mm_cvtsi128_si32(cell);
  const int32_t iy = _mm_extract_epi16(cell, 2);
  const int32_t iz = _mm_extract_epi16(cell, 4);
  const int32_t ix1 = (ix + 1) & 255;
  const int32_t iy1 = (iy + 1) & 255;
  const int32_t iz1 = (iz + 1) & 255;

  // Hashes of the four (x, y) columns; the z index is added to them, not hashed again.
  const int32_t *P = tables->P;
  const int32_t p0 = P[ix];
  const int32_t p1 = P[ix1];
  const int32_t h00 = P[iy + p0];
  const int32_t h10 = P[iy + p1];
  const int32_t h01 = P[iy1 + p0];
  const int32_t h11 = P[iy1 + p1];

  const float *G = &tables->G3[0][0];
  __m128 a0 = _mm_loadu_ps(G + 3 * (h00 + iz));   // corner 000
  __m128 a1 = _mm_loadu_ps(G + 3 * (h01 + iz));   // 010
  __m128 a2 = _mm_loadu_ps(G + 3 * (h00 + iz1));  // 001
  __m128 a3 = _mm_loadu_ps(G + 3 * (h01 + iz1));  // 011
  __m128 b0 = _mm_loadu_ps(G + 3 * (h10 + iz));   // 100
  __m128 b1 = _mm_loadu_ps(G + 3 * (h11 + iz));   // 110
  __m128 b2 = _mm_loadu_ps(G + 3 * (h10 + iz1));  // 101
  __m128 b3 = _mm_loadu_ps(G + 3 * (h11 + iz1));  // 111
  _MM_TRANSPOSE4_PS(a0, a1, a2, a3);  // a0: the x components of the four corners, a1 y, a2 z
  _MM_TRANSPOSE4_PS(b0, b1, b2, b3);

  const __m128 fx = _mm_shuffle_ps(f, f, 0x00);
  const __m128 fx1 = _mm_shuffle_ps(f1, f1, 0x00);
  const __m128 yPair = _mm_shuffle_ps(f, f1, _MM_SHUFFLE(1, 1, 1, 1));          // fy fy fy1 fy1
  const __m128 fy = _mm_shuffle_ps(yPair, yPair, _MM_SHUFFLE(3, 1, 2, 0));      // fy fy1 fy fy1
  const __m128 fz = _mm_shuffle_ps(f, f1, _MM_SHUFFLE(2, 2, 2, 2));             // fz fz fz1 fz1
  const __m128 nearX = _mm_add_ps(_mm_add_ps(_mm_mul_ps(a0, fx), _mm_mul_ps(a1, fy)), _mm_mul_ps(a2, fz));
  const __m128 farX = _mm_add_ps(_mm_add_ps(_mm_mul_ps(b0, fx1), _mm_mul_ps(b1, fy)), _mm_mul_ps(b2, fz));

  const __m128 alongX = NoiseLerp(_mm_shuffle_ps(s, s, 0x00), nearX, farX);                 // x00 x10 x01 x11
  const __m128 low = _mm_shuffle_ps(alongX, alongX, _MM_SHUFFLE(2, 0, 2, 0));            // x00 x01
  const __m128 high = _mm_shuffle_ps(alongX, alongX, _MM_SHUFFLE(3, 1, 3, 1));           // x10 x11
  const __m128 alongY = NoiseLerp(_mm_shuffle_ps(s, s, 0x55), low, high);                // y0 y1
  const float y0 = _mm_cvtss_f32(alongY);
  const float y1 = _mm_cvtss_f32(_mm_shuffle_ps(alongY, alongY, 0x55));
  const float sz = _mm_cvtss_f32(_mm_shuffle_ps(s, s, 0xAA));
  return (y1 - y0) * sz + y0;
}

#endif  // KIVAGLOBE_RENDER_NOISE_INLINE_H
