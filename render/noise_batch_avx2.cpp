// noise_batch_avx2.cpp -- the gradient noise at many points, eight at a time on AVX2.
//
// Compiled with -mavx2 and nothing wider (no fused multiply-add: -mfma is not given, and the
// build's -ffp-contract=off would forbid the contraction anyway), and only ever called after the
// processor has been seen to have AVX2 (noise_dispatch.cpp). Each lane performs exactly the
// operations of the SSE2 form in noise_batch.cpp, in the same order:
//
//     t = c + 4096, i = trunc(t) & 255, f = t - floor(t), s = (3 - 2f)(f f)
//     n(corner) = (gx fx' + gy fy') + gz fz'
//     lerp(s, a, b) = (b - a) s + a, along x, then y, then z
//
// so the results are the same bits. The lattice set-up, the dot products and the lerps run on
// eight lanes; the table reads are made lane by lane, as on SSE2. A final group of fewer than
// eight points goes to the SSE2 path.
#include <immintrin.h>

#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

struct NoiseAxis8 {
  __m256i i;
  __m256i i1;
  __m256 f;
  __m256 f1;
  __m256 s;
};

inline void SetupNoiseAxis8(__m256 c, NoiseAxis8 *axis) {
  const __m256 t = _mm256_add_ps(c, _mm256_set1_ps(4096.0f));
  const __m256i whole = _mm256_cvttps_epi32(t);
  const __m256i mask = _mm256_set1_epi32(255);
  axis->i = _mm256_and_si256(whole, mask);
  axis->i1 = _mm256_and_si256(_mm256_add_epi32(axis->i, _mm256_set1_epi32(1)), mask);
  const __m256i below = _mm256_castps_si256(_mm256_cmp_ps(t, _mm256_setzero_ps(), _CMP_LT_OQ));
  const __m256i atMinimum = _mm256_cmpeq_epi32(whole, _mm256_set1_epi32(INT32_MIN));
  const __m256i floorT = _mm256_add_epi32(whole, _mm256_andnot_si256(atMinimum, below));
  axis->f = _mm256_sub_ps(t, _mm256_cvtepi32_ps(floorT));
  axis->f1 = _mm256_sub_ps(axis->f, _mm256_set1_ps(1.0f));
  axis->s = _mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(3.0f), _mm256_mul_ps(_mm256_set1_ps(2.0f), axis->f)),
                          _mm256_mul_ps(axis->f, axis->f));
}

// The dot products of one corner of eight points: the eight gradients G3[index[k]] are loaded as
// four-float rows (the fourth float belongs to the next entry and is dropped), rows k and k + 4
// side by side, and transposed into x, y and z columns. Gathers would be shorter to write but
// are slower than these loads on some processors with AVX2.
inline __m256 CornerDot8(const float *G, const int32_t index[8], __m256 fx, __m256 fy, __m256 fz) {
  __m256 r[4];
  for (int k = 0; k < 4; k++) {
    r[k] = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(G + 3 * index[k])),
                                _mm_loadu_ps(G + 3 * index[k + 4]), 1);
  }
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]);
  const __m256 t1 = _mm256_unpacklo_ps(r[2], r[3]);
  const __m256 t2 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 gx = _mm256_shuffle_ps(t0, t1, 0x44);
  const __m256 gy = _mm256_shuffle_ps(t0, t1, 0xEE);
  const __m256 gz = _mm256_shuffle_ps(t2, t3, 0x44);
  return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(gx, fx), _mm256_mul_ps(gy, fy)), _mm256_mul_ps(gz, fz));
}

inline __m256 Lerp8(__m256 s, __m256 a, __m256 b) {
  return _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(b, a), s), a);
}

__m256 GradientNoise3x8(const NoiseTables *tables, __m256 x, __m256 y, __m256 z) {
  NoiseAxis8 ax, ay, az;
  SetupNoiseAxis8(x, &ax);
  SetupNoiseAxis8(y, &ay);
  SetupNoiseAxis8(z, &az);

  alignas(32) int32_t ix[8], ix1[8], iy[8], iy1[8], iz[8], iz1[8];
  _mm256_store_si256(reinterpret_cast<__m256i *>(ix), ax.i);
  _mm256_store_si256(reinterpret_cast<__m256i *>(ix1), ax.i1);
  _mm256_store_si256(reinterpret_cast<__m256i *>(iy), ay.i);
  _mm256_store_si256(reinterpret_cast<__m256i *>(iy1), ay.i1);
  _mm256_store_si256(reinterpret_cast<__m256i *>(iz), az.i);
  _mm256_store_si256(reinterpret_cast<__m256i *>(iz1), az.i1);

  // Gradient indices of the eight corners of every lane, named by (dx, dy, dz).
  const int32_t *P = tables->P;
  int32_t c000[8], c100[8], c010[8], c110[8], c001[8], c101[8], c011[8], c111[8];
  for (int32_t k = 0; k < 8; ++k) {
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
  const __m256 n000 = CornerDot8(G, c000, ax.f, ay.f, az.f);
  const __m256 n100 = CornerDot8(G, c100, ax.f1, ay.f, az.f);
  const __m256 n010 = CornerDot8(G, c010, ax.f, ay.f1, az.f);
  const __m256 n110 = CornerDot8(G, c110, ax.f1, ay.f1, az.f);
  const __m256 n001 = CornerDot8(G, c001, ax.f, ay.f, az.f1);
  const __m256 n101 = CornerDot8(G, c101, ax.f1, ay.f, az.f1);
  const __m256 n011 = CornerDot8(G, c011, ax.f, ay.f1, az.f1);
  const __m256 n111 = CornerDot8(G, c111, ax.f1, ay.f1, az.f1);

  const __m256 x00 = Lerp8(ax.s, n000, n100);
  const __m256 x10 = Lerp8(ax.s, n010, n110);
  const __m256 x01 = Lerp8(ax.s, n001, n101);
  const __m256 x11 = Lerp8(ax.s, n011, n111);
  return Lerp8(az.s, Lerp8(ay.s, x00, x10), Lerp8(ay.s, x01, x11));
}

// Eight interleaved points (24 floats) split into their x, y and z lanes.
inline void LoadPoints8(const float *p, __m256 *x, __m256 *y, __m256 *z) {
  *x = _mm256_setr_ps(p[0], p[3], p[6], p[9], p[12], p[15], p[18], p[21]);
  *y = _mm256_setr_ps(p[1], p[4], p[7], p[10], p[13], p[16], p[19], p[22]);
  *z = _mm256_setr_ps(p[2], p[5], p[8], p[11], p[14], p[17], p[20], p[23]);
}

}  // namespace

void GradientNoise3ManyAvx2(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  int32_t k = 0;
  __m256 x, y, z;
  for (; k + 8 <= count; k += 8) {
    LoadPoints8(points + 3 * k, &x, &y, &z);
    _mm256_storeu_ps(out + k, GradientNoise3x8(tables, x, y, z));
  }
  // The last one to seven points on the SSE2 path (four at a time, then one by one): the same
  // bits, without spending a whole eight-lane evaluation on a short tail.
  if (k < count) GradientNoise3ManySse2(tables, points + 3 * k, out + k, count - k);
}
