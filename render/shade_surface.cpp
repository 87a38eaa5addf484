// shade_surface.cpp -- stages 4 to 7 of the shader: the coastline, the sea, the land colour (or
// the hypsometric ramp) and the city lights.
//
// The coast is anti-aliased by cell coverage: the pixel is the square between the heights of
// this pixel, its left neighbour and the two pixels above them (kept in the row buffer), and the
// part of that square above the sea level is the pixel's land fraction. Sea ice uses the same
// construction on an ice value that grows toward the poles.
//
// The hypsometric mode replaces the land colour by bands 0.03 high and draws contour lines: each
// height cell whose corners span a band boundary lays a marching-squares segment at the highest
// boundary it crosses, and the segment's length is spread over the contour accumulators of the
// cell's four corners. A pixel darkens by what its accumulator gathered.
#include <emmintrin.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "foundation/colour.h"
#include "foundation/fast_math.h"
#include "foundation/random.h"
#include "render/coverage.h"
#include "render/fractal_sum.h"
#include "render/noise.h"
#include "render/shade_internal.h"
#include "render/shader.h"

namespace {

// The band of a corner height: 0 for a missing corner, else floor-like steps of 0.03 above the
// sea level, with heights exactly on a negative boundary falling one band lower. Heights of any
// planet lie within a few hundred bands; the level is held to +-2^20 so that the band
// arithmetic below cannot overflow whatever an unchecked parameter does to the heights.
int32_t BandLevel(float v, float seaLevel) {
  if (v == kMissingCorner) return 0;
  const float x = (v - seaLevel) / 0.03f;
  const int32_t level = x >= 0.0f ? TruncateToInt32(x) : TruncateToInt32(x - 1.0f);
  constexpr int32_t kLimit = 1 << 20;
  return level < -kLimit ? -kLimit : (level > kLimit ? kLimit : level);
}

// R := R + (B - R) r, G := G + (R - G) r, B := B + (G - B) r, all from the values before.
void RotateChannelsBackward(float c[3], float r) {
  const float red = c[0], green = c[1], blue = c[2];
  c[0] = red + (blue - red) * r;
  c[1] = green + (red - green) * r;
  c[2] = blue + (green - blue) * r;
}

// R := R + (G - R) r, G := G + (B - G) r, B := B + (R - B) r, all from the values before.
void RotateChannelsForward(float c[3], float r) {
  const float red = c[0], green = c[1], blue = c[2];
  c[0] = red + (green - red) * r;
  c[1] = green + (blue - green) * r;
  c[2] = blue + (red - blue) * r;
}

// Three floats into the low lanes of a register (the fourth zero), and back.
inline __m128 LoadThree(const float v[3]) {
  const __m128 low = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(v)));
  return _mm_movelh_ps(low, _mm_load_ss(v + 2));
}

inline void StoreThree(float v[3], __m128 x) {
  _mm_storel_pi(reinterpret_cast<__m64 *>(v), x);
  _mm_store_ss(v + 2, _mm_movehl_ps(x, x));
}

constexpr float kLandLacunarity = 4.0f;
constexpr float kLandOctaves = 2.0f;

// The land texture point before its warp: the sphere point, shifted by the relief's first value,
// at the land noise scale.
void LandTexturePoint(const ShadeRow *row, const ShadePixel *px, float texture[3]) {
  const float s = row->landNoiseScale;
  texture[0] = s * (px->n[0] + px->firstValue);
  texture[1] = s * px->n[1];
  texture[2] = s * px->n[2];
}

// The warp by one noise value, and the lift by the relief.
void WarpLandTexturePoint(const ShadeRow *row, const ShadePixel *px, float warp, float texture[3]) {
  const float s = row->landNoiseScale;
  texture[1] += s * warp;
  texture[2] += s * 1.333333f * px->landHeight;
}

}  // namespace

float LandLightLevel(const ShadeRow *row, const ShadePixel *px) {
  if (!row->lunarClimate) return px->shade;
  if (!(px->shade > 0.0f || row->isMap)) return 0.0f;
  const float dark = 1.0f - px->shade;
  return 1.0f - dark * dark * dark;
}

// ---- The land noise of a row ----------------------------------------------------------------------

