// Fuzz target: images of random sizes and formats, sampled, resampled, rebuilt and addressed at
// random positions, levels and rectangles. Any read or write outside a tile or the kernel table,
// and any undefined conversion of a hostile float, is a finding (ASan, UBSan).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "imagestore/edge_modes.h"
#include "imagestore/image_copy.h"
#include "imagestore/kernel_table.h"
#include "imagestore/level_build.h"
#include "imagestore/pixel_access.h"
#include "imagestore/samplers.h"

namespace {

const uint32_t kFormats[] = {0, 1, 2, 3, 4, 5, 7, 9, 6, 12};

// Floats of every kind: ordinary positions, edges, huge values, infinities and NaN.
float AnyFloat(FuzzedDataProvider &in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.ConsumeFloatingPointInRange<float>(-2.0f, 3.0f);
    case 1:
      return float(in.ConsumeIntegralInRange<int32_t>(-40, 700)) + 0.5f * float(in.ConsumeIntegralInRange<int>(0, 1));
    default: {
      const uint32_t bits = in.ConsumeIntegral<uint32_t>();
      float f;
      __builtin_memcpy(&f, &bits, sizeof f);
      return f;
    }
  }
}

Rect16 AnyRect(FuzzedDataProvider &in) {
  Rect16 r;
  r.top = in.ConsumeIntegralInRange<int16_t>(-600, 600);
  r.left = in.ConsumeIntegralInRange<int16_t>(-600, 600);
  r.bottom = in.ConsumeIntegralInRange<int16_t>(-600, 600);
  r.right = in.ConsumeIntegralInRange<int16_t>(-600, 600);
  return r;
}

