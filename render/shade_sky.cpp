// shade_sky.cpp -- stages 8 to 11 of the shader: clouds, the disc's edge, the air shell and the
// output mode's channels.
//
// Procedural clouds are a warped fractal sum of gradient noise on the sphere, biased toward the
// poles, twisted around each storm it lies in and by a Coriolis turn that is strongest at the
// equator. A pixel may need the density at three points: under the pixel, where the light's ray
// through the cloud shell meets the sphere (the cloud's shadow), and at the light-side point (the
// cloud's relief). The densities under the pixel and at the shadow point are evaluated together,
// their octave points in one noise batch; the light-side density only where the pixel is clouded
// on the day side.
//
// The air is a shell of thickness a around the unit sphere. Its light is the product of a front
// term (how much air lies between the viewer and the planet, or the sky behind the limb, lit by
// the sun) and a back term (air lit from behind, the halo of a backlit planet), both tinted
// toward red near the terminator by the sunset slider.
#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "foundation/colour.h"
#include "foundation/fast_math.h"
#include "foundation/vector_math.h"
#include "imagestore/samplers.h"
#include "render/composite.h"
#include "render/lanes_sse2.h"
#include "foundation/exact_math.h"
#include "render/noise.h"
#include "render/shade_internal.h"
#include "render/shader.h"

namespace {

constexpr float kCloudOffset[3] = {954.77f, 784.65323f, 6521.31354f};
constexpr float kCloudLacunarity = 2.0987f;
constexpr float kCloudGain = 0.67f;
constexpr int32_t kMaxCloudTerms = 8 + 41;   // base octaves (at most 7) and extra octaves (at most 40)

// The Coriolis turn of a pixel: the angle depends on the pixel's axisSin2 only, so the densities
// of one pixel share one matrix.
const float *CoriolisMatrix(ShadeRow *row, const RenderView *view, float axisSin2) {
  const float angle = axisSin2 * view->coriolisFactor;
  if (!row->coriolisValid || angle != row->coriolisAngle) {
    ExactRotationMatrix(row->run->modelAxis, angle, row->coriolisMatrix);
    row->coriolisAngle = angle;
    row->coriolisValid = true;
  }
  return row->coriolisMatrix;
}

// q times the rotation part of m (VectorTimesMatrix, the same operations, here where the compiler
// can keep q in registers).
inline void TurnPoint(float q[3], const float *m) {
  const float x = q[0], y = q[1], z = q[2];
  q[0] = x * m[0] + y * m[4] + z * m[8];
  q[1] = x * m[1] + y * m[5] + z * m[9];
  q[2] = x * m[2] + y * m[6] + z * m[10];
}

// Storm i's share of the density and its twist of q, for a point at squared distance delta2
// from its centre, within its radius.
inline void TwistByStorm(const StormTable &storms, int32_t i, float delta2, float *density, float q[3]) {
  const float t = 1.0f - sqrtf(delta2 / storms.radiusSquared[i]);
  const float t3 = t * t * t;
  *density += t3 * 0.3f;
  const float centre[3] = {storms.centreX[i], storms.centreY[i], storms.centreZ[i]};
  float m[16];
  ExactRotationMatrix(centre, t3 * storms.strength[i], m);
  TurnPoint(q, m);
}

// Storm i, when it reaches the point: its share of the density and its twist of q.
inline void ApplyStorm(const StormTable &storms, int32_t i, const float point[3], float *density, float q[3]) {
  const float dx = storms.centreX[i] - point[0];
  const float dy = storms.centreY[i] - point[1];
  const float dz = storms.centreZ[i] - point[2];
  const float delta2 = dx * dx + dy * dy + dz * dz;
  if (!(delta2 < storms.radiusSquared[i])) return;
  TwistByStorm(storms, i, delta2, density, q);
}

// Steps 1 to 3 of the procedural density: the polar bias and the twisted point.
float CloudBiasAndTwist(ShadeRow *row, const float point[3], float axisDot, const float *coriolis, float q[3]) {
  const RunState *run = row->run;
  const StormTable &storms = run->storms;
  float density = run->cloudBase;
  const float a = std::fabs(axisDot);
  if (a > 0.7f) {
    density += (a - 0.7f) * 1.5f;
  } else {
    density -= (0.7f - a) * 0.3f;
  }
  q[0] = point[0];
  q[1] = point[1];
  q[2] = point[2];
  // The storms that reach the point, tested four at a time (each lane computes the distance as
  // the one-storm test below does) and then applied one by one in their order.
  const int32_t count = row->globals->stormsPlaced;
  const __m128 px = _mm_set1_ps(point[0]), py = _mm_set1_ps(point[1]), pz = _mm_set1_ps(point[2]);
  int32_t first = 0;
  for (; first + 4 <= count; first += 4) {
    const __m128 dx = _mm_sub_ps(_mm_loadu_ps(storms.centreX + first), px);
    const __m128 dy = _mm_sub_ps(_mm_loadu_ps(storms.centreY + first), py);
    const __m128 dz = _mm_sub_ps(_mm_loadu_ps(storms.centreZ + first), pz);
    const __m128 delta2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
    int32_t reached = _mm_movemask_ps(_mm_cmplt_ps(delta2, _mm_loadu_ps(storms.radiusSquared + first)));
    while (reached != 0) {
      const int32_t i = first + __builtin_ctz(uint32_t(reached));
      reached &= reached - 1;
      ApplyStorm(storms, i, point, &density, q);
    }
  }
  for (int32_t i = first; i < count; i++) ApplyStorm(storms, i, point, &density, q);
  TurnPoint(q, coriolis);
  return density;
}

// Points whose densities are evaluated together: the warps in one noise batch, then every
// octave point in another. A group is at most kCloudGroup points (a batch's points and their
// shadow points), fewer where its octave points would not fit the scratch; the larger the
// group, the less its own work costs each point.
constexpr int32_t kCloudGroup = 2 * kRowBatchColumns;
static_assert(kRowNoiseCapacity / kMaxCloudTerms >= 4, "a group of four points' octave points fit the scratch");

// The terms of the density: the warped point, loopTerms octaves of it and extraTerms extra octaves.
inline int32_t CloudTerms(const RunState *run, int32_t *loopTerms, int32_t *extraTerms) {
  *loopTerms = run->cloudOctavesMinusOne > 1 ? run->cloudOctavesMinusOne - 1 : 0;
  *extraTerms = run->cloudExtraOctaves > 0 ? run->cloudExtraOctaves : 0;
  return 1 + *loopTerms + *extraTerms;
}

// The amplitude of each term, the same for every point: the running product of the gains, one
// more step of it between the warped octaves and the extra ones.
void CloudAmplitudes(int32_t terms, int32_t loopTerms, float amplitude[kMaxCloudTerms]) {
  float a = 1.0f;
  amplitude[0] = 1.0f;
  for (int32_t j = 1; j <= loopTerms; j++) {
    amplitude[j] = a;
    a *= kCloudGain;
  }
  a *= kCloudGain;
  for (int32_t j = 1 + loopTerms; j < terms; j++) {
    amplitude[j] = a;
    a *= kCloudGain;
  }
}

// The sum of each point's terms (values holds `terms` in a row per point), the first term at
// full weight on top of base[k], then each later one times its amplitude.
void SumCloudTerms(const float *values, const float *base, int32_t terms, int32_t loopTerms, int32_t count,
                   float *out) {
  float amplitude[kMaxCloudTerms];
  CloudAmplitudes(terms, loopTerms, amplitude);
  // Four points side by side, one in each lane, each summed in its own order; a sum is a chain
  // of dependent additions, and four chains at once keep the adder busy.
  int32_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const float *v0 = values + terms * k, *v1 = v0 + terms, *v2 = v1 + terms, *v3 = v2 + terms;
    __m128 density = _mm_add_ps(_mm_loadu_ps(base + k), _mm_setr_ps(v0[0], v1[0], v2[0], v3[0]));
    for (int32_t j = 1; j < terms; j++) {
      const __m128 v = _mm_setr_ps(v0[j], v1[j], v2[j], v3[j]);
      density = _mm_add_ps(density, _mm_mul_ps(v, _mm_set1_ps(amplitude[j])));
    }
    _mm_storeu_ps(out + k, density);
  }
  for (; k < count; k++) {
    const float *v = values + terms * k;
    float density = base[k] + v[0];
    for (int32_t j = 1; j < terms; j++) density += v[j] * amplitude[j];
    out[k] = density;
  }
}

