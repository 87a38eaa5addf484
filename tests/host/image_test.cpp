// image_test.cpp -- the host's PNG writer, its document files and the copies advanceState
// hands out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/delivery.h"
#include "host/document.h"
#include "host/png_writer.h"
#include "stb_image.h"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"
#include "tests/host/test_files.h"

namespace {

TEST(PngWriter, ChecksumsMatchTheirDefinitions) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(PngCrc32(digits, 9, 0), 0xCBF43926u);
  // A running CRC over two pieces equals the CRC of the whole.
  EXPECT_EQ(PngCrc32(digits + 4, 5, PngCrc32(digits, 4, 0)), 0xCBF43926u);
  const uint8_t wiki[] = {'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'};
  EXPECT_EQ(PngAdler32(wiki, 9, 1), 0x11E60398u);
  // Long runs of 0xFF exercise the modulo step.
  std::vector<uint8_t> ones(100000, 0xFF);
  uint32_t a = 1, b = 0;
  for (uint8_t v : ones) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(PngAdler32(ones.data(), ones.size(), 1), (b << 16) | a);
}

TEST(PngWriter, RefusesBadArguments) {
  std::vector<uint8_t> out;
  uint8_t pixel[8] = {};
  EXPECT_FALSE(EncodePng(pixel, 0, 1, 3, 8, &out));
  EXPECT_FALSE(EncodePng(pixel, 1, 1, 5, 8, &out));
  EXPECT_FALSE(EncodePng(pixel, 1, 1, 3, 12, &out));
  EXPECT_FALSE(EncodePng(nullptr, 1, 1, 3, 8, &out));
  EXPECT_TRUE(out.empty());
}

// Encodes, decodes with stb_image, and compares sample for sample. The larger sizes give streams
// of several deflate blocks and, at 16 bits, several IDAT chunks.
void RoundTrip(int32_t width, int32_t height, int channels, int bitDepth) {
  const size_t samples = size_t(width) * size_t(height) * size_t(channels);
  std::vector<uint16_t> wide(samples);
  std::vector<uint8_t> narrow(samples);
  for (size_t i = 0; i < samples; i++) {
    wide[i] = uint16_t(i * 7919u + (i >> 3));
    narrow[i] = uint8_t(i * 31u + (i >> 7));
  }
  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodePng(bitDepth == 16 ? static_cast<const void *>(wide.data()) : narrow.data(), width, height,
                        channels, bitDepth, &png));
  int w = 0, h = 0, c = 0;
  if (bitDepth == 16) {
    ASSERT_TRUE(stbi_is_16_bit_from_memory(png.data(), int(png.size())));
    stbi_us *back = stbi_load_16_from_memory(png.data(), int(png.size()), &w, &h, &c, 0);
    ASSERT_NE(back, nullptr) << stbi_failure_reason();
    EXPECT_EQ(0, std::memcmp(back, wide.data(), samples * 2));
    stbi_image_free(back);
  } else {
    stbi_uc *back = stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &c, 0);
    ASSERT_NE(back, nullptr) << stbi_failure_reason();
    EXPECT_EQ(0, std::memcmp(back, narrow.data(), samples));
    stbi_image_free(back);
  }
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, height);
  EXPECT_EQ(c, channels);
}

TEST(PngWriter, RoundTripsThroughAPngReader) {
  RoundTrip(1, 1, 1, 8);
  RoundTrip(3, 2, 3, 8);
  RoundTrip(300, 250, 3, 8);     // 225,250 bytes: four stored blocks
  RoundTrip(1, 1, 1, 16);
  RoundTrip(7, 5, 3, 16);
  RoundTrip(420, 220, 3, 16);    // 554,620 bytes
  RoundTrip(700, 300, 3, 16);    // 1.26 MB: two IDAT chunks
  RoundTrip(9, 4, 2, 8);
  RoundTrip(9, 4, 4, 16);
}

