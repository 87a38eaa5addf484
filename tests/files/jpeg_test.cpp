// JPEG writing and reading: our tables and sampling by quality, the markers after the
// library's header, the Exif and IPTC builders, the decoder and its memory source, the marker
// scanner, the file loader and the file writers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "files/jpeg_codec.h"
#include "files/jpeg_files.h"
#include "files/jpeg_markers.h"
#include "files/picture_keywords.h"
#include "foundation/binary_io.h"
#include "foundation/clock.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_memory.h"
#include "tests/files/files_fixture.h"
#include "tests/files/jpeg_test_support.h"

namespace files_test {
namespace {

class Jpeg : public FilesTest {
 protected:
  // Encodes `image` (all of level 0) and returns the stream; empty on failure.
  std::vector<uint8_t> Encode(const TiledMipImage *image, int32_t quality, const uint8_t *icc = nullptr,
                              int32_t iccSize = 0, IptcBuilder *iptc = nullptr, const ExifBuffer *exif = nullptr) {
    std::vector<uint8_t> block(size_t(4 << 20) + size_t(iccSize > 0 ? iccSize : 0) * 2);
    Rect16 all = {0, 0, int16_t(image->levelHeight[0]), int16_t(image->levelWidth[0])};
    int32_t count = -1;
    int16_t result = EncodeImageToJpeg(image, &all, block.data(), int32_t(block.size()), quality, &count, icc,
                                       iccSize, iptc, exif);
    EXPECT_EQ(result, kJpegOk);
    if (result != kJpegOk) return {};
    block.resize(size_t(count));
    return block;
  }
  std::vector<uint8_t> PatternStream(int32_t w, int32_t h, int32_t quality) {
    TiledMipImage image;
    Bind(&image);
    MakePattern(&image, w, h, 1);
    std::vector<uint8_t> s = Encode(&image, quality);
    FreeImageTiles(&image);
    return s;
  }
};

// The quality decile's first rows, and the whole decile-8 pair, as the format defines them.
const uint16_t kLumaRow0[10][8] = {{20, 17, 26, 41, 51, 39, 34, 17}, {18, 14, 14, 21, 30, 35, 34, 17},
                                   {16, 11, 11, 16, 23, 27, 31, 17}, {12, 8, 8, 12, 17, 21, 24, 17},
                                   {8, 6, 6, 8, 12, 14, 16, 17},     {13, 7, 7, 13, 15, 18, 20, 17},
                                   {6, 4, 4, 6, 9, 11, 12, 16},      {4, 3, 3, 4, 6, 7, 8, 13},
                                   {2, 2, 2, 2, 3, 4, 5, 6},         {1, 1, 1, 1, 2, 2, 2, 3}};
const uint16_t kChromaRow0[10][8] = {{21, 26, 33, 34, 20, 20, 17, 17}, {20, 19, 22, 27, 20, 20, 17, 17},
                                     {17, 15, 17, 21, 20, 20, 17, 17}, {10, 11, 10, 16, 20, 20, 17, 17},
                                     {9, 8, 9, 11, 14, 17, 17, 17},    {11, 12, 21, 34, 20, 20, 17, 17},
                                     {7, 7, 10, 24, 20, 20, 17, 17},   {4, 5, 8, 15, 20, 20, 17, 17},
                                     {3, 3, 5, 9, 10, 15, 15, 15},     {1, 1, 2, 4, 7, 8, 8, 8}};
const uint16_t kLuma8[64] = {2, 2, 2, 2, 3, 4,  5,  6,  2, 2, 2, 2, 3,  4,  5,  6,  2, 2, 2, 2, 4,  5,
                             7, 9, 2, 2, 2, 4,  5,  7,  9, 12, 3, 3, 4, 5,  8,  13, 12, 12, 4, 4, 5, 7,
                             13, 12, 12, 12, 5, 5, 7, 9, 12, 12, 12, 12, 6, 6, 9, 12, 12, 12, 12, 12};
const uint16_t kChroma8[64] = {3,  3,  5,  9,  10, 15, 15, 15, 3,  4,  6,  13, 14, 12, 12, 12,
                               5,  6,  9,  14, 12, 12, 12, 12, 9,  13, 14, 12, 12, 12, 12, 12,
                               10, 14, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12,
                               15, 12, 12, 12, 12, 12, 12, 12, 15, 12, 12, 12, 12, 12, 12, 12};

TEST_F(Jpeg, QualityPicksTablesAndSampling) {
  std::vector<uint8_t> s = PatternStream(40, 40, 80);
  EXPECT_EQ(QuantTable(s, 0), std::vector<uint16_t>(kLuma8, kLuma8 + 64));
  EXPECT_EQ(QuantTable(s, 1), std::vector<uint16_t>(kChroma8, kChroma8 + 64));
  JpegFrame f = FrameOf(s);
  EXPECT_EQ(f.h[0], 1);
  EXPECT_EQ(f.v[0], 1);

  for (int quality : {0, 9, 10, 25, 45, 49, 50, 63, 71, 99, 150, -20}) {
    int decile = (quality < 0 ? 0 : quality > 99 ? 99 : quality) / 10;
    s = PatternStream(40, 40, quality);
    std::vector<uint16_t> luma = QuantTable(s, 0), chroma = QuantTable(s, 1);
    ASSERT_EQ(luma.size(), 64u) << quality;
    ASSERT_EQ(chroma.size(), 64u) << quality;
    EXPECT_EQ(std::vector<uint16_t>(luma.begin(), luma.begin() + 8),
              std::vector<uint16_t>(kLumaRow0[decile], kLumaRow0[decile] + 8))
        << quality;
    EXPECT_EQ(std::vector<uint16_t>(chroma.begin(), chroma.begin() + 8),
              std::vector<uint16_t>(kChromaRow0[decile], kChromaRow0[decile] + 8))
        << quality;
    f = FrameOf(s);
    int sampling = decile <= 4 ? 2 : 1;
    EXPECT_EQ(f.h[0], sampling) << quality;
    EXPECT_EQ(f.v[0], sampling) << quality;
    EXPECT_EQ(f.h[1], 1);
    EXPECT_EQ(f.v[2], 1);
  }
}

TEST_F(Jpeg, SmallPicturesAreEncodedAtLeastSixteenPixels) {
  std::vector<uint8_t> s = PatternStream(10, 300, 80);
  JpegFrame f = FrameOf(s);
  EXPECT_EQ(f.width, 16);
  EXPECT_EQ(f.height, 300);
  EXPECT_EQ(f.components, 3);
}

TEST_F(Jpeg, MarkersFollowTheLibraryHeaderInOrder) {
  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 32, 32, 2);
  std::vector<uint8_t> icc(65520);
  for (size_t i = 0; i < icc.size(); i++) icc[i] = uint8_t(i * 7);
  ExifBuffer exif;
  ResetExifBlock(&exif);
  ASSERT_EQ(BuildExifBlock(&exif, true, false), 42);
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  std::vector<uint8_t> s = Encode(&image, 80, icc.data(), int32_t(icc.size()), &iptc, &exif);
  std::vector<JpegSegment> segments = JpegSegments(s);
  ASSERT_GE(segments.size(), 8u);
  EXPECT_EQ(segments[0].marker, 0xD8);
  EXPECT_EQ(segments[1].marker, 0xE0);   // the library's JFIF header
  EXPECT_EQ(segments[2].marker, 0xFE);
  EXPECT_EQ(std::string(segments[2].payload.begin(), segments[2].payload.end()),
            std::string("http://www.example.com/kvg/") + '\0');
  EXPECT_EQ(segments[3].marker, 0xE1);
  EXPECT_EQ(segments[3].payload, std::vector<uint8_t>(exif.start, exif.start + 42));
  EXPECT_EQ(segments[4].marker, 0xE2);
  EXPECT_EQ(segments[4].payload.size(), 65519u + 14u);
  EXPECT_EQ(std::string(segments[4].payload.begin(), segments[4].payload.begin() + 12), std::string("ICC_PROFILE") + '\0');
  EXPECT_EQ(segments[4].payload[12], 1);
  EXPECT_EQ(segments[4].payload[13], 2);
  EXPECT_EQ(segments[5].marker, 0xE2);
  EXPECT_EQ(segments[5].payload.size(), 1u + 14u);
  EXPECT_EQ(segments[5].payload[12], 2);
  EXPECT_EQ(segments[5].payload[13], 2);
  EXPECT_EQ(segments[5].payload[14], icc[65519]);
  std::vector<uint8_t> joined(segments[4].payload.begin() + 14, segments[4].payload.end());
  joined.push_back(segments[5].payload[14]);
  EXPECT_EQ(joined, icc);
  EXPECT_EQ(segments[6].marker, 0xED);
  EXPECT_EQ(segments[6].payload.size(), 116u);
  EXPECT_EQ(segments[7].marker, 0xDB) << "the library's tables follow ours";
  FreeIptcBuffer(&iptc);
  FreeExifBlock(&exif);
  FreeImageTiles(&image);
}

TEST_F(Jpeg, IccProfilesTooLargeToNumberAreLeftOut) {
  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 16, 16, 2);
  int32_t size = 255 * 65519 + 1;
  std::vector<uint8_t> icc(size_t(size), 0x42);
  std::vector<uint8_t> block(1 << 20);
  Rect16 all = {0, 0, 16, 16};
  int32_t count = 0;
  ASSERT_EQ(EncodeImageToJpeg(&image, &all, block.data(), int32_t(block.size()), 80, &count, icc.data(), size,
                              nullptr, nullptr),
            kJpegOk);
  block.resize(size_t(count));
  for (const JpegSegment &segment : JpegSegments(block)) EXPECT_NE(segment.marker, 0xE2);
  FreeImageTiles(&image);
}

