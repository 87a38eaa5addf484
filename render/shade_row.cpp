// shade_row.cpp -- ShadeRowPixels: the constants of a row, then every pixel through the stages.
//
// Everything that depends only on the row (colours in channel units, the light and the values
// derived from it, the switches of the output mode) is computed once here; the stages read it
// from the ShadeRow.
//
// The gradient noise is most of a pixel's cost, and it is cheapest in long batches (noise.h):
// the columns are shaded in batches whose noise (every relief, land texture and cloud point of
// the batch) is evaluated before the pixels' later stages read it (ShadeColumns).
//
// Channel units. The shader works in the units of the host's channel: 0..255 for 8-bit images,
// 0..32767 for 16-bit images (the block's 16-bit colours shifted right by one) and likewise for
// float images, whose ceiling M is 65535, so that float output comes out at half brightness, as
// it always has (the plug-in's enabled image modes do not include float).
//
// The relief map modes (12 "mural" and 13 "hypsometric") light every pixel from its own
// direction: the pixel's sphere point turned by mapLightAngle toward a point a hundredth of the
// light's (x, y) away on the map. Both points are taken on the same pixel grid; on two different
// grids the offset between them would be dominated by the grids' mismatch, up to a pixel across
// the image, and the relief would be lit from the image's centre instead of from the light.
#include <emmintrin.h>

#include <cmath>
#include <initializer_list>

#include "foundation/fast_math.h"
#include "foundation/vector_math.h"
#include "imagestore/image_store.h"
#include "render/composite.h"
#include "foundation/exact_math.h"
#include "render/frame_routines.h"
#include "render/render_setup.h"
#include "render/shade_internal.h"
#include "render/shader.h"

