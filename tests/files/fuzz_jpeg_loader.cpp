// Fuzz target: the JPEG file loader (marker scanner, file buffer, decoder) and the decoder on
// a memory block directly, over any bytes. The decoders' own bound on the picture keeps every
// image within the fuzzer's limits: lowered to half a megapixel, since a picture of the
// product's 16 megapixels takes longer than the five seconds an input may take under the
// sanitizers. A load that reports success has made an image of the size the library read
// from the header.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "files/jpeg_codec.h"
#include "files/jpeg_files.h"
#include "imagestore/image_store.h"

namespace {

std::string MakePath() {
  char name[] = "/tmp/kv-fuzz-jpeg-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  return name;
}

}  // namespace

constexpr int64_t kFuzzPixelLimit = 512 * 1024;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = MakePath();
  SetJpegPixelLimit(kFuzzPixelLimit);
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  FileSpec spec{};
  std::snprintf(spec.path, sizeof spec.path, "%s", path.c_str());

  int32_t width = 0, height = 0, components = 0;
  ReadJpegFileInfo(&spec, &width, &height, &components);
  TiledMipImage image;
  InitImageRecord(&image, nullptr, nullptr, nullptr);
  int16_t result = LoadJpegFileImage(&spec, &image, nullptr);
  if (result != 0 && image.tiles != nullptr) std::abort();   // a failed load leaves no picture
  if (result == 0) {
    int32_t w = 0, h = 0, n = 0;
    if (ReadJpegStreamSize(data, int32_t(size), &w, &h, &n) != kJpegOk) std::abort();
    if (image.levelWidth[0] != w || image.levelHeight[0] != h) std::abort();
    if (int64_t(w) * h > kFuzzPixelLimit) std::abort();
  }
  FreeImageTiles(&image);

  TiledMipImage small;
  InitImageRecord(&small, nullptr, nullptr, nullptr);
  if (CreateImage(&small, 48, 40, size & 1 ? kFormatGray8 : kFormatPacked8, 0)) {
    Rect16 all = {0, 0, 40, 48};
    DecodeJpegToImage(&small, &all, data, int32_t(size));
    FreeImageTiles(&small);
  }
  return 0;
}
