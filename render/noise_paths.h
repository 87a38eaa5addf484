// noise_paths.h -- the processor paths of the batch noise, and the choice between them.
//
// GradientNoise3Many (noise.h) runs on one of two paths, both giving exactly the same bits:
//
//     sse2   four points at a time; every x86-64 processor and the 32-bit build's floor
//     avx2   eight points at a time with gathered table reads; chosen when the processor (and
//            the system, which must save the wide registers) has AVX2
//
// The choice is made at the first batch of a process: the environment variable KIVAGLOBE_SIMD
// ("sse2" or "avx2") forces a path, so that tests and benchmarks can run either on one machine;
// a forced avx2 on a processor without it falls back to sse2.
#ifndef KIVAGLOBE_RENDER_NOISE_PATHS_H
#define KIVAGLOBE_RENDER_NOISE_PATHS_H

#include <cstdint>

#include "render/noise_tables.h"

// The batch kernels take their points in runs of up to kNoiseRun: first the lattice cells and
// hashes of a whole run, then its gradients and arithmetic. Done group of lanes by group of lanes
// instead, each group is one long chain of dependent steps (cells, hash reads, gradient reads,
// seven lerps) that the processor cannot overlap with the next group's; in runs, it overlaps
// the hash reads of many points, then many groups' arithmetic.
constexpr int32_t kNoiseRun = 64;

enum NoisePath : int32_t {
  kNoisePathSse2 = 0,
  kNoisePathAvx2 = 1,
};

// The two implementations of GradientNoise3Many. The AVX2 one must only be called when
// ProcessorHasAvx2() is true.
void GradientNoise3ManySse2(const NoiseTables *tables, const float *points, float *out, int32_t count);
void GradientNoise3ManyAvx2(const NoiseTables *tables, const float *points, float *out, int32_t count);

bool ProcessorHasAvx2();

// The path in use (chosen on first use from the processor and KIVAGLOBE_SIMD).
NoisePath ActiveNoisePath();

// Uses `path` from now on; false, and nothing changes, when the processor lacks it.
bool SelectNoisePath(NoisePath path);

// Chooses again from the processor and the environment, as at the first batch.
void ChooseNoisePathFromEnvironment();

// "sse2" or "avx2".
const char *NoisePathName(NoisePath path);

#endif  // KIVAGLOBE_RENDER_NOISE_PATHS_H
