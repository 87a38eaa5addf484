// edge_modes.cpp -- edge rules, derivative correction, level selection, bilinear samples and 2x
// magnifiers.
#include "imagestore/edge_modes.h"

#include <bit>
#include <cmath>

#include "imagestore/pixel_access.h"

namespace {

float Clamp01(float t) {
  if (!(t > 0.0f)) return 0.0f;  // also NaN
  return t < 1.0f ? t : 1.0f;
}

// The fraction of t, rounding toward minus infinity; 1 folds onto 0 and a value that is not
// finite counts as 0.
float Wrap01(float t) {
  if (!std::isfinite(t)) return 0.0f;
  float r = t - std::floor(t);
  return r < 1.0f ? r : 0.0f;
}

float Overshoot(float t, float top) {
  if (t < 0.0f) return -t;
  if (t > top) return t - top;
  return 0.0f;
}

// One derivative brought into -0.5..0.5 by one step of 1.
float WrapStep(float d) {
  if (d > 0.5f) return d - 1.0f;
  if (d < -0.5f) return d + 1.0f;
  return d;
}

// A difference of two positions taken the shorter way round.
float ShortDistance(float a, float b) {
  float d = std::fabs(a - b);
  return d > 0.5f ? 1.0f - d : d;
}

// Mean of the two neighbours' larger axes, in level-0 pixels.
float Footprint(float ua, float va, float ub, float vb, float u, float v, const TiledMipImage *image) {
  const float w = float(image->levelWidth[0]), h = float(image->levelHeight[0]);
  const float a = std::fmax(ShortDistance(ua, u) * w, ShortDistance(va, v) * h);
  const float b = std::fmax(ShortDistance(ub, u) * w, ShortDistance(vb, v) * h);
  return (a + b) * 0.5f;
}

// Quick log2 for f > 1: exponent + mantissa fraction, bent by a parabola.
float Log2Approx(float f) {
  if (!(f > 1.0f)) return 0.0f;
  const uint32_t bits = std::bit_cast<uint32_t>(f);
  const float exponent = float((bits >> 23) & 0xFF);
  const float m = float(bits & 0x7FFFFF) * (1.0f / 8388608.0f);
  return exponent - 126.9f + m - 0.4f * (m - 0.5f) * (m - 0.5f);
}

float LevelFromFootprint(float footprint, const TiledMipImage *image) {
  float level = Log2Approx(footprint);
  const float top = float(image->coarsestLevel);
  return level < top ? level : top;
}

// Channels of the pixel at the clamped point as floats; false for a format without four.
bool Pixel4(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, float c[4]) {
  int32_t v[4] = {0, 0, 0, 0};
  switch (image->storageFormat) {
    case kFormatPacked8:
    case kFormatRgba16:
    case kFormatSlope16:
      GetPixel4(x, y, image, level, &v[0], &v[1], &v[2], &v[3]);
      for (int i = 0; i < 4; ++i) c[i] = float(v[i]);
      return true;
    case kFormatRgbaF32:
      GetPixel4(x, y, image, level, &v[0], &v[1], &v[2], &v[3]);
      for (int i = 0; i < 4; ++i) c[i] = std::bit_cast<float>(v[i]);
      return true;
    default:
      return false;
  }
}

// floor of a pixel position kept where it can be converted: beyond one pixel outside the level
// both neighbours are edge pixels anyway. NaN counts as 0.
int32_t FloorWithin(float x, int32_t size, float *fraction) {
  if (x != x) x = 0.0f;
  if (x < -1.0f) x = -1.0f;
  if (x > float(size)) x = float(size);
  const float f = std::floor(x);
  *fraction = x - f;
  return int32_t(f);
}

int32_t Neighbour(int32_t i, int32_t size, bool wrap) {
  if (wrap && i + 1 >= size) return 0;
  return i + 1;
}

// Per-axis taps and weights of the smooth magnifier.
void SmoothAxis(int32_t coordinate, int32_t taps[3], int32_t weights[3]) {
  const int32_t i = coordinate >> 1;
  if ((coordinate & 1) == 0) {
    taps[0] = i - 1, taps[1] = i, taps[2] = i + 1;
    weights[0] = 1, weights[1] = 4, weights[2] = 1;
  } else {
    taps[0] = i, taps[1] = i + 1, taps[2] = i + 1;
    weights[0] = 3, weights[1] = 3, weights[2] = 0;
  }
}

bool Magnifiable(const TiledMipImage *image, int32_t level) {
  return image != nullptr && image->tiles != nullptr && level >= 0 && level <= image->coarsestLevel;
}

uint32_t Pack(const int32_t c[4]) {
  return uint32_t(c[0] & 255) << 24 | uint32_t(c[1] & 255) << 16 | uint32_t(c[2] & 255) << 8 | uint32_t(c[3] & 255);
}

}  // namespace

