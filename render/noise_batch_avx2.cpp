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
// eight lanes; the column hashes of eight points come in one gathered read of columnHashes
// (noise_tables.h), and the gradients row by row from gradientPairs. A final group of fewer than eight
// points goes to the SSE2 path.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

struct NoiseAxis8 {
  __m256 f;
  __m256 f1;
  __m256 s;
};

inline void SetupNoiseAxis8(__m256 c, NoiseAxis8 *axis) {
  const __m256 t = _mm256_add_ps(c, _mm256_set1_ps(4096.0f));
  const __m256i whole = _mm256_cvttps_epi32(t);
  const __m256i below = _mm256_castps_si256(_mm256_cmp_ps(t, _mm256_setzero_ps(), _CMP_LT_OQ));
  const __m256i atMinimum = _mm256_cmpeq_epi32(whole, _mm256_set1_epi32(INT32_MIN));
  const __m256i floorT = _mm256_add_epi32(whole, _mm256_andnot_si256(atMinimum, below));
  axis->f = _mm256_sub_ps(t, _mm256_cvtepi32_ps(floorT));
  axis->f1 = _mm256_sub_ps(axis->f, _mm256_set1_ps(1.0f));
  axis->s = _mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(3.0f), _mm256_mul_ps(_mm256_set1_ps(2.0f), axis->f)),
                          _mm256_mul_ps(axis->f, axis->f));
}

// The cell index 0..255 of each lane: trunc(c + 4096) & 255 (noise_inline.h).
inline __m256i LatticeCell8(__m256 c) {
  return _mm256_and_si256(_mm256_cvttps_epi32(_mm256_add_ps(c, _mm256_set1_ps(4096.0f))), _mm256_set1_epi32(255));
}

__attribute__((always_inline)) inline __m256 Dot8(__m256 gx, __m256 gy, __m256 gz, __m256 fx, __m256 fy, __m256 fz) {
  return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(gx, fx), _mm256_mul_ps(gy, fy)), _mm256_mul_ps(gz, fz));
}

// Row k of the gradientPairs table (noise_tables.h) at offset[k] in the low half and row k + 4 in
// the high half, floats shift..shift + 3 of each: halves never mix below, as crossing them is slow
// on some processors.
__attribute__((always_inline)) inline __m256 Rows8(const float *T, const int32_t offset[8], int k, int shift) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(T + offset[k] + shift)),
                              _mm_loadu_ps(T + offset[k + 4] + shift), 1);
}

// The lane values of points k, k + 1 of each half twice over (k = 0: points 0 1 0 1 | 4 5 4 5;
// k = 2: 2 3 2 3 | 6 7 6 7), the form of a corner pair's dot products below.
inline __m256 Twice01(__m256 v) { return _mm256_shuffle_ps(v, v, 0x44); }
inline __m256 Twice23(__m256 v) { return _mm256_shuffle_ps(v, v, 0xEE); }

// The offsets of eight points, in the form the corner pairs are computed in: register 01 holds
// points 0, 1, 4, 5 and register 23 points 2, 3, 6, 7, each point's near (dz = 0) and far
// (dz = 1) corner side by side: lanes n0 n1 f0 f1 | n4 n5 f4 f5. The far corner's z offset is
// fz - 1 where the near one's is fz.
struct PairOffsets8 {
  __m256 fx01, fx23, fx101, fx123;   // fx, and fx - 1 for the corners dx = 1
  __m256 fy01, fy23, fy101, fy123;
  __m256 fz01, fz23;                 // fz in the near lanes, fz - 1 in the far ones
  __m256 sx01, sx23, sy01, sy23;     // the fades of the x and y lerps
};

