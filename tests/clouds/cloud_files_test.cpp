// The cloud import, the cache files and the source list, on a stand-in host whose scratch
// folder is the temporary folder. Natively the file layouts are also read back by Python's
// struct (read_cloud_file.py), a reader independent of ours.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "clouds/cloud_download.h"
#include "clouds/cloud_fetch.h"
#include "clouds/cloud_files.h"
#include "clouds/cloud_import.h"
#include "foundation/binary_io.h"
#include "foundation/file_io.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/parameters.h"
#include "tests/files/files_fixture.h"

namespace {

using files_test::FilesTest;
using files_test::ReadWholeFile;
using files_test::SystemPath;
using files_test::Words;
using files_test::WriteWholeFile;

const std::string kData = KV_CLOUDS_TEST_DATA;

class CloudFilesTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    Bind(Cloud());
  }
  void TearDown() override {
    FreeImageTiles(Cloud());
    FilesTest::TearDown();
  }
  TiledMipImage *Cloud() { return &globals_.imageSet[0]; }
  CloudHeader &Header() { return globals_.runState->cloudHeader; }
  RunState *Run() { return globals_.runState; }

  // A gray picture of value (x * 7 + y * 13) & 255 as the cloud image, with a header.
  void MakeCloud(int32_t width, int32_t height, int32_t source) {
    ASSERT_TRUE(CreateImage(Cloud(), width, height, kFormatGray8, 0));
    for (int32_t y = 0; y < height; y++) {
      for (int32_t x = 0; x < width; x++) PutPixelGray8Checked(x, y, Cloud(), 0, (x * 7 + y * 13) & 255);
    }
    RebuildAllLevels(Cloud());
    Header() = CloudHeader{};
    Header().imageWidth = width;
    Header().imageHeight = height;
    Header().boxX = 1.9f;
    Header().boxWidth = float(width) - 2.5f;
    Header().boxY = 0.5f;
    Header().boxHeight = float(height);
    Header().sourceIndex = source;
    Header().loaded = 1;
  }
  std::vector<uint8_t> Pyramid() {
    std::vector<uint8_t> bytes;
    for (int32_t level = 0; level <= Cloud()->coarsestLevel; level++) {
      for (int32_t y = 0; y < Cloud()->levelHeight[level]; y++) {
        for (int32_t x = 0; x < Cloud()->levelWidth[level]; x++) bytes.push_back(uint8_t(GetPixelGray8(x, y, Cloud(), level)));
      }
    }
    return bytes;
  }
  std::string CachePath(int32_t index) {
    FileSpec spec{};
    CloudCacheSpec(index, &spec);
    return spec.path;
  }
  std::string ListPath() { return In(kCloudListName); }
  FileSpec Copy(const std::string &from, const std::string &name) {
    WriteWholeFile(In(name), ReadWholeFile(from));
    return Spec(name);
  }
};

#ifndef _WIN32
std::vector<std::string> PythonRead(const std::string &kind, const std::string &path) {
  const std::string command =
      "python3 '" + kData + "/read_cloud_file.py' " + kind + " '" + SystemPath(path) + "'";
  std::vector<std::string> lines;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return lines;
  char line[2048];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string s = line;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    lines.push_back(s);
  }
  pclose(pipe);
  return lines;
}
#endif

TEST_F(CloudFilesTest, CacheRoundTripOfA10x6Picture) {
  MakeCloud(10, 6, 7);
  const std::vector<uint8_t> pyramid = Pyramid();
  // An older, longer file of the same name: its tail must not survive.
  WriteWholeFile(CachePath(7), std::vector<uint8_t>(500, 0xAB));
  ASSERT_EQ(WriteCloudCache(&globals_, 7), 0);
  const std::vector<uint8_t> file = ReadWholeFile(CachePath(7));
  ASSERT_EQ(file.size(), 131u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 36, file.end()), pyramid);
#ifndef _WIN32
  // magic, version, sizes, the box truncated, the source; the length and the pyramid's size.
  const auto lines = PythonRead("cache", CachePath(7));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "4275874736 1 10 6 1 7 0 6 7 131 131");
