// level_build.cpp -- the 6 x 6 level builder and the loops over levels around it.
//
// One template does the work for every format that uses the 6 x 6 kernel; a small traits struct
// per format says how a pixel unpacks into channel sums and how the sums are normalised, clamped
// and packed back. For a destination pixel whose 6 x 6 source window lies inside one tile (the
// common case) the window is read straight from that tile; near the level's edges and across
// tile borders every tap is clamped into the level and looked up by itself. Both paths visit the
// taps in the same order (rows top to bottom, columns left to right, the four zero corners
// skipped), so the float formats round the same way in both.
#include "imagestore/level_build.h"

#include <emmintrin.h>

#include <cstring>

#include "imagestore/tile_access.h"

using tile_access::Clamp;
using tile_access::Load;
using tile_access::PixelAddress;
using tile_access::Store;

namespace {

constexpr int32_t kBuildKernel[6][6] = {
    {0, 1, 4, 4, 1, 0},      {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
    {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0},
};

// 1/1630 for integer formats (the deliberate lift), 1/1640 for float formats.
constexpr float kIntegerNorm = 0.00061349693f;
constexpr float kFloatNorm = 0.0006097561f;

// Integer sum -> normalised value clamped to 0..top, truncated.
inline int32_t NormaliseInteger(int32_t sum, float top) {
  float v = float(sum) * kIntegerNorm;
  if (v > top) v = top;
  return v > 0.0f ? int32_t(v) : 0;
}

inline float NormaliseFloat(float sum) {
  float v = sum * kFloatNorm;
  if (v < 0.0f) v = 0.0f;
  if (v > 65535.0f) v = 65535.0f;
  return v;
}

struct Gray8Traits {
  static constexpr uint32_t kBytes = 1;
  static constexpr int kChannels = 1;
  using Acc = int32_t;
  static void Add(Acc *sum, const uint8_t *p, int32_t w) { sum[0] += w * p[0]; }
  static void Put(uint8_t *p, const Acc *sum) { p[0] = uint8_t(NormaliseInteger(sum[0], 255.0f)); }
};

struct Gray16Traits {
  static constexpr uint32_t kBytes = 2;
  static constexpr int kChannels = 1;
  using Acc = int32_t;
  static void Add(Acc *sum, const uint8_t *p, int32_t w) { sum[0] += w * Load<uint16_t>(p); }
  static void Put(uint8_t *p, const Acc *sum) {
    Store<uint16_t>(p, uint16_t(NormaliseInteger(sum[0], 32768.0f)));
  }
};

struct Packed8Traits {
  static constexpr uint32_t kBytes = 4;
  static constexpr int kChannels = 4;
  using Acc = int32_t;
  static void Add(Acc *sum, const uint8_t *p, int32_t w) {
    uint32_t word = Load<uint32_t>(p);
    sum[0] += w * int32_t(word >> 24);
    sum[1] += w * int32_t((word >> 16) & 255);
    sum[2] += w * int32_t((word >> 8) & 255);
    sum[3] += w * int32_t(word & 255);
  }
  static void Put(uint8_t *p, const Acc *sum) {
    uint32_t word = uint32_t(NormaliseInteger(sum[0], 255.0f)) << 24 |
                    uint32_t(NormaliseInteger(sum[1], 255.0f)) << 16 |
                    uint32_t(NormaliseInteger(sum[2], 255.0f)) << 8 |
                    uint32_t(NormaliseInteger(sum[3], 255.0f));
    Store<uint32_t>(p, word);
  }
};

struct Rgba16Traits {
  static constexpr uint32_t kBytes = 8;
  static constexpr int kChannels = 4;
  using Acc = int32_t;
  static void Add(Acc *sum, const uint8_t *p, int32_t w) {
    for (int c = 0; c < 4; ++c) sum[c] += w * Load<uint16_t>(p + 2 * c);
  }
  static void Put(uint8_t *p, const Acc *sum) {
    for (int c = 0; c < 4; ++c) Store<uint16_t>(p + 2 * c, uint16_t(NormaliseInteger(sum[c], 32768.0f)));
  }
};

struct RgbaF32Traits {
  static constexpr uint32_t kBytes = 16;
  static constexpr int kChannels = 4;
  using Acc = float;
  static void Add(Acc *sum, const uint8_t *p, int32_t w) {
    for (int c = 0; c < 4; ++c) sum[c] = sum[c] + float(w) * Load<float>(p + 4 * c);
  }
  static void Put(uint8_t *p, const Acc *sum) {
    for (int c = 0; c < 4; ++c) Store<float>(p + 4 * c, NormaliseFloat(sum[c]));
  }
};

struct F32Traits {
  static constexpr uint32_t kBytes = 4;
  static constexpr int kChannels = 1;
  using Acc = float;
  static void Add(Acc *sum, const uint8_t *p, int32_t w) { sum[0] = sum[0] + float(w) * Load<float>(p); }
  static void Put(uint8_t *p, const Acc *sum) { Store<float>(p, NormaliseFloat(sum[0])); }
};

template <class T>
void BuildWithKernel(TiledMipImage *image, int32_t n, const Rect16 &rect) {
  const int32_t maxX = image->levelMaxX[n], maxY = image->levelMaxY[n];
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    const int32_t sy0 = 2 * y - 2;
    for (int32_t x = rect.left; x < rect.right; ++x) {
      const int32_t sx0 = 2 * x - 2;
      typename T::Acc sum[T::kChannels] = {};
      const bool oneTile = sx0 >= 0 && sx0 + 5 <= maxX && sy0 >= 0 && sy0 + 5 <= maxY &&
                           (sx0 & kTileMask) <= kTileSize - 6 && (sy0 & kTileMask) <= kTileSize - 6;
      if (oneTile) {
        const uint8_t *base = PixelAddress(image, n, sx0, sy0, T::kBytes);
        const size_t stride = size_t(tile_access::TileAt(image, n, sx0, sy0).width) * T::kBytes;
        for (int j = 0; j < 6; ++j) {
          const uint8_t *row = base + j * stride;
          for (int i = 0; i < 6; ++i) {
            if (kBuildKernel[j][i] != 0) T::Add(sum, row + i * T::kBytes, kBuildKernel[j][i]);
          }
        }
      } else {
        for (int j = 0; j < 6; ++j) {
          const int32_t sy = Clamp(sy0 + j, 0, maxY);
          for (int i = 0; i < 6; ++i) {
            if (kBuildKernel[j][i] == 0) continue;
            const int32_t sx = Clamp(sx0 + i, 0, maxX);
            T::Add(sum, PixelAddress(image, n, sx, sy, T::kBytes), kBuildKernel[j][i]);
          }
        }
      }
      T::Put(PixelAddress(image, n + 1, x, y, T::kBytes), sum);
    }
  }
}

// Four neighbouring pixels of a one-channel 8-bit level from the 6 x 12 source pixels at `src`
// (rows `stride` bytes apart), the first window's top-left corner. The kernel's rows are
// multiples of two row vectors, a = 0 1 4 4 1 0 (rows 0 and 5) and b = 1 16 64 64 16 1 (rows
// 1 and 4, and 4 b for rows 2 and 3), so each column is first folded into t = r0 + r5 and
// s = r1 + r4 + 4 (r2 + r3), at most 2550; a pixel is then a over t plus b over s, six columns
// taken as three pairs, which is what a multiply-add of 16-bit pairs into 32-bit sums does. The
// sums are integers below 2^24 and so are exact in any order: the result is the scalar
// builder's, the same normalisation in the same float operations included.
inline void BuildGray8Four(const uint8_t *src, size_t stride, uint8_t *out) {
  const __m128i zero = _mm_setzero_si128();
  __m128i lo[6], hi[6];   // columns 0..7 and 8..11 of each row, as 16-bit lanes
  for (int j = 0; j < 6; ++j) {
    const uint8_t *row = src + size_t(j) * stride;
    int32_t tail;
    std::memcpy(&tail, row + 8, 4);
    lo[j] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(row)), zero);
    hi[j] = _mm_unpacklo_epi8(_mm_cvtsi32_si128(tail), zero);
  }
  const __m128i sLo = _mm_add_epi16(_mm_add_epi16(lo[1], lo[4]), _mm_slli_epi16(_mm_add_epi16(lo[2], lo[3]), 2));
  const __m128i sHi = _mm_add_epi16(_mm_add_epi16(hi[1], hi[4]), _mm_slli_epi16(_mm_add_epi16(hi[2], hi[3]), 2));
  const __m128i tLo = _mm_add_epi16(lo[0], lo[5]);
  const __m128i tHi = _mm_add_epi16(hi[0], hi[5]);
  // Columns 2..9 and 4..11: the second and third pairs of each pixel's window.
  const __m128i s2 = _mm_or_si128(_mm_srli_si128(sLo, 4), _mm_slli_si128(sHi, 12));
  const __m128i s4 = _mm_or_si128(_mm_srli_si128(sLo, 8), _mm_slli_si128(sHi, 8));
  const __m128i t2 = _mm_or_si128(_mm_srli_si128(tLo, 4), _mm_slli_si128(tHi, 12));
  const __m128i t4 = _mm_or_si128(_mm_srli_si128(tLo, 8), _mm_slli_si128(tHi, 8));
  __m128i sum = _mm_madd_epi16(sLo, _mm_set1_epi32(1 | 16 << 16));
  sum = _mm_add_epi32(sum, _mm_madd_epi16(s2, _mm_set1_epi32(64 | 64 << 16)));
  sum = _mm_add_epi32(sum, _mm_madd_epi16(s4, _mm_set1_epi32(16 | 1 << 16)));
  sum = _mm_add_epi32(sum, _mm_madd_epi16(tLo, _mm_set1_epi32(0 | 1 << 16)));
  sum = _mm_add_epi32(sum, _mm_madd_epi16(t2, _mm_set1_epi32(4 | 4 << 16)));
  sum = _mm_add_epi32(sum, _mm_madd_epi16(t4, _mm_set1_epi32(1 | 0 << 16)));
  // NormaliseInteger on four lanes: the sums are never negative, so the truncation of the
  // clamped value is the whole of its "above zero" test.
  __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(kIntegerNorm));
  v = _mm_min_ps(v, _mm_set1_ps(255.0f));
  const __m128i words = _mm_packs_epi32(_mm_cvttps_epi32(v), zero);
  const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, zero));
  std::memcpy(out, &bytes, 4);
}