int32_t ApplyWrapMode(float u, float v, float *level, uint32_t mode, const TiledMipImage *image, float *uOut,
                      float *vOut) {
  *uOut = u;
  *vOut = v;
  if (u >= 0.0f && u <= 1.0f && v >= 0.0f && v < 1.0f) return 0;
  switch (mode) {
    case kWrapModeEmpty:
      return 1;
    case kWrapModeClampToCoarser: {
      float d = std::fmax(Overshoot(u, 1.0f), Overshoot(v, 1.0f));
      if (!(d < 1.0f)) d = 1.0f;
      *level = *level + (float(image->coarsestLevel) - *level) * d;
      *uOut = Clamp01(u);
      *vOut = Clamp01(v);
      return 0;
    }
    case kWrapModeWrapU:
      *uOut = Wrap01(u);
      *vOut = Clamp01(v);
      return 0;
    case kWrapModeWrapBoth:
    case kWrapModeWrapBothRaw:
      *uOut = Wrap01(u);
      *vOut = Wrap01(v);
      return 0;
    case kWrapModeSphere: {
      if (!std::isfinite(v)) v = 0.0f;
      const float whole = std::floor(v);
      float t = v - whole;
      if (std::fmod(whole, 2.0f) != 0.0f) {  // an odd turn: over the pole
        t = 1.0f - t;
        u = 0.5f - u;
      }
      *uOut = Wrap01(u);
      *vOut = t < 1.0f ? t : 0.0f;
      return 0;
    }
    default:
      *uOut = Clamp01(u);
      *vOut = Clamp01(v);
      return 0;
  }
}

void WrapDerivatives(WrapDerivativeRecord *r) {
  r->discontinuity = 0;
  const auto big = [](float d) { return std::fabs(d) > 0.5f; };
  switch (r->mode) {
    case kWrapModeWrapBoth:
      r->dudx = WrapStep(r->dudx);
      r->dvdx = WrapStep(r->dvdx);
      r->dudy = WrapStep(r->dudy);
      r->dvdy = WrapStep(r->dvdy);
      break;
    case kWrapModeWrapU:
    case kWrapModeSphere:
      r->dudx = WrapStep(r->dudx);
      r->dudy = WrapStep(r->dudy);
      if (big(r->dvdx) || big(r->dvdy)) r->discontinuity = 1;
      break;
    case kWrapModeWrapBothRaw:
      break;
    default:
      if (big(r->dudx) || big(r->dvdx) || big(r->dudy) || big(r->dvdy)) r->discontinuity = 1;
      break;
  }
  const float uFactor = r->width * r->scale, vFactor = r->height * r->scale;
  r->dudx *= uFactor;
  r->dudy *= uFactor;
  r->dvdx *= vFactor;
  r->dvdy *= vFactor;
}

int32_t SelectMipLevel(float ua, float va, float ub, float vb, float u, float v, const TiledMipImage *image,
                       float bias, MipLevelChoice *choice) {
  if (choice->hold == 1 || ua == -1.0f) {
    const float kept = choice->level;
    if (!(kept > 0.0f)) return 0;
    return kept < float(kMaxImageLevels - 1) ? int32_t(kept) : kMaxImageLevels - 1;
  }
  const float footprint = Footprint(ua, va, ub, vb, u, v, image);
  int32_t level = 0;
  if (footprint > 1.0f) {
    level = FloatExponent(footprint * (1.0f - bias * 0.5f));
    if (level > image->coarsestLevelMinus3) level = image->coarsestLevelMinus3;
    if (level < 0) level = 0;
  }
  choice->level = float(level);
  return level;
}

