// Hostile files: pictures and presets made to keep the readers busy for minutes or to make them
// allocate gigabytes, writers that cannot have their memory, and a save whose path leaves no
// room for the usual side name. Each must end at once with a clear result.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "files/jpeg_codec.h"
#include "files/jpeg_files.h"
#include "files/settings_file.h"
#include "foundation/file_io.h"
#include "imagestore/pixel_access.h"
#include "plugin/host_memory.h"
#include "tests/files/files_fixture.h"
#include "tests/files/jpeg_test_support.h"

namespace files_test {
namespace {

// A marker segment: FF, the marker, the big-endian length (payload + 2), the payload.
void AddSegment(std::vector<uint8_t> *s, uint8_t marker, const std::vector<uint8_t> &payload) {
  const size_t length = payload.size() + 2;
  s->insert(s->end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
  s->insert(s->end(), payload.begin(), payload.end());
}

// A one-component progressive stream of `scans` DC scans over a width x height frame, each
// scan nothing but its header: the decoder reads a scan's missing data as zeros, so every scan
// costs it the whole frame while it costs the file ten bytes.
std::vector<uint8_t> ManyScanStream(int width, int height, int scans) {
  std::vector<uint8_t> s = {0xFF, 0xD8};
  std::vector<uint8_t> dqt(65, 1);
  dqt[0] = 0;   // 8-bit table 0
  AddSegment(&s, 0xDB, dqt);
  AddSegment(&s, 0xC2,
             {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), 1, 1, 0x11, 0});
  std::vector<uint8_t> dht(17, 0);   // DC table 0: one code of one bit, for category 0
  dht[1] = 1;
  dht.push_back(0);
  AddSegment(&s, 0xC4, dht);
  for (int i = 0; i < scans; i++) AddSegment(&s, 0xDA, {1, 1, 0x00, 0, 0, 0});
  s.insert(s.end(), {0xFF, 0xD9});
  return s;
}

// The offset of the first SOS marker of a stream.
size_t ScanOffset(const std::vector<uint8_t> &s) {
  size_t i = 2;
  while (i + 4 <= s.size() && !(s[i] == 0xFF && s[i + 1] == 0xDA)) i += 2 + (size_t(s[i + 2]) << 8 | s[i + 3]);
  return i;
}

OSErr16 KV_HOSTAPI RefuseBuffer(int32_t, HostBufferID *) { return kResultMemFull; }

class HostileFiles : public FilesTest {
 protected:
  std::vector<uint8_t> PatternStream(int32_t w, int32_t h) {
    TiledMipImage image;
    Bind(&image);
    MakePattern(&image, w, h, 1);
    std::vector<uint8_t> block(size_t(1) << 20);
    Rect16 all = {0, 0, int16_t(h), int16_t(w)};
    int32_t count = 0;
    EXPECT_EQ(EncodeImageToJpeg(&image, &all, block.data(), int32_t(block.size()), 90, &count, nullptr, 0, nullptr,
                                nullptr),
              kJpegOk);
    FreeImageTiles(&image);
    block.resize(size_t(count));
    return block;
  }

  // A complete version-40 preset whose thumbnail block states side x side and carries `stream`.
  std::vector<uint8_t> PresetWith(const std::vector<uint8_t> &stream, uint32_t side) {
    FreeImageTiles(Thumbnail());
    FileSpec spec = Spec("fixed.q1q");
    EXPECT_EQ(SaveSettingsFile(&globals_, &spec), 0);
    std::vector<uint8_t> fixed = ReadWholeFile(In("fixed.q1q"));
    EXPECT_TRUE(CreateImage(Thumbnail(), 128, 128, kFormatPacked8, 0));
    FillThumbnailBlack();
    fixed.resize(284);   // all but the empty thumbnail block's word
    Words w;
    w.AddBytes(fixed).Add({1, side, side, uint32_t(stream.size())}).AddBytes(stream);
    return w.bytes;
  }