// Stage 5's noise for many pixels: their warps in one batch, then the octave points of all the
// warped texture points in another.
//
// The land texture's sum has two terms (kLandOctaves is whole: the first point and one step),
// so each pixel's work is a handful of operations, and four pixels go through it at a time in
// the lanes of SSE registers, each lane taking the scalar form's operations in its order: the
// texture point (LandTexturePoint), its warp (WarpLandTexturePoint), the two octave points (the
// second the first times the lacunarity), and the sum and side sum as SumFractal adds them,
// (v0 + v1 w1) and (0 + v1 w1'), with the weights of term 1. The lanes are turned into one
// register per pixel only to store the points and the sums. A last group of fewer than four
// fills its spare lanes with a blank pixel, whose points lie past the batch's (the noise never
// reads them) and whose results nobody reads.
static_assert(kLandOctaves == 2.0f, "BatchLandNoise makes sums of two terms");
static_assert(offsetof(ShadePixel, landFirst) == offsetof(ShadePixel, landNoiseSum) + sizeof(float) &&
                  offsetof(ShadePixel, landSideSum) == offsetof(ShadePixel, landFirst) + sizeof(float),
              "BatchLandNoise stores the land sums together");
static_assert(3 * (kRowBatchColumns + 4) <= 3 * kRowNoiseCapacity, "a batch's spare lanes fit the scratch");
void BatchLandNoise(ShadeRow *row, ShadePixel *const *pixels, int32_t count, RowNoiseScratch *scratch) {
  RunState *run = row->run;
  FractalWeights weights;
  MakeFractalWeights(run->reliefGain * 0.9f, 2, &weights);
  const float s = row->landNoiseScale;
  const __m128 vs = _mm_set1_ps(s), lift = _mm_set1_ps(s * 1.333333f), l = _mm_set1_ps(kLandLacunarity);
  const __m128 w1 = _mm_set1_ps(weights.w[1][0]), w1Side = _mm_set1_ps(weights.w[1][2]);
  const __m128 zero = _mm_setzero_ps();
  constexpr int32_t kGroups = kRowBatchColumns / 4;
  // The texture points of a batch before the warp, component by component, four pixels to a
  // register; the batch's pixels, a last group's spare lanes pointing at the blank.
  __m128 texture[kGroups][3];
  ShadePixel *list[kRowBatchColumns + 3];
  ShadePixel blank;
  if (count % 4 != 0) std::memset(&blank, 0, sizeof blank);
  for (int32_t base = 0; base < count; base += kRowBatchColumns) {
    const int32_t n = count - base < kRowBatchColumns ? count - base : kRowBatchColumns;
    const int32_t groups = (n + 3) / 4;
    for (int32_t i = 0; i < n; i++) list[i] = pixels[base + i];
    for (int32_t i = n; i < 4 * groups; i++) list[i] = &blank;
    float *points = scratch->points;
    float *values = scratch->values;
    for (int32_t g = 0; g < groups; g++) {
      ShadePixel *const *px = list + 4 * g;
      __m128 r[4] = {_mm_loadu_ps(px[0]->n), _mm_loadu_ps(px[1]->n), _mm_loadu_ps(px[2]->n), _mm_loadu_ps(px[3]->n)};
      _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
      const __m128 first = _mm_setr_ps(px[0]->firstValue, px[1]->firstValue, px[2]->firstValue, px[3]->firstValue);
      __m128 t[4] = {_mm_mul_ps(vs, _mm_add_ps(r[0], first)), _mm_mul_ps(vs, r[1]), _mm_mul_ps(vs, r[2]), zero};
      for (int k = 0; k < 3; k++) texture[g][k] = t[k];
      _MM_TRANSPOSE4_PS(t[0], t[1], t[2], t[3]);
      // Each store's fourth float is overwritten by the next, or lies past the batch's points.
#pragma GCC unroll 4
      for (int j = 0; j < 4; j++) _mm_storeu_ps(points + 3 * (4 * g + j), t[j]);
    }
    GradientNoise3Many(&run->noiseTables, points, values, n);
    // The warped points and their second octaves, (x y z, 4x 4y 4z) per pixel; the warps stay
    // in the values, which only the next batch overwrites.
    for (int32_t g = 0; g < groups; g++) {
      ShadePixel *const *px = list + 4 * g;
      const __m128 height = _mm_setr_ps(px[0]->landHeight, px[1]->landHeight, px[2]->landHeight, px[3]->landHeight);
      const __m128 warp = _mm_loadu_ps(values + 4 * g);
      __m128 a[4] = {texture[g][0], _mm_add_ps(texture[g][1], _mm_mul_ps(vs, warp)),
                     _mm_add_ps(texture[g][2], _mm_mul_ps(lift, height)), zero};
      a[3] = _mm_mul_ps(a[0], l);
      const __m128 y1 = _mm_mul_ps(a[1], l), z1 = _mm_mul_ps(a[2], l);
      _MM_TRANSPOSE4_PS(a[0], a[1], a[2], a[3]);
      const __m128 low = _mm_unpacklo_ps(y1, z1), high = _mm_unpackhi_ps(y1, z1);
      const __m128 tail[4] = {low, _mm_movehl_ps(low, low), high, _mm_movehl_ps(high, high)};
#pragma GCC unroll 4
      for (int j = 0; j < 4; j++) {
        float *out = points + 6 * (4 * g + j);
        _mm_storeu_ps(out, a[j]);
        _mm_storel_pi(reinterpret_cast<__m64 *>(out + 4), tail[j]);
      }
    }
    GradientNoise3Many(&run->noiseTables, points, values, 2 * n);
    for (int32_t g = 0; g < groups; g++) {
      ShadePixel *const *px = list + 4 * g;
      // Pixel j's two values at 2j and 2j + 1.
      const __m128 lo = _mm_loadu_ps(values + 8 * g), hi = _mm_loadu_ps(values + 8 * g + 4);
      const __m128 v0 = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
      const __m128 v1 = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
      __m128 r[4] = {_mm_add_ps(v0, _mm_mul_ps(v1, w1)), v0, _mm_add_ps(zero, _mm_mul_ps(v1, w1Side)), zero};
      _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
#pragma GCC unroll 4
      for (int j = 0; j < 4; j++) {
        _mm_storel_pi(reinterpret_cast<__m64 *>(&px[j]->landNoiseSum), r[j]);
        _mm_store_ss(&px[j]->landSideSum, _mm_movehl_ps(r[j], r[j]));
        px[j]->landReady = true;
      }
    }
  }
}