// One-channel 8-bit levels (the texture maps and the clouds), the common case taken in runs:
// along a destination row, the pixels whose 6 x 6 windows lie inside one source tile are read
// straight from the tile's rows, without a tile lookup per pixel, four at a time. Every other
// pixel goes through the general builder.
void BuildGray8(TiledMipImage *image, int32_t n, const Rect16 &rect) {
  const int32_t maxX = image->levelMaxX[n], maxY = image->levelMaxY[n];
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    const int32_t sy0 = 2 * y - 2;
    const bool rowsInOneTile = sy0 >= 0 && sy0 + 5 <= maxY && (sy0 & kTileMask) <= kTileSize - 6;
    int32_t x = rect.left;
    while (x < rect.right) {
      const int32_t sx0 = 2 * x - 2;
      if (!rowsInOneTile || sx0 < 0 || sx0 + 5 > maxX || (sx0 & kTileMask) > kTileSize - 6) {
        BuildWithKernel<Gray8Traits>(image, n, Rect16{int16_t(y), int16_t(x), int16_t(y + 1), int16_t(x + 1)});
        ++x;
        continue;
      }
      // The run ends where a window would leave the source tile or the level, where the
      // destination tile ends, or at the rectangle's edge.
      int32_t lastSx0 = (sx0 & ~kTileMask) + kTileSize - 6;
      if (lastSx0 > maxX - 5) lastSx0 = maxX - 5;
      int32_t end = (lastSx0 + 2) / 2 + 1;
      const int32_t tileEnd = ((x >> kTileShift) + 1) << kTileShift;
      if (end > tileEnd) end = tileEnd;
      if (end > rect.right) end = rect.right;
      const size_t stride = size_t(tile_access::TileAt(image, n, sx0, sy0).width);
      const uint8_t *r0 = PixelAddress(image, n, sx0, sy0, 1);
      uint8_t *out = PixelAddress(image, n + 1, x, y, 1);
      const int32_t count = end - x;
      int32_t k = 0;
      for (; k + 4 <= count; k += 4) BuildGray8Four(r0 + size_t(2 * k), stride, out + k);
      for (; k < count; ++k) {
        int32_t sum = 0;
        for (int j = 0; j < 6; ++j) {
          const uint8_t *row = r0 + size_t(j) * stride + size_t(2 * k);
          for (int i = 0; i < 6; ++i) sum += kBuildKernel[j][i] * row[i];
        }
        out[k] = uint8_t(NormaliseInteger(sum, 255.0f));
      }
      x = end;
    }
  }
}

