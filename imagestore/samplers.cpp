// samplers.cpp -- the 5 x 5 filtered samplers and the trilinear samplers over them.
//
// A filtered sample is done in two steps. PlaceWindow finds the 25 source pixels: straight from
// one tile when the whole window lies inside it (all but about 4 of every 512 positions in each
// direction), otherwise tap by tap with the edge rule. Then one small routine per pixel kind
// weights them in that kind's arithmetic: integers with the x2048 weights for 8-bit pixels,
// integers with the x32768 weights for 16-bit pixels, floats for float pixels. Grey samples, the
// renderer's commonest (every crater decal takes two), skip the table of 25 pointers: FilterGray8
// reads the window's five rows straight from the tile and sums them in SSE2 integer lanes.
//
// The other integer sums are formed in 64 bits. For pixels within their formats' ranges (0..255,
// 0..32768) they never leave 32 bits, so the results are those of 32-bit arithmetic (a grey pixel
// cannot leave its range, which is what lets its sums run in 32-bit lanes); but a 16-bit channel
// may hold up to 65535, and its row sums would not fit.
#include "imagestore/samplers.h"

#include <emmintrin.h>

#include <cmath>

#include "imagestore/kernel_table.h"
#include "imagestore/tile_access.h"

using tile_access::Clamp;
using tile_access::Load;
using tile_access::PixelAddress;