namespace {

// A block colour in channel units: the high byte in 8-bit work, the value halved otherwise.
void ChannelColour(const ParameterColor &c, bool eightBit, float out[3]) {
  const int shift = eightBit ? 8 : 1;
  out[0] = float(c.red >> shift);
  out[1] = float(c.green >> shift);
  out[2] = float(c.blue >> shift);
}

bool ModeIn(uint32_t mode, std::initializer_list<uint32_t> modes) {
  for (uint32_t m : modes) {
    if (m == mode) return true;
  }
  return false;
}

void SetupRow(ShadeRow *row, PluginGlobals *globals, RenderView *view) {
  RunState *run = globals->runState;
  const ParameterBlock *p = GetParameterBlock(globals);
  const FilterRecord *record = globals->filterRecord;
  row->globals = globals;
  row->run = run;
  row->params = p;
  row->view = view;
  row->records = static_cast<float *>(globals->buffers[kBufferRow]);
  row->row = globals->currentRowCopy;
  row->targetWidth = TargetWidth(globals);
  row->parity = view->rowParity;
  row->slotOffset = kRecordSlotBase + kRecordSlotStride * view->rowParity;
  const uint32_t mode = p->outputMode;
  row->mode = mode;
  row->isMap = view->isMap != 0;
  row->isLit = view->isLit != 0;

  const ChannelClass kind = HostChannelClass(record);
  row->eightBitWork = kind == kChannelClass8;
  row->channelMax = kind == kChannelClass8 ? 255 : (kind == kChannelClass16 ? 32768 : 65535);
  row->channelHalf = kind == kChannelClass8 ? 128 : (kind == kChannelClass16 ? 16384 : 32767);
  row->glintScale = row->eightBitWork ? 1.0f : 128.0f;
  ChannelColour(p->landColor, row->eightBitWork, row->landColour);
  ChannelColour(p->desertColor, row->eightBitWork, row->desertColour);
  ChannelColour(p->iceColor, row->eightBitWork, row->iceColour);
  ChannelColour(p->cloudColor, row->eightBitWork, row->cloudColour);
  ChannelColour(p->airColor, row->eightBitWork, row->airColour);
  ChannelColour(p->cityColor, row->eightBitWork, row->cityColour);

  const float *lv = p->lightVector;
  float *L = row->light;
  L[0] = -lv[0];
  L[1] = -lv[1];
  L[2] = lv[2];
  if (p->backlighting) L[2] = -L[2];
  for (int k = 0; k < 3; k++) row->farLight[k] = 1000.0f * L[k];
  row->mapLightOffset[0] = lv[0] * 0.01f;
  row->mapLightOffset[1] = lv[1] * 0.01f;
  row->mapLightAngle = (lv[0] * lv[0] + lv[1] * lv[1]) * 1.5707963265f;
  row->contourGain = 1.0f;
  if (mode == 13) {
    if (row->mapLightAngle > 1.5107963f) row->mapLightAngle = 1.5107963f;
    float c = ExactCosF(row->mapLightAngle);
    if (!(c >= 0.01f)) c = 0.01f;
    row->contourGain = 1.0f / c;
  }

  const float a = run->airShellThickness;
  row->airShell = a;
  row->shellRadius = (1.0f + a) * view->radius;
  const float outer = 1.0f + a;
  row->limbCos = -sqrtf(1.0f - 1.0f / (outer * outer));
  row->terminatorWidth = -row->limbCos * 0.5f;
  if (!(row->terminatorWidth >= 0.076770388f)) row->terminatorWidth = 0.076770388f;
  const float brightness = float(p->airBrightness);
  for (int k = 0; k < 3; k++) row->airLight[k] = row->airColour[k] * brightness * 0.04f;
  row->airOn = a > 0.0f && p->airBrightness > 0 && ModeIn(mode, {1, 2, 3, 8, 12});
  row->cloudsOn = run->cloudEdgeGain > 0.0f && p->cloudCoverage > 0 && ModeIn(mode, {1, 2, 3, 9, 10, 12});
  row->citiesOn = ModeIn(mode, {1, 2, 3, 11, 12});
  row->mapRelief = mode == 12 || mode == 13;
  row->transparentLayer = HasEditableTransparency(globals);
  row->realLuna = p->realLuna != 0;
  row->lunarClimate = p->lunarClimate != 0;
  row->seaIceColour[0] = 0.9f * row->iceColour[0];
  row->seaIceColour[1] = 0.9f * row->iceColour[1];
  row->seaIceColour[2] = row->iceColour[2];
  row->iceThreshold = 3.0f - float(p->ice) * 0.06f;
  row->desertBias = (float(p->desert) * 0.01f - 0.03f) * 1.4285714f;
  row->frontLight = row->isMap ? 1.0f : ClampF(1.0f - L[2], 0.0f, 1.0f);
  row->backDim = 1.0f - ClampF((-L[2] - 0.8f) * 5.0f, 0.0f, 1.0f);
  const float halo = ClampF((-L[2] - 0.9f) * 10.0f, 0.0f, 1.0f);
  row->haloGain = halo * halo;
  row->sunset = float(p->sunset);
  row->sunsetAmount = row->sunset * 0.01f;
  row->cities = float(p->cities);
  float h[3] = {L[0], L[1], L[2] + 1.0f};
  if (h[0] == 0.0f && h[1] == 0.0f && h[2] == 0.0f) {
    h[2] = -1.0f;
  } else {
    NormaliseVec3f(h);
  }
  for (int k = 0; k < 3; k++) row->glint[k] = h[k];
  row->edgeInner = 1.0f - 1.0f / view->radius;
  row->cityIndex = uint32_t(row->row * 37 - 94) & kNoiseSeedTableMask;
  row->cloudBumpGain = float(p->cloudTexture) * 0.15f;
  row->landNoiseScale = float(p->landComplexity) * 0.01f / 0.57f * 1.5f;
  ModelAxisMatrix(run->modelAxis, row->axisMatrix);
  const int32_t zoom = p->zoomDivisor == 0 ? 1 : int32_t(p->zoomDivisor > 0x7FFFFFFFu ? 0x7FFFFFFFu : p->zoomDivisor);
  const int32_t limit = int32_t(int64_t(PixelSizeFromPercent(p->planetSize, int32_t(view->width), int32_t(view->height))) *
                                4 / zoom);
  row->discLimit = limit > 0 ? limit : 0;
  row->mapRowSine = row->isMap ? MapRowSineOf(row, row->row) : 0.0f;
  row->prevHeight = kMissingCorner;
  row->prevIce = kMissingCorner;
  row->prevTone = 0.5f;
  row->prevLandIce = 0.0f;
  row->coriolisValid = false;
  row->coriolisAngle = 0.0f;
  row->lunarImage = &globals->imageSet[1];
  row->cloudImage = &globals->imageSet[0];
  for (int k = 0; k < 4; k++) row->craterImages[k] = &globals->imageSet[2 + k];
  PrepareOutputRow(row);
}

// The globe's candidates split by the columns they may reach. The argument of
// FindCraterCandidates holds along x as along y: a pixel's point has x = (centreX - c) / radius
// (the light-side point lies within 0.001 of it), and a crater whose slab holds it puts x within
// its spread of alpha (c.x) for an allowed alpha. Within a segment of columns x runs between
// the values of its end columns, made as the pixels make them (a correctly rounded division is
// monotonic), so a crater whose intervals miss that range holds no point of the segment.
void SplitCraterCandidates(ShadeRow *row) {
  const RenderView *view = row->view;
  const int32_t width = row->targetWidth;
  if (!(view->radius > 0.0f) || width < 16 * kCraterSegments || width > (1 << 28)) return;
  const int32_t segment = (width + kCraterSegments - 1) / kCraterSegments;
  int32_t lists[kCraterSegments][kCraterColumnStride];
  int32_t counts[kCraterSegments] = {};
  float xLo[kCraterSegments], xHi[kCraterSegments];
  for (int32_t s = 0; s < kCraterSegments; s++) {
    const int64_t first = int64_t(s) * segment, last = first + segment - 1;
    xHi[s] = float(int64_t(view->centreX) - first) / view->radius;
    xLo[s] = float(int64_t(view->centreX) - last) / view->radius;
  }
  // The points of a segment also lie in a box: x between its ends, the row's y, and z =
  // sqrt(1 - x^2 - y^2) between its values at the x nearest to 0 and farthest from it (0 off the
  // disc). Over the box p . u lies within its value at the box's centre plus or minus |u0| times
  // x's half span plus |u2| times z's, and a crater whose slab test fails over that range (widened
  // for the light-side point, a thousandth of a radius away, and for rounding) is left out.
  const double y = float(int64_t(view->centreY) - row->row) / view->radius;
  double xMid[kCraterSegments], xHalf[kCraterSegments], zMid[kCraterSegments], zHalf[kCraterSegments];
  for (int32_t s = 0; s < kCraterSegments; s++) {
    const double lo = xLo[s], hi = xHi[s];
    const double near = lo > 0.0 ? lo : hi < 0.0 ? -hi : 0.0;
    const double far = std::fmax(std::fabs(lo), std::fabs(hi));
    const double zHi = std::sqrt(std::fmax(0.0, 1.0 - near * near - y * y));
    const double zLo = std::sqrt(std::fmax(0.0, 1.0 - far * far - y * y));
    xMid[s] = 0.5 * (lo + hi), xHalf[s] = 0.5 * (hi - lo);
    zMid[s] = 0.5 * (zLo + zHi), zHalf[s] = 0.5 * (zHi - zLo);
  }
  for (int32_t i = 0; i < row->craterCandidateCount; i++) {
    const int32_t k = row->craterCandidates[i];
    const CraterRecord &cr = row->run->craters[k];
    const float *u = cr.u, *t = cr.t;
    const float r = cr.halfSize;
    const float ce = u[1] * t[2] - u[2] * t[1];
    const float spread = r * (std::fabs(u[0]) + std::fabs(t[0])) + 0.003f;
    const float min2 = 0.996f - 2.0f * r * r;
    const float alphaMin = min2 > 0.0f ? sqrtf(min2) : 0.0f;
    const float lo = std::fmin(alphaMin * ce, 1.002f * ce) - spread;
    const float hi = std::fmax(alphaMin * ce, 1.002f * ce) + spread;
    const double slab = double(r) + 0.003;
    for (int32_t s = 0; s < kCraterSegments; s++) {
      const bool reach = !(r < 0.5f) || (xHi[s] >= lo && xLo[s] <= hi) || (xHi[s] >= -hi && xLo[s] <= -lo);
      const double centreU = xMid[s] * u[0] + y * u[1] + zMid[s] * u[2];
      const double centreT = xMid[s] * t[0] + y * t[1] + zMid[s] * t[2];
      const bool missU = std::fabs(centreU) >= slab + std::fabs(u[0]) * xHalf[s] + std::fabs(u[2]) * zHalf[s];
      const bool missT = std::fabs(centreT) >= slab + std::fabs(t[0]) * xHalf[s] + std::fabs(t[2]) * zHalf[s];
      if (reach && !missU && !missT) lists[s][counts[s]++] = k;
    }
  }
  for (int32_t s = 0; s < kCraterSegments; s++) FillCraterSegment(row, s, lists[s], counts[s]);
  row->craterSegmentWidth = segment;
}

// The map's candidates split by the columns they may reach. A map pixel's point is n = v M for
// v = (-sl k, y, cl k), with y the row's sine of latitude, k = sqrt(1 - y^2) and (sl, cl) the
// column's sine and cosine of longitude, so n . u = v . w for w = M u (and likewise for t). Over a
// segment of columns sl and cl lie within the least and greatest of its cached values, and over
// that box v . w lies within its value at the box's centre plus or minus k (|w0| sl's half span +
// |w2| cl's half span). A crater whose slab test fails for every value of that range, widened by
// a margin for the light-side point (within 0.001) and for rounding, holds no point of the
// segment. The bound is taken in doubles from the very values the pixels use; a NaN keeps the
// crater.
void SplitMapCraterCandidates(ShadeRow *row) {
  const int32_t width = row->targetWidth;
  if (width < 16 * kCraterSegments || width > (1 << 28)) return;
  const int32_t segment = (width + kCraterSegments - 1) / kCraterSegments;
  double sMid[kCraterSegments], sHalf[kCraterSegments], cMid[kCraterSegments], cHalf[kCraterSegments];
  for (int32_t s = 0; s < kCraterSegments; s++) {
    const int32_t first = s * segment;
    const int32_t last = first + segment > width ? width : first + segment;
    // The sine and cosine sit side by side in the record: both ride in the low lanes. A NaN
    // leaves the bounds as they were (minps and maxps return their second operand then), which
    // is sound: its pixel's point is NaN in every component, and a NaN point is in no slab.
    static_assert(kRecordLongitudeCos == kRecordLongitudeSin + 1);
    __m128 lo = _mm_set1_ps(2.0f), hi = _mm_set1_ps(-2.0f);
    for (int32_t c = first; c < last; c++) {
      const float *record = row->records + int64_t(c + 1) * kPixelRecordFloats + kRecordLongitudeSin;
      const __m128 v = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(record)));
      lo = _mm_min_ps(v, lo);
      hi = _mm_max_ps(v, hi);
    }
    alignas(16) float l[4], h[4];
    _mm_store_ps(l, lo);
    _mm_store_ps(h, hi);
    sMid[s] = 0.5 * (double(l[0]) + h[0]), sHalf[s] = 0.5 * (double(h[0]) - l[0]);
    cMid[s] = 0.5 * (double(l[1]) + h[1]), cHalf[s] = 0.5 * (double(h[1]) - l[1]);
  }
  const double y = row->mapRowSine;
  const double k = std::sqrt(std::fmax(0.0, 1.0 - y * y));
  const float *m = row->axisMatrix;
  int32_t lists[kCraterSegments][kCraterColumnStride];
  int32_t counts[kCraterSegments] = {};
  for (int32_t i = 0; i < row->craterCandidateCount; i++) {
    const int32_t index = row->craterCandidates[i];
    const CraterRecord &cr = row->run->craters[index];
    double wu[3], wt[3];
    for (int a = 0; a < 3; a++) {
      wu[a] = double(m[4 * a]) * cr.u[0] + double(m[4 * a + 1]) * cr.u[1] + double(m[4 * a + 2]) * cr.u[2];
      wt[a] = double(m[4 * a]) * cr.t[0] + double(m[4 * a + 1]) * cr.t[1] + double(m[4 * a + 2]) * cr.t[2];
    }
    const double reach = double(cr.halfSize) + 0.003;
    for (int32_t s = 0; s < kCraterSegments; s++) {
      const double centreU = y * wu[1] + k * (wu[2] * cMid[s] - wu[0] * sMid[s]);
      const double spanU = k * (std::fabs(wu[0]) * sHalf[s] + std::fabs(wu[2]) * cHalf[s]);
      const double centreT = y * wt[1] + k * (wt[2] * cMid[s] - wt[0] * sMid[s]);
      const double spanT = k * (std::fabs(wt[0]) * sHalf[s] + std::fabs(wt[2]) * cHalf[s]);
      const bool missU = std::fabs(centreU) >= reach + spanU;
      const bool missT = std::fabs(centreT) >= reach + spanT;
      if (!missU && !missT) lists[s][counts[s]++] = index;
    }
  }
  for (int32_t s = 0; s < kCraterSegments; s++) FillCraterSegment(row, s, lists[s], counts[s]);
  row->craterSegmentWidth = segment;
}

