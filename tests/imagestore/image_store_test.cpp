// Tests of the image store's records: the level-size rule, the tile layout, creation and freeing
// in every format, and allocation failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_memory.h"
#include "tests/imagestore/test_support.h"

using test_support::BindImage;
using test_support::ResetFakeHost;

namespace {

const uint32_t kAllFormats[] = {0, 1, 2, 3, 4, 5, 7, 9};

std::vector<std::pair<int32_t, int32_t>> Levels(int32_t w, int32_t h) {
  std::vector<std::pair<int32_t, int32_t>> sizes;
  for (int32_t l = 0; l <= CoarsestLevelIndex(w, h); ++l) {
    int32_t lw, lh;
    LevelSize(w, h, l, 0, &lw, &lh);
    sizes.emplace_back(lw, lh);
  }
  return sizes;
}

using Sizes = std::vector<std::pair<int32_t, int32_t>>;

TEST(LevelRule, WorkedExamples) {
  EXPECT_EQ(Levels(640, 480), (Sizes{{640, 480}, {320, 240}, {160, 120}, {80, 60}, {40, 30}, {20, 16},
                                     {10, 8}, {6, 4}, {4, 2}, {2, 1}, {1, 1}}));
  EXPECT_EQ(Levels(7, 5), (Sizes{{7, 5}, {4, 4}, {2, 2}, {1, 1}}));
  EXPECT_EQ(Levels(1000, 1), (Sizes{{1000, 1}, {500, 1}, {250, 1}, {126, 1}, {64, 1}, {32, 1}, {16, 1},
                                    {8, 1}, {4, 1}, {2, 1}, {1, 1}}));
  // Level 0 is not tested for 1 x 1: a 1 x 1 image has two 1 x 1 levels.
  EXPECT_EQ(Levels(1, 1), (Sizes{{1, 1}, {1, 1}}));
  EXPECT_EQ(Levels(3, 3), (Sizes{{3, 3}, {2, 2}, {1, 1}}));
  EXPECT_EQ(Levels(10, 6), (Sizes{{10, 6}, {6, 4}, {4, 2}, {2, 1}, {1, 1}}));
  // 5 and 6 both become 4 (3 is odd and rounds up); 3 becomes 2.
  int32_t w, h;
  LevelSize(5, 6, 1, 0, &w, &h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 4);
  LevelSize(513, 300, 1, 0, &w, &h);
  EXPECT_EQ(w, 258);
  EXPECT_EQ(h, 150);
  LevelSize(640, 480, 5, 0, &w, &h);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 16);
  LevelSize(640, 480, 11, 0, &w, &h);
  EXPECT_EQ(w * h, 0);
  LevelSize(640, 480, 20, 0, &w, &h);
  EXPECT_EQ(w * h, 0);
}

TEST(LevelRule, CoarsestLevelsAndCounts) {
  EXPECT_EQ(CoarsestLevelIndex(640, 480), 10);
  EXPECT_EQ(CoarsestLevelIndex(1, 1), 1);
  EXPECT_EQ(CoarsestLevelIndex(32767, 1), 15);
  EXPECT_EQ(CoarsestLevelIndex(32767, 32767), 15);
  EXPECT_EQ(TotalTileCount(640, 480, 0), 12);
  EXPECT_EQ(TotalTileCount(513, 300, 0), 12);
  EXPECT_EQ(TotalTileCount(1, 1, 0), 2);
  EXPECT_EQ(TotalTileCount(30000, 30000, 0), 3481 + 900 + 225 + 64 + 16 + 4 + 10);

  Rect16 r = {0, 0, 6, 10};
  EXPECT_EQ(TotalPyramidPixels(&r, 0), 95);
  EXPECT_EQ(PixelsBeforeLevel(&r, 0, 0), 0);
  EXPECT_EQ(PixelsBeforeLevel(&r, 2, 0), 60 + 24);
  EXPECT_EQ(PixelsBeforeLevel(&r, 25, 0), 95);
  // Bordered levels count 2 more each way, and the pyramid ends with the 2 x 2 border of the
  // first empty level.
  EXPECT_EQ(TotalPyramidPixels(&r, 1), 12 * 8 + 8 * 6 + 6 * 4 + 4 * 3 + 3 * 3 + 2 * 2);
  // The pixel sums of the largest pyramid need more than 32 bits once multiplied by a pixel size.
  Rect16 big = {0, 0, 32767, 32767};
  EXPECT_GT(TotalPyramidPixels(&big, 0) * 16, int64_t(1) << 34);

  EXPECT_EQ(TileExtent(0, 1100), 512);
  EXPECT_EQ(TileExtent(1, 1100), 512);
  EXPECT_EQ(TileExtent(2, 1100), 76);
  EXPECT_EQ(TileExtent(0, 512), 512);
  EXPECT_EQ(TileExtent(0, 1), 1);
}