  // Reads a preset for its picture: whether one was taken, and the thumbnail's pixel (5, 5).
  bool ReadPicture(const std::vector<uint8_t> &file, int32_t rgb[3]) {
    WriteWholeFile(In("hostile.q1q"), file);
    FileSpec spec = Spec("hostile.q1q");
    bool found = false;
    EXPECT_EQ(ReadSettingsFile(&globals_, &spec, kReadSettingsThumbnail, &found), 0);
    int32_t alpha;
    GetPixelPacked8(5, 5, Thumbnail(), 0, &rgb[0], &rgb[1], &rgb[2], &alpha);
    return found;
  }
};

// ---- Pictures that would keep the decoder busy -------------------------------------------------

TEST_F(HostileFiles, PresetThumbnailLargerThanItsBlockIsNotDecoded) {
  int32_t rgb[3];
  // 11000 x 11000 in 4000 empty DC scans: about a minute of decoding, on every selection in the
  // open dialog. The frame is larger than the block says, so it is refused at its header.
  std::vector<uint8_t> hostile = ManyScanStream(11000, 11000, 4000);
  ASSERT_LE(hostile.size(), size_t(kThumbnailBufferSize));
  EXPECT_FALSE(ReadPicture(PresetWith(hostile, 128), rgb));
  EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0) << "the thumbnail is as it was";

  // A sound progressive picture of the stated size is taken: channel c of pixel (5, 5) is
  // 40 + 30 c in the reference pattern.
  std::vector<uint8_t> progressive = ReferenceProgressiveJpeg(128, 128);
  EXPECT_TRUE(ReadPicture(PresetWith(progressive, 128), rgb));
  EXPECT_NEAR(rgb[0], 40, 8);
  EXPECT_NEAR(rgb[1], 70, 8);
  EXPECT_NEAR(rgb[2], 100, 8);

  // The same picture in a block that states 64 x 64 is larger than its block.
  FillThumbnailBlack();
  EXPECT_FALSE(ReadPicture(PresetWith(progressive, 64), rgb));
  EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0);
}

TEST_F(HostileFiles, DecodingStopsAfterTheScanLimit) {
  TiledMipImage image;
  Bind(&image);
  ASSERT_TRUE(CreateImage(&image, 128, 128, kFormatPacked8, 0));
  const Rect16 all = {0, 0, 128, 128};
  std::vector<uint8_t> atLimit = ManyScanStream(128, 128, kJpegMaxScans);
  std::vector<uint8_t> beyond = ManyScanStream(128, 128, kJpegMaxScans + 1);
  std::vector<uint8_t> thousands = ManyScanStream(128, 128, 4000);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, atLimit.data(), int32_t(atLimit.size())), kJpegOk);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, beyond.data(), int32_t(beyond.size())), kJpegFailed);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, thousands.data(), int32_t(thousands.size())), kJpegFailed);
  // libjpeg's own progressive script has ten scans.
  std::vector<uint8_t> progressive = ReferenceProgressiveJpeg(128, 128);
  EXPECT_EQ(DecodeJpegToImage(&image, &all, progressive.data(), int32_t(progressive.size())), kJpegOk);
  FreeImageTiles(&image);
}

// ---- Pictures that would make the loader allocate gigabytes ------------------------------------

