// jpeg_tables.h -- the quantisation tables and sampling factors that every JPEG we write uses.
//
// We never let the library scale its stock tables by a quality number. Instead the quality
// (clamped to 0..99) picks a decile d = quality / 10, and the decile picks one luminance and one
// chrominance table of our own and the sampling of the luminance component: 2 x 2 for d = 0..4,
// 1 x 1 from d = 5 on. Every other component is sampled 1 x 1.
//
// Tables are 64 values in natural order (row by row, not zigzag), as jpeg_add_quant_table takes
// them; they are installed with scale 100 (the values as they stand) and without forcing
// baseline limits.
#ifndef KIVAGLOBE_FILES_JPEG_TABLES_H
#define KIVAGLOBE_FILES_JPEG_TABLES_H

#include <cstdint>

constexpr int32_t kQuantDeciles = 10;

extern const uint16_t kLuminanceTables[kQuantDeciles][64];
extern const uint16_t kChrominanceTables[kQuantDeciles][64];

// The quality clamped to 0..99.
int32_t ClampJpegQuality(int32_t quality);

// The decile 0..9 of a quality (any int; clamped first).
int32_t QualityDecile(int32_t quality);

// Horizontal and vertical sampling factor of the luminance component for a quality.
int32_t LuminanceSampling(int32_t quality);

#endif  // KIVAGLOBE_FILES_JPEG_TABLES_H
