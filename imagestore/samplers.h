// samplers.h -- 5 x 5 filtered samples of one level, and trilinear samples across two levels.
//
// A filtered sample of level L at (x, y), in pixels of that level (pixel i covers i - 0.5 ..
// i + 0.5), weights the 5 x 5 pixels around the point by the image's ResampleKernelTable. With
// ix = floor(x + 0.5) and the phase px = trunc((x + 0.5 - ix) x 128), the pixel ix - 2 + k of the
// window takes the table's weight of tap 4 - k: the window runs in the opposite order to the
// table's taps. (Read in the table's own order, a linear ramp samples as a zigzag.)
//
// Taps outside the level repeat the edge pixels when the image's wrapSetting is 0 (every image
// the program makes); with any other wrapSetting the window wraps around the level (across only,
// for wrapSetting 2) before what is still outside is clamped.
//
// Positions are brought into range before any conversion to an integer: NaN counts as 0, and a
// position further than 3 pixels outside the level (where every tap is an edge pixel anyway)
// counts as 3 pixels outside. Samples inside the level are exact to the definition above.
//
// An image without tiles, a level that does not exist, or an image of another storage format
// than the sampler's samples as 0. An image bound without a kernel table uses a shared table of
// the same contents.
#ifndef KIVAGLOBE_IMAGESTORE_SAMPLERS_H
#define KIVAGLOBE_IMAGESTORE_SAMPLERS_H

#include <cstdint>

#include "imagestore/image_store.h"

// Format 0, integer weights x 2048: the result is the integer sum x 2^-22, 0..255 give or take the
// kernel's ringing.
float SampleFilteredGray8(const TiledMipImage *image, int32_t level, float x, float y);

// Format 3, integer weights x 2048, per channel: out[0] from bits 24-31 .. out[3] from bits 0-7.
void SampleFilteredRgba8(const TiledMipImage *image, int32_t level, float x, float y, float out[4]);

// Format 4, integer weights x 32768; each row of the window is divided by 32768 (truncating)
// before the row weight applies. Results 0..32768.
void SampleFilteredRgba16(const TiledMipImage *image, int32_t level, float x, float y, float out[4]);

// Format 9, float weights, no scaling.
void SampleFilteredRgbaF32(const TiledMipImage *image, int32_t level, float x, float y, float out[4]);

// Trilinear samples at (u, v), 0..1 across the level: the filtered sample of level L at
// (u x width(L) - 0.5, v x height(L) - 0.5), blended with the same sample of level L + 1 by
// `frac` (a + (b - a) x frac; frac 0 reads level L only; frac is not clamped). The level is the
// whole-number part the caller chose; it is clamped into 0 .. coarsestLevel - 1 before use (NaN
// counts as 0).
float SampleGrayTrilinear(const TiledMipImage *image, float level, float frac, float u, float v);
// Two grey samples at one level and fraction, out[0] at (u0, v0) and out[1] at (u1, v1): bit for bit
// the two calls of SampleGrayTrilinear, for less than twice the work.
void SampleGrayTrilinearPair(const TiledMipImage *image, float level, float frac, float u0, float v0, float u1,
                             float v1, float out[2]);
void SampleTrilinearRGBA8(const TiledMipImage *image, float level, float frac, float u, float v,
                          float out[4]);
void SampleTrilinearRGBA16(const TiledMipImage *image, float level, float frac, float u, float v,
                           float out[4]);
void SampleTrilinearRGBAF32(const TiledMipImage *image, float level, float frac, float u, float v,
                            float out[4]);

// By storage format: 3 -> RGBA8, 9 -> RGBAF32, 4 -> RGBA16, 0 -> (g, g, g, 255) from
// SampleGrayTrilinear; any other format -> four zeros.
void SampleTrilinearRGBA(const TiledMipImage *image, float level, float frac, float u, float v,
                         float out[4]);

// SampleTrilinearRGBA times the image's 1/scale, so that 8-bit and 16-bit images give 0..1.
void SampleTrilinearRGBAScaled(const TiledMipImage *image, float level, float frac, float u, float v,
                               float out[4]);

#endif  // KIVAGLOBE_IMAGESTORE_SAMPLERS_H