// ---- Contour lines ------------------------------------------------------------------------------

void AccumulateContourSegment(float x0, float y0, float x1, float y1, PluginGlobals *globals, int32_t column,
                              int32_t p, int32_t q, float weight) {
  float *left = static_cast<float *>(globals->buffers[kBufferRow]) + int64_t(column) * kPixelRecordFloats;
  float *right = left + kPixelRecordFloats;
  const float length = FastSqrtF((y0 - y1) * (y0 - y1) + (x0 - x1) * (x0 - x1)) * weight;
  const float mx = (x0 + x1) * 0.5f;
  const float my = (y0 + y1) * 0.5f;
  left[kRecordContour + p] += length * (1.0f - mx) * (1.0f - my);
  right[kRecordContour + p] += length * mx * (1.0f - my);
  left[kRecordContour + q] += length * (1.0f - mx) * my;
  right[kRecordContour + q] += length * mx * my;
}

void ContourCell(float tl, float tr, float bl, float br, float threshold, PluginGlobals *globals, int32_t column,
                 int32_t p, int32_t q, float weight) {
  const float standIn = float(double(br) + 0.00001);
  if (tl == kMissingCorner) tl = standIn;
  if (tr == kMissingCorner) tr = standIn;
  if (bl == kMissingCorner) bl = standIn;
  const float t = threshold;
  int32_t code = (tl >= t) + 2 * (tr >= t) + 4 * (bl >= t) + 8 * (br >= t);
  if (code == 15) code = (tl > t) + 2 * (tr > t) + 4 * (bl > t) + 8 * (br > t);

  // Where the straight line between two corners meets t, in cell coordinates.
  auto xTop = [&] { return (t - tl) / (tr - tl); };
  auto xBottom = [&] { return (t - bl) / (br - bl); };
  auto yLeft = [&] { return (t - tl) / (bl - tl); };
  auto yRight = [&] { return (t - tr) / (br - tr); };
  auto segment = [&](float x0, float y0, float x1, float y1) {
    AccumulateContourSegment(x0, y0, x1, y1, globals, column, p, q, weight);
  };
  switch (code) {
    case 1: case 14: segment(xTop(), 0.0f, 0.0f, yLeft()); break;
    case 2: case 13: segment(xTop(), 0.0f, 1.0f, yRight()); break;
    case 3: case 12: segment(0.0f, yLeft(), 1.0f, yRight()); break;
    case 4: case 11: segment(xBottom(), 1.0f, 0.0f, yLeft()); break;
    case 5: case 10: segment(xTop(), 0.0f, xBottom(), 1.0f); break;
    case 6:
      segment(xTop(), 0.0f, 1.0f, yRight());
      segment(xBottom(), 1.0f, 0.0f, yLeft());
      break;
    case 7: case 8: segment(xBottom(), 1.0f, 1.0f, yRight()); break;
    case 9:
      segment(xTop(), 0.0f, 0.0f, yLeft());
      segment(xBottom(), 1.0f, 1.0f, yRight());
      break;
    default: break;   // 0 and 15: no boundary crosses the cell
  }
}