TEST_F(Jpeg, ExifPayload) {
  ExifBuffer exif;
  ResetExifBlock(&exif);
  EXPECT_EQ(BuildExifBlock(&exif, true, true), 42) << "measuring";
  EXPECT_EQ(exif.start, nullptr);
  EXPECT_EQ(BuildExifBlock(&exif, false, true), 36);
  ASSERT_EQ(BuildExifBlock(&exif, true, false), 42);
  const uint8_t want[42] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0x00, 0x2A, 0, 0, 0, 8, 0, 1, 0x01, 0x31, 0, 2, 0, 0,
                            0,   10,  0,   0,   0, 26, 0, 0, 0, 0, 'K', 'i', 'v', 'a', 'g', 'l', 'o', 'b', 'e', 0};
  EXPECT_EQ(std::vector<uint8_t>(exif.start, exif.start + 42), std::vector<uint8_t>(want, want + 42));
  EXPECT_EQ(BuildExifBlock(&exif, true, false), 0) << "built once";
  FreeExifBlock(&exif);
  EXPECT_EQ(exif.start, nullptr);
  EXPECT_EQ(BuildExifBlock(nullptr, true, false), 0);
}

TEST_F(Jpeg, IptcDataAndResource) {
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  EXPECT_EQ(BuildIptcData(&iptc, true), 90);
  EXPECT_EQ(BuildIptcResource(&iptc, true, true), 116);
  EXPECT_EQ(BuildIptcResource(&iptc, false, true), 102);
  ASSERT_EQ(BuildIptcResource(&iptc, true, false), 116);
  uint32_t year, month, day, hour;
  GetUtcDateHour(&year, &month, &day, &hour);
  char date[16];
  std::snprintf(date, sizeof date, "%04u%02u%02u", year, month, day);
  std::string want = std::string("Photoshop 3.0") + '\0' + "8BIM" + std::string("\x04\x04\x00\x00\x00\x00\x00\x5A", 8) +
                     std::string("\x1C\x02\x00\x00\x02\x00\x02", 7) + std::string("\x1C\x02\x73\x00\x1B", 5) +
                     "http://www.example.com/kvg/" + std::string("\x1C\x02\x37\x00\x08", 5) + date +
                     std::string("\x1C\x02\x78\x00\x13", 5) + "Made with Kivaglobe" +
                     std::string("\x1C\x02\x19\x00\x09", 5) + "Kivaglobe";
  ASSERT_EQ(want.size(), 116u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(iptc.start), 116), want);
  EXPECT_EQ(BuildIptcResource(&iptc, true, false), 0) << "built once";
  FreeIptcBuffer(&iptc);

  // An odd total gets one pad byte: a keyword of 4 characters makes 90 + 9 = 99, padded to 100.
  InitIptcKeywords(&iptc);
  ASSERT_TRUE(AddIptcKeyword(&iptc, "HDRx"));
  EXPECT_EQ(BuildIptcData(&iptc, true), 100);
  EXPECT_EQ(BuildIptcData(nullptr, true), 0);
}

