// noise.cpp -- filling the noise tables from the planet seed, and the globals forms of the noise.
//
// The order of every step below is part of what a seed means: a stored preset holds only the
// seed, and the planet it shows is recreated from these tables. Do not reorder the draws.
#include "render/noise.h"

#include <cmath>

#include "plugin/globals.h"
#include "plugin/parameters.h"

namespace {

// 1 / 255, as the seeding multiplies it (in double precision).
constexpr double kInverse255 = 0.003921568627451;

// The draws of InitGradientTables: a running index into A that starts at 39 and steps by 2.
struct GradientDraw {
  const uint32_t *A;
  uint32_t index;
};

// The next draw as the integer r = a x 257: the byte a repeated in both bytes of a 16-bit word.
uint32_t NextDraw(GradientDraw *draw) {
  const uint32_t a = draw->A[draw->index & kNoiseSeedTableMask];
  draw->index += 2;
  return a * 257u;
}

// One gradient component, (r mod 512 - 256) / 256: r mod 512 is 256 + a for odd a and a for even
// a, so the component is a / 256 (odd a) or (a - 256) / 256 (even a), in -1..255/256 and never 0.
float NextComponent(GradientDraw *draw) {
  const int32_t r = int32_t(NextDraw(draw) % 512u);
  return float(r - 256) / 256.0f;
}

// columnHashes from P (noise_tables.h). Row ix of the table interleaves two runs of P that
// start at P[ix] and P[ix + 1]; the copied tail of P keeps every index below 514.
void FillColumnHashes(NoiseTables *tables) {
  const int32_t *P = tables->P;
  for (int32_t ix = 0; ix < kNoiseLatticeSize; ++ix) {
    const int32_t *near = P + P[ix];
    const int32_t *far = P + P[ix + 1];
    uint16_t *row = tables->columnHashes + ix * kNoiseColumnHashStride;
    for (int32_t iy = 0; iy < kNoiseColumnHashStride; ++iy) row[iy] = uint16_t(near[iy] | far[iy] << 8);
  }
}

// gradientPairs and gradientNearFar from G3 (noise_tables.h); the copied tail of G3 gives every
// c + 1 up to 511.
void FillGradientPairs(NoiseTables *tables) {
  tables->filler[0] = 0;
  tables->filler[1] = 0;
  for (int32_t c = 0; c < kNoisePairEntries; ++c) {
    float *row = tables->gradientPairs[c];
    float *nearFar = tables->gradientNearFar[c];
    for (int32_t axis = 0; axis < 3; ++axis) {
      row[2 * axis] = tables->G3[c][axis];
      row[2 * axis + 1] = tables->G3[c + 1][axis];
      nearFar[axis] = tables->G3[c][axis];
      nearFar[4 + axis] = tables->G3[c + 1][axis];
    }
    row[6] = 0.0f;
    row[7] = 0.0f;
    nearFar[3] = 0.0f;
    nearFar[7] = 0.0f;
  }
}

NoiseTables *TablesOf(PluginGlobals *globals) {
  if (globals == nullptr || globals->runState == nullptr) return nullptr;
  return &globals->runState->noiseTables;
}

}  // namespace

// ---- Normalisers -------------------------------------------------------------------------------

// Both deliverables and the native build normalise exactly, so that a seed shows the same planet
// in every one of them (the gradients feed every noise value).

void NormalizeVector2f(float v[2]) {
  const float q = v[0] * v[0] + v[1] * v[1];
  const float k = float(1.0 / std::sqrt(double(q)));
  v[0] *= k;
  v[1] *= k;
}

void NormalizeVector3f(float v[3]) {
  const float q = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  const float k = float(1.0 / std::sqrt(double(q)));
  v[0] *= k;
  v[1] *= k;
  v[2] *= k;
}

// ---- Seeding -------------------------------------------------------------------------------------
//
// A starts as the low bytes of NoiseSeedTable. Step k then swaps A[k] with A[j], j taken from
// NoiseSeedTable at the seed-rotated position, and puts A[k]'s base value back: the value that
// sat at k moves on to j, where a later step may carry it further. The seed only rotates which
// entry of NoiseSeedTable picks each j, so seeds 2048 apart fill the same tables.

