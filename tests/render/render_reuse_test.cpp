// Renders one after another in the same state, as the dialog's preview makes them, keep what the
// set-up made for the last one where nothing changed it. Whatever changed in between -- the size,
// the zoom, a texture map's pixels or record -- each render must give the bytes of a render from
// a fresh state, which is the oracle here.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"
#include "files/image_load.h"
#include "files/texture_maps.h"
#include "imagestore/level_build.h"

namespace {

// Renders a planet whose craters show at this size (so that the crater maps' levels are read) in
// `kept` and in a fresh state; true when the bytes are equal.
bool SameAsFresh(RenderHarness *kept, int32_t width, uint32_t zoom) {
  RenderHarness fresh;
  OpenHarness(&fresh, HarnessOptions{});
  HarnessImage image[2];
  for (int k = 0; k < 2; ++k) {
    RenderHarness *harness = k == 0 ? kept : &fresh;
    ResetHarness(harness, width, 80);
    for (const char *s : {"planetSize=95", "craterCount=60", "craterSize=80"}) ApplyHarnessSetting(HarnessParameters(harness), s);
    HarnessParameters(harness)->zoomDivisor = zoom;
    RenderHarnessImage(harness, &image[k]);
  }
  CloseHarness(&fresh);
  return !image[0].samples.empty() && image[0].samples == image[1].samples;
}

TEST(RenderReuse, EachRenderEqualsARenderFromAFreshState) {
  RenderHarness harness;
  ASSERT_TRUE(OpenHarness(&harness, HarnessOptions{}));
  EXPECT_TRUE(SameAsFresh(&harness, 96, 1));
  TiledMipImage *map = &harness.globals->imageSet[2];   // a crater map, one tile per level
  const uint8_t *bytes = nullptr;
  uint32_t count = 0;
  ASSERT_TRUE(FindRawResource(kCraterTextureResources[0], &bytes, &count));
  // Every level written over in place; then also the levels built from that before level 0 is
  // put back; then the map made again and given the right level 0 without building levels.
  for (int change = 0; change < 3; ++change) {
    for (int32_t t = 0; t < map->tileCount; ++t) {
      std::memset(map->tiles[t].pixels, 255, size_t(map->tiles[t].width) * size_t(map->tiles[t].height));
    }
    if (change == 1) RebuildAllLevels(map);
    if (change == 2) CreateImage(map, kCraterTextureSize, kCraterTextureSize, kFormatGray8, 0);
    if (change >= 1) std::memcpy(map->tiles[0].pixels, bytes, size_t(count));
    EXPECT_TRUE(SameAsFresh(&harness, 96, 1)) << "change " << change;
  }
  EXPECT_TRUE(SameAsFresh(&harness, 64, 2)) << "smaller and zoomed out";
  CloseHarness(&harness);
}

}  // namespace