TEST_F(Jpeg, KeywordRules) {
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  EXPECT_TRUE(AddIptcKeyword(&iptc, "Cloud mask"));
  EXPECT_FALSE(AddIptcKeyword(&iptc, "cloud")) << "a listed keyword begins with it";
  EXPECT_FALSE(AddIptcKeyword(&iptc, "CLOUD MASK"));
  EXPECT_FALSE(AddIptcKeyword(&iptc, ""));
  EXPECT_FALSE(AddIptcKeyword(&iptc, nullptr));
  EXPECT_FALSE(AddIptcKeyword(&iptc, std::string(50, 'x').c_str()));
  EXPECT_TRUE(AddIptcKeyword(&iptc, std::string(49, 'y').c_str()));
  InitIptcKeywords(&iptc);
  EXPECT_TRUE(AddIptcKeyword(&iptc, "cloud"));
  EXPECT_TRUE(AddIptcKeyword(&iptc, "cloud mask")) << "\"cloud\" does not begin with \"cloud mask\"";
  char text[kIptcKeywordSize];
  GetIptcKeyword(&iptc, 1, text);
  EXPECT_STREQ(text, "cloud mask");
  GetIptcKeyword(&iptc, 2, text);
  EXPECT_STREQ(text, "");
}

// The picture's own keywords: real clouds first, then the mode's name unless it is the globe.
TEST_F(Jpeg, ModeKeywordsDescribeThePicture) {
  IptcBuilder iptc;
  char text[kIptcKeywordSize];
  auto keywords = [&]() {
    std::string all;
    for (int32_t i = 0; i < iptc.keywordCount; i++) {
      GetIptcKeyword(&iptc, i, text);
      all += std::string(all.empty() ? "" : "|") + text;
    }
    return all;
  };
  Block()->realClouds = 0;
  Block()->outputMode = 1;
  InitIptcKeywords(&iptc);
  AddModeKeywords(&iptc, &globals_);
  EXPECT_EQ(keywords(), "");
  Block()->realClouds = 1;
  Block()->outputMode = 3;
  InitIptcKeywords(&iptc);
  AddIptcKeyword(&iptc, "Lit Map");   // already listed in another case: not repeated
  AddModeKeywords(&iptc, &globals_);
  EXPECT_EQ(keywords(), "Lit Map|realclouds");
  Block()->realClouds = 0;
  Block()->outputMode = 14;
  InitIptcKeywords(&iptc);
  AddModeKeywords(&iptc, &globals_);
  EXPECT_EQ(keywords(), "bump w/o ocean");
  Block()->realClouds = 0;
  Block()->outputMode = 99;   // a foreign mode has no name to add
  InitIptcKeywords(&iptc);
  AddModeKeywords(&iptc, &globals_);
  EXPECT_EQ(keywords(), "");
}

