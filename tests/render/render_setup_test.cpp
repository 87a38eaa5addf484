// Tests of the render set-up: the worked numbers of the default planet on a 1000 x 800
// rectangle, the storm and crater placement, the row buffer's marks and a failed row buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "bench/render_harness.h"
#include "files/image_load.h"
#include "imagestore/image_store.h"
#include "plugin/host_memory.h"
#include "render/frame_routines.h"
#include "render/render_setup.h"
#include "render/row_renderer.h"

namespace {

// A harness of the given size with the default parameters, its set-up run.
class SetupTest : public ::testing::Test {
 protected:
  void Open(int32_t width, int32_t height, int32_t depth = 8) {
    HarnessOptions options;
    options.width = width;
    options.height = height;
    options.depth = depth;
    ASSERT_TRUE(OpenHarness(&harness_, options));
    globals_ = harness_.globals;
    run_ = globals_->runState;
    p_ = HarnessParameters(&harness_);
  }
  void Prepare() {
    harness_.result = 0;
    PrepareRenderConstants(globals_);
    ASSERT_EQ(harness_.result, 0);
  }
  void TearDown() override { CloseHarness(&harness_); }

  RenderHarness harness_;
  PluginGlobals *globals_ = nullptr;
  RunState *run_ = nullptr;
  ParameterBlock *p_ = nullptr;
};

TEST(PixelSizeFromPercent, WorkedValuesAndExtremes) {
  EXPECT_EQ(PixelSizeFromPercent(65, 1000, 800), 337);   // 4225 / 10 = 422; 800 x 422 / 1000
  EXPECT_EQ(PixelSizeFromPercent(65, 300, 300), 126);
  EXPECT_EQ(PixelSizeFromPercent(1, 1000, 800), 1);       // p = 0: the product is below 1
  EXPECT_EQ(PixelSizeFromPercent(100, 1000, 800), 800);
  EXPECT_EQ(PixelSizeFromPercent(65, -5, 800), 1);
  // Unchecked percents: 32-bit arithmetic would overflow; the size is capped instead.
  EXPECT_EQ(PixelSizeFromPercent(100000, 1000, 800), kMaxPixelSize);
  EXPECT_EQ(PixelSizeFromPercent(0xFFFFFFFFu, 32767, 32767), kMaxPixelSize);
}

TEST_F(SetupTest, DefaultPlanetOnThousandByEightHundred) {
  Open(1000, 800);
  Prepare();
  EXPECT_EQ(globals_->planetRadiusPixels, 337);
  RenderView view;
  SetupRenderView(globals_, &view);
  EXPECT_FLOAT_EQ(view.radius, 336.5f);
  EXPECT_EQ(view.centreX, 500);
  EXPECT_EQ(view.centreY, 400);
  EXPECT_NEAR(view.logRadius, std::log(336.5), 1e-6);
  EXPECT_NEAR(run_->reliefGain, 0.72825, 1e-6);
  EXPECT_NEAR(run_->craterLevelBias, std::log(673.0) - std::log(384.0), 1e-5);
  EXPECT_FLOAT_EQ(run_->modelAxis[1], 1.0f);

  // Sea level 50, and the sea colours from the default sea colour (high bytes 12, 23, 71).
  EXPECT_EQ(run_->seaLevelValue, 0.0f);
  const float shallow[3] = {11.953f, 22.910f, 70.723f};
  const float deep[3] = {19.938f, 10.758f, 63.650f};
  for (int k = 0; k < 3; k++) {
    EXPECT_NEAR(run_->shallowSeaColour[k], shallow[k], 0.01) << k;
    EXPECT_NEAR(run_->deepSeaColour[k], deep[k], 0.01) << k;
  }

  // Directions written back into the block.
  EXPECT_EQ(p_->lightAzimuth, 225);
  EXPECT_NEAR(p_->lightTilt, 0.961665, 1e-5);
  EXPECT_EQ(p_->axisAzimuth, 270);
  EXPECT_FLOAT_EQ(p_->axisTilt, 1.0f);

  // Radii and factors.
  EXPECT_NEAR(StormRadius(globals_), 0.18, 1e-6);
  EXPECT_NEAR(CraterRadius(globals_), 0.06, 1e-6);
  EXPECT_NEAR(run_->craterDepthFactor, 0.002, 1e-7);
  EXPECT_EQ(run_->cloudOctaves, 3);   // (1 - 0.57) x 7 = 3.01 in float
  EXPECT_EQ(run_->cloudOctavesMinusOne, 2);
  EXPECT_EQ(run_->cloudExtraOctaves, 5);   // trunc(log2 336.5 - 3)
  EXPECT_NEAR(run_->cloudExtraFrequency, 9.2438, 1e-3);
  EXPECT_NEAR(run_->cloudLog2Radius, std::log2(336.5), 1e-5);
  EXPECT_EQ(run_->cloudBase, 0.0f);
  EXPECT_EQ(run_->cloudImageOffset, 0.0f);
  EXPECT_NEAR(run_->cloudEdgeGain, 2.5, 1e-6);
  EXPECT_NEAR(run_->cloudShadowStrength, 0.8, 1e-6);
  EXPECT_NEAR(run_->cloudShellScale, 0.975, 1e-6);
  EXPECT_NEAR(run_->airShellThickness, 0.099, 1e-6);

  // The row loop starts again.
  EXPECT_EQ(globals_->currentRow, 0);
  EXPECT_EQ(globals_->runActive, 1);
  EXPECT_EQ(globals_->progressTotal, 801);

  // The map uses half the height as its radius, whatever the planet size.
  p_->outputMode = 3;
  p_->planetSize = 5;
  SetupRenderView(globals_, &view);
  EXPECT_FLOAT_EQ(view.radius, 400.0f);
}

TEST_F(SetupTest, SixteenBitSeaColoursAndSeaLevels) {
  Open(200, 100, 16);
  Prepare();
  const float shallow[3] = {1536.0f, 2944.0f, 9088.0f};
  const float deep[3] = {2562.0f, 1382.4f, 8179.2f};
  for (int k = 0; k < 3; k++) {
    EXPECT_NEAR(run_->shallowSeaColour[k], shallow[k], 0.05) << k;
    EXPECT_NEAR(run_->deepSeaColour[k], deep[k], 0.5) << k;
  }
  const struct {
    uint32_t slider;
    float value;
  } levels[] = {{0, -0.4f}, {25, -0.1f}, {50, 0.0f}, {75, 0.1f}, {100, 0.4f}};
  for (const auto &l : levels) {
    p_->seaLevel = l.slider;
    Prepare();
    EXPECT_NEAR(run_->seaLevelValue, l.value, 1e-6) << l.slider;
  }
}

TEST(RectCenterAngle, DirectionsOnTheDirectionBall) {
  const Rect16 circle = {-33, -33, 33, 33};
  auto angle = [&](int16_t h, int16_t v) {
    int32_t a = -1;
    RectCenterAngle(&circle, HostPoint{v, h}, &a);
    return a;
  };
  EXPECT_EQ(angle(0, -33), 0);     // straight up
  EXPECT_EQ(angle(33, 0), 90);
  EXPECT_EQ(angle(0, 33), 180);
  EXPECT_EQ(angle(-33, 0), 270);
  EXPECT_EQ(angle(-22, -22), 315);
  EXPECT_EQ(angle(16, 16), 134);   // 180 - 45.0000012: the float arctangent of -1 is beyond -pi/4
  EXPECT_EQ(angle(16, -16), 45);
  EXPECT_EQ(angle(0, 0), 0);
}

TEST_F(SetupTest, AzimuthsOfOtherDirections) {
  Open(64, 64);
  const struct {
    float x, y;
    int32_t azimuth;
  } cases[] = {{1.0f, 0.0f, 0}, {-1.0f, 0.0f, 180}, {0.0f, 1.0f, 90}, {-1.0f, -1.0f, 225},
                // The arctangent is taken in single precision: atanf(-1) lies just beyond -pi/4, so
                // the diagonal below the centre truncates to 134 degrees, an azimuth of 44.
                {0.5f, 0.5f, 44}};
  for (const auto &c : cases) {
    p_->axisVector[0] = c.x;
    p_->axisVector[1] = c.y;
    p_->axisVector[2] = 0.0f;
    Prepare();
    EXPECT_EQ(p_->axisAzimuth, c.azimuth) << c.x << "," << c.y;
  }
}

TEST_F(SetupTest, StormCountsAndTheTableCapacity) {
  Open(64, 64);
  p_->stormCount = 0;
  Prepare();
  EXPECT_EQ(globals_->stormsPlaced, 1);   // one storm even for a count of 0
  p_->outputMode = 3;
  Prepare();
  EXPECT_EQ(globals_->stormsPlaced, 2);   // a second pass on the far half for the maps

  // Storm size 0 never overlaps, so only the latitude test rejects: two passes of 101 would
  // write past the 200-entry table.
  p_->stormSize = 0;
  p_->stormCount = 100;
  p_->outputMode = 1;
  Prepare();
  EXPECT_EQ(globals_->stormsPlaced, 101);
  p_->outputMode = 3;
  Prepare();
  EXPECT_EQ(globals_->stormsPlaced, kStormCapacity);
  p_->stormCount = 5000;
  Prepare();
  EXPECT_EQ(globals_->stormsPlaced, kStormCapacity);

  // Storms turn with the planet's axis and stay on the unit sphere.
  p_->stormSize = 30;
  p_->stormCount = 4;
  p_->axisVector[0] = 0.6f;
  p_->axisVector[1] = -0.8f;
  Prepare();
  ASSERT_GT(globals_->stormsPlaced, 0);
  for (int32_t k = 0; k < globals_->stormsPlaced; k++) {
    const StormTable &s = run_->storms;
    const double len = std::sqrt(double(s.centreX[k]) * s.centreX[k] + double(s.centreY[k]) * s.centreY[k] +
                                 double(s.centreZ[k]) * s.centreZ[k]);
    EXPECT_NEAR(len, 1.0, 1e-5);
    EXPECT_NEAR(s.radiusSquared[k], s.radius[k] * s.radius[k], 1e-7);
  }
}

TEST_F(SetupTest, StormsOfTheTwoHemispheresTurnOppositeWays) {
  Open(64, 64);
  p_->stormCount = 30;
  p_->outputMode = 3;
  Prepare();
  for (int32_t k = 0; k < globals_->stormsPlaced; k++) {
    const float y = run_->storms.centreY[k];
    const float strength = run_->storms.strength[k];
    if (y != 0.0f) {
      EXPECT_EQ(y < 0.0f, strength < 0.0f) << k;
    }
  }
}

TEST_F(SetupTest, CraterCounts) {
  Open(64, 64);
  p_->craterCount = 0;
  Prepare();
  EXPECT_EQ(globals_->cratersPlaced, 1);   // the first crater is never rejected
  p_->craterCount = 40;
  Prepare();
  EXPECT_EQ(globals_->cratersPlaced, 41);
  p_->craterCount = 5000;
  Prepare();
  EXPECT_EQ(globals_->cratersPlaced, kCraterCapacity);
  for (int32_t k = 0; k < globals_->cratersPlaced; k++) {
    const CraterRecord &c = run_->craters[k];
    EXPECT_NEAR(c.invHalfSize * c.halfSize, 1.0f, 1e-6);
    EXPECT_NEAR(c.logHalfSize, std::log(c.halfSize), 1e-6);
    EXPECT_NEAR(c.u[0] * c.t[0] + c.u[1] * c.t[1] + c.u[2] * c.t[2], 0.0f, 1e-6);   // tangent axes
  }
}

TEST_F(SetupTest, PlacementDependsOnTheSeedModulo2048Only) {
  Open(64, 64);
  p_->randomSeed = 77;
  Prepare();
  const int32_t storms = globals_->stormsPlaced;
  const StormTable first = run_->storms;
  const CraterRecord crater = run_->craters[0];
  p_->randomSeed = 77 + 2048;
  Prepare();
  ASSERT_EQ(globals_->stormsPlaced, storms);
  for (int32_t k = 0; k < storms; k++) EXPECT_EQ(run_->storms.centreX[k], first.centreX[k]);
  EXPECT_EQ(run_->craters[0].halfSize, crater.halfSize);
  p_->randomSeed = 78;
  Prepare();
  EXPECT_NE(run_->craters[0].u[0], crater.u[0]);
}

TEST_F(SetupTest, RandomUnitVectorsAreUnitOrFallBack) {
  Open(64, 64);
  Prepare();
  uint32_t index = 0;
  for (int i = 0; i < 300; i++) {
    float x, y, z;
    const uint32_t before = index;
    RandomUnitVectorFromTable(&x, &y, &z, &index, globals_);
    EXPECT_NEAR(x * x + y * y + z * z, 1.0f, 1e-5);
    EXPECT_EQ((index - before) % 3, 0u);
  }
  // A table of bytes 255 only: every draw is (1, 1, 1), outside the ball, 16 times.
  for (uint32_t &a : run_->noiseTables.A) a = 255;
  float x, y, z;
  index = 5;
  RandomUnitVectorFromTable(&x, &y, &z, &index, globals_);
  EXPECT_EQ(x, 0.0f);
  EXPECT_EQ(y, 0.0f);
  EXPECT_EQ(z, 1.0f);
  EXPECT_EQ(index, 5u + 48u);
}

TEST_F(SetupTest, ModelAxisMatrixCarriesThePoleOntoTheAxis) {
  const float axes[][3] = {{0.0f, 1.0f, 0.0f}, {0.6f, 0.8f, 0.0f}, {0.0f, -1.0f, 0.0f}, {0.36f, 0.48f, 0.8f}};
  for (const auto &a : axes) {
    float m[16];
    ModelAxisMatrix(a, m);
    // The pole (0, 1, 0) as a row vector times the matrix: row 1.
    if (a[1] > -1.0f) {
      EXPECT_NEAR(m[4], a[0], 1e-6);
      EXPECT_NEAR(m[5], a[1], 1e-6);
      EXPECT_NEAR(m[6], a[2], 1e-6);
    }
  }
}

TEST_F(SetupTest, ZoomAndTinyPlanetsGiveRadiusOne) {
  Open(100, 80);
  p_->zoomDivisor = 500;
  Prepare();
  EXPECT_EQ(globals_->planetRadiusPixels, 1);
  RenderView view;
  SetupRenderView(globals_, &view);
  EXPECT_EQ(view.radius, 1.0f);
  p_->zoomDivisor = 1;
  p_->planetSize = 1;
  Prepare();
  EXPECT_EQ(globals_->planetRadiusPixels, 1);
  // A one-pixel planet (radius 0.5) has log2 -1 and no octaves at all.
  EXPECT_EQ(run_->cloudOctaves, -1);
  EXPECT_EQ(run_->cloudExtraOctaves, 0);
  p_->planetSize = 65;
  p_->cloudViscosity = 100;
  Prepare();
  EXPECT_EQ(run_->cloudOctaves, 0);
  EXPECT_EQ(run_->cloudOctavesMinusOne, -1);
}

TEST_F(SetupTest, EveryRecordOfTheRowBufferIsMarked) {
  Open(120, 90);
  float *records = static_cast<float *>(globals_->buffers[kBufferRow]);
  const int32_t count = globals_->bufferSizes[kRowBufferSizeIndex] / kRowBufferBytesPerColumn;
  ASSERT_GT(count, 120 + 2);
  for (int32_t k = 0; k < count; k++) {
    records[k * kPixelRecordFloats] = 123.0f;
    records[k * kPixelRecordFloats + 1] = 456.0f;
  }
  // A narrow request (a preview row, say) marks the whole buffer, not just its width.
  harness_.record.inRect = {0, 0, 1, 10};
  harness_.record.outRect = harness_.record.inRect;
  Prepare();
  for (int32_t k = 0; k < count; k++) {
    ASSERT_EQ(records[k * kPixelRecordFloats], -2.0f) << k;
    ASSERT_EQ(records[k * kPixelRecordFloats + 1], -2.0f) << k;
  }
}

TEST_F(SetupTest, AFailedRowBufferStopsTheSetUp) {
  Open(64, 64);
  Prepare();
  globals_->stormsPlaced = -7;
  // A request far wider than the buffer, and no memory to grow it.
  harness_.record.inRect = {0, 0, 1, 30000};
  SetNewPointerLimit(0);
  harness_.result = 0;
  EXPECT_EQ(PrepareRenderConstants(globals_), 0);
  SetNewPointerLimit(-1);
  EXPECT_EQ(harness_.result, kResultUserCanceled);
  EXPECT_EQ(globals_->buffers[kBufferRow], nullptr);
  EXPECT_EQ(globals_->stormsPlaced, -7);   // nothing after the row buffer ran
  // The row renderer then renders nothing (and touches no memory).
  globals_->currentRowCopy = 0;
  RenderRow(globals_);
}

}  // namespace