#endif
  // Read back over a different picture.
  MakeCloud(3, 3, 1);
  Block()->cloudImage = 0;
  ReadCloudCache(&globals_, 7);
  ASSERT_EQ(Header().loaded, 1);
  EXPECT_EQ(Pyramid(), pyramid);
  EXPECT_EQ(Header().imageWidth, 10);
  EXPECT_EQ(Header().lastRow, 5);
  EXPECT_EQ(Header().sourceIndex, 7);
  EXPECT_FLOAT_EQ(Header().offsetU, 0.1f);
  EXPECT_FLOAT_EQ(Header().spanU, 0.7f);
  EXPECT_FLOAT_EQ(Header().spanV, 1.0f);
  EXPECT_EQ(Block()->cloudImage, 7u);
  EXPECT_EQ(Block()->cloudImageOverride, 7);
  EXPECT_EQ(Block()->cloudCacheLoaded, 1);
}

TEST_F(CloudFilesTest, DamagedCachesLeaveTheImage) {
  MakeCloud(10, 6, 3);
  ASSERT_EQ(WriteCloudCache(&globals_, 3), 0);
  const std::vector<uint8_t> good = ReadWholeFile(CachePath(3));
  MakeCloud(5, 4, 2);
  const std::vector<uint8_t> before = Pyramid();
  auto expectUntouched = [&](const std::vector<uint8_t> &file, const char *what) {
    WriteWholeFile(CachePath(3), file);
    Header().loaded = 1;
    ReadCloudCache(&globals_, 3);
    EXPECT_EQ(Header().loaded, 0) << what;
    EXPECT_EQ(Pyramid(), before) << what;
    EXPECT_EQ(Header().imageWidth, 5) << what;
  };
  expectUntouched(std::vector<uint8_t>(good.begin(), good.begin() + 130), "one byte short");
  expectUntouched(std::vector<uint8_t>(good.begin(), good.begin() + 36), "header only");
  expectUntouched(std::vector<uint8_t>(good.begin(), good.begin() + 20), "cut in the header");
  std::vector<uint8_t> bad = good;
  bad[3] ^= 1;
  expectUntouched(bad, "wrong magic");
  bad = good;
  bad[8] = 0x40;   // width 2^30: refused before any allocation
  expectUntouched(bad, "width 2^30");
  bad = good;
  bad[12] = 0x80;   // a negative height
  expectUntouched(bad, "negative height");
  std::remove(SystemPath(CachePath(3)).c_str());
  Header().loaded = 1;
  ReadCloudCache(&globals_, 3);
  EXPECT_EQ(Header().loaded, 0);
  EXPECT_EQ(Pyramid(), before);
}

TEST_F(CloudFilesTest, ACacheOfManyTilesIsReadInBlocks) {
  // 1100 x 700, 3 x 2 tiles at level 0; a byte in the wrong tile, row or level shows.
  Words file;
  file.Add({kCloudFileMagic, 1, 1100, 700, 0, 1100, 0, 700, 5});
  std::vector<uint8_t> pixels;
  for (int32_t level = 0, w = 0, h = 0; level <= CoarsestLevelIndex(1100, 700); level++) {
    LevelSize(1100, 700, level, 0, &w, &h);
    for (int32_t i = 0; i < w * h; i++) pixels.push_back(uint8_t(i % w * 3 + i % w / 64 * 11 + i / w * 5 + level * 17));
  }
  WriteWholeFile(CachePath(5), file.AddBytes(pixels).bytes);
  const uint32_t calls = PlatformReadCalls();
  ReadCloudCache(&globals_, 5);
  EXPECT_LE(PlatformReadCalls() - calls, uint32_t(pixels.size() / 65536 + 48));
  EXPECT_TRUE(Pyramid() == pixels);
}

TEST_F(CloudFilesTest, CacheBoxWithoutAreaStandsForTheWholePicture) {
  MakeCloud(10, 6, 4);
  Header().boxWidth = -9.0f;
  ASSERT_EQ(WriteCloudCache(&globals_, 4), 0);
  ReadCloudCache(&globals_, 4);
  ASSERT_EQ(Header().loaded, 1);
  EXPECT_EQ(Header().spanU, 1.0f);
  EXPECT_EQ(Header().offsetU, 0.0f);
  EXPECT_EQ(Header().spanV, 1.0f);
}