namespace {

// The 25 source pixels of one filtered sample and the weights' phases.
struct Window {
  const uint8_t *pixel[5][5];  // [row j][column k], j and k from the top left
  int32_t phaseX, phaseY;
  const ResampleKernelTable *table;
};

// Positions beyond 3 pixels outside the level sample only edge pixels under the clamping rule;
// under a wrapping rule they are kept, up to where a float has no fraction left.
constexpr float kWrapLimit = 16777216.0f;

// Whole pixel and phase of one coordinate: i = floor(x + 0.5), phase = trunc(fraction x 128).
[[gnu::always_inline]] inline void PlaceCoordinate(float x, int32_t size, bool wrapping, int32_t *whole,
                                                 int32_t *phase) {
  if (x != x) x = 0.0f;
  float xf = float(double(x) + 0.5);
  const float lo = wrapping ? -kWrapLimit : -3.0f;
  const float hi = wrapping ? kWrapLimit : float(size) + 3.0f;
  if (xf < lo) xf = lo;
  if (xf > hi) xf = hi;
  // xf lies within 2^24 of 0 here, so it converts to an integer exactly and the whole number
  // below it is exact in float too (NaN became 0 above).
  const int32_t truncated = int32_t(xf);
  const int32_t below = float(truncated) > xf ? truncated - 1 : truncated;
  const float floorF = float(below);
  *whole = below;
  // xf and its floor are both whole multiples of xf's last place, so the fraction is exact and
  // below 1; the guard only keeps the phase inside the table whatever the rounding.
  const int32_t p = int32_t((xf - floorF) * 128.0f);
  *phase = p < 127 ? p : 127;
}

// The five tap coordinates of one axis, around whole pixel i of a level side of `size` pixels.
void AxisTaps(int32_t i, int32_t size, bool wrap, int32_t taps[5]) {
  const int32_t last = size - 1;
  if (wrap) {
    const int32_t w = i % size;  // the remainder keeps the sign of i
    for (int k = 0; k < 5; ++k) taps[k] = w - 2 + k;
    if (taps[0] < 0) taps[0] += size;
    if (taps[1] < 0) taps[1] += size;
    if (taps[3] > last) taps[3] -= size;
    if (taps[4] > last) taps[4] -= size;
  } else {
    for (int k = 0; k < 5; ++k) taps[k] = i - 2 + k;
  }
  for (int k = 0; k < 5; ++k) taps[k] = Clamp(taps[k], 0, last);
}

// Finds the window of a sample of `level` at (x, y) for pixels of `pixelBytes` bytes. False when
// the image cannot be sampled this way (no tiles, no such level, another pixel size).
bool PlaceWindow(const TiledMipImage *image, int32_t level, float x, float y, uint32_t pixelBytes,
                 Window *window) {
  if (!tile_access::LevelUsable(image, level, pixelBytes)) return false;
  const int32_t width = image->levelWidth[level], height = image->levelHeight[level];
  const int32_t lastX = image->levelMaxX[level], lastY = image->levelMaxY[level];
  const bool wrapping = image->wrapSetting != 0;
  int32_t ix, iy;
  PlaceCoordinate(x, width, wrapping, &ix, &window->phaseX);
  PlaceCoordinate(y, height, wrapping, &iy, &window->phaseY);
  window->table = image->kernelTable ? image->kernelTable : SharedDefaultKernelTable();

  const bool inBand = ix >= 2 && ix <= lastX - 2 && iy >= 2 && iy <= lastY - 2;
  if (inBand && ((ix - 2) & kTileMask) <= kTileSize - 5 && ((iy - 2) & kTileMask) <= kTileSize - 5) {
    const uint8_t *base = PixelAddress(image, level, ix - 2, iy - 2, pixelBytes);
    const size_t stride = size_t(tile_access::TileAt(image, level, ix - 2, iy - 2).width) * pixelBytes;
    for (int j = 0; j < 5; ++j) {
      for (int k = 0; k < 5; ++k) window->pixel[j][k] = base + j * stride + k * pixelBytes;
    }
    return true;
  }

  int32_t tapX[5], tapY[5];
  AxisTaps(ix, width, wrapping && !inBand, tapX);
  AxisTaps(iy, height, wrapping && !inBand && image->wrapSetting != 2, tapY);
  for (int j = 0; j < 5; ++j) {
    for (int k = 0; k < 5; ++k) window->pixel[j][k] = PixelAddress(image, level, tapX[k], tapY[j], pixelBytes);
  }
  return true;
}

// The column and row weights of a window from one block of the table; the window's pixel k
// takes the block's tap 4 - k.
template <class W>
void WindowWeights(const W block[kKernelTaps][kKernelPhases], int32_t phaseX, int32_t phaseY, W column[5], W row[5]) {
  for (int k = 0; k < 5; ++k) {
    column[k] = block[4 - k][phaseX];
    row[k] = block[4 - k][phaseY];
  }
}

// The channels of one pixel of each kind.
inline void Channels8(const uint8_t *p, int32_t c[4]) {
  const uint32_t word = Load<uint32_t>(p);
  c[0] = int32_t(word >> 24);
  c[1] = int32_t((word >> 16) & 255);
  c[2] = int32_t((word >> 8) & 255);
  c[3] = int32_t(word & 255);
}

inline void Channels16(const uint8_t *p, int32_t c[4]) {
  for (int i = 0; i < 4; ++i) c[i] = Load<uint16_t>(p + 2 * i);
}

// Clamps the level of a trilinear sample into 0 .. coarsest - 1 (NaN counts as 0).
int32_t TrilinearLevel(const TiledMipImage *image, float level) {
  const int32_t top = image->coarsestLevel > 1 ? image->coarsestLevel - 1 : 0;
  if (!(level > 0.0f)) return 0;
  if (level >= float(top)) return top;
  return int32_t(level);
}

// Pixel position of a normalised coordinate at one level: u x size - 0.5, the product in float,
// the subtraction in double, rounded to float.
inline float LevelPosition(float u, int32_t size) { return float(double(u * float(size)) - 0.5); }

// The trilinear blend of two samples of `channels` channels.
template <int Channels, class Sampler>
void Trilinear(const TiledMipImage *image, float level, float frac, float u, float v, float out[4],
               Sampler sample) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  if (image == nullptr || image->tiles == nullptr) return;
  const int32_t l = TrilinearLevel(image, level);
  float a[4] = {0, 0, 0, 0}, b[4] = {0, 0, 0, 0};
  sample(image, l, LevelPosition(u, image->levelSampleWidth[l]), LevelPosition(v, image->levelSampleHeight[l]), a);
  if (frac == 0.0f) {
    for (int c = 0; c < Channels; ++c) out[c] = a[c];
    return;
  }
  sample(image, l + 1, LevelPosition(u, image->levelSampleWidth[l + 1]),
         LevelPosition(v, image->levelSampleHeight[l + 1]), b);
  for (int c = 0; c < Channels; ++c) out[c] = a[c] + (b[c] - a[c]) * frac;
}

// A grey sample of a level of several tiles near a seam or an edge, tap by tap.
[[gnu::noinline]] float FilterGray8ByTaps(const TiledMipImage *image, int32_t level, float x, float y,
                                          const int32_t column[5], const int32_t row[5]) {
  Window window;
  PlaceWindow(image, level, x, y, 1, &window);
  int64_t total = 0;
  for (int j = 0; j < 5; ++j) {
    int64_t sum = 0;
    for (int k = 0; k < 5; ++k) sum += int64_t(column[k]) * *window.pixel[j][k];
    total += int64_t(row[j]) * sum;
  }
  return float(total) * (1.0f / 4194304.0f);
}

