// Renders one after another in the same state, as the dialog's preview makes them: each must give
// the bytes that a render from a fresh state gives, whatever changed in between (the settings,
// the size, the texture maps' images). The fresh render is the oracle.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"
#include "files/image_load.h"
#include "imagestore/image_store.h"

namespace {

struct Step {
  int32_t width;
  int32_t height;
  std::initializer_list<const char *> settings;
};

bool Apply(RenderHarness *harness, const Step &step) {
  if (!ResetHarness(harness, step.width, step.height)) return false;
  for (const char *s : step.settings) {
    if (!ApplyHarnessSetting(HarnessParameters(harness), s)) return false;
  }
  return true;
}

HarnessImage FreshRender(const Step &step) {
  HarnessImage image;
  HarnessOptions o;
  o.width = step.width;
  o.height = step.height;
  RenderHarness harness;
  EXPECT_TRUE(OpenHarness(&harness, o));
  EXPECT_TRUE(Apply(&harness, step));
  EXPECT_TRUE(RenderHarnessImage(&harness, &image));
  CloseHarness(&harness);
  return image;
}

class RenderReuseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HarnessOptions o;
    o.width = 96;
    o.height = 80;
    ASSERT_TRUE(OpenHarness(&harness, o));
  }
  void TearDown() override { CloseHarness(&harness); }
  // Renders `step` in the long-lived state and compares it with a fresh state's render.
  void ExpectAsFresh(const Step &step, const char *what) {
    ASSERT_TRUE(Apply(&harness, step)) << what;
    HarnessImage image;
    ASSERT_TRUE(RenderHarnessImage(&harness, &image)) << what;
    const HarnessImage expected = FreshRender(step);
    ASSERT_EQ(image.samples.size(), expected.samples.size()) << what;
    EXPECT_TRUE(image.samples == expected.samples) << what;
  }
  TiledMipImage *Texture(int32_t k) { return &harness.globals->imageSet[k]; }
  RenderHarness harness;
};

const Step kCraters = {96, 80, {"planetSize=95", "craterCount=60", "craterSize=80", "craterTexture=100"}};
const Step kLuna = {96, 80, {"realLuna=1", "planetSize=90", "lunarClimate=1"}};

TEST_F(RenderReuseTest, SettingsAndSizesChangedBetweenRenders) {
  ExpectAsFresh({96, 80, {}}, "first render");
  ExpectAsFresh({96, 80, {}}, "the same again");
  ExpectAsFresh(kCraters, "craters");
  ExpectAsFresh({96, 80, {"planetSize=95", "craterCount=60", "zoomDivisor=2"}}, "zoomed out");
  ExpectAsFresh({64, 48, {"planetSize=95", "craterCount=60"}}, "smaller");
  ExpectAsFresh(kLuna, "lunar relief");
  ExpectAsFresh({96, 80, {"randomSeed=7", "craterCount=30", "outputMode=3"}}, "another planet as a map");
  ExpectAsFresh(kCraters, "craters again");
}

TEST_F(RenderReuseTest, TextureImagesChangedBetweenRenders) {
  // The pixels of the crater maps cleared in place, every level.
  ExpectAsFresh(kCraters, "before");
  for (int32_t k = 2; k < 6; ++k) {
    TiledMipImage *image = Texture(k);
    ASSERT_NE(image->tiles, nullptr);
    for (int32_t t = 0; t < image->tileCount; ++t) {
      std::memset(image->tiles[t].pixels, 0, size_t(image->tiles[t].width) * size_t(image->tiles[t].height));
    }
  }
  ExpectAsFresh(kCraters, "crater maps cleared");

  // The lunar relief made again at another size, and a crater map freed.
  ExpectAsFresh(kLuna, "lunar relief");
  ASSERT_TRUE(CreateImage(Texture(1), 64, 64, kFormatGray8, 0));
  std::memset(Texture(1)->tiles[0].pixels, 255, 64 * 64);
  FreeImageTiles(Texture(3));
  ExpectAsFresh(kLuna, "lunar relief remade");
  ExpectAsFresh(kCraters, "crater map freed");

  // The maps as the set-up leaves them are those of a fresh load.
  TiledMipImage fresh;
  InitImageRecord(&fresh, nullptr, nullptr, nullptr);
  ASSERT_TRUE(LoadImageFromResource(&fresh, kCraterTextureResources[1], kCraterTextureSize, kCraterTextureSize, 1));
  const TiledMipImage *kept = Texture(3);
  ASSERT_EQ(kept->tileCount, fresh.tileCount);
  for (int32_t t = 0; t < fresh.tileCount; ++t) {
    const size_t bytes = size_t(fresh.tiles[t].width) * size_t(fresh.tiles[t].height);
    EXPECT_EQ(std::memcmp(kept->tiles[t].pixels, fresh.tiles[t].pixels, bytes), 0) << "tile " << t;
  }
  FreeImageTiles(&fresh);
}

}  // namespace
