// psd_export_test.cpp -- the layered document read back byte by byte against the format's
// layout and worked numbers, its refusals, a full disk, and the progress box's cancel.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/render_harness.h"
#include "files/jpeg_files.h"
#include "files/picture_keywords.h"
#include "files/progress_box.h"
#include "files/psd_export.h"
#include "plugin/output_passes.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

// A big-endian reader over the file's bytes.
struct Cursor {
  const std::vector<uint8_t> &b;
  size_t at = 0;
  uint32_t U8() { return at < b.size() ? b[at++] : 0xEEEEEEEEu; }
  uint32_t U16() { return (U8() << 8) | U8(); }
  uint32_t U32() { return (U16() << 16) | U16(); }
  std::string Tag() {
    std::string s;
    for (int i = 0; i < 4; i++) s += char(U8());
    return s;
  }
  std::string Pascal() {
    const uint32_t n = U8();
    std::string s;
    for (uint32_t i = 0; i < n; i++) s += char(U8());
    return s;
  }
};

int gRefusedWidth = 0;
void RecordRefusal(int32_t width, int32_t, int32_t) { gRefusedWidth = width; }

int gAbortCalls = 0;
int gAbortAt = 0;
HostBool KV_HOSTAPI AbortLater() { return ++gAbortCalls >= gAbortAt ? 1 : 0; }

class PsdExportTest : public ::testing::Test {
 protected:
  RenderHarness harness;
  std::string dir;
  std::vector<uint8_t> profile;
  char *profileMaster = nullptr;

  void Open(int width, int height, int depth) {
    HarnessOptions o;
    o.width = width;
    o.height = height;
    o.depth = depth == 8 ? 8 : 16;
    ASSERT_TRUE(OpenHarness(&harness, o));
    if (depth == 32) {
      harness.record.imageMode = kModeRGB96;
      harness.record.depth = 32;
    }
    char name[] = "/tmp/kv_psd_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    gPsdRefusalProc = RecordRefusal;
    gRefusedWidth = 0;
  }
  void TearDown() override {
    CloseHarness(&harness);
    if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
    gPsdRefusalProc = nullptr;
  }
  void SetProfile(size_t size) {
    profile.assign(size, 0);
    for (size_t i = 0; i < size; i++) profile[i] = uint8_t(i * 7 + 1);
    profileMaster = reinterpret_cast<char *>(profile.data());
    harness.record.iCCprofileData = &profileMaster;
    harness.record.iCCprofileSize = int32_t(size);
  }
  FileSpec Spec(const std::string &name) {
    FileSpec spec{};
    const std::string path = dir + "/" + name;
    SetFileSpecText(&spec, path.c_str(), int32_t(path.size() + 1));
    return spec;
  }
  int16_t Export(const std::string &name, uint8_t *cancelled) {
    FileSpec spec = Spec(name);
    return RunProgressDialog(harness.globals, &spec, cancelled, kJobLayeredDocument);
  }
};

// The layer information as the format describes it: L and the section's length.
uint64_t LayerInfoLength(uint64_t w, uint64_t h, uint64_t bytes) {
  // Eleven records of 106 bytes plus the padded names (8, 12, 12, 12, 16, 12, 12, 12, 12, 8, 8).
  return 2 + 11 * 106 + 124 + (bytes * w * h + 2) * 44;
}

// Walks the image resources; returns their ids and checks that each starts at an even offset.
std::vector<uint32_t> ResourceIds(Cursor &c, size_t end, std::vector<std::vector<uint8_t>> *data) {
  std::vector<uint32_t> ids;
  while (c.at < end) {
    EXPECT_EQ(c.at % 2, 0u) << "resource at an odd offset";
    EXPECT_EQ(c.Tag(), "8BIM") << "at " << c.at;
    ids.push_back(c.U16());
    c.Pascal();
    c.U8();   // the name's pad byte (the name is empty)
    const uint32_t size = c.U32();
    if (data) data->emplace_back(c.b.begin() + long(c.at), c.b.begin() + long(c.at + size));
    c.at += size + (size & 1);
    if (ids.size() > 40) break;
  }
  EXPECT_EQ(c.at, end);
  return ids;
}