// The grey window's five rows, each as the low five bytes of a register (pixel k in byte k):
// straight from a tile row, or through the edge rule's taps.
inline __m128i RowBytes(const uint8_t *p) {
  return _mm_insert_epi16(_mm_cvtsi32_si128(int32_t(Load<uint32_t>(p))), p[4], 2);
}

inline __m128i RowBytesAt(const uint8_t *p, const int32_t tap[5]) {
  const uint32_t low = uint32_t(p[tap[0]]) | uint32_t(p[tap[1]]) << 8 | uint32_t(p[tap[2]]) << 16 |
                       uint32_t(p[tap[3]]) << 24;
  return _mm_insert_epi16(_mm_cvtsi32_si128(int32_t(low)), p[tap[4]], 2);
}

// The weights of a grey window in the lanes GrayWindowSum wants them, straight from the
// phase-major copy of the table (GrayKernelPhase says how they lie).
struct GrayWeights {
  __m128i rows01, rows23, rows4, columns, oddColumns, column4;
};

inline GrayWeights GrayWindowWeights(const GrayKernelPhase *phases, int32_t phaseX, int32_t phaseY) {
  const GrayKernelPhase &x = phases[phaseX], &y = phases[phaseY];
  GrayWeights w;
  w.rows01 = _mm_load_si128(reinterpret_cast<const __m128i *>(y.rows01));
  w.rows23 = _mm_load_si128(reinterpret_cast<const __m128i *>(y.rows23));
  w.rows4 = _mm_load_si128(reinterpret_cast<const __m128i *>(y.rows4));
  w.columns = _mm_load_si128(reinterpret_cast<const __m128i *>(x.columns));
  w.oddColumns = _mm_load_si128(reinterpret_cast<const __m128i *>(x.oddColumns));
  w.column4 = _mm_load_si128(reinterpret_cast<const __m128i *>(x.column4));
  return w;
}

// The weighted sum of a grey window, sum over j, k of row[j] column[k] pixel[j][k], with SSE2
// integer operations.
//
// The rows are taken in pairs: interleaving the bytes of rows j and j + 1 puts each column's two
// pixels side by side, so one multiply-add of 16-bit lanes against (row[j], row[j + 1]) gives
// four columns' partial sums down the window at once. The column sums (at most 255 times the
// row weights' magnitudes, about 2^20) are then weighted by the column weights in 32-bit lanes.
// Every partial sum is an integer no larger in magnitude than the whole sum with the weights'
// magnitudes, which the kernel table keeps below 2^31 (its test says so), and integer sums are
// exact in any order: the result is the row-by-row sum's, bit for bit. The multiplies keep only
// the low 32 bits of each product, which are the signed product's.
//
// GrayWindowHalves leaves the sum in two pieces, in lanes 0 and 2, which GrayWindowSum adds.
inline __m128i GrayWindowHalves(const GrayWeights &w, __m128i r0, __m128i r1, __m128i r2, __m128i r3,
                                __m128i r4) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w01 = w.rows01, w23 = w.rows23, w4 = w.rows4;
  const __m128i a = _mm_unpacklo_epi8(r0, r1);
  const __m128i b = _mm_unpacklo_epi8(r2, r3);
  const __m128i c = _mm_unpacklo_epi8(r4, zero);
  // Columns 0-3 down the window, and column 4 in the first lane of `down4`.
  const __m128i down = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(a, zero), w01),
                                                   _mm_madd_epi16(_mm_unpacklo_epi8(b, zero), w23)),
                                     _mm_madd_epi16(_mm_unpacklo_epi8(c, zero), w4));
  const __m128i down4 = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi8(a, zero), w01),
                                                    _mm_madd_epi16(_mm_unpackhi_epi8(b, zero), w23)),
                                      _mm_madd_epi16(_mm_unpackhi_epi8(c, zero), w4));
  const __m128i even = _mm_mul_epu32(down, w.columns);
  const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(down, 32), w.oddColumns);
  const __m128i last = _mm_mul_epu32(down4, w.column4);
  return _mm_add_epi32(_mm_add_epi32(even, odd), last);
}

inline int32_t GrayWindowSum(const GrayWeights &w, __m128i r0, __m128i r1, __m128i r2, __m128i r3, __m128i r4) {
  const __m128i sum = GrayWindowHalves(w, r0, r1, r2, r3, r4);
  return _mm_cvtsi128_si32(_mm_add_epi32(sum, _mm_unpackhi_epi64(sum, sum)));
}

