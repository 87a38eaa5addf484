// shader.h -- the per-pixel shading of one output row.
//
// ShadeRowPixels takes every pixel of the row through the same stages, in this order:
//
//   terrain (shade_terrain.cpp)   1 place the pixel on the globe's disc or on the map
//                                 2 light: the terminator, the sunset tint, the night fade
//                                 3 terrain height with craters, and the relief shading
//   surface (shade_surface.cpp)   4 coast coverage, sea colour, glint and sea ice
//                                 5 land colour (desert, texture, polar ice), or
//                                 6 the hypsometric ramp with contour lines (output mode 13)
//                                 7 land and sea blended; city lights on the night side
//   sky (shade_sky.cpp)           8 clouds, their shadows and relief
//                                 9 the disc's anti-aliased edge
//                                10 the air shell around the globe or over the map
//                                11 the output mode's channels, handed to CompositePixel
//
// The routines below are the named pieces of those stages; the shader uses them inline (through
// shade_internal.h) and they are offered on their own for the tests.
#ifndef KIVAGLOBE_RENDER_SHADER_H
#define KIVAGLOBE_RENDER_SHADER_H

#include <cstdint>

struct PluginGlobals;
struct RenderView;

// Shades columns 0 .. target width - 1 of row globals->currentRowCopy.
void ShadeRowPixels(PluginGlobals *globals, RenderView *view);

// Test seam: turns off the night shortcut of ShadeRowPixels (see shade_row.cpp), whose output
// must be the same bits as the full computation. On by default.
void SetNightShortcutEnabled(bool enabled);

// Test seam: turns off the evaluation of a row's noise ahead of its pixels, so that every stage
// evaluates its own noise pixel by pixel; the output must be the same bits. On by default.
void SetRowNoiseBatchingEnabled(bool enabled);

// Test seam: turns off both crater shortcuts (the per-row candidate list and the neutral-window
// skip of CraterDecals), which must not change a bit either. On by default.
void SetCraterCullingEnabled(bool enabled);
bool CraterCullingEnabled();

// Test seam: turns off working out the crater decals of a pixel's point and of its light-side
// point in one pass, so that each point walks its craters alone; the output must be the same
// bits. On by default.
void SetCraterPairsEnabled(bool enabled);

// Test seam: what every pixel carries into the output stage (stage 11), handed to `tap` as the
// pixel reaches it, so that the tests can work out each output mode's channels on their own
// from the values the earlier stages made. Null (the default) records nothing. The values from
// d on mean something only where `onPlanet` is set and the surface stages ran;
// `land` and `sea` are as stages 4 to 6 made them, before stage 7 lights them.
struct OutputTapPixel {
  int32_t column;
  int32_t row;
  bool onPlanet;
  float n[3];             // the sphere point
  float light[3];         // L (the pixel's own in the relief map modes)
  float d;                // L . n
  float lightLevel;       // l
  float height;           // h
  float landCover;        // c
  float seaIceCover;      // ci
  float land[3];          // U
  float sea[3];
  float cityLight[3];
  float cloudDensity;
  float cover;            // the disc's coverage
};
using OutputTap = void (*)(const OutputTapPixel *pixel, void *context);
void SetOutputTap(OutputTap tap, void *context);

// The fractal sum of GradientNoise3 over octaves: the first term and each further one scaled by
// the gain of the one before, the point multiplied by the lacunarity after every term. A whole
// number of octaves O > 1 gives O terms; a fractional O adds the fraction of one more. The
// first term goes to *firstValue, the alternating-sign sum of the later terms to the run state's
// sideSum. The point is left scaled.
float FractalNoise(float point[3], float lacunarity, float octaves, float gain, float *firstValue,
                   PluginGlobals *globals);

// The relief altitude at a sphere point: the lunar height image with "Real Luna", otherwise the
// fractal relief minus the sea level, squared with its sign. *raw receives the signed value
// before squaring (the lunar height with "Real Luna").
float ReliefAltitude(PluginGlobals *globals, float *firstValue, float seaLevel, const float point[3], float octaves,
                     float *raw, const RenderView *view);

// Adds the crater decals at a sphere point to *sum and stores their total in *decalSum (both
// untouched when fewer than one crater was placed).
void AddCraterDecals(float *sum, const float point[3], float *decalSum, PluginGlobals *globals, float logViewTerm);
// The same at p and at q by the paired pass the terrain stage takes for a pixel's point and its
// light-side point, into decals[0] and decals[1] (zeros without craters): each is bit for bit what
// AddCraterDecals gives that point alone.
void AddCraterDecalPairs(const float p[3], const float q[3], float decals[2], PluginGlobals *globals,
                         float logViewTerm);

// The density of the procedural clouds at a point of the unit sphere: a polar bias, the storm
// twists, the Coriolis twist and a warped fractal sum. Reads the pixel's axisDot and axisSin2
// from the run state.
void ProceduralCloudDensity(float x, float y, float z, float *density, PluginGlobals *globals,
                            const RenderView *view);

// Where the ray from o along o + d meets the unit sphere (the nearer root in front, else the far
// one); (1, 0, 0) when it misses.
void IntersectUnitSphere(const float o[3], const float d[3], float hit[3]);

// The contour segments of one height cell at threshold t (marching squares), each handed to
// AccumulateContourSegment. Corners are top-left, top-right, bottom-left, bottom-right; a
// missing top-left, top-right or bottom-left corner (-2.0) stands in for bottom-right + 0.00001.
void ContourCell(float tl, float tr, float bl, float br, float threshold, PluginGlobals *globals, int32_t column,
                 int32_t p, int32_t q, float weight);

// Adds a segment's length, split by its midpoint, to the contour accumulators of records column
// and column + 1 (field 2 + p for the top side, 2 + q for the bottom side).
void AccumulateContourSegment(float x0, float y0, float x1, float y1, PluginGlobals *globals, int32_t column,
                              int32_t p, int32_t q, float weight);

#endif  // KIVAGLOBE_RENDER_SHADER_H