float SelectMipLevelF(float ua, float va, float ub, float vb, float u, float v, const TiledMipImage *image) {
  return LevelFromFootprint(Footprint(ua, va, ub, vb, u, v, image), image);
}

float SelectMipLevelFromFootprints(float uA, float vA, float uB, float vB, const TiledMipImage *image) {
  return LevelFromFootprint((std::fmax(uA, vA) + std::fmax(uB, vB)) * 0.5f, image);
}

// ---- Bilinear samples -------------------------------------------------------------------

void SampleBilinear4(const TiledMipImage *image, int32_t level, float x, float y, float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  if (!Magnifiable(image, level)) return;
  float fx, fy;
  const int32_t ix = FloorWithin(x, image->levelWidth[level], &fx);
  const int32_t iy = FloorWithin(y, image->levelHeight[level], &fy);
  float p00[4], p10[4], p01[4], p11[4];
  if (!Pixel4(image, level, ix, iy, p00)) return;
  Pixel4(image, level, ix + 1, iy, p10);
  Pixel4(image, level, ix, iy + 1, p01);
  Pixel4(image, level, ix + 1, iy + 1, p11);
  for (int c = 0; c < 4; ++c) {
    const float top = p00[c] + (p10[c] - p00[c]) * fx;
    const float bottom = p01[c] + (p11[c] - p01[c]) * fx;
    out[c] = top + (bottom - top) * fy;
  }
}

float SampleBilinearF32(const TiledMipImage *image, int32_t level, float x, float y) {
  if (!Magnifiable(image, level) || image->storageFormat != kFormatScalar32) return 0.0f;
  float fx, fy;
  const int32_t ix = FloorWithin(x, image->levelWidth[level], &fx);
  const int32_t iy = FloorWithin(y, image->levelHeight[level], &fy);
  const float p00 = GetPixelF32(ix, iy, image, level), p10 = GetPixelF32(ix + 1, iy, image, level);
  const float p01 = GetPixelF32(ix, iy + 1, image, level), p11 = GetPixelF32(ix + 1, iy + 1, image, level);
  const float top = p00 + (p10 - p00) * fx;
  const float bottom = p01 + (p11 - p01) * fx;
  return top + (bottom - top) * fy;
}

void SampleBilinearFixed(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, int32_t out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0;
  if (!Magnifiable(image, level)) return;
  const uint32_t format = image->storageFormat;
  if (format != kFormatPacked8 && format != kFormatRgba16 && format != kFormatSlope16) return;
  const int32_t ix = x >> 15, iy = y >> 15;
  const int64_t fx = x & 32767, fy = y & 32767;
  int32_t p[4][4] = {};
  const int32_t at[4][2] = {{ix, iy}, {ix + 1, iy}, {ix, iy + 1}, {ix + 1, iy + 1}};
  for (int i = 0; i < 4; ++i) GetPixel4(at[i][0], at[i][1], image, level, &p[i][0], &p[i][1], &p[i][2], &p[i][3]);
  for (int c = 0; c < 4; ++c) {
    const int64_t top = ((p[0][c] * (32768 - fx)) >> 15) + ((p[1][c] * fx) >> 15);
    const int64_t bottom = ((p[2][c] * (32768 - fx)) >> 15) + ((p[3][c] * fx) >> 15);
    out[c] = int32_t(((top * (32768 - fy)) >> 15) + ((bottom * fy) >> 15));
  }
}

void SampleBilinearAt(const TiledMipImage *image, int32_t level, float u, float v, float out[4]) {
  if (!Magnifiable(image, level)) {
    for (int c = 0; c < 4; ++c) out[c] = 0.0f;
    return;
  }
  SampleBilinear4(image, level, u * float(image->levelSampleWidth[level]) - 0.5f,
                  v * float(image->levelSampleHeight[level]) - 0.5f, out);
}

