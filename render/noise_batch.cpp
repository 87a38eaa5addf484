// noise_batch.cpp -- the gradient noise at many points, four at a time.
//
// Each SSE2 lane evaluates one point with exactly the operations of GradientNoise3Tables (see
// noise_inline.h for the formulas and why they are exact), so the results are the same bits:
// the lattice set-up of the three axes, the dot products and the seven lerps run across four
// points at once, and only the table reads are made lane by lane: one read of columnHashes
// (noise_tables.h) for the four corner hashes of a point, and the rows of gradientPairs for its
// corner pairs. A remainder of fewer than four points goes through the one-point form.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "render/lanes_sse2.h"
#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

// One lattice axis of four points.
struct NoiseAxis4 {
  __m128 f;     // offset from the low corner
  __m128 f1;    // f - 1
  __m128 s;     // fade
};

inline void SetupNoiseAxis4(__m128 c, NoiseAxis4 *axis) {
  const __m128 t = _mm_add_ps(c, _mm_set1_ps(4096.0f));
  const __m128i whole = _mm_cvttps_epi32(t);
  const __m128i below = _mm_castps_si128(_mm_cmplt_ps(t, _mm_setzero_ps()));
  const __m128i atMinimum = _mm_cmpeq_epi32(whole, _mm_set1_epi32(INT32_MIN));
  const __m128i floorT = _mm_add_epi32(whole, _mm_andnot_si128(atMinimum, below));
  axis->f = _mm_sub_ps(t, _mm_cvtepi32_ps(floorT));
  axis->f1 = _mm_sub_ps(axis->f, _mm_set1_ps(1.0f));
  axis->s = _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(3.0f), _mm_mul_ps(_mm_set1_ps(2.0f), axis->f)),
                       _mm_mul_ps(axis->f, axis->f));
}

// The cell index 0..255 of each lane: trunc(c + 4096) & 255 (noise_inline.h).
inline __m128i LatticeCell4(__m128 c) {
  return _mm_and_si128(_mm_cvttps_epi32(_mm_add_ps(c, _mm_set1_ps(4096.0f))), _mm_set1_epi32(255));
}

__attribute__((always_inline)) inline __m128 Dot4(__m128 gx, __m128 gy, __m128 gz, __m128 fx, __m128 fy, __m128 fz) {
  return _mm_add_ps(_mm_add_ps(_mm_mul_ps(gx, fx), _mm_mul_ps(gy, fy)), _mm_mul_ps(gz, fz));
}

// The lane values of points 0, 1 (or 2, 3) twice over: the form of a corner pair's dot products.
inline __m128 Twice01(__m128 v) { return _mm_movelh_ps(v, v); }
inline __m128 Twice23(__m128 v) { return _mm_movehl_ps(v, v); }

// The offsets and fades of four points in the form the corner pairs are computed in: register 01
// holds points 0 and 1, register 23 points 2 and 3, each point's near (dz = 0) and far (dz = 1)
// corner side by side: lanes n0 n1 f0 f1. The far corner's z offset is fz - 1 where the near
// one's is fz.
struct PairOffsets4 {
  __m128 fx01, fx23, fx101, fx123;   // fx, and fx - 1 for the corners dx = 1
  __m128 fy01, fy23, fy101, fy123;
  __m128 fz01, fz23;                 // fz in the near lanes, fz - 1 in the far ones
  __m128 sx01, sx23, sy01, sy23;     // the fades of the x and y lerps
};

// The dot products of the corner pair (dx, dy, 0), (dx, dy, 1) of four points, whose
// gradientPairs rows (noise_tables.h) start at offset[k] = 8c: x, y and z come in separate
// registers after one unpack each, two points at a time, without a transposition.
__attribute__((always_inline)) inline void CornerPairDot4(const float *T, const int32_t offset[4], __m128 fx01, __m128 fx23,
                                                          __m128 fy01, __m128 fy23, const PairOffsets4 &o, __m128 *d01, __m128 *d23) {
  const __m128 a0 = _mm_loadu_ps(T + offset[0]), a1 = _mm_loadu_ps(T + offset[1]);
  const __m128 a2 = _mm_loadu_ps(T + offset[2]), a3 = _mm_loadu_ps(T + offset[3]);
  const __m128 b0 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(T + offset[0] + 4)));
  const __m128 b1 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(T + offset[1] + 4)));
  const __m128 b2 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(T + offset[2] + 4)));
  const __m128 b3 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(T + offset[3] + 4)));
  *d01 = Dot4(_mm_unpacklo_ps(a0, a1), _mm_unpackhi_ps(a0, a1), _mm_unpacklo_ps(b0, b1), fx01, fy01, o.fz01);
  *d23 = Dot4(_mm_unpacklo_ps(a2, a3), _mm_unpackhi_ps(a2, a3), _mm_unpacklo_ps(b2, b3), fx23, fy23, o.fz23);
}

inline __m128 Lerp4(__m128 s, __m128 a, __m128 b) { return _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), s), a); }

// The row offset 8c of the corner c.
inline __m128i RowOffset4(__m128i c) { return _mm_slli_epi32(c, 3); }

