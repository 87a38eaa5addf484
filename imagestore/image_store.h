// image_store.h -- the tiled image pyramid: records, formats, the level-size rule and the life
// cycle of an image (bind, create, free).
//
// Every picture the plug-in holds in memory is a TiledMipImage: a mip pyramid of at most 20
// levels, level 0 at full size and each later level about half the size of the one before. Every
// level is cut into tiles of at most 512 x 512 pixels, and every tile is a block of its own from
// the host's buffer procedures, so no single allocation exceeds one tile whatever the image size.
// All levels of an image share one StorageFormat.
//
// Life cycle of a record:
//
//     unbound --InitImageRecord--> bound, no tiles --CreateImageEx--> created (levelState 0)
//         --RebuildAllLevels / RebuildLevelsInRect--> levels built (levelState 2 or 3)
//         --FreeImageTiles--> bound, no tiles again
//
// CreateImageEx may be called on a created image: the old tiles are released first, so an image
// is resized by creating it again. An image without tiles reads as 0 and ignores writes, in every
// accessor, sampler and whole-image operation of the store.
//
// The record is plain data owned by whoever embeds it; copying it by value duplicates the tile
// pointers, not the pixels. Only FreeImageTiles (directly or through a new CreateImageEx) releases
// the tiles.
#ifndef KIVAGLOBE_IMAGESTORE_IMAGE_STORE_H
#define KIVAGLOBE_IMAGESTORE_IMAGE_STORE_H

#include <cstdint>

#include "plugin/host_interface.h"

struct PluginGlobals;
struct ResampleKernelTable;

// ---- Constants --------------------------------------------------------------------------

constexpr int32_t kTileSize = 512;     // tile side in pixels
constexpr int32_t kTileShift = 9;      // log2 of kTileSize
constexpr int32_t kTileMask = 511;     // kTileSize - 1
constexpr int32_t kMaxImageLevels = 20;
constexpr int32_t kImageSetCount = 8;  // images of the run's image set

// Level-0 sides above this are refused: the store's rectangles are Rect16, whose coordinates
// cannot describe a wider level.
constexpr int32_t kMaxImageSide = 32767;

// ---- Storage formats --------------------------------------------------------------------
//
//   value  layout                                          bytes/px  channels  bytes/ch  scale
//     0    gray, one unsigned 8-bit channel                    1         1         1      255
//     1    gray, one unsigned 16-bit channel (0..32768)        2         1         2    32768
//     2    one 16-bit channel                                  2         1         2        1
//     3    four 8-bit channels in one 32-bit word              4         4         1      255
//     4    four 16-bit channels (0..32768), in channel order   8         4         2    32768
//     5    one 32-bit channel (float or signed integer)        4         1         4        1
//     7    three signed 16-bit channels (slope map)            6         3         2        1
//     9    four 32-bit float channels                         16         4         4        1
//
// Format 3 packs channel 0 in bits 24-31, channel 1 in bits 16-23, channel 2 in bits 8-15 and
// channel 3 in bits 0-7 of a native word, so on little-endian hardware byte 3 of the word holds
// channel 0. Values 6, 8 and above 9 are not formats.
enum StorageFormat : uint32_t {
  kFormatGray8 = 0,
  kFormatGray16 = 1,
  kFormatPlain16 = 2,
  kFormatPacked8 = 3,
  kFormatRgba16 = 4,
  kFormatScalar32 = 5,
  kFormatSlope16 = 7,
  kFormatRgbaF32 = 9,
};

// One row of the format table.
struct StorageFormatInfo {
  uint32_t bytesPerPixel;   // 0 for a value that is not a format
  uint32_t channelCount;
  uint32_t bytesPerChannel;
  float scale;              // the stored value that stands for 1.0
};

// The format table's row for `format`; all zeros for a value that is not a format.
StorageFormatInfo StorageFormatDescription(uint32_t format);

// ---- Records ----------------------------------------------------------------------------

// One tile. All tiles of all levels sit in one table, level after level, each level's tiles row
// by row from the top and left to right within a row. A fresh entry holds allocation 0, no pixels
// and -1 in top, left, width and height.
struct ImageTile {
  HostBufferID allocation;  // host buffer of the pixels; 0 when they came from the fallback heap
  uint8_t *pixels;          // `height` rows of `width` pixels, rows following each other directly
  int32_t top;              // y of the first row within the level (512 x tile row)
  int32_t left;             // x of the first column within the level (512 x tile column)
  int32_t width;            // pixels per row: the row length used in addressing
  int32_t height;           // rows
};

