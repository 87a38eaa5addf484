// image_store.cpp -- binding, creating and freeing tiled images, and the questions asked of them.
#include "imagestore/image_store.h"

#include <cmath>
#include <cstring>

#include "plugin/host_memory.h"

namespace {

// The format table, indexed by StorageFormat value; rows 6 and 8 are not formats.
const StorageFormatInfo kFormatTable[10] = {
    {1, 1, 1, 255.0f},    // 0 gray 8-bit
    {2, 1, 2, 32768.0f},  // 1 gray 16-bit, 0..32768
    {2, 1, 2, 1.0f},      // 2 one 16-bit channel
    {4, 4, 1, 255.0f},    // 3 packed 8-bit
    {8, 4, 2, 32768.0f},  // 4 four 16-bit channels, 0..32768
    {4, 1, 4, 1.0f},      // 5 one 32-bit channel
    {0, 0, 0, 0.0f},      // 6
    {6, 3, 2, 1.0f},      // 7 slope map
    {0, 0, 0, 0.0f},      // 8
    {16, 4, 4, 1.0f},     // 9 four floats
};

// Releases every tile of the table and the table itself. Entries that were never allocated hold
// no pixels, and FreeHostBuffer passes over them.
void ReleaseTileTable(TiledMipImage *image) {
  for (int32_t i = 0; i < image->tileCount; ++i) {
    ImageTile *tile = &image->tiles[i];
    void *pixels = tile->pixels;
    FreeHostBuffer(&pixels, &tile->allocation, image->hostBufferProcs);
    tile->pixels = nullptr;
  }
  void *table = image->tiles;
  FreeHostBuffer(&table, &image->tilesAllocation, image->hostBufferProcs);
  image->tiles = nullptr;
  image->tileCount = 0;
}

// The tile-building step of creation: the table and every tile of every level, all or nothing.
bool AllocateImageTiles(TiledMipImage *image, uint32_t format, int32_t width, int32_t height) {
  int32_t count = TotalTileCount(width, height, 0);
  void *table = AllocHostBuffer(int32_t(sizeof(ImageTile)) * count, &image->tilesAllocation,
                                image->hostBufferProcs);
  if (table == nullptr) return false;
  image->tiles = static_cast<ImageTile *>(table);
  image->tileCount = count;
  for (int32_t i = 0; i < count; ++i) {
    image->tiles[i] = ImageTile{nullptr, nullptr, -1, -1, -1, -1};
  }

  image->coarsestLevel = CoarsestLevelIndex(width, height);
  image->coarsestLevelMinus3 = image->coarsestLevel > 3 ? image->coarsestLevel - 3 : 0;
  int32_t bytesPerPixel = int32_t(StorageFormatDescription(format).bytesPerPixel);

  int32_t t = 0;
  for (int32_t level = 0; level <= image->coarsestLevel; ++level) {
    int32_t w, h;
    LevelSize(width, height, level, 0, &w, &h);
    int32_t across = (w + kTileMask) >> kTileShift;
    int32_t down = (h + kTileMask) >> kTileShift;
    image->levelFirstTile[level] = t;
    image->levelTilesPerRow[level] = across;
    for (int32_t row = 0; row < down; ++row) {
      for (int32_t column = 0; column < across; ++column) {
        ImageTile *tile = &image->tiles[t];
        tile->top = row * kTileSize;
        tile->left = column * kTileSize;
        tile->width = TileExtent(column, w);
        tile->height = TileExtent(row, h);
        tile->pixels = static_cast<uint8_t *>(AllocHostBuffer(
            tile->width * tile->height * bytesPerPixel, &tile->allocation, image->hostBufferProcs));
        if (tile->pixels == nullptr) {
          ReleaseTileTable(image);
          return false;
        }
        image->levelLastTile[level] = t;
        ++t;
      }
    }
  }
  return true;
}

// Fills the per-level tables of a freshly allocated pyramid; entries past the coarsest level are
// cleared so that nothing stale from an earlier, larger pyramid remains.
void SetupPyramidGeometry(TiledMipImage *image, int32_t width, int32_t height,
                          uint32_t bytesPerPixel) {
  for (int32_t level = 0; level < kMaxImageLevels; ++level) {
    int32_t w = 0, h = 0;
    if (level <= image->coarsestLevel) LevelSize(width, height, level, 0, &w, &h);
    image->levelWidth[level] = image->levelSampleWidth[level] = w;
    image->levelHeight[level] = image->levelSampleHeight[level] = h;
    image->levelMaxX[level] = w - 1;
    image->levelMaxY[level] = h - 1;
    image->levelWidthMinus1F[level] = float(w - 1);
    image->levelHeightMinus1F[level] = float(h - 1);
    image->levelWidthF[level] = float(w);
    image->levelHeightF[level] = float(h);
    image->levelInvWidth[level] = w > 0 ? float(1.0 / double(w)) : 0.0f;
    image->levelInvHeight[level] = h > 0 ? float(1.0 / double(h)) : 0.0f;
    if (level > image->coarsestLevel) {
      image->levelMaxX[level] = image->levelMaxY[level] = 0;
      image->levelWidthMinus1F[level] = image->levelHeightMinus1F[level] = 0.0f;
      image->levelFirstTile[level] = image->levelLastTile[level] = 0;
      image->levelTilesPerRow[level] = 0;
    }
  }
  image->bytesPerPixel = bytesPerPixel;
  image->baseWidth = width;
  image->baseHeight = height;
  float fw = float(width), fh = float(height);
  image->stretchX = width > height ? fw / fh : 1.0f;
  image->stretchY = height > width ? fh / fw : 1.0f;
  image->aspectHOverW = fh / fw;
  image->aspectWOverH = fw / fh;
}

// Everything CreateImageEx sets besides the tiles, for a pyramid whose tiles are in place.
void SetCreatedFields(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                      int32_t wrapSetting) {
  const StorageFormatInfo info = StorageFormatDescription(format);
  const Rect16 rect = {0, 0, int16_t(height), int16_t(width)};
  image->bordered = 0;
  image->coarsestLevel = CoarsestLevelIndex(width, height);
  image->coarsestLevelMinus3 = image->coarsestLevel > 3 ? image->coarsestLevel - 3 : 0;
  image->storageFormat = format;
  image->channelCount = info.channelCount;
  image->bytesPerChannel = info.bytesPerChannel;
  SetupPyramidGeometry(image, width, height, info.bytesPerPixel);
  image->totalBytes = uint64_t(TotalPyramidPixels(&rect, 0)) * info.bytesPerPixel;
  image->wrapSetting = wrapSetting;
  image->wrapMode = 3;
  image->levelState = 0;
  image->scale = info.scale;
  image->invScale = float(1.0 / double(info.scale));
}

}  // namespace

