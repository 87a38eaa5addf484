// edge_modes.h -- the edge rules named by an image's wrapMode, and the simple samplers that use
// positions and footprints: derivative correction, mip-level selection, bilinear samples and 2x
// magnifiers.
//
// These sit beside the filtered and trilinear samplers (samplers.h), which follow wrapSetting
// instead. Every image is created with wrapMode 3 (clamp).
//
// wrapMode, for a position (u, v) outside 0 <= u <= 1, 0 <= v < 1 (positions inside are used as
// they are, whatever the mode):
//
//   1  outside: the sample is empty
//   2  clamp u and v into 0..1 and move the level toward the coarsest by the overshoot:
//      level += (coarsestLevel - level) x d, d the larger overshoot beyond an edge, at most 1
//   3  clamp u and v into 0..1
//   4  wrap u (keep its fraction, rounding toward minus infinity); clamp v
//   5  wrap u and v
//   6  wrap u and v (derivatives are left alone by WrapDerivatives)
//   7  sphere wrap: v modulo 1; when the whole part of v is odd the position has crossed a pole,
//      so v becomes 1 - v and u becomes 0.5 - u; then u is wrapped
//
// Any other value clamps, as 3 does. NaN positions count as 0.
#ifndef KIVAGLOBE_IMAGESTORE_EDGE_MODES_H
#define KIVAGLOBE_IMAGESTORE_EDGE_MODES_H

#include <cstdint>

#include "imagestore/image_store.h"

enum : uint32_t {
  kWrapModeEmpty = 1,
  kWrapModeClampToCoarser = 2,
  kWrapModeClamp = 3,
  kWrapModeWrapU = 4,
  kWrapModeWrapBoth = 5,
  kWrapModeWrapBothRaw = 6,
  kWrapModeSphere = 7,
};

// Applies `mode` to (u, v): the position to sample goes to uOut, vOut, and mode 2 may move
// *level. Returns 1 when the sample is empty (mode 1 outside), else 0.
int32_t ApplyWrapMode(float u, float v, float *level, uint32_t mode, const TiledMipImage *image, float *uOut,
                      float *vOut);

// Screen-space derivatives of a texture position, corrected for the edge rule and scaled to
// pixels.
struct WrapDerivativeRecord {
  float scale;
  float width;
  float height;
  int32_t mode;
  float dudx, dvdx, dudy, dvdy;
  uint8_t discontinuity;  // set when a derivative jumps across an edge that does not wrap
};

// Mode 5 brings each derivative into -0.5..0.5 (above 0.5 loses 1, below -0.5 gains 1); modes 4
// and 7 do so for the u derivatives and set the flag when a v derivative exceeds 0.5 in size;
// modes 1 to 3 (and any unknown mode) set the flag when any derivative exceeds 0.5 in size; mode
// 6 changes nothing. The flag starts cleared. Then the u derivatives are multiplied by
// width x scale and the v derivatives by height x scale.
void WrapDerivatives(WrapDerivativeRecord *record);

// The level chosen for a sample, kept between calls; with `hold` 1 it is not recomputed.
struct MipLevelChoice {
  float level;
  uint8_t hold;
};

// The level for a sample at (u, v) from the positions (ua, va) and (ub, vb) of two neighbouring
// samples. Each difference is taken the shorter way round (above 0.5 counts as 1 - difference)
// and scaled to level-0 pixels; each neighbour counts the larger of its two axes, and the
// footprint is the mean of the two. A footprint of 1 pixel or less gives level 0; otherwise the
// level is the binary exponent of footprint x (1 - bias / 2), within 0 .. coarsestLevelMinus3.
// When choice->hold is 1, or ua is -1 (no neighbour), the kept level is returned instead.
int32_t SelectMipLevel(float ua, float va, float ub, float vb, float u, float v, const TiledMipImage *image,
                       float bias, MipLevelChoice *choice);

// The same footprint as SelectMipLevel, as a fractional level: a quick log2 of the footprint
// (0 for a footprint of 1 or less), at most coarsestLevel.
float SelectMipLevelF(float ua, float va, float ub, float vb, float u, float v, const TiledMipImage *image);

// The fractional level from four footprint values already in pixels: the mean of
// max(uA, vA) and max(uB, vB).
float SelectMipLevelFromFootprints(float uA, float vA, float uB, float vB, const TiledMipImage *image);

// ---- Bilinear samples -------------------------------------------------------------------
//
// At a pixel position (x, y) of a level: the four pixels around floor(x), floor(y) weighted by
// the fractions; the pixels are read clamped, so the edges repeat. Formats without four channels
// (or, for the fixed-point sampler, with float channels) sample as zeros.

// Four channels as floats, through GetPixel4 (format 9: the floats; formats 3, 4, 7: the stored
// integers; format 7's fourth channel is 0).
void SampleBilinear4(const TiledMipImage *image, int32_t level, float x, float y, float out[4]);

// One float channel (format 5).
float SampleBilinearF32(const TiledMipImage *image, int32_t level, float x, float y);

// Positions in 16.15 fixed point, weights 0..32768, each product shifted right by 15; formats 3,
// 4 and 7.
void SampleBilinearFixed(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, int32_t out[4]);

// SampleBilinear4 at (u x levelSampleWidth - 0.5, v x levelSampleHeight - 0.5).
void SampleBilinearAt(const TiledMipImage *image, int32_t level, float u, float v, float out[4]);

// SampleBilinearAt at levels L and L + 1 (L clamped into 0 .. coarsestLevel - 1), blended by frac.
void SampleBilinearTrilinear(const TiledMipImage *image, float level, float frac, float u, float v,
                             float out[4]);

// ---- 2x magnifiers ----------------------------------------------------------------------
//
// The value at (x, y) of a picture twice the level's size: pixel (x >> 1, y >> 1), averaged with
// its right neighbour when x is odd and with its lower neighbour when y is odd (all four when
// both are). The neighbour is clamped into the level, or wrapped around it when `wrap` is set.
// The smooth variants weight each axis (1, 4, 1) around the pixel for an even coordinate and
// (3, 3) over the pixel and its neighbour for an odd one, and divide the sum by 36.

uint32_t Magnify2xPacked8(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, bool wrap);
int32_t Magnify2xGray(const TiledMipImage *image, int32_t level, int32_t x, int32_t y, bool wrap);
uint32_t Magnify2xSmoothPacked8(const TiledMipImage *image, int32_t level, int32_t x, int32_t y);
int32_t Magnify2xSmoothGray(const TiledMipImage *image, int32_t level, int32_t x, int32_t y);

#endif  // KIVAGLOBE_IMAGESTORE_EDGE_MODES_H