// A mip pyramid. Every per-level table has kMaxImageLevels entries; entries past the coarsest
// level are zero.
struct TiledMipImage {
  int32_t levelWidth[kMaxImageLevels];
  int32_t levelHeight[kMaxImageLevels];
  int32_t levelSampleWidth[kMaxImageLevels];   // the sizes again: the samplers' coordinate scale
  int32_t levelSampleHeight[kMaxImageLevels];
  int32_t baseWidth;                           // level 0
  int32_t baseHeight;
  float levelWidthMinus1F[kMaxImageLevels];
  float levelHeightMinus1F[kMaxImageLevels];
  int32_t levelMaxX[kMaxImageLevels];          // largest valid x and y of each level
  int32_t levelMaxY[kMaxImageLevels];
  float levelWidthF[kMaxImageLevels];
  float levelHeightF[kMaxImageLevels];
  int32_t coarsestLevel;                       // last level of non-zero size, 0..19
  int32_t coarsestLevelMinus3;                 // coarsestLevel - 3, not below 0
  uint64_t totalBytes;                         // bytes of all levels together
  uint32_t bytesPerPixel;
  uint32_t channelCount;
  uint32_t bytesPerChannel;
  uint32_t storageFormat;
  int32_t tileCount;                           // 0 when the image has no tiles
  ImageTile *tiles;                            // null when the image has no tiles
  HostBufferID tilesAllocation;                // host buffer of the tile table
  int32_t levelFirstTile[kMaxImageLevels];
  int32_t levelLastTile[kMaxImageLevels];
  int32_t levelTilesPerRow[kMaxImageLevels];
  HostBufferProcs *hostBufferProcs;            // the host's buffer procedures, for every tile
  PluginGlobals *owner;                        // the plug-in state the image belongs to
  const ResampleKernelTable *kernelTable;      // the filtered samplers' weights; may be null
  float levelInvWidth[kMaxImageLevels];        // 1 / levelWidthF (computed in double)
  float levelInvHeight[kMaxImageLevels];
  float aspectHOverW;
  float aspectWOverH;
  int32_t wrapSetting;   // -1: levels are never rebuilt; else the 5x5 samplers' edge rule
  uint32_t wrapMode;     // edge rule of the simple samplers (edge_modes.h); 3 at creation
  uint32_t levelState;   // 0 at creation, 2 all levels rebuilt, 3 a rectangle rebuilt
  float stretchX;        // baseWidth / baseHeight for a wide image, else 1
  float stretchY;        // baseHeight / baseWidth for a tall image, else 1
  float invScale;        // 1 / scale
  float scale;           // the format's scale
  uint8_t bordered;      // always 0: bordered pyramids are not made by this store
  uint32_t contentKey;   // the fixed source a loader filled the pixels from; 0 for none
};

// ---- Life cycle -------------------------------------------------------------------------

// Binds a record before its first use: clears it completely (no tiles, every per-level entry 0)
// and records the buffer procedures that every tile will come from, the owner and the kernel
// table (which may be null; the samplers then use a table of the same contents of their own).
// A record is bound once; binding again forgets, without freeing, any tiles it held.
void InitImageRecord(TiledMipImage *image, HostBufferProcs *bufferProcs, PluginGlobals *owner,
                     const ResampleKernelTable *kernelTable);

// (Re)creates the pyramid for a width x height level 0. Any tiles the record held are released
// first. False, with the record unchanged, for a null image, a side below 1 or above
// kMaxImageSide, a format value that is not a format, or a bordered request. False, with no tiles
// left, when the host memory runs out: creation is all or nothing. The new pixels are not
// cleared: the caller writes level 0 and then has the levels built (level_build.h).
bool CreateImageEx(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                   int32_t wrapSetting, int32_t bordered);
bool CreateImage(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                 int32_t wrapSetting);
inline bool CreateImage2(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                         int32_t wrapSetting) {
  return CreateImage(image, width, height, format, wrapSetting);
}
// CreateImage with the format from a host picture's plane count: 1 plane -> format 0,
// 2 planes -> format 2, any other count -> format 3.
bool CreateImageForPlanes(TiledMipImage *image, int32_t width, int32_t height, int32_t planeCount,
                          int32_t wrapSetting);
inline bool CreateImageForPlanes2(TiledMipImage *image, int32_t width, int32_t height,
                                  int32_t planeCount, int32_t wrapSetting) {
  return CreateImageForPlanes(image, width, height, planeCount, wrapSetting);
}

// Creates the kImageSetCount images of `images` in order, each gray 8-bit, wrap setting 0, at
// width x height. False at the first failure; the images created before it keep their tiles.
bool CreateImageSet(TiledMipImage *images, int32_t width, int32_t height);