// Procedural densities of `count` (at most kCloudGroup) points, one point at a time: the plain
// form, which the packed one below must match bit for bit. Point k belongs to a pixel whose
// axis dot and 1 - axisDot^2 are axisDot[k] and axisSin2[k] (the polar bias and the Coriolis
// turn follow the pixel, not the point). octavePoints and values have room for count x
// kMaxCloudTerms points.
void ProceduralDensities(ShadeRow *row, const RenderView *view, const float *points, const float *axisDot,
                         const float *axisSin2, int32_t count, float *out, float *octavePoints, float *values) {
  if (count <= 0) return;
  RunState *run = row->run;
  const NoiseTables *tables = &run->noiseTables;

  float q[kCloudGroup][3];
  float base[kCloudGroup];
  float warpPoints[3 * kCloudGroup];
  float warp[kCloudGroup];
  for (int32_t k = 0; k < count; k++) {
    const float *coriolis = CoriolisMatrix(row, view, axisSin2[k]);
    base[k] = CloudBiasAndTwist(row, points + 3 * k, axisDot[k], coriolis, q[k]);
    for (int c = 0; c < 3; c++) warpPoints[3 * k + c] = q[k][c];
  }
  GradientNoise3Many(tables, warpPoints, warp, count);

  const int32_t loopTerms = run->cloudOctavesMinusOne > 1 ? run->cloudOctavesMinusOne - 1 : 0;
  const int32_t extraTerms = run->cloudExtraOctaves > 0 ? run->cloudExtraOctaves : 0;
  const int32_t terms = 1 + loopTerms + extraTerms;
  for (int32_t k = 0; k < count; k++) {
    float *out3 = octavePoints + 3 * terms * k;
    const float n = warp[k] * view->unitScale;
    // Three scalars rather than an array: the compiler keeps them in registers instead of
    // storing each one and reading the three back as one wider value, which stalls.
    float wx = (q[k][0] + n) * 3.0f + kCloudOffset[0];
    float wy = (q[k][1] + n) * 3.0f + kCloudOffset[1];
    float wz = (q[k][2] + n) * 3.0f + kCloudOffset[2];
    // The warped point and its octaves.
    for (int32_t j = 0; j <= loopTerms; j++) {
      out3[3 * j] = wx;
      out3[3 * j + 1] = wy;
      out3[3 * j + 2] = wz;
      wx *= kCloudLacunarity;
      wy *= kCloudLacunarity;
      wz *= kCloudLacunarity;
    }
    // The extra octaves start again from the untwisted point.
    const float *point = points + 3 * k;
    float rx = (point[0] * 3.0f + kCloudOffset[0]) * run->cloudExtraFrequency;
    float ry = (point[1] * 3.0f + kCloudOffset[1]) * run->cloudExtraFrequency;
    float rz = (point[2] * 3.0f + kCloudOffset[2]) * run->cloudExtraFrequency;
    for (int32_t j = 0; j < extraTerms; j++) {
      float *o = out3 + 3 * (1 + loopTerms + j);
      o[0] = rx;
      o[1] = ry;
      o[2] = rz;
      rx *= kCloudLacunarity;
      ry *= kCloudLacunarity;
      rz *= kCloudLacunarity;
    }
  }
  GradientNoise3Many(tables, octavePoints, values, terms * count);

  SumCloudTerms(values, base, terms, loopTerms, count, out);
}

// ---- The packed form -----------------------------------------------------------------------------
//
// The same densities for a group of points, four to a register, one point in each lane. The
// polar bias computes both of its sides and keeps one; the storms near the group are tested for
// four points at a time, then applied in their order, lane by lane, to the points they reach
// (few do); the octaves of four points are made one from another in registers as they are
// stored. Every lane does the plain form's operations in its order, so the bits are the same.
// The octave points go to the noise term by term (all points' first octave, then all points'
// second...): the noise of a point does not depend on its neighbours, and so each term's values
// lie side by side for the sum.

// Four points given as their x, y and z in lanes, stored as `valid` consecutive (x, y, z).
inline void StoreLanesAsPoints(__m128 x, __m128 y, __m128 z, int32_t valid, float *out) {
  if (valid == 4) {
    const __m128 xy01 = _mm_unpacklo_ps(x, y);                              // x0 y0 x1 y1
    const __m128 xy23 = _mm_unpackhi_ps(x, y);                              // x2 y2 x3 y3
    const __m128 z0x1 = _mm_shuffle_ps(z, x, _MM_SHUFFLE(1, 1, 0, 0));      // z0 z0 x1 x1
    const __m128 y1z1 = _mm_shuffle_ps(y, z, _MM_SHUFFLE(1, 1, 1, 1));      // y1 y1 z1 z1
    const __m128 z2x3 = _mm_shuffle_ps(z, x, _MM_SHUFFLE(3, 3, 2, 2));      // z2 z2 x3 x3
    const __m128 y3z3 = _mm_shuffle_ps(y, z, _MM_SHUFFLE(3, 3, 3, 3));      // y3 y3 z3 z3
    _mm_storeu_ps(out, _mm_shuffle_ps(xy01, z0x1, _MM_SHUFFLE(2, 0, 1, 0)));       // x0 y0 z0 x1
    _mm_storeu_ps(out + 4, _mm_shuffle_ps(y1z1, xy23, _MM_SHUFFLE(1, 0, 2, 0)));   // y1 z1 x2 y2
    _mm_storeu_ps(out + 8, _mm_shuffle_ps(z2x3, y3z3, _MM_SHUFFLE(2, 0, 2, 0)));   // z2 x3 y3 z3
    return;
  }
  alignas(16) float lane[3][4];
  _mm_store_ps(lane[0], x);
  _mm_store_ps(lane[1], y);
  _mm_store_ps(lane[2], z);
  for (int32_t k = 0; k < valid; k++) {
    out[3 * k] = lane[0][k];
    out[3 * k + 1] = lane[1][k];
    out[3 * k + 2] = lane[2][k];
  }
}

// Four points given as their consecutive (x, y, z) in three registers and their octaves: `terms`
// sets of them, one every `stride` floats, each the one before times the lacunarity coordinate
// by coordinate, scaled as they lie.
inline void StoreOctaveVectors(__m128 a, __m128 b, __m128 c, int32_t terms, int32_t stride, float *out) {
  const __m128 l = _mm_set1_ps(kCloudLacunarity);
  for (int32_t j = 0; j < terms; j++, out += stride) {
    _mm_storeu_ps(out, a);
    _mm_storeu_ps(out + 4, b);
    _mm_storeu_ps(out + 8, c);
    a = _mm_mul_ps(a, l);
    b = _mm_mul_ps(b, l);
    c = _mm_mul_ps(c, l);
  }
}

// StoreOctaveVectors of `valid` points given as x, y and z in lanes.
inline void StoreOctaveLanes(__m128 x, __m128 y, __m128 z, int32_t valid, int32_t terms, int32_t stride, float *out) {
  const __m128 l = _mm_set1_ps(kCloudLacunarity);
  for (int32_t j = 0; j < terms; j++, out += stride) {
    StoreLanesAsPoints(x, y, z, valid, out);
    x = _mm_mul_ps(x, l);
    y = _mm_mul_ps(y, l);
    z = _mm_mul_ps(z, l);
  }
}

