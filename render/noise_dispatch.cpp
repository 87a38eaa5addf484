// noise_dispatch.cpp -- GradientNoise3Many through the processor path chosen at first use.
#include <cstdlib>
#include <cstring>

#include "render/noise.h"
#include "render/noise_paths.h"

namespace {

using NoiseManyProc = void (*)(const NoiseTables *, const float *, float *, int32_t);

NoiseManyProc gNoiseMany = nullptr;
NoisePath gNoisePath = kNoisePathSse2;

void Use(NoisePath path) {
  gNoisePath = path;
  gNoiseMany = path == kNoisePathAvx2 ? GradientNoise3ManyAvx2 : GradientNoise3ManySse2;
}

}  // namespace

bool ProcessorHasAvx2() {
  // The compiler's check also asks the system whether it saves the 256-bit registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
}

void ChooseNoisePathFromEnvironment() {
  const char *forced = std::getenv("KIVAGLOBE_SIMD");
  NoisePath path = ProcessorHasAvx2() ? kNoisePathAvx2 : kNoisePathSse2;
  if (forced != nullptr && std::strcmp(forced, "sse2") == 0) path = kNoisePathSse2;
  if (path == kNoisePathAvx2 && !ProcessorHasAvx2()) path = kNoisePathSse2;
  Use(path);
}

NoisePath ActiveNoisePath() {
  if (gNoiseMany == nullptr) ChooseNoisePathFromEnvironment();
  return gNoisePath;
}

bool SelectNoisePath(NoisePath path) {
  if (path == kNoisePathAvx2 && !ProcessorHasAvx2()) return false;
  Use(path);
  return true;
}

const char *NoisePathName(NoisePath path) { return path == kNoisePathAvx2 ? "avx2" : "sse2"; }

void GradientNoise3Many(const NoiseTables *tables, const float *points, float *out, int32_t count) {
  if (gNoiseMany == nullptr) ChooseNoisePathFromEnvironment();
  gNoiseMany(tables, points, out, count);
}
