// Fuzz target: the noise, its batch form and the cell coverage at arbitrary float inputs. The
// renderer passes them values derived from unchecked parameters, so no input may lead to
// undefined behaviour, the batch must agree with the one-point form, and a coverage is always a
// fraction in 0..1.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "render/coverage.h"
#include "render/noise.h"

static NoiseTables gTables;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4 + 5 * sizeof(float)) return 0;
  uint32_t seed;
  std::memcpy(&seed, data, 4);
  SeedNoiseTablesIn(&gTables, seed);
  InitGradientTablesIn(&gTables, seed);
  data += 4;
  size -= 4;

  float v[5];
  std::memcpy(v, data, sizeof v);
  const float coverage = CellCoverageFraction(v[0], v[1], v[2], v[3], v[4]);
  if (!(coverage >= 0.0f && coverage <= 1.0f)) std::abort();

  const int32_t count = int32_t(size / (3 * sizeof(float)));
  float points[3 * 16];
  float out[16];
  const int32_t n = count < 16 ? count : 16;
  std::memcpy(points, data, size_t(n) * 3 * sizeof(float));
  GradientNoise3Many(&gTables, points, out, n);
  for (int32_t k = 0; k < n; ++k) {
    const float one = GradientNoise3Tables(&gTables, points[3 * k], points[3 * k + 1], points[3 * k + 2]);
    if (std::isnan(one) != std::isnan(out[k])) std::abort();
    if (!std::isnan(one) && std::memcmp(&one, &out[k], sizeof one) != 0) std::abort();
  }
  return 0;
}