// The samples of two windows from their GrayWindowHalves h0 and h1, in lanes 0 and 1: each sum
// completed as GrayWindowSum completes it, then converted (to nearest, as the scalar conversion)
// and scaled as GrayWindowAt does, in lanes.
inline __m128 GrayWindowSamples(__m128i h0, __m128i h1) {
  const __m128i sums = _mm_add_epi32(_mm_unpacklo_epi32(h0, h1), _mm_unpackhi_epi32(h0, h1));
  return _mm_mul_ps(_mm_cvtepi32_ps(sums), _mm_set1_ps(1.0f / 4194304.0f));
}

// A grey sample whose window is not inside one tile: through the edge rule's taps when the level
// is a single tile (every crater texture level, whose coarse levels are all edge), else pixel by
// pixel as the other formats are.
[[gnu::noinline]] float FilterGray8AtEdge(const TiledMipImage *image, int32_t level, float x, float y, int32_t ix,
                                          int32_t iy, int32_t phaseX, int32_t phaseY, bool inBand) {
  const ResampleKernelTable *table = image->kernelTable ? image->kernelTable : SharedDefaultKernelTable();
  if (image->levelFirstTile[level] != image->levelLastTile[level]) {
    int32_t column[5], row[5];
    WindowWeights(table->weight2048, phaseX, phaseY, column, row);
    return FilterGray8ByTaps(image, level, x, y, column, row);
  }
  const bool wrapping = image->wrapSetting != 0;
  const ImageTile &tile = image->tiles[image->levelFirstTile[level]];
  if (!wrapping) {
    // The clamping rule (every image the program makes): the small levels of a texture are
    // nearly all edge. Each tap is clamped into the level on its own, and when the columns all
    // lie inside, each clamped row is read straight.
    const int32_t lastX = image->levelWidth[level] - 1, lastY = image->levelHeight[level] - 1;
    const uint8_t *rows[5];
    for (int j = 0; j < 5; ++j) rows[j] = tile.pixels + size_t(Clamp(iy - 2 + j, 0, lastY)) * size_t(tile.width);
    const GrayWeights w = GrayWindowWeights(GrayKernelPhases(), phaseX, phaseY);
    int32_t total;
    if (ix >= 2 && ix <= lastX - 2) {
      total = GrayWindowSum(w, RowBytes(rows[0] + ix - 2), RowBytes(rows[1] + ix - 2), RowBytes(rows[2] + ix - 2),
                            RowBytes(rows[3] + ix - 2), RowBytes(rows[4] + ix - 2));
    } else {
      int32_t tapX[5];
      for (int k = 0; k < 5; ++k) tapX[k] = Clamp(ix - 2 + k, 0, lastX);
      total = GrayWindowSum(w, RowBytesAt(rows[0], tapX), RowBytesAt(rows[1], tapX), RowBytesAt(rows[2], tapX),
                            RowBytesAt(rows[3], tapX), RowBytesAt(rows[4], tapX));
    }
    return float(total) * (1.0f / 4194304.0f);
  }
  int32_t tapX[5], tapY[5];
  AxisTaps(ix, image->levelWidth[level], wrapping && !inBand, tapX);
  AxisTaps(iy, image->levelHeight[level], wrapping && !inBand && image->wrapSetting != 2, tapY);
  const uint8_t *p = tile.pixels;
  const size_t stride = size_t(tile.width);
  const int32_t total = GrayWindowSum(
      GrayWindowWeights(GrayKernelPhases(), phaseX, phaseY), RowBytesAt(p + size_t(tapY[0]) * stride, tapX),
      RowBytesAt(p + size_t(tapY[1]) * stride, tapX), RowBytesAt(p + size_t(tapY[2]) * stride, tapX),
      RowBytesAt(p + size_t(tapY[3]) * stride, tapX), RowBytesAt(p + size_t(tapY[4]) * stride, tapX));
  return float(total) * (1.0f / 4194304.0f);
}


// Row j of a window inside a tile as eight bytes, the window's five in bytes 0-4: the three past
// them lie in row j + 1 of the same tile (the window has rows below row j), and GrayWindowSum
// weights them by the zero lanes of the column weights. One load where RowBytes takes four
// instructions. Nothing need follow the window's last row, so RowBytesLast reads the eight bytes
// that end with its fifth (the first three in the row above, inside the tile too) and shifts the
// three out, leaving zeros above the five.
inline __m128i RowBytesAbove(const uint8_t *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }

