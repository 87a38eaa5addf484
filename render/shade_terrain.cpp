// shade_terrain.cpp -- stages 1 to 3 of the shader: where the pixel lies on the planet, how it is
// lit, and how high the ground is there.
//
// The globe is an orthographic disc: the pixel's offset from the view centre, divided by the
// radius, gives x and y of the sphere point and z follows from x^2 + y^2 + z^2 = 1. The map is
// equirectangular: the pixel's texture coordinates give latitude and longitude, and the point is
// turned so that the map's pole lies on the planet's axis.
//
// The ground height is a fractal sum of gradient noise whose octave count follows the size of a
// pixel on the sphere (fewer octaves near the limb, where a pixel covers more ground), squared
// with its sign so that the relief flattens near the water line, plus the crater decals. The
// same height evaluated a thousandth of a radius toward the light gives the relief shading.
//
// The fractal sums are evaluated through GradientNoise3Many: every octave point of a sum (and of
// the light-side sum beside it) is known before the first noise value is needed, so all of them
// go to the noise in one batch. The values are then summed in the documented order, which gives
// exactly the bits of term-by-term evaluation.
#include <emmintrin.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "foundation/fast_math.h"
#include "foundation/vector_math.h"
#include "imagestore/samplers.h"
#include "foundation/exact_math.h"
#include "render/fractal_sum.h"
#include "render/frame_routines.h"
#include "render/noise.h"
#include "render/render_setup.h"
#include "render/shade_internal.h"
#include "render/shader.h"

namespace {

constexpr float kReliefLacunarity = 1.584786f;
constexpr float kReliefPointScale = 1.5f;
constexpr float kLogOctaveStep = 0.4604494165f;   // ln 1.584786
constexpr float kLogMapViewTerm = -0.34657359f;   // ln 0.70710677
constexpr float kHalfRoot2 = 0.707106781186548f;

// More terms than any planet needs (a 2^26-pixel radius needs about 40); the cap only keeps
// absurd octave counts from running away.
constexpr int32_t kMaxFractalTerms = 64;
static_assert(sizeof FractalWeights::w / sizeof FractalWeights::w[0] == kMaxFractalTerms + 1);
static_assert(kFractalTermCap == kMaxFractalTerms);

// The lunar relief height at a sphere point, (t - 128) x 0.003.
float LunarHeight(const ShadeRow *row, const float point[3]) {
  const RenderView *view = row->view;
  const float t = SampleGrayTrilinear(row->lunarImage, view->lunarLevel, view->lunarLevelFraction,
                                      ClampUnit(point[0] * 0.5f + 0.5f), ClampUnit(point[1] * 0.5f + 0.5f));
  return (t - 128.0f) * 0.003f;
}

// The fractal relief of up to two points with the same octave count, in one noise batch:
// ReliefAltitude without "Real Luna", for `count` (1 or 2) points. The side sum and first value
// left behind are those of the last point, as if the two had been evaluated one after the other.
void FractalReliefBatch(ShadeRow *row, const float *points, int32_t count, float octaves, float *altitude,
                        float *raw, float *firstValue) {
  RunState *run = row->run;
  const FractalPlan plan = PlanFractal(octaves);
  float octavePoints[2 * 3 * kMaxFractalTerms];
  float values[2 * kMaxFractalTerms];
  for (int32_t k = 0; k < count; k++) {
    float p[3] = {points[3 * k] * kReliefPointScale, points[3 * k + 1] * kReliefPointScale,
                  points[3 * k + 2] * kReliefPointScale};
    FillOctavePoints(p, kReliefLacunarity, plan, octavePoints + 3 * plan.terms * k);
  }
  GradientNoise3Many(&run->noiseTables, octavePoints, values, plan.terms * count);
  for (int32_t k = 0; k < count; k++) {
    const float r = SumFractal(values + plan.terms * k, plan, run->reliefGain, &firstValue[k], &run->sideSum) -
                    run->seaLevelValue;
    raw[k] = r;
    altitude[k] = r * std::fabs(r);
  }
}

// The light-side point, a thousandth of a radius toward the light, and the octave count of the
// pixel's relief.
void PrepareTerrain(const ShadeRow *row, ShadePixel *px) {
  const float *n = px->n;
  float toward[3] = {n[0] - px->farLight[0], n[1] - px->farLight[1], n[2] - px->farLight[2]};
  NormaliseVec3f(toward);
  for (int k = 0; k < 3; k++) px->lightSidePoint[k] = n[k] + 0.001f * toward[k];
  float octaves = (row->view->logRadius + px->logViewTerm) / kLogOctaveStep - 2.0f;
  if (!(octaves >= 1.0f)) octaves = 1.0f;   // NaN counts as 1
  px->octaves = octaves;
  px->reliefPlan = PlanFractal(octaves);
  px->terrainPrepared = true;
}

// PrepareTerrain for `count` pixels, four at a time in the lanes of SSE registers. Every lane
// takes the scalar form's operations in its order: the direction's squared length as
// (t0 t0 + t1 t1) + t2 t2, the exact root, and the scale 1 / root taken in double above 0.05
// and in float below it, as NormaliseVec3f does; a zero direction becomes (0, 0, 1). Both sides
// of each choice are computed and the lanes pick theirs, so a NaN goes where it goes in the
// scalar form. The plans too are made in lanes (PlanFractalLanes). Returns the most terms of
// any pixel's plan (0 for no pixels).
//
// Each pixel's first octave points, n and P' times the point scale, are left in start[i] as
// (x, y, z, 0): the lanes hold the components of four pixels already, and turned into one
// register per point they go straight into the octave points, where the one-pixel form reads
// the pixel's fields back and scales them one by one.
//
// For each whole group of four (pixels 4g to 4g + 3) sameSteps[g] says whether the four plans
// have the same steps and terms, and fractions[g] holds their fractions in its lanes; a last group
// of fewer than four is marked as not the same.
int32_t PrepareTerrainMany(const ShadeRow *row, ShadePixel *const *pixels, int32_t count, __m128 (*start)[2],
                           bool *sameSteps, __m128 *fractions) {
  int32_t most = 0;
  int32_t i = 0;
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), small = _mm_set1_ps(0.05f);
  const __m128 step = _mm_set1_ps(0.001f), logRadius = _mm_set1_ps(row->view->logRadius);
  const __m128 logStep = _mm_set1_ps(kLogOctaveStep), two = _mm_set1_ps(2.0f);
  const __m128 scale = _mm_set1_ps(kReliefPointScale);
  const __m128d oneD = _mm_set1_pd(1.0);
  for (; i + 4 <= count; i += 4) {
    ShadePixel *const *px = pixels + i;
    __m128 n[3], t[3];
    for (int k = 0; k < 3; k++) {
      n[k] = _mm_setr_ps(px[0]->n[k], px[1]->n[k], px[2]->n[k], px[3]->n[k]);
      t[k] = _mm_sub_ps(n[k], _mm_setr_ps(px[0]->farLight[k], px[1]->farLight[k], px[2]->farLight[k],
                                          px[3]->farLight[k]));
    }
    const __m128 q = _mm_add_ps(_mm_add_ps(_mm_mul_ps(t[0], t[0]), _mm_mul_ps(t[1], t[1])), _mm_mul_ps(t[2], t[2]));
    const __m128 root = _mm_sqrt_ps(q);
    const __m128 wide = _mm_movelh_ps(_mm_cvtpd_ps(_mm_div_pd(oneD, _mm_cvtps_pd(root))),
                                      _mm_cvtpd_ps(_mm_div_pd(oneD, _mm_cvtps_pd(_mm_movehl_ps(root, root)))));
    const __m128 narrow = _mm_div_ps(one, root);
    const __m128 big = _mm_cmpgt_ps(q, small), none = _mm_cmpeq_ps(q, zero);
    const __m128 inverse = _mm_or_ps(_mm_and_ps(big, wide), _mm_andnot_ps(big, narrow));
    __m128 side[4], p[4];
    for (int k = 0; k < 3; k++) {
      __m128 u = _mm_andnot_ps(none, _mm_mul_ps(t[k], inverse));
      if (k == 2) u = _mm_or_ps(u, _mm_and_ps(none, one));
      side[k] = _mm_add_ps(n[k], _mm_mul_ps(step, u));
      p[k] = _mm_mul_ps(n[k], scale);
    }
    // One register per pixel: side[j] = (x, y, z, 0) of pixel j's P', and so for p.
    side[3] = p[3] = zero;
    _MM_TRANSPOSE4_PS(side[0], side[1], side[2], side[3]);
    _MM_TRANSPOSE4_PS(p[0], p[1], p[2], p[3]);
    const __m128 view = _mm_setr_ps(px[0]->logViewTerm, px[1]->logViewTerm, px[2]->logViewTerm, px[3]->logViewTerm);
    __m128 octaves = _mm_sub_ps(_mm_div_ps(_mm_add_ps(logRadius, view), logStep), two);
    const __m128 enough = _mm_cmpge_ps(octaves, one);   // NaN counts as 1
    octaves = _mm_or_ps(_mm_and_ps(enough, octaves), _mm_andnot_ps(enough, one));
    __m128i steps;
    __m128 fraction;
    const __m128i terms = PlanFractalLanes(octaves, &steps, &fraction);
    const __m128i same = _mm_and_si128(_mm_cmpeq_epi32(steps, _mm_shuffle_epi32(steps, 0)),
                                       _mm_cmpeq_epi32(terms, _mm_shuffle_epi32(terms, 0)));
    sameSteps[i / 4] = _mm_movemask_epi8(same) == 0xFFFF;
    fractions[i / 4] = fraction;
    alignas(16) float oct[4], frac[4];
    alignas(16) int32_t st[4], te[4];
    _mm_store_ps(oct, octaves);
    _mm_store_ps(frac, fraction);
    _mm_store_si128(reinterpret_cast<__m128i *>(st), steps);
    _mm_store_si128(reinterpret_cast<__m128i *>(te), terms);
    for (int j = 0; j < 4; j++) {
      float *ls = px[j]->lightSidePoint;
      _mm_storel_pi(reinterpret_cast<__m64 *>(ls), side[j]);
      _mm_store_ss(ls + 2, _mm_movehl_ps(side[j], side[j]));
      px[j]->octaves = oct[j];
      px[j]->reliefPlan.steps = st[j];
      px[j]->reliefPlan.fraction = frac[j];
      px[j]->reliefPlan.terms = te[j];
      px[j]->terrainPrepared = true;
      most = te[j] > most ? te[j] : most;
      start[i + j][0] = p[j];
      start[i + j][1] = _mm_mul_ps(side[j], scale);
    }
  }
  if (i < count) sameSteps[i / 4] = false;
  for (; i < count; i++) {
    ShadePixel *px = pixels[i];
    PrepareTerrain(row, px);
    most = px->reliefPlan.terms > most ? px->reliefPlan.terms : most;
    const float *n = px->n, *ls = px->lightSidePoint;
    start[i][0] = _mm_setr_ps(n[0] * kReliefPointScale, n[1] * kReliefPointScale, n[2] * kReliefPointScale, 0.0f);
    start[i][1] = _mm_setr_ps(ls[0] * kReliefPointScale, ls[1] * kReliefPointScale, ls[2] * kReliefPointScale, 0.0f);
  }
  return most;
}