// The craters whose slab can reach a point of this row, in increasing order.
//
// A point p of the row (a sphere point n, or the light-side point within 0.001 of it) has
// 0.998 <= |p| <= 1.002. In the crater's orthonormal frame (c = u x t, u, t) it is
// p = alpha c + a u + b t, and the slab test asks |a| < r and |b| < r; then alpha^2 >=
// |p|^2 - 2 r^2, so |alpha| lies in [alphaMin, 1.002]. The row's coordinate y0 (the view y of the
// globe's row, or the unturned sine of latitude of the map's row) is p's component along a fixed
// unit direction e, so y0 = alpha (c.e) + a (u.e) + b (t.e); a crater is a candidate only when
// some allowed alpha puts y0 within r (|u.e| + |t.e|) of alpha (c.e), with a margin that covers
// the light-side offset and rounding.
void FindCraterCandidates(ShadeRow *row) {
  const PluginGlobals *globals = row->globals;
  const RunState *run = row->run;
  const RenderView *view = row->view;
  float e[3] = {0.0f, 1.0f, 0.0f};
  float y0;
  if (row->isMap) {
    // p = v M with v.y the row's constant: p . w = v . (M w), so e is row 1 of M.
    for (int k = 0; k < 3; k++) e[k] = row->axisMatrix[4 + k];
    y0 = row->mapRowSine;
  } else {
    y0 = float(int64_t(view->centreY) - row->row) / view->radius;
  }
  const bool all = IsNanFloat(y0) || !CraterCullingEnabled();
  row->craterCandidateCount = 0;
  for (int32_t k = 0; k + 1 < globals->cratersPlaced; k++) {
    const CraterRecord &cr = run->craters[k];
    const float *u = cr.u, *t = cr.t;
    const float c[3] = {u[1] * t[2] - u[2] * t[1], u[2] * t[0] - u[0] * t[2], u[0] * t[1] - u[1] * t[0]};
    const float r = cr.halfSize;
    const float ce = Dot3(c, e), ue = Dot3(u, e), te = Dot3(t, e);
    const float spread = r * (std::fabs(ue) + std::fabs(te)) + 0.003f;
    const float min2 = 0.996f - 2.0f * r * r;
    const float alphaMin = min2 > 0.0f ? sqrtf(min2) : 0.0f;
    const float alphaMax = 1.002f;
    const float lo = std::fmin(alphaMin * ce, alphaMax * ce);
    const float hi = std::fmax(alphaMin * ce, alphaMax * ce);
    const bool near = (y0 >= lo - spread && y0 <= hi + spread) || (y0 >= -hi - spread && y0 <= -lo + spread);
    if (all || near || !(r < 0.5f)) row->craterCandidates[row->craterCandidateCount++] = k;
  }
  SetCraterColumns(row);
  if (!all) {
    if (row->isMap) {
      SplitMapCraterCandidates(row);
    } else {
      SplitCraterCandidates(row);
    }
  }
}