// Every tile table entry lies where the addressing rule expects it, every tile has its pixels,
// and the tables agree with the level sizes.
void ExpectConsistentLayout(const TiledMipImage &image, int32_t width, int32_t height) {
  ASSERT_NE(image.tiles, nullptr);
  EXPECT_EQ(image.tileCount, TotalTileCount(width, height, 0));
  EXPECT_EQ(image.coarsestLevel, CoarsestLevelIndex(width, height));
  int32_t next = 0;
  for (int32_t l = 0; l <= image.coarsestLevel; ++l) {
    int32_t w, h;
    LevelSize(width, height, l, 0, &w, &h);
    ASSERT_EQ(image.levelWidth[l], w);
    ASSERT_EQ(image.levelHeight[l], h);
    ASSERT_EQ(image.levelMaxX[l], w - 1);
    ASSERT_EQ(image.levelFirstTile[l], next);
    const int32_t across = (w + 511) / 512, down = (h + 511) / 512;
    ASSERT_EQ(image.levelTilesPerRow[l], across);
    for (int32_t r = 0; r < down; ++r) {
      for (int32_t c = 0; c < across; ++c) {
        const ImageTile &t = image.tiles[next++];
        ASSERT_NE(t.pixels, nullptr);
        ASSERT_EQ(t.top, 512 * r);
        ASSERT_EQ(t.left, 512 * c);
        ASSERT_EQ(t.width, c + 1 < across ? 512 : w - 512 * c);
        ASSERT_EQ(t.height, r + 1 < down ? 512 : h - 512 * r);
      }
    }
    ASSERT_EQ(image.levelLastTile[l], next - 1);
  }
  EXPECT_EQ(next, image.tileCount);
  for (int32_t l = image.coarsestLevel + 1; l < kMaxImageLevels; ++l) EXPECT_EQ(image.levelWidth[l], 0);
}

TEST(ImageStore, CreatesAndFreesEveryFormatAndSize) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {511, 513}, {512, 512}, {640, 480}};
  auto *host = ResetFakeHost();
  for (uint32_t format : kAllFormats) {
    const StorageFormatInfo info = StorageFormatDescription(format);
    for (auto [w, h] : sizes) {
      SCOPED_TRACE(testing::Message() << "format " << format << ", " << w << " x " << h);
      TiledMipImage image;
      BindImage(&image);
      ASSERT_TRUE(CreateImage(&image, w, h, format, 0));
      ExpectConsistentLayout(image, w, h);
      EXPECT_EQ(image.storageFormat, format);
      EXPECT_EQ(image.bytesPerPixel, info.bytesPerPixel);
      EXPECT_EQ(image.channelCount, info.channelCount);
      EXPECT_EQ(image.scale, info.scale);
      EXPECT_EQ(image.wrapMode, 3u);
      EXPECT_EQ(image.levelState, 0u);
      Rect16 r = {0, 0, int16_t(h), int16_t(w)};
      EXPECT_EQ(image.totalBytes, uint64_t(TotalPyramidPixels(&r, 0)) * info.bytesPerPixel);
      // Every tile byte is writable (ASan checks the tile sizes).
      for (int32_t i = 0; i < image.tileCount; ++i) {
        std::memset(image.tiles[i].pixels, 0x5A, size_t(TilePixelCount(&image, i)) * image.bytesPerPixel);
      }
      EXPECT_EQ(host->outstanding, image.tileCount + 1);
      FreeImageTiles(&image);
      EXPECT_EQ(image.tiles, nullptr);
      EXPECT_EQ(image.tileCount, 0);
      EXPECT_EQ(host->outstanding, 0);
      FreeImageTiles(&image);  // twice is harmless
      EXPECT_EQ(image.levelWidth[0], w);  // the geometry is kept
    }
  }
}