namespace {

// The reach of one level by brute force: the farthest non-neutral pixel of all, plus 4 pixels.
float ReachOfLevel(const TiledMipImage &image, int32_t level) {
  const float w = float(image.levelWidth[level]), h = float(image.levelHeight[level]);
  float farthest2 = -1.0f;
  for (int32_t t = image.levelFirstTile[level]; t <= image.levelLastTile[level]; t++) {
    const ImageTile &tile = image.tiles[t];
    for (int32_t y = 0; y < tile.height; y++) {
      for (int32_t x = 0; x < tile.width; x++) {
        if (tile.pixels[y * tile.width + x] == kTextureNeutralValue) continue;
        const float dx = (float(tile.left + x) + 0.5f) / w - 0.5f;
        const float dy = (float(tile.top + y) + 0.5f) / h - 0.5f;
        farthest2 = std::fmax(farthest2, dx * dx + dy * dy);
      }
    }
  }
  return (farthest2 < 0.0f ? 0.0f : std::sqrt(farthest2)) + 4.0f / std::fmin(w, h);
}

void ExpectReachesOfEveryTexture(PluginGlobals *globals) {
  for (int32_t k = 0; k < kCraterTextureCount; k++) {
    const TiledMipImage &image = globals->imageSet[2 + k];
    float reach[kMaxImageLevelsForRender + 1];
    for (int32_t level = 0; level <= kMaxImageLevelsForRender; level++) {
      reach[level] = level <= image.coarsestLevel && level < kMaxImageLevelsForRender ? ReachOfLevel(image, level) : 2.0f;
    }
    for (int32_t level = 0; level < kMaxImageLevelsForRender; level++) {
      ASSERT_EQ(globals->runState->craterFlatRadius[k][level], std::fmax(reach[level], reach[level + 1]))
          << "texture " << k << " level " << level;
    }
  }
}

}  // namespace