// Releases every tile and the tile table; a null image or one without tiles is left alone. The
// per-level tables are kept, and the record can be created again at once.
void FreeImageTiles(TiledMipImage *image);

// ---- Kept pixels ------------------------------------------------------------------------
//
// The render set-up loads the same built-in pictures before every render, the dialog's preview
// renders included, and building their levels costs more than a small preview itself. A loader
// that filled an image from a fixed source marks it with a key of its own; a later load of the
// same source may then keep the pixels and their levels. A mark holds for one creation only:
// FreeImageTiles drops it, and so every CreateImageEx (a record re-created over recycled memory
// is never mistaken for the old one), and building any level drops it, since a rebuild means
// that level 0 was written. Writers that change pixels without building levels are not seen: a
// loader keeping pixels checks level 0 itself.

// Marks the pixels of a created image as filled from source `key` (not 0). Nothing for an image
// without tiles.
void MarkImageContent(TiledMipImage *image, uint32_t key);

// The image has tiles and is marked with `key`.
bool ImageHoldsContent(const TiledMipImage *image, uint32_t key);

// The image has tiles and is marked with any key.
bool ImageHasContentMark(const TiledMipImage *image);

// Drops the mark (for writers of pixels that build no level afterwards).
void DropImageContentMark(TiledMipImage *image);

// For an image created at exactly width x height in `format` with `wrapSetting`: puts back every
// field of the record that CreateImageEx sets (edge rule 3, level state 0, the per-level tables),
// keeping the tiles, their pixels and the mark, and returns true. False,
// with nothing changed, for any other image.
bool RenewImageRecord(TiledMipImage *image, int32_t width, int32_t height, uint32_t format,
                      int32_t wrapSetting);

// ---- Questions --------------------------------------------------------------------------

// left 0, top 0, right levelWidth, bottom levelHeight of `level`; all zeros for a null image or a
// level outside 0..coarsestLevel.
void GetLevelRect(const TiledMipImage *image, int32_t level, Rect16 *rect);

// Equal level-0 width and height.
bool SameImageSize(const TiledMipImage *a, const TiledMipImage *b);
// Equal level-0 width and height, bytes per pixel and coarsest level.
bool SameImageGeometry(const TiledMipImage *a, const TiledMipImage *b);

// width x height of tile `index`; 0 for an index outside the table.
uint32_t TilePixelCount(const TiledMipImage *image, int32_t index);

// ---- Level arithmetic (pyramid_geometry.cpp) --------------------------------------------
//
// Level 0 is w x h. Each later level applies to width and height separately the step
// n -> ceil(n / 2), plus 1 when that is odd and at least 3; so 5 and 6 become 4, 3 becomes 2,
// and 2 and 1 become 1. Once a level after level 0 is 1 x 1, every later level is 0 x 0 (level 0
// itself is not tested: a 1 x 1 image has a 1 x 1 level 1). Levels 20 and up are 0 x 0. A
// bordered level is 2 pixels larger each way than this rule says.

// Size of `level` of a w x h pyramid (0 x 0 past the last level).
void LevelSize(int32_t width, int32_t height, int32_t level, int32_t bordered, int32_t *levelWidth,
               int32_t *levelHeight);

// The last level of non-zero area (at most 19).
int32_t CoarsestLevelIndex(int32_t width, int32_t height);

// Pixels of levels 0..level-1 of the pyramid of `rect` (0 for level < 1).
int64_t PixelsBeforeLevel(const Rect16 *rect, int32_t level, int32_t bordered);

// Pixels of every level of the pyramid of `rect`, including (for a bordered pyramid) the
// border-only level that follows the last one.
int64_t TotalPyramidPixels(const Rect16 *rect, int32_t bordered);

// Tiles of every level of a w x h pyramid.
int32_t TotalTileCount(int32_t width, int32_t height, int32_t bordered);

// Extent of tile row (or column) `index` of a level side of `size` pixels: 512, except the last,
// which takes what is left.
int32_t TileExtent(int32_t index, int32_t size);

// ---- Small numeric functions ------------------------------------------------------------

// trunc(f x 255), clamped to 0..255.
int32_t FloatToByte(float f);
// trunc(sqrt(min(f, 65535)) x 255), clamped to 0..255; 0 for f <= 0.
int32_t SqrtToByte(float f);
// The float's biased exponent field minus 127.
int32_t FloatExponent(float f);

#endif  // KIVAGLOBE_IMAGESTORE_IMAGE_STORE_H