// FillOctavePoints of two points with the same plan, their terms interleaved: term k of p at
// out + 6k and of q at out + 6k + 3, so that the two points' noise values come out side by
// side, as SumFractalPairInterleaved reads them (the point as the sum leaves it is not kept).
// The points come as (x, y, z, anything). Each term's step is a multiplication on the one
// before, a chain of dependent products; the two chains interleaved run in the time of one.
// Every store but q's last writes four floats, the fourth overwritten by the next store; q's
// last writes three, so that nothing beyond the points is touched. The loop takes two terms a
// turn, which halves its own work.
void FillOctavePointPair(__m128 a, __m128 b, float lacunarity, const FractalPlan &plan, float *out) {
  const __m128 l = _mm_set1_ps(lacunarity);
  const int32_t last = plan.terms - 1;
  int32_t k = 0;
  for (; k + 2 <= last; k += 2) {
    _mm_storeu_ps(out + 6 * k, a);
    _mm_storeu_ps(out + 6 * k + 3, b);
    a = _mm_mul_ps(a, l);
    b = _mm_mul_ps(b, l);
    _mm_storeu_ps(out + 6 * k + 6, a);
    _mm_storeu_ps(out + 6 * k + 9, b);
    a = _mm_mul_ps(a, l);
    b = _mm_mul_ps(b, l);
  }
  if (k < last) {
    _mm_storeu_ps(out + 6 * k, a);
    _mm_storeu_ps(out + 6 * k + 3, b);
    a = _mm_mul_ps(a, l);
    b = _mm_mul_ps(b, l);
  }
  float *tail = out + 6 * last;
  _mm_storeu_ps(tail, a);
  _mm_storel_pi(reinterpret_cast<__m64 *>(tail + 3), b);
  _mm_store_ss(tail + 5, _mm_movehl_ps(b, b));
}

// FillOctavePointPair of four pixels with the same plan, term by term: term k of the four
// pixels' points n at out + 24k + 3j and of their light-side points at out + 24k + 12 + 3j, so
// that the noise values of a term come out as two runs of four, one register each for
// SumReliefQuad. Every store but the very last writes four floats, the fourth overwritten by
// the next store.
void FillOctavePointQuad(const __m128 (*start)[2], float lacunarity, int32_t terms, float *out) {
  const __m128 l = _mm_set1_ps(lacunarity);
  __m128 a[8];
#pragma GCC unroll 8
  for (int j = 0; j < 4; j++) {
    a[j] = start[j][0];
    a[4 + j] = start[j][1];
  }
  for (int32_t k = 0;; k++) {
    float *term = out + 24 * k;
#pragma GCC unroll 8
    for (int j = 0; j < 7; j++) _mm_storeu_ps(term + 3 * j, a[j]);
    if (k + 1 == terms) {
      _mm_storel_pi(reinterpret_cast<__m64 *>(term + 21), a[7]);
      _mm_store_ss(term + 23, _mm_movehl_ps(a[7], a[7]));
      return;
    }
    _mm_storeu_ps(term + 21, a[7]);
#pragma GCC unroll 8
    for (int j = 0; j < 8; j++) a[j] = _mm_mul_ps(a[j], l);
  }
}

// Height compression below the water line: -(sqrt(|h| + 0.5) - sqrt(0.5)).
float CompressBelowZero(float h) {
  if (h < 0.0f) return -(sqrtf(std::fabs(h) + 0.5f) - kHalfRoot2);
  return h;
}

// The mip level that the trilinear sampler reads for a requested level: clamped into
// 0 .. coarsest - 1, NaN as 0.
int32_t SampledLevel(const TiledMipImage *image, float level) {
  const int32_t top = image->coarsestLevel > 1 ? image->coarsestLevel - 1 : 0;
  if (!(level > 0.0f)) return 0;
  if (level >= float(top)) return top;
  return int32_t(level);
}

bool gCraterCullingEnabled = true;
bool gCraterPairsEnabled = true;

// The slab test, -r < p.u < r and -r < p.t < r (false for NaN), of four candidates (from column i
// of the row's crater columns) as a lane mask. Each pair of comparisons is made as |p.u| < r,
// which holds exactly when both do, for every float and NaN alike (clearing the sign is exact).
// About one candidate in fifteen is hit, so the test is the loop's cost, and a branch per
// candidate mostly guesses wrong. Each lane forms its dot products as DecalsOfHits does,
// ((p0 u0 + p1 u1) + p2 u2), so the lanes decide exactly as one crater at a time would; an empty slab
// (r = 0) holds no point, NaN included.
struct SlabPoint {
  __m128 p0, p1, p2;
};

inline SlabPoint SlabPointOf(const float point[3]) {
  return {_mm_set1_ps(point[0]), _mm_set1_ps(point[1]), _mm_set1_ps(point[2])};
}

// Four candidates' axes and half sizes, from column i of the row's crater columns.
struct SlabLanes {
  __m128 u0, u1, u2, t0, t1, t2, r;
};

inline SlabLanes SlabLanesAt(const float (*col)[kCraterColumnStride], int32_t i) {
  return {_mm_load_ps(col[0] + i), _mm_load_ps(col[1] + i), _mm_load_ps(col[2] + i), _mm_load_ps(col[3] + i),
          _mm_load_ps(col[4] + i), _mm_load_ps(col[5] + i), _mm_load_ps(col[6] + i)};
}

