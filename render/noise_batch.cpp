// noise_batch.cpp -- the gradient noise at many points, four at a time.
//
// Each SSE2 lane evaluates one point with exactly the operations of GradientNoise3Tables (see
// noise_inline.h for the formulas and why they are exact), so the results are the same bits:
// the lattice set-up of the three axes, the dot products and the seven lerps run across four
// points at once, and only the table reads are made lane by lane: one read of columnHashes
// (noise_tables.h) for the four corner hashes of a point, and the gradients. A remainder of fewer
// than four points goes through the one-point form.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>

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

// The dot products of the two corners (dx, dy, 0) and (dx, dy, 1) of four points: the gradients
// G3[c] and G3[c + 1] are the six floats from offset[k] = 3c on, read as four and two, and
// transposed into x, y and z columns.
__attribute__((always_inline)) inline void CornerPairDot4(const float *G, const int32_t offset[4], __m128 fx, __m128 fy, __m128 fz, __m128 fz1,
                           __m128 *near, __m128 *far) {
  __m128 g0 = _mm_loadu_ps(G + offset[0]);
  __m128 g1 = _mm_loadu_ps(G + offset[1]);
  __m128 g2 = _mm_loadu_ps(G + offset[2]);
  __m128 g3 = _mm_loadu_ps(G + offset[3]);
  _MM_TRANSPOSE4_PS(g0, g1, g2, g3);   // x, y, z of the near corner, x of the far one
  const __m128 e0 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(G + offset[0] + 4)));
  const __m128 e1 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(G + offset[1] + 4)));
  const __m128 e2 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(G + offset[2] + 4)));
  const __m128 e3 = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(G + offset[3] + 4)));
  const __m128 e01 = _mm_unpacklo_ps(e0, e1);   // y y z z of points 0, 1
  const __m128 e23 = _mm_unpacklo_ps(e2, e3);
  const __m128 y1 = _mm_movelh_ps(e01, e23);
  const __m128 z1 = _mm_movehl_ps(e23, e01);
  *near = Dot4(g0, g1, g2, fx, fy, fz);
  *far = Dot4(g3, y1, z1, fx, fy, fz1);
}

inline __m128 Lerp4(__m128 s, __m128 a, __m128 b) { return _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), s), a); }

// 3 x, as integer additions.
inline __m128i Triple4(__m128i x) { return _mm_add_epi32(_mm_add_epi32(x, x), x); }

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
  _mm_store_si128(reinterpret_cast<__m128i *>(c00), Triple4(_mm_add_epi32(h00, iz)));
  _mm_store_si128(reinterpret_cast<__m128i *>(c10), Triple4(_mm_add_epi32(h10, iz)));
  _mm_store_si128(reinterpret_cast<__m128i *>(c01), Triple4(_mm_add_epi32(h01, iz)));
  _mm_store_si128(reinterpret_cast<__m128i *>(c11), Triple4(_mm_add_epi32(h11, iz)));
}

// The noise at four points whose corner-pair offsets are known.
__attribute__((always_inline)) inline __m128 GradientNoise3x4(const float *G, __m128 x, __m128 y, __m128 z,
                                                              const int32_t *c00, const int32_t *c10,
                                                              const int32_t *c01, const int32_t *c11) {
  NoiseAxis4 ax, ay, az;
  SetupNoiseAxis4(x, &ax);
  SetupNoiseAxis4(y, &ay);
  SetupNoiseAxis4(z, &az);

  __m128 n000, n001, n100, n101, n010, n011, n110, n111;
  CornerPairDot4(G, c00, ax.f, ay.f, az.f, az.f1, &n000, &n001);
  CornerPairDot4(G, c10, ax.f1, ay.f, az.f, az.f1, &n100, &n101);
  CornerPairDot4(G, c01, ax.f, ay.f1, az.f, az.f1, &n010, &n011);
  CornerPairDot4(G, c11, ax.f1, ay.f1, az.f, az.f1, &n110, &n111);

  const __m128 x00 = Lerp4(ax.s, n000, n100);
  const __m128 x10 = Lerp4(ax.s, n010, n110);
  const __m128 x01 = Lerp4(ax.s, n001, n101);
  const __m128 x11 = Lerp4(ax.s, n011, n111);
  return Lerp4(az.s, Lerp4(ay.s, x00, x10), Lerp4(ay.s, x01, x11));
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

}  // namespace

// In runs of points (noise_paths.h): the lattice columns and z cells of the whole run, its column
// hashes read one by one (four bytes from entry ix * 257 + iy on, noise_tables.h), then its noise.
void GradientNoise3ManySse2(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  const float *G = &tables->G3[0][0];
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
      _mm_storeu_ps(out + k + j, GradientNoise3x4(G, x, y, z, c00 + j, c10 + j, c01 + j, c11 + j));
    }
    k += run;
  }
  for (; k < count; ++k) out[k] = GradientNoise3Tables(tables, points[3 * k], points[3 * k + 1], points[3 * k + 2]);
}
