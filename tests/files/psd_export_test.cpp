// psd_export_test.cpp -- the layered document's lengths against the format's layout and worked
// numbers, its refusals, a full disk, and the progress box's cancel. (What the document holds is
// read by independent readers in psd_readers_check.sh.)
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/render_harness.h"
#include "files/jpeg_files.h"
#include "files/progress_box.h"
#include "files/psd_export.h"
#include "plugin/output_passes.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string &path) { return std::ifstream(path).good(); }

uint32_t U32(const std::vector<uint8_t> &f, size_t at) {
  return at + 4 <= f.size() ? uint32_t(f[at]) << 24 | f[at + 1] << 16 | f[at + 2] << 8 | f[at + 3] : 0xEEEEEEEEu;
}
std::string Tag(const std::vector<uint8_t> &f, size_t at) {
  return at + 4 <= f.size() ? std::string(f.begin() + long(at), f.begin() + long(at + 4)) : "";
}

// The layer information as the format lays it out: eleven records of 106 bytes plus the padded
// names (8, 12, 12, 12, 16, 12, 12, 12, 12, 8, 8), then four channels of each layer.
uint64_t LayerInfoLength(uint64_t w, uint64_t h, uint64_t bytes) { return 2 + 11 * 106 + 124 + (bytes * w * h + 2) * 44; }

int gRefusedWidth = 0;
void RecordRefusal(int32_t width, int32_t, int32_t) { gRefusedWidth = width; }

int gAbortCalls = 0;
HostBool KV_HOSTAPI AbortAtFifth() { return ++gAbortCalls >= 5 ? 1 : 0; }

class PsdExportTest : public ::testing::Test {
 protected:
  RenderHarness harness;
  std::string dir;

  void Open(int width, int height, int depth) {
    CloseHarness(&harness);
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
    if (dir.empty()) dir = mkdtemp(name);
    gPsdRefusalProc = RecordRefusal;
    gRefusedWidth = 0;
  }
  void TearDown() override {
    CloseHarness(&harness);
    std::system(("rm -rf " + dir).c_str());
    gPsdRefusalProc = nullptr;
  }
  FileSpec Spec(const std::string &name) {
    FileSpec spec{};
    const std::string path = dir + "/" + name;
    SetFileSpecText(&spec, path.c_str(), int32_t(path.size() + 1));
    return spec;
  }
  int16_t Export(const std::string &name, uint8_t *cancelled, uint32_t job = kJobLayeredDocument) {
    FileSpec spec = Spec(name);
    return RunProgressDialog(harness.globals, &spec, cancelled, job);
  }
};

TEST_F(PsdExportTest, EveryDepthHasTheLengthsOfTheLayout) {
  for (int depth : {8, 16, 32}) {
    SCOPED_TRACE(depth);
    Open(21, 13, depth);
    uint8_t cancelled = 7;
    ASSERT_EQ(Export("d.psd", &cancelled), 0);
    EXPECT_EQ(cancelled, 0);
    EXPECT_FALSE(Exists(dir + "/d.psd.new"));
    const std::vector<uint8_t> f = ReadAll(dir + "/d.psd");
    const uint64_t bytes = uint64_t(depth / 8), planes = depth == 16 ? 4 : 3;
    EXPECT_EQ(f[13], planes);
    const uint32_t colour = U32(f, 26);
    EXPECT_EQ(colour, depth == 32 ? 74u : 0u);
    // 544 bytes of resources for the default planet without a profile; the 32-bit document adds
    // 1069 and 1072, and "HDR" and "high dynamic range" make its IPTC data 122 bytes, not 90.
    const size_t resources = 30 + colour;
    EXPECT_EQ(U32(f, resources), depth == 32 ? 544u + 18 + 24 + 32 : 544u);
    const std::string text(f.begin(), f.end());
    EXPECT_EQ(text.find("high dynamic range") != std::string::npos, depth == 32);
    const size_t section = resources + 4 + U32(f, resources);
    const uint64_t L = LayerInfoLength(21, 13, bytes), P = (L + 4 + 3) / 4 * 4;
    const uint64_t length = depth == 8 ? L + 8 : depth == 16 ? P + 28 : P + 68;
    EXPECT_EQ(U32(f, section), length);
    if (depth == 8) {
      EXPECT_EQ(U32(f, section + 4), L);
    } else {
      EXPECT_EQ(Tag(f, section + 16), depth == 16 ? "Mt16" : "Mt32");
      EXPECT_EQ(Tag(f, section + 28), depth == 16 ? "Lr16" : "Lr32");
      EXPECT_EQ(U32(f, section + 32), L);
    }
    EXPECT_EQ(f.size(), section + 4 + length + 2 + planes * bytes * 21 * 13);
  }
}

