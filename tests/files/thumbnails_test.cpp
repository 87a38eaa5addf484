// The preset thumbnail: its empty look, the capture from the host's output in every sample
// format, and the previews that read a file's picture.
#include <gtest/gtest.h>

#include <cstring>

#include "files/settings_file.h"
#include "files/thumbnails.h"
#include "imagestore/pixel_access.h"
#include "tests/files/files_fixture.h"

namespace files_test {
namespace {

OSErr16 KV_HOSTAPI AdvanceState() { return 0; }

class Thumbnails : public FilesTest {
 protected:
  // An output buffer of the host for outRect, `planes` interleaved samples of `bytes` each.
  void HostOutput(const Rect16 &out, int16_t mode, int32_t depth, int16_t planes) {
    record_.outRect = out;
    record_.imageMode = mode;
    record_.depth = depth;
    record_.planes = planes;
    record_.advanceState = AdvanceState;
    int32_t sampleBytes = depth == 32 ? 4 : depth == 16 ? 2 : 1;
    record_.outRowBytes = (out.right - out.left) * planes * sampleBytes + 6;   // rows may be padded
    output_.assign(size_t(record_.outRowBytes) * size_t(out.bottom - out.top), 0);
    record_.outData = output_.data();
  }
  // Sample `plane` of host pixel (column, row), which must lie in outRect.
  uint8_t *Sample(int32_t column, int32_t row, int32_t plane) {
    const Rect16 &out = record_.outRect;
    int32_t sampleBytes = record_.depth == 32 ? 4 : record_.depth == 16 ? 2 : 1;
    return output_.data() + size_t(row - out.top) * size_t(record_.outRowBytes) +
           size_t((column - out.left) * record_.planes + plane) * size_t(sampleBytes);
  }
  void Pixel(TiledMipImage *image, int32_t x, int32_t y, int32_t *r, int32_t *g, int32_t *b) {
    int32_t a;
    GetPixelPacked8(x, y, image, 0, r, g, b, &a);
    EXPECT_EQ(a, 255);
  }
  std::vector<uint8_t> output_;
};

TEST_F(Thumbnails, CopyFromEightBitRgbAndGrey) {
  TiledMipImage image;
  Bind(&image);
  ASSERT_TRUE(CreateImage(&image, 4, 3, kFormatPacked8, 0));

  HostOutput({0, 0, 10, 10}, kModeRGB, 8, 4);   // with a transparency plane
  *Sample(6, 5, 0) = 10;
  *Sample(6, 5, 1) = 20;
  *Sample(6, 5, 2) = 30;
  *Sample(6, 5, 3) = 40;
  Rect16 rect = {4, 5, 7, 9};
  CopyOutputRectToImage(&globals_, &rect, &image);
  int32_t r, g, b;
  Pixel(&image, 1, 1, &r, &g, &b);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(g, 20);
  EXPECT_EQ(b, 30);

  HostOutput({0, 0, 10, 10}, kModeGrayScale, 8, 1);
  *Sample(6, 5, 0) = 99;
  CopyOutputRectToImage(&globals_, &rect, &image);
  Pixel(&image, 1, 1, &r, &g, &b);
  EXPECT_EQ(r, 99);
  EXPECT_EQ(g, 99);
  EXPECT_EQ(b, 99);
  FreeImageTiles(&image);
}

TEST_F(Thumbnails, CopyFromSixteenBitAndFloat) {
  TiledMipImage image;
  Bind(&image);
  ASSERT_TRUE(CreateImage(&image, 4, 1, kFormatPacked8, 0));
  Rect16 rect = {0, 0, 1, 4};

  HostOutput({0, 0, 1, 4}, kModeGray16, 16, 1);
  const uint16_t values[4] = {32768, 16383, 0, 65535};
  for (int32_t c = 0; c < 4; c++) std::memcpy(Sample(c, 0, 0), &values[c], 2);
  CopyOutputRectToImage(&globals_, &rect, &image);
  const int32_t want[4] = {255, 128, 0, 0};   // 65535 wraps in the 9-bit mask: hosts stop at 32768
  for (int32_t c = 0; c < 4; c++) {
    int32_t r, g, b;
    Pixel(&image, c, 0, &r, &g, &b);
    EXPECT_EQ(r, want[c]) << c;
  }

  HostOutput({0, 0, 1, 4}, kModeRGB96, 32, 3);
  const float floats[4] = {1.0f, 0.25f, 0.0f, 4.0f};
  for (int32_t c = 0; c < 4; c++) {
    std::memcpy(Sample(c, 0, 0), &floats[c], 4);
    std::memcpy(Sample(c, 0, 1), &floats[3 - c], 4);
  }
  CopyOutputRectToImage(&globals_, &rect, &image);
  int32_t r, g, b;
  Pixel(&image, 0, 0, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 255);
  Pixel(&image, 1, 0, &r, &g, &b);
  EXPECT_EQ(r, 127) << "the square root of 0.25, times 255";
  FreeImageTiles(&image);
}

// A 300 x 200 output: the centred 200 x 200 square (columns 50..249) becomes the thumbnail.
TEST_F(Thumbnails, CaptureTakesTheCentredSquare) {
  HostOutput({0, 0, 200, 300}, kModeRGB, 8, 3);
  for (int32_t row = 0; row < 200; row++) {
    for (int32_t column = 0; column < 300; column++) {
      *Sample(column, row, 0) = uint8_t(column < 256 ? column : 255);
      *Sample(column, row, 1) = uint8_t(row);
    }
  }
  CaptureOutputThumbnail(&globals_);
  int32_t r, g, b;
  Pixel(Thumbnail(), 0, 64, &r, &g, &b);
  EXPECT_NEAR(r, 50, 3);
  Pixel(Thumbnail(), 127, 64, &r, &g, &b);
  EXPECT_NEAR(r, 249, 3);
  Pixel(Thumbnail(), 64, 0, &r, &g, &b);
  EXPECT_NEAR(g, 0, 3);
  Pixel(Thumbnail(), 64, 127, &r, &g, &b);
  EXPECT_NEAR(g, 199, 3);
}

// The host's output buffer holds outRect only; a filter rectangle away from the corner must be
// read relative to it (and never beyond it).
TEST_F(Thumbnails, CaptureAwayFromTheCorner) {
  HostOutput({10, 20, 110, 170}, kModeRGB, 8, 3);
  for (int32_t row = 10; row < 110; row++) {
    for (int32_t column = 20; column < 170; column++) {
      *Sample(column, row, 0) = uint8_t(column);
      *Sample(column, row, 1) = uint8_t(row);
    }
  }
  TiledMipImage image;
  Bind(&image);
  ASSERT_TRUE(CreateImage(&image, 100, 100, kFormatPacked8, 0));
  Rect16 square = {10, 45, 110, 145};
  CopyOutputRectToImage(&globals_, &square, &image);
  int32_t r, g, b;
  Pixel(&image, 0, 0, &r, &g, &b);
  EXPECT_EQ(r, 45);
  EXPECT_EQ(g, 10);
  Pixel(&image, 99, 99, &r, &g, &b);
  EXPECT_EQ(r, 144);
  EXPECT_EQ(g, 109);

  // Rows and columns outside outRect are not read.
  Rect16 beyond = {100, 160, 120, 200};
  CopyOutputRectToImage(&globals_, &beyond, &image);
  FreeImageTiles(&image);

  CaptureOutputThumbnail(&globals_);
  Pixel(Thumbnail(), 0, 0, &r, &g, &b);
  EXPECT_NEAR(r, 45, 3);
  EXPECT_NEAR(g, 10, 3);
}

TEST_F(Thumbnails, PresetPreviews) {
  PaintThumbnail(2);
  FileSpec spec = Spec("dot.q1q");
  ASSERT_EQ(SaveSettingsFile(&globals_, &spec), 0);
  FillThumbnailBlack();

  TiledMipImage preview;
  Bind(&preview);
  ASSERT_TRUE(LoadPresetThumbnail(&spec, &preview, &globals_, 64));
  EXPECT_EQ(preview.levelWidth[0], 64);
  int32_t r, g, b;
  Pixel(&preview, 63, 32, &r, &g, &b);
  EXPECT_NEAR(r, 252, 10);

  // A preset without a picture: no preview, and the thumbnail shows the empty look.
  FreeImageTiles(Thumbnail());
  FileSpec bare = Spec("bare.q1q");
  ASSERT_EQ(SaveSettingsFile(&globals_, &bare), 0);
  ASSERT_TRUE(CreateImage(Thumbnail(), 128, 128, kFormatPacked8, 0));
  EXPECT_FALSE(LoadPresetThumbnail(&bare, &preview, &globals_, 64));
  Pixel(Thumbnail(), 5, 100, &r, &g, &b);
  EXPECT_EQ(r, 155);
  FreeImageTiles(&preview);

  // The open dialog's preview reads only names of presets.
  int window = 0;
  Rect16 control = {0, 0, 40, 40};
  EXPECT_FALSE(PaintPresetThumbnail(&globals_, &spec, nullptr, &control));
  FileSpec other = Spec("dot.txt");
  EXPECT_FALSE(PaintPresetThumbnail(&globals_, &other, &window, &control));
  FillThumbnailBlack();
  EXPECT_TRUE(PaintPresetThumbnail(&globals_, &spec, &window, &control));
  Pixel(Thumbnail(), 127, 0, &r, &g, &b);
  EXPECT_NEAR(r, 254, 10);
}

}  // namespace
}  // namespace files_test
