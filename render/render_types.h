// render_types.h -- the renderer's records that live inside PluginGlobals and RunState: the
// storm and crater tables of a render, the cloud image header, the per-render view and the
// layout of the row buffer's pixel records.
//
// This header holds data declarations only (plugin/globals.h includes it); the routines that
// fill and read these records are in render_setup.h, row_renderer.h and shader.h.
#ifndef KIVAGLOBE_RENDER_RENDER_TYPES_H
#define KIVAGLOBE_RENDER_RENDER_TYPES_H

#include <cstdint>

// Mip levels of an image (the image store's kMaxImageLevels, repeated here so that this header
// needs no other).
constexpr int32_t kMaxImageLevelsForRender = 20;

// ---- Storms and craters ----------------------------------------------------------------------

// Capacity of the storm table. Two placement passes of (storm count + 1) storms each could ask
// for more; placement stops at the capacity.
constexpr int32_t kStormCapacity = 200;

// Capacity of the crater table; placement stops after 100 records.
constexpr int32_t kCraterCapacity = 100;

// The storms of a render, as six parallel arrays: centre, radius, radius squared and the signed
// swirl strength (storms of the two hemispheres turn opposite ways). The count placed is
// PluginGlobals::stormsPlaced.
struct StormTable {
  float centreX[kStormCapacity];
  float centreY[kStormCapacity];
  float centreZ[kStormCapacity];
  float radius[kStormCapacity];
  float radiusSquared[kStormCapacity];
  float strength[kStormCapacity];
};

// One crater: the two tangent axes of its square slab on the sphere, its half size r, 1 / r and
// ln r. The count placed is PluginGlobals::cratersPlaced; the decal pass uses all but the last.
struct CraterRecord {
  float u[3];
  float t[3];
  float halfSize;
  float invHalfSize;
  float logHalfSize;
};

// ---- The cloud image header ------------------------------------------------------------------

// Where the earth disc lies in the cloud image (the first image of the image set). Filled by the
// cloud import and the cloud cache reader; the renderer reads `loaded` and the fractions.
struct CloudHeader {
  int32_t imageWidth;
  int32_t imageHeight;
  int32_t lastColumn;
  int32_t lastRow;
  int32_t sourceIndex;
  uint8_t loaded;       // the cloud image holds a picture
  uint8_t listLoaded;   // the source list file was read completely
  float boxX;           // the disc's box in image pixels
  float boxWidth;
  float boxY;
  float boxHeight;
  float offsetU;        // the box as fractions of the image size
  float spanU;
  float offsetV;
  float spanV;
};

// ---- The view --------------------------------------------------------------------------------

// The values of one render that every row reads, filled on the first row of the render by
// SetupRenderView. Coordinates are target pixels; `width` and `height` are the filter
// rectangle's (the planet is laid out on the whole rectangle, of which the target may show a
// zoomed or panned part).
struct RenderView {
  int32_t rowParity;           // flips at the start of every row; selects the record slot
  float invWidth;
  float invHeight;
  float unitScale;             // 1.0
  float coriolisFactor;        // cloudCoriolis x 0.04
  uint32_t realCloudsOn;       // realClouds, cleared when no cloud image is loaded
  uint8_t isMap;               // output mode >= 3: the equirectangular map
  uint8_t isLit;               // output mode 1, 2, 3, 8, 12 or 13
  float logRadius;
  float logDiameter;
  float logCloudSpan;
  float radius;
  float radiusPixels;
  float width;
  float height;
  float cloudLevel;            // mip level and fraction of the cloud image
  float cloudLevelFraction;
  float lunarLevel;            // mip level and fraction of the lunar height image
  float lunarLevelFraction;
  int32_t centreX;
  int32_t centreY;
  float landTextureFactor;     // landTexture x 0.02
};

// ---- Pixel records of the row buffer ---------------------------------------------------------
//
// One record of 54 floats per output column plus one on each side; column c uses record c + 1.
// Fields 0 and 1 hold, for the column, the previous row's height and ice value (the top corners
// of the coverage cells); kMissingCorner there marks a corner that has no value yet. Fields 2
// and 3 are the contour accumulators. Two slots of 15 values, one per row parity, start at
// field 13 + 25 x parity.
constexpr int32_t kPixelRecordFloats = 54;
constexpr int32_t kRecordPrevHeight = 0;
constexpr int32_t kRecordPrevIce = 1;
constexpr int32_t kRecordContour = 2;        // fields 2 and 3
constexpr int32_t kRecordLongitudeSin = 4;   // map modes: sine and cosine of the column's
constexpr int32_t kRecordLongitudeCos = 5;   // longitude, filled on the first row of a render
constexpr int32_t kRecordDarkNow = 6;        // 1 when the column's pixel of this row, or of the
constexpr int32_t kRecordDarkNext = 7;       // next row, shows no surface (see shade_row.cpp)
constexpr int32_t kRecordSlotBase = 13;
constexpr int32_t kRecordSlotStride = 25;

// Offsets within a slot.
enum PixelSlotField : int32_t {
  kSlotReliefAltitude = 0,   // h0
  kSlotDecalSum,             // crater decals at the point
  kSlotRawAltitude,          // signed altitude before squaring
  kSlotLandHeight,           // h0 x land texture factor
  kSlotFirstValue,           // first-octave value of the last terrain evaluation
  kSlotHeight,               // h: land height + decals, compressed below 0
  kSlotLightSideHeight,      // h' at the light-side point
  kSlotOffsetX,              // view offsets dx, dy
  kSlotOffsetY,
  kSlotDistance4,            // 4 x the distance from the view centre (a 32-bit integer)
  kSlotSphereX,
  kSlotSphereY,
  kSlotSphereZ,
  kSlotLogViewTerm,
  kSlotDepthTerm,            // 1 - x^2 - y^2 on the globe, cos(latitude) on the map; tau in the air
  kSlotFieldCount
};
static_assert(kRecordSlotBase + kRecordSlotStride + kSlotFieldCount <= kPixelRecordFloats);

#endif  // KIVAGLOBE_RENDER_RENDER_TYPES_H