// The files are compressed: a picture like a planet (a smooth disc on a black sky) takes a
// small fraction of its raw size at both depths, and still reads back exactly. The file form
// goes straight to disk and leaves nothing behind when it cannot be written.
TEST(PngWriter, CompressesAndWritesFiles) {
  const int32_t w = 512, h = 384;
  std::vector<uint16_t> wide(size_t(w) * h * 3, 0);
  for (int32_t y = 0; y < h; y++) {
    for (int32_t x = 0; x < w; x++) {
      const int32_t dx = x - w / 2, dy = y - h / 2;
      if (dx * dx + dy * dy > 150 * 150) continue;
      for (int k = 0; k < 3; k++) wide[(size_t(y) * w + x) * 3 + k] = uint16_t(20000 + 40 * x + 25 * y + 3000 * k);
    }
  }
  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodePng(wide.data(), w, h, 3, 16, &png));
  EXPECT_LT(png.size(), wide.size() * 2 / 3) << png.size();
  int rw = 0, rh = 0, rc = 0;
  stbi_us *back = stbi_load_16_from_memory(png.data(), int(png.size()), &rw, &rh, &rc, 0);
  ASSERT_NE(back, nullptr) << stbi_failure_reason();
  EXPECT_EQ(0, std::memcmp(back, wide.data(), wide.size() * 2));
  stbi_image_free(back);

  std::vector<uint8_t> narrow(wide.size());
  for (size_t i = 0; i < wide.size(); i++) narrow[i] = uint8_t(wide[i] >> 8);
  const std::string path = TempPath("compressed8.png");
  ASSERT_TRUE(WritePngFile(path.c_str(), narrow.data(), w, h, 3, 8));
  FILE *file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fclose(file);
  EXPECT_LT(size, long(narrow.size() / 3)) << size;
  stbi_uc *back8 = stbi_load(path.c_str(), &rw, &rh, &rc, 0);
  ASSERT_NE(back8, nullptr);
  EXPECT_EQ(0, std::memcmp(back8, narrow.data(), narrow.size()));
  stbi_image_free(back8);
  std::remove(path.c_str());

  const std::string missing = TempPath("no-such-folder/x.png");
  EXPECT_FALSE(WritePngFile(missing.c_str(), narrow.data(), w, h, 3, 8));
}

TEST(Document, SixteenBitSamplesSurviveTheFileRoundTrip) {
  // Every 16-bit document value 0..32768 goes to a PNG sample and back unchanged.
  for (uint32_t v = 0; v <= uint32_t(kHost16BitWhite); v++) ASSERT_EQ(FromPng16(ToPng16(uint16_t(v))), v) << v;
  EXPECT_EQ(ToPng16(kHost16BitWhite), 65535);
  EXPECT_EQ(ToPng16(40000), 65535);   // out-of-range values a plug-in wrote are clipped
  EXPECT_EQ(Expand8To16(255), kHost16BitWhite);
  EXPECT_EQ(Expand8To16(0), 0);
}

void SaveAndLoad(int32_t channels, int32_t bytes) {
  HostImage image;
  MakeHostImage(&image, 37, 11, channels, bytes);
  for (size_t i = 0; i < image.data.size() / size_t(bytes); i++) {
    if (bytes == 1) {
      image.data[i] = uint8_t(i * 13);
    } else {
      uint16_t v = uint16_t((i * 977) % (kHost16BitWhite + 1));
      std::memcpy(image.data.data() + 2 * i, &v, 2);
    }
  }
  std::string path = TempPath(bytes == 2 ? "doc16.png" : "doc8.png");
  char error[512];
  ASSERT_TRUE(SaveHostImagePng(image, path.c_str(), error, sizeof error)) << error;
  HostImage back;
  ASSERT_TRUE(LoadHostImage(path.c_str(), channels, bytes, &back, error, sizeof error)) << error;
  EXPECT_EQ(back.width, 37);
  EXPECT_EQ(back.height, 11);
  EXPECT_TRUE(back.data == image.data);
  std::remove(path.c_str());
}