TEST_F(PsdExportTest, EightBitDocumentFollowsTheLayoutAndItsWorkedNumbers) {
  Open(37, 23, 8);
  uint8_t cancelled = 7;
  ASSERT_EQ(Export("a.psd", &cancelled), 0);
  EXPECT_EQ(cancelled, 0);
  const std::vector<uint8_t> f = ReadAll(dir + "/a.psd");
  EXPECT_FALSE(Exists(dir + "/a.psd.new"));
  Cursor c{f};
  EXPECT_EQ(c.Tag(), "8BPS");
  EXPECT_EQ(c.U16(), 1u);
  for (int i = 0; i < 6; i++) EXPECT_EQ(c.U8(), 0u);
  EXPECT_EQ(c.U16(), 3u);    // channels
  EXPECT_EQ(c.U32(), 23u);   // height
  EXPECT_EQ(c.U32(), 37u);   // width
  EXPECT_EQ(c.U16(), 8u);
  EXPECT_EQ(c.U16(), 3u);    // RGB
  EXPECT_EQ(c.U32(), 0u);    // no colour mode data
  // The default planet without a host profile: 544 bytes of resources.
  const uint32_t resources = c.U32();
  EXPECT_EQ(resources, 544u);
  std::vector<std::vector<uint8_t>> data;
  EXPECT_EQ(ResourceIds(c, c.at + resources, &data),
            (std::vector<uint32_t>{1001, 1005, 1011, 1016, 1035, 1028, 1058, 1024, 1026}));
  ASSERT_EQ(data.size(), 9u);
  EXPECT_EQ(data[0][16] * 256 + data[0][17], 0xFFF7);   // the print record's ninth value, -9
  EXPECT_EQ(std::string(data[4].begin(), data[4].end()).size(), 27u);
  EXPECT_EQ(data[7], (std::vector<uint8_t>{0, 11}));

  const uint64_t L = LayerInfoLength(37, 23, 1);
  EXPECT_EQ(c.U32(), L + 8);
  EXPECT_EQ(c.U32(), L);
  EXPECT_EQ(c.U16(), 11u);
  const char *names[] = {"lit map",    "map color",  "land color", "land bump", "bump w/o ocean", "ocean mask",
                         "air color",  "cloud mask", "cloud bump", "cities",    "mural"};
  for (const char *name : names) {
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.U32(), 23u);
    EXPECT_EQ(c.U32(), 37u);
    EXPECT_EQ(c.U16(), 4u);
    for (uint32_t id : {0xFFFFu, 0u, 1u, 2u}) {
      EXPECT_EQ(c.U16(), id);
      EXPECT_EQ(c.U32(), 37u * 23u + 2u);
    }
    EXPECT_EQ(c.Tag(), "8BIM");
    EXPECT_EQ(c.Tag(), "norm");
    EXPECT_EQ(c.U8(), 255u);
    EXPECT_EQ(c.U8(), 0u);
    EXPECT_EQ(c.U8(), 40u);
    EXPECT_EQ(c.U8(), 0u);
    const uint32_t padded = uint32_t((std::strlen(name) + 1 + 3) / 4 * 4);
    EXPECT_EQ(c.U32(), 48 + padded);
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.U32(), 40u);
    c.at += 40;
    const size_t nameStart = c.at;
    EXPECT_EQ(c.Pascal(), name);
    c.at = nameStart + padded;
  }
  // The channel data: the mural is the last layer; its alpha, red, green and blue planes.
  const size_t plane = 37 * 23 + 2;
  const size_t mural = c.at + 10 * 4 * plane;
  c.at += 11 * 4 * plane;
  EXPECT_EQ(c.U32(), 0u);   // no global mask
  // The merged picture: the mural over the 8 x 8 checkerboard, one plane per header channel.
  EXPECT_EQ(c.U16(), 0u);
  ASSERT_EQ(f.size(), c.at + 3 * 37 * 23);
  for (int ch = 0; ch < 3; ch++) {
    for (int y = 0; y < 23; y++) {
      for (int x = 0; x < 37; x++) {
        const int a = f[mural + 2 + size_t(y * 37 + x)];
        const int v = f[mural + size_t(ch + 1) * plane + 2 + size_t(y * 37 + x)];
        const int checker = ((x ^ y) & 8) ? 204 : 255;
        ASSERT_EQ(f[c.at + size_t(ch * 37 * 23 + y * 37 + x)], (checker * (255 - a) + v * a) / 255)
            << "channel " << ch << " at " << x << "," << y;
      }
    }
  }
  // Every layer but the mural is opaque, and the layers are not all the same picture.
  EXPECT_EQ(f[mural - 4 * plane + 2], 255);
  EXPECT_NE(std::memcmp(&f[mural - 4 * plane], &f[mural - 8 * plane], 4 * plane), 0);
}

