// shade_internal.h -- what the shader's stage files share: the constants of the row being shaded
// and the values of the pixel being shaded, handed from stage to stage.
//
// ShadeRowPixels (shade_row.cpp) fills a ShadeRow once per row and then takes the columns in
// batches of kRowBatchColumns: stages 1 to 3 for every pixel of the batch, the noise of stages 3,
// 5 and 8 for all of them in a few large evaluations (the Batch* routines below), then stages 4
// to 11 pixel by pixel. The stages communicate only through these two records, the pixel
// records of the row buffer and the run state.
#ifndef KIVAGLOBE_RENDER_SHADE_INTERNAL_H
#define KIVAGLOBE_RENDER_SHADE_INTERNAL_H

#include <cstdint>
#include <cstring>

#include "plugin/globals.h"
#include "render/composite.h"
#include "render/coverage.h"
#include "render/shader.h"

struct TiledMipImage;

// Room for every candidate crater and the empty slabs that round the list up to a four.
constexpr int32_t kCraterColumnStride = (kCraterCapacity + 3) / 4 * 4;
constexpr int32_t kCraterSegments = 8;

// The constants of one row.
struct ShadeRow {
  PluginGlobals *globals;
  RunState *run;
  const ParameterBlock *params;
  RenderView *view;
  float *records;              // the row buffer: column c uses records + (c + 1) x 54
  int32_t row;
  int32_t targetWidth;
  int32_t slotOffset;          // first field of this row's slot within a record
  int32_t parity;              // p, the row parity; q = 1 - p
  uint32_t mode;               // output mode

  int32_t channelMax;          // M
  int32_t channelHalf;         // Mh
  bool eightBitWork;           // M is 255
  float glintScale;
  float landColour[3];         // in channel units (0..M)
  float desertColour[3];
  float iceColour[3];
  float cloudColour[3];
  float airColour[3];
  float cityColour[3];
  float light[3];              // L
  float farLight[3];           // 1000 L
  float mapLightOffset[2];
  float mapLightAngle;
  float contourGain;
  float airShell;              // a
  float shellRadius;
  float limbCos;
  float terminatorWidth;       // w
  float airLight[3];
  bool airOn;
  bool cloudsOn;
  bool citiesOn;
  bool mapRelief;
  bool transparentLayer;
  bool isMap;
  bool isLit;
  bool realLuna;
  bool lunarClimate;
  float seaIceColour[3];
  float iceThreshold;
  float desertBias;
  float frontLight;
  float backDim;
  float haloGain;
  float sunsetAmount;
  float sunset;                // the slider value
  float cities;                // the slider value
  float glint[3];              // H
  float edgeInner;
  uint32_t cityIndex;
  float cloudBumpGain;
  float landNoiseScale;
  float axisMatrix[16];
  int32_t discLimit;
  float mapRowSine;            // map: the row's sine of latitude (MapRowSineOf)
  float prevHeight;            // previous-column values, -2.0 at the start of the row
  float prevIce;
  float prevTone;              // lunar climate: the previous pixel's tone and ice cover
  float prevLandIce;
  float coriolisAngle;         // the last Coriolis matrix and its angle (shade_sky.cpp)
  float coriolisMatrix[16];
  bool coriolisValid;
  const TiledMipImage *lunarImage;
  const TiledMipImage *cloudImage;
  const TiledMipImage *craterImages[4];
  int32_t craterCandidates[kCraterCapacity];   // craters whose slab may reach this row
  int32_t craterCandidateCount;
  // The row's terms of stages 10 and 11 (PrepareOutputRow).
  float airInnerRim;           // 1 / (1 + a), where the air's glow begins
  float airRowY;               // the globe row's view offset over the shell radius, and its square
  float airRowY2;
  float channelMaxF;           // float(M) and 1 / float(M)
  float channelMaxInverse;
  CompositeTarget composite;   // where stage 11 writes
  // The candidates split by the image columns they may reach: segment s serves the pixels of
  // columns s w .. s w + w - 1 for w = craterSegmentWidth (0: segment 0 serves every column).
  // Each holds its craters in list order and their slab words column by column (u0 u1 u2 t0 t1
  // t2 r), four at a time for SlabHits, padded to a whole number of fours with empty slabs.
  int32_t craterSegmentWidth;
  int32_t craterSegmentCount[kCraterSegments];
  int32_t craterSegmentCraters[kCraterSegments][kCraterColumnStride];
  alignas(16) float craterColumns[kCraterSegments][7][kCraterColumnStride];
};

// Makes one crater segment of every candidate (FindCraterCandidates calls it), and segment s of
// the `count` craters `list`.
void SetCraterColumns(ShadeRow *row);
void FillCraterSegment(ShadeRow *row, int32_t s, const int32_t *list, int32_t count);

// The shape of a fractal sum (PlanFractal).
struct FractalPlan {
  int32_t steps;    // whole terms after the first
  float fraction;   // the part of one more term when the octave count is not whole
  int32_t terms;    // points to evaluate
};

