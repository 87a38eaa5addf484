// render_setup.cpp -- PrepareRenderConstants and the storm and crater placement.
//
// Random draws. The set-up has no random generator of its own: it reads table A of the freshly
// seeded noise tables (2048 values 0..255) with a running index, entry A[i & 2047] giving one
// "random byte". Storms start reading at index 380 and craters at 425, so both depend on the
// seed and on the sliders that decide how many draws are made, and on nothing else.
//
// Storms are placed in one pass on the near half of the sphere for the globe (output modes 1 and
// 2) and in two passes, near half then far half, for the maps. A pass places storm count + 1
// storms or gives up after 41 rejections in a row; a draw is rejected toward the poles (with a
// probability that grows with |y|) and where it would overlap a storm already placed. The
// table holds 200 storms; placement stops there whatever the storm count asks.
//
// Craters are square slabs on the sphere given by two tangent axes; a new crater is rejected when
// its centre lies too close to one already placed, the spacing shrinking as the crater count
// grows. Placement ends after crater count + 1 records (at most 100) or 151 rejections in a row.
#include "render/render_setup.h"

#include <emmintrin.h>

#include <cmath>
#include <initializer_list>

#include "files/image_load.h"
#include "foundation/colour.h"
#include "foundation/fast_math.h"
#include "foundation/vector_math.h"
#include "imagestore/kernel_table.h"
#include "imagestore/image_store.h"
#include "plugin/globals.h"
#include "foundation/exact_math.h"
#include "render/frame_routines.h"
#include "render/noise.h"

static_assert(kMaxImageLevelsForRender == kMaxImageLevels, "one crater flat radius per mip level");