void SeedNoiseTablesIn(NoiseTables *tables, uint32_t seed) {
  if (tables == nullptr) return;
  uint32_t *A = tables->A;
  for (int32_t k = 0; k < kNoiseSeedTableSize; ++k) A[k] = NoiseSeedTable[k] & 255u;
  for (int32_t k = 0; k < kNoiseSeedTableSize; ++k) {
    const uint32_t j = NoiseSeedTable[(seed + uint32_t(k)) & kNoiseSeedTableMask];
    const uint32_t held = A[k];
    A[k] = A[j];
    A[j] = held;
    A[k] = NoiseSeedTable[k] & 255u;
    tables->B[k] = NoiseSeedTable[k];
  }
  for (int32_t k = 0; k < kNoiseSeedTableSize; ++k) tables->F[k] = float(double(A[k]) * kInverse255);
}

void SeedNoiseTables(PluginGlobals *globals, uint32_t seed) { SeedNoiseTablesIn(TablesOf(globals), seed); }

// ---- Gradients and the lattice permutation -------------------------------------------------------

void InitGradientTablesIn(NoiseTables *tables, uint32_t randomSeed) {
  if (tables == nullptr) return;
  GradientDraw draw = {tables->A, 39};

  // Six draws per entry, in this order: G1, G2 (x, y), G3 (x, y, z).
  for (int32_t i = 0; i < kNoiseLatticeSize; ++i) {
    tables->P[i] = i;
    tables->G1[i] = NextComponent(&draw);
    for (int32_t c = 0; c < 2; ++c) tables->G2[i][c] = NextComponent(&draw);
    NormalizeVector2f(tables->G2[i]);
    for (int32_t c = 0; c < 3; ++c) tables->G3[i][c] = NextComponent(&draw);
    NormalizeVector3f(tables->G3[i]);
  }

  // Shuffle P from the top down; the draws continue where the gradients stopped (index 3111).
  for (int32_t i = kNoiseLatticeSize - 1; i > 0; --i) {
    const uint32_t j = NextDraw(&draw) % 256u;
    const int32_t held = tables->P[i];
    tables->P[i] = tables->P[j];
    tables->P[j] = held;
  }

  // Entries 256..513 repeat 0..257, so P[a + b] and G[h + i] for a, b, h, i below 256 never wrap.
  for (int32_t i = 0; i < kNoiseGradientEntries - kNoiseLatticeSize; ++i) {
    const int32_t k = kNoiseLatticeSize + i;
    tables->P[k] = tables->P[i];
    tables->G1[k] = tables->G1[i];
    tables->G2[k][0] = tables->G2[i][0];
    tables->G2[k][1] = tables->G2[i][1];
    tables->G3[k][0] = tables->G3[i][0];
    tables->G3[k][1] = tables->G3[i][1];
    tables->G3[k][2] = tables->G3[i][2];
  }
  FillColumnHashes(tables);
  FillGradientPairs(tables);

  InitImprovedNoisePermutationIn(tables, randomSeed);
}

void InitGradientTables(PluginGlobals *globals) {
  const ParameterBlock *block = GetParameterBlock(globals);
  if (block == nullptr) return;
  InitGradientTablesIn(TablesOf(globals), block->randomSeed);
}

void InitImprovedNoisePermutationIn(NoiseTables *tables, uint32_t randomSeed) {
  if (tables == nullptr) return;
  for (int32_t i = 0; i < kNoiseLatticeSize; ++i) {
    tables->IP[i] = kImprovedNoiseBasePermutation[(randomSeed + uint32_t(i)) & 255u];
    tables->IP[i + kNoiseLatticeSize] = tables->IP[i];
  }
}

void InitImprovedNoisePermutation(PluginGlobals *globals) {
  const ParameterBlock *block = GetParameterBlock(globals);
  if (block == nullptr) return;
  InitImprovedNoisePermutationIn(TablesOf(globals), block->randomSeed);
}

// ---- The noise through the globals -----------------------------------------------------------------

float GradientNoise3(const PluginGlobals *globals, const float point[3]) {
  if (globals == nullptr || globals->runState == nullptr) return 0.0f;
  return GradientNoise3Tables(&globals->runState->noiseTables, point[0], point[1], point[2]);
}
