// composite_lanes.cpp -- CompositePixelTo for a run of pixels of one row, four at a time.
//
// The common case of a render into the host's row buffer is short: the channel values, made
// from float(acc) / M and the class's scale and truncated, need no spill and no clamp when each
// lies in 0..ceiling, and alpha is then a constant of the row or the pixel's opacity. The
// conversion, the divide and the test run in SSE2 lanes with the scalar form's operations; each
// pixel whose values leave the range, and every target or mode the short road does not know,
// goes through CompositePixelTo itself, with the colour it would have been given.
#include <emmintrin.h>

#include "foundation/fast_math.h"
#include "render/composite.h"
#include "render/lanes_sse2.h"
#include "plugin/globals.h"

namespace {

int32_t ClampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The colour record ShadeOutput hands CompositePixelTo for channel values acc.
void ColourOf(const int32_t acc[3], float channelMax, float colour[4]) {
  for (int k = 0; k < 3; k++) colour[k] = float(acc[k]) / channelMax;
  colour[3] = 1.0f;
}

}  // namespace

void CompositeRunTo(const CompositeTarget *t, int32_t firstColumn, int32_t row, int32_t count,
                    const int32_t (*acc)[3], const CompositeWeights *weights, float channelMax) {
  if (!t->writable || count <= 0) return;
  const ChannelClassInfo &info = t->info;
  const uint32_t mode = t->outputMode;
  const FilterRecord *record = t->record;
  // What the short road knows: the host's row buffer in an integer class, in a mode that
  // reads no underlying pixel, every column inside the target. The row buffer holds only the
  // row being rendered, so the row number plays no part.
  const bool shortRoad = t->target == 0 && info.kind != kChannelClassFloat && !(mode == 2 && !t->transparent) &&
                         firstColumn >= 0 && count <= t->width - firstColumn;
  if (!shortRoad) {
    for (int32_t i = 0; i < count; i++) {
      float colour[4];
      ColourOf(acc[i], channelMax, colour);
      CompositePixelTo(t, firstColumn + i, row, colour, &weights[i]);
    }
    return;
  }
  // Alpha outside the composite mode: from the record's 1.0, the same for every pixel.
  const bool opaqueMode = (mode >= 3 && mode <= 11) || mode == 13 || mode == 14;
  const int32_t rowAlpha =
      opaqueMode ? info.full : ClampInt(TruncateFloatToInt32(1.0f * info.scale * 1.007f), 0, info.full);
  const bool opacityAlpha = mode == 2;   // and a transparent layer
  const int32_t count3 = t->count;
  const int32_t alphaIndex = record->outLayerPlanes;
  const bool alphaFits = t->transparent && alphaIndex >= count3 && alphaIndex < record->planes;
  const int64_t planes = record->planes;

  const __m128 divisor = _mm_set1_ps(channelMax);
  const __m128 scale = _mm_set1_ps(info.scale);
  const __m128i ceiling = _mm_set1_epi32(info.ceiling);
  for (int32_t first = 0; first < count; first += 4) {
    const int32_t live = count - first < 4 ? count - first : 4;
    // A short group repeats its first pixel in the lanes left over.
    const int32_t i1 = first + (live > 1 ? 1 : 0), i2 = first + (live > 2 ? 2 : 0), i3 = first + (live > 3 ? 3 : 0);
    alignas(16) int32_t lanes[3][4];
    int32_t outside = 0;
    for (int k = 0; k < 3; k++) {
      const __m128i v = _mm_setr_epi32(acc[first][k], acc[i1][k], acc[i2][k], acc[i3][k]);
      const __m128i c = TruncateLanes(_mm_mul_ps(_mm_div_ps(_mm_cvtepi32_ps(v), divisor), scale));
      const __m128i off = _mm_or_si128(_mm_cmpgt_epi32(c, ceiling), _mm_cmplt_epi32(c, _mm_setzero_si128()));
      outside |= _mm_movemask_ps(_mm_castsi128_ps(off));
      _mm_store_si128(reinterpret_cast<__m128i *>(lanes[k]), c);
    }
    for (int32_t k = 0; k < live; k++) {
      const int32_t i = first + k;
      const int32_t column = firstColumn + i;
      if ((outside >> k & 1) != 0) {
        float colour[4];
        ColourOf(acc[i], channelMax, colour);
        CompositePixelTo(t, column, row, colour, &weights[i]);
        continue;
      }
      int32_t c[3] = {lanes[0][k], lanes[1][k], lanes[2][k]};
      if (t->grey) {
        // No spill happened and every channel is at most the ceiling: the sum fits 32 bits.
        c[0] = (77 * c[0] + 150 * c[1] + 28 * c[2]) >> 8;
      }
      const int32_t alpha =
          opacityAlpha ? ClampInt(TruncateFloatToInt32(weights[i].opacity * info.scale), 0, info.full) : rowAlpha;
      const int64_t at = planes * column;
      if (info.kind == kChannelClass8) {
        uint8_t *out = static_cast<uint8_t *>(record->outData) + at;
        for (int32_t j = 0; j < count3; j++) out[j] = uint8_t(c[j]);
        if (alphaFits) out[alphaIndex] = uint8_t(alpha);
      } else {
        uint16_t *out = static_cast<uint16_t *>(record->outData) + at;
        for (int32_t j = 0; j < count3; j++) out[j] = uint16_t(c[j]);
        if (alphaFits) out[alphaIndex] = uint16_t(alpha);
      }
    }
  }
}