// Nineteen keywords of 49 characters need more than a 1000-byte block: the block is made at
// the measured length and the APP13 marker carries all of them.
TEST_F(Jpeg, NineteenLongKeywordsFit) {
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  for (int i = 0; i < 20; i++) {
    std::string k(49, char('a' + i));
    EXPECT_EQ(AddIptcKeyword(&iptc, k.c_str()), i < 19) << i;
  }
  int32_t measured = BuildIptcResource(&iptc, true, true);
  EXPECT_EQ(measured, 116 + 19 * (5 + 49));
  ASSERT_EQ(BuildIptcResource(&iptc, true, false), measured);
  EXPECT_EQ(iptc.start[measured - 1], 's') << "the nineteenth keyword ends the block";
  FreeIptcBuffer(&iptc);

  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 16, 16, 2);
  std::vector<uint8_t> s = Encode(&image, 80, nullptr, 0, &iptc);
  bool sawIptc = false;
  for (const JpegSegment &segment : JpegSegments(s)) {
    if (segment.marker == 0xED) {
      sawIptc = true;
      EXPECT_EQ(int32_t(segment.payload.size()), measured);
    }
  }
  EXPECT_TRUE(sawIptc);
  FreeIptcBuffer(&iptc);
  FreeImageTiles(&image);
}