// Rows are scanned many pixels at a time from both ends: non-neutral pixels at the ends of a row,
// next to a group's boundary and alone on a row must all be found, as a pixel-by-pixel search of
// the whole level finds them.
TEST_F(SetupTest, CraterTextureReachFindsTheFarthestPixelOfEveryLevel) {
  Open(64, 64);
  Prepare();
  ExpectReachesOfEveryTexture(globals_);

  TiledMipImage &image = globals_->imageSet[2];
  ASSERT_EQ(image.levelWidth[0], 384);
  for (int32_t level = 0; level <= image.coarsestLevel; level++) {
    for (int32_t t = image.levelFirstTile[level]; t <= image.levelLastTile[level]; t++) {
      const ImageTile &tile = image.tiles[t];
      std::fill(tile.pixels, tile.pixels + tile.width * tile.height, uint8_t(kTextureNeutralValue));
    }
  }
  // Level 0: one pixel at (383, 191), so the reach is its distance from the centre plus 4 / 384.
  uint8_t *level0 = image.tiles[image.levelFirstTile[0]].pixels;
  level0[191 * 384 + 383] = 127;
  MeasureCraterTextures(globals_);
  const double dx = 383.5 / 384 - 0.5, dy = 191.5 / 384 - 0.5;
  EXPECT_NEAR(run_->craterFlatRadius[0][0], std::sqrt(dx * dx + dy * dy) + 4.0 / 384, 1e-6);
  // Levels 1 and 2 are neutral: their reaches are the margins alone, the larger 4 / 96.
  EXPECT_NEAR(run_->craterFlatRadius[0][1], 4.0 / 96, 1e-7);
  ExpectReachesOfEveryTexture(globals_);

  // Pixels at every position near the sixteen-pixel boundaries of some rows of levels 0 to 2.
  for (int32_t level = 0; level <= 2; level++) {
    const ImageTile &tile = image.tiles[image.levelFirstTile[level]];
    for (const int32_t x : {0, 1, 14, 15, 16, 17, 31, 32, tile.width - 17, tile.width - 16, tile.width - 2, tile.width - 1}) {
      for (int32_t y = 0; y < tile.height; y++) {
        uint8_t *row = tile.pixels + y * tile.width;
        std::fill(row, row + tile.width, uint8_t(kTextureNeutralValue));
      }
      tile.pixels[(x % tile.height) * tile.width + x] = 200;
      tile.pixels[(tile.height - 1 - x % tile.height) * tile.width + (tile.width - 1 - x)] = 0;
      MeasureCraterTextures(globals_);
      ExpectReachesOfEveryTexture(globals_);
    }
  }
}