// The least and the greatest of four lanes.
inline float LowestLane(__m128 v) {
  v = _mm_min_ps(v, _mm_movehl_ps(v, v));
  return _mm_cvtss_f32(_mm_min_ss(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))));
}
inline float HighestLane(__m128 v) {
  v = _mm_max_ps(v, _mm_movehl_ps(v, v));
  return _mm_cvtss_f32(_mm_max_ss(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))));
}

// The storms among the first `count` that may reach a point of the box lo..hi, listed in their
// order in `near`; returns how many. Four storms at a time, each lane takes the box's squared
// distance from its centre (0 along an axis where the centre lies between the box's sides).
// A storm is left out only where that distance exceeds its squared radius by a relative 2^-10
// and by 2^-100: the distance is made in a few float roundings, and ApplyStorm's distance to
// any point of the box in a few more, each off by at most a relative 2^-24 (2^-100 covers the
// squares that underflow), so such a point fails ApplyStorm's test as well. An infinite or NaN
// radius keeps its storm. Points with a NaN coordinate may lie outside the box; they reach no
// storm anyway.
int32_t StormsNearBox(const StormTable &storms, int32_t count, const float lo[3], const float hi[3], int32_t *near) {
  const __m128 loX = _mm_set1_ps(lo[0]), loY = _mm_set1_ps(lo[1]), loZ = _mm_set1_ps(lo[2]);
  const __m128 hiX = _mm_set1_ps(hi[0]), hiY = _mm_set1_ps(hi[1]), hiZ = _mm_set1_ps(hi[2]);
  const __m128 zero = _mm_setzero_ps(), infinity = _mm_set1_ps(INFINITY);
  const __m128 relative = _mm_set1_ps(1.0f + 0x1p-10f), absolute = _mm_set1_ps(0x1p-100f);
  int32_t nearCount = 0;
  for (int32_t first = 0; first < count; first += 4) {
    const int32_t valid = count - first < 4 ? count - first : 4;
    // The last few storms go through a copy that repeats the last one.
    alignas(16) float tail[4][4];
    const float *cx = storms.centreX + first, *cy = storms.centreY + first, *cz = storms.centreZ + first;
    const float *r2 = storms.radiusSquared + first;
    if (valid < 4) {
      for (int32_t j = 0; j < 4; j++) {
        const int32_t i = j < valid ? j : valid - 1;
        tail[0][j] = cx[i], tail[1][j] = cy[i], tail[2][j] = cz[i], tail[3][j] = r2[i];
      }
      cx = tail[0], cy = tail[1], cz = tail[2], r2 = tail[3];
    }
    const __m128 x = _mm_loadu_ps(cx), y = _mm_loadu_ps(cy), z = _mm_loadu_ps(cz);
    const __m128 ex = _mm_max_ps(_mm_max_ps(_mm_sub_ps(loX, x), _mm_sub_ps(x, hiX)), zero);
    const __m128 ey = _mm_max_ps(_mm_max_ps(_mm_sub_ps(loY, y), _mm_sub_ps(y, hiY)), zero);
    const __m128 ez = _mm_max_ps(_mm_max_ps(_mm_sub_ps(loZ, z), _mm_sub_ps(z, hiZ)), zero);
    const __m128 distance2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(ex, ex), _mm_mul_ps(ey, ey)), _mm_mul_ps(ez, ez));
    const __m128 limit = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(r2), relative), absolute);
    const __m128 clear = _mm_and_ps(_mm_cmpge_ps(distance2, limit), _mm_cmplt_ps(limit, infinity));
    int32_t kept = ~_mm_movemask_ps(clear) & ((1 << valid) - 1);
    while (kept != 0) {
      near[nearCount++] = first + __builtin_ctz(uint32_t(kept));
      kept &= kept - 1;
    }
  }
  return nearCount;
}

// Element `index` of the four matrices m[0..3], one in each lane.
inline __m128 MatrixLanes(const float *const *m, int index) {
  return _mm_setr_ps(m[0][index], m[1][index], m[2][index], m[3][index]);
}