TEST_F(CloudFilesTest, WritingACacheNeedsAPicture) {
  ASSERT_EQ(WriteCloudCache(&globals_, 5), 0);
  EXPECT_FALSE(files_test::FileExists(CachePath(5)));
}

TEST_F(CloudFilesTest, SourceListWrittenReadAndResolved) {
  // Source 10 exists only in a list.
  CloudSource s;
  EXPECT_EQ(ResolveCloudSourceAt(10, &s, &globals_, UtcDateHour{2009, 3, 1, 14}), 3);
  EXPECT_EQ(Run()->listVersion, 6);
  EXPECT_EQ(Header().listLoaded, 0);

  ASSERT_EQ(WriteCloudSourceList(&globals_), 0);
  const std::vector<uint8_t> file = ReadWholeFile(ListPath());
#ifndef _WIN32
  const auto lines = PythonRead("list", ListPath());
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], "4275874736 6");
  EXPECT_EQ(lines[1].substr(0, lines[1].find(" |")),
            "57 22 1.00000 473.00000 15.00000 450.00000 0.40000 0.90000 2 -1 1 0 1 0.50000 0 0 0 0 0 0 0 0");
  EXPECT_NE(lines[1].find("| GOES-10 infrared 18 km"), std::string::npos);
  EXPECT_NE(lines[7].find("0.60000 1.00000 0 1 2 3 0 0.50000"), std::string::npos);
  EXPECT_NE(lines[10].find("| METEOSAT-7 infrared 4 km"), std::string::npos);
  EXPECT_EQ(lines[11], "absent");
  EXPECT_EQ(lines[12], "absent");
  EXPECT_EQ(lines[13], "end " + std::to_string(file.size()) + " " + std::to_string(file.size()));
#endif
  // A list whose record 10 is present: the list replaces the built-in table.
  std::vector<uint8_t> withTen(file.begin(), file.end() - 8);
  Words entry;
  entry.Add(0).Add({100000, 200000, 300000, 400000, 10000, 90000}).AddSigned(-1).AddSigned(-1);
  entry.Add({1, 0, 0, 50000, 0, 0, 0, 0, 0, 0, 0, 0});
  const std::string url = "http://clouds.example.com/ten.gif";
  const std::string label = "Ten";
  entry.Add(uint32_t(url.size())).AddBytes(std::vector<uint8_t>(url.begin(), url.end())).AddBytes({0});
  entry.Add(uint32_t(label.size())).AddBytes(std::vector<uint8_t>(label.begin(), label.end())).AddBytes({0});
  withTen.insert(withTen.end(), entry.bytes.begin(), entry.bytes.end());
  withTen.insert(withTen.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  withTen[7] = 9;   // version 9
  WriteWholeFile(ListPath(), withTen);
  Run()->cloudListTried = 0;
  ASSERT_EQ(ResolveCloudSourceAt(10, &s, &globals_, UtcDateHour{2009, 3, 1, 14}), 0);
  EXPECT_EQ(Header().listLoaded, 1);
  EXPECT_EQ(Run()->listVersion, 9);
  EXPECT_STREQ(s.url, url.c_str());
  EXPECT_STREQ(s.label, "Ten");
  EXPECT_FLOAT_EQ(s.boxHeight, 4.0f);
  EXPECT_FLOAT_EQ(s.whiteLevel, 0.9f);
  EXPECT_EQ(ResolveCloudSourceAt(11, &s, &globals_, UtcDateHour{2009, 3, 1, 14}), 3);
  EXPECT_EQ(ResolveCloudSourceAt(12, &s, &globals_, UtcDateHour{2009, 3, 1, 14}), 3);
  ASSERT_EQ(ResolveCloudSourceAt(9, &s, &globals_, UtcDateHour{2009, 3, 15, 23}), 0);
  EXPECT_NE(std::strstr(s.url, "/xrit/057.0E/MET/2009/3/14/1800/2009_3_14_1800_MET7_2_S1.jpeg"), nullptr) << s.url;
}