inline __m128i RowBytesLast(const uint8_t *p) {
  return _mm_srli_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p - 3)), 24);
}

// The filtered grey sample of a window that lies inside one tile and inside the band of its
// level (GrayWindowAt's test): whole pixel (ix, iy) and phases of a position of `level`.
// GrayHalvesInTile leaves the sum in GrayWindowHalves' two pieces.
[[gnu::always_inline]] inline __m128i GrayHalvesInTile(const TiledMipImage *image, int32_t level, int32_t ix,
                                                       int32_t iy, int32_t phaseX, int32_t phaseY,
                                                       const GrayKernelPhase *phases) {
  const ImageTile &tile = tile_access::TileAt(image, level, ix - 2, iy - 2);
  const size_t stride = size_t(tile.width);
  const uint8_t *p = tile.pixels + size_t((iy - 2) & kTileMask) * stride + size_t((ix - 2) & kTileMask);
  return GrayWindowHalves(GrayWindowWeights(phases, phaseX, phaseY), RowBytesAbove(p), RowBytesAbove(p + stride),
                          RowBytesAbove(p + 2 * stride), RowBytesAbove(p + 3 * stride), RowBytesLast(p + 4 * stride));
}

[[gnu::always_inline]] inline float GrayWindowInTile(const TiledMipImage *image, int32_t level, int32_t ix,
                                                     int32_t iy, int32_t phaseX, int32_t phaseY,
                                                     const GrayKernelPhase *phases) {
  const __m128i sum = GrayHalvesInTile(image, level, ix, iy, phaseX, phaseY, phases);
  return float(_mm_cvtsi128_si32(_mm_add_epi32(sum, _mm_unpackhi_epi64(sum, sum)))) * (1.0f / 4194304.0f);
}

// The filtered grey sample of a window already placed: whole pixel (ix, iy) and phases of the
// position (x, y) of `level`, as PlaceCoordinate makes them.
[[gnu::always_inline]] inline float GrayWindowAt(const TiledMipImage *image, int32_t level, float x, float y,
                                                 int32_t ix, int32_t iy, int32_t phaseX, int32_t phaseY) {
  if (!tile_access::LevelUsable(image, level, 1)) return 0.0f;
  const int32_t lastX = image->levelMaxX[level], lastY = image->levelMaxY[level];
  const bool inBand = ix >= 2 && ix <= lastX - 2 && iy >= 2 && iy <= lastY - 2;
  if (!inBand || ((ix - 2) & kTileMask) > kTileSize - 5 || ((iy - 2) & kTileMask) > kTileSize - 5) {
    return FilterGray8AtEdge(image, level, x, y, ix, iy, phaseX, phaseY, inBand);
  }
  return GrayWindowInTile(image, level, ix, iy, phaseX, phaseY, GrayKernelPhases());
}

// The filtered sample of a grey image (its format already checked): the commonest sample of a
// render, taken for every crater decal, the relief of the real moon and the real clouds. A window
// inside one tile (nearly all of them) reads its five rows straight from the tile.
[[gnu::always_inline]] inline float FilterGray8(const TiledMipImage *image, int32_t level, float x, float y) {
  if (!tile_access::LevelUsable(image, level, 1)) return 0.0f;
  const bool wrapping = image->wrapSetting != 0;
  int32_t ix, iy, phaseX, phaseY;
  PlaceCoordinate(x, image->levelWidth[level], wrapping, &ix, &phaseX);
  PlaceCoordinate(y, image->levelHeight[level], wrapping, &iy, &phaseY);
  return GrayWindowAt(image, level, x, y, ix, iy, phaseX, phaseY);
}

// The two windows of a trilinear grey sample at one point, on levels l and l + 1, in the lanes
// (x on l, y on l, x on l + 1, y on l + 1): the positions, whole pixels and phases.
struct GrayLanes {
  __m128 pos;
  __m128i whole, phase;
};

// Entries l and l + 1 of two of the image's per-level tables of x and y, in the lanes of
// GrayLanes: (x[l], y[l], x[l + 1], y[l + 1]), each table's pair in one load.
inline __m128i LevelLanes(const int32_t *x, const int32_t *y, int32_t l) {
  return _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(x + l)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(y + l)));
}

