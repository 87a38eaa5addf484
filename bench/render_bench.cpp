// render_bench.cpp -- how fast the renderer draws the two reference pictures, on one thread.
//
//   globe    the default planet, normal mode, cities 0, 1024 x 1024 RGB 8-bit   (target 0.2 s)
//   map      the default planet, lit map,     cities 0, 2048 x 1024 RGB 8-bit   (target 0.5 s)
//   preview  the default planet, normal mode, cities 0,  300 x 300, the size of the dialog's
//            preview                                                          (target 20 ms)
//            The dialog's own limit for its preview, 40 ms, is printed beside it.
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

#include "bench/render_harness.h"
#include "render/noise_paths.h"

namespace {

struct Case {
  const char *name;
  int32_t width;
  int32_t height;
  uint32_t mode;
  double targetSeconds;
  double dialogSeconds;   // the live preview's limit in the dialog; 0 for none
};

bool RunCase(const Case &c, int repeats) {
  HarnessOptions options;
  options.width = c.width;
  options.height = c.height;
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) return false;
  ParameterBlock *p = HarnessParameters(&harness);
  p->outputMode = c.mode;
  p->cities = 0;
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
  CloseHarness(&harness);
  const double megapixels = double(c.width) * double(c.height) / 1.0e6;
  std::printf("%-7s %5dx%-5d %8.1f ms/MP  %6.3f s  (target %.2f s, %s)  hash %016llx\n", c.name, c.width, c.height,
              best * 1000.0 / megapixels, best, c.targetSeconds, best <= c.targetSeconds ? "met" : "MISSED",
              static_cast<unsigned long long>(HarnessImageHash(image)));
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
      {"globe", 1024, 1024, 1, 0.2, 0.0},
      {"map", 2048, 1024, 3, 0.5, 0.0},
      {"preview", 300, 300, 1, 0.02, 0.04},
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
