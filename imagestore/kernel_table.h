// kernel_table.h -- the resampling kernel table of the 5 x 5 filtered samplers.
//
// The samplers weight five source pixels across and five down by a kernel that depends on where
// the sample point falls between pixels. Rather than evaluating the kernel per sample, they look
// the five weights up here: 128 sub-pixel phases, each with the five weights in three number
// forms, so that 8-bit, 16-bit and float pixels can each be filtered in their own arithmetic.
//
// The table is 20 rows of 128 phases of 32-bit words, row-major (row r, phase p is word
// 128 r + p):
//
//   rows  0- 4  weight of tap 0..4, float           (sums to 1, tap 4 taking the remainder)
//   rows  5- 9  the same weights x 2048, integers   (sums to exactly 2048)
//   rows 10-14  the same weights x 32768, integers  (sums to exactly 32768)
//   rows 15-19  the float weights again
//
// Phase p stands for the kernel position x = p / 128 - 2; tap k is evaluated at x + k.
//
// The kernel is a two-lobe Lanczos kernel averaged, for each phase, over the 20 positions
// x - j / 21, j = 0..19, and normalised. Building is deterministic: building twice gives the same
// words, and the integer rows are the same in every build.
#ifndef KIVAGLOBE_IMAGESTORE_KERNEL_TABLE_H
#define KIVAGLOBE_IMAGESTORE_KERNEL_TABLE_H

#include <cstdint>

constexpr int32_t kKernelPhases = 128;
constexpr int32_t kKernelTaps = 5;

struct ResampleKernelTable {
  float weight[kKernelTaps][kKernelPhases];             // rows 0-4
  int32_t weight2048[kKernelTaps][kKernelPhases];       // rows 5-9: 8-bit samplers
  int32_t weight32768[kKernelTaps][kKernelPhases];      // rows 10-14: 16-bit samplers
  float floatWeight[kKernelTaps][kKernelPhases];        // rows 15-19: float samplers
};
static_assert(sizeof(ResampleKernelTable) == 20 * 128 * 4);

// Fills the table with the Lanczos kernel (the table of every run). The words are computed on the
// first call of the process and copied on every later one.
void BuildLanczosKernelTable(ResampleKernelTable *table);
inline void BuildDefaultKernelTable(ResampleKernelTable *table) { BuildLanczosKernelTable(table); }

// A table with the default contents, built on first use; the samplers use it for an image bound
// without a table of its own.
const ResampleKernelTable *SharedDefaultKernelTable();

// The 8-bit weights of one phase laid out as the grey sampler uses them, window pixel k taking tap
// 4 - k of the table (the window runs the other way): the row weights as pairs of 16-bit lanes,
// (row 0, row 1), (row 2, row 3) and (row 4, 0), each pair repeated across the register for the
// multiply-adds down the window; the column weights of window columns 0-3 as 32-bit lanes, those
// of columns 1 and 3 again in lanes 0 and 2 for the odd lanes' products, and that of column 4
// alone in lane 0. Every register the sampler wants is one aligned load, or a memory operand.
struct alignas(16) GrayKernelPhase {
  int16_t rows01[8], rows23[8], rows4[8];
  int32_t columns[4], oddColumns[4], column4[4];
};

// The phase-major copy of the default table's x2048 rows, built with it. Every table the program
// fills holds the default words (BuildLanczosKernelTable is its only filler), so the grey
// samplers read this copy whatever table an image is bound to.
extern const GrayKernelPhase *gGrayKernelPhases;
const GrayKernelPhase *BuildGrayKernelPhases();
inline const GrayKernelPhase *GrayKernelPhases() {
  return gGrayKernelPhases != nullptr ? gGrayKernelPhases : BuildGrayKernelPhases();
}

#endif  // KIVAGLOBE_IMAGESTORE_KERNEL_TABLE_H
