// colour.cpp -- HSL conversions, the perceptual lightness remap and the highlight roll-off.
//
// The arithmetic is single precision except where a comment says otherwise; the order of the
// operations is part of the result (the render set-up and the shader depend on these bits).
#include "foundation/colour.h"

#include <emmintrin.h>

#include <climits>
#include <cmath>

#include "foundation/fast_math.h"

void RgbToHsl(float r, float g, float b, float *h, float *s, float *l) {
  float max = r, min = r;
  if (g > max) max = g;
  if (b > max) max = b;
  if (g < min) min = g;
  if (b < min) min = b;
  float hue = 0.0f, sat = 0.0f;
  float light = (max + min) / 2.0f;
  float delta = max - min;
  if (light > 0.0f && delta != 0.0f) {
    sat = light <= 0.5f ? delta / (max + min) : delta / (2.0f - max - min);
    float rd = (max - r) / delta;
    float gd = (max - g) / delta;
    float bd = (max - b) / delta;
    // The equality tests pick the sextant; max is tested against r first, then g.
    if (r == max) {
      hue = g == min ? 5.0f + bd : 1.0f - gd;
    } else if (g == max) {
      hue = b == min ? 1.0f + rd : 3.0f - bd;
    } else {
      hue = r == min ? 3.0f + gd : 5.0f - rd;
    }
    hue = hue * 0.16666667f;
  }
  *h = hue;
  *s = sat;
  *l = light;
}

// The colour of hue h between the channel levels m1 (lowest) and m2 (highest). A sextant above
// 5 (h = 1) is taken as 0. A negative hue, or NaN, has no sextant: false, and black.
static bool SextantColour(float h, float m1, float m2, float *r, float *g, float *b) {
  *r = *g = *b = 0.0f;
  if (!(h >= 0.0f)) return false;
  float h6 = h * 6.0f;
  float whole = truncf(h6);
  float f = h6 - whole;
  int sextant = whole > 5.0f ? 0 : int(whole);
  float v = (m2 - m1) * f;
  float down = m2 - v;
  float up = m1 + v;
  switch (sextant) {
    case 0: *r = m2; *g = up; *b = m1; break;
    case 1: *r = down; *g = m2; *b = m1; break;
    case 2: *r = m1; *g = m2; *b = up; break;
    case 3: *r = m1; *g = down; *b = m2; break;
    case 4: *r = up; *g = m1; *b = m2; break;
    default: *r = m2; *g = m1; *b = down; break;
  }
  return true;
}

void HslToRgb(float h, float s, float l, float *r, float *g, float *b) {
  float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
  if (m2 <= 0.0f) {
    *r = *g = *b = 0.0f;
    return;
  }
  float m1 = 2.0f * l - m2;
  SextantColour(h, m1, m2, r, g, b);
}

float HueLuminance(float h, float s) {
  float m2 = (s + 1.0f) / 2.0f;
  float m1 = 1.0f - m2;
  if (m2 <= 0.0f) return 0.0f;
  float r, g, b;
  SextantColour(h, m1, m2, &r, &g, &b);
  return float(0.52 * double(g) + 0.28 * double(r) + 0.2 * double(b));
}

void HslToRgbPerceptual(float h, float s, float l, float *r, float *g, float *b) {
  float c = HueLuminance(h, s);
  if (c < 0.0f) c = 0.0f;
  if (c > 1.0f) c = 1.0f;
  float mapped;
  if (l >= 1.0f) {
    mapped = 1.0f;
  } else if (l <= 0.0f) {
    mapped = 0.0f;
  } else if (l > c) {
    mapped = float((double(l) - double(c)) / (1.0 - double(c)) * 0.5 + 0.5);
  } else {
    mapped = float(double(l) / double(c) * 0.5);
  }
  HslToRgb(h, s, mapped, r, g, b);
}

void RollOffHighlights(float c[3]) {
  for (int i = 0; i < 3; i++) {
    if (c[i] < 0.0f) c[i] = 0.0f;
  }
  float m = c[0];
  if (c[1] > m) m = c[1];
  if (c[2] > m) m = c[2];
  if (!(m > 1.0f)) return;
  double ex[3];
  for (int i = 0; i < 3; i++) {
    double e = double(c[i]) - 1.0;
    ex[i] = e > 0.0 ? e : 0.0;
  }
  double e = 2.0 * (0.3 * ex[0] + 0.59 * ex[1] + 0.11 * ex[2]);
  float t = float(e < 1.0 ? e : 1.0);
  float k = 1.0f / m;
  for (int i = 0; i < 3; i++) {
    float v = c[i] * k;
    c[i] = v + (1.0f - v) * t;
  }
}

// The shader calls this for every pixel, and most pixels are no brighter than white: for them
// the three channels go through the conversions, the scales and the truncation side by side in
// the lanes of SSE registers, each lane rounding as the scalar form does. A colour with a channel
// above 1 takes the scalar form. No lane above 1 means the scalar form returns unchanged too:
// its brightest channel is one of the three (or NaN), and so not above 1.
//
// The truncation: cvttps gives INT32_MIN for NaN and for everything out of range, so the lanes at
// or above 2^31 (no float lies between 2147483647 and 2^31) take INT32_MAX and NaN takes 0, as
// TruncateToInt32 has them.
void RollOffHighlightsScaled(int32_t *r, int32_t *g, int32_t *b, float outScale, float inScale) {
  __m128 c = _mm_mul_ps(_mm_cvtepi32_ps(_mm_setr_epi32(*r, *g, *b, 0)), _mm_set1_ps(inScale));
  c = _mm_andnot_ps(_mm_cmplt_ps(c, _mm_setzero_ps()), c);
  if ((_mm_movemask_ps(_mm_cmpgt_ps(c, _mm_set1_ps(1.0f))) & 7) == 0) {
    const __m128 x = _mm_mul_ps(c, _mm_set1_ps(outScale));
    const __m128i high = _mm_castps_si128(_mm_cmpge_ps(x, _mm_set1_ps(2147483648.0f)));
    const __m128i number = _mm_castps_si128(_mm_cmpord_ps(x, x));
    __m128i v = _mm_cvttps_epi32(x);
    v = _mm_or_si128(_mm_andnot_si128(high, v), _mm_and_si128(high, _mm_set1_epi32(INT32_MAX)));
    alignas(16) int32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(out), _mm_and_si128(v, number));
    *r = out[0];
    *g = out[1];
    *b = out[2];
    return;
  }
  float f[3] = {float(*r) * inScale, float(*g) * inScale, float(*b) * inScale};
  RollOffHighlights(f);
  *r = TruncateToInt32(f[0] * outScale);
  *g = TruncateToInt32(f[1] * outScale);
  *b = TruncateToInt32(f[2] * outScale);
}