TEST_F(Jpeg, BuildersThatCannotGetTheirBlockCountNothing) {
  SetNewPointerLimit(0);
  ExifBuffer exif;
  ResetExifBlock(&exif);
  EXPECT_EQ(BuildExifBlock(&exif, true, false), 0);
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  EXPECT_EQ(BuildIptcResource(&iptc, true, false), 0);
  SetNewPointerLimit(-1);
  EXPECT_EQ(exif.start, nullptr);
  EXPECT_EQ(iptc.start, nullptr);
}

// ---- Decoding --------------------------------------------------------------------------------

TEST_F(Jpeg, RoundTripThroughTheDecoder) {
  TiledMipImage image, back, grey;
  Bind(&image);
  Bind(&back);
  Bind(&grey);
  MakePattern(&image, 64, 48, 4);
  std::vector<uint8_t> s = Encode(&image, 95);
  ASSERT_TRUE(CreateImage(&back, 64, 48, kFormatPacked8, 0));
  ASSERT_TRUE(CreateImage(&grey, 64, 48, kFormatGray8, 0));
  Rect16 all = {0, 0, 48, 64};
  ASSERT_EQ(DecodeJpegToImage(&back, &all, s.data(), int32_t(s.size())), kJpegOk);
  ASSERT_EQ(DecodeJpegToImage(&grey, &all, s.data(), int32_t(s.size())), kJpegOk);
  for (int32_t y = 0; y < 48; y += 5) {
    for (int32_t x = 0; x < 64; x += 5) {
      int32_t r0, g0, b0, a0, r1, g1, b1, a1;
      GetPixelPacked8(x, y, &image, 0, &r0, &g0, &b0, &a0);
      GetPixelPacked8(x, y, &back, 0, &r1, &g1, &b1, &a1);
      EXPECT_NEAR(r1, r0, 12) << x << "," << y;
      EXPECT_NEAR(g1, g0, 12) << x << "," << y;
      EXPECT_NEAR(b1, b0, 16) << x << "," << y;
      EXPECT_EQ(a1, 255);
      EXPECT_EQ(GetPixelGray8(x, y, &grey, 0), (77 * r1 + 150 * g1 + 28 * b1) >> 8);
    }
  }
  FreeImageTiles(&image);
  FreeImageTiles(&back);
  FreeImageTiles(&grey);
}

TEST_F(Jpeg, GreyStreamIntoFourChannels) {
  std::vector<uint8_t> s = ReferenceGreyJpeg(24, 20);
  TiledMipImage image;
  Bind(&image);
  ASSERT_TRUE(CreateImage(&image, 24, 20, kFormatPacked8, 0));
  Rect16 all = {0, 0, 20, 24};
  ASSERT_EQ(DecodeJpegToImage(&image, &all, s.data(), int32_t(s.size())), kJpegOk);
  for (int32_t y = 0; y < 20; y += 3) {
    for (int32_t x = 0; x < 24; x += 3) {
      int32_t r, g, b, a;
      GetPixelPacked8(x, y, &image, 0, &r, &g, &b, &a);
      EXPECT_EQ(r, g);
      EXPECT_EQ(g, b);
      EXPECT_EQ(a, 255);
      EXPECT_NEAR(r, x * 4 + y * 4, 16);
    }
  }
  FreeImageTiles(&image);
}

TEST_F(Jpeg, DecoderRefusals) {
  TiledMipImage image, wide;
  Bind(&image);
  Bind(&wide);
  Rect16 all = {0, 0, 16, 16};
  std::vector<uint8_t> s = PatternStream(16, 16, 80);
  EXPECT_EQ(DecodeJpegToImage(nullptr, &all, s.data(), int32_t(s.size())), kJpegNoImage);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, s.data(), int32_t(s.size())), kJpegNoImage) << "no tiles";
  ASSERT_TRUE(CreateImage(&image, 16, 16, kFormatPacked8, 0));
  std::vector<uint8_t> cmyk = ReferenceCmykJpeg(16, 16);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, cmyk.data(), int32_t(cmyk.size())), kJpegFailed);
  std::vector<uint8_t> text(300, 'x');
  EXPECT_EQ(DecodeJpegToImage(&image, &all, text.data(), int32_t(text.size())), kJpegFailed);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, s.data(), 0), kJpegFailed);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, s.data(), 2), kJpegFailed) << "only SOI";
  ASSERT_TRUE(CreateImage(&wide, 16, 16, kFormatRgba16, 0));
  EXPECT_EQ(DecodeJpegToImage(&wide, &all, s.data(), int32_t(s.size())), kJpegFailed);
  FreeImageTiles(&image);
  FreeImageTiles(&wide);
}

