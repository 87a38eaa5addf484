// Fuzz target: the GIF decoder over any bytes. It must end, never read or write outside its
// buffers, and hand back either nothing or a picture whose indices lie in its palette.
#include <cstdint>
#include <cstdlib>

#include "clouds/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1u << 20)) return 0;
  GifPicture *p = DecodeGifFromMemory(data, int32_t(size));
  if (p != nullptr) {
    if (p->width < 1 || p->height < 1 || p->width > kMaxCloudPictureSide || p->height > kMaxCloudPictureSide) std::abort();
    if (p->colorCount < 0 || p->colorCount > 256) std::abort();
    for (int32_t y = 0; y < p->height; y += 7) {
      for (int32_t x = 0; x < p->width; x += 7) {
        if (GifPixelIndex(p, x, y) >= p->colorCount && p->colorCount > 0) std::abort();
      }
    }
  }
  FreeGifPicture(p);
  return 0;
}