inline int32_t SlabMask(const SlabPoint &p, const SlabLanes &c) {
  const __m128 sign = _mm_set1_ps(-0.0f);
  const __m128 a = _mm_add_ps(_mm_add_ps(_mm_mul_ps(p.p0, c.u0), _mm_mul_ps(p.p1, c.u1)), _mm_mul_ps(p.p2, c.u2));
  const __m128 b = _mm_add_ps(_mm_add_ps(_mm_mul_ps(p.p0, c.t0), _mm_mul_ps(p.p1, c.t1)), _mm_mul_ps(p.p2, c.t2));
  const __m128 inA = _mm_cmplt_ps(_mm_andnot_ps(sign, a), c.r);
  const __m128 inB = _mm_cmplt_ps(_mm_andnot_ps(sign, b), c.r);
  return _mm_movemask_ps(_mm_and_ps(inA, inB));
}

// Appends the craters of the lanes set in `mask` (four from entry i of `craters`) to `hits`.
inline int32_t AppendHits(const int32_t *craters, int32_t i, int32_t mask, int32_t *hits, int32_t found) {
  while (mask != 0) {
    const int32_t lane = __builtin_ctz(uint32_t(mask));
    hits[found++] = craters[i + lane];
    mask &= mask - 1;
  }
  return found;
}

// The segment of the row's candidates serving `column`.
inline int32_t CraterSegmentOf(const ShadeRow *row, int32_t column) {
  const int32_t width = row->craterSegmentWidth;
  int32_t s = width > 0 && column >= 0 ? column / width : 0;
  if (s >= kCraterSegments) s = kCraterSegments - 1;
  return s;
}

// The candidates (of the segment serving `column`) whose crater's slab holds the point p, in list
// order, into `hits`; returns their count.
int32_t SlabHits(const ShadeRow *row, int32_t column, const float p[3], int32_t *hits) {
  const SlabPoint sp = SlabPointOf(p);
  const int32_t s = CraterSegmentOf(row, column);
  const float(*col)[kCraterColumnStride] = row->craterColumns[s];
  const int32_t *craters = row->craterSegmentCraters[s];
  int32_t found = 0;
  for (int32_t i = 0; i < row->craterSegmentCount[s]; i += 4) {
    found = AppendHits(craters, i, SlabMask(sp, SlabLanesAt(col, i)), hits, found);
  }
  return found;
}

// The candidates whose slab holds p or q (a pixel's point and its light-side point, a few
// thousandths apart, so nearly always both), in list order, each once into `hits` as
// (crater << 2) | which, where bit 0 of `which` says p is held and bit 1 says q is; returns the
// count. One entry per crater lets DecalsOfPair work out what the two points share only once.
[[gnu::always_inline]] inline int32_t SlabHitsOfPair(const ShadeRow *row, int32_t column, const float p[3],
                                                     const float q[3], int32_t *hits) {
  const SlabPoint sp = SlabPointOf(p), sq = SlabPointOf(q);
  const int32_t s = CraterSegmentOf(row, column);
  const float(*col)[kCraterColumnStride] = row->craterColumns[s];
  const int32_t *craters = row->craterSegmentCraters[s];
  int32_t found = 0;
  for (int32_t i = 0; i < row->craterSegmentCount[s]; i += 4) {
    const SlabLanes lanes = SlabLanesAt(col, i);
    const int32_t maskP = SlabMask(sp, lanes);
    const int32_t maskQ = SlabMask(sq, lanes);
    int32_t mask = maskP | maskQ;
    while (mask != 0) {
      const int32_t lane = __builtin_ctz(uint32_t(mask));
      hits[found++] = (craters[i + lane] << 2) | ((maskP >> lane) & 1) | (((maskQ >> lane) & 1) << 1);
      mask &= mask - 1;
    }
  }
  return found;
}

// What the decal of crater k takes from the crater alone, the same for every point of a pixel.
struct CraterDecalTerms {
  const TiledMipImage *image;
  float r, level, whole, flat, depth;
};

// Sixteen variants from four textures and four mirrorings: crater k's (mirrorU, mirrorT), twice
// (for the two points of AddCraterDecalPair), by (k >> 2) & 3.
alignas(16) const float kCraterMirrors[4][4] = {
    {0.5f, 0.5f, 0.5f, 0.5f}, {-0.5f, 0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f, -0.5f}};

inline CraterDecalTerms CraterTermsOf(const ShadeRow *row, int32_t k, float logViewTerm) {
  const RunState *run = row->run;
  const CraterRecord &c = run->craters[k];
  CraterDecalTerms d;
  d.r = c.halfSize;
  float level = (c.logHalfSize + run->craterLevelBias + logViewTerm) * -1.442695040888963f;
  if (level != level) level = 1.0f;
  if (level < 0.0f) level = 0.0f;   // a crater larger than its texture reads level 0
  d.level = level;
  d.whole = std::trunc(level);
  d.image = row->craterImages[k & 3];
  d.flat = run->craterFlatRadius[k & 3][SampledLevel(d.image, d.whole)];
  d.depth = d.r * run->craterDepthFactor;
  return d;
}

// The decal of crater k (with terms d) at a point, added to *decal. The product r times the depth
// factor is formed first, as the sum always has, so keeping it in the terms changes no bit.
inline void AddCraterDecal(const CraterDecalTerms &d, const CraterRecord &c, int32_t k, const float point[3],
                           float *decal) {
  const float *mirror = kCraterMirrors[(k >> 2) & 3];
  const float a = point[0] * c.u[0] + point[1] * c.u[1] + point[2] * c.u[2];
  const float b = point[0] * c.t[0] + point[1] * c.t[1] + point[2] * c.t[2];
  const float u = ClampUnit(a * mirror[0] / d.r + 0.5f);
  const float v = ClampUnit(b * mirror[1] / d.r + 0.5f);
  const float du = u - 0.5f, dv = v - 0.5f;
  if (du * du + dv * dv > d.flat * d.flat && gCraterCullingEnabled) return;
  const float t = SampleGrayTrilinear(d.image, d.whole, d.level - d.whole, u, v);
  *decal += d.depth * (t - 128.0f);
}

// The two points of a pair in the lanes AddCraterDecalPair works in: coordinate k of p in
// lanes 0 and 1 and of q in lanes 2 and 3, so that one product with a crater's (u_k, t_k, u_k,
// t_k) gives both points' terms of both dot products.
struct PairPoints {
  __m128 n0, n1, n2;
};

inline PairPoints PairPointsOf(const float p[3], const float q[3]) {
  return {_mm_setr_ps(p[0], p[0], q[0], q[0]), _mm_setr_ps(p[1], p[1], q[1], q[1]),
          _mm_setr_ps(p[2], p[2], q[2], q[2])};
}

// AddCraterDecal at p into *decalP and at q into *decalQ (pp from PairPointsOf(p, q)). The texture
// positions of both points are formed in the lanes (u at p, v at p, u at q, v at q), each lane with
// AddCraterDecal's operations in its order: the dot products ((n0 c0 + n1 c1) + n2 c2), then
// times the mirroring, over r, plus a half; ClampUnit is max with 0 (which also turns NaN into 0)
// then min with 1; the distance from the centre adds du^2 to dv^2. When both points need a sample
// (they lie a few thousandths apart, so nearly always), the two are taken in one call.
[[gnu::always_inline]] inline void AddCraterDecalPair(const CraterDecalTerms &d, const CraterRecord &c, int32_t k,
                                                      const PairPoints &pp, float *decalP, float *decalQ) {
  // c.u[0..2] and c.t[0] as one load, c.t[0..2] and the half size as another.
  const __m128 ut = _mm_loadu_ps(c.u), th = _mm_loadu_ps(c.t);
  const __m128 lo = _mm_unpacklo_ps(ut, th), hi = _mm_unpackhi_ps(ut, th);   // (u0 t0 u1 t1), (u2 t2 . .)
  const __m128 c0 = _mm_movelh_ps(lo, lo), c1 = _mm_movehl_ps(lo, lo), c2 = _mm_movelh_ps(hi, hi);
  const __m128 dot = _mm_add_ps(_mm_add_ps(_mm_mul_ps(pp.n0, c0), _mm_mul_ps(pp.n1, c1)), _mm_mul_ps(pp.n2, c2));
  const __m128 mirror = _mm_load_ps(kCraterMirrors[(k >> 2) & 3]);
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 raw = _mm_add_ps(_mm_div_ps(_mm_mul_ps(dot, mirror), _mm_set1_ps(d.r)), half);
  const __m128 uv = _mm_min_ps(_mm_max_ps(raw, _mm_setzero_ps()), _mm_set1_ps(1.0f));
  const __m128 duv = _mm_sub_ps(uv, half);
  const __m128 square = _mm_mul_ps(duv, duv);
  const __m128 distance = _mm_add_ps(square, _mm_shuffle_ps(square, square, _MM_SHUFFLE(2, 3, 0, 1)));
  const int32_t far = gCraterCullingEnabled ? _mm_movemask_ps(_mm_cmpgt_ps(distance, _mm_set1_ps(d.flat * d.flat))) : 0;
  alignas(16) float at[4];
  _mm_store_ps(at, uv);
  float t[2];
  if ((far & 5) == 0) {
    SampleGrayTrilinearPair(d.image, d.whole, d.level - d.whole, at[0], at[1], at[2], at[3], t);
    *decalP += d.depth * (t[0] - 128.0f);
    *decalQ += d.depth * (t[1] - 128.0f);
    return;
  }
  if (!(far & 1)) *decalP += d.depth * (SampleGrayTrilinear(d.image, d.whole, d.level - d.whole, at[0], at[1]) - 128.0f);
  if (!(far & 4)) *decalQ += d.depth * (SampleGrayTrilinear(d.image, d.whole, d.level - d.whole, at[2], at[3]) - 128.0f);
}

