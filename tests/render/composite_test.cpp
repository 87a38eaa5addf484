// Tests of the pixel compositing: channel classes, over-range spill, grey conversion, alpha, the
// output-mode rules, the preview's checkerboard and mask, and the export image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "bench/render_harness.h"
#include "imagestore/image_store.h"
#include "imagestore/pixel_access.h"
#include "render/composite.h"

namespace {

class CompositeTest : public ::testing::Test {
 protected:
  // A w x h host picture of `planes` planes in the given mode and depth, output buffer for the
  // whole picture (the preview addresses rows; the host target uses row 0).
  void Open(int16_t imageMode, int32_t depth, int16_t planes, int32_t w = 16, int32_t h = 16) {
    HarnessOptions options;
    options.width = w;
    options.height = h;
    ASSERT_TRUE(OpenHarness(&harness_, options));
    g_ = harness_.globals;
    p_ = HarnessParameters(&harness_);
    FilterRecord &r = harness_.record;
    r.imageMode = imageMode;
    r.depth = depth;
    r.planes = planes;
    r.inLoPlane = 0;
    r.inHiPlane = int16_t(planes - 1);
    r.outLayerPlanes = int16_t(planes >= 3 ? 3 : 1);
    r.inLayerPlanes = r.outLayerPlanes;
    r.filterCase = kFilterCaseFlatImageNoSelection;
    r.outRect = {0, 0, int16_t(h), int16_t(w)};
    r.filterRect = r.outRect;
    RecordRectSize(g_, &r.filterRect, 1);
    elementBytes_ = depth == 32 ? 4 : (depth == 16 ? 2 : 1);
    const size_t bytes = size_t(w) * h * planes * elementBytes_;
    out_.assign(bytes, 0);
    in_.assign(bytes, 0);
    r.outData = out_.data();
    r.inData = in_.data();
    r.outRowBytes = w * planes * elementBytes_;
    r.inRowBytes = r.outRowBytes;
    p_->outputMode = 1;
    p_->renderTarget = 0;
  }
  void TearDown() override { CloseHarness(&harness_); }

  void Put(float r, float g, float b, float a = 1.0f, int32_t column = 0, int32_t row = 0,
           CompositeWeights weights = {1.0f, 1.0f}) {
    float colour[4] = {r, g, b, a};
    CompositePixel(column, row, colour, g_, &weights);
  }
  // Channel k of the output pixel (column, row) as an integer, in the buffer's element width.
  int32_t Out(int32_t column, int32_t k, int32_t row = 0) const {
    const FilterRecord &r = harness_.record;
    const size_t at = size_t(row) * (r.outRowBytes / elementBytes_) + size_t(column) * r.planes + k;
    if (elementBytes_ == 1) return out_[at];
    uint16_t v;
    std::memcpy(&v, &out_[2 * at], 2);
    return v;
  }
  float OutF(int32_t column, int32_t k) const {
    float v;
    std::memcpy(&v, &out_[4 * (size_t(column) * harness_.record.planes + k)], 4);
    return v;
  }
  void SetIn(int32_t column, int32_t k, int32_t value, int32_t row = 0) {
    const FilterRecord &r = harness_.record;
    const size_t at = size_t(row) * (r.inRowBytes / elementBytes_) + size_t(column) * (r.inHiPlane + 1) + k;
    if (elementBytes_ == 1) {
      in_[at] = uint8_t(value);
    } else {
      const uint16_t v = uint16_t(value);
      std::memcpy(&in_[2 * at], &v, 2);
    }
  }