TEST(ImageStore, RecordFieldsOfAWideAndATallImage) {
  ResetFakeHost();
  TiledMipImage image;
  BindImage(&image);
  ASSERT_TRUE(CreateImage(&image, 640, 480, kFormatRgba16, 0));
  EXPECT_FLOAT_EQ(image.stretchX, 640.0f / 480.0f);
  EXPECT_EQ(image.stretchY, 1.0f);
  EXPECT_FLOAT_EQ(image.aspectHOverW, 0.75f);
  EXPECT_EQ(image.levelInvWidth[5], float(1.0 / 20.0));
  EXPECT_EQ(image.invScale, float(1.0 / 32768.0));
  EXPECT_EQ(image.coarsestLevelMinus3, 7);
  EXPECT_EQ(image.baseWidth, 640);
  ASSERT_TRUE(CreateImage(&image, 3, 7, kFormatGray8, 0));  // created again, smaller
  EXPECT_EQ(image.stretchX, 1.0f);
  EXPECT_FLOAT_EQ(image.stretchY, 7.0f / 3.0f);
  EXPECT_EQ(image.levelWidth[5], 0);
  FreeImageTiles(&image);
}

TEST(ImageStore, RefusedCreationsKeepTheRecord) {
  auto *host = ResetFakeHost();
  TiledMipImage image;
  BindImage(&image);
  ASSERT_TRUE(CreateImage(&image, 20, 10, kFormatPacked8, 0));
  ImageTile *tiles = image.tiles;
  EXPECT_FALSE(CreateImage(&image, 0, 10, kFormatPacked8, 0));
  EXPECT_FALSE(CreateImage(&image, 10, -1, kFormatPacked8, 0));
  EXPECT_FALSE(CreateImage(&image, 32768, 10, kFormatPacked8, 0));
  EXPECT_FALSE(CreateImage(&image, 10, 10, 6, 0));
  EXPECT_FALSE(CreateImage(&image, 10, 10, 8, 0));
  EXPECT_FALSE(CreateImage(&image, 10, 10, 10, 0));
  EXPECT_FALSE(CreateImageEx(&image, 10, 10, kFormatGray8, 0, 1));
  EXPECT_FALSE(CreateImage(nullptr, 10, 10, kFormatGray8, 0));
  EXPECT_EQ(image.tiles, tiles);
  EXPECT_EQ(image.levelWidth[0], 20);
  EXPECT_EQ(image.storageFormat, uint32_t(kFormatPacked8));
  FreeImageTiles(&image);
  EXPECT_EQ(host->outstanding, 0);
  FreeImageTiles(nullptr);
}

TEST(ImageStore, PlaneCountsPickTheFormat) {
  ResetFakeHost();
  TiledMipImage image;
  BindImage(&image);
  const std::pair<int32_t, uint32_t> cases[] = {{1, 0}, {2, 2}, {3, 3}, {4, 3}, {0, 3}};
  for (auto [planes, format] : cases) {
    ASSERT_TRUE(CreateImageForPlanes2(&image, 5, 5, planes, 0));
    EXPECT_EQ(image.storageFormat, format) << planes << " planes";
  }
  FreeImageTiles(&image);
}