// Format 7: a 2 x 2 box; the two slopes are summed and halved (a level further out sees slopes
// twice as steep per pixel), the third channel is averaged.
void BuildSlopeLevel2x2(TiledMipImage *image, int32_t n, const Rect16 &rect) {
  const int32_t maxX = image->levelMaxX[n], maxY = image->levelMaxY[n];
  for (int32_t y = rect.top; y < rect.bottom; ++y) {
    for (int32_t x = rect.left; x < rect.right; ++x) {
      int32_t sum[3] = {0, 0, 0};
      for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
          const uint8_t *p = PixelAddress(image, n, Clamp(2 * x + i, 0, maxX), Clamp(2 * y + j, 0, maxY), 6);
          for (int c = 0; c < 3; ++c) sum[c] += Load<int16_t>(p + 2 * c);
        }
      }
      const int32_t value[3] = {sum[0] / 2, sum[1] / 2, sum[2] / 4};
      uint8_t *q = PixelAddress(image, n + 1, x, y, 6);
      for (int c = 0; c < 3; ++c) Store<int16_t>(q + 2 * c, int16_t(Clamp(value[c], -32767, 32767)));
    }
  }
}

}  // namespace

void BuildNextLevel(TiledMipImage *image, int32_t n, Rect16 *rect) {
  if (image == nullptr || n < 0 || n + 1 > image->coarsestLevel) return;
  const int32_t width = image->levelWidth[n + 1], height = image->levelHeight[n + 1];
  if (rect->left < 0) rect->left = 0;
  if (rect->top < 0) rect->top = 0;
  if (rect->right > width) rect->right = int16_t(width);
  if (rect->bottom > height) rect->bottom = int16_t(height);
  if (image->tiles == nullptr || rect->left >= rect->right || rect->top >= rect->bottom) return;
  // Levels are built after level 0 was written: whatever source the pixels were marked with,
  // they may no longer be its.
  DropImageContentMark(image);

  if (image->bytesPerPixel == 1) {
    BuildGray8(image, n, *rect);
    return;
  }
  switch (image->storageFormat) {
    case kFormatGray16:
      BuildWithKernel<Gray16Traits>(image, n, *rect);
      break;
    case kFormatPacked8:
      BuildWithKernel<Packed8Traits>(image, n, *rect);
      break;
    case kFormatRgba16:
      BuildWithKernel<Rgba16Traits>(image, n, *rect);
      break;
    case kFormatRgbaF32:
      BuildWithKernel<RgbaF32Traits>(image, n, *rect);
      break;
    case kFormatScalar32:
      BuildWithKernel<F32Traits>(image, n, *rect);
      break;
    case kFormatSlope16:
      BuildSlopeLevel2x2(image, n, *rect);
      break;
    default:  // format 2 has no levels of its own
      break;
  }
}