// The float offsets 3c into the gradient table of the four corner pairs of four points, named
// by (dx, dy), from their column hashes (four bytes a point) and z cells: c is a corner's hash
// plus the z cell, and the pair's dz = 1 corner is the entry after c. The table's copied tail
// (noise_tables.h) makes that next entry the wrapped neighbour for every c that occurs.
inline void CornerPairOffsets4(__m128i h, __m128i iz, int32_t *c00, int32_t *c10, int32_t *c01, int32_t *c11) {
  const __m128i low = _mm_set1_epi32(255);
  const __m128i h00 = _mm_and_si128(h, low);
  const __m128i h10 = _mm_and_si128(_mm_srli_epi32(h, 8), low);
  const __m128i h01 = _mm_and_si128(_mm_srli_epi32(h, 16), low);
  const __m128i h11 = _mm_srli_epi32(h, 24);
  _mm_store_si128(reinterpret_cast<__m128i *>(c00), RowOffset4(_mm_add_epi32(h00, iz)));
  _mm_store_si128(reinterpret_cast<__m128i *>(c10), RowOffset4(_mm_add_epi32(h10, iz)));
  _mm_store_si128(reinterpret_cast<__m128i *>(c01), RowOffset4(_mm_add_epi32(h01, iz)));
  _mm_store_si128(reinterpret_cast<__m128i *>(c11), RowOffset4(_mm_add_epi32(h11, iz)));
}

// The noise at four points whose corner-pair offsets are known.
__attribute__((always_inline)) inline __m128 GradientNoise3x4(const float *T, __m128 x, __m128 y, __m128 z,
                                                              const int32_t *c00, const int32_t *c10,
                                                              const int32_t *c01, const int32_t *c11) {
  NoiseAxis4 ax, ay, az;
  SetupNoiseAxis4(x, &ax);
  SetupNoiseAxis4(y, &ay);
  SetupNoiseAxis4(z, &az);

  PairOffsets4 o;
  o.fx01 = Twice01(ax.f), o.fx23 = Twice23(ax.f), o.fx101 = Twice01(ax.f1), o.fx123 = Twice23(ax.f1);
  o.fy01 = Twice01(ay.f), o.fy23 = Twice23(ay.f), o.fy101 = Twice01(ay.f1), o.fy123 = Twice23(ay.f1);
  o.fz01 = _mm_shuffle_ps(az.f, az.f1, 0x44), o.fz23 = _mm_shuffle_ps(az.f, az.f1, 0xEE);
  o.sx01 = Twice01(ax.s), o.sx23 = Twice23(ax.s), o.sy01 = Twice01(ay.s), o.sy23 = Twice23(ay.s);

  // n(dx dy dz) of points 0 1 and 2 3, the dz = 0 and 1 corners side by side.
  __m128 n00a, n00b, n10a, n10b, n01a, n01b, n11a, n11b;
  CornerPairDot4(T, c00, o.fx01, o.fx23, o.fy01, o.fy23, o, &n00a, &n00b);
  CornerPairDot4(T, c10, o.fx101, o.fx123, o.fy01, o.fy23, o, &n10a, &n10b);
  CornerPairDot4(T, c01, o.fx01, o.fx23, o.fy101, o.fy123, o, &n01a, &n01b);
  CornerPairDot4(T, c11, o.fx101, o.fx123, o.fy101, o.fy123, o, &n11a, &n11b);

  // The x lerps, then the y lerps, of both z layers at once; then the z layers are split into
  // the points' own lanes for the last lerp.
  const __m128 ya = Lerp4(o.sy01, Lerp4(o.sx01, n00a, n10a), Lerp4(o.sx01, n01a, n11a));
  const __m128 yb = Lerp4(o.sy23, Lerp4(o.sx23, n00b, n10b), Lerp4(o.sx23, n01b, n11b));
  return Lerp4(az.s, _mm_movelh_ps(ya, yb), _mm_movehl_ps(yb, ya));
}

}  // namespace

// In runs of points (noise_paths.h): the lattice columns and z cells of the whole run, its column
// hashes read one by one (four bytes from entry ix * 257 + iy on, noise_tables.h), then its noise.
void GradientNoise3ManySse2(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  const float *T = &tables->gradientPairs[0][0];
  const uint16_t *columnHashes = tables->columnHashes;
  alignas(16) int32_t column[kNoiseRun], iz[kNoiseRun];
  alignas(16) uint32_t hashes[kNoiseRun];
  alignas(16) int32_t c00[kNoiseRun], c10[kNoiseRun], c01[kNoiseRun], c11[kNoiseRun];
  int32_t k = 0;
  __m128 x, y, z;
  while (count - k >= 4) {
    const int32_t run = std::min(kNoiseRun, (count - k) & ~3);
    const float *p = points + 3 * k;
    for (int32_t j = 0; j < run; j += 4) {
      LoadPoints4(p + 3 * j, &x, &y, &z);
      const __m128i ix = LatticeCell4(x);
      _mm_store_si128(reinterpret_cast<__m128i *>(column + j),
                      _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(ix, 8), ix), LatticeCell4(y)));
      _mm_store_si128(reinterpret_cast<__m128i *>(iz + j), LatticeCell4(z));
    }
    for (int32_t j = 0; j < run; ++j) std::memcpy(hashes + j, columnHashes + column[j], sizeof hashes[j]);
    for (int32_t j = 0; j < run; j += 4) {
      CornerPairOffsets4(_mm_load_si128(reinterpret_cast<const __m128i *>(hashes + j)),
                         _mm_load_si128(reinterpret_cast<const __m128i *>(iz + j)), c00 + j, c10 + j, c01 + j, c11 + j);
    }
    for (int32_t j = 0; j < run; j += 4) {
      LoadPoints4(p + 3 * j, &x, &y, &z);
      _mm_storeu_ps(out + k + j, GradientNoise3x4(T, x, y, z, c00 + j, c10 + j, c01 + j, c11 + j));
    }
    k += run;
  }
  for (; k < count; ++k) out[k] = GradientNoise3Tables(tables, points[3 * k], points[3 * k + 1], points[3 * k + 2]);
}