TEST_F(CloudFilesTest, SourceListStringLengthsAndShortLists) {
  // One list of a single present entry, 11 absent, with URL length n.
  auto listWithUrl = [](int32_t n, int32_t declared) {
    Words w;
    w.Add(kCloudFileMagic).Add(7).Add(0);
    for (int i = 0; i < 6; i++) w.Add(100000);
    w.Add({0, 1, 1, 0, 0, 50000, 0, 0, 0, 0, 0, 0, 0, 0});
    w.AddSigned(declared).AddBytes(std::vector<uint8_t>(size_t(n), 'u')).AddBytes({0});
    w.Add(1).AddBytes({'L', 0});
    for (int i = 0; i < 11; i++) w.AddSigned(-1);
    return w.bytes;
  };
  WriteWholeFile(ListPath(), listWithUrl(259, 259));
  ASSERT_EQ(ReadCloudSourceList(&globals_), 0);
  EXPECT_EQ(Header().listLoaded, 1);
  EXPECT_EQ(std::strlen(Run()->cloudSources[0].url), 259u);
  EXPECT_EQ(Run()->listVersion, 7);

  // A good list is in use; each bad re-read keeps it whole.
  const CloudSource kept = Run()->cloudSources[0];
  for (int32_t declared : {260, -1, 0x7FFFFFFF}) {
    WriteWholeFile(ListPath(), listWithUrl(260, declared));
    EXPECT_NE(ReadCloudSourceList(&globals_), 0) << declared;
    EXPECT_EQ(Header().listLoaded, 1);
    EXPECT_EQ(std::memcmp(&Run()->cloudSources[0], &kept, sizeof kept), 0) << declared;
    EXPECT_EQ(Run()->listVersion, 7);
  }
  std::vector<uint8_t> cut = listWithUrl(10, 10);
  cut.resize(cut.size() - 2);   // ends inside entry 11
  WriteWholeFile(ListPath(), cut);
  EXPECT_EQ(ReadCloudSourceList(&globals_), -19);
  EXPECT_EQ(std::strlen(Run()->cloudSources[0].url), 259u);

  // A first read of a short list leaves the built-in table in use.
  Header().listLoaded = 0;
  Run()->cloudListTried = 0;
  CloudSource s;
  EXPECT_EQ(ResolveCloudSourceAt(0, &s, &globals_, UtcDateHour{2009, 3, 1, 14}), 0);
  EXPECT_EQ(Header().listLoaded, 0);
  EXPECT_STREQ(s.label, "GOES-10 infrared 18 km");
  EXPECT_EQ(Run()->listVersion, 6);
  WriteWholeFile(ListPath(), {0xFE, 0xDC, 0xAB, 0xB1, 0, 0, 0, 6});
  EXPECT_EQ(ReadCloudSourceList(&globals_), 25);
  EXPECT_EQ(Header().listLoaded, 0);

  // A 259-character list URL with a noon stamp cannot be completed: 3, no overflow.
  WriteWholeFile(ListPath(), listWithUrl(259, 259));
  ASSERT_EQ(ReadCloudSourceList(&globals_), 0);
  Run()->cloudSources[0].urlForm = kUrlNoonStamp;
  EXPECT_EQ(ResolveCloudSourceAt(0, &s, &globals_, UtcDateHour{2009, 3, 1, 14}), 3);
}

TEST_F(CloudFilesTest, GrayLevels) {
  // Black 0.4 and white 0.9: green 102 gives 0, 204 gives 204, 255 gives 255.
  EXPECT_EQ(CloudValueFromGray(102.0f / 255.0f, 0.4f, 0.9f), 0);
  EXPECT_EQ(CloudValueFromGray(204.0f / 255.0f, 0.4f, 0.9f), 204);
  EXPECT_EQ(CloudValueFromGray(255.0f / 255.0f, 0.4f, 0.9f), 255);
  // Black 0.25 and white 1.0: grey 159 gives 127, grey 255 gives 255.
  EXPECT_EQ(CloudValueFromGray(159.0f / 255.0f, 0.25f, 1.0f), 127);
  EXPECT_EQ(CloudValueFromGray(1.0f, 0.25f, 1.0f), 255);
  // Equal levels count as a range of 1.
  EXPECT_EQ(CloudValueFromGray(0.75f, 0.5f, 0.5f), 63);
}