// Map modes: the sine and cosine of every column's longitude, kept in the column's record for
// the whole render (the longitude depends on the column only).
void CacheMapLongitudes(ShadeRow *row) {
  const ParameterBlock *p = row->params;
  const RenderView *view = row->view;
  const int64_t zoom = p->zoomDivisor == 0 ? 1 : int64_t(p->zoomDivisor);
  for (int32_t c = 0; c < row->targetWidth; c++) {
    float s, t;
    PixelToTexCoord(ClampToInt32(zoom * c + p->panX), 0, &s, &t, view->width + 1.0f, view->height + 1.0f);
    float *record = row->records + int64_t(c + 1) * kPixelRecordFloats;
    MapLongitude(s, &record[kRecordLongitudeSin], &record[kRecordLongitudeCos]);
  }
}

// Night without city lights.
//
// In the lit globe and map modes (1, 2 and 3), a pixel beyond the terminator band (L . n <= -w)
// has the night fade 0 in all three channel factors, so its land and sea colour is 0 whatever the
// terrain, and with it the clouds' contribution (their light k is 0 there, their shadow scales
// 0). Only city lights could show, and with the cities slider at 0 (or the cities off) none can:
// their test compares -2 with a random byte. Such a pixel's surface colour is exactly 0; the air
// is added afterwards as for any pixel.
//
// Its terrain still matters when a neighbour's coverage cell uses its height or ice value: the
// pixel to its right and the two below it. So the surface stages are skipped entirely when those
// neighbours show no surface either (they are dark too, off the disc, or outside the image), and
// otherwise only the terrain and the coast stage run, for the height and ice value they record.
// The output is the same, bit for bit, as with every stage run.
bool gNightShortcutEnabled = true;

