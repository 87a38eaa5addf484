// render_bench.cpp -- how fast the renderer draws the two reference pictures, on one thread.
//
//   globe    the default planet, normal mode, cities 0, 1024 x 1024 RGB 8-bit   (target 0.2 s)
//   map      the default planet, lit map,     cities 0, 2048 x 1024 RGB 8-bit   (target 0.5 s)
//   preview  the default planet, normal mode, cities 0,  300 x 300, the size of the dialog's
//            preview                                                          (target 20 ms)
//            The dialog's own limit for its preview, 40 ms, is printed beside it.
//   clouds   the preview again with real clouds from a 2048 x 1024 cloud cache, which the
//            set-up looks for before every render (target 1.5 x the preview without clouds)
//
// The noise runs on the processor path the plug-in would choose (KIVAGLOBE_SIMD=sse2 or avx2
// forces one); the first line names it.
//
// Each picture is rendered `repeats` times (default 3, first argument; a second argument picks
// one picture by name); the best time counts,
// set-up included. Prints milliseconds per megapixel, the seconds of one render and the image
// hash (equal hashes on different builds mean equal pictures).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <map>
#include <string>

#include "bench/render_harness.h"
#include "clouds/cloud_files.h"
#include "clouds/cloud_hooks_install.h"
#include "files/file_replace.h"
#include "foundation/file_locations.h"
#include "imagestore/image_store.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "render/noise_paths.h"

namespace {

struct Case {
  const char *name;
  int32_t width;
  int32_t height;
  uint32_t mode;
  double targetSeconds;
  double dialogSeconds;   // the live preview's limit in the dialog; 0 for none
  bool realClouds;        // with the cloud cache of kCloudSource
};

constexpr int32_t kCloudSource = 6;
constexpr int32_t kCloudWidth = 2048;
constexpr int32_t kCloudHeight = 1024;

// The temporary folder of the benchmark: a folder of its own inside the system's, so that no
// cache of a real run is read or overwritten.
std::string gTempFolder;
std::map<std::string, double> gBest;   // the best seconds of each case run so far

uint32_t BenchTempFolder(char *buffer, uint32_t size) {
  if (gTempFolder.size() + 1 > size) return uint32_t(gTempFolder.size() + 1);
  std::memcpy(buffer, gTempFolder.c_str(), gTempFolder.size() + 1);
  return uint32_t(gTempFolder.size());
}

// Writes a cache of a 2048 x 1024 cloud picture (bands of cloud across a whole-world map) for
// kCloudSource into the benchmark's own temporary folder, through the plug-in's own writer.
bool WriteBenchCloudCache(RenderHarness *harness) {
  FileSpec temp{}, folder{};
  TempFileSpec(&temp, nullptr);
  MakeSubFolder(&temp, "Kivaglobe bench clouds", &folder);
  if (folder.path[0] == 0) return false;
  gTempFolder = folder.path;
  SetTempFolderProc(BenchTempFolder);
  PluginGlobals *g = harness->globals;
  TiledMipImage *cloud = &g->imageSet[0];
  if (!CreateImage(cloud, kCloudWidth, kCloudHeight, kFormatGray8, 0)) return false;
  for (int32_t y = 0; y < kCloudHeight; y++) {
    for (int32_t x = 0; x < kCloudWidth; x++) PutPixelGray8Checked(x, y, cloud, 0, ((x / 7 + y / 5) * 37) & 255);
  }
  RebuildAllLevels(cloud);
  CloudHeader &h = g->runState->cloudHeader;
  h.imageWidth = kCloudWidth;
  h.imageHeight = kCloudHeight;
  h.boxWidth = float(kCloudWidth);
  h.boxHeight = float(kCloudHeight);
  h.sourceIndex = kCloudSource;
  const bool written = WriteCloudCache(g, kCloudSource) == 0;
  // The renders find the picture by reading the cache, as the plug-in's first preview does.
  FreeImageTiles(cloud);
  h.loaded = 0;
  InstallCloudHooks();
  return written;
}

bool RunCase(const Case &c, int repeats) {
  HarnessOptions options;
  options.width = c.width;
  options.height = c.height;
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) return false;
  if (c.realClouds && !WriteBenchCloudCache(&harness)) {
    CloseHarness(&harness);
    return false;
  }
  ParameterBlock *p = HarnessParameters(&harness);
  p->outputMode = c.mode;
  p->cities = 0;
  if (c.realClouds) {
    p->realClouds = 1;
    p->cloudImage = uint32_t(kCloudSource);
    p->cloudImageOverride = kCloudSource;
  }
  double best = 1e30;
  HarnessImage image;
  for (int r = 0; r < repeats; r++) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = RenderHarnessImage(&harness, &image);
    const auto stop = std::chrono::steady_clock::now();
    if (!ok) {
      CloseHarness(&harness);
      return false;
    }
    const double seconds = std::chrono::duration<double>(stop - start).count();
    if (seconds < best) best = seconds;
  }
  if (c.realClouds && !harness.globals->runState->cloudHeader.loaded) {
    std::fprintf(stderr, "kv_bench: the cloud cache was not loaded\n");
    CloseHarness(&harness);
    return false;
  }
  FreeImageTiles(&harness.globals->imageSet[0]);
  CloseHarness(&harness);
  if (c.realClouds) {
    FileSpec cache{};
    CloudCacheSpec(kCloudSource, &cache);
    DeletePlatformFile(cache.path);
    SetTempFolderProc(nullptr);
  }
  gBest[c.name] = best;
  const double megapixels = double(c.width) * double(c.height) / 1.0e6;
  std::printf("%-7s %5dx%-5d %8.1f ms/MP  %6.3f s  (target %.2f s, %s)  hash %016llx\n", c.name, c.width, c.height,
              best * 1000.0 / megapixels, best, c.targetSeconds, best <= c.targetSeconds ? "met" : "MISSED",
              static_cast<unsigned long long>(HarnessImageHash(image)));
  if (c.realClouds && gBest.count("preview") != 0) {
    const double ratio = best / gBest["preview"];
    std::printf("        with a %d x %d cloud cache loaded: %.2f x the preview without clouds  (limit 1.50 x, %s)\n",
                kCloudWidth, kCloudHeight, ratio, ratio <= 1.5 ? "met" : "MISSED");
  }
  if (c.dialogSeconds > 0.0) {
    std::printf("        the dialog's live preview: %.3f s  (limit %.3f s, %s)\n", best, c.dialogSeconds,
                best <= c.dialogSeconds ? "met" : "MISSED");
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 3;
  const Case cases[] = {
      {"globe", 1024, 1024, 1, 0.2, 0.0, false},
      {"map", 2048, 1024, 3, 0.5, 0.0, false},
      {"preview", 300, 300, 1, 0.02, 0.04, false},
      {"clouds", 300, 300, 1, 0.03, 0.04, true},
  };
  const char *only = argc > 2 ? argv[2] : nullptr;
  std::printf("noise path %s (the processor %s AVX2)\n", NoisePathName(ActiveNoisePath()),
              ProcessorHasAvx2() ? "has" : "lacks");
  for (const Case &c : cases) {
    if (only != nullptr && std::strcmp(only, c.name) != 0) continue;
    if (!RunCase(c, repeats < 1 ? 1 : repeats)) {
      std::fprintf(stderr, "kv_bench: the %s render failed\n", c.name);
      return 1;
    }
  }
  return 0;
}