// The dot products of the corner pair (dx, dy, 0), (dx, dy, 1) of eight points, whose rows start
// at offset[k] = 8c: x, y and z come in separate registers after one unpack each, two points at a
// time, without a transposition.
__attribute__((always_inline)) inline void CornerPairDot8(const float *T, const int32_t offset[8], __m256 fx01, __m256 fx23,
                                                          __m256 fy01, __m256 fy23, const PairOffsets8 &o, __m256 *d01, __m256 *d23) {
  const __m256 a0 = Rows8(T, offset, 0, 0), a1 = Rows8(T, offset, 1, 0);
  const __m256 a2 = Rows8(T, offset, 2, 0), a3 = Rows8(T, offset, 3, 0);
  const __m256 b0 = Rows8(T, offset, 0, 4), b1 = Rows8(T, offset, 1, 4);
  const __m256 b2 = Rows8(T, offset, 2, 4), b3 = Rows8(T, offset, 3, 4);
  *d01 = Dot8(_mm256_unpacklo_ps(a0, a1), _mm256_unpackhi_ps(a0, a1), _mm256_unpacklo_ps(b0, b1), fx01, fy01, o.fz01);
  *d23 = Dot8(_mm256_unpacklo_ps(a2, a3), _mm256_unpackhi_ps(a2, a3), _mm256_unpacklo_ps(b2, b3), fx23, fy23, o.fz23);
}

inline __m256 Lerp8(__m256 s, __m256 a, __m256 b) {
  return _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(b, a), s), a);
}

// (The helpers above are forced inline: called apart, their vector arguments go through memory.)

// The row offset 8c of the corner c.
inline __m256i RowOffset8(__m256i c) { return _mm256_slli_epi32(c, 3); }

// The float offsets 3c into the gradient table of the four corner pairs of eight points, named
// by (dx, dy): c is the corner's hash (four bytes from columnHashes entry ix * 257 + iy on,
// gathered; noise_tables.h) plus the z cell, and the pair's dz = 1 corner is the entry
// after c. The table's copied tail (noise_tables.h) makes that next entry the wrapped neighbour
// for every c that occurs.
inline void CornerPairOffsets8(const NoiseTables *tables, __m256 x, __m256 y, __m256 z, int32_t *c00,
                               int32_t *c10, int32_t *c01, int32_t *c11) {
  const __m256i ix = LatticeCell8(x);
  const __m256i column = _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(ix, 8), ix), LatticeCell8(y));
  const __m256i iz = LatticeCell8(z);
  const __m256i h = _mm256_i32gather_epi32(reinterpret_cast<const int *>(tables->columnHashes), column, 2);
  const __m256i low = _mm256_set1_epi32(255);
  const __m256i h00 = _mm256_and_si256(h, low);
  const __m256i h10 = _mm256_and_si256(_mm256_srli_epi32(h, 8), low);
  const __m256i h01 = _mm256_and_si256(_mm256_srli_epi32(h, 16), low);
  const __m256i h11 = _mm256_srli_epi32(h, 24);
  _mm256_store_si256(reinterpret_cast<__m256i *>(c00), RowOffset8(_mm256_add_epi32(h00, iz)));
  _mm256_store_si256(reinterpret_cast<__m256i *>(c10), RowOffset8(_mm256_add_epi32(h10, iz)));
  _mm256_store_si256(reinterpret_cast<__m256i *>(c01), RowOffset8(_mm256_add_epi32(h01, iz)));
  _mm256_store_si256(reinterpret_cast<__m256i *>(c11), RowOffset8(_mm256_add_epi32(h11, iz)));
}