bool MakeImage(FuzzedDataProvider &in, TiledMipImage *image, const ResampleKernelTable *table, int32_t maxSide) {
  InitImageRecord(image, nullptr, nullptr, in.ConsumeBool() ? table : nullptr);
  const uint32_t format = in.PickValueInArray(kFormats);
  // Mostly small images (many runs a second); now and then one of several tiles.
  const int32_t side = in.ConsumeIntegralInRange<int>(0, 7) == 0 ? maxSide : 40;
  const int32_t w = in.ConsumeIntegralInRange<int32_t>(0, side);
  const int32_t h = in.ConsumeIntegralInRange<int32_t>(0, side);
  const int32_t wrap = in.ConsumeIntegralInRange<int32_t>(-1, 2);
  if (!CreateImage(image, w, h, format, wrap)) return false;
  // Level 0 from the input (what the pixels hold does not matter, only that nothing reads
  // outside them); then the levels.
  const uint8_t fill = in.ConsumeIntegral<uint8_t>();
  for (int32_t i = image->levelFirstTile[0]; i <= image->levelLastTile[0]; ++i) {
    const ImageTile &t = image->tiles[i];
    __builtin_memset(t.pixels, fill, size_t(t.width) * size_t(t.height) * image->bytesPerPixel);
  }
  RebuildAllLevels(image);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static ResampleKernelTable table;
  static bool built = false;
  if (!built) {
    BuildDefaultKernelTable(&table);
    built = true;
  }
  FuzzedDataProvider in(data, size);
  TiledMipImage image, other;
  const bool haveImage = MakeImage(in, &image, &table, 700);
  const bool haveOther = MakeImage(in, &other, &table, 200);
  if (!haveImage) InitImageRecord(&image, nullptr, nullptr, &table);
  if (!haveOther) InitImageRecord(&other, nullptr, nullptr, &table);

  // Whole-image resamples cost up to a few seconds each under the sanitizers at these sizes:
  // two per input keep every input within the fuzzer's time limit.
  int resamples = 0;
  for (int steps = 0; steps < 64 && in.remaining_bytes() > 0; ++steps) {
    float out[4];
    const int32_t level = in.ConsumeIntegralInRange<int32_t>(-3, 22);
    switch (in.ConsumeIntegralInRange<int>(0, 11)) {
      case 0:
        SampleFilteredGray8(&image, level, AnyFloat(in), AnyFloat(in));
        break;
      case 1:
        SampleFilteredRgba8(&image, level, AnyFloat(in), AnyFloat(in), out);
        SampleFilteredRgba16(&image, level, AnyFloat(in), AnyFloat(in), out);
        SampleFilteredRgbaF32(&image, level, AnyFloat(in), AnyFloat(in), out);
        break;
      case 2:
        SampleGrayTrilinear(&image, AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in));
        SampleTrilinearRGBAScaled(&image, AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), out);
        break;
      case 3: {
        const Rect16 from = AnyRect(in), to = AnyRect(in);
        if (resamples++ < 2) ResampleImageInto(&image, &other, &from, &to, AnyFloat(in));
        break;
      }
      case 4:
        if (resamples++ >= 2) break;
        if (in.ConsumeBool()) {
          CopyOrResampleImage(&image, &other);
        } else {
          CopyOrResampleImage(&other, &image);
        }
        break;
      case 5: {
        Rect16 r = AnyRect(in);
        BuildNextLevel(&image, level, &r);
        r = AnyRect(in);
        RebuildLevelsInRect(&image, &r, level, in.ConsumeIntegralInRange<int32_t>(-3, 22));
        break;
      }
      case 6: {
        const int32_t x = in.ConsumeIntegral<int32_t>(), y = in.ConsumeIntegral<int32_t>();
        const int32_t v = in.ConsumeIntegral<int32_t>();
        PutPixelGray8Checked(x, y, &image, level, v);
        PutPixelPacked8(x, y, &image, level, v, v, v, v);
        PutPixelRgba16(x, y, &image, level, v, v, v, v);
        PutPixelRgb16Checked(x, y, &image, level, v, v, v);
        PutPixelRgbaF32Checked(x, y, &image, level, AnyFloat(in), 0, 0, 0);
        const float rgba[4] = {AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in)};
        PutPixel4Float(x, y, &image, level, rgba);
        FetchPixelRGBA(x, y, &image, level, out);
        GetPixel1(x, y, &image, level);
        break;
      }
      case 7:
        CopyImagePlane(&image, &other, level, in.ConsumeIntegralInRange<int32_t>(-3, 22));
        break;
      case 8: {
        float l = AnyFloat(in), u, v;
        ApplyWrapMode(AnyFloat(in), AnyFloat(in), &l, in.ConsumeIntegralInRange<uint32_t>(0, 9), &image, &u, &v);
        SampleBilinearTrilinear(&image, l, AnyFloat(in), u, v, out);
        break;
      }
      case 9: {
        SampleBilinear4(&image, level, AnyFloat(in), AnyFloat(in), out);
        SampleBilinearF32(&image, level, AnyFloat(in), AnyFloat(in));
        int32_t fixed[4];
        SampleBilinearFixed(&image, level, in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(), fixed);
        break;
      }
      case 10: {
        const int32_t x = in.ConsumeIntegral<int32_t>(), y = in.ConsumeIntegral<int32_t>();
        const bool wrap = in.ConsumeBool();
        Magnify2xPacked8(&image, level, x, y, wrap);
        Magnify2xGray(&image, level, x, y, wrap);
        Magnify2xSmoothPacked8(&image, level, x, y);
        Magnify2xSmoothGray(&image, level, x, y);
        break;
      }
      default: {
        MipLevelChoice choice = {AnyFloat(in), in.ConsumeIntegral<uint8_t>()};
        SelectMipLevel(AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), &image,
                       AnyFloat(in), &choice);
        SelectMipLevelF(AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), &image);
        WrapDerivativeRecord r = {AnyFloat(in), AnyFloat(in), AnyFloat(in), in.ConsumeIntegral<int32_t>(),
                                  AnyFloat(in), AnyFloat(in), AnyFloat(in), AnyFloat(in), 0};
        WrapDerivatives(&r);
        break;
      }
    }
  }
  FreeImageTiles(&image);
  FreeImageTiles(&other);
  return 0;
}
