// Tests of loading a texture map into an image that may still hold it: the pixels are kept only
// when a new load would make the same ones. The oracle throughout is a load into a fresh record.
#include <gtest/gtest.h>

#include <cstring>

#include "files/image_load.h"
#include "files/texture_maps.h"
#include "imagestore/image_store.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "tests/imagestore/test_support.h"

namespace {

// Every sample of every level equal, and the record fields a render reads.
void ExpectSamePyramid(const TiledMipImage &a, const TiledMipImage &b) {
  ASSERT_EQ(a.baseWidth, b.baseWidth);
  ASSERT_EQ(a.baseHeight, b.baseHeight);
  ASSERT_EQ(a.coarsestLevel, b.coarsestLevel);
  EXPECT_EQ(a.storageFormat, b.storageFormat);
  EXPECT_EQ(a.wrapMode, b.wrapMode);
  EXPECT_EQ(a.levelState, b.levelState);
  for (int32_t level = 0; level <= a.coarsestLevel; ++level) {
    ASSERT_EQ(a.levelWidth[level], b.levelWidth[level]);
    EXPECT_EQ(a.levelSampleWidth[level], b.levelSampleWidth[level]);
    for (int32_t y = 0; y < a.levelHeight[level]; ++y) {
      for (int32_t x = 0; x < a.levelWidth[level]; ++x) {
        ASSERT_EQ(GetPixelGray8(x, y, &a, level), GetPixelGray8(x, y, &b, level))
            << "level " << level << " at " << x << ", " << y;
      }
    }
  }
}

class TextureKeepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::ResetFakeHost();
    test_support::BindImage(&image);
    test_support::BindImage(&fresh);
  }
  void TearDown() override {
    FreeImageTiles(&image);
    FreeImageTiles(&fresh);
    EXPECT_EQ(test_support::FakeHost()->outstanding, 0);
  }
  bool Load(TiledMipImage *into, int32_t k) {
    return LoadImageFromResource(into, kCraterTextureResources[k], kCraterTextureSize, kCraterTextureSize, 1);
  }
  TiledMipImage image;
  TiledMipImage fresh;
};

TEST_F(TextureKeepTest, ASecondLoadOfTheSameMapKeepsItsTiles) {
  ASSERT_TRUE(Load(&image, 1));
  const ImageTile *tiles = image.tiles;
  const uint8_t *coarse = image.tiles[image.levelFirstTile[3]].pixels;
  const int32_t allocations = test_support::FakeHost()->allocations;
  image.wrapMode = 0;   // a field a sampler's user may have changed
  ASSERT_TRUE(Load(&image, 1));
  EXPECT_EQ(image.tiles, tiles);
  EXPECT_EQ(image.tiles[image.levelFirstTile[3]].pixels, coarse);
  EXPECT_EQ(test_support::FakeHost()->allocations, allocations);
  ASSERT_TRUE(Load(&fresh, 1));
  ExpectSamePyramid(image, fresh);
}

TEST_F(TextureKeepTest, AChangeSinceTheLastLoadGivesWhatAFreshLoadGives) {
  ASSERT_TRUE(Load(&fresh, 2));

  // Another map of the same size.
  ASSERT_TRUE(Load(&image, 0));
  ASSERT_TRUE(Load(&image, 2));
  ExpectSamePyramid(image, fresh);

  // Level 0 written in place, no level built: the load sees the difference itself.
  PutPixelGray8Checked(190, 190, &image, 0, 3);
  PutPixelGray8Checked(0, 383, &image, 0, 0);
  ASSERT_TRUE(Load(&image, 2));
  ExpectSamePyramid(image, fresh);

  // Level 0 written and the levels rebuilt: the levels hold another picture.
  for (int32_t y = 0; y < 384; ++y) PutPixelGray8Checked(100, y, &image, 0, 255);
  RebuildAllLevels(&image);
  for (int32_t y = 0; y < 384; ++y) {
    PutPixelGray8Checked(100, y, &image, 0, GetPixelGray8(100, y, &fresh, 0));
  }
  ASSERT_TRUE(Load(&image, 2));
  ExpectSamePyramid(image, fresh);

  // Made again at the same size with level 0 copied right but the levels left unbuilt: a new
  // creation is never trusted, whatever its level 0 holds.
  ASSERT_TRUE(CreateImage(&image, kCraterTextureSize, kCraterTextureSize, kFormatGray8, 0));
  for (int32_t y = 0; y < 384; ++y) {
    for (int32_t x = 0; x < 384; ++x) PutPixelGray8Checked(x, y, &image, 0, GetPixelGray8(x, y, &fresh, 0));
  }
  ASSERT_TRUE(Load(&image, 2));
  ExpectSamePyramid(image, fresh);

  // Another size.
  ASSERT_TRUE(CreateImage(&image, 100, 100, kFormatGray8, 0));
  ASSERT_TRUE(Load(&image, 2));
  ExpectSamePyramid(image, fresh);
}

TEST_F(TextureKeepTest, AMapLoadedAtAnotherSizeOrPlaneCountIsNotKept) {
  // The same resource read as a smaller picture is a different image (its first rows only).
  ASSERT_TRUE(LoadImageFromResource(&image, kCraterTextureResources[3], 200, 200, 1));
  ASSERT_TRUE(Load(&image, 3));
  ASSERT_TRUE(Load(&fresh, 3));
  ExpectSamePyramid(image, fresh);
  ASSERT_TRUE(LoadImageFromResource(&image, kCraterTextureResources[3], 200, 200, 1));
  EXPECT_EQ(image.baseWidth, 200);
  const uint8_t *bytes = nullptr;
  uint32_t count = 0;
  ASSERT_TRUE(FindRawResource(kCraterTextureResources[3], &bytes, &count));
  for (int32_t y = 0; y < 200; ++y) {
    for (int32_t x = 0; x < 200; ++x) ASSERT_EQ(GetPixelGray8(x, y, &image, 0), bytes[y * 200 + x]);
  }
  // A failed load is never kept: the next one of a real map fills the image.
  EXPECT_FALSE(LoadImageFromResource(&image, 147, kCraterTextureSize, kCraterTextureSize, 1));
  EXPECT_FALSE(LoadImageFromResource(&image, 147, kCraterTextureSize, kCraterTextureSize, 1));
  EXPECT_EQ(GetPixelGray8(0, 0, &image, 0), 0);
  ASSERT_TRUE(Load(&image, 3));
  ExpectSamePyramid(image, fresh);
}

}  // namespace