StorageFormatInfo StorageFormatDescription(uint32_t format) {
  return format < 10 ? kFormatTable[format] : StorageFormatInfo{0, 0, 0, 0.0f};
}

void InitImageRecord(TiledMipImage *image, HostBufferProcs *bufferProcs, PluginGlobals *owner,
                     const ResampleKernelTable *kernelTable) {
  std::memset(image, 0, sizeof(*image));
  image->hostBufferProcs = bufferProcs;
  image->owner = owner;
  image->kernelTable = kernelTable;
}

bool CreateImageEx(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                   int32_t wrapSetting, int32_t bordered) {
  if (image == nullptr || width < 1 || height < 1) return false;
  if (width > kMaxImageSide || height > kMaxImageSide) return false;
  StorageFormatInfo info = StorageFormatDescription(format);
  if (info.bytesPerPixel == 0 || bordered != 0) return false;

  FreeImageTiles(image);
  image->bordered = 0;
  if (!AllocateImageTiles(image, format, width, height)) return false;
  SetCreatedFields(image, width, height, format, wrapSetting);
  return true;
}

bool RenewImageRecord(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                      int32_t wrapSetting) {
  if (image == nullptr || image->tiles == nullptr || image->bordered != 0) return false;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
  if (image->baseWidth != width || image->baseHeight != height || image->storageFormat != format ||
      image->wrapSetting != wrapSetting || image->tileCount != TotalTileCount(width, height, 0) ||
      image->bytesPerPixel != StorageFormatDescription(format).bytesPerPixel) {
    return false;
  }
  SetCreatedFields(image, width, height, format, wrapSetting);
  return true;
}