// Refusing the tile table, the first tile or the last tile leaves an image without tiles and
// nothing allocated, and the record can be created at once afterwards.
TEST(ImageStore, AllocationFailureReleasesEverything) {
  const int32_t tiles = TotalTileCount(1100, 700, 0);  // table + tiles allocations
  for (int32_t failAt : {0, 1, tiles / 2, tiles}) {
    SCOPED_TRACE(failAt);
    auto *host = ResetFakeHost();
    TiledMipImage image;
    BindImage(&image);
    ASSERT_TRUE(CreateImage(&image, 30, 30, kFormatGray8, 0));  // an old pyramid to be replaced
    host->allocations = 0;
    host->failAt = failAt;
    SetNewPointerLimit(0);  // the global-memory fallback refuses too
    EXPECT_FALSE(CreateImage(&image, 1100, 700, kFormatRgbaF32, 0));
    SetNewPointerLimit(-1);
    EXPECT_EQ(image.tileCount, 0);
    EXPECT_EQ(image.tiles, nullptr);
    EXPECT_EQ(host->outstanding, 0);
    // Reads and writes of the failed image are harmless.
    PutPixelRgbaF32Checked(1, 1, &image, 0, 1, 1, 1, 1);
    uint32_t w[4];
    GetPixelRgba32(1, 1, &image, 0, &w[0], &w[1], &w[2], &w[3]);
    EXPECT_EQ(w[0], 0u);
    host->failAt = -1;
    EXPECT_TRUE(CreateImage(&image, 1100, 700, kFormatRgbaF32, 0));
    FreeImageTiles(&image);
    EXPECT_EQ(host->outstanding, 0);
  }
}

// When the host refuses, tiles come from global memory instead, and go back there.
TEST(ImageStore, TilesFallBackToGlobalMemory) {
  auto *host = ResetFakeHost();
  host->failAt = 0;
  host->failFromThenOn = true;
  const int32_t before = OutstandingPointers();
  TiledMipImage image;
  BindImage(&image);
  ASSERT_TRUE(CreateImage(&image, 600, 20, kFormatGray16, 0));
  EXPECT_EQ(image.tiles[0].allocation, nullptr);
  EXPECT_EQ(OutstandingPointers() - before, image.tileCount + 1);
  FreeImageTiles(&image);
  EXPECT_EQ(OutstandingPointers(), before);
  EXPECT_EQ(host->outstanding, 0);
}

TEST(ImageStore, ImageSetStopsAtTheFirstFailure) {
  auto *host = ResetFakeHost();
  TiledMipImage set[kImageSetCount];
  for (auto &image : set) BindImage(&image);
  ASSERT_TRUE(CreateImageSet(set, 100, 60));
  for (auto &image : set) {
    EXPECT_EQ(image.storageFormat, uint32_t(kFormatGray8));
    EXPECT_EQ(image.levelWidth[0], 100);
    EXPECT_EQ(image.wrapSetting, 0);
  }
  for (auto &image : set) FreeImageTiles(&image);

  const int32_t perImage = TotalTileCount(100, 60, 0) + 1;
  host->allocations = 0;
  host->failAt = 3 * perImage + 2;  // inside the fourth image
  SetNewPointerLimit(0);
  EXPECT_FALSE(CreateImageSet(set, 100, 60));
  SetNewPointerLimit(-1);
  for (int i = 0; i < kImageSetCount; ++i) EXPECT_EQ(set[i].tiles != nullptr, i < 3) << i;
  for (auto &image : set) FreeImageTiles(&image);
  EXPECT_EQ(host->outstanding, 0);
}