// Densities of `count` (at most kCloudGroup) points; point k belongs to a pixel whose axis dot
// is axisDot[k] and turns with coriolisOf[k], that pixel's Coriolis matrix. octavePoints and
// values have room for count x kMaxCloudTerms points.
void PackedDensities(ShadeRow *row, const float *axisDot, const float *const *coriolisOf, const float *points,
                     int32_t count, float *out, float *octavePoints, float *values) {
  if (count <= 0) return;
  const RunState *run = row->run;
  const StormTable &storms = run->storms;
  const int32_t lanes = (count + 3) & ~3;
  const int32_t whole = count & ~3;
  alignas(16) float px[kCloudGroup], py[kCloudGroup], pz[kCloudGroup], dot[kCloudGroup];
  alignas(16) float qx[kCloudGroup], qy[kCloudGroup], qz[kCloudGroup], base[kCloudGroup];
  alignas(16) float warp[kCloudGroup];
  // The last four, when the points end within it, through the arrays: lanes past the last point
  // repeat it, so that every lane computes with finite values; their results are not used.
  for (int32_t k = whole; k < lanes; k++) {
    const int32_t j = k < count ? k : count - 1;
    qx[k] = px[k] = points[3 * j];
    qy[k] = py[k] = points[3 * j + 1];
    qz[k] = pz[k] = points[3 * j + 2];
    dot[k] = axisDot[j];
    warp[k] = 0.0f;
  }

  // Step 1, the polar bias, and the box around the points for step 2, four points at a time
  // as they are taken apart.
  const __m128 cloudBase = _mm_set1_ps(run->cloudBase);
  const __m128 pole = _mm_set1_ps(0.7f);
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  __m128 loX = _mm_set1_ps(INFINITY), loY = loX, loZ = loX;
  __m128 hiX = _mm_set1_ps(-INFINITY), hiY = hiX, hiZ = hiX;
  for (int32_t k = 0; k < lanes; k += 4) {
    __m128 x, y, z, d;
    if (k < whole) {
      LoadPoints4(points + 3 * k, &x, &y, &z);
      _mm_store_ps(px + k, x), _mm_store_ps(qx + k, x);
      _mm_store_ps(py + k, y), _mm_store_ps(qy + k, y);
      _mm_store_ps(pz + k, z), _mm_store_ps(qz + k, z);
      d = _mm_loadu_ps(axisDot + k);
    } else {
      x = _mm_load_ps(px + k), y = _mm_load_ps(py + k), z = _mm_load_ps(pz + k);
      d = _mm_load_ps(dot + k);
    }
    const __m128 a = _mm_and_ps(d, absMask);
    const __m128 polar = _mm_add_ps(cloudBase, _mm_mul_ps(_mm_sub_ps(a, pole), _mm_set1_ps(1.5f)));
    const __m128 other = _mm_sub_ps(cloudBase, _mm_mul_ps(_mm_sub_ps(pole, a), _mm_set1_ps(0.3f)));
    const __m128 isPolar = _mm_cmpgt_ps(a, pole);
    _mm_store_ps(base + k, _mm_or_ps(_mm_and_ps(isPolar, polar), _mm_andnot_ps(isPolar, other)));
    // A NaN coordinate, the first operand of min and max, leaves the bound as it was.
    loX = _mm_min_ps(x, loX), loY = _mm_min_ps(y, loY), loZ = _mm_min_ps(z, loZ);
    hiX = _mm_max_ps(x, hiX), hiY = _mm_max_ps(y, hiY), hiZ = _mm_max_ps(z, hiZ);
  }

  // Step 2, the storms, each tested against four points at a time; then the points one storm
  // reaches take their shares and their turns (TwistByStorm's steps), the turns' matrices made
  // together, two at a time. Every point still meets the storms in their order. (Lanes past the
  // last point are left alone.) The points of a group lie close together, and most storms are
  // far from all of them: only the storms near the box around the points are tested.
  const float boxLo[3] = {LowestLane(loX), LowestLane(loY), LowestLane(loZ)};
  const float boxHi[3] = {HighestLane(hiX), HighestLane(hiY), HighestLane(hiZ)};
  int32_t nearStorms[kStormCapacity];
  const int32_t stormCount = row->globals->stormsPlaced < kStormCapacity ? row->globals->stormsPlaced : kStormCapacity;
  const int32_t nearCount = StormsNearBox(storms, stormCount, boxLo, boxHi, nearStorms);
  for (int32_t n = 0; n < nearCount; n++) {
    const int32_t i = nearStorms[n];
    const __m128 cx = _mm_set1_ps(storms.centreX[i]);
    const __m128 cy = _mm_set1_ps(storms.centreY[i]);
    const __m128 cz = _mm_set1_ps(storms.centreZ[i]);
    const __m128 radius2 = _mm_set1_ps(storms.radiusSquared[i]);
    alignas(16) float distance2[kCloudGroup];
    int32_t hitPoint[kCloudGroup];
    int32_t hits = 0;
    for (int32_t k = 0; k < lanes; k += 4) {
      const __m128 dx = _mm_sub_ps(cx, _mm_load_ps(px + k));
      const __m128 dy = _mm_sub_ps(cy, _mm_load_ps(py + k));
      const __m128 dz = _mm_sub_ps(cz, _mm_load_ps(pz + k));
      const __m128 delta2 = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy)), _mm_mul_ps(dz, dz));
      int32_t reached = _mm_movemask_ps(_mm_cmplt_ps(delta2, radius2));
      if (reached == 0) continue;
      _mm_store_ps(distance2 + k, delta2);
      while (reached != 0) {
        const int32_t p = k + __builtin_ctz(uint32_t(reached));
        reached &= reached - 1;
        if (p < count) hitPoint[hits++] = p;
      }
    }
    if (hits == 0) continue;
    float angle[kCloudGroup];
    for (int32_t h = 0; h < hits; h++) {
      const int32_t p = hitPoint[h];
      const float t = 1.0f - sqrtf(distance2[p] / storms.radiusSquared[i]);
      const float t3 = t * t * t;
      base[p] += t3 * 0.3f;
      angle[h] = t3 * storms.strength[i];
    }
    const float centre[3] = {storms.centreX[i], storms.centreY[i], storms.centreZ[i]};
    float turn[kCloudGroup][16];
    ExactRotationMatrixMany(centre, angle, turn[0], hits);
    for (int32_t h = 0; h < hits; h++) {
      const int32_t p = hitPoint[h];
      float q[3] = {qx[p], qy[p], qz[p]};
      TurnPoint(q, turn[h]);
      qx[p] = q[0];
      qy[p] = q[1];
      qz[p] = q[2];
    }
  }

  // Step 3, the Coriolis turn (TurnPoint in lanes). Neighbouring pixels mostly share their
  // matrix (often the whole group does), and then its elements are simply repeated across the
  // lanes, once for as long as the matrix lasts.
  float warpPoints[3 * kCloudGroup];
  const float *repeated = nullptr;
  __m128 m0 = _mm_setzero_ps(), m1 = m0, m2 = m0, m4 = m0, m5 = m0, m6 = m0, m8 = m0, m9 = m0, m10 = m0;
  for (int32_t k = 0; k < lanes; k += 4) {
    // The last four lanes may go past the points: those lanes take the last point's matrix.
    const float *tail[4];
    const float *const *m = coriolisOf + k;
    if (k + 4 > count) {
      for (int32_t j = 0; j < 4; j++) tail[j] = coriolisOf[k + j < count ? k + j : count - 1];
      m = tail;
    }
    if (m[0] == m[1] && m[0] == m[2] && m[0] == m[3]) {
      if (m[0] != repeated) {
        repeated = m[0];
        m0 = _mm_set1_ps(repeated[0]), m1 = _mm_set1_ps(repeated[1]), m2 = _mm_set1_ps(repeated[2]);
        m4 = _mm_set1_ps(repeated[4]), m5 = _mm_set1_ps(repeated[5]), m6 = _mm_set1_ps(repeated[6]);
        m8 = _mm_set1_ps(repeated[8]), m9 = _mm_set1_ps(repeated[9]), m10 = _mm_set1_ps(repeated[10]);
      }
    } else {
      repeated = nullptr;
      m0 = MatrixLanes(m, 0), m1 = MatrixLanes(m, 1), m2 = MatrixLanes(m, 2);
      m4 = MatrixLanes(m, 4), m5 = MatrixLanes(m, 5), m6 = MatrixLanes(m, 6);
      m8 = MatrixLanes(m, 8), m9 = MatrixLanes(m, 9), m10 = MatrixLanes(m, 10);
    }
    const __m128 x = _mm_load_ps(qx + k), y = _mm_load_ps(qy + k), z = _mm_load_ps(qz + k);
    const __m128 tx = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m0), _mm_mul_ps(y, m4)), _mm_mul_ps(z, m8));
    const __m128 ty = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m1), _mm_mul_ps(y, m5)), _mm_mul_ps(z, m9));
    const __m128 tz = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, m2), _mm_mul_ps(y, m6)), _mm_mul_ps(z, m10));
    StoreLanesAsPoints(tx, ty, tz, count - k < 4 ? count - k : 4, warpPoints + 3 * k);
    if (k == whole) {   // the octaves of a last partial four are made in lanes
      _mm_store_ps(qx + k, tx);
      _mm_store_ps(qy + k, ty);
      _mm_store_ps(qz + k, tz);
    }
  }
  const NoiseTables *tables = &run->noiseTables;
  GradientNoise3Many(tables, warpPoints, warp, count);

  // The octave points: the warped point and its octaves, then the extra octaves, which start
  // again from the untwisted point. Each octave is the one before it times the lacunarity,
  // coordinate by coordinate, made in registers as the octaves are stored. Whole fours are made
  // as their points lie, (x, y, z) after (x, y, z), from the turned points as stored for the
  // warp and from the untwisted points as given: each coordinate meets its own axis's offset and
  // its own point's warp, which are laid out to match.
  int32_t loopTerms, extraTerms;
  const int32_t terms = CloudTerms(run, &loopTerms, &extraTerms);
  const __m128 three = _mm_set1_ps(3.0f);
  const __m128 extraFrequency = _mm_set1_ps(run->cloudExtraFrequency);
  const __m128 unitScale = _mm_set1_ps(row->view->unitScale);
  const float *offset = kCloudOffset;
  const __m128 offset0 = _mm_setr_ps(offset[0], offset[1], offset[2], offset[0]);
  const __m128 offset1 = _mm_setr_ps(offset[1], offset[2], offset[0], offset[1]);
  const __m128 offset2 = _mm_setr_ps(offset[2], offset[0], offset[1], offset[2]);
  for (int32_t k = 0; k < whole; k += 4) {
    float *o = octavePoints + 3 * k;
    const __m128 n = _mm_mul_ps(_mm_load_ps(warp + k), unitScale);
    const float *w = warpPoints + 3 * k;
    const __m128 a = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_loadu_ps(w), _mm_shuffle_ps(n, n, _MM_SHUFFLE(1, 0, 0, 0))),
                                           three), offset0);
    const __m128 b = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_loadu_ps(w + 4), _mm_shuffle_ps(n, n, _MM_SHUFFLE(2, 2, 1, 1))),
                                           three), offset1);
    const __m128 c = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_loadu_ps(w + 8), _mm_shuffle_ps(n, n, _MM_SHUFFLE(3, 3, 3, 2))),
                                           three), offset2);
    StoreOctaveVectors(a, b, c, 1 + loopTerms, 3 * count, o);
    if (extraTerms == 0) continue;
    const float *p = points + 3 * k;
    const __m128 ra = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(p), three), offset0), extraFrequency);
    const __m128 rb = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(p + 4), three), offset1), extraFrequency);
    const __m128 rc = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_loadu_ps(p + 8), three), offset2), extraFrequency);
    StoreOctaveVectors(ra, rb, rc, extraTerms, 3 * count, o + 3 * count * (1 + loopTerms));
  }
  for (int32_t k = whole; k < lanes; k += 4) {
    const int32_t valid = count - k;
    float *o = octavePoints + 3 * k;
    const __m128 n = _mm_mul_ps(_mm_load_ps(warp + k), unitScale);
    __m128 x = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_load_ps(qx + k), n), three), _mm_set1_ps(kCloudOffset[0]));
    __m128 y = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_load_ps(qy + k), n), three), _mm_set1_ps(kCloudOffset[1]));
    __m128 z = _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_load_ps(qz + k), n), three), _mm_set1_ps(kCloudOffset[2]));
    StoreOctaveLanes(x, y, z, valid, 1 + loopTerms, 3 * count, o);
    if (extraTerms == 0) continue;
    x = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(px + k), three), _mm_set1_ps(kCloudOffset[0])), extraFrequency);
    y = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(py + k), three), _mm_set1_ps(kCloudOffset[1])), extraFrequency);
    z = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(pz + k), three), _mm_set1_ps(kCloudOffset[2])), extraFrequency);
    StoreOctaveLanes(x, y, z, valid, extraTerms, 3 * count, o + 3 * count * (1 + loopTerms));
  }
  GradientNoise3Many(tables, octavePoints, values, terms * count);

  // The sums, as SumCloudTerms makes them; term j of point k is values[j x count + k]. Sixteen
  // points a turn while they last, so that each term's amplitude is made ready once for four
  // registers of points.
  float amplitude[kMaxCloudTerms];
  CloudAmplitudes(terms, loopTerms, amplitude);
  int32_t k = 0;
  for (; k + 16 <= count; k += 16) {
    const float *v = values + k;
    __m128 d0 = _mm_add_ps(_mm_load_ps(base + k), _mm_loadu_ps(v));
    __m128 d1 = _mm_add_ps(_mm_load_ps(base + k + 4), _mm_loadu_ps(v + 4));
    __m128 d2 = _mm_add_ps(_mm_load_ps(base + k + 8), _mm_loadu_ps(v + 8));
    __m128 d3 = _mm_add_ps(_mm_load_ps(base + k + 12), _mm_loadu_ps(v + 12));
    for (int32_t j = 1; j < terms; j++) {
      v += count;
      const __m128 a = _mm_set1_ps(amplitude[j]);
      d0 = _mm_add_ps(d0, _mm_mul_ps(_mm_loadu_ps(v), a));
      d1 = _mm_add_ps(d1, _mm_mul_ps(_mm_loadu_ps(v + 4), a));
      d2 = _mm_add_ps(d2, _mm_mul_ps(_mm_loadu_ps(v + 8), a));
      d3 = _mm_add_ps(d3, _mm_mul_ps(_mm_loadu_ps(v + 12), a));
    }
    _mm_storeu_ps(out + k, d0);
    _mm_storeu_ps(out + k + 4, d1);
    _mm_storeu_ps(out + k + 8, d2);
    _mm_storeu_ps(out + k + 12, d3);
  }
  for (; k + 4 <= count; k += 4) {
    const float *v = values + k;
    __m128 density = _mm_add_ps(_mm_load_ps(base + k), _mm_loadu_ps(v));
    for (int32_t j = 1; j < terms; j++) {
      v += count;
      density = _mm_add_ps(density, _mm_mul_ps(_mm_loadu_ps(v), _mm_set1_ps(amplitude[j])));
    }
    _mm_storeu_ps(out + k, density);
  }
  for (; k < count; k++) {
    float density = base[k] + values[k];
    for (int32_t j = 1; j < terms; j++) density += values[j * count + k] * amplitude[j];
    out[k] = density;
  }
}