// ---- Stage 4: coast and sea ---------------------------------------------------------------------

void ShadeCoastAndSea(ShadeRow *row, ShadePixel *px) {
  RunState *run = row->run;
  float *left = px->record - kPixelRecordFloats;
  float *self = px->record;
  const float seaLevel = run->seaLevelValue;

  px->landCover = CellCoverageQuick(left[kRecordPrevHeight], self[kRecordPrevHeight], row->prevHeight, px->height,
                             seaLevel);

  float ice, lit;
  if (px->seaReady) {
    ice = px->seaIce;
    lit = px->seaIceLight;
  } else {
    const float depth = ClampF((seaLevel - px->firstValue) * 400.0f, 0.0f, 255.0f) / 256.0f;
    for (int k = 0; k < 3; k++) {
      px->sea[k] = run->shallowSeaColour[k] + (run->deepSeaColour[k] - run->shallowSeaColour[k]) * depth;
    }
    if (!row->isMap) {
      const float g = ClampF(1.0f - (1.0f - Dot3(row->glint, px->n)) * 120.0f, 0.0f, 1.0f);
      const float glint = g * g * g * g * g * row->glintScale * 80.0f;
      for (int k = 0; k < 3; k++) px->sea[k] += glint;
    }
    ice = (px->axisDot * px->axisDot - 0.7f) * 8.0f + 2.0f * run->sideSum;
    lit = row->isLit ? (px->d > 0.0f ? px->d : 0.0f) : 1.0f;
  }

  const float cover = CellCoverageQuick(left[kRecordPrevIce], self[kRecordPrevIce], row->prevIce, ice, row->iceThreshold);
  px->seaIceCover = cover;
  left[kRecordPrevIce] = row->prevIce;
  row->prevIce = ice;
  // sea + (ice colour x lit - sea) x cover, the three channels in the lanes of one register.
  const __m128 sea = LoadThree(px->sea);
  const __m128 iceColour = _mm_mul_ps(LoadThree(row->seaIceColour), _mm_set1_ps(lit));
  StoreThree(px->sea, _mm_add_ps(sea, _mm_mul_ps(_mm_sub_ps(iceColour, sea), _mm_set1_ps(cover))));
}

// ---- Stage 5: land ------------------------------------------------------------------------------

void ShadeLand(ShadeRow *row, ShadePixel *px) {
  RunState *run = row->run;
  if (px->landShaded) {
    run->sideSum = px->landSideSum;
    return;
  }
  const float s = row->landNoiseScale;
  float f;
  if (px->landReady) {
    px->landNoise = px->landNoiseSum;
    f = px->landFirst;
    run->sideSum = px->landSideSum;
  } else {
    float texture[3];
    LandTexturePoint(row, px, texture);
    const float warp = GradientNoise3Tables(&run->noiseTables, texture[0], texture[1], texture[2]);
    WarpLandTexturePoint(row, px, warp, texture);
    px->landNoise = FractalNoise(texture, kLandLacunarity, kLandOctaves, run->reliefGain * 0.9f, &f, row->globals);
  }
  float *u = px->land;

  if (row->lunarClimate) {
    float tone;
    if (px->shade > 0.0f || row->isMap) {
      tone = px->reliefAltitude * 1.3f + 0.5f;
      px->lightLevel = LandLightLevel(row, px);
      px->landIce = 0.0f;
    } else {
      tone = row->prevTone;
      px->lightLevel = 0.0f;
      px->landIce = row->prevLandIce;
    }
    row->prevTone = tone;
    row->prevLandIce = px->landIce;
    for (int k = 0; k < 3; k++) u[k] = row->landColour[k] * tone;
  } else {
    const float a2 = px->axisDot * px->axisDot;
    const float fs = f * s;
    // Desert toward the equator and in craters.
    const float m = ClampF((s * px->landNoise - a2 + row->desertBias) * 4.0f + 15.0f * px->decal, 0.0f, 1.0f);
    for (int k = 0; k < 3; k++) u[k] = row->landColour[k] + (row->desertColour[k] - row->landColour[k]) * m;
    // Saturation: duller toward the poles, richer on high ground.
    const float k2 = ClampF(a2 - 0.6f, 0.0f, 2.0f);
    const float v = ClampF(1.0f + 10.0f * px->landHeight - 2.0f * k2 + 20.0f * px->decal, 0.5f, 1.3f);
    const float y = 0.3f * u[0] + 0.5f * u[1] + 0.2f * u[2];
    for (int k = 0; k < 3; k++) u[k] = y + (u[k] - y) * v;
    // Darkening by height, latitude and texture.
    const float darken = ClampF((px->landHeight + px->decal) * 0.3f + k2 + (fs >= 0.0f ? fs : -3.0f * fs) + run->sideSum,
                                -1.0f, 0.65f);
    for (int k = 0; k < 3; k++) u[k] *= 1.0f - darken;
    RotateChannelsBackward(u, px->firstValue * (1.0f - px->landHeight));
    // Polar ice on land.
    px->landIce = ClampF((a2 - 0.7f) * 8.0f + 8.0f * px->landHeight - row->iceThreshold, 0.0f, 1.0f);
    for (int k = 0; k < 3; k++) u[k] += (row->iceColour[k] - u[k]) * px->landIce;
    RotateChannelsForward(u, run->sideSum * (1.0f - m));
    px->lightLevel = LandLightLevel(row, px);
  }
  for (int k = 0; k < 3; k++) {
    if (u[k] < 0.0f) u[k] = 0.0f;
  }
}