namespace {

constexpr uint32_t kStormFirstIndex = 380;
constexpr uint32_t kCraterFirstIndex = 425;
constexpr int32_t kStormRejectLimit = 41;
constexpr int32_t kCraterRejectLimit = 151;
constexpr int32_t kUnitVectorAttempts = 30;   // the attempt counter grows by 2: 16 draws

// The low byte of table A at the running index, which then advances by 1.
uint32_t NextTableByte(const PluginGlobals *globals, uint32_t *index) {
  const uint32_t b = globals->runState->noiseTables.A[*index & kNoiseSeedTableMask] & 255u;
  *index += 1;
  return b;
}

// A byte mapped to -1..1.
float ByteToSigned(uint32_t b) { return float(b) * 2.0f / 255.0f - 1.0f; }

// A zoom divisor that can be divided by.
int32_t SafeZoomDivisor(const ParameterBlock *p) {
  return p->zoomDivisor == 0 ? 1 : int32_t(p->zoomDivisor > 0x7FFFFFFFu ? 0x7FFFFFFFu : p->zoomDivisor);
}

// 255 for 8-bit grey or RGB host images, 32768 for everything else.
float ChannelMaximum(const FilterRecord *record) {
  const bool eightBit = (record->imageMode == kModeGrayScale || record->imageMode == kModeRGB) && record->depth < 9;
  return eightBit ? 255.0f : 32768.0f;
}

// The whole degrees of direction (x, y) as seen on a 33-unit circle, turned by 270 degrees, and
// the length of (x, y).
void DirectionAzimuth(const float v[3], int32_t *azimuth, float *tilt) {
  static const Rect16 kCircle = {-33, -33, 33, 33};
  HostPoint point;
  // trunc(33 x), pinned into the 16-bit point (only unchecked values get near the pin).
  int32_t h = TruncateToInt32(33.0f * v[0]);
  int32_t vv = TruncateToInt32(33.0f * v[1]);
  point.h = int16_t(h < -32768 ? -32768 : (h > 32767 ? 32767 : h));
  point.v = int16_t(vv < -32768 ? -32768 : (vv > 32767 ? 32767 : vv));
  int32_t angle = 0;
  RectCenterAngle(&kCircle, point, &angle);
  *azimuth = (angle + 270) % 360;
  *tilt = sqrtf(v[0] * v[0] + v[1] * v[1]);
}

// Distance between two storm centres.
float StormDistance(const StormTable &s, int32_t k, float x, float y, float z) {
  const float dx = s.centreX[k] - x, dy = s.centreY[k] - y, dz = s.centreZ[k] - z;
  return sqrtf(dx * dx + dy * dy + dz * dz);
}

// The sea colours: the shallow sea is the block's colour, the deep sea the same colour turned
// 0.06 further round the hue circle and 10 per cent darker.
void SetSeaColours(PluginGlobals *globals, const ParameterBlock *p, float channelMaximum) {
  RunState *run = globals->runState;
  const float r = float(p->seaColor.red >> 8) / 256.0f;
  const float g = float(p->seaColor.green >> 8) / 256.0f;
  const float b = float(p->seaColor.blue >> 8) / 256.0f;
  float h, s, l;
  RgbToHsl(r, g, b, &h, &s, &l);
  h += 0.06f;
  if (h > 1.0f) h -= 1.0f;
  if (h < 0.0f) h += 1.0f;
  l *= 0.9f;
  float dr, dg, db;
  HslToRgb(h, s, l, &dr, &dg, &db);
  run->shallowSeaColour[0] = channelMaximum * r;
  run->shallowSeaColour[1] = channelMaximum * g;
  run->shallowSeaColour[2] = channelMaximum * b;
  run->deepSeaColour[0] = channelMaximum * dr;
  run->deepSeaColour[1] = channelMaximum * dg;
  run->deepSeaColour[2] = channelMaximum * db;
}

// Every record the row buffer holds gets the missing-corner mark in its two shared fields, so
// that the first row of a render finds no stale corner whatever width the buffer was used at.
void MarkRowBuffer(PluginGlobals *globals) {
  float *records = static_cast<float *>(globals->buffers[kBufferRow]);
  const int32_t count = globals->bufferSizes[kRowBufferSizeIndex] / kRowBufferBytesPerColumn;
  for (int32_t k = 0; k < count; k++) {
    records[k * kPixelRecordFloats + kRecordPrevHeight] = -2.0f;
    records[k * kPixelRecordFloats + kRecordPrevIce] = -2.0f;
  }
}

// Steps 14 and 15: the cloud octave counts and the cloud and air factors.
void SetCloudFactors(PluginGlobals *globals, const ParameterBlock *p, int32_t filterWidth, int32_t filterHeight) {
  RunState *run = globals->runState;
  const int32_t size = PixelSizeFromPercent(p->planetSize, filterWidth, filterHeight) / SafeZoomDivisor(p);
  const float r = float(size) - 0.5f;
  float log2Radius = float(ExactLog(double(r)) / ExactLog(2.0));
  if (IsNanFloat(log2Radius)) log2Radius = 1.0f;
  run->cloudLog2Radius = log2Radius;

  // Viscosity 0..100 gives 7..0 base octaves; larger (unchecked) values count as 100.
  int32_t octaves = TruncateToInt32((1.0f - float(p->cloudViscosity) * 0.01f) * 7.0f);
  if (octaves < 0) octaves = 0;
  const int32_t radiusOctaves = TruncateToInt32(log2Radius);
  if (octaves > radiusOctaves) octaves = radiusOctaves;
  run->cloudOctaves = octaves;
  run->cloudOctavesMinusOne = octaves - 1;
  int32_t extra = TruncateToInt32(log2Radius - float(octaves));
  // A planet of 2^26 pixels needs fewer than 30; the cap only guards absurd sizes.
  if (extra > 40) extra = 40;
  run->cloudExtraOctaves = extra;
  float frequency = 1.0f;
  for (int32_t i = 0; i < octaves; i++) frequency *= 2.0987f;
  run->cloudExtraFrequency = frequency;

  run->cloudBase = float(int64_t(p->cloudCoverage) - 50) * 0.01f;
  float offset = run->cloudBase < 0.0f ? run->cloudBase : 0.0f;
  if (offset < -1000000.0f) offset = -1000000.0f;
  run->cloudImageOffset = offset;
  run->cloudEdgeGain = float(p->cloudEdges) * 0.05f;
  run->cloudShadowStrength = float(p->cloudShadows) * 0.01f;
  run->cloudShellScale = 1.0f - float(p->cloudHeight) * 0.0005f;
  run->airShellThickness = float(p->airDepth) * 0.003f;
}

// The first pixel of row[0..n) that is not neutral, n when there is none. The crater textures'
// wide neutral borders make this scan most of the set-up's work on the textures, so it compares
// sixteen pixels at a time.
int32_t FirstNonNeutral(const uint8_t *row, int32_t n) {
  const __m128i neutral = _mm_set1_epi8(char(kTextureNeutralValue));
  int32_t x = 0;
  for (; x + 16 <= n; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x));
    const uint32_t other = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, neutral))) ^ 0xFFFFu;
    if (other != 0) return x + __builtin_ctz(other);
  }
  while (x < n && row[x] == kTextureNeutralValue) x++;
  return x;
}