  RenderHarness harness_;
  PluginGlobals *g_ = nullptr;
  ParameterBlock *p_ = nullptr;
  std::vector<uint8_t> out_, in_;
  int32_t elementBytes_ = 1;
};

TEST_F(CompositeTest, OverRangeChannelsSpillIntoTheOthers) {
  Open(kModeRGB, 8, 3);
  // Red 382 is 127 over: spill (127 x 60) >> 8 = 29, half 14 to green and blue.
  Put(1.5f, 0.5f, 0.5f);
  EXPECT_EQ(Out(0, 0), 255);
  EXPECT_EQ(Out(0, 1), 141);
  EXPECT_EQ(Out(0, 2), 141);
  // Green alone over.
  Put(0.5f, 1.5f, 0.5f, 1.0f, 1);
  EXPECT_EQ(Out(1, 0), 141);
  EXPECT_EQ(Out(1, 1), 255);
  EXPECT_EQ(Out(1, 2), 141);
  // Red far over: green runs over in turn and passes its excess to blue.
  Put(3.0f, 0.9f, 0.1f, 1.0f, 2);
  EXPECT_EQ(Out(2, 0), 255);
  EXPECT_EQ(Out(2, 1), 255);
  EXPECT_EQ(Out(2, 2), 25 + 59 + 33);
  // Two over: the third takes the whole spill (254 x 60 >> 8 = 59).
  Put(1.5f, 1.5f, 0.5f, 1.0f, 3);
  EXPECT_EQ(Out(3, 2), 127 + 59);
  // All three over: nothing moves, everything is capped. Negative channels become 0.
  Put(2.0f, 3.0f, 4.0f, 1.0f, 4);
  EXPECT_EQ(Out(4, 0), 255);
  EXPECT_EQ(Out(4, 1), 255);
  EXPECT_EQ(Out(4, 2), 255);
  Put(-1.0f, 0.0f, 0.2f, 1.0f, 5);
  EXPECT_EQ(Out(5, 0), 0);
  EXPECT_EQ(Out(5, 2), 51);
}

TEST_F(CompositeTest, GreyTargetsAndClampedCoordinates) {
  Open(kModeGrayScale, 8, 1);
  Put(1.0f, 1.0f, 1.0f);
  EXPECT_EQ(Out(0, 0), 254);   // (77 + 150 + 28) x 255 >> 8
  Put(1.0f, 0.0f, 0.0f, 1.0f, 1);
  EXPECT_EQ(Out(1, 0), 76);
  // Outside the target: pulled to the edge.
  Put(0.5f, 0.5f, 0.5f, 1.0f, -40);
  EXPECT_EQ(Out(0, 0), (255 * 127) >> 8);
  Put(0.2f, 0.2f, 0.2f, 1.0f, 1000);
  EXPECT_EQ(Out(15, 0), (255 * 51) >> 8);
  EXPECT_EQ(Out(14, 0), 0);
}

TEST_F(CompositeTest, AlphaOnATransparentLayer) {
  Open(kModeRGB, 8, 4);
  harness_.record.filterCase = kFilterCaseEditableTransparencyNoSelection;
  Put(0.1f, 0.2f, 0.3f, 1.0f);
  EXPECT_EQ(Out(0, 3), 255);   // trunc(255 x 1.007) = 256, clamped
  Put(0.1f, 0.2f, 0.3f, 0.5f, 1);
  EXPECT_EQ(Out(1, 3), 128);   // trunc(127.5 x 1.007)
  // Composite mode takes the layer opacity the shader hands over.
  p_->outputMode = 2;
  Put(0.1f, 0.2f, 0.3f, 1.0f, 2, 0, {0.25f, 1.0f});
  EXPECT_EQ(Out(2, 3), 63);
  // Map modes are opaque.
  p_->outputMode = 7;
  Put(0.1f, 0.2f, 0.3f, 0.0f, 3);
  EXPECT_EQ(Out(3, 3), 255);
  // Without transparency no alpha is written.
  harness_.record.filterCase = kFilterCaseFlatImageNoSelection;
  p_->outputMode = 1;
  Put(0.1f, 0.2f, 0.3f, 1.0f, 4);
  EXPECT_EQ(Out(4, 3), 0);
}

TEST_F(CompositeTest, SixteenBitAlphaAndCeiling) {
  Open(kModeRGB48, 16, 4);
  harness_.record.filterCase = kFilterCaseEditableTransparencyWithSelection;
  Put(1.0f, 0.5f, 2.0f, 1.0f);
  EXPECT_EQ(Out(0, 3), 32768);   // trunc(32997.4) clamped
  EXPECT_EQ(Out(0, 2), 32768);
  EXPECT_LE(Out(0, 0), 32768);
}

TEST_F(CompositeTest, CompositeModeAddsThePlanetOverTheDarkenedPicture) {
  Open(kModeRGB, 8, 3);
  p_->outputMode = 2;
  for (int k = 0; k < 3; k++) SetIn(0, k, 100);
  SetIn(1, 0, 250);
  Put(0.2f, 0.2f, 0.2f, 1.0f, 0, 0, {0.0f, 0.25f});
  EXPECT_EQ(Out(0, 0), 75 + 51);   // 100 x (1 - 0.25) + 51
  Put(0.2f, 0.2f, 0.2f, 1.0f, 1, 0, {0.0f, 0.0f});
  EXPECT_EQ(Out(1, 0), 255);       // capped at the full value
  // Off the disc (coverage 0, nothing drawn) the picture stays as it was.
  Put(0.0f, 0.0f, 0.0f, 1.0f, 0, 0, {0.0f, 0.0f});
  EXPECT_EQ(Out(0, 1), 100);
}

TEST_F(CompositeTest, PreviewCheckerboardThroughTheMask) {
  Open(kModeRGB, 8, 3);
  p_->renderTarget = 1;
  FilterRecord &r = harness_.record;
  std::vector<uint8_t> mask(16 * 16, 0);
  r.haveMask = 1;
  r.maskData = mask.data();
  r.maskRowBytes = 16;
  g_->maskRowFirst = 0;
  g_->maskRowLast = 15;
  // Mask 0: the checker colours, 255 where bit 3 of (x xor y) is clear, else 204.
  Put(0.0f, 0.0f, 0.0f, 1.0f, 0, 0);
  Put(0.0f, 0.0f, 0.0f, 1.0f, 8, 0);
  Put(0.0f, 0.0f, 0.0f, 1.0f, 8, 8);
  EXPECT_EQ(Out(0, 0, 0), 255);
  EXPECT_EQ(Out(8, 0, 0), 204);
  EXPECT_EQ(Out(8, 0, 8), 255);
  // Mask 255 (weight 256): the colour itself. Mask 128 (weight 129): the blend.
  mask[1] = 255;
  mask[2] = 128;
  Put(0.2f, 0.2f, 0.2f, 1.0f, 1, 0);
  Put(0.2f, 0.2f, 0.2f, 1.0f, 2, 0);
  EXPECT_EQ(Out(1, 0, 0), 51);
  EXPECT_EQ(Out(2, 0, 0), (255 * 127 + 129 * 51) >> 8);
  // The requested mask rows only: a row outside them reads 0.
  g_->maskRowLast = 3;
  mask[5 * 16 + 1] = 255;
  Put(0.2f, 0.2f, 0.2f, 1.0f, 1, 5);
  EXPECT_EQ(Out(1, 0, 5), 255);
}

TEST_F(CompositeTest, SixteenBitPreviewCheckerboard) {
  Open(kModeGray16, 16, 1);
  p_->renderTarget = 1;
  Put(0.0f, 0.0f, 0.0f, 1.0f, 0, 0);   // no mask: everything selected (255)
  EXPECT_EQ(Out(0, 0, 0), (32640 * 0 + 255 * 0) >> 8);
  std::vector<uint8_t> mask(16 * 16, 0);
  harness_.record.haveMask = 1;
  harness_.record.maskData = mask.data();
  harness_.record.maskRowBytes = 16;
  g_->maskRowFirst = 0;
  g_->maskRowLast = 15;
  Put(0.5f, 0.5f, 0.5f, 1.0f, 0, 0);
  Put(0.5f, 0.5f, 0.5f, 1.0f, 8, 0);
  EXPECT_EQ(Out(0, 0, 0), (32640 * 255) >> 8);
  EXPECT_EQ(Out(8, 0, 0), (26112 * 255) >> 8);
}

// The shader prepares the target once a row and writes every pixel through it: the row stride
// (in 16-bit elements here) must place each pixel, and a target prepared without a buffer
// writes nothing.
TEST_F(CompositeTest, ATargetPreparedOnceWritesAWholeRow) {
  Open(kModeRGB48, 16, 3);
  p_->renderTarget = 1;
  CompositeTarget target;
  PrepareCompositeTarget(g_, &target);
  const CompositeWeights weights = {1.0f, 1.0f};
  for (int32_t column = 0; column < 16; column++) {
    float colour[4] = {float(column) / 16.0f, 0.25f, 0.0f, 1.0f};
    CompositePixelTo(&target, column, 3, colour, &weights);
  }
  for (int32_t column = 0; column < 16; column++) {
    EXPECT_EQ(Out(column, 0, 3), (255 * column * 2048) >> 8) << column;
    EXPECT_EQ(Out(column, 1, 3), (255 * 8192) >> 8) << column;
    EXPECT_EQ(Out(column, 1, 2), 0) << column;
    EXPECT_EQ(Out(column, 1, 4), 0) << column;
  }
  harness_.record.outData = nullptr;
  PrepareCompositeTarget(g_, &target);
  EXPECT_FALSE(target.writable);
  float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  CompositePixelTo(&target, 0, 0, colour, &weights);
}

TEST_F(CompositeTest, StoredImageRowsGoToThePreview) {
  Open(kModeRGB, 8, 3);
  p_->renderTarget = 1;
  for (int32_t c = 0; c < 16; c++) SetIn(c, 0, c * 10, 2);
  g_->currentRowCopy = 2;
  CompositeStoredImageRow(g_);
  for (int32_t c = 0; c < 16; c++) EXPECT_EQ(Out(c, 0, 2), (c * 10 * 256) >> 8) << c;
  // Nothing unless the target is the preview.
  p_->renderTarget = 0;
  SetIn(3, 0, 99, 2);
  CompositeStoredImageRow(g_);
  EXPECT_EQ(Out(3, 0, 2), 30);
  // The whole stored image: every row of the input rectangle.
  p_->renderTarget = 1;
  harness_.record.inRect = {0, 0, 16, 16};
  CompositeStoredImage(g_);
  EXPECT_EQ(Out(3, 0, 2), 99);
  EXPECT_EQ(g_->maskRowFirst, 0);
  EXPECT_EQ(g_->inRowLast, 15);
}

TEST_F(CompositeTest, ExportImageTargets) {
  Open(kModeRGB48, 16, 3);
  RunState *run = g_->runState;
  TiledMipImage *image = &run->exportImage;
  ASSERT_TRUE(CreateImage(image, 16, 16, kFormatPacked8, 0));
  run->renderTargetImage = image;
  p_->renderTarget = 2;
  Put(1.0f, 128.0f / 32768.0f, 0.0f, 1.0f, 3, 4);
  int32_t c[4];
  GetPixel4Fwd(3, 4, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 255);   // 32768 -> 255
  EXPECT_EQ(c[1], 1);     // 128 -> 1
  EXPECT_EQ(c[2], 0);
  EXPECT_EQ(c[3], 255);

  // A 16-bit export image gets the 16-bit values.
  ASSERT_TRUE(CreateImage(image, 16, 16, kFormatRgba16, 0));
  Put(0.5f, 0.25f, 1.0f, 1.0f, 1, 1);
  GetPixel4Fwd(1, 1, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 16384);
  EXPECT_EQ(c[1], 8192);
  EXPECT_EQ(c[2], 32768);

  // A grey host fills all three colour channels of the export image with the grey.
  harness_.record.planes = 1;
  harness_.record.imageMode = kModeGray16;
  Put(1.0f, 0.0f, 0.0f, 1.0f, 2, 2);
  GetPixel4Fwd(2, 2, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], (77 * 32768) >> 8);
  EXPECT_EQ(c[1], c[0]);
  EXPECT_EQ(c[2], c[0]);

