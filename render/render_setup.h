// render_setup.h -- the work done once before every render: everything the row renderer and the
// shader read per pixel, derived from the ParameterBlock alone.
//
// PrepareRenderConstants runs at the start of a filter run, before every dialog preview and
// before each off-screen pass. In order it: picks the channel maximum; grows and marks the row
// buffer; seeds the noise tables and builds the resampling kernel table; sets the sea level and
// the two sea colours; writes the light and axis azimuths and tilts back into the block; sets the
// planet radius; places the storms and the craters from table A of the noise tables; computes the
// crater, cloud-octave, cloud and air factors; reloads the texture maps; and resets the row loop.
//
// The same seed and sliders always place the same storms and craters: every draw comes from
// table A, read at fixed starting indices (380 for the storms, 425 for the craters).
#ifndef KIVAGLOBE_RENDER_RENDER_SETUP_H
#define KIVAGLOBE_RENDER_RENDER_SETUP_H

#include <cstdint>

struct PluginGlobals;

// The render set-up. Returns the row count + 1 on success (callers do not test it). When the
// row buffer cannot be grown, GrowRowBuffer has written -128 to the result word; the set-up then
// stops at once, touches no pixel record and returns 0. Callers test the result word.
int32_t PrepareRenderConstants(PluginGlobals *globals);

// storm size x 0.01 x 0.6, and crater size x 0.01 x 0.2 x 0.6.
float StormRadius(const PluginGlobals *globals);
float CraterRadius(const PluginGlobals *globals);

// With p = percent^2 / 10 (integer division): trunc(min(width, height) x p / 1000), at least 1.
// The arithmetic is 64-bit and the result is capped at kMaxPixelSize, so that any percent (the
// block's fields are not range-checked) gives a usable size; percents 0..100 are never capped.
constexpr int32_t kMaxPixelSize = 1 << 26;
int32_t PixelSizeFromPercent(uint32_t percent, int32_t width, int32_t height);

// A direction from table A: three consecutive low bytes, each mapped to -1..1, scaled to unit
// length when they lie inside the unit ball; up to 16 draws, then (0, 0, 1). *index advances by
// 3 per draw.
void RandomUnitVectorFromTable(float *x, float *y, float *z, uint32_t *index, const PluginGlobals *globals);

// Loads the five built-in texture maps into images 1..5 of the image set: the lunar relief
// (512 x 512) and the four crater height fields (384 x 384).
void LoadTextureMaps(PluginGlobals *globals);

// For each crater texture and mip level the distance from its centre, in texture widths, beyond
// which the trilinear sampler reads only neutral pixels (run state's craterFlatRadius).
void MeasureCraterTextures(PluginGlobals *globals);

// The cloud cache reader (clouds/cloud_files.h), installed by the module's entry; null leaves
// the cloud image as it is. The set-up and the start of a run call it through
// ReadCloudCacheForIndex.
extern void (*gReadCloudCacheHook)(PluginGlobals *globals, int32_t index);
void ReadCloudCacheForIndex(PluginGlobals *globals, int32_t index);

// The parts of the set-up that the tests check on their own.
void PlaceStorms(PluginGlobals *globals);
void PlaceCraters(PluginGlobals *globals);

// The rotation that carries the map's pole (0, 1, 0) onto the planet's axis modelAxis: about
// normalise(modelAxis x (0, 1, 0)) by acos(modelAxis . (0, 1, 0)). The storm placement and the
// shader's map projection share it.
void ModelAxisMatrix(const float modelAxis[3], float m[16]);

#endif  // KIVAGLOBE_RENDER_RENDER_SETUP_H