void RebuildAllLevels(TiledMipImage *image) {
  if (image == nullptr || image->tiles == nullptr || image->wrapSetting == -1) return;
  for (int32_t n = 0; n < image->coarsestLevel; ++n) {
    Rect16 rect = {0, 0, int16_t(image->levelHeight[n + 1]), int16_t(image->levelWidth[n + 1])};
    BuildNextLevel(image, n, &rect);
  }
  image->levelState = 2;
}

void RebuildLevelsInRect(TiledMipImage *image, const Rect16 *rect, int32_t from, int32_t to) {
  if (image == nullptr || image->tiles == nullptr || image->wrapSetting == -1) return;
  const int32_t coarsest = image->coarsestLevel;
  if (from >= coarsest) return;
  if (from < 0) from = 0;
  to = Clamp(to, from + 1, coarsest);
  Rect16 r = *rect;
  for (int32_t l = from; l < to; ++l) {
    int32_t left = r.left / 2 - 2, top = r.top / 2 - 2;
    int32_t right = r.right / 2 + 2, bottom = r.bottom / 2 + 2;
    r.left = int16_t(left > 0 ? left : 0);
    r.top = int16_t(top > 0 ? top : 0);
    r.right = int16_t(right < image->levelWidth[l + 1] ? right : image->levelWidth[l + 1]);
    r.bottom = int16_t(bottom < image->levelHeight[l + 1] ? bottom : image->levelHeight[l + 1]);
    BuildNextLevel(image, l, &r);
  }
  image->levelState = 3;
}