// Procedural densities of up to two points of the pixel being shaded (its axis terms in the run
// state).
void PixelProceduralDensities(ShadeRow *row, const RenderView *view, const float *points, int32_t count,
                              float *out) {
  const float axisDot[2] = {row->run->axisDot, row->run->axisDot};
  const float axisSin2[2] = {row->run->axisSin2, row->run->axisSin2};
  float octavePoints[2 * 3 * kMaxCloudTerms];
  float values[2 * kMaxCloudTerms];
  ProceduralDensities(row, view, points, axisDot, axisSin2, count, out, octavePoints, values);
}

// The density of the cloud image at a point: the disc box of the cloud header, as fractions.
float ImageDensity(const ShadeRow *row, const RenderView *view, const float point[3]) {
  const CloudHeader &h = row->run->cloudHeader;
  const float u = (point[0] * 0.5f + 0.5f) * h.spanU + h.offsetU;
  const float v = (point[1] * 0.5f + 0.5f) * h.spanV + h.offsetV;
  const float texel =
      SampleGrayTrilinear(row->cloudImage, view->cloudLevel, view->cloudLevelFraction, ClampUnit(u), ClampUnit(v));
  return texel * 0.005f + row->run->cloudImageOffset;
}

void CloudDensities(ShadeRow *row, const float *points, int32_t count, float *out) {
  const RenderView *view = row->view;
  if (view->realCloudsOn) {
    for (int32_t k = 0; k < count; k++) out[k] = ImageDensity(row, view, points + 3 * k);
    return;
  }
  PixelProceduralDensities(row, view, points, count, out);
}

// The points whose cloud density a pixel needs first: its sphere point and, when the clouds
// shadow it, where the light's ray through the cloud shell meets the sphere.
void CloudPoints(const ShadeRow *row, const ShadePixel *px, bool shadowed, float points[6]) {
  for (int k = 0; k < 3; k++) {
    points[k] = px->n[k];
    points[3 + k] = 0.0f;
  }
  if (shadowed) {
    const float s = row->run->cloudShellScale;
    const float o[3] = {px->n[0] * s, px->n[1] * s, px->n[2] * s};
    IntersectUnitSphere(o, px->light, points + 3);
  }
}

// The sphere points and light directions of the pixels whose shadow points are wanted, in rows
// (x, y, z of n, then of the light), with room for a last four.
struct ShadowSources {
  alignas(16) float row[6][kRowBatchColumns + 4];
};