// ---- Stage 5 for a batch of pixels --------------------------------------------------------------

namespace {

// a where the mask is set, b elsewhere.
inline __m128 Select(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }

// ClampF in lanes: v < lo gives lo, else v > hi gives hi, else v (NaN stays NaN).
inline __m128 ClampLanes(__m128 v, __m128 lo, __m128 hi) {
  return Select(_mm_cmplt_ps(v, lo), lo, Select(_mm_cmpgt_ps(v, hi), hi, v));
}

inline __m128 Splat(float v) { return _mm_set1_ps(v); }

}  // namespace

// ShadeLand's colour without the moon's climate for pixels whose land noise is ready, four at a
// time: each lane takes the scalar form's operations in its order, both sides of every clamp and
// choice computed and the lane's picked. The pixel's stage 5 then only hands on its side sum.
//
// A pixel's colour is a long chain of dependent steps; one pixel at a time, each step waits for
// the one before, while four pixels in lanes take the chain once.
static_assert(offsetof(ShadePixel, lightLevel) == offsetof(ShadePixel, land) + 3 * sizeof(float) &&
                  offsetof(ShadePixel, landIce) == offsetof(ShadePixel, landNoise) + sizeof(float),
              "ShadeLandMany stores the colour with the light level and the noise with the ice");
