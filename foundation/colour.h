// colour.h -- conversions between RGB and hue, saturation, lightness, the perceptual lightness
// remap, and the roll-off of over-bright colours toward white.
//
// All components are floats in 0..1 unless said. Hue 0 is red and the six sextants of the hue
// circle run red, yellow, green, cyan, blue, magenta; note that RgbToHsl gives pure red the hue
// 1 (6/6), which HslToRgb treats like 0.
#ifndef KIVAGLOBE_FOUNDATION_COLOUR_H
#define KIVAGLOBE_FOUNDATION_COLOUR_H

#include <cstdint>

void RgbToHsl(float r, float g, float b, float *h, float *s, float *l);

// The colour of hue h (0..1; 1 behaves as 0), saturation s and lightness l. A negative hue
// gives black.
void HslToRgb(float h, float s, float l, float *r, float *g, float *b);

// 0.28 R + 0.52 G + 0.2 B of the colour of hue h and saturation s at lightness 0.5.
float HueLuminance(float h, float s);

// HslToRgb after a remap of the lightness that puts the hue's own luminance (HueLuminance) at
// the middle of the scale; lightness 0 and 1 stay black and white.
void HslToRgbPerceptual(float h, float s, float l, float *r, float *g, float *b);

// c[0..2] in place: negatives become 0; a colour whose brightest channel exceeds 1 is scaled
// down to 1 and blended toward white by twice its luma-weighted excess (at most all the way).
void RollOffHighlights(float c[3]);

// The same on three integer channels: each is multiplied by inScale, rolled off, multiplied by
// outScale and truncated toward zero (saturated, NaN giving 0) back into its place.
void RollOffHighlightsScaled(int32_t *r, int32_t *g, int32_t *b, float outScale, float inScale);

#endif  // KIVAGLOBE_FOUNDATION_COLOUR_H