TEST(Document, SavesAndLoadsItsOwnPictures) {
  SaveAndLoad(3, 1);
  SaveAndLoad(1, 1);
  SaveAndLoad(3, 2);
  SaveAndLoad(1, 2);
}

TEST(Document, LoadsJpegPictures) {
  // A smooth grey ramp survives JPEG within a few levels; --gray of a colour JPEG is grey.
  std::vector<uint8_t> rgb(size_t(32 * 16 * 3));
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 32; x++)
      for (int32_t c = 0; c < 3; c++) rgb[size_t((y * 32 + x) * 3 + c)] = uint8_t(x * 8);
  std::string path = TempPath("picture.jpg");
  ASSERT_TRUE(stbi_write_jpg(path.c_str(), 32, 16, 3, rgb.data(), 95));
  HostImage image;
  char error[512];
  ASSERT_TRUE(LoadHostImage(path.c_str(), 1, 2, &image, error, sizeof error)) << error;
  EXPECT_EQ(image.width, 32);
  EXPECT_EQ(image.channels, 1);
  for (int32_t x = 0; x < 32; x++) {
    uint16_t v;
    std::memcpy(&v, HostImagePixel(image, x, 8), 2);
    EXPECT_NEAR(v, Expand8To16(uint8_t(x * 8)), 6 * 129) << x;
  }
  std::remove(path.c_str());
}

TEST(Document, LoadingFailsCleanly) {
  HostImage image;
  char error[512];
  EXPECT_FALSE(LoadHostImage(TempPath("missing.png").c_str(), 3, 1, &image, error, sizeof error));
  std::string junk = TempPath("junk.png");
  FILE *f = std::fopen(junk.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("not a picture", f);
  std::fclose(f);
  EXPECT_FALSE(LoadHostImage(junk.c_str(), 3, 1, &image, error, sizeof error));
  std::remove(junk.c_str());

  // A selection of another size than the document.
  HostImage small;
  MakeHostImage(&small, 4, 4, 1, 1);
  std::string maskPath = TempPath("mask.png");
  ASSERT_TRUE(SaveHostImagePng(small, maskPath.c_str(), error, sizeof error));
  HostImage mask;
  EXPECT_TRUE(LoadMaskImage(maskPath.c_str(), 4, 4, &mask, error, sizeof error));
  EXPECT_FALSE(LoadMaskImage(maskPath.c_str(), 5, 4, &mask, error, sizeof error));
  std::remove(maskPath.c_str());
}

TEST(Document, EllipseMaskIsInscribedAndSymmetric) {
  HostImage mask;
  MakeEllipseMask(9, 5, &mask);
  const char *expected[] = {
      "..#####..",
      "#########",
      "#########",
      "#########",
      "..#####..",
  };
  for (int32_t y = 0; y < 5; y++)
    for (int32_t x = 0; x < 9; x++)
      EXPECT_EQ(mask.data[size_t(y * 9 + x)], expected[y][x] == '#' ? 255 : 0) << x << "," << y;
  MakeEllipseMask(1, 1, &mask);
  EXPECT_EQ(mask.data[0], 255);
}

// ---- Delivery -----------------------------------------------------------------------------------

TEST(Delivery, ClampsRequestsToTheDocument) {
  auto eq = [](Rect16 a, Rect16 b) {
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
  };
  EXPECT_TRUE(eq(ClampRectToImage({-2, -3, 5, 500}, 100, 10), Rect16{0, 0, 5, 100}));
  EXPECT_TRUE(eq(ClampRectToImage({3, 4, 5, 6}, 100, 10), Rect16{3, 4, 5, 6}));
  // Entirely outside, or inverted: empty at the clamped corner.
  EXPECT_TRUE(eq(ClampRectToImage({20, 20, 30, 30}, 100, 10), Rect16{10, 20, 10, 20}));
  EXPECT_TRUE(eq(ClampRectToImage({5, 5, 2, 8}, 100, 10), Rect16{5, 5, 5, 5}));
  EXPECT_TRUE(eq(ClampRectToImage({-32768, -32768, 32767, 32767}, 30000, 30000), Rect16{0, 0, 30000, 30000}));
}

// A 6 x 4 image whose sample (x, y, c) is 100 y + 10 x + c (8-bit) or that times 50 (16-bit).
HostImage Numbered(int32_t bytes) {
  HostImage image;
  MakeHostImage(&image, 6, 4, 3, bytes);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 6; x++)
      for (int32_t c = 0; c < 3; c++) {
        uint16_t v = uint16_t(100 * y + 10 * x + c);
        if (bytes == 1)
          HostImagePixel(&image, x, y)[c] = uint8_t(v);
        else {
          uint16_t wide = uint16_t(v * 50);
          std::memcpy(HostImagePixel(&image, x, y) + 2 * c, &wide, 2);
        }
      }
  return image;
}

