// image_copy.cpp -- CopyImagePlane, ResampleImageInto and CopyOrResampleImage.
#include "imagestore/image_copy.h"

#include <cmath>

#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "imagestore/samplers.h"
#include "plugin/rect16.h"

namespace {

bool HasTiles(const TiledMipImage *image) { return image != nullptr && image->tiles != nullptr; }

// trunc(v x 255) within 0..255; NaN gives 0.
int32_t ChannelByte(float v) {
  float b = v * 255.0f;
  if (!(b > 0.0f)) return 0;
  if (b >= 255.0f) return 255;
  return int32_t(b);
}

}  // namespace

void CopyImagePlane(const TiledMipImage *source, TiledMipImage *destination, int32_t sourceLevel,
                    int32_t destinationLevel) {
  if (!HasTiles(source) || !HasTiles(destination)) return;
  if (source->storageFormat != destination->storageFormat) return;
  const uint32_t format = source->storageFormat;
  if (format != kFormatPacked8 && format != kFormatRgba16 && format != kFormatRgbaF32) return;

  Rect16 from, overlap;
  GetLevelRect(source, sourceLevel, &from);
  GetLevelRect(destination, destinationLevel, &overlap);
  ClipRect16(&overlap, &from);
  if (IsEmptyRect16(&overlap)) return;
  for (int32_t y = 0; y < overlap.bottom - overlap.top; ++y) {
    for (int32_t x = 0; x < overlap.right - overlap.left; ++x) {
      float rgba[4];
      FetchPixelRGBA(x, y, source, sourceLevel, rgba);
      PutPixel4Float(x, y, destination, destinationLevel, rgba);
    }
  }
}

void ResampleImageInto(const TiledMipImage *source, TiledMipImage *destination, const Rect16 *sourceRect,
                       const Rect16 *destinationRect, float bias) {
  if (!HasTiles(source) || !HasTiles(destination) || sourceRect == nullptr || destinationRect == nullptr) return;
  if (destination->storageFormat != kFormatPacked8) return;

  const int32_t width = destinationRect->right - destinationRect->left;
  const int32_t height = destinationRect->bottom - destinationRect->top;
  if (width <= 0 || height <= 0) {
    RebuildAllLevels(destination);
    return;
  }

  // log2 of the reduction, from the natural logarithm; NaN (from an empty source rectangle)
  // counts as 0.
  const float ratio = float(sourceRect->right - sourceRect->left) / float(width);
  float level = float(std::log(double(ratio))) * 1.442695040888963f - bias;
  if (!(level > 0.0f)) level = 0.0f;
  if (level > float(source->coarsestLevel)) level = float(source->coarsestLevel);
  const int32_t whole = int32_t(level);
  const float frac = level - float(whole);

  // Only the part of the rectangle that lies inside the destination is visited; the positions
  // are still those of the whole rectangle.
  const int32_t left = destinationRect->left, top = destinationRect->top;
  const int32_t c0 = left < 0 ? -left : 0, r0 = top < 0 ? -top : 0;
  const int32_t c1 = width < destination->levelWidth[0] - left ? width : destination->levelWidth[0] - left;
  const int32_t r1 = height < destination->levelHeight[0] - top ? height : destination->levelHeight[0] - top;
  const float twiceWidth = float(2 * width), twiceHeight = float(2 * height);
  for (int32_t r = r0; r < r1; ++r) {
    const float v = float(2 * r + 1) / twiceHeight;
    for (int32_t c = c0; c < c1; ++c) {
      const float u = float(2 * c + 1) / twiceWidth;
      float rgba[4];
      SampleTrilinearRGBAScaled(source, float(whole), frac, u, v, rgba);
      PutPixelPacked8Checked(left + c, top + r, destination, 0, ChannelByte(rgba[0]), ChannelByte(rgba[1]),
                             ChannelByte(rgba[2]), 255);
    }
  }
  RebuildAllLevels(destination);
}

void CopyOrResampleImage(const TiledMipImage *source, TiledMipImage *destination) {
  if (source == nullptr || destination == nullptr) return;
  if (!SameImageSize(source, destination)) {
    Rect16 from, to;
    GetLevelRect(source, 0, &from);
    GetLevelRect(destination, 0, &to);
    ResampleImageInto(source, destination, &from, &to, 0.5f);
    return;
  }
  if (HasTiles(source) && HasTiles(destination)) CopyImagePlane(source, destination, 0, 0);
  RebuildAllLevels(destination);
}
