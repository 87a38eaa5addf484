// composite_lanes.cpp -- CompositePixelTo for a run of pixels of one row, four at a time.
//
// The common case of a render into the host's row buffer or the preview is short: the
// channel values, made from float(acc) / M and the class's scale and truncated, need no spill
// and no clamp when each lies in 0..ceiling, and alpha is then a constant of the row or the
// pixel's opacity. The conversion, the divide and the test run in SSE2 lanes with the scalar
// form's operations; each pixel whose values leave the range, and every target or mode the
// short road does not know, goes through CompositePixelTo itself, with the colour it would have
// been given.
#include <emmintrin.h>

#include <type_traits>

#include "foundation/fast_math.h"
#include "render/composite.h"
#include "render/lanes_sse2.h"
#include "plugin/globals.h"

namespace {

int32_t ClampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

void CompositeRunTo(const CompositeTarget *t, int32_t firstColumn, int32_t row, int32_t count,
                    const int32_t *const acc[3], const CompositeWeights *weights, float channelMax) {
  if (!t->writable || count <= 0) return;
  const ChannelClassInfo &info = t->info;
  const uint32_t mode = t->outputMode;
  const FilterRecord *record = t->record;
  // The full road for pixel i, with the colour record ShadeOutput would hand it.
  auto fullRoad = [&](int32_t i) {
    float colour[4] = {float(acc[0][i]) / channelMax, float(acc[1][i]) / channelMax, float(acc[2][i]) / channelMax,
                       1.0f};
    CompositePixelTo(t, firstColumn + i, row, colour, &weights[i]);
  };
  // What the short road knows: the host's row buffer or the preview in an integer class, in a
  // mode that reads no underlying pixel, every column inside the target. The row buffer holds
  // only the row being rendered, so there the row number plays no part; the preview's row must
  // lie inside it.
  const bool preview = t->target == 1;
  const bool shortRoad = (t->target == 0 || (preview && row >= 0 && row < t->height)) &&
                         info.kind != kChannelClassFloat && !(mode == 2 && !t->transparent) && firstColumn >= 0 &&
                         count <= t->width - firstColumn;
  if (!shortRoad) {
    for (int32_t i = 0; i < count; i++) fullRoad(i);
    return;
  }
  // Alpha outside the composite mode: from the record's 1.0, the same for every pixel.
  const bool opaqueMode = (mode >= 3 && mode <= 11) || mode == 13 || mode == 14;
  const int32_t rowAlpha =
      opaqueMode ? info.full : ClampInt(TruncateFloatToInt32(1.0f * info.scale * 1.007f), 0, info.full);
  const bool opacityAlpha = mode == 2;   // and a transparent layer
  const bool grey = t->grey;             // one channel written, else three
  const int32_t alphaIndex = record->outLayerPlanes;
  const bool alphaFits = t->transparent && alphaIndex >= t->count && alphaIndex < record->planes;
  const int64_t planes = record->planes;

  const __m128 divisor = _mm_set1_ps(channelMax);
  const __m128 scale = _mm_set1_ps(info.scale);
  const __m128i ceiling = _mm_set1_epi32(info.ceiling);
  constexpr int32_t kChunk = 64;
  for (int32_t start = 0; start < count; start += kChunk) {
    const int32_t n = count - start < kChunk ? count - start : kChunk;
    // The channel values of the chunk's pixels, and those that need a spill or a clamp.
    alignas(16) int32_t c[3][kChunk + 4];
    uint64_t outside = 0;
    for (int32_t first = 0; first < n; first += 4) {
      const int32_t live = n - first < 4 ? n - first : 4;
      int32_t off = 0;
      for (int k = 0; k < 3; k++) {
        const int32_t *in = acc[k] + start + first;
        // A short group repeats its first pixel in the lanes left over.
        const __m128i v = live == 4 ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(in))
                                    : _mm_setr_epi32(in[0], in[live > 1 ? 1 : 0], in[live > 2 ? 2 : 0], in[0]);
        const __m128i w = TruncateLanes(_mm_mul_ps(_mm_div_ps(_mm_cvtepi32_ps(v), divisor), scale));
        const __m128i bad = _mm_or_si128(_mm_cmpgt_epi32(w, ceiling), _mm_cmplt_epi32(w, _mm_setzero_si128()));
        off |= _mm_movemask_ps(_mm_castsi128_ps(bad));
        _mm_store_si128(reinterpret_cast<__m128i *>(c[k] + first), w);
      }
      outside |= uint64_t(off) << first;
    }
    auto write = [&](auto *base) {
      using Sample = std::remove_reference_t<decltype(*base)>;
      for (int32_t i = 0; i < n; i++) {
        if ((outside >> i & 1) != 0) {
          fullRoad(start + i);
          continue;
        }
        if (preview) {
          int32_t v[3] = {c[0][i], c[1][i], c[2][i]};
          if (grey) {
            const int32_t y = (77 * v[0] + 150 * v[1] + 28 * v[2]) >> 8;
            v[0] = v[1] = v[2] = y;
          }
          const int32_t alpha = opacityAlpha
                                    ? ClampInt(TruncateFloatToInt32(weights[start + i].opacity * info.scale), 0, info.full)
                                    : rowAlpha;
          CompositePreviewChannelsTo(t, firstColumn + start + i, row, v, alpha);
          continue;
        }
        Sample *out = base + planes * (firstColumn + start + i);
        if (grey) {
          // No spill happened and every channel is at most the ceiling: the sum fits 32 bits.
          out[0] = Sample((77 * c[0][i] + 150 * c[1][i] + 28 * c[2][i]) >> 8);
        } else {
          out[0] = Sample(c[0][i]);
          out[1] = Sample(c[1][i]);
          out[2] = Sample(c[2][i]);
        }
        if (alphaFits) {
          const int32_t alpha = opacityAlpha
                                    ? ClampInt(TruncateFloatToInt32(weights[start + i].opacity * info.scale), 0, info.full)
                                    : rowAlpha;
          out[alphaIndex] = Sample(alpha);
        }
      }
    };
    if (info.kind == kChannelClass8) {
      write(static_cast<uint8_t *>(record->outData));
    } else {
      write(static_cast<uint16_t *>(record->outData));
    }
  }
}