// The values of one pixel, from placement to output.
struct ShadePixel {
  int32_t column;
  float *record;               // record of this column (c + 1)
  float *slot;                 // this row's slot in it
  bool onPlanet;               // the planet stages run (always on the map)
  float n[3];                  // the sphere point
  float depth;                 // globe: z (0 off the disc)
  float cover;                 // disc coverage, 0 off the disc
  uint32_t randomByte;
  float light[3];              // L (made per pixel in modes 12 and 13)
  float farLight[3];
  float axisDot;
  float polarTerm;
  float logViewTerm;
  float d;                     // L . n
  float lightFactor;
  float factor[3];             // fR, fG, fB
  bool day;
  float reliefAltitude;        // h0
  float decal;
  float raw;
  float landHeight;
  float firstValue;
  float height;                // h
  float lightSideHeight;       // h'
  float lightSidePoint[3];     // P'
  float shade;
  float landCover;             // c
  float seaIceCover;           // ci
  float sea[3];
  float land[3];               // U
  float lightLevel;            // l
  float landNoise;
  float landIce;
  float colour[3];
  float cityLight[3];
  float cloudDensity;
  float cloudCover;
  int32_t acc[3];
  float airAlpha;

  // Noise evaluated ahead for the whole row (see ShadeRowPixels). Each stage uses a value only
  // when its flag says it was made for exactly what the stage asks; otherwise it evaluates the
  // noise itself, so a wrong guess costs time, never bits.
  bool terrainPrepared;        // octaves, reliefPlan and lightSidePoint are set
  float octaves;
  FractalPlan reliefPlan;
  bool reliefReady;            // the relief of n (and, outside mode 13, of P')
  float reliefAltitude2[2];
  float reliefRaw2[2];
  float reliefFirst2[2];
  float reliefSideSum;         // the side sum of the last point evaluated
  float terrainSideSum;        // the run's side sum as stage 3 left it
  bool landReady;              // stage 5's noise
  float landNoiseSum;
  float landFirst;
  float landSideSum;
  int32_t cloudReadyCount;     // densities made at n (1) and at the shadow point (2)
  float cloudReady[2];
  bool cloudLightSideReady;
  float cloudLightSide;
  bool landShaded;             // stage 5's colour made ahead (ShadeLandMany)

  // Stage 4's terms that need no neighbour, made ahead for a batch (ShadeSeaMany): the
  // sea colour with its glint (in sea, before the ice), the ice value and the ice's light.
  bool seaReady;
  float seaIce;
  float seaIceLight;
};

// Clears the flags of the noise evaluated ahead.
inline void ClearRowNoise(ShadePixel *px) {
  px->terrainPrepared = false;
  px->reliefReady = false;
  px->landReady = false;
  px->cloudReadyCount = 0;
  px->cloudLightSideReady = false;
  px->landShaded = false;
  px->seaReady = false;
}

// The columns whose noise is evaluated together (the most pixels passed to the batch routines).
constexpr int32_t kRowBatchColumns = 64;

// Room for the octave points of one noise batch. A batch larger than this is evaluated in
// parts; one pixel's points (at most 2 x 64 relief terms, or 49 cloud terms) always fit.
constexpr int32_t kRowNoiseCapacity = 2048;
struct RowNoiseScratch {
  float points[3 * kRowNoiseCapacity];
  float values[kRowNoiseCapacity];
};

// The noise of several pixels of a row, each stage's points in as few batches as the scratch
// allows, stored in the pixels for the stages to read. Every pixel passed must be on the planet
// and have been through stages 1 and 2; BatchLandNoise and BatchCloudNoise also need stage 3.
void BatchReliefNoise(ShadeRow *row, ShadePixel *const *pixels, int32_t count, RowNoiseScratch *scratch);
void BatchLandNoise(ShadeRow *row, ShadePixel *const *pixels, int32_t count, RowNoiseScratch *scratch);
void BatchCloudNoise(ShadeRow *row, ShadePixel *const *pixels, int32_t count, RowNoiseScratch *scratch);

// Stage 5's colour for pixels whose land noise BatchLandNoise made (not with the moon's climate),
// ahead of their stage 4; their ShadeLand then only restores the side sum.
void ShadeLandMany(ShadeRow *row, ShadePixel *const *pixels, int32_t count);

// Stage 4's sea colour, glint, ice value and ice light for pixels through stage 3 whose side sum
// is in terrainSideSum, ahead of their stage 4, which then only adds the coverages.
void ShadeSeaMany(ShadeRow *row, ShadePixel *const *pixels, int32_t count);

// The light level that stage 5 gives a pixel (outside mode 13), from its relief shade alone.
float LandLightLevel(const ShadeRow *row, const ShadePixel *px);

// The fractal sum's pieces, shared by the relief and the land texture.
FractalPlan PlanFractal(float octaves);
void FillOctavePoints(float point[3], float lacunarity, const FractalPlan &plan, float *out);
float SumFractal(const float *values, const FractalPlan &plan, float gain, float *firstValue, float *sideSum);