TEST(ImageStore, Questions) {
  ResetFakeHost();
  TiledMipImage a, b;
  BindImage(&a);
  BindImage(&b);
  ASSERT_TRUE(CreateImage(&a, 640, 480, kFormatPacked8, 0));
  ASSERT_TRUE(CreateImage(&b, 640, 480, kFormatScalar32, 0));
  EXPECT_TRUE(SameImageSize(&a, &b));
  EXPECT_TRUE(SameImageGeometry(&a, &b));  // both 4 bytes per pixel
  ASSERT_TRUE(CreateImage(&b, 640, 480, kFormatGray8, 0));
  EXPECT_TRUE(SameImageSize(&a, &b));
  EXPECT_FALSE(SameImageGeometry(&a, &b));

  Rect16 r;
  GetLevelRect(&a, 5, &r);
  EXPECT_EQ(r.right, 20);
  EXPECT_EQ(r.bottom, 16);
  EXPECT_EQ(r.left, 0);
  GetLevelRect(&a, 11, &r);
  EXPECT_EQ(r.right | r.bottom | r.left | r.top, 0);
  GetLevelRect(&a, -1, &r);
  EXPECT_EQ(r.right, 0);
  GetLevelRect(nullptr, 0, &r);
  EXPECT_EQ(r.right, 0);

  EXPECT_EQ(TilePixelCount(&a, 0), 512u * 480u);
  EXPECT_EQ(TilePixelCount(&a, 1), 128u * 480u);
  EXPECT_EQ(TilePixelCount(&a, 12), 0u);
  EXPECT_EQ(TilePixelCount(&a, -1), 0u);
  FreeImageTiles(&a);
  FreeImageTiles(&b);
}

TEST(ImageStore, ByteConversions) {
  EXPECT_EQ(FloatToByte(0.5f), 127);
  EXPECT_EQ(FloatToByte(1.0f), 255);
  EXPECT_EQ(FloatToByte(7.0f), 255);
  EXPECT_EQ(FloatToByte(-0.5f), 0);
  EXPECT_EQ(FloatToByte(1e30f), 255);
  EXPECT_EQ(FloatToByte(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(SqrtToByte(0.25f), 127);
  EXPECT_EQ(SqrtToByte(1.0f), 255);
  EXPECT_EQ(SqrtToByte(-1.0f), 0);
  EXPECT_EQ(SqrtToByte(1e9f), 255);
  EXPECT_EQ(SqrtToByte(std::numeric_limits<float>::infinity()), 255);
  EXPECT_EQ(FloatExponent(1.0f), 0);
  EXPECT_EQ(FloatExponent(6.0f), 2);
  EXPECT_EQ(FloatExponent(0.3f), -2);
}

// The byte total of a pyramid larger than 4 GB needs 64 bits. Every tile is served from one
// shared block, so nothing of that size is allocated, but every tile is still cleared: 64-bit
// builds only, as that takes minutes under the 32-bit emulation. (The test returns at once there:
// GTEST_SKIP crashes the 32-bit Windows program under Wine.)
TEST(ImageStore, ByteTotalBeyondFourGigabytes) {
  if (sizeof(void *) < 8) return;
  static uint8_t *shared = static_cast<uint8_t *>(std::malloc(512 * 512 * 16));
  static int32_t live = 0;
  HostBufferProcs procs = {
      kCurrentBufferProcsVersion, kCurrentBufferProcsCount,
      [](int32_t size, HostBufferID *id) -> OSErr16 {
        // The first block is the tile table, which must be a block of its own.
        *id = live == 0 ? static_cast<HostBufferID>(std::malloc(size_t(size))) : reinterpret_cast<HostBufferID>(shared);
        ++live;
        return kResultOk;
      },
      [](HostBufferID id, HostBool) -> char * { return reinterpret_cast<char *>(id); },
      [](HostBufferID) {},
      [](HostBufferID id) {
        if (reinterpret_cast<uint8_t *>(id) != shared) std::free(id);
        --live;
      },
      []() -> int32_t { return 1 << 30; }};
  TiledMipImage image;
  InitImageRecord(&image, &procs, nullptr, nullptr);
  ASSERT_TRUE(CreateImage(&image, 16000, 16000, kFormatRgbaF32, 0));
  Rect16 r = {0, 0, 16000, 16000};
  EXPECT_EQ(image.totalBytes, uint64_t(TotalPyramidPixels(&r, 0)) * 16u);
  EXPECT_GT(image.totalBytes, uint64_t(1) << 32);
  FreeImageTiles(&image);
  EXPECT_EQ(live, 0);
}

}  // namespace
