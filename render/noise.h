// noise.h -- the seeded noise tables of a render and the gradient noise evaluated over them.
//
// Everything on a planet that looks random (continents, cloud detail, storm and crater
// placement, the per-pixel jitter) comes from one group of tables, NoiseTables, filled from the
// planet's randomSeed alone. Stored presets, memory dots, undo files and scripting descriptors
// keep only the seed, so the same seed must give the same tables bit for bit, every time.
//
// The tables are filled in two steps, always in this order, before every render:
//
//     SeedNoiseTables(seed)      A, B and F: a seed-rotated shuffle of NoiseSeedTable
//     InitGradientTables()       P, G1, G2, G3 drawn from A, columnHashes made from P and
//                                gradientPairs from G3; then IP (the improved-noise
//                                permutation rotated by the seed)
//
// after which GradientNoise3 may be called any number of times; it only reads the tables.
// Table A (2048 values 0..255) is also the random source of the whole render set-up.
//
// GradientNoise3 is a three-dimensional lattice gradient noise of the classic 1985
// construction: a 256-cell lattice (every coordinate is offset by +4096 and wrapped modulo 256),
// hashed through P, a unit gradient from G3 at each of the eight corners of the cell, the fade
// (3 - 2f) f^2 and linear interpolation along x, then y, then z. It is 0 at every lattice point
// and, in practice, within -1..1. The renderer calls it about fifty times per pixel, so the hot
// forms (GradientNoise3Tables, GradientNoise3Many) are written to be cheap: no allocation, no
// table building, table reads and single-precision arithmetic only.
//
// Every form below gives exactly the same bits for the same point; the batch form is a
// vectorised evaluation of the same operations in the same order.
#ifndef KIVAGLOBE_RENDER_NOISE_H
#define KIVAGLOBE_RENDER_NOISE_H

#include <cstdint>

#include "render/noise_tables.h"

struct PluginGlobals;

// Fixed data of the system (noise_seed_data.cpp, written by tools/make_noise_seed_table.py):
// 2048 values in 0..2047, 1345 of them distinct, none more than five times, every low byte
// 0..255 present. Not a permutation. Changing one value changes every planet.
extern const uint32_t NoiseSeedTable[kNoiseSeedTableSize];

// The 256-entry permutation published with the 2002 improved-noise reference implementation
// (151, 160, 137, ... 156, 180).
extern const int32_t kImprovedNoiseBasePermutation[kNoiseLatticeSize];

// ---- Filling the tables ----------------------------------------------------------------------
//
// The globals forms work on globals->runState->noiseTables and read randomSeed from the
// ParameterBlock where the order says so; the table forms do the same work on any NoiseTables
// (the tests and the benchmark use them). A null globals, RunState or block does nothing.

// A, B and F from NoiseSeedTable and `seed` (the caller passes randomSeed). Seeds that differ by
// a multiple of 2048 give identical tables.
void SeedNoiseTables(PluginGlobals *globals, uint32_t seed);
void SeedNoiseTablesIn(NoiseTables *tables, uint32_t seed);

// P, G1, G2 and G3 from A (which SeedNoiseTables must have filled), columnHashes from P and
// gradientPairs from G3, then InitImprovedNoisePermutation with the block's randomSeed.
void InitGradientTables(PluginGlobals *globals);
void InitGradientTablesIn(NoiseTables *tables, uint32_t randomSeed);

// IP[i] = kImprovedNoiseBasePermutation[(randomSeed + i) & 255], and IP[i + 256] = IP[i].
void InitImprovedNoisePermutation(PluginGlobals *globals);
void InitImprovedNoisePermutationIn(NoiseTables *tables, uint32_t randomSeed);

// ---- The noise -------------------------------------------------------------------------------

// The gradient noise at point (x, y, z) over globals->runState->noiseTables.
float GradientNoise3(const PluginGlobals *globals, const float point[3]);

// The same over the given tables. Inline: the shader calls it in its innermost loops.
inline float GradientNoise3Tables(const NoiseTables *tables, float x, float y, float z);

// The noise at `count` points (x, y, z interleaved: points[3k], points[3k + 1], points[3k + 2])
// into out[0..count-1]: exactly GradientNoise3Tables of each point, four points at a time on
// SSE2 or eight on AVX2 (noise_paths.h). The fractal sums evaluate all their octave points in
// one call.
void GradientNoise3Many(const NoiseTables *tables, const float *points, float *out, int32_t count);

// ---- Vector normalisers of the gradient tables ------------------------------------------------
//
// Scale a 2- or 3-vector of floats in place to unit length: each component times 1 / sqrt of
// the squared length (a float sum), the root and the division in double precision, rounded to
// float. Every build computes it this way, so the gradients, and with them every noise value,
// are the same bits in both deliverables and the native build. No zero check: the gradient
// components are never 0.
void NormalizeVector2f(float v[2]);
void NormalizeVector3f(float v[3]);

#include "render/noise_inline.h"

#endif  // KIVAGLOBE_RENDER_NOISE_H