// The positions of a trilinear grey sample on levels l and l + 1 (LevelPosition) and their
// placement (PlaceCoordinate), the four coordinates in the lanes of one register. Each lane does
// the scalar's operations: a float rounding of a double sum or difference of two floats is the
// float sum or difference (a double holds more than twice a float's digits), so those are
// float operations here, as the compiler makes them in the scalar form too; the clamps are
// max and min (no NaN is left by then); the floor is the truncation, one less where that lies
// above; the phase is at most 128 before its clamp, so a 16-bit minimum does.
[[gnu::always_inline]] inline GrayLanes PlaceGrayLanes(const TiledMipImage *image, int32_t l, float u, float v) {
  const bool wrapping = image->wrapSetting != 0;
  const __m128 scale = _mm_cvtepi32_ps(LevelLanes(image->levelSampleWidth, image->levelSampleHeight, l));
  const __m128 half = _mm_set1_ps(0.5f);
  GrayLanes g;
  g.pos = _mm_sub_ps(_mm_mul_ps(_mm_setr_ps(u, v, u, v), scale), half);
  __m128 lo, hi;
  if (wrapping) {
    lo = _mm_set1_ps(-kWrapLimit);
    hi = _mm_set1_ps(kWrapLimit);
  } else {
    lo = _mm_set1_ps(-3.0f);
    hi = _mm_add_ps(_mm_cvtepi32_ps(LevelLanes(image->levelWidth, image->levelHeight, l)), _mm_set1_ps(3.0f));
  }
  const __m128 known = _mm_and_ps(g.pos, _mm_cmpord_ps(g.pos, g.pos));   // NaN counts as 0
  const __m128 xf = _mm_min_ps(_mm_max_ps(_mm_add_ps(known, half), lo), hi);
  const __m128i truncated = _mm_cvttps_epi32(xf);
  g.whole = _mm_add_epi32(truncated, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(truncated), xf)));
  const __m128i phase = _mm_cvttps_epi32(_mm_mul_ps(_mm_sub_ps(xf, _mm_cvtepi32_ps(g.whole)), _mm_set1_ps(128.0f)));
  g.phase = _mm_min_epi16(phase, _mm_set1_epi32(127));
  return g;
}

// The lanes of GrayWindowAt's straight path, whole pixels i with i - 2 inside 0 .. last - 4 of
// their level and i - 2 no further than kTileSize - 5 into its tile, as all-ones lanes; `band`
// holds the levels' last - 3 in the lanes of GrayLanes.
inline __m128i InTileLanes(__m128i whole, __m128i band) {
  const __m128i m = _mm_sub_epi32(whole, _mm_set1_epi32(2));
  const __m128i inBand = _mm_and_si128(_mm_cmpgt_epi32(m, _mm_set1_epi32(-1)), _mm_cmpgt_epi32(band, m));
  const __m128i inTile = _mm_cmplt_epi32(_mm_and_si128(m, _mm_set1_epi32(kTileMask)), _mm_set1_epi32(kTileSize - 4));
  return _mm_and_si128(inBand, inTile);
}

// The `band` of InTileLanes for levels l and l + 1, or none when the image's pixels are not single
// bytes or level l + 1 does not exist (GrayWindowAt decides those).
inline bool GrayBand(const TiledMipImage *image, int32_t l, __m128i *band) {
  if (image->bytesPerPixel != 1 || l + 1 > image->coarsestLevel) return false;
  *band = _mm_sub_epi32(LevelLanes(image->levelMaxX, image->levelMaxY, l), _mm_set1_epi32(3));
  return true;
}

// The windows of one point on levels l and l + 1 (on l alone when `both` is false), each through
// GrayWindowAt, into *a and *b.
void GrayWindowsAt(const TiledMipImage *image, int32_t l, const GrayLanes &g, bool both, float *a, float *b) {
  alignas(16) float pos[4];
  alignas(16) int32_t whole[4], phase[4];
  _mm_store_ps(pos, g.pos);
  _mm_store_si128(reinterpret_cast<__m128i *>(whole), g.whole);
  _mm_store_si128(reinterpret_cast<__m128i *>(phase), g.phase);
  *a = GrayWindowAt(image, l, pos[0], pos[1], whole[0], whole[1], phase[0], phase[1]);
  if (both) *b = GrayWindowAt(image, l + 1, pos[2], pos[3], whole[2], whole[3], phase[2], phase[3]);
}

}  // namespace

float SampleFilteredGray8(const TiledMipImage *image, int32_t level, float x, float y) {
  if (image == nullptr || image->storageFormat != kFormatGray8) return 0.0f;
  return FilterGray8(image, level, x, y);
}

