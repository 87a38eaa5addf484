// Tests of the marks that let a loader keep the pixels of an image between loads: what keeps a
// mark, what drops it, and the record a renewal gives back.
#include <gtest/gtest.h>

#include <cstring>

#include "imagestore/image_store.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_memory.h"
#include "tests/imagestore/test_support.h"

using test_support::BindImage;
using test_support::ResetFakeHost;

namespace {

class ContentMarkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeHost();
    BindImage(&image);
    ASSERT_TRUE(CreateImage(&image, 70, 40, kFormatGray8, 0));
  }
  void TearDown() override { FreeImageTiles(&image); }
  TiledMipImage image;
};

TEST_F(ContentMarkTest, AMarkHoldsForItsKeyAndTravelsWithTheRecord) {
  EXPECT_FALSE(ImageHasContentMark(&image));
  EXPECT_FALSE(ImageHoldsContent(&image, 7));
  MarkImageContent(&image, 7);
  EXPECT_TRUE(ImageHoldsContent(&image, 7));
  EXPECT_FALSE(ImageHoldsContent(&image, 8));
  // A record copied by value shares the tiles, and so the mark.
  const TiledMipImage copy = image;
  EXPECT_TRUE(ImageHoldsContent(&copy, 7));
  // Key 0 is no mark, and an image without tiles takes none.
  DropImageContentMark(&image);
  MarkImageContent(&image, 0);
  EXPECT_FALSE(ImageHasContentMark(&image));
  TiledMipImage bare;
  BindImage(&bare);
  MarkImageContent(&bare, 7);
  EXPECT_FALSE(ImageHasContentMark(&bare));
}

TEST_F(ContentMarkTest, CreatingFreeingAndBuildingLevelsDropTheMark) {
  MarkImageContent(&image, 7);
  ASSERT_TRUE(CreateImage(&image, 70, 40, kFormatGray8, 0));   // the same size again
  EXPECT_FALSE(ImageHoldsContent(&image, 7));

  // Freed and made again: even where the new tiles reuse the old memory, the mark is gone.
  MarkImageContent(&image, 7);
  FreeImageTiles(&image);
  EXPECT_FALSE(ImageHoldsContent(&image, 7));
  ASSERT_TRUE(CreateImage(&image, 70, 40, kFormatGray8, 0));
  EXPECT_FALSE(ImageHoldsContent(&image, 7));

  // A failed re-creation leaves no tiles and no mark.
  MarkImageContent(&image, 7);
  test_support::FakeHost()->failAt = test_support::FakeHost()->allocations;
  SetNewPointerLimit(0);   // the global-memory fallback refuses too
  EXPECT_FALSE(CreateImage(&image, 90, 30, kFormatGray8, 0));
  SetNewPointerLimit(-1);
  test_support::FakeHost()->failAt = -1;
  EXPECT_FALSE(ImageHoldsContent(&image, 7));
  ASSERT_TRUE(CreateImage(&image, 70, 40, kFormatGray8, 0));

  // Any level built, whole or in part, means level 0 changed.
  MarkImageContent(&image, 7);
  RebuildAllLevels(&image);
  EXPECT_FALSE(ImageHoldsContent(&image, 7));
  MarkImageContent(&image, 7);
  const Rect16 changed = {3, 3, 9, 9};
  RebuildLevelsInRect(&image, &changed, 0, image.coarsestLevel);
  EXPECT_FALSE(ImageHoldsContent(&image, 7));
  MarkImageContent(&image, 7);
  Rect16 one = {0, 0, 2, 2};
  BuildNextLevel(&image, 1, &one);
  EXPECT_FALSE(ImageHoldsContent(&image, 7));
}

TEST_F(ContentMarkTest, RenewalGivesTheRecordOfAFreshCreationAndKeepsThePixels) {
  MarkImageContent(&image, 7);
  PutPixelGray8Checked(5, 6, &image, 0, 201);
  ImageTile *tiles = image.tiles;
  // Fields a user of the image may have changed since it was made.
  image.wrapMode = 1;
  image.levelState = 2;
  image.levelSampleWidth[0] = 9;
  image.levelWidthF[2] = 0.5f;
  image.aspectHOverW = 3.0f;
  image.invScale = 1.0f;

  // Other sizes, formats or edge rules are not renewed, and nothing changes.
  EXPECT_FALSE(RenewImageRecord(&image, 71, 40, kFormatGray8, 0));
  EXPECT_FALSE(RenewImageRecord(&image, 70, 41, kFormatGray8, 0));
  EXPECT_FALSE(RenewImageRecord(&image, 70, 40, kFormatGray16, 0));
  EXPECT_FALSE(RenewImageRecord(&image, 70, 40, kFormatGray8, -1));
  EXPECT_EQ(image.wrapMode, 1u);
  EXPECT_EQ(image.levelSampleWidth[0], 9);

  ASSERT_TRUE(RenewImageRecord(&image, 70, 40, kFormatGray8, 0));
  EXPECT_EQ(image.tiles, tiles);
  EXPECT_TRUE(ImageHoldsContent(&image, 7));
  EXPECT_EQ(GetPixelGray8(5, 6, &image, 0), 201);

  // The oracle: a record freshly created at the same size, compared field by field up to the
  // tile table and the mark.
  TiledMipImage fresh;
  BindImage(&fresh);
  ASSERT_TRUE(CreateImage(&fresh, 70, 40, kFormatGray8, 0));
  TiledMipImage renewed;
  std::memcpy(&renewed, &image, sizeof renewed);
  renewed.tiles = fresh.tiles;
  renewed.tilesAllocation = fresh.tilesAllocation;
  renewed.contentKey = fresh.contentKey;
  EXPECT_EQ(std::memcmp(&renewed, &fresh, sizeof renewed), 0);
  FreeImageTiles(&fresh);

  TiledMipImage bare;
  BindImage(&bare);
  EXPECT_FALSE(RenewImageRecord(&bare, 70, 40, kFormatGray8, 0));
}

}  // namespace
