// tile_access.h -- addressing of pixels inside tiles, shared by the store's own source files.
//
// Pixel (x, y) of level l lies in tile
//
//     levelFirstTile[l] + (y >> 9) x levelTilesPerRow[l] + (x >> 9)
//
// at pixel index (y & 511) x tile.width + (x & 511) of that tile. The row length is the tile's
// own width, which is less than 512 for the last column of a level. These helpers do no checking:
// every caller has made sure that the image has tiles, that the level exists and that x and y lie
// inside it.
#ifndef KIVAGLOBE_IMAGESTORE_TILE_ACCESS_H
#define KIVAGLOBE_IMAGESTORE_TILE_ACCESS_H

#include <cstdint>
#include <cstring>

#include "imagestore/image_store.h"

namespace tile_access {

inline const ImageTile &TileAt(const TiledMipImage *image, int32_t level, int32_t x, int32_t y) {
  return image->tiles[image->levelFirstTile[level] + (y >> kTileShift) * image->levelTilesPerRow[level] +
                      (x >> kTileShift)];
}

// Address of pixel (x, y) of `level` for pixels of `pixelBytes` bytes.
inline uint8_t *PixelAddress(const TiledMipImage *image, int32_t level, int32_t x, int32_t y,
                             uint32_t pixelBytes) {
  const ImageTile &tile = TileAt(image, level, x, y);
  return tile.pixels + (size_t((y & kTileMask) * tile.width + (x & kTileMask)) * pixelBytes);
}

// True when `level` of the image can be addressed with pixels of `pixelBytes` bytes: the image
// exists, has tiles, has that level, and its pixels are exactly that wide. The last test keeps an
// accessor of one layout from writing past the tiles of a narrower one.
inline bool LevelUsable(const TiledMipImage *image, int32_t level, uint32_t pixelBytes) {
  return image != nullptr && image->tiles != nullptr && level >= 0 && level <= image->coarsestLevel &&
         image->bytesPerPixel == pixelBytes;
}

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

template <class T>
inline T Load(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
inline void Store(uint8_t *p, T v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace tile_access

#endif  // KIVAGLOBE_IMAGESTORE_TILE_ACCESS_H