// A complete stream shorter than the source's 4096-byte buffer decodes from a block of exactly
// its size; a stream cut short decodes what arrived.
TEST_F(Jpeg, MemorySourceHandsOutWhatRemains) {
  std::vector<uint8_t> s = PatternStream(16, 16, 80);
  ASSERT_LT(s.size(), 4096u);
  TiledMipImage image;
  Bind(&image);
  ASSERT_TRUE(CreateImage(&image, 16, 16, kFormatPacked8, 0));
  Rect16 all = {0, 0, 16, 16};
  EXPECT_EQ(DecodeJpegToImage(&image, &all, s.data(), int32_t(s.size())), kJpegOk);

  std::vector<uint8_t> big = PatternStream(200, 160, 90);
  ASSERT_GT(big.size(), 8192u);
  ASSERT_TRUE(CreateImage(&image, 200, 160, kFormatPacked8, 0));
  for (int32_t y = 0; y < 160; y++) PutPixelPacked8(0, y, &image, 0, 1, 2, 3, 4);
  Rect16 bigRect = {0, 0, 160, 200};
  EXPECT_EQ(DecodeJpegToImage(&image, &bigRect, big.data(), int32_t(big.size() * 2 / 3)), kJpegOk);
  int32_t r, g, b, a;
  GetPixelPacked8(0, 0, &image, 0, &r, &g, &b, &a);
  EXPECT_EQ(a, 255) << "the rows that arrived are decoded";
  GetPixelPacked8(0, 159, &image, 0, &r, &g, &b, &a);
  EXPECT_EQ(a, 255) << "the missing rows are filled, not left as they were";
  FreeImageTiles(&image);
}

TEST_F(Jpeg, EncoderFailures) {
  TiledMipImage image;
  Bind(&image);
  std::vector<uint8_t> block(100000);
  Rect16 all = {0, 0, 64, 64};
  int32_t count = 7;
  EXPECT_EQ(EncodeImageToJpeg(nullptr, &all, block.data(), 100000, 80, &count, nullptr, 0, nullptr, nullptr),
            kJpegNoImage);
  EXPECT_EQ(EncodeImageToJpeg(&image, &all, block.data(), 100000, 80, &count, nullptr, 0, nullptr, nullptr),
            kJpegNoImage);
  MakePattern(&image, 64, 64, 9);
  EXPECT_EQ(EncodeImageToJpeg(&image, &all, block.data(), 300, 80, &count, nullptr, 0, nullptr, nullptr), kJpegFailed)
      << "the stream does not fit the block";
  EXPECT_EQ(count, 0);
  // The failure left nothing behind that the next picture could trip over.
  EXPECT_EQ(EncodeImageToJpeg(&image, &all, block.data(), 100000, 80, &count, nullptr, 0, nullptr, nullptr), kJpegOk);
  EXPECT_GT(count, 300);
  FreeImageTiles(&image);
}

// ---- Scanning and loading ----------------------------------------------------------------------

TEST_F(Jpeg, ScannerReportsTheLastFrameBeforeTheScan) {
  std::vector<uint8_t> s = {0xFF, 0xD8,
                            0xFF, 0xFE, 0x00, 0x04, 'h', 'i',                                     // COM
                            0xFF, 0xC0, 0x00, 0x0B, 8, 0x00, 0x10, 0x00, 0x20, 1, 1, 0x11, 0,     // 32 x 16
                            0xFF, 0xFF, 0xC2, 0x00, 0x11, 8, 0x01, 0x2C, 0x00, 0xC8, 3,           // 200 x 300
                            1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1,
                            0xFF, 0xDA, 0x00, 0x08, 0xC0, 0x00, 0x99, 0x99, 0x99, 0x99};
  WriteWholeFile(In("scan.jpg"), s);
  FileHandle file = kNoFile;
  FileSpec spec = Spec("scan.jpg");
  ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForRead), 0);
  int16_t error = -1;
  int32_t w1 = 0, h1 = 0, c1 = 0;
  EXPECT_EQ(ScanJpegHeader(file, &error, &w1, &h1, &c1), 0xDA);
  ClosePlatformFile(file);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(w1, 200);
  EXPECT_EQ(h1, 300);
  EXPECT_EQ(c1, 3);
  int32_t w2, h2, c2;
  EXPECT_EQ(ReadJpegFileInfo(&spec, &w2, &h2, &c2), 0);
  EXPECT_EQ(w2, 200);
  FileSpec missing = Spec("none.jpg");
  EXPECT_EQ(ReadJpegFileInfo(&missing, &w2, &h2, &c2), 99);
  EXPECT_EQ(w2, 0);
}