TEST_F(PsdExportTest, SixteenAndThirtyTwoBitDocumentsCarryTheirBlocks) {
  for (int depth : {16, 32}) {
    SCOPED_TRACE(depth);
    Open(21, 13, depth);
    uint8_t cancelled = 0;
    ASSERT_EQ(Export("d.psd", &cancelled), 0);
    const std::vector<uint8_t> f = ReadAll(dir + "/d.psd");
    Cursor c{f};
    c.at = 12;
    EXPECT_EQ(c.U16(), depth == 16 ? 4u : 3u);
    c.at = 22;
    EXPECT_EQ(c.U16(), uint32_t(depth));
    EXPECT_EQ(c.U16(), 3u);
    const uint32_t colourData = c.U32();
    EXPECT_EQ(colourData, depth == 32 ? 74u : 0u);
    if (depth == 32) EXPECT_EQ(c.Tag(), "hdrt");
    c.at = 26 + 4 + colourData;
    const uint32_t resources = c.U32();
    std::vector<uint32_t> ids = ResourceIds(c, c.at + resources, nullptr);
    const std::string text(f.begin(), f.end());
    if (depth == 32) {
      EXPECT_EQ(ids, (std::vector<uint32_t>{1001, 1005, 1011, 1016, 1035, 1028, 1058, 1069, 1072, 1024, 1026}));
      EXPECT_NE(text.find("HDR"), std::string::npos);
      EXPECT_NE(text.find("high dynamic range"), std::string::npos);
    } else {
      EXPECT_EQ(text.find("high dynamic range"), std::string::npos);
    }
    const uint64_t bytes = depth / 8;
    const uint64_t L = LayerInfoLength(21, 13, bytes);
    const uint64_t P = (L + 4 + 3) / 4 * 4;
    EXPECT_EQ(c.U32(), P + (depth == 16 ? 28 : 68));
    const size_t sectionStart = c.at;
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.Tag(), "8BIM");
    EXPECT_EQ(c.Tag(), depth == 16 ? "Mt16" : "Mt32");
    EXPECT_EQ(c.U32(), 0u);
    EXPECT_EQ(c.Tag(), "8BIM");
    EXPECT_EQ(c.Tag(), depth == 16 ? "Lr16" : "Lr32");
    EXPECT_EQ(c.U32(), L);
    EXPECT_EQ(c.U16(), 11u);
    c.at = sectionStart + 28 + P;
    if (depth == 32) {
      EXPECT_EQ(c.Tag(), "8BIM");
      EXPECT_EQ(c.Tag(), "LMsk");
      c.at += 4 + 16;
      EXPECT_EQ(c.Tag(), "8BIM");
      EXPECT_EQ(c.Tag(), "Pat3");
      c.at += 4;
    }
    EXPECT_EQ(c.U16(), 0u);
    const uint64_t planes = depth == 16 ? 4 : 3;
    EXPECT_EQ(f.size(), c.at + planes * bytes * 21 * 13);
    if (depth == 16) {
      // The opaque fourth plane.
      EXPECT_EQ(f[f.size() - 1], 0xFF);
      EXPECT_EQ(f[f.size() - 2 * 21 * 13], 0xFF);
    }
    CloseHarness(&harness);
    std::system(("rm -rf " + dir).c_str());
  }
}