TEST_F(CloudFilesTest, GifImportRemovesTheOverlayAndKeepsTheBox) {
  CloudSource s;
  GetCloudSource(0, &s);   // black 0.4, white 0.9, overlay index 2, box 1, 473, 15, 450
  s.boxX = 0;
  s.boxWidth = 20;
  s.boxY = 0;
  s.boxHeight = 16;
  const FileSpec spec = Copy(kData + "/gif/legal/cloud_overlay_20x16.gif", "Kivaglobe clouds.gif");
  ASSERT_EQ(ImportCloudImage(4, &spec, &s, &globals_), 0);
  EXPECT_EQ(Header().loaded, 1);
  EXPECT_EQ(Header().sourceIndex, 4);
  EXPECT_EQ(Header().imageWidth, 20);
  EXPECT_EQ(Header().lastColumn, 19);
  EXPECT_EQ(globals_.overlayReplacementIndex, 0);
  for (int32_t y = 0; y < 15; y++) {
    for (int32_t x = 0; x < 20; x++) EXPECT_EQ(GetPixelGray8(x, y, Cloud(), 0), x < 10 ? 204 : 255) << x << "," << y;
  }
  for (int32_t x = 0; x < 20; x++) EXPECT_EQ(GetPixelGray8(x, 15, Cloud(), 0), 0);
  EXPECT_EQ(Cloud()->levelState, 2u);

  // A box far larger than the picture reaches no pixel outside it.
  s.boxX = -50;
  s.boxWidth = 5000;
  s.boxY = -7;
  s.boxHeight = 90000;
  ASSERT_EQ(ImportCloudImage(4, &spec, &s, &globals_), 0);
  EXPECT_EQ(GetPixelGray8(5, 3, Cloud(), 0), 204);
}

TEST_F(CloudFilesTest, DiscDetection) {
  CloudSource s;
  GetCloudSource(0, &s);
  s.flags = kCloudDetectDisc;
  s.blackLevel = 0;
  s.whiteLevel = 1;
  const FileSpec disc = Copy(kData + "/gif/legal/cloud_disc_24x20.gif", "disc.gif");
  ASSERT_EQ(ImportCloudImage(1, &disc, &s, &globals_), 0);
  EXPECT_EQ(Header().boxX, 6.0f);
  EXPECT_EQ(Header().boxWidth, 11.0f);
  EXPECT_EQ(Header().boxY, 4.0f);
  EXPECT_EQ(Header().boxHeight, 11.0f);

  // A bright picture has no disc: the scans end with x at the last column and a negative
  // width; the source's box stays, and the spans are positive.
  const FileSpec bright = Copy(kData + "/gif/legal/two_colours_gif87a.gif", "bright.gif");
  ASSERT_EQ(CreateImage(Cloud(), 13, 6, kFormatGray8, 0), true);
  for (int32_t y = 0; y < 6; y++) {
    for (int32_t x = 0; x < 13; x++) PutPixelGray8Checked(x, y, Cloud(), 0, 250);
  }
  float box[4];
  DetectDiscBox(Cloud(), 127, box);
  EXPECT_EQ(box[0], 12.0f);
  EXPECT_EQ(box[1], -12.0f);
  EXPECT_EQ(box[2], 5.0f);
  EXPECT_EQ(box[3], -5.0f);
  s.threshold = 0.0f;   // nothing is below 0
  ASSERT_EQ(ImportCloudImage(2, &bright, &s, &globals_), 0);
  EXPECT_EQ(Header().boxX, s.boxX);
  EXPECT_EQ(Header().boxWidth, s.boxWidth);
  EXPECT_GT(Header().spanU, 0.0f);
  EXPECT_GT(Header().spanV, 0.0f);
}