// CloudPoints' shadow points of `count` pixels, four at a time (IntersectUnitSphere in lanes:
// both roots and the miss are computed and the lane picks what the branches would), as
// consecutive points at `points`. Lanes past the last pixel repeat it.
void ShadowPointsMany(const ShadeRow *row, ShadowSources *from, int32_t count, float *points) {
  for (int32_t k = count; k < ((count + 3) & ~3); k++) {
    for (int r = 0; r < 6; r++) from->row[r][k] = from->row[r][count - 1];
  }
  const __m128 scale = _mm_set1_ps(row->run->cloudShellScale);
  const __m128 one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f), four = _mm_set1_ps(4.0f);
  const __m128 zero = _mm_setzero_ps(), signBit = _mm_set1_ps(-0.0f);
  for (int32_t first = 0; first < count; first += 4) {
    const int32_t n = count - first < 4 ? count - first : 4;
    const __m128 ox = _mm_mul_ps(_mm_load_ps(from->row[0] + first), scale);
    const __m128 oy = _mm_mul_ps(_mm_load_ps(from->row[1] + first), scale);
    const __m128 oz = _mm_mul_ps(_mm_load_ps(from->row[2] + first), scale);
    const __m128 wx = _mm_add_ps(ox, _mm_load_ps(from->row[3] + first));
    const __m128 wy = _mm_add_ps(oy, _mm_load_ps(from->row[4] + first));
    const __m128 wz = _mm_add_ps(oz, _mm_load_ps(from->row[5] + first));
    const __m128 b =
        _mm_mul_ps(two, _mm_add_ps(_mm_add_ps(_mm_mul_ps(wx, ox), _mm_mul_ps(wy, oy)), _mm_mul_ps(wz, oz)));
    const __m128 oo = _mm_add_ps(_mm_add_ps(_mm_mul_ps(ox, ox), _mm_mul_ps(oy, oy)), _mm_mul_ps(oz, oz));
    const __m128 disc = _mm_sub_ps(_mm_mul_ps(b, b), _mm_mul_ps(four, _mm_sub_ps(oo, one)));
    const __m128 hits = _mm_cmpge_ps(disc, zero);
    const __m128 root = _mm_sqrt_ps(_mm_and_ps(hits, disc));
    const __m128 nearer = _mm_div_ps(_mm_sub_ps(_mm_xor_ps(b, signBit), root), two);
    const __m128 farther = _mm_div_ps(_mm_sub_ps(root, b), two);
    const __m128 behind = _mm_cmplt_ps(nearer, zero);
    const __m128 t = _mm_or_ps(_mm_and_ps(behind, farther), _mm_andnot_ps(behind, nearer));
    const __m128 hx = _mm_add_ps(ox, _mm_mul_ps(t, wx));
    const __m128 hy = _mm_add_ps(oy, _mm_mul_ps(t, wy));
    const __m128 hz = _mm_add_ps(oz, _mm_mul_ps(t, wz));
    StoreLanesAsPoints(_mm_or_ps(_mm_and_ps(hits, hx), _mm_andnot_ps(hits, one)), _mm_and_ps(hits, hy),
                       _mm_and_ps(hits, hz), n, points + 3 * first);
  }
}

// Densities of many points in groups; axisDot[k] is the axis dot of the pixel point k belongs
// to and coriolisOf[k] that pixel's Coriolis matrix.
void GroupedDensities(ShadeRow *row, const float *axisDot, const float *const *coriolisOf, const float *points,
                      int32_t count, float *out, RowNoiseScratch *scratch) {
  // As many points to a group as the scratch has room for their octave points, in fours.
  int32_t loopTerms, extraTerms;
  const int32_t room = kRowNoiseCapacity / CloudTerms(row->run, &loopTerms, &extraTerms) & ~3;
  const int32_t group = room < kCloudGroup ? room : kCloudGroup;
  for (int32_t first = 0; first < count; first += group) {
    const int32_t n = count - first < group ? count - first : group;
    PackedDensities(row, axisDot + first, coriolisOf + first, points + 3 * first, n, out + first, scratch->points,
                    scratch->values);
  }
}

// Smoothstep-like weight of the air's front and back light: 1 on the lit side, falling to
// 1 - frontLight beyond the limb.
float AirLambda(float e, float frontLight, float limbCos) {
  if (e > 0.0f) return 1.0f;
  if (e < limbCos) return 1.0f - frontLight;
  return 1.0f - e * frontLight / limbCos;
}

}  // namespace

// ---- The named routines -------------------------------------------------------------------------

void ProceduralCloudDensity(float x, float y, float z, float *density, PluginGlobals *globals,
                            const RenderView *view) {
  ShadeRow row;
  row.globals = globals;
  row.run = globals->runState;
  row.coriolisValid = false;
  const float point[3] = {x, y, z};
  PixelProceduralDensities(&row, view, point, 1, density);
}

void IntersectUnitSphere(const float o[3], const float d[3], float hit[3]) {
  const float w[3] = {o[0] + d[0], o[1] + d[1], o[2] + d[2]};
  const float b = 2.0f * Dot3(w, o);
  const float disc = b * b - 4.0f * (Dot3(o, o) - 1.0f);
  if (!(disc >= 0.0f)) {
    hit[0] = 1.0f;
    hit[1] = 0.0f;
    hit[2] = 0.0f;
    return;
  }
  const float root = sqrtf(disc);
  float s = (-b - root) / 2.0f;
  if (s < 0.0f) s = (root - b) / 2.0f;
  for (int k = 0; k < 3; k++) hit[k] = o[k] + s * w[k];
}

// ---- Stage 8: clouds ----------------------------------------------------------------------------

// Stage 8's last step: the cloud's colour over the pixel's, with the cloud's relief, the
// pixel darkened first by the cloud's shadow (lit) where it is shadowed.
//
// The shadow's darkening is applied with the cloud's colour, in the same channel pass: the
// colour is read and written once (the previous stage has just stored it, channel by channel,
// and a wider load of it would wait for those stores).
inline void MixCloudColour(const ShadeRow *row, ShadePixel *px, bool shadowed, float lit, float relief) {
  const float b = ClampF(relief + px->d, 0.0f, 1.0f);
  const float k = 1.0f - (1.0f - b) * (1.0f - b);
  for (int c = 0; c < 3; c++) {
    const float colour = shadowed ? px->colour[c] * lit : px->colour[c];
    const float cloud = row->cloudColour[c] * k * px->factor[c];
    px->colour[c] = colour + (cloud - colour) * px->cloudCover;
  }
}

// The rest of stage 8 where the light-side density was not made ahead.
__attribute__((noinline)) void MixCloudsMakingLightSide(ShadeRow *row, ShadePixel *px, bool shadowed, float lit,
                                                        float density) {
  float lightSide;
  CloudDensities(row, px->lightSidePoint, 1, &lightSide);
  MixCloudColour(row, px, shadowed, lit, (lightSide - density) * row->cloudBumpGain);
}

// Stage 8 from the densities under the pixel and at its shadow point. The routines it may call
// are called last, so that the usual pixel, whose densities are all ready, needs no frame.
inline void ShadeCloudsWith(ShadeRow *row, ShadePixel *px, bool shadowed, float density0, float density1) {
  const RunState *run = row->run;
  float lit = 1.0f;
  if (shadowed) {
    const float shadow = ClampF(density1 * run->cloudEdgeGain, 0.0f, 1.0f) * run->cloudShadowStrength;
    lit = 1.0f - shadow;
  }
  px->cloudDensity = density0;
  px->cloudCover = ClampF(density0 * run->cloudEdgeGain, 0.0f, 1.0f);

  float relief = 0.0f;
  if (px->cloudCover > 0.0f && px->day && row->isLit) {
    if (!px->cloudLightSideReady) {
      MixCloudsMakingLightSide(row, px, shadowed, lit, density0);
      return;
    }
    relief = (px->cloudLightSide - density0) * row->cloudBumpGain;
  }
  MixCloudColour(row, px, shadowed, lit, relief);
}

// Stage 8 where the densities under the pixel and at its shadow point were not made ahead.
__attribute__((noinline)) void ShadeCloudsMakingDensities(ShadeRow *row, ShadePixel *px, bool shadowed) {
  float points[6];
  float density[2] = {0.0f, 0.0f};
  CloudPoints(row, px, shadowed, points);
  CloudDensities(row, points, shadowed ? 2 : 1, density);
  ShadeCloudsWith(row, px, shadowed, density[0], density[1]);
}

void ShadeClouds(ShadeRow *row, ShadePixel *px) {
  if (!row->cloudsOn) return;
  const bool shadowed = px->lightLevel > 0.0f && row->isLit;
  if (px->cloudReadyCount < (shadowed ? 2 : 1)) {
    ShadeCloudsMakingDensities(row, px, shadowed);
    return;
  }
  ShadeCloudsWith(row, px, shadowed, px->cloudReady[0], px->cloudReady[1]);
}

// ---- Stage 9: the disc --------------------------------------------------------------------------

