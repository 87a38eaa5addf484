// noise_tables.h -- the record of the seeded noise tables (data only: plugin/globals.h includes
// it into the RunState). The routines that fill and read the tables are in noise.h.
#ifndef KIVAGLOBE_RENDER_NOISE_TABLES_H
#define KIVAGLOBE_RENDER_NOISE_TABLES_H

#include <cstddef>
#include <cstdint>

// ---- The tables ------------------------------------------------------------------------------

constexpr int32_t kNoiseLatticeSize = 256;        // cells per axis before the lattice repeats
constexpr int32_t kNoiseGradientEntries = 514;    // P and G tables: 256 + a copy of 0..257
constexpr int32_t kNoiseImprovedEntries = 512;    // IP: 256 + a copy of 0..255
constexpr int32_t kNoiseSeedTableSize = 2048;     // A, B, F and NoiseSeedTable
constexpr uint32_t kNoiseSeedTableMask = 2047;
constexpr int32_t kNoiseColumnHashStride = 257;
constexpr int32_t kNoiseColumnHashEntries = kNoiseLatticeSize * kNoiseColumnHashStride;
constexpr int32_t kNoisePairEntries = 512;        // corner hashes plus z cells: 0..510

// The tables of one render, held in the RunState (member `noiseTables`). Entries 256.. of the
// P and G tables repeat entries 0.. so that a hash plus an index below 256 never needs a second
// wrap; IP likewise.
struct NoiseTables {
  int32_t P[kNoiseGradientEntries];          // permutation of 0..255, then a copy of P[0..257]
  float G3[kNoiseGradientEntries][3];        // unit 3-D gradients of GradientNoise3
  float G2[kNoiseGradientEntries][2];        // unit 2-D gradients (filled, not read by the renderer)
  float G1[kNoiseGradientEntries];           // 1-D gradients in -1..1 (filled, not read)
  int32_t IP[kNoiseImprovedEntries];         // improved-noise permutation rotated by the seed
  uint32_t A[kNoiseSeedTableSize];           // seeded values 0..255: the render's random source
  uint32_t B[kNoiseSeedTableSize];           // a copy of NoiseSeedTable (not seed dependent)
  float F[kNoiseSeedTableSize];              // A / 255 (filled, not read by the renderer)

  // The hashes of the two x corners of every lattice edge (ix, iy), one byte each, made from P
  // with it: entry ix * 257 + iy, for iy = 0..256, holds P[iy + P[ix]] in its low byte and
  // P[iy + P[ix + 1]] in its high byte. Entries iy and iy + 1 are the four corner hashes of the
  // lattice column (ix, iy), (dx, dy) = 00, 10, 01, 11 from the low byte up, so the batch noise
  // finds them with one four-byte read instead of two dependent rounds of reads from P. (128 KiB:
  // it lives in the second level cache, where the two rounds from the small P table cost more.)
  uint16_t columnHashes[kNoiseColumnHashEntries];

  // Brings the rows below to a 16-byte boundary without padding the compiler would leave
  // unwritten (the tables are compared whole, byte for byte); always zero.
  uint32_t filler[2];

  // The gradients of the corner pair that starts at entry c, G3[c] and G3[c + 1], made from G3
  // with it and arranged for the batch noise: row c holds x(c) x(c+1) y(c) y(c+1) z(c) z(c+1) 0 0.
  // Two points' rows interleaved by one shuffle give the x (or y, or z) components of both points'
  // near and far corners side by side, which is the form the kernels compute in (16 KiB).
  alignas(16) float gradientPairs[kNoisePairEntries][8];

  // The same corner pairs arranged for the AVX2 noise, which computes a pair's near corner in
  // the low half of a register and its far corner in the high half: row c holds x(c) y(c) z(c) 0
  // x(c+1) y(c+1) z(c+1) 0, so that one 32-byte read gives a point's whole pair in place (16 KiB;
  // a process reads only the table of its path).
  alignas(16) float gradientNearFar[kNoisePairEntries][8];
};

static_assert(offsetof(NoiseTables, gradientPairs) % 16 == 0 && offsetof(NoiseTables, gradientNearFar) % 16 == 0 &&
                  sizeof(NoiseTables) % 16 == 0,
              "the gradient pair rows are read 16 bytes at a time and NoiseTables has no padding");

#endif  // KIVAGLOBE_RENDER_NOISE_TABLES_H