// The last pixel of row[0..n) that is not neutral, -1 when there is none.
int32_t LastNonNeutral(const uint8_t *row, int32_t n) {
  const __m128i neutral = _mm_set1_epi8(char(kTextureNeutralValue));
  int32_t end = n;
  for (; end >= 16; end -= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + end - 16));
    const uint32_t other = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, neutral))) ^ 0xFFFFu;
    if (other != 0) return end - 16 + (31 - __builtin_clz(other));
  }
  while (end > 0 && row[end - 1] == kTextureNeutralValue) end--;
  return end - 1;
}

}  // namespace

float StormRadius(const PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(const_cast<PluginGlobals *>(globals));
  return float(p->stormSize) * 0.01f * 0.6f;
}

float CraterRadius(const PluginGlobals *globals) {
  const ParameterBlock *p = GetParameterBlock(const_cast<PluginGlobals *>(globals));
  return float(p->craterSize) * 0.01f * 0.2f * 0.6f;
}

int32_t PixelSizeFromPercent(uint32_t percent, int32_t width, int32_t height) {
  uint64_t p = (uint64_t(percent) * uint64_t(percent)) / 10u;
  if (p > (uint64_t(1) << 40)) p = uint64_t(1) << 40;
  const int64_t side = width < height ? width : height;
  const int64_t size = side * int64_t(p) / 1000;
  if (size < 1) return 1;
  return size > kMaxPixelSize ? kMaxPixelSize : int32_t(size);
}

void RandomUnitVectorFromTable(float *x, float *y, float *z, uint32_t *index, const PluginGlobals *globals) {
  uint32_t i = *index;
  for (int32_t attempts = 0; attempts <= kUnitVectorAttempts; attempts += 2) {
    const float vx = ByteToSigned(NextTableByte(globals, &i));
    const float vy = ByteToSigned(NextTableByte(globals, &i));
    const float vz = ByteToSigned(NextTableByte(globals, &i));
    const float s = RecipSqrtF(vx * vx + vy * vy + vz * vz);
    if (s >= 1.0f) {
      *x = vx * s;
      *y = vy * s;
      *z = vz * s;
      *index = i;
      return;
    }
  }
  *x = 0.0f;
  *y = 0.0f;
  *z = 1.0f;
  *index = i;
}

void ModelAxisMatrix(const float modelAxis[3], float m[16]) {
  // modelAxis x (0, 1, 0) = (-modelAxis z, 0, modelAxis x).
  float axis[3] = {-modelAxis[2], 0.0f, modelAxis[0]};
  NormaliseVec3f(axis);
  double c = double(modelAxis[1]);
  if (!(c >= -1.0)) c = c != c ? 1.0 : -1.0;   // NaN counts as 1 (no turn)
  if (c > 1.0) c = 1.0;
  const float angle = float(ExactAcos(c));
  for (int k = 0; k < 16; k++) m[k] = 0.0f;
  ExactRotationMatrix(axis, angle, m);
}

