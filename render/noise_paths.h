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
#include <cstring>

#include "render/noise_tables.h"

// For the batch kernels: GCC turns their lane-by-lane table reads into chains of vector inserts
// and extracts, which then compete for the same execution units as the gradients'
// transpositions. Left as plain integer code they run beside them (about a tenth faster on both
// paths). The other compilers keep such loops scalar anyway.
#if defined(__GNUC__) && !defined(__clang__)
#define KV_NOISE_SCALAR_TABLE_READS __attribute__((optimize("no-tree-vectorize", "no-tree-slp-vectorize")))
#else
#define KV_NOISE_SCALAR_TABLE_READS
#endif

// Two neighbouring table entries, P[i] and P[i + 1], in one read.
inline void LoadPair(const int32_t *P, int32_t i, int32_t *first, int32_t *second) {
  uint64_t both;
  std::memcpy(&both, P + i, sizeof both);
  *first = int32_t(uint32_t(both));
  *second = int32_t(uint32_t(both >> 32));
}

// The float offsets 3c into the gradient table of the corner pairs of `Lanes` points, named by
// (dx, dy), from the points' lattice indices; the pair's dz = 1 corner is the entry after c. The
// hashes use the tables' repeated tails (noise_tables.h): for the indices that occur the wrapped
// neighbour of an entry is simply the next one.
template <int32_t Lanes>
KV_NOISE_SCALAR_TABLE_READS inline void CornerPairOffsets(const int32_t *P, const int32_t *ix, const int32_t *iy,
                                                          const int32_t *iz, int32_t *c00, int32_t *c10,
                                                          int32_t *c01, int32_t *c11) {
  for (int32_t k = 0; k < Lanes; ++k) {
    int32_t p0, p1, h00, h01, h10, h11;
    LoadPair(P, ix[k], &p0, &p1);
    LoadPair(P, iy[k] + p0, &h00, &h01);
    LoadPair(P, iy[k] + p1, &h10, &h11);
    c00[k] = 3 * (h00 + iz[k]);
    c10[k] = 3 * (h10 + iz[k]);
    c01[k] = 3 * (h01 + iz[k]);
    c11[k] = 3 * (h11 + iz[k]);
  }
}

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