bool NightShortcut(const ShadeRow &row) {
  if (!gNightShortcutEnabled) return false;
  const bool modeOk = row.mode == 1 || row.mode == 2 || row.mode == 3;
  return modeOk && row.isLit && (!row.citiesOn || row.cities == 0.0f);
}

// The light's dot with a globe point (x, y, sqrt(1 - x^2 - y^2)) given 1 - x^2 as `t`, as
// GlobePoint and PixelLightDot make it; false off the disc.
inline bool GlobeLightDot(const float L[3], float x, float t, float y, float *d) {
  const float zz = t - y * y;
  if (!(zz > 0.0f)) return false;
  *d = L[0] * x + L[1] * y + L[2] * sqrtf(zz);
  return true;
}

// The light's dot with a map point, as MapPoint and PixelLightDot make it: the row's terms
// (its cosine of latitude k and the products of its sine with the matrix's middle row) are
// taken once, and each product is the one the full expression rounds.
struct MapDotRow {
  float k;
  float middle[3];
};

MapDotRow MapDotRowOf(const ShadeRow *row, float sine) {
  MapDotRow m;
  m.k = sqrtf(1.0f - sine * sine);
  for (int j = 0; j < 3; j++) m.middle[j] = sine * row->axisMatrix[4 + j];
  return m;
}

inline float MapLightDot(const float L[3], const float *matrix, const MapDotRow &m, float sl, float cl) {
  const float a = -sl * m.k, b = cl * m.k;
  const float n0 = a * matrix[0] + m.middle[0] + b * matrix[8];
  const float n1 = a * matrix[1] + m.middle[1] + b * matrix[9];
  const float n2 = a * matrix[2] + m.middle[2] + b * matrix[10];
  return L[0] * n0 + L[1] * n1 + L[2] * n2;
}

// The dark flags of four neighbouring columns from c on, lane j of each mask (all ones for dark)
// for column c + j. The two flags sit side by side in a record, so each column takes one store.
void StoreDarkFlags4(ShadeRow *row, int32_t c, __m128 darkNow, __m128 darkNext) {
  static_assert(kRecordDarkNext == kRecordDarkNow + 1);
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 now = _mm_and_ps(darkNow, one), next = _mm_and_ps(darkNext, one);
  const __m128 low = _mm_unpacklo_ps(now, next), high = _mm_unpackhi_ps(now, next);
  float *record = row->records + int64_t(c + 1) * kPixelRecordFloats + kRecordDarkNow;
  _mm_storel_pi(reinterpret_cast<__m64 *>(record), low);
  _mm_storeh_pi(reinterpret_cast<__m64 *>(record + kPixelRecordFloats), low);
  _mm_storel_pi(reinterpret_cast<__m64 *>(record + 2 * kPixelRecordFloats), high);
  _mm_storeh_pi(reinterpret_cast<__m64 *>(record + 3 * kPixelRecordFloats), high);
}