TEST_F(CloudFilesTest, FailedImportsKeepThePreviousClouds) {
  MakeCloud(10, 6, 3);
  const std::vector<uint8_t> before = Pyramid();
  CloudSource s;
  GetCloudSource(7, &s);
  const std::string page = "<html><body>404 Not Found</body></html>";
  WriteWholeFile(In("page.jpg"), std::vector<uint8_t>(page.begin(), page.end()));
  WriteWholeFile(In("page.gif"), std::vector<uint8_t>(page.begin(), page.end()));
  WriteWholeFile(In("empty.jpeg"), {});
  const FileSpec jpg = Spec("page.jpg");
  const FileSpec gif = Spec("page.gif");
  const FileSpec empty = Spec("empty.jpeg");
  const FileSpec missing = Spec("missing.gif");
  const FileSpec neither = Spec("page.txt");
  EXPECT_EQ(ImportCloudImage(7, &jpg, &s, &globals_), 99);
  EXPECT_EQ(ImportCloudImage(7, &gif, &s, &globals_), 25);
  EXPECT_EQ(ImportCloudImage(7, &empty, &s, &globals_), 99);
  EXPECT_EQ(ImportCloudImage(7, &missing, &s, &globals_), 99);
  EXPECT_EQ(ImportCloudImage(7, &neither, &s, &globals_), 25);
  EXPECT_EQ(Header().loaded, 1);
  EXPECT_EQ(Header().sourceIndex, 3);
  EXPECT_EQ(Header().imageWidth, 10);
  EXPECT_EQ(Pyramid(), before);
  // A GIF wider than the cap is no picture either.
  const FileSpec wide = Copy(kData + "/gif/hostile/nopic_width_20000.gif", "wide.gif");
  EXPECT_EQ(ImportCloudImage(7, &wide, &s, &globals_), 25);
  EXPECT_EQ(Pyramid(), before);
}

TEST_F(CloudFilesTest, JpegImport) {
#ifndef _WIN32
  // A white picture made by ImageMagick: (77 + 150 + 28) x 255 >> 8 = 254, so black 0.25 gives 253.
  const std::string path = In("white.jpg");
  ASSERT_EQ(std::system(("convert -size 12x8 xc:white -quality 100 '" + SystemPath(path) + "'").c_str()), 0);
  CloudSource s;
  GetCloudSource(9, &s);
  const FileSpec spec = Spec("white.jpg");
  ASSERT_EQ(ImportCloudImage(9, &spec, &s, &globals_), 0);
  EXPECT_EQ(Header().loaded, 1);
  EXPECT_EQ(Header().imageWidth, 12);
  EXPECT_EQ(Header().boxWidth, 2402.0f);
  for (int32_t y = 0; y < 8; y++) {
    for (int32_t x = 0; x < 12; x++) EXPECT_EQ(GetPixelGray8(x, y, Cloud(), 0), 253);
  }
#else
  GTEST_SKIP() << "the JPEG is made by ImageMagick in the native tree";
#endif
}

TEST_F(CloudFilesTest, FailedDownloadKeepsImageAndCache) {
  MakeCloud(10, 6, 2);
  ASSERT_EQ(WriteCloudCache(&globals_, 2), 0);
  const std::vector<uint8_t> cache = ReadWholeFile(CachePath(2));
  const std::vector<uint8_t> before = Pyramid();
  // No server answers (the example domains go to a closed loopback port): the fetch fails, and
  // nothing is cached.
  auto files = [&] {
    return std::distance(std::filesystem::directory_iterator(SystemPath(folder_)), std::filesystem::directory_iterator());
  };
  const auto filesBefore = files();
  SetExampleDomainServer("127.0.0.1:9");
  EXPECT_NE(FetchClouds(5, false, &globals_), 0);
  SetExampleDomainServer(nullptr);
  EXPECT_FALSE(files_test::FileExists(CachePath(5)));
  EXPECT_EQ(files(), filesBefore);   // the download's side file is gone
  EXPECT_EQ(Pyramid(), before);
  EXPECT_EQ(Block()->cloudImage, 5u);
  EXPECT_EQ(Block()->cloudImageOverride, 5);
  // From the cache first: loaded, no download.
  EXPECT_EQ(FetchClouds(2, true, &globals_), 0);
  EXPECT_EQ(Header().loaded, 1);
  EXPECT_EQ(ReadWholeFile(CachePath(2)), cache);
}

}  // namespace