TEST_F(HostileFiles, LoaderRefusesPicturesBeyondTheBoundBeforeMakingThem) {
  const std::vector<uint8_t> sound = PatternStream(16, 16);
  const size_t frame = ScanOffset(sound);
  size_t sof = 2;
  while (sof < frame && !(sound[sof] == 0xFF && sound[sof + 1] == 0xC0)) {
    sof += 2 + (size_t(sound[sof + 2]) << 8 | sound[sof + 3]);
  }
  ASSERT_LT(sof, frame);
  struct Case {
    int32_t width, height;
    int16_t result;
  } cases[] = {{16000, 16000, kJpegFailed},   // 1.4 GB of tiles from 600 bytes
               {32768, 16, kJpegFailed},      // a side the store cannot address
               {4097, 4096, kJpegFailed},     // one column beyond 16 megapixels
               {2000, 24, 0}};                // a small picture whose data runs out: grey rows
  for (const Case &c : cases) {
    std::vector<uint8_t> s = sound;
    s[sof + 5] = uint8_t(c.height >> 8);
    s[sof + 6] = uint8_t(c.height);
    s[sof + 7] = uint8_t(c.width >> 8);
    s[sof + 8] = uint8_t(c.width);
    WriteWholeFile(In("big.jpg"), s);
    FileSpec spec = Spec("big.jpg");
    TiledMipImage image;
    Bind(&image);
    EXPECT_EQ(LoadJpegFileImage(&spec, &image, &globals_), c.result) << c.width << " x " << c.height;
    if (c.result != 0) {
      EXPECT_EQ(image.tiles, nullptr) << c.width;
    } else {
      EXPECT_EQ(image.levelWidth[0], c.width);
      EXPECT_EQ(image.levelHeight[0], c.height);
    }
    FreeImageTiles(&image);
  }
}

// A restart marker in the header is a marker without a length. The scanner, which reads a
// length after it, lands inside the comment that follows and takes the frame header hidden
// there (200 x 300); the library skips the comment and decodes the real 40 x 30 frame. The
// image is made at the size that is decoded.
TEST_F(HostileFiles, LoaderTakesThePictureSizeFromTheLibrary) {
  std::vector<uint8_t> s = PatternStream(40, 30);
  const std::vector<uint8_t> hidden = {0xFF, 0xD0, 0x00, 0x06, 0xFF, 0xFE, 0x00, 0x10, 0xFF, 0xC0, 0x00, 0x0B,
                                       8,    0x01, 0x2C, 0x00, 0xC8, 1,    1,    0x11, 0,    0};
  s.insert(s.begin() + long(ScanOffset(s)), hidden.begin(), hidden.end());
  WriteWholeFile(In("hidden.jpg"), s);
  FileSpec spec = Spec("hidden.jpg");
  int32_t w = 0, h = 0, n = 0;
  ASSERT_EQ(ReadJpegFileInfo(&spec, &w, &h, &n), 0);
  ASSERT_EQ(w, 200) << "the scanner is misled, as the case requires";
  TiledMipImage image;
  Bind(&image);
  ASSERT_EQ(LoadJpegFileImage(&spec, &image, &globals_), 0);
  EXPECT_EQ(image.levelWidth[0], 40);
  EXPECT_EQ(image.levelHeight[0], 30);
  FreeImageTiles(&image);
}

// ---- Files that would be read a byte at a time ------------------------------------------------

TEST_F(HostileFiles, LoaderChecksTheSizeFirstAndScansFromMemory) {
  // The start marker and 4 MB of zeros: the scanner used to read them one system call a byte.
  std::vector<uint8_t> fill(size_t(4) << 20, 0);
  fill[0] = 0xFF;
  fill[1] = 0xD8;
  WriteWholeFile(In("fill.jpg"), fill);
  FileSpec spec = Spec("fill.jpg");
  TiledMipImage image;
  Bind(&image);
  uint32_t before = PlatformReadCalls();
  EXPECT_EQ(LoadJpegFileImage(&spec, &image, &globals_), kLoadNoFrame);
  EXPECT_LE(PlatformReadCalls() - before, 4u);
  before = PlatformReadCalls();
  int32_t w = -1, h = -1, n = -1;
  EXPECT_EQ(ReadJpegFileInfo(&spec, &w, &h, &n), 0);
  EXPECT_EQ(w, 0);
  EXPECT_LE(PlatformReadCalls() - before, uint32_t(fill.size() / 4096 + 4)) << "the file scanner reads in blocks";

  // A file beyond the loader's limit is refused on its size, before a byte of it is read.
  WriteWholeFile(In("huge.jpg"), {0xFF, 0xD8, 0xFF});
  std::filesystem::resize_file(SystemPath(In("huge.jpg")), uintmax_t(kJpegFileLimit) + 1);
  spec = Spec("huge.jpg");
  before = PlatformReadCalls();
  EXPECT_EQ(LoadJpegFileImage(&spec, &image, &globals_), kJpegFailed);
  EXPECT_EQ(PlatformReadCalls(), before);
  EXPECT_EQ(image.tiles, nullptr);
}