// Records the dark flags of this row and the next (record fields kRecordDarkNow and
// kRecordDarkNext; rows and columns outside the image count as dark).
//
// Whether a next row exists is a question about the whole render, not about the current
// request: the row loop asks the host for one row at a time, so the request (outRect) is one row
// high and would make every next row look dark. A dark pixel above a lit one would then skip its
// terrain, and the lit pixel would read missing corners in its coverage cells. `rowCount` is the
// number of rows of the whole render; a count that is too large costs time, never bits.
void MarkDarkPixels(ShadeRow *row, int32_t rowCount) {
  const float w = row->terminatorWidth;
  const bool hasNext = row->row + 1 < rowCount;
  const float *L = row->light;
  // Both rows share each column's x (the globe) or longitude (the map).
  if (row->isMap) {
    const MapDotRow now = MapDotRowOf(row, row->mapRowSine);
    const MapDotRow next = MapDotRowOf(row, hasNext ? MapRowSineOf(row, row->row + 1) : 0.0f);
    int32_t c = 0;
    // Four columns at a time, each lane the scalar form's operations in its order.
    const float *mx = row->axisMatrix;
    const __m128 minusW = _mm_set1_ps(-w), signBit = _mm_set1_ps(-0.0f);
    const __m128 allDark = _mm_castsi128_ps(_mm_set1_epi32(-1));
    const MapDotRow *rows[2] = {&now, &next};
    for (; c + 4 <= row->targetWidth; c += 4) {
      const float *r0 = row->records + int64_t(c + 1) * kPixelRecordFloats;
      const float *r1 = r0 + kPixelRecordFloats, *r2 = r1 + kPixelRecordFloats, *r3 = r2 + kPixelRecordFloats;
      const __m128 sl = _mm_setr_ps(r0[kRecordLongitudeSin], r1[kRecordLongitudeSin], r2[kRecordLongitudeSin],
                                    r3[kRecordLongitudeSin]);
      const __m128 cl = _mm_setr_ps(r0[kRecordLongitudeCos], r1[kRecordLongitudeCos], r2[kRecordLongitudeCos],
                                    r3[kRecordLongitudeCos]);
      __m128 dark[2];
      for (int k = 0; k < 2; k++) {
        const MapDotRow &m = *rows[k];
        const __m128 kk = _mm_set1_ps(m.k);
        const __m128 a = _mm_mul_ps(_mm_xor_ps(sl, signBit), kk), b = _mm_mul_ps(cl, kk);
        __m128 n[3];
        for (int j = 0; j < 3; j++) {
          n[j] = _mm_add_ps(_mm_add_ps(_mm_mul_ps(a, _mm_set1_ps(mx[j])), _mm_set1_ps(m.middle[j])),
                            _mm_mul_ps(b, _mm_set1_ps(mx[8 + j])));
        }
        const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(L[0]), n[0]), _mm_mul_ps(_mm_set1_ps(L[1]), n[1])),
                                    _mm_mul_ps(_mm_set1_ps(L[2]), n[2]));
        dark[k] = _mm_cmple_ps(d, minusW);
      }
      StoreDarkFlags4(row, c, dark[0], hasNext ? dark[1] : allDark);
    }
    for (; c < row->targetWidth; c++) {
      float *record = row->records + int64_t(c + 1) * kPixelRecordFloats;
      const float sl = record[kRecordLongitudeSin], cl = record[kRecordLongitudeCos];
      record[kRecordDarkNow] = MapLightDot(L, row->axisMatrix, now, sl, cl) <= -w ? 1.0f : 0.0f;
      record[kRecordDarkNext] = !hasNext || MapLightDot(L, row->axisMatrix, next, sl, cl) <= -w ? 1.0f : 0.0f;
    }
  } else {
    const RenderView *view = row->view;
    const float radius = view->radius;
    const int64_t dy = int64_t(view->centreY) - row->row;
    const float yNow = float(dy) / radius;
    const float yNext = float(dy - 1) / radius;
    int32_t c = 0;
    // Four columns at a time where their offsets fit 32-bit lanes: the packed operations round
    // as the scalar ones do, and the conversion from a 32-bit integer is the same as from 64.
    const int32_t cx = view->centreX;
    if (cx >= -(1 << 30) && cx <= (1 << 30) && row->targetWidth < (1 << 30)) {
      const __m128 vRadius = _mm_set1_ps(radius), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
      const __m128 l0 = _mm_set1_ps(L[0]), l1 = _mm_set1_ps(L[1]), l2 = _mm_set1_ps(L[2]);
      const __m128 minusW = _mm_set1_ps(-w), allDark = _mm_castsi128_ps(_mm_set1_epi32(-1));
      const __m128 ys[2] = {_mm_set1_ps(yNow), _mm_set1_ps(yNext)};
      for (; c + 4 <= row->targetWidth; c += 4) {
        const __m128i dx = _mm_sub_epi32(_mm_set1_epi32(cx), _mm_setr_epi32(c, c + 1, c + 2, c + 3));
        const __m128 x = _mm_div_ps(_mm_cvtepi32_ps(dx), vRadius);
        const __m128 t = _mm_sub_ps(one, _mm_mul_ps(x, x));
        __m128 dark[2];
        for (int k = 0; k < 2; k++) {
          const __m128 zz = _mm_sub_ps(t, _mm_mul_ps(ys[k], ys[k]));
          const __m128 on = _mm_cmpgt_ps(zz, zero);
          const __m128 d = _mm_add_ps(_mm_add_ps(_mm_mul_ps(l0, x), _mm_mul_ps(l1, ys[k])),
                                      _mm_mul_ps(l2, _mm_sqrt_ps(_mm_and_ps(on, zz))));
          const __m128 lit = _mm_and_ps(on, _mm_cmpnle_ps(d, minusW));   // NaN counts as lit, as in GlobeLightDot
          dark[k] = _mm_xor_ps(lit, allDark);
        }
        StoreDarkFlags4(row, c, dark[0], hasNext ? dark[1] : allDark);
      }
    }
    for (; c < row->targetWidth; c++) {
      float *record = row->records + int64_t(c + 1) * kPixelRecordFloats;
      const float x = float(int64_t(view->centreX) - c) / radius;
      const float t = 1.0f - x * x;
      float d;
      record[kRecordDarkNow] = !GlobeLightDot(L, x, t, yNow, &d) || d <= -w ? 1.0f : 0.0f;
      record[kRecordDarkNext] = !hasNext || !GlobeLightDot(L, x, t, yNext, &d) || d <= -w ? 1.0f : 0.0f;
    }
  }
  float *beyond = row->records + int64_t(row->targetWidth + 1) * kPixelRecordFloats;
  beyond[kRecordDarkNow] = 1.0f;
  beyond[kRecordDarkNext] = 1.0f;
}