namespace {

TEST(CloudDownloadText, ProgressAndContentLength) {
  char text[64];
  FormatDownloadProgress(3000, 3000, text, sizeof text);
  EXPECT_STREQ(text, "100% of 2K");
  FormatDownloadProgress(1000, 3000, text, sizeof text);
  EXPECT_STREQ(text, "33% of 2K");
  FormatDownloadProgress(10, 500, text, sizeof text);
  EXPECT_STREQ(text, "2% of 1K");
  // No announced length: the first bytes already read as unavailable.
  FormatDownloadProgress(100, 1, text, sizeof text);
  EXPECT_STREQ(text, "File unavailable.");
  // 30 MB of 40 MB: received x 100 does not fit 32 bits.
  FormatDownloadProgress(30000000, 40000000, text, sizeof text);
  EXPECT_STREQ(text, "75% of 39062K");
  // A length of 0 or junk counts as unknown, never as a divisor of 0.
  EXPECT_EQ(ParseContentLength("3000"), 3000);
  EXPECT_EQ(ParseContentLength("40000000"), 40000000);
  EXPECT_EQ(ParseContentLength("0"), 1);
  EXPECT_EQ(ParseContentLength("-5"), 1);
  EXPECT_EQ(ParseContentLength("junk"), 1);
  EXPECT_EQ(ParseContentLength("12abc"), 1);
  EXPECT_EQ(ParseContentLength(""), 1);
  FormatDownloadProgress(5, ParseContentLength("0"), text, sizeof text);
  EXPECT_STREQ(text, "File unavailable.");
}

// Oracle: the failures a user must tell apart, one message each, every one saying that the
// previous clouds stay.
TEST(CloudDownloadText, EveryFailedFetchSaysWhatFailed) {
  const std::pair<DownloadReport, const char *> cases[] = {
      {{98, 0, 0, 0, -1}, "No internet connection could be opened."},
      {{97, 0, 0, 0, -1}, "The picture's server could not be reached."},
      {{99, 200, 1, 10, 30}, "The download was cancelled."},
      {{99, 200, 0, 10, 30}, "The connection closed after 10 of 30 bytes of the picture."},
      {{99, 200, 0, 10, -1}, "The connection failed during the download."},
      {{0, 404, 0, 48, 48}, "The server answered with status 404 instead of a picture."},
      {{0, 200, 0, 48, 48}, "What the server sent is not a whole GIF or JPEG picture."},
  };
  char text[300];
  for (const auto &c : cases) {
    DescribeFetchFailure(c.first.result != 0 ? c.first.result : 25, &c.first, text, int32_t(sizeof text));
    EXPECT_EQ(std::string(text), std::string(c.second) + " The previous clouds stay.");
  }
  DescribeFetchFailure(kFetchNotCached, &cases[6].first, text, int32_t(sizeof text));
  EXPECT_EQ(std::string(text).rfind("The new clouds could not be saved", 0), 0u) << text;
  EXPECT_EQ(ParseAnnouncedLength("0") + ParseAnnouncedLength("junk"), -1);
}

TEST(CloudDownloadText, OnlyExampleDomainsAreRedirected) {
  char out[300];
  SetExampleDomainServer(nullptr);
  ASSERT_TRUE(RedirectExampleDomain("http://www.example.com/dl/a.dat", out, sizeof out));
  EXPECT_STREQ(out, "http://www.example.com/dl/a.dat");
  SetExampleDomainServer("127.0.0.1:4321");
  ASSERT_TRUE(RedirectExampleDomain("http://www.example.com/dl/a.dat", out, sizeof out));
  EXPECT_STREQ(out, "http://127.0.0.1:4321/dl/a.dat");
  ASSERT_TRUE(RedirectExampleDomain("http://example.org:8080/x?y=1", out, sizeof out));
  EXPECT_STREQ(out, "http://127.0.0.1:4321/x?y=1");
  ASSERT_TRUE(RedirectExampleDomain("http://satellite.example.net/xrit/1.jpeg", out, sizeof out));
  EXPECT_STREQ(out, "http://127.0.0.1:4321/xrit/1.jpeg");
  for (const char *kept : {"http://example.com.evil.test/a", "http://notexample.com/a", "https://www.example.com/a",
                           "http://weather.university.test/example.com/a"}) {
    ASSERT_TRUE(RedirectExampleDomain(kept, out, sizeof out));
    EXPECT_STREQ(out, kept);
  }
  // A result that would not fit is refused.
  EXPECT_FALSE(RedirectExampleDomain("http://www.example.com/abcdef", out, 20));
  SetExampleDomainServer(nullptr);
}

}  // namespace