// ---- Writers without memory ---------------------------------------------------------------------

TEST_F(HostileFiles, WritersReportAnOutputBlockTheyCannotHave) {
  TiledMipImage image;
  Bind(&image);
  MakePattern(&image, 48, 32, 4);
  auto allocate = bufferProcs_.allocateProc;
  bufferProcs_.allocateProc = RefuseBuffer;
  SetNewPointerLimit(0);

  FileSpec spec = Spec("block.bin");
  FileHandle file = kNoFile;
  ASSERT_EQ(OpenFileSpec(&spec, &file, kOpenForWrite), 0);
  EXPECT_EQ(WriteImageAsJpeg(&image, file, true, 80, nullptr, 0, nullptr, nullptr), kWriteJpegOutOfMemory);
  EXPECT_EQ(WriteImageAsJpeg(&image, file, false, 80, nullptr, 0, nullptr, nullptr), kWriteJpegOutOfMemory);
  ClosePlatformFile(file);
  EXPECT_EQ(ReadWholeFile(In("block.bin")), (std::vector<uint8_t>{0, 0, 0, 0})) << "the block word 0 and nothing else";

  spec = Spec("export.jpg");
  EXPECT_EQ(WriteJpegFileWithMetadata(&image, &spec, 1), kWriteJpegOutOfMemory);
  EXPECT_FALSE(FileExists(In("export.jpg"))) << "no empty picture is left behind";

  SetNewPointerLimit(-1);
  bufferProcs_.allocateProc = allocate;
  EXPECT_EQ(WriteJpegFileWithMetadata(&image, &spec, 1), 0);
  std::vector<uint8_t> written = ReadWholeFile(In("export.jpg"));
  ASSERT_GT(written.size(), 2u);
  EXPECT_EQ(FrameOf(written).width, 48);
  FreeImageTiles(&image);
}

// ---- Saving near the path limit -----------------------------------------------------------------

TEST_F(HostileFiles, SaveNearThePathLimitStillGoesThroughASideFile) {
  // 257 characters: "<path>.new" would not fit the 260-byte path with its terminator.
  ASSERT_LT(folder_.size(), 200u);
  const std::string name = std::string(257 - folder_.size() - 4, 'p') + ".q1q";
  ASSERT_EQ(In(name).size(), 257u);
  WriteWholeFile(In(name), std::vector<uint8_t>(5000, 0x77));
  FreeImageTiles(Thumbnail());
  FileSpec spec = Spec(name);
  ASSERT_EQ(SaveSettingsFile(&globals_, &spec), 0);
  std::vector<uint8_t> saved = ReadWholeFile(In(name));
  EXPECT_EQ(saved.size(), 288u) << "a new file took the old one's place; nothing of the old one trails it";
  const std::string stem = In(name).substr(0, In(name).size() - 1);
  EXPECT_FALSE(FileExists(stem + "~"));

  // With every side name taken the save refuses, and the file stays as it was.
  ASSERT_GT(TakeEverySideName(&spec), 0);
  Block()->planetSize = 3;
  EXPECT_EQ(SaveSettingsFile(&globals_, &spec), kSettingsOpenFailed);
  EXPECT_EQ(ReadWholeFile(In(name)), saved);
}

}  // namespace
}  // namespace files_test