void SampleFilteredRgba8(const TiledMipImage *image, int32_t level, float x, float y, float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  Window window;
  if (image == nullptr || image->storageFormat != kFormatPacked8 || !PlaceWindow(image, level, x, y, 4, &window)) {
    return;
  }
  int32_t column[5], row[5];
  WindowWeights(window.table->weight2048, window.phaseX, window.phaseY, column, row);
  int64_t total[4] = {0, 0, 0, 0};
  for (int j = 0; j < 5; ++j) {
    int64_t sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < 5; ++k) {
      int32_t p[4];
      Channels8(window.pixel[j][k], p);
      for (int c = 0; c < 4; ++c) sum[c] += int64_t(column[k]) * p[c];
    }
    for (int c = 0; c < 4; ++c) total[c] += int64_t(row[j]) * sum[c];
  }
  for (int c = 0; c < 4; ++c) out[c] = float(total[c]) * (1.0f / 4194304.0f);
}

void SampleFilteredRgba16(const TiledMipImage *image, int32_t level, float x, float y, float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  Window window;
  if (image == nullptr || image->storageFormat != kFormatRgba16 || !PlaceWindow(image, level, x, y, 8, &window)) {
    return;
  }
  int32_t column[5], row[5];
  WindowWeights(window.table->weight32768, window.phaseX, window.phaseY, column, row);
  int64_t total[4] = {0, 0, 0, 0};
  for (int j = 0; j < 5; ++j) {
    int64_t sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < 5; ++k) {
      int32_t p[4];
      Channels16(window.pixel[j][k], p);
      for (int c = 0; c < 4; ++c) sum[c] += int64_t(column[k]) * p[c];
    }
    for (int c = 0; c < 4; ++c) total[c] += int64_t(row[j]) * (sum[c] / 32768);
  }
  for (int c = 0; c < 4; ++c) out[c] = float(total[c]) * (1.0f / 32768.0f);
}

void SampleFilteredRgbaF32(const TiledMipImage *image, int32_t level, float x, float y, float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  Window window;
  if (image == nullptr || image->storageFormat != kFormatRgbaF32 || !PlaceWindow(image, level, x, y, 16, &window)) {
    return;
  }
  float column[5], row[5];
  WindowWeights(window.table->floatWeight, window.phaseX, window.phaseY, column, row);
  for (int j = 0; j < 5; ++j) {
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < 5; ++k) {
      for (int c = 0; c < 4; ++c) sum[c] = sum[c] + column[k] * Load<float>(window.pixel[j][k] + 4 * c);
    }
    for (int c = 0; c < 4; ++c) out[c] = out[c] + row[j] * sum[c];
  }
}

float SampleGrayTrilinear(const TiledMipImage *image, float level, float frac, float u, float v) {
  // Trilinear<1> with the grey sampler written in: every crater decal takes one of these samples,
  // and the two windows are placed together. When both lie inside their tiles (nearly always),
  // GrayWindowAt's checks are made for both in one test.
  if (image == nullptr || image->tiles == nullptr) return 0.0f;
  if (image->storageFormat != kFormatGray8) return frac == 0.0f ? 0.0f : 0.0f + 0.0f * frac;
  const int32_t l = TrilinearLevel(image, level);
  const GrayLanes g = PlaceGrayLanes(image, l, u, v);
  float a, b;
  __m128i band;
  if (GrayBand(image, l, &band) && _mm_movemask_epi8(InTileLanes(g.whole, band)) == 0xFFFF) {
    alignas(16) int32_t whole[4], phase[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(whole), g.whole);
    _mm_store_si128(reinterpret_cast<__m128i *>(phase), g.phase);
    const GrayKernelPhase *phases = GrayKernelPhases();
    a = GrayWindowInTile(image, l, whole[0], whole[1], phase[0], phase[1], phases);
    if (frac == 0.0f) return a;
    b = GrayWindowInTile(image, l + 1, whole[2], whole[3], phase[2], phase[3], phases);
  } else {
    GrayWindowsAt(image, l, g, frac != 0.0f, &a, &b);
    if (frac == 0.0f) return a;
  }
  return a + (b - a) * frac;
}