void ShadeLandMany(ShadeRow *row, ShadePixel *const *pixels, int32_t count) {
  if (row->lunarClimate) return;
  const float s = row->landNoiseScale;
  const __m128 zero = _mm_setzero_ps(), one = Splat(1.0f), vs = Splat(s);
  for (int32_t i = 0; i + 4 <= count; i += 4) {
    ShadePixel *const *px = pixels + i;
    if (!px[0]->landReady || !px[1]->landReady || !px[2]->landReady || !px[3]->landReady) continue;
    auto gather = [px](float ShadePixel::*field) {
      return _mm_setr_ps(px[0]->*field, px[1]->*field, px[2]->*field, px[3]->*field);
    };
    const __m128 axisDot = gather(&ShadePixel::axisDot), noise = gather(&ShadePixel::landNoiseSum);
    const __m128 f = gather(&ShadePixel::landFirst), decal = gather(&ShadePixel::decal);
    const __m128 lh = gather(&ShadePixel::landHeight), side = gather(&ShadePixel::landSideSum);
    const __m128 first = gather(&ShadePixel::firstValue);

    const __m128 a2 = _mm_mul_ps(axisDot, axisDot);
    const __m128 fs = _mm_mul_ps(f, vs);
    // Desert toward the equator and in craters.
    const __m128 m = ClampLanes(
        _mm_add_ps(_mm_mul_ps(_mm_add_ps(_mm_sub_ps(_mm_mul_ps(vs, noise), a2), Splat(row->desertBias)), Splat(4.0f)),
                   _mm_mul_ps(Splat(15.0f), decal)),
        zero, one);
    __m128 u[3];
    for (int k = 0; k < 3; k++) {
      u[k] = _mm_add_ps(Splat(row->landColour[k]), _mm_mul_ps(Splat(row->desertColour[k] - row->landColour[k]), m));
    }
    // Saturation.
    const __m128 k2 = ClampLanes(_mm_sub_ps(a2, Splat(0.6f)), zero, Splat(2.0f));
    const __m128 v = ClampLanes(_mm_add_ps(_mm_sub_ps(_mm_add_ps(one, _mm_mul_ps(Splat(10.0f), lh)), _mm_mul_ps(Splat(2.0f), k2)),
                                           _mm_mul_ps(Splat(20.0f), decal)),
                                Splat(0.5f), Splat(1.3f));
    const __m128 y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Splat(0.3f), u[0]), _mm_mul_ps(Splat(0.5f), u[1])),
                                _mm_mul_ps(Splat(0.2f), u[2]));
    for (int k = 0; k < 3; k++) u[k] = _mm_add_ps(y, _mm_mul_ps(_mm_sub_ps(u[k], y), v));
    // Darkening.
    const __m128 texture = Select(_mm_cmpge_ps(fs, zero), fs, _mm_mul_ps(Splat(-3.0f), fs));
    const __m128 darken = ClampLanes(
        _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_add_ps(lh, decal), Splat(0.3f)), k2), texture), side),
        Splat(-1.0f), Splat(0.65f));
    const __m128 keep = _mm_sub_ps(one, darken);
    for (int k = 0; k < 3; k++) u[k] = _mm_mul_ps(u[k], keep);
    // RotateChannelsBackward by firstValue (1 - landHeight).
    __m128 r = _mm_mul_ps(first, _mm_sub_ps(one, lh));
    __m128 c0 = _mm_add_ps(u[0], _mm_mul_ps(_mm_sub_ps(u[2], u[0]), r));
    __m128 c1 = _mm_add_ps(u[1], _mm_mul_ps(_mm_sub_ps(u[0], u[1]), r));
    __m128 c2 = _mm_add_ps(u[2], _mm_mul_ps(_mm_sub_ps(u[1], u[2]), r));
    // Polar ice on land.
    const __m128 ice = ClampLanes(_mm_sub_ps(_mm_add_ps(_mm_mul_ps(_mm_sub_ps(a2, Splat(0.7f)), Splat(8.0f)),
                                                        _mm_mul_ps(Splat(8.0f), lh)),
                                             Splat(row->iceThreshold)),
                                  zero, one);
    c0 = _mm_add_ps(c0, _mm_mul_ps(_mm_sub_ps(Splat(row->iceColour[0]), c0), ice));
    c1 = _mm_add_ps(c1, _mm_mul_ps(_mm_sub_ps(Splat(row->iceColour[1]), c1), ice));
    c2 = _mm_add_ps(c2, _mm_mul_ps(_mm_sub_ps(Splat(row->iceColour[2]), c2), ice));
    // RotateChannelsForward by sideSum (1 - m), then no channel below 0.
    r = _mm_mul_ps(side, _mm_sub_ps(one, m));
    u[0] = _mm_add_ps(c0, _mm_mul_ps(_mm_sub_ps(c1, c0), r));
    u[1] = _mm_add_ps(c1, _mm_mul_ps(_mm_sub_ps(c2, c1), r));
    u[2] = _mm_add_ps(c2, _mm_mul_ps(_mm_sub_ps(c0, c2), r));
    // Per pixel (colour, light level) and (noise, ice), the fields' order in the pixel.
    __m128 out[4];
    for (int k = 0; k < 3; k++) out[k] = Select(_mm_cmplt_ps(u[k], zero), zero, u[k]);
    out[3] = gather(&ShadePixel::shade);
    _MM_TRANSPOSE4_PS(out[0], out[1], out[2], out[3]);
    const __m128 low = _mm_unpacklo_ps(noise, ice), high = _mm_unpackhi_ps(noise, ice);
    const __m128 noiseIce[4] = {low, _mm_movehl_ps(low, low), high, _mm_movehl_ps(high, high)};
#pragma GCC unroll 4
    for (int j = 0; j < 4; j++) {
      ShadePixel *p = px[j];
      _mm_storeu_ps(p->land, out[j]);
      _mm_storel_pi(reinterpret_cast<__m64 *>(&p->landNoise), noiseIce[j]);
      p->landShaded = true;
    }
  }
}

// Stage 4's terms that need no neighbour, four pixels at a time in the scalar form's order: the
// sea colour by depth, the glint, the ice value and the light on the ice. Only the two coverages
// read the row above and the pixel to the left, and those stay with ShadeCoastAndSea. A last
// group of fewer than four repeats its last pixel in the spare lanes and stores only its own.
// The lanes are turned into one register per pixel to store: (sea, ice) and (ice, light).
static_assert(offsetof(ShadePixel, seaIceLight) == offsetof(ShadePixel, seaIce) + sizeof(float),
              "ShadeSeaMany stores the ice value and its light together");