bool gRowNoiseBatching = true;

// What the row loop does with a pixel, decided once stages 1 and 2 have run.
enum PixelRoute : uint8_t {
  kRouteOffPlanet,      // stages 9 to 11 only
  kRouteDarkBare,       // a night pixel whose terrain nobody reads
  kRouteDarkTerrain,    // a night pixel whose height and ice a lit neighbour reads
  kRouteFull,           // every stage
};

PixelRoute RouteOf(const ShadeRow &row, const ShadePixel &px, bool nightShortcut) {
  if (!px.onPlanet) return kRouteOffPlanet;
  if (!nightShortcut || !(px.d <= -row.terminatorWidth)) return kRouteFull;
  const float *self = px.record;
  const float *right = self + kPixelRecordFloats;
  if (right[kRecordDarkNow] == 0.0f || self[kRecordDarkNext] == 0.0f || right[kRecordDarkNext] == 0.0f) {
    return kRouteDarkTerrain;
  }
  return kRouteDarkBare;
}

// The pixels of one batch of columns: stages 1 to 3 and all the noise first, then stages 4 to 11
// pixel by pixel, left to right.
//
// Stages 1 to 3 of a pixel read nothing its left neighbour's later stages write (only the
// running city index, which stage 1 still advances in column order), and the noise depends only
// on what stage 3 has made. What the later stages read from the run state is put back as stage
// 2 and 3 of the pixel left it: the axis terms and the side sum. Stages 4 onwards run in their
// order, so every running value (the previous height and ice, the random draws of the city
// lights) is what it would be with one pixel at a time.
void ShadeColumns(ShadeRow *row, int32_t firstColumn, int32_t count, bool nightShortcut,
                  RowNoiseScratch *scratch) {
  RunState *run = row->run;
  ShadePixel pixels[kRowBatchColumns];
  PixelRoute route[kRowBatchColumns];
  ShadePixel *terrain[kRowBatchColumns];
  ShadePixel *land[kRowBatchColumns];
  int32_t terrainCount = 0, landCount = 0;
  // The globe's log view terms (ln depth) of the batch in one go: each logarithm is a long
  // chain of dependent steps, and taken together their chains overlap. Only the pixels on the
  // planet read theirs, so only their depths are passed (packed to the front): about half a
  // globe's pixels lie off the disc, and each logarithm is taken on its own, whatever its
  // neighbours, so packing changes no bits.
  float depth[kRowBatchColumns], logDepth[kRowBatchColumns], viewTerm[kRowBatchColumns];
  int32_t onPlanet[kRowBatchColumns];
  int32_t onPlanetCount = 0;
  ShadePlaceMany(row, firstColumn, count, pixels);
  if (!row->isMap) {
    for (int32_t i = 0; i < count; i++) {
      if (!pixels[i].onPlanet) continue;
      onPlanet[onPlanetCount] = i;
      depth[onPlanetCount++] = pixels[i].depth;
    }
    ExactLogFMany(depth, logDepth, onPlanetCount);
    for (int32_t j = 0; j < onPlanetCount; j++) viewTerm[onPlanet[j]] = logDepth[j];
  }
  for (int32_t i = 0; i < count; i++) {
    ShadePixel *px = &pixels[i];
    if (px->onPlanet) ShadeLightWithViewTerm(row, px, row->isMap ? ViewTermOf(row, px) : viewTerm[i]);
    route[i] = RouteOf(*row, *px, nightShortcut);
    if (route[i] == kRouteDarkTerrain || route[i] == kRouteFull) terrain[terrainCount++] = px;
    if (route[i] == kRouteFull && row->mode != 13) land[landCount++] = px;
  }

  BatchReliefNoise(row, terrain, terrainCount, scratch);
  for (int32_t i = 0; i < terrainCount; i++) {
    ShadeTerrain(row, terrain[i]);
    terrain[i]->terrainSideSum = run->sideSum;
  }
  ShadeSeaMany(row, terrain, terrainCount);
  BatchLandNoise(row, land, landCount, scratch);
  ShadeLandMany(row, land, landCount);
  BatchCloudNoise(row, land, landCount, scratch);

  for (int32_t i = 0; i < count; i++) {
    ShadePixel *px = &pixels[i];
    if (px->onPlanet) {
      run->axisDot = px->axisDot;
      run->axisSin2 = 1.0f - px->axisDot * px->axisDot;
    }
    if (route[i] == kRouteDarkTerrain || route[i] == kRouteFull) run->sideSum = px->terrainSideSum;
    if (route[i] == kRouteDarkTerrain) {
      ShadeCoastAndSea(row, px);
    } else if (route[i] == kRouteDarkBare) {
      float *left = px->record - kPixelRecordFloats;
      left[kRecordPrevIce] = row->prevIce;
      row->prevIce = kMissingCorner;
    } else if (route[i] == kRouteFull) {
      ShadeCoastAndSea(row, px);
      if (row->mode == 13) {
        ShadeContours(row, px);
      } else {
        ShadeLand(row, px);
      }
      ShadeBlendAndCities(row, px);
      ShadeClouds(row, px);
    }
    ShadeDiscRecords(row, px);
  }
  // The disc's channels, the air and the output read nothing a later pixel's earlier stages
  // write, nor write anything those read: they can follow for the whole batch, four pixels at
  // a time.
  ShadeDiscAirOutputMany(row, pixels, count);
}