void PlaceStorms(PluginGlobals *globals) {
  RunState *run = globals->runState;
  const ParameterBlock *p = GetParameterBlock(globals);
  StormTable &s = run->storms;
  const float stormRadius = StormRadius(globals);
  const float swirl = float(p->stormSwirl) * 0.1f;
  const int64_t wanted = int64_t(p->stormCount);
  const int32_t passes = p->outputMode < 3 ? 1 : 2;

  uint32_t index = kStormFirstIndex;
  int32_t total = 0;
  globals->stormsPlaced = 0;
  for (int32_t pass = 0; pass < passes && total < kStormCapacity; pass++) {
    int32_t placedThisPass = 0;
    int32_t rejectRun = 0;
    while (placedThisPass <= wanted && rejectRun < kStormRejectLimit && total < kStormCapacity) {
      float x, y, z;
      RandomUnitVectorFromTable(&x, &y, &z, &index, globals);
      const float strength = y < 0.0f ? -swirl : swirl;
      const float b = float(NextTableByte(globals, &index)) / 255.0f;
      const float radius = stormRadius * (2.0f - b * b);
      z = std::fabs(z);
      if (pass == 1) z = -z;
      // Fewer storms toward the poles: the whole entry at the next index decides.
      const uint32_t e = run->noiseTables.A[index & kNoiseSeedTableMask];
      index += 1;
      bool rejected = std::fabs(y) > float(e) / 255.0f * 0.85f;
      for (int32_t k = 0; k < total && !rejected; k++) {
        if (StormDistance(s, k, x, y, z) < (radius + s.radius[k]) * 0.552f) rejected = true;
      }
      if (rejected) {
        rejectRun++;
        continue;
      }
      s.centreX[total] = x;
      s.centreY[total] = y;
      s.centreZ[total] = z;
      s.radius[total] = radius;
      s.radiusSquared[total] = radius * radius;
      s.strength[total] = strength;
      total++;
      placedThisPass++;
      globals->stormsPlaced = total;
      rejectRun = 0;
    }
  }

  // Turn the storms with the planet: the model pole (0, 1, 0) goes onto modelAxis.
  float m[16];
  ModelAxisMatrix(run->modelAxis, m);
  for (int32_t k = 0; k < total; k++) {
    const float c[3] = {s.centreX[k], s.centreY[k], s.centreZ[k]};
    float turned[3];
    VectorTimesMatrix(c, m, turned);
    s.centreX[k] = turned[0];
    s.centreY[k] = turned[1];
    s.centreZ[k] = turned[2];
  }
}

