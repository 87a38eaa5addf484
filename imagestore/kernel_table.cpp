// kernel_table.cpp -- building the Lanczos resampling kernel table.
//
// For each phase p the kernel position is x = p / 128 - 2 and tap k sits at x + k. Each tap's
// weight is not the kernel's value at one point but its mean over the 20 points x + k - j / 21,
// j = 0..19, which smooths the kernel a little (the spacing is 1/21, not 1/20, so the points do
// not quite span a pixel, and every sample comes out about 0.05 pixel to the right). The five
// sums are then normalised so that the weights of each phase add up to exactly 1, 2048 and 32768
// in the three number forms: tap 4 takes whatever the other four leave.
//
// Every rounding step below is part of the definition of the table and is written out: floats
// where the table says float, doubles where it says double.
#include "imagestore/kernel_table.h"

#include "foundation/exact_math.h"

namespace {

// Pi to ten digits: the kernel is defined with this value, not the full-precision constant.
constexpr double kKernelPi = 3.141592653;

// Two-lobe Lanczos kernel: sinc(s) x sinc(s / 2) inside -2 < s < 2, 0 outside. The sines are the
// exact ones of the foundation: the table weights every texture sample of a render, so a runtime
// sine that rounds differently in one build would change that build's pictures.
double Lanczos2(double s) {
  if (!(s > -2.0 && s < 2.0)) return 0.0;
  if (s == 0.0) return 1.0;
  double a = kKernelPi * s;
  double b = kKernelPi * s / 2.0;
  return (ExactSin(a) / a) * (ExactSin(b) / b);
}

// The table's words, computed: 25,600 exact sines, a sizeable part of a small preview's set-up.
void ComputeLanczosKernelTable(ResampleKernelTable *table) {
  for (int32_t p = 0; p < kKernelPhases; ++p) {
    float x = float(double(p) * 0.0078125 - 2.0);
    float sum[kKernelTaps] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t j = 0; j < 20; ++j) {
      float t = float(double(x) - double(j) / 21.0);
      for (int32_t k = 0; k < kKernelTaps; ++k) {
        sum[k] = float(double(sum[k]) + Lanczos2(double(t) + double(k)));
      }
    }

    float total = sum[1] + sum[0] + sum[2] + sum[3] + sum[4];
    float inverse = float(1.0 / double(total));
    float w[kKernelTaps];
    for (int32_t k = 0; k < 4; ++k) w[k] = inverse * sum[k];
    w[4] = 1.0f - (((w[1] + w[0]) + w[2]) + w[3]);

    int32_t i2048[kKernelTaps], i32768[kKernelTaps];
    for (int32_t k = 0; k < 4; ++k) {
      i2048[k] = int32_t(w[k] * 2048.0f);     // truncation: negative lobes stay negative
      i32768[k] = int32_t(w[k] * 32768.0f);
    }
    i2048[4] = 2048 - i2048[3] - i2048[2] - i2048[1] - i2048[0];
    i32768[4] = 32768 - i32768[3] - i32768[2] - i32768[1] - i32768[0];

    for (int32_t k = 0; k < kKernelTaps; ++k) {
      table->weight[k][p] = w[k];
      table->weight2048[k][p] = i2048[k];
      table->weight32768[k][p] = i32768[k];
      table->floatWeight[k][p] = w[k];
    }
  }
}

}  // namespace

// Every run builds its table, and the words never change: they are computed once per process and
// copied after that.
void BuildLanczosKernelTable(ResampleKernelTable *table) { *table = *SharedDefaultKernelTable(); }

const GrayKernelPhase *gGrayKernelPhases = nullptr;

const GrayKernelPhase *BuildGrayKernelPhases() {
  static GrayKernelPhase phases[kKernelPhases];
  const ResampleKernelTable *table = SharedDefaultKernelTable();
  for (int32_t p = 0; p < kKernelPhases; ++p) {
    GrayKernelPhase &g = phases[p];
    int32_t w[kKernelTaps];
    for (int32_t k = 0; k < kKernelTaps; ++k) w[k] = table->weight2048[4 - k][p];
    for (int32_t i = 0; i < 8; i += 2) {
      g.rows01[i] = int16_t(w[0]), g.rows01[i + 1] = int16_t(w[1]);
      g.rows23[i] = int16_t(w[2]), g.rows23[i + 1] = int16_t(w[3]);
      g.rows4[i] = int16_t(w[4]), g.rows4[i + 1] = 0;
    }
    for (int32_t k = 0; k < 4; ++k) {
      g.columns[k] = w[k];
      g.oddColumns[k] = k % 2 == 0 ? w[k + 1] : 0;
      g.column4[k] = k == 0 ? w[4] : 0;
    }
  }
  gGrayKernelPhases = phases;
  return phases;
}

const ResampleKernelTable *SharedDefaultKernelTable() {
  static ResampleKernelTable table;
  static bool built = false;
  if (!built) {
    ComputeLanczosKernelTable(&table);
    built = true;
  }
  return &table;
}
