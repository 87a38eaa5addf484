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
// so the results are the same bits. A run of points (noise_paths.h) goes through two passes.
// The first sets up the lattice of eight points at a time: cells, offsets and fades, the
// column hashes in one gathered read of columnHashes, and from them the rows of the corner
// pairs; it keeps all of that in the run's scratch. The second takes four points at a time
// into one register, their near (dz = 0) corners in the low half and their far (dz = 1) ones in
// the high half, as the rows of gradientNearFar (noise_tables.h) hold a corner pair: one
// 32-byte read a point and pair, and an in-half transposition of four rows gives the x, y and z
// components. The offsets it needs come from the scratch already doubled into both halves by
// the read itself (the offsets less 1 then made by a subtraction), so the arithmetic pass
// shuffles nothing but the gradients. A final group of fewer than eight points goes to the
// SSE2 path.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

// What the first pass keeps of eight points for the second, plane k of each holding lane k of
// each point. The offsets less 1 are left to the second pass: it makes them from the offsets in
// its registers for less than it would cost to store and fetch them.
struct NoiseGroup8 {
  alignas(32) float fx[8];
  alignas(32) float fy[8];
  alignas(32) float fz[8];
  alignas(32) float sx[8];
  alignas(32) float sy[8];
  alignas(32) float sz[8];
  alignas(32) int32_t row[4][8];   // float offsets 8c of the rows of corner pairs 00, 10, 01, 11
};

// One lattice axis of eight points: trunc(t) (whose low byte is the cell index, noise_inline.h),
// the offset from the low corner and the fade.
struct NoiseAxis8 {
  __m256i whole;
  __m256 f;
  __m256 s;
};

inline void SetupNoiseAxis8(__m256 c, NoiseAxis8 *axis) {
  const __m256 t = _mm256_add_ps(c, _mm256_set1_ps(4096.0f));
  axis->whole = _mm256_cvttps_epi32(t);
  // floor(t) as a float: trunc(t), less 1 where t < 0 (chosen by the sign bit: a sum with +4096
  // is never -0).
  // Where trunc(t) is in range, float(trunc(t)) - 1 rounds the same integer as the integer
  // form's float(trunc(t) - 1) and so has its bits; where it is INT32_MIN (out of range or NaN)
  // the difference rounds back to -2^31, just as that form keeps INT32_MIN there.
  const __m256 whole = _mm256_cvtepi32_ps(axis->whole);
  const __m256 floorT = _mm256_blendv_ps(whole, _mm256_sub_ps(whole, _mm256_set1_ps(1.0f)), t);
  axis->f = _mm256_sub_ps(t, floorT);
  axis->s = _mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(3.0f), _mm256_mul_ps(_mm256_set1_ps(2.0f), axis->f)),
                          _mm256_mul_ps(axis->f, axis->f));
}

// Eight interleaved points (24 floats) split into their x, y and z lanes: three 32-byte reads
// regrouped by two blends and a swap of halves (rows 0-3 of the points in the low halves, rows
// 4-7 in the high ones), then five shuffles.
inline void LoadPoints8(const float *p, __m256 *x, __m256 *y, __m256 *z) {
  const __m256 m0 = _mm256_loadu_ps(p), m2 = _mm256_loadu_ps(p + 16);
  const __m256 m03 = _mm256_blend_ps(m0, _mm256_loadu_ps(p + 8), 0xF0);
  const __m256 m14 = _mm256_permute2f128_ps(m0, m2, 0x21);
  const __m256 m25 = _mm256_blend_ps(m2, _mm256_loadu_ps(p + 8), 0x0F);
  // m03: x0 y0 z0 x1 | x4 y4 z4 x5, m14: y1 z1 x2 y2 | y5 z5 x6 y6, m25: z2 x3 y3 z3 | z6 x7 y7 z7
  const __m256 xy = _mm256_shuffle_ps(m14, m25, _MM_SHUFFLE(2, 1, 3, 2));   // x2 y2 x3 y3
  const __m256 yz = _mm256_shuffle_ps(m03, m14, _MM_SHUFFLE(1, 0, 2, 1));   // y0 z0 y1 z1
  *x = _mm256_shuffle_ps(m03, xy, _MM_SHUFFLE(2, 0, 3, 0));
  *y = _mm256_shuffle_ps(yz, xy, _MM_SHUFFLE(3, 1, 2, 0));
  *z = _mm256_shuffle_ps(yz, m25, _MM_SHUFFLE(3, 0, 3, 1));
}