void SampleBilinearTrilinear(const TiledMipImage *image, float level, float frac, float u, float v,
                             float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  if (image == nullptr || image->tiles == nullptr) return;
  const int32_t top = image->coarsestLevel > 1 ? image->coarsestLevel - 1 : 0;
  const int32_t l = !(level > 0.0f) ? 0 : level >= float(top) ? top : int32_t(level);
  float a[4], b[4];
  SampleBilinearAt(image, l, u, v, a);
  SampleBilinearAt(image, l + 1, u, v, b);
  for (int c = 0; c < 4; ++c) out[c] = a[c] + (b[c] - a[c]) * frac;
}

// ---- 2x magnifiers ----------------------------------------------------------------------

uint32_t Magnify2xPacked8(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, bool wrap) {
  if (!Magnifiable(image, level)) return 0;
  const int32_t i = x >> 1, j = y >> 1;
  const int32_t i1 = (x & 1) ? Neighbour(i, image->levelWidth[level], wrap) : i;
  const int32_t j1 = (y & 1) ? Neighbour(j, image->levelHeight[level], wrap) : j;
  const int32_t count = ((x & 1) + 1) * ((y & 1) + 1);
  int32_t sum[4] = {0, 0, 0, 0}, c[4];
  const int32_t at[4][2] = {{i, j}, {i1, j}, {i, j1}, {i1, j1}};
  for (int t = 0; t < 4; ++t) {
    if ((t & 1) && !(x & 1)) continue;
    if ((t & 2) && !(y & 1)) continue;
    GetPixelPacked8(at[t][0], at[t][1], image, level, &c[0], &c[1], &c[2], &c[3]);
    for (int k = 0; k < 4; ++k) sum[k] += c[k];
  }
  for (int k = 0; k < 4; ++k) sum[k] /= count;
  return Pack(sum);
}

int32_t Magnify2xGray(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, bool wrap) {
  if (!Magnifiable(image, level)) return 0;
  const int32_t i = x >> 1, j = y >> 1;
  const int32_t i1 = (x & 1) ? Neighbour(i, image->levelWidth[level], wrap) : i;
  const int32_t j1 = (y & 1) ? Neighbour(j, image->levelHeight[level], wrap) : j;
  int64_t sum = GetPixel1(i, j, image, level);
  int32_t count = 1;
  if (x & 1) sum += GetPixel1(i1, j, image, level), ++count;
  if (y & 1) sum += GetPixel1(i, j1, image, level), ++count;
  if ((x & 1) && (y & 1)) sum += GetPixel1(i1, j1, image, level), ++count;
  return int32_t(sum / count);
}

uint32_t Magnify2xSmoothPacked8(const TiledMipImage *image, int32_t level, int32_t x, int32_t y) {
  if (!Magnifiable(image, level)) return 0;
  int32_t tx[3], wx[3], ty[3], wy[3];
  SmoothAxis(x, tx, wx);
  SmoothAxis(y, ty, wy);
  int32_t sum[4] = {0, 0, 0, 0}, c[4];
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      if (wx[i] * wy[j] == 0) continue;
      GetPixelPacked8(tx[i], ty[j], image, level, &c[0], &c[1], &c[2], &c[3]);
      for (int k = 0; k < 4; ++k) sum[k] += wx[i] * wy[j] * c[k];
    }
  }
  for (int k = 0; k < 4; ++k) sum[k] /= 36;
  return Pack(sum);
}

int32_t Magnify2xSmoothGray(const TiledMipImage *image, int32_t level, int32_t x, int32_t y) {
  if (!Magnifiable(image, level)) return 0;
  int32_t tx[3], wx[3], ty[3], wy[3];
  SmoothAxis(x, tx, wx);
  SmoothAxis(y, ty, wy);
  int64_t sum = 0;
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) {
      if (wx[i] * wy[j] != 0) sum += int64_t(wx[i] * wy[j]) * GetPixel1(tx[i], ty[j], image, level);
    }
  }
  return int32_t(sum / 36);
}