// The same pixels one at a time, every stage in turn, each evaluating its own noise: the plain
// form that ShadeColumns must match bit for bit (the tests compare the two).
void ShadeColumnsOneByOne(ShadeRow *row, int32_t firstColumn, int32_t count, bool nightShortcut) {
  for (int32_t i = 0; i < count; i++) {
    ShadePixel px;
    px.column = firstColumn + i;
    ClearRowNoise(&px);
    ShadePlacePixel(row, &px);
    if (px.onPlanet) ShadeLight(row, &px);
    const PixelRoute route = RouteOf(*row, px, nightShortcut);
    if (route == kRouteDarkTerrain || route == kRouteFull) {
      ShadeTerrain(row, &px);
      ShadeCoastAndSea(row, &px);
    }
    if (route == kRouteDarkBare) {
      float *left = px.record - kPixelRecordFloats;
      left[kRecordPrevIce] = row->prevIce;
      row->prevIce = kMissingCorner;
    } else if (route == kRouteFull) {
      if (row->mode == 13) {
        ShadeContours(row, &px);
      } else {
        ShadeLand(row, &px);
      }
      ShadeBlendAndCities(row, &px);
      ShadeClouds(row, &px);
    }
    ShadeDisc(row, &px);
    px.airAlpha = px.cover;
    ShadeAir(row, &px);
    ShadeOutput(row, &px);
  }
}

}  // namespace

void SetNightShortcutEnabled(bool enabled) { gNightShortcutEnabled = enabled; }
void SetRowNoiseBatchingEnabled(bool enabled) { gRowNoiseBatching = enabled; }

void ShadeRowPixels(PluginGlobals *globals, RenderView *view) {
  ShadeRow row;
  SetupRow(&row, globals, view);
  // The map's crater segments read the cached longitudes.
  if (row.isMap && row.row == 0) CacheMapLongitudes(&row);
  FindCraterCandidates(&row);
  const bool nightShortcut = NightShortcut(row);
  if (nightShortcut) {
    const int32_t target = TargetHeight(globals);
    MarkDarkPixels(&row, globals->rectHeight > target ? globals->rectHeight : target);
  }
  RowNoiseScratch scratch;
  for (int32_t column = 0; column < row.targetWidth; column += kRowBatchColumns) {
    const int32_t count = row.targetWidth - column < kRowBatchColumns ? row.targetWidth - column : kRowBatchColumns;
    if (gRowNoiseBatching) {
      ShadeColumns(&row, column, count, nightShortcut, &scratch);
    } else {
      ShadeColumnsOneByOne(&row, column, count, nightShortcut);
    }
  }
}