// The first pass over eight points.
__attribute__((always_inline)) inline void PrepareNoiseGroup8(const NoiseTables *tables, const float *p, NoiseGroup8 *g) {
  __m256 x, y, z;
  LoadPoints8(p, &x, &y, &z);
  // Each axis is stored as soon as it is made, which keeps the compiler from holding all three
  // in registers (and spilling others) until the end.
  NoiseAxis8 ax, ay, az;
  SetupNoiseAxis8(x, &ax);
  _mm256_store_ps(g->fx, ax.f);
  _mm256_store_ps(g->sx, ax.s);
  SetupNoiseAxis8(y, &ay);
  _mm256_store_ps(g->fy, ay.f);
  _mm256_store_ps(g->sy, ay.s);

  // The four corner hashes of column (ix, iy), one byte each (noise_tables.h), plus the z cell
  // give the first corners c of the pairs; row c of gradientNearFar starts at float 8c. A
  // multiply-add of unsigned bytes, weight 8 on one byte of a pair and 0 on the other, takes a
  // hash out of each lane already times 8 (at most 2040, so the 16-bit sum is exact and the
  // pair above it sums to 0).
  const __m256i low = _mm256_set1_epi32(255);
  const __m256i ix = _mm256_and_si256(ax.whole, low);
  const __m256i column = _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(ix, 8), ix), _mm256_and_si256(ay.whole, low));
  const __m256i h = _mm256_i32gather_epi32(reinterpret_cast<const int *>(tables->columnHashes), column, 2);

  SetupNoiseAxis8(z, &az);
  _mm256_store_ps(g->fz, az.f);
  _mm256_store_ps(g->sz, az.s);

  const __m256i h2 = _mm256_srli_epi32(h, 16);
  const __m256i byte0 = _mm256_set1_epi32(8), byte1 = _mm256_set1_epi32(8 << 8);
  const __m256i iz8 = _mm256_slli_epi32(_mm256_and_si256(az.whole, low), 3);
  _mm256_store_si256(reinterpret_cast<__m256i *>(g->row[0]), _mm256_add_epi32(_mm256_maddubs_epi16(h, byte0), iz8));
  _mm256_store_si256(reinterpret_cast<__m256i *>(g->row[1]), _mm256_add_epi32(_mm256_maddubs_epi16(h, byte1), iz8));
  _mm256_store_si256(reinterpret_cast<__m256i *>(g->row[2]), _mm256_add_epi32(_mm256_maddubs_epi16(h2, byte0), iz8));
  _mm256_store_si256(reinterpret_cast<__m256i *>(g->row[3]), _mm256_add_epi32(_mm256_maddubs_epi16(h2, byte1), iz8));
}

// The first pass over a run. Not inlined: inside the caller, the compiler keeps this loop's
// constants across the second pass, where the registers are all taken, and reloads them here.
__attribute__((noinline)) void PrepareNoiseGroups(const NoiseTables *tables, const float *p, NoiseGroup8 *g,
                                                  const NoiseGroup8 *end) {
  for (; g != end; ++g, p += 24) PrepareNoiseGroup8(tables, p, g);
}

// Four floats of a plane in both halves of a register.
__attribute__((always_inline)) inline __m256 Both(const float *plane) { return _mm256_broadcast_ps(reinterpret_cast<const __m128 *>(plane)); }

__attribute__((always_inline)) inline __m256 Dot8(__m256 gx, __m256 gy, __m256 gz, __m256 fx, __m256 fy, __m256 fz) {
  return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(gx, fx), _mm256_mul_ps(gy, fy)), _mm256_mul_ps(gz, fz));
}