// Stage functions, in the order the shader calls them.
void ShadePlacePixel(ShadeRow *row, ShadePixel *px);      // stage 1
// The terms of a globe pixel's column, made beforehand for a whole batch (PlaceGlobeColumns):
// x = dx / radius, the distance figure, the row's y = dy / radius, the depth term
// zz = 1 - x^2 - y^2 and its root z (0 off the disc).
struct PlacedColumn {
  float x;
  int32_t distance4;
  float y;
  float zz;
  float z;
};
void PlaceGlobeColumns(const ShadeRow *row, int32_t firstColumn, int32_t count, PlacedColumn *out);
// The map's form: a map pixel's column terms are its sphere point n (in x, y and z), the row's
// cosine of latitude (in zz) and the distance figure.
void PlaceMapColumns(const ShadeRow *row, int32_t firstColumn, int32_t count, PlacedColumn *out);
// Stage 1 of `count` (at most kRowBatchColumns) neighbouring pixels of a row, their noise flags
// cleared, their column terms made by PlaceGlobeColumns (or PlaceMapColumns): the same as
// ShadePlacePixel on each, left to right.
void ShadePlaceMany(ShadeRow *row, int32_t firstColumn, int32_t count, ShadePixel *pixels);
void ShadeLight(ShadeRow *row, ShadePixel *px);           // stage 2
// Stage 2 with the pixel's log view term already taken (ViewTermOf: ln depth on the globe, a
// constant on the map), so that a row's logarithms can be taken together (ExactLogFMany).
float ViewTermOf(const ShadeRow *row, const ShadePixel *px);
void ShadeLightWithViewTerm(ShadeRow *row, ShadePixel *px, float logViewTerm);
void ShadeTerrain(ShadeRow *row, ShadePixel *px);         // stage 3
void ShadeCoastAndSea(ShadeRow *row, ShadePixel *px);     // stage 4
void ShadeLand(ShadeRow *row, ShadePixel *px);            // stage 5
void ShadeContours(ShadeRow *row, ShadePixel *px);        // stage 6
void ShadeBlendAndCities(ShadeRow *row, ShadePixel *px);  // stage 7
void ShadeClouds(ShadeRow *row, ShadePixel *px);          // stage 8
void ShadeDisc(ShadeRow *row, ShadePixel *px);            // stage 9
void ShadeAir(ShadeRow *row, ShadePixel *px);             // stage 10
void ShadeOutput(ShadeRow *row, ShadePixel *px);          // stage 11
// Stage 11 up to the composite: the output mode's channel values in acc, highlights rolled off.
void ShadeOutputChannels(ShadeRow *row, ShadePixel *px);
// Stage 9 in two parts: the records' previous-column marks, which later pixels' stages read
// and so must be written in column order, and the channels, which only stages 10 and 11 read.
// DiscAddsColour says whether the pixel's colour joins its channels.
void ShadeDiscRecords(ShadeRow *row, ShadePixel *px);
inline bool DiscAddsColour(const ShadeRow *row, const ShadePixel *px) {
  if (!px->onPlanet) return false;
  int32_t distance4;
  std::memcpy(&distance4, &px->slot[kSlotDistance4], sizeof distance4);
  return row->isMap || distance4 < row->discLimit;
}
// Stage 9's channels (the records' part done already), then stages 10 and 11 of `count` pixels
// of neighbouring columns, left to right, each with stages 1 to 8 done: the same bits as
// ShadeDisc, ShadeAir and ShadeOutput on each.
void ShadeDiscAirOutputMany(ShadeRow *row, ShadePixel *pixels, int32_t count);

// The output tap of the tests (SetOutputTap): null unless a test set one. TapOutput hands it
// the pixel's values.
extern OutputTap gOutputTap;
void TapOutput(const ShadeRow *row, const ShadePixel *px);

// The row terms of stages 10 and 11, made once a row after the rest of the row's set-up.
void PrepareOutputRow(ShadeRow *row);

// The sine and cosine of the map longitude of texture coordinate s.
void MapLongitude(float s, float *sine, float *cosine);

// The row coordinate of a map row: the latitude's sine, from texture coordinate t.
float MapRowSine(float t);

// int64 to int32, saturating.
int32_t ClampToInt32(int64_t v);

// The row sine of map row r (MapRowSine of the row's texture coordinate).
float MapRowSineOf(const ShadeRow *row, int32_t r);

// The sphere point of a globe pixel at view offset (dx, dy), and 1 - x^2 - y^2; false off the
// disc (z left 0).
bool GlobePoint(const ShadeRow *row, int64_t dx, int64_t dy, float n[3], float *z2);

// The lit term L . n of pixel (c, r) as stage 2 computes it, for the row light (not the relief
// map modes); false for a globe pixel off the disc. rowSine is MapRowSineOf(row, r) on the map.
bool PixelLightDot(const ShadeRow *row, int32_t c, int32_t r, float rowSine, float *d);

// A texture position brought into 0..1 (NaN counts as 0).
inline float ClampUnit(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

inline float ClampF(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline float Dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

#endif  // KIVAGLOBE_RENDER_SHADE_INTERNAL_H
