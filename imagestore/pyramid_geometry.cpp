// pyramid_geometry.cpp -- the level-size rule and the pixel and tile counts that follow from it.
//
// The rule halves each side separately and rounds odd results of 3 or more up to the next even
// number, so that a level keeps an even size (and tiles of the next level line up with pairs of
// pixels) as long as the side is larger than 2:
//
//     640 x 480 -> 320x240 -> 160x120 -> 80x60 -> 40x30 -> 20x16 -> 10x8 -> 6x4 -> 4x2 -> 2x1 -> 1x1
//
// A pyramid ends one level after the first level (other than level 0) that is 1 x 1, and never
// has more than kMaxImageLevels levels.
#include "imagestore/image_store.h"

namespace {

// One step of the rule for one side: ceil(n / 2), then odd results of 3 or more rounded up.
int32_t HalveSide(int32_t n) {
  int32_t half = n / 2 + (n & 1);
  if ((half & 1) != 0 && half >= 3) half += 1;
  return half;
}

int64_t Area(int32_t w, int32_t h) { return int64_t(w) * int64_t(h); }

}  // namespace

void LevelSize(int32_t width, int32_t height, int32_t level, int32_t bordered, int32_t *levelWidth,
               int32_t *levelHeight) {
  int32_t w = 0, h = 0;
  if (level >= 0 && level < kMaxImageLevels) {
    w = width > 0 ? width : 0;
    h = height > 0 ? height : 0;
    for (int32_t l = 1; l <= level; ++l) {
      if (l > 1 && w == 1 && h == 1) {
        w = h = 0;
        break;
      }
      w = HalveSide(w);
      h = HalveSide(h);
    }
    if (bordered) {
      w += 2;
      h += 2;
    }
  }
  *levelWidth = w;
  *levelHeight = h;
}

int32_t CoarsestLevelIndex(int32_t width, int32_t height) {
  int32_t coarsest = 0;
  for (int32_t l = 0; l < kMaxImageLevels; ++l) {
    int32_t w, h;
    LevelSize(width, height, l, 0, &w, &h);
    if (Area(w, h) == 0) break;
    coarsest = l;
  }
  return coarsest;
}

int64_t PixelsBeforeLevel(const Rect16 *rect, int32_t level, int32_t bordered) {
  int32_t width = rect->right - rect->left, height = rect->bottom - rect->top;
  int64_t sum = 0;
  for (int32_t l = 0; l < level && l < kMaxImageLevels; ++l) {
    int32_t w, h;
    LevelSize(width, height, l, bordered, &w, &h);
    sum += Area(w, h);
  }
  return sum;
}

int64_t TotalPyramidPixels(const Rect16 *rect, int32_t bordered) {
  int32_t width = rect->right - rect->left, height = rect->bottom - rect->top;
  int64_t sum = 0;
  for (int32_t l = 0; l < kMaxImageLevels; ++l) {
    int32_t w, h, bw, bh;
    LevelSize(width, height, l, 0, &w, &h);
    LevelSize(width, height, l, bordered, &bw, &bh);
    sum += Area(bw, bh);
    if (Area(w, h) == 0) break;
  }
  return sum;
}

int32_t TotalTileCount(int32_t width, int32_t height, int32_t bordered) {
  int32_t count = 0;
  for (int32_t l = 0; l < kMaxImageLevels; ++l) {
    int32_t w, h, bw, bh;
    LevelSize(width, height, l, 0, &w, &h);
    if (Area(w, h) == 0) break;
    LevelSize(width, height, l, bordered, &bw, &bh);
    count += ((bw + kTileMask) >> kTileShift) * ((bh + kTileMask) >> kTileShift);
  }
  return count;
}

int32_t TileExtent(int32_t index, int32_t size) {
  int32_t count = (size + kTileMask) >> kTileShift;
  return index < count - 1 ? kTileSize : size - kTileSize * (count - 1);
}