void MarkImageContent(TiledMipImage *image, uint32_t key) {
  if (image != nullptr && image->tiles != nullptr) image->contentKey = key;
}

bool ImageHoldsContent(const TiledMipImage *image, uint32_t key) {
  return ImageHasContentMark(image) && image->contentKey == key;
}

bool ImageHasContentMark(const TiledMipImage *image) {
  return image != nullptr && image->tiles != nullptr && image->contentKey != 0;
}

void DropImageContentMark(TiledMipImage *image) {
  if (image != nullptr) image->contentKey = 0;
}

bool CreateImage(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                 int32_t wrapSetting) {
  return CreateImageEx(image, width, height, format, wrapSetting, 0);
}

bool CreateImageForPlanes(TiledMipImage *image, int32_t width, int32_t height, int32_t planeCount,
                          int32_t wrapSetting) {
  uint32_t format = planeCount == 1 ? kFormatGray8 : planeCount == 2 ? kFormatPlain16 : kFormatPacked8;
  return CreateImageEx(image, width, height, format, wrapSetting, 0);
}

bool CreateImageSet(TiledMipImage *images, int32_t width, int32_t height) {
  for (int32_t i = 0; i < kImageSetCount; ++i) {
    if (!CreateImageEx(&images[i], width, height, kFormatGray8, 0, 0)) return false;
  }
  return true;
}

void FreeImageTiles(TiledMipImage *image) {
  DropImageContentMark(image);
  if (image == nullptr || image->tiles == nullptr) return;
  ReleaseTileTable(image);
}

void GetLevelRect(const TiledMipImage *image, int32_t level, Rect16 *rect) {
  *rect = Rect16{0, 0, 0, 0};
  if (image == nullptr || level < 0 || level > image->coarsestLevel) return;
  rect->right = int16_t(image->levelWidth[level]);
  rect->bottom = int16_t(image->levelHeight[level]);
}

bool SameImageSize(const TiledMipImage *a, const TiledMipImage *b) {
  return a->levelWidth[0] == b->levelWidth[0] && a->levelHeight[0] == b->levelHeight[0];
}

bool SameImageGeometry(const TiledMipImage *a, const TiledMipImage *b) {
  return SameImageSize(a, b) && a->bytesPerPixel == b->bytesPerPixel &&
         a->coarsestLevel == b->coarsestLevel;
}

uint32_t TilePixelCount(const TiledMipImage *image, int32_t index) {
  if (index < 0 || index >= image->tileCount) return 0;
  return uint32_t(image->tiles[index].width) * uint32_t(image->tiles[index].height);
}

// ---- Small numeric functions ------------------------------------------------------------
//
// The clamps are made in float before any conversion to an integer, so that huge values and NaN
// (which compares false with everything and ends at 0) never reach an out-of-range conversion.

int32_t FloatToByte(float f) {
  float v = f * 255.0f;
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return int32_t(v);
}

int32_t SqrtToByte(float f) {
  if (!(f > 0.0f)) return 0;
  if (f > 65535.0f) f = 65535.0f;
  float v = std::sqrt(f) * 255.0f;
  if (v >= 255.0f) return 255;
  return int32_t(v);
}

int32_t FloatExponent(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return int32_t((bits >> 23) & 0xFF) - 127;
}