// The sum of the decals of the craters `hits` (whose slabs hold the point) at the point.
//
// Two shortcuts leave the sum bit for bit as the plain loop over every crater makes it: a crater
// whose slab cannot reach the row is not a candidate (the row set-up proves it), and a sample
// whose whole filter window lies outside the texture's bowl reads exactly 128 on both mip
// levels, which adds exactly 0 to the sum.
float DecalsOfHits(const ShadeRow *row, const int32_t *hits, int32_t hitCount, const float point[3],
                   float logViewTerm) {
  float decal = 0.0f;
  for (int32_t i = 0; i < hitCount; i++) {
    const int32_t k = hits[i];
    AddCraterDecal(CraterTermsOf(row, k, logViewTerm), row->run->craters[k], k, point, &decal);
  }
  return decal;
}

// The decal sums at p and at q of the pair hits from SlabHitsOfPair, into decals[0] and
// decals[1]. Each sum adds its own craters in list order, so each is bit for bit what
// DecalsOfHits gives for that point alone; the crater's own terms are worked out once for both.
// This, SlabHitsOfPair and AddCraterDecalPair are written into the terrain stage whatever the
// compiler would choose: with AddCraterDecalPairs calling them too, it would leave them out of
// line, at a cost of about 1% of a map's instructions.
[[gnu::always_inline]] inline void DecalsOfPair(const ShadeRow *row, const int32_t *hits, int32_t hitCount,
                                                const float p[3], const float q[3], float logViewTerm,
                                                float decals[2]) {
  float decalP = 0.0f, decalQ = 0.0f;
  const PairPoints pp = PairPointsOf(p, q);
  for (int32_t i = 0; i < hitCount; i++) {
    const int32_t k = hits[i] >> 2, which = hits[i] & 3;
    const CraterDecalTerms d = CraterTermsOf(row, k, logViewTerm);
    const CraterRecord &c = row->run->craters[k];
    if (which == 3) {
      AddCraterDecalPair(d, c, k, pp, &decalP, &decalQ);
    } else {
      if (which & 1) AddCraterDecal(d, c, k, p, &decalP);
      if (which & 2) AddCraterDecal(d, c, k, q, &decalQ);
    }
  }
  decals[0] = decalP;
  decals[1] = decalQ;
}

// The crater decals of the row's candidate craters at a point.
void CraterDecals(const ShadeRow *row, float *sum, const float point[3], float *decalSum, float logViewTerm) {
  if (row->globals->cratersPlaced < 1) return;
  int32_t hits[kCraterColumnStride];
  const int32_t hitCount = SlabHits(row, 0, point, hits);
  const float decal = DecalsOfHits(row, hits, hitCount, point, logViewTerm);
  *decalSum = decal;
  *sum += decal;
}

// The sphere point of a map pixel from its row's sine of latitude and its column's sine and
// cosine of longitude, turned onto the axis.
void MapPoint(const ShadeRow *row, float y, float sl, float cl, float n[3], float *cosLatitude) {
  const float k = sqrtf(1.0f - y * y);
  const float v[3] = {-sl * k, y, cl * k};
  VectorTimesMatrix(v, row->axisMatrix, n);
  *cosLatitude = k;
}

}  // namespace

// ---- Fractal sums ------------------------------------------------------------------------------

FractalPlan PlanFractal(float octaves) {
  FractalPlan plan;
  plan.steps = 0;
  // The whole part; for the octave counts the renderer makes (1 and more, below 2^23) through
  // the integer conversion, which the compiler does not turn into a library call.
  const bool small = octaves >= 1.0f && octaves < 8388608.0f;
  const float whole = small ? float(int32_t(octaves)) : std::trunc(octaves);
  if (octaves > 1.0f) {
    // A loop that steps while octaves > i, i counting 2, 3, ..., stops at the first i at or
    // above the octave count: the steps are ceil(octaves) - 1, and at most kMaxFractalTerms - 2.
    const int32_t ceiling = octaves < float(kMaxFractalTerms - 1)
                                ? int32_t(whole) + (whole != octaves ? 1 : 0)
                                : kMaxFractalTerms - 1;
    plan.steps = ceiling - 1;
  }
  plan.fraction = octaves - whole;
  plan.terms = 1 + plan.steps + (plan.fraction != 0.0f ? 1 : 0);
  return plan;
}

// The octave points p, p l, p l^2, ... (each the one before times l, component by component),
// and the point as the sum leaves it: p times l once per whole term.
//
// The three components ride in the lanes of one register (the fourth lane is unused), each lane
// multiplied as the scalar component is. Every term but the last is stored as four floats, the
// fourth overwritten by the next term; the last is stored as three, so that nothing beyond the
// points is touched. Only the last term can be the fractional one (terms = steps + 1, plus one
// when there is a fraction), so only it may go without the step.
void FillOctavePoints(float point[3], float lacunarity, const FractalPlan &plan, float *out) {
  __m128 p = _mm_setr_ps(point[0], point[1], point[2], 0.0f);
  const __m128 l = _mm_set1_ps(lacunarity);
  const int32_t last = plan.terms - 1;
  for (int32_t k = 0; k < last; k++) {
    _mm_storeu_ps(out + 3 * k, p);
    p = _mm_mul_ps(p, l);
  }
  alignas(16) float tail[4];
  _mm_store_ps(tail, p);
  if (last >= 0) {
    out[3 * last] = tail[0];
    out[3 * last + 1] = tail[1];
    out[3 * last + 2] = tail[2];
    if (last <= plan.steps) _mm_store_ps(tail, _mm_mul_ps(p, l));
  }
  point[0] = tail[0];
  point[1] = tail[1];
  point[2] = tail[2];
}

// The weights of the terms for a gain, as SumFractalPairInterleaved and the batches read them,
// for sums of up to `terms` terms (a batch's calls are too many to make all of them each time).
void MakeFractalWeights(float gain, int32_t terms, FractalWeights *out) {
  float amplitude = 1.0f;
  float sign = -1.0f;
  const int32_t last = terms < kMaxFractalTerms ? terms : kMaxFractalTerms;
  for (int32_t k = 1; k < last; k++) {
    const float signed_ = amplitude * sign;
    out->w[k][0] = amplitude;
    out->w[k][1] = amplitude;
    out->w[k][2] = signed_;
    out->w[k][3] = signed_;
    amplitude *= gain;
    sign = -sign;
  }
}

// The sum of the terms in the documented order.
float SumFractal(const float *values, const FractalPlan &plan, float gain, float *firstValue, float *sideSum) {
  const float g0 = values[0];
  *firstValue = g0;
  float sum = g0;
  float side = 0.0f;
  float amplitude = 1.0f;
  float sign = -1.0f;
  for (int32_t k = 1; k <= plan.steps; k++) {
    const float v = values[k];
    sum += v * amplitude;
    side += v * amplitude * sign;
    amplitude *= gain;
    sign = -sign;
  }
  if (plan.fraction != 0.0f) {
    const float v = values[plan.steps + 1];
    sum += plan.fraction * v * amplitude;
    side += plan.fraction * sign * v * amplitude;
  }
  *sideSum = side;
  return sum;
}

