// level_build.h -- deriving levels 1 and up of a pyramid from level 0.
//
// Whoever writes level 0 of an image asks for the other levels afterwards: all of them
// (RebuildAllLevels) or only what a changed rectangle touches (RebuildLevelsInRect). Each level
// is made from the one above it by BuildNextLevel, with a 6 x 6 kernel whose weights sum to 1640:
//
//        0   1   4   4   1   0
//        1  16  64  64  16   1
//        4  64 256 256  64   4        rows 2y-2 .. 2y+3, columns 2x-2 .. 2x+3
//        4  64 256 256  64   4        of level n make pixel (x, y) of level n+1
//        1  16  64  64  16   1
//        0   1   4   4   1   0
//
// Taps outside level n repeat its edge pixels (never wrapped). Integer formats multiply their
// sums by 1/1630 rather than 1/1640, so that a flat area of value v becomes v x 1640/1630 before
// the clamp and the truncation: each level is lifted by about 0.6 %, which the stored cloud cache
// and every sampled texture reflect. Float formats use 1/1640. The slope map (format 7) uses a
// 2 x 2 box instead, and format 2 is never built.
//
// Rectangles are Rect16 in pixels of the level being built, bottom and right exclusive.
#ifndef KIVAGLOBE_IMAGESTORE_LEVEL_BUILD_H
#define KIVAGLOBE_IMAGESTORE_LEVEL_BUILD_H

#include <cstdint>

#include "imagestore/image_store.h"

// Builds the pixels of level n + 1 inside `rect` from level n. Nothing when level n + 1 does not
// exist (rect left alone); otherwise rect is first clamped in place to level n + 1 (the caller
// sees the clamped values). An image without tiles, or a rectangle that clamps to nothing, builds
// nothing.
void BuildNextLevel(TiledMipImage *image, int32_t n, Rect16 *rect);

// Builds every level from level 0 and sets levelState 2. Nothing at all for an image without
// tiles or with wrapSetting -1 (whose levels are never rebuilt).
void RebuildAllLevels(TiledMipImage *image);

// Rebuilds levels from+1 .. to after `rect` of level `from` changed, carrying the rectangle down
// one level at a time (halved and widened by 2 pixels on every side, within the level), and sets
// levelState 3. The caller's rectangle is not changed. Nothing when `from` is at or past the
// coarsest level, or for an image without tiles or with wrapSetting -1.
void RebuildLevelsInRect(TiledMipImage *image, const Rect16 *rect, int32_t from, int32_t to);

#endif  // KIVAGLOBE_IMAGESTORE_LEVEL_BUILD_H
