// Fuzz target: whole renders from arbitrary parameter blocks. The block's fields come from
// descriptors and files without range checks, so every value, however absurd, must render
// without undefined behaviour (the fuzz tree runs under AddressSanitizer and
// UndefinedBehaviorSanitizer). The picture is small; its content is not checked.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bench/render_harness.h"

namespace {

// Reads the input front to back; zeros once it runs out.
struct Reader {
  const uint8_t *data;
  size_t size;
  uint32_t Word() {
    uint32_t v = 0;
    const size_t n = size < 4 ? size : 4;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
  }
  uint8_t Byte() { return uint8_t(Word() & 255); }
  float Float() {
    const uint32_t bits = Word();
    // Half the time a raw bit pattern (NaN, infinities, huge values), else -2..2.
    if (bits & 1u) {
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    return float(int32_t(bits >> 1) % 4001) / 1000.0f;
  }
  // Mostly the slider range, sometimes anything.
  uint32_t Slider() {
    const uint32_t w = Word();
    return (w & 7u) == 7u ? w : (w >> 3) % 101u;
  }
};

// One harness per channel class and layer kind, opened once at the largest size: a harness is
// expensive to make (the run buffers), and the render set-up it drives is what is under test.
RenderHarness *HarnessFor(int32_t depth, bool grey, bool transparent) {
  static RenderHarness harnesses[8];
  static bool opened[8];
  const int index = (depth == 16 ? 1 : 0) + (grey ? 2 : 0) + (transparent ? 4 : 0);
  if (!opened[index]) {
    HarnessOptions options;
    options.width = 40;
    options.height = 24;
    options.depth = depth;
    options.grey = grey;
    options.transparentLayer = transparent;
    if (!OpenHarness(&harnesses[index], options)) return nullptr;
    opened[index] = true;
  }
  return &harnesses[index];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Reader in{data, size};
  const int32_t width = 1 + in.Byte() % 40;
  const int32_t height = 1 + in.Byte() % 24;
  const uint8_t flags = in.Byte();
  RenderHarness *harness = HarnessFor((flags & 1) ? 16 : 8, (flags & 2) != 0, (flags & 4) != 0);
  if (harness == nullptr || !ResetHarness(harness, width, height)) return 0;
  harness->options.randSeed = in.Word();
  ParameterBlock *p = HarnessParameters(harness);
  const uint32_t mode = in.Word();
  p->outputMode = (mode & 0x80000000u) ? mode : mode % 16u;
  p->randomSeed = in.Word();
  uint32_t *look = &p->airDepth;   // the 29 look words, airDepth .. cloudTexture
  for (int k = 0; k < 29; k++) look[k] = in.Slider();
  for (int k = 0; k < 3; k++) p->lightVector[k] = in.Float();
  for (int k = 0; k < 3; k++) p->axisVector[k] = in.Float();
  if (flags & 8) {
    p->centerX = in.Float();
    p->centerY = in.Float();
    p->zoomDivisor = in.Word() % 9u;
    p->panX = int32_t(in.Word() % 2001u) - 1000;
    p->panY = int32_t(in.Word() % 2001u) - 1000;
  }
  uint16_t *colours = &p->landColor.red;
  for (int k = 0; k < 21; k++) colours[k] = uint16_t(in.Word());
  HarnessImage image;
  RenderHarnessImage(harness, &image);
  return 0;
}
