// Fuzz target: the settings reader over any bytes, in both of its modes. The input becomes a
// file; the reader must never crash, leak, read past its buffers or apply half a file, and a
// read that fails or finds no picture leaves the thumbnail as it was.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "files/settings_file.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "plugin/globals.h"

namespace {

struct Harness {
  FilterRecord record{};
  char *master = nullptr;
  ParameterBlock *block = nullptr;
  PluginGlobals globals{};
  int16_t result = 0;
  RunState *run = nullptr;
  std::string path;
};

Harness *Make() {
  auto *h = new Harness;
  h->block = static_cast<ParameterBlock *>(std::calloc(1, sizeof(ParameterBlock)));
  h->master = reinterpret_cast<char *>(h->block);
  h->record.parameters = &h->master;   // no buffer procedures: global memory stands in
  h->globals.filterRecord = &h->record;
  h->globals.resultPtr = &h->result;
  h->run = static_cast<RunState *>(std::calloc(1, sizeof(RunState)));
  h->globals.runState = h->run;
  InitImageRecord(&h->globals.workImage, nullptr, &h->globals, nullptr);
  CreateImage(&h->globals.workImage, 128, 128, kFormatPacked8, 0);
  char name[] = "/tmp/kv-fuzz-settings-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  h->path = name;
  return h;
}

// Level 0 of the thumbnail, pixel by pixel.
std::vector<uint32_t> ThumbnailPixels(const TiledMipImage *image) {
  std::vector<uint32_t> pixels;
  pixels.reserve(size_t(image->levelWidth[0]) * size_t(image->levelHeight[0]));
  for (int32_t y = 0; y < image->levelHeight[0]; y++) {
    for (int32_t x = 0; x < image->levelWidth[0]; x++) {
      int32_t c[4];
      GetPixelPacked8(x, y, image, 0, &c[0], &c[1], &c[2], &c[3]);
      pixels.push_back(uint32_t(c[0]) << 24 | uint32_t(c[1]) << 16 | uint32_t(c[2]) << 8 | uint32_t(c[3]));
    }
  }
  return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Harness *h = Make();
  FILE *f = std::fopen(h->path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  FileSpec spec{};
  std::snprintf(spec.path, sizeof spec.path, "%s", h->path.c_str());

  SetDefaultParameters(&h->globals);
  for (int16_t mode : {kReadSettingsThumbnail, kReadSettingsApply}) {
    ParameterBlock before;
    std::memcpy(&before, h->block, sizeof before);
    const std::vector<uint32_t> pictureBefore = ThumbnailPixels(&h->globals.workImage);
    bool found = false;
    int16_t result = ReadSettingsFile(&h->globals, &spec, mode, &found);
    // Nothing is applied by the picture mode, or from a file that did not read completely.
    if ((mode == kReadSettingsThumbnail || result != 0) && std::memcmp(&before, h->block, sizeof before) != 0) {
      std::abort();
    }
    // Nor does a failed read, or one that found no picture, touch the thumbnail.
    if ((result != 0 || !found) && ThumbnailPixels(&h->globals.workImage) != pictureBefore) std::abort();
  }
  return 0;
}