void FillCraterSegment(ShadeRow *row, int32_t s, const int32_t *list, int32_t count) {
  float(*col)[kCraterColumnStride] = row->craterColumns[s];
  for (int w = 0; w < 7; w++) {
    for (int32_t i = 0; i < kCraterColumnStride; i++) col[w][i] = 0.0f;
  }
  for (int32_t i = 0; i < count; i++) {
    const CraterRecord &c = row->run->craters[list[i]];
    row->craterSegmentCraters[s][i] = list[i];
    for (int w = 0; w < 3; w++) {
      col[w][i] = c.u[w];
      col[3 + w][i] = c.t[w];
    }
    col[6][i] = c.halfSize;
  }
  row->craterSegmentCount[s] = count;
}

void SetCraterColumns(ShadeRow *row) {
  row->craterSegmentWidth = 0;
  FillCraterSegment(row, 0, row->craterCandidates, row->craterCandidateCount);
}

void SetCraterCullingEnabled(bool enabled) { gCraterCullingEnabled = enabled; }
bool CraterCullingEnabled() { return gCraterCullingEnabled; }
void SetCraterPairsEnabled(bool enabled) { gCraterPairsEnabled = enabled; }

void MapLongitude(float s, float *sine, float *cosine) {
  const float l = (s - 0.5f) * 2.0f * 3.141592653f;
  double sl, cl;
  ExactSinCos(double(l), &sl, &cl);
  *sine = float(sl);
  *cosine = float(cl);
}

float MapRowSine(float t) { return ExactSinF((t - 0.5f) * -3.141592653f); }

int32_t ClampToInt32(int64_t v) { return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : int32_t(v)); }

float MapRowSineOf(const ShadeRow *row, int32_t r) {
  const ParameterBlock *p = row->params;
  const int64_t zoom = p->zoomDivisor == 0 ? 1 : int64_t(p->zoomDivisor);
  float s, t;
  PixelToTexCoord(0, ClampToInt32(zoom * r + p->panY), &s, &t, row->view->width + 1.0f, row->view->height + 1.0f);
  return MapRowSine(t);
}

namespace {

// GlobePoint with the column's x = dx / radius already made.
bool GlobePointFromX(const ShadeRow *row, float x, int64_t dy, float n[3], float *z2) {
  const float y = float(dy) / row->view->radius;
  const float zz = 1.0f - x * x - y * y;
  n[0] = x;
  n[1] = y;
  *z2 = zz;
  if (!(zz > 0.0f)) {
    n[2] = 0.0f;
    return false;
  }
  n[2] = sqrtf(zz);
  return true;
}

}  // namespace

bool GlobePoint(const ShadeRow *row, int64_t dx, int64_t dy, float n[3], float *z2) {
  return GlobePointFromX(row, float(dx) / row->view->radius, dy, n, z2);
}

void PlaceGlobeColumns(const ShadeRow *row, int32_t firstColumn, int32_t count, PlacedColumn *out) {
  const RenderView *view = row->view;
  const int64_t dy = int64_t(view->centreY) - row->row;
  const int32_t cx = view->centreX;
  // y is the row's: one division serves every column, and y^2 rounds the same in every lane.
  const float y = float(dy) / view->radius;
  const float y2 = y * y;
  int32_t i = 0;
  // The offsets in 32-bit lanes where they fit; converted from 32 or from 64 bits, an integer
  // rounds to the same float and is exact in a double. The depth term is (1 - x^2) - y^2 as
  // GlobePoint forms it, and its root is taken only where it is positive (the mask keeps a
  // negative term's NaN out of the lanes that are off the disc).
  if (cx >= -(1 << 30) && cx <= (1 << 30) && firstColumn >= 0 && firstColumn + count < (1 << 30)) {
    const __m128 radius = _mm_set1_ps(view->radius), one = _mm_set1_ps(1.0f), vy2 = _mm_set1_ps(y2);
    const __m128d dy2 = _mm_set1_pd(double(dy) * double(dy)), sixteen = _mm_set1_pd(16.0);
    for (; i + 4 <= count; i += 4) {
      const int32_t c = firstColumn + i;
      const __m128i dx = _mm_sub_epi32(_mm_set1_epi32(cx), _mm_setr_epi32(c, c + 1, c + 2, c + 3));
      const __m128 vx = _mm_div_ps(_mm_cvtepi32_ps(dx), radius);
      const __m128 vzz = _mm_sub_ps(_mm_sub_ps(one, _mm_mul_ps(vx, vx)), vy2);
      const __m128 on = _mm_cmpgt_ps(vzz, _mm_setzero_ps());
      alignas(16) float x[4], zz[4], z[4];
      _mm_store_ps(x, vx);
      _mm_store_ps(zz, vzz);
      _mm_store_ps(z, _mm_sqrt_ps(_mm_and_ps(on, vzz)));
      alignas(16) double root[4];
      for (int half = 0; half < 2; half++) {
        const __m128d d = _mm_cvtepi32_pd(half == 0 ? dx : _mm_srli_si128(dx, 8));
        _mm_store_pd(root + 2 * half, _mm_sqrt_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(d, d), dy2), sixteen)));
      }
      for (int j = 0; j < 4; j++) {
        out[i + j].x = x[j];
        out[i + j].distance4 = TruncateToInt32(root[j]);
        out[i + j].y = y;
        out[i + j].zz = zz[j];
        out[i + j].z = z[j];
      }
    }
  }
  for (; i < count; i++) {
    const int64_t dx = int64_t(cx) - (firstColumn + i);
    const float x = float(dx) / view->radius;
    const float zz = 1.0f - x * x - y2;
    out[i].x = x;
    out[i].distance4 = TruncateToInt32(std::sqrt((double(dx) * double(dx) + double(dy) * double(dy)) * 16.0));
    out[i].y = y;
    out[i].zz = zz;
    out[i].z = zz > 0.0f ? sqrtf(zz) : 0.0f;
  }
}

void PlaceMapColumns(const ShadeRow *row, int32_t firstColumn, int32_t count, PlacedColumn *out) {
  const RenderView *view = row->view;
  const int64_t dy = int64_t(view->centreY) - row->row;
  const int32_t cx = view->centreX;
  // The row's terms of MapPoint: the sine y, the cosine k = sqrt(1 - y^2) and the products of y
  // with the matrix's middle row are the same in every column, and each is the value the full
  // expression rounds.
  const float y = row->mapRowSine;
  const float k = sqrtf(1.0f - y * y);
  const float *m = row->axisMatrix;
  int32_t i = 0;
  if (cx >= -(1 << 30) && cx <= (1 << 30) && firstColumn >= 0 && firstColumn + count < (1 << 30)) {
    const __m128 vk = _mm_set1_ps(k), signBit = _mm_set1_ps(-0.0f);
    const __m128d dy2 = _mm_set1_pd(double(dy) * double(dy)), sixteen = _mm_set1_pd(16.0);
    static_assert(kRecordLongitudeCos == kRecordLongitudeSin + 1);
    for (; i + 4 <= count; i += 4) {
      const int32_t c = firstColumn + i;
      // Each column's sine and cosine sit side by side in its record: two of them to a register
      // half, then split into a register of sines and one of cosines.
      const float *r0 = row->records + int64_t(c + 1) * kPixelRecordFloats + kRecordLongitudeSin;
      const __m128 p01 = _mm_castpd_ps(_mm_loadh_pd(_mm_load_sd(reinterpret_cast<const double *>(r0)),
                                                    reinterpret_cast<const double *>(r0 + kPixelRecordFloats)));
      const __m128 p23 = _mm_castpd_ps(_mm_loadh_pd(_mm_load_sd(reinterpret_cast<const double *>(r0 + 2 * kPixelRecordFloats)),
                                                    reinterpret_cast<const double *>(r0 + 3 * kPixelRecordFloats)));
      const __m128 sl = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(2, 0, 2, 0));
      const __m128 cl = _mm_shuffle_ps(p01, p23, _MM_SHUFFLE(3, 1, 3, 1));
      const __m128 a = _mm_mul_ps(_mm_xor_ps(sl, signBit), vk), b = _mm_mul_ps(cl, vk);
      alignas(16) float n[3][4];
      for (int j = 0; j < 3; j++) {
        _mm_store_ps(n[j], _mm_add_ps(_mm_add_ps(_mm_mul_ps(a, _mm_set1_ps(m[j])), _mm_set1_ps(y * m[4 + j])),
                                      _mm_mul_ps(b, _mm_set1_ps(m[8 + j]))));
      }
      const __m128i dx = _mm_sub_epi32(_mm_set1_epi32(cx), _mm_setr_epi32(c, c + 1, c + 2, c + 3));
      alignas(16) double root[4];
      for (int half = 0; half < 2; half++) {
        const __m128d d = _mm_cvtepi32_pd(half == 0 ? dx : _mm_srli_si128(dx, 8));
        _mm_store_pd(root + 2 * half, _mm_sqrt_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(d, d), dy2), sixteen)));
      }
      for (int j = 0; j < 4; j++) {
        out[i + j].x = n[0][j];
        out[i + j].distance4 = TruncateToInt32(root[j]);
        out[i + j].y = n[1][j];
        out[i + j].zz = k;
        out[i + j].z = n[2][j];
      }
    }
  }
  for (; i < count; i++) {
    const int32_t c = firstColumn + i;
    const int64_t dx = int64_t(cx) - c;
    const float *record = row->records + int64_t(c + 1) * kPixelRecordFloats;
    float n[3], cosLatitude;
    MapPoint(row, y, record[kRecordLongitudeSin], record[kRecordLongitudeCos], n, &cosLatitude);
    out[i].x = n[0];
    out[i].distance4 = TruncateToInt32(std::sqrt((double(dx) * double(dx) + double(dy) * double(dy)) * 16.0));
    out[i].y = n[1];
    out[i].zz = cosLatitude;
    out[i].z = n[2];
  }
}