TEST_F(Jpeg, ScannerErrors) {
  struct Case {
    std::vector<uint8_t> bytes;
    int16_t error;
    int32_t width;
  } cases[] = {
      {{'G', 'I', 'F', '8'}, kScanNotJpeg, 0},
      {{0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xD9}, kScanBadLength, 0},
      {{0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0C, 8, 0, 5, 0, 7, 1, 1, 0x11, 0, 0xFF, 0xD9}, kScanBadFrame, 7},
      {{0xFF, 0xD8, 0xFF, 0xE1, 0x00}, kScanLengthLowUnread, 0},
      {{0xFF, 0xD8, 0xFF, 0xE1}, kScanLengthHighUnread, 0},
      {{0xFF, 0xD8, 0x00, 0x00}, kScanByteUnread, 0},
      {{0xFF, 0xD8, 0xFF, 0xE1, 0x10, 0x00, 1, 2, 3}, kScanByteUnread, 0},
  };
  for (const Case &c : cases) {
    WriteWholeFile(In("bad.jpg"), c.bytes);
    FileSpec spec = Spec("bad.jpg");
    FileHandle file = kNoFile;
    ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForRead), 0);
    int16_t error = 0;
    int32_t w = -1, h = -1, n = -1;
    ScanJpegHeader(file, &error, &w, &h, &n);
    ClosePlatformFile(file);
    EXPECT_EQ(error, c.error) << c.bytes.size();
    EXPECT_EQ(w, c.width) << c.bytes.size();
  }
}

TEST_F(Jpeg, LoadingAFile) {
  std::vector<uint8_t> s = PatternStream(70, 30, 90);
  WriteWholeFile(In("pic.jpg"), s);
  FileSpec spec = Spec("pic.jpg");
  TiledMipImage image;
  Bind(&image);
  ASSERT_EQ(LoadJpegFileImage(&spec, &image, &globals_), 0);
  EXPECT_EQ(image.levelWidth[0], 70);
  EXPECT_EQ(image.levelHeight[0], 30);
  EXPECT_EQ(image.storageFormat, uint32_t(kFormatPacked8));
  int32_t r, g, b, a;
  GetPixelPacked8(69, 29, &image, 0, &r, &g, &b, &a);
  EXPECT_NEAR(r, 255, 12);
  EXPECT_NEAR(g, 255, 12);
  EXPECT_EQ(a, 255);
  EXPECT_GT(image.coarsestLevel, 0);
  FreeImageTiles(&image);
}

TEST_F(Jpeg, LoaderReportsFailures) {
  TiledMipImage image;
  Bind(&image);
  FileSpec spec = Spec("missing.jpg");
  EXPECT_EQ(LoadJpegFileImage(&spec, &image, &globals_), 99);

  WriteWholeFile(In("text.jpg"), std::vector<uint8_t>(100, 'a'));
  spec = Spec("text.jpg");
  EXPECT_EQ(LoadJpegFileImage(&spec, &image, &globals_), kLoadNoFrame);

  // A frame header and then nothing a decoder can use: the size is known, the picture is not.
  std::vector<uint8_t> cut = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 8, 0, 40, 0, 40, 3,
                              1,    0x11, 0,    2,    0x11, 1,    3, 0x11, 1};
  WriteWholeFile(In("cut.jpg"), cut);
  spec = Spec("cut.jpg");
  EXPECT_EQ(LoadJpegFileImage(&spec, &image, &globals_), kJpegFailed);
  EXPECT_EQ(image.tiles, nullptr) << "no undefined picture is left behind";
}

// ---- Writing into files ------------------------------------------------------------------------