TEST_F(PsdExportTest, AnOddProfileIsPaddedAndALongerOldFileIsCut) {
  Open(16, 8, 8);
  std::vector<uint8_t> profile(131);
  for (size_t i = 0; i < profile.size(); i++) profile[i] = uint8_t(i * 7 + 1);
  char *master = reinterpret_cast<char *>(profile.data());
  harness.record.iCCprofileData = &master;
  harness.record.iCCprofileSize = 131;
  std::ofstream(dir + "/p.psd", std::ios::binary) << std::string(400000, 'x');
  uint8_t cancelled = 0;
  ASSERT_EQ(Export("p.psd", &cancelled), 0);
  harness.record.iCCprofileData = nullptr;
  const std::vector<uint8_t> f = ReadAll(dir + "/p.psd");
  EXPECT_EQ(U32(f, 30), 544u + 12 + 132);
  // Resources 1001, 1005, 1011, 1016 and 1035 take 346 bytes; then the profile and its pad
  // byte, and the IPTC resource right after it.
  EXPECT_EQ(Tag(f, 34 + 346), "8BIM");
  EXPECT_EQ(f[34 + 346 + 4] * 256 + f[34 + 346 + 5], 1039);
  EXPECT_TRUE(std::equal(profile.begin(), profile.end(), f.begin() + 34 + 346 + 12));
  EXPECT_EQ(Tag(f, 34 + 346 + 12 + 132), "8BIM");
  EXPECT_EQ(f[34 + 346 + 12 + 132 + 5], 1028 & 0xFF);
  EXPECT_EQ(f.size(), 26 + 4 + 4 + 688 + 4 + LayerInfoLength(16, 8, 1) + 8 + 2 + 3 * 16 * 8);
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
  EXPECT_TRUE(MeasurePsdDocument(nullptr, &d, &m));
  // 16-bit 6000 x 6000: the layer section is over 2^31 and must not wrap.
  d.width = d.height = 6000;
  ASSERT_TRUE(MeasurePsdDocument(nullptr, &d, &m));
  const uint64_t L = LayerInfoLength(6000, 6000, 2);
  EXPECT_EQ(m.layerSection, (L + 4 + 3) / 4 * 4 + 28);
  EXPECT_GT(m.layerSection, 0x80000000ull);
  // 16-bit 8000 x 8000 needs 5.6 GB of layers: more than the format's lengths can say.
  harness.record.filterRect.right = harness.record.filterRect.bottom = 8000;
  gRefusedWidth = 0;
  EXPECT_EQ(Export("big.psd", &cancelled), kPsdStopped);
  EXPECT_EQ(gRefusedWidth, 8000);
  EXPECT_FALSE(Exists(dir + "/big.psd"));
}