bool PixelLightDot(const ShadeRow *row, int32_t c, int32_t r, float rowSine, float *d) {
  float n[3];
  if (row->isMap) {
    const float *record = row->records + int64_t(c + 1) * kPixelRecordFloats;
    float cosLatitude;
    MapPoint(row, rowSine, record[kRecordLongitudeSin], record[kRecordLongitudeCos], n, &cosLatitude);
  } else {
    const RenderView *view = row->view;
    float z2;
    if (!GlobePoint(row, int64_t(view->centreX) - c, int64_t(view->centreY) - r, n, &z2)) return false;
  }
  *d = Dot3(row->light, n);
  return true;
}

// ---- The named routines -------------------------------------------------------------------------

float FractalNoise(float point[3], float lacunarity, float octaves, float gain, float *firstValue,
                   PluginGlobals *globals) {
  RunState *run = globals->runState;
  const FractalPlan plan = PlanFractal(octaves);
  float points[3 * kMaxFractalTerms];
  float values[kMaxFractalTerms];
  FillOctavePoints(point, lacunarity, plan, points);
  GradientNoise3Many(&run->noiseTables, points, values, plan.terms);
  return SumFractal(values, plan, gain, firstValue, &run->sideSum);
}

float ReliefAltitude(PluginGlobals *globals, float *firstValue, float seaLevel, const float point[3], float octaves,
                     float *raw, const RenderView *view) {
  RunState *run = globals->runState;
  const ParameterBlock *p = GetParameterBlock(globals);
  if (p->realLuna) {
    const float t = SampleGrayTrilinear(&globals->imageSet[1], view->lunarLevel, view->lunarLevelFraction,
                                        ClampUnit(point[0] * 0.5f + 0.5f), ClampUnit(point[1] * 0.5f + 0.5f));
    const float h = (t - 128.0f) * 0.003f;
    *firstValue = h;
    run->sideSum = h;
    *raw = h;
    return h;
  }
  float q[3] = {point[0] * kReliefPointScale, point[1] * kReliefPointScale, point[2] * kReliefPointScale};
  const float r = FractalNoise(q, kReliefLacunarity, octaves, run->reliefGain, firstValue, globals) - seaLevel;
  *raw = r;
  return r * std::fabs(r);
}

namespace {

// A row whose crater candidates are every crater but the last, for the routines below.
void SetEveryCraterRow(ShadeRow *row, PluginGlobals *globals) {
  row->globals = globals;
  row->run = globals->runState;
  for (int k = 0; k < 4; k++) row->craterImages[k] = &globals->imageSet[2 + k];
  row->craterCandidateCount = 0;
  for (int32_t k = 0; k + 1 < globals->cratersPlaced; k++) row->craterCandidates[row->craterCandidateCount++] = k;
  SetCraterColumns(row);
}

}  // namespace

void AddCraterDecals(float *sum, const float point[3], float *decalSum, PluginGlobals *globals, float logViewTerm) {
  ShadeRow row;
  SetEveryCraterRow(&row, globals);
  CraterDecals(&row, sum, point, decalSum, logViewTerm);
}

void AddCraterDecalPairs(const float p[3], const float q[3], float decals[2], PluginGlobals *globals,
                         float logViewTerm) {
  decals[0] = decals[1] = 0.0f;
  if (globals->cratersPlaced < 1) return;
  ShadeRow row;
  SetEveryCraterRow(&row, globals);
  int32_t hits[kCraterColumnStride];
  DecalsOfPair(&row, hits, SlabHitsOfPair(&row, 0, p, q, hits), p, q, logViewTerm, decals);
}

// ---- Stage 1: place the pixel -------------------------------------------------------------------

namespace {

// Stage 1 itself, inline in both the single and the batch form: a batch of a globe's pixels then
// takes no call per pixel, and its column terms go straight from PlaceGlobeColumns' registers
// into the pixels.
[[gnu::always_inline]] inline void PlacePixel(ShadeRow *row, ShadePixel *px, const PlacedColumn *placed) {
  const RenderView *view = row->view;
  const int32_t c = px->column;
  px->record = row->records + int64_t(c + 1) * kPixelRecordFloats;
  px->slot = px->record + row->slotOffset;
  float *slot = px->slot;

  const int64_t dx = int64_t(view->centreX) - c;
  const int64_t dy = int64_t(view->centreY) - row->row;
  slot[kSlotOffsetX] = float(dx);
  slot[kSlotOffsetY] = float(dy);
  const int32_t distance4 =
      placed != nullptr ? placed->distance4
                        : TruncateToInt32(std::sqrt((double(dx) * double(dx) + double(dy) * double(dy)) * 16.0));
  std::memcpy(&slot[kSlotDistance4], &distance4, sizeof distance4);

  for (int k = 0; k < 3; k++) {
    px->light[k] = row->light[k];
    px->farLight[k] = row->farLight[k];
  }
  px->acc[0] = px->acc[1] = px->acc[2] = 0;
  px->cloudDensity = 0.0f;
  px->cloudCover = 0.0f;
  px->landCover = 0.0f;
  px->seaIceCover = 0.0f;
  px->cityLight[0] = px->cityLight[1] = px->cityLight[2] = 0.0f;
  px->colour[0] = px->colour[1] = px->colour[2] = 0.0f;
  px->height = kMissingCorner;

  if (!row->isMap) {
    float z2;
    bool onDisc;
    if (placed != nullptr) {
      px->n[0] = placed->x;
      px->n[1] = placed->y;
      px->n[2] = placed->z;
      z2 = placed->zz;
      onDisc = z2 > 0.0f;
    } else {
      onDisc = GlobePoint(row, dx, dy, px->n, &z2);
    }
    slot[kSlotSphereX] = px->n[0];
    slot[kSlotSphereY] = px->n[1];
    slot[kSlotDepthTerm] = z2;
    if (!onDisc) {
      // Off the disc: only the air shell is shaded here.
      px->onPlanet = false;
      px->depth = 0.0f;
      px->cover = 0.0f;
      slot[kSlotSphereZ] = 0.0f;
      return;
    }
    const float x = px->n[0], y = px->n[1];
    px->depth = px->n[2];
    slot[kSlotSphereZ] = px->n[2];
    const float r2 = x * x + y * y;
    px->cover = 1.0f;
    if (r2 >= row->edgeInner * row->edgeInner) px->cover = 1.0f + (row->edgeInner - sqrtf(r2)) * view->radius;
  } else {
    float cosLatitude;
    if (placed != nullptr) {
      px->n[0] = placed->x;
      px->n[1] = placed->y;
      px->n[2] = placed->z;
      cosLatitude = placed->zz;
    } else {
      MapPoint(row, row->mapRowSine, px->record[kRecordLongitudeSin], px->record[kRecordLongitudeCos], px->n,
               &cosLatitude);
    }
    px->depth = px->n[2];
    px->cover = 1.0f;
    slot[kSlotSphereX] = px->n[0];
    slot[kSlotSphereY] = px->n[1];
    slot[kSlotSphereZ] = px->n[2];
    slot[kSlotDepthTerm] = cosLatitude;
    if (row->mapRelief) {
      const ParameterBlock *p = row->params;
      const int64_t zoom = p->zoomDivisor == 0 ? 1 : int64_t(p->zoomDivisor);
      const int32_t fx = ClampToInt32(zoom * c + p->panX);
      const int32_t fy = ClampToInt32(zoom * row->row + p->panY);
      // The light of this pixel: n turned toward the point a little way along the light's
      // direction on the map, by mapLightAngle. Both points are taken on the same grid (see the
      // notes on the relief map modes in ShadeRowPixels).
      float ms, mt, m[3], unused;
      PixelToTexCoordF(float(fx) + row->mapLightOffset[0], float(fy) + row->mapLightOffset[1], &ms, &mt,
                       view->width + 1.0f, view->height + 1.0f);
      float sl, cl;
      MapLongitude(ms, &sl, &cl);
      MapPoint(row, MapRowSine(mt), sl, cl, m, &unused);
      float axis[3] = {m[1] * px->n[2] - m[2] * px->n[1], m[2] * px->n[0] - m[0] * px->n[2],
                       m[0] * px->n[1] - m[1] * px->n[0]};
      NormaliseVec3f(axis);
      float turn[16];
      ExactRotationMatrix(axis, row->mapLightAngle, turn);
      VectorTimesMatrix(px->n, turn, px->light);
      for (int k = 0; k < 3; k++) px->farLight[k] = 1000.0f * px->light[k];
    }
  }
  px->onPlanet = true;
  px->randomByte = row->run->noiseTables.A[row->cityIndex & kNoiseSeedTableMask] & 255u;
  row->cityIndex++;
}

}  // namespace