inline __m256 Lerp8(__m256 s, __m256 a, __m256 b) {
  return _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(b, a), s), a);
}

// The near and far dot products of one corner pair of four points, whose rows x y z 0 | x' y'
// z' 0 start at the given offsets: unpacking the rows two by two and then the pairs gives the
// x, y and z components of the four points in each half.
__attribute__((always_inline)) inline __m256 CornerPairDot4(const float *T, const int32_t *row, __m256 fx, __m256 fy, __m256 fz) {
  const __m256 r0 = _mm256_loadu_ps(T + row[0]), r1 = _mm256_loadu_ps(T + row[1]);
  const __m256 r2 = _mm256_loadu_ps(T + row[2]), r3 = _mm256_loadu_ps(T + row[3]);
  const __m256 xy01 = _mm256_unpacklo_ps(r0, r1), z01 = _mm256_unpackhi_ps(r0, r1);   // x0 x1 y0 y1, z0 z1 0 0
  const __m256 xy23 = _mm256_unpacklo_ps(r2, r3), z23 = _mm256_unpackhi_ps(r2, r3);
  return Dot8(_mm256_shuffle_ps(xy01, xy23, 0x44), _mm256_shuffle_ps(xy01, xy23, 0xEE), _mm256_shuffle_ps(z01, z23, 0x44),
              fx, fy, fz);
}

// The second pass over points 4h..4h + 3 of a group: their x and y lerps, near layer in the low
// half and far layer in the high half.
__attribute__((always_inline)) inline __m256 NearAndFar4(const float *T, const NoiseGroup8 &g, int h) {
  const int k = 4 * h;
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 fx = Both(g.fx + k), fx1 = _mm256_sub_ps(fx, one);
  const __m256 fy = Both(g.fy + k), fy1 = _mm256_sub_ps(fy, one);
  // fz in the near half, fz - 1 in the far one (fz - 0 is fz, -0 and NaN included).
  const __m256 fz = _mm256_sub_ps(Both(g.fz + k), _mm256_setr_ps(0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f));
  // Each x lerp is taken as soon as its two pairs are ready, so that fewer values are held at
  // once (with all four pairs waiting, the compiler runs out of registers).
  const __m256 sx = Both(g.sx + k);
  const __m256 alongX0 = Lerp8(sx, CornerPairDot4(T, g.row[0] + k, fx, fy, fz), CornerPairDot4(T, g.row[1] + k, fx1, fy, fz));
  const __m256 alongX1 = Lerp8(sx, CornerPairDot4(T, g.row[2] + k, fx, fy1, fz), CornerPairDot4(T, g.row[3] + k, fx1, fy1, fz));
  return Lerp8(Both(g.sy + k), alongX0, alongX1);
}

// (The helpers above are forced inline: called apart, their vector arguments go through memory.)

}  // namespace

void GradientNoise3ManyAvx2(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  const float *T = &tables->gradientNearFar[0][0];
  NoiseGroup8 groups[kNoiseRun / 8];
  while (count >= 8) {
    const NoiseGroup8 *end = groups + std::min(kNoiseRun, count) / 8;
    PrepareNoiseGroups(tables, points, groups, end);
    points += 3 * 8 * (end - groups);
    for (const NoiseGroup8 *g = groups; g != end; ++g, out += 8) {
      const __m256 a = NearAndFar4(T, *g, 0), b = NearAndFar4(T, *g, 1);
      // The z lerp of the eight points in their own lanes.
      _mm256_storeu_ps(out, Lerp8(_mm256_load_ps(g->sz), _mm256_permute2f128_ps(a, b, 0x20), _mm256_permute2f128_ps(a, b, 0x31)));
    }
    count -= int32_t(8 * (end - groups));
  }
  // The last one to seven points on the SSE2 path (four at a time, then one by one): the same
  // bits, without spending a whole eight-lane evaluation on a short tail.
  if (count > 0) GradientNoise3ManySse2(tables, points, out, count);
}