// The three channels go through the sum and the coverage together, one per SSE2 lane: the
// packed conversions, add and multiply round as the scalar ones do, and TruncateLanes saturates
// as TruncateFloatToInt32 does, so the bits are those of a channel-by-channel loop at a third of
// its compares and branches. The fourth lane is padding and is never stored.
void ShadeDisc(ShadeRow *row, ShadePixel *px) {
  __m128i acc = _mm_setr_epi32(px->acc[0], px->acc[1], px->acc[2], 0);
  if (DiscAddsColour(row, px)) {
    const __m128 colour = _mm_setr_ps(px->colour[0], px->colour[1], px->colour[2], 0.0f);
    acc = TruncateLanes(_mm_add_ps(_mm_cvtepi32_ps(acc), colour));
  }
  acc = TruncateLanes(_mm_mul_ps(_mm_cvtepi32_ps(acc), _mm_set1_ps(px->cover)));
  alignas(16) int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i *>(lanes), acc);
  for (int k = 0; k < 3; k++) px->acc[k] = lanes[k];
  ShadeDiscRecords(row, px);
}

void ShadeDiscRecords(ShadeRow *row, ShadePixel *px) {
  float *left = px->record - kPixelRecordFloats;
  if (!px->onPlanet) {
    // Off the disc there is neither height nor ice: the cells at the rim see missing corners
    // here, which stand in for the rim pixel's own value.
    //
    // The ice value is written and the running one reset here on purpose. Stage 4, which writes
    // it, does not run off the disc; left alone, the record would keep the ice value of whichever
    // older row last reached stage 4 in this column, and a disc pixel of a later row could read
    // that stale value as its top corner. Writing the missing mark gives the
    // same answer on every row and in every request size.
    left[kRecordPrevIce] = row->prevIce;
    row->prevIce = kMissingCorner;
  }
  left[kRecordPrevHeight] = row->prevHeight;
  row->prevHeight = px->height;
}

// ---- Stage 10: the air --------------------------------------------------------------------------

void ShadeAir(ShadeRow *row, ShadePixel *px) {
  if (!row->airOn) return;
  const float *L = px->light;
  const float a = row->airShell;
  float p[2], zs;
  float rho2 = 0.0f;
  if (row->isMap) {
    p[0] = px->n[0];
    p[1] = px->n[1];
    zs = px->n[2];
  } else {
    p[0] = px->slot[kSlotOffsetX] / row->shellRadius;
    p[1] = row->airRowY;
    rho2 = p[0] * p[0] + row->airRowY2;
    zs = 1.0f - rho2;
    if (!(zs >= 0.0f)) return;
    zs = sqrtf(zs);
  }

  const float e = p[0] * L[0] + p[1] * L[1] + zs * L[2];
  const float lambda = AirLambda(e, row->frontLight, row->limbCos);
  const float sigma = (3.0f - 2.0f * lambda) * lambda * lambda;
  const float t1 = (sigma - 1.0f) * row->sunsetAmount + 1.0f;
  const float frontTint[3] = {1.0f, t1, t1 * t1};
  const float eBack = p[0] * L[0] + p[1] * L[1] - zs * L[2];
  const float lambdaBack = AirLambda(eBack, row->frontLight, row->limbCos);
  const float sigmaBack = (3.0f - 2.0f * lambdaBack) * lambdaBack * lambdaBack;
  const float t2 = (row->backDim * sigmaBack - 1.0f) * row->sunsetAmount + 1.0f;
  const float backTint[3] = {1.0f, t2, t2 * t2};
  const float sigma4 = sigma * sigma * sigma * sigma;

  if (row->isMap) {
    const float alpha = sqrtf(sigma4 * a);
    if (row->mode == 8) px->acc[0] = px->acc[1] = px->acc[2] = 0;
    for (int k = 0; k < 3; k++) {
      px->acc[k] = TruncateFloatToInt32(float(px->acc[k]) + row->airLight[k] * frontTint[k] * alpha);
    }
    px->airAlpha = 0.0f;
    return;
  }

  // The globe. n is the record's sphere x and y with the planet's depth (0 off the disc).
  const float n[3] = {px->n[0], px->n[1], px->depth};
  const float ll = Dot3(L, L);
  if (ll == 0.0f) return;   // no light direction, no lit air
  const float tau = Dot3(n, L) / ll;
  px->slot[kSlotDepthTerm] = tau;
  const float cx = n[0] - tau * L[0];
  const float cy = n[1] - tau * L[1];
  const float tz = tau * L[2];
  // Roots of s^2 - 2 tau L.z s + (cx^2 + cy^2 + (tau L.z)^2 - 1) = 0: where the line through n
  // along the light meets the unit sphere.
  const float bq = -2.0f * tz;
  const float cq = cx * cx + cy * cy + tz * tz - 1.0f;
  const float disc = bq * bq - 4.0f * cq;
  float s1 = 0.0f, s2 = 0.0f;
  if (disc >= 0.0f) {
    const float root = sqrtf(disc);
    s1 = (-bq - root) * 0.5f;
    s2 = (-bq + root) * 0.5f;
  }

  const float rho = sqrtf(rho2);
  float g = 1.0f - (rho - row->airInnerRim) / a;
  if (g > 1.0f) g = 1.0f;
  const float mu = g * g * g * g;

  const float f = zs * (1.0f + a);
  float zp = px->depth;
  float beta = f;
  if (n[1] * L[1] + n[0] * L[0] + s2 * L[2] < 0.0f) {
    if (s2 > 0.0f && s2 > zp) zp = s2;
    if (s1 < 0.0f) {
      beta = f + s1 > 0.0f ? f + s1 : 0.0f;
      if (f != 0.0f) beta = beta * beta / f;
    }
  }
  float front = f - zp > 0.0f ? f - zp : 0.0f;
  if (f - px->depth != 0.0f) front = front * front / (f - px->depth);

  const float sigmaBack4 = sigmaBack * sigmaBack * sigmaBack * sigmaBack;
  float frontAmount = sigma4 * mu * front;
  float backAmount = beta * mu * (1.0f - px->cover) * sigmaBack4 * row->haloGain;
  const float total = frontAmount + backAmount;
  if (total != 0.0f) {
    const float root = sqrtf(total);
    frontAmount /= root;
    backAmount /= root;
  }
  backAmount = std::fabs(backAmount);
  const float j = (1.0f - px->cover) * 0.75f;
  const float af = frontAmount * (2.25f * j + 1.3f);
  const float ab = backAmount * (2.25f * j + 1.3f);

  if (row->mode == 2 && row->transparentLayer) {
    float air[3];
    for (int k = 0; k < 3; k++) air[k] = row->airLight[k] * (af * frontTint[k] + ab * backTint[k]);
    const float alpha =
        ClampF((0.3f * air[0] + 0.59f * air[1] + 0.11f * air[2]) * 0.03f * 0.2f / row->glintScale, 0.0f, 1.0f);
    const float alpha2 = (1.0f - alpha) * px->cover + alpha;
    if (alpha2 != 0.0f) {
      for (int k = 0; k < 3; k++) air[k] /= alpha2;
    }
    for (int k = 0; k < 3; k++) px->acc[k] = TruncateFloatToInt32(float(px->acc[k]) + air[k]);
    px->airAlpha = alpha2;
  } else {
    for (int k = 0; k < 3; k++) {
      const int32_t lit = TruncateFloatToInt32(float(px->acc[k]) + row->airLight[k] * af * frontTint[k]);
      px->acc[k] = TruncateFloatToInt32(float(lit) + row->airLight[k] * ab * backTint[k]);
    }
    px->airAlpha = 0.0f;
  }
}

// ---- Stage 11: output ---------------------------------------------------------------------------