void ShadePlacePixel(ShadeRow *row, ShadePixel *px) { PlacePixel(row, px, nullptr); }

void ShadePlaceMany(ShadeRow *row, int32_t firstColumn, int32_t count, ShadePixel *pixels) {
  PlacedColumn placed[kRowBatchColumns];
  if (row->isMap) {
    PlaceMapColumns(row, firstColumn, count, placed);
  } else {
    PlaceGlobeColumns(row, firstColumn, count, placed);
  }
  for (int32_t i = 0; i < count; i++) {
    ShadePixel *px = &pixels[i];
    px->column = firstColumn + i;
    ClearRowNoise(px);
    PlacePixel(row, px, &placed[i]);
  }
}

// ---- Stage 2: light -----------------------------------------------------------------------------

float ViewTermOf(const ShadeRow *row, const ShadePixel *px) {
  return row->isMap ? kLogMapViewTerm : ExactLogF(px->depth);
}

void ShadeLight(ShadeRow *row, ShadePixel *px) { ShadeLightWithViewTerm(row, px, ViewTermOf(row, px)); }

void ShadeLightWithViewTerm(ShadeRow *row, ShadePixel *px, float logViewTerm) {
  RunState *run = row->run;
  const float axisDot = Dot3(run->modelAxis, px->n);
  px->axisDot = axisDot;
  run->axisDot = axisDot;
  run->axisSin2 = 1.0f - axisDot * axisDot;
  px->polarTerm = 1.0f - std::fabs(axisDot);
  px->logViewTerm = logViewTerm;
  px->slot[kSlotLogViewTerm] = px->logViewTerm;

  const float w = row->terminatorWidth;
  const float d = Dot3(px->light, px->n);
  px->d = d;
  const float q = d >= w ? 1.0f : (d > 0.0f ? d / w : 0.0f);
  const float q2 = q * 0.5f + 0.5f;
  px->lightFactor = (3.0f - 2.0f * q2) * q2 * q2;
  const float tint = (px->lightFactor - 1.0f) * row->sunset * 0.005f + 1.0f;
  px->day = d > -w;
  px->factor[0] = px->factor[1] = px->factor[2] = 1.0f;
  if (row->isLit) {
    px->factor[1] = tint;
    px->factor[2] = tint * tint;
    if (d < 0.0f) {
      const float e = d <= -w ? 0.0f : d / w + 1.0f;
      const float g = (3.0f - 2.0f * e) * e * e;
      px->factor[0] = g;
      px->factor[1] = tint * g;
      px->factor[2] = tint * tint * g;
    }
  }
}

// ---- Stage 3: terrain ---------------------------------------------------------------------------

void ShadeTerrain(ShadeRow *row, ShadePixel *px) {
  RunState *run = row->run;
  const RenderView *view = row->view;
  const float *n = px->n;
  if (!px->terrainPrepared) PrepareTerrain(row, px);
  const float *pl = px->lightSidePoint;
  const float octaves = px->octaves;

  // Outside the hypsometric mode the light-side height is always wanted, and its relief joins
  // the first point's in one noise batch; mode 13 decides once h is known.
  const bool wantLightSide = row->mode != 13;
  const float seaLevel = run->seaLevelValue;
  const bool cratered = row->globals->cratersPlaced >= 1;
  // The relief of the point (and of the light-side point when lightSideDone): the batch's, read
  // where it lies, or evaluated here.
  float evaluated[3][2];
  const float *altitude = evaluated[0], *raw = evaluated[1], *first = evaluated[2];
  bool lightSideDone = false;
  if (row->realLuna) {
    evaluated[0][0] = LunarHeight(row, n);
    evaluated[1][0] = evaluated[2][0] = evaluated[0][0];
    run->sideSum = evaluated[0][0];
  } else if (px->reliefReady) {
    altitude = px->reliefAltitude2;
    raw = px->reliefRaw2;
    first = px->reliefFirst2;
    run->sideSum = px->reliefSideSum;
    lightSideDone = wantLightSide;
  } else {
    const float both[6] = {n[0], n[1], n[2], pl[0], pl[1], pl[2]};
    FractalReliefBatch(row, both, wantLightSide ? 2 : 1, octaves, evaluated[0], evaluated[1], evaluated[2]);
    lightSideDone = wantLightSide;
  }

  px->reliefAltitude = altitude[0];
  px->raw = raw[0];
  px->firstValue = first[0];
  const float ltf = view->landTextureFactor;
  px->landHeight = altitude[0] * ltf;
  float sum = px->landHeight;
  // The craters' decals at the point, and when the light-side point is surely wanted, at it too:
  // the two points lie a few thousandths apart and nearly always share their craters, so one pass
  // over the row's candidates finds both points' craters and each crater's own terms serve both.
  int32_t hits[kCraterColumnStride];
  float decals[2] = {0.0f, 0.0f};
  const bool paired = cratered && wantLightSide && gCraterPairsEnabled;
  if (paired) {
    const int32_t hitCount = SlabHitsOfPair(row, px->column, n, pl, hits);
    DecalsOfPair(row, hits, hitCount, n, pl, px->logViewTerm, decals);
  } else if (cratered) {
    decals[0] = DecalsOfHits(row, hits, SlabHits(row, px->column, n, hits), n, px->logViewTerm);
  }
  px->decal = decals[0];
  if (cratered) sum += px->decal;
  px->height = CompressBelowZero(sum);

  const bool lightSide =
      row->mode != 13 || (px->height >= seaLevel - 0.8f && px->day && row->isLit);
  if (lightSide) {
    float altitudeL;
    if (row->realLuna) {
      altitudeL = LunarHeight(row, pl);
      px->firstValue = altitudeL;
      run->sideSum = altitudeL;
    } else if (lightSideDone) {
      altitudeL = altitude[1];
      px->firstValue = first[1];
      // run->sideSum already holds the light-side sum (it was evaluated last).
    } else {
      float r1, f1;
      FractalReliefBatch(row, pl, 1, octaves, &altitudeL, &r1, &f1);
      px->firstValue = f1;
    }
    float sumL = altitudeL * ltf;
    if (paired) {
      sumL += decals[1];
    } else if (cratered) {
      sumL += DecalsOfHits(row, hits, SlabHits(row, px->column, pl, hits), pl, px->logViewTerm);
    }
    px->lightSideHeight = CompressBelowZero(sumL);
  } else {
    px->lightSideHeight = px->height;
  }
  px->shade = (px->lightSideHeight - px->height) * 6000.0f * 0.0099999998f + px->d;
  if (!(px->shade > 0.0f)) px->shade = 0.0f;
  // The values stay in the pixel, where every later stage reads them; the record's slot keeps
  // only what stage 1 puts there.
}

// ---- The relief of a row ------------------------------------------------------------------------

