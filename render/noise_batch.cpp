// noise_batch.cpp -- the gradient noise at many points, four at a time.
//
// Each SSE2 lane evaluates one point with exactly the operations of GradientNoise3Tables (see
// noise_inline.h for the formulas and why they are exact), so the results are the same bits:
// the lattice set-up of the three axes, the dot products and the seven lerps run across four
// points at once, and only the table reads are made lane by lane. A remainder of fewer than four
// points goes through the one-point form.
#include <emmintrin.h>

#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

// One lattice axis of four points.
struct NoiseAxis4 {
  __m128i i;    // cell index 0..255
  __m128i i1;   // next cell, wrapped
  __m128 f;     // offset from the low corner
  __m128 f1;    // f - 1
  __m128 s;     // fade
};

inline void SetupNoiseAxis4(__m128 c, NoiseAxis4 *axis) {
  const __m128 t = _mm_add_ps(c, _mm_set1_ps(4096.0f));
  const __m128i whole = _mm_cvttps_epi32(t);
  const __m128i mask = _mm_set1_epi32(255);
  axis->i = _mm_and_si128(whole, mask);
  axis->i1 = _mm_and_si128(_mm_add_epi32(axis->i, _mm_set1_epi32(1)), mask);
  const __m128i below = _mm_castps_si128(_mm_cmplt_ps(t, _mm_setzero_ps()));
  const __m128i atMinimum = _mm_cmpeq_epi32(whole, _mm_set1_epi32(INT32_MIN));
  const __m128i floorT = _mm_add_epi32(whole, _mm_andnot_si128(atMinimum, below));
  axis->f = _mm_sub_ps(t, _mm_cvtepi32_ps(floorT));
  axis->f1 = _mm_sub_ps(axis->f, _mm_set1_ps(1.0f));
  axis->s = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_set1_ps(2.0f), axis->f)),
                       _mm_mul_ps(axis->f, axis->f));
}

// The dot products of one corner of four points: the four gradients G3[index[k]] are loaded as
// rows and transposed into x, y and z columns.
inline __m128 CornerDot4(const float *G, const int32_t index[4], __m128 fx, __m128 fy, __m128 fz) {
  __m128 g0 = _mm_loadu_ps(G + 3 * index[0]);
  __m128 g1 = _mm_loadu_ps(G + 3 * index[1]);
  __m128 g2 = _mm_loadu_ps(G + 3 * index[2]);
  __m128 g3 = _mm_loadu_ps(G + 3 * index[3]);
  _MM_TRANSPOSE4_PS(g0, g1, g2, g3);
  return _mm_add_ps(_mm_add_ps(_mm_mul_ps(g0, fx), _mm_mul_ps(g1, fy)), _mm_mul_ps(g2, fz));
}

inline __m128 Lerp4(__m128 s, __m128 a, __m128 b) { return _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), s), a); }

__m128 GradientNoise3x4(const NoiseTables *tables, __m128 x, __m128 y, __m128 z) {
  NoiseAxis4 ax, ay, az;
  SetupNoiseAxis4(x, &ax);
  SetupNoiseAxis4(y, &ay);
  SetupNoiseAxis4(z, &az);

  alignas(16) int32_t ix[4], ix1[4], iy[4], iy1[4], iz[4], iz1[4];
  _mm_store_si128(reinterpret_cast<__m128i *>(ix), ax.i);
  _mm_store_si128(reinterpret_cast<__m128i *>(ix1), ax.i1);
  _mm_store_si128(reinterpret_cast<__m128i *>(iy), ay.i);
  _mm_store_si128(reinterpret_cast<__m128i *>(iy1), ay.i1);
  _mm_store_si128(reinterpret_cast<__m128i *>(iz), az.i);
  _mm_store_si128(reinterpret_cast<__m128i *>(iz1), az.i1);

  // Gradient indices of the eight corners of every lane, named by (dx, dy, dz).
  const int32_t *P = tables->P;
  int32_t c000[4], c100[4], c010[4], c110[4], c001[4], c101[4], c011[4], c111[4];
  for (int32_t k = 0; k < 4; ++k) {
    const int32_t p0 = P[ix[k]];
    const int32_t p1 = P[ix1[k]];
    const int32_t h00 = P[iy[k] + p0];
    const int32_t h10 = P[iy[k] + p1];
    const int32_t h01 = P[iy1[k] + p0];
    const int32_t h11 = P[iy1[k] + p1];
    c000[k] = h00 + iz[k];
    c100[k] = h10 + iz[k];
    c010[k] = h01 + iz[k];
    c110[k] = h11 + iz[k];
    c001[k] = h00 + iz1[k];
    c101[k] = h10 + iz1[k];
    c011[k] = h01 + iz1[k];
    c111[k] = h11 + iz1[k];
  }

  const float *G = &tables->G3[0][0];
  const __m128 n000 = CornerDot4(G, c000, ax.f, ay.f, az.f);
  const __m128 n100 = CornerDot4(G, c100, ax.f1, ay.f, az.f);
  const __m128 n010 = CornerDot4(G, c010, ax.f, ay.f1, az.f);
  const __m128 n110 = CornerDot4(G, c110, ax.f1, ay.f1, az.f);
  const __m128 n001 = CornerDot4(G, c001, ax.f, ay.f, az.f1);
  const __m128 n101 = CornerDot4(G, c101, ax.f1, ay.f, az.f1);
  const __m128 n011 = CornerDot4(G, c011, ax.f, ay.f1, az.f1);
  const __m128 n111 = CornerDot4(G, c111, ax.f1, ay.f1, az.f1);

  const __m128 x00 = Lerp4(ax.s, n000, n100);
  const __m128 x10 = Lerp4(ax.s, n010, n110);
  const __m128 x01 = Lerp4(ax.s, n001, n101);
  const __m128 x11 = Lerp4(ax.s, n011, n111);
  return Lerp4(az.s, Lerp4(ay.s, x00, x10), Lerp4(ay.s, x01, x11));
}

}  // namespace

void GradientNoise3ManySse2(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const float *p = points + 3 * k;
    const __m128 x = _mm_setr_ps(p[0], p[3], p[6], p[9]);
    const __m128 y = _mm_setr_ps(p[1], p[4], p[7], p[10]);
    const __m128 z = _mm_setr_ps(p[2], p[5], p[8], p[11]);
    _mm_storeu_ps(out + k, GradientNoise3x4(tables, x, y, z));
  }
  for (; k < count; ++k) out[k] = GradientNoise3Tables(tables, points[3 * k], points[3 * k + 1], points[3 * k + 2]);
}
