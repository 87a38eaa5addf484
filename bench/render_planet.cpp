// render_planet.cpp -- renders one planet to a PNG through the native harness.
//
//   render_planet OUT.png [--size WxH] [--grey] [--16] [--alpha] [--rand N] [name=value ...]
//
// name=value sets a field of the parameter block (see harness_settings.h), for example
// outputMode=3 or light=0.7,0,0.714. The defaults are the plug-in's.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/harness_settings.h"
#include "bench/render_harness.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: render_planet OUT.png [--size WxH] [--grey] [--16] [--alpha] [--rand N] [name=value ...]\n");
    return 2;
  }
  HarnessOptions options;
  const char *out = argv[1];
  const char *settings[256];
  int settingCount = 0;
  for (int i = 2; i < argc; i++) {
    if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &options.width, &options.height) != 2) return 2;
    } else if (std::strcmp(argv[i], "--grey") == 0) {
      options.grey = true;
    } else if (std::strcmp(argv[i], "--16") == 0) {
      options.depth = 16;
    } else if (std::strcmp(argv[i], "--alpha") == 0) {
      options.transparentLayer = true;
    } else if (std::strcmp(argv[i], "--rand") == 0 && i + 1 < argc) {
      options.randSeed = uint32_t(std::strtoul(argv[++i], nullptr, 0));
    } else if (settingCount < 256) {
      settings[settingCount++] = argv[i];
    }
  }
  RenderHarness harness;
  if (!OpenHarness(&harness, options)) {
    std::fprintf(stderr, "render_planet: no memory for the run\n");
    return 1;
  }
  ParameterBlock *p = HarnessParameters(&harness);
  for (int i = 0; i < settingCount; i++) {
    if (!ApplyHarnessSetting(p, settings[i])) {
      std::fprintf(stderr, "render_planet: unknown setting %s\n", settings[i]);
      CloseHarness(&harness);
      return 2;
    }
  }
  HarnessImage image;
  const bool rendered = RenderHarnessImage(&harness, &image);
  CloseHarness(&harness);
  if (!rendered) {
    std::fprintf(stderr, "render_planet: the render failed (result %d)\n", int(harness.result));
    return 1;
  }
  if (!WriteHarnessPng(out, image)) {
    std::fprintf(stderr, "render_planet: cannot write %s\n", out);
    return 1;
  }
  std::printf("%s %dx%d hash %016llx\n", out, image.width, image.height,
              static_cast<unsigned long long>(HarnessImageHash(image)));
  return 0;
}