void ShadeSeaMany(ShadeRow *row, ShadePixel *const *pixels, int32_t count) {
  const RunState *run = row->run;
  const __m128 zero = _mm_setzero_ps(), one = Splat(1.0f);
  __m128 shallow[3], step[3], glint[3];
  for (int k = 0; k < 3; k++) {
    shallow[k] = Splat(run->shallowSeaColour[k]);
    step[k] = Splat(run->deepSeaColour[k] - run->shallowSeaColour[k]);
    glint[k] = Splat(row->glint[k]);
  }
  const __m128 seaLevel = Splat(run->seaLevelValue), glintScale = Splat(row->glintScale);
  const bool isMap = row->isMap, isLit = row->isLit;
  for (int32_t i = 0; i < count; i += 4) {
    ShadePixel *last[4];
    ShadePixel *const *px = pixels + i;
    const int32_t lanes = count - i < 4 ? count - i : 4;
    if (lanes < 4) {
      for (int j = 0; j < 4; j++) last[j] = pixels[i + j < count ? i + j : count - 1];
      px = last;
    }
    auto gather = [px](float ShadePixel::*field) {
      return _mm_setr_ps(px[0]->*field, px[1]->*field, px[2]->*field, px[3]->*field);
    };
    const __m128 first = gather(&ShadePixel::firstValue);
    const __m128 depth =
        _mm_div_ps(ClampLanes(_mm_mul_ps(_mm_sub_ps(seaLevel, first), Splat(400.0f)), zero, Splat(255.0f)),
                   Splat(256.0f));
    __m128 sea[4];
    for (int k = 0; k < 3; k++) sea[k] = _mm_add_ps(shallow[k], _mm_mul_ps(step[k], depth));
    if (!isMap) {
      __m128 n[4] = {_mm_loadu_ps(px[0]->n), _mm_loadu_ps(px[1]->n), _mm_loadu_ps(px[2]->n), _mm_loadu_ps(px[3]->n)};
      _MM_TRANSPOSE4_PS(n[0], n[1], n[2], n[3]);
      const __m128 dot =
          _mm_add_ps(_mm_add_ps(_mm_mul_ps(glint[0], n[0]), _mm_mul_ps(glint[1], n[1])), _mm_mul_ps(glint[2], n[2]));
      const __m128 g = ClampLanes(_mm_sub_ps(one, _mm_mul_ps(_mm_sub_ps(one, dot), Splat(120.0f))), zero, one);
      const __m128 g5 = _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(_mm_mul_ps(g, g), g), g), g);
      const __m128 lift = _mm_mul_ps(_mm_mul_ps(g5, glintScale), Splat(80.0f));
      for (int k = 0; k < 3; k++) sea[k] = _mm_add_ps(sea[k], lift);
    }
    const __m128 axisDot = gather(&ShadePixel::axisDot);
    const __m128 ice = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_mul_ps(axisDot, axisDot), Splat(0.7f)), Splat(8.0f)),
                                  _mm_mul_ps(Splat(2.0f), gather(&ShadePixel::terrainSideSum)));
    __m128 lit = one;
    if (isLit) {
      const __m128 d = gather(&ShadePixel::d);
      lit = Select(_mm_cmpgt_ps(d, zero), d, zero);
    }
    sea[3] = ice;
    _MM_TRANSPOSE4_PS(sea[0], sea[1], sea[2], sea[3]);
    const __m128 iceLow = _mm_unpacklo_ps(ice, lit), iceHigh = _mm_unpackhi_ps(ice, lit);
    const __m128 iceLit[4] = {iceLow, _mm_movehl_ps(iceLow, iceLow), iceHigh, _mm_movehl_ps(iceHigh, iceHigh)};
#pragma GCC unroll 4
    for (int j = 0; j < 4; j++) {
      if (j >= lanes) break;
      ShadePixel *p = px[j];
      StoreThree(p->sea, sea[j]);
      _mm_storel_pi(reinterpret_cast<__m64 *>(&p->seaIce), iceLit[j]);
      p->seaReady = true;
    }
  }
}

// ---- Stage 6: hypsometric ramp and contours -----------------------------------------------------