// The noise at eight points whose corner-pair offsets are known.
__attribute__((always_inline)) inline __m256 GradientNoise3x8(const float *T, __m256 x, __m256 y, __m256 z,
                                                              const int32_t *c00, const int32_t *c10,
                                                              const int32_t *c01, const int32_t *c11) {
  NoiseAxis8 ax, ay, az;
  SetupNoiseAxis8(x, &ax);
  SetupNoiseAxis8(y, &ay);
  SetupNoiseAxis8(z, &az);

  PairOffsets8 o;
  o.fx01 = Twice01(ax.f), o.fx23 = Twice23(ax.f), o.fx101 = Twice01(ax.f1), o.fx123 = Twice23(ax.f1);
  o.fy01 = Twice01(ay.f), o.fy23 = Twice23(ay.f), o.fy101 = Twice01(ay.f1), o.fy123 = Twice23(ay.f1);
  o.fz01 = _mm256_shuffle_ps(az.f, az.f1, 0x44), o.fz23 = _mm256_shuffle_ps(az.f, az.f1, 0xEE);
  o.sx01 = Twice01(ax.s), o.sx23 = Twice23(ax.s), o.sy01 = Twice01(ay.s), o.sy23 = Twice23(ay.s);

  // n(dx dy dz) of points 0 1 | 4 5 and 2 3 | 6 7, the dz = 0 and 1 corners side by side.
  __m256 n00a, n00b, n10a, n10b, n01a, n01b, n11a, n11b;
  CornerPairDot8(T, c00, o.fx01, o.fx23, o.fy01, o.fy23, o, &n00a, &n00b);
  CornerPairDot8(T, c10, o.fx101, o.fx123, o.fy01, o.fy23, o, &n10a, &n10b);
  CornerPairDot8(T, c01, o.fx01, o.fx23, o.fy101, o.fy123, o, &n01a, &n01b);
  CornerPairDot8(T, c11, o.fx101, o.fx123, o.fy101, o.fy123, o, &n11a, &n11b);

  // The x lerps, then the y lerps, of both z layers at once; then the z layers are split into
  // the points' own lanes for the last lerp.
  const __m256 ya = Lerp8(o.sy01, Lerp8(o.sx01, n00a, n10a), Lerp8(o.sx01, n01a, n11a));
  const __m256 yb = Lerp8(o.sy23, Lerp8(o.sx23, n00b, n10b), Lerp8(o.sx23, n01b, n11b));
  return Lerp8(az.s, _mm256_shuffle_ps(ya, yb, 0x44), _mm256_shuffle_ps(ya, yb, 0xEE));
}

// Eight interleaved points (24 floats) split into their x, y and z lanes by three loads and
// shuffles: rows 0-3 of the points in the low halves, rows 4-7 in the high halves.
inline void LoadPoints8(const float *p, __m256 *x, __m256 *y, __m256 *z) {
  const __m256 m03 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p)), _mm_loadu_ps(p + 12), 1);
  const __m256 m14 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 4)), _mm_loadu_ps(p + 16), 1);
  const __m256 m25 = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(p + 8)), _mm_loadu_ps(p + 20), 1);
  // m03: x0 y0 z0 x1 | x4 y4 z4 x5, m14: y1 z1 x2 y2 | y5 z5 x6 y6, m25: z2 x3 y3 z3 | z6 x7 y7 z7
  const __m256 xy = _mm256_shuffle_ps(m14, m25, _MM_SHUFFLE(2, 1, 3, 2));   // x2 y2 x3 y3
  const __m256 yz = _mm256_shuffle_ps(m03, m14, _MM_SHUFFLE(1, 0, 2, 1));   // y0 z0 y1 z1
  *x = _mm256_shuffle_ps(m03, xy, _MM_SHUFFLE(2, 0, 3, 0));
  *y = _mm256_shuffle_ps(yz, xy, _MM_SHUFFLE(3, 1, 2, 0));
  *z = _mm256_shuffle_ps(yz, m25, _MM_SHUFFLE(3, 0, 3, 1));
}

}  // namespace

// In runs of points (noise_paths.h): the corner-pair offsets of the whole run, then its noise.
void GradientNoise3ManyAvx2(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  const float *T = &tables->gradientPairs[0][0];
  alignas(32) int32_t c00[kNoiseRun], c10[kNoiseRun], c01[kNoiseRun], c11[kNoiseRun];
  int32_t k = 0;
  __m256 x, y, z;
  while (count - k >= 8) {
    const int32_t run = std::min(kNoiseRun, (count - k) & ~7);
    const float *p = points + 3 * k;
    for (int32_t j = 0; j < run; j += 8) {
      LoadPoints8(p + 3 * j, &x, &y, &z);
      CornerPairOffsets8(tables, x, y, z, c00 + j, c10 + j, c01 + j, c11 + j);
    }
    for (int32_t j = 0; j < run; j += 8) {
      LoadPoints8(p + 3 * j, &x, &y, &z);
      _mm256_storeu_ps(out + k + j, GradientNoise3x8(T, x, y, z, c00 + j, c10 + j, c01 + j, c11 + j));
    }
    k += run;
  }
  // The last one to seven points on the SSE2 path (four at a time, then one by one): the same
  // bits, without spending a whole eight-lane evaluation on a short tail.
  if (k < count) GradientNoise3ManySse2(tables, points + 3 * k, out + k, count - k);
}