namespace {

// The relief sums of four pixels with the same plan from the values FillOctavePointQuad laid
// out, stored as the pair form stores them. The lanes hold the four pixels, and the sums of n,
// of P' and their side sums go in four registers, each lane taking SumFractalPairInterleaved's
// operations for its pixel in its order: (v w) added term by term, with w the amplitude and
// the amplitude times the sign, then the fractional term as ((f v) a), with f the fraction and
// the fraction times the sign. The stores rely on the pixel's relief fields lying in order.
static_assert(offsetof(ShadePixel, reliefRaw2) == offsetof(ShadePixel, reliefAltitude2) + 2 * sizeof(float) &&
                  offsetof(ShadePixel, reliefSideSum) == offsetof(ShadePixel, reliefFirst2) + 2 * sizeof(float),
              "SumReliefQuad stores the relief fields together");
void SumReliefQuad(const float *values, const FractalPlan &plan, __m128 fraction, const __m128 (*weights)[2],
                   __m128 seaLevel, ShadePixel *const *px) {
  const __m128 firstP = _mm_loadu_ps(values), firstQ = _mm_loadu_ps(values + 4);
  __m128 sumP = firstP, sumQ = firstQ, sideP = _mm_setzero_ps(), sideQ = _mm_setzero_ps();
  for (int32_t k = 1; k <= plan.steps; k++) {
    const __m128 p = _mm_loadu_ps(values + 8 * k), q = _mm_loadu_ps(values + 8 * k + 4);
    sumP = _mm_add_ps(sumP, _mm_mul_ps(p, weights[k][0]));
    sumQ = _mm_add_ps(sumQ, _mm_mul_ps(q, weights[k][0]));
    sideP = _mm_add_ps(sideP, _mm_mul_ps(p, weights[k][1]));
    sideQ = _mm_add_ps(sideQ, _mm_mul_ps(q, weights[k][1]));
  }
  if (plan.fraction != 0.0f) {
    const int32_t k = plan.steps + 1;
    const __m128 signedFraction = _mm_mul_ps(fraction, _mm_set1_ps((k & 1) != 0 ? -1.0f : 1.0f));
    const __m128 p = _mm_loadu_ps(values + 8 * k), q = _mm_loadu_ps(values + 8 * k + 4);
    const __m128 a = weights[k][0];
    sumP = _mm_add_ps(sumP, _mm_mul_ps(_mm_mul_ps(fraction, p), a));
    sumQ = _mm_add_ps(sumQ, _mm_mul_ps(_mm_mul_ps(fraction, q), a));
    sideP = _mm_add_ps(sideP, _mm_mul_ps(_mm_mul_ps(signedFraction, p), a));
    sideQ = _mm_add_ps(sideQ, _mm_mul_ps(_mm_mul_ps(signedFraction, q), a));
  }
  const __m128 sign = _mm_set1_ps(-0.0f);
  const __m128 rP = _mm_sub_ps(sumP, seaLevel), rQ = _mm_sub_ps(sumQ, seaLevel);
  // Per pixel (altitude at n, at P', raw at n, at P') and (first at n, at P', side sum of P').
  __m128 heights[4] = {_mm_mul_ps(rP, _mm_andnot_ps(sign, rP)), _mm_mul_ps(rQ, _mm_andnot_ps(sign, rQ)), rP, rQ};
  __m128 firsts[4] = {firstP, firstQ, sideQ, _mm_setzero_ps()};
  _MM_TRANSPOSE4_PS(heights[0], heights[1], heights[2], heights[3]);
  _MM_TRANSPOSE4_PS(firsts[0], firsts[1], firsts[2], firsts[3]);
#pragma GCC unroll 8
  for (int j = 0; j < 4; j++) {
    _mm_storeu_ps(px[j]->reliefAltitude2, heights[j]);
    _mm_storel_pi(reinterpret_cast<__m64 *>(px[j]->reliefFirst2), firsts[j]);
    _mm_store_ss(&px[j]->reliefSideSum, _mm_movehl_ps(firsts[j], firsts[j]));
    px[j]->reliefReady = true;
  }
}

}  // namespace

// What FractalReliefBatch makes for each pixel, with the octave points of many pixels in one
// noise batch: the sums, and the order within each pixel, are those of the one-pixel form. The
// pixels are taken kRowBatchColumns at a time, which is all a row's batch passes.
//
// Outside the hypsometric mode, four pixels in a row whose plans have the same steps (nearly
// always: the octave count follows the view term, which changes slowly across the image, and
// not at all across the map) are taken together, FillOctavePointQuad and SumReliefQuad: one
// loop over the terms serves the four, and their sums go side by side in lanes.
void BatchReliefNoise(ShadeRow *row, ShadePixel *const *pixels, int32_t count, RowNoiseScratch *scratch) {
  if (row->realLuna) return;
  RunState *run = row->run;
  const bool paired = row->mode != 13;
  const int32_t perPixel = paired ? 2 : 1;
  const __m128 seaLevel = _mm_set1_ps(run->seaLevelValue), sign = _mm_set1_ps(-0.0f);
  constexpr int32_t kGroups = kRowBatchColumns / 4;
  __m128 start[kRowBatchColumns][2];
  __m128 fractions[kGroups];
  bool sameSteps[kGroups];
  FractalWeights weights;
  __m128 weightLanes[kMaxFractalTerms][2];
  for (int32_t base = 0; base < count; base += kRowBatchColumns) {
    ShadePixel *const *group = pixels + base;
    const int32_t groupCount = count - base < kRowBatchColumns ? count - base : kRowBatchColumns;
    const int32_t terms = PrepareTerrainMany(row, group, groupCount, start, sameSteps, fractions);
    if (paired) {
      MakeFractalWeights(run->reliefGain, terms, &weights);
      for (int32_t k = 1; k < terms && k < kMaxFractalTerms; k++) {
        weightLanes[k][0] = _mm_set1_ps(weights.w[k][0]);
        weightLanes[k][1] = _mm_set1_ps(weights.w[k][2]);
      }
    }
    // Whether the pixels from i on go as a four.
    auto quadAt = [&](int32_t i) { return paired && i % 4 == 0 && i + 4 <= groupCount && sameSteps[i / 4]; };
    int32_t first = 0;
    while (first < groupCount) {
      // Fill the scratch with the points of as many pixels as fit.
      int32_t used = 0, last = first;
      while (last < groupCount) {
        const FractalPlan &plan = group[last]->reliefPlan;
        const bool quad = quadAt(last);
        const int32_t need = (quad ? 4 : 1) * perPixel * plan.terms;
        if (used + need > kRowNoiseCapacity) break;
        if (quad) {
          FillOctavePointQuad(start + last, kReliefLacunarity, plan.terms, scratch->points + 3 * used);
          last += 4;
        } else if (paired) {
          FillOctavePointPair(start[last][0], start[last][1], kReliefLacunarity, plan, scratch->points + 3 * used);
          last++;
        } else {
          alignas(16) float p[4];
          _mm_store_ps(p, start[last][0]);
          FillOctavePoints(p, kReliefLacunarity, plan, scratch->points + 3 * used);
          last++;
        }
        used += need;
      }
      GradientNoise3Many(&run->noiseTables, scratch->points, scratch->values, used);
      const float *values = scratch->values;
      for (int32_t i = first; i < last;) {
        ShadePixel *px = group[i];
        const FractalPlan &plan = px->reliefPlan;
        if (quadAt(i)) {
          SumReliefQuad(values, plan, fractions[i / 4], weightLanes, seaLevel, group + i);
          values += 8 * plan.terms;
          i += 4;
          continue;
        }
        if (paired) {
          // The raw heights and their signed squares of both points in the low lanes; the side
          // sum left behind is the light-side point's, as with the two sums one by one.
          const __m128 total = SumFractalPairInterleaved(values, plan, weights);
          const __m128 r = _mm_sub_ps(total, seaLevel);
          _mm_storel_pi(reinterpret_cast<__m64 *>(px->reliefRaw2), r);
          _mm_storel_pi(reinterpret_cast<__m64 *>(px->reliefAltitude2), _mm_mul_ps(r, _mm_andnot_ps(sign, r)));
          std::memcpy(px->reliefFirst2, values, sizeof px->reliefFirst2);
          _mm_store_ss(&px->reliefSideSum, _mm_shuffle_ps(total, total, _MM_SHUFFLE(3, 3, 3, 3)));
          values += 2 * plan.terms;
        } else {
          const float r = SumFractal(values, plan, run->reliefGain, &px->reliefFirst2[0], &px->reliefSideSum) -
                          run->seaLevelValue;
          px->reliefRaw2[0] = r;
          px->reliefAltitude2[0] = r * std::fabs(r);
          values += plan.terms;
        }
        px->reliefReady = true;
        i++;
      }
      first = last;
    }
  }
}