TEST_F(PsdExportTest, AnOddProfileIsPaddedAndALongerOldFileIsCut) {
  Open(16, 8, 8);
  SetProfile(131);
  {
    std::ofstream old(dir + "/p.psd", std::ios::binary);
    old << std::string(400000, 'x');
  }
  uint8_t cancelled = 0;
  ASSERT_EQ(Export("p.psd", &cancelled), 0);
  const std::vector<uint8_t> f = ReadAll(dir + "/p.psd");
  PsdMeasure m;
  LayerExportDescription d;
  DescribeLayerExport(harness.globals, &d);
  ASSERT_TRUE(MeasurePsdDocument(harness.globals, &d, &m));
  EXPECT_EQ(f.size(), m.total);
  Cursor c{f};
  c.at = 30;
  const uint32_t resources = c.U32();
  EXPECT_EQ(resources, 544u + 12 + 132);
  std::vector<std::vector<uint8_t>> data;
  std::vector<uint32_t> ids = ResourceIds(c, c.at + resources, &data);
  ASSERT_EQ(ids.size(), 10u);
  EXPECT_EQ(ids[5], 1039u);
  EXPECT_EQ(data[5], profile);
  EXPECT_EQ(ids[6], 1028u);
}

TEST_F(PsdExportTest, HostileSizesAreRefusedWithoutAFileAndLengthsAre64Bit) {
  Open(16, 8, 16);
  harness.record.filterRect.right = 30001;
  harness.record.filterRect.bottom = 10;
  uint8_t cancelled = 0;
  EXPECT_EQ(Export("big.psd", &cancelled), kPsdStopped);
  EXPECT_EQ(gRefusedWidth, 30001);
  EXPECT_FALSE(Exists(dir + "/big.psd"));
  EXPECT_FALSE(Exists(dir + "/big.psd.new"));

  LayerExportDescription d;
  DescribeLayerExport(harness.globals, &d);
  PsdMeasure m;
  d.width = 30000;
  d.height = 10;
  EXPECT_TRUE(MeasurePsdDocument(nullptr, &d, &m));
  // 16-bit 6000 x 6000: the layer section is over 2^31 and must not wrap.
  d.width = d.height = 6000;
  ASSERT_TRUE(MeasurePsdDocument(nullptr, &d, &m));
  const uint64_t L = LayerInfoLength(6000, 6000, 2);
  EXPECT_EQ(m.layerInfo, L);
  EXPECT_EQ(m.layerSection, (L + 4 + 3) / 4 * 4 + 28);
  EXPECT_GT(m.layerSection, 0x80000000ull);
  // 16-bit 8000 x 8000 needs 5.6 GB of layers: more than the format's lengths can say.
  d.width = d.height = 8000;
  EXPECT_FALSE(MeasurePsdDocument(nullptr, &d, &m));
  EXPECT_EQ(m.layerInfo, LayerInfoLength(8000, 8000, 2));
  harness.record.filterRect.right = 8000;
  harness.record.filterRect.bottom = 8000;
  gRefusedWidth = 0;
  EXPECT_EQ(Export("big.psd", &cancelled), kPsdStopped);
  EXPECT_EQ(gRefusedWidth, 8000);
  EXPECT_FALSE(Exists(dir + "/big.psd"));
}

TEST_F(PsdExportTest, AFullDiskLeavesTheOldDocumentAndReportsTheError) {
  Open(37, 23, 8);
  {
    std::ofstream old(dir + "/full.psd", std::ios::binary);
    old << "the older document";
  }
  // The file system refuses every byte past 20000 of any file this process writes.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limit = saved;
  limit.rlim_cur = 20000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  uint8_t cancelled = 0;
  const int16_t result = Export("full.psd", &cancelled);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, -20);
  EXPECT_EQ(cancelled, 0);
  const std::vector<uint8_t> f = ReadAll(dir + "/full.psd");
  EXPECT_EQ(std::string(f.begin(), f.end()), "the older document");
  EXPECT_FALSE(Exists(dir + "/full.psd.new"));
  // A folder that does not exist: the open error, not success.
  EXPECT_EQ(Export("no such folder/x.psd", &cancelled), 99);
}