TEST_F(PsdExportTest, AFullDiskLeavesTheOldDocumentAndReportsTheError) {
  Open(37, 23, 8);
  std::ofstream(dir + "/full.psd", std::ios::binary) << "the older document";
  // The file system refuses every byte past 20000 of any file this process writes.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit saved, limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  limit = saved;
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

// The user's old document and the user's own files under the side names survive a cancelled
// export and a finished one, on a short path and on one of 257 bytes, where "<path>.new" does
// not fit and the side file needs a name of the path's own length. Oracle: the file system (the
// folder's listing and each file's bytes) and the format's signature "8BPS".
TEST_F(PsdExportTest, AnExportNeverLosesTheOldDocumentOrTheUsersFiles) {
  Open(40, 30, 8);
  const std::string sub = std::string(150, 'f');
  ASSERT_EQ(mkdir((dir + "/" + sub).c_str(), 0755), 0);
  const std::string old = "the older document";
  const std::string folder = dir + "/" + sub + "/";
  for (size_t length : {size_t(0), size_t(257)}) {
    SCOPED_TRACE(length);
    const std::string name = sub + "/" + (length == 0 ? "short" : std::string(length - folder.size() - 4, 'n')) + ".psd";
    const std::string path = dir + "/" + name;
    if (length != 0) {
      ASSERT_EQ(path.size(), length);
    }
    std::ofstream(path, std::ios::binary) << old;
    // The first names a side file of either kind would take.
    const std::string users[] = {path + ".new", path.substr(0, path.size() - 1) + "~"};
    for (const std::string &u : users) std::ofstream(u, std::ios::binary) << "mine";
    std::system(("ls -a '" + folder + "' > '" + dir + "/before.txt'").c_str());

    gAbortCalls = 0;
    harness.record.abortProc = AbortAtFifth;
    uint8_t cancelled = 0;
    EXPECT_EQ(Export(name, &cancelled), kProgressStopped);
    harness.record.abortProc = nullptr;
    EXPECT_EQ(cancelled, 1);
    const std::vector<uint8_t> kept = ReadAll(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), old);
    for (const std::string &u : users) EXPECT_EQ(ReadAll(u), std::vector<uint8_t>({'m', 'i', 'n', 'e'})) << u;
    std::system(("ls -a '" + folder + "' > '" + dir + "/after.txt'").c_str());
    EXPECT_EQ(ReadAll(dir + "/after.txt"), ReadAll(dir + "/before.txt")) << "a side file was left behind";

    EXPECT_EQ(Export(name, &cancelled), 0);
    EXPECT_EQ(Tag(ReadAll(path), 0), "8BPS");
    for (const std::string &u : users) EXPECT_EQ(ReadAll(u), std::vector<uint8_t>({'m', 'i', 'n', 'e'})) << u;
    std::system(("ls -a '" + folder + "' > '" + dir + "/after.txt'").c_str());
    EXPECT_EQ(ReadAll(dir + "/after.txt"), ReadAll(dir + "/before.txt"));
  }
}

TEST_F(PsdExportTest, CancelStopsTheExportRemovesTheFileAndRestoresTheRun) {
  Open(40, 30, 8);
  const Rect16 filter = harness.record.filterRect;
  ParameterBlock *p = HarnessParameters(&harness);
  const uint32_t mode = p->outputMode;
  gAbortCalls = 0;
  harness.record.abortProc = AbortAtFifth;
  uint8_t cancelled = 0;
  EXPECT_EQ(Export("c.psd", &cancelled), kProgressStopped);
  harness.record.abortProc = nullptr;
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
  EXPECT_EQ(std::memcmp(&harness.record.filterRect, &filter, sizeof filter), 0);
  // The box is closed and its hooks are gone; the next export runs to the end.
  EXPECT_FALSE(ProgressBoxOpen());
  EXPECT_EQ(gExportBoxHooks.requestCancel, nullptr);
  EXPECT_EQ(Export("c.psd", &cancelled), 0);
  EXPECT_EQ(harness.globals->progressLayer, 11);
  // Called without the box, a cancelled export says so too (not a write error).
  uint8_t stop = 1;
  FileSpec direct = Spec("direct.psd");
  EXPECT_EQ(ExportLayersPsd(harness.globals, &direct, &stop), kPsdStopped);
  EXPECT_FALSE(Exists(dir + "/direct.psd"));
  // The flat JPEG job writes the picture at the filter rectangle's size.
  ASSERT_EQ(Export("flat.jpg", &cancelled, kJobFlatJpeg), 0);
  FileSpec spec = Spec("flat.jpg");
  int32_t w = 0, h = 0, components = 0;
  ASSERT_EQ(ReadJpegFileInfo(&spec, &w, &h, &components), 0);
  EXPECT_EQ(w * 100 + h, 40 * 100 + 30);
}

TEST(ProgressPercent, CountsLayersAndRowsAndSurvivesAZeroTotal) {
  EXPECT_EQ(ProgressPercent(3, 50, 100, 11), 31);
  EXPECT_EQ(ProgressPercent(10, 24, 24, 11), 100);
  EXPECT_EQ(ProgressPercent(5, 12, 0, 11), 0);
}

}  // namespace