void ShadeContours(ShadeRow *row, ShadePixel *px) {
  RunState *run = row->run;
  const float seaLevel = run->seaLevelValue;
  const float *left = px->record - kPixelRecordFloats;
  float tl = left[kRecordPrevHeight];
  float tr = px->record[kRecordPrevHeight];
  float bl = row->prevHeight;
  float br = px->height;
  if (px->column == 0) {
    bl = br;
    tl = tr;
  }
  if (px->column == row->targetWidth - 1) {
    br = bl;
    tr = tl;
  }
  if (row->row == 0) {
    // The row above the first has no heights: its corners take the values below them.
    tl = bl;
    tr = br;
  }

  const int32_t levels[4] = {BandLevel(tl, seaLevel), BandLevel(tr, seaLevel), BandLevel(bl, seaLevel),
                             BandLevel(br, seaLevel)};
  int32_t hi = levels[0], lo = levels[0];
  for (int k = 1; k < 4; k++) {
    if (levels[k] > hi) hi = levels[k];
    if (levels[k] < lo) lo = levels[k];
  }
  const int32_t band = lo + 1;

  float hue, saturation, value, blend;
  if (band >= 1) {
    hue = 0.12222222f;
    saturation = float(band + 1) * 0.04f;
    if (saturation > 0.7f) saturation = 0.7f;
    value = 0.7f - float(band) * 0.006f;
    blend = 0.3f;
  } else {
    const int32_t j = 1 - band;
    hue = 0.666666f;
    saturation = float(j + 2) * 0.029f;
    value = 0.7f - float(j) * 0.015f;
    blend = 0.0f;
  }
  const float soft = saturation / (1.0f + saturation);
  float sat = soft + (saturation - soft) * blend;

  const int32_t p = row->parity, q = 1 - row->parity;
  if (hi != lo) {
    ContourCell(tl, tr, bl, br, float(hi) * 0.03f + seaLevel, row->globals, px->column, p, q, 1.0f);
  }
  float a = left[kRecordContour + p];
  if (a > 1.0f) a = 1.0f;
  if (a > 0.0f) {
    value *= 1.0f - 0.25f * a;
    sat += (1.0f - sat) * 0.08f * a;
  }
  float rgb[3];
  HslToRgbPerceptual(hue, sat, value, &rgb[0], &rgb[1], &rgb[2]);
  const float scale = float(row->channelMax) * row->contourGain;
  for (int k = 0; k < 3; k++) px->land[k] = rgb[k] * scale;
  px->lightLevel = px->shade;
  px->landIce = 0.0f;
  px->landNoise = 0.0f;
}

// ---- Stage 7: blend and cities ------------------------------------------------------------------

void ShadeBlendAndCities(ShadeRow *row, ShadePixel *px) {
  // The pixel keeps its unlit land and sea colours (the tests' output tap reads them).
  float u[3] = {px->land[0], px->land[1], px->land[2]};
  float sea[3] = {px->sea[0], px->sea[1], px->sea[2]};
  if (row->isLit) {
    const float l = px->lightLevel;
    const float dl = px->d > 0.0f ? px->d : 0.0f;
    for (int k = 0; k < 3; k++) {
      u[k] *= l;
      sea[k] *= dl;
    }
  }
  if (row->mode == 5 || row->mode == 13) {
    for (int k = 0; k < 3; k++) px->colour[k] = u[k];
  } else {
    for (int k = 0; k < 3; k++) px->colour[k] = (sea[k] + (u[k] - sea[k]) * px->landCover) * px->factor[k];
  }
  if (row->mode == 11) px->lightFactor = 0.5f;

  if (row->citiesOn && px->lightFactor < 0.7f && px->landIce == 0.0f && px->landCover > 0.0f) {
    const float b = (px->raw - row->run->seaLevelValue) * 4.0f;
    const float u1 = 1.0f - b;
    if (u1 > 0.0f && u1 < 1.0f) {
      const float polar = px->polarTerm * px->polarTerm;
      const float chance = (row->run->sideSum + 0.18f) * std::fabs(10.0f * px->landNoise) * 200.0f * row->cities *
                               0.03f * polar * (u1 * u1) -
                           2.0f;
      if (chance > float(px->randomByte)) {
        const float dark = 1.0f - px->lightFactor;
        const float brightness = float((NextRandomOf(&row->run->cityLightState) & 63) + 10);
        for (int k = 0; k < 3; k++) {
          px->cityLight[k] = row->cityColour[k] * brightness * (dark * dark) * 0.03f;
          px->colour[k] += px->cityLight[k];
        }
      }
    }
  }
}
