// image_load.cpp -- raw sample buffers and the built-in texture maps into TiledMipImages.
#include "files/image_load.h"

#include <cstring>

#include "files/texture_maps.h"
#include "imagestore/image_store.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"

namespace {

inline int32_t ClampIndex(int32_t v, int32_t last) { return v < 0 ? 0 : v > last ? last : v; }

// Bytes of the raw buffer that one sample of `image` takes: 1 for format 0, 3 (red, green, blue)
// for format 3, 2 for format 2 (which CopyRawBytesToImage does not fill, but a buffer that would
// describe it is still measured so). 0 for an image that has no tiles.
uint32_t RawBytesPerSample(const TiledMipImage *image) {
  if (image == nullptr || image->tiles == nullptr) return 0;
  switch (image->storageFormat) {
    case kFormatGray8: return 1;
    case kFormatPacked8: return 3;
    default: return image->bytesPerPixel;
  }
}

// Every tile of every level set to zero bytes: the picture of a load that found nothing. The
// host's buffers are not cleared when they are handed out, and a texture that failed to load
// must not show whatever they held.
void ClearImage(TiledMipImage *image) {
  if (image == nullptr || image->tiles == nullptr) return;
  for (int32_t k = 0; k < image->tileCount; ++k) {
    const ImageTile &tile = image->tiles[k];
    if (tile.pixels != nullptr && tile.width > 0 && tile.height > 0) {
      std::memset(tile.pixels, 0, size_t(tile.width) * size_t(tile.height) * image->bytesPerPixel);
    }
  }
}

// Level 0 of a one-channel 8-bit image whose level 0 is width pixels wide holds exactly the
// first rows of `bytes`, tile by tile.
bool Level0Holds(const TiledMipImage *image, const uint8_t *bytes, int32_t width) {
  for (int32_t t = image->levelFirstTile[0]; t <= image->levelLastTile[0]; ++t) {
    const ImageTile &tile = image->tiles[t];
    if (tile.pixels == nullptr) return false;
    for (int32_t y = 0; y < tile.height; ++y) {
      const uint8_t *want = bytes + size_t(tile.top + y) * size_t(width) + size_t(tile.left);
      if (std::memcmp(tile.pixels + size_t(y) * size_t(tile.width), want, size_t(tile.width)) != 0) return false;
    }
  }
  return true;
}

// The mark of an image loaded from a texture resource.
uint32_t ResourceKey(int32_t resourceId) { return uint32_t(resourceId); }

}  // namespace

void CopyRawBytesToImage(const uint8_t *bytes, TiledMipImage *image, int32_t width, int32_t height) {
  if (bytes == nullptr || image == nullptr || image->tiles == nullptr || width < 1 || height < 1) return;
  const int32_t levelWidth = image->levelWidth[0];
  const int32_t levelHeight = image->levelHeight[0];
  if (image->storageFormat == kFormatGray8) {
    // Tile by tile: a tile row that lies inside the buffer's row is one copy.
    for (int32_t t = image->levelFirstTile[0]; t <= image->levelLastTile[0]; ++t) {
      const ImageTile &tile = image->tiles[t];
      if (tile.pixels == nullptr) continue;
      for (int32_t y = 0; y < tile.height; ++y) {
        const uint8_t *row = bytes + size_t(ClampIndex(tile.top + y, height - 1)) * size_t(width);
        uint8_t *out = tile.pixels + size_t(y) * size_t(tile.width);
        if (tile.left + tile.width <= width) {
          std::memcpy(out, row + tile.left, size_t(tile.width));
        } else {
          for (int32_t x = 0; x < tile.width; ++x) out[x] = row[ClampIndex(tile.left + x, width - 1)];
        }
      }
    }
  } else if (image->storageFormat == kFormatPacked8) {
    for (int32_t y = 0; y < levelHeight; ++y) {
      const uint8_t *row = bytes + size_t(ClampIndex(y, height - 1)) * size_t(width) * 3;
      for (int32_t x = 0; x < levelWidth; ++x) {
        const uint8_t *rgb = row + size_t(ClampIndex(x, width - 1)) * 3;
        PutPixelPacked8Checked(x, y, image, 0, rgb[0], rgb[1], rgb[2], 255);
      }
    }
  }
  RebuildAllLevels(image);
}

bool LoadImageFromRawBytes(TiledMipImage *image, const uint8_t *bytes, uint32_t byteCount, int32_t width,
                           int32_t height, int32_t planes) {
  if (!CreateImageForPlanes(image, width, height, planes, 0)) return false;
  // The samples must all be there: a resource shorter than the picture it is loaded as would
  // otherwise be read past its end.
  const uint64_t needed = uint64_t(width) * uint64_t(height) * RawBytesPerSample(image);
  if (bytes == nullptr || uint64_t(byteCount) < needed) {
    ClearImage(image);
    RebuildAllLevels(image);
    return false;
  }
  CopyRawBytesToImage(bytes, image, width, height);
  return true;
}

bool LoadImageFromResource(TiledMipImage *image, int32_t resourceId, int32_t width, int32_t height,
                           int32_t planes) {
  const uint8_t *bytes = nullptr;
  uint32_t byteCount = 0;
  if (!FindRawResource(resourceId, &bytes, &byteCount)) {
    bytes = nullptr;
    byteCount = 0;
  }
  // Every render loads the maps again. An image that still holds this map from an earlier load
  // -- the same creation, no level built since, level 0 equal to the resource -- keeps its
  // pixels and levels, which are those a new load would make.
  const uint32_t key = ResourceKey(resourceId);
  const bool whole = bytes != nullptr && width >= 1 && height >= 1 &&
                     uint64_t(byteCount) >= uint64_t(width) * uint64_t(height);
  if (planes == 1 && whole && ImageHoldsContent(image, key) &&
      RenewImageRecord(image, width, height, kFormatGray8, 0) && Level0Holds(image, bytes, width)) {
    image->levelState = 2;
    return true;
  }
  const bool loaded = LoadImageFromRawBytes(image, bytes, byteCount, width, height, planes);
  if (loaded && image->storageFormat == kFormatGray8) MarkImageContent(image, key);
  return loaded;
}