TEST(Delivery, HandsOutExactlyTheRectangleAndPlanesAskedFor) {
  HostImage image = Numbered(1);
  PlaneBuffer b;
  ASSERT_TRUE(FillPlaneBuffer(image, Rect16{1, 2, 3, 5}, 1, 2, &b));
  EXPECT_EQ(b.rowBytes, 3 * 2);
  ASSERT_EQ(b.bytes.size(), size_t(2 * 6));
  // Rows 1..2, columns 2..4, planes 1 and 2, interleaved.
  const uint8_t expected[] = {121, 122, 131, 132, 141, 142, 221, 222, 231, 232, 241, 242};
  EXPECT_EQ(0, std::memcmp(b.bytes.data(), expected, sizeof expected));

  // One plane of a 16-bit image.
  HostImage wide = Numbered(2);
  ASSERT_TRUE(FillPlaneBuffer(wide, Rect16{3, 5, 4, 6}, 2, 2, &b));
  EXPECT_EQ(b.rowBytes, 2);
  uint16_t v;
  std::memcpy(&v, b.bytes.data(), 2);
  EXPECT_EQ(v, (300 + 50 + 2) * 50);

  // Planes beyond the image are cut off; no plane or no pixel gives no data.
  ASSERT_TRUE(FillPlaneBuffer(image, Rect16{0, 0, 1, 1}, 0, 7, &b));
  EXPECT_EQ(b.hiPlane, 2);
  EXPECT_FALSE(FillPlaneBuffer(image, Rect16{0, 0, 1, 1}, 3, 7, &b));
  EXPECT_TRUE(b.bytes.empty());
  EXPECT_EQ(b.rowBytes, 0);
  EXPECT_FALSE(FillPlaneBuffer(image, Rect16{2, 2, 2, 4}, 0, 2, &b));
}

