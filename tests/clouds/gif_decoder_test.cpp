// The GIF decoder against ImageMagick's reading of the committed fixtures, the hostile corpus
// and the picture accessors.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "clouds/gif_decoder.h"

namespace {

const std::string kGifDir = std::string(KV_CLOUDS_TEST_DATA) + "/gif";

std::vector<uint8_t> FileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> GifsIn(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".gif") names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The RGB bytes of the first frame as ImageMagick decodes it.
std::vector<uint8_t> ImageMagickRgb(const std::string &path) {
  const std::string command = "convert '" + path + "[0]' -depth 8 rgb:- 2>/dev/null";
  std::vector<uint8_t> bytes;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return bytes;
  int c;
  while ((c = fgetc(pipe)) != EOF) bytes.push_back(uint8_t(c));
  pclose(pipe);
  return bytes;
}

GifPicture *DecodeFile(const std::string &path) {
  const std::vector<uint8_t> bytes = FileBytes(path);
  return DecodeGifFromMemory(bytes.data(), int32_t(bytes.size()));
}

TEST(GifDecoder, LegalFixturesMatchImageMagickByteForByte) {
  const std::vector<std::string> files = GifsIn(kGifDir + "/legal");
  ASSERT_GE(files.size(), 14u);
  for (const std::string &path : files) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> expected = ImageMagickRgb(path);
    GifPicture *picture = DecodeFile(path);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->whole, 1);   // every pass of an interlaced picture counted
    std::vector<uint8_t> ours;
    for (int32_t y = 0; y < picture->height; y++) {
      for (int32_t x = 0; x < picture->width; x++) {
        const int32_t i = GifPixelIndex(picture, x, y);
        EXPECT_LT(i, picture->colorCount);
        ours.push_back(uint8_t(picture->red[i]));
        ours.push_back(uint8_t(picture->green[i]));
        ours.push_back(uint8_t(picture->blue[i]));
      }
    }
    EXPECT_EQ(ours, expected);
    // The file read through a handle gives the same picture as the bytes in memory.
    FileHandle file = kNoFile;
    ASSERT_TRUE(OpenPlatformFile(path.c_str(), false, &file));
    GifPicture *again = DecodeGif(file);
    ClosePlatformFile(file);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(0, std::memcmp(again->pixels, picture->pixels, size_t(picture->width) * size_t(picture->height)));
    FreeGifPicture(again);
    FreeGifPicture(picture);
  }
}

TEST(GifDecoder, TransparencyColourCountAndLocalTable) {
  GifPicture *p = DecodeFile(kGifDir + "/legal/transparent_2x2.gif");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->transparentIndex, 3);
  EXPECT_EQ(p->colorCount, 3);   // indices 0, 1, 2 are used
  EXPECT_EQ(p->indexFree[3], 1);
  EXPECT_EQ(p->interlaced, 0u);
  FreeGifPicture(p);

  // A local table of 4 entries: the palette past it is 0, not the global table's colours.
  p = DecodeFile(kGifDir + "/legal/local_table.gif");
  ASSERT_NE(p, nullptr);
  for (int i = 4; i < 256; i++) EXPECT_EQ(p->red[i] + p->green[i] + p->blue[i], 0) << i;
  FreeGifPicture(p);
}

std::map<std::string, std::vector<int>> ExpectedPartials() {
  std::map<std::string, std::vector<int>> expected;
  std::ifstream in(kGifDir + "/hostile/expected.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    int v;
    while (words >> v) expected[name].push_back(v);
    expected[name];
  }
  return expected;
}

TEST(GifDecoder, HostileCorpus) {
  const auto partials = ExpectedPartials();
  int nopic = 0;
  int partial = 0;
  for (const std::string &path : GifsIn(kGifDir + "/hostile")) {
    const std::string name = std::filesystem::path(path).stem().string();
    SCOPED_TRACE(name);
    GifPicture *p = DecodeFile(path);
    if (name.rfind("nopic_", 0) == 0) {
      EXPECT_EQ(p, nullptr);
      nopic++;
    } else {
      ASSERT_NE(p, nullptr);
      ASSERT_EQ(partials.count(name), 1u);
      const std::vector<int> &lead = partials.at(name);
      for (int32_t i = 0; i < p->width * p->height; i++) {
        const int want = i < int32_t(lead.size()) ? lead[size_t(i)] : 0;
        EXPECT_EQ(GifPixelIndex(p, i % p->width, i / p->width), want) << "pixel " << i;
      }
      EXPECT_EQ(p->transparentIndex, -1);
      EXPECT_EQ(p->whole, lead.size() >= size_t(p->width * p->height) ? 1 : 0);
      partial++;
    }
    FreeGifPicture(p);
  }
  EXPECT_GE(nopic, 17);
  EXPECT_EQ(partial, int(partials.size()));
}

TEST(GifDecoder, EveryPrefixOfAGoodFileIsNoPicture) {
  // Whatever byte a download stops at, the decoder ends, and only the whole file is a picture.
  const std::vector<uint8_t> bytes = FileBytes(kGifDir + "/legal/animated_3_frames.gif");
  for (size_t n = 0; n < bytes.size(); n++) {
    GifPicture *p = DecodeGifFromMemory(bytes.data(), int32_t(n));
    EXPECT_EQ(p, nullptr) << n;
    FreeGifPicture(p);
  }
  GifPicture *p = DecodeGifFromMemory(bytes.data(), int32_t(bytes.size()));
  EXPECT_NE(p, nullptr);
  FreeGifPicture(p);
}

TEST(GifDecoder, PictureAccessors) {
  EXPECT_EQ(NewGifPicture(0, 5), nullptr);
  EXPECT_EQ(NewGifPicture(16385, 1), nullptr);
  // At most the JPEG path's 16 megapixels: 4096 x 4096 or 8192 x 2048, not a pixel more.
  for (int32_t side : {4096, 4097}) {
    GifPicture *big = NewGifPicture(side, 4096);
    EXPECT_EQ(big != nullptr, side == 4096);
    FreeGifPicture(big);
  }
  EXPECT_EQ(NewGifPicture(8192, 2049), nullptr);
  GifPicture *p = NewGifPicture(3, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->transparentIndex, -1);
  EXPECT_EQ(p->colorCount, 0);
  SetGifPixel(p, 2, 1, 200);
  SetGifPixel(p, 3, 1, 9);    // outside: ignored
  SetGifPixel(p, -1, 0, 9);
  SetGifPixel(p, 0, 0, -2);   // a command without a list: nothing
  EXPECT_EQ(GifPixelIndex(p, 2, 1), 200);
  EXPECT_EQ(GifPixelIndex(p, 0, 0), 0);
  EXPECT_EQ(GifPixelIndex(p, 3, 1), 0);
  EXPECT_EQ(GifPixelIndex(p, 0, -1), 0);
  FreeGifPicture(p);
}

}  // namespace