void SampleGrayTrilinearPair(const TiledMipImage *image, float level, float frac, float u0, float v0, float u1,
                             float v1, float out[2]) {
  // SampleGrayTrilinear twice, the set-up (checks, level, the placing constants) done once, the
  // four windows' tile checks made in one test, and the two points' windows summed side by side,
  // so that their chains overlap.
  if (image == nullptr || image->tiles == nullptr) {
    out[0] = out[1] = 0.0f;
    return;
  }
  if (image->storageFormat != kFormatGray8) {
    out[0] = out[1] = frac == 0.0f ? 0.0f : 0.0f + 0.0f * frac;
    return;
  }
  const int32_t l = TrilinearLevel(image, level);
  const GrayLanes g0 = PlaceGrayLanes(image, l, u0, v0), g1 = PlaceGrayLanes(image, l, u1, v1);
  __m128i band;
  if (GrayBand(image, l, &band) &&
      _mm_movemask_epi8(_mm_and_si128(InTileLanes(g0.whole, band), InTileLanes(g1.whole, band))) == 0xFFFF) {
    alignas(16) int32_t whole0[4], phase0[4], whole1[4], phase1[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(whole0), g0.whole);
    _mm_store_si128(reinterpret_cast<__m128i *>(phase0), g0.phase);
    _mm_store_si128(reinterpret_cast<__m128i *>(whole1), g1.whole);
    _mm_store_si128(reinterpret_cast<__m128i *>(phase1), g1.phase);
    const GrayKernelPhase *phases = GrayKernelPhases();
    // Level l's samples of both points in lanes 0 and 1, then level l + 1's, blended in lanes.
    const __m128 a = GrayWindowSamples(GrayHalvesInTile(image, l, whole0[0], whole0[1], phase0[0], phase0[1], phases),
                                       GrayHalvesInTile(image, l, whole1[0], whole1[1], phase1[0], phase1[1], phases));
    if (frac == 0.0f) {
      _mm_storel_pi(reinterpret_cast<__m64 *>(out), a);
      return;
    }
    const __m128 b =
        GrayWindowSamples(GrayHalvesInTile(image, l + 1, whole0[2], whole0[3], phase0[2], phase0[3], phases),
                          GrayHalvesInTile(image, l + 1, whole1[2], whole1[3], phase1[2], phase1[3], phases));
    _mm_storel_pi(reinterpret_cast<__m64 *>(out), _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), _mm_set1_ps(frac))));
    return;
  }
  float a0, a1, b0, b1;
  GrayWindowsAt(image, l, g0, frac != 0.0f, &a0, &b0);
  GrayWindowsAt(image, l, g1, frac != 0.0f, &a1, &b1);
  if (frac == 0.0f) {
    out[0] = a0, out[1] = a1;
    return;
  }
  out[0] = a0 + (b0 - a0) * frac;
  out[1] = a1 + (b1 - a1) * frac;
}

void SampleTrilinearRGBA8(const TiledMipImage *image, float level, float frac, float u, float v, float out[4]) {
  Trilinear<4>(image, level, frac, u, v, out, SampleFilteredRgba8);
}

void SampleTrilinearRGBA16(const TiledMipImage *image, float level, float frac, float u, float v, float out[4]) {
  Trilinear<4>(image, level, frac, u, v, out, SampleFilteredRgba16);
}

void SampleTrilinearRGBAF32(const TiledMipImage *image, float level, float frac, float u, float v, float out[4]) {
  Trilinear<4>(image, level, frac, u, v, out, SampleFilteredRgbaF32);
}

void SampleTrilinearRGBA(const TiledMipImage *image, float level, float frac, float u, float v, float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = 0.0f;
  if (image == nullptr) return;
  // A grey image is opaque whatever it holds: without tiles it samples as opaque black.
  if (image->tiles == nullptr && image->storageFormat != kFormatGray8) return;
  switch (image->storageFormat) {
    case kFormatPacked8:
      SampleTrilinearRGBA8(image, level, frac, u, v, out);
      break;
    case kFormatRgbaF32:
      SampleTrilinearRGBAF32(image, level, frac, u, v, out);
      break;
    case kFormatRgba16:
      SampleTrilinearRGBA16(image, level, frac, u, v, out);
      break;
    case kFormatGray8:
      out[0] = out[1] = out[2] = SampleGrayTrilinear(image, level, frac, u, v);
      out[3] = 255.0f;
      break;
    default:
      break;
  }
}

void SampleTrilinearRGBAScaled(const TiledMipImage *image, float level, float frac, float u, float v,
                               float out[4]) {
  SampleTrilinearRGBA(image, level, frac, u, v, out);
  if (image == nullptr) return;
  for (int c = 0; c < 4; ++c) out[c] = out[c] * image->invScale;
}