TEST_F(Jpeg, WriteImageAsJpegHeaderWords) {
  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 10, 40, 3);
  FileSpec spec = Spec("block.bin");
  FileHandle file = kNoFile;
  ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForWrite), 0);
  EXPECT_EQ(WriteImageAsJpeg(&image, file, true, 80, nullptr, 0, nullptr, nullptr), 0);
  ClosePlatformFile(file);
  std::vector<uint8_t> f = ReadWholeFile(In("block.bin"));
  ASSERT_GT(f.size(), 16u);
  EXPECT_EQ(WordAt(f, 0), 1u);
  EXPECT_EQ(WordAt(f, 1), 16u) << "a 10-pixel width is recorded as 16";
  EXPECT_EQ(WordAt(f, 2), 40u);
  EXPECT_EQ(WordAt(f, 3), f.size() - 16);
  std::vector<uint8_t> stream(f.begin() + 16, f.end());
  EXPECT_EQ(FrameOf(stream).width, 16);

  TiledMipImage none;
  Bind(&none);
  EXPECT_EQ(WriteImageAsJpeg(nullptr, file, true, 80, nullptr, 0, nullptr, nullptr), kWriteJpegNullImage);
  EXPECT_EQ(WriteImageAsJpeg(&none, file, true, 80, nullptr, 0, nullptr, nullptr), kWriteJpegNoTiles);
  FreeImageTiles(&image);
}

// The output block makes room for the metadata it measured: a large ICC profile on a small
// picture no longer pushes the picture out.
TEST_F(Jpeg, LargeProfileOnASmallPicture) {
  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 16, 16, 3);
  std::vector<uint8_t> icc(150000);
  for (size_t i = 0; i < icc.size(); i++) icc[i] = uint8_t(i ^ (i >> 8));
  FileSpec spec = Spec("icc.jpg");
  FileHandle file = kNoFile;
  ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForWrite), 0);
  EXPECT_EQ(WriteImageAsJpeg(&image, file, false, 80, icc.data(), int32_t(icc.size()), nullptr, nullptr), 0);
  ClosePlatformFile(file);
  std::vector<uint8_t> s = ReadWholeFile(In("icc.jpg"));
  std::vector<uint8_t> joined;
  for (const JpegSegment &segment : JpegSegments(s)) {
    if (segment.marker == 0xE2) joined.insert(joined.end(), segment.payload.begin() + 14, segment.payload.end());
  }
  EXPECT_EQ(joined, icc);
  EXPECT_EQ(s[s.size() - 1], 0xD9);
  FreeImageTiles(&image);
}

TEST_F(Jpeg, JpegWithMetadataEndsTheFile) {
  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 48, 32, 5);
  std::vector<uint8_t> profile(3000, 0x33);
  char *master = reinterpret_cast<char *>(profile.data());
  record_.iCCprofileData = &master;
  record_.iCCprofileSize = int32_t(profile.size());
  const int32_t outstanding = OutstandingPointers();
  WriteWholeFile(In("meta.jpg"), std::vector<uint8_t>(200000, 0x11));
  FileSpec spec = Spec("meta.jpg");
  FileHandle file = kNoFile;
  ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForWrite), 0);
  EXPECT_EQ(WriteJpegWithMetadata(&image, file, 1, true), 0);
  std::vector<uint8_t> s = ReadWholeFile(In("meta.jpg"));
  ASSERT_LT(s.size(), 200000u) << "ended after the picture";
  EXPECT_EQ(s[s.size() - 2], 0xFF);
  EXPECT_EQ(s[s.size() - 1], 0xD9);
  std::vector<uint8_t> order;
  for (const JpegSegment &segment : JpegSegments(s)) order.push_back(segment.marker);
  ASSERT_GE(order.size(), 6u);
  EXPECT_EQ(order[2], 0xFE);
  EXPECT_EQ(order[3], 0xE1);
  EXPECT_EQ(order[4], 0xE2);
  EXPECT_EQ(order[5], 0xED);
  EXPECT_EQ(OutstandingPointers(), outstanding) << "both builders gave their blocks back";
  record_.iCCprofileData = nullptr;
  record_.iCCprofileSize = 0;
  FreeImageTiles(&image);
}

}  // namespace
}  // namespace files_test