TEST_F(PsdExportTest, CancelStopsTheExportRemovesTheFileAndRestoresTheRun) {
  Open(40, 30, 8);
  FilterRecord &r = harness.record;
  const Rect16 filter = r.filterRect;
  ParameterBlock *p = HarnessParameters(&harness);
  const uint32_t mode = p->outputMode;
  gAbortCalls = 0;
  gAbortAt = 5;
  r.abortProc = AbortLater;
  uint8_t cancelled = 0;
  EXPECT_EQ(Export("c.psd", &cancelled), kProgressStopped);
  r.abortProc = nullptr;
  EXPECT_EQ(cancelled, 1);
  EXPECT_EQ(gAbortCalls, 5);   // the export stopped asking once it had stopped
  EXPECT_STREQ(ProgressBoxText(), "Cancelling...");
  EXPECT_FALSE(Exists(dir + "/c.psd"));
  EXPECT_FALSE(Exists(dir + "/c.psd.new"));
  EXPECT_LT(harness.globals->progressLayer, 11);
  EXPECT_EQ(harness.result, 0);
  EXPECT_EQ(p->renderTarget, 0u);
  EXPECT_EQ(p->outputMode, mode);
  EXPECT_EQ(harness.globals->runState->renderTargetImage, nullptr);
  EXPECT_EQ(harness.globals->runState->exportImage.tiles, nullptr);
  EXPECT_TRUE(std::memcmp(&r.filterRect, &filter, sizeof filter) == 0);
  // The box is closed: its hooks are gone and the next export runs to the end.
  EXPECT_FALSE(ProgressBoxOpen());
  EXPECT_EQ(gExportBoxHooks.requestCancel, nullptr);
  EXPECT_EQ(Export("c.psd", &cancelled), 0);
  EXPECT_EQ(cancelled, 0);
  EXPECT_EQ(harness.globals->progressLayer, 11);
}

TEST(ProgressPercent, CountsLayersAndRowsAndSurvivesAZeroTotal) {
  EXPECT_EQ(ProgressPercent(3, 50, 100, 11), 31);
  EXPECT_EQ(ProgressPercent(0, 0, 24, 11), 0);
  EXPECT_EQ(ProgressPercent(10, 24, 24, 11), 100);
  EXPECT_EQ(ProgressPercent(5, 12, 0, 11), 0);
  EXPECT_EQ(ProgressPercent(5, 12, 24, 0), 0);
  EXPECT_EQ(ProgressPercent(10, 29999, 30001, 11), 99);
}

TEST(HdrKeywords, OnlyFourByteChannelsAreHighDynamicRange) {
  IptcBuilder iptc;
  InitIptcKeywords(&iptc);
  LayerExportDescription d{};
  d.bytesPerChannel = 2;
  AddHdrKeywords(&iptc, &d);
  AddHdrKeywords(&iptc, nullptr);
  EXPECT_EQ(iptc.keywordCount, 0);
  d.bytesPerChannel = 4;
  AddHdrKeywords(&iptc, &d);
  char k[kIptcKeywordSize];
  ASSERT_EQ(iptc.keywordCount, 2);
  GetIptcKeyword(&iptc, 0, k);
  EXPECT_STREQ(k, "HDR");
  GetIptcKeyword(&iptc, 1, k);
  EXPECT_STREQ(k, "high dynamic range");
}

}  // namespace

namespace {

TEST_F(PsdExportTest, TheFlatJpegJobWritesThePictureAtTheFilterSize) {
  Open(45, 27, 8);
  FileSpec spec = Spec("flat.jpg");
  uint8_t cancelled = 1;
  ASSERT_EQ(RunProgressDialog(harness.globals, &spec, &cancelled, kJobFlatJpeg), 0);
  EXPECT_EQ(cancelled, 0);
  int32_t w = 0, h = 0, components = 0;
  ASSERT_EQ(ReadJpegFileInfo(&spec, &w, &h, &components), 0);
  EXPECT_EQ(w, 45);
  EXPECT_EQ(h, 27);
  EXPECT_EQ(components, 3);
  EXPECT_EQ(HarnessParameters(&harness)->renderTarget, 0u);
  EXPECT_EQ(harness.globals->runState->exportImage.tiles, nullptr);
}

}  // namespace