void ShadeOutputChannels(ShadeRow *row, ShadePixel *px) {
  const int32_t m = row->channelMax;
  const int32_t mh = row->channelHalf;
  int32_t *acc = px->acc;
  auto grey = [&](int32_t v) { acc[0] = acc[1] = acc[2] = v; };
  switch (row->mode) {
    case 8:
      if (!row->airOn) grey(0);
      break;
    case 7:
      grey(TruncateFloatToInt32((1.0f - (1.0f - px->seaIceCover) * (1.0f - px->landCover)) * float(m)));
      break;
    case 11:
      for (int k = 0; k < 3; k++) acc[k] = TruncateFloatToInt32(px->cityLight[k]);
      break;
    case 9:
      grey(TruncateFloatToInt32(float(m) * px->cloudCover));
      break;
    case 10:
      grey(TruncateFloatToInt32(float(mh) * px->cloudDensity));
      break;
    case 6:
    case 14: {
      float v = px->height;
      if (row->mode == 14 && v < row->run->seaLevelValue) v = row->run->seaLevelValue;
      grey(row->eightBitWork ? TruncateFloatToInt32(v * float(m) + float(mh))
                             : TruncateFloatToInt32(float(mh) * v + float(mh)));
      break;
    }
    default:
      break;
  }
  RollOffHighlightsScaled(&acc[0], &acc[1], &acc[2], row->channelMaxF, row->channelMaxInverse);
}

OutputTap gOutputTap = nullptr;
void *gOutputTapContext = nullptr;

void SetOutputTap(OutputTap tap, void *context) {
  gOutputTap = tap;
  gOutputTapContext = context;
}

void TapOutput(const ShadeRow *row, const ShadePixel *px) {
  OutputTapPixel t;
  std::memset(&t, 0, sizeof t);
  t.column = px->column;
  t.row = row->row;
  t.onPlanet = px->onPlanet;
  t.cover = px->cover;
  t.height = px->height;
  t.landCover = px->landCover;
  t.seaIceCover = px->seaIceCover;
  t.cloudDensity = px->cloudDensity;
  for (int k = 0; k < 3; k++) {
    t.n[k] = px->n[k];
    t.light[k] = px->light[k];
    t.cityLight[k] = px->cityLight[k];
  }
  if (px->onPlanet) {
    // Stages 2 and later ran only on the planet.
    t.d = px->d;
    t.lightLevel = px->lightLevel;
    for (int k = 0; k < 3; k++) {
      t.land[k] = px->land[k];
      t.sea[k] = px->sea[k];
    }
  }
  gOutputTap(&t, gOutputTapContext);
}

void ShadeOutput(ShadeRow *row, ShadePixel *px) {
  if (gOutputTap != nullptr) TapOutput(row, px);
  ShadeOutputChannels(row, px);
  const float mf = row->channelMaxF;
  const int32_t *acc = px->acc;
  float colour[4] = {float(acc[0]) / mf, float(acc[1]) / mf, float(acc[2]) / mf, 1.0f};
  CompositeWeights weights;
  weights.opacity = px->airAlpha;
  weights.coverage = px->cover;
  CompositePixelTo(&row->composite, px->column, row->row, colour, &weights);
}

void PrepareOutputRow(ShadeRow *row) {
  row->airInnerRim = 1.0f / (1.0f + row->airShell);
  // Stage 1's view offset of the row (kSlotOffsetY of every pixel), over the shell's radius.
  row->airRowY = float(int64_t(row->view->centreY) - row->row) / row->shellRadius;
  row->airRowY2 = row->airRowY * row->airRowY;
  row->channelMaxF = float(row->channelMax);
  row->channelMaxInverse = 1.0f / row->channelMaxF;
  PrepareCompositeTarget(row->globals, &row->composite);
}

// ---- The cloud noise of a row -------------------------------------------------------------------

// Stage 8's procedural densities for many pixels: first at every pixel's sphere point and,
// where stage 5's light level will call for the shadow, at its shadow point; then at the
// light-side points of the pixels those densities cloud on the day side.
void BatchCloudNoise(ShadeRow *row, ShadePixel *const *pixels, int32_t count, RowNoiseScratch *scratch) {
  if (count > kRowBatchColumns) count = kRowBatchColumns;
  if (!row->cloudsOn || row->view->realCloudsOn || count <= 0) return;
  // Every pixel's sphere point first (point i is pixel i's), then the shadow points of the
  // shadowed pixels in their order. The densities of different points do not depend on each
  // other, so their order is free.
  constexpr int32_t kMaxPoints = 2 * kRowBatchColumns;
  float points[3 * kMaxPoints];
  float density[kMaxPoints];
  ShadePixel *pixelOf[kRowBatchColumns];
  float axisDotOf[kMaxPoints];
  const float *coriolisOf[kMaxPoints];
  bool shadowedAt[kRowBatchColumns];
  // Each pixel's Coriolis turn, made once for all its points (the one-pixel form remakes it
  // when the pixel's light-side density follows other pixels' densities); the matrix is a
  // function of the angle alone, so it is the same matrix.
  // Neighbours with the same angle (a map row about an upright axis) share one.
  // The matrices are made together, two at a time, once every angle is known.
  float coriolis[kRowBatchColumns][16];
  float angles[kRowBatchColumns];
  const float *coriolisOfPixel[kRowBatchColumns];
  const float factor = row->view->coriolisFactor;
  // The shadow points are found after the loop, four at a time.
  ShadowSources shadowFrom;
  int32_t made = 0, shadows = 0;
  for (int32_t i = 0; i < count; i++) {
    ShadePixel *px = pixels[i];
    const float angle = (1.0f - px->axisDot * px->axisDot) * factor;
    if (made == 0 || !(angle == angles[made - 1])) angles[made++] = angle;
    coriolisOfPixel[i] = coriolis[made - 1];
    shadowedAt[i] = LandLightLevel(row, px) > 0.0f && row->isLit;
    for (int c = 0; c < 3; c++) points[3 * i + c] = px->n[c];
    coriolisOf[i] = coriolisOfPixel[i];
    axisDotOf[i] = px->axisDot;
    if (shadowedAt[i]) {
      for (int c = 0; c < 3; c++) {
        shadowFrom.row[c][shadows] = px->n[c];
        shadowFrom.row[3 + c][shadows] = px->light[c];
      }
      coriolisOf[count + shadows] = coriolisOfPixel[i];
      axisDotOf[count + shadows++] = px->axisDot;
    }
  }
  if (shadows > 0) ShadowPointsMany(row, &shadowFrom, shadows, points + 3 * count);
  ExactRotationMatrixMany(row->run->modelAxis, angles, coriolis[0], made);
  GroupedDensities(row, axisDotOf, coriolisOf, points, count + shadows, density, scratch);

  // The light-side points of the clouded pixels, over the sphere points (i >= lit).
  int32_t shadow = count, lit = 0;
  for (int32_t i = 0; i < count; i++) {
    ShadePixel *px = pixels[i];
    px->cloudReady[0] = density[i];
    px->cloudReady[1] = shadowedAt[i] ? density[shadow++] : 0.0f;
    px->cloudReadyCount = shadowedAt[i] ? 2 : 1;
    const float cover = ClampF(px->cloudReady[0] * row->run->cloudEdgeGain, 0.0f, 1.0f);
    if (cover > 0.0f && px->day && row->isLit) {
      for (int c = 0; c < 3; c++) points[3 * lit + c] = px->lightSidePoint[c];
      coriolisOf[lit] = coriolisOfPixel[i];
      axisDotOf[lit] = px->axisDot;
      pixelOf[lit++] = px;
    }
  }
  if (lit == 0) return;
  GroupedDensities(row, axisDotOf, coriolisOf, points, lit, density, scratch);
  for (int32_t i = 0; i < lit; i++) {
    pixelOf[i]->cloudLightSide = density[i];
    pixelOf[i]->cloudLightSideReady = true;
  }
}
