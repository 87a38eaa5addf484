// Shared helpers of the image store tests: a stand-in for the host's buffer procedures that
// counts its blocks and can refuse the k-th allocation, deterministic picture content, and a
// checksum over every level of an image that does not depend on the tile layout.
#ifndef KIVAGLOBE_TESTS_IMAGESTORE_TEST_SUPPORT_H
#define KIVAGLOBE_TESTS_IMAGESTORE_TEST_SUPPORT_H

#include <cstdint>

#include "imagestore/image_store.h"
#include "imagestore/kernel_table.h"
#include "plugin/host_interface.h"

namespace test_support {

// Host buffer procedures backed by the C heap. Fresh blocks are filled with 0xCD (hosts do not
// clear their buffers).
struct FakeHostBuffers {
  HostBufferProcs procs;
  int32_t outstanding;   // blocks allocated and not yet freed
  int32_t allocations;   // successful allocations since Reset
  int32_t failAt;        // the allocation with this index (0-based) fails; -1: none
  bool failFromThenOn;   // every allocation from failAt on fails
};

// The one fake host of the test program, reset to "no failures, nothing outstanding".
FakeHostBuffers *ResetFakeHost();
FakeHostBuffers *FakeHost();

// The table every test image is bound with.
const ResampleKernelTable *TestKernelTable();

// Binds `image` to the fake host and the test table.
void BindImage(TiledMipImage *image);

// A deterministic value for (x, y, channel, seed): 32 well-mixed bits.
uint32_t Mix(uint32_t x, uint32_t y, uint32_t channel, uint32_t seed);

// Writes level 0 of `image` (every format) with values from Mix: full range for the integer
// formats (16-bit formats up to 32768), floats in 0..2 for the float formats.
void FillLevel0(TiledMipImage *image, uint32_t seed);

// Sets every pixel of `level` to the same channel values (integers, or floats by bit pattern
// for format 9 and 5).
void FillLevel(TiledMipImage *image, int32_t level, const int32_t value[4]);

// FNV-1a over every level's pixels read through the accessors, level by level, rows top to
// bottom; each channel enters as its stored value (float channels as their bit patterns).
uint64_t PyramidChecksum(const TiledMipImage *image);
uint64_t LevelChecksum(const TiledMipImage *image, int32_t level);

}  // namespace test_support

#endif  // KIVAGLOBE_TESTS_IMAGESTORE_TEST_SUPPORT_H