  // Without an export image nothing is written: neither the image nor the host's buffer.
  run->renderTargetImage = nullptr;
  const std::vector<uint8_t> hostBefore = out_;
  GetPixel4Fwd(0, 0, image, 0, &c[0], &c[1], &c[2], &c[3]);
  const int32_t before[4] = {c[0], c[1], c[2], c[3]};
  Put(1.0f, 1.0f, 1.0f);
  EXPECT_EQ(out_, hostBefore);
  GetPixel4Fwd(0, 0, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(std::vector<int32_t>(c, c + 4), std::vector<int32_t>(before, before + 4));
  FreeImageTiles(image);
}

// Coordinates are pulled to the edge of the target actually written: the export image's own
// size in an off-screen pass (here larger than the host's 8 x 6 rectangle), the host's rectangle
// otherwise; a target without pixels or without an output buffer takes nothing.
TEST_F(CompositeTest, EachTargetClampsToItsOwnSize) {
  Open(kModeRGB, 8, 3, 8, 6);
  RunState *run = g_->runState;
  TiledMipImage *image = &run->exportImage;
  ASSERT_TRUE(CreateImage(image, 24, 20, kFormatPacked8, 0));
  run->renderTargetImage = image;
  p_->renderTarget = 2;
  Put(1.0f, 0.0f, 0.0f, 1.0f, 100, 100);
  int32_t c[4];
  GetPixel4Fwd(23, 19, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(std::vector<int32_t>(c, c + 4), (std::vector<int32_t>{255, 0, 0, 255}));
  Put(0.0f, 1.0f, 0.0f, 1.0f, 20, -5);
  GetPixel4Fwd(20, 0, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[1], 255);
  GetPixel4Fwd(7, 5, image, 0, &c[0], &c[1], &c[2], &c[3]);
  EXPECT_EQ(c[0], 0);   // not the host rectangle's corner
  EXPECT_EQ(std::vector<uint8_t>(out_.size(), 0), out_);
  run->renderTargetImage = nullptr;
  FreeImageTiles(image);

  // The host's buffer holds the current row: the column is pulled to its last one.
  p_->renderTarget = 0;
  Put(0.0f, 0.0f, 1.0f, 1.0f, 100, 100);
  EXPECT_EQ(Out(7, 2), 255);
  const std::vector<uint8_t> before = out_;
  harness_.record.outRect.right = harness_.record.outRect.left;   // no columns
  Put(1.0f, 1.0f, 1.0f);
  EXPECT_EQ(out_, before);
  harness_.record.outRect.right = 8;
  harness_.record.outData = nullptr;
  Put(1.0f, 1.0f, 1.0f);
  EXPECT_EQ(out_, before);
}

TEST_F(CompositeTest, FloatClass) {
  Open(kModeRGB96, 32, 3);
  Put(0.25f, 2.0f, -1.0f);
  EXPECT_EQ(OutF(0, 0), 0.25f);
  EXPECT_EQ(OutF(0, 1), 2.0f);   // no spill or clamp in the float class
  EXPECT_EQ(HostChannelClass(&harness_.record), kChannelClassFloat);
  harness_.record.imageMode = kModeGray32;
  harness_.record.planes = 1;
  Put(1.0f, 1.0f, 1.0f, 1.0f, 1);
  EXPECT_NEAR(OutF(1, 0), 1.0f, 1e-6);
}

// A grey export image (one byte a pixel) gets the grey through the grey writer: the packed
// writer refuses an image of that format and would leave it as it was.
TEST_F(CompositeTest, GreyExportImageTakesTheGrey) {
  Open(kModeRGB, 8, 3);
  RunState *run = g_->runState;
  TiledMipImage *image = &run->exportImage;
  ASSERT_TRUE(CreateImage(image, 16, 16, kFormatGray8, 0));
  run->renderTargetImage = image;
  p_->renderTarget = 2;
  // An 8-bit RGB host: pure green is (150 x 255) >> 8 = 149.
  Put(0.0f, 1.0f, 0.0f, 1.0f, 3, 4);
  EXPECT_EQ(GetPixelGray8(3, 4, image, 0), 149);
  // A 16-bit grey host: pure red is the grey (77 x 32768) >> 8 = 9856, and that is the byte
  // min(((9856 + 1) >> 7) & 511, 255) = 77.
  harness_.record.planes = 1;
  harness_.record.imageMode = kModeGray16;
  harness_.record.depth = 16;
  Put(1.0f, 0.0f, 0.0f, 1.0f, 5, 6);
  EXPECT_EQ(GetPixelGray8(5, 6, image, 0), 77);
  run->renderTargetImage = nullptr;
  FreeImageTiles(image);
}

// A run of pixels written four at a time against the same pixels one by one, over the channel
// classes, grey and colour, plain and transparent layers, the output modes and both host
// targets, with channel values below zero, over the ceiling and far out of range among them.
TEST_F(CompositeTest, ARunWritesWhatPixelByPixelWrites) {
  struct Layout {
    int16_t mode;
    int32_t depth;
    int16_t planes;
    float channelMax;
  };
  const Layout layouts[] = {{kModeRGB, 8, 4, 255.0f},      {kModeGrayScale, 8, 2, 255.0f},
                            {kModeRGB48, 16, 4, 32768.0f}, {kModeGray16, 16, 1, 32768.0f},
                            {kModeRGB96, 32, 4, 1.0f}};
  const uint32_t modes[] = {1, 2, 3, 8, 12};
  // Longer than the run's chunks of 64, ending in a short group of four.
  constexpr int32_t kRun = 70;
  uint32_t state = 99;
  auto next = [&state]() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  int compared = 0;
  for (const Layout &layout : layouts) {
    for (int variant = 0; variant < 2 * 2 * 5; variant++) {
      const bool transparent = variant % 2 == 1;
      const uint32_t target = variant / 2 % 2;
      Open(layout.mode, layout.depth, layout.planes, kRun + 5, 4);
      harness_.record.filterCase =
          transparent ? kFilterCaseEditableTransparencyNoSelection : kFilterCaseFlatImageNoSelection;
      harness_.record.outLayerPlanes = int16_t(layout.planes >= 3 ? 3 : 1);
      p_->outputMode = modes[variant / 4];
      p_->renderTarget = target;
      for (size_t k = 0; k < in_.size(); k++) in_[k] = uint8_t(next());
      const int32_t full = layout.depth == 8 ? 255 : 32768;
      int32_t acc[3][kRun];
      CompositeWeights weights[kRun];
      for (int32_t i = 0; i < kRun; i++) {
        for (int k = 0; k < 3; k++) {
          const uint32_t r = next();
          acc[k][i] = r % 8 == 0 ? int32_t(r) - (1 << 23) : (r % 8 == 1 ? full + int32_t(r % 400) : int32_t(r % (full + 1)));
          if (layout.depth == 32) acc[k][i] = int32_t(r % 3) - 1;
        }
        weights[i] = {float(next() % 1001) / 1000.0f, float(next() % 1001) / 1000.0f};
      }
      CompositeTarget t;
      PrepareCompositeTarget(g_, &t);
      const int32_t row = 2;
      const int32_t *const channels[3] = {acc[0], acc[1], acc[2]};
      CompositeRunTo(&t, 3, row, kRun, channels, weights, layout.channelMax);
      const std::vector<uint8_t> run = out_;
      std::fill(out_.begin(), out_.end(), 0);
      for (int32_t i = 0; i < kRun; i++) {
        float colour[4] = {float(acc[0][i]) / layout.channelMax, float(acc[1][i]) / layout.channelMax,
                           float(acc[2][i]) / layout.channelMax, 1.0f};
        CompositePixelTo(&t, 3 + i, row, colour, &weights[i]);
      }
      EXPECT_TRUE(run == out_) << "depth " << layout.depth << " planes " << layout.planes << " mode "
                               << p_->outputMode << " target " << target << " transparent " << transparent;
      // Something was written.
      EXPECT_NE(std::count(out_.begin(), out_.end(), 0), std::ptrdiff_t(out_.size()));
      CloseHarness(&harness_);
      compared++;
    }
  }
  EXPECT_EQ(compared, 5 * 20);
}

}  // namespace