void PlaceCraters(PluginGlobals *globals) {
  RunState *run = globals->runState;
  const ParameterBlock *p = GetParameterBlock(globals);
  const float craterRadius = CraterRadius(globals);
  const int64_t count = int64_t(p->craterCount);
  // The spacing factor shrinks as the count grows; beyond 100 craters nothing is rejected.
  const float spacing = float(100 - (count > 1000000 ? 1000000 : count)) * 0.005f;

  uint32_t index = kCraterFirstIndex;
  int32_t placed = 0;
  int32_t rejectRun = 0;
  globals->cratersPlaced = 0;
  while (true) {
    float u[3], w[3];
    RandomUnitVectorFromTable(&u[0], &u[1], &u[2], &index, globals);
    RandomUnitVectorFromTable(&w[0], &w[1], &w[2], &index, globals);
    float t[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    NormaliseVec3f(t);
    const float b = float(NextTableByte(globals, &index));
    const float r = craterRadius * (b / 510.0f + 0.5f) * 5.0f;

    // The crater's centre direction u x t, taken on the near half: a slab marks both ends of
    // the sphere, so two craters at opposite ends collide.
    float c[3] = {u[1] * t[2] - u[2] * t[1], u[2] * t[0] - u[0] * t[2], u[0] * t[1] - u[1] * t[0]};
    c[2] = std::fabs(c[2]);
    bool rejected = false;
    for (int32_t k = 0; k < placed && !rejected; k++) {
      const CraterRecord &old = run->craters[k];
      float o[3] = {old.u[1] * old.t[2] - old.u[2] * old.t[1], old.u[2] * old.t[0] - old.u[0] * old.t[2],
                    old.u[0] * old.t[1] - old.u[1] * old.t[0]};
      o[2] = std::fabs(o[2]);
      const float dx = c[0] - o[0], dy = c[1] - o[1], dz = c[2] - o[2];
      if (sqrtf(dx * dx + dy * dy + dz * dz) < (r + old.halfSize) * spacing) rejected = true;
    }
    if (rejected) {
      rejectRun++;
      if (placed > count || placed > kCraterCapacity - 1) break;
      if (rejectRun >= kCraterRejectLimit) break;
      continue;
    }
    CraterRecord &record = run->craters[placed];
    for (int k = 0; k < 3; k++) {
      record.u[k] = u[k];
      record.t[k] = t[k];
    }
    record.halfSize = r;
    record.invHalfSize = 1.0f / r;
    record.logHalfSize = float(ExactLog(double(r)));
    placed++;
    globals->cratersPlaced = placed;
    rejectRun = 0;
    if (placed > count || placed > kCraterCapacity - 1) break;
  }
}

// For each crater texture and each mip level L that the trilinear sampler may start from, the
// distance from the texture's centre beyond which a sample's 5 x 5 windows on levels L and L + 1
// hold only the neutral value 128. A window's pixel centres lie within 2.5 pixels of the sample
// point along each axis, so 4 pixels of the level are added to the farthest non-neutral pixel.
// A texture that did not load (it reads 0, not 128) is never skipped.
void MeasureCraterTextures(PluginGlobals *globals) {
  RunState *run = globals->runState;
  for (int32_t k = 0; k < kCraterTextureCount; k++) {
    const TiledMipImage *image = &globals->imageSet[2 + k];
    float reach[kMaxImageLevelsForRender + 1];
    for (int32_t level = 0; level <= kMaxImageLevelsForRender; level++) reach[level] = 2.0f;
    if (image->tiles != nullptr && image->storageFormat == kFormatGray8) {
      for (int32_t level = 0; level <= image->coarsestLevel && level < kMaxImageLevelsForRender; level++) {
        const float w = float(image->levelWidth[level]), h = float(image->levelHeight[level]);
        float farthest2 = -1.0f;
        // Tile by tile, row by row: the farthest non-neutral pixel of a row from the centre is
        // its leftmost or its rightmost one.
        for (int32_t t = image->levelFirstTile[level]; t <= image->levelLastTile[level]; t++) {
          const ImageTile &tile = image->tiles[t];
          if (tile.pixels == nullptr) continue;
          for (int32_t y = 0; y < tile.height; y++) {
            const uint8_t *row = tile.pixels + int64_t(y) * tile.width;
            const int32_t first = FirstNonNeutral(row, tile.width);
            if (first >= tile.width) continue;
            const int32_t last = LastNonNeutral(row, tile.width);
            const float dy = (float(tile.top + y) + 0.5f) / h - 0.5f;
            for (int32_t x : {first, last}) {
              const float dx = (float(tile.left + x) + 0.5f) / w - 0.5f;
              const float d2 = dx * dx + dy * dy;
              if (d2 > farthest2) farthest2 = d2;
            }
          }
        }
        const float margin = 4.0f / (w < h ? w : h);
        reach[level] = (farthest2 < 0.0f ? 0.0f : sqrtf(farthest2)) + margin;
      }
    }
    for (int32_t level = 0; level < kMaxImageLevelsForRender; level++) {
      run->craterFlatRadius[k][level] = std::fmax(reach[level], reach[level + 1]);
    }
  }
}

void LoadTextureMaps(PluginGlobals *globals) {
  globals->textureSize = kLunarReliefSize;
  LoadImageFromResource(&globals->imageSet[1], kLunarReliefResource, kLunarReliefSize, kLunarReliefSize, 1);
  for (int32_t k = 0; k < kCraterTextureCount; k++) {
    LoadImageFromResource(&globals->imageSet[2 + k], kCraterTextureResources[k], kCraterTextureSize,
                          kCraterTextureSize, 1);
  }
  if (globals->runState != nullptr) MeasureCraterTextures(globals);
}

int32_t PrepareRenderConstants(PluginGlobals *globals) {
  FilterRecord *record = globals->filterRecord;
  RunState *run = globals->runState;
  ParameterBlock *p = GetParameterBlock(globals);
  if (run == nullptr || p == nullptr) return 0;

  // 1-2. Channel maximum; the row buffer sized for the request. Without a row buffer of the
  //      width the set-up stops here and writes no record (GrowRowBuffer has written -128).
  const float channelMaximum = ChannelMaximum(record);
  GrowRowBuffer(globals);
  if (globals->buffers[kBufferRow] == nullptr ||
      int64_t(globals->rowBufferColumns) * kRowBufferBytesPerColumn > globals->bufferSizes[kRowBufferSizeIndex]) {
    return 0;
  }

  // 3. Noise tables; the resampling kernel table of the run's images. The city lights draw
  //    their brightness from a generator of their own, started here from the planet seed: the
  //    shared one is seeded from the clock and drawn from by the dialog and by every preview,
  //    so an export or a render from it would light other cities each time.
  SeedNoiseTables(globals, p->randomSeed);
  BuildLanczosKernelTable(&run->kernelTable);
  run->cityLightState = p->randomSeed;

  // 4. Sea level: s = (seaLevel - 50) x 0.02, signed square x 0.4, so -0.4..0.4 for 0..100.
  const float s = float(int64_t(p->seaLevel) - 50) * 0.02f;
  const float sign = s > 0.0f ? 1.0f : (s < 0.0f ? -1.0f : 0.0f);
  run->seaLevelValue = sign * (s * s) * 50.0f * 0.008f;
  run->seaLevelCopy = run->seaLevelValue;

  // 5. The missing-corner marks of the first row.
  MarkRowBuffer(globals);

  // 6-7. Sea colours; the derived directions written back into the block.
  SetSeaColours(globals, p, channelMaximum);
  DirectionAzimuth(p->axisVector, &p->axisAzimuth, &p->axisTilt);
  DirectionAzimuth(p->lightVector, &p->lightAzimuth, &p->lightTilt);

  // 8. The planet's radius in output pixels.
  const Rect16 &filter = record->filterRect;
  const int32_t filterWidth = int32_t(filter.right) - int32_t(filter.left);
  const int32_t filterHeight = int32_t(filter.bottom) - int32_t(filter.top);
  const int32_t radius = PixelSizeFromPercent(p->planetSize, filterWidth, filterHeight) / SafeZoomDivisor(p);
  globals->planetRadiusPixels = radius > 0 ? radius : 1;

  // 9. The gradient tables (after a second, identical seeding).
  SeedNoiseTables(globals, p->randomSeed);
  InitGradientTables(globals);

  // 10-13. Storms (turned onto the planet's axis), craters, the crater depth.
  run->modelAxis[0] = -p->axisVector[0];
  run->modelAxis[1] = -p->axisVector[1];
  run->modelAxis[2] = p->axisVector[2];
  PlaceStorms(globals);
  PlaceCraters(globals);
  run->craterDepthFactor = float(p->craterTexture) * 0.00004f;

  // 14-15. Cloud octaves and the cloud and air factors.
  SetCloudFactors(globals, p, filterWidth, filterHeight);

  // 16. The texture maps.
  LoadTextureMaps(globals);
  // 17. The cached clouds of the source in force for this run, else of the chosen one.
  ReadCloudCacheForIndex(globals, p->cloudImageOverride != -1 ? p->cloudImageOverride : int32_t(p->cloudImage));

  // 18. The row loop starts again at row 0.
  globals->currentRow = 0;
  globals->progressDone = 0;
  globals->runActive = 1;
  globals->moreRowsWithoutHost = 0;
  globals->maskWanted = 1;
  globals->progressTotal = globals->rectHeight + 3;
  const int32_t hook = ExtraSetupHook(globals);
  if (hook != 0) return hook;
  globals->currentRow = hook;
  globals->moreRowsWithoutHost = uint8_t(hook);
  globals->maskWanted = 1;
  globals->progressTotal = globals->rectHeight + 1;
  return globals->progressTotal;
}

void (*gReadCloudCacheHook)(PluginGlobals *globals, int32_t index) = nullptr;

void ReadCloudCacheForIndex(PluginGlobals *globals, int32_t index) {
  if (gReadCloudCacheHook != nullptr) gReadCloudCacheHook(globals, index);
}