// Whole pixels (every plane) of a rectangle inside the image are copied a row at a time; each row
// must start at its own place in the image, not where the buffer's previous row ended.
TEST(Delivery, WholePixelsComeFromTheirOwnRows) {
  for (int32_t bytes = 1; bytes <= 2; bytes++) {
    HostImage image = Numbered(bytes);
    PlaneBuffer b;
    ASSERT_TRUE(FillPlaneBuffer(image, Rect16{1, 2, 4, 5}, 0, 2, &b));
    ASSERT_EQ(b.rowBytes, 3 * 3 * bytes);
    for (int32_t y = 1; y < 4; y++)
      for (int32_t x = 2; x < 5; x++)
        for (int32_t c = 0; c < 3; c++) {
          const size_t at = size_t((y - 1) * b.rowBytes + ((x - 2) * 3 + c) * bytes);
          uint16_t v = b.bytes[at];
          if (bytes == 2) std::memcpy(&v, &b.bytes[at], 2);
          const uint16_t numbered = uint16_t(100 * y + 10 * x + c);
          EXPECT_EQ(v, bytes == 2 ? numbered * 50 : numbered & 0xFF) << bytes << ":" << x << "," << y << "," << c;
        }
  }
  // A smaller request after a larger one holds only its own pixels, and whole pixels go back
  // into their own rows and columns.
  HostImage image = Numbered(1);
  PlaneBuffer b;
  ASSERT_TRUE(FillPlaneBuffer(image, Rect16{0, 0, 4, 6}, 0, 2, &b));
  ASSERT_TRUE(FillPlaneBuffer(image, Rect16{2, 4, 4, 6}, 0, 2, &b));
  ASSERT_EQ(b.bytes.size(), size_t(2 * 2 * 3));
  for (size_t i = 0; i < b.bytes.size(); i++) b.bytes[i] = uint8_t(200 + i);
  HostImage before = image;
  StorePlaneBuffer(b, &image);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 6; x++)
      for (int32_t c = 0; c < 3; c++) {
        const bool written = y >= 2 && x >= 4;
        const uint8_t expected = written ? uint8_t(200 + ((y - 2) * 2 + (x - 4)) * 3 + c) : HostImagePixel(before, x, y)[c];
        EXPECT_EQ(HostImagePixel(image, x, y)[c], expected) << x << "," << y << "," << c;
      }
}

TEST(Delivery, StoresOutputBackIntoItsPlaceOnly) {
  HostImage image = Numbered(2);
  HostImage before = image;
  PlaneBuffer b;
  ASSERT_TRUE(FillPlaneBuffer(image, Rect16{2, 1, 4, 3}, 0, 0, &b));
  for (size_t i = 0; i < b.bytes.size(); i++) b.bytes[i] = 0xEE;
  StorePlaneBuffer(b, &image);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 6; x++)
      for (int32_t c = 0; c < 3; c++) {
        bool written = y >= 2 && x >= 1 && x < 3 && c == 0;
        uint16_t v, old;
        std::memcpy(&v, HostImagePixel(&image, x, y) + 2 * c, 2);
        std::memcpy(&old, HostImagePixel(&before, x, y) + 2 * c, 2);
        EXPECT_EQ(v, written ? 0xEEEE : old) << x << "," << y << "," << c;
      }
}

TEST(Delivery, TheSelectionBlendsOutputWithTheSource) {
  HostImage source, destination, mask;
  MakeHostImage(&source, 4, 1, 1, 1);
  MakeHostImage(&mask, 4, 1, 1, 1);
  source.data = {0, 100, 200, 10};
  destination = source;
  destination.data = {255, 0, 0, 250};
  mask.data = {255, 0, 128, 64};
  BlendThroughMask(source, mask, &destination);
  EXPECT_EQ(destination.data[0], 255);   // selected: the output
  EXPECT_EQ(destination.data[1], 100);   // not selected: the source
  EXPECT_EQ(destination.data[2], 100);   // (200 x 127 + 0 x 128 + 127) / 255 = 100.1
  EXPECT_EQ(destination.data[3], 70);    // (10 x 191 + 250 x 64 + 127) / 255 = 70.2

  MakeHostImage(&source, 1, 1, 3, 2);
  destination = source;
  const uint16_t out[3] = {32768, 32768, 1};
  std::memcpy(destination.data.data(), out, 6);
  MakeHostImage(&mask, 1, 1, 1, 1);
  mask.data[0] = 128;
  BlendThroughMask(source, mask, &destination);
  uint16_t v[3];
  std::memcpy(v, destination.data.data(), 6);
  EXPECT_EQ(v[0], 16448);   // 32768 x 128 / 255 = 16448.25
  EXPECT_EQ(v[2], 1);       // 128 / 255 rounds to 1
}

}  // namespace
